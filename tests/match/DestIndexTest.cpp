#include "match/DestIndex.h"
#include "match/NameKey.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace halvetrop;

namespace {

std::vector<uint32_t> toVector(std::span<const uint32_t> s) { return {s.begin(), s.end()}; }

uint32_t addFile(DestIndex& ix, std::string_view name, uint32_t dir, int64_t size, uint16_t ext = 0) {
    return ix.appendFile(name, dir, size, 1000, 2000, 3000, 77, EntryFlags{}, ext);
}

}  // namespace

TEST(DestIndex, EmptyIndexAnswersNothing) {
    DestIndex ix;
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(ix.count(), 0u);
        EXPECT_TRUE(ix.rowsOfSize(0).empty());
        EXPECT_TRUE(ix.rowsOfNameKey(NameKey::emptyKey).empty());
        EXPECT_TRUE(ix.rowsOfNameKey(NameKey::emptyKey, 0).empty());
        EXPECT_TRUE(ix.rowsOfSuffix(0, 0).empty());
        ix.buildMaps();
    }
}

TEST(DestIndex, AppendFillsEveryColumn) {
    DestIndex ix;
    const uint32_t root = ix.appendDir("Backup", std::nullopt, RootID{2}, 55, 9);
    const uint32_t sub = ix.appendDir("DCIM", root, RootID{2}, 66, 10);
    EXPECT_EQ(root, 0u);
    EXPECT_EQ(sub, 1u);
    EXPECT_EQ(ix.dirs()[root].parent, root);
    EXPECT_EQ(ix.dirs()[sub].parent, root);
    EXPECT_EQ(ix.dirs()[sub].nameKey, NameKey::hash("dcim"));
    EXPECT_EQ(ix.dirs()[sub].root, RootID{2});
    EXPECT_EQ(ix.dirs()[sub].mtimeNs, 66);
    EXPECT_EQ(ix.dirs()[sub].fileID, 10u);
    EXPECT_EQ(ix.dirs()[sub].excluded, 0);
    EXPECT_EQ(ix.dirName(sub), "DCIM");

    const uint32_t r0 = ix.appendFile("A.JPG", sub, 123, -5, 6, 7, 88, EntryFlags::dataless, 4);
    const uint32_t r1 = ix.appendFile("caf\xE9.jpg", sub, 9, 1, 2, 3, 4, EntryFlags::dataless, 5);
    EXPECT_EQ(r0, 0u);
    EXPECT_EQ(r1, 1u);
    EXPECT_EQ(ix.count(), 2u);
    EXPECT_EQ(ix.size()[r0], 123);
    EXPECT_EQ(ix.mtimeNs()[r0], -5);
    EXPECT_EQ(ix.ctimeNs()[r0], 6);
    EXPECT_EQ(ix.btimeNs()[r0], 7);
    EXPECT_EQ(ix.fileID()[r0], 88u);
    EXPECT_EQ(ix.dir()[r0], sub);
    EXPECT_EQ(ix.nameKey()[r0], NameKey::hash("a.jpg"));
    EXPECT_EQ(ix.extID()[r0], 4);
    EXPECT_EQ(ix.flags()[r0], EntryFlags::dataless);
    EXPECT_EQ(ix.validator(r0), (Validator{123, -5, 6, 88}));
    EXPECT_EQ(ix.root(r0), RootID{2});

    // A name that is not UTF-8 is kept as listed and shown repaired.
    EXPECT_EQ(ix.flags()[r1], EntryFlags::dataless | EntryFlags::nonASCIIName);
    EXPECT_EQ(ix.rawName(r1), "caf\xE9.jpg");
    EXPECT_EQ(ix.name(r1), "caf\xEF\xBF\xBD.jpg");
    EXPECT_EQ(ix.nameLen()[r1], 8);
    EXPECT_EQ(ix.rawRelativePath(r1), "DCIM/caf\xE9.jpg");
    EXPECT_EQ(ix.relativePath(r1), "DCIM/caf\xEF\xBF\xBD.jpg");
    EXPECT_EQ(ix.nameKey()[r1], NameKey::hash("caf\xEF\xBF\xBD.jpg"));
}

TEST(DestIndex, PathsLeaveTheRootOut) {
    DestIndex ix;
    const uint32_t root = ix.appendDir("Root", std::nullopt, RootID{0}, 0, 0);
    const uint32_t a = ix.appendDir("a", root, RootID{0}, 0, 0);
    const uint32_t b = ix.appendDir("b\xFE", a, RootID{0}, 0, 0);
    const uint32_t top = addFile(ix, "top.jpg", root, 1);
    const uint32_t deep = addFile(ix, "name.jpg", b, 1);
    EXPECT_EQ(ix.relativePath(top), "top.jpg");
    EXPECT_EQ(ix.rawRelativePath(top), "top.jpg");
    EXPECT_EQ(ix.relativePath(deep), "a/b\xEF\xBF\xBD/name.jpg");
    EXPECT_EQ(ix.rawRelativePath(deep), "a/b\xFE/name.jpg");
    EXPECT_EQ(ix.dirPath(root), "");
    EXPECT_EQ(ix.dirPath(a), "a");
    EXPECT_EQ(ix.dirPath(b), "a/b\xEF\xBF\xBD");
}

TEST(DestIndex, DrivesAreLookedUpByRoot) {
    DestIndex ix;
    const uint32_t r0 = ix.appendDir("one", std::nullopt, RootID{0}, 0, 0);
    const uint32_t r1 = ix.appendDir("two", std::nullopt, RootID{1}, 0, 0);
    const uint32_t sub = ix.appendDir("x", r1, RootID{1}, 0, 0);
    const uint32_t f0 = addFile(ix, "a", r0, 1);
    const uint32_t f1 = addFile(ix, "b", sub, 1);
    ix.rootDrive[RootID{1}] = PhysicalDriveID{"disk:sdb"};
    EXPECT_EQ(ix.drive(f0), std::nullopt);
    ASSERT_TRUE(ix.drive(f1).has_value());
    EXPECT_EQ(ix.drive(f1)->raw, "disk:sdb");
}

TEST(DestIndex, SuffixDepth) {
    DestIndex ix;
    const uint32_t root = ix.appendDir("Backup", std::nullopt, RootID{0}, 0, 0);
    const uint32_t day = ix.appendDir("2024-05-01", root, RootID{0}, 0, 0);
    const uint32_t cam = ix.appendDir("100MSDCF", day, RootID{0}, 0, 0);
    const uint32_t other = ix.appendDir("101MSDCF", day, RootID{0}, 0, 0);
    const uint32_t same = addFile(ix, "DSC00001.ARW", cam, 10);
    const uint32_t elsewhere = addFile(ix, "DSC00001.ARW", other, 10);
    const uint32_t otherName = addFile(ix, "DSC00002.ARW", cam, 10);
    const uint32_t inRoot = addFile(ix, "DSC00001.ARW", root, 10);

    const std::vector<uint64_t> keys = {NameKey::hash("dsc00001.arw"), NameKey::hash("100msdcf"),
                                        NameKey::hash("2024-05-01")};
    const std::vector<uint64_t> longer = {keys[0], keys[1], keys[2], NameKey::hash("Backup")};
    struct Case {
        uint32_t row;
        std::vector<uint64_t> keys;
        size_t depth;
    } cases[] = {
        {same, keys, 3},
        {same, longer, 3},  // the root's own name is never compared
        {same, {keys[0]}, 1},
        {same, {keys[0], keys[1]}, 2},
        {elsewhere, keys, 1},
        {otherName, keys, 0},
        {same, {}, 0},
        {inRoot, keys, 1},
    };
    for (const auto& c : cases) EXPECT_EQ(ix.suffixDepth(c.row, c.keys), c.depth) << c.row << " " << c.keys.size();
}

TEST(DestIndex, EqualSizeAndNameRowsStayInRowOrder) {
    DestIndex ix;
    const uint32_t root = ix.appendDir("r", std::nullopt, RootID{0}, 0, 0);
    const uint32_t sub = ix.appendDir("s", root, RootID{0}, 0, 0);
    const uint32_t a = addFile(ix, "X.JPG", sub, 5);
    addFile(ix, "y.jpg", root, 5);
    const uint32_t c = addFile(ix, "x.jpg", root, 5);
    addFile(ix, "x.jpg", root, 6);
    const uint32_t e = addFile(ix, " x.jpg", sub, 5);
    ix.buildMaps();
    EXPECT_EQ(toVector(ix.rowsOfNameKey(NameKey::hash("x.jpg"), 5)), (std::vector<uint32_t>{a, c, e}));
    const auto bySize = toVector(ix.rowsOfSize(5));
    ASSERT_EQ(bySize.size(), 4u);
    for (size_t i = 1; i < bySize.size(); ++i) {
        const auto k0 = ix.nameKey()[bySize[i - 1]], k1 = ix.nameKey()[bySize[i]];
        EXPECT_TRUE(k0 < k1 || (k0 == k1 && bySize[i - 1] < bySize[i]));
    }
    EXPECT_EQ(toVector(ix.rowsOfSuffix(NameKey::hash("s"), NameKey::hash("x.jpg"))), (std::vector<uint32_t>{a, e}));
}

TEST(DestIndex, RowsAppendedAfterBuildAreFoundOnlyAfterTheNextBuild) {
    DestIndex ix;
    const uint32_t root = ix.appendDir("r", std::nullopt, RootID{0}, 0, 0);
    addFile(ix, "a", root, 1);
    ix.buildMaps();
    const uint32_t late = addFile(ix, "b", root, 1);
    EXPECT_EQ(ix.rowsOfSize(1).size(), 1u);
    ix.buildMaps();
    EXPECT_EQ(toVector(ix.rowsOfSize(1)), (std::vector<uint32_t>{0, late}));
}

// Every lookup against a linear scan of the columns on random indexes with many equal keys.
TEST(DestIndex, LookupsMatchALinearScan) {
    std::mt19937_64 rng(4);
    const std::vector<std::string> names = {"a.jpg", "A.JPG", "b.jpg", "c.arw", " c.arw", "d", "DCIM",
                                            "caf\xC3\xA9", "CAFE\xCC\x81", "\xFF", "e.mov", ""};
    const std::vector<int64_t> sizes = {0, 1, -1, 5, 1 << 20, INT64_MAX, INT64_MIN, 42};
    for (int round = 0; round < 60; ++round) {
        DestIndex ix;
        std::vector<uint32_t> dirsOf[3];
        for (uint16_t root = 0; root < 3; ++root) {
            dirsOf[root].push_back(ix.appendDir("root" + std::to_string(root), std::nullopt, RootID{root}, 0, 0));
        }
        const int files = static_cast<int>(rng() % 300);
        for (int i = 0; i < files; ++i) {
            const uint16_t root = static_cast<uint16_t>(rng() % 3);
            auto& ds = dirsOf[root];
            if (rng() % 5 == 0) {
                const uint32_t parent = ds[rng() % ds.size()];
                ds.push_back(ix.appendDir(names[rng() % names.size()], parent, RootID{root}, 0, 0));
            }
            addFile(ix, names[rng() % names.size()], ds[rng() % ds.size()], sizes[rng() % sizes.size()]);
        }
        ix.buildMaps();

        const size_t n = ix.count();
        auto scan = [&](auto matches, auto less) {
            std::vector<uint32_t> rows;
            for (uint32_t r = 0; r < n; ++r) {
                if (matches(r)) rows.push_back(r);
            }
            std::stable_sort(rows.begin(), rows.end(), less);
            return rows;
        };
        const auto& size = ix.size();
        const auto& key = ix.nameKey();
        for (int64_t s : sizes) {
            const auto want = scan([&](uint32_t r) { return size[r] == s; },
                                   [&](uint32_t x, uint32_t y) { return key[x] < key[y]; });
            ASSERT_EQ(toVector(ix.rowsOfSize(s)), want) << round << " size " << s;
        }
        std::vector<uint64_t> keys;
        for (const auto& nm : names) keys.push_back(NameKey::hash(nm));
        keys.push_back(12345);
        for (uint64_t k : keys) {
            const auto want = scan([&](uint32_t r) { return key[r] == k; },
                                   [&](uint32_t x, uint32_t y) { return size[x] < size[y]; });
            ASSERT_EQ(toVector(ix.rowsOfNameKey(k)), want) << round;
            for (int64_t s : sizes) {
                const auto both = scan([&](uint32_t r) { return key[r] == k && size[r] == s; },
                                       [](uint32_t, uint32_t) { return false; });
                ASSERT_EQ(toVector(ix.rowsOfNameKey(k, s)), both) << round;
            }
            for (uint64_t parent : keys) {
                const uint64_t combined = k ^ (parent * 0x9E3779B97F4A7C15ULL);
                const auto want2 = scan(
                    [&](uint32_t r) {
                        return (key[r] ^ (ix.dirs()[ix.dir()[r]].nameKey * 0x9E3779B97F4A7C15ULL)) == combined;
                    },
                    [](uint32_t, uint32_t) { return false; });
                ASSERT_EQ(toVector(ix.rowsOfSuffix(parent, k)), want2) << round;
            }
        }
    }
}

TEST(DestIndex, LimitsThrowInsteadOfWrapping) {
    // Names: 65535 bytes is the most a 16-bit length holds.
    {
        DestIndex ix;
        const uint32_t root = ix.appendDir("r", std::nullopt, RootID{0}, 0, 0);
        const std::string longest(65535, 'n');
        const uint32_t ok = addFile(ix, longest, root, 1);
        EXPECT_EQ(ix.rawName(ok), longest);
        EXPECT_THROW(addFile(ix, std::string(65536, 'n'), root, 1), IndexLimitError);
        EXPECT_THROW(ix.appendDir(std::string(70000, 'd'), root, RootID{0}, 0, 0), IndexLimitError);
        EXPECT_EQ(ix.count(), 1u);
        EXPECT_EQ(ix.dirs().size(), 1u);
        const uint32_t after = addFile(ix, "after", root, 2);
        EXPECT_EQ(ix.rawName(after), "after");
        EXPECT_EQ(ix.nameOff()[after], 1u + 65535u);
    }
    // Rows, directories and arena bytes, with the limits lowered to reach them.
    {
        DestIndex ix(DestIndex::Limits{3, 2, 12});
        const uint32_t root = ix.appendDir("r", std::nullopt, RootID{0}, 0, 0);
        const uint32_t sub = ix.appendDir("s", root, RootID{0}, 0, 0);
        EXPECT_THROW(ix.appendDir("t", root, RootID{0}, 0, 0), IndexLimitError);
        addFile(ix, "abcd", sub, 1);
        EXPECT_THROW(addFile(ix, "efghijk", sub, 1), IndexLimitError);  // 13 bytes of names
        addFile(ix, "efghij", sub, 1);                                  // exactly 12
        EXPECT_THROW(addFile(ix, "x", sub, 1), IndexLimitError);
        addFile(ix, "", sub, 1);
        EXPECT_THROW(addFile(ix, "", sub, 1), IndexLimitError);  // a fourth row
        EXPECT_EQ(ix.count(), 3u);
        for (const auto* column : {&ix.size(), &ix.mtimeNs(), &ix.ctimeNs(), &ix.btimeNs()}) {
            EXPECT_EQ(column->size(), 3u);
        }
        EXPECT_EQ(ix.nameKey().size(), 3u);
        EXPECT_EQ(ix.flags().size(), 3u);
        EXPECT_EQ(ix.name(1), "efghij");
        EXPECT_EQ(ix.relativePath(2), "s/");
        ix.buildMaps();
        EXPECT_EQ(ix.rowsOfSize(1).size(), 3u);
    }
}

TEST(DestIndex, ArgumentsMustNameKnownDirectories) {
    DestIndex ix;
    const uint32_t a = ix.appendDir("a", std::nullopt, RootID{0}, 0, 0);
    ix.appendDir("b", std::nullopt, RootID{1}, 0, 0);
    EXPECT_THROW(ix.appendDir("c", 7u, RootID{0}, 0, 0), std::invalid_argument);
    EXPECT_THROW(ix.appendDir("c", a, RootID{1}, 0, 0), std::invalid_argument);  // parent in another root
    EXPECT_THROW(addFile(ix, "f", 2, 1), std::invalid_argument);
    EXPECT_EQ(ix.dirs().size(), 2u);
    EXPECT_EQ(ix.count(), 0u);
}

TEST(DestIndex, ValuesAndFlags) {
    EXPECT_EQ(EntryFlags::dataless.raw, 0x01);
    EXPECT_EQ(EntryFlags::hardLinked.raw, 0x02);
    EXPECT_EQ(EntryFlags::compressed.raw, 0x04);
    EXPECT_EQ(EntryFlags::nonASCIIName.raw, 0x08);
    EXPECT_EQ(EntryFlags::caseVariantInDir.raw, 0x10);
    EntryFlags f = EntryFlags::dataless | EntryFlags::nonASCIIName;
    EXPECT_TRUE(f.contains(EntryFlags::dataless));
    EXPECT_FALSE(f.contains(EntryFlags::dataless | EntryFlags::compressed));
    f.remove(EntryFlags::dataless);
    EXPECT_EQ(f, EntryFlags::nonASCIIName);
    EXPECT_TRUE((f & EntryFlags::dataless).isEmpty());

    ProbeSet probe{{100, 200}, {NameKey::hash("a.jpg")}};
    EXPECT_TRUE(probe.admits(100, NameKey::hash("other")));
    EXPECT_TRUE(probe.admits(7, NameKey::hash("A.JPG")));
    EXPECT_FALSE(probe.admits(7, NameKey::hash("other")));
    EXPECT_FALSE(ProbeSet{}.admits(0, NameKey::emptyKey));

    EXPECT_NE((Validator{1, 2, 3, 4}), (Validator{1, 2, 3, 5}));
    EXPECT_NE((Validator{1, 2, 3, 4}), (Validator{1, 2, 4, 4}));
}

TEST(DestIndex, StoredForms) {
    EXPECT_EQ(nlohmann::ordered_json(RootID{7}).dump(), R"({"raw":7})");
    EXPECT_EQ(nlohmann::ordered_json(Validator{-1, 2, 3, UINT64_MAX}).dump(),
              R"({"size":-1,"mtimeNs":2,"ctimeNs":3,"fileID":18446744073709551615})");
    EXPECT_EQ(nlohmann::json::parse(R"({"fileID":4,"ctimeNs":3,"extra":0,"mtimeNs":2,"size":1})").get<Validator>(),
              (Validator{1, 2, 3, 4}));
    EXPECT_EQ(nlohmann::json::parse(R"({"raw":65535})").get<RootID>(), RootID{65535});
    for (const char* bad : {R"({"raw":65536})", R"({"raw":-1})", R"({"raw":1.5})", R"({"raw":true})", R"({})",
                            R"([1])", R"({"raw":"1"})"}) {
        EXPECT_ANY_THROW(nlohmann::json::parse(bad).get<RootID>()) << bad;
    }
    for (const char* bad : {R"({"size":1,"mtimeNs":2,"ctimeNs":3})", R"({"size":1,"mtimeNs":2,"ctimeNs":3,"fileID":-4})",
                            R"({"size":9223372036854775808,"mtimeNs":2,"ctimeNs":3,"fileID":4})",
                            R"({"size":1,"mtimeNs":2.0,"ctimeNs":3,"fileID":4})"}) {
        EXPECT_ANY_THROW(nlohmann::json::parse(bad).get<Validator>()) << bad;
    }
}

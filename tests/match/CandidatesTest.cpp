#include "match/Candidates.h"
#include "match/NameKey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace halvetrop;

namespace {

constexpr int64_t sec = 1'000'000'000;
constexpr int64_t hour = 3600 * sec;
constexpr int64_t t0 = 1'700'000'000 * sec;
constexpr int64_t maxT = std::numeric_limits<int64_t>::max();
constexpr int64_t minT = std::numeric_limits<int64_t>::min();

SourceFile card(const std::string& name, int64_t size, uint16_t ext, int64_t mtime,
                const std::vector<std::string>& foldersInnermostFirst = {}) {
    SourceFile f;
    f.name = name;
    f.nameKey = NameKey::hash(name);
    f.keysNameFirst.push_back(f.nameKey);
    for (const auto& folder : foldersInnermostFirst) f.keysNameFirst.push_back(NameKey::hash(folder));
    f.size = size;
    f.extID = ext;
    f.mtimeNs = mtime;
    return f;
}

struct Row {
    std::string name;
    uint32_t dir;
    int64_t size;
    uint16_t ext;
    int64_t mtime;
    int64_t btime;
};

std::string numbered(const char* prefix, int i) {
    std::string s = prefix;
    s += std::to_string(i);
    s += ".arw";
    return s;
}

uint32_t add(DestIndex& ix, const Row& r) {
    return ix.appendFile(r.name, r.dir, r.size, r.mtime, 0, r.btime, 0, EntryFlags{}, r.ext);
}

}  // namespace

TEST(Relate, Table) {
    struct Case {
        int64_t a, b, maxShift;
        TimeRelation want;
    } cases[] = {
        {t0, t0, 3, TimeRelation::same()},
        {t0, t0 + 2 * sec, 3, TimeRelation::same()},
        {t0, t0 - 2 * sec, 3, TimeRelation::same()},
        {t0, t0 + 2 * sec + 1, 3, TimeRelation::unrelated()},
        {t0, t0 + hour + sec, 3, TimeRelation::zoneShift(1)},
        {t0, t0 - 2 * hour, 1, TimeRelation::unrelated()},
        {t0, t0 - 2 * hour, 2, TimeRelation::zoneShift(-2)},
        {t0, t0 + 3 * hour + 2 * sec, 3, TimeRelation::zoneShift(3)},
        {t0, t0 + 3 * hour - 2 * sec, 3, TimeRelation::zoneShift(3)},
        {t0, t0 + 3 * hour + 2 * sec + 1, 3, TimeRelation::unrelated()},
        {t0, t0 + 4 * hour, 3, TimeRelation::unrelated()},
        {t0, t0 + hour / 2, 3, TimeRelation::unrelated()},
        {t0, t0 + hour, 0, TimeRelation::unrelated()},
        {t0, t0 + hour, -5, TimeRelation::unrelated()},
        {t0, t0 + 26 * hour, 26, TimeRelation::zoneShift(26)},
        // Extremes and garbage: no overflow, nothing related by accident.
        {minT, maxT, 3, TimeRelation::unrelated()},
        {maxT, minT, 3, TimeRelation::unrelated()},
        {minT, maxT, maxT, TimeRelation::unrelated()},
        {maxT, minT, maxT, TimeRelation::unrelated()},
        {-1, maxT, maxT, TimeRelation::unrelated()},
        {minT, 0, maxT, TimeRelation::unrelated()},
        {0, minT, maxT, TimeRelation::unrelated()},
        {maxT, maxT, 3, TimeRelation::same()},
        {minT, minT, 3, TimeRelation::same()},
        {maxT - 2 * sec, maxT, 3, TimeRelation::same()},
        {minT, minT + hour, 3, TimeRelation::zoneShift(1)},
        {maxT, maxT - hour, 3, TimeRelation::zoneShift(-1)},
        {0, maxT, 3, TimeRelation::unrelated()},
        {0, minT + 1, 3, TimeRelation::unrelated()},
    };
    for (const auto& c : cases) {
        const TimeRelation got = relate(c.a, c.b, c.maxShift);
        EXPECT_EQ(got, c.want) << c.a << " " << c.b << " " << c.maxShift << " got kind " << int(got.kind)
                               << " hours " << got.hours;
    }
}

TEST(Candidates, SameNameInTheSameFolderComesFirst) {
    DestIndex ix;
    const uint32_t root = ix.appendDir("B", std::nullopt, RootID{0}, 0, 0);
    const uint32_t other = ix.appendDir("200MSDCF", root, RootID{0}, 0, 0);
    const uint32_t same = ix.appendDir("100MSDCF", root, RootID{0}, 0, 0);
    const uint32_t a = add(ix, {"DSC1.ARW", other, 10, 1, t0, 0});
    const uint32_t b = add(ix, {"dsc1.arw", same, 10, 1, t0, 0});
    const uint32_t c = add(ix, {"DSC1.ARW", root, 10, 1, t0, 0});
    const uint32_t d = add(ix, {"DSC1.ARW", same, 10, 1, t0, 0});
    const uint32_t shorter = add(ix, {"DSC1.ARW", same, 7, 1, t0, 0});
    const uint32_t longer = add(ix, {"DSC1.ARW", other, 12, 1, t0, 0});
    ix.buildMaps();
    const auto got = candidates(card("DSC1.ARW", 10, 1, t0, {"100MSDCF", "DCIM"}), ix, 32);
    EXPECT_EQ(got.named, (std::vector<uint32_t>{b, d, a, c}));
    EXPECT_EQ(got.sameNameOtherSize, (std::vector<uint32_t>{shorter, longer}));
    EXPECT_TRUE(got.renamed.empty());
}

TEST(Candidates, RenamedRanks) {
    struct Case {
        const char* what;
        std::string name;
        uint16_t ext;
        int64_t mtime, btime;
        int rank;  // -1: no candidate
    };
    const std::vector<Case> cases = {
        {"2.0 s off", "other.arw", 1, t0 + 2 * sec, 0, 0},
        {"2.5 s off", "other.arw", 1, t0 + 2500 * sec / 1000, 0, -1},
        {"2.5 s off, birth time within 2 s", "other.arw", 1, t0 + 2500 * sec / 1000, t0 - 2 * sec, 2},
        {"1 h off", "other.arw", 1, t0 + hour + sec, 0, 1},
        {"4 h off", "other.arw", 1, t0 - 4 * hour, 0, -1},
        {"birth time 1 h off", "other.arw", 1, t0 + 10 * hour, t0 + hour, -1},
        {"other extension", "other.jpg", 2, t0, t0, -1},
        {"same name", "dsc1.ARW", 1, t0, t0, -1},
        {"birth time only", "other.arw", 1, 0, t0 + sec, 2},
        {"garbage times", "other.arw", 1, minT, maxT, -1},
    };
    for (const auto& c : cases) {
        DestIndex ix;
        const uint32_t root = ix.appendDir("B", std::nullopt, RootID{0}, 0, 0);
        add(ix, {c.name, root, 10, c.ext, c.mtime, c.btime});
        ix.buildMaps();
        const auto got = candidates(card("DSC1.ARW", 10, 1, t0), ix, 32);
        if (c.rank < 0) {
            EXPECT_TRUE(got.renamed.empty()) << c.what;
        } else {
            EXPECT_EQ(got.renamed, (std::vector<uint32_t>{0})) << c.what;
        }
    }

    // One of each rank, appended worst first: best rank first.
    DestIndex ix;
    const uint32_t root = ix.appendDir("B", std::nullopt, RootID{0}, 0, 0);
    const uint32_t r2 = add(ix, {"a.arw", root, 10, 1, t0 + 9 * sec, t0});
    const uint32_t r1 = add(ix, {"b.arw", root, 10, 1, t0 - 2 * hour, 0});
    const uint32_t r0 = add(ix, {"c.arw", root, 10, 1, t0 + sec, 0});
    ix.buildMaps();
    EXPECT_EQ(candidates(card("DSC1.ARW", 10, 1, t0), ix, 32).renamed, (std::vector<uint32_t>{r0, r1, r2}));
    EXPECT_EQ(candidates(card("DSC1.ARW", 10, 1, t0), ix, 2).renamed, (std::vector<uint32_t>{r0, r1}));
}

TEST(Candidates, GateKeepsTheBestRankedLowestKeys) {
    DestIndex ix;
    const uint32_t root = ix.appendDir("B", std::nullopt, RootID{0}, 0, 0);
    std::vector<uint32_t> rankZero;
    for (int i = 0; i < 40; ++i) {
        add(ix, {numbered("late", i), root, 10, 1, t0 + hour, 0});  // rank 1
        rankZero.push_back(add(ix, {numbered("r", i), root, 10, 1, t0 + sec, 0}));
        add(ix, {numbered("born", i), root, 10, 1, 0, t0});  // rank 2
    }
    const uint32_t named = add(ix, {"DSC1.ARW", root, 10, 1, t0, 0});
    ix.buildMaps();
    std::stable_sort(rankZero.begin(), rankZero.end(),
                     [&](uint32_t x, uint32_t y) { return ix.nameKey()[x] < ix.nameKey()[y]; });
    rankZero.resize(32);

    const auto got = candidates(card("DSC1.ARW", 10, 1, t0), ix, 32);
    EXPECT_EQ(got.renamed, rankZero);
    EXPECT_EQ(got.named, (std::vector<uint32_t>{named}));

    const auto none = candidates(card("DSC1.ARW", 10, 1, t0), ix, 0);
    EXPECT_TRUE(none.renamed.empty());
    EXPECT_EQ(none.named, got.named);
    EXPECT_EQ(none.sameNameOtherSize, got.sameNameOtherSize);
}

TEST(Candidates, EmptyIndex) {
    DestIndex ix;
    ix.buildMaps();
    const auto got = candidates(card("a.jpg", 1, 1, t0), ix, 32);
    EXPECT_TRUE(got.named.empty());
    EXPECT_TRUE(got.renamed.empty());
    EXPECT_TRUE(got.sameNameOtherSize.empty());
}

// The whole search against the rules applied by a scan over every row of random indexes.
TEST(Candidates, MatchesALinearScan) {
    std::mt19937_64 rng(77);
    const std::vector<std::string> names = {"a.arw", "A.ARW", "b.arw", "c.jpg", "d.jpg", "dcim", "100msdcf", "e"};
    const std::vector<std::string> folders = {"dcim", "100MSDCF", "a.arw", "x"};
    const std::vector<int64_t> sizes = {0, 10, 11, 12};
    const std::vector<int64_t> offsets = {0,         sec,      -2 * sec,        2 * sec + 1, hour,       -hour - 2 * sec,
                                          3 * hour,  4 * hour, -3 * hour - sec, 5 * sec,     hour + 3 * sec};
    auto time = [&](int64_t base) { return rng() % 12 == 0 ? static_cast<int64_t>(rng()) : base + offsets[rng() % offsets.size()]; };

    for (int round = 0; round < 300; ++round) {
        DestIndex ix;
        std::vector<uint32_t> dirs;
        for (uint16_t root = 0; root < 2; ++root) dirs.push_back(ix.appendDir("R", std::nullopt, RootID{root}, 0, 0));
        const int files = static_cast<int>(rng() % 120);
        for (int i = 0; i < files; ++i) {
            if (rng() % 4 == 0) {
                const uint32_t parent = dirs[rng() % dirs.size()];
                dirs.push_back(ix.appendDir(folders[rng() % folders.size()], parent, ix.dirs()[parent].root, 0, 0));
            }
            add(ix, {names[rng() % names.size()], dirs[rng() % dirs.size()], sizes[rng() % sizes.size()],
                     static_cast<uint16_t>(rng() % 2), time(t0), time(t0)});
        }
        ix.buildMaps();

        std::vector<std::string> cardFolders;
        for (int k = static_cast<int>(rng() % 4); k > 0; --k) cardFolders.push_back(folders[rng() % folders.size()]);
        const SourceFile f = card(names[rng() % names.size()], sizes[rng() % sizes.size()],
                                  static_cast<uint16_t>(rng() % 2), t0, cardFolders);
        const int64_t gateK = static_cast<int64_t>(rng() % 6);
        const Candidates got = candidates(f, ix, gateK);

        // Oracle: depth by walking the directory table; rules applied to every row in row order.
        auto depth = [&](uint32_t r) {
            size_t dpt = 1;
            uint32_t d = ix.dir()[r];
            for (size_t i = 1; i < f.keysNameFirst.size(); ++i) {
                const auto& dir = ix.dirs()[d];
                if (dir.parent == d || dir.nameKey != f.keysNameFirst[i]) break;
                ++dpt;
                d = dir.parent;
            }
            return dpt;
        };
        Candidates want;
        std::vector<std::pair<int, uint32_t>> ranked;
        for (uint32_t r = 0; r < ix.count(); ++r) {
            const bool sameKey = ix.nameKey()[r] == f.nameKey;
            const bool sameSize = ix.size()[r] == f.size;
            if (sameKey && sameSize) want.named.push_back(r);
            if (sameKey && !sameSize) want.sameNameOtherSize.push_back(r);
            if (!sameKey && sameSize && ix.extID()[r] == f.extID) {
                const auto m = relate(f.mtimeNs, ix.mtimeNs()[r], 3);
                int rank = -1;
                if (m.kind == TimeRelation::Kind::same) rank = 0;
                else if (m.kind == TimeRelation::Kind::zoneShift) rank = 1;
                else if (relate(f.mtimeNs, ix.btimeNs()[r], 3).kind == TimeRelation::Kind::same) rank = 2;
                if (rank >= 0) ranked.emplace_back(rank, r);
            }
        }
        std::stable_sort(want.named.begin(), want.named.end(), [&](uint32_t x, uint32_t y) { return depth(x) > depth(y); });
        std::stable_sort(want.sameNameOtherSize.begin(), want.sameNameOtherSize.end(),
                         [&](uint32_t x, uint32_t y) { return ix.size()[x] < ix.size()[y]; });
        std::stable_sort(ranked.begin(), ranked.end(),
                         [&](const auto& x, const auto& y) { return ix.nameKey()[x.second] < ix.nameKey()[y.second]; });
        std::stable_sort(ranked.begin(), ranked.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
        for (size_t i = 0; i < ranked.size() && i < static_cast<size_t>(gateK); ++i) want.renamed.push_back(ranked[i].second);

        ASSERT_EQ(got.named, want.named) << round;
        ASSERT_EQ(got.sameNameOtherSize, want.sameNameOtherSize) << round;
        ASSERT_EQ(got.renamed, want.renamed) << round;
    }
}

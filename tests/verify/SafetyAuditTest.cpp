// The one answer that must never be wrong: a file counts towards "safe to format" only through a
// copy whose every byte was read from the medium, on a physical drive that is not the card's, and
// each drive (and each file system object) counts once. Each case below breaks one link of that
// chain and expects the count to drop; each table also holds a case where the count must stay up,
// so that a verifier that never counts anything would fail too.
#include "verify/Verifier.h"

#include "CardFixture.h"
#include "copy/FaultSys.h"
#include "match/NameKey.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>

namespace halvetrop {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::check;

constexpr int64_t kTime = 1714737600LL * 1000000000LL;

struct Stat {
    uint64_t dev = 0, ino = 0;
    int64_t size = 0, mtimeNs = 0;
};

// The mount a folder is reached through now.
MountID mountOf(const std::string& path) {
    const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    EXPECT_GE(fd, 0) << path;
    const std::optional<HeldObject> held = heldObject(defaultSys(), fd);
    ::close(fd);
    EXPECT_TRUE(held) << path;
    return held ? held->mount : MountID{};
}

Stat statOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
}

// Another file with the same bytes and modification time put in the file's place, as a program that
// rewrites through a temporary file does.
void putInPlace(const std::string& path) {
    const std::string again = path + ".again";
    fs::copy_file(path, again);
    test::setMtime(again, test::mtimeOf(path));
    fs::rename(again, path);
}

const std::string kPhoto = "DSC00001.ARW";

// One backup root of a hand-built index: which folder, which drive the check believes it is on,
// and whether it is believed to be on the card's own volume.
struct Root {
    std::string path;
    std::string drive;
    bool sameVolume = false;
};

// A card folder and backup folders on disk, an index built from what the backups hold, and one
// compare() of one card file: the drives are whatever the case says, so that drive identity can
// be tested without real disks.
struct Rig {
    TempDir dir{"audit"};
    std::string card = dir / "card";
    ExtTable ext;
    DestIndex index;
    std::vector<Root> roots;
    // Rows to flag as cloud placeholders, by backup-relative path.
    std::vector<std::string> dataless;
    // The first backup's files believed to lie on another file system than they do.
    bool firstOnAnotherVolume = false;

    std::string put(const std::string& rel, const std::string& bytes) {
        test::writeFile(rel, bytes, kTime);
        return rel;
    }

    void build() {
        for (size_t j = 0; j < roots.size(); ++j) {
            const RootID root{static_cast<uint16_t>(j)};
            index.rootDrive[root] = PhysicalDriveID{roots[j].drive};
            index.rootMount[root] = mountOf(roots[j].path);
            const uint32_t top = index.appendDir(fs::path(roots[j].path).filename().string(), std::nullopt, root, 0, 0);
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(roots[j].path, ec)) {
                if (!e.is_regular_file() && !e.is_directory()) continue;
                const std::string name = e.path().filename().string();
                const Stat s = statOf(e.path().string());
                EntryFlags flags;
                for (const std::string& d : dataless)
                    if (d == name) flags.insert(EntryFlags::dataless);
                index.appendFile(name, top, e.is_directory() ? s.size : s.size, s.mtimeNs, 0, s.mtimeNs, s.ino, flags,
                                 ext.id(name), s.dev + (j == 0 && firstOnAnotherVolume ? 1 : 0));
            }
        }
        index.buildMaps();
    }

    Verifier::Item item(const std::string& name) const {
        const std::string path = card + "/" + name;
        const Stat s = statOf(path);
        Verifier::Item it;
        it.rel = name;
        it.rawRel = name;
        it.name = name;
        it.size = s.size;
        it.mtimeNs = s.mtimeNs;
        it.fileID = s.ino;
        it.device = s.dev;
        it.cls.kind = MediaKind::photo;
        it.cls.role = FileRole::media;
        it.inScope = true;
        return it;
    }

    Verifier::CompareContext context(CheckLevel level, const std::string& sourceDrive) {
        Verifier::CompareContext c;
        c.request = VerifyRequest(card, {});
        for (const Root& r : roots) c.request.destinations.push_back(r.path);
        c.request.level = level;
        c.index = &index;
        for (const Root& r : roots) c.sameVolume.push_back(r.sameVolume);
        c.sourceDrive = PhysicalDriveID{sourceDrive};
        c.cardMount = mountOf(card);
        c.extTable = &ext;
        return c;
    }

    FileResult compare(const std::string& name, CheckLevel level, const std::string& sourceDrive = "dev:A",
                       Verifier* verifier = nullptr) {
        Verifier own(VerifyRequest(card, {}));
        Verifier& v = verifier ? *verifier : own;
        const Verifier::CompareContext c = context(level, sourceDrive);
        return v.compare(0, item(name), c).first;
    }

    std::string backup(size_t j) const { return dir.path() + "/b" + std::to_string(j); }

    // The photo on the card and a copy of it on each of two drives, indexed.
    void photoOnTwoDrives(const std::string& cardBytes, const std::string& copyBytes) {
        put(card + "/" + kPhoto, cardBytes);
        put(backup(0) + "/" + kPhoto, copyBytes);
        put(backup(1) + "/" + kPhoto, copyBytes);
        roots = {{backup(0), "dev:B"}, {backup(1), "dev:C"}};
        build();
    }
};

// --- drive identity ------------------------------------------------------------------------------

TEST(SafetyAudit, EachPhysicalDriveCountsOnceAndNeverTheCards) {
    const struct {
        const char* what;
        const char* card;
        const char* first;
        const char* second;
        int64_t safe;
    } cases[] = {
        {"two separate drives", "dev:A", "dev:B", "dev:C", 2},
        {"two folders on one drive", "dev:A", "dev:B", "dev:B", 1},
        {"one copy on the card's drive", "dev:A", "dev:A", "dev:C", 1},
        {"a volume over the card's disk and another", "dev:A", "dev:A + dev:B", "dev:C", 1},
        {"a volume spanning a drive that holds the other copy", "dev:A", "dev:B", "dev:B + dev:C", 1},
        {"one pair of disks named in two orders", "dev:A", "dev:C + dev:D", "dev:D + dev:C", 1},
        {"an unknown drive", "dev:A", "unknown:block 7:0", "dev:C", 1},
        {"a drive with no id", "dev:A", "", "dev:C", 1},
        {"the card's drive unknown", "unknown:block 8:1", "dev:B", "dev:C", 0},
        {"the card's drive has no id", "", "dev:B", "dev:C", 0},
        {"the card's volume spans an unknown disk", "dev:A + unknown:/dev/y", "dev:B", "dev:C", 0},
        {"a copy's volume spans an unknown disk", "dev:A", "dev:B + unknown:/dev/y", "dev:C", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        const std::string bytes = test::noise(300000, 7);
        rig.put(rig.card + "/" + kPhoto, bytes);
        rig.put(rig.backup(0) + "/" + kPhoto, bytes);
        rig.put(rig.backup(1) + "/" + kPhoto, bytes);
        rig.roots = {{rig.backup(0), c.first}, {rig.backup(1), c.second}};
        rig.build();
        const FileResult r = rig.compare(kPhoto, CheckLevel::verified, c.card);
        EXPECT_EQ(r.status, FileStatus::verified);
        EXPECT_EQ(r.safeDrives, c.safe);
    }
}

// The same file system object reached through two roots (the same backup given twice, or one
// folder under two mount points whose drives were told apart) is one copy, whatever the drive ids.
TEST(SafetyAudit, OneObjectReachedTwiceIsOneCopy) {
    Rig rig;
    const std::string bytes = test::noise(300000, 8);
    rig.put(rig.card + "/" + kPhoto, bytes);
    rig.put(rig.backup(0) + "/" + kPhoto, bytes);
    rig.put(rig.backup(1) + "/" + kPhoto, bytes);
    rig.roots = {{rig.backup(0), "dev:B"}, {rig.backup(0), "dev:C"}, {rig.backup(1), "dev:D"}};
    rig.build();
    const FileResult r = rig.compare(kPhoto, CheckLevel::verified);
    EXPECT_EQ(r.status, FileStatus::verified);
    EXPECT_EQ(r.safeDrives, 2) << "b0 twice and b1 once are two copies";
}

// The card file itself, met inside a backup, is never its copy: by its (device, inode) even when
// the root was not seen to share the card's volume, and by its volume flag.
TEST(SafetyAudit, TheCardFileItselfIsNeverACopy) {
    for (bool flagged : {true, false}) {
        SCOPED_TRACE(flagged ? "root flagged as the card's volume" : "root not flagged");
        Rig rig;
        const std::string bytes = test::noise(300000, 9);
        rig.put(rig.card + "/" + kPhoto, bytes);
        fs::create_directories(rig.backup(0));
        ASSERT_EQ(::link((rig.card + "/" + kPhoto).c_str(), (rig.backup(0) + "/" + kPhoto).c_str()), 0);
        rig.put(rig.backup(1) + "/" + kPhoto, bytes);
        rig.roots = {{rig.backup(0), "dev:B", flagged}, {rig.backup(1), "dev:C"}};
        rig.build();
        const FileResult r = rig.compare(kPhoto, CheckLevel::verified);
        EXPECT_EQ(r.safeDrives, 1);
        ASSERT_EQ(r.copies.size(), 1u);
        EXPECT_EQ(r.copies[0].destination, 1);
    }
}

// --- evidence ------------------------------------------------------------------------------------

// What the copies hold decides; each case has copies on two separate drives, so 2 is reachable.
TEST(SafetyAudit, OnlyEveryByteReadFromTheMediumCounts) {
    const std::string zeros(500000, '\0');
    std::string zerosFlipped = zeros;
    zerosFlipped[180000] = 1;  // outside every sample window
    const std::string body = test::noise(300000, 10);
    std::string bodyFlipped = body;
    bodyFlipped[200000] ^= 0xff;  // between the middle and tail windows
    const std::string small = test::noise(1000, 11);
    const struct {
        const char* what;
        std::string card, copy;
        CheckLevel level;
        int64_t safe;
    } cases[] = {
        {"exact copies, verified level", body, body, CheckLevel::verified, 2},
        {"exact copies, standard level (sampled only)", body, body, CheckLevel::standard, 0},
        {"a small file, standard level", small, small, CheckLevel::standard, 0},
        {"a byte changed between windows, verified level", body, bodyFlipped, CheckLevel::verified, 0},
        {"zeros, exact", zeros, zeros, CheckLevel::verified, 2},
        {"zeros with one byte off", zeros, zerosFlipped, CheckLevel::verified, 0},
        {"zeros with one byte off, standard level", zeros, zerosFlipped, CheckLevel::standard, 0},
        {"a truncated copy", body, body.substr(0, 200000), CheckLevel::verified, 0},
        {"an extended copy", body, body + "x", CheckLevel::verified, 0},
        {"an empty copy", body, "", CheckLevel::verified, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        rig.photoOnTwoDrives(c.card, c.copy);
        const FileResult r = rig.compare(kPhoto, c.level);
        EXPECT_EQ(r.safeDrives, c.safe) << rawValue(r.status);
        if (c.safe == 0 && c.card != c.copy) {
            EXPECT_TRUE(r.copies.empty());
            EXPECT_FALSE(isCovered(r.status)) << rawValue(r.status);
        }
    }
}

// A copy that changed after it was indexed is judged by what it holds now, never by the index.
TEST(SafetyAudit, CopyChangedAfterIndexing) {
    const std::string body = test::noise(300000, 12);
    const struct {
        const char* what;
        void (*change)(const std::string& path, const std::string& body);
        int64_t safe;
    } cases[] = {
        {"untouched", [](const std::string&, const std::string&) {}, 2},
        {"grown", [](const std::string& p, const std::string&) { std::ofstream(p, std::ios::app) << "tail"; }, 1},
        {"truncated", [](const std::string& p, const std::string&) { fs::resize_file(p, 1000); }, 1},
        {"deleted", [](const std::string& p, const std::string&) { fs::remove(p); }, 1},
        {"replaced by a folder", [](const std::string& p, const std::string&) {
             fs::remove(p);
             fs::create_directories(p);
         }, 1},
        {"rewritten, same size", [](const std::string& p, const std::string& b) {
             test::writeFile(p, test::noise(static_cast<int64_t>(b.size()), 99), kTime);
         }, 1},
        {"one byte flipped, same size and time", [](const std::string& p, const std::string&) { test::flipByte(p, 150000); }, 1},
        {"another file put in its place, same bytes and time", [](const std::string& p, const std::string&) { putInPlace(p); }, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        rig.photoOnTwoDrives(body, body);
        c.change(rig.backup(0) + "/" + kPhoto, body);
        for (CheckLevel level : {CheckLevel::standard, CheckLevel::verified}) {
            const FileResult r = rig.compare(kPhoto, level);
            if (level == CheckLevel::verified) {
                EXPECT_EQ(r.safeDrives, c.safe);
            } else {
                EXPECT_EQ(r.safeDrives, 0);
            }
            if (c.safe < 2 && level == CheckLevel::verified) {
                for (const CopyRef& ref : r.copies) EXPECT_NE(ref.destination, 0);
            }
        }
    }
}

TEST(SafetyAudit, PlaceholdersAndFailedReadsAreNoCopies) {
    const std::string body = test::noise(300000, 13);
    {
        SCOPED_TRACE("a backup row that is a cloud placeholder, its content present anyway");
        Rig rig;
        rig.put(rig.card + "/" + kPhoto, body);
        rig.put(rig.backup(0) + "/" + kPhoto, body);
        rig.roots = {{rig.backup(0), "dev:B"}};
        rig.dataless = {kPhoto};
        rig.build();
        const FileResult r = rig.compare(kPhoto, CheckLevel::verified);
        EXPECT_EQ(r.safeDrives, 0);
        EXPECT_EQ(r.status, FileStatus::cloudOnly);
    }
    {
        SCOPED_TRACE("a card file that is a placeholder");
        Rig rig;
        rig.photoOnTwoDrives(body, body);
        Verifier v(VerifyRequest(rig.card, {}));
        Verifier::Item it = rig.item(kPhoto);
        it.dataless = true;
        const auto [r, locs] = v.compare(0, it, rig.context(CheckLevel::verified, "dev:A"));
        EXPECT_EQ(r.safeDrives, 0);
        EXPECT_EQ(r.status, FileStatus::unreadable);
    }
    {
        // The file the scan found, which now fails every read (a card going bad), not another one
        // put in its place: that is a change.
        SCOPED_TRACE("a card file that cannot be read any more");
        Rig rig;
        rig.photoOnTwoDrives(body, body);
        test::FaultSys failing;
        const std::string cardFile = rig.card + "/" + kPhoto;
        failing.fault = [&](test::FaultSys::Op op, const std::string& path, int) {
            return op == test::FaultSys::Op::read && path == cardFile ? EIO : 0;
        };
        Verifier v(VerifyRequest(rig.card, {}));
        Verifier::CompareContext c = rig.context(CheckLevel::verified, "dev:A");
        c.sys = &failing;
        const auto [r, locs] = v.compare(0, rig.item(kPhoto), c);
        EXPECT_EQ(r.safeDrives, 0);
        EXPECT_EQ(r.status, FileStatus::unreadable);
        EXPECT_TRUE(r.copies.empty());
    }
}

// The reads cover the size the scan saw; a card file that changed since is not proven copied.
TEST(SafetyAudit, CardFileChangedAfterTheScan) {
    const std::string small = test::noise(1000, 16);
    const struct {
        const char* what;
        void (*change)(const std::string& path);
        int64_t safe;
    } cases[] = {
        {"untouched", [](const std::string&) {}, 2},
        {"grown", [](const std::string& p) { std::ofstream(p, std::ios::app) << "more"; }, 0},
        {"rewritten with a new time", [](const std::string& p) { test::writeFile(p, test::noise(1000, 17), kTime + 5000000000); }, 0},
        {"removed", [](const std::string& p) { fs::remove(p); }, 0},
        {"replaced by the same bytes at the same time", [](const std::string& p) { putInPlace(p); }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        rig.photoOnTwoDrives(small, small);
        const Verifier::Item it = rig.item(kPhoto);
        c.change(rig.card + "/" + kPhoto);
        Verifier v(VerifyRequest(rig.card, {}));
        const auto [r, locs] = v.compare(0, it, rig.context(CheckLevel::verified, "dev:A"));
        EXPECT_EQ(r.safeDrives, c.safe) << rawValue(r.status);
        if (c.safe == 0) {
            EXPECT_FALSE(isCovered(r.status)) << rawValue(r.status);
        }
    }
}

// A backup found reached through another mount than the one its walk listed, or holding another
// volume under a mount id used again (kernels before 6.8 reuse them), counts none of its copies from
// then on, even should its own mount come back, and each file says why.
TEST(SafetyAudit, ABackupReachedThroughAnotherMountCountsNoMore) {
    const std::string body = test::noise(300000, 18);
    for (bool mountIDAgain : {false, true}) {
        SCOPED_TRACE(mountIDAgain ? "another volume, the mount id used again" : "another mount");
        Rig rig;
        rig.firstOnAnotherVolume = mountIDAgain;
        rig.photoOnTwoDrives(body, body);
        const MountID mount = rig.index.rootMount[RootID{0}];
        if (!mountIDAgain) rig.index.rootMount[RootID{0}].id += 1;
        Verifier v(VerifyRequest(rig.card, {}));
        const Verifier::CompareContext ctx = rig.context(CheckLevel::verified, "dev:A");
        for (int pass = 0; pass < 2; ++pass) {
            SCOPED_TRACE(pass);
            const FileResult r = v.compare(0, rig.item(kPhoto), ctx).first;
            EXPECT_EQ(r.status, FileStatus::verified);
            EXPECT_EQ(r.safeDrives, 1);
            ASSERT_EQ(r.copies.size(), 1u);
            EXPECT_EQ(r.copies[0].destination, 1);
            EXPECT_EQ(r.detail, "The backup is no longer connected: " + rig.backup(0));
            EXPECT_EQ(ctx.replaced->roots(), std::vector{RootID{0}});
            rig.index.rootMount[RootID{0}] = mount;
        }
    }
}

// A comparison stopped by cancel() is no result at all: not a copy, not an unreadable file.
TEST(SafetyAudit, CancelledComparisonIsNoResult) {
    const std::string zeros(500000, '\0');
    const std::string body = test::noise(300000, 14);
    for (const std::string* bytes : {&zeros, &body}) {
        Rig rig;
        rig.put(rig.card + "/" + kPhoto, *bytes);
        rig.put(rig.backup(0) + "/" + kPhoto, *bytes);
        rig.roots = {{rig.backup(0), "dev:B"}};
        rig.build();
        Verifier v(VerifyRequest(rig.card, {}));
        v.cancel();
        try {
            const FileResult r = rig.compare(kPhoto, CheckLevel::verified, "dev:A", &v);
            ADD_FAILURE() << "a cancelled full read gave a result: " << rawValue(r.status) << " safe " << r.safeDrives;
        } catch (const VerifyError& e) {
            EXPECT_EQ(e.kind(), VerifyError::Kind::cancelled);
        }
    }
}

// Distinct renamed copies of one photo, in one folder of one drive, are one drive.
TEST(SafetyAudit, SeveralCopiesOnOneDriveAreOneDrive) {
    Rig rig;
    const std::string body = test::noise(300000, 15);
    rig.put(rig.card + "/" + kPhoto, body);
    rig.put(rig.backup(0) + "/" + kPhoto, body);
    rig.put(rig.backup(0) + "/Copy of DSC00001.ARW", body);
    rig.put(rig.backup(1) + "/" + kPhoto, body);
    rig.roots = {{rig.backup(0), "dev:B"}, {rig.backup(1), "dev:B"}};
    rig.build();
    const FileResult r = rig.compare(kPhoto, CheckLevel::verified);
    EXPECT_EQ(r.status, FileStatus::verified);
    EXPECT_EQ(r.safeDrives, 1);
}

// --- the whole run -------------------------------------------------------------------------------

// A copy on the card's own drive is verified but never safe, whatever requiredCopies says.
TEST(SafetyAudit, NoRequiredCopiesSettingMakesAnUncopiedCardSafe) {
    TempDir dir("audit");
    test::makeCard(dir / "card");
    test::copyTree(dir / "card", dir / "backup");
    for (int64_t required : {int64_t{0}, int64_t{-1}, INT64_MIN, int64_t{1}, INT64_MAX}) {
        SCOPED_TRACE(required);
        const VerifyReport r = check(dir / "card", {dir / "backup"}, CheckLevel::verified, required);
        EXPECT_GT(r.totals.verified, 0);
        EXPECT_EQ(r.safeFiles, 0);
        EXPECT_FALSE(r.safeToFormat);
        EXPECT_GE(r.requiredCopies, 1);
    }
}

// Backups that are the card in disguise: no copy at all may come of them.
TEST(SafetyAudit, BackupsThatAreTheCardInDisguise) {
    TempDir dir("audit");
    const std::string card = dir / "card";
    test::makeCard(card);
    fs::create_directories(dir / "links");
    fs::create_directory_symlink(card, dir / "links/card");
    fs::create_directory_symlink(card + "/DCIM", dir / "links/dcim");
    // A backup folder whose files are symbolic links to the card's files.
    for (const auto& e : fs::recursive_directory_iterator(card)) {
        if (!e.is_regular_file()) continue;
        const fs::path rel = fs::relative(e.path(), card);
        fs::create_directories(fs::path(dir / "symlinked") / rel.parent_path());
        fs::create_symlink(e.path(), fs::path(dir / "symlinked") / rel);
    }
    const struct {
        const char* what;
        std::vector<std::string> backups;
    } cases[] = {
        {"a symbolic link to the card", {dir / "links/card"}},
        {"a symbolic link to a card folder", {dir / "links/dcim"}},
        {"a tree of links to the card's files", {dir / "symlinked"}},
        {"the card itself, spelt with dots", {dir / "card/../card/."}},
        {"a folder inside the card", {card + "/DCIM"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const VerifyReport r = check(card, c.backups, CheckLevel::verified, 1);
        EXPECT_EQ(r.safeFiles, 0);
        EXPECT_FALSE(r.safeToFormat);
        for (const FileResult& f : r.files) {
            if (!f.inScope) continue;
            EXPECT_TRUE(f.copies.empty()) << f.relativePath;
            EXPECT_FALSE(isCovered(f.status)) << f.relativePath << " " << rawValue(f.status);
        }
    }
}

// The same backup given twice, under two spellings, is one copy per file.
TEST(SafetyAudit, SameBackupGivenTwice) {
    TempDir dir("audit");
    test::makeCard(dir / "card");
    test::copyTree(dir / "card", dir / "backup");
    fs::create_directories(dir / "x");
    const VerifyReport r =
        check(dir / "card", {dir / "backup", dir / "backup/", dir / "x/../backup"}, CheckLevel::verified, 1);
    ASSERT_EQ(r.destinations.size(), 3u);
    for (const FileResult& f : r.files) {
        if (!f.inScope) continue;
        EXPECT_EQ(f.status, FileStatus::verified) << f.relativePath;
        EXPECT_EQ(f.copies.size(), 1u) << f.relativePath;
        EXPECT_LE(f.safeDrives, 1) << f.relativePath;
    }
}

// Backups are numbered in 16 bits inside the index: one past the last number must not wrap onto
// backup 0 and be read and counted as that backup.
TEST(SafetyAudit, BackupNumbersDoNotWrap) {
    TempDir dir("audit");
    test::makeCard(dir / "card", test::CardOptions{1, 0, 300000, 0, false, 4});
    test::copyTree(dir / "card", dir / "late");
    std::vector<std::string> backups(65537, dir / "none");
    backups[0] = dir / "empty";
    fs::create_directories(dir / "empty");
    backups[65536] = dir / "late";
    const VerifyReport r = check(dir / "card", backups, CheckLevel::standard, 1);
    EXPECT_EQ(r.destinations.size(), 65537u);
    for (const FileResult& f : r.files) {
        if (!f.inScope) continue;
        EXPECT_TRUE(f.copies.empty()) << f.relativePath << " has a copy through a wrapped backup number";
    }
    EXPECT_EQ(r.problems.back(), "Couldn't open backup " + (dir / "late"));
}

}  // namespace
}  // namespace halvetrop

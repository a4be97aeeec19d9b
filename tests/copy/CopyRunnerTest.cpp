#include "copy/CopyRunner.h"

#include "FaultSys.h"
#include "drives/Drives.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <linux/magic.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <thread>
#include <tuple>

namespace halvetrop {
namespace {

namespace fs = std::filesystem;
using test::FaultSys;
using test::readFile;
using test::TempDir;
using Op = FaultSys::Op;

using test::bytesOf;

struct RunnerFixture : ::testing::Test {
    TempDir tmp{"runner"};
    std::string card, root;
    CopyPlan plan;
    VolumeInfo volume;

    void SetUp() override {
        card = tmp.mkdir("card");
        root = tmp.mkdir("backup");
        plan.root = root;
        plan.card = card;
        volume.name = "Backup";
        volume.fileSystem = "ext4";
    }
    PlannedCopy& add(std::int64_t id, const std::string& name, const std::string& content, const std::string& sub = "2024/2024-05-17") {
        const std::string source = tmp.write("card/DCIM/" + name, content);
        plan.items.push_back(PlannedCopy{id, source, sub.empty() ? root : root + "/" + sub, name, static_cast<std::int64_t>(content.size())});
        return plan.items.back();
    }
    std::unique_ptr<CopyRunner> runner(Sys& sys = defaultSys()) {
        auto r = std::make_unique<CopyRunner>(plan, sys);
        r->volumeInfo = [this](const std::string&) { return volume; };
        return r;
    }
};

TEST_F(RunnerFixture, EmptyPlan) {
    auto r = runner();
    int calls = 0;
    r->onProgress = [&](const CopyProgress&) { ++calls; };
    const CopyRunResult result = r->run();
    EXPECT_TRUE(result.copied.empty() && result.alreadyThere.empty() && result.failed.empty());
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(result.bytesCopied, 0);
    EXPECT_EQ(calls, 0);
}

TEST_F(RunnerFixture, CopiesAndReportsProgressPerChunkAndPerFile) {
    add(1, "A.JPG", bytesOf(100000, 1));
    add(2, "B.JPG", bytesOf(200000, 2), "other");
    auto r = runner();
    std::vector<CopyProgress> seen;
    r->onProgress = [&](const CopyProgress& p) { seen.push_back(p); };
    const CopyRunResult result = r->run();
    ASSERT_EQ(result.copied.size(), 2u);
    EXPECT_EQ(result.copied[0].path, root + "/2024/2024-05-17/A.JPG");
    EXPECT_EQ(result.copied[1].path, root + "/other/B.JPG");
    EXPECT_TRUE(result.copied[0].readBackFromMedium);
    EXPECT_EQ(readFile(result.copied[1].path), bytesOf(200000, 2));
    EXPECT_EQ(result.bytesCopied, 300000);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().bytesDone, 300000);
    EXPECT_EQ(seen.back().filesDone, 2);
    EXPECT_DOUBLE_EQ(seen.back().fraction(), 1.0);
    // Inside the first file: its bytes on top of nothing, files done 0.
    EXPECT_EQ(seen.front().filesDone, 0);
    EXPECT_EQ(seen.front().bytesDone, 100000);
    EXPECT_EQ(seen.front().current, "A.JPG");
    EXPECT_EQ(seen.front().filesTotal, 2);
    // A file counts once it is written, as its bytes do, not once the flush its batch shares is
    // proven: the files done are those whose bytes are through, and the bytes never run past the
    // file after them.
    const std::int64_t ends[] = {100000, 300000};
    for (const CopyProgress& p : seen) {
        if (p.filesDone > 0) {
            EXPECT_GE(p.bytesDone, ends[p.filesDone - 1]) << p.filesDone;
        }
        if (p.filesDone < 2) {
            EXPECT_LE(p.bytesDone, ends[p.filesDone]) << p.filesDone;
        }
    }
}

TEST_F(RunnerFixture, FreeSpaceAtTheLimitPassesAndOneByteShortRefusesAll) {
    add(1, "A.JPG", bytesOf(100000, 1));
    add(2, "B.JPG", bytesOf(200000, 2));
    const std::int64_t limit = 300000 + 3000;
    for (std::int64_t free : {limit, limit - 1}) {
        SCOPED_TRACE(free);
        TempDir fresh{"space"};
        plan.root = fresh.path();
        for (auto& item : plan.items) item.destDir = fresh.path() + "/sub";
        volume.freeBytes = free;
        auto r = runner();
        int calls = 0;
        r->onProgress = [&](const CopyProgress&) { ++calls; };
        const CopyRunResult result = r->run();
        if (free == limit) {
            EXPECT_EQ(result.copied.size(), 2u);
            continue;
        }
        ASSERT_EQ(result.failed.size(), 2u);
        EXPECT_EQ(result.failed[0].id, 1);
        EXPECT_EQ(result.failed[1].id, 2);
        EXPECT_EQ(result.failed[0].message, "Not enough free space on Backup: needs 300 KB, has 303 KB");
        EXPECT_EQ(result.failed[1].message, result.failed[0].message);
        EXPECT_TRUE(result.copied.empty());
        EXPECT_EQ(calls, 0);
        EXPECT_FALSE(fs::exists(fresh.path() + "/sub")) << "no folder is made for a refused plan";
    }
}

// The run starts only on the backup's own volume: another file system at the root (an empty
// mount point left on the system's disk, another drive of the same name, one that cannot be told
// from it) takes nothing, not even a folder.
TEST_F(RunnerFixture, AnotherVolumeAtTheRootTakesNothing) {
    add(1, "A.JPG", bytesOf(1000, 1));
    using Id = std::optional<std::string>;
    using Mount = std::optional<std::int64_t>;
    struct Row {
        Id planned, mounted;
        Mount plannedMount, mountedMount;
        const char* refusal;  // "" when it copies
    };
    const std::string away = "The backup is no longer connected: ";
    const std::string unsure = "Can't tell whether the drive at ";
    const Row rows[] = {
        {"UUID-A", "UUID-A", 7, 8, ""},
        {"UUID-A", "UUID-B", 7, 7, "away"},
        {std::nullopt, std::nullopt, 7, 7, ""},
        {std::nullopt, std::nullopt, 7, 8, "unsure"},
        {std::nullopt, "UUID-B", std::nullopt, 7, "unsure"},
        {"UUID-A", std::nullopt, 7, 8, "unsure"},
    };
    for (const Row& row : rows) {
        TempDir fresh{"volume"};
        plan.root = fresh.path();
        plan.items[0].destDir = fresh.path() + "/sub";
        struct stat st {};
        ASSERT_EQ(::stat(fresh.path().c_str(), &st), 0);
        volume.deviceNumber = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
        VolumeInfo recorded = volume;
        recorded.path = recorded.volumePath = volume.volumePath = fresh.path();
        recorded.volumeID = row.planned;
        recorded.mountID = row.plannedMount;
        plan.backupVolume = recorded;
        volume.volumeID = row.mounted;
        volume.mountID = row.mountedMount;
        const std::string what = row.planned.value_or("-") + " " + row.mounted.value_or("-");
        const CopyRunResult result = runner()->run();
        EXPECT_EQ(result.copied.size(), *row.refusal ? 0u : 1u) << what;
        if (!*row.refusal) continue;
        ASSERT_EQ(result.failed.size(), 1u) << what;
        const std::string& message = result.failed[0].message;
        if (std::string(row.refusal) == "away")
            EXPECT_EQ(message, away + fresh.path()) << what;
        else
            EXPECT_EQ(message, unsure + fresh.path() + " is the backup that was checked. Check the card again first.")
                << what;
        EXPECT_TRUE(fs::is_empty(fresh.path()));
    }
}

TEST(ByteCount, FileStyle) {
    EXPECT_EQ(formatByteCount(0), "Zero KB");
    EXPECT_EQ(formatByteCount(1), "1 byte");
    EXPECT_EQ(formatByteCount(999), "999 bytes");
    EXPECT_EQ(formatByteCount(1000), "1 KB");
    EXPECT_EQ(formatByteCount(302999), "303 KB");
    EXPECT_EQ(formatByteCount(999999), "1 MB");
    EXPECT_EQ(formatByteCount(1500000), "1.5 MB");
    EXPECT_EQ(formatByteCount(2350000000), "2.35 GB");
    EXPECT_EQ(formatByteCount(4000000000000), "4 TB");
}

TEST_F(RunnerFixture, FilesAlreadyThereUnderTheNameOrANumberedName) {
    struct Row {
        const char* name;
        std::vector<std::pair<std::string, bool>> existing;  // name on the backup, same content?
        std::string expectedPath;                            // under the folder
        bool alreadyThere;
    };
    const std::vector<Row> rows = {
        {"same bytes under the name", {{"A.JPG", true}}, "A.JPG", true},
        {"different under the name: numbered 2", {{"A.JPG", false}}, "A (2).JPG", false},
        {"different, then same under 2", {{"A.JPG", false}, {"A (2).JPG", true}}, "A (2).JPG", true},
        {"different under the name and 2: 3", {{"A.JPG", false}, {"A (2).JPG", false}}, "A (3).JPG", false},
        {"same size, one byte differs", {{"A.JPG", false}}, "A (2).JPG", false},
    };
    const std::string content = bytesOf(50000, 9);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir t{"there"};
        plan.root = t.path();
        plan.items.clear();
        add(1, "A.JPG", content).destDir = t.path() + "/f";
        for (const auto& [name, same] : row.existing) {
            std::string other = content;
            other[1234] ^= 0x40;  // same size, other bytes
            t.write("f/" + name, same ? content : other);
        }
        auto r = runner();
        std::vector<CopyProgress> seen;
        r->onProgress = [&](const CopyProgress& p) { seen.push_back(p); };
        const CopyRunResult result = r->run();
        const std::string expected = t.path() + "/f/" + row.expectedPath;
        if (row.alreadyThere) {
            ASSERT_EQ(result.alreadyThere.size(), 1u);
            EXPECT_EQ(result.alreadyThere[0].path, expected);
            EXPECT_TRUE(result.copied.empty());
            EXPECT_TRUE(seen.empty()) << "a file already there has no progress call of its own";
        } else {
            ASSERT_EQ(result.copied.size(), 1u);
            EXPECT_EQ(result.copied[0].path, expected);
            EXPECT_EQ(readFile(expected), content);
        }
        // Nothing that was there changed.
        for (const auto& [name, same] : row.existing) EXPECT_EQ(readFile(t.path() + "/f/" + name).size(), content.size());
    }
}

// Names are bytes from the plan to the backup: one that is not UTF-8 and its look-alike with a real
// U+FFFD are two files, and a numbered name keeps the bytes it numbers.
TEST_F(RunnerFixture, NamesThatAreNotUtf8AreCopiedUnderTheirOwnBytes) {
    const std::string raw = "IMG_\xff" "01.JPG", decoy = "IMG_\xef\xbf\xbd" "01.JPG", other = "IMG_\xfe" "02.JPG";
    add(1, raw, bytesOf(40000, 1), "1\xfe");
    add(2, decoy, bytesOf(40000, 2), "1\xfe");
    add(3, other, bytesOf(40000, 3), "taken");
    tmp.write("backup/taken/" + other, bytesOf(40000, 4));
    const CopyRunResult result = runner()->run();
    EXPECT_TRUE(result.failed.empty());
    ASSERT_EQ(result.copied.size(), 3u);
    EXPECT_EQ(result.copied[0].path, root + "/1\xfe/" + raw);
    EXPECT_EQ(result.copied[1].path, root + "/1\xfe/" + decoy);
    EXPECT_EQ(result.copied[2].path, root + "/taken/IMG_\xfe" "02 (2).JPG");
    for (std::size_t i = 0; i < 3; ++i) EXPECT_TRUE(readFile(result.copied[i].path) == bytesOf(40000, unsigned(i) + 1)) << i;
    EXPECT_TRUE(readFile(root + "/taken/" + other) == bytesOf(40000, 4));
}

TEST_F(RunnerFixture, EmptyFileBesideAnEmptyFileIsAlreadyThere) {
    add(1, "EMPTY.TXT", "", "f");
    tmp.write("backup/f/EMPTY.TXT", "");
    const CopyRunResult result = runner()->run();
    ASSERT_EQ(result.alreadyThere.size(), 1u);
    EXPECT_EQ(result.alreadyThere[0].id, 1);
}

TEST_F(RunnerFixture, AlreadyThereCountsInTheBytesDone) {
    add(1, "A.JPG", bytesOf(1000, 1), "f");
    add(2, "B.JPG", bytesOf(3000, 2), "f");
    tmp.write("backup/f/A.JPG", bytesOf(1000, 1));
    auto r = runner();
    std::vector<CopyProgress> seen;
    r->onProgress = [&](const CopyProgress& p) { seen.push_back(p); };
    r->run();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().bytesDone, 4000);  // the first chunk of B on top of A
    EXPECT_EQ(seen.front().filesDone, 1);
}

TEST_F(RunnerFixture, CancelFromProgress) {
    for (bool midFile : {false, true}) {
        SCOPED_TRACE(midFile);
        TempDir t{"cancel"};
        plan.root = t.path();
        plan.items.clear();
        add(1, "A.JPG", bytesOf(1000, 1)).destDir = t.path() + "/f";
        add(2, "B.JPG", bytesOf(1000, 2)).destDir = t.path() + "/f";
        auto r = runner();
        r->filesPerBatch = 1;  // each file proven on its own, so that Stop can come between two
        int callsAfterCancel = 0;
        bool cancelled = false;
        r->onProgress = [&](const CopyProgress& p) {
            if (cancelled) ++callsAfterCancel;
            // Between the two items (the first one proven), or inside the first one's copy.
            if ((midFile && p.filesDone == 0) || (!midFile && p.filesProven == 1)) {
                r->cancel();
                cancelled = true;
            }
        };
        const CopyRunResult result = r->run();
        EXPECT_TRUE(result.cancelled);
        EXPECT_EQ(result.copied.size(), midFile ? 0u : 1u);
        EXPECT_TRUE(result.failed.empty());
        EXPECT_FALSE(fs::exists(t.path() + "/f/B.JPG"));
        if (midFile) {
            // Nothing copied: the folder the run made is gone with the temporary file.
            EXPECT_FALSE(fs::exists(t.path() + "/f"));
            EXPECT_EQ(callsAfterCancel, 0);
        } else {
            EXPECT_EQ(test::treeOf(t.path() + "/f"), std::vector<std::string>{"A.JPG 1000"});
        }
    }
}

TEST_F(RunnerFixture, CancellationIsSeenWhileComparingAnExistingFile) {
    const std::string content = bytesOf(24 << 20, 3);  // six 4 MiB reads per side
    add(1, "CLIP.MP4", content, "f");
    tmp.write("backup/f/CLIP.MP4", content);
    FaultSys sys;
    auto r = runner(sys);
    int reads = 0;
    sys.beforeRead = [&](const std::string&) {
        if (++reads == 2) r->cancel();
    };
    const CopyRunResult result = r->run();
    EXPECT_TRUE(result.cancelled);
    EXPECT_TRUE(result.alreadyThere.empty());
    EXPECT_LE(reads, 3) << "Stop must not wait for the end of the comparison";
}

// Card files of another user refuse O_NOATIME: they are copied, and compared with a file already
// there, all the same, and the result counts each such read where the mount records access times.
TEST_F(RunnerFixture, CardFilesOfAnotherUserAreCopiedAndCounted) {
    const struct {
        const char* what;
        bool refused;
        unsigned long mountFlags;
        std::int64_t counted;
    } rows[] = {
        {"owner", false, ST_RELATIME, 0},
        {"another user, relatime", true, ST_RELATIME, 2},
        {"another user, read-only", true, ST_RDONLY, 0},
        {"another user, noatime", true, ST_NOATIME, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir t{"owner"};
        plan.root = t.path();
        plan.items.clear();
        const std::string there = bytesOf(30000, 4);
        add(1, "NEW.JPG", bytesOf(40000, 3)).destDir = t.path() + "/f";
        add(2, "THERE.JPG", there).destDir = t.path() + "/f";
        t.write("f/THERE.JPG", there);
        FaultSys sys;
        sys.mountFlags = row.mountFlags;
        sys.fault = [&](Op op, const std::string& path, int flags) {
            return row.refused && op == Op::open && (flags & O_NOATIME) && path.rfind(card, 0) == 0 ? EPERM : 0;
        };
        const CopyRunResult result = runner(sys)->run();
        EXPECT_EQ(result.copied.size(), 1u);
        EXPECT_EQ(result.alreadyThere.size(), 1u);
        EXPECT_TRUE(result.failed.empty());
        EXPECT_EQ(result.sourceAccessTimesTouched, row.counted);
    }
}

TEST_F(RunnerFixture, RefusalsPerItem) {
    add(1, "A.JPG", "a");
    const std::string elsewhere = tmp.mkdir("elsewhere");
    ASSERT_EQ(::symlink(elsewhere.c_str(), (root + "/link").c_str()), 0);
    add(2, "B.JPG", "b", "link/sub");
    tmp.write("backup/file", "not a folder");
    add(3, "C.JPG", "c", "file/sub");
    add(4, "D.JPG", "d");
    plan.items.back().destDir = tmp.path() + "/outside";
    add(5, "E.JPG", "e");
    plan.items.back().destDir = card + "/DCIM/new";
    add(6, "F.JPG", "f");
    plan.items.back().destDir = root + "/../backup-escape";
    const CopyRunResult result = runner()->run();
    ASSERT_EQ(result.failed.size(), 5u);
    EXPECT_EQ(result.copied.size(), 1u);
    EXPECT_EQ(result.failed[0].message, "Refused to write outside the backup folder: " + root + "/link");
    EXPECT_EQ(result.failed[1].message, "Refused to write outside the backup folder: " + root + "/file");
    EXPECT_EQ(result.failed[2].message, "Refused to write outside the backup folder: " + tmp.path() + "/outside");
    EXPECT_EQ(result.failed[3].message, "Refused to copy onto the card being checked: " + card + "/DCIM/new");
    EXPECT_EQ(result.failed[4].message, "Refused to write outside the backup folder: " + root + "/../backup-escape");
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_FALSE(fs::exists(tmp.path() + "/outside"));
    EXPECT_FALSE(fs::exists(card + "/DCIM/new"));
    EXPECT_FALSE(fs::exists(tmp.path() + "/backup-escape"));
}

// A folder is made on the backup only for a card file that is open: one gone since the plan
// makes none and reads "No longer on the card". The folders a run made and left empty (a copy
// that failed, a file refused while planning) are taken away again; one that holds a copy stays,
// and so does a folder that was there before, empty or not.
TEST_F(RunnerFixture, NoFolderIsLeftForAFileThatWasNotCopied) {
    tmp.mkdir("backup/keep");
    const std::string gone = add(1, "GONE.JPG", "g", "g/h").source;
    add(2, "FAIL.JPG", "ffff", "c/d");
    add(3, "OK.JPG", "ok", "c/x");
    add(4, "FAIL2.JPG", "ffff", "keep/e");
    add(5, "LONG.JPG", "l", "n/o").refusal = CopyError::nameTooLong(root + "/n/o/LONG.JPG", NameLimit{});
    fs::remove(gone);
    FaultSys sys;
    sys.fault = [&](Op op, const std::string& path, int) {
        return op == Op::write && path.find(".FAIL") != std::string::npos ? EIO : 0;
    };
    const CopyRunResult result = runner(sys)->run();
    ASSERT_EQ(result.failed.size(), 4u);
    EXPECT_EQ(result.failed[0].message, "No longer on the card");
    EXPECT_EQ(result.failed[1].message, "write " + root + "/c/d/FAIL.JPG: Input/output error");
    EXPECT_EQ(result.failed[3].id, 5);
    ASSERT_EQ(result.copied.size(), 1u);
    EXPECT_EQ(result.bytesCopied, 2);
    EXPECT_EQ(sys.count(Op::mkdirat, root + "/g"), 0) << "nothing made for a file not there";
    EXPECT_EQ(sys.count(Op::mkdirat, root + "/n"), 0) << "nothing made for a file refused";
    EXPECT_EQ(test::treeOf(root), (std::vector<std::string>{"c", "c/x", "c/x/OK.JPG 2", "keep"}));
}

TEST_F(RunnerFixture, CreatedFoldersAreFlushedIntoTheirParents) {
    add(1, "A.JPG", "a", "x/y");
    FaultSys sys;
    const CopyRunResult result = runner(sys)->run();
    ASSERT_EQ(result.copied.size(), 1u);
    const auto calls = sys.calls();
    for (const auto& folder : {std::pair{root + "/x", root}, std::pair{root + "/x/y", root + "/x"}}) {
        const std::string& made = folder.first;
        const std::string& parent = folder.second;
        auto mk = std::find_if(calls.begin(), calls.end(), [&](const FaultSys::Call& c) { return c.op == Op::mkdirat && c.path == made; });
        ASSERT_NE(mk, calls.end()) << made;
        EXPECT_TRUE(std::any_of(mk, calls.end(), [&](const FaultSys::Call& c) { return c.op == Op::fsync && c.path == parent; })) << made;
    }
}

TEST_F(RunnerFixture, FolderAndComparisonFailuresAreMessages) {
    add(1, "A.JPG", "a", "x");
    add(2, "B.JPG", "bbbb", "y");
    tmp.write("backup/y/B.JPG", "cccc");
    FaultSys sys;
    sys.fault = [&](Op op, const std::string& path, int) {
        if (op == Op::mkdirat && path == root + "/x") return EACCES;
        if (op == Op::read && path == root + "/y/B.JPG") return EIO;
        return 0;
    };
    const CopyRunResult result = runner(sys)->run();
    ASSERT_EQ(result.failed.size(), 2u);
    EXPECT_EQ(result.failed[0].message, "create folder " + root + "/x: Permission denied");
    EXPECT_EQ(result.failed[1].message, "read " + root + "/y/B.JPG: Input/output error");
}

TEST_F(RunnerFixture, RepeatedIdsAreCopiedOnce) {
    add(1, "A.JPG", "a", "f");
    plan.items.push_back(plan.items.back());
    auto r = runner();
    std::vector<CopyProgress> seen;
    r->onProgress = [&](const CopyProgress& p) { seen.push_back(p); };
    const CopyRunResult result = r->run();
    EXPECT_EQ(result.copied.size(), 1u);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_TRUE(result.alreadyThere.empty()) << "the second mention is no second file";
    EXPECT_EQ(result.bytesCopied, 1);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().filesTotal, 1);
}

TEST_F(RunnerFixture, NoExtendedAttributesOntoFatFamilyVolumes) {
    const std::string& source = add(1, "A.JPG", "a", "f").source;
    if (::setxattr(source.c_str(), "user.halvetrop.test", "v", 1, 0) != 0) GTEST_SKIP() << "no user xattrs here";
    for (const char* type : {"exfat", "vfat", "ext4"}) {
        SCOPED_TRACE(type);
        TempDir t{"fat"};
        plan.root = t.path();
        plan.items[0].destDir = t.path() + "/f";
        volume.fileSystem = type;
        const CopyRunResult result = runner()->run();
        ASSERT_EQ(result.copied.size(), 1u);
        char value[8];
        const bool has = ::getxattr(result.copied[0].path.c_str(), "user.halvetrop.test", value, sizeof value) > 0;
        EXPECT_EQ(has, std::string(type) == "ext4");
    }
}

TEST_F(RunnerFixture, TheVolumeLimitComesFromTheVolumeDescription) {
    add(1, "A.JPG", bytesOf(5000, 1), "f");
    volume.maxFileSize = 4999;
    const CopyRunResult result = runner()->run();
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].message, "Too large for the destination's file system (FAT32 limit 4 GB): " + root + "/f/A.JPG");
}

// One file's proof overlaps the next file's copy; what is reported must still read as if the files
// were done one after another: outcomes and progress in plan order, a name taken by the file in
// flight seen as taken, failures of either stage given to their own file.
TEST_F(RunnerFixture, OverlappedFilesKeepPlanOrder) {
    // One file at a time, batches of three (a name taken in the batch before or in the same one),
    // and every file in one batch.
    for (std::size_t perBatch : {std::size_t{1}, std::size_t{3}, std::size_t{128}}) {
        SCOPED_TRACE(perBatch);
        TempDir t{"order"};
        plan.root = root = t.mkdir("backup");
        plan.items.clear();
        std::vector<std::string> contents;
        for (int k = 0; k < 8; ++k) contents.push_back(bytesOf(30000 + 1000 * static_cast<std::size_t>(k), 20 + static_cast<unsigned>(k)));
        for (int k = 0; k < 5; ++k) add(k, std::to_string(k) + ".JPG", contents[static_cast<std::size_t>(k)], "f");
        add(5, "5.JPG", contents[5], "f").name = "4.JPG";  // wants the name the file before is taking
        add(6, "6.JPG", contents[6], "f");
        add(7, "7.JPG", contents[3], "f").name = "3.JPG";  // the same bytes as an earlier file
        FaultSys sys;
        sys.fsType = EXT4_SUPER_MAGIC;  // a drive whose files can share its flush
        sys.fault = [&](Op op, const std::string& path, int) {
            if (op == Op::read && path.find(root + "/f/.2.JPG.halvetrop-") == 0) return EIO;  // read-back
            if (op == Op::open && path == tmp.path() + "/card/DCIM/6.JPG") return EACCES;
            return 0;
        };
        auto r = runner(sys);
        r->filesPerBatch = perBatch;
        std::vector<CopyProgress> seen;
        r->onProgress = [&](const CopyProgress& p) { seen.push_back(p); };
        const CopyRunResult result = r->run();

        std::vector<std::int64_t> copiedIds;
        for (const auto& c : result.copied) copiedIds.push_back(c.id);
        EXPECT_EQ(copiedIds, (std::vector<std::int64_t>{0, 1, 3, 4, 5}));
        ASSERT_EQ(result.copied.size(), 5u);
        EXPECT_EQ(result.copied[3].path, root + "/f/4.JPG");
        EXPECT_EQ(result.copied[4].path, root + "/f/4 (2).JPG");
        EXPECT_EQ(readFile(root + "/f/4.JPG"), contents[4]);
        EXPECT_EQ(readFile(root + "/f/4 (2).JPG"), contents[5]);
        ASSERT_EQ(result.failed.size(), 2u);
        EXPECT_EQ(result.failed[0].id, 2);
        EXPECT_EQ(result.failed[0].message.rfind("verify read " + root + "/f/.2.JPG.halvetrop-", 0), 0u) << result.failed[0].message;
        EXPECT_EQ(result.failed[1].id, 6);
        EXPECT_EQ(result.failed[1].message, "open " + tmp.path() + "/card/DCIM/6.JPG: Permission denied");
        ASSERT_EQ(result.alreadyThere.size(), 1u);
        EXPECT_EQ(result.alreadyThere[0].id, 7);
        EXPECT_EQ(result.alreadyThere[0].path, root + "/f/3.JPG");
        EXPECT_FALSE(result.cancelled);
        EXPECT_FALSE(fs::exists(root + "/f/2.JPG"));
        for (const auto& e : fs::directory_iterator(root + "/f"))
            EXPECT_EQ(e.path().filename().string().find(".partial"), std::string::npos) << e.path();

        // Progress never goes back, no file is proven before it is through, and each file's proof
        // is reported once, in plan order.
        ASSERT_FALSE(seen.empty());
        std::vector<std::string> ended;
        int through = 0, files = 0;
        std::int64_t bytes = 0;
        for (const auto& p : seen) {
            EXPECT_GE(p.bytesDone, bytes);
            EXPECT_GE(p.filesDone, through);
            EXPECT_GE(p.filesProven, files);
            EXPECT_LE(p.filesProven, p.filesDone);
            EXPECT_LE(p.bytesDone, p.bytesTotal);
            if (p.filesProven > files) {
                EXPECT_EQ(p.filesProven, files + 1);
                ended.push_back(p.current);
            }
            bytes = p.bytesDone;
            through = p.filesDone;
            files = p.filesProven;
        }
        EXPECT_EQ(ended, (std::vector<std::string>{"0.JPG", "1.JPG", "2.JPG", "3.JPG", "4.JPG", "4.JPG", "6.JPG"}));
    }
}

// Stop pressed while a batch is being read back: what was read back before is named and listed,
// the rest of the batch is not named, leaves no temporary file and is listed nowhere, and nothing
// is made for the files after it. Stopped at the first read-back, nothing is left, not even the
// folder.
TEST_F(RunnerFixture, CancelWhileAFileIsBeingProved) {
    for (const char* stopAt : {"A", "B"}) {
        SCOPED_TRACE(stopAt);
        TempDir t{"stop"};
        plan.root = root = t.mkdir("backup");
        plan.items.clear();
        add(1, "A.JPG", bytesOf(3 << 20, 1), "f");
        add(2, "B.JPG", bytesOf(3 << 20, 2), "f");
        add(3, "C.JPG", bytesOf(1000, 3), "f");
        add(4, "D.JPG", bytesOf(1000, 4), "f");
        FaultSys sys;
        sys.fsType = EXT4_SUPER_MAGIC;
        CopyRunner* stop = nullptr;
        std::atomic<bool> sawProof{false};
        sys.beforeRead = [&](const std::string& path) {
            if (path.find(root + "/f/." + stopAt + ".JPG.halvetrop-") == 0) {
                sawProof = true;
                stop->cancel();
            }
        };
        auto r = runner(sys);
        r->filesPerBatch = 3;
        stop = r.get();
        const CopyRunResult result = r->run();
        EXPECT_TRUE(sawProof.load());
        EXPECT_TRUE(result.cancelled);
        EXPECT_TRUE(result.failed.empty());
        if (std::string(stopAt) == "A") {
            EXPECT_TRUE(result.copied.empty());
            EXPECT_EQ(result.bytesCopied, 0);
            // No copy, no temporary file, and no folder made for them.
            EXPECT_FALSE(fs::exists(root + "/f"));
        } else {
            ASSERT_EQ(result.copied.size(), 1u);
            EXPECT_EQ(result.copied[0].id, 1);
            EXPECT_EQ(result.bytesCopied, 3 << 20);
            EXPECT_EQ(test::treeOf(root + "/f"), std::vector<std::string>{"A.JPG " + std::to_string(3 << 20)});
        }
    }
}

// A flush of the drive that fails fails every file of its batch, each with its own path, and is
// not tried again for them; the next batch is flushed anew.
TEST_F(RunnerFixture, AFailedFlushFailsItsWholeBatch) {
    for (int k = 0; k < 4; ++k) add(k, std::to_string(k) + ".JPG", bytesOf(5000, static_cast<unsigned>(k)), "f");
    FaultSys sys;
    sys.fsType = EXT4_SUPER_MAGIC;
    int flushes = 0;
    sys.fault = [&](Op op, const std::string&, int) { return op == Op::syncfs && ++flushes == 1 ? EIO : 0; };
    auto r = runner(sys);
    r->filesPerBatch = 2;
    const CopyRunResult result = r->run();
    ASSERT_EQ(result.failed.size(), 2u);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(result.failed[static_cast<std::size_t>(k)].id, k);
        EXPECT_EQ(result.failed[static_cast<std::size_t>(k)].message,
                  "flush " + root + "/f/" + std::to_string(k) + ".JPG: Input/output error");
    }
    ASSERT_EQ(result.copied.size(), 2u);
    EXPECT_EQ(result.copied[0].id, 2);
    EXPECT_EQ(flushes, 2);
    EXPECT_EQ(sys.count(Op::fsync, ".partial"), 0);
    EXPECT_EQ(test::treeOf(root + "/f"), (std::vector<std::string>{"2.JPG 5000", "3.JPG 5000"}));
}

TEST_F(RunnerFixture, CancelFromAnotherThread) {
    for (int i = 0; i < 40; ++i) {
        std::string name = std::to_string(i);
        name.append(".JPG");
        add(i, name, bytesOf(20000, static_cast<unsigned>(i)), "f");
    }
    auto r = runner();
    r->filesPerBatch = 4;
    std::atomic<int> proven{0};
    r->onProgress = [&](const CopyProgress& p) { proven = p.filesProven; };
    std::thread stopper([&] {
        while (proven.load() < 4) std::this_thread::yield();
        r->cancel();
        r->cancel();
    });
    const CopyRunResult result = r->run();
    stopper.join();
    EXPECT_TRUE(result.cancelled);
    EXPECT_LT(result.copied.size(), 40u);
    EXPECT_GE(result.copied.size(), 4u);
    for (std::size_t k = 0; k < result.copied.size(); ++k) EXPECT_EQ(result.copied[k].id, static_cast<std::int64_t>(k));
}

// The backup folder is swapped for a link into the card once the runner has walked to it: at its
// last look before the copy, or as the engine creates the temporary file. The copy still goes
// where the walk led.
TEST_F(RunnerFixture, AFolderSwappedForALinkIntoTheCardAfterTheWalkNeverLeadsThere) {
    add(1, "A.JPG", bytesOf(5000, 1), "f");
    const auto before = test::treeOf(card);
    for (Op moment : {Op::fstatat, Op::openat}) {
        SCOPED_TRACE(static_cast<int>(moment));
        tmp.mkdir("backup/f");
        FaultSys sys;
        bool swapped = false;
        sys.fault = [&](Op op, const std::string& path, int flags) {
            const bool now = moment == Op::fstatat ? path == root + "/f/A.JPG" : (flags & O_CREAT) != 0;
            if (op == moment && now && !swapped) {
                swapped = true;
                fs::rename(root + "/f", root + "/f.walked");
                fs::create_directory_symlink(card + "/DCIM", root + "/f");
            }
            return 0;
        };
        const CopyRunResult result = runner(sys)->run();
        ASSERT_TRUE(swapped);
        EXPECT_EQ(test::treeOf(card), before);
        ASSERT_EQ(result.copied.size(), 1u) << (result.failed.empty() ? "" : result.failed[0].message);
        EXPECT_EQ(readFile(root + "/f.walked/A.JPG"), bytesOf(5000, 1));
        fs::remove(root + "/f");
        fs::remove_all(root + "/f.walked");
    }
}

// Another thread keeps exchanging the backup folder with a link into the card while the runner
// works: each file is copied into the real folder or refused, and the card never gains a thing.
TEST_F(RunnerFixture, AFolderRacedAgainstALinkIntoTheCardNeverLeadsThere) {
    for (int i = 0; i < 40; ++i) add(i, std::to_string(i) + ".JPG", bytesOf(20000, static_cast<unsigned>(i)), "f");
    const std::string folder = tmp.mkdir("backup/f"), link = root + "/link";
    fs::create_directory_symlink(card + "/DCIM", link);
    const auto before = test::treeOf(card);
    std::atomic<bool> done{false};
    std::atomic<int> exchanges{0};
    std::thread swapper([&] {
        while (!done.load()) {
            if (::renameat2(AT_FDCWD, folder.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE) == 0) ++exchanges;
            std::this_thread::yield();
        }
        if (fs::is_symlink(folder)) ::renameat2(AT_FDCWD, folder.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
    });
    const CopyRunResult result = runner()->run();
    done = true;
    swapper.join();
    EXPECT_GT(exchanges.load(), 0);
    EXPECT_EQ(test::treeOf(card), before);
    EXPECT_EQ(result.copied.size() + result.failed.size(), 40u);
    for (const auto& c : result.copied) EXPECT_EQ(readFile(c.path), bytesOf(20000, static_cast<unsigned>(c.id))) << c.path;
    for (const auto& f : result.failed) EXPECT_EQ(f.message.rfind("Refused to ", 0), 0u) << f.message;
}

// A name at the length limit, numbered after a collision, loses stem characters, whole ones.
TEST_F(RunnerFixture, ANumberedLongNameFitsAndStaysValid) {
    std::string stem;
    for (int i = 0; i < 123; ++i) stem += "\xC3\xA9";  // é
    const std::string name = stem + "\xC3\xA9\xC3\xA9x.JPG";  // 255 bytes
    add(1, name, bytesOf(3000, 1), "f");
    tmp.write("backup/f/" + name, bytesOf(3000, 2));
    const CopyRunResult result = runner()->run();
    ASSERT_EQ(result.copied.size(), 1u) << (result.failed.empty() ? "" : result.failed[0].message);
    EXPECT_EQ(result.copied[0].path, root + "/f/" + stem + " (2).JPG");
    EXPECT_EQ(readFile(result.copied[0].path), bytesOf(3000, 1));
}

}  // namespace
}  // namespace halvetrop

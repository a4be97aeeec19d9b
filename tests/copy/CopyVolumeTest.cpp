// Copies onto real volumes: a full tmpfs, an exFAT drive through FUSE (which cannot rename without
// replacing nor tell names apart by case), ext4 on a loop device, btrfs, a backup drive of its own that is
// unmounted during a copy, many small files on ext4, XFS and btrfs, and bind mounts of a card's file system.
#include "copy/CardFence.h"
#include "copy/CopyEngine.h"
#include "copy/CopyLayout.h"
#include "copy/CopyPlanner.h"
#include "copy/CopyRunner.h"

#include "FaultSys.h"
#include "drives/Drives.h"
#include "report/Report.h"
#include "support/LoopVolume.h"
#include "support/Privileged.h"
#include "support/TempDir.h"
#include "support/ZramVolume.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <tuple>

namespace halvetrop {
namespace {

namespace fs = std::filesystem;
using test::FaultSys;
using test::LoopVolume;
using test::readFile;
using test::TempDir;
using Op = FaultSys::Op;

using test::bytesOf;

#define VOLUME_OR_SKIP(var, type, size)                                                   \
    std::string reason_##var;                                                             \
    if (!LoopVolume::available(&reason_##var, type)) GTEST_SKIP() << reason_##var;        \
    auto var = std::make_unique<LoopVolume>(type, size)

// A bind mount, lazily unmounted when the test is done with it.
struct BindMount {
    std::string at;
    BindMount(const std::string& from, std::string to) : at(std::move(to)) {
        test::runAsRootOrThrow("mount --bind " + test::shellQuote(from) + " " + test::shellQuote(at));
    }
    ~BindMount() { test::runAsRoot("umount -l " + test::shellQuote(at)); }
};

// Writes `bytes` at `relative` below `root`, making the folders on the way.
std::string writeBelow(const std::string& root, const std::string& relative, const std::string& bytes) {
    const fs::path path = fs::path(root) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

// A check's report of these card files (relative path, shoot day, size) against one backup.
VerifyReport reportOf(const std::string& card, const std::string& backup,
                      const std::vector<std::tuple<std::string, std::string, std::int64_t>>& files) {
    VerifyReport report;
    report.source = Drives::info(card);
    report.source.path = card;
    report.destinations.push_back(Drives::info(backup));
    std::int64_t id = 0;
    for (const auto& [relative, day, size] : files) {
        FileResult& f = report.files.emplace_back();
        f.id = id++;
        f.relativePath = relative;
        f.folder = fs::path(relative).parent_path().string();
        f.name = fs::path(relative).filename().string();
        f.day = day;
        f.size = size;
    }
    return report;
}

std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
    return out;
}

TEST(CopyOnRealVolumes, AFullTmpfsFailsTheWriteAndLeavesNothing) {
    VOLUME_OR_SKIP(volume, LoopVolume::Type::tmpfs, 1 << 20);
    TempDir card{"full-card"};
    const std::string content = bytesOf(2 << 20, 1);
    const std::string source = card.write("DCIM/BIG.MOV", content);
    const std::string dir = volume->mountPoint();
    CopyEngine engine;
    const CopyResult r = engine.copy(source, {{dir, "BIG.MOV"}});
    ASSERT_EQ(r.outcomes.size(), 1u);
    ASSERT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::failed);
    EXPECT_EQ(r.outcomes[0].error->description(), "write " + dir + "/BIG.MOV: No space left on device");
    EXPECT_TRUE(entries(dir).empty()) << "the temporary file is gone";

    // The runner sees the room the volume reports and refuses the plan before writing.
    CopyPlan plan;
    plan.root = dir;
    plan.items.push_back(PlannedCopy{7, source, dir + "/DCIM", "BIG.MOV", static_cast<std::int64_t>(content.size())});
    CopyRunner runner(plan);
    const CopyRunResult result = runner.run();
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].message.rfind("Not enough free space on ", 0), 0u) << result.failed[0].message;
    EXPECT_TRUE(entries(dir).empty());

    // What fits is copied, and the copy says its read-back was not from a medium past the cache.
    const std::string small = card.write("DCIM/SMALL.JPG", bytesOf(100000, 2));
    CopyPlan fits;
    fits.root = dir;
    fits.items.push_back(PlannedCopy{8, small, dir + "/DCIM", "SMALL.JPG", 100000});
    const CopyRunResult ok = CopyRunner(fits).run();
    ASSERT_EQ(ok.copied.size(), 1u);
    EXPECT_FALSE(ok.copied[0].readBackFromMedium);
    EXPECT_EQ(readFile(dir + "/DCIM/SMALL.JPG"), bytesOf(100000, 2));
}

TEST(CopyOnRealVolumes, ExfatTakesTheFallbackForRenamingWithoutReplacing) {
    VOLUME_OR_SKIP(volume, LoopVolume::Type::exfat, 16 << 20);
    TempDir card{"exfat-card"};
    const std::string content = bytesOf(3 << 20, 3);
    const std::string source = card.write("DCIM/C0001.MP4", content);
    const std::string dir = volume->mountPoint();

    FaultSys sys;
    CopyEngine engine(sys);
    const CopyResult r = engine.copy(source, {{dir, "C0001.MP4"}});
    ASSERT_EQ(r.outcomes.size(), 1u);
    ASSERT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::copied) << r.outcomes[0].error->description();
    EXPECT_EQ(readFile(dir + "/C0001.MP4"), content);
    EXPECT_FALSE(r.outcomes[0].readBackFromMedium) << "FUSE keeps its own cache below ours";
    const auto calls = sys.calls();
    const auto rename2 = std::find_if(calls.begin(), calls.end(), [](const FaultSys::Call& c) { return c.op == Op::renameat2; });
    ASSERT_NE(rename2, calls.end());
    EXPECT_NE(rename2->result, 0) << "exFAT through FUSE was expected to refuse RENAME_NOREPLACE";
    EXPECT_TRUE(std::any_of(rename2, calls.end(), [](const FaultSys::Call& c) {
        return (c.op == Op::linkat || c.op == Op::renameat) && c.result == 0;
    }));
    EXPECT_EQ(entries(dir), std::vector<std::string>{"C0001.MP4"});

    // The fallback still never replaces.
    const CopyResult again = engine.copy(source, {{dir, "C0001.MP4"}});
    EXPECT_EQ(again.outcomes[0].error->kind(), CopyError::Kind::destinationExists);
    card.write("DCIM/C0002.MP4", "new bytes");
    {
        std::FILE* f = std::fopen((dir + "/C0002.MP4").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("already here", f);
        std::fclose(f);
    }
    const CopyResult clash = engine.copy(card / "DCIM/C0002.MP4", {{dir, "C0002.MP4"}});
    EXPECT_EQ(clash.outcomes[0].error->kind(), CopyError::Kind::destinationExists);
    EXPECT_EQ(readFile(dir + "/C0002.MP4"), "already here");

    // The runner on exFAT: the real volume description, folders made, no extended attributes.
    EXPECT_EQ(Drives::info(dir).fileSystem, "exfat");
    CopyPlan plan;
    plan.root = dir;
    plan.card = card.path();
    plan.items.push_back(PlannedCopy{1, source, dir + "/2024/2024-05-17", "C0001.MP4", static_cast<std::int64_t>(content.size())});
    plan.items.push_back(PlannedCopy{2, source, dir, "C0001.MP4", static_cast<std::int64_t>(content.size())});
    const CopyRunResult result = CopyRunner(plan).run();
    ASSERT_EQ(result.copied.size(), 1u);
    EXPECT_EQ(readFile(dir + "/2024/2024-05-17/C0001.MP4"), content);
    ASSERT_EQ(result.alreadyThere.size(), 1u);
    EXPECT_EQ(result.alreadyThere[0].path, dir + "/C0001.MP4");
}

// exFAT refuses some characters a card's file system allows: the copy says which name and why,
// and leaves nothing behind; the file's neighbours are copied.
TEST(CopyOnRealVolumes, ANameExfatRefusesIsNamed) {
    VOLUME_OR_SKIP(volume, LoopVolume::Type::exfat, 16 << 20);
    TempDir card{"refused-card"};
    CopyPlan plan;
    plan.root = volume->mountPoint();
    plan.card = card.path();
    const std::vector<std::string> names = {"A,\"=B.JPG", "A,=B.JPG", "IMG_\xff.JPG"};
    for (std::size_t k = 0; k < names.size(); ++k) {
        const std::string source = card.write(std::to_string(k) + "/" + names[k], bytesOf(5000, unsigned(k)));
        plan.items.push_back(PlannedCopy{static_cast<std::int64_t>(k), source, plan.root, names[k], 5000});
    }
    const CopyRunResult result = CopyRunner(plan).run();
    ASSERT_EQ(result.copied.size(), 1u);
    EXPECT_EQ(readFile(plan.root + "/A,=B.JPG"), bytesOf(5000, 1));
    ASSERT_EQ(result.failed.size(), 2u);
    EXPECT_EQ(result.failed[0].message,
              "The backup drive refused the name \u201CA,\"=B.JPG\u201D: its file system doesn't allow \" in names");
    EXPECT_EQ(result.failed[1].message,
              "The backup drive refused the name \u201CIMG_\uFFFD.JPG\u201D: its file system stores only names that are "
              "UTF-8 text");
    EXPECT_EQ(entries(plan.root), std::vector<std::string>{"A,=B.JPG"});
}

TEST(CopyOnRealVolumes, Ext4ReadsBackFromTheDisk) {
    // A disk of its own: every user can tell that its reads come from the medium.
    std::string reason;
    if (!test::ZramVolume::available(&reason)) GTEST_SKIP() << reason;
    auto volume = std::make_unique<test::ZramVolume>(32 << 20);
    TempDir card{"ext4-card"};
    const std::string content = bytesOf(5 << 20, 5);
    const std::string source = card.write("DCIM/A.CR3", content);
    FaultSys sys;
    CopyEngine engine(sys);
    const CopyResult r = engine.copy(source, {{volume->mountPoint(), "A.CR3"}});
    ASSERT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::copied);
    EXPECT_TRUE(r.outcomes[0].readBackFromMedium);
    EXPECT_EQ(sys.count(Op::linkat), 0) << "ext4 renames without replacing itself";
    EXPECT_EQ(readFile(volume->mountPoint() + "/A.CR3"), content);

    // The copy found there again is read from the disk as a read-back is, or said not to be.
    for (bool cacheClings : {false, true}) {
        SCOPED_TRACE(cacheClings);
        FaultSys clinging;
        if (cacheClings) {
            clinging.resident = 1;
            clinging.fault = [](Op op, const std::string&, int flags) { return op == Op::openat && (flags & O_DIRECT) ? EINVAL : 0; };
        }
        CopyPlan plan;
        plan.root = volume->mountPoint();
        plan.items.push_back(PlannedCopy{1, source, volume->mountPoint(), "A.CR3", static_cast<std::int64_t>(content.size())});
        const CopyRunResult again = CopyRunner(plan, clinging).run();
        ASSERT_EQ(again.alreadyThere.size(), 1u);
        EXPECT_EQ(again.alreadyThere[0].readFromMedium, !cacheClings);
    }
}

// The file system says it keeps the file's bytes in its metadata (filefrag reads FIEMAP).
bool keptInline(const std::string& path) {
    return test::runShell("filefrag -s -v " + test::shellQuote(path) + " | grep -qw inline") == 0;
}

// btrfs, compressing what compresses. A copy is written into space set aside for it, so it lies in
// plain blocks and reads back from the drive. A file already there may be compressed, or kept
// inline in the file system's metadata when small, which no read of the file can show to come
// from the drive; and btrfs serves even a direct read from pages someone keeps mapped.
TEST(CopyOnRealVolumes, BtrfsReadsBackFromTheDiskWhatLiesThere) {
    std::string reason;
    if (!test::ZramVolume::available(&reason, test::ZramVolume::FileSystem::btrfs)) GTEST_SKIP() << reason;
    test::ZramVolume volume(128 << 20, {test::ZramVolume::FileSystem::btrfs, "", "", "compress=zstd", 1});
    std::string text;
    while (text.size() < (2 << 20)) text += "<Frame offset=\"" + std::to_string(text.size()) + "\"/>\n";
    const struct {
        const char* name;
        std::string content;
        bool foundFromMedium;  // when it was already there, written plainly
    } files[] = {
        {"A.CR3", bytesOf(3 << 20, 9), true},
        {"C0001M01.XML", text, true},
        {"A.XMP", bytesOf(900, 10), false},
        {"C0002M01.XML", bytesOf(500, 11), false},
    };
    TempDir card{"btrfs-card"};
    const std::string there = test::makeTempFolder(volume.mountPoint(), "there");
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const std::string source = card.write(f.name, f.content);
        FaultSys sys;
        const CopyResult r = CopyEngine(sys).copy(source, {{volume.mountPoint(), f.name}});
        ASSERT_EQ(r.outcomes[0].kind, TargetOutcome::Kind::copied);
        EXPECT_TRUE(r.outcomes[0].readBackFromMedium);
        EXPECT_EQ(readFile(volume.mountPoint() + "/" + f.name), f.content);
        // However small, the copy is never kept inline in btrfs's metadata: it can be proven again.
        EXPECT_FALSE(keptInline(volume.mountPoint() + "/" + f.name));

        std::ofstream(there + "/" + f.name, std::ios::binary) << f.content;
        ::sync();
        CopyPlan plan;
        plan.root = there;
        plan.items.push_back(PlannedCopy{1, source, there, f.name, static_cast<std::int64_t>(f.content.size())});
        const CopyRunResult again = CopyRunner(plan, sys).run();
        ASSERT_EQ(again.alreadyThere.size(), 1u);
        EXPECT_EQ(again.alreadyThere[0].readFromMedium, f.foundFromMedium);
        EXPECT_EQ(keptInline(there + "/" + f.name), !f.foundFromMedium) << "written plainly";

        const int fd = ::open((there + "/" + f.name).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        void* map = ::mmap(nullptr, f.content.size(), PROT_READ, MAP_SHARED, fd, 0);
        ASSERT_NE(map, MAP_FAILED);
        volatile unsigned char sum = 0;
        for (std::size_t i = 0; i < f.content.size(); i += 4096) sum = sum + static_cast<const unsigned char*>(map)[i];
        const CopyRunResult mapped = CopyRunner(plan, sys).run();
        ::munmap(map, f.content.size());
        ::close(fd);
        ASSERT_EQ(mapped.alreadyThere.size(), 1u);
        EXPECT_FALSE(mapped.alreadyThere[0].readFromMedium);
    }
}

// A backup drive unmounted while files are being copied: the files on their way (one file proven
// on its own, or a batch sharing one flush) are not called copied, and the rest fail as gone
// instead of landing on the system's disk under the empty mount point.
TEST(CopyOnRealVolumes, ABackupUnmountedMidRunTakesNoMoreFiles) {
    std::string reason;
    if (!test::ZramVolume::available(&reason)) GTEST_SKIP() << reason;
    for (std::size_t perBatch : {std::size_t{1}, std::size_t{2}}) {
        SCOPED_TRACE(perBatch);
        test::ZramVolume drive(64 << 20);
        TempDir card{"gone-card"};
        const std::string root = drive.mountPoint();
        CopyPlan plan;
        plan.root = root;
        plan.card = card.path();
        for (int k = 0; k < 4; ++k) {
            const std::string name = "IMG_000" + std::to_string(k) + ".JPG";
            const std::string source = card.write("DCIM/" + name, bytesOf(300000, static_cast<unsigned>(k)));
            plan.items.push_back(PlannedCopy{k, source, root + "/DCIM", name, 300000});
        }
        CopyRunner runner(plan);
        runner.filesPerBatch = perBatch;
        runner.onProgress = [&](const CopyProgress& p) {
            if (p.filesProven == 1) {
                EXPECT_EQ(drive.unmountLazily(), "");
            }
        };
        const CopyRunResult result = runner.run();
        ASSERT_EQ(result.copied.size(), perBatch);
        EXPECT_EQ(result.copied[0].id, 0);
        ASSERT_EQ(result.failed.size(), 4 - perBatch);
        for (const auto& failed : result.failed) EXPECT_EQ(failed.message, "The backup is no longer connected: " + root);
        EXPECT_TRUE(fs::is_empty(root)) << "nothing is written under the mount point left behind";
    }
}

// Many small files onto a drive of each kind: they share flushes of the whole drive, none gets an
// fsync of its own, and each is still read back from the disk, whole, before it gets its name.
// Another writer that takes the drive's last free bytes during the run fails the files that no
// longer fit, and leaves no temporary file nor any part of them.
TEST(CopyOnRealVolumes, SmallFilesShareFlushesAndARunOutOfRoomLeavesNothingHalfDone) {
    using FileSystem = test::ZramVolume::FileSystem;
    const FileSystem types[] = {FileSystem::ext4, FileSystem::xfs, FileSystem::btrfs};
    for (const FileSystem type : types) {
        std::string reason;
        if (!test::ZramVolume::available(&reason, type)) GTEST_SKIP() << reason;
    }
    for (const FileSystem type : types) {
        SCOPED_TRACE(static_cast<int>(type));
        test::ZramVolume drive(type == FileSystem::xfs ? 320 << 20 : 128 << 20, {type, "", "", "", 1});
        TempDir card{"small-card"};
        std::mt19937 sizes(static_cast<unsigned>(type));
        for (const bool runsOutOfRoom : {false, true}) {
            SCOPED_TRACE(runsOutOfRoom);
            const std::string root = test::makeTempFolder(drive.mountPoint(), runsOutOfRoom ? "full" : "room");
            CopyPlan plan;
            plan.root = root;
            std::map<std::string, std::string> contents;
            for (int k = 0; k < 300; ++k) {
                const std::string name = "DSC" + std::to_string(10000 + k) + ".ARW";
                contents[name] = bytesOf(4096 + sizes() % 40000, static_cast<unsigned>(k));
                const std::string source = card.write(name, contents[name]);
                plan.items.push_back(PlannedCopy{k, source, root + "/DCIM", name, static_cast<std::int64_t>(contents[name].size())});
            }
            FaultSys sys;
            CopyRunner runner(plan, sys);
            // Room runs out while the second batch is being written.
            std::int64_t intoSecondBatch = 0;
            for (int k = 0; k < 140; ++k) intoSecondBatch += plan.items[static_cast<std::size_t>(k)].size;
            runner.onProgress = [&, filled = false](const CopyProgress& p) mutable {
                if (!runsOutOfRoom || filled || p.bytesDone < intoSecondBatch) return;
                filled = true;
                const int fd = ::open((drive.mountPoint() + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                const std::string block(1 << 20, 'f');
                while (fd >= 0 && ::write(fd, block.data(), block.size()) > 0) {
                }
                if (fd >= 0) ::close(fd);
            };
            const CopyRunResult result = runner.run();
            EXPECT_EQ(sys.count(Op::fsync, ".partial"), 0);
            EXPECT_GE(sys.count(Op::syncfs), 1);
            EXPECT_EQ(result.copied.size() + result.failed.size(), 300u);
            for (const auto& c : result.copied) {
                EXPECT_TRUE(c.readBackFromMedium) << c.path;
                EXPECT_EQ(readFile(c.path), contents[fs::path(c.path).filename().string()]) << c.path;
            }
            for (const auto& f : result.failed) EXPECT_NE(f.message.find("No space left on device"), std::string::npos) << f.message;
            if (runsOutOfRoom) {
                EXPECT_GE(result.copied.size(), 128u) << "the first batch was proven before room ran out";
                EXPECT_FALSE(result.failed.empty());
            } else {
                EXPECT_TRUE(result.failed.empty());
            }
            // Whole copies and nothing else.
            EXPECT_EQ(entries(root + "/DCIM").size(), result.copied.size());
            ::unlink((drive.mountPoint() + "/filler").c_str());
        }
    }
}

// A backup drive detached before the copy: its mount point is an empty folder on the system's
// disk. Neither a new plan nor a plan made while it was there puts anything in that folder.
TEST(CopyOnRealVolumes, ABackupDetachedBeforeTheCopyIsRefused) {
    std::string reason;
    if (!test::ZramVolume::available(&reason)) GTEST_SKIP() << reason;
    for (const bool planAfter : {true, false}) {
        SCOPED_TRACE(planAfter ? "planned after the drive left" : "run after the drive left");
        test::ZramVolume drive(64 << 20);
        TempDir card{"detached-card"};
        VerifyReport report;
        report.source.path = report.source.volumePath = card.path();
        report.destinations.push_back(Drives::info(drive.mountPoint()));
        if (!report.destinations[0].volumeID) GTEST_SKIP() << test::volumesUnavailable("blkid gives this zram drive no UUID");
        FileResult file;
        file.id = 0;
        file.name = "IMG_0001.JPG";
        file.folder = "DCIM";
        file.relativePath = "DCIM/IMG_0001.JPG";
        file.size = 5000;
        card.write(file.relativePath, bytesOf(5000, 7));
        report.files.push_back(file);
        const auto plan = [&] { return CopyPlanner::plan(report, {0}, 0, CopyLayout::keepCardStructure(), "", ""); };
        const std::string root = drive.mountPoint();
        const std::string gone = "The backup is no longer connected: " + root;

        const CopyPlan before = plan();
        ASSERT_EQ(drive.unmountLazily(), "");
        ASSERT_TRUE(fs::is_directory(root) && fs::is_empty(root));
        if (planAfter) {
            try {
                plan();
                ADD_FAILURE() << "planned onto the system's disk";
            } catch (const CopyError& e) {
                EXPECT_EQ(e.description(), gone);
            }
        } else {
            const CopyRunResult result = CopyRunner(before).run();
            ASSERT_EQ(result.failed.size(), 1u);
            EXPECT_EQ(result.failed[0].message, gone);
            EXPECT_TRUE(result.copied.empty());
        }
        EXPECT_TRUE(fs::is_empty(root)) << "nothing lands under the mount point left behind";
    }
}

// Two backup drives of one name, rotated at one mount point: a copy planned or started for the
// drive the check read never lands on the other. With UUIDs the other is gone; without (cleared,
// as where no identity can be read) it cannot be told apart and is refused with that reason, and
// so is the checked drive once it was mounted again. As root and as an ordinary user.
TEST(CopyOnRealVolumes, ARotatedDriveAtTheBackupsPlaceTakesNothing) {
    std::string reason;
    if (!test::ZramVolume::available(&reason)) GTEST_SKIP() << reason;
    for (const bool uuids : {true, false}) {
        SCOPED_TRACE(uuids ? "drives with UUIDs" : "drives without UUIDs");
        test::ZramVolume checked(32 << 20, "ROTATE"), other(32 << 20, "ROTATE");
        if (!uuids) {
            for (test::ZramVolume* d : {&checked, &other}) {
                ASSERT_EQ(d->unmount(), "");
                test::runAsRootOrThrow("e2fsck -fy " + d->device() + " >/dev/null 2>&1; tune2fs -U clear " + d->device());
                ASSERT_EQ(d->remount(), "");
            }
        }
        TempDir card{"rotate-card"};
        VerifyReport report;
        report.source.path = report.source.volumePath = card.path();
        const std::string root = checked.mountPoint();
        report.destinations.push_back(Drives::info(root));
        ASSERT_EQ(report.destinations[0].volumeID.has_value(), uuids);
        ASSERT_EQ(Drives::info(other.mountPoint()).volumeID.has_value(), uuids);
        FileResult file;
        file.name = "IMG_0001.JPG";
        file.folder = "DCIM";
        file.relativePath = "DCIM/IMG_0001.JPG";
        file.size = 5000;
        card.write(file.relativePath, bytesOf(5000, 3));
        report.files.push_back(file);
        const auto plan = [&] { return CopyPlanner::plan(report, {0}, 0, CopyLayout::keepCardStructure(), "", ""); };
        const std::string refusal =
            uuids ? "The backup is no longer connected: " + root
                  : "Can't tell whether the drive at " + root + " is the backup that was checked. Check the card again first.";
        const CopyPlan before = plan();

        // The other drive in the checked one's place.
        ASSERT_EQ(checked.unmount(), "");
        ASSERT_EQ(other.unmount(), "");
        ASSERT_EQ(test::runAsRoot("mount -t ext4 " + other.device() + " " + root), 0);
        try {
            plan();
            ADD_FAILURE() << "planned onto the other drive";
        } catch (const CopyError& e) {
            EXPECT_EQ(e.description(), refusal);
        }
        const CopyRunResult run = CopyRunner(before).run();
        ASSERT_EQ(run.failed.size(), 1u);
        EXPECT_EQ(run.failed[0].message, refusal);
        EXPECT_TRUE(run.copied.empty());
        EXPECT_FALSE(fs::exists(root + "/DCIM")) << "nothing lands on the other drive";

        // The checked drive back in its place: known again by its UUID, and without one a mount
        // of its own that could be any drive's.
        ASSERT_EQ(test::runAsRoot("umount " + root), 0);
        ASSERT_EQ(checked.remount(), "");
        ASSERT_EQ(other.remount(), "");
        const CopyRunResult back = CopyRunner(before).run();
        EXPECT_EQ(back.copied.size(), uuids ? 1u : 0u);
        if (!uuids) {
            ASSERT_EQ(back.failed.size(), 1u);
            EXPECT_EQ(back.failed[0].message, refusal);
        }
        EXPECT_EQ(fs::exists(root + "/DCIM/IMG_0001.JPG"), uuids);
    }
}

// Plans and runs a copy of a new card file into `folder` below the backup folder `root`: refused
// as inside the card both times, or planned there and copied there. The card is left as it was.
void expectCopyInsideCardRefused(const std::string& card, const std::string& root, const std::string& folder,
                                 bool refused) {
    static const std::string source = [] {
        static TempDir where{"new-card-file"};
        return where.write("A.JPG", bytesOf(4000, 1));
    }();
    const auto before = test::treeOf(card);
    VerifyReport report;
    report.source.path = card;
    report.destinations.push_back(Drives::info(root));
    FileResult& file = report.files.emplace_back();
    file.id = 1;
    file.name = file.relativePath = "A.JPG";
    try {
        const CopyPlan planned = CopyPlanner::plan(report, {1}, 0, CopyLayout::custom(folder), "", "");
        EXPECT_FALSE(refused);
        ASSERT_EQ(planned.items.size(), 1u);
        EXPECT_EQ(planned.items[0].destDir, root + "/" + folder);
    } catch (const CopyError& e) {
        EXPECT_TRUE(refused) << e.description();
        EXPECT_EQ(e.kind(), CopyError::Kind::insideSource);
    }
    CopyPlan plan;
    plan.root = root;
    plan.card = card;
    plan.items.push_back(PlannedCopy{1, source, root + "/" + folder, "A.JPG", 4000});
    const CopyRunResult result = CopyRunner(plan).run();
    if (refused) {
        ASSERT_EQ(result.failed.size(), 1u);
        EXPECT_EQ(result.failed[0].message, "Refused to copy onto the card being checked: " + root + "/" + folder);
    } else {
        ASSERT_EQ(result.copied.size(), 1u) << (result.failed.empty() ? "" : result.failed[0].message);
        EXPECT_EQ(readFile(root + "/" + folder + "/A.JPG"), bytesOf(4000, 1));
        fs::remove_all(root + "/" + folder);
    }
    EXPECT_EQ(test::treeOf(card), before);
}

// A backup reached through a bind mount of the card's file system: refused where the mounted
// subtree is, or lies in, the card folder; taken where it lies beside it.
TEST(CopyOnRealVolumes, BindMountsOfTheCardsFileSystem) {
    VOLUME_OR_SKIP(volume, LoopVolume::Type::ext4, 32 << 20);
    const std::string card = *volume / "CARD";
    fs::create_directories(card + "/DCIM/100CANON");
    fs::create_directories(*volume / "OTHER");
    TempDir where{"bind"};
    struct Row {
        const char* name;
        std::string mounted;  // inside the volume
        std::string folder;   // below the mount
        bool refused;
    };
    const std::vector<Row> rows = {
        {"a card folder", "CARD/DCIM", "2024", true},
        {"a folder beside the card", "OTHER", "2024", false},
        {"the whole volume, into the card", "", "CARD/new", true},
        {"the whole volume, beside the card", "", "2024", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string at = where.mkdir(row.name);
        const BindMount bind(*volume / row.mounted, at);
        expectCopyInsideCardRefused(card, at, row.folder, row.refused);
    }
}

// A btrfs volume mounted whole and in subvolumes mounted alone, each of which gives its files a
// device number of its own: a backup that lies in the card's tree is refused whatever mount or
// subvolume it is reached through; one beside it is taken.
TEST(CopyOnRealVolumes, SubvolumesOfTheCardsBtrfsVolume) {
    std::string reason;
    if (!test::ZramVolume::available(&reason, test::ZramVolume::FileSystem::btrfs)) GTEST_SKIP() << reason;
    test::ZramVolume volume(128 << 20, {test::ZramVolume::FileSystem::btrfs, "", "", "", 1});
    const std::string whole = volume.mountPoint();
    const std::string card = volume.mountSubvolume("card");
    const std::string inner = volume.mountSubvolume("card/inner");
    const std::string data = volume.mountSubvolume("data");
    fs::create_directories(card + "/DCIM/100CANON");
    fs::create_directories(data + "/Backups");
    struct Row {
        const char* name;
        std::string card;
        std::string root;
        bool refused;
    };
    const std::vector<Row> rows = {
        {"a subvolume inside the card, mounted alone", card, inner, true},
        {"a subvolume inside the card, reached through the whole volume", card, whole + "/card/inner", true},
        {"the card reached through the whole volume, a subvolume inside it mounted alone", whole + "/card", inner, true},
        {"the whole volume as the card, a folder of a subvolume mounted alone", whole, data + "/Backups", true},
        {"a subvolume beside the card, mounted alone", card, data + "/Backups", false},
        {"the whole volume, beside the card", card, whole, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        expectCopyInsideCardRefused(row.card, row.root, "2024", row.refused);
    }
}

// Sectors the kernel has written to the devices since they were made (/sys/block/NAME/stat).
std::int64_t sectorsWritten(const std::vector<std::string>& devices) {
    std::int64_t total = 0;
    for (const std::string& d : devices) {
        std::ifstream in("/sys/class/block/" + fs::path(d).filename().string() + "/stat");
        std::int64_t field[7] = {};
        for (std::int64_t& f : field) in >> f;
        total += field[6];
    }
    return total;
}

// What the devices have written once every layer has written out what it holds: a layer's flush
// can leave pages to write in the file system beneath it, so the machine is synced until the
// devices write nothing more (a few rounds at most).
std::int64_t settledSectorsWritten(const std::vector<std::string>& devices) {
    std::int64_t now = -1, was = -2;
    for (int round = 0; round < 20 && now != was; ++round) {
        was = now;
        ::sync();
        now = sectorsWritten(devices);
    }
    return now;
}

// A disk image made in `folder` and mounted from a loop device in a folder of its own below
// `mountParent`, its root the test user's; taken down with the test. Nothing of it is left to be
// initialised later, so that it writes nothing once made.
struct MountedImage {
    std::string image, device, mountPoint;
    MountedImage(const std::string& folder, const std::string& mountParent, int megabytes) {
        image = folder + "/backup.img";
        mountPoint = test::makeMountFolder(mountParent, "image", &rootFolder);
        device = test::runAsRootOrThrow("truncate -s " + std::to_string(megabytes) + "M " + test::shellQuote(image) +
                                        " && mkfs.ext4 -q -F -b 4096 -E lazy_itable_init=0,lazy_journal_init=0 " +
                                        test::shellQuote(image) + " && losetup -f --show " + test::shellQuote(image));
        test::runAsRootOrThrow("mount -o noatime " + device + " " + test::shellQuote(mountPoint));
        test::giveToTestUser(mountPoint);
    }
    ~MountedImage() {
        test::runAsRoot("umount " + test::shellQuote(mountPoint) + " || umount -l " + test::shellQuote(mountPoint));
        test::runAsRoot("losetup -d " + device + "; rm -f " + test::shellQuote(image));
        test::removeMountFolder(mountPoint, rootFolder);
    }
    bool rootFolder = false;
};

// An overlay keeping its upper and work folders in `folder`, over a lower folder of its own.
struct Overlay {
    TempDir lower{"overlay-lower"}, merged{"overlay-merged"};
    std::string at;
    explicit Overlay(const std::string& folder) : at(merged.mkdir("at")) {
        fs::create_directories(folder + "/upper");
        fs::create_directories(folder + "/work");
        test::runAsRootOrThrow("mount -t overlay overlay -o lowerdir=" + lower.path() + ",upperdir=" + folder +
                               "/upper,workdir=" + folder + "/work " + test::shellQuote(at));
        // The overlay's own folder in its work folder is open to no one: the test user looks at
        // the card's whole tree.
        test::runAsRootOrThrow("chmod -R a+rX " + test::shellQuote(folder + "/work"));
    }
    ~Overlay() { test::runAsRoot("umount " + test::shellQuote(at) + " || umount -l " + test::shellQuote(at)); }
};

// An overlay whose upper and work folders on `folder` were named through links that were pointed
// elsewhere once it was mounted: its mount names folders beside the ones it writes to.
struct RepointedOverlay {
    TempDir home{"overlay-links"};
    std::string at;
    explicit RepointedOverlay(const std::string& folder) : at(home.mkdir("at")) {
        for (const char* layer : {"upper", "work"}) {
            fs::create_directories(folder + "/" + layer);
            fs::create_directory_symlink(folder + "/" + layer, home / (std::string(layer) + "-link"));
        }
        test::runAsRootOrThrow("mount -t overlay overlay -o lowerdir=" + home.mkdir("lower") + ",upperdir=" + home /
                               "upper-link" + ",workdir=" + home / "work-link " + test::shellQuote(at) + " && chmod -R a+rX " +
                               test::shellQuote(folder + "/work"));
        for (const char* layer : {"upper", "work"}) {
            const std::string link = home / (std::string(layer) + "-link");
            fs::remove(link);
            fs::create_directory_symlink(home.mkdir(std::string("elsewhere-") + layer), link);
        }
    }
    ~RepointedOverlay() { test::runAsRoot("umount " + test::shellQuote(at) + " || umount -l " + test::shellQuote(at)); }
};

// A FUSE view that root's helper mounts for every user to use: sshfs of a folder served by this
// machine's own SFTP server (started as sshfs's ssh command, so no daemon is needed), or bindfs of a
// folder, its links shown as what they lead to.
struct FuseView {
    TempDir home{"fuse-view"};
    std::string at;
    FuseView(const std::string& folder, bool sshfs) : at(home.mkdir("at")) {
        std::string command = "bindfs --resolve-symlinks -o allow_other " + test::shellQuote(folder);
        if (sshfs) {
            const std::string server = home.write("sftp", "#!/bin/sh\nexec /usr/lib/openssh/sftp-server\n");
            fs::permissions(server, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
            command = "sshfs -o allow_other,ssh_command=" + test::shellQuote(server) + " " + test::shellQuote("localhost:" + folder);
        }
        test::runAsRootOrThrow(command + " " + test::shellQuote(at));
    }
    ~FuseView() { test::runAsRoot("umount " + test::shellQuote(at) + " || umount -l " + test::shellQuote(at)); }
};

// A memory file system over a folder, holding a file of its own at `name`: a path into the folder
// now leads to that file.
struct Cover {
    std::string at;
    Cover(const std::string& folder, const std::string& name) : at(folder) {
        test::runAsRootOrThrow("mount -t tmpfs -o size=1M tmpfs " + test::shellQuote(at) + " && echo decoy > " +
                               test::shellQuote(at + "/" + name) + " && chmod -R a+rwX " + test::shellQuote(at));
    }
    ~Cover() { test::runAsRoot("umount " + test::shellQuote(at) + " || umount -l " + test::shellQuote(at)); }
};

// exFAT through FUSE on a loop device over an image in a temporary folder, its root the test
// user's, mounted without access times (which its daemon would otherwise write itself).
struct ExfatDrive {
    TempDir home{"exfat-drive"};
    std::string device, mountPoint;
    ExfatDrive() : mountPoint(home.mkdir("mnt")) {
        const std::string image = home / "drive.img";
        device = test::runAsRootOrThrow("truncate -s 128M " + test::shellQuote(image) + " && losetup -f --show " +
                                        test::shellQuote(image));
        const std::string owner =
            test::playsUser() ? ",uid=" + std::to_string(test::testUid()) + ",gid=" + std::to_string(test::testGid()) : "";
        test::runAsRootOrThrow("mkfs.exfat " + device + " >/dev/null && mount.exfat-fuse -o noatime,allow_other" + owner +
                               " " + device + " " + test::shellQuote(mountPoint));
    }
    ~ExfatDrive() {
        test::runAsRoot("umount " + test::shellQuote(mountPoint) + " || umount -l " + test::shellQuote(mountPoint));
        // The FUSE daemon may hold the device a moment longer.
        test::runAsRoot("for i in $(seq 20); do losetup -d " + device + " && break; sleep 0.05; done");
    }
};

// The card's drive: a zram disk with ext4 or btrfs, or exFAT through FUSE.
struct CardDrive {
    enum class Kind { ext4, btrfs, exfat };
    std::unique_ptr<test::ZramVolume> zram;
    std::unique_ptr<ExfatDrive> exfat;
    // Nothing the test reads on the drive is written back to it: no access times, no tables
    // initialised in the background.
    explicit CardDrive(Kind kind) {
        using FileSystem = test::ZramVolume::FileSystem;
        if (kind == Kind::exfat) {
            exfat = std::make_unique<ExfatDrive>();
        } else if (kind == Kind::btrfs) {
            zram = std::make_unique<test::ZramVolume>(160 << 20, test::ZramVolume::Options{FileSystem::btrfs, "", "", "noatime", 1});
        } else {
            zram = std::make_unique<test::ZramVolume>(96 << 20,
                                                      test::ZramVolume::Options{FileSystem::ext4, "", "", "noatime,noinit_itable", 1});
        }
    }
    std::string mountPoint() const { return zram ? zram->mountPoint() : exfat->mountPoint; }
    std::vector<std::string> devices() const { return zram ? zram->devices() : std::vector<std::string>{exfat->device}; }
};

// A backup whose file system is stored on the card, through a disk image kept on the card (or an
// image inside such an image), or an overlay whose upper folder is on the card, is refused before
// anything is written: the card's devices write nothing. So is one whose place only names can tell:
// a FUSE view (of a card folder served by this machine's own SFTP server, or of a folder elsewhere
// holding a link into the card), an overlay whose folders on the card were named through links
// pointed elsewhere since, an image on the card whose path another mount now covers (a file there
// where the path leads), a loop device over the card's own device; and every backup of a card chosen
// through a FUSE view of its volume. On ext4, btrfs and exFAT through FUSE (no overlay keeps its
// upper folder there); as root, which may ask a loop device what it reads, and as an ordinary user,
// who has only sysfs's name of the image. An image kept on the card's drive beside the card is
// taken, and so is an overlay kept on another drive, and another volume of the card's kind, a second
// btrfs volume beside a whole btrfs card too.
TEST(CopyOnRealVolumes, NothingReachesTheCard) {
    using Kind = CardDrive::Kind;
    std::string reason;
    if (!test::ZramVolume::available(&reason, test::ZramVolume::FileSystem::btrfs) ||
        !LoopVolume::available(&reason, LoopVolume::Type::exfat))
        GTEST_SKIP() << reason;
    if (test::runAsRoot("command -v sshfs bindfs && test -x /usr/lib/openssh/sftp-server") != 0)
        GTEST_SKIP() << test::volumesUnavailable("sshfs, bindfs or the SFTP server is missing (scripts/deps)");
    for (const Kind kind : {Kind::ext4, Kind::btrfs, Kind::exfat}) {
        const bool btrfs = kind == Kind::btrfs;
        SCOPED_TRACE(btrfs ? "btrfs card" : kind == Kind::ext4 ? "ext4 card" : "exFAT card");
        const CardDrive drive(kind);
        const std::string card = drive.mountPoint() + "/CARD";
        fs::create_directories(card + "/DCIM/100CANON");
        const std::string beside = drive.mountPoint() + "/OTHER";
        fs::create_directories(beside);
        TempDir mounts{"layers"};
        struct Row {
            const char* name;
            std::function<std::string()> build;  // the backup folder; "" where the card cannot hold it
            bool refused;
            std::string card;
            bool movedIntoCard = false;  // then its image is moved into the card, still mounted
        };
        std::vector<std::unique_ptr<MountedImage>> images;
        std::unique_ptr<Overlay> overlay;
        std::unique_ptr<RepointedOverlay> repointed;
        std::unique_ptr<CardDrive> second;
        std::unique_ptr<FuseView> view;
        std::unique_ptr<Cover> cover;
        std::unique_ptr<test::LoopOver> over;
        std::string cardSeen;  // the card as the row chooses it, where not `card`
        const auto image = [&](const std::string& folder, int megabytes) {
            images.push_back(std::make_unique<MountedImage>(folder, mounts.path(), megabytes));
            return images.back()->mountPoint;
        };
        const std::string linking = mounts.mkdir("linking");
        fs::create_directory_symlink(card, linking + "/card");
        const std::vector<Row> rows = {
            {"an image on the card", [&] { return image(card, 24); }, true, card},
            {"an image inside an image on the card", [&] { return image(image(card, 48), 24); }, true, card},
            {"an overlay whose upper folder is on the card",
             // exFAT lacks what an overlay needs of its upper folder's file system.
             [&] { return kind == Kind::exfat ? std::string() : (overlay = std::make_unique<Overlay>(card))->at; }, true,
             card},
            {"an sshfs view of the card served by this machine",
             [&] { return (view = std::make_unique<FuseView>(card, true))->at; }, true, card},
            {"a bindfs view of a folder on another drive holding a link into the card",
             [&] { return (view = std::make_unique<FuseView>(linking, false))->at + "/card"; }, true, card},
            {"the card chosen through a bindfs view of its volume, the backup its real folder",
             [&] {
                 cardSeen = (view = std::make_unique<FuseView>(drive.mountPoint(), false))->at + "/CARD";
                 return card;
             },
             true, card},
            {"an overlay whose folders on the card were named through links pointed elsewhere since",
             [&] { return kind == Kind::exfat ? std::string() : (repointed = std::make_unique<RepointedOverlay>(card))->at; },
             true, card},
            {"an image on the card whose path another mount now covers",
             [&] {
                 fs::create_directories(card + "/images");
                 const std::string at = image(card + "/images", 24);
                 cover = std::make_unique<Cover>(card + "/images", "backup.img");
                 return at;
             },
             true, card},
            // Mounted read-only, as a second view of the card's file system.
            {"a loop device over the card's own device",
             [&] {
                 return kind != Kind::ext4 ? std::string() : (over = std::make_unique<test::LoopOver>(drive.devices()[0]))->mountPoint();
             },
             true, card},
            {"an image on the card's drive beside the card", [&] { return image(beside, 24); }, false, card, true},
            {"an overlay kept on another drive", [&] { return (overlay = std::make_unique<Overlay>(mounts.mkdir("kept")))->at; },
             false, card},
            // The whole btrfs volume as the card: every place in another btrfs volume, whose device
            // numbers are as anonymous as the card's, lies below the card's place "/" too, and only
            // the file system tells them apart.
            {"another volume of the card's file system",
             [&] {
                 second = std::make_unique<CardDrive>(kind);
                 return second->mountPoint();
             },
             false, btrfs ? drive.mountPoint() : card},
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            const std::string root = row.build();
            if (root.empty()) continue;
            const std::int64_t before = settledSectorsWritten(drive.devices());
            expectCopyInsideCardRefused(cardSeen.empty() ? row.card : cardSeen, root, "2024", row.refused);
            if (row.refused) {
                EXPECT_EQ(settledSectorsWritten(drive.devices()), before) << "written to the card's device";
            }
            if (row.movedIntoCard) {
                // A fence that found the image beside the card finds it inside once it is there.
                const CardFence fence = CardFence::around(defaultSys(), card);
                const UniqueFd folder(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
                EXPECT_FALSE(fence.mayHold(defaultSys(), folder.get()));
                fs::rename(images.back()->image, card + "/moved.img");
                EXPECT_TRUE(fence.mayHold(defaultSys(), folder.get()));
                fs::rename(card + "/moved.img", images.back()->image);
            }
            cardSeen.clear();
            cover.reset();
            view.reset();
            over.reset();
            overlay.reset();
            repointed.reset();
            while (!images.empty()) images.pop_back();
            second.reset();
        }
    }
}

// A card file that left the card after its copy was planned: the run makes no folder for it,
// says it is no longer on the card, and copies the rest. Card and backup are drives of their own.
TEST(CopyOnRealVolumes, ACardFileGoneSincePlanningLeavesNoFolder) {
    VOLUME_OR_SKIP(card, LoopVolume::Type::ext4, 16 << 20);
    VOLUME_OR_SKIP(backup, LoopVolume::Type::ext4, 16 << 20);
    writeBelow(card->mountPoint(), "DCIM/100TEST/A.JPG", bytesOf(6000, 1));
    const std::string gone = writeBelow(card->mountPoint(), "DCIM/101TEST/B.JPG", bytesOf(7000, 2));
    const VerifyReport report = reportOf(card->mountPoint(), backup->mountPoint(),
                                         {{"DCIM/100TEST/A.JPG", "2024-05-17", 6000}, {"DCIM/101TEST/B.JPG", "2024-05-18", 7000}});
    const CopyPlan plan = CopyPlanner::plan(report, {0, 1}, 0, CopyLayout::byDate(), "", "");
    ASSERT_TRUE(fs::remove(gone));
    const CopyRunResult result = CopyRunner(plan).run();
    ASSERT_EQ(result.copied.size(), 1u);
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].id, 1);
    EXPECT_EQ(result.failed[0].message, "No longer on the card");
    EXPECT_EQ(test::treeOf(backup->mountPoint() + "/2024"),
              (std::vector<std::string>{"2024-05-17", "2024-05-17/A.JPG 6000"}));
}

// Legal exFAT card names of 255 UTF-16 units take 506 bytes, or 504 with characters outside the
// BMP (two units each): an ext4 backup cannot hold them, and the plan says so before anything is
// written, while the files' neighbour is copied; an exFAT backup holds them whole.
TEST(CopyOnRealVolumes, ANameTheBackupCannotHoldIsFoundWhilePlanning) {
    VOLUME_OR_SKIP(card, LoopVolume::Type::exfat, 16 << 20);
    std::string accents, faces;
    for (int i = 0; i < 251; ++i) accents += "\xC3\xA9";  // é
    for (int i = 0; i < 125; ++i) faces += "\xF0\x9F\x98\x80";
    const std::vector<std::string> names = {accents + ".JPG", faces + ".JPG"};
    for (std::size_t i = 0; i < names.size(); ++i)
        writeBelow(card->mountPoint(), "DCIM/100TEST/" + names[i], bytesOf(5000, unsigned(i + 1)));
    writeBelow(card->mountPoint(), "DCIM/100TEST/SHORT.JPG", bytesOf(4000, 9));
    for (const auto type : {LoopVolume::Type::ext4, LoopVolume::Type::exfat}) {
        const bool holds = type == LoopVolume::Type::exfat;
        SCOPED_TRACE(holds ? "exfat backup" : "ext4 backup");
        VOLUME_OR_SKIP(backup, type, 16 << 20);
        const VerifyReport report = reportOf(card->mountPoint(), backup->mountPoint(),
                                             {{"DCIM/100TEST/" + names[0], "2024-05-17", 5000},
                                              {"DCIM/100TEST/" + names[1], "2024-05-17", 5000},
                                              {"DCIM/100TEST/SHORT.JPG", "2024-05-17", 4000}});
        const CopyPlan plan = CopyPlanner::plan(report, {0, 1, 2}, 0, CopyLayout::keepCardStructure(), "", "");
        ASSERT_EQ(plan.items.size(), 3u);
        EXPECT_EQ(plan.items[0].refusal.has_value(), !holds);
        EXPECT_EQ(plan.items[1].refusal.has_value(), !holds);
        EXPECT_EQ(plan.totalBytes(), holds ? 14000 : 4000);
        const std::string dir = backup->mountPoint() + "/DCIM/100TEST";
        const CopyRunResult result = CopyRunner(plan).run();
        if (holds) {
            EXPECT_EQ(result.copied.size(), 3u);
            for (std::size_t i = 0; i < names.size(); ++i)
                EXPECT_EQ(readFile(dir + "/" + names[i]), bytesOf(5000, unsigned(i + 1)));
            continue;
        }
        ASSERT_EQ(result.failed.size(), 2u);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string why = "The name \u201C" + names[i] +
                                    "\u201D is longer than the backup drive's file system allows (255 bytes at most)";
            EXPECT_EQ(plan.items[i].refusal->description(), why);
            EXPECT_EQ(result.failed[i].message, why);
        }
        ASSERT_EQ(result.copied.size(), 1u);
        EXPECT_EQ(entries(dir), std::vector<std::string>{"SHORT.JPG"}) << "no temporary file, nothing of the long ones";
    }
}

// exFAT tells no names apart by case: a name the file before has just taken, in another case, is
// numbered, or found to hold the same bytes, never refused as taken.
TEST(CopyOnRealVolumes, NamesDifferingInCaseOnExfat) {
    VOLUME_OR_SKIP(volume, LoopVolume::Type::exfat, 16 << 20);
    TempDir card{"case-card"};
    const std::string dir = volume->mountPoint() + "/DCIM";
    CopyPlan plan;
    plan.root = volume->mountPoint();
    plan.card = card.path();
    const std::vector<std::pair<std::string, unsigned>> files = {{"A.JPG", 1}, {"a.jpg", 2}, {"B.JPG", 3}, {"b.jpg", 3}};
    for (std::size_t k = 0; k < files.size(); ++k) {
        const auto& [name, seed] = files[k];
        const std::string source = card.write(std::to_string(k) + "/" + name, bytesOf(200000, seed));
        plan.items.push_back(PlannedCopy{static_cast<std::int64_t>(k), source, dir, name, 200000});
    }
    const CopyRunResult result = CopyRunner(plan).run();
    for (const auto& f : result.failed) ADD_FAILURE() << f.message;
    ASSERT_EQ(result.copied.size(), 3u);
    EXPECT_EQ(result.copied[1].path, dir + "/a (2).jpg");
    EXPECT_EQ(readFile(dir + "/a (2).jpg"), bytesOf(200000, 2));
    EXPECT_EQ(readFile(dir + "/A.JPG"), bytesOf(200000, 1));
    ASSERT_EQ(result.alreadyThere.size(), 1u);
    EXPECT_EQ(result.alreadyThere[0].id, 3);
    auto names = entries(dir);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"A.JPG", "B.JPG", "a (2).jpg"}));
}

}  // namespace
}  // namespace halvetrop

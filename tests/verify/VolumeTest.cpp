// Whole checks on real volumes: an exFAT card (loop device through FUSE, its image on a tmpfs), the
// same card content on an ext4 volume, two ext4 backups and a btrfs backup (a subvolume mounted
// alone, and the whole volume), each of these on a zram disk of its own, so each volume is its own
// drive.
//
// Reads through FUSE are never claimed to come from the medium (the daemon's block-device reads
// may be answered from the device's cache), so the exFAT card can be backed up but not verified
// here; the verified road to "safe to format" runs with the ext4 card.
#include "verify/Verifier.h"

#include "CardFixture.h"
#include "support/LoopVolume.h"
#include "support/Privileged.h"
#include "support/TempDir.h"
#include "support/ZramVolume.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

namespace halvetrop {
namespace {

using test::LoopVolume;
using test::ZramVolume;
using test::check;
using test::fileAt;

void expectNothingResident(const std::vector<std::string>& paths) {
    for (const std::string& p : paths) {
        std::string out;
        ASSERT_EQ(test::runShell("fincore --bytes --noheadings --output RES '" + p + "'", &out), 0) << p;
        EXPECT_EQ(std::stoll(out), 0) << p << " has resident pages";
    }
}

// A bind mount taken down with the test (root's part through the helper when the suite plays an
// ordinary user).
struct BindMount {
    std::string target;
    BindMount(const std::string& from, const std::string& to) : target(to) {
        std::filesystem::create_directories(to);
        if (test::runAsRoot("mount --bind " + test::shellQuote(from) + " " + test::shellQuote(to)) != 0) target.clear();
    }
    ~BindMount() {
        if (!target.empty()) test::runAsRoot("umount -l " + test::shellQuote(target));
    }
};

// A loop device reading an image with direct I/O, detached with the test.
struct ImageLoop {
    std::string device;
    explicit ImageLoop(const std::string& image)
        : device(test::runAsRootOrThrow("losetup -f --show --direct-io=on " + test::shellQuote(image))) {}
    ~ImageLoop() { test::runAsRoot("losetup -d " + test::shellQuote(device)); }
};

class RealVolumes : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string reason;
        if (!LoopVolume::available(&reason, LoopVolume::Type::exfat) ||
            !LoopVolume::available(&reason, LoopVolume::Type::ext4) || !ZramVolume::available(&reason)) {
            skipReason = reason;
            return;
        }
        try {
            exfatHome = std::make_unique<LoopVolume>(LoopVolume::Type::tmpfs, 120 << 20);
            exfatCard = std::make_unique<LoopVolume>(LoopVolume::Type::exfat, 48 << 20, "CARD", "", exfatHome->mountPoint());
            card = std::make_unique<ZramVolume>(48 << 20, "CARD4");
            b1 = std::make_unique<ZramVolume>(96 << 20, "B1");
            b2 = std::make_unique<ZramVolume>(128 << 20, "B2");
            if (ZramVolume::available(&reason, ZramVolume::FileSystem::btrfs)) {
                const ZramVolume::FileSystem btrfs = ZramVolume::FileSystem::btrfs;
                bt = std::make_unique<ZramVolume>(128 << 20, ZramVolume::Options{btrfs, "BT", "", "", 1});
                btSubvolume = bt->mountSubvolume("photos");
                // A btrfs volume over a disk of its own and an image on B2's disk.
                test::runOrThrow("truncate -s 80M " + test::shellQuote(b2->mountPoint() + "/spread.img"));
                spreadLoop = std::make_unique<ImageLoop>(b2->mountPoint() + "/spread.img");
                spread = std::make_unique<ZramVolume>(80 << 20, ZramVolume::Options{btrfs, "", "", "", 1, {spreadLoop->device}});
            }
        } catch (const std::exception& e) {
            skipReason = e.what();
            return;
        }
        test::CardOptions o;
        o.pairs = 4;
        o.clips = 2;
        o.clipBytes = 3 << 20;
        cardFiles = test::makeCard(exfatCard->mountPoint(), o);
        test::makeCard(card->mountPoint(), o);
        test::copyTree(card->mountPoint(), b1->mountPoint() + "/Cards/Card1");
        test::copyTree(card->mountPoint(), b1->mountPoint() + "/Cards/Again");
        test::copyTree(card->mountPoint(), b2->mountPoint() + "/Card1");
        if (bt) {
            test::copyTree(card->mountPoint(), btSubvolume + "/Card1");
            test::copyTree(card->mountPoint(), bt->mountPoint() + "/Card2");
            test::copyTree(card->mountPoint(), spread->mountPoint() + "/Card1");
        }
    }
    static void TearDownTestSuite() {
        spread.reset();
        spreadLoop.reset();
        bt.reset();
        b2.reset();
        b1.reset();
        card.reset();
        exfatCard.reset();
        exfatHome.reset();
    }
    void SetUp() override {
        if (!skipReason.empty()) GTEST_SKIP() << skipReason;
    }

    static inline std::string skipReason;
    static inline std::unique_ptr<LoopVolume> exfatHome, exfatCard;
    static inline std::unique_ptr<ZramVolume> card, b1, b2, bt, spread;
    static inline std::unique_ptr<ImageLoop> spreadLoop;
    static inline std::string btSubvolume;
    static inline std::vector<test::CardFile> cardFiles;
};

TEST_F(RealVolumes, SafeWithTwoExactBackupsAtTheVerifiedLevel) {
    const VerifyReport r = check(card->mountPoint(), {b1->mountPoint() + "/Cards/Card1", b2->mountPoint() + "/Card1"});
    ASSERT_EQ(r.destinations.size(), 2u);
    EXPECT_NE(r.destinations[0].drive, r.destinations[1].drive);
    EXPECT_NE(r.destinations[0].drive, r.source.drive);
    EXPECT_EQ(r.totals.files, 10);  // 4 RAW + 4 JPEG + 2 clips
    EXPECT_EQ(r.totals.verified, 10);
    for (const FileResult& f : r.files) {
        if (!f.inScope) continue;
        EXPECT_EQ(f.status, FileStatus::verified) << f.relativePath;
        EXPECT_EQ(f.safeDrives, 2) << f.relativePath;
        EXPECT_FALSE(f.detail.has_value()) << *f.detail;
        EXPECT_FALSE(f.cardDoubt) << f.relativePath;
    }
    EXPECT_EQ(r.safeFiles, 10);
    EXPECT_TRUE(r.safeToFormat);
    EXPECT_TRUE(r.problems.empty()) << r.problems.front();
    // An ordinary user cannot open an ext4 volume's lost+found: the card's is named among its
    // contents and counts against nothing, a backup's raises no problem.
    EXPECT_EQ(r.cardUnreadable, 0);
    ASSERT_FALSE(r.contents.empty());
    const std::vector<std::string> unlisted = test::playsUser() ? std::vector<std::string>{"lost+found"} : std::vector<std::string>{};
    EXPECT_EQ(r.contents.back().unlisted, unlisted);

    // None of the compared files' pages stayed in the page cache.
    std::vector<std::string> paths;
    for (const FileResult& f : r.files) {
        if (!f.inScope) continue;
        paths.push_back(card->mountPoint() + "/" + f.relativePath);
        paths.push_back(b1->mountPoint() + "/Cards/Card1/" + f.relativePath);
        paths.push_back(b2->mountPoint() + "/Card1/" + f.relativePath);
    }
    expectNothingResident(paths);

    const VerifyReport atRoots = check(card->mountPoint(), {b1->mountPoint(), b2->mountPoint()}, CheckLevel::standard);
    EXPECT_EQ(atRoots.totals.covered(), 10);
    EXPECT_TRUE(atRoots.problems.empty()) << atRoots.problems.front();
}

// btrfs gives a subvolume's files a device number no mount lists: the backup is still found to be
// read from its drive, and the card is safe with it and an ext4 backup.
TEST_F(RealVolumes, SafeWithBackupsOnBtrfsAndExt4) {
    if (!bt) GTEST_SKIP() << "no btrfs here";
    const VerifyReport r = check(card->mountPoint(), {btSubvolume + "/Card1", b2->mountPoint() + "/Card1"});
    ASSERT_EQ(r.destinations.size(), 2u);
    EXPECT_EQ(r.destinations[0].fileSystem, "btrfs");
    EXPECT_TRUE(r.destinations[0].readsFromMedium);
    EXPECT_EQ(r.totals.verified, 10);
    EXPECT_EQ(r.safeFiles, 10);
    EXPECT_TRUE(r.safeToFormat);
}

TEST_F(RealVolumes, ExfatCardThroughFuseIsBackedUpNotVerified) {
    const VerifyReport r =
        check(exfatCard->mountPoint(), {b1->mountPoint() + "/Cards/Card1", b2->mountPoint() + "/Card1"});
    EXPECT_EQ(r.source.fileSystem.find("fuse") != std::string::npos || r.source.fileSystem == "exfat", true)
        << r.source.fileSystem;
    EXPECT_NE(r.source.drive, r.destinations[0].drive);
    EXPECT_EQ(r.totals.files, 10);
    EXPECT_EQ(r.totals.backedUp, 10);
    for (const FileResult& f : r.files) {
        if (!f.inScope) continue;
        EXPECT_EQ(f.status, FileStatus::backedUp) << f.relativePath;
        EXPECT_EQ(f.copies.size(), 2u) << f.relativePath;
        EXPECT_EQ(f.safeDrives, 0) << f.relativePath;
        EXPECT_EQ(f.cardDoubt, MediumDoubt::fuse) << f.relativePath;
    }
    EXPECT_FALSE(r.safeToFormat);
    EXPECT_FALSE(r.cameras.empty());
    std::vector<std::string> paths;
    for (const FileResult& f : r.files) {
        if (!f.inScope) continue;
        paths.push_back(b1->mountPoint() + "/Cards/Card1/" + f.relativePath);
        paths.push_back(b2->mountPoint() + "/Card1/" + f.relativePath);
    }
    expectNothingResident(paths);
}

// The same card as a disk image on a zram disk of its own: through a buffered loop device its reads
// come from the image's cached pages, never from the disk, so nothing on it is verified; through a
// direct-I/O loop they come from the disk. An ordinary user cannot ask a loop device what it reads,
// so for such a user nothing on an image is verified either way.
TEST_F(RealVolumes, ACardImageIsVerifiedOnlyThroughADirectLoop) {
    ZramVolume home(64 << 20);
    for (bool loopDirectIO : {false, true}) {
        const bool directIO = loopDirectIO && !test::playsUser();
        SCOPED_TRACE(loopDirectIO ? "direct I/O" : "buffered");
        LoopVolume image(LoopVolume::Type::ext4, 40 << 20, LoopVolume::Options{"IMG", "", home.mountPoint(), "", loopDirectIO});
        if (loopDirectIO) {
            ASSERT_TRUE(image.readsImageDirectly());
        }
        test::copyTree(card->mountPoint(), image.mountPoint());
        const VerifyReport r = check(image.mountPoint(), {b1->mountPoint() + "/Cards/Card1", b2->mountPoint() + "/Card1"});
        EXPECT_EQ(r.source.readsFromMedium, directIO);
        EXPECT_EQ(r.totals.files, 10);
        EXPECT_EQ(r.totals.verified, directIO ? 10 : 0);
        EXPECT_EQ(r.safeToFormat, directIO);
        for (const FileResult& f : r.files) {
            if (f.inScope) {
                EXPECT_EQ(f.cardDoubt, directIO ? std::nullopt : std::optional(MediumDoubt::diskImage)) << f.relativePath;
            }
        }
    }
}

// A card file read whole keeps why its read did not come from the card, and only then. XFS reads
// from the drive. ext4 that journals its data reads through the page cache, whose pages can be
// confirmed gone only in files one may write: there another user's card file keeps why. Root may
// confirm any file's pages gone, so for root no such card file exists: that row is an ordinary
// user's only.
TEST_F(RealVolumes, ACardFileReadNotFromTheCardKeepsWhy) {
    using FS = ZramVolume::FileSystem;
    struct Row {
        const char* what;
        FS fileSystem;
        std::int64_t size;
        const char* mountOptions;
        bool othersFiles;
        std::optional<MediumDoubt> doubt;
    };
    std::vector<Row> rows = {{"ext4 journalling data, one's own files", FS::ext4, 32 << 20, "data=journal", false, {}}};
    if (ZramVolume::available(nullptr, FS::xfs)) rows.push_back({"XFS", FS::xfs, 320 << 20, "", false, {}});
    if (test::playsUser())
        rows.push_back({"ext4 journalling data, another user's files", FS::ext4, 32 << 20, "data=journal", true,
                        MediumDoubt::othersFile});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ZramVolume volume(row.size, ZramVolume::Options{row.fileSystem, "", "", row.mountOptions, 1});
        const std::string folder = volume.mountPoint() + "/Card";
        test::copyTree(card->mountPoint(), folder);
        if (row.othersFiles) test::runAsRootOrThrow("chown -R 0:0 " + test::shellQuote(folder));
        const VerifyReport r = check(folder, {b1->mountPoint() + "/Cards/Card1"}, CheckLevel::verified, 1);
        EXPECT_EQ(r.totals.verified, row.doubt ? 0 : 10);
        for (const FileResult& f : r.files) {
            if (f.inScope) {
                EXPECT_EQ(f.cardDoubt, row.doubt) << f.relativePath;
            }
        }
    }
}

// Every file verified on one drive, and so none safe.
void expectOneDriveShort(const VerifyReport& r) {
    EXPECT_EQ(r.totals.verified, 10);
    EXPECT_EQ(r.safeFiles, 0);
    EXPECT_FALSE(r.safeToFormat);
    for (const FileResult& f : r.files) {
        if (f.inScope) {
            EXPECT_EQ(f.safeDrives, 1) << f.relativePath;
        }
    }
}

TEST_F(RealVolumes, OneBackupIsOneDriveShort) {
    expectOneDriveShort(check(card->mountPoint(), {b1->mountPoint() + "/Cards/Card1"}));
}

// Two copies on one drive count once: two folders of one ext4 volume; a btrfs volume's subvolume
// mounted alone beside a folder of its whole (two mounts, two device numbers); and a btrfs volume
// spread over a disk of its own and B2's, beside B2 (two drive ids that share a disk, also for an
// ordinary user, who has only the path the kernel gives the loop device's image).
TEST_F(RealVolumes, TwoFoldersOnOneDriveCountOnce) {
    std::vector<std::vector<std::string>> pairs = {{b1->mountPoint() + "/Cards/Card1", b1->mountPoint() + "/Cards/Again"}};
    if (bt) {
        pairs.push_back({btSubvolume + "/Card1", bt->mountPoint() + "/Card2"});
        pairs.push_back({spread->mountPoint() + "/Card1", b2->mountPoint() + "/Card1"});
    }
    for (const std::vector<std::string>& backups : pairs) {
        SCOPED_TRACE(backups[0]);
        const VerifyReport r = check(card->mountPoint(), backups);
        ASSERT_EQ(r.destinations.size(), 2u);
        EXPECT_TRUE(sharesDrive(r.destinations[0].drive, r.destinations[1].drive))
            << r.destinations[0].drive.raw << " / " << r.destinations[1].drive.raw;
        expectOneDriveShort(r);
    }
}

// A backup in a disk image kept on the card lies on the card's drive, for an ordinary user (who
// has only the path the kernel gives the image) as for root: its copies never count, alone or
// beside a backup on a drive of its own.
TEST_F(RealVolumes, ABackupInAnImageOnTheCardIsOnTheCardsDrive) {
    ZramVolume small(32 << 20, "SMALL");
    test::CardOptions o;
    o.pairs = 2;
    o.clips = 0;
    test::makeCard(small.mountPoint(), o);
    std::filesystem::create_directories(small.mountPoint() + "/images");
    LoopVolume image(LoopVolume::Type::ext4, 8 << 20, "", "", small.mountPoint() + "/images");
    const std::string cardFolder = small.mountPoint() + "/DCIM", elsewhere = b1->mountPoint() + "/Small";
    test::copyTree(cardFolder, image.mountPoint() + "/DCIM");
    test::copyTree(cardFolder, elsewhere + "/DCIM");
    for (const bool alone : {true, false}) {
        SCOPED_TRACE(alone ? "alone" : "beside a backup on a drive of its own");
        std::vector<std::string> backups{image.mountPoint() + "/DCIM"};
        if (!alone) backups.push_back(elsewhere + "/DCIM");
        const VerifyReport r = check(cardFolder, backups);
        ASSERT_EQ(r.destinations.size(), backups.size());
        EXPECT_TRUE(sharesDrive(r.destinations[0].drive, r.source.drive))
            << r.destinations[0].drive.raw << " / " << r.source.drive.raw;
        EXPECT_EQ(r.totals.covered(), r.totals.files) << "every copy is found";
        for (const FileResult& f : r.files) {
            if (f.inScope) {
                EXPECT_EQ(f.safeDrives, alone ? 0 : 1) << f.relativePath;
            }
        }
        EXPECT_FALSE(r.safeToFormat);
    }
    std::filesystem::remove_all(elsewhere);
}

// Bytes read per file through the seam.
class ReadCountingSys : public Sys {
public:
    int open(const char* path, int flags, mode_t mode) override { return opened(Sys::open(path, flags, mode), path); }
    int openat(int dirfd, const char* path, int flags, mode_t mode) override {
        return opened(Sys::openat(dirfd, path, flags, mode), path);
    }
    ssize_t pread(int fd, void* buf, size_t count, off_t offset) override {
        return counted(fd, Sys::pread(fd, buf, count, offset));
    }
    ssize_t read(int fd, void* buf, size_t count) override { return counted(fd, Sys::read(fd, buf, count)); }
    int close(int fd) override {
        std::lock_guard<std::mutex> lock(mutex_);
        paths_.erase(fd);
        return Sys::close(fd);
    }
    std::int64_t bytesOf(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_[path];
    }

private:
    int opened(int fd, const char* path) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (fd >= 0) paths_[fd] = path;
        return fd;
    }
    ssize_t counted(int fd, ssize_t n) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (n > 0 && paths_.count(fd)) bytes_[paths_[fd]] += n;
        return n;
    }
    std::mutex mutex_;
    std::map<int, std::string> paths_;
    std::map<std::string, std::int64_t> bytes_;
};

// A card file small enough for one fingerprint window is read once in a verified check, its date
// included, and so is each of its copies.
TEST_F(RealVolumes, ASmallFileIsReadOncePerCopy) {
    const std::vector<std::string> backups = {b1->mountPoint() + "/Cards/Card1", b2->mountPoint() + "/Card1"};
    VerifyRequest request(card->mountPoint(), backups);
    request.level = CheckLevel::verified;
    Verifier verifier(request);
    ReadCountingSys sys;
    verifier.sys = &sys;
    const VerifyReport r = verifier.run();
    EXPECT_EQ(r.totals.verified, 10);
    int small = 0;
    for (const FileResult& f : r.files) {
        if (!f.inScope || f.size > SampleFP::wholeFileLimit) continue;
        ++small;
        EXPECT_EQ(sys.bytesOf(card->mountPoint() + "/" + f.relativePath), f.size) << f.relativePath;
        for (const std::string& b : backups)
            EXPECT_EQ(sys.bytesOf(b + "/" + f.relativePath), f.size) << b << f.relativePath;
    }
    EXPECT_EQ(small, 4) << "the JPEGs";
}

TEST_F(RealVolumes, OneChangedByteIsAConflictAtTheVerifiedLevel) {
    const std::string rel = "PRIVATE/M4ROOT/CLIP/C0002.MP4";
    const std::string damaged = b2->mountPoint() + "/Card1/" + rel;
    test::flipByte(damaged, 1 << 20);  // between the head and middle windows of 3 MiB
    const VerifyReport alone = check(card->mountPoint(), {b2->mountPoint() + "/Card1"});
    EXPECT_EQ(fileAt(alone, rel).status, FileStatus::conflict);
    EXPECT_EQ(fileAt(alone, rel).safeDrives, 0);
    EXPECT_EQ(fileAt(alone, "PRIVATE/M4ROOT/CLIP/C0001.MP4").status, FileStatus::verified);
    const VerifyReport both = check(card->mountPoint(), {b1->mountPoint() + "/Cards/Card1", b2->mountPoint() + "/Card1"});
    EXPECT_EQ(fileAt(both, rel).status, FileStatus::verified);
    EXPECT_EQ(fileAt(both, rel).safeDrives, 1);
    EXPECT_FALSE(both.safeToFormat);
    const VerifyReport standard = check(card->mountPoint(), {b2->mountPoint() + "/Card1"}, CheckLevel::standard);
    EXPECT_EQ(fileAt(standard, rel).status, FileStatus::backedUp);
    test::flipByte(damaged, 1 << 20);  // restore for the other tests
}

// Halfway through a byte-by-byte check, another volume is mounted at a backup's folder in place of
// the backup: a disk image kept on the card's own drive, holding the same files. No copy read there
// from then on counts, and the report says so; left alone, the same backup counts for every file.
// One file is compared after another, so that the change falls between two known files.
TEST_F(RealVolumes, ABackupReplacedDuringTheCheckCountsNoCopyFromThen) {
    ZramVolume cardDrive(64 << 20, "SWAP");
    const std::string cardFolder = cardDrive.mountPoint() + "/Card";
    test::copyTree(card->mountPoint(), cardFolder);
    LoopVolume view(LoopVolume::Type::ext4, 40 << 20, LoopVolume::Options{"VIEW", "", cardDrive.mountPoint(), "", true});
    test::copyTree(card->mountPoint(), view.mountPoint());
    test::TempDir dir("swap");
    for (bool swap : {false, true}) {
        SCOPED_TRACE(swap ? "replaced after the third file" : "left alone");
        BindMount backup(b1->mountPoint() + "/Cards/Card1", dir / (swap ? "replaced" : "kept"));
        ASSERT_FALSE(backup.target.empty()) << "bind mount refused";
        VerifyRequest request(cardFolder, {backup.target, b2->mountPoint() + "/Card1"});
        request.level = CheckLevel::verified;
        Verifier verifier(request);
        verifier.width = 1;
        std::vector<std::string> compared;
        verifier.onFileResult = [&](const FileResult& f) {
            compared.push_back(f.relativePath);
            if (swap && compared.size() == 3) {
                const std::string at = test::shellQuote(backup.target);
                EXPECT_EQ(test::runAsRoot("umount -l " + at + " && mount --bind " + test::shellQuote(view.mountPoint()) + " " + at), 0);
            }
        };
        const VerifyReport r = verifier.run();
        ASSERT_EQ(compared.size(), 10u);
        const std::string gone = "The backup is no longer connected: " + backup.target;
        for (size_t i = 0; i < compared.size(); ++i) {
            const FileResult& f = fileAt(r, compared[i]);
            const bool after = swap && i >= 3;
            EXPECT_EQ(f.status, FileStatus::verified) << f.relativePath;
            EXPECT_EQ(f.safeDrives, after ? 1 : 2) << f.relativePath;
            if (after) {
                for (const CopyRef& c : f.copies) EXPECT_EQ(c.destination, 1) << f.relativePath;
            }
            EXPECT_EQ(f.detail, after ? std::optional(gone) : std::nullopt) << f.relativePath;
        }
        EXPECT_EQ(r.safeToFormat, !swap);
        EXPECT_EQ(r.problems, swap ? std::vector{gone} : std::vector<std::string>{});
    }
}

TEST_F(RealVolumes, CardSeenThroughABindMountIsNeverItsOwnCopy) {
    // The backup is the card again under another mount point.
    test::TempDir dir("bind");
    BindMount again(card->mountPoint(), dir / "again");
    ASSERT_FALSE(again.target.empty()) << "bind mount refused";
    const VerifyReport r = check(card->mountPoint(), {again.target});
    EXPECT_EQ(r.totals.missing, r.totals.files);
    for (const FileResult& f : r.files) EXPECT_TRUE(f.copies.empty()) << f.relativePath;

    // A card folder inside a backup that is reached through a bind mount of that backup.
    BindMount backupAgain(b1->mountPoint(), dir / "b1again");
    ASSERT_FALSE(backupAgain.target.empty());
    const VerifyReport inside = check(b1->mountPoint() + "/Cards/Card1", {backupAgain.target});
    for (const FileResult& f : inside.files) {
        if (!f.inScope) continue;
        EXPECT_EQ(f.status, FileStatus::verified) << f.relativePath;
        for (const CopyRef& c : f.copies) EXPECT_EQ(c.relativePath.rfind("Cards/Again/", 0), 0u) << c.relativePath;
    }

    // The card's folder spelt in another case on the case-insensitive card.
    struct stat st {};
    if (::stat((exfatCard->mountPoint() + "/dcim").c_str(), &st) == 0) {
        const VerifyReport spelled = check(exfatCard->mountPoint() + "/dcim", {exfatCard->mountPoint()});
        for (const FileResult& f : spelled.files) EXPECT_TRUE(f.copies.empty()) << f.relativePath;
        EXPECT_EQ(spelled.totals.missing, spelled.totals.files);
    }
}

}  // namespace
}  // namespace halvetrop

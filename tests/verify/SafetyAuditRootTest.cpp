// Drive identity on real volumes: one file system reached through several mount points, or a
// stacked file system over a backup drive, must never pass for several drives. Each ext4 volume
// sits on a zram disk of its own, so each is its own drive.
#include "verify/Verifier.h"

#include "drives/Drives.h"
#include "match/Status.h"

#include "CardFixture.h"
#include "support/LoopVolume.h"
#include "support/Privileged.h"
#include "support/TempDir.h"
#include "support/ZramVolume.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>

namespace halvetrop {
namespace {

using test::LoopOver;
using test::LoopVolume;
using test::ZramVolume;
using test::check;
namespace fs = std::filesystem;

// A mount taken down with the test, even when it fails.
struct Mount {
    std::string target;
    Mount(const std::string& source, const std::string& to, const char* type, unsigned long flags,
          const std::string& options) {
        fs::create_directories(to);
        if (::mount(source.c_str(), to.c_str(), type, flags, options.empty() ? nullptr : options.c_str()) == 0)
            target = to;
    }
    ~Mount() {
        if (!target.empty()) ::umount2(target.c_str(), MNT_DETACH);
    }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;
};

class SafetyAuditVolumes : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string reason;
        if (!LoopVolume::available(&reason, LoopVolume::Type::ext4) || !ZramVolume::available(&reason)) {
            skipReason = reason;
            return;
        }
        try {
            card = std::make_unique<ZramVolume>(16 << 20, "CARD");
            b = std::make_unique<ZramVolume>(40 << 20, "B");
            c = std::make_unique<ZramVolume>(16 << 20, "C");
        } catch (const std::exception& e) {
            skipReason = e.what();
            return;
        }
        test::CardOptions o;
        o.pairs = 2;
        o.clips = 1;
        o.clipBytes = 1 << 20;
        test::makeCard(card->mountPoint(), o);
        test::copyTree(card->mountPoint(), b->mountPoint() + "/Card1");
        test::copyTree(card->mountPoint(), c->mountPoint() + "/Card1");
        for (const char* d : {"ovl/lower", "ovl/upper", "ovl/work"}) fs::create_directories(b->mountPoint() + "/" + d);
    }
    static void TearDownTestSuite() {
        c.reset();
        b.reset();
        card.reset();
    }
    void SetUp() override {
        if (!skipReason.empty()) GTEST_SKIP() << skipReason;
    }

    static void expectNotSafe(const VerifyReport& r) {
        // Covered rather than verified: a copy read back through an overlay is never shown to
        // come from a drive, so it can be backed up at best.
        EXPECT_GT(r.totals.covered(), 0) << "the copies themselves are good";
        EXPECT_EQ(r.safeFiles, 0);
        EXPECT_FALSE(r.safeToFormat);
        for (const FileResult& f : r.files) {
            if (f.inScope) {
                EXPECT_LE(f.safeDrives, 1) << f.relativePath;
            }
        }
    }

    // An overlay over folders of drive B lies on B, and since its folders are known by the names
    // its mount was given, its drive is not known for certain either.
    static void expectOnB(const PhysicalDriveID& overlay) {
        EXPECT_TRUE(sharesDrive(overlay, Drives::info(b->mountPoint()).drive)) << overlay.raw;
        EXPECT_TRUE(unknownDrive(overlay)) << overlay.raw;
    }

    static inline std::string skipReason;
    static inline std::unique_ptr<ZramVolume> card, b, c;
};

// Without this the other cases prove nothing: two real drives are safe.
TEST_F(SafetyAuditVolumes, TwoDrivesAreSafe) {
    const VerifyReport r = check(card->mountPoint(), {b->mountPoint() + "/Card1", c->mountPoint() + "/Card1"});
    EXPECT_TRUE(r.safeToFormat);
    EXPECT_EQ(r.safeFiles, r.totals.files);
}

// An overlay (a volume with no disk of its own) seen through a bind mount as well: two mount
// points, one file system, one drive.
TEST_F(SafetyAuditVolumes, OneStackedVolumeUnderTwoMountPointsIsOneDrive) {
    test::TempDir dir("audit-ovl");
    const std::string ovl = b->mountPoint() + "/ovl";
    Mount overlay("overlay", dir / "o1", "overlay", 0,
                  "lowerdir=" + ovl + "/lower,upperdir=" + ovl + "/upper,workdir=" + ovl + "/work");
    if (overlay.target.empty()) GTEST_SKIP() << test::volumesUnavailable("overlay mounts are refused here");
    Mount again(overlay.target, dir / "o2", nullptr, MS_BIND, "");
    ASSERT_FALSE(again.target.empty());
    test::copyTree(card->mountPoint(), overlay.target + "/CardA");
    test::copyTree(card->mountPoint(), overlay.target + "/CardB");
    const VerifyReport r = check(card->mountPoint(), {overlay.target + "/CardA", again.target + "/CardB"});
    ASSERT_EQ(r.destinations.size(), 2u);
    EXPECT_EQ(r.destinations[0].drive, r.destinations[1].drive);
    expectOnB(r.destinations[0].drive);
    expectNotSafe(r);
    fs::remove_all(overlay.target + "/CardA");
    fs::remove_all(overlay.target + "/CardB");
}

// An overlay whose files are stored on backup drive B is drive B.
TEST_F(SafetyAuditVolumes, StackedVolumeOverABackupDriveIsThatDrive) {
    test::TempDir dir("audit-ovl");
    const std::string ovl = b->mountPoint() + "/ovl";
    Mount overlay("overlay", dir / "o1", "overlay", 0,
                  "lowerdir=" + ovl + "/lower,upperdir=" + ovl + "/upper,workdir=" + ovl + "/work");
    if (overlay.target.empty()) GTEST_SKIP() << test::volumesUnavailable("overlay mounts are refused here");
    test::copyTree(card->mountPoint(), overlay.target + "/CardA");
    const VerifyReport r = check(card->mountPoint(), {b->mountPoint() + "/Card1", overlay.target + "/CardA"});
    ASSERT_EQ(r.destinations.size(), 2u);
    expectOnB(r.destinations[1].drive);
    expectNotSafe(r);
    fs::remove_all(overlay.target + "/CardA");
}

// The card's own file system under a second mount point, holding a copy of its files in
// another folder: that copy dies with the card.
TEST_F(SafetyAuditVolumes, CopyOnTheCardsFileSystemThroughABindMount) {
    test::TempDir dir("audit-bind");
    test::copyTree(card->mountPoint() + "/DCIM", card->mountPoint() + "/Spare/DCIM");
    test::copyTree(card->mountPoint() + "/PRIVATE", card->mountPoint() + "/Spare/PRIVATE");
    Mount again(card->mountPoint() + "/Spare", dir / "spare", nullptr, MS_BIND, "");
    ASSERT_FALSE(again.target.empty());
    // The card is the DCIM and PRIVATE folders only, so the spare copy is not itself a card file.
    const VerifyReport r = check(card->mountPoint() + "/DCIM", {b->mountPoint() + "/Card1/DCIM", again.target + "/DCIM"});
    EXPECT_GT(r.totals.files, 0);
    EXPECT_EQ(r.safeFiles, 0);
    EXPECT_FALSE(r.safeToFormat);
    fs::remove_all(card->mountPoint() + "/Spare");
}

// The card's own disk seen through a loop device over it, holding a copy in another folder: the
// loop device reads the card's disk, so that copy dies with the card.
TEST_F(SafetyAuditVolumes, CopyOnTheCardsDiskThroughALoopDevice) {
    test::copyTree(card->mountPoint() + "/DCIM", card->mountPoint() + "/Spare/DCIM");
    ::sync();
    std::unique_ptr<LoopOver> over;
    try {
        over = std::make_unique<LoopOver>(card->device());
    } catch (const std::exception& e) {
        fs::remove_all(card->mountPoint() + "/Spare");
        GTEST_SKIP() << test::volumesUnavailable(e.what());
    }
    const VerifyReport r = check(card->mountPoint() + "/DCIM", {b->mountPoint() + "/Card1/DCIM", over->mountPoint() + "/Spare/DCIM"});
    EXPECT_EQ(r.destinations[1].drive, r.source.drive);
    EXPECT_TRUE(r.destinations[1].readsFromMedium) << "only the drive keeps this copy from counting";
    expectNotSafe(r);
    over.reset();
    fs::remove_all(card->mountPoint() + "/Spare");
}

// A card that is a disk image kept on a backup drive lies on that drive, and so does a backup
// image kept on the card: neither copy survives the loss of the drive it shares.
TEST_F(SafetyAuditVolumes, ImagesKeptOnAnotherVolumeShareItsDrive) {
    std::unique_ptr<LoopVolume> inner;
    try {
        inner = std::make_unique<LoopVolume>(LoopVolume::Type::ext4, 8 << 20, "INNER", "", b->mountPoint());
    } catch (const std::exception& e) {
        GTEST_SKIP() << test::volumesUnavailable(e.what());
    }
    test::CardOptions o;
    o.pairs = 1;
    o.clips = 0;
    test::makeCard(inner->mountPoint(), o);
    test::copyTree(inner->mountPoint(), c->mountPoint() + "/Inner");
    test::copyTree(inner->mountPoint(), b->mountPoint() + "/Inner");
    const VerifyReport cardOnB = check(inner->mountPoint(), {b->mountPoint() + "/Inner", c->mountPoint() + "/Inner"});
    expectNotSafe(cardOnB);
    const VerifyReport backupOnCard = check(b->mountPoint() + "/Inner", {inner->mountPoint(), c->mountPoint() + "/Inner"});
    expectNotSafe(backupOnCard);
    fs::remove_all(c->mountPoint() + "/Inner");
    fs::remove_all(b->mountPoint() + "/Inner");
}

uint64_t mountIDOf(const std::string& path) {
    struct statx st {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_MNT_ID, &st) != 0 || !(st.stx_mask & STATX_MNT_ID)) return 0;
    return st.stx_mnt_id;
}

// A FUSE file system that serves a folder of another volume (bindfs, an encrypted folder) keeps
// its files on that volume's drive, as far as its daemon says; a FUSE file system of its own (a
// network one) does not.
TEST(SafetyAuditDrives, FuseOverAFolderIsThatFoldersDrive) {
    std::string reason;
    if (!LoopVolume::available(&reason, LoopVolume::Type::tmpfs)) GTEST_SKIP() << reason;
    LoopVolume beneath(LoopVolume::Type::tmpfs, 1 << 20);
    LoopVolume served(LoopVolume::Type::tmpfs, 1 << 20);
    fs::create_directories(beneath / "photos");
    const uint64_t beneathID = mountIDOf(beneath.mountPoint()), servedID = mountIDOf(served.mountPoint());
    if (beneathID == 0 || servedID == 0) GTEST_SKIP() << test::volumesUnavailable("no mount ids from statx");
    const struct {
        const char* type;
        std::string source;
        bool followed;
    } cases[] = {
        {"fuse.bindfs", beneath / "photos", true},
        {"fuse", beneath / "photos", true},
        {"fuse.sshfs", beneath / "photos", false},
        {"fuse.bindfs", beneath / "not-there", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.source);
        test::TempDir t("audit-mounts");
        t.write("proc/self/mountinfo",
                std::to_string(beneathID) + " 1 0:90 / " + beneath.mountPoint() + " rw - tmpfs tmpfs rw\n" +
                    std::to_string(servedID) + " 1 0:91 / " + served.mountPoint() + " rw - " + c.type + " " + c.source +
                    " rw\n");
        DriveSources fake;
        fake.procRoot = t / "proc";
        fake.sysRoot = t / "no-sys";
        const VolumeInfo under = Drives::info(beneath.mountPoint(), fake);
        const VolumeInfo over = Drives::info(served.mountPoint(), fake);
        EXPECT_EQ(under.drive.raw, "vol:" + beneath.mountPoint());
        EXPECT_EQ(sharesDrive(over.drive, under.drive), c.followed) << over.drive.raw;
        // Only the daemon's word tells where its files are: not a drive known for certain.
        EXPECT_TRUE(unknownDrive(over.drive)) << over.drive.raw;
    }
}

}  // namespace
}  // namespace halvetrop

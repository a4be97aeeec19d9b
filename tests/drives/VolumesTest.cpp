// Volumes on real file systems: zram disks with ext4, XFS and btrfs, an exFAT card image, ext4
// images, tmpfs. Needs root, or runs as an ordinary user with a root helper that builds the
// volumes: such a user cannot open the devices, so labels and UUIDs come from the device database,
// and a loop device, which the user cannot ask what it reads, lies on an unknown drive that is
// never read from its medium.
#include "drives/Drives.h"
#include "hash/XXH3.h"
#include "match/ContentReader.h"
#include "platform/MountInfo.h"
#include "platform/PageCache.h"

#include "../match/ContentReaderTestUtil.h"

#include "support/LoopVolume.h"
#include "support/Privileged.h"
#include "support/TempDir.h"
#include "support/ZramVolume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace halvetrop {
namespace {

using test::LoopOver;
using test::LoopVolume;
using test::TempDir;
using test::ZramVolume;
namespace fs = std::filesystem;

// The card image lives on one zram disk and ext4 B's image on another, so that each loop device
// has a drive of its own (a loop device is on the drive of what it reads); ext4 A's image lives in
// the temp folder, on the machine's disk.
class RealVolumes : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string reason;
        if (!LoopVolume::available(&reason, LoopVolume::Type::ext4) || !LoopVolume::available(&reason, LoopVolume::Type::exfat) ||
            !ZramVolume::available(&reason)) {
            skipReason = new std::string(reason);
            return;
        }
        try {
            build();
        } catch (const std::exception& e) {
            TearDownTestSuite();
            setupError = new std::string(e.what());
        }
    }
    static void build() {
        cardHome = std::make_unique<ZramVolume>(40 << 20);
        card = std::make_unique<LoopVolume>(LoopVolume::Type::exfat, 16 << 20, "EOS_DIGITAL", "", cardHome->mountPoint());
        ext4A = std::make_unique<LoopVolume>(LoopVolume::Type::ext4, 16 << 20, "Backup A");
        bHome = std::make_unique<ZramVolume>(40 << 20);
        // Mounted under /mnt so that the list of mounted volumes offers it.
        fs::create_directories("/mnt");
        ext4B = std::make_unique<LoopVolume>(LoopVolume::Type::ext4, 16 << 20, "", "/mnt", bHome->mountPoint());
        plain = std::make_unique<LoopVolume>(LoopVolume::Type::tmpfs, 1 << 20);
        fs::create_directories(card->mountPoint() + "/DCIM/100CANON");
        fs::create_directories(ext4A->mountPoint() + "/photos/2024");
        fs::create_directories(ext4A->mountPoint() + "/video");
    }
    static void TearDownTestSuite() {
        plain.reset();
        ext4B.reset();
        bHome.reset();
        ext4A.reset();
        card.reset();
        cardHome.reset();
        delete skipReason;
        skipReason = nullptr;
        delete setupError;
        setupError = nullptr;
    }
    void SetUp() override {
        if (skipReason) GTEST_SKIP() << *skipReason;
        if (setupError) FAIL() << *setupError;
    }

    static std::string* skipReason;
    static std::string* setupError;
    static std::unique_ptr<ZramVolume> cardHome, bHome;
    static std::unique_ptr<LoopVolume> card, ext4A, ext4B, plain;
};
std::string* RealVolumes::skipReason = nullptr;
std::string* RealVolumes::setupError = nullptr;
std::unique_ptr<ZramVolume> RealVolumes::cardHome, RealVolumes::bHome;
std::unique_ptr<LoopVolume> RealVolumes::card, RealVolumes::ext4A, RealVolumes::ext4B, RealVolumes::plain;

TEST_F(RealVolumes, EachVolumeIsDescribedAndOnItsOwnDrive) {
    const bool asUser = test::playsUser();
    struct Case {
        const char* what;
        std::string path, mountPoint, fileSystem, name;
        bool fat, cameraCard, diskImage, hasUUID, fromMedium;
    } cases[] = {
        {"exFAT card", card->mountPoint() + "/DCIM/100CANON", card->mountPoint(), "exfat", "EOS_DIGITAL", true, true, true, true, false},
        // Its image's folder is on the machine's disk unless $TMPDIR is memory.
        {"ext4 A", ext4A->mountPoint() + "/photos", ext4A->mountPoint(), "ext4", "Backup A", false, false, true, true,
         !asUser && Drives::info(fs::path(ext4A->imagePath()).parent_path()).readsFromMedium},
        {"ext4 B", ext4B->mountPoint(), ext4B->mountPoint(), "ext4", fs::path(ext4B->mountPoint()).filename(), false, false, true, true,
         !asUser},
        {"tmpfs", plain->mountPoint(), plain->mountPoint(), "tmpfs", fs::path(plain->mountPoint()).filename(), false, false, false, false, false},
    };
    std::vector<PhysicalDriveID> drives;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VolumeInfo v = Drives::info(c.path);
        EXPECT_EQ(v.path, c.path);
        EXPECT_EQ(v.volumePath, c.mountPoint);
        EXPECT_EQ(v.fileSystem, c.fileSystem);
        EXPECT_EQ(v.name, c.name);
        EXPECT_EQ(v.isFATFamily(), c.fat);
        EXPECT_EQ(v.isLikelyCameraCard, c.cameraCard);
        EXPECT_EQ(v.isDiskImage, c.diskImage);
        EXPECT_EQ(v.volumeID.has_value(), c.hasUUID);
        EXPECT_EQ(v.readsFromMedium, c.fromMedium);
        EXPECT_FALSE(v.isNetwork);
        EXPECT_GT(v.totalBytes, 0);
        EXPECT_GT(v.freeBytes, 0);
        EXPECT_LE(v.freeBytes, v.totalBytes);
        ASSERT_TRUE(v.maxFileSize.has_value());
        for (const PhysicalDriveID& d : drives) EXPECT_FALSE(sharesDrive(d, v.drive)) << v.drive.raw << " seen before";
        drives.push_back(v.drive);
    }
}

// A loop device's drive is its image's: as root, who may ask the loop device what it reads, that
// very drive; as an ordinary user, who has only the path the kernel gives its image, the drive that
// path leads to, and not known for certain (a drive that never counts as a copy apart).
void expectImageDrive(const PhysicalDriveID& loop, const PhysicalDriveID& image) {
    if (!test::playsUser()) {
        EXPECT_EQ(loop, image);
        return;
    }
    EXPECT_TRUE(sharesDrive(loop, image)) << loop.raw << " / " << image.raw;
    const std::vector<std::string> parts = loop.parts();
    EXPECT_TRUE(std::any_of(parts.begin(), parts.end(), [](const std::string& p) { return p.rfind("unknown:", 0) == 0; }))
        << loop.raw;
}

TEST_F(RealVolumes, ALoopDevicesDriveIsTheDriveOfItsImage) {
    // The card image sits in cardHome: the card and that zram disk are one drive.
    expectImageDrive(Drives::info(card->mountPoint()).drive, Drives::info(cardHome->mountPoint()).drive);
    expectImageDrive(Drives::info(ext4B->mountPoint()).drive, Drives::info(bHome->mountPoint()).drive);
    for (const LoopVolume* loop : {card.get(), ext4A.get(), ext4B.get()}) {
        if (test::playsUser()) {
            EXPECT_FALSE(Drives::info(loop->mountPoint()).readsFromMedium);
        }
    }
    // Each zram device is a whole disk of its own.
    const PhysicalDriveID zramC = Drives::info(cardHome->mountPoint()).drive, zramB = Drives::info(bHome->mountPoint()).drive;
    EXPECT_FALSE(sharesDrive(zramC, zramB)) << zramC.raw;
    EXPECT_EQ(zramC.raw, "dev:/devices/virtual/block/" + fs::path(cardHome->device()).filename().string());
    // ext4 A's image sits in the temp folder, on the machine's own disk.
    VolumeInfo a = Drives::info(ext4A->mountPoint());
    VolumeInfo home = Drives::info(fs::path(ext4A->imagePath()).parent_path());
    expectImageDrive(a.drive, home.drive);
    EXPECT_EQ(a.drive.raw.find("vol:"), std::string::npos) << "a disk-backed image names a disk: " << a.drive.raw;
}

// Loop devices on zram disks and tmpfs: the drive is that of what the loop reads, as the loop device
// reports it, and a volume reads from the medium only through direct-I/O loops down to a disk.
TEST_F(RealVolumes, LoopDevicesAreTheDriveOfWhatTheyRead) {
    ZramVolume disk(48 << 20);
    LoopVolume ram(LoopVolume::Type::tmpfs, 24 << 20);
    const PhysicalDriveID diskDrive = Drives::info(disk.mountPoint()).drive;
    const PhysicalDriveID ramDrive = Drives::info(ram.mountPoint()).drive;
    auto on = [](const std::string& parent, bool directIO, const std::string& name = "") {
        return std::make_unique<LoopVolume>(LoopVolume::Type::ext4, 8 << 20,
                                            LoopVolume::Options{"", "", parent, name, directIO});
    };
    std::unique_ptr<LoopVolume> middle = on(disk.mountPoint(), true), middleOnRam = on(ram.mountPoint(), true);
    struct Case {
        const char* what;
        std::unique_ptr<LoopVolume> volume;  // null: the loop over the zram disk itself
        PhysicalDriveID drive;
        bool fromMedium;
    } cases[] = {
        {"direct I/O, image on a zram disk", on(disk.mountPoint(), true), diskDrive, true},
        {"buffered: reads served from the image's cached pages", on(disk.mountPoint(), false), diskDrive, false},
        {"image name ending in a space", on(disk.mountPoint(), true, "card.img "), diskDrive, true},
        {"image on tmpfs, even with direct I/O", on(ram.mountPoint(), true), ramDrive, false},
        {"loop over a loop", on(middle->mountPoint(), true), diskDrive, true},
        {"loop over a loop on tmpfs", on(middleOnRam->mountPoint(), true), ramDrive, false},
        {"loop over the disk's own block device", nullptr, diskDrive, true},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<LoopOver> over;
        if (!c.volume) over = std::make_unique<LoopOver>(disk.device());
        const std::string mountPoint = c.volume ? c.volume->mountPoint() : over->mountPoint();
        if (c.volume && c.fromMedium && !test::playsUser()) {
            ASSERT_TRUE(c.volume->readsImageDirectly()) << "direct I/O refused";
        }
        const VolumeInfo v = Drives::info(mountPoint);
        // An ordinary user cannot ask the loop device: never read from its medium. A loop over a
        // block device names its node in the kernel's own device folder, where each node is its
        // device's: that drive for certain.
        const bool fromMedium = c.fromMedium && !test::playsUser();
        if (c.volume) {
            expectImageDrive(v.drive, c.drive);
        } else {
            EXPECT_EQ(v.drive, c.drive);
        }
        EXPECT_TRUE(v.isDiskImage);
        EXPECT_EQ(v.readsFromMedium, fromMedium);
        // What the content reader and the copy engine ask of each file says the same.
        const int fd = ::open(mountPoint.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(PageCache::mediumLiesPastCache(defaultSys(), fd), fromMedium);
        ::close(fd);
    }
    EXPECT_TRUE(Drives::info(disk.mountPoint()).readsFromMedium);
    EXPECT_FALSE(Drives::info(ram.mountPoint()).readsFromMedium);
}

// Label and UUID are known to root from the device and to everyone else from the device database;
// the volume records which. Device number and mount id tell a mount apart where no UUID does.
TEST_F(RealVolumes, IdentityIsKnownToEveryUserAndSaysWhereItCameFrom) {
    ZramVolume named(16 << 20, "HV IDENT");
    const VolumeInfo v = Drives::info(named.mountPoint());
    EXPECT_EQ(v.name, "HV IDENT");
    ASSERT_TRUE(v.volumeID.has_value());
    const std::string blkid = test::runAsRootOrThrow("blkid -s UUID -o value " + test::shellQuote(named.device()));
    EXPECT_EQ(*v.volumeID, blkid);
    EXPECT_EQ(v.identitySource, test::playsUser() ? "udev" : "superblock");
    ASSERT_TRUE(v.deviceNumber.has_value());
    struct stat st {};
    ASSERT_EQ(::stat(named.mountPoint().c_str(), &st), 0);
    EXPECT_EQ(*v.deviceNumber, std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev)));
    ASSERT_TRUE(v.mountID.has_value());
    EXPECT_EQ(Drives::info(named.mountPoint() + "/lost+found").mountID, v.mountID) << "a folder shares its volume's mount";
    ASSERT_EQ(named.unmount(), "");
    ASSERT_EQ(named.remount(), "");
    const VolumeInfo again = Drives::info(named.mountPoint());
    EXPECT_EQ(again.volumeID, v.volumeID);
    struct statx sx {};
    const bool numbersEachMount = ::statx(AT_FDCWD, "/", 0, 0x4000U, &sx) == 0 && (sx.stx_mask & 0x4000U);
    if (numbersEachMount) {
        EXPECT_NE(again.mountID, v.mountID) << "a remount is a mount of its own";
    }
    // The kernel tells the mount gone by its id, though the same volume is mounted at its place.
    EXPECT_EQ(Drives::mountState(v), numbersEachMount ? MountState::gone : MountState::unknown);
    EXPECT_EQ(Drives::mountState(again), numbersEachMount ? MountState::mounted : MountState::unknown);
    // tmpfs has neither label nor UUID from anywhere.
    EXPECT_FALSE(Drives::info(plain->mountPoint()).identitySource.has_value());
}

TEST_F(RealVolumes, FoldersOnOneVolumeShareItsDrive) {
    VolumeInfo photos = Drives::info(ext4A->mountPoint() + "/photos/2024");
    VolumeInfo video = Drives::info(ext4A->mountPoint() + "/video");
    VolumeInfo root = Drives::info(ext4A->mountPoint());
    EXPECT_EQ(photos.drive, video.drive);
    EXPECT_EQ(photos.drive, root.drive);
    EXPECT_EQ(photos.volumeID, root.volumeID);
}

TEST_F(RealVolumes, AFolderGivenThroughALinkIsDescribedByItsTarget) {
    TempDir t("drvlink");
    const std::string link = t / "backup";
    ASSERT_EQ(::symlink((ext4A->mountPoint() + "/photos").c_str(), link.c_str()), 0);
    VolumeInfo v = Drives::info(link);
    EXPECT_EQ(v.path, link);
    EXPECT_EQ(v.volumePath, ext4A->mountPoint());
    EXPECT_EQ(v.fileSystem, "ext4");
    EXPECT_EQ(v.drive, Drives::info(ext4A->mountPoint()).drive);
}

TEST_F(RealVolumes, AMountPointWithSpacesIsFoundByItsMountNotItsText) {
    TempDir t("drvspace");
    const std::string parent = t.mkdir("EOS DIGITAL\tcard");
    LoopVolume spaced(LoopVolume::Type::tmpfs, 1 << 20, "", parent);
    fs::create_directories(spaced.mountPoint() + "/DCIM");
    VolumeInfo v = Drives::info(spaced.mountPoint() + "/DCIM");
    EXPECT_EQ(v.volumePath, spaced.mountPoint());
    EXPECT_EQ(v.fileSystem, "tmpfs");
    EXPECT_TRUE(v.isLikelyCameraCard) << "DCIM at the volume's root";
    // The folder beside the mount, on the parent's volume, is not inside it.
    VolumeInfo beside = Drives::info(parent);
    EXPECT_NE(beside.volumePath, spaced.mountPoint());
}

TEST_F(RealVolumes, MountedVolumesOffersRealDevicesUnderMnt) {
    std::vector<VolumeInfo> all = Drives::mountedVolumes();
    auto find = [&](const std::string& mp) {
        return std::find_if(all.begin(), all.end(), [&](const VolumeInfo& v) { return v.volumePath == mp; });
    };
    auto b = find(ext4B->mountPoint());
    ASSERT_NE(b, all.end()) << "ext4 B under /mnt";
    expectImageDrive(b->drive, Drives::info(bHome->mountPoint()).drive);
    EXPECT_EQ(find(plain->mountPoint()), all.end()) << "tmpfs is no device and not under /mnt";
    for (std::size_t i = 1; i < all.size(); ++i) {
        EXPECT_LE(all[i - 1].isInternal, all[i].isInternal) << "volumes that are not internal come first";
    }
}

// The file systems users back up to, each on zram disks of its own: ext4, XFS, and btrfs mounted
// whole (compressing what compresses) with a subvolume mounted alone, and another btrfs spread
// over two disks.
class FileSystems : public ::testing::Test {
protected:
    using Kind = ZramVolume::FileSystem;

    static void SetUpTestSuite() {
        std::string reason;
        for (Kind k : {Kind::ext4, Kind::xfs, Kind::btrfs})
            if (!ZramVolume::available(&reason, k)) return void(skipReason = reason);
        try {
            ext4 = std::make_unique<ZramVolume>(16 << 20);
            xfs = std::make_unique<ZramVolume>(300 << 20, ZramVolume::Options{Kind::xfs, "", "", "", 1});
            btrfs = std::make_unique<ZramVolume>(128 << 20,
                                                 ZramVolume::Options{Kind::btrfs, "HV BTRFS", "", "compress=zstd", 1});
            subvolume = btrfs->mountSubvolume("photos");
            spread = std::make_unique<ZramVolume>(80 << 20, ZramVolume::Options{Kind::btrfs, "", "", "", 2});
        } catch (const std::exception& e) {
            TearDownTestSuite();
            setupError = e.what();
        }
    }
    static void TearDownTestSuite() {
        spread.reset();
        btrfs.reset();
        xfs.reset();
        ext4.reset();
    }
    void SetUp() override {
        if (!skipReason.empty()) GTEST_SKIP() << skipReason;
        if (!setupError.empty()) FAIL() << setupError;
    }

    // Bytes the volume's devices have read.
    static std::int64_t bytesRead(const ZramVolume& volume) {
        std::int64_t total = 0;
        for (const std::string& d : volume.devices()) {
            std::ifstream in("/sys/class/block/" + fs::path(d).filename().string() + "/stat");
            std::int64_t reads = 0, merged = 0, sectors = 0;
            in >> reads >> merged >> sectors;
            total += sectors * 512;
        }
        return total;
    }
    static inline std::string skipReason, setupError, subvolume;
    static inline std::unique_ptr<ZramVolume> ext4, xfs, btrfs, spread;
};

// A file on each is read from its drive: the volume says so, the reader claims it, and the device
// really read the bytes, which the page cache held before and holds none of after. Every mount of
// one btrfs volume is its drive, and one over two disks names both.
TEST_F(FileSystems, AFileOnEachIsReadFromItsMediumOnItsDrive) {
    const struct {
        const char* fileSystem;
        std::string folder;
        const ZramVolume* volume;
    } places[] = {
        {"ext4", ext4->mountPoint(), ext4.get()},
        {"xfs", xfs->mountPoint(), xfs.get()},
        {"btrfs", btrfs->mountPoint(), btrfs.get()},
        {"btrfs", subvolume, btrfs.get()},  // the subvolume mounted alone
        {"btrfs", btrfs->mountPoint() + "/photos", btrfs.get()},
        {"btrfs", spread->mountPoint(), spread.get()},
    };
    std::uint64_t seed = 1;
    for (const auto& p : places) {
        SCOPED_TRACE(p.folder);
        const VolumeInfo v = Drives::info(p.folder);
        EXPECT_EQ(v.fileSystem, p.fileSystem);
        EXPECT_TRUE(v.readsFromMedium);
        std::vector<std::string> disks;
        for (const std::string& d : p.volume->devices())
            disks.push_back("dev:/devices/virtual/block/" + fs::path(d).filename().string());
        std::sort(disks.begin(), disks.end());
        EXPECT_EQ(v.drive.parts(), disks);

        const std::string content = test::randomContent(300000, ++seed), file = p.folder + "/DSC" + std::to_string(seed) + ".ARW";
        std::ofstream(file, std::ios::binary) << content;
        test::readThroughCache(file);
        AccessTimesTouched touched;
        const std::int64_t before = bytesRead(*p.volume);
        const FullHashResult full = ContentReader::fullHash(file, {}, {}, touched);
        EXPECT_TRUE(full.fromMedium);
        EXPECT_EQ(full.digest, (Digest128{content.size(), XXH3::hash64(content.data(), content.size())}));
        EXPECT_GE(bytesRead(*p.volume) - before, static_cast<std::int64_t>(content.size()));
        EXPECT_TRUE(ContentReader::sampleFP(file, static_cast<std::int64_t>(content.size()), true, touched).cacheEvicted);
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(PageCache::residentPages(defaultSys(), fd, 0, static_cast<std::int64_t>(content.size())), 0);
        ::close(fd);
    }
    // One file system, whatever part of it a mount shows: one device number. A part is named by
    // its place in the volume, so that it is told from the whole.
    const VolumeInfo whole = Drives::info(btrfs->mountPoint()), part = Drives::info(subvolume),
                     reached = Drives::info(btrfs->mountPoint() + "/photos");
    EXPECT_EQ(whole.name, "HV BTRFS");
    EXPECT_FALSE(whole.showsPart());
    EXPECT_EQ(part.name, "HV BTRFS/photos");
    EXPECT_EQ(part.mountRoot, "/photos");
    EXPECT_TRUE(part.showsPart());
    EXPECT_EQ(part.deviceNumber, whole.deviceNumber);
    EXPECT_EQ(reached.deviceNumber, whole.deviceNumber);
    EXPECT_FALSE(reached.showsPart());
}

// btrfs keeps a small file's bytes inline in its metadata, cached apart from the file, and reads
// even a direct read through the page cache when it cannot do it directly (compressed extents
// among others): the first is never from the medium; the rest only when its pages are proven gone
// before each read. A direct read on ext4 goes to the drive whatever is cached.
TEST_F(FileSystems, BtrfsIsReadFromTheMediumOnlyWhenItsCachedPagesAreProvenGone) {
    AccessTimesTouched touched;
    const std::string tiny = subvolume + "/C0001M01.XML", text = subvolume + "/C0001.MP4",
                      plain = subvolume + "/C0002.MP4", other = ext4->mountPoint() + "/C0003.MP4";
    std::string words;
    while (words.size() < (1 << 20)) words += "<Frame offset=\"" + std::to_string(words.size()) + "\"/>\n";
    std::ofstream(tiny, std::ios::binary) << test::randomContent(1000, 7);
    std::ofstream(text, std::ios::binary) << words;
    std::ofstream(plain, std::ios::binary) << test::randomContent(1 << 20, 8);
    std::ofstream(other, std::ios::binary) << test::randomContent(1 << 20, 9);
    ::sync();
    EXPECT_FALSE(ContentReader::fullHash(tiny, {}, {}, touched).fromMedium);
    EXPECT_FALSE(ContentReader::sampleFP(tiny, 1000, true, touched).cacheEvicted);

    // Cached pages that can be dropped are: the compressed file then comes from the drive.
    test::readThroughCache(text);
    const std::int64_t before = bytesRead(*btrfs);
    const FullHashResult read = ContentReader::fullHash(text, {}, {}, touched);
    EXPECT_TRUE(read.fromMedium);
    EXPECT_EQ(read.digest.lo, XXH3::hash64(words.data(), words.size()));
    EXPECT_GT(bytesRead(*btrfs) - before, 0);

    // Pages someone keeps mapped cannot be dropped.
    for (const std::string& path : {text, plain, other}) {
        SCOPED_TRACE(path);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        void* map = ::mmap(nullptr, 1 << 20, PROT_READ, MAP_SHARED, fd, 0);
        ASSERT_NE(map, MAP_FAILED);
        volatile unsigned char sum = 0;
        for (std::size_t i = 0; i < (1 << 20); i += 4096) sum = sum + static_cast<const unsigned char*>(map)[i];
        EXPECT_EQ(ContentReader::fullHash(path, {}, {}, touched).fromMedium, path == other);
        ::munmap(map, 1 << 20);
        ::close(fd);
    }
}

// A loop device reading an image, detached with the test.
struct ImageLoop {
    std::string device;
    ImageLoop(const std::string& image, bool directIO)
        : device(test::runAsRootOrThrow("truncate -s 80M " + test::shellQuote(image) + " && losetup -f --show" +
                                        (directIO ? " --direct-io=on " : " ") + test::shellQuote(image))) {}
    ~ImageLoop() { test::runAsRoot("losetup -d " + test::shellQuote(device)); }
};

// Every link down to the drive must read past the cache: each device a btrfs volume spans (its
// mount names only the first), and the file system holding a direct-I/O loop's image, whose direct
// read of that file data=journal ext4 and btrfs may answer from the image's cached pages (XFS reads
// it from the drive). An ordinary user cannot ask a loop device at all.
TEST_F(FileSystems, LoopsAndSpreadVolumesReadFromTheMediumOnlyWhereEveryLinkDoes) {
    const ZramVolume journalled(48 << 20, ZramVolume::Options{Kind::ext4, "", "", "data=journal", 1});
    const struct {
        const char* what;
        std::string imageParent;
        bool directIO;
        bool spread;  // btrfs over a zram disk and the loop, else ext4 on the loop alone
        bool fromMedium;
    } rows[] = {
        {"btrfs over a disk and a direct-I/O loop", xfs->mountPoint(), true, true, true},
        {"btrfs over a disk and a buffered loop", xfs->mountPoint(), false, true, false},
        {"an image on XFS", xfs->mountPoint(), true, false, true},
        {"an image on btrfs", btrfs->mountPoint(), true, false, false},
        {"an image on data=journal ext4", journalled.mountPoint(), true, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::unique_ptr<ImageLoop> member;
        std::unique_ptr<ZramVolume> spread;
        std::unique_ptr<LoopVolume> image;
        if (row.spread) {
            member = std::make_unique<ImageLoop>(row.imageParent + "/member.img", row.directIO);
            spread = std::make_unique<ZramVolume>(80 << 20, ZramVolume::Options{Kind::btrfs, "", "", "", 1, {member->device}});
            const std::vector<MountEntry> mounts = readMountInfo("/proc");
            EXPECT_TRUE(std::any_of(mounts.begin(), mounts.end(), [&](const MountEntry& e) {
                return e.mountPoint == spread->mountPoint() && e.source == spread->device();
            })) << "the mount names the disk, not the loop";
        } else {
            image = std::make_unique<LoopVolume>(LoopVolume::Type::ext4, 8 << 20,
                                                 LoopVolume::Options{"", "", row.imageParent, "", row.directIO});
        }
        const std::string mountPoint = spread ? spread->mountPoint() : image->mountPoint();
        const bool fromMedium = row.fromMedium && !test::playsUser();
        EXPECT_EQ(Drives::info(mountPoint).readsFromMedium, fromMedium);
        const int fd = ::open(mountPoint.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(PageCache::volumeReads(defaultSys(), fd).doubt,
                  fromMedium ? std::nullopt : std::optional(MediumDoubt::diskImage));
        ::close(fd);
    }
}

}  // namespace
}  // namespace halvetrop

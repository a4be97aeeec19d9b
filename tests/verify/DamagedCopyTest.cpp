// A backup copy damaged on its drive itself while another program keeps the copy mapped, so that
// its good bytes stay in the page cache: the check must never call it verified, on any file system
// or mount mode. Where a direct read reaches the drive the damage shows as a different file; where
// the file system may answer from the cache instead, the copy is not proven and says why.
#include "verify/Verifier.h"

#include "CardFixture.h"
#include "support/LoopVolume.h"
#include "support/Privileged.h"
#include "support/TempDir.h"
#include "support/ZramVolume.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <regex>

namespace halvetrop {
namespace {

using test::runAsRootOrThrow;
using test::shellQuote;
using test::LoopVolume;
using test::ZramVolume;

const std::string kClip = "PRIVATE/M4ROOT/CLIP/C0001.MP4";

// Where byte `offset` of a file lies, as FIEMAP tells it (xfs_io run by root: an image belongs to
// root); for btrfs that is an address in the file system's own space.
std::int64_t mappedOffset(const std::string& file, std::int64_t offset) {
    const std::string out = runAsRootOrThrow("xfs_io -r -c 'fiemap -v' " + shellQuote(file));
    // "   0: [0..2047]:       26624..28671    2048   0x1", in 512-byte units.
    static const std::regex extent(R"(\[(\d+)\.\.(\d+)\]:\s+(\d+)\.\.(\d+))");
    for (std::sregex_iterator it(out.begin(), out.end(), extent), end; it != end; ++it) {
        const std::int64_t from = std::stoll((*it)[1]) * 512, to = (std::stoll((*it)[2]) + 1) * 512;
        if (offset >= from && offset < to) return std::stoll((*it)[3]) * 512 + (offset - from);
    }
    throw std::runtime_error("no extent of " + file + " holds " + std::to_string(offset) + ":\n" + out);
}

// btrfs maps its own addresses to places on its devices.
std::int64_t btrfsDeviceOffset(const std::string& device, std::int64_t logical) {
    const std::string out =
        runAsRootOrThrow("btrfs-map-logical -l " + std::to_string(logical) + " -b 4096 " + shellQuote(device));
    static const std::regex physical(R"(physical (\d+) device (\S+))");
    std::smatch m;
    if (!std::regex_search(out, m, physical) || m[2] != device) throw std::runtime_error("btrfs-map-logical: " + out);
    return std::stoll(m[1]);
}

// Overwrites one block of the device itself, past every cache.
void damageBlock(const std::string& device, std::int64_t offset) {
    ASSERT_EQ(offset % 4096, 0);
    runAsRootOrThrow("dd if=/dev/urandom of=" + shellQuote(device) + " bs=4096 count=1 seek=" +
                     std::to_string(offset / 4096) + " oflag=direct conv=notrunc status=none");
}

// Writes everything out, and has ext4 move what it journalled to its place on the drive (a frozen
// file system has checkpointed its journal): the damage must not be undone by a later checkpoint.
void settle(const std::string& mountPoint) {
    ::sync();
    runAsRootOrThrow("fsfreeze -f " + shellQuote(mountPoint) + " && fsfreeze -u " + shellQuote(mountPoint));
}

// chattr +j, done as a repair tool would on the unmounted volume (root here may lack the right to
// ask the kernel, CAP_SYS_RESOURCE): the file's flags become those of an extent-mapped file that
// journals its data.
void journalItsData(ZramVolume& volume, const std::string& relative) {
    if (std::string why = volume.unmount(); !why.empty()) throw std::runtime_error(why);
    runAsRootOrThrow("debugfs -w -R " + shellQuote("set_inode_field /" + relative + " flags 0x84000") + " " +
                     shellQuote(volume.device()) + " 2>&1");
    if (std::string why = volume.remount(); !why.empty()) throw std::runtime_error(why);
}

// Another program's view of a file: mapped, every page read, so they stay in the page cache and
// cannot be dropped while it lasts.
struct MappedFile {
    int fd;
    std::size_t size;
    void* data;
    explicit MappedFile(const std::string& path)
        : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)), size(std::filesystem::file_size(path)),
          data(::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0)) {
        if (data == MAP_FAILED) throw std::runtime_error("cannot map " + path);
        volatile unsigned char sum = 0;
        for (std::size_t i = 0; i < size; i += 4096) sum = sum + static_cast<const unsigned char*>(data)[i];
    }
    ~MappedFile() {
        ::munmap(data, size);
        ::close(fd);
    }
};

class DamagedCopies : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string reason;
        if (!ZramVolume::available(&reason) || !LoopVolume::available(&reason, LoopVolume::Type::ext4)) {
            skipReason = reason;
            return;
        }
        try {
            card = std::make_unique<ZramVolume>(16 << 20, "CARD");
        } catch (const std::exception& e) {
            skipReason = test::volumesUnavailable(e.what());
            return;
        }
        test::CardOptions o;
        o.pairs = 1;
        o.clips = 1;
        test::makeCard(card->mountPoint(), o);
    }
    static void TearDownTestSuite() { card.reset(); }
    void SetUp() override {
        if (!skipReason.empty()) GTEST_SKIP() << skipReason;
    }

    static inline std::string skipReason;
    static inline std::unique_ptr<ZramVolume> card;
};

// One backup drive as a user may have it. `place` gives the device and the offset there of byte 0
// of the copied clip.
struct Backup {
    const char* what;
    std::function<std::string()> build;  // makes the volume and returns the backup folder on it
    std::function<std::pair<std::string, std::int64_t>(const std::string& clip)> place;
    // A direct read of the clip reaches the drive: the damage is found.
    bool caught;
    // Otherwise, why the copy is not proven (nothing where btrfs may refuse the damaged block).
    std::optional<MediumDoubt> doubt;
};

TEST_F(DamagedCopies, ACopyDamagedOnItsDriveUnderItsCachedPagesIsNeverVerified) {
    std::unique_ptr<ZramVolume> volume, home;
    std::unique_ptr<LoopVolume> image;
    auto zram = [&](std::int64_t size, ZramVolume::FileSystem type, const std::string& options) {
        volume = std::make_unique<ZramVolume>(size, ZramVolume::Options{type, "B", "", options, 1});
        return volume->mountPoint() + "/Card1";
    };
    auto onDevice = [&](const std::string& clip) { return std::make_pair(volume->device(), mappedOffset(clip, 0)); };
    using FS = ZramVolume::FileSystem;
    std::vector<Backup> backups = {
        {"ext4", [&] { return zram(64 << 20, FS::ext4, ""); }, onDevice, true, {}},
        {"XFS", [&] { return zram(320 << 20, FS::xfs, ""); }, onDevice, true, {}},
        // data=journal serves every read through the page cache, O_DIRECT or not.
        {"ext4 mounted data=journal", [&] { return zram(64 << 20, FS::ext4, "data=journal"); }, onDevice, false,
         MediumDoubt::cacheHeld},
        // A file that journals its data does the same (as ext4 heeds it: without delayed allocation).
        {"ext4, a copy that journals its data",
         [&] { return zram(64 << 20, FS::ext4, "nodelalloc"); }, onDevice, false, MediumDoubt::cacheHeld},
        {"btrfs",
         [&] { return zram(128 << 20, FS::btrfs, ""); },
         [&](const std::string& clip) {
             return std::make_pair(volume->device(), btrfsDeviceOffset(volume->device(), mappedOffset(clip, 0)));
         },
         false, {}},
        // An ext4 image on such a drive through a direct-I/O loop: the loop's direct reads of the
        // image are answered from the image's cached pages, with no other program involved.
        {"a direct-I/O loop whose image lies on data=journal ext4",
         [&] {
             home = std::make_unique<ZramVolume>(64 << 20, ZramVolume::Options{FS::ext4, "", "", "data=journal", 1});
             image = std::make_unique<LoopVolume>(LoopVolume::Type::ext4, 32 << 20,
                                                  LoopVolume::Options{"B", "", home->mountPoint(), "", true});
             return image->mountPoint() + "/Card1";
         },
         [&](const std::string& clip) {
             return std::make_pair(home->device(), mappedOffset(image->imagePath(), mappedOffset(clip, 0)));
         },
         false, MediumDoubt::diskImage},
    };
    if (!ZramVolume::available(nullptr, FS::xfs)) backups.erase(backups.begin() + 1);
    if (!ZramVolume::available(nullptr, FS::btrfs)) std::erase_if(backups, [](const Backup& b) { return std::string(b.what) == "btrfs"; });

    for (const Backup& b : backups) {
        SCOPED_TRACE(b.what);
        const std::string folder = b.build();
        test::copyTree(card->mountPoint(), folder);
        const std::string clip = folder + "/" + kClip;
        if (std::string(b.what).find("journals its data") != std::string::npos) journalItsData(*volume, "Card1/" + kClip);
        settle(volume ? volume->mountPoint() : image->mountPoint());
        if (home) settle(home->mountPoint());  // the image's blocks, written by the loop

        // Unmapped, every copy is proven where its drive is read past the cache.
        const VerifyReport before = test::check(card->mountPoint(), {folder}, CheckLevel::verified, 1);
        EXPECT_EQ(before.totals.verified, b.doubt == MediumDoubt::diskImage ? 0 : before.totals.files);

        {
            MappedFile viewer(clip);
            const auto [device, offset] = b.place(clip);
            damageBlock(device, offset);
            const VerifyReport r = test::check(card->mountPoint(), {folder}, CheckLevel::verified, 1);
            const FileResult& f = test::fileAt(r, kClip);
            EXPECT_NE(f.status, FileStatus::verified);
            EXPECT_EQ(f.safeDrives, 0);
            EXPECT_FALSE(r.safeToFormat);
            for (const CopyRef& c : f.copies) EXPECT_LT(c.evidence, EvidenceLevel::verified);
            if (b.caught) {
                EXPECT_EQ(f.status, FileStatus::conflict) << "the damage is read from the drive";
            } else if (f.status == FileStatus::backedUp) {
                ASSERT_EQ(f.copies.size(), 1u);
                EXPECT_EQ(f.copies[0].doubt, b.doubt ? b.doubt : MediumDoubt::cacheHeld);
            }
        }
        image.reset();
        home.reset();
        volume.reset();
    }
}

// A btrfs backup keeps a small sidecar inside its metadata, which no read of the file takes from
// the drive; an ordinary user cannot learn whether another user's file is cached. Such copies are
// matched by content only, count on no drive, and say why; the same copies on ext4 are proven.
TEST_F(DamagedCopies, CopiesThatCannotBeProvenSayWhy) {
    if (!ZramVolume::available(nullptr, ZramVolume::FileSystem::btrfs)) GTEST_SKIP() << "no btrfs here";
    ZramVolume plain(32 << 20, "PLAIN");
    ZramVolume btrfs(128 << 20, ZramVolume::Options{ZramVolume::FileSystem::btrfs, "BT", "", "", 1});
    test::copyTree(card->mountPoint(), plain.mountPoint() + "/Card1");
    test::copyTree(card->mountPoint(), btrfs.mountPoint() + "/Card1");
    const std::string photo = "DCIM/100MSDCF/DSC00001.ARW", sidecar = "PRIVATE/M4ROOT/CLIP/C0001M01.XML";
    runAsRootOrThrow("chown 0:0 " + shellQuote(btrfs.mountPoint() + "/Card1/" + photo));
    ::sync();

    VerifyRequest request(card->mountPoint(), {plain.mountPoint() + "/Card1", btrfs.mountPoint() + "/Card1"});
    request.level = CheckLevel::verified;
    request.scope.includeSidecars = true;
    const VerifyReport r = Verifier(request).run();
    EXPECT_FALSE(r.safeToFormat);
    // Root may ask whether any file is cached.
    const std::optional<MediumDoubt> photoDoubt =
        test::playsUser() ? std::optional(MediumDoubt::othersFile) : std::nullopt;
    for (const auto& [path, doubt] : {std::pair{sidecar, std::optional(MediumDoubt::inMetadata)}, {photo, photoDoubt}}) {
        SCOPED_TRACE(path);
        const FileResult& f = test::fileAt(r, path);
        EXPECT_FALSE(f.cardDoubt);
        ASSERT_EQ(f.copies.size(), 2u);
        EXPECT_EQ(f.copies[0].evidence, EvidenceLevel::verified);
        EXPECT_FALSE(f.copies[0].doubt);
        EXPECT_EQ(f.copies[1].evidence, doubt ? EvidenceLevel::sampled : EvidenceLevel::verified);
        EXPECT_EQ(f.copies[1].doubt, doubt);
        EXPECT_EQ(f.safeDrives, doubt ? 1 : 2);
    }
}

}  // namespace
}  // namespace halvetrop

// Reads on real volumes built for the test: ext4 on a loop device, exFAT through FUSE, tmpfs, and an
// overlay over tmpfs.
#include "match/ContentReader.h"
#include "platform/PageCache.h"

#include "ContentReaderTestUtil.h"
#include "hash/XXH3.h"
#include "support/Privileged.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace halvetrop {
namespace {

using test::randomContent;
using test::writeFile;

// A mounted scratch volume, unmounted and detached when the object dies, even after a failure.
class ScratchVolume {
public:
    // overlay: an overlay whose upper layer is tmpfs, as a live system's root is.
    enum class Kind { ext4, exfat, tmpfs, overlay };

    explicit ScratchVolume(Kind kind) : dir_("content-volume") {
        mountPoint_ = dir_.mkdir("mnt");
        if (kind == Kind::tmpfs) {
            mounted_ = ::mount("tmpfs", mountPoint_.c_str(), "tmpfs", 0, "size=64m") == 0;
            if (!mounted_) error_ = std::string("mount tmpfs: ") + std::strerror(errno);
            return;
        }
        if (kind == Kind::overlay) {
            layers_ = dir_.mkdir("layers");
            if (::mount("tmpfs", layers_.c_str(), "tmpfs", 0, "size=32m") != 0) {
                error_ = std::string("mount tmpfs: ") + std::strerror(errno);
                layers_.clear();
                return;
            }
            for (const char* d : {"/lower", "/upper", "/work"}) ::mkdir((layers_ + d).c_str(), 0755);
            const std::string options =
                "lowerdir=" + layers_ + "/lower,upperdir=" + layers_ + "/upper,workdir=" + layers_ + "/work";
            mounted_ = ::mount("overlay", mountPoint_.c_str(), "overlay", 0, options.c_str()) == 0;
            if (!mounted_) error_ = std::string("mount overlay: ") + std::strerror(errno);
            return;
        }
        // The image lives on the repository's disk, not on a tmpfs $TMPDIR.
        image_ = disk_.file("volume.img");
        std::string out;
        if (test::runShell("truncate -s 96M '" + image_ + "'") != 0) {
            error_ = "truncate failed";
            return;
        }
        // Direct I/O: a buffered loop device serves reads from the image's cached pages.
        if (test::runShell("losetup -f --show --direct-io=on '" + image_ + "' 2>&1", &out) != 0) {
            error_ = "losetup failed: " + out;
            return;
        }
        loop_ = out.substr(0, out.find('\n'));
        const std::string make = kind == Kind::ext4 ? "mkfs.ext4 -q -F '" + loop_ + "' 2>&1"
                                                    : "mkfs.exfat '" + loop_ + "' 2>&1";
        if (test::runShell(make, &out) != 0) {
            error_ = "mkfs failed: " + out;
            return;
        }
        const std::string mount = kind == Kind::ext4 ? "mount '" + loop_ + "' '" + mountPoint_ + "' 2>&1"
                                                     : "mount.exfat-fuse '" + loop_ + "' '" + mountPoint_ + "' 2>&1";
        if (test::runShell(mount, &out) != 0) {
            error_ = "mount failed: " + out;
            return;
        }
        mounted_ = true;
    }
    ~ScratchVolume() {
        if (mounted_) test::runShell("umount '" + mountPoint_ + "' 2>/dev/null || umount -l '" + mountPoint_ + "'");
        if (!loop_.empty()) test::runShell("losetup -d '" + loop_ + "'");
        if (!layers_.empty()) ::umount2(layers_.c_str(), MNT_DETACH);
    }
    ScratchVolume(const ScratchVolume&) = delete;
    ScratchVolume& operator=(const ScratchVolume&) = delete;

    bool ready() const { return mounted_; }
    const std::string& error() const { return error_; }
    std::string file(const std::string& name) const { return mountPoint_ + "/" + name; }

private:
    test::TempDir dir_;
    test::DiskDir disk_;
    std::string mountPoint_;
    std::string image_;
    std::string loop_;
    std::string layers_;
    std::string error_;
    bool mounted_ = false;
};

#define REQUIRE_VOLUMES()                                                       \
    do {                                                                        \
        std::string reason;                                                     \
        if (!test::canUseLoopDevices(&reason)) GTEST_SKIP() << reason;          \
    } while (0)

TEST(ContentReaderVolumes, Ext4OnALoopDeviceIsReadFromTheMedium) {
    AccessTimesTouched touched;
    REQUIRE_VOLUMES();
    ScratchVolume volume(ScratchVolume::Kind::ext4);
    ASSERT_TRUE(volume.ready()) << volume.error();
    const std::string content = randomContent((6 << 20) + 99, 51);
    const std::string file = writeFile(volume.file("clip.mp4"), content);
    const FullHashResult full = ContentReader::fullHash(file, {}, {}, touched);
    EXPECT_TRUE(full.fromMedium);
    EXPECT_EQ(full.digest, (Digest128{content.size(), XXH3::hash64(content.data(), content.size())}));
    EXPECT_EQ(test::fincoreBytes(file), 0LL);

    test::readThroughCache(file);
    const SampleFP fp = ContentReader::sampleFP(file, static_cast<std::int64_t>(content.size()), true, touched);
    EXPECT_TRUE(fp.cacheEvicted);
    EXPECT_EQ(fp.head, XXH3::hash64(content.data(), SampleFP::window));
    EXPECT_EQ(test::fincoreBytes(file), 0LL);
}

TEST(ContentReaderVolumes, ExfatThroughFuseIsNeverClaimedFromTheMedium) {
    AccessTimesTouched touched;
    REQUIRE_VOLUMES();
    ScratchVolume volume(ScratchVolume::Kind::exfat);
    if (!volume.ready() && volume.error().find("fuse") != std::string::npos) GTEST_SKIP() << test::volumesUnavailable(volume.error());
    ASSERT_TRUE(volume.ready()) << volume.error();
    const std::string content = randomContent((2 << 20) + 7, 52);
    const std::string file = writeFile(volume.file("DSC00001.ARW"), content);
    const FullHashResult full = ContentReader::fullHash(file, {}, {}, touched);
    EXPECT_FALSE(full.fromMedium) << "the FUSE daemon's reads may come from the block device's cache";
    EXPECT_EQ(full.digest, (Digest128{content.size(), XXH3::hash64(content.data(), content.size())}));
    const SampleFP fp = ContentReader::sampleFP(file, static_cast<std::int64_t>(content.size()), true, touched);
    EXPECT_FALSE(fp.cacheEvicted);
    EXPECT_EQ(fp.tail, XXH3::hash64(content.data() + content.size() - SampleFP::window, SampleFP::window));
}

// One run's answers to "does this volume read from its medium" are kept per volume: a file on a
// memory-backed volume met after one on a disk (and the other way round) is answered for itself.
TEST(ContentReaderVolumes, OneRunsMediumAnswersAreKeptPerVolume) {
    AccessTimesTouched touched;
    REQUIRE_VOLUMES();
    ScratchVolume disk(ScratchVolume::Kind::ext4), memory(ScratchVolume::Kind::tmpfs);
    ASSERT_TRUE(disk.ready()) << disk.error();
    ASSERT_TRUE(memory.ready()) << memory.error();
    const std::string content = randomContent(300000, 53);
    const std::string onDisk = writeFile(disk.file("DSC00001.ARW"), content);
    const std::string inMemory = writeFile(memory.file("DSC00001.ARW"), content);
    PageCache::MediumAnswers answers;
    for (const std::string* file : {&onDisk, &inMemory, &onDisk, &inMemory}) {
        SCOPED_TRACE(*file);
        const bool fromMedium = file == &onDisk;
        const auto size = static_cast<std::int64_t>(content.size());
        EXPECT_EQ(ContentReader::sampleFP(*file, size, true, touched, defaultSys(), &answers).cacheEvicted, fromMedium);
        EXPECT_EQ(ContentReader::fullHash(*file, {}, {}, touched, defaultSys(), &answers).fromMedium, fromMedium);
    }
}

// Their pages are their storage: whether the kernel takes O_DIRECT there (newer ones do) or the
// fallback runs, the bytes come from memory that a power loss takes with it. Through an overlay
// the file sits on its tmpfs layer, whatever the overlay does with O_DIRECT and the cache.
TEST(ContentReaderVolumes, MemoryBackedVolumesAreNeverClaimedFromTheMedium) {
    AccessTimesTouched touched;
    REQUIRE_VOLUMES();
    const struct {
        const char* name;
        ScratchVolume::Kind kind;
    } rows[] = {{"tmpfs", ScratchVolume::Kind::tmpfs}, {"overlay over tmpfs", ScratchVolume::Kind::overlay}};
    std::uint64_t seed = 53;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchVolume volume(row.kind);
        if (!volume.ready() && row.kind == ScratchVolume::Kind::overlay) {
            std::cout << "[ SKIPPED  ] " << row.name << ": " << volume.error() << "\n";
            continue;
        }
        ASSERT_TRUE(volume.ready()) << volume.error();
        const std::string content = randomContent((1 << 20) + 5, seed++);
        const std::string file = writeFile(volume.file("a.jpg"), content);
        const FullHashResult full = ContentReader::fullHash(file, {}, {}, touched);
        EXPECT_FALSE(full.fromMedium);
        EXPECT_EQ(full.digest.lo, XXH3::hash64(content.data(), content.size()));
        const SampleFP fp = ContentReader::sampleFP(file, static_cast<std::int64_t>(content.size()), true, touched);
        EXPECT_FALSE(fp.cacheEvicted);
        EXPECT_EQ(fp.head, XXH3::hash64(content.data(), SampleFP::window));
        EXPECT_GT(test::residentPagesOf(file), 0);
    }
}

// The largest size the file system lets a file take, found by halving: ftruncate refuses more.
std::int64_t largestSize(int fd) {
    std::int64_t good = 0, bad = INT64_MAX;
    if (::ftruncate(fd, INT64_MAX) == 0) return INT64_MAX;
    while (bad - good > 1) {
        const std::int64_t mid = good + (bad - good) / 2;
        (::ftruncate(fd, mid) == 0 ? good : bad) = mid;
    }
    return ::ftruncate(fd, good) == 0 ? good : -1;
}

// A sparse file as large as the volume allows (the largest offset there is on tmpfs), with random
// bytes in its three windows: each is found and hashed where it lies, and nothing overflows on the
// way to the last block, also when the tail window's pages are dropped and asked about.
TEST(ContentReaderVolumes, LargestSparseFilesAreSampledWhereTheirWindowsLie) {
    AccessTimesTouched touched;
    REQUIRE_VOLUMES();
    const struct {
        const char* name;
        ScratchVolume::Kind kind;
        bool fromDevice;
    } rows[] = {{"ext4", ScratchVolume::Kind::ext4, true},
                {"tmpfs", ScratchVolume::Kind::tmpfs, false},
                {"tmpfs from the medium", ScratchVolume::Kind::tmpfs, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchVolume volume(row.kind);
        ASSERT_TRUE(volume.ready()) << volume.error();
        const std::string file = volume.file("huge.mov");
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const std::int64_t size = largestSize(fd);
        ASSERT_GT(size, std::int64_t{1} << 40);
        std::uint64_t hashes[3] = {};
        const std::vector<ByteRange> windows = SampleFP::windows(size);
        ASSERT_EQ(windows.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            const std::string bytes = randomContent(SampleFP::window, 60 + i);
            ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), windows[i].start), SampleFP::window);
            hashes[i] = XXH3::hash64(bytes.data(), bytes.size());
        }
        ::close(fd);
        const SampleFP fp = ContentReader::sampleFP(file, size, row.fromDevice, touched);
        EXPECT_EQ(fp.head, hashes[0]);
        EXPECT_EQ(fp.mid, hashes[1]);
        EXPECT_EQ(fp.tail, hashes[2]);
        EXPECT_TRUE(fp.strong);
        EXPECT_EQ(fp.cacheEvicted, row.kind == ScratchVolume::Kind::ext4);
    }
}

}  // namespace
}  // namespace halvetrop

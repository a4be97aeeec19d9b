// The page-cache queries on real files, and their answers when the seam fails or lies.
#include "platform/PageCache.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <linux/fiemap.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/mman.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

namespace halvetrop {
namespace {

using test::TempDir;

class FakeSys : public Sys {
public:
    long fsType = 0;          // 0: the real type
    int fstatfsErrno = 0;
    int fstatErrno = 0;
    int fadviseError = 0;
    int mmapErrno = 0;
    bool oneResidentPage = false;
    std::vector<int> fdatasyncErrnos;  // consumed one per call; 0 lets the call through
    int fdatasyncCalls = 0;
    std::vector<int> fadviseAdvice;
    std::vector<std::pair<off_t, size_t>> maps;  // offset and length of every mapping

    int fstatfs(int fd, struct statfs* out) override {
        if (fstatfsErrno) return errno = fstatfsErrno, -1;
        const int rc = Sys::fstatfs(fd, out);
        if (rc == 0 && fsType) out->f_type = fsType;
        return rc;
    }
    int fstat(int fd, struct stat* st) override {
        if (fstatErrno) return errno = fstatErrno, -1;
        return Sys::fstat(fd, st);
    }
    int statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* out) override {
        if (fstatErrno) return errno = fstatErrno, -1;
        return Sys::statx(dirfd, path, flags, mask, out);
    }

    // A file's extent map as FIEMAP gives it: `extents` as they lie, `flushed` once the file was
    // written out (asked with FIEMAP_FLAG_SYNC). fiemapErrno fails every request.
    struct Extent {
        std::uint64_t logical, length;
        std::uint32_t flags;
    };
    std::vector<Extent> extents, flushed;
    int fiemapErrno = 0;
    int fiemapCalls = 0;
    // The file's attribute flags (FS_IOC_GETFLAGS); flagsErrno fails the query.
    std::optional<int> flags;
    int flagsErrno = 0;
    int ioctl(int fd, unsigned long request, void* arg) override {
        if (request == FS_IOC_GETFLAGS && (flags || flagsErrno)) {
            if (flagsErrno) return errno = flagsErrno, -1;
            *static_cast<int*>(arg) = *flags;
            return 0;
        }
        if (request != FS_IOC_FIEMAP) return Sys::ioctl(fd, request, arg);
        ++fiemapCalls;
        if (fiemapErrno) return errno = fiemapErrno, -1;
        auto* map = static_cast<struct fiemap*>(arg);
        const std::vector<Extent>& from = (map->fm_flags & FIEMAP_FLAG_SYNC) ? flushed : extents;
        map->fm_mapped_extents = 0;
        for (const Extent& e : from) {
            if (e.logical + e.length <= map->fm_start || e.logical >= map->fm_start + map->fm_length) continue;
            if (map->fm_mapped_extents == map->fm_extent_count) break;
            map->fm_extents[map->fm_mapped_extents++] = {e.logical, 0, e.length, {}, e.flags, {}};
        }
        return 0;
    }
    int posix_fadvise(int fd, off_t offset, off_t len, int advice) override {
        fadviseAdvice.push_back(advice);
        if (fadviseError) return fadviseError;
        return Sys::posix_fadvise(fd, offset, len, advice);
    }
    void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) override {
        if (mmapErrno) return errno = mmapErrno, MAP_FAILED;
        maps.emplace_back(offset, length);
        return Sys::mmap(addr, length, prot, flags, fd, offset);
    }
    int mincore(void* addr, size_t length, unsigned char* vec) override {
        const int rc = Sys::mincore(addr, length, vec);
        if (rc == 0 && oneResidentPage) vec[0] |= 1;
        return rc;
    }
    int fdatasync(int fd) override {
        const std::size_t call = static_cast<std::size_t>(fdatasyncCalls++);
        if (call < fdatasyncErrnos.size() && fdatasyncErrnos[call] != 0) return errno = fdatasyncErrnos[call], -1;
        return Sys::fdatasync(fd);
    }
};

// A file whose pages can really be dropped: skipped where the scratch folder is memory-backed.
class PageCacheFile : public ::testing::Test {
protected:
    void SetUp() override {
        struct statfs fs {};
        if (::statfs(tmp.path().c_str(), &fs) == 0 && (fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC))
            GTEST_SKIP() << tmp.path() << " is memory-backed, where pages cannot be dropped";
        path = tmp.write("f", std::string(1 << 20, 'x'));
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        // Without read-ahead only the pages read come into the cache.
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    }
    void TearDown() override {
        if (fd >= 0) ::close(fd);
    }
    void readRange(off_t offset, size_t length) {
        std::string buffer(length, '\0');
        ASSERT_EQ(::pread(fd, buffer.data(), length, offset), static_cast<ssize_t>(length));
    }

    TempDir tmp{"page-cache"};
    std::string path;
    int fd = -1;
    const std::int64_t size = 1 << 20;
};

TEST_F(PageCacheFile, ResidencyFollowsReadsAndDrops) {
    FakeSys sys;
    ASSERT_EQ(PageCache::flushAndDrop(sys, fd), 0);
    EXPECT_EQ(PageCache::residentPages(sys, fd, 0, size), 0);
    readRange(0, 8192);
    const std::int64_t page = PageCache::pageSize();
    EXPECT_EQ(PageCache::residentPages(sys, fd, 0, size), 8192 / page);
    // Only the range asked about counts; a range that starts inside a page counts that page.
    EXPECT_EQ(PageCache::residentPages(sys, fd, 512 * 1024, 65536), 0);
    EXPECT_EQ(PageCache::residentPages(sys, fd, page + 1, 10), 1);
    EXPECT_EQ(PageCache::residentPages(sys, fd, 0, 0), 0);
    // A range that is not page-aligned is widened to the pages it touches, so it is dropped whole.
    EXPECT_TRUE(PageCache::dropAndConfirm(sys, fd, 100, 8000));
    EXPECT_EQ(PageCache::residentPages(sys, fd, 0, size), 0);
    readRange(65536, 4096);
    PageCache::drop(sys, fd, 65536, 4096);
    EXPECT_EQ(PageCache::residentPages(sys, fd, 0, size), 0);
}

TEST_F(PageCacheFile, UnprovenDropsAreNeverConfirmed) {
    const struct {
        const char* name;
        void (*fault)(FakeSys&);
    } cases[] = {
        {"the kernel refuses the advice", [](FakeSys& s) { s.fadviseError = EINVAL; }},
        {"a page stays resident", [](FakeSys& s) { s.oneResidentPage = true; }},
        {"the residency query cannot map", [](FakeSys& s) { s.mmapErrno = ENODEV; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSys sys;
        c.fault(sys);
        readRange(0, 4096);
        EXPECT_FALSE(PageCache::dropAndConfirm(sys, fd, 0, 4096));
    }
    FakeSys failing;
    failing.mmapErrno = ENODEV;
    errno = 0;
    EXPECT_EQ(PageCache::residentPages(failing, fd, 0, 4096), -1);
    EXPECT_EQ(errno, ENODEV);
    FakeSys sys;
    errno = 0;
    EXPECT_EQ(PageCache::residentPages(sys, fd, -4096, 8192), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST_F(PageCacheFile, LargeRangesAreAskedAboutAGigabyteAtATime) {
    ::close(fd);
    ASSERT_EQ(::truncate(path.c_str(), 0), 0);
    ASSERT_EQ(::truncate(path.c_str(), std::int64_t{5} << 29), 0);  // 2.5 GiB, sparse
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    FakeSys sys;
    EXPECT_EQ(PageCache::residentPages(sys, fd, 0, std::int64_t{5} << 29), 0);
    const std::vector<std::pair<off_t, size_t>> expected = {
        {0, size_t{1} << 30}, {off_t{1} << 30, size_t{1} << 30}, {off_t{2} << 30, size_t{1} << 29}};
    EXPECT_EQ(sys.maps, expected);
}

TEST_F(PageCacheFile, FlushFailuresAreReportedAndThePagesStillDropped) {
    const struct {
        std::vector<int> errnos;
        int expected;
        int calls;
    } rows[] = {
        {{}, 0, 1},
        {{EINTR, EINTR}, 0, 3},  // an interrupted flush is repeated
        {{EIO}, EIO, 1},         // never repeated: the pages it could not write may be gone
        {{ENOSPC}, ENOSPC, 1},
    };
    for (const auto& row : rows) {
        FakeSys sys;
        sys.fdatasyncErrnos = row.errnos;
        readRange(0, 4096);
        EXPECT_EQ(PageCache::flushAndDrop(sys, fd), row.expected);
        EXPECT_EQ(sys.fdatasyncCalls, row.calls);
        EXPECT_EQ(sys.fadviseAdvice, std::vector<int>{POSIX_FADV_DONTNEED});
        EXPECT_EQ(PageCache::residentPages(sys, fd, 0, size), 0);
    }
}

TEST(PageCacheVolumes, OnlyVolumesWithAMediumPastTheCacheQualify) {
    TempDir tmp{"page-cache-fs"};
    const int fd = ::open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    using D = MediumDoubt;
    const struct {
        const char* name;
        long fsType;
        int fstatfsErrno;
        bool expected;
        int fstatErrno = 0;
        std::optional<MediumDoubt> doubt = std::nullopt;
    } rows[] = {
        // Faked types over the scratch folder's real device: a disk, or no device at all (tmpfs).
        {"ext4", EXT4_SUPER_MAGIC, 0, true},
        {"btrfs", BTRFS_SUPER_MAGIC, 0, true},
        {"tmpfs", TMPFS_MAGIC, 0, false, 0, D::memory},
        {"ramfs", static_cast<long>(RAMFS_MAGIC), 0, false, 0, D::memory},
        {"FUSE", 0x65735546, 0, false, 0, D::fuse},
        {"overlay", OVERLAYFS_SUPER_MAGIC, 0, false, 0, D::overlay},
        {"type cannot be told", 0, EIO, false, 0, D::unknownVolume},
        {"device and mount cannot be told", EXT4_SUPER_MAGIC, 0, false, EIO, D::unknownVolume},
    };
    for (const auto& row : rows) {
        FakeSys sys;
        sys.fsType = row.fsType;
        sys.fstatfsErrno = row.fstatfsErrno;
        sys.fstatErrno = row.fstatErrno;
        EXPECT_EQ(PageCache::mediumLiesPastCache(sys, fd), row.expected) << row.name;
        // Why not, for the user's sake.
        const std::optional<MediumDoubt> doubt = PageCache::volumeReads(sys, fd).doubt;
        if (!row.expected) {
            EXPECT_EQ(doubt, row.doubt) << row.name;
        }
    }
    ::close(fd);
    // A real memory-backed volume, where the machine has one mounted.
    struct statfs fs {};
    if (::statfs("/dev/shm", &fs) == 0 && fs.f_type == TMPFS_MAGIC) {
        const int shm = ::open("/dev/shm", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(shm, 0);
        EXPECT_FALSE(PageCache::mediumLiesPastCache(defaultSys(), shm));
        ::close(shm);
    }
}

// The file system and extent map decide whether a direct read can be trusted: data in the file
// system's metadata never; compressed or unplaced data, or any on btrfs, only once its pages are
// proven gone.
TEST(PageCacheLayout, TheExtentMapTellsWhatADirectReadMayBeServedFrom) {
    using E = FakeSys::Extent;
    using L = PageCache::Layout;
    constexpr std::uint32_t last = FIEMAP_EXTENT_LAST;
    std::vector<E> many;  // more extents than one request holds, the last one compressed
    for (std::uint64_t i = 0; i < 100; ++i)
        many.push_back({i << 16, 1 << 16, i == 99 ? FIEMAP_EXTENT_ENCODED | last : 0u});
    const struct {
        const char* what;
        std::vector<E> extents, flushed;
        int fiemapErrno;
        L expected;
        int calls;
    } rows[] = {
        {"holes only", {}, {}, 0, L::blocks, 1},
        {"plain blocks", {{0, 1 << 20, last}}, {}, 0, L::blocks, 1},
        {"inline in metadata", {{0, 4096, FIEMAP_EXTENT_DATA_INLINE | FIEMAP_EXTENT_NOT_ALIGNED | last}}, {}, 0,
         L::inMetadata, 1},
        {"compressed", {{0, 1 << 17, FIEMAP_EXTENT_ENCODED}, {1 << 17, 1 << 17, last}}, {}, 0, L::confirmFirst, 1},
        {"unplaced data that lands inline", {{0, 4096, FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_UNKNOWN | last}},
         {{0, 4096, FIEMAP_EXTENT_DATA_INLINE | last}}, 0, L::inMetadata, 2},
        {"unplaced data that lands in blocks", {{0, 1 << 20, FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_UNKNOWN | last}},
         {{0, 1 << 20, last}}, 0, L::blocks, 2},
        {"the map cannot be had", {}, {}, EOPNOTSUPP, L::confirmFirst, 1},
        {"a compressed extent past the first request", many, {}, 0, L::confirmFirst, 2},
    };
    TempDir tmp{"page-cache-layout"};
    const std::string path = tmp.write("f", "x");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (const auto& row : rows) {
        FakeSys sys;
        sys.fsType = XFS_SUPER_MAGIC;
        sys.extents = row.extents;
        sys.flushed = row.flushed;
        sys.fiemapErrno = row.fiemapErrno;
        EXPECT_EQ(PageCache::layoutOf(sys, fd, 0, 100 << 16, L::blocks), row.expected) << row.what;
        EXPECT_EQ(sys.fiemapCalls, row.calls) << row.what;
    }
    // Only the asked range counts: a sampled window clear of the compressed extent is plain.
    FakeSys sys;
    sys.fsType = XFS_SUPER_MAGIC;
    sys.extents = {{0, 1 << 16, 0}, {1 << 16, 1 << 16, FIEMAP_EXTENT_ENCODED | last}};
    EXPECT_EQ(PageCache::layoutOf(sys, fd, 0, 1 << 16, L::blocks), L::blocks);
    // A volume whose direct reads may be buffered ones proves every read, however its data lies.
    EXPECT_EQ(PageCache::layoutOf(sys, fd, 0, 1 << 16, L::confirmFirst), L::confirmFirst);
    // btrfs may answer any direct read from the cache; what it keeps inline never leaves it.
    sys.fsType = BTRFS_SUPER_MAGIC;
    EXPECT_EQ(PageCache::layoutOf(sys, fd, 0, 1 << 16, L::blocks), L::confirmFirst);
    sys.extents = {{0, 4096, FIEMAP_EXTENT_DATA_INLINE | last}};
    EXPECT_EQ(PageCache::layoutOf(sys, fd, 0, 4096, L::blocks), L::inMetadata);

    // ext4 reads a file buffered, O_DIRECT or not, when the file journals its data, is encrypted
    // or carries verity, and keeps inline data in the inode; what cannot be asked must be proven.
    const struct {
        const char* what;
        int flags;
        int flagsErrno;
        L expected;
    } attributes[] = {
        {"plain", 0, 0, L::blocks},
        {"journals its data", FS_JOURNAL_DATA_FL, 0, L::confirmFirst},
        {"encrypted", FS_ENCRYPT_FL, 0, L::confirmFirst},
        {"verity", FS_VERITY_FL, 0, L::confirmFirst},
        {"inline data", FS_INLINE_DATA_FL, 0, L::inMetadata},
        {"attributes cannot be asked", 0, ENOTTY, L::confirmFirst},
    };
    for (const auto& a : attributes) {
        FakeSys ext4;
        ext4.fsType = EXT4_SUPER_MAGIC;
        ext4.extents = {{0, 1 << 16, last}};
        ext4.flags = a.flags;
        ext4.flagsErrno = a.flagsErrno;
        EXPECT_EQ(PageCache::layoutOf(ext4, fd, 0, 1 << 16, L::blocks), a.expected) << a.what;
    }
    ::close(fd);
}

}  // namespace
}  // namespace halvetrop

#include "platform/PageCache.h"

#include "platform/BlockDevices.h"
#include "platform/Errors.h"
#include "platform/MountInfo.h"

#include <linux/fiemap.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <vector>

#ifndef FUSE_SUPER_MAGIC
#define FUSE_SUPER_MAGIC 0x65735546
#endif

namespace halvetrop::PageCache {

namespace {

// A range widened to whole pages for posix_fadvise; length 0 asks for everything from start to the
// end of the file.
struct PageRange {
    std::int64_t start;
    std::int64_t length;
};

// Computed unsigned: a range ending within a page of the largest offset a file may have would
// overflow on its way up to the next page boundary, which lies past any file's end, so such a range
// runs to the end of the file instead.
PageRange wholePages(std::int64_t offset, std::int64_t length) {
    const auto page = static_cast<std::uint64_t>(pageSize());
    const auto from = static_cast<std::uint64_t>(std::max<std::int64_t>(offset, 0));
    const std::uint64_t start = from / page * page;
    const std::uint64_t end = from + static_cast<std::uint64_t>(std::max<std::int64_t>(length, 0));
    const std::uint64_t endPage = end / page * page + (end % page != 0 ? page : 0);
    if (endPage > static_cast<std::uint64_t>(INT64_MAX)) return {static_cast<std::int64_t>(start), 0};
    return {static_cast<std::int64_t>(start), static_cast<std::int64_t>(endPage - start)};
}

}  // namespace

std::int64_t pageSize() {
    static const std::int64_t size = [] {
        const long v = ::sysconf(_SC_PAGESIZE);
        return v > 0 ? static_cast<std::int64_t>(v) : 4096;
    }();
    return size;
}

std::int64_t residentPages(Sys& sys, int fd, std::int64_t offset, std::int64_t length) {
    if (length <= 0) return 0;
    if (offset < 0 || length > INT64_MAX - offset) {
        errno = EINVAL;
        return -1;
    }
    // The pages are named by a PROT_NONE shared mapping that is never touched, so a medium that
    // disappears cannot raise SIGBUS here (mapping card files for reading is what we avoid). Where
    // the kernel will not reveal another user's page cache, mincore reports every page resident,
    // which errs towards "not from the medium". Large files are asked about a gigabyte at a time so
    // that the query never needs much address space.
    constexpr std::int64_t stride = std::int64_t{1} << 30;
    const std::int64_t page = pageSize();
    std::int64_t position = offset / page * page;
    const std::int64_t end = offset + length;
    std::vector<unsigned char> vec;
    std::int64_t resident = 0;
    while (position < end) {
        const std::int64_t span = std::min(stride, end - position);
        const auto bytes = static_cast<std::size_t>(span);
        void* addr = sys.mmap(nullptr, bytes, PROT_NONE, MAP_SHARED, fd, static_cast<off_t>(position));
        if (addr == MAP_FAILED) return -1;
        vec.assign(static_cast<std::size_t>((span + page - 1) / page), 0);
        const int rc = sys.mincore(addr, bytes, vec.data());
        const int error = errno;
        sys.munmap(addr, bytes);
        if (rc != 0) {
            errno = error;
            return -1;
        }
        for (unsigned char v : vec) resident += v & 1;
        position += span;
    }
    return resident;
}

int flushAndDrop(Sys& sys, int fd) {
    int rc;
    do rc = sys.fdatasync(fd);
    while (rc != 0 && errno == EINTR);
    const int error = rc != 0 ? currentError() : 0;
    sys.posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    return error;
}

void drop(Sys& sys, int fd, std::int64_t offset, std::int64_t length) {
    const PageRange r = wholePages(offset, length);
    sys.posix_fadvise(fd, static_cast<off_t>(r.start), static_cast<off_t>(r.length), POSIX_FADV_DONTNEED);
}

bool dropAndConfirm(Sys& sys, int fd, std::int64_t offset, std::int64_t length) {
    const PageRange r = wholePages(offset, length);
    if (sys.posix_fadvise(fd, static_cast<off_t>(r.start), static_cast<off_t>(r.length), POSIX_FADV_DONTNEED) != 0)
        return false;
    return residentPages(sys, fd, offset, length) == 0;
}

namespace {

// File systems whose reads can never be shown to come from a medium, by mountinfo's type name (the
// same kinds as the magic numbers below; virtiofs is FUSE by its magic number).
bool typeLiesPastCache(const std::string& type) {
    return type != "tmpfs" && type != "devtmpfs" && type != "ramfs" && type != "overlay" && type != "fuse" &&
           type != "fuseblk" && type != "virtiofs" && type.compare(0, 5, "fuse.") != 0;
}

// Follows a volume's device down to what finally stores it. Every link must read past the page
// cache: a loop device only with direct I/O (a buffered loop serves its reads from the image's
// cached pages), and its image only on a volume that again qualifies.
class MediumWalk {
public:
    // A mounted file system: btrfs by every device it spans, another with a device number of its
    // own by that device, one without (network file systems) by the device it was mounted from.
    bool mounted(const MountEntry& m, int depth) {
        if (!typeLiesPastCache(m.fsType)) return false;
        if (m.fsType == "btrfs") return btrfs(m, depth);
        return m.major == 0 ? anonymous(m, depth) : device(::makedev(m.major, m.minor), depth);
    }

    // A file system by its device number (a loop device's image), its mount told by the table.
    bool fileSystem(dev_t dev, int depth) {
        const MountEntry* m = mountOf(dev);
        return m && mounted(*m, depth);
    }

    // A file system without a block device number of its own (network file systems): the device
    // it was mounted from, when that is a block device.
    bool anonymous(const MountEntry& m, int depth) {
        if (const std::optional<dev_t> source = sourceDevice(m)) return device(*source, depth + 1);
        return true;
    }

    // Mounts of btrfs name one of its devices (and carry an anonymous device number, as does each
    // subvolume): every device the file system spans must read past the cache.
    bool btrfs(const MountEntry& m, int depth) {
        const std::optional<dev_t> source = sourceDevice(m);
        if (!source) return false;
        const std::vector<dev_t> devices = blockdev::btrfsDevices("/sys", *source);
        if (devices.empty()) return false;
        for (dev_t d : devices)
            if (d == 0 || !device(d, depth + 1)) return false;
        return true;
    }

    bool device(dev_t dev, int depth) {
        if (depth > blockdev::kMaxDepth) return false;
        const std::optional<blockdev::Node> node = blockdev::wholeDisk("/sys", ::major(dev), ::minor(dev));
        if (!node) return false;
        if (blockdev::isLoop(*node)) {
            const std::optional<blockdev::LoopBacking> b = blockdev::loopBacking(*node);
            if (!b || !b->directIO) return false;
            return b->blockDevice != 0 ? device(b->blockDevice, depth + 1) : fileSystem(b->fileSystem, depth + 1);
        }
        for (const blockdev::Slave& s : blockdev::slaves(*node)) {
            if (!s.device || !device(*s.device, depth + 1)) return false;
        }
        return true;
    }

    const MountEntry* mountOf(dev_t dev) {
        for (const MountEntry& m : mounts()) {
            if (m.major == ::major(dev) && m.minor == ::minor(dev)) return &m;
        }
        return nullptr;
    }

    const MountEntry* mountByID(std::uint64_t id) {
        for (const MountEntry& m : mounts()) {
            if (m.mountID == id) return &m;
        }
        return nullptr;
    }

private:
    static std::optional<dev_t> sourceDevice(const MountEntry& m) {
        struct stat st {};
        if (m.source.compare(0, 5, "/dev/") == 0 && ::stat(m.source.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
            return st.st_rdev;
        return std::nullopt;
    }

    const std::vector<MountEntry>& mounts() {
        if (!mounts_) mounts_ = readMountInfo("/proc");
        return *mounts_;
    }

    std::optional<std::vector<MountEntry>> mounts_;
};

// FIEMAP asks this many extents at a time.
constexpr unsigned kExtentBatch = 64;

// A FIEMAP request with room for one batch of extents after its header.
struct ExtentMap {
    alignas(struct fiemap) unsigned char bytes[sizeof(struct fiemap) + kExtentBatch * sizeof(struct fiemap_extent)] = {};
    struct fiemap* map() { return reinterpret_cast<struct fiemap*>(bytes); }
};

}  // namespace

bool mediumLiesPastCache(Sys& sys, int fd) {
    struct statfs fs {};
    if (sys.fstatfs(fd, &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case TMPFS_MAGIC:
    case RAMFS_MAGIC:
    case FUSE_SUPER_MAGIC:
    // An overlay's file lives on whichever layer holds it, and nothing here tells which: a live
    // system keeps its upper layer on tmpfs, where every "read from the drive" is a read of memory.
    case OVERLAYFS_SUPER_MAGIC: return false;
    default: break;
    }
    struct statx st {};
    if (sys.statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &st) != 0) return false;
    MediumWalk walk;
    const dev_t dev = ::makedev(st.stx_dev_major, st.stx_dev_minor);
    if (st.stx_dev_major != 0) return walk.device(dev, 0);
    // Without a device number of its own the file's mount is found by the file itself: a btrfs
    // file's number is its subvolume's, which the mount table never lists.
    const std::uint64_t mountID = (st.stx_mask & STATX_MNT_ID) ? st.stx_mnt_id : fdInfoMountID("/proc", fd);
    const MountEntry* m = mountID != 0 ? walk.mountByID(mountID) : nullptr;
    if (!m) m = walk.mountOf(dev);
    return m && walk.mounted(*m, 0);
}

Layout layoutOf(Sys& sys, int fd, std::int64_t offset, std::int64_t length) {
    if (length <= 0 || offset < 0) return Layout::blocks;
    const auto end = static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(length);
    // btrfs turns a direct read into a buffered one whenever it cannot do it directly (a reader's
    // buffer not yet in memory, a compressed extent, a checksum to keep), and a buffered read is
    // answered by whatever pages are cached: none of its reads is direct for certain.
    struct statfs fs {};
    const Layout least = sys.fstatfs(fd, &fs) == 0 && static_cast<unsigned long>(fs.f_type) == BTRFS_SUPER_MAGIC
                             ? Layout::confirmFirst
                             : Layout::blocks;
    // Data still waiting in the cache has no place yet, and where it goes (inline, compressed)
    // shows only once it is written: then the map is asked again with the file flushed first.
    bool synced = false;
    std::uint64_t start = static_cast<std::uint64_t>(offset);
    Layout layout = least;
    for (;;) {
        ExtentMap request;
        struct fiemap* map = request.map();
        map->fm_start = start;
        map->fm_length = end - start;
        map->fm_flags = synced ? FIEMAP_FLAG_SYNC : 0;
        map->fm_extent_count = kExtentBatch;
        // A file system that cannot say how its data lies may serve it from anywhere.
        if (sys.ioctl(fd, FS_IOC_FIEMAP, map) != 0) return Layout::confirmFirst;
        const unsigned mapped = std::min(map->fm_mapped_extents, kExtentBatch);
        if (mapped == 0) return layout;  // holes to the end: nothing to read from anywhere
        std::uint64_t next = start;
        bool last = false;
        bool unplaced = false;
        for (unsigned i = 0; i < mapped; ++i) {
            const struct fiemap_extent& e = map->fm_extents[i];
            if (e.fe_flags & (FIEMAP_EXTENT_DATA_INLINE | FIEMAP_EXTENT_DATA_TAIL)) return Layout::inMetadata;
            unplaced = unplaced || (e.fe_flags & FIEMAP_EXTENT_DELALLOC);
            if (e.fe_flags & (FIEMAP_EXTENT_ENCODED | FIEMAP_EXTENT_DATA_ENCRYPTED | FIEMAP_EXTENT_UNKNOWN |
                              FIEMAP_EXTENT_DELALLOC))
                layout = Layout::confirmFirst;
            last = last || (e.fe_flags & FIEMAP_EXTENT_LAST);
            next = std::max<std::uint64_t>(next, e.fe_logical + e.fe_length);
        }
        if (unplaced && !synced) {
            synced = true;
            start = static_cast<std::uint64_t>(offset);
            layout = least;
            continue;
        }
        // Only a file's first extent can be inline: once one extent wants confirming, nothing
        // further changes the answer.
        if (layout == Layout::confirmFirst || last || next >= end || next <= start) return layout;
        start = next;
    }
}

}  // namespace halvetrop::PageCache

namespace halvetrop::PageCache {

bool MediumAnswers::liesPastCache(Sys& sys, int fd) {
    struct stat st {};
    if (sys.fstat(fd, &st) != 0) return false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [dev, answer] : known_)
            if (dev == st.st_dev) return answer;
    }
    // Asked outside the lock: other volumes' readers need not wait for this walk; two threads
    // asking at once about one volume get the same answer.
    const bool answer = mediumLiesPastCache(sys, fd);
    const std::lock_guard<std::mutex> lock(mutex_);
    known_.emplace_back(st.st_dev, answer);
    return answer;
}

bool mediumLiesPastCache(Sys& sys, int fd, MediumAnswers* answers) {
    return answers ? answers->liesPastCache(sys, fd) : mediumLiesPastCache(sys, fd);
}

}  // namespace halvetrop::PageCache

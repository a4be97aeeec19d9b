#include "platform/PageCache.h"

#include "platform/BlockDevices.h"
#include "platform/Errors.h"
#include "platform/Fd.h"
#include "platform/Layers.h"
#include "platform/MountInfo.h"

#include <linux/fiemap.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string_view>
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

using Doubt = std::optional<MediumDoubt>;

// Why a file system of this mountinfo type can never be read from a medium (the same kinds as the
// magic numbers below; virtiofs is FUSE by its magic number); nothing for the others.
Doubt typeDoubt(const std::string& type) {
    if (type == "tmpfs" || type == "devtmpfs" || type == "ramfs") return MediumDoubt::memory;
    if (type == "overlay") return MediumDoubt::overlay;
    if (type == "fuse" || type == "fuseblk" || type == "virtiofs" || type.compare(0, 5, "fuse.") == 0)
        return MediumDoubt::fuse;
    return std::nullopt;
}

// Whether ext4's direct reads of the volume on this device go to the device: only where it is
// known not to journal every file's data (data=journal turns each direct read into a buffered one,
// answered by whatever the page cache holds). /proc/fs/ext4 lists the options in force, those the
// superblock sets by default too, which mountinfo leaves out; a volume without a journal names no
// data mode, and writes its data in place.
bool ext4ReadsDirectly(dev_t device) {
    const std::string name = blockdev::kernelName("/sys", ::major(device), ::minor(device));
    if (name.empty()) return false;
    const std::string options = blockdev::readAttribute("/proc/fs/ext4/" + name + "/options");
    if (options.empty()) return false;
    for (std::size_t start = 0; start < options.size();) {
        std::size_t end = options.find_first_of("\n,", start);
        if (end == std::string::npos) end = options.size();
        if (std::string_view(options.data() + start, end - start) == "data=journal") return false;
        start = end + 1;
    }
    return true;
}

// What a direct read on a file system of this type (statfs magic) on `device` is at best. XFS
// always reads the device; ext4 unless it journals data; btrfs may turn any direct read into a
// buffered one, and FAT and exFAT read through the kernel's generic path, which finishes a short
// direct read through the page cache: what is not known to read past the cache must prove it.
Layout directReadsOf(unsigned long fsType, dev_t device) {
    if (fsType == XFS_SUPER_MAGIC) return Layout::blocks;
    if (fsType == EXT4_SUPER_MAGIC && ext4ReadsDirectly(device)) return Layout::blocks;
    return Layout::confirmFirst;
}

// What the file's own attributes leave of a direct read: ext4 turns the direct reads of a file
// that journals its data (chattr +j), is encrypted or carries verity into buffered ones, and keeps
// inline data in the inode.
Layout fileAttributes(Sys& sys, int fd, unsigned long fsType) {
    struct statx st {};
    if (sys.statx(fd, "", AT_EMPTY_PATH, 0, &st) != 0) return Layout::confirmFirst;
    if (st.stx_attributes & st.stx_attributes_mask & (STATX_ATTR_ENCRYPTED | STATX_ATTR_VERITY))
        return Layout::confirmFirst;
    if (fsType != EXT4_SUPER_MAGIC) return Layout::blocks;
    int flags = 0;
    if (sys.ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) return Layout::confirmFirst;
    if (flags & FS_INLINE_DATA_FL) return Layout::inMetadata;
    if (flags & (FS_JOURNAL_DATA_FL | FS_ENCRYPT_FL | FS_VERITY_FL)) return Layout::confirmFirst;
    return Layout::blocks;
}

// Follows a volume's device down to what finally stores it. Every link must read past the page
// cache: a loop device only with direct I/O (a buffered loop serves its reads from the image's
// cached pages), its image only when the image's own file system reads that file directly, and
// that file system only on a volume that again qualifies. Each step answers why not, or nothing.
class MediumWalk {
public:
    // `mounts`: a reading of the mount table to go by; nullptr: read once, when first needed.
    MediumWalk(Sys& sys, const MountTable* mounts) : sys_(sys), given_(mounts) {}

    // A mounted file system: btrfs by every device it spans, another with a device number of its
    // own by that device, one without (network file systems) by the device it was mounted from.
    Doubt mounted(const MountEntry& m, int depth) {
        if (Doubt d = typeDoubt(m.fsType)) return d;
        if (m.fsType == "btrfs") return btrfs(m, depth);
        return m.major == 0 ? anonymous(m, depth) : device(::makedev(m.major, m.minor), depth);
    }

    // A file system by its device number (a loop device's image), its mount told by the table.
    Doubt fileSystem(dev_t dev, int depth) {
        const MountEntry* m = mountOf(dev);
        return m ? mounted(*m, depth) : Doubt(MediumDoubt::unknownVolume);
    }

    // A file system without a block device number of its own (network file systems): the device
    // it was mounted from, when that is a block device.
    Doubt anonymous(const MountEntry& m, int depth) {
        if (const std::optional<dev_t> source = layers::sourceDevice(m.source)) return device(*source, depth + 1);
        return std::nullopt;
    }

    // Mounts of btrfs name one of its devices (and carry an anonymous device number, as does each
    // subvolume): every device the file system spans must read past the cache.
    Doubt btrfs(const MountEntry& m, int depth) {
        const std::optional<dev_t> source = layers::sourceDevice(m.source);
        if (!source) return MediumDoubt::unknownVolume;
        const std::vector<dev_t> devices = blockdev::btrfsDevices("/sys", *source);
        if (devices.empty()) return MediumDoubt::unknownVolume;
        for (dev_t d : devices) {
            if (d == 0) return MediumDoubt::unknownVolume;
            if (Doubt doubt = device(d, depth + 1)) return doubt;
        }
        return std::nullopt;
    }

    Doubt device(dev_t dev, int depth) {
        if (depth > blockdev::kMaxDepth) return MediumDoubt::unknownVolume;
        const std::optional<blockdev::Node> node = blockdev::wholeDisk("/sys", ::major(dev), ::minor(dev));
        if (!node) return MediumDoubt::unknownVolume;
        if (blockdev::isLoop(*node)) {
            // Whatever keeps an image's reads from counting, the user meets it as that image.
            const std::optional<blockdev::LoopBacking> b = blockdev::loopBacking(*node);
            if (!b || !b->directIO) return MediumDoubt::diskImage;
            const Doubt beneath = b->blockDevice != 0 ? device(b->blockDevice, depth + 1)
                                  : !imageReadsDirectly(*node, *b) ? Doubt(MediumDoubt::diskImage)
                                                                   : fileSystem(b->fileSystem, depth + 1);
            return beneath ? Doubt(MediumDoubt::diskImage) : std::nullopt;
        }
        for (const blockdev::Slave& s : blockdev::slaves(*node)) {
            if (!s.device) return MediumDoubt::unknownVolume;
            if (Doubt d = device(*s.device, depth + 1)) return d;
        }
        return std::nullopt;
    }

    const MountEntry* mountOf(dev_t dev) { return layers::mountOfDevice(mounts(), dev); }
    const MountEntry* mountByID(std::uint64_t id) { return halvetrop::mountByID(mounts(), id); }

private:

    // A direct-I/O loop reads its image as a direct read of that file, which its file system may
    // turn into a buffered one as for any other file (data=journal ext4, btrfs, a file journalling
    // its data): then the image's cached pages answer. The file the loop names is asked only when it
    // is the one the loop reads (same device and inode); what cannot be opened cannot be told.
    bool imageReadsDirectly(const blockdev::Node& node, const blockdev::LoopBacking& b) {
        const std::string path = blockdev::loopBackingPath(node);
        if (path.empty() || path[0] != '/') return false;
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY));
        struct stat st {};
        struct statfs fs {};
        if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != b.fileSystem ||
            st.st_ino != b.inode || ::fstatfs(fd.get(), &fs) != 0)
            return false;
        const auto type = static_cast<unsigned long>(fs.f_type);
        return directReadsOf(type, st.st_dev) == Layout::blocks && fileAttributes(sys_, fd.get(), type) == Layout::blocks;
    }

    const MountTable& mounts() {
        if (given_) return *given_;
        if (!read_) read_ = readMountInfo("/proc");
        return *read_;
    }

    Sys& sys_;
    const MountTable* given_;
    std::optional<MountTable> read_;
};

// FIEMAP asks this many extents at a time.
constexpr unsigned kExtentBatch = 64;

// A FIEMAP request with room for one batch of extents after its header.
struct ExtentMap {
    alignas(struct fiemap) unsigned char bytes[sizeof(struct fiemap) + kExtentBatch * sizeof(struct fiemap_extent)] = {};
    struct fiemap* map() { return reinterpret_cast<struct fiemap*>(bytes); }
};

// volumeReads, the mounts found in `mounts` when given, else in a reading made when first needed.
VolumeReads volumeReadsIn(Sys& sys, int fd, const MountTable* mounts) {
    struct statfs fs {};
    if (sys.fstatfs(fd, &fs) != 0) return {MediumDoubt::unknownVolume};
    const auto type = static_cast<unsigned long>(fs.f_type);
    switch (type) {
    case TMPFS_MAGIC:
    case RAMFS_MAGIC: return {MediumDoubt::memory};
    case FUSE_SUPER_MAGIC: return {MediumDoubt::fuse};
    // An overlay's file lives on whichever layer holds it, and nothing here tells which: a live
    // system keeps its upper layer on tmpfs, where every "read from the drive" is a read of memory.
    case OVERLAYFS_SUPER_MAGIC: return {MediumDoubt::overlay};
    default: break;
    }
    struct statx st {};
    if (sys.statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &st) != 0) return {MediumDoubt::unknownVolume};
    MediumWalk walk(sys, mounts);
    const dev_t dev = ::makedev(st.stx_dev_major, st.stx_dev_minor);
    // The file's mount is found by the file itself: a btrfs file's number is its subvolume's, which
    // the mount table never lists.
    const std::uint64_t mountID = (st.stx_mask & STATX_MNT_ID) ? st.stx_mnt_id : fdInfoMountID("/proc", fd);
    const MountEntry* m = mountID != 0 ? walk.mountByID(mountID) : nullptr;
    if (!m) m = walk.mountOf(dev);
    Doubt doubt;
    if (m) {
        doubt = walk.mounted(*m, 0);
    } else if (st.stx_dev_major != 0 && type != BTRFS_SUPER_MAGIC) {
        doubt = walk.device(dev, 0);
    } else {
        doubt = MediumDoubt::unknownVolume;
    }
    if (doubt) return {doubt};
    return {std::nullopt, directReadsOf(type, dev)};
}

}  // namespace

VolumeReads volumeReads(Sys& sys, int fd) { return volumeReadsIn(sys, fd, nullptr); }

VolumeReads volumeReads(Sys& sys, int fd, const MountTable& mounts) { return volumeReadsIn(sys, fd, &mounts); }

bool mediumLiesPastCache(Sys& sys, int fd) { return !volumeReads(sys, fd).doubt; }

Layout layoutOf(Sys& sys, int fd, std::int64_t offset, std::int64_t length, Layout volume) {
    if (length <= 0 || offset < 0) return Layout::blocks;
    const auto end = static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(length);
    // btrfs turns a direct read into a buffered one whenever it cannot do it directly (a reader's
    // buffer not yet in memory, a compressed extent, a checksum to keep), and a buffered read is
    // answered by whatever pages are cached: none of its reads is direct for certain, whatever the
    // volume's answer was.
    struct statfs fs {};
    if (sys.fstatfs(fd, &fs) != 0) return Layout::confirmFirst;
    const auto type = static_cast<unsigned long>(fs.f_type);
    Layout least = type == BTRFS_SUPER_MAGIC ? std::max(volume, Layout::confirmFirst) : volume;
    least = std::max(least, fileAttributes(sys, fd, type));
    if (least == Layout::inMetadata) return least;
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

VolumeReads MediumAnswers::of(Sys& sys, int fd) {
    struct stat st {};
    if (sys.fstat(fd, &st) != 0) return {MediumDoubt::unknownVolume};
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [dev, answer] : known_)
            if (dev == st.st_dev) return answer;
    }
    // Asked outside the lock: other volumes' readers need not wait for this walk; two threads
    // asking at once about one volume get the same answer.
    const VolumeReads answer = volumeReads(sys, fd);
    const std::lock_guard<std::mutex> lock(mutex_);
    known_.emplace_back(st.st_dev, answer);
    return answer;
}

VolumeReads volumeReads(Sys& sys, int fd, MediumAnswers* answers) {
    return answers ? answers->of(sys, fd) : volumeReads(sys, fd);
}

}  // namespace halvetrop::PageCache

#pragma once
// What the page cache holds of a file, and getting a file's pages out of it, so that a read can be
// shown to have come from the drive rather than from memory. Everything goes through the seam, so
// fault tests can fake a cache that will not let go.
#include "platform/MediumDoubt.h"
#include "platform/MountInfo.h"
#include "platform/Sys.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace halvetrop::PageCache {

// The system's page size (4096 when it cannot be told).
std::int64_t pageSize();

// Number of pages of [offset, offset + length) of `fd` held in the page cache, or -1 with errno
// set when it cannot be told. The file's pages are never touched (see the implementation).
std::int64_t residentPages(Sys& sys, int fd, std::int64_t offset, std::int64_t length);

// Writes the file's dirty pages (an interrupted flush is repeated) and asks the kernel to drop all
// of its cached pages. Returns 0, or the flush's error number: a page a failed flush kept is dirty
// and cannot be dropped, so no later read of the file may count as one from the medium.
int flushAndDrop(Sys& sys, int fd);

// Asks the kernel to drop the cached pages of the range (widened to whole pages). Result ignored:
// for callers that only give memory back.
void drop(Sys& sys, int fd, std::int64_t offset, std::int64_t length);

// Drops the range's cached pages and then asks the cache: true only when the kernel took the advice
// and none of those pages is left. A page still there (dirty, mapped by someone, or on a file
// system whose pages are its storage) would serve the next read from memory.
bool dropAndConfirm(Sys& sys, int fd, std::int64_t offset, std::int64_t length);

// How the bytes of a file's range lie on its volume, as far as a read from the medium goes.
enum class Layout {
    // In data blocks of their own, on a file system whose direct read of this file always goes to
    // the device: such a read fetches them from there.
    blocks,
    // The file system may serve even a direct read through the page cache (btrfs, FAT and exFAT,
    // ext4 journalling the file's data, an unknown file system), or the data is compressed,
    // encrypted, not yet placed, or not told: a read counts as one from the medium only when the
    // pages it reads were dropped and confirmed gone right before it.
    confirmFirst,
    // Inline in the file system's metadata (btrfs, ext4 inline_data), which the kernel caches apart
    // from the file, where no drop of the file's pages reaches it: never read from the medium.
    inMetadata,
};

// What reads of the files on one volume can prove.
struct VolumeReads {
    // Why no read of a file there can be shown to come from its medium; nothing when one can.
    std::optional<MediumDoubt> doubt;
    // The most a direct read of a file there can be before the file's own attributes and extents
    // are asked: `blocks` only where the file system's direct read never turns into a buffered one
    // (XFS; ext4 not mounted data=journal), `confirmFirst` everywhere else.
    Layout direct = Layout::confirmFirst;
};

// What reads on the volume holding `fd` can prove. The volume is the mount that holds the open
// file, found by the file itself (its mount id), and a btrfs volume counts only when every device it
// spans does.
// Never for memory-backed volumes (tmpfs, ramfs: their pages are the storage, O_DIRECT or not), for
// FUSE (the daemon's own reads may be answered by a cache below ours that nothing here can drop),
// for overlays (the layer holding the file may be memory-backed), and when the volume's type cannot
// be told. The device beneath is followed down: a loop device counts only when it reads its image
// with direct I/O, the image's file system reads that very file past the page cache whatever it
// holds (a buffered loop, or an image on data=journal ext4 or on btrfs, serves reads from the
// image's cached pages), and the image lies on a volume that counts in turn; a stacked device (dm,
// md) only when all its devices count. Whatever cannot be told (no sysfs, a loop that cannot be
// asked, a mount not visible here) does not count.
// Costs a few sysfs lookups, more for a loop device; nothing is kept between calls.
VolumeReads volumeReads(Sys& sys, int fd);
// The same, the mounts found in a reading of the mount table already made (a listing's).
VolumeReads volumeReads(Sys& sys, int fd, const MountTable& mounts);
// Whether any read there can be shown to come from the medium: volumeReads without a doubt.
bool mediumLiesPastCache(Sys& sys, int fd);

// The layout of [offset, offset + length) of `fd`: what its volume's direct reads are at best
// (VolumeReads::direct), what the file's own attributes allow (ext4 data journalling, inline data,
// encryption and verity turn its direct reads into buffered ones) and its extent map (FIEMAP).
// Data not yet placed is flushed and mapped again, since only written data shows where it went.
// Costs one fstatfs, a statx, an attribute query on ext4 and one ioctl per 64 extents, and stops
// at the first extent that decides.
Layout layoutOf(Sys& sys, int fd, std::int64_t offset, std::int64_t length, Layout volume);

// The answers of volumeReads for one check or one copy run, kept per file system (st_dev): each
// costs a walk down the device stack (a loop device is asked what it reads), and a run asks for
// every file it reads, of which nearly all share a few volumes. Only what holds for the whole
// volume is kept; what a file's own attributes and extents say is asked per file (layoutOf). Safe
// to share between threads.
class MediumAnswers {
public:
    VolumeReads of(Sys& sys, int fd);

private:
    std::mutex mutex_;
    std::vector<std::pair<dev_t, VolumeReads>> known_;
};

// Through `answers` when given, else asked afresh.
VolumeReads volumeReads(Sys& sys, int fd, MediumAnswers* answers);

}  // namespace halvetrop::PageCache

#pragma once
// One flush of a whole file system (syncfs) in place of one fsync per file, for copies of many
// small files: each fsync is a journal commit and a flush of the drive's cache of its own.
#include "platform/Sys.h"

namespace halvetrop::VolumeFlush {

// Whether syncfs through a descriptor of the file system holding fd writes every dirty page and
// the metadata of that file system to its medium, flushes the drive's cache, and fails when any
// page of the file system failed to be written since that descriptor was opened. True for ext4,
// XFS and btrfs on a kernel that reports such failures through syncfs (5.8 and later); false
// elsewhere: FUSE may answer syncfs without asking its daemon, and a FAT or memory-backed volume
// has no commit that syncfs would wait for.
bool coversWrites(Sys& sys, int fd);

// Whether a kernel of this release text ("6.1.0-18-amd64") reports writeback failures through
// syncfs.
bool syncfsReportsFailures(const char* release);

}  // namespace halvetrop::VolumeFlush

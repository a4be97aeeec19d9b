#pragma once
// /proc/self/mountinfo, read with every length checked: one record per well-formed line, lines that
// do not parse are left out.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace halvetrop {

struct MountEntry {
    std::uint64_t mountID = 0;
    std::uint64_t parentID = 0;
    unsigned major = 0;
    unsigned minor = 0;
    std::string root;        // path inside the file system that is mounted here
    std::string mountPoint;  // escapes decoded
    std::string fsType;      // "ext4", "fuseblk", "fuse.sshfs"...
    std::string source;      // "/dev/sda1", "//server/share", "tmpfs"...
    std::string superOptions;  // "rw,lowerdir=...,upperdir=..."; "" when the line has none
};

// Decodes the kernel's octal escapes (\040 space, \011 tab, \012 newline, \134 backslash).
std::string unescapeMountField(std::string_view field);

std::vector<MountEntry> parseMountInfo(std::string_view text);

// One reading of the mount table. Whatever one question asks about (a listing of the mounted
// volumes, a volume and the drives beneath it, a folder and the layers beneath it) is answered from
// one reading, so that its answers agree and its cost grows with the mounts, not with their square.
using MountTable = std::vector<MountEntry>;

// Reads procRoot + "/self/mountinfo"; empty when it cannot be read.
MountTable readMountInfo(const std::string& procRoot);

// The mount with this id; nullptr when the table has none.
const MountEntry* mountByID(const MountTable& mounts, std::uint64_t mountID);

// The mount that holds `path` (already resolved): by mount id when known (nonzero), else the
// mount with the device's major:minor whose mount point is the longest whole-component prefix of
// path, the later line winning ties (it hides the earlier). nullptr when none matches.
const MountEntry* findMount(const std::vector<MountEntry>& mounts, std::uint64_t mountID, unsigned major, unsigned minor,
                            std::string_view path);

// The mount id an fdinfo text gives ("mnt_id:" line), 0 when it has none.
std::uint64_t parseFdInfoMountID(std::string_view text);

// The mount id of an open file from procRoot + "/self/fdinfo/FD", for kernels whose statx does
// not give one; 0 when it cannot be read.
std::uint64_t fdInfoMountID(const std::string& procRoot, int fd);

// True when `prefix` is path itself or a whole-component ancestor of it ("/" is everyone's).
bool isPathPrefix(std::string_view prefix, std::string_view path);

}  // namespace halvetrop

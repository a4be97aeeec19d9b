#pragma once
// What lies beneath a mounted file system, one layer after another: the block devices it is stored
// on (each device of a btrfs file system), the folders a stacked file system keeps its files in (an
// overlay's upper, work and lower folders, the folders a FUSE file system serves), what a loop
// device reads (a block device, or a file on a file system that is mounted in turn), and the
// devices a stacked device (dm, md) is built on. Drive identity, the medium rules and the card's
// fence go down these same steps, each within one reading of the mount table.
#include "platform/MountInfo.h"
#include "platform/Sys.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace halvetrop {

// Where an open file lies: in which file system, and where in it.
struct FileSystemPlace {
    // The file system, by the device number the mount table gives its mounts: the same for every
    // mount of it, where btrfs gives each subvolume's files a number of their own.
    unsigned major = 0;
    unsigned minor = 0;
    // The path inside that file system ("/" for its root): the root of the mount it was reached
    // through (a bound folder's or a subvolume's path), followed by its place below that mount
    // point. A nested subvolume reached through its parent is a folder of that path.
    std::string path;

    bool sameFileSystem(const FileSystemPlace& other) const { return major == other.major && minor == other.minor; }
    bool sameFileSystem(const MountEntry& mount) const { return major == mount.major && minor == mount.minor; }
};

namespace layers {

// Network file systems: their files lie on another machine.
bool isNetworkType(const std::string& fsType);

// The block device a mount names as its source, when that is a device node.
std::optional<dev_t> sourceDevice(const std::string& source);

// The folders a stacked file system keeps its files in, as its mount names them: an overlay's
// upper, work and lower folders, or the folders a FUSE file system serves (bindfs, encrypted
// folders, pools). Empty for a file system of its own.
std::vector<std::string> foldersOf(const MountEntry& mount);

// The block devices a mounted file system is stored on: each device of a btrfs file system as sysfs
// lists them (0 for one whose number cannot be read), else the device node it was mounted from,
// else its own number when that is a block device's. Empty for one stored on none (memory,
// network, overlay, a FUSE file system serving folders), and for btrfs that sysfs does not list.
std::vector<dev_t> devicesOf(const MountEntry& mount, const std::string& sysRoot = "/sys");

// The first mount of the file system with this device number (each mount of it carries it).
const MountEntry* mountOfDevice(const MountTable& mounts, dev_t device);

// The mount an open file was reached through, by its mount id (statx, else its fdinfo), else the
// first mount of its device number; nullptr when the table has neither.
const MountEntry* mountOf(Sys& sys, int fd, const MountTable& mounts, const std::string& procRoot = "/proc");

// The place of the file open as fd; nullopt when the mount table or the descriptor's path does
// not tell.
std::optional<FileSystemPlace> placeOf(Sys& sys, int fd, const MountTable& mounts, const std::string& procRoot = "/proc");

// One layer met beneath a mounted file system.
struct Layer {
    enum class Kind {
        // A folder a stacked file system keeps its files in, open as `fd`.
        folder,
        // The file a loop device reads: open as `fd` when it could be found (by the kernel's own
        // path of it, and where the loop device can be asked, checked to be that very file), else
        // -1 with `fileSystem` the number of the file system the loop device says holds it.
        file,
        // A block device: `device`.
        device,
        // Something lies here that nothing tells the place of: a folder that cannot be opened, a
        // loop device whose backing cannot be found, a device sysfs does not know, a FUSE or ZFS
        // file system that names no folder or device, or a stack deeper than is followed.
        unknown,
    };
    Kind kind = Kind::unknown;
    int fd = -1;
    dev_t fileSystem = 0;
    dev_t device = 0;
    // folder, file: the mount holding it, when the table has it; what lies beneath it comes next.
    const MountEntry* mount = nullptr;
};

// What the walk does after a layer: go on beneath it, leave what lies beneath it, or stop.
enum class Next { descend, skip, stop };

// Visits each layer beneath the mount `top` (not `top` itself), each once, at most kMaxDepth
// layers deep: the devices and folders it is stored in, then beneath each of those (a loop's
// backing, a stacked device's members, the mount holding a folder or file and its own layers).
// Returns true when a visit stopped the walk.
bool walkBeneath(Sys& sys, const MountEntry& top, const MountTable& mounts, const std::function<Next(const Layer&)>& visit,
                 const std::string& procRoot = "/proc", const std::string& sysRoot = "/sys");
// The same beneath a block device, visited first itself.
bool walkDevice(Sys& sys, dev_t device, const MountTable& mounts, const std::function<Next(const Layer&)>& visit,
                const std::string& procRoot = "/proc", const std::string& sysRoot = "/sys");

}  // namespace layers

}  // namespace halvetrop

#pragma once
// What lies beneath a mounted file system, one layer after another: the block devices it is stored
// on (each device of a btrfs file system), the folders an overlay keeps its files in, what a loop
// device reads (a block device, or a file on a file system that is mounted in turn), and the
// devices a stacked device (dm, md) is built on. Drive identity, the medium rules and the card's
// fence go down these same steps, each within one reading of the mount table.
//
// Only what the kernel holds bounds a layer, never a name that leads to it: the source a FUSE daemon
// gives itself, an overlay's folders as they were named at mount time (through links that may have
// been pointed elsewhere since), a loop device's backing path (which another mount may now cover).
// Where nothing the kernel holds tells where a layer lies, the walk says so (an unknown layer).
#include "platform/BlockDevices.h"
#include "platform/Fd.h"
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

// Network file systems, the kernel's and FUSE daemons': their files lie on a server.
bool isNetworkType(const std::string& fsType);

// A FUSE file system (fuse, fuseblk, fuse.NAME).
bool isFuse(const std::string& fsType);

// The server addresses a kernel network file system's mount holds, as the kernel shows them in its
// options (nfs and cifs "addr=", ceph "mon_addr="), without port or brackets; empty when it shows
// none. Never the source text, which is only what was asked for at mount time.
std::vector<std::string> serverAddresses(const MountEntry& mount);

// Whether an address (IPv4 or IPv6 text) is this machine's: a loopback or unspecified address, or
// one of `own` (this machine's interfaces' addresses). Text that reads as no address counts as
// this machine's: nothing shows it is another's.
bool isThisMachine(const std::string& address, const std::vector<std::string>& own);

// The addresses of this machine's network interfaces, as text.
std::vector<std::string> ownAddresses();

// Whether a kernel network file system's files lie on another machine: the kernel shows its
// server's addresses, and none is this machine's.
bool servedElsewhere(const MountEntry& mount);

// The block device a mount names as its source, when that is a device node.
std::optional<dev_t> sourceDevice(const std::string& source);

// The folders a stacked file system was given at mount time, as its mount names them: an overlay's
// upper, work and every lower folder, or the folders a FUSE file system says it serves (bindfs,
// encrypted folders, pools). Text only: what it leads to now may not be what the file system holds.
std::vector<std::string> foldersOf(const MountEntry& mount);

// An overlay's folders as its mount names them; nothing for another file system.
struct OverlayFolders {
    std::string upper, work;  // empty for an overlay without an upper layer (read-only)
    std::vector<std::string> lower;
};
std::optional<OverlayFolders> overlayFolders(const MountEntry& mount);

// The overlay's upper folder, open, when the kernel confirms that the folder its mount names is the
// one it writes to: the file handle the overlay gives its own root names its upper folder's file
// system and handle, and the named folder has those. Not open when that cannot be confirmed (the
// name leads elsewhere now, the overlay has no upper layer, the kernel gives no such handle).
UniqueFd confirmedUpper(Sys& sys, const MountEntry& overlay);

// The block devices a mounted file system is stored on: each device of a btrfs file system as sysfs
// lists them (0 for one whose number cannot be read), else its own number when it has one (the
// kernel numbers such a mount by its device), else the device node it was mounted from. Empty for
// one stored on none (memory, network, overlay, a FUSE file system serving folders), and for btrfs
// that sysfs does not list.
std::vector<dev_t> devicesOf(const MountEntry& mount, const std::string& sysRoot = "/sys");

// The first mount of the file system with this device number (each mount of it carries it).
const MountEntry* mountOfDevice(const MountTable& mounts, dev_t device);

// The mount an open file was reached through, by its mount id (statx, else its fdinfo), else the
// first mount of its device number; nullptr when the table has neither.
const MountEntry* mountOf(Sys& sys, int fd, const MountTable& mounts, const std::string& procRoot = "/proc");

// The place of the file open as fd; nullopt when the mount table or the descriptor's path does
// not tell.
std::optional<FileSystemPlace> placeOf(Sys& sys, int fd, const MountTable& mounts, const std::string& procRoot = "/proc");

// A mount that may hold the file a path names, and the place in its file system the path implies.
struct Holder {
    const MountEntry* mount = nullptr;
    FileSystemPlace place;
};

// Every mount that may hold the file at `path`, a path the kernel wrote (no links in it) at a moment
// since which other mounts may have come over it: each mount whose mount point is the path or a
// whole-component ancestor of it, hidden ones too, with its root followed by the rest of the path.
std::vector<Holder> possibleHolders(const MountTable& mounts, const std::string& path);

// What a loop device reads, as far as the kernel tells it.
struct LoopReads {
    enum class Kind {
        // A block device: `device`. The loop device says so, or its backing path names a node of
        // the kernel's own device file system.
        device,
        // A file, open as `fd`: the one the loop device names by its device and inode.
        file,
        // A file in the file system `fileSystem`, which the loop device names, but where in it no
        // name leads any more.
        fileSystem,
        // The loop device cannot be asked (an ordinary user may not open it): its backing path may
        // lie in any of `holders`.
        holders,
        // Nothing tells.
        unknown,
    };
    Kind kind = Kind::unknown;
    dev_t device = 0;
    dev_t fileSystem = 0;
    UniqueFd fd;
    std::vector<Holder> holders;
};
LoopReads loopReads(Sys& sys, const blockdev::Node& node, const MountTable& mounts, const std::string& procRoot = "/proc");

// One layer met beneath a mounted file system.
struct Layer {
    enum class Kind {
        // A folder an overlay keeps its files in: open as `fd`, or (fd -1) somewhere in the file
        // system `fileSystem`, its place not known (the overlay's work folder).
        folder,
        // The file a loop device reads: open as `fd` when it was found and confirmed; else (fd -1)
        // at `place` in `mount` when that mount may hold it, or somewhere in the file system
        // `fileSystem` when that is all the loop device tells.
        file,
        // A block device: `device`.
        device,
        // Something lies here that nothing tells the place of: a folder that cannot be opened or
        // confirmed, a loop device whose backing cannot be found, a device sysfs does not know, a
        // FUSE file system that is not stored on a block device, a ZFS pool, a network file system
        // served by this machine or by no address the kernel tells, or a stack deeper than is
        // followed.
        unknown,
    };
    Kind kind = Kind::unknown;
    int fd = -1;
    dev_t fileSystem = 0;
    dev_t device = 0;
    // folder, file: the mount holding it, when the table has it; what lies beneath it comes next.
    const MountEntry* mount = nullptr;
    // file: the place its mount implies, for a loop device's backing path in a mount that may hold it.
    std::optional<FileSystemPlace> place;
    // folder, file: the kernel confirms this is what the layer holds. Otherwise it is where a name
    // leads now (an overlay's lower folder), or one of the places a loop device's path may name.
    bool confirmed = true;
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

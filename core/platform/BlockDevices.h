#pragma once
// Block devices as sysfs (/sys/dev/block/MAJ:MIN) and the loop driver describe them: the whole disk
// a device belongs to, the devices a stacked one (dm, md) is built on, and what a loop device reads.
// Both the drive of a volume and whether its reads come from a medium follow these links down.
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace halvetrop::blockdev {

// How many devices deep a stack (loop over loop, dm over md...) is followed.
constexpr int kMaxDepth = 8;

// A small sysfs attribute (at most 4 KiB), trimmed of surrounding white space; "" when unreadable.
std::string readAttribute(const std::string& path);

// "MAJ:MIN" as sysfs and mountinfo write it.
bool parseMajorMinor(const std::string& text, unsigned& major, unsigned& minor);

struct Node {
    std::string sysRoot;  // the sys root, resolved
    std::string whole;    // resolved sysfs folder of the whole disk (the device itself unless a partition)
};

// The whole disk holding maj:min, or nothing when sysfs does not know the device (or its link
// leaves the sys root).
std::optional<Node> wholeDisk(const std::string& sysRoot, unsigned major, unsigned minor);

bool isLoop(const Node& node);

// The kernel's name of maj:min ("sda1", "dm-0", "zram3": what /proc/fs/ext4 and the like are named
// by); "" when sysfs does not know the device.
std::string kernelName(const std::string& sysRoot, unsigned major, unsigned minor);

struct Slave {
    std::string name;              // as listed under slaves/
    std::optional<dev_t> device;   // absent when its number cannot be read
};

// The devices a stacked device is built on, sorted by name; empty for a device of its own.
std::vector<Slave> slaves(const Node& node);

// Every device of the btrfs file system that `device` belongs to, as /sys/fs/btrfs/FSID/devices
// lists them, sorted by number: one file system may span several disks, and only one of them is
// named by its mounts. A device whose number cannot be read is 0. Empty when no mounted btrfs file
// system lists the device.
std::vector<dev_t> btrfsDevices(const std::string& sysRoot, dev_t device);

// What a loop device reads, as the loop device itself reports it: never by the backing file's
// name, which may be cut short, end in white space, or name a file that was replaced or deleted.
struct LoopBacking {
    dev_t fileSystem = 0;    // the file system holding the backing file
    std::uint64_t inode = 0;
    dev_t blockDevice = 0;   // the backing file's own number when it is a block device, else 0
    bool directIO = false;   // the loop reads its backing file past the page cache
};

// Asks the loop device through its node in /dev (named by the sysfs node's uevent, checked to be
// that very device). Nothing when it cannot be asked: no such node, no permission, not a loop.
std::optional<LoopBacking> loopBacking(const Node& node);

// The path the loop device names its backing file by (loop/backing_file), "" when it has none. Only
// a hint where to look: the file found there is that file only when its device and inode are the
// ones loopBacking gives.
std::string loopBackingPath(const Node& node);

}  // namespace halvetrop::blockdev

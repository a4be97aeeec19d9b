#pragma once
// Which mounted volume a path lies on, and which physical drive holds it. Copies are counted per
// physical drive, so one drive must never pass for two and the card's own drive must never be
// missed: loop devices follow what they read, device-mapper and md volumes their leaf disks.
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace halvetrop {

// Names one physical drive. Forms of raw:
//   "dev:" + sysfs device path of the whole disk (e.g. dev:/devices/pci0000:00/.../block/sda)
//   "disk:" + kernel name of the whole disk, when no device path is known
//   "vol:" + mount point, for a local volume that is not a known disk (tmpfs, overlay...)
//   "net:" + lower-cased server host of a network volume
//   "unknown:" + the device (or ZFS pool) when its drive cannot be known: equal only for the same
//             device, never equal to a drive id of another form
// A volume spread over several disks (md RAID, LVM across drives) gets its leaf ids joined by
// " + " in sorted order; sharesDrive() tells whether two ids have any disk in common.
struct PhysicalDriveID {
    std::string raw;

    friend bool operator==(const PhysicalDriveID&, const PhysicalDriveID&) = default;
    friend auto operator<=>(const PhysicalDriveID&, const PhysicalDriveID&) = default;

    // The single-drive ids this one is made of (itself when it names one drive).
    std::vector<std::string> parts() const;
};

// True when the two ids name at least one drive in common (equal ids, or overlapping parts).
bool sharesDrive(const PhysicalDriveID& a, const PhysicalDriveID& b);

struct VolumeInfo {
    std::string path;                      // as asked, unchanged
    std::string volumePath;                // mount point of the volume holding path; "/" on failure
    std::string name;                      // label, else last component of the mount point; a
                                           // mount of part of a labelled volume adds its root
    PhysicalDriveID drive;
    std::string fileSystem;                // mountinfo type ("ext4", "exfat", "vfat", "tmpfs"); "?" on failure
    bool isRemovable = false;
    bool isInternal = false;
    bool isNetwork = false;
    bool isLikelyCameraCard = false;
    bool isDiskImage = false;
    std::optional<std::string> volumeID;   // file-system UUID
    std::int64_t totalBytes = 0;
    std::int64_t freeBytes = 0;
    std::optional<std::int64_t> maxFileSize;
    // Reads of its files can be shown to come from its medium, past the page cache (not tmpfs,
    // FUSE, overlay, nor a disk image read through a buffered loop device or kept on such a volume).
    // Without it no file on the volume can be verified.
    bool readsFromMedium = true;
    // Where name and volumeID were read: "superblock" (the device itself, readable by root and the
    // disk group) or "udev" (the device database every user may read). Absent when neither told.
    std::optional<std::string> identitySource;
    // The mounted file system's device number as the mount table gives it ("MAJ:MIN", the same
    // for every mount of it) and the mount's id when the volume was
    // described. They tell a volume without a UUID from another mounted at the same place for as
    // long as it stays mounted. The mount id is the kernel's unique one where it has them (a remount
    // gets a new one); older kernels give a freed id to a later mount.
    std::optional<std::string> deviceNumber;
    std::optional<std::int64_t> mountID;
    // The part of its file system the mount shows: "/" for the whole, else the bound folder's or
    // the subvolume's path inside it. Absent when not known (reports written before it was kept).
    std::optional<std::string> mountRoot;

    // FAT and exFAT: 2-second times, 4 GiB file limit on FAT, case-insensitive names.
    bool isFATFamily() const { return fileSystem == "msdos" || fileSystem == "vfat" || fileSystem == "exfat"; }
    // The mount shows only part of its file system (a subvolume mounted alone, a bind mount of a
    // folder): it is a folder of a volume whose other files lie outside it, never a card to format.
    bool showsPart() const { return mountRoot && *mountRoot != "/"; }

    friend bool operator==(const VolumeInfo&, const VolumeInfo&) = default;
};

// Where the kernel's views are read from, and where the volumes a user would offer are mounted.
// Tests point these at fake trees.
struct DriveSources {
    std::string procRoot = "/proc";  // mountinfo is procRoot + "/self/mountinfo"
    std::string sysRoot = "/sys";
    // Mounts below these folders (and at "/") are listed; the folders themselves are not.
    std::vector<std::string> mediaFolders = {"/media", "/run/media", "/mnt"};
};

// The mounted volumes a user would offer as card or backup, and every mount point of the same
// reading of the mount table (what is mounted where, as evidence that a volume is still mounted).
struct MountedListing {
    std::vector<VolumeInfo> volumes;
    std::set<std::string> mountPoints;
};

// What the kernel says of a mount described earlier (Drives::mountState).
enum class MountState { mounted, gone, unknown };

namespace Drives {

// Never fails: every missing piece takes its fallback. The path is resolved (symbolic links
// followed) before its volume is looked up; info.path keeps the text as given.
VolumeInfo info(const std::string& path, const DriveSources& sources = DriveSources());

// Mounted volumes a user would offer as card or backup: real devices and network shares mounted
// at "/" or under /media/, /run/media/ or /mnt/ (sources.mediaFolders), those this process can
// reach: a mount point it cannot look at, or one another mount hides (mounted later on it or on a
// folder above it), is left out. Not internal first, then by name (NFC code points). The mount
// table is read once, and each volume is described from that reading, so a listing's cost grows
// with the mounts. `stale` is asked before each volume is described: once it says true the
// listing stops there and gives nothing.
std::optional<MountedListing> listMounted(const DriveSources& sources, const std::function<bool()>& stale);
// listMounted to its end.
std::vector<VolumeInfo> mountedVolumes(const DriveSources& sources = DriveSources());

// Whether the mount a volume was described on is mounted still, as the kernel answers by its
// mount id without looking at any file system (so it may be asked on any thread, at any time).
// `gone` once it has been unmounted, whatever is mounted at its place since; `unknown` where the
// kernel numbers mounts only by the ids it gives again to later mounts (before 6.8), or the volume
// was described without one.
MountState mountState(const VolumeInfo& v);

// Host of a network volume's source text ("//user@Server/share" -> "server", "nas:/export" -> "nas").
std::string networkHost(const std::string& source);

}  // namespace Drives

}  // namespace halvetrop

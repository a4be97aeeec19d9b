#pragma once
// The block-device facts a volume's physical drive is told by, read from sysfs
// (/sys/dev/block/MAJ:MIN): whole disk, bus, model, removable flag, and for stacked devices the
// disks underneath.
#include "drives/Drives.h"
#include "platform/MountInfo.h"

#include <string>
#include <vector>

namespace halvetrop {

struct DiskFacts {
    bool known = false;             // sysfs knew the device
    PhysicalDriveID drive;          // "dev:", "unknown:", a loop's backing drive, or leaves joined
    std::string wholeDisk;          // kernel name of the whole disk ("sda", "nvme0n1", "loop3", "dm-0")
    std::string devicePath;         // sysfs path of the whole disk below the sys root ("/devices/...")
    std::string bus;                // "usb", "mmc", "nvme", "ata", "virtio", "scsi" or ""
    std::string protocol;           // "USB", "Secure Digital" (SD cards only), "PCI-Express", "SATA", "Virtio", "SCSI", "Disk Image"
    std::string mediaName;          // what the device calls its medium ("SD SL32G", "SDXC Card", "Samsung SSD 970")
    std::string model;              // vendor and model
    bool removable = false;         // the kernel's removable flag, a hot-pluggable bus, or an SD card slot
    bool internal = false;          // not removable, on a fixed bus (SATA, NVMe...) or soldered (eMMC)
    bool isLoop = false;
};

// maj:min of a block device. Loop devices are followed to what they read, as the loop device
// reports it: a block device's drive, or the drive of the file system holding the image; a loop
// that cannot be asked is an "unknown:" drive joined with the drive of the mount its backing path
// leads into. dm and md devices are followed to their leaf disks.
// depth bounds stacks of stacked devices. An image's file system is found in `mounts`.
DiskFacts diskFacts(unsigned major, unsigned minor, const DriveSources& sources, const MountTable& mounts, int depth = 0);
// The same with the mount table read for it.
DiskFacts diskFacts(unsigned major, unsigned minor, const DriveSources& sources);

// The facts of a btrfs file system mounted from maj:min. Its mounts name one device, but it may
// span several (as /sys/fs/btrfs/FSID/devices lists them): then each is a leaf, as an md device's
// disks are, and its drive names them all.
DiskFacts btrfsFacts(unsigned major, unsigned minor, const DriveSources& sources, const MountTable& mounts, int depth = 0);

// A volume over several devices: its drive joins every leaf's, and a bus, protocol or name, or
// the removable, internal and loop flags, are its own only where every leaf has them.
void takeLeaves(DiskFacts& facts, const std::vector<DiskFacts>& leaves);

// The bus a device sits on, from its sysfs device path.
std::string busFromDevicePath(const std::string& devicePath);

// "SD" as a word of its own (SD, SDHC, SDXC, SDUC, also after "micro"), never inside "SSD".
bool mediaNameSaysSD(const std::string& mediaName);

}  // namespace halvetrop

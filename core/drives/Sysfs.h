#pragma once
// The block-device facts a volume's physical drive is told by, read from sysfs
// (/sys/dev/block/MAJ:MIN): whole disk, bus, model, removable flag, and for stacked devices the
// disks underneath.
#include "drives/Drives.h"

#include <string>
#include <vector>

namespace halvetrop {

struct DiskFacts {
    bool known = false;             // sysfs knew the device
    PhysicalDriveID drive;          // "dev:", "unknown:", a loop's backing drive, or leaves joined
    std::string wholeDisk;          // kernel name of the whole disk ("sda", "nvme0n1", "loop3", "dm-0")
    std::string devicePath;         // sysfs path of the whole disk below the sys root ("/devices/...")
    std::string bus;                // "usb", "mmc", "nvme", "ata", "virtio", "scsi" or ""
    std::string protocol;           // "USB", "Secure Digital", "PCI-Express", "SATA", "Virtio", "SCSI", "Disk Image"
    std::string mediaName;          // what the device calls its medium ("SD SL32G", "SDXC Card", "Samsung SSD 970")
    std::string model;              // vendor and model
    bool removable = false;         // the kernel's removable flag, or a hot-pluggable bus
    bool isLoop = false;
    std::string backingFile;        // of a loop device, when known
};

// maj:min of a block device. Loop devices are followed to the drive of their backing file
// (Drives::info, with the same sources); dm and md devices to their leaf disks. depth bounds
// loops of loop devices.
DiskFacts diskFacts(unsigned major, unsigned minor, const DriveSources& sources, int depth = 0);

// The bus a device sits on, from its sysfs device path.
std::string busFromDevicePath(const std::string& devicePath);

// "SD" as a word of its own (SD, SDHC, SDXC, SDUC, also after "micro"), never inside "SSD".
bool mediaNameSaysSD(const std::string& mediaName);

}  // namespace halvetrop

#pragma once
#include "drives/Drives.h"
#include "platform/MountInfo.h"

#include <sys/types.h>

namespace halvetrop {

// Drives::info from one reading of the mount table, with a bound on how many loop devices deep
// the backing files have been followed.
VolumeInfo describeVolume(const std::string& path, const DriveSources& sources, const MountTable& mounts, int depth);

// The drive of the file system with the given device number: its block device's drive, or for a
// file system without one (tmpfs, btrfs...) the drive of the volume where it is mounted.
// "unknown:" when neither can be found.
PhysicalDriveID driveOfFileSystem(dev_t device, const DriveSources& sources, const MountTable& mounts, int depth);

// Largest file the file system takes, by type; blockSize is statvfs's f_bsize (ext4's limit
// depends on it). Absent for types whose limit is not fixed.
std::optional<std::int64_t> maxFileSizeOf(const std::string& fileSystem, std::uint64_t blockSize);

// The order volumes are offered in: those not internal first, then by name (code points of the
// NFC form, so upper case before lower case); equal names keep their order.
void sortVolumes(std::vector<VolumeInfo>& volumes);

// The raw id of a volume spread over the given single-drive ids: sorted, each once, " + " between.
std::string joinDriveParts(std::vector<std::string> parts);

}  // namespace halvetrop

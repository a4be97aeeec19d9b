#pragma once
// A block device's file-system label, UUID and type as the desktop's device manager keeps them
// (the udev database under /run/udev). Every user may read it, where the device node itself is
// readable by root and the disk group alone.
#include <optional>
#include <string>
#include <string_view>

namespace halvetrop {

struct FileSystemFacts {
    std::string label;  // the label's own bytes
    std::string uuid;
    std::string type;   // "ext4", "exfat", "vfat"...
};

// What the device database says of block device maj:min; nothing when it has no entry for it
// (no udev on this machine, or the device was never probed).
std::optional<FileSystemFacts> deviceDatabaseFacts(unsigned major, unsigned minor);

// The database's encoded form of a text, where every byte it did not keep as it was is written
// "\xNN" (two hex digits), decoded back to those bytes. A "\x" without two hex digits stays as it is.
std::string decodeDeviceDatabaseText(std::string_view encoded);

}  // namespace halvetrop

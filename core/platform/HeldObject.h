#pragma once
// What an open descriptor holds, as the kernel tells it: the file system object (device, inode)
// and the mount it was reached through. A path, a folder or a mount table's text only lead to an
// object, and may lead to another a moment later (a file put in its place, another volume mounted
// over its folder); a check that must read the very file it found compares this after the open.
#include "platform/Sys.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace halvetrop {

// A mount: the kernel's 64-bit id, never used again for another mount, where the kernel has one
// (`unique`); else the id the mount table shows, which a later mount may take over.
struct MountID {
    std::uint64_t id = 0;  // 0: not known
    bool unique = false;
    friend bool operator==(const MountID&, const MountID&) = default;
};

struct HeldObject {
    std::uint64_t device = 0;  // st_dev
    std::uint64_t inode = 0;
    MountID mount;
    friend bool operator==(const HeldObject&, const HeldObject&) = default;
};

// What `fd` holds, by one statx of the descriptor itself (no path is looked up; only a kernel whose
// statx gives no mount id has it read from /proc). Nothing, with errno set, when statx fails.
std::optional<HeldObject> heldObject(Sys& sys, int fd);

// A file to open by its path and, when `expected` is given, the object it must still be: a reader
// that opens something else fails rather than read it.
struct FileAt {
    FileAt(std::string path) : path(std::move(path)) {}
    FileAt(const char* path) : path(path) {}
    FileAt(std::string path, std::optional<HeldObject> expected) : path(std::move(path)), expected(expected) {}

    std::string path;
    std::optional<HeldObject> expected;
};

}  // namespace halvetrop

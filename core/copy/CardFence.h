#pragma once
// Whether a folder, already open, may lie on the card, which a copy must never write to. Only the
// mount table can tell: a file's device number names a subvolume on btrfs, not its file system,
// and each mount names the subtree of its file system that it shows, so a bind mount of a card
// folder or a subvolume mounted alone, which look like any other folder, are found out by where
// they lie in the file system rather than by the path or device they are reached through.
#include "platform/Sys.h"

#include <sys/types.h>

#include <optional>
#include <string>

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
};

// The place of the file open as fd; nullopt when the mount table or the descriptor's path does
// not tell.
std::optional<FileSystemPlace> placeInFileSystem(Sys& sys, int fd, const std::string& procRoot = "/proc");

class CardFence {
public:
    // A fence around nothing: it holds no folder.
    CardFence() = default;

    // The card folder at `card` as it is now. A card that cannot be opened gives a fence around
    // nothing: what is not there cannot be written to.
    static CardFence around(Sys& sys, const std::string& card, const std::string& procRoot = "/proc");

    // True when the folder open as dirFd is the card, lies inside it, or may do so as far as can
    // be told. A folder holding the card is not inside it.
    bool mayHold(Sys& sys, int dirFd) const;

private:
    bool known_ = false;
    dev_t dev_ = 0;
    bool btrfs_ = false;
    // The card's place; nullopt when it could not be told, and then every folder whose device
    // number cannot set it apart is taken for part of the card.
    std::optional<FileSystemPlace> place_;
    std::string procRoot_;
};

}  // namespace halvetrop

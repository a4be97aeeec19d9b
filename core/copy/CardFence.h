#pragma once
// Whether a folder, already open, may lie on the card, which a copy must never write to. A folder
// on another device cannot. One on the card's device may still be elsewhere in that file system,
// and only the mount table can tell: each mount names the subtree of its file system that it
// shows, so a bind mount of a card folder, which looks like any other folder, is found out by
// where it lies in the file system rather than by the path it is reached through.
#include "platform/Sys.h"

#include <sys/types.h>

#include <optional>
#include <string>

namespace halvetrop {

// The path of the folder open as fd inside its own file system ("/" for the file system's root):
// the root of the mount it was reached through, followed by its place below that mount point.
// nullopt when the mount table or the descriptor's path does not tell.
std::optional<std::string> pathInsideFileSystem(Sys& sys, int fd, const std::string& procRoot = "/proc");

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
    // The card's place in its file system; nullopt when it could not be told, and then every folder
    // on the card's device is taken for part of the card.
    std::optional<std::string> inner_;
    std::string procRoot_;
};

}  // namespace halvetrop

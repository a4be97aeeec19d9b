#pragma once
// Whether a folder, already open, may lie on the card, which a copy must never write to. Only the
// mount table can tell: a file's device number names a subvolume on btrfs, not its file system,
// and each mount names the subtree of its file system that it shows, so a bind mount of a card
// folder or a subvolume mounted alone, which look like any other folder, are found out by where
// they lie in the file system rather than by the path or device they are reached through. A folder
// may also lie on the card through what its file system is stored in: a disk image kept on the
// card (at any depth of images), an overlay whose folders are on the card, a device stacked on the
// card's own; every such layer is looked through.
#include "platform/Layers.h"
#include "platform/Sys.h"

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace halvetrop {

class CardFence {
public:
    // A fence around nothing: it holds no folder.
    CardFence() = default;

    // The card folder at `card` as it is now. A card that cannot be opened gives a fence around
    // nothing: what is not there cannot be written to.
    static CardFence around(Sys& sys, const std::string& card, const std::string& procRoot = "/proc");

    // True when the folder open as dirFd is the card, lies inside it, or may do so as far as can
    // be told, itself or through any layer its file system is stored in. A folder holding the card
    // is not inside it, nor is one whose every layer is known to lie outside the card.
    bool mayHold(Sys& sys, int dirFd) const;

private:
    // Whether a folder or file open as fd, of device number `dev`, at `place` in its file system
    // (nullopt: not told), may lie in the card.
    bool mayHoldPlace(Sys& sys, int fd, dev_t dev, const std::optional<FileSystemPlace>& place) const;
    // Whether the block device is one the card's file system is stored on, or the whole disk
    // holding one.
    bool isCardDevice(dev_t device) const;

    bool known_ = false;
    dev_t dev_ = 0;
    bool btrfs_ = false;
    // The card's place; nullopt when it could not be told, and then every folder whose device
    // number cannot set it apart is taken for part of the card.
    std::optional<FileSystemPlace> place_;
    // The block devices the card's file system is stored on, and the sysfs folders of the whole
    // disks holding them.
    std::vector<dev_t> devices_;
    std::vector<std::string> disks_;
    std::string procRoot_;
    // Mounts of other file systems whose every layer was found to lie on other file systems and
    // devices than the card's, by the kernel's unique mount id: what a file system is stored in
    // stays while it is mounted, and such an id is never given again. A copy asks about the same
    // few folders for every file; the mount table and the layers are read once per mount.
    struct Outside {
        std::mutex mutex;
        std::vector<std::uint64_t> mounts;
    };
    std::shared_ptr<Outside> outside_ = std::make_shared<Outside>();
};

}  // namespace halvetrop

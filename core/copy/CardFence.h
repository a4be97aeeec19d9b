#pragma once
// Whether a folder, already open, may lie on the card, which a copy must never write to. Only the
// mount table can tell: a file's device number names a subvolume on btrfs, not its file system,
// and each mount names the subtree of its file system that it shows, so a bind mount of a card
// folder or a subvolume mounted alone, which look like any other folder, are found out by where
// they lie in the file system rather than by the path or device they are reached through. A folder
// may also lie on the card through what its file system is stored in: a disk image kept on the
// card (at any depth of images), an overlay whose folders are on the card, a device stacked on the
// card's own; every such layer is looked through, and so is every layer beneath the card itself.
// What the kernel cannot bound (a FUSE file system serving folders, a network file system served
// from this machine, a ZFS pool) may hold the card.
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

    // The card folder at `card` as it is now, and whatever its file system is stored in: the
    // devices beneath it, and the folders and files its devices or an overlay keep it in. A card
    // that cannot be opened gives a fence around nothing: what is not there cannot be written to. A
    // card beneath which something cannot be bounded (a FUSE file system that serves folders, an
    // overlay's lower folder known by name only) gives a fence around everything: nothing can be
    // shown to lie outside it.
    static CardFence around(Sys& sys, const std::string& card, const std::string& procRoot = "/proc");

    // True when the folder open as dirFd is the card, lies inside it, or may do so as far as can
    // be told, itself or through any layer its file system is stored in. A folder holding the card
    // is not inside it, nor is one whose every layer is known to lie outside the card.
    bool mayHold(Sys& sys, int dirFd) const;

private:
    // Whether the place lies in one of the card's places.
    bool holdsPlace(const FileSystemPlace& place) const;
    // Whether a folder (or, with `file`, a file) in the file system with this device number
    // (st_dev), reached through `mount` when known, at a place not told, may lie in the card. A
    // folder never lies in a file.
    bool mayHoldSomewhere(dev_t fileSystem, const MountEntry* mount, bool file) const;
    // Whether the block device is one the card is stored on, or the whole disk holding one.
    bool isCardDevice(dev_t device) const;

    bool known_ = false;
    bool unbounded_ = false;
    dev_t dev_ = 0;
    bool btrfs_ = false;
    // The card's own place; nullopt when it could not be told, and then every folder whose device
    // number cannot set it apart is taken for part of the card.
    std::optional<FileSystemPlace> place_;
    // Every place the card's files lie in: its own folder (its whole file system where its place is
    // not told) and the folders beneath it, and apart the image files it is kept in (the whole file
    // system of one whose place is not told).
    std::vector<FileSystemPlace> folders_, files_;
    // The block devices the card is stored on, and the sysfs folders of the whole disks holding them.
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

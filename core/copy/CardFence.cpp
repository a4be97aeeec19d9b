#include "copy/CardFence.h"

#include "platform/BlockDevices.h"
#include "platform/Fd.h"
#include "platform/MountInfo.h"

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace halvetrop {

namespace {

bool onBtrfs(Sys& sys, int fd) {
    struct statfs fs {};
    return sys.fstatfs(fd, &fs) == 0 && static_cast<unsigned long>(fs.f_type) == BTRFS_SUPER_MAGIC;
}

// The resolved sysfs folder of a block device; "" when sysfs does not know it.
std::string sysfsFolder(dev_t device) {
    const std::string link = "/sys/dev/block/" + std::to_string(::major(device)) + ":" + std::to_string(::minor(device));
    char* r = ::realpath(link.c_str(), nullptr);
    if (!r) return "";
    std::string out(r);
    std::free(r);
    return out;
}

// Kernels from 6.8 number every mount once for as long as they run.
constexpr unsigned kStatxUniqueMountID = 0x00004000U;

// The unique id of the mount the open file was reached through; 0 where the kernel has none.
std::uint64_t uniqueMountID(Sys& sys, int fd) {
    struct statx sx {};
    if (sys.statx(fd, "", AT_EMPTY_PATH, kStatxUniqueMountID, &sx) != 0) return 0;
    return (sx.stx_mask & kStatxUniqueMountID) ? sx.stx_mnt_id : 0;
}

}  // namespace

CardFence CardFence::around(Sys& sys, const std::string& card, const std::string& procRoot) {
    CardFence fence;
    fence.procRoot_ = procRoot;
    UniqueFd dir(sys.openat(AT_FDCWD, card.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC), sys);
    struct stat st {};
    if (!dir || sys.fstat(dir.get(), &st) != 0) return fence;
    fence.known_ = true;
    fence.dev_ = st.st_dev;
    fence.btrfs_ = onBtrfs(sys, dir.get());
    const MountTable mounts = readMountInfo(procRoot);
    fence.place_ = layers::placeOf(sys, dir.get(), mounts, procRoot);
    const MountEntry* mount = layers::mountOf(sys, dir.get(), mounts, procRoot);
    if (!mount) {
        // Nothing tells what the card's file system is stored in.
        fence.unbounded_ = true;
        return fence;
    }
    fence.folders_.push_back(fence.place_ ? *fence.place_ : FileSystemPlace{mount->major, mount->minor, "/"});
    if (::major(st.st_dev) != 0) fence.devices_.push_back(st.st_dev);
    // Beneath the card as beneath a backup: each device it is stored on is the card's, and so is
    // each folder or image file that holds its files (but not the rest of the file system holding
    // that, nor its devices).
    const auto visit = [&](const layers::Layer& layer) {
        using Kind = layers::Layer::Kind;
        switch (layer.kind) {
        case Kind::unknown: break;
        case Kind::device: fence.devices_.push_back(layer.device); return layers::Next::descend;
        case Kind::folder:
        case Kind::file: {
            // A folder known by its name alone may be any folder.
            if (!layer.confirmed && layer.fd >= 0) break;
            std::optional<FileSystemPlace> place = layer.fd >= 0 ? layers::placeOf(sys, layer.fd, mounts, procRoot) : layer.place;
            if (!place && layer.mount) place = FileSystemPlace{layer.mount->major, layer.mount->minor, "/"};
            if (!place) place = FileSystemPlace{::major(layer.fileSystem), ::minor(layer.fileSystem), "/"};
            (layer.kind == Kind::file ? fence.files_ : fence.folders_).push_back(*place);
            return layers::Next::skip;
        }
        }
        fence.unbounded_ = true;
        return layers::Next::stop;
    };
    layers::walkBeneath(sys, *mount, mounts, visit, procRoot);
    for (dev_t d : fence.devices_) {
        const std::optional<blockdev::Node> node = d != 0 ? blockdev::wholeDisk("/sys", ::major(d), ::minor(d)) : std::nullopt;
        if (node) fence.disks_.push_back(node->whole);
    }
    return fence;
}

bool CardFence::holdsPlace(const FileSystemPlace& place) const {
    const auto holds = [&](const FileSystemPlace& p) { return p.sameFileSystem(place) && isPathPrefix(p.path, place.path); };
    return std::any_of(folders_.begin(), folders_.end(), holds) || std::any_of(files_.begin(), files_.end(), holds);
}

bool CardFence::mayHoldSomewhere(dev_t fileSystem, const MountEntry* mount, bool file) const {
    // A file system has one device number, but btrfs gives each subvolume one of its own.
    if (fileSystem == dev_ || (btrfs_ && ::major(fileSystem) == 0)) return true;
    const FileSystemPlace numbered{::major(fileSystem), ::minor(fileSystem), "/"};
    const auto in = [&](const FileSystemPlace& p) { return p.sameFileSystem(numbered) || (mount && p.sameFileSystem(*mount)); };
    return std::any_of(folders_.begin(), folders_.end(), in) || (file && std::any_of(files_.begin(), files_.end(), in));
}

bool CardFence::isCardDevice(dev_t device) const {
    if (std::find(devices_.begin(), devices_.end(), device) != devices_.end()) return true;
    if (disks_.empty()) return false;
    const std::string folder = sysfsFolder(device);
    return !folder.empty() && std::find(disks_.begin(), disks_.end(), folder) != disks_.end();
}

bool CardFence::mayHold(Sys& sys, int dirFd) const {
    if (!known_) return false;
    if (unbounded_) return true;
    struct stat st {};
    if (sys.fstat(dirFd, &st) != 0) return true;
    // A file system has one device number, but btrfs gives each subvolume one of its own.
    const bool cardsNumber = st.st_dev == dev_ || (btrfs_ && onBtrfs(sys, dirFd));
    const std::uint64_t unique = cardsNumber ? 0 : uniqueMountID(sys, dirFd);
    if (unique != 0) {
        const std::lock_guard<std::mutex> lock(outside_->mutex);
        if (std::find(outside_->mounts.begin(), outside_->mounts.end(), unique) != outside_->mounts.end()) return false;
    }
    const MountTable mounts = readMountInfo(procRoot_);
    const MountEntry* mount = layers::mountOf(sys, dirFd, mounts, procRoot_);
    const std::optional<FileSystemPlace> own = layers::placeOf(sys, dirFd, mounts, procRoot_);
    if (own ? holdsPlace(*own) : cardsNumber || mayHoldSomewhere(st.st_dev, mount, false)) return true;

    // Beside the card as far as its own file system goes: then whatever that file system is stored
    // in, layer by layer, must lie outside the card too. The card's own file system is stored in
    // the card's devices, and a folder of it beside the card is outside.
    auto cardsFileSystem = [&](const MountEntry* m) { return m && place_ && place_->sameFileSystem(*m); };
    // A layer met on a file system that holds part of the card is beside the card only for now:
    // its file may be moved into the card.
    bool besideCard = false;
    const auto visit = [&](const layers::Layer& layer) {
        using Kind = layers::Layer::Kind;
        switch (layer.kind) {
        case Kind::unknown: return layers::Next::stop;
        case Kind::device: return isCardDevice(layer.device) ? layers::Next::stop : layers::Next::descend;
        case Kind::folder:
        case Kind::file: {
            const bool somewhere = mayHoldSomewhere(layer.fileSystem, layer.mount, layer.kind == Kind::file);
            besideCard = besideCard || somewhere;
            const std::optional<FileSystemPlace> place =
                layer.fd >= 0 ? layers::placeOf(sys, layer.fd, mounts, procRoot_) : layer.place;
            // Where in its file system it lies is told, or it is taken to lie anywhere in it.
            if (place ? holdsPlace(*place) : somewhere) return layers::Next::stop;
            return cardsFileSystem(layer.mount) ? layers::Next::skip : layers::Next::descend;
        }
        }
        return layers::Next::stop;
    };
    if (cardsFileSystem(mount)) return false;
    bool held = true;
    if (mount) {
        held = layers::walkBeneath(sys, *mount, mounts, visit, procRoot_);
    } else if (::major(st.st_dev) != 0) {
        // Not in the table: a device number of a block device still leads down; any other cannot be told.
        held = layers::walkDevice(sys, st.st_dev, mounts, visit, procRoot_);
    }
    if (!held && unique != 0 && !besideCard) {
        const std::lock_guard<std::mutex> lock(outside_->mutex);
        outside_->mounts.push_back(unique);
    }
    return held;
}

}  // namespace halvetrop

#include "copy/CardFence.h"

#include "platform/MountInfo.h"
#include "platform/Fd.h"

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <climits>

namespace halvetrop {

namespace {

bool onBtrfs(Sys& sys, int fd) {
    struct statfs fs {};
    return sys.fstatfs(fd, &fs) == 0 && static_cast<unsigned long>(fs.f_type) == BTRFS_SUPER_MAGIC;
}

}  // namespace

std::optional<FileSystemPlace> placeInFileSystem(Sys& sys, int fd, const std::string& procRoot) {
    struct statx sx {};
    if (sys.statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &sx) != 0) return std::nullopt;
    const std::uint64_t mountID = (sx.stx_mask & STATX_MNT_ID) ? sx.stx_mnt_id : fdInfoMountID(procRoot, fd);

    // The path the descriptor was opened through, in this process's view of the mounts.
    const std::string link = procRoot + "/self/fd/" + std::to_string(fd);
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) return std::nullopt;
    const std::string path(buffer, static_cast<std::size_t>(n));
    // A removed folder, or one outside this process's root, has no path to go by.
    static constexpr std::string_view deleted = " (deleted)";
    if (path[0] != '/' || (path.size() >= deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0))
        return std::nullopt;

    const std::vector<MountEntry> mounts = readMountInfo(procRoot);
    const MountEntry* mount = findMount(mounts, mountID, sx.stx_dev_major, sx.stx_dev_minor, path);
    if (!mount || !isPathPrefix(mount->mountPoint, path) || mount->root.empty() || mount->root[0] != '/') return std::nullopt;
    FileSystemPlace place{mount->major, mount->minor, mount->root};
    const std::string below = mount->mountPoint == "/" ? path : path.substr(mount->mountPoint.size());
    if (place.path == "/")
        place.path = below.empty() ? "/" : below;
    else if (below != "/")
        place.path += below;
    return place;
}

CardFence CardFence::around(Sys& sys, const std::string& card, const std::string& procRoot) {
    CardFence fence;
    fence.procRoot_ = procRoot;
    UniqueFd dir(sys.openat(AT_FDCWD, card.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC), sys);
    struct stat st {};
    if (!dir || sys.fstat(dir.get(), &st) != 0) return fence;
    fence.known_ = true;
    fence.dev_ = st.st_dev;
    fence.btrfs_ = onBtrfs(sys, dir.get());
    fence.place_ = placeInFileSystem(sys, dir.get(), procRoot);
    return fence;
}

bool CardFence::mayHold(Sys& sys, int dirFd) const {
    if (!known_) return false;
    struct stat st {};
    if (sys.fstat(dirFd, &st) != 0) return true;
    // A file system has one device number, but btrfs gives each subvolume one of its own.
    if (st.st_dev != dev_ && !(btrfs_ && onBtrfs(sys, dirFd))) return false;
    if (!place_) return true;
    const std::optional<FileSystemPlace> place = placeInFileSystem(sys, dirFd, procRoot_);
    return !place || (place->sameFileSystem(*place_) && isPathPrefix(place_->path, place->path));
}

}  // namespace halvetrop

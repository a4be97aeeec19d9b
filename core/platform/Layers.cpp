#include "platform/Layers.h"

#include "platform/BlockDevices.h"
#include "platform/Fd.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>
#include <set>
#include <string_view>

namespace halvetrop::layers {

namespace {

const std::set<std::string, std::less<>> kNetworkTypes = {
    "nfs",       "nfs4",          "cifs", "smb3",         "smbfs",     "ncpfs",    "afs",      "ceph",
    "glusterfs", "fuse.sshfs", "fuse.rclone", "fuse.glusterfs", "davfs", "fuse.davfs2", "fuse.s3fs",
};

bool isFuse(const std::string& fsType) { return fsType == "fuse" || fsType.compare(0, 5, "fuse.") == 0; }

// The text's pieces between `separator`s, empty ones left out.
std::vector<std::string> pieces(const std::string& text, char separator) {
    std::vector<std::string> out;
    for (std::size_t from = 0; from <= text.size();) {
        std::size_t end = text.find(separator, from);
        if (end == std::string::npos) end = text.size();
        if (end > from) out.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return out;
}

// At most this many layers are visited beneath one mount; past it, what is left is not known.
constexpr int kMaxLayers = 256;

class Walk {
public:
    Walk(Sys& sys, const MountTable& mounts, const std::function<Next(const Layer&)>& visit, const std::string& procRoot,
         const std::string& sysRoot)
        : sys_(sys), mounts_(mounts), visit_(visit), procRoot_(procRoot), sysRoot_(sysRoot) {}

    // What the mount is stored in. True when a visit stopped the walk.
    bool beneathMount(const MountEntry& m, int depth) {
        if (!seenMounts_.insert(m.mountID).second) return false;
        // Another machine's files, or the host's folders shared with a virtual machine.
        if (isNetworkType(m.fsType) || m.fsType == "9p" || m.fsType == "virtiofs") return false;
        const std::vector<std::string> folders = foldersOf(m);
        const std::vector<dev_t> devices = devicesOf(m, sysRoot_);
        for (const std::string& folder : folders)
            if (this->folder(folder, depth + 1)) return true;
        for (dev_t d : devices)
            if (d == 0 ? unknown() : device(d, depth + 1)) return true;
        // A FUSE daemon that names nothing it stores its files in could keep them anywhere, the card
        // too; the desktop's own (GVFS) serves the shares and devices it has mounted. A ZFS pool's
        // disks are its own and are not looked into.
        const bool untold = (isFuse(m.fsType) && m.fsType != "fuse.gvfsd-fuse") || m.fsType == "overlay" ||
                            m.fsType == "btrfs";
        if (folders.empty() && devices.empty() && untold) return unknown();
        return false;
    }

    bool device(dev_t d, int depth) {
        if (depth > blockdev::kMaxDepth || ++visits_ > kMaxLayers) return unknown();
        if (!seenDevices_.insert(d).second) return false;
        Layer layer;
        layer.kind = Layer::Kind::device;
        layer.device = d;
        switch (visit_(layer)) {
        case Next::stop: return true;
        case Next::skip: return false;
        case Next::descend: break;
        }
        const std::optional<blockdev::Node> node = blockdev::wholeDisk(sysRoot_, ::major(d), ::minor(d));
        if (!node) return unknown();
        if (blockdev::isLoop(*node)) return loop(*node, depth);
        for (const blockdev::Slave& s : blockdev::slaves(*node))
            if (!s.device ? unknown() : device(*s.device, depth + 1)) return true;
        return false;
    }

    bool unknown() {
        Layer layer;
        return visit_(layer) == Next::stop;
    }

private:
    // A loop device reads a block device or a file. The device itself says which, to whoever may
    // open it; sysfs gives everyone the kernel's live path of its backing file.
    bool loop(const blockdev::Node& node, int depth) {
        const std::optional<blockdev::LoopBacking> b = blockdev::loopBacking(node);
        if (b && b->blockDevice != 0) return device(b->blockDevice, depth + 1);
        const std::string path = blockdev::loopBackingPath(node);
        UniqueFd fd;
        struct stat st {};
        if (!path.empty() && path[0] == '/') {
            fd = UniqueFd(sys_.openat(AT_FDCWD, path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC), sys_);
            if (fd && sys_.fstat(fd.get(), &st) != 0) fd.reset();
        }
        if (fd && !b && S_ISBLK(st.st_mode)) return device(st.st_rdev, depth + 1);
        const bool found = fd && S_ISREG(st.st_mode) && (!b || (st.st_dev == b->fileSystem && st.st_ino == b->inode));
        if (found) return opened(Layer::Kind::file, fd.get(), depth + 1);
        if (!b) return unknown();
        // The file's own name no longer leads to it: its file system is all that is known.
        if (depth + 1 > blockdev::kMaxDepth || ++visits_ > kMaxLayers) return unknown();
        Layer layer;
        layer.kind = Layer::Kind::file;
        layer.fileSystem = b->fileSystem;
        layer.mount = mountOfDevice(mounts_, b->fileSystem);
        switch (visit_(layer)) {
        case Next::stop: return true;
        case Next::skip: return false;
        case Next::descend: break;
        }
        if (layer.mount) return beneathMount(*layer.mount, depth + 1);
        if (::major(b->fileSystem) != 0) return device(b->fileSystem, depth + 2);
        return unknown();
    }

    bool folder(const std::string& path, int depth) {
        if (path.empty() || path[0] != '/') return unknown();
        const UniqueFd fd(sys_.openat(AT_FDCWD, path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC), sys_);
        if (!fd) return unknown();
        return opened(Layer::Kind::folder, fd.get(), depth);
    }

    // A folder or file found open: visited, then the file system holding it.
    bool opened(Layer::Kind kind, int fd, int depth) {
        if (depth > blockdev::kMaxDepth || ++visits_ > kMaxLayers) return unknown();
        struct stat st {};
        if (sys_.fstat(fd, &st) != 0) return unknown();
        Layer layer;
        layer.kind = kind;
        layer.fd = fd;
        layer.fileSystem = st.st_dev;
        layer.mount = mountOf(sys_, fd, mounts_, procRoot_);
        switch (visit_(layer)) {
        case Next::stop: return true;
        case Next::skip: return false;
        case Next::descend: break;
        }
        if (layer.mount) return beneathMount(*layer.mount, depth);
        if (::major(st.st_dev) != 0) return device(st.st_dev, depth + 1);
        return unknown();
    }

    Sys& sys_;
    const MountTable& mounts_;
    const std::function<Next(const Layer&)>& visit_;
    const std::string& procRoot_;
    const std::string& sysRoot_;
    std::set<std::uint64_t> seenMounts_;
    std::set<dev_t> seenDevices_;
    int visits_ = 0;
};

}  // namespace

bool isNetworkType(const std::string& fsType) { return kNetworkTypes.count(fsType) != 0; }

std::optional<dev_t> sourceDevice(const std::string& source) {
    struct stat st {};
    if (source.compare(0, 5, "/dev/") == 0 && ::stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) return st.st_rdev;
    return std::nullopt;
}

std::vector<std::string> foldersOf(const MountEntry& mount) {
    std::vector<std::string> out;
    if (mount.fsType == "overlay") {
        for (const std::string& option : pieces(mount.superOptions, ',')) {
            // Newer kernels name each lower (and data-only) folder in an option of its own.
            for (const std::string_view key : {"lowerdir+=", "datadir+="}) {
                if (option.compare(0, key.size(), key) == 0) out.push_back(option.substr(key.size()));
            }
            for (const std::string_view key : {"upperdir=", "workdir=", "lowerdir="}) {
                if (option.compare(0, key.size(), key) != 0) continue;
                for (std::string& dir : pieces(option.substr(key.size()), ':')) out.push_back(std::move(dir));
            }
        }
        return out;
    }
    if (isFuse(mount.fsType) && !isNetworkType(mount.fsType)) {
        for (const std::string& dir : pieces(mount.source, ':')) {
            struct stat st {};
            if (dir[0] == '/' && dir.compare(0, 5, "/dev/") != 0 && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                out.push_back(dir);
        }
    }
    return out;
}

std::vector<dev_t> devicesOf(const MountEntry& mount, const std::string& sysRoot) {
    const std::optional<dev_t> source = sourceDevice(mount.source);
    if (mount.fsType == "btrfs") {
        if (!source) return {};
        std::vector<dev_t> devices = blockdev::btrfsDevices(sysRoot, *source);
        if (devices.empty()) devices.push_back(*source);
        return devices;
    }
    if (source) return {*source};
    if (mount.major != 0) return {::makedev(mount.major, mount.minor)};
    return {};
}

const MountEntry* mountOfDevice(const MountTable& mounts, dev_t device) {
    for (const MountEntry& m : mounts)
        if (m.major == ::major(device) && m.minor == ::minor(device)) return &m;
    return nullptr;
}

const MountEntry* mountOf(Sys& sys, int fd, const MountTable& mounts, const std::string& procRoot) {
    struct statx sx {};
    if (sys.statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &sx) != 0) return nullptr;
    const std::uint64_t mountID = (sx.stx_mask & STATX_MNT_ID) ? sx.stx_mnt_id : fdInfoMountID(procRoot, fd);
    if (const MountEntry* m = mountID != 0 ? mountByID(mounts, mountID) : nullptr) return m;
    return mountOfDevice(mounts, ::makedev(sx.stx_dev_major, sx.stx_dev_minor));
}

std::optional<FileSystemPlace> placeOf(Sys& sys, int fd, const MountTable& mounts, const std::string& procRoot) {
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
    if (path[0] != '/' ||
        (path.size() >= deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0))
        return std::nullopt;

    const MountEntry* mount = findMount(mounts, mountID, sx.stx_dev_major, sx.stx_dev_minor, path);
    if (!mount || !isPathPrefix(mount->mountPoint, path) || mount->root.empty() || mount->root[0] != '/')
        return std::nullopt;
    FileSystemPlace place{mount->major, mount->minor, mount->root};
    const std::string below = mount->mountPoint == "/" ? path : path.substr(mount->mountPoint.size());
    if (place.path == "/")
        place.path = below.empty() ? "/" : below;
    else if (below != "/")
        place.path += below;
    return place;
}

bool walkBeneath(Sys& sys, const MountEntry& top, const MountTable& mounts, const std::function<Next(const Layer&)>& visit,
                 const std::string& procRoot, const std::string& sysRoot) {
    return Walk(sys, mounts, visit, procRoot, sysRoot).beneathMount(top, 0);
}

bool walkDevice(Sys& sys, dev_t device, const MountTable& mounts, const std::function<Next(const Layer&)>& visit,
                const std::string& procRoot, const std::string& sysRoot) {
    return Walk(sys, mounts, visit, procRoot, sysRoot).device(device, 0);
}

}  // namespace halvetrop::layers

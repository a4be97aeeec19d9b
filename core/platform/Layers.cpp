#include "platform/Layers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <set>
#include <string_view>

#ifndef AT_HANDLE_FID
#define AT_HANDLE_FID 0x200
#endif

namespace halvetrop::layers {

namespace {

const std::set<std::string, std::less<>> kNetworkTypes = {
    "nfs",       "nfs4",          "cifs", "smb3",         "smbfs",     "ncpfs",    "afs",      "ceph",
    "glusterfs", "fuse.sshfs", "fuse.rclone", "fuse.glusterfs", "davfs", "fuse.davfs2", "fuse.s3fs",
};

// File systems that keep their files in memory, or that are the kernel's own views of itself:
// nothing of theirs lies in another file system or device.
const std::set<std::string, std::less<>> kSelfContained = {
    "tmpfs",  "ramfs",   "devtmpfs", "hugetlbfs", "proc",   "sysfs", "devpts",      "mqueue",  "cgroup",
    "cgroup2", "securityfs", "debugfs", "tracefs", "pstore", "bpf", "configfs", "efivarfs", "fusectl",
    "binfmt_misc", "autofs", "nsfs", "rpc_pipefs",
};

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

bool hasOption(const MountEntry& mount, std::string_view option) {
    const std::vector<std::string> options = pieces(mount.superOptions, ',');
    return std::find(options.begin(), options.end(), option) != options.end();
}

// The address alone: "[v6]:port", "v4:port" and "v6%scope" lose what is not the address.
std::string bareAddress(std::string text) {
    if (!text.empty() && text[0] == '[') {
        const std::size_t close = text.find(']');
        text = text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else if (std::count(text.begin(), text.end(), ':') == 1) {
        text = text.substr(0, text.find(':'));
    }
    return text.substr(0, text.find('%'));
}

// An address as the 16 bytes of its IPv6 form (IPv4 mapped into it); nothing for text that is not one.
std::optional<std::array<unsigned char, 16>> addressBytes(const std::string& text) {
    std::array<unsigned char, 16> out{};
    in_addr v4{};
    if (::inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        out[10] = out[11] = 0xff;
        std::memcpy(out.data() + 12, &v4, 4);
        return out;
    }
    in6_addr v6{};
    if (::inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
        std::memcpy(out.data(), &v6, 16);
        return out;
    }
    return std::nullopt;
}

// The place `path` has in `mount`'s file system, the path lying at or below its mount point.
FileSystemPlace placeIn(const MountEntry& mount, const std::string& path) {
    FileSystemPlace place{mount.major, mount.minor, mount.root};
    const std::string below = mount.mountPoint == "/" ? path : path.substr(mount.mountPoint.size());
    if (place.path == "/")
        place.path = below.empty() ? "/" : below;
    else if (below != "/")
        place.path += below;
    return place;
}

// A file handle as name_to_handle_at gives it, without needing it to open the file again.
struct Handle {
    int type = 0;
    std::vector<unsigned char> bytes;
};

std::optional<Handle> handleOf(int fd) {
    alignas(struct file_handle) unsigned char buffer[sizeof(struct file_handle) + MAX_HANDLE_SZ];
    auto* h = reinterpret_cast<struct file_handle*>(buffer);
    h->handle_bytes = MAX_HANDLE_SZ;
    int mountID = 0;
    if (::name_to_handle_at(fd, "", h, &mountID, AT_EMPTY_PATH | AT_HANDLE_FID) != 0) return std::nullopt;
    return Handle{h->handle_type, std::vector<unsigned char>(h->f_handle, h->f_handle + h->handle_bytes)};
}

// What an overlay's file handle says of the real file it stands for: the layer (upper or lower),
// the real file system's UUID and the real file's own handle.
struct OverlayHandle {
    bool upper = false;
    std::array<unsigned char, 16> uuid{};
    Handle real;
};

std::optional<OverlayHandle> parseOverlayHandle(const Handle& h) {
    // Type 0xf8 puts three bytes of padding before the fields that 0xfb starts with: version,
    // magic 0xfb, length (of these fields and the real handle), flags, the real handle's type,
    // the UUID.
    constexpr int kAligned = 0xf8, kPacked = 0xfb;
    constexpr std::size_t kFields = 21;
    constexpr unsigned char kUpper = 4;
    const std::size_t at = h.type == kAligned ? 3 : h.type == kPacked ? 0 : h.bytes.size();
    if (h.bytes.size() < at + kFields || h.bytes[at + 1] != 0xfb) return std::nullopt;
    const std::size_t length = h.bytes[at + 2];
    if (length < kFields || at + length > h.bytes.size()) return std::nullopt;
    OverlayHandle out;
    out.upper = (h.bytes[at + 3] & kUpper) != 0;
    out.real.type = h.bytes[at + 4];
    std::copy(h.bytes.begin() + static_cast<std::ptrdiff_t>(at + 5), h.bytes.begin() + static_cast<std::ptrdiff_t>(at + kFields),
              out.uuid.begin());
    out.real.bytes.assign(h.bytes.begin() + static_cast<std::ptrdiff_t>(at + kFields),
                          h.bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
    return out;
}

// The UUID a file system gives itself (FS_IOC_GETFSUUID), zeros for one that has none; nothing
// when the kernel cannot be asked.
struct FsUuid {
    unsigned char length;
    unsigned char uuid[16];
};
constexpr unsigned long kGetFsUuid = _IOR(0x15, 0, FsUuid);

std::optional<std::array<unsigned char, 16>> uuidOf(Sys& sys, int fd) {
    FsUuid u{};
    std::array<unsigned char, 16> out{};
    if (sys.ioctl(fd, kGetFsUuid, &u) != 0) {
        if (errno == ENOTTY) return out;
        return std::nullopt;
    }
    std::copy(u.uuid, u.uuid + std::min<std::size_t>(u.length, out.size()), out.begin());
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
        // A FUSE daemon keeps its files wherever it likes, whatever it names as its source: only
        // one serving a block device, which the kernel holds for it (and numbers the mount by), is
        // bounded, by that device.
        if (isFuse(m.fsType)) {
            const bool onDevice = m.fsType.compare(0, 7, "fuseblk") == 0 && m.major != 0;
            return onDevice ? device(::makedev(m.major, m.minor), depth + 1) : unknown();
        }
        if (m.fsType == "overlay") return overlay(m, depth);
        // Another machine's files, but only where the kernel holds an address that is not this
        // machine's: one served from here is a view of this machine's folders, as a bind mount is.
        if (isNetworkType(m.fsType)) return servedElsewhere(m) ? false : unknown();
        // The host's folders shared with this virtual machine.
        if (m.fsType == "virtiofs" || (m.fsType == "9p" && hasOption(m, "trans=virtio"))) return false;
        const std::vector<dev_t> devices = devicesOf(m, sysRoot_);
        for (dev_t d : devices)
            if (d == 0 ? unknown() : device(d, depth + 1)) return true;
        if (!devices.empty() || kSelfContained.count(m.fsType) != 0) return false;
        // A file system on no device the kernel names keeps its files where it alone knows: a ZFS
        // pool's disks (or files, which may lie on the card), a stacked file system's folders.
        return unknown();
    }

    bool device(dev_t d, int depth) {
        if (tooDeep(depth)) return unknown();
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
    bool tooDeep(int depth) { return depth > blockdev::kMaxDepth || ++visits_ > kMaxLayers; }

    // Visits a layer not open here, then goes on beneath its mount or, without one, its file
    // system's device.
    bool unopened(Layer& layer, int depth) {
        if (tooDeep(depth)) return unknown();
        switch (visit_(layer)) {
        case Next::stop: return true;
        case Next::skip: return false;
        case Next::descend: break;
        }
        if (layer.mount) return beneathMount(*layer.mount, depth);
        if (::major(layer.fileSystem) != 0) return device(layer.fileSystem, depth + 1);
        return unknown();
    }

    bool loop(const blockdev::Node& node, int depth) {
        LoopReads reads = loopReads(sys_, node, mounts_, procRoot_);
        switch (reads.kind) {
        case LoopReads::Kind::device: return device(reads.device, depth + 1);
        case LoopReads::Kind::file: return opened(Layer::Kind::file, reads.fd.get(), depth + 1, true);
        case LoopReads::Kind::fileSystem: {
            Layer layer;
            layer.kind = Layer::Kind::file;
            layer.fileSystem = reads.fileSystem;
            layer.mount = mountOfDevice(mounts_, reads.fileSystem);
            return unopened(layer, depth + 1);
        }
        case LoopReads::Kind::holders:
            // Any of them may hold the file: each is visited, and walked beneath.
            for (const Holder& h : reads.holders) {
                Layer layer;
                layer.kind = Layer::Kind::file;
                layer.fileSystem = ::makedev(h.mount->major, h.mount->minor);
                layer.mount = h.mount;
                layer.place = h.place;
                layer.confirmed = false;
                if (unopened(layer, depth + 1)) return true;
            }
            return false;
        case LoopReads::Kind::unknown: break;
        }
        return unknown();
    }

    // An overlay writes to its upper folder, and to its work folder beside it on the same mount
    // (the kernel requires both there); it reads its lower folders too. Only the upper folder can be
    // confirmed: the work folder is known by its file system alone, the lower folders by their
    // names as the mount gave them.
    bool overlay(const MountEntry& m, int depth) {
        const UniqueFd upper = confirmedUpper(sys_, m);
        if (!upper) return unknown();
        if (opened(Layer::Kind::folder, upper.get(), depth + 1, true)) return true;
        struct stat st {};
        if (sys_.fstat(upper.get(), &st) != 0) return unknown();
        Layer work;
        work.kind = Layer::Kind::folder;
        work.fileSystem = st.st_dev;
        work.mount = mountOf(sys_, upper.get(), mounts_, procRoot_);
        work.confirmed = false;
        if (tooDeep(depth + 1)) return unknown();
        if (visit_(work) == Next::stop) return true;
        const std::optional<OverlayFolders> folders = overlayFolders(m);
        for (const std::string& lower : folders->lower)
            if (folder(lower, depth + 1)) return true;
        return false;
    }

    // A folder named by text: where it leads now.
    bool folder(const std::string& path, int depth) {
        if (path.empty() || path[0] != '/') return unknown();
        const UniqueFd fd(sys_.openat(AT_FDCWD, path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC), sys_);
        if (!fd) return unknown();
        return opened(Layer::Kind::folder, fd.get(), depth, false);
    }

    // A folder or file found open: visited, then the file system holding it.
    bool opened(Layer::Kind kind, int fd, int depth, bool confirmed) {
        if (tooDeep(depth)) return unknown();
        struct stat st {};
        if (sys_.fstat(fd, &st) != 0) return unknown();
        Layer layer;
        layer.kind = kind;
        layer.fd = fd;
        layer.fileSystem = st.st_dev;
        layer.mount = mountOf(sys_, fd, mounts_, procRoot_);
        layer.confirmed = confirmed;
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

bool isFuse(const std::string& fsType) {
    return fsType == "fuse" || fsType == "fuseblk" || fsType.compare(0, 5, "fuse.") == 0 ||
           fsType.compare(0, 8, "fuseblk.") == 0;
}

std::vector<std::string> serverAddresses(const MountEntry& mount) {
    std::vector<std::string> out;
    if (isFuse(mount.fsType)) return out;
    for (const std::string& option : pieces(mount.superOptions, ',')) {
        if (option.compare(0, 5, "addr=") == 0) out.push_back(bareAddress(option.substr(5)));
        if (option.compare(0, 9, "mon_addr=") == 0)
            for (const std::string& a : pieces(option.substr(9), '/')) out.push_back(bareAddress(a));
    }
    return out;
}

bool isThisMachine(const std::string& address, const std::vector<std::string>& own) {
    const std::optional<std::array<unsigned char, 16>> bytes = addressBytes(bareAddress(address));
    if (!bytes) return true;
    static constexpr std::array<unsigned char, 16> unspecified{};
    static constexpr std::array<unsigned char, 16> loopback6{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const bool mapped = std::all_of(bytes->begin(), bytes->begin() + 10, [](unsigned char b) { return b == 0; }) &&
                        (*bytes)[10] == 0xff && (*bytes)[11] == 0xff;
    if (*bytes == unspecified || *bytes == loopback6 || (mapped && ((*bytes)[12] == 127 || (*bytes)[12] == 0))) return true;
    return std::any_of(own.begin(), own.end(), [&](const std::string& o) { return addressBytes(bareAddress(o)) == bytes; });
}

std::vector<std::string> ownAddresses() {
    std::vector<std::string> out;
    struct ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return out;
    for (const struct ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr) continue;
        char text[INET6_ADDRSTRLEN] = {};
        const int family = a->ifa_addr->sa_family;
        const void* raw = family == AF_INET    ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr)
                          : family == AF_INET6 ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(a->ifa_addr)->sin6_addr)
                                               : nullptr;
        if (raw && ::inet_ntop(family, raw, text, sizeof text)) out.emplace_back(text);
    }
    ::freeifaddrs(list);
    return out;
}

bool servedElsewhere(const MountEntry& mount) {
    const std::vector<std::string> addresses = serverAddresses(mount);
    if (addresses.empty()) return false;
    const std::vector<std::string> own = ownAddresses();
    return std::none_of(addresses.begin(), addresses.end(), [&](const std::string& a) { return isThisMachine(a, own); });
}

std::optional<dev_t> sourceDevice(const std::string& source) {
    struct stat st {};
    if (source.compare(0, 5, "/dev/") == 0 && ::stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) return st.st_rdev;
    return std::nullopt;
}

std::optional<OverlayFolders> overlayFolders(const MountEntry& mount) {
    if (mount.fsType != "overlay") return std::nullopt;
    OverlayFolders out;
    for (const std::string& option : pieces(mount.superOptions, ',')) {
        // Newer kernels name each lower (and data-only) folder in an option of its own.
        for (const std::string_view key : {"lowerdir+=", "datadir+="})
            if (option.compare(0, key.size(), key) == 0) out.lower.push_back(option.substr(key.size()));
        if (option.compare(0, 9, "lowerdir=") == 0)
            for (std::string& dir : pieces(option.substr(9), ':')) out.lower.push_back(std::move(dir));
        if (option.compare(0, 9, "upperdir=") == 0) out.upper = option.substr(9);
        if (option.compare(0, 8, "workdir=") == 0) out.work = option.substr(8);
    }
    return out;
}

std::vector<std::string> foldersOf(const MountEntry& mount) {
    std::vector<std::string> out;
    if (const std::optional<OverlayFolders> overlay = overlayFolders(mount)) {
        for (const std::string* dir : {&overlay->upper, &overlay->work})
            if (!dir->empty()) out.push_back(*dir);
        out.insert(out.end(), overlay->lower.begin(), overlay->lower.end());
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

UniqueFd confirmedUpper(Sys& sys, const MountEntry& overlay) {
    const std::optional<OverlayFolders> folders = overlayFolders(overlay);
    if (!folders || folders->upper.empty() || folders->upper[0] != '/') return {};
    // The overlay's root as this mount shows it, reached where the mount lies and checked to be it.
    const UniqueFd root(sys.openat(AT_FDCWD, overlay.mountPoint.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC), sys);
    struct statx sx {};
    if (!root || sys.statx(root.get(), "", AT_EMPTY_PATH, STATX_MNT_ID, &sx) != 0) return {};
    const std::uint64_t mountID = (sx.stx_mask & STATX_MNT_ID) ? sx.stx_mnt_id : fdInfoMountID("/proc", root.get());
    if (mountID != overlay.mountID) return {};
    const std::optional<Handle> own = handleOf(root.get());
    const std::optional<OverlayHandle> stands = own ? parseOverlayHandle(*own) : std::nullopt;
    if (!stands || !stands->upper) return {};
    // The folder the mount names, at the same place below it as this mount's root lies in the overlay.
    const std::string named = overlay.root == "/" ? folders->upper : folders->upper + overlay.root;
    UniqueFd upper(sys.openat(AT_FDCWD, named.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), sys);
    if (!upper) return {};
    const std::optional<Handle> real = handleOf(upper.get());
    const std::optional<std::array<unsigned char, 16>> uuid = uuidOf(sys, upper.get());
    if (!real || !uuid || real->type != stands->real.type || real->bytes != stands->real.bytes || *uuid != stands->uuid)
        return {};
    return upper;
}

std::vector<dev_t> devicesOf(const MountEntry& mount, const std::string& sysRoot) {
    const std::optional<dev_t> source = sourceDevice(mount.source);
    if (mount.fsType == "btrfs") {
        if (!source) return {};
        std::vector<dev_t> devices = blockdev::btrfsDevices(sysRoot, *source);
        if (devices.empty()) devices.push_back(*source);
        return devices;
    }
    // The kernel numbers the mount of a file system on one device by that device; the source is
    // only the name it was mounted by.
    if (mount.major != 0) return {::makedev(mount.major, mount.minor)};
    if (source) return {*source};
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
    return placeIn(*mount, path);
}

std::vector<Holder> possibleHolders(const MountTable& mounts, const std::string& path) {
    std::vector<Holder> out;
    if (path.empty() || path[0] != '/') return out;
    for (const MountEntry& m : mounts)
        if (isPathPrefix(m.mountPoint, path) && !m.root.empty() && m.root[0] == '/') out.push_back({&m, placeIn(m, path)});
    return out;
}

LoopReads loopReads(Sys& sys, const blockdev::Node& node, const MountTable& mounts, const std::string& procRoot) {
    LoopReads reads;
    const std::optional<blockdev::LoopBacking> b = blockdev::loopBacking(node);
    if (b && b->blockDevice != 0) {
        reads.kind = LoopReads::Kind::device;
        reads.device = b->blockDevice;
        return reads;
    }
    const std::string path = blockdev::loopBackingPath(node);
    const bool named = !path.empty() && path[0] == '/';
    UniqueFd fd(named ? sys.openat(AT_FDCWD, path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC) : -1, sys);
    struct stat st {};
    if (fd && sys.fstat(fd.get(), &st) != 0) fd.reset();
    if (b) {
        // The loop device names its file: its path finds it only where that is the very file.
        if (fd && S_ISREG(st.st_mode) && st.st_dev == b->fileSystem && st.st_ino == b->inode) {
            reads.kind = LoopReads::Kind::file;
            reads.fd = std::move(fd);
        } else {
            reads.kind = LoopReads::Kind::fileSystem;
            reads.fileSystem = b->fileSystem;
        }
        return reads;
    }
    // Only root and the disk group may ask the loop device; everyone else has the path the kernel
    // gave its file, which may lead elsewhere now.
    if (!named) return reads;
    if (fd && S_ISBLK(st.st_mode)) {
        // The kernel's own device file system names each node after its device; a node elsewhere
        // may have been replaced by another.
        const MountEntry* m = mountOf(sys, fd.get(), mounts, procRoot);
        if (m && m->fsType == "devtmpfs") {
            reads.kind = LoopReads::Kind::device;
            reads.device = st.st_rdev;
        }
        return reads;
    }
    reads.holders = possibleHolders(mounts, path);
    // A file removed since is named with this after it.
    static constexpr std::string_view deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
        std::vector<Holder> more = possibleHolders(mounts, path.substr(0, path.size() - deleted.size()));
        reads.holders.insert(reads.holders.end(), more.begin(), more.end());
    }
    if (!reads.holders.empty()) reads.kind = LoopReads::Kind::holders;
    return reads;
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

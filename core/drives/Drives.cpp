#include "drives/Drives.h"

#include "drives/DeviceDatabase.h"
#include "drives/DrivesInternal.h"
#include "drives/Sysfs.h"
#include "platform/Fd.h"
#include "platform/Layers.h"
#include "platform/MountInfo.h"
#include "platform/PageCache.h"
#include "text/Utf8.h"

#include <blkid/blkid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <string>

namespace halvetrop {

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool containsNoCase(const std::string& haystack, const std::string& needle) {
    return lower(haystack).find(lower(needle)) != std::string::npos;
}

struct Probe {
    std::string label, uuid, type;
    bool opened = false;  // the device node could be read
};

// Label, UUID and type from the superblock, read by libblkid. Nothing when the device cannot
// be read (not root, gone).
Probe probeDevice(const std::string& device) {
    Probe out;
    blkid_probe pr = blkid_new_probe_from_filename(device.c_str());
    if (!pr) return out;
    out.opened = true;
    blkid_probe_enable_superblocks(pr, 1);
    blkid_probe_set_superblocks_flags(pr, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE);
    if (blkid_do_safeprobe(pr) == 0) {
        const char* value = nullptr;
        std::size_t len = 0;
        if (blkid_probe_lookup_value(pr, "LABEL", &value, &len) == 0 && value) out.label = value;
        if (blkid_probe_lookup_value(pr, "UUID", &value, &len) == 0 && value) out.uuid = value;
        if (blkid_probe_lookup_value(pr, "TYPE", &value, &len) == 0 && value) out.type = value;
    }
    blkid_free_probe(pr);
    return out;
}

// FUSE mounts of block devices say only "fuseblk"; the superblock says what is really there.
std::string fileSystemName(const std::string& mountType, const std::string& probedType) {
    std::string t = mountType;
    for (const char* prefix : {"fuseblk.", "fuse."}) {
        const std::string p(prefix);
        if (t.compare(0, p.size(), p) == 0 && (t.substr(p.size()) == "exfat" || t.substr(p.size()) == "vfat")) {
            return t.substr(p.size());
        }
    }
    if ((t == "fuseblk" || t == "fuse") && !probedType.empty()) return probedType;
    return t;
}

std::string lastComponent(const std::string& mountPoint) {
    if (mountPoint == "/" || mountPoint.empty()) return "/";
    std::string m = mountPoint;
    while (m.size() > 1 && m.back() == '/') m.pop_back();
    std::size_t slash = m.find_last_of('/');
    return slash == std::string::npos ? m : m.substr(slash + 1);
}

bool objectExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string joinPath(const std::string& a, const std::string& b) {
    if (!a.empty() && a.back() == '/') return a + b;
    return a + "/" + b;
}

std::string nfc(const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* n = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return text;
    icu::UnicodeString out = n->normalize(icu::UnicodeString::fromUTF8(text), status);
    if (U_FAILURE(status)) return text;
    std::string s;
    out.toUTF8String(s);
    return s;
}

// Kernels from 6.8 number every mount once for as long as they run; the numbers mountinfo shows
// are given again to later mounts.
constexpr unsigned kStatxUniqueMountID = 0x00004000U;

std::uint64_t uniqueMountID(const std::string& path) {
    struct statx st {};
    if (::statx(AT_FDCWD, path.c_str(), AT_NO_AUTOMOUNT, kStatxUniqueMountID, &st) != 0) return 0;
    return (st.stx_mask & kStatxUniqueMountID) ? st.stx_mnt_id : 0;
}

// Unique mount ids start above every id mountinfo gives.
constexpr std::uint64_t kLastReusedMountID = std::uint64_t{1} << 31;

// statmount(2), which the C library may not name yet; its number is the same on every
// architecture that numbers its calls from the common table.
#ifdef SYS_statmount
constexpr long kStatmountCall = SYS_statmount;
#else
constexpr long kStatmountCall = 457;
#endif

// struct mnt_id_req as first defined (MNT_ID_REQ_SIZE_VER0); nothing asked of the mount beyond
// whether it exists.
struct MountIDRequest {
    std::uint32_t size = sizeof(MountIDRequest);
    std::uint32_t spare = 0;
    std::uint64_t mountID = 0;
    std::uint64_t fields = 0;
};

// How many stacked file systems deep the folders beneath are followed.
constexpr int kMaxStackDepth = 8;

}  // namespace

std::vector<std::string> PhysicalDriveID::parts() const {
    std::vector<std::string> out;
    const std::string sep = " + ";
    std::size_t start = 0;
    for (;;) {
        std::size_t at = raw.find(sep, start);
        if (at == std::string::npos) {
            out.push_back(raw.substr(start));
            return out;
        }
        out.push_back(raw.substr(start, at - start));
        start = at + sep.size();
    }
}

bool sharesDrive(const PhysicalDriveID& a, const PhysicalDriveID& b) {
    if (a == b) return true;
    std::vector<std::string> pa = a.parts(), pb = b.parts();
    for (const std::string& x : pa) {
        if (std::find(pb.begin(), pb.end(), x) != pb.end()) return true;
    }
    return false;
}

std::optional<std::int64_t> maxFileSizeOf(const std::string& fileSystem, std::uint64_t blockSize) {
    if (fileSystem == "msdos" || fileSystem == "vfat") return std::int64_t{4294967295};
    if (fileSystem == "exfat" || fileSystem == "xfs" || fileSystem == "btrfs" || fileSystem == "tmpfs") return INT64_MAX;
    if (fileSystem == "ext4" && blockSize >= 1024 && blockSize <= 65536) {
        // Extent-mapped files address 2^32 - 1 blocks.
        return static_cast<std::int64_t>((std::uint64_t{1} << 32) - 1) * static_cast<std::int64_t>(blockSize);
    }
    return std::nullopt;
}

namespace {

// The volume `path` lies on, found as `mount` (nullptr: none) with this mount id, all from one
// reading of the mount table. `resolved` is path with its links followed.
VolumeInfo describeMount(const std::string& path, const std::string& resolved, const MountEntry* mount,
                         std::uint64_t mountID, const DriveSources& sources, const MountTable& mounts, int depth) {
    VolumeInfo v;
    v.path = path;
    if (mount) {
        // The mount table's number is the file system's; a file's own is its btrfs subvolume's.
        v.deviceNumber = std::to_string(mount->major) + ":" + std::to_string(mount->minor);
        v.mountRoot = mount->root;
        const std::uint64_t unique = uniqueMountID(resolved);
        const std::uint64_t id = unique != 0 ? unique : mountID;
        if (id != 0 && id <= static_cast<std::uint64_t>(INT64_MAX)) v.mountID = static_cast<std::int64_t>(id);
    }

    std::string source;
    std::string mountType = "?";
    v.volumePath = "/";
    std::string statPath = "/";
    if (mount) {
        v.volumePath = mount->mountPoint;
        source = mount->source;
        mountType = mount->fsType;
        statPath = resolved;
    }

    struct statvfs sv {};
    std::uint64_t blockSize = 0;
    if (::statvfs(statPath.c_str(), &sv) == 0) {
        v.totalBytes = static_cast<std::int64_t>(sv.f_blocks) * static_cast<std::int64_t>(sv.f_frsize);
        v.freeBytes = static_cast<std::int64_t>(sv.f_bavail) * static_cast<std::int64_t>(sv.f_frsize);
        blockSize = sv.f_bsize;
    }

    DiskFacts facts;
    Probe probe;
    v.drive.raw = "vol:" + v.volumePath;
    if (mount && layers::isNetworkType(mount->fsType)) {
        v.isNetwork = true;
        v.drive.raw = "net:" + Drives::networkHost(source);
        // Another machine's drive only where the kernel holds its server's address: a share served
        // from here is a view of a folder on one of this machine's drives, and a FUSE daemon's host
        // is its own word.
        if (layers::isFuse(mount->fsType) || !layers::servedElsewhere(*mount)) v.drive.raw = "unknown:" + v.drive.raw;
    } else if (std::vector<std::string> beneath = mount ? layers::foldersOf(*mount) : std::vector<std::string>();
               mount && (!beneath.empty() || mount->fsType == "overlay" ||
                         (layers::isFuse(mount->fsType) && mount->fsType.compare(0, 7, "fuseblk") != 0))) {
        // Files of a stacked file system are stored on the drives of the folders beneath it: it
        // must not pass for a drive of its own next to a backup on one of those drives. Those
        // folders are known by the names they were given at mount time (or by a FUSE daemon's own
        // word), which may lead elsewhere now, so its drive is not known either: its copies never
        // count.
        std::vector<std::string> parts{"unknown:stacked " + std::to_string(mount->major) + ":" + std::to_string(mount->minor)};
        if (depth < kMaxStackDepth)
            for (const std::string& dir : beneath)
                for (std::string& p : describeVolume(dir, sources, mounts, depth + 1).drive.parts()) parts.push_back(std::move(p));
        v.drive.raw = joinDriveParts(std::move(parts));
    } else if (mount && mount->fsType == "zfs") {
        // Every dataset of a pool lies on the pool's disks: one id per pool, never per mount.
        v.drive.raw = "unknown:zfs pool " + source.substr(0, source.find('/'));
    } else if (mount) {
        // The device behind the mount: the source's device node when it is one (FUSE and btrfs
        // mounts carry an anonymous device number), else the mount's own major:minor; for btrfs,
        // every device the file system spans.
        std::string deviceNode;
        unsigned major = mount->major, minor = mount->minor;
        struct stat ds {};
        if (source.compare(0, 5, "/dev/") == 0 && ::stat(source.c_str(), &ds) == 0 && S_ISBLK(ds.st_mode)) {
            major = ::major(ds.st_rdev);
            minor = ::minor(ds.st_rdev);
            deviceNode = source;
        } else if (major != 0) {
            const std::string byNumber = "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
            if (::stat(byNumber.c_str(), &ds) == 0 && S_ISBLK(ds.st_mode)) deviceNode = byNumber;
        }
        if (!deviceNode.empty() || major != 0) {
            facts = mount->fsType == "btrfs" ? btrfsFacts(major, minor, sources, mounts, depth)
                                             : diskFacts(major, minor, sources, mounts, depth);
            if (facts.known || !deviceNode.empty()) v.drive = facts.drive;
        }
        if (!deviceNode.empty()) probe = probeDevice(deviceNode);
        if (!probe.label.empty() || !probe.uuid.empty()) {
            v.identitySource = "superblock";
        } else if (major != 0 && sources.sysRoot == "/sys") {
            // An ordinary user cannot open the device, and a superblock read while the mounted file
            // system rewrites it can fail its checksum; the device database knows it for everyone.
            // It describes this machine's devices only, never those of another sys tree.
            if (std::optional<FileSystemFacts> db = deviceDatabaseFacts(major, minor)) {
                if (!probe.opened || !db->label.empty() || !db->uuid.empty()) {
                    probe.label = db->label;
                    probe.uuid = db->uuid;
                    probe.type = db->type;
                }
                if (!db->label.empty() || !db->uuid.empty()) v.identitySource = "udev";
            }
        }
    }

    v.fileSystem = mount ? fileSystemName(mountType, probe.type) : "?";
    const bool cameraFolders = objectExists(joinPath(v.volumePath, "DCIM")) || objectExists(joinPath(v.volumePath, "PRIVATE/M4ROOT"));
    const bool cardLikeDevice = containsNoCase(facts.protocol, "secure digital") || mediaNameSaysSD(facts.mediaName) ||
                                containsNoCase(facts.protocol, "cfexpress");
    v.isRemovable = facts.removable;
    v.isInternal = facts.known && facts.internal && !facts.isLoop;
    v.isLikelyCameraCard = cameraFolders || (cardLikeDevice && v.isRemovable);
    v.isDiskImage = facts.protocol == "Disk Image" || containsNoCase(facts.model, "disk image");
    // A mount of part of a volume is told from the whole by the part's path in it.
    v.name = probe.label.empty() ? lastComponent(v.volumePath)
                                 : repairUtf8(v.showsPart() ? probe.label + *v.mountRoot : probe.label);
    if (!probe.uuid.empty()) v.volumeID = probe.uuid;
    if (mount) v.maxFileSize = maxFileSizeOf(v.fileSystem, blockSize);
    // The content reader's own rule, asked of the volume described: what cannot be opened cannot
    // be told.
    UniqueFd fd(::open(statPath.c_str(), O_PATH | O_CLOEXEC));
    v.readsFromMedium = fd && !PageCache::volumeReads(defaultSys(), fd.get(), mounts).doubt;
    return v;
}

}  // namespace

VolumeInfo describeVolume(const std::string& path, const DriveSources& sources, const MountTable& mounts, int depth) {
    // A folder reached through a symbolic link lies on its target's volume.
    std::string resolved = path;
    if (char* r = ::realpath(path.c_str(), nullptr)) {
        resolved = r;
        std::free(r);
    }
    const MountEntry* mount = nullptr;
    std::uint64_t mountID = 0;
    struct statx st {};
    if (::statx(AT_FDCWD, resolved.c_str(), AT_NO_AUTOMOUNT, STATX_INO | STATX_MNT_ID, &st) == 0) {
        mountID = (st.stx_mask & STATX_MNT_ID) ? st.stx_mnt_id : 0;
        mount = findMount(mounts, mountID, st.stx_dev_major, st.stx_dev_minor, resolved);
    }
    return describeMount(path, resolved, mount, mountID, sources, mounts, depth);
}

PhysicalDriveID driveOfFileSystem(dev_t device, const DriveSources& sources, const MountTable& mounts, int depth) {
    const unsigned major = ::major(device), minor = ::minor(device);
    if (major != 0) return diskFacts(major, minor, sources, mounts, depth).drive;
    for (const MountEntry& m : mounts) {
        if (m.major != major || m.minor != minor) continue;
        // A mount point hidden by a later mount shows that other volume instead.
        struct stat st {};
        if (::stat(m.mountPoint.c_str(), &st) != 0 || st.st_dev != device) continue;
        return describeVolume(m.mountPoint, sources, mounts, depth).drive;
    }
    return PhysicalDriveID{"unknown:file system " + std::to_string(major) + ":" + std::to_string(minor)};
}

void sortVolumes(std::vector<VolumeInfo>& volumes) {
    std::vector<std::string> names;
    names.reserve(volumes.size());
    for (const VolumeInfo& v : volumes) names.push_back(nfc(repairUtf8(v.name)));
    std::vector<std::size_t> order(volumes.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    // UTF-8 byte order is code-point order, so comparing the NFC bytes compares scalar values.
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (volumes[a].isInternal != volumes[b].isInternal) return !volumes[a].isInternal;
        return names[a] < names[b];
    });
    std::vector<VolumeInfo> sorted;
    sorted.reserve(volumes.size());
    for (std::size_t i : order) sorted.push_back(std::move(volumes[i]));
    volumes = std::move(sorted);
}

namespace Drives {

VolumeInfo info(const std::string& path, const DriveSources& sources) {
    return describeVolume(path, sources, readMountInfo(sources.procRoot), 0);
}

std::optional<MountedListing> listMounted(const DriveSources& sources, const std::function<bool()>& stale) {
    MountedListing listing;
    const MountTable mounts = readMountInfo(sources.procRoot);
    // A later mount on the same point hides the earlier one: keep the last.
    std::vector<const MountEntry*> listed;
    for (const MountEntry& m : mounts) {
        const std::string& p = m.mountPoint;
        listing.mountPoints.insert(p);
        bool place = p == "/";
        for (const std::string& folder : sources.mediaFolders) place = place || (isPathPrefix(folder, p) && p != folder);
        const bool real = m.source.compare(0, 5, "/dev/") == 0 || layers::isNetworkType(m.fsType);
        if (!place || !real) continue;
        listed.erase(std::remove_if(listed.begin(), listed.end(), [&](const MountEntry* e) { return e->mountPoint == p; }),
                     listed.end());
        listed.push_back(&m);
    }
    for (const MountEntry* m : listed) {
        if (stale && stale()) return std::nullopt;
        // Only a mount point that this process can look at and that shows this very mount is
        // described: something mounted over it or over a folder above it hides it.
        struct statx st {};
        if (::statx(AT_FDCWD, m->mountPoint.c_str(), AT_NO_AUTOMOUNT | AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &st) != 0) continue;
        if (st.stx_mask & STATX_MNT_ID) {
            if (st.stx_mnt_id != m->mountID) continue;
        } else if ((st.stx_dev_major != m->major || st.stx_dev_minor != m->minor) && m->fsType != "btrfs") {
            // Without mount ids the device number tells, but for btrfs, whose subvolumes have
            // numbers of their own.
            continue;
        }
        listing.volumes.push_back(describeMount(m->mountPoint, m->mountPoint, m, m->mountID, sources, mounts, 0));
    }
    sortVolumes(listing.volumes);
    return listing;
}

std::vector<VolumeInfo> mountedVolumes(const DriveSources& sources) {
    return std::move(listMounted(sources, {})->volumes);
}

MountState mountState(const VolumeInfo& v) {
    if (!v.mountID || static_cast<std::uint64_t>(*v.mountID) <= kLastReusedMountID) return MountState::unknown;
    MountIDRequest request;
    request.mountID = static_cast<std::uint64_t>(*v.mountID);
    // Room for the fixed part of struct statmount; nothing of it is read.
    alignas(8) unsigned char answer[1024];
    if (::syscall(kStatmountCall, &request, answer, sizeof answer, 0) == 0) return MountState::mounted;
    return errno == ENOENT ? MountState::gone : MountState::unknown;
}

std::string networkHost(const std::string& source) {
    std::size_t start = 0;
    while (start < source.size() && source[start] == '/') ++start;
    std::string rest = source.substr(start);
    if (std::size_t at = rest.find('@'); at != std::string::npos) rest = rest.substr(at + 1);
    rest = rest.substr(0, rest.find_first_of("/:"));
    return lower(rest);
}

}  // namespace Drives

}  // namespace halvetrop

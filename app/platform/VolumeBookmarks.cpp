#include <sys/stat.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>

#include "drives/Drives.h"
#include "platform/LinuxServices.h"
#include "platform/MountInfo.h"

namespace halvetrop {

namespace {

constexpr int kVersion = 1;
constexpr qsizetype kMaxBlob = 64 * 1024;

// What a bookmark remembers. A volume with a file-system UUID is named by it and the path below
// its root, so it is found wherever it is mounted now; one without (tmpfs, network shares) by its
// mount point, file-system type and source. The mounted file system itself (its device number and
// mount id, which hold while it stays mounted) tells one whose UUID was not known yet when the
// bookmark was made from another volume mounted at its place since.
struct Stored {
    std::string path;
    std::string uuid;
    std::string below;  // from the root of the file system, not of the mount
    std::string mountPoint;
    std::string fileSystem;
    std::string source;
    std::string device;   // "major:minor"; empty in bookmarks made before it was kept
    std::string mountID;  // decimal; likewise
};

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Absolute, no empty, "." or ".." components, no trailing "/", no NUL.
bool isClean(const std::string& path) {
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos) return false;
    if (path == "/") return true;
    if (path.back() == '/') return false;
    std::size_t start = 1;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part(path.data() + start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

// `base` + the part of `path` below `prefix` (a whole-component prefix of it).
std::string rebase(const std::string& base, const std::string& prefix, const std::string& path) {
    std::string rest = prefix == "/" ? path : path.substr(prefix.size());
    if (rest.empty() || rest == "/") return base;
    return base == "/" ? rest : base + rest;
}

// The visible mount at each mount point (a later mount hides an earlier one there).
std::vector<MountEntry> visibleMounts() {
    std::vector<MountEntry> mounts = readMountInfo("/proc");
    std::vector<MountEntry> out;
    for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
        bool hidden = false;
        for (const MountEntry& m : out) hidden = hidden || m.mountPoint == it->mountPoint;
        if (!hidden) out.push_back(std::move(*it));
    }
    return out;
}

const MountEntry* mountAt(const std::vector<MountEntry>& mounts, const std::string& point) {
    for (const MountEntry& m : mounts)
        if (m.mountPoint == point) return &m;
    return nullptr;
}

QByteArray encode(const Stored& s) {
    auto bytes = [](const std::string& v) {
        return QString::fromLatin1(QByteArray::fromStdString(v).toPercentEncoding("/"));
    };
    QJsonObject o{{"v", kVersion},
                  {"path", bytes(s.path)},
                  {"uuid", QString::fromStdString(s.uuid)},
                  {"below", bytes(s.below)},
                  {"mount", bytes(s.mountPoint)},
                  {"fs", bytes(s.fileSystem)},
                  {"source", bytes(s.source)},
                  {"dev", QString::fromStdString(s.device)},
                  {"mnt", QString::fromStdString(s.mountID)}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<Stored> decode(const QByteArray& blob) {
    if (blob.isEmpty() || blob.size() > kMaxBlob) return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(blob, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    if (!o.value("v").isDouble() || o.value("v").toDouble() != kVersion) return std::nullopt;
    bool ok = true;
    auto text = [&](const char* key) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (!v.isString()) ok = false;
        const QString s = v.toString();
        // Percent-encoded bytes are ASCII; anything else was not written by make().
        for (QChar c : s) ok = ok && c.unicode() < 0x80;
        return QByteArray::fromPercentEncoding(s.toLatin1()).toStdString();
    };
    // The mounted file system's facts may be absent (bookmarks made before they were kept).
    auto optional = [&](const char* key) {
        return o.contains(QLatin1String(key)) ? text(key) : std::string();
    };
    Stored s{text("path"), text("uuid"),   text("below"),   text("mount"),
             text("fs"),   text("source"), optional("dev"), optional("mnt")};
    if (!ok || !isClean(s.path) || !isClean(s.mountPoint)) return std::nullopt;
    if (!s.uuid.empty() && !isClean(s.below)) return std::nullopt;
    return s;
}

}  // namespace

std::optional<QByteArray> VolumeBookmarks::make(const std::string& path) {
    if (!isClean(path) || !exists(path)) return std::nullopt;
    const VolumeInfo info = Drives::info(path);
    const std::vector<MountEntry> mounts = visibleMounts();
    const MountEntry* mount = mountAt(mounts, info.volumePath);
    if (!mount) return std::nullopt;

    std::string resolved = path;
    if (char* r = ::realpath(path.c_str(), nullptr)) {
        resolved = r;
        std::free(r);
    }
    if (!isPathPrefix(info.volumePath, resolved) || !isClean(mount->root)) return std::nullopt;
    Stored s{path,
             info.volumeID.value_or(""),
             rebase(mount->root, info.volumePath, resolved),
             info.volumePath,
             mount->fsType,
             mount->source,
             info.deviceNumber.value_or(""),
             info.mountID ? std::to_string(*info.mountID) : std::string()};
    return encode(s);
}

std::optional<QByteArray> VolumeBookmarks::renewed(const QByteArray& bookmark) {
    const std::optional<Stored> s = decode(bookmark);
    if (!s || !s->uuid.empty()) return std::nullopt;
    const std::optional<std::string> path = resolve(bookmark);
    if (!path || !Drives::info(*path).volumeID) return std::nullopt;
    return make(*path);
}

std::optional<std::string> VolumeBookmarks::resolve(const QByteArray& bookmark) {
    const std::optional<Stored> s = decode(bookmark);
    if (!s) return std::nullopt;
    const std::vector<MountEntry> mounts = visibleMounts();

    if (s->uuid.empty()) {
        // Only the same kind of volume from the same source at the same place; an empty
        // mount-point folder on the disk below is not it.
        if (!exists(s->path)) return std::nullopt;
        const VolumeInfo info = Drives::info(s->path);
        const MountEntry* mount = mountAt(mounts, info.volumePath);
        if (!mount || info.volumePath != s->mountPoint || mount->fsType != s->fileSystem ||
            mount->source != s->source)
            return std::nullopt;
        // A volume that has a UUID now is the one remembered only while it is the very file system
        // that was mounted there then: cards share labels, and a mount folder outlives its drive.
        if (info.volumeID && (s->device.empty() || s->mountID.empty() || info.deviceNumber != s->device ||
                              !info.mountID || std::to_string(*info.mountID) != s->mountID))
            return std::nullopt;
        return s->path;
    }

    // The remembered place first, then wherever the volume is mounted now.
    auto sameVolume = [&](const std::string& candidate, const std::string& mountPoint) {
        if (!exists(candidate)) return false;
        const VolumeInfo info = Drives::info(candidate);
        return info.volumeID == s->uuid && info.volumePath == mountPoint;
    };
    if (const MountEntry* m = mountAt(mounts, s->mountPoint); m && isPathPrefix(m->root, s->below)) {
        const std::string candidate = rebase(m->mountPoint, m->root, s->below);
        if (sameVolume(candidate, m->mountPoint)) return candidate;
    }
    for (const MountEntry& m : mounts) {
        if (m.mountPoint == s->mountPoint || m.source.compare(0, 5, "/dev/") != 0) continue;
        if (!isClean(m.root) || !isPathPrefix(m.root, s->below)) continue;
        const std::string candidate = rebase(m.mountPoint, m.root, s->below);
        if (sameVolume(candidate, m.mountPoint)) return candidate;
    }
    return std::nullopt;
}

}  // namespace halvetrop

#pragma once
// The vocabulary every check speaks about card files. These values are written into stored
// reports and the history, so the raw texts below are a persistent format: never rename a case.
#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace halvetrop {

// What a file holds. The raw value of each case is its name.
enum class MediaKind { photo, video, audio, other };

// Listing order of the kinds wherever they are iterated (choosers, summaries).
inline constexpr std::array<MediaKind, 4> allMediaKinds{MediaKind::photo, MediaKind::video,
                                                        MediaKind::audio, MediaKind::other};

std::string_view rawValue(MediaKind kind);  // "photo", "video", "audio", "other"
std::string_view label(MediaKind kind);     // "Photos", "Videos", "Audio", "Other"
// Case-sensitive: "Photo" names no kind.
std::optional<MediaKind> mediaKindFromRaw(std::string_view text);

// The part a file plays on a card. Not iterable and without a label.
enum class FileRole { media, sidecar, proxy, thumbnail, cameraData, junk };

std::string_view rawValue(FileRole role);  // "media", "sidecar", ..., "cameraData", "junk"
std::optional<FileRole> fileRoleFromRaw(std::string_view text);

// What classification says of one path. Coding keys "kind", "role", "raw".
struct FileClass {
    MediaKind kind = MediaKind::other;
    FileRole role = FileRole::media;
    // Only ever true for role media, kind photo and a RAW extension.
    bool raw = false;

    friend bool operator==(const FileClass&, const FileClass&) = default;
};

// Which half of a RAW + processed pair a check requires; applied by the card scan, not by
// VerifyScope::contains.
enum class PhotoFormats { all, rawOnly, processedOnly };

inline constexpr std::array<PhotoFormats, 3> allPhotoFormats{
    PhotoFormats::all, PhotoFormats::rawOnly, PhotoFormats::processedOnly};

std::string_view rawValue(PhotoFormats formats);  // "all", "rawOnly", "processedOnly"
std::string_view label(PhotoFormats formats);     // "All photos", "RAW only", "JPEG/HEIF only"
std::optional<PhotoFormats> photoFormatsFromRaw(std::string_view text);

// Generic spelling of the three parsers above, for code that encodes enumerations by raw value.
template <class E>
std::optional<E> fromRawValue(std::string_view text);
template <>
inline std::optional<MediaKind> fromRawValue<MediaKind>(std::string_view text) {
    return mediaKindFromRaw(text);
}
template <>
inline std::optional<FileRole> fromRawValue<FileRole>(std::string_view text) {
    return fileRoleFromRaw(text);
}
template <>
inline std::optional<PhotoFormats> fromRawValue<PhotoFormats>(std::string_view text) {
    return photoFormatsFromRaw(text);
}

// Which card files a check requires on the backups. Coding keys are the field names: "kinds"
// (a list of raw values whose order means nothing), "includeSidecars", "includeProxies",
// "includeCameraData", "photoFormats"; all five are required when decoding.
struct VerifyScope {
    std::set<MediaKind> kinds{MediaKind::photo, MediaKind::video, MediaKind::audio};
    bool includeSidecars = false;
    bool includeProxies = false;  // also governs thumbnails
    bool includeCameraData = false;
    PhotoFormats photoFormats = PhotoFormats::all;

    // Exactly these kinds, every include flag false, all photo formats.
    static VerifyScope withKinds(std::set<MediaKind> kinds);

    // Whether a file of this class must be backed up. Neither `raw` nor photoFormats takes part.
    bool contains(const FileClass& fileClass) const;

    friend bool operator==(const VerifyScope&, const VerifyScope&) = default;
};

// One camera family found on a card, e.g. {"sony.xavc", "Sony XAVC video"}. Coding keys "id",
// "name".
struct CameraProfile {
    std::string id;
    std::string name;

    friend bool operator==(const CameraProfile&, const CameraProfile&) = default;
};

}  // namespace halvetrop

template <>
struct std::hash<halvetrop::FileClass> {
    std::size_t operator()(const halvetrop::FileClass& c) const noexcept {
        return (static_cast<std::size_t>(c.kind) << 4) ^ (static_cast<std::size_t>(c.role) << 1) ^
               static_cast<std::size_t>(c.raw);
    }
};

template <>
struct std::hash<halvetrop::VerifyScope> {
    std::size_t operator()(const halvetrop::VerifyScope& s) const noexcept {
        std::size_t bits = 0;
        for (halvetrop::MediaKind k : s.kinds) bits |= std::size_t{1} << static_cast<unsigned>(k);
        bits = (bits << 1) | static_cast<std::size_t>(s.includeSidecars);
        bits = (bits << 1) | static_cast<std::size_t>(s.includeProxies);
        bits = (bits << 1) | static_cast<std::size_t>(s.includeCameraData);
        bits = (bits << 2) | static_cast<std::size_t>(s.photoFormats);
        return std::hash<std::size_t>{}(bits);
    }
};

template <>
struct std::hash<halvetrop::CameraProfile> {
    std::size_t operator()(const halvetrop::CameraProfile& p) const noexcept {
        std::size_t h = std::hash<std::string>{}(p.id);
        return h ^ (std::hash<std::string>{}(p.name) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
    }
};

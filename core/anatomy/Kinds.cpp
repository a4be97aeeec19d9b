#include "anatomy/Kinds.h"

#include <utility>

namespace halvetrop {

std::string_view rawValue(MediaKind kind) {
    switch (kind) {
        case MediaKind::photo: return "photo";
        case MediaKind::video: return "video";
        case MediaKind::audio: return "audio";
        case MediaKind::other: return "other";
    }
    return "other";
}

std::string_view label(MediaKind kind) {
    switch (kind) {
        case MediaKind::photo: return "Photos";
        case MediaKind::video: return "Videos";
        case MediaKind::audio: return "Audio";
        case MediaKind::other: return "Other";
    }
    return "Other";
}

std::optional<MediaKind> mediaKindFromRaw(std::string_view text) {
    for (MediaKind kind : allMediaKinds) {
        if (rawValue(kind) == text) return kind;
    }
    return std::nullopt;
}

std::string_view rawValue(FileRole role) {
    switch (role) {
        case FileRole::media: return "media";
        case FileRole::sidecar: return "sidecar";
        case FileRole::proxy: return "proxy";
        case FileRole::thumbnail: return "thumbnail";
        case FileRole::cameraData: return "cameraData";
        case FileRole::junk: return "junk";
    }
    return "media";
}

std::optional<FileRole> fileRoleFromRaw(std::string_view text) {
    for (FileRole role : {FileRole::media, FileRole::sidecar, FileRole::proxy, FileRole::thumbnail,
                          FileRole::cameraData, FileRole::junk}) {
        if (rawValue(role) == text) return role;
    }
    return std::nullopt;
}

std::string_view rawValue(PhotoFormats formats) {
    switch (formats) {
        case PhotoFormats::all: return "all";
        case PhotoFormats::rawOnly: return "rawOnly";
        case PhotoFormats::processedOnly: return "processedOnly";
    }
    return "all";
}

std::string_view label(PhotoFormats formats) {
    switch (formats) {
        case PhotoFormats::all: return "All photos";
        case PhotoFormats::rawOnly: return "RAW only";
        case PhotoFormats::processedOnly: return "JPEG/HEIF only";
    }
    return "All photos";
}

std::optional<PhotoFormats> photoFormatsFromRaw(std::string_view text) {
    for (PhotoFormats formats : allPhotoFormats) {
        if (rawValue(formats) == text) return formats;
    }
    return std::nullopt;
}

VerifyScope VerifyScope::withKinds(std::set<MediaKind> kinds) {
    VerifyScope scope;
    scope.kinds = std::move(kinds);
    scope.includeSidecars = false;
    scope.includeProxies = false;
    scope.includeCameraData = false;
    scope.photoFormats = PhotoFormats::all;
    return scope;
}

bool VerifyScope::contains(const FileClass& fileClass) const {
    const bool kindWanted = kinds.count(fileClass.kind) != 0;
    switch (fileClass.role) {
        case FileRole::media: return kindWanted;
        case FileRole::sidecar: return includeSidecars && kindWanted;
        // Thumbnails have no flag of their own: they travel with the proxies.
        case FileRole::proxy:
        case FileRole::thumbnail: return includeProxies && kindWanted;
        case FileRole::cameraData: return includeCameraData;
        case FileRole::junk: return false;
    }
    return false;
}

}  // namespace halvetrop

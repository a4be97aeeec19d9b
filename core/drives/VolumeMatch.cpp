#include "drives/VolumeMatch.h"

namespace halvetrop {

VolumeMatch matchVolume(const VolumeInfo& recorded, const VolumeInfo& live) {
    if (recorded.volumeID && live.volumeID)
        return *recorded.volumeID == *live.volumeID ? VolumeMatch::same : VolumeMatch::different;
    // A UUID on one side only (read by root then, not now; the device database gone) says
    // nothing either way; the mount itself still can.
    const bool mounted = recorded.deviceNumber && recorded.mountID && live.deviceNumber && live.mountID;
    if (mounted && *recorded.deviceNumber == *live.deviceNumber && *recorded.mountID == *live.mountID &&
        recorded.fileSystem == live.fileSystem)
        return VolumeMatch::same;
    return VolumeMatch::cannotTell;
}

bool sameMount(const VolumeInfo& a, const VolumeInfo& b) {
    if (a.volumeID && b.volumeID && *a.volumeID != *b.volumeID) return false;
    const bool factsA = a.deviceNumber && a.mountID, factsB = b.deviceNumber && b.mountID;
    if (!factsA && !factsB) return a.volumePath == b.volumePath;
    return factsA && factsB && *a.deviceNumber == *b.deviceNumber && *a.mountID == *b.mountID &&
           a.fileSystem == b.fileSystem;
}

namespace {

std::string_view shownPart(const VolumeInfo& v) { return v.showsPart() ? std::string_view(*v.mountRoot) : ""; }

std::string_view belowMountPoint(const VolumeInfo& v) {
    std::string_view below = v.path;
    if (below.starts_with(v.volumePath)) below.remove_prefix(v.volumePath.size());
    return below;
}

}  // namespace

std::string placeInVolume(const VolumeInfo& v) {
    std::string place(shownPart(v));
    place.append(belowMountPoint(v));
    return place;
}

std::optional<std::string> pathOfPlace(const VolumeInfo& live, const VolumeInfo& recorded) {
    if (!recorded.mountRoot) return live.volumePath + std::string(belowMountPoint(recorded));
    const std::string place = placeInVolume(recorded);
    const std::string_view part = shownPart(live);
    std::string_view rest = place;
    if (!rest.starts_with(part)) return std::nullopt;
    rest.remove_prefix(part.size());
    if (!part.empty() && !rest.empty() && rest.front() != '/') return std::nullopt;
    return live.volumePath + std::string(rest);
}

}  // namespace halvetrop

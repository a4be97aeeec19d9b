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

}  // namespace halvetrop

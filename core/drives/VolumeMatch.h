#pragma once
// Whether a volume described now is the volume a report recorded. One rule for every place that
// acts on a recorded card or backup (copies, the copy dialog, the history, the card in the
// reader): cameras label their cards alike and rotated backup drives share a name, so neither a
// name nor a mount point ever says "the same".
#include "drives/Drives.h"

namespace halvetrop {

enum class VolumeMatch {
    same,        // proven the same volume
    different,   // proven another volume: the file-system UUIDs differ
    cannotTell,  // the facts both sides have cannot tell it from another volume
};

// The same UUID when both have one. Otherwise the same mounted file system: the same device number
// and mount id (and file-system type), which hold only while it stays mounted. Anything less
// cannot tell them apart.
VolumeMatch matchVolume(const VolumeInfo& recorded, const VolumeInfo& live);

}  // namespace halvetrop

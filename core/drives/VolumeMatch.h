#pragma once
// Whether a volume described now is the volume a report recorded. One rule for every place that
// acts on a recorded card or backup (copies, the copy dialog, the history, the card in the
// reader): cameras label their cards alike and rotated backup drives share a name, so neither a
// name nor a mount point ever says "the same".
#include "drives/Drives.h"

#include <optional>
#include <string>
#include <string_view>

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

// The same mount of a file system, as the kernel holds it: the same mount id and device number
// (and file-system type), and no other UUID. A card taken out and another put in its place at
// once is another mount, whatever its label, its UUID or its reader's device number; so is the
// same card mounted again. Without mount facts on either side, the same mount point and no other
// UUID stand in for them.
bool sameMount(const VolumeInfo& a, const VolumeInfo& b);

// Where a described folder lies in its volume: the part of the file system its mount shows, then
// the folder's path below the mount point ("" for the root of a mount of the whole). Every mount of
// one volume (the whole, a subvolume mounted alone, a bind mount) puts a folder at one place. A
// volume described without its mount's root counts as mounted whole.
std::string placeInVolume(const VolumeInfo& v);

// The path at which a mount (`live`) of the volume a folder was recorded on (`recorded`) shows
// that folder; nullopt when the mount shows another part of the volume. A folder recorded without
// its mount's root is looked for below the mount point alone.
std::optional<std::string> pathOfPlace(const VolumeInfo& live, const VolumeInfo& recorded);

}  // namespace halvetrop

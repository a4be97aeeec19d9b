#pragma once
// Where a shoot of the card already lies on one backup drive.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "drives/Drives.h"
#include "match/Status.h"

namespace halvetrop {

class DestIndex;

// Names one shoot: the card folder, camera and shoot day its files share.
struct GroupKey {
  std::string sourceFolder;
  std::string camera;
  std::string shootDay;

  friend bool operator==(const GroupKey&, const GroupKey&) = default;
};

// A directory of the backup index with the number of the shoot's files assigned to it.
struct LandingDir {
  std::uint32_t dir = 0;
  int files = 0;

  friend bool operator==(const LandingDir&, const LandingDir&) = default;
};

struct Landing {
  PhysicalDriveID drive;
  // Most files first; equal counts by directory id ascending so that the same shoot always
  // lands the same way. At most three entries when scattered.
  std::vector<LandingDir> dominant;
  bool scattered = false;  // five or more directories were needed for nine tenths of the files
  std::optional<std::uint32_t> lca;  // deepest directory containing every dominant directory
  int located = 0;  // files with at least one usable copy on the drive
  int total = 0;    // files in the shoot

  friend bool operator==(const Landing&, const Landing&) = default;
};

// One list of locations per file of the shoot. A usable copy is an identical one at level
// sampled or above on `drive`, whatever its class.
Landing landing(std::span<const std::vector<Location>> groupFiles, const PhysicalDriveID& drive,
                const DestIndex& index);
// The same over location lists held elsewhere (e.g. the check's per-file lists), without copying
// them; a null entry counts as a file without locations.
Landing landing(std::span<const std::vector<Location>* const> groupFiles,
                const PhysicalDriveID& drive, const DestIndex& index);

// The deepest directory of the index that contains every given directory (a directory contains
// itself). None for an empty list, for directories under different backup roots, and for an id
// that is not a directory of the index.
std::optional<std::uint32_t> lowestCommonAncestor(std::span<const std::uint32_t> dirs,
                                                  const DestIndex& index);

}  // namespace halvetrop

template <>
struct std::hash<halvetrop::GroupKey> {
  std::size_t operator()(const halvetrop::GroupKey& k) const noexcept;
};

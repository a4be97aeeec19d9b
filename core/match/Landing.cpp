#include "match/Landing.h"

#include <algorithm>
#include <unordered_map>

#include "match/CaseNames.h"
#include "match/DestIndex.h"

namespace halvetrop {

namespace {

bool usableOn(const Location& location, const PhysicalDriveID& drive) {
  return location.drive.raw == drive.raw && location.verdict.isIdentical() &&
         location.verdict.evidence() >= EvidenceLevel::sampled;
}

// The chain from the directory's backup root down to the directory itself. None when the id or a
// parent on the way is not a directory of the index, or when the parents never reach a root: a
// damaged table must not send the walk out of bounds or round in circles.
std::optional<std::vector<std::uint32_t>> pathFromRoot(std::uint32_t dir, const DestIndex& index) {
  const std::vector<DestIndex::Dir>& dirs = index.dirs();
  std::vector<std::uint32_t> chain;
  std::uint32_t d = dir;
  while (true) {
    if (d >= dirs.size() || chain.size() >= dirs.size()) return std::nullopt;
    chain.push_back(d);
    if (dirs[d].parent == d) break;
    d = dirs[d].parent;
  }
  std::reverse(chain.begin(), chain.end());
  return chain;
}

const std::vector<Location>& filesLocations(const std::vector<Location>& file) { return file; }

const std::vector<Location>& filesLocations(const std::vector<Location>* file) {
  static const std::vector<Location> none;
  return file != nullptr ? *file : none;
}

template <class FileList>
Landing landingOver(FileList groupFiles, const PhysicalDriveID& drive, const DestIndex& index) {
  Landing result;
  result.drive = drive;
  result.total = static_cast<int>(groupFiles.size());

  std::unordered_map<std::uint32_t, double> weight;
  std::vector<const Location*> usable;
  for (const auto& file : groupFiles) {
    usable.clear();
    for (const Location& location : filesLocations(file))
      if (usableOn(location, drive)) usable.push_back(&location);
    if (usable.empty()) continue;
    const double share = 1.0 / static_cast<double>(usable.size());
    for (const Location* location : usable) weight[location->dirID] += share;
  }

  std::unordered_map<std::uint32_t, int> count;
  for (const auto& file : groupFiles) {
    const Location* chosen = nullptr;
    for (const Location& location : filesLocations(file)) {
      if (!usableOn(location, drive)) continue;
      if (chosen == nullptr || weight[location.dirID] > weight[chosen->dirID]) chosen = &location;
    }
    if (chosen == nullptr) continue;
    ++count[chosen->dirID];
    ++result.located;
  }

  std::vector<LandingDir> order;
  order.reserve(count.size());
  for (const auto& [dir, files] : count) order.push_back({dir, files});
  // Equal counts by directory id so that the same shoot always lands the same way.
  std::sort(order.begin(), order.end(), [](const LandingDir& a, const LandingDir& b) {
    return a.files != b.files ? a.files > b.files : a.dir < b.dir;
  });

  const double threshold = 0.9 * static_cast<double>(result.located);
  double running = 0;
  for (const LandingDir& entry : order) {
    if (!(running < threshold)) break;
    result.dominant.push_back(entry);
    running += entry.files;
  }

  if (result.dominant.size() >= 5) {
    result.scattered = true;
    result.dominant.resize(3);
  }

  std::vector<std::uint32_t> dominantDirs;
  dominantDirs.reserve(result.dominant.size());
  for (const LandingDir& entry : result.dominant) dominantDirs.push_back(entry.dir);
  result.lca = lowestCommonAncestor(dominantDirs, index);
  return result;
}

}  // namespace

Landing landing(std::span<const std::vector<Location>> groupFiles, const PhysicalDriveID& drive,
                const DestIndex& index) {
  return landingOver(groupFiles, drive, index);
}

Landing landing(std::span<const std::vector<Location>* const> groupFiles,
                const PhysicalDriveID& drive, const DestIndex& index) {
  return landingOver(groupFiles, drive, index);
}

std::optional<std::uint32_t> lowestCommonAncestor(std::span<const std::uint32_t> dirs,
                                                  const DestIndex& index) {
  if (dirs.empty()) return std::nullopt;
  std::optional<std::vector<std::uint32_t>> common = pathFromRoot(dirs.front(), index);
  if (!common) return std::nullopt;
  for (std::size_t i = 1; i < dirs.size() && !common->empty(); ++i) {
    const std::optional<std::vector<std::uint32_t>> path = pathFromRoot(dirs[i], index);
    if (!path) return std::nullopt;
    const auto mismatch = std::mismatch(common->begin(), common->end(), path->begin(), path->end());
    common->erase(mismatch.first, common->end());
  }
  if (common->empty()) return std::nullopt;
  return common->back();
}

}  // namespace halvetrop

std::size_t std::hash<halvetrop::GroupKey>::operator()(const halvetrop::GroupKey& k) const noexcept {
  std::hash<std::string> text;
  std::size_t h = text(k.sourceFolder);
  h = halvetrop::caseNames::mix(h, text(k.camera));
  return halvetrop::caseNames::mix(h, text(k.shootDay));
}

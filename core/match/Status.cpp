#include "match/Status.h"

#include "match/CaseNames.h"

#include <array>
#include <unordered_set>
#include <utility>

namespace halvetrop {

namespace {

using caseNames::mix;

constexpr std::array<std::string_view, 7> classNames{
    "primary", "mirror", "duplicate", "hardLink", "clone", "insideLibrary", "cardMirror"};
constexpr std::array<std::string_view, 10> statusNames{
    "verified",       "backedUp", "differentFileSameName", "missing", "cloudOnlyPlaceholder",
    "checking",       "likelyBackedUp", "cantRead",          "changed", "notNeeded"};

// A volume spread over several disks that include the card's dies with the card as surely as a
// copy on the card's own drive.
bool onDrive(const Location& location, const std::optional<PhysicalDriveID>& drive) {
  return drive && sharesDrive(location.drive, *drive);
}

// Higher is more telling about why a same-name file is no copy.
int sameNamePriority(const PairVerdict& verdict) {
  using Kind = PairVerdict::Kind;
  switch (verdict.kind) {
    case Kind::edited:
      return 6;
    case Kind::incomplete:
      return 5;
    case Kind::damaged:
      return 4;
    case Kind::unreadableCopy:
      return 3;
    case Kind::different:
      return verdict.reason.kind == DifferenceReason::Kind::otherShot ? 2 : 1;
    default:
      return 0;
  }
}

}  // namespace

std::string_view rawValue(LocationClass cls) { return caseNames::nameOf(classNames, cls); }

std::optional<LocationClass> locationClassFromRaw(std::string_view text) {
  return caseNames::fromName<LocationClass>(classNames, text);
}

std::string_view rawValue(PrimaryStatus::Kind kind) { return caseNames::nameOf(statusNames, kind); }

std::optional<PrimaryStatus::Kind> primaryStatusKindFromRaw(std::string_view text) {
  return caseNames::fromName<PrimaryStatus::Kind>(statusNames, text);
}

PrimaryStatus PrimaryStatus::verified(int copies, bool renamed) {
  PrimaryStatus s = make(Kind::verified);
  s.copies = copies;
  s.renamed = renamed;
  return s;
}

PrimaryStatus PrimaryStatus::backedUp(bool renamed) {
  PrimaryStatus s = make(Kind::backedUp);
  s.renamed = renamed;
  return s;
}

PrimaryStatus PrimaryStatus::differentFileSameName(PairVerdict verdict) {
  PrimaryStatus s = make(Kind::differentFileSameName);
  s.verdict = std::move(verdict);
  return s;
}

PrimaryStatus PrimaryStatus::missing(std::optional<PairVerdict> relatedHint) {
  PrimaryStatus s = make(Kind::missing);
  s.relatedHint = std::move(relatedHint);
  return s;
}

bool operator==(const PrimaryStatus& a, const PrimaryStatus& b) {
  if (a.kind != b.kind) return false;
  using Kind = PrimaryStatus::Kind;
  switch (a.kind) {
    case Kind::verified:
      return a.copies == b.copies && a.renamed == b.renamed;
    case Kind::backedUp:
      return a.renamed == b.renamed;
    case Kind::differentFileSameName:
      return a.verdict == b.verdict;
    case Kind::missing:
      return a.relatedHint == b.relatedHint;
    default:
      return true;
  }
}

PrimaryStatus primaryStatus(std::span<const Location> locations, bool sourceReadFailed,
                            bool sourceChanged, bool pending, const SafeToFormatPolicy& /*policy*/,
                            const std::optional<PhysicalDriveID>& sourceDrive) {
  if (sourceReadFailed) return PrimaryStatus::cantRead();
  if (sourceChanged) return PrimaryStatus::changed();

  // A hard link is the card file itself, and a copy on the card's own drive dies with the card.
  std::vector<const Location*> considered;
  considered.reserve(locations.size());
  for (const Location& location : locations) {
    if (location.cls == LocationClass::hardLink) continue;
    if (onDrive(location, sourceDrive)) continue;
    considered.push_back(&location);
  }

  const Location* best = nullptr;
  for (const Location* location : considered) {
    if (!location->verdict.isIdentical()) continue;
    if (best == nullptr) {
      best = location;
      continue;
    }
    const EvidenceLevel level = location->verdict.evidence();
    const EvidenceLevel bestLevel = best->verdict.evidence();
    if (level > bestLevel || (level == bestLevel && location->sameName && !best->sameName))
      best = location;
  }

  if (best != nullptr) {
    const bool renamed = !best->sameName;
    if (best->verdict.evidence() == EvidenceLevel::verified) {
      std::unordered_set<std::string> drives;
      for (const Location* location : considered)
        if (location->verdict.isIdentical() &&
            location->verdict.evidence() == EvidenceLevel::verified)
          drives.insert(location->drive.raw);
      return PrimaryStatus::verified(static_cast<int>(drives.size()), renamed);
    }
    return PrimaryStatus::backedUp(renamed);
  }

  if (pending) return PrimaryStatus::checking();

  for (const Location* location : considered)
    if (location->verdict.kind == PairVerdict::Kind::plausible)
      return PrimaryStatus::likelyBackedUp();

  for (const Location* location : considered)
    if (location->verdict.kind == PairVerdict::Kind::placeholder && location->sameName)
      return PrimaryStatus::cloudOnlyPlaceholder();

  const PairVerdict* telling = nullptr;
  int tellingPriority = -1;
  for (const Location* location : considered) {
    if (!location->sameName) continue;
    const int priority = sameNamePriority(location->verdict);
    if (priority > tellingPriority) {
      telling = &location->verdict;
      tellingPriority = priority;
    }
  }
  if (telling != nullptr && tellingPriority >= 1)
    return PrimaryStatus::differentFileSameName(*telling);

  for (const Location* location : considered)
    if (location->verdict.kind == PairVerdict::Kind::converted)
      return PrimaryStatus::missing(location->verdict);

  return PrimaryStatus::missing();
}

// No resolved drive: nothing on it can be shown to lie apart from the card. A volume spread over
// several disks is unknown when any of them is: that one could be the card's.
bool unknownDrive(const PhysicalDriveID& drive) {
  for (const std::string& part : drive.parts()) {
    if (part.empty() || part == "?" || part.starts_with("unknown:")) return true;
  }
  return false;
}

std::set<PhysicalDriveID> qualifyingDrives(std::span<const Location> locations,
                                           const SafeToFormatPolicy& policy,
                                           const std::optional<PhysicalDriveID>& sourceDrive) {
  std::set<PhysicalDriveID> drives;
  for (const Location& location : locations) {
    // A volume over several disks that include the card's is the card's drive too.
    if (sourceDrive && sharesDrive(location.drive, *sourceDrive)) continue;
    if (location.cls == LocationClass::hardLink || location.cls == LocationClass::clone) continue;
    if (unknownDrive(location.drive)) continue;
    const PairVerdict& verdict = location.verdict;
    if (verdict.isIdentical() && verdict.evidence() >= policy.minEvidence) {
      drives.insert(location.drive);
    } else if (verdict.kind == PairVerdict::Kind::edited && verdict.essenceVerified &&
               policy.acceptEditedCopies) {
      drives.insert(location.drive);
    }
  }
  return drives;
}

}  // namespace halvetrop

std::size_t std::hash<halvetrop::Location>::operator()(
    const halvetrop::Location& l) const noexcept {
  std::size_t h = std::hash<std::uint32_t>{}(l.row);
  h = halvetrop::mix(h, std::hash<std::string>{}(l.drive.raw));
  h = halvetrop::mix(h, std::hash<std::uint32_t>{}(l.dirID));
  h = halvetrop::mix(h, std::hash<halvetrop::PairVerdict>{}(l.verdict));
  h = halvetrop::mix(h, static_cast<std::size_t>(l.sameName));
  return halvetrop::mix(h, static_cast<std::size_t>(l.cls));
}

std::size_t std::hash<halvetrop::PrimaryStatus>::operator()(
    const halvetrop::PrimaryStatus& s) const noexcept {
  using Kind = halvetrop::PrimaryStatus::Kind;
  std::size_t h = static_cast<std::size_t>(s.kind) * 0x100000001b3ULL;
  switch (s.kind) {
    case Kind::verified:
      return halvetrop::mix(halvetrop::mix(h, static_cast<std::size_t>(s.copies)),
                            static_cast<std::size_t>(s.renamed));
    case Kind::backedUp:
      return halvetrop::mix(h, static_cast<std::size_t>(s.renamed));
    case Kind::differentFileSameName:
      return halvetrop::mix(h, std::hash<halvetrop::PairVerdict>{}(s.verdict));
    case Kind::missing:
      return s.relatedHint ? halvetrop::mix(h, std::hash<halvetrop::PairVerdict>{}(*s.relatedHint))
                           : h;
    default:
      return h;
  }
}

std::size_t std::hash<halvetrop::SafeToFormatPolicy>::operator()(
    const halvetrop::SafeToFormatPolicy& p) const noexcept {
  std::size_t h = std::hash<std::int64_t>{}(p.requiredCopies);
  h = halvetrop::mix(h, static_cast<std::size_t>(p.minEvidence));
  for (const std::string& drive : p.requiredDrives)
    h = halvetrop::mix(h, std::hash<std::string>{}(drive));
  h = halvetrop::mix(h, static_cast<std::size_t>(p.acceptEditedCopies));
  h = halvetrop::mix(h, static_cast<std::size_t>(p.countCloudCopies));
  // +0.0 and -0.0 compare equal, so they must hash alike.
  const double age = p.maxDestEvidenceAge == 0.0 ? 0.0 : p.maxDestEvidenceAge;
  return halvetrop::mix(h, std::hash<double>{}(age));
}

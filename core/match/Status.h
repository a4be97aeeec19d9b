#pragma once
// From the examined copies of one card file to its one status, and to the set of drives that
// count towards formatting the card.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "drives/Drives.h"
#include "match/EvidenceLevel.h"
#include "match/Verdict.h"

namespace halvetrop {

// How a location relates to other places of the same content. Only hardLink (never a copy) and
// clone (not counted for formatting) are treated specially; every other class acts as primary.
enum class LocationClass : std::uint8_t {
  primary,
  mirror,
  duplicate,
  hardLink,
  clone,
  insideLibrary,
  cardMirror,
};

std::string_view rawValue(LocationClass cls);  // the case names above
std::optional<LocationClass> locationClassFromRaw(std::string_view text);

// Generic spelling of the parser above, for code that decodes enumerations by raw value.
template <class E>
std::optional<E> fromRawValue(std::string_view text);
template <>
inline std::optional<LocationClass> fromRawValue<LocationClass>(std::string_view text) {
  return locationClassFromRaw(text);
}

// One place where a candidate copy of a card file was examined. The operations below take a card
// file's locations as an ordered list: their tie-breaks depend on that order.
struct Location {
  std::uint32_t row = 0;    // the backup file's row in the backup index
  PhysicalDriveID drive;    // the physical drive that holds it
  std::uint32_t dirID = 0;  // its directory in the backup index
  PairVerdict verdict;
  bool sameName = false;    // found under the card file's name
  LocationClass cls = LocationClass::primary;

  friend bool operator==(const Location&, const Location&) = default;
};

// The one status of a card file. Build with the factories; equality looks only at the payload
// of `kind`.
struct PrimaryStatus {
  enum class Kind : std::uint8_t {
    verified,               // copies, renamed
    backedUp,               // renamed
    differentFileSameName,  // verdict: the most telling same-name verdict
    missing,                // relatedHint: a converted verdict, when one was found
    cloudOnlyPlaceholder,
    checking,
    likelyBackedUp,
    cantRead,
    changed,
    notNeeded,  // never returned by primaryStatus
  };

  Kind kind = Kind::missing;
  int copies = 0;        // verified: distinct drives holding a verified identical copy
  bool renamed = false;  // verified, backedUp: the best copy carries another name
  PairVerdict verdict;   // differentFileSameName
  std::optional<PairVerdict> relatedHint;  // missing

  static PrimaryStatus verified(int copies, bool renamed);
  static PrimaryStatus backedUp(bool renamed);
  static PrimaryStatus differentFileSameName(PairVerdict verdict);
  static PrimaryStatus missing(std::optional<PairVerdict> relatedHint = std::nullopt);
  static PrimaryStatus cloudOnlyPlaceholder() { return make(Kind::cloudOnlyPlaceholder); }
  static PrimaryStatus checking() { return make(Kind::checking); }
  static PrimaryStatus likelyBackedUp() { return make(Kind::likelyBackedUp); }
  static PrimaryStatus cantRead() { return make(Kind::cantRead); }
  static PrimaryStatus changed() { return make(Kind::changed); }
  static PrimaryStatus notNeeded() { return make(Kind::notNeeded); }

  friend bool operator==(const PrimaryStatus& a, const PrimaryStatus& b);

 private:
  static PrimaryStatus make(Kind kind) {
    PrimaryStatus s;
    s.kind = kind;
    return s;
  }
};

// "verified", "backedUp", "differentFileSameName", "missing", "cloudOnlyPlaceholder", "checking",
// "likelyBackedUp", "cantRead", "changed", "notNeeded".
std::string_view rawValue(PrimaryStatus::Kind kind);
std::optional<PrimaryStatus::Kind> primaryStatusKindFromRaw(std::string_view text);

// The rules under which a card counts as safe to format. A default-constructed policy holds
// exactly the defaults. Stored form (written elsewhere): keys in field order, minEvidence as its
// integer, requiredDrives as an array of texts, maxDestEvidenceAge as a floating-point number;
// every key required on reading.
struct SafeToFormatPolicy {
  std::int64_t requiredCopies = 2;                     // copies wanted on distinct drives
  EvidenceLevel minEvidence = EvidenceLevel::verified;  // weakest identical copy that counts
  std::set<std::string> requiredDrives;                // drives that must hold a copy
  bool acceptEditedCopies = false;  // an edited copy whose essence was verified counts
  bool countCloudCopies = false;    // cloud placeholders count as copies
  double maxDestEvidenceAge = 604800;  // seconds (7 days)

  friend bool operator==(const SafeToFormatPolicy&, const SafeToFormatPolicy&) = default;
};

// The status of a card file from its locations, in the order they were examined. `policy` is
// accepted for callers' symmetry and not consulted.
PrimaryStatus primaryStatus(std::span<const Location> locations, bool sourceReadFailed,
                            bool sourceChanged, bool pending, const SafeToFormatPolicy& policy,
                            const std::optional<PhysicalDriveID>& sourceDrive);

// Whether `drive` is unknown: empty, "?" or "unknown:...", or a volume over several disks any of
// which is (that one could be the card's). The one test of it, for the card's drive and a copy's.
bool unknownDrive(const PhysicalDriveID& drive);

// The distinct drives holding a copy good enough under `policy`, in raw-text order. How many are
// needed (requiredCopies, requiredDrives) is the caller's comparison. A location on a drive that
// is unknown (empty, "?" or "unknown:...") never qualifies, nor one sharing a disk with the card:
// neither can be shown to survive formatting the card.
std::set<PhysicalDriveID> qualifyingDrives(
    std::span<const Location> locations, const SafeToFormatPolicy& policy,
    const std::optional<PhysicalDriveID>& sourceDrive);

}  // namespace halvetrop

template <>
struct std::hash<halvetrop::Location> {
  std::size_t operator()(const halvetrop::Location& l) const noexcept;
};

template <>
struct std::hash<halvetrop::PrimaryStatus> {
  std::size_t operator()(const halvetrop::PrimaryStatus& s) const noexcept;
};

template <>
struct std::hash<halvetrop::SafeToFormatPolicy> {
  std::size_t operator()(const halvetrop::SafeToFormatPolicy& p) const noexcept;
};

#pragma once
// What one backup file is in relation to one card file. `decide` is the only place that says so;
// the file status, the safe-to-format policy and the shoot landing all read its verdicts.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "capture/CaptureIdentity.h"
#include "match/ContentReader.h"
#include "match/EvidenceLevel.h"

namespace halvetrop {

// Why a backup file is another file. Build values with the factories so that `takenAt` is only
// ever set for otherShot; equality and hashing look at `takenAt` only for otherShot.
struct DifferenceReason {
  enum class Kind : std::uint8_t { sizeDiffers, contentDiffers, otherShot };

  Kind kind = Kind::sizeDiffers;
  std::string takenAt;  // otherShot: the backup file's wall-clock text

  static DifferenceReason sizeDiffers() { return {Kind::sizeDiffers, {}}; }
  static DifferenceReason contentDiffers() { return {Kind::contentDiffers, {}}; }
  static DifferenceReason otherShot(std::string takenAt) {
    return {Kind::otherShot, std::move(takenAt)};
  }

  friend bool operator==(const DifferenceReason& a, const DifferenceReason& b);
};

std::string_view rawValue(DifferenceReason::Kind kind);  // "sizeDiffers", "contentDiffers", "otherShot"
std::optional<DifferenceReason::Kind> differenceReasonKindFromRaw(std::string_view text);

// One case with its payload. Only the payload field of `kind` means anything; the others stay at
// their defaults when built through the factories, and equality/hashing ignore them anyway.
struct PairVerdict {
  enum class Kind : std::uint8_t {
    notACopy,        // the candidate is the card file itself
    placeholder,     // dataless backup file, content held in the cloud
    unreadableCopy,  // errNo
    changed,         // the backup file changed after indexing
    identical,       // level
    plausible,       // same size, no content evidence, nothing contradicts
    incomplete,      // have
    edited,          // essenceVerified
    converted,       // format
    damaged,         // same size or same shot, content differs
    different,       // reason
  };

  Kind kind = Kind::notACopy;
  std::int32_t errNo = 0;                     // unreadableCopy
  EvidenceLevel level = EvidenceLevel::none;  // identical
  std::int64_t have = 0;                      // incomplete: the backup's size
  bool essenceVerified = false;               // edited
  std::string format;                         // converted: the backup file's format
  DifferenceReason reason;                    // different

  static PairVerdict notACopy() { return make(Kind::notACopy); }
  static PairVerdict placeholder() { return make(Kind::placeholder); }
  static PairVerdict unreadableCopy(std::int32_t errNo);
  static PairVerdict changed() { return make(Kind::changed); }
  static PairVerdict identical(EvidenceLevel level);
  static PairVerdict plausible() { return make(Kind::plausible); }
  static PairVerdict incomplete(std::int64_t have);
  static PairVerdict edited(bool essenceVerified);
  static PairVerdict converted(std::string format);
  static PairVerdict damaged() { return make(Kind::damaged); }
  static PairVerdict different(DifferenceReason reason);

  // The level of `identical`, plausible for `plausible`, none for every other case.
  EvidenceLevel evidence() const;
  bool isIdentical() const { return kind == Kind::identical; }

  friend bool operator==(const PairVerdict& a, const PairVerdict& b);

 private:
  static PairVerdict make(Kind kind) {
    PairVerdict v;
    v.kind = kind;
    return v;
  }
};

// Case names of the verdict kinds: "notACopy", "placeholder", "unreadableCopy", "changed",
// "identical", "plausible", "incomplete", "edited", "converted", "damaged", "different".
std::string_view rawValue(PairVerdict::Kind kind);
std::optional<PairVerdict::Kind> pairVerdictKindFromRaw(std::string_view text);

// Everything the comparison learnt about one pair; src* is the card file, dst* the backup file.
struct PairFacts {
  PairFacts(std::int64_t srcSize, std::int64_t dstSize) : srcSize(srcSize), dstSize(dstSize) {}

  bool sameObject = false;
  bool destDataless = false;
  std::optional<std::int32_t> readError;
  bool validatorChanged = false;
  std::int64_t srcSize;
  std::int64_t dstSize;
  std::optional<SampleFP> srcSFP;
  std::optional<SampleFP> dstSFP;
  std::optional<Digest128> srcFull;
  std::optional<Digest128> dstFull;
  bool fullReadsCacheEvicted = false;  // both full reads came from the devices
  std::optional<CaptureIdentity> srcCapture;
  std::optional<CaptureIdentity> dstCapture;
  bool sameFormatFamily = true;
  std::string dstFormat;
  std::optional<bool> truncatedPrefixMatches;  // only consulted when the backup is shorter
  std::optional<bool> essenceEqual;
};

// The first rule that applies wins; pure, callable from any thread.
PairVerdict decide(const PairFacts& facts);

}  // namespace halvetrop

template <>
struct std::hash<halvetrop::DifferenceReason> {
  std::size_t operator()(const halvetrop::DifferenceReason& r) const noexcept;
};

template <>
struct std::hash<halvetrop::PairVerdict> {
  std::size_t operator()(const halvetrop::PairVerdict& v) const noexcept;
};

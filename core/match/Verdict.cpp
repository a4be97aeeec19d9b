#include "match/Verdict.h"

#include "match/CaseNames.h"

#include <array>
#include <utility>

namespace halvetrop {

namespace {

using caseNames::mix;

constexpr std::array<std::string_view, 4> evidenceNames{"none", "plausible", "sampled", "verified"};
constexpr std::array<std::string_view, 3> reasonNames{"sizeDiffers", "contentDiffers", "otherShot"};
constexpr std::array<std::string_view, 11> verdictNames{
    "notACopy", "placeholder", "unreadableCopy", "changed",   "identical", "plausible",
    "incomplete", "edited",    "converted",      "damaged",   "different"};

enum class Identity { same, differ, unknown };

Identity shotIdentity(const PairFacts& f) {
  if (!f.srcCapture || !f.dstCapture) return Identity::unknown;
  return f.srcCapture->sameShot(*f.dstCapture) ? Identity::same : Identity::differ;
}

std::string backupWallClock(const PairFacts& f) {
  return f.dstCapture ? f.dstCapture->wallClock : std::string();
}

// Sizes equal and the content is known to differ: only the captures (or, without them, whether
// the first window still agrees) tell a damaged copy from another file.
PairVerdict contentDiffers(const PairFacts& f, Identity identity, bool headsEqual) {
  switch (identity) {
    case Identity::same:
      return PairVerdict::damaged();
    case Identity::differ:
      return PairVerdict::different(DifferenceReason::otherShot(backupWallClock(f)));
    case Identity::unknown:
      break;
  }
  return headsEqual ? PairVerdict::damaged()
                    : PairVerdict::different(DifferenceReason::contentDiffers());
}

bool sampledWindowsEqual(const SampleFP& a, const SampleFP& b) {
  return a.head == b.head && a.mid == b.mid && a.tail == b.tail;
}

}  // namespace

std::string_view caseName(EvidenceLevel level) { return caseNames::nameOf(evidenceNames, level); }

std::optional<EvidenceLevel> evidenceLevelFromName(std::string_view text) {
  return caseNames::fromName<EvidenceLevel>(evidenceNames, text);
}

std::string_view rawValue(DifferenceReason::Kind kind) { return caseNames::nameOf(reasonNames, kind); }

std::optional<DifferenceReason::Kind> differenceReasonKindFromRaw(std::string_view text) {
  return caseNames::fromName<DifferenceReason::Kind>(reasonNames, text);
}

std::string_view rawValue(PairVerdict::Kind kind) { return caseNames::nameOf(verdictNames, kind); }

std::optional<PairVerdict::Kind> pairVerdictKindFromRaw(std::string_view text) {
  return caseNames::fromName<PairVerdict::Kind>(verdictNames, text);
}

bool operator==(const DifferenceReason& a, const DifferenceReason& b) {
  if (a.kind != b.kind) return false;
  return a.kind != DifferenceReason::Kind::otherShot || a.takenAt == b.takenAt;
}

PairVerdict PairVerdict::unreadableCopy(std::int32_t errNo) {
  PairVerdict v = make(Kind::unreadableCopy);
  v.errNo = errNo;
  return v;
}

PairVerdict PairVerdict::identical(EvidenceLevel level) {
  PairVerdict v = make(Kind::identical);
  v.level = level;
  return v;
}

PairVerdict PairVerdict::incomplete(std::int64_t have) {
  PairVerdict v = make(Kind::incomplete);
  v.have = have;
  return v;
}

PairVerdict PairVerdict::edited(bool essenceVerified) {
  PairVerdict v = make(Kind::edited);
  v.essenceVerified = essenceVerified;
  return v;
}

PairVerdict PairVerdict::converted(std::string format) {
  PairVerdict v = make(Kind::converted);
  v.format = std::move(format);
  return v;
}

PairVerdict PairVerdict::different(DifferenceReason reason) {
  PairVerdict v = make(Kind::different);
  v.reason = std::move(reason);
  return v;
}

EvidenceLevel PairVerdict::evidence() const {
  switch (kind) {
    case Kind::identical:
      return level;
    case Kind::plausible:
      return EvidenceLevel::plausible;
    default:
      return EvidenceLevel::none;
  }
}

bool operator==(const PairVerdict& a, const PairVerdict& b) {
  if (a.kind != b.kind) return false;
  using Kind = PairVerdict::Kind;
  switch (a.kind) {
    case Kind::unreadableCopy:
      return a.errNo == b.errNo;
    case Kind::identical:
      return a.level == b.level;
    case Kind::incomplete:
      return a.have == b.have;
    case Kind::edited:
      return a.essenceVerified == b.essenceVerified;
    case Kind::converted:
      return a.format == b.format;
    case Kind::different:
      return a.reason == b.reason;
    default:
      return true;
  }
}

PairVerdict decide(const PairFacts& f) {
  if (f.sameObject) return PairVerdict::notACopy();
  if (f.destDataless) return PairVerdict::placeholder();
  if (f.readError) return PairVerdict::unreadableCopy(*f.readError);
  if (f.validatorChanged) return PairVerdict::changed();

  const Identity identity = shotIdentity(f);

  if (f.srcSize != f.dstSize) {
    // A matching prefix proves a cut-short copy whatever the captures claim.
    if (f.dstSize < f.srcSize && f.truncatedPrefixMatches.value_or(false))
      return PairVerdict::incomplete(f.dstSize);
    if (identity == Identity::same) {
      if (f.sameFormatFamily) return PairVerdict::edited(f.essenceEqual.value_or(false));
      return PairVerdict::converted(f.dstFormat);
    }
    return PairVerdict::different(DifferenceReason::sizeDiffers());
  }

  const bool bothSampled = f.srcSFP.has_value() && f.dstSFP.has_value();
  const bool headsEqual = bothSampled && f.srcSFP->head == f.dstSFP->head;

  if (f.srcFull && f.dstFull) {
    if (f.srcFull->hi == f.dstFull->hi && f.srcFull->lo == f.dstFull->lo)
      return PairVerdict::identical(f.fullReadsCacheEvicted ? EvidenceLevel::verified
                                                            : EvidenceLevel::sampled);
    return contentDiffers(f, identity, headsEqual);
  }

  if (bothSampled) {
    const SampleFP& src = *f.srcSFP;
    const SampleFP& dst = *f.dstSFP;
    if (!sampledWindowsEqual(src, dst)) return contentDiffers(f, identity, headsEqual);
    // Equal hashes of windows without variety (zeros, one repeated pattern) say little about the
    // rest of the file.
    if (!src.strong || !dst.strong) return PairVerdict::plausible();
    // Only a whole file read from both devices proves every byte.
    const bool fromDevices = src.wholeFile && src.cacheEvicted && dst.cacheEvicted;
    return PairVerdict::identical(fromDevices ? EvidenceLevel::verified : EvidenceLevel::sampled);
  }

  if (identity == Identity::differ)
    return PairVerdict::different(DifferenceReason::otherShot(backupWallClock(f)));
  return PairVerdict::plausible();
}

}  // namespace halvetrop

std::size_t std::hash<halvetrop::DifferenceReason>::operator()(
    const halvetrop::DifferenceReason& r) const noexcept {
  std::size_t h = static_cast<std::size_t>(r.kind);
  if (r.kind == halvetrop::DifferenceReason::Kind::otherShot)
    h = halvetrop::mix(h, std::hash<std::string>{}(r.takenAt));
  return h;
}

std::size_t std::hash<halvetrop::PairVerdict>::operator()(
    const halvetrop::PairVerdict& v) const noexcept {
  using Kind = halvetrop::PairVerdict::Kind;
  std::size_t h = static_cast<std::size_t>(v.kind) * 0x100000001b3ULL;
  switch (v.kind) {
    case Kind::unreadableCopy:
      return halvetrop::mix(h, std::hash<std::int32_t>{}(v.errNo));
    case Kind::identical:
      return halvetrop::mix(h, static_cast<std::size_t>(v.level));
    case Kind::incomplete:
      return halvetrop::mix(h, std::hash<std::int64_t>{}(v.have));
    case Kind::edited:
      return halvetrop::mix(h, static_cast<std::size_t>(v.essenceVerified));
    case Kind::converted:
      return halvetrop::mix(h, std::hash<std::string>{}(v.format));
    case Kind::different:
      return halvetrop::mix(h, std::hash<halvetrop::DifferenceReason>{}(v.reason));
    default:
      return h;
  }
}

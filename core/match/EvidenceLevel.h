#pragma once
// How strongly a backup file is shown to hold the card file's content. Stored inside reports as
// its integer raw value, so the numbers below are a persistent format: never renumber a case.
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace halvetrop {

enum class EvidenceLevel : std::uint8_t {
  none = 0,       // no content evidence
  plausible = 1,  // same size, nothing contradicts, no content compared
  sampled = 2,    // sampled windows matched, or full digests read through the page cache
  verified = 3,   // content matched on data read from the devices themselves
};

// Ordered by raw value: none < plausible < sampled < verified (the built-in ordering of a scoped
// enumeration already compares the underlying values).

constexpr int rawValue(EvidenceLevel level) { return static_cast<int>(level); }
// Anything outside 0...3 names no level.
constexpr std::optional<EvidenceLevel> evidenceLevelFromRaw(std::int64_t raw) {
  if (raw < 0 || raw > 3) return std::nullopt;
  return static_cast<EvidenceLevel>(raw);
}

// Case names ("none", "plausible", "sampled", "verified"), for logs and tests; the stored form is
// the integer above.
std::string_view caseName(EvidenceLevel level);
std::optional<EvidenceLevel> evidenceLevelFromName(std::string_view text);

}  // namespace halvetrop

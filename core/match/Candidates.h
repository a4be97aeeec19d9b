#pragma once
#include "capture/CaptureIdentity.h"
#include "match/ContentReader.h"
#include "match/DestIndex.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace halvetrop {

// A card file as the matching core sees it.
struct SourceFile {
    int64_t id = 0;                       // the file's id in the check's report
    std::string name;
    uint64_t nameKey = 0;                 // NameKey::hash(name)
    std::vector<uint64_t> keysNameFirst;  // nameKey, then the folders' keys innermost first, card root excluded
    int64_t size = 0;
    uint16_t extID = 0;                   // same extension table as the index's extID
    int64_t mtimeNs = 0;
    std::optional<SampleFP> sfp;
    std::optional<CaptureIdentity> capture;
    std::optional<Digest128> full;
};

// How a second time relates to a first across clock and time-zone differences.
struct TimeRelation {
    enum class Kind : uint8_t { zoneShift, same, unrelated };

    Kind kind = Kind::unrelated;
    int64_t hours = 0;  // zoneShift only: positive when the second time is later

    static TimeRelation zoneShift(int64_t hours) { return {Kind::zoneShift, hours}; }
    static TimeRelation same() { return {Kind::same, 0}; }
    static TimeRelation unrelated() { return {Kind::unrelated, 0}; }

    bool operator==(const TimeRelation&) const = default;
};

// b against a, both in nanoseconds: within 2 s is same; a whole number of hours (1 to
// maxShiftHours) apart, give or take 2 s, is a zone shift; anything else, and any pair whose
// difference does not fit 64 bits, is unrelated.
TimeRelation relate(int64_t a, int64_t b, int64_t maxShiftHours);

// Rows of the index that could be copies of one card file, before any content is read.
struct Candidates {
    std::vector<uint32_t> named;              // same name key and size, deepest matching folders first
    std::vector<uint32_t> renamed;            // same size and extension, other name, times match; at most gateK
    std::vector<uint32_t> sameNameOtherSize;  // same name key, other size, by size then row
};

// `index` must be built (buildMaps) and is only read; safe from many threads at once.
Candidates candidates(const SourceFile& file, const DestIndex& index, int64_t gateK);

}  // namespace halvetrop

#include "match/Candidates.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace halvetrop {
namespace {

constexpr int64_t renamedMaxShiftHours = 3;

}  // namespace

TimeRelation relate(int64_t a, int64_t b, int64_t maxShiftHours) {
    // Garbage or sentinel times can lie further apart than 64 bits hold; they say nothing.
    int64_t difference = 0;
    if (__builtin_sub_overflow(b, a, &difference)) return TimeRelation::unrelated();
    const double d = static_cast<double>(difference) / 1e9;
    if (std::fabs(d) <= 2.0) return TimeRelation::same();
    const double h = std::round(d / 3600.0);
    if (std::fabs(h) >= 1.0 && std::fabs(h) <= static_cast<double>(maxShiftHours) &&
        std::fabs(d - h * 3600.0) <= 2.0) {
        return TimeRelation::zoneShift(static_cast<int64_t>(h));
    }
    return TimeRelation::unrelated();
}

Candidates candidates(const SourceFile& file, const DestIndex& index, int64_t gateK) {
    Candidates out;

    // Same name and size: the copy whose folders repeat the card file's folders furthest first.
    const auto named = index.rowsOfNameKey(file.nameKey, file.size);
    std::vector<std::pair<size_t, uint32_t>> byDepth;
    byDepth.reserve(named.size());
    for (uint32_t r : named) byDepth.emplace_back(index.suffixDepth(r, file.keysNameFirst), r);
    std::stable_sort(byDepth.begin(), byDepth.end(),
                     [](const auto& x, const auto& y) { return x.first > y.first; });
    out.named.reserve(byDepth.size());
    for (const auto& [depth, r] : byDepth) out.named.push_back(r);

    const auto& sizes = index.size();
    for (uint32_t r : index.rowsOfNameKey(file.nameKey)) {
        if (sizes[r] != file.size) out.sameNameOtherSize.push_back(r);
    }

    // Same size and extension under another name, ranked by how well the times agree.
    const size_t limit = gateK > 0 ? static_cast<size_t>(gateK) : 0;
    if (limit == 0) return out;
    const auto& keys = index.nameKey();
    const auto& exts = index.extID();
    const auto& mtimes = index.mtimeNs();
    const auto& btimes = index.btimeNs();
    std::vector<std::pair<int, uint32_t>> ranked;
    size_t rankZero = 0;
    for (uint32_t r : index.rowsOfSize(file.size)) {
        if (keys[r] == file.nameKey || exts[r] != file.extID) continue;
        const TimeRelation m = relate(file.mtimeNs, mtimes[r], renamedMaxShiftHours);
        int rank;
        if (m.kind == TimeRelation::Kind::same) {
            rank = 0;
        } else if (m.kind == TimeRelation::Kind::zoneShift) {
            rank = 1;
        } else if (relate(file.mtimeNs, btimes[r], renamedMaxShiftHours).kind == TimeRelation::Kind::same) {
            rank = 2;
        } else {
            continue;
        }
        ranked.emplace_back(rank, r);
        // Once the limit is filled with the best rank, nothing later in the walk can enter.
        if (rank == 0 && ++rankZero == limit) break;
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    if (ranked.size() > limit) ranked.resize(limit);
    out.renamed.reserve(ranked.size());
    for (const auto& [rank, r] : ranked) out.renamed.push_back(r);
    return out;
}

}  // namespace halvetrop

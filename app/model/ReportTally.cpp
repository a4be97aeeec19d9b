#include "model/ReportTally.h"

#include <algorithm>

#include "text/Utf8.h"

namespace halvetrop {

namespace {

// What "copy everything missing" takes of an in-scope file.
int wantsCopy(FileStatus s) { return s == FileStatus::missing || s == FileStatus::conflict ? 1 : 0; }

// What an in-scope file adds to the reads in doubt (present::readsInDoubt): bit 1 a read of its own
// in doubt, bit 2 a copy on a backup whose drive's reads are.
uint8_t doubtOf(const VerifyReport& report, const FileResult& f) {
    if (!f.inScope) return 0;
    uint8_t out = f.cardDoubt ? 1 : 0;
    for (const CopyRef& c : f.copies) {
        if (c.destination < 0 || c.destination >= int64_t(report.destinations.size())) continue;
        if (c.doubt) out |= 1;
        if (!report.destinations[size_t(c.destination)].readsFromMedium) out |= 2;
    }
    return out;
}

}  // namespace

void ReportTally::rebuild(const VerifyReport* report, const present::FileLookup& lookup) {
    report_ = report;
    files_ = report ? report->files.data() : nullptr;
    folder_.reset();
    status_.clear();
    own_.clear();
    shoots_.clear();
    shootStart_.clear();
    shootOf_.clear();
    copyable_ = 0;
    doubt_.clear();
    doubting_ = {};
    idsOwnFiles_ = true;
    if (!report) return;
    const auto& files = report->files;
    const size_t n = files.size();
    status_.reserve(n);
    own_.reserve(n);
    doubt_.assign(n, 0);
    for (size_t p = 0; p < n; ++p) {
        const FileResult& f = files[p];
        status_.push_back(f.status);
        const bool own = lookup(f.id) == &f;
        own_.push_back(own ? 1 : 0);
        idsOwnFiles_ = idsOwnFiles_ && own;
        if (own && f.inScope) copyable_ += wantsCopy(f.status);
        countDoubt(*report, p);
    }
    // A shoot counts the file its id finds, as often as it names it; an id that finds none counts
    // as a file only.
    const auto positionOf = [&](int64_t id) -> int {
        const FileResult* f = lookup(id);
        return f && f >= files.data() && f < files.data() + n ? int(f - files.data()) : -1;
    };
    shoots_.resize(report->groups.size());
    shootStart_.assign(n + 1, 0);
    for (size_t g = 0; g < report->groups.size(); ++g) {
        for (int64_t id : report->groups[g].fileIDs) {
            const int p = positionOf(id);
            if (p < 0) {
                ++shoots_[g].files;
                continue;
            }
            shoots_[g].add(files[size_t(p)]);
            ++shootStart_[size_t(p) + 1];
        }
    }
    for (size_t p = 0; p < n; ++p) shootStart_[p + 1] += shootStart_[p];
    shootOf_.resize(size_t(shootStart_[n]));
    std::vector<int> next(shootStart_.begin(), shootStart_.end() - 1);
    for (size_t g = 0; g < report->groups.size(); ++g)
        for (int64_t id : report->groups[g].fileIDs)
            if (const int p = positionOf(id); p >= 0) shootOf_[size_t(next[size_t(p)]++)] = int(g);
}

bool ReportTally::adopt(const VerifyReport* report) {
    if (!report || !report_ || report->files.data() != files_ || report->files.size() != status_.size())
        return false;
    report_ = report;
    folder_.reset();
    return true;
}

std::vector<int> ReportTally::fold(const VerifyReport& report, const std::vector<int>& changed) {
    std::vector<int> dirty;
    if (&report != report_ || status_.size() != report.files.size()) return dirty;
    std::vector<char> marked(shoots_.size(), 0);
    for (int at : changed) {
        if (at < 0 || size_t(at) >= status_.size()) continue;
        const size_t p = size_t(at);
        const FileResult& f = report.files[p];
        const int slot = folder_ ? folder_->slot_[p] : -1;
        countDoubt(report, p);
        const FileStatus before = status_[p];
        if (before != f.status) {
            for (int k = shootStart_[p]; k < shootStart_[p + 1]; ++k) {
                const int g = shootOf_[size_t(k)];
                shoots_[size_t(g)].remove(before, f.size);
                shoots_[size_t(g)].add(f.status, f.size);
                if (!marked[size_t(g)]) {
                    marked[size_t(g)] = 1;
                    dirty.push_back(g);
                }
            }
            const int moved = wantsCopy(f.status) - wantsCopy(before);
            if (own_[p] && f.inScope) copyable_ += moved;
            if (slot >= 0) {
                Folder& d = *folder_;
                if (const int uncovered = int(!isCovered(f.status)) - int(!isCovered(before))) {
                    d.uncovered += uncovered;
                    d.uncoveredBytes += uncovered * f.size;
                }
                if (d.copyable && own_[p]) *d.copyable += moved;
            }
            status_[p] = f.status;
        }
        // The copies change with or without the status.
        if (slot >= 0) place(report, *folder_, size_t(slot));
    }
    return dirty;
}

void ReportTally::countDoubt(const VerifyReport& report, size_t p) {
    const uint8_t now = doubtOf(report, report.files[p]);
    for (size_t bit = 0; bit < doubting_.size(); ++bit)
        doubting_[bit] += int64_t((now >> bit) & 1) - int64_t((doubt_[p] >> bit) & 1);
    doubt_[p] = now;
}

bool ReportTally::readsInDoubt() const {
    return report_ && (!report_->source.readsFromMedium || doubting_[0] > 0 || doubting_[1] > 0);
}

const StatusCounts& ReportTally::shoot(size_t group) const {
    static const StatusCounts none;
    return group < shoots_.size() ? shoots_[group] : none;
}

void ReportTally::place(const VerifyReport& report, Folder& d, size_t slot) {
    const FileResult& f = report.files[size_t(d.files[slot])];
    int at = -1;
    if (!f.copies.empty()) {
        const CopyRef& c = f.copies.front();
        if (c.destination >= 0 && c.destination < int64_t(report.destinations.size())) {
            const std::string_view path = c.relativePathBytes();
            const auto slash = path.find_last_of('/');
            const std::string_view dir =
                slash == std::string::npos ? std::string_view() : path.substr(0, slash);
            // Files of a folder mostly have their copies side by side: the place of the file
            // before is tried first.
            const present::Place* last = d.lastPlace_ >= 0 ? &d.places_[size_t(d.lastPlace_)] : nullptr;
            if (last && last->destination == c.destination && last->pathBytes == dir) {
                at = d.lastPlace_;
            } else {
                auto it = d.placeAt_.find(std::pair{c.destination, dir});
                if (it == d.placeAt_.end()) {
                    present::Place p;
                    p.destination = c.destination;
                    p.path = repairUtf8(dir);
                    p.pathBytes = std::string(dir);
                    it = d.placeAt_.emplace(std::pair{c.destination, p.pathBytes}, d.places_.size()).first;
                    d.places_.push_back(std::move(p));
                }
                at = int(it->second);
                d.lastPlace_ = at;
            }
        }
    }
    const int before = d.placeOf_[slot];
    if (at == before) return;
    if (before >= 0) {
        d.places_[size_t(before)].count -= 1;
        d.places_[size_t(before)].bytes -= f.size;
    }
    if (at >= 0) {
        d.places_[size_t(at)].count += 1;
        d.places_[size_t(at)].bytes += f.size;
    }
    d.placeOf_[slot] = at;
}

ReportTally::Folder::Folder() = default;

const ReportTally::Folder& ReportTally::folder(const VerifyReport& report, const std::string& folder) {
    if (folder_ && folder_->folder_ == folder && &report == report_) return *folder_;
    Folder& d = folder_.emplace();
    d.folder_ = folder;
    const std::vector<FileResult>& files = report.files;
    const size_t n = files.size();
    d.slot_.assign(n, -1);
    if (idsOwnFiles_ && &report == report_) d.copyable = 0;
    // A file's first copy and its path lie elsewhere in memory than the file: over the whole card
    // they are asked for some files ahead, so that the count does not wait for each in turn.
    constexpr size_t copyAhead = 16, pathAhead = 8;
    const bool ahead = folder.empty();
    for (size_t p = 0; p < n; ++p) {
        if (ahead && p + copyAhead < n && !files[p + copyAhead].copies.empty())
            __builtin_prefetch(files[p + copyAhead].copies.data());
        if (ahead && p + pathAhead < n && !files[p + pathAhead].copies.empty())
            __builtin_prefetch(files[p + pathAhead].copies.front().relativePathBytes().data());
        const FileResult& f = files[p];
        if (!present::inFolder(f, folder)) continue;
        const size_t slot = d.files.size();
        d.files.push_back(int(p));
        d.placeOf_.push_back(-1);
        d.slot_[p] = int(slot);
        d.bytes += f.size;
        if (!isCovered(f.status)) {
            ++d.uncovered;
            d.uncoveredBytes += f.size;
            if (d.copyable) *d.copyable += wantsCopy(f.status);
        }
        place(report, d, slot);
    }
    return d;
}

std::vector<present::Place> ReportTally::Folder::places(size_t most) const {
    // The map orders by backup and path; equal counts keep that order.
    std::vector<std::pair<int64_t, size_t>> order;  // (-count, rank in the map), then the place
    std::vector<size_t> at;
    order.reserve(placeAt_.size());
    at.reserve(placeAt_.size());
    for (const auto& [key, place] : placeAt_)
        if (places_[place].count > 0) {
            order.emplace_back(-places_[place].count, at.size());
            at.push_back(place);
        }
    const auto end = order.begin() + std::ptrdiff_t(std::min(most, order.size()));
    std::partial_sort(order.begin(), end, order.end());
    std::vector<present::Place> out;
    out.reserve(size_t(end - order.begin()));
    for (auto it = order.begin(); it != end; ++it) out.push_back(places_[at[it->second]]);
    return out;
}

}  // namespace halvetrop

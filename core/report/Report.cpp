#include "report/Report.h"

#include "report/Join.h"
#include "text/Utf8.h"

#include <stdexcept>

namespace halvetrop {

std::string_view rawValue(CheckLevel level) {
    switch (level) {
        case CheckLevel::standard: return "standard";
        case CheckLevel::verified: return "verified";
    }
    return "standard";
}

std::optional<CheckLevel> checkLevelFromRaw(std::string_view text) {
    for (CheckLevel level : allCheckLevels) {
        if (rawValue(level) == text) return level;
    }
    return std::nullopt;
}

std::string_view rawValue(CardAccessTimes what) {
    switch (what) {
        case CardAccessTimes::kept: return "kept";
        case CardAccessTimes::fuseReadWrite: return "fuseReadWrite";
        case CardAccessTimes::otherOwner: return "otherOwner";
    }
    return "kept";
}

std::optional<CardAccessTimes> cardAccessTimesFromRaw(std::string_view text) {
    for (CardAccessTimes what : allCardAccessTimes) {
        if (rawValue(what) == text) return what;
    }
    return std::nullopt;
}

namespace {

std::string_view trimmed(std::string_view p) {
    while (p.size() > 1 && p.back() == '/') p.remove_suffix(1);
    return p;
}

bool isFolderOnVolume(const VolumeInfo& card) {
    return !card.path.empty() && trimmed(card.path) != trimmed(card.volumePath);
}

// The card as every screen names it: a volume by its name, a folder on one by the folder's.
std::string cardName(const VolumeInfo& card) {
    if (!isFolderOnVolume(card)) return card.name.empty() ? card.path : card.name;
    return std::string(lastComponent(card.path));
}

}  // namespace

std::optional<std::string> accessTimesNote(CardAccessTimes what, const VolumeInfo& card) {
    const std::string name = repairUtf8(cardName(card));
    const std::string wayOut = " To leave the card untouched, mount it read-only (mount -o ro).";
    switch (what) {
        case CardAccessTimes::kept: return std::nullopt;
        case CardAccessTimes::fuseReadWrite:
            // A folder is not mounted: the volume it lies on is.
            if (isFolderOnVolume(card)) {
                const std::string volume = repairUtf8(card.name.empty() ? trimmed(card.volumePath) : card.name);
                return name + " is on " + (volume.empty() ? "a volume" : volume) +
                       ", which is mounted read-write through FUSE, so its file system updates access times as "
                       "the check reads it." + wayOut;
            }
            return name + " is mounted read-write through FUSE, so its file system updates access times as the check "
                          "reads it." + wayOut;
        case CardAccessTimes::otherOwner:
            return "Files on " + name + " belong to another user, so its file system updates their access times as "
                                        "they are read." + wayOut;
    }
    return std::nullopt;
}

namespace {

struct StatusWords {
    std::string_view raw;
    std::string_view label;
};

constexpr StatusWords statusWords[] = {
    {"verified", "Verified"},
    {"backedUp", "Backed up"},
    {"likely", "Likely backed up"},
    {"conflict", "Different file, same name"},
    {"missing", "Missing"},
    {"cloudOnly", "Cloud placeholder only"},
    {"unreadable", "Can't read"},
    {"changed", "Changed while reading"},
    {"notCompared", "Not compared"},
};

const StatusWords& wordsOf(FileStatus status) {
    auto index = static_cast<size_t>(status);
    return statusWords[index < std::size(statusWords) ? index : 4];
}

}  // namespace

std::string_view rawValue(FileStatus status) { return wordsOf(status).raw; }
std::string_view label(FileStatus status) { return wordsOf(status).label; }

bool isCovered(FileStatus status) {
    return status == FileStatus::verified || status == FileStatus::backedUp;
}

std::optional<FileStatus> fileStatusFromRaw(std::string_view text) {
    for (FileStatus status : allFileStatuses) {
        if (rawValue(status) == text) return status;
    }
    return std::nullopt;
}

void StatusCounts::count(FileStatus status, int64_t size, int64_t n) {
    files += n;
    bytes += n * size;
    switch (status) {
        case FileStatus::verified: verified += n; break;
        case FileStatus::backedUp: backedUp += n; break;
        case FileStatus::likely: likely += n; break;
        case FileStatus::conflict:
            conflict += n;
            missingBytes += n * size;
            break;
        case FileStatus::missing:
            missing += n;
            missingBytes += n * size;
            break;
        case FileStatus::cloudOnly:
        case FileStatus::unreadable: problem += n; break;
        case FileStatus::changed:
            problem += n;
            changed += n;
            break;
        // Never compared is not known to be missing bytes, but it is no copy either.
        case FileStatus::notCompared: missing += n; break;
    }
}

double StatusCounts::fraction() const {
    if (files == 0) return 1.0;
    return static_cast<double>(covered()) / static_cast<double>(files);
}

std::string ShootGroup::id() const {
    std::string out = folder + "|" + day + "|" + camera;
    if (!rawFolder.empty()) {
        out += '|';
        out += escapeIllFormed(rawFolder);
    }
    return out;
}

std::vector<FileResult> VerifyReport::inScopeFiles() const {
    std::vector<FileResult> out;
    for (const FileResult& file : files) {
        if (file.inScope) out.push_back(file);
    }
    return out;
}

std::vector<SkippedKind> VerifyReport::skippedKinds() const {
    // The scope's kinds looked up once, not once per file.
    std::array<bool, allMediaKinds.size()> inScope{};
    for (MediaKind kind : allMediaKinds) inScope[static_cast<size_t>(kind)] = scope.kinds.count(kind) != 0;
    std::array<int64_t, allMediaKinds.size()> counts{};
    for (const FileResult& file : files) {
        auto index = static_cast<size_t>(file.kind);
        if (file.role != FileRole::media || index >= counts.size() || inScope[index]) continue;
        counts[index] += 1;
    }
    std::vector<SkippedKind> out;
    for (MediaKind kind : allMediaKinds) {
        int64_t n = counts[static_cast<size_t>(kind)];
        if (n > 0) out.push_back({kind, n});
    }
    return out;
}

std::vector<MediaKind> VerifyReport::checkedKinds() const {
    std::array<bool, allMediaKinds.size()> seen{};
    for (const FileResult& file : files) {
        auto index = static_cast<size_t>(file.kind);
        if (file.inScope && index < seen.size()) seen[index] = true;
    }
    std::vector<MediaKind> out;
    for (MediaKind kind : allMediaKinds) {
        if (seen[static_cast<size_t>(kind)]) out.push_back(kind);
    }
    return out;
}

// A card not read whole is never ready, whatever a stored flag says; nor is a mount of part of a
// volume, whose other files lie outside the check.
bool VerifyReport::readyToFormat() const {
    return safeToFormat && cardUnreadable == 0 && skippedKinds().empty() && !source.showsPart();
}

std::string headline(const StatusCounts& t, int64_t cardUnreadable,
                     const std::function<std::string(int64_t)>& number) {
    const auto digits = [&number](int64_t n) { return number ? number(n) : std::to_string(n); };
    std::string out;
    if (cardUnreadable > 0) {
        out = digits(cardUnreadable) +
              (cardUnreadable == 1 ? " folder or file on the card couldn't be read"
                                   : " folders or files on the card couldn't be read");
    } else {
        if (t.files == 0) return "No files of the selected types were found";
        if (t.covered() == t.files) {
            return t.verified == t.files ? "Every file is verified on the backup"
                                         : "Every file is backed up";
        }
    }
    auto part = [&out, &digits](int64_t count, const char* words) {
        if (count < 1) return;
        if (!out.empty()) out += " \u00B7 ";
        out += digits(count);
        out += words;
    };
    part(t.missing, " missing");
    part(t.conflict, " with a different file under the same name");
    part(t.likely, " not confirmed");
    part(t.unreadFiles(), " couldn't be checked");
    part(t.changedFiles(), " changed while reading");
    return out;
}

std::string VerifyReport::headline() const { return halvetrop::headline(totals, cardUnreadable); }

std::optional<std::string> VerifyReport::accessTimesNote() const {
    return halvetrop::accessTimesNote(cardAccessTimes, source);
}

std::string_view FileResult::nameBytes() const {
    if (rawRelativePath.empty()) return name;
    const size_t slash = rawRelativePath.rfind('/');
    return slash == std::string::npos ? std::string_view(rawRelativePath)
                                      : std::string_view(rawRelativePath).substr(slash + 1);
}

std::string_view FileResult::folderBytes() const {
    if (rawRelativePath.empty()) return folder;
    const size_t slash = rawRelativePath.rfind('/');
    return slash == std::string::npos ? std::string_view()
                                      : std::string_view(rawRelativePath).substr(0, slash);
}

std::string VerifyReport::absolutePath(const FileResult& file) const {
    return join(source.path, file.relativePathBytes());
}

std::string VerifyReport::absolutePath(const CopyRef& ref) const {
    if (ref.destination < 0 || static_cast<uint64_t>(ref.destination) >= destinations.size()) {
        throw std::out_of_range("copy refers to backup " + std::to_string(ref.destination) +
                                " of a report with " + std::to_string(destinations.size()));
    }
    return join(destinations[static_cast<size_t>(ref.destination)].path, ref.relativePathBytes());
}

}  // namespace halvetrop

namespace {

// Boost-style mixing; enough to spread field hashes of small records.
inline void mix(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

template <class T>
inline void mixValue(std::size_t& seed, const T& value) {
    mix(seed, std::hash<T>{}(value));
}

}  // namespace

std::size_t std::hash<halvetrop::CopyRef>::operator()(const halvetrop::CopyRef& r) const noexcept {
    std::size_t seed = 0;
    mixValue(seed, r.destination);
    mixValue(seed, r.relativePath);
    mixValue(seed, static_cast<int>(r.evidence));
    mixValue(seed, r.renamed);
    mixValue(seed, r.rawRelativePath);
    return seed;
}

std::size_t std::hash<halvetrop::FileResult>::operator()(
    const halvetrop::FileResult& r) const noexcept {
    std::size_t seed = 0;
    mixValue(seed, r.id);
    mixValue(seed, r.relativePath);
    mixValue(seed, r.name);
    mixValue(seed, r.folder);
    mixValue(seed, r.size);
    mixValue(seed, r.modified);
    mixValue(seed, static_cast<int>(r.kind));
    mixValue(seed, static_cast<int>(r.role));
    mixValue(seed, r.inScope);
    mixValue(seed, r.capture.has_value());
    if (r.capture) mixValue(seed, *r.capture);
    mixValue(seed, r.day);
    mixValue(seed, r.camera);
    mixValue(seed, static_cast<int>(r.status));
    mixValue(seed, r.detail.has_value());
    if (r.detail) mixValue(seed, *r.detail);
    mixValue(seed, r.copies.size());
    for (const auto& copy : r.copies) mixValue(seed, copy);
    mixValue(seed, r.safeDrives);
    mixValue(seed, r.rawRelativePath);
    return seed;
}

std::size_t std::hash<halvetrop::StatusCounts>::operator()(
    const halvetrop::StatusCounts& c) const noexcept {
    std::size_t seed = 0;
    for (int64_t v : {c.files, c.bytes, c.verified, c.backedUp, c.likely, c.conflict, c.missing,
                      c.problem, c.missingBytes, c.changed}) {
        mixValue(seed, v);
    }
    return seed;
}

std::size_t std::hash<halvetrop::LandingRef>::operator()(
    const halvetrop::LandingRef& r) const noexcept {
    std::size_t seed = 0;
    mixValue(seed, r.destination);
    mixValue(seed, r.folder);
    mixValue(seed, r.files);
    mixValue(seed, r.rawFolder);
    return seed;
}

std::size_t std::hash<halvetrop::ShootGroup>::operator()(
    const halvetrop::ShootGroup& g) const noexcept {
    std::size_t seed = 0;
    mixValue(seed, g.folder);
    mixValue(seed, g.day);
    mixValue(seed, g.camera);
    mixValue(seed, g.fileIDs.size());
    for (int64_t id : g.fileIDs) mixValue(seed, id);
    mixValue(seed, g.counts);
    mixValue(seed, g.kinds.size());
    for (const auto& [kind, n] : g.kinds) {
        mixValue(seed, static_cast<int>(kind));
        mixValue(seed, n);
    }
    mixValue(seed, g.formats.size());
    for (const auto& [format, n] : g.formats) {
        mixValue(seed, format);
        mixValue(seed, n);
    }
    mixValue(seed, g.landings.size());
    for (const auto& landing : g.landings) mixValue(seed, landing);
    mixValue(seed, g.scattered);
    mixValue(seed, g.rawFolder);
    return seed;
}

std::size_t std::hash<halvetrop::FolderSummary>::operator()(
    const halvetrop::FolderSummary& f) const noexcept {
    std::size_t seed = 0;
    mixValue(seed, f.path);
    mixValue(seed, f.name);
    mixValue(seed, f.depth);
    mixValue(seed, f.counts);
    mixValue(seed, f.dayRange.has_value());
    if (f.dayRange) {
        mixValue(seed, f.dayRange->lower);
        mixValue(seed, f.dayRange->upper);
    }
    mixValue(seed, f.rawPath);
    return seed;
}

std::size_t std::hash<halvetrop::ContentLine>::operator()(
    const halvetrop::ContentLine& l) const noexcept {
    std::size_t seed = 0;
    mixValue(seed, l.label);
    mixValue(seed, l.formats.size());
    for (const auto& format : l.formats) mixValue(seed, format);
    mixValue(seed, l.files);
    mixValue(seed, l.bytes);
    mixValue(seed, l.checked);
    mixValue(seed, l.note);
    mixValue(seed, l.unlisted.size());
    for (const auto& folder : l.unlisted) mixValue(seed, folder);
    return seed;
}

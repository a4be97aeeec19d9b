#pragma once
// The one result of a check and every record inside it. Plain values: copied on assignment,
// compared field by field, no identity and no back references. The verifier builds them; after a
// run nothing in the core changes a report.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "anatomy/Kinds.h"
#include "capture/CaptureInfo.h"
#include "drives/Drives.h"
#include "match/EvidenceLevel.h"
#include "platform/MediumDoubt.h"
#include "report/Join.h"
#include "text/Dates.h"

namespace halvetrop {

// How hard a check looks. Raw values are the case names.
enum class CheckLevel { standard, verified };

inline constexpr std::array<CheckLevel, 2> allCheckLevels{CheckLevel::standard,
                                                          CheckLevel::verified};
std::string_view rawValue(CheckLevel level);  // "standard", "verified"
std::optional<CheckLevel> checkLevelFromRaw(std::string_view text);
template <>
inline std::optional<CheckLevel> fromRawValue<CheckLevel>(std::string_view text) {
    return checkLevelFromRaw(text);
}

// The one status every card file in a report carries. Raw values are the case names; the
// declaration order is the listing order.
enum class FileStatus {
    verified,
    backedUp,
    likely,
    conflict,
    missing,
    cloudOnly,
    unreadable,
    changed,
    notCompared,
};

inline constexpr std::array<FileStatus, 9> allFileStatuses{
    FileStatus::verified,  FileStatus::backedUp,   FileStatus::likely,
    FileStatus::conflict,  FileStatus::missing,    FileStatus::cloudOnly,
    FileStatus::unreadable, FileStatus::changed,   FileStatus::notCompared};

std::string_view rawValue(FileStatus status);  // "verified", "backedUp", ..., "notCompared"
// The user's word for the status: "Verified", "Backed up", "Likely backed up", "Different file,
// same name", "Missing", "Cloud placeholder only", "Can't read", "Changed while reading",
// "Not compared".
std::string_view label(FileStatus status);
// True for exactly verified and backedUp: a real copy exists.
bool isCovered(FileStatus status);
// Exact, case-sensitive raw value; a label names no status.
std::optional<FileStatus> fileStatusFromRaw(std::string_view text);
template <>
inline std::optional<FileStatus> fromRawValue<FileStatus>(std::string_view text) {
    return fileStatusFromRaw(text);
}

template <>
inline std::optional<MediumDoubt> fromRawValue<MediumDoubt>(std::string_view text) {
    return mediumDoubtFromRaw(text);
}

// Paths in a report are kept twice where a name is not valid UTF-8: the display form (repaired,
// what screens, keys, matching and the CSV use) and, beside it, the bytes the file system knows
// the file by, which is what every open, stat, copy and reveal must use. The bytes field is empty
// whenever the display form is itself the path, so the usual report carries nothing extra; the
// ...Bytes() accessors give the path to open in either case.

// One copy of a card file on a backup.
struct CopyRef {
    int64_t destination = 0;     // index into VerifyReport::destinations
    std::string relativePath;    // relative to that backup's path, display form
    EvidenceLevel evidence = EvidenceLevel::none;
    bool renamed = false;        // found under a name other than the card file's
    std::string rawRelativePath{};  // the path's bytes when relativePath is not them, else empty
    // Why the copy, read whole, is not proven byte by byte: its read could not be shown to come
    // from its drive. Absent when it was, or was never read whole.
    std::optional<MediumDoubt> doubt{};

    std::string_view relativePathBytes() const {
        return rawRelativePath.empty() ? std::string_view(relativePath) : rawRelativePath;
    }

    friend bool operator==(const CopyRef&, const CopyRef&) = default;
};

// One card file in a report, identified by `id`.
struct FileResult {
    int64_t id = 0;
    std::string relativePath;  // join(folder, name): a top-folder file has "/" before its name
    std::string name;
    std::string folder;        // card-relative, empty for the card's top folder
    int64_t size = 0;
    TimeNs modified = 0;
    // The status change time (ctime) the check saw: it moves with any rewrite, whatever time is put
    // back. 0 where not known (reports stored before it was kept).
    TimeNs changeTime = 0;
    MediaKind kind = MediaKind::other;
    FileRole role = FileRole::media;
    bool inScope = false;      // only in-scope files are compared and counted
    std::optional<CaptureInfo> capture;
    std::string day;           // shoot day, "yyyy-MM-dd"
    std::string camera;        // camera model, or empty
    FileStatus status = FileStatus::missing;
    std::optional<std::string> detail;  // one sentence explaining the status
    std::vector<CopyRef> copies;        // in the order the comparison met them
    int64_t safeDrives = 0;  // separate drives, other than the card's, with a copy that counts
    std::string rawRelativePath{};  // the path's bytes when relativePath is not them, else empty
    // Why the card file, read whole, could not be shown to come from the card: then none of its
    // copies is proven byte by byte. Absent when it was, or was never read whole.
    std::optional<MediumDoubt> cardDoubt{};

    std::string_view relativePathBytes() const {
        return rawRelativePath.empty() ? std::string_view(relativePath) : rawRelativePath;
    }
    // The file's name and folder as the card's file system knows them: the parts of
    // relativePathBytes() around its last "/".
    std::string_view nameBytes() const;
    std::string_view folderBytes() const;

    friend bool operator==(const FileResult&, const FileResult&) = default;
};

// Counters of a set of files: for the whole report, each shoot and each folder.
struct StatusCounts {
    int64_t files = 0;
    int64_t bytes = 0;
    int64_t verified = 0;
    int64_t backedUp = 0;
    int64_t likely = 0;
    int64_t conflict = 0;
    int64_t missing = 0;       // missing or notCompared
    int64_t problem = 0;       // cloudOnly, unreadable or changed
    int64_t missingBytes = 0;  // size of conflict and missing files (not notCompared)
    // Of `problem`, the files changed while reading: they were read, and what was read is not on the
    // card now, so they are named apart from the files that could not be read.
    int64_t changed = 0;

    // Counts one more file, whatever its inScope flag (callers add only in-scope files).
    void add(const FileResult& file) { add(file.status, file.size); }
    // Counts one more file of this status and size; remove takes one back, so a file whose
    // status changed moves between the counters without counting the others again.
    void add(FileStatus status, int64_t size) { count(status, size, 1); }
    void remove(FileStatus status, int64_t size) { count(status, size, -1); }

    int64_t covered() const { return verified + backedUp; }
    // `changed` as far as `problem` holds it (a stored report is read as it was written), and the
    // rest of `problem`: the files that were not read.
    int64_t changedFiles() const { return std::max<int64_t>(0, std::min(changed, problem)); }
    int64_t unreadFiles() const { return problem - changedFiles(); }
    int64_t notCovered() const { return files - covered(); }
    // covered / files; 1.0 when there are no files.
    double fraction() const;

    friend bool operator==(const StatusCounts&, const StatusCounts&) = default;

private:
    void count(FileStatus status, int64_t size, int64_t n);
};

// Where part of a shoot already lies on one backup.
struct LandingRef {
    int64_t destination = 0;  // index into VerifyReport::destinations
    std::string folder;       // relative to the backup's path, empty for its root; display form
    int64_t files = 0;        // how many of the shoot's files were found there
    std::string rawFolder{};  // the folder's bytes when `folder` is not them, else empty

    std::string_view folderBytes() const {
        return rawFolder.empty() ? std::string_view(folder) : rawFolder;
    }

    friend bool operator==(const LandingRef&, const LandingRef&) = default;
};

// One shoot: the card files of one folder taken on one day with one camera.
struct ShootGroup {
    std::string folder;
    std::string day;
    std::string camera;
    std::vector<int64_t> fileIDs;  // FileResult::id of every file of the shoot
    StatusCounts counts;
    std::map<MediaKind, int64_t> kinds;       // camera-media files (role media) per kind
    std::map<std::string, int64_t> formats;   // camera-media files per upper-cased extension
    std::vector<LandingRef> landings;         // most files first
    bool scattered = false;
    std::string rawFolder{};  // the folder's bytes when `folder` is not them, else empty

    std::string_view folderBytes() const {
        return rawFolder.empty() ? std::string_view(folder) : rawFolder;
    }
    // folder + "|" + day + "|" + camera; a folder that is not UTF-8 adds "|" and its bytes
    // escaped, so that the shoot of its look-alike has another id.
    std::string id() const;

    friend bool operator==(const ShootGroup&, const ShootGroup&) = default;
};

// A closed range of two shoot-day texts, lower <= upper by plain text order.
struct DayRange {
    std::string lower;
    std::string upper;

    friend bool operator==(const DayRange&, const DayRange&) = default;
};

// One card folder.
struct FolderSummary {
    std::string path;   // card-relative, empty for the top folder
    std::string name;   // last component, empty for the top folder
    int64_t depth = 0;  // components of path
    StatusCounts counts;  // files in the folder and every folder below it
    std::optional<DayRange> dayRange;
    std::string rawPath{};  // the folder's bytes when `path` is not them, else empty

    // Two folders whose names differ only in bytes that are not UTF-8 share this display id;
    // pathBytes() tells them apart.
    const std::string& id() const { return path; }
    std::string_view pathBytes() const { return rawPath.empty() ? std::string_view(path) : rawPath; }

    friend bool operator==(const FolderSummary&, const FolderSummary&) = default;
};

// One line of the card's content summary.
struct ContentLine {
    std::string label;
    std::vector<std::string> formats;  // most frequent first
    int64_t files = 0;
    int64_t bytes = 0;
    int64_t checked = 0;  // how many of them are in scope
    std::string note;
    // Junk folders the check could not open (root's lost+found on an ext4 card), card-relative,
    // display form; they hold nothing a check needs.
    std::vector<std::string> unlisted{};

    const std::string& id() const { return label; }

    friend bool operator==(const ContentLine&, const ContentLine&) = default;
};

// A card folder or entry that could not be listed or examined.
struct UnreadableEntry {
    std::string path;    // card-relative, display form; empty for the card's top folder
    std::string reason;  // the system's words: "Permission denied"

    friend bool operator==(const UnreadableEntry&, const UnreadableEntry&) = default;
};

// What reading the card did to its files' access times. Raw values are the case names.
enum class CardAccessTimes {
    kept,           // every open kept them, or the mount records none (read-only, noatime)
    fuseReadWrite,  // a FUSE file system mounted read-write: its daemon stamps them, whatever is asked
    otherOwner,     // files of another user where the mount records them: O_NOATIME is the owner's
};
inline constexpr std::array<CardAccessTimes, 3> allCardAccessTimes{
    CardAccessTimes::kept, CardAccessTimes::fuseReadWrite, CardAccessTimes::otherOwner};
std::string_view rawValue(CardAccessTimes what);
std::optional<CardAccessTimes> cardAccessTimesFromRaw(std::string_view text);
template <>
inline std::optional<CardAccessTimes> fromRawValue<CardAccessTimes>(std::string_view text) {
    return cardAccessTimesFromRaw(text);
}

// The sentence that tells the user that reading `card` changes access times on it, and how to keep
// them; none when they were kept. A card that is a volume is named by the volume's name (else its
// path), one that is a folder on a volume by the folder's name.
std::optional<std::string> accessTimesNote(CardAccessTimes what, const VolumeInfo& card);

// A media kind the scope left out although the card holds camera media of it.
struct SkippedKind {
    MediaKind kind = MediaKind::other;
    int64_t files = 0;

    friend bool operator==(const SkippedKind&, const SkippedKind&) = default;
};

// The one result of a check. Every CopyRef and LandingRef destination indexes `destinations`
// and every ShootGroup file id names a file of `files`: the builder keeps this and decoding a
// stored report enforces it.
struct VerifyReport {
    VolumeInfo source;
    std::vector<VolumeInfo> destinations;  // request order, unreadable backups included
    VerifyScope scope;
    CheckLevel level = CheckLevel::standard;
    int64_t requiredCopies = 0;
    std::vector<CameraProfile> cameras;
    std::vector<FileResult> files;  // every card file but junk, in the verifier's item order
    std::vector<ShootGroup> groups;
    std::vector<FolderSummary> folders;
    StatusCounts totals;     // over the in-scope files
    bool safeToFormat = false;
    int64_t safeFiles = 0;   // in-scope files with safeDrives >= requiredCopies
    int64_t outOfScope = 0;
    std::vector<std::string> problems;
    std::vector<ContentLine> contents;
    TimeNs startedAt = 0;
    TimeNs finishedAt = 0;
    // Card folders and entries that could not be listed or examined. Files in them were never
    // seen, so a card with any is never safe to format.
    int64_t cardUnreadable = 0;
    // Which they were. Reports stored before these were kept have none beside their count.
    std::vector<UnreadableEntry> cardUnreadableEntries;
    // Reports stored before this was kept read as kept.
    CardAccessTimes cardAccessTimes = CardAccessTimes::kept;

    // Field by field: a stored report reads back equal to the one that was stored.
    friend bool operator==(const VerifyReport&, const VerifyReport&) = default;

    // Queries, computed from the stored fields on every call.
    std::vector<FileResult> inScopeFiles() const;
    // Kinds of camera media (role media) that the scope left out, in kind order.
    std::vector<SkippedKind> skippedKinds() const;
    // Kinds among the in-scope files, in kind order.
    std::vector<MediaKind> checkedKinds() const;
    bool readyToFormat() const;  // safeToFormat, the whole card read and nothing skipped
    bool isCardOnly() const { return destinations.empty(); }
    std::string headline() const;
    // The access-time sentence of the card (see accessTimesNote).
    std::optional<std::string> accessTimesNote() const;
    // Where a file lies, as bytes to open: the card's path joined with relativePathBytes().
    std::string absolutePath(const FileResult& file) const;
    // Throws std::out_of_range for a copy that does not belong to this report.
    std::string absolutePath(const CopyRef& ref) const;
};

// The one-line summary of counters, as the report's headline speaks of them; a card that was not
// read whole says so first, and then never claims every file. Counts are plain digits unless
// `number` writes them (a window groups them as its locale does).
std::string headline(const StatusCounts& totals, int64_t cardUnreadable = 0,
                     const std::function<std::string(int64_t)>& number = {});

}  // namespace halvetrop

template <>
struct std::hash<halvetrop::CopyRef> {
    std::size_t operator()(const halvetrop::CopyRef& r) const noexcept;
};
template <>
struct std::hash<halvetrop::FileResult> {
    std::size_t operator()(const halvetrop::FileResult& r) const noexcept;
};
template <>
struct std::hash<halvetrop::StatusCounts> {
    std::size_t operator()(const halvetrop::StatusCounts& c) const noexcept;
};
template <>
struct std::hash<halvetrop::LandingRef> {
    std::size_t operator()(const halvetrop::LandingRef& r) const noexcept;
};
template <>
struct std::hash<halvetrop::ShootGroup> {
    std::size_t operator()(const halvetrop::ShootGroup& g) const noexcept;
};
template <>
struct std::hash<halvetrop::FolderSummary> {
    std::size_t operator()(const halvetrop::FolderSummary& f) const noexcept;
};
template <>
struct std::hash<halvetrop::ContentLine> {
    std::size_t operator()(const halvetrop::ContentLine& l) const noexcept;
};

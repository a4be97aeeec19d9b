#pragma once
// The file browser's rules over the shown report: which files the list shows, which of them may
// be copied, the byte-by-byte pass's fold of live results, and the CSV export. Pure functions over
// a report plus one precomputed index per report (folded search keys, id lookup), so a list of
// 100,000 files refilters within a keystroke.
#include <QDate>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "report/Report.h"

namespace halvetrop {

// Which statuses the file list shows (the model names them for the user).
enum class FileFilter { all, notBackedUp, backedUp };

// The restrictions of the file list, applied in this order: in scope, status, shoot, folder,
// search.
struct FileQuery {
    FileFilter filter = FileFilter::all;
    QString search;                           // trimmed of blanks and tabs here
    std::optional<std::string> folderFilter;  // the folder (its bytes) and every folder below it
    const ShootGroup* groupFilter = nullptr;  // the shoot's files only
};

// The search text without leading and trailing blanks and tabs (line breaks stay).
QString trimSearch(const QString& search);
// Case and canonical-form insensitive key of a text (UTF-8 in, UTF-8 out; ill-formed bytes as
// U+FFFD): "contains" over keys is "contains, ignoring case".
std::string searchKey(std::string_view text);

// Built once per shown report (whenever the report's file list is replaced, not for a fold,
// which keeps names, folders and order). Positions are indexes into report.files.
class FileIndex {
public:
    FileIndex() = default;
    explicit FileIndex(const VerifyReport& report);

    size_t size() const { return nameEnds_.size(); }
    // The position of the file with this id, if the report has one.
    std::optional<int> position(int64_t id) const;
    // The file with this id in `report` (the report the index was built for).
    const FileResult* file(const VerifyReport& report, int64_t id) const;

    // Positions of the files that pass every restriction, in report order.
    std::vector<int> refilter(const VerifyReport& report, const FileQuery& query) const;
    // What refilter gives after a fold (foldLive) changed the files at `changed` (positions), from
    // `visible`, what it gave before: a fold changes no name, folder, shoot or scope, so only the
    // changed files are tested again, and only when the query looks at statuses.
    std::vector<int> refold(const VerifyReport& report, const FileQuery& query,
                            const std::vector<int>& visible, const std::vector<int>& changed) const;

private:
    struct Test;
    bool passes(const VerifyReport& report, const Test& test, size_t i) const;

    // Search keys of every name and folder, one after the other: name i is
    // keys_[nameStart(i), nameEnds_[i]), its folder follows up to folderEnds_[i].
    std::string keys_;
    std::vector<uint32_t> nameEnds_;
    std::vector<uint32_t> folderEnds_;
    bool idsArePositions_ = true;  // every file's id is its position: no table needed
    std::unordered_map<int64_t, int> positions_;
};

// The ids among `ids` that may be copied, in the order given, each once (the first kept): files
// of the report that are in scope and missing or in conflict. Empty for a card-only report.
std::vector<int64_t> copyableIDs(const VerifyReport& report, const FileIndex& index,
                                 const std::vector<int64_t>& ids);
// Every file id of the report, in report order (what "copy everything that's missing" asks for).
std::vector<int64_t> allFileIDs(const VerifyReport& report);
// The copy sheet's title for everything that is missing.
QString copyAllMissingTitle();

// The card file's path, then its first backup copy's (later copies are not previewed; a copy
// naming no backup of the report is left out).
std::vector<std::string> previewPaths(const VerifyReport& report, const FileResult& file);

// What one fold of live results changed.
struct LiveFold {
    std::vector<int> changed;  // positions of the files updated, in batch order
    bool safeRevoked = false;  // the report was safe to format and no longer is
};
// Counts the report's totals again over its in-scope files.
void recountTotals(VerifyReport& report);
// Folds a batch of the byte-by-byte pass into the shown report: a result whose id is a position
// of report.files holding the same relative path gives that file its status, copies, detail and
// safe drives (everything else stays); the totals follow the folded in-scope files, so they stay
// the count of the in-scope files when they were that before (recountTotals). Once a folded
// in-scope file is not covered or has fewer safe drives than the report requires, the report
// stops being safe to format. Live results never make a report safe. Only for a pass whose
// backups are the report's (sameBackups).
LiveFold foldLive(VerifyReport& report, const std::vector<FileResult>& batch);
// True when `backupPaths` are the report's backups, in the same order.
bool sameBackups(const VerifyReport& report, const std::vector<std::string>& backupPaths);

// "SD Halvetrop – <card name> – <today as YYYY-MM-DD>.csv", the date in the form the copy report's
// file is named with, in every locale; never holds a "/".
QString csvFileName(const VerifyReport& report, const QDate& today);

struct ExportFailure {
    QString file;
    QString reason;  // the system's words
    // The warning the user sees.
    QString noticeText() const;
};
// Writes the report's CSV to `path` atomically, as UTF-8; the file and the reason on failure.
std::optional<ExportFailure> writeCSV(const VerifyReport& report, const QString& path);

}  // namespace halvetrop

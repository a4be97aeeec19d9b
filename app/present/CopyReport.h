#pragma once
// The record of one finished copy: where the new files landed, one row for every planned file, and
// its CSV. Built once on the GUI thread when the run returns; never changed afterwards.
#include "copy/CopyPlanner.h"
#include "copy/CopyRunner.h"
#include "text/Dates.h"

#include <QLocale>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace halvetrop {
struct FileResult;
struct VerifyReport;
}  // namespace halvetrop

namespace halvetrop::present {

inline constexpr const char* kCopiedStatus = "Copied and verified";
inline constexpr const char* kAlreadyThereStatus = "Already there (identical)";
// The same, when the bytes compared came from the page cache rather than the backup's medium
// (tmpfs, FUSE, a cache that would not let go): what lies on the drive itself is not proven.
inline constexpr const char* kCopiedFromCacheStatus =
    "Copied and verified (read back from the page cache, not the drive)";
inline constexpr const char* kAlreadyThereFromCacheStatus =
    "Already there (identical, read from the page cache, not the drive)";
inline constexpr const char* kStoppedStatus = "Not copied (stopped)";
inline constexpr const char* kCsvHeader = "File,Status,Size (bytes),Copied to,From card";

struct CopyReport {
    struct Row {
        // Names and paths are bytes, as the file systems know them.
        std::string name;
        std::string source;       // on the card; empty when the plan does not know the file
        std::string destination;  // on the backup; empty when the plan does not know the file
        std::int64_t size = 0;
        std::string status;
        bool fromCache = false;  // copied or already there, compared in the page cache only
        bool operator==(const Row&) const = default;
    };
    struct Folder {
        std::string path;
        std::vector<std::string> files;  // in the run's order
        std::int64_t bytes = 0;
        bool operator==(const Folder&) const = default;
    };
    struct Failure {
        std::string name;
        std::string message;
        // The message as it reads after the file's name: without that name again.
        std::string reason;
        bool operator==(const Failure&) const = default;
    };

    TimeNs date = 0;
    std::string sourceName;
    std::string driveName;
    std::string driveRoot;
    std::vector<Folder> folders;
    int alreadyThere = 0;
    std::vector<Failure> failed;
    // Planned files a stopped run never reached; they are rows too, so the CSV lists every file.
    int notCopied = 0;
    bool cancelled = false;
    std::int64_t bytesCopied = 0;
    std::vector<Row> rows;
    // The check it was made over: its card's place, its backups' places (sorted) and its start.
    std::string cardPath;
    std::vector<std::string> backupPaths;
    TimeNs checkStarted = 0;

    // `filesByID` gives the card file's name of a failed id; `now` stamps the record.
    static CopyReport make(const CopyRunResult& result, const CopyPlan& plan, const VerifyReport& report,
                           std::string driveName,
                           const std::unordered_map<std::int64_t, const FileResult*>& filesByID, TimeNs now);

    int copiedCount() const;
    // Rows whose comparison read the page cache rather than the drive.
    int fromCacheCount() const;
    std::vector<std::string> allCopiedPaths() const;
    // Whether `shown` is the result of the check this copy was made over, or of one after it of
    // the same card against the same backups (as the one Done starts): the report is shown over no
    // other result, an earlier one of that card or one against another backup.
    bool belongsTo(const VerifyReport& shown) const;
    std::string csv() const;
    // "SD Halvetrop copy – <card> – YYYY-MM-DD.csv", the date in UTC; "/" and NUL of the card's
    // name would make another path or cut the name short, so they become "-".
    std::string suggestedFileName() const;
    // A folder's title: relative to driveRoot when it really lies under it, "(top level)" for
    // the root itself, otherwise the whole path.
    std::string folderTitle(const std::string& path) const;
};

// The result screen's headline: problems first; a stopped run never wears the success seal.
enum class CopyOutcome { problems, stopped, copied };
CopyOutcome copyOutcome(const CopyReport& report);
QString copyHeadline(CopyOutcome outcome);
// "3 copied (3 KB) · 1 was already there · 2 failed · 4 not copied", parts only when not zero;
// "Nothing copied · 2 failed" when no file was copied (the files not reached go without saying).
QString copySummary(const CopyReport& report, const QLocale& locale = QLocale());
// The first 100 failures as "name: reason", each name (also one in the reason) cut in its middle
// where it is long: a name of hundreds of bytes would bury what is wrong with it. The file's name
// is isolated (isolatedName): in another script it turns neither itself nor the line around.
QStringList failureLines(const CopyReport& report);
// The copy dialog's preview header: "1,234 files · 31.4 GB · 812 GB free on Archive", without
// the free part while the backup's free space is not known.
QString planSummary(int64_t files, int64_t bytes, std::optional<int64_t> freeBytes, const QString& backup,
                    const QLocale& locale = QLocale());
// The copy button: "Copy 1 File", "Copy 1,234 Files".
QString copyFilesButton(int64_t files, const QLocale& locale = QLocale());
// Under the preview, of the files that get a number for sharing a name with another file going to
// the same folder: "1 file shares a name …; it'll get a number, …"; "" when none does.
QString collisionNote(int64_t renamed, const QLocale& locale = QLocale());
// The last copy popover's title: "Last copy · 1 file · 2:05 PM".
QString lastCopyTitle(int64_t copied, const QString& time, const QLocale& locale = QLocale());
// The copying screen's count line: "12 of 1,234 files · 3 MB of 31.4 GB".
QString copyProgressLine(int64_t filesDone, int64_t filesTotal, int64_t bytesDone, int64_t bytesTotal,
                         const QLocale& locale = QLocale());
// Whether any file was compared in the page cache only: the sentence that says so, else "".
QString fromCacheNote(const CopyReport& report, const QLocale& locale = QLocale());
// The first 100 of those files, each as its place on the backup.
QStringList fromCacheLines(const CopyReport& report);

// One CSV cell: bytes that are not UTF-8 repaired as shown on screen; a first code point that a
// spreadsheet would take as a formula or a control (= + - @ tab CR) is guarded with an
// apostrophe; quotes doubled; always quoted.
std::string csvField(const std::string& bytes);

}  // namespace halvetrop::present

// The record as the model keeps it (AppModel::lastCopy) and the views read it.
Q_DECLARE_METATYPE(std::shared_ptr<const halvetrop::present::CopyReport>)

namespace halvetrop::present {
// What the report view shows: outcome, headline, summary, failure lines, folders with titles and
// subtitles, drive name and root, counts. Empty for anything but a copy report. The paths in it
// (a folder's path and files, the drive's root) are path keys, for the model to act on.
QVariantMap copyReportView(const QVariant& record, const QLocale& locale = QLocale());
}  // namespace halvetrop::present

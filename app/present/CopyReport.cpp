#include "present/CopyReport.h"

#include "present/Fit.h"
#include "present/Format.h"
#include "present/Home.h"
#include "present/Paths.h"
#include "report/Report.h"
#include "text/Collation.h"
#include "text/Utf8.h"

#include <QDateTime>
#include <QString>

#include <algorithm>
#include <map>
#include <set>

namespace halvetrop::present {

namespace {

std::string lastComponent(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> backupPathsOf(const VerifyReport& report) {
    std::vector<std::string> paths;
    for (const VolumeInfo& d : report.destinations) paths.push_back(d.path);
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string parentDirectory(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

CopyReport CopyReport::make(const CopyRunResult& result, const CopyPlan& plan, const VerifyReport& report,
                            std::string driveName,
                            const std::unordered_map<std::int64_t, const FileResult*>& filesByID,
                            TimeNs now) {
    CopyReport r;
    r.date = now;
    r.sourceName = cardNameBytes(report.source);
    r.driveName = std::move(driveName);
    r.driveRoot = plan.root;
    r.cardPath = report.source.path;
    r.backupPaths = backupPathsOf(report);
    r.checkStarted = report.startedAt;

    std::unordered_map<std::int64_t, const PlannedCopy*> planned;
    for (const auto& item : plan.items) planned.emplace(item.id, &item);
    auto find = [&](std::int64_t id) -> const PlannedCopy* {
        auto it = planned.find(id);
        return it == planned.end() ? nullptr : it->second;
    };
    auto cardName = [&](std::int64_t id) -> std::string {
        auto it = filesByID.find(id);
        return it == filesByID.end() || !it->second ? std::string("?") : it->second->name;
    };

    std::set<std::int64_t> handled;
    std::map<std::string, Folder> byPath;
    for (const auto& c : result.copied) {
        handled.insert(c.id);
        const PlannedCopy* p = find(c.id);
        std::int64_t size = p ? p->size : 0;
        Folder& folder = byPath[parentDirectory(c.path)];
        folder.path = parentDirectory(c.path);
        folder.files.push_back(c.path);
        folder.bytes += size;
        const bool fromCache = !c.readBackFromMedium;
        r.rows.push_back({lastComponent(c.path), p ? p->source : std::string(), c.path, size,
                          fromCache ? kCopiedFromCacheStatus : kCopiedStatus, fromCache});
    }
    for (const auto& a : result.alreadyThere) {
        handled.insert(a.id);
        const PlannedCopy* p = find(a.id);
        const bool fromCache = !a.readFromMedium;
        r.rows.push_back({lastComponent(a.path), p ? p->source : std::string(), a.path, p ? p->size : 0,
                          fromCache ? kAlreadyThereFromCacheStatus : kAlreadyThereStatus, fromCache});
    }
    for (const auto& f : result.failed) {
        handled.insert(f.id);
        const PlannedCopy* p = find(f.id);
        std::string name = cardName(f.id);
        r.rows.push_back({name, p ? p->source : std::string(), p ? p->destination() : std::string(),
                          p ? p->size : 0, "Failed: " + f.message});
        r.failed.push_back({std::move(name), f.message,
                            f.error ? f.error->reasonFor(p ? p->destDir : std::string()) : f.message});
    }
    // A stopped run leaves planned files unreached; the report promises every file, so they are
    // listed as such rather than silently left out.
    for (const auto& item : plan.items) {
        if (!handled.insert(item.id).second) continue;
        r.rows.push_back({cardName(item.id), item.source, item.destination(), item.size, kStoppedStatus});
        ++r.notCopied;
    }

    // The file manager's order; paths it calls equal are ordered by their bytes, so the order
    // is always the same.
    Collation collation;
    for (auto& [path, folder] : byPath) r.folders.push_back(std::move(folder));
    std::sort(r.folders.begin(), r.folders.end(),
              [&](const Folder& a, const Folder& b) { return collation.less(a.path, b.path); });
    r.alreadyThere = int(result.alreadyThere.size());
    r.cancelled = result.cancelled;
    r.bytesCopied = result.bytesCopied;
    return r;
}

int CopyReport::copiedCount() const {
    int n = 0;
    for (const auto& f : folders) n += int(f.files.size());
    return n;
}

int CopyReport::fromCacheCount() const {
    return int(std::count_if(rows.begin(), rows.end(), [](const Row& row) { return row.fromCache; }));
}

std::vector<std::string> CopyReport::allCopiedPaths() const {
    std::vector<std::string> paths;
    for (const auto& f : folders) paths.insert(paths.end(), f.files.begin(), f.files.end());
    return paths;
}

bool CopyReport::belongsTo(const VerifyReport& shown) const {
    return shown.source.path == cardPath && backupPathsOf(shown) == backupPaths &&
           shown.startedAt >= checkStarted;
}

std::string csvField(const std::string& bytes) {
    // Paths and names are bytes; the file is UTF-8 text, so they go in as shown.
    const std::string text = repairUtf8(bytes);
    std::string out;
    out.reserve(text.size() + 3);
    out += '"';
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
        out += '\'';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string CopyReport::csv() const {
    std::string out = std::string(kCsvHeader) + "\n";
    for (const auto& row : rows) {
        out += csvField(row.name) + "," + csvField(row.status) + "," + csvField(std::to_string(row.size)) +
               "," + csvField(row.destination) + "," + csvField(row.source) + "\n";
    }
    return out;
}

std::string CopyReport::suggestedFileName() const {
    std::string card = sourceName;
    for (char& c : card)
        if (c == '/' || c == '\0') c = '-';
    return "SD Halvetrop copy \u2013 " + card + " \u2013 " +
           DateFormatter(DatePattern::day, DateZone::utc).format(date) + ".csv";
}

std::string CopyReport::folderTitle(const std::string& path) const {
    if (path == driveRoot) return "(top level)";
    std::string prefix = driveRoot == "/" ? "/" : driveRoot + "/";
    if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0)
        return path.substr(prefix.size());
    return path;
}

CopyOutcome copyOutcome(const CopyReport& report) {
    if (!report.failed.empty()) return CopyOutcome::problems;
    return report.cancelled ? CopyOutcome::stopped : CopyOutcome::copied;
}

QString copyHeadline(CopyOutcome outcome) {
    switch (outcome) {
        case CopyOutcome::problems:
            return QStringLiteral("Finished with problems");
        case CopyOutcome::stopped:
            return QStringLiteral("Stopped");
        case CopyOutcome::copied:
            return QStringLiteral("Copied and verified");
    }
    return {};
}

QString copySummary(const CopyReport& report, const QLocale& locale) {
    const int copied = report.copiedCount();
    // Nothing copied is said in words: a count of none with a size of none says it twice, and the
    // files a stopped run never reached are among what was not copied.
    QString text = copied == 0 ? QStringLiteral("Nothing copied")
                               : count(copied, locale) + QStringLiteral(" copied (") +
                                     byteCount(report.bytesCopied, locale) + u')';
    if (report.alreadyThere > 0)
        text += QStringLiteral(" \u00b7 ") + counted(report.alreadyThere, QStringLiteral("was already there"),
                                                     QStringLiteral("were already there"), locale);
    if (!report.failed.empty())
        text += QStringLiteral(" \u00b7 ") + count(int64_t(report.failed.size()), locale) +
                QStringLiteral(" failed");
    if (report.notCopied > 0 && copied > 0)
        text += QStringLiteral(" \u00b7 ") + count(report.notCopied, locale) + QStringLiteral(" not copied");
    return text;
}

QString planSummary(int64_t files, int64_t bytes, std::optional<int64_t> freeBytes, const QString& backup,
                    const QLocale& locale) {
    QString out = fileCount(files, locale) + QStringLiteral(" · ") + byteCount(bytes, locale);
    if (freeBytes)
        out += QStringLiteral(" · ") + byteCount(*freeBytes, locale) + QStringLiteral(" free on ") + backup;
    return out;
}

QString copyFilesButton(int64_t files, const QLocale& locale) {
    return QStringLiteral("Copy ") + counted(files, QStringLiteral("File"), QStringLiteral("Files"), locale);
}

QString collisionNote(int64_t renamed, const QLocale& locale) {
    if (renamed < 1) return {};
    return count(renamed, locale) +
           agree(renamed, QStringLiteral(" file shares a name"), QStringLiteral(" files share a name")) +
           QStringLiteral(" with another file going to the same folder; ") +
           agree(renamed, QStringLiteral("it'll"), QStringLiteral("they'll")) +
           QStringLiteral(" get a number, like \u201cDSC00001 (2).ARW\u201d.");
}

QString lastCopyTitle(int64_t copied, const QString& time, const QLocale& locale) {
    return QStringLiteral("Last copy \u00b7 ") + fileCount(copied, locale) + QStringLiteral(" \u00b7 ") +
           time;
}

QString copyProgressLine(int64_t filesDone, int64_t filesTotal, int64_t bytesDone, int64_t bytesTotal,
                         const QLocale& locale) {
    return locale.toString(qlonglong(filesDone)) + QStringLiteral(" of ") + fileCount(filesTotal, locale) +
           QStringLiteral(" · ") + byteCount(bytesDone, locale) + QStringLiteral(" of ") +
           byteCount(bytesTotal, locale);
}

QStringList failureLines(const CopyReport& report) {
    constexpr int kName = 60;
    QStringList lines;
    for (size_t i = 0; i < report.failed.size() && i < 100; ++i) {
        // A name the reason quotes (a folder's) is cut as the file's own.
        const QString reason = shortenNames(
            displayText(report.failed[i].reason), [](const QString&) { return false; }, kName);
        // The name in its own direction: the line reads left to right whatever its script.
        lines << isolatedName(cutMiddle(displayText(report.failed[i].name), kName)) + QStringLiteral(": ") +
                     reason;
    }
    return lines;
}

QString fromCacheNote(const CopyReport& report, const QLocale& locale) {
    const int n = report.fromCacheCount();
    if (n == 0) return {};
    return counted(
        n,
        QStringLiteral("file was checked in the page cache, not read back from the drive: its copy "
                       "on the drive isn't proven byte by byte."),
        QStringLiteral("files were checked in the page cache, not read back from the drive: their "
                       "copies on the drive aren't proven byte by byte."),
        locale);
}

QStringList fromCacheLines(const CopyReport& report) {
    QStringList lines;
    for (const auto& row : report.rows) {
        if (lines.size() == 100) break;
        if (row.fromCache) lines << displayText(report.folderTitle(row.destination));
    }
    return lines;
}

QVariantMap copyReportView(const QVariant& record, const QLocale& locale) {
    auto report = record.value<std::shared_ptr<const CopyReport>>();
    if (!report) return {};
    const CopyReport& r = *report;
    QVariantList folders;
    for (const auto& f : r.folders) {
        QStringList files;
        for (const auto& p : f.files) files << pathKey(p);
        folders.append(QVariantMap{
            {QStringLiteral("title"), displayText(r.folderTitle(f.path))},
            {QStringLiteral("subtitle"), counted(int64_t(f.files.size()), QStringLiteral("new file"),
                                                 QStringLiteral("new files"), locale) +
                                             QStringLiteral(" \u00b7 ") + byteCount(f.bytes, locale)},
            {QStringLiteral("path"), pathKey(f.path)},
            {QStringLiteral("files"), files}});
    }
    const CopyOutcome outcome = copyOutcome(r);
    const QString time =
        locale.toString(QDateTime::fromMSecsSinceEpoch(r.date / 1000000).time(), QLocale::ShortFormat);
    // A section label's words are capitals; the drive's name stays as it is written.
    const QString foldersHeadline =
        (QStringLiteral("Copied into ") +
         counted(int64_t(r.folders.size()), QStringLiteral("folder"), QStringLiteral("folders"), locale) +
         QStringLiteral(" on "))
            .toUpper() +
        displayText(r.driveName);
    return {{QStringLiteral("outcome"), outcome == CopyOutcome::problems  ? QStringLiteral("problems")
                                        : outcome == CopyOutcome::stopped ? QStringLiteral("stopped")
                                                                          : QStringLiteral("copied")},
            {QStringLiteral("headline"), copyHeadline(outcome)},
            {QStringLiteral("summary"), copySummary(r, locale)},
            {QStringLiteral("failures"), failureLines(r)},
            {QStringLiteral("failedCount"), int(r.failed.size())},
            {QStringLiteral("fromCacheNote"), fromCacheNote(r, locale)},
            {QStringLiteral("fromCache"), fromCacheLines(r)},
            {QStringLiteral("folders"), folders},
            {QStringLiteral("foldersHeadline"), foldersHeadline},
            {QStringLiteral("driveRoot"), pathKey(r.driveRoot)},
            {QStringLiteral("copiedCount"), r.copiedCount()},
            {QStringLiteral("lastCopyTitle"), lastCopyTitle(r.copiedCount(), time, locale)},
            {QStringLiteral("sourceName"), displayText(r.sourceName)},
            {QStringLiteral("time"), time}};
}

}  // namespace halvetrop::present

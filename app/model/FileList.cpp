#include "model/FileList.h"

#include <QSaveFile>

#include <algorithm>
#include <unordered_set>

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include "model/WriteAll.h"
#include "present/Home.h"
#include "report/CSVExport.h"
#include "text/Utf8.h"

namespace halvetrop {

namespace {

bool passesStatus(FileFilter filter, FileStatus status) {
    switch (filter) {
        case FileFilter::all:
            return true;
        case FileFilter::notBackedUp:
            return !isCovered(status);
        case FileFilter::backedUp:
            return isCovered(status);
    }
    return true;
}

// The folder itself or one below it; "DCIM/100" does not take in "DCIM/1000".
bool inFolder(std::string_view folder, std::string_view restriction) {
    if (!folder.starts_with(restriction)) return false;
    return folder.size() == restriction.size() || folder[restriction.size()] == '/';
}

}  // namespace

QString trimSearch(const QString& search) {
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    qsizetype begin = 0;
    qsizetype end = search.size();
    while (begin < end && blank(search[begin])) ++begin;
    while (end > begin && blank(search[end - 1])) --end;
    return search.mid(begin, end - begin);
}

std::string searchKey(std::string_view text) {
    if (isAllAscii(text)) {
        // Case folding with compatibility forms maps ASCII to lower-case ASCII and nothing else.
        std::string key(text);
        for (char& c : key) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return key;
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* fold = icu::Normalizer2::getNFKCCasefoldInstance(status);
    std::string valid = repairUtf8(text);
    if (U_FAILURE(status)) return valid;
    icu::UnicodeString folded = fold->normalize(
        icu::UnicodeString::fromUTF8(icu::StringPiece(valid.data(), static_cast<int32_t>(valid.size()))),
        status);
    if (U_FAILURE(status)) return valid;
    std::string key;
    folded.toUTF8String(key);
    return key;
}

FileIndex::FileIndex(const VerifyReport& report) {
    const auto& files = report.files;
    nameEnds_.reserve(files.size());
    folderEnds_.reserve(files.size());
    // Files come folder by folder, so the folder's key is folded once per run of its files.
    const std::string* lastFolder = nullptr;
    std::string folderKey;
    for (size_t i = 0; i < files.size(); ++i) {
        const FileResult& f = files[i];
        keys_ += searchKey(f.name);
        nameEnds_.push_back(static_cast<uint32_t>(keys_.size()));
        if (!lastFolder || *lastFolder != f.folder) {
            folderKey = searchKey(f.folder);
            lastFolder = &f.folder;
        }
        keys_ += folderKey;
        folderEnds_.push_back(static_cast<uint32_t>(keys_.size()));
        if (f.id != static_cast<int64_t>(i)) idsArePositions_ = false;
    }
    if (!idsArePositions_) {
        positions_.reserve(files.size());
        for (size_t i = 0; i < files.size(); ++i) positions_.emplace(files[i].id, static_cast<int>(i));
    }
}

std::optional<int> FileIndex::position(int64_t id) const {
    if (idsArePositions_) {
        if (id < 0 || id >= static_cast<int64_t>(size())) return std::nullopt;
        return static_cast<int>(id);
    }
    auto it = positions_.find(id);
    if (it == positions_.end()) return std::nullopt;
    return it->second;
}

const FileResult* FileIndex::file(const VerifyReport& report, int64_t id) const {
    auto at = position(id);
    if (!at || static_cast<size_t>(*at) >= report.files.size()) return nullptr;
    const FileResult& f = report.files[static_cast<size_t>(*at)];
    return f.id == id ? &f : nullptr;
}

// A query made ready to test files with.
struct FileIndex::Test {
    const FileQuery& query;
    FileFilter filter;
    bool group;
    std::string search;         // the search text's key
    std::vector<char> inShoot;  // by position, with a shoot restriction
    bool byFolder = false;

    Test(const FileIndex& index, const FileQuery& q)
        : query(q),
          filter(q.filter),
          group(q.groupFilter != nullptr),
          search(searchKey(trimSearch(q.search).toStdString())) {
        if (q.groupFilter) {
            inShoot.assign(index.size(), 0);
            for (int64_t id : q.groupFilter->fileIDs) {
                if (auto at = index.position(id)) inShoot[static_cast<size_t>(*at)] = 1;
            }
        }
        byFolder = q.folderFilter && !q.folderFilter->empty();
    }
};

// Inlined into the loops over 100,000 files.
[[gnu::always_inline]] inline bool FileIndex::passes(const VerifyReport& report, const Test& test,
                                                     size_t i) const {
    const FileResult& f = report.files[i];
    if (!f.inScope) return false;
    if (!passesStatus(test.filter, f.status)) return false;
    if (test.group && !test.inShoot[i]) return false;
    if (test.byFolder && !inFolder(f.folderBytes(), *test.query.folderFilter)) return false;
    if (!test.search.empty()) {
        const std::string_view keys(keys_);
        const uint32_t start = i == 0 ? 0 : folderEnds_[i - 1];
        std::string_view name = keys.substr(start, nameEnds_[i] - start);
        std::string_view folder = keys.substr(nameEnds_[i], folderEnds_[i] - nameEnds_[i]);
        if (name.find(test.search) == std::string_view::npos &&
            folder.find(test.search) == std::string_view::npos)
            return false;
    }
    return true;
}

std::vector<int> FileIndex::refilter(const VerifyReport& report, const FileQuery& query) const {
    // An index of another report would answer with the wrong keys.
    if (size() != report.files.size()) return FileIndex(report).refilter(report, query);
    const Test test(*this, query);
    std::vector<int> visible;
    for (size_t i = 0; i < size(); ++i) {
        if (passes(report, test, i)) visible.push_back(static_cast<int>(i));
    }
    return visible;
}

std::vector<int> FileIndex::refold(const VerifyReport& report, const FileQuery& query,
                                   const std::vector<int>& visible, const std::vector<int>& changed) const {
    if (size() != report.files.size()) return FileIndex(report).refilter(report, query);
    if (query.filter == FileFilter::all) return visible;
    std::vector<int> again;
    again.reserve(changed.size());
    for (int p : changed) {
        if (p >= 0 && static_cast<size_t>(p) < size()) again.push_back(p);
    }
    std::sort(again.begin(), again.end());
    again.erase(std::unique(again.begin(), again.end()), again.end());
    const Test test(*this, query);
    std::vector<int> out;
    out.reserve(visible.size() + again.size());
    auto next = again.begin();
    for (int p : visible) {
        for (; next != again.end() && *next <= p; ++next) {
            if (passes(report, test, static_cast<size_t>(*next))) out.push_back(*next);
        }
        // Tested above when it was changed.
        if (next == again.begin() || *(next - 1) != p) out.push_back(p);
    }
    for (; next != again.end(); ++next) {
        if (passes(report, test, static_cast<size_t>(*next))) out.push_back(*next);
    }
    return out;
}

std::vector<int64_t> copyableIDs(const VerifyReport& report, const FileIndex& index,
                                 const std::vector<int64_t>& ids) {
    if (report.isCardOnly()) return {};
    std::vector<int64_t> copyable;
    std::unordered_set<int64_t> taken;
    for (int64_t id : ids) {
        const FileResult* f = index.file(report, id);
        if (!f || !f->inScope) continue;
        if (f->status != FileStatus::missing && f->status != FileStatus::conflict) continue;
        if (taken.insert(id).second) copyable.push_back(id);
    }
    return copyable;
}

std::vector<int64_t> allFileIDs(const VerifyReport& report) {
    std::vector<int64_t> ids;
    ids.reserve(report.files.size());
    for (const FileResult& f : report.files) ids.push_back(f.id);
    return ids;
}

QString copyAllMissingTitle() { return QStringLiteral("Copy everything that's missing"); }

std::vector<std::string> previewPaths(const VerifyReport& report, const FileResult& file) {
    std::vector<std::string> paths{report.absolutePath(file)};
    if (!file.copies.empty()) {
        const CopyRef& first = file.copies.front();
        if (first.destination >= 0 && first.destination < static_cast<int64_t>(report.destinations.size())) {
            paths.push_back(report.absolutePath(first));
        }
    }
    return paths;
}

void recountTotals(VerifyReport& report) {
    StatusCounts totals;
    for (const FileResult& f : report.files) {
        if (f.inScope) totals.add(f);
    }
    report.totals = totals;
}

LiveFold foldLive(VerifyReport& report, const std::vector<FileResult>& batch) {
    LiveFold fold;
    fold.changed.reserve(batch.size());
    // A report that asks for no copy still needs one to stay safe.
    const int64_t required = std::max<int64_t>(report.requiredCopies, 1);
    bool unsafe = false;
    const auto count = static_cast<int64_t>(report.files.size());
    StatusCounts& totals = report.totals;
    // Each result and the file it names are large records far apart in memory, of which a fold
    // reads and writes a few cache lines: those are asked for a few results ahead, the result's
    // first line (which names the file) further ahead still.
    constexpr size_t ahead = 4;
    for (size_t i = 0; i < batch.size(); ++i) {
        if (i + 2 * ahead < batch.size()) __builtin_prefetch(&batch[i + 2 * ahead]);
        if (i + ahead < batch.size()) {
            const FileResult& next = batch[i + ahead];
            const char* n = reinterpret_cast<const char*>(&next);
            __builtin_prefetch(n + offsetof(FileResult, status));
            __builtin_prefetch(n + offsetof(FileResult, safeDrives));
            if (next.id >= 0 && next.id < count) {
                const char* g = reinterpret_cast<const char*>(&report.files[static_cast<size_t>(next.id)]);
                __builtin_prefetch(g, 1);
                __builtin_prefetch(g + offsetof(FileResult, size), 1);
                __builtin_prefetch(g + offsetof(FileResult, inScope), 1);
                __builtin_prefetch(g + offsetof(FileResult, status), 1);
                __builtin_prefetch(g + offsetof(FileResult, safeDrives), 1);
            }
        }
        const FileResult& live = batch[i];
        if (live.id < 0 || live.id >= count) continue;
        FileResult& f = report.files[static_cast<size_t>(live.id)];
        if (f.relativePath != live.relativePath) continue;
        if (f.inScope && f.status != live.status) {
            totals.remove(f.status, f.size);
            totals.add(live.status, f.size);
        }
        f.status = live.status;
        // Assigning reuses the file's own storage where it has the room: nothing is allocated for
        // the usual result, the same copies found again.
        f.copies = live.copies;
        f.detail = live.detail;
        f.safeDrives = live.safeDrives;
        f.cardDoubt = live.cardDoubt;
        fold.changed.push_back(static_cast<int>(live.id));
        if (f.inScope && (!isCovered(f.status) || f.safeDrives < required)) unsafe = true;
    }
    if (fold.changed.empty()) return fold;
    if (unsafe && report.safeToFormat) {
        report.safeToFormat = false;
        fold.safeRevoked = true;
    }
    return fold;
}

bool sameBackups(const VerifyReport& report, const std::vector<std::string>& backupPaths) {
    return std::equal(report.destinations.begin(), report.destinations.end(), backupPaths.begin(),
                      backupPaths.end(),
                      [](const VolumeInfo& volume, const std::string& path) { return volume.path == path; });
}

QString csvFileName(const VerifyReport& report, const QDate& today) {
    QString name = QStringLiteral("SD Halvetrop – %1 – %2.csv")
                       .arg(QString::fromStdString(repairUtf8(present::cardNameBytes(report.source))),
                            today.toString(Qt::ISODate));
    // A "/" in the card's label would make the name a path.
    name.replace(u'/', u'-');
    name.remove(QChar(u'\0'));
    return name;
}

QString ExportFailure::noticeText() const {
    // Some failures come without the system's words; the sentence stands without them.
    if (reason.trimmed().isEmpty()) return QStringLiteral("The report could not be saved as “%1”.").arg(file);
    return QStringLiteral("The report could not be saved as “%1”: %2").arg(file, reason);
}

std::optional<ExportFailure> writeCSV(const VerifyReport& report, const QString& path) {
    const std::string text = CSVExport::csv(report);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return ExportFailure{path, out.errorString()};
    if (!writeAll(out, text)) {
        QString reason = out.errorString();
        out.cancelWriting();
        return ExportFailure{path, reason};
    }
    if (!out.commit()) return ExportFailure{path, out.errorString()};
    return std::nullopt;
}

}  // namespace halvetrop

#include "model/FileRows.h"

#include <QFile>
#include <QFontMetricsF>
#include <QFutureWatcher>
#include <QMimeDatabase>
#include <QThreadPool>
#include <QTimeZone>
#include <QTimer>
#include <QtConcurrent>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "anatomy/Anatomy.h"
#include "platform/Fd.h"
#include "platform/NoAtime.h"
#include "present/Format.h"
#include "present/Paths.h"
#include "thumbnail/Key.h"

namespace halvetrop {

using namespace present;

namespace {

QString utf8(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// Only photos and videos have pictures to make.
QString thumbnail(const VerifyReport& report, const FileResult& f) {
    if (f.kind != MediaKind::photo && f.kind != MediaKind::video) return {};
    return thumbs::thumbnailUrl({report.source.volumePath, report.absolutePath(f), f.size, f.modified});
}

bool isText(const QMimeType& type) { return type.isValid() && type.inherits(QStringLiteral("text/plain")); }

constexpr const char* columnNames[] = {"path", "name", "status", "day", "folder", "size"};

}  // namespace

std::optional<QString> smallText(const std::string& path, qint64 limit, AccessTimesTouched& touched, Sys& sys,
                                 const std::atomic<bool>* cancelled) {
    const int fd = openLongNoAtime(sys, path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, touched);
    if (fd < 0) return std::nullopt;
    const UniqueFd owned(fd, sys);
    struct stat st {};
    if (sys.fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > limit) return std::nullopt;
    constexpr qint64 chunk = 64 * 1024;
    QByteArray bytes;
    for (;;) {
        if (cancelled && cancelled->load()) return std::nullopt;
        // One byte past the limit tells a file that grew since its size was read.
        const qint64 room = limit + 1 - bytes.size();
        if (room <= 0) break;
        const qsizetype before = bytes.size();
        bytes.resize(before + qsizetype(std::min(chunk, room)));
        const ssize_t n = sys.read(fd, bytes.data() + before, size_t(bytes.size() - before));
        bytes.resize(before + std::max<qsizetype>(n, 0));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
    }
    if (bytes.size() > limit || bytes.contains('\0')) return std::nullopt;
    const std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);
    if (!isText(QMimeDatabase().mimeTypeForFileNameAndData(displayText(name), bytes))) return std::nullopt;
    return QString::fromUtf8(bytes);
}

FileRows::FileRows(QObject* parent)
    : KeyedRows(parent), rankPool_(new QThreadPool(this)), idleMeasure_(new QTimer(this)) {
    rankPool_->setMaxThreadCount(2);
    // Steps of a few milliseconds each: the window draws and answers between them.
    constexpr size_t measureStep = 4096;
    idleMeasure_->setInterval(0);
    connect(idleMeasure_, &QTimer::timeout, this, [this] {
        if (!columnTexts_ || !report_ || columnTexts_->widths.measure(*report_, measureStep))
            idleMeasure_->stop();
    });
}

FileRows::~FileRows() {
    // The pool waits for its workers as it goes; they stop at once.
    rankStop_->store(true);
}

RowKeys RowKeys::of(const VerifyReport& report, bool withPaths) {
    RowKeys keys;
    keys.stop = std::make_shared<std::atomic<bool>>(false);
    keys.names = FileSortKeys::rankJob(report, FileColumn::name, keys.stop);
    keys.folders = FileSortKeys::rankJob(report, FileColumn::folder, keys.stop);
    if (withPaths) keys.pathRanks = FileSortKeys::rankJob(report, FileColumn::path, keys.stop)();
    return keys;
}

void FileRows::keyReport(RowKeys keys) {
    rankStop_->store(true);
    keys_ = report_ ? FileSortKeys(*report_, collation_) : FileSortKeys();
    if (!report_) {
        rankStop_ = std::make_shared<std::atomic<bool>>(false);
        return;
    }
    if (!keys.names || !keys.folders || !keys.stop) keys = RowKeys::of(*report_, false);
    rankStop_ = keys.stop;
    if (!keys.pathRanks.empty())
        keys_.expect(FileColumn::path,
                     [ranks = std::move(keys.pathRanks)]() mutable { return std::move(ranks); });
    // Ranked from copies of the texts while the user looks at the report; the first sort by a
    // column waits for its worker only if it has not finished by then.
    for (auto [column, job] : {std::pair{FileColumn::name, std::move(keys.names)},
                               std::pair{FileColumn::folder, std::move(keys.folders)}}) {
        QFuture<FileSortKeys::Ranks> ranks = QtConcurrent::run(rankPool_, std::move(job));
        keys_.expect(column, [ranks]() mutable { return ranks.result(); });
    }
}

void FileRows::setReport(const VerifyReport* report, const std::vector<int>& visible, RowKeys keys) {
    report_ = report;
    remeasure();
    keyReport(std::move(keys));
    setVisible(visible);
}

void FileRows::updateInPlace(const std::vector<int>& visible, bool newKeys, RowKeys keys) {
    // Every file may have other copies and notes now.
    remeasure();
    if (newKeys) keyReport(std::move(keys));
    const int before = count();
    takeVisible(visible);
    moveTo(sortedRows());
    changed(before);
}

void FileRows::fold(const std::vector<int>& visible, const std::vector<int>& changed) {
    const int before = count();
    takeVisible(visible);
    std::vector<int> rows =
        report_ ? keys_.resorted(*report_, rows_, visible_, changed, sort_) : std::vector<int>();
    if (columnTexts_ && report_) columnTexts_->widths.fold(*report_, changed);
    // What a fold changes of a file; the views read again only that, and only of its rows where
    // no row moves.
    const QList<int> folded{Status, StatusText, Covered, OnBackup, StatusLabel};
    if (rows == rows_) {
        std::vector<int> rowOf(report_ ? report_->files.size() : 0, -1);
        for (size_t i = 0; i < rows_.size(); ++i)
            if (size_t(rows_[i]) < rowOf.size()) rowOf[size_t(rows_[i])] = int(i);
        int first = count(), last = -1;
        for (int p : changed)
            if (p >= 0 && size_t(p) < rowOf.size() && rowOf[size_t(p)] >= 0) {
                first = std::min(first, rowOf[size_t(p)]);
                last = std::max(last, rowOf[size_t(p)]);
            }
        if (first <= last) emit dataChanged(index(first), index(last), folded);
    } else {
        moveTo(std::move(rows), folded);
    }
    this->changed(before);
}

void FileRows::setVisible(const std::vector<int>& visible) {
    takeVisible(visible);
    resort();
}

void FileRows::takeVisible(const std::vector<int>& visible) {
    visible_.clear();
    // Positions of another report would index past this one's keys.
    for (int p : visible)
        if (report_ && p >= 0 && size_t(p) < keys_.size()) visible_.push_back(p);
}

std::vector<int> FileRows::sortedRows() const {
    return report_ ? keys_.sorted(*report_, visible_, sort_) : std::vector<int>();
}

void FileRows::resort() {
    const int before = count();
    beginResetModel();
    rows_ = sortedRows();
    endResetModel();
    changed(before);
}

void FileRows::reorder() {
    std::vector<int> rows = sortedRows();
    if (rows.size() != rows_.size()) {
        resort();
        return;
    }
    relayout(std::move(rows));
    changed(count());
}

// One past the largest position of both lists: rows of a report that was replaced may name
// positions the new one does not have.
static size_t positionsBelow(const std::vector<int>& a, const std::vector<int>& b) {
    int most = -1;
    for (const std::vector<int>* rows : {&a, &b})
        for (int p : *rows) most = std::max(most, p);
    return size_t(most + 1);
}

void FileRows::relayout(std::vector<int> rows) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    if (const QModelIndexList from = persistentIndexList(); !from.isEmpty()) {
        std::vector<int> rowOf(positionsBelow(rows, rows_), -1);
        for (size_t i = 0; i < rows.size(); ++i) rowOf[size_t(rows[i])] = int(i);
        QModelIndexList to;
        for (const QModelIndex& at : from) {
            const int row = rowOf[size_t(rows_[size_t(at.row())])];
            to << (row < 0 ? QModelIndex() : index(row));
        }
        changePersistentIndexList(from, to);
    }
    rows_ = std::move(rows);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FileRows::moveTo(std::vector<int> after, const QList<int>& roles) {
    if (after == rows_) {
        if (!rows_.empty()) emit dataChanged(index(0), index(count() - 1), roles);
        return;
    }
    const size_t n = positionsBelow(rows_, after);
    std::vector<int> newRow(n, -1);
    for (size_t j = 0; j < after.size(); ++j) newRow[size_t(after[j])] = int(j);
    std::vector<char> shown(n, 0);
    for (int p : rows_) shown[size_t(p)] = 1;
    // Rows that leave or come, in runs; whether the rows that stay keep their order.
    size_t runs = 0, leaving = 0;
    bool inOrder = true;
    int last = -1;
    for (size_t i = 0; i < rows_.size(); ++i) {
        const int to = newRow[size_t(rows_[i])];
        if (to < 0) {
            ++leaving;
            if (i == 0 || newRow[size_t(rows_[i - 1])] >= 0) ++runs;
        } else {
            inOrder = inOrder && to > last;
            last = to;
        }
    }
    for (size_t j = 0; j < after.size(); ++j)
        if (!shown[size_t(after[j])] && (j == 0 || shown[size_t(after[j - 1])])) ++runs;
    // A few runs go as they are, so that the rows between them stay put. A fold of the
    // byte-by-byte pass may move thousands of rows, and a view handles each run on its own: they
    // go as one run at the end and one change of order, whatever their number.
    constexpr size_t fewRuns = 16;
    if (inOrder && runs <= fewRuns) {
        for (size_t end = rows_.size(); end > 0;) {
            if (newRow[size_t(rows_[end - 1])] >= 0) {
                --end;
                continue;
            }
            size_t begin = end - 1;
            while (begin > 0 && newRow[size_t(rows_[begin - 1])] < 0) --begin;
            beginRemoveRows({}, int(begin), int(end - 1));
            rows_.erase(rows_.begin() + std::ptrdiff_t(begin), rows_.begin() + std::ptrdiff_t(end));
            endRemoveRows();
            end = begin;
        }
        for (size_t j = 0; j < after.size();) {
            if (shown[size_t(after[j])]) {
                ++j;
                continue;
            }
            size_t end = j;
            while (end < after.size() && !shown[size_t(after[end])]) ++end;
            beginInsertRows({}, int(j), int(end - 1));
            rows_.insert(rows_.begin() + std::ptrdiff_t(j), after.begin() + std::ptrdiff_t(j),
                         after.begin() + std::ptrdiff_t(end));
            endInsertRows();
            j = end;
        }
        if (!rows_.empty()) emit dataChanged(index(0), index(count() - 1), roles);
        return;
    }
    // The rows that stay in their new order, then those that leave, which go as one run.
    std::vector<int> staying;
    staying.reserve(rows_.size() - leaving);
    for (int p : after)
        if (shown[size_t(p)]) staying.push_back(p);
    if (leaving > 0) {
        std::vector<int> first = staying;
        for (int p : rows_)
            if (newRow[size_t(p)] < 0) first.push_back(p);
        relayout(std::move(first));
        beginRemoveRows({}, int(staying.size()), count() - 1);
        rows_.resize(staying.size());
        endRemoveRows();
    }
    if (after.size() > rows_.size()) {
        beginInsertRows({}, count(), int(after.size()) - 1);
        for (int p : after)
            if (!shown[size_t(p)]) rows_.push_back(p);
        endInsertRows();
    }
    if (rows_ != after)
        relayout(std::move(after));
    else if (leaving == 0 && !rows_.empty())
        emit dataChanged(index(0), index(count() - 1), roles);
}

void FileRows::changed(int countBefore) {
    if (count() != countBefore) emit countChanged();
    ++revision_;
    emit revisionChanged();
    retext();
}

namespace {

QVariantMap textsMap(const ColumnTexts& t) {
    return {{QStringLiteral("names"), t.names},
            {QStringLiteral("folders"), t.folders},
            {QStringLiteral("lastFolders"), t.lastFolders},
            {QStringLiteral("backups"), t.backups},
            {QStringLiteral("labels"), t.labels},
            {QStringLiteral("notes"), t.notes},
            {QStringLiteral("days"), t.days},
            {QStringLiteral("sizes"), t.sizes},
            {QStringLiteral("nameFloors"), t.nameFloors},
            {QStringLiteral("backupFloors"), t.backupFloors}};
}

Measure measureIn(const QFont& font) {
    return [metrics = QFontMetricsF(font)](const QString& text) { return metrics.horizontalAdvance(text); };
}

}  // namespace

QVariantMap FileRows::columnTexts(const QFont& font) const {
    if (!columnTexts_ || columnTexts_->font != font) {
        idleMeasure_->stop();
        columnTexts_ =
            MadeTexts{font, report_ ? ColumnWidths(*report_, measureIn(font), 0) : ColumnWidths(), {}, {}};
    }
    MadeTexts& made = *columnTexts_;
    if (!made.texts) {
        // What the steps have not measured yet is measured now.
        if (report_) made.widths.measure(*report_);
        idleMeasure_->stop();
        made.texts = report_ ? made.widths.texts(*report_, visible_, dates_, gone_) : ColumnTexts();
        made.map = textsMap(*made.texts);
    }
    return made.map;
}

void FileRows::measureSoon(const QFont& font) {
    if (columnTexts_) return;
    columnTexts_ = MadeTexts{font, ColumnWidths(), {}, {}};
    remeasure();
}

void FileRows::remeasure() {
    idleMeasure_->stop();
    if (!columnTexts_) return;
    columnTexts_->widths =
        report_ ? ColumnWidths(*report_, measureIn(columnTexts_->font), 0) : ColumnWidths();
    columnTexts_->texts.reset();
    if (report_) idleMeasure_->start();
}

void FileRows::retext() {
    if (columnTexts_ && columnTexts_->texts && report_) {
        ColumnTexts texts = columnTexts_->widths.texts(*report_, visible_, dates_, gone_);
        if (texts == *columnTexts_->texts) return;
        columnTexts_->map = textsMap(texts);
        columnTexts_->texts = std::move(texts);
    }
    ++textsRevision_;
    emit textsChanged();
}

QString FileRows::sortColumn() const { return QLatin1String(columnNames[int(sort_.column)]); }

void FileRows::setSortColumn(const QString& column) {
    if (const auto c = fileColumnFromName(column)) setSort({*c, sort_.ascending});
}

void FileRows::setSortAscending(bool ascending) { setSort({sort_.column, ascending}); }

QVariantMap FileRows::order() const {
    return {{QStringLiteral("column"), sortColumn()}, {QStringLiteral("ascending"), sort_.ascending}};
}

void FileRows::setOrder(const QVariantMap& order) {
    const auto c = fileColumnFromName(order.value(QStringLiteral("column")).toString());
    setSort({c.value_or(sort_.column), order.value(QStringLiteral("ascending"), sort_.ascending).toBool()});
}

void FileRows::setSort(FileSort sort) {
    if (sort == sort_) return;
    sort_ = sort;
    reorder();
    emit sortChanged();
}

int FileRows::rowOf(qint64 id) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (report_->files[size_t(rows_[i])].id == id) return int(i);
    return -1;
}

qint64 FileRows::idAt(int row) const {
    if (row < 0 || row >= count()) return -1;
    return report_->files[size_t(rows_[size_t(row)])].id;
}

const FileResult* FileRows::byID(qint64 id) const {
    if (!report_) return nullptr;
    // Ids are positions in reports the verifier builds; others are looked for.
    if (id >= 0 && size_t(id) < report_->files.size() && report_->files[size_t(id)].id == id)
        return &report_->files[size_t(id)];
    for (const FileResult& f : report_->files)
        if (f.id == id) return &f;
    return nullptr;
}

bool FileRows::gone(const FileResult& f) const {
    const size_t at = size_t(&f - report_->files.data());
    return gone_ && at < gone_->size() && (*gone_)[at];
}

void FileRows::goneChanged() {
    if (!rows_.empty()) emit dataChanged(index(0), index(count() - 1), {StatusText, StatusLabel});
    changed(count());
}

QVariantMap FileRows::inspect(qint64 id) const {
    const FileResult* f = byID(id);
    if (!f) return {};
    const bool off = gone(*f);
    const DateRow date = dateRow(*f, QLocale(), QTimeZone::systemTimeZone());
    QVariantList copies;
    for (const CopyRef& c : f->copies) {
        const bool known = c.destination >= 0 && size_t(c.destination) < report_->destinations.size();
        copies.push_back(
            QVariantMap{{QStringLiteral("backup"),
                         known ? displayText(report_->destinations[size_t(c.destination)].name) : QString()},
                        {QStringLiteral("path"), displayText(c.relativePath)},
                        {QStringLiteral("verified"), c.evidence == EvidenceLevel::verified},
                        {QStringLiteral("evidence"), evidenceText(c.evidence)},
                        {QStringLiteral("doubt"), copyDoubtNote(*report_, c)}});
    }
    return {{QStringLiteral("id"), qint64(f->id)},
            {QStringLiteral("name"), displayText(f->name)},
            {QStringLiteral("status"), utf8(rawValue(f->status))},
            {QStringLiteral("statusLabel"), off ? goneFromCardText() : utf8(label(f->status))},
            {QStringLiteral("gone"), off},
            {QStringLiteral("detail"), f->detail ? displayText(*f->detail) : QString()},
            {QStringLiteral("kind"), utf8(rawValue(f->kind))},
            {QStringLiteral("thumbnail"), thumbnail(*report_, *f)},
            {QStringLiteral("dateLabel"), date.label},
            {QStringLiteral("dateValue"), date.value},
            {QStringLiteral("camera"), displayText(f->camera)},
            {QStringLiteral("size"), byteCount(f->size)},
            {QStringLiteral("onCard"), onCardText(*f)},
            {QStringLiteral("note"), backupsNote(*report_, *f)},
            {QStringLiteral("copyTitle"), menuCopyTitle({f}, 1)},
            {QStringLiteral("copies"), copies}};
}

QVariantMap FileRows::menu(const QList<qint64>& ids) const {
    std::vector<const FileResult*> files;
    int backups = 0;
    const FileResult* onCard = nullptr;
    for (qint64 id : ids)
        if (const FileResult* f = byID(id)) {
            files.push_back(f);
            if (!f->copies.empty()) ++backups;
            if (!onCard && !gone(*f)) onCard = f;
        }
    return {{QStringLiteral("firstId"), onCard ? qint64(onCard->id) : qint64(-1)},
            {QStringLiteral("backupCount"), backups},
            {QStringLiteral("copyTitle"), menuCopyTitle(files, size_t(ids.size()))},
            {QStringLiteral("offCard"), !files.empty() && !onCard}};
}

QVariantMap FileRows::previewItem(const QUrl& url) const {
    const QByteArray path = QByteArray::fromStdString(localPath(url).value_or(std::string()));
    const std::string_view bytes(path.constData(), size_t(path.size()));
    const std::string_view name = bytes.substr(bytes.rfind('/') + 1);
    const FileClass c = Anatomy::classify(name);
    const std::string ext = Anatomy::ext(name);
    QString kind = QStringLiteral("other");
    if (c.kind == MediaKind::photo || ext == "thm" || ext == "png" || ext == "webp" || ext == "gif")
        kind = QStringLiteral("image");
    // A sidecar (subtitles, a clip's XML) shares its clip's kind but is not itself playable.
    else if (c.role != FileRole::sidecar && c.kind == MediaKind::video)
        kind = QStringLiteral("video");
    else if (c.role != FileRole::sidecar && c.kind == MediaKind::audio)
        kind = QStringLiteral("audio");
    else if (isText(QMimeDatabase().mimeTypeForFile(displayText(name), QMimeDatabase::MatchExtension)))
        kind = QStringLiteral("text");
    const QString still = QStringLiteral("image://preview/") + QString::fromLatin1(path.toPercentEncoding());
    return {{QStringLiteral("name"), displayText(name)},
            {QStringLiteral("kind"), kind},
            {QStringLiteral("source"), kind == QLatin1String("image") ? still : url.toString()},
            {QStringLiteral("still"), kind == QLatin1String("video") ? still : QString()}};
}

void FileRows::loadText(const QUrl& url) {
    auto* watcher = new QFutureWatcher<std::optional<QString>>(this);
    const std::shared_ptr<std::atomic<bool>> cancelled = textCancelled_;
    const std::string path = localPath(url).value_or(std::string());
    const auto touched = std::make_shared<AccessTimesTouched>();
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, url, cancelled, path, touched] {
        const std::optional<QString> text = watcher->result();
        watcher->deleteLater();
        if (touched->any()) emit accessTimeTouched(path);
        if (!cancelled->load()) emit textLoaded(url, text ? QVariant(*text) : QVariant());
    });
    Sys& sys = *sys_;
    watcher->setFuture(QtConcurrent::run([path, &sys, cancelled, touched] {
        return smallText(path, previewTextLimit, *touched, sys, cancelled.get());
    }));
}

bool FileRows::play(QObject* player, const QUrl& url) {
    releaseMedia();
    if (!player || !url.isLocalFile()) return false;
    const std::string path = localPath(url).value_or(std::string());
    AccessTimesTouched touched;
    const int fd = openLongNoAtime(*sys_, path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, touched);
    if (fd < 0) return false;
    if (touched.any()) emit accessTimeTouched(path);
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        sys_->close(fd);
        return false;
    }
    if (!QMetaObject::invokeMethod(player, "setSourceDevice", Q_ARG(QIODevice*, file.get()),
                                   Q_ARG(QUrl, url)))
        return false;
    media_ = std::move(file);
    player_ = player;
    return true;
}

void FileRows::releaseMedia() {
    if (player_) {
        QMetaObject::invokeMethod(player_, "stop");
        QMetaObject::invokeMethod(player_, "setSourceDevice", Q_ARG(QIODevice*, nullptr),
                                  Q_ARG(QUrl, QUrl()));
    }
    player_.clear();
    media_.reset();
}

void FileRows::releasePreview() {
    textCancelled_->store(true);
    textCancelled_ = std::make_shared<std::atomic<bool>>(false);
    releaseMedia();
}

int FileRows::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }

QVariant FileRows::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count()) return {};
    // A row on its way out of a replaced report may name a position that report no longer has.
    const size_t position = size_t(rows_[size_t(index.row())]);
    if (position >= report_->files.size()) return {};
    const FileResult& f = report_->files[position];
    switch (role) {
        case FileId:
            return qint64(f.id);
        case Name:
            return displayText(f.name);
        case Status:
            return utf8(rawValue(f.status));
        case StatusText:
            return statusText(f, gone(f));
        case Covered:
            return isCovered(f.status);
        case Day:
            return dates_.shortDay(utf8(f.day));
        case Folder:
            return displayText(f.folder);
        case Size:
            return byteCount(f.size);
        case OnBackup:
            return onBackupText(*report_, f);
        case Kind:
            return utf8(rawValue(f.kind));
        case Thumbnail:
            return thumbnail(*report_, f);
        case StatusLabel:
            return gone(f) ? goneFromCardText() : utf8(label(f.status));
        default:
            return {};
    }
}

QHash<int, QByteArray> FileRows::roleNames() const {
    return {{FileId, "fileId"},     {Name, "name"}, {Status, "status"},       {StatusText, "statusText"},
            {Covered, "covered"},   {Day, "day"},   {Folder, "folder"},       {Size, "size"},
            {OnBackup, "onBackup"}, {Kind, "kind"}, {Thumbnail, "thumbnail"}, {StatusLabel, "statusLabel"}};
}

}  // namespace halvetrop

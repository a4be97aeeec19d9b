#include "results/ResultsData.h"

#include <QKeySequence>
#include <QQmlEngine>
#include <QUrl>

#include <algorithm>

#include "model/AppModel.h"
#include "present/CopyReport.h"
#include "present/Fit.h"
#include "present/Home.h"
#include "present/Paths.h"
#include "thumbnail/Key.h"

namespace halvetrop {

namespace {

using namespace present;

QString raw(FileStatus s) { return QString::fromUtf8(rawValue(s)); }
QString roleText(ColorRole r) { return QString::fromUtf8(roleName(r)); }
QString text(const std::string& s) { return displayText(s); }

QString kindSymbol(MediaKind k) {
    switch (k) {
        case MediaKind::photo:
            return QStringLiteral("photo");
        case MediaKind::video:
            return QStringLiteral("video");
        case MediaKind::audio:
            return QStringLiteral("waveform");
        case MediaKind::other:
            return QStringLiteral("doc");
    }
    return {};
}

// What the card at the shown result's place is now, as far as the header's words go.
CardNow cardNow(AppModel::SavedCard state) {
    switch (state) {
        case AppModel::SavedCard::changed:
            return CardNow::changed;
        case AppModel::SavedCard::another:
            return CardNow::another;
        case AppModel::SavedCard::cannotTell:
            return CardNow::cannotTell;
        case AppModel::SavedCard::notInserted:
            return CardNow::notInserted;
        case AppModel::SavedCard::none:
        case AppModel::SavedCard::looking:
        case AppModel::SavedCard::unchanged:
            break;
    }
    return CardNow::asChecked;
}

// When a saved result was made, and what is known of its card now.
QString savedLine(const AppModel& m, const VerifyReport& r, const DateTexts& dates) {
    const AppModel::SavedCard state = m.savedCard();
    if (state == AppModel::SavedCard::none) return {};
    const QString when = (r.isCardOnly() ? QStringLiteral("Scanned ") : QStringLiteral("Checked ")) +
                         dates.relative(r.finishedAt, m.ageNow(), UnitStyle::wide) + QStringLiteral(".");
    if (state == AppModel::SavedCard::unchanged)
        return when + QStringLiteral(" The card hasn't changed since.");
    // A compared result's title and reason say the rest; a scan's header has no words for it.
    if (!r.isCardOnly()) return when;
    const QString name = QStringLiteral("“") + text(cardNameBytes(r.source)) + QStringLiteral("”");
    switch (state) {
        case AppModel::SavedCard::notInserted:
            return when + QStringLiteral(" Insert ") + name + QStringLiteral(" to check it again.");
        case AppModel::SavedCard::another:
            return when + QStringLiteral(" The card now at its place is another card.");
        case AppModel::SavedCard::cannotTell:
            return when + QStringLiteral(" Can't tell whether the card now at its place is this one.");
        case AppModel::SavedCard::none:
        case AppModel::SavedCard::looking:
        case AppModel::SavedCard::unchanged:
        case AppModel::SavedCard::changed:
            break;
    }
    return when;
}

QVariantMap countsMap(const StatusCounts& c) {
    return {{"files", double(c.files)},
            {"verified", double(c.verified)},
            {"backedUp", double(c.backedUp)},
            {"conflict", double(c.conflict)},
            {"problem", double(c.problem)}};
}

}  // namespace

// --- shoots ---

enum ShootRole {
    DayRole = Qt::UserRole + 1,
    DayCountsRole,
    TitleRole,
    CameraRole,
    SizeRole,
    SentenceRole,
    StateRole,
    SentenceSymbolRole,
    BadgeRole,
    TintRole,
    CoveredRole,
    AllCoveredRole,
    CountsRole,
    CopyableRole,
    CopyTextRole,
    LandingNameRole,
    LandingFolderRole,
    LandingMoreRole,
    ThumbsRole,
    GroupIDRole,
};

int ShootRows::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }

QHash<int, QByteArray> ShootRows::roleNames() const {
    return {{DayRole, "day"},
            {DayCountsRole, "dayCounts"},
            {TitleRole, "title"},
            {CameraRole, "camera"},
            {SizeRole, "sizeText"},
            {SentenceRole, "sentence"},
            {StateRole, "state"},
            {SentenceSymbolRole, "sentenceSymbol"},
            {BadgeRole, "badge"},
            {TintRole, "tint"},
            {CoveredRole, "coveredText"},
            {AllCoveredRole, "allCovered"},
            {CountsRole, "counts"},
            {CopyableRole, "copyable"},
            {CopyTextRole, "copyText"},
            {LandingNameRole, "landingName"},
            {LandingFolderRole, "landingFolder"},
            {LandingMoreRole, "landingMore"},
            {ThumbsRole, "thumbs"},
            {GroupIDRole, "groupID"}};
}

const ShootGroup* ShootRows::group(int row) const {
    const VerifyReport* r = data_.report();
    if (!r || row < 0 || row >= count()) return nullptr;
    // A row on its way out of a replaced report may name a position that report no longer has.
    const size_t at = size_t(rows_[size_t(row)].group);
    return at < r->groups.size() ? &r->groups[at] : nullptr;
}

QVariant ShootRows::data(const QModelIndex& index, int role) const {
    const ShootGroup* g = group(index.row());
    if (!g) return {};
    const VerifyReport& r = *data_.report();
    const FileLookup lookup = [this](int64_t id) { return data_.file(id); };
    const auto live = [&]() -> const StatusCounts& {
        return data_.shootCounts(size_t(rows_[size_t(index.row())].group));
    };
    switch (role) {
        case DayRole:
            return QString::fromStdString(g->day);
        case DayCountsRole:
            return rows_[size_t(index.row())].dayHeader;
        case TitleRole:
            return folderTitle(*g, cardNameBytes(r.source));
        case CameraRole:
            return text(g->camera);
        case SizeRole:
            return sizeText(*g, live());
        case SentenceRole:
            return r.isCardOnly() ? QStringLiteral("On the card · not compared with a backup")
                                  : shootSentence(live(), firstLanding(*g, r).has_value());
        case StateRole:
            return r.isCardOnly() ? -1 : int(shootState(live(), firstLanding(*g, r).has_value()));
        case SentenceSymbolRole:
            return r.isCardOnly() ? QStringLiteral("sdcard")
                                  : shootSentenceSymbol(shootState(live(), firstLanding(*g, r).has_value()));
        case BadgeRole:
            return r.isCardOnly() ? QString() : shootBadge(live());
        case TintRole: {
            const StatusCounts c = live();
            return roleText(c.files > 0 && c.covered() == c.files ? ColorRole::verified
                                                                  : statusColor(worstStatus(c)));
        }
        case CoveredRole: {
            const StatusCounts c = live();
            return present::count(c.covered()) + QLatin1Char('/') + present::count(c.files);
        }
        case AllCoveredRole: {
            const StatusCounts c = live();
            return c.files > 0 && c.covered() == c.files;
        }
        case CountsRole:
            return countsMap(live());
        case CopyableRole:
            return double(data_.copyableCount(g->fileIDs));
        case CopyTextRole:
            return copyButtonText(data_.copyableCount(g->fileIDs), true);
        case LandingNameRole: {
            const auto l = firstLanding(*g, r);
            return l ? text(r.destinations[size_t(l->destination)].name) : QString();
        }
        case LandingFolderRole: {
            const auto l = firstLanding(*g, r);
            return !l ? QString() : l->folder.empty() ? QStringLiteral("(top level)") : text(l->folder);
        }
        case LandingMoreRole: {
            const int64_t n = landingCount(*g, r);
            return n >= 2 ? QStringLiteral("+") + QString::number(n - 1) : QString();
        }
        case ThumbsRole: {
            QVariantList out;
            for (const FileResult* f : filmstrip(*g, lookup))
                out << QVariantMap{
                    {"kind", QString::fromUtf8(rawValue(f->kind))},
                    {"url", fileUrl(r.absolutePath(*f))},
                    // Keyed by volume, path, size and time, as the file browser's tiles are.
                    {"thumbnail",
                     thumbs::thumbnailUrl({r.source.volumePath, r.absolutePath(*f), f->size, f->modified})}};
            return out;
        }
        case GroupIDRole:
            return QString::fromStdString(g->id());
        default:
            return {};
    }
}

std::vector<ShootRows::Row> ShootRows::rowsNow() const {
    std::vector<Row> rows;
    const VerifyReport* r = data_.report();
    if (!r) return rows;
    for (const DaySection& day : shootDays(r->groups))
        for (int g : day.groups) rows.push_back({g, r->groups[size_t(g)].id(), QString(), QString()});
    // One header per day: the day's live counts over all its shoots.
    for (size_t i = 0; i < rows.size();) {
        const std::string& day = r->groups[size_t(rows[i].group)].day;
        size_t end = i;
        while (end < rows.size() && r->groups[size_t(rows[end].group)].day == day) ++end;
        rows[i].dayTitle = data_.dates().longDay(QString::fromStdString(day));
        const QString header = dayHeader(rows, i, end);
        for (; i < end; ++i) rows[i].dayHeader = header;
    }
    return rows;
}

QString ShootRows::dayHeader(const std::vector<Row>& rows, size_t begin, size_t end) const {
    const VerifyReport& r = *data_.report();
    StatusCounts sum;
    for (size_t i = begin; i < end; ++i) {
        const StatusCounts& c = data_.shootCounts(size_t(rows[i].group));
        sum.files += c.files;
        sum.bytes += c.bytes;
        sum.verified += c.verified;
        sum.backedUp += c.backedUp;
    }
    return rows[begin].dayTitle + QLatin1Char('\t') + dayHeaderCounts(sum, r.isCardOnly());
}

void ShootRows::indexRows() {
    const VerifyReport* r = data_.report();
    rowOf_.assign(r ? r->groups.size() : 0, -1);
    for (size_t i = 0; i < rows_.size(); ++i)
        if (size_t(rows_[i].group) < rowOf_.size()) rowOf_[size_t(rows_[i].group)] = int(i);
}

void ShootRows::rebuild() {
    beginResetModel();
    rows_ = rowsNow();
    indexRows();
    endResetModel();
    emit countChanged();
}

void ShootRows::update() {
    const int before = count();
    morphRows(rows_, rowsNow(), [](const Row& row) -> const std::string& { return row.id; });
    indexRows();
    if (count() != before) emit countChanged();
}

void ShootRows::copyableChanged() {
    if (!rows_.empty())
        emit dataChanged(index(0), index(int(rows_.size()) - 1), {CopyableRole, CopyTextRole});
}

void ShootRows::fold(const std::vector<int>& shoots) {
    const VerifyReport* r = data_.report();
    if (!r) return;
    std::vector<char> changed(rows_.size(), 0), dayDone(rows_.size(), 0);
    for (int g : shoots) {
        if (g < 0 || size_t(g) >= rowOf_.size() || rowOf_[size_t(g)] < 0) continue;
        const size_t row = size_t(rowOf_[size_t(g)]);
        changed[row] = 1;
        // The rows of a day stand together; their header sums the day's shoots, once per fold.
        const std::string& day = r->groups[size_t(g)].day;
        const auto sameDay = [&](size_t i) { return r->groups[size_t(rows_[i].group)].day == day; };
        size_t begin = row, end = row + 1;
        while (begin > 0 && sameDay(begin - 1)) --begin;
        if (dayDone[begin]) continue;
        dayDone[begin] = 1;
        while (end < rows_.size() && sameDay(end)) ++end;
        const QString header = dayHeader(rows_, begin, end);
        if (header == rows_[begin].dayHeader) continue;
        for (size_t i = begin; i < end; ++i) {
            rows_[i].dayHeader = header;
            changed[i] = 1;
        }
    }
    for (size_t i = 0; i < changed.size();) {
        if (!changed[i]) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < changed.size() && changed[end]) ++end;
        emit dataChanged(index(int(i)), index(int(end) - 1));
        i = end;
    }
}

// --- folders ---

enum FolderRole {
    FolderTitleRole = Qt::UserRole + 1,
    FolderDaysRole,
    FolderCountsRole,
    FolderBarRole,
    FolderDepthRole,
    FolderPathRole
};

int FolderRows::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(rows_.size()); }

QHash<int, QByteArray> FolderRows::roleNames() const {
    return {{FolderTitleRole, "title"}, {FolderDaysRole, "days"},   {FolderCountsRole, "countsText"},
            {FolderBarRole, "counts"},  {FolderDepthRole, "depth"}, {FolderPathRole, "path"}};
}

QVariant FolderRows::data(const QModelIndex& index, int role) const {
    const VerifyReport* r = data_.report();
    if (!r || index.row() < 0 || index.row() >= rowCount()) return {};
    const size_t at = size_t(rows_[size_t(index.row())].folder);
    if (at >= r->folders.size()) return {};
    const FolderSummary& f = r->folders[at];
    switch (role) {
        case FolderTitleRole:
            return text(f.depth == 0 ? cardNameBytes(r->source) : f.name);
        case FolderDaysRole:
            return folderDays(f, data_.dates());
        case FolderCountsRole:
            return folderRowCounts(f, r->isCardOnly());
        case FolderBarRole:
            return countsMap(f.counts);
        case FolderDepthRole:
            return int(f.depth);
        case FolderPathRole:
            // The folder's key: two folders that differ only in bytes that are not UTF-8 look
            // alike but stay two.
            return pathKey(f.pathBytes());
        default:
            return {};
    }
}

std::vector<FolderRows::Row> FolderRows::rowsNow() const {
    std::vector<Row> rows;
    if (const VerifyReport* r = data_.report())
        for (size_t i = 0; i < r->folders.size(); ++i)
            rows.push_back({int(i), std::string(r->folders[i].pathBytes())});
    return rows;
}

void FolderRows::rebuild() {
    beginResetModel();
    rows_ = rowsNow();
    endResetModel();
}

void FolderRows::refresh() {
    if (!rows_.empty()) emit dataChanged(index(0), index(int(rows_.size()) - 1));
}

void FolderRows::update() {
    morphRows(rows_, rowsNow(), [](const Row& row) -> const std::string& { return row.path; });
}

// --- the screen ---

ResultsData::ResultsData(QObject* parent) : QObject(parent), shoots_(*this), folders_(*this), places_(this) {
    countSoon_.setSingleShot(true);
    countSoon_.setInterval(200);
    connect(&countSoon_, &QTimer::timeout, this, [this] {
        // A panel on show has counted its own folder.
        if (const VerifyReport* r = report(); r && !placesFolder_) tally_.folder(*r, std::string());
    });
}
ResultsData::~ResultsData() = default;

const VerifyReport* ResultsData::report() const {
    return model_ && model_->report() ? &*model_->report() : nullptr;
}

const FileResult* ResultsData::file(int64_t id) const { return model_ ? model_->fileByID(id) : nullptr; }

bool ResultsData::ready() const {
    if (!ready_) ready_ = report() && report()->readyToFormat();
    return *ready_ && model_ && model_->savedCardAllowsFormat();
}

int64_t ResultsData::copyableCount(const std::vector<int64_t>& ids) const {
    if (!model_) return 0;
    return model_->copyableIDs(QList<qint64>(ids.begin(), ids.end())).size();
}

void ResultsData::setModel(QObject* model) {
    auto* app = qobject_cast<AppModel*>(model);
    if (app == model_) return;
    for (const auto& c : connections_) disconnect(c);
    connections_.clear();
    model_ = app;
    shownSerial_.reset();
    passSerial_.reset();
    notePass();
    if (app) {
        connections_ << connect(app, &AppModel::reportChanged, this, &ResultsData::reload);
        connections_ << connect(app, &AppModel::lastCopyChanged, this, &ResultsData::lastCopyChanged);
        connections_ << connect(app, &AppModel::savedCardChanged, this, &ResultsData::savedCardChanged);
        connections_ << connect(app, &AppModel::cardAccessTimesChanged, this, &ResultsData::lastCopyChanged);
        connections_ << connect(app, &AppModel::agesChanged, this, &ResultsData::aged);
    }
    reload();
    emit modelChanged();
}

void ResultsData::reload() {
    const std::optional<quint64> serial =
        model_ && model_->report() ? std::optional(model_->reportSerial()) : std::nullopt;
    if (serial && serial == shownSerial_) {
        if (const std::vector<int>* folded = model_->foldedFiles()) {
            // A fold of the byte-by-byte pass: statuses and copies alone. The folders' rows keep
            // their rows and are read again as they were.
            shoots_.fold(tally_.fold(*report(), *folded));
            folders_.refresh();
            updatePlaces();
            changedNow();
            return;
        }
        // The same check's own report in place of the one shown.
        recount();
        shoots_.update();
        folders_.update();
        updatePlaces();
        changedNow();
        return;
    }
    shownSerial_ = serial;
    recount();
    shoots_.rebuild();
    folders_.rebuild();
    updatePlaces();
    changedNow();
    if (serial) countSoon_.start();
}

void ResultsData::recount() {
    // A report of 100,000 files takes tens of milliseconds to count: the model's count, made with
    // the report off the GUI thread, when it is of this very report.
    std::optional<ReportTally> counted = model_ ? model_->takeTally() : std::nullopt;
    if (counted && counted->adopt(report()))
        tally_ = std::move(*counted);
    else
        tally_.rebuild(report(), [this](int64_t id) { return file(id); });
    kinds_ = report() ? ReportKinds::of(*report()) : ReportKinds();
}

void ResultsData::lastCopyChanged() { changedNow(); }

void ResultsData::savedCardChanged() {
    // Files that left the card are not there to copy.
    shoots_.copyableChanged();
    changedNow();
}

void ResultsData::aged() {
    // Of the header only its relative time reads the clock; nothing to tell while it reads the same.
    if (!report() || (hero_ && hero_->value(QStringLiteral("savedLine")).toString() ==
                                   savedLine(*model_, *report(), dates_)))
        return;
    changedNow();
}

void ResultsData::setDeepVerifying(bool on) {
    if (on == deepVerifying_) return;
    deepVerifying_ = on;
    notePass();
    changedNow();
}

void ResultsData::notePass() {
    if (deepVerifying_ && model_ && model_->report()) passSerial_ = model_->reportSerial();
}
void ResultsData::setDeepRunning(bool on) {
    if (on == deepRunning_) return;
    deepRunning_ = on;
    changedNow();
}
void ResultsData::setCanEject(bool on) {
    if (on == canEject_) return;
    canEject_ = on;
    changedNow();
}

QVariantMap ResultsData::hero() const {
    if (!hero_) hero_ = computeHero();
    return *hero_;
}

QVariantMap ResultsData::computeHero() const {
    const VerifyReport* r = report();
    if (!r) return {};
    const StatusCounts& t = r->totals;
    QVariantList stats;
    for (const Stat& s : verdictStats(t))
        stats << QVariantMap{{"value", count(s.value)}, {"label", s.label}, {"color", roleText(s.color)}};
    // The note's button checks this report's kinds and the ones it left out: with every chip
    // switched off since, the kinds this check was made for are not lost.
    QStringList noteKinds;
    const auto& skipped = kinds_.skipped;
    for (MediaKind k : allMediaKinds)
        if (r->scope.kinds.count(k) ||
            std::any_of(skipped.begin(), skipped.end(), [k](const SkippedKind& s) { return s.kind == k; }))
            noteKinds << QString::fromUtf8(rawValue(k));
    QVariantList kinds;
    for (const KindCount& k : kinds_.counts)
        kinds << QVariantMap{{"kind", QString::fromUtf8(rawValue(k.kind))},
                             {"count", count(k.files)},
                             {"word", kindWord(k.kind, k.files)},
                             {"symbol", kindSymbol(k.kind)}};
    std::optional<std::pair<std::string, bool>> last;
    // The model keeps its last copy as the record itself, never as a map.
    const auto copy = model_->lastCopy().value<std::shared_ptr<const present::CopyReport>>();
    if (copy && copy->belongsTo(*r)) last = std::pair{copy->sourceName, !copy->folders.empty()};
    // What left the card since is no longer there to copy.
    const int64_t copyable = r->isCardOnly() ? 0 : tally_.copyable() - model_->goneCopyable();
    const auto tint = verdictColor(*r);
    const bool notWhole = r->cardUnreadable > 0;
    // A result whose card is not here as it was checked says so first: what it says of the files
    // is not of the card in the reader, and the ring follows.
    const AppModel::SavedCard state = model_->savedCard();
    const auto now = cardNowHeader(*r, cardNow(state), model_->savedCardChanges());
    // The ready-to-format panel holds Eject; where it is not shown (nor about to be, once the card
    // is looked at) the header does.
    const HeroActions a =
        heroActions(*r, copyable, deepVerifying_, canEject_ && (now || !r->readyToFormat()), last);
    // While a byte-by-byte pass is offered over the result (one covered file is enough to start
    // it), runs, or ran over it, the header keeps the strip's place, and the action row is fitted to
    // the width with the verify button counted, shown or held back: nothing under the pointer
    // moves as the pass starts and ends.
    const bool passRoom =
        deepVerifying_ || (t.covered() >= 1 && (r->level == CheckLevel::standard ||
                                                passSerial_ == std::optional(model_->reportSerial())));
    HeroActions fitted = a;
    fitted.verify = a.verify || passRoom;
    QVariantList actionItems;
    for (const RowItem& item : heroActionItems(fitted, copy ? copy->copiedCount() : 0))
        actionItems << QVariantMap{{"id", item.id},
                                   {"full", item.full},
                                   {"compact", item.compact},
                                   {"symbol", item.symbol},
                                   {"keepsText", item.keepsText},
                                   {"held", item.id == QLatin1String("verify") && !a.verify}};
    QStringList cameras;
    QVariantList cameraFiles;
    for (const CameraShare& c : cameraShares(r->groups)) {
        cameras << c.name;
        cameraFiles << double(c.files);
    }
    return {
        {"title", now ? now->title : verdictTitle(*r, kinds_, QLocale(), model_->savedCardAllowsFormat())},
        {"reason", now ? now->reason : verdictReason(*r, kinds_, deepVerifying_)},
        // What the reason says once the pass has started or stopped: the header keeps room for
        // the longer of the two.
        {"passReason", now ? now->reason : verdictReason(*r, kinds_, !deepVerifying_)},
        {"passRoom", passRoom},
        {"tint", now    ? roleText(now->tint)
                 : tint ? roleText(*tint)
                        : QString()},
        {"savedLine", savedLine(*model_, *r, dates_)},
        {"savedChanged", state == AppModel::SavedCard::changed},
        {"status", raw(verdictStatus(t))},
        {"days", dayRange(r->groups, dates_)},
        {"cameras", cameras},
        {"cameraFiles", cameraFiles},
        {"stats", stats},
        {"detail", statsDetail(*r, tally_.readsInDoubt())},
        {"copyable", double(a.copyable)},
        {"copyFull", copyButtonText(a.copyable, false)},
        {"copyCompact", copyButtonText(a.copyable, true)},
        {"verify", a.verify},
        {"lastCopy", a.lastCopy},
        // The check shown: a last copy's popover left open goes when another one is shown.
        {"check", double(model_->reportSerial())},
        {"eject", a.eject},
        // The row's buttons in their forms, for fitting it to the width (Present.fitActionRow).
        {"actionItems", actionItems},
        {"cardEject", canEject_},
        {"ejectHelp",
         ejectHelp(*r, QKeySequence(QStringLiteral("Ctrl+Shift+E")).toString(QKeySequence::NativeText))},
        {"skipped", skipped.empty() ? QString() : skippedSentence(skipped)},
        {"skippedButton", skippedButton(skipped)},
        {"noteKinds", noteKinds},
        {"percent", coveredPercent(t)},
        {"allCovered", t.files > 0 && t.covered() == t.files && !notWhole && !now},
        {"ringTint", now        ? roleText(now->tint)
                     : notWhole ? roleText(ColorRole::partial)
                                : QString()},
        {"unreadableCount", double(r->cardUnreadable)},
        {"unreadableText", notWhole ? unreadableSentence(r->cardUnreadable) : QString()},
        // What reading the card does to it (its access times), with the way to keep it untouched.
        {"cardNote", model_->cardAccessTimesNote()},
        {"files", double(t.files)},
        {"stripText", deepStripText(t, deepRunning_)},
        {"stripValue", deepStripValue(t, deepRunning_)},
        {"sourceName", text(cardNameBytes(r->source))},
        {"sourceKey", pathKey(r->source.path)},
        {"cardLike", r->source.isLikelyCameraCard},
        {"cardOnlyTitle", cardOnlyTitle(*r)},
        {"kinds", kinds},
        {"bytes", byteCount(t.bytes)},
    };
}

QVariantList ResultsData::segments() const {
    QVariantList out;
    if (const VerifyReport* r = report())
        for (const Segment& s : ringSegments(r->totals))
            out << QVariantMap{{"status", raw(s.id)},
                               {"color", roleText(ringColor(*r, s.id, cardNow(model_->savedCard())))},
                               {"from", s.from},
                               {"to", s.to}};
    return out;
}

QVariantMap ResultsData::readyPanel() const {
    const VerifyReport* r = report();
    if (!r) return {};
    QVariantList steps;
    for (const FormatStep& s : formatSteps(*r)) steps << QVariantMap{{"camera", s.camera}, {"path", s.path}};
    return {{"sentence", readySentence(*r)}, {"steps", steps}, {"erase", eraseMessage(*r)}};
}

QVariantMap ResultsData::contents() const {
    const VerifyReport* r = report();
    if (!r) return {};
    QStringList cameras;
    for (const CameraProfile& c : r->cameras) cameras << text(c.name);
    QVariantList lines;
    for (const ContentLine& l : r->contents)
        lines << QVariantMap{{"label", text(l.label)},       {"formats", contentFormats(l)},
                             {"symbol", contentSymbol(l)},   {"checkedText", contentChecked(l)},
                             {"anyChecked", l.checked >= 1}, {"note", text(l.note)},
                             {"files", count(l.files)},      {"bytes", byteCount(l.bytes)}};
    // A broken card may hold thousands; the popover names the first of them, the CSV all.
    constexpr size_t shownUnreadable = 20;
    QVariantList unreadable;
    const auto& entries = r->cardUnreadableEntries;
    for (size_t i = 0; i < entries.size() && i < shownUnreadable; ++i)
        unreadable << QVariantMap{
            {"path", entries[i].path.empty() ? QStringLiteral("(top level)") : text(entries[i].path)},
            {"reason", text(entries[i].reason)}};
    QString unreadableNote;
    if (entries.size() > shownUnreadable)
        unreadableNote = QStringLiteral("…and ") + count(int64_t(entries.size() - shownUnreadable)) +
                         QStringLiteral(" more. Export Report… lists them all.");
    else if (r->cardUnreadable > 0 && entries.empty())
        unreadableNote =
            QStringLiteral("This saved check didn't keep their names. Check the card again to see them.");
    return {{"title", QStringLiteral("What's on ") + text(cardNameBytes(r->source))},
            {"cameras", cameras.join(QStringLiteral(" · "))},
            {"lines", lines},
            {"unreadableText", r->cardUnreadable > 0 ? unreadableSentence(r->cardUnreadable) : QString()},
            {"unreadable", unreadable},
            {"unreadableNote", unreadableNote}};
}

QVariantMap ResultsData::bar(const QVariantMap& counts, double width, double height) const {
    StatusCounts c;
    c.files = int64_t(counts.value("files").toDouble());
    c.verified = int64_t(counts.value("verified").toDouble());
    c.backedUp = int64_t(counts.value("backedUp").toDouble());
    c.conflict = int64_t(counts.value("conflict").toDouble());
    c.problem = int64_t(counts.value("problem").toDouble());
    const BarParts p = barParts(c, width, height);
    return {{"covered", p.covered},
            {"attention", p.attention},
            {"conflict", p.conflict},
            {"label", QStringLiteral("%1 of %2 backed up").arg(c.covered()).arg(c.files)}};
}

QVariantMap ResultsData::panel(const QString& folderKey) const {
    const VerifyReport* r = report();
    const std::optional<std::string> key = pathOfKey(folderKey);
    if (!r || !key) return {};
    const std::string& folder = *key;
    const ReportTally::Folder& tally = tally_.folder(*r, folder);
    const std::vector<int>& files = tally.files;
    const int64_t bytes = tally.bytes, uncovered = tally.uncovered, uncoveredBytes = tally.uncoveredBytes;
    int64_t copyable = tally.copyable.value_or(0);
    if ((!tally.copyable || model_->goneCopyable() > 0) && !r->isCardOnly()) {
        std::vector<int64_t> ids;
        for (int i : files)
            if (!isCovered(r->files[size_t(i)].status)) ids.push_back(r->files[size_t(i)].id);
        copyable = copyableCount(ids);
    }
    if (r->isCardOnly()) copyable = 0;
    return {{"title", text(folder.empty() ? cardNameBytes(r->source) : folder)},
            {"header", fileCount(int64_t(files.size())) + QStringLiteral(" · ") + byteCount(bytes)},
            {"cardOnly", r->isCardOnly()},
            {"uncovered", double(uncovered)},
            {"uncoveredText", fileCount(uncovered) + QStringLiteral(" · ") + byteCount(uncoveredBytes)},
            {"copyable", double(copyable)},
            {"copyTitle", folderCopyTitle(folder, cardNameBytes(r->source))}};
}

void ResultsData::showPlaces(const QVariant& folderKey) {
    placesFolder_ = folderKey.isNull() ? std::nullopt : pathOfKey(folderKey.toString());
    updatePlaces();
}

void ResultsData::updatePlaces() {
    const VerifyReport* r = report();
    if (!r || !placesFolder_) {
        places_.show(nullptr, {}, {}, 0);
        return;
    }
    const ReportTally::Folder& tally = tally_.folder(*r, *placesFolder_);
    places_.show(r, *placesFolder_, tally.places(PlaceRows::shown), tally.files.size());
}

QList<qint64> ResultsData::uncoveredIDs(const QString& folderKey) const {
    QList<qint64> out;
    const VerifyReport* r = report();
    if (const std::optional<std::string> folder = pathOfKey(folderKey); r && folder)
        for (int i : folderFiles(*r, *folder))
            if (!isCovered(r->files[size_t(i)].status)) out << r->files[size_t(i)].id;
    return out;
}

QList<qint64> ResultsData::groupIDs(int row) const {
    QList<qint64> out;
    if (const ShootGroup* g = shoots_.group(row)) out = QList<qint64>(g->fileIDs.begin(), g->fileIDs.end());
    return out;
}

QString ResultsData::groupID(int row) const {
    const ShootGroup* g = shoots_.group(row);
    return g ? QString::fromStdString(g->id()) : QString();
}

QString ResultsData::shootCopyTitle(int row) const {
    const ShootGroup* g = shoots_.group(row);
    return g ? copyTitle(folderTitle(*g, cardNameBytes(report()->source)), g->day, dates_) : QString();
}

void ResultsData::revealLanding(int row) const {
    const ShootGroup* g = shoots_.group(row);
    if (!g) return;
    if (const auto l = firstLanding(*g, *report()))
        revealOnBackup(l->destination, std::string(l->folderBytes()));
}

void ResultsData::revealPlace(int destination, const QString& folderKey) const {
    if (const std::optional<std::string> folder = pathOfKey(folderKey)) revealOnBackup(destination, *folder);
}

void ResultsData::revealOnBackup(int64_t destination, const std::string& folder) const {
    const VerifyReport* r = report();
    if (!r || destination < 0 || size_t(destination) >= r->destinations.size()) return;
    model_->revealOnDisk({join(r->destinations[size_t(destination)].path, folder)});
}

void ResultsData::openDiskTool() {
    if (!model_) return;
    // Erasing a card is offered only while it may be formatted: one changed a moment ago is not.
    model_->whenCardLooked([self = QPointer<ResultsData>(this)](AppModel& m, bool go) {
        if (!go || !self || !m.showsReadyToFormat()) return;
        if (!self->diskTool_) self->diskTool_ = std::make_unique<DesktopDiskTool>();
        if (const auto why = self->diskTool_->open()) m.show(QString::fromStdString(*why), false);
    });
}

void registerResults() { qmlRegisterType<ResultsData>("Halvetrop.Native", 1, 0, "Results"); }

}  // namespace halvetrop

#include "model/CopySheet.h"

#include "copy/CopyError.h"
#include "drives/Drives.h"
#include "drives/VolumeMatch.h"
#include "present/CopyReport.h"
#include "present/Fit.h"
#include "present/Format.h"
#include "present/Home.h"
#include "present/Results.h"
#include "present/Sidebar.h"
#include "report/Report.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThreadPool>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>

namespace halvetrop {

namespace {

constexpr const char* kLocationsKey = "copyLocations";
constexpr int kPreviewRows = 60;
constexpr qint64 kProgressIntervalMs = 50;

std::string bytes(const QString& text) { return text.toUtf8().toStdString(); }
QString text(const std::string& bytes) { return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())); }

// The last two folders of a path, in their order whatever their script (present::isolatedPath).
QString shortPath(const std::string& path) {
    QStringList pieces = text(path).split(u'/', Qt::SkipEmptyParts);
    if (pieces.size() < 3) return present::isolatedPath(text(path));
    return present::isolatedPath(QStringLiteral("\u2026/") + pieces.mid(pieces.size() - 2).join(u'/'));
}

// Where a backup's folder is, as the user knows it: its drive's name, then the folders below the
// drive's top level down to the backup folder (none when the backup is the whole drive).
QStringList backupPlace(const VolumeInfo& backup) {
    QStringList pieces{text(backup.name)};
    if (present::isVolumeRoot(backup.path, backup.volumePath)) return pieces;
    const std::string& volume = backup.volumePath;
    const std::string prefix = volume == "/" ? volume : volume + "/";
    const std::string below = !volume.empty() && backup.path.compare(0, prefix.size(), prefix) == 0
                                  ? backup.path.substr(prefix.size())
                                  : backup.path.substr(backup.path.find_last_of('/') + 1);
    pieces << text(below).split(u'/', Qt::SkipEmptyParts);
    return pieces;
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Why no copy of this result may go now: the card or the backup now mounted is another volume than
// the result was made with, or cannot be told from another. Nothing when both are the same.
// Another volume at its place, or nothing mounted there, is "changed"; only a mount there that
// cannot be told from the recorded one is "unknown".
std::optional<QString> volumesRefusal(const VerifyReport& report, const VolumeInfo& backup,
                                      const VolumeInfo& liveBackup,
                                      const std::function<VolumeInfo(const std::string&)>& describe) {
    bool unknown = false;
    for (const auto& [recorded, live] :
         {std::pair{report.source, describe(report.source.path)}, std::pair{backup, liveBackup}}) {
        const VolumeMatch m = matchVolume(recorded, live);
        if (m == VolumeMatch::same) continue;
        if (m == VolumeMatch::different || !live.deviceNumber || live.volumePath != recorded.volumePath)
            return CopySheet::volumesChangedText();
        unknown = true;
    }
    if (unknown) return CopySheet::volumesUnknownText();
    return std::nullopt;
}

// Whether this user may make files where the plan puts them, asked before Copy is offered rather
// than told by the first folder the run fails to make. Each destination folder, or the nearest
// folder above it that exists (the run makes the rest), is asked once: a volume mounted
// read-only, or a folder this user's effective rights (group, ACL) may not write in, refuses.
std::optional<QString> writeRefusal(const CopyPlan& plan, const QString& backup) {
    std::set<std::string> asked;
    for (const auto& item : plan.items) {
        if (item.refusal) continue;  // nothing is made for it
        std::string folder = item.destDir;
        if (!asked.insert(folder).second) continue;
        struct stat st {};
        while (::stat(folder.c_str(), &st) != 0 && errno == ENOENT && folder != "/") {
            const auto slash = folder.find_last_of('/');
            if (slash == std::string::npos) break;
            folder = slash == 0 ? std::string("/") : folder.substr(0, slash);
        }
        if (folder != item.destDir && !asked.insert(folder).second) continue;
        struct statvfs fs {};
        if (::statvfs(folder.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY))
            return CopySheet::readOnlyText(backup);
        if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
            if (errno == EROFS) return CopySheet::readOnlyText(backup);
            if (errno == EACCES || errno == EPERM) return CopySheet::notWritableText(folder);
        }
    }
    return std::nullopt;
}

}  // namespace

// A snapshot of the choices, taken on the GUI thread and worked out on the plan thread.
struct CopySheet::Inputs {
    quint64 generation = 0;
    std::shared_ptr<const VerifyReport> report;
    std::vector<std::int64_t> fileIDs;
    int destination = 0;
    CopyLayout layout = CopyLayout::nextToShoot();
    std::string location;
    std::string base;
    bool shoot = true;
    std::optional<std::string> storedLocation;  // set when the remembered folder is to be restored
    std::function<VolumeInfo(const std::string&)> describe;
};

struct CopySheet::Outcome {
    quint64 generation = 0;
    std::variant<CopyPlan, QString> plan;
    QVariantList preview;
    std::optional<std::int64_t> freeBytes;
    std::optional<std::string> restoredLocation;
};

QString CopySheet::volumesChangedText() {
    return QStringLiteral(
        "The card or backup now mounted is not the one this result was made with \u2014 check again first.");
}

QString CopySheet::volumesUnknownText() {
    return QStringLiteral(
        "Can't tell whether the card and backup now mounted are the ones this result was made with \u2014 "
        "check "
        "again first.");
}

QString CopySheet::readOnlyText(const QString& backup) {
    return present::quoted(backup) +
           QStringLiteral(
               " is mounted read-only \u2014 nothing can be copied onto it. Mount it writable, or "
               "choose another backup.");
}

QString CopySheet::notWritableText(const std::string& folder) {
    return QStringLiteral("You don't have permission to write in ") + present::displayText(folder) +
           QStringLiteral(" \u2014 choose a folder you can write in, or get write access to this one first.");
}

QString CopySheet::cardIsNoSaveFolderText(const QString& card) {
    return present::quoted(card) +
           QStringLiteral(" is the card being checked: copies are saved on a backup, never on the card.");
}

QString CopySheet::cardName() const { return present::cardName(report_->source); }

QString CopySheet::nameTooLongText() {
    return QStringLiteral("The new folder's name is too long: a folder name holds at most 255 bytes.");
}

QString CopySheet::cardChangedText(const CardChanges& changes) {
    return QStringLiteral("Since this check, ") + present::changesText(changes) +
           QStringLiteral(" on the card \u2014 check it again before copying.");
}

CopySheet::CopySheet(AppModel& model, VerifyReport report, AppModel::CopyRequest request, QSettings& settings,
                     CopySheetDeps deps, QObject* parent)
    : QObject(parent),
      model_(model),
      report_(std::make_shared<const VerifyReport>(std::move(report))),
      request_(std::move(request)),
      settings_(settings),
      deps_(std::move(deps)),
      pool_(new QThreadPool(this)) {
    if (!deps_.describeVolume) deps_.describeVolume = [](const std::string& p) { return Drives::info(p); };
    if (!deps_.now)
        deps_.now = [] {
            return TimeNs(std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count());
        };
    notConnected_ = std::move(deps_.notConnected);
    if (const auto open = offered(); !open.empty()) destination_ = open.front();
    TimeNs now = deps_.now();
    // Once, so that the preview and the run agree across midnight.
    today_ = DateFormatter(DatePattern::day, DateZone::utc).format(now);
    pool_->setMaxThreadCount(1);
    debounce_.setSingleShot(true);
    debounce_.setInterval(deps_.debounceMs);
    connect(&debounce_, &QTimer::timeout, this, &CopySheet::launchPlan);
    // The sheet opens: the layout's default name, and the save folder remembered for backup 0.
    baseFolder_ = baseDefault(layout_, today(), present::cardName(report_->source));
    changed(location_.isEmpty());
    connect(&model_, &AppModel::savedCardChanged, this, &CopySheet::cardMoved);
}

CopySheet::~CopySheet() {
    if (runner_) runner_->cancel();
    if (run_.valid()) run_.wait();
    debounce_.stop();
    pool_->waitForDone();
    if (phase_ == Phase::copying) model_.copyEnded();
}

bool CopySheet::hasBackup() const { return !report_->destinations.empty(); }

QStringList CopySheet::backupTexts() const {
    QStringList out;
    for (int i : offered()) {
        const VolumeInfo& d = report_->destinations[size_t(i)];
        out << present::isolated(text(d.name)) + QStringLiteral(" \u2014 ") +
                   present::isolatedPath(text(d.path));
    }
    return out;
}

std::vector<int> CopySheet::offered() const {
    std::vector<int> out;
    for (size_t i = 0; i < report_->destinations.size(); ++i)
        if (!notConnected_.count(report_->destinations[i].path)) out.push_back(int(i));
    return out;
}

bool CopySheet::destinationConnected() const {
    return hasBackup() && !notConnected_.count(report_->destinations.at(size_t(destination_)).path);
}

int CopySheet::destinationRow() const {
    const auto open = offered();
    const auto at = std::find(open.begin(), open.end(), destination_);
    return at == open.end() ? -1 : int(at - open.begin());
}

void CopySheet::chooseDestinationRow(int row) {
    const auto open = offered();
    if (row >= 0 && row < int(open.size())) chooseDestination(open[size_t(row)]);
}

void CopySheet::setNotConnected(std::set<std::string> paths) {
    const auto before = offered();
    notConnected_ = std::move(paths);
    const auto now = offered();
    if (now == before) return;
    emit backupsChanged();
    if (phase_ != Phase::planning) {
        emit inputsChanged();
        return;
    }
    // A copy never goes to a backup whose drive left: its mount point is the system's disk.
    if (!destinationConnected() && !now.empty()) {
        chooseDestination(now.front());
        return;
    }
    changed();
}

QString CopySheet::baseDefault(Layout layout, const QString& today, const QString& cardName) {
    switch (layout) {
        case Layout::beside:
        case Layout::newDated:
            return QStringLiteral("SD Halvetrop copies ") + today;
        case Layout::card:
            return cardName + u' ' + today;
        default:
            return {};
    }
}

// ---------------------------------------------------------------------------------------------
// Choices

void CopySheet::chooseDestination(int index) {
    if (phase_ != Phase::planning || index == destination_ || index < 0 ||
        index >= int(report_->destinations.size()) ||
        notConnected_.count(report_->destinations[size_t(index)].path))
        return;
    destination_ = index;
    location_.clear();
    locationBytes_.clear();
    pickError_.clear();
    changed(true);
}

void CopySheet::chooseLayout(Layout layout) {
    if (phase_ != Phase::planning) return;
    layout_ = layout;
    baseFolder_ = baseDefault(layout, today(), present::cardName(report_->source));
    pickError_.clear();
    changed();
}

void CopySheet::setPathTemplate(const QString& value) {
    if (phase_ != Phase::planning || value == template_) return;
    template_ = value;
    changed();
}

void CopySheet::setBaseFolder(const QString& value) {
    if (phase_ != Phase::planning || value == baseFolder_) return;
    baseFolder_ = value;
    changed();
}

void CopySheet::setLocation(const QString& value) {
    if (phase_ != Phase::planning || value == location_) return;
    location_ = value;
    locationBytes_ = bytes(value);
    pickError_.clear();
    restorePending_ = false;  // the user's folder wins over the remembered one
    changed();
}

void CopySheet::pickFolder(const QString& path) { pickFolder(bytes(path)); }

void CopySheet::pickFolder(const std::string& path) {
    if (phase_ != Phase::planning) return;
    auto where = CopyPlanner::locate(path, *report_);
    using Case = CopyPlanner::PickedFolder::Case;
    switch (where.kind) {
        case Case::onBackup:
            if (notConnected_.count(report_->destinations.at(size_t(where.destination)).path)) {
                pickError_ =
                    present::notConnectedText({report_->destinations[size_t(where.destination)].path});
                break;
            }
            destination_ = int(where.destination);
            // The folder's own bytes are where the copies go; the text is what the field shows.
            location_ = text(where.folder);
            locationBytes_ = where.folder;
            pickError_.clear();
            restorePending_ = false;
            break;
        case Case::insideCard:
            pickError_ = QStringLiteral("That folder is on the card itself. Choose a folder on the backup.");
            break;
        case Case::insideLibrary:
            pickError_ = QStringLiteral(
                "That\u2019s inside an app library (Photos, Lightroom, Capture One\u2026). Choose a "
                "regular folder, then add the files from the app.");
            break;
        case Case::notOnBackup: {
            QStringList names;
            for (const auto& d : report_->destinations) names << text(d.name);
            pickError_ = QStringLiteral("Choose a folder on ") + present::listText(names) +
                         QStringLiteral(" \u2014 the ") +
                         present::agree(names.size(), QStringLiteral("backup"), QStringLiteral("backups")) +
                         QStringLiteral(
                             " this card was checked against. To save somewhere else, add that drive as a "
                             "backup first.");
            break;
        }
    }
    changed();
}

std::string CopySheet::locationStart() const {
    if (!hasBackup()) return {};
    const std::string& root = report_->destinations.at(size_t(destination_)).path;
    return locationBytes_.empty() ? root : root + "/" + locationBytes_;
}

QString CopySheet::nameError() const {
    if (layout_ == Layout::shoot) return {};
    return plannerBase().size() > fileNameMax ? nameTooLongText() : QString();
}

// ---------------------------------------------------------------------------------------------
// What the planner gets

CopyLayout CopySheet::copyLayout() const {
    switch (layout_) {
        case Layout::shoot:
            return CopyLayout::nextToShoot();
        case Layout::beside:
            return CopyLayout::besideShoot("(added " + today_ + ")");
        case Layout::newDated:
        case Layout::date:
            return CopyLayout::byDate();
        case Layout::card:
            return CopyLayout::keepCardStructure();
        case Layout::custom:
            return CopyLayout::custom(bytes(template_));
    }
    return CopyLayout::nextToShoot();
}

std::string CopySheet::plannerLocation() const {
    return layout_ == Layout::shoot ? std::string() : locationBytes_;
}

std::string CopySheet::plannerBase() const {
    if (layout_ == Layout::shoot) return {};
    QString base = baseFolder_;
    auto isBlank = [](const QString& s) {
        for (QChar c : s)
            if (c != u' ' && c != u'\t') return false;
        return true;
    };
    if ((layout_ == Layout::newDated || layout_ == Layout::beside) && isBlank(base))
        base = QStringLiteral("SD Halvetrop copies ") + today();
    base.replace(u'/', u'-');
    return bytes(base);
}

QString CopySheet::detail(Layout layout) const {
    if (!hasBackup()) return {};
    const QString todayText = today();
    std::set<std::int64_t> wanted(request_.fileIDs.begin(), request_.fileIDs.end());
    std::optional<std::string> example;
    for (const auto& g : report_->groups) {
        if (example) break;
        bool holds = false;
        for (auto id : g.fileIDs) holds = holds || wanted.count(id);
        if (!holds) continue;
        for (const auto& l : g.landings) {
            if (l.destination == destination_) {
                example = l.folder;
                break;
            }
        }
    }
    const QStringList place = backupPlace(report_->destinations.at(size_t(destination_)));
    const QString name = place.join(QStringLiteral(" / "));
    switch (layout) {
        case Layout::shoot:
            return example
                       ? QStringLiteral("Into the folder where most of the shoot already is, e.g. ") +
                             shortPath(*example) +
                             QStringLiteral(". Shoots not on the backup yet are sorted by date.")
                       : QStringLiteral(
                             "Into the folder where most of the shoot already is. Shoots not on the backup "
                             "yet are sorted by date.");
        case Layout::beside: {
            QString rest = QStringLiteral("Shoots not on the backup yet go into the new dated folder.");
            if (!example) return rest;
            return QStringLiteral("e.g. ") + shortPath(*example) + QStringLiteral(" (added ") + todayText +
                   QStringLiteral(") \u2014 right next to ") + shortPath(*example) + QStringLiteral(". ") +
                   rest;
        }
        case Layout::newDated: {
            QString line = name;
            if (!location_.isEmpty()) line += QStringLiteral(" / ") + location_;
            QString base = baseFolder_.isEmpty() ? QStringLiteral("SD Halvetrop copies ") + todayText
                                                 : QString(baseFolder_).replace(u'/', u'-');
            return present::isolatedPath(line + QStringLiteral(" / ") + base +
                                         QStringLiteral(" / YYYY / YYYY-MM-DD / file"));
        }
        case Layout::date:
            // A drive's own year folders are at its top level; a backup folder's are in it.
            if (location_.isEmpty() && place.size() == 1)
                return QStringLiteral("Into ") + name +
                       QStringLiteral("\u2019s own YYYY / YYYY-MM-DD folders");
            return present::isolatedPath(
                name + (location_.isEmpty() ? QString() : QStringLiteral(" / ") + location_) +
                QStringLiteral(" / YYYY / YYYY-MM-DD / file"));
        case Layout::card:
            return QStringLiteral("An exact mirror of the card's folders, e.g. DCIM/100MSDCF");
        case Layout::custom:
            return QStringLiteral("Build a path from {YYYY} {MM} {DD} {date} {camera} {card} {folder}");
    }
    return {};
}

QString CopySheet::locationLabel() const {
    if (!hasBackup()) return {};
    QStringList place = backupPlace(report_->destinations.at(size_t(destination_)));
    // "(top level)" only of a whole drive: the copies of a backup folder go inside it.
    if (location_.isEmpty() && place.size() == 1)
        return present::isolated(place.front()) + QStringLiteral(" (top level)");
    place << location_.split(u'/', Qt::SkipEmptyParts);
    return place.join(QStringLiteral(" \u203a "));
}

// ---------------------------------------------------------------------------------------------
// The plan, off the GUI thread

void CopySheet::changed(bool restoreLocation) {
    ++generation_;
    restorePending_ = restorePending_ || restoreLocation;
    emit inputsChanged();
    emit planChanged();
    debounce_.start();
}

void CopySheet::cardMoved() {
    if (phase_ != Phase::planning) return;
    // The card found as it was (its first look since the check ended, say) changes nothing planned.
    if (cardSeen_ == std::make_pair(model_.savedCard(), model_.savedCardChanges())) return;
    // A plan already shown is of the card as it was: it goes now, not after the quiet spell.
    ++generation_;
    debounce_.stop();
    emit planChanged();
    launchPlan();
}

std::optional<QString> CopySheet::cardRefusal() const {
    if (model_.savedCard() == AppModel::SavedCard::changed) return cardChangedText(model_.savedCardChanges());
    return std::nullopt;
}

QString CopySheet::settingsKeyPath() const {
    return text(report_->destinations.at(size_t(destination_)).path);
}

void CopySheet::launchPlan() {
    if (phase_ != Phase::planning || report_->destinations.empty()) return;
    cardSeen_ = std::make_pair(model_.savedCard(), model_.savedCardChanges());
    if (!destinationConnected()) {
        planGeneration_ = generation_;
        planResult_ = present::notConnectedText({report_->destinations.at(size_t(destination_)).path});
        preview_.clear();
        emit planChanged();
        return;
    }
    // Nothing is planned from a card that is no longer as its check found it, nor from a name no
    // file system would take.
    std::optional<QString> refused = cardRefusal();
    if (!refused && !nameError().isEmpty()) refused = nameError();
    if (refused) {
        planGeneration_ = generation_;
        planResult_ = *refused;
        preview_.clear();
        emit planChanged();
        return;
    }
    Inputs in;
    in.generation = generation_;
    in.report = report_;
    in.fileIDs = request_.fileIDs;
    in.destination = destination_;
    in.layout = copyLayout();
    in.location = plannerLocation();
    in.base = plannerBase();
    in.shoot = layout_ == Layout::shoot;
    in.describe = deps_.describeVolume;
    if (restorePending_) {
        // Bytes; a folder remembered as text before is its UTF-8.
        in.storedLocation = settings_.value(QLatin1String(kLocationsKey))
                                .toMap()
                                .value(settingsKeyPath())
                                .toByteArray()
                                .toStdString();
    }
    ++plansInFlight_;
    pool_->start([this, in = std::move(in)] {
        Outcome out = work(in);
        QMetaObject::invokeMethod(
            this, [this, out = std::move(out)]() mutable { applyOutcome(std::move(out)); },
            Qt::QueuedConnection);
    });
}

CopySheet::Outcome CopySheet::work(const Inputs& in) {
    Outcome out;
    out.generation = in.generation;
    const VerifyReport& report = *in.report;
    const VolumeInfo& backup = report.destinations.at(size_t(in.destination));
    std::string location = in.location;
    if (in.storedLocation) {
        // The remembered folder counts only while it still names exactly this folder of this backup.
        std::string restored;
        const std::string& stored = *in.storedLocation;
        if (!stored.empty()) {
            std::string joined = backup.path + "/" + stored;
            if (isDirectory(joined)) {
                auto where = CopyPlanner::locate(joined, report);
                if (where == CopyPlanner::PickedFolder::onBackup(in.destination, stored)) restored = stored;
            }
        }
        out.restoredLocation = restored;
        if (!in.shoot) location = restored;
    }
    VolumeInfo liveBackup = in.describe(backup.path);
    if (liveBackup.totalBytes > 0) out.freeBytes = liveBackup.freeBytes;
    if (auto refused = volumesRefusal(report, backup, liveBackup, in.describe)) {
        out.plan = *refused;
        return out;
    }
    try {
        CopyPlan plan =
            CopyPlanner::plan(report, in.fileIDs, in.destination, in.layout, location, in.base, in.describe);
        if (auto refused = writeRefusal(plan, text(backup.name))) {
            out.plan = *refused;
            return out;
        }
        std::map<std::string, int> folders;  // plain byte order
        for (const auto& item : plan.items)
            if (!item.refusal) ++folders[item.destDir];
        const std::string prefix = plan.root == "/" ? "/" : plan.root + "/";
        for (const auto& [dir, count] : folders) {
            if (out.preview.size() >= kPreviewRows) break;
            QString rowText = backupPlace(backup).join(QStringLiteral(" / "));
            if (dir != plan.root) {
                std::string rest =
                    dir.compare(0, prefix.size(), prefix) == 0 ? dir.substr(prefix.size()) : dir;
                rowText += QStringLiteral(" / ") + text(rest).replace(u'/', QStringLiteral(" / "));
            }
            // A folder the copy will make is marked as new, apart from one already there.
            const bool exists = isDirectory(dir);
            out.preview.append(
                QVariantMap{{QStringLiteral("text"), rowText},
                            {QStringLiteral("count"), count},
                            {QStringLiteral("countText"), present::count(count)},
                            {QStringLiteral("exists"), exists},
                            {QStringLiteral("symbol"),
                             exists ? QStringLiteral("folder.fill") : QStringLiteral("folder.badge.plus")}});
        }
        out.plan = std::move(plan);
    } catch (const CopyError& e) {
        out.plan = text(e.description());
    } catch (const std::exception& e) {
        out.plan = QString::fromUtf8(e.what());
    }
    return out;
}

void CopySheet::applyOutcome(Outcome out) {
    --plansInFlight_;
    if (out.generation != generation_ || phase_ != Phase::planning) return;  // the choices moved on
    if (out.restoredLocation) {
        restorePending_ = false;
        if (locationBytes_ != *out.restoredLocation) {
            location_ = text(*out.restoredLocation);
            locationBytes_ = *out.restoredLocation;
            emit inputsChanged();
        }
    }
    planGeneration_ = out.generation;
    planResult_ = std::move(out.plan);
    preview_ = std::move(out.preview);
    freeBytes_ = out.freeBytes;
    emit planChanged();
}

const CopyPlan* CopySheet::plan() const {
    return planCurrent() ? std::get_if<CopyPlan>(&*planResult_) : nullptr;
}

QString CopySheet::planError() const {
    if (!planCurrent()) return {};
    const QString* e = std::get_if<QString>(&*planResult_);
    return e ? *e : QString();
}

int CopySheet::planCount() const { return plan() ? plan()->copyableCount() : 0; }
qint64 CopySheet::planBytes() const { return plan() ? plan()->totalBytes() : 0; }
int CopySheet::renamedForCollision() const { return plan() ? plan()->renamedForCollision : 0; }
QVariantList CopySheet::preview() const { return plan() ? preview_ : QVariantList(); }
QVariant CopySheet::freeBytes() const { return freeBytes_ ? QVariant(qint64(*freeBytes_)) : QVariant(); }

QString CopySheet::planSummary() const {
    if (!hasBackup()) return {};
    return present::planSummary(planCount(), planBytes(), freeBytes_,
                                text(report_->destinations.at(size_t(destination_)).name));
}

QString CopySheet::copyButtonText() const {
    if (starting_) return QStringLiteral("Looking at the Card\u2026");
    return plan() ? present::copyFilesButton(planCount()) : QStringLiteral("Copy Files");
}

QString CopySheet::refusedText() const {
    const CopyPlan* p = plan();
    if (!p) return {};
    // Refused for its own name, or for a folder's on its way (by that folder's path).
    std::vector<const PlannedCopy*> own;
    std::map<std::string, int> byFolder;
    int inFolders = 0;
    const PlannedCopy* firstInFolder = nullptr;
    for (const auto& item : p->items) {
        if (!item.refusal) continue;
        if (item.refusal->text() == item.destination()) {
            own.push_back(&item);
            continue;
        }
        if (!firstInFolder) firstInFolder = &item;
        ++byFolder[item.refusal->text()];
        ++inFolders;
    }
    if (own.empty() && !firstInFolder) return {};
    // The reason first: a name this long would push it out of sight, so a name gives way in its
    // middle.
    auto shown = [](const std::string& name) {
        return present::quoted(present::cutMiddle(present::displayText(name), 60));
    };
    const CopyError& any = own.empty() ? *firstInFolder->refusal : *own.front()->refusal;
    const QString allows =
        QStringLiteral(" longer than ") + text(report_->destinations.at(size_t(destination_)).name) +
        QStringLiteral("'s file system allows (%1 %2 at most).")
            .arg(any.error())
            .arg(any.limitInUtf16() ? QStringLiteral("characters") : QStringLiteral("bytes"));
    QStringList said;
    if (own.size() == 1)
        said << shown(own.front()->name) + QStringLiteral(" won't be copied: its name is") + allows;
    if (own.size() > 1)
        said << shown(own.front()->name) + QStringLiteral(" and ") +
                    present::counted(int64_t(own.size() - 1), QStringLiteral("other file"),
                                     QStringLiteral("other files")) +
                    QStringLiteral(" won't be copied: their names are") + allows;
    if (firstInFolder) {
        const std::string& path = firstInFolder->refusal->text();
        const QString folder = shown(path.substr(path.find_last_of('/') + 1));
        if (inFolders == 1)
            said << shown(firstInFolder->name) + QStringLiteral(" won't be copied: the name of its folder ") +
                        folder + QStringLiteral(" is") + allows;
        else if (byFolder.size() == 1)
            said << present::counted(inFolders, QStringLiteral("file"), QStringLiteral("files")) +
                        QStringLiteral(" in ") + folder +
                        QStringLiteral(" won't be copied: the folder's name is") + allows;
        else
            said << present::counted(inFolders, QStringLiteral("file"), QStringLiteral("files")) +
                        QStringLiteral(" in ") + folder + QStringLiteral(" and ") +
                        present::counted(int64_t(byFolder.size() - 1), QStringLiteral("other folder"),
                                         QStringLiteral("other folders")) +
                        QStringLiteral(" won't be copied: the folders' names are") + allows;
    }
    return said.join(u' ');
}

bool CopySheet::canCopy() const {
    return phase_ == Phase::planning && !starting_ && plan() && plan()->copyableCount() > 0;
}

// ---------------------------------------------------------------------------------------------
// The run

void CopySheet::copy() {
    if (!canCopy() || model_.copying()) return;
    // The card is looked at once more: one changed a moment ago, before its watch said so, is not
    // copied from as if it were as checked.
    starting_ = true;
    emit planChanged();
    const quint64 pressed = generation_;
    QPointer<CopySheet> self(this);
    model_.whenCardLooked([self, pressed](AppModel&, bool go) {
        if (!self) return;
        self->starting_ = false;
        if (go && self->generation_ == pressed && self->canCopy() && !self->model_.copying() &&
            !self->cardRefusal()) {
            self->start();
            return;
        }
        emit self->planChanged();
    });
}

void CopySheet::start() {
    CopyPlan plan = *this->plan();
    if (layout_ != Layout::shoot) {
        QVariantMap saved = settings_.value(QLatin1String(kLocationsKey)).toMap();
        saved.insert(settingsKeyPath(), QByteArray::fromStdString(locationBytes_));
        settings_.setValue(QLatin1String(kLocationsKey), saved);
    }
    runner_ = std::make_shared<CopyRunner>(plan);
    // The run asks what is mounted where as the sheet did.
    runner_->volumeInfo = deps_.describeVolume;
    phase_ = Phase::copying;
    emit phaseChanged();
    emit planChanged();

    auto runner = runner_;
    runner->onProgress = [this, throttle = ProgressThrottle(),
                          clock = QElapsedTimer()](const CopyProgress& p) mutable {
        if (!clock.isValid()) clock.start();
        if (!throttle.pass(p, clock.elapsed())) return;
        QMetaObject::invokeMethod(
            this,
            [this, p] {
                progress_ = p;
                emit progressChanged();
            },
            Qt::QueuedConnection);
    };
    auto report = report_;
    auto describe = deps_.describeVolume;
    auto runCopy = deps_.runCopy;
    int destination = destination_;
    run_ = std::async(std::launch::async, [this, runner, report, describe, runCopy, destination] {
        CopyRunResult result;
        // The volumes could have changed between planning and now; a copy goes only to the ones the
        // result was made with.
        const VolumeInfo& backup = report->destinations.at(size_t(destination));
        if (auto refused = volumesRefusal(*report, backup, describe(backup.path), describe)) {
            for (const auto& item : runner->plan().items) result.failed.push_back({item.id, bytes(*refused)});
        } else {
            result = runCopy ? runCopy(*runner) : runner->run();
        }
        QMetaObject::invokeMethod(
            this, [this, result = std::move(result)]() mutable { finish(std::move(result)); },
            Qt::QueuedConnection);
    });
    auto* future = &run_;
    model_.copyStarted(RunningCopy{[runner] { runner->cancel(); },
                                   [future] {
                                       if (future->valid()) future->wait();
                                   }});
}

bool ProgressThrottle::pass(const CopyProgress& progress, qint64 nowMs) {
    const bool last = progress.filesDone == progress.filesTotal;
    if (last_ && !last && nowMs - *last_ <= kProgressIntervalMs) return false;
    last_ = nowMs;
    return true;
}

void CopySheet::finish(CopyRunResult result) {
    if (phase_ != Phase::copying) return;
    std::unordered_map<std::int64_t, const FileResult*> byID;
    for (const auto& f : report_->files) byID[f.id] = &f;
    const TimeNs now = deps_.now();
    copyReport_ = std::make_shared<const present::CopyReport>(present::CopyReport::make(
        result, runner_->plan(), *report_, report_->destinations.at(size_t(destination_)).name, byID, now));
    // The copy read the card's files: where it could not keep their access times, that is said.
    if (result.sourceAccessTimesTouched > 0) model_.noteAccessTimeTouched(report_->source.path);
    result_ = std::move(result);
    model_.setLastCopy(QVariant::fromValue(copyReport_));
    model_.copyEnded();
    phase_ = Phase::done;
    emit phaseChanged();
}

void CopySheet::stop() {
    if (phase_ == Phase::copying && runner_) runner_->cancel();
}

void CopySheet::pressEscape() {
    if (phase_ == Phase::planning)
        cancel();
    else if (phase_ == Phase::copying)
        stop();
    else
        done();  // closing the result is Done: the card is checked again with the new copies
}

void CopySheet::cancel() {
    if (phase_ != Phase::planning) return;
    // A Copy still waiting for its look at the card does not start once the sheet is closing.
    ++generation_;
    emit finished();
    model_.clearCopyRequest();
}

void CopySheet::done() {
    if (phase_ != Phase::done) return;
    emit finished();
    // Clearing the request may end this sheet; the check starts after it has gone.
    AppModel& model = model_;
    model.clearCopyRequest();
    model.check(QString());
}

QVariantMap CopySheet::progressMap() const {
    if (!progress_) return {};
    return {{QStringLiteral("bytesDone"), qint64(progress_->bytesDone)},
            {QStringLiteral("bytesTotal"), qint64(progress_->bytesTotal)},
            {QStringLiteral("filesDone"), progress_->filesDone},
            {QStringLiteral("filesTotal"), progress_->filesTotal},
            {QStringLiteral("fraction"), progress_->fraction()},
            {QStringLiteral("current"), text(progress_->current)}};
}

bool CopySheet::waitForPlan(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!planCurrent() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return planCurrent();
}

bool CopySheet::waitForRun(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while ((starting_ || phase_ == Phase::copying) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return !starting_ && phase_ != Phase::copying;
}

}  // namespace halvetrop

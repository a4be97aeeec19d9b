// The model's state and its lifetime: construction from the stored settings, the fields the views
// read and write, what is computed from them, the work run off the GUI thread, and quitting.
#include "model/AppModel.h"
#include "drives/VolumeMatch.h"
#include "model/AppModelWork.h"
#include "model/CardWatch.h"
#include "model/FileList.h"
#include "model/History.h"
#include "model/ModelText.h"
#include "present/Files.h"
#include "present/Format.h"
#include "present/Home.h"
#include "present/Paths.h"
#include "text/Utf8.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThreadPool>

#include <malloc.h>

#include <chrono>
#include <filesystem>
#include <limits>
#include <tuple>

namespace halvetrop {

namespace {

constexpr int kFoldIntervalMs = 400;
// A photo copied onto the card is a burst of notices: the card is listed once they pause, or
// this long after the first.
constexpr int kCardSoonMs = 250;

}  // namespace

std::optional<VolumeListing> AppModel::listMounted(const std::function<bool()>& stale) {
    return Drives::listMounted(DriveSources(), stale);
}

std::optional<std::string> cleanAbsolutePath(const std::string& path) {
    if (path.empty()) return std::nullopt;
    std::filesystem::path p(path);
    if (p.is_relative()) {
        std::error_code ec;
        auto cwd = std::filesystem::current_path(ec);
        if (ec) return std::nullopt;
        p = cwd / p;
    }
    std::string clean = p.lexically_normal().string();
    while (clean.size() > 1 && clean.back() == '/') clean.pop_back();
    return clean;
}

QString AppModel::rawValue(Mode mode) {
    switch (mode) {
        case Mode::Shoots:
            return QStringLiteral("Shoots");
        case Mode::Map:
            return QStringLiteral("Map");
        case Mode::Files:
            return QStringLiteral("Files");
    }
    return {};
}

std::optional<AppModel::Mode> AppModel::modeFromRaw(const QString& text) {
    for (Mode m : {Mode::Shoots, Mode::Map, Mode::Files})
        if (rawValue(m) == text) return m;
    return std::nullopt;
}

QString AppModel::rawValue(FileFilter filter) {
    switch (filter) {
        case FileFilter::All:
            return QStringLiteral("All");
        case FileFilter::NotBackedUp:
            return QStringLiteral("Not backed up");
        case FileFilter::BackedUp:
            return QStringLiteral("Backed up");
    }
    return {};
}

std::optional<AppModel::FileFilter> AppModel::fileFilterFromRaw(const QString& text) {
    for (FileFilter f : {FileFilter::All, FileFilter::NotBackedUp, FileFilter::BackedUp})
        if (rawValue(f) == text) return f;
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Start-up

AppModel::AppModel(AppModelDeps deps, QObject* parent)
    : QObject(parent),
      deps_(std::move(deps)),
      pool_(new QThreadPool),
      backgroundPool_(new QThreadPool),
      bookmarkPool_(new QThreadPool),
      alive_(std::make_shared<Alive>()) {
    alive_->model = this;
    // Shared with the probes in flight, which may outlive a quit that stopped waiting for them.
    bookmarks_ = std::move(deps_.platform.bookmarks);
    if (!deps_.verifierFactory) deps_.verifierFactory = realVerifierFactory();
    if (!deps_.listVolumes) deps_.listVolumes = listMounted;
    if (!deps_.describeVolume) deps_.describeVolume = [](const std::string& p) { return Drives::info(p); };
    if (!deps_.cardChanges)
        deps_.cardChanges = [](const RecordedCard& recorded, const std::string& path,
                               const CardFolders& folders) {
            try {
                BulkWalker walker;
                return cardChangesAt(recorded, path, walker, folders);
            } catch (const BulkWalkerError&) {
                CardChanges unreadable;
                unreadable.unreadable = !recorded.unreadableUnnamed && !recorded.unreadable.count("");
                return unreadable;
            }
        };
    if (!deps_.expectCardAccessTimes) deps_.expectCardAccessTimes = Verifier::expectedCardAccessTimes;
    if (!deps_.now)
        deps_.now = [] {
            return TimeNs(std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count());
        };
    pool_->setMaxThreadCount(8);
    // A reading of the volumes, a description or two, a look at the card and what is being freed.
    backgroundPool_->setMaxThreadCount(4);
    bookmarkPool_->setMaxThreadCount(1);  // one at a time, in the order asked
    settings_ = deps_.settingsPath.isEmpty()
                    ? std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                  QStringLiteral("Halvetrop"), QStringLiteral("Halvetrop"))
                    : std::make_unique<QSettings>(deps_.settingsPath, QSettings::IniFormat);
    progress_.detail.clear();
    deepProgress_.stage = VerifyProgress::Stage::comparing;
    drainTimer_.setInterval(kFoldIntervalMs);
    drainTimer_.setTimerType(Qt::PreciseTimer);
    connect(&drainTimer_, &QTimer::timeout, this, &AppModel::drainPass);
    connect(&fileRows_, &FileRows::accessTimeTouched, this, &AppModel::noteAccessTimeTouched);
    fileRows_.setGone(&gone_);
    connect(this, &AppModel::reportChanged, this, &AppModel::updateCardAccessTimesNote);
    connect(this, &AppModel::phaseChanged, this, &AppModel::updateCardAccessTimesNote);
    // Once described, the card's volume tells a note made of it from one of another volume there.
    connect(this, &AppModel::volumeInfoReady, this, &AppModel::updateCardAccessTimesNote);
    // A chosen card is asked about until a result speaks for it.
    connect(this, &AppModel::sourceChanged, this, &AppModel::expectAccessTimes);
    connect(this, &AppModel::reportChanged, this, [this] {
        if (!report_ || expected_) expectAccessTimes();
    });
    cardSoon_.setSingleShot(true);
    cardSoon_.setInterval(kCardSoonMs);
    connect(&cardSoon_, &QTimer::timeout, this, &AppModel::lookAtCard);
    cardPoll_.setInterval(kCardPollMs);
    connect(&cardPoll_, &QTimer::timeout, this, &AppModel::lookAtCard);
    // A card changed while the window was away is looked at as the user comes back to it.
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(gui, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive) lookAtCardAgain();
        });

    // Stored choices first, without writing them back; then the backups through the ordinary
    // assignment, which rewrites "backups" from what resolved.
    loadSettings();
    history_ = std::make_unique<HistoryStore>(deps_.historyPath.isEmpty() ? HistoryStore::defaultFile()
                                                                          : deps_.historyPath);
    connect(history_.get(), &HistoryStore::changed, this, &AppModel::historyChanged);
    connect(history_.get(), &HistoryStore::loaded, this, &AppModel::historyChanged);
    connect(history_.get(), &HistoryStore::loaded, this, [this] {
        if (opening_ && !opening_->started) startOpening(opening_);
    });
    // One clock for every relative time on screen: a new time to show is read at this instant,
    // with all the others.
    agedAt_ = now();
    ageTimer_.setSingleShot(true);
    ageTimer_.setTimerType(Qt::PreciseTimer);
    connect(&ageTimer_, &QTimer::timeout, this, &AppModel::ageAgain);
    connect(this, &AppModel::historyChanged, this, &AppModel::ageAgain);
    connect(this, &AppModel::reportChanged, this, [this] {
        const auto shown = report_ ? std::optional<TimeNs>(report_->finishedAt) : std::nullopt;
        if (shown != agedShown_) ageAgain();
    });
    history_->load();
    // The facts of card and backups follow every change of what is chosen, of where the backups'
    // drives are and of the volumes' descriptions; a banner never announces the chosen card.
    for (auto changed :
         {&AppModel::sourceChanged, &AppModel::destinationsChanged, &AppModel::backupPresenceChanged})
        connect(this, changed, this, &AppModel::updateVolumeFacts);
    connect(this, &AppModel::volumeInfoReady, this, &AppModel::updateVolumeFacts);
    connect(this, &AppModel::sourceChanged, this, [this] {
        // Once the change is whole: a saved result sets its card before its report.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (newCard_ && holdsSource(*newCard_)) dismissNewCard();
            },
            Qt::QueuedConnection);
    });
    updateVolumeFacts();
    refreshVolumes();
    if (deps_.platform.volumeMonitor) {
        QPointer<AppModel> self(this);
        deps_.platform.volumeMonitor->start([self] {
            if (!self) return;
            // A mount that went is told by the kernel at once; what came is read in the background.
            self->checkMounts();
            self->refreshVolumes();
        });
    }
}

AppModel::~AppModel() {
    shutdown();
    delete copySheet_.data();
    {
        std::lock_guard<std::mutex> hold(alive_->lock);
        alive_->model = nullptr;
    }
    // A worker still blocked in the kernel after shutdown's wait keeps running until the process
    // ends; it posts nothing (alive_ is cleared), and waiting for it would hang quitting.
    for (QThreadPool* pool : {pool_, backgroundPool_, bookmarkPool_})
        if (pool->waitForDone(0)) delete pool;
}

// ---------------------------------------------------------------------------------------------
// Fields

QString AppModel::sourceText() const { return source_ ? fromBytes(*source_) : QString(); }
QString AppModel::sourceKey() const { return source_ ? present::pathKey(*source_) : QString(); }
QString AppModel::sourceName() const {
    if (!source_) return {};
    // As the sidebar names it: a volume by its name once described, a folder by its own.
    if (report_ && report_->source.path == *source_) return present::cardName(report_->source);
    std::optional<VolumeInfo> volume = cachedVolumeInfo(*source_);
    for (auto v = volumes_.begin(); !volume && v != volumes_.end(); ++v)
        if (v->volumePath == *source_) volume = *v;
    if (!volume) volume = namedVolume(*source_);
    return present::placeName(*source_, volume);
}

QStringList AppModel::destinationTexts() const {
    QStringList out;
    for (const auto& d : destinations_) out << fromBytes(d);
    return out;
}

QStringList AppModel::destinationKeys() const {
    QStringList out;
    for (const auto& d : destinations_) out << present::pathKey(d);
    return out;
}

void AppModel::setDestinations(std::vector<std::string> paths) {
    destinations_ = std::move(paths);
    if (!destinations_.empty()) lastBackup_ = destinations_.back();
    // Chosen again later, a backup is looked at anew.
    const auto gone = [this](const std::string& p) {
        return std::find(destinations_.begin(), destinations_.end(), p) == destinations_.end();
    };
    std::erase_if(unresolved_, gone);
    std::erase_if(toldNotConnected_, gone);
    saveDestinations();
    emit destinationsChanged();
    emit backupPresenceChanged();
    emitComputed();
}

QStringList AppModel::notConnectedKeys() const {
    QStringList out;
    for (const auto& d : unresolvedAmong(unresolved_, destinations_)) out << present::pathKey(d);
    return out;
}

void AppModel::setKinds(std::set<MediaKind> kinds) {
    kinds_ = std::move(kinds);
    QStringList names;
    for (MediaKind k : kinds_) names << fromBytes(std::string(halvetrop::rawValue(k)));
    settings_->setValue("kinds", names);
    settings_->sync();
    emit kindsChanged();
    emitComputed();
}

QStringList AppModel::kindNames() const {
    QStringList names;
    for (MediaKind k : kinds_) names << fromBytes(std::string(halvetrop::rawValue(k)));
    return names;
}

void AppModel::setKindNames(const QStringList& names) {
    std::set<MediaKind> kinds;
    for (const QString& n : names)
        if (auto k = mediaKindFromRaw(toBytes(n))) kinds.insert(*k);
    setKinds(std::move(kinds));
}

QString AppModel::levelName() const { return fromBytes(std::string(halvetrop::rawValue(level_))); }

QVariantList AppModel::volumeList() const {
    QVariantList out;
    for (const auto& v : volumes_) out << volumeMap(v);
    return out;
}

QVariantMap AppModel::progressMap() const { return progressValue(progress_); }
QVariantMap AppModel::deepProgressMap() const { return progressValue(deepProgress_); }

const FileResult* AppModel::fileByID(int64_t id) const {
    return report_ ? filesByID_.file(*report_, id) : nullptr;
}

std::optional<ReportTally> AppModel::takeTally() { return std::exchange(tally_, std::nullopt); }

void AppModel::setMode(Mode mode) {
    mode_ = mode;
    emit modeChanged();
}

void AppModel::setFilter(FileFilter filter) {
    filter_ = filter;
    emit filterChanged();
    refilter();
}

void AppModel::setSearch(const QString& text) {
    search_ = text;
    emit searchChanged();
    refilter();
}

void AppModel::setFolderFilter(std::optional<std::string> folder) {
    folderFilter_ = std::move(folder);
    emit folderFilterChanged();
    refilter();
}

QString AppModel::folderFilterText() const {
    return folderFilter_ ? present::pathKey(*folderFilter_) : QString();
}
void AppModel::setFolderFilterText(const QString& key) {
    setFolderFilter(key.isEmpty() ? std::nullopt : present::pathOfKey(key));
}
QString AppModel::folderFilterTitle() const {
    if (!folderFilter_) return {};
    return present::displayText(folderFilter_->empty() && report_ ? present::cardNameBytes(report_->source)
                                                                  : *folderFilter_);
}

void AppModel::setGroupFilter(std::optional<ShootGroup> group) {
    groupFilter_ = std::move(group);
    emit groupFilterChanged();
    refilter();
}

QString AppModel::groupFilterID() const { return groupFilter_ ? fromBytes(groupFilter_->id()) : QString(); }

void AppModel::setGroupFilterID(const QString& id) {
    std::optional<ShootGroup> group;
    if (report_ && !id.isEmpty()) {
        std::string key = toBytes(id);
        for (const auto& g : report_->groups)
            if (g.id() == key) group = g;
    }
    setGroupFilter(std::move(group));
}

void AppModel::setSelectedFileID(qint64 id) {
    selectedFileID_ = id < 0 ? std::nullopt : std::optional<int64_t>(id);
    emit selectedFileIDChanged();
}

void AppModel::setSelectedFolder(const QString& folder) {
    selectedFolder_ = folder;
    emit selectedFolderChanged();
}

void AppModel::setShowInspector(bool on) {
    showInspector_ = on;
    emit showInspectorChanged();
}

void AppModel::setGridView(bool on) {
    gridView_ = on;
    emit gridViewChanged();
}

void AppModel::setLastCopy(const QVariant& record) {
    lastCopy_ = record;
    photoApps_ = PhotoApps::installed();
    emit lastCopyChanged();
}

const std::vector<HistoryItem>& AppModel::history() const { return history_->items(); }
int AppModel::historyCount() const { return int(history_->items().size()); }
bool AppModel::historyLoaded() const { return history_->isLoaded(); }

void AppModel::setPhotoFormats(PhotoFormats formats) {
    photoFormats_ = formats;
    settings_->setValue("photoFormats", fromBytes(std::string(halvetrop::rawValue(formats))));
    settings_->sync();
    emit photoFormatsChanged();
}

QString AppModel::photoFormatsName() const {
    return fromBytes(std::string(halvetrop::rawValue(photoFormats_)));
}

void AppModel::setPhotoFormatsName(const QString& name) {
    if (auto f = photoFormatsFromRaw(toBytes(name))) setPhotoFormats(*f);
}

QVariantMap AppModel::newCardMap() const { return newCard_ ? volumeMap(*newCard_) : QVariantMap(); }

void AppModel::setCardOnly(bool on) {
    cardOnly_ = on;
    emit cardOnlyChanged();
}

void AppModel::setPhase(Phase phase, QString failure) {
    phase_ = phase;
    failureText_ = std::move(failure);
    emit phaseChanged();
    emitComputed();
}

void AppModel::setReport(PreparedReport* prepared, bool sameCheck) {
    sameCheck = sameCheck && prepared && report_;
    // A report of another check is no saved one until its opener says so, and its card is not
    // watched until it says which card that is.
    if (!sameCheck) {
        stopWatchingCard();
        setSavedCard(SavedCard::none);
        cardMount_.reset();
    } else if (savedCard_ == SavedCard::changed) {
        // The pass's own report is a check of its own, made now: "since" it is only what changed
        // after its last look, which the listing below tells. Changes before were its own to see.
        setSavedCard(SavedCard::none);
    }
    // The pass's report of the same files keeps the browser's order of them.
    const bool sameOrder = sameCheck && prepared->orderDigest == orderDigest_ &&
                           prepared->report.files.size() == report_->files.size();
    ++reportEpoch_;
    cardLooked_ = false;
    // The replaced report, its index and its record are a hundred thousand files' texts: freed on
    // a worker once the views have moved to the new one.
    auto replaced = std::make_shared<
        std::tuple<std::optional<VerifyReport>, FileIndex, std::shared_ptr<const RecordedCard>>>(
        std::move(report_), std::move(filesByID_), std::move(recorded_));
    report_.reset();
    RowKeys keys;
    if (prepared) {
        report_ = std::move(prepared->report);
        filesByID_ = std::move(prepared->index);
        recorded_ = std::move(prepared->recorded);
        orderDigest_ = prepared->orderDigest;
        keys = std::move(prepared->keys);
        tally_ = std::move(prepared->tally);
    } else {
        filesByID_ = FileIndex();
        recorded_.reset();
        orderDigest_ = 0;
    }
    totalsCounted_ = false;
    folded_ = nullptr;  // views told from here on hear of a new report, not of a fold
    if (sameCheck) {
        // Filtered before the rows move, so that they move once, to where they belong.
        visible_ = visibleNow();
        fileRows_.updateInPlace(visible_, !sameOrder, std::move(keys));
    } else {
        ++reportSerial_;
        // The rows filtered for the report before name positions in another one: the rows start
        // empty, and whoever brought the report filters it.
        visible_.clear();
        fileRows_.setReport(report_ ? &*report_ : nullptr, visible_, std::move(keys));
    }
    emit reportChanged();
    // Counts of the report as it came: whatever changes it next is told as a change of its own.
    tally_.reset();
    emit filesByIDChanged();
    emitComputed();
    // The same check's own report claims what it claims only once the card is seen to hold it.
    if (sameCheck) lookAtCard();
    if (std::get<0>(*replaced) || std::get<2>(*replaced)) giveBack(std::move(replaced));
}

void AppModel::setProgress(const VerifyProgress& progress) {
    progress_ = progress;
    emit progressChanged();
}

void AppModel::setDeepVerifying(bool on) {
    deepVerifying_ = on;
    emit deepVerifyingChanged();
}

void AppModel::emitComputed() {
    emit canCheckChanged();
    emit canEjectSourceChanged();
    // The offered cards' rows are made anew on each change, and a row made anew under the pointer
    // loses the click pressed on it: only a list that differs replaces them.
    if (std::vector<VolumeInfo> cards = suggestedCards(); cards != offeredCards_) {
        offeredCards_ = std::move(cards);
        emit suggestedCardsChanged();
    }
}

// ---------------------------------------------------------------------------------------------
// Computed

VerifyScope AppModel::scope() const {
    VerifyScope s = VerifyScope::withKinds(kinds_);
    s.includeSidecars = includeSidecars();
    s.includeProxies = includeProxies();
    s.photoFormats = photoFormats_;
    s.includeCameraData = false;
    return s;
}

bool AppModel::canCheck() const {
    return source_ && !destinations_.empty() && !kinds_.empty() && phase_ != Phase::Checking && !copying();
}

bool AppModel::canScan() const {
    return source_ && !kinds_.empty() && phase_ != Phase::Checking && !copying();
}

void AppModel::setSavedCard(SavedCard state, CardChanges changes) {
    if (state == savedCard_ && changes == savedChanges_) return;
    // Only a card that is here is watched, and only its mount is the result's card.
    if (state == SavedCard::notInserted || state == SavedCard::another || state == SavedCard::cannotTell) {
        stopWatchingCard();
        cardMount_.reset();
    }
    const bool away = savedCardAway();
    savedCard_ = state;
    savedChanges_ = changes;
    std::vector<char> gone(state == SavedCard::changed && report_ ? report_->files.size() : 0, 0);
    for (int64_t at : changes.gone)
        if (at >= 0 && size_t(at) < gone.size()) gone[size_t(at)] = 1;
    if (gone != gone_) {
        gone_ = std::move(gone);
        fileRows_.goneChanged();
    }
    emit savedCardChanged();
    // The card's volume facts are shown only of the card the result checked.
    if (away != savedCardAway() && source_) emit volumeInfoReady(present::pathKey(*source_));
    emitComputed();
}

bool AppModel::savedCardAway() const {
    switch (savedCard_) {
        case SavedCard::none:
        case SavedCard::unchanged:
        case SavedCard::changed:
            return false;
        case SavedCard::looking:
        case SavedCard::notInserted:
        case SavedCard::another:
        case SavedCard::cannotTell:
            return true;
    }
    return true;
}

bool AppModel::savedCardNotHere() const {
    return savedCard_ == SavedCard::notInserted || savedCard_ == SavedCard::another ||
           savedCard_ == SavedCard::cannotTell;
}

bool AppModel::savedCardAllowsFormat() const {
    return (savedCard_ == SavedCard::none || savedCard_ == SavedCard::unchanged) && cardLooked_;
}

bool AppModel::showsReadyToFormat() const {
    return report_ && report_->readyToFormat() && savedCardAllowsFormat();
}

bool AppModel::canEjectSource() const {
    if (!report_ || copying() || savedCardAway()) return false;
    const VolumeInfo& card = report_->source;
    // A mount of part of a volume is a folder: ejecting it would take the whole volume away.
    if (card.volumePath == "/" || card.showsPart()) return false;
    if (card.isInternal && !card.isRemovable && !card.isLikelyCameraCard) return false;
    // Still mounted: listed (as that very mount: another card at its place is not ejected in its
    // name), or at least a mount point of the mount table. A folder that merely exists proves
    // nothing: a mount-point folder outlives its unplugged drive.
    const VolumeInfo& mount = cardMount_ ? *cardMount_ : card;
    for (const auto& v : volumes_)
        if (v.volumePath == mount.volumePath) return sameMount(v, mount);
    return mountPoints_.count(mount.volumePath) > 0;
}

std::vector<VolumeInfo> AppModel::suggestedCards() const {
    std::vector<VolumeInfo> out;
    for (const auto& v : volumes_) {
        if (!offerable(v)) continue;
        if (source_ && *source_ == v.volumePath) continue;
        if (std::find(destinations_.begin(), destinations_.end(), v.volumePath) != destinations_.end())
            continue;
        out.push_back(v);
    }
    return out;
}

QVariantList AppModel::suggestedCardList() const {
    QVariantList out;
    for (const auto& v : suggestedCards()) out << volumeMap(v);
    return out;
}

const FileResult* AppModel::selectedFile() const {
    return selectedFileID_ ? fileByID(*selectedFileID_) : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Work off the GUI thread

void AppModel::post(const std::shared_ptr<Alive>& alive, std::function<void(AppModel&)> apply) {
    std::lock_guard<std::mutex> hold(alive->lock);
    if (!alive->model) return;
    AppModel* model = alive->model;
    QMetaObject::invokeMethod(
        model, [model, apply = std::move(apply)] { apply(*model); }, Qt::QueuedConnection);
}

std::vector<std::string> unresolvedAmong(const std::set<std::string>& unresolved,
                                         const std::vector<std::string>& backups) {
    std::vector<std::string> out;
    for (const auto& b : backups)
        if (unresolved.count(b)) out.push_back(b);
    return out;
}

void noteNotConnected(VerifyReport& report, const std::vector<std::string>& backups) {
    for (const auto& b : backups)
        report.problems.push_back("Can't read " + repairUtf8(b) + ": its drive is not connected");
}

void ModelWorkers::begin() {
    std::lock_guard<std::mutex> hold(lock_);
    ++running_;
}

void ModelWorkers::end() {
    std::lock_guard<std::mutex> hold(lock_);
    if (--running_ == 0) none_.notify_all();
}

void ModelWorkers::waitUntilNone() const {
    std::unique_lock<std::mutex> hold(lock_);
    none_.wait(hold, [this] { return running_ == 0; });
}

void AppModel::startWorker(QThreadPool* pool, std::function<void()> work) {
    // Counted from the moment it is queued: waiting for none to run waits for it too.
    workers_->begin();
    pool->start([workers = workers_, work = std::move(work)] {
        work();
        workers->end();
    });
}

void AppModel::runOffGui(std::function<std::function<void(AppModel&)>()> work, QThreadPool* pool) {
    ++pending_;
    auto alive = alive_;
    startWorker(pool ? pool : pool_, [alive, work = std::move(work)] {
        std::function<void(AppModel&)> apply = work();
        post(alive, [apply = std::move(apply)](AppModel& m) {
            --m.pending_;
            if (apply) apply(m);
        });
    });
}

std::shared_ptr<IVerifier> AppModel::makeVerifier(VerifyRequest request) {
    std::shared_ptr<IVerifier> made = deps_.verifierFactory(std::move(request));
    // Said from the check's first such open on, by the check or pass still running.
    made->setOnCardAccessTimes([alive = alive_, weak = std::weak_ptr<IVerifier>(made)](CardAccessTimes what) {
        post(alive, [weak, what](AppModel& m) {
            auto v = weak.lock();
            if (!v) return;
            if (m.verifier_ == v) m.noteCardTouched(v->request().source, what);
            // The pass reads the card of the result it was started over.
            if (m.deepVerifier_ == v && m.report_) m.noteCardTouched(m.report_->source.path, what);
        });
    });
    return made;
}

void setUpAllocator() {
    mallopt(M_ARENA_MAX, 2);
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
}

void AppModel::giveBack(std::shared_ptr<void> spent) {
    if (spent) spent_.push_back(std::move(spent));
    if (givingBack_ || shutDown_) return;
    givingBack_ = true;
    QTimer::singleShot(0, this, [this] {
        givingBack_ = false;
        if (shutDown_) return;  // what is spent goes with the model
        // A check's scratch was freed on the threads that made it, each with an allocator arena of
        // its own that keeps its free pages for a next use that may never come on that thread:
        // every check would leave the process holding a few hundred megabytes more.
        startWorker(backgroundPool_, [spent = std::exchange(spent_, {})]() mutable {
            spent.clear();
            malloc_trim(0);
        });
    });
}

bool AppModel::waitForIdle(int timeoutMs, int running) {
    QDeadlineTimer deadline(timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                          : QDeadlineTimer(timeoutMs));
    while (true) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        // A listing of the card due shortly after a change is work pending too.
        if (pending_ <= running && passesDue_ == 0 && !cardSoon_.isActive() && !opening_)
            return history_->flush(deadline.isForever() ? -1
                                                        : int(std::max<qint64>(0, deadline.remainingTime())));
        if (deadline.hasExpired()) return false;
        QThread::msleep(1);
    }
}

// ---------------------------------------------------------------------------------------------
// Quitting

void AppModel::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    cancelCheck();
    stopPass();
    stopWatchingCard();
    if (copy_) {
        copy_->cancel();
        if (copy_->waitUntilDone) copy_->waitUntilDone();
        copy_.reset();
    }
    closePreview();
    const int bound = std::max(deps_.shutdownWaitMs, -1);
    history_->flush(bound);
    // Cancelled workers end at their next test of the flag; one stuck in the kernel is not waited
    // for beyond this (the destructor leaves it to the process exit). Nothing the model does by
    // itself (a reading of the volumes, a look at the card) is waited for: it has nothing to keep.
    const QDeadlineTimer deadline(bound);
    const auto left = [&] {
        return deadline.isForever() ? -1 : int(std::max<qint64>(0, deadline.remainingTime()));
    };
    pool_->waitForDone(left());
    bookmarkPool_->waitForDone(left());
    // What finished meanwhile is applied now (a bookmark made for a backup chosen just before
    // quitting still reaches the settings); checks and passes are no longer current and drop out.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

}  // namespace halvetrop

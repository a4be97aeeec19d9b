#include "model/AppModel.h"
#include "model/CopySheet.h"
#include "model/WriteAll.h"

#include "model/FileList.h"
#include "model/History.h"
#include "platform/MountInfo.h"
#include "text/Utf8.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QFileInfo>
#include <QPointer>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThreadPool>

#include <chrono>
#include <filesystem>
#include <limits>

namespace halvetrop {

namespace {

constexpr int64_t kProgressIntervalNs = 50'000'000;  // a check publishes at most 20 a second
constexpr int64_t kDeepProgressIntervalNs = 100'000'000;
constexpr int kFoldIntervalMs = 400;
constexpr int kShutdownWaitMs = 5000;

int64_t monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Lets one progress report through per interval, and always the last one (stage done). Several
// worker threads may ask at once; losing the race lets at most one extra report through.
class Throttle {
public:
    explicit Throttle(int64_t intervalNs) : interval_(intervalNs) {}
    bool admit(const VerifyProgress& p) {
        int64_t now = monotonicNs();
        if (p.stage != VerifyProgress::Stage::done &&
            now - last_.load(std::memory_order_relaxed) <= interval_)
            return false;
        last_.store(now, std::memory_order_relaxed);
        return true;
    }

private:
    const int64_t interval_;
    std::atomic<int64_t> last_{std::numeric_limits<int64_t>::min() / 2};
};

// Per-file results of a pass, filled by the verifier's workers and emptied by the fold.
class LiveBuffer {
public:
    void append(const FileResult& r) {
        std::lock_guard<std::mutex> hold(lock_);
        items_.push_back(r);
    }
    std::vector<FileResult> takeAll() {
        std::vector<FileResult> out;
        std::lock_guard<std::mutex> hold(lock_);
        out.swap(items_);
        return out;
    }

private:
    std::mutex lock_;
    std::vector<FileResult> items_;
};

QString fromBytes(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string toBytes(const QString& s) { return s.toUtf8().toStdString(); }

std::string lastComponent(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return path;
    if (slash + 1 == path.size()) return path == "/" ? path : lastComponent(path.substr(0, slash));
    return path.substr(slash + 1);
}

QVariantMap volumeMap(const VolumeInfo& v) {
    return {{"path", fromBytes(v.path)},       {"volumePath", fromBytes(v.volumePath)},
            {"name", fromBytes(v.name)},       {"fileSystem", fromBytes(v.fileSystem)},
            {"isRemovable", v.isRemovable},    {"isInternal", v.isInternal},
            {"isNetwork", v.isNetwork},        {"isLikelyCameraCard", v.isLikelyCameraCard},
            {"isDiskImage", v.isDiskImage},    {"totalBytes", qint64(v.totalBytes)},
            {"freeBytes", qint64(v.freeBytes)}};
}

QVariantMap progressValue(const VerifyProgress& p) {
    return {{"stage", fromBytes(std::string(rawValue(p.stage)))},
            {"detail", fromBytes(p.detail)},
            {"done", qint64(p.done)},
            {"total", qint64(p.total)},
            {"fraction", p.fraction()}};
}

// A stored value that must be a whole number; nothing for anything else ("2.5", "two", a list).
std::optional<int64_t> storedInteger(const QVariant& v) {
    bool ok = false;
    int64_t n = 0;
    if (v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray)
        n = v.toString().trimmed().toLongLong(&ok);
    else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong ||
             v.typeId() == QMetaType::UInt || v.typeId() == QMetaType::ULongLong)
        n = v.toLongLong(&ok);
    return ok ? std::optional<int64_t>(n) : std::nullopt;
}

bool storedBool(const QVariant& v, bool fallback) {
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    if (v.typeId() == QMetaType::QString) {
        QString t = v.toString().trimmed().toLower();
        if (t == "true" || t == "1") return true;
        if (t == "false" || t == "0") return false;
    }
    return fallback;
}

// An INI store reads a one-entry list back as a plain text; both are lists of text here.
std::optional<QStringList> storedTextList(const QVariant& v) {
    if (v.typeId() == QMetaType::QString) return QStringList{v.toString()};
    if (v.typeId() == QMetaType::QStringList) return v.toStringList();
    if (v.typeId() == QMetaType::QVariantList) {
        QStringList out;
        for (const QVariant& item : v.toList()) {
            if (item.typeId() != QMetaType::QString) return std::nullopt;
            out << item.toString();
        }
        return out;
    }
    return std::nullopt;
}

VolumeListing listMountedVolumes() {
    VolumeListing listing;
    listing.volumes = Drives::mountedVolumes();
    for (const MountEntry& m : readMountInfo("/proc")) listing.mountPoints.insert(m.mountPoint);
    return listing;
}

}  // namespace

// Work posted back from the pool reaches the model only while it exists: the destructor clears
// the pointer under the lock, so a worker that outlives the model posts nothing.
struct AppModel::Alive {
    std::mutex lock;
    AppModel* model = nullptr;
};

struct AppModel::Check {
    std::shared_ptr<IVerifier> verifier;
    Throttle throttle{kProgressIntervalNs};
};

struct AppModel::Pass {
    std::shared_ptr<IVerifier> verifier;
    std::vector<std::string> backups;
    LiveBuffer buffer;
    Throttle throttle{kDeepProgressIntervalNs};
};

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

std::string desktopMountRoot() {
    QString user = qEnvironmentVariable("USER");
    QStringList candidates;
    if (!user.isEmpty()) candidates << "/run/media/" + user << "/media/" + user;
    candidates << "/media";
    for (const QString& c : candidates)
        if (QFileInfo(c).isDir()) return toBytes(c);
    return "/";
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

// The window's filter is the file list's, case for case in the same order.
static halvetrop::FileFilter listFilter(AppModel::FileFilter f) {
    return static_cast<halvetrop::FileFilter>(f);
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
      bookmarkPool_(new QThreadPool),
      alive_(std::make_shared<Alive>()) {
    alive_->model = this;
    // Shared with the probes in flight, which may outlive a quit that stopped waiting for them.
    bookmarks_ = std::move(deps_.platform.bookmarks);
    if (!deps_.verifierFactory) deps_.verifierFactory = realVerifierFactory();
    if (!deps_.listVolumes) deps_.listVolumes = listMountedVolumes;
    if (!deps_.describeVolume) deps_.describeVolume = [](const std::string& p) { return Drives::info(p); };
    pool_->setMaxThreadCount(8);
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

    // Stored choices first, without writing them back; then the backups through the ordinary
    // assignment, which rewrites "backups" from what resolved.
    loadSettings();
    history_ = std::make_unique<HistoryStore>(deps_.historyPath.isEmpty() ? HistoryStore::defaultFile()
                                                                          : deps_.historyPath);
    connect(history_.get(), &HistoryStore::changed, this, &AppModel::historyChanged);
    connect(history_.get(), &HistoryStore::loaded, this, &AppModel::historyChanged);
    history_->load();
    refreshVolumes();
    if (deps_.platform.volumeMonitor) {
        QPointer<AppModel> self(this);
        deps_.platform.volumeMonitor->start([self] {
            if (self) self->refreshVolumes();
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
    for (QThreadPool* pool : {pool_, bookmarkPool_})
        if (pool->waitForDone(0)) delete pool;
}

void AppModel::loadSettings() {
    QSettings& s = *settings_;
    // kinds: exact case names; nothing usable gives photo and video.
    kinds_.clear();
    if (auto names = storedTextList(s.value("kinds")))
        for (const QString& n : *names)
            if (auto k = mediaKindFromRaw(toBytes(n))) kinds_.insert(*k);
    if (kinds_.empty()) kinds_ = {MediaKind::photo, MediaKind::video};

    QVariant pf = s.value("photoFormats");
    photoFormats_ = PhotoFormats::all;
    if (pf.typeId() == QMetaType::QString)
        photoFormats_ = photoFormatsFromRaw(toBytes(pf.toString())).value_or(PhotoFormats::all);

    // backups: each entry a bookmark and the path it was made from. The stored paths are the
    // list until the bookmarks are resolved off the GUI thread (they read the mount table and
    // probe devices). One that does not resolve (its drive is not plugged in) keeps its stored
    // path and its bookmark, so the backup stays chosen and is never rebound to whatever now
    // sits at that path.
    struct Stored {
        std::string path;
        QByteArray bookmark;
    };
    std::vector<Stored> stored;
    int n = s.beginReadArray("backups");
    if (n < 0 || n > 10000) n = 0;
    for (int i = 0; i < n; ++i) {
        s.setArrayIndex(i);
        QVariant bm = s.value("bookmark");
        QVariant pv = s.value("path");
        if (pv.typeId() != QMetaType::QByteArray && pv.typeId() != QMetaType::QString) continue;
        auto path = cleanAbsolutePath(pv.toByteArray().toStdString());
        if (!path) continue;
        bool seen = false;
        for (const auto& e : stored) seen = seen || e.path == *path;
        if (seen) continue;
        stored.push_back({*path, bm.typeId() == QMetaType::QByteArray ? bm.toByteArray() : QByteArray()});
        if (!stored.back().bookmark.isEmpty()) knownBookmarks_[*path] = stored.back().bookmark;
    }
    s.endArray();
    std::vector<std::string> paths;
    for (const auto& e : stored) paths.push_back(e.path);
    setDestinations(paths);

    std::shared_ptr<Bookmarks> bookmarks = bookmarks_;
    runOffGui(
        [stored, paths, bookmarks] {
            std::vector<std::optional<std::string>> resolved;
            for (const auto& e : stored) {
                std::optional<std::string> r;
                if (!e.bookmark.isEmpty())
                    if (auto got = bookmarks->resolve(e.bookmark)) r = cleanAbsolutePath(*got);
                resolved.push_back(r);
            }
            return std::function<void(AppModel&)>([paths, resolved](AppModel& m) {
                if (m.destinations_ != paths) return;  // the user changed the list meanwhile
                std::vector<std::string> next;
                for (size_t i = 0; i < paths.size(); ++i) {
                    if (resolved[i]) {
                        // The bookmark names the same volume wherever it is mounted now.
                        auto blob = m.knownBookmarks_.find(paths[i]);
                        if (blob != m.knownBookmarks_.end()) m.knownBookmarks_[*resolved[i]] = blob->second;
                        if (std::find(next.begin(), next.end(), *resolved[i]) == next.end())
                            next.push_back(*resolved[i]);
                    } else {
                        m.unresolved_.insert(paths[i]);
                        if (std::find(next.begin(), next.end(), paths[i]) == next.end())
                            next.push_back(paths[i]);
                    }
                }
                m.setDestinations(std::move(next));
            });
        },
        bookmarkPool_);
}

void AppModel::saveDestinations() {
    QSettings& s = *settings_;
    s.remove("backups");
    s.beginWriteArray("backups", int(destinations_.size()));
    for (size_t i = 0; i < destinations_.size(); ++i) {
        const std::string& path = destinations_[i];
        s.setArrayIndex(int(i));
        auto known = knownBookmarks_.find(path);
        s.setValue("bookmark", known != knownBookmarks_.end() ? known->second : QByteArray());
        s.setValue("path", QByteArray::fromStdString(path));
        if (known == knownBookmarks_.end()) requestBookmark(path);
    }
    s.endArray();
    if (destinations_.empty()) s.setValue("backups/size", 0);
    s.sync();
}

void AppModel::resolveAgain() {
    // A volume appeared: a backup remembered from an unplugged drive may be back, perhaps at
    // another mount point.
    std::vector<std::pair<std::string, QByteArray>> wanted;
    for (const auto& path : unresolved_)
        if (auto blob = knownBookmarks_.find(path); blob != knownBookmarks_.end())
            wanted.emplace_back(path, blob->second);
    std::shared_ptr<Bookmarks> bookmarks = bookmarks_;
    runOffGui(
        [wanted, bookmarks] {
            std::map<std::string, std::string> found;
            for (const auto& [path, blob] : wanted)
                if (auto r = bookmarks->resolve(blob))
                    if (auto c = cleanAbsolutePath(*r)) found[path] = *c;
            return std::function<void(AppModel&)>([found](AppModel& m) {
                if (found.empty()) return;
                std::vector<std::string> next;
                for (const auto& d : m.destinations_) {
                    auto f = found.find(d);
                    std::string path = f == found.end() ? d : f->second;
                    if (f != found.end()) {
                        m.unresolved_.erase(d);
                        m.knownBookmarks_[path] = m.knownBookmarks_[d];
                    }
                    if (std::find(next.begin(), next.end(), path) == next.end()) next.push_back(path);
                }
                m.setDestinations(std::move(next));
            });
        },
        bookmarkPool_);
}

void AppModel::requestBookmark(const std::string& path) {
    if (knownBookmarks_.count(path) || unbookmarkable_.count(path) || !bookmarking_.insert(path).second)
        return;
    std::shared_ptr<Bookmarks> bookmarks = bookmarks_;
    runOffGui(
        [path, bookmarks] {
            std::optional<QByteArray> made = bookmarks->make(path);
            return std::function<void(AppModel&)>([path, made](AppModel& m) {
                m.bookmarking_.erase(path);
                if (!made) {
                    m.unbookmarkable_.insert(path);  // stored by its path alone
                    return;
                }
                m.knownBookmarks_[path] = *made;
                if (std::find(m.destinations_.begin(), m.destinations_.end(), path) != m.destinations_.end())
                    m.saveDestinations();
            });
        },
        bookmarkPool_);
}

int64_t AppModel::requiredCopies() const {
    // Below 1 or not a number reads as 2, above 3 as 3: no stored value makes an uncopied card
    // safe, and none makes the rule looser than the Settings window can.
    auto n = storedInteger(settings_->value("requiredCopies"));
    if (!n || *n < 1) return 2;
    return std::min<int64_t>(*n, 3);
}

bool AppModel::includeSidecars() const { return storedBool(settings_->value("includeSidecars"), false); }
bool AppModel::includeProxies() const { return storedBool(settings_->value("includeProxies"), false); }

// ---------------------------------------------------------------------------------------------
// Fields

QString AppModel::sourceText() const { return source_ ? fromBytes(*source_) : QString(); }
QString AppModel::sourceName() const { return source_ ? fromBytes(lastComponent(*source_)) : QString(); }

QStringList AppModel::destinationTexts() const {
    QStringList out;
    for (const auto& d : destinations_) out << fromBytes(d);
    return out;
}

void AppModel::setDestinations(std::vector<std::string> paths) {
    destinations_ = std::move(paths);
    saveDestinations();
    emit destinationsChanged();
    emitComputed();
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

QString AppModel::folderFilterText() const { return folderFilter_ ? fromBytes(*folderFilter_) : QString(); }
void AppModel::setFolderFilterText(const QString& folder) {
    setFolderFilter(folder.isEmpty() ? std::nullopt : std::optional<std::string>(toBytes(folder)));
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

void AppModel::setReport(std::optional<VerifyReport> report) {
    report_ = std::move(report);
    filesByID_ = report_ ? FileIndex(*report_) : FileIndex();
    fileRows_.setReport(report_ ? &*report_ : nullptr, visible_);
    emit reportChanged();
    emit filesByIDChanged();
    emitComputed();
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
    emit suggestedCardsChanged();
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

bool AppModel::canEjectSource() const {
    if (!report_ || copying()) return false;
    const VolumeInfo& card = report_->source;
    if (card.volumePath == "/") return false;
    if (card.isInternal && !card.isRemovable && !card.isLikelyCameraCard) return false;
    // Still mounted: listed, or at least a mount point of the mount table. A folder that merely
    // exists proves nothing: a mount-point folder outlives its unplugged drive.
    for (const auto& v : volumes_)
        if (v.volumePath == card.volumePath) return true;
    return mountPoints_.count(card.volumePath) > 0;
}

std::vector<VolumeInfo> AppModel::suggestedCards() const {
    std::vector<VolumeInfo> out;
    for (const auto& v : volumes_) {
        if (!(v.isRemovable || v.isLikelyCameraCard) || v.isDiskImage || v.volumePath == "/") continue;
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

namespace {

// A backup whose drive was not found at start is still checked at its remembered path, where an
// empty mount-point folder may stand in for it: every report of it must say it was not read.
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

}  // namespace

void AppModel::runOffGui(std::function<std::function<void(AppModel&)>()> work, QThreadPool* pool) {
    ++pending_;
    auto alive = alive_;
    (pool ? pool : pool_)->start([alive, work = std::move(work)] {
        std::function<void(AppModel&)> apply = work();
        post(alive, [apply = std::move(apply)](AppModel& m) {
            --m.pending_;
            if (apply) apply(m);
        });
    });
}

std::shared_ptr<IVerifier> AppModel::makeVerifier(VerifyRequest request) {
    return deps_.verifierFactory(std::move(request));
}

bool AppModel::waitForIdle(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (true) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (pending_ == 0) return history_->flush(int(std::max<qint64>(0, deadline.remainingTime())));
        if (deadline.hasExpired()) return false;
        QThread::msleep(1);
    }
}

// ---------------------------------------------------------------------------------------------
// Running a check

void AppModel::check(const QString& level) {
    check(level.isEmpty() ? std::nullopt : checkLevelFromRaw(toBytes(level)));
}

void AppModel::check(std::optional<CheckLevel> level) {
    if (!source_ || (!cardOnly_ && destinations_.empty()) || kinds_.empty()) return;
    if (copying() || shutDown_) return;
    std::vector<std::string> backups = cardOnly_ ? std::vector<std::string>() : destinations_;
    if (level == CheckLevel::verified && report_ && phase_ == Phase::Results) {
        startDeepVerify();
        return;
    }
    level_ = CheckLevel::standard;
    emit levelChanged();
    stopPass();
    if (verifier_) verifier_->cancel();

    std::vector<std::string> open{*source_};
    open.insert(open.end(), backups.begin(), backups.end());
    access_.begin(open);

    const std::vector<std::string> notConnected = unresolvedAmong(unresolved_, backups);

    VerifyRequest request(*source_, backups);
    request.scope = scope();
    request.level = level_;
    request.requiredCopies = requiredCopies();
    auto check = std::make_shared<Check>();
    check->verifier = makeVerifier(std::move(request));
    auto v = check->verifier;
    verifier_ = v;
    setProgress(VerifyProgress{VerifyProgress::Stage::scanningSource, lastComponent(*source_), 0, 0});
    setPhase(Phase::Checking);

    auto alive = alive_;
    std::weak_ptr<Check> weakCheck = check;
    v->setOnProgress([alive, weakCheck](const VerifyProgress& p) {
        auto c = weakCheck.lock();
        if (!c || !c->throttle.admit(p)) return;
        std::weak_ptr<IVerifier> wv = c->verifier;
        post(alive, [wv, p](AppModel& m) {
            if (auto v = wv.lock(); v && m.verifier_ == v) m.setProgress(p);
        });
    });
    runOffGui([check, notConnected] {
        std::function<void(AppModel&)> apply;
        auto v = check->verifier;
        try {
            VerifyReport r = v->run();
            noteNotConnected(r, notConnected);
            apply = [v, r = std::move(r)](AppModel& m) mutable {
                m.applyCheckOutcome(v, std::move(r), {}, {});
            };
        } catch (const VerifyError& e) {
            apply = [v, e](AppModel& m) { m.applyCheckOutcome(v, {}, e, {}); };
        } catch (const std::exception& e) {
            QString text = QString::fromUtf8(e.what());
            apply = [v, text](AppModel& m) { m.applyCheckOutcome(v, {}, {}, text); };
        }
        return apply;
    });
}

void AppModel::applyCheckOutcome(const std::shared_ptr<IVerifier>& v, std::optional<VerifyReport> report,
                                 std::optional<VerifyError> error, QString otherFailure) {
    if (verifier_ != v) return;  // superseded: a newer check, a reset, an opened history entry
    verifier_.reset();
    if (report) {
        finish(std::move(*report), true);
    } else if (error && error->kind() == VerifyError::Kind::cancelled) {
        setPhase(report_ ? Phase::Results : Phase::Setup);
    } else {
        setPhase(Phase::Failed, error ? fromBytes(error->description()) : otherFailure);
    }
}

void AppModel::finish(VerifyReport r, bool record) {
    setReport(std::move(r));
    const VerifyReport& shown = *report_;
    if (record) this->record(shown);
    if (selectedFileID_ && !fileByID(*selectedFileID_)) setSelectedFileID(-1);
    if (record && shown.level == CheckLevel::standard && shown.totals.covered() >= 1 &&
        !shown.files.empty()) {
        // After finish has returned, and only if nothing replaced this result meanwhile.
        QPointer<AppModel> self(this);
        uint64_t serial = ++finishSerial_;
        QTimer::singleShot(0, this, [self, serial] {
            if (self && self->finishSerial_ == serial && !self->verifier_) self->startDeepVerify();
        });
    }
    if (groupFilter_) {
        std::optional<ShootGroup> same;
        std::string id = groupFilter_->id();
        for (const auto& g : shown.groups)
            if (g.id() == id) same = g;
        groupFilter_ = std::move(same);
        emit groupFilterChanged();
    }
    refilter();
    setPhase(Phase::Results);
}

void AppModel::resetResults() {
    stopPass();
    cancelCheck();
    ++finishSerial_;
    setReport(std::nullopt);
    visible_.clear();
    emit visibleFilesChanged();
    groupFilter_.reset();
    emit groupFilterChanged();
    folderFilter_.reset();
    emit folderFilterChanged();
    setSelectedFileID(-1);
    setPhase(Phase::Setup);
}

void AppModel::stopCheck() {
    if (verifier_) verifier_->cancel();
}

void AppModel::cancelCheck() {
    if (verifier_) verifier_->cancel();
    verifier_.reset();
}

void AppModel::checkAnotherCard(int suggestedIndex) {
    if (copying()) return;
    auto cards = suggestedCards();
    std::optional<std::string> start;
    if (suggestedIndex >= 0 && suggestedIndex < int(cards.size()))
        start = cards[size_t(suggestedIndex)].volumePath;
    else if (!cards.empty())
        start = cards.front().volumePath;
    newCard_.reset();
    emit newCardChanged();
    chooseSource(start ? fromBytes(*start) : QString(), true);
}

void AppModel::checkAgainstBackup(bool adding) {
    if (!source_ || copying()) return;
    QString name = sourceName();
    if (!QFileInfo::exists(sourceText())) {
        QString n = report_ ? fromBytes(report_->source.name) : name;
        show("Insert " + n + " to check it against another backup.", false);
        return;
    }
    QString title = adding ? "Add backups and check " + name + " again"
                           : "Choose the backup to check " + name + " against";
    std::string root = deps_.mountRoot ? *deps_.mountRoot : desktopMountRoot();
    std::vector<std::string> picked;
    for (const auto& p : deps_.platform.folderPicker->pickFolder(title, QStringLiteral("Check"), root, true))
        if (auto c = cleanAbsolutePath(p); c && *c != *source_) picked.push_back(*c);
    if (picked.empty()) return;
    if (adding) {
        for (const auto& p : picked)
            if (std::find(destinations_.begin(), destinations_.end(), p) == destinations_.end()) {
                auto next = destinations_;
                next.push_back(p);
                setDestinations(std::move(next));
            }
    } else {
        std::vector<std::string> unique;
        for (auto& p : picked)
            if (std::find(unique.begin(), unique.end(), p) == unique.end()) unique.push_back(p);
        setDestinations(std::move(unique));
    }
    setCardOnly(false);
    check(std::optional<CheckLevel>());
}

// ---------------------------------------------------------------------------------------------
// The byte-by-byte pass

void AppModel::stopPass() {
    if (deepVerifier_) deepVerifier_->cancel();
    deepVerifier_.reset();
    pass_.reset();
    drainTimer_.stop();
    if (deepVerifying_) setDeepVerifying(false);
}

void AppModel::stopDeepVerify() { stopPass(); }

void AppModel::startDeepVerify() {
    if (!report_ || !source_ || destinations_.empty() || report_->totals.covered() < 1) return;
    if (copying() || shutDown_) return;
    stopPass();
    std::vector<std::string> open{*source_};
    open.insert(open.end(), destinations_.begin(), destinations_.end());
    access_.begin(open);

    VerifyRequest request(*source_, destinations_);
    request.scope = report_->scope;
    request.requiredCopies = requiredCopies();
    request.level = CheckLevel::verified;
    auto pass = std::make_shared<Pass>();
    pass->backups = destinations_;
    pass->verifier = makeVerifier(std::move(request));
    auto v = pass->verifier;
    pass_ = pass;
    deepVerifier_ = v;
    setDeepVerifying(true);
    deepProgress_ = VerifyProgress{VerifyProgress::Stage::scanningSource, "", 0, report_->totals.covered()};
    emit deepProgressChanged();

    auto alive = alive_;
    std::weak_ptr<Pass> weakPass = pass;
    v->setOnProgress([alive, weakPass](const VerifyProgress& p) {
        auto ps = weakPass.lock();
        if (!ps || !ps->throttle.admit(p)) return;
        std::weak_ptr<IVerifier> wv = ps->verifier;
        post(alive, [wv, p](AppModel& m) {
            if (auto v = wv.lock(); v && m.deepVerifier_ == v) {
                m.deepProgress_ = p;
                emit m.deepProgressChanged();
            }
        });
    });
    v->setOnFileResult([weakPass](const FileResult& r) {
        if (auto ps = weakPass.lock()) ps->buffer.append(r);
    });
    drainTimer_.start();
    runOffGui([v, notConnected = unresolvedAmong(unresolved_, destinations_)] {
        std::optional<VerifyReport> report;
        try {
            report = v->run();
            noteNotConnected(*report, notConnected);
        } catch (const std::exception&) {
            // A failed or cancelled pass shows nothing; the folded statuses stay.
        }
        return std::function<void(AppModel&)>([v, report = std::move(report)](AppModel& m) mutable {
            m.applyPassOutcome(v, std::move(report));
        });
    });
}

void AppModel::applyPassOutcome(const std::shared_ptr<IVerifier>& v, std::optional<VerifyReport> report) {
    if (deepVerifier_ != v) return;
    deepVerifier_.reset();
    pass_.reset();
    drainTimer_.stop();
    setDeepVerifying(false);
    if (report) finish(std::move(*report), true);
}

void AppModel::drainPass() {
    if (!pass_ || deepVerifier_ != pass_->verifier) {
        drainTimer_.stop();
        return;
    }
    auto batch = pass_->buffer.takeAll();
    if (!batch.empty()) applyLive(batch, pass_->backups);
}

void AppModel::applyLive(const std::vector<FileResult>& batch, const std::vector<std::string>& passBackups) {
    // Copies name backups by position: results of a pass over other backups (or the same ones
    // in another order) would credit the wrong drives, so they are not folded at all.
    if (!report_ || !sameBackups(*report_, passBackups)) return;
    LiveFold fold = foldLive(*report_, batch);
    if (fold.changed.empty() && !fold.safeRevoked) return;
    fileRows_.reportDataChanged();
    emit reportChanged();
    emit filesByIDChanged();
    emitComputed();
    refilter();
}

// ---------------------------------------------------------------------------------------------
// History

void AppModel::record(const VerifyReport& report) {
    if (!source_) return;
    // Bookmarks are made in the background when card and backups are chosen; one not made yet
    // (a check faster than the probe) is made here.
    auto bookmark = [&](const std::string& path) -> std::optional<QByteArray> {
        auto known = knownBookmarks_.find(path);
        if (known != knownBookmarks_.end()) return known->second;
        if (unbookmarkable_.count(path)) return std::nullopt;
        auto made = bookmarks_->make(path);
        if (made) knownBookmarks_[path] = *made;
        return made;
    };
    std::optional<QByteArray> sourceBookmark = bookmark(*source_);
    std::vector<QByteArray> backups;
    if (!report.isCardOnly())
        for (const auto& d : destinations_)
            if (auto b = bookmark(d)) backups.push_back(*b);
    history_->record(makeHistoryItem(report, sourceBookmark, std::move(backups)));
}

void AppModel::showHistory(const QString& id) {
    const HistoryItem* item = history_->find(QUuid::fromString(id));
    if (!item) return;
    HistoryItem saved = *item;
    stopPass();
    cancelCheck();
    // The saved result shows at once, on the saved card path; the bookmarks are resolved off the
    // GUI thread and then name where card and backups are mounted now.
    source_ = cleanAbsolutePath(saved.report->source.path);
    emit sourceChanged();
    setCardOnly(saved.report->isCardOnly());
    access_.begin(source_ ? std::vector<std::string>{*source_} : std::vector<std::string>());
    groupFilter_.reset();
    emit groupFilterChanged();
    folderFilter_.reset();
    emit folderFilterChanged();
    setSelectedFileID(-1);
    ++finishSerial_;
    finish(*saved.report, false);

    uint64_t serial = finishSerial_;
    std::shared_ptr<Bookmarks> bookmarks = bookmarks_;
    runOffGui(
        [saved, bookmarks, serial] {
            std::optional<std::string> card;
            if (saved.sourceBookmark)
                if (auto r = bookmarks->resolve(*saved.sourceBookmark)) card = cleanAbsolutePath(*r);
            std::vector<std::string> backups;
            for (const auto& b : saved.destinationBookmarks)
                if (auto r = bookmarks->resolve(b))
                    if (auto c = cleanAbsolutePath(*r)) backups.push_back(*c);
            return std::function<void(AppModel&)>([card, backups, serial](AppModel& m) {
                if (m.finishSerial_ != serial) return;  // another result is shown by now
                if (card && card != m.source_) {
                    m.source_ = card;
                    emit m.sourceChanged();
                }
                if (!backups.empty()) m.setDestinations(backups);
                std::vector<std::string> open;
                if (m.source_) open.push_back(*m.source_);
                open.insert(open.end(), backups.begin(), backups.end());
                m.access_.begin(open);
                m.emitComputed();
            });
        },
        bookmarkPool_);
}

void AppModel::forget(const QString& id) { history_->forget(QUuid::fromString(id)); }

// ---------------------------------------------------------------------------------------------
// Card, backups, volumes

void AppModel::chooseSource(const QString& startingAt, bool autoCheck) {
    QString prompt = autoCheck && !destinations_.empty() ? QStringLiteral("Check") : QStringLiteral("Choose");
    std::optional<std::string> start;
    if (!startingAt.isEmpty()) start = toBytes(startingAt);
    auto picked = deps_.platform.folderPicker->pickFolder(
        QStringLiteral("Choose the card, drive or folder to check"), prompt, start, false);
    if (picked.empty()) return;
    setSource(picked.front());
    if (!autoCheck) return;
    if (cardOnly_ ? canScan() : canCheck()) check(std::optional<CheckLevel>());
}

void AppModel::chooseBackups() {
    auto picked = deps_.platform.folderPicker->pickFolder(QStringLiteral("Choose backup drives or folders"),
                                                          QStringLiteral("Add Backup"), std::nullopt, true);
    if (!picked.empty()) addBackups(picked);
}

void AppModel::setSource(const std::string& path) {
    auto clean = cleanAbsolutePath(path);
    if (!clean) return;
    source_ = clean;
    emit sourceChanged();
    requestBookmark(*clean);
    if (std::find(destinations_.begin(), destinations_.end(), *clean) != destinations_.end()) {
        auto next = destinations_;
        std::erase(next, *clean);
        setDestinations(std::move(next));
    }
    resetResults();
}

void AppModel::addBackups(const std::vector<std::string>& paths) {
    for (const auto& p : paths) {
        auto clean = cleanAbsolutePath(p);
        if (!clean || (source_ && *clean == *source_)) continue;
        if (std::find(destinations_.begin(), destinations_.end(), *clean) != destinations_.end()) continue;
        auto next = destinations_;
        next.push_back(*clean);
        setDestinations(std::move(next));
    }
    resetResults();
}

void AppModel::removeBackup(const std::string& path) {
    auto clean = cleanAbsolutePath(path);
    auto next = destinations_;
    if (clean) std::erase(next, *clean);
    setDestinations(std::move(next));
    resetResults();
}

void AppModel::setSourceUrl(const QUrl& url) {
    if (url.isLocalFile()) setSource(toBytes(url.toLocalFile()));
}

void AppModel::addBackupUrls(const QList<QUrl>& urls) {
    std::vector<std::string> paths;
    for (const QUrl& u : urls)
        if (u.isLocalFile()) paths.push_back(toBytes(u.toLocalFile()));
    addBackups(paths);
}

void AppModel::removeBackupAt(int index) {
    if (index >= 0 && index < int(destinations_.size())) removeBackup(destinations_[size_t(index)]);
}

void AppModel::useSuggestedCard(int index) {
    auto cards = suggestedCards();
    if (index >= 0 && index < int(cards.size())) setSource(cards[size_t(index)].volumePath);
}

void AppModel::refreshVolumes() {
    if (shutDown_) return;
    uint64_t generation = ++volumeGeneration_;
    auto list = deps_.listVolumes;
    runOffGui([generation, list] {
        VolumeListing listing = list();
        return std::function<void(AppModel&)>(
            [generation, listing = std::move(listing)](AppModel& m) mutable {
                m.applyVolumes(generation, std::move(listing));
            });
    });
}

void AppModel::applyVolumes(uint64_t generation, VolumeListing listing) {
    // Listings may finish out of order; one older than the one applied describes a past state.
    if (generation <= appliedVolumeGeneration_) return;
    appliedVolumeGeneration_ = generation;
    std::set<std::string> old;
    for (const auto& v : volumes_) old.insert(v.volumePath);
    bool wasEmpty = volumes_.empty();
    volumes_ = std::move(listing.volumes);
    mountPoints_ = std::move(listing.mountPoints);
    std::set<std::string> now;
    for (const auto& v : volumes_) now.insert(v.volumePath);
    emit volumesChanged();

    if (!wasEmpty && !volumes_.empty()) {
        for (const auto& v : volumes_) {
            if (old.count(v.volumePath) || !(v.isRemovable || v.isLikelyCameraCard) || v.isDiskImage)
                continue;
            newCard_ = v;
            emit newCardChanged();
            break;
        }
    }
    if (newCard_ && !now.count(newCard_->volumePath)) {
        newCard_.reset();
        emit newCardChanged();
    }
    // A description is only as good as its volume: forget those whose volume left.
    std::erase_if(volumeCache_, [&](const auto& entry) {
        const std::string& vp = entry.second.volumePath;
        return !now.count(vp) && !mountPoints_.count(vp);
    });
    emitComputed();
    if (!unresolved_.empty() && !std::includes(old.begin(), old.end(), now.begin(), now.end()))
        resolveAgain();

    std::set<std::string> vanished;
    for (const auto& p : old)
        if (!now.count(p) && p != "/") vanished.insert(p);
    if (!vanished.empty()) sourceVolumeRemoved(vanished);
}

void AppModel::sourceVolumeRemoved(const std::set<std::string>& vanished) {
    if (!source_) return;
    const std::string& card = *source_;
    bool removed = false;
    for (const auto& p : vanished) {
        if ((report_ && p == report_->source.volumePath) || p == card ||
            (card.size() > p.size() && card.compare(0, p.size(), p) == 0 && card[p.size()] == '/'))
            removed = true;
    }
    if (!removed) return;
    QString name = report_ ? fromBytes(report_->source.name) : sourceName();
    if (copy_) {
        // The copy reads the card that is gone; it stops and cleans up on its own thread.
        copy_->cancel();
    }
    if (phase_ == Phase::Checking) {
        if (verifier_) verifier_->cancel();
        show(QStringLiteral("“") + name +
                 QStringLiteral("” was removed during the check. Insert it again to check it."),
             false);
    } else if (report_) {
        show(QStringLiteral("“") + name +
                 QStringLiteral("” ejected — you can remove it. Its result is saved in Recent cards."),
             true);
    }
    access_.release();
    resetResults();
    source_.reset();
    emit sourceChanged();
    emitComputed();
}

void AppModel::clearSource() {
    if (!source_) return;
    source_.reset();
    emit sourceChanged();
    emitComputed();
}

QVariantMap AppModel::volumeInfo(const QString& path) {
    std::string key = toBytes(path);
    if (auto cached = cachedVolumeInfo(key)) return volumeMap(*cached);
    if (describing_.insert(key).second) {
        auto describe = deps_.describeVolume;
        runOffGui([key, describe] {
            std::optional<VolumeInfo> info;
            if (QFileInfo::exists(QString::fromStdString(key))) info = describe(key);
            return std::function<void(AppModel&)>([key, info](AppModel& m) {
                m.describing_.erase(key);
                if (!info) return;  // asked again next time
                m.volumeCache_[key] = *info;
                emit m.volumeInfoReady(fromBytes(key));
            });
        });
    }
    return {};
}

std::optional<VolumeInfo> AppModel::cachedVolumeInfo(const std::string& path) const {
    auto it = volumeCache_.find(path);
    if (it == volumeCache_.end()) return std::nullopt;
    return it->second;
}

void AppModel::show(const QString& text, bool ok) {
    Notice n{text, ok, QUuid::createUuid()};
    notice_ = n;
    emit noticeChanged();
    QUuid id = n.id;
    QTimer::singleShot(ok ? 4000 : 8000, Qt::PreciseTimer, this, [this, id] {
        if (notice_ && notice_->id == id) dismissNotice();
    });
}

void AppModel::dismissNotice() {
    notice_.reset();
    emit noticeChanged();
}

void AppModel::dismissNewCard() {
    newCard_.reset();
    emit newCardChanged();
}

void AppModel::ejectSource() {
    if (!report_ || !canEjectSource() || ejecting_ || !deps_.platform.ejector) return;
    if (verifier_) verifier_->cancel();
    stopPass();
    closePreview();
    ejecting_ = true;
    emit ejectingChanged();
    std::string volume = report_->source.volumePath;
    QString name = fromBytes(report_->source.name);
    QPointer<AppModel> self(this);
    deps_.platform.ejector->eject(volume, [self, name](std::optional<QString> reason) {
        if (!self) return;
        self->ejecting_ = false;
        emit self->ejectingChanged();
        if (reason)
            self->show("Couldn't eject “" + name + "”: " + *reason +
                           ". Close anything using the card and try again.",
                       false);
        else
            self->refreshVolumes();
    });
}

// ---------------------------------------------------------------------------------------------
// Files

void AppModel::refilter() {
    if (!report_) {
        visible_.clear();
    } else {
        FileQuery q;
        q.filter = listFilter(filter_);
        q.search = search_;
        q.folderFilter = folderFilter_;
        q.groupFilter = groupFilter_ ? &*groupFilter_ : nullptr;
        visible_ = filesByID_.refilter(*report_, q);
    }
    fileRows_.setVisible(visible_);
    emit visibleFilesChanged();
}

void AppModel::showFiles(const QString& groupID, bool onlyMissing) {
    setGroupFilterID(groupID);
    setFolderFilter(std::nullopt);
    setFilter(onlyMissing ? FileFilter::NotBackedUp : FileFilter::All);
    setMode(Mode::Files);
}

void AppModel::backToShoots() {
    groupFilter_.reset();
    emit groupFilterChanged();
    folderFilter_.reset();
    emit folderFilterChanged();
    filter_ = FileFilter::All;
    emit filterChanged();
    search_.clear();
    emit searchChanged();
    refilter();
    setMode(Mode::Shoots);
}

QList<qint64> AppModel::copyableIDs(const QList<qint64>& ids) const {
    QList<qint64> out;
    if (!report_) return out;
    std::vector<int64_t> in(ids.begin(), ids.end());
    for (int64_t id : halvetrop::copyableIDs(*report_, filesByID_, in)) out << id;
    return out;
}

void AppModel::requestCopy(const QList<qint64>& ids, const QString& title) {
    QList<qint64> ok = copyableIDs(ids);
    if (ok.isEmpty() || copying()) return;
    stopPass();
    copyRequest_ = CopyRequest{QUuid::createUuid(), std::vector<int64_t>(ok.begin(), ok.end()), title};
    if (copySheet_) copySheet_->deleteLater();
    CopySheetDeps sheetDeps;
    sheetDeps.describeVolume = deps_.describeVolume;
    copySheet_ = new CopySheet(*this, *report_, *copyRequest_, *settings_, std::move(sheetDeps), this);
    emit copyRequestChanged();
}

void AppModel::requestCopyAllMissing() {
    if (!report_) return;
    QList<qint64> all;
    for (int64_t id : allFileIDs(*report_)) all << id;
    requestCopy(all, copyAllMissingTitle());
}

void AppModel::clearCopyRequest() {
    copyRequest_.reset();
    // Later: the sheet itself may be asking.
    if (copySheet_) copySheet_->deleteLater();
    copySheet_ = nullptr;
    emit copyRequestChanged();
}

void AppModel::revealPaths(const QStringList& paths) {
    if (!deps_.platform.reveal || paths.isEmpty()) return;
    std::vector<std::string> list;
    for (const QString& p : paths) list.push_back(p.toStdString());
    deps_.platform.reveal->reveal(list);
}

void AppModel::openFolder(const QString& path) {
    // A local file's URL: a path with "#" or "?" stays the path it is.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        show(QStringLiteral("The folder couldn\u2019t be opened: ") + path, false);
}

void AppModel::saveLastCopyCSV() {
    auto record = lastCopy_.value<std::shared_ptr<const present::CopyReport>>();
    if (!record || !deps_.platform.savePicker) return;
    auto target = deps_.platform.savePicker->saveFile(QString(), fromBytes(record->suggestedFileName()),
                                                      QStringLiteral("CSV (*.csv)"));
    if (!target) return;
    QSaveFile out(fromBytes(*target));
    if (!out.open(QIODevice::WriteOnly) || !writeAll(out, record->csv()) || !out.commit())
        show(QStringLiteral("The report couldn\u2019t be saved: ") + out.errorString(), false);
}

QStringList AppModel::photoAppNames() const {
    QStringList names;
    for (const auto& a : photoApps_) names << fromBytes(a.name);
    return names;
}

void AppModel::handOff(int app) {
    auto record = lastCopy_.value<std::shared_ptr<const present::CopyReport>>();
    if (!record || app < 0 || size_t(app) >= photoApps_.size()) return;
    std::vector<std::string> folders;
    for (const auto& f : record->folders) folders.push_back(f.path);
    if (auto failure =
            PhotoApps::open(photoApps_[size_t(app)], record->allCopiedPaths(), folders, record->driveRoot))
        show(fromBytes(*failure), false);
}

void AppModel::chooseCopyLocation() {
    auto* sheet = qobject_cast<CopySheet*>(copySheet_.data());
    if (!sheet || !deps_.platform.folderPicker) return;
    auto picked =
        deps_.platform.folderPicker->pickFolder(QStringLiteral("Choose where to save the copies"),
                                                QStringLiteral("Save Here"), sheet->locationStart(), false);
    if (!picked.empty() && sheet == copySheet_.data()) sheet->pickFolder(fromBytes(picked.front()));
}

void AppModel::exportCSV() {
    if (!report_ || !deps_.platform.savePicker) return;
    QString suggested = csvFileName(*report_, QDate::currentDate(), QLocale());
    auto target = deps_.platform.savePicker->saveFile(QString(), suggested, QStringLiteral("CSV (*.csv)"));
    // The report shown when the user confirmed, which a fold may have changed meanwhile.
    if (!target || !report_) return;
    if (auto failure = writeCSV(*report_, fromBytes(*target))) show(failure->noticeText(), false);
}

QUrl AppModel::sourceURL(qint64 fileID) const {
    const FileResult* f = fileByID(fileID);
    if (!f) return {};
    return QUrl::fromLocalFile(fromBytes(report_->absolutePath(*f)));
}

QUrl AppModel::copyURL(qint64 fileID) const {
    const FileResult* f = fileByID(fileID);
    if (!f || f->copies.empty()) return {};
    const CopyRef& c = f->copies.front();
    if (c.destination < 0 || size_t(c.destination) >= report_->destinations.size()) return {};
    return QUrl::fromLocalFile(fromBytes(report_->absolutePath(c)));
}

void AppModel::quickLook(qint64 fileID) {
    if (previewOpen_) {
        closePreview();
        return;
    }
    const FileResult* f = fileByID(fileID);
    if (!f) return;
    QList<QUrl> urls;
    for (const std::string& p : previewPaths(*report_, *f))
        if (QFileInfo::exists(fromBytes(p))) urls << QUrl::fromLocalFile(fromBytes(p));
    if (urls.isEmpty()) return;
    previewUrls_ = urls;
    previewOpen_ = true;
    emit previewChanged();
}

void AppModel::closePreview() {
    // Also before an eject: a pending text read and the player's file would keep the card busy.
    fileRows_.releasePreview();
    if (!previewOpen_ && previewUrls_.isEmpty()) return;
    previewOpen_ = false;
    previewUrls_.clear();
    emit previewChanged();
}

void AppModel::reveal(qint64 fileID) {
    const FileResult* f = fileByID(fileID);
    if (f && deps_.platform.reveal) deps_.platform.reveal->reveal({report_->absolutePath(*f)});
}

QString AppModel::shootChipText() const {
    return groupFilter_ ? present::shootChipText(*groupFilter_) : QString();
}

void AppModel::revealFiles(const QList<qint64>& ids, bool onBackup) {
    std::vector<std::string> paths;
    for (qint64 id : ids) {
        const FileResult* f = fileByID(id);
        if (!f) continue;
        if (!onBackup) {
            paths.push_back(report_->absolutePath(*f));
        } else if (!f->copies.empty()) {
            const CopyRef& c = f->copies.front();
            if (c.destination >= 0 && size_t(c.destination) < report_->destinations.size())
                paths.push_back(report_->absolutePath(c));
        }
    }
    // The file manager's interface may open an empty window for an empty list.
    if (!paths.empty() && deps_.platform.reveal) deps_.platform.reveal->reveal(paths);
}

// ---------------------------------------------------------------------------------------------
// Copy and quitting

void AppModel::copyStarted(RunningCopy copy) {
    stopPass();
    copy_ = std::move(copy);
    emit copyingChanged();
    emitComputed();
}

void AppModel::copyEnded() {
    copy_.reset();
    emit copyingChanged();
    emitComputed();
}

void AppModel::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    cancelCheck();
    stopPass();
    if (copy_) {
        copy_->cancel();
        if (copy_->waitUntilDone) copy_->waitUntilDone();
        copy_.reset();
    }
    closePreview();
    history_->flush(kShutdownWaitMs);
    // Cancelled workers end at their next test of the flag; one stuck in the kernel is not waited
    // for beyond this (the destructor leaves it to the process exit).
    QDeadlineTimer deadline(kShutdownWaitMs);
    pool_->waitForDone(int(deadline.remainingTime()));
    bookmarkPool_->waitForDone(int(std::max<qint64>(0, deadline.remainingTime())));
    // What finished meanwhile is applied now (a bookmark made for a backup chosen just before
    // quitting still reaches the settings); checks and passes are no longer current and drop out.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

}  // namespace halvetrop

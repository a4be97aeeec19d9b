#include "stage/Stage.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPointer>
#include <QQmlEngine>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "copy/CopyRunner.h"
#include "model/CopySheet.h"
#include "model/History.h"
#include "platform/LinuxServices.h"
#include "shell/ModelBridge.h"
#include "stage/Fixtures.h"

namespace halvetrop::stage {

namespace {

std::string bytes(const QString& text) { return text.toUtf8().toStdString(); }
QString text(const std::string& bytes) { return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())); }

VolumeInfo systemDisk() {
    VolumeInfo v;
    v.path = std::string(1, '/');
    v.volumePath = v.path;
    v.name = "System";
    v.fileSystem = "ext4";
    v.isInternal = true;
    v.totalBytes = 500'000'000'000;
    v.freeBytes = 31'000'000'000;
    v.deviceNumber = "254:0";
    v.mountID = 1;
    v.drive.raw = "dev:/stage/system";
    return v;
}

// Processes events until `done` holds; false only on a hang, or once `ms` pass where a caller
// tries again after them.
template <typename Done>
bool pumpUntil(Done done, int ms = kHangDetectorMs) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// A small picture, so the helper has something to decode for tiles and previews.
void writePicture(const QString& path, int64_t seed) {
    QImage image(480, 320, QImage::Format_RGB32);
    const int hue = int(seed * 47 % 360);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixelColor(x, y, QColor::fromHsv((hue + x / 8) % 360, 120 + y / 4, 230 - y / 3));
    image.save(path, "JPEG");
}

// A card's volume has an id of its own, by which the history tells cards apart. The drives are
// folders on the system's disk, whose id the copy planner reads from the file system and compares
// with a backup's: a backup carries none, as a volume without one does.
std::optional<std::string> stageVolumeID(const VolumeInfo& v) {
    if (!v.isLikelyCameraCard) return std::nullopt;
    return "stage-" + v.name;
}

}  // namespace

// The volumes the model is shown, read by its workers.
struct StageVolumes {
    mutable std::mutex lock;
    std::vector<VolumeInfo> list;

    VolumeListing listing() const {
        std::lock_guard<std::mutex> hold(lock);
        VolumeListing l;
        l.volumes = list;
        l.volumes.push_back(systemDisk());
        for (const auto& v : l.volumes) l.mountPoints.insert(v.volumePath);
        return l;
    }
    // The volume holding `path`: the one whose mount point is its longest prefix.
    VolumeInfo describe(const std::string& path) const {
        std::lock_guard<std::mutex> hold(lock);
        VolumeInfo best = systemDisk();
        size_t longest = 0;
        for (const auto& v : list) {
            const std::string& m = v.volumePath;
            const bool below = path == m || (path.size() > m.size() && path.compare(0, m.size(), m) == 0 &&
                                             path[m.size()] == '/');
            if (below && m.size() > longest) {
                best = v;
                longest = m.size();
            }
        }
        best.path = path;
        return best;
    }
    // A stage volume is mounted once, as a device and a mount of its own: the copy dialog tells it
    // from another by them as it does a real one.
    void put(VolumeInfo v) {
        std::lock_guard<std::mutex> hold(lock);
        std::erase_if(list, [&](const VolumeInfo& o) { return o.volumePath == v.volumePath; });
        // Each its own drive unless told.
        if (v.drive.raw.empty()) v.drive.raw = "dev:/stage" + v.volumePath;
        if (!v.deviceNumber) {
            ++mounts;
            v.deviceNumber = "0:" + std::to_string(100 + mounts);
            v.mountID = 100 + mounts;
        }
        list.push_back(v);
    }
    int64_t mounts = 0;
};

// A copy run that goes as far as the stage says and ends how the stage says; a stop from the
// dialog ends it like a real run's.
class ScriptedCopy {
public:
    CopyRunResult run(CopyRunner& runner) {
        std::unique_lock<std::mutex> hold(lock_);
        running_ = true;
        const auto& items = runner.plan().items;
        int reached = 0;
        while (true) {
            changed_.wait_for(hold, std::chrono::milliseconds(10),
                              [&] { return fraction_.has_value() || outcome_.has_value(); });
            if (fraction_) {
                const double fraction = *fraction_;
                fraction_.reset();
                reached = std::min(int(items.size()), int(fraction * double(items.size()) + 0.5));
                CopyProgress p;
                p.filesTotal = int(items.size());
                p.filesDone = reached;
                for (int i = 0; i < int(items.size()); ++i) {
                    p.bytesTotal += items[size_t(i)].size;
                    if (i < reached) p.bytesDone += items[size_t(i)].size;
                }
                if (!items.empty()) p.current = items[size_t(std::min(reached, int(items.size()) - 1))].name;
                hold.unlock();
                runner.onProgress(p);
                hold.lock();
            }
            if (outcome_ || runner.isCancelled()) break;
        }
        const std::string outcome = outcome_.value_or("stopped");
        outcome_.reset();
        running_ = false;
        CopyRunResult result;
        const int copied = outcome == "copied"     ? int(items.size())
                           : outcome == "problems" ? std::max(0, int(items.size()) - 2)
                                                   : reached;
        for (int i = 0; i < int(items.size()); ++i) {
            const PlannedCopy& item = items[size_t(i)];
            // As the runner does: a file refused while planning is never copied.
            if (item.refusal && (i < copied || outcome == "problems")) {
                result.failed.push_back({item.id, item.refusal->description(), item.refusal});
            } else if (i < copied) {
                result.copied.push_back({item.id, item.destination(), true});
                result.bytesCopied += item.size;
            } else if (outcome == "problems") {
                result.failed.push_back({item.id, "No space left on device"});
            }
        }
        result.cancelled = outcome != "copied" && outcome != "problems";
        return result;
    }
    void advance(double fraction) {
        std::lock_guard<std::mutex> hold(lock_);
        fraction_ = fraction;
        changed_.notify_all();
    }
    void end(const std::string& outcome) {
        std::lock_guard<std::mutex> hold(lock_);
        outcome_ = outcome;
        changed_.notify_all();
    }
    bool running() {
        std::lock_guard<std::mutex> hold(lock_);
        return running_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool running_ = false;
    std::optional<double> fraction_;
    std::optional<std::string> outcome_;
};

// Holds the byte-by-byte pass's per-file results back while the stage says so, on the verifier's
// workers, so a test sees the window between two folds. A cancelled pass is never held.
struct PassGate {
    std::mutex lock;
    std::condition_variable changed;
    bool holding = false;
    int allowed = 0;     // results that may go on while holding
    int64_t handed = 0;  // results handed on so far

    void pass(const bool& cancelled) {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return !holding || allowed > 0 || cancelled; });
        if (holding && allowed > 0 && !cancelled) --allowed;
    }
    void handedOn() {
        std::lock_guard<std::mutex> hold(lock);
        ++handed;
        changed.notify_all();
    }
};

namespace {

class GatedVerifier final : public IVerifier {
public:
    GatedVerifier(std::shared_ptr<IVerifier> inner, std::shared_ptr<PassGate> gate)
        : inner_(std::move(inner)), gate_(std::move(gate)) {}
    const VerifyRequest& request() const override { return inner_->request(); }
    void setOnProgress(std::function<void(const VerifyProgress&)> callback) override {
        inner_->setOnProgress(std::move(callback));
    }
    void setOnFileResult(std::function<void(const FileResult&)> callback) override {
        inner_->setOnFileResult([this, callback = std::move(callback)](const FileResult& r) {
            gate_->pass(cancelled_);
            callback(r);
            gate_->handedOn();
        });
    }
    void setOnCardAccessTimes(std::function<void(CardAccessTimes)> callback) override {
        inner_->setOnCardAccessTimes(std::move(callback));
    }
    VerifyReport run() override { return inner_->run(); }
    void cancel() override {
        {
            std::lock_guard<std::mutex> hold(gate_->lock);
            cancelled_ = true;
            gate_->changed.notify_all();
        }
        inner_->cancel();
    }

private:
    std::shared_ptr<IVerifier> inner_;
    std::shared_ptr<PassGate> gate_;
    bool cancelled_ = false;  // under the gate's lock
};

}  // namespace

Stage::Stage(QObject* parent)
    : QObject(parent),
      stageVolumes_(std::make_shared<StageVolumes>()),
      copy_(std::make_shared<ScriptedCopy>()),
      gate_(std::make_shared<PassGate>()) {}

Stage::~Stage() {
    // A scripted check or copy left running ends now, so the model's quitting does not wait.
    for (const auto& v : *verifiers_) v->cancel();
    copy_->end("stopped");
    holdPasses(false);
    store_.reset();
    history_.reset();
    model_.reset();
}

QString Stage::below(const QString& path) const {
    if (path.startsWith(root() + QLatin1Char('/')) || path == root()) return path;
    QString relative = path;
    while (relative.startsWith(QLatin1Char('/'))) relative.remove(0, 1);
    return QDir::cleanPath(root() + QLatin1Char('/') + relative);
}

QString Stage::folder(const QString& relative) {
    const QString path = below(relative);
    QDir().mkpath(path);
    return path;
}

QString Stage::file(const QString& relative, const QString& content) {
    const QString path = below(relative);
    QDir().mkpath(QFileInfo(path).path());
    QFile out(path);
    if (out.open(QIODevice::WriteOnly)) out.write(content.toUtf8());
    return path;
}

QString Stage::storedSetting(const QString& key) const {
    QSettings fresh(dir_.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    return fresh.value(key).toString();
}

VolumeInfo Stage::describe(const std::string& path) const { return stageVolumes_->describe(path); }

// A fixture moved onto a card and backups below the stage: the paths and volumes of the real
// places, the rest of the fixture as it is.
VerifyReport Stage::placed(const QString& fixture, const std::string& card,
                           const std::vector<std::string>& backups) {
    VerifyReport r = resultsFixture(fixture);
    const VolumeInfo cardVolume = describe(card);
    r.source.path = card;
    r.source.volumePath = cardVolume.volumePath;
    r.source.volumeID = cardVolume.volumeID;
    // As a check describes the card it reads: the mount that is there now.
    r.source.deviceNumber = cardVolume.deviceNumber;
    r.source.mountID = cardVolume.mountID;
    const size_t kept = std::min(r.destinations.size(), backups.size());
    r.destinations.resize(kept);
    for (size_t i = 0; i < backups.size(); ++i) {
        VolumeInfo v = describe(backups[i]);
        if (i < kept) v.name = r.destinations[i].name;
        if (i < kept)
            r.destinations[i] = v;
        else
            r.destinations.push_back(v);
    }
    for (FileResult& f : r.files)
        std::erase_if(f.copies, [&](const CopyRef& c) { return c.destination >= int64_t(kept); });
    for (ShootGroup& g : r.groups)
        std::erase_if(g.landings, [&](const auto& l) { return l.destination >= int64_t(kept); });
    return r;
}

void Stage::writeFiles(const VerifyReport& report) {
    QDir().mkpath(text(report.source.path));
    for (const VolumeInfo& d : report.destinations) QDir().mkpath(text(d.path));
    // Only the browser's dozen files exist, with their copies: enough to preview and page.
    if (report.files.size() > 20) return;
    for (const FileResult& f : report.files) {
        std::vector<std::string> paths{report.absolutePath(f)};
        for (const CopyRef& c : f.copies) paths.push_back(report.absolutePath(c));
        for (const std::string& p : paths) {
            const QString path = text(p);
            QDir().mkpath(QFileInfo(path).path());
            if (f.kind == MediaKind::photo && f.name.find('<') == std::string::npos) {
                writePicture(path, f.id);
            } else {
                QFile out(path);
                if (out.open(QIODevice::WriteOnly)) out.write("x");
            }
        }
    }
}

bool Stage::start() {
    if (model_) return true;
    if (!dir_.isValid()) return false;
    const QString settingsPath = dir_.filePath(QStringLiteral("settings.ini"));
    const QString historyPath = dir_.filePath(QStringLiteral("data/history.json"));
    if (QFile out(settingsPath); out.open(QIODevice::WriteOnly)) out.write(settingsText_.toUtf8());
    for (const QVariant& v : volumes_) addVolume(v.toMap());

    // Saved checks: the results fixtures first, on cards and backups that are mounted.
    std::vector<HistoryItem> items;
    const TimeNs minute = TimeNs(60) * 1'000'000'000;
    for (int i = 0; i < saved_.size(); ++i) {
        VerifyReport fixture = resultsFixture(saved_[i]);
        auto volumeOf = [&](const VolumeInfo& v, bool card) {
            VolumeInfo placed = v;
            placed.path = placed.volumePath = bytes(below(text(v.path)));
            placed.isRemovable = card || v.isRemovable;
            placed.isLikelyCameraCard = card;
            placed.volumeID = stageVolumeID(placed);
            if (placed.fileSystem.empty()) placed.fileSystem = card ? "exfat" : "ext4";
            if (placed.totalBytes == 0) placed.totalBytes = card ? 128'000'000'000 : 4'000'000'000'000;
            if (placed.freeBytes == 0) placed.freeBytes = card ? 40'000'000'000 : 812'000'000'000;
            stageVolumes_->put(placed);
            return placed.path;
        };
        const std::string card = volumeOf(fixture.source, true);
        std::vector<std::string> backups;
        for (const VolumeInfo& d : fixture.destinations) backups.push_back(volumeOf(d, false));
        VerifyReport r = placed(saved_[i], card, backups);
        r.finishedAt = fixtureNow() - minute * (5 * i + 3);
        r.startedAt = r.finishedAt - minute;
        writeFiles(r);
        std::vector<QByteArray> marks;
        for (const std::string& b : backups)
            marks.push_back(QByteArray("fake:") + QByteArray::fromStdString(b));
        if (r.isCardOnly()) marks.clear();
        items.push_back(makeHistoryItem(std::move(r), QByteArray("fake:") + QByteArray::fromStdString(card),
                                        std::move(marks)));
    }
    for (VerifyReport& r : savedChecks(savedChecks_)) {
        const bool cardOnly = r.isCardOnly();
        const std::string card = bytes(below(text(r.source.path)));
        r.source.path = r.source.volumePath = card;
        std::vector<QByteArray> marks;
        for (VolumeInfo& d : r.destinations) {
            d.path = d.volumePath = bytes(below(text(d.path)));
            marks.push_back(QByteArray("fake:") + QByteArray::fromStdString(d.path));
        }
        items.push_back(makeHistoryItem(std::move(r), QByteArray("fake:") + QByteArray::fromStdString(card),
                                        cardOnly ? std::vector<QByteArray>() : marks));
    }
    for (const HistoryItem& item : items) savedIDs_.push_back(item.id.toString(QUuid::WithoutBraces));
    if (!items.empty()) {
        QDir().mkpath(QFileInfo(historyPath).path());
        if (writeHistoryFile(historyPath, items)) return false;
    }

    AppModelDeps deps;
    auto picker = std::make_unique<FakeFolderPicker>();
    auto savePicker = std::make_unique<FakeSavePicker>();
    auto ejector = std::make_unique<FakeEjector>();
    auto reveal = std::make_unique<FakeReveal>();
    picker_ = pickerInUse_ ? nullptr : picker.get();
    savePicker_ = savePicker.get();
    ejector_ = ejectorInUse_ ? nullptr : ejector.get();
    reveal_ = reveal.get();
    deps.platform.folderPicker = pickerInUse_ ? std::move(pickerInUse_) : std::move(picker);
    deps.platform.savePicker = std::move(savePicker);
    if (real_) {
        // Real drives come and go in the kernel's mount table, as the application sees them.
        deps.platform.volumeMonitor = std::make_unique<MountTableMonitor>();
    } else {
        auto monitor = std::make_unique<FakeVolumeMonitor>();
        monitor_ = monitor.get();
        deps.platform.volumeMonitor = std::move(monitor);
    }
    deps.platform.ejector = ejectorInUse_ ? std::move(ejectorInUse_) : std::move(ejector);
    deps.platform.reveal = std::move(reveal);
    deps.settingsPath = settingsPath;
    deps.historyPath = historyPath;
    deps.mountRoot = bytes(folder(QStringLiteral("media")));
    auto list = verifiers_;
    auto requests = requests_;
    auto lock = verifiersLock_;
    auto shift = clockShift_;
    if (real_) {
        deps.platform.bookmarks = std::make_unique<VolumeBookmarks>();
        deps.verifierFactory = [requests, lock, gate = gate_,
                                core = realVerifierFactory()](VerifyRequest r) -> std::shared_ptr<IVerifier> {
            {
                std::lock_guard<std::mutex> hold(*lock);
                requests->push_back(r);
            }
            const bool pass = r.level == CheckLevel::verified;
            auto verifier = core(std::move(r));
            if (!pass) return verifier;
            return std::make_shared<GatedVerifier>(std::move(verifier), gate);
        };
        deps.now = [shift] {
            return TimeNs(std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count()) +
                   shift->load();
        };
    } else {
        deps.platform.bookmarks = std::make_unique<FakeBookmarks>();
        deps.verifierFactory = [list, requests, lock](VerifyRequest r) -> std::shared_ptr<IVerifier> {
            auto v = std::make_shared<FakeVerifier>(r);
            std::lock_guard<std::mutex> hold(*lock);
            requests->push_back(std::move(r));
            list->push_back(v);
            return v;
        };
        auto volumes = stageVolumes_;
        deps.listVolumes = [volumes](const std::function<bool()>&) { return volumes->listing(); };
        deps.describeVolume = [volumes](const std::string& path) { return volumes->describe(path); };
        // Only a dozen of a fixture's files are written out: its saved cards are as they were checked,
        // but for what the stage adds.
        deps.cardChanges = [added = addedSince_, removed = removedSince_](
                               const RecordedCard&, const std::string&, const CardFolders&) {
            CardChanges c;
            c.added = added->load();
            std::lock_guard<std::mutex> hold(removed->lock);
            c.gone = removed->positions;
            c.removed = int64_t(c.gone.size());
            return c;
        };
        deps.now = [shift] { return fixtureNow() + shift->load(); };
        std::vector<std::string> others;
        for (const QString& card : otherOwnersCards_) others.push_back(bytes(below(card)));
        deps.expectCardAccessTimes = [others](const std::string& path) {
            return std::find(others.begin(), others.end(), path) != others.end() ? CardAccessTimes::otherOwner
                                                                                 : CardAccessTimes::kept;
        };
        auto copy = copy_;
        deps.runCopy = [copy](CopyRunner& runner) { return copy->run(runner); };
    }
    model_.reset(new AppModel(std::move(deps)));
    AppModel* model = model_.get();
    history_ = std::make_unique<shell::HistoryRows>([model] { return model->ageNow(); });
    if (!present_) present_ = new shell::Present(this);
    shell::bridge(*model_, *history_, *present_);
    // Stages come and go under one Present in a test run: notices reach this model only while
    // it lives, and the newest stage's model from then on.
    present_->setNotify([target = QPointer<AppModel>(model)](const QString& text, bool ok) {
        if (target) target->show(text, ok);
    });
    store_ = std::make_unique<shell::SettingsStore>(model_->settings());
    for (QObject* o : std::initializer_list<QObject*>{model_.get(), history_.get(), store_.get()})
        QQmlEngine::setObjectOwnership(o, QQmlEngine::CppOwnership);
    const bool idle = !settleOnStart_ || settle();
    emit started();
    return idle;
}

bool Stage::settle() {
    if (!model_) return false;
    // A scripted check or pass runs until told; it is the model's work, but nothing to wait for.
    QDeadlineTimer deadline(kHangDetectorMs);
    while (!deadline.hasExpired()) {
        int running = 0;
        {
            std::lock_guard<std::mutex> hold(*verifiersLock_);
            for (const auto& v : *verifiers_) running += v->running() ? 1 : 0;
        }
        if (model_->waitForIdle(20, running)) return true;
    }
    return false;
}

void Stage::addVolume(const QVariantMap& m) {
    VolumeInfo v;
    v.path = v.volumePath = bytes(below(m.value(QStringLiteral("path")).toString()));
    v.name = bytes(m.value(QStringLiteral("name")).toString());
    v.fileSystem = bytes(m.value(QStringLiteral("fileSystem"), QStringLiteral("ext4")).toString());
    v.totalBytes = m.value(QStringLiteral("totalBytes")).toLongLong();
    v.freeBytes = m.value(QStringLiteral("freeBytes")).toLongLong();
    v.isRemovable = m.value(QStringLiteral("removable")).toBool();
    v.isInternal = !v.isRemovable;
    v.isLikelyCameraCard = m.value(QStringLiteral("card")).toBool();
    v.readsFromMedium = m.value(QStringLiteral("readsFromMedium"), true).toBool();
    v.volumeID = stageVolumeID(v);
    QDir().mkpath(text(v.path));
    stageVolumes_->put(v);
    if (model_ && monitor_) {
        monitor_->fire();
        settle();
    }
}

void Stage::removeVolume(const QString& path) {
    {
        std::lock_guard<std::mutex> hold(stageVolumes_->lock);
        std::erase_if(stageVolumes_->list,
                      [place = bytes(below(path))](const VolumeInfo& v) { return v.volumePath == place; });
    }
    if (model_ && monitor_) {
        monitor_->fire();
        settle();
    }
}

void Stage::setVolumes(const QVariantList& volumes) {
    {
        std::lock_guard<std::mutex> hold(stageVolumes_->lock);
        stageVolumes_->list.clear();
    }
    for (const QVariant& v : volumes) addVolume(v.toMap());
    if (model_ && monitor_) {
        monitor_->fire();
        settle();
    }
}

void Stage::pickFolders(const QStringList& paths) {
    if (!picker_) return;
    std::vector<std::string> answer;
    for (const QString& p : paths)
        answer.push_back(bytes(p.startsWith(QLatin1Char('/')) && QFileInfo::exists(p) ? p : below(p)));
    picker_->answers.push_back(std::move(answer));
}

int Stage::pickerQuestions() const { return picker_ ? int(picker_->calls.size()) : 0; }

QString Stage::pickerStart(int question) const {
    if (question < 0 || question >= pickerQuestions()) return {};
    const auto& start = picker_->calls[size_t(question)].startingAt;
    return start ? text(*start) : QString();
}

QString Stage::pickerSelected(int question) const {
    if (question < 0 || question >= pickerQuestions()) return {};
    const auto& selected = picker_->calls[size_t(question)].selected;
    return selected ? text(*selected) : QString();
}

QString Stage::pickerTitle(int question) const {
    if (question < 0 || question >= pickerQuestions()) return {};
    return picker_->calls[size_t(question)].title;
}

QVariantList Stage::revealed() const {
    QVariantList out;
    for (const auto& request : reveal_->revealed) {
        QStringList paths;
        for (const std::string& p : request) paths << text(p);
        out << paths;
    }
    return out;
}

void Stage::setFileManager(bool there) {
    if (reveal_) reveal_->fileManager = there;
}

QStringList Stage::ejectAsked() const {
    QStringList out;
    if (ejector_)
        for (const std::string& p : ejector_->asked) out << text(p);
    return out;
}

void Stage::finishEject(const QString& reason) {
    if (!ejector_) return;
    ejector_->finish(reason.isEmpty()
                         ? std::nullopt
                         : std::optional<EjectFailure>(EjectFailure{EjectFailure::Kind::refused, reason}));
    settle();
}

void Stage::answerSave(const QString& path) {
    savePicker_->answer = path.isEmpty() ? std::nullopt : std::optional<std::string>(bytes(below(path)));
}

QString Stage::suggestedSaveName() const { return savePicker_->lastSuggestedName; }

QStringList Stage::saveFolders() const {
    QStringList out;
    for (const std::string& f : savePicker_->folders) out << text(f);
    return out;
}

std::shared_ptr<FakeVerifier> Stage::verifier(int index) const {
    std::lock_guard<std::mutex> hold(*verifiersLock_);
    return index >= 0 && index < int(verifiers_->size()) ? (*verifiers_)[size_t(index)] : nullptr;
}

int Stage::checkCount() const {
    std::lock_guard<std::mutex> hold(*verifiersLock_);
    return int(requests_->size());
}

QVariantMap Stage::checkRequest(int index) const {
    std::lock_guard<std::mutex> hold(*verifiersLock_);
    if (index < 0 || index >= int(requests_->size())) return {};
    const VerifyRequest& r = (*requests_)[size_t(index)];
    QStringList backups;
    for (const std::string& b : r.destinations) backups << text(b);
    return {{QStringLiteral("source"), text(r.source)},
            {QStringLiteral("backups"), backups},
            {QStringLiteral("level"), text(std::string(rawValue(r.level)))}};
}

void Stage::removeFromSavedCards(std::vector<int64_t> positions) {
    std::lock_guard<std::mutex> hold(removedSince_->lock);
    removedSince_->positions = std::move(positions);
}

// Whether the scripted check is under way, or comes to be within moments: the model starts it
// only after it has told what the check will do to the card, on this thread.
static bool runs(FakeVerifier& v) {
    return pumpUntil([&] { return v.waitRunning(0); });
}

bool Stage::progress(const QString& stageName, const QString& detail, double done, double total) {
    auto v = verifier(checkCount() - 1);
    const auto stage = verifyStageFromRaw(bytes(stageName));
    if (!v || !stage || !runs(*v) || !v->onProgress) return false;
    const VerifyProgress p{*stage, bytes(detail), int64_t(done), int64_t(total)};
    // The model lets a few reports a second through: one dropped is sent again.
    QDeadlineTimer deadline(kHangDetectorMs);
    while (!deadline.hasExpired()) {
        v->onProgress(p);
        if (pumpUntil([&] { return model_->progress() == p || model_->deepProgress() == p; }, 150))
            return true;
    }
    return false;
}

bool Stage::touchAccessTimes() {
    auto v = verifier(checkCount() - 1);
    if (!v || !runs(*v) || !v->onAccessTimes) return false;
    v->onAccessTimes(CardAccessTimes::otherOwner);
    return pumpUntil([&] { return !model_->cardAccessTimesNote().isEmpty(); });
}

bool Stage::finishCheck(const QString& fixture) {
    auto v = verifier(checkCount() - 1);
    if (!v || !runs(*v)) return false;
    VerifyReport r = placed(fixture, v->request().source, v->request().destinations);
    // A byte-by-byte pass ends at the level it was asked for, as the verifier's report does.
    if (v->request().level == CheckLevel::verified) r.level = CheckLevel::verified;
    r.finishedAt = model_->now();
    r.startedAt = r.finishedAt - TimeNs(60) * 1'000'000'000;
    v->complete(std::move(r));
    return pumpUntil([&] { return model_->phase() != AppModel::Phase::Checking; }) && settle();
}

bool Stage::failCheck(const QString& path) {
    auto v = verifier(checkCount() - 1);
    if (!v || !runs(*v)) return false;
    v->fail(VerifyError::cannotRead(bytes(path), EIO));
    return pumpUntil([&] { return model_->phase() != AppModel::Phase::Checking; }) && settle();
}

QString Stage::savedID(int index) const {
    return index >= 0 && index < int(savedIDs_.size()) ? savedIDs_[size_t(index)] : QString();
}

bool Stage::openSaved(int index) {
    if (!model_ || !settle() || savedID(index).isEmpty()) return false;
    model_->showHistory(savedID(index));
    return settle() && model_->hasReport();
}

bool Stage::waitForPlan() {
    auto* sheet = qobject_cast<CopySheet*>(model_->copySheet());
    return sheet && sheet->waitForPlan(kHangDetectorMs);
}

bool Stage::requestCopy() {
    model_->requestCopyAllMissing();
    return waitForPlan();
}

bool Stage::copyProgress(double fraction) {
    auto* sheet = qobject_cast<CopySheet*>(model_->copySheet());
    if (!sheet || !pumpUntil([&] { return copy_->running(); })) return false;
    QDeadlineTimer deadline(kHangDetectorMs);
    while (!deadline.hasExpired()) {
        copy_->advance(fraction);
        // Every planned file counts in the run's progress, a refused one too.
        const int planned = sheet->plan() ? int(sheet->plan()->items.size()) : sheet->planCount();
        const int want = std::min(planned, int(fraction * double(planned) + 0.5));
        if (pumpUntil([&] { return sheet->progressMap().value(QStringLiteral("filesDone")).toInt() == want; },
                      150))
            return true;
    }
    return false;
}

bool Stage::finishCopy(const QString& outcome) {
    auto* sheet = qobject_cast<CopySheet*>(model_->copySheet());
    if (!sheet || !pumpUntil([&] { return copy_->running(); })) return false;
    if (outcome == QLatin1String("stopped"))
        sheet->stop();
    else
        copy_->end(bytes(outcome));
    return sheet->waitForRun(kHangDetectorMs) && settle();
}

bool Stage::copyRunning() const { return copy_->running(); }

void Stage::shiftClock(double seconds) { *clockShift_ += TimeNs(seconds * 1e9); }

void Stage::holdPasses(bool hold) {
    std::lock_guard<std::mutex> guard(gate_->lock);
    gate_->holding = hold;
    gate_->allowed = 0;
    gate_->changed.notify_all();
}

bool Stage::letPassFiles(int count) {
    int64_t until = 0;
    {
        std::lock_guard<std::mutex> guard(gate_->lock);
        gate_->allowed += count;
        until = gate_->handed + count;
        gate_->changed.notify_all();
    }
    return pumpUntil([&] {
        std::lock_guard<std::mutex> guard(gate_->lock);
        return gate_->handed >= until;
    });
}

void registerStage() { qmlRegisterType<Stage>("Halvetrop.Stage", 1, 0, "Stage"); }

}  // namespace halvetrop::stage

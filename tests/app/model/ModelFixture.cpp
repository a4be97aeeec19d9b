#include "ModelFixture.h"

#include "drives/Drives.h"
#include "platform/LinuxServices.h"
#include "platform/MountInfo.h"
#include "report/StoredForm.h"

#include <QScopeGuard>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>

namespace halvetrop::test {

VolumeInfo volume(const std::string& mountPoint, const std::string& name, bool removable, bool camera,
                  bool diskImage) {
    VolumeInfo v;
    v.path = v.volumePath = mountPoint;
    v.name = name;
    v.isRemovable = removable;
    v.isInternal = !removable;
    v.isLikelyCameraCard = camera;
    v.isDiskImage = diskImage;
    v.fileSystem = "ext4";
    // As a mounted file system has them: one device and one mount per mount point.
    const size_t h = std::hash<std::string>{}(mountPoint);
    v.deviceNumber = "0:" + std::to_string(h % 4096);
    v.mountID = int64_t(h % 100000) + 1;
    return v;
}

VolumeListing listing(std::vector<VolumeInfo> volumes) {
    VolumeListing l;
    for (const auto& v : volumes) l.mountPoints.insert(v.volumePath);
    l.volumes = std::move(volumes);
    return l;
}

VerifyReport makeReport(const std::string& card, const std::vector<std::string>& backups,
                        const std::vector<FileStatus>& statuses, CheckLevel level) {
    VerifyReport r;
    r.source = volume(card, "CARD", true, true);
    for (const auto& b : backups) r.destinations.push_back(volume(b, "backup", false));
    r.scope = VerifyScope::withKinds({MediaKind::photo, MediaKind::video});
    r.level = level;
    r.requiredCopies = 2;
    ShootGroup g;
    g.folder = "DCIM";
    g.day = "2026-01-02";
    bool safe = !backups.empty();
    for (size_t i = 0; i < statuses.size(); ++i) {
        FileResult f;
        f.id = int64_t(i);
        f.name = "IMG_" + std::to_string(i) + ".JPG";
        f.folder = "DCIM";
        f.relativePath = "DCIM/" + f.name;
        f.size = 1000;
        f.kind = MediaKind::photo;
        f.inScope = true;
        f.day = g.day;
        f.status = statuses[i];
        if (isCovered(f.status))
            for (size_t d = 0; d < backups.size(); ++d) f.copies.push_back({int64_t(d), f.relativePath});
        f.safeDrives = isCovered(f.status) ? int64_t(backups.size()) : 0;
        safe = safe && f.safeDrives >= r.requiredCopies;
        r.totals.add(f);
        g.fileIDs.push_back(f.id);
        r.files.push_back(std::move(f));
    }
    r.groups.push_back(g);
    r.safeToFormat = safe;
    return r;
}

int64_t addShoot(VerifyReport& r, const std::string& folder, const std::string& day, FileStatus status) {
    FileResult f;
    f.id = int64_t(r.files.size());
    f.name = "IMG_" + std::to_string(f.id) + ".JPG";
    f.folder = folder;
    f.relativePath = folder + "/" + f.name;
    f.size = 1000;
    f.kind = MediaKind::photo;
    f.inScope = true;
    f.day = day;
    f.status = status;
    if (isCovered(status))
        for (size_t d = 0; d < r.destinations.size(); ++d) f.copies.push_back({int64_t(d), f.relativePath});
    f.safeDrives = isCovered(status) ? int64_t(r.destinations.size()) : 0;
    ShootGroup g;
    g.folder = folder;
    g.day = day;
    g.fileIDs = {f.id};
    g.counts.add(f);
    r.groups.push_back(g);
    FolderSummary s;
    s.path = folder;
    s.name = folder.substr(folder.rfind('/') + 1);
    s.depth = int64_t(std::count(folder.begin(), folder.end(), '/')) + 1;
    s.counts.add(f);
    s.dayRange = DayRange{day, day};
    r.folders.push_back(s);
    r.totals.add(f);
    r.files.push_back(std::move(f));
    return r.files.back().id;
}

VerifyReport makeShoots(const std::string& card, const std::vector<std::string>& backups, int files,
                        int shoots, FileStatus status, CheckLevel level) {
    VerifyReport r = makeReport(card, backups, {}, level);
    r.groups.clear();
    r.folders = {FolderSummary{"", "", 0, {}, std::nullopt},
                 FolderSummary{"DCIM", "DCIM", 1, {}, std::nullopt}};
    for (int i = 0; i < files; ++i) {
        const int k = i % shoots;
        const std::string folder = "DCIM/" + std::to_string(100 + k);
        const std::string day = "2026-01-" + std::string(k < 9 ? "0" : "") + std::to_string(k + 1);
        if (i < shoots) {
            addShoot(r, folder, day, status);
        } else {
            FileResult f = r.files[size_t(k)];
            f.id = int64_t(i);
            f.name = "IMG_" + std::to_string(i) + ".JPG";
            f.relativePath = folder + "/" + f.name;
            for (CopyRef& c : f.copies) c.relativePath = f.relativePath;
            r.groups[size_t(k)].fileIDs.push_back(f.id);
            r.groups[size_t(k)].counts.add(f);
            r.folders[size_t(k) + 2].counts.add(f);
            r.totals.add(f);
            r.files.push_back(std::move(f));
        }
    }
    for (const FileResult& f : r.files)
        for (size_t top : {0, 1}) r.folders[top].counts.add(f);
    r.safeToFormat = !backups.empty() && isCovered(status) && int64_t(backups.size()) >= r.requiredCopies;
    return r;
}

namespace {

// The core's verifier whose workers pass the progress gate with each progress report, so that a
// test can act while a check is surely under way.
class GatedProgress : public IVerifier {
public:
    GatedProgress(std::shared_ptr<IVerifier> inner, std::shared_ptr<ProgressGate> gate)
        : inner_(std::move(inner)), gate_(std::move(gate)) {}
    const VerifyRequest& request() const override { return inner_->request(); }
    void setOnProgress(std::function<void(const VerifyProgress&)> cb) override {
        inner_->setOnProgress(
            [cb = std::move(cb), gate = gate_, level = inner_->request().level](const VerifyProgress& p) {
                gate->pass(level, p);
                cb(p);
            });
    }
    void setOnFileResult(std::function<void(const FileResult&)> cb) override {
        inner_->setOnFileResult(std::move(cb));
    }
    void setOnCardAccessTimes(std::function<void(CardAccessTimes)> cb) override {
        inner_->setOnCardAccessTimes(std::move(cb));
    }
    VerifyReport run() override { return inner_->run(); }
    void cancel() override {
        inner_->cancel();
        gate_->cancelled();
    }

private:
    std::shared_ptr<IVerifier> inner_;
    std::shared_ptr<ProgressGate> gate_;
};

}  // namespace

void ProgressGate::holdAt(CheckLevel level, VerifyProgress::Stage stage, bool last) {
    std::lock_guard<std::mutex> hold(lock_);
    hold_ = std::make_pair(level, stage);
    last_ = last;
    untilCancelled_ = false;
    held_ = false;
}

void ProgressGate::holdUntilCancelled(CheckLevel level, VerifyProgress::Stage stage) {
    holdAt(level, stage);
    std::lock_guard<std::mutex> hold(lock_);
    untilCancelled_ = true;
}

void ProgressGate::cancelled() {
    std::lock_guard<std::mutex> hold(lock_);
    if (!untilCancelled_) return;
    hold_.reset();
    changed_.notify_all();
}

bool ProgressGate::held() {
    std::lock_guard<std::mutex> hold(lock_);
    return held_;
}

void ProgressGate::release() {
    std::lock_guard<std::mutex> hold(lock_);
    hold_.reset();
    changed_.notify_all();
}

void ProgressGate::pass(CheckLevel level, const VerifyProgress& p) {
    std::unique_lock<std::mutex> hold(lock_);
    if (!hold_ || *hold_ != std::make_pair(level, p.stage) || (last_ && (p.total == 0 || p.done != p.total)))
        return;
    held_ = true;
    changed_.notify_all();
    changed_.wait(hold, [&] { return !hold_; });
}

Watchdog::Watchdog(std::function<void()> onHang)
    : thread_([this, onHang = std::move(onHang)] {
          std::unique_lock<std::mutex> hold(lock_);
          if (dropped_.wait_for(hold, std::chrono::milliseconds(kHangDetectorMs), [this] { return done_; }))
              return;
          fired_ = true;
          hold.unlock();
          onHang();
      }) {}

Watchdog::~Watchdog() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        done_ = true;
        dropped_.notify_all();
    }
    thread_.join();
}

std::function<void()> endRunHung(const char* what) {
    const QByteArray tag = QTest::currentDataTag() ? QByteArray(" ") + QTest::currentDataTag() : QByteArray();
    return [name = QTest::currentTestFunction() + tag, what] { qFatal("%s: %s", name.constData(), what); };
}

AppModel& Harness::start(bool real) {
    std::vector<std::string> gone = bookmarks ? bookmarks->gone : std::vector<std::string>();
    model.reset();
    AppModelDeps deps;
    auto p = std::make_unique<FakeFolderPicker>();
    auto s = std::make_unique<FakeSavePicker>();
    auto m = std::make_unique<FakeVolumeMonitor>();
    auto e = std::make_unique<FakeEjector>();
    auto b = std::make_unique<FakeBookmarks>();
    b->gone = gone;
    picker = p.get();
    savePicker = s.get();
    monitor = m.get();
    ejector = e.get();
    bookmarks = real ? nullptr : b.get();
    deps.platform.folderPicker = std::move(p);
    deps.platform.savePicker = std::move(s);
    if (real && realMonitor) {
        monitor = nullptr;
        deps.platform.volumeMonitor = std::make_unique<MountTableMonitor>();
    } else {
        deps.platform.volumeMonitor = std::move(m);
    }
    deps.platform.ejector = std::move(e);
    auto r = std::make_unique<FakeReveal>();
    reveal = r.get();
    deps.platform.reveal = std::move(r);
    if (real)
        deps.platform.bookmarks = std::make_unique<VolumeBookmarks>();
    else
        deps.platform.bookmarks = std::move(b);
    deps.settingsPath = settingsPath();
    deps.historyPath = historyPath();
    deps.mountRoot = "/media";
    if (real) {
        auto count = realChecks;
        auto held = gate;
        deps.verifierFactory = [count, held, core = realVerifierFactory()](VerifyRequest r) {
            ++*count;
            return std::make_shared<GatedProgress>(core(std::move(r)), held);
        };
        deps.listVolumes = [shown = shown, gate = volumeListings, atMost = listingsRunningAtMost,
                            ended = listingsEnded, running = std::make_shared<std::atomic<int>>(0)](
                               const std::function<bool()>& stale) -> std::optional<VolumeListing> {
            const int now = ++*running;
            for (int most = atMost->load(); most < now && !atMost->compare_exchange_weak(most, now);) {
            }
            auto leave = qScopeGuard([&] { --*running; });
            gate->pass();
            std::optional<VolumeListing> l = AppModel::listMounted(stale);
            if (!l) return l;
            ++*ended;
            std::lock_guard<std::mutex> hold(shown->lock);
            if (shown->only)
                std::erase_if(l->volumes, [&](const VolumeInfo& v) {
                    return v.volumePath != "/" && !shown->only->count(v.volumePath);
                });
            return l;
        };
    } else {
        auto list = verifiers;
        auto lock = verifiersLock;
        auto ignore = ignoreCancel;
        deps.verifierFactory = [list, lock, ignore](VerifyRequest r) -> std::shared_ptr<IVerifier> {
            auto v = std::make_shared<FakeVerifier>(std::move(r));
            v->ignoreCancel = ignore->load();
            std::lock_guard<std::mutex> hold(*lock);
            list->push_back(v);
            return v;
        };
        auto vols = volumes;
        deps.listVolumes = [vols](const std::function<bool()>& stale) { return vols->next(stale); };
        deps.describeVolume = [free = freeBytes, described = described,
                               gate = descriptions](const std::string& path) {
            gate->pass();
            VolumeInfo v = volume(path, "described", false);
            v.freeBytes = free->load();
            std::lock_guard<std::mutex> hold(described->lock);
            if (described->change) described->change(v);
            return v;
        };
        deps.cardChanges = [added = addedSince, gate = listings](const RecordedCard&, const std::string&,
                                                                 const CardFolders&) {
            gate->pass();
            CardChanges c;
            c.added = added->load();
            return c;
        };
    }
    if (listCards) deps.cardChanges = nullptr;
    deps.cardWatchLimit = cardWatchLimit;
    if (shutdownWaitMs) deps.shutdownWaitMs = *shutdownWaitMs;
    deps.now = [clock = clock] {
        if (const TimeNs set = clock->load()) return set;
        return TimeNs(std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count());
    };
    model.reset(new AppModel(std::move(deps)));
    return *model;
}

std::shared_ptr<FakeVerifier> Harness::verifier(size_t i) {
    std::lock_guard<std::mutex> hold(*verifiersLock);
    return i < verifiers->size() ? (*verifiers)[i] : nullptr;
}

size_t Harness::verifierCount() {
    std::lock_guard<std::mutex> hold(*verifiersLock);
    return verifiers->size();
}

AppModel& ready(Harness& h, const std::vector<std::string>& backups) {
    h.volumes->push(listing({volume("/", "root", false), volume(kCard, "CARD", true, true)}));
    AppModel& m = h.start();
    m.waitForIdle(kHangDetectorMs);
    m.setSource(kCard);
    m.addBackups(backups);
    return m;
}

void writeCardFile(const std::string& card, const std::string& path, int64_t size) {
    const std::filesystem::path file = std::filesystem::path(card) / path;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << std::string(size_t(size), 'x');
}

void writeCard(const std::string& card, const VerifyReport& r) {
    for (const FileResult& f : r.files) {
        writeCardFile(card, f.relativePath, f.size);
        const timespec times[2] = {{0, UTIME_OMIT}, {f.modified / 1'000'000'000, f.modified % 1'000'000'000}};
        ::utimensat(AT_FDCWD, (card + "/" + f.relativePath).c_str(), times, 0);
    }
}

AppModel& readyToFormatOn(Harness& h, const std::string& card, CheckLevel level) {
    return checkedOn(h, card,
                     makeReport(card, {"/backup/a", "/backup/b"},
                                std::vector<FileStatus>(6, FileStatus::verified), level));
}

AppModel& checkedOn(Harness& h, const std::string& card, VerifyReport r) {
    h.listCards = true;
    h.volumes->push(listing({volume("/", "root", false), volume(card, "CARD", true, true)}));
    std::vector<std::string> backups;
    for (const VolumeInfo& b : r.destinations) backups.push_back(b.path);
    writeCard(card, r);
    // With the change times the check saw, as its own scan records them.
    for (FileResult& f : r.files) {
        struct statx st {};
        if (::statx(AT_FDCWD, (card + "/" + f.relativePath).c_str(), 0, STATX_CTIME, &st) == 0)
            f.changeTime =
                storableInstant(TimeNs(st.stx_ctime.tv_sec) * 1'000'000'000 + st.stx_ctime.tv_nsec);
    }
    AppModel& m = h.start();
    m.waitForIdle(kHangDetectorMs);
    m.setSource(card);
    m.addBackups(backups);
    const size_t before = h.verifierCount();
    m.check(std::optional<CheckLevel>());
    if (auto v = h.verifier(before)) v->complete(r);
    [&] { QTRY_COMPARE(m.phase(), AppModel::Phase::Results); }();
    const bool pass = r.level == CheckLevel::standard && r.totals.covered() >= 1;
    m.waitForIdle(kHangDetectorMs, pass ? 1 : 0);
    return m;
}

}  // namespace halvetrop::test

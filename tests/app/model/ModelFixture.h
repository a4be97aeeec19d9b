#pragma once
// A model wired to scripted fakes: verifiers that finish when the test says so, volume listings
// from a queue, and a temporary settings file and history folder.
#include "model/AppModel.h"
#include "model/FakeVerifier.h"
#include "platform/Fakes.h"
#include "stage/DroppedModel.h"

#include <QTemporaryDir>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

namespace halvetrop::test {

// Listings handed out in order; a listing may be held back until released, so that a test can
// change the mounts while one runs. A released listing that was told it is stale meanwhile stops,
// as a real one does between two volumes.
class ScriptedVolumes {
public:
    struct Step {
        VolumeListing listing;
        bool held = false;
    };
    void push(VolumeListing l, bool held = false) {
        std::lock_guard<std::mutex> hold(lock_);
        steps_.push_back({std::move(l), held});
    }
    // Lets the next held listing go on.
    void release() {
        std::lock_guard<std::mutex> hold(lock_);
        ++released_;
        changed_.notify_all();
    }
    std::optional<VolumeListing> next(const std::function<bool()>& stale = {}) {
        std::unique_lock<std::mutex> hold(lock_);
        ++asked_;
        if (steps_.empty()) return last_;
        Step s = std::move(steps_.front());
        steps_.pop_front();
        if (s.held) {
            ++waiting_;
            changed_.notify_all();
            changed_.wait(hold, [&] { return released_ > 0; });
            --released_;
            --waiting_;
        }
        if (stale && stale()) return std::nullopt;
        last_ = s.listing;
        return s.listing;
    }
    // How many listings were asked for, and whether a held one is waiting to be released.
    int asked() {
        std::lock_guard<std::mutex> hold(lock_);
        return asked_;
    }
    bool waiting() {
        std::lock_guard<std::mutex> hold(lock_);
        return waiting_ > 0;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Step> steps_;
    VolumeListing last_;
    int released_ = 0;
    int asked_ = 0;
    int waiting_ = 0;
};

// Holds the workers of a real check at its first progress report of one stage (or at its last, the
// one that counts every item done), so that a test can change the drives while the check is surely
// in that stage; released, it holds nothing more. Held until cancelled, it is released by a cancel
// of the check too: a check that is not cancelled then never ends.
class ProgressGate {
public:
    void holdAt(CheckLevel level, VerifyProgress::Stage stage, bool last = false);
    void holdUntilCancelled(CheckLevel level, VerifyProgress::Stage stage);
    bool held();
    void release();
    // Called by the workers with each progress report of a check at `level`, and on its cancel.
    void pass(CheckLevel level, const VerifyProgress& p);
    void cancelled();

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::optional<std::pair<CheckLevel, VerifyProgress::Stage>> hold_;
    bool last_ = false;
    bool untilCancelled_ = false;
    bool held_ = false;
};

// Holds the scripted listings of a shown card while held, so that a test can act while one walks it.
class ListingGate {
public:
    void hold(bool on) {
        std::lock_guard<std::mutex> l(lock_);
        held_ = on;
        changed_.notify_all();
    }
    bool walking() {
        std::lock_guard<std::mutex> l(lock_);
        return walking_ > 0;
    }
    void pass() {
        std::unique_lock<std::mutex> l(lock_);
        ++walking_;
        changed_.wait(l, [&] { return !held_; });
        --walking_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool held_ = false;
    int walking_ = 0;
};

VolumeInfo volume(const std::string& mountPoint, const std::string& name, bool removable, bool camera = false,
                  bool diskImage = false);
VolumeListing listing(std::vector<VolumeInfo> volumes);

// A report of `statuses.size()` in-scope files on the card at `card`, each with one copy per
// backup and as many safe drives when covered.
VerifyReport makeReport(const std::string& card, const std::vector<std::string>& backups,
                        const std::vector<FileStatus>& statuses, CheckLevel level = CheckLevel::standard);

// Adds a file of `status` to the report as the only one of a new shoot in card folder `folder`
// on `day`, with the folder listed; returns its id.
int64_t addShoot(VerifyReport& r, const std::string& folder, const std::string& day, FileStatus status);
// A report of `files` files as makeReport gives them, spread over `shoots` shoots, each in a
// folder of its own below DCIM on a day of its own.
VerifyReport makeShoots(const std::string& card, const std::vector<std::string>& backups, int files,
                        int shoots, FileStatus status, CheckLevel level = CheckLevel::standard);

// Runs `onHang` on a thread of its own unless dropped within kHangDetectorMs: what the test does
// meanwhile hung, where a hang has no other symptom than the suite's own time limit.
class Watchdog {
public:
    explicit Watchdog(std::function<void()> onHang);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    bool fired() const { return fired_; }

private:
    std::mutex lock_;
    std::condition_variable dropped_;
    bool done_ = false;
    std::atomic<bool> fired_ = false;
    std::thread thread_;
};

// For a Watchdog: ends the run, naming the case and what hung in it (another thread cannot fail
// the case itself).
std::function<void()> endRunHung(const char* what);

struct Harness {
    QTemporaryDir dir;
    FakeFolderPicker* picker = nullptr;
    FakeSavePicker* savePicker = nullptr;
    FakeVolumeMonitor* monitor = nullptr;
    FakeEjector* ejector = nullptr;
    FakeBookmarks* bookmarks = nullptr;
    FakeReveal* reveal = nullptr;
    std::shared_ptr<ScriptedVolumes> volumes = std::make_shared<ScriptedVolumes>();
    std::shared_ptr<std::vector<std::shared_ptr<FakeVerifier>>> verifiers =
        std::make_shared<std::vector<std::shared_ptr<FakeVerifier>>>();
    std::shared_ptr<std::mutex> verifiersLock = std::make_shared<std::mutex>();
    // New fake verifiers keep running after a cancel until completed (a late outcome).
    std::shared_ptr<std::atomic<bool>> ignoreCancel = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<ProgressGate> gate = std::make_shared<ProgressGate>();
    std::shared_ptr<std::atomic<int>> realChecks = std::make_shared<std::atomic<int>>(0);
    // The free space every scripted volume description gives.
    std::shared_ptr<std::atomic<int64_t>> freeBytes = std::make_shared<std::atomic<int64_t>>(0);
    // What a scripted description of a path says otherwise (another volume mounted there).
    struct Described {
        std::mutex lock;
        std::function<void(VolumeInfo&)> change;
    };
    std::shared_ptr<Described> described = std::make_shared<Described>();
    // A scripted description passes here first (held while a test holds them).
    std::shared_ptr<ListingGate> descriptions = std::make_shared<ListingGate>();
    // How many files a scripted listing of a saved card finds that its check did not.
    std::shared_ptr<std::atomic<int>> addedSince = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<ListingGate> listings = std::make_shared<ListingGate>();
    // A scripted model lists the card for real (the check's own walk) instead, watching at most
    // this many of its folders.
    bool listCards = false;
    size_t cardWatchLimit = 4096;
    // A real model is told only of these mounted volumes (and "/") when set: the machine's others
    // come and go with other tests.
    struct Shown {
        std::mutex lock;
        std::optional<std::set<std::string>> only;
    };
    std::shared_ptr<Shown> shown = std::make_shared<Shown>();
    // A real model's listings of the volumes pass here first (held while a test holds them), and
    // are counted: how many ran at once at the most, and how many ended.
    std::shared_ptr<ListingGate> volumeListings = std::make_shared<ListingGate>();
    std::shared_ptr<std::atomic<int>> listingsRunningAtMost = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<int>> listingsEnded = std::make_shared<std::atomic<int>>(0);
    // A real model watches the mount table as the application does, rather than being told.
    bool realMonitor = false;
    // The model's wall clock, when set (not 0); the system's otherwise.
    std::shared_ptr<std::atomic<TimeNs>> clock = std::make_shared<std::atomic<TimeNs>>(0);
    // How long quitting waits for the model's work, when not as the application does.
    std::optional<int> shutdownWaitMs;
    // Replaced by start() and dropped with the harness, waited for each time: a test may unmount
    // the drives the model looked at once it is gone.
    OwnedModel model;

    QString settingsPath() const { return dir.filePath("settings.ini"); }
    QString historyPath() const { return dir.filePath("data/history.json"); }
    // A new model over the same settings and history; `real` uses the core's verifier, the
    // volume list and the bookmarks of this machine.
    AppModel& start(bool real = false);
    std::shared_ptr<FakeVerifier> verifier(size_t i);
    size_t verifierCount();
};

// The camera card the scripted cases check.
inline const std::string kCard = "/media/u/CARD";

// The files of `r` written below `card` as its check recorded them (size and time), so that a
// listing of the folder finds the card as the report says; then `path` (below the card) rewritten
// to `size` bytes.
void writeCard(const std::string& card, const VerifyReport& r);
void writeCardFile(const std::string& card, const std::string& path, int64_t size);
// A scripted model that lists the real folder `card` as it lists cards, shown the result of a check
// that found every file on it verified on two backups: ready to format once the card is looked at.
// A standard check's result starts the byte-by-byte pass (a scripted verifier that runs on).
AppModel& readyToFormatOn(Harness& h, const std::string& card, CheckLevel level = CheckLevel::verified);
// The same for a check that found `r` (its card's files written below `card` as it recorded them).
AppModel& checkedOn(Harness& h, const std::string& card, VerifyReport r);

// A new model that sees the system's disk and the card mounted, with the card and these backups
// chosen.
AppModel& ready(Harness& h, const std::vector<std::string>& backups = {"/backup/a", "/backup/b"});

}  // namespace halvetrop::test

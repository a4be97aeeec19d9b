// The model with the core's verifier on a card and two backups, each its own zram drive.
#include "ModelFixture.h"
#include "model/CopySheet.h"
#include "present/Results.h"
#include "report/CSVExport.h"
#include "support/Privileged.h"
#include "support/TempDir.h"
#include "support/ZramVolume.h"

#include <QDir>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <algorithm>

#include <filesystem>
#include <random>
#include <set>

using namespace halvetrop;
using namespace halvetrop::test;

namespace {

std::string bytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = char(gen());
    return s;
}

// Files of this process open below `root`.
QStringList openBelow(const std::string& root) {
    QStringList open;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        auto target = std::filesystem::read_symlink(fd.path(), ec).string();
        if (!ec && (target == root || target.starts_with(root + "/"))) open << QString::fromStdString(target);
    }
    return open;
}

// A file a case adds to a drive, taken away when the case ends however it ends.
struct Added {
    std::string path;
    ~Added() { std::filesystem::remove(path); }
};

struct Drives3 {
    std::unique_ptr<ZramVolume> card, a, b;
};

}  // namespace

class ModelEndToEndTest : public QObject {
    Q_OBJECT

    Drives3 d;
    int files = 0;

    // Mounts a drive a test took away again, also when the test fails halfway, after taking away
    // what the test left under its empty mount point.
    struct Remount {
        ZramVolume& drive;
        std::string leftBehind;
        ~Remount() {
            if (!leftBehind.empty()) std::filesystem::remove_all(leftBehind);
            drive.remount();
        }
    };

    // A model on the drives with the card and both backups chosen, their bookmarks made.
    AppModel& chooseAll(Harness& h) {
        AppModel& m = h.start(true);
        m.waitForIdle(kHangDetectorMs);
        m.setSource(d.card->mountPoint());
        m.addBackups({d.a->mountPoint() + "/Shoots", d.b->mountPoint() + "/Archive"});
        m.waitForIdle(kHangDetectorMs);
        return m;
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        std::string why;
        if (!ZramVolume::available(&why)) QSKIP(why.c_str());
        try {
            d.card = std::make_unique<ZramVolume>(128ll << 20, "HVCARD", "/mnt");
            d.a = std::make_unique<ZramVolume>(128ll << 20, "HVBACKA", "/mnt");
            d.b = std::make_unique<ZramVolume>(128ll << 20, "HVBACKB", "/mnt");
        } catch (const std::exception& e) {
            d = {};
            QSKIP(e.what());
        }
        files = 120;
        for (int i = 0; i < files; ++i) {
            std::string name = "DCIM/100TEST/IMG_" + std::to_string(1000 + i) + ".JPG";
            std::string content = bytes(size_t(256 << 10) + size_t(i), unsigned(i));
            d.card->write(name, content);
            d.a->write("Shoots/" + name, content);
            d.b->write("Archive/" + name, content);
        }
        ::sync();
    }

    void cleanupTestCase() { d = {}; }

    // Choose, check, the automatic byte-by-byte pass, safe to format; then the saved result opens
    // in a new model without a check.
    void checkPassAndHistory() {
        Harness h;
        AppModel& m = h.start(true);
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        h.picker->answers.push_back({d.card->mountPoint() + "/"});
        m.addBackups({d.a->mountPoint() + "/Shoots", d.b->mountPoint() + "/Archive"});
        m.chooseSource(QString(), true);
        QCOMPARE(m.source(), std::optional<std::string>(d.card->mountPoint()));
        QCOMPARE(m.phase(), AppModel::Phase::Checking);
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        QCOMPARE(m.report()->totals.files, files);
        QCOMPARE(m.report()->totals.covered(), files);
        QCOMPARE(m.report()->level, CheckLevel::standard);
        // The card and its backups by their labels and UUIDs, for root and an ordinary user alike,
        // in the report and in the history.
        const std::string uuid = runAsRootOrThrow("blkid -s UUID -o value " + d.card->device());
        QCOMPARE(m.report()->source.name, std::string("HVCARD"));
        QCOMPARE(m.report()->source.volumeID, std::optional<std::string>(uuid));
        QCOMPARE(m.report()->destinations.at(1).name, std::string("HVBACKB"));
        QVERIFY(m.report()->destinations.at(1).volumeID.has_value());
        QTRY_COMPARE(m.historyCount(), 1);
        QCOMPARE(m.history().front().report->summary().source.volumeID, std::optional<std::string>(uuid));
        // The pass starts by itself and may end before a look at it running: its report shows.
        QTRY_VERIFY(!m.deepVerifying() && m.report()->level == CheckLevel::verified);
        QCOMPARE(m.report()->totals.verified, files);
        QVERIFY(m.report()->safeToFormat);
        QCOMPARE(m.historyCount(), 1);
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        VerifyReport shown = *m.report();
        QString id = m.history().front().id.toString();
        h.model.reset();

        AppModel& again = h.start(true);
        int checksBefore = h.realChecks->load();
        QTRY_VERIFY(again.historyLoaded());
        QCOMPARE(again.historyCount(), 1);
        again.showHistory(id);
        QTRY_COMPARE(again.phase(), AppModel::Phase::Results);
        QVERIFY(!again.deepVerifying());
        // The stored form keeps times to the microsecond; everything the verdict rests on is whole.
        auto verdicts = [](const VerifyReport& r) {
            std::vector<std::tuple<std::string, FileStatus, int64_t, size_t>> out;
            for (const auto& f : r.files)
                out.emplace_back(f.relativePath, f.status, f.safeDrives, f.copies.size());
            return out;
        };
        QVERIFY(verdicts(*again.report()) == verdicts(shown));
        QVERIFY(again.report()->safeToFormat);
        QCOMPARE(again.source(), std::optional<std::string>(d.card->mountPoint()));
        QCOMPARE(again.destinations().size(), size_t(2));
        // Its card, listed again, is as the check saw it: ready to format, and ejectable once the
        // mounted volumes are read, which may come after the listing of the card.
        QTRY_COMPARE(again.savedCard(), AppModel::SavedCard::unchanged);
        QTRY_VERIFY(again.showsReadyToFormat() && again.canEjectSource());
        QVERIFY(again.waitForIdle(kHangDetectorMs));
        QCOMPARE(h.realChecks->load(), checksBefore);
    }

    // Quitting while the check or the pass reads the card cancels them and leaves no card file
    // open: told to wait for them as long as they run, it returns once they have ended (held where
    // they compare until cancelled, they would never end otherwise).
    void quitDuringWork_data() {
        QTest::addColumn<bool>("duringPass");
        QTest::newRow("during the check") << false;
        QTest::newRow("during the pass") << true;
    }
    void quitDuringWork() {
        QFETCH(bool, duringPass);
        Harness h;
        h.shutdownWaitMs = -1;
        AppModel& m = h.start(true);
        m.setSource(d.card->mountPoint());
        m.addBackups({d.a->mountPoint(), d.b->mountPoint()});
        h.gate->holdUntilCancelled(duringPass ? CheckLevel::verified : CheckLevel::standard,
                                   VerifyProgress::Stage::comparing);
        m.check(std::optional<CheckLevel>());
        QTRY_VERIFY(h.gate->held());
        QCOMPARE(m.deepVerifying(), duringPass);
        {
            const Watchdog hung(endRunHung("the cancelled check or pass never ended"));
            m.shutdown();
        }
        QCOMPARE(openBelow(d.card->mountPoint()), QStringList());
        if (duringPass) QCOMPARE(m.report()->level, CheckLevel::standard);
    }

    // Quitting waits for no listing of the volumes: with one held on its way, a model told to wait
    // for its work as long as that runs returns all the same. Were it waiting, the listing would be
    // let go (after kHangDetectorMs) so that the case ends, and fails.
    void quittingWaitsForNoListing() {
        Harness h;
        h.shutdownWaitMs = -1;
        h.volumeListings->hold(true);
        auto letGo = qScopeGuard([&] { h.volumeListings->hold(false); });
        AppModel& m = h.start(true);
        QTRY_VERIFY(h.volumeListings->walking());
        {
            const Watchdog waited([&] { h.volumeListings->hold(false); });
            m.shutdown();
            QVERIFY2(!waited.fired(), "quitting waited for the listing");
        }
        QVERIFY(h.volumeListings->walking());
    }

    // A backup drive unplugged while its mount-point folder stays: the backup stays chosen, but
    // its bookmark does not resolve to the empty folder, and the check finds no copy there.
    void unpluggedBackupIsNotItsFolder() {
        Harness h;
        AppModel& m = h.start(true);
        m.setSource(d.card->mountPoint());
        m.addBackups({d.a->mountPoint() + "/Shoots", d.b->mountPoint() + "/Archive"});
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        h.model.reset();
        QCOMPARE(d.b->unmountOnceFree(), std::string());
        QVERIFY(std::filesystem::is_directory(d.b->mountPoint()));

        AppModel& again = h.start(true);
        QVERIFY(again.waitForIdle(kHangDetectorMs));
        QCOMPARE(again.destinations().size(), size_t(2));
        QCOMPARE(again.destinations()[1], d.b->mountPoint() + "/Archive");
        QCOMPARE(again.unresolvedBackups(), std::set<std::string>{d.b->mountPoint() + "/Archive"});
        QVERIFY(!again.unresolvedBackups().count(d.a->mountPoint() + "/Shoots"));
        again.setSource(d.card->mountPoint());
        again.check(std::optional<CheckLevel>());
        QTRY_COMPARE(again.phase(), AppModel::Phase::Results);
        QVERIFY(!again.report()->safeToFormat);
        const std::string unread = "Can't read " + d.b->mountPoint() + "/Archive: its drive is not connected";
        QCOMPARE(std::count(again.report()->problems.begin(), again.report()->problems.end(), unread), 1);
        for (const FileResult& f : again.report()->files) {
            QVERIFY(!f.copies.empty());
            for (const CopyRef& c : f.copies) QCOMPARE(c.destination, 0);
        }
        again.shutdown();
        h.model.reset();
        QCOMPARE(d.b->remount(), std::string());
    }

    // A backup drive whose UUID was cleared is not the volume its bookmark names: it reads as not
    // connected. Removed and picked again, as a new backup or by "Add a Backup and Check Again…",
    // it is the volume at its folder now, for the check and for every later look at the drives.
    void backupPickedAgainIsItsVolumeNow_data() {
        QTest::addColumn<bool>("checkAgain");
        QTest::newRow("removed and added again") << false;
        QTest::newRow("added by checking again") << true;
    }
    void backupPickedAgainIsItsVolumeNow() {
        QFETCH(bool, checkAgain);
        std::unique_ptr<ZramVolume> backup;
        try {
            backup = std::make_unique<ZramVolume>(64ll << 20, "HVAGAIN", "/mnt");
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        for (const auto& e : std::filesystem::recursive_directory_iterator(d.card->mountPoint() + "/DCIM"))
            if (e.is_regular_file())
                backup->write(std::filesystem::relative(e.path(), d.card->mountPoint()).string(),
                              readFile(e.path().string()));
        ::sync();
        const std::string folder = backup->mountPoint();
        Harness h;
        AppModel& m = h.start(true);
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        m.setSource(d.card->mountPoint());
        m.addBackups({folder});
        QVERIFY(m.waitForIdle(kHangDetectorMs));

        m.workers()->waitUntilNone();
        QCOMPARE(backup->unmountOnceFree(), std::string());
        h.monitor->fire();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        runAsRootOrThrow("e2fsck -fy " + backup->device() + " >/dev/null 2>&1; tune2fs -U clear " +
                         backup->device());
        QCOMPARE(backup->remount(), std::string());
        h.monitor->fire();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(m.unresolvedBackups(), std::set<std::string>{folder});

        m.removeBackup(folder);
        if (checkAgain) {
            h.picker->answers.push_back({folder});
            m.checkAgainstBackup(true);
        } else {
            m.addBackups({folder});
            m.check(std::optional<CheckLevel>());
        }
        QTRY_VERIFY(m.phase() != AppModel::Phase::Checking);
        QCOMPARE(m.phase(), AppModel::Phase::Results);
        QCOMPARE(m.report()->destinations.size(), size_t(1));
        QCOMPARE(m.report()->totals.covered(), files);
        QCOMPARE(m.report()->problems, std::vector<std::string>());
        QVERIFY(m.unresolvedBackups().empty());
        m.stopDeepVerify();
        h.monitor->fire();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QVERIFY(m.unresolvedBackups().empty());
        m.shutdown();
        h.model.reset();

        AppModel& later = h.start(true);
        QVERIFY(later.waitForIdle(kHangDetectorMs));
        QCOMPARE(later.destinations(), std::vector<std::string>{folder});
        QVERIFY(later.unresolvedBackups().empty());
    }

    // A backup drive detached lazily while the application runs: its mount point stays, empty,
    // on the system's disk, with a stray copy of a card photo put there. The backup is not
    // connected: its row says so, the copy dialog does not offer it and its copies go to the
    // other backup, and the check after the copy leaves its folder alone and says so.
    void lazilyUnmountedBackup() {
        const std::string archive = d.b->mountPoint() + "/Archive";
        std::vector<std::string> onlyOnCard;
        for (int i = 0; i < 5; ++i) {
            onlyOnCard.push_back("DCIM/101NEW/NEW_" + std::to_string(i) + ".JPG");
            d.card->write(onlyOnCard.back(), bytes(size_t(64 << 10), unsigned(5000 + i)));
        }
        ::sync();
        Harness h;
        AppModel& m = chooseAll(h);
        m.check(std::optional<CheckLevel>());
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        QCOMPARE(m.report()->totals.missing, 5);
        // No pass reads the drives from here on, whether it is stopped or already over.
        QTRY_VERIFY(m.deepVerifying() || m.report()->level == CheckLevel::verified);
        m.stopDeepVerify();

        QCOMPARE(d.b->unmountLazily(), std::string());
        // The folder left behind is one the user may write in, so that nothing the check or a copy
        // does there is kept out by its permissions alone.
        test::giveToTestUser(d.b->mountPoint());
        Remount back{*d.b, archive};
        const std::string stray = archive + "/DCIM/100TEST/IMG_1000.JPG";
        std::filesystem::create_directories(archive + "/DCIM/100TEST");
        std::filesystem::copy_file(d.card->mountPoint() + "/DCIM/100TEST/IMG_1000.JPG", stray);
        h.monitor->fire();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(m.notConnectedKeys(), QStringList{QString::fromStdString(archive)});
        QVERIFY(m.volumeInfo(QString::fromStdString(archive)).isEmpty());

        m.requestCopyAllMissing();
        auto* sheet = qobject_cast<CopySheet*>(m.copySheet());
        QVERIFY(sheet);
        QCOMPARE(sheet->offered(), std::vector<int>{0});
        sheet->pickFolder(QString::fromStdString(archive));
        QCOMPARE(sheet->pickError(), QStringLiteral("\u201cArchive\u201d isn't connected"));
        QVERIFY(sheet->waitForPlan(kHangDetectorMs));
        QCOMPARE(sheet->planCount(), 5);
        sheet->copy();
        QVERIFY(sheet->waitForRun(kHangDetectorMs));
        QCOMPARE(sheet->result()->copied.size(), size_t(5));
        std::vector<std::string> copies;
        for (const auto& c : sheet->result()->copied) copies.push_back(c.path);
        for (const auto& c : copies) QVERIFY(c.starts_with(d.a->mountPoint() + "/"));

        sheet->done();
        QCOMPARE(m.phase(), AppModel::Phase::Checking);
        QCOMPARE(m.noticeText(), QStringLiteral("\u201cArchive\u201d isn't connected"));
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        const VerifyReport& r = *m.report();
        QCOMPARE(r.destinations.size(), size_t(1));
        QCOMPARE(r.totals.missing, 0);
        QCOMPARE(std::count(r.problems.begin(), r.problems.end(),
                            "Can't read " + archive + ": its drive is not connected"),
                 1);
        for (const FileResult& f : r.files)
            for (const CopyRef& c : f.copies) QCOMPARE(c.destination, 0);
        std::vector<std::string> underMountPoint;
        for (const auto& e : std::filesystem::recursive_directory_iterator(
                 d.b->mountPoint(), std::filesystem::directory_options::skip_permission_denied))
            if (e.is_regular_file()) underMountPoint.push_back(e.path().string());
        QCOMPARE(underMountPoint, std::vector<std::string>{stray});

        m.shutdown();
        h.model.reset();
        for (const auto& name : onlyOnCard) std::filesystem::remove(d.card->mountPoint() + "/" + name);
        for (const auto& c : copies) std::filesystem::remove(c);
    }

    // A backup drive that goes while the check or the pass reads it is named when it ends.
    void backupLeavesDuringTheRun_data() { quitDuringWork_data(); }
    void backupLeavesDuringTheRun() {
        QFETCH(bool, duringPass);
        const std::string archive = d.b->mountPoint() + "/Archive";
        Harness h;
        AppModel& m = chooseAll(h);
        h.gate->holdAt(duringPass ? CheckLevel::verified : CheckLevel::standard,
                       VerifyProgress::Stage::comparing);
        m.check(std::optional<CheckLevel>());
        QTRY_VERIFY(h.gate->held());
        QCOMPARE(d.b->unmountLazily(), std::string());
        Remount back{*d.b, {}};
        h.gate->release();
        QTRY_VERIFY(m.phase() == AppModel::Phase::Results && m.unresolvedBackups().count(archive));
        QCOMPARE(m.noticeText(), QStringLiteral("\u201cArchive\u201d isn't connected"));
        QCOMPARE(std::count(m.report()->problems.begin(), m.report()->problems.end(),
                            "Can't read " + archive + ": its drive is not connected"),
                 1);
        if (duringPass) QCOMPARE(m.report()->level, CheckLevel::verified);
        m.shutdown();
    }

    // A photo written to the card and another deleted from it while the byte-by-byte pass compares
    // (held after its last comparison until then): the pass ends not safe and names both as
    // changed while reading, each with what happened to it, in their shoots, in the header, in the
    // history and in the exported report, where the deleted one lists no copy, as its count says.
    // Neither is counted again as changed since the pass's check.
    void photosAddedAndDeletedDuringThePass() {
        const std::string added = "DCIM/100TEST/IMG_9999.JPG", deleted = "DCIM/100TEST/IMG_1005.JPG";
        struct Restore {
            const ZramVolume& card;
            std::string added, deleted;
            ~Restore() {
                std::filesystem::remove(card / added);
                card.write(deleted, bytes(size_t(256 << 10) + 5, 5));
            }
        } later{*d.card, added, deleted};
        Harness h;
        AppModel& m = chooseAll(h);
        h.gate->holdAt(CheckLevel::verified, VerifyProgress::Stage::comparing, true);
        m.check(std::optional<CheckLevel>());
        QTRY_VERIFY(h.gate->held());
        d.card->write(added, bytes(size_t(200 << 10), 9999));
        std::filesystem::remove(*d.card / deleted);
        h.gate->release();
        QTRY_VERIFY(!m.deepVerifying());
        const VerifyReport& r = *m.report();
        QCOMPARE(r.level, CheckLevel::verified);
        QVERIFY(!r.safeToFormat);
        QCOMPARE(r.totals.verified, files - 1);
        for (const std::string& path : {added, deleted}) {
            const auto found = std::find_if(r.files.begin(), r.files.end(),
                                            [&](const FileResult& f) { return f.relativePath == path; });
            QVERIFY(found != r.files.end());
            QCOMPARE(found->status, FileStatus::changed);
            QVERIFY(found->inScope);
            QCOMPARE(found->safeDrives, 0);
            QVERIFY(found->copies.empty());
            QCOMPARE(found->detail,
                     std::optional<std::string>(path == added ? "Added to the card during the check."
                                                              : "Removed from the card during the check."));
        }
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(m.savedCard(), AppModel::SavedCard::none);
        QStringList sentences;
        for (const ShootGroup& g : r.groups)
            sentences << present::shootSentence(
                present::liveCounts(g.fileIDs, [&r](int64_t id) { return &r.files.at(size_t(id)); }),
                present::firstLanding(g, r).has_value());
        QCOMPARE(sentences, QStringList{QStringLiteral("Partly backed up · 2 changed while reading")});
        QCOMPARE(present::verdictReason(r, false), QStringLiteral("2 changed while reading"));
        const std::string csv = CSVExport::csv(r);
        QVERIFY2(
            csv.find("\"Changed while reading\",\"IMG_1005.JPG\",\"DCIM/100TEST\",") != std::string::npos &&
                csv.find(std::to_string((256 << 10) + 5) +
                         "\",\"0\",\"\",\"Removed from the card during the check.\"\n") != std::string::npos,
            csv.c_str());
        QCOMPARE(m.historyCount(), 1);
        const auto& saved = m.history().front().report->summary();
        QCOMPARE(saved.level, CheckLevel::verified);
        QVERIFY(!saved.readyToFormat);
        QCOMPARE(saved.totals.problem, 2);
        QCOMPARE(saved.totals.changed, 2);
        m.shutdown();
    }

    // A card checked safe to format is ready only while it is as checked. On the real drives, for
    // root and an ordinary user alike, the check's own finish and its byte-by-byte pass are no
    // change; a photo copied onto the card turns the result "changed" within moments, made now or
    // opened from the history, and the ready-to-format panel goes.
    void aReadyCardThatChanges() {
        const std::string added = "DCIM/100TEST/IMG_9998.JPG";
        const Added later{d.card->mountPoint() + "/" + added};
        Harness h;
        AppModel& m = chooseAll(h);
        m.check(std::optional<CheckLevel>());
        QTRY_VERIFY(m.report() && m.report()->level == CheckLevel::verified && !m.deepVerifying());
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(m.savedCard(), AppModel::SavedCard::none);
        QVERIFY(m.showsReadyToFormat());
        d.card->write(added, bytes(size_t(100 << 10), 9998));
        QTRY_COMPARE(m.savedCard(), AppModel::SavedCard::changed);
        QCOMPARE(m.savedCardChanges().added, 1);
        QVERIFY(!m.showsReadyToFormat());

        // Taken away again, the card is as its saved check found it, until the photo is back.
        QVERIFY(std::filesystem::remove(later.path));
        QTRY_COMPARE(m.historyCount(), 1);
        m.showHistory(m.history().front().id.toString());
        QTRY_COMPARE(m.savedCard(), AppModel::SavedCard::unchanged);
        QVERIFY(m.showsReadyToFormat());
        d.card->write(added, bytes(size_t(100 << 10), 9998));
        QTRY_COMPARE(m.savedCard(), AppModel::SavedCard::changed);
        QVERIFY(!m.showsReadyToFormat());
        m.shutdown();
    }

    // A card whose files belong to another user, on a mount that records access times: for an
    // ordinary user the window says so as soon as the card is chosen, and before a check reads
    // anything of it, however the check starts: the new-card banner's Check Card, Re-check of its
    // result, an offered card's Check in the sidebar, Check from the menu at once after choosing
    // it, the start screen's Check. Remounted read-only and checked again, it says nothing of what
    // was done before. Root, whom O_NOATIME is granted on every file, is never told so.
    void aCardOfAnotherOwner() {
        std::unique_ptr<ZramVolume> card;
        try {
            card = std::make_unique<ZramVolume>(16ll << 20, "HVOTHER", "/mnt");
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        card->write("DCIM/100TEST/IMG_0001.JPG", bytes(size_t(64) << 10, 1));
        runAsRootOrThrow("chown -R 0:0 " + card->mountPoint());
        auto writable = qScopeGuard([&] { runAsRoot("mount -o remount,rw " + card->mountPoint()); });
        const bool told = playsUser();
        const std::string at = card->mountPoint();
        Harness h;
        h.shown->only.emplace();  // the card is inserted once the model runs
        AppModel& m = h.start(true);
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        m.addBackups({d.a->mountPoint() + "/Shoots"});
        // Each way is held at the check's first word, which it says before it reads the card.
        const auto saysBeforeReading = [&](const char* way, const std::function<void()>& start) {
            h.gate->holdAt(CheckLevel::standard, VerifyProgress::Stage::scanningSource);
            auto open = qScopeGuard([&] { h.gate->release(); });
            start();
            QTRY_VERIFY(h.gate->held());
            QCOMPARE(m.phase(), AppModel::Phase::Checking);
            QVERIFY2(m.cardAccessTimesNote().contains("Files on HVOTHER belong to another user") == told,
                     way);
            h.gate->release();
            QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
            QCOMPARE(m.report()->cardAccessTimes, told ? CardAccessTimes::otherOwner : CardAccessTimes::kept);
            QVERIFY(m.waitForIdle(kHangDetectorMs));
        };

        {
            std::lock_guard<std::mutex> hold(h.shown->lock);
            h.shown->only->insert(at);
        }
        m.refreshVolumes();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QVERIFY(m.newCard() && m.newCard()->volumePath == at);
        saysBeforeReading("new-card banner", [&] { m.checkNewCard(); });
        saysBeforeReading("re-check", [&] { m.check(QString()); });
        m.clearSource();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        const std::vector<VolumeInfo> offered = m.suggestedCards();
        const auto it = std::find_if(offered.begin(), offered.end(),
                                     [&](const VolumeInfo& v) { return v.volumePath == at; });
        QVERIFY(it != offered.end());
        saysBeforeReading("sidebar", [&] { m.useSuggestedCard(int(it - offered.begin())); });
        m.clearSource();
        saysBeforeReading("menu", [&] {
            m.setSource(at);
            m.check(QString());
        });
        m.clearSource();
        m.setSource(at);
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(m.cardAccessTimesNote().contains("Files on HVOTHER belong to another user"), told);
        saysBeforeReading("start screen", [&] { m.check(QString()); });

        runAsRootOrThrow("mount -o remount,ro " + card->mountPoint());
        m.check(std::optional<CheckLevel>());
        QCOMPARE(m.cardAccessTimesNote(), QString());
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(m.cardAccessTimesNote(), QString());
    }

    // A backup added before the device manager described its drive (an ordinary user knows no UUID
    // of it yet) stays connected once the UUID is known, through a restart and, its bookmark made
    // anew with the UUID, through a remount.
    void aBackupAddedBeforeItsUuidWasKnown() {
        if (!deviceManagerRuns()) QSKIP("no device manager (udev) runs here to describe the drive later");
        if (!playsUser()) QSKIP("root reads a drive's UUID from the drive itself, never later");
        std::unique_ptr<ZramVolume> late;
        try {
            late = std::make_unique<ZramVolume>(16ll << 20, "HVLATE", "/mnt");
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        const std::string backup = *late / "Archive";
        late->write("Archive/IMG_1000.JPG", "x");
        forgetInDeviceDatabase(late->device());
        Harness h;
        AppModel& m = h.start(true);
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        m.addBackups({backup});
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        refreshDeviceDatabase(late->device());
        m.refreshVolumes();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QVERIFY(m.unresolvedBackups().empty());
        for (bool remount : {false, true}) {
            if (remount) {
                h.model.reset();
                QCOMPARE(QString::fromStdString(late->unmountOnceFree()), QString());
                QCOMPARE(QString::fromStdString(late->remount()), QString());
            }
            AppModel& again = h.start(true);
            QVERIFY(again.waitForIdle(kHangDetectorMs));
            QCOMPARE(again.destinations(), std::vector<std::string>{backup});
            QVERIFY2(again.unresolvedBackups().empty(), remount ? "remounted" : "restarted");
        }
    }

    // A card name that is not UTF-8 beside its look-alike that holds a real U+FFFD, the same size
    // but other bytes: the check, the copy dialog, the real runner and the check after it each
    // keep the two apart, and every copy has its card file's own name and bytes.
    void rawNameBesideItsLookAlike() {
        std::unique_ptr<ZramVolume> card, backup;
        try {
            card = std::make_unique<ZramVolume>(32ll << 20, "HVRAWCARD", "/mnt");
            backup = std::make_unique<ZramVolume>(32ll << 20, "HVRAWBACK", "/mnt");
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        const std::string raw =
            "DCIM/100TEST/IMG_\xff"
            "01.JPG";
        const std::string lookAlike =
            "DCIM/100TEST/IMG_\xef\xbf\xbd"
            "01.JPG";
        const std::string rawBytes = bytes(300000, 1), lookAlikeBytes = bytes(300000, 2);
        card->write(raw, rawBytes);
        card->write(lookAlike, lookAlikeBytes);
        ::sync();

        Harness h;
        AppModel& m = h.start(true);
        m.setSource(card->mountPoint());
        m.addBackups({backup->mountPoint()});
        m.check(std::optional<CheckLevel>());
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        QCOMPARE(m.report()->totals.files, 2);
        QCOMPARE(m.report()->totals.missing, 2);

        m.requestCopyAllMissing();
        auto* sheet = qobject_cast<CopySheet*>(m.copySheet());
        QVERIFY(sheet);
        sheet->chooseLayout(CopySheet::Layout::card);
        sheet->setBaseFolder(QString());
        QVERIFY(sheet->waitForPlan(kHangDetectorMs));
        QVERIFY2(sheet->canCopy(), qPrintable(sheet->planError()));
        QCOMPARE(sheet->planCount(), 2);
        sheet->copy();
        QVERIFY(sheet->waitForRun(kHangDetectorMs));

        const auto report = sheet->copyReport();
        QVERIFY(report);
        QVERIFY(report->failed.empty());
        QCOMPARE(report->copiedCount(), 2);
        QCOMPARE(int(report->rows.size()), 2);
        for (const auto& row : report->rows)
            QCOMPARE(QString::fromStdString(row.status), QString(present::kCopiedStatus));
        QVERIFY(readFile(backup->mountPoint() + "/" + raw) == rawBytes);
        QVERIFY(readFile(backup->mountPoint() + "/" + lookAlike) == lookAlikeBytes);
        // "Show Files" of the report's folder reaches both copies by their own bytes.
        const QVariantList folders = sheet->reportView().value(QStringLiteral("folders")).toList();
        QCOMPARE(folders.size(), 1);
        m.revealPaths(folders.front().toMap().value(QStringLiteral("files")).toStringList());
        QCOMPARE(std::set<std::string>(h.reveal->revealed.back().begin(), h.reveal->revealed.back().end()),
                 (std::set<std::string>{backup->mountPoint() + "/" + raw,
                                        backup->mountPoint() + "/" + lookAlike}));

        // Done checks the card again: both backed up, each by the copy under its own name, then
        // verified byte for byte.
        QMetaObject::invokeMethod(sheet, "done");
        QTRY_COMPARE(m.phase(), AppModel::Phase::Checking);
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        QTRY_VERIFY(!m.deepVerifying() && m.report()->level == CheckLevel::verified);
        QCOMPARE(m.report()->totals.files, 2);
        QCOMPARE(m.report()->totals.verified, 2);
        for (const FileResult& f : m.report()->files) {
            QCOMPARE(int(f.copies.size()), 1);
            QCOMPARE(f.copies.front().relativePathBytes(), f.relativePathBytes());
            QVERIFY(!f.copies.front().renamed);
        }
        m.shutdown();
    }
};

QTEST_GUILESS_MAIN(ModelEndToEndTest)
#include "ModelEndToEndTest.moc"

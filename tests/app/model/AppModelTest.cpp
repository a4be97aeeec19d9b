// The model driven through scripted verifiers, volume listings and desktop services.
#include "ModelFixture.h"
#include "model/HistorySummaries.h"
#include "present/Paths.h"
#include "present/Sidebar.h"
#include "support/OtherUsersSys.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/statvfs.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace halvetrop;
using namespace halvetrop::test;

Q_DECLARE_METATYPE(std::vector<VolumeListing>)

namespace {

const std::vector<FileStatus> kAllVerified(6, FileStatus::verified);

// A model with one card and two backups chosen, after its first volume listing.
std::vector<std::string> paths(const QStringList& list) {
    std::vector<std::string> out;
    for (const QString& p : list) out.push_back(p.toStdString());
    return out;
}

std::vector<QUuid> idsOf(const std::vector<HistoryItem>& items) {
    std::vector<QUuid> ids;
    for (const HistoryItem& i : items) ids.push_back(i.id);
    return ids;
}

bool contains(const std::vector<std::string>& list, const std::string& path) {
    return std::find(list.begin(), list.end(), path) != list.end();
}

// Runs a check to its result; the automatic pass that may follow is left running.
void checkTo(Harness& h, AppModel& m, const VerifyReport& r) {
    size_t before = h.verifierCount();
    m.check(std::optional<CheckLevel>());
    QCOMPARE(h.verifierCount(), before + 1);
    h.verifier(before)->complete(r);
    QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
}

// A model that checked the card safe to format (with the volume UUID "6E1F-0A0B" when `uuid`),
// the check saved in its history.
AppModel& checkedSafe(Harness& h, bool uuid) {
    AppModel& m = ready(h);
    VerifyReport safe =
        makeReport(kCard, {"/backup/a", "/backup/b"}, {FileStatus::verified}, CheckLevel::verified);
    if (uuid) safe.source.volumeID = "6E1F-0A0B";
    checkTo(h, m, safe);
    [&] { QTRY_COMPARE(m.historyCount(), 1); }();
    return m;
}

// A model started again over the history of one check of the card against /backup/a and
// /backup/b, with the bookmarks of `gone` no longer resolving; the saved entry is read from the file.
AppModel& restartedWithSavedCheck(Harness& h, const QStringList& gone) {
    AppModel& m = ready(h);
    checkTo(h, m, makeReport(kCard, {"/backup/a", "/backup/b"}, {FileStatus::missing}));
    [&] { QTRY_COMPARE(m.historyCount(), 1); }();
    m.waitForIdle(kHangDetectorMs);
    h.bookmarks->gone = paths(gone);
    AppModel& again = h.start();
    [&] { QTRY_COMPARE(again.historyCount(), 1); }();
    again.waitForIdle(kHangDetectorMs);
    return again;
}

// A card whose reads stall: the first read waits until the test lets it go. Closes are counted.
class StallingSys : public Sys {
public:
    ssize_t read(int fd, void* buf, size_t count) override {
        std::unique_lock<std::mutex> hold(lock_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(hold, [&] { return released_; });
        hold.unlock();
        return Sys::read(fd, buf, count);
    }
    int close(int fd) override {
        ++closes;
        return Sys::close(fd);
    }
    bool waitEntered() {
        std::unique_lock<std::mutex> hold(lock_);
        return changed_.wait_for(hold, std::chrono::milliseconds(kHangDetectorMs), [&] { return entered_; });
    }
    void release() {
        std::lock_guard<std::mutex> hold(lock_);
        released_ = true;
        changed_.notify_all();
    }
    std::atomic<int> closes{0};

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool entered_ = false, released_ = false;
};

}  // namespace

class AppModelTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void firstStartWithEmptySettings() {
        Harness h;
        AppModel& m = h.start();
        QVERIFY(!m.source());
        QVERIFY(m.destinations().empty());
        QCOMPARE(m.kinds(), (std::set<MediaKind>{MediaKind::photo, MediaKind::video}));
        QCOMPARE(m.photoFormats(), PhotoFormats::all);
        QCOMPARE(m.requiredCopies(), 2);
        QVERIFY(!m.includeSidecars() && !m.includeProxies() && !m.scope().includeCameraData);
        QCOMPARE(m.phase(), AppModel::Phase::Setup);
        QCOMPARE(m.mode(), AppModel::Mode::Shoots);
        QCOMPARE(m.filter(), AppModel::FileFilter::All);
        QVERIFY(m.showInspector() && !m.gridView());
        QVERIFY(!m.selectedFolder().isNull() && m.selectedFolder().isEmpty());
        QSettings stored(h.settingsPath(), QSettings::IniFormat);
        QCOMPARE(stored.value("backups/size").toInt(), 0);
        QVERIFY(stored.contains("backups/size"));
    }

    // Every stored value is validated on reading; none makes the check looser than allowed.
    void storedValuesAreValidated_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("expected");
        QTest::newRow("kinds known and unknown")
            << "kinds" << QVariant(QStringList{"audio", "Photo"}) << "audio";
        QTest::newRow("kinds only unknown") << "kinds" << QVariant(QStringList{"raw", "x"}) << "photo,video";
        QTest::newRow("kinds empty") << "kinds" << QVariant(QStringList{}) << "photo,video";
        QTest::newRow("kinds one") << "kinds" << QVariant(QString("video")) << "video";
        QTest::newRow("kinds not text") << "kinds" << QVariant(42) << "photo,video";
        QTest::newRow("formats exact") << "photoFormats" << QVariant("rawOnly") << "rawOnly";
        QTest::newRow("formats wrong case") << "photoFormats" << QVariant("RAWONLY") << "all";
        QTest::newRow("copies zero") << "requiredCopies" << QVariant("0") << "2";
        QTest::newRow("copies negative") << "requiredCopies" << QVariant("-4") << "2";
        QTest::newRow("copies not a number") << "requiredCopies" << QVariant("two") << "2";
        QTest::newRow("copies fraction") << "requiredCopies" << QVariant("1.5") << "2";
        QTest::newRow("copies one") << "requiredCopies" << QVariant("1") << "1";
        QTest::newRow("copies above") << "requiredCopies" << QVariant("9") << "3";
        QTest::newRow("sidecars yes") << "includeSidecars" << QVariant("yes") << "false";
        QTest::newRow("sidecars true") << "includeSidecars" << QVariant("true") << "true";
    }
    void storedValuesAreValidated() {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QString, expected);
        Harness h;
        {
            QSettings s(h.settingsPath(), QSettings::IniFormat);
            s.setValue(key, stored);
        }
        AppModel& m = h.start();
        QString got;
        if (key == "kinds") {
            QStringList names = m.kindNames();
            names.sort();
            got = names.join(",");
        } else if (key == "photoFormats") {
            got = m.photoFormatsName();
        } else if (key == "requiredCopies") {
            got = QString::number(m.requiredCopies());
            m.setSource("/tmp");
            m.setCardOnly(true);
            m.check(std::optional<CheckLevel>());
            QCOMPARE(h.verifier(0)->request().requiredCopies, m.requiredCopies());
        } else {
            got = m.scope().includeSidecars ? "true" : "false";
        }
        QCOMPARE(got, expected);
    }

    // What one model stores, a fresh one reads back, including a backup whose drive is not
    // plugged in (kept with its path and its original bookmark) and cleaned paths.
    void settingsRoundTrip() {
        Harness h;
        AppModel& a = h.start();
        a.setKinds({MediaKind::audio, MediaKind::video});
        a.setPhotoFormats(PhotoFormats::processedOnly);
        a.addBackups({"/backup/one/", "/backup/./two", "/backup/x/../one", "relative/three"});
        QCOMPARE(a.destinations().size(), size_t(3));
        QCOMPARE(a.destinations()[0], std::string("/backup/one"));
        QCOMPARE(a.destinations()[1], std::string("/backup/two"));
        QVERIFY(a.destinations()[2].starts_with("/") && a.destinations()[2].ends_with("/relative/three"));
        h.bookmarks->gone = {"/backup/two"};  // unplugged before the next start

        AppModel& b = h.start();
        QCOMPARE(b.kinds(), (std::set<MediaKind>{MediaKind::audio, MediaKind::video}));
        QCOMPARE(b.photoFormats(), PhotoFormats::processedOnly);
        QCOMPARE(b.destinations().size(), size_t(3));
        QCOMPARE(b.destinations()[1], std::string("/backup/two"));
        QSettings stored(h.settingsPath(), QSettings::IniFormat);
        stored.beginReadArray("backups");
        stored.setArrayIndex(1);
        QCOMPARE(stored.value("bookmark").toByteArray(), QByteArray("fake:/backup/two"));
        stored.endArray();

        // Plugged in again: the backup is found where its volume is mounted now.
        QVERIFY(b.waitForIdle(kHangDetectorMs));
        QCOMPARE(b.unresolvedBackups(), std::set<std::string>{"/backup/two"});
        h.bookmarks->gone.clear();
        h.volumes->push(listing({volume("/", "root", false), volume("/media/u/TWO", "TWO", false)}));
        b.refreshVolumes();
        QVERIFY(b.waitForIdle(kHangDetectorMs));
        QVERIFY(b.unresolvedBackups().empty());
        QCOMPARE(b.destinations()[1], std::string("/backup/two"));

        // The card is never also a backup, whatever spelling reaches the model.
        b.setSource("/backup/one/.");
        QCOMPARE(b.destinations().size(), size_t(2));
        b.addBackups({"/backup/one"});
        QCOMPARE(b.destinations().size(), size_t(2));
    }

    // Only the current check reaches the model; a cancel returns to where the check came from.
    void supersededChecksAreDropped() {
        Harness h;
        AppModel& m = ready(h);
        *h.ignoreCancel = true;
        m.check(std::optional<CheckLevel>());
        auto a = h.verifier(0);
        QTRY_VERIFY(a->running());
        *h.ignoreCancel = false;
        m.check(std::optional<CheckLevel>());
        auto b = h.verifier(1);
        QVERIFY(a->cancelled());
        a->onProgress({VerifyProgress::Stage::done, "A", 9, 9});
        a->complete(makeReport(kCard, {"/backup/a", "/backup/b"}, {FileStatus::missing}));
        // Its outcome has reached the model (and was dropped) once only the current check runs.
        QVERIFY(m.waitForIdle(kHangDetectorMs, 1));
        QCOMPARE(m.phase(), AppModel::Phase::Checking);
        QVERIFY(!m.hasReport());
        QVERIFY(m.progress().detail != "A");
        b->onProgress({VerifyProgress::Stage::done, "B", 1, 1});
        QTRY_COMPARE(m.progress().detail, std::string("B"));
        b->complete(makeReport(kCard, {"/backup/a", "/backup/b"}, kAllVerified));
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        QCOMPARE(m.report()->totals.verified, 6);
    }

    void cancelReturnsToWhereTheCheckCameFrom_data() {
        QTest::addColumn<bool>("hadResult");
        QTest::addColumn<int>("expected");
        QTest::newRow("first check") << false << int(AppModel::Phase::Setup);
        QTest::newRow("re-check of a result") << true << int(AppModel::Phase::Results);
    }
    void cancelReturnsToWhereTheCheckCameFrom() {
        QFETCH(bool, hadResult);
        QFETCH(int, expected);
        Harness h;
        AppModel& m = ready(h);
        if (hadResult) checkTo(h, m, makeReport(kCard, {"/backup/a", "/backup/b"}, {FileStatus::missing}));
        size_t n = h.verifierCount();
        m.check(std::optional<CheckLevel>());
        QCOMPARE(m.phase(), AppModel::Phase::Checking);
        h.verifier(n)->fail(VerifyError::cancelled());
        QTRY_COMPARE(int(m.phase()), expected);
        QCOMPARE(m.hasReport(), hadResult);

        m.check(std::optional<CheckLevel>());
        h.verifier(n + 1)->fail(VerifyError::cannotRead(kCard, ENOENT));
        QTRY_COMPARE(m.phase(), AppModel::Phase::Failed);
        QVERIFY(m.failureText().startsWith("Can't read " + QString::fromStdString(kCard) + ": "));
    }

    // Stop asks only the running check to end, and the window goes back at once: before the run
    // has ended (it goes on past the cancel here, as a read stuck on a slow drive does), whose
    // outcome, when it comes, is dropped.
    void stopEndsOnlyTheCheck_data() { cancelReturnsToWhereTheCheckCameFrom_data(); }
    void stopEndsOnlyTheCheck() {
        QFETCH(bool, hadResult);
        QFETCH(int, expected);
        Harness h;
        AppModel& m = ready(h);
        std::shared_ptr<FakeVerifier> pass;
        if (hadResult) {
            checkTo(h, m, makeReport(kCard, {"/backup/a", "/backup/b"}, kAllVerified));
            QTRY_VERIFY(m.deepVerifying());
            pass = h.verifier(h.verifierCount() - 1);
            m.stopCheck();                        // no check runs: the pass goes on
            m.check(QStringLiteral("verified"));  // nor does asking for it again restart it
            QVERIFY(!pass->cancelled());
            QVERIFY(m.deepVerifying());
        }
        size_t n = h.verifierCount();
        *h.ignoreCancel = true;
        m.check(std::optional<CheckLevel>());
        *h.ignoreCancel = false;
        QCOMPARE(m.phase(), AppModel::Phase::Checking);
        // Every byte asked for while the check reads: the check goes on, not from its start.
        m.check(QStringLiteral("verified"));
        QCOMPARE(h.verifierCount(), n + 1);
        auto run = h.verifier(n);
        auto end = qScopeGuard([run] { run->fail(VerifyError::cancelled()); });  // however the case ends
        QVERIFY(!run->cancelled());
        QTRY_VERIFY(run->running());
        {
            const Watchdog waited(endRunHung("Stop waited for the check's run to end"));
            m.stopCheck();
        }
        QVERIFY(run->cancelled());
        QCOMPARE(int(m.phase()), expected);
        QCOMPARE(m.hasReport(), hadResult);
        run->complete(makeReport(kCard, {"/backup/a", "/backup/b"}, {FileStatus::missing}));
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(int(m.phase()), expected);
        QVERIFY(!hadResult || m.report()->totals.verified == 6);
        QCOMPARE(m.destinations().size(), size_t(2));
    }

    // A check and its first steps never wait behind what the model does by itself: with a reading
    // of the volumes and more descriptions than any of the model's pools runs at once all held
    // where they start, a check still starts, runs and ends.
    void aCheckNeverWaitsBehindBackgroundWork() {
        Harness h;
        AppModel& m = ready(h);
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        h.descriptions->hold(true);
        h.volumes->push(listing({volume("/", "root", false), volume(kCard, "CARD", true, true)}), true);
        auto open = qScopeGuard([&] {
            h.descriptions->hold(false);
            h.volumes->release();
        });
        m.refreshVolumes();
        for (int i = 0; i < 16; ++i) {
            const QString place = h.dir.filePath(QStringLiteral("place%1").arg(i));
            QVERIFY(QDir().mkpath(place));
            m.volumeInfo(present::pathKey(place.toStdString()));
        }
        QTRY_VERIFY(h.volumes->waiting() && h.descriptions->walking());
        const size_t n = h.verifierCount();
        m.check(std::optional<CheckLevel>());
        QTRY_VERIFY(h.verifier(n)->running());
        h.verifier(n)->complete(makeReport(kCard, {"/backup/a", "/backup/b"}, {FileStatus::missing}));
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        QVERIFY(h.volumes->waiting() && h.descriptions->walking());
        open.dismiss();
        h.descriptions->hold(false);
        h.volumes->release();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
    }

    // Clearing the card keeps the backups and whatever is on screen.
    void clearSourceKeepsEverythingElse() {
        Harness h;
        AppModel& m = ready(h);
        checkTo(h, m, makeReport(kCard, {"/backup/a", "/backup/b"}, {FileStatus::missing}));
        QSignalSpy source(&m, &AppModel::sourceChanged), can(&m, &AppModel::canCheckChanged);
        m.clearSource();
        QVERIFY(!m.source());
        QVERIFY(!m.canCheck() && !m.canScan());
        QCOMPARE(m.destinations().size(), size_t(2));
        QVERIFY(m.hasReport());
        QCOMPARE(m.phase(), AppModel::Phase::Results);
        QCOMPARE(source.count(), 1);
        QVERIFY(can.count() >= 1);
        m.clearSource();
        QCOMPARE(source.count(), 1);
        m.setSource(kCard);
        QVERIFY(m.canCheck());
    }

    // However fast progress comes, the model takes at most one per interval, and always "done".
    void progressIsThrottled() {
        Harness h;
        AppModel& m = ready(h);
        m.check(std::optional<CheckLevel>());
        QSignalSpy spy(&m, &AppModel::progressChanged);
        auto v = h.verifier(0);
        std::vector<std::thread> workers;
        for (int t = 0; t < 4; ++t)
            workers.emplace_back([v, t] {
                for (int i = 0; i < 2000; ++i)
                    v->onProgress({VerifyProgress::Stage::comparing, "", i, 2000 + t});
            });
        for (auto& w : workers) w.join();
        v->onProgress({VerifyProgress::Stage::done, "", 2000, 2000});
        QTRY_COMPARE(m.progress().stage, VerifyProgress::Stage::done);
        QVERIFY2(spy.count() < 100, qPrintable(QString::number(spy.count())));
    }

    // Live results from four threads are folded in batches; a downgrade ends "safe to format" at
    // the fold that sees it, and the pass's own report then replaces the history entry.
    void byteByBytePassFolds() {
        Harness h;
        AppModel& m = ready(h);
        std::vector<std::string> backups{"/backup/a", "/backup/b"};
        VerifyReport standard =
            makeReport(kCard, backups, std::vector<FileStatus>(400, FileStatus::backedUp));
        QVERIFY(standard.safeToFormat);
        // Totals that disagree with the files (as a saved report's may) are counted from the files
        // by the first fold, and then follow them.
        standard.totals.bytes += 1;
        checkTo(h, m, standard);
        QTRY_VERIFY(m.deepVerifying());
        QCOMPARE(h.verifierCount(), size_t(2));
        auto pass = h.verifier(1);
        QCOMPARE(pass->request().level, CheckLevel::verified);
        QCOMPARE(m.deepProgress().total, 400);
        QCOMPARE(m.historyCount(), 1);

        std::vector<std::thread> workers;
        for (int t = 0; t < 4; ++t)
            workers.emplace_back([&, t] {
                for (int i = t; i < 400; i += 4) {
                    FileResult r = standard.files[size_t(i)];
                    r.status = FileStatus::verified;
                    pass->onFile(r);
                }
            });
        for (auto& w : workers) w.join();
        QTRY_COMPARE(m.report()->totals.verified, 400);
        QVERIFY(m.report()->safeToFormat);
        QCOMPARE(m.fileByID(7)->status, FileStatus::verified);
        const auto recount = [&] {
            StatusCounts c;
            for (const FileResult& f : m.report()->files)
                if (f.inScope) c.add(f);
            return c;
        };
        QVERIFY(m.report()->totals == recount());

        FileResult bad = standard.files[3];
        bad.status = FileStatus::changed;
        bad.safeDrives = 0;
        pass->onFile(bad);
        QTRY_VERIFY(!m.report()->safeToFormat);
        QCOMPARE(m.report()->totals.problem, 1);
        QVERIFY(m.report()->totals == recount());

        VerifyReport verified = makeReport(kCard, backups, kAllVerified, CheckLevel::verified);
        pass->complete(verified);
        QTRY_VERIFY(!m.deepVerifying());
        QCOMPARE(m.report()->level, CheckLevel::verified);
        QCOMPARE(m.historyCount(), 1);
        QCOMPARE(m.history().front().report->summary().level, CheckLevel::verified);
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(h.verifierCount(), size_t(2));  // no pass after a pass
    }

    // A stopped pass, or one whose backups are not the shown report's, folds nothing more.
    void staleOrForeignLiveResultsAreNotFolded_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("stopped") << "stop";
        QTest::newRow("new check") << "check";
        QTest::newRow("history opened") << "history";
        QTest::newRow("backups in another order") << "order";
    }
    void staleOrForeignLiveResultsAreNotFolded() {
        QFETCH(QString, how);
        Harness h;
        AppModel& m = ready(h);
        std::vector<std::string> backups{"/backup/a", "/backup/b"};
        VerifyReport standard =
            makeReport(kCard, how == "order" ? std::vector<std::string>{backups[1], backups[0]} : backups,
                       {FileStatus::backedUp, FileStatus::backedUp});
        checkTo(h, m, standard);
        QTRY_VERIFY(m.deepVerifying());
        auto pass = h.verifier(1);
        QCOMPARE(pass->request().destinations, backups);
        if (how == "stop") m.stopDeepVerify();
        if (how == "check") m.check(std::optional<CheckLevel>());
        if (how == "history") {
            QTRY_COMPARE(m.historyCount(), 1);
            const quint64 serialBefore = m.reportSerial();
            m.showHistory(m.history().front().id.toString());
            // The saved result is read off the GUI thread; the pass stops when it is shown.
            QTRY_COMPARE(m.reportSerial(), serialBefore + 1);
        }
        QCOMPARE(m.deepVerifying(), how == "order");
        QCOMPARE(pass->cancelled(), how != "order");
        FileResult r = standard.files[0];
        r.status = FileStatus::missing;
        pass->onFile(r);
        QTest::qWait(600);
        QCOMPARE(m.report()->files[0].status, FileStatus::backedUp);
    }

    // New-card and removed-card detection, from one listing to the next.
    void newCardDetection_data() {
        QTest::addColumn<std::vector<VolumeListing>>("listings");
        QTest::addColumn<QString>("expected");  // name of newCard after the last listing, "" for none
        VolumeInfo root = volume("/", "root", false);
        VolumeInfo cam = volume("/media/u/CAM", "CAM", true, true);
        VolumeInfo stick = volume("/media/u/STICK", "STICK", true);
        VolumeInfo image = volume("/media/u/IMG", "IMG", true, false, true);
        VolumeInfo disk = volume("/mnt/DATA", "DATA", false);
        QTest::newRow("first listing") << std::vector{listing({root, cam})} << "";
        QTest::newRow("after an empty listing") << std::vector{listing({}), listing({root, cam})} << "";
        QTest::newRow("camera card") << std::vector{listing({root}), listing({root, cam})} << "CAM";
        QTest::newRow("any removable") << std::vector{listing({root}), listing({root, stick})} << "STICK";
        QTest::newRow("disk image") << std::vector{listing({root}), listing({root, image})} << "";
        QTest::newRow("internal disk") << std::vector{listing({root}), listing({root, disk})} << "";
        QTest::newRow("two new cards")
            << std::vector{listing({root}), listing({root, stick, cam})} << "STICK";
        QTest::newRow("a later one replaces")
            << std::vector{listing({root}), listing({root, cam}), listing({root, cam, stick})} << "STICK";
        QTest::newRow("removed again")
            << std::vector{listing({root}), listing({root, cam}), listing({root})} << "";
    }
    void newCardDetection() {
        QFETCH(std::vector<VolumeListing>, listings);
        QFETCH(QString, expected);
        Harness h;
        h.volumes->push(listings.front());
        AppModel& m = h.start();
        QTRY_COMPARE(m.volumes().size(), listings.front().volumes.size());
        for (size_t i = 1; i < listings.size(); ++i) {
            h.volumes->push(listings[i]);
            m.refreshVolumes();
            QVERIFY(m.waitForIdle(kHangDetectorMs));
        }
        QCOMPARE(m.newCard() ? QString::fromStdString(m.newCard()->name) : QString(), expected);
    }

    // Mounts that change while a listing runs make it stale: it stops where it is and is not shown,
    // and however many changes came meanwhile, one more listing follows it. Under mounts that keep
    // changing, the third listing in a row ends and is shown whatever changes meanwhile.
    void refreshesDuringAListing_data() {
        QTest::addColumn<int>("stopped");  // listings stopped in a row before the one that ends
        QTest::newRow("one change") << 1;
        QTest::newRow("changes all along") << 2;
    }
    void refreshesDuringAListing() {
        QFETCH(int, stopped);
        Harness h;
        const VolumeInfo root = volume("/", "root", false);
        h.volumes->push(listing({root}));
        AppModel& m = h.start();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        std::vector<size_t> shown;
        connect(&m, &AppModel::volumesChanged, &m, [&] { shown.push_back(m.volumes().size()); });
        // Listings of 2, 3... volumes: the size shown tells which one it was.
        auto sized = [&](size_t n) {
            std::vector<VolumeInfo> vs{root};
            for (size_t i = 1; i < n; ++i)
                vs.push_back(volume("/media/u/V" + std::to_string(i), "V" + std::to_string(i), true));
            return listing(vs);
        };
        const int held = stopped == 2 ? 3 : 1;
        for (int i = 0; i < held; ++i) h.volumes->push(sized(size_t(2 + i)), true);
        h.volumes->push(sized(size_t(2 + held)));
        const int before = h.volumes->asked();
        m.refreshVolumes();
        for (int i = 0; i < held; ++i) {
            QTRY_VERIFY(h.volumes->asked() == before + 1 + i && h.volumes->waiting());
            for (int k = 0; k < 5; ++k) m.refreshVolumes();
            QCOMPARE(h.volumes->asked(), before + 1 + i);  // none beside the one running
            h.volumes->release();
        }
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(h.volumes->asked(), before + held + 1);
        if (stopped == 1)
            QCOMPARE(shown, std::vector<size_t>{3});
        else
            QCOMPARE(shown, (std::vector<size_t>{4, 5}));
        QVERIFY(m.newCard());
    }

    // The card's volume going away: during a check, after a result, and for a folder inside it.
    void removedCard_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("card");
        QTest::addColumn<QString>("notice");
        QTest::newRow("during a check")
            << "checking" << QString::fromStdString(kCard)
            << "“CARD” was removed during the check. Insert it again to check it.";
        QTest::newRow("result shown")
            << "results" << QString::fromStdString(kCard)
            << "“CARD” ejected — you can remove it. Its result is saved in Recent checks.";
        QTest::newRow("folder on the card, no result")
            << "setup" << QString::fromStdString(kCard + "/DCIM") << "";
    }
    void removedCard() {
        QFETCH(QString, state);
        QFETCH(QString, card);
        QFETCH(QString, notice);
        Harness h;
        AppModel& m = ready(h);
        m.setSource(card.toStdString());
        if (state != "setup") m.check(std::optional<CheckLevel>());
        if (state == "results") {
            h.verifier(0)->complete(makeReport(kCard, {"/backup/a", "/backup/b"}, {FileStatus::missing}));
            QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        }
        RunningCopy copy;
        bool copyCancelled = false;
        copy.cancel = [&] { copyCancelled = true; };
        if (state == "results") m.copyStarted(copy);
        h.volumes->push(listing({volume("/", "root", false)}));
        m.refreshVolumes();
        QTRY_VERIFY(!m.source());
        QCOMPARE(m.phase(), AppModel::Phase::Setup);
        QCOMPARE(m.noticeText(), notice);
        if (state == "checking") QVERIFY(h.verifier(0)->cancelled());
        QCOMPARE(copyCancelled, state == "results");
    }

    // Eject stops the pass first, ignores a second request, and reports a failure's reason; without
    // the disk service it says only that, and names the disk tool instead of closing files.
    void eject_data() {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("noService");
        QTest::addColumn<QString>("notice");
        QTest::newRow("success") << QString() << false << QString();
        QTest::newRow("refused")
            << "Device is busy" << false
            << "Couldn't eject “CARD”: Device is busy. Close anything using the card and try again.";
        QTest::newRow("no disk service")
            << "Eject needs the UDisks2 service" << true
            << "Couldn't eject “CARD”: Eject needs the UDisks2 service. Eject it in Disks instead.";
        // A refusal without a reason still makes a whole sentence.
        QTest::newRow("refused without a reason")
            << " " << false << "Couldn't eject “CARD”. Close anything using the card and try again.";
    }
    void eject() {
        QFETCH(QString, reason);
        QFETCH(bool, noService);
        QFETCH(QString, notice);
        Harness h;
        AppModel& m = ready(h);
        checkTo(h, m, makeReport(kCard, {"/backup/a", "/backup/b"}, kAllVerified));
        QTRY_VERIFY(m.deepVerifying());
        QVERIFY(m.canEjectSource());
        m.ejectSource();
        m.ejectSource();
        QVERIFY(m.ejecting() && !m.deepVerifying());
        QVERIFY(h.verifier(1)->cancelled());
        // A result ready to format is ejected once the card is seen still to be as it says.
        QTRY_COMPARE(h.ejector->asked, std::vector<std::string>{kCard});
        QVERIFY(m.ejecting());
        h.volumes->push(listing({volume("/", "root", false)}));
        using Kind = EjectFailure::Kind;
        h.ejector->finish(reason.isEmpty() ? std::nullopt
                                           : std::optional<EjectFailure>(
                                                 {noService ? Kind::noService : Kind::refused, reason}));
        QVERIFY(!m.ejecting());
        if (reason.isEmpty()) {
            QTRY_VERIFY(!m.source());
            QVERIFY(m.noticeOk());
        } else {
            QCOMPARE(m.noticeText(), notice);
            QVERIFY(!m.noticeOk());
            QVERIFY(m.source() && m.hasReport());
        }
    }

    // An eject asked while a listing of the card walks it (its folders open: the unmount would fail
    // as busy) waits until the listing is back.
    void ejectWaitsForTheCardListing() {
        Harness h;
        AppModel& m = ready(h);
        checkTo(h, m,
                makeReport(kCard, {"/backup/a", "/backup/b"}, {FileStatus::missing}, CheckLevel::verified));
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        h.listings->hold(true);
        m.lookAtCardAgain();
        QTRY_VERIFY(h.listings->walking());
        m.ejectSource();
        QVERIFY(m.ejecting());
        // Everything the eject set going has run, but for the listing it waits for.
        QVERIFY(m.waitForIdle(kHangDetectorMs, 1));
        QVERIFY(h.listings->walking());
        QVERIFY(h.ejector->asked.empty());
        h.listings->hold(false);
        QTRY_COMPARE(h.ejector->asked, std::vector<std::string>{kCard});
    }

    // A text preview stalled on a failing card is cancelled before an eject: once its read comes
    // back it closes the file and delivers nothing. Without an eject the words arrive.
    void ejectCancelsAPendingTextRead_data() {
        QTest::addColumn<bool>("eject");
        QTest::newRow("eject") << true;
        QTest::newRow("no eject") << false;
    }
    void ejectCancelsAPendingTextRead() {
        QFETCH(bool, eject);
        Harness h;
        AppModel& m = ready(h);
        checkTo(h, m, makeReport(kCard, {"/backup/a", "/backup/b"}, kAllVerified));
        QFile notes(h.dir.filePath("notes.txt"));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("Card notes\n") > 0);
        notes.close();
        StallingSys card;
        m.fileRows()->setSys(card);
        QSignalSpy loaded(m.fileRows(), &FileRows::textLoaded);
        m.fileRows()->loadText(QUrl::fromLocalFile(notes.fileName()));
        QVERIFY(card.waitEntered());
        if (eject) {
            QVERIFY(m.canEjectSource());
            m.ejectSource();
            QVERIFY(m.ejecting());
        }
        card.release();
        QTRY_COMPARE(card.closes.load(), 1);
        if (eject) {
            // The read's answer has come back (its watcher let go), and said nothing.
            QTRY_VERIFY(m.fileRows()->findChildren<QFutureWatcherBase*>().isEmpty());
            QCOMPARE(loaded.count(), 0);
        } else {
            QTRY_COMPARE(loaded.count(), 1);
            QCOMPARE(loaded.at(0).at(1).toString(), QStringLiteral("Card notes\n"));
        }
        m.fileRows()->setSys(defaultSys());
        if (eject) h.ejector->finish(std::nullopt);
    }

    // A preview that cannot keep a card file's access time (another user's file on a mount that
    // records them) makes the result say what a check says of such a card: of the shown card's
    // files only, once, and not where the mount records nothing. A result whose check said it
    // already keeps its own words.
    void previewReadsThatChangeAccessTimesAreSaid_data() {
        QTest::addColumn<bool>("records");
        QTest::newRow("relatime") << true;
        QTest::newRow("read-only") << false;
    }
    void previewReadsThatChangeAccessTimesAreSaid() {
        QFETCH(bool, records);
        Harness h;
        AppModel& m = ready(h);
        const std::string card = h.dir.filePath("CARD").toStdString();
        QVERIFY(QDir().mkpath(QString::fromStdString(card)));
        const QString inside = QString::fromStdString(card) + "/notes.txt",
                      outside = h.dir.filePath("other.txt");
        for (const QString& path : {inside, outside}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("words\n") > 0);
        }
        VerifyReport r = makeReport(card, {"/backup/a", "/backup/b"}, kAllVerified);
        r.source.name = "CARD";
        checkTo(h, m, r);
        QCOMPARE(m.cardAccessTimesNote(), QString());
        QSignalSpy changed(&m, &AppModel::cardAccessTimesChanged);
        OtherUsersSys other(records ? ST_RELATIME : ST_RDONLY);
        m.fileRows()->setSys(other);
        QSignalSpy loaded(m.fileRows(), &FileRows::textLoaded);
        for (const QString& path : {outside, inside, inside}) {
            m.fileRows()->loadText(QUrl::fromLocalFile(path));
            QVERIFY(loaded.wait(kHangDetectorMs));
            QCOMPARE(loaded.last().at(1).toString(), QStringLiteral("words\n"));
        }
        m.fileRows()->setSys(defaultSys());
        const QString otherUser = QStringLiteral(
            "Files on CARD belong to another user, so its file system updates their access times as they are "
            "read. To leave the card untouched, mount it read-only (mount -o ro).");
        QCOMPARE(m.cardAccessTimesNote(), records ? otherUser : QString());
        QCOMPARE(changed.count(), records ? 1 : 0);

        r.cardAccessTimes = CardAccessTimes::fuseReadWrite;
        checkTo(h, m, r);
        QCOMPARE(m.cardAccessTimesNote(), QString::fromStdString(*r.accessTimesNote()));
        checkTo(h, m, makeReport(kCard, {"/backup/a", "/backup/b"}, kAllVerified));
        QCOMPARE(m.cardAccessTimesNote(), QString());
    }

    // The access-time note says what is being done to the card, and belongs to its mounted volume:
    // a check says it from its first such read on, and its result keeps it; the card checked again
    // (remounted read-only) gets no note of what was done before, a preview's included; another
    // volume mounted at the card's place is not named by what was done to the card.
    void accessTimesNoteFollowsTheCheckAndItsVolume() {
        Harness h;
        AppModel& m = ready(h);
        const std::string card = h.dir.filePath("CARD").toStdString();
        QVERIFY(QDir().mkpath(QString::fromStdString(card)));
        m.setSource(card);
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        const std::vector<std::string> backups{"/backup/a", "/backup/b"};
        const QString otherUser = QStringLiteral(" belong to another user");
        m.check(std::optional<CheckLevel>());
        QTRY_VERIFY(h.verifier(0)->running());
        QCOMPARE(m.cardAccessTimesNote(), QString());
        h.verifier(0)->onAccessTimes(CardAccessTimes::otherOwner);
        QTRY_VERIFY(m.cardAccessTimesNote().contains(otherUser));
        QCOMPARE(m.phase(), AppModel::Phase::Checking);
        VerifyReport touched = makeReport(card, backups, kAllVerified, CheckLevel::verified);
        touched.cardAccessTimes = CardAccessTimes::otherOwner;
        h.verifier(0)->complete(touched);
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        QVERIFY(m.cardAccessTimesNote().contains(otherUser));
        m.noteAccessTimeTouched(card + "/DCIM/IMG_0.JPG");

        checkTo(h, m, makeReport(card, backups, kAllVerified, CheckLevel::verified));
        QCOMPARE(m.cardAccessTimesNote(), QString());
        m.noteAccessTimeTouched(card + "/DCIM/IMG_0.JPG");
        QVERIFY(m.cardAccessTimesNote().contains(otherUser));
        {
            std::lock_guard<std::mutex> hold(h.described->lock);
            h.described->change = [](VolumeInfo& v) { v.mountID = *v.mountID + 1; };
        }
        h.monitor->fire();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(m.cardAccessTimesNote(), QString());
    }

    // "Still mounted" comes from the mount table: a folder that outlived its drive is no proof.
    void ejectNeedsAMountedCard() {
        Harness h;
        QTemporaryDir leftover;
        h.volumes->push(listing({volume("/", "root", false)}));
        AppModel& m = h.start();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        m.setSource(leftover.path().toStdString());
        m.setCardOnly(true);
        m.check(std::optional<CheckLevel>());
        h.verifier(0)->complete(makeReport(leftover.path().toStdString(), {}, {FileStatus::missing}));
        QTRY_VERIFY(m.hasReport());
        QVERIFY(!m.canEjectSource());
        VolumeListing l = listing({volume("/", "root", false)});
        l.mountPoints.insert(leftover.path().toStdString());
        h.volumes->push(l);
        m.refreshVolumes();
        QTRY_VERIFY(m.canEjectSource());
    }

    // While a copy runs nothing that reads the card starts; its end enables them again.
    void copyingDisablesChecksAndEject() {
        Harness h;
        AppModel& m = ready(h);
        checkTo(h, m,
                makeReport(kCard, {"/backup/a", "/backup/b"}, {FileStatus::missing, FileStatus::verified}));
        m.requestCopyAllMissing();
        QVERIFY(m.copyRequest() && !m.deepVerifying());
        QCOMPARE(m.copyRequest()->fileIDs, std::vector<int64_t>{0});
        m.copyStarted({[] {}, [] {}});
        size_t n = h.verifierCount();
        QVERIFY(!m.canCheck() && !m.canScan() && !m.canEjectSource());
        m.check(std::optional<CheckLevel>());
        m.check(QStringLiteral("verified"));
        m.ejectSource();
        QCOMPARE(h.verifierCount(), n);
        QVERIFY(h.ejector->asked.empty());
        m.copyEnded();
        QVERIFY(m.canCheck() && m.canEjectSource());
    }

    // The model owns the copy dialog of its request: made with it, gone with it, never replaced
    // while a copy runs.
    void copySheetLivesWithTheRequest() {
        Harness h;
        AppModel& m = ready(h);
        checkTo(h, m, makeReport(kCard, {"/backup/a"}, {FileStatus::missing}));
        m.requestCopyAllMissing();
        QPointer<QObject> sheet = m.copySheet();
        QVERIFY(sheet);
        QCOMPARE(sheet->property("title").toString(), m.copyRequestTitle());
        m.copyStarted({[] {}, [] {}});
        m.requestCopyAllMissing();
        QCOMPARE(m.copySheet(), sheet.data());
        m.copyEnded();
        QMetaObject::invokeMethod(sheet, "cancel");
        QVERIFY(!m.hasCopyRequest() && !m.copySheet());
        QTRY_VERIFY(!sheet);
    }

    // "Check against another backup": its picker opens at the mount root; the card is left out.
    void checkAgainstAnotherBackup() {
        Harness h;
        QTemporaryDir card;
        h.volumes->push(listing({volume("/", "root", false)}));
        AppModel& m = h.start();
        m.setSource(card.path().toStdString());
        m.addBackups({"/backup/a"});
        h.picker->answers.push_back({card.path().toStdString(), "/backup/a/", "/backup/c"});
        m.checkAgainstBackup(true);
        QCOMPARE(h.picker->calls.back().startingAt, std::optional<std::string>("/media"));
        QVERIFY(h.picker->calls.back().multiple);
        QCOMPARE(m.destinations(), (std::vector<std::string>{"/backup/a", "/backup/c"}));
        QCOMPARE(m.phase(), AppModel::Phase::Checking);

        // A card whose own path is not UTF-8 is there, by its bytes, while it is mounted; the
        // text of that path names nothing.
        const std::string raw = card.path().toStdString() + "/CARD\xff";
        QVERIFY(std::filesystem::create_directory(raw));
        m.setSource(raw);
        h.picker->answers.push_back({"/backup/d"});
        m.checkAgainstBackup(false);
        QCOMPARE(h.picker->calls.size(), size_t(2));
        QCOMPARE(m.destinations(), (std::vector<std::string>{"/backup/d"}));
        QCOMPARE(m.phase(), AppModel::Phase::Checking);
        QCOMPARE(h.verifier(h.verifierCount() - 1)->request().source, raw);
        std::filesystem::remove(raw);  // QTemporaryDir removes only what a QString can name

        m.setSource("/nowhere/CARD");
        m.checkAgainstBackup(false);
        QCOMPARE(m.noticeText(), QString("Insert \u201cCARD\u201d to check it against another backup."));
        QCOMPARE(h.picker->calls.size(), size_t(2));
    }

    // Which requests start a check, and at which level.
    void checkGuards_data() {
        QTest::addColumn<bool>("card");
        QTest::addColumn<bool>("backups");
        QTest::addColumn<bool>("cardOnly");
        QTest::addColumn<bool>("kinds");
        QTest::addColumn<QString>("level");
        QTest::addColumn<int>("backupsInRequest");  // -1: no check starts
        QTest::newRow("card and backups") << true << true << false << true << "" << 2;
        QTest::newRow("verified without a result") << true << true << false << true << "verified" << 2;
        QTest::newRow("no card") << false << true << false << true << "" << -1;
        QTest::newRow("no backups") << true << false << false << true << "" << -1;
        QTest::newRow("card only without backups") << true << false << true << true << "" << 0;
        QTest::newRow("card only leaves backups out") << true << true << true << true << "" << 0;
        QTest::newRow("no kinds") << true << true << false << false << "" << -1;
    }
    void checkGuards() {
        QFETCH(bool, card);
        QFETCH(bool, backups);
        QFETCH(bool, cardOnly);
        QFETCH(bool, kinds);
        QFETCH(QString, level);
        QFETCH(int, backupsInRequest);
        Harness h;
        AppModel& m = h.start();
        if (card) m.setSource(kCard);
        if (backups) m.addBackups({"/backup/a", "/backup/b"});
        m.setCardOnly(cardOnly);
        if (!kinds) m.setKinds({});
        m.check(level);
        QCOMPARE(int(h.verifierCount()), backupsInRequest < 0 ? 0 : 1);
        if (backupsInRequest < 0) return;
        const VerifyRequest& r = h.verifier(0)->request();
        QCOMPARE(int(r.destinations.size()), backupsInRequest);
        QCOMPARE(r.level, CheckLevel::standard);
        QCOMPARE(m.level(), CheckLevel::standard);
        QCOMPARE(m.access().open().size(), size_t(1 + backupsInRequest));
        QCOMPARE(m.phase(), AppModel::Phase::Checking);
    }

    // A newer notice is not cut short by the older one's timer; each goes after its own time.
    void noticeTimers() {
        Harness h;
        AppModel& m = h.start();
        QElapsedTimer t;
        t.start();
        m.show("success", true);
        QTRY_VERIFY(!m.hasNotice());
        QVERIFY(t.elapsed() >= 3900);
        m.show("first", true);
        QTest::qWait(300);  // the first's timer runs out while the second is shown
        t.restart();
        m.show("second", false);
        QTRY_VERIFY(!m.hasNotice());
        QVERIFY2(t.elapsed() >= 7900, qPrintable(QString::number(t.elapsed())));
    }

    // A notice always has words: one without any is refused, and the notice shown stays.
    void emptyNoticesAreRefused() {
        Harness h;
        AppModel& m = h.start();
        QSignalSpy changed(&m, &AppModel::noticeChanged);
        for (const QString& nothing : {QString(), QStringLiteral(""), QStringLiteral(" \t\n")})
            m.show(nothing, false);
        QVERIFY(!m.hasNotice());
        QCOMPARE(changed.count(), 0);
        m.show(QStringLiteral("said"), true);
        m.show(QString(), false);
        QCOMPARE(m.noticeText(), QStringLiteral("said"));
        QVERIFY(m.noticeOk());
    }

    // The model's side of preview, reveal and export on a card whose files exist.
    void previewAndExport() {
        Harness h;
        QTemporaryDir card, backup;
        QDir(card.path()).mkpath("DCIM");
        QDir(backup.path()).mkpath("DCIM");
        VerifyReport r = makeReport(card.path().toStdString(), {backup.path().toStdString()},
                                    {FileStatus::verified, FileStatus::missing});
        for (const auto& f : r.files) {
            QFile(card.filePath(QString::fromStdString(f.relativePath))).open(QIODevice::WriteOnly);
            if (!f.copies.empty())
                QFile(backup.filePath(QString::fromStdString(f.relativePath))).open(QIODevice::WriteOnly);
        }
        h.volumes->push(listing({volume("/", "root", false)}));
        AppModel& m = h.start();
        m.setSource(card.path().toStdString());
        m.addBackups({backup.path().toStdString()});
        checkTo(h, m, r);
        QCOMPARE(m.sourceURL(0).toLocalFile(), card.filePath("DCIM/IMG_0.JPG"));
        QCOMPARE(m.copyURL(0).toLocalFile(), backup.filePath("DCIM/IMG_0.JPG"));
        QVERIFY(m.copyURL(1).isEmpty());
        m.quickLook(0);
        QVERIFY(m.previewOpen());
        QCOMPARE(m.previewUrls().size(), 2);
        m.quickLook(0);
        QVERIFY(!m.previewOpen());
        m.quickLook(1);
        QCOMPARE(m.previewUrls().size(), 1);

        h.savePicker->answer = "/proc/no-such-folder/report.csv";
        m.exportCSV();
        QVERIFY(m.hasNotice() && !m.noticeOk());
        QVERIFY(m.noticeText().contains("report.csv"));
        h.savePicker->answer = card.filePath("report.csv").toStdString();
        m.exportCSV();
        QVERIFY(QFileInfo(card.filePath("report.csv")).size() > 0);
        QVERIFY(h.savePicker->lastSuggestedName.endsWith(".csv"));
    }

    // "Show" of the folder map: the browser on a folder's files that are not backed up. The whole
    // card ("") is a restriction the browser names by the card; a shoot chosen before goes.
    void showNotBackedUpOfAFolder_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("visible");
        QTest::newRow("the whole card") << "" << 2;
        QTest::newRow("a folder") << "DCIM" << 2;
        QTest::newRow("a folder without them") << "MISC" << 0;
    }
    void showNotBackedUpOfAFolder() {
        QFETCH(QString, folder);
        QFETCH(int, visible);
        Harness h;
        AppModel& m = ready(h);
        checkTo(h, m,
                makeReport(kCard, {"/backup/a"},
                           {FileStatus::verified, FileStatus::missing, FileStatus::conflict}));
        m.showFiles(m.report() ? QString::fromStdString(m.report()->groups.front().id()) : QString(), false);
        QVERIFY(!m.groupFilterID().isEmpty());
        m.showNotBackedUp(folder);
        QVERIFY(m.hasFolderFilter());
        QCOMPARE(m.folderFilterText(), folder);
        QVERIFY(m.groupFilterID().isEmpty());
        QCOMPARE(m.mode(), AppModel::Mode::Files);
        QCOMPARE(m.filter(), AppModel::FileFilter::NotBackedUp);
        QCOMPARE(m.visibleFileCount(), visible);
        m.backToShoots();
        QVERIFY(!m.hasFolderFilter());
    }

    // A selection stays only where the shown report holds it: the pass's report names the same
    // file by another id, a re-check's filter no longer lists it, another card holds neither it
    // nor its folder. What is not held falls back to the whole card and no file.
    void aSelectionStaysOnlyWhereTheReportHoldsIt() {
        Harness h;
        AppModel& m = ready(h);
        const std::vector<std::string> backups{"/backup/a", "/backup/b"};
        const auto counted = [](VerifyReport r) {
            r.totals = {};
            for (const FileResult& f : r.files) r.totals.add(f);
            return r;
        };
        VerifyReport first = makeShoots(kCard, backups, 6, 3, FileStatus::backedUp);
        first.files[4].status = FileStatus::missing;  // DCIM/101/IMG_4.JPG
        checkTo(h, m, counted(first));
        QTRY_VERIFY(m.deepVerifying());
        m.setFilter(AppModel::FileFilter::NotBackedUp);
        m.setSelectedFolder(present::pathKey("DCIM/101"));
        m.setSelectedFileID(4);

        VerifyReport pass = first;
        pass.level = CheckLevel::verified;
        std::reverse(pass.files.begin(), pass.files.end());
        for (size_t i = 0; i < pass.files.size(); ++i) pass.files[i].id = int64_t(i);
        for (ShootGroup& g : pass.groups)
            for (int64_t& id : g.fileIDs) id = int64_t(pass.files.size()) - 1 - id;
        h.verifier(h.verifierCount() - 1)->complete(counted(pass));
        QTRY_VERIFY(!m.deepVerifying());
        QCOMPARE(m.selectedFileID(), qint64(1));
        QCOMPARE(m.selectedFolder(), present::pathKey("DCIM/101"));

        VerifyReport again = counted(first);
        again.files[4].status = FileStatus::backedUp;
        checkTo(h, m, counted(again));
        QCOMPARE(m.selectedFileID(), qint64(-1));
        QCOMPARE(m.selectedFolder(), present::pathKey("DCIM/101"));

        m.setSelectedFileID(0);
        checkTo(h, m, makeReport(kCard, backups, {FileStatus::missing, FileStatus::missing}));
        QCOMPARE(m.selectedFolder(), QString());
        QCOMPARE(m.selectedFileID(), qint64(-1));
    }

    // A description of a volume is kept only while its volume is mounted.
    void volumeCacheForgetsVolumesThatLeft() {
        Harness h;
        QTemporaryDir folder;
        std::string path = folder.path().toStdString();
        VolumeListing withIt = listing({volume("/", "root", false)});
        withIt.mountPoints.insert(path);
        h.volumes->push(withIt);
        AppModel& m = h.start();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QVERIFY(m.volumeInfo(folder.path()).isEmpty());
        QTRY_VERIFY(m.cachedVolumeInfo(path));
        QVERIFY(!m.volumeInfo(folder.path()).isEmpty());
        h.volumes->push(listing({volume("/", "root", false)}));
        m.refreshVolumes();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QVERIFY(!m.cachedVolumeInfo(path));
        QVERIFY(m.volumeInfo("/no/such/place").isEmpty());
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QVERIFY(!m.cachedVolumeInfo("/no/such/place"));
    }

    // A saved result opens without a check, on the card and the saved backups; the backups chosen
    // before never stay, and the card is never also a backup. A saved backup whose drive is away
    // stays one, not connected, on screen and in the stored settings, until its drive returns.
    // A saved result is read off the GUI thread: one asked for and then left before it was read
    // (the results closed, or another asked for) is never shown.
    void aSavedResultLeftBeforeItIsReadIsNotShown() {
        Harness h;
        AppModel& m = restartedWithSavedCheck(h, {});
        const QString id = m.history().front().id.toString();
        m.showHistory(id);
        m.resetResults();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QVERIFY(!m.hasReport());
        QCOMPARE(m.phase(), AppModel::Phase::Setup);
        const quint64 serial = m.reportSerial();
        m.showHistory(id);
        m.showHistory(id);
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(m.reportSerial(), serial + 1);
    }

    // Whatever else than a file lies where the history's summaries are kept (a fifo, a folder, a
    // link to a fifo) holds nothing up: the history loads, a new check is saved, and quitting
    // finds nothing left to wait for. No fifo is ever opened, so none ever waits for a writer.
    void somethingElseAtTheSummariesPlace_data() {
        QTest::addColumn<QString>("place");
        for (const char* place : {"fifo", "folder", "link to a fifo"}) QTest::newRow(place) << place;
    }
    void somethingElseAtTheSummariesPlace() {
        QFETCH(QString, place);
        Harness h;
        checkTo(h, ready(h), makeReport(kCard, {"/backup/a", "/backup/b"}, {FileStatus::missing}));
        QVERIFY(h.model->waitForIdle(kHangDetectorMs));
        const QString beside = summariesPath(h.historyPath());
        const QString fifo = place == "fifo" ? beside : h.dir.filePath("elsewhere.fifo");
        QVERIFY(QFile::remove(beside));
        if (place == "folder") QVERIFY(QDir().mkdir(beside));
        if (place != "folder") QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        if (place == "link to a fifo") QVERIFY(QFile::link(fifo, beside));
        const int opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(opens >= 0);
        auto closeOpens = qScopeGuard([opens] { ::close(opens); });
        QVERIFY(::inotify_add_watch(opens, QFile::encodeName(place == "folder" ? beside : fifo).constData(),
                                    IN_OPEN | IN_ACCESS) >= 0);

        AppModel& m = h.start();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QVERIFY(m.historyLoaded());
        QCOMPARE(m.historyCount(), 1);
        m.setSource(kCard);
        checkTo(h, m, makeReport("/media/u/OTHER", {"/backup/a", "/backup/b"}, {FileStatus::missing}));
        QCOMPARE(m.historyCount(), 2);
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        m.shutdown();
        QCOMPARE(idsOf(readHistoryFile(h.historyPath(), 1).decoded.items), idsOf(m.history()));
        // The fifo was never opened nor read: it is left where it is.
        alignas(inotify_event) char notices[4096];
        const ssize_t got = ::read(opens, notices, sizeof notices);
        for (ssize_t at = 0; at < got;) {
            const auto* notice = reinterpret_cast<const inotify_event*>(notices + at);
            QCOMPARE(notice->mask & (IN_OPEN | IN_ACCESS), 0u);
            at += ssize_t(sizeof(inotify_event) + notice->len);
        }
    }

    void savedResultOpensWithoutACheck_data() {
        QTest::addColumn<QStringList>("gone");
        QTest::addColumn<bool>("cardWasABackup");
        QTest::newRow("backups mounted") << QStringList{} << false;
        QTest::newRow("one backup unplugged") << QStringList{"/backup/a"} << false;
        QTest::newRow("backups unplugged") << QStringList{"/backup/a", "/backup/b"} << false;
        QTest::newRow("card chosen as a backup before") << QStringList{"/backup/a", "/backup/b"} << true;
    }
    void savedResultOpensWithoutACheck() {
        QFETCH(QStringList, gone);
        QFETCH(bool, cardWasABackup);
        const std::vector<std::string> saved{"/backup/a", "/backup/b"};
        const std::vector<std::string> goneList = paths(gone);
        const std::set<std::string> away(goneList.begin(), goneList.end());
        Harness h;
        AppModel& again = restartedWithSavedCheck(h, gone);
        again.setSource("/elsewhere");
        again.removeBackup("/backup/a");
        again.addBackups({"/backup/other"});
        if (cardWasABackup) again.addBackups({kCard});
        size_t checks = h.verifierCount();
        again.showHistory(again.history().front().id.toString());
        QTRY_COMPARE(again.phase(), AppModel::Phase::Results);
        QCOMPARE(again.source(), std::optional<std::string>(kCard));
        QVERIFY(!contains(again.destinations(), kCard));
        QVERIFY(again.waitForIdle(kHangDetectorMs));
        QCOMPARE(again.destinations(), saved);
        QCOMPARE(again.unresolvedBackups(), away);
        QCOMPARE(h.verifierCount(), checks);
        QVERIFY(!again.deepVerifying());

        AppModel& next = h.start();
        QVERIFY(next.waitForIdle(kHangDetectorMs));
        QCOMPARE(next.destinations(), saved);
        QCOMPARE(next.unresolvedBackups(), away);
        h.bookmarks->gone.clear();
        h.volumes->push(listing({volume("/", "root", false), volume(kCard, "CARD", true, true),
                                 volume("/backup", "backup", true)}));
        next.refreshVolumes();
        QVERIFY(next.waitForIdle(kHangDetectorMs));
        QCOMPARE(next.destinations(), saved);
        QVERIFY(next.unresolvedBackups().empty());
    }

    // A saved "safe to format" result held against what is at its card's place now: the card
    // itself unchanged or changed since, another card of the same name (another UUID), one that
    // cannot be told apart (no UUID, another mount), or none. Only the card itself is described,
    // ejected and checked again, and only unchanged does it get the ready-to-format panel; any
    // other re-check, from the toolbar or the menus, asks for the card and records nothing.
    void savedResultAndTheCardAtItsPlace_data() {
        QTest::addColumn<QString>("place");  // "card", "another", "cannotTell", "none"
        QTest::addColumn<int>("addedSince");
        QTest::addColumn<int>("state");  // AppModel::SavedCard
        QTest::newRow("the card, unchanged") << "card" << 0 << int(AppModel::SavedCard::unchanged);
        QTest::newRow("the card, a file added since") << "card" << 1 << int(AppModel::SavedCard::changed);
        QTest::newRow("another card of the same name") << "another" << 0 << int(AppModel::SavedCard::another);
        QTest::newRow("a card that cannot be told apart")
            << "cannotTell" << 0 << int(AppModel::SavedCard::cannotTell);
        QTest::newRow("no card inserted") << "none" << 0 << int(AppModel::SavedCard::notInserted);
    }
    void savedResultAndTheCardAtItsPlace() {
        QFETCH(QString, place);
        QFETCH(int, addedSince);
        QFETCH(int, state);
        Harness h;
        AppModel& m = checkedSafe(h, place != "cannotTell");
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(m.savedCard(), AppModel::SavedCard::none);
        QVERIFY(m.showsReadyToFormat() && m.canEjectSource());
        const QUuid saved = m.history().front().id;

        {
            std::lock_guard<std::mutex> hold(h.described->lock);
            h.described->change = [place](VolumeInfo& v) {
                if (place == "card") v.volumeID = "6E1F-0A0B";
                if (place == "another") v.volumeID = "1111-2222";
                if (place == "cannotTell") v.mountID = *v.mountID + 1;
            };
        }
        if (place == "none") h.bookmarks->gone = {kCard};
        *h.addedSince = addedSince;
        // As the saved result is first shown (it is read off the GUI thread): looking at its card.
        std::optional<std::tuple<AppModel::SavedCard, bool, bool>> first;
        auto seen = connect(&m, &AppModel::savedCardChanged, &m, [&] {
            if (!first) first = std::tuple(m.savedCard(), m.showsReadyToFormat(), m.canEjectSource());
        });
        m.showHistory(saved.toString());
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        disconnect(seen);
        QCOMPARE(first, std::optional(std::tuple(AppModel::SavedCard::looking, false, false)));
        QCOMPARE(int(m.savedCard()), state);
        const bool here = place == "card";
        QCOMPARE(m.showsReadyToFormat(), here && addedSince == 0);
        QCOMPARE(m.canEjectSource(), here);
        QCOMPARE(m.savedCardChanges().added, here ? addedSince : 0);
        // (The sidebar's facts of the card are shown in the window, where the card is real.)

        // Re-check from the toolbar, the saved check's menu, the byte-by-byte pass, another backup.
        const size_t before = h.verifierCount();
        const size_t picks = h.picker->calls.size();
        m.check(QString());
        if (here) {
            QCOMPARE(h.verifierCount(), before + 1);
            QCOMPARE(h.verifier(before)->request().source, kCard);
            return;
        }
        QCOMPARE(m.noticeText(), QStringLiteral("Insert \u201cCARD\u201d to check it again."));
        m.dismissNotice();
        m.check(QStringLiteral("verified"));
        QCOMPARE(m.noticeText(), QStringLiteral("Insert \u201cCARD\u201d to check it again."));
        m.dismissNotice();
        m.recheckSaved(saved.toString());
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(m.noticeText(), QStringLiteral("Insert \u201cCARD\u201d to check it again."));
        m.checkAgainstBackup(false);
        QCOMPARE(m.noticeText(),
                 QStringLiteral("Insert \u201cCARD\u201d to check it against another backup."));
        QCOMPARE(h.picker->calls.size(), picks);
        QCOMPARE(h.verifierCount(), before);
        QCOMPARE(m.historyCount(), 1);
        QCOMPARE(m.history().front().id, saved);
        QCOMPARE(m.phase(), AppModel::Phase::Results);
    }

    // A saved result opened names its card as its check did (its label, not the folder it is
    // mounted at) while the card at its place is not known to be it: here, not inserted.
    void aSavedCardKeepsItsName() {
        Harness h;
        AppModel& m = ready(h);
        VerifyReport safe = makeReport(kCard, {"/backup/a"}, {FileStatus::verified}, CheckLevel::verified);
        safe.source.name = "EOS_DIGITAL";
        checkTo(h, m, safe);
        QTRY_COMPARE(m.historyCount(), 1);
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        h.bookmarks->gone = {kCard};
        m.showHistory(m.history().front().id.toString());
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(m.savedCard(), AppModel::SavedCard::notInserted);
        const QVariantMap facts = m.volumeFacts().value(m.sourceKey()).toMap();
        QCOMPARE(facts.value(QStringLiteral("name")).toString(), QStringLiteral("EOS_DIGITAL"));
        // None of the facts of what is at its place.
        QVERIFY(!facts.contains(QStringLiteral("freeBytes")));
    }

    // A saved result whose card was not in the reader, as a card is then mounted at its place: by
    // the same rule as when the result was opened, the card itself, another card of the same name
    // (another UUID), or one that cannot be told apart (no UUID, another mount).
    void aCardMountedAtTheSavedCardsPlace_data() {
        QTest::addColumn<QString>("place");
        QTest::addColumn<int>("state");  // AppModel::SavedCard
        QTest::newRow("the card") << "card" << int(AppModel::SavedCard::unchanged);
        QTest::newRow("another card of the same name") << "another" << int(AppModel::SavedCard::another);
        QTest::newRow("a card that cannot be told apart")
            << "cannotTell" << int(AppModel::SavedCard::cannotTell);
    }
    void aCardMountedAtTheSavedCardsPlace() {
        QFETCH(QString, place);
        QFETCH(int, state);
        Harness h;
        AppModel& m = checkedSafe(h, place != "cannotTell");
        h.bookmarks->gone = {kCard};
        h.volumes->push(listing({volume("/", "root", false)}));
        h.monitor->fire();
        QTRY_VERIFY(!m.source());
        m.showHistory(m.history().front().id.toString());
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(m.savedCard(), AppModel::SavedCard::notInserted);

        VolumeInfo arrived = volume(kCard, "CARD", true, true);
        if (place == "card") arrived.volumeID = "6E1F-0A0B";
        if (place == "another") arrived.volumeID = "1111-2222";
        if (place == "cannotTell") arrived.mountID = *arrived.mountID + 1;
        h.volumes->push(listing({volume("/", "root", false), arrived}));
        h.monitor->fire();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(int(m.savedCard()), state);
    }

    // A result of a card in the reader, made now or opened from the history, is ready to format
    // only while the card is as it says: a file added, deleted, rewritten to another size or
    // touched, or a folder made and then a photo put in it, turns it into "changed" within moments
    // without anyone asking, and the ready-to-format panel goes. A folder alone is no change.
    void aShownCardThatChangesIsChangedSince_data() {
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QString>("change");
        for (bool saved : {false, true})
            for (const char* change : {"a file added", "a file deleted", "a file's size", "a file's time",
                                       "a file rewritten, its time put back", "a folder, then a file in it"})
                QTest::newRow(qPrintable(QString(saved ? "saved, " : "made now, ") + change))
                    << saved << QString::fromLatin1(change);
    }
    void aShownCardThatChangesIsChangedSince() {
        QFETCH(bool, saved);
        QFETCH(QString, change);
        QTemporaryDir dir;
        const std::string card = dir.filePath(QStringLiteral("CARD")).toStdString();
        Harness h;
        AppModel& m = readyToFormatOn(h, card);
        QCOMPARE(m.savedCard(), AppModel::SavedCard::none);
        if (saved) {
            QTRY_COMPARE(m.historyCount(), 1);
            m.showHistory(m.history().front().id.toString());
            QTRY_COMPARE(m.savedCard(), AppModel::SavedCard::unchanged);
        }
        QVERIFY(m.showsReadyToFormat());
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        const AppModel::SavedCard before = m.savedCard();
        const std::string photo = card + "/DCIM/IMG_0.JPG";
        if (change == "a file added") {
            writeCardFile(card, "DCIM/IMG_100.JPG", 1000);
        } else if (change == "a file deleted") {
            QVERIFY(std::filesystem::remove(photo));
        } else if (change == "a file's size") {
            writeCardFile(card, "DCIM/IMG_0.JPG", 999);
        } else if (change == "a file's time") {
            const timespec times[2] = {{0, UTIME_OMIT}, {1'700'000'000, 0}};
            QCOMPARE(::utimensat(AT_FDCWD, photo.c_str(), times, 0), 0);
        } else if (change == "a file rewritten, its time put back") {
            struct stat was {};
            QCOMPARE(::stat(photo.c_str(), &was), 0);
            writeCardFile(card, "DCIM/IMG_0.JPG", was.st_size);
            const timespec times[2] = {{0, UTIME_OMIT}, was.st_mtim};
            QCOMPARE(::utimensat(AT_FDCWD, photo.c_str(), times, 0), 0);
        } else {
            QVERIFY(std::filesystem::create_directory(card + "/DCIM/101NEW"));
            QVERIFY(m.waitForIdle(kHangDetectorMs));
            QCOMPARE(m.savedCard(), before);
            QVERIFY(m.showsReadyToFormat());
            writeCardFile(card, "DCIM/101NEW/IMG_100.JPG", 1000);
        }
        QTRY_COMPARE(m.savedCard(), AppModel::SavedCard::changed);
        QVERIFY(!m.showsReadyToFormat());
        QVERIFY(m.savedCardChanges().any());
        QVERIFY(m.canEjectSource());
    }

    // "Since this check" is what changed after the shown check's own last look, as it is now: a
    // file written while the byte-by-byte pass read the card, which the pass's own report names as
    // changed while reading, is not counted again once that report shows; what changes after it is
    // counted, and the count follows the card while the verdict stays changed.
    void changedSinceCountsOnlyAfterTheLastLook() {
        QTemporaryDir dir;
        const std::string card = dir.filePath(QStringLiteral("CARD")).toStdString();
        Harness h;
        AppModel& m = readyToFormatOn(h, card, CheckLevel::standard);
        QVERIFY(m.deepVerifying());
        QCOMPARE(m.savedCard(), AppModel::SavedCard::none);
        writeCardFile(card, "DCIM/IMG_100.JPG", 1000);
        QTRY_COMPARE(m.savedCard(), AppModel::SavedCard::changed);
        QCOMPARE(m.savedCardChanges().added, 1);

        VerifyReport passed = *m.report();
        passed.level = CheckLevel::verified;
        FileResult added = passed.files.front();
        added.id = int64_t(passed.files.size());
        added.name = "IMG_100.JPG";
        added.relativePath = "DCIM/IMG_100.JPG";
        added.status = FileStatus::changed;
        added.detail = "Added to the card during the check.";
        added.copies.clear();
        added.safeDrives = 0;
        passed.groups.front().fileIDs.push_back(added.id);
        passed.files.push_back(added);
        passed.safeToFormat = false;
        h.verifier(1)->complete(passed);
        QTRY_VERIFY(!m.deepVerifying() && m.report()->level == CheckLevel::verified);
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(m.savedCard(), AppModel::SavedCard::none);

        writeCardFile(card, "DCIM/IMG_101.JPG", 1000);
        QTRY_COMPARE(m.savedCardChanges().added, 1);
        QCOMPARE(m.savedCard(), AppModel::SavedCard::changed);
        QVERIFY(std::filesystem::remove(card + "/DCIM/IMG_101.JPG"));
        QVERIFY(std::filesystem::remove(card + "/DCIM/IMG_1.JPG"));
        QTRY_COMPARE(m.savedCardChanges(), (CardChanges{0, 0, 1, false, 0, {1}}));
        QCOMPARE(m.savedCard(), AppModel::SavedCard::changed);
    }

    // Checking a saved card again waits for its card and backups to be restored, checks it against
    // exactly the saved backups that are connected and names the others; whether the views ask in
    // one call or open the result and then check, as the toolbar does.
    void recheckOfASavedCheck_data() {
        QTest::addColumn<bool>("oneCall");
        QTest::addColumn<QStringList>("gone");
        QTest::addColumn<bool>("changeCard");        // the user picks another card before the restore
        QTest::addColumn<QStringList>("checkedOn");  // empty: no check starts
        QTest::addColumn<QString>("notice");         // "named": the notice names the backups that are gone
        for (bool oneCall : {true, false}) {
            auto row = [&](const char* name) {
                return &QTest::newRow(qPrintable(QString(name) + (oneCall ? "" : ", open then check")));
            };
            *row("all connected") << oneCall << QStringList{} << false
                                  << QStringList{"/backup/a", "/backup/b"} << "";
            *row("one not connected")
                << oneCall << QStringList{"/backup/b"} << false << QStringList{"/backup/a"} << "named";
            *row("none connected") << oneCall << QStringList{"/backup/a", "/backup/b"} << false
                                   << QStringList{} << "named";
            *row("card not inserted") << oneCall << QStringList{QString::fromStdString(kCard)} << false
                                      << QStringList{} << "Insert \u201cCARD\u201d to check it again.";
            *row("card changed meanwhile") << oneCall << QStringList{} << true << QStringList{} << "";
        }
    }
    void recheckOfASavedCheck() {
        QFETCH(bool, oneCall);
        QFETCH(QStringList, gone);
        QFETCH(bool, changeCard);
        QFETCH(QStringList, checkedOn);
        QFETCH(QString, notice);
        if (notice == "named") notice = present::notConnectedText(paths(gone));
        Harness h;
        AppModel& m = restartedWithSavedCheck(h, gone);
        m.setSource("/elsewhere");
        m.removeBackup("/backup/a");
        m.addBackups({"/backup/other"});
        const QUuid saved = m.history().front().id;
        const size_t before = h.verifierCount();
        if (oneCall) {
            m.recheckSaved(saved.toString());
        } else {
            m.showHistory(saved.toString());
            m.check(QString());
        }
        QCOMPARE(h.verifierCount(), before);  // nothing starts before the restore
        if (changeCard) m.setSource("/another/card");
        if (checkedOn.isEmpty()) {
            QVERIFY(m.waitForIdle(kHangDetectorMs));
            QCOMPARE(m.noticeText(), notice);
            QCOMPARE(h.verifierCount(), before);
            QCOMPARE(m.history().front().id, saved);
            return;
        }
        QTRY_COMPARE(h.verifierCount(), before + 1);
        QCOMPARE(m.noticeText(), notice);
        auto v = h.verifier(before);
        QCOMPARE(v->request().source, kCard);
        QCOMPARE(v->request().destinations, paths(checkedOn));
        v->complete(makeReport(kCard, paths(checkedOn), {FileStatus::missing}));
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        // The result replaces the saved entry of its card, with the backups it was checked on.
        QCOMPARE(m.historyCount(), 1);
        QVERIFY(m.history().front().id != saved);
        QCOMPARE(m.history().front().report->summary().destinations.size(), size_t(checkedOn.size()));
    }

    // The views ask about a location by its key: a folder whose name is not UTF-8 is described
    // as itself, while its display text names no folder.
    void volumeInfoByKey() {
        Harness h;
        AppModel& m = ready(h);
        const std::string raw = h.dir.path().toStdString() + "/caf\xE9";
        QVERIFY(std::filesystem::create_directory(raw));
        const QString key = present::pathKey(raw);
        QSignalSpy described(&m, &AppModel::volumeInfoReady);
        QVERIFY(m.volumeInfo(key).isEmpty());
        QTRY_VERIFY(described.contains({key}));
        QVERIFY(!m.volumeInfo(key).isEmpty());
        QVERIFY(m.cachedVolumeInfo(raw));
        const QString shown = QString::fromUtf8(raw.data(), qsizetype(raw.size()));
        QVERIFY(m.volumeInfo(shown).isEmpty());
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QVERIFY(m.volumeInfo(shown).isEmpty());
    }

    // The volume facts the views show are the volume's, read again on a mount event and after a copy.
    void volumeFactsFollowTheVolume_data() {
        QTest::addColumn<QString>("event");
        QTest::newRow("mount event") << "mount";
        QTest::newRow("copy ended") << "copy";
    }
    void volumeFactsFollowTheVolume() {
        QFETCH(QString, event);
        Harness h;
        AppModel& m = ready(h);
        const QString path = h.dir.path();
        // The location is a mounted volume, and stays one.
        std::vector<VolumeInfo> mounted{volume("/", "root", false), volume(kCard, "CARD", true, true),
                                        volume(path.toStdString(), "described", false)};
        h.volumes->push(listing(mounted));
        h.monitor->fire();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        h.freeBytes->store(900);
        QVERIFY(m.volumeInfo(path).isEmpty());
        QTRY_COMPARE(m.volumeInfo(path).value("freeBytes").toLongLong(), 900);
        h.freeBytes->store(400);
        QSignalSpy ready(&m, &AppModel::volumeInfoReady);
        if (event == "mount") {
            mounted.push_back(volume("/media/u/OTHER", "OTHER", true));
            h.volumes->push(listing(mounted));
            h.monitor->fire();
        } else {
            m.copyStarted({[] {}, [] {}});
            m.copyEnded();
        }
        QTRY_COMPARE(m.volumeInfo(path).value("freeBytes").toLongLong(), 400);
        QVERIFY(ready.contains({path}));
    }

    // Quitting cancels what runs and returns without waiting for a worker to give up by itself:
    // told to wait for them as long as they run, it returns all the same.
    void shutdownCancelsWork() {
        Harness h;
        h.shutdownWaitMs = -1;
        AppModel& m = ready(h);
        checkTo(h, m, makeReport(kCard, {"/backup/a", "/backup/b"}, kAllVerified));
        QTRY_VERIFY(m.deepVerifying());
        m.check(std::optional<CheckLevel>());
        bool copyWaited = false;
        m.copyStarted({[] {}, [&] { copyWaited = true; }});
        {
            const Watchdog hung(endRunHung("quitting waits for a worker it cancelled"));
            m.shutdown();
        }
        QVERIFY(h.verifier(1)->cancelled() && h.verifier(2)->cancelled());
        QVERIFY(copyWaited);
        m.check(std::optional<CheckLevel>());
        QCOMPARE(h.verifierCount(), size_t(3));
    }
};

QTEST_GUILESS_MAIN(AppModelTest)
#include "AppModelTest.moc"

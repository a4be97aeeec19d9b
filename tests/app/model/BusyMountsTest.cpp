// The model on a machine whose mounts never rest: a hundred small drives mounted where cards are
// looked for, one of them unmounted and mounted again several times a second, with the mount table
// watched as the application watches it. What the user asks for must not wait for the listings of
// the volumes that every change brings.
#include "ModelFixture.h"
#include "platform/LinuxServices.h"
#include "support/BusyMounts.h"
#include "support/Privileged.h"
#include "support/ZramVolume.h"

#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

using namespace halvetrop;
using namespace halvetrop::test;

namespace {

// A model that waits behind its listings never gets there, and is taken for hung.
bool until(const std::function<bool()>& done) { return QTest::qWaitFor(done, kHangDetectorMs); }

}  // namespace

class BusyMountsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ZramVolume> card, backup;
    std::unique_ptr<BusyMounts> busy;

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        std::string why;
        if (!ZramVolume::available(&why)) QSKIP(volumesUnavailable(why).c_str());
        try {
            card = std::make_unique<ZramVolume>(64ll << 20, "BUSYCARD", "/mnt");
            backup = std::make_unique<ZramVolume>(64ll << 20, "BUSYBACKUP", "/mnt");
            for (int i = 0; i < 40; ++i) {
                const std::string name = "DCIM/100TEST/IMG_" + std::to_string(1000 + i) + ".JPG";
                const std::string content(size_t(64 << 10) + size_t(i), char('a' + i % 26));
                card->write(name, content);
                backup->write(name, content);
            }
            busy = std::make_unique<BusyMounts>();
        } catch (const std::exception& e) {
            busy.reset();
            card.reset();
            backup.reset();
            QSKIP(volumesUnavailable(e.what()).c_str());
        }
    }

    void cleanupTestCase() {
        busy.reset();
        card.reset();
        backup.reset();
    }

    // A drive chosen is named by its label at once, before any listing or description of the
    // volumes has ended (all of them held here): the mount table and the device database say it.
    void aDriveChosenIsNamedAtOnce() {
        Harness h;
        h.volumeListings->hold(true);
        auto open = qScopeGuard([&] { h.volumeListings->hold(false); });
        AppModel& m = h.start(true);
        m.setSource(card->mountPoint());
        m.addBackups({backup->mountPoint()});
        QCOMPARE(m.sourceName(), QStringLiteral("BUSYCARD"));
        const QVariantMap named = m.volumeInfo(m.destinationKeys().front());
        QCOMPARE(named.value("name").toString(), QStringLiteral("BUSYBACKUP"));
        QVERIFY(named.value("provisional").toBool() && !named.contains("totalBytes"));
        // A folder on the drive goes by its own name until the volume is described.
        QVERIFY(m.volumeInfo(QString::fromStdString(card->mountPoint() + "/DCIM")).isEmpty());
        QVERIFY(until([&] { return m.cachedVolumeInfo(backup->mountPoint()).has_value(); }));
        QCOMPARE(m.volumeInfo(m.destinationKeys().front()).value("name").toString(),
                 QStringLiteral("BUSYBACKUP"));
        QVERIFY(!m.volumeInfo(m.destinationKeys().front()).contains("provisional"));
    }

    // A check runs to its result, and the listings of the volumes keep ending, one at a time,
    // however often the mounts change. Then, with every listing held where it starts: a check
    // still starts and reads its card, and Cancel leaves the checking screen at once while the
    // check's workers are held too.
    void checksGoOnWhileMountsChange() {
        Harness h;
        h.realMonitor = true;
        AppModel& m = h.start(true);
        const auto runningAtMost = h.listingsRunningAtMost;
        const auto ended = h.listingsEnded;
        m.setSource(card->mountPoint());
        m.addBackups({backup->mountPoint()});
        QVERIFY(until([&] { return m.canCheck(); }));
        const int endedBefore = ended->load();
        m.check(std::optional<CheckLevel>());
        QVERIFY(until([&] { return m.phase() == AppModel::Phase::Results; }));
        QCOMPARE(m.report()->files.size(), size_t(40));
        QVERIFY(until([&] { return ended->load() > endedBefore + 1; }));
        QCOMPARE(runningAtMost->load(), 1);

        // Listings held from here on: one waits at its start, and more changes come meanwhile.
        h.volumeListings->hold(true);
        auto open = qScopeGuard([&] {
            h.volumeListings->hold(false);
            h.gate->release();
        });
        QVERIFY(until([&] { return h.volumeListings->walking(); }));
        h.gate->holdAt(CheckLevel::standard, VerifyProgress::Stage::comparing);
        m.check(std::optional<CheckLevel>());
        QVERIFY(until([&] { return h.gate->held(); }));
        QVERIFY(h.volumeListings->walking());
        m.stopCheck();
        QCOMPARE(m.phase(), AppModel::Phase::Results);
        QVERIFY(h.gate->held());
        open.dismiss();
        h.volumeListings->hold(false);
        h.gate->release();
        QCOMPARE(runningAtMost->load(), 1);
        busy->stop();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(m.phase(), AppModel::Phase::Results);
        QCOMPARE(m.report()->files.size(), size_t(40));
    }

    // Two cards labelled alike, the first's photos also in the backup's "Swap" folder; the second,
    // left unmounted, holds a photo no backup has, or is a copy of the first made block by block (its
    // UUID and every time on it too), which no listing tells from it.
    void makeTwinCards(std::unique_ptr<ZramVolume>& first, std::unique_ptr<ZramVolume>& second, bool copy) {
        first = std::make_unique<ZramVolume>(16ll << 20, "SWAPCARD", "/mnt");
        second = std::make_unique<ZramVolume>(16ll << 20, "SWAPCARD", "/mnt");
        for (const ZramVolume* c : {first.get(), second.get()})
            runAsRootOrThrow("rmdir " + c->mountPoint() + "/lost+found");
        for (int i = 0; i < 3; ++i) {
            const std::string name = "DCIM/100SWAP/IMG_" + std::to_string(2000 + i) + ".JPG";
            const std::string content(size_t(32 << 10) + size_t(i), char('k' + i));
            first->write(name, content);
            backup->write("Swap/" + name, content);
        }
        second->write("DCIM/100SWAP/IMG_2999.JPG", std::string(size_t(32 << 10), 'z'));
        if (!second->unmount().empty()) throw std::runtime_error("the second card stays mounted");
        if (!copy) return;
        if (!first->unmount().empty()) throw std::runtime_error("the first card stays mounted");
        runAsRootOrThrow("dd if=" + first->device() + " of=" + second->device() + " bs=1M status=none");
        refreshDeviceDatabase(second->device());
        if (const std::string why = first->remount(); !why.empty()) throw std::runtime_error(why);
    }

    // A model that watches the mount table as the application does (unless told not to: then only
    // the watch of a shown card's folders tells it anything), shown the first card checked against
    // the backup, ready to format and to be ejected.
    AppModel& readyOn(Harness& h, const std::string& card, bool monitored = true) {
        h.realMonitor = monitored;
        AppModel& m = h.start(true);
        m.settings().setValue("requiredCopies", 1);
        m.setSource(card);
        m.addBackups({backup->mountPoint() + "/Swap"});
        [&] {
            QVERIFY(until([&] { return m.canCheck(); }));
            m.check(std::optional<CheckLevel>());
            QVERIFY(until([&] {
                return m.report() && m.report()->level == CheckLevel::verified && m.showsReadyToFormat() &&
                       m.canEjectSource();
            }));
        }();
        return m;
    }

    // A card shown safe to format is taken out and another card of the same label, holding a photo
    // no backup has, is mounted at its folder at once, as an automounter does on resume. With every
    // listing of the volumes held: the result, its ready-to-format verdict and its Eject go as the
    // kernel tells the card's mount gone, while the other mounts rest or keep changing, and nothing
    // is ejected; the card's own watch hears of it without the mount table. Listed, the card at that
    // folder is a new card, announced and offered.
    void aCardSwappedAtOnceIsANewCard_data() {
        QTest::addColumn<bool>("churning");
        QTest::addColumn<bool>("monitored");
        QTest::newRow("other mounts at rest") << false << true;
        QTest::newRow("other mounts changing") << true << true;
        QTest::newRow("told by the card's watch alone") << false << false;
    }
    void aCardSwappedAtOnceIsANewCard() {
        QFETCH(bool, churning);
        QFETCH(bool, monitored);
        churning ? busy->start() : busy->stop();
        std::unique_ptr<ZramVolume> first, second;
        try {
            makeTwinCards(first, second, false);
        } catch (const std::exception& e) {
            QSKIP(volumesUnavailable(e.what()).c_str());
        }
        const std::string place = first->mountPoint();
        const std::string secondUuid = runAsRootOrThrow("blkid -s UUID -o value " + second->device());
        Harness h;
        AppModel& m = readyOn(h, place, monitored);
        if (QTest::currentTestFailed()) return;

        h.volumeListings->hold(true);
        auto putBack = qScopeGuard([&] {
            h.volumeListings->hold(false);
            runAsRoot("umount " + place);
            first->remount();
            second->remount();
        });
        QCOMPARE(first->swapFor(*second), std::string());
        QVERIFY(until([&] { return !m.report() && m.phase() == AppModel::Phase::Setup; }));
        QVERIFY(!m.showsReadyToFormat() && !m.canEjectSource() && !m.source());
        QCOMPARE(
            m.noticeText(),
            QStringLiteral("“SWAPCARD” ejected — you can remove it. Its result is saved in Recent checks."));
        m.ejectSource();
        QVERIFY(h.ejector->asked.empty());

        h.volumeListings->hold(false);
        QVERIFY(until([&] { return m.newCard() && m.newCard()->volumePath == place; }));
        QCOMPARE(m.newCard()->volumeID, std::optional<std::string>(secondUuid));
        const std::vector<VolumeInfo> offered = m.suggestedCards();
        QVERIFY(std::any_of(offered.begin(), offered.end(), [&](const VolumeInfo& v) {
            return v.volumePath == place && v.volumeID == secondUuid;
        }));
        m.shutdown();
    }

    // Eject asked in the very moment the card is swapped for a copy of itself, before the model
    // has heard of it: the look at the card that an eject of a card ready to format waits for finds
    // the copy as the check found the card, and still the copy is not ejected in the card's name.
    void anEjectAsTheCardIsSwappedEjectsNothing() {
        busy->stop();
        std::unique_ptr<ZramVolume> first, second;
        try {
            makeTwinCards(first, second, true);
        } catch (const std::exception& e) {
            QSKIP(volumesUnavailable(e.what()).c_str());
        }
        const std::string place = first->mountPoint();
        Harness h;
        AppModel& m = readyOn(h, place);
        if (QTest::currentTestFailed()) return;
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        auto putBack = qScopeGuard([&] {
            runAsRoot("umount " + place);
            first->remount();
            second->remount();
        });
        QCOMPARE(first->swapFor(*second), std::string());
        m.ejectSource();
        QVERIFY(until([&] { return !h.ejector->asked.empty() || (!m.report() && !m.ejecting()); }));
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(h.ejector->asked, std::vector<std::string>());
        m.shutdown();
    }
};

QTEST_GUILESS_MAIN(BusyMountsTest)
#include "BusyMountsTest.moc"

// The card the sidebar and the new-card banner offer, and backups whose drive is not connected,
// through the model with scripted verifiers, volume listings and bookmarks.
#include "ModelFixture.h"
#include "model/CopySheet.h"

#include <QStandardPaths>
#include <QTest>

using namespace halvetrop;
using namespace halvetrop::test;

namespace {

const std::string kCard = "/media/u/CARD";
const std::string kA = "/backup/a", kB = "/backup/b";
const std::string kGoneNote = "Can't read /backup/b: its drive is not connected";
const VolumeInfo kRoot = volume("/", "root", false);

// A model with the card and backups chosen and their bookmarks made.
AppModel& chosen(Harness& h, const std::vector<std::string>& backups = {kA, kB}) {
    h.volumes->push(listing({kRoot, volume(kCard, "CARD", true, true)}));
    AppModel& m = h.start();
    m.waitForIdle(5000);
    m.setSource(kCard);
    m.addBackups(backups);
    m.waitForIdle(5000);
    return m;
}

// The drives of `gone` are unplugged and the model reads the volumes again.
void unplug(Harness& h, AppModel& m, std::vector<std::string> gone) {
    h.bookmarks->gone = std::move(gone);
    // Another listing than the last, as an unmount gives.
    static int serial = 0;
    h.volumes->push(listing({kRoot, volume(kCard, "CARD", true, true),
                             volume("/mnt/other" + std::to_string(++serial), "other", false)}));
    m.refreshVolumes();
    QVERIFY(m.waitForIdle(5000));
}

bool hasProblem(const VerifyReport& r, const std::string& text) {
    return std::find(r.problems.begin(), r.problems.end(), text) != r.problems.end();
}

}  // namespace

class CardAndBackupsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    }

    // The sidebar's offered card: "Check" checks it against the backups, also after a card-only
    // scan; "Use" (no backup) makes it the card and asks for a backup.
    void offeredCardIsChecked_data() {
        QTest::addColumn<bool>("backups");
        QTest::newRow("with backups") << true;
        QTest::newRow("without backups") << false;
    }
    void offeredCardIsChecked() {
        QFETCH(bool, backups);
        Harness h;
        const VolumeInfo cam = volume("/media/u/CAM", "CAM", true, true);
        h.volumes->push(listing({kRoot, cam}));
        AppModel& m = h.start();
        QVERIFY(m.waitForIdle(5000));
        if (backups) m.addBackups({kA, kB});
        m.setCardOnly(true);
        QCOMPARE(m.suggestedCards().size(), size_t(1));
        m.useSuggestedCard(0);
        QCOMPARE(m.source(), std::optional<std::string>(cam.volumePath));
        QCOMPARE(h.verifierCount(), size_t(backups ? 1 : 0));
        if (backups) {
            const VerifyRequest& r = h.verifier(0)->request();
            QCOMPARE(r.source, cam.volumePath);
            QCOMPARE(r.destinations, (std::vector<std::string>{kA, kB}));
            QCOMPARE(m.phase(), AppModel::Phase::Checking);
            QVERIFY(!m.cardOnly() && !m.hasNotice());
        } else {
            QCOMPARE(m.phase(), AppModel::Phase::Setup);
            QCOMPARE(m.noticeText(), QStringLiteral("Choose a card and a backup first"));
            QVERIFY(!m.noticeOk());
        }
    }

    // The banner's Check opens the picker on the very volume it announced, wherever that volume
    // stands among the offered cards, and on nothing once it has gone.
    void newCardIsFoundByIdentity_data() {
        QTest::addColumn<QString>("after");  // what happens between the announcement and the click
        QTest::addColumn<QString>("start");  // where the picker opens; "" for no picker
        QTest::newRow("offered after another card") << ""
                                                    << "/media/u/CAM";
        QTest::newRow("chosen as the card meanwhile") << "chosen"
                                                      << "/media/u/CAM";
        QTest::newRow("taken out again") << "removed"
                                         << "";
    }
    void newCardIsFoundByIdentity() {
        QFETCH(QString, after);
        QFETCH(QString, start);
        Harness h;
        VolumeInfo old = volume("/media/u/OLD", "OLD", true, true),
                   cam = volume("/media/u/CAM", "CAM", true, true);
        old.volumeID = "1111-AAAA";
        cam.volumeID = "2222-BBBB";
        h.volumes->push(listing({kRoot, old}));
        AppModel& m = h.start();
        QVERIFY(m.waitForIdle(5000));
        m.addBackups({kA});
        h.volumes->push(listing({kRoot, old, cam}));
        m.refreshVolumes();
        QVERIFY(m.waitForIdle(5000));
        QCOMPARE(m.newCard() ? m.newCard()->name : std::string(), std::string("CAM"));
        if (after == "chosen") m.setSource(cam.volumePath);
        if (after == "removed") {
            h.volumes->push(listing({kRoot, old}));
            m.refreshVolumes();
            QVERIFY(m.waitForIdle(5000));
        }
        h.picker->answers.push_back({cam.volumePath});
        m.checkNewCard();
        QCOMPARE(h.picker->calls.size(), size_t(start.isEmpty() ? 0 : 1));
        if (start.isEmpty()) return;
        QCOMPARE(h.picker->calls[0].startingAt, std::optional<std::string>(start.toStdString()));
        QVERIFY(!m.newCard());
        QCOMPARE(h.verifierCount(), size_t(1));
        QCOMPARE(h.verifier(0)->request().source, cam.volumePath);
    }

    // A backup whose drive left is named on its row and in a notice, never checked nor described
    // by what sits at its path, and counts again once its drive is back.
    void unpluggedBackupIsLeftOut() {
        Harness h;
        AppModel& m = chosen(h);
        unplug(h, m, {kB});
        QCOMPARE(m.unresolvedBackups(), std::set<std::string>{kB});
        QCOMPARE(m.notConnectedTexts(), QStringList{QString::fromStdString(kB)});
        QCOMPARE(m.destinations(), (std::vector<std::string>{kA, kB}));
        QVERIFY(m.volumeInfo(QString::fromStdString(kB)).isEmpty());

        m.check(std::optional<CheckLevel>());
        QCOMPARE(h.verifierCount(), size_t(1));
        QCOMPARE(h.verifier(0)->request().destinations, std::vector<std::string>{kA});
        QCOMPARE(m.noticeText(), QStringLiteral("b isn't connected"));
        h.verifier(0)->complete(makeReport(kCard, {kA}, std::vector<FileStatus>(3, FileStatus::verified)));
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        QVERIFY(hasProblem(*m.report(), kGoneNote));
        QTRY_VERIFY(m.deepVerifying());
        QCOMPARE(h.verifier(1)->request().destinations, std::vector<std::string>{kA});
        m.stopDeepVerify();

        unplug(h, m, {});
        QVERIFY(m.unresolvedBackups().empty());
        QVERIFY(m.notConnectedTexts().isEmpty());
        m.check(std::optional<CheckLevel>());
        QCOMPARE(h.verifier(2)->request().destinations, (std::vector<std::string>{kA, kB}));
    }

    // A drive that left after the volumes were last read is caught before the check walks it;
    // with no backup left, nothing is checked.
    void backupLeftBeforeTheVolumesWereRead_data() {
        QTest::addColumn<bool>("twoBackups");
        QTest::newRow("another backup left") << true;
        QTest::newRow("the only backup") << false;
    }
    void backupLeftBeforeTheVolumesWereRead() {
        QFETCH(bool, twoBackups);
        Harness h;
        AppModel& m = chosen(h, twoBackups ? std::vector<std::string>{kA, kB} : std::vector<std::string>{kB});
        h.bookmarks->gone = {kB};
        m.check(std::optional<CheckLevel>());
        QTRY_COMPARE(m.unresolvedBackups(), std::set<std::string>{kB});
        QCOMPARE(m.noticeText(), QStringLiteral("b isn't connected"));
        QCOMPARE(h.verifierCount(), size_t(twoBackups ? 2 : 1));
        if (twoBackups) {
            QCOMPARE(h.verifier(1)->request().destinations, std::vector<std::string>{kA});
            QCOMPARE(m.phase(), AppModel::Phase::Checking);
        } else {
            QCOMPARE(m.phase(), AppModel::Phase::Setup);
        }
    }

    // A backup that leaves while a check or the byte-by-byte pass reads it is named when it ends.
    void backupLeavesDuringTheRun_data() {
        QTest::addColumn<bool>("duringPass");
        QTest::newRow("during the check") << false;
        QTest::newRow("during the pass") << true;
    }
    void backupLeavesDuringTheRun() {
        QFETCH(bool, duringPass);
        Harness h;
        AppModel& m = chosen(h);
        const auto statuses = std::vector<FileStatus>(3, FileStatus::verified);
        m.check(std::optional<CheckLevel>());
        size_t run = 0;
        if (duringPass) {
            h.verifier(0)->complete(makeReport(kCard, {kA, kB}, statuses));
            QTRY_VERIFY(m.deepVerifying());
            run = 1;
        }
        QVERIFY(h.verifier(run)->waitRunning(5000));
        h.bookmarks->gone = {kB};
        h.verifier(run)->complete(
            makeReport(kCard, {kA, kB}, statuses, duringPass ? CheckLevel::verified : CheckLevel::standard));
        QTRY_COMPARE(m.unresolvedBackups(), std::set<std::string>{kB});
        QTRY_COMPARE(m.noticeText(), QStringLiteral("b isn't connected"));
        QVERIFY(hasProblem(*m.report(), kGoneNote));
        QCOMPARE(m.report()->level, duringPass ? CheckLevel::verified : CheckLevel::standard);
    }

    // The copy dialog offers only backups whose drive is connected, moves off one that leaves, and
    // plans nothing onto a backup that is not there.
    void copyDialogOffersConnectedBackups() {
        Harness h;
        AppModel& m = chosen(h);
        m.check(std::optional<CheckLevel>());
        h.verifier(0)->complete(makeReport(kCard, {kA, kB}, {FileStatus::missing, FileStatus::verified}));
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        m.requestCopyAllMissing();
        auto* sheet = qobject_cast<CopySheet*>(m.copySheet());
        QVERIFY(sheet);
        QCOMPARE(sheet->backupTexts().size(), 2);
        sheet->chooseDestination(1);
        QCOMPARE(sheet->destinationRow(), 1);

        unplug(h, m, {kB});
        QCOMPARE(sheet->offered(), std::vector<int>{0});
        QCOMPARE(sheet->backupTexts(), QStringList{QStringLiteral("backup — /backup/a")});
        QCOMPARE(sheet->destination(), 0);
        QCOMPARE(sheet->destinationRow(), 0);
        sheet->chooseDestination(1);
        QCOMPARE(sheet->destination(), 0);
        sheet->pickFolder(QStringLiteral("/backup/b/Photos"));
        QCOMPARE(sheet->pickError(), QStringLiteral("b isn't connected"));
        QCOMPARE(sheet->destination(), 0);

        unplug(h, m, {kA, kB});
        QVERIFY(sheet->backupTexts().isEmpty());
        QVERIFY(sheet->waitForPlan(5000));
        QCOMPARE(sheet->planError(), QStringLiteral("a isn't connected"));
        QVERIFY(!sheet->canCopy());

        // A dialog opened while a drive is away leaves it out from the start.
        m.clearCopyRequest();
        unplug(h, m, {kA});
        m.requestCopyAllMissing();
        sheet = qobject_cast<CopySheet*>(m.copySheet());
        QCOMPARE(sheet->offered(), std::vector<int>{1});
        QCOMPARE(sheet->destination(), 1);
        QCOMPARE(sheet->destinationRow(), 0);
    }
};

QTEST_GUILESS_MAIN(CardAndBackupsTest)
#include "CardAndBackupsTest.moc"

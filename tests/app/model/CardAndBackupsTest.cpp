// The card the sidebar and the new-card banner offer, and backups whose drive is not connected,
// through the model with scripted verifiers, volume listings and bookmarks.
#include "ModelFixture.h"
#include "model/CopySheet.h"

#include <QStandardPaths>
#include <QTest>

using namespace halvetrop;
using namespace halvetrop::test;

namespace {

const std::string kA = "/backup/a", kB = "/backup/b";
const VolumeInfo kRoot = volume("/", "root", false);

// A model with the card and backups chosen and their bookmarks made.
AppModel& chosen(Harness& h, const std::vector<std::string>& backups = {kA, kB}) {
    AppModel& m = ready(h, backups);
    m.waitForIdle(5000);
    return m;
}

// The drives of `gone` are the ones unplugged now (each call another set), and the model reads
// the volumes again: the listing differs from the last, as after an unmount.
void unplug(Harness& h, AppModel& m, std::vector<std::string> gone) {
    std::string tag = "/mnt/left";
    for (const auto& g : gone) tag.append(1, '-').append(g, g.rfind('/') + 1);
    h.bookmarks->gone = std::move(gone);
    h.volumes->push(listing({kRoot, volume(kCard, "CARD", true, true), volume(tag, "other", false)}));
    m.refreshVolumes();
    QVERIFY(m.waitForIdle(5000));
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
            // The card was just chosen: only the backup is asked for.
            QCOMPARE(m.noticeText(), QStringLiteral("Add a backup to check “CAM” against."));
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

    // The pickers open where a user looks: the card's at the removable-media folder unless it is
    // given a card; the backups' at the last backup chosen, kept when the list is emptied, and
    // at the removable-media folder before any.
    void pickersOpenWhereAUserLooks_data() {
        QTest::addColumn<QString>("picker");             // "card" or "backups"
        QTest::addColumn<QStringList>("backupsBefore");  // chosen, then all removed when "cleared"
        QTest::addColumn<bool>("cleared");
        QTest::addColumn<QString>("start");
        QTest::newRow("card") << "card" << QStringList{QString::fromStdString(kA)} << false << "/media";
        QTest::newRow("first backup") << "backups" << QStringList{} << false << "/media";
        QTest::newRow("next backup") << "backups"
                                     << QStringList{QString::fromStdString(kA), QString::fromStdString(kB)}
                                     << false << QString::fromStdString(kB);
        QTest::newRow("backups removed")
            << "backups" << QStringList{QString::fromStdString(kA)} << true << QString::fromStdString(kA);
    }
    void pickersOpenWhereAUserLooks() {
        QFETCH(QString, picker);
        QFETCH(QStringList, backupsBefore);
        QFETCH(bool, cleared);
        QFETCH(QString, start);
        Harness h;
        h.volumes->push(listing({kRoot}));
        AppModel& m = h.start();
        QVERIFY(m.waitForIdle(5000));
        for (const QString& b : backupsBefore) m.addBackups({b.toStdString()});
        if (cleared)
            while (!m.destinations().empty()) m.removeBackup(m.destinations().front());
        if (picker == "card")
            m.chooseSource();
        else
            m.chooseBackups();
        QCOMPARE(h.picker->calls.size(), size_t(1));
        QCOMPARE(h.picker->calls[0].startingAt, std::optional<std::string>(start.toStdString()));
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

    // A check made while a backup's drive was away is saved with the backups it read: checked
    // again once that drive is back, it reads those alone.
    void aSavedCheckKeepsTheBackupsItRead() {
        Harness h;
        AppModel& m = chosen(h);
        unplug(h, m, {kB});
        QCOMPARE(m.unresolvedBackups(), std::set<std::string>{kB});
        m.check(std::optional<CheckLevel>());
        QCOMPARE(h.verifier(0)->request().destinations, std::vector<std::string>{kA});
        h.verifier(0)->complete(makeReport(kCard, {kA}, {FileStatus::missing}));
        QTRY_COMPARE(m.historyCount(), 1);
        unplug(h, m, {});
        QVERIFY(m.unresolvedBackups().empty());
        const size_t before = h.verifierCount();
        m.recheckSaved(m.history().front().id.toString());
        QTRY_COMPARE(h.verifierCount(), before + 1);
        QCOMPARE(h.verifier(before)->request().destinations, std::vector<std::string>{kA});
        QCOMPARE(m.destinations(), std::vector<std::string>{kA});
    }

    // The copy dialog moves off a backup whose drive leaves while it is open, and plans nothing
    // when none is left; opened while a drive is away, it leaves that backup out.
    void copyDialogFollowsTheDrives() {
        Harness h;
        AppModel& m = chosen(h);
        m.check(std::optional<CheckLevel>());
        h.verifier(0)->complete(makeReport(kCard, {kA, kB}, {FileStatus::missing, FileStatus::verified}));
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        m.requestCopyAllMissing();
        auto* sheet = qobject_cast<CopySheet*>(m.copySheet());
        sheet->chooseDestination(1);
        sheet->chooseLayout(CopySheet::Layout::date);
        sheet->setLocation(QStringLiteral("Photos/2024"));
        unplug(h, m, {kB});
        QCOMPARE(sheet->backupTexts(), QStringList{QStringLiteral("backup — /backup/a")});
        QCOMPARE(sheet->destination(), 0);
        // The folder chosen on the drive that left is not carried over to the other backup.
        QCOMPARE(sheet->location(), QString());
        QCOMPARE(sheet->plannerLocation(), std::string());
        QCOMPARE(sheet->locationStart(), kA);
        sheet->chooseDestination(1);
        QCOMPARE(sheet->destination(), 0);
        unplug(h, m, {kA, kB});
        QVERIFY(sheet->waitForPlan(5000));
        QCOMPARE(sheet->planError(), QStringLiteral("a isn't connected"));
        QVERIFY(!sheet->canCopy());

        m.clearCopyRequest();
        unplug(h, m, {kA});
        m.requestCopyAllMissing();
        sheet = qobject_cast<CopySheet*>(m.copySheet());
        QCOMPARE(sheet->offered(), std::vector<int>{1});
        QCOMPARE(sheet->destinationRow(), 0);
    }
};

QTEST_GUILESS_MAIN(CardAndBackupsTest)
#include "CardAndBackupsTest.moc"

// The card the sidebar and the new-card banner offer, and backups whose drive is not connected,
// through the model with scripted verifiers, volume listings and bookmarks.
#include "ModelFixture.h"
#include "model/CopySheet.h"
#include "platform/Account.h"
#include "present/Paths.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

using namespace halvetrop;
using namespace halvetrop::test;

namespace {

const std::string kA = "/backup/a", kB = "/backup/b";
const VolumeInfo kRoot = volume("/", "root", false);

// A model with the card and backups chosen and their bookmarks made.
AppModel& chosen(Harness& h, const std::vector<std::string>& backups = {kA, kB}) {
    AppModel& m = ready(h, backups);
    m.waitForIdle(kHangDetectorMs);
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
    QVERIFY(m.waitForIdle(kHangDetectorMs));
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
        QVERIFY(m.waitForIdle(kHangDetectorMs));
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

    // The banner's Check checks the very volume it announced at once, wherever that volume stands
    // among the offered cards, with no picker: without backups it becomes the card and a backup is
    // asked for. A card that is the chosen one (chosen meanwhile, or inserted while chosen) is
    // never announced, another card at the place of a result's card is; nothing is checked once
    // it has gone.
    void newCardIsFoundByIdentity_data() {
        QTest::addColumn<QString>("after");  // what happens between the announcement and the click
        QTest::addColumn<bool>("backups");
        QTest::addColumn<QString>("outcome");  // "checked", "asked" (for a backup) or "" (nothing)
        QTest::newRow("offered after another card") << "" << true << "checked";
        QTest::newRow("without backups") << "" << false << "asked";
        QTest::newRow("chosen as the card meanwhile") << "chosen" << true << "";
        QTest::newRow("inserted while chosen") << "chosen before" << true << "";
        QTest::newRow("at the place of a result's card") << "result" << true << "checked";
        QTest::newRow("taken out again") << "removed" << true << "";
    }
    void newCardIsFoundByIdentity() {
        QFETCH(QString, after);
        QFETCH(bool, backups);
        QFETCH(QString, outcome);
        Harness h;
        VolumeInfo old = volume("/media/u/OLD", "OLD", true, true),
                   cam = volume("/media/u/CAM", "CAM", true, true);
        old.volumeID = "1111-AAAA";
        cam.volumeID = "2222-BBBB";
        h.volumes->push(listing({kRoot, old}));
        AppModel& m = h.start();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        if (backups) m.addBackups({kA});
        if (after == "chosen before" || after == "result") m.setSource(cam.volumePath);
        if (after == "result") {
            m.check(std::optional<CheckLevel>());
            VerifyReport other = makeReport(cam.volumePath, {kA}, {FileStatus::missing});
            other.source.volumeID = "9999-CCCC";
            h.verifier(0)->complete(other);
            QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        }
        h.volumes->push(listing({kRoot, old, cam}));
        m.refreshVolumes();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(m.newCard() ? m.newCard()->name : std::string(), after == "chosen before" ? "" : "CAM");
        if (after == "chosen") m.setSource(cam.volumePath);
        if (after == "removed") {
            h.volumes->push(listing({kRoot, old}));
            m.refreshVolumes();
            QVERIFY(m.waitForIdle(kHangDetectorMs));
        }
        QTRY_COMPARE(bool(m.newCard()), after.isEmpty() || after == "result");
        const size_t before = h.verifierCount();
        m.checkNewCard();
        QVERIFY(h.picker->calls.empty());
        QCOMPARE(h.verifierCount(), before + (outcome == "checked" ? 1 : 0));
        if (outcome.isEmpty()) return;
        QVERIFY(!m.newCard());
        QCOMPARE(m.source(), std::optional<std::string>(cam.volumePath));
        if (outcome == "checked") {
            QCOMPARE(h.verifier(before)->request().source, cam.volumePath);
            QCOMPARE(h.verifier(before)->request().destinations, std::vector<std::string>{kA});
        } else {
            QCOMPARE(m.noticeText(), QStringLiteral("Add a backup to check “CAM” against."));
        }
    }

    // The pickers open where a user looks, and never inside a card, where listing a folder writes
    // its access time: the card's at the removable-media folder, or at the folder that holds the
    // card it offers, with that card selected; the backups' at the last backup chosen, kept when
    // the list is emptied, at the removable-media folder before any, and beside a card that holds
    // the last one. Every picker is told the cards, which it offers whole and never opens; one for
    // a backup refuses the card being checked.
    void pickersOpenWhereAUserLooks_data() {
        QTest::addColumn<QString>("picker");  // "card", "offered", "next", "copy", "against" or "backups"
        QTest::addColumn<QStringList>("backupsBefore");  // chosen, then all removed when "cleared"
        QTest::addColumn<bool>("cleared");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QStringList>("fenced");  // what the dialog must not list: the cards
        QTest::addColumn<QString>("refused");     // what it must not take: the card being checked
        const QString a = QString::fromStdString(kA), b = QString::fromStdString(kB);
        const QStringList cam{"/media/u/CAM"};
        QTest::newRow("card") << "card" << QStringList{a} << false << "/media"
                              << "" << cam << "";
        QTest::newRow("card offered") << "offered" << QStringList{a} << false << "/media/u"
                                      << "/media/u/CAM" << cam << "";
        QTest::newRow("next card") << "next" << QStringList{a} << false << "/media/u"
                                   << "/media/u/CAM" << cam << "";
        QTest::newRow("first backup") << "backups" << QStringList{} << false << "/media"
                                      << "" << cam << "";
        QTest::newRow("next backup") << "backups" << QStringList{a, b} << false << b << "" << cam << "";
        QTest::newRow("backups removed") << "backups" << QStringList{a} << true << a << "" << cam << "";
        QTest::newRow("last backup on a card")
            << "backups" << QStringList{"/media/u/CAM/copies"} << true << "/media/u"
            << "" << cam << "";
        QTest::newRow("last backup the card now")
            << "card, then backups" << QStringList{"/data/cards/one"} << false << "/data/cards"
            << "" << QStringList{"/data/cards/one", "/media/u/CAM"} << "/data/cards/one";
        QTest::newRow("another backup for the card")
            << "against" << QStringList{a} << false << "/media"
            << "" << QStringList{"<card>", "/media/u/CAM"} << "<card>";
        QTest::newRow("copies to a folder on a card")
            << "copy" << QStringList{"/media/u/CAM/copies"} << false << "/media/u"
            << "" << QStringList{QString::fromStdString(kCard)} << QString::fromStdString(kCard);
    }
    void pickersOpenWhereAUserLooks() {
        QFETCH(QString, picker);
        QFETCH(QStringList, backupsBefore);
        QFETCH(bool, cleared);
        QFETCH(QString, start);
        QFETCH(QString, selected);
        QFETCH(QStringList, fenced);
        QFETCH(QString, refused);
        Harness h;
        h.volumes->push(listing({kRoot, volume("/media/u/CAM", "CAM", true, true)}));
        AppModel& m = h.start();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        for (const QString& b : backupsBefore) m.addBackups({b.toStdString()});
        if (cleared)
            while (!m.destinations().empty()) m.removeBackup(m.destinations().front());
        QTemporaryDir card;
        if (picker == "card") {
            m.chooseSource();
        } else if (picker == "against") {
            m.setSource(card.path().toStdString());
            m.checkAgainstBackup(true);
        } else if (picker == "offered") {
            m.chooseSource(QStringLiteral("/media/u/CAM"));
        } else if (picker == "next") {
            m.checkAnotherCard(-1);
        } else if (picker == "copy") {
            m.setSource(kCard);
            m.check(std::optional<CheckLevel>());
            h.verifier(0)->complete(
                makeReport(kCard, {backupsBefore[0].toStdString()}, {FileStatus::missing}));
            QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
            m.requestCopyAllMissing();
            m.chooseCopyLocation();
            m.exportCSV();
            QVERIFY(h.savePicker->folders.size() == 1 && !h.savePicker->folders[0].starts_with("/media"));
            QCOMPARE(h.savePicker->lastFenced, std::vector<std::string>{kCard});
        } else {
            if (picker.startsWith("card")) m.setSource(backupsBefore.front().toStdString());
            m.chooseBackups();
        }
        QCOMPARE(h.picker->calls.size(), size_t(1));
        QCOMPARE(h.picker->calls[0].startingAt, std::optional<std::string>(start.toStdString()));
        QCOMPARE(h.picker->calls[0].selected.value_or(std::string()), selected.toStdString());
        std::vector<std::string> want;
        for (QString f : fenced) want.push_back(f.replace("<card>", card.path()).toStdString());
        QCOMPARE(h.picker->calls[0].fenced, want);
        QCOMPARE(h.picker->calls[0].refused.value_or(std::string()),
                 refused.replace("<card>", card.path()).toStdString());
        // The card is refused in the words of what is chosen: a backup, or where copies are saved.
        QCOMPARE(h.picker->calls[0].refusedWhy,
                 picker == "copy"
                     ? QStringLiteral("\u201CCARD\u201D is the card being checked: copies are saved on a "
                                      "backup, never on the card.")
                     : QString());
    }

    // The pickers open in the account's folders, also when the launcher left USER and HOME unset:
    // the removable-media folder of the account's name, and for a report the documents of HOME,
    // else of the account's home.
    void startFoldersAreTheAccounts() {
        const passwd* account = ::getpwuid(::geteuid());
        if (!account) QSKIP("this user has no entry in the account database");
        const std::string name = account->pw_name, home = account->pw_dir;
        const QByteArray user = qgetenv("USER"), homeVariable = qgetenv("HOME");
        qunsetenv("USER");
        qunsetenv("HOME");
        auto restore = qScopeGuard([&] {
            qputenv("USER", user);
            qputenv("HOME", homeVariable);
        });
        QTemporaryDir machine;
        const std::string root = machine.path().toStdString();
        QCOMPARE(desktopMountRoot(root), root);
        for (const std::string& folder : {std::string("/media"), "/media/" + name, "/run/media/" + name}) {
            QVERIFY(QDir().mkpath(QString::fromStdString(root + folder)));
            QCOMPARE(desktopMountRoot(root), root + folder);
        }

        Harness h;
        AppModel& m = chosen(h, {kA});
        m.check(std::optional<CheckLevel>());
        h.verifier(0)->complete(makeReport(kCard, {kA}, {FileStatus::missing}));
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        m.exportCSV();
        const std::string documents = home + "/Documents";
        QCOMPARE(h.savePicker->folders,
                 std::vector<std::string>{QFileInfo(QString::fromStdString(documents)).isDir() ? documents
                                                                                               : home});
        // HOME, where it is set and there, comes before the account's home.
        QVERIFY(QDir().mkpath(machine.filePath("Documents")));
        qputenv("HOME", machine.path().toUtf8());
        m.exportCSV();
        QCOMPARE(h.savePicker->folders.back(), machine.filePath("Documents").toStdString());
        qunsetenv("HOME");

        // Settings and history are found from HOME: without it (or with a relative one) they
        // would be looked for in "/"; a HOME the launcher did set is kept.
        for (const char* given : {"", "relative/home"}) {
            qputenv("HOME", given);
            settleHome();
            QCOMPARE(qgetenv("HOME").toStdString(), home);
        }
        qunsetenv("HOME");
        settleHome();
        QCOMPARE(qgetenv("HOME").toStdString(), home);
        qputenv("HOME", machine.path().toUtf8());
        settleHome();
        QCOMPARE(qgetenv("HOME"), machine.path().toUtf8());
    }

    // The volume facts of the card and the backups, the one source of the sidebar and the start
    // screen: a backup whose drive is away has none, and its drive's again once it returns.
    void volumeFactsFollowTheBackups() {
        QTemporaryDir dir;
        const std::string a = dir.filePath("a").toStdString(), b = dir.filePath("b").toStdString();
        QVERIFY(QDir().mkpath(dir.filePath("a")) && QDir().mkpath(dir.filePath("b")));
        Harness h;
        AppModel& m = chosen(h, {a, b});
        auto facts = [&](const std::string& p) { return m.volumeFacts().value(present::pathKey(p)).toMap(); };
        QTRY_VERIFY(!facts(b).isEmpty());
        QVERIFY(m.volumeFacts().size() == 3 && m.volumeFacts().contains(present::pathKey(kCard)));
        unplug(h, m, {b});
        QTRY_VERIFY(facts(b).isEmpty());
        QVERIFY(!facts(a).isEmpty());
        unplug(h, m, {});
        QTRY_COMPARE(facts(b).value(QStringLiteral("name")).toString(), QStringLiteral("described"));
        m.removeBackup(a);
        QCOMPARE(m.volumeFacts().size(), 2);
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
        QVERIFY(sheet->waitForPlan(kHangDetectorMs));
        QCOMPARE(sheet->planError(), QStringLiteral("\u201ca\u201d isn't connected"));
        QVERIFY(!sheet->canCopy());

        m.clearCopyRequest();
        unplug(h, m, {kA});
        m.requestCopyAllMissing();
        sheet = qobject_cast<CopySheet*>(m.copySheet());
        QCOMPARE(sheet->offered(), std::vector<int>{1});
        QCOMPARE(sheet->destinationRow(), 0);
    }

    // A backup whose drive is away is named once for each time its drive goes: not again at every
    // check while it stays away, nor once it is back, and again once it has come back and gone.
    void notConnectedIsSaidOncePerGoing() {
        Harness h;
        AppModel& m = chosen(h);
        QStringList told;
        const auto checkOnce = [&] {
            m.dismissNotice();
            const size_t next = h.verifierCount();
            m.check(std::optional<CheckLevel>());
            told << (m.hasNotice() ? m.noticeText() : QStringLiteral("nothing"));
            if (h.verifierCount() > next)
                h.verifier(next)->complete(makeReport(kCard, {kA}, {FileStatus::missing}));
            return QTest::qWaitFor([&] { return m.phase() == AppModel::Phase::Results; }, kHangDetectorMs);
        };
        unplug(h, m, {kB});
        QVERIFY(checkOnce() && checkOnce());
        unplug(h, m, {});
        QVERIFY(checkOnce());
        unplug(h, m, {kB});
        QVERIFY(checkOnce());
        const QString gone = QStringLiteral("\u201cb\u201d isn't connected");
        QCOMPARE(told, (QStringList{gone, QStringLiteral("nothing"), QStringLiteral("nothing"), gone}));
    }
};

QTEST_GUILESS_MAIN(CardAndBackupsTest)
#include "CardAndBackupsTest.moc"

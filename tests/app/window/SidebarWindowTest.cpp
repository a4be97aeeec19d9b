// The window's sidebar, start screen, banners and result views over the real model, verifier and
// copy runner, with the card and two backups each on a zram drive that the cases plug in and pull
// out: saved checks opened and checked again, backups that are not connected, cards offered and
// announced, the byte-by-byte pass folding into the rows on screen, times that age and volume
// facts that follow the drive. The drives are made once; each case opens a fresh model and window
// on them and finds them as they were made.
#include <QApplication>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "WindowDriver.h"
#include "model/CopySheet.h"
#include "support/BusyMounts.h"
#include "support/Privileged.h"
#include "support/TempDir.h"
#include "support/ZramVolume.h"

using namespace halvetrop;
using namespace halvetrop::test;
namespace fs = std::filesystem;

namespace {

// Two files in each of the card's folders, so its shoots, its folders and its files fill more
// than a screen. The last four are larger (their copies show in free space) and on no backup but
// the archive, which holds the last two.
constexpr int kFolders = 24;
constexpr int kFiles = 2 * kFolders;
constexpr int kMissing = 4;
constexpr int kArchived = 2;

std::string fileName(int i) { return "IMG_" + std::to_string(1000 + i) + ".JPG"; }
std::string content(int i) {
    const size_t size = i >= kFiles - kMissing ? size_t(1) << 20 : size_t(64) << 10;
    return std::string(size, char('a' + i % 26)) + std::to_string(i);
}

int filesBelow(const std::string& root) {
    int n = 0;
    for (const auto& e :
         fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied))
        n += e.is_regular_file() ? 1 : 0;
    return n;
}

std::set<std::string> entriesBelow(const std::string& root) {
    std::set<std::string> out;
    for (const auto& e :
         fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied))
        out.insert(e.path().string());
    return out;
}

QString q(const std::string& s) { return QString::fromStdString(s); }

// The backups the newest check was asked to read.
QStringList lastCheckedBackups(const WindowSession& a) {
    return a.stage.checkRequest(a.stage.checkCount() - 1).value(QStringLiteral("backups")).toStringList();
}

// The names and detail lines of the sidebar's backup rows, in order.
QStringList sidebarBackups(WindowDriver& w, const QString& line = QStringLiteral("locationName")) {
    QStringList out;
    for (QQuickItem* row : w.items(QStringLiteral("backupRow")))
        if (!WindowDriver::textIn(row, line).isEmpty()) out << WindowDriver::textIn(row, line);
    return out;
}

// The position among the shown items of that name of the first one whose middle lies inside the
// view, which a user can aim at.
int firstInView(WindowDriver& w, const QString& view, const QString& name) {
    QQuickItem* list = w.item(view);
    if (!list) return -1;
    const QRectF area = list->mapRectToScene(QRectF(0, 0, list->width(), list->height()));
    const QList<QQuickItem*> all = w.items(name);
    for (int i = 0; i < all.size(); ++i)
        if (area.contains(all[i]->mapToScene(QPointF(all[i]->width() / 2, all[i]->height() / 2))) &&
            all[i]->mapToScene(QPointF(0, 0)).y() > area.top() + 40)
            return i;
    return -1;
}

// The byte-by-byte pass that follows a check with copies to read (it starts a moment after the
// verdict shows) has run and its result is saved.
bool passOver(AppModel& m) {
    return WindowDriver::waitFor([&] {
               return !m.deepVerifying() && m.report() &&
                      (m.report()->totals.covered() == 0 || m.report()->level == CheckLevel::verified);
           }) &&
           m.waitForIdle(kHangDetectorMs);
}

// Unmounts a drive the window may still be reading for a moment (a thumbnail, a look at the card),
// by `unmount` (the drive's own by default): as for a user, the unmount is refused while a file is
// open and goes through once it is closed, the window's events running meanwhile.
std::string unmountOnceFree(ZramVolume& drive, const std::function<std::string()>& unmount = {}) {
    if (!unmount) return drive.unmountOnceFree([] { QTest::qWait(20); });
    std::string refused;
    test::tryUntilHang([&] { return (refused = unmount()).find("busy") == std::string::npos; },
                       [] { QTest::qWait(20); });
    return refused;
}

// Within a pixel: a view laid out again may round where it stands.
bool samePlace(qreal y, qreal was) { return qAbs(y - was) < 1; }

qreal contentY(WindowDriver& w, const QString& view) {
    QQuickItem* list = w.item(view);
    return list ? list->property("contentY").toReal() : -1;
}

}  // namespace

class SidebarWindowTest : public QObject {
    Q_OBJECT

    shell::Look look_;
    shell::Present present_;
    std::unique_ptr<ZramVolume> card_, back_, arch_;
    std::map<ZramVolume*, std::set<std::string>> made_;  // every entry of each drive as made
    std::set<ZramVolume*> unplugged_;

    std::string card() const { return card_->mountPoint(); }
    std::string photos() const { return back_->mountPoint() + "/Photos"; }
    std::string other() const { return back_->mountPoint() + "/Other"; }
    std::string archive() const { return arch_->mountPoint() + "/Archive"; }

    // The drive pulled out (its mount-point folder stays behind), lazily when files on it may be
    // open, or plugged in again; the window hears of it from the mount table.
    [[nodiscard]] bool unplug(ZramVolume& drive, bool lazily = false) {
        if (!(lazily ? drive.unmountLazily() : unmountOnceFree(drive)).empty()) return false;
        unplugged_.insert(&drive);
        return true;
    }
    [[nodiscard]] bool plug(ZramVolume& drive) {
        if (!drive.remount().empty()) return false;
        unplugged_.erase(&drive);
        return true;
    }

    // Card and backups chosen, checked with the start screen's button until the verdict shows,
    // and the byte-by-byte pass run to its end unless passes are held.
    static void checkWith(WindowSession& a, const std::string& cardPath,
                          const std::vector<std::string>& backups, bool passHeld = false) {
        AppModel& m = a.model();
        a.chooseCard(cardPath);
        QCOMPARE(m.source(), std::optional<std::string>(cardPath));
        a.addBackups(backups);
        const int checks = a.stage.checkCount();
        QVERIFY(a.window->click(QStringLiteral("checkButton")));
        QVERIFY(WindowDriver::waitFor(
            [&] { return a.stage.checkCount() > checks && m.phase() == AppModel::Phase::Results; }));
        if (!passHeld) QVERIFY(passOver(m));
    }

    // A check asked for from the window (a menu, a banner) has run with these backups and shows
    // its verdict.
    static void checkedAgainst(WindowSession& a, int checksBefore, const QStringList& backups) {
        AppModel& m = a.model();
        QVERIFY(WindowDriver::waitFor(
            [&] { return a.stage.checkCount() > checksBefore && m.phase() == AppModel::Phase::Results; }));
        QCOMPARE(lastCheckedBackups(a), backups);
        QVERIFY(passOver(m));
    }

    static QString notSaved(int n) { return QStringLiteral("%1 not backed up").arg(n); }

    // A card drive of its own for a case, labelled as a camera labels every card, with `files`
    // photos that the photos and archive drives both hold (in "Twin"): a byte-by-byte check
    // against both makes it safe to format.
    std::unique_ptr<ZramVolume> twinCard(int files) {
        auto card = std::make_unique<ZramVolume>(32ll << 20, "HVTWIN", "/mnt");
        asCameraMadeIt(*card);
        for (int i = 0; i < files; ++i) {
            const std::string name = "DCIM/100TWIN/IMG_" + std::to_string(5000 + i) + ".JPG";
            card->write(name, content(100 + i));
            for (const std::string& b : twinBackups()) {
                fs::create_directories(fs::path(b + "/" + name).parent_path());
                std::ofstream(b + "/" + name, std::ios::binary) << content(100 + i);
            }
        }
        ::sync();
        return card;
    }
    // A camera's card holds no root-only lost+found, which an ordinary user cannot list.
    static void asCameraMadeIt(const ZramVolume& card) {
        runAsRootOrThrow("rmdir " + card.mountPoint() + "/lost+found");
    }
    std::vector<std::string> twinBackups() const {
        return {back_->mountPoint() + "/Twin", arch_->mountPoint() + "/Twin"};
    }
    // The card chosen on the start screen and checked against both "Twin" folders until its
    // byte-by-byte pass is over.
    static void checkTwin(WindowSession& a, const std::string& card,
                          const std::vector<std::string>& backups) {
        AppModel& m = a.model();
        if (m.source() != std::optional<std::string>(card)) a.chooseCard(card);
        a.addBackups(backups);
        const int checks = a.stage.checkCount();
        QVERIFY(a.window->click(QStringLiteral("checkButton")));
        QVERIFY(WindowDriver::waitFor(
            [&] { return a.stage.checkCount() > checks && m.phase() == AppModel::Phase::Results; }));
        QVERIFY(passOver(m));
        QCOMPARE(a.window->text(QStringLiteral("heroTitle")), QStringLiteral("Safe to format"));
    }
    // The sidebar's line under the card's name.
    static QString cardFacts(WindowDriver& w) {
        return WindowDriver::textIn(w.item(QStringLiteral("cardRow")), QStringLiteral("locationDetail"));
    }
    // Whether the ring's covered arc, a quarter round, is drawn in the colour of that role. Its colour
    // eases from one role to the next, so a new role is waited for.
    bool ringIn(WindowDriver& w, const QString& role) {
        QQuickItem* ring = w.item(QStringLiteral("coverageRing"));
        return ring &&
               WindowDriver::colorDistance(
                   w.colorAt(ring, {ring->width() / 2 + ring->property("r").toReal(), ring->height() / 2}),
                   look_.color(role)) < 0.1;
    }
    // An eject button of the results, in whichever place and form it is shown.
    static bool ejectShown(WindowDriver& w) {
        for (const char* name : {"ejectCard", "eject", "compact-eject", "symbols-eject"})
            if (w.item(QLatin1String(name))) return true;
        return false;
    }

private slots:
    void initTestCase() {
        WindowDriver::prepare(look_, present_);
        if (std::string why; !ZramVolume::available(&why)) QSKIP(why.c_str());
        try {
            card_ = std::make_unique<ZramVolume>(64ll << 20, "HVCARD", "/mnt");
            back_ = std::make_unique<ZramVolume>(64ll << 20, "HVBACK", "/mnt");
            arch_ = std::make_unique<ZramVolume>(64ll << 20, "HVARCH", "/mnt");
        } catch (const std::exception& e) {
            cleanupTestCase();
            QSKIP(e.what());
        }
        for (int i = 0; i < kFiles; ++i) {
            card_->write("DCIM/" + std::to_string(100 + i / 2) + "TEST/" + fileName(i), content(i));
            if (i < kFiles - kMissing) back_->write("Photos/2024/" + fileName(i), content(i));
            if (i >= kFiles - kArchived) arch_->write("Archive/" + fileName(i), content(i));
        }
        fs::create_directories(other());
        ::sync();
        for (ZramVolume* d : {card_.get(), back_.get(), arch_.get()})
            made_[d] = entriesBelow(d->mountPoint());
    }

    // Every drive plugged in, holding what it was made with and nothing else (copies and
    // anything a case wrote go).
    void init() {
        WindowDriver::failOnBindingLoops();
        for (ZramVolume* d : std::set<ZramVolume*>(unplugged_)) QVERIFY(plug(*d));
        for (auto& [drive, entries] : made_) {
            for (const std::string& e : entriesBelow(drive->mountPoint()))
                if (!entries.count(e)) fs::remove_all(e);
        }
    }

    void cleanupTestCase() {
        card_.reset();
        back_.reset();
        arch_.reset();
    }

    // "Re-check This Card" on a saved check, from the sidebar's row and from the recent cards'
    // tile, after other backups were chosen: it checks the saved card against exactly the saved
    // backups that are here, names the one that is not, and replaces only that card's entry.
    void recheckSaved_data() {
        QTest::addColumn<QString>("row");
        QTest::addColumn<bool>("unplugArchive");
        QTest::newRow("sidebar, every backup here") << QStringLiteral("historyRow") << false;
        QTest::newRow("recent cards, a backup unplugged") << QStringLiteral("recentTile") << true;
    }
    void recheckSaved() {
        QFETCH(QString, row);
        QFETCH(bool, unplugArchive);
        WindowSession a(present_);
        QVERIFY(a.ready());
        WindowDriver& w = *a.window;
        AppModel& m = a.model();
        checkWith(a, card(), {photos(), archive()});
        if (QTest::currentTestFailed()) return;
        QCOMPARE(w.text(QStringLiteral("heroTitle")), notSaved(kMissing - kArchived));

        // Another card, the archive folder, against other backups: the card's check is the
        // second row now, and the chosen backups are no longer its own.
        checkWith(a, archive(), {other()});
        if (QTest::currentTestFailed()) return;
        QCOMPARE(m.destinations(), (std::vector<std::string>{photos(), other()}));
        QCOMPARE(m.historyCount(), 2);
        QList<QQuickItem*> rows = w.items(QStringLiteral("historyRow"));
        QCOMPARE(rows.size(), 2);
        const QString otherId = rows[0]->property("itemId").toString();
        const QString otherLine = rows[0]->property("countLine").toString();
        const QString savedId = rows[1]->property("itemId").toString();

        if (unplugArchive) {
            // The archive's card goes with its drive, and the window is back at the start.
            QVERIFY(unplug(*arch_));
            QVERIFY(WindowDriver::waitFor([&] { return m.phase() == AppModel::Phase::Setup; }));
        } else {
            QVERIFY(w.click(QStringLiteral("toolNewCheck")));
        }
        if (row == QLatin1String("recentTile")) QCOMPARE(m.phase(), AppModel::Phase::Setup);
        const int checks = a.stage.checkCount();
        QVERIFY(w.clickAt(row, 1, Qt::RightButton));
        QVERIFY(w.click(QStringLiteral("recheckSaved")));
        const QStringList expected =
            unplugArchive ? QStringList{q(photos())} : QStringList{q(photos()), q(archive())};
        checkedAgainst(a, checks, expected);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(a.stage.checkRequest(checks).value(QStringLiteral("source")).toString(), q(card()));
        QCOMPARE(w.text(QStringLiteral("heroTitle")),
                 notSaved(unplugArchive ? kMissing : kMissing - kArchived));
        QCOMPARE(sidebarBackups(w), QStringList({"Photos", "Archive"}));
        if (unplugArchive) {
            // A notice's banner slides in: its text shows a moment later.
            QTRY_COMPARE(w.text(QStringLiteral("noticeText")),
                         QStringLiteral("\u201cArchive\u201d isn't connected"));
            QCOMPARE(sidebarBackups(w, QStringLiteral("locationDetail")).value(1),
                     QStringLiteral("\u201cArchive\u201d isn't connected"));
        }

        // The card's entry is the new result, at the front; the other card's is as it was.
        rows = w.items(QStringLiteral("historyRow"));
        QCOMPARE(rows.size(), 2);
        QVERIFY(rows[0]->property("itemId").toString() != savedId);
        QCOMPARE(rows[0]->property("countLine").toString(), w.text(QStringLiteral("heroTitle")));
        QCOMPARE(rows[1]->property("itemId").toString(), otherId);
        QCOMPARE(rows[1]->property("countLine").toString(), otherLine);
    }

    // A saved result opened while its backups are unplugged and the chosen backups hold its
    // card: the backups become the saved ones, never the card; those whose drive is away say so,
    // and are backups again when it is plugged in.
    void openSavedWithBackupsGone_data() {
        QTest::addColumn<bool>("unplugPhotos");
        QTest::newRow("one of two unplugged") << false;
        QTest::newRow("both unplugged") << true;
    }
    void openSavedWithBackupsGone() {
        QFETCH(bool, unplugPhotos);
        WindowSession a(present_);
        QVERIFY(a.ready());
        WindowDriver& w = *a.window;
        AppModel& m = a.model();
        checkWith(a, card(), {photos(), archive()});
        if (QTest::currentTestFailed()) return;

        // The photos folder chosen as the card and the card as a backup.
        a.chooseCard(photos());
        a.addBackups({card()});
        QCOMPARE(m.destinations(), (std::vector<std::string>{archive(), card()}));
        QVERIFY(unplug(*arch_));
        if (unplugPhotos) QVERIFY(unplug(*back_));
        QVERIFY(WindowDriver::waitFor([&] { return m.notConnectedKeys() == QStringList{q(archive())}; }));

        const int checks = a.stage.checkCount();
        QVERIFY(w.click(QStringLiteral("historyRow")));
        QVERIFY(WindowDriver::waitFor([&] { return m.phase() == AppModel::Phase::Results; }));
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(w.text(QStringLiteral("heroTitle")), notSaved(kMissing - kArchived));
        QCOMPARE(a.stage.checkCount(), checks);
        QCOMPARE(m.source(), std::optional<std::string>(card()));
        QCOMPARE(m.destinations(), (std::vector<std::string>{photos(), archive()}));
        QCOMPARE(sidebarBackups(w), QStringList({"Photos", "Archive"}));
        QCOMPARE(m.notConnectedKeys().size(), unplugPhotos ? 2 : 1);
        QCOMPARE(sidebarBackups(w, QStringLiteral("locationDetail")).value(1),
                 QStringLiteral("\u201cArchive\u201d isn't connected"));
        // Named as the header names it, not by the folder it is mounted at.
        QCOMPARE(WindowDriver::textIn(w.item(QStringLiteral("cardRow")), QStringLiteral("locationName")),
                 QStringLiteral("HVCARD"));

        QVERIFY(plug(*arch_));
        if (unplugPhotos) QVERIFY(plug(*back_));
        QVERIFY(WindowDriver::waitFor([&] { return m.notConnectedKeys().isEmpty(); }));
        QCOMPARE(m.destinations(), (std::vector<std::string>{photos(), archive()}));
    }

    // While the byte-by-byte pass folds its results into the shown check, each list keeps where
    // it was scrolled to, what was chosen in it and what the panels beside show: the shoots, the
    // folders with the chosen folder's panel, the files as a table and as a grid with the
    // inspector, the last through to the pass's own report.
    void passFoldsKeepTheViews() {
        WindowSession a(present_);
        QVERIFY(a.ready());
        WindowDriver& w = *a.window;
        AppModel& m = a.model();
        a.stage.holdPasses(true);
        checkWith(a, card(), {photos()}, true);
        if (QTest::currentTestFailed()) return;
        QVERIFY(WindowDriver::waitFor([&] { return m.deepVerifying(); }));
        const quint64 serial = m.reportSerial();
        QSignalSpy folded(&m, &AppModel::reportChanged);
        // What is chosen and what the panels show of it.
        auto chosen = [&] {
            return QStringList{m.selectedFolder(), w.text(QStringLiteral("panelTitle")),
                               QString::number(m.selectedFileID()), w.text(QStringLiteral("inspectorName"))};
        };

        struct View {
            const char* show;  // the button that shows it ("" when shown)
            const char* list;
            const char* row;  // the row chosen in it ("" for none)
        };
        const View views[] = {{"", "shootList", ""},
                              {"mode-Map", "folderList", "folderRow"},
                              {"mode-Files", "fileTableList", "fileRow"},
                              {"switchForm", "fileGrid", "fileTile"}};
        for (const View& view : views) {
            const QString list = QLatin1String(view.list), row = QLatin1String(view.row);
            if (*view.show) QVERIFY(w.click(QLatin1String(view.show)));
            QVERIFY(WindowDriver::waitFor(
                [&] { return w.item(list) && w.item(list)->property("count").toInt() > 0; }));
            QVERIFY2(w.scroll(list, 0.3), view.list);
            if (!row.isEmpty()) {
                const int aimed = firstInView(w, list, row);
                QVERIFY2(aimed >= 0, view.row);
                QVERIFY(w.clickAt(row, aimed));
            }
            const qreal y = contentY(w, list);
            const QStringList before = chosen();
            QVERIFY2(y > 100, view.list);

            // Some more results of the pass folded in; after the grid's, the rest and the end.
            const qsizetype folds = folded.size();
            const int64_t verified = m.report()->totals.verified;
            QVERIFY(a.stage.letPassFiles(8));
            QVERIFY(WindowDriver::waitFor(
                [&] { return folded.size() > folds && m.report()->totals.verified > verified; }));
            if (&view == &views[std::size(views) - 1]) {
                a.stage.holdPasses(false);
                QVERIFY(WindowDriver::waitFor([&] { return !m.deepVerifying(); }));
                QCOMPARE(m.report()->level, CheckLevel::verified);
            }
            QVERIFY2(samePlace(contentY(w, list), y), view.list);
            QCOMPARE(chosen(), before);
            QCOMPARE(m.reportSerial(), serial);
        }
    }

    // The offered card, in the sidebar and on the start screen alike: with no backup it becomes
    // the card and the window says a backup is needed; with one its Check checks it against the
    // backups at once. No folder dialog opens on the card.
    void sidebarChecksOfferedCard() {
        WindowSession a(present_);
        QVERIFY(a.ready());
        WindowDriver& w = *a.window;
        AppModel& m = a.model();
        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("suggestedCard")) != nullptr; }));
        QCOMPARE(w.text(QStringLiteral("suggestedAction")), QStringLiteral("Use"));
        QCOMPARE(w.text(QStringLiteral("offeredAction")), QStringLiteral("Use"));
        const int questions = a.stage.pickerQuestions();
        const int checks = a.stage.checkCount();
        const QString offered = q(m.suggestedCards().front().name);
        for (const QString& from : {QStringLiteral("offeredCard"), QStringLiteral("suggestedCard")}) {
            m.dismissNotice();
            QVERIFY2(w.click(from), qPrintable(from));
            QCOMPARE(m.source(), std::optional<std::string>(card()));
            QCOMPARE(m.phase(), AppModel::Phase::Setup);
            QTRY_COMPARE(w.text(QStringLiteral("noticeText")),
                         QStringLiteral("Add a backup to check “%1” against.").arg(offered));
            QCOMPARE(a.stage.checkCount(), checks);
            QCOMPARE(a.stage.pickerQuestions(), questions);
            if (from == QStringLiteral("offeredCard")) QVERIFY(w.click(QStringLiteral("clearCard")));
        }

        QVERIFY(w.click(QStringLiteral("clearCard")));
        a.addBackups({photos()});
        QVERIFY(WindowDriver::waitFor([&] { return w.text(QStringLiteral("suggestedAction")) == "Check"; }));
        QVERIFY(w.click(QStringLiteral("suggestedCard")));
        checkedAgainst(a, checks, {q(photos())});
        if (QTest::currentTestFailed()) return;
        QCOMPARE(a.stage.checkRequest(checks).value(QStringLiteral("source")).toString(), q(card()));
        QCOMPARE(w.text(QStringLiteral("heroTitle")), notSaved(kMissing));

        // Each row's menu shows its own location in the file manager.
        for (const auto& [row, path] :
             {std::pair{QStringLiteral("cardRow"), card()}, {QStringLiteral("backupRow"), photos()}}) {
            QVERIFY(w.clickAt(row, 0, Qt::RightButton));
            QVERIFY(w.click(QStringLiteral("showInFiles")));
            QCOMPARE(a.stage.revealed().last(), QVariant(QStringList{q(path)}));
        }
    }

    // A card inserted while the backups are chosen is announced; a backup drive pulled out and
    // plugged in again meanwhile (one that looks like a card, sorted before it) neither takes its
    // place in the banner nor in its Check, which checks the announced card at once, opening no
    // folder dialog on it.
    void bannerChecksAnnouncedCard() {
        arch_->write("DCIM/.keep", "");
        QVERIFY(unplug(*card_));
        WindowSession a(present_);
        QVERIFY(a.ready());
        WindowDriver& w = *a.window;
        AppModel& m = a.model();
        a.addBackups({photos(), archive()});
        QVERIFY(m.waitForIdle(kHangDetectorMs));

        QVERIFY(plug(*card_));
        const QString title = QStringLiteral("“HVCARD” was just inserted");
        QVERIFY(WindowDriver::waitFor([&] { return w.text(QStringLiteral("newCardTitle")) == title; }));
        QCOMPARE(w.text(QStringLiteral("newCardSubtitle")), QStringLiteral("Check it against your backups"));
        QVERIFY(unplug(*arch_));
        QVERIFY(WindowDriver::waitFor([&] { return m.notConnectedKeys() == QStringList{q(archive())}; }));
        QVERIFY(plug(*arch_));
        QVERIFY(WindowDriver::waitFor([&] { return m.notConnectedKeys().isEmpty(); }));
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(w.text(QStringLiteral("newCardTitle")), title);

        const int checks = a.stage.checkCount();
        const int questions = a.stage.pickerQuestions();
        QVERIFY(w.click(QStringLiteral("newCardCheck")));
        checkedAgainst(a, checks, {q(photos()), q(archive())});
        QCOMPARE(a.stage.pickerQuestions(), questions);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(a.stage.checkRequest(checks).value(QStringLiteral("source")).toString(), q(card()));
        QCOMPARE(w.text(QStringLiteral("heroTitle")), notSaved(kMissing - kArchived));
    }

    // The banner never announces the card that is chosen: one announced and then checked from the
    // sidebar leaves with the check and does not come back with its result.
    void bannerNeverAnnouncesTheChosenCard() {
        QVERIFY(unplug(*card_));
        WindowSession a(present_);
        QVERIFY(a.ready());
        WindowDriver& w = *a.window;
        AppModel& m = a.model();
        a.addBackups({photos()});
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QVERIFY(plug(*card_));
        QVERIFY(WindowDriver::waitFor([&] { return !w.text(QStringLiteral("newCardTitle")).isEmpty(); }));
        const int checks = a.stage.checkCount();
        QVERIFY(w.click(QStringLiteral("suggestedCard")));
        checkedAgainst(a, checks, {q(photos())});
        QVERIFY(!m.newCard());
        QVERIFY(WindowDriver::waitFor([&] { return w.text(QStringLiteral("newCardTitle")).isEmpty(); }));
    }

    // A backup whose drive comes back while a result is shown has its drive's facts in the
    // sidebar again, not its mount-point folder's.
    void returningBackupShowsItsFacts() {
        WindowSession a(present_);
        QVERIFY(a.ready());
        WindowDriver& w = *a.window;
        AppModel& m = a.model();
        checkWith(a, card(), {photos(), archive()});
        if (QTest::currentTestFailed()) return;
        auto archiveLine = [&] { return sidebarBackups(w, QStringLiteral("locationDetail")).value(1); };
        QVERIFY(archiveLine().startsWith("HVARCH · "));
        QVERIFY(unplug(*arch_));
        QVERIFY(WindowDriver::waitFor(
            [&] { return archiveLine() == QStringLiteral("\u201cArchive\u201d isn't connected"); }));
        QVERIFY(plug(*arch_));
        QVERIFY(WindowDriver::waitFor(
            [&] { return m.notConnectedKeys().isEmpty() && m.waitForIdle(kHangDetectorMs); }));
        QVERIFY(WindowDriver::waitFor([&] { return archiveLine().startsWith("HVARCH · "); }));
    }

    // A backup whose drive was pulled out lazily leaves its empty mount-point folder on the
    // system's disk. The window says the backup isn't connected (its sidebar row, the start
    // screen's row, a notice on the next check), the check leaves it out, the copy dialog does not
    // offer it, and nothing lands in its folder.
    void backupNotConnected() {
        WindowSession a(present_);
        QVERIFY(a.ready());
        WindowDriver& w = *a.window;
        checkWith(a, card(), {photos(), archive()});
        if (QTest::currentTestFailed()) return;
        QVERIFY(sidebarBackups(w, QStringLiteral("locationDetail")).value(1).startsWith("HVARCH · "));

        QVERIFY(unplug(*arch_, true));
        const QString gone = QStringLiteral("\u201cArchive\u201d isn't connected");
        QVERIFY(WindowDriver::waitFor(
            [&] { return sidebarBackups(w, QStringLiteral("locationDetail")).value(1) == gone; }));
        QVERIFY(sidebarBackups(w, QStringLiteral("locationDetail")).value(0).startsWith("HVBACK · "));

        // The copy dialog of the result on screen, which was checked against both.
        QVERIFY(w.clickAction(QStringLiteral("copy")));
        QVERIFY(WindowDriver::waitFor([&] { return a.sheet() && a.sheet()->planCurrent(); }));
        QCOMPARE(a.sheet()->backupTexts().size(), 1);
        QVERIFY(a.sheet()->backupTexts().value(0).endsWith(q(photos())));
        QVERIFY(!w.item(QStringLiteral("backupPicker")));
        QCOMPARE(a.sheet()->planCount(), kMissing - kArchived);
        QVERIFY(w.click(QStringLiteral("copyButton")));
        QVERIFY(WindowDriver::waitFor([&] { return a.sheet()->phase() == CopySheet::Phase::done; }));
        QCOMPARE(w.text(QStringLiteral("doneHeadline")), QStringLiteral("Copied and verified"));
        QCOMPARE(filesBelow(back_->mountPoint()), kFiles - kArchived);

        // Done checks again, without the archive, and says why.
        const int checks = a.stage.checkCount();
        QVERIFY(w.click(QStringLiteral("copyDone")));
        checkedAgainst(a, checks, {q(photos())});
        if (QTest::currentTestFailed()) return;
        QTRY_COMPARE(w.text(QStringLiteral("noticeText")), gone);
        QCOMPARE(w.text(QStringLiteral("heroTitle")), notSaved(kArchived));
        QCOMPARE(filesBelow(arch_->mountPoint()), 0);

        QVERIFY(w.click(QStringLiteral("toolNewCheck")));
        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("backupColumn")) != nullptr; }));
        QStringList start;
        for (QQuickItem* row : w.items(QStringLiteral("backupRow"), w.item(QStringLiteral("backupColumn"))))
            start << WindowDriver::textIn(row, QStringLiteral("backupFree"));
        QCOMPARE(start.size(), 2);
        QVERIFY(start[0].endsWith(" free · on HVBACK"));
        QCOMPARE(start[1], gone);
        QCOMPARE(sidebarBackups(w, QStringLiteral("locationDetail")).value(1), gone);
    }

    // The saved checks' relative times age with the clock, with nothing else changing; the
    // sidebar's volume facts are the drive's own, read again after a copy and on mount events.
    void timesAndVolumeFacts() {
        WindowSession a(present_);
        QVERIFY(a.ready());
        // A minute, less a moment, ahead of the drives' clock: a check recorded now reads "now",
        // and a moment later a minute ago.
        a.stage.shiftClock(58.5);
        WindowDriver& w = *a.window;
        AppModel& m = a.model();
        a.stage.holdPasses(true);
        checkWith(a, card(), {photos()}, true);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(w.items(QStringLiteral("historyRow")).size(), 1);
        const auto ago = [&] { return w.items(QStringLiteral("historyRow"))[0]->property("ago").toString(); };
        // "now" until the times are read again a minute past the check's end, which a loaded
        // machine may reach before the row is looked at.
        const TimeNs minute = TimeNs(60) * 1'000'000'000;
        if (m.ageNow() - m.history().front().report->summary().finishedAt < minute)
            QCOMPARE(ago(), QStringLiteral("now"));
        QVERIFY(WindowDriver::waitFor([&] { return ago() == "1 min. ago"; }));
        a.stage.holdPasses(false);
        QVERIFY(passOver(m));

        auto facts = [&] { return sidebarBackups(w, QStringLiteral("locationDetail")).value(0); };
        const QString before = facts();
        QVERIFY(before.startsWith("HVBACK · ") && before.endsWith(" free"));
        QVERIFY(w.clickAction(QStringLiteral("copy")));
        QVERIFY(WindowDriver::waitFor([&] { return a.sheet() && a.sheet()->planCurrent(); }));
        QVERIFY(w.click(QStringLiteral("copyButton")));
        QVERIFY(WindowDriver::waitFor([&] { return a.sheet()->phase() == CopySheet::Phase::done; }));
        QVERIFY(WindowDriver::waitFor([&] { return facts() != before; }));
        const QString afterCopy = facts();
        QVERIFY(afterCopy.startsWith("HVBACK · ") && afterCopy.endsWith(" free"));

        // Something else fills the drive; the next mount event shows it.
        back_->write("elsewhere.bin", std::string(size_t(6) << 20, 'x'));
        ::sync();
        QVERIFY(unplug(*arch_));
        QVERIFY(WindowDriver::waitFor([&] { return facts() != afterCopy; }));
        QVERIFY(facts().startsWith("HVBACK · ") && facts().endsWith(" free"));
    }

    // A card relabelled while it is mounted (a disk tool renames it) is named anew wherever the
    // window names it: offered in the sidebar and on the start screen, and once chosen in its
    // facts; the device manager's word is the window's cue, no mount changes.
    void relabelledCardIsNamedAnew() {
        if (!deviceManagerRuns())
            QSKIP("no device manager (udev) runs here: the mount table alone is watched");
        WindowSession a(present_);
        QVERIFY(a.ready());
        WindowDriver& w = *a.window;
        auto relabel = [&](const std::string& label) {
            runAsRootOrThrow("e2label " + card_->device() + " " + label);
            refreshDeviceDatabase(card_->device());
        };
        auto restore = qScopeGuard([&] { relabel("HVCARD"); });
        auto offered = [&](const QString& name) {
            return w.text(QStringLiteral("suggestedName")) == name &&
                   w.text(QStringLiteral("offeredCardName")) == name;
        };
        QVERIFY(WindowDriver::waitFor([&] { return offered(QStringLiteral("HVCARD")); }));
        relabel("HVRENAMED");
        QVERIFY(WindowDriver::waitFor([&] { return offered(QStringLiteral("HVRENAMED")); }));
        a.chooseCard(card());
        QVERIFY(WindowDriver::waitFor([&] { return cardFacts(w).startsWith("HVRENAMED · "); }));
        relabel("HVCARD");
        QVERIFY(WindowDriver::waitFor([&] { return cardFacts(w).startsWith("HVCARD · "); }));
    }

    // Two cards of one label (cameras name every card alike) one after the other at one mount
    // path. The saved "Safe to format" of the first never shows as the second's: no
    // ready-to-format panel, no Eject, not the second's facts in the sidebar (the card named there
    // as its check named it), and no re-check of it from the toolbar, its key or the saved check's
    // menu. With no card there it asks for the
    // card and records nothing; the first card back in its place is its card again. The card's
    // label and UUID are the ones the device has, for root and for an ordinary user alike.
    void aSavedResultBelongsToItsCard() {
        std::unique_ptr<ZramVolume> first, second;
        try {
            first = twinCard(3);
            second = std::make_unique<ZramVolume>(32ll << 20, "HVTWIN", "/mnt");
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        second->write("DCIM/100TWIN/IMG_9000.JPG", content(7));
        const std::string place = first->mountPoint();
        const std::string uuid = runAsRootOrThrow("blkid -s UUID -o value " + first->device());
        WindowSession a(present_);
        QVERIFY(a.ready());
        WindowDriver& w = *a.window;
        AppModel& m = a.model();
        // The start screen offers it by its label.
        QVERIFY(WindowDriver::waitFor([&] {
            for (QQuickItem* name : w.items(QStringLiteral("offeredCardName")))
                if (name->property("text").toString() == QStringLiteral("HVTWIN")) return true;
            return false;
        }));
        a.chooseCard(place);
        QVERIFY(WindowDriver::waitFor([&] { return cardFacts(w).startsWith("HVTWIN · "); }));
        checkTwin(a, place, twinBackups());
        if (QTest::currentTestFailed()) return;
        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("readyPanel")) && ejectShown(w); }));
        QCOMPARE(m.report()->source.name, std::string("HVTWIN"));
        QCOMPARE(m.report()->source.volumeID, std::optional<std::string>(uuid));
        QCOMPARE(m.history().front().report->summary().source.volumeID, std::optional<std::string>(uuid));
        QCOMPARE(w.items(QStringLiteral("historyRow")).value(0)->property("name").toString(),
                 QStringLiteral("HVTWIN"));
        const QUuid saved = m.history().front().id;

        // The other card of the same name in its place.
        QVERIFY(unmountOnceFree(*first).empty());
        QVERIFY(WindowDriver::waitFor([&] { return m.phase() == AppModel::Phase::Setup; }));
        QVERIFY(unmountOnceFree(*second).empty());
        QCOMPARE(runAsRoot("mount -t ext4 " + second->device() + " " + place), 0);
        QVERIFY(WindowDriver::waitFor([&] { return !m.suggestedCards().empty(); }));
        QVERIFY(w.click(QStringLiteral("historyRow")));
        QVERIFY(WindowDriver::waitFor([&] { return m.savedCard() == AppModel::SavedCard::another; }));
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(w.text(QStringLiteral("heroTitle")), QStringLiteral("Another card is in the reader"));
        QCOMPARE(
            w.text(QStringLiteral("heroReason")),
            QStringLiteral("The card at its place isn't the “HVTWIN” this result checked. Insert that card "
                           "to check it again."));
        QVERIFY(w.text(QStringLiteral("savedLine")).startsWith("Checked "));
        QVERIFY(WindowDriver::waitFor([&] { return ringIn(w, QStringLiteral("partial")); }));
        QVERIFY(!ringIn(w, QStringLiteral("verified")));
        QVERIFY(WindowDriver::waitFor([&] { return !w.item(QStringLiteral("readyPanel")); }));
        QVERIFY(!ejectShown(w));
        // Named as its check named it, not by its folder, with none of the facts of what is there.
        QCOMPARE(WindowDriver::textIn(w.item(QStringLiteral("cardRow")), QStringLiteral("locationName")),
                 QStringLiteral("HVTWIN"));
        QCOMPARE(cardFacts(w), QStringLiteral("HVTWIN"));
        const int checks = a.stage.checkCount();
        const QString insert = QStringLiteral("Insert \u201cHVTWIN\u201d to check it again.");
        auto refused = [&] {
            QTRY_COMPARE(w.text(QStringLiteral("noticeText")), insert);
            m.dismissNotice();
            QVERIFY(m.waitForIdle(kHangDetectorMs));
            QCOMPARE(a.stage.checkCount(), checks);
            QCOMPARE(m.historyCount(), 1);
            QCOMPARE(m.history().front().id, saved);
        };
        w.key(Qt::Key_R, Qt::ControlModifier);
        refused();
        QVERIFY(w.click(QStringLiteral("toolRecheck")));
        refused();
        QVERIFY(w.clickAt(QStringLiteral("historyRow"), 0, Qt::RightButton));
        QVERIFY(w.click(QStringLiteral("recheckSaved")));
        refused();
        if (QTest::currentTestFailed()) return;

        // No card there: the empty mount-point folder is not checked in its name either.
        QCOMPARE(runAsRoot("umount " + place), 0);
        QVERIFY(WindowDriver::waitFor([&] { return m.savedCard() == AppModel::SavedCard::notInserted; }));
        QVERIFY(WindowDriver::waitFor([&] {
            return w.text(QStringLiteral("heroTitle")) == QStringLiteral("The card isn't in the reader");
        }));
        QCOMPARE(
            w.text(QStringLiteral("heroReason")),
            QStringLiteral("This result is of “HVTWIN” as it was checked. Insert it to check it again."));
        QVERIFY(WindowDriver::waitFor([&] { return ringIn(w, QStringLiteral("pending")); }));
        QVERIFY(!ringIn(w, QStringLiteral("verified")));
        QCOMPARE(WindowDriver::textIn(w.item(QStringLiteral("cardRow")), QStringLiteral("locationName")),
                 QStringLiteral("HVTWIN"));
        w.key(Qt::Key_R, Qt::ControlModifier);
        refused();
        QVERIFY(w.click(QStringLiteral("toolRecheck")));
        refused();
        if (QTest::currentTestFailed()) return;

        // The card itself back in its place.
        QVERIFY(first->remount().empty());
        QVERIFY(second->remount().empty());
        QVERIFY(WindowDriver::waitFor([&] { return m.savedCard() == AppModel::SavedCard::unchanged; }));
        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("readyPanel")) && ejectShown(w); }));
        QVERIFY(w.text(QStringLiteral("savedLine")).endsWith(" The card hasn't changed since."));
        QCOMPARE(w.text(QStringLiteral("heroTitle")), QStringLiteral("Safe to format"));
        QVERIFY(WindowDriver::waitFor([&] { return ringIn(w, QStringLiteral("verified")); }));
        QVERIFY(WindowDriver::waitFor([&] { return cardFacts(w).startsWith("HVTWIN · "); }));
    }

    // A card shown safe to format is taken out and another card of the same label, holding a photo
    // no backup has, is mounted at its folder at once, as an automounter does on resume; the
    // machine's other mounts rest, or a hundred more keep changing. The window stops saying "Safe to
    // format" and "Ready to format" and offers no Eject; it announces and offers the card at that
    // folder as a new card, whose Check checks it as itself.
    void aCardSwappedAtOnceIsANewCard_data() {
        QTest::addColumn<bool>("churning");
        QTest::newRow("other mounts at rest") << false;
        QTest::newRow("other mounts changing") << true;
    }
    void aCardSwappedAtOnceIsANewCard() {
        QFETCH(bool, churning);
        std::unique_ptr<ZramVolume> first, second;
        std::unique_ptr<BusyMounts> busy;
        try {
            first = twinCard(3);
            second = std::make_unique<ZramVolume>(32ll << 20, "HVTWIN", "/mnt");
            asCameraMadeIt(*second);
            if (churning) busy = std::make_unique<BusyMounts>();
        } catch (const std::exception& e) {
            QSKIP(volumesUnavailable(e.what()).c_str());
        }
        second->write("DCIM/100TWIN/IMG_9000.JPG", content(7));
        const std::string uuid = runAsRootOrThrow("blkid -s UUID -o value " + second->device());
        const std::string place = first->mountPoint();
        QVERIFY(second->unmount().empty());
        auto putBack = qScopeGuard([&] {
            runAsRoot("umount " + place);
            first->remount();
            second->remount();
        });
        WindowSession a(present_);
        QVERIFY(a.ready());
        WindowDriver& w = *a.window;
        AppModel& m = a.model();
        checkTwin(a, place, twinBackups());
        if (QTest::currentTestFailed()) return;
        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("readyPanel")) && ejectShown(w); }));

        QCOMPARE(unmountOnceFree(*first, [&] { return first->swapFor(*second); }), std::string());
        QVERIFY(WindowDriver::waitFor([&] {
            return w.text(QStringLiteral("heroTitle")) != QStringLiteral("Safe to format") &&
                   !w.item(QStringLiteral("readyPanel")) && !ejectShown(w);
        }));
        QVERIFY(!m.report() && !m.canEjectSource());
        QVERIFY(WindowDriver::waitFor([&] {
            return w.text(QStringLiteral("noticeText")) ==
                   QStringLiteral(
                       "“HVTWIN” ejected — you can remove it. Its result is saved in Recent checks.");
        }));
        QVERIFY(w.click(QStringLiteral("noticeDismiss")));
        QVERIFY(WindowDriver::waitFor([&] { return !w.item(QStringLiteral("noticeText")); }));
        QVERIFY(WindowDriver::waitFor([&] {
            return w.text(QStringLiteral("newCardTitle")) == QStringLiteral("“HVTWIN” was just inserted");
        }));
        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("suggestedCard")) != nullptr; }));
        QVERIFY(m.newCard() && m.newCard()->volumePath == place);
        const int checks = a.stage.checkCount();
        QVERIFY(w.click(QStringLiteral("newCardCheck")));
        checkedAgainst(a, checks, {q(twinBackups()[0]), q(twinBackups()[1])});
        if (QTest::currentTestFailed()) return;
        QCOMPARE(m.report()->source.volumeID, std::optional<std::string>(uuid));
        QCOMPARE(w.text(QStringLiteral("heroTitle")), notSaved(1));
    }

    // A card checked safe to format, then a photo copied onto it while it stays in the reader. The
    // result on screen loses its ready-to-format panel within moments: the header says the card
    // changed since the check, in the warning colour down to its ring, and so does its row among
    // the recent checks; the card can still be ejected from the header. The sidebar names the card
    // as the header does. Its saved result opened from the recent checks says the same, shows
    // no format guide, and its Check Again checks the card as it is now.
    void aSavedResultOfACardChangedSince() {
        std::unique_ptr<ZramVolume> card;
        try {
            card = twinCard(2);
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        WindowSession a(present_);
        QVERIFY(a.ready());
        WindowDriver& w = *a.window;
        AppModel& m = a.model();
        checkTwin(a, card->mountPoint(), twinBackups());
        if (QTest::currentTestFailed()) return;
        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("readyPanel")) && ejectShown(w); }));
        QVERIFY(WindowDriver::waitFor([&] { return ringIn(w, QStringLiteral("verified")); }));
        card->write("DCIM/100TWIN/IMG_5999.JPG", content(99));
        ::sync();
        QVERIFY(WindowDriver::waitFor([&] {
            return !w.item(QStringLiteral("readyPanel")) &&
                   w.text(QStringLiteral("heroTitle")) == QStringLiteral("Changed since this check");
        }));
        QCOMPARE(m.savedCard(), AppModel::SavedCard::changed);
        QVERIFY(WindowDriver::waitFor([&] { return ringIn(w, QStringLiteral("partial")); }));
        QVERIFY(!ringIn(w, QStringLiteral("verified")));
        QVERIFY(WindowDriver::waitFor([&] { return ejectShown(w); }));
        QCOMPARE(w.items(QStringLiteral("historyRow")).value(0)->property("countLine").toString(),
                 QStringLiteral("Changed since this check"));
        QCOMPARE(w.items(QStringLiteral("historyRow")).value(0)->property("symbolColor").toString(),
                 QStringLiteral("partial"));
        QCOMPARE(WindowDriver::textIn(w.item(QStringLiteral("cardRow")), QStringLiteral("locationName")),
                 w.text(QStringLiteral("heroCardName")));

        QVERIFY(w.click(QStringLiteral("toolNewCheck")));
        QVERIFY(w.click(QStringLiteral("recentTile")));
        QVERIFY(WindowDriver::waitFor([&] { return m.savedCard() == AppModel::SavedCard::changed; }));
        QVERIFY(WindowDriver::waitFor([&] {
            return w.text(QStringLiteral("heroTitle")) == QStringLiteral("Changed since this check");
        }));
        QCOMPARE(w.text(QStringLiteral("heroReason")),
                 QStringLiteral(
                     "Since this check, 1 file added on the card. Check it again before you format it."));
        QVERIFY(w.text(QStringLiteral("savedLine")).startsWith("Checked "));
        QVERIFY(WindowDriver::waitFor([&] { return !w.item(QStringLiteral("readyPanel")); }));
        QVERIFY(w.items(QStringLiteral("formatSteps")).isEmpty());
        const int checks = a.stage.checkCount();
        QVERIFY(w.click(QStringLiteral("savedRecheck")));
        QVERIFY(WindowDriver::waitFor(
            [&] { return a.stage.checkCount() > checks && m.phase() == AppModel::Phase::Results; }));
        QVERIFY(passOver(m));
        QCOMPARE(m.savedCard(), AppModel::SavedCard::none);
        QCOMPARE(w.text(QStringLiteral("heroTitle")), notSaved(1));
        QVERIFY(w.text(QStringLiteral("savedLine")).isEmpty());
    }

    // One name for each drive: a card's copies spread over two folders of the photos drive and
    // the archive's make three backups on two drives, which the ready panel names once each, as the
    // sidebar's lines name their volumes.
    void theReadyPanelNamesEachDriveOnce() {
        std::unique_ptr<ZramVolume> card;
        try {
            card = twinCard(2);
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        const std::string again = back_->mountPoint() + "/Twin again";
        fs::create_directories(again + "/DCIM/100TWIN");
        fs::rename(twinBackups()[0] + "/DCIM/100TWIN/IMG_5001.JPG", again + "/DCIM/100TWIN/IMG_5001.JPG");
        ::sync();
        WindowSession a(present_);
        QVERIFY(a.ready());
        WindowDriver& w = *a.window;
        checkTwin(a, card->mountPoint(), {twinBackups()[0], again, twinBackups()[1]});
        if (QTest::currentTestFailed()) return;
        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("readyPanel")); }));
        QCOMPARE(
            w.text(QStringLiteral("readySentence")),
            QStringLiteral("All 2 files are verified byte for byte on 2 separate drives (HVBACK and HVARCH). "
                           "Format the card in your camera:"));
        for (const QString& line : sidebarBackups(w, QStringLiteral("locationDetail")))
            QVERIFY2(line.startsWith("HVBACK · ") || line.startsWith("HVARCH · "), qPrintable(line));
    }

    // A btrfs subvolume with camera folders mounted alone, and the same folder bound elsewhere, show
    // part of their volume: neither is offered or announced as a card, and checked as the card,
    // every photo on two drives, it is still no card to format or eject. It is named by its place in
    // the volume, and the whole volume checked after it is a saved check of its own.
    void aPartOfAVolumeIsAFolderOfIt() {
        std::unique_ptr<ZramVolume> volume;
        std::string part;
        try {
            if (std::string why; !ZramVolume::available(&why, ZramVolume::FileSystem::btrfs))
                QSKIP(why.c_str());
            volume = std::make_unique<ZramVolume>(
                128ll << 20, ZramVolume::Options{ZramVolume::FileSystem::btrfs, "HVPARTS", "/mnt", "", 1});
            part = volume->mountSubvolume("cam");
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        for (int i = 0; i < 2; ++i) {
            const std::string name = "DCIM/100TWIN/IMG_" + std::to_string(5000 + i) + ".JPG";
            fs::create_directories(fs::path(part + "/" + name).parent_path());
            std::ofstream(part + "/" + name, std::ios::binary) << content(100 + i);
            for (const std::string& b : twinBackups()) {
                fs::create_directories(fs::path(b + "/" + name).parent_path());
                std::ofstream(b + "/" + name, std::ios::binary) << content(100 + i);
            }
        }
        ::sync();
        WindowSession a(present_);
        QVERIFY(a.ready());
        WindowDriver& w = *a.window;
        AppModel& m = a.model();
        auto listed = [&](const std::string& mountPoint) {
            return std::any_of(m.volumes().begin(), m.volumes().end(),
                               [&](const VolumeInfo& v) { return v.volumePath == mountPoint; });
        };
        QVERIFY(WindowDriver::waitFor([&] { return listed(part); }));
        bool byRoot = false;
        const std::string bound = makeMountFolder("/mnt", "bound", &byRoot);
        struct Bound {
            std::string at;
            bool byRoot;
            ~Bound() {
                runAsRoot("umount " + shellQuote(at) + " || umount -l " + shellQuote(at));
                removeMountFolder(at, byRoot);
            }
        } unbind{bound, byRoot};
        runAsRootOrThrow("mount --bind " + shellQuote(volume->mountPoint() + "/cam") + " " +
                         shellQuote(bound));
        QVERIFY(WindowDriver::waitFor([&] { return listed(bound); }));
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QVERIFY(!m.newCard());
        for (const VolumeInfo& v : m.suggestedCards()) QVERIFY(v.volumePath != part && v.volumePath != bound);

        checkWith(a, part, twinBackups());
        if (QTest::currentTestFailed()) return;
        QCOMPARE(m.report()->totals.verified, int64_t(2));
        QCOMPARE(w.text(QStringLiteral("heroTitle")), QStringLiteral("All verified"));
        QVERIFY2(w.text(QStringLiteral("heroReason"))
                     .endsWith(QStringLiteral(
                         "“HVPARTS/cam” is part of a volume whose other files weren't checked.")),
                 qPrintable(w.text(QStringLiteral("heroReason"))));
        QVERIFY(!w.item(QStringLiteral("readyPanel")) && !ejectShown(w));
        QCOMPARE(WindowDriver::textIn(w.item(QStringLiteral("cardRow")), QStringLiteral("locationName")),
                 QStringLiteral("HVPARTS/cam"));

        checkTwin(a, volume->mountPoint(), twinBackups());
        if (QTest::currentTestFailed()) return;
        QStringList saved;
        for (QQuickItem* row : w.items(QStringLiteral("historyRow")))
            saved << row->property("name").toString();
        QCOMPARE(saved, (QStringList{QStringLiteral("HVPARTS"), QStringLiteral("HVPARTS/cam")}));
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SidebarWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SidebarWindowTest.moc"

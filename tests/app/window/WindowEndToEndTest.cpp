// The application's window over the real model, verifier and copy runner, the card and the backup
// each on a zram drive, driven as a user drives it. A case opens a session (a fresh model on the
// same drives, its window shown) and walks its road; the drives are made once.
#include <QApplication>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QJSValue>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "WindowDriver.h"
#include "model/CopySheet.h"
#include "platform/DialogDriver.h"
#include "platform/LinuxServices.h"
#include "results/ResultsData.h"
#include "shell/Shell.h"
#include "support/ZramVolume.h"

using namespace halvetrop;
using namespace halvetrop::test;

namespace {

constexpr int kFiles = 24;
constexpr int kMissing = 4;

// The content of card file i: one of its own, so no two files match each other.
std::string content(int i) { return std::string(size_t(64 << 10), char('a' + i % 26)) + std::to_string(i); }

int filesBelow(const std::string& root) {
    int n = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(
             root, std::filesystem::directory_options::skip_permission_denied))
        n += e.is_regular_file() ? 1 : 0;
    return n;
}

using Session = WindowSession;

}  // namespace

class WindowEndToEndTest : public QObject {
    Q_OBJECT

    shell::Look look_;
    shell::Present present_;
    std::unique_ptr<ZramVolume> card_, backup_;

    std::string card() const { return card_->mountPoint(); }
    std::string backup() const { return backup_->mountPoint() + "/Photos"; }
    // A second backup folder whose name fills a row.
    std::string longBackup() const {
        return backup_->mountPoint() + "/Photos of the spring wedding season at the old harbour, selected";
    }
    // Another card, a folder named as long.
    std::string otherCard() const {
        return backup_->mountPoint() + "/Cards/Second camera at the wedding on the old harbour, spring";
    }

    // The card and the backup chosen through the File menu's keys and the folder picker, then
    // checked with the Check button, until the verdict is on screen. A case goes on only when
    // nothing failed here (QTest::currentTestFailed).
    void chooseAndCheck(Session& s) {
        WindowDriver& w = *s.window;
        s.chooseCard(card());
        QCOMPARE(s.model().source(), std::optional<std::string>(card()));
        s.addBackups({backup()});
        QCOMPARE(s.model().destinations(), std::vector<std::string>{backup()});
        QVERIFY(w.click(QStringLiteral("checkButton")));
        QVERIFY(WindowDriver::waitFor([&] { return s.model().phase() == AppModel::Phase::Results; }));
    }

    // The verdict's copy button, in whichever of its forms the width shows.
    static bool clickCopy(WindowDriver& w) { return w.clickAction(QStringLiteral("copy")); }

private slots:
    void init() { WindowDriver::failOnBindingLoops(); }

    void initTestCase() {
        WindowDriver::prepare(look_, present_);
        if (std::string why; !ZramVolume::available(&why)) QSKIP(why.c_str());
        try {
            card_ = std::make_unique<ZramVolume>(64ll << 20, "HVCARD", "/mnt");
            backup_ = std::make_unique<ZramVolume>(64ll << 20, "HVBACK", "/mnt");
        } catch (const std::exception& e) {
            card_.reset();
            backup_.reset();
            QSKIP(e.what());
        }
        for (int i = 0; i < kFiles; ++i) {
            const std::string name = "IMG_" + std::to_string(1000 + i) + ".JPG";
            card_->write("DCIM/100TEST/" + name, content(i));
            if (i < kFiles - kMissing) backup_->write("Photos/2024/" + name, content(i));
        }
        for (const std::string& folder : {longBackup(), otherCard()})
            backup_->write(folder.substr(backup_->mountPoint().size() + 1) + "/.keep", "");
        ::sync();
    }

    void cleanupTestCase() {
        card_.reset();
        backup_.reset();
    }

    // At the smallest window (1040 x 660), at 1132 and at 1240, with the inspector and without, the
    // card, the backups and the phase change while the card is also on offer in the sidebar: each
    // change of phase moves the columns while the sidebar's rows change with the card. Nothing
    // crashes, the offered card's row keeps its action inside the sidebar, and a row that stays is
    // the same row.
    void everyWidthEveryChange_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("inspector");
        QTest::newRow("1040") << 1040 << false;
        QTest::newRow("1040, inspector") << 1040 << true;
        QTest::newRow("1132, inspector") << 1132 << true;
        QTest::newRow("1240") << 1240 << false;
        QTest::newRow("1240, inspector") << 1240 << true;
    }
    void everyWidthEveryChange() {
        QFETCH(int, width);
        QFETCH(bool, inspector);
        Session s(present_);
        QVERIFY(s.ready());
        WindowDriver& w = *s.window;
        AppModel& m = s.model();
        QVERIFY(w.resize(QSize(width, 660)));
        const auto inspectorAs = [&] {
            if (m.showInspector() != inspector) QVERIFY(w.click(QStringLiteral("toolInspector")));
            QCOMPARE(m.showInspector(), inspector);
        };
        // The offered card's row, whole inside the sidebar.
        const auto offeredFits = [&] {
            QQuickItem* bar = w.item(QStringLiteral("sidebar"));
            QQuickItem* action = w.item(QStringLiteral("suggestedAction"));
            return bar && action && action->mapToItem(bar, QPointF(action->width(), 0)).x() <= bar->width();
        };

        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("suggestedCard")) != nullptr; }));
        s.addBackups({longBackup(), backup()});
        QVERIFY(WindowDriver::waitFor([&] { return w.text(QStringLiteral("suggestedAction")) == "Check"; }));
        QVERIFY(offeredFits());
        QPointer<QQuickItem> backupRow = w.item(QStringLiteral("backupRow"));
        QVERIFY(w.click(QStringLiteral("suggestedCard")));
        QVERIFY(WindowDriver::waitFor([&] { return m.phase() == AppModel::Phase::Results; }));
        inspectorAs();
        for (int round = 0; round < 2; ++round) {
            // Back to the start: the inspector goes and the card is on offer again.
            QVERIFY(w.click(QStringLiteral("toolNewCheck")));
            QVERIFY(
                WindowDriver::waitFor([&] { return w.item(QStringLiteral("suggestedCard")) != nullptr; }));
            QVERIFY(offeredFits());
            // The saved result, its card and backups restored.
            QVERIFY(w.click(QStringLiteral("historyRow")));
            QVERIFY(WindowDriver::waitFor([&] { return m.phase() == AppModel::Phase::Results; }));
            QCOMPARE(m.source(), std::optional<std::string>(card()));
            // Another card picked over the results: the long-named folder, then the card again.
            s.chooseCard(otherCard());
            QVERIFY(
                WindowDriver::waitFor([&] { return w.item(QStringLiteral("suggestedCard")) != nullptr; }));
            s.chooseCard(card());
            QVERIFY(WindowDriver::waitFor([&] { return !w.item(QStringLiteral("suggestedCard")); }));
            // A backup removed and added again, then checked again.
            QVERIFY(w.clickAt(QStringLiteral("backupRow"), 1, Qt::RightButton));
            QVERIFY(w.click(QStringLiteral("removeLocation")));
            QCOMPARE(m.destinations(), std::vector<std::string>{longBackup()});
            s.addBackups({backup()});
            const int checks = s.stage.checkCount();
            w.key(Qt::Key_Return, Qt::ControlModifier);
            QVERIFY(WindowDriver::waitFor(
                [&] { return s.stage.checkCount() > checks && m.phase() == AppModel::Phase::Results; }));
            QCOMPARE(w.text(QStringLiteral("heroTitle")), QStringLiteral("%1 not backed up").arg(kMissing));
            QCOMPARE(m.showInspector(), inspector);
            QVERIFY(w.window().width() >= width);
        }
        // The first backup's row stood through every change of the others.
        QVERIFY(backupRow);
        QVERIFY(m.waitForIdle(kHangDetectorMs));
    }

    // The copy dialog open over the verdict, and all but one of the files it would copy leave the
    // card: the header says the card changed, the dialog says why nothing is copied, offers no
    // Copy button, and Return copies nothing. Closed, the header offers to copy the one file left;
    // a file that left says so in the browser and the inspector and offers nothing of the card.
    // The files are put back for the cases after.
    void aCardThatChangesUnderTheCopyDialog() {
        Session s(present_);
        QVERIFY(s.ready());
        WindowDriver& w = *s.window;
        AppModel& m = s.model();
        chooseAndCheck(s);
        if (QTest::currentTestFailed()) return;
        // The byte-by-byte pass that follows the check ends first: a file that leaves the card
        // while the pass reads it is the pass's own finding, not a change since.
        QVERIFY(WindowDriver::waitFor(
            [&] { return m.report()->level == CheckLevel::verified && !m.deepVerifying(); }));
        QVERIFY(clickCopy(w));
        QVERIFY(WindowDriver::waitFor([&] { return s.sheet() && s.sheet()->planCurrent(); }));
        QCOMPARE(w.text(QStringLiteral("copyButton")), QStringLiteral("Copy %1 Files").arg(kMissing));
        QVERIFY(w.item(QStringLiteral("copyButton"))->isEnabled());

        std::vector<std::string> gone;
        for (int i = kFiles - kMissing; i < kFiles - 1; ++i)
            gone.push_back("DCIM/100TEST/IMG_" + std::to_string(1000 + i) + ".JPG");
        const auto putBack = qScopeGuard([&] {
            for (int i = kFiles - kMissing; i < kFiles - 1; ++i)
                card_->write(gone[size_t(i - (kFiles - kMissing))], content(i));
            ::sync();
        });
        for (const std::string& path : gone) QVERIFY(std::filesystem::remove(card() + "/" + path));
        QVERIFY(WindowDriver::waitFor([&] { return m.savedCard() == AppModel::SavedCard::changed; }));
        QVERIFY(WindowDriver::waitFor([&] { return !w.text(QStringLiteral("planError")).isEmpty(); }));
        QCOMPARE(w.text(QStringLiteral("heroTitle")), QStringLiteral("Changed since this check"));
        QCOMPARE(w.text(QStringLiteral("planError")),
                 QStringLiteral(
                     "Since this check, %1 files removed on the card \u2014 check it again before copying.")
                     .arg(kMissing - 1));
        // A refused plan offers only Cancel.
        QVERIFY(!w.item(QStringLiteral("copyButton")));
        QVERIFY(!s.sheet()->canCopy());
        w.key(Qt::Key_Return);
        // A Copy waits for a look at the card begun after it: once a later one is back, it started
        // or never will.
        bool looked = false;
        m.whenCardLooked([&](AppModel&, bool) { looked = true; });
        QVERIFY(WindowDriver::waitFor([&] { return looked; }));
        QCOMPARE(s.sheet()->phase(), CopySheet::Phase::planning);
        QVERIFY(!m.copying());
        QCOMPARE(filesBelow(backup()), kFiles - kMissing);
        w.key(Qt::Key_Escape);
        QVERIFY(WindowDriver::waitFor([&] { return !m.hasCopyRequest(); }));

        QCOMPARE(w.text(QStringLiteral("copy")), QStringLiteral("Copy 1 to Backup\u2026"));
        QVERIFY(w.click(QStringLiteral("mode-Files")) && w.click(QStringLiteral("searchField")));
        w.type(QStringLiteral("IMG_%1").arg(1000 + kFiles - kMissing));
        QVERIFY(WindowDriver::waitFor([&] { return w.items(QStringLiteral("fileRow")).size() == 1; }));
        QCOMPARE(
            WindowDriver::textIn(w.items(QStringLiteral("fileRow")).front(), QStringLiteral("statusCell")),
            QStringLiteral("No longer on the card"));
        QVERIFY(w.clickAt(QStringLiteral("fileRow"), 0));
        QVERIFY(WindowDriver::waitFor([&] {
            return w.text(QStringLiteral("inspectorStatus")) == QStringLiteral("No longer on the card");
        }));
        for (const char* offered : {"inspectorPreview", "inspectorShowOnCard", "inspectorCopy"})
            QVERIFY2(!w.item(QString::fromLatin1(offered)), offered);
        // Its menu, asked for, has nothing to offer (no copy anywhere, nothing on the card): it
        // stays closed.
        const std::string goneName = "IMG_" + std::to_string(1000 + kFiles - kMissing) + ".JPG";
        const auto goneFile = std::find_if(m.report()->files.begin(), m.report()->files.end(),
                                           [&](const FileResult& f) { return f.name == goneName; });
        QVERIFY(goneFile != m.report()->files.end());
        QVERIFY(w.clickAt(QStringLiteral("fileRow"), 0, Qt::RightButton));
        QObject* menu = nullptr;
        QVERIFY(WindowDriver::waitFor([&] {
            menu = w.window().findChild<QObject*>(QStringLiteral("fileMenu"));
            const QVariant ids = menu ? menu->property("ids") : QVariant();
            const QVariantList asked = ids.metaType() == QMetaType::fromType<QJSValue>()
                                           ? ids.value<QJSValue>().toVariant().toList()
                                           : ids.toList();
            return asked.size() == 1 && asked.front().toLongLong() == goneFile->id;
        }));
        QVERIFY(!menu->property("visible").toBool());
        for (const char* offered : {"menuQuickLook", "menuShowOnCard", "menuCopy"})
            QVERIFY2(!w.item(QString::fromLatin1(offered)), offered);
    }

    // Choose card and backup, check, see the verdict, open the files, copy the missing ones
    // through the dialog, check again, and open the saved result from the history without a
    // new scan. On the way: Return typed into a text field starts nothing, the inspector's
    // Preview works outside the browser, and a shoot's landing link only reveals.
    void roadOfAUser() {
        Session s(present_);
        QVERIFY(s.started && s.window && s.window->ready());
        WindowDriver& w = *s.window;
        AppModel& m = s.model();
        chooseAndCheck(s);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(w.text(QStringLiteral("heroTitle")), QStringLiteral("%1 not backed up").arg(kMissing));
        // The byte-by-byte pass follows by itself.
        QVERIFY(WindowDriver::waitFor(
            [&] { return m.report()->level == CheckLevel::verified && !m.deepVerifying(); }));

        // The browser: Return in its search field is the field's, never the copy dialog's.
        QVERIFY(w.click(QStringLiteral("mode-Files")));
        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("fileRow")) != nullptr; }));
        QCOMPARE(w.text(QStringLiteral("fileCount")), QStringLiteral("%1 files").arg(kFiles));
        QVERIFY(w.click(QStringLiteral("searchField")));
        w.type(QStringLiteral("IMG"));
        w.key(Qt::Key_Return);
        w.key(Qt::Key_Return);
        QCOMPARE(m.search(), QStringLiteral("IMG"));
        QVERIFY(!m.hasCopyRequest());

        // A file chosen in the browser, previewed from the inspector beside the shoots.
        QVERIFY(w.click(QStringLiteral("fileRow")));
        QVERIFY(m.selectedFileID() >= 0);
        QVERIFY(w.click(QStringLiteral("mode-Shoots")));
        QVERIFY(w.click(QStringLiteral("inspectorPreview")));
        QVERIFY(
            WindowDriver::waitFor([] { return WindowDriver::shownWindow(QStringLiteral("previewWindow")); }));
        m.closePreview();
        QVERIFY(WindowDriver::waitFor(
            [] { return !WindowDriver::shownWindow(QStringLiteral("previewWindow")); }));

        // The copy dialog: a name typed into its field is no go-ahead; the Copy button is.
        QVERIFY(clickCopy(w));
        QVERIFY(WindowDriver::waitFor([&] { return s.sheet() && s.sheet()->planCurrent(); }));
        QCOMPARE(s.sheet()->planCount(), kMissing);
        QVERIFY(w.click(QStringLiteral("layout_2")));
        QVERIFY(w.click(QStringLiteral("newFolder")));
        w.key(Qt::Key_End);
        w.type(QStringLiteral(" x"));

        QVERIFY(WindowDriver::waitFor([&] { return s.sheet()->planCurrent(); }));
        QVERIFY(s.sheet()->baseFolder().endsWith(QStringLiteral(" x")));
        w.key(Qt::Key_Return);
        QCOMPARE(s.sheet()->phase(), CopySheet::Phase::planning);
        QVERIFY(w.click(QStringLiteral("copyButton")));
        QVERIFY(WindowDriver::waitFor([&] { return s.sheet()->phase() == CopySheet::Phase::done; }));
        QCOMPARE(w.text(QStringLiteral("doneHeadline")), QStringLiteral("Copied and verified"));
        QCOMPARE(filesBelow(backup()), kFiles);

        // Done checks again: everything is on the backup now, and the copy stays offered.
        const int checks = s.stage.checkCount();
        QVERIFY(w.click(QStringLiteral("copyDone")));
        QVERIFY(WindowDriver::waitFor(
            [&] { return s.stage.checkCount() > checks && m.phase() == AppModel::Phase::Results; }));
        QCOMPARE(m.report()->totals.covered(), int64_t(kFiles));
        QVERIFY(!w.text(QStringLiteral("heroTitle")).contains(QStringLiteral("not backed up")));
        QVERIFY(w.item(QStringLiteral("lastCopyButton")));
        QVERIFY(WindowDriver::waitFor(
            [&] { return m.report()->level == CheckLevel::verified && !m.deepVerifying(); }));

        // A shoot's landing link shows its backup folder and leaves the shoots on screen.
        QVERIFY(w.click(QStringLiteral("mode-Shoots")));
        QVERIFY(w.click(QStringLiteral("landingLink")));
        const QVariantList revealed = s.stage.revealed();
        QVERIFY(!revealed.isEmpty());
        QVERIFY(revealed.last().toStringList().value(0).startsWith(QString::fromStdString(backup())));
        QCOMPARE(m.mode(), AppModel::Mode::Shoots);

        // The saved result opens from the history without a new scan.
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        const QString verdict = w.text(QStringLiteral("heroTitle"));
        const int before = s.stage.checkCount();
        QVERIFY(w.click(QStringLiteral("toolNewCheck")));
        QCOMPARE(m.phase(), AppModel::Phase::Setup);
        QVERIFY(w.click(QStringLiteral("historyRow")));
        QVERIFY(WindowDriver::waitFor([&] { return m.phase() == AppModel::Phase::Results; }));
        QCOMPARE(w.text(QStringLiteral("heroTitle")), verdict);
        QVERIFY(s.stage.settle());
        QCOMPARE(s.stage.checkCount(), before);
    }

    // The File menu's pickers in the window, the desktop's own dialog driven as a user drives it,
    // on a card and on a backup drive holding the card's camera folders at its root, both mounted
    // so that any listing writes an access time. Typed down to the card's camera folder, the card
    // picker says why it goes no further; the card is taken whole. The backup picker refuses the
    // card being checked, saying why, and adds the drive with one click on its button. No access
    // time on either drive moves.
    void thePickersLeaveTheCardsAlone() {
        StrictDrive card, mirror;
        try {
            card.make("/mnt", "HVPICK", {"DCIM/100CANON/IMG_0001.JPG", "MISC/A.DAT"});
            mirror.make("/mnt", "HVMIRROR", {"DCIM/100CANON/IMG_0001.JPG"});
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        Session s(present_, {}, std::make_unique<DialogFolderPicker>());
        QVERIFY(s.ready());
        AppModel& m = s.model();
        s.stage.folder(QStringLiteral("media/Other"));  // where the pickers open, with something in it
        QVERIFY(WindowDriver::waitFor([&] {
            return std::count_if(m.volumes().begin(), m.volumes().end(), [&](const VolumeInfo& v) {
                       return v.isLikelyCameraCard && (v.volumePath == card.root.toStdString() ||
                                                       v.volumePath == mirror.root.toStdString());
                   }) == 2;
        }));
        QVERIFY(card.ageAll() && mirror.ageAll());

        // Each typed text is followed by Return, or by a click on the dialog's button while the
        // name's completions show; what the dialog said after each is kept.
        bool completionsShown = false;
        auto answer = [&](Qt::KeyboardModifiers keys, const QStringList& typed, bool click = false) {
            QStringList said;
            Seen seen;
            whenDialogShows(seen, [&](QFileDialog& dialog, QFileSystemModel&) {
                auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
                QApplication::setActiveWindow(&dialog);
                name->setFocus();
                for (const QString& text : typed) {
                    name->clear();
                    QTest::keyClicks(name, text);
                    if (!click) QTest::keyClick(name, Qt::Key_Return);
                    if (click) {
                        completionsShown = name->completer()->popup()->isVisible();
                        clickThroughWindow(
                            dialog, *dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open));
                    }
                    // The dialog takes what is typed and goes, or says why not.
                    WindowDriver::waitFor(
                        [&] { return !dialog.isVisible() || !refusalShown(dialog).isEmpty(); });
                    if (!dialog.isVisible()) return;
                    said << refusalShown(dialog);
                }
                dialog.reject();
            });
            s.window->key(Qt::Key_O, keys);
            return said;
        };
        const QStringList saidOfTheCard =
            answer(Qt::ControlModifier, {card.root + "/DCIM/100CANON", card.root});
        QCOMPARE(card.touched() + mirror.touched(), QStringList());
        QVERIFY(
            saidOfTheCard.value(0).startsWith(QStringLiteral("Folders on a card aren\u2019t opened here")));
        QCOMPARE(m.source(), std::optional<std::string>(card.root.toStdString()));
        QCOMPARE(
            answer(Qt::ControlModifier | Qt::ShiftModifier, {card.root}).value(0),
            "\u201C" + card.name() + "\u201D is the card being checked, so it can\u2019t be its own backup.");
        QVERIFY(m.destinations().empty());
        QVERIFY(answer(Qt::ControlModifier | Qt::ShiftModifier, {mirror.root}, true).isEmpty());
        QVERIFY(completionsShown);
        QCOMPARE(m.destinations(), std::vector<std::string>{mirror.root.toStdString()});
        QCOMPARE(card.touched() + mirror.touched(), QStringList());
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WindowEndToEndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WindowEndToEndTest.moc"

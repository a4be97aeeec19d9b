// The application's window over the real model, verifier and copy runner, the card and the backup
// each on a zram drive, driven as a user drives it. A case opens a session (a fresh model on the
// same drives, its window shown) and walks its road; the drives are made once.
#include <QApplication>
#include <QTest>

#include <filesystem>
#include <memory>

#include "WindowDriver.h"
#include "model/CopySheet.h"
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
        QVERIFY(WindowDriver::waitFor([&] { return s.model().phase() == AppModel::Phase::Results; }, 60000));
    }

    // The verdict's copy button, in whichever of its forms the width shows.
    static bool clickCopy(WindowDriver& w) { return w.clickAction(QStringLiteral("copy")); }

private slots:
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
        ::sync();
    }

    void cleanupTestCase() {
        card_.reset();
        backup_.reset();
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
            [&] { return m.report()->level == CheckLevel::verified && !m.deepVerifying(); }, 60000));

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
        QVERIFY(WindowDriver::waitFor([&] { return s.sheet()->phase() == CopySheet::Phase::done; }, 60000));
        QCOMPARE(w.text(QStringLiteral("doneHeadline")), QStringLiteral("Copied and verified"));
        QCOMPARE(filesBelow(backup()), kFiles);

        // Done checks again: everything is on the backup now, and the copy stays offered.
        const int checks = s.stage.checkCount();
        QVERIFY(w.click(QStringLiteral("copyDone")));
        QVERIFY(WindowDriver::waitFor(
            [&] { return s.stage.checkCount() > checks && m.phase() == AppModel::Phase::Results; }, 60000));
        QCOMPARE(m.report()->totals.covered(), int64_t(kFiles));
        QVERIFY(!w.text(QStringLiteral("heroTitle")).contains(QStringLiteral("not backed up")));
        QVERIFY(w.item(QStringLiteral("lastCopyButton")));
        QVERIFY(WindowDriver::waitFor([&] { return !m.deepVerifying(); }, 60000));

        // A shoot's landing link shows its backup folder and leaves the shoots on screen.
        QVERIFY(w.click(QStringLiteral("mode-Shoots")));
        QVERIFY(w.click(QStringLiteral("landingLink")));
        const QVariantList revealed = s.stage.revealed();
        QVERIFY(!revealed.isEmpty());
        QVERIFY(revealed.last().toStringList().value(0).startsWith(QString::fromStdString(backup())));
        QCOMPARE(m.mode(), AppModel::Mode::Shoots);

        // The saved result opens from the history without a new scan.
        QVERIFY(m.waitForIdle(10000));
        const QString verdict = w.text(QStringLiteral("heroTitle"));
        const int before = s.stage.checkCount();
        QVERIFY(w.click(QStringLiteral("toolNewCheck")));
        QCOMPARE(m.phase(), AppModel::Phase::Setup);
        QVERIFY(w.click(QStringLiteral("historyRow")));
        QVERIFY(WindowDriver::waitFor([&] { return m.phase() == AppModel::Phase::Results; }));
        QCOMPARE(w.text(QStringLiteral("heroTitle")), verdict);
        QTest::qWait(100);
        QCOMPARE(s.stage.checkCount(), before);
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WindowEndToEndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WindowEndToEndTest.moc"

// The application's window over the real model, whose check, copy and file manager are the
// stage's scripted stand-ins: what Escape closes, what a new check or card does to the preview and
// the search, the grid's page keys, shoots whose files were never read, the pictures of files
// that have none, the copy preview's folders, the hand-off's help, a desktop without a file
// manager, and quitting without a word from QML.
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "WindowDriver.h"
#include "model/CopySheet.h"
#include "stage/Stage.h"

using namespace halvetrop;
using namespace halvetrop::test;

namespace {

// The stage's model with these saved checks, the window over it, and the first of them opened.
struct Session {
    stage::Stage stage;
    std::unique_ptr<WindowDriver> window;
    bool ready = false;

    Session(shell::Present& present, const QStringList& saved) {
        stage.setPresent(&present);
        stage.setSaved(saved);
        if (!stage.start()) return;
        window = std::make_unique<WindowDriver>(stage);
        ready = window->ready() && stage.openSaved(0);
    }
    AppModel& model() { return stage.model(); }
};

QList<QQuickItem*> itemsOfClass(QQuickItem* root, const char* className) {
    QList<QQuickItem*> out;
    if (!root) return out;
    if (root->inherits(className)) out << root;
    for (QQuickItem* child : root->childItems()) out << itemsOfClass(child, className);
    return out;
}

// The menu bar's titles.
QList<QQuickItem*> menuTitles(WindowDriver& w) {
    return itemsOfClass(w.window().contentItem(), "QQuickMenuBarItem");
}

// A menu of the window's that is open.
bool aMenuIsOpen(WindowDriver& w) {
    for (QObject* menu : w.window().findChildren<QObject*>())
        if (menu->inherits("QQuickMenu") && menu->property("opened").toBool()) return true;
    return false;
}

bool darkish(const QColor& c) { return c.lightnessF() < 0.5; }

// Whether the popup of that name is open.
bool popupOpen(WindowDriver& w, const QString& name) {
    for (QObject* popup : w.window().findChildren<QObject*>(name))
        if (popup->property("opened").toBool()) return true;
    return false;
}

}  // namespace

class BehaviourWindowTest : public QObject {
    Q_OBJECT

    shell::Look look_;
    shell::Present present_;
    QTemporaryDir desktop_;

private slots:
    void initTestCase() {
        // One photo application on the desktop, beside what the machine has, before anything
        // asks for them.
        QVERIFY(desktop_.isValid());
        QVERIFY(QDir().mkpath(desktop_.filePath(QStringLiteral("applications"))));
        QFile entry(desktop_.filePath(QStringLiteral("applications/org.kde.digikam.desktop")));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=digiKam\nExec=/bin/true %F\n");
        entry.close();
        const QByteArray dirs = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_DIRS", desktop_.path().toUtf8() + ':' +
                                     (dirs.isEmpty() ? QByteArray("/usr/local/share:/usr/share") : dirs));
        WindowDriver::prepare(look_, present_);
        // The pointer lights what it rests on, as on a desktop (the offscreen platform says not).
        QGuiApplication::styleHints()->setUseHoverEffects(true);
    }

    // Every popover, sheet, secondary window and menu closes on Escape: the card's contents, the
    // copy's result (which is Done: the card is checked again), the last copy, the Settings
    // window; a menu closed so leaves no title highlighted, and the next click is the user's.
    void escapeClosesWhatIsOpen() {
        Session s(present_, {QStringLiteral("missing")});
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;

        QVERIFY(w.click(QStringLiteral("cardContents")));
        QVERIFY(WindowDriver::waitFor([&] { return popupOpen(w, QStringLiteral("contentsPopover")); }));
        w.key(Qt::Key_Escape);
        QVERIFY(
            WindowDriver::waitFor([&] { return !popupOpen(w, QStringLiteral("contentsPopover")); }, 2000));

        QVERIFY(w.clickAction(QStringLiteral("copy")));
        QVERIFY(s.stage.waitForPlan());
        QVERIFY(w.click(QStringLiteral("copyButton")));
        QVERIFY(s.stage.finishCopy(QStringLiteral("copied")));
        QVERIFY(w.item(QStringLiteral("copyDone")));
        const int checks = s.stage.checkCount();
        w.key(Qt::Key_Escape);
        QVERIFY(WindowDriver::waitFor([&] { return !popupOpen(w, QStringLiteral("copySheet")); }, 2000));
        QCOMPARE(s.stage.checkCount(), checks + 1);
        QVERIFY(s.stage.finishCheck(QStringLiteral("missing")));

        QVERIFY(w.click(QStringLiteral("lastCopyButton")));
        QVERIFY(WindowDriver::waitFor([&] { return popupOpen(w, QStringLiteral("lastCopyPopover")); }));
        w.key(Qt::Key_Escape);
        QVERIFY(
            WindowDriver::waitFor([&] { return !popupOpen(w, QStringLiteral("lastCopyPopover")); }, 2000));

        w.key(Qt::Key_Comma, Qt::ControlModifier);
        QQuickWindow* settings = nullptr;
        QVERIFY(WindowDriver::waitFor(
            [&] { return settings = WindowDriver::shownWindow(QStringLiteral("settingsWindow")); }));
        QVERIFY(QTest::qWaitForWindowActive(settings));
        QTest::keyClick(settings, Qt::Key_Escape);
        QVERIFY(WindowDriver::waitFor(
            [] { return !WindowDriver::shownWindow(QStringLiteral("settingsWindow")); }, 2000));

        // The menu bar, with the pointer on the title it opened by.
        const QList<QQuickItem*> titles = menuTitles(w);
        QCOMPARE(titles.size(), 2);
        auto at = [](QQuickItem* item) { return item->mapToScene(QPointF(item->width() / 2, 8)).toPoint(); };
        QTest::mouseMove(&w.window(), at(titles.front()));
        QTest::mouseClick(&w.window(), Qt::LeftButton, Qt::NoModifier, at(titles.front()));
        QVERIFY(WindowDriver::waitFor([&] { return aMenuIsOpen(w); }, 2000));
        w.key(Qt::Key_Escape);
        QVERIFY(WindowDriver::waitFor([&] { return !aMenuIsOpen(w); }, 2000));
        QQuickItem* map = w.item(QStringLiteral("mode-Map"));
        QTest::mouseMove(&w.window(),
                         map->mapToScene(QPointF(map->width() / 2, map->height() / 2)).toPoint());
        for (QQuickItem* title : titles)
            QVERIFY2(!title->property("highlighted").toBool(), "a title stays lit");
        QTest::mouseMove(&w.window(), at(titles.back()));
        QTest::qWait(100);
        QVERIFY2(!aMenuIsOpen(w), "a menu opens on a mere hover");
        QTest::mouseClick(&w.window(), Qt::LeftButton, Qt::NoModifier, at(titles.front()));
        QVERIFY2(WindowDriver::waitFor([&] { return aMenuIsOpen(w); }, 2000), "the click only closed");
        w.key(Qt::Key_Escape);
        QVERIFY(WindowDriver::waitFor([&] { return !aMenuIsOpen(w); }, 2000));
        QVERIFY(w.click(QStringLiteral("mode-Map")));
        QCOMPARE(s.model().mode(), AppModel::Mode::Map);
    }

    // A check started with a file in the preview closes the preview and forgets it: the results
    // that come back do not open it again.
    void aNewCheckClosesThePreview() {
        Session s(present_, {QStringLiteral("browser")});
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        AppModel& m = s.model();
        QVERIFY(w.click(QStringLiteral("mode-Files")));
        QVERIFY(w.click(QStringLiteral("fileRow")));
        w.key(Qt::Key_Space);
        QVERIFY(
            WindowDriver::waitFor([] { return WindowDriver::shownWindow(QStringLiteral("previewWindow")); }));
        const int checks = s.stage.checkCount();
        w.key(Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(WindowDriver::waitFor([&] { return s.stage.checkCount() > checks; }));
        QVERIFY(WindowDriver::waitFor(
            [] { return !WindowDriver::shownWindow(QStringLiteral("previewWindow")); }));
        QVERIFY(!m.previewOpen() && m.previewUrls().isEmpty());
        QVERIFY(s.stage.finishCheck(QStringLiteral("browser")));
        QVERIFY(!WindowDriver::waitFor(
            [] { return WindowDriver::shownWindow(QStringLiteral("previewWindow")); }, 500));
        QVERIFY(!m.previewOpen());
    }

    // Words typed into the browser's search for one card are not the next card's: it starts with
    // an empty search and shows its files.
    void aNewCardStartsWithAnEmptySearch() {
        Session s(present_, {QStringLiteral("browser")});
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        AppModel& m = s.model();
        QVERIFY(w.click(QStringLiteral("mode-Files")));
        QVERIFY(w.click(QStringLiteral("searchField")));
        w.type(QStringLiteral("zzz"));
        QTRY_COMPARE(w.text(QStringLiteral("fileCount")), QStringLiteral("0 files"));

        const QString next = s.stage.folder(QStringLiteral("media/ana/NEXT"));
        s.stage.pickFolders({next});
        w.key(Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(m.source(), std::optional<std::string>(next.toStdString()));
        QCOMPARE(m.search(), QString());
        w.key(Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(s.stage.finishCheck(QStringLiteral("browser")));
        QVERIFY(w.click(QStringLiteral("mode-Files")));
        QCOMPARE(w.text(QStringLiteral("searchField")), QString());
        QCOMPARE(w.text(QStringLiteral("fileCount")), QStringLiteral("12 files"));
    }

    // Page Down and Page Up move the grid's selection by whole lines, in its column.
    void theGridPages() {
        Session s(present_, {QStringLiteral("browser")});
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        AppModel& m = s.model();
        QVERIFY(w.click(QStringLiteral("mode-Files")));
        QVERIFY(w.click(QStringLiteral("segment-square.grid.2x2")));
        QVERIFY(w.click(QStringLiteral("fileTile")));
        QQuickItem* first = w.item(QStringLiteral("fileTile"));
        const qint64 firstID = first->property("fileId").toLongLong();
        QCOMPARE(m.selectedFileID(), firstID);
        const auto selectedTile = [&]() -> QQuickItem* {
            for (QQuickItem* tile : w.items(QStringLiteral("fileTile")))
                if (tile->property("fileId").toLongLong() == m.selectedFileID()) return tile;
            return nullptr;
        };
        w.key(Qt::Key_PageDown);
        QQuickItem* below = selectedTile();
        QVERIFY(below && below != first);
        QCOMPARE(below->x(), first->x());
        QVERIFY(below->y() > first->y());
        w.key(Qt::Key_PageUp);
        QCOMPARE(m.selectedFileID(), firstID);
    }

    // A shoot none of whose files could be read says so, in the warning colour, and does not
    // call them missing.
    void aShootNeverReadSaysSo() {
        Session s(present_, {QStringLiteral("unread-clips")});
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        QQuickItem* clips = nullptr;
        QVERIFY(WindowDriver::waitFor([&] {
            for (QQuickItem* row : w.items(QStringLiteral("shootRow")))
                if (row->property("title").toString() == QStringLiteral("Video clips")) clips = row;
            return clips != nullptr;
        }));
        QCOMPARE(WindowDriver::textIn(clips, QStringLiteral("shootSentence")),
                 QStringLiteral("12 couldn't be read"));
        QQuickItem* sentence = w.items(QStringLiteral("shootSentence"), clips).value(0);
        QCOMPARE(sentence->property("color").value<QColor>(), look_.textColor(QStringLiteral("partial")));
    }

    // A file that has no picture shows its kind's symbol on the light ground in a shoot's stack,
    // as in the browser, beside a file whose picture came.
    void filesWithoutAPictureShowTheirKind() {
        Session s(present_, {QStringLiteral("browser")});
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        w.window().resize(w.window().width(), 1300);  // every shoot in view
        QList<QQuickItem*> tiles;
        QVERIFY(WindowDriver::waitFor([&] {
            for (QQuickItem* row : w.items(QStringLiteral("shootRow"))) {
                tiles = w.items(QStringLiteral("stackTile"), row);
                if (tiles.size() == 2) return true;
            }
            return false;
        }));
        // The first is a JPEG the helper decodes, the second a RAW file without a preview: each
        // waits for the helper's answer.
        const auto answered = [](QQuickItem* tile) {
            for (QQuickItem* thumbnail : tile->childItems())
                for (QQuickItem* image : thumbnail->childItems())
                    if (image->inherits("QQuickImage"))
                        return !image->property("source").toString().isEmpty() &&
                               image->property("status").toInt() != 2;  // not loading
            return false;
        };
        QVERIFY(WindowDriver::waitFor([&] { return answered(tiles[0]) && answered(tiles[1]); }));
        const auto symbolShown = [&](QQuickItem* tile) {
            return !w.items(QStringLiteral("kindSymbol"), tile).isEmpty();
        };
        QVERIFY(!symbolShown(tiles[0]));
        QVERIFY(darkish(tiles[0]->property("color").value<QColor>()));
        QVERIFY(symbolShown(tiles[1]));
        // Its right part, which the first tile does not cover.
        QVERIFY(!darkish(w.colorAt(tiles[1], {tiles[1]->width() - 6, tiles[1]->height() / 2})));
    }

    // The copy preview marks a folder the copy makes apart from one already on the backup.
    void theCopyPreviewMarksNewFolders() {
        Session s(present_, {QStringLiteral("missing")});
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        QVERIFY(w.clickAction(QStringLiteral("copy")));
        QVERIFY(s.stage.waitForPlan());
        auto* sheet = qobject_cast<CopySheet*>(s.model().copySheet());
        QVERIFY(sheet);
        const auto symbolsFor = [&](const QString& layout) {
            QStringList out;
            if (!w.click(layout) || !s.stage.waitForPlan()) return out;
            (void)w.window().grabWindow();
            for (QQuickItem* symbol : w.items(QStringLiteral("planFolderSymbol")))
                out << symbol->property("name").toString();
            return out;
        };
        QCOMPARE(symbolsFor(QStringLiteral("layout_0")), QStringList{QStringLiteral("folder.badge.plus")});
        QVERIFY(sheet->plan() && QDir().mkpath(QString::fromStdString(sheet->plan()->items.front().destDir)));
        QCOMPARE(symbolsFor(QStringLiteral("layout_3")), QStringList{QStringLiteral("folder.badge.plus")});
        QCOMPARE(symbolsFor(QStringLiteral("layout_0")), QStringList{QStringLiteral("folder.fill")});
    }

    // The copy's result offers the photo application with help that says what it will show.
    void theHandOffSaysWhatFollows() {
        Session s(present_, {QStringLiteral("missing")});
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        QVERIFY(w.clickAction(QStringLiteral("copy")));
        QVERIFY(s.stage.waitForPlan());
        QVERIFY(w.click(QStringLiteral("copyButton")));
        QVERIFY(s.stage.finishCopy(QStringLiteral("copied")));
        QQuickItem* handOff = nullptr;
        QVERIFY(WindowDriver::waitFor([&] {
            for (QQuickItem* b : w.items(QStringLiteral("handOff")))
                if (b->property("text").toString() == QStringLiteral("Add to digiKam")) handOff = b;
            return handOff != nullptr;
        }));
        QObject* help = handOff->findChild<QObject*>(QStringLiteral("handOffHelp"));
        QVERIFY(help);
        const int copied =
            present_.copyReport(s.model().lastCopy()).value(QStringLiteral("copiedCount")).toInt();
        QCOMPARE(help->property("text").toString(),
                 QStringLiteral("Open the %1 new files in digiKam — it shows its import window").arg(copied));
    }

    // With no file manager and nothing that opens folders, Show in Files says so.
    void showingWithoutAFileManager() {
        Session s(present_, {QStringLiteral("missing")});
        QVERIFY(s.ready);
        WindowDriver& w = *s.window;
        s.stage.setFileManager(false);
        QVERIFY(w.clickAt(QStringLiteral("cardRow"), 0, Qt::RightButton));
        QVERIFY(w.click(QStringLiteral("showInFiles")));
        QVERIFY(WindowDriver::waitFor([&] { return !w.text(QStringLiteral("noticeText")).isEmpty(); }));
        QCOMPARE(w.text(QStringLiteral("noticeText")),
                 QStringLiteral("Couldn't show “SONY A7IV”: no file manager is installed."));
    }

    // The application started and quit on a desktop of its own says nothing from QML.
    void quitsWithoutAWordFromQml() {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* dir : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
            env.insert(QString::fromLatin1(dir), home.filePath(QString::fromLatin1(dir)));
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("XDG_RUNTIME_DIR"))));
        QFile::setPermissions(home.filePath(QStringLiteral("XDG_RUNTIME_DIR")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // It quits by itself once its first frame is drawn and its history read.
        env.insert(QStringLiteral("HALVETROP_MEASURE_START"), QStringLiteral("1"));
        app.setProcessEnvironment(env);
        app.start(qEnvironmentVariable("HALVETROP_BUILD_DIR") + QStringLiteral("/app/halvetrop"), {});
        QVERIFY(app.waitForStarted());
        QVERIFY(app.waitForFinished(60000));
        QCOMPARE(app.exitCode(), 0);
        const QString said = QString::fromUtf8(app.readAllStandardError());
        QStringList fromQml;
        for (const QString& line : said.split(u'\n'))
            if (line.contains(QStringLiteral(".qml:"))) fromQml << line;
        QVERIFY2(fromQml.isEmpty(), qPrintable(fromQml.join(u'\n')));
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BehaviourWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "BehaviourWindowTest.moc"

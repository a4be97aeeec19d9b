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
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BehaviourWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "BehaviourWindowTest.moc"

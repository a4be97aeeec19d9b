// Runs the view suites with the native singletons, the image providers and the stage in place.
#include <QLocale>
#include <QMimeData>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QTest>
#include <QtQuickTest>

#include "results/ResultsData.h"
#include "shell/ReturnKey.h"
#include "shell/Shell.h"
#include "stage/Stage.h"

using namespace halvetrop;

// Drops file URLs on a window the way a file manager does: enter, move, drop at one point.
class Drops : public QObject {
    Q_OBJECT

public:
    Q_INVOKABLE void drop(QQuickWindow* window, const QPointF& at, const QStringList& paths) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
        mime.setUrls(urls);
        const QPoint pos = at.toPoint();
        QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &enter);
        QDragMoveEvent move(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &move);
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &drop);
    }
};

// A key pressed in a given window once it is the key window, as the system delivers it there:
// through the shortcut map, which the test's own keyClick reaches only for the test's window.
class KeyPress : public QObject {
    Q_OBJECT

public:
    Q_INVOKABLE bool click(QQuickWindow* window, int key) {
        window->requestActivate();
        if (!QTest::qWaitFor([window] { return QGuiApplication::focusWindow() == window; }, kHangDetectorMs))
            return false;
        QTest::keyClick(window, Qt::Key(key));
        return true;
    }
};

class Setup : public QObject {
    Q_OBJECT

public slots:
    void applicationAvailable() {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        QQuickStyle::setStyle(QStringLiteral("Fusion"));
        shell::useDesktopIcons();
        look_.set(present::Appearance::light, true);
        shell::registerNative(look_, present_);
        registerResults();
        stage::registerStage();
        // As the application does: Return presses the focused button.
        QCoreApplication::instance()->installEventFilter(&returnKey_);
        qmlRegisterSingletonType<Drops>("HalvetropTest", 1, 0, "Drops",
                                        [](QQmlEngine*, QJSEngine*) -> QObject* { return new Drops; });
        qmlRegisterSingletonType<KeyPress>("HalvetropTest", 1, 0, "KeyPress",
                                           [](QQmlEngine*, QJSEngine*) -> QObject* { return new KeyPress; });
    }
    void qmlEngineAvailable(QQmlEngine* engine) {
        shell::prepareEngine(*engine);
        // The suites' tryCompare and tryVerify wait this long for what they wait for, as the C++
        // suites do: until it holds, however loaded the machine, failing only on a hang.
        engine->rootContext()->setContextProperty(QStringLiteral("hangDetectorMs"), kHangDetectorMs);
    }

private:
    shell::Look look_;
    shell::Present present_;
    shell::ReturnKey returnKey_;
};

QUICK_TEST_MAIN_WITH_SETUP(app_qml_test, Setup)

#include "main.moc"

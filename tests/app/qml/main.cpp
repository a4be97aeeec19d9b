// Runs the view suites with the native singletons, the image providers and the fixtures in place.
#include <QLocale>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QtQuickTest>

#include "results/ResultsData.h"
#include "results/ResultsFixtures.h"
#include "shell/Fixtures.h"
#include "shell/Shell.h"

using namespace halvetrop;

class Setup : public QObject {
    Q_OBJECT

public slots:
    void applicationAvailable() {
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        QQuickStyle::setStyle(QStringLiteral("Fusion"));
        shell::useDesktopIcons();
        look_.set(present::Appearance::light, true);
        present_.setNotify([this](const QString& text, bool ok) {
            fixtures_.lastNotice = (ok ? QStringLiteral("ok:") : QStringLiteral("warn:")) + text;
            emit fixtures_.asked();
        });
        present_.setReveal([this](const QString& path) {
            fixtures_.lastReveal = path;
            emit fixtures_.asked();
        });
        shell::registerNative(look_, present_);
        registerResults();
        registerResultsFixtures();
        qmlRegisterSingletonType<shell::Fixtures>(
            "HalvetropFake.Native", 1, 0, "Fixtures", [this](QQmlEngine*, QJSEngine*) -> QObject* {
                QQmlEngine::setObjectOwnership(&fixtures_, QQmlEngine::CppOwnership);
                return &fixtures_;
            });
    }
    void qmlEngineAvailable(QQmlEngine* engine) { shell::prepareEngine(*engine); }

private:
    shell::Look look_;
    shell::Present present_;
    shell::Fixtures fixtures_;
};

QUICK_TEST_MAIN_WITH_SETUP(app_qml_test, Setup)

#include "main.moc"

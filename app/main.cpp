// The application: one model for the life of the process, the main window and the Settings window,
// drawn in the desktop's appearance with Fusion controls.
#include <QApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QStyleFactory>

#include "model/AppModel.h"
#include "platform/LinuxServices.h"
#include "shell/HistoryRows.h"
#include "shell/Look.h"
#include "shell/ModelBridge.h"
#include "shell/Present.h"
#include "shell/SettingsStore.h"
#include "shell/Shell.h"

using namespace halvetrop;

// The views compare phases and modes by these numbers.
static_assert(int(AppModel::Phase::Setup) == 0 && int(AppModel::Phase::Checking) == 1 &&
              int(AppModel::Phase::Results) == 2 && int(AppModel::Phase::Failed) == 3);
static_assert(int(AppModel::Mode::Shoots) == 0 && int(AppModel::Mode::Map) == 1 &&
              int(AppModel::Mode::Files) == 2);

namespace {

present::Appearance appearanceOf(const AppearanceValues& v) {
    if (v.highContrast) return v.dark ? present::Appearance::hcDark : present::Appearance::hcLight;
    return v.dark ? present::Appearance::dark : present::Appearance::light;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication::setApplicationName(QStringLiteral("Halvetrop"));
    QApplication::setApplicationDisplayName(QStringLiteral("SD Halvetrop"));
    QApplication::setApplicationVersion(QStringLiteral(HALVETROP_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("halvetrop"));
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    shell::useDesktopIcons();

    PlatformServices services = linuxPlatform();
    // The appearance and the instance guard belong to the application, not to the model.
    std::unique_ptr<Appearance> appearance = std::move(services.appearance);
    std::unique_ptr<SingleInstance> instance = std::move(services.singleInstance);

    QQmlApplicationEngine engine;
    QQuickWindow* window = nullptr;
    if (instance && !instance->claim([&window] {
            if (!window) return;
            window->show();
            window->raise();
            window->requestActivate();
        }))
        return 0;

    shell::Look look;
    auto follow = [&look, &appearance] {
        if (!appearance) return;
        const AppearanceValues v = appearance->current();
        look.set(appearanceOf(v), v.reduceMotion);
    };
    follow();
    if (appearance) appearance->onChange(follow);

    AppModelDeps deps;
    deps.platform = std::move(services);
    AppModel model(std::move(deps));

    shell::Present present;
    FileManagerReveal reveal;
    present.setReveal([&reveal](const QString& path) { reveal.reveal({path.toStdString()}); });

    shell::HistoryRows history;
    shell::bridge(model, history, present);

    shell::SettingsStore settings(model.settings());
    shell::registerNative(look, present);
    shell::prepareEngine(engine);
    engine.setInitialProperties({{QStringLiteral("model"), QVariant::fromValue(&model)},
                                 {QStringLiteral("history"), QVariant::fromValue(&history)},
                                 {QStringLiteral("settingsStore"), QVariant::fromValue(&settings)}});
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/Halvetrop/shell/MainWindow.qml")));
    if (engine.rootObjects().isEmpty()) return 1;
    window = qobject_cast<QQuickWindow*>(engine.rootObjects().constFirst());
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &model, [&model] { model.shutdown(); });
    return app.exec();
}

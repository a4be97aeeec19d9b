// The application: one model for the life of the process, the main window and the Settings window,
// drawn in the desktop's appearance with Fusion controls.
#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QStyleFactory>
#include <QThread>

#include <memory>
#include <utility>

#include "measure/Measure.h"
#include "model/AppModel.h"
#include "platform/Account.h"
#include "platform/LinuxServices.h"
#include "results/ResultsData.h"
#include "shell/HistoryRows.h"
#include "shell/Look.h"
#include "shell/ModelBridge.h"
#include "shell/Present.h"
#include "shell/ReturnKey.h"
#include "shell/SettingsStore.h"
#include "shell/Shell.h"
#include "thumbnail/Protocol.h"
#include "thumbnail/ThumbnailProvider.h"

#include <QQmlContext>

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
    halvetrop::setUpAllocator();
    QElapsedTimer sinceEntry;
    sinceEntry.start();
    settleHome();
    QApplication::setApplicationName(QStringLiteral("Halvetrop"));
    QApplication::setApplicationDisplayName(QStringLiteral("SD Halvetrop"));
    QApplication::setApplicationVersion(QStringLiteral(HALVETROP_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("halvetrop"));
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    shell::drawInSoftwareWhereGLIs();
    shell::useDesktopIcons();
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("halvetrop"), QIcon(QStringLiteral(":/halvetrop/halvetrop.svg"))));

    PlatformServices services = linuxPlatform();
    // The appearance and the instance guard belong to the application, not to the model.
    std::unique_ptr<Appearance> appearance = std::move(services.appearance);
    std::unique_ptr<SingleInstance> instance = std::move(services.singleInstance);

    // Ended by hand before the model, history, settings and helpers below, which its windows read.
    auto ownedEngine = std::make_unique<QQmlApplicationEngine>();
    QQmlApplicationEngine& engine = *ownedEngine;
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
    // A benchmark's HALVETROP_MEASURE_* variable hands the model and the main window to its measuring.
    measure::fromEnvironment(engine, deps, sinceEntry);
    AppModel model(std::move(deps));

    shell::Present present;

    // The saved checks' relative times are read at the model's one instant for them, as the results
    // header's are.
    shell::HistoryRows history([&model] { return model.ageNow(); });
    shell::bridge(model, history, present);

    shell::SettingsStore settings(model.settings());
    shell::registerNative(look, present);
    registerResults();
    shell::prepareEngine(engine);
    shell::ReturnKey returnKey;
    app.installEventFilter(&returnKey);
    // Card files are decoded only in the helpers beside this executable. Tiles ask for a square
    // of 132 points at twice the pixels; previews for the largest side the pipe carries.
    const QString helper = QCoreApplication::applicationDirPath() + QStringLiteral("/halvetrop-thumbnailer");
    thumbs::Thumbnailer thumbnailer({helper,
                                     {},
                                     5000,
                                     264,
                                     int64_t(256) << 20,
                                     thumbs::Thumbnailer::helpersFor(QThread::idealThreadCount())});
    engine.addImageProvider(QStringLiteral("thumbnail"), new thumbs::ThumbnailProvider(thumbnailer));
    thumbs::Thumbnailer previews({helper, {}, 5000, thumbs::maxSide, int64_t(64) << 20, 1});
    engine.addImageProvider(QStringLiteral("preview"), thumbs::ThumbnailProvider::previews(previews));
    thumbs::VideoRanges videoRanges(previews);
    engine.rootContext()->setContextProperty(QStringLiteral("videoRanges"), &videoRanges);
    // Without the helper every tile keeps its symbol; the user is told why, once.
    bool missingSaid = false;
    for (thumbs::Thumbnailer* t : {&thumbnailer, &previews})
        QObject::connect(t, &thumbs::Thumbnailer::helperMissing, &model, [&model, &missingSaid] {
            if (std::exchange(missingSaid, true)) return;
            model.show(
                QStringLiteral("Thumbnails and previews can't be shown: halvetrop-thumbnailer is missing "
                               "beside the application. Build or install it with the application."),
                false);
        });
    // A picture read from a card file that could not keep its access time is said, once per card.
    for (thumbs::Thumbnailer* t : {&thumbnailer, &previews})
        QObject::connect(t, &thumbs::Thumbnailer::accessTimeTouched, &model,
                         [&model](const thumbs::Key& key) { model.noteAccessTimeTouched(key.path); });
    // Views that can name a thumbnail (the shoot rows' filmstrips) ask for one only where this
    // engine has the helper behind it; tests and pictures without it keep their placeholders.
    engine.rootContext()->setContextProperty(QStringLiteral("thumbnailsAvailable"), true);
    // An open file would make the unmount fail: the card's jobs stop before an eject, and its
    // pictures are forgotten once it is gone.
    std::string ejected;
    QObject::connect(&model, &AppModel::ejectingChanged, &thumbnailer,
                     [&model, &thumbnailer, &previews, &ejected] {
                         if (model.ejecting() && model.report()) {
                             ejected = model.report()->source.volumePath;
                             thumbnailer.cancelVolume(ejected);
                             previews.cancelVolume(ejected);
                         } else if (!model.ejecting() && !ejected.empty()) {
                             thumbnailer.dropVolume(ejected);
                             previews.dropVolume(ejected);
                             ejected.clear();
                         }
                     });
    engine.setInitialProperties({{QStringLiteral("model"), QVariant::fromValue(&model)},
                                 {QStringLiteral("history"), QVariant::fromValue(&history)},
                                 {QStringLiteral("settingsStore"), QVariant::fromValue(&settings)}});
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/Halvetrop/shell/MainWindow.qml")));
    if (engine.rootObjects().isEmpty()) return 1;
    window = qobject_cast<QQuickWindow*>(engine.rootObjects().constFirst());
    if (!window) return 1;
    window->show();
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &model, [&model] { model.shutdown(); });
    const int code = app.exec();
    // The windows go first: torn down after what they bind to, every binding would be evaluated
    // once more on nothing, and say so.
    window = nullptr;
    for (QObject* root : engine.rootObjects()) delete root;
    thumbs::deleteReleasedItems();
    ownedEngine.reset();
    return code;
}

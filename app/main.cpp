// The application: one model for the life of the process, the main window and the Settings window,
// drawn in the desktop's appearance with Fusion controls.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QStyleFactory>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <memory>
#include <utility>

#include "MeasureWaits.h"
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

// The value of this process's status line `key` ("VmRSS:", "VmHWM:"), as "123 kB"; "?" without it.
QByteArray processStatus(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return QByteArray("?");
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key)) return line.mid(int(qstrlen(key))).simplified();
    return QByteArray("?");
}

// For the start benchmark (bench/app-start): reports the time from entry to the first frame and to
// the loaded history, and the memory then held, and quits.
void measureStart(QQuickWindow& window, AppModel& model, const QElapsedTimer& sinceEntry) {
    auto memory = [] { return processStatus("VmRSS:"); };
    auto state = std::make_shared<std::pair<qint64, qint64>>(-1, -1);
    auto done = std::make_shared<bool>(false);
    auto report = [state, done, &model, memory] {
        if (*done || state->first < 0 || state->second < 0) return;
        *done = true;
        std::printf("first frame %lld ms, history of %d loaded %lld ms, resident %s\n", state->first,
                    model.historyCount(), state->second, memory().constData());
        std::fflush(stdout);
        QCoreApplication::quit();
    };
    QObject::connect(&window, &QQuickWindow::frameSwapped, &window, [state, &sinceEntry, report] {
        if (state->first < 0) state->first = sinceEntry.elapsed();
        report();
    });
    auto loaded = [state, &sinceEntry, &model, report] {
        if (state->second < 0 && model.historyLoaded()) state->second = sinceEntry.elapsed();
        report();
    };
    QObject::connect(&model, &AppModel::historyChanged, &window, loaded);
    loaded();
}

// For the checking benchmark (bench/checking-animation): checks CARD against BACKUP (given as
// "CARD:BACKUP"), and while the checking screen is up reports the GUI thread's CPU use and the
// longest gap between frames, then quits.
void measureCheck(QQuickWindow& window, AppModel& model, const QString& paths) {
    const QStringList parts = paths.split(QLatin1Char(':'));
    if (parts.size() != 2) return;
    struct Measure {
        QElapsedTimer wall, sinceFrame;
        timespec cpu0{};
        int64_t frames = 0, longestGap = 0;
        bool running = false;
    };
    auto m = std::make_shared<Measure>();
    QObject::connect(&window, &QQuickWindow::frameSwapped, &window, [m] {
        if (!m->running) return;
        if (m->frames++ > 0) m->longestGap = std::max<int64_t>(m->longestGap, m->sinceFrame.elapsed());
        m->sinceFrame.restart();
    });
    QObject::connect(&model, &AppModel::phaseChanged, &window, [m, &model] {
        if (model.phase() == AppModel::Phase::Checking && !m->running) {
            m->running = true;
            m->wall.start();
            m->sinceFrame.start();
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &m->cpu0);
        } else if (model.phase() != AppModel::Phase::Checking && m->running) {
            m->running = false;
            timespec cpu1{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu1);
            const double cpu =
                double(cpu1.tv_sec - m->cpu0.tv_sec) + double(cpu1.tv_nsec - m->cpu0.tv_nsec) / 1e9;
            const double elapsed = double(m->wall.elapsed()) / 1000;
            std::printf(
                "check of %d files: %.2f s on screen; GUI thread CPU %.1f%% of one core; %lld frames; "
                "longest gap %lld ms\n",
                model.fileCount(), elapsed, 100 * cpu / elapsed, static_cast<long long>(m->frames),
                static_cast<long long>(m->longestGap));
            std::fflush(stdout);
            model.shutdown();
            QCoreApplication::quit();
        }
    });
    QTimer::singleShot(500, &model, [&model, parts] {
        model.setSource(parts[0].toStdString());
        model.addBackups({parts[1].toStdString()});
        model.setCardOnly(false);
        model.check(std::optional<CheckLevel>());
    });
}

// For the repeated-check benchmark (bench/window-recheck): checks CARD against BACKUP... (given as
// "CARD:BACKUP:..."), COUNT times in this window, each check with the byte-by-byte pass it starts;
// after each prints the peak resident size since the check began and the resident size once the
// pass has ended, then quits.
void measureRechecks(AppModel& model, const QString& paths, int count) {
    const QStringList parts = paths.split(QLatin1Char(':'));
    if (parts.size() < 2 || count < 1) return;
    const auto status = [](const char* key) { return processStatus(key).split(' ')[0].toDouble() / 1024; };
    // Writing 5 to clear_refs sets the peak to the resident size now.
    const auto check = [&model] {
        if (QFile clear(QStringLiteral("/proc/self/clear_refs")); clear.open(QIODevice::WriteOnly))
            clear.write("5");
        model.check(std::optional<CheckLevel>(CheckLevel::standard));
    };
    auto done = std::make_shared<int>(0);
    auto passBegun = std::make_shared<bool>(false);
    QObject::connect(&model, &AppModel::deepVerifyingChanged, &model, [=, &model] {
        if (model.deepVerifying()) {
            *passBegun = true;
            return;
        }
        if (!*passBegun) return;
        *passBegun = false;
        // What the pass left is given back a moment after it ends, off the GUI thread.
        QTimer::singleShot(2000, &model, [=, &model] {
            std::printf("check %d of %d files: peak %.1f MiB, resident %.1f MiB\n", ++*done,
                        model.fileCount(), status("VmHWM:"), status("VmRSS:"));
            std::fflush(stdout);
            if (*done < count) return check();
            model.shutdown();
            QCoreApplication::quit();
        });
    });
    QObject::connect(&model, &AppModel::phaseChanged, &model, [&model] {
        if (model.phase() != AppModel::Phase::Failed) return;
        std::printf("check failed: %s\n", qPrintable(model.failureText()));
        QCoreApplication::exit(1);
    });
    QTimer::singleShot(500, &model, [&model, parts, check] {
        model.setSource(parts[0].toStdString());
        std::vector<std::string> backups;
        for (const QString& b : parts.mid(1)) backups.push_back(b.toStdString());
        model.addBackups(backups);
        model.setCardOnly(false);
        check();
    });
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
    std::shared_ptr<measure::RunEnds> runEnds;
    if (qEnvironmentVariableIsSet("HALVETROP_MEASURE_WAITS")) {
        runEnds = measure::runEnds();
        deps.verifierFactory = measure::timedVerifiers(runEnds);
    }
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
    if (qEnvironmentVariableIsSet("HALVETROP_MEASURE_START")) measureStart(*window, model, sinceEntry);
    if (qEnvironmentVariableIsSet("HALVETROP_MEASURE_CHECK"))
        measureCheck(*window, model, qEnvironmentVariable("HALVETROP_MEASURE_CHECK"));
    if (qEnvironmentVariableIsSet("HALVETROP_MEASURE_RECHECKS"))
        measureRechecks(model, qEnvironmentVariable("HALVETROP_MEASURE_RECHECKS"),
                        qEnvironmentVariableIntValue("HALVETROP_MEASURE_COUNT"));
    if (runEnds)
        measure::measureWaits(*window, model, sinceEntry, qEnvironmentVariable("HALVETROP_MEASURE_WAITS"),
                              runEnds);
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

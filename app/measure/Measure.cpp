#include "measure/Measure.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "measure/MeasureWaits.h"
#include "model/AppModel.h"

namespace halvetrop::measure {

namespace {

// The value of this process's status line `key` ("VmRSS:", "VmHWM:"), as "123 kB"; "?" without it.
QByteArray processStatus(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return QByteArray("?");
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key)) return line.mid(int(qstrlen(key))).simplified();
    return QByteArray("?");
}

// A measuring asked for with values it cannot use says so and ends the process, which would
// otherwise wait for a measure that never comes.
void refuse(const char* why) {
    std::fprintf(stderr, "%s\n", why);
    QTimer::singleShot(0, [] { QCoreApplication::exit(2); });
}

// For the start benchmark (bench/app-start): reports the time from entry to the first frame and to
// the loaded history, and the memory then held, and quits.
void measureStart(QQuickWindow& window, AppModel& model, QElapsedTimer sinceEntry) {
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
    QObject::connect(&window, &QQuickWindow::frameSwapped, &window, [state, sinceEntry, report] {
        if (state->first < 0) state->first = sinceEntry.elapsed();
        report();
    });
    auto loaded = [state, sinceEntry, &model, report] {
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
    if (parts.size() != 2) return refuse("HALVETROP_MEASURE_CHECK wants CARD:BACKUP");
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
    if (parts.size() < 2 || count < 1)
        return refuse("HALVETROP_MEASURE_RECHECKS wants CARD:BACKUP... and HALVETROP_MEASURE_COUNT a count");
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

void fromEnvironment(QQmlApplicationEngine& engine, AppModelDeps& deps, const QElapsedTimer& sinceEntry) {
    const bool waits = qEnvironmentVariableIsSet("HALVETROP_MEASURE_WAITS");
    if (!waits && !qEnvironmentVariableIsSet("HALVETROP_MEASURE_START") &&
        !qEnvironmentVariableIsSet("HALVETROP_MEASURE_CHECK") &&
        !qEnvironmentVariableIsSet("HALVETROP_MEASURE_RECHECKS"))
        return;
    // The waits are counted from the moment each run returns, which only the verifier sees.
    std::shared_ptr<RunEnds> ends;
    if (waits) {
        ends = runEnds();
        deps.verifierFactory = timedVerifiers(ends);
    }
    // The main window is given the model as it is made; measured from before its first frame.
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreated, &engine,
        [ends, sinceEntry](QObject* root, const QUrl&) {
            auto* window = qobject_cast<QQuickWindow*>(root);
            auto* model =
                window ? qobject_cast<AppModel*>(window->property("model").value<QObject*>()) : nullptr;
            if (!model) return refuse("nothing to measure: the main window has no model");
            if (qEnvironmentVariableIsSet("HALVETROP_MEASURE_START"))
                measureStart(*window, *model, sinceEntry);
            if (qEnvironmentVariableIsSet("HALVETROP_MEASURE_CHECK"))
                measureCheck(*window, *model, qEnvironmentVariable("HALVETROP_MEASURE_CHECK"));
            if (qEnvironmentVariableIsSet("HALVETROP_MEASURE_RECHECKS"))
                measureRechecks(*model, qEnvironmentVariable("HALVETROP_MEASURE_RECHECKS"),
                                qEnvironmentVariableIntValue("HALVETROP_MEASURE_COUNT"));
            if (ends)
                measureWaits(*window, *model, sinceEntry, qEnvironmentVariable("HALVETROP_MEASURE_WAITS"),
                             ends);
        },
        Qt::SingleShotConnection);
}

}  // namespace halvetrop::measure

// The results screen of the real model on a report of FILES files (default 100,000) in 2,000 shoots
// (offscreen, 1240x800, the real window): the window shows a scripted check, which then ends with
// the report.
// Usage: halvetrop-results-bench [--files N] [--runs R] [--folds F] [--views shoots,map,table,...]
//                                [--rounds K] [--moments] [--history DIR]
// Prints one JSON line:
//   first_frame_ms: the median over R fresh processes (default 5) of the time from the check's end
//     to the first frame of the results (first_frame_runs: each of them);
//   scroll_longest_ms: the longest frame while the shoots list scrolls 300 steps of 120 px;
//   idle_longest_ms: the longest frame of the shoots list while nothing changes;
//   fold_longest_ms: per view (shoots, map, table, grid, the table sorted by status, the table of
//     the files not backed up) the longest frame while F folds (default 15) of the byte-by-byte
//     pass arrive, each with an F-th of the card's files;
//   switch_ms: per change of view ("shoots>map", ...; every ordered pair of the four views once, in
//     one round that starts on a fresh result) the longest of K rounds (default 3) of the time from
//     the change to its first rendered picture, or of a later frame when one of the next five is
//     longer; the byte-by-byte pass runs meanwhile, a third of its results folded in before;
//   sort_ms: likewise per click on a column header of the file table ("name+" ascending, "name-"
//     descending, ... for every sortable column), clicked in turn after a fresh result;
//   load1: the machine's load average over the last minute when the run began;
//   moments: per moment of a result, over R fresh processes each, the GUI thread's longest wait
//     (wait_ms: the longest single pass of its event loop, from the moment until a second after its
//     result's first frame; a call the moment makes on the GUI thread counts whole) and the time to
//     that first frame (first_ms): "result" a check's end, "pass_end" the end of the byte-by-byte
//     pass over it, "open" opening it saved, "open40" opening the newest of a history of 40 checks
//     of FILES files each; "listed40" the time from the model's start (before the window's first
//     frame) to the recent checks of that history listed (wait_ms: the GUI thread's longest wait
//     from the first frame until then).
// With --moments only the moments are measured. --history keeps the history of 40 in that folder
// (written there when it holds none) for later runs.
// A frame is everything the GUI thread does between two rendered pictures: the events it handles
// (a fold among them) and the rendering of the next picture.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QProcess>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SyntheticHistory.h"
#include "SyntheticReport.h"
#include "results/ResultsData.h"
#include "shell/Shell.h"
#include "stage/Stage.h"
#include "verify/Verifier.h"

using namespace halvetrop;

namespace {

QQuickItem* findItem(QQuickItem* item, const QString& name) {
    if (!item) return nullptr;
    if (item->objectName() == name) return item;
    for (QQuickItem* child : item->childItems())
        if (QQuickItem* hit = findItem(child, name)) return hit;
    return nullptr;
}

// Where a file's first copy lies: its shoot's own folder on the first backup, so that the card's
// places on the backups are many (the folder panel shows the largest 40).
std::string firstCopy(const FileResult& f) { return "Photos/S" + std::to_string(f.id / 50) + "/" + f.name; }

// Shoots of 50 files over 200 days, as a card of many short bursts, with its folders; each shoot
// was copied to a folder of its own.
VerifyReport manyShoots(int64_t files) {
    VerifyReport r = bench::syntheticReport(files);
    r.groups.clear();
    for (size_t i = 0; i < r.files.size(); i += 50) {
        ShootGroup g;
        g.folder = r.files[i].folder;
        const int day = int(i / 50) % 200;
        g.day = "2024-" + std::string(day / 28 + 1 < 10 ? "0" : "") + std::to_string(day / 28 + 1) + "-" +
                (day % 28 + 1 < 10 ? "0" : "") + std::to_string(day % 28 + 1);
        g.camera = "ILCE-7M4";
        for (size_t j = i; j < r.files.size() && j < i + 50; ++j) g.fileIDs.push_back(r.files[j].id);
        g.formats["ARW"] = int64_t(g.fileIDs.size());
        r.groups.push_back(std::move(g));
    }
    for (FileResult& f : r.files)
        if (!f.copies.empty()) f.copies.front().relativePath = firstCopy(f);
    r.folders = Verifier::buildFolders(r.files);
    return r;
}

// What the byte-by-byte pass finds for a file of the report: copies that were found are verified
// on both backups (those only likely backed up are found in their shoot's folder), except every
// 101st, whose bytes differ; missing files stay missing.
FileResult passResult(const FileResult& shown) {
    FileResult f = shown;
    if (f.status == FileStatus::missing) return f;
    if (f.id % 101 == 0) {
        f.status = FileStatus::conflict;
        f.detail = "The copy on the backup differs from the card's file.";
        f.safeDrives = 0;
        return f;
    }
    f.status = FileStatus::verified;
    f.detail.reset();
    f.copies = {{0, firstCopy(f), EvidenceLevel::verified, false},
                {1, "Archive/" + f.folder + "/" + f.name, EvidenceLevel::verified, false}};
    f.safeDrives = 2;
    return f;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double loadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    return f.readLine().split(' ').value(0).toDouble();
}

// The real window on a stage, showing the results of one scripted check at a time.
class Bench {
public:
    explicit Bench(int64_t files) : files_(files) {}

    // Starts on the history files (history.json and what is kept beside it) of `folder`, linked in.
    bool start(const QString& historyFolder) {
        const QString data = stage_.root() + QStringLiteral("/data");
        QDir().mkpath(data);
        for (const QString& name :
             QDir(historyFolder).entryList({QStringLiteral("history.json*")}, QDir::Files))
            if (::link(QFile::encodeName(historyFolder + u'/' + name).constData(),
                       QFile::encodeName(data + u'/' + name).constData()) != 0)
                return false;
        // The model's start is timed as the application makes it, without waiting for it.
        stage_.setSettleOnStart(false);
        return start(false);
    }

    // `settled`: the stage must be idle when it has started (a large history is still being read).
    bool start(bool settled = true) {
        shell::registerNative(look_, present_);
        registerResults();
        stage_.setPresent(&present_);
        clock_.start();
        if (!stage_.start() && settled) return false;
        AppModel& m = stage_.model();
        m.setShowInspector(false);
        m.setSource(stage_.folder(QStringLiteral("media/ana/CARD")).toStdString());
        m.addBackups({stage_.folder(QStringLiteral("b/A")).toStdString(),
                      stage_.folder(QStringLiteral("b/B")).toStdString()});
        report_ = manyShoots(files_);
        report_.source.path = m.source().value_or(std::string());
        report_.destinations.resize(2);
        for (size_t i = 0; i < 2; ++i) report_.destinations[i].path = m.destinations()[i];

        shell::prepareEngine(engine_);
        QQmlComponent main(&engine_, QUrl(QStringLiteral("qrc:/qt/qml/Halvetrop/shell/MainWindow.qml")));
        root_.reset(main.createWithInitialProperties(
            {{"model", QVariant::fromValue(&m)},
             {"history", QVariant::fromValue(&stage_.history())},
             {"settingsStore", QVariant::fromValue(&stage_.settingsStore())}}));
        window_ = qobject_cast<QQuickWindow*>(root_.get());
        if (!window_) {
            std::fprintf(stderr, "%s\n", qPrintable(main.errorString()));
            return false;
        }
        window_->resize(1240, 800);
        QObject::connect(window_, &QQuickWindow::frameSwapped, window_, [this] {
            ++frames_;
            if (!shownAt_) shownAt_ = clock_.elapsed();
        });
        window_->show();
        QObject::connect(&m, &AppModel::reportChanged, [this] { ++reports_; });
        return true;
    }

    // One moment's measures: the GUI thread's longest wait and the time to the first frame of its
    // result, -1 when there was none.
    struct Moment {
        qint64 waitMs = -1;
        qint64 firstMs = -1;
    };

    // Runs the event loop from a moment whose own call on the GUI thread took `calledMs`, until the
    // first frame after `done` holds and then a second longer; the longest pass of the loop.
    template <class Done>
    Moment pump(qint64 calledMs, const QElapsedTimer& since, Done done) {
        Moment out;
        out.waitMs = calledMs;
        const qint64 end = since.elapsed() + 60'000;
        qint64 settled = -1;
        int framesAtDone = -1;
        while (since.elapsed() < (settled < 0 ? end : settled)) {
            QElapsedTimer pass;
            pass.start();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            out.waitMs = std::max(out.waitMs, pass.elapsed());
            if (framesAtDone < 0 && done()) framesAtDone = frames_;
            if (out.firstMs < 0 && framesAtDone >= 0 && frames_ > framesAtDone) {
                out.firstMs = since.elapsed();
                settled = out.firstMs + 1000;
            }
        }
        return out;
    }

    // A check that ends with the report, the byte-by-byte pass over it that ends, and the result
    // opened from the history: the three moments, or nothing.
    std::optional<std::array<Moment, 3>> moments() {
        AppModel& m = stage_.model();
        std::array<Moment, 3> out;
        const auto verifier = started([&] { m.check(std::optional<CheckLevel>()); });
        if (!verifier) return failed("the check did not start");
        idle(20);
        VerifyReport finished = report_;
        QElapsedTimer clock;
        clock.start();
        const int before = reports_;
        verifier->complete(std::move(finished));
        out[0] = pump(0, clock, [&] { return reports_ > before && m.phase() == AppModel::Phase::Results; });

        // The pass over the finished check, all of its files folded in before it ends.
        const auto pass = started([&] {
            if (!m.deepVerifying()) m.startDeepVerify();
        });
        if (!pass || !pass->onFile) return failed("the pass did not start");
        VerifyReport passed = report_;
        passed.level = CheckLevel::verified;
        for (FileResult& f : passed.files) f = passResult(f);
        for (const FileResult& f : passed.files) pass->onFile(f);
        const int folded = reports_;
        QElapsedTimer wait;
        wait.start();
        while (reports_ == folded && wait.elapsed() < 60'000) frame();
        idle(20);
        const int beforeEnd = reports_;
        clock.restart();
        pass->complete(std::move(passed));
        out[1] = pump(0, clock, [&] { return reports_ > beforeEnd && !m.deepVerifying(); });

        if (m.history().empty()) return failed("the check was not recorded");
        idle(20);
        const std::optional<Moment> opened = openNewest();
        if (!opened) return failed("the saved check did not open");
        out[2] = *opened;
        return out;
    }

    // The scripted run (a check or a pass) that `start` makes the model begin, once it runs; nothing
    // when none runs within a minute. The model begins a run in steps it posts to this thread (a
    // check first asks off it what it will do to the card's access times), so the event loop turns
    // while it is waited for.
    template <class Start>
    std::shared_ptr<FakeVerifier> started(Start start) {
        const int before = stage_.checkCount();
        start();
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 60'000) {
            const int count = stage_.checkCount();
            if (const auto v = count > before ? stage_.verifier(count - 1) : nullptr; v && v->waitRunning(0))
                return v;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(1);
        }
        return nullptr;
    }

    static std::nullopt_t failed(const char* what) {
        std::fprintf(stderr, "%s\n", what);
        return std::nullopt;
    }

    // Opens the newest saved check as its row in the sidebar does; the moment, or nothing.
    std::optional<Moment> openNewest() {
        AppModel& m = stage_.model();
        if (m.history().empty()) return std::nullopt;
        const QString id = m.history().front().id.toString();
        const int before = reports_;
        QElapsedTimer clock;
        clock.start();
        m.showHistory(id);
        const qint64 called = clock.elapsed();
        const Moment out =
            pump(called, clock, [&] { return reports_ > before && m.phase() == AppModel::Phase::Results; });
        return out.firstMs < 0 ? std::nullopt : std::optional<Moment>(out);
    }

    // From the model's start (before the window's first frame) until the recent checks list `count`
    // entries: the time and the GUI thread's longest wait after the first frame; then the newest
    // opened once the history is whole.
    std::optional<std::array<Moment, 2>> history(int count) {
        AppModel& m = stage_.model();
        std::array<Moment, 2> out;
        out[0].waitMs = 0;
        while (clock_.elapsed() < 120'000 && (!shownAt_ || m.historyCount() < count)) {
            QElapsedTimer pass;
            pass.start();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            if (shownAt_) out[0].waitMs = std::max(out[0].waitMs, pass.elapsed());
        }
        if (m.historyCount() < count) return failed("the history was not listed");
        out[0].firstMs = clock_.elapsed();
        while (clock_.elapsed() < 300'000 && !m.historyLoaded()) idle(1);
        idle(20);
        const std::optional<Moment> opened = openNewest();
        if (!opened) return failed("the saved check did not open");
        out[1] = *opened;
        return out;
    }

    // A new check that ends with the report; the time from its end to the first frame of the
    // results, or -1.
    qint64 showResults() {
        AppModel& m = stage_.model();
        const auto verifier = started([&] { m.check(std::optional<CheckLevel>()); });
        if (!verifier) return -1;
        // The checking screen settles first.
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 300) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }

        qint64 first = -1;
        QElapsedTimer clock;
        VerifyReport report = report_;  // the bench keeps its own for the next check
        const auto connection = QObject::connect(window_, &QQuickWindow::frameSwapped, window_, [&] {
            if (first < 0 && m.phase() == AppModel::Phase::Results) first = clock.elapsed();
        });
        clock.start();
        verifier->complete(std::move(report));
        while (first < 0 && clock.elapsed() < 60'000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QObject::disconnect(connection);
        m.stopDeepVerify();
        return first;
    }

    // One frame: the events waiting, then one rendered picture; its length in ms.
    qint64 frame() {
        QElapsedTimer t;
        const double cpuBefore = threadCpuMs();
        t.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // What a running event loop deletes between two events: the screens left behind.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const QImage image = window_->grabWindow();
        longestCpu_ = std::max(longestCpu_, threadCpuMs() - cpuBefore);
        return t.elapsed();
    }

    qint64 scroll() {
        QQuickItem* list = findItem(window_->contentItem(), QStringLiteral("shootList"));
        if (!list) return -1;
        qint64 worst = 0;
        for (int step = 0; step < 300; ++step) {
            QElapsedTimer t;
            t.start();
            list->setProperty("contentY", list->property("contentY").toReal() + 120);
            const QImage image = window_->grabWindow();
            worst = std::max(worst, t.elapsed());
        }
        return worst;
    }

    qint64 idle(int frames) {
        qint64 worst = 0;
        for (int i = 0; i < frames; ++i) worst = std::max(worst, frame());
        return worst;
    }

    // What the user waits for after one action: the time to its first rendered picture, or a
    // later frame's when one of the next five is longer. With HALVETROP_BENCH_VERBOSE set, the
    // first frame's parts go to stderr, with the GUI thread's own processor time: on a busy
    // machine the time waited is also the time other processes took.
    template <class Action>
    [[gnu::noinline]] qint64 afterAction(const std::string& name, Action action) {
        QElapsedTimer t;
        const double cpuBefore = threadCpuMs();
        t.start();
        action();
        const qint64 acted = t.elapsed();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const qint64 handled = t.elapsed();
        const QImage image = window_->grabWindow();
        qint64 worst = t.elapsed();
        if (verbose_)
            std::fprintf(stderr, "%s: action %lld ms, events %lld ms, picture %lld ms, processor %.1f ms\n",
                         name.c_str(), static_cast<long long>(acted), static_cast<long long>(handled - acted),
                         static_cast<long long>(worst - handled), threadCpuMs() - cpuBefore);
        for (int i = 0; i < 5; ++i) worst = std::max(worst, frame());
        return worst;
    }

    static double threadCpuMs() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
    }

    // A fresh result in the shoots view with the byte-by-byte pass running, `part` of its results
    // folded in; the pass, or nothing.
    std::shared_ptr<FakeVerifier> passUnderway(double part) {
        AppModel& m = stage_.model();
        if (showResults() < 0) return nullptr;
        m.setMode(AppModel::Mode::Shoots);
        m.setGridView(false);
        idle(10);
        auto pass = started([&] { m.startDeepVerify(); });
        if (!pass || !pass->onFile) return nullptr;
        const size_t count = size_t(double(report_.files.size()) * part);
        for (size_t i = 0; i < count; ++i) pass->onFile(passResult(report_.files[i]));
        const int before = reports_;
        QElapsedTimer wait;
        wait.start();
        while (reports_ == before && wait.elapsed() < 60'000) frame();
        if (reports_ == before) return nullptr;
        idle(10);
        return pass;
    }

    struct View {
        const char* name;
        AppModel::Mode mode;
        bool grid;
        const char* sort = nullptr;  // a column of the table clicked once
        AppModel::FileFilter filter = AppModel::FileFilter::All;
    };

    // Every ordered pair of views once, from a fresh result in the shoots view; per pair the time
    // the change took, or nothing.
    std::optional<std::vector<std::pair<std::string, qint64>>> switches() {
        AppModel& m = stage_.model();
        const auto pass = passUnderway(1.0 / 3);
        if (!pass) return std::nullopt;
        const View s{"shoots", AppModel::Mode::Shoots, false}, p{"map", AppModel::Mode::Map, false},
            t{"table", AppModel::Mode::Files, false}, g{"grid", AppModel::Mode::Files, true};
        // A circuit through every ordered pair of the four views.
        const View circuit[] = {s, p, t, g, s, t, p, g, t, s, g, p, s};
        std::vector<std::pair<std::string, qint64>> out;
        for (size_t i = 1; i < std::size(circuit); ++i) {
            const View& to = circuit[i];
            // The list/grid switch within the browser; the mode picker between modes, which shows
            // the browser in the form it was last in.
            const std::string name = std::string(circuit[i - 1].name) + ">" + to.name;
            out.emplace_back(name, afterAction(name, [&] {
                                 m.setGridView(to.grid);
                                 m.setMode(to.mode);
                             }));
        }
        m.stopDeepVerify();
        return out;
    }

    // A click of the left button in the middle of an item of the window.
    void click(QQuickItem* item) {
        const QPointF at = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
        const QPointF global = window_->mapToGlobal(at);
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, at, global, Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(window_, &event);
        }
    }

    // The header of each sortable column of the file table clicked twice (ascending, then
    // descending), from a fresh result in the table; per click the time it took, or nothing.
    std::optional<std::vector<std::pair<std::string, qint64>>> sorts() {
        AppModel& m = stage_.model();
        const auto pass = passUnderway(1.0 / 3);
        if (!pass) return std::nullopt;
        m.setMode(AppModel::Mode::Files);
        idle(10);
        std::vector<std::pair<std::string, qint64>> out;
        const std::pair<const char*, const char*> columns[] = {{"name", "Name"},
                                                               {"status", "Status"},
                                                               {"day", "Shoot day"},
                                                               {"folder", "Folder"},
                                                               {"size", "Size"}};
        for (const auto& [column, title] : columns) {
            QQuickItem* header =
                findItem(window_->contentItem(), QStringLiteral("sortBy_") + QLatin1String(title));
            if (!header) return std::nullopt;
            for (const char* direction : {"+", "-"}) {
                const std::string name = std::string(column) + direction;
                out.emplace_back(name, afterAction(name, [&] { click(header); }));
                const QString order =
                    m.fileRows()->sortColumn() + (m.fileRows()->sortAscending() ? "+" : "-");
                if (order != QString::fromStdString(name)) return std::nullopt;
            }
        }
        m.stopDeepVerify();
        return out;
    }

    // Shows a fresh result in a view, starts the byte-by-byte pass and lets `folds` batches of its
    // results arrive; the longest frame meanwhile, or -1.
    qint64 folds(const View& view, int folds) {
        AppModel& m = stage_.model();
        if (showResults() < 0) return -1;
        m.setMode(view.mode);
        m.setGridView(view.grid);
        m.setFilter(view.filter);
        idle(5);
        if (view.sort) {
            QQuickItem* browser = findItem(window_->contentItem(), QStringLiteral("FilesView"));
            if (!browser || !QMetaObject::invokeMethod(
                                browser, "sortBy", Q_ARG(QVariant, QVariant(QString::fromLatin1(view.sort)))))
                return -1;
        }
        idle(30);
        const auto pass = started([&] { m.startDeepVerify(); });
        if (!pass || !pass->onFile) return -1;
        idle(10);
        const size_t count = report_.files.size();
        const size_t per = (count + size_t(folds) - 1) / size_t(folds);
        qint64 worst = 0;
        longestCpu_ = 0;
        for (int k = 0; k < folds; ++k) {
            for (size_t i = size_t(k) * per; i < std::min(count, size_t(k + 1) * per); ++i)
                pass->onFile(passResult(report_.files[i]));
            const int before = reports_;
            QElapsedTimer wait;
            wait.start();
            while (reports_ == before && wait.elapsed() < 60'000) worst = std::max(worst, frame());
            if (reports_ == before) return -1;
            // The frames after the fold, and whatever it left for later.
            for (int i = 0; i < 5; ++i) worst = std::max(worst, frame());
            if (verbose_) {
                std::fprintf(stderr, "fold %d in %s: the longest frame's processor time %.1f ms\n", k + 1,
                             view.name, longestCpu_);
                longestCpu_ = 0;
            }
        }
        m.stopDeepVerify();
        m.setFilter(AppModel::FileFilter::All);
        return worst;
    }

    void close() { root_.reset(); }

private:
    int64_t files_;
    shell::Look look_;
    shell::Present present_;
    stage::Stage stage_;
    VerifyReport report_;
    QQmlEngine engine_;
    std::unique_ptr<QObject> root_;
    QQuickWindow* window_ = nullptr;
    int reports_ = 0;
    int frames_ = 0;                 // rendered so far
    QElapsedTimer clock_;            // since the model was made
    std::optional<qint64> shownAt_;  // its first frame, on clock_
    const bool verbose_ = !qEnvironmentVariableIsEmpty("HALVETROP_BENCH_VERBOSE");
    double longestCpu_ = 0;  // the processor time of the longest frame of those measured
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window's own warnings (missing icons and thumbnails offscreen) are not the benchmark's.
    if (qEnvironmentVariableIsEmpty("HALVETROP_BENCH_VERBOSE"))
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    long long files = 100'000;
    int runs = 5;
    int foldCount = 15;
    int rounds = 3;
    bool firstOnly = false;
    bool momentsOnly = false;
    bool momentRun = false;
    QString historyRun;     // the folder of the history a child run starts on
    QString historyFolder;  // where the history of 40 is kept between runs
    QStringList only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--files") == 0 && i + 1 < argc) {
            files = std::max(std::atoll(argv[++i]), 1LL);
        } else if (std::strcmp(argv[i], "--folds") == 0 && i + 1 < argc) {
            foldCount = std::max(std::atoi(argv[++i]), 1);
        } else if (std::strcmp(argv[i], "--views") == 0 && i + 1 < argc) {
            only = QString::fromUtf8(argv[++i]).split(u',');
        } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::max(std::atoi(argv[++i]), 0);
        } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(std::atoi(argv[++i]), 0);
        } else if (std::strcmp(argv[i], "--first-frame") == 0) {
            firstOnly = true;  // one run in this process, for the parent's median
        } else if (std::strcmp(argv[i], "--history") == 0 && i + 1 < argc) {
            historyFolder = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--moments") == 0) {
            momentsOnly = true;
        } else if (std::strcmp(argv[i], "--moment-run") == 0) {
            momentRun = true;  // likewise
        } else if (std::strcmp(argv[i], "--history-run") == 0 && i + 1 < argc) {
            historyRun = QString::fromLocal8Bit(argv[++i]);  // likewise
        } else {
            std::fprintf(stderr,
                         "usage: halvetrop-results-bench [--files N] [--runs R] [--folds F] [--views V,...] "
                         "[--rounds K] [--moments] [--history DIR]\n");
            return 2;
        }
    }

    if (firstOnly) {
        Bench bench(files);
        if (!bench.start()) return 1;
        const qint64 first = bench.showResults();
        bench.close();
        std::printf("%lld\n", static_cast<long long>(first));
        return first < 0 ? 1 : 0;
    }

    if (momentRun || !historyRun.isEmpty()) {
        Bench bench(files);
        std::vector<Bench::Moment> measured;
        if (momentRun) {
            if (!bench.start()) return 1;
            if (const auto m = bench.moments()) measured.assign(m->begin(), m->end());
        } else {
            // A folder without a history is given one first (to keep between runs).
            const QString file = historyRun + QStringLiteral("/history.json");
            if (!QFileInfo::exists(file))
                if (auto failure = bench::writeSyntheticHistory(file, std::nullopt, {}, int(files))) {
                    std::fprintf(stderr, "cannot write the history: %s\n", qPrintable(*failure));
                    return 1;
                }
            if (!bench.start(historyRun)) {
                std::fprintf(stderr, "the stage did not start on the history\n");
                return 1;
            }
            if (const auto m = bench.history(bench::historyReports)) measured.assign(m->begin(), m->end());
        }
        bench.close();
        for (const Bench::Moment& m : measured)
            std::printf("%lld %lld ", static_cast<long long>(m.waitMs), static_cast<long long>(m.firstMs));
        std::printf("\n");
        return measured.empty() ? 1 : 0;
    }

    const double load = loadAverage();
    // One run in a fresh process, as a user opening the application meets it; its output's numbers.
    const auto child = [&](const QStringList& args) -> std::optional<std::vector<qint64>> {
        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        run.start(QCoreApplication::applicationFilePath(),
                  args + QStringList{QStringLiteral("--files"), QString::number(files)});
        if (!run.waitForFinished(600'000) || run.exitCode() != 0) return std::nullopt;
        std::vector<qint64> out;
        for (const QByteArray& n : run.readAllStandardOutput().simplified().split(' '))
            out.push_back(n.toLongLong());
        return out;
    };
    // Per moment (check's end, pass's end, opening; listing the history of 40, opening from it) the
    // runs' longest waits and times to the first frame.
    std::string moments;
    {
        std::vector<std::vector<qint64>> runsOf;
        for (int run = 0; run < runs; ++run) {
            const auto measured = child({QStringLiteral("--moment-run")});
            if (!measured || measured->size() != 6) {
                std::fprintf(stderr, "the moments run %d failed\n", run);
                return 1;
            }
            runsOf.push_back(*measured);
        }
        // The history of 40 is written once, in the folder given or a temporary one.
        QTemporaryDir temporary;
        const QString folder = historyFolder.isEmpty() ? temporary.path() : historyFolder;
        for (int run = 0; run < runs; ++run) {
            const auto measured = child({QStringLiteral("--history-run"), folder});
            if (!measured || measured->size() != 4) {
                std::fprintf(stderr, "the history run %d failed\n", run);
                return 1;
            }
            runsOf[size_t(run)].insert(runsOf[size_t(run)].end(), measured->begin(), measured->end());
        }
        const char* names[] = {"result", "pass_end", "open", "listed40", "open40"};
        for (size_t k = 0; k < std::size(names); ++k) {
            std::string waits, firstsText;
            for (const auto& r : runsOf) {
                waits += (waits.empty() ? "" : ",") + std::to_string(r[2 * k]);
                firstsText += (firstsText.empty() ? "" : ",") + std::to_string(r[2 * k + 1]);
            }
            moments += std::string(moments.empty() ? "" : ",") + "\"" + names[k] + "\":{\"wait_ms\":[" +
                       waits + "],\"first_ms\":[" + firstsText + "]}";
        }
    }
    if (momentsOnly) {
        std::printf("{\"files\":%lld,\"load1\":%.2f,\"moments\":{%s}}\n", files, load, moments.c_str());
        return 0;
    }
    // Each first frame in a fresh process, as a user opening the application meets it.
    std::vector<double> firsts;
    for (int run = 0; run < runs; ++run) {
        const auto first = child({QStringLiteral("--first-frame")});
        if (!first || first->size() != 1) {
            std::fprintf(stderr, "the first-frame run %d failed\n", run);
            return 1;
        }
        firsts.push_back(double(first->front()));
    }

    Bench bench(files);
    if (!bench.start() || bench.showResults() < 0) return 1;
    const qint64 idle = bench.idle(60);
    const qint64 scroll = bench.scroll();
    // The longest of the rounds per switch and per click, in the order of the first round.
    std::vector<std::pair<std::string, qint64>> switchMs, sortMs;
    const auto longest = [](std::vector<std::pair<std::string, qint64>>& into,
                            const std::vector<std::pair<std::string, qint64>>& round) {
        if (into.empty()) into = round;
        for (size_t i = 0; i < into.size() && i < round.size(); ++i)
            into[i].second = std::max(into[i].second, round[i].second);
    };
    for (int round = 0; round < rounds; ++round) {
        const auto switched = bench.switches();
        const auto sorted = bench.sorts();
        if (!switched || !sorted) {
            std::fprintf(stderr, "the view switches or the sorts could not be made\n");
            return 1;
        }
        longest(switchMs, *switched);
        longest(sortMs, *sorted);
    }
    const auto jsonOf = [](const std::vector<std::pair<std::string, qint64>>& times) {
        std::string out;
        for (const auto& [name, ms] : times)
            out += (out.empty() ? "\"" : ",\"") + name + "\":" + std::to_string(ms);
        return out;
    };
    using View = Bench::View;
    // The table also sorted by status, where folded files move, and showing only what is not
    // backed up, where they leave.
    const View views[] = {
        {"shoots", AppModel::Mode::Shoots, false},
        {"map", AppModel::Mode::Map, false},
        {"table", AppModel::Mode::Files, false},
        {"grid", AppModel::Mode::Files, true},
        {"table-status", AppModel::Mode::Files, false, "status"},
        {"table-missing", AppModel::Mode::Files, false, nullptr, AppModel::FileFilter::NotBackedUp}};
    std::string folds;
    for (const View& v : views) {
        if (!only.isEmpty() && !only.contains(QLatin1String(v.name))) continue;
        const qint64 worst = bench.folds(v, foldCount);
        if (worst < 0) {
            std::fprintf(stderr, "the folds in the %s view did not arrive\n", v.name);
            return 1;
        }
        folds += (folds.empty() ? "" : ",") + ("\"" + std::string(v.name) + "\":" + std::to_string(worst));
    }
    bench.close();

    std::string runsText;
    for (double f : firsts) runsText += (runsText.empty() ? "" : ",") + std::to_string(qint64(f));
    std::printf(
        "{\"files\":%lld,\"shoots\":%lld,\"load1\":%.2f,\"first_frame_ms\":%.0f,\"first_frame_runs\":[%s],"
        "\"scroll_longest_ms\":%lld,\"idle_longest_ms\":%lld,\"folds\":%d,\"fold_longest_ms\":{%s},"
        "\"rounds\":%d,\"switch_ms\":{%s},\"sort_ms\":{%s},\"moments\":{%s}}\n",
        files, (files + 49) / 50, load, median(firsts), runsText.c_str(), static_cast<long long>(scroll),
        static_cast<long long>(idle), foldCount, folds.c_str(), rounds, jsonOf(switchMs).c_str(),
        jsonOf(sortMs).c_str(), moments.c_str());
    return 0;
}

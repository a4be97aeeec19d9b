// halvetrop-bench history [--runs R] [--files N]: opening a saved check in the application model. A
// history of 40 checks of N files (default 5,000; the synthetic report) is written, the model starts
// on it and loads it, then each saved check is opened in turn as the sidebar's rows do. Prints
// {"reports":40,"files":N,"load_ms":..,"open_ms":..,"open_max_ms":..}:
//   load_ms: from the model's start to the loaded history;
//   open_ms, open_max_ms: the median and the longest opening, from the call until the report is
//   shown with its file list (the saved report decoded and indexed off the GUI thread, then
//   filtered), over R rounds of 40.
#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "BenchUtil.h"
#include "SyntheticHistory.h"
#include "model/AppModel.h"
#include "model/History.h"

namespace {

using namespace halvetrop;
using bench::historyFiles;
using bench::historyReports;

}  // namespace

int bench_history(int argc, char** argv) {
    int runs = 3;
    int files = historyFiles;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(std::atoi(argv[++i]), 1);
        } else if (std::strcmp(argv[i], "--files") == 0 && i + 1 < argc) {
            files = std::max(std::atoi(argv[++i]), 1);
        } else {
            std::fprintf(stderr, "usage: halvetrop-bench history [--runs R] [--files N]\n");
            return 2;
        }
    }
    int qargc = 1;
    QCoreApplication app(qargc, argv);
    QTemporaryDir dir;
    AppModelDeps deps;
    deps.settingsPath = dir.filePath(QStringLiteral("settings.ini"));
    deps.historyPath = dir.filePath(QStringLiteral("history.json"));
    if (auto failure = bench::writeSyntheticHistory(deps.historyPath, std::nullopt, {}, files)) {
        std::fprintf(stderr, "cannot write the history: %s\n", qPrintable(*failure));
        return 1;
    }
    deps.listVolumes = [](const std::function<bool()>&) { return VolumeListing{}; };

    const bench::Stopwatch start;
    AppModel model(std::move(deps));
    while (!model.historyLoaded()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double loadMs = start.seconds() * 1000;
    if (model.historyCount() != historyReports) {
        std::fprintf(stderr, "the history holds %d checks\n", model.historyCount());
        return 1;
    }
    std::vector<QString> ids;
    for (const HistoryItem& item : model.history()) ids.push_back(item.id.toString());

    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        for (const QString& id : ids) {
            const bench::Stopwatch watch;
            const quint64 before = model.reportSerial();
            model.showHistory(id);
            // Read off the GUI thread: shown when the model has applied it.
            while (model.reportSerial() == before && watch.seconds() < 60)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            ms.push_back(watch.seconds() * 1000);
            if (model.fileCount() != files || model.phase() != AppModel::Phase::Results) {
                std::fprintf(stderr, "the saved check did not open\n");
                return 1;
            }
            model.waitForIdle(5000);
        }
    }
    std::sort(ms.begin(), ms.end());
    std::printf("{\"reports\":%d,\"files\":%d,\"load_ms\":%.1f,\"open_ms\":%.1f,\"open_max_ms\":%.1f}\n",
                historyReports, files, loadMs, ms[ms.size() / 2], ms.back());
    model.shutdown();
    return 0;
}

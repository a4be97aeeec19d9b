// halvetrop-bench model [--files N] [--runs R]: the application model's file list on a synthetic
// report of N files, and its history of 40 reports of 5,000 files.
// Prints {"files":N,"refilter_ms":..,"search_ms":..,"fold_ms":..,"history_load_s":..,
// "history_peak_mb":..}, each time the median of R runs (default 7; 3 for the history):
//   refilter_ms: the list recomputed with no search (every in-scope file passes the tests);
//   search_ms: the list recomputed for a typed search text;
//   fold_ms: one batch of N live results of the byte-by-byte pass folded into the report;
//   history_load_s: reading and decoding the history file;
//   history_peak_mb: the peak resident size (MiB) while the history loads, measured in a child
//   process that holds nothing else, the loaded history included.
// The search index is built once per shown report; its time goes to stderr.
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BenchUtil.h"
#include "SyntheticHistory.h"
#include "SyntheticReport.h"
#include "model/FileList.h"
#include "model/History.h"

namespace {

using namespace halvetrop;

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The synthetic report with some names that need real case folding.
VerifyReport browsedReport(int64_t files) {
    VerifyReport report = bench::syntheticReport(files);
    for (size_t i = 0; i < report.files.size(); i += 97) {
        FileResult& f = report.files[i];
        f.name =
            "\xC3\x9C"
            "berblick_" +
            f.name;  // "Überblick_"
        f.relativePath = join(f.folder, f.name);
    }
    return report;
}

struct HistoryNumbers {
    double loadSeconds = 0;
    double peakMiB = 0;
    int items = 0;
};

HistoryNumbers measureHistory(int runs) {
    HistoryNumbers numbers;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.json"));
    if (auto failure = bench::writeSyntheticHistory(path, QByteArray(96, 'b'), {QByteArray(96, 'd')})) {
        std::fprintf(stderr, "cannot write the history: %s\n", qPrintable(*failure));
        return numbers;
    }
    malloc_trim(0);
    std::vector<double> seconds;
    for (int run = 0; run < runs; ++run) {
        const bool resetOk = bench::resetHighWater();
        bench::Stopwatch watch;
        HistoryLoad load = readHistoryFile(path, historyLoadWorkers());
        seconds.push_back(watch.seconds());
        if (run == 0) {
            numbers.peakMiB = resetOk ? bench::highWaterMiB() : bench::peakRssMiB();
            numbers.items = static_cast<int>(load.decoded.items.size());
        }
        load = {};
        malloc_trim(0);
    }
    numbers.loadSeconds = median(seconds);
    return numbers;
}

// In a child process, so that the file list's report does not count in the history's peak.
bool historyInChild(int runs, HistoryNumbers& numbers) {
    int fds[2];
    if (::pipe(fds) != 0) return false;
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        ::close(fds[0]);
        HistoryNumbers measured = measureHistory(runs);
        bool ok = ::write(fds[1], &measured, sizeof measured) == static_cast<ssize_t>(sizeof measured);
        ::_exit(ok ? 0 : 1);
    }
    ::close(fds[1]);
    bool ok = ::read(fds[0], &numbers, sizeof numbers) == static_cast<ssize_t>(sizeof numbers);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double timeQuery(const VerifyReport& report, const FileIndex& index, const FileQuery& query, int runs,
                 size_t& visible) {
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        bench::Stopwatch watch;
        std::vector<int> rows = index.refilter(report, query);
        ms.push_back(watch.seconds() * 1000);
        visible = rows.size();
    }
    return median(ms);
}

}  // namespace

int bench_model(int argc, char** argv) {
    long long count = 100'000;
    int runs = 7;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--files") == 0 && i + 1 < argc) {
            count = std::max(std::atoll(argv[++i]), 0LL);
        } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(std::atoi(argv[++i]), 1);
        } else {
            std::fprintf(stderr, "usage: halvetrop-bench model [--files N] [--runs R]\n");
            return 2;
        }
    }

    // First, before this process holds anything or runs threads.
    HistoryNumbers history;
    if (!historyInChild(std::min(runs, 3), history) || history.items != bench::historyReports) {
        std::fprintf(stderr, "the history did not load (%d items)\n", history.items);
        return 1;
    }

    const VerifyReport report = browsedReport(count);
    bench::Stopwatch indexWatch;
    const FileIndex index(report);
    const double indexMs = indexWatch.seconds() * 1000;

    size_t everything = 0;
    size_t found = 0;
    const double refilterMs = timeQuery(report, index, FileQuery{}, runs, everything);
    FileQuery search;
    search.search = QStringLiteral("img_12");
    const double searchMs = timeQuery(report, index, search, runs, found);

    // Every file comes back verified on two drives, in the order of the report.
    std::vector<FileResult> live = report.files;
    for (FileResult& f : live) {
        f.status = FileStatus::verified;
        f.safeDrives = 2;
        f.detail.reset();
    }
    std::vector<double> foldMs;
    size_t folded = 0;
    for (int run = 0; run < runs; ++run) {
        VerifyReport shown = report;
        bench::Stopwatch watch;
        LiveFold fold = foldLive(shown, live);
        foldMs.push_back(watch.seconds() * 1000);
        folded = fold.changed.size();
    }
    if (folded != static_cast<size_t>(count)) {
        std::fprintf(stderr, "folded %zu of %lld\n", folded, count);
        return 1;
    }
    std::fprintf(stderr, "index_ms %.2f, visible %zu, found %zu\n", indexMs, everything, found);

    std::printf(
        "{\"files\":%lld,\"refilter_ms\":%.2f,\"search_ms\":%.2f,\"fold_ms\":%.2f,\"history_load_s\":%.3f,"
        "\"history_peak_mb\":%.1f}\n",
        count, refilterMs, searchMs, median(foldMs), history.loadSeconds, history.peakMiB);
    return 0;
}

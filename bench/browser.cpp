// halvetrop-bench browser [--files N] [--runs R]: the file browser's table order on a synthetic
// report of N files (default 100,000).
// Prints {"files":N,"keys_ms":..,"ranks_ms":{"<column>":..},"sort_ms":{"<column>":..},"fold_rows_ms":..,
// "cache_peak_mb":..,"cache_bound_mb":..}:
//   keys_ms: the collation ranks of every name, folder and path of a shown report (each column's are
//   made when a sort first needs them, names and folders by workers once a report is shown);
//   ranks_ms: each column's ranks made alone (what the first sort by it costs without a worker);
//   sort_ms: every visible file sorted by one column, the median of R runs (default 7);
//   fold_rows_ms: the rows, sorted by status, brought up to date in place after a fold of the
//   byte-by-byte pass changed the status of 400 files spread over the list (median of R runs), as
//   the model does it (FileRows::fold);
//   cache_peak_mb: the thumbnail cache's largest size while 5,000 grid tiles of 512 x 341 pixels
//   are made in turn, against its bound.
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <vector>

#include "BenchUtil.h"
#include "SyntheticReport.h"
#include "model/FileRows.h"
#include "present/Files.h"
#include "thumbnail/ThumbnailCache.h"

int bench_browser(int argc, char** argv) {
    using namespace halvetrop;
    long long count = 100'000;
    int runs = 7;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--files") == 0 && i + 1 < argc) {
            count = std::max(std::atoll(argv[++i]), 0LL);
        } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(std::atoi(argv[++i]), 1);
        } else {
            std::fprintf(stderr, "usage: halvetrop-bench browser [--files N] [--runs R]\n");
            return 2;
        }
    }
    const VerifyReport report = bench::syntheticReport(count);
    const Collation collation;
    bench::Stopwatch keysWatch;
    const present::FileSortKeys keys(report, collation);
    for (auto column : {present::FileColumn::name, present::FileColumn::folder, present::FileColumn::path})
        keys.prepare(report, column);
    const double keysMs = keysWatch.seconds() * 1000;
    std::vector<int> visible(report.files.size());
    std::iota(visible.begin(), visible.end(), 0);

    std::printf("{\"files\":%lld,\"keys_ms\":%.1f,\"ranks_ms\":{", count, keysMs);
    const std::pair<const char*, present::FileColumn> columns[] = {
        {"path", present::FileColumn::path},     {"name", present::FileColumn::name},
        {"status", present::FileColumn::status}, {"day", present::FileColumn::day},
        {"folder", present::FileColumn::folder}, {"size", present::FileColumn::size}};
    bool first = true;
    for (const auto& [name, column] : columns) {
        const present::FileSortKeys fresh(report, collation);
        bench::Stopwatch watch;
        fresh.prepare(report, column);
        std::printf("%s\"%s\":%.1f", first ? "" : ",", name, watch.seconds() * 1000);
        first = false;
    }
    std::printf("},\"sort_ms\":{");
    first = true;
    for (const auto& [name, column] : columns) {
        std::vector<double> ms;
        for (int run = 0; run < runs; ++run) {
            bench::Stopwatch watch;
            const auto sorted = keys.sorted(report, visible, {column, run % 2 == 0});
            ms.push_back(watch.seconds() * 1000);
            if (sorted.size() != visible.size()) return 1;
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%s\"%s\":%.1f", first ? "" : ",", name, ms[ms.size() / 2]);
        first = false;
    }

    double foldRowsMs = 0;
    {
        VerifyReport shown = report;
        FileRows rows;
        rows.setSortColumn(QStringLiteral("status"));
        rows.setReport(&shown, visible);
        const size_t step = std::max<size_t>(shown.files.size() / 400, 1);
        std::vector<double> ms;
        for (int run = 0; run < runs; ++run) {
            std::vector<int> changed;
            for (size_t i = size_t(run); i < shown.files.size(); i += step) {
                FileStatus& status = shown.files[i].status;
                status = status == FileStatus::verified ? FileStatus::backedUp : FileStatus::verified;
                changed.push_back(int(i));
            }
            bench::Stopwatch watch;
            rows.fold(visible, changed);
            ms.push_back(watch.seconds() * 1000);
            if (rows.count() != int(visible.size())) return 1;
        }
        std::sort(ms.begin(), ms.end());
        foldRowsMs = ms[ms.size() / 2];
    }

    const int64_t bound = int64_t(256) << 20;
    thumbs::Cache cache(bound);
    QImage tile(512, 341, QImage::Format_ARGB32_Premultiplied);
    tile.fill(Qt::gray);
    int64_t peak = 0;
    for (int i = 0; i < 5000; ++i) {
        // A fresh picture per tile, as the helper sends them.
        QImage own = tile.copy();
        cache.insert(thumbs::Key{"/media/card", "/media/card/DCIM/" + std::to_string(i), i, i}, own);
        peak = std::max(peak, cache.bytes());
    }
    std::printf("},\"fold_rows_ms\":%.1f,\"cache_peak_mb\":%.1f,\"cache_bound_mb\":%.1f}\n", foldRowsMs,
                double(peak) / (1 << 20), double(bound) / (1 << 20));
    return 0;
}

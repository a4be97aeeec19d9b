// halvetrop-bench copy [--width N] CARD BACKUP
// Checks CARD against BACKUP (standard level), then plans and runs the verified copy of every
// in-scope card file the check found missing or different into BACKUP, keeping the card's folder
// structure, as the copy dialog does for the backup root. Prints {"files","copied","already_there",
// "failed","bytes","seconds","check_seconds","copy_seconds","read_back_from_medium","planned",
// "peak_rss_mib"}: files are the card files the check listed, bytes the bytes copied, seconds the
// whole run (check, plan and copy).
#include "BenchUtil.h"

#include "copy/CopyError.h"
#include "copy/CopyLayout.h"
#include "copy/CopyPlanner.h"
#include "copy/CopyRunner.h"
#include "verify/Verifier.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace halvetrop;
using halvetrop::bench::Stopwatch;

int bench_copy(int argc, char** argv) {
    int64_t width = 4;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--width") == 0 && i + 1 < argc) width = std::atoll(argv[++i]);
        else paths.emplace_back(argv[i]);
    }
    if (paths.size() != 2) {
        std::fprintf(stderr, "usage: halvetrop-bench copy [--width N] CARD BACKUP\n");
        return 2;
    }

    const Stopwatch clock;
    Verifier verifier(VerifyRequest(paths[0], {paths[1]}));
    verifier.width = width;
    VerifyReport report;
    try {
        report = verifier.run();
    } catch (const VerifyError& e) {
        std::fprintf(stderr, "%s\n", e.description().c_str());
        return 1;
    }
    const double checkSeconds = clock.seconds();

    // What the copy dialog offers to copy: in-scope files with no copy on the backup, or only a
    // different file under the same name.
    std::vector<std::int64_t> ids;
    for (const auto& file : report.files)
        if (file.inScope && (file.status == FileStatus::missing || file.status == FileStatus::conflict))
            ids.push_back(file.id);

    // The backup's own root as the chosen location, no extra base folder.
    CopyPlan plan;
    try {
        plan = CopyPlanner::plan(report, ids, 0, CopyLayout::keepCardStructure(), "", "");
    } catch (const CopyError& e) {
        std::fprintf(stderr, "%s\n", e.description().c_str());
        return 1;
    }
    const std::size_t planned = plan.items.size();

    const Stopwatch copyClock;
    CopyRunner runner(std::move(plan));
    const CopyRunResult result = runner.run();
    const double copySeconds = copyClock.seconds();
    const double seconds = clock.seconds();

    long long fromMedium = 0;
    for (const auto& copied : result.copied)
        if (copied.readBackFromMedium) ++fromMedium;
    for (const auto& failed : result.failed)
        std::fprintf(stderr, "failed: %s\n", failed.message.c_str());

    std::printf(
        "{\"files\":%zu,\"copied\":%zu,\"already_there\":%zu,\"failed\":%zu,\"bytes\":%lld,\"seconds\":%.6f,"
        "\"check_seconds\":%.6f,\"copy_seconds\":%.6f,\"read_back_from_medium\":%lld,\"planned\":%zu,"
        "\"cancelled\":%s,\"peak_rss_mib\":%.1f}\n",
        report.files.size(), result.copied.size(), result.alreadyThere.size(), result.failed.size(),
        static_cast<long long>(result.bytesCopied), seconds, checkSeconds, copySeconds, fromMedium, planned,
        result.cancelled ? "true" : "false", bench::peakRssMiB());
    return result.failed.empty() && !result.cancelled ? 0 : 1;
}

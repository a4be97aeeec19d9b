// halvetrop-bench check [--verified] [--card-only] [--width N] CARD BACKUP...
// Runs one whole check and prints {"files","in_scope","verified","backed_up","likely","missing",
// "conflict","problem","safe_to_format","seconds","stage_seconds":{...},"bytes_read",
// "device_read_bytes","bytes_read_per_file_per_backup","peak_rss_mib"}. bytes_read counts the
// bytes the process asked read()/pread() for (rchar of /proc/self/io); device_read_bytes what
// the block layer fetched for it (read_bytes).
#include "BenchUtil.h"

#include "verify/Verifier.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

using namespace halvetrop;
using halvetrop::bench::Stopwatch;

namespace {

struct IoCounters {
    long long rchar = 0;
    long long readBytes = 0;
};

IoCounters ioCounters() {
    IoCounters c;
    std::ifstream in("/proc/self/io");
    std::string key;
    long long value = 0;
    while (in >> key >> value) {
        if (key == "rchar:") c.rchar = value;
        if (key == "read_bytes:") c.readBytes = value;
    }
    return c;
}

}  // namespace

int bench_check(int argc, char** argv) {
    bool verified = false, cardOnly = false;
    int64_t width = 4;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--verified") == 0) verified = true;
        else if (std::strcmp(argv[i], "--card-only") == 0) cardOnly = true;
        else if (std::strcmp(argv[i], "--width") == 0 && i + 1 < argc) width = std::atoll(argv[++i]);
        else paths.emplace_back(argv[i]);
    }
    if (paths.empty() || (!cardOnly && paths.size() < 2)) {
        std::fprintf(stderr, "usage: halvetrop-bench check [--verified] [--card-only] [--width N] CARD BACKUP...\n");
        return 2;
    }
    VerifyRequest request(paths[0], cardOnly ? std::vector<std::string>{}
                                             : std::vector<std::string>(paths.begin() + 1, paths.end()));
    request.level = verified ? CheckLevel::verified : CheckLevel::standard;
    Verifier verifier(request);
    verifier.width = width;

    std::mutex mutex;
    std::map<std::string, double> stageStart;  // first event of each stage
    const Stopwatch clock;
    verifier.onProgress = [&](const VerifyProgress& p) {
        const double t = clock.seconds();
        std::lock_guard<std::mutex> g(mutex);
        stageStart.emplace(std::string(rawValue(p.stage)), t);
    };

    const IoCounters before = ioCounters();
    VerifyReport report;
    try {
        report = verifier.run();
    } catch (const VerifyError& e) {
        std::fprintf(stderr, "%s\n", e.description().c_str());
        return 1;
    }
    const double seconds = clock.seconds();
    const IoCounters after = ioCounters();

    // A stage lasts from its first event to the first event of the next stage that occurred.
    const char* order[] = {"scanningSource", "readingDates", "indexingBackups", "comparing", "done"};
    std::string stages;
    for (size_t i = 0; i < 4; ++i) {
        auto it = stageStart.find(order[i]);
        if (it == stageStart.end()) continue;
        double end = seconds;
        for (size_t j = i + 1; j < 5; ++j) {
            auto next = stageStart.find(order[j]);
            if (next != stageStart.end()) {
                end = next->second;
                break;
            }
        }
        char buf[96];
        std::snprintf(buf, sizeof buf, "%s\"%s\":%.6f", stages.empty() ? "" : ",", order[i], end - it->second);
        stages += buf;
    }
    const long long bytesRead = after.rchar - before.rchar;
    const double perRow = report.totals.files > 0 && !request.destinations.empty()
                              ? static_cast<double>(bytesRead) /
                                    (static_cast<double>(report.totals.files) * static_cast<double>(request.destinations.size()))
                              : 0.0;
    std::printf(
        "{\"files\":%zu,\"in_scope\":%lld,\"verified\":%lld,\"backed_up\":%lld,\"likely\":%lld,\"missing\":%lld,"
        "\"conflict\":%lld,\"problem\":%lld,\"safe_to_format\":%s,\"seconds\":%.6f,\"stage_seconds\":{%s},"
        "\"bytes_read\":%lld,\"device_read_bytes\":%lld,\"bytes_read_per_file_per_backup\":%.0f,"
        "\"peak_rss_mib\":%.1f,\"problems\":%zu}\n",
        report.files.size(), static_cast<long long>(report.totals.files), static_cast<long long>(report.totals.verified),
        static_cast<long long>(report.totals.backedUp), static_cast<long long>(report.totals.likely),
        static_cast<long long>(report.totals.missing), static_cast<long long>(report.totals.conflict),
        static_cast<long long>(report.totals.problem), report.safeToFormat ? "true" : "false", seconds, stages.c_str(),
        bytesRead, after.readBytes - before.readBytes, perRow, bench::peakRssMiB(), report.problems.size());
    return 0;
}

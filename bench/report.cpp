// halvetrop-bench report --files N: builds a synthetic report of N card files with copies and
// capture information, then encodes and decodes its stored form.
// Prints {"files":N,"json_bytes":B,"encode_mbps":..,"decode_mbps":..,"decode_copy_mbps":..,
// "decode_base_rss_mb":..,"decode_peak_rss_mb":..}.
// decode_mbps reads the text where it stands, as a saved check's unpacked text is read (its buffer
// has room after it, storedTextRoom); decode_copy_mbps reads it from a bare view, which the
// reader copies where it needs room after a text (a short report whole, a long one piece by
// piece). decode_peak_rss_mb is the process's peak resident size (MiB) during the first decode,
// measured after the built report was freed and the peak reset: the JSON text, the decoded report
// and the reader's own memory, on top of decode_base_rss_mb, the resident size (MiB) just before
// the decode (the process and the text).
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "BenchUtil.h"
#include "SyntheticReport.h"
#include "report/StoredForm.h"

using namespace halvetrop;

int bench_report(int argc, char** argv) {
    long long count = 100'000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--files") == 0 && i + 1 < argc) {
            count = std::atoll(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: halvetrop-bench report [--files N]\n");
            return 2;
        }
    }
    if (count < 0) count = 0;

    std::string json;
    double encodeSeconds = 0;
    {
        VerifyReport report = bench::syntheticReport(count);
        // Best of three, so that the first pass's page faults do not count as encoding time.
        for (int pass = 0; pass < 3; ++pass) {
            bench::Stopwatch watch;
            std::string text = toStoredJson(report);
            double s = watch.seconds();
            if (pass == 0 || s < encodeSeconds) encodeSeconds = s;
            json = std::move(text);
        }
    }
    json.shrink_to_fit();
    json.reserve(json.size() + storedTextRoom);
    malloc_trim(0);

    double decodeSeconds = 0;
    double copySeconds = 0;
    double peak = 0;
    bool resetOk = bench::resetHighWater();
    const double base = bench::highWaterMiB();
    for (bool inPlace : {true, false}) {
        for (int pass = 0; pass < 3; ++pass) {
            bench::Stopwatch watch;
            VerifyReport back = inPlace ? reportFromStoredJson(json, json.capacity() - json.size())
                                        : fromStoredJson<VerifyReport>(std::string_view(json));
            double s = watch.seconds();
            double& best = inPlace ? decodeSeconds : copySeconds;
            if (pass == 0 || s < best) best = s;
            if (back.files.size() != static_cast<size_t>(count)) {
                std::fprintf(stderr, "decoded %zu files of %lld\n", back.files.size(), count);
                return 1;
            }
            // The first decode runs in the state a fresh process reading its history is in; later
            // passes only refine the time.
            if (inPlace && pass == 0) peak = resetOk ? bench::highWaterMiB() : bench::peakRssMiB();
        }
    }

    double megabytes = static_cast<double>(json.size()) / 1e6;
    const auto rate = [&](double seconds) { return seconds > 0 ? megabytes / seconds : 0.0; };
    std::printf(
        "{\"files\":%lld,\"json_bytes\":%zu,\"encode_mbps\":%.1f,\"decode_mbps\":%.1f,"
        "\"decode_copy_mbps\":%.1f,\"decode_base_rss_mb\":%.1f,\"decode_peak_rss_mb\":%.1f}\n",
        count, json.size(), rate(encodeSeconds), rate(decodeSeconds), rate(copySeconds), base, peak);
    return 0;
}

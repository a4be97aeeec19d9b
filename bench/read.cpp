// halvetrop-bench read FILE: the full-content digest of one file, read from the medium, timed.
// Compare with `dd if=FILE of=/dev/null bs=4M iflag=direct`, run alternately.
#include "BenchUtil.h"

#include "match/ContentReader.h"

#include <cstdio>

int bench_read(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: halvetrop-bench read FILE\n");
        return 2;
    }
    try {
        halvetrop::AccessTimesTouched touched;
        halvetrop::bench::Stopwatch watch;
        const halvetrop::FullHashResult result = halvetrop::ContentReader::fullHash(argv[1], {}, {}, touched);
        const double seconds = watch.seconds();
        std::printf("{\"bytes\":%llu,\"seconds\":%.6f,\"from_medium\":%s,\"gbps\":%.3f}\n",
                    static_cast<unsigned long long>(result.digest.hi), seconds, result.fromMedium ? "true" : "false",
                    seconds > 0 ? static_cast<double>(result.digest.hi) / seconds / 1e9 : 0.0);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

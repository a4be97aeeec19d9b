// halvetrop-bench walk DIR: one whole walk with the default options, timed inside the process.
#include "BenchUtil.h"

#include "walk/BulkWalker.h"

#include <cstdio>

int bench_walk(int argc, char** argv) {
    using namespace halvetrop;
    if (argc != 2) {
        std::fprintf(stderr, "usage: halvetrop-bench walk DIR\n");
        return 2;
    }
    BulkWalker walker;
    bench::Stopwatch clock;
    WalkResult result;
    try {
        result = walker.walk(argv[1]);
    } catch (const BulkWalkerError& e) {
        std::fprintf(stderr, "walk %s: %s (errno %d)\n", argv[1], e.what(), e.errorNumber());
        return 1;
    }
    const double seconds = clock.seconds();
    // The result's own footprint per entry, name bytes counted apart (they are the names' size).
    const std::size_t entries = result.entries.size();
    const double perEntry = entries ? double(result.memoryBytes() - result.names.capacity()) / double(entries) : 0.0;
    std::printf("{\"entries\":%zu,\"directories\":%zu,\"errors\":%zu,\"seconds\":%.6f,\"bytesPerEntry\":%.1f,"
                "\"nameBytes\":%zu,\"peakRssMiB\":%.1f}\n",
                entries, result.directories.size(), result.errors.size(), seconds, perEntry, result.names.size(),
                bench::peakRssMiB());
    return 0;
}

// halvetrop-bench medium PATH [CALLS]: the cost of asking whether reads of PATH's volume come from
// its medium, as the content reader does once per file and the copy engine once per copy: asked
// afresh each time, and through one run's kept answers. "layout" says how a file's own bytes lie
// (blocks, confirmFirst: read from the medium only once its cached pages are proven gone,
// inMetadata: never).
#include "BenchUtil.h"

#include "platform/PageCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int bench_medium(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: halvetrop-bench medium PATH [CALLS]\n");
        return 2;
    }
    const long calls = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 10000;
    const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    if (fd < 0 || calls <= 0) {
        std::perror(argv[1]);
        return 1;
    }
    bool answer = false;
    halvetrop::bench::Stopwatch watch;
    for (long i = 0; i < calls; ++i) answer = halvetrop::PageCache::mediumLiesPastCache(halvetrop::defaultSys(), fd);
    const double seconds = watch.seconds();
    halvetrop::PageCache::MediumAnswers answers;
    bool kept = false;
    halvetrop::bench::Stopwatch keptWatch;
    for (long i = 0; i < calls; ++i) kept = !answers.of(halvetrop::defaultSys(), fd).doubt;
    const double keptSeconds = keptWatch.seconds();
    struct stat st {};
    const char* layout = "none";
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const halvetrop::PageCache::Layout volume = halvetrop::PageCache::volumeReads(halvetrop::defaultSys(), fd).direct;
        switch (halvetrop::PageCache::layoutOf(halvetrop::defaultSys(), fd, 0, st.st_size, volume)) {
        case halvetrop::PageCache::Layout::blocks: layout = "blocks"; break;
        case halvetrop::PageCache::Layout::confirmFirst: layout = "confirmFirst"; break;
        case halvetrop::PageCache::Layout::inMetadata: layout = "inMetadata"; break;
        }
    }
    ::close(fd);
    std::printf("{\"calls\":%ld,\"from_medium\":%s,\"us_per_call\":%.3f,\"kept_agrees\":%s,\"us_per_kept_call\":%.3f,"
                "\"layout\":\"%s\"}\n",
                calls, answer ? "true" : "false", seconds / static_cast<double>(calls) * 1e6,
                kept == answer ? "true" : "false", keptSeconds / static_cast<double>(calls) * 1e6, layout);
    return 0;
}

// halvetrop-bench COMMAND ARGS...: runs one measurement and prints one JSON object per command.
// halvetrop-bench --list: the commands built in, one a line (bench/smoke runs each of them).
#include <cstdio>
#include <cstring>

#define HALVETROP_DECLARE(name) int bench_##name(int argc, char** argv);
HALVETROP_DECLARE(walk)
HALVETROP_DECLARE(capture)
HALVETROP_DECLARE(hash)
HALVETROP_DECLARE(read)
HALVETROP_DECLARE(index)
HALVETROP_DECLARE(report)
HALVETROP_DECLARE(check)
HALVETROP_DECLARE(copy)
HALVETROP_DECLARE(medium)
HALVETROP_DECLARE(listing)
HALVETROP_DECLARE(model)
HALVETROP_DECLARE(browser)
HALVETROP_DECLARE(sheet)
HALVETROP_DECLARE(history)
HALVETROP_DECLARE(recheck)
HALVETROP_DECLARE(thumbnails)
HALVETROP_DECLARE(make_photos)

namespace {
struct Command {
    const char* name;
    int (*run)(int, char**);
};

constexpr Command commands[] = {
#ifdef HALVETROP_BENCH_WALK
    {"walk", bench_walk},
#endif
#ifdef HALVETROP_BENCH_CAPTURE
    {"capture", bench_capture},
#endif
#ifdef HALVETROP_BENCH_HASH
    {"hash", bench_hash},
#endif
#ifdef HALVETROP_BENCH_READ
    {"read", bench_read},
#endif
#ifdef HALVETROP_BENCH_INDEX
    {"index", bench_index},
#endif
#ifdef HALVETROP_BENCH_REPORT
    {"report", bench_report},
#endif
#ifdef HALVETROP_BENCH_CHECK
    {"check", bench_check},
#endif
#ifdef HALVETROP_BENCH_COPY
    {"copy", bench_copy},
#endif
#ifdef HALVETROP_BENCH_MEDIUM
    {"medium", bench_medium},
#endif
#ifdef HALVETROP_BENCH_LISTING
    {"listing", bench_listing},
#endif
#ifdef HALVETROP_BENCH_MODEL
    {"model", bench_model},
#endif
#ifdef HALVETROP_BENCH_BROWSER
    {"browser", bench_browser},
#endif
#ifdef HALVETROP_BENCH_SHEET
    {"sheet", bench_sheet},
#endif
#ifdef HALVETROP_BENCH_HISTORY
    {"history", bench_history},
#endif
#ifdef HALVETROP_BENCH_RECHECK
    {"recheck", bench_recheck},
#endif
#ifdef HALVETROP_BENCH_THUMBNAILS
    {"thumbnails", bench_thumbnails},
    {"make-photos", bench_make_photos},
#endif
    {nullptr, nullptr},
};
}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
        for (const Command* c = commands; c->name; ++c) std::printf("%s\n", c->name);
        return 0;
    }
    if (argc >= 2) {
        for (const Command* c = commands; c->name; ++c) {
            if (std::strcmp(argv[1], c->name) == 0) return c->run(argc - 1, argv + 1);
        }
    }
    std::fprintf(stderr, "usage: halvetrop-bench COMMAND ARGS... | --list\ncommands:");
    for (const Command* c = commands; c->name; ++c) std::fprintf(stderr, " %s", c->name);
    std::fprintf(stderr, "\n");
    return 2;
}

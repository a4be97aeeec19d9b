// halvetrop-bench hash [--bytes N]: throughput of our XXH3 and XXH64 against the reference library on
// the same 1 MiB buffer (hot in cache), in alternating rounds so that frequency changes and
// neighbours hit both sides alike. N is the bytes each side hashes per algorithm (default 4 GiB).
#include "BenchUtil.h"

#include "hash/XXH3.h"
#include "hash/XXHash64.h"

#ifdef HALVETROP_HAVE_XXHASH
#include <xxhash.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t bufferBytes = 1 << 20;
constexpr int rounds = 16;

// Keeps the compiler from dropping hashes whose values are otherwise unused.
volatile std::uint64_t sink;

template <typename Hash>
double timeRound(const std::uint8_t* data, std::size_t repeats, Hash hash) {
    halvetrop::bench::Stopwatch watch;
    std::uint64_t acc = 0;
    for (std::size_t i = 0; i < repeats; ++i) acc += hash(data, bufferBytes);
    sink = acc;
    return watch.seconds();
}

}  // namespace

int bench_hash(int argc, char** argv) {
    std::uint64_t bytes = std::uint64_t{4} << 30;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--bytes") == 0 && i + 1 < argc) {
            bytes = std::strtoull(argv[++i], nullptr, 10);
        } else {
            std::fprintf(stderr, "usage: halvetrop-bench hash [--bytes N]\n");
            return 2;
        }
    }
#ifndef HALVETROP_HAVE_XXHASH
    std::fprintf(stderr, "halvetrop-bench was built without the reference xxHash library\n");
    return 1;
#else
    std::vector<std::uint8_t> storage(bufferBytes + 64);
    std::mt19937_64 engine(42);
    for (auto& b : storage) b = static_cast<std::uint8_t>(engine());
    // 64-byte aligned start, as a read buffer would be.
    std::uint8_t* data = storage.data() + (64 - reinterpret_cast<std::uintptr_t>(storage.data()) % 64) % 64;

    const std::size_t repeats = std::max<std::size_t>(1, bytes / bufferBytes / rounds);
    double ours3 = 0, ref3 = 0, ours64 = 0, ref64 = 0, oursSse2 = 0;
    const auto our3 = [](const std::uint8_t* p, std::size_t n) { return halvetrop::XXH3::hash64(p, n); };
    const auto their3 = [](const std::uint8_t* p, std::size_t n) { return XXH3_64bits(p, n); };
    // The reference library as Debian builds it runs SSE2; our SSE2 path is the like-for-like figure.
    const auto ourSse2 = [](const std::uint8_t* p, std::size_t n) {
        return halvetrop::XXH3::hash64(p, n, halvetrop::HashPath::sse2);
    };
    const auto our64 = [](const std::uint8_t* p, std::size_t n) { return halvetrop::XXHash64::hash(p, n); };
    const auto their64 = [](const std::uint8_t* p, std::size_t n) { return XXH64(p, n, 0); };
    // warm-up
    timeRound(data, 8, our3);
    timeRound(data, 8, their3);
    for (int r = 0; r < rounds; ++r) {
        // Alternate which side goes first, too.
        if (r % 2 == 0) {
            ours3 += timeRound(data, repeats, our3);
            ref3 += timeRound(data, repeats, their3);
            ours64 += timeRound(data, repeats, our64);
            ref64 += timeRound(data, repeats, their64);
            oursSse2 += timeRound(data, repeats, ourSse2);
        } else {
            oursSse2 += timeRound(data, repeats, ourSse2);
            ref3 += timeRound(data, repeats, their3);
            ours3 += timeRound(data, repeats, our3);
            ref64 += timeRound(data, repeats, their64);
            ours64 += timeRound(data, repeats, our64);
        }
    }
    const double total = static_cast<double>(repeats) * rounds * bufferBytes;
    const auto gbps = [&](double seconds) { return seconds > 0 ? total / seconds / 1e9 : 0.0; };
    std::printf("{\"xxh3_gbps\":%.3f,\"ref_xxh3_gbps\":%.3f,\"xxh64_gbps\":%.3f,\"ref_xxh64_gbps\":%.3f,"
                "\"xxh3_sse2_gbps\":%.3f,\"path\":\"%s\",\"bytes\":%.0f}\n",
                gbps(ours3), gbps(ref3), gbps(ours64), gbps(ref64), gbps(oursSse2),
                halvetrop::hashPathName(halvetrop::bestHashPath()), total);
    return 0;
#endif
}

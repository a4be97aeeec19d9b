// halvetrop-bench index DIR...            walks each folder and indexes every regular file in it
// halvetrop-bench index --synthetic N     indexes N made-up camera files instead
// Every file is admitted (no probe set), the worst case for the index. Prints
// {"files","index_bytes","bytes_per_file","build_seconds","lookups_per_second",...}; build_seconds
// is the map building alone, append and walk times are given apart.
#include "BenchUtil.h"

#include "match/Candidates.h"
#include "match/DestIndex.h"
#include "match/NameKey.h"
#include "report/Join.h"
#include "verify/ExtTable.h"
#include "walk/BulkWalker.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace halvetrop;
using halvetrop::bench::Stopwatch;

int bench_index(int argc, char** argv) {
    std::vector<std::string> roots;
    long long synthetic = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--synthetic") == 0 && i + 1 < argc) {
            synthetic = std::atoll(argv[++i]);
        } else {
            roots.emplace_back(argv[i]);
        }
    }
    if (roots.empty() && synthetic < 0) {
        std::fprintf(stderr, "usage: halvetrop-bench index DIR... | --synthetic N\n");
        return 2;
    }

    DestIndex ix;
    ExtTable exts;  // the check's own, so that appending costs what it costs there
    double walkSeconds = 0;
    double appendSeconds = 0;
    size_t nameBytes = 0;

    if (synthetic >= 0) {
        std::mt19937_64 rng(1);
        Stopwatch sw;
        const uint32_t root = ix.appendDir("Backup", std::nullopt, RootID{0}, 0, 1);
        uint32_t folder = root;
        char name[64];
        for (long long i = 0; i < synthetic; ++i) {
            if (i % 500 == 0) {
                std::snprintf(name, sizeof name, "%03lldMSDCF", (i / 500) % 900 + 100);
                folder = ix.appendDir(name, root, RootID{0}, 0, 0);
                nameBytes += std::strlen(name);
            }
            static const char* const extensions[] = {"ARW", "JPG", "MP4", "XML"};
            std::snprintf(name, sizeof name, "DSC%05lld.%s", i % 100000, extensions[i % 4]);
            const std::string_view n(name);
            const int64_t t = 1'700'000'000'000'000'000LL + static_cast<int64_t>(rng() % 1'000'000'000'000'000ULL);
            ix.appendFile(n, folder, static_cast<int64_t>(rng() % 50'000'000), t, 0, t, static_cast<uint64_t>(i),
                          EntryFlags{}, exts.id(n));
            nameBytes += n.size();
        }
        appendSeconds = sw.seconds();
    }

    for (size_t j = 0; j < roots.size(); ++j) {
        Stopwatch walkClock;
        WalkResult walk;
        try {
            BulkWalker walker;
            walk = walker.walk(roots[j]);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "can't walk %s: %s\n", roots[j].c_str(), e.what());
            return 1;
        }
        walkSeconds += walkClock.seconds();

        Stopwatch sw;
        const RootID root{static_cast<uint16_t>(j)};
        const uint32_t dirBase = static_cast<uint32_t>(ix.dirs().size());
        for (const WalkDirectory& d : walk.directories) {
            const std::string_view name = d.parent < 0 ? std::string_view() : lastComponent(d.relativePath);
            const std::optional<uint32_t> parent =
                d.parent < 0 ? std::nullopt : std::optional<uint32_t>(dirBase + static_cast<uint32_t>(d.parent));
            ix.appendDir(name, parent, root, d.modifiedNS, d.fileID);
            nameBytes += name.size();
        }
        for (const WalkEntry& e : walk.entries) {
            if (e.kind != WalkEntry::Kind::file) continue;
            const std::string_view name = walk.name(e);
            ix.appendFile(name, dirBase + static_cast<uint32_t>(e.parent), e.size, e.modifiedNS, 0, e.createdNS,
                          e.fileID, e.isDataless() ? EntryFlags::dataless : EntryFlags{}, exts.id(name));
            nameBytes += name.size();
        }
        appendSeconds += sw.seconds();
    }

    Stopwatch buildClock;
    ix.buildMaps();
    const double buildSeconds = buildClock.seconds();

    // Lookups: the four equal ranges for keys of rows that exist, in random order.
    const size_t files = ix.count();
    double lookupsPerSecond = 0;
    double candidatesPerSecond = 0;
    if (files > 0) {
        std::mt19937_64 rng(2);
        const size_t queries = 1'000'000;
        std::vector<uint32_t> picks(queries);
        for (auto& p : picks) p = static_cast<uint32_t>(rng() % files);
        size_t found = 0;
        Stopwatch sw;
        for (uint32_t r : picks) {
            const uint64_t key = ix.nameKey()[r];
            const int64_t size = ix.size()[r];
            found += ix.rowsOfNameKey(key, size).size();
            found += ix.rowsOfSize(size).size();
            found += ix.rowsOfNameKey(key).size();
            found += ix.rowsOfSuffix(ix.dirs()[ix.dir()[r]].nameKey, key).size();
        }
        lookupsPerSecond = static_cast<double>(queries * 4) / sw.seconds();

        const size_t searches = 200'000;
        Stopwatch cs;
        for (size_t i = 0; i < searches; ++i) {
            const uint32_t r = picks[i];
            SourceFile f;
            f.nameKey = ix.nameKey()[r];
            f.keysNameFirst = {f.nameKey, ix.dirs()[ix.dir()[r]].nameKey};
            f.size = ix.size()[r];
            f.extID = ix.extID()[r];
            f.mtimeNs = ix.mtimeNs()[r];
            const Candidates c = candidates(f, ix, 32);
            found += c.named.size() + c.renamed.size() + c.sameNameOtherSize.size();
        }
        candidatesPerSecond = static_cast<double>(searches) / cs.seconds();
        if (found == 0) std::fprintf(stderr, "no lookup found anything\n");
    }

    const size_t indexBytes = ix.memoryBytes();
    const double perFile = files ? static_cast<double>(indexBytes) / static_cast<double>(files) : 0;
    const double namePerFile = files ? static_cast<double>(nameBytes) / static_cast<double>(files) : 0;
    std::printf(
        "{\"files\":%zu,\"index_bytes\":%zu,\"bytes_per_file\":%.1f,\"build_seconds\":%.4f,"
        "\"lookups_per_second\":%.0f,\"name_bytes_per_file\":%.1f,\"directories\":%zu,\"append_seconds\":%.4f,"
        "\"walk_seconds\":%.4f,\"candidates_per_second\":%.0f,\"source\":\"%s\"}\n",
        files, indexBytes, perFile, buildSeconds, lookupsPerSecond, namePerFile, ix.dirs().size(), appendSeconds,
        walkSeconds, candidatesPerSecond, synthetic >= 0 ? (roots.empty() ? "synthetic" : "synthetic+walk") : "walk");
    return 0;
}

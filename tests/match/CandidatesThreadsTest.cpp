#include "match/Candidates.h"
#include "match/NameKey.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace halvetrop;

// Comparison workers share one built index without a lock and compute name keys at once; every
// worker must see exactly what a lone caller sees.
TEST(CandidatesThreads, WorkersShareOneIndex) {
    std::mt19937_64 rng(9);
    const std::vector<std::string> names = {"DSC1.ARW", "dsc1.arw", "caf\xC3\xA9.jpg", "CAFE\xCC\x81.JPG",
                                            "clip\xFF.mp4", "a.xml", "B.XML"};
    DestIndex ix;
    const uint32_t root = ix.appendDir("B", std::nullopt, RootID{0}, 0, 0);
    const uint32_t sub = ix.appendDir("100MSDCF", root, RootID{0}, 0, 0);
    const int64_t t0 = 1'700'000'000'000'000'000LL;
    for (int i = 0; i < 2000; ++i) {
        const std::string& n = names[rng() % names.size()];
        ix.appendFile(n + std::to_string(rng() % 50), rng() % 2 ? root : sub, static_cast<int64_t>(rng() % 20),
                      t0 + static_cast<int64_t>(rng() % 4) * 3'600'000'000'000LL, 0, t0, 0, EntryFlags{},
                      static_cast<uint16_t>(rng() % 3));
    }
    ix.buildMaps();

    std::vector<SourceFile> files;
    for (int i = 0; i < 200; ++i) {
        SourceFile f;
        f.name = names[rng() % names.size()] + std::to_string(rng() % 50);
        f.nameKey = NameKey::hash(f.name);
        f.keysNameFirst = {f.nameKey, NameKey::hash("100msdcf")};
        f.size = static_cast<int64_t>(rng() % 20);
        f.extID = static_cast<uint16_t>(rng() % 3);
        f.mtimeNs = t0;
        files.push_back(f);
    }
    std::vector<Candidates> alone;
    for (const auto& f : files) alone.push_back(candidates(f, ix, 8));

    constexpr int workers = 4;
    std::vector<std::vector<Candidates>> seen(workers);
    std::vector<std::vector<uint64_t>> keys(workers);
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        threads.emplace_back([&, w] {
            for (const auto& f : files) {
                keys[w].push_back(NameKey::hash(f.name));
                seen[w].push_back(candidates(f, ix, 8));
            }
        });
    }
    for (auto& t : threads) t.join();
    for (int w = 0; w < workers; ++w) {
        for (size_t i = 0; i < files.size(); ++i) {
            ASSERT_EQ(keys[w][i], files[i].nameKey);
            ASSERT_EQ(seen[w][i].named, alone[i].named);
            ASSERT_EQ(seen[w][i].renamed, alone[i].renamed);
            ASSERT_EQ(seen[w][i].sameNameOtherSize, alone[i].sameNameOtherSize);
        }
    }
}

// Content reads run on the check's worker threads, on the same and on different files at once.
#include "match/ContentReader.h"

#include "ContentReaderTestUtil.h"
#include "hash/XXH3.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace halvetrop {
namespace {

TEST(ContentReaderThreads, ConcurrentReadsOfSharedAndOwnFilesAgree) {
    AccessTimesTouched touched;
    test::DiskDir dir;
    const std::string sharedContent = test::randomContent((3 << 20) + 11, 61);
    const std::string shared = test::writeFile(dir.file("shared"), sharedContent);
    const std::uint64_t sharedHash = XXH3::hash64(sharedContent.data(), sharedContent.size());
    const SampleFP sharedFp = ContentReader::sampleFP(shared, static_cast<std::int64_t>(sharedContent.size()), false, touched);

    constexpr int threads = 8;
    std::vector<std::string> own(threads);
    for (int t = 0; t < threads; ++t) {
        own[t] = test::writeFile(dir.file("own" + std::to_string(t)), test::randomContent(300000 + t, 70 + t));
    }
    std::atomic<int> mismatches{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int round = 0; round < 4; ++round) {
                const FullHashResult full = ContentReader::fullHash(shared, {}, {}, touched);
                if (full.digest.lo != sharedHash) ++mismatches;
                const SampleFP fp =
                    ContentReader::sampleFP(shared, static_cast<std::int64_t>(sharedContent.size()), round % 2 == 0, touched);
                if (fp.head != sharedFp.head || fp.mid != sharedFp.mid || fp.tail != sharedFp.tail) ++mismatches;
                const std::string mine = test::readFile(own[t]);
                if (ContentReader::fullHash(own[t], {}, {}, touched).digest.lo != XXH3::hash64(mine.data(), mine.size())) {
                    ++mismatches;
                }
            }
        });
    }
    for (std::thread& w : workers) w.join();
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace halvetrop

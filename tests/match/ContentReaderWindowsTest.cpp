#include "match/ContentReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace halvetrop {
namespace {

TEST(SampleFPWindows, BoundaryTable) {
    const struct {
        std::int64_t size;
        std::vector<ByteRange> windows;
    } cases[] = {
        {0, {{0, 0}}},
        {1, {{0, 1}}},
        {65536, {{0, 65536}}},
        {196608, {{0, 196608}}},
        {196609, {{0, 65536}, {65536, 131072}, {131073, 196609}}},
        {200000, {{0, 65536}, {65536, 131072}, {134464, 200000}}},
        {10000000, {{0, 65536}, {4964352, 5029888}, {9934464, 10000000}}},
        // 2^40 + 5: half is 2^39 + 2, rounded down to 2^39
        {(std::int64_t{1} << 40) + 5,
         {{0, 65536},
          {(std::int64_t{1} << 39) - 32768, (std::int64_t{1} << 39) + 32768},
          {(std::int64_t{1} << 40) + 5 - 65536, (std::int64_t{1} << 40) + 5}}},
    };
    for (const auto& c : cases) EXPECT_EQ(SampleFP::windows(c.size), c.windows) << "size " << c.size;
}

TEST(SampleFPWindows, ThreeDisjointWindowsInsideEveryLargerFile) {
    std::mt19937_64 engine(31);
    for (int i = 0; i < 20000; ++i) {
        const std::int64_t size = SampleFP::wholeFileLimit + 1 +
                                  static_cast<std::int64_t>(engine() % (i < 10000 ? 1000000 : (std::uint64_t{1} << 50)));
        const std::vector<ByteRange> w = SampleFP::windows(size);
        ASSERT_EQ(w.size(), 3u) << size;
        for (const ByteRange& r : w) ASSERT_EQ(r.length(), SampleFP::window) << size;
        ASSERT_EQ(w[0].start, 0);
        ASSERT_LE(w[0].end, w[1].start) << size;
        ASSERT_LE(w[1].end, w[2].start) << size;
        ASSERT_EQ(w[2].end, size);
        ASSERT_EQ((w[1].start + SampleFP::window / 2) % 4096, 0) << size;
    }
}

// The O_DIRECT reads around the windows of files up to the largest size a file may have: whole
// blocks around each window, and never a request ending past the largest offset.
TEST(SampleFPWindows, AlignedReadsCoverWindowsUpToTheLargestOffset) {
    constexpr std::int64_t block = ContentReader::directAlignment;
    const std::int64_t sizes[] = {196609, 10000000, std::int64_t{1} << 44, INT64_MAX - 2 * block + 1,
                                  INT64_MAX - block, INT64_MAX - 1, INT64_MAX};
    for (std::int64_t size : sizes) {
        const std::vector<ByteRange> windows = SampleFP::windows(size);
        ASSERT_EQ(windows.size(), 3u) << size;
        EXPECT_EQ(windows[2].end, size);
        for (const ByteRange& w : windows) {
            SCOPED_TRACE(std::to_string(size) + " at " + std::to_string(w.start));
            const ContentReader::AlignedRead r = ContentReader::alignedCover(w);
            EXPECT_EQ(r.offset % block, 0);
            EXPECT_LE(r.offset, w.start);
            EXPECT_LT(w.start - r.offset, block);
            EXPECT_LE(r.length, INT64_MAX - r.offset);
            const std::int64_t end = r.offset + r.length;
            // Up to the next block boundary, or to the largest offset where that boundary is past it.
            EXPECT_GE(end, w.end);
            EXPECT_TRUE(end % block == 0 || end == INT64_MAX);
            EXPECT_LT(end - w.end, block);
        }
    }
}

TEST(ContentValues, EqualityAndHashUseEveryField) {
    const SampleFP base{1, 10, 20, 30, false, true, true};
    std::vector<SampleFP> variants(7, base);
    variants[0].version = 2;
    variants[1].head = 11;
    variants[2].mid = 21;
    variants[3].tail = 31;
    variants[4].wholeFile = true;
    variants[5].strong = false;
    variants[6].cacheEvicted = false;
    std::unordered_set<SampleFP> set{base};
    for (const SampleFP& v : variants) {
        EXPECT_NE(v, base);
        set.insert(v);
    }
    EXPECT_EQ(set.size(), 8u);
    EXPECT_EQ(Digest128({5, 6}), Digest128({5, 6}));
    EXPECT_NE(Digest128({5, 6}), Digest128({4, 6}));
    EXPECT_NE(Digest128({5, 6}), Digest128({5, 7}));
    EXPECT_EQ(std::hash<Digest128>{}(Digest128{5, 6}), std::hash<Digest128>{}(Digest128{5, 6}));
}

}  // namespace
}  // namespace halvetrop

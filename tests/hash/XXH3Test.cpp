#include "hash/XXH3.h"
#include "hash/XXHash64.h"

#include "HashOracle.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace halvetrop {
namespace {

using test::randomBytes;
using test::referenceXxh3;

// Every test runs on each instruction-set path; a path the processor lacks is skipped, not faked.
class XXH3PathTest : public ::testing::TestWithParam<HashPath> {
protected:
    void SetUp() override {
        if (!hashPathSupported(GetParam())) GTEST_SKIP() << "this processor has no " << hashPathName(GetParam());
    }
    HashPath path() const { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Paths, XXH3PathTest, ::testing::Values(HashPath::scalar, HashPath::sse2, HashPath::avx2),
                         [](const auto& info) { return std::string(hashPathName(info.param)); });

TEST_P(XXH3PathTest, OneShotEqualsReferenceForEveryLengthUpTo4096) {
    // Odd offsets make every wide load unaligned.
    const std::vector<std::uint8_t> data = randomBytes(4096 + 64, 1);
    for (std::size_t offset : {std::size_t{0}, std::size_t{1}, std::size_t{13}}) {
        for (std::size_t length = 0; length <= 4096; ++length) {
            ASSERT_EQ(XXH3::hash64(data.data() + offset, length, path()), referenceXxh3(data.data() + offset, length))
                << "length " << length << " offset " << offset;
        }
    }
}

TEST_P(XXH3PathTest, OneShotEqualsReferenceForLargeInputs) {
    const std::vector<std::uint8_t> data = randomBytes((8 << 20) + 100, 2);
    const std::size_t lengths[] = {1023,     1024,           1025,           2047,          2048,
                                   2049,     16 * 1024 - 1,  16 * 1024 + 1,  (1 << 20),     (1 << 20) + 7,
                                   3 << 20,  (5 << 20) + 33, (8 << 20) + 99};
    for (std::size_t length : lengths) {
        EXPECT_EQ(XXH3::hash64(data.data(), length, path()), referenceXxh3(data.data(), length)) << "length " << length;
    }
}

TEST_P(XXH3PathTest, LowVarietyInputsEqualReference) {
    // Zeros and all-ones exercise the carries of the 32x32 products and the lane sums.
    for (std::uint8_t fill : {std::uint8_t{0x00}, std::uint8_t{0xFF}, std::uint8_t{0x80}}) {
        const std::vector<std::uint8_t> data(70000, fill);
        for (std::size_t length : {std::size_t{0}, std::size_t{3}, std::size_t{240}, std::size_t{241},
                                   std::size_t{1025}, std::size_t{70000}}) {
            EXPECT_EQ(XXH3::hash64(data.data(), length, path()), referenceXxh3(data.data(), length))
                << "fill " << int(fill) << " length " << length;
        }
    }
}

TEST_P(XXH3PathTest, StripePrimitivesAgreeWithScalar) {
    const std::vector<std::uint8_t> data = randomBytes(64 * 16 + 8, 3);
    for (std::size_t stripes : {std::size_t{1}, std::size_t{5}, std::size_t{16}}) {
        std::uint64_t mine[8], scalar[8];
        for (int i = 0; i < 8; ++i) mine[i] = scalar[i] = 0x0123456789ABCDEFULL * (i + 1) ^ ~0ULL;
        // A secret offset of 8 per stripe is how blocks advance through the secret.
        XXH3::accumulate(mine, data.data() + 3, XXH3SecretBox::shared().ptr + 8, stripes, path());
        XXH3::accumulate(scalar, data.data() + 3, XXH3SecretBox::shared().ptr + 8, stripes, HashPath::scalar);
        ASSERT_EQ(std::vector<std::uint64_t>(mine, mine + 8), std::vector<std::uint64_t>(scalar, scalar + 8));
        XXH3::scramble(mine, path());
        XXH3::scramble(scalar, HashPath::scalar);
        ASSERT_EQ(std::vector<std::uint64_t>(mine, mine + 8), std::vector<std::uint64_t>(scalar, scalar + 8));
    }
}

// Feeds `data` in the chunk sizes produced by `next` and returns the stream's digest.
template <typename Next>
std::uint64_t streamDigest(const std::vector<std::uint8_t>& data, std::size_t length, HashPath path, Next next) {
    XXH3Stream stream(path);
    std::size_t done = 0;
    while (done < length) {
        const std::size_t chunk = std::min(next(), length - done);
        stream.update(data.data() + done, chunk);
        done += chunk;
    }
    EXPECT_EQ(stream.totalLength(), length);
    return stream.digest();
}

TEST_P(XXH3PathTest, StreamEqualsReferenceForFixedChunkings) {
    const std::vector<std::uint8_t> data = randomBytes(20000, 4);
    const std::size_t totals[] = {0,   1,   16,  17,  128, 129, 239,  240,  241,  255,   256,
                                  257, 320, 511, 512, 513, 1024, 1025, 4096, 4097, 20000};
    const std::size_t chunks[] = {1, 7, 63, 64, 65, 255, 256, 257, 1024, 1025, 4096};
    for (std::size_t total : totals) {
        for (std::size_t chunk : chunks) {
            ASSERT_EQ(streamDigest(data, total, path(), [&] { return chunk; }), referenceXxh3(data.data(), total))
                << "total " << total << " chunk " << chunk;
        }
    }
}

TEST_P(XXH3PathTest, StreamEqualsReferenceForRandomChunkings) {
    const std::vector<std::uint8_t> data = randomBytes((3 << 20) + 77, 5);
    std::mt19937_64 engine(6);
    for (int round = 0; round < 300; ++round) {
        const std::size_t total = round < 200 ? engine() % 5000 : engine() % data.size();
        // Mostly small pieces with occasional large ones, so buffer top-ups meet direct consumption.
        const std::size_t cap = (engine() % 4 == 0) ? 70000 : 600;
        const auto next = [&] { return static_cast<std::size_t>(engine() % cap); };
        ASSERT_EQ(streamDigest(data, total, path(), next), referenceXxh3(data.data(), total))
            << "round " << round << " total " << total;
    }
}

TEST_P(XXH3PathTest, DigestLeavesTheStreamUsable) {
    const std::vector<std::uint8_t> data = randomBytes(5000, 7);
    XXH3Stream stream(path());
    std::size_t fed = 0;
    for (std::size_t step : {100, 140, 1, 15, 300, 700, 2000, 1744}) {
        stream.update(data.data() + fed, step);
        fed += step;
        const std::uint64_t first = stream.digest();
        EXPECT_EQ(first, stream.digest()) << "after " << fed;
        EXPECT_EQ(first, referenceXxh3(data.data(), fed)) << "after " << fed;
    }
}

TEST_P(XXH3PathTest, CopiedStreamContinuesIndependently) {
    const std::vector<std::uint8_t> data = randomBytes(3000, 8);
    XXH3Stream original(path());
    original.update(data.data(), 1000);
    XXH3Stream copy = original;
    copy.update(data.data() + 1000, 2000);
    original.update(data.data() + 1000, 5);
    EXPECT_EQ(copy.digest(), referenceXxh3(data.data(), 3000));
    EXPECT_EQ(original.digest(), referenceXxh3(data.data(), 1005));
}

TEST(XXH3, EmptyOrAbsentInputChangesNothing) {
    const std::vector<std::uint8_t> data = randomBytes(300, 9);
    XXH3Stream stream;
    stream.update(nullptr, 0);
    stream.update(data.data(), 0);
    EXPECT_EQ(stream.digest(), referenceXxh3(nullptr, 0));
    EXPECT_EQ(XXH3::hash64(nullptr, 0), referenceXxh3(nullptr, 0));
    stream.update(data.data(), 300);
    stream.update(data.data(), 0);
    EXPECT_EQ(stream.digest(), referenceXxh3(data.data(), 300));
    EXPECT_EQ(XXH3::hash64(std::as_bytes(std::span(data))), referenceXxh3(data.data(), 300));
}

TEST(XXH3, SecretIsAlignedAndSharedByAllCallers) {
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(XXH3SecretBox::shared().ptr) % 64, 0u);
    EXPECT_EQ(XXH3SecretBox::shared().ptr, XXH3Const::secret.data());
}

TEST(XXH3, BestPathIsOneTheProcessorRuns) {
    EXPECT_TRUE(hashPathSupported(bestHashPath()));
    EXPECT_TRUE(hashPathSupported(HashPath::scalar));
}

TEST(XXH3, FixtureFilesEqualXxhsum) {
    test::TempDir dir("xxh3");
    for (std::size_t length : {std::size_t{0}, std::size_t{5}, std::size_t{200}, std::size_t{241},
                               std::size_t{65536}, std::size_t{(1 << 20) + 3}}) {
        const std::vector<std::uint8_t> data = randomBytes(length, length + 11);
        const std::string file =
            dir.write(std::to_string(length) + ".bin", std::string(data.begin(), data.end()));
        const auto expected = test::xxhsum(3, file);
        ASSERT_TRUE(expected.has_value()) << "xxhsum -H3 failed on " << file;
        EXPECT_EQ(XXHash64::hex(XXH3::hash64(data.data(), data.size())), *expected) << "length " << length;
        XXH3Stream stream;
        stream.update(data.data(), data.size() / 3);
        stream.update(data.data() + data.size() / 3, data.size() - data.size() / 3);
        EXPECT_EQ(XXHash64::hex(stream.digest()), *expected) << "length " << length;
    }
}

}  // namespace
}  // namespace halvetrop

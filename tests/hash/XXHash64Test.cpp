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
using test::referenceXxh64;

TEST(XXHash64, OneShotEqualsReferenceForEveryLengthAndSeveralSeeds) {
    const std::vector<std::uint8_t> data = randomBytes(4096 + 8, 21);
    for (std::uint64_t seed : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{0x9E3779B185EBCA87ULL}, ~std::uint64_t{0}}) {
        for (std::size_t offset : {std::size_t{0}, std::size_t{3}}) {
            for (std::size_t length = 0; length <= 4096; ++length) {
                ASSERT_EQ(XXHash64::hash(data.data() + offset, length, seed),
                          referenceXxh64(data.data() + offset, length, seed))
                    << "length " << length << " seed " << seed << " offset " << offset;
            }
        }
    }
}

TEST(XXHash64, OneShotEqualsReferenceForLargeInputs) {
    const std::vector<std::uint8_t> data = randomBytes((6 << 20) + 5, 22);
    for (std::size_t length : {std::size_t{1023}, std::size_t{1024}, std::size_t{1025}, std::size_t{1 << 20},
                               std::size_t{(6 << 20) + 5}}) {
        EXPECT_EQ(XXHash64::hash(data.data(), length), referenceXxh64(data.data(), length, 0)) << "length " << length;
    }
}

TEST(XXHash64, StreamEqualsReferenceForAnyChunking) {
    const std::vector<std::uint8_t> data = randomBytes((2 << 20) + 13, 23);
    std::mt19937_64 engine(24);
    for (int round = 0; round < 400; ++round) {
        const std::size_t total = round < 300 ? engine() % 3000 : engine() % data.size();
        const std::uint64_t seed = round % 3 == 0 ? 0 : engine();
        const std::size_t cap = round % 5 == 0 ? 100000 : (round % 2 ? 33 : 70);
        XXHash64 state(seed);
        std::size_t done = 0;
        while (done < total) {
            const std::size_t chunk = std::min<std::size_t>(engine() % cap, total - done);
            state.update(data.data() + done, chunk);
            done += chunk;
        }
        ASSERT_EQ(state.totalLength(), total);
        ASSERT_EQ(state.finalize(), referenceXxh64(data.data(), total, seed)) << "round " << round;
        ASSERT_EQ(state.finalize(), XXHash64::hash(data.data(), total, seed)) << "round " << round;
    }
}

TEST(XXHash64, FinalizeLeavesTheStateUsableAndCopiesAreIndependent) {
    const std::vector<std::uint8_t> data = randomBytes(500, 25);
    XXHash64 state;
    state.update(data.data(), 31);
    EXPECT_EQ(state.finalize(), referenceXxh64(data.data(), 31, 0));
    EXPECT_EQ(state.finalize(), referenceXxh64(data.data(), 31, 0));
    XXHash64 copy = state;
    copy.update(data.data() + 31, 469);
    state.update(data.data() + 31, 2);
    EXPECT_EQ(copy.finalize(), referenceXxh64(data.data(), 500, 0));
    EXPECT_EQ(state.finalize(), referenceXxh64(data.data(), 33, 0));
}

TEST(XXHash64, ContainerFormsFeedTheirBytes) {
    const std::vector<std::uint8_t> data = randomBytes(100, 26);
    const std::string text(data.begin(), data.end());
    const std::vector<std::byte> bytes(reinterpret_cast<const std::byte*>(data.data()),
                                       reinterpret_cast<const std::byte*>(data.data()) + data.size());
    XXHash64 fromString, fromVector, fromBytes, empty;
    fromString.update(text);
    fromVector.update(data);
    fromBytes.update(std::span<const std::byte>(bytes));
    empty.update(std::string());
    empty.update(nullptr, 0);
    EXPECT_EQ(fromString.finalize(), referenceXxh64(data.data(), 100, 0));
    EXPECT_EQ(fromVector.finalize(), referenceXxh64(data.data(), 100, 0));
    EXPECT_EQ(fromBytes.finalize(), referenceXxh64(data.data(), 100, 0));
    EXPECT_EQ(empty.finalize(), referenceXxh64(nullptr, 0, 0));
}

TEST(XXHash64, HexIsSixteenLowerCaseDigits) {
    const struct {
        std::uint64_t value;
        const char* text;
    } cases[] = {
        {0, "0000000000000000"},
        {255, "00000000000000ff"},
        {0xABCDEF, "0000000000abcdef"},
        {0x1000000000000000ULL, "1000000000000000"},
        {~std::uint64_t{0}, "ffffffffffffffff"},
    };
    for (const auto& c : cases) EXPECT_EQ(XXHash64::hex(c.value), c.text);
}

TEST(XXHash64, FixtureFilesEqualXxhsum) {
    test::TempDir dir("xxh64");
    for (std::size_t length : {std::size_t{0}, std::size_t{31}, std::size_t{32}, std::size_t{4099},
                               std::size_t{(1 << 20) + 1}}) {
        const std::vector<std::uint8_t> data = randomBytes(length, length + 27);
        const std::string file = dir.write(std::to_string(length) + ".bin", std::string(data.begin(), data.end()));
        const auto expected = test::xxhsum(1, file);
        ASSERT_TRUE(expected.has_value()) << "xxhsum -H1 failed on " << file;
        EXPECT_EQ(XXHash64::hex(XXHash64::hash(data.data(), data.size())), *expected) << "length " << length;
    }
}

}  // namespace
}  // namespace halvetrop

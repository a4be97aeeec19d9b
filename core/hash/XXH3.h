#pragma once
// XXH3, 64-bit variant, seed 0 and the default secret: the hash that proves content during a check.
// Values equal the published algorithm bit for bit, because digests taken at different times and by
// the one-shot and the streaming form are compared with each other and stored in reports.
#include <array>
#include <cstddef>
#include <cstdint>
#include <ranges>
#include <span>

namespace halvetrop {

// Instruction set used for the long loop (inputs above 240 bytes). The scalar path is what other
// processors run; every path gives the same values.
enum class HashPath : std::uint8_t { scalar, sse2, avx2 };

// The widest path this processor can run, decided once per process.
HashPath bestHashPath();
// Whether this processor can run `path`.
bool hashPathSupported(HashPath path);
// "scalar", "sse2", "avx2"
const char* hashPathName(HashPath path);

namespace XXH3Const {
// The published 192-byte default secret. Aligned so that stripes can use aligned wide loads.
alignas(64) inline constexpr std::array<std::uint8_t, 192> secret = {
    0xb8, 0xfe, 0x6c, 0x39, 0x23, 0xa4, 0x4b, 0xbe, 0x7c, 0x01, 0x81, 0x2c, 0xf7, 0x21, 0xad, 0x1c,
    0xde, 0xd4, 0x6d, 0xe9, 0x83, 0x90, 0x97, 0xdb, 0x72, 0x40, 0xa4, 0xa4, 0xb7, 0xb3, 0x67, 0x1f,
    0xcb, 0x79, 0xe6, 0x4e, 0xcc, 0xc0, 0xe5, 0x78, 0x82, 0x5a, 0xd0, 0x7d, 0xcc, 0xff, 0x72, 0x21,
    0xb8, 0x08, 0x46, 0x74, 0xf7, 0x43, 0x24, 0x8e, 0xe0, 0x35, 0x90, 0xe6, 0x81, 0x3a, 0x26, 0x4c,
    0x3c, 0x28, 0x52, 0xbb, 0x91, 0xc3, 0x00, 0xcb, 0x88, 0xd0, 0x65, 0x8b, 0x1b, 0x53, 0x2e, 0xa3,
    0x71, 0x64, 0x48, 0x97, 0xa2, 0x0d, 0xf9, 0x4e, 0x38, 0x19, 0xef, 0x46, 0xa9, 0xde, 0xac, 0xd8,
    0xa8, 0xfa, 0x76, 0x3f, 0xe3, 0x9c, 0x34, 0x3f, 0xf9, 0xdc, 0xbb, 0xc7, 0xc7, 0x0b, 0x4f, 0x1d,
    0x8a, 0x51, 0xe0, 0x4b, 0xcd, 0xb4, 0x59, 0x31, 0xc8, 0x9f, 0x7e, 0xc9, 0xd9, 0x78, 0x73, 0x64,
    0xea, 0xc5, 0xac, 0x83, 0x34, 0xd3, 0xeb, 0xc3, 0xc5, 0x81, 0xa0, 0xff, 0xfa, 0x13, 0x63, 0xeb,
    0x17, 0x0d, 0xdd, 0x51, 0xb7, 0xf0, 0xda, 0x49, 0xd3, 0x16, 0x55, 0x26, 0x29, 0xd4, 0x68, 0x9e,
    0x2b, 0x16, 0xbe, 0x58, 0x7d, 0x47, 0xa1, 0xfc, 0x8f, 0xf8, 0xb8, 0xd1, 0x7a, 0xd0, 0x31, 0xce,
    0x45, 0xcb, 0x3a, 0x8f, 0x95, 0x16, 0x04, 0x28, 0xaf, 0xd7, 0xfb, 0xca, 0xbb, 0x4b, 0x40, 0x7e,
};
}  // namespace XXH3Const

// The secret every XXH3 call reads. The constant is already 64-byte aligned and immutable, so the
// "shared copy" needs no lazy initialisation and no lock: any number of threads may hash at once.
struct XXH3SecretBox {
    const std::uint8_t* ptr;
    static const XXH3SecretBox& shared();
};

namespace XXH3 {

inline constexpr std::size_t stripeLength = 64;
inline constexpr std::size_t stripesPerBlock = 16;
inline constexpr std::size_t blockLength = stripeLength * stripesPerBlock;

// One-shot hash of `length` bytes at `data` (null allowed when length is 0).
std::uint64_t hash64(const void* data, std::size_t length);
std::uint64_t hash64(const void* data, std::size_t length, HashPath path);
inline std::uint64_t hash64(std::span<const std::byte> bytes) { return hash64(bytes.data(), bytes.size()); }

// The published stages, exposed for tests of each path.
std::uint64_t len17to128(const std::uint8_t* input, std::size_t length);
std::uint64_t len129to240(const std::uint8_t* input, std::size_t length);
// Consumes all whole stripes but the last of an input longer than 240 bytes, then the final stripe
// (the last 64 bytes); 16 stripes make a block, scrambled after each complete block.
void hashLongLoop(std::uint64_t acc[8], const std::uint8_t* input, std::size_t length, HashPath path);
std::uint64_t mergeAccs(const std::uint64_t acc[8], std::uint64_t start);

// Stripe primitives of one path: accumulate `stripes` stripes starting at `input` with the secret at
// `secret`, and scramble the lanes with the block-end secret.
void accumulate(std::uint64_t acc[8], const std::uint8_t* input, const std::uint8_t* secret,
                std::size_t stripes, HashPath path);
void scramble(std::uint64_t acc[8], HashPath path);

}  // namespace XXH3

// Streaming XXH3 for whole files and for comparing content while copying. A plain value: its
// 256-byte block lives inside the object (64-byte aligned), so copying a stream copies its buffered
// bytes and nothing is ever allocated or freed. For any input and any cutting into update() calls,
// digest() equals XXH3::hash64 of the whole input.
class alignas(64) XXH3Stream {
public:
    static constexpr std::size_t bufferSize = 256;

    explicit XXH3Stream(HashPath path = bestHashPath());

    // Empty input changes nothing.
    void update(const void* data, std::size_t length);
    void update(std::span<const std::byte> bytes) { update(bytes.data(), bytes.size()); }

    // Hash of everything fed so far; the stream is unchanged and may be fed further.
    std::uint64_t digest() const;

    std::uint64_t totalLength() const { return totalLen_; }
    HashPath path() const { return path_; }

private:
    void consumeStripes(std::uint64_t acc[8], std::int64_t& nbStripesSoFar, const std::uint8_t* input,
                        std::size_t stripes) const;

    alignas(64) std::array<std::uint64_t, 8> acc_;
    // Gathers input while it fits; after stripes were consumed from the caller's memory, its last
    // 64 bytes hold the last consumed stripe, which digest() needs when fewer than 64 bytes wait.
    alignas(64) std::array<std::uint8_t, bufferSize> buffer_;
    std::int64_t bufferedSize_ = 0;
    std::int64_t nbStripesSoFar_ = 0;
    std::uint64_t totalLen_ = 0;
    HashPath path_;
};

}  // namespace halvetrop

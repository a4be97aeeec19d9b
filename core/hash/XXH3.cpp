#include "hash/XXH3.h"

#include "hash/HashBits.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define HALVETROP_X86 1
#endif

namespace halvetrop {

namespace {

constexpr std::uint64_t prime32_1 = 0x9E3779B1U;
constexpr std::uint64_t prime32_2 = 0x85EBCA77U;
constexpr std::uint64_t prime32_3 = 0xC2B2AE3DU;
constexpr std::uint64_t prime64_1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t prime64_2 = 0xC2B2AE3D27D4EB4FULL;
constexpr std::uint64_t prime64_3 = 0x165667B19E3779F9ULL;
constexpr std::uint64_t prime64_4 = 0x85EBCA77C2B2AE63ULL;
constexpr std::uint64_t prime64_5 = 0x27D4EB2F165667C5ULL;
constexpr std::uint64_t primeMx1 = 0x165667919E3779F9ULL;
constexpr std::uint64_t primeMx2 = 0x9FB21C651E98DF25ULL;

constexpr std::size_t secretSize = XXH3Const::secret.size();
// Offsets into the secret fixed by the algorithm.
constexpr std::size_t scrambleOffset = secretSize - XXH3::stripeLength;       // 128
constexpr std::size_t lastStripeOffset = secretSize - XXH3::stripeLength - 7;  // 121
constexpr std::size_t mergeOffset = 11;
constexpr std::size_t midSizeStartOffset = 3;
constexpr std::size_t midSizeLastOffset = 136 - 17;

constexpr std::array<std::uint64_t, 8> initialAcc = {prime32_3, prime64_1, prime64_2, prime64_3,
                                                     prime64_4, prime32_2, prime64_5, prime32_1};

using hashBits::read32;
using hashBits::read64;
using hashBits::rotl64;
using hashBits::xxh64Avalanche;

inline std::uint64_t mul128fold64(std::uint64_t a, std::uint64_t b) {
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

inline std::uint64_t avalanche(std::uint64_t h) {
    h ^= h >> 37;
    h *= primeMx1;
    h ^= h >> 32;
    return h;
}

inline std::uint64_t rrmxmx(std::uint64_t h, std::uint64_t length) {
    h ^= rotl64(h, 49) ^ rotl64(h, 24);
    h *= primeMx2;
    h ^= (h >> 35) + length;
    h *= primeMx2;
    h ^= h >> 28;
    return h;
}

inline std::uint64_t mix16(const std::uint8_t* input, const std::uint8_t* secret) {
    return mul128fold64(read64(input) ^ read64(secret), read64(input + 8) ^ read64(secret + 8));
}

const std::uint8_t* const kSecret = XXH3Const::secret.data();

std::uint64_t len0() { return xxh64Avalanche(read64(kSecret + 56) ^ read64(kSecret + 64)); }

std::uint64_t len1to3(const std::uint8_t* input, std::size_t length) {
    const std::uint32_t c1 = input[0];
    const std::uint32_t c2 = input[length >> 1];
    const std::uint32_t c3 = input[length - 1];
    const std::uint32_t combined =
        (c1 << 16) | (c2 << 24) | c3 | (static_cast<std::uint32_t>(length) << 8);
    const std::uint64_t bitflip = read32(kSecret) ^ read32(kSecret + 4);
    return xxh64Avalanche(std::uint64_t{combined} ^ bitflip);
}

std::uint64_t len4to8(const std::uint8_t* input, std::size_t length) {
    const std::uint64_t first = read32(input);
    const std::uint64_t last = read32(input + length - 4);
    const std::uint64_t bitflip = read64(kSecret + 8) ^ read64(kSecret + 16);
    return rrmxmx((last + (first << 32)) ^ bitflip, length);
}

std::uint64_t len9to16(const std::uint8_t* input, std::size_t length) {
    const std::uint64_t bitflip1 = read64(kSecret + 24) ^ read64(kSecret + 32);
    const std::uint64_t bitflip2 = read64(kSecret + 40) ^ read64(kSecret + 48);
    const std::uint64_t lo = read64(input) ^ bitflip1;
    const std::uint64_t hi = read64(input + length - 8) ^ bitflip2;
    return avalanche(length + __builtin_bswap64(lo) + hi + mul128fold64(lo, hi));
}

// ---- stripe primitives, one set per path ------------------------------------------------------

inline void accumulateStripeScalar(std::uint64_t acc[8], const std::uint8_t* input, const std::uint8_t* secret) {
    for (int i = 0; i < 8; ++i) {
        const std::uint64_t data = read64(input + 8 * i);
        const std::uint64_t key = data ^ read64(secret + 8 * i);
        acc[i ^ 1] += data;
        acc[i] += (key & 0xFFFFFFFFULL) * (key >> 32);
    }
}

void accumulateScalar(std::uint64_t acc[8], const std::uint8_t* input, const std::uint8_t* secret,
                      std::size_t stripes) {
    std::uint64_t lanes[8];
    std::memcpy(lanes, acc, sizeof lanes);
    for (std::size_t n = 0; n < stripes; ++n) {
        accumulateStripeScalar(lanes, input + n * XXH3::stripeLength, secret + n * 8);
    }
    std::memcpy(acc, lanes, sizeof lanes);
}

void scrambleScalar(std::uint64_t acc[8]) {
    const std::uint8_t* secret = kSecret + scrambleOffset;
    for (int i = 0; i < 8; ++i) {
        std::uint64_t a = acc[i];
        a ^= a >> 47;
        a ^= read64(secret + 8 * i);
        a *= prime32_1;
        acc[i] = a;
    }
}

#ifdef HALVETROP_X86

// SSE2 is part of x86-64, so these need no target attribute.
void accumulateSse2(std::uint64_t acc[8], const std::uint8_t* input, const std::uint8_t* secret,
                    std::size_t stripes) {
    __m128i lanes[4];
    for (int i = 0; i < 4; ++i) lanes[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(acc) + i);
    for (std::size_t n = 0; n < stripes; ++n) {
        const std::uint8_t* in = input + n * XXH3::stripeLength;
        const std::uint8_t* key = secret + n * 8;
        for (int i = 0; i < 4; ++i) {
            const __m128i data = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in) + i);
            const __m128i dataKey = _mm_xor_si128(data, _mm_loadu_si128(reinterpret_cast<const __m128i*>(key) + i));
            // low 32 bits times high 32 bits of each 64-bit lane
            const __m128i keyHigh = _mm_shuffle_epi32(dataKey, _MM_SHUFFLE(0, 3, 0, 1));
            const __m128i product = _mm_mul_epu32(dataKey, keyHigh);
            // each lane also gets its neighbour's input
            const __m128i swapped = _mm_shuffle_epi32(data, _MM_SHUFFLE(1, 0, 3, 2));
            lanes[i] = _mm_add_epi64(lanes[i], _mm_add_epi64(product, swapped));
        }
    }
    for (int i = 0; i < 4; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(acc) + i, lanes[i]);
}

void scrambleSse2(std::uint64_t acc[8]) {
    const __m128i prime = _mm_set1_epi32(static_cast<int>(prime32_1));
    for (int i = 0; i < 4; ++i) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(acc) + i);
        a = _mm_xor_si128(a, _mm_srli_epi64(a, 47));
        a = _mm_xor_si128(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSecret + scrambleOffset) + i));
        // 64-bit lane times a 32-bit prime, from two 32x32 products
        const __m128i high = _mm_shuffle_epi32(a, _MM_SHUFFLE(0, 3, 0, 1));
        const __m128i productLow = _mm_mul_epu32(a, prime);
        const __m128i productHigh = _mm_mul_epu32(high, prime);
        a = _mm_add_epi64(productLow, _mm_slli_epi64(productHigh, 32));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(acc) + i, a);
    }
}

// One stripe into the two 256-bit halves of the accumulator.
__attribute__((target("avx2"), always_inline)) inline void stripeAvx2(__m256i& lane0, __m256i& lane1,
                                                                      const std::uint8_t* input,
                                                                      const std::uint8_t* secret) {
    const __m256i* in = reinterpret_cast<const __m256i*>(input);
    const __m256i* key = reinterpret_cast<const __m256i*>(secret);
    const __m256i data0 = _mm256_loadu_si256(in);
    const __m256i data1 = _mm256_loadu_si256(in + 1);
    const __m256i dk0 = _mm256_xor_si256(data0, _mm256_loadu_si256(key));
    const __m256i dk1 = _mm256_xor_si256(data1, _mm256_loadu_si256(key + 1));
    const __m256i p0 = _mm256_mul_epu32(dk0, _mm256_srli_epi64(dk0, 32));
    const __m256i p1 = _mm256_mul_epu32(dk1, _mm256_srli_epi64(dk1, 32));
    const __m256i s0 = _mm256_shuffle_epi32(data0, _MM_SHUFFLE(1, 0, 3, 2));
    const __m256i s1 = _mm256_shuffle_epi32(data1, _MM_SHUFFLE(1, 0, 3, 2));
    lane0 = _mm256_add_epi64(lane0, _mm256_add_epi64(p0, s0));
    lane1 = _mm256_add_epi64(lane1, _mm256_add_epi64(p1, s1));
}

// One half of the accumulator scrambled: shifted in, keyed, and multiplied (64-bit lanes times a
// 32-bit prime, from two 32x32 products).
__attribute__((target("avx2"), always_inline)) inline __m256i scrambleLaneAvx2(__m256i lane, __m256i secret,
                                                                              __m256i prime) {
    lane = _mm256_xor_si256(_mm256_xor_si256(lane, _mm256_srli_epi64(lane, 47)), secret);
    const __m256i productLow = _mm256_mul_epu32(lane, prime);
    const __m256i productHigh = _mm256_mul_epu32(_mm256_srli_epi64(lane, 32), prime);
    return _mm256_add_epi64(productLow, _mm256_slli_epi64(productHigh, 32));
}

__attribute__((target("avx2"))) void accumulateAvx2(std::uint64_t acc[8], const std::uint8_t* input,
                                                    const std::uint8_t* secret, std::size_t stripes) {
    __m256i lane0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(acc));
    __m256i lane1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(acc) + 1);
    for (std::size_t n = 0; n < stripes; ++n) stripeAvx2(lane0, lane1, input + n * XXH3::stripeLength, secret + n * 8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(acc), lane0);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(acc) + 1, lane1);
}

__attribute__((target("avx2"))) void scrambleAvx2(std::uint64_t acc[8]) {
    const __m256i prime = _mm256_set1_epi32(static_cast<int>(prime32_1));
    const __m256i* scr = reinterpret_cast<const __m256i*>(kSecret + scrambleOffset);
    for (int i = 0; i < 2; ++i) {
        __m256i* lane = reinterpret_cast<__m256i*>(acc) + i;
        _mm256_storeu_si256(lane, scrambleLaneAvx2(_mm256_loadu_si256(lane), _mm256_loadu_si256(scr + i), prime));
    }
}

// Whole blocks with the lanes kept in registers across the block's scramble: the loop that runs at
// disk speed for every byte of a full read.
__attribute__((target("avx2"))) void blocksAvx2(std::uint64_t acc[8], const std::uint8_t* input, std::size_t blocks) {
    const __m256i prime = _mm256_set1_epi32(static_cast<int>(prime32_1));
    const __m256i* scr = reinterpret_cast<const __m256i*>(kSecret + scrambleOffset);
    const __m256i scr0 = _mm256_loadu_si256(scr);
    const __m256i scr1 = _mm256_loadu_si256(scr + 1);
    __m256i lane0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(acc));
    __m256i lane1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(acc) + 1);
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::uint8_t* block = input + b * XXH3::blockLength;
        for (std::size_t n = 0; n < XXH3::stripesPerBlock; ++n)
            stripeAvx2(lane0, lane1, block + n * XXH3::stripeLength, kSecret + n * 8);
        lane0 = scrambleLaneAvx2(lane0, scr0, prime);
        lane1 = scrambleLaneAvx2(lane1, scr1, prime);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(acc), lane0);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(acc) + 1, lane1);
}

void blocksSse2(std::uint64_t acc[8], const std::uint8_t* input, std::size_t blocks) {
    for (std::size_t b = 0; b < blocks; ++b) {
        accumulateSse2(acc, input + b * XXH3::blockLength, kSecret, XXH3::stripesPerBlock);
        scrambleSse2(acc);
    }
}

#endif  // HALVETROP_X86

void blocksScalar(std::uint64_t acc[8], const std::uint8_t* input, std::size_t blocks) {
    for (std::size_t b = 0; b < blocks; ++b) {
        accumulateScalar(acc, input + b * XXH3::blockLength, kSecret, XXH3::stripesPerBlock);
        scrambleScalar(acc);
    }
}

// A path the processor cannot run falls back to the best one it can, so that a forced path in a
// test never executes an illegal instruction.
HashPath usable(HashPath path) { return hashPathSupported(path) ? path : bestHashPath(); }

void blocks(std::uint64_t acc[8], const std::uint8_t* input, std::size_t count, HashPath path) {
#ifdef HALVETROP_X86
    switch (path) {
    case HashPath::avx2: return blocksAvx2(acc, input, count);
    case HashPath::sse2: return blocksSse2(acc, input, count);
    case HashPath::scalar: break;
    }
#endif
    (void)path;
    blocksScalar(acc, input, count);
}

std::uint64_t hashLong(const std::uint8_t* input, std::size_t length, HashPath path) {
    alignas(64) std::uint64_t acc[8];
    std::memcpy(acc, initialAcc.data(), sizeof acc);
    XXH3::hashLongLoop(acc, input, length, path);
    return XXH3::mergeAccs(acc, length * prime64_1);
}

}  // namespace

bool hashPathSupported(HashPath path) {
    switch (path) {
    case HashPath::scalar: return true;
#ifdef HALVETROP_X86
    case HashPath::sse2: return true;
    case HashPath::avx2: {
        static const bool avx2 = [] {
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2") != 0;
        }();
        return avx2;
    }
#else
    default: return false;
#endif
    }
    return false;
}

HashPath bestHashPath() {
    static const HashPath best = hashPathSupported(HashPath::avx2)   ? HashPath::avx2
                                 : hashPathSupported(HashPath::sse2) ? HashPath::sse2
                                                                     : HashPath::scalar;
    return best;
}

const char* hashPathName(HashPath path) {
    switch (path) {
    case HashPath::scalar: return "scalar";
    case HashPath::sse2: return "sse2";
    case HashPath::avx2: return "avx2";
    }
    return "?";
}

const XXH3SecretBox& XXH3SecretBox::shared() {
    static constexpr XXH3SecretBox box{XXH3Const::secret.data()};
    return box;
}

namespace XXH3 {

void accumulate(std::uint64_t acc[8], const std::uint8_t* input, const std::uint8_t* secret, std::size_t stripes,
                HashPath path) {
#ifdef HALVETROP_X86
    switch (usable(path)) {
    case HashPath::avx2: return accumulateAvx2(acc, input, secret, stripes);
    case HashPath::sse2: return accumulateSse2(acc, input, secret, stripes);
    case HashPath::scalar: break;
    }
#endif
    (void)path;
    accumulateScalar(acc, input, secret, stripes);
}

void scramble(std::uint64_t acc[8], HashPath path) {
#ifdef HALVETROP_X86
    switch (usable(path)) {
    case HashPath::avx2: return scrambleAvx2(acc);
    case HashPath::sse2: return scrambleSse2(acc);
    case HashPath::scalar: break;
    }
#endif
    (void)path;
    scrambleScalar(acc);
}

std::uint64_t len17to128(const std::uint8_t* input, std::size_t length) {
    std::uint64_t acc = length * prime64_1;
    if (length > 32) {
        if (length > 64) {
            if (length > 96) {
                acc += mix16(input + 48, kSecret + 96);
                acc += mix16(input + length - 64, kSecret + 112);
            }
            acc += mix16(input + 32, kSecret + 64);
            acc += mix16(input + length - 48, kSecret + 80);
        }
        acc += mix16(input + 16, kSecret + 32);
        acc += mix16(input + length - 32, kSecret + 48);
    }
    acc += mix16(input, kSecret);
    acc += mix16(input + length - 16, kSecret + 16);
    return avalanche(acc);
}

std::uint64_t len129to240(const std::uint8_t* input, std::size_t length) {
    std::uint64_t acc = length * prime64_1;
    for (std::size_t i = 0; i < 8; ++i) acc += mix16(input + 16 * i, kSecret + 16 * i);
    acc = avalanche(acc);
    const std::size_t rounds = length / 16;
    for (std::size_t i = 8; i < rounds; ++i) acc += mix16(input + 16 * i, kSecret + 16 * (i - 8) + midSizeStartOffset);
    acc += mix16(input + length - 16, kSecret + midSizeLastOffset);
    return avalanche(acc);
}

void hashLongLoop(std::uint64_t acc[8], const std::uint8_t* input, std::size_t length, HashPath path) {
    path = usable(path);
    // The last stripe is always taken from the input's end, so whole blocks and stripes stop short
    // of the final byte.
    const std::size_t fullBlocks = (length - 1) / blockLength;
    blocks(acc, input, fullBlocks, path);
    const std::size_t stripes = ((length - 1) - blockLength * fullBlocks) / stripeLength;
    accumulate(acc, input + fullBlocks * blockLength, kSecret, stripes, path);
    accumulate(acc, input + length - stripeLength, kSecret + lastStripeOffset, 1, path);
}

std::uint64_t mergeAccs(const std::uint64_t acc[8], std::uint64_t start) {
    std::uint64_t result = start;
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t* secret = kSecret + mergeOffset + 16 * i;
        result += mul128fold64(acc[2 * i] ^ read64(secret), acc[2 * i + 1] ^ read64(secret + 8));
    }
    return avalanche(result);
}

std::uint64_t hash64(const void* data, std::size_t length, HashPath path) {
    const auto* input = static_cast<const std::uint8_t*>(data);
    if (length <= 16) {
        if (length > 8) return len9to16(input, length);
        if (length >= 4) return len4to8(input, length);
        if (length > 0) return len1to3(input, length);
        return len0();
    }
    if (length <= 128) return len17to128(input, length);
    if (length <= 240) return len129to240(input, length);
    return hashLong(input, length, path);
}

std::uint64_t hash64(const void* data, std::size_t length) { return hash64(data, length, bestHashPath()); }

}  // namespace XXH3

// ---- streaming ----------------------------------------------------------------------------------

XXH3Stream::XXH3Stream(HashPath path) : acc_(initialAcc), buffer_{}, path_(usable(path)) {}

void XXH3Stream::consumeStripes(std::uint64_t acc[8], std::int64_t& nbStripesSoFar, const std::uint8_t* input,
                                std::size_t stripes) const {
    while (stripes > 0) {
        const std::size_t toBlockEnd = XXH3::stripesPerBlock - static_cast<std::size_t>(nbStripesSoFar);
        if (nbStripesSoFar == 0 && stripes >= XXH3::stripesPerBlock) {
            // whole blocks straight through the fused loop
            const std::size_t count = stripes / XXH3::stripesPerBlock;
            blocks(acc, input, count, path_);
            input += count * XXH3::blockLength;
            stripes -= count * XXH3::stripesPerBlock;
            continue;
        }
        const std::size_t take = stripes < toBlockEnd ? stripes : toBlockEnd;
        XXH3::accumulate(acc, input, kSecret + nbStripesSoFar * 8, take, path_);
        input += take * XXH3::stripeLength;
        stripes -= take;
        nbStripesSoFar += static_cast<std::int64_t>(take);
        if (nbStripesSoFar == static_cast<std::int64_t>(XXH3::stripesPerBlock)) {
            XXH3::scramble(acc, path_);
            nbStripesSoFar = 0;
        }
    }
}

void XXH3Stream::update(const void* data, std::size_t length) {
    if (length == 0 || data == nullptr) return;
    const auto* input = static_cast<const std::uint8_t*>(data);
    const std::uint8_t* const end = input + length;
    totalLen_ += length;

    // Fits (a buffer filled exactly is kept: its last stripe may be the input's final stripe).
    if (length <= bufferSize - static_cast<std::size_t>(bufferedSize_)) {
        std::memcpy(buffer_.data() + bufferedSize_, input, length);
        bufferedSize_ += static_cast<std::int64_t>(length);
        return;
    }

    constexpr std::size_t bufferStripes = bufferSize / XXH3::stripeLength;
    if (bufferedSize_ > 0) {
        const std::size_t top = bufferSize - static_cast<std::size_t>(bufferedSize_);
        std::memcpy(buffer_.data() + bufferedSize_, input, top);
        input += top;
        consumeStripes(acc_.data(), nbStripesSoFar_, buffer_.data(), bufferStripes);
        bufferedSize_ = 0;
    }
    // More input follows what is consumed here, so these stripes are never the final one.
    const std::size_t remaining = static_cast<std::size_t>(end - input);
    if (remaining > bufferSize) {
        const std::size_t stripes = (remaining - 1) / XXH3::stripeLength;
        consumeStripes(acc_.data(), nbStripesSoFar_, input, stripes);
        input += stripes * XXH3::stripeLength;
        std::memcpy(buffer_.data() + bufferSize - XXH3::stripeLength, input - XXH3::stripeLength, XXH3::stripeLength);
    }
    const std::size_t rest = static_cast<std::size_t>(end - input);
    std::memcpy(buffer_.data(), input, rest);
    bufferedSize_ = static_cast<std::int64_t>(rest);
}

std::uint64_t XXH3Stream::digest() const {
    if (totalLen_ <= 240) return XXH3::hash64(buffer_.data(), static_cast<std::size_t>(totalLen_), path_);

    alignas(64) std::uint64_t acc[8];
    std::memcpy(acc, acc_.data(), sizeof acc);
    const auto buffered = static_cast<std::size_t>(bufferedSize_);
    if (buffered >= XXH3::stripeLength) {
        std::int64_t stripesSoFar = nbStripesSoFar_;
        consumeStripes(acc, stripesSoFar, buffer_.data(), (buffered - 1) / XXH3::stripeLength);
        XXH3::accumulate(acc, buffer_.data() + buffered - XXH3::stripeLength, kSecret + lastStripeOffset, 1, path_);
    } else {
        // The final stripe joins the end of the last consumed stripe and the waiting bytes.
        alignas(64) std::uint8_t last[XXH3::stripeLength];
        const std::size_t fromPrevious = XXH3::stripeLength - buffered;
        std::memcpy(last, buffer_.data() + bufferSize - fromPrevious, fromPrevious);
        std::memcpy(last + fromPrevious, buffer_.data(), buffered);
        XXH3::accumulate(acc, last, kSecret + lastStripeOffset, 1, path_);
    }
    return XXH3::mergeAccs(acc, totalLen_ * prime64_1);
}

}  // namespace halvetrop

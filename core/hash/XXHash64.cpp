#include "hash/XXHash64.h"

#include "hash/HashBits.h"

#include <bit>
#include <algorithm>
#include <cstring>

namespace halvetrop {

namespace {

using hashBits::read32;
using hashBits::read64;
using hashBits::rotl64;

inline std::uint64_t round(std::uint64_t acc, std::uint64_t input) {
    acc += input * XXHash64::p2;
    acc = rotl64(acc, 31);
    return acc * XXHash64::p1;
}

inline std::uint64_t mergeRound(std::uint64_t acc, std::uint64_t value) {
    acc ^= round(0, value);
    return acc * XXHash64::p1 + XXHash64::p4;
}

// The tail (fewer than 32 bytes) and the final avalanche, shared by the stream and the one-shot.
std::uint64_t finish(std::uint64_t h, const std::uint8_t* p, std::size_t length) {
    while (length >= 8) {
        h ^= round(0, read64(p));
        h = rotl64(h, 27) * XXHash64::p1 + XXHash64::p4;
        p += 8;
        length -= 8;
    }
    if (length >= 4) {
        h ^= std::uint64_t{read32(p)} * XXHash64::p1;
        h = rotl64(h, 23) * XXHash64::p2 + XXHash64::p3;
        p += 4;
        length -= 4;
    }
    while (length > 0) {
        h ^= std::uint64_t{*p} * XXHash64::p5;
        h = rotl64(h, 11) * XXHash64::p1;
        ++p;
        --length;
    }
    return hashBits::xxh64Avalanche(h);
}

std::uint64_t mergeLanes(std::uint64_t v1, std::uint64_t v2, std::uint64_t v3, std::uint64_t v4) {
    std::uint64_t h = rotl64(v1, 1) + rotl64(v2, 7) + rotl64(v3, 12) + rotl64(v4, 18);
    h = mergeRound(h, v1);
    h = mergeRound(h, v2);
    h = mergeRound(h, v3);
    h = mergeRound(h, v4);
    return h;
}

}  // namespace

XXHash64::XXHash64(std::uint64_t seed)
    : v1_(seed + p1 + p2), v2_(seed + p2), v3_(seed), v4_(seed - p1), seed_(seed) {}

std::size_t XXHash64::consumeStripes(const std::uint8_t* input, std::size_t length) {
    std::uint64_t a = v1_, b = v2_, c = v3_, d = v4_;
    std::size_t done = 0;
    for (; done + 32 <= length; done += 32) {
        a = round(a, read64(input + done));
        b = round(b, read64(input + done + 8));
        c = round(c, read64(input + done + 16));
        d = round(d, read64(input + done + 24));
    }
    v1_ = a, v2_ = b, v3_ = c, v4_ = d;
    return done;
}

void XXHash64::update(const void* data, std::size_t length) {
    if (length == 0 || data == nullptr) return;
    const auto* input = static_cast<const std::uint8_t*>(data);
    totalLength_ += length;
    auto* block = reinterpret_cast<std::uint8_t*>(buffer_.data());
    if (bufferedCount_ > 0) {
        const std::size_t top = std::min<std::size_t>(32 - static_cast<std::size_t>(bufferedCount_), length);
        std::memcpy(block + bufferedCount_, input, top);
        bufferedCount_ += static_cast<std::int64_t>(top);
        input += top;
        length -= top;
        if (bufferedCount_ < 32) return;
        consumeStripes(block, 32);
        bufferedCount_ = 0;
    }
    const std::size_t done = consumeStripes(input, length);
    std::memcpy(block, input + done, length - done);
    bufferedCount_ = static_cast<std::int64_t>(length - done);
}

std::uint64_t XXHash64::finalize() const {
    const std::uint64_t h = totalLength_ >= 32 ? mergeLanes(v1_, v2_, v3_, v4_) : seed_ + p5;
    return finish(h + totalLength_, reinterpret_cast<const std::uint8_t*>(buffer_.data()),
                  static_cast<std::size_t>(bufferedCount_));
}

std::uint64_t XXHash64::hash(const void* data, std::size_t length, std::uint64_t seed) {
    if (length == 0 || data == nullptr) return finish(seed + p5, nullptr, 0);
    const auto* input = static_cast<const std::uint8_t*>(data);
    if (length < 32) return finish(seed + p5 + length, input, length);
    XXHash64 state(seed);
    const std::size_t done = state.consumeStripes(input, length);
    const std::uint64_t h = mergeLanes(state.v1_, state.v2_, state.v3_, state.v4_) + length;
    return finish(h, input + done, length - done);
}

std::string XXHash64::hex(std::uint64_t value) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = digits[value & 0xF];
        value >>= 4;
    }
    return text;
}

}  // namespace halvetrop

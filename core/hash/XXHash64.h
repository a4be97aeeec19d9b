#pragma once
// XXH64: the hash the copy engine feeds while writing a file and again while reading it back.
// Values equal the published algorithm bit for bit. The lanes depend on each other serially, so
// there is one (scalar) implementation for every processor.
#include <array>
#include <cstddef>
#include <cstdint>
#include <ranges>
#include <span>
#include <string>

namespace halvetrop {

// A plain value that owns nothing; copy it freely (a copy continues independently).
class XXHash64 {
public:
    static constexpr std::uint64_t p1 = 0x9E3779B185EBCA87ULL;
    static constexpr std::uint64_t p2 = 0xC2B2AE3D27D4EB4FULL;
    static constexpr std::uint64_t p3 = 0x165667B19E3779F9ULL;
    static constexpr std::uint64_t p4 = 0x85EBCA77C2B2AE63ULL;
    static constexpr std::uint64_t p5 = 0x27D4EB2F165667C5ULL;

    explicit XXHash64(std::uint64_t seed = 0);

    // Empty input changes nothing.
    void update(const void* data, std::size_t length);
    // Any contiguous container of bytes (std::string, std::vector<std::uint8_t>, std::span<std::byte>...).
    template <std::ranges::contiguous_range R>
        requires(sizeof(std::ranges::range_value_t<R>) == 1)
    void update(const R& bytes) {
        update(std::ranges::data(bytes), std::ranges::size(bytes));
    }

    // Hash of everything fed so far; the state is unchanged.
    std::uint64_t finalize() const;
    std::uint64_t totalLength() const { return totalLength_; }

    static std::uint64_t hash(const void* data, std::size_t length, std::uint64_t seed = 0);
    // Exactly 16 lower-case hexadecimal digits, zero-padded on the left.
    static std::string hex(std::uint64_t value);

private:
    // Whole 32-byte stripes into the four lanes; returns the bytes consumed.
    std::size_t consumeStripes(const std::uint8_t* input, std::size_t length);

    std::uint64_t v1_, v2_, v3_, v4_;
    std::uint64_t totalLength_ = 0;
    std::array<std::uint64_t, 4> buffer_{};
    std::int64_t bufferedCount_ = 0;
    std::uint64_t seed_;
};

}  // namespace halvetrop

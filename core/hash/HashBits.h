#pragma once
// The byte loads and bit steps that XXH3 and XXH64 share. Internal to this folder's sources.
#include <bit>
#include <cstdint>
#include <cstring>

namespace halvetrop::hashBits {

// Little-endian loads (x86-64 and every processor this runs on is little-endian; the swap keeps
// big-endian hosts correct).
inline std::uint64_t read64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}
inline std::uint32_t read32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    return v;
}

inline std::uint64_t rotl64(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

// XXH64's final mix, which XXH3 reuses for its shortest inputs.
inline std::uint64_t xxh64Avalanche(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xC2B2AE3D27D4EB4FULL;
    h ^= h >> 29;
    h *= 0x165667B19E3779F9ULL;
    h ^= h >> 32;
    return h;
}

}  // namespace halvetrop::hashBits

#pragma once
// The reference xxHash library and the xxhsum tool, as oracles for our own hashes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace halvetrop::test {

std::uint64_t referenceXxh3(const void* data, std::size_t length);
std::uint64_t referenceXxh64(const void* data, std::size_t length, std::uint64_t seed);

// Deterministic pseudo-random bytes.
std::vector<std::uint8_t> randomBytes(std::size_t length, std::uint64_t seed);

// `xxhsum -H<algorithm>` of a file: the printed 16 hex digits, or nothing when the tool failed.
std::optional<std::string> xxhsum(int algorithm, const std::string& path);

}  // namespace halvetrop::test

#pragma once
// What the verdict and status types share: case names kept as a table in the enumeration's
// order, and the mixing step of their hashes. Internal to this folder's sources.
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace halvetrop::caseNames {

// The name of `value`, or an empty view for a value outside the table.
template <class E, std::size_t N>
std::string_view nameOf(const std::array<std::string_view, N>& names, E value) {
    const auto i = static_cast<std::size_t>(value);
    return i < N ? names[i] : std::string_view();
}

// The case named `text` exactly, or nullopt.
template <class E, std::size_t N>
std::optional<E> fromName(const std::array<std::string_view, N>& names, std::string_view text) {
    for (std::size_t i = 0; i < N; ++i)
        if (names[i] == text) return static_cast<E>(i);
    return std::nullopt;
}

inline std::size_t mix(std::size_t seed, std::size_t value) {
    return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

}  // namespace halvetrop::caseNames

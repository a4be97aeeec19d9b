#include "HashOracle.h"

#include "support/TempDir.h"

#include <xxhash.h>

#include <cctype>
#include <random>

namespace halvetrop::test {

std::uint64_t referenceXxh3(const void* data, std::size_t length) { return XXH3_64bits(data, length); }

std::uint64_t referenceXxh64(const void* data, std::size_t length, std::uint64_t seed) {
    return XXH64(data, length, seed);
}

std::vector<std::uint8_t> randomBytes(std::size_t length, std::uint64_t seed) {
    std::mt19937_64 engine(seed);
    std::vector<std::uint8_t> bytes(length);
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        const std::uint64_t v = engine();
        for (int b = 0; b < 8; ++b) bytes[i + b] = static_cast<std::uint8_t>(v >> (8 * b));
    }
    for (; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(engine());
    return bytes;
}

std::optional<std::string> xxhsum(int algorithm, const std::string& path) {
    std::string out;
    if (runShell("xxhsum -H" + std::to_string(algorithm) + " '" + path + "' 2>/dev/null", &out) != 0) return std::nullopt;
    // -H3 prints "XXH3 (file) = hex", -H1 prints "hex  file".
    std::size_t at = 0;
    if (algorithm == 3) {
        const std::size_t eq = out.rfind(" = ");
        if (eq == std::string::npos) return std::nullopt;
        at = eq + 3;
    }
    if (out.size() < at + 16) return std::nullopt;
    std::string hex = out.substr(at, 16);
    for (char c : hex) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    }
    return hex;
}

}  // namespace halvetrop::test

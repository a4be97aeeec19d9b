#include "text/Utf8.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>

namespace halvetrop {

bool isValidUtf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
    const int32_t length = static_cast<int32_t>(bytes.size());
    if (static_cast<size_t>(length) != bytes.size()) return false;
    int32_t i = 0;
    while (i < length) {
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) return false;
    }
    return true;
}

namespace {

// Walks the bytes one character at a time: `valid(offset, length)` for a well-formed character,
// `illFormed(offset, length)` for each maximal ill-formed subsequence, as ICU delimits them.
template <class Valid, class IllFormed>
void walkCharacters(std::string_view bytes, Valid valid, IllFormed illFormed) {
    const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
    const int64_t length = static_cast<int64_t>(bytes.size());
    int64_t i = 0;
    while (i < length) {
        // U8_NEXT takes int32 lengths; walk in windows so very long inputs stay correct.
        const int32_t window = static_cast<int32_t>(std::min<int64_t>(length - i, 1 << 30));
        int32_t j = 0;
        while (j < window) {
            const int32_t start = j;
            UChar32 c;
            U8_NEXT(s + i, j, window, c);
            const auto at = static_cast<size_t>(i + start), n = static_cast<size_t>(j - start);
            if (c < 0) {
                illFormed(at, n);
            } else {
                valid(at, n);
            }
        }
        i += window;
    }
}

constexpr char hexDigits[] = "0123456789ABCDEF";

void appendEscaped(std::string& out, char byte) {
    const auto b = static_cast<uint8_t>(byte);
    out.push_back('%');
    out.push_back(hexDigits[b >> 4]);
    out.push_back(hexDigits[b & 0x0F]);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string repairUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + 8);
    walkCharacters(
        bytes, [&](size_t at, size_t n) { out.append(bytes.substr(at, n)); },
        [&](size_t, size_t) { out.append("\xEF\xBF\xBD"); });
    return out;
}

std::string escapeIllFormed(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 8);
    walkCharacters(
        bytes,
        [&](size_t at, size_t n) {
            if (bytes[at] == '%') {
                appendEscaped(out, '%');
            } else {
                out.append(bytes.substr(at, n));
            }
        },
        [&](size_t at, size_t n) {
            for (char b : bytes.substr(at, n)) appendEscaped(out, b);
        });
    return out;
}

std::optional<std::string> unescapeIllFormed(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (text.size() - i < 3) return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return out;
}

}  // namespace halvetrop

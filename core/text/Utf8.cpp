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

std::string repairUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
    const int64_t length = static_cast<int64_t>(bytes.size());
    std::string out;
    out.reserve(bytes.size() + 8);
    int64_t i = 0;
    while (i < length) {
        // U8_NEXT takes int32 lengths; walk in windows so very long inputs stay correct.
        const int32_t window = static_cast<int32_t>(std::min<int64_t>(length - i, 1 << 30));
        int32_t j = 0;
        while (j < window) {
            const int32_t start = j;
            UChar32 c;
            U8_NEXT(s + i, j, window, c);
            if (c < 0) {
                out.append("\xEF\xBF\xBD");
            } else {
                out.append(reinterpret_cast<const char*>(s + i + start), static_cast<size_t>(j - start));
            }
        }
        i += window;
    }
    return out;
}

namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

void appendEscaped(std::string& out, uint8_t byte) {
    out.push_back('%');
    out.push_back(hexDigits[byte >> 4]);
    out.push_back(hexDigits[byte & 0x0F]);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string escapeIllFormed(std::string_view bytes) {
    const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
    const int64_t length = static_cast<int64_t>(bytes.size());
    std::string out;
    out.reserve(bytes.size() + 8);
    int64_t i = 0;
    while (i < length) {
        const int32_t window = static_cast<int32_t>(std::min<int64_t>(length - i, 1 << 30));
        int32_t j = 0;
        while (j < window) {
            const int32_t start = j;
            if (s[i + j] == '%') {
                appendEscaped(out, '%');
                ++j;
                continue;
            }
            UChar32 c;
            U8_NEXT(s + i, j, window, c);
            if (c < 0) {
                for (int32_t k = start; k < j; ++k) appendEscaped(out, s[i + k]);
            } else {
                out.append(reinterpret_cast<const char*>(s + i + start), static_cast<size_t>(j - start));
            }
        }
        i += window;
    }
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

#include "text/Utf8.h"

#include <unicode/utf8.h>

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

}  // namespace halvetrop

#include "capture/CaptureIdentity.h"

#include "text/Utf8.h"

#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <functional>
#include <vector>

namespace halvetrop {
namespace {

// NFC of UTF-8 text as UTF-16; nothing when ICU refuses it.
std::optional<std::u16string> nfc(const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* norm = unorm2_getNFCInstance(&status);
    if (U_FAILURE(status)) return std::nullopt;
    int32_t length = 0;
    u_strFromUTF8WithSub(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), 0xFFFD, nullptr,
                         &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::nullopt;
    status = U_ZERO_ERROR;
    std::u16string utf16(static_cast<size_t>(length), u'\0');
    u_strFromUTF8WithSub(utf16.data(), length, nullptr, text.data(), static_cast<int32_t>(text.size()), 0xFFFD,
                         nullptr, &status);
    if (U_FAILURE(status)) return std::nullopt;
    const int32_t capacity = length * 3 + 16;
    std::u16string out(static_cast<size_t>(capacity), u'\0');
    const int32_t n = unorm2_normalize(norm, utf16.data(), length, out.data(), capacity, &status);
    if (U_FAILURE(status)) return std::nullopt;
    out.resize(static_cast<size_t>(n));
    return out;
}

bool sameWhenBoth(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    return !a || !b || canonicallyEqual(*a, *b);
}

}  // namespace

bool canonicallyEqual(const std::string& a, const std::string& b) {
    if (a == b) return true;
    // ASCII text is its own normal form, so unequal ASCII texts are never equivalent.
    if (isAllAscii(a) && isAllAscii(b)) return false;
    const auto na = nfc(a), nb = nfc(b);
    return na && nb && *na == *nb;
}

bool CaptureIdentity::sameShot(const CaptureIdentity& other) const {
    if (uniqueID && other.uniqueID) return canonicallyEqual(*uniqueID, *other.uniqueID);
    return canonicallyEqual(wallClock, other.wallClock) && sameWhenBoth(model, other.model) &&
           sameWhenBoth(serial, other.serial);
}

}  // namespace halvetrop

namespace {
size_t mix(size_t seed, size_t value) { return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2)); }
size_t hashOptional(const std::optional<std::string>& s) {
    return s ? std::hash<std::string>{}(*s) : 0x51ed270b27a3c4e1ULL;
}
}  // namespace

size_t std::hash<halvetrop::CaptureIdentity>::operator()(const halvetrop::CaptureIdentity& id) const noexcept {
    size_t h = std::hash<std::string>{}(id.wallClock);
    h = mix(h, hashOptional(id.model));
    h = mix(h, hashOptional(id.serial));
    return mix(h, hashOptional(id.uniqueID));
}

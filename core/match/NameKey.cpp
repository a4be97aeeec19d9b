#include "match/NameKey.h"

#include "text/Utf8.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <stdexcept>

namespace halvetrop {
namespace {

constexpr uint64_t fnvPrime = 0x100000001b3ULL;

uint64_t fnv1a(std::string_view bytes) {
    uint64_t h = NameKey::emptyKey;
    for (unsigned char b : bytes) h = (h ^ b) * fnvPrime;
    return h;
}

// The ASCII form of the key: trimming spaces and lower-casing A-Z is exactly what composition,
// the private-use fold, case folding and trimming do to ASCII text.
uint64_t asciiKey(std::string_view bytes) {
    size_t begin = 0;
    size_t end = bytes.size();
    while (begin < end && bytes[begin] == ' ') ++begin;
    while (end > begin && bytes[end - 1] == ' ') --end;
    uint64_t h = NameKey::emptyKey;
    for (size_t i = begin; i < end; ++i) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (b >= 'A' && b <= 'Z') b |= 0x20;
        h = (h ^ b) * fnvPrime;
    }
    return h;
}

std::string normalizedUnicode(std::string_view name) {
    const std::string text = repairUtf8(name);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) throw std::runtime_error("Unicode normalization is unavailable");
    icu::UnicodeString composed = nfc->normalize(icu::UnicodeString::fromUTF8(text), status);
    if (U_FAILURE(status)) throw std::runtime_error("Unicode normalization failed");

    // The folded text is deliberately not composed again.
    icu::UnicodeString folded;
    for (int32_t i = 0; i < composed.length();) {
        const UChar32 c = composed.char32At(i);
        folded.append(static_cast<UChar32>(NameKey::sfmFold(static_cast<char32_t>(c))));
        i += U16_LENGTH(c);
    }
    folded.foldCase(U_FOLD_CASE_DEFAULT);

    int32_t begin = 0;
    int32_t end = folded.length();
    while (begin < end && folded.charAt(begin) == u' ') ++begin;
    while (end > begin && folded.charAt(end - 1) == u' ') --end;

    std::string out;
    folded.tempSubStringBetween(begin, end).toUTF8String(out);
    return out;
}

}  // namespace

char32_t NameKey::sfmFold(char32_t scalar) {
    static constexpr char32_t table[] = {U'"', U'*', U':', U'<', U'>', U'?', U'\\', U'|', U' ', U'.'};
    if (scalar >= 0xF001 && scalar <= 0xF01F) return scalar - 0xF000;
    if (scalar >= 0xF020 && scalar <= 0xF029) return table[scalar - 0xF020];
    return scalar;
}

std::string NameKey::normalized(std::string_view name) { return normalizedUnicode(name); }

uint64_t NameKey::hash(std::string_view name) {
    if (isAllAscii(name)) return asciiKey(name);
    return fnv1a(normalizedUnicode(name));
}

NameKey::RawKey NameKey::hashRaw(std::string_view rawName) {
    if (rawName.empty()) return {emptyKey, false};
    if (!isAllAscii(rawName)) return {fnv1a(normalizedUnicode(rawName)), true};
    return {asciiKey(rawName), false};
}

}  // namespace halvetrop

// Names from a backup are arbitrary bytes: the key must be computed without fault, agree between
// both entry points, and the index must keep the bytes as listed and show valid UTF-8. The same
// bytes are also read as a stored validator and root number.
//
// What a key promises is checked against its definition: FNV-1a 64 over the normalized name,
// and one key for the spellings of one name (composed or decomposed, private-use stand-ins,
// letter case of an ASCII name, spaces at either end). Normalizing is not idempotent (a ligature
// folds to letters that then compose with a following accent), so a normalized name is not
// expected to key like the name it came from.
#include "match/DestIndex.h"
#include "match/NameKey.h"
#include "text/Utf8.h"

#include <nlohmann/json.hpp>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using halvetrop::NameKey;

uint64_t fnv1a(std::string_view bytes) {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char b : bytes) h = (h ^ b) * 0x100000001b3ULL;
    return h;
}

std::string canonical(const std::string& text, bool compose) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* form =
        compose ? icu::Normalizer2::getNFCInstance(status) : icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status)) __builtin_trap();
    const icu::UnicodeString out = form->normalize(icu::UnicodeString::fromUTF8(text), status);
    if (U_FAILURE(status)) __builtin_trap();
    std::string bytes;
    out.toUTF8String(bytes);
    return bytes;
}

// The text with characters that file servers replace by private-use scalars replaced so. "<" and
// ">" compose with a following U+0338 where their stand-ins do not (the fold comes after
// composition), so they are replaced only in a name without such marks: an ASCII one.
std::string withStandIns(std::string_view text, bool ascii) {
    static constexpr std::string_view standsFor = "\"*:<>?\\| .";
    std::string out;
    for (char c : text) {
        const size_t at = standsFor.find(c);
        const auto b = static_cast<unsigned char>(c);
        char32_t scalar = 0;
        if (at != std::string_view::npos && (ascii || (c != '<' && c != '>'))) scalar = 0xF020 + char32_t(at);
        if (b >= 0x01 && b <= 0x1F) scalar = 0xF000 + b;
        if (scalar == 0) {
            out += c;
            continue;
        }
        out += char(0xE0 | (scalar >> 12));
        out += char(0x80 | ((scalar >> 6) & 0x3F));
        out += char(0x80 | (scalar & 0x3F));
    }
    return out;
}

void checkKeys(std::string_view bytes) {
    const NameKey::RawKey raw = NameKey::hashRaw(bytes);
    bool high = false;
    for (unsigned char b : bytes) high = high || b >= 0x80;
    if (raw.nonASCII != high) __builtin_trap();
    const uint64_t key = NameKey::hash(bytes);
    if (raw.hash != key || NameKey::hash(bytes) != key) __builtin_trap();

    // The key is FNV-1a over the normalized name, also where the ASCII path skips normalizing.
    const std::string normalized = NameKey::normalized(bytes);
    if (!halvetrop::isValidUtf8(normalized) || fnv1a(normalized) != key) __builtin_trap();
    if (!normalized.empty() && (normalized.front() == ' ' || normalized.back() == ' ')) __builtin_trap();

    const std::string text = halvetrop::repairUtf8(bytes);
    if (NameKey::hash(text) != key || NameKey::hashRaw(text).hash != key) __builtin_trap();
    if (NameKey::hash(" " + text + "  ") != key) __builtin_trap();
    if (NameKey::hash(canonical(text, false)) != key || NameKey::hash(canonical(text, true)) != key) __builtin_trap();
    if (NameKey::hash(withStandIns(text, !high)) != key) __builtin_trap();
    if (!high) {
        std::string upper(bytes), lower(bytes);
        for (char& c : upper) c = (c >= 'a' && c <= 'z') ? char(c - 0x20) : c;
        for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? char(c | 0x20) : c;
        if (NameKey::hashRaw(upper).hash != key || NameKey::hash(lower) != key) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace halvetrop;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    checkKeys(bytes);
    const NameKey::RawKey raw = NameKey::hashRaw(bytes);

    if (size <= DestIndex::maxNameBytes) {
        DestIndex ix;
        const uint32_t root = ix.appendDir("root", std::nullopt, RootID{0}, 0, 0);
        const uint32_t dir = ix.appendDir(bytes, root, RootID{0}, 0, 0);
        const uint32_t row = ix.appendFile(bytes, dir, 1, 0, 0, 0, 0, EntryFlags{}, 0);
        ix.buildMaps();
        if (ix.rawName(row) != bytes || ix.nameKey()[row] != raw.hash) __builtin_trap();
        if (!isValidUtf8(ix.name(row)) || !isValidUtf8(ix.relativePath(row))) __builtin_trap();
        if (ix.rowsOfNameKey(raw.hash, 1).size() != 1) __builtin_trap();
    }

    const auto json = nlohmann::json::parse(bytes, nullptr, false);
    if (!json.is_discarded()) {
        try {
            (void)json.get<Validator>();
        } catch (const std::exception&) {
        }
        try {
            (void)json.get<RootID>();
        } catch (const std::exception&) {
        }
    }
    return 0;
}

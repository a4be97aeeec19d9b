#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace halvetrop {

// One 64-bit key per file or folder name, equal for the spellings one name comes back as from
// different file systems and copy tools: composed or decomposed accents, the private-use code
// points file servers put in place of characters Windows names cannot hold, letter case, and
// spaces at either end. The matching core compares names only through these keys.
//
// All functions are pure and may be called from any thread at once.
struct NameKey {
    // The key of the empty name and of a name made only of spaces (FNV-1a 64 offset basis).
    static constexpr uint64_t emptyKey = 0xcbf29ce484222325ULL;

    struct RawKey {
        uint64_t hash = emptyKey;
        bool nonASCII = false;  // some byte was 0x80 or above
        bool operator==(const RawKey&) const = default;
    };

    // The name after composition (NFC), the private-use fold, full case folding without a
    // locale and trimming of U+0020 at both ends. Bytes that are not UTF-8 are first repaired
    // to U+FFFD, so any byte string has a normalized form.
    static std::string normalized(std::string_view name);

    // FNV-1a 64 over the UTF-8 bytes of normalized(name).
    static uint64_t hash(std::string_view name);

    // The key of a name as the directory listing returned it. Equals hash() of the same bytes;
    // names made only of ASCII bytes are hashed in place without allocating.
    static RawKey hashRaw(std::string_view rawName);

    // The private-use fold of one scalar: U+F001..U+F01F to U+0001..U+001F, U+F020..U+F029 to
    // the characters they stand in for, everything else (U+F000 included) unchanged.
    static char32_t sfmFold(char32_t scalar);
};

}  // namespace halvetrop

#include "match/NameKey.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace halvetrop;

namespace {

// FNV-1a 64 as published, the oracle for the key of a normalized name.
uint64_t fnv1a64(std::string_view bytes) {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char b : bytes) {
        h ^= b;
        h *= 0x100000001b3ULL;
    }
    return h;
}

std::string str(std::string_view s) { return std::string(s); }

}  // namespace

TEST(NameKey, KeyIsFnv1aOfTheNormalizedName) {
    // Published FNV-1a 64 vectors: lower-case ASCII names normalize to themselves.
    EXPECT_EQ(NameKey::hash(""), 0xcbf29ce484222325ULL);
    EXPECT_EQ(NameKey::hash("a"), 0xaf63dc4c8601ec8cULL);
    EXPECT_EQ(NameKey::hash("foobar"), 0x85944171f73967e8ULL);
    EXPECT_EQ(NameKey::emptyKey, 0xcbf29ce484222325ULL);
    for (std::string name : {"IMG_0001.JPG", "Stra\xC3\x9F" "e.ARW", " caf\x65\xCC\x81 ", "a\xEF\x80\xA2" "b"}) {
        EXPECT_EQ(NameKey::hash(name), fnv1a64(NameKey::normalized(name))) << name;
    }
}

TEST(NameKey, SpellingsOfOneNameShareAKey) {
    const std::vector<std::vector<std::string>> groups = {
        {"IMG_0001.JPG", "img_0001.jpg", " IMG_0001.JPG ", "Img_0001.Jpg"},
        {"caf\xC3\xA9.jpg", "cafe\xCC\x81.jpg", "CAF\xC3\x89.JPG", "CAFE\xCC\x81.JPG"},  // NFC, NFD, upper case
        {"a\xEF\x80\xA2" "b", "a:b", "A:B"},                                         // U+F022 stands for ':'
        {"x\xEF\x80\xA8", "x", "X "},                                                 // U+F028 is a space, then trimmed
        {"x\xEF\x80\xA9", "x."},                                                      // U+F029 is a full stop, kept
        {"\xEF\x80\x81", "\x01"},                                                     // U+F001 -> U+0001
        {"a\xEF\x80\xA0\xEF\x80\xA1\xEF\x80\xA3\xEF\x80\xA4\xEF\x80\xA5\xEF\x80\xA6\xEF\x80\xA7",
         "a\"*<>?\\|"},
        {"Stra\xC3\x9F" "e", "STRASSE", "strasse"},   // full folding: sharp s is "ss"
        {"\xEF\xAC\x81" "le.raw", "FILE.RAW"},        // U+FB01 ligature folds to "fi"
        {"\xE2\x84\xAA" "elvin", "kelvin"},           // KELVIN SIGN folds to k
        {"\xCE\xA3\xCE\xB1", "\xCF\x83\xCE\xB1", "\xCF\x82\xCE\xB1"},  // capital, small and final sigma
        {"", " ", "   ", "\xEF\x80\xA8"},             // only spaces (a folded U+F028 too) is the empty name
        {"\xFF", "\xC3", "\xEF\xBF\xBD"},             // every lone bad byte repairs to U+FFFD
    };
    for (const auto& group : groups) {
        for (const auto& name : group) {
            EXPECT_EQ(NameKey::hash(name), NameKey::hash(group[0])) << "'" << name << "' vs '" << group[0] << "'";
            EXPECT_EQ(NameKey::hashRaw(name).hash, NameKey::hash(group[0])) << name;
        }
    }
    EXPECT_EQ(NameKey::hash("   "), NameKey::emptyKey);
}

TEST(NameKey, DifferentNamesKeepDifferentKeys) {
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {str("a\xEF\x80\x80"), str(std::string_view("a\0", 2))},  // U+F000 is not folded
        {"name\t", "name"},                                      // only U+0020 is trimmed
        {"name\xC2\xA0", "name"},                                // no-break space stays
        {"\xE3\x80\x80name", "name"},                            // ideographic space stays
        {"caf\xC3\xA9", "cafe"},                                 // diacritics are not folded
        {"\xEF\xBC\xA1", "a"},                                   // fullwidth A folds to fullwidth a, not a
        {"\xC4\xB0", "i"},                                       // dotted capital I: no Turkish rule without a locale
        {"a b", "ab"},                                           // inner spaces stay
        {"x\xEF\x80\xA9", "x"},                                  // a trailing folded full stop is not trimmed
        {"\xFF\xFF", "\xFF"},                                    // two bad bytes, two replacements
    };
    for (const auto& [a, b] : pairs) EXPECT_NE(NameKey::hash(a), NameKey::hash(b)) << a << " | " << b;
}

TEST(NameKey, NormalizedText) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"  DSC00001.ARW  ", "dsc00001.arw"},
        {"Stra\xC3\x9F" "e", "strasse"},
        {"CAFE\xCC\x81", "caf\xC3\xA9"},                    // composed, then folded
        {" \xEF\x80\xA8" "a\xEF\x80\xA8 ", "a"},           // folded spaces are trimmed at both ends
        {"a\xEF\x80\xA2" "b\xEF\x80\xA9", "a:b."},
        {"\tA\t", "\ta\t"},
        {"a\xEF\x80\x80", "a\xEF\x80\x80"},
        {"x\xFFy", "x\xEF\xBF\xBDy"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(NameKey::normalized(in), out) << in;
}

TEST(NameKey, PrivateUseFoldTable) {
    const std::vector<std::pair<char32_t, char32_t>> cases = {
        {0xF000, 0xF000}, {0xF001, 0x0001}, {0xF00A, 0x000A}, {0xF01F, 0x001F}, {0xF020, U'"'},
        {0xF021, U'*'},   {0xF022, U':'},   {0xF023, U'<'},   {0xF024, U'>'},   {0xF025, U'?'},
        {0xF026, U'\\'},  {0xF027, U'|'},   {0xF028, U' '},   {0xF029, U'.'},   {0xF02A, 0xF02A},
        {0xEFFF, 0xEFFF}, {U'a', U'a'},     {0x1F4F7, 0x1F4F7},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(NameKey::sfmFold(in), out) << std::hex << uint32_t(in);
}

TEST(NameKey, RawBytes) {
    struct Case {
        std::string bytes;
        std::string sameKeyAs;
        bool nonASCII;
    };
    const std::vector<Case> cases = {
        {"", "", false},
        {"   ", "", false},
        {"A\xFF", "a\xEF\xBF\xBD", true},
        {" IMG_0001.JPG ", "img_0001.jpg", false},
        {"CAFE\xCC\x81", "caf\xC3\xA9", true},
        {"caf\xE9.jpg", "caf\xEF\xBF\xBD.jpg", true},  // Latin-1 bytes are not UTF-8
    };
    for (const auto& c : cases) {
        const auto key = NameKey::hashRaw(c.bytes);
        EXPECT_EQ(key.nonASCII, c.nonASCII) << c.bytes;
        EXPECT_EQ(key.hash, NameKey::hash(c.sameKeyAs)) << c.bytes;
    }
    EXPECT_EQ(NameKey::hashRaw(std::string_view()), (NameKey::RawKey{NameKey::emptyKey, false}));
}

// The in-place ASCII path must agree with composition, folding and trimming done by ICU.
TEST(NameKey, BothEntryPointsAgreeOnRandomNames) {
    std::mt19937_64 rng(20261207);
    for (int i = 0; i < 20000; ++i) {
        std::string name(rng() % 12, '\0');
        const bool ascii = i % 2 == 0;
        for (char& ch : name) {
            const uint64_t pick = rng() % 8;
            if (pick == 0) ch = ' ';
            else if (ascii || pick < 6) ch = static_cast<char>(rng() % 128);
            else ch = static_cast<char>(0x80 + rng() % 128);
        }
        const auto raw = NameKey::hashRaw(name);
        const uint64_t viaText = fnv1a64(NameKey::normalized(name));
        ASSERT_EQ(raw.hash, viaText) << i;
        ASSERT_EQ(NameKey::hash(name), viaText) << i;
        bool high = false;
        for (unsigned char b : name) high = high || b >= 0x80;
        ASSERT_EQ(raw.nonASCII, high);
    }
}

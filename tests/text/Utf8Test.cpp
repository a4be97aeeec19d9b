#include "text/Utf8.h"

#include <gtest/gtest.h>

using namespace halvetrop;

TEST(Utf8, ValidTextIsKeptByteForByte) {
    for (std::string s : {std::string(""), std::string("DSC00001.ARW"), std::string("caf\xC3\xA9"),
                          std::string("\xF0\x9F\x93\xB7 photo"), std::string("a\0b", 3)}) {
        EXPECT_TRUE(isValidUtf8(s)) << s;
        EXPECT_EQ(repairUtf8(s), s);
    }
}

TEST(Utf8, IllFormedSequencesBecomeReplacementCharacters) {
    const std::string fffd = "\xEF\xBF\xBD";
    struct Case { std::string in, out; } cases[] = {
        {"\xFF", fffd},
        {"a\xC3", "a" + fffd},                 // truncated two-byte sequence at the end
        {"\xC3" "a", fffd + "a"},              // lead byte followed by ASCII
        {"\xC0\xAF", fffd + fffd},             // overlong slash
        {"\xED\xA0\x80", fffd + fffd + fffd},  // a surrogate encoded in UTF-8
        {"latin1 caf\xE9.jpg", "latin1 caf" + fffd + ".jpg"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(isValidUtf8(c.in));
        std::string repaired = repairUtf8(c.in);
        EXPECT_EQ(repaired, c.out);
        EXPECT_TRUE(isValidUtf8(repaired));
    }
}

TEST(Utf8, AsciiIsTextWithoutAnyByteAbove127) {
    const struct {
        std::string text;
        bool ascii;
    } cases[] = {
        {"", true},
        {"DSC00001.ARW", true},
        {std::string("a\0\x7F", 3), true},
        {"caf\xC3\xA9", false},      // valid UTF-8, not ASCII
        {"\x80", false},             // a lone continuation byte
        {"name\xFF", false},         // never valid UTF-8
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isAllAscii(c.text), c.ascii) << c.text;
        if (c.ascii) {
            EXPECT_TRUE(isValidUtf8(c.text)) << c.text;
        }
    }
}

TEST(Utf8, EscapingKeepsEveryByteInReadableValidText) {
    const struct {
        std::string bytes, escaped;
    } cases[] = {
        {"", ""},
        {"DCIM/100CANON/IMG_0001.JPG", "DCIM/100CANON/IMG_0001.JPG"},
        {"caf\xC3\xA9 \xF0\x9F\x93\xB7", "caf\xC3\xA9 \xF0\x9F\x93\xB7"},  // well-formed stays as it is
        {"IMG_\xFF" "01.JPG", "IMG_%FF01.JPG"},
        {"IMG_\xEF\xBF\xBD" "01.JPG", "IMG_\xEF\xBF\xBD" "01.JPG"},  // a real U+FFFD is no escape
        {"100%", "100%25"},
        {"%FF\xFF", "%25FF%FF"},  // a "%" in the name never reads as an escape
        {"a\xE2\x82" "b", "a%E2%82b"},      // truncated sequence: each of its bytes
        {"\xC0\xAF", "%C0%AF"},             // overlong slash
        {"\xED\xA0\x80", "%ED%A0%80"},      // a surrogate encoded in UTF-8
        {"\xF4\x90\x80\x80", "%F4%90%80%80"},  // past U+10FFFF
        {"latin1 caf\xE9.jpg", "latin1 caf%E9.jpg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.escaped);
        const std::string escaped = escapeIllFormed(c.bytes);
        EXPECT_EQ(escaped, c.escaped);
        EXPECT_TRUE(isValidUtf8(escaped));
        EXPECT_EQ(unescapeIllFormed(escaped), c.bytes);
    }
}

TEST(Utf8, EveryPairOfBytesSurvivesEscaping) {
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const std::string bytes{static_cast<char>(a), static_cast<char>(b)};
            const std::string escaped = escapeIllFormed(bytes);
            ASSERT_TRUE(isValidUtf8(escaped)) << a << " " << b;
            ASSERT_EQ(unescapeIllFormed(escaped), bytes) << a << " " << b;
        }
    }
}

TEST(Utf8, UnescapingRefusesAPercentWithoutTwoHexDigits) {
    for (std::string text : {"%", "a%", "%F", "IMG_%F.JPG", "%G0", "%0G", "%%41", "100% sure"}) {
        EXPECT_EQ(unescapeIllFormed(text), std::nullopt) << text;
    }
    EXPECT_EQ(unescapeIllFormed("IMG_%ff01.jpg"), "IMG_\xFF" "01.jpg");  // either case of digit
}

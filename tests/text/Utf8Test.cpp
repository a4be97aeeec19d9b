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

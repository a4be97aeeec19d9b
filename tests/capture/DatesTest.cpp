#include "text/Dates.h"

#include "ZoneGuard.h"

#include <gtest/gtest.h>

namespace halvetrop {
namespace {

using test::kNsPerSecond;
using test::ZoneGuard;

constexpr DateFormatter wallUtc(DatePattern::wall, DateZone::utc);
constexpr DateFormatter wallLocal(DatePattern::wall, DateZone::local);
constexpr DateFormatter dayUtc(DatePattern::day, DateZone::utc);
constexpr DateFormatter dayLocal(DatePattern::day, DateZone::local);

TEST(DateFormatter, ParsesOnlyTheExactPatternWithFieldsInRange) {
    struct Case {
        const char* text;
        std::optional<int64_t> seconds;
    };
    const Case cases[] = {
        {"2024:05:03 14:22:10", 1714746130},
        {"2000:02:29 00:00:00", 951782400},   // leap year by the 400 rule
        {"1969:12:31 23:59:59", -1},
        {"2100:02:29 00:00:00", std::nullopt},  // not a leap year
        {"2023:02:29 00:00:00", std::nullopt},
        {"2024:04:31 00:00:00", std::nullopt},
        {"2024:13:01 00:00:00", std::nullopt},
        {"2024:00:10 00:00:00", std::nullopt},
        {"2024:05:00 00:00:00", std::nullopt},
        {"0000:00:00 00:00:00", std::nullopt},
        {"2024:05:03 24:00:00", std::nullopt},
        {"2024:05:03 23:60:00", std::nullopt},
        {"2024:05:03 23:59:60", std::nullopt},
        {"2024-05-03 14:22:10", std::nullopt},  // day separators of the other pattern
        {"2024:05:03T14:22:10", std::nullopt},
        {"2024:05:03 14:22:1", std::nullopt},
        {"2024:05:03 14:22:10 ", std::nullopt},
        {" 2024:05:03 14:22:1", std::nullopt},
        {"2024:05:03 14:22:+1", std::nullopt},
        {"2024:5:03 014:22:10", std::nullopt},
        {"\xef\xbc\x92" "024:05:03 14:22:1", std::nullopt},  // a full-width digit is not ASCII
        {"", std::nullopt},
        {"9999:12:31 23:59:59", std::nullopt},  // beyond 64-bit nanoseconds
        {"2262:04:11 23:47:16", 9223372036},
        {"1677:09:21 00:12:44", -9223372036},
    };
    for (const Case& c : cases) {
        const auto got = wallUtc.parse(c.text);
        if (c.seconds) {
            ASSERT_TRUE(got.has_value()) << c.text;
            EXPECT_EQ(*got, *c.seconds * kNsPerSecond) << c.text;
        } else {
            EXPECT_FALSE(got.has_value()) << c.text;
        }
    }
}

TEST(DateFormatter, DayPatternHasTenCharactersWithDashes) {
    EXPECT_EQ(dayUtc.parse("2024-05-03"), 1714694400 * kNsPerSecond);
    EXPECT_FALSE(dayUtc.parse("2024:05:03").has_value());
    EXPECT_FALSE(dayUtc.parse("2024-05-03 ").has_value());
    EXPECT_FALSE(dayUtc.parse("2024-02-30").has_value());
    EXPECT_EQ(dayUtc.format(1714746130 * kNsPerSecond), "2024-05-03");
}

TEST(DateFormatter, FormatsWithZeroPaddingAndFloorsSubSeconds) {
    EXPECT_EQ(wallUtc.format(1714746130 * kNsPerSecond + 999'999'999), "2024:05:03 14:22:10");
    EXPECT_EQ(wallUtc.format(-1), "1969:12:31 23:59:59");  // one nanosecond before 1970
    EXPECT_EQ(wallUtc.format(0), "1970:01:01 00:00:00");
    EXPECT_EQ(wallUtc.format(-9223372036LL * kNsPerSecond), "1677:09:21 00:12:44");
    for (int64_t s : {0LL, 951782400LL, 1714746130LL, 4102444799LL, -86400LL * 365 * 50}) {
        EXPECT_EQ(wallUtc.parse(wallUtc.format(s * kNsPerSecond)), s * kNsPerSecond) << s;
    }
}

// Wall times around the clock changes of four zones: a time that never happened reads as no
// instant; one that happened twice reads as the later instant; a plain time reads normally.
TEST(DateFormatter, LocalWallTimesAcrossDaylightSavingChanges) {
    struct Case {
        const char* zone;
        const char* wall;
        std::optional<int64_t> utcSeconds;
    };
    const Case cases[] = {
        {"America/New_York", "2024:03:10 02:30:00", std::nullopt},  // spring gap
        {"America/New_York", "2024:03:10 03:30:00", 1710055800},
        {"America/New_York", "2024:11:03 01:30:00", 1730615400},    // 01:30 EST, not EDT
        {"America/New_York", "2024:01:15 00:00:00", 1705294800},
        {"Europe/Berlin", "2024:03:31 02:30:00", std::nullopt},
        {"Europe/Berlin", "2024:03:31 03:30:00", 1711848600},
        {"Europe/Berlin", "2024:10:27 02:30:00", 1729992600},       // 02:30 CET
        {"Australia/Sydney", "2024:04:07 02:30:00", 1712421000},    // 02:30 AEST
        {"Australia/Sydney", "2024:10:06 02:30:00", std::nullopt},
        {"Australia/Lord_Howe", "2024:04:07 01:45:00", 1712416500},  // half-hour change
        {"Australia/Lord_Howe", "2024:10:06 02:15:00", std::nullopt},
        {"UTC", "2024:03:10 02:30:00", 1710037800},
    };
    for (const Case& c : cases) {
        ZoneGuard zone(c.zone);
        const auto got = wallLocal.parse(c.wall);
        if (c.utcSeconds) {
            ASSERT_TRUE(got.has_value()) << c.zone << " " << c.wall;
            EXPECT_EQ(*got, *c.utcSeconds * kNsPerSecond) << c.zone << " " << c.wall;
            EXPECT_EQ(wallLocal.format(*got), c.wall) << c.zone;
        } else {
            EXPECT_FALSE(got.has_value()) << c.zone << " " << c.wall;
        }
    }
}

TEST(DateFormatter, LocalFormattingUsesTheZone) {
    {
        ZoneGuard zone("Asia/Tokyo");
        EXPECT_EQ(wallLocal.format(1714746130 * kNsPerSecond), "2024:05:03 23:22:10");
        EXPECT_EQ(dayLocal.format(1714746130 * kNsPerSecond + 3600 * kNsPerSecond), "2024-05-04");
    }
    {
        ZoneGuard zone("America/Los_Angeles");
        EXPECT_EQ(wallLocal.format(1714746130 * kNsPerSecond), "2024:05:03 07:22:10");
        EXPECT_EQ(dayLocal.parse("2024-05-03"), (1714694400 + 7 * 3600) * kNsPerSecond);
    }
}

TEST(FirstCharacters, CountsUserPerceivedCharactersNotBytes) {
    struct Case {
        std::string text;
        size_t count;
        std::string expected;
    };
    const Case cases[] = {
        {"2024:05:03 14:22:10.45", 19, "2024:05:03 14:22:10"},
        {"short", 19, "short"},
        {"", 3, ""},
        {"e\xcc\x81" "abc", 1, "e\xcc\x81"},                 // e + combining acute is one character
        {"abcdef\xcc\x81" "g", 6, "abcdef\xcc\x81"},        // the mark after the cut joins the last one
        {"\xc3\xa9t\xc3\xa9", 2, "\xc3\xa9t"},
        {"\xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd!", 1, "\xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd"},  // emoji with skin tone
        {"a\r\nb", 2, "a\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(firstCharacters(c.text, c.count), c.expected) << c.text;
    EXPECT_EQ(characterCount("2024:05:03"), 10u);
    EXPECT_EQ(characterCount("e\xcc\x81t\xc3\xa9"), 3u);
    EXPECT_EQ(characterCount("a\r\nb"), 3u);
    // A broken byte is one character, and never lost from the cut.
    EXPECT_EQ(characterCount("ab\xff" "c"), 4u);
    EXPECT_EQ(firstCharacters("ab\xff" "cd", 4), "ab\xff" "c");
}

}  // namespace
}  // namespace halvetrop

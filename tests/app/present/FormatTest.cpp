#include <gtest/gtest.h>

#include "present/Format.h"
#include "present/Paths.h"

#include <set>

namespace halvetrop::present {
namespace {

const QLocale us("en_US");
const QLocale de("de_DE");

TEST(Format, ByteCounts) {
    struct Row {
        int64_t bytes;
        const char* us;
        const char* de;
    };
    const Row rows[] = {
        {0, "Zero KB", "Zero KB"},
        {1, "1 byte", "1 byte"},
        {999, "999 bytes", "999 bytes"},
        {1000, "1 KB", "1 KB"},
        {1499, "1 KB", "1 KB"},
        {1500, "2 KB", "2 KB"},
        {999'499, "999 KB", "999 KB"},
        {999'999, "1 MB", "1 MB"},
        {1'500'000, "1.5 MB", "1,5 MB"},
        {1'000'000'000, "1 GB", "1 GB"},
        {64'020'000'000, "64.02 GB", "64,02 GB"},
        {64'025'000'000, "64.03 GB", "64,03 GB"},
        {2'100'000'000'000, "2.1 TB", "2,1 TB"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(byteCount(row.bytes, us).toStdString(), row.us) << row.bytes;
        EXPECT_EQ(byteCount(row.bytes, de).toStdString(), row.de) << row.bytes;
    }
    EXPECT_EQ(count(1234567, us).toStdString(), "1,234,567");
}

// A count and its word agree: the singular for exactly one, the plural for none and for many.
TEST(Format, CountedWordsAgree) {
    const std::tuple<int64_t, const char*, const char*> rows[] = {{0, "0 files", "0 shoots"},
                                                                  {1, "1 file", "1 shoot"},
                                                                  {2, "2 files", "2 shoots"},
                                                                  {1234, "1,234 files", "1,234 shoots"}};
    for (const auto& [n, files, shoots] : rows) {
        EXPECT_EQ(fileCount(n, us).toStdString(), files);
        EXPECT_EQ(counted(n, QStringLiteral("shoot"), QStringLiteral("shoots"), us).toStdString(), shoots);
    }
    EXPECT_EQ(agree(-1, QStringLiteral("is"), QStringLiteral("are")).toStdString(), "are");
    // Lists are English sentences' lists: with "and" in an English locale, also where the locale
    // has no words (C) or other ones.
    const QStringList two{QStringLiteral("photos"), QStringLiteral("videos")};
    const QStringList three{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
    for (const QLocale& locale : {us, QLocale::c(), de}) {
        EXPECT_EQ(listText(two, locale).toStdString(), "photos and videos");
        EXPECT_EQ(listText(three, locale).toStdString(), "A, B, and C");
        EXPECT_EQ(listText({QStringLiteral("A")}, locale).toStdString(), "A");
    }
    EXPECT_EQ(listText(three, QLocale("en_GB")).toStdString(), "A, B and C");
    EXPECT_EQ(quoted(QStringLiteral("CARD")).toStdString(), "\u201cCARD\u201d");
}

TEST(Format, DaysAreCalendarDatesInEveryZone) {
    // The test runs in a zone west of UTC: a day formatted at midnight UTC would show the day before.
    EXPECT_EQ(shortDay("2025-03-01", us).toStdString(), "Mar 1, 2025");
    EXPECT_EQ(longDay("2025-03-01", us).toStdString(), "Saturday, March 1, 2025");
    for (const char* bad : {"2025-3-1", "2025-02-30", "yesterday", ""})
        EXPECT_EQ(shortDay(bad, us).toStdString(), bad);
}

// Said in the application's English sentences ("Checked 3 minutes ago."), a relative date is
// English under a locale of another language too, as a list is.
TEST(Format, RelativeDates) {
    const TimeNs now = TimeNs(1'750'000'000) * 1'000'000'000;
    const TimeNs s = 1'000'000'000;
    struct Row {
        TimeNs age;
        UnitStyle style;
        const char* text;
    };
    const Row rows[] = {
        {5 * s, UnitStyle::wide, "now"},
        {3 * 60 * s, UnitStyle::wide, "3 minutes ago"},
        {86400 * s + 60 * s, UnitStyle::wide, "yesterday"},
        {3 * 3600 * s, UnitStyle::abbreviated, "3 hr. ago"},
        {400 * 86400 * s, UnitStyle::wide, "last year"},
    };
    for (const QLocale& locale : {us, QLocale("de_DE"), QLocale("ar_EG"), QLocale::c()})
        for (const auto& row : rows)
            EXPECT_EQ(relativeDate(now - row.age, now, row.style, locale).toStdString(), row.text)
                << locale.name().toStdString() << " " << row.text;
    EXPECT_EQ(relativeDate(now - 3 * 3600 * s, now, UnitStyle::abbreviated, QLocale("en_GB")).toStdString(),
              "3 hr ago");
}

// The wait before a relative date is looked at again ends exactly where its text changes: the same
// text until then, another one at that instant.
TEST(Format, RelativeDatesChangeWhenTheWaitEnds) {
    const TimeNs then = TimeNs(1'750'000'000) * 1'000'000'000;
    const TimeNs s = 1'000'000'000;
    const TimeNs ages[] = {0,         59 * s,        61 * s,         3599 * s + s / 2, 2 * 3600 * s + 600 * s,
                           86399 * s, 6 * 86400 * s, 29 * 86400 * s, 364 * 86400 * s,  400 * 86400 * s};
    for (TimeNs age : ages) {
        const TimeNs now = then + age;
        const TimeNs wait = untilRelativeChange(then, now);
        ASSERT_GT(wait, 0) << age / s;
        for (UnitStyle style : {UnitStyle::wide, UnitStyle::abbreviated}) {
            const QString text = relativeDate(then, now, style, us);
            EXPECT_EQ(relativeDate(then, now + wait - 1, style, us), text) << age / s;
            EXPECT_NE(relativeDate(then, now + wait, style, us), text) << age / s;
        }
    }
    // A time ahead of the clock is looked at again within a minute.
    EXPECT_EQ(untilRelativeChange(then + 5 * s, then), 60 * s);
}

TEST(Format, DisplayTextReplacesControlsAndBrokenBytes) {
    EXPECT_EQ(displayText("a\tb\x01").toStdString(),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
    EXPECT_EQ(displayText("caf\xC3").toStdString(), "caf\xEF\xBF\xBD");
    EXPECT_EQ(displayText("<b>x</b>").toStdString(), "<b>x</b>");
}

}  // namespace
}  // namespace halvetrop::present

namespace halvetrop::present {
namespace {

// Paths travel to the views and back without losing a byte: as keys, and as file URLs through
// the URL's own text, as a view would pass one on.
TEST(Paths, KeysAndUrlsKeepEveryByte) {
    const std::string paths[] = {
        "/media/u/CARD/DCIM/IMG_0001.JPG",
        "/media/u/CARD/DCIM/IMG_\xff"
        "01.JPG",
        "/media/u/CARD/DCIM/IMG_\xef\xbf\xbd"
        "01.JPG",  // the look-alike with a real U+FFFD
        "/media/u/100% #1?/a b\xe2\x82",
        "/media/u/%FF",  // a name that reads like an escape
    };
    std::set<QString> keys;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const QString key = pathKey(path);
        keys.insert(key);
        EXPECT_EQ(pathOfKey(key), path);
        const QUrl url = fileUrl(path);
        EXPECT_TRUE(url.isValid() && url.isLocalFile());
        EXPECT_EQ(localPath(url), path);
        EXPECT_EQ(localPath(QUrl(url.toString())), path);
        EXPECT_EQ(localPath(QUrl(url.toString(QUrl::FullyEncoded))), path);
    }
    EXPECT_EQ(keys.size(), std::size(paths));
    EXPECT_EQ(pathKey("DCIM/100CANON"), QStringLiteral("DCIM/100CANON"));  // a plain path is its key
    EXPECT_EQ(pathOfKey(QStringLiteral("DCIM/%F")), std::nullopt);
    EXPECT_EQ(localPath(QUrl(QStringLiteral("https://example.com/a"))), std::nullopt);
}

}  // namespace
}  // namespace halvetrop::present

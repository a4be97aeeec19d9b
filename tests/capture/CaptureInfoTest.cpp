#include "capture/CaptureInfo.h"
#include "capture/CaptureReader.h"

#include "ZoneGuard.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace halvetrop {
namespace {

using test::kNsPerSecond;
using test::ZoneGuard;

TEST(DateSource, RawValuesBothWays) {
    const std::pair<DateSource, const char*> cases[] = {
        {DateSource::exif, "exif"},
        {DateSource::sonyClipXML, "sonyClipXML"},
        {DateSource::quickTime, "quickTime"},
        {DateSource::sonyDateFolder, "sonyDateFolder"},
        {DateSource::fileModified, "fileModified"},
    };
    for (const auto& [source, raw] : cases) {
        EXPECT_EQ(rawValue(source), raw);
        EXPECT_EQ(dateSourceFromRaw(raw), source);
        EXPECT_EQ(fromRawValue<DateSource>(raw), source);
    }
    for (const char* bad : {"Exif", "", "sonyclipxml", "exif ", "unknown"}) EXPECT_FALSE(dateSourceFromRaw(bad)) << bad;
}

TEST(Zone, ReadsSignHoursAndMinutesOfSixCharacters) {
    const std::pair<const char*, std::optional<int32_t>> cases[] = {
        {"+09:00", 32400},
        {" -05:30 ", -19800},
        {"\t+00:00\t", 0},
        {"+0900", std::nullopt},
        {"Z", std::nullopt},
        {"+09x00", 32400},     // the separator is not examined
        {"+99:99", 99 * 3600 + 99 * 60},  // nor is either part range-limited
        {"09:00 ", std::nullopt},
        {"*09:00", std::nullopt},
        {"+0a:00", std::nullopt},
        {"+09:0 ", std::nullopt},  // inner space: the minutes do not read
        {"+09:000", std::nullopt},
        {"", std::nullopt},
        {"+09\xc2\xb7" "00", 32400},  // a non-ASCII separator is still one character
        {"+\xef\xbc\x99" "9:00", std::nullopt},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(CaptureReader::zone(text), expected) << '"' << text << '"';
}

CaptureInfo record(DateSource source, std::optional<std::string> wall, std::optional<TimeNs> date = std::nullopt) {
    CaptureInfo info;
    info.source = source;
    info.wallClock = std::move(wall);
    info.date = date;
    return info;
}

TEST(CaptureInfo, DayComesFromTheWallClockFirst) {
    ZoneGuard zone("Asia/Tokyo");
    const TimeNs lateUtc = 1714746130 * kNsPerSecond;  // 2024-05-03 14:22:10 UTC, 23:22 in Tokyo
    EXPECT_EQ(record(DateSource::exif, "0000:00:00 00:00:00").day(), "0000-00-00");
    EXPECT_EQ(record(DateSource::exif, "2024:05:03 14:22:10.5").day(), "2024-05-03");
    EXPECT_EQ(record(DateSource::exif, "2024:05:01 09:00:00", lateUtc).day(), "2024-05-01");
    EXPECT_EQ(record(DateSource::exif, std::nullopt, lateUtc).day(), "2024-05-03");
    EXPECT_EQ(record(DateSource::exif, std::nullopt, lateUtc + 3600 * kNsPerSecond).day(), "2024-05-04");
    EXPECT_EQ(record(DateSource::exif, "2024:05", lateUtc).day(), "2024-05-03");  // too short: the date decides
    EXPECT_EQ(record(DateSource::exif, "\xc3\xa9" "024:05:03 x").day(), "\xc3\xa9" "024-05-03");
    EXPECT_FALSE(record(DateSource::exif, std::nullopt).day().has_value());
}

TEST(CaptureInfo, IdentityOnlyForSourcesThatNameAShot) {
    CaptureInfo exif = record(DateSource::exif, "2024:05:03 14:22:10.45");
    exif.model = "X1";
    exif.serial = "S ";
    exif.uniqueID = "U";
    const auto id = exif.identity();
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(*id, (CaptureIdentity{"2024:05:03 14:22:10.45", "X1", "S ", "U"}));

    const auto sony = record(DateSource::sonyClipXML, "2024:05:03 14:22:10").identity();
    ASSERT_TRUE(sony.has_value());
    EXPECT_EQ(*sony, CaptureIdentity{"2024:05:03 14:22:10"});

    for (DateSource s : {DateSource::quickTime, DateSource::fileModified, DateSource::sonyDateFolder}) {
        CaptureInfo other = exif;
        other.source = s;
        EXPECT_FALSE(other.identity().has_value()) << rawValue(s);
    }
    EXPECT_FALSE(record(DateSource::exif, std::nullopt, 5).identity().has_value());
}

TEST(CaptureIdentity, SameShotRules) {
    using Id = CaptureIdentity;
    const std::string nfd = "Cam\x65\xcc\x81ra";  // e + combining acute
    const std::string nfc = "Cam\xc3\xa9ra";
    struct Case {
        Id a, b;
        bool same;
    };
    const Case cases[] = {
        {{"t1", "M", "S", "U"}, {"t2", "N", "T", "U"}, true},   // equal unique ids decide alone
        {{"t1", "M", "S", "U"}, {"t1", "M", "S", "V"}, false},  // different unique ids decide alone
        {{"t1", "M", "S", "U"}, {"t1", "M", "S", std::nullopt}, true},
        {{"t1", "M", "S"}, {"t2", "M", "S"}, false},
        {{"t1", "M", "S"}, {"t1", "N", "S"}, false},
        {{"t1", "M", "S"}, {"t1", "M", "T"}, false},
        {{"t1", std::nullopt, "S"}, {"t1", "N", std::nullopt}, true},  // absent never differs
        {{"t1"}, {"t1"}, true},
        {{"t1", "m"}, {"t1", "M"}, false},  // case-sensitive
        {{"t1", nfd}, {"t1", nfc}, true},   // canonical equivalence
        {{"t1", "M", "S", nfd}, {"t9", "N", "T", nfc}, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.a.sameShot(c.b), c.same) << c.a.wallClock << " / " << c.b.wallClock;
        EXPECT_EQ(c.b.sameShot(c.a), c.same) << "symmetric";
    }
    // Equality is field by field, bytes and all.
    EXPECT_NE((Id{"t1", nfd}), (Id{"t1", nfc}));
    EXPECT_NE((Id{"t1", std::nullopt}), (Id{"t1", ""}));
    std::unordered_set<Id> set{Id{"t1", "M"}, Id{"t1", "M"}, Id{"t1", std::nullopt}};
    EXPECT_EQ(set.size(), 2u);
}

TEST(CaptureReader, SharedFormattersHaveTheirPatternsAndZones) {
    EXPECT_EQ(CaptureReader::dayFormatter().pattern(), DatePattern::day);
    EXPECT_EQ(CaptureReader::dayFormatter().zone(), DateZone::local);
    EXPECT_EQ(CaptureReader::wallFormatter().pattern(), DatePattern::wall);
    EXPECT_EQ(CaptureReader::wallFormatter().zone(), DateZone::local);
    EXPECT_EQ(CaptureReader::wallFormatterUTC().zone(), DateZone::utc);
    EXPECT_EQ(CaptureReader::wallFormatterUTC().format(1714746130 * kNsPerSecond), "2024:05:03 14:22:10");
}

}  // namespace
}  // namespace halvetrop

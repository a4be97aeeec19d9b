#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "anatomy/CameraDetector.h"

using namespace halvetrop;

namespace {

std::vector<std::string> ids(const std::vector<CameraProfile>& profiles) {
    std::vector<std::string> out;
    for (const CameraProfile& p : profiles) out.push_back(p.id);
    return out;
}

using Texts = std::vector<std::string>;

struct Row {
    const char* what;
    Texts directories;
    Texts samples;
    Texts expected;
};

void expectRows(const std::vector<Row>& rows) {
    const CameraDetector detector;
    for (const Row& row : rows) {
        EXPECT_EQ(ids(detector.detect(row.directories, row.samples)), row.expected) << row.what;
    }
}

}  // namespace

TEST(CameraProfiles, IdsNamesAndOrder) {
    const std::vector<CameraProfile> expected{
        {"sony.stills", "Sony \xCE\xB1 stills"},
        {"sony.xavc", "Sony XAVC video"},
        {"avchd", "AVCHD video"},
        {"canon", "Canon EOS"},
        {"canon.cinema", "Canon Cinema EOS"},
        {"nikon", "Nikon"},
        {"fujifilm", "FUJIFILM"},
        {"panasonic", "Panasonic LUMIX"},
        {"gopro", "GoPro"},
        {"dji", "DJI"},
        {"insta360", "Insta360"},
        {"om", "OM System / Olympus"},
        {"ricoh", "RICOH / PENTAX"},
        {"leica", "Leica"},
        {"red", "RED"},
        {"blackmagic", "Blackmagic RAW"},
        {"dcf", "Camera card (DCIM)"},
    };
    EXPECT_EQ(CameraDetector::profiles(), expected);
}

TEST(CameraDetector, NamesEachFamilyFromItsFolders) {
    expectRows({
        {"nothing at all", {}, {}, {}},
        {"Sony stills and XAVC",
         {"DCIM", "DCIM/100MSDCF", "PRIVATE", "PRIVATE/M4ROOT", "PRIVATE/M4ROOT/CLIP"},
         {},
         {"sony.stills", "sony.xavc"}},
        {"Sony date folder", {"DCIM", "DCIM/10040316"}, {}, {"sony.stills"}},
        {"AVCHD", {"PRIVATE", "PRIVATE/AVCHD", "PRIVATE/AVCHD/BDMV"}, {}, {"avchd"}},
        {"two Canon folders, one profile", {"DCIM/100CANON", "DCIM/101CANON"}, {}, {"canon"}},
        {"Canon EOS prefix", {"DCIM/100EOS5D"}, {}, {"canon"}},
        {"Canon catalogue folder", {"DCIM", "DCIM/CANONMSC"}, {}, {"canon"}},
        {"Canon Cinema", {"CONTENTS", "CONTENTS/CLIPS001"}, {}, {"canon.cinema"}},
        {"Nikon", {"DCIM/100NIKON"}, {}, {"nikon"}},
        {"Nikon Z", {"DCIM/100NCZ_7"}, {}, {"nikon"}},
        {"Nikon Z short", {"DCIM/100NZ_50"}, {}, {"nikon"}},
        {"Fujifilm", {"DCIM/100_FUJI"}, {}, {"fujifilm"}},
        {"Panasonic", {"DCIM/100_PANA"}, {}, {"panasonic"}},
        {"GoPro", {"DCIM/100GOPRO"}, {}, {"gopro"}},
        {"DJI named", {"DCIM/DJI_001"}, {}, {"dji"}},
        {"DJI media", {"DCIM/100MEDIA"}, {}, {"dji"}},
        {"Insta360", {"DCIM/Camera01"}, {}, {"insta360"}},
        {"Olympus", {"DCIM/100OLYMP"}, {}, {"om"}},
        {"OM System prefix", {"DCIM/100OMSYS1"}, {}, {"om"}},
        {"Ricoh", {"DCIM/100RICOH"}, {}, {"ricoh"}},
        {"Pentax", {"DCIM/100_PENTX"}, {}, {"ricoh"}},
        {"Leica", {"DCIM/100LEICA"}, {}, {"leica"}},
        {"RED magazine", {"A001_0101AB.RDM", "A001_0101AB.RDM/A001_C001.RDC"}, {}, {"red"}},
        {"Blackmagic sample", {}, {"A001.txt", "clip.BRAW"}, {"blackmagic"}},
        {"plain DCIM card", {"DCIM", "DCIM/100ABCDE"}, {}, {"dcf"}},
    });
}

TEST(CameraDetector, EdgeCases) {
    expectRows({
        {"end anchor: 100_FUJIX is no Fujifilm", {"DCIM/100_FUJIX"}, {}, {"dcf"}},
        {"CAMERA without two digits", {"DCIM/CAMERA"}, {}, {"dcf"}},
        {"CAMERA with three digits", {"DCIM/CAMERA001"}, {}, {"dcf"}},
        {"two digits before MSDCF", {"DCIM/10MSDCF"}, {}, {"dcf"}},
        {"DJI with four digits", {"DCIM/DJI_0001"}, {}, {"dcf"}},
        {"root AVCHD alone names nothing", {"AVCHD", "AVCHD/BDMV"}, {}, {}},
        {"AVCHD one level down names nothing", {"backup/PRIVATE/AVCHD"}, {}, {}},
        {"M4ROOT at any depth", {"backup/PRIVATE/M4ROOT"}, {}, {"sony.xavc"}},
        {".RDM at any depth", {"backup/card/A001.RDM"}, {}, {"red"}},
        {"a DCIM folder without subfolders", {"DCIM"}, {}, {}},
        {"DCIM below the root counts for nothing", {"backup/DCIM/100MSDCF"}, {}, {}},
        {"deeper DCIM folders count for nothing", {"DCIM/100MSDCF/SUB"}, {}, {}},
        {"CANONMSC only as a DCIM subfolder path", {"X/DCIM/CANONMSC"}, {}, {}},
        {"a folder named x.braw is no sample", {"x.braw"}, {"x.mp4"}, {}},
        {"sample names are tested, folders are not", {}, {"X.BRAW.mov"}, {}},
        {"fallback never stands beside a family",
         {"DCIM/100ABCDE", "DCIM/100GOPRO"},
         {},
         {"gopro"}},
        {"a family without DCIM, no fallback", {"PRIVATE/M4ROOT"}, {}, {"sony.xavc"}},
        {"profiles in table order, whatever the input order",
         {"DCIM/100LEICA", "A.RDM", "DCIM/100GOPRO", "DCIM/100CANON", "PRIVATE/M4ROOT"},
         {"x.braw"},
         {"sony.xavc", "canon", "gopro", "leica", "red", "blackmagic"}},
        {"each profile once",
         {"A/M4ROOT", "B/M4ROOT", "DCIM/100MSDCF", "DCIM/10040316"},
         {},
         {"sony.stills", "sony.xavc"}},
        {"mixed case",
         {"dcim/100msdcf", "Private/M4Root", "private/avchd"},
         {},
         {"sony.stills", "sony.xavc", "avchd"}},
        {"separators do not matter",
         {"/PRIVATE/AVCHD/", "//DCIM//CANONMSC", "/CONTENTS/CLIPS001"},
         {},
         {"avchd", "canon", "canon.cinema"}},
        {"an invalid date folder is no Sony folder", {"DCIM/10041316"}, {}, {"dcf"}},
    });
}

TEST(CameraDetector, PatternsReadUnicodeDigits) {
    const std::string arabic100 = "\xD9\xA1\xD9\xA0\xD9\xA0";                 // ١٠٠
    const std::string fullwidth100 = "\xEF\xBC\x91\xEF\xBC\x90\xEF\xBC\x90";  // １００
    const std::string devanagari01 = "\xE0\xA5\xA6\xE0\xA5\xA7";              // ०१
    expectRows({
        {"Arabic-Indic MSDCF", {"DCIM/" + arabic100 + "MSDCF"}, {}, {"sony.stills"}},
        {"full-width Canon", {"DCIM/" + fullwidth100 + "CANON"}, {}, {"canon"}},
        {"full-width GoPro", {"DCIM/" + fullwidth100 + "GOPRO"}, {}, {"gopro"}},
        {"Arabic-Indic DJI", {"DCIM/DJI_" + arabic100}, {}, {"dji"}},
        {"Devanagari Insta360", {"DCIM/CAMERA" + devanagari01}, {}, {"insta360"}},
        // A date folder must be ASCII digits: full-width digits name no Sony date folder.
        {"full-width date folder",
         {"DCIM/\xEF\xBC\x91\xEF\xBC\x90\xEF\xBC\x90\xEF\xBC\x94\xEF\xBC\x90\xEF\xBC\x93\xEF\xBC"
          "\x91\xEF\xBC\x96"},
         {},
         {"dcf"}},
        // Superscript digits are not decimal digits.
        {"superscripts", {"DCIM/\xC2\xB9\xC2\xB2\xC2\xB3MSDCF"}, {}, {"dcf"}},
    });
}

TEST(CameraDetector, CopiesShareTheirPatternsAndThreadsAgree) {
    const CameraDetector original;
    const Texts directories{"DCIM/100MSDCF", "PRIVATE/M4ROOT",
                            "DCIM/\xD9\xA1\xD9\xA0\xD9\xA0_FUJI"};
    const Texts samples{"a.braw"};
    const std::vector<CameraProfile> expected = original.detect(directories, samples);
    ASSERT_EQ(ids(expected), (Texts{"sony.stills", "sony.xavc", "fujifilm", "blackmagic"}));

    CameraDetector copy = original;
    CameraDetector moved = std::move(copy);
    EXPECT_EQ(moved.detect(directories, samples), expected);
    EXPECT_EQ(copy.detect(directories, samples), expected);  // a moved-from detector still works

    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                if (original.detect(directories, samples) != expected) ++mismatches[t];
            }
        });
    }
    for (std::thread& th : threads) th.join();
    for (int m : mismatches) EXPECT_EQ(m, 0);
}

TEST(SonyDateFolder, Decode) {
    using Date = SonyDateFolder::Date;
    struct {
        const char* name;
        std::optional<Date> expected;
    } rows[] = {
        {"10040316", Date{4, 3, 16}},
        {"10040231", Date{4, 2, 31}},  // the day is not checked against the month
        {"99991231", Date{9, 12, 31}},
        {"10000101", Date{0, 1, 1}},
        {"00040316", std::nullopt},   // folder numbers start at 100
        {"10041316", std::nullopt},   // month 13
        {"10040016", std::nullopt},   // month 0
        {"10040300", std::nullopt},   // day 0
        {"10040332", std::nullopt},   // day 32
        {"1004031", std::nullopt},    // seven digits
        {"100403160", std::nullopt},  // nine digits
        {"", std::nullopt},
        {"1004031a", std::nullopt},
        {"100MSDCF", std::nullopt},
        {"+1040316", std::nullopt},
        {"1004 316", std::nullopt},
        {"\xEF\xBC\x91\xEF\xBC\x90\xEF\xBC\x90\xEF\xBC\x94\xEF\xBC\x90\xEF\xBC\x93\xEF\xBC\x91"
         "\xEF\xBC\x96",
         std::nullopt},                                      // eight full-width digits
        {"\xD9\xA1\xD9\xA0\xD9\xA0\xD9\xA4", std::nullopt},  // four Arabic-Indic digits, 8 bytes
    };
    for (const auto& row : rows)
        EXPECT_EQ(SonyDateFolder::decode(row.name), row.expected) << row.name;
}

TEST(SonyDateFolder, DayFromReferenceYear) {
    struct {
        const char* name;
        int referenceYear;
        std::optional<std::string> expected;
    } rows[] = {
        {"10040316", 2025, "2024-03-16"},
        {"10050316", 2025, "2025-03-16"},
        {"10060316", 2025, "2016-03-16"},
        {"10000101", 2020, "2020-01-01"},
        {"10010101", 2020, "2011-01-01"},
        {"10091231", 2029, "2029-12-31"},
        {"10090101", 2030, "2029-01-01"},
        {"10040231", 2025, "2024-02-31"},
        {"10030316", 5, "0003-03-16"},
        {"10090316", 5, "-001-03-16"},  // printf's width counts the sign
        {"100MSDCF", 2025, std::nullopt},
        {"10041316", 2025, std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(SonyDateFolder::day(row.name, row.referenceYear), row.expected)
            << row.name << " " << row.referenceYear;
    }
    // No reference year overflows the arithmetic.
    EXPECT_TRUE(SonyDateFolder::day("10090316", std::numeric_limits<int>::min()).has_value());
    EXPECT_TRUE(SonyDateFolder::day("10090316", std::numeric_limits<int>::max()).has_value());
}

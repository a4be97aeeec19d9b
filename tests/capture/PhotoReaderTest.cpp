#include "capture/CaptureReader.h"
#include "capture/Parsers.h"

#include "PhotoFixtures.h"
#include "ZoneGuard.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include <cerrno>
#include <map>

namespace halvetrop {
namespace {

using test::allContainers;
using test::buildPhoto;
using test::Container;
using test::extensionOf;
using test::kNsPerSecond;
using test::PhotoTags;
using test::TempDir;
using test::ZoneGuard;

std::optional<capture::ExifFields> fieldsOf(const std::string& bytes) {
    capture::MemorySource source(bytes);
    return capture::readExifFields(source);
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.erase(0, 1);
    return s;
}

// exiftool prints numbers without quotes; our values are always text.
std::optional<std::string> oracleText(const nlohmann::json& file, const char* key) {
    const auto it = file.find(key);
    if (it == file.end()) return std::nullopt;
    return it->is_string() ? it->get<std::string>() : it->dump();
}

std::vector<std::pair<std::string, PhotoTags>> tagSets() {
    std::vector<std::pair<std::string, PhotoTags>> sets;
    PhotoTags full;
    full.dateTimeOriginal = "2024:05:03 14:22:10";
    full.dateTimeDigitized = "2024:05:03 14:22:11";
    full.subSecTimeOriginal = "45";
    full.offsetTimeOriginal = "+02:00";
    full.bodySerialNumber = "SN12AB ";
    full.imageUniqueID = "ABCDEF0123";
    full.model = "Camera X1  ";
    full.dngSerial = "DNG77X";
    full.nikonSerial = "NK55Z";
    sets.emplace_back("full", full);

    PhotoTags digitizedOnly;
    digitizedOnly.dateTimeDigitized = "2023:12:31 23:59:59";
    digitizedOnly.offsetTimeOriginal = "-05:30";
    digitizedOnly.model = "Z 9";
    digitizedOnly.nikonSerial = "N3001234X";
    sets.emplace_back("digitized", digitizedOnly);

    PhotoTags zeros;
    zeros.dateTimeOriginal = "0000:00:00 00:00:00";
    zeros.dngSerial = "D0";
    sets.emplace_back("zeros", zeros);

    PhotoTags spaced;
    spaced.dateTimeOriginal = "  2024:05:03 14:22:10";
    spaced.subSecTimeOriginal = "";
    spaced.model = "Cam\xc3\xa9ra \xe2\x98\x85";
    sets.emplace_back("spaced", spaced);

    PhotoTags noDate;
    noDate.model = "NoDate";
    noDate.bodySerialNumber = "B1X";
    sets.emplace_back("nodate", noDate);
    return sets;
}

// Compares what we read from every file of `dir` with exiftool's reading of the same files.
void expectAgreementWithExiftool(const std::string& dir, size_t files) {
    std::string out;
    ASSERT_EQ(test::runShell("exiftool -j -G1 -a -DateTimeOriginal -CreateDate -SubSecTimeOriginal "
                             "-OffsetTimeOriginal -SerialNumber -CameraSerialNumber -ImageUniqueID -Model '" +
                                 dir + "' 2>/dev/null",
                             &out),
              0);
    const auto oracle = nlohmann::json::parse(out);
    ASSERT_EQ(oracle.size(), files);
    AccessTimesTouched touched;
    for (const auto& file : oracle) {
        const std::string path = file["SourceFile"].get<std::string>();
        SCOPED_TRACE(path);
        capture::FileSource source(path, touched, defaultSys());
        ASSERT_TRUE(source.valid());
        const auto fields = capture::readExifFields(source);
        ASSERT_TRUE(fields.has_value());
        EXPECT_EQ(fields->dateTimeOriginal, oracleText(file, "ExifIFD:DateTimeOriginal"));
        EXPECT_EQ(fields->dateTimeDigitized, oracleText(file, "ExifIFD:CreateDate"));
        EXPECT_EQ(fields->subSecTimeOriginal.value_or(""), oracleText(file, "ExifIFD:SubSecTimeOriginal").value_or(""));
        EXPECT_EQ(fields->offsetTimeOriginal, oracleText(file, "ExifIFD:OffsetTimeOriginal"));
        EXPECT_EQ(fields->bodySerialNumber, oracleText(file, "ExifIFD:SerialNumber"));
        EXPECT_EQ(fields->imageUniqueID, oracleText(file, "ExifIFD:ImageUniqueID"));
        const auto model = oracleText(file, "IFD0:Model");
        EXPECT_EQ(fields->model.has_value(), model.has_value());
        if (fields->model && model) {
            EXPECT_EQ(trimmed(*fields->model), trimmed(*model));
        }
        auto aux = oracleText(file, "IFD0:CameraSerialNumber");
        if (!aux) aux = oracleText(file, "Nikon:SerialNumber");
        EXPECT_EQ(fields->auxSerialNumber, aux);
    }
}

bool haveExiftool() { return test::runShell("exiftool -ver >/dev/null 2>&1") == 0; }

// Every tag our reader finds must be what exiftool finds in the same file, in every container,
// in both byte orders where the container allows it.
TEST(ExifOracle, AgreesWithExiftoolOnFilesWeBuild) {
    if (!haveExiftool()) GTEST_SKIP() << "exiftool is not installed";
    TempDir dir("exif");
    size_t count = 0;
    for (const auto& [name, tags] : tagSets()) {
        for (Container c : allContainers()) {
            for (bool little : {true, false}) {
                const std::string bytes = buildPhoto(c, tags, little);
                dir.write(name + (little ? "-le" : "-be") + extensionOf(c), bytes);
                ++count;
                // The same bytes from memory read the same as from the file.
                const auto fromMemory = fieldsOf(bytes);
                ASSERT_TRUE(fromMemory.has_value());
            }
        }
    }
    expectAgreementWithExiftool(dir.path(), count);
}

// The same with the tags written by exiftool itself, which lays out the structures its own way
// (and builds the EXIF block from nothing in a bare JPEG and PNG).
TEST(ExifOracle, AgreesWithExiftoolOnFilesExiftoolWrote) {
    AccessTimesTouched touched;
    if (!haveExiftool()) GTEST_SKIP() << "exiftool is not installed";
    TempDir dir("written");
    size_t count = 0;
    PhotoTags seed;
    seed.dateTimeOriginal = "2000:01:01 00:00:00";
    seed.model = "Seed";
    for (Container c : allContainers()) {
        if (c == Container::raf) continue;  // exiftool does not write our minimal RAF
        for (bool little : {true, false}) {
            dir.write(std::string(little ? "le" : "be") + extensionOf(c), buildPhoto(c, seed, little));
            ++count;
        }
    }
    static const char bareJpeg[] = "\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00"
                                   "\xff\xda\x00\x08\x01\x01\x00\x00\x3f\x00\xff\xd9";
    dir.write("bare.jpg", std::string(bareJpeg, sizeof bareJpeg - 1));
    dir.write("bare.png", std::string("\x89PNG\r\n\x1a\n", 8) + test::be32Bytes(13) + "IHDR" + test::be32Bytes(1) +
                              test::be32Bytes(1) + std::string("\x08\x02\x00\x00\x00\x90\x77\x53\xde", 9) +
                              test::be32Bytes(0) + "IEND" + test::be32Bytes(0xAE426082));
    count += 2;
    ASSERT_EQ(test::runShell("exiftool -q -overwrite_original -DateTimeOriginal='2021:07:08 09:10:11' "
                             "-CreateDate='2021:07:08 09:10:12' -SubSecTimeOriginal=07 -OffsetTimeOriginal=-03:00 "
                             "-ExifIFD:SerialNumber=W99X -ImageUniqueID=EXT1 -IFD0:Model='Written By Exiftool' '" +
                             dir.path() + "' >/dev/null 2>&1"),
              0);
    expectAgreementWithExiftool(dir.path(), count);
    const auto info = CaptureReader::exif(dir / "bare.jpg", touched);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->wallClock, "2021:07:08 09:10:11.07");
    EXPECT_EQ(info->date, (1625735411 + 3 * 3600) * kNsPerSecond);  // 09:10:11 at UTC-3
}

PhotoTags fullTags() { return tagSets()[0].second; }

TEST(ExifReader, OffsetGivesTheInstantWhateverTheZone) {
    for (const char* zone : {"America/New_York", "Asia/Tokyo"}) {
        ZoneGuard guard(zone);
        for (Container c : allContainers()) {
            const auto info = capture::captureFromExif(*fieldsOf(buildPhoto(c, fullTags())));
            ASSERT_TRUE(info.has_value()) << extensionOf(c);
            EXPECT_EQ(info->date, 1714738930 * kNsPerSecond) << extensionOf(c);  // 12:22:10 UTC
            EXPECT_EQ(info->wallClock, "2024:05:03 14:22:10.45");
            EXPECT_EQ(info->model, "Camera X1");
            EXPECT_EQ(info->serial, "SN12AB ");
            EXPECT_EQ(info->uniqueID, "ABCDEF0123");
            EXPECT_EQ(info->source, DateSource::exif);
        }
    }
}

TEST(ExifReader, FieldRules) {
    ZoneGuard guard("America/New_York");  // UTC-4 in May, UTC-5 in December
    using F = capture::ExifFields;
    struct Case {
        const char* what;
        F fields;
        std::optional<TimeNs> date;
        std::optional<std::string> wall;
        std::optional<std::string> serial;
    };
    F noOffset;
    noOffset.dateTimeOriginal = "2024:05:03 14:22:10";
    F digitized;
    digitized.dateTimeDigitized = "2023:12:31 23:59:59";
    digitized.offsetTimeOriginal = "-05:30";
    F both = noOffset;
    both.dateTimeDigitized = "2020:01:01 00:00:00";
    F emptySub = noOffset;
    emptySub.subSecTimeOriginal = "";
    F badOffset = noOffset;
    badOffset.offsetTimeOriginal = "+0200";
    F zeros;
    zeros.dateTimeOriginal = "0000:00:00 00:00:00";
    zeros.offsetTimeOriginal = "+01:00";
    F leading;
    leading.dateTimeOriginal = "  2024:05:03 14:22:10";
    F aux = noOffset;
    aux.auxSerialNumber = "AUX 1 ";
    F body = aux;
    body.bodySerialNumber = "BODY";
    F longer = noOffset;
    longer.dateTimeOriginal = "2024:05:03 14:22:10+09:00";
    const Case cases[] = {
        {"local reading", noOffset, 1714760530 * kNsPerSecond, "2024:05:03 14:22:10", std::nullopt},
        {"digitized with original offset", digitized, (1704067199 + 19800) * kNsPerSecond, "2023:12:31 23:59:59", std::nullopt},
        {"original wins", both, 1714760530 * kNsPerSecond, "2024:05:03 14:22:10", std::nullopt},
        {"empty sub-seconds", emptySub, 1714760530 * kNsPerSecond, "2024:05:03 14:22:10", std::nullopt},
        {"unreadable offset", badOffset, 1714760530 * kNsPerSecond, "2024:05:03 14:22:10", std::nullopt},
        {"zeros", zeros, std::nullopt, "0000:00:00 00:00:00", std::nullopt},
        {"leading spaces", leading, std::nullopt, "2024:05:03 14:22:10", std::nullopt},
        {"aux serial", aux, 1714760530 * kNsPerSecond, "2024:05:03 14:22:10", "AUX 1 "},
        {"body serial first", body, 1714760530 * kNsPerSecond, "2024:05:03 14:22:10", "BODY"},
        {"text past 19 characters", longer, 1714760530 * kNsPerSecond, "2024:05:03 14:22:10+09:00", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto info = capture::captureFromExif(c.fields);
        ASSERT_TRUE(info.has_value()) << c.what;
        EXPECT_EQ(info->date, c.date) << c.what;
        EXPECT_EQ(info->wallClock, c.wall) << c.what;
        EXPECT_EQ(info->serial, c.serial) << c.what;
    }
    EXPECT_FALSE(capture::captureFromExif(F{}).has_value());
}

// A value placed outside its block costs that tag alone; only a date the reader cannot read ends
// it. Each broken tag is compared with the same file unbroken, in every container.
TEST(ExifReader, BrokenOptionalTagLosesOnlyThatTag) {
    AccessTimesTouched touched;
    using Field = std::optional<std::string> capture::ExifFields::*;
    const struct {
        uint16_t tag;
        Field lost;  // null: the whole reading is lost
    } cases[] = {
        {0x0110, &capture::ExifFields::model},
        {0xC62F, &capture::ExifFields::auxSerialNumber},
        {0x9291, &capture::ExifFields::subSecTimeOriginal},
        {0x9011, &capture::ExifFields::offsetTimeOriginal},
        {0xA431, &capture::ExifFields::bodySerialNumber},
        {0xA420, &capture::ExifFields::imageUniqueID},
        {0x9003, nullptr},
        {0x9004, nullptr},
    };
    PhotoTags base = fullTags();
    base.subSecTimeOriginal = "4512";  // long enough to be stored out of line
    base.nikonSerial.reset();
    for (Container c : allContainers()) {
        const auto whole = fieldsOf(buildPhoto(c, base));
        ASSERT_TRUE(whole.has_value()) << extensionOf(c);
        for (const auto& k : cases) {
            PhotoTags tags = base;
            tags.outOfRange = {k.tag};
            const auto got = fieldsOf(buildPhoto(c, tags));
            SCOPED_TRACE(extensionOf(c) + " tag " + std::to_string(k.tag));
            if (!k.lost) {
                EXPECT_FALSE(got.has_value());
                continue;
            }
            ASSERT_TRUE(got.has_value());
            capture::ExifFields expected = *whole;
            (expected.*k.lost).reset();
            for (Field f : {&capture::ExifFields::dateTimeOriginal, &capture::ExifFields::dateTimeDigitized,
                            &capture::ExifFields::subSecTimeOriginal, &capture::ExifFields::offsetTimeOriginal,
                            &capture::ExifFields::bodySerialNumber, &capture::ExifFields::imageUniqueID,
                            &capture::ExifFields::model, &capture::ExifFields::auxSerialNumber})
                EXPECT_EQ((*got).*f, expected.*f);
        }
    }
    // Through the file reader: a broken model still dates the shot by its own offset.
    TempDir dir("broken");
    PhotoTags noModel = base;
    noModel.outOfRange = {0x0110};
    const auto info = CaptureReader::exif(dir.write("m.jpg", buildPhoto(Container::jpeg, noModel)), touched);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->date, 1714738930 * kNsPerSecond);
    EXPECT_EQ(info->source, DateSource::exif);
    EXPECT_FALSE(info->model.has_value());
    EXPECT_EQ(info->serial, "SN12AB ");
}

// exiftool also keeps the rest of an embedded block whose one value lies outside it (in a bare
// TIFF file it gives up the rest of the folder instead, so those are left out here).
TEST(ExifOracle, AgreesWithExiftoolOnBrokenOptionalTags) {
    if (!haveExiftool()) GTEST_SKIP() << "exiftool is not installed";
    TempDir dir("broken-oracle");
    size_t count = 0;
    for (uint16_t tag : {0x0110, 0x9291, 0x9011, 0xA431, 0xA420}) {
        PhotoTags tags = fullTags();
        tags.subSecTimeOriginal = "4512";
        tags.outOfRange = {tag};
        for (Container c : {Container::jpeg, Container::png, Container::webp, Container::heic}) {
            dir.write(std::to_string(tag) + extensionOf(c), buildPhoto(c, tags));
            ++count;
        }
    }
    expectAgreementWithExiftool(dir.path(), count);
}

// A date the camera did not know (blanks, with or without colons) is no date: the next date tag
// is read, and without one the photo is dated as a file is, with no day cut from blanks and no
// identity that every undated shot would share.
TEST(ExifReader, BlankDateIsNoDate) {
    AccessTimesTouched touched;
    ZoneGuard guard("UTC");
    const char* blanks[] = {"                   ", "    :  :     :  :  ", "", "  ::  "};
    TempDir dir("blank");
    for (const char* blank : blanks) {
        SCOPED_TRACE(std::string("'") + blank + "'");
        PhotoTags withDigitized;
        withDigitized.dateTimeOriginal = blank;
        withDigitized.dateTimeDigitized = "2024:05:03 14:22:10";
        withDigitized.model = "Cam";
        const auto digitized = CaptureReader::exif(dir.write("d.jpg", buildPhoto(Container::jpeg, withDigitized)), touched);
        ASSERT_TRUE(digitized.has_value());
        EXPECT_EQ(digitized->wallClock, "2024:05:03 14:22:10");
        EXPECT_EQ(digitized->day(), "2024-05-03");

        PhotoTags only;
        only.dateTimeOriginal = blank;
        only.dateTimeDigitized = blank;
        only.model = "Cam";
        const std::string path = dir.write("b.jpg", buildPhoto(Container::jpeg, only));
        EXPECT_FALSE(CaptureReader::exif(path, touched).has_value());
        const CaptureInfo read = CaptureReader::read(path, MediaKind::photo, 1714738930 * kNsPerSecond, touched);
        EXPECT_EQ(read.source, DateSource::fileModified);
        EXPECT_EQ(read.day(), "2024-05-03");
        EXPECT_FALSE(read.identity().has_value());
    }
}

TEST(ExifReader, DateThatIsNotTextFallsBackToDigitized) {
    PhotoTags tags;
    tags.dateTimeOriginal = "ignored";
    tags.dateTimeOriginalNotText = true;
    tags.dateTimeDigitized = "2024:05:03 14:22:10";
    const auto info = capture::captureFromExif(*fieldsOf(buildPhoto(Container::jpeg, tags)));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->wallClock, "2024:05:03 14:22:10");
}

TEST(ExifReader, SubSecondsSeparateShotsOfOneSecond) {
    PhotoTags a = fullTags(), b = fullTags();
    a.imageUniqueID.reset();
    b.imageUniqueID.reset();
    b.subSecTimeOriginal = "46";
    const auto x = capture::captureFromExif(*fieldsOf(buildPhoto(Container::jpeg, a)));
    const auto y = capture::captureFromExif(*fieldsOf(buildPhoto(Container::jpeg, b)));
    EXPECT_EQ(x->date, y->date);
    EXPECT_FALSE(x->identity()->sameShot(*y->identity()));
}

TEST(ExifReader, FilesWithoutExifGiveNothing) {
    AccessTimesTouched touched;
    TempDir dir("noexif");
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + test::be32Bytes(0) + "IEND" + test::be32Bytes(0xAE426082);
    const std::pair<const char*, std::string> cases[] = {
        {"plain.png", png},
        {"text.jpg", "this is not an image at all"},
        {"empty.jpg", ""},
        {"soi-only.jpg", "\xFF\xD8\xFF\xD9"},
        {"tiny.tif", "II*\0"},
    };
    for (const auto& [name, bytes] : cases) EXPECT_FALSE(CaptureReader::exif(dir.write(name, bytes), touched).has_value()) << name;
    EXPECT_FALSE(CaptureReader::exif(dir / "missing.jpg", touched).has_value());
    EXPECT_FALSE(CaptureReader::exif(dir.mkdir("folder.jpg"), touched).has_value());
    ASSERT_EQ(::mkfifo((dir / "pipe.jpg").c_str(), 0600), 0);
    EXPECT_FALSE(CaptureReader::exif(dir / "pipe.jpg", touched).has_value());  // would block if opened blocking
    // A name is raw bytes, not necessarily UTF-8.
    const std::string odd = dir.write("bad\xff\xfe.jpg", buildPhoto(Container::jpeg, fullTags()));
    EXPECT_TRUE(CaptureReader::exif(odd, touched).has_value());
}

// Every prefix of every container gives nothing or the whole file's dates, with each other tag
// as in the whole file or absent (its value cut off), and a flipped byte anywhere never crashes
// (the fuzzer goes much further).
TEST(ExifReader, TruncatedAndCorruptedFilesAreSafe) {
    for (Container c : allContainers()) {
        const std::string whole = buildPhoto(c, fullTags());
        const auto expected = fieldsOf(whole);
        ASSERT_TRUE(expected.has_value()) << extensionOf(c);
        for (size_t n = 0; n < whole.size(); ++n) {
            const auto got = fieldsOf(whole.substr(0, n));
            if (got) {
                EXPECT_EQ(got->dateTimeOriginal, expected->dateTimeOriginal) << extensionOf(c) << " " << n;
                EXPECT_EQ(got->dateTimeDigitized, expected->dateTimeDigitized) << extensionOf(c) << " " << n;
                for (auto f : {&capture::ExifFields::subSecTimeOriginal, &capture::ExifFields::offsetTimeOriginal,
                               &capture::ExifFields::bodySerialNumber, &capture::ExifFields::imageUniqueID,
                               &capture::ExifFields::model, &capture::ExifFields::auxSerialNumber})
                    EXPECT_TRUE(!((*got).*f) || (*got).*f == (*expected).*f) << extensionOf(c) << " " << n;
            }
        }
        for (size_t i = 0; i < whole.size(); ++i) {
            for (unsigned char v : {0x00, 0xFF, 0x7F}) {
                std::string bad = whole;
                bad[i] = static_cast<char>(v);
                (void)fieldsOf(bad);
            }
        }
    }
}

TEST(ExifReader, HostileStructuresGiveNothingOrStayBounded) {
    // Exif IFD pointer pointing back at IFD0, an IFD count of 65535, an offset beyond the end.
    std::string loop = test::buildTiff(fullTags());
    size_t pointer = 0;
    for (size_t entry = 10; entry + 12 <= loop.size() && !pointer; entry += 12)
        if (loop.compare(entry, 2, "\x69\x87") == 0) pointer = entry + 8;
    ASSERT_NE(pointer, 0u);
    loop.replace(pointer, 4, std::string("\x08\0\0\0", 4));
    const auto looped = fieldsOf(loop);
    ASSERT_TRUE(looped.has_value());  // IFD0 read once more as if it were the Exif IFD: no dates
    EXPECT_FALSE(looped->dateTimeOriginal.has_value());

    std::string manyEntries = test::buildTiff(fullTags());
    manyEntries.replace(8, 2, "\xFF\xFF");
    EXPECT_FALSE(fieldsOf(manyEntries).has_value());

    std::string farOffset = test::buildTiff(fullTags());
    farOffset.replace(4, 4, "\xF0\xFF\xFF\xFF");
    EXPECT_FALSE(fieldsOf(farOffset).has_value());

    // An ISO box claiming 2^64-1 bytes, a PNG chunk claiming 2^32-1.
    std::string heif = buildPhoto(Container::heic, fullTags());
    const size_t meta = heif.find("meta") - 4;
    heif.replace(meta, 4, std::string("\0\0\0\x01", 4));
    heif.insert(meta + 8, std::string(8, '\xFF'));
    EXPECT_FALSE(fieldsOf(heif).has_value());
    std::string png = buildPhoto(Container::png, fullTags());
    png.replace(png.find("eXIf") - 4, 4, "\xFF\xFF\xFF\xFF");
    EXPECT_FALSE(fieldsOf(png).has_value());
}

// A HEIF whose only EXIF item is stored in the meta box's idat, located by a version-1 iloc with
// 8-byte base and extent offsets (the form that can name offsets far beyond any file).
std::string heifWithIdatItem(const std::string& tiff, uint64_t base, uint64_t extent) {
    const auto be64Bytes = [](uint64_t v) { return test::be32Bytes(static_cast<uint32_t>(v >> 32)) + test::be32Bytes(static_cast<uint32_t>(v)); };
    const std::string v0(4, '\0');
    const std::string infe = test::box("infe", std::string("\x02\0\0\0", 4) + test::be16Bytes(2) + test::be16Bytes(0) + "Exif" + std::string(1, '\0'));
    const std::string iinf = test::box("iinf", v0 + test::be16Bytes(1) + infe);
    const std::string item = test::be32Bytes(6) + std::string("Exif\0\0", 6) + tiff;
    std::string iloc = std::string("\x01\0\0\0", 4) + "\x88\x80" + test::be16Bytes(1);
    iloc += test::be16Bytes(2) + test::be16Bytes(1) + test::be16Bytes(0) + be64Bytes(base);
    iloc += test::be16Bytes(1) + be64Bytes(extent) + be64Bytes(item.size());
    const std::string meta = test::box("meta", v0 + iinf + test::box("iloc", iloc) + test::box("idat", item));
    return test::box("ftyp", std::string("heic") + test::be32Bytes(0) + "mif1heic") + meta;
}

TEST(ExifReader, ItemsInTheMetaBoxAreFoundAndFarOffsetsRefused) {
    const std::string tiff = test::buildTiff(fullTags());
    const struct {
        const char* what;
        uint64_t base, extent;
        bool found;
    } cases[] = {
        {"at the start of idat", 0, 0, true},
        {"past the end of idat", 0, 4096, false},
        {"offsets whose sum with the idat start overflows", (uint64_t{1} << 62) - 1, (uint64_t{1} << 62) - 1, false},
        {"offsets just inside the refused range", (uint64_t{1} << 60) - 1, (uint64_t{1} << 60) - 1, false},
        {"the largest offsets", UINT64_MAX, UINT64_MAX, false},
    };
    for (const auto& c : cases) {
        const auto fields = fieldsOf(heifWithIdatItem(tiff, c.base, c.extent));
        EXPECT_EQ(fields.has_value(), c.found) << c.what;
        if (c.found && fields) {
            EXPECT_EQ(fields->dateTimeOriginal, fullTags().dateTimeOriginal) << c.what;
        }
    }
}

TEST(ExifReader, ReadsLittleOfAHugeFile) {
    AccessTimesTouched touched;
    // A PNG whose EXIF chunk comes after 64 MiB of image data: the data is skipped, not read.
    TempDir dir("huge");
    const std::string path = dir / "big.png";
    {
        std::string ihdr = std::string("\x89PNG\r\n\x1a\n", 8) + test::be32Bytes(13) + "IHDR" + std::string(13, '\0') + test::be32Bytes(0);
        const uint32_t idat = 64u << 20;
        std::string head = ihdr + test::be32Bytes(idat) + "IDAT";
        std::string tiff = test::buildTiff(fullTags());
        std::string tail = std::string(4, '\0') + test::be32Bytes(static_cast<uint32_t>(tiff.size())) + "eXIf" + tiff + std::string(4, '\0') +
                           test::be32Bytes(0) + "IEND" + std::string(4, '\0');
        dir.write("big.png", head);
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(head.size() + idat)), 0);
        std::string all = test::readFile(path) + tail;
        dir.write("big.png", all);
    }
    capture::FileSource source(path, touched, defaultSys());
    const auto fields = capture::readExifFields(source);
    ASSERT_TRUE(fields.has_value());
    EXPECT_EQ(fields->dateTimeOriginal, "2024:05:03 14:22:10");
    EXPECT_LT(source.bytesRead(), 1 << 20);
}

// Reads that fail, are interrupted or come back short through the system-call seam.
class FlakySys : public Sys {
public:
    int failWith = 0;      // errno for every pread when non-zero
    int interrupts = 0;    // EINTR for the first n preads
    size_t shortBy = 0;    // return at most this many bytes per pread when non-zero
    ssize_t pread(int fd, void* buf, size_t count, off_t offset) override {
        if (failWith) {
            errno = failWith;
            return -1;
        }
        if (interrupts > 0) {
            --interrupts;
            errno = EINTR;
            return -1;
        }
        if (shortBy && count > shortBy) count = shortBy;
        return Sys::pread(fd, buf, count, offset);
    }
};

TEST(ExifReader, SystemCallFaults) {
    AccessTimesTouched touched;
    TempDir dir("faults");
    const std::string path = dir.write("a.jpg", buildPhoto(Container::jpeg, fullTags()));
    FlakySys eio;
    eio.failWith = EIO;
    EXPECT_FALSE(CaptureReader::exif(path, touched, eio).has_value());
    FlakySys interrupted;
    interrupted.interrupts = 3;
    EXPECT_TRUE(CaptureReader::exif(path, touched, interrupted).has_value());
    FlakySys dribble;
    dribble.shortBy = 7;
    const auto info = CaptureReader::exif(path, touched, dribble);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->uniqueID, "ABCDEF0123");
    // A photo that cannot be read is dated by its modification time.
    const auto dated = CaptureReader::read(path, MediaKind::photo, 42 * kNsPerSecond, touched, eio);
    EXPECT_EQ(dated.source, DateSource::fileModified);
    EXPECT_EQ(dated.date, 42 * kNsPerSecond);
}

}  // namespace
}  // namespace halvetrop

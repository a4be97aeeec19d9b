#include "capture/CaptureReader.h"
#include "capture/Parsers.h"

#include "PhotoFixtures.h"
#include "ZoneGuard.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

namespace halvetrop {
namespace {

using test::be32Bytes;
using test::box;
using test::kNsPerSecond;
using test::TempDir;
using test::ZoneGuard;

constexpr uint64_t k1904 = 2082844800;
constexpr int64_t kShotUtc = 1714746130;  // 2024-05-03 14:22:10 UTC

std::string be64Bytes(uint64_t v) { return be32Bytes(static_cast<uint32_t>(v >> 32)) + be32Bytes(static_cast<uint32_t>(v)); }

std::string mvhd(int version, uint64_t created) {
    std::string p(1, static_cast<char>(version));
    p += std::string(3, '\0');
    p += version == 1 ? be64Bytes(created) + be64Bytes(created) : be32Bytes(static_cast<uint32_t>(created)) + be32Bytes(0);
    p += std::string(80, '\0');
    return box("mvhd", p);
}

std::string ftyp() { return box("ftyp", std::string("XAVC") + be32Bytes(0) + "XAVCmp42iso2"); }
std::string moov(int version = 0, uint64_t created = kShotUtc + k1904) { return box("moov", mvhd(version, created) + box("trak", std::string(40, 't'))); }
std::string mdat() { return box("mdat", std::string(100, '\x5a')); }

std::optional<CaptureInfo> movie(const std::string& bytes, std::string_view name = "C0001.MP4", int64_t* read = nullptr) {
    capture::MemorySource source(bytes);
    auto info = capture::quickTimeFrom(source, name);
    if (read) *read = source.bytesRead();
    return info;
}

TEST(QuickTime, FindsTheMovieHeaderWhereverTheMovieAtomIs) {
    ZoneGuard zone("Europe/Berlin");  // UTC+2 in May
    struct Case {
        const char* what;
        std::string bytes;
        const char* name;
        std::optional<int64_t> utcSeconds;
        const char* wall;
    };
    std::string size0Moov = moov();
    size0Moov.replace(0, 4, std::string(4, '\0'));  // runs to the end of the file
    std::string wide = ftyp() + std::string("\0\0\0\x01mdat", 8) + be64Bytes(16 + 100) + std::string(100, 'x') + moov();
    std::string wide0 = ftyp() + moov() + std::string("\0\0\0\x01mdat", 8) + be64Bytes(0) + std::string(50, 'x');
    std::string freeAtoms;
    for (int i = 0; i < 62; ++i) freeAtoms += box("free", "");
    const Case cases[] = {
        {"moov first", ftyp() + moov() + mdat(), "C0001.MP4", kShotUtc, "2024:05:03 16:22:10"},
        {"moov last", ftyp() + mdat() + moov(), "C0001.MP4", kShotUtc, "2024:05:03 16:22:10"},
        {"version 1", ftyp() + moov(1) + mdat(), "C0001.MP4", kShotUtc, "2024:05:03 16:22:10"},
        {"64-bit mdat size", wide, "C0001.MP4", kShotUtc, "2024:05:03 16:22:10"},
        {"size 0 runs to the end", ftyp() + mdat() + size0Moov, "C0001.MP4", kShotUtc, "2024:05:03 16:22:10"},
        {"64-bit size 0 after moov", wide0, "C0001.MP4", kShotUtc, "2024:05:03 16:22:10"},
        {"moov as atom 64", ftyp() + freeAtoms + moov(), "A.MOV", kShotUtc, "2024:05:03 16:22:10"},
        {"GoPro local clock", ftyp() + moov(), "GX010042.MP4", kShotUtc - 7200, "2024:05:03 14:22:10"},
        {"lower-case name", ftyp() + moov(), "gx010042.mp4", kShotUtc - 7200, "2024:05:03 14:22:10"},
        {"GOPR", ftyp() + moov(), "GOPR0001.MP4", kShotUtc - 7200, "2024:05:03 14:22:10"},
        {"GP", ftyp() + moov(), "GP010001.MP4", kShotUtc - 7200, "2024:05:03 14:22:10"},
        {"GH", ftyp() + moov(), "GH010001.MP4", kShotUtc - 7200, "2024:05:03 14:22:10"},
        {"G alone is not a prefix", ftyp() + moov(), "G0010001.MP4", kShotUtc, "2024:05:03 16:22:10"},
        {"earliest creation time", ftyp() + moov(0, 0xB492F401), "C.MP4", 946684801, "2000:01:01 01:00:01"},
    };
    for (const Case& c : cases) {
        const auto info = movie(c.bytes, c.name);
        ASSERT_TRUE(info.has_value()) << c.what;
        EXPECT_EQ(info->date, *c.utcSeconds * kNsPerSecond) << c.what;
        EXPECT_EQ(info->wallClock, c.wall) << c.what;
        EXPECT_EQ(info->source, DateSource::quickTime);
        EXPECT_FALSE(info->model || info->serial || info->uniqueID);
        EXPECT_FALSE(info->identity().has_value());
    }
}

TEST(QuickTime, BrokenOrHostileMoviesGiveNothing) {
    std::string freeAtoms;
    for (int i = 0; i < 63; ++i) freeAtoms += box("free", "");
    std::string tiny = ftyp() + moov();
    tiny.replace(ftyp().size(), 4, be32Bytes(4));
    std::string pastEnd = ftyp() + moov();
    pastEnd.replace(ftyp().size(), 4, be32Bytes(static_cast<uint32_t>(moov().size() + 1)));
    std::string skipPastEnd = ftyp() + mdat() + moov();
    skipPastEnd.replace(ftyp().size(), 4, be32Bytes(0xFFFFFFF0u));
    std::string wideSmall = ftyp() + std::string("\0\0\0\x01mdat", 8) + be64Bytes(15) + moov();
    std::string wideHuge = ftyp() + std::string("\0\0\0\x01mdat", 8) + be64Bytes(~uint64_t{0}) + moov();
    std::string noMvhd = ftyp() + box("moov", box("trak", std::string(60, 'q')));
    std::string shortMvhd = ftyp() + box("moov", std::string("mvhd") + std::string(19, '\0'));
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"seven bytes", "\0\0\0\x08moo"},
        {"text file", std::string(5000, 'a')},
        {"creation time 0", ftyp() + moov(0, 0)},
        {"before 2000", ftyp() + moov(0, 0xB492F400)},
        {"after 9999", ftyp() + moov(1, 253402300800ULL + k1904)},
        {"beyond 64-bit nanoseconds", ftyp() + moov(1, 9223372037ULL + k1904)},
        {"all ones", ftyp() + moov(1, ~uint64_t{0})},
        {"atom smaller than its header", tiny},
        {"moov past the end", pastEnd},
        {"skip past the end", skipPastEnd},
        {"64-bit size below 16", wideSmall},
        {"64-bit size beyond everything", wideHuge},
        {"no mvhd", noMvhd},
        {"too little after mvhd", shortMvhd},
        {"moov as atom 65", ftyp() + freeAtoms + moov()},
        {"truncated moov", (ftyp() + moov()).substr(0, ftyp().size() + 20)},
    };
    for (const auto& [what, bytes] : cases) {
        int64_t read = 0;
        EXPECT_FALSE(movie(bytes, "C0001.MP4", &read).has_value()) << what;
        EXPECT_LE(read, 64 * 16 + 65536) << what;
    }
}

TEST(QuickTime, SkipsMediaDataOfMoreThanFourGigabytes) {
    AccessTimesTouched touched;
    TempDir dir("movie");
    const std::string path = dir / "C0002.MP4";
    const uint64_t mediaSize = (uint64_t{5} << 30) + 16;
    const std::string head = ftyp() + std::string("\0\0\0\x01mdat", 8) + be64Bytes(mediaSize);
    const std::string tail = moov();
    {
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
        const off_t moovAt = static_cast<off_t>(ftyp().size() + mediaSize);
        ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), moovAt), static_cast<ssize_t>(tail.size()));
        ::close(fd);
    }
    const auto info = CaptureReader::quickTime(path, touched);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->date, kShotUtc * kNsPerSecond);
}

// Counts what the reader asks of the file system.
class CountingSys : public Sys {
public:
    int reads = 0;
    size_t largest = 0;
    size_t smallReads = 0;
    ssize_t pread(int fd, void* buf, size_t count, off_t offset) override {
        ++reads;
        largest = std::max(largest, count);
        smallReads += count <= 16;
        return Sys::pread(fd, buf, count, offset);
    }
};

TEST(QuickTime, ReadsOnlySmallHeadersAndOneMovieAtom) {
    AccessTimesTouched touched;
    TempDir dir("reads");
    std::string atoms;
    for (int i = 0; i < 40; ++i) atoms += box("skip", std::string(100000, 'm'));
    const std::string path = dir.write("C0003.MP4", ftyp() + atoms + moov());
    CountingSys sys;
    ASSERT_TRUE(CaptureReader::quickTime(path, touched, sys).has_value());
    EXPECT_EQ(sys.smallReads, 42u);  // ftyp, 40 skipped atoms, moov
    EXPECT_EQ(sys.reads, 43);
    EXPECT_LE(sys.largest, 65536u);
}

// ---- Sony clip XML ----------------------------------------------------------------------------

std::string sonyXml(const std::string& creation, bool device = true) {
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<NonRealTimeMeta xmlns=\"urn:schemas-professionalDisc:nonRealTimeMeta:ver.2.20\">\n";
    if (!creation.empty()) x += "\t<CreationDate value=\"" + creation + "\"/>\n";
    if (device) x += "\t<Device manufacturer=\"Sony\" modelName=\"ILCE-7M4\" serialNo=\"5012345\"/>\n";
    return x + "</NonRealTimeMeta>\n";
}

TEST(ClipXml, CreationDateOffsetAndDevice) {
    ZoneGuard zone("Europe/Berlin");
    struct Case {
        const char* what;
        std::string xml;
        std::optional<int64_t> utcSeconds;
        const char* wall;
    };
    const Case cases[] = {
        {"offset", sonyXml("2024-05-03T14:22:10+09:00"), 1714713730, "2024:05:03 14:22:10"},
        {"negative offset", sonyXml("2024-05-03T14:22:10-05:00"), kShotUtc + 5 * 3600, "2024:05:03 14:22:10"},
        {"no offset: local", sonyXml("2024-05-03T14:22:10"), kShotUtc - 7200, "2024:05:03 14:22:10"},
        {"Z is no offset", sonyXml("2024-05-03T14:22:10Z"), kShotUtc - 7200, "2024:05:03 14:22:10"},
        {"unreadable offset", sonyXml("2024-05-03T14:22:10+0a:00"), kShotUtc - 7200, "2024:05:03 14:22:10"},
        {"local time in the gap", sonyXml("2024-03-31T02:30:00"), std::nullopt, "2024:03:31 02:30:00"},
        {"gap but with offset", sonyXml("2024-03-31T02:30:00+01:00"), 1711848600, "2024:03:31 02:30:00"},
        {"not a date", sonyXml("yesterday at noon, more or less"), std::nullopt, "yesterday at noon, "},
    };
    for (const Case& c : cases) {
        const auto info = capture::clipFromText(c.xml);
        ASSERT_TRUE(info.has_value()) << c.what;
        EXPECT_EQ(info->date, c.utcSeconds ? std::optional<TimeNs>(*c.utcSeconds * kNsPerSecond) : std::nullopt) << c.what;
        EXPECT_EQ(info->wallClock, c.wall) << c.what;
        EXPECT_EQ(info->model, "ILCE-7M4");
        EXPECT_EQ(info->serial, "5012345");
        EXPECT_FALSE(info->uniqueID.has_value());
        EXPECT_EQ(info->source, DateSource::sonyClipXML);
    }
    const auto bare = capture::clipFromText(sonyXml("2024-05-03T14:22:10", false));
    ASSERT_TRUE(bare.has_value());
    EXPECT_FALSE(bare->model || bare->serial);
    EXPECT_EQ(bare->identity(), CaptureIdentity{"2024:05:03 14:22:10"});
    EXPECT_FALSE(capture::clipFromText(sonyXml("")).has_value());
    EXPECT_FALSE(capture::clipFromText(sonyXml("2024-05-03T14:22:10") + "\xff").has_value());
}

TEST(ClipXml, AttributeReader) {
    struct Case {
        const char* xml;
        const char* element;
        const char* name;
        std::optional<std::string> value;
    };
    const Case cases[] = {
        {R"(<Device manufacturer="Sony" modelName="ILCE-7M4" serialNo="0123"/>)", "Device", "modelName", "ILCE-7M4"},
        {R"(<Device manufacturer="Sony" modelName="ILCE-7M4" serialNo="0123"/>)", "Device", "serialNo", "0123"},
        {R"(<Device/>)", "Device", "modelName", std::nullopt},
        {R"(<Device>modelName="x"</Device>)", "Device", "modelName", std::nullopt},
        {R"(<Device modelName='A'/>)", "Device", "modelName", std::nullopt},
        {R"(<Device modelName="A")", "Device", "modelName", std::nullopt},
        {R"(<Device modelName="A/>)", "Device", "modelName", std::nullopt},
        {R"(<Device a="1"/><Device modelName="B"/>)", "Device", "modelName", std::nullopt},  // first tag only
        {R"(<DeviceX modelName="A"/><Device modelName="B"/>)", "Device", "modelName", "B"},
        {R"(<Device modelName="A&amp;B"/>)", "Device", "modelName", "A&amp;B"},
        {R"(<Device modelName=""/>)", "Device", "modelName", ""},
        {R"(<device modelName="A"/>)", "Device", "modelName", std::nullopt},
        {R"(<Device xmodelName="A" modelName="B"/>)", "Device", "modelName", "A"},  // literal search
    };
    for (const Case& c : cases) EXPECT_EQ(CaptureReader::attribute(c.xml, c.element, c.name), c.value) << c.xml;
}

TEST(ClipXml, SidecarNamesInOrder) {
    AccessTimesTouched touched;
    TempDir dir("clip");
    const std::string clip = dir.write("C0001.MP4", ftyp() + moov());
    EXPECT_EQ(CaptureReader::sonyClipXML(clip, touched), std::nullopt);
    dir.write("C0001m01.xml", sonyXml("2024-05-03T14:22:10+09:00"));
    EXPECT_EQ(CaptureReader::sonyClipXML(clip, touched)->wallClock, "2024:05:03 14:22:10");
    dir.write("C0001M01.xml", sonyXml("2024-05-04T14:22:10+09:00"));
    EXPECT_EQ(CaptureReader::sonyClipXML(clip, touched)->wallClock, "2024:05:04 14:22:10");
    dir.write("C0001M01.XML", sonyXml("2024-05-05T14:22:10+09:00"));
    EXPECT_EQ(CaptureReader::sonyClipXML(clip, touched)->wallClock, "2024:05:05 14:22:10");
    // The clip itself need not exist; only the sidecar is read. A dotted folder is no extension.
    dir.write("x.y/C0009M01.XML", sonyXml("2024-05-06T00:00:00+00:00"));
    EXPECT_EQ(CaptureReader::sonyClipXML(dir / "x.y/C0009.MP4", touched)->wallClock, "2024:05:06 00:00:00");
    const auto noExtension = CaptureReader::sonyClipXML(dir / "x.y/C0009", touched);
    ASSERT_TRUE(noExtension.has_value());
    EXPECT_EQ(noExtension->wallClock, "2024:05:06 00:00:00");
    // A sidecar that exists but cannot be read ends the search.
    dir.mkdir("C0003M01.XML");
    dir.write("C0003m01.xml", sonyXml("2024-05-05T14:22:10+09:00"));
    EXPECT_FALSE(CaptureReader::sonyClipXML(dir / "C0003.MP4", touched).has_value());
}

TEST(ClipXml, ReadsAtMostSixtyFourKibibytesAndFinishesACutCharacter) {
    AccessTimesTouched touched;
    TempDir dir("long");
    const std::string head = sonyXml("2024-05-03T14:22:10+09:00");
    const std::string euro = "\xe2\x82\xac";
    struct Case {
        const char* what;
        std::string bytes;
        bool reads;
    };
    std::string cutInTwo = head + "<!--" + std::string(65535 - head.size() - 4, ' ') + euro + " -->";  // euro at 65535
    std::string cutAfterOne = head + "<!--" + std::string(65534 - head.size() - 4, ' ') + euro + " -->";
    std::string badLate = head + std::string(70000, ' ') + "\xff";
    std::string badEarly = head + "\xff" + std::string(70000, ' ');
    std::string creationLate = sonyXml("", true) + std::string(70000, ' ') + "<CreationDate value=\"2024-05-03T14:22:10\"/>";
    const Case cases[] = {
        {"character across the cut", cutInTwo, true},
        {"character across the cut, one byte in", cutAfterOne, true},
        {"broken bytes after the limit are never decoded", badLate, true},
        {"broken bytes before the limit", badEarly, false},
        {"creation date past the limit is not seen", creationLate, false},
    };
    for (const Case& c : cases) {
        ASSERT_GT(c.bytes.size(), 65536u) << c.what;
        dir.write("C0001M01.XML", c.bytes);
        EXPECT_EQ(CaptureReader::sonyClipXML(dir / "C0001.MP4", touched).has_value(), c.reads) << c.what;
    }
    EXPECT_EQ(capture::clipText(cutInTwo).size(), 65538u);
    EXPECT_EQ(capture::clipText(cutAfterOne).size(), 65537u);
    EXPECT_EQ(capture::clipText(std::string(70000, 'a')).size(), 65536u);
}

// ---- the one entry point ------------------------------------------------------------------

TEST(ReadCapture, ChoosesReadersByKindAndFallsBackToTheModificationTime) {
    AccessTimesTouched touched;
    ZoneGuard zone("Europe/Berlin");
    TempDir dir("read");
    const TimeNs modified = (kShotUtc + 86400) * kNsPerSecond + 5;
    const std::string bothMovie = dir.write("C0001.MP4", ftyp() + moov(0, kShotUtc + 3600 + k1904));
    dir.write("C0001M01.XML", sonyXml("2024-05-03T14:22:10+09:00"));
    const std::string plainMovie = dir.write("C0002.MP4", ftyp() + moov(0, kShotUtc + 3600 + k1904));
    dir.write("C0003M01.XML", sonyXml(""));
    const std::string noXmlDate = dir.write("C0003.MP4", ftyp() + moov(0, kShotUtc + k1904));
    const std::string notMovie = dir.write("C0004.MP4", "garbage");
    test::PhotoTags zeros;
    zeros.dateTimeOriginal = "0000:00:00 00:00:00";
    const std::string zeroPhoto = dir.write("DSC0001.JPG", test::buildPhoto(test::Container::jpeg, zeros));
    const std::string bareJpeg = dir.write("DSC0002.JPG", "\xFF\xD8\xFF\xD9");
    const std::string audio = dir.write("A0001.WAV", "RIFF....WAVE");

    struct Case {
        const char* what;
        std::string path;
        MediaKind kind;
        DateSource source;
        std::optional<TimeNs> date;
        std::optional<std::string> wall;
    };
    const Case cases[] = {
        {"xml before header", bothMovie, MediaKind::video, DateSource::sonyClipXML, 1714713730 * kNsPerSecond, "2024:05:03 14:22:10"},
        {"header without xml", plainMovie, MediaKind::video, DateSource::quickTime, (kShotUtc + 3600) * kNsPerSecond, "2024:05:03 17:22:10"},
        {"xml without date", noXmlDate, MediaKind::video, DateSource::quickTime, kShotUtc * kNsPerSecond, "2024:05:03 16:22:10"},
        {"neither", notMovie, MediaKind::video, DateSource::fileModified, modified, "2024:05:04 16:22:10"},
        {"zero exif date is kept", zeroPhoto, MediaKind::photo, DateSource::exif, std::nullopt, "0000:00:00 00:00:00"},
        {"no exif", bareJpeg, MediaKind::photo, DateSource::fileModified, modified, "2024:05:04 16:22:10"},
        {"missing file", dir / "nothing.JPG", MediaKind::photo, DateSource::fileModified, modified, "2024:05:04 16:22:10"},
        {"audio", audio, MediaKind::audio, DateSource::fileModified, modified, "2024:05:04 16:22:10"},
        {"other kinds ask no reader", zeroPhoto, MediaKind::other, DateSource::fileModified, modified, "2024:05:04 16:22:10"},
        {"a movie asked as audio", bothMovie, MediaKind::audio, DateSource::fileModified, modified, "2024:05:04 16:22:10"},
    };
    for (const Case& c : cases) {
        const CaptureInfo info = CaptureReader::read(c.path, c.kind, modified, touched);
        EXPECT_EQ(info.source, c.source) << c.what;
        EXPECT_EQ(info.date, c.date) << c.what;
        EXPECT_EQ(info.wallClock, c.wall) << c.what;
        if (c.source == DateSource::fileModified) {
            EXPECT_FALSE(info.model || info.serial || info.uniqueID) << c.what;
        }
    }
}

}  // namespace
}  // namespace halvetrop

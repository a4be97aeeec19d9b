#include "capture/CaptureReader.h"

#include "capture/Parsers.h"
#include "platform/LongPath.h"

#include <algorithm>

namespace halvetrop::CaptureReader {
namespace {

constexpr int64_t kNs = 1'000'000'000;

constexpr DateFormatter kDay(DatePattern::day, DateZone::local);
constexpr DateFormatter kWall(DatePattern::wall, DateZone::local);
constexpr DateFormatter kWallUtc(DatePattern::wall, DateZone::utc);

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A whole number the way a plain decimal integer reads: an optional sign, then ASCII digits only.
std::optional<int> readInteger(std::string_view s) {
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 9) return std::nullopt;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return negative ? -v : v;
}

std::string_view lastComponent(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

const DateFormatter& dayFormatter() { return kDay; }
const DateFormatter& wallFormatter() { return kWall; }
const DateFormatter& wallFormatterUTC() { return kWallUtc; }

std::optional<int32_t> zone(std::string_view text) {
    const std::string_view t = trimBlanks(text);
    // Byte ends of the first six characters; the text must have exactly six.
    size_t ends[6];
    for (size_t i = 0; i < 6; ++i) ends[i] = firstCharacters(t, i + 1).size();
    if (ends[5] != t.size() || characterCount(t) != 6) return std::nullopt;
    if (t[0] != '+' && t[0] != '-') return std::nullopt;
    const auto hours = readInteger(t.substr(ends[0], ends[2] - ends[0]));
    const auto minutes = readInteger(t.substr(ends[3], ends[5] - ends[3]));
    if (!hours || !minutes) return std::nullopt;
    const int32_t seconds = *hours * 3600 + *minutes * 60;
    return t[0] == '-' ? -seconds : seconds;
}

uint32_t be32(std::string_view b, size_t o) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.data()) + o;
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

uint64_t be64(std::string_view b, size_t o) { return static_cast<uint64_t>(be32(b, o)) << 32 | be32(b, o + 4); }

std::optional<std::string> attribute(std::string_view xml, std::string_view element, std::string_view name) {
    std::string open = "<";
    open.append(element).push_back(' ');
    const size_t at = xml.find(open);
    if (at == std::string_view::npos) return std::nullopt;
    const size_t tagStart = at + open.size();
    const size_t close = xml.find('>', tagStart);
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view tag = xml.substr(tagStart, close - tagStart);
    std::string key(name);
    key.append("=\"");
    const size_t k = tag.find(key);
    if (k == std::string_view::npos) return std::nullopt;
    const size_t valueStart = k + key.size();
    const size_t end = tag.find('"', valueStart);
    if (end == std::string_view::npos) return std::nullopt;
    return std::string(tag.substr(valueStart, end - valueStart));
}

std::optional<CaptureInfo> exif(const FileAt& file, AccessTimesTouched& touched, Sys& sys) {
    capture::FileSource source(file, touched, sys);
    if (!source.valid()) return std::nullopt;
    const auto fields = capture::readExifFields(source);
    if (!fields) return std::nullopt;
    return capture::captureFromExif(*fields);
}

std::optional<CaptureInfo> sonyClipXML(const std::string& clipPath, AccessTimesTouched& touched, Sys& sys) {
    const size_t slash = clipPath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = clipPath.rfind('.');
    // A leading dot starts a hidden name, not an extension.
    const size_t stemEnd = (dot == std::string::npos || dot <= nameStart) ? clipPath.size() : dot;
    const std::string stem = clipPath.substr(0, stemEnd);
    for (const char* suffix : {"M01.XML", "M01.xml", "m01.xml"}) {
        const std::string sidecar = stem + suffix;
        struct stat st {};
        if (statLongPath(sys, sidecar, &st) != 0) continue;
        capture::FileSource source(sidecar, touched, sys, 0);
        if (!source.valid()) return std::nullopt;
        std::string bytes;
        const int64_t want = std::min<int64_t>(source.size(), capture::kClipTextLimit + 3);
        if (!source.read(0, want, bytes)) return std::nullopt;
        return capture::clipFromText(capture::clipText(bytes));
    }
    return std::nullopt;
}

std::optional<CaptureInfo> quickTime(const std::string& path, AccessTimesTouched& touched, Sys& sys) {
    // No read-ahead: a movie costs only its small atom headers and one read of the movie atom.
    capture::FileSource source(path, touched, sys, 0);
    if (!source.valid()) return std::nullopt;
    return capture::quickTimeFrom(source, lastComponent(path));
}

namespace {

// The readers fitting the kind, on the file's own bytes from `source`; else the modification time.
template <typename Source>
CaptureInfo readFrom(const std::string& path, MediaKind kind, TimeNs modified, AccessTimesTouched& touched, Sys& sys,
                     Source&& source) {
    std::optional<CaptureInfo> found;
    if (kind == MediaKind::photo) {
        found = source([](capture::ByteSource& s) -> std::optional<CaptureInfo> {
            const auto fields = capture::readExifFields(s);
            return fields ? capture::captureFromExif(*fields) : std::nullopt;
        });
    } else if (kind == MediaKind::video) {
        found = sonyClipXML(path, touched, sys);
        if (!found) {
            found = source([&](capture::ByteSource& s) { return capture::quickTimeFrom(s, lastComponent(path)); });
        }
    }
    if (found) return *found;
    CaptureInfo info;
    info.date = modified;
    info.wallClock = wallFormatter().format(modified);
    info.source = DateSource::fileModified;
    return info;
}

}  // namespace

CaptureInfo read(const std::string& path, MediaKind kind, TimeNs modified, AccessTimesTouched& touched, Sys& sys) {
    return readFrom(path, kind, modified, touched, sys, [&](auto parse) -> std::optional<CaptureInfo> {
        // A photo's lookups nearly all land in its first 64 KiB, read once; a movie costs only its
        // small atom headers and one read of the movie atom, so no read-ahead.
        capture::FileSource source(path, touched, sys, kind == MediaKind::photo ? 64 * 1024 : 0);
        if (!source.valid()) return std::nullopt;
        return parse(source);
    });
}

CaptureInfo read(const std::string& path, std::string_view bytes, MediaKind kind, TimeNs modified,
                 AccessTimesTouched& touched, Sys& sys) {
    return readFrom(path, kind, modified, touched, sys, [&](auto parse) {
        capture::MemorySource source(bytes);
        return parse(source);
    });
}

}  // namespace halvetrop::CaptureReader

namespace halvetrop::capture {

namespace {

// A camera that does not know the time writes the date as blanks, with or without its colons
// (the form EXIF sets aside for "unknown"). Such a text names no day and no shot, so it counts as
// no date text at all; every undated shot would otherwise share one identity.
bool blankDate(const std::optional<std::string>& text) {
    return !text || text->find_first_not_of(" \t:") == std::string::npos;
}

}  // namespace

std::optional<CaptureInfo> captureFromExif(const ExifFields& f) {
    const std::optional<std::string>& text = !blankDate(f.dateTimeOriginal) ? f.dateTimeOriginal : f.dateTimeDigitized;
    if (blankDate(text)) return std::nullopt;
    CaptureInfo info;
    info.source = DateSource::exif;
    std::string wall(CaptureReader::trimBlanks(*text));
    if (f.subSecTimeOriginal && !f.subSecTimeOriginal->empty()) wall += "." + *f.subSecTimeOriginal;
    info.wallClock = std::move(wall);
    const std::string_view cut = firstCharacters(*text, 19);
    info.date = CaptureReader::wallFormatter().parse(cut);
    if (f.offsetTimeOriginal) {
        const auto offset = CaptureReader::zone(*f.offsetTimeOriginal);
        const auto utc = offset ? CaptureReader::wallFormatterUTC().parse(cut) : std::nullopt;
        TimeNs shifted;
        if (utc && !__builtin_sub_overflow(*utc, static_cast<TimeNs>(*offset) * CaptureReader::kNs, &shifted))
            info.date = shifted;
    }
    if (f.model) info.model = std::string(CaptureReader::trimBlanks(*f.model));
    info.serial = f.bodySerialNumber ? f.bodySerialNumber : f.auxSerialNumber;
    info.uniqueID = f.imageUniqueID;
    return info;
}

}  // namespace halvetrop::capture

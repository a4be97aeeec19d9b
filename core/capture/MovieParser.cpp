// The movie-header walk and the clip sidecar text: both bounded by fixed counts and sizes so that
// a multi-gigabyte clip is dated from a handful of small reads.
#include "capture/CaptureReader.h"
#include "capture/Parsers.h"
#include "text/Utf8.h"

#include <algorithm>

namespace halvetrop::capture {
namespace {

constexpr int kMaxAtoms = 64;
constexpr int64_t kHeaderRead = 16;
constexpr int64_t kMovieRead = 65536;
constexpr uint64_t kEpochShift = 2082844800;         // 1904-01-01 to 1970-01-01
constexpr uint64_t kEarliestCreation = 0xB492F401;   // 2000-01-01 00:00:01 UTC after 1904
constexpr int64_t kLatestSeconds = 253402300799;     // 9999-12-31 23:59:59 UTC
constexpr int64_t kNs = 1'000'000'000;

bool hasLocalClockPrefix(std::string_view name) {
    std::string upper(name.substr(0, 4));
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (std::string_view prefix : {"GX", "GH", "GOPR", "GP"})
        if (std::string_view(upper).starts_with(prefix)) return true;
    return false;
}

}  // namespace

std::optional<CaptureInfo> quickTimeFrom(ByteSource& source, std::string_view fileName) {
    using CaptureReader::be32;
    using CaptureReader::be64;
    const int64_t fileSize = source.size();
    int64_t offset = 0;
    std::string b;
    for (int i = 0; i < kMaxAtoms; ++i) {
        if (offset > fileSize - 8) return std::nullopt;
        if (!source.read(offset, std::min(kHeaderRead, fileSize - offset), b) || b.size() < 8) return std::nullopt;
        const uint32_t size32 = be32(b, 0);
        uint64_t size;
        int64_t header = 8;
        if (size32 == 1) {
            if (b.size() < 16) return std::nullopt;
            header = 16;
            size = be64(b, 8);
            if (size == 0)
                size = static_cast<uint64_t>(fileSize - offset);
            else if (size < 16)
                return std::nullopt;
        } else if (size32 == 0) {
            size = static_cast<uint64_t>(fileSize - offset);
        } else {
            if (size32 < 8) return std::nullopt;
            size = size32;
        }
        // An atom claiming more than the file holds is broken; so is the rest of the walk.
        if (size > static_cast<uint64_t>(fileSize - offset)) return std::nullopt;
        if (b.compare(4, 4, "moov") == 0) {
            const int64_t want = std::min<int64_t>(static_cast<int64_t>(size) - header, kMovieRead);
            if (want <= 0 || !source.read(offset + header, want, b)) return std::nullopt;
            const size_t at = b.find("mvhd");
            if (at == std::string::npos) return std::nullopt;
            const size_t p = at + 4;
            if (!(p + 20 < b.size())) return std::nullopt;
            const uint64_t created = static_cast<unsigned char>(b[p]) == 1 ? be64(b, p + 4) : be32(b, p + 4);
            if (created < kEarliestCreation) return std::nullopt;
            const uint64_t since1970 = created - kEpochShift;
            if (since1970 > static_cast<uint64_t>(kLatestSeconds) || since1970 > static_cast<uint64_t>(INT64_MAX / kNs))
                return std::nullopt;
            const TimeNs instant = static_cast<TimeNs>(since1970) * kNs;
            CaptureInfo info;
            info.source = DateSource::quickTime;
            if (hasLocalClockPrefix(fileName)) {
                // These cameras store their own wall clock as if it were UTC.
                info.wallClock = CaptureReader::wallFormatterUTC().format(instant);
                info.date = CaptureReader::wallFormatter().parse(*info.wallClock);
            } else {
                info.date = instant;
                info.wallClock = CaptureReader::wallFormatter().format(instant);
            }
            return info;
        }
        offset += static_cast<int64_t>(size);
    }
    return std::nullopt;
}

std::string_view clipText(std::string_view readBytes) {
    if (static_cast<int64_t>(readBytes.size()) <= kClipTextLimit) return readBytes;
    // Finish a character cut at the limit with at most three continuation bytes.
    size_t end = static_cast<size_t>(kClipTextLimit);
    for (int i = 0; i < 3 && end < readBytes.size(); ++i, ++end)
        if ((static_cast<unsigned char>(readBytes[end]) & 0xC0) != 0x80) break;
    return readBytes.substr(0, end);
}

std::optional<CaptureInfo> clipFromText(std::string_view text) {
    if (!isValidUtf8(text)) return std::nullopt;
    const auto value = CaptureReader::attribute(text, "CreationDate", "value");
    if (!value) return std::nullopt;
    std::string wall(firstCharacters(*value, 19));
    std::replace(wall.begin(), wall.end(), '-', ':');
    std::replace(wall.begin(), wall.end(), 'T', ' ');
    CaptureInfo info;
    info.source = DateSource::sonyClipXML;
    info.date = CaptureReader::wallFormatter().parse(wall);
    const size_t characters = characterCount(*value);
    if (characters >= 25) {
        const std::string_view tail = std::string_view(*value).substr(firstCharacters(*value, characters - 6).size());
        const auto offset = CaptureReader::zone(tail);
        const auto utc = CaptureReader::wallFormatterUTC().parse(wall);
        TimeNs shifted;
        if (offset && utc && !__builtin_sub_overflow(*utc, static_cast<TimeNs>(*offset) * kNs, &shifted))
            info.date = shifted;
    }
    info.wallClock = std::move(wall);
    info.model = CaptureReader::attribute(text, "Device", "modelName");
    info.serial = CaptureReader::attribute(text, "Device", "serialNo");
    return info;
}

}  // namespace halvetrop::capture

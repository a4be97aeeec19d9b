#include "thumbnail/EmbeddedJpeg.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace halvetrop::thumbs {

namespace {

using capture::ByteSource;

constexpr int maxIfds = 48;
constexpr uint32_t maxEntries = 1024;
constexpr int maxDepth = 5;
constexpr uint32_t maxSubIfds = 8;
constexpr int maxSegments = 64;
// A JPEG preview is stored as an UNDEFINED blob by some makers (Panasonic's JpgFromRaw); smaller
// blobs are other data.
constexpr uint32_t minBlob = 256;

enum : uint16_t {
    tagWidth = 0x100,
    tagHeight = 0x101,
    tagCompression = 0x103,
    tagPhotometric = 0x106,
    tagStripOffsets = 0x111,
    tagOrientation = 0x112,
    tagStripByteCounts = 0x117,
    tagSubIfds = 0x14A,
    tagJpegStart = 0x201,
    tagJpegLength = 0x202,
    tagExif = 0x8769,
    tagMakerNote = 0x927C,
};

bool sensorPhotometric(uint32_t p) { return p == 32803 || p == 34892; }  // CFA, LinearRaw

int typeSize(uint16_t type) {
    switch (type) {
        case 1:
        case 2:
        case 6:
        case 7:
            return 1;
        case 3:
        case 8:
            return 2;
        case 4:
        case 9:
        case 11:
        case 13:
            return 4;
        case 5:
        case 10:
        case 12:
            return 8;
        default:
            return 0;
    }
}

struct Frame {
    int64_t base = 0;  // what offsets in this structure count from
    bool little = true;
};

struct Entry {
    uint16_t tag = 0, type = 0;
    uint32_t count = 0;
    int64_t valueAt = 0;  // where the value's bytes lie in the file
};

enum class Kind { first, chain, sub, exif, maker };

uint32_t get(std::string_view b, size_t at, int bytes, bool little) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        const uint32_t byte = uint8_t(b[at + size_t(little ? bytes - 1 - i : i)]);
        v = (v << 8) | byte;
    }
    return v;
}

class Walker {
public:
    explicit Walker(ByteSource& source) : src_(source) {}

    // The TIFF structure whose header is at `base`, its offsets counting from there.
    std::optional<TiffPictures> run(int64_t base = 0) {
        std::string head;
        if (!src_.read(base, 8, head)) return std::nullopt;
        const std::optional<Frame> frame = header(head, base);
        if (!frame) return std::nullopt;
        ifd(*frame, base + get(head, 4, 4, frame->little), 0, Kind::first);
        return std::move(out_);
    }

private:
    // "II" or "MM" and a TIFF magic: 42, ORF's "RO" and "RS", RW2's 0x55.
    static std::optional<Frame> header(std::string_view h, int64_t base) {
        if (h.size() < 8 || (h.substr(0, 2) != "II" && h.substr(0, 2) != "MM")) return std::nullopt;
        const bool little = h[0] == 'I';
        const uint32_t magic = get(h, 2, 2, little);
        if (magic != 42 && magic != 0x4F52 && magic != 0x5352 && magic != 0x55) return std::nullopt;
        return Frame{base, little};
    }

    std::optional<uint32_t> number(const Frame& f, const Entry& e, uint32_t i) {
        const int size = typeSize(e.type);
        if (i >= e.count || (size != 1 && size != 2 && size != 4)) return std::nullopt;
        std::string b;
        if (!src_.read(e.valueAt + int64_t(i) * size, size, b)) return std::nullopt;
        return get(b, 0, size, f.little);
    }

    void add(int64_t offset, int64_t length) {
        if (out_.previews.size() >= maxEmbeddedJpegs || length <= 0) return;
        if (std::any_of(out_.previews.begin(), out_.previews.end(),
                        [&](const EmbeddedJpeg& p) { return p.offset == offset; }))
            return;
        if (auto jpeg = jpegAt(src_, offset, length)) out_.previews.push_back(*jpeg);
    }

    void ifd(const Frame& f, int64_t at, int depth, Kind kind) {
        if (depth > maxDepth || ifds_ >= maxIfds || at <= 0 || !seen_.insert(at).second) return;
        ++ifds_;
        std::string countBytes;
        if (!src_.read(at, 2, countBytes)) return;
        const uint32_t count = get(countBytes, 0, 2, f.little);
        if (count == 0 || count > maxEntries) return;
        std::string table;
        const bool hasNext = src_.read(at + 2, int64_t(count) * 12 + 4, table);
        if (!hasNext && !src_.read(at + 2, int64_t(count) * 12, table)) return;

        std::map<uint16_t, Entry> tags;
        for (uint32_t i = 0; i < count; ++i) {
            const size_t p = size_t(i) * 12;
            Entry e{uint16_t(get(table, p, 2, f.little)), uint16_t(get(table, p + 2, 2, f.little)),
                    get(table, p + 4, 4, f.little), 0};
            const int size = typeSize(e.type);
            if (size == 0) continue;
            const int64_t bytes = int64_t(e.count) * size;
            e.valueAt = bytes <= 4 ? at + 2 + int64_t(p) + 8 : f.base + get(table, p + 8, 4, f.little);
            if (!src_.contains(e.valueAt, bytes)) continue;
            tags.emplace(e.tag, e);
            if ((e.type == 7 || e.type == 1) && e.count >= minBlob && e.tag != tagMakerNote) blob(e);
        }
        auto value = [&](uint16_t tag) -> std::optional<uint32_t> {
            const auto it = tags.find(tag);
            return it == tags.end() ? std::nullopt : number(f, it->second, 0);
        };
        auto single = [&](uint16_t tag) -> std::optional<uint32_t> {
            const auto it = tags.find(tag);
            return it == tags.end() || it->second.count != 1 ? std::nullopt : number(f, it->second, 0);
        };
        auto pair = [&](std::optional<uint32_t> start, std::optional<uint32_t> length) {
            if (start && length) add(f.base + *start, *length);
        };

        const uint32_t photometric = value(tagPhotometric).value_or(0);
        if (kind == Kind::first) {
            out_.width = int(std::min<uint32_t>(value(tagWidth).value_or(0), INT32_MAX));
            out_.height = int(std::min<uint32_t>(value(tagHeight).value_or(0), INT32_MAX));
            out_.sensorData = sensorPhotometric(photometric);
            const uint32_t o = value(tagOrientation).value_or(1);
            out_.orientation = o >= 1 && o <= 8 ? int(o) : 1;
        }
        pair(value(tagJpegStart), value(tagJpegLength));
        // An image compressed as one JPEG strip (old-style 6 or new-style 7) that is not sensor
        // data: CR2's IFD0, the previews of DNG and NEF SubIFDs.
        const uint32_t compression = value(tagCompression).value_or(0);
        if ((compression == 6 || compression == 7) && !sensorPhotometric(photometric))
            pair(single(tagStripOffsets), single(tagStripByteCounts));
        if (kind == Kind::maker) {
            pair(value(0x0101), value(0x0102));  // Olympus camera settings: PreviewImageStart, Length
            pair(value(0x0004), value(0x0003));  // Pentax: PreviewImageStart, PreviewImageLength
        }

        if (const auto it = tags.find(tagSubIfds); it != tags.end())
            for (uint32_t i = 0; i < std::min(it->second.count, maxSubIfds); ++i)
                if (auto o = number(f, it->second, i)) ifd(f, f.base + *o, depth + 1, Kind::sub);
        if (auto o = value(tagExif)) ifd(f, f.base + *o, depth + 1, Kind::exif);
        if (kind == Kind::exif)
            if (const auto it = tags.find(tagMakerNote); it != tags.end())
                makerNote(f, it->second.valueAt, it->second.count, depth + 1);
        if (kind == Kind::maker) {
            // Nikon's PreviewIFD and Olympus's CameraSettings; the latter, when UNDEFINED, is
            // stored in place.
            for (uint16_t tag : {uint16_t(0x0011), uint16_t(0x2020)}) {
                const auto it = tags.find(tag);
                if (it == tags.end()) continue;
                if (it->second.type == 7)
                    ifd(f, it->second.valueAt, depth + 1, Kind::maker);
                else if (auto o = number(f, it->second, 0))
                    ifd(f, f.base + *o, depth + 1, Kind::maker);
            }
        }
        if (hasNext && (kind == Kind::first || kind == Kind::chain))
            if (const uint32_t next = get(table, size_t(count) * 12, 4, f.little))
                ifd(f, f.base + next, depth, Kind::chain);
    }

    void blob(const Entry& e) {
        std::string magic;
        if (src_.read(e.valueAt, 3, magic) && magic == "\xFF\xD8\xFF") add(e.valueAt, e.count);
    }

    // The maker note's own layout, by its signature; a note without one is a plain IFD.
    void makerNote(const Frame& f, int64_t at, uint32_t count, int depth) {
        std::string h;
        if (!src_.read(at, std::min<int64_t>(count, 18), h)) return;
        auto starts = [&](std::string_view s) { return std::string_view(h).substr(0, s.size()) == s; };
        auto order = [&](size_t p) -> std::optional<bool> {
            if (h.size() < p + 2) return std::nullopt;
            if (h.compare(p, 2, "II") == 0) return true;
            if (h.compare(p, 2, "MM") == 0) return false;
            return std::nullopt;
        };
        if (starts(std::string_view("Nikon\0\x02", 7))) {
            // A whole TIFF header of its own at +10; its offsets count from there.
            if (h.size() < 18) return;
            if (auto inner = header(std::string_view(h).substr(10), at + 10))
                ifd(*inner, at + 10 + get(h, 14, 4, inner->little), depth, Kind::maker);
        } else if (starts(std::string_view("OLYMPUS\0", 8)) || starts(std::string_view("OM SYSTEM\0", 10))) {
            const size_t p = starts("OLYMPUS") ? 8 : 12;
            if (auto little = order(p)) ifd(Frame{at, *little}, at + int64_t(p) + 4, depth, Kind::maker);
        } else if (starts(std::string_view("OLYMP\0", 6))) {
            ifd(f, at + 8, depth, Kind::maker);
        } else if (starts(std::string_view("AOC\0", 4))) {
            ifd(Frame{f.base, order(4).value_or(f.little)}, at + 6, depth, Kind::maker);
        } else if (starts(std::string_view("SONY DSC \0\0\0", 12)) ||
                   starts(std::string_view("Panasonic\0\0\0", 12))) {
            ifd(f, at + 12, depth, Kind::maker);
        } else {
            ifd(f, at, depth, Kind::maker);
        }
    }

    ByteSource& src_;
    TiffPictures out_;
    std::set<int64_t> seen_;
    int ifds_ = 0;
};

bool unsupportedFrame(uint8_t m) {
    return m == 0xC3 || (m >= 0xC5 && m <= 0xC7) || (m >= 0xC9 && m <= 0xCB) || (m >= 0xCD && m <= 0xCF);
}

}  // namespace

std::optional<TiffPictures> tiffPictures(ByteSource& source) { return Walker(source).run(); }

namespace {

// Fujifilm's header: its magic, then at 84 the offset and length of a JPEG, big-endian.
std::optional<TiffPictures> rafPictures(ByteSource& source) {
    std::string h;
    if (!source.read(0, 92, h) || h.compare(0, 16, "FUJIFILMCCD-RAW ") != 0) return std::nullopt;
    TiffPictures out;
    out.sensorData = true;
    out.orientation = 0;
    if (auto jpeg = jpegAt(source, get(h, 84, 4, false), get(h, 88, 4, false))) out.previews.push_back(*jpeg);
    return out;
}

constexpr int maxBoxes = 64;

struct Box {
    int64_t start = 0, size = 0, header = 8;
    std::string type;
    int64_t payload() const { return start + header; }
    int64_t end() const { return start + size; }
};

// The box at `pos` when it lies whole before `end`.
std::optional<Box> boxAt(ByteSource& source, int64_t pos, int64_t end) {
    std::string b;
    if (end - pos < 8 || !source.read(pos, 8, b)) return std::nullopt;
    Box box{pos, get(b, 0, 4, false), 8, b.substr(4, 4)};
    if (box.size == 1) {
        if (end - pos < 16 || !source.read(pos + 8, 8, b)) return std::nullopt;
        const uint64_t large = (uint64_t(get(b, 0, 4, false)) << 32) | get(b, 4, 4, false);
        if (large > uint64_t(end - pos)) return std::nullopt;
        box.size = int64_t(large);
        box.header = 16;
    } else if (box.size == 0) {
        box.size = end - pos;  // to the end of its parent
    }
    if (box.size < box.header || box.size > end - pos) return std::nullopt;
    return box;
}

// The boxes of [begin, end), at most maxBoxes of them.
std::vector<Box> boxesIn(ByteSource& source, int64_t begin, int64_t end) {
    std::vector<Box> out;
    for (int64_t pos = begin; out.size() < size_t(maxBoxes);) {
        const std::optional<Box> box = boxAt(source, pos, end);
        if (!box) break;
        out.push_back(*box);
        pos = box->end();
    }
    return out;
}

bool hasUuid(ByteSource& source, const Box& box, std::string_view uuid) {
    std::string id;
    return box.type == "uuid" && box.end() - box.payload() >= 16 && source.read(box.payload(), 16, id) &&
           id == uuid;
}

// A JPEG that starts within a few fields of `begin` (each box has its own small header: version,
// sizes) and runs at most to `end`.
std::optional<EmbeddedJpeg> jpegNear(ByteSource& source, int64_t begin, int64_t end) {
    std::string b;
    const int64_t span = std::min<int64_t>(48, end - begin);
    if (span < 3 || !source.read(begin, span, b)) return std::nullopt;
    const size_t at = b.find("\xFF\xD8\xFF");
    return at == std::string::npos ? std::nullopt
                                   : jpegAt(source, begin + int64_t(at), end - begin - int64_t(at));
}

std::optional<TiffPictures> cr3Pictures(ByteSource& source) {
    static const std::string canon("\x85\xc0\xb6\x87\x82\x0f\x11\xe0\x81\x11\xf4\xce\x46\x2b\x6a\x48", 16);
    static const std::string preview("\xea\xf4\x2b\x5e\x1c\x98\x4b\x88\xb9\xfb\xb7\xdc\x40\x6e\x4d\x16", 16);
    std::string h;
    if (!source.read(0, 12, h) || h.compare(4, 8, "ftypcrx ") != 0) return std::nullopt;
    TiffPictures out;
    out.sensorData = true;
    auto add = [&](std::optional<EmbeddedJpeg> jpeg) {
        if (jpeg && out.previews.size() < maxEmbeddedJpegs) out.previews.push_back(*jpeg);
    };
    for (const Box& top : boxesIn(source, 0, source.size())) {
        if (top.type == "moov") {
            for (const Box& inner : boxesIn(source, top.payload(), top.end())) {
                if (!hasUuid(source, inner, canon)) continue;
                for (const Box& item : boxesIn(source, inner.payload() + 16, inner.end())) {
                    if (item.type == "THMB") add(jpegNear(source, item.payload(), item.end()));
                    // IFD0 of the camera's TIFF structure holds the orientation.
                    if (item.type == "CMT1") {
                        if (auto ifd0 = Walker(source).run(item.payload()))
                            out.orientation = ifd0->orientation;
                    }
                }
            }
        } else if (hasUuid(source, top, preview)) {
            for (const Box& item : boxesIn(source, top.payload() + 16 + 8, top.end()))
                if (item.type == "PRVW") add(jpegNear(source, item.payload(), item.end()));
        }
    }
    return out;
}

}  // namespace

std::optional<TiffPictures> rawPictures(ByteSource& source) {
    if (auto tiff = tiffPictures(source)) return tiff;
    if (auto raf = rafPictures(source)) return raf;
    return cr3Pictures(source);
}

std::optional<EmbeddedJpeg> jpegAt(ByteSource& source, int64_t offset, int64_t length) {
    if (length < 4 || !source.contains(offset, length)) return std::nullopt;
    std::string b;
    if (!source.read(offset, 2, b) || b != "\xFF\xD8") return std::nullopt;
    const int64_t end = offset + length;
    int64_t pos = offset + 2;
    for (int i = 0; i < maxSegments; ++i) {
        if (end - pos < 4 || !source.read(pos, 4, b) || uint8_t(b[0]) != 0xFF) return std::nullopt;
        const uint8_t marker = uint8_t(b[1]);
        if (marker == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA || unsupportedFrame(marker)) return std::nullopt;
        const uint32_t segment = get(b, 2, 2, false);
        if (segment < 2) return std::nullopt;
        if (marker >= 0xC0 && marker <= 0xC2) {
            if (segment < 8 || end - pos < 9 || !source.read(pos + 4, 5, b)) return std::nullopt;
            const int height = int(get(b, 1, 2, false)), width = int(get(b, 3, 2, false));
            if (uint8_t(b[0]) != 8 || width == 0 || height == 0) return std::nullopt;
            return EmbeddedJpeg{offset, length, width, height};
        }
        pos += 2 + int64_t(segment);
    }
    return std::nullopt;
}

std::optional<EmbeddedJpeg> largest(const std::vector<EmbeddedJpeg>& previews) {
    std::optional<EmbeddedJpeg> best;
    for (const EmbeddedJpeg& p : previews)
        if (!best || int64_t(p.width) * p.height > int64_t(best->width) * best->height) best = p;
    return best;
}

}  // namespace halvetrop::thumbs

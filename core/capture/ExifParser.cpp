// Our own reader of the few EXIF tags a check needs, over every photo container a camera writes.
// Every structure is read through ByteSource, which refuses any range outside the file or beyond
// the read budget; the walks below are bounded by fixed counts and follow no chain of IFDs (only
// IFD0 -> Exif IFD -> maker note), so no file can make them loop.
#include "capture/Parsers.h"
#include "text/Utf8.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace halvetrop::capture {
namespace {

constexpr size_t kMaxIfdEntries = 1024;
constexpr int64_t kMaxText = 4096;
constexpr int kMaxJpegSegments = 512;
constexpr int kMaxBoxes = 256;
constexpr int kMaxChunks = 1024;
constexpr int64_t kMaxMetaBox = 1 << 20;

uint16_t be16(const unsigned char* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t be32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}
uint32_t le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
}
const unsigned char* bytes(const std::string& s, size_t at = 0) {
    return reinterpret_cast<const unsigned char*>(s.data()) + at;
}

// ---- TIFF structure ------------------------------------------------------------------------

struct Tiff {
    ByteSource* source;
    int64_t base;    // where the TIFF header starts in the source
    int64_t length;  // bytes of the block; every offset inside is checked against it
    bool little;
    uint16_t magic = 42;

    uint16_t u16(const unsigned char* p) const { return little ? static_cast<uint16_t>(p[1] << 8 | p[0]) : be16(p); }
    uint32_t u32(const unsigned char* p) const { return little ? le32(p) : be32(p); }
    bool read(int64_t offset, int64_t count, std::string& out) const {
        if (offset < 0 || count < 0 || offset > length || count > length - offset) return false;
        return source->read(base + offset, count, out);
    }
};

struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    std::array<unsigned char, 4> value;  // the inline value, or the offset of the value
};

// Byte order "II"/"MM", then the magic: 42 for TIFF, "RO"/"RS" for Olympus ORF, 0x55 for
// Panasonic RW2 (their raws are TIFF with another magic).
std::optional<Tiff> openTiff(ByteSource& source, int64_t base, int64_t length, int64_t* ifd0) {
    if (!source.contains(base, length) || length < 8) return std::nullopt;
    std::string header;
    if (!source.read(base, 8, header)) return std::nullopt;
    Tiff tiff{&source, base, length, false};
    if (header.compare(0, 2, "II") == 0)
        tiff.little = true;
    else if (header.compare(0, 2, "MM") != 0)
        return std::nullopt;
    const uint16_t magic = tiff.u16(bytes(header, 2));
    if (magic != 42 && magic != 0x4F52 && magic != 0x5352 && magic != 0x55) return std::nullopt;
    tiff.magic = magic;
    *ifd0 = tiff.u32(bytes(header, 4));
    return tiff;
}

bool readIfd(const Tiff& tiff, int64_t offset, std::vector<Entry>& entries) {
    entries.clear();
    std::string buffer;
    if (!tiff.read(offset, 2, buffer)) return false;
    const size_t count = tiff.u16(bytes(buffer));
    if (count == 0 || count > kMaxIfdEntries) return false;
    if (!tiff.read(offset + 2, static_cast<int64_t>(count) * 12, buffer)) return false;
    entries.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* p = bytes(buffer, i * 12);
        Entry e{tiff.u16(p), tiff.u16(p + 2), tiff.u32(p + 4), {}};
        std::memcpy(e.value.data(), p + 8, 4);
        entries.push_back(e);
    }
    return true;
}

// An ASCII value as text: cut at its first NUL, bounded, broken UTF-8 repaired. Other types are
// not text and leave `out` absent. False (and `out` absent) when the value lies outside the block.
bool textValue(const Tiff& tiff, const Entry& e, std::optional<std::string>& out) {
    out.reset();
    if (e.type != 2) return true;
    std::string raw;
    if (e.count <= 4) {
        raw.assign(reinterpret_cast<const char*>(e.value.data()), e.count);
    } else {
        const int64_t want = std::min<int64_t>(e.count, kMaxText);
        if (!tiff.read(tiff.u32(e.value.data()), want, raw)) return false;
    }
    const size_t nul = raw.find('\0');
    if (nul != std::string::npos) raw.resize(nul);
    out = repairUtf8(raw);
    return true;
}

// A tag the shot can do without: a value outside the block costs that tag alone.
void optionalText(const Tiff& tiff, const Entry& e, std::optional<std::string>& out) { (void)textValue(tiff, e, out); }

// The offset an IFD pointer tag holds (LONG or IFD type, one value).
std::optional<int64_t> pointerValue(const Tiff& tiff, const Entry& e) {
    if ((e.type != 4 && e.type != 13) || e.count != 1) return std::nullopt;
    return tiff.u32(e.value.data());
}

// Nikon's maker note since the D1 era: "Nikon\0", version 2.x, two bytes, then a TIFF structure
// of its own whose offsets count from that inner header.
std::optional<std::string> nikonSerial(const Tiff& tiff, const Entry& e) {
    if (e.count < 18) return std::nullopt;
    const int64_t start = tiff.u32(e.value.data());
    std::string head;
    if (!tiff.read(start, 10, head) || head.compare(0, 6, std::string_view("Nikon\0", 6)) != 0 || head[6] != 2)
        return std::nullopt;
    int64_t ifd0 = 0;
    const auto inner = openTiff(*tiff.source, tiff.base + start + 10, static_cast<int64_t>(e.count) - 10, &ifd0);
    std::vector<Entry> entries;
    if (!inner || !readIfd(*inner, ifd0, entries)) return std::nullopt;
    std::optional<std::string> serial;
    for (const Entry& n : entries)
        if (n.tag == 0x001D) return textValue(*inner, n, serial) ? serial : std::nullopt;
    return std::nullopt;
}

// IFD0 of the primary image: model, the DNG serial (not in RW2, whose IFD0 numbers tags of its
// own) and the Exif IFD pointer.
bool readIfd0(const Tiff& tiff, int64_t offset, ExifFields& f, std::optional<int64_t>* exifIfd) {
    std::vector<Entry> entries;
    if (!readIfd(tiff, offset, entries)) return false;
    for (const Entry& e : entries) {
        if (e.tag == 0x0110 && !f.model)
            optionalText(tiff, e, f.model);
        else if (e.tag == 0xC62F && tiff.magic != 0x55 && !f.auxSerialNumber)
            optionalText(tiff, e, f.auxSerialNumber);
        else if (e.tag == 0x8769 && exifIfd && !*exifIfd)
            *exifIfd = pointerValue(tiff, e);
    }
    return true;
}

bool readExifIfd(const Tiff& tiff, int64_t offset, ExifFields& f) {
    std::vector<Entry> entries;
    if (!readIfd(tiff, offset, entries)) return false;
    const Entry* makerNote = nullptr;
    for (const Entry& e : entries) {
        switch (e.tag) {
            // A date whose value cannot be read leaves nothing to date the shot by: the reader
            // ends, and the caller falls back to the file's own time.
            case 0x9003:
                if (!textValue(tiff, e, f.dateTimeOriginal)) return false;
                break;
            case 0x9004:
                if (!textValue(tiff, e, f.dateTimeDigitized)) return false;
                break;
            case 0x9291: optionalText(tiff, e, f.subSecTimeOriginal); break;
            case 0x9011: optionalText(tiff, e, f.offsetTimeOriginal); break;
            case 0xA431: optionalText(tiff, e, f.bodySerialNumber); break;
            case 0xA420: optionalText(tiff, e, f.imageUniqueID); break;
            case 0x927C: makerNote = &e; break;
            default: break;
        }
    }
    // A broken maker note costs only the fallback serial, never the dates.
    if (!f.auxSerialNumber && makerNote) f.auxSerialNumber = nikonSerial(tiff, *makerNote);
    return true;
}

std::optional<ExifFields> fromTiff(ByteSource& source, int64_t base, int64_t length) {
    int64_t ifd0 = 0;
    const auto tiff = openTiff(source, base, length, &ifd0);
    if (!tiff) return std::nullopt;
    ExifFields f;
    std::optional<int64_t> exifIfd;
    if (!readIfd0(*tiff, ifd0, f, &exifIfd) || !exifIfd) return std::nullopt;
    if (!readExifIfd(*tiff, *exifIfd, f)) return std::nullopt;
    return f;
}

// Blocks stored by themselves (PNG eXIf, WebP EXIF, HEIF items) sometimes keep the JPEG
// "Exif\0\0" prefix before the TIFF header.
std::optional<ExifFields> fromTiffMaybePrefixed(ByteSource& source, int64_t base, int64_t length) {
    std::string head;
    if (length >= 6 && source.read(base, 6, head) && head == std::string_view("Exif\0\0", 6))
        return fromTiff(source, base + 6, length - 6);
    return fromTiff(source, base, length);
}

// ---- JPEG ----------------------------------------------------------------------------------

// Segments from SOI up to the first scan; the first APP1 that starts with "Exif\0\0" is the
// EXIF block. `end` bounds a JPEG embedded in another file (RAF).
std::optional<ExifFields> fromJpeg(ByteSource& source, int64_t start, int64_t end) {
    int64_t pos = start + 2;
    std::string b;
    for (int i = 0; i < kMaxJpegSegments; ++i) {
        if (pos > end - 4 || !source.read(pos, 4, b)) return std::nullopt;
        if (bytes(b)[0] != 0xFF) return std::nullopt;
        const unsigned char marker = bytes(b)[1];
        if (marker == 0xFF) {  // fill byte before a marker
            pos += 1;
            continue;
        }
        if (marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) return std::nullopt;
        const int64_t length = be16(bytes(b, 2));
        if (length < 2 || length > end - pos - 2) return std::nullopt;
        if (marker == 0xE1 && length >= 8) {
            std::string id;
            if (!source.read(pos + 4, 6, id)) return std::nullopt;
            if (id == std::string_view("Exif\0\0", 6)) return fromTiff(source, pos + 10, length - 8);
        }
        pos += 2 + length;
    }
    return std::nullopt;
}

// ---- RAF -----------------------------------------------------------------------------------

// Fujifilm RAF: a fixed header whose bytes 84-91 give the offset and length of a full JPEG
// (big-endian), which carries the EXIF.
std::optional<ExifFields> fromRaf(ByteSource& source) {
    std::string h;
    if (!source.read(84, 8, h)) return std::nullopt;
    const int64_t offset = be32(bytes(h)), length = be32(bytes(h, 4));
    if (!source.contains(offset, length) || length < 4) return std::nullopt;
    std::string soi;
    if (!source.read(offset, 2, soi) || bytes(soi)[0] != 0xFF || bytes(soi)[1] != 0xD8) return std::nullopt;
    return fromJpeg(source, offset, offset + length);
}

// ---- PNG and WebP --------------------------------------------------------------------------

std::optional<ExifFields> fromPng(ByteSource& source) {
    int64_t pos = 8;
    std::string b;
    for (int i = 0; i < kMaxChunks; ++i) {
        if (!source.read(pos, 8, b)) return std::nullopt;
        const int64_t length = be32(bytes(b));
        const std::string_view type(b.data() + 4, 4);
        if (length > source.size() - pos - 12) return std::nullopt;  // data plus CRC must fit
        if (type == "eXIf") return fromTiffMaybePrefixed(source, pos + 8, length);
        if (type == "IEND") return std::nullopt;
        pos += 12 + length;
    }
    return std::nullopt;
}

std::optional<ExifFields> fromWebp(ByteSource& source) {
    int64_t pos = 12;
    std::string b;
    for (int i = 0; i < kMaxChunks; ++i) {
        if (!source.read(pos, 8, b)) return std::nullopt;
        const int64_t length = le32(bytes(b, 4));
        if (length > source.size() - pos - 8) return std::nullopt;
        if (std::string_view(b.data(), 4) == "EXIF") return fromTiffMaybePrefixed(source, pos + 8, length);
        pos += 8 + length + (length & 1);  // chunks are padded to an even size
    }
    return std::nullopt;
}

// ---- ISO base media file format (HEIF, AVIF, CR3) ------------------------------------------

struct Box {
    std::string type;
    int64_t start = 0;
    int64_t header = 0;
    int64_t size = 0;
    int64_t payload() const { return start + header; }
    int64_t payloadSize() const { return size - header; }
};

// The box at `pos`, which must lie wholly inside [pos, end); size 0 runs to `end`.
std::optional<Box> boxAt(ByteSource& source, int64_t pos, int64_t end) {
    if (pos < 0 || pos > end - 8) return std::nullopt;
    std::string b;
    const int64_t want = std::min<int64_t>(16, end - pos);
    if (!source.read(pos, want, b)) return std::nullopt;
    Box box;
    box.type.assign(b, 4, 4);
    box.start = pos;
    const uint32_t size32 = be32(bytes(b));
    if (size32 == 1) {
        if (want < 16) return std::nullopt;
        const uint64_t size64 = static_cast<uint64_t>(be32(bytes(b, 8))) << 32 | be32(bytes(b, 12));
        box.header = 16;
        if (size64 > static_cast<uint64_t>(end - pos)) return std::nullopt;
        box.size = static_cast<int64_t>(size64);
    } else if (size32 == 0) {
        box.header = 8;
        box.size = end - pos;
    } else {
        box.header = 8;
        box.size = size32;
    }
    if (box.size < box.header || box.size > end - pos) return std::nullopt;
    return box;
}

// The first box of `type` among the boxes of [begin, end).
std::optional<Box> findBox(ByteSource& source, int64_t begin, int64_t end, std::string_view type) {
    int64_t pos = begin;
    for (int i = 0; i < kMaxBoxes && pos < end; ++i) {
        const auto box = boxAt(source, pos, end);
        if (!box) return std::nullopt;
        if (box->type == type) return box;
        pos += box->size;
    }
    return std::nullopt;
}

// Reads big-endian integers from a buffer; any read past its end makes it fail for good.
class Cursor {
public:
    explicit Cursor(std::string_view data, size_t pos = 0) : data_(data), pos_(pos), ok_(pos <= data.size()) {}
    uint64_t uint(size_t width) {
        if (!ok_ || width > data_.size() - pos_) {
            ok_ = false;
            return 0;
        }
        uint64_t v = 0;
        for (size_t i = 0; i < width; ++i) v = v << 8 | static_cast<unsigned char>(data_[pos_ + i]);
        pos_ += width;
        return v;
    }
    std::string_view take(size_t n) {
        if (!ok_ || n > data_.size() - pos_) {
            ok_ = false;
            return {};
        }
        pos_ += n;
        return data_.substr(pos_ - n, n);
    }
    bool ok() const { return ok_; }

private:
    std::string_view data_;
    size_t pos_;
    bool ok_;
};

struct ItemLocation {
    int construction = 0;
    uint64_t baseOffset = 0;
    uint64_t extentOffset = 0;
    uint64_t extentLength = 0;
};

// The ids of the items of type "Exif" in an iinf box, in their order.
std::vector<uint32_t> exifItemIds(ByteSource& meta, const Box& iinf) {
    std::vector<uint32_t> ids;
    std::string header;
    if (!meta.read(iinf.payload(), 4, header)) return ids;
    const int64_t first = iinf.payload() + 4 + (header[0] == 0 ? 2 : 4);
    const int64_t end = iinf.start + iinf.size;
    int64_t pos = first;
    std::string b;
    for (int i = 0; i < 4096 && pos < end; ++i) {
        const auto infe = boxAt(meta, pos, end);
        if (!infe) break;
        if (infe->type == "infe" && infe->payloadSize() >= 4 &&
            meta.read(infe->payload(), std::min<int64_t>(infe->payloadSize(), 16), b)) {
            Cursor c(b);
            const auto version = c.uint(1);
            c.uint(3);
            if (version >= 2) {
                const auto id = c.uint(version == 2 ? 2 : 4);
                c.uint(2);
                const auto type = c.take(4);
                if (c.ok() && type == "Exif") ids.push_back(static_cast<uint32_t>(id));
            }
        }
        pos += infe->size;
    }
    return ids;
}

// The primary item (pitm), when stated.
std::optional<uint32_t> primaryItem(ByteSource& meta, int64_t begin, int64_t end) {
    const auto pitm = findBox(meta, begin, end, "pitm");
    std::string b;
    if (!pitm || pitm->payloadSize() < 6 || !meta.read(pitm->payload(), std::min<int64_t>(pitm->payloadSize(), 8), b))
        return std::nullopt;
    Cursor c(b);
    const auto version = c.uint(1);
    c.uint(3);
    const auto id = c.uint(version == 0 ? 2 : 4);
    return c.ok() ? std::optional<uint32_t>(static_cast<uint32_t>(id)) : std::nullopt;
}

// Writers that replace the EXIF of a HEIF file may leave the old item in place and point the
// image at a new one, so the item that describes ("cdsc") the primary image wins; otherwise the
// first EXIF item.
std::optional<uint32_t> chooseExifItem(ByteSource& meta, int64_t begin, int64_t end, const std::vector<uint32_t>& ids) {
    if (ids.empty()) return std::nullopt;
    const auto primary = primaryItem(meta, begin, end);
    const auto iref = findBox(meta, begin, end, "iref");
    std::string b;
    if (!primary || !iref || iref->payloadSize() < 4 || !meta.read(iref->payload(), iref->payloadSize(), b))
        return ids.front();
    Cursor c(b);
    const size_t width = c.uint(1) == 0 ? 2 : 4;
    c.uint(3);
    for (int i = 0; i < 4096 && c.ok(); ++i) {
        const auto size = c.uint(4);
        const auto type = c.take(4);
        if (!c.ok() || size < 8) break;
        const auto from = c.uint(width);
        const auto count = c.uint(2);
        bool describesPrimary = false;
        for (uint64_t k = 0; k < count && c.ok(); ++k) describesPrimary |= c.uint(width) == *primary;
        if (!c.ok()) break;
        if (type == "cdsc" && describesPrimary && std::find(ids.begin(), ids.end(), from) != ids.end())
            return static_cast<uint32_t>(from);
    }
    return ids.front();
}

std::optional<ItemLocation> itemLocation(std::string_view iloc, uint32_t wanted) {
    Cursor c(iloc);
    const auto version = c.uint(1);
    c.uint(3);
    const auto sizes = c.uint(1), sizes2 = c.uint(1);
    const size_t offsetSize = sizes >> 4, lengthSize = sizes & 15, baseSize = sizes2 >> 4;
    const size_t indexSize = (version == 1 || version == 2) ? (sizes2 & 15) : 0;
    for (size_t s : {offsetSize, lengthSize, baseSize, indexSize})
        if (s != 0 && s != 4 && s != 8) return std::nullopt;
    if (version > 2) return std::nullopt;
    const uint64_t items = c.uint(version < 2 ? 2 : 4);
    for (uint64_t i = 0; i < items && c.ok() && i < 65536; ++i) {
        ItemLocation loc;
        const auto id = c.uint(version < 2 ? 2 : 4);
        if (version >= 1) loc.construction = static_cast<int>(c.uint(2) & 15);
        c.uint(2);  // data reference index
        loc.baseOffset = c.uint(baseSize);
        const auto extents = c.uint(2);
        for (uint64_t x = 0; x < extents && c.ok(); ++x) {
            c.uint(indexSize);
            const auto off = c.uint(offsetSize), len = c.uint(lengthSize);
            if (x == 0) {
                loc.extentOffset = off;
                loc.extentLength = len;
            }
        }
        if (!c.ok()) return std::nullopt;
        if (id == wanted && extents >= 1) return loc;
    }
    return std::nullopt;
}

// HEIF and AVIF: the item of type "Exif" found through meta/iinf, located through meta/iloc
// (in the file, or in meta/idat); its data begins with the offset of the TIFF header.
std::optional<ExifFields> fromHeif(ByteSource& source) {
    const auto meta = findBox(source, 0, source.size(), "meta");
    if (!meta || meta->payloadSize() < 4 || meta->payloadSize() > kMaxMetaBox) return std::nullopt;
    std::string metaBytes;
    if (!source.read(meta->payload(), meta->payloadSize(), metaBytes)) return std::nullopt;
    MemorySource metaSource(metaBytes);
    const int64_t end = metaSource.size();
    const auto iinf = findBox(metaSource, 4, end, "iinf");
    if (!iinf) return std::nullopt;
    const auto id = chooseExifItem(metaSource, 4, end, exifItemIds(metaSource, *iinf));
    if (!id) return std::nullopt;
    const auto ilocBox = findBox(metaSource, 4, end, "iloc");
    if (!ilocBox) return std::nullopt;
    const auto loc = itemLocation(std::string_view(metaBytes).substr(static_cast<size_t>(ilocBox->payload()),
                                                                      static_cast<size_t>(ilocBox->payloadSize())),
                                  *id);
    if (!loc) return std::nullopt;

    ByteSource* data = &source;
    int64_t dataStart = 0;
    if (loc->construction == 1) {
        const auto idat = findBox(metaSource, 4, end, "idat");
        if (!idat) return std::nullopt;
        data = &metaSource;
        dataStart = idat->payload();
    } else if (loc->construction != 0) {
        return std::nullopt;
    }
    // Far beyond any file, and small enough that the sum of the two offsets and the idat start
    // cannot overflow before contains() turns it away.
    constexpr uint64_t kLimit = uint64_t{1} << 60;
    if (loc->baseOffset >= kLimit || loc->extentOffset >= kLimit) return std::nullopt;
    const int64_t offset = dataStart + static_cast<int64_t>(loc->baseOffset) + static_cast<int64_t>(loc->extentOffset);
    int64_t length = static_cast<int64_t>(std::min<uint64_t>(loc->extentLength, kLimit));
    if (length == 0 && offset <= data->size()) length = data->size() - offset;  // to the end
    if (!data->contains(offset, length) || length < 4) return std::nullopt;
    std::string head;
    if (!data->read(offset, 4, head)) return std::nullopt;
    const int64_t skip = be32(bytes(head));
    if (skip > length - 4) return std::nullopt;
    return fromTiffMaybePrefixed(*data, offset + 4 + skip, length - 4 - skip);
}

// Canon CR3: moov holds a uuid box (85c0b687-820f-11e0-8111-f4ce462b6a48) whose CMT1 box is a
// TIFF structure with IFD0 and whose CMT2 box is one whose first IFD holds the Exif tags.
std::optional<ExifFields> fromCr3(ByteSource& source) {
    static constexpr unsigned char kCanonUuid[16] = {0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0,
                                                     0x81, 0x11, 0xf4, 0xce, 0x46, 0x2b, 0x6a, 0x48};
    const auto moov = findBox(source, 0, source.size(), "moov");
    if (!moov) return std::nullopt;
    int64_t pos = moov->payload();
    const int64_t moovEnd = moov->start + moov->size;
    std::optional<Box> canon;
    std::string id;
    for (int i = 0; i < kMaxBoxes && pos < moovEnd && !canon; ++i) {
        const auto box = boxAt(source, pos, moovEnd);
        if (!box) return std::nullopt;
        if (box->type == "uuid" && box->payloadSize() >= 16 && source.read(box->payload(), 16, id) &&
            std::memcmp(id.data(), kCanonUuid, 16) == 0)
            canon = box;
        pos += box->size;
    }
    if (!canon) return std::nullopt;
    const int64_t begin = canon->payload() + 16, end = canon->start + canon->size;
    const auto cmt1 = findBox(source, begin, end, "CMT1");
    const auto cmt2 = findBox(source, begin, end, "CMT2");
    if (!cmt2) return std::nullopt;
    ExifFields f;
    if (cmt1) {
        int64_t ifd0 = 0;
        const auto tiff = openTiff(source, cmt1->payload(), cmt1->payloadSize(), &ifd0);
        if (!tiff || !readIfd0(*tiff, ifd0, f, nullptr)) return std::nullopt;
    }
    int64_t exifIfd = 0;
    const auto tiff = openTiff(source, cmt2->payload(), cmt2->payloadSize(), &exifIfd);
    if (!tiff || !readExifIfd(*tiff, exifIfd, f)) return std::nullopt;
    return f;
}

}  // namespace

std::optional<ExifFields> readExifFields(ByteSource& source) {
    std::string head;
    const int64_t want = std::min<int64_t>(source.size(), 16);
    if (want < 8 || !source.read(0, want, head)) return std::nullopt;
    const auto* b = bytes(head);
    if (b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return fromJpeg(source, 0, source.size());
    if (head.compare(0, 2, "II") == 0 || head.compare(0, 2, "MM") == 0) return fromTiff(source, 0, source.size());
    if (want >= 16 && head.compare(0, 16, "FUJIFILMCCD-RAW ") == 0) return fromRaf(source);
    if (head.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) return fromPng(source);
    if (want >= 12 && head.compare(0, 4, "RIFF") == 0 && head.compare(8, 4, "WEBP") == 0) return fromWebp(source);
    if (head.compare(4, 4, "ftyp") == 0) {
        if (head.compare(8, 4, "crx ") == 0) return fromCr3(source);
        return fromHeif(source);
    }
    return std::nullopt;
}

}  // namespace halvetrop::capture

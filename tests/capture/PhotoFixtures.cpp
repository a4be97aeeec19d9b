#include "PhotoFixtures.h"

#include <algorithm>
#include <array>

namespace halvetrop::test {
namespace {

struct Writer {
    bool little;
    void u16(std::string& s, uint16_t v) const {
        if (little) {
            s.push_back(static_cast<char>(v & 0xFF));
            s.push_back(static_cast<char>(v >> 8));
        } else {
            s.push_back(static_cast<char>(v >> 8));
            s.push_back(static_cast<char>(v & 0xFF));
        }
    }
    void u32(std::string& s, uint32_t v) const {
        if (little) {
            u16(s, static_cast<uint16_t>(v & 0xFFFF));
            u16(s, static_cast<uint16_t>(v >> 16));
        } else {
            u16(s, static_cast<uint16_t>(v >> 16));
            u16(s, static_cast<uint16_t>(v & 0xFFFF));
        }
    }
};

struct Tag {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    std::string data;  // encoded in the structure's byte order
    bool outOfRange = false;
};

Tag ascii(uint16_t tag, const std::string& text) {
    std::string d = text;
    d.push_back('\0');
    return Tag{tag, 2, static_cast<uint32_t>(d.size()), d};
}

std::vector<Tag> marked(std::vector<Tag> tags, const PhotoTags& of) {
    for (Tag& t : tags) t.outOfRange = std::find(of.outOfRange.begin(), of.outOfRange.end(), t.tag) != of.outOfRange.end();
    return tags;
}

// Lays out one IFD at `at` (offset from the TIFF header) with its out-of-line values after it.
std::string ifd(const Writer& w, std::vector<Tag> tags, uint32_t at) {
    std::sort(tags.begin(), tags.end(), [](const Tag& a, const Tag& b) { return a.tag < b.tag; });
    std::string out, values;
    w.u16(out, static_cast<uint16_t>(tags.size()));
    const uint32_t valuesAt = at + 2 + 12 * static_cast<uint32_t>(tags.size()) + 4;
    for (const Tag& t : tags) {
        w.u16(out, t.tag);
        w.u16(out, t.type);
        w.u32(out, t.count);
        if (t.data.size() <= 4) {
            std::string inl = t.data;
            inl.resize(4, '\0');
            out += inl;
        } else if (t.outOfRange) {
            w.u32(out, 0xFFFFFF00u);
        } else {
            w.u32(out, valuesAt + static_cast<uint32_t>(values.size()));
            values += t.data;
            if (values.size() % 2) values.push_back('\0');
        }
    }
    w.u32(out, 0);
    return out + values;
}

std::string nikonMakerNote(const std::string& serial) {
    // "Nikon\0" 2.10, two bytes, then a big-endian TIFF whose offsets count from its own header.
    Writer w{false};
    std::string tiff = "MM";
    w.u16(tiff, 42);
    w.u32(tiff, 8);
    tiff += ifd(w, {[&] {
                        Tag t = ascii(0x001D, serial);
                        return t;
                    }()},
                8);
    return std::string("Nikon\0\x02\x10\0\0", 10) + tiff;
}

uint32_t crc32(const std::string& data) {
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : data) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

std::string le32Bytes(uint32_t v) {
    std::string s;
    Writer{true}.u32(s, v);
    return s;
}

std::string pngChunk(const std::string& type, const std::string& data) {
    return be32Bytes(static_cast<uint32_t>(data.size())) + type + data + be32Bytes(crc32(type + data));
}

std::string riffChunk(const std::string& type, const std::string& data) {
    std::string s = type + le32Bytes(static_cast<uint32_t>(data.size())) + data;
    if (data.size() % 2) s.push_back('\0');
    return s;
}

std::string fullBox(const std::string& type, uint8_t version, const std::string& payload) {
    return box(type, std::string(1, static_cast<char>(version)) + std::string(3, '\0') + payload);
}

std::string jpegWith(const std::string& tiff) {
    const std::string app1 = std::string("Exif\0\0", 6) + tiff;
    std::string out = "\xFF\xD8";
    out += "\xFF\xE1" + be16Bytes(static_cast<uint16_t>(app1.size() + 2)) + app1;
    // A tiny quantisation table and scan so that tools see a plausible JPEG.
    out += "\xFF\xDA" + be16Bytes(8) + std::string("\x01\x01\x00\x00\x3f\x00", 6);
    out += "\xFF\xD9";
    return out;
}

std::string heifWith(const std::string& tiff, const std::string& brand) {
    const std::string ftyp = box("ftyp", brand + be32Bytes(0) + "mif1" + brand);
    const std::string hdlr = fullBox("hdlr", 0, be32Bytes(0) + "pict" + std::string(12, '\0') + std::string(1, '\0'));
    const std::string pitm = fullBox("pitm", 0, be16Bytes(1));
    const std::string infe1 = fullBox("infe", 2, be16Bytes(1) + be16Bytes(0) + (brand == "avif" ? "av01" : "hvc1") + std::string(1, '\0'));
    const std::string infe2 = fullBox("infe", 2, be16Bytes(2) + be16Bytes(0) + "Exif" + std::string(1, '\0'));
    const std::string iinf = fullBox("iinf", 0, be16Bytes(2) + infe1 + infe2);
    const std::string exifItem = be32Bytes(6) + std::string("Exif\0\0", 6) + tiff;
    const std::string image(16, '\x11');
    // iloc version 0: offset size 4, length size 4, base offset size 0; two items, one extent each.
    auto ilocFor = [&](uint32_t imageAt, uint32_t exifAt) {
        std::string p = std::string("\x44\x00", 2) + be16Bytes(2);
        p += be16Bytes(1) + be16Bytes(0) + be16Bytes(1) + be32Bytes(imageAt) + be32Bytes(static_cast<uint32_t>(image.size()));
        p += be16Bytes(2) + be16Bytes(0) + be16Bytes(1) + be32Bytes(exifAt) + be32Bytes(static_cast<uint32_t>(exifItem.size()));
        return fullBox("iloc", 0, p);
    };
    const size_t metaSize = fullBox("meta", 0, hdlr + pitm + ilocFor(0, 0) + iinf).size();
    const uint32_t mdatPayload = static_cast<uint32_t>(ftyp.size() + metaSize + 8);
    const std::string meta = fullBox("meta", 0, hdlr + pitm + ilocFor(mdatPayload, mdatPayload + static_cast<uint32_t>(image.size())) + iinf);
    return ftyp + meta + box("mdat", image + exifItem);
}

std::string cr3With(const PhotoTags& tags) {
    // CMT1: a TIFF whose IFD0 holds Model; CMT2: a TIFF whose first IFD holds the Exif tags.
    Writer w{true};
    PhotoTags ifd0Only;
    ifd0Only.model = tags.model;
    ifd0Only.dngSerial = tags.dngSerial;
    std::vector<Tag> t0, te;
    if (tags.model) t0.push_back(ascii(0x0110, *tags.model));
    if (t0.empty()) t0.push_back(Tag{0x0100, 3, 1, std::string("\x10\x00", 2)});
    auto tiffOf = [&](const std::vector<Tag>& tagsOf) {
        std::string s = "II";
        w.u16(s, 42);
        w.u32(s, 8);
        return s + ifd(w, marked(tagsOf, tags), 8);
    };
    if (tags.dateTimeOriginal) te.push_back(ascii(0x9003, *tags.dateTimeOriginal));
    if (tags.dateTimeDigitized) te.push_back(ascii(0x9004, *tags.dateTimeDigitized));
    if (tags.offsetTimeOriginal) te.push_back(ascii(0x9011, *tags.offsetTimeOriginal));
    if (tags.subSecTimeOriginal) te.push_back(ascii(0x9291, *tags.subSecTimeOriginal));
    if (tags.imageUniqueID) te.push_back(ascii(0xA420, *tags.imageUniqueID));
    if (tags.bodySerialNumber) te.push_back(ascii(0xA431, *tags.bodySerialNumber));
    if (te.empty()) te.push_back(Tag{0x829A, 3, 1, std::string("\x01\x00", 2)});
    static const char uuid[] = "\x85\xc0\xb6\x87\x82\x0f\x11\xe0\x81\x11\xf4\xce\x46\x2b\x6a\x48";
    const std::string canon = box("uuid", std::string(uuid, 16) + box("CNCV", "CanonCR3_001/00.09.00/00.00.00") +
                                              box("CMT1", tiffOf(t0)) + box("CMT2", tiffOf(te)));
    const std::string ftyp = box("ftyp", std::string("crx ") + be32Bytes(1) + "crx " + "isom");
    const std::string mvhd = fullBox("mvhd", 0, std::string(96, '\0'));
    return ftyp + box("moov", canon + mvhd) + box("mdat", std::string(32, '\0'));
}

}  // namespace

std::string be32Bytes(uint32_t v) {
    std::string s;
    Writer{false}.u32(s, v);
    return s;
}
std::string be16Bytes(uint16_t v) {
    std::string s;
    Writer{false}.u16(s, v);
    return s;
}

std::string box(const std::string& type, const std::string& payload) {
    return be32Bytes(static_cast<uint32_t>(payload.size() + 8)) + type + payload;
}

std::string buildTiff(const PhotoTags& tags, bool littleEndian, uint16_t magic) {
    const Writer w{littleEndian};
    std::vector<Tag> exif;
    if (tags.dateTimeOriginal) {
        if (tags.dateTimeOriginalNotText) {
            std::string d;
            w.u16(d, 2024);
            exif.push_back(Tag{0x9003, 3, 1, d});
        } else {
            exif.push_back(ascii(0x9003, *tags.dateTimeOriginal));
        }
    }
    if (tags.dateTimeDigitized) exif.push_back(ascii(0x9004, *tags.dateTimeDigitized));
    if (tags.offsetTimeOriginal) exif.push_back(ascii(0x9011, *tags.offsetTimeOriginal));
    if (tags.subSecTimeOriginal) exif.push_back(ascii(0x9291, *tags.subSecTimeOriginal));
    if (tags.imageUniqueID) exif.push_back(ascii(0xA420, *tags.imageUniqueID));
    if (tags.bodySerialNumber) exif.push_back(ascii(0xA431, *tags.bodySerialNumber));
    if (tags.nikonSerial) {
        const std::string note = nikonMakerNote(*tags.nikonSerial);
        exif.push_back(Tag{0x927C, 7, static_cast<uint32_t>(note.size()), note});
    }
    if (exif.empty()) {
        std::string d;
        w.u16(d, 100);
        exif.push_back(Tag{0x8827, 3, 1, d});  // ISO, so that the Exif IFD is not empty
    }

    std::vector<Tag> ifd0;
    {
        std::string d;
        w.u16(d, 1);
        ifd0.push_back(Tag{0x0100, 3, 1, d});  // ImageWidth
    }
    if (tags.model) ifd0.push_back(ascii(0x0110, *tags.model));
    if (tags.dngSerial) {
        ifd0.push_back(Tag{0xC612, 1, 4, std::string("\x01\x04\x00\x00", 4)});  // DNGVersion
        ifd0.push_back(ascii(0xC62F, *tags.dngSerial));
    }
    // Exif pointer is filled once IFD0's size is known.
    ifd0.push_back(Tag{0x8769, 4, 1, std::string(4, '\0')});
    const uint32_t ifd0Size = static_cast<uint32_t>(ifd(w, marked(ifd0, tags), 8).size());
    const uint32_t exifAt = 8 + ifd0Size + (ifd0Size % 2);
    std::string pointer;
    w.u32(pointer, exifAt);
    ifd0.back().data = pointer;

    std::string out = littleEndian ? "II" : "MM";
    w.u16(out, magic);
    w.u32(out, 8);
    out += ifd(w, marked(ifd0, tags), 8);
    if (out.size() % 2) out.push_back('\0');
    out += ifd(w, marked(exif, tags), exifAt);
    return out;
}

std::string buildPhoto(Container container, const PhotoTags& tags, bool littleEndian) {
    switch (container) {
        case Container::jpeg: return jpegWith(buildTiff(tags, littleEndian));
        case Container::tiff: return buildTiff(tags, littleEndian);
        case Container::orf: return buildTiff(tags, true, 0x4F52);
        case Container::rw2: return buildTiff(tags, true, 0x55);
        case Container::raf: {
            const std::string jpeg = jpegWith(buildTiff(tags, littleEndian));
            std::string h = "FUJIFILMCCD-RAW 0201FF383501";
            h += std::string(32, '\0').replace(0, 9, "X-T5 TEST");
            h.resize(60, '\0');
            h += std::string("0100", 4);
            h.resize(84, '\0');
            const uint32_t at = 160;
            h += be32Bytes(at) + be32Bytes(static_cast<uint32_t>(jpeg.size()));
            h += be32Bytes(0) + be32Bytes(0) + be32Bytes(0) + be32Bytes(0);
            h.resize(at, '\0');
            return h + jpeg;
        }
        case Container::png: {
            std::string ihdr = be32Bytes(1) + be32Bytes(1) + std::string("\x08\x02\x00\x00\x00", 5);
            return std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) +
                   pngChunk("eXIf", buildTiff(tags, littleEndian)) + pngChunk("IEND", "");
        }
        case Container::webp: {
            std::string vp8x = std::string(1, '\x08') + std::string(3, '\0') + std::string(3, '\0') + std::string(3, '\0');
            const std::string body = std::string("WEBP") + riffChunk("VP8X", vp8x) + riffChunk("EXIF", buildTiff(tags, littleEndian));
            return "RIFF" + le32Bytes(static_cast<uint32_t>(body.size())) + body;
        }
        case Container::heic: return heifWith(buildTiff(tags, littleEndian), "heic");
        case Container::avif: return heifWith(buildTiff(tags, littleEndian), "avif");
        case Container::cr3: return cr3With(tags);
    }
    return {};
}

std::string extensionOf(Container container) {
    static const std::array<const char*, 10> ext{".jpg", ".tif", ".orf", ".rw2", ".raf", ".png", ".webp", ".heic", ".avif", ".cr3"};
    return ext[static_cast<size_t>(container)];
}

std::vector<Container> allContainers() {
    return {Container::jpeg, Container::tiff, Container::orf, Container::rw2, Container::raf,
            Container::png,  Container::webp, Container::heic, Container::avif, Container::cr3};
}

}  // namespace halvetrop::test

#pragma once
// Minimal photo files built byte by byte: a TIFF structure holding the tags the capture reader
// looks for, wrapped in each container cameras write. Good enough for exiftool and for us; no
// pixel data.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace halvetrop::test {

struct PhotoTags {
    std::optional<std::string> dateTimeOriginal, dateTimeDigitized, subSecTimeOriginal, offsetTimeOriginal;
    std::optional<std::string> bodySerialNumber, imageUniqueID, model;
    std::optional<std::string> dngSerial;    // IFD0 CameraSerialNumber
    std::optional<std::string> nikonSerial;  // in a Nikon type-2 maker note
    // Written as SHORT instead of ASCII, so that it is not text.
    bool dateTimeOriginalNotText = false;
    // Tags (by number) whose out-of-line value is placed past the end of the TIFF block.
    std::vector<uint16_t> outOfRange;
};

enum class Container { jpeg, tiff, orf, rw2, raf, png, webp, heic, avif, cr3 };

// A TIFF structure: header, IFD0 (Model, CameraSerialNumber, Exif pointer), Exif IFD.
std::string buildTiff(const PhotoTags& tags, bool littleEndian = true, uint16_t magic = 42);

// A whole file of the given container holding those tags.
std::string buildPhoto(Container container, const PhotoTags& tags, bool littleEndian = true);

// The usual file extension of a container (".jpg", ".tif", ...).
std::string extensionOf(Container container);

std::vector<Container> allContainers();

// ISO-BMFF box: size, type, payload.
std::string box(const std::string& type, const std::string& payload);
std::string be32Bytes(uint32_t v);
std::string be16Bytes(uint16_t v);

}  // namespace halvetrop::test

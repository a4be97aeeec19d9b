#pragma once
// The byte-level readers behind CaptureReader, on any ByteSource, so that tests and fuzzers drive
// exactly the code that reads card files.
#include "capture/ByteSource.h"
#include "capture/CaptureInfo.h"

#include <optional>
#include <string>
#include <string_view>

namespace halvetrop::capture {

// The text values of the tags the EXIF reader uses, as found in the first image's metadata
// (valid UTF-8: broken bytes are repaired; ASCII values end at their first NUL).
struct ExifFields {
    std::optional<std::string> dateTimeOriginal;    // Exif 0x9003
    std::optional<std::string> dateTimeDigitized;   // Exif 0x9004
    std::optional<std::string> subSecTimeOriginal;  // Exif 0x9291
    std::optional<std::string> offsetTimeOriginal;  // Exif 0x9011
    std::optional<std::string> bodySerialNumber;    // Exif 0xA431
    std::optional<std::string> imageUniqueID;       // Exif 0xA420
    std::optional<std::string> model;               // IFD0 0x0110
    // Stand-in for the camera's auxiliary serial: the DNG CameraSerialNumber (IFD0 0xC62F), else
    // the serial of a Nikon maker note (tag 0x001D), the two places raw files commonly carry a
    // body serial when the EXIF BodySerialNumber is missing.
    std::optional<std::string> auxSerialNumber;
};

// The EXIF block of a photo, the container told by its first bytes; nothing when the container
// is unknown, holds no EXIF block, or any structure on the way is broken.
std::optional<ExifFields> readExifFields(ByteSource& source);

// The capture record the EXIF tags give (source exif); nothing without a date text that is not
// blank.
std::optional<CaptureInfo> captureFromExif(const ExifFields& fields);

// The movie-header walk over a QuickTime/MP4 file; `fileName` is the last path component.
std::optional<CaptureInfo> quickTimeFrom(ByteSource& source, std::string_view fileName);

// The most of a clip sidecar that is read: 65,536 bytes, plus up to 3 to finish a character cut
// in two.
inline constexpr int64_t kClipTextLimit = 65536;
// Cuts what was read of a sidecar (at most kClipTextLimit + 3 bytes) to the text that is decoded.
std::string_view clipText(std::string_view readBytes);
// The record of a sidecar's text (source sonyClipXML); nothing without a creation date or when
// the text is not UTF-8.
std::optional<CaptureInfo> clipFromText(std::string_view text);

}  // namespace halvetrop::capture

#pragma once
// The pictures a TIFF-structured file (TIFF, DNG and most camera RAW formats) carries: the size and
// kind of its first image, and the JPEG previews stored beside the sensor data in the first IFD
// chain, the SubIFDs, the EXIF IFD and the camera's maker note. Everything is read through a
// bounded ByteSource: every offset is checked against the file's size, and the number of IFDs,
// entries and previews looked at is capped, so a hostile file costs a few reads and nothing more.
#include "capture/ByteSource.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace halvetrop::thumbs {

struct EmbeddedJpeg {
    int64_t offset = 0;  // from the start of the file
    int64_t length = 0;
    int width = 0, height = 0;  // from the JPEG's frame header
    friend bool operator==(const EmbeddedJpeg&, const EmbeddedJpeg&) = default;
};

struct TiffPictures {
    // IFD0's picture; sensorData when it holds colour-filter-array or linear raw samples, which
    // no image reader shows as a picture.
    int width = 0, height = 0;
    bool sensorData = false;
    // IFD0's EXIF orientation, 1 to 8; 0 where the previews carry their own (a RAF's JPEG).
    int orientation = 1;
    std::vector<EmbeddedJpeg> previews;  // in the order found, without repeats
};

inline constexpr size_t maxEmbeddedJpegs = 16;

// Nothing when the source does not start with a TIFF header (including the ORF and RW2 variants).
std::optional<TiffPictures> tiffPictures(capture::ByteSource& source);

// The pictures of a camera RAW file in any of the containers cameras use: a TIFF structure, a
// Fujifilm RAF (the JPEG its header points at; the sensor data is never a picture), or a Canon
// CR3 (the thumbnail in its movie box and the preview in a box of its own, ISO base media boxes
// read with their count and nesting capped). Nothing for any other file.
std::optional<TiffPictures> rawPictures(capture::ByteSource& source);

// The size of the JPEG stored at [offset, offset + length), read from its first frame header;
// nothing unless it is an 8-bit baseline, extended or progressive JPEG (the lossless JPEG of raw
// sensor data is not a picture).
std::optional<EmbeddedJpeg> jpegAt(capture::ByteSource& source, int64_t offset, int64_t length);

// The largest preview by pixel count (the first of equals); nothing for none.
std::optional<EmbeddedJpeg> largest(const std::vector<EmbeddedJpeg>& previews);

}  // namespace halvetrop::thumbs

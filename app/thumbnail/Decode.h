#pragma once
// Decoding of one card file into a thumbnail. Only the helper process calls it.
#include <QImage>

#include <string>

#include "platform/NoAtime.h"
#include "thumbnail/Protocol.h"

namespace halvetrop::thumbs {

// A file's picture and, for a video, the range its samples are in.
struct Picture {
    Picture(QImage image = {}, VideoRange range = VideoRange::unknown)
        : image(std::move(image)), range(range) {}
    QImage image;
    VideoRange range;
};

// A picture that fits a square of `side` pixels, premultiplied ARGB32; null when the file gives
// none. Still images through Qt's readers (JPEG, PNG, TIFF, WebP, THM), RAW files through their
// embedded preview, HEIF/HEIC/AVIF and video frames where those libraries are built in. The file is
// opened without touching its access time; where that is refused, `touched` notes it.
Picture decode(const std::string& path, int side, AccessTimesTouched& touched);

}  // namespace halvetrop::thumbs

// The walk over a RAW file's structure (TIFF, RAF or CR3) to its embedded JPEG previews, fed
// arbitrary bytes as the file: it stays within its read budget, finds at most its cap of previews,
// and every preview it names lies inside the file with a frame header that reads back the same.
#include "thumbnail/EmbeddedJpeg.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace halvetrop;
    capture::MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
    const auto pictures = thumbs::rawPictures(source);
    if (source.bytesRead() > capture::kReadBudget) __builtin_trap();
    if (!pictures) return 0;
    if (pictures->previews.size() > thumbs::maxEmbeddedJpegs) __builtin_trap();
    if (pictures->orientation < 0 || pictures->orientation > 8) __builtin_trap();
    for (const thumbs::EmbeddedJpeg& p : pictures->previews) {
        if (!source.contains(p.offset, p.length) || p.width <= 0 || p.height <= 0) __builtin_trap();
        capture::MemorySource again(std::string_view(reinterpret_cast<const char*>(data), size));
        if (thumbs::jpegAt(again, p.offset, p.length) != p) __builtin_trap();
    }
    (void)thumbs::largest(pictures->previews);
    return 0;
}

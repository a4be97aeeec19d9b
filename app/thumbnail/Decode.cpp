#include "thumbnail/Decode.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTransform>

#include "capture/ByteSource.h"
#include "platform/Fd.h"
#include "platform/NoAtime.h"
#include "thumbnail/EmbeddedJpeg.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#if HALVETROP_LIBRAW
#include <libraw/libraw.h>
#endif
#if HALVETROP_LIBHEIF
#include <libheif/heif.h>
#endif
#if HALVETROP_FFMPEGTHUMBNAILER
#include <libffmpegthumbnailer/videothumbnailer.h>
extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
#include <libavutil/pixfmt.h>
}
#endif

namespace halvetrop::thumbs {

namespace {

// The most of an embedded preview that is read into memory; the largest camera previews are a
// few megabytes.
constexpr int64_t maxPreviewBytes = int64_t(64) << 20;

bool preadFully(int fd, char* destination, size_t count, int64_t offset) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd, destination + done, count - done, off_t(offset + int64_t(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// The open card file every decoder reads from; it is never opened a second time.
struct Card {
    int fd = -1;
    int64_t size = 0;
};

// Header reads of the file's structure, the first 64 KiB served from memory.
class FdSource final : public capture::ByteSource {
public:
    explicit FdSource(const Card& card) : ByteSource(card.size), fd_(card.fd) {}

protected:
    bool readRaw(int64_t offset, char* destination, size_t count) override {
        if (!headRead_) {
            headRead_ = true;
            head_.resize(size_t(std::min<int64_t>(size(), 64 * 1024)));
            if (!preadFully(fd_, head_.data(), head_.size(), 0)) head_.clear();
        }
        if (uint64_t(offset) + count <= head_.size()) {
            std::memcpy(destination, head_.data() + offset, count);
            return true;
        }
        return preadFully(fd_, destination, count, offset);
    }

private:
    int fd_;
    std::string head_;
    bool headRead_ = false;
};

QImage fit(QImage image, int side) {
    if (image.isNull()) return {};
    if (image.width() > side || image.height() > side)
        image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// EXIF orientation 1 to 8 applied to a picture stored as the sensor saw it.
QImage oriented(const QImage& image, int orientation) {
    auto turned = [&](int degrees) { return image.transformed(QTransform().rotate(degrees)); };
    switch (orientation) {
        case 2:
            return image.mirrored(true, false);
        case 3:
            return turned(180);
        case 4:
            return image.mirrored(false, true);
        case 5:
            return turned(90).mirrored(true, false);
        case 6:
            return turned(90);
        case 7:
            return turned(270).mirrored(true, false);
        case 8:
            return turned(270);
        default:
            return image;
    }
}

// Decodes straight to about the requested size: the JPEG reader then skips the detail it would
// throw away (libjpeg's 1/2, 1/4 and 1/8 scaling) and never holds the full picture.
QImage readWithQt(QIODevice& device, const QByteArray& format, int side, bool autoTransform) {
    QImageReader reader(&device, format);
    reader.setAutoTransform(autoTransform);
    const QSize full = reader.size();
    if (full.isValid() && (full.width() > side || full.height() > side))
        reader.setScaledSize(full.scaled(side, side, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    return fit(reader.read(), side);
}

// Orientation 0: the JPEG's own EXIF says how it stands.
QImage jpegBytes(QByteArray bytes, int side, int orientation) {
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return {};
    if (orientation == 0) return readWithQt(buffer, "jpeg", side, true);
    return oriented(readWithQt(buffer, "jpeg", side, false), orientation);
}

QImage embedded(const Card& card, const EmbeddedJpeg& jpeg, int side, int orientation) {
    if (jpeg.length > maxPreviewBytes) return {};
    QByteArray bytes(qsizetype(jpeg.length), Qt::Uninitialized);
    if (!preadFully(card.fd, bytes.data(), size_t(bytes.size()), jpeg.offset)) return {};
    return jpegBytes(std::move(bytes), side, orientation);
}

QImage qtReader(const Card& card, const QByteArray& format, int side) {
    if (::lseek(card.fd, 0, SEEK_SET) != 0) return {};
    QFile file;
    if (!file.open(card.fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return {};
    return readWithQt(file, format, side, true);
}

#if HALVETROP_LIBRAW
// LibRaw's reads, served from the open descriptor through a small window (its parsers read a byte
// at a time).
class RawStream final : public LibRaw_abstract_datastream {
public:
    explicit RawStream(const Card& card) : card_(card) {}
    int valid() override { return card_.fd >= 0; }
    int read(void* ptr, size_t size, size_t count) override {
        if (size == 0 || count == 0) return 0;
        const int64_t wanted = std::min<int64_t>(int64_t(size) * int64_t(std::min<size_t>(count, INT32_MAX)),
                                                 std::max<int64_t>(card_.size - pos_, 0));
        char* out = static_cast<char*>(ptr);
        int64_t done = 0;
        while (done < wanted) {
            if (!inWindow(pos_ + done) && !fill(pos_ + done)) break;
            const int64_t from = pos_ + done - windowAt_;
            const int64_t n = std::min<int64_t>(wanted - done, int64_t(window_.size()) - from);
            std::memcpy(out + done, window_.data() + from, size_t(n));
            done += n;
        }
        pos_ += done;
        return int(done / int64_t(size));
    }
    int seek(INT64 offset, int whence) override {
        const int64_t from = whence == SEEK_CUR ? pos_ : whence == SEEK_END ? card_.size : 0;
        pos_ = std::clamp<int64_t>(from + offset, 0, card_.size);
        return 0;
    }
    INT64 tell() override { return pos_; }
    INT64 size() override { return card_.size; }
    int get_char() override {
        unsigned char c = 0;
        return read(&c, 1, 1) == 1 ? c : -1;
    }
    char* gets(char* s, int size) override {
        if (size < 1) return nullptr;
        int i = 0;
        for (; i < size - 1; ++i) {
            const int c = get_char();
            if (c < 0) break;
            s[i] = char(c);
            if (c == '\n') {
                ++i;
                break;
            }
        }
        s[i] = 0;
        return i == 0 ? nullptr : s;
    }
    int scanf_one(const char* format, void* value) override {
        char text[25] = {};
        const int64_t start = pos_;
        const int n = read(text, 1, 24);
        const int got = n > 0 ? std::sscanf(text, format, value) : 0;
        // Past the scanned word, as LibRaw's own streams leave it.
        int used = 0;
        while (used < n && (used == 0 || (text[used] != 0 && text[used] != ' ' && text[used] != '\t' &&
                                          text[used] != '\n')))
            ++used;
        pos_ = start + (got > 0 ? used : 0);
        return got;
    }
    int eof() override { return pos_ >= card_.size; }
    void* make_jas_stream() override { return nullptr; }

private:
    bool inWindow(int64_t at) const { return at >= windowAt_ && at < windowAt_ + int64_t(window_.size()); }
    bool fill(int64_t at) {
        window_.resize(size_t(std::min<int64_t>(64 * 1024, card_.size - at)));
        windowAt_ = at;
        if (window_.empty() || !preadFully(card_.fd, window_.data(), window_.size(), at)) {
            window_.clear();
            return false;
        }
        return true;
    }

    Card card_;
    int64_t pos_ = 0;
    std::string window_;
    int64_t windowAt_ = 0;
};

int orientationOfFlip(int flip) {
    switch (flip) {
        case 3:
            return 3;
        case 5:
            return 8;
        case 6:
            return 6;
        default:
            return 1;
    }
}

// LibRaw's own choice of thumbnail, when it is larger than `than` pixels (or its size is unknown
// and there is nothing else).
QImage libRawThumbnail(const Card& card, int side, int64_t than) {
    auto raw = std::make_unique<LibRaw>();
    RawStream stream(card);
    if (raw->open_datastream(&stream) != LIBRAW_SUCCESS) return {};
    const libraw_thumbnail_t& t = raw->imgdata.thumbnail;
    const int64_t pixels = int64_t(t.twidth) * t.theight;
    if ((t.tformat != LIBRAW_THUMBNAIL_JPEG && t.tformat != LIBRAW_THUMBNAIL_BITMAP) ||
        (pixels > 0 ? pixels <= than : than > 0) || t.tlength > uint64_t(maxPreviewBytes))
        return {};
    if (raw->unpack_thumb() != LIBRAW_SUCCESS) return {};
    int err = 0;
    libraw_processed_image_t* thumb = raw->dcraw_make_mem_thumb(&err);
    if (!thumb) return {};
    const int orientation = orientationOfFlip(raw->imgdata.sizes.flip);
    QImage image;
    if (thumb->type == LIBRAW_IMAGE_JPEG)
        image = jpegBytes(QByteArray(reinterpret_cast<const char*>(thumb->data), qsizetype(thumb->data_size)),
                          side, orientation);
    else if (thumb->type == LIBRAW_IMAGE_BITMAP && thumb->colors == 3 && thumb->bits == 8 &&
             size_t(thumb->width) * thumb->height * 3 <= thumb->data_size)
        image = oriented(
            fit(QImage(thumb->data, thumb->width, thumb->height, thumb->width * 3, QImage::Format_RGB888),
                side),
            orientation);
    LibRaw::dcraw_clear_mem(thumb);
    return image;
}
#endif

// A RAW file's largest embedded preview (LibRaw's thumbnail, or the largest JPEG of its TIFF
// structure, RAF header or CR3 boxes), however small beside the tile: never its sensor data, which
// LibRaw may not even know for a camera newer than itself. A plain TIFF shows its first image
// when that is a picture at least the requested size, or when nothing larger is embedded.
QImage rawOrTiff(const Card& card, int side, bool plainTiff) {
    FdSource source(card);
    const std::optional<TiffPictures> tiff = rawPictures(source);
    const std::optional<EmbeddedJpeg> best = tiff ? largest(tiff->previews) : std::nullopt;
    const int64_t bestPixels = best ? int64_t(best->width) * best->height : 0;
    if (plainTiff && tiff && !tiff->sensorData) {
        const int64_t own = int64_t(tiff->width) * tiff->height;
        if (std::max(tiff->width, tiff->height) >= side || own >= bestPixels)
            return qtReader(card, "tiff", side);
    }
#if HALVETROP_LIBRAW
    if (QImage image = libRawThumbnail(card, side, bestPixels); !image.isNull()) return image;
#endif
    return best ? embedded(card, *best, side, tiff->orientation) : QImage();
}

#if HALVETROP_LIBHEIF
struct HeifState {
    Card card;
    int64_t pos = 0;
};

heif_reader heifReader() {
    heif_reader r{};
    r.reader_api_version = 1;
    r.get_position = [](void* u) -> int64_t { return static_cast<HeifState*>(u)->pos; };
    r.read = [](void* data, size_t size, void* u) -> int {
        auto* s = static_cast<HeifState*>(u);
        if (int64_t(size) > s->card.size - s->pos) return 1;
        if (!preadFully(s->card.fd, static_cast<char*>(data), size, s->pos)) return 1;
        s->pos += int64_t(size);
        return 0;
    };
    r.seek = [](int64_t position, void* u) -> int {
        auto* s = static_cast<HeifState*>(u);
        if (position < 0 || position > s->card.size) return 1;
        s->pos = position;
        return 0;
    };
    r.wait_for_file_size = [](int64_t target, void* u) -> heif_reader_grow_status {
        return target <= static_cast<HeifState*>(u)->card.size ? heif_reader_grow_status_size_reached
                                                               : heif_reader_grow_status_size_beyond_eof;
    };
    return r;
}

QImage heifImage(const Card& card, int side) {
    static const heif_reader reader = heifReader();
    HeifState state{card};
    heif_context* ctx = heif_context_alloc();
    QImage out;
    heif_image_handle* handle = nullptr;
    heif_image* img = nullptr;
    if (heif_context_read_from_reader(ctx, &reader, &state, nullptr).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(ctx, &handle).code == heif_error_Ok) {
        // The embedded thumbnail when it is large enough: far less to decode.
        heif_item_id thumbId;
        heif_image_handle* thumb = nullptr;
        if (heif_image_handle_get_list_of_thumbnail_IDs(handle, &thumbId, 1) == 1 &&
            heif_image_handle_get_thumbnail(handle, thumbId, &thumb).code == heif_error_Ok) {
            if (std::max(heif_image_handle_get_width(thumb), heif_image_handle_get_height(thumb)) >= side) {
                heif_image_handle_release(handle);
                handle = thumb;
            } else {
                heif_image_handle_release(thumb);
            }
        }
        if (heif_decode_image(handle, &img, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr)
                .code == heif_error_Ok) {
            int stride = 0;
            const uint8_t* data = heif_image_get_plane_readonly(img, heif_channel_interleaved, &stride);
            const int w = heif_image_get_width(img, heif_channel_interleaved);
            const int h = heif_image_get_height(img, heif_channel_interleaved);
            if (data && w > 0 && h > 0) out = fit(QImage(data, w, h, stride, QImage::Format_RGBA8888), side);
        }
    }
    if (img) heif_image_release(img);
    if (handle) heif_image_handle_release(handle);
    heif_context_free(ctx);
    return out;
}
#endif

#if HALVETROP_FFMPEGTHUMBNAILER
struct AvState {
    Card card;
    int64_t pos = 0;
};

int avRead(void* opaque, uint8_t* buffer, int size) {
    auto* s = static_cast<AvState*>(opaque);
    for (;;) {
        const ssize_t n = ::pread(s->card.fd, buffer, size_t(size), off_t(s->pos));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return AVERROR(errno);
        if (n == 0) return AVERROR_EOF;
        s->pos += n;
        return int(n);
    }
}

int64_t avSeek(void* opaque, int64_t offset, int whence) {
    auto* s = static_cast<AvState*>(opaque);
    if (whence & AVSEEK_SIZE) return s->card.size;
    whence &= ~AVSEEK_FORCE;
    const int64_t from = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? s->card.size : 0;
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return AVERROR(EINVAL);
    if (from + offset < 0) return AVERROR(EINVAL);
    s->pos = from + offset;
    return s->pos;
}

// The range of the video's samples as the video itself says, in its stream's header (an H.264 or
// HEVC parameter set, an MPEG-4 object layer) or its container's colour box, both of which
// libavformat has read once it found the stream's parameters; or the full range of the JPEG pixel
// formats (Motion JPEG).
VideoRange rangeOf(const AVFormatContext* format) {
    const int index =
        av_find_best_stream(const_cast<AVFormatContext*>(format), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) return VideoRange::unknown;
    const AVCodecParameters* p = format->streams[index]->codecpar;
    const auto pixels = AVPixelFormat(p->format);
    if (p->color_range == AVCOL_RANGE_JPEG || pixels == AV_PIX_FMT_YUVJ420P ||
        pixels == AV_PIX_FMT_YUVJ422P || pixels == AV_PIX_FMT_YUVJ444P)
        return VideoRange::full;
    return p->color_range == AVCOL_RANGE_MPEG ? VideoRange::limited : VideoRange::unknown;
}

// The video's first frame and its range; libavformat reads the open descriptor through an I/O
// context, so the thumbnailer never opens the file by its name.
Picture videoFrame(const Card& card, int side) {
    constexpr int bufferSize = 64 * 1024;
    AvState state{card};
    auto* buffer = static_cast<uint8_t*>(av_malloc(bufferSize));
    if (!buffer) return {};
    AVIOContext* io = avio_alloc_context(buffer, bufferSize, 0, &state, avRead, nullptr, avSeek);
    if (!io) {
        av_free(buffer);
        return {};
    }
    QImage image;
    VideoRange range = VideoRange::unknown;
    AVFormatContext* format = avformat_alloc_context();
    if (format) {
        format->pb = io;
        format->flags |= AVFMT_FLAG_CUSTOM_IO;
        // On failure the context is freed (the I/O context is ours).
        if (avformat_open_input(&format, "", nullptr, nullptr) == 0) {
            try {
                ffmpegthumbnailer::VideoThumbnailer thumbnailer(side, false, true, 8, false);
                thumbnailer.setSeekPercentage(0);
                std::vector<uint8_t> png;
                thumbnailer.generateThumbnail("", ThumbnailerImageType::Png, png, format);
                image.loadFromData(png.data(), int(png.size()), "PNG");
                range = rangeOf(format);
            } catch (...) {
                image = QImage();
            }
            avformat_close_input(&format);
        }
    }
    av_freep(&io->buffer);
    avio_context_free(&io);
    return {fit(image, side), range};
}
#endif

enum class Route { qt, thm, tiff, raw, heif, video };

Route routeOf(const QString& suffix) {
    static const QStringList raws = {"dng", "nef", "nrw", "cr2", "cr3", "crw", "arw", "srf", "sr2",
                                     "orf", "pef", "raf", "rw2", "rwl", "raw", "3fr", "fff", "iiq",
                                     "erf", "mef", "mos", "mrw", "srw", "x3f", "kdc", "dcr", "gpr"};
    static const QStringList videos = {"mp4", "mov", "mts", "m2ts", "avi", "mkv",  "3gp",
                                       "mxf", "m4v", "mpg", "mpeg", "wmv", "webm", "lrv"};
    if (suffix == "heic" || suffix == "heif" || suffix == "avif" || suffix == "hif") return Route::heif;
    if (videos.contains(suffix)) return Route::video;
    if (raws.contains(suffix)) return Route::raw;
    if (suffix == "tif" || suffix == "tiff") return Route::tiff;
    if (suffix == "thm") return Route::thm;
    return Route::qt;
}

}  // namespace

Picture decode(const std::string& path, int side, AccessTimesTouched& touched) {
    // Non-blocking so that a FIFO cannot hang the helper; a regular file ignores it.
    const int fd = openLongNoAtime(defaultSys(), path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, touched);
    if (fd < 0) return {};
    const UniqueFd owned(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return {};
    const Card card{fd, int64_t(st.st_size)};
    const QString name = QString::fromUtf8(path.data(), qsizetype(path.size()));
    switch (routeOf(QFileInfo(name).suffix().toLower())) {
        case Route::heif:
#if HALVETROP_LIBHEIF
            return heifImage(card, side);
#else
            return {};
#endif
        case Route::video:
#if HALVETROP_FFMPEGTHUMBNAILER
            return videoFrame(card, side);
#else
            return {};
#endif
        case Route::raw:
            return rawOrTiff(card, side, false);
        case Route::tiff:
            return rawOrTiff(card, side, true);
        case Route::thm:
            return qtReader(card, "jpeg", side);
        case Route::qt:
            break;
    }
    if (QImage image = qtReader(card, {}, side); !image.isNull()) return image;
    // A camera's raw file under a name Qt does not know.
    return rawOrTiff(card, side, false);
}

}  // namespace halvetrop::thumbs

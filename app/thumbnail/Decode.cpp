#include "thumbnail/Decode.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#if HALVETROP_LIBRAW
#include <libraw/libraw.h>
#endif
#if HALVETROP_LIBHEIF
#include <libheif/heif.h>
#endif
#if HALVETROP_FFMPEGTHUMBNAILER
#include <libffmpegthumbnailer/videothumbnailer.h>
#endif

#include <memory>
#include <vector>

namespace halvetrop::thumbs {

namespace {

QImage fit(QImage image, int side) {
    if (image.isNull()) return {};
    if (image.width() > side || image.height() > side)
        image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage readWithQt(QImageReader& reader, int side) {
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    // JPEG decodes straight to a smaller size; the reader never allocates the full picture then.
    if (full.isValid() && (full.width() > side || full.height() > side))
        reader.setScaledSize(full.scaled(side, side, Qt::KeepAspectRatio));
    return fit(reader.read(), side);
}

#if HALVETROP_LIBRAW
QImage rawPreview(const std::string& path, int side) {
    auto raw = std::make_unique<LibRaw>();
    if (raw->open_file(path.c_str()) != LIBRAW_SUCCESS || raw->unpack_thumb() != LIBRAW_SUCCESS) return {};
    int err = 0;
    libraw_processed_image_t* thumb = raw->dcraw_make_mem_thumb(&err);
    if (!thumb) return {};
    QImage image;
    if (thumb->type == LIBRAW_IMAGE_JPEG)
        image.loadFromData(reinterpret_cast<const uchar*>(thumb->data), int(thumb->data_size), "JPEG");
    else if (thumb->type == LIBRAW_IMAGE_BITMAP && thumb->colors == 3 && thumb->bits == 8 &&
             size_t(thumb->width) * thumb->height * 3 <= thumb->data_size)
        image =
            QImage(thumb->data, thumb->width, thumb->height, thumb->width * 3, QImage::Format_RGB888).copy();
    LibRaw::dcraw_clear_mem(thumb);
    return fit(image, side);
}
#endif

#if HALVETROP_LIBHEIF
QImage heifImage(const std::string& path, int side) {
    heif_context* ctx = heif_context_alloc();
    QImage out;
    heif_image_handle* handle = nullptr;
    heif_image* img = nullptr;
    if (heif_context_read_from_file(ctx, path.c_str(), nullptr).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(ctx, &handle).code == heif_error_Ok) {
        // The embedded thumbnail when there is one: far less to decode.
        heif_item_id thumbId;
        heif_image_handle* thumb = nullptr;
        if (heif_image_handle_get_list_of_thumbnail_IDs(handle, &thumbId, 1) == 1 &&
            heif_image_handle_get_thumbnail(handle, thumbId, &thumb).code == heif_error_Ok) {
            heif_image_handle_release(handle);
            handle = thumb;
        }
        if (heif_decode_image(handle, &img, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr)
                .code == heif_error_Ok) {
            int stride = 0;
            const uint8_t* data = heif_image_get_plane_readonly(img, heif_channel_interleaved, &stride);
            const int w = heif_image_get_width(img, heif_channel_interleaved);
            const int h = heif_image_get_height(img, heif_channel_interleaved);
            if (data && w > 0 && h > 0) out = QImage(data, w, h, stride, QImage::Format_RGBA8888).copy();
        }
    }
    if (img) heif_image_release(img);
    if (handle) heif_image_handle_release(handle);
    heif_context_free(ctx);
    return fit(out, side);
}
#endif

#if HALVETROP_FFMPEGTHUMBNAILER
QImage videoFrame(const std::string& path, int side) {
    try {
        ffmpegthumbnailer::VideoThumbnailer thumbnailer(side, false, true, 8, false);
        std::vector<uint8_t> png;
        thumbnailer.generateThumbnail(path, ThumbnailerImageType::Png, png);
        QImage image;
        image.loadFromData(png.data(), int(png.size()), "PNG");
        return fit(image, side);
    } catch (...) {
        return {};
    }
}
#endif

}  // namespace

QImage decode(const std::string& path, int side) {
    const QString name = QString::fromUtf8(path.data(), qsizetype(path.size()));
    const QString suffix = QFileInfo(name).suffix().toLower();
#if HALVETROP_LIBHEIF
    if (suffix == "heic" || suffix == "heif" || suffix == "avif" || suffix == "hif")
        return heifImage(path, side);
#endif
#if HALVETROP_FFMPEGTHUMBNAILER
    static const QStringList videos = {"mp4", "mov", "mts", "m2ts", "avi", "mkv", "3gp", "mxf", "m4v"};
    if (videos.contains(suffix)) return videoFrame(path, side);
#endif
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QImageReader reader(&file, suffix == "thm" ? QByteArray("jpeg") : QByteArray());
    if (reader.canRead()) return readWithQt(reader, side);
#if HALVETROP_LIBRAW
    file.close();
    return rawPreview(path, side);
#else
    return {};
#endif
}

}  // namespace halvetrop::thumbs

#include "CardFixtures.h"

#include <QBuffer>
#include <QImage>

#include <libheif/heif.h>
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace halvetrop::test {

namespace {

void put16(QByteArray& b, uint32_t v) { b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); }
void put32(QByteArray& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void patch32(QByteArray& b, qsizetype at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = char((v >> (8 * i)) & 0xFF);
}

struct E {
    uint16_t tag, type;
    uint32_t count, value;
};
struct Written {
    std::vector<qsizetype> values;  // by the entries' order as given
    qsizetype next = 0;
};

// An IFD at the end of `b`, its entries in tag order.
Written writeIfd(QByteArray& b, const std::vector<E>& entries) {
    std::vector<size_t> order(entries.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t c) { return entries[a].tag < entries[c].tag; });
    Written w;
    w.values.resize(entries.size());
    put16(b, uint32_t(entries.size()));
    for (size_t i : order) {
        put16(b, entries[i].tag);
        put16(b, entries[i].type);
        put32(b, entries[i].count);
        w.values[i] = b.size();
        put32(b, entries[i].value);
    }
    w.next = b.size();
    put32(b, 0);
    return w;
}

qsizetype append(QByteArray& b, const QByteArray& data) {
    if (b.size() % 2) b.append('\0');
    const qsizetype at = b.size();
    b.append(data);
    return at;
}

}  // namespace

QByteArray jpegOf(QSize size, QColor color, int quality) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return out;
}

QByteArray rawFile(const RawSpec& s) {
    using Where = RawSpec::Where;
    QByteArray b("II*\0", 4);
    put32(b, 8);
    const uint32_t w = uint32_t(s.first.width()), h = uint32_t(s.first.height());
    const QByteArray preview = jpegOf(s.previewSize, s.previewColor);
    const QByteArray thumb = jpegOf({160, 120}, Qt::red);

    std::vector<E> first = {{0x100, 4, 1, w},
                            {0x101, 4, 1, h},
                            {0x103, 3, 1, 1},
                            {0x106, 3, 1, s.sensorData ? 32803u : 2u},
                            {0x111, 4, 1, 0},
                            {0x112, 3, 1, uint32_t(s.orientation)},
                            {0x115, 3, 1, s.sensorData ? 1u : 3u},
                            {0x116, 4, 1, h},
                            {0x117, 4, 1, 0},
                            {0x11C, 3, 1, 1},
                            {0x102, 3, s.sensorData ? 1u : 3u, s.sensorData ? 16u : 0u}};
    const size_t strip = 4, stripBytes = 8, bits = 10;
    size_t sub = 0, exif = 0;
    if (s.where == Where::subIfd) {
        sub = first.size();
        first.push_back({0x14A, 4, 1, 0});
    }
    if (s.where == Where::nikonMakerNote) {
        exif = first.size();
        first.push_back({0x8769, 4, 1, 0});
    }
    const Written ifd0 = writeIfd(b, first);

    QByteArray pixels;
    if (s.sensorData) {
        pixels = QByteArray(qsizetype(w * h * 2), '\x40');
    } else {
        for (uint32_t i = 0; i < w * h; ++i)
            pixels.append(char(s.firstColor.red()))
                .append(char(s.firstColor.green()))
                .append(char(s.firstColor.blue()));
        QByteArray eights;
        for (int i = 0; i < 3; ++i) put16(eights, 8);
        patch32(b, ifd0.values[bits], uint32_t(append(b, eights)));
    }
    patch32(b, ifd0.values[strip], uint32_t(append(b, pixels)));
    patch32(b, ifd0.values[stripBytes], uint32_t(pixels.size()));

    // The preview's length as its IFD states it.
    const uint32_t stated = uint32_t(preview.size()) + (s.previewCutShort ? 100000u : 0u);
    qsizetype lastNext = ifd0.next;
    if (s.where == Where::subIfd) {
        append(b, {});
        patch32(b, ifd0.values[sub], uint32_t(b.size()));
        const Written p = writeIfd(b, {{0x100, 4, 1, uint32_t(s.previewSize.width())},
                                       {0x101, 4, 1, uint32_t(s.previewSize.height())},
                                       {0x103, 3, 1, 7},
                                       {0x106, 3, 1, 6},
                                       {0x111, 4, 1, 0},
                                       {0x117, 4, 1, stated}});
        patch32(b, p.values[4], uint32_t(append(b, preview)));
    }
    if (s.where == Where::ifd1 || s.smallThumbnail) {
        const bool big = s.where == Where::ifd1;
        append(b, {});
        patch32(b, ifd0.next, uint32_t(b.size()));
        const Written p = writeIfd(
            b, {{0x103, 3, 1, 6}, {0x201, 4, 1, 0}, {0x202, 4, 1, big ? stated : uint32_t(thumb.size())}});
        patch32(b, p.values[1], uint32_t(append(b, big ? preview : thumb)));
        lastNext = p.next;
    }
    if (s.where == Where::nikonMakerNote) {
        // "Nikon\0", version, then a TIFF of its own whose offsets count from its header.
        QByteArray note("Nikon\0\x02\x10\0\0", 10);
        QByteArray inner("II*\0", 4);
        put32(inner, 8);
        const Written top = writeIfd(inner, {{0x0011, 4, 1, 0}});
        inner.append(QByteArray(2, '\0'));
        patch32(inner, top.values[0], uint32_t(inner.size()));
        const Written p = writeIfd(inner, {{0x201, 4, 1, 0}, {0x202, 4, 1, stated}});
        patch32(inner, p.values[0], uint32_t(append(inner, preview)));
        note.append(inner);
        append(b, {});
        patch32(b, ifd0.values[exif], uint32_t(b.size()));
        const Written e = writeIfd(b, {{0x927C, 7, uint32_t(note.size()), 0}});
        patch32(b, e.values[0], uint32_t(append(b, note)));
    }
    if (s.chainLoops) patch32(b, lastNext, 8);
    return b;
}

namespace {

void putBig(QByteArray& b, uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) b.append(char((v >> (8 * i)) & 0xFF));
}

// An ISO base media box of that type around `payload`.
QByteArray box(const char* type, const QByteArray& payload) {
    QByteArray b;
    putBig(b, uint32_t(8 + payload.size()), 4);
    return b.append(type, 4).append(payload);
}

}  // namespace

QByteArray rafFile(QSize preview, QColor color) {
    // Magic, version and camera id, the camera's name, the directory's version, then at 84 the
    // JPEG's offset and length and the sensor data's header and data after it.
    QByteArray b = QByteArray("FUJIFILMCCD-RAW 0201FF129502X-T50").leftJustified(60, '\0');
    b = b.append("0100").leftJustified(84, '\0');
    const QByteArray jpeg = preview.isEmpty() ? QByteArray() : jpegOf(preview, color);
    const uint32_t at = 148, cfa = at + uint32_t(jpeg.size());
    for (uint32_t v : {jpeg.isEmpty() ? 0 : at, uint32_t(jpeg.size()), cfa, 16u, cfa + 16, 4096u})
        putBig(b, v, 4);
    return b.leftJustified(at, '\0').append(jpeg).append(QByteArray(16 + 4096, '\x5a'));
}

QByteArray cr3File(bool thumbnail, QSize preview, QColor color, int orientation) {
    QByteArray tiff("II*\0\x08\0\0\0", 8);  // the camera's IFD0
    writeIfd(tiff, {{0x112, 3, 1, uint32_t(orientation)}});
    QByteArray canon("\x85\xc0\xb6\x87\x82\x0f\x11\xe0\x81\x11\xf4\xce\x46\x2b\x6a\x48", 16);
    canon.append(box("CMT1", tiff));
    // Each JPEG behind its box's own small header: zeros (version, flags, unknown fields), the
    // picture's size and the JPEG's length, as THMB (4, -, 4) and PRVW (6, 2, -) have them.
    const auto header = [](QSize size, qsizetype bytes, int before, int between, int after) {
        QByteArray h(before, '\0');
        putBig(h, uint32_t(size.width()), 2);
        putBig(h, uint32_t(size.height()), 2);
        h.append(QByteArray(between, '\0'));
        putBig(h, uint32_t(bytes), 4);
        return h.append(QByteArray(after, '\0'));
    };
    const QByteArray small = jpegOf({160, 120}, Qt::red);
    if (thumbnail) canon.append(box("THMB", header({160, 120}, small.size(), 4, 0, 4) + small));
    QByteArray file = box("ftyp", QByteArray("crx \0\0\0\x01crx isom", 16)) + box("moov", box("uuid", canon));
    if (!preview.isEmpty()) {
        const QByteArray jpeg = jpegOf(preview, color);
        QByteArray uuid("\xea\xf4\x2b\x5e\x1c\x98\x4b\x88\xb9\xfb\xb7\xdc\x40\x6e\x4d\x16", 16);
        uuid.append(QByteArray("\0\0\0\0\0\0\0\x01", 8))
            .append(box("PRVW", header(preview, jpeg.size(), 6, 2, 0) + jpeg));
        file.append(box("uuid", uuid));
    }
    return file.append(box("mdat", QByteArray(4096, '\x5a')));
}

QByteArray heicOf(QSize size, QColor color, QString* why) {
    heif_context* ctx = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    QByteArray out;
    if (heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder).code != heif_error_Ok) {
        *why = QStringLiteral("libheif on this machine has no HEVC encoder");
        heif_context_free(ctx);
        return {};
    }
    heif_image* image = nullptr;
    heif_image_create(size.width(), size.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, size.width(), size.height(), 8);
    int stride = 0;
    uint8_t* p = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            uint8_t* px = p + y * stride + x * 3;
            px[0] = uint8_t(color.red()), px[1] = uint8_t(color.green()), px[2] = uint8_t(color.blue());
        }
    heif_encoder_set_lossy_quality(encoder, 80);
    heif_writer writer{};
    writer.writer_api_version = 1;
    writer.write = [](heif_context*, const void* data, size_t n, void* user) {
        static_cast<QByteArray*>(user)->append(static_cast<const char*>(data), qsizetype(n));
        return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
    };
    if (heif_context_encode_image(ctx, image, encoder, nullptr, nullptr).code != heif_error_Ok ||
        heif_context_write(ctx, &writer, &out).code != heif_error_Ok) {
        *why = QStringLiteral("libheif could not encode a picture here");
        out.clear();
    }
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(ctx);
    return out;
}

bool writeVideo(const QString& path, QSize size, QColor color, double seconds, QString* why,
                VideoColour colour, QColor right) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    AVFormatContext* oc = nullptr;
    const QByteArray name = path.toLocal8Bit();
    if (!codec || avformat_alloc_output_context2(&oc, nullptr, "mp4", name.constData()) < 0) {
        *why = QStringLiteral("libavcodec on this machine cannot write MPEG-4 video");
        return false;
    }
    AVStream* stream = avformat_new_stream(oc, nullptr);
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->width = size.width();
    c->height = size.height();
    c->time_base = AVRational{1, 10};
    c->framerate = AVRational{10, 1};
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->gop_size = 10;
    c->bit_rate = 400000;
    const bool bt709 = colour.matrix == VideoColour::Matrix::bt709;
    if (colour.matrix != VideoColour::Matrix::unset) {
        c->colorspace = bt709 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
        c->color_primaries = bt709 ? AVCOL_PRI_BT709 : AVCOL_PRI_SMPTE170M;
        c->color_trc = bt709 ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
        c->color_range = colour.fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    }
    if (oc->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    bool ok =
        avcodec_open2(c, codec, nullptr) == 0 && avcodec_parameters_from_context(stream->codecpar, c) >= 0;
    stream->time_base = c->time_base;
    ok = ok && avio_open(&oc->pb, name.constData(), AVIO_FLAG_WRITE) >= 0 &&
         avformat_write_header(oc, nullptr) >= 0;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    frame->format = c->pix_fmt;
    frame->width = c->width;
    frame->height = c->height;
    ok = ok && av_frame_get_buffer(frame, 0) >= 0;
    // Y'CbCr from R'G'B' by the matrix's luma weights, in limited (16-235, 16-240) or full range.
    const double kr = bt709 ? 0.2126 : 0.299, kb = bt709 ? 0.0722 : 0.114;
    const auto level = [](double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); };
    const bool full = colour.fullRange && colour.matrix != VideoColour::Matrix::unset;
    const auto samples = [&](QColor c) {
        const double y = kr * c.redF() + (1 - kr - kb) * c.greenF() + kb * c.blueF();
        const double cb = (c.blueF() - y) / (2 * (1 - kb)), cr = (c.redF() - y) / (2 * (1 - kr));
        return std::array<uint8_t, 3>{level(full ? 255 * y : 16 + 219 * y),
                                      level(128 + (full ? 255 : 224) * cb),
                                      level(128 + (full ? 255 : 224) * cr)};
    };
    const std::array<uint8_t, 3> left = samples(color), other = samples(right.isValid() ? right : color);
    // Each plane's row: the left colour's samples, then from the middle on the right one's.
    const auto fill = [&](int plane, int rows, int width) {
        for (int y = 0; y < rows; ++y) {
            uint8_t* row = frame->data[plane] + y * frame->linesize[plane];
            std::fill_n(row, width / 2, left[size_t(plane)]);
            std::fill(row + width / 2, row + width, other[size_t(plane)]);
        }
    };
    auto drain = [&] {
        while (avcodec_receive_packet(c, packet) == 0) {
            av_packet_rescale_ts(packet, c->time_base, stream->time_base);
            packet->stream_index = stream->index;
            ok = ok && av_interleaved_write_frame(oc, packet) >= 0;
        }
    };
    const int frames = int(seconds * 10);
    for (int i = 0; ok && i < frames; ++i) {
        ok = av_frame_make_writable(frame) >= 0;
        fill(0, c->height, c->width);
        for (int plane : {1, 2}) fill(plane, c->height / 2, c->width / 2);
        frame->pts = i;
        ok = ok && avcodec_send_frame(c, frame) >= 0;
        drain();
    }
    if (ok) {
        avcodec_send_frame(c, nullptr);
        drain();
        ok = av_write_trailer(oc) >= 0;
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&c);
    if (oc->pb) avio_closep(&oc->pb);
    avformat_free_context(oc);
    if (!ok) *why = QStringLiteral("libavcodec could not encode a video here");
    return ok;
}

std::optional<DecodedSample> firstFrameMiddle(const QString& path, QString* why) {
    AVFormatContext* in = nullptr;
    const AVCodec* codec = nullptr;
    const int index = avformat_open_input(&in, path.toLocal8Bit().constData(), nullptr, nullptr) < 0 ||
                              avformat_find_stream_info(in, nullptr) < 0
                          ? -1
                          : av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    AVCodecContext* c = index < 0 ? nullptr : avcodec_alloc_context3(codec);
    const bool ok = c && avcodec_parameters_to_context(c, in->streams[index]->codecpar) >= 0 &&
                    avcodec_open2(c, codec, nullptr) == 0;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    bool got = false;
    while (ok && !got && av_read_frame(in, packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(c, packet) >= 0)
            got = avcodec_receive_frame(c, frame) == 0;
        av_packet_unref(packet);
    }
    if (ok && !got && avcodec_send_packet(c, nullptr) >= 0) got = avcodec_receive_frame(c, frame) == 0;
    std::optional<DecodedSample> out;
    if (got && frame->format == AV_PIX_FMT_YUV420P) {
        const int x = frame->width / 2, y = frame->height / 2;
        const auto at = [&](int plane, int shift) {
            return frame->data[plane][(y >> shift) * frame->linesize[plane] + (x >> shift)];
        };
        const auto matrix = frame->colorspace == AVCOL_SPC_BT709         ? VideoColour::Matrix::bt709
                            : frame->colorspace == AVCOL_SPC_UNSPECIFIED ? VideoColour::Matrix::unset
                                                                         : VideoColour::Matrix::bt601;
        out = DecodedSample{at(0, 0), at(1, 1), at(2, 1), {matrix, frame->color_range == AVCOL_RANGE_JPEG}};
    } else {
        *why = QStringLiteral("libavcodec could not decode a 4:2:0 frame of ") + path;
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&c);
    avformat_close_input(&in);
    return out;
}

}  // namespace halvetrop::test

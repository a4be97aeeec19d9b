#include "shell/VideoFrames.h"

#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cstdint>
#include <optional>

namespace halvetrop::shell {

namespace {

using Format = QVideoFrameFormat;

// Where a pixel format keeps one component: its plane, the bytes from one sample to the next
// along a row, and the first sample's offset in the row.
struct Place {
    int plane, step, offset;
};

// How a Y'CbCr format lays out its samples: where Y', Cb and Cr lie, whether a chroma sample serves
// two lines as well as the two pixels of a line it always serves (as a shift), and each sample's
// size: a byte, or a little-endian word whose value, shifted left by `shift`, fills 16 bits.
struct Layout {
    Place y, u, v;
    int yShift;
    int bytes = 1, shift = 0;
};

std::optional<Layout> layoutOf(Format::PixelFormat format) {
    switch (format) {
        case Format::Format_YUV420P:
            return Layout{{0, 1, 0}, {1, 1, 0}, {2, 1, 0}, 1};
        case Format::Format_YUV422P:
            return Layout{{0, 1, 0}, {1, 1, 0}, {2, 1, 0}, 0};
        case Format::Format_YV12:
            return Layout{{0, 1, 0}, {2, 1, 0}, {1, 1, 0}, 1};
        case Format::Format_NV12:
            return Layout{{0, 1, 0}, {1, 2, 0}, {1, 2, 1}, 1};
        case Format::Format_NV21:
            return Layout{{0, 1, 0}, {1, 2, 1}, {1, 2, 0}, 1};
        case Format::Format_UYVY:
            return Layout{{0, 2, 1}, {0, 4, 0}, {0, 4, 2}, 0};
        case Format::Format_YUYV:
            return Layout{{0, 2, 0}, {0, 4, 1}, {0, 4, 3}, 0};
        case Format::Format_P010:
        case Format::Format_P016:
            return Layout{{0, 2, 0}, {1, 4, 0}, {1, 4, 2}, 1, 2, 0};
        case Format::Format_YUV420P10:
            return Layout{{0, 2, 0}, {1, 2, 0}, {2, 2, 0}, 1, 2, 6};
        default:
            return std::nullopt;
    }
}

// Y'CbCr samples scaled to 16 bits into 8-bit R'G'B': the factors in units of 2^-16, which keep
// every sum inside 32 bits and every channel within half a level.
struct Matrix {
    int yZero, y, rv, gu, gv, bu;
};

Matrix matrixOf(const Format& format) {
    Format::ColorSpace space = format.colorSpace();
    if (space == Format::ColorSpace_Undefined)
        space = format.frameHeight() > 576 ? Format::ColorSpace_BT709 : Format::ColorSpace_BT601;
    // The luma weights of red and blue.
    double kr = 0.299, kb = 0.114;
    if (space == Format::ColorSpace_BT709) kr = 0.2126, kb = 0.0722;
    if (space == Format::ColorSpace_BT2020) kr = 0.2627, kb = 0.0593;
    // Limited range puts black at 16 and white at 235, the chroma's extremes at 16 and 240; full
    // range uses all 256 levels for each. Qt takes its Adobe RGB frames as full range.
    const bool full = format.colorRange() == Format::ColorRange_Full || space == Format::ColorSpace_AdobeRgb;
    const double yScale = 255.0 / ((full ? 255 : 219) * 256), cScale = 255.0 / ((full ? 255 : 224) * 256);
    const double kg = 1 - kr - kb;
    const auto fixed = [](double f) { return int(f * (1 << 16) + 0.5); };
    return {full ? 0 : 16 * 256,
            fixed(yScale),
            fixed(cScale * 2 * (1 - kr)),
            fixed(cScale * 2 * kb * (1 - kb) / kg),
            fixed(cScale * 2 * kr * (1 - kr) / kg),
            fixed(cScale * 2 * (1 - kb))};
}

// Whether every sample of that component lies inside its mapped plane.
bool inside(const QVideoFrame& frame, const Place& at, int samples, int rows, int bytes) {
    const int64_t line = frame.bytesPerLine(at.plane);
    return at.offset + int64_t(samples - 1) * at.step + bytes <= line &&
           line * rows <= frame.mappedBytes(at.plane);
}

template <int Bytes, int YStep>
QImage converted(const QVideoFrame& frame, const Layout& l, const Matrix& m) {
    const int w = frame.width(), h = frame.height();
    const int cw = (w + 1) / 2, ch = (h + (1 << l.yShift) - 1) >> l.yShift;
    if (!inside(frame, l.y, w, h, Bytes) || !inside(frame, l.u, cw, ch, Bytes) ||
        !inside(frame, l.v, cw, ch, Bytes))
        return {};
    const int shift = l.shift;
    const auto sample = [=](const uchar* p) {
        if constexpr (Bytes == 1)
            return int(p[0]) << 8;
        else
            return int(p[0] | p[1] << 8) << shift;
    };
    const auto channel = [](int v) { return std::clamp((v + (1 << 15)) >> 16, 0, 255); };
    const auto row = [&frame](const Place& at, int line) {
        return frame.bits(at.plane) + int64_t(line) * frame.bytesPerLine(at.plane) + at.offset;
    };
    QImage out(w, h, QImage::Format_RGB32);
    for (int line = 0; line < h; ++line) {
        const uchar* ys = row(l.y, line);
        const uchar* us = row(l.u, line >> l.yShift);
        const uchar* vs = row(l.v, line >> l.yShift);
        auto* px = reinterpret_cast<QRgb*>(out.scanLine(line));
        const auto pixel = [&](int x, int r, int g, int b) {
            const int y = (sample(ys + x * YStep) - m.yZero) * m.y;
            px[x] = qRgb(channel(y + r), channel(y + g), channel(y + b));
        };
        for (int c = 0; c < cw; ++c) {
            const int u = sample(us + c * l.u.step) - 128 * 256;
            const int v = sample(vs + c * l.v.step) - 128 * 256;
            const int r = m.rv * v, g = -m.gu * u - m.gv * v, b = m.bu * u;
            pixel(2 * c, r, g, b);
            if (2 * c + 1 < w) pixel(2 * c + 1, r, g, b);
        }
    }
    return out;
}

// The frame's picture, turned and mirrored as the frame asks, as QVideoFrame::toImage turns its
// own; its samples in `range` unless that is unknown. Formats without a colour matrix (RGB) and
// the rare ones are Qt's to convert.
QImage pictureOf(QVideoFrame frame, Format::ColorRange range) {
    const std::optional<Layout> layout = layoutOf(frame.pixelFormat());
    if (!layout) return frame.toImage();
    if (!frame.map(QVideoFrame::ReadOnly)) return {};
    Format format = frame.surfaceFormat();
    if (range != Format::ColorRange_Unknown) format.setColorRange(range);
    const Matrix matrix = matrixOf(format);
    // The Y' step as a constant lets the compiler unroll the common layouts.
    QImage image = layout->bytes == 2    ? converted<2, 2>(frame, *layout, matrix)
                   : layout->y.step == 2 ? converted<1, 2>(frame, *layout, matrix)
                                         : converted<1, 1>(frame, *layout, matrix);
    frame.unmap();
    const bool flipped = frame.surfaceFormat().scanLineDirection() == Format::BottomToTop;
    if (frame.mirrored() || flipped) image = image.mirrored(frame.mirrored(), flipped);
    if (frame.rotationAngle() != QVideoFrame::Rotation0)
        image = image.transformed(QTransform().rotate(qreal(frame.rotationAngle())));
    return image;
}

}  // namespace

VideoFrames::VideoFrames(QQuickItem* parent) : QQuickPaintedItem(parent) {
    connect(&sink_, &QVideoSink::videoFrameChanged, this, [this](const QVideoFrame& frame) {
        frame_ = frame;
        picture_ = QImage();
        update();
    });
}

QString VideoFrames::streamRange() const {
    return streamRange_ == Format::ColorRange_Full    ? QStringLiteral("full")
           : streamRange_ == Format::ColorRange_Video ? QStringLiteral("limited")
                                                      : QString();
}

void VideoFrames::setStreamRange(const QString& range) {
    const Format::ColorRange r = range == QLatin1String("full")      ? Format::ColorRange_Full
                                 : range == QLatin1String("limited") ? Format::ColorRange_Video
                                                                     : Format::ColorRange_Unknown;
    if (r == streamRange_) return;
    streamRange_ = r;
    picture_ = QImage();
    update();
    emit streamRangeChanged();
}

void VideoFrames::paint(QPainter* painter) {
    if (!frame_.isValid()) return;
    if (picture_.isNull()) picture_ = pictureOf(frame_, streamRange_);
    if (picture_.isNull()) return;
    QSizeF size = picture_.size();
    size.scale(boundingRect().size(), Qt::KeepAspectRatio);
    QRectF target(QPointF(), size);
    target.moveCenter(boundingRect().center());
    painter->drawImage(target, picture_);
}

}  // namespace halvetrop::shell

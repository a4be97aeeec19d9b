#include "shell/Shadows.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <vector>

namespace halvetrop::shell {

namespace {

// One pass of a normalised Gaussian along rows (`stride` 1) or columns (`stride` side).
void blurPass(std::vector<float>& values, int side, double sigma, bool rows) {
    const int radius = int(std::ceil(sigma * 3));
    std::vector<float> kernel(size_t(2 * radius + 1));
    float sum = 0;
    for (int i = -radius; i <= radius; ++i) {
        kernel[size_t(i + radius)] = float(std::exp(-(i * i) / (2 * sigma * sigma)));
        sum += kernel[size_t(i + radius)];
    }
    for (float& k : kernel) k /= sum;
    std::vector<float> out(values.size(), 0);
    for (int line = 0; line < side; ++line)
        for (int at = 0; at < side; ++at) {
            float v = 0;
            for (int i = -radius; i <= radius; ++i) {
                const int p = at + i;
                if (p < 0 || p >= side) continue;
                v += kernel[size_t(i + radius)] * values[size_t(rows ? line * side + p : p * side + line)];
            }
            out[size_t(rows ? line * side + at : at * side + line)] = v;
        }
    values.swap(out);
}

}  // namespace

int shadowReach(double blur) { return int(std::ceil(std::max(blur, 0.0) * 1.5)); }

int shadowBorder(double radius, double blur) {
    return shadowReach(blur) + std::max(int(std::ceil(std::max(radius, 0.0))), shadowReach(blur));
}

QImage shadowPatch(double radius, double blur, const QColor& color) {
    const int border = shadowBorder(radius, blur);
    const int side = 2 * border + 1;
    const int inset = shadowReach(blur);
    QImage shape(side, side, QImage::Format_ARGB32_Premultiplied);
    shape.fill(Qt::transparent);
    {
        QPainter p(&shape);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(inset, inset, side - 2 * inset, side - 2 * inset), radius, radius);
        p.fillPath(path, Qt::black);
    }
    std::vector<float> alpha(size_t(side) * size_t(side));
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            alpha[size_t(y * side + x)] = float(qAlpha(shape.pixel(x, y))) / 255.0f;
    if (blur > 0) {
        const double sigma = blur / 2;
        blurPass(alpha, side, sigma, true);
        blurPass(alpha, side, sigma, false);
    }
    QImage out(side, side, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const int a = std::clamp(int(std::lround(alpha[size_t(y * side + x)] * 255)), 0, 255);
            out.setPixel(x, y,
                         qRgba(color.red() * a / 255, color.green() * a / 255, color.blue() * a / 255, a));
        }
    return out;
}

QImage ShadowImageProvider::requestImage(const QString& id, QSize* size, const QSize&) {
    const QStringList parts = id.split(u'/');
    bool radiusOk = false, blurOk = false;
    const double radius = parts.value(0).toDouble(&radiusOk);
    const double blur = parts.value(1).toDouble(&blurOk);
    const QColor color = QColor(u'#' + parts.value(2));
    // Bounded: a shadow is never larger than a screen's corner, whatever the id says.
    if (!radiusOk || !blurOk || radius < 0 || blur < 0 || radius > 200 || blur > 200) return {};
    QImage image = shadowPatch(radius, blur, color.isValid() ? color : QColor(Qt::black));
    if (size) *size = image.size();
    return image;
}

}  // namespace halvetrop::shell

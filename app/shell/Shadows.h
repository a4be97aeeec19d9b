#pragma once
// Soft shadows without a blur effect (the software renderer draws none): a rounded rectangle is
// blurred once into a small nine-patch image, which a BorderImage stretches to any size.
// "image://shadow/RADIUS/BLUR/RRGGBB".
#include <QColor>
#include <QImage>
#include <QQuickImageProvider>

namespace halvetrop::shell {

// How far a shadow of `blur` points reaches outside its shape: three sigmas hold all but a
// thousandth of it.
int shadowReach(double blur);

// Pixels on each side of a shadow's nine-patch that hold its corners and edges: the blur's reach
// outside the shape, then the corner or the blur's reach inside it, whichever is larger.
int shadowBorder(double radius, double blur);

// The shadow of a rounded rectangle with corner `radius`, blurred like a shadow of `blur` points
// (a Gaussian of sigma blur / 2), in `color`: a square of 2 * shadowBorder + 1 pixels whose middle
// row and column stretch. The shape's edge lies shadowReach(blur) pixels inside the image's edge.
QImage shadowPatch(double radius, double blur, const QColor& color);

class ShadowImageProvider : public QQuickImageProvider {
public:
    ShadowImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

}  // namespace halvetrop::shell

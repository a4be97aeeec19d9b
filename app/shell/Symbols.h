#pragma once
// The design names its symbols by the platform's symbol names ("sdcard.fill"); this table maps each
// to a bundled Lucide drawing. The image provider draws one tinted: "image://symbol/NAME?#RRGGBB".
#include <QImage>
#include <QQuickImageProvider>
#include <QString>

#include <span>
#include <string_view>

namespace halvetrop::shell {

struct SymbolFile {
    std::string_view name;  // the design's symbol name
    std::string_view file;  // the drawing under app/icons, without ".svg"
};

std::span<const SymbolFile> symbolTable();

// Resource path of the drawing for a design name; empty for a name not in the table.
QString symbolResource(std::string_view name);

// The drawing at `size` pixels with its strokes in `color`; a null image for an unknown name.
QImage renderSymbol(std::string_view name, const QColor& color, int size);

class SymbolImageProvider : public QQuickImageProvider {
public:
    SymbolImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

}  // namespace halvetrop::shell

#include "shell/Symbols.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

#include <array>

namespace halvetrop::shell {

namespace {

// Lucide draws outlines only: a ".fill" name takes the same outline as its plain form, but for the
// folder, whose outline drawn filled reads as a solid folder.
constexpr std::array<SymbolFile, 62> table{{
    {"plus", "plus"},
    {"plus.circle", "circle-plus"},
    {"sdcard", "card-sim"},
    {"sdcard.fill", "card-sim"},
    {"arrow.clockwise", "rotate-cw"},
    {"square.and.arrow.up", "share"},
    {"sidebar.right", "panel-right"},
    {"exclamationmark.triangle", "triangle-alert"},
    {"exclamationmark.triangle.fill", "triangle-alert"},
    {"eject", "eject"},
    {"eject.circle.fill", "eject"},
    {"xmark", "x"},
    {"xmark.circle.fill", "circle-x"},
    {"server.rack", "server"},
    {"internaldrive.fill", "computer"},
    {"externaldrive.fill", "hard-drive"},
    {"folder", "folder"},
    {"folder.fill", "folder-fill"},
    {"checkmark.seal.fill", "badge-check"},
    {"checkmark.circle.fill", "circle-check"},
    {"exclamationmark.circle.fill", "circle-alert"},
    {"magnifyingglass", "search"},
    {"magnifyingglass.circle.fill", "search"},
    {"photo", "image"},
    {"video", "video"},
    {"waveform", "audio-waveform"},
    {"doc", "file"},
    {"questionmark.circle", "circle-question-mark"},
    {"icloud.slash", "cloud-off"},
    {"xmark.octagon.fill", "octagon-x"},
    {"circle.dashed", "circle-dashed"},
    {"stop.fill", "square-stop"},
    {"memorychip", "card-sim"},
    {"internaldrive", "computer"},
    {"externaldrive", "hard-drive"},
    {"eject.fill", "eject"},
    {"checkmark.seal", "badge-check"},
    {"arrow.down.doc.fill", "file-down"},
    {"externaldrive.badge.checkmark", "hard-drive"},
    {"externaldrive.badge.xmark", "hard-drive"},
    {"externaldrive.badge.exclamationmark", "hard-drive"},
    {"externaldrive.fill.badge.checkmark", "hard-drive"},
    {"hourglass.circle.fill", "hourglass"},
    {"camera.fill", "camera"},
    {"camera", "camera"},
    {"list.bullet.rectangle", "file"},
    {"arrow.right.circle", "circle-arrow-right"},
    {"circle.lefthalf.filled", "circle-dashed"},
    {"minus.circle", "circle-dashed"},
    {"photo.on.rectangle", "image"},
    {"folder.badge.plus", "folder-plus"},
    {"chevron.right", "chevron-right"},
    {"chevron.left", "chevron-left"},
    {"chevron.down", "chevron-down"},
    {"lock.shield", "shield-check"},
    {"list.bullet", "list"},
    {"square.grid.2x2", "layout-grid"},
    {"arrow.right.circle.fill", "circle-arrow-right"},
    {"externaldrive.badge.questionmark", "hard-drive"},
    {"arrow.down.doc", "file-down"},
    {"doc.text", "file-text"},
    {"photo.on.rectangle.angled", "images"},
}};

}  // namespace

std::span<const SymbolFile> symbolTable() { return table; }

QString symbolResource(std::string_view name) {
    for (const auto& row : table)
        if (row.name == name)
            return QStringLiteral(":/halvetrop/icons/") +
                   QLatin1String(row.file.data(), qsizetype(row.file.size())) + QStringLiteral(".svg");
    return {};
}

QImage renderSymbol(std::string_view name, const QColor& color, int size) {
    const QString path = symbolResource(name);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) return {};
    QByteArray svg = file.readAll();
    svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) return {};
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    if (color.alphaF() < 1.0) painter.setOpacity(color.alphaF());
    renderer.render(&painter);
    return image;
}

QImage SymbolImageProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
    // "NAME?#RRGGBB"; the size asked for by the Image, else 24 pixels, the drawing's own grid.
    const qsizetype mark = id.indexOf(QLatin1Char('?'));
    const QString name = mark < 0 ? id : id.left(mark);
    const QColor color = mark < 0 ? QColor(Qt::black) : QColor(id.mid(mark + 1));
    const int edge = requestedSize.isValid() ? std::max(requestedSize.width(), requestedSize.height()) : 24;
    QImage image =
        renderSymbol(name.toStdString(), color.isValid() ? color : QColor(Qt::black), std::max(edge, 1));
    if (size) *size = image.size();
    return image;
}

}  // namespace halvetrop::shell

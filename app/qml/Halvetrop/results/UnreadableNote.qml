import QtQuick
import Halvetrop

// A card not read whole: how much of it could not be read, and the way to the list of it.
Flow {
    id: note
    property var h: ({})
    // The header's reason may already say how much; then only the way to the list is shown.
    property bool withCount: true
    signal show()
    visible: (h.unreadableCount || 0) > 0
    spacing: 6
    Symbol { name: "exclamationmark.triangle.fill"; color: Theme.partial; size: 13 }
    Text {
        visible: note.withCount
        text: note.h.unreadableText || ""
        font: Theme.secondaryFont
        color: Theme.secondary
    }
    Text {
        objectName: "showUnreadable"
        text: "Show what couldn't be read"
        font.family: Theme.family
        font.pixelSize: Theme.secondaryFont.pixelSize
        font.underline: hover.hovered
        color: Theme.brand
        HoverHandler { id: hover; cursorShape: Qt.PointingHandCursor }
        TapHandler { onTapped: note.show() }
    }
}

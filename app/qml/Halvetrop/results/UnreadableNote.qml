import QtQuick
import Halvetrop

// A card not read whole: how much of it could not be read, and the way to the list of it. The
// sentence wraps within the column; the link follows it, on the next line when it must.
Flow {
    id: note
    property var h: ({})
    // The header's reason may already say how much; then only the way to the list is shown.
    property bool withCount: true
    signal show()
    visible: (h.unreadableCount || 0) > 0
    spacing: 6
    Symbol { id: warning; name: "exclamationmark.triangle.fill"; color: Theme.partial; size: 13; y: 1 }
    Text {
        visible: note.withCount
        width: Math.min(implicitWidth, note.width - warning.width - note.spacing)
        text: note.h.unreadableText || ""
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        font: Theme.secondaryFont
        color: Theme.secondary
    }
    LinkButton {
        objectName: "showUnreadable"
        text: "Show what couldn't be read"
        onClicked: note.show()
    }
}

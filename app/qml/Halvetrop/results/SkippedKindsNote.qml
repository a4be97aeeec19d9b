import QtQuick
import QtQuick.Controls
import Halvetrop

// Camera media of kinds the check left out, with a button that adds them and checks again.
Flow {
    id: note
    required property var model
    property var h: ({})
    spacing: 6
    Symbol { name: "exclamationmark.triangle.fill"; color: Theme.partial; size: 13;  }
    Text {
        objectName: "skippedText"
        text: note.h.skipped || ""
        font: Theme.secondaryFont
        color: Theme.secondary
        
    }
    Text {
        objectName: "skippedButton"
        text: note.h.skippedButton || ""
        font.family: Theme.family
        font.pixelSize: Theme.secondaryFont.pixelSize
        font.underline: hover.hovered
        color: Theme.textRole("brand")
        
        HoverHandler { id: hover; cursorShape: Qt.PointingHandCursor }
        TapHandler {
            onTapped: {
                const kinds = note.model.kinds.slice()
                for (const k of note.h.skippedKinds)
                    if (kinds.indexOf(k) < 0)
                        kinds.push(k)
                note.model.kinds = kinds
                note.model.check("")
            }
        }
        PlainToolTip { visible: hover.hovered; text: "Add them to this check" }
    }
}

import QtQuick
import QtQuick.Controls
import Halvetrop

// Camera media of kinds the check left out, with a button that adds them and checks again. The
// sentence wraps within the column; the button follows it, on the next line when it must.
Flow {
    id: note
    required property var model
    property var h: ({})
    spacing: 6
    Symbol { id: warning; name: "exclamationmark.triangle.fill"; color: Theme.partial; size: 13; y: 1 }
    Text {
        objectName: "skippedText"
        width: Math.min(implicitWidth, note.width - warning.width - note.spacing)
        text: note.h.skipped || ""
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        font: Theme.secondaryFont
        color: Theme.secondary
    }
    LinkButton {
        objectName: "skippedButton"
        text: note.h.skippedButton || ""
        help: "Add them to this check"
        onClicked: {
            const kinds = note.model.kinds.slice()
            for (const k of note.h.noteKinds)
                if (kinds.indexOf(k) < 0)
                    kinds.push(k)
            note.model.kinds = kinds
            note.model.check("")
        }
    }
}

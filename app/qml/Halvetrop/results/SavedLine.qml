import QtQuick
import Halvetrop

// Of a saved result: when it was checked and what is known of its card now; where the card
// changed since, the way to check it again.
Row {
    id: line
    required property var model
    required property var h
    visible: (line.h.savedLine || "") !== ""
    spacing: Theme.s
    DataText {
        objectName: "savedLine"
        width: Math.min(implicitWidth, line.width - (recheck.visible ? recheck.width + line.spacing : 0))
        text: line.h.savedLine || ""
        font: Theme.secondaryFont
        color: Theme.secondary
    }
    LinkButton {
        id: recheck
        objectName: "savedRecheck"
        visible: line.h.savedChanged === true
        text: "Check Again"
        help: "Check this card again as it is now"
        onClicked: line.model.check("")
    }
}

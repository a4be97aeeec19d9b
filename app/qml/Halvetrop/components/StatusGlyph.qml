import QtQuick
import Halvetrop
import Halvetrop.Native

// The symbol of a file status, in its colour; in the selection's text colour (white) on a
// selected, emphasised row. When the same file's status changes, the new symbol replaces the old
// one with a short swap; a row handed another file (`key`) just shows it.
Symbol {
    id: glyph
    property string status: "notCompared"
    property bool prominent: false
    // The file shown; a status change counts as one only while this stays.
    property var key: undefined
    property var shownKey: undefined
    property string shownName: ""

    name: Present.statusSymbol(status)
    color: prominent ? Theme.selectionText : Theme.statusColor(status)
    Accessible.role: Accessible.Graphic
    Accessible.name: Present.statusLabel(status)

    // Both may change in one go when a row is reused; they are compared once both have.
    function settle() {
        if (glyph.key === glyph.shownKey && glyph.shownName !== "" && glyph.name !== glyph.shownName) {
            if (!glyph.swap)
                glyph.swap = swapping.createObject(glyph)
            glyph.swap.restart()
        }
        glyph.shownKey = glyph.key
        glyph.shownName = glyph.name
    }
    onNameChanged: Qt.callLater(settle)
    onKeyChanged: Qt.callLater(settle)
    Component.onCompleted: settle()

    // Made at the first swap: a list shows a glyph on every row, and most never change.
    property var swap: null
    Component {
        id: swapping
        ParallelAnimation {
            NumberAnimation { target: glyph; property: "scale"; from: 0.55; to: 1; duration: Theme.stateMs; easing.type: Easing.OutBack }
            NumberAnimation { target: glyph; property: "opacity"; from: 0.2; to: 1; duration: Theme.fadeMs }
        }
    }
}

import QtQuick
import QtQuick.Window
import Halvetrop

// The keyboard focus ring of a window: one ring, laid into whichever control has the keys so that
// it moves, scrolls and clips with it. Controls show it while focused from the keyboard; a scope
// that names its `focusRingItem` (the file table and grid) shows it around that while it holds
// the keys, however they came. A control may name its corner (`focusRingRadius`). Inside a
// selected row (`selectionFill` true on an ancestor) the ring sits just inside the control in the
// selection's text colour, as the accent fill around it would swallow the usual one; an item that
// clips its children (`focusRingInside` true) has it just inside its edge too.
Rectangle {
    id: ring
    objectName: "focusRing"
    required property Window window
    readonly property Item focused: window ? window.activeFocusItem : null
    readonly property Item target: ringed(focused)
    readonly property bool onSelection: target !== null && insideSelection(target)
    readonly property bool inside: onSelection || (target !== null && target.focusRingInside === true)

    function ringed(item) {
        for (let i = item; i !== null; i = i.parent) {
            // A menu shows its keyboard row by its highlight.
            if (i.menu !== undefined)
                return null
            if (i.visualFocus === true)
                return i.focusRingItem ? i.focusRingItem : i
            if (i.focusRingItem && i.activeFocus)
                return i.focusRingItem
        }
        return null
    }
    function insideSelection(item) {
        for (let i = item; i !== null; i = i.parent)
            if (i.selectionFill === true)
                return true
        return false
    }

    parent: target !== null ? target : (window ? window.contentItem : null)
    visible: target !== null && target.visible
    anchors.fill: parent
    anchors.margins: inside ? 1 : -2
    z: 10000
    color: "transparent"
    border.width: 2
    border.color: onSelection ? Theme.selectionText : Theme.focusRing
    radius: Math.max(0, (target !== null && target.focusRingRadius !== undefined ? target.focusRingRadius : Theme.radiusS)
                        + (inside ? -1 : 2))
}

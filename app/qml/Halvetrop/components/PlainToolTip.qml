import QtQuick
import QtQuick.Controls
import Halvetrop

// A tooltip whose text is never read as markup (paths and names show their angle brackets). Its
// owner says when it is wanted (`shown`, usually while hovered). It goes when the keys move (a
// click, a dialog opening or closing) and when its owner moves under the pointer (the page
// scrolled or paged, the window resized), and waits for the pointer to come again: what lies
// under a pointer that has not moved may be another row by then.
ToolTip {
    id: tip
    property bool shown: false
    property bool armed: true
    visible: shown && armed && (!tip.parent || tip.parent.visible)
    delay: 700
    onShownChanged: if (shown) armed = true
    contentItem: Text {
        text: tip.text
        textFormat: Text.PlainText
        font: Theme.secondaryFont
        color: tip.palette.toolTipText
        wrapMode: Text.Wrap
    }

    // Where the owner stood in the window when the tooltip came up.
    property point shownAt
    function ownerAt() { return tip.parent ? tip.parent.mapToItem(null, 0, 0) : Qt.point(0, 0) }
    onOpened: shownAt = ownerAt()
    Connections {
        target: tip.parent && tip.parent.Window ? tip.parent.Window.window : null
        ignoreUnknownSignals: true
        function onActiveFocusItemChanged() { tip.armed = false }
    }
    // Looked at with each frame drawn while it is up: a layout that moved drew one.
    Connections {
        target: tip.opened && tip.parent && tip.parent.Window ? tip.parent.Window.window : null
        ignoreUnknownSignals: true
        function onFrameSwapped() {
            const at = tip.ownerAt()
            if (Math.abs(at.x - tip.shownAt.x) > 0.5 || Math.abs(at.y - tip.shownAt.y) > 0.5)
                tip.armed = false
        }
    }
}

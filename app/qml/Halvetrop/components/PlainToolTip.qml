import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// A tooltip whose text is never read as markup (paths and names show their angle brackets). Its
// owner says when it is wanted (`shown`, usually while hovered). It comes for a hover that the
// pointer's own movement began, never for an item that moved under a resting pointer (the page
// scrolled, a row took another's place). It goes when the keys move (a click, a dialog opening or
// closing) and when its owner moves under the pointer (the page scrolled or paged, the window
// resized), and stays away until the pointer moves again.
ToolTip {
    id: tip
    property bool shown: false
    property bool armed: false
    visible: shown && armed && (!tip.parent || tip.parent.visible)
    delay: 700
    // (Made while wanted, by the hover that wants it, it reads the pointer then too.)
    Component.onCompleted: armed = shown && Pointer.moving
    onShownChanged: armed = shown && Pointer.moving
    Connections {
        target: tip.shown && !tip.armed ? Pointer : null
        function onMoved() { tip.armed = true }
    }
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

import QtQuick
import QtQuick.Controls
import Halvetrop

// A tooltip whose text is never read as markup (paths and names show their angle brackets). Its
// owner says when it is wanted (`shown`, usually while hovered). It goes when the keys move (a
// click, a dialog opening or closing) and waits for the pointer to come again: what lies under a
// pointer that has not moved may be another row by then.
ToolTip {
    id: tip
    property bool shown: false
    property bool armed: true
    visible: shown && armed
    delay: 700
    onShownChanged: if (shown) armed = true
    contentItem: Text {
        text: tip.text
        textFormat: Text.PlainText
        font: Theme.secondaryFont
        color: tip.palette.toolTipText
        wrapMode: Text.Wrap
    }
    Connections {
        target: tip.parent && tip.parent.Window ? tip.parent.Window.window : null
        ignoreUnknownSignals: true
        function onActiveFocusItemChanged() { tip.armed = false }
    }
}

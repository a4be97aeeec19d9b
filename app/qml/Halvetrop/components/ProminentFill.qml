import QtQuick
import Halvetrop

// The accent fill of a prominent button in its current state, from the control colour table.
// Placed over the style's own panel (parent: button.background), which only ever draws a paler
// mix of a palette colour; the button takes `colors.text` as its buttonText.
Rectangle {
    id: fill
    required property Item control  // a button
    readonly property string controlState: !control.enabled ? "disabled"
                                           : control.down ? "pressed" : control.hovered ? "hovered" : "normal"
    readonly property var colors: Theme.control("prominent", controlState)
    anchors.fill: parent
    radius: 2
    color: colors.fill
    border.color: colors.border
}

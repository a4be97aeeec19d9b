import QtQuick
import Halvetrop

// The surface of a raised card: raised fill, an optional status or brand tint, a shadow in light
// appearances and a hairline border.
Item {
    id: root
    property real radius: Theme.radiusL
    property color tint: "transparent"
    readonly property bool tinted: tint.a > 0

    SoftShadow {
        anchors.fill: parent
        radius: root.radius
        blur: 6
        offsetY: 1
        strength: Theme.dark ? 0 : 0.06
        visible: !Theme.dark
    }
    Rectangle {
        anchors.fill: parent
        radius: root.radius
        color: Theme.raised
    }
    Rectangle {
        anchors.fill: parent
        radius: root.radius
        visible: root.tinted
        color: Qt.rgba(root.tint.r, root.tint.g, root.tint.b, Theme.dark ? 0.09 : 0.06)
    }
    Rectangle {
        anchors.fill: parent
        radius: root.radius
        color: "transparent"
        border.width: 0.5
        border.color: Theme.dark ? Qt.rgba(1, 1, 1, 0.08) : Theme.hairline
    }
}

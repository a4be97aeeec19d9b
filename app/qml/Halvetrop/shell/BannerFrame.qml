import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop

// The floating capsule of a bottom banner: translucent fill, a tinted border and a soft shadow;
// it moves in from the bottom edge with a fade.
Item {
    id: frame
    property color tint: Theme.brandFill
    property bool shown: false
    default property alias content: row.data
    signal dismiss

    visible: opacity > 0
    opacity: shown ? 1 : 0
    implicitWidth: row.implicitWidth + 2 * Theme.l
    implicitHeight: row.implicitHeight + 2 * Theme.m
    width: implicitWidth
    height: implicitHeight
    transform: Translate { y: frame.shown ? 0 : 40 }
    Behavior on opacity { NumberAnimation { duration: Theme.fadeMs * 2 } }

    SoftShadow {
        anchors.fill: parent
        radius: height / 2
        blur: 14
        offsetY: 6
        strength: 0.15
    }
    Rectangle {
        anchors.fill: parent
        radius: height / 2
        color: Theme.dark ? Qt.rgba(0.17, 0.17, 0.18, 0.94) : Qt.rgba(1, 1, 1, 0.94)
        border.width: 1
        border.color: Qt.rgba(frame.tint.r, frame.tint.g, frame.tint.b, 0.4)
    }
    RowLayout {
        id: row
        anchors.centerIn: parent
        spacing: Theme.m
    }
}

import QtQuick
import QtQuick.Shapes
import Halvetrop

// Three dots and an arrow between the card and the backups; the same in every state.
Column {
    spacing: 6
    Accessible.ignored: true
    Repeater {
        model: 3
        Rectangle {
            required property int index
            anchors.horizontalCenter: parent.horizontalCenter
            width: 6
            height: 6
            radius: 3
            color: Qt.rgba(Theme.brandFill.r, Theme.brandFill.g, Theme.brandFill.b, 0.25 + 0.25 * index)
        }
    }
    Rectangle {
        anchors.horizontalCenter: parent.horizontalCenter
        width: 26
        height: 26
        radius: 13
        color: Theme.brandFill
        ClippedShape {
            anchors.fill: parent
            ShapePath {
                strokeColor: "white"
                strokeWidth: 2
                fillColor: "transparent"
                capStyle: ShapePath.RoundCap
                joinStyle: ShapePath.RoundJoin
                startX: 7; startY: 13
                PathLine { x: 19; y: 13 }
                PathMove { x: 14; y: 8 }
                PathLine { x: 19; y: 13 }
                PathLine { x: 14; y: 18 }
            }
        }
    }
}

import QtQuick
import Halvetrop

// Placeholder until the inspector is built.
Rectangle {
    required property var model
    color: Theme.content
    Rectangle { width: 1; height: parent.height; color: Theme.hairline }
    Text {
        anchors.centerIn: parent
        text: "Inspector"
        font: Theme.title
        color: Theme.tertiary
    }
}

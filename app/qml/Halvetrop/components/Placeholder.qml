import QtQuick
import Halvetrop

// Stands in for a screen that is not built yet.
Rectangle {
    property string title
    color: Theme.window
    Text {
        anchors.centerIn: parent
        text: parent.title
        textFormat: Text.PlainText
        font: Theme.title
        color: Theme.tertiary
    }
}

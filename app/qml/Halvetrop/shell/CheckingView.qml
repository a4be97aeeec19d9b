import QtQuick
import Halvetrop

// Placeholder until the checking screen is built.
Placeholder {
    required property var model
    objectName: "CheckingView"
    title: "Checking"
}

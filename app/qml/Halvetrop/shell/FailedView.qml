import QtQuick
import QtQuick.Controls
import Halvetrop

// The failure screen: what went wrong, "Try Again" and "Back".
Item {
    id: view
    required property var model
    property string message

    EmptyState {
        anchors.centerIn: parent
        width: Math.min(parent.width - 2 * Theme.xxxl, 560)
        symbol: "exclamationmark.triangle"
        title: "The check couldn't finish"
        description: view.message
        Button {
            objectName: "tryAgain"
            text: "Try Again"
            highlighted: true
            palette.button: Theme.brandFill
            palette.buttonText: "white"
            onClicked: view.model.check("")
        }
        Button {
            objectName: "back"
            text: "Back"
            onClicked: view.model.resetResults()
        }
    }
}

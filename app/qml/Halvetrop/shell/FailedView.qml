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
            id: tryAgain
            objectName: "tryAgain"
            text: "Try Again"
            highlighted: true
            palette.buttonText: tryAgainFill.colors.text
            ProminentFill { id: tryAgainFill; control: tryAgain; parent: tryAgain.background }
            onClicked: view.model.check("")
        }
        Button {
            objectName: "back"
            text: "Back"
            onClicked: view.model.resetResults()
        }
    }
}

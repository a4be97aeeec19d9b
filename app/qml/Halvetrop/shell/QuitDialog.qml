import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop

// Asked when the main window closes while a copy runs.
Dialog {
    id: dialog
    signal stopAndQuit
    objectName: "quitDialog"
    modal: true
    focus: true
    // The style's own dimming is all but invisible.
    Overlay.modal: Rectangle { color: Qt.rgba(0, 0, 0, Theme.dark ? 0.45 : 0.28) }
    title: "A copy is running"
    contentWidth: 360
    contentItem: Text {
        text: "Quitting stops the copy. Files already copied and verified stay; the file being copied is removed."
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        font: Theme.body
        color: Theme.primary
    }
    footer: DialogButtonBox {
        Button {
            text: "Keep Copying"
            DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
        }
        Button {
            objectName: "stopAndQuit"
            text: "Stop and Quit"
            DialogButtonBox.buttonRole: DialogButtonBox.DestructiveRole
            onClicked: {
                dialog.close()
                dialog.stopAndQuit()
            }
        }
    }
}

import QtQuick
import QtQuick.Controls
import Halvetrop

// The copy dialog, opened by the model's copy request and closed by clearing it. It cannot be
// dismissed from outside: its view owns Escape (Cancel while planning, Stop while copying, Done
// on the result).
Popup {
    id: dialog
    required property var model
    objectName: "copySheet"
    parent: Overlay.overlay
    anchors.centerIn: parent
    modal: true
    width: 640
    // As tall as what it shows, within the window: its plan's choices scroll in a short one.
    height: Math.min(parent ? parent.height - 40 : 740, implicitHeight)
    padding: Theme.xl
    visible: model.hasCopyRequest && model.hasReport && !!model.copySheet
    closePolicy: Popup.NoAutoClose
    // The style's own dimming is all but invisible.
    Overlay.modal: Rectangle { color: Qt.rgba(0, 0, 0, Theme.dark ? 0.45 : 0.28) }
    // The dialog takes the keys from whatever had them behind it (the browser's search field).
    focus: true

    background: CardBackground { radius: Theme.radiusL }
    // The dialog's views exist only while it is open. A closed popup's items stay where the window
    // cannot lay them out, yet its height still follows the window's: kept, its layouts would be
    // laid out on a resize with the rows of a copy that has gone.
    contentItem: Loader {
        active: dialog.visible
        sourceComponent: CopySheetView {
            model: dialog.model
            sheet: dialog.model.copySheet
        }
    }
}

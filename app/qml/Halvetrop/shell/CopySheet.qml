import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop

// The copy dialog, opened by the model's copy request and closed by clearing it. While a copy runs
// it cannot be dismissed. Placeholder content until the copy dialog is built.
Popup {
    id: sheet
    required property var model
    objectName: "copySheet"
    parent: Overlay.overlay
    anchors.centerIn: parent
    modal: true
    width: 560
    height: 360
    visible: model.hasCopyRequest && model.hasReport
    closePolicy: model.copying ? Popup.NoAutoClose : Popup.CloseOnEscape
    onClosed: if (model.hasCopyRequest) model.clearCopyRequest()

    background: CardBackground { radius: Theme.radiusL }
    contentItem: ColumnLayout {
        spacing: Theme.l
        DataText {
            text: sheet.model.copyRequestTitle
            font: Theme.title
            Layout.fillWidth: true
        }
        Item { Layout.fillHeight: true }
        Button {
            Layout.alignment: Qt.AlignRight
            text: "Close"
            enabled: !sheet.model.copying
            onClicked: sheet.close()
        }
    }
}

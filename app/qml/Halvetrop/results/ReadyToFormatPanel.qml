import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// Shown once the card may be formatted: where each camera keeps its Format command, and a
// guarded way to the desktop's disk tool instead. Nothing here erases anything.
Item {
    id: panel
    required property var model
    required property var results
    readonly property var p: results.readyPanel
    implicitHeight: content.implicitHeight + 2 * Theme.l

    Rectangle {
        anchors.fill: parent
        radius: Theme.radiusL
        color: Qt.rgba(Theme.verified.r, Theme.verified.g, Theme.verified.b, Theme.dark ? 0.16 : 0.08)
        border.color: Qt.rgba(Theme.verified.r, Theme.verified.g, Theme.verified.b, 0.35)
    }
    Row {
        id: content
        x: Theme.l
        y: Theme.l
        width: parent.width - 2 * Theme.l
        spacing: Theme.l
        Symbol { name: "checkmark.seal.fill"; color: Theme.verified; size: 34 }
        Column {
            width: content.width - 34 - Theme.l
            spacing: Theme.s
            Text { text: "Ready to format"; font: Theme.title; color: Theme.primary }
            DataText {
                objectName: "readySentence"
                width: parent.width
                text: panel.p.sentence || ""
                font: Theme.callout
                color: Theme.secondary
                wrapMode: Text.Wrap
                maximumLineCount: 4
            }
            Column {
                topPadding: 2
                bottomPadding: 2
                spacing: 6
                Repeater {
                    objectName: "formatSteps"
                    model: panel.p.steps || []
                    Row {
                        required property var modelData
                        spacing: Theme.s
                        Symbol { name: "camera.fill"; size: 12; color: Theme.secondary; anchors.verticalCenter: parent.verticalCenter }
                        DataText { text: modelData.camera; font: Theme.rowTitle }
                        TextEdit {
                            text: modelData.path
                            readOnly: true
                            selectByMouse: true
                            textFormat: TextEdit.PlainText
                            font.family: Theme.monoFamily
                            font.pixelSize: 12
                            color: Theme.textRole("brand")
                        }
                    }
                }
            }
            Text {
                width: parent.width
                wrapMode: Text.Wrap
                text: "Formatting in the camera rebuilds the folders and database it expects — better than erasing on a computer."
                font: Theme.secondaryFont
                color: Theme.tertiary
            }
            Text {
                width: parent.width
                wrapMode: Text.Wrap
                text: "You decide when to format. SD Halvetrop can’t guarantee against data loss and isn’t responsible for lost data — keep more than one backup."
                font: Theme.secondaryFont
                color: Theme.tertiary
            }
            Row {
                topPadding: 2
                spacing: Theme.s
                ActionButton {
                    objectName: "ejectCard"
                    visible: panel.model.canEjectSource === true
                    enabled: !panel.model.ejecting
                    prominent: true
                    symbol: "eject.fill"
                    text: "Eject Card"
                    onClicked: panel.model.ejectSource()
                }
                LinkButton {
                    objectName: "eraseInstead"
                    anchors.verticalCenter: parent.verticalCenter
                    text: "Erase on This Computer Instead…"
                    onClicked: erase.open()
                }
            }
        }
    }
    Dialog {
        id: erase
        objectName: "eraseDialog"
        parent: Overlay.overlay
        anchors.centerIn: parent
        modal: true
        // The window behind goes dim, and the dialog takes the keys (Escape cancels, Tab walks
        // its buttons).
        dim: true
        focus: true
        // The style's own dimming is all but invisible.
        Overlay.modal: Rectangle { color: Qt.rgba(0, 0, 0, Theme.dark ? 0.45 : 0.28) }
        width: 460
        title: "Erase on this computer?"
        contentItem: DataText {
            text: panel.p.erase || ""
            wrapMode: Text.Wrap
            maximumLineCount: 8
        }
        footer: DialogButtonBox {
            Button {
                objectName: "openDisks"
                text: "Open Disks"
                DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
            }
            Button {
                text: "Cancel"
                DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
            }
        }
        onAccepted: panel.results.openDiskTool()
    }
}

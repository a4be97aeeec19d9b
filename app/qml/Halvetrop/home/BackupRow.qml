import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// One chosen backup: its name, its free space and how full its volume is, and a remove button
// that shows while the pointer is over the row.
Control {
    id: row
    property string path
    property var info: ({})
    property bool connected: true
    signal remove
    readonly property var look: HomeRules.backup(path, info, connected)
    hoverEnabled: true
    padding: Theme.s

    background: Rectangle {
        radius: Theme.radiusM
        color: Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.04)
    }
    contentItem: Row {
        spacing: Theme.m
        SystemIcon {
            id: icon
            anchors.verticalCenter: parent.verticalCenter
            path: row.path
            size: 40
            fallback: "externaldrive.fill"
        }
        Column {
            anchors.verticalCenter: parent.verticalCenter
            width: parent.width - icon.width - removeButton.width - 2 * parent.spacing
            spacing: 4
            DataText {
                objectName: "backupName"
                width: parent.width
                text: row.look.name
                font: Theme.rowTitle
            }
            DataText {
                objectName: "backupFree"
                width: parent.width
                visible: row.look.freeLine.length > 0
                text: row.look.freeLine
                font: Theme.secondaryFont
                color: Theme.secondary
            }
            Rectangle {
                objectName: "usageBar"
                visible: row.look.bar
                width: parent.width
                height: 4
                radius: 2
                color: Theme.track
                Rectangle {
                    objectName: "usageFill"
                    width: parent.width * row.look.used
                    height: parent.height
                    radius: 2
                    color: Theme.role(row.look.usedColor)
                }
            }
        }
        SymbolButton {
            id: removeButton
            objectName: "removeBackup"
            anchors.verticalCenter: parent.verticalCenter
            symbol: "xmark.circle.fill"
            opacity: row.hovered || removeButton.visualFocus ? 1 : 0
            help: "Remove this backup"
            tint: Theme.tertiary
            onClicked: row.remove()
        }
    }
}

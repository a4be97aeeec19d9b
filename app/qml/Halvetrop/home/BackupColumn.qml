import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// The backups to check against: a drop zone until the first is chosen, then their rows.
ColumnLayout {
    id: column
    required property var model
    spacing: Theme.m

    // Volume descriptions by path key, the same the sidebar shows, kept current by the model.
    readonly property var infos: model.volumeFacts

    Eyebrow {
        objectName: "backupsLabel"
        text: HomeRules.backupsLabel(column.model.destinations.length)
    }

    DropZone {
        objectName: "backupDropZone"
        visible: column.model.destinations.length === 0
        Layout.fillWidth: true
        symbol: "externaldrive"
        title: "Add a backup drive"
        subtitle: "or a folder — add as many as you like"
        onClicked: column.model.chooseBackups()
        onDropped: folders => column.model.addBackupUrls(folders)
    }

    Column {
        Layout.fillWidth: true
        visible: column.model.destinations.length > 0
        spacing: Theme.m
        Repeater {
            model: KeyedList {
                key: "key"
                rows: column.model.destinationKeys.map((key, i) => ({ key: key, path: column.model.destinations[i] || "" }))
            }
            BackupRow {
                required property var row
                required property int index
                objectName: "backupRow"
                width: parent.width
                path: row.path
                info: column.infos[row.key] !== undefined ? column.infos[row.key] : ({})
                connected: column.model.notConnectedBackups.indexOf(row.key) < 0
                onRemove: column.model.removeBackupAt(index)
            }
        }
    }
    AbstractButton {
        id: addBackup
        objectName: "addBackup"
        visible: column.model.destinations.length > 0
        text: "Add another backup"
        hoverEnabled: true
        focusPolicy: Qt.StrongFocus
        padding: 4
        onClicked: column.model.chooseBackups()
        contentItem: Row {
            spacing: 6
            Symbol {
                anchors.verticalCenter: parent.verticalCenter
                name: "plus.circle"
                size: 16
                color: Theme.brand
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: addBackup.text
                textFormat: Text.PlainText
                font.family: Theme.family
                font.pixelSize: Theme.callout.pixelSize
                font.weight: Font.Medium
                font.underline: addBackup.visualFocus
                color: Theme.textRole("brand")
            }
        }
        background: Rectangle {
            radius: Theme.radiusS
            color: addBackup.hovered ? Theme.track : "transparent"
        }
    }
}

import QtQuick
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// The backups to check against: a drop zone until the first is chosen, then their rows.
ColumnLayout {
    id: column
    required property var model
    spacing: Theme.m

    // Volume descriptions by path, filled as the model reports them.
    property var infos: ({})
    function refreshInfos() {
        const next = {}
        for (const path of model.destinations)
            next[path] = model.volumeInfo(path)
        infos = next
    }
    Component.onCompleted: refreshInfos()
    Connections {
        target: column.model
        function onDestinationsChanged() { column.refreshInfos() }
        function onVolumeInfoReady(path) {
            if (column.model.destinations.indexOf(path) >= 0)
                column.refreshInfos()
        }
    }

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

    Repeater {
        model: column.model.destinations
        BackupRow {
            required property string modelData
            required property int index
            objectName: "backupRow"
            Layout.fillWidth: true
            path: modelData
            info: column.infos[modelData] !== undefined ? column.infos[modelData] : ({})
            onRemove: column.model.removeBackupAt(index)
        }
    }
    SymbolButton {
        objectName: "addBackup"
        visible: column.model.destinations.length > 0
        symbol: "plus.circle"
        text: "Add another backup"
        tint: Theme.brand
        textFont: Qt.font({ family: Theme.family, pixelSize: Theme.callout.pixelSize, weight: Font.Medium })
        onClicked: column.model.chooseBackups()
    }
}

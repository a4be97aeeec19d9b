import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop

// The list form of the browser: one row per visible file, sortable columns, single selection
// kept in the model, the context menu, the preview on a double click and the space bar.
FocusScope {
    id: table
    required property var app
    property string sortColumn
    property bool ascending
    signal sortRequested(string column)
    signal menuRequested(var ids)

    readonly property var columns: [
        { key: "status", title: "", width: 22 },
        { key: "name", title: "Name", width: 150 },
        { key: "status", title: "Status", width: 120 },
        { key: "day", title: "Shoot day", width: 90 },
        { key: "folder", title: "Folder", width: 100 },
        { key: "size", title: "Size", width: 70 },
        { key: "", title: "On backup", width: 120 }
    ]

    Keys.onSpacePressed: event => {
        event.accepted = table.app.selectedFileID >= 0
        if (event.accepted)
            table.app.quickLook(table.app.selectedFileID)
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Row {
            objectName: "tableHeader"
            Layout.fillWidth: true
            Layout.leftMargin: Theme.s
            height: 26
            Repeater {
                model: table.columns
                delegate: Item {
                    required property var modelData
                    required property int index
                    width: index === table.columns.length - 1 ? Math.max(modelData.width, table.width - 560) : modelData.width
                    height: 26
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: modelData.title + (index > 0 && modelData.key === table.sortColumn
                                                 ? (table.ascending ? " ▲" : " ▼") : "")
                        textFormat: Text.PlainText
                        font: Theme.callout
                        color: Theme.secondary
                    }
                    MouseArea {
                        anchors.fill: parent
                        enabled: modelData.key.length > 0
                        objectName: "sortBy_" + modelData.title
                        onClicked: table.sortRequested(modelData.key)
                    }
                }
            }
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.hairline }

        ListView {
            id: list
            objectName: "fileTableList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            focus: true
            model: table.app.files
            reuseItems: true
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {}

            delegate: Rectangle {
                id: row
                required property int index
                required property var fileId
                required property string name
                required property string status
                required property string statusText
                required property bool covered
                required property string day
                required property string folder
                required property string size
                required property string onBackup
                readonly property bool selected: table.app.selectedFileID === fileId
                width: ListView.view.width
                height: 24
                color: selected ? Theme.selection : (index % 2 ? Theme.track : "transparent")
                readonly property color ink: selected ? Theme.onSelection : Theme.primary
                readonly property color quiet: selected ? Theme.onSelection : Theme.secondary

                MouseArea {
                    anchors.fill: parent
                    acceptedButtons: Qt.LeftButton | Qt.RightButton
                    onClicked: mouse => {
                        table.app.selectedFileID = row.fileId
                        list.forceActiveFocus()
                        if (mouse.button === Qt.RightButton)
                            table.menuRequested([row.fileId])
                    }
                    onDoubleClicked: table.app.quickLook(row.fileId)
                }
                Row {
                    anchors.fill: parent
                    anchors.leftMargin: Theme.s
                    StatusGlyph {
                        width: 22
                        anchors.verticalCenter: parent.verticalCenter
                        status: row.status
                        prominent: row.selected
                        size: 14
                    }
                    DataText {
                        width: 150; anchors.verticalCenter: parent.verticalCenter
                        text: row.name; color: row.ink; rightPadding: Theme.s
                        PlainToolTip { visible: nameHover.hovered; text: row.statusText }
                        HoverHandler { id: nameHover }
                    }
                    DataText {
                        width: 120; anchors.verticalCenter: parent.verticalCenter
                        text: row.statusText; color: row.covered ? row.quiet : row.ink; rightPadding: Theme.s
                    }
                    DataText {
                        width: 90; anchors.verticalCenter: parent.verticalCenter
                        text: row.day; color: row.ink; font: Theme.caption
                    }
                    DataText {
                        width: 100; anchors.verticalCenter: parent.verticalCenter
                        text: row.folder; color: row.quiet; rightPadding: Theme.s
                    }
                    DataText {
                        width: 70; anchors.verticalCenter: parent.verticalCenter
                        text: row.size; color: row.quiet; font: Theme.caption
                    }
                    Item {
                        width: Math.max(120, row.width - 560 - Theme.s)
                        height: row.height
                        DataText {
                            anchors.verticalCenter: parent.verticalCenter
                            visible: row.onBackup.length === 0
                            text: "—"
                            color: selected ? Theme.onSelection : Theme.tertiary
                        }
                        Row {
                            anchors.fill: parent
                            spacing: Theme.xs
                            visible: row.onBackup.length > 0
                            SymbolButton {
                                id: revealButton
                                anchors.verticalCenter: parent.verticalCenter
                                objectName: "revealCopy"
                                symbol: "folder.fill"
                                tint: row.selected ? Theme.onSelection : Theme.brand
                                symbolSize: 13
                                padding: 0
                                help: "Show on Drive"
                                onClicked: table.app.revealFiles([row.fileId], true)
                            }
                            DataText {
                                anchors.verticalCenter: parent.verticalCenter
                                width: parent.width - revealButton.width - Theme.xs
                                text: row.onBackup
                                color: row.quiet
                                elide: Text.ElideLeft
                            }
                        }
                    }
                }
            }
        }
    }
}

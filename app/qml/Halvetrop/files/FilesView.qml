import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// The browser of the shown report's files: the way back, the status filter, the restriction
// chips, the count, the list/grid switch and the search over the table or the grid. All
// filtering and selection live in the model; the table's sort order is the browser's own.
Item {
    id: view
    required property var model
    objectName: "FilesView"
    property string sortColumn: "path"
    property bool ascending: true
    readonly property var rows: model.files

    function sortBy(column) {
        if (column === sortColumn) {
            ascending = !ascending
        } else {
            sortColumn = column
            ascending = true
        }
    }
    Binding { target: view.rows; property: "sortColumn"; value: view.sortColumn; when: view.rows !== null }
    Binding { target: view.rows; property: "sortAscending"; value: view.ascending; when: view.rows !== null }

    Shortcut {
        sequence: "Ctrl+["
        onActivated: view.model.backToShoots()
    }

    FileMenu { id: menu; model: view.model }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        RowLayout {
            objectName: "filesHeader"
            Layout.fillWidth: true
            // A narrow window squeezes the search field instead of widening the list.
            Layout.minimumWidth: 0
            Layout.leftMargin: Theme.xl
            Layout.rightMargin: Theme.xl
            Layout.topMargin: Theme.s
            Layout.bottomMargin: Theme.s
            spacing: Theme.m

            Button {
                objectName: "backToShoots"
                leftPadding: 6
                rightPadding: 6
                text: "‹ Shoots"
                onClicked: view.model.backToShoots()
                PlainToolTip { visible: parent.hovered; text: "Back to the overview of shoots (Ctrl+[)" }
            }
            Row {
                objectName: "statusFilter"
                Layout.alignment: Qt.AlignVCenter
                visible: !view.model.reportCardOnly
                Repeater {
                    model: ["All", "Not backed up", "Backed up"]
                    delegate: Button {
                        required property string modelData
                        required property int index
                        objectName: "filter_" + index
                        text: modelData
                        leftPadding: 6
                        rightPadding: 6
                        checkable: true
                        checked: view.model.filter === index
                        onClicked: view.model.filter = index
                    }
                }
            }
            FilterChip {
                objectName: "shootChip"
                Layout.maximumWidth: 200
                Layout.minimumWidth: 60
                Layout.fillWidth: true
                visible: view.model.groupFilter.length > 0
                text: view.model.shootChipText
                onCleared: view.model.groupFilter = ""
            }
            FilterChip {
                objectName: "folderChip"
                visible: view.model.hasFolderFilter
                text: view.model.folderFilterTitle
                onCleared: view.model.clearFolderFilter()
            }
            Text {
                objectName: "fileCount"
                text: view.model.visibleFileCount === 1 ? "1 file" : Present.count(view.model.visibleFileCount) + " files"
                textFormat: Text.PlainText
                font: Theme.secondaryFont
                color: Theme.secondary
            }
            Button {
                objectName: "switchForm"
                leftPadding: 6
                rightPadding: 6
                text: view.model.gridView ? "List" : "Grid"
                onClicked: view.model.gridView = !view.model.gridView
                PlainToolTip { visible: parent.hovered; text: view.model.gridView ? "Show as a list" : "Show as a grid" }
            }
            TextField {
                objectName: "searchField"
                placeholderText: "Search"
                Layout.preferredWidth: 160
                Layout.minimumWidth: 110
                Layout.fillWidth: true
                text: view.model.search
                onTextEdited: view.model.search = text
            }
        }
        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.hairline }

        Loader {
            Layout.fillWidth: true
            Layout.fillHeight: true
            sourceComponent: view.model.visibleFileCount === 0 ? empty : (view.model.gridView ? gridForm : tableForm)
        }
    }

    Component {
        id: tableForm
        FileTable {
            objectName: "fileTable"
            app: view.model
            sortColumn: view.sortColumn
            ascending: view.ascending
            onSortRequested: column => view.sortBy(column)
            onMenuRequested: ids => menu.openFor(ids)
        }
    }
    Component {
        id: gridForm
        FileGrid {
            app: view.model
            onMenuRequested: ids => menu.openFor(ids)
        }
    }
    Component {
        id: empty
        Item {
            EmptyState {
                objectName: "filesEmpty"
                anchors.centerIn: parent
                symbol: "magnifyingglass"
                title: view.model.search.length > 0 ? "No results" : "No files"
                description: view.model.search.length > 0 ? "Nothing matches “" + view.model.search + "”."
                                                           : "No file here matches the filters."
            }
        }
    }
}

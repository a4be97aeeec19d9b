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
    // The table's order as one value, so that a click reorders the rows once.
    property var order: ({ column: "path", ascending: true })
    readonly property string sortColumn: order.column
    readonly property bool ascending: order.ascending
    readonly property var rows: model.files

    function sortBy(column) {
        order = { column: column, ascending: column === order.column ? !order.ascending : true }
    }
    Binding { target: view.rows; property: "order"; value: view.order; when: view.rows !== null }

    Shortcut {
        sequence: "Ctrl+["
        enabled: view.visible
        onActivated: view.model.backToShoots()
    }

    // Made when first opened: the browser is made anew each time the files mode is entered.
    Loader {
        id: menu
        objectName: "fileMenuLoader"
        active: false
        function openFor(ids) {
            active = true
            item.openFor(ids)
        }
        sourceComponent: FileMenu { objectName: "fileMenu"; model: view.model }
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        // The header: the way back, the status filter, the restriction chips, the count, the
        // list/grid switch and the search. The chips go to a line of their own when the one line
        // cannot hold them with the search at its narrowest. On the line they sit in a slot the
        // row always lays out: an item the row finds shown only after it was laid out is left
        // where it was made, over the way back.
        ColumnLayout {
            id: header
            objectName: "filesHeader"
            Layout.fillWidth: true
            Layout.leftMargin: Theme.xl
            Layout.rightMargin: Theme.xl
            Layout.topMargin: Theme.s
            Layout.bottomMargin: Theme.s
            spacing: Theme.s
            readonly property bool chipsBelow: hasChips
                && back.implicitWidth + (statusFilter.visible ? statusFilter.implicitWidth + Theme.m : 0)
                   + chipsProbe.implicitWidth + count.implicitWidth + formSwitch.implicitWidth + 90 + 5 * Theme.m > width
            readonly property bool hasChips: view.model.groupFilter.length > 0 || view.model.hasFolderFilter

            RowLayout {
                Layout.fillWidth: true
                spacing: Theme.m

                Button {
                    id: back
                    objectName: "backToShoots"
                    text: "Shoots"
                    icon.source: Present.symbolSource("chevron.left", palette.buttonText)
                    icon.width: 12
                    icon.height: 12
                    leftPadding: 8
                    rightPadding: 10
                    implicitWidth: implicitContentWidth + leftPadding + rightPadding
                    onClicked: view.model.backToShoots()
                    hoverEnabled: true
                    LazyToolTip { shown: back.hovered; text: "Back to the overview of shoots (" + Present.shortcutText("Ctrl+[") + ")" }
                }
                Segmented {
                    id: statusFilter
                    objectName: "statusFilter"
                    visible: !view.model.reportCardOnly
                    name: "Show"
                    segmentPrefix: "filter_"
                    segments: [{ text: "All" }, { text: "Not backed up" }, { text: "Backed up" }]
                    current: view.model.filter
                    onChosen: index => view.model.filter = index
                }
                Item {
                    id: chipsSlot
                    Layout.fillWidth: true
                    Layout.minimumWidth: 0
                    implicitHeight: chipsInline.implicitHeight
                    FilterChips {
                        id: chipsInline
                        visible: header.hasChips && !header.chipsBelow
                        width: chipsSlot.width
                        anchors.verticalCenter: parent.verticalCenter
                        model: view.model
                    }
                }
                Text {
                    id: count
                    objectName: "fileCount"
                    text: Present.fileCount(view.model.visibleFileCount)
                    textFormat: Text.PlainText
                    font: Theme.secondaryFont
                    color: Theme.secondary
                }
                Segmented {
                    id: formSwitch
                    objectName: "switchForm"
                    name: "List or thumbnails"
                    segmentWidth: 40
                    segments: [{ symbol: "list.bullet", help: "List" }, { symbol: "square.grid.2x2", help: "Thumbnails" }]
                    current: view.model.gridView ? 1 : 0
                    onChosen: index => view.model.gridView = index === 1
                    HoverHandler { id: switchHover }
                    LazyToolTip { shown: switchHover.hovered; text: "List or thumbnails" }
                }
                TextField {
                    objectName: "searchField"
                    placeholderText: "Search"
                    Layout.preferredWidth: 180
                    Layout.minimumWidth: 90
                    Layout.maximumWidth: 180
                    Layout.fillWidth: true
                    text: view.model.search
                    onTextEdited: view.model.search = text
                    Accessible.name: "Search"
                }
            }
            // Made only while there are chips: the browser is made anew with each change of mode.
            Loader {
                active: header.chipsBelow
                visible: active
                Layout.fillWidth: true
                sourceComponent: FilterChips { model: view.model }
            }
            // Measures the chips at their full width, wherever they are shown.
            Loader {
                id: chipsProbe
                active: header.hasChips
                visible: false
                sourceComponent: FilterChips { model: view.model }
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
                readonly property bool onlyMissing: view.model.filter === 1
                symbol: onlyMissing ? "checkmark.seal" : "doc"
                title: onlyMissing ? "Everything here is backed up" : "No files"
            }
        }
    }
}

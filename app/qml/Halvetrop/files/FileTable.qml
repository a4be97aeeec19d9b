import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// The list form of the browser: one row per visible file, sortable columns, single selection
// kept in the model, the context menu, the preview on a double click and the space bar. The arrow
// keys move the selection (Page Up and Down by a screenful, Home and End to the ends); Escape
// clears it. The columns share the width between their smallest and their usual widths.
FocusScope {
    id: table
    // Page Up and Page Down move the selection while the table has the keys.
    readonly property bool takesPageKeys: true
    required property var app
    property string sortColumn
    property bool ascending
    signal sortRequested(string column)
    signal menuRequested(var ids)
    // The table holds the keys once a row is clicked or it is reached by Tab: the ring goes round it.
    readonly property Item focusRingItem: list
    activeFocusOnTab: true

    // A status cell shows the file's own note where it fits whole, else the status's name, which
    // always fits: the column never gets narrower than the longest name.
    // (Measures are read again when the metrics' font comes.)
    FontMetrics { id: cellMetrics; font: Theme.body }
    readonly property real statusFloor: cellMetrics.font.pixelSize > 0
        ? Math.ceil(Math.max(...["verified", "backedUp", "likely", "conflict", "missing", "cloudOnly", "unreadable",
                                 "changed", "notCompared"].map(s => cellMetrics.advanceWidth(Present.statusLabel(s))))) + Theme.s
        : 0
    readonly property var columns: [
        { key: "status", title: "", min: 22, ideal: 22 },
        { key: "name", title: "Name", min: 100, ideal: 160 },
        { key: "status", title: "Status", min: statusFloor, ideal: Math.max(statusFloor, 300) },
        { key: "day", title: "Shoot day", min: 84, ideal: 100 },
        { key: "folder", title: "Folder", min: 70, ideal: 110 },
        { key: "size", title: "Size", min: 60, ideal: 80 },
        { key: "", title: "On backup", min: 100, ideal: 220 }
    ]
    readonly property var widths: Present.fitColumns(columns.map(c => [c.min, c.ideal]), list.width - 2 * Theme.s, columns.length - 1)

    function select(row) {
        const id = table.app.files.idAt(row)
        if (id < 0)
            return
        table.app.selectedFileID = id
        list.positionViewAtIndex(row, ListView.Contain)
    }
    function step(by) {
        const current = table.app.selectedFileID >= 0 ? table.app.files.rowOf(table.app.selectedFileID) : -1
        table.select(Present.stepSelection(current, by, list.count, 1))
    }
    readonly property int page: Math.max(1, Math.floor(list.height / 24) - 1)

    Keys.onSpacePressed: event => {
        event.accepted = table.app.selectedFileID >= 0
        if (event.accepted)
            table.app.quickLook(table.app.selectedFileID)
    }
    Keys.onUpPressed: table.step(-1)
    Keys.onDownPressed: table.step(1)
    Keys.onPressed: event => {
        if (event.key === Qt.Key_PageUp) table.step(-table.page)
        else if (event.key === Qt.Key_PageDown) table.step(table.page)
        else if (event.key === Qt.Key_Home) table.select(0)
        else if (event.key === Qt.Key_End) table.select(list.count - 1)
        else if (event.key === Qt.Key_Escape && table.app.selectedFileID >= 0) table.app.selectedFileID = -1
        else return
        event.accepted = true
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
                    width: table.widths[index]
                    height: 26
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        width: parent.width - Theme.xs
                        text: modelData.title + (index > 0 && modelData.key === table.sortColumn
                                                 ? (table.ascending ? " ▲" : " ▼") : "")
                        textFormat: Text.PlainText
                        elide: Text.ElideRight
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
            // The selection moves by the table's own keys, not the view's current item.
            keyNavigationEnabled: false
            // The list clips what lies outside it: the ring is drawn just inside its edge.
            readonly property bool focusRingInside: true
            readonly property real focusRingRadius: 0
            model: table.app.files
            reuseItems: true
            // Only what is in sight is made: the view is made anew with each change of mode, and rows
            // scrolled into sight come from the reused ones.
            cacheBuffer: 0
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {}

            delegate: Rectangle {
                id: row
                objectName: "fileRow"
                required property int index
                required property var fileId
                required property string name
                required property string status
                required property string statusText
                required property string statusLabel
                required property bool covered
                required property string day
                required property string folder
                required property string size
                required property string onBackup
                readonly property bool selected: table.app.selectedFileID === fileId
                // A control focused inside the selected row rings in the selection's text colour.
                readonly property bool selectionFill: selected
                width: ListView.view.width
                height: 24
                color: selected ? Theme.selection : (index % 2 ? Theme.track : "transparent")
                readonly property color ink: selected ? Theme.selectionText : Theme.primary
                readonly property color quiet: selected ? Theme.selectionText : Theme.secondary

                MouseArea {
                    anchors.fill: parent
                    acceptedButtons: Qt.LeftButton | Qt.RightButton
                    onClicked: mouse => {
                        list.forceActiveFocus()
                        // A right click opens the menu for the row under it, wherever the selection is.
                        if (mouse.button === Qt.RightButton)
                            table.menuRequested([row.fileId])
                        else
                            table.app.selectedFileID = row.fileId
                    }
                    onDoubleClicked: mouse => {
                        if (mouse.button === Qt.LeftButton)
                            table.app.quickLook(row.fileId)
                    }
                }
                Row {
                    anchors.fill: parent
                    anchors.leftMargin: Theme.s
                    StatusGlyph {
                        width: table.widths[0]
                        anchors.verticalCenter: parent.verticalCenter
                        status: row.status
                        key: row.fileId
                        prominent: row.selected
                        size: 14
                    }
                    DataText {
                        id: nameText
                        width: table.widths[1]; anchors.verticalCenter: parent.verticalCenter
                        text: row.name; color: row.ink; rightPadding: Theme.s
                        elide: Text.ElideMiddle
                        LazyToolTip { shown: nameHover.hovered; text: (nameText.truncated ? row.name + "\n" : "") + row.statusText }
                        HoverHandler { id: nameHover }
                    }
                    DataText {
                        id: statusCell
                        objectName: "statusCell"
                        width: table.widths[2]; anchors.verticalCenter: parent.verticalCenter
                        readonly property string label: row.statusLabel
                        readonly property bool noteFits: cellMetrics.font.pixelSize > 0
                                                         && cellMetrics.advanceWidth(row.statusText) <= width - rightPadding
                        text: noteFits ? row.statusText : label
                        color: row.covered ? row.quiet : row.ink; rightPadding: Theme.s
                        HoverHandler { id: statusHover }
                        LazyToolTip { shown: statusHover.hovered && statusCell.text !== row.statusText; text: row.statusText }
                    }
                    DataText {
                        width: table.widths[3]; anchors.verticalCenter: parent.verticalCenter
                        text: row.day; color: row.ink; font: Theme.caption
                    }
                    // Paths keep their end: cut at a folder's start where one fits.
                    DataText {
                        width: table.widths[4]; anchors.verticalCenter: parent.verticalCenter
                        text: Present.cutPath(row.folder, font, width - rightPadding).text
                        color: row.quiet; rightPadding: Theme.s
                        elide: Text.ElideNone
                    }
                    DataText {
                        width: table.widths[5]; anchors.verticalCenter: parent.verticalCenter
                        text: row.size; color: row.quiet; font: Theme.caption
                    }
                    // A dash where no backup holds the file; else the reveal button and the path.
                    Item {
                        width: table.widths[6]
                        height: row.height
                        readonly property bool onBackup: row.onBackup.length > 0
                        DataText {
                            x: parent.onBackup ? revealButton.width + Theme.xs : 0
                            anchors.verticalCenter: parent.verticalCenter
                            width: parent.onBackup ? parent.width - revealButton.width - Theme.xs : parent.width
                            text: parent.onBackup ? Present.cutPath(row.onBackup, font, width).text : "—"
                            color: parent.onBackup ? row.quiet : row.selected ? Theme.selectionText : Theme.tertiary
                            elide: parent.onBackup ? Text.ElideNone : Text.ElideRight
                        }
                        // The button itself on the selected row, under the pointer and while it
                        // holds the keys; elsewhere its symbol alone, which looks the same: a
                        // table of many rows makes a control for each otherwise.
                        Item {
                            id: revealButton
                            visible: parent.onBackup
                            anchors.verticalCenter: parent.verticalCenter
                            width: 15
                            height: 15
                            property bool focused: false
                            HoverHandler { id: revealHover }
                            Symbol {
                                x: 1
                                y: 1
                                visible: !reveal.active
                                name: "arrow.right.circle.fill"
                                color: row.selected ? Theme.selectionText : Theme.brand
                                size: 13
                            }
                            Loader {
                                id: reveal
                                anchors.fill: parent
                                active: row.selected || revealHover.hovered || revealButton.focused
                                sourceComponent: SymbolButton {
                                    objectName: "revealCopy"
                                    symbol: "arrow.right.circle.fill"
                                    tint: row.selected ? Theme.selectionText : Theme.brand
                                    symbolSize: 13
                                    padding: 1
                                    help: "Show on Drive"
                                    onActiveFocusChanged: revealButton.focused = activeFocus
                                    onClicked: table.app.revealFiles([row.fileId], true)
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}

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

    // Each column as wide as what it shows needs (its header too), measured over the texts the
    // rows may show widest as drawn; where the table is narrower, the columns give way in turn: a
    // note to its status's name (which always fits), the backup's place (cut from its start), a
    // folder down to its last part (kept whole: a cut folder never reads as another), and a name
    // only then (cut in its middle, its number and extension whole). Days and sizes are never cut.
    // What is left goes to the last column. A cut cell's whole text is its tooltip.
    // (Measures are read again when the metrics' fonts come.)
    FontMetrics { id: cellMetrics; font: Theme.body }
    FontMetrics { id: captionMetrics; font: Theme.caption }
    FontMetrics { id: headerMetrics; font: Theme.callout }
    readonly property var texts: (table.app.files.textsRevision, table.app.files.columnTexts(cellMetrics.font))
    readonly property real pad: Theme.s
    // The reveal button before a backup's place.
    readonly property real revealRoom: 15 + Theme.xs
    function widest(list, metrics) {
        let w = 0
        for (const t of list || [])
            w = Math.max(w, metrics.advanceWidth(t))
        return Math.ceil(w)
    }
    function headed(index, need) {
        return Math.max(need, Math.ceil(headerMetrics.advanceWidth(columns[index].title + " ▲")) + Theme.xs)
    }
    readonly property real statusFloor: cellMetrics.font.pixelSize > 0
        ? headed(2, widest(texts.labels, cellMetrics) + pad) : 0
    readonly property var needs: cellMetrics.font.pixelSize > 0 ? [
        22,
        headed(1, widest(texts.names, cellMetrics) + pad),
        Math.max(statusFloor, widest(texts.notes, cellMetrics) + pad),
        headed(3, widest(texts.days, captionMetrics) + pad),
        headed(4, widest(texts.folders, cellMetrics) + pad),
        headed(5, widest(texts.sizes, captionMetrics) + pad),
        headed(6, (texts.backups || []).length > 0 ? revealRoom + widest(texts.backups, cellMetrics) + pad
                                                   : widest(["—"], cellMetrics) + pad)
    ] : columns.map(c => 0)
    // A name cut keeps its number and extension ("…0001.JPG"), the backup's place its file's
    // (narrower, it shows only "…"): the least room a name's column gives way to, and the least
    // the backup's place keeps until every other column has given way.
    readonly property real nameFloor: Math.min(needs[1], widest(texts.nameFloors, cellMetrics) + pad)
    // The room of a name as cameras write them: names longer than that give way before the
    // backup's place gives up its text.
    readonly property real cameraName: widest(["GX010123.MP4"], cellMetrics) + pad
    readonly property real backupFloor: Math.min(needs[6], revealRoom + widest(texts.backupFloors, cellMetrics))
    // A folder cut from its start keeps its last part whole behind "…/" (a long one is cut in
    // its middle past a name's room).
    readonly property real folderFloor: Math.min(needs[4], headed(4, Math.min(160,
        Math.ceil(cellMetrics.advanceWidth("…/")) + widest(texts.lastFolders, cellMetrics) + pad)))
    readonly property var cameraStep: [1, Math.max(nameFloor, Math.min(needs[1], cameraName))]
    // The backup's place never gives way past its files' numbers and extensions (backupFloor)
    // while another column still has room beyond what it must show.
    readonly property var steps: [
        [2, statusFloor],
        [6, Math.min(needs[6], Math.max(backupFloor, headed(6, revealRoom + 80)))],
        [4, folderFloor],
        [1, Math.max(nameFloor, Math.min(needs[1], 160))],
        [6, backupFloor],
        cameraStep,
        [4, Math.min(folderFloor, 100)],
        [1, Math.max(nameFloor, Math.min(needs[1], 100))],
        [4, 40],
        [1, nameFloor],
        [6, revealRoom],
        [2, 60]
    ]
    readonly property var columns: [
        { key: "status", title: "" },
        { key: "name", title: "Name" },
        { key: "status", title: "Status" },
        { key: "day", title: "Shoot day" },
        { key: "folder", title: "Folder" },
        { key: "size", title: "Size" },
        { key: "", title: "On backup" }
    ]
    // Long names give way to a camera's only where that keeps the backup's file numbers in sight.
    readonly property var widths: {
        const available = list.width - 2 * Theme.s
        const fitted = Present.fitColumns(needs, steps, available, columns.length - 1)
        return fitted[6] >= backupFloor - 0.5 ? fitted
             : Present.fitColumns(needs, steps.filter(s => s !== cameraStep), available, columns.length - 1)
    }

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
                    objectName: "columnHeader"
                    required property var modelData
                    required property int index
                    readonly property string title: modelData.title
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
                        objectName: "nameCell"
                        readonly property var cut: Present.cutName(row.name, font, width - rightPadding)
                        readonly property string whole: cut.full
                        width: table.widths[1]; anchors.verticalCenter: parent.verticalCenter
                        text: cut.text; color: row.ink; rightPadding: Theme.s
                        LazyToolTip {
                            tipName: "nameTip"
                            shown: nameHover.hovered
                            text: (nameText.cut.cut || nameText.truncated ? nameText.whole + "\n" : "") + row.statusText
                        }
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
                        LazyToolTip {
                            tipName: "statusTip"
                            shown: statusHover.hovered && (statusCell.text !== row.statusText || statusCell.truncated)
                            text: row.statusText
                        }
                    }
                    DataText {
                        objectName: "dayCell"
                        width: table.widths[3]; anchors.verticalCenter: parent.verticalCenter
                        text: row.day; color: row.ink; font: Theme.caption; rightPadding: Theme.s
                    }
                    // Paths keep their end: cut at a folder's start where one fits.
                    DataText {
                        id: folderCell
                        objectName: "folderCell"
                        readonly property var cut: Present.cutPath(row.folder, font, width - rightPadding)
                        readonly property string whole: cut.full
                        width: table.widths[4]; anchors.verticalCenter: parent.verticalCenter
                        text: cut.text
                        color: row.quiet; rightPadding: Theme.s
                        elide: Text.ElideNone
                        HoverHandler { id: folderHover }
                        LazyToolTip { tipName: "folderTip"; shown: folderHover.hovered && folderCell.cut.cut; text: folderCell.whole }
                    }
                    DataText {
                        objectName: "sizeCell"
                        width: table.widths[5]; anchors.verticalCenter: parent.verticalCenter
                        text: row.size; color: row.quiet; font: Theme.caption; rightPadding: Theme.s
                    }
                    // A dash where no backup holds the file; else the reveal button and the path.
                    Item {
                        width: table.widths[6]
                        height: row.height
                        readonly property bool onBackup: row.onBackup.length > 0
                        DataText {
                            id: backupCell
                            objectName: "backupCell"
                            // Its file's name, cut, keeps its number and extension.
                            readonly property var cut: parent.onBackup ? Present.cutFilePath(row.onBackup, font, width)
                                                                       : ({ text: "—", full: "", cut: false })
                            readonly property string whole: cut.full
                            x: parent.onBackup ? revealButton.width + Theme.xs : 0
                            anchors.verticalCenter: parent.verticalCenter
                            width: parent.onBackup ? parent.width - revealButton.width - Theme.xs : parent.width
                            text: cut.text
                            color: parent.onBackup ? row.quiet : row.selected ? Theme.selectionText : Theme.tertiary
                            elide: parent.onBackup ? Text.ElideNone : Text.ElideRight
                            HoverHandler { id: backupHover }
                            LazyToolTip { tipName: "backupTip"; shown: backupHover.hovered && backupCell.cut.cut; text: backupCell.whole }
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

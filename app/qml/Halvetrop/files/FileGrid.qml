import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// The grid form of the browser: one tile per visible file in the table's order, with the file's
// picture, its status badge and name; a tile that is not backed up is edged in its status colour
// and a little faded. Selection lives in the model: a click, the arrow keys and Page Up and Down
// move it, Escape clears it, Space and a double click preview; a right click opens the menu of
// the tile under it and leaves the selection alone.
GridView {
    id: grid
    required property var app
    signal menuRequested(var ids)
    objectName: "fileGrid"
    clip: true
    focus: true
    activeFocusOnTab: true
    keyNavigationEnabled: false
    readonly property Item focusRingItem: grid
    // Page Up and Page Down move the selection while the grid has the keys.
    readonly property bool takesPageKeys: true
    readonly property bool focusRingInside: true
    readonly property real focusRingRadius: 0

    // Adaptive columns of 132 to 180 points, 12 apart, inside 20 points of padding.
    readonly property real room: width - 2 * Theme.xl
    readonly property int columns: Math.max(1, Math.floor((room + Theme.m) / (132 + Theme.m)))
    cellWidth: Math.floor(Math.min(180 + Theme.m, (room + Theme.m) / columns))
    cellHeight: 104 + 6 + nameHeight.height + 2 * 6 + Theme.m
    leftMargin: Theme.xl
    // Each cell carries the spacing after it; the last one's reaches into the padding.
    rightMargin: Theme.xl - Theme.m
    topMargin: Theme.xl
    bottomMargin: Theme.xl
    boundsBehavior: Flickable.StopAtBounds
    model: grid.app.files
    reuseItems: true
    // Only what is in sight is made: the view is made anew with each change of mode, and rows
    // scrolled into sight come from the reused ones.
    cacheBuffer: 0
    ScrollBar.vertical: ScrollBar { policy: ScrollBar.AlwaysOn }

    TextMetrics { id: nameHeight; font: Theme.secondaryFont; text: "Ag" }

    function select(index) {
        const id = grid.app.files.idAt(index)
        if (id < 0)
            return
        grid.app.selectedFileID = id
        grid.positionViewAtIndex(index, GridView.Contain)
    }
    function step(by) {
        const current = grid.app.selectedFileID >= 0 ? grid.app.files.rowOf(grid.app.selectedFileID) : -1
        grid.select(Present.stepSelection(current, by, grid.count, grid.columns))
    }

    Keys.onSpacePressed: event => {
        event.accepted = grid.app.selectedFileID >= 0
        if (event.accepted)
            grid.app.quickLook(grid.app.selectedFileID)
    }
    Keys.onLeftPressed: grid.step(-1)
    Keys.onRightPressed: grid.step(1)
    Keys.onUpPressed: grid.step(-grid.columns)
    Keys.onDownPressed: grid.step(grid.columns)
    // The lines a page holds, as the table's Page Up and Page Down move by its rows.
    readonly property int page: Math.max(1, Math.floor((height - topMargin - bottomMargin) / cellHeight))
    function pageBy(lines) {
        const current = grid.app.selectedFileID >= 0 ? grid.app.files.rowOf(grid.app.selectedFileID) : -1
        grid.select(Present.pageSelection(current, lines, grid.count, grid.columns))
    }
    Keys.onPressed: event => {
        if (event.key === Qt.Key_PageUp) grid.pageBy(-grid.page)
        else if (event.key === Qt.Key_PageDown) grid.pageBy(grid.page)
        else if (event.key === Qt.Key_Home) grid.select(0)
        else if (event.key === Qt.Key_End) grid.select(grid.count - 1)
        else if (event.key === Qt.Key_Escape && grid.app.selectedFileID >= 0) grid.app.selectedFileID = -1
        else return
        event.accepted = true
    }

    delegate: Item {
        id: cell
        required property var fileId
        required property string name
        required property string status
        required property string statusText
        required property bool covered
        required property string kind
        required property string thumbnail
        readonly property bool selected: grid.app.selectedFileID === fileId
        readonly property color statusColor: Theme.statusColor(status)
        objectName: "fileTile"
        width: grid.cellWidth
        height: grid.cellHeight

        Rectangle {
            id: tile
            width: parent.width - Theme.m
            height: parent.height - Theme.m
            radius: Theme.radiusM
            color: cell.selected ? Qt.rgba(Theme.brandFill.r, Theme.brandFill.g, Theme.brandFill.b, 0.18) : "transparent"
            border.width: 1.5
            // Clear for a file that is backed up, and for one never compared.
            border.color: cell.covered || cell.status === "notCompared" ? "transparent"
                          : Qt.rgba(cell.statusColor.r, cell.statusColor.g, cell.statusColor.b, 0.6)

            Rectangle {
                id: picture
                x: 6
                y: 6
                width: tile.width - 12
                height: 104
                radius: Theme.radiusS
                color: Qt.rgba(0, 0, 0, 0.04)
                clip: true
                opacity: cell.covered ? 1 : 0.92
                Symbol {
                    anchors.centerIn: parent
                    size: 36
                    color: Theme.tertiary
                    visible: thumb.status !== Image.Ready || thumb.implicitWidth === 0
                    name: ({ photo: "photo", video: "video", audio: "waveform" })[cell.kind] || "doc"
                }
                Image {
                    id: thumb
                    anchors.fill: parent
                    fillMode: Image.PreserveAspectFit
                    asynchronous: true
                    cache: false
                    source: cell.thumbnail
                }
                Rectangle {
                    objectName: "tileBadge"
                    anchors { right: parent.right; top: parent.top; margins: 5 }
                    width: 18; height: 18; radius: 9
                    color: Theme.window
                    StatusGlyph { anchors.centerIn: parent; status: cell.status; key: cell.fileId; size: 16 }
                }
            }
            DataText {
                anchors { top: picture.bottom; topMargin: 6; horizontalCenter: parent.horizontalCenter }
                width: picture.width
                horizontalAlignment: Text.AlignHCenter
                text: cell.name
                font: Theme.secondaryFont
                elide: Text.ElideMiddle
                color: Theme.primary
            }
        }
        HoverHandler { id: hover }
        // Under the tile, so a tile of the first row never lays its tooltip over the browser's
        // header above the grid.
        LazyToolTip {
            tipName: "tileTip"
            tipY: tile.height + 4
            shown: hover.hovered
            text: cell.name + "\n" + cell.statusText
        }
        MouseArea {
            anchors.fill: tile
            acceptedButtons: Qt.LeftButton | Qt.RightButton
            onClicked: mouse => {
                grid.forceActiveFocus()
                if (mouse.button === Qt.RightButton)
                    grid.menuRequested([cell.fileId])
                else
                    grid.app.selectedFileID = cell.fileId
            }
            onDoubleClicked: mouse => {
                if (mouse.button === Qt.LeftButton)
                    grid.app.quickLook(cell.fileId)
            }
        }
    }
}

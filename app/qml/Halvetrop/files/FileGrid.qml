import QtQuick
import QtQuick.Controls
import Halvetrop

// The grid form of the browser: one tile per visible file in the table's order, with the
// file's kind picture, its status badge and name; selection in the model, Space and a double
// click preview.
GridView {
    id: grid
    required property var app
    signal menuRequested(var ids)
    objectName: "fileGrid"
    clip: true
    focus: true
    cellWidth: 150
    cellHeight: 150
    leftMargin: Theme.xl
    topMargin: Theme.m
    boundsBehavior: Flickable.StopAtBounds
    model: grid.app.files
    reuseItems: true
    ScrollBar.vertical: ScrollBar {}

    Keys.onSpacePressed: event => {
        event.accepted = grid.app.selectedFileID >= 0
        if (event.accepted)
            grid.app.quickLook(grid.app.selectedFileID)
    }

    delegate: Item {
        id: tile
        objectName: "fileTile"
        required property var fileId
        required property string name
        required property string status
        required property string statusText
        required property string kind
        required property string thumbnail
        readonly property bool selected: grid.app.selectedFileID === fileId
        width: grid.cellWidth
        height: grid.cellHeight

        Rectangle {
            id: picture
            x: 6; y: 4
            width: tile.width - 12
            height: tile.height - 32
            radius: Theme.radiusM
            color: Theme.track
            border.width: tile.selected ? 3 : 0
            border.color: Theme.brand
            Symbol {
                anchors.centerIn: parent
                size: 36
                color: Theme.tertiary
                visible: thumb.status !== Image.Ready || thumb.implicitWidth === 0
                name: ({ photo: "photo", video: "video", audio: "waveform" })[tile.kind] || "doc"
            }
            Image {
                id: thumb
                anchors.fill: parent
                anchors.margins: 4
                fillMode: Image.PreserveAspectFit
                asynchronous: true
                cache: false
                source: tile.thumbnail
            }
            Rectangle {
                anchors { right: parent.right; bottom: parent.bottom; margins: 6 }
                width: 22; height: 22; radius: 11
                color: Theme.raised
                StatusGlyph { anchors.centerIn: parent; status: tile.status; size: 16 }
            }
        }
        DataText {
            anchors { top: picture.bottom; topMargin: 4; horizontalCenter: parent.horizontalCenter }
            width: picture.width
            horizontalAlignment: Text.AlignHCenter
            text: tile.name
            font: Theme.callout
            color: tile.selected ? Theme.brand : Theme.primary
        }
        PlainToolTip { visible: hover.hovered; text: tile.name + " — " + tile.statusText }
        HoverHandler { id: hover }
        MouseArea {
            anchors.fill: parent
            acceptedButtons: Qt.LeftButton | Qt.RightButton
            onClicked: mouse => {
                grid.app.selectedFileID = tile.fileId
                grid.forceActiveFocus()
                if (mouse.button === Qt.RightButton)
                    grid.menuRequested([tile.fileId])
            }
            onDoubleClicked: grid.app.quickLook(tile.fileId)
        }
    }
}

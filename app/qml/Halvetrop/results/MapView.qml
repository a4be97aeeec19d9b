import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// The card's folders on the left; on the right where the selected folder's files lie.
SplitView {
    id: map
    required property var model
    required property var results
    orientation: Qt.Horizontal

    ListView {
        id: list
        objectName: "folderList"
        SplitView.minimumWidth: 300
        SplitView.preferredWidth: 380
        clip: true
        model: map.results.folders
        ScrollBar.vertical: ScrollBar {}
        delegate: ItemDelegate {
            id: folderRow
            required property string title
            required property string days
            required property string countsText
            required property var counts
            required property int depth
            required property string path
            objectName: "folderRow"
            width: list.width
            highlighted: map.model.selectedFolder === path
            onClicked: map.model.selectedFolder = path
            leftPadding: Theme.m + depth * 14
            topPadding: 4
            bottomPadding: 4
            contentItem: Row {
                spacing: Theme.s
                Symbol {
                    anchors.verticalCenter: parent.verticalCenter
                    name: folderRow.depth === 0 ? "sdcard" : "folder.fill"
                    color: Qt.rgba(Theme.brand.r, Theme.brand.g, Theme.brand.b, 0.85)
                }
                Column {
                    width: folderRow.availableWidth - 24
                    spacing: 3
                    Item {
                        width: parent.width
                        height: name.implicitHeight
                        Row {
                            spacing: Theme.s
                            DataText { id: name; text: folderRow.title; font: Theme.rowTitle }
                            Text { visible: text !== ""; text: folderRow.days; font: Theme.secondaryFont; color: Theme.secondary }
                        }
                        Text {
                            anchors.right: parent.right
                            text: folderRow.countsText
                            font: Theme.secondaryFont
                            color: Theme.secondary
                        }
                    }
                    CoverageBar {
                        visible: !map.results.cardOnly
                        width: parent.width
                        results: map.results
                        counts: folderRow.counts
                        barHeight: 4
                    }
                }
            }
        }
    }
    DestinationsPanel {
        SplitView.minimumWidth: 320
        SplitView.fillWidth: true
        model: map.model
        results: map.results
        folder: map.model.selectedFolder || ""
    }
}

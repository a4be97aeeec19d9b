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

    // The panel's least width, which the list gives way to (down to its own least).
    readonly property int panelMinimum: 320

    ListView {
        id: list
        objectName: "folderList"
        SplitView.minimumWidth: 300
        SplitView.preferredWidth: 380
        SplitView.maximumWidth: Math.max(300, map.width - map.panelMinimum - 1)
        clip: true
        model: map.results.folders
        // Only what is in sight is made: the view is made anew with each change of mode, and rows
        // scrolled into sight come from the reused ones.
        cacheBuffer: 0
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
            // On the highlight (the style's, from the palette's selection) every text and symbol
            // takes the palette's text colour for it.
            readonly property bool selectionFill: highlighted
            readonly property color highlightInk: palette.highlightedText
            readonly property color ink: highlighted ? highlightInk : Theme.primary
            readonly property color quiet: highlighted ? highlightInk : Theme.secondary
            onClicked: map.model.selectedFolder = path
            leftPadding: Theme.m + depth * 14
            rightPadding: Theme.m
            topPadding: 4
            bottomPadding: 4
            Accessible.name: title + ", " + countsText
            contentItem: Row {
                spacing: Theme.s
                Symbol {
                    objectName: "folderSymbol"
                    anchors.verticalCenter: parent.verticalCenter
                    name: folderRow.depth === 0 ? "sdcard" : "folder.fill"
                    color: folderRow.highlighted ? folderRow.highlightInk : Qt.rgba(Theme.brand.r, Theme.brand.g, Theme.brand.b, 0.85)
                }
                Column {
                    width: folderRow.availableWidth - 16 - Theme.s
                    spacing: 3
                    Item {
                        width: parent.width
                        height: name.implicitHeight
                        // The name and days take what the counts leave, the name first.
                        Row {
                            width: parent.width - counts.implicitWidth - Theme.s
                            spacing: Theme.s
                            DataText {
                                id: name
                                width: Math.min(implicitWidth, parent.width - (days.visible ? days.implicitWidth + Theme.s : 0))
                                text: folderRow.title
                                font: Theme.rowTitle
                                color: folderRow.ink
                                elide: Text.ElideMiddle
                            }
                            Text {
                                id: days
                                visible: text !== "" && name.implicitWidth + Theme.s + implicitWidth <= parent.width
                                text: folderRow.days
                                textFormat: Text.PlainText
                                font: Theme.secondaryFont
                                color: folderRow.quiet
                                anchors.verticalCenter: parent.verticalCenter
                            }
                        }
                        Text {
                            id: counts
                            anchors.right: parent.right
                            anchors.verticalCenter: parent.verticalCenter
                            text: folderRow.countsText
                            textFormat: Text.PlainText
                            font: Theme.secondaryFont
                            color: folderRow.quiet
                        }
                        HoverHandler { id: nameHover }
                        LazyToolTip { shown: nameHover.hovered && name.truncated; text: folderRow.title }
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
        objectName: "destinationsPanel"
        SplitView.minimumWidth: map.panelMinimum
        SplitView.fillWidth: true
        model: map.model
        results: map.results
        folder: map.model.selectedFolder || ""
    }
}

import QtQuick
import QtQuick.Controls
import Halvetrop

// The card's shoots by day, newest first, under a header per day that stays at the top.
Item {
    id: view
    required property var model
    required property var results
    property var thumbnails: null

    EmptyState {
        anchors.centerIn: parent
        visible: view.results.shoots.count === 0
        symbol: "photo.on.rectangle"
        title: "No shoots"
        description: "Nothing of the selected types was found."
    }
    // What Page Up and Page Down scroll (the root view's keys).
    readonly property var pageFlickable: list.visible ? list : null
    ListView {
        id: list
        objectName: "shootList"
        anchors.fill: parent
        anchors.leftMargin: Theme.xl
        anchors.rightMargin: Theme.xl
        topMargin: Theme.m
        bottomMargin: Theme.m
        spacing: Theme.m
        clip: true
        visible: view.results.shoots.count > 0
        model: view.results.shoots
        reuseItems: true
        // Only what is in sight is made: the view is made anew with each change of mode, and rows
        // scrolled into sight come from the reused ones.
        cacheBuffer: 0
        // In the margin beside the rows, never over a day's count or a row's end.
        ScrollBar.vertical: ScrollBar {
            objectName: "shootListBar"
            parent: view
            x: list.x + list.width + Math.max(0, (list.anchors.rightMargin - width) / 2)
            y: list.y
            height: list.height
        }
        section.property: "dayCounts"
        section.labelPositioning: ViewSection.InlineLabels | ViewSection.CurrentLabelAtStart
        // The day pinned at the top hides the rows that pass under it.
        section.delegate: Rectangle {
            objectName: "dayHeaderBar"
            required property string section
            width: list.width
            height: 36
            z: 2
            color: Theme.window
            Text {
                objectName: "dayHeader"
                anchors.left: parent.left
                anchors.leftMargin: Theme.xs
                anchors.verticalCenter: parent.verticalCenter
                text: section.split("\t")[0]
                font.family: Theme.family
                font.pixelSize: 17
                font.bold: true
                color: Theme.primary
            }
            Text {
                objectName: "dayCount"
                anchors.right: parent.right
                anchors.rightMargin: Theme.xs
                anchors.verticalCenter: parent.verticalCenter
                text: section.split("\t")[1] || ""
                font: Theme.secondaryFont
                color: Theme.secondary
            }
        }
        delegate: ShootRow {
            width: list.width
            model: view.model
            results: view.results
            thumbnails: view.thumbnails
        }
    }
}

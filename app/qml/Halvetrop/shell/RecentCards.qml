import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// The eight most recent checked cards; a tile opens the saved result without a rescan.
ColumnLayout {
    id: section
    required property var model
    required property var history
    // The width the grid may use; the number of columns follows it.
    property real availableWidth: 860
    readonly property int columns: Math.max(1, Math.floor((availableWidth + Theme.m) / (200 + Theme.m)))
    readonly property real cellWidth: Math.min(260, (availableWidth - (columns - 1) * Theme.m) / columns)
    spacing: Theme.m

    SavedCheckMenu {
        id: savedCheckMenu
        model: section.model
    }

    RowLayout {
        Layout.fillWidth: true
        Eyebrow { text: "Recent checks" }
        Item { Layout.fillWidth: true }
        Text {
            text: "Opens the saved result — no rescan"
            font: Theme.secondaryFont
            color: Theme.tertiary
        }
    }
    // A positioner, not a layout: a tile that goes with its saved check is never laid out again.
    Grid {
        id: grid
        objectName: "recentGrid"
        // Adaptive columns: cells between 200 and 260 wide.
        columns: section.columns
        columnSpacing: Theme.m
        rowSpacing: Theme.m
        Repeater {
            model: FirstRows {
                rows: section.history
                limit: 8
            }
            RecentCardTile {
                objectName: "recentTile"
                width: section.cellWidth
                onOpen: section.model.showHistory(itemId)
                onMenuRequested: savedCheckMenu.openFor(itemId)
            }
        }
    }
}

import QtQuick
import QtQuick.Layouts
import Halvetrop

// The chips of the browser's restrictions: the shoot first, then the folder (the card's name for
// its top folder). Each chip is cut at its end when the row is short; its tooltip holds it whole.
// The layout gives whole pixels, so a chip's most is its width rounded up, never down.
RowLayout {
    id: chips
    required property var model
    spacing: Theme.s

    FilterChip {
        objectName: "shootChip"
        Layout.maximumWidth: Math.ceil(implicitWidth)
        Layout.minimumWidth: Math.min(implicitWidth, 80)
        Layout.fillWidth: true
        visible: chips.model.groupFilter.length > 0
        text: chips.model.shootChipText
        onCleared: chips.model.groupFilter = ""
    }
    FilterChip {
        objectName: "folderChip"
        Layout.maximumWidth: Math.ceil(implicitWidth)
        Layout.minimumWidth: Math.min(implicitWidth, 80)
        Layout.fillWidth: true
        visible: chips.model.hasFolderFilter
        text: chips.model.folderFilterTitle
        onCleared: chips.model.clearFolderFilter()
    }
    Item { Layout.fillWidth: true }
}

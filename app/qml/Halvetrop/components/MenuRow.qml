import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// A menu item with its action's shortcut at the trailing edge, as the desktop writes it.
MenuItem {
    id: row
    readonly property string shortcutText: action && action.shortcut ? Present.shortcutText(action.shortcut) : ""
    // The palette's current group dims both texts of a disabled item.
    readonly property color ink: row.down || row.highlighted ? row.palette.highlightedText : row.palette.text

    contentItem: Item {
        implicitWidth: title.implicitWidth + (keys.text !== "" ? Theme.xxxl + keys.implicitWidth : 0)
        implicitHeight: Math.max(title.implicitHeight, keys.implicitHeight)
        Text {
            id: title
            objectName: "menuTitle"
            anchors.left: parent.left
            anchors.verticalCenter: parent.verticalCenter
            text: row.text
            textFormat: Text.PlainText
            font: row.font
            color: row.ink
        }
        Text {
            id: keys
            objectName: "menuShortcut"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            text: row.shortcutText
            textFormat: Text.PlainText
            font: row.font
            color: row.ink
            opacity: row.enabled && !row.highlighted && !row.down ? 0.7 : 1
        }
    }
}

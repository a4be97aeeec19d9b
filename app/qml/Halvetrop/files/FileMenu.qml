import QtQuick
import QtQuick.Controls
import Halvetrop

// The context menu of card files: preview, reveal on the card or the backup, copy. Its items are
// worked out from the model each time it opens.
AppMenu {
    id: menu
    required property var model
    property var ids: []
    property var facts: ({})
    property var copyable: []

    function openFor(fileIds) {
        ids = fileIds
        facts = model.files ? model.files.menu(fileIds) : ({})
        copyable = model.copyableIDs(fileIds)
        popup()
    }

    MenuItem {
        objectName: "menuQuickLook"
        text: "Preview"
        onTriggered: if (menu.facts.firstId >= 0) menu.model.quickLook(menu.facts.firstId)
    }
    MenuItem {
        objectName: "menuShowOnCard"
        text: "Show on Card in Files"
        onTriggered: menu.model.revealFiles(menu.ids, false)
    }
    MenuItem {
        objectName: "menuShowOnDrive"
        // One pattern for both: where the file is shown, and in what.
        text: "Show on Drive in Files"
        visible: menu.facts.backupCount > 0
        height: visible ? implicitHeight : 0
        onTriggered: menu.model.revealFiles(menu.ids, true)
    }
    MenuSeparator {
        visible: menu.copyable.length > 0
        height: visible ? implicitHeight : 0
    }
    MenuItem {
        objectName: "menuCopy"
        text: "Copy to Backup…"
        visible: menu.copyable.length > 0
        height: visible ? implicitHeight : 0
        onTriggered: menu.model.requestCopy(menu.ids, menu.facts.copyTitle)
    }
}

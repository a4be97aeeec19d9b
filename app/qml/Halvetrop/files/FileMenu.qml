import QtQuick
import QtQuick.Controls
import Halvetrop

// The context menu of card files: preview, reveal on the card or the backup, copy. Its items are
// worked out from the model each time it opens; files that left the card offer nothing of the card.
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
        // A file that left the card, with no copy anywhere, has nothing to offer.
        if (!facts.offCard || facts.backupCount > 0 || copyable.length > 0)
            popup()
    }

    MenuItem {
        objectName: "menuQuickLook"
        text: "Preview"
        visible: !menu.facts.offCard
        height: visible ? implicitHeight : 0
        onTriggered: if (menu.facts.firstId >= 0) menu.model.quickLook(menu.facts.firstId)
    }
    MenuItem {
        objectName: "menuShowOnCard"
        text: "Show on Card in Files"
        visible: !menu.facts.offCard
        height: visible ? implicitHeight : 0
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

import QtQuick
import QtQuick.Controls
import Halvetrop

// The context menu of a saved check, one for a whole list: re-check the card or forget the check.
AppMenu {
    id: menu
    required property var model
    property string itemId

    function openFor(id) {
        menu.itemId = id
        menu.popup()
    }

    MenuItem {
        objectName: "recheckSaved"
        text: "Re-check This Card"
        onTriggered: menu.model.recheckSaved(menu.itemId)
    }
    MenuItem {
        objectName: "forgetSaved"
        text: "Remove from Recent"
        onTriggered: menu.model.forget(menu.itemId)
    }
}

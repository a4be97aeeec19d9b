import QtQuick
import QtQuick.Controls
import Halvetrop

// The verdict's action row in one form: "full", "compact", or "symbols" (the compact row with every
// button but the copy button shown by its symbol alone, its compact text then its tooltip and
// accessible name). The buttons and their texts are the hero's `actionItems`; each calls one model
// operation.
Row {
    id: row
    required property var model
    required property var hero
    property string form: "full"
    // The compact row with the copy button's full text, where the row has room for it.
    property bool leadFull: false
    // The copy sheet's last-copy button goes in `lastCopySpot`; it is handed the text of the form.
    property Component lastCopyButton: null
    readonly property string prefix: form === "full" ? "" : form + "-"
    readonly property var items: hero.actionItems || []
    spacing: Theme.s

    function item(id) {
        for (const i of row.items)
            if (i.id === id)
                return i
        return null
    }
    // A held item is not shown, yet its button keeps its texts: the row is fitted with it.
    function shows(id) {
        const i = row.item(id)
        return i !== null && !i.held
    }
    function label(id) {
        const i = row.item(id)
        if (i === null)
            return ""
        if (row.form === "full" || (row.form === "compact" && row.leadFull && i.keepsText))
            return i.full
        return row.form === "compact" || i.keepsText ? i.compact : ""
    }
    function named(id) {
        const i = row.item(id)
        return i === null ? "" : i.compact
    }
    function button(id) {
        switch (id) {
        case "copy": return copy
        case "verify": return verify
        case "lastCopy": return lastCopySpot
        case "nextCard": return nextCard
        case "eject": return eject
        }
        return null
    }
    // Each button's drawn width, held ones too, in the order of the hero's items. The compact
    // row's lead (the button that keeps its text) is not read: its words follow the fit, which
    // takes its width from the symbols row instead.
    function widths() {
        return row.items.map(i => {
            const b = row.button(i.id)
            return b === null || (row.form === "compact" && i.keepsText) ? 0 : b.implicitWidth
        })
    }

    ActionButton {
        id: copy
        objectName: row.prefix + "copy"
        visible: row.shows("copy")
        prominent: true
        symbol: "arrow.down.doc.fill"
        text: row.label("copy")
        name: row.named("copy")
        onClicked: row.model.requestCopyAllMissing()
    }
    ActionButton {
        id: verify
        objectName: row.prefix + "verify"
        visible: row.shows("verify")
        symbol: "checkmark.seal"
        text: row.label("verify")
        name: row.named("verify")
        help: "Re-read every file on the card and the backups and compare checksums"
        onClicked: row.model.check("verified")
    }
    Loader {
        id: lastCopySpot
        objectName: row.prefix + "lastCopySpot"
        active: row.shows("lastCopy") && row.lastCopyButton !== null
        visible: active
        sourceComponent: row.lastCopyButton
        Binding { target: lastCopySpot.item; property: "text"; value: row.label("lastCopy"); when: lastCopySpot.item !== null }
        Binding { target: lastCopySpot.item; property: "name"; value: row.named("lastCopy"); when: lastCopySpot.item !== null }
        Binding { target: lastCopySpot.item; property: "check"; value: row.hero.check; when: lastCopySpot.item !== null }
    }
    Row {
        id: nextCard
        objectName: row.prefix + "nextCard"
        spacing: 0
        ActionButton {
            objectName: row.prefix + "nextCardPrimary"
            symbol: "sdcard"
            text: row.label("nextCard")
            name: row.named("nextCard")
            help: "Keep these backups and check the next card — or use the arrow to check this card against another backup"
            onClicked: row.model.checkAnotherCard(-1)
        }
        ActionButton {
            id: arrow
            objectName: row.prefix + "nextCardArrow"
            symbol: "chevron.down"
            name: "Other Checks of This Card"
            leftPadding: 6
            rightPadding: 6
            onClicked: menu.open()
            AppMenu {
                id: menu
                objectName: row.prefix + "nextCardMenu"
                y: arrow.height
                MenuItem { objectName: "menuAnotherCard"; text: "Check Another Card…"; onTriggered: row.model.checkAnotherCard(-1) }
                MenuSeparator {}
                MenuItem { objectName: "menuDifferentBackup"; text: "This Card, Different Backup…"; onTriggered: row.model.checkAgainstBackup(false) }
                MenuItem { objectName: "menuAddBackup"; text: "This Card, Add a Backup…"; onTriggered: row.model.checkAgainstBackup(true) }
            }
        }
    }
    ActionButton {
        id: eject
        objectName: row.prefix + "eject"
        visible: row.shows("eject")
        enabled: !row.model.ejecting
        symbol: row.model.ejecting ? "" : "eject.fill"
        text: row.model.ejecting ? "" : row.label("eject")
        name: row.named("eject")
        help: row.hero.ejectHelp || ""
        // Ctrl+Shift+E belongs to the window's Eject Card menu item.
        BusyIndicator {
            anchors.centerIn: parent
            visible: row.model.ejecting === true
            running: visible
            width: 14
            height: 14
        }
        onClicked: row.model.ejectSource()
    }
}

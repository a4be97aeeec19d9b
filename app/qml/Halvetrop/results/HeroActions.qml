import QtQuick
import QtQuick.Controls
import Halvetrop

// The verdict's action row in its full or compact form; every button calls one model operation.
Row {
    id: row
    required property var model
    required property var hero
    property bool compact: false
    // The copy sheet's last-copy button goes in `lastCopySpot` (given the model's last copy and
    // `compact`); until then the spot stays empty.
    property Component lastCopyButton: null
    readonly property string prefix: compact ? "compact-" : ""
    spacing: Theme.s

    ActionButton {
        objectName: row.prefix + "copy"
        visible: row.hero.copyable >= 1
        prominent: true
        symbol: "arrow.down.doc.fill"
        text: (row.compact ? row.hero.copyCompact : row.hero.copyFull) || ""
        onClicked: row.model.requestCopyAllMissing()
    }
    ActionButton {
        objectName: row.prefix + "verify"
        visible: row.hero.verify === true
        symbol: "checkmark.seal"
        text: row.compact ? "Verify All" : "Verify Every Byte"
        help: "Re-read every file on the card and the backups and compare checksums"
        onClicked: row.model.check("verified")
    }
    Loader {
        objectName: row.prefix + "lastCopySpot"
        active: row.hero.lastCopy === true && row.lastCopyButton !== null
        visible: active
        sourceComponent: row.lastCopyButton
    }
    Row {
        objectName: row.prefix + "nextCard"
        spacing: 0
        ActionButton {
            objectName: row.prefix + "nextCardPrimary"
            symbol: "sdcard"
            text: row.compact ? "Next Card" : "Check Another Card"
            help: "Keep these backups and check the next card — or use the arrow to check this card against another backup"
            onClicked: row.model.checkAnotherCard(-1)
        }
        ActionButton {
            objectName: row.prefix + "nextCardArrow"
            text: "▾"
            leftPadding: 6
            rightPadding: 6
            onClicked: menu.open()
            Menu {
                id: menu
                objectName: row.prefix + "nextCardMenu"
                y: parent.height
                MenuItem { objectName: "menuAnotherCard"; text: "Check Another Card…"; onTriggered: row.model.checkAnotherCard(-1) }
                MenuSeparator {}
                MenuItem { objectName: "menuDifferentBackup"; text: "This Card, Different Backup…"; onTriggered: row.model.checkAgainstBackup(false) }
                MenuItem { objectName: "menuAddBackup"; text: "This Card, Add a Backup…"; onTriggered: row.model.checkAgainstBackup(true) }
            }
        }
    }
    ActionButton {
        objectName: row.prefix + "eject"
        visible: row.hero.eject === true
        enabled: !row.model.ejecting
        symbol: row.model.ejecting ? "" : "eject.fill"
        text: row.model.ejecting ? "" : "Eject"
        help: row.hero.ejectHelp || ""
        // Ctrl+Shift+E belongs to the window's Eject Card menu item.
        BusyIndicator {
            anchors.centerIn: parent
            visible: row.model.ejecting
            running: visible
            width: 14
            height: 14
        }
        onClicked: row.model.ejectSource()
    }
}

import QtQuick
import QtQuick.Controls
import Halvetrop

// The File and Check menus. Every item is always there; only its enabled state follows the model.
MenuBar {
    id: bar
    required property var model
    signal settingsRequested
    signal quitRequested

    readonly property bool checking: model.phase === Phase.checking

    // A menu closed with Escape while the pointer rests on its title leaves the bar waiting for
    // that title's click: the title stays lit after the pointer leaves, the next title opens on
    // a mere hover and the next click only closes what is no longer there. Such a title is
    // pressed once more for the bar (as a click on it would close its menu), and the keys go back
    // to where the menu found them.
    function letGo(menu) {
        for (let i = 0; i < bar.count; ++i) {
            const title = bar.itemAt(i)
            if (!title || title.menu !== menu || !title.highlighted || !title.hovered || title.activeFocus)
                continue
            const keys = bar.Window.activeFocusItem
            title.triggered()
            if (keys)
                keys.forceActiveFocus()
        }
    }

    background: Rectangle {
        implicitHeight: 26
        color: Theme.window
    }

    AppMenu {
        title: "&File"
        onClosed: bar.letGo(this)
        Action {
            objectName: "newCheck"
            text: "New Check"
            shortcut: "Ctrl+N"
            onTriggered: bar.model.resetResults()
        }
        Action {
            objectName: "chooseSource"
            text: "Choose Card or Folder…"
            shortcut: "Ctrl+O"
            onTriggered: bar.model.chooseSource("", false)
        }
        Action {
            objectName: "addBackup"
            text: "Add Backup…"
            shortcut: "Ctrl+Shift+O"
            onTriggered: bar.model.chooseBackups()
        }
        MenuSeparator {}
        Action {
            objectName: "settings"
            text: "Settings…"
            shortcut: "Ctrl+,"
            onTriggered: bar.settingsRequested()
        }
        MenuSeparator {}
        Action {
            objectName: "quit"
            text: "Quit"
            shortcut: "Ctrl+Q"
            onTriggered: bar.quitRequested()
        }
    }
    AppMenu {
        title: "&Check"
        onClosed: bar.letGo(this)
        Action {
            objectName: "check"
            text: "Check"
            shortcut: "Ctrl+Return"
            enabled: bar.model.canCheck
            onTriggered: {
                bar.model.cardOnly = false
                bar.model.check("")
            }
        }
        Action {
            objectName: "scanCardOnly"
            text: "Scan Card Only"
            shortcut: "Ctrl+Shift+R"
            enabled: bar.model.canScan
            onTriggered: {
                bar.model.cardOnly = true
                bar.model.check("")
            }
        }
        Action {
            objectName: "verifyEveryByte"
            text: "Verify Every Byte"
            // A running check or pass is never begun again from here.
            enabled: bar.model.hasReport && !bar.model.deepVerifying && !bar.checking
            onTriggered: bar.model.check("verified")
        }
        Action {
            objectName: "checkAgainstBackup"
            text: "Check This Card Against Another Backup…"
            shortcut: "Ctrl+Shift+B"
            enabled: bar.model.source.length > 0 && !bar.checking
            onTriggered: bar.model.checkAgainstBackup(false)
        }
        Action {
            objectName: "addBackupAndCheck"
            text: "Add a Backup and Check Again…"
            enabled: bar.model.source.length > 0 && !bar.checking
            onTriggered: bar.model.checkAgainstBackup(true)
        }
        Action {
            objectName: "stop"
            text: "Stop"
            shortcut: "Ctrl+."
            enabled: bar.checking
            // Only the standard check; the window returns to where it came from at once.
            onTriggered: bar.model.stopCheck()
        }
        MenuSeparator {}
        Action {
            objectName: "exportReport"
            text: "Export Report…"
            shortcut: "Ctrl+E"
            enabled: bar.model.hasReport
            onTriggered: bar.model.exportCSV()
        }
        Action {
            objectName: "ejectCard"
            text: "Eject Card"
            shortcut: "Ctrl+Shift+E"
            enabled: bar.model.canEjectSource
            onTriggered: bar.model.ejectSource()
        }
    }
}

import QtQuick
import QtTest
import Halvetrop
import Halvetrop.Native

TestCase {
    id: test
    name: "Menus"
    when: windowShown
    width: 1240
    height: 800
    Harness { id: h; testCase: test }
    function cleanupTestCase() { h.release() }

    // Enabled state of every menu item in each state of the model, and what a trigger calls.
    function test_enabledStates_data() {
        const fileItems = { newCheck: true, chooseSource: true, addBackup: true, settings: true, quit: true }
        return [
            { tag: "start, no card", set: {},
              on: fileItems, off: ["check", "scanCardOnly", "verifyEveryByte", "checkAgainstBackup", "addBackupAndCheck", "stop", "exportReport", "ejectCard"] },
            { tag: "card, no backup", set: { source: "/media/a/CARD", canScan: true, canEjectSource: true },
              on: { scanCardOnly: true, checkAgainstBackup: true, addBackupAndCheck: true, ejectCard: true },
              off: ["check", "verifyEveryByte", "stop", "exportReport"] },
            { tag: "checking", set: { source: "/media/a/CARD", phase: Phase.checking, canCheck: false, canScan: false },
              on: { stop: true, newCheck: true }, off: ["check", "scanCardOnly", "checkAgainstBackup", "addBackupAndCheck", "verifyEveryByte"] },
            { tag: "results with a pass running", set: { source: "/c", phase: Phase.results, hasReport: true, deepVerifying: true, canCheck: true },
              on: { check: true, exportReport: true }, off: ["verifyEveryByte", "stop"] },
            { tag: "failed", set: { source: "/c", phase: Phase.failed, failureText: "x", canCheck: true },
              on: { check: true, checkAgainstBackup: true }, off: ["stop", "exportReport"] },
        ]
    }
    function test_enabledStates(data) {
        const w = h.open(0, m => { for (const k in data.set) m[k] = data.set[k] })
        const actions = h.actions(w.window)
        for (const name in data.on)
            verify(actions[name].enabled, name + " enabled")
        for (const name of data.off)
            verify(!actions[name].enabled, name + " disabled")
    }

    // Every item in its menu, in order, with its key.
    function test_itemsAndKeys() {
        const w = h.open(0)
        const listed = []
        const menus = w.window.menuBar.menus
        for (let m = 0; m < menus.length; ++m) {
            const menu = menus[m]
            const items = []
            for (let i = 0; i < menu.count; ++i) {
                const a = menu.actionAt(i)
                if (a)
                    items.push(a.text + (a.shortcut ? " " + Present.shortcutText(a.shortcut) : ""))
            }
            listed.push(menu.title.replace("&", "") + ": " + items.join(" | "))
        }
        compare(listed, [
            "File: New Check Ctrl+N | Choose Card or Folder… Ctrl+O | Add Backup… Ctrl+Shift+O | Settings… Ctrl+, | Quit Ctrl+Q",
            "Check: Check Ctrl+Return | Scan Card Only Ctrl+Shift+R | Verify Every Byte | Check This Card Against Another Backup… Ctrl+Shift+B"
                + " | Add a Backup and Check Again… | Stop Ctrl+. | Export Report… Ctrl+E | Eject Card Ctrl+Shift+E"
        ])
    }

    function test_triggers() {
        const w = h.open(0, m => { m.source = "/media/a/CARD"; m.canCheck = true; m.canScan = true; m.hasReport = true; m.phase = Phase.results })
        const a = h.actions(w.window)
        a.scanCardOnly.trigger()
        compare(w.model.calls[w.model.calls.length - 1], "check(, true)")
        a.check.trigger()
        compare(w.model.calls[w.model.calls.length - 1], "check(, false)")
        a.verifyEveryByte.trigger()
        compare(w.model.calls[w.model.calls.length - 1], "check(verified, false)")
        a.checkAgainstBackup.trigger()
        compare(w.model.calls[w.model.calls.length - 1], "checkAgainstBackup(false)")
        a.addBackupAndCheck.trigger()
        compare(w.model.calls[w.model.calls.length - 1], "checkAgainstBackup(true)")
        a.newCheck.trigger()
        compare(w.model.calls[w.model.calls.length - 1], "resetResults()")
        a.chooseSource.trigger()
        compare(w.model.calls[w.model.calls.length - 1], "chooseSource(, false)")
        a.addBackup.trigger()
        compare(w.model.calls[w.model.calls.length - 1], "chooseBackups()")
        a.exportReport.trigger()
        compare(w.model.calls[w.model.calls.length - 1], "exportCSV()")
    }

    // A key press reaches exactly the model call of its menu item.
    function test_keys() {
        const w = h.open(0, m => { m.source = "/media/a/CARD"; m.canCheck = true })
        w.window.requestActivate()
        keyClick(Qt.Key_Return, Qt.ControlModifier)
        compare(w.model.calls[w.model.calls.length - 1], "check(, false)")
        keyClick(Qt.Key_B, Qt.ControlModifier | Qt.ShiftModifier)
        compare(w.model.calls[w.model.calls.length - 1], "checkAgainstBackup(false)")
        w.model.phase = Phase.checking
        keyClick(Qt.Key_Period, Qt.ControlModifier)
        compare(w.model.calls[w.model.calls.length - 1], "stopCheck()")
    }
}

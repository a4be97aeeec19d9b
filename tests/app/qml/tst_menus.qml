import QtQuick
import QtTest
import Halvetrop
import Halvetrop.Native

// The menu bar over the real model: which items each state enables, and what a trigger or its
// key makes the model do.
TestCase {
    id: test
    name: "Menus"
    when: windowShown
    width: 1240
    height: 800
    Harness { id: h; testCase: test }
    function cleanupTestCase() { h.release() }

    function lastCheck(w, before) {
        const n = w.stage.checkCount()
        if (n === before)
            return ""
        const r = w.stage.checkRequest(n - 1)
        return (r.backups.length === 0 ? "card only" : "backups") + (r.level === "verified" ? ", every byte" : "")
    }

    // Enabled state of every menu item in each state of the model.
    function test_enabledStates_data() {
        const fileItems = { newCheck: true, chooseSource: true, addBackup: true, settings: true, quit: true }
        return [
            { tag: "start, no card", saved: [], setUp: (s, m) => {},
              on: fileItems, off: ["check", "scanCardOnly", "verifyEveryByte", "checkAgainstBackup", "addBackupAndCheck", "stop", "exportReport", "ejectCard"] },
            { tag: "card, no backup", saved: [], setUp: (s, m) => h.choose(s, m, false),
              on: { scanCardOnly: true, checkAgainstBackup: true, addBackupAndCheck: true },
              off: ["check", "verifyEveryByte", "stop", "exportReport", "ejectCard"] },
            { tag: "checking", saved: [], setUp: (s, m) => { h.choose(s, m, true); m.check("") },
              on: { stop: true, newCheck: true }, off: ["check", "scanCardOnly", "checkAgainstBackup", "addBackupAndCheck", "verifyEveryByte"] },
            { tag: "re-checking a result", saved: ["missing"], setUp: (s, m) => { s.openSaved(0); m.check("") },
              on: { stop: true, exportReport: true }, off: ["check", "verifyEveryByte"] },
            { tag: "results", saved: ["missing"], setUp: (s, m) => s.openSaved(0),
              on: { check: true, verifyEveryByte: true, exportReport: true, ejectCard: true }, off: ["stop"] },
            { tag: "results with a pass running", saved: ["missing"], setUp: (s, m) => { s.openSaved(0); m.check("verified") },
              on: { check: true, exportReport: true }, off: ["verifyEveryByte", "stop"] },
            { tag: "failed", saved: [], setUp: (s, m) => { h.choose(s, m, true); m.check(""); s.failCheck("x") },
              on: { check: true, checkAgainstBackup: true }, off: ["stop", "exportReport"] },
        ]
    }
    function test_enabledStates(data) {
        const w = h.open({ saved: data.saved, volumes: h.cardVolumes }, data.setUp)
        const actions = h.actions(w.window)
        for (const name in data.on)
            verify(actions[name].enabled, name + " enabled")
        for (const name of data.off)
            verify(!actions[name].enabled, name + " disabled")
    }

    // Every item in its menu, in order, with its key.
    function test_itemsAndKeys() {
        const w = h.open({})
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

    // Opened, each menu shows every item's shortcut beside it, is as wide as its widest item (no
    // title cut short), and its disabled items read dimmer than the enabled ones.
    function test_menusShowTheirShortcuts() {
        const w = h.open({})
        const menus = w.window.menuBar.menus
        for (let m = 0; m < menus.length; ++m) {
            const menu = menus[m]
            menu.open()
            tryCompare(menu, "opened", true, hangDetectorMs)
            let enabledInk = null, disabledInk = null
            for (let i = 0; i < menu.count; ++i) {
                const row = menu.itemAt(i)
                const a = menu.actionAt(i)
                if (!a)
                    continue
                const keys = h.find(row, "menuShortcut")
                compare(keys.text, a.shortcut ? Present.shortcutText(a.shortcut) : "", a.text)
                const title = h.find(row, "menuTitle")
                compare(title.text, a.text)
                verify(row.width >= row.implicitWidth, a.text + " fits its menu")
                if (a.shortcut)
                    verify(title.x + title.width < keys.x, a.text + ": the title stays clear of the keys")
                if (a.enabled) enabledInk = title.color
                else disabledInk = title.color
            }
            if (enabledInk !== null && disabledInk !== null)
                verify(!Qt.colorEqual(enabledInk, disabledInk), menu.title + ": disabled items read dimmer")
            menu.close()
        }
    }

    function test_triggers() {
        const w = h.open({ saved: ["missing"] }, (s, m) => verify(s.openSaved(0)))
        const a = h.actions(w.window)
        const back = () => { w.model.stopCheck(); tryCompare(w.model, "phase", Phase.results, hangDetectorMs) }
        let checks = w.stage.checkCount()
        a.scanCardOnly.trigger()
        compare(lastCheck(w, checks), "card only")
        back()
        checks = w.stage.checkCount()
        a.check.trigger()
        compare(lastCheck(w, checks), "backups")
        back()
        checks = w.stage.checkCount()
        a.verifyEveryByte.trigger()
        compare(lastCheck(w, checks), "backups, every byte")
        verify(w.model.deepVerifying)
        a.checkAgainstBackup.trigger()
        a.addBackupAndCheck.trigger()
        compare(w.stage.pickerQuestions(), 2)
        compare(w.stage.pickerStart(1), w.stage.root + "/media")
        w.stage.answerSave("")
        a.exportReport.trigger()
        verify(w.stage.suggestedSaveName().endsWith(".csv"))
        compare(w.stage.saveFolders().length, 1)
        verify(!w.stage.saveFolders()[0].startsWith(w.model.source))
        a.newCheck.trigger()
        compare(w.model.phase, Phase.setup)
        verify(!w.model.hasReport)
        a.chooseSource.trigger()
        a.addBackup.trigger()
        compare(w.stage.pickerQuestions(), 4)
    }

    // A key press reaches exactly what its menu item does.
    function test_keys() {
        const w = h.open({ volumes: h.cardVolumes }, (s, m) => h.choose(s, m, true))
        w.window.requestActivate()
        keyClick(Qt.Key_B, Qt.ControlModifier | Qt.ShiftModifier)
        compare(w.stage.pickerQuestions(), 1)
        keyClick(Qt.Key_Return, Qt.ControlModifier)
        compare(lastCheck(w, 0), "backups")
        compare(w.model.phase, Phase.checking)
        keyClick(Qt.Key_Period, Qt.ControlModifier)
        tryCompare(w.model, "phase", Phase.setup, hangDetectorMs)
    }
}

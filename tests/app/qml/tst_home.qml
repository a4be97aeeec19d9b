import QtQuick
import QtTest
import Halvetrop
import Halvetrop.Native
import HalvetropFake.Native

TestCase {
    id: test
    name: "Home"
    when: windowShown
    width: 1240
    height: 800
    Harness { id: h; testCase: test }
    function cleanupTestCase() { h.release() }

    function ready(m) {
        m.source = "/media/a/CARD"
        m.destinations = ["/media/a/Archive"]
        m.canCheck = true
        m.canScan = true
    }
    function checks(m) { return m.calls.filter(c => c.startsWith("check(")) }

    // Return is the Check button: only while a check may start, and never while a control that
    // has keyboard focus could take the key itself.
    function test_returnKey_data() {
        return [
            { tag: "allowed", canCheck: true, focus: "", expected: ["check(, false)"] },
            { tag: "not allowed", canCheck: false, focus: "", expected: [] },
            { tag: "button focused", canCheck: true, focus: "scanCardOnly", expected: [] },
            { tag: "row focused", canCheck: true, focus: "changeCard", expected: [] },
            { tag: "menu open", canCheck: true, focus: "photoFormats", expected: [] },
        ]
    }
    function test_returnKey(data) {
        const w = h.open(0, m => { ready(m); m.canCheck = data.canCheck })
        const root = w.window.contentItem
        w.window.requestActivate()
        if (data.focus === "photoFormats") {
            const menu = h.find(root, "photoFormats")
            mouseClick(menu)
            tryVerify(() => menu.popup.opened)
        } else if (data.focus.length > 0) {
            h.find(root, data.focus).forceActiveFocus(Qt.TabFocusReason)
        }
        compare(Present.shortcutOwners(w.window, "Return"), data.canCheck && data.focus === "" ? 1 : 0)
        compare(Present.ambiguousShortcuts(w.window), [])
        keyClick(Qt.Key_Return)
        compare(checks(w.model), data.expected)
        if (data.focus === "scanCardOnly") {
            // The focused control acts alone, with its own key.
            keyClick(Qt.Key_Space)
            compare(checks(w.model), ["check(, true)"])
        }
    }

    // Both buttons set what kind of check to run before they start it; their help follows.
    function test_buttons() {
        const w = h.open(0, m => { m.source = "/media/a/CARD"; m.canScan = true })
        const root = w.window.contentItem
        compare(h.find(root, "checkButton").enabled, false)
        compare(h.find(root, "checkHelp").help, "Choose a card and a backup first")
        mouseClick(h.find(root, "scanCardOnly"))
        compare(checks(w.model), ["check(, true)"])
        ready(w.model)
        compare(h.find(root, "checkHelp").help,
                "Check the card against your backups (" + Present.shortcutText("Ctrl+Return") + ")")
        mouseClick(h.find(root, "checkButton"))
        compare(checks(w.model), ["check(, true)", "check(, false)"])
    }

    // Folders pass, anything else is left out; a drop with nothing left is a notice, not a call.
    function test_drops_data() {
        return [
            { tag: "folder on the card", zone: "cardDropZone", items: ["f:A"], call: "setSourceUrl", args: ["A"] },
            { tag: "file on the card", zone: "cardDropZone", items: ["x:a.jpg"], call: "", args: [] },
            { tag: "mix on the card", zone: "cardDropZone", items: ["x:b.jpg", "f:B", "f:C"], call: "setSourceUrl", args: ["B"] },
            { tag: "file on the backups", zone: "backupDropZone", items: ["x:c.jpg"], call: "", args: [] },
            { tag: "mix on the backups", zone: "backupDropZone", items: ["f:D", "x:d.jpg", "f:E"], call: "addBackupUrls", args: ["D", "E"] },
        ]
    }
    function test_drops(data) {
        const w = h.open(0)
        const zone = h.find(w.window.contentItem, data.zone)
        const paths = data.items.map(i => i.startsWith("f:") ? Fixtures.makeFolder(i.slice(2))
                                                             : Fixtures.makeFile(i.slice(2)))
        Fixtures.lastNotice = ""
        Drops.drop(w.window, zone.mapToItem(null, zone.width / 2, zone.height / 2), paths)
        const made = w.model.calls.filter(c => c.startsWith("setSourceUrl(") || c.startsWith("addBackupUrls("))
        if (data.call === "") {
            compare(made, [])
            compare(Fixtures.lastNotice, "warn:Only folders can be dropped here.")
        } else {
            compare(made.length, 1)
            verify(made[0].startsWith(data.call + "("))
            const named = made[0].slice(data.call.length + 1, -1).split(" ").map(u => u.split("/").pop())
            compare(named, data.args)
            compare(Fixtures.lastNotice, "")
        }
    }
    // The columns follow the model: offered cards without a source, labels by count, the
    // photo-format menu with photos, the note without kinds.
    function test_columns() {
        const w = h.open(0, m => {
            m.suggestedCards = [{ name: "EOS <b>1</b>", volumePath: "/media/a/EOS", totalBytes: 64e9, isLikelyCameraCard: true }]
        })
        const root = w.window.contentItem
        compare(h.find(root, "cardDropZone").visible, false)
        const offered = h.find(root, "offeredCard")
        compare(offered.look.help, "Check EOS <b>1</b>")
        mouseClick(offered)
        compare(w.model.calls[w.model.calls.length - 1], "chooseSource(/media/a/EOS, false)")
        compare(h.find(root, "backupsLabel").text, "Backup")
        w.model.destinations = ["/a", "/b"]
        compare(h.find(root, "backupsLabel").text, "Backups")
        w.model.source = "/media/a/EOS"
        mouseClick(h.find(root, "clearCard"))
        compare(w.model.calls[w.model.calls.length - 1], "clearSource()")
        compare(h.find(root, "photoFormats").visible, true)
        w.model.kinds = ["video"]
        compare(h.find(root, "photoFormats").visible, false)
        compare(h.find(root, "noKindsNote").visible, false)
        w.model.kinds = []
        compare(h.find(root, "noKindsNote").visible, true)
    }

    // Cancel and Escape each make one model call and change nothing else.
    function test_cancel() {
        const w = h.open(0, m => { ready(m); m.phase = Phase.checking })
        const root = w.window.contentItem
        mouseClick(h.find(root, "cancelCheck"))
        compare(w.model.calls, ["stopCheck()"])
        w.window.requestActivate()
        keyClick(Qt.Key_Escape)
        compare(w.model.calls, ["stopCheck()", "stopCheck()"])
        compare(w.model.phase, Phase.checking)
    }

    function test_progress_data() {
        return [
            { tag: "no total", p: { stage: "scanningSource", detail: "CARD", done: 0, total: 0 },
              title: "Reading the card…", count: " ", indeterminate: true, fill: 0 },
            { tag: "nothing done", p: { stage: "comparing", detail: "a.jpg", done: 0, total: 5 },
              title: "Matching every shot…", count: "0 of 5", indeterminate: false, fill: 8 },
            { tag: "grouped", p: { stage: "indexingBackups", detail: "", done: 1234, total: 56789 },
              title: "Looking through the backups…", count: "1,234 of 56,789", indeterminate: false, fill: 420 * 1234 / 56789 },
            { tag: "over", p: { stage: "done", detail: "", done: 9, total: 5 },
              title: "Done", count: "9 of 5", indeterminate: false, fill: 420 },
        ]
    }
    function test_progress(data) {
        const w = h.open(0, m => { m.progress = data.p; m.phase = Phase.checking })
        const root = w.window.contentItem
        compare(h.find(root, "stageTitle").text, data.title)
        compare(h.find(root, "countLine").text, data.count)
        compare(h.find(root, "indeterminate").active, data.indeterminate)
        const fill = h.find(root, "progressFill")
        compare(fill.visible, !data.indeterminate)
        if (!data.indeterminate)
            tryCompare(fill, "width", Math.max(data.fill, 8), 2000)
    }

    // The picture names the card and the first backup, counts the others, and moves only while
    // it is shown and motion is allowed.
    function test_picture() {
        const w = h.open(0, m => {
            m.source = "/media/a/Card A"
            m.destinations = ["/media/a/Backup B", "/x", "/y"]
            m.cardOnly = true
            m.phase = Phase.checking
        })
        const picture = h.find(w.window.contentItem, "cardToDrive")
        compare(picture.Accessible.name, "Checking Card A against Backup B")
        compare(h.find(picture, "extraDrives").visible, true)
        compare(picture.reduceMotion, true)
        compare(picture.animating, false)
        picture.reduceMotion = false
        verify(picture.animating)
        const t0 = picture.t
        tryVerify(() => picture.t > t0)
        picture.visible = false
        compare(picture.animating, false)
        picture.visible = true
        w.window.hide()
        compare(picture.animating, false)
    }
}

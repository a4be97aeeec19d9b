import QtQuick
import QtTest
import Halvetrop
import Halvetrop.Native
import HalvetropTest

// The start screen and the checking screen over the real model: what each control makes the
// model do, seen in the checks it starts and the folders it asks for.
TestCase {
    id: test
    name: "Home"
    when: windowShown
    width: 1240
    height: 800
    Harness { id: h; testCase: test }
    function cleanupTestCase() { h.release() }

    function item(w, name) { return h.find(w.window.contentItem, name) }
    // The checks started since `before`: "card only" or "backups" each.
    function checksSince(w, before) {
        const out = []
        for (let i = before; i < w.stage.checkCount(); ++i)
            out.push(w.stage.checkRequest(i).backups.length === 0 ? "card only" : "backups")
        return out
    }
    function stopped(w) {
        w.model.stopCheck()
        tryCompare(w.model, "phase", Phase.setup, hangDetectorMs)
    }

    // Return is the Check button: only while a check may start, and never while a control that
    // has keyboard focus could take the key itself. A button that has it is pressed by Return, as
    // by Space, as on the desktop.
    function test_returnKey_data() {
        return [
            { tag: "allowed", backup: true, focus: "", expected: ["backups"] },
            { tag: "not allowed", backup: false, focus: "", expected: [] },
            { tag: "button focused", backup: true, focus: "scanCardOnly", expected: ["card only"] },
            { tag: "row focused", backup: true, focus: "changeCard", expected: [] },
            { tag: "menu open", backup: true, focus: "photoFormats", expected: [] },
        ]
    }
    function test_returnKey(data) {
        const w = h.open({ volumes: h.cardVolumes }, (s, m) => h.choose(s, m, data.backup))
        w.window.requestActivate()
        if (data.focus === "photoFormats") {
            const menu = item(w, "photoFormats")
            mouseClick(menu)
            tryVerify(() => menu.popup.opened, hangDetectorMs)
        } else if (data.focus.length > 0) {
            item(w, data.focus).forceActiveFocus(Qt.TabFocusReason)
        }
        compare(Present.shortcutOwners(w.window, "Return"), data.backup && data.focus === "" ? 1 : 0)
        compare(Present.ambiguousShortcuts(w.window), [])
        keyClick(Qt.Key_Return)
        compare(checksSince(w, 0), data.expected)
        if (data.focus === "scanCardOnly") {
            // Space presses it too.
            stopped(w)
            item(w, data.focus).forceActiveFocus(Qt.TabFocusReason)
            keyClick(Qt.Key_Space)
            compare(checksSince(w, 0), ["card only", "card only"])
        }
    }

    // Both buttons set what kind of check to run before they start it; their help follows.
    function test_buttons() {
        const w = h.open({ volumes: h.cardVolumes }, (s, m) => h.choose(s, m, false))
        compare(item(w, "checkButton").enabled, false)
        compare(item(w, "checkHelp").help, "Choose a card and a backup first")
        mouseClick(item(w, "scanCardOnly"))
        compare(checksSince(w, 0), ["card only"])
        stopped(w)
        w.model.addBackupUrls(["file://" + w.stage.folder("media/ana/Archive")])
        compare(item(w, "checkHelp").help,
                "Check the card against your backups (" + Present.shortcutText("Ctrl+Return") + ")")
        mouseClick(item(w, "checkButton"))
        compare(checksSince(w, 0), ["card only", "backups"])
    }

    // Folders pass, anything else is left out; a drop with nothing left is a notice, not a choice.
    function test_drops_data() {
        return [
            { tag: "folder on the card", zone: "cardDropZone", items: ["f:A"], card: "A", backups: [] },
            { tag: "file on the card", zone: "cardDropZone", items: ["x:a.jpg"], card: "", backups: [] },
            { tag: "mix on the card", zone: "cardDropZone", items: ["x:b.jpg", "f:B", "f:C"], card: "B", backups: [] },
            { tag: "file on the backups", zone: "backupDropZone", items: ["x:c.jpg"], card: "", backups: [] },
            { tag: "mix on the backups", zone: "backupDropZone", items: ["f:D", "x:d.jpg", "f:E"], card: "", backups: ["D", "E"] },
        ]
    }
    function test_drops(data) {
        const w = h.open({})
        const zone = item(w, data.zone)
        const paths = data.items.map(i => i.startsWith("f:") ? w.stage.folder("drop/" + i.slice(2))
                                                             : w.stage.file("drop/" + i.slice(2)))
        Drops.drop(w.window, zone.mapToItem(null, zone.width / 2, zone.height / 2), paths)
        compare(w.model.sourceName, data.card)
        compare(w.model.destinations.map(d => d.split("/").pop()), data.backups)
        const nothing = data.card === "" && data.backups.length === 0
        compare(w.model.noticeText, nothing ? "Only folders can be dropped here." : "")
        compare(w.model.noticeOk, false)
    }

    // The columns follow the model: offered cards without a source, labels by count, the
    // photo-format menu with photos, the note without kinds.
    function test_columns() {
        const w = h.open({ volumes: [{ path: "media/a/EOS", name: "EOS <b>1</b>", fileSystem: "vfat", removable: true,
                                       card: true, totalBytes: 64e9 }] })
        compare(item(w, "cardDropZone").visible, false)
        const offered = item(w, "offeredCard")
        compare(offered.look.help, "Check EOS <b>1</b>")
        compare(item(w, "backupsLabel").text, "Backup")
        w.model.addBackupUrls(["file://" + w.stage.folder("a"), "file://" + w.stage.folder("b")])
        compare(item(w, "backupsLabel").text, "Backups")
        w.model.setSourceUrl("file://" + w.stage.root + "/media/a/EOS")
        mouseClick(item(w, "clearCard"))
        compare(w.model.source, "")
        compare(item(w, "photoFormats").visible, true)
        w.model.kinds = ["video"]
        compare(item(w, "photoFormats").visible, false)
        compare(item(w, "noKindsNote").visible, false)
        w.model.kinds = []
        compare(item(w, "noKindsNote").visible, true)
    }

    // A card on offer is taken alike from the start screen and from the sidebar, under the same
    // word: without backups it becomes the card ("Use") and a backup is asked for; with one it is
    // checked against it at once ("Check"). No folder dialog opens on the card either way.
    function test_offeredCardTakenAlike_data() {
        return [
            { tag: "start screen, no backup", from: "offeredCard", backup: false },
            { tag: "sidebar, no backup", from: "suggestedCard", backup: false },
            { tag: "start screen, a backup", from: "offeredCard", backup: true },
            { tag: "sidebar, a backup", from: "suggestedCard", backup: true },
        ]
    }
    function test_offeredCardTakenAlike(data) {
        const w = h.open({ volumes: h.cardVolumes }, (s, m) => {
            if (data.backup)
                m.addBackupUrls(["file://" + s.folder("media/ana/Archive")])
        })
        const word = data.backup ? "Check" : "Use"
        compare(item(w, "offeredAction").text, word)
        compare(h.find(item(w, "suggestedCard"), "suggestedAction").text, word)
        mouseClick(item(w, data.from))
        compare(w.stage.pickerQuestions(), 0)
        compare(w.model.source, w.stage.root + "/media/ana/CARD")
        compare(checksSince(w, 0), data.backup ? ["backups"] : [])
        compare(w.model.noticeText, data.backup ? "" : "Add a backup to check “CARD” against.")
        if (data.backup)
            stopped(w)
    }

    // Cancel and Escape each stop the running check; the window goes back to the start.
    function test_cancel_data() {
        return [{ tag: "Cancel", key: false }, { tag: "Escape", key: true }]
    }
    function test_cancel(data) {
        const w = h.open({ volumes: h.cardVolumes }, (s, m) => { h.choose(s, m, true); m.check("") })
        compare(w.model.phase, Phase.checking)
        if (data.key) {
            w.window.requestActivate()
            keyClick(Qt.Key_Escape)
        } else {
            mouseClick(item(w, "cancelCheck"))
        }
        tryCompare(w.model, "phase", Phase.setup, hangDetectorMs)
        compare(w.stage.checkCount(), 1)
    }

    // A card whose files belong to another user on a mount that records access times says so
    // for what is done to it, before it is done: chosen, on the start screen, where the sidebar's
    // "Never writes" gives way; checked, on the checking screen before the check reads the card.
    function test_accessTimesNoteFollowsWhatIsDone() {
        const w = h.open({ volumes: h.cardVolumes, otherOwnersCards: ["media/ana/CARD"] },
                         (s, m) => h.choose(s, m, true))
        const footer = item(w, "neverWrites")
        tryVerify(() => item(w, "selectedCardNote").visible, hangDetectorMs)
        verify(item(w, "selectedCardNote").text.startsWith("Files on CARD belong to another user"))
        verify(!footer.visible)
        mouseClick(item(w, "checkButton"))
        compare(w.model.phase, Phase.checking)
        tryVerify(() => item(w, "checkingCardNote").visible, hangDetectorMs)
        verify(item(w, "checkingCardNote").text.startsWith("Files on CARD belong to another user"))
        verify(!footer.visible)
        verify(w.stage.touchAccessTimes())
        verify(item(w, "checkingCardNote").visible)
        stopped(w)
        w.model.setSourceUrl("file://" + w.stage.folder("media/ana/Archive"))
        tryVerify(() => footer.visible, hangDetectorMs)
        compare(item(w, "selectedCardNote").visible, false)
    }

    // The checking screen's Cancel is a large control, like the start screen's buttons.
    function test_cancelIsLarge() {
        const w = h.open({ volumes: h.cardVolumes }, (s, m) => { h.choose(s, m, true); m.check("") })
        const cancel = item(w, "cancelCheck")
        verify(cancel.height >= 34, "Cancel is " + cancel.height + " high")
        verify(cancel.width >= 110, "Cancel is " + cancel.width + " wide")
        compare(cancel.font.pixelSize, Theme.body.pixelSize)
    }

    // Scan Card Only and Check end at the panel's trailing edge at every width, beside the
    // choices or under them.
    function test_checkButtonsAtTheTrailingEdge_data() {
        return [{ tag: "1040", width: 1040 }, { tag: "1132", width: 1132 }, { tag: "1240", width: 1240 }]
    }
    function test_checkButtonsAtTheTrailingEdge(data) {
        const w = h.open({ volumes: h.cardVolumes }, (s, m) => h.choose(s, m, true))
        w.window.width = data.width
        waitForRendering(w.window.contentItem)
        const panel = item(w, "flowPanel"), check = item(w, "checkButton")
        const end = check.mapToItem(panel, check.width, 0).x
        verify(Math.abs(end - (panel.width - Theme.xl)) < 1, "Check ends at " + end + " of " + panel.width)
        const scan = item(w, "scanCardOnly")
        compare(scan.mapToItem(panel, 0, scan.height / 2).y, check.mapToItem(panel, 0, check.height / 2).y)
    }

    function test_progress_data() {
        return [
            { tag: "no total", p: ["scanningSource", "CARD", 0, 0],
              title: "Reading the card…", count: " ", indeterminate: true, fill: 0 },
            { tag: "nothing done", p: ["comparing", "a.jpg", 0, 5],
              title: "Matching every shot…", count: "0 of 5", indeterminate: false, fill: 8 },
            { tag: "grouped", p: ["indexingBackups", "", 1234, 56789],
              title: "Looking through the backups…", count: "1,234 of 56,789", indeterminate: false, fill: 420 * 1234 / 56789 },
            { tag: "over", p: ["done", "", 9, 5],
              title: "Done", count: "9 of 5", indeterminate: false, fill: 420 },
        ]
    }
    function test_progress(data) {
        const w = h.open({ volumes: h.cardVolumes }, (s, m) => {
            h.choose(s, m, true)
            m.check("")
            verify(s.progress(data.p[0], data.p[1], data.p[2], data.p[3]))
        })
        compare(item(w, "stageTitle").text, data.title)
        compare(item(w, "countLine").text, data.count)
        compare(item(w, "indeterminate").active, data.indeterminate)
        const fill = item(w, "progressFill")
        compare(fill.visible, !data.indeterminate)
        if (!data.indeterminate)
            tryCompare(fill, "width", Math.max(data.fill, 8), hangDetectorMs)
    }

    // The picture names the card and the first backup, counts the others, and moves only while
    // it is shown and motion is allowed.
    function test_picture() {
        const w = h.open({}, (s, m) => {
            m.setSourceUrl("file://" + s.folder("media/a/Card A"))
            m.addBackupUrls(["Backup B", "x", "y"].map(n => "file://" + s.folder("media/a/" + n)))
            m.cardOnly = true
            m.check("")
        })
        const picture = item(w, "cardToDrive")
        compare(picture.Accessible.name, "Checking Card A against Backup B")
        compare(h.find(picture, "extraDrives").visible, true)
        compare(picture.reduceMotion, true)
        compare(picture.animating, false)
        picture.reduceMotion = false
        verify(picture.animating)
        const t0 = picture.t
        tryVerify(() => picture.t > t0, hangDetectorMs)
        picture.visible = false
        compare(picture.animating, false)
        picture.visible = true
        w.window.hide()
        compare(picture.animating, false)
    }
}

import QtQuick
import QtTest
import Halvetrop
import Halvetrop.Native
import HalvetropFake.Native

TestCase {
    id: test
    name: "Results"
    when: windowShown
    width: 1240
    height: 800
    Harness { id: h; testCase: test }
    function cleanupTestCase() { h.release() }

    function openResults(fixture, set) {
        const w = h.open(0, m => {
            m.source = "/media/ana/SONY A7IV"
            m.destinations = ["/media/ana/Archive 2025", "/media/ana/Travel SSD"]
            m.canEjectSource = true
            m.phase = Phase.results
            m.hasReport = true
            m.cardOnly = fixture === "card-only"
            m.report = ReportFixtures.make(fixture)
            for (const k in (set || {})) m[k] = set[k]
        })
        w.window.width = 1600
        waitForRendering(w.window.contentItem)
        return w
    }
    function shown(w, names) {
        return names.filter(n => { const i = h.find(w.window.contentItem, n); return i !== null && i.visible })
    }
    function click(w, name) {
        const item = h.find(w.window.contentItem, name)
        verify(item !== null && item.visible, name)
        mouseClick(item)
    }
    function last(w) { return w.model.calls[w.model.calls.length - 1] }

    readonly property var heroButtons: ["copy", "verify", "nextCard", "eject", "stopPass"]
    readonly property var cardOnlyButtons: ["compare", "otherBackup", "scanAnother", "cardOnlyEject"]

    function test_actionsPerReport_data() {
        return [
            { tag: "missing", fixture: "missing", set: {}, shown: ["copy", "verify", "nextCard", "eject"],
              title: "7 not backed up" },
            { tag: "safe", fixture: "safe", set: {}, shown: ["nextCard"], title: "Safe to format" },
            { tag: "pass running", fixture: "verifying", set: { deepVerifying: true, deepProgress: { stage: "comparing" } },
              shown: ["nextCard", "eject", "stopPass"], title: "All backed up" },
            { tag: "pass stopped", fixture: "stopped-pass", set: {}, shown: ["verify", "nextCard", "eject"], title: "All backed up" },
            { tag: "card not read whole", fixture: "unreadable", set: {}, shown: ["nextCard", "eject"],
              title: "Part of the card couldn't be read" },
            { tag: "cache-only card", fixture: "fuse-card", set: { canEjectSource: false }, shown: ["nextCard"], title: "All backed up" },
        ]
    }
    function test_actionsPerReport(data) {
        const w = openResults(data.fixture, Object.assign({ showInspector: false }, data.set))
        compare(shown(w, heroButtons), data.shown)
        compare(h.find(w.window.contentItem, "heroTitle").text, data.title)
        compare(h.find(w.window.contentItem, "readyPanel") !== null, data.fixture === "safe")
        verify(h.find(w.window.contentItem, "heroReason").text.indexOf("same drive") < 0)
    }

    function test_heroCalls() {
        const w = openResults("missing", { showInspector: false })
        click(w, "copy")
        compare(last(w), "requestCopyAllMissing()")
        click(w, "verify")
        compare(last(w), "check(verified, false)")
        click(w, "nextCardPrimary")
        compare(last(w), "checkAnotherCard(-1)")
        click(w, "nextCardArrow")
        const menu = h.find(w.window.contentItem, "nextCardMenu")
        tryCompare(menu, "opened", true)
        mouseClick(h.find(menu.contentItem, "menuAddBackup"))
        compare(last(w), "checkAgainstBackup(true)")
        click(w, "eject")
        compare(last(w), "ejectSource()")
        w.model.ejecting = true
        verify(!h.find(w.window.contentItem, "eject").enabled)
    }

    function test_cardOnlyCalls_data() {
        return [
            { tag: "with backups", destinations: ["/b/Archive", "/b/Cards"], shown: ["compare", "otherBackup", "scanAnother", "cardOnlyEject"],
              text: "Check Against Archive and Cards", call: "check(, false)" },
            { tag: "without backups", destinations: [], shown: ["compare", "scanAnother", "cardOnlyEject"],
              text: "Choose a Backup and Check…", call: "checkAgainstBackup(false)" },
        ]
    }
    function test_cardOnlyCalls(data) {
        const w = openResults("card-only", { destinations: data.destinations })
        compare(shown(w, cardOnlyButtons), data.shown)
        compare(h.find(w.window.contentItem, "compare").text, data.text)
        click(w, "compare")
        compare(last(w), data.call)
        // Return presses the same button: the screen has one owner of it.
        keyClick(Qt.Key_Return)
        compare(last(w), data.call)
        // The next card is scanned alone: card-only is set before the pick starts.
        w.model.cardOnly = false
        let setAt = -1
        w.model.cardOnlyChanged.connect(() => { if (w.model.cardOnly) setAt = w.model.calls.length })
        click(w, "scanAnother")
        compare(last(w), "checkAnotherCard(-1)")
        verify(setAt === w.model.calls.length - 1)
    }

    function test_compactActionsByWidth() {
        const w = openResults("missing", { showInspector: false })
        verify(h.find(w.window.contentItem, "fullActions").visible)
        compare(h.find(w.window.contentItem, "copy").text, "Copy 7 to Backup…")
        w.model.showInspector = true
        w.window.width = 1040
        waitForRendering(w.window.contentItem)
        tryVerify(() => h.find(w.window.contentItem, "compactActions").visible)
        verify(!h.find(w.window.contentItem, "fullActions").visible)
        compare(h.find(w.window.contentItem, "compact-copy").text, "Copy 7…")
        compare(h.find(w.window.contentItem, "compact-nextCardPrimary").text, "Next Card")
    }

    function test_oneOwnerPerShortcut() {
        const w = openResults("missing", {})
        compare(Present.ambiguousShortcuts(w.window), [])
        compare(Present.shortcutOwners(w.window, "Return"), 1)
        compare(Present.shortcutOwners(w.window, "Ctrl+Shift+E"), 1)
        keyClick(Qt.Key_Return)
        compare(last(w), "requestCopyAllMissing()")
        keyClick(Qt.Key_E, Qt.ControlModifier | Qt.ShiftModifier)
        compare(last(w), "ejectSource()")
        // Nothing to copy: Return has no owner on the results screen.
        const safe = openResults("safe", {})
        compare(Present.shortcutOwners(safe.window, "Return"), 0)
    }

    function test_popovers() {
        const w = openResults("missing", {})
        click(w, "cardContents")
        const pop = h.find(w.window.contentItem, "contentsPopover")
        tryCompare(pop, "opened", true)
        click(w, "cardContents")
        tryCompare(pop, "opened", false)
        const safe = openResults("safe", {})
        click(safe, "eraseInstead")
        const dialog = h.find(safe.window.contentItem, "eraseDialog")
        tryCompare(dialog, "opened", true)
        verify(dialog.contentItem.text.indexOf("“SONY A7IV”") > 0)
        dialog.reject()
        tryCompare(dialog, "opened", false)
    }

    function test_shootRowsAndTheJump() {
        const w = openResults("missing", { showInspector: false })
        const rows = h.findAll(w.window.contentItem, "shootRow").filter(r => r.visible).sort((a, b) => a.y - b.y)
        verify(rows.length >= 3)
        // Newest day first; a shoot asks for all its files, the model keeps what may be copied.
        compare(rows[0].title, "Photos · 101MSDCF")
        const clips = rows.filter(r => r.title === "Video clips")[0]
        compare(clips.sentence, "Partly backed up · 6 missing · 1 name clash")
        mouseClick(h.find(clips, "shootCopy"))
        compare(last(w), "requestCopy(12, Copy missing files from Video clips, Apr 15, 2024)")
        mouseClick(clips, 600, 10)
        compare(last(w), "showFiles(PRIVATE/M4ROOT/CLIP|2024-04-15|ILCE-7M4, false)")

        w.model.mode = Phase.map
        w.model.selectedFolder = "PRIVATE/M4ROOT/CLIP"
        waitForRendering(w.window.contentItem)
        compare(h.find(w.window.contentItem, "panelHeader").text, "12 files · 3.72 GB")
        click(w, "copyUncovered")
        compare(last(w), "requestCopy(7, Copy missing files from PRIVATE/M4ROOT/CLIP)")
        click(w, "showUncovered")
        compare(w.model.folderFilter, "PRIVATE/M4ROOT/CLIP")
        compare(w.model.groupFilter, "")
        compare(w.model.mode, Phase.files)
        compare(w.model.filter, 1)
    }

    function test_filterStripAndNote_data() {
        return [
            { tag: "last kind off starts nothing", act: w => mouseClick(h.find(w.window.contentItem, "chip-video")),
              before: ["photo"], call: null, kinds: [] },
            { tag: "a kind on checks again", act: w => mouseClick(h.find(w.window.contentItem, "chip-audio")),
              before: ["photo"], call: "check(, false)", kinds: ["photo", "audio"] },
            { tag: "skipped kinds join the check", act: w => mouseClick(h.find(w.window.contentItem, "skippedButton")),
              before: ["photo", "video"], call: "check(, false)", kinds: ["photo", "video", "audio"] },
        ]
    }
    function test_filterStripAndNote(data) {
        const w = openResults("missing", { kinds: data.before })
        if (data.tag === "last kind off starts nothing")
            w.model.kinds = ["video"]
        const calls = w.model.calls.length
        data.act(w)
        compare(w.model.kinds, data.kinds)
        compare(w.model.calls.length > calls ? last(w) : null, data.call)
        compare(h.find(w.window.contentItem, "photoFormats").visible, data.kinds.indexOf("photo") >= 0)
    }

    function test_stopThePass() {
        const w = openResults("verifying", { deepVerifying: true, deepProgress: { stage: "indexing" } })
        compare(h.find(w.window.contentItem, "stripText").text, "Getting ready to verify every byte…")
        w.model.deepProgress = { stage: "comparing" }
        compare(h.find(w.window.contentItem, "stripText").text, "Verifying every byte… 30 of 90")
        click(w, "stopPass")
        compare(last(w), "stopDeepVerify()")
        verify(!h.find(w.window.contentItem, "stopPass").visible)
        compare(h.find(w.window.contentItem, "heroReason").text,
                "Every copy matched by content. Verify every byte before you format the card.")
    }
}

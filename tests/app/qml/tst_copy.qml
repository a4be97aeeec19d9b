import QtQuick
import QtQuick.Controls
import QtTest
import Halvetrop
import Halvetrop.Native
import HalvetropTest

// The copy dialog over the real model's copy sheet and a scripted copy: the keys by phase, the
// copy button following the plan, and a stopped copy never shown as a success.
TestCase {
    id: test
    name: "Copy"
    when: windowShown
    Harness { id: h; testCase: test }
    function cleanupTestCase() { h.release() }
    // A binding loop is a fault of the views, whatever else a case looks at.
    function init() { failOnWarning(/Binding loop detected/) }

    // The dialog for the missing files of a saved check, its plan shown.
    function openSheet() {
        const w = h.open({ saved: ["missing"] }, (s, m) => {
            verify(s.openSaved(0))
            verify(s.requestCopy())
        })
        tryCompare(h.find(w.window.contentItem, "copySheet"), "opened", true, hangDetectorMs)
        verify(w.stage.waitForPlan())
        w.window.requestActivate()
        return w
    }
    function item(w, name) { return h.find(w.window.contentItem, name) }

    function test_keysByPhase_data() {
        return [
            { tag: "planning, Escape cancels", phase: 0, key: Qt.Key_Escape, after: "closed" },
            { tag: "planning, Return copies", phase: 0, key: Qt.Key_Return, after: "copying" },
            { tag: "copying, Escape stops", phase: 1, key: Qt.Key_Escape, after: "stopped" },
            { tag: "copying, Return does nothing", phase: 1, key: Qt.Key_Return, after: "copying" },
            { tag: "done, Escape closes and checks", phase: 2, key: Qt.Key_Escape, after: "checking" },
            { tag: "done, Return closes and checks", phase: 2, key: Qt.Key_Return, after: "checking" },
        ]
    }
    function test_keysByPhase(data) {
        const w = openSheet()
        const sheet = w.model.copySheet
        if (data.phase >= 1) {
            sheet.copy()
            verify(w.stage.copyProgress(0.5))
        }
        if (data.phase === 2)
            verify(w.stage.finishCopy("copied"))
        compare(Present.ambiguousShortcuts(w.window), [])
        keyClick(data.key)
        const state = () => !w.model.hasCopyRequest ? (w.model.phase === Phase.checking ? "checking" : "closed")
                    : w.model.copying ? "copying"
                    : sheet.phase === 2 ? (sheet.reportView.outcome === "stopped" ? "stopped" : "done") : "planning"
        // A copy starts, and a stopped one ends, once the card has been listed again off the GUI thread.
        tryVerify(() => state() === data.after, hangDetectorMs, state())
    }

    // Return is the Copy button only once the plan of the choices shown is there, and never
    // while a text field has the keys.
    function test_returnWaitsForThePlanAndLeavesTextFields() {
        const w = openSheet()
        const sheet = w.model.copySheet
        compare(Present.shortcutOwners(w.window, "Return"), 1)
        sheet.layout = 2
        verify(!sheet.planCurrent)
        compare(Present.shortcutOwners(w.window, "Return"), 0)
        keyClick(Qt.Key_Return)
        verify(!w.model.copying)
        verify(w.stage.waitForPlan())
        compare(Present.shortcutOwners(w.window, "Return"), 1)
        const field = item(w, "newFolder")
        // The plan's preview moves the field once the window has laid it out again.
        tryVerify(() => { mouseClick(field); return field.activeFocus }, hangDetectorMs)
        keyClick(Qt.Key_End)
        keyClick(Qt.Key_X)
        verify(w.stage.waitForPlan())
        compare(Present.shortcutOwners(w.window, "Return"), 0)
        keyClick(Qt.Key_Return)
        verify(!w.model.copying)
        compare(sheet.phase, 0)
        // Out of the field, past Cancel to the Copy button, Return copies what the plan shows.
        keyClick(Qt.Key_Tab)
        keyClick(Qt.Key_Tab)
        verify(item(w, "copyButton").visualFocus)
        keyClick(Qt.Key_Return)
        tryVerify(() => w.model.copying, hangDetectorMs)
        verify(sheet.baseFolder.endsWith("x"))
    }

    // Return on a button the keys reached presses that button, as Space does: Cancel cancels, and
    // no copy starts.
    function test_returnOnAFocusedButtonPressesIt() {
        const w = openSheet()
        const cancel = item(w, "copyCancel")
        cancel.forceActiveFocus(Qt.TabFocusReason)
        verify(cancel.visualFocus, "Cancel has the keys")
        verify(KeyPress.click(w.window, Qt.Key_Return))
        verify(!w.model.copying, "no copy started")
        verify(!w.model.hasCopyRequest, "the dialog is gone")
    }

    function test_copyButtonFollowsPlan() {
        const w = openSheet()
        const sheet = w.model.copySheet
        const button = item(w, "copyButton")
        compare(button.text, "Copy 7 Files")
        verify(button.enabled)
        sheet.layout = 3
        sheet.location = "../outside"
        verify(!sheet.planCurrent)
        verify(!button.enabled)
        compare(button.text, "Copy Files")
        verify(w.stage.waitForPlan())
        verify(!button.enabled)
        compare(item(w, "planError").text, "Refused to write outside the backup folder: ../outside")
        // A refused plan offers no copy (never "Copy 0 Files"), only Cancel.
        verify(!button.visible, button.text + " offered")
        verify(!item(w, "planNote").visible)
        verify(item(w, "copyCancel").visible)
        sheet.location = ""
        verify(w.stage.waitForPlan())
        verify(button.enabled && button.visible)
        verify(item(w, "planNote").visible)
        compare(item(w, "planError").text, "")
    }

    // A copy of one file says so in the singular, on its button and in its result; a run that
    // copied nothing says that in words, without a size of nothing.
    function test_oneFileAndNothingCopied_data() {
        return [
            { tag: "one file copied", outcome: "copied", button: "Copy 1 File", summary: /^1 copied \(/ },
            { tag: "stopped before any", outcome: "stopped", button: "Copy 1 File", summary: /^Nothing copied$/ },
        ]
    }
    function test_oneFileAndNothingCopied(data) {
        const w = openSheet()
        const all = []
        for (let row = 0; row < w.model.files.count; ++row)
            all.push(w.model.files.idAt(row))
        const one = w.model.copyableIDs(all).slice(0, 1)
        compare(one.length, 1)
        w.model.requestCopy(one, "Copy one")
        verify(w.stage.waitForPlan())
        const sheet = w.model.copySheet
        tryCompare(item(w, "copyButton"), "text", data.button, hangDetectorMs)
        sheet.copy()
        verify(w.stage.finishCopy(data.outcome))
        tryCompare(sheet, "phase", 2, hangDetectorMs)
        verify(data.summary.test(item(w, "doneSummary").text), item(w, "doneSummary").text)
    }

    // Failures with long names wrap at the dialog's edge, each line whole, a long name cut in its
    // middle.
    function test_failureLinesWrap() {
        const w = h.open({ saved: ["browser-long-names"] }, (s, m) => {
            verify(s.openSaved(0))
            verify(s.requestCopy())
        })
        const dialog = h.find(w.window.contentItem, "copySheet")
        tryCompare(dialog, "opened", true, hangDetectorMs)
        w.model.copySheet.copy()
        verify(w.stage.copyProgress(0.5))
        verify(w.stage.finishCopy("problems"))
        tryCompare(item(w, "failureList"), "visible", true, hangDetectorMs)
        const lines = h.findAll(item(w, "failureList"), "failureLine")
        // Shown whole: the list is as tall as its lines.
        const list = item(w, "failureList")
        tryVerify(() => list.height >= list.contentHeight - 1, hangDetectorMs, "the list shows its lines")
        verify(lines.length > 0)
        const content = dialog.contentItem
        for (const line of lines) {
            verify(line.contentWidth <= line.width + 0.5, "cut: " + line.text)
            verify(line.mapToItem(content, line.width, 0).x <= content.width + 0.5, "past the dialog: " + line.text)
        }
        // (Read without the marks that keep a name in another script in its place.)
        verify(lines.some(l => /^[^:]+\u2026[^:]+_0\d+\.\w+: /.test(l.text.replace(/[\u200E\u2066-\u2069]/g, ""))),
               "no long name is cut, its end whole")
    }

    // The dialog is as tall as what it shows, within the window: no blank below the plan's last
    // row, above the copy's progress, or between the copy's report and Done, at the smallest
    // window and a wide one.
    function test_dialogFollowsItsContent_data() {
        const rows = []
        for (const size of [[1040, 660], [1920, 1080]])
            for (const phase of ["planning", "running", "done"])
                rows.push({ tag: phase + ", " + size[0] + "x" + size[1], width: size[0], height: size[1], phase: phase })
        return rows
    }
    function test_dialogFollowsItsContent(data) {
        const w = openSheet()
        w.window.width = data.width
        w.window.height = data.height
        const dialog = item(w, "copySheet")
        // The window's items take its size once the platform's resize arrives.
        tryCompare(dialog.parent, "height", data.height, hangDetectorMs)
        const sheet = w.model.copySheet
        if (data.phase !== "planning") {
            sheet.copy()
            verify(w.stage.copyProgress(0.5))
        }
        if (data.phase === "done")
            verify(w.stage.finishCopy("copied"))
        waitForRendering(w.window.contentItem)
        const content = dialog.contentItem
        const top = name => { const i = item(w, name); return i.mapToItem(content, 0, 0).y }
        const bottom = name => { const i = item(w, name); return i.mapToItem(content, 0, i.height).y }
        // Each pair: where the upper part ends, where the part below it starts.
        let gaps = []
        if (data.phase === "planning") {
            const rows = h.findAll(item(w, "planList"), "planRow")
            verify(rows.length > 0)
            const last = rows[rows.length - 1]
            // As far as the plan's scroll view shows it.
            gaps = [[Math.min(last.mapToItem(content, 0, last.height).y, bottom("planScroll")), top("planBar"), "plan"]]
        } else if (data.phase === "running") {
            gaps = [[bottom("sheetTitle"), top("copyingLabel"), "title"], [bottom("copyingNote"), top("copyStop"), "progress"]]
        } else {
            gaps = [[bottom("copyReport"), top("doneBar"), "report"]]
        }
        for (const [from, to, what] of gaps)
            verify(to - from <= 2 * Theme.l + Theme.s, what + ": a gap of " + (to - from))
        verify(dialog.height <= data.height - 40 + 0.5, "taller than the window: " + dialog.height)
        // Below the window's height, the plan's choices show whole, without scrolling.
        const scroll = item(w, "planScroll")
        if (data.phase === "planning" && dialog.height < data.height - 40 - 0.5)
            verify(scroll.contentHeight <= scroll.height + 0.5,
                   "the plan scrolls in a dialog of " + dialog.height + ": " + scroll.contentHeight + " in " + scroll.height)
        const last = data.phase === "planning" ? "planBar" : data.phase === "running" ? "copyStop" : "doneBar"
        verify(bottom(last) <= content.height + 0.5, last + " cut at the dialog's bottom")
    }

    // The copy's progress is a thin capsule filled in the verified colour, as the byte-by-byte
    // strip's is, not the style's field.
    function test_progressIsACapsule() {
        const w = openSheet()
        w.model.copySheet.copy()
        verify(w.stage.copyProgress(0.5))
        const bar = item(w, "copyProgress")
        tryVerify(() => bar.value > 0.3, hangDetectorMs, "the bar follows the copy")
        compare(bar.height, 6)
        waitForRendering(w.window.contentItem)
        const at = bar.mapToItem(w.window.contentItem, bar.width / 4, bar.height / 2)
        const drawn = grabImage(w.window.contentItem).pixel(Math.round(at.x), Math.round(at.y))
        const fill = Theme.verified
        verify(Math.abs(fill.r - drawn.r) + Math.abs(fill.g - drawn.g) + Math.abs(fill.b - drawn.b) < 0.1,
               "filled in " + drawn)
    }

    // The copy report's buttons carry their symbols and its folders a filled folder, each one a
    // drawing the symbol table has.
    Component { id: drawing; Image {} }
    function test_reportSymbols() {
        const w = openSheet()
        w.model.copySheet.copy()
        verify(w.stage.copyProgress(0.5))
        verify(w.stage.finishCopy("copied"))
        const expected = { openDrive: "externaldrive", saveCopyCSV: "doc.text", copiedFolderSymbol: "folder.fill" }
        for (const name in expected) {
            const shown = item(w, name)
            verify(shown !== null && shown.visible, name)
            const symbol = shown.symbol !== undefined ? shown.symbol : shown.name
            compare(symbol, expected[name], name)
            const image = createTemporaryObject(drawing, test, { source: Present.symbolSource(symbol, "black") })
            tryCompare(image, "status", Image.Ready, hangDetectorMs)
        }
        compare(item(w, "saveCopyCSV").text, "Save Report…")
        for (const handOff of h.findAll(item(w, "copySheet").contentItem, "handOff"))
            compare(handOff.symbol, "photo.on.rectangle.angled")
        // A name the table lacks draws nothing.
        ignoreWarning(new RegExp("Failed to get image from provider: image://symbol/no\\.such\\.symbol"))
        const none = createTemporaryObject(drawing, test, { source: Present.symbolSource("no.such.symbol", "black") })
        tryCompare(none, "status", Image.Error, hangDetectorMs)
    }

    function test_stoppedIsNeutral_data() {
        return [
            { tag: "copied", outcome: "copied", headline: "Copied and verified", sealed: true },
            { tag: "stopped", outcome: "stopped", headline: "Stopped", sealed: false },
            { tag: "problems", outcome: "problems", headline: "Finished with problems", sealed: false },
        ]
    }
    function test_stoppedIsNeutral(data) {
        const w = openSheet()
        w.model.copySheet.copy()
        verify(w.stage.copyProgress(0.5))
        verify(w.stage.finishCopy(data.outcome))
        const headline = item(w, "doneHeadline")
        tryCompare(headline, "visible", true, hangDetectorMs)
        compare(headline.text, data.headline)
        compare(Qt.colorEqual(headline.color, Theme.verified), data.sealed)
    }
}

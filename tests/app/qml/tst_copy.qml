import QtQuick
import QtQuick.Controls
import QtTest
import Halvetrop
import Halvetrop.Native

// The copy dialog over the scripted model: the keys by phase, the copy button following the plan,
// a stopped copy never shown as a success, and the last-copy button only for this card's copy.
TestCase {
    id: test
    name: "Copy"
    when: windowShown
    Harness { id: h; testCase: test }
    function cleanupTestCase() { h.release() }

    function openSheet(set) {
        return h.open(0, m => {
            m.source = "/c"; m.phase = Phase.results; m.hasReport = true; m.hasCopyRequest = true
            for (const k in set) m.copySheet[k] = set[k]
        })
    }

    function test_keysByPhase_data() {
        return [
            { tag: "planning", phase: 0, escape: "pressEscape", ret: "copy" },
            { tag: "copying", phase: 1, escape: "pressEscape", ret: "" },
            { tag: "done", phase: 2, escape: "pressEscape", ret: "done" },
        ]
    }
    function test_keysByPhase(data) {
        const w = openSheet({ phase: data.phase, planCount: 2 })
        const sheet = w.model.copySheet
        keyClick(Qt.Key_Escape)
        compare(sheet.calls, [data.escape])
        keyClick(Qt.Key_Return)
        compare(sheet.calls, data.ret ? [data.escape, data.ret] : [data.escape])
        compare(Present.ambiguousShortcuts(w.window), [])
    }

    function test_copyButtonFollowsPlan() {
        const w = openSheet({ planCount: 1234 })
        const button = h.find(w.window.contentItem, "copyButton")
        compare(button.text, "Copy 1,234 Files")
        verify(button.enabled)
        w.model.copySheet.planCurrent = false
        w.model.copySheet.canCopy = false
        verify(!button.enabled)
        w.model.copySheet.planCurrent = true
        w.model.copySheet.planError = "Refused to write outside the backup folder: /x"
        compare(h.find(w.window.contentItem, "planError").text, "Refused to write outside the backup folder: /x")
    }

    function test_stoppedIsNeutral_data() {
        return [
            { tag: "copied", outcome: "copied", headline: "Copied and verified", sealed: true },
            { tag: "stopped", outcome: "stopped", headline: "Stopped", sealed: false },
            { tag: "problems", outcome: "problems", headline: "Finished with problems", sealed: false },
        ]
    }
    function test_stoppedIsNeutral(data) {
        const w = openSheet({ phase: 2, reportView: { outcome: data.outcome, headline: data.headline, summary: "", folders: [] } })
        const headline = h.find(w.window.contentItem, "doneHeadline")
        compare(headline.text, data.headline)
        compare(Qt.colorEqual(headline.color, Theme.verified), data.sealed)
    }

    Component {
        id: lastCopy
        LastCopyButton {}
    }
    function test_lastCopyOnlyForThisCard_data() {
        const folder = { title: "a", subtitle: "", path: "/b/a", files: ["/b/a/1.jpg"] }
        return [
            { tag: "this card", source: "CARD", folders: [folder], shown: true },
            { tag: "another card", source: "OTHER", folders: [folder], shown: false },
            { tag: "nothing copied", source: "CARD", folders: [], shown: false },
        ]
    }
    function test_lastCopyOnlyForThisCard(data) {
        const w = h.open(0, m => {
            m.lastCopy = { sourceName: data.source, folders: data.folders, copiedCount: data.folders.length, time: "09:00" }
        })
        const button = createTemporaryObject(lastCopy, w.window.contentItem, { model: w.model, cardName: "CARD" })
        compare(button.visible, data.shown)
        if (!data.shown) return
        compare(button.text, "Last Copy (1)")
        button.clicked()
        const popover = h.find(button, "lastCopyPopover")
        tryCompare(popover, "opened", true)
    }
}

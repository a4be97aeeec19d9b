import QtQuick
import QtTest
import Halvetrop
import Halvetrop.Native
import HalvetropFake.Native

TestCase {
    id: test
    name: "Shell"
    when: windowShown
    width: 1240
    height: 800
    Harness { id: h; testCase: test }
    function cleanupTestCase() { h.release() }

    function toolbar(w) {
        const names = ["toolNewCheck", "toolCheckAnother", "modePicker", "toolRecheck", "toolExport", "toolInspector"]
        return names.filter(n => h.find(w.window.header, n).visible)
    }

    function test_toolbarPerPhase_data() {
        return [
            { tag: "setup without card", set: {}, shown: [] },
            { tag: "setup with card", set: { source: "/c" }, shown: ["toolNewCheck"] },
            { tag: "setup with card and report", set: { source: "/c", hasReport: true }, shown: [] },
            { tag: "checking", set: { source: "/c", phase: Phase.checking }, shown: [] },
            { tag: "failed", set: { source: "/c", phase: Phase.failed }, shown: [] },
            { tag: "results", set: { source: "/c", phase: Phase.results, hasReport: true },
              shown: ["toolNewCheck", "toolCheckAnother", "modePicker", "toolRecheck", "toolExport", "toolInspector"] },
        ]
    }
    function test_toolbarPerPhase(data) {
        const w = h.open(0, m => { for (const k in data.set) m[k] = data.set[k] })
        compare(toolbar(w), data.shown)
        // Inspector only beside results.
        compare(h.find(w.window.contentItem, "inspector").visible, data.set.phase === Phase.results)
    }

    function test_toolbarActions() {
        const w = h.open(0, m => { m.source = "/c"; m.phase = Phase.results; m.hasReport = true })
        mouseClick(h.find(w.window.header, "mode-Map"))
        compare(w.model.mode, Phase.map)
        w.model.mode = Phase.files
        verify(h.find(w.window.header, "mode-Files").checked)
        mouseClick(h.find(w.window.header, "toolInspector"))
        compare(w.model.showInspector, false)
        verify(!h.find(w.window.contentItem, "inspector").visible)
        mouseClick(h.find(w.window.header, "toolNewCheck"))
        compare(w.model.calls.slice(-2), ["resetResults()", "clearSource()"])
        w.model.phase = Phase.results
        keyClick(Qt.Key_R, Qt.ControlModifier)
        compare(w.model.calls[w.model.calls.length - 1], "check(, false)")
        keyClick(Qt.Key_N, Qt.ControlModifier | Qt.ShiftModifier)
        compare(w.model.calls[w.model.calls.length - 1], "checkAnotherCard(-1)")
    }

    function test_bannerPrecedence_data() {
        const card = { name: "EOS \"7D\"", volumePath: "/media/a/EOS" }
        return [
            { tag: "none", set: {}, banner: "" },
            { tag: "notice only", set: { hasNotice: true, noticeText: "x" }, banner: "notice" },
            { tag: "new card", set: { newCard: card }, banner: "newCard" },
            { tag: "both", set: { hasNotice: true, noticeText: "x", newCard: card }, banner: "notice" },
            { tag: "new card while checking", set: { newCard: card, phase: Phase.checking }, banner: "" },
            { tag: "notice while checking", set: { hasNotice: true, noticeText: "x", newCard: card, phase: Phase.checking }, banner: "notice" },
        ]
    }
    function test_bannerPrecedence(data) {
        const w = h.open(0, m => { for (const k in data.set) m[k] = data.set[k] })
        const notice = h.find(w.window.contentItem, "noticeBanner")
        const newCard = h.find(w.window.contentItem, "newCardBanner")
        compare(notice.shown, data.banner === "notice")
        compare(newCard.shown, data.banner === "newCard")
    }

    function test_bannersAct() {
        const w = h.open(0, m => {
            m.hasNotice = true; m.noticeText = "<b>x</b> ejected"; m.noticeOk = true
            m.newCard = { name: "EOS \"7D\"", volumePath: "/media/a/EOS" }
            m.suggestedCards = [{ name: "OTHER", volumePath: "/media/a/OTHER" }, { name: "EOS", volumePath: "/media/a/EOS" }]
        })
        const root = w.window.contentItem
        compare(h.find(root, "noticeText").textFormat, Text.PlainText)
        compare(h.find(root, "noticeSymbol").name, "eject.circle.fill")
        mouseClick(h.find(root, "noticeDismiss"))
        compare(w.model.calls, ["dismissNotice()"])
        // Dismissing the notice reveals the new card.
        tryCompare(h.find(root, "newCardBanner"), "shown", true)
        compare(h.find(root, "newCardTitle").text, "“EOS \"7D\"” was just inserted")
        compare(h.find(root, "newCardSubtitle").text, "Choose it to start a check")
        compare(h.find(root, "newCardCheck").text, "Choose…")
        w.model.destinations = ["/b"]
        compare(h.find(root, "newCardCheck").text, "Check Card")
        mouseClick(h.find(root, "newCardCheck"))
        compare(w.model.calls[w.model.calls.length - 1], "checkNewCard()")
    }

    // The banner's border carries its meaning: green for a success, red for a warning.
    function test_bannerTint_data() {
        return [ { tag: "success", ok: true }, { tag: "warning", ok: false } ]
    }
    function test_bannerTint(data) {
        const w = h.open(0, m => { m.hasNotice = true; m.noticeText = "x"; m.noticeOk = data.ok })
        const banner = h.find(w.window.contentItem, "noticeBanner")
        tryCompare(banner, "opacity", 1)
        waitForRendering(banner)
        const image = grabImage(w.window.contentItem)
        const top = banner.mapToItem(w.window.contentItem, banner.width / 2, 0)
        // Down the middle of the capsule's top edge: the tinted border, over the neutral fill.
        let lean = 0
        for (let y = 0; y < 4; ++y) {
            const p = image.pixel(Math.round(top.x), Math.round(top.y) + y)
            lean += data.ok ? p.g - p.r : p.r - p.g
        }
        verify(lean > 0.05, "border leans " + lean)
    }

    function test_failureScreen() {
        const w = h.open(0, m => { m.source = "/c"; m.phase = Phase.failed; m.failureText = "Can't read <b>x</b>" })
        const root = w.window.contentItem
        const text = h.find(root, "emptyStateDescription")
        compare(text.text, "Can't read <b>x</b>")
        compare(text.textFormat, Text.PlainText)
        mouseClick(h.find(root, "tryAgain"))
        mouseClick(h.find(root, "back"))
        compare(w.model.calls, ["check(, false)", "resetResults()"])
    }

    function test_windowSize() {
        const w = h.open(0)
        compare(w.window.title, "SD Halvetrop")
        compare(w.window.minimumWidth, 1040)
        compare(w.window.minimumHeight, 660)
        compare(w.window.width, 1240)
    }

    // One owner per key sequence in every state that stacks two owners.
    function test_oneOwnerPerKey_data() {
        return [
            { tag: "setup", set: {} },
            { tag: "checking", set: { source: "/c", phase: Phase.checking } },
            { tag: "results", set: { source: "/c", phase: Phase.results, hasReport: true, canCheck: true, canScan: true, canEjectSource: true } },
            { tag: "results with copy sheet", set: { source: "/c", phase: Phase.results, hasReport: true, hasCopyRequest: true, copyRequestTitle: "Copy 3 files" } },
        ]
    }
    function test_oneOwnerPerKey(data) {
        const w = h.open(3, m => { for (const k in data.set) m[k] = data.set[k] })
        compare(Present.ambiguousShortcuts(w.window), [])
        compare(Present.shortcutOwners(w.window, "Ctrl+R"), data.set.phase === Phase.results ? 1 : 0)
        compare(Present.shortcutOwners(w.window, "Ctrl+N"), 1)
    }

    function test_quitDuringCopyAsksFirst() {
        const w = h.open(0, m => { m.copying = true })
        w.window.close()
        verify(w.window.visible)
        compare(w.model.called("shutdown"), 0)
        w.model.copying = false
        w.window.close()
        compare(w.model.called("shutdown"), 1)
    }
}

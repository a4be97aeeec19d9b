import QtQuick
import QtTest
import Halvetrop
import Halvetrop.Native

// The window's toolbar, banners, failure screen and keys over the real model.
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
    // The model in each phase, reached as a user reaches it.
    readonly property var phases: ({
        setup: (s, m) => {},
        card: (s, m) => h.choose(s, m, false),
        checking: (s, m) => { h.choose(s, m, true); m.check("") },
        failed: (s, m) => { h.choose(s, m, true); m.check(""); s.failCheck("x") },
        results: (s, m) => s.openSaved(0),
    })

    function test_toolbarPerPhase_data() {
        return [
            { tag: "setup without card", phase: "setup", shown: [] },
            { tag: "setup with card", phase: "card", shown: ["toolNewCheck"] },
            { tag: "checking", phase: "checking", shown: [] },
            { tag: "failed", phase: "failed", shown: [] },
            { tag: "results", phase: "results",
              shown: ["toolNewCheck", "toolCheckAnother", "modePicker", "toolRecheck", "toolExport", "toolInspector"] },
        ]
    }
    function test_toolbarPerPhase(data) {
        const w = h.open({ saved: ["missing"], volumes: h.cardVolumes }, phases[data.phase])
        compare(toolbar(w), data.shown)
        // Inspector only beside results.
        compare(h.find(w.window.contentItem, "inspector").visible, data.phase === "results")
    }

    function test_toolbarActions() {
        const w = h.open({ saved: ["missing"] }, phases.results)
        mouseClick(h.find(w.window.header, "mode-Map"))
        compare(w.model.mode, Phase.map)
        w.model.mode = Phase.files
        verify(h.find(w.window.header, "mode-Files").checked)
        mouseClick(h.find(w.window.header, "toolInspector"))
        compare(w.model.showInspector, false)
        verify(!h.find(w.window.contentItem, "inspector").visible)
        mouseClick(h.find(w.window.header, "toolNewCheck"))
        compare(w.model.phase, Phase.setup)
        compare(w.model.source, "")
        verify(w.stage.openSaved(0))
        w.window.requestActivate()
        keyClick(Qt.Key_R, Qt.ControlModifier)
        compare(w.stage.checkCount(), 1)
        w.model.stopCheck()
        tryCompare(w.model, "phase", Phase.results, hangDetectorMs)
        keyClick(Qt.Key_N, Qt.ControlModifier | Qt.ShiftModifier)
        compare(w.stage.pickerQuestions(), 1)
    }

    function test_bannerPrecedence_data() {
        return [
            { tag: "none", notice: false, card: false, checking: false, banner: "" },
            { tag: "notice only", notice: true, card: false, checking: false, banner: "notice" },
            { tag: "new card", notice: false, card: true, checking: false, banner: "newCard" },
            { tag: "both", notice: true, card: true, checking: false, banner: "notice" },
            { tag: "new card while checking", notice: false, card: true, checking: true, banner: "" },
            { tag: "notice while checking", notice: true, card: true, checking: true, banner: "notice" },
        ]
    }
    function test_bannerPrecedence(data) {
        const w = h.open({ volumes: h.cardVolumes }, (s, m) => {
            if (data.checking)
                phases.checking(s, m)
            if (data.card)
                s.addVolume({ path: "media/a/EOS", name: "EOS \"7D\"", fileSystem: "exfat", removable: true, card: true })
            if (data.notice)
                Present.notify("x", false)
        })
        compare(h.find(w.window.contentItem, "noticeBanner").shown, data.banner === "notice")
        compare(h.find(w.window.contentItem, "newCardBanner").shown, data.banner === "newCard")
    }

    function test_bannersAct() {
        const w = h.open({ volumes: [{ path: "media/a/OTHER", name: "OTHER", removable: true, card: true }] }, (s, m) => {
            s.addVolume({ path: "media/a/EOS", name: "EOS \"7D\"", fileSystem: "exfat", removable: true, card: true })
            Present.notify("<b>x</b> ejected", true)
        })
        const root = w.window.contentItem
        compare(h.find(root, "noticeText").textFormat, Text.PlainText)
        compare(h.find(root, "noticeText").text, "<b>x</b> ejected")
        compare(h.find(root, "noticeSymbol").name, "eject.circle.fill")
        mouseClick(h.find(root, "noticeDismiss"))
        verify(!w.model.hasNotice)
        // Dismissing the notice reveals the new card, sliding in.
        const banner = h.find(root, "newCardBanner")
        tryCompare(banner, "shown", true, hangDetectorMs)
        tryCompare(banner, "opacity", 1, hangDetectorMs)
        compare(h.find(root, "newCardTitle").text, "“EOS \"7D\"” was just inserted")
        compare(h.find(root, "newCardSubtitle").text, "Choose it to start a check")
        compare(h.find(root, "newCardCheck").text, "Choose…")
        w.model.addBackupUrls(["file://" + w.stage.folder("b")])
        compare(h.find(root, "newCardCheck").text, "Check Card")
        // The banner takes its new width with the layout spring before it is pressed.
        tryVerify(() => banner.width === banner.implicitWidth, hangDetectorMs)
        // It checks the card at once, opening no folder dialog on it.
        mouseClick(h.find(root, "newCardCheck"))
        compare(w.stage.pickerQuestions(), 0)
        compare(w.stage.checkCount(), 1)
        compare(w.stage.checkRequest(0).source, w.stage.root + "/media/a/EOS")
        verify(!banner.shown)
    }

    // A notice keeps its words and its look while it slides away: never a bare symbol, never a
    // success turned into a warning. Where it was seen: a card ejected and mounted again (the
    // notice gives way to the new card), and a re-check of a saved card that is not inserted.
    function test_aLeavingNoticeKeepsItsWords_data() {
        return [
            { tag: "a card mounted again", symbol: "eject.circle.fill",
              text: "“SONY A7IV” ejected — you can remove it. Its result is saved in Recent checks." },
            { tag: "a re-check", symbol: "exclamationmark.triangle.fill",
              text: "Insert “SONY A7IV” to check it again." },
        ]
    }
    function test_aLeavingNoticeKeepsItsWords(data) {
        let w
        if (data.tag === "a re-check") {
            w = h.open({ saved: ["safe"] }, (s, m) => {
                s.removeVolume("media/ana/SONY A7IV")
                verify(s.openSaved(0), "the saved check opened")
            })
            w.model.check("")
        } else {
            w = h.open({ volumes: h.cardVolumes }, (s, m) => {
                h.choose(s, m, true)
                m.check("")
                verify(s.finishCheck("missing"))
            })
            compare(w.model.phase, Phase.results)
            w.stage.setVolumes([h.cardVolumes[1]])
            w.stage.addVolume(h.cardVolumes[0])
            verify(w.model.newCard.name !== undefined, "the card is announced again")
        }
        const root = w.window.contentItem
        const banner = h.find(root, "noticeBanner")
        compare(w.model.noticeText, data.text)
        tryCompare(banner, "opacity", 1, hangDetectorMs)
        compare(h.find(root, "noticeText").text, data.text)
        w.model.dismissNotice()
        verify(!banner.shown)
        // On its way out: still there to be seen, and still saying what it said.
        verify(banner.visible && banner.opacity > 0, "the banner slides away")
        compare(h.find(root, "noticeText").text, data.text)
        compare(h.find(root, "noticeSymbol").name, data.symbol)
        tryCompare(banner, "visible", false, hangDetectorMs)
    }

    // The banner's border carries its meaning: green for a success, red for a warning.
    function test_bannerTint_data() {
        return [ { tag: "success", ok: true }, { tag: "warning", ok: false } ]
    }
    function test_bannerTint(data) {
        const w = h.open({}, (s, m) => Present.notify("x", data.ok))
        const banner = h.find(w.window.contentItem, "noticeBanner")
        // A success notice goes by itself after a few seconds: the picture is taken before.
        tryCompare(banner, "opacity", 1, hangDetectorMs)
        const image = grabImage(w.window.contentItem)
        const top = banner.mapToItem(w.window.contentItem, banner.width / 2, 0)
        // Down the middle of the capsule's top edge: the tinted border, over the neutral fill.
        let lean = 0
        for (let y = 0; y < 4; ++y) {
            const p = image.pixel(Math.round(top.x), Math.round(top.y) + y)
            lean += data.ok ? p.g - p.r : p.r - p.g
        }
        verify(lean > 0.05, "border leans " + lean)
        // Inside the capsule, the fill alone: nothing of the page or the shadow shows through.
        const fill = h.find(banner, "bannerFill")
        compare(fill.color.a, 1)
        const inside = banner.mapToItem(w.window.contentItem, Theme.s, banner.height / 2)
        const p = image.pixel(Math.round(inside.x), Math.round(inside.y))
        for (const c of ["r", "g", "b"])
            verify(Math.abs(p[c] - Theme.raised[c]) <= 1 / 255, c + " " + p[c] + " not " + Theme.raised[c])
    }

    // The Settings window opens over the main window, centred across it, not at the screen's corner.
    function test_settingsOpenOverTheWindow() {
        const w = h.open({})
        w.window.x = 300
        w.window.y = 200
        h.actions(w.window)["settings"].trigger()
        const settings = findChild(w.window, "settingsWindow")
        tryCompare(settings, "visible", true, hangDetectorMs)
        verify(Math.abs(settings.x + settings.width / 2 - (w.window.x + w.window.width / 2)) <= 1,
               "settings at " + settings.x + " over a window at " + w.window.x)
        verify(settings.y >= w.window.y && settings.y < w.window.y + w.window.height / 2, "settings at y " + settings.y)
        settings.close()
    }

    function test_failureScreen() {
        const w = h.open({ volumes: h.cardVolumes }, (s, m) => {
            h.choose(s, m, true)
            m.check("")
            s.failCheck("/c/<b>x</b>")
        })
        const root = w.window.contentItem
        const text = h.find(root, "failureMessage")
        compare(text.text, "Can't read /c/<b>x</b>: Input/output error")
        compare(text.textFormat, Text.PlainText)
        mouseClick(h.find(root, "tryAgain"))
        compare(w.stage.checkCount(), 2)
        compare(w.model.phase, Phase.checking)
        verify(w.stage.failCheck("x"))
        mouseClick(h.find(root, "back"))
        compare(w.model.phase, Phase.setup)
        compare(w.stage.checkCount(), 2)
    }

    function test_windowSize() {
        const w = h.open({})
        compare(w.window.title, "SD Halvetrop")
        compare(w.window.minimumWidth, 1040)
        compare(w.window.minimumHeight, 660)
        compare(w.window.width, 1240)
    }

    // One owner per key sequence in every state that stacks two owners.
    function test_oneOwnerPerKey_data() {
        return [
            { tag: "setup", phase: "setup", sheet: false },
            { tag: "checking", phase: "checking", sheet: false },
            { tag: "results", phase: "results", sheet: false },
            { tag: "results with copy sheet", phase: "results", sheet: true },
        ]
    }
    function test_oneOwnerPerKey(data) {
        const w = h.open({ saved: ["missing"], savedChecks: 3, volumes: h.cardVolumes }, (s, m) => {
            phases[data.phase](s, m)
            if (data.sheet)
                verify(s.requestCopy())
        })
        compare(Present.ambiguousShortcuts(w.window), [])
        compare(Present.shortcutOwners(w.window, "Ctrl+R"), data.phase === "results" ? 1 : 0)
        compare(Present.shortcutOwners(w.window, "Ctrl+N"), 1)
    }

    function test_quitDuringCopyAsksFirst() {
        const w = h.open({ saved: ["missing"] }, (s, m) => {
            verify(s.openSaved(0))
            verify(s.requestCopy())
            m.copySheet.copy()
        })
        tryVerify(() => w.model.copying, hangDetectorMs)
        w.window.close()
        verify(w.window.visible)
        verify(!w.window.shutDown)
        verify(w.stage.finishCopy("copied"))
        verify(!w.model.copying)
        w.window.close()
        verify(w.window.shutDown)
    }
}

import QtQuick
import QtTest
import QtQuick.Window
import Halvetrop
import Halvetrop.Native

TestCase {
    id: test
    name: "Controls"
    when: windowShown
    width: 1240
    height: 800
    Harness { id: h; testCase: test }
    function cleanupTestCase() { h.release() }

    // Each control in a window of its own, as the application shows it.
    Component {
        id: chipsComponent
        Window {
            property alias chips: chips
            width: 600
            height: 100
            visible: true
            KindChips { id: chips }
        }
    }
    Component {
        id: settingsComponent
        ThemedWindow {
            id: settingsWindow
            property var store
            property alias view: view
            width: 500
            height: 400
            visible: true
            SettingsView { id: view; store: settingsWindow.store }
        }
    }

    function test_kindChipsToggleInOrder() {
        const chips = createTemporaryObject(chipsComponent, test).chips
        chips.kinds = ["photo", "video"]
        waitForRendering(chips)
        const seen = []
        chips.changed.connect(k => { seen.push(k.slice().sort().join(",")); chips.kinds = k })
        const order = ["photo", "video", "audio", "other"]
        for (const kind of order)
            verify(findChild(chips, "chip-" + kind), kind)
        mouseClick(findChild(chips, "chip-photo"))
        mouseClick(findChild(chips, "chip-video"))
        mouseClick(findChild(chips, "chip-audio"))
        mouseClick(findChild(chips, "chip-audio"))
        mouseClick(findChild(chips, "chip-other"))
        compare(seen, ["video", "", "audio", "", "other"])
        // The chips keep their order whatever is chosen.
        const xs = order.map(k => findChild(chips, "chip-" + k).x)
        compare(xs.slice().sort((a, b) => a - b), xs)
        compare(findChild(chips, "chip-other").Accessible.checked, true)
    }

    // The Settings window writes the model's own settings file.
    function test_settingsWriteWhatAFreshReaderReads() {
        const stage = h.stage({})
        const view = createTemporaryObject(settingsComponent, test, { store: stage.settingsStore }).view
        waitForRendering(view)
        const copies = findChild(view, "requiredCopies")
        compare(copies.currentIndex, 1)  // nothing stored: 2 copies
        compare(findChild(view, "includeSidecars").checked, false)
        copies.activated(0)
        compare(stage.storedSetting("requiredCopies"), "1")
        mouseClick(findChild(view, "includeSidecars"))
        compare(stage.storedSetting("includeSidecars"), "true")
        mouseClick(findChild(view, "includeProxies"))
        mouseClick(findChild(view, "includeProxies"))
        compare(stage.storedSetting("includeProxies"), "false")
    }

    // A switch that is off reads as a control: its knob and outline stand 3:1 from the panel as
    // drawn (the tokens hold it in every appearance); on, it takes the accent.
    function luminance(c) {
        const lin = v => v <= 0.04045 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4)
        return 0.2126 * lin(c.r) + 0.7152 * lin(c.g) + 0.0722 * lin(c.b)
    }
    function contrast(a, b) {
        const la = luminance(a), lb = luminance(b)
        return (Math.max(la, lb) + 0.05) / (Math.min(la, lb) + 0.05)
    }
    function test_switchOffStandsOut() {
        const stage = h.stage({})
        const window = createTemporaryObject(settingsComponent, test, { store: stage.settingsStore })
        waitForRendering(window.view)
        const toggle = findChild(window.view, "includeProxies")
        compare(toggle.checked, false)
        const knob = findChild(toggle, "switchKnob"), track = findChild(toggle, "switchTrack")
        const image = grabImage(window.contentItem)
        const at = (item, x, y) => { const p = item.mapToItem(window.contentItem, x, y); return image.pixel(Math.round(p.x), Math.round(p.y)) }
        const panel = at(track, -6, track.height / 2)
        const knobColour = at(knob, knob.width / 2, knob.height / 2)
        verify(contrast(knobColour, panel) >= 3, "knob " + contrast(knobColour, panel).toFixed(2) + ":1")
        verify(contrast(track.border.color, panel) >= 3, "outline " + contrast(track.border.color, panel).toFixed(2) + ":1")
        mouseClick(toggle)
        compare(toggle.checked, true)
        compare(track.color, Theme.selection)
    }

    function test_settingsShowTheRowTheModelReads_data() {
        return [
            { tag: "zero", stored: "0", row: 1 },
            { tag: "negative", stored: "-4", row: 1 },
            { tag: "not a number", stored: "many", row: 1 },
            { tag: "one", stored: "1", row: 0 },
            { tag: "three", stored: "3", row: 2 },
            { tag: "above three", stored: "9", row: 2 },
        ]
    }
    function test_settingsShowTheRowTheModelReads(data) {
        const stage = h.stage({ settingsText: "[General]\nrequiredCopies=" + data.stored + "\n" })
        const view = createTemporaryObject(settingsComponent, test, { store: stage.settingsStore }).view
        compare(findChild(view, "requiredCopies").currentIndex, data.row)
    }
}

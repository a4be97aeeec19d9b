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

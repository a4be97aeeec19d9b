import QtQuick
import QtQuick.Window
import QtTest
import Halvetrop
import Halvetrop.Native
import HalvetropTest

// The keyboard over the real model: Return and Space press the focused button, the focus ring
// follows the keys, the browser's selection moves with the arrows and goes with Escape, and a
// right click leaves it where it was.
TestCase {
    id: test
    name: "Keys"
    when: windowShown
    width: 1100
    height: 700
    Harness { id: h; testCase: test }
    function cleanupTestCase() { h.release() }

    Component {
        id: filesView
        Window {
            property alias view: content
            property alias model: content.model
            width: 1100; height: 700; visible: true
            FilesView { id: content; anchors.fill: parent }
        }
    }
    function browser(grid) {
        const s = h.stage({ saved: ["browser"] })
        verify(s.openSaved(0))
        s.model.mode = Phase.files
        s.model.gridView = grid
        const w = createTemporaryObject(filesView, test, { model: s.model })
        waitForRendering(w.contentItem)
        return { model: s.model, view: w.view, window: w }
    }
    function failed() {
        return h.open({ volumes: h.cardVolumes }, (s, m) => {
            h.choose(s, m, true)
            m.check("")
            s.failCheck("x")
        })
    }

    // On the failure screen, whichever way "Back" is pressed from the keyboard, it goes back.
    function test_returnPressesTheFocusedButton_data() {
        return [ { tag: "Return", key: Qt.Key_Return }, { tag: "Enter", key: Qt.Key_Enter },
                 { tag: "Space", key: Qt.Key_Space } ]
    }
    function test_returnPressesTheFocusedButton(data) {
        const w = failed()
        const back = h.find(w.window.contentItem, "back")
        back.forceActiveFocus(Qt.TabFocusReason)
        verify(back.visualFocus)
        verify(KeyPress.click(w.window, data.key))
        compare(w.model.phase, Phase.setup)
        compare(w.stage.checkCount(), 1)
    }

    // A shoot row is a Tab stop of its own: Return opens its files, not the screen's copy button.
    function test_returnOpensAFocusedShoot() {
        const w = h.open({ saved: ["missing"] }, (s, m) => verify(s.openSaved(0)))
        const row = h.findAll(w.window.contentItem, "shootRow").filter(r => r.visible && r.copyable > 0)[0]
        verify(row !== undefined, "a shoot with files to copy")
        const shoot = row.groupID
        row.forceActiveFocus(Qt.TabFocusReason)
        tryCompare(w.window.focusRing, "parent", row, hangDetectorMs)
        verify(KeyPress.click(w.window, Qt.Key_Return))
        verify(!w.model.hasCopyRequest)
        compare(w.model.mode, Phase.files)
        compare(w.model.groupFilter, shoot)
    }

    // Return in the browser's search field presses nothing: not the screen's copy button, and
    // the field is no button.
    function test_returnInATextFieldPressesNothing() {
        const w = h.open({ saved: ["missing"] }, (s, m) => verify(s.openSaved(0)))
        w.model.mode = Phase.files
        waitForRendering(w.window.contentItem)
        const search = h.find(w.window.contentItem, "searchField")
        search.forceActiveFocus(Qt.TabFocusReason)
        verify(KeyPress.click(w.window, Qt.Key_Return))
        verify(!w.model.hasCopyRequest)
        compare(w.model.phase, Phase.results)
    }

    // The ring goes round the control the keys reached by Tab, outside its edge in the ring's
    // colour; a click leaves none; inside a selected row it sits inside in the selection's ink.
    function test_focusRingFollowsTheKeys() {
        const w = h.open({ saved: ["browser"] }, (s, m) => verify(s.openSaved(0)))
        const r = w.window.focusRing
        verify(r !== null)
        const recheck = h.find(w.window.header, "toolRecheck")
        recheck.forceActiveFocus(Qt.TabFocusReason)
        tryCompare(r, "parent", recheck, hangDetectorMs)
        verify(r.visible)
        compare(r.border.color, Theme.focusRing)
        verify(r.width > recheck.width && r.height > recheck.height, "outside the control")
        const exportButton = h.find(w.window.header, "toolExport")
        exportButton.forceActiveFocus(Qt.MouseFocusReason)
        verify(!exportButton.visualFocus)
        verify(!r.visible, "no ring after a click")

        w.model.mode = Phase.files
        waitForRendering(w.window.contentItem)
        // A file with a copy, selected: its reveal button rings inside the accent.
        let row = -1
        for (let i = 0; i < w.model.files.count && row < 0; ++i)
            if (w.model.files.inspect(w.model.files.idAt(i)).copies.length > 0)
                row = i
        verify(row >= 0)
        w.model.selectedFileID = w.model.files.idAt(row)
        waitForRendering(w.window.contentItem)
        const selected = h.findAll(w.window.contentItem, "fileRow").filter(r => r.selected)[0]
        verify(selected !== undefined, "the selected row is drawn")
        const reveal = h.find(selected, "revealCopy")
        verify(reveal !== null && reveal.visible, "the selected row's reveal button")
        reveal.forceActiveFocus(Qt.TabFocusReason)
        tryCompare(r, "parent", reveal, hangDetectorMs)
        verify(r.inside)
        compare(r.border.color, Theme.selectionText)
        compare(r.border.color, Look.control("selection", "normal").text)
        verify(r.width < reveal.width, "inside the control")
    }

    // A tooltip goes when a dialog takes the keys, and stays away when it closes: the pointer has
    // not moved, but what lies under it may have.
    function test_tooltipGoesWithADialog() {
        const w = h.open({ saved: ["missing"] }, (s, m) => verify(s.openSaved(0)))
        const button = h.find(w.window.header, "toolExport")
        // The tooltip is made when it is first wanted.
        verify(!h.find(button, "help"))
        mouseMove(button, button.width / 2, button.height / 2)
        tryVerify(() => h.find(button, "help") !== null, hangDetectorMs)
        const tip = h.find(button, "help")
        tryCompare(tip, "visible", true, hangDetectorMs)
        w.model.requestCopyAllMissing()
        tryCompare(w.model, "hasCopyRequest", true, hangDetectorMs)
        tryCompare(tip, "visible", false, hangDetectorMs)
        const sheet = h.find(w.window.contentItem, "copySheet")
        tryCompare(sheet, "opened", true, hangDetectorMs)
        w.model.clearCopyRequest()
        // Once the dialog has gone and handed the keys back, the tooltip is not armed to come back.
        tryCompare(sheet, "visible", false, hangDetectorMs)
        verify(!tip.armed && !tip.visible, "not back before the pointer comes again")
        mouseMove(w.window.contentItem, 5, w.window.height - 5)
        mouseMove(button, button.width / 2, button.height / 2)
        tryCompare(tip, "visible", true, hangDetectorMs)
    }

    // Up and Down walk the table's rows, Page and Home and End jump, Escape clears; with nothing
    // selected Up takes the last row.
    function test_tableArrows() {
        const b = browser(false)
        const m = b.model
        const list = h.find(b.view, "fileTableList")
        list.forceActiveFocus()
        const last = m.files.count - 1
        const steps = [
            [Qt.Key_Down, 0], [Qt.Key_Down, 1], [Qt.Key_Down, 2], [Qt.Key_Up, 1],
            [Qt.Key_End, last], [Qt.Key_Down, last], [Qt.Key_Home, 0], [Qt.Key_Up, 0],
            [Qt.Key_PageDown, last], [Qt.Key_Escape, -1], [Qt.Key_Up, last],
        ]
        for (const [key, row] of steps) {
            keyClick(key)
            compare(m.selectedFileID, row < 0 ? -1 : m.files.idAt(row), "key " + key + " to row " + row)
        }
        // Space still previews the selection the keys chose.
        keyClick(Qt.Key_Space)
        verify(m.previewOpen)
        keyClick(Qt.Key_Space)
    }

    // In the grid Left and Right stay on their line, Up and Down move by a line.
    function test_gridArrows() {
        const b = browser(true)
        const m = b.model
        const grid = h.find(b.view, "fileGrid")
        grid.forceActiveFocus()
        const columns = grid.columns
        verify(columns >= 2 && columns < m.files.count, "a grid of several lines")
        const steps = [
            [Qt.Key_Right, 0], [Qt.Key_Right, 1], [Qt.Key_Down, 1 + columns], [Qt.Key_Left, columns],
            [Qt.Key_Left, columns], [Qt.Key_Up, 0], [Qt.Key_Up, 0], [Qt.Key_Escape, -1],
        ]
        for (const [key, index] of steps) {
            keyClick(key)
            compare(m.selectedFileID, index < 0 ? -1 : m.files.idAt(index), "key " + key + " to tile " + index)
        }
    }

    // A right click opens the menu of the file under the pointer and leaves the selection alone.
    function test_rightClickLeavesTheSelection_data() {
        return [ { tag: "table", grid: false }, { tag: "grid", grid: true } ]
    }
    function test_rightClickLeavesTheSelection(data) {
        const b = browser(data.grid)
        const m = b.model
        const items = h.findAll(b.view, data.grid ? "fileTile" : "fileRow").filter(i => i.visible)
        verify(items.length > 3)
        const byId = id => items.filter(i => i.fileId === id)[0]
        mouseClick(byId(m.files.idAt(0)))
        compare(m.selectedFileID, m.files.idAt(0))
        const other = byId(m.files.idAt(2))
        mouseClick(other, other.width / 2, other.height / 2, Qt.RightButton)
        compare(m.selectedFileID, m.files.idAt(0))
        const menu = h.find(b.view, "fileMenu")
        tryCompare(menu, "opened", true, hangDetectorMs)
        compare(menu.ids, [m.files.idAt(2)])
        menu.close()
    }
}

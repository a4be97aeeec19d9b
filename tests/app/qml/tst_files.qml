import QtQuick
import QtQuick.Window
import QtTest
import QtMultimedia
import Halvetrop
import Halvetrop.Native
import HalvetropTest

// The file browser and the inspector over the real model's rows, on a saved check of a dozen
// files of every status whose card files and copies exist.
TestCase {
    id: test
    name: "Files"
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
    Component {
        id: inspectorView
        Window {
            property alias view: content
            property alias model: content.model
            width: 320; height: 700; visible: true
            InspectorView { id: content; anchors.fill: parent }
        }
    }
    Component {
        id: resultsView
        Window {
            property alias view: content
            property alias model: content.model
            width: 1100; height: 700; visible: true
            ResultsView { id: content; anchors.fill: parent }
        }
    }

    // The browser's saved check opened from the history.
    property var stage: null
    function model(fixture) {
        stage = h.stage({ saved: [fixture || "browser"] })
        verify(stage.openSaved(0))
        stage.model.mode = Phase.files
        return stage.model
    }
    // A button of the preview window, pressed until it took (the window lays its row out only
    // once it is drawn, which may come after the first press).
    function press(window, name, took) {
        const button = h.find(window.contentItem, name)
        tryVerify(() => { mouseClick(button); return took() }, hangDetectorMs, name)
    }
    function open(component, m) {
        const w = createTemporaryObject(component, test, { model: m })
        waitForRendering(w.contentItem)
        return w.view
    }
    // The card file of a row's id, as the file manager is asked to show it.
    function cardPath(m, id) { return stage.root + "/media/ana/EOS_DIGITAL/" + (id < 8 ? "DCIM/100MSDCF/" : "") + name(m, id) }
    function name(m, id) { return m.files.inspect(id).name }

    function test_tableSelectionAndSpace() {
        const m = model()
        const v = open(filesView, m)
        keyClick(Qt.Key_Space)
        verify(!m.previewOpen, "nothing selected lets Space through")
        const list = h.find(v, "fileTableList")
        mouseClick(list, 100, 24 * 2 + 12)
        compare(m.selectedFileID, m.files.idAt(2))
        // The selected row's words are drawn in the selection's text colour, not the page's.
        const selectedRow = h.findAll(list, "fileRow").filter(r => r.selected)[0]
        compare(selectedRow.ink, Look.control("selection", "normal").text)
        verify(selectedRow.ink !== Theme.primary)
        keyClick(Qt.Key_Space)
        verify(m.previewOpen)
        keyClick(Qt.Key_Space)
        verify(!m.previewOpen)
        // Sorting is the browser's: the rows follow its header.
        mouseClick(h.find(v, "sortBy_Size"))
        compare(m.files.sortColumn, "size")
        compare(m.files.idAt(0), 0)
        mouseClick(h.find(v, "sortBy_Size"))
        verify(!m.files.sortAscending)
        compare(m.files.idAt(0), 11)
    }

    // The preview pages from the card file to its copies; a video stops whenever it pages on
    // or the preview closes, so no card file stays open.
    function test_previewPagesAndUnloads() {
        const m = model()
        const v = open(resultsView, m)
        const w = h.find(v, "previewWindow")
        verify(!w.visible)
        m.quickLook(8)
        tryCompare(w, "visible", true, hangDetectorMs)
        compare(m.previewUrls.length, 2)
        compare(h.find(w.contentItem, "previewName").text, "DSC0108.MP4")
        const player = h.find(w, "previewPlayer") || w.data.find(o => o.objectName === "previewPlayer")
        press(w, "previewPlay", () => w.started)
        // Drawn in software here, the video plays into the frames painted in the window, which
        // show while the video does.
        const frames = h.find(w.contentItem, "previewFrames")
        compare(w.contentItem.GraphicsInfo.api, GraphicsInfo.Software)
        verify(player.videoOutput === frames)
        verify(frames.visible)
        // The player reads a device the rows opened, not the file's name.
        compare(String(player.source), "")
        verify(player.mediaStatus !== MediaPlayer.NoMedia)
        // Paging lets go of the card's video; the copy shows the same clip on the backup.
        press(w, "previewNext", () => w.index === 1)
        tryCompare(player, "mediaStatus", MediaPlayer.NoMedia, hangDetectorMs)
        verify(!w.started)
        verify(String(m.previewUrls[1]).indexOf("/Photos/2025-03-01/DSC0108.MP4") > 0)
        press(w, "previewPrevious", () => w.index === 0)
        press(w, "previewPlay", () => w.started)
        verify(player.mediaStatus !== MediaPlayer.NoMedia)
        // Closed by the model (a second Space, an eject), the player lets go of the file.
        m.closePreview()
        tryCompare(w, "visible", false, hangDetectorMs)
        tryCompare(player, "mediaStatus", MediaPlayer.NoMedia, hangDetectorMs)
        verify(!w.started)
        // A still picture and its copy come decoded by the helper.
        m.quickLook(0)
        tryCompare(w, "visible", true, hangDetectorMs)
        verify(String(h.find(w.contentItem, "previewImage").source).startsWith("image://preview/"))
        press(w, "previewNext", () => w.index === 1)
        compare(h.find(w.contentItem, "previewName").text, "DSC0100.JPG")
        m.closePreview()
    }

    // On its first opening the preview lays out its header whole: the name, where the shown copy
    // is, and the two page buttons, none over another.
    function test_previewHeaderOnFirstOpening() {
        const m = model()
        const v = open(resultsView, m)
        const w = h.find(v, "previewWindow")
        m.quickLook(0)
        tryCompare(w, "visible", true, hangDetectorMs)
        waitForRendering(w.contentItem)
        const place = h.find(w.contentItem, "previewPlace"), previous = h.find(w.contentItem, "previewPrevious")
        const name = h.find(w.contentItem, "previewName")
        compare(place.text, "On the card")
        const right = i => i.mapToItem(w.contentItem, i.width, 0).x
        const left = i => i.mapToItem(w.contentItem, 0, 0).x
        verify(place.contentWidth <= place.width + 0.5, "the place cut")
        verify(right(place) <= left(previous), "the place under ‹: " + right(place) + " > " + left(previous))
        verify(right(name) <= left(place), "the name under the place")
        m.closePreview()
    }

    // A small text file shows its words, read through the rows, in place of the file card.
    function test_previewShowsText() {
        const m = model()
        const w = h.find(open(resultsView, m), "previewWindow")
        m.quickLook(5)
        const text = h.find(w.contentItem, "previewText")
        tryCompare(text, "text", "x", hangDetectorMs)
        verify(text.visible)
        m.closePreview()
    }

    // The keys reach the preview window itself, as they do once it is the key window.
    function test_previewKeysClose_data() {
        return [{ tag: "Space", key: Qt.Key_Space }, { tag: "Escape", key: Qt.Key_Escape }]
    }
    function test_previewKeysClose(data) {
        const m = model()
        const v = open(resultsView, m)
        const w = h.find(v, "previewWindow")
        m.quickLook(1)
        tryCompare(w, "visible", true, hangDetectorMs)
        verify(KeyPress.click(w, data.key), "the preview became the key window")
        verify(!m.previewOpen)
        tryCompare(w, "visible", false, hangDetectorMs)
    }

    // The preview is the results screen's: Preview in the inspector opens it in any mode, and
    // showing the browser later brings nothing up by itself.
    function test_previewFromTheInspectorInEveryMode_data() {
        return [{ tag: "shoots", mode: Phase.shoots }, { tag: "map", mode: Phase.map }, { tag: "files", mode: Phase.files }]
    }
    function test_previewFromTheInspectorInEveryMode(data) {
        const m = model()
        m.mode = data.mode
        m.selectedFileID = 0
        const results = open(resultsView, m)
        const inspector = open(inspectorView, m)
        mouseClick(h.find(inspector, "inspectorPreview"))
        verify(m.previewOpen)
        const preview = h.find(results, "previewWindow")
        verify(preview !== null, "the results screen has the preview")
        tryCompare(preview, "visible", true, hangDetectorMs)
        m.closePreview()
        tryCompare(preview, "visible", false, hangDetectorMs)
        // The browser brings no preview of its own.
        m.mode = Phase.files
        waitForRendering(results)
        compare(h.findEvery(results, "previewWindow").length, 1)
        verify(!preview.visible)
    }

    // A tile's tooltip lies inside the grid, not over the browser's header above it.
    function test_tileTipStaysInTheGrid() {
        const m = model()
        m.gridView = true
        const v = open(filesView, m)
        const grid = h.find(v, "fileGrid")
        const tile = h.findAll(grid, "fileTile").filter(t => t.visible)[0]
        mouseMove(tile, tile.width / 2, tile.height / 2)
        tryVerify(() => h.find(tile, "tileTip") !== null, hangDetectorMs)
        const tip = h.find(tile, "tileTip")
        tryCompare(tip, "opened", true, hangDetectorMs)
        const top = tile.mapToItem(grid, tip.x, tip.y).y
        verify(top >= 0, "the tooltip starts " + (-top) + " above the grid")
        mouseMove(grid, 1, grid.height - 1)
    }

    function test_gridSelectionAndSpace() {
        const m = model()
        m.gridView = true
        const v = open(filesView, m)
        const grid = h.find(v, "fileGrid")
        verify(grid)
        mouseClick(grid, 20 + 150 + 75, 12 + 60)
        compare(m.selectedFileID, m.files.idAt(1))
        keyClick(Qt.Key_Space)
        verify(m.previewOpen)
        keyClick(Qt.Key_Space)
        mouseDoubleClickSequence(grid, 20 + 75, 12 + 60)
        compare(m.selectedFileID, m.files.idAt(0))
        verify(m.previewOpen)
        m.closePreview()
    }

    function test_chipsClearTheirFilters() {
        const m = model()
        m.groupFilter = "DCIM/100MSDCF|2025-03-01|ILCE-7M4"
        m.folderFilter = "DCIM/100MSDCF"
        const v = open(filesView, m)
        const shoot = h.find(v, "shootChip"), folder = h.find(v, "folderChip")
        verify(shoot.visible && folder.visible)
        compare(shoot.text, m.shootChipText)
        verify(m.shootChipText.length > 0)
        compare(folder.text, "DCIM/100MSDCF")
        compare(m.visibleFileCount, 3)
        mouseClick(h.find(shoot, "clearChip"))
        compare(m.groupFilter, "")
        compare(m.visibleFileCount, 8)
        mouseClick(h.find(folder, "clearChip"))
        verify(!m.hasFolderFilter)
        compare(m.visibleFileCount, 12)
        verify(!shoot.visible && !folder.visible)
        verify(h.find(v, "statusFilter").visible)
        const cardOnly = open(filesView, model("browser-card-only"))
        verify(!h.find(cardOnly, "statusFilter").visible)
    }

    function test_inspectorActions_data() {
        return [
            { tag: "missing", id: 2, copyable: true, cards: 0, note: "No copy found." },
            { tag: "verified with two copies", id: 0, copyable: false, cards: 2, note: "" },
        ]
    }
    function test_inspectorActions(data) {
        const m = model()
        m.selectedFileID = data.id
        const v = open(inspectorView, m)
        compare(h.find(v, "inspectorNote").text, data.note)
        compare(h.findAll(v, "copyCard").length, data.cards)
        mouseClick(h.find(v, "inspectorShowOnCard"))
        compare(stage.revealed(), [[cardPath(m, data.id)]])
        compare(h.find(v, "inspectorShowOnDrive").visible, data.cards > 0)
        compare(h.find(v, "inspectorCopy").visible, data.copyable)
        // Each action names itself with its symbol too.
        verify(String(h.find(v, "inspectorShowOnDrive").icon.source).indexOf("symbol/externaldrive.fill?") > 0)
        verify(String(h.find(v, "inspectorCopy").icon.source).indexOf("symbol/arrow.down.doc?") > 0)
        if (data.cards > 0) {
            mouseClick(h.find(v, "inspectorShowOnDrive"))
            compare(stage.revealed()[1], [stage.root + "/media/ana/Archive/Photos/2025-03-01/" + name(m, data.id)])
        }
        if (data.copyable) {
            mouseClick(h.find(v, "inspectorCopy"))
            verify(m.hasCopyRequest)
            compare(m.copyRequestTitle, "Copy " + name(m, data.id))
            verify(stage.waitForPlan())
            compare(m.copySheet.planCount, 1)
            m.clearCopyRequest()
        }
        m.selectedFileID = -1
        verify(h.find(v, "inspectorEmpty").visible)
    }

    // The menu's items say where each shows the file, and in what, in one pattern; the copy
    // title counts the files in words that agree.
    function test_fileMenuWords_data() {
        return [
            { tag: "a verified file", ids: [0], drive: true, copy: "" },
            { tag: "a missing file", ids: [2], drive: false, copy: "Copy " },
            { tag: "two files, one missing", ids: [0, 2], drive: true, copy: "Copy 2 files" },
        ]
    }
    function test_fileMenuWords(data) {
        const m = model()
        const v = open(filesView, m)
        const loader = h.find(v, "fileMenuLoader")
        loader.openFor(data.ids)
        const menu = loader.item
        tryCompare(menu, "opened", true, hangDetectorMs)
        const card = h.find(menu.contentItem, "menuShowOnCard")
        const drive = h.find(menu.contentItem, "menuShowOnDrive")
        compare(card.text, "Show on Card in Files")
        compare(drive.text, "Show on Drive in Files")
        compare(drive.visible, data.drive)
        compare(h.find(menu.contentItem, "menuCopy").visible, data.copy !== "")
        if (data.copy !== "")
            verify(menu.facts.copyTitle.startsWith(data.copy), menu.facts.copyTitle)
        menu.close()
    }
}

import QtQuick
import QtQuick.Window
import QtTest
import QtMultimedia
import Halvetrop
import HalvetropFake
import HalvetropFake.Native

TestCase {
    id: test
    name: "Files"
    when: windowShown
    width: 1100
    height: 700
    Harness { id: h; testCase: test }

    Component { id: fakeModel; FakeModel {} }
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

    function model(setUp) {
        const m = createTemporaryObject(fakeModel, test)
        m.files = Fixtures.files(false)
        m.hasReport = true
        m.phase = Phase.results
        if (setUp)
            setUp(m)
        return m
    }
    function last(m) { return m.calls[m.calls.length - 1] }
    function open(component, m) {
        const w = createTemporaryObject(component, test, { model: m })
        waitForRendering(w.contentItem)
        return w.view
    }

    function test_tableSelectionAndSpace() {
        const m = model()
        const v = open(filesView, m)
        keyClick(Qt.Key_Space)
        compare(m.called("quickLook"), 0, "nothing selected lets Space through")
        const list = h.find(v, "fileTableList")
        mouseClick(list, 100, 24 * 2 + 12)
        compare(m.selectedFileID, m.files.idAt(2))
        keyClick(Qt.Key_Space)
        compare(last(m), "quickLook(" + m.selectedFileID + ")")
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

    function test_previewPagesAndUnloads() {
        const card = Fixtures.makeFile("DSC0001.MP4"), copy = Fixtures.makeFile("copy.JPG")
        const m = model(m => m.previewUrls = ["file://" + card, "file://" + copy])
        const v = open(filesView, m)
        const w = h.find(v, "previewWindow")
        verify(!w.visible)
        m.previewOpen = true
        tryCompare(w, "visible", true)
        compare(h.find(w.contentItem, "previewName").text, "DSC0001.MP4")
        mouseClick(h.find(w.contentItem, "previewPlay"))
        const player = h.find(w, "previewPlayer") || w.data.find(o => o.objectName === "previewPlayer")
        // The player reads a device the rows opened, not the file's name.
        verify(w.started)
        compare(String(player.source), "")
        verify(player.mediaStatus !== MediaPlayer.NoMedia)
        // Paging stops the card's video; the copy is a still picture from the helper.
        mouseClick(h.find(w.contentItem, "previewNext"))
        tryCompare(player, "mediaStatus", MediaPlayer.NoMedia)
        compare(h.find(w.contentItem, "previewName").text, "copy.JPG")
        verify(String(h.find(w.contentItem, "previewImage").source).startsWith("image://preview/"))
        mouseClick(h.find(w.contentItem, "previewPrevious"))
        mouseClick(h.find(w.contentItem, "previewPlay"))
        verify(w.started && player.mediaStatus !== MediaPlayer.NoMedia)
        // Closed by the model (a second Space, an eject), the player lets go of the file.
        m.closePreview()
        tryCompare(w, "visible", false)
        tryCompare(player, "mediaStatus", MediaPlayer.NoMedia)
        verify(!w.started)
    }

    // A small text file shows its words, read through the rows, in place of the file card.
    function test_previewShowsText() {
        const m = model(m => m.previewUrls = ["file://" + Fixtures.makeFile("notes.txt")])
        const w = h.find(open(filesView, m), "previewWindow")
        m.previewOpen = true
        const text = h.find(w.contentItem, "previewText")
        tryCompare(text, "text", "x")
        verify(text.visible)
    }

    // The keys reach the preview window itself, as they do once it is the key window.
    function test_previewKeysClose_data() {
        return [{ tag: "Space", key: Qt.Key_Space }, { tag: "Escape", key: Qt.Key_Escape }]
    }
    function test_previewKeysClose(data) {
        const m = model(m => m.previewUrls = ["file://" + Fixtures.makeFile("DSC0002.JPG")])
        const v = open(filesView, m)
        const w = h.find(v, "previewWindow")
        m.previewOpen = true
        tryCompare(w, "visible", true)
        verify(KeyPress.click(w, data.key), "the preview became the key window")
        compare(last(m), "closePreview()")
        tryCompare(w, "visible", false)
    }

    function test_gridSelectionAndSpace() {
        const m = model(m => m.gridView = true)
        const v = open(filesView, m)
        const grid = h.find(v, "fileGrid")
        verify(grid)
        mouseClick(grid, 20 + 150 + 75, 12 + 60)
        compare(m.selectedFileID, m.files.idAt(1))
        keyClick(Qt.Key_Space)
        compare(last(m), "quickLook(" + m.selectedFileID + ")")
        mouseDoubleClickSequence(grid, 20 + 75, 12 + 60)
        compare(m.selectedFileID, m.files.idAt(0))
    }

    function test_chipsClearTheirFilters() {
        const m = model(m => { m.groupFilter = "DCIM|2025-03-01|Z9"; m.shootChipText = "Mar 1 · 100MSDCF"; m.hasFolderFilter = true })
        const v = open(filesView, m)
        const shoot = h.find(v, "shootChip"), folder = h.find(v, "folderChip")
        verify(shoot.visible && folder.visible)
        compare(folder.text, "", "the card's top folder")
        mouseClick(h.find(shoot, "clearChip"))
        compare(m.groupFilter, "")
        mouseClick(h.find(folder, "clearChip"))
        compare(last(m), "clearFolderFilter()")
        verify(!shoot.visible && !folder.visible)
        m.reportCardOnly = true
        verify(!h.find(v, "statusFilter").visible)
    }

    function test_inspectorActions_data() {
        return [
            { tag: "missing", id: 2, copyable: [2], drive: false, copy: true, note: "No copy found." },
            { tag: "verified with two copies", id: 0, copyable: [], drive: true, copy: false, note: "", cards: 2 },
        ]
    }
    function test_inspectorActions(data) {
        const m = model(m => { m.selectedFileID = data.id; m.copyable = data.copyable })
        const v = open(inspectorView, m)
        compare(h.find(v, "inspectorNote").text, data.note)
        compare(h.findAll(v, "copyCard").length, data.cards || 0)
        mouseClick(h.find(v, "inspectorPreview"))
        compare(last(m), "quickLook(" + data.id + ")")
        mouseClick(h.find(v, "inspectorShowOnCard"))
        compare(last(m), "revealFiles(" + data.id + ", false)")
        compare(h.find(v, "inspectorShowOnDrive").visible, data.drive)
        compare(h.find(v, "inspectorCopy").visible, data.copy)
        if (data.copy) {
            mouseClick(h.find(v, "inspectorCopy"))
            compare(last(m), "requestCopy(1, Copy DSC0102.MP4)")
            compare(m.lastCopyIDs[0], data.id)
        }
        if (data.drive) {
            mouseClick(h.find(v, "inspectorShowOnDrive"))
            compare(last(m), "revealFiles(" + data.id + ", true)")
        }
        m.selectedFileID = -1
        verify(h.find(v, "inspectorEmpty").visible)
    }
}

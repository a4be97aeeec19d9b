import QtQuick
import QtTest
import Halvetrop
import Halvetrop.Native
import HalvetropFake.Native

TestCase {
    id: test
    name: "Sidebar"
    when: windowShown
    width: 1240
    height: 800
    Harness { id: h; testCase: test }
    function cleanupTestCase() { h.release() }

    function test_historyLimits() {
        const w = h.open(13)
        const root = w.window.contentItem
        compare(h.visibleCount(h.findAll(root, "historyRow")), 12)
        compare(h.visibleCount(h.findAll(root, "recentTile")), 8)
        verify(h.find(root, "recentHeader").visible)
    }

    function test_noHistoryNoSection() {
        const w = h.open(0)
        const root = w.window.contentItem
        verify(!h.find(root, "recentHeader").visible)
        verify(h.find(root, "chooseCard").visible)
        compare(h.find(root, "addBackup").text, "Add backup drive…")
        w.model.destinations = ["/media/a/B"]
        compare(h.find(root, "addBackup").text, "Add another backup…")
    }

    function test_currentRowFollowsShownResult() {
        const w = h.open(5)
        const rows = h.findAll(w.window.contentItem, "historyRow")
        Fixtures.showSaved(w.history, 2, true)
        compare(rows.map(r => r.current), [false, false, true, false, false])
        Fixtures.showSaved(w.history, 2, false)
        compare(rows.map(r => r.current), [false, false, false, false, false])
        mouseClick(rows[3])
        compare(w.model.calls[w.model.calls.length - 1], "showHistory(saved-3)")
    }

    function test_rowsShowNamesAsPlainText() {
        const w = h.open(3, m => { m.source = "/media/a/<b>CARD"; m.destinations = ["/home/a/<i>Photos"] })
        const root = w.window.contentItem
        const names = h.findAll(root, "locationName")
        verify(names.length >= 2)
        for (const n of names)
            compare(n.textFormat, Text.PlainText)
        compare(h.find(h.find(root, "cardRow"), "locationName").text, "<b>CARD")
        compare(h.find(h.find(root, "cardRow"), "locationDetail").text, "/media/a")
        compare(h.find(h.findAll(root, "backupRow")[0], "locationDetail").text, "/home/a")
        const tip = h.find(h.find(root, "cardRow"), "pathTip")
        compare(tip.text, "/media/a/<b>CARD")
        compare(tip.contentItem.textFormat, Text.PlainText)
    }

    function test_dropSplitsFoldersAndIgnoresTheRest() {
        const a = Fixtures.makeFolder("drop/a"), b = Fixtures.makeFolder("drop/b"), f = Fixtures.makeFile("drop/file.jpg")
        const w = h.open(0)
        const sidebar = h.find(w.window.contentItem, "sidebarDrop").parent
        sidebar.drop([Qt.resolvedUrl("file://" + a), Qt.resolvedUrl("file://" + f), Qt.resolvedUrl("file://" + b),
                      Qt.resolvedUrl("https://example.com/x")])
        compare(w.model.calls, ["setSourceUrl(file://" + a + ")", "addBackupUrls(file://" + b + ")"])
        compare(Fixtures.lastNotice, "warn:Only folders can be dropped here; 2 items were ignored.")
        // With a card chosen every folder is a backup.
        sidebar.drop([Qt.resolvedUrl("file://" + a), Qt.resolvedUrl("file://" + b)])
        compare(w.model.calls[w.model.calls.length - 1], "addBackupUrls(file://" + a + " file://" + b + ")")
    }

    function test_version() {
        const w = h.open(0)
        verify(/^Version (\d|–)/.test(h.find(w.window.contentItem, "version").text))
    }
}

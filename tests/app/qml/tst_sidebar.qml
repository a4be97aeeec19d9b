import QtQuick
import QtTest
import Halvetrop
import Halvetrop.Native

// The sidebar over the real model and its history file.
TestCase {
    id: test
    name: "Sidebar"
    when: windowShown
    width: 1240
    height: 800
    Harness { id: h; testCase: test }
    function cleanupTestCase() { h.release() }

    function test_historyLimits() {
        const w = h.open({ savedChecks: 13 })
        const root = w.window.contentItem
        compare(w.model.historyCount, 13)
        compare(h.visibleCount(h.findAll(root, "historyRow")), 12)
        compare(h.visibleCount(h.findAll(root, "recentTile")), 8)
        verify(h.find(root, "recentHeader").visible)
    }

    // A recent card's day range and status are never cut, even in the narrowest tile the grid
    // makes: they take a second line.
    function test_tileLinesWrapWhole() {
        const w = h.open({ savedChecks: 4 })
        const tile = h.findAll(w.window.contentItem, "recentTile")[0]
        tile.width = 200
        waitForRendering(w.window.contentItem)
        for (const name of ["tileDays", "tileStatus"]) {
            const line = h.find(tile, name)
            verify(line.text.length > 0, name)
            verify(!line.truncated, name + " cut: " + line.text)
            verify(line.mapToItem(tile, line.contentWidth, 0).x <= tile.width, name + " past the tile")
        }
        compare(h.find(tile, "tileDays").text, "Mar 1, 2025 – Mar 4, 2025")
    }

    // Offered cards: a long name gives way, never the Check, and the whole row fits the sidebar at
    // its narrowest; short names, Latin or not, and names that start alike show whole.
    function test_offeredCardRowFits_data() {
        const longName = ["EOS_DIGITAL of the best man, borrowed for the evening"]
        const shortNames = ["EOS_DIGI", "NIKON6", "CARD_A1", "CARD_B2", "CARD_C3", "ΚΑΡΤΑ", "Карта 64", "X"]
        return [
            { tag: "a long name, start screen, 1040", width: 1040, saved: [], names: longName },
            { tag: "a long name, results with the inspector, 1132", width: 1132, saved: ["missing"], names: longName },
            { tag: "short names, start screen, 1040", width: 1040, saved: [], names: shortNames },
            { tag: "short names, results with the inspector, 1132", width: 1132, saved: ["missing"], names: shortNames },
            { tag: "short names, 1240", width: 1240, saved: [], names: shortNames },
        ]
    }
    function test_offeredCardRowFits(data) {
        const volumes = data.names.map((name, i) => ({
            path: "media/a/card" + i, name: name, fileSystem: "vfat", removable: true, card: true,
            totalBytes: 63.9e9 - i * 1e9, freeBytes: 12e9 }))
        const w = h.open({ saved: data.saved, volumes: volumes }, (s, m) => {
            m.addBackupUrls(["file://" + s.folder("media/a/Archive")])
            if (data.saved.length > 0) {
                m.showInspector = true
                verify(s.openSaved(0))
            }
        })
        w.window.width = data.width
        waitForRendering(w.window.contentItem)
        const bar = h.find(w.window.contentItem, "sidebar")
        const rows = h.findAll(bar, "suggestedCard").filter(r => r.visible)
        compare(rows.length, data.names.length, "every card is on offer")
        for (const row of rows) {
            const action = h.find(row, "suggestedAction")
            compare(action.text, "Check")
            const right = action.mapToItem(bar, action.width, 0).x
            verify(right <= bar.width - Theme.s, "Check ends at " + right + " of " + bar.width)
            verify(action.width >= action.implicitWidth, "Check cut")
            const name = h.find(row, "suggestedName")
            if (data.names.length === 1)
                verify(name.truncated, "the name gives way")
            else
                verify(!name.truncated && name.width >= name.implicitWidth,
                       name.text + " cut to " + name.width + " of " + name.implicitWidth)
        }
    }

    function test_noHistoryNoSection() {
        const w = h.open({})
        const root = w.window.contentItem
        verify(!h.find(root, "recentHeader").visible)
        verify(h.find(root, "chooseCard").visible)
        compare(h.find(root, "addBackup").text, "Add backup drive…")
        w.model.addBackupUrls(["file://" + w.stage.folder("media/a/B")])
        compare(h.find(root, "addBackup").text, "Add another backup…")
    }

    function test_currentRowFollowsShownResult() {
        const w = h.open({ savedChecks: 5 })
        const rows = h.findAll(w.window.contentItem, "historyRow")
        w.model.showHistory(w.stage.savedID(2))
        verify(w.stage.settle())
        compare(rows.map(r => r.current), [false, false, true, false, false])
        w.model.resetResults()
        compare(rows.map(r => r.current), [false, false, false, false, false])
        mouseClick(rows[3])
        tryCompare(w.model, "phase", Phase.results, hangDetectorMs)
        compare(w.model.sourceName, "CARD 4")
        compare(rows.map(r => r.current), [false, false, false, true, false])
    }

    // Names of folders and volumes keep their markup visible: the rows show data as plain text.
    function test_rowsShowNamesAsPlainText() {
        const w = h.open({ savedChecks: 3, volumes: [{ path: "media/a/<b>CARD", name: "<i>VOL", fileSystem: "exfat",
                                                       removable: true, card: true, totalBytes: 64e9, freeBytes: 12e9 }] },
                         (s, m) => {
            m.setSourceUrl("file://" + s.folder("media/a/<b>CARD"))
            m.addBackupUrls(["file://" + s.folder("home/a/<i>Photos")])
        })
        const root = w.window.contentItem
        const rows = [h.find(root, "cardRow"), h.findAll(root, "backupRow")[0]]
        for (const row of rows)
            for (const name of ["locationName", "locationDetailHead", "locationFacts"])
                compare(h.find(row, name).textFormat, Text.PlainText)
        compare(h.find(rows[1], "locationName").text, "<i>Photos")
        // The volume's facts come when the model has described it; the card, a volume, is then
        // called by its name, as the header and the saved checks call it.
        tryCompare(h.find(rows[0], "locationDetail"), "text", "<i>VOL · 12 GB free", hangDetectorMs)
        compare(h.find(rows[0], "locationName").text, "<i>VOL")
        tryCompare(h.find(rows[1], "locationDetail"), "text", "System · 31 GB free", hangDetectorMs)
        const tip = h.find(rows[0], "pathTip")
        compare(tip.text, w.stage.root + "/media/a/<b>CARD")
        compare(tip.contentItem.textFormat, Text.PlainText)
    }

    // The first folder dropped is the card when none is chosen, the rest backups; anything but a
    // local folder is left out with a notice. The card is never also a backup.
    function test_dropSplitsFoldersAndIgnoresTheRest() {
        const w = h.open({})
        const s = w.stage
        const a = s.folder("drop/a"), b = s.folder("drop/b"), c = s.folder("drop/c"), f = s.file("drop/file.jpg")
        const sidebar = h.find(w.window.contentItem, "sidebarDrop").parent
        sidebar.drop([Qt.resolvedUrl("file://" + a), Qt.resolvedUrl("file://" + f), Qt.resolvedUrl("file://" + b),
                      Qt.resolvedUrl("https://example.com/x")])
        compare(w.model.source, a)
        compare(w.model.destinations, [b])
        compare(w.model.noticeText, "Only folders can be dropped here; 2 items were ignored.")
        verify(!w.model.noticeOk)
        // With a card chosen every folder is a backup, the card itself excepted.
        sidebar.drop([Qt.resolvedUrl("file://" + a), Qt.resolvedUrl("file://" + c)])
        compare(w.model.source, a)
        compare(w.model.destinations, [b, c])
    }

    function test_version() {
        const w = h.open({})
        verify(/^Version (\d|–)/.test(h.find(w.window.contentItem, "version").text))
    }
}

import QtQuick
import QtTest
import Halvetrop
import Halvetrop.Native

// The results screen over the real model: saved checks opened from the history, the calls its
// buttons make seen as what the model then does.
TestCase {
    id: test
    name: "Results"
    when: windowShown
    width: 1240
    height: 800
    Harness { id: h; testCase: test }
    function cleanupTestCase() { h.release() }

    // A saved check of the fixture opened from the history; `setUp(stage, model)` runs first.
    function openResults(fixture, setUp) {
        const w = h.open({ saved: [fixture] }, (s, m) => {
            if (setUp)
                setUp(s, m)
            verify(s.openSaved(0), "the saved check opened")
        })
        w.window.width = 1600
        waitForRendering(w.window.contentItem)
        return w
    }
    function item(w, name) { return h.find(w.window.contentItem, name) }
    // The one shown of the full and the compact action rows' items of that name.
    function shownItem(w, name) {
        return h.findAll(w.window.contentItem, name).filter(i => i.visible)[0] || null
    }
    function shown(w, names) {
        return names.filter(n => { const i = item(w, n); return i !== null && i.visible })
    }
    function click(w, name) {
        const i = item(w, name)
        verify(i !== null && i.visible, name)
        mouseClick(i)
    }
    // The check the model started last: "card only" or "backups", its level; "" for none.
    function lastCheck(w, before) {
        const n = w.stage.checkCount()
        if (n === before)
            return ""
        const r = w.stage.checkRequest(n - 1)
        return (r.backups.length === 0 ? "card only" : "backups") + (r.level === "verified" ? ", every byte" : "")
    }

    readonly property var heroButtons: ["copy", "verify", "nextCard", "eject", "stopPass"]
    readonly property var cardOnlyButtons: ["compare", "otherBackup", "scanAnother", "cardOnlyEject"]

    function test_actionsPerReport_data() {
        return [
            { tag: "missing", fixture: "missing", pass: false, shown: ["copy", "verify", "nextCard", "eject"],
              title: "7 not backed up" },
            { tag: "safe", fixture: "safe", pass: false, shown: ["nextCard"], title: "Safe to format" },
            { tag: "pass running", fixture: "verifying", pass: true, shown: ["nextCard", "eject", "stopPass"],
              title: "All backed up" },
            { tag: "pass stopped", fixture: "stopped-pass", pass: false, shown: ["verify", "nextCard", "eject"],
              title: "All backed up" },
            { tag: "card not read whole", fixture: "unreadable", pass: false, shown: ["nextCard", "eject"],
              title: "Part of the card couldn't be read" },
            { tag: "cache-only card", fixture: "fuse-card", pass: false, shown: ["nextCard", "eject"],
              title: "All backed up" },
        ]
    }
    function test_actionsPerReport(data) {
        const w = openResults(data.fixture, (s, m) => { m.showInspector = false })
        if (data.pass) {
            w.model.check("verified")
            verify(w.stage.progress("comparing", "", 1, 90))
        }
        compare(shown(w, heroButtons), data.shown)
        compare(item(w, "heroTitle").text, data.title)
        compare(item(w, "readyPanel") !== null, data.fixture === "safe")
        verify(item(w, "heroReason").text.indexOf("same drive") < 0)
    }

    // A saved check opened as the window comes up, while the results screen is still being made
    // in the background, shows once the screen is whole, in each fresh window: checks of other
    // cards, with backups and of the card alone.
    function test_resultsComeBeforeTheScreenIsWhole() {
        for (let i = 0; i < 5; ++i) {
            const w = h.open({ savedChecks: 5 })
            w.model.showHistory(w.stage.savedID(i))
            verify(w.stage.settle())
            compare(item(w, "resultsScreenLoader").status, Loader.Ready)
            verify(item(w, "resultsPage").visible)
            // The third is of the card alone: its header, not the verdict's.
            compare(item(w, "heroTitle") !== null, i !== 2)
        }
    }

    // Whatever the saved check found, the header says what is in the reader now, and the ring's
    // covered arc is drawn in the header's colour, not the covered one, where that is not the
    // checked card as it was.
    function test_headerSaysWhatIsInTheReader_data() {
        const card = "media/ana/SONY A7IV"
        return [
            { tag: "the card as checked", setUp: s => {}, title: "Safe to format", role: "verified", ready: true },
            { tag: "changed since", setUp: s => s.addToSavedCards(1), title: "Changed since this check",
              role: "partial" },
            { tag: "another card", setUp: s => s.addVolume({ path: card, name: "SONY A7IV 2", removable: true, card: true }),
              title: "Another card is in the reader", role: "partial" },
            { tag: "cannot tell", setUp: s => s.addVolume({ path: card, name: "SONY A7IV", removable: true }),
              title: "Can't tell which card is in the reader", role: "partial" },
            { tag: "not inserted", setUp: s => s.removeVolume(card), title: "The card isn't in the reader",
              role: "pending" },
        ]
    }
    function test_headerSaysWhatIsInTheReader(data) {
        const w = openResults("safe", (s, m) => data.setUp(s))
        compare(item(w, "heroTitle").text, data.title)
        compare(item(w, "readyPanel") !== null, data.ready === true)
        const ring = item(w, "coverageRing")
        const at = ring.mapToItem(w.window.contentItem, ring.width / 2 + ring.r, ring.height / 2)
        const drawn = grabImage(w.window.contentItem).pixel(Math.round(at.x), Math.round(at.y))
        const apart = role => { const c = Look.color(role); return Math.abs(c.r - drawn.r) + Math.abs(c.g - drawn.g) + Math.abs(c.b - drawn.b) }
        verify(apart(data.role) < 0.1, "the arc drawn in " + drawn + ", not " + Look.color(data.role))
        if (data.role !== "verified")
            verify(apart("verified") > 0.3, "the arc drawn in the covered colour " + drawn)
    }

    function test_heroCalls() {
        const w = openResults("missing", (s, m) => { m.showInspector = false })
        click(w, "copy")
        verify(w.model.hasCopyRequest)
        compare(w.model.copyRequestTitle, "Copy everything that's missing")
        verify(w.stage.waitForPlan())
        compare(w.model.copySheet.planCount, 7)
        w.model.clearCopyRequest()
        const checks = w.stage.checkCount()
        click(w, "verify")
        compare(lastCheck(w, checks), "backups, every byte")
        verify(w.model.deepVerifying)
        // The next card: the picker opens at the offered card, none offered here.
        click(w, "nextCardPrimary")
        compare(w.stage.pickerQuestions(), 1)
        click(w, "nextCardArrow")
        const menu = item(w, "nextCardMenu")
        tryCompare(menu, "opened", true, hangDetectorMs)
        mouseClick(h.find(menu.contentItem, "menuAddBackup"))
        compare(w.stage.pickerQuestions(), 2)
        compare(w.stage.pickerStart(1), w.stage.root + "/media")
        click(w, "eject")
        compare(w.stage.ejectAsked(), [w.stage.root + "/media/ana/SONY A7IV"])
        verify(w.model.ejecting)
        verify(!item(w, "eject").enabled)
        w.stage.finishEject("")
        verify(!w.model.ejecting)
    }

    function test_cardOnlyCalls_data() {
        return [
            { tag: "with backups", backups: ["b/Archive", "b/Cards"], shown: ["compare", "otherBackup", "scanAnother", "cardOnlyEject"],
              text: "Check Against Archive and Cards", check: "backups", questions: 0 },
            { tag: "without backups", backups: [], shown: ["compare", "scanAnother", "cardOnlyEject"],
              text: "Choose a Backup and Check…", check: "", questions: 1 },
            // A drive is named by its name, as the sidebar names it, not by the folder it is mounted at.
            { tag: "a drive named apart from its folder", backups: ["media/ana/DISK1"],
              volume: { path: "media/ana/DISK1", name: "Archive 2025", totalBytes: 4e12, freeBytes: 1e12 },
              shown: ["compare", "otherBackup", "scanAnother", "cardOnlyEject"],
              text: "Check Against Archive 2025", check: "backups", questions: 0 },
        ]
    }
    function test_cardOnlyCalls(data) {
        const w = openResults("card-only", (s, m) => {
            if (data.volume)
                s.addVolume(data.volume)
            m.addBackupUrls(data.backups.map(b => "file://" + s.folder(b)))
        })
        compare(shown(w, cardOnlyButtons), data.shown)
        tryCompare(item(w, "compare"), "text", data.text, hangDetectorMs)
        if (data.volume)
            compare(h.find(h.findAll(w.window.contentItem, "backupRow")[0], "locationName").text, "Archive 2025")
        let checks = w.stage.checkCount()
        click(w, "compare")
        compare(lastCheck(w, checks), data.check)
        compare(w.stage.pickerQuestions(), data.questions)
        w.model.stopCheck()
        tryCompare(w.model, "phase", Phase.results, hangDetectorMs)
        // Return presses the same button: the screen has one owner of it.
        checks = w.stage.checkCount()
        w.window.requestActivate()
        keyClick(Qt.Key_Return)
        compare(lastCheck(w, checks), data.check)
        compare(w.stage.pickerQuestions(), 2 * data.questions)
        w.model.stopCheck()
        tryCompare(w.model, "phase", Phase.results, hangDetectorMs)
        // The next card is scanned alone, whatever the model was left at.
        w.model.cardOnly = false
        w.stage.pickFolders([w.stage.folder("media/ana/NEXT")])
        checks = w.stage.checkCount()
        click(w, "scanAnother")
        compare(w.model.sourceName, "NEXT")
        compare(lastCheck(w, checks), "card only")
    }

    // The card-only header's buttons stay on one line inside the header with long backup names,
    // in their words from the default window up; a cut title keeps its whole text as its tooltip.
    function test_cardOnlyActionsOnOneLine_data() {
        return [
            { tag: "default window", width: 1240, inspector: true },
            { tag: "smallest window", width: 1040, inspector: false },
            { tag: "smallest with the inspector", width: 1132, inspector: true },
        ]
    }
    function test_cardOnlyActionsOnOneLine(data) {
        const w = openResults("card-only-long", (s, m) => {
            m.showInspector = data.inspector
            m.addBackupUrls(["file://" + s.folder("b/Archive of the wedding season with a rather long drive name"),
                             "file://" + s.folder("b/Travel SSD for the spring weddings abroad")])
        })
        w.window.width = data.width
        waitForRendering(w.window.contentItem)
        const box = item(w, "cardOnlyActions")
        const buttons = cardOnlyButtons.map(n => ["", "compact-", "symbols-"].map(p => h.findAll(box, p + n)
                                                  .filter(b => b.visible)[0]).filter(b => b !== undefined)[0])
        const shownButtons = buttons.filter(b => b !== undefined)
        compare(shownButtons.length, 4)
        const header = box.parent.parent.parent
        for (const b of shownButtons) {
            compare(b.mapToItem(box, 0, 0).y, shownButtons[0].mapToItem(box, 0, 0).y, b.objectName + " wrapped")
            verify(b.mapToItem(header, b.width, 0).x <= header.width - Theme.xl + 0.5, b.objectName + " past the header")
        }
        if (data.width >= 1240)
            verify(shownButtons.every(b => b.text !== ""), "bare symbols at " + data.width)
        verify(shownButtons[0].text.length > 0)
        if (shownButtons[0].objectName !== "compare")
            compare(shownButtons[0].tip, "Check Against Archive of the wedding season with a rather long drive name and Travel SSD for the spring weddings abroad")
    }

    // A finished copy of the missing files, its dialog closed and the check after it stopped:
    // the header offers the last copy.
    function copyMissing(w) {
        verify(w.stage.requestCopy())
        w.model.copySheet.copy()
        verify(w.stage.finishCopy("copied"))
        w.model.copySheet.done()
        verify(w.stage.finishCheck("missing"))
        w.model.stopDeepVerify()
    }

    // The action row takes the first of its full, compact and symbols forms that fits its box and
    // never runs past it, down to the smallest window with the inspector and the last copy; from
    // the default window up it always shows its words.
    function test_actionRowFitsItsWidth_data() {
        return [
            { tag: "wide", width: 1600, inspector: false, lastCopy: false },
            { tag: "smallest window", width: 1040, inspector: false, lastCopy: false },
            { tag: "inspector open", width: 1240, inspector: true, lastCopy: false },
            { tag: "inspector and last copy", width: 1240, inspector: true, lastCopy: true },
            { tag: "smallest window with everything", width: 1040, inspector: true, lastCopy: true },
        ]
    }
    function test_actionRowFitsItsWidth(data) {
        const w = openResults("missing", (s, m) => { m.showInspector = data.inspector })
        if (data.lastCopy)
            copyMissing(w)
        w.window.width = data.width
        waitForRendering(w.window.contentItem)
        const box = item(w, "heroActions")
        const rows = ["fullActions", "compactActions", "symbolActions"].map(n => item(w, n))
        // A form is measured by its buttons, held-back ones too (the verify button while a pass
        // keeps its place): a hidden row does not lay itself out again, so its own width may be
        // of other words.
        const fitted = r => r.items.reduce((s, i) => s + r.button(i.id).implicitWidth, 0)
                            + r.spacing * Math.max(0, r.items.length - 1)
        // The shown row measures its buttons when it is laid out, a frame after their words change.
        const firstThatFits = () => {
            const shown = rows.filter(r => r.visible)
            return shown.length === 1 && shown[0].implicitWidth <= box.width && fitted(shown[0]) <= box.width
                && rows.slice(0, rows.indexOf(shown[0])).every(r => fitted(r) > box.width)
        }
        for (let k = 0; k * 100 < hangDetectorMs && !firstThatFits(); ++k)
            wait(100)
        const shownRows = rows.filter(r => r.visible)
        compare(shownRows.length, 1)
        const shownRow = shownRows[0]
        verify(shownRow.implicitWidth <= box.width && fitted(shownRow) <= box.width,
               shownRow.objectName + " " + shownRow.implicitWidth + " (" + fitted(shownRow) + ") in " + box.width)
        // A fuller form is left only when it does not fit.
        for (const r of rows.slice(0, rows.indexOf(shownRow)))
            verify(fitted(r) > box.width, r.objectName + " would have fitted")
        if (data.width >= 1240)
            verify(shownRow.objectName !== "symbolActions", "bare symbols at " + data.width)
        // The compact row's copy button says what it copies where the row has room for it.
        const copy = shownRow.button("copy"), fullCopy = rows[0].button("copy")
        if (shownRow === rows[1]) {
            const room = fitted(shownRow) - copy.implicitWidth + fullCopy.implicitWidth <= box.width
            compare(copy.text, room ? fullCopy.text : rows[2].button("copy").text, "room for the whole words: " + room)
            if (data.width >= 1240)
                verify(room, "no room for " + fullCopy.text)
        }
        // Nothing of the header lies under the row.
        const header = item(w, "heroTitle").parent.parent.parent
        verify(box.mapToItem(header, 0, box.height).y <= header.height + 0.5)
        // The row ends inside the header, whatever the inspector takes.
        const end = shownRow.mapToItem(w.window.contentItem, shownRow.implicitWidth, 0).x
        verify(end <= item(w, "heroActions").mapToItem(w.window.contentItem, box.width, 0).x + 0.5)
    }

    // Long names of card, backups, cameras and folders, at the default window and the smallest:
    // a shoot's title is cut to what its camera chip leaves, the chip keeps its capsule inside the
    // row and clear of the copy button, the landing link keeps the backup's name and the folder's
    // last part, the card's name gives way before the main camera, and a wrapped counters line
    // leaves no blank band.
    function test_longNamesKeepTheirMeaning_data() {
        return [
            { tag: "default window", width: 1240, inspector: true },
            { tag: "smallest window", width: 1040, inspector: false },
            { tag: "smallest with the inspector", width: 1132, inspector: true },
        ]
    }
    function test_longNamesKeepTheirMeaning(data) {
        const w = openResults("missing-long", (s, m) => { m.showInspector = data.inspector })
        w.window.width = data.width
        waitForRendering(w.window.contentItem)
        const rows = h.findAll(w.window.contentItem, "shootRow").filter(r => r.visible && r.height > 0)
        verify(rows.length >= 3, "shoot rows: " + rows.length)
        const right = (i, of) => i.mapToItem(of, i.width, 0).x
        const left = (i, of) => i.mapToItem(of, 0, 0).x
        for (const row of rows) {
            const title = h.find(row, "shootTitle"), chip = h.find(row, "shootCamera")
            const line = title.parent
            verify(right(title, row) <= left(chip, row) + 0.5, row.title + ": title runs into the camera")
            verify(right(chip, row) <= right(line, row) + 0.5, row.title + ": camera past the row")
            verify(chip.width >= 2 * chip.height, row.title + ": the camera's capsule collapsed")
            const cameraName = h.find(chip, "shootCameraName")
            verify(cameraName.width >= Math.min(cameraName.implicitWidth, 60), row.title + ": camera cut to " + cameraName.width)
            const copy = h.find(row, "shootCopy")
            if (copy.visible)
                verify(right(chip, row) <= left(copy, row), row.title + ": camera over the copy button")
            const link = h.find(row, "landingLink")
            if (!link.visible)
                continue
            const backup = h.find(link, "landingBackup"), folder = h.find(link, "landingFolder")
            verify(backup.width >= Math.min(backup.implicitWidth, 60), row.title + ": backup name " + backup.width)
            const parts = row.landingFolder.split("/")
            verify(folder.text.endsWith(parts[parts.length - 1]), row.title + ": folder reads " + folder.text)
            verify(right(link, row) <= right(line, row) + 0.5, row.title + ": link past the row")
        }
        // The card's name gives way first: the main camera is cut only beside the shortest name.
        const name = item(w, "heroCardName")
        const main = h.findAll(w.window.contentItem, "cameraChip").filter(c => c.visible)[0]
        verify(main !== undefined, "the main camera's chip shows")
        if (main.children[0].truncated)
            verify(name.width <= 110.5, "the main camera cut beside a name of " + name.width)
        const eyebrow = name.parent.parent
        for (const chip of h.findAll(eyebrow, "cameraChip").concat([item(w, "moreCameras"), item(w, "heroDays")]))
            if (chip.visible)
                verify(right(chip, eyebrow) <= eyebrow.width + 0.5, "past the eyebrow: " + chip.objectName)
        // Lines of counters sit close together.
        const stats = item(w, "heroStats")
        const shownStats = []
        for (let i = 0; i < stats.children.length; ++i)
            if (stats.children[i].visible && stats.children[i].width > 0)
                shownStats.push(stats.children[i])
        const tops = shownStats.map(c => c.y).filter((y, i, all) => all.indexOf(y) === i).sort((a, b) => a - b)
        for (let i = 1; i < tops.length; ++i)
            verify(tops[i] - tops[i - 1] <= 22, "a blank band between the counters' lines: " + tops)

        // The folder panel's buttons stay on one line, whole, inside the panel.
        w.model.mode = Phase.map
        w.model.selectedFolder = "PRIVATE/M4ROOT/CLIP"
        waitForRendering(w.window.contentItem)
        const show = item(w, "showUncovered"), copy = item(w, "copyUncovered")
        const card = copy.parent.parent
        compare(copy.mapToItem(card, 0, copy.height / 2).y, show.mapToItem(card, 0, show.height / 2).y)
        verify(copy.width >= copy.implicitWidth, "Copy to Backup… cut to " + copy.width)
        verify(copy.mapToItem(card, copy.width, 0).x <= card.width, "Copy to Backup… past the panel")
    }

    // What reading the card does to it is said under the header, whole, with the way out, and the
    // sidebar then claims no untouched card; a FUSE card's figure claims no byte-by-byte proof. A
    // long card name in the smallest window still shows the whole sentence inside the header.
    function test_cardNoteUnderTheHeader_data() {
        return [
            { tag: "safe", fixture: "safe", width: 1600, height: 800, note: "", detail: "every byte compared" },
            { tag: "FUSE card", fixture: "fuse-card", width: 1600, height: 800,
              note: "SONY A7IV is mounted read-write through FUSE", detail: "content compared" },
            { tag: "FUSE card, long name, smallest window", fixture: "fuse-card-long", width: 1040, height: 660,
              note: "SONY A7IV of the Müller–Schmidt wedding, second card is mounted read-write through FUSE",
              detail: "content compared" },
        ]
    }
    function test_cardNoteUnderTheHeader(data) {
        const w = openResults(data.fixture, (s, m) => { m.showInspector = false })
        w.window.width = data.width
        w.window.height = data.height
        waitForRendering(w.window.contentItem)
        const note = item(w, "cardNote")
        compare(note.visible, data.note !== "")
        verify(item(w, "heroDetail").text.endsWith(" · " + data.detail), item(w, "heroDetail").text)
        compare(item(w, "neverWrites").visible, data.note === "")
        if (data.note === "")
            return
        compare(note.text, w.model.cardAccessTimesNote)
        verify(note.text.startsWith(data.note), note.text)
        verify(note.text.endsWith("To leave the card untouched, mount it read-only (mount -o ro)."), note.text)
        verify(!note.truncated, "the note is cut: " + note.lineCount + " lines")
        if (data.width === 1040)
            verify(note.lineCount >= 2, "wrapped within the column, " + note.lineCount + " lines")
        const hero = item(w, "heroTitle").parent.parent.parent
        const bottom = note.mapToItem(hero, 0, note.height).y
        verify(bottom <= hero.height, "the note runs out of the header: " + bottom + " of " + hero.height)
        verify(note.mapToItem(hero, note.width, 0).x <= hero.width, "the note runs past the header")
        // The counters and the actions follow it, clear of it.
        verify(item(w, "heroStats").mapToItem(hero, 0, 0).y >= bottom, "the counters overlap the note")
    }

    // Each form's words: the compact one is shorter, and in the symbols form every button but
    // the copy button names itself only to the tooltip and a screen reader.
    function test_actionRowForms() {
        const w = openResults("missing")
        copyMissing(w)
        const texts = (prefix) => ["copy", "verify", "nextCardPrimary"].map(n => item(w, prefix + n).text)
        compare(texts(""), ["Copy 7 to Backup…", "Verify Every Byte", "Check Another Card"])
        // The compact row's copy button keeps its words where the row has room for them.
        const leadFull = item(w, "heroActions").fit.leadFull
        compare(texts("compact-"), [leadFull ? "Copy 7 to Backup…" : "Copy 7…", "Verify All", "Next Card"])
        compare(texts("symbols-"), ["Copy 7…", "", ""])
        compare(["verify", "nextCardPrimary"].map(n => item(w, "symbols-" + n).Accessible.name),
                ["Verify All", "Next Card"])
        const lastCopy = ["fullActions", "compactActions", "symbolActions"].map(n => h.find(item(w, n), "lastCopyButton"))
        compare(lastCopy.map(b => b.text), ["Last Copy (7)", "Last Copy", ""])
        compare(lastCopy[2].Accessible.name, "Last Copy")
        compare(lastCopy[2].icon.source.toString().indexOf("folder.badge.plus") >= 0, true)
    }

    function test_oneOwnerPerShortcut() {
        const w = openResults("missing")
        compare(Present.ambiguousShortcuts(w.window), [])
        compare(Present.shortcutOwners(w.window, "Return"), 1)
        compare(Present.shortcutOwners(w.window, "Ctrl+Shift+E"), 1)
        w.window.requestActivate()
        keyClick(Qt.Key_Return)
        verify(w.model.hasCopyRequest)
        w.model.clearCopyRequest()
        keyClick(Qt.Key_E, Qt.ControlModifier | Qt.ShiftModifier)
        compare(w.stage.ejectAsked().length, 1)
        // Nothing to copy: Return has no owner on the results screen.
        const safe = openResults("safe")
        compare(Present.shortcutOwners(safe.window, "Return"), 0)
    }

    // Return typed into a text field is the field's: it never opens the copy dialog, and the
    // screen's Return comes back once the field lets go of the keys.
    function test_returnInATextFieldCopiesNothing() {
        const w = openResults("missing", (s, m) => { m.mode = Phase.files })
        const search = item(w, "searchField")
        mouseClick(search)
        verify(search.activeFocus)
        compare(Present.shortcutOwners(w.window, "Return"), 0)
        keyClick(Qt.Key_0)
        keyClick(Qt.Key_Return)
        keyClick(Qt.Key_Return)
        compare(w.model.search, "0")
        verify(!w.model.hasCopyRequest)
        mouseClick(item(w, "fileTableList"), 100, 10)
        verify(!search.activeFocus)
        compare(Present.shortcutOwners(w.window, "Return"), 1)
        keyClick(Qt.Key_Return)
        verify(w.model.hasCopyRequest)
    }

    // The card-contents popover keeps every text inside its 540 points, a long card name too.
    function test_contentsStayInTheirPopover() {
        const w = openResults("missing-long")
        click(w, "cardContents")
        const pop = item(w, "contentsPopover")
        tryCompare(pop, "opened", true, hangDetectorMs)
        const inner = pop.width - pop.rightPadding
        let texts = 0
        for (const name of ["contentsTitle", "contentsCameras", "contentsLabel", "contentsFormats"])
            for (const t of h.findAll(pop.contentItem, name).filter(t => t.visible)) {
                ++texts
                const right = t.mapToItem(pop.contentItem, Math.min(t.width, t.contentWidth), 0).x + pop.leftPadding
                verify(right <= inner + 0.5, name + " runs out: " + right + " of " + inner)
            }
        verify(texts >= 4)
        verify(!item(w, "contentsTitle").truncated, "the card's name whole: " + item(w, "contentsTitle").text)
    }

    function test_popovers() {
        const w = openResults("missing")
        click(w, "cardContents")
        const pop = item(w, "contentsPopover")
        tryCompare(pop, "opened", true, hangDetectorMs)
        click(w, "cardContents")
        tryCompare(pop, "opened", false, hangDetectorMs)
        const safe = openResults("safe")
        // The erase question dims the window behind it: the sidebar reads darker.
        const lightness = () => {
            const p = grabImage(safe.window.contentItem).pixel(40, safe.window.contentItem.height - 120)
            return (p.r + p.g + p.b) / 3
        }
        const before = lightness()
        click(safe, "eraseInstead")
        const dialog = h.find(safe.window.contentItem, "eraseDialog")
        tryCompare(dialog, "opened", true, hangDetectorMs)
        verify(lightness() < before - 0.15, "dimmed from " + before + " to " + lightness())
        verify(dialog.contentItem.text.indexOf("“SONY A7IV”") > 0)
        dialog.reject()
        tryCompare(dialog, "opened", false, hangDetectorMs)
    }

    function test_shootRowsAndTheJump() {
        const w = openResults("missing", (s, m) => { m.showInspector = false })
        const rows = h.findAll(w.window.contentItem, "shootRow").filter(r => r.visible).sort((a, b) => a.y - b.y)
        verify(rows.length >= 3)
        // Newest day first; a shoot asks for all its files, the model keeps what may be copied.
        compare(rows[0].title, "Photos · 101MSDCF")
        const clips = rows.filter(r => r.title === "Video clips")[0]
        compare(clips.sentence, "Partly backed up · 6 missing · 1 name clash")
        mouseClick(h.find(clips, "shootCopy"))
        compare(w.model.copyRequestTitle, "Copy missing files from Video clips, Apr 15, 2024")
        verify(w.stage.waitForPlan())
        compare(w.model.copySheet.planCount, 7)
        w.model.clearCopyRequest()
        mouseClick(clips, 600, 10)
        compare(w.model.mode, Phase.files)
        compare(w.model.groupFilter, "PRIVATE/M4ROOT/CLIP|2024-04-15|ILCE-7M4")

        w.model.mode = Phase.map
        w.model.selectedFolder = "PRIVATE/M4ROOT/CLIP"
        waitForRendering(w.window.contentItem)
        compare(item(w, "panelHeader").text, "12 files · 3.72 GB")
        click(w, "copyUncovered")
        compare(w.model.copyRequestTitle, "Copy missing files from PRIVATE/M4ROOT/CLIP")
        w.model.clearCopyRequest()
        click(w, "showUncovered")
        compare(w.model.folderFilter, "PRIVATE/M4ROOT/CLIP")
        compare(w.model.groupFilter, "")
        compare(w.model.mode, Phase.files)
        compare(w.model.filter, 1)
        compare(w.model.visibleFileCount, 7)
    }

    // A shoot's menu, made when first opened, by a right click or the menu key: "Show Files Not
    // Backed Up" opens the browser on that shoot's files that are not backed up.
    function test_shootMenu() {
        const w = openResults("missing", (s, m) => { m.showInspector = false })
        const clips = h.findAll(w.window.contentItem, "shootRow").filter(r => r.visible && r.title === "Video clips")[0]
        verify(clips !== undefined)
        verify(!h.find(clips, "shootMenu"), "no menu before one is asked for")
        mouseClick(clips, 600, 10, Qt.RightButton)
        const menu = h.find(clips, "shootMenu")
        verify(menu !== null)
        tryCompare(menu, "opened", true, hangDetectorMs)
        compare(menu.count, 3)
        compare(menu.itemAt(1).text, "Show Files Not Backed Up")
        verify(menu.itemAt(1).visible)
        menu.close()
        tryCompare(menu, "opened", false, hangDetectorMs)
        clips.forceActiveFocus()
        keyClick(Qt.Key_Menu)
        tryCompare(menu, "opened", true, hangDetectorMs)
        menu.itemAt(1).triggered()
        compare(w.model.mode, Phase.files)
        compare(w.model.groupFilter, "PRIVATE/M4ROOT/CLIP|2024-04-15|ILCE-7M4")
        compare(w.model.filter, 1)
        compare(w.model.visibleFileCount, 7)
    }

    // The folder map's places follow the chosen folder: each place lies in that folder's files'
    // backup directories, and a folder without copies lists none.
    function test_mapPlacesFollowTheFolder() {
        const w = openResults("missing", (s, m) => { m.showInspector = false })
        w.model.mode = Phase.map
        w.model.selectedFolder = ""
        waitForRendering(w.window.contentItem)
        const titles = () => h.findAll(w.window.contentItem, "placeRow").filter(r => r.visible).map(r => r.title)
        const whole = titles()
        verify(whole.length > 0)
        w.model.selectedFolder = "PRIVATE/M4ROOT/CLIP"
        waitForRendering(w.window.contentItem)
        const clips = titles()
        verify(clips.length > 0 && clips.length <= whole.length, clips.length + " of " + whole.length)
        for (const place of h.findAll(w.window.contentItem, "placeRow").filter(r => r.visible))
            verify(whole.indexOf(place.title) >= 0, place.title + " is no place of the card")
        w.model.selectedFolder = "NOWHERE"
        waitForRendering(w.window.contentItem)
        compare(titles().length, 0)
        verify(item(w, "noPlaces").visible)
    }

    // "Show" in the folder map opens the browser on what is not backed up there, restricted to the
    // folder, the card's top folder too, whose chip names the card.
    function test_showFromTheMapNamesItsFolder_data() {
        return [
            { tag: "the whole card", folder: "", chip: "SONY A7IV", visible: 9 },
            { tag: "a folder", folder: "PRIVATE/M4ROOT/CLIP", chip: "PRIVATE/M4ROOT/CLIP", visible: 7 },
        ]
    }
    function test_showFromTheMapNamesItsFolder(data) {
        const w = openResults("missing", (s, m) => { m.showInspector = false })
        w.model.mode = Phase.map
        w.model.selectedFolder = data.folder
        waitForRendering(w.window.contentItem)
        click(w, "showUncovered")
        compare(w.model.mode, Phase.files)
        compare(w.model.filter, 1)
        compare(w.model.visibleFileCount, data.visible)
        waitForRendering(w.window.contentItem)
        const chips = h.findAll(w.window.contentItem, "folderChip").filter(c => c.visible)
        compare(chips.length, 1)
        compare(chips[0].text, data.chip)
    }

    // An empty browser says why: everything is backed up under the not-backed-up filter, else
    // there are no files.
    function test_emptyBrowserSaysWhy_data() {
        return [
            { tag: "a shoot all backed up, not backed up only", onlyMissing: true, search: "",
              title: "Everything here is backed up", symbol: "checkmark.seal" },
            { tag: "a search that finds nothing", onlyMissing: false, search: "no such file",
              title: "No files", symbol: "doc" },
        ]
    }
    function test_emptyBrowserSaysWhy(data) {
        const w = openResults("missing", (s, m) => { m.showInspector = false })
        const covered = h.findAll(w.window.contentItem, "shootRow").filter(r => r.visible && r.allCovered)[0]
        verify(covered !== undefined, "a shoot all backed up")
        w.model.showFiles(covered.groupID, data.onlyMissing)
        w.model.search = data.search
        waitForRendering(w.window.contentItem)
        compare(w.model.visibleFileCount, 0)
        const empty = item(w, "filesEmpty")
        verify(empty !== null && empty.visible)
        compare(empty.title, data.title)
        compare(empty.symbol, data.symbol)
        compare(empty.description, "")
        compare(item(w, "fileCount").text, "0 files")
    }

    // A shoot's landing link shows the backup folder in the file manager and nothing more: the
    // row under it keeps its own click to itself.
    function test_landingLinkOnlyReveals() {
        const w = openResults("missing", (s, m) => { m.showInspector = false })
        const row = h.findAll(w.window.contentItem, "shootRow").filter(r => r.visible && r.title === "Photos · 100MSDCF")[0]
        const link = h.find(row, "landingLink")
        verify(link.visible)
        mouseClick(link)
        compare(w.stage.revealed(), [[w.stage.root + "/media/ana/Archive 2025/Photos/2024-04-15"]])
        compare(w.model.mode, Phase.shoots)
        compare(w.model.groupFilter, "")
    }

    function test_filterStripAndNote_data() {
        return [
            { tag: "last kind off starts nothing", chip: "chip-video", before: ["video"], checks: false, kinds: [] },
            { tag: "a kind on checks again", chip: "chip-audio", before: ["photo"], checks: true, kinds: ["photo", "audio"] },
            { tag: "skipped kinds join the check", chip: "skippedButton", before: ["photo", "video"], checks: true,
              kinds: ["photo", "video", "audio"] },
            { tag: "every kind off, then the note", chip: "skippedButton", before: [], checks: true,
              kinds: ["photo", "video", "audio"] },
        ]
    }
    function test_filterStripAndNote(data) {
        const w = openResults("missing", (s, m) => { m.kinds = data.before })
        const checks = w.stage.checkCount()
        mouseClick(item(w, data.chip))
        compare(w.model.kinds, data.kinds)
        compare(lastCheck(w, checks), data.checks ? "backups" : "")
        if (data.checks) {
            w.model.stopCheck()
            tryCompare(w.model, "phase", Phase.results, hangDetectorMs)
        }
        compare(item(w, "photoFormats").visible, data.kinds.indexOf("photo") >= 0)
    }

    // A re-check hides the result it may go back to: Return on the checking screen asks for no
    // copy of that result's files.
    function test_aHiddenResultTakesNoReturn() {
        const w = openResults("missing")
        compare(Present.shortcutOwners(w.window, "Return"), 1)
        w.model.check("")
        compare(w.model.phase, Phase.checking)
        w.window.requestActivate()
        keyClick(Qt.Key_Return)
        verify(!w.model.hasCopyRequest)
        w.model.stopCheck()
        tryCompare(w.model, "phase", Phase.results, hangDetectorMs)
        compare(Present.shortcutOwners(w.window, "Return"), 1)
    }

    function test_stopThePass() {
        const w = openResults("verifying")
        w.model.check("verified")
        verify(w.model.deepVerifying)
        compare(item(w, "stripText").text, "Getting ready to verify every byte…")
        verify(w.stage.progress("comparing", "", 1, 90))
        compare(item(w, "stripText").text, "Verifying every byte… 30 of 90")
        click(w, "stopPass")
        verify(!w.model.deepVerifying)
        verify(!item(w, "stopPass").visible)
        compare(item(w, "heroReason").text,
                "Every copy matched by content. Verify every byte before you format the card.")
    }

    // The last copy stays after its dialog closes: the header offers it for this card, with the
    // report, its CSV and the hand-off.
    function test_lastCopyAfterTheDialog() {
        const w = openResults("missing")
        verify(item(w, "lastCopyButton") === null)
        verify(w.stage.requestCopy())
        w.model.copySheet.copy()
        verify(w.stage.finishCopy("copied"))
        w.model.copySheet.done()
        verify(!w.model.hasCopyRequest)
        verify(w.stage.finishCheck("stopped-pass"))
        w.model.stopDeepVerify()
        const button = shownItem(w, "lastCopyButton")
        verify(button !== null, "the last copy is offered")
        compare(button.text, "Last Copy (7)")
        mouseClick(button)
        const popover = item(w, "lastCopyPopover")
        tryCompare(popover, "opened", true, hangDetectorMs)
        w.stage.answerSave("")
        mouseClick(h.find(popover.contentItem, "saveCopyCSV"))
        compare(w.stage.suggestedSaveName(), "SD Halvetrop copy – SONY A7IV – 2025-12-29.csv")
        verify(h.find(popover.contentItem, "noPhotoApp").visible || w.model.photoApps.length > 0)
        // Opened again from the history, the card's result still offers its copy.
        w.model.showHistory(w.stage.savedID(0))
        verify(w.stage.settle())
        verify(shownItem(w, "lastCopyButton") !== null)
    }

    function test_lastCopyOnlyForThisCard_data() {
        return [
            { tag: "nothing copied", outcome: "stopped", shown: false },
            { tag: "with problems", outcome: "problems", shown: true },
        ]
    }
    function test_lastCopyOnlyForThisCard(data) {
        const w = h.open({ saved: ["missing", "browser"] }, (s, m) => verify(s.openSaved(0)))
        verify(w.stage.requestCopy())
        w.model.copySheet.copy()
        verify(w.stage.finishCopy(data.outcome))
        w.model.copySheet.done()
        verify(w.stage.finishCheck("missing"))
        w.model.stopDeepVerify()
        compare(shownItem(w, "lastCopyButton") !== null, data.shown)
        verify(w.stage.openSaved(1))
        compare(shownItem(w, "lastCopyButton"), null)
    }
}

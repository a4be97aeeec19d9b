import QtQuick
import QtTest
import Halvetrop
import Halvetrop.Native

// Every figure and sentence whole, and nothing drawn over another, at the window's smallest size
// (with and without the inspector), at the default size with the inspector and on a wide screen,
// under short and long names: shoot rows, the folder panel, the sidebar, the browser's header and
// status cells, the strip under the results header, the start screen under a banner, the banners,
// the inspector and the Settings window.
TestCase {
    id: test
    name: "Fit"
    when: windowShown
    width: 1240
    height: 800
    Harness { id: h; testCase: test }
    function cleanupTestCase() { h.release() }
    // A binding loop is a fault of the views, whatever else a case looks at.
    function init() { failOnWarning(/Binding loop detected/) }

    readonly property var sizes: [
        { tag: "smallest", width: 1040, height: 660, inspector: false },
        { tag: "smallest with the inspector", width: 1132, height: 660, inspector: true },
        { tag: "default with the inspector", width: 1240, height: 800, inspector: true },
        { tag: "wide", width: 1920, height: 1080, inspector: true },
    ]
    function sized(fixtures) {
        const out = []
        for (const f of fixtures)
            for (const s of sizes)
                out.push(Object.assign({}, s, { tag: f + ", " + s.tag, fixture: f }))
        return out
    }

    // A saved check opened in a window of that size.
    function openSized(data, setUp) {
        const w = h.open({ saved: [data.fixture] }, (s, m) => {
            m.showInspector = data.inspector
            verify(s.openSaved(0), "the saved check opened")
            if (setUp)
                setUp(s, m)
        })
        resize(w, data)
        return w
    }
    function resize(w, data) {
        w.window.width = data.width
        w.window.height = data.height
        waitForRendering(w.window.contentItem)
        compare(w.window.width, data.width)
    }
    function box(item, of) {
        const p = item.mapToItem(of, 0, 0)
        return { x: p.x, y: p.y, w: item.width, h: item.height }
    }
    // More than a hairline of one lies over the other.
    function overlaps(a, b, of) {
        const r = box(a, of), s = box(b, of)
        const across = Math.min(r.x + r.w, s.x + s.w) - Math.max(r.x, s.x)
        const down = Math.min(r.y + r.h, s.y + s.h) - Math.max(r.y, s.y)
        return across > 1 && down > 1
    }
    // Drawn whole: nothing elided, and its lines within its width.
    function whole(text, what) {
        verify(!text.truncated, what + " cut: " + text.text)
        verify(text.contentWidth <= text.width + 0.5, what + " runs past its width: " + text.contentWidth + " in " + text.width)
    }
    function shown(root, name) { return h.findAll(root, name).filter(i => i.visible && i.width > 0 && i.height > 0) }
    function texts(item, out) {
        out = out || []
        if (item.visible === false)
            return out
        if (item.text !== undefined && item.truncated !== undefined)
            out.push(item)
        for (let i = 0; i < item.children.length; ++i)
            texts(item.children[i], out)
        return out
    }

    // A shoot's status keeps its counts whole ("Partly backed up · 6 missing · 1 name clash"): the
    // landing link gives way first, then takes a line of its own. Short titles stay whole beside
    // their camera: the pictures close up first. Nothing of the row runs into another part.
    function test_shootRowsKeepTheirWords_data() { return sized(["missing", "missing-long", "browser"]) }
    function test_shootRowsKeepTheirWords(data) {
        const w = openSized(data)
        // Every shoot, the list scrolled to its end too.
        const list = h.find(w.window.contentItem, "shootList")
        let rows = shown(list, "shootRow")
        list.positionViewAtEnd()
        waitForRendering(w.window.contentItem)
        rows = rows.concat(shown(list, "shootRow").filter(r => rows.indexOf(r) < 0))
        verify(rows.length >= 3, "shoot rows: " + rows.length)
        const right = (i, of) => i.mapToItem(of, i.width, 0).x
        for (const row of rows) {
            const sentence = h.find(row, "shootSentence")
            whole(sentence, row.title + ": status")
            compare(sentence.text, row.sentence)
            if (sentence.implicitWidth <= sentence.parent.width - sentence.x)
                compare(sentence.lineCount, 1, row.title + ": a status that fits its line wraps")
            const title = h.find(row, "shootTitle")
            if (data.fixture !== "missing-long")
                compare(title.text, row.title, "a short title is cut")
            const chip = h.find(row, "shootCamera")
            verify(!overlaps(title, chip, row), row.title + ": the title runs into its camera")
            const line = title.parent
            verify(right(chip, row) <= right(line, row) + 0.5, row.title + ": camera past the line")
            const link = h.find(row, "landingLink")
            if (!link.visible)
                continue
            verify(!overlaps(sentence, link, row), row.title + ": the landing link lies over the status")
            verify(right(link, row) <= right(line, row) + 0.5, row.title + ": link past the line")
            const backup = h.find(link, "landingBackup"), folder = h.find(link, "landingFolder")
            verify(backup.width >= Math.min(backup.implicitWidth, 60), row.title + ": backup name " + backup.width)
            const parts = row.landingFolder.split("/")
            verify(folder.text.endsWith(parts[parts.length - 1]), row.title + ": folder reads " + folder.text)
            // A folder is cut between its names (a name cut at its start could be read as
            // another's), leaving out no more of them than its line needs.
            if (folder.text !== folder.cut.full) {
                const slack = right(line, row) - right(link, row)
                compare(Present.cutPath(folder.cut.full, folder.font, folder.width + slack).text, folder.text,
                        row.title + ": " + folder.text + " leaves " + slack + " px")
            }
            const copy = h.find(row, "shootCopy")
            if (copy.visible)
                verify(!overlaps(link, copy, row) && !overlaps(sentence, copy, row), row.title + ": under the copy button")
        }
    }

    // The folder panel keeps its width beside the folder list, and its "Not backed up" count shows
    // whole, its buttons beside or under it, never over it.
    function test_destinationsPanelKeepsItsCount_data() { return sized(["missing", "missing-long"]) }
    function test_destinationsPanelKeepsItsCount(data) {
        const w = openSized(data, (s, m) => {
            m.mode = Phase.map
            m.selectedFolder = "PRIVATE/M4ROOT/CLIP"
        })
        const root = w.window.contentItem
        const count = h.find(root, "uncoveredText")
        verify(count.visible)
        whole(count, "the count")
        verify(count.width >= count.implicitWidth - 0.5, "the count squeezed to " + count.width + " of " + count.implicitWidth)
        const card = h.find(root, "showUncovered").parent.parent
        for (const name of ["showUncovered", "copyUncovered"]) {
            const button = h.find(root, name)
            verify(button.visible, name)
            verify(!overlaps(count, button, root), name + " over the count")
            verify(button.width >= button.implicitWidth - 0.5, name + " squeezed")
            const b = box(button, card)
            verify(b.x >= 0 && b.x + b.w <= card.width + 0.5 && b.y + b.h <= card.height + 0.5, name + " outside its card")
        }
        const panel = h.find(root, "panelTitle").parent.parent
        verify(panel.width + 2 * Theme.xl >= 320 - 0.5, "the panel narrowed to " + (panel.width + 2 * Theme.xl))
        const places = shown(root, "placeTitle")
        verify(places.length > 0, "no place shown")
        for (const place of places)
            keepsItsEnds(place, "/")
    }

    // A place cut in its middle: its last name whole at its end, its first in front of it
    // wherever the two fit beside "…" (the places beside it may differ at either end).
    function keepsItsEnds(item, separator) {
        if (!item.cut.cut)
            return
        const parts = item.cut.full.split(separator)
        const first = parts[0], last = parts[parts.length - 1]
        verify(item.text.endsWith(last) || widthOf("…" + last, item.font) > item.width,
               item.text + " for " + item.cut.full)
        verify(item.text.startsWith(first + separator) || widthOf(first + separator + "…" + separator + last, item.font) > item.width,
               item.text + " for " + item.cut.full + " in " + item.width)
    }

    // The sidebar's line under a card keeps " · 207.2 MB free" whole; the card's name is cut.
    function test_sidebarKeepsTheFreeSpace_data() { return [sizes[0], sizes[2]] }
    function test_sidebarKeepsTheFreeSpace(data) {
        const name = "WEDDING-CARD-BACKUP-SECOND-BODY-RECEPTION"
        const w = h.open({ volumes: [{ path: "media/ana/WEDDING", name: name, fileSystem: "exfat", removable: true,
                                       card: true, totalBytes: 64e9, freeBytes: 207.2e6 }] }, (s, m) => {
            m.setSourceUrl("file://" + s.folder("media/ana/WEDDING"))
            verify(s.settle())
        })
        resize(w, data)
        const row = h.find(w.window.contentItem, "cardRow")
        verify(row.visible)
        const lines = texts(row).filter(t => t.text.indexOf("free") >= 0)
        verify(lines.length > 0, "a line with the free space")
        for (const line of lines) {
            whole(line, "the free space")
            verify(line.text.endsWith("207.2 MB free"), line.text)
            verify(line.mapToItem(row, line.width, 0).x <= row.width + 0.5, "past the sidebar")
        }
        // The name gives way, and still says whose it is.
        const head = texts(row).filter(t => t.text === name && t.objectName === "locationDetailHead")
        compare(head.length, 1)
        verify(head[0].truncated, "the long name is cut")
        const nameEnd = head[0].mapToItem(row, Math.min(head[0].width, head[0].contentWidth), 0).x
        verify(nameEnd <= lines[0].mapToItem(row, 0, 0).x + 0.5, "the name over the free space")
    }

    // The browser opened from a shoot: its way back, status filter, shoot chip, count, switch and
    // search lie side by side or on lines of their own, never over each other.
    function test_browserHeaderFromAShoot_data() {
        return sizes.concat([{ tag: "default", width: 1240, height: 800, inspector: false }])
            .map(s => Object.assign({}, s, { fixture: "browser" }))
    }
    function test_browserHeaderFromAShoot(data) {
        const w = openSized(data)
        const root = w.window.contentItem
        mouseClick(shown(root, "shootRow")[0], 100, 10)
        compare(w.model.mode, Phase.files)
        verify(w.model.groupFilter.length > 0)
        waitForRendering(root)
        const header = h.find(root, "filesHeader")
        const items = ["backToShoots", "statusFilter", "shootChip", "fileCount", "switchForm", "searchField"]
            .map(n => shown(header, n)).reduce((all, some) => all.concat(some), [])
        compare(items.length, 6, "every item of the header shows once")
        for (let i = 0; i < items.length; ++i) {
            const r = box(items[i], header)
            verify(r.x >= -0.5 && r.x + r.w <= header.width + 0.5, items[i].objectName + " outside the header")
            for (let j = i + 1; j < items.length; ++j)
                verify(!overlaps(items[i], items[j], header), items[i].objectName + " over " + items[j].objectName)
        }
    }

    // The browser's status cells say something whole: the file's own note where it fits, its
    // status where it does not, the note then in the cell's tooltip.
    function test_statusCellsWhole_data() {
        return sizes.concat([{ tag: "default", width: 1240, height: 800, inspector: false }])
            .map(s => Object.assign({}, s, { fixture: "browser-long-names" }))
    }
    function test_statusCellsWhole(data) {
        const w = openSized(data, (s, m) => { m.mode = Phase.files })
        const rows = shown(w.window.contentItem, "fileRow")
        verify(rows.length >= 10, "rows: " + rows.length)
        let notes = 0
        for (const row of rows) {
            const label = Present.statusLabel(row.status)
            const cells = texts(row).filter(t => t.text === row.statusText || t.text === label)
            compare(cells.length, 1, row.name)
            whole(cells[0], row.name + ": status")
            if (row.statusText !== label)
                ++notes
        }
        verify(notes >= 1, "a row with a note of its own")
        // Every column inside the table.
        const table = h.find(w.window.contentItem, "fileTable")
        const used = table.widths.reduce((a, b) => a + b, 0)
        verify(used <= table.width - 2 * Theme.s + 0.5, "columns of " + used + " in " + table.width)
    }

    // "Card contents" keeps its words beside the kinds and the photo formats.
    function test_cardContentsKeepsItsWords_data() { return sized(["missing"]) }
    function test_cardContentsKeepsItsWords(data) {
        const w = openSized(data)
        const root = w.window.contentItem
        const button = h.find(root, "cardContents")
        compare(button.text, "Card contents")
        verify(button.width >= button.implicitWidth - 0.5, "squeezed")
        const strip = h.find(root, "filterStrip")
        verify(button.mapToItem(strip, button.width, 0).x <= strip.width + 0.5, "past the strip")
        for (const name of ["photoFormats", "chip-other"])
            verify(!overlaps(button, h.find(strip, name), root), "over " + name)
    }

    // A banner never covers the start screen's Check button, nor a result's ready panel and
    // shoots: the page keeps clear of it.
    function test_pagesClearTheBanner_data() {
        return [
            { tag: "new card, smallest", width: 1040, height: 660, banner: "newCardBanner" },
            { tag: "notice, smallest", width: 1040, height: 660, banner: "noticeBanner" },
            { tag: "new card, default", width: 1240, height: 800, banner: "newCardBanner" },
            { tag: "new card over a result, default", width: 1240, height: 800, banner: "newCardBanner", saved: "safe-cameras" },
            { tag: "new card over a result, smallest", width: 1040, height: 660, banner: "newCardBanner", saved: "safe" },
        ]
    }
    function test_pagesClearTheBanner(data) {
        const w = h.open({ volumes: h.cardVolumes, savedChecks: 3, saved: data.saved ? [data.saved] : [] }, (s, m) => {
            h.choose(s, m, true)
            if (data.saved)
                verify(s.openSaved(0))
            s.addVolume({ path: "media/ana/EOS", name: "EOS_DIGITAL", fileSystem: "exfat", removable: true, card: true })
            if (data.banner === "noticeBanner")
                Present.notify("Couldn't eject “CARD”: the drive is busy. Eject it in Disks instead.", false)
        })
        resize(w, data)
        const root = w.window.contentItem
        const banner = h.find(root, data.banner)
        tryCompare(banner, "opacity", 1, hangDetectorMs)
        const detail = h.find(root, "detail")
        const button = h.find(root, data.saved ? "ejectCard" : "checkButton")
        verify(button.visible && button.enabled)
        verify(!overlaps(button, banner, root), "the banner covers " + button.objectName)
        if (!data.saved) {
            const b = box(button, detail)
            verify(b.y >= 0 && b.y + b.h <= detail.height, "Check is scrolled out of sight at " + b.y)
        }
        // What the page shows ends above the banner, so nothing of it lies under the banner.
        const scroll = h.find(root, data.saved ? "resultsPage" : "homeScroll")
        verify(box(scroll, root).y + scroll.height <= box(banner, root).y + 0.5, "the page runs under the banner")
        if (data.saved) {
            // Its end brings the shoots up above the banner.
            scroll.contentY = scroll.end
            waitForRendering(root)
            const list = h.find(root, "shootList")
            verify(box(list, root).y + list.height <= box(banner, root).y + 0.5, "the shoots run under the banner")
            verify(list.height >= 120, "the shoots keep " + list.height)
        }
    }

    // A long card name is cut in its middle so that the banner still says what happened.
    function test_bannersKeepTheirSentence_data() {
        return [ { tag: "smallest", width: 1040, height: 660 }, { tag: "wide", width: 1920, height: 1080 } ]
    }
    function test_bannersKeepTheirSentence(data) {
        const name = "EOS_DIGITAL of the best man, borrowed for the evening reception at the old harbour hall and the dinner after it"
        const card = { path: "media/ana/" + name, name: name, fileSystem: "exfat", removable: true, card: true }
        const w = h.open({ volumes: h.cardVolumes }, (s, m) => {
            h.choose(s, m, true)
            s.addVolume(card)
        })
        resize(w, data)
        const root = w.window.contentItem
        tryCompare(h.find(root, "newCardBanner"), "opacity", 1, hangDetectorMs)
        const title = h.find(root, "newCardTitle")
        whole(title, "the new card's title")
        verify(title.text.startsWith("“EOS_DIGITAL") && title.text.endsWith("” was just inserted"), title.text)

        // The card chosen, being checked, taken out: the notice names it and says what to do.
        w.stage.setVolumes([card, h.cardVolumes[1]])
        w.model.setSourceUrl("file://" + w.stage.folder(card.path))
        w.model.check("")
        compare(w.model.phase, Phase.checking)
        w.stage.setVolumes([h.cardVolumes[1]])
        verify(w.model.hasNotice)
        verify(w.model.noticeText.endsWith("Insert it again to check it."), w.model.noticeText)
        const notice = h.find(root, "noticeText")
        tryCompare(h.find(root, "noticeBanner"), "opacity", 1, hangDetectorMs)
        whole(notice, "the notice")
        verify(notice.text.startsWith("“EOS_DIGITAL") && notice.text.endsWith("” was removed during the check. Insert it again to check it."),
               notice.text)
    }

    // The byte-by-byte strip's bar is a thin track on the header, not a white field.
    function test_stripBarIsATrack() {
        const w = openSized({ fixture: "verifying", width: 1240, height: 800, inspector: true }, (s, m) => {
            m.check("verified")
            verify(m.deepVerifying)
            verify(s.progress("comparing", "", 30, 90))
        })
        const root = w.window.contentItem
        const text = h.find(root, "stripText")
        const bar = text.parent.children[1]
        verify(bar.visible && bar.width >= 80)
        verify(bar.height <= 8, "a bar " + bar.height + " high")
        const image = grabImage(root)
        const at = (x, y) => { const p = bar.mapToItem(root, x, y); return image.pixel(Math.round(p.x), Math.round(p.y)) }
        const empty = at(bar.width - 6, bar.height / 2)
        const ground = at(bar.width - 6, -6)
        const light = c => 0.299 * c.r + 0.587 * c.g + 0.114 * c.b
        verify(light(empty) < light(ground), "the empty track is lighter than the header: " + empty + " on " + ground)
        const filled = at(4, bar.height / 2)
        verify(filled.g > filled.r + 0.1, "the filled part is not green: " + filled)
    }

    // The inspector's "Select a file…" keeps a margin on both sides of its column.
    function test_inspectorEmptyTextHasMargins_data() { return [sizes[1], sizes[2]].map(s => Object.assign({}, s, { fixture: "missing" })) }
    function test_inspectorEmptyTextHasMargins(data) {
        const w = openSized(data)
        const root = w.window.contentItem
        const inspector = h.find(root, "inspector")
        const text = h.find(h.find(inspector, "inspectorEmpty"), "emptyStateDescription")
        verify(text.visible)
        whole(text, "the empty inspector's text")
        const left = text.mapToItem(inspector, (text.width - text.contentWidth) / 2, 0).x
        const right = left + text.contentWidth
        verify(left >= Theme.l - 0.5 && right <= inspector.width - Theme.l + 0.5,
               "from " + left + " to " + right + " in " + inspector.width)
    }

    // The copy dialog keeps to its width with long names, with spaces and without (70 characters
    // and more, in other scripts too): the picker and its list cut the backup's name, the layouts'
    // lines wrap whole, the preview's figures stay whole where the backup's name gives way,
    // folders are cut at their start with their last folder whole, the bar's buttons and the
    // report's lines stay inside the dialog.
    TextMetrics { id: metrics }
    function widthOf(text, font) {
        metrics.font = font
        metrics.text = text
        return metrics.advanceWidth
    }
    function test_copySheetKeepsItsWidth_data() {
        const out = []
        for (const f of ["missing", "missing-long", "missing-unbroken"])
            for (const s of [sizes[0], { tag: "default", width: 1240, height: 800 }, { tag: "wide", width: 1920, height: 1080 }])
                out.push(Object.assign({}, s, { tag: f + ", " + s.tag, fixture: f, inspector: false }))
        return out
    }
    function test_copySheetKeepsItsWidth(data) {
        const w = openSized(data, (s, m) => verify(s.requestCopy()))
        const root = w.window.contentItem
        const sheet = h.find(root, "copySheet")
        tryCompare(sheet, "opened", true, hangDetectorMs)
        waitForRendering(root)
        compare(sheet.width, 640)
        const inside = (item, what) => {
            const r = box(item, sheet.contentItem)
            verify(r.x >= -0.5 && r.x + r.w <= sheet.availableWidth + 0.5,
                   what + " from " + r.x + " to " + (r.x + r.w) + " in " + sheet.availableWidth)
        }
        const picker = h.find(sheet.contentItem, "backupPicker")
        verify(picker.visible)
        inside(picker, "the backup picker")
        // Its text cut at its end inside it, clear of its arrow.
        const pickerText = picker.contentItem
        verify(pickerText.contentWidth <= pickerText.width + 0.5, "the picker's text runs past it: " + pickerText.contentWidth + " in " + pickerText.width)
        verify(box(pickerText, picker).x + pickerText.width <= picker.indicator.x + 0.5, "the picker's text under its arrow")
        // The backup's name, then its path (wherever the stage's folder is): a name the picker
        // cannot hold is cut, a short one shows whole.
        const backupName = w.model.copySheet.backups[0].split(" \u2014 ")[0]
        const nameFits = widthOf(backupName + " \u2014 ", pickerText.font) <= pickerText.width
        compare(nameFits, data.fixture !== "missing-unbroken", "the backup's name fits: " + nameFits)
        if (!nameFits)
            verify(pickerText.truncated, "a name too long for the picker is not cut")
        // Its list's rows too, as plain text.
        picker.popup.open()
        tryCompare(picker.popup, "opened", true, hangDetectorMs)
        const rows = h.findAll(picker.popup.contentItem, "backupPickerRow")
        compare(rows.length, 2)
        for (const row of rows) {
            verify(row.textFormat === Text.PlainText && row.contentWidth <= row.width + 0.5, row.text)
            verify(box(row, picker.popup.contentItem).x + row.width <= picker.popup.contentItem.width + 0.5, row.text)
        }
        // A row chosen is the backup copied to; the first one is chosen back.
        mouseClick(rows[1])
        tryCompare(w.model.copySheet, "destination", 1, hangDetectorMs)
        w.model.copySheet.destination = 0
        verify(w.stage.waitForPlan())
        for (const name of ["planSummary", "copyButton", "copyCancel", "planList", "locationLabel"])
            inside(h.find(sheet.contentItem, name), name)
        // Folders are cut at their start, their last folder whole.
        for (const path of shown(sheet.contentItem, "planRowText").concat(shown(sheet.contentItem, "locationLabel"))) {
            const folders = path.cut.full.split(path.separator)
            verify(path.text.endsWith(folders[folders.length - 1]), path.text + " for " + path.cut.full)
            verify(path.contentWidth <= path.width + 0.5, path.text + " runs past its width")
        }
        for (let i = 0; i < 6; ++i) {
            const line = h.find(sheet.contentItem, "layoutDetail_" + i)
            inside(line, "the line of layout " + i)
            whole(line, "the line of layout " + i)
        }
        // The preview's figures whole; only the backup's name after them may give way.
        const summary = h.find(sheet.contentItem, "planSummary")
        const figures = summary.text.split(" free on ")[0] + " free on "
        verify(widthOf(figures, summary.font) <= summary.width, "the preview's figures cut: " + summary.text)
        verify(summary.truncated === (widthOf(summary.text, summary.font) > summary.width))
        // Nothing it says runs past its edge.
        for (const t of texts(sheet.contentItem)) {
            const r = box(t, sheet.contentItem)
            verify(r.x >= -0.5 && r.x + Math.min(t.width, t.contentWidth) <= sheet.availableWidth + 0.5,
                   "past the dialog's edge: " + t.text)
            if (t.wrapMode !== Text.NoWrap)
                whole(t, "a wrapped line of the dialog")
        }
        // The report of the copy, in the dialog and then in the header's popover.
        w.model.copySheet.copy()
        verify(w.stage.finishCopy("copied"))
        waitForRendering(root)
        for (const t of texts(h.find(sheet.contentItem, "copyReport")).filter(t => t.wrapMode !== Text.NoWrap))
            whole(t, "the report's line in the dialog")
        w.model.copySheet.done()
        verify(w.stage.finishCheck(data.fixture))
        w.model.stopDeepVerify()
        tryCompare(sheet, "visible", false, hangDetectorMs)
        waitForRendering(root)
        mouseClick(shown(root, "lastCopyButton")[0])
        // Each form of the header's row has its button and popover.
        let popover = null
        tryVerify(() => (popover = h.findEvery(root, "lastCopyPopover").find(p => p.opened)) !== undefined, hangDetectorMs)
        waitForRendering(root)
        for (const t of texts(popover.contentItem).filter(t => t.wrapMode !== Text.NoWrap))
            whole(t, "the report's line in the popover")
        // Made after the copy, it shows the folder the files went to.
        const folders = shown(popover.contentItem, "copiedFolderTitle"), list = shown(popover.contentItem, "copiedFolders")
        verify(folders.length > 0 && list.length > 0 && list[0].height >= folders[0].height, "the popover shows no folder")
        for (const folder of folders)
            keepsItsEnds(folder, folder.separator)
    }

    // The Settings window cannot be made shorter than what it holds.
    function test_settingsKeepTheirHeight() {
        const w = h.open({})
        h.actions(w.window)["settings"].trigger()
        const settings = findChild(w.window, "settingsWindow")
        tryCompare(settings, "visible", true, hangDetectorMs)
        let view = null
        for (let i = 0; i < settings.contentItem.children.length; ++i)
            if (settings.contentItem.children[i].store !== undefined)
                view = settings.contentItem.children[i]
        verify(view.implicitHeight > 100)
        verify(settings.minimumHeight >= view.implicitHeight, settings.minimumHeight + " for " + view.implicitHeight)
        // The copies picker's list shows every row whole, the current one (in bold) too, inside
        // the window.
        const picker = h.find(settings.contentItem, "requiredCopies")
        compare(picker.currentIndex, 1)
        picker.popup.open()
        tryCompare(picker.popup, "opened", true, hangDetectorMs)
        waitForRendering(settings.contentItem)
        const rows = texts(picker.popup.contentItem)
        compare(rows.length, 3)
        for (const row of rows)
            whole(row, "the row")
        const left = picker.popup.contentItem.mapToItem(settings.contentItem, 0, 0).x
        verify(left >= 0 && left + picker.popup.contentItem.width <= settings.width + 0.5, "the list from " + left)
        picker.popup.close()
        settings.close()
    }
}

import QtQuick
import QtTest
import Halvetrop
import Halvetrop.Native
import HalvetropTest

// What the results header does with too little room: its title shrinks, then wraps, never cut;
// its camera chips give way to a "+N" chip that names the rest, the main camera staying; and the
// segmented switches move with the arrow keys.
TestCase {
    id: test
    name: "Layout"
    when: windowShown
    width: 800
    height: 400
    Harness { id: h; testCase: test }
    function cleanupTestCase() { h.release() }

    Component { id: titleComponent; HeaderTitle {} }
    Component { id: eyebrowComponent; CardEyebrow {} }

    function test_titleShrinksThenWraps_data() {
        return [
            { tag: "room to spare", width: 700, lines: 1, smallest: 30 },
            { tag: "shrunk", width: 420, lines: 1, smallest: 21 },
            { tag: "wrapped", width: 260, lines: 2, smallest: 21 },
        ]
    }
    function test_titleShrinksThenWraps(data) {
        const title = createTemporaryObject(titleComponent, test, { width: data.width, text: "100% of photos and videos verified" })
        waitForRendering(title)
        compare(title.lineCount, data.lines)
        verify(!title.truncated, "the whole title shows")
        verify(title.font.pixelSize >= data.smallest && title.font.pixelSize <= 30, "size " + title.font.pixelSize)
        verify(title.contentWidth <= data.width + 0.5, "within its width")
    }

    // Six cameras on a card: whatever the room, the chips and the "+N" chip stay inside the row,
    // the camera with the most files is always among the chips, and the "+N" chip names the others.
    function test_cameraChipsGiveWay_data() {
        return [ { tag: "wide", width: 900 }, { tag: "narrow", width: 420 }, { tag: "narrowest", width: 250 } ]
    }
    function test_cameraChipsGiveWay(data) {
        const cameras = ["ILCE-1", "ILCE-7M4", "ILCE-7RM5", "ILCE-9M3", "ILME-FX3", "ZV-E10"]
        const files = [3, 240, 12, 7, 40, 1]
        // On the window itself, so that what the row hides reads as hidden.
        const eyebrow = createTemporaryObject(eyebrowComponent, test.Window.window.contentItem, {
            width: data.width,
            h: { sourceName: "SONY A7IV", cameras: cameras, cameraFiles: files, days: "Apr 15, 2024 – Apr 16, 2024" }
        })
        waitForRendering(eyebrow)
        const chips = h.findAll(eyebrow, "cameraChip").filter(c => c.visible)
        const more = h.find(eyebrow, "moreCameras")
        const shownNames = chips.map(c => c.children[0].text)
        verify(shownNames.indexOf("ILCE-7M4") >= 0, "the main camera stays: " + shownNames)
        const hidden = cameras.filter(c => shownNames.indexOf(c) < 0)
        compare(more.visible, hidden.length > 0)
        if (hidden.length > 0) {
            compare(more.children[0].text, "+" + hidden.length)
            compare(more.Accessible.name, hidden.join(", "))
        }
        for (const item of chips.concat(more.visible ? [more] : [])) {
            const right = item.mapToItem(eyebrow, item.width, 0).x
            verify(right <= eyebrow.width + 0.5, "inside the row: " + right + " of " + eyebrow.width)
        }
    }

    // The view switch and the browser's filter move with Left and Right once they have the keys.
    function test_segmentsMoveWithTheArrows() {
        const w = h.open({ saved: ["missing"] }, (s, m) => verify(s.openSaved(0)))
        const shoots = h.find(w.window.header, "mode-Shoots")
        shoots.forceActiveFocus(Qt.TabFocusReason)
        verify(KeyPress.click(w.window, Qt.Key_Right))
        compare(w.model.mode, Phase.map)
        compare(h.find(w.window.header, "modePicker").current, Phase.map)
        verify(KeyPress.click(w.window, Qt.Key_Left))
        compare(w.model.mode, Phase.shoots)
        verify(KeyPress.click(w.window, Qt.Key_Left))
        compare(w.model.mode, Phase.shoots, "the first segment stays")
    }
}

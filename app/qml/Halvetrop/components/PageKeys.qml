import QtQuick
import QtQuick.Window
import Halvetrop.Native

// Page Up and Page Down scroll `flickable` by what it shows, wherever the keys are; none while it
// is null. Placed where it outlives the screens, so a screen on its way out never keeps the keys:
// each screen names its page (`pageFlickable`), none where its own controls take these keys.
// A screen whose page scrolls around its view (`outer`) has it move first going down, until the
// view has all its room, and last going up, once the view is at its top. A control that pages
// through its own rows (`takesPageKeys`) keeps the keys while it has the focus.
Item {
    id: keys
    property var flickable: null
    property var outer: null

    readonly property bool focusTakesPages: {
        for (let item = keys.Window.activeFocusItem; item; item = item.parent)
            if (item.takesPageKeys === true)
                return true
        return false
    }
    readonly property bool enabled: !focusTakesPages && (keys.flickable !== null || keys.outer !== null)

    function lowest(f) { return f.originY - f.topMargin }
    function highest(f) { return Math.max(lowest(f), f.originY + f.contentHeight + f.bottomMargin - f.height) }
    function scroll(f, pages) {
        f.contentY = Present.pageScroll(f.contentY, pages, f.height, lowest(f), highest(f))
    }
    function page(pages) {
        const inner = keys.flickable, outer = keys.outer
        const outerFirst = outer !== null && (pages > 0 ? outer.contentY < highest(outer) - 0.5
                                                        : inner === null || inner.contentY <= lowest(inner) + 0.5)
        keys.scroll(outerFirst || inner === null ? outer : inner, pages)
    }

    Shortcut {
        objectName: "pageUp"
        sequence: "PgUp"
        enabled: keys.enabled
        onActivated: keys.page(-1)
    }
    Shortcut {
        objectName: "pageDown"
        sequence: "PgDown"
        enabled: keys.enabled
        onActivated: keys.page(1)
    }
}

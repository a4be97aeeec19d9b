import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// A window whose controls (and their popups) take the palette of the current appearance. Roles
// that dim when disabled are set per group: a plain `palette.text` would set the disabled group too.
ApplicationWindow {
    id: themed
    readonly property int paletteKey: Look.appearance

    // The item with the keys' focus is kept in sight in every view that scrolls around it, the
    // innermost first: Tab onto a control below what a page shows scrolls the page just so far
    // (to its top where it is taller than the view). A list that moves its own selection (the
    // file table, the grid) places its rows itself: the keys resting on its current row, which
    // may lie anywhere, count as resting on the list. Looked at once the move's layouts are done.
    onActiveFocusItemChanged: Qt.callLater(themed.revealFocus)
    function revealFocus() {
        let item = themed.activeFocusItem
        if (!item || !item.visible)
            return
        const margin = Theme.s
        for (let view = item.parent; view; view = view.parent) {
            if (view.contentY === undefined || view.contentItem === undefined || view.originY === undefined)
                continue
            if (view.keyNavigationEnabled === false && view.currentItem) {
                let within = item
                while (within && within !== view.currentItem && within !== view)
                    within = within.parent
                if (within === view.currentItem) {
                    item = view
                    continue
                }
            }
            const r = item.mapToItem(view.contentItem, 0, 0, item.width, item.height)
            const lowest = view.originY - view.topMargin
            const highest = Math.max(lowest, view.originY + view.contentHeight + view.bottomMargin - view.height)
            let y = view.contentY
            if (r.height + 2 * margin >= view.height || r.y - margin < y)
                y = r.y - margin
            else if (r.y + r.height + margin > y + view.height)
                y = r.y + r.height + margin - view.height
            y = Math.max(lowest, Math.min(highest, y))
            if (Math.abs(y - view.contentY) > 0.5)
                view.contentY = y
        }
    }

    color: Theme.window
    palette.window: paletteKey, Look.paletteColor("window")
    palette.active.windowText: paletteKey, Look.paletteColor("windowText")
    palette.inactive.windowText: paletteKey, Look.paletteColor("windowText")
    palette.base: paletteKey, Look.paletteColor("base")
    palette.alternateBase: paletteKey, Look.paletteColor("alternateBase")
    palette.active.text: paletteKey, Look.paletteColor("text")
    palette.inactive.text: paletteKey, Look.paletteColor("text")
    palette.button: paletteKey, Look.paletteColor("button")
    palette.active.buttonText: paletteKey, Look.paletteColor("buttonText")
    palette.inactive.buttonText: paletteKey, Look.paletteColor("buttonText")
    palette.brightText: paletteKey, Look.paletteColor("brightText")
    palette.light: paletteKey, Look.paletteColor("light")
    palette.midlight: paletteKey, Look.paletteColor("midlight")
    palette.mid: paletteKey, Look.paletteColor("mid")
    palette.dark: paletteKey, Look.paletteColor("dark")
    palette.shadow: paletteKey, Look.paletteColor("shadow")
    palette.active.highlight: paletteKey, Look.paletteColor("highlight")
    palette.inactive.highlight: paletteKey, Look.paletteColor("highlight")
    palette.active.highlightedText: paletteKey, Look.paletteColor("highlightedText")
    palette.inactive.highlightedText: paletteKey, Look.paletteColor("highlightedText")
    palette.placeholderText: paletteKey, Look.paletteColor("placeholderText")
    palette.toolTipBase: paletteKey, Look.paletteColor("toolTipBase")
    palette.toolTipText: paletteKey, Look.paletteColor("toolTipText")
    palette.link: paletteKey, Look.paletteColor("link")
    palette.disabled.text: paletteKey, Look.paletteColor("text", true)
    palette.disabled.windowText: paletteKey, Look.paletteColor("windowText", true)
    palette.disabled.buttonText: paletteKey, Look.paletteColor("buttonText", true)
    palette.disabled.highlight: paletteKey, Look.paletteColor("highlight", true)
    palette.disabled.highlightedText: paletteKey, Look.paletteColor("highlightedText", true)
}

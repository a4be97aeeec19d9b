import QtQuick
import QtQuick.Controls
import Halvetrop

// A menu as wide as its widest item (the style makes every menu 200 wide and cuts longer items),
// whose items show their keyboard shortcuts.
Menu {
    id: menu
    delegate: MenuRow {}

    // Every item counts, shown or not: a closed menu's items are all hidden.
    function fittedWidth() {
        let widest = 200
        for (let i = 0; i < menu.count; ++i) {
            const item = menu.itemAt(i)
            if (item)
                widest = Math.max(widest, item.implicitWidth)
        }
        return widest + menu.leftPadding + menu.rightPadding
    }
    width: fittedWidth()
}

import QtQuick
import Halvetrop.Native

// Page Up and Page Down scroll `flickable` by what it shows, wherever the keys are; none while it
// is null. Placed where it outlives the screens, so a screen on its way out never keeps the keys:
// each screen names its page (`pageFlickable`), none where its own controls take these keys.
Item {
    id: keys
    property var flickable: null

    function page(pages) {
        const f = keys.flickable
        f.contentY = Present.pageScroll(f.contentY, pages, f.height, f.originY - f.topMargin,
                                        f.originY + f.contentHeight + f.bottomMargin - f.height)
    }

    Shortcut {
        objectName: "pageUp"
        sequence: "PgUp"
        enabled: keys.flickable !== null
        onActivated: keys.page(-1)
    }
    Shortcut {
        objectName: "pageDown"
        sequence: "PgDown"
        enabled: keys.flickable !== null
        onActivated: keys.page(1)
    }
}

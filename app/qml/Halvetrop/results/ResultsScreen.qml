import QtQuick
import QtQuick.Controls
import QtQuick.Window
import Halvetrop
import Halvetrop.Native

// The results phase: the verdict (or the card-only header), the ready-to-format panel, the
// filter strip and the view of the current mode. It keeps no data: `results` computes every text
// from the model's report.
Item {
    id: screen
    required property var model
    // The file browser of the files mode and the copy sheet's last-copy button, placed by their
    // owners; until then the files mode shows a placeholder.
    property Component filesView: null
    property Component lastCopyButton: null
    // Thumbnails of the shoot rows: an object answering request(url, side).
    property var thumbnails: null
    objectName: "resultsScreen"
    // Whether the screen is whole. One made in the background (RootView's) looks at the model's
    // report and mode only once it is: a change that made or dropped its parts while they are being
    // made would leave them pointing at what is gone.
    property bool whole: true
    readonly property int mode: whole ? model.mode : 0

    Results {
        id: resultsData
        model: screen.whole ? screen.model : null
        deepVerifying: screen.model.deepVerifying === true
        deepRunning: screen.model.deepProgress !== undefined && screen.model.deepProgress.stage === "comparing"
        canEject: screen.model.canEjectSource === true
    }
    readonly property alias results: resultsData

    // The preview of the chosen file, wherever it was asked for: the browser, its menu, the
    // inspector beside any mode.
    PreviewWindow { model: screen.model }

    // The screen's one default action: the copy button of a verdict, the compare button of a
    // card-only header. A control with keyboard focus (the search field) keeps Return for itself,
    // and the copy dialog has its own. A hidden screen's is off.
    Shortcut {
        objectName: "resultsReturn"
        sequences: ["Return", "Enter"]
        enabled: screen.visible && resultsData.hasReport && (resultsData.cardOnly || resultsData.hero.copyable >= 1)
                 && !screen.model.hasCopyRequest && !Present.keepsReturn(screen.Window.activeFocusItem)
        onActivated: {
            if (resultsData.cardOnly)
                header.item.primary()
            else
                screen.model.requestCopyAllMissing()
        }
    }

    // Room kept free at the bottom for a banner shown over the screen: nothing of the page lies
    // under it.
    property real bottomClearance: 0

    // The page: the header, the ready panel and the strip above the view of the mode. Where
    // they leave the view too little room the page scrolls, the header going up out of sight, so
    // that the view keeps its room and everything above it can still be reached: by the wheel
    // (over the view the page moves first, then the view), by the page keys and by the keys'
    // focus, which the page follows.
    readonly property real viewRoom: Math.min(page.height, Math.max(300, page.height * 0.4))
    Flickable {
        id: page
        objectName: "resultsPage"
        anchors.fill: parent
        anchors.bottomMargin: screen.bottomClearance
        visible: resultsData.hasReport
        clip: true
        // Moved by the wheel, the keys and its bar, never dragged: a drag is the controls'.
        interactive: false
        boundsBehavior: Flickable.StopAtBounds
        contentWidth: width
        contentHeight: top.height + modeView.height
        readonly property real end: Math.max(0, contentHeight - height)
        readonly property bool atEnd: contentY >= end - 0.5
        onEndChanged: if (contentY > end) contentY = end
        // A page taller than the screen says so: its bar stays while there is more of it, beside
        // the view's own bar, never over it; there is none while the page fits.
        ScrollBar.vertical: ScrollBar {
            id: pageBar
            objectName: "resultsPageBar"
            visible: page.end > 0
            policy: page.end > 0 ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
        }
        readonly property real barRoom: pageBar.visible ? pageBar.width : 0
        // Under everything on the page: the wheel over the header, and what the view leaves
        // (its list at its top or end).
        Item {
            width: page.contentWidth
            height: page.contentHeight
            z: -1
            WheelHandler {
                orientation: Qt.Vertical
                onWheel: event => screen.wheelPage(event)
            }
        }

        Column {
            id: top
            width: parent.width
            visible: resultsData.hasReport
            Item { width: 1; height: Theme.l }
            // As tall as its header, which the loader follows by itself: a height bound to the
            // header's would be written back into the header while it lays itself out.
            Loader {
                id: header
                x: Theme.xl
                width: parent.width - 2 * Theme.xl
                sourceComponent: resultsData.cardOnly ? cardOnlyHero : hero
            }
            Item { width: 1; height: Theme.m }
            // The ready-to-format panel enters and leaves with a fade; it is kept while it fades out.
            Item {
                id: ready
                x: Theme.xl
                width: parent.width - 2 * Theme.xl
                height: resultsData.ready && panelLoader.item ? panelLoader.item.implicitHeight + Theme.m : 0
                opacity: resultsData.ready ? 1 : 0
                visible: opacity > 0
                Behavior on opacity { NumberAnimation { duration: Theme.fadeMs * 2; easing.type: Easing.InOutQuad } }
                Loader {
                    id: panelLoader
                    width: parent.width
                    active: resultsData.ready || ready.opacity > 0
                    sourceComponent: ReadyToFormatPanel {
                        objectName: "readyPanel"
                        model: screen.model
                        results: resultsData
                    }
                }
            }
            Item {
                id: strip
                objectName: "filterStrip"
                x: Theme.xl
                width: parent.width - 2 * Theme.xl
                height: Math.max(chips.implicitHeight, contents.implicitHeight) + Theme.m
                Row {
                    id: choices
                    spacing: Theme.m
                    KindChips {
                        id: chips
                        kinds: screen.model.kinds
                        onChanged: kinds => {
                            screen.model.kinds = kinds
                            if (kinds.length > 0)
                                screen.model.check("")
                        }
                    }
                    ComboBox {
                        id: formats
                        objectName: "photoFormats"
                        visible: screen.model.kinds.indexOf("photo") >= 0
                        model: [
                            { value: "all", text: "All photos" },
                            { value: "rawOnly", text: "RAW only" },
                            { value: "processedOnly", text: "JPEG/HEIF only" }
                        ]
                        textRole: "text"
                        valueRole: "value"
                        implicitContentWidthPolicy: ComboBox.WidestText
                        Accessible.name: "Photos"
                        currentIndex: Math.max(0, ["all", "rawOnly", "processedOnly"].indexOf(screen.model.photoFormats))
                        onActivated: {
                            screen.model.photoFormats = currentValue
                            screen.model.check("")
                        }
                        hoverEnabled: true
                        PlainToolTip { shown: formats.hovered; text: "Shooting RAW + JPEG? Choose which ones must be backed up." }
                    }
                }
                // What the choices leave at the strip's trailing end, a small gap kept; the
                // card-contents button drops its words only when even the smallest window's strip
                // cannot hold them.
                readonly property real room: strip.width - choices.width - Theme.s
                CardContentsButton {
                    id: contents
                    anchors.right: parent.right
                    results: resultsData
                    compact: strip.room < fullWidth
                }
            }
            Rectangle { width: parent.width; height: 1; color: Theme.hairline }
        }

        Loader {
            id: modeView
            y: top.height
            width: page.width - page.barRoom
            height: Math.max(page.height - top.height, screen.viewRoom)
            sourceComponent: screen.mode === 1 ? mapView : screen.mode === 2 ? (screen.filesView || filesPlaceholder) : shootsView
        }
        // Over the view: the wheel moves the page first, until the view has its whole room; the
        // view's own list scrolls once the page is at its end, or while it is scrolled itself.
        Item {
            objectName: "viewWheel"
            y: modeView.y
            width: modeView.width
            height: modeView.height
            z: 1
            WheelHandler {
                orientation: Qt.Vertical
                enabled: !page.atEnd && (screen.pageFlickable === null || screen.pageFlickable.atYBeginning)
                onWheel: event => screen.wheelPage(event)
            }
        }
    }

    function wheelPage(event) {
        // A notch of the wheel is three lines; a touchpad says its pixels.
        const dy = event.pixelDelta.y !== 0 ? event.pixelDelta.y : event.angleDelta.y / 120 * 60
        page.contentY = Math.max(0, Math.min(page.end, page.contentY - dy))
    }

    // The page of the mode shown, for Page Up and Page Down: the shoots list has one. Before it,
    // the page above it.
    readonly property var pageFlickable: modeView.item && modeView.item.pageFlickable ? modeView.item.pageFlickable : null
    readonly property var outerFlickable: page.visible ? page : null

    Component {
        id: hero
        Hero {
            model: screen.model
            results: resultsData
            lastCopyButton: screen.lastCopyButton
            onShowUnreadable: contents.showList()
        }
    }
    Component {
        id: cardOnlyHero
        CardOnlyHero { model: screen.model; results: resultsData; onShowUnreadable: contents.showList() }
    }
    Component {
        id: shootsView
        ShootsView { model: screen.model; results: resultsData; thumbnails: screen.thumbnails }
    }
    Component {
        id: mapView
        MapView { model: screen.model; results: resultsData }
    }
    Component {
        id: filesPlaceholder
        Placeholder { title: "Files" }
    }
}

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

    Results {
        id: resultsData
        model: screen.model
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
    // and the copy dialog has its own.
    Shortcut {
        objectName: "resultsReturn"
        sequences: ["Return", "Enter"]
        enabled: resultsData.hasReport && (resultsData.cardOnly || resultsData.hero.copyable >= 1)
                 && !screen.model.hasCopyRequest && !Present.keepsReturn(screen.Window.activeFocusItem)
        onActivated: {
            if (resultsData.cardOnly)
                header.item.primary()
            else
                screen.model.requestCopyAllMissing()
        }
    }

    Column {
        id: top
        width: parent.width
        visible: resultsData.hasReport
        Item { width: 1; height: Theme.l }
        Loader {
            id: header
            x: Theme.xl
            width: parent.width - 2 * Theme.xl
            height: item ? item.implicitHeight : 0
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
                height: item ? item.implicitHeight : 0
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

    // The page of the mode shown, for Page Up and Page Down: the shoots list has one.
    readonly property var pageFlickable: modeView.item && modeView.item.pageFlickable ? modeView.item.pageFlickable : null
    Loader {
        id: modeView
        anchors.top: top.bottom
        anchors.bottom: parent.bottom
        width: parent.width
        visible: resultsData.hasReport
        sourceComponent: screen.model.mode === 1 ? mapView : screen.model.mode === 2 ? (screen.filesView || filesPlaceholder) : shootsView
    }

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

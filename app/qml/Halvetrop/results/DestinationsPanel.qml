import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// Where a folder's files (itself and below) lie on the backups, largest place first, and what
// of it is not backed up. The places are a list that makes only the cards in sight: a card may
// have hundreds of places, of which the panel shows forty.
Item {
    id: panel
    required property var model
    required property var results
    property string folder: ""
    readonly property var p: results.hasReport ? results.panel(folder) : ({})
    // The places rows follow this panel's folder while it is on screen.
    onFolderChanged: results.showPlaces(folder)
    Component.onCompleted: results.showPlaces(folder)
    Component.onDestruction: if (results) results.showPlaces(null)

    ListView {
        id: list
        objectName: "placeList"
        anchors.fill: parent
        clip: true
        cacheBuffer: 0
        boundsBehavior: Flickable.StopAtBounds
        topMargin: Theme.xl
        bottomMargin: Theme.xl
        spacing: Theme.l
        ScrollBar.vertical: ScrollBar {}
        // Rows kept by the results as the byte-by-byte pass moves files between places: a fold
        // tells the places that stay their new figures.
        model: panel.p.cardOnly === false ? panel.results.places : null
        header: Column {
            x: Theme.xl
            width: list.width - 2 * Theme.xl
            spacing: Theme.l
            bottomPadding: list.count > 0 ? Theme.l : 0
            Column {
                spacing: 4
                width: parent.width
                // Paths keep their end, cut between their names (a folder cut at its start could be
                // read as another), the whole in the tooltip.
                DataText {
                    id: panelTitle
                    objectName: "panelTitle"
                    readonly property var cut: Present.cutPath(panel.p.title || "", font, width)
                    width: parent.width; text: cut.text; font: Theme.title; elide: Text.ElideNone
                    HoverHandler { id: titleHover }
                    PlainToolTip { shown: titleHover.hovered && panelTitle.cut.cut; text: panelTitle.cut.full }
                }
                Text { objectName: "panelHeader"; text: panel.p.header || ""; font: Theme.secondaryFont; color: Theme.secondary }
            }
            Row {
                visible: panel.p.cardOnly === true
                width: parent.width
                spacing: 6
                Symbol { name: "sdcard" }
                Text {
                    width: parent.width - 22
                    text: "Card-only scan — not compared with a backup."
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                    font: Theme.callout
                    color: Theme.secondary
                }
            }
            Eyebrow { visible: panel.p.cardOnly === false; text: "On your backups" }
            Text {
                objectName: "noPlaces"
                visible: panel.p.cardOnly === false && panel.results.places.count === 0
                text: "None of these files are on a backup yet."
                font: Theme.callout
                color: Theme.secondary
            }
        }
        delegate: Item {
            id: place
            objectName: "placeRow"
            x: Theme.xl
            width: list.width - 2 * Theme.xl
            required property real destination
            required property string path
            required property string title
            required property string detail
            required property real share
            height: placeRow.implicitHeight + 2 * Theme.m
            CardBackground { anchors.fill: parent; radius: Theme.radiusM }
            Row {
                id: placeRow
                x: Theme.m
                y: Theme.m
                width: parent.width - 2 * Theme.m
                spacing: Theme.m
                Symbol { name: "externaldrive.fill"; color: Theme.verified; anchors.verticalCenter: parent.verticalCenter }
                Column {
                    id: info
                    width: placeRow.width - 2 * Theme.m - 16 - 24
                    spacing: 3
                    DataText {
                        id: placeTitle
                        objectName: "placeTitle"
                        // Cut in its middle: places beside it may differ at either end.
                        readonly property var cut: Present.cutPlace(place.title, font, width)
                        width: parent.width; text: cut.text; font: Theme.rowTitle; elide: Text.ElideNone
                        HoverHandler { id: placeHover }
                        LazyToolTip { shown: placeHover.hovered && placeTitle.cut.cut; text: placeTitle.cut.full }
                    }
                    DataText { objectName: "placeDetail"; width: parent.width; text: place.detail; font: Theme.secondaryFont; color: Theme.secondary }
                    Item {
                        width: parent.width
                        height: 4
                        Rectangle {
                            height: 4
                            radius: 2
                            color: Theme.verified
                            width: Math.max(parent.width * place.share, 3)
                        }
                    }
                }
                SymbolButton {
                    objectName: "revealPlace"
                    anchors.verticalCenter: parent.verticalCenter
                    symbol: "arrow.right.circle"
                    tint: Theme.secondary
                    help: "Show in Files"
                    onClicked: panel.results.revealPlace(place.destination, place.path)
                }
            }
        }
        footer: Column {
            x: Theme.xl
            width: list.width - 2 * Theme.xl
            topPadding: Theme.l
            spacing: Theme.l
            Eyebrow { visible: panel.p.cardOnly === false && panel.p.uncovered > 0; text: "Not backed up" }
            Item {
                visible: panel.p.cardOnly === false && panel.p.uncovered > 0
                width: parent.width
                height: missingRow.height + 2 * Theme.m
                CardBackground { anchors.fill: parent; radius: Theme.radiusM; tint: Theme.missing }
                // The count and the buttons on one line where they fit whole; otherwise the buttons go
                // under the count, at the card's trailing edge. The count is never squeezed.
                Item {
                    id: missingRow
                    x: Theme.m
                    y: Theme.m
                    width: parent.width - 2 * Theme.m
                    readonly property bool below: missingSymbol.width + uncoveredText.implicitWidth + buttons.implicitWidth
                                                  + 2 * Theme.s > width
                    height: below ? Math.max(missingSymbol.height, uncoveredText.height) + Theme.s + buttons.height
                                  : Math.max(missingSymbol.height, uncoveredText.height, buttons.height)
                    Symbol {
                        id: missingSymbol
                        name: "xmark.circle.fill"
                        color: Theme.missing
                        y: missingRow.below ? 0 : (missingRow.height - height) / 2
                    }
                    Text {
                        id: uncoveredText
                        objectName: "uncoveredText"
                        x: missingSymbol.width + Theme.s
                        y: missingRow.below ? 0 : (missingRow.height - height) / 2
                        width: Math.min(implicitWidth, missingRow.width - x)
                        text: panel.p.uncoveredText || ""
                        textFormat: Text.PlainText
                        wrapMode: Text.Wrap
                        font: Theme.rowTitle
                        color: Theme.primary
                    }
                    Row {
                        id: buttons
                        anchors.right: parent.right
                        y: missingRow.below ? Math.max(missingSymbol.height, uncoveredText.height) + Theme.s : (missingRow.height - height) / 2
                        spacing: Theme.s
                        Button {
                            objectName: "showUncovered"
                            anchors.verticalCenter: parent.verticalCenter
                            text: "Show"
                            onClicked: panel.model.showNotBackedUp(panel.folder)
                        }
                        ActionButton {
                            objectName: "copyUncovered"
                            anchors.verticalCenter: parent.verticalCenter
                            visible: panel.p.copyable > 0
                            prominent: true
                            text: "Copy to Backup…"
                            onClicked: panel.model.requestCopy(panel.results.uncoveredIDs(panel.folder), panel.p.copyTitle)
                        }
                    }
                }
            }
        }
    }
}

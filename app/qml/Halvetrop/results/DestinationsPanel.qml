import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// Where a folder's files (itself and below) lie on the backups, largest place first, and what
// of it is not backed up.
ScrollView {
    id: panel
    required property var model
    required property var results
    property string folder: ""
    readonly property var p: results.hasReport ? results.panel(folder) : ({})
    contentWidth: availableWidth

    Column {
        x: Theme.xl
        y: Theme.xl
        width: panel.availableWidth - 2 * Theme.xl
        spacing: Theme.l
        Column {
            spacing: 4
            width: parent.width
            DataText { objectName: "panelTitle"; width: parent.width; text: panel.p.title || ""; font: Theme.title; elide: Text.ElideLeft }
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
            visible: panel.p.cardOnly === false && (panel.p.places || []).length === 0
            text: "None of these files are on a backup yet."
            font: Theme.callout
            color: Theme.secondary
        }
        Repeater {
            model: panel.p.cardOnly === false ? panel.p.places : []
            Item {
                id: place
                required property var modelData
                objectName: "placeRow"
                width: parent.width
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
                        DataText { width: parent.width; text: place.modelData.title; font: Theme.rowTitle; elide: Text.ElideLeft }
                        DataText { width: parent.width; text: place.modelData.detail; font: Theme.secondaryFont; color: Theme.secondary }
                        Item {
                            width: parent.width
                            height: 4
                            Rectangle {
                                height: 4
                                radius: 2
                                color: Theme.verified
                                width: Math.max(parent.width * place.modelData.share, 3)
                            }
                        }
                    }
                    SymbolButton {
                        objectName: "revealPlace"
                        anchors.verticalCenter: parent.verticalCenter
                        symbol: "arrow.right.circle"
                        tint: Theme.secondary
                        help: "Show in Files"
                        onClicked: panel.results.revealPlace(place.modelData.destination, place.modelData.path)
                    }
                }
            }
        }
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

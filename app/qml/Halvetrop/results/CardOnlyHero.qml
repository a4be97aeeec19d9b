import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// The header of a card-only scan: what the card holds, and the way on to a compared check.
Item {
    id: hero
    required property var model
    required property var results
    readonly property var h: results.hero
    readonly property bool hasBackups: model.destinations.length > 0
    signal showUnreadable()
    implicitHeight: content.implicitHeight + 2 * Theme.xl

    // Return belongs to the screen's one default-action shortcut, which presses this.
    function primary() {
        if (hasBackups) {
            hero.model.cardOnly = false
            hero.model.check("")
        } else {
            hero.model.checkAgainstBackup(false)
        }
    }

    Rectangle {
        anchors.fill: parent
        radius: Theme.radiusXL
        color: Theme.raised
        border.color: Qt.rgba(Theme.brand.r, Theme.brand.g, Theme.brand.b, 0.22)
        gradient: Gradient {
            orientation: Gradient.Horizontal
            GradientStop { position: 0; color: Qt.rgba(Theme.brand.r, Theme.brand.g, Theme.brand.b, Theme.dark ? 0.2 : 0.1) }
            GradientStop { position: 1; color: Qt.rgba(Theme.brand.r, Theme.brand.g, Theme.brand.b, 0.02) }
        }
    }
    Row {
        id: content
        x: Theme.xl
        y: Theme.xl
        width: parent.width - 2 * Theme.xl
        spacing: Theme.xxl
        SystemIcon {
            anchors.verticalCenter: parent.verticalCenter
            pathKey: hero.h.sourceKey || ""
            size: 92
            fallback: "sdcard.fill"
            card: hero.h.cardLike === true
        }
        Column {
            id: main
            width: content.width - 92 - Theme.xxl
            spacing: 6
            CardEyebrow { h: hero.h }
            Text {
                objectName: "cardOnlyTitle"
                width: main.width
                text: hero.h.cardOnlyTitle || ""
                font.family: Theme.family
                font.pixelSize: 30
                font.bold: true
                color: Theme.primary
                fontSizeMode: Text.HorizontalFit
                minimumPixelSize: 21
                elide: Text.ElideRight
            }
            Text {
                text: "Read from the card only — nothing was compared with a backup yet."
                font: Theme.callout
                color: Theme.secondary
            }
            UnreadableNote { width: main.width; h: hero.h; onShow: hero.showUnreadable() }
            Row {
                topPadding: 2
                spacing: Theme.l
                Repeater {
                    model: hero.h.kinds || []
                    Row {
                        required property var modelData
                        spacing: 5
                        Symbol { name: modelData.symbol; color: Theme.brand; size: 13; anchors.verticalCenter: parent.verticalCenter }
                        Text { text: modelData.count; font.family: Theme.family; font.pixelSize: 12; font.weight: Font.DemiBold; color: Theme.primary }
                        Text { text: modelData.word; font: Theme.callout; color: Theme.secondary }
                    }
                }
                Text { text: hero.h.bytes || ""; font: Theme.secondaryFont; color: Theme.tertiary; anchors.verticalCenter: parent.verticalCenter }
            }
            Flow {
                width: main.width
                topPadding: Theme.xs
                spacing: Theme.s
                ActionButton {
                    objectName: "compare"
                    prominent: true
                    symbol: "externaldrive.badge.checkmark"
                    text: hero.hasBackups ? hero.results.compareTitle(hero.model.destinations) : "Choose a Backup and Check…"
                    onClicked: hero.primary()
                }
                ActionButton {
                    objectName: "otherBackup"
                    visible: hero.hasBackups
                    symbol: "externaldrive"
                    text: "Other Backup…"
                    onClicked: hero.model.checkAgainstBackup(false)
                }
                ActionButton {
                    objectName: "scanAnother"
                    symbol: "sdcard"
                    text: "Scan Another Card"
                    // The next card is scanned alone too, whatever state the model was left in.
                    onClicked: {
                        hero.model.cardOnly = true
                        hero.model.checkAnotherCard(-1)
                    }
                }
                ActionButton {
                    objectName: "cardOnlyEject"
                    visible: hero.model.canEjectSource === true
                    enabled: !hero.model.ejecting
                    symbol: hero.model.ejecting ? "" : "eject.fill"
                    text: hero.model.ejecting ? "" : "Eject"
                    BusyIndicator { anchors.centerIn: parent; visible: hero.model.ejecting; running: visible; width: 14; height: 14 }
                    onClicked: hero.model.ejectSource()
                }
            }
        }
    }
}

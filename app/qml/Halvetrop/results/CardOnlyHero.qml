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
    // The icon gives its room to the words in a narrow window.
    readonly property bool showsIcon: content.width - 92 - Theme.xxl >= 440
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

    HeaderCard {
        anchors.fill: parent
        tint: Theme.brand
        strong: Theme.dark ? 0.2 : 0.1
        borderOpacity: 0.22
    }
    Row {
        id: content
        x: Theme.xl
        y: Theme.xl
        width: parent.width - 2 * Theme.xl
        spacing: Theme.xxl
        SystemIcon {
            visible: hero.showsIcon
            anchors.verticalCenter: parent.verticalCenter
            pathKey: hero.h.sourceKey || ""
            size: 92
            fallback: "sdcard.fill"
            card: hero.h.cardLike === true
        }
        Column {
            id: main
            width: content.width - (hero.showsIcon ? 92 + Theme.xxl : 0)
            spacing: 6
            CardEyebrow { width: main.width; h: hero.h }
            HeaderTitle {
                objectName: "cardOnlyTitle"
                width: main.width
                text: hero.h.cardOnlyTitle || ""
            }
            Text {
                width: main.width
                text: "Read from the card only — nothing was compared with a backup yet."
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                font: Theme.callout
                color: Theme.secondary
            }
            SavedLine {
                width: main.width
                model: hero.model
                h: hero.h
            }
            UnreadableNote { width: main.width; h: hero.h; onShow: hero.showUnreadable() }
            Flow {
                width: main.width
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
                Text { text: hero.h.bytes || ""; font: Theme.secondaryFont; color: Theme.tertiary; height: 15; verticalAlignment: Text.AlignVCenter }
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
                    name: "Eject"
                    BusyIndicator { anchors.centerIn: parent; visible: hero.model.ejecting; running: visible; width: 14; height: 14 }
                    onClicked: hero.model.ejectSource()
                }
            }
        }
    }
}

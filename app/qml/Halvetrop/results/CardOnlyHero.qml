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
    // The icon gives its room to the words in a narrow window, and to the buttons when their
    // compact form would not fit beside it.
    readonly property bool showsIcon: content.width - 92 - Theme.xxl >= 440
                                      && Present.fitActionRow(actions.widths(), Theme.s, content.width - 92 - Theme.xxl).form !== "symbols"
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

    // The backups named as the sidebar names them.
    readonly property var actionItems: Present.cardOnlyActions(model.destinationKeys, model.volumeFacts,
                                                               model.canEjectSource === true)
    function act(id) {
        switch (id) {
        case "compare": hero.primary(); break
        case "otherBackup": hero.model.checkAgainstBackup(false); break
        case "scanAnother":
            // The next card is scanned alone too, whatever state the model was left in.
            hero.model.cardOnly = true
            hero.model.checkAnotherCard(-1)
            break
        case "cardOnlyEject": hero.model.ejectSource(); break
        }
    }

    // One form of the action row; the full form's buttons carry the plain names.
    component CardOnlyActions: Row {
        id: actionRow
        property string form: "full"
        // Set on the last form: the width its first button is cut to when even it is too wide.
        property real room: -1
        readonly property string prefix: form === "full" ? "" : form + "-"
        spacing: Theme.s
        function widths() {
            const out = []
            for (let k = 0; k < buttons.count; ++k)
                out.push(buttons.itemAt(k) ? buttons.itemAt(k).implicitWidth : 0)
            return out
        }
        // What the buttons after the first take, with their gaps.
        readonly property real rest: widths().slice(1).reduce((sum, w) => sum + w + spacing, 0)
        // Kept in place by their ids: the first button's width reads the others', and a button
        // made anew on every change of the model would be read while it is being taken away.
        Repeater {
            id: buttons
            model: KeyedList {
                key: "id"
                rows: hero.actionItems
            }
            ActionButton {
                required property var row
                required property int index
                readonly property bool busy: row.id === "cardOnlyEject" && hero.model.ejecting === true
                objectName: actionRow.prefix + row.id
                prominent: index === 0
                symbol: busy ? "" : row.symbol
                text: busy ? "" : actionRow.form === "full" ? row.full
                                : actionRow.form === "compact" || row.keepsText ? row.compact : ""
                name: row.compact
                help: actionRow.form !== "full" && index === 0 ? row.full : ""
                enabled: !busy
                width: index === 0 && actionRow.room >= 0
                       ? Math.min(implicitWidth, Math.max(60, actionRow.room - actionRow.rest))
                       : implicitWidth
                BusyIndicator { anchors.centerIn: parent; visible: parent.busy; running: visible; width: 14; height: 14 }
                onClicked: hero.act(row.id)
            }
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
            CardNote { width: main.width; text: hero.h.cardNote || "" }
            // Lines of counters sit close: the gap between counters is their own padding.
            Flow {
                objectName: "cardOnlyStats"
                width: main.width
                topPadding: 2
                spacing: 4
                Repeater {
                    model: hero.h.kinds || []
                    Row {
                        required property var modelData
                        spacing: 5
                        rightPadding: Theme.l - 4
                        Symbol { name: modelData.symbol; color: Theme.brand; size: 13; anchors.verticalCenter: parent.verticalCenter }
                        Text { text: modelData.count; font.family: Theme.family; font.pixelSize: 12; font.weight: Font.DemiBold; color: Theme.primary }
                        Text { text: modelData.word; font: Theme.callout; color: Theme.secondary }
                    }
                }
                Text { text: hero.h.bytes || ""; font: Theme.secondaryFont; color: Theme.tertiary; height: 15; verticalAlignment: Text.AlignVCenter }
            }
            // The buttons in one row, never wrapped: the full form, the compact one, or the
            // compact one with every button but the first shown by its symbol; a title still
            // too long is cut, its tooltip whole.
            Item {
                id: actions
                objectName: "cardOnlyActions"
                width: main.width
                height: fullRow.implicitHeight + Theme.xs
                readonly property var fit: Present.fitActionRow(widths(), Theme.s, width)
                function widths() {
                    const f = fullRow.widths(), c = compactRow.widths(), s = symbolsRow.widths()
                    return f.map((w, k) => [w, c[k], s[k]])
                }
                CardOnlyActions { id: fullRow; y: Theme.xs; form: "full"; visible: actions.fit.form === "full" }
                CardOnlyActions { id: compactRow; y: Theme.xs; form: "compact"; visible: actions.fit.form === "compact" }
                CardOnlyActions { id: symbolsRow; y: Theme.xs; form: "symbols"; visible: actions.fit.form === "symbols"; room: actions.width }
            }
        }
    }
}

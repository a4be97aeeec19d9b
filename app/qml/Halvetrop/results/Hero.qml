import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// The verdict of a compared check: the card, a title and reason, the counters, the byte-by-byte
// strip while that pass runs, the actions and the coverage ring. Every text comes from `results`.
// In a narrow window the card's icon gives its room to the words, and the action row takes the
// first of its full, compact and symbols forms that fits, moving under the ring when the column
// beside it is too narrow for the compact one.
Item {
    id: hero
    required property var model
    required property var results
    property Component lastCopyButton: null
    readonly property var h: results.hero
    signal showUnreadable()
    readonly property color tint: h.tint ? Look.color(h.tint) : Theme.secondary
    // Below this the main column would be too narrow for a title and its reason beside the icon.
    readonly property bool showsIcon: content.width - 92 - ring.width - 2 * Theme.xxl >= 440
    implicitHeight: content.implicitHeight + 2 * Theme.xl + (actions.inColumn ? 0 : actions.height + Theme.s)

    HeaderCard {
        anchors.fill: parent
        tint: hero.tint
    }

    Row {
        id: content
        x: Theme.xl
        y: Theme.xl
        width: parent.width - 2 * Theme.xl
        spacing: Theme.xxl
        SystemIcon {
            objectName: "heroIcon"
            visible: hero.showsIcon
            anchors.verticalCenter: parent.verticalCenter
            pathKey: hero.h.sourceKey || ""
            size: 92
            fallback: "sdcard.fill"
            card: hero.h.cardLike === true
        }
        Column {
            id: main
            width: content.width - (hero.showsIcon ? 92 + Theme.xxl : 0) - ring.width - Theme.xxl
            anchors.verticalCenter: parent.verticalCenter
            spacing: 6
            CardEyebrow { width: main.width; h: hero.h }
            HeaderTitle {
                objectName: "heroTitle"
                width: main.width
                text: hero.h.title || ""
            }
            DataText {
                id: reason
                objectName: "heroReason"
                width: main.width
                // As tall as the longer of what it says with the byte-by-byte pass and without.
                height: Math.max(implicitHeight, passReason.implicitHeight)
                text: hero.h.reason || ""
                font: Theme.callout
                color: Theme.secondary
                wrapMode: Text.Wrap
                maximumLineCount: hero.showsIcon ? 2 : 3
                DataText {
                    id: passReason
                    visible: false
                    width: reason.width
                    text: hero.h.passReason || ""
                    font: reason.font
                    wrapMode: reason.wrapMode
                    maximumLineCount: reason.maximumLineCount
                }
            }
            SavedLine {
                width: main.width
                model: hero.model
                h: hero.h
            }
            UnreadableNote {
                width: main.width
                h: hero.h
                withCount: false
                onShow: hero.showUnreadable()
            }
            CardNote { width: main.width; text: hero.h.cardNote || "" }
            SkippedKindsNote {
                width: main.width
                visible: (hero.h.skipped || "") !== ""
                model: hero.model
                h: hero.h
            }
            // A wrapped line sits close under the first: the gap between counters is their own
            // trailing padding, not the flow's spacing, which also spaces the lines.
            Flow {
                objectName: "heroStats"
                width: main.width
                topPadding: 2
                spacing: 4
                Repeater {
                    model: hero.h.stats || []
                    Row {
                        required property var modelData
                        spacing: 5
                        rightPadding: Theme.l - 4
                        Rectangle { width: 8; height: 8; radius: 4; color: Look.color(modelData.color); anchors.verticalCenter: parent.verticalCenter }
                        Text { text: modelData.value; font.family: Theme.family; font.pixelSize: 12; font.weight: Font.DemiBold; color: Theme.primary }
                        Text { text: modelData.label; font: Theme.callout; color: Theme.secondary }
                    }
                }
                Text { objectName: "heroDetail"; text: hero.h.detail || ""; font: Theme.secondaryFont; color: Theme.tertiary; height: 15; verticalAlignment: Text.AlignVCenter }
            }
            // The strip's place, kept while a pass can run over the result: the strip comes and
            // goes inside it, and nothing under the pointer moves.
            Item {
                objectName: "stripRoom"
                visible: hero.h.passRoom === true
                width: main.width
                height: strip.roomHeight
                DeepVerifyStrip {
                    id: strip
                    visible: hero.model.deepVerifying === true
                    model: hero.model
                    h: hero.h
                    width: parent.width
                }
            }
            // Where the action row stands when it fits beside the ring.
            Item {
                id: actionSlot
                width: main.width
                height: actions.inColumn ? actions.height : 0
            }
        }
        CoverageRing {
            id: ring
            objectName: "coverageRing"
            anchors.verticalCenter: parent.verticalCenter
            segments: hero.results.segments
            percent: hero.h.percent !== undefined ? hero.h.percent : 100
            allCovered: hero.h.allCovered === true
            tint: hero.h.ringTint || ""
            files: hero.h.files || 0
        }
    }

    // The action row: in the main column while its full or compact form fits there; otherwise
    // across the header under the ring, so the default window never shows it as bare symbols.
    Item {
        id: actions
        objectName: "heroActions"
        // Every form is laid out (the hidden ones too) so each button's width is known.
        readonly property var buttonWidths: widths()
        // The button that keeps its words in every form (the copy button): the compact row gives
        // it its full text where it has room for it.
        readonly property int lead: (hero.h.actionItems || []).findIndex(i => i.keepsText === true)
        // From the main column's start to the header's end: the room across, under the ring.
        readonly property real across: content.width - main.x
        // Where the column is taller than the ring, the row in it may lie below the ring's bottom:
        // it then has the room under the ring too. Reckoned with the row in the column, whichever
        // place it takes.
        readonly property real columnWithRow: actionSlot.y + height
        readonly property bool belowRing: columnWithRow >= ring.height
                                          && actionSlot.y >= (Math.max(columnWithRow, hero.showsIcon ? 92 : 0) + ring.height) / 2 + Theme.xs
        readonly property real columnWidth: belowRing ? across : main.width
        readonly property var columnFit: Present.fitActionRow(buttonWidths, Theme.s, columnWidth, lead)
        readonly property bool inColumn: columnFit.form !== "symbols"
        readonly property var fit: inColumn ? columnFit : Present.fitActionRow(buttonWidths, Theme.s, across, lead)
        // The form counts a button held back (the verify button while the pass runs), so that the
        // row keeps its form as the pass starts and ends; the copy button's words count only what
        // is shown: the room a held button leaves gives it its full text.
        readonly property var shown: (hero.h.actionItems || []).map((i, k) => i.held ? -1 : k).filter(k => k >= 0)
        readonly property var shownFit: Present.fitActionRow(shown.map(k => buttonWidths[k]), Theme.s,
                                                             inColumn ? columnWidth : across, shown.indexOf(lead))
        readonly property bool leadFull: fit.form === "compact"
                                         && (fit.leadFull === true || shownFit.form === "full" || shownFit.leadFull === true)
        function widths() {
            const f = full.widths(), c = compact.widths(), s = symbols.widths()
            return f.map((w, k) => [w, c[k], s[k]])
        }
        x: content.x + main.x
        y: inColumn ? content.y + main.y + actionSlot.y : content.y + content.height + Theme.s
        width: inColumn ? columnWidth : across
        height: full.implicitHeight + Theme.xs
        HeroActions {
            id: full
            y: Theme.xs
            objectName: "fullActions"
            visible: actions.fit.form === "full"
            model: hero.model
            hero: hero.h
            lastCopyButton: hero.lastCopyButton
        }
        HeroActions {
            id: compact
            y: Theme.xs
            objectName: "compactActions"
            form: "compact"
            leadFull: actions.leadFull
            visible: actions.fit.form === "compact"
            model: hero.model
            hero: hero.h
            lastCopyButton: hero.lastCopyButton
        }
        HeroActions {
            id: symbols
            y: Theme.xs
            objectName: "symbolActions"
            form: "symbols"
            visible: actions.fit.form === "symbols"
            model: hero.model
            hero: hero.h
            lastCopyButton: hero.lastCopyButton
        }
    }
}

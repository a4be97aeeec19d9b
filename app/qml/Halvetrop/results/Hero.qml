import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// The verdict of a compared check: the card, a title and reason, the counters, the byte-by-byte
// strip while that pass runs, the actions (full, or compact when the full row does not fit) and
// the coverage ring. Every text comes from `results`.
Item {
    id: hero
    required property var model
    required property var results
    property Component lastCopyButton: null
    readonly property var h: results.hero
    signal showUnreadable()
    readonly property color tint: h.tint ? Look.color(h.tint) : Theme.secondary
    implicitHeight: content.implicitHeight + 2 * Theme.xl

    Rectangle {
        anchors.fill: parent
        radius: Theme.radiusXL
        color: Theme.raised
        border.color: Qt.rgba(hero.tint.r, hero.tint.g, hero.tint.b, 0.25)
        gradient: Gradient {
            orientation: Gradient.Horizontal
            GradientStop { position: 0; color: Qt.rgba(hero.tint.r, hero.tint.g, hero.tint.b, Theme.dark ? 0.22 : 0.13) }
            GradientStop { position: 1; color: Qt.rgba(hero.tint.r, hero.tint.g, hero.tint.b, 0.02) }
        }
    }

    Row {
        id: content
        x: Theme.xl
        y: Theme.xl
        width: parent.width - 2 * Theme.xl
        spacing: Theme.xxl
        SystemIcon {
            objectName: "heroIcon"
            anchors.verticalCenter: parent.verticalCenter
            pathKey: hero.h.sourceKey || ""
            size: 92
            fallback: "sdcard.fill"
            card: hero.h.cardLike === true
        }
        Column {
            id: main
            width: content.width - 92 - ring.width - 2 * Theme.xxl
            anchors.verticalCenter: parent.verticalCenter
            spacing: 6
            CardEyebrow { h: hero.h }
            Text {
                objectName: "heroTitle"
                width: main.width
                text: hero.h.title || ""
                font.family: Theme.family
                font.pixelSize: 30
                font.bold: true
                color: Theme.primary
                fontSizeMode: Text.HorizontalFit
                minimumPixelSize: 21
                elide: Text.ElideRight
                maximumLineCount: 1
            }
            DataText {
                objectName: "heroReason"
                width: main.width
                text: hero.h.reason || ""
                font: Theme.callout
                color: Theme.secondary
                wrapMode: Text.Wrap
                maximumLineCount: 2
            }
            UnreadableNote {
                width: main.width
                h: hero.h
                withCount: false
                onShow: hero.showUnreadable()
            }
            SkippedKindsNote {
                width: main.width
                visible: (hero.h.skipped || "") !== ""
                model: hero.model
                h: hero.h
            }
            Flow {
                objectName: "heroStats"
                width: main.width
                topPadding: 2
                spacing: Theme.l
                Repeater {
                    model: hero.h.stats || []
                    Row {
                        required property var modelData
                        spacing: 5
                        Rectangle { width: 8; height: 8; radius: 4; color: Look.color(modelData.color); anchors.verticalCenter: parent.verticalCenter }
                        Text { text: modelData.value; font.family: Theme.family; font.pixelSize: 12; font.weight: Font.DemiBold; color: Theme.primary }
                        Text { text: modelData.label; font: Theme.callout; color: Theme.secondary }
                    }
                }
                Text { text: hero.h.detail || ""; font: Theme.secondaryFont; color: Theme.tertiary }
            }
            DeepVerifyStrip {
                visible: hero.model.deepVerifying === true
                model: hero.model
                h: hero.h
                width: main.width
            }
            Item {
                id: actionsBox
                width: main.width
                height: full.implicitHeight + Theme.xs
                readonly property bool fits: full.implicitWidth <= width
                HeroActions {
                    id: full
                    y: Theme.xs
                    objectName: "fullActions"
                    visible: actionsBox.fits
                    model: hero.model
                    hero: hero.h
                    lastCopyButton: hero.lastCopyButton
                }
                HeroActions {
                    y: Theme.xs
                    objectName: "compactActions"
                    visible: !actionsBox.fits
                    compact: true
                    model: hero.model
                    hero: hero.h
                    lastCopyButton: hero.lastCopyButton
                }
            }
        }
        CoverageRing {
            id: ring
            anchors.verticalCenter: parent.verticalCenter
            segments: hero.results.segments
            percent: hero.h.percent !== undefined ? hero.h.percent : 100
            allCovered: hero.h.allCovered === true
            tint: hero.h.ringTint || ""
            files: hero.h.files || 0
        }
    }
}

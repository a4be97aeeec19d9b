import QtQuick
import QtQuick.Shapes
import Halvetrop

// The raised card behind a results header: the raised fill, over it a gradient of the tint from
// the top-leading to the bottom-trailing corner, a soft shadow under both and a tinted border.
Item {
    id: card
    property color tint: Theme.brand
    property real radius: Theme.radiusXL
    property real strong: Theme.dark ? 0.22 : 0.13  // the gradient's opacity at its start
    property real borderOpacity: 0.25

    SoftShadow {
        anchors.fill: parent
        radius: card.radius
        blur: 14
        offsetY: 4
        strength: Theme.dark ? 0.3 : 0.07
    }
    Rectangle {
        anchors.fill: parent
        radius: card.radius
        color: Theme.raised
    }
    ClippedShape {
        anchors.fill: parent
        ShapePath {
            id: outline
            readonly property real w: card.width
            readonly property real h: card.height
            readonly property real r: Math.min(card.radius, w / 2, h / 2)
            strokeColor: "transparent"
            fillGradient: LinearGradient {
                x1: 0; y1: 0
                x2: card.width; y2: card.height
                GradientStop { position: 0; color: Qt.rgba(card.tint.r, card.tint.g, card.tint.b, card.strong) }
                GradientStop { position: 1; color: Qt.rgba(card.tint.r, card.tint.g, card.tint.b, 0.02) }
            }
            PathSvg {
                path: "M %1 0 H %2 A %1 %1 0 0 1 %3 %1 V %4 A %1 %1 0 0 1 %2 %5 H %1 A %1 %1 0 0 1 0 %4 V %1 A %1 %1 0 0 1 %1 0 Z"
                      .arg(outline.r).arg(outline.w - outline.r).arg(outline.w).arg(outline.h - outline.r).arg(outline.h)
            }
        }
    }
    Rectangle {
        anchors.fill: parent
        radius: card.radius
        color: "transparent"
        border.width: 1
        border.color: Qt.rgba(card.tint.r, card.tint.g, card.tint.b, card.borderOpacity)
    }
}

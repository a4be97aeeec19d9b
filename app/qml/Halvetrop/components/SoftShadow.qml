import QtQuick

// A soft shadow without a blur effect (the software renderer draws none): rings of a rounded
// rectangle whose opacity falls off outwards, so every renderer shows the same thing.
Item {
    id: root
    property real radius: 12
    property real blur: 6
    property real offsetY: 1
    property color color: "black"
    property real strength: 0.06

    Repeater {
        model: Math.max(1, Math.round(root.blur / 2))
        Rectangle {
            required property int index
            readonly property real spread: (index + 1) * root.blur / Math.max(1, Math.round(root.blur / 2))
            x: -spread / 2
            y: root.offsetY - spread / 2
            width: root.width + spread
            height: root.height + spread
            radius: root.radius + spread / 2
            color: root.color
            opacity: root.strength / Math.max(1, Math.round(root.blur / 2)) * 1.6
        }
    }
}

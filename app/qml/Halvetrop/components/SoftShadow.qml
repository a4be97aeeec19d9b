import QtQuick
import Halvetrop
import Halvetrop.Native

// A soft shadow of a rounded rectangle the size of this item: a blurred nine-patch stretched to
// fit, so every renderer, the software one too, draws the same thing.
Item {
    id: root
    property real radius: 12
    property real blur: 6
    property real offsetY: 1
    property color color: "black"
    property real strength: 0.06
    readonly property var patch: Look.shadow(radius, blur)
    readonly property int border: patch.border
    readonly property int reach: patch.reach

    BorderImage {
        x: -root.reach
        y: root.offsetY - root.reach
        width: root.width + 2 * root.reach
        height: root.height + 2 * root.reach
        visible: root.strength > 0
        opacity: root.strength
        source: "image://shadow/" + root.radius + "/" + root.blur + "/" + root.color.toString().slice(1)
        border { left: root.border; right: root.border; top: root.border; bottom: root.border }
        horizontalTileMode: BorderImage.Stretch
        verticalTileMode: BorderImage.Stretch
        smooth: true
        cache: true
    }
}

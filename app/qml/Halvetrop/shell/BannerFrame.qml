import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop

// The floating capsule of a bottom banner: an opaque raised fill (no renderer here blurs what lies
// behind, so a see-through fill would lay the page's words under the banner's), a tinted border
// and a soft shadow.
// It moves in from the bottom edge with a fade and leaves the same way; a change of what it says
// (another card) resizes it with the layout spring.
Item {
    id: frame
    property color tint: Theme.brandFill
    property bool shown: false
    default property alias content: row.data
    signal dismiss

    visible: opacity > 0
    opacity: shown ? 1 : 0
    implicitWidth: row.implicitWidth + 2 * Theme.l
    implicitHeight: row.implicitHeight + 2 * Theme.m
    width: implicitWidth
    height: implicitHeight
    // From below the window's bottom edge: the banner rests Theme.xl above it.
    transform: Translate {
        y: frame.shown ? 0 : frame.height + Theme.xl
        Behavior on y { NumberAnimation { duration: Theme.layoutMs; easing.type: Easing.OutCubic } }
    }
    Behavior on opacity { NumberAnimation { duration: Theme.layoutMs; easing.type: Easing.InOutQuad } }
    Behavior on width {
        enabled: frame.shown
        NumberAnimation { duration: Theme.layoutMs; easing.type: Easing.OutCubic }
    }

    SoftShadow {
        anchors.fill: parent
        radius: Math.min(height / 2, 40)
        blur: 14
        offsetY: 6
        strength: 0.15
    }
    Rectangle {
        objectName: "bannerFill"
        anchors.fill: parent
        radius: height / 2
        color: Theme.raised
        border.width: 1
        border.color: Qt.rgba(frame.tint.r, frame.tint.g, frame.tint.b, 0.4)
    }
    RowLayout {
        id: row
        anchors.centerIn: parent
        spacing: Theme.m
    }
}

import QtQuick
import Halvetrop

// A segment that slides across the bar and back while no total is known; it draws no track.
Item {
    id: bar
    clip: true
    property real x0: -0.3
    Rectangle {
        objectName: "segment"
        width: bar.width * 0.3
        height: bar.height
        radius: height / 2
        x: bar.width * bar.x0
        color: Theme.brandFill
    }
    SequentialAnimation on x0 {
        loops: Animation.Infinite
        running: bar.visible
        NumberAnimation { from: -0.3; to: 0.7; duration: 1100; easing.type: Easing.InOutQuad }
        NumberAnimation { from: 0.7; to: -0.3; duration: 1100; easing.type: Easing.InOutQuad }
    }
}

import QtQuick
import Halvetrop

// A thin capsule: covered files, then files that need attention; the rest is track.
Rectangle {
    id: bar
    required property var results
    property var counts: ({})
    property real barHeight: 7
    readonly property var parts: results.bar(counts, width, barHeight)
    implicitHeight: barHeight
    height: barHeight
    radius: barHeight / 2
    color: Theme.track
    clip: true
    Accessible.role: Accessible.Indicator
    Accessible.name: parts.label
    // Placed by hand rather than in a row: a list makes a bar on every row.
    Rectangle {
        visible: bar.parts.covered > 0
        width: bar.parts.covered
        height: parent.height
        color: Theme.verified
    }
    Rectangle {
        visible: bar.parts.attention > 0
        x: bar.parts.covered > 0 ? bar.parts.covered + 1 : 0
        width: bar.parts.attention
        height: parent.height
        color: bar.parts.conflict ? Theme.conflict : Theme.missing
    }
}

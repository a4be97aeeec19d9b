import QtQuick
import QtQuick.Shapes
import Halvetrop

// A rounded rectangle stroked inside its edge with a dashed line (Qt 6.4 has no rounded path
// rectangle, so the corners are arcs).
ClippedShape {
    id: frame
    property real radius: 12
    property real lineWidth: 1.5
    property color strokeColor: "black"
    // On and off lengths in points.
    property real dashOn: 6
    property real dashOff: 5
    readonly property real inset: lineWidth / 2
    readonly property real r: Math.max(0, radius - inset)

    ShapePath {
        strokeColor: frame.strokeColor
        strokeWidth: frame.lineWidth
        fillColor: "transparent"
        strokeStyle: ShapePath.DashLine
        dashPattern: [frame.dashOn / frame.lineWidth, frame.dashOff / frame.lineWidth]
        capStyle: ShapePath.FlatCap
        joinStyle: ShapePath.MiterJoin
        miterLimit: 10
        startX: frame.inset + frame.r
        startY: frame.inset
        PathLine { x: frame.width - frame.inset - frame.r; y: frame.inset }
        PathArc { x: frame.width - frame.inset; y: frame.inset + frame.r; radiusX: frame.r; radiusY: frame.r }
        PathLine { x: frame.width - frame.inset; y: frame.height - frame.inset - frame.r }
        PathArc { x: frame.width - frame.inset - frame.r; y: frame.height - frame.inset; radiusX: frame.r; radiusY: frame.r }
        PathLine { x: frame.inset + frame.r; y: frame.height - frame.inset }
        PathArc { x: frame.inset; y: frame.height - frame.inset - frame.r; radiusX: frame.r; radiusY: frame.r }
        PathLine { x: frame.inset; y: frame.inset + frame.r }
        PathArc { x: frame.inset + frame.r; y: frame.inset; radiusX: frame.r; radiusY: frame.r }
    }
}

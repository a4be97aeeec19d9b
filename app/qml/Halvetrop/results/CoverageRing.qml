import QtQuick
import QtQuick.Shapes
import Halvetrop
import Halvetrop.Native

// The ring of a report's coverage: one arc per status share, clockwise from twelve o'clock.
Item {
    id: ring
    property var segments: []
    property int percent: 100
    property bool showsStatus: true
    property bool allCovered: false
    // A colour role for the centre symbol of a ring that is not the whole story; "" for none.
    property string tint: ""
    property real files: 0
    property real size: 112
    property real line: 12
    implicitWidth: size + 16
    implicitHeight: size + 16
    Accessible.role: Accessible.Indicator
    Accessible.name: "Coverage " + percent + " percent"

    readonly property real r: size / 2 - line / 2

    ClippedShape {
        anchors.fill: parent
        ShapePath {
            strokeColor: Theme.track
            strokeWidth: ring.line
            fillColor: "transparent"
            capStyle: ShapePath.FlatCap
            PathAngleArc {
                centerX: ring.width / 2; centerY: ring.height / 2
                radiusX: ring.r; radiusY: ring.r
                startAngle: 0; sweepAngle: 360
            }
        }
    }
    Repeater {
        model: ring.segments
        ClippedShape {
            required property var modelData
            objectName: "arc-" + modelData.status
            anchors.fill: parent
            readonly property bool dashed: modelData.status === "missing"
            ShapePath {
                strokeColor: Look.color(modelData.color || Present.statusColorRole(modelData.status))
                strokeWidth: dashed ? ring.line * 0.45 : ring.line
                strokeStyle: dashed ? ShapePath.DashLine : ShapePath.SolidLine
                dashPattern: [3 / strokeWidth, 3 / strokeWidth]
                fillColor: "transparent"
                capStyle: ShapePath.FlatCap
                PathAngleArc {
                    centerX: ring.width / 2; centerY: ring.height / 2
                    radiusX: ring.r; radiusY: ring.r
                    startAngle: -90 + modelData.from * 360
                    sweepAngle: (modelData.to - modelData.from) * 360
                }
            }
        }
    }
    Column {
        anchors.centerIn: parent
        spacing: 0
        Symbol {
            anchors.horizontalCenter: parent.horizontalCenter
            visible: ring.showsStatus && ring.files >= 1
            name: ring.allCovered ? "checkmark.seal.fill" : "exclamationmark.triangle.fill"
            color: ring.allCovered ? Theme.verified : ring.tint ? Look.color(ring.tint) : Theme.missing
            size: 20
        }
        Text {
            objectName: "ringPercent"
            anchors.horizontalCenter: parent.horizontalCenter
            text: ring.percent + "%"
            font: Theme.metric
            color: Theme.primary
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "backed up"
            font: Theme.secondaryFont
            color: Theme.secondary
        }
    }
}

import QtQuick
import QtQuick.Controls
import Halvetrop

// Progress of the byte-by-byte pass, counted from the verified files of the shown report. Its seal
// pulses for as long as the strip is shown.
Row {
    id: strip
    required property var model
    property var h: ({})
    spacing: Theme.m
    topPadding: 4
    // Its height, shown or not: the header keeps that room for it.
    readonly property real roomHeight: topPadding + Math.max(seal.implicitHeight, stripText.implicitHeight + 3 + bar.implicitHeight,
                                                             stop.implicitHeight)
    Symbol {
        id: seal
        objectName: "stripSeal"
        name: "checkmark.seal"
        color: Theme.verified
        size: 16
        anchors.verticalCenter: parent.verticalCenter
        SequentialAnimation {
            running: strip.visible
            loops: Animation.Infinite
            onStopped: { seal.opacity = 1; seal.scale = 1 }
            ParallelAnimation {
                NumberAnimation { target: seal; property: "opacity"; to: 0.4; duration: 600; easing.type: Easing.InOutQuad }
                NumberAnimation { target: seal; property: "scale"; to: 0.85; duration: 600; easing.type: Easing.InOutQuad }
            }
            ParallelAnimation {
                NumberAnimation { target: seal; property: "opacity"; to: 1; duration: 600; easing.type: Easing.InOutQuad }
                NumberAnimation { target: seal; property: "scale"; to: 1; duration: 600; easing.type: Easing.InOutQuad }
            }
        }
    }
    Column {
        spacing: 3
        anchors.verticalCenter: parent.verticalCenter
        Text {
            id: stripText
            objectName: "stripText"
            width: Math.min(implicitWidth, bar.width + 120)
            text: strip.h.stripText || ""
            textFormat: Text.PlainText
            elide: Text.ElideRight
            font.family: Theme.family
            font.pixelSize: 11
            font.weight: Font.Medium
            color: Theme.primary
        }
        CapsuleBar {
            id: bar
            objectName: "stripBar"
            width: Math.max(80, Math.min(360, strip.width - seal.width - stop.width - 2 * strip.spacing))
            value: strip.h.stripValue || 0
        }
    }
    Button {
        id: stop
        objectName: "stopPass"
        text: "Stop"
        font.pixelSize: Theme.secondaryFont.pixelSize
        topPadding: 3
        bottomPadding: 3
        anchors.verticalCenter: parent.verticalCenter
        onClicked: strip.model.stopDeepVerify()
        hoverEnabled: true
        PlainToolTip { shown: stop.hovered; text: "Stop the byte-by-byte check. What's verified so far stays verified." }
    }
}

import QtQuick
import QtQuick.Controls
import Halvetrop

// Progress of the byte-by-byte pass, counted from the verified files of the shown report.
Row {
    id: strip
    required property var model
    property var h: ({})
    spacing: Theme.m
    topPadding: 4
    Symbol { name: "checkmark.seal"; color: Theme.verified; size: 16; anchors.verticalCenter: parent.verticalCenter }
    Column {
        spacing: 3
        anchors.verticalCenter: parent.verticalCenter
        Text {
            objectName: "stripText"
            text: strip.h.stripText || ""
            font.family: Theme.family
            font.pixelSize: 11
            font.weight: Font.Medium
            color: Theme.primary
        }
        ProgressBar {
            width: Math.min(360, strip.width - 120)
            from: 0
            to: 1
            value: strip.h.stripValue || 0
            palette.highlight: Theme.verified
        }
    }
    Button {
        objectName: "stopPass"
        text: "Stop"
        anchors.verticalCenter: parent.verticalCenter
        onClicked: strip.model.stopDeepVerify()
        hoverEnabled: true
        PlainToolTip { visible: parent.hovered; text: "Stop the byte-by-byte check. What's verified so far stays verified." }
    }
}

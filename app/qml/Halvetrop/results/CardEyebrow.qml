import QtQuick
import Halvetrop

// The card's name, a chip per camera and the shoot days, above a results header's title.
Row {
    id: eyebrow
    property var h: ({})
    spacing: Theme.s
    Symbol { name: "sdcard.fill"; color: Theme.brand; size: 14; anchors.verticalCenter: parent.verticalCenter }
    DataText { text: eyebrow.h.sourceName || ""; font.pixelSize: 12; font.weight: Font.DemiBold; color: Theme.textRole("brand") }
    Repeater {
        model: eyebrow.h.cameras || []
        Rectangle {
            required property string modelData
            width: chip.implicitWidth + 14
            height: chip.implicitHeight + 4
            radius: height / 2
            color: Theme.tint("cameraChip").fill
            DataText { id: chip; anchors.centerIn: parent; text: modelData; font: Theme.secondaryFont; color: Theme.tint("cameraChip").text }
        }
    }
    Text {
        objectName: "heroDays"
        visible: text !== ""
        text: eyebrow.h.days || ""
        font: Theme.secondaryFont
        color: Theme.secondary
    }
}

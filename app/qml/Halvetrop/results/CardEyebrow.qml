import QtQuick
import Halvetrop
import Halvetrop.Native

// The card's name, a chip per camera and the shoot days, above a results header's title. The
// chips that do not fit give way to a "+N" chip naming them; the card's name gives way before the
// main camera does, and a chip narrowed all the same names its camera in its tooltip. A cut name
// has its tooltip too.
Item {
    id: eyebrow
    property var h: ({})
    readonly property var cameras: h.cameras || []
    readonly property font nameFont: Qt.font({ family: Theme.family, pixelSize: Theme.callout.pixelSize, weight: Font.DemiBold })
    readonly property font chipFont: Qt.font({ family: Theme.family, pixelSize: Theme.secondaryFont.pixelSize, weight: Font.Medium })
    readonly property real chipPadding: 14
    // The least of the card's name kept beside the chips.
    readonly property real nameFloor: 110
    // What the card's name and the chips share: the row less the symbol and the days.
    readonly property real lineRoom: width - symbol.width - Theme.s - (days.visible ? days.implicitWidth + Theme.s : 0)
    readonly property var fit: Present.fitEyebrow(h.sourceName || "", nameFont, nameFloor, cameras, h.cameraFiles || [],
                                                  chipFont, chipPadding, Theme.s, lineRoom)
    implicitHeight: Math.max(name.implicitHeight, 18)

    Row {
        id: line
        height: parent.height
        spacing: Theme.s
        Symbol { id: symbol; name: "sdcard.fill"; color: Theme.brand; size: 14; anchors.verticalCenter: parent.verticalCenter }
        DataText {
            id: name
            objectName: "heroCardName"
            anchors.verticalCenter: parent.verticalCenter
            width: Math.min(implicitWidth, eyebrow.fit.nameWidth)
            text: eyebrow.h.sourceName || ""
            font: eyebrow.nameFont
            color: Theme.textRole("brand")
            HoverHandler { id: nameHover }
            PlainToolTip { shown: nameHover.hovered && name.truncated; text: name.text }
        }
        Repeater {
            model: eyebrow.fit.shown
            Rectangle {
                id: chipBox
                required property int modelData
                objectName: "cameraChip"
                anchors.verticalCenter: parent.verticalCenter
                width: eyebrow.fit.squeezed >= 0 ? eyebrow.fit.squeezed : Math.ceil(chip.implicitWidth + eyebrow.chipPadding)
                height: chip.implicitHeight + 4
                radius: height / 2
                color: Theme.tint("cameraChip").fill
                Accessible.role: Accessible.StaticText
                Accessible.name: chip.text
                DataText {
                    id: chip
                    anchors.centerIn: parent
                    width: Math.max(0, Math.min(implicitWidth, parent.width - eyebrow.chipPadding))
                    text: eyebrow.cameras[chipBox.modelData] || ""
                    font: eyebrow.chipFont
                    color: Theme.tint("cameraChip").text
                }
                HoverHandler { id: chipHover }
                PlainToolTip { shown: chipHover.hovered && chip.truncated; text: chip.text }
            }
        }
        Rectangle {
            objectName: "moreCameras"
            visible: eyebrow.fit.more !== ""
            anchors.verticalCenter: parent.verticalCenter
            width: Math.ceil(more.implicitWidth + eyebrow.chipPadding)
            height: more.implicitHeight + 4
            radius: height / 2
            color: Theme.tint("cameraChip").fill
            Accessible.role: Accessible.StaticText
            Accessible.name: (eyebrow.fit.hidden || []).join(", ")
            Text {
                id: more
                anchors.centerIn: parent
                text: eyebrow.fit.more
                textFormat: Text.PlainText
                font: eyebrow.chipFont
                color: Theme.tint("cameraChip").text
            }
            HoverHandler { id: moreHover }
            PlainToolTip { shown: moreHover.hovered; text: (eyebrow.fit.hidden || []).join("\n") }
        }
        Text {
            id: days
            objectName: "heroDays"
            anchors.verticalCenter: parent.verticalCenter
            visible: text !== ""
            text: eyebrow.h.days || ""
            textFormat: Text.PlainText
            font: Theme.secondaryFont
            color: Theme.secondary
        }
    }
}

import QtQuick
import Halvetrop
import Halvetrop.Native

// The card's name, a chip per camera and the shoot days, above a results header's title. A long
// card name is cut at its end (its tooltip has it whole); the chips that do not fit give way to a
// "+N" chip naming them, the main camera always staying.
Item {
    id: eyebrow
    property var h: ({})
    readonly property var cameras: h.cameras || []
    readonly property font chipFont: Qt.font({ family: Theme.family, pixelSize: Theme.secondaryFont.pixelSize, weight: Font.Medium })
    readonly property real chipPadding: 14
    // What the chips may use: the row less the card's name and the days.
    readonly property real chipRoom: width - symbol.width - name.width - 2 * Theme.s
                                     - (days.visible ? days.implicitWidth + Theme.s : 0)
    readonly property var fit: cameras.length > 0
                               ? Present.fitCameraChips(cameras, h.cameraFiles || [], chipFont, chipPadding, Theme.s, chipRoom)
                               : ({ shown: [], more: "", hidden: [], squeezed: -1 })
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
            width: Math.min(implicitWidth, eyebrow.width * 0.45)
            text: eyebrow.h.sourceName || ""
            font.family: Theme.family
            font.pixelSize: Theme.callout.pixelSize
            font.weight: Font.DemiBold
            color: Theme.textRole("brand")
            HoverHandler { id: nameHover }
            PlainToolTip { shown: nameHover.hovered && name.truncated; text: name.text }
        }
        Repeater {
            model: eyebrow.fit.shown
            Rectangle {
                required property int modelData
                objectName: "cameraChip"
                anchors.verticalCenter: parent.verticalCenter
                width: eyebrow.fit.squeezed >= 0 ? eyebrow.fit.squeezed : chip.implicitWidth + eyebrow.chipPadding
                height: chip.implicitHeight + 4
                radius: height / 2
                color: Theme.tint("cameraChip").fill
                DataText {
                    id: chip
                    anchors.centerIn: parent
                    width: Math.min(implicitWidth, parent.width - eyebrow.chipPadding)
                    text: eyebrow.cameras[modelData] || ""
                    font: eyebrow.chipFont
                    color: Theme.tint("cameraChip").text
                }
            }
        }
        Rectangle {
            objectName: "moreCameras"
            visible: eyebrow.fit.more !== ""
            anchors.verticalCenter: parent.verticalCenter
            width: more.implicitWidth + eyebrow.chipPadding
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

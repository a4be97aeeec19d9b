import QtQuick
import QtQuick.Controls
import Halvetrop

// Toggle chips for the media kinds a check includes. `kinds` is the model's list of kind names;
// a tap hands the new list to `changed`, which the caller writes back to the model.
Row {
    id: root
    property var kinds: []
    signal changed(var kinds)
    spacing: Theme.s

    readonly property var chips: [
        { kind: "photo", text: "Photos", symbol: "photo" },
        { kind: "video", text: "Videos", symbol: "video" },
        { kind: "audio", text: "Audio", symbol: "waveform" },
        { kind: "other", text: "Other", symbol: "doc" }
    ]

    function toggled(kind) {
        const on = root.kinds.indexOf(kind) >= 0
        const next = root.kinds.filter(k => k !== kind)
        if (!on) next.push(kind)
        return next
    }

    Repeater {
        model: root.chips
        AbstractButton {
            id: chip
            required property var modelData
            readonly property bool on: root.kinds.indexOf(modelData.kind) >= 0
            objectName: "chip-" + modelData.kind
            text: modelData.text
            checkable: false
            Accessible.role: Accessible.CheckBox
            Accessible.checked: on
            leftPadding: Theme.m
            rightPadding: Theme.m
            topPadding: 5
            bottomPadding: 5
            onClicked: root.changed(root.toggled(modelData.kind))
            contentItem: Row {
                spacing: 5
                Symbol {
                    anchors.verticalCenter: parent.verticalCenter
                    name: chip.modelData.symbol
                    size: 14
                    color: chip.on ? Theme.brand : Theme.secondary
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: chip.text
                    textFormat: Text.PlainText
                    font.family: Theme.family
                    font.pixelSize: Theme.callout.pixelSize
                    font.weight: Font.Medium
                    color: Theme.tint(chip.on ? "chipOn" : "chipOff").text
                }
            }
            background: Rectangle {
                radius: height / 2
                color: Theme.tint(chip.on ? "chipOn" : "chipOff").fill
                border.width: chip.on ? 1 : 0.5
                border.color: chip.on ? Theme.brandFill : Theme.hairline
            }
        }
    }
}

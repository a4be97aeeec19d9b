import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// A segmented control: one segment per choice, the chosen one filled with the selection's accent
// in every appearance. Each segment is a Tab stop; Left and Right move the choice.
Rectangle {
    id: root
    // [{text, symbol, help}]; a segment shows its text, its symbol, or both.
    property var segments: []
    property int current: 0
    // Every segment this wide; 0: each as wide as its content.
    property real segmentWidth: 0
    property string name  // the accessible name of the whole control
    property string segmentPrefix: "segment-"  // the segments' object names: prefix and text or symbol
    signal chosen(int index)

    implicitWidth: row.implicitWidth + 2
    implicitHeight: 26
    radius: Theme.radiusS + 1
    color: Theme.tint("cameraChip").fill
    border.width: 0.5
    border.color: Theme.hairline
    Accessible.role: Accessible.PageTabList
    Accessible.name: name

    function choose(index) {
        if (index >= 0 && index < root.segments.length && index !== root.current)
            root.chosen(index)
    }
    // The arrows move the choice, and the keys go with it.
    function step(by) {
        const index = root.current + by
        if (index < 0 || index >= root.segments.length)
            return
        root.choose(index)
        const segment = repeater.itemAt(index)
        if (segment)
            segment.forceActiveFocus(Qt.TabFocusReason)
    }

    Row {
        id: row
        x: 1
        y: 1
        height: parent.height - 2
        Repeater {
            id: repeater
            model: root.segments
            AbstractButton {
                id: segment
                required property var modelData
                required property int index
                readonly property bool on: index === root.current
                readonly property var colors: Theme.control("selection", "normal")
                objectName: root.segmentPrefix + (modelData.text || modelData.symbol)
                width: root.segmentWidth > 0 ? root.segmentWidth : implicitWidth
                height: row.height
                leftPadding: Theme.s + 2
                rightPadding: Theme.s + 2
                hoverEnabled: true
                focusPolicy: Qt.StrongFocus
                text: modelData.text || ""
                checked: on
                Accessible.role: Accessible.PageTab
                Accessible.name: modelData.text || modelData.help || ""
                property real focusRingRadius: Theme.radiusS
                onClicked: root.choose(index)
                Keys.onLeftPressed: root.step(-1)
                Keys.onRightPressed: root.step(1)
                LazyToolTip { shown: segment.hovered && (segment.modelData.help || "") !== ""; text: segment.modelData.help || "" }
                contentItem: Item {
                    implicitWidth: inner.implicitWidth
                    implicitHeight: inner.implicitHeight
                    Row {
                        id: inner
                        anchors.centerIn: parent
                        spacing: 5
                        Symbol {
                            anchors.verticalCenter: parent.verticalCenter
                            visible: (segment.modelData.symbol || "") !== ""
                            name: segment.modelData.symbol || ""
                            size: 14
                            color: segment.on ? segment.colors.text : Theme.tint("cameraChip").text
                        }
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            visible: segment.text !== ""
                            text: segment.text
                            textFormat: Text.PlainText
                            font: Theme.callout
                            color: segment.on ? segment.colors.text : Theme.tint("cameraChip").text
                        }
                    }
                }
                background: Rectangle {
                    radius: Theme.radiusS
                    color: segment.on ? segment.colors.fill
                                      : segment.down ? Theme.track
                                      : segment.hovered ? Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.05)
                                      : "transparent"
                }
            }
        }
    }
}

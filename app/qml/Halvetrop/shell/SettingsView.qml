import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// How many verified copies make a card safe to format, and what else a check includes. Every
// change is stored at once; nothing is re-checked.
Pane {
    id: view
    required property var store
    width: 460
    padding: Theme.l
    topPadding: Theme.s + Theme.l
    bottomPadding: Theme.s + Theme.l
    background: Rectangle { color: Theme.window }

    // A switch whose off state reads as a control: its track's outline and its knob stand 3:1 from
    // the panel, as a control's outline must.
    component SettingSwitch: Switch {
        id: control
        readonly property color outline: Theme.appearance >= 0 ? Look.color("controlOutline") : "gray"
        indicator: Rectangle {
            objectName: "switchTrack"
            implicitWidth: 34
            implicitHeight: 20
            x: control.leftPadding
            y: (control.height - height) / 2
            radius: height / 2
            color: control.checked ? Theme.selection : "transparent"
            border.width: control.checked ? 0 : 1.5
            border.color: control.outline
            Rectangle {
                objectName: "switchKnob"
                width: 14
                height: 14
                radius: 7
                y: 3
                x: control.checked ? parent.width - width - 3 : 3
                color: control.checked ? Theme.selectionText : control.outline
                Behavior on x { NumberAnimation { duration: Theme.fadeMs } }
            }
        }
        contentItem: Text {
            leftPadding: control.indicator.width + Theme.s
            text: control.text
            textFormat: Text.PlainText
            font: Theme.body
            color: control.enabled ? Theme.primary : Theme.disabledText
            verticalAlignment: Text.AlignVCenter
            wrapMode: Text.Wrap
        }
    }

    ColumnLayout {
        width: parent.width
        spacing: Theme.s

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: copiesRow.implicitHeight + 2 * Theme.m
            radius: Theme.radiusM
            color: Theme.content
            border.width: 0.5
            border.color: Theme.hairline
            RowLayout {
                id: copiesRow
                anchors.fill: parent
                anchors.margins: Theme.m
                Text {
                    text: "Safe to format needs"
                    font: Theme.body
                    color: Theme.primary
                    Layout.fillWidth: true
                }
                ComboBox {
                    id: copies
                    objectName: "requiredCopies"
                    implicitContentWidthPolicy: ComboBox.WidestText
                    model: ["1 verified copy", "2 verified copies on separate drives", "3 verified copies on separate drives"]
                    currentIndex: view.store.requiredCopies - 1
                    onActivated: index => view.store.requiredCopies = index + 1
                    // The list shows its current row in bold, wider than the picker's own text:
                    // it is as wide as its widest row in bold, and grows to the left, into the
                    // window, from the picker's trailing edge.
                    MenuItem {
                        id: widestRow
                        visible: false
                        text: copies.model[1]
                        font.weight: Font.DemiBold
                    }
                    popup.width: Math.max(copies.width, Math.ceil(widestRow.implicitWidth) + copies.popup.leftPadding
                                                        + copies.popup.rightPadding)
                    popup.x: copies.width - copies.popup.width
                }
            }
        }
        Text {
            Layout.fillWidth: true
            Layout.leftMargin: Theme.xs
            text: "Copies on the card's own drive never count. Two folders on the same drive count once."
            wrapMode: Text.Wrap
            font: Theme.secondaryFont
            color: Theme.secondary
        }
        Text {
            Layout.topMargin: Theme.l
            Layout.leftMargin: Theme.xs
            text: "Also check"
            font: Theme.rowTitle
            color: Theme.secondary
        }
        Rectangle {
            Layout.fillWidth: true
            implicitHeight: toggles.implicitHeight + 2 * Theme.s
            radius: Theme.radiusM
            color: Theme.content
            border.width: 0.5
            border.color: Theme.hairline
            ColumnLayout {
                id: toggles
                anchors.fill: parent
                anchors.margins: Theme.s
                spacing: 0
                SettingSwitch {
                    objectName: "includeSidecars"
                    Layout.fillWidth: true
                    text: "Sidecars (XMP, Sony clip XML, DJI telemetry)"
                    checked: view.store.includeSidecars
                    onToggled: view.store.includeSidecars = checked
                }
                Rectangle { Layout.fillWidth: true; height: 0.5; color: Theme.hairline }
                SettingSwitch {
                    objectName: "includeProxies"
                    Layout.fillWidth: true
                    text: "Camera proxies and thumbnails (LRV, LRF, THM)"
                    checked: view.store.includeProxies
                    onToggled: view.store.includeProxies = checked
                }
            }
        }
    }
}

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop

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
                Switch {
                    objectName: "includeSidecars"
                    Layout.fillWidth: true
                    text: "Sidecars (XMP, Sony clip XML, DJI telemetry)"
                    checked: view.store.includeSidecars
                    onToggled: view.store.includeSidecars = checked
                }
                Rectangle { Layout.fillWidth: true; height: 0.5; color: Theme.hairline }
                Switch {
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

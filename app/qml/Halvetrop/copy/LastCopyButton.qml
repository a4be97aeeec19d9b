import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// The results header's way back to the last copy: shown for a copy from this card that wrote
// into some folder; its popover holds the copy report.
Button {
    id: button
    required property var model
    required property string cardName
    property bool compact: false
    readonly property var report: Present.copyReport(model.lastCopy)
    objectName: "lastCopyButton"
    visible: report.sourceName !== undefined && report.sourceName === cardName && report.folders.length > 0
    text: compact ? "Last Copy" : "Last Copy (" + report.copiedCount + ")"
    ToolTip.visible: hovered
    ToolTip.text: "Open the folders the last copy wrote into"
    onClicked: popover.visible ? popover.close() : popover.open()

    Popup {
        id: popover
        objectName: "lastCopyPopover"
        y: button.height + Theme.xs
        width: 560
        padding: Theme.l
        background: CardBackground { radius: Theme.radiusL }
        contentItem: ColumnLayout {
            spacing: Theme.m
            DataText {
                text: "Last copy · " + Present.count(button.report.copiedCount || 0) + " files · " + (button.report.time || "")
                font: Theme.title
            }
            CopyReportView {
                model: button.model
                report: button.report
                compact: true
                Layout.fillWidth: true
            }
        }
    }
}

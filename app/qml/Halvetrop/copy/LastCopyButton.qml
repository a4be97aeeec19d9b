import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// The results header's way back to the last copy: shown for a copy from this card that wrote
// into some folder; its popover holds the copy report. The header's row gives it the text of its
// form ("Last Copy (7)", "Last Copy", or none beside the symbol).
ActionButton {
    id: button
    required property var model
    required property string cardName
    property bool compact: false
    // The check whose result is shown (the header hands it in): its popover, left open, closes
    // when another check's result takes its place or the result leaves the screen, as the report
    // belongs over its own check's result only.
    property real check: -1
    onCheckChanged: popover.close()
    Connections {
        target: button.model
        function onPhaseChanged() {
            if (button.model.phase !== Phase.results)
                popover.close()
        }
    }
    readonly property var report: Present.copyReport(model.lastCopy)
    objectName: "lastCopyButton"
    visible: report.sourceName !== undefined && report.sourceName === cardName && report.folders.length > 0
    symbol: "folder.badge.plus"
    text: Present.lastCopyLabel(report.copiedCount || 0, compact)
    help: "Open the folders the last copy wrote into"
    onClicked: popover.visible ? popover.close() : popover.open()

    Popup {
        id: popover
        objectName: "lastCopyPopover"
        y: button.height + Theme.xs
        width: 560
        // Kept inside the window: the button may sit near its edge.
        margins: Theme.s
        // It takes the keys while open, so that Escape closes it.
        focus: true
        padding: Theme.l
        background: CardBackground { radius: Theme.radiusL }
        // Made on opening: the report view is not worth building for a button nobody presses.
        contentItem: Loader {
            active: popover.visible
            sourceComponent: ColumnLayout {
                spacing: Theme.m
                DataText {
                    objectName: "lastCopyTitle"
                    Layout.fillWidth: true
                    text: button.report.lastCopyTitle || ""
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
}

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// The window toolbar. An item is either shown and enabled or absent: none is ever shown disabled.
ToolBar {
    id: bar
    required property var model
    readonly property bool results: model.phase === Phase.results
    readonly property bool showNewCheck: results || (model.phase === Phase.setup && model.source.length > 0 && !model.hasReport)

    background: Rectangle {
        color: Theme.window
        Rectangle {
            anchors.bottom: parent.bottom
            width: parent.width
            height: 1
            color: Theme.hairline
        }
    }
    implicitHeight: 44

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: Theme.m
        anchors.rightMargin: Theme.m
        spacing: Theme.s

        SymbolButton {
            objectName: "toolNewCheck"
            visible: bar.showNewCheck
            symbol: "plus"
            text: "New Check"
            help: "Start screen: recent cards and a new check (" + Present.shortcutText("Ctrl+N") + ")"
            onClicked: {
                bar.model.resetResults()
                // Clearing the card needs the model's clearSource(); without it the card stays.
                if (typeof bar.model.clearSource === "function")
                    bar.model.clearSource()
            }
        }
        SymbolButton {
            objectName: "toolCheckAnother"
            visible: bar.results
            symbol: "sdcard"
            text: "Check Another Card"
            help: "Keep the backups and check the next card (" + Present.shortcutText("Ctrl+Shift+N") + ")"
            onClicked: bar.model.checkAnotherCard(-1)
        }
        Item { Layout.fillWidth: true }
        Segmented {
            objectName: "modePicker"
            visible: bar.results
            name: "View"
            segmentPrefix: "mode-"
            segmentWidth: 80
            segments: Phase.modeNames.map(name => ({ text: name }))
            current: bar.model.mode
            onChosen: index => bar.model.mode = index
        }
        Item { Layout.fillWidth: true }
        SymbolButton {
            objectName: "toolRecheck"
            visible: bar.results
            symbol: "arrow.clockwise"
            text: "Re-check"
            help: "Check again (" + Present.shortcutText("Ctrl+R") + ")"
            onClicked: bar.model.check("")
        }
        SymbolButton {
            objectName: "toolExport"
            visible: bar.results
            symbol: "square.and.arrow.up"
            text: "Export"
            help: "Export the report as a spreadsheet (CSV)"
            onClicked: bar.model.exportCSV()
        }
        SymbolButton {
            objectName: "toolInspector"
            visible: bar.results
            symbol: "sidebar.right"
            text: "Inspector"
            help: "Show or hide details"
            onClicked: bar.model.showInspector = !bar.model.showInspector
        }
    }

    // These two keys exist only while their buttons are shown.
    Shortcut {
        objectName: "shortcutCheckAnother"
        sequence: "Ctrl+Shift+N"
        enabled: bar.results
        onActivated: bar.model.checkAnotherCard(-1)
    }
    Shortcut {
        objectName: "shortcutRecheck"
        sequence: "Ctrl+R"
        enabled: bar.results
        onActivated: bar.model.check("")
    }
}

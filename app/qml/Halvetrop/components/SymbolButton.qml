import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop

// A borderless button of a symbol and an optional title; its help text is the tooltip.
AbstractButton {
    id: control
    property string symbol
    property color tint: Theme.brand
    property string help
    property string name  // the accessible name of a symbol shown alone, when it has no help text
    property int symbolSize: 16
    property font textFont: Theme.body
    padding: 4
    hoverEnabled: true
    LazyToolTip {
        tipName: "help"
        shown: control.help.length > 0 && control.hovered
        text: control.help
    }
    Accessible.name: text.length > 0 ? text : name.length > 0 ? name : help

    contentItem: RowLayout {
        spacing: 6
        Symbol {
            name: control.symbol
            size: control.symbolSize
            color: control.enabled ? control.tint : Theme.tertiary
            visible: name.length > 0
        }
        Text {
            visible: control.text.length > 0
            text: control.text
            textFormat: Text.PlainText
            font: control.textFont
            color: control.enabled ? Theme.primary : Theme.tertiary
            Layout.fillWidth: true
            elide: Text.ElideRight
        }
    }
    background: Rectangle {
        radius: Theme.radiusS
        color: control.down ? Theme.track : control.hovered ? Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.05) : "transparent"
    }
}

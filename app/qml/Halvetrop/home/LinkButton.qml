import QtQuick
import QtQuick.Controls
import Halvetrop

// A button drawn as a link, with an optional help text as its tooltip.
AbstractButton {
    id: link
    property bool secondary: false
    property string help
    font: Theme.secondaryFont
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    padding: 0
    Accessible.name: text
    Accessible.description: help
    PlainToolTip { shown: link.hovered && link.help !== ""; text: link.help }
    HoverHandler { cursorShape: Qt.PointingHandCursor }
    contentItem: Text {
        text: link.text
        textFormat: Text.PlainText
        font.family: link.font.family
        font.pixelSize: link.font.pixelSize
        font.weight: link.font.weight
        color: !link.enabled ? Theme.disabledText : link.secondary ? Theme.secondary : Theme.textRole("brand")
        font.underline: link.hovered || link.visualFocus
    }
}

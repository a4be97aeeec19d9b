import QtQuick
import QtQuick.Controls
import Halvetrop

// A button drawn as a link.
AbstractButton {
    id: link
    property bool secondary: false
    font: Theme.secondaryFont
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    padding: 0
    contentItem: Text {
        text: link.text
        textFormat: Text.PlainText
        font.family: link.font.family
        font.pixelSize: link.font.pixelSize
        color: link.secondary ? Theme.secondary : Theme.textRole("brand")
        font.underline: link.hovered || link.visualFocus
    }
}

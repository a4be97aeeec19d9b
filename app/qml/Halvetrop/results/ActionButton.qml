import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// A header button: symbol and text, prominent (brand-filled) or bordered, with a plain tooltip.
Button {
    id: button
    property string symbol
    property bool prominent: false
    property string help
    highlighted: prominent
    // Bordered buttons keep the window's palette; only the prominent one is filled.
    Binding on palette.buttonText { when: button.prominent; value: accent.colors.text }
    icon.source: symbol ? Present.symbolSource(symbol, palette.buttonText) : ""
    icon.width: 14
    icon.height: 14
    leftPadding: Theme.m
    rightPadding: Theme.m
    topPadding: 6
    bottomPadding: 6
    hoverEnabled: true
    ProminentFill {
        id: accent
        control: button
        parent: button.background
        visible: button.prominent
    }
    PlainToolTip {
        visible: button.hovered && button.help !== ""
        text: button.help
    }
}

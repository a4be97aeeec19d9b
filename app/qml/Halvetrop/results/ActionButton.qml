import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// A button with its symbol and text (the results headers', the copy report's), prominent
// (brand-filled) or bordered, with a plain tooltip. A button shown by its symbol alone takes `name`
// as its tooltip and accessible name.
Button {
    id: button
    property string symbol
    property bool prominent: false
    property string help
    property string name
    readonly property string tip: help !== "" ? help : text === "" ? name : ""
    highlighted: prominent
    // Bordered buttons keep the window's palette; only the prominent one is filled.
    Binding on palette.buttonText { when: button.prominent; value: accent.colors.text }
    icon.source: symbol ? Present.symbolSource(symbol, palette.buttonText) : ""
    icon.width: 14
    icon.height: 14
    display: text === "" ? AbstractButton.IconOnly : AbstractButton.TextBesideIcon
    // The style's panel is at least 80 wide; a symbol alone needs no more than itself.
    implicitWidth: Math.max(text === "" ? 0 : implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    leftPadding: text === "" ? 9 : Theme.m
    rightPadding: text === "" ? 9 : Theme.m
    topPadding: 6
    bottomPadding: 6
    hoverEnabled: true
    Accessible.name: text !== "" ? text : name
    ProminentFill {
        id: accent
        control: button
        parent: button.background
        visible: button.prominent
    }
    LazyToolTip {
        shown: button.hovered && button.tip !== ""
        text: button.tip
    }
}

pragma Singleton
import QtQuick
import Halvetrop.Native

// Every colour, font, spacing, radius and animation the screens use. Colours come from the one
// table of the presentation rules and follow the appearance the desktop asks for.
QtObject {
    id: theme

    readonly property int appearance: Look.appearance
    readonly property bool dark: Look.dark
    readonly property bool highContrast: Look.highContrast
    readonly property bool reduceMotion: Look.reduceMotion

    function role(name) {
        return theme.appearance >= 0 ? Look.color(name) : "transparent"
    }

    // Colour roles
    readonly property color verified: appearance >= 0 ? Look.color("verified") : "black"
    readonly property color backedUp: appearance >= 0 ? Look.color("backedUp") : "black"
    readonly property color partial: appearance >= 0 ? Look.color("partial") : "black"
    readonly property color missing: appearance >= 0 ? Look.color("missing") : "black"
    readonly property color conflict: appearance >= 0 ? Look.color("conflict") : "black"
    readonly property color pending: appearance >= 0 ? Look.color("pending") : "black"
    readonly property color brand: appearance >= 0 ? Look.color("brand") : "black"
    readonly property color brandFill: appearance >= 0 ? Look.color("brandFill") : "black"
    readonly property color raised: appearance >= 0 ? Look.color("raised") : "white"
    // The system colours: surfaces, inks and lines, from the same table as the palette.
    readonly property color window: appearance >= 0 ? Look.color("window") : "white"
    readonly property color content: appearance >= 0 ? Look.color("content") : "white"
    readonly property color sidebar: appearance >= 0 ? Look.color("sidebar") : "white"
    readonly property color hairline: appearance >= 0 ? Look.color("hairline") : "transparent"
    readonly property color primary: appearance >= 0 ? Look.color("primary") : "black"
    readonly property color secondary: appearance >= 0 ? Look.color("secondary") : "black"
    readonly property color tertiary: appearance >= 0 ? Look.color("tertiary") : "black"
    readonly property color disabledText: appearance >= 0 ? Look.color("disabled") : "gray"
    readonly property color track: Qt.rgba(primary.r, primary.g, primary.b, 0.08)
    // Where a file has no picture to show: the ground of its kind's symbol, opaque so that the
    // overlapping tiles of a shoot hide one another.
    readonly property color pictureGround: Qt.tint(window, Qt.rgba(0, 0, 0, 0.04))
    // A selected row or tile, its text and symbols, and the keyboard focus ring.
    readonly property color selection: appearance >= 0 ? Look.control("selection", "normal").fill : "blue"
    // Not "onSelection": a name of "on" and a capital is read as a signal handler and never bound.
    readonly property color selectionText: appearance >= 0 ? Look.control("selection", "normal").text : "white"
    readonly property color focusRing: appearance >= 0 ? Look.color("focusRing") : "blue"

    function statusColor(status) { return role(Present.statusColorRole(status)) }
    // A role or a status where it colours text rather than a symbol or a fill.
    function textRole(name) { return theme.appearance >= 0 ? Look.textColor(name) : "black" }
    function statusText(status) { return textRole(Present.statusColorRole(status)) }
    // {fill, text, border} of a control kind in a state, for controls that draw their own fill.
    function control(kind, state) { return theme.appearance >= 0 ? Look.control(kind, state) : ({}) }
    // {fill, text} of a translucent chip or row fill and the text on it.
    function tint(name) { return theme.appearance >= 0 ? Look.tint(name) : ({}) }

    // Fonts: DejaVu Sans is the face every machine of the tests has.
    readonly property string family: "DejaVu Sans"
    readonly property string monoFamily: "DejaVu Sans Mono"
    readonly property font display: Qt.font({ family: family, pixelSize: 26, weight: Font.DemiBold })
    readonly property font metric: Qt.font({ family: family, pixelSize: 26, weight: Font.Medium, features: { "tnum": 1 } })
    readonly property font title: Qt.font({ family: family, pixelSize: 17, weight: Font.DemiBold })
    readonly property font body: Qt.font({ family: family, pixelSize: 13 })
    readonly property font rowTitle: Qt.font({ family: family, pixelSize: 13, weight: Font.DemiBold })
    readonly property font callout: Qt.font({ family: family, pixelSize: 12 })
    readonly property font secondaryFont: Qt.font({ family: family, pixelSize: 11 })
    readonly property font eyebrow: Qt.font({ family: family, pixelSize: 10, weight: Font.DemiBold, capitalization: Font.AllUppercase, letterSpacing: 0.6 })
    // A section label that holds a name, which is never case-changed: its words come in capitals.
    readonly property font eyebrowAsWritten: Qt.font({ family: family, pixelSize: 10, weight: Font.DemiBold, letterSpacing: 0.6 })
    readonly property font caption: Qt.font({ family: family, pixelSize: 10, features: { "tnum": 1 } })
    readonly property font mono: Qt.font({ family: monoFamily, pixelSize: 13 })
    readonly property font monoSmall: Qt.font({ family: monoFamily, pixelSize: 11 })

    // Spacing and radii
    readonly property int xs: 4
    readonly property int s: 8
    readonly property int m: 12
    readonly property int l: 16
    readonly property int xl: 20
    readonly property int xxl: 24
    readonly property int xxxl: 32
    readonly property int radiusS: 5
    readonly property int radiusM: 8
    readonly property int radiusL: 12
    readonly property int radiusXL: 16

    // Motion, in milliseconds. The desktop's wish for less motion is each moving picture's own
    // to honour (the card-to-drive picture stops); these short transitions keep their timing.
    readonly property int stateMs: 250
    readonly property int ringMs: 600
    readonly property int layoutMs: 350
    readonly property int fadeMs: 150
}

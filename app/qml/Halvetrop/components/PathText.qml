import QtQuick
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// A path whole where it fits, else cut from its start with its last folders whole: a folder cut
// at its start could read as another ("…00CANON" for 100CANON). Its whole text is the tooltip.
// A place keeps its first name in front where it is short, cut in its middle ("SSD1 / … / 2024-04-15").
// Where it is laid out, its width comes from the room it is given, never from its text.
DataText {
    id: line
    // Folders "/" apart; shown `separator` apart.
    property string path
    property string separator: "/"
    // Its first name (a drive's, a place's first folder) stays whole in front of the cut where short.
    property bool keepsFirst: false
    readonly property var cut: keepsFirst ? Present.cutPlace(path, font, width, separator)
                                          : Present.cutPath(path, font, width, separator)
    readonly property bool cutShort: cut.cut
    text: cut.text
    elide: Text.ElideNone
    Layout.preferredWidth: 1
    HoverHandler { id: hover }
    LazyToolTip { shown: hover.hovered && line.cutShort; text: line.cut.full }
}

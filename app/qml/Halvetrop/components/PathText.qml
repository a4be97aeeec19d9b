import QtQuick
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// A path whole where it fits, else cut from its start with its last folders whole: a folder cut
// at its start could read as another ("…00CANON" for 100CANON). Its whole text is the tooltip.
// A place on a drive keeps the drive's short name in front ("SSD1 / … / 2024-04-15").
// Where it is laid out, its width comes from the room it is given, never from its text.
DataText {
    id: line
    // Folders "/" apart; shown `separator` apart.
    property string path
    property string separator: "/"
    // Its first folder is a drive's name: a short one stays whole in front of the cut.
    property bool keepsDrive: false
    readonly property var cut: keepsDrive ? Present.cutPlace(path, font, width, separator)
                                          : Present.cutPath(path, font, width, separator)
    readonly property bool cutShort: cut.cut
    text: cut.text
    elide: Text.ElideNone
    Layout.preferredWidth: 1
    HoverHandler { id: hover }
    LazyToolTip { shown: hover.hovered && line.cutShort; text: line.cut.full }
}

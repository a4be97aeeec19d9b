import QtQuick
import Halvetrop

// Text that shows data (names, paths, messages): never read as markup, and lined up at the
// leading edge whatever script it starts with (a name in Arabic lines up with the others).
Text {
    textFormat: Text.PlainText
    horizontalAlignment: Text.AlignLeft
    color: Theme.primary
    font: Theme.body
    elide: Text.ElideRight
    maximumLineCount: 1
}

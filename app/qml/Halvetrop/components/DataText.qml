import QtQuick
import Halvetrop

// Text that shows data (names, paths, messages): never read as markup.
Text {
    textFormat: Text.PlainText
    color: Theme.primary
    font: Theme.body
    elide: Text.ElideRight
    maximumLineCount: 1
}

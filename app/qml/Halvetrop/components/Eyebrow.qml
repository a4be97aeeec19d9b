import QtQuick
import Halvetrop

// A small section label. One that holds a name is given in capitals but the name, and keeps its
// case.
Text {
    property bool asWritten: false
    textFormat: Text.PlainText
    font: asWritten ? Theme.eyebrowAsWritten : Theme.eyebrow
    color: Theme.secondary
}

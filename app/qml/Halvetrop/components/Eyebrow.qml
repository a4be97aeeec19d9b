import QtQuick
import Halvetrop

// A small section label.
Text {
    textFormat: Text.PlainText
    font: Theme.eyebrow
    color: Theme.secondary
}

import QtQuick
import Halvetrop

// A results header's title: one line, shrunk down to 70 % of its size to fit; a title still too
// long at that size (a narrow window) takes a second line rather than losing its end.
Text {
    id: title
    readonly property real fullSize: 30
    readonly property real scale_: Math.min(1, width / Math.max(1, metrics.advanceWidth))
    readonly property bool wraps: scale_ < 0.7
    textFormat: Text.PlainText
    font.family: Theme.family
    font.pixelSize: wraps ? Math.round(fullSize * 0.7) : Math.max(Math.floor(fullSize * scale_), Math.round(fullSize * 0.7))
    font.bold: true
    color: Theme.primary
    wrapMode: wraps ? Text.Wrap : Text.NoWrap
    maximumLineCount: wraps ? 2 : 1
    elide: Text.ElideRight

    TextMetrics {
        id: metrics
        font.family: Theme.family
        font.pixelSize: title.fullSize
        font.bold: true
        text: title.text
    }
}

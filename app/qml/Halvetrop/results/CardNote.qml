import QtQuick
import Halvetrop

// What reading the card does to it, said where the result is read: a card whose file system
// updates access times as it is read (another user's files, a FUSE card mounted read-write), with
// the way to keep them. The whole sentence wraps within the column; the way out is never cut.
Row {
    id: note
    property string text: ""
    visible: text !== ""
    spacing: 6
    Symbol { id: warning; name: "exclamationmark.triangle.fill"; color: Theme.partial; size: 13; y: 1 }
    DataText {
        objectName: "cardNote"
        width: note.width - warning.width - note.spacing
        text: note.text
        font: Theme.secondaryFont
        color: Theme.secondary
        wrapMode: Text.Wrap
        maximumLineCount: 6
    }
}

import QtQuick
import Halvetrop

// The inspector column: the selected file's facts and copies.
FileInspector {
    Rectangle { width: 1; height: parent.height; color: Theme.hairline }
}

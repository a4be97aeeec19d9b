import QtQuick
import Halvetrop

// FileInspector with a one-pixel rule against the results pane.
FileInspector {
    Rectangle { width: 1; height: parent.height; color: Theme.hairline }
}

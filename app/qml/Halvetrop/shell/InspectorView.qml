import QtQuick
import Halvetrop

// The right-hand column of the results: where the chosen file and its copies are.
FileInspector {
    Rectangle { width: 1; height: parent.height; color: Theme.hairline }
}

import QtQuick
import Halvetrop

// The file inspector, set off from the results beside it by a hairline.
FileInspector {
    Rectangle { width: 1; height: parent.height; color: Theme.hairline }
}

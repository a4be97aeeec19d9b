import QtQuick
import Halvetrop

// The file column beside the results, parted from them by a hairline on its leading edge.
FileInspector {
    Rectangle { width: 1; height: parent.height; color: Theme.hairline }
}

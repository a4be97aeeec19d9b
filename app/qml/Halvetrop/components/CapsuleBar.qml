import QtQuick
import QtQuick.Controls
import Halvetrop

// A progress bar drawn as a thin capsule on the track colour, filled in the verified colour, as
// the coverage bars are: the style's own bar is a white field with a border in the light
// appearance, which reads as a text field.
ProgressBar {
    id: bar
    from: 0
    to: 1
    padding: 0
    background: Rectangle {
        implicitHeight: 6
        radius: 3
        color: Theme.track
    }
    contentItem: Item {
        implicitHeight: 6
        Rectangle {
            width: bar.visualPosition * parent.width
            height: parent.height
            radius: 3
            color: Theme.verified
        }
    }
}

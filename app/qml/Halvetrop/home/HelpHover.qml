import QtQuick
import Halvetrop

// Holds one control and shows its help text while the pointer is over it, also while the control
// is disabled (a disabled control gets no hover of its own).
Item {
    id: holder
    property string help
    default property alias control: slot.data
    implicitWidth: slot.childrenRect.width
    implicitHeight: slot.childrenRect.height
    Item {
        id: slot
        anchors.fill: parent
    }
    HoverHandler { id: hover }
    PlainToolTip {
        objectName: "helpTip"
        shown: hover.hovered && holder.help.length > 0
        text: holder.help
    }
}

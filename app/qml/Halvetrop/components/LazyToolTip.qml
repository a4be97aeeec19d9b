import QtQuick
import Halvetrop

// A plain tooltip made the first time it is wanted, then kept: every row of a long list carries
// one, and most are never shown, while a tooltip made with its row costs the row's own making
// again. It lies over what it is declared in, as a tooltip declared there would.
Loader {
    id: host
    property bool shown: false
    property string text
    // The tooltip's own name, for finding it once it is made.
    property string tipName
    // Where it lies instead of above, when set.
    property real tipY: NaN
    anchors.fill: parent
    active: false
    onShownChanged: if (shown) active = true
    sourceComponent: PlainToolTip {
        objectName: host.tipName
        shown: host.shown
        text: host.text
        Component.onCompleted: if (!isNaN(host.tipY)) y = Qt.binding(() => host.tipY)
    }
}

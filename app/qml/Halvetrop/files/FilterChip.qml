import QtQuick
import QtQuick.Layouts
import Halvetrop

// A small removable label of an active restriction.
Rectangle {
    id: chip
    property string text
    signal cleared()
    implicitHeight: 24
    implicitWidth: row.implicitWidth + 2 * Theme.s
    radius: height / 2
    color: Theme.tint("filterChip").fill

    HoverHandler { id: hover }
    LazyToolTip { shown: hover.hovered && label.truncated; text: chip.text }
    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: Theme.s
        anchors.rightMargin: Theme.s
        spacing: Theme.xs
        DataText {
            id: label
            text: chip.text
            color: Theme.tint("filterChip").text
            font: Theme.callout
            Layout.fillWidth: true
        }
        SymbolButton {
            objectName: "clearChip"
            symbol: "xmark.circle.fill"
            symbolSize: 13
            padding: 0
            name: "Clear " + chip.text
            onClicked: chip.cleared()
        }
    }
}

import QtQuick
import Halvetrop
import Halvetrop.Native

// One of the design's symbols, tinted.
Item {
    id: symbol
    property string name
    property color color: Theme.secondary
    property int size: 16
    implicitWidth: size
    implicitHeight: size

    Image {
        anchors.centerIn: parent
        width: symbol.size
        height: symbol.size
        sourceSize: Qt.size(symbol.size * 2, symbol.size * 2)
        smooth: true
        source: symbol.name.length > 0 ? Present.symbolSource(symbol.name, symbol.color) : ""
    }
}

import QtQuick
import Halvetrop

// The file manager's icon for a card, drive or folder; the memory-card icon for a camera card
// (also one that is not there); else the fallback symbol. The place is named by the key the model
// gives for its path, which keeps every byte, or by its text where a view has only that.
Item {
    id: root
    property string pathKey
    property string path
    property int size: 32
    property string fallback: "folder.fill"
    property bool card: false
    width: size
    height: size
    implicitWidth: size
    implicitHeight: size

    Image {
        id: icon
        anchors.fill: parent
        asynchronous: true
        sourceSize: Qt.size(root.size * 2, root.size * 2)
        source: root.pathKey.length > 0 ? "image://system/" + (root.card ? "cardkey/" : "plainkey/") + encodeURIComponent(root.pathKey)
                : root.path.length > 0 || root.card ? "image://system/" + (root.card ? "card" : "plain") + root.path : ""
        visible: status === Image.Ready
    }
    Symbol {
        anchors.centerIn: parent
        visible: icon.status !== Image.Ready
        name: root.fallback
        size: Math.round(root.size * 0.6)
        color: Theme.secondary
    }
}

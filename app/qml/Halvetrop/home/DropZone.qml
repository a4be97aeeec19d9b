import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// The large target that invites a first choice: a click runs `activated`, a drop of folders hands
// them to `dropped`. Anything that is not a local folder is left out; when nothing remains the
// window's notice says so and `dropped` is not called.
AbstractButton {
    id: zone
    property string symbol
    property string title
    property string subtitle
    signal dropped(var folders)
    readonly property bool targeted: drop.containsDrag

    // The drop handling, also reached by tests with a list of URLs.
    function receive(urls) {
        const plan = HomeRules.dropFolders(urls)
        if (plan.folders.length === 0) {
            Present.notify("Only folders can be dropped here.", false)
            return
        }
        zone.dropped(plan.folders)
    }

    implicitHeight: Math.max(120, content.implicitHeight + 2 * Theme.l)
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    Accessible.name: title

    background: Item {
        Rectangle {
            anchors.fill: parent
            radius: Theme.radiusL
            color: zone.targeted ? Qt.rgba(Theme.brandFill.r, Theme.brandFill.g, Theme.brandFill.b, 0.1)
                                 : Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.03)
        }
        DashedFrame {
            objectName: "dashedBorder"
            anchors.fill: parent
            radius: Theme.radiusL
            strokeColor: zone.targeted || zone.visualFocus ? Theme.brandFill : Theme.hairline
        }
    }
    contentItem: Item {
        Column {
            id: content
            anchors.centerIn: parent
            width: parent.width - 2 * Theme.l
            spacing: 6
            Symbol {
                anchors.horizontalCenter: parent.horizontalCenter
                name: zone.symbol
                size: 30
                color: Theme.brand
            }
            Text {
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: zone.title
                textFormat: Text.PlainText
                font: Theme.rowTitle
                color: Theme.primary
            }
            Text {
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                text: zone.subtitle
                textFormat: Text.PlainText
                font: Theme.secondaryFont
                color: Theme.secondary
            }
        }
    }

    DropArea {
        id: drop
        objectName: "dropArea"
        anchors.fill: parent
        keys: ["text/uri-list"]
        onDropped: event => {
            zone.receive(event.urls)
            event.accept(Qt.CopyAction)
        }
    }
}

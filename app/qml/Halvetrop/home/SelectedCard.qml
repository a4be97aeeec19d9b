import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// The card, drive or folder chosen for the check, with its size and file system or the volume it
// is on, and the links to change or clear it.
Row {
    id: row
    property string path
    property var info: ({})
    signal change
    signal clear
    readonly property var look: HomeRules.selectedCard(path, info)
    spacing: Theme.m

    SystemIcon {
        anchors.verticalCenter: parent.verticalCenter
        path: row.path
        size: 64
        fallback: "sdcard.fill"
        card: row.info.isLikelyCameraCard === true
    }
    Column {
        anchors.verticalCenter: parent.verticalCenter
        width: row.width - 64 - row.spacing
        spacing: 3
        DataText {
            objectName: "selectedCardName"
            width: parent.width
            text: row.look.name
            font: Theme.title
        }
        DataText {
            objectName: "selectedCardDetail"
            width: parent.width
            visible: text.length > 0
            text: row.look.detail
            font: Theme.secondaryFont
            color: Theme.secondary
        }
        Row {
            spacing: Theme.m
            LinkButton {
                objectName: "changeCard"
                text: "Change…"
                onClicked: row.change()
            }
            LinkButton {
                objectName: "clearCard"
                text: "Clear"
                secondary: true
                onClicked: row.clear()
            }
        }
    }
}

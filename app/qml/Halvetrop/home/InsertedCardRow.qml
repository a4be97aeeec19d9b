import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// A mounted card offered as the card: one click takes it as the sidebar's offer of it does.
AbstractButton {
    id: row
    property var volume: ({})
    property bool hasBackups: false
    readonly property var look: HomeRules.offeredCard(volume, hasBackups)
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    padding: Theme.s
    Accessible.name: look.help

    // A card inserted while the start screen shows comes in with the layout spring.
    opacity: 0
    scale: 0.97
    Component.onCompleted: arrive.start()
    ParallelAnimation {
        id: arrive
        NumberAnimation { target: row; property: "opacity"; to: 1; duration: Theme.layoutMs; easing.type: Easing.OutCubic }
        NumberAnimation { target: row; property: "scale"; to: 1; duration: Theme.layoutMs; easing.type: Easing.OutCubic }
    }

    PlainToolTip {
        shown: row.hovered && row.look.help.length > 0
        text: row.look.help
    }

    background: Rectangle {
        radius: Theme.radiusM
        color: row.hovered || row.visualFocus ? Qt.rgba(Theme.brandFill.r, Theme.brandFill.g, Theme.brandFill.b, 0.1)
                                              : Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.04)
    }
    contentItem: Row {
        spacing: Theme.m
        SystemIcon {
            id: icon
            anchors.verticalCenter: parent.verticalCenter
            path: row.volume.volumePath !== undefined ? row.volume.volumePath : ""
            size: 44
            fallback: "sdcard.fill"
            card: true
        }
        Column {
            anchors.verticalCenter: parent.verticalCenter
            width: parent.width - icon.width - use.width - 2 * parent.spacing
            spacing: 2
            DataText {
                objectName: "offeredCardName"
                width: parent.width
                text: row.look.title
                font: Theme.rowTitle
            }
            DataText {
                width: parent.width
                text: row.look.subtitle
                font: Theme.secondaryFont
                color: Theme.secondary
            }
        }
        Text {
            id: use
            objectName: "offeredAction"
            anchors.verticalCenter: parent.verticalCenter
            text: row.look.action
            font.family: Theme.family
            font.pixelSize: Theme.callout.pixelSize
            font.weight: Font.DemiBold
            color: Theme.textRole("brand")
        }
    }
}

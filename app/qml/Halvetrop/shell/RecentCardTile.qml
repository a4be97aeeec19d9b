import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop

// One saved check: card icon with a status badge, cameras, days, status and when it was checked.
AbstractButton {
    id: tile
    required property int index
    required property string itemId
    required property string name
    required property string sourcePath
    required property bool cameraCard
    required property string badge
    required property string badgeColor
    required property string statusLine
    required property string statusColor
    required property string cameras
    required property string days
    required property string checkedText
    signal open
    signal menuRequested

    hoverEnabled: true
    padding: Theme.m
    Accessible.name: tile.name + ", " + tile.statusLine
    onClicked: tile.open()
    PlainToolTip {
        shown: tile.hovered
        text: "Open the saved result for " + tile.name
    }

    background: Item {
        CardBackground { anchors.fill: parent; radius: Theme.radiusL }
        Rectangle {
            anchors.fill: parent
            radius: Theme.radiusL
            color: "transparent"
            border.width: 1.5
            border.color: tile.hovered ? Qt.rgba(Theme.brandFill.r, Theme.brandFill.g, Theme.brandFill.b, 0.6) : "transparent"
        }
    }
    contentItem: RowLayout {
        spacing: Theme.m
        Item {
            Layout.preferredWidth: 34
            Layout.preferredHeight: 40
            Layout.alignment: Qt.AlignTop
            SystemIcon {
                size: 40
                path: tile.sourcePath
                fallback: "sdcard.fill"
                card: tile.cameraCard
            }
            Rectangle {
                x: 34 - width + 6
                y: 40 - height + 4
                width: 18
                height: 18
                radius: 9
                color: "white"
                Symbol {
                    anchors.centerIn: parent
                    name: tile.badge
                    size: 14
                    color: Theme.role(tile.badgeColor)
                }
            }
        }
        ColumnLayout {
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignTop
            spacing: 3
            DataText { Layout.fillWidth: true; text: tile.name; font: Theme.rowTitle }
            DataText {
                Layout.fillWidth: true
                visible: tile.cameras.length > 0
                text: tile.cameras
                font: Theme.secondaryFont
                color: Theme.secondary
            }
            DataText {
                objectName: "tileDays"
                Layout.fillWidth: true
                visible: tile.days.length > 0
                text: tile.days
                // A narrow tile gives the range a second row, as the status line does.
                wrapMode: Text.Wrap
                maximumLineCount: 2
                font: Theme.secondaryFont
                color: Theme.secondary
            }
            Text {
                objectName: "tileStatus"
                Layout.fillWidth: true
                text: tile.statusLine
                textFormat: Text.PlainText
                // A narrow tile gives the line a second row rather than cutting it.
                wrapMode: Text.Wrap
                maximumLineCount: 2
                elide: Text.ElideRight
                font.family: Theme.family
                font.pixelSize: Theme.secondaryFont.pixelSize
                font.weight: Font.DemiBold
                color: tile.statusColor.length > 0 ? Theme.textRole(tile.statusColor) : Theme.secondary
            }
            DataText { Layout.fillWidth: true; text: tile.checkedText; font: Theme.caption; color: Theme.tertiary }
        }
    }

    TapHandler {
        acceptedButtons: Qt.RightButton
        onTapped: tile.menuRequested()
    }
}

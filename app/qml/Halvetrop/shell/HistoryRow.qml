import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop

// One saved check in the sidebar; a click opens it without a scan.
AbstractButton {
    id: row
    required property int index
    required property string itemId
    required property string name
    required property string symbol
    required property string symbolColor
    required property string countLine
    required property string ago
    required property bool current
    signal open
    signal menuRequested

    Accessible.name: row.name + ", " + row.countLine
    leftPadding: 4
    rightPadding: 4
    topPadding: 2
    bottomPadding: 2
    onClicked: row.open()

    background: Rectangle {
        radius: 6
        color: row.current ? Qt.rgba(Theme.brandFill.r, Theme.brandFill.g, Theme.brandFill.b, 0.14) : "transparent"
    }
    contentItem: RowLayout {
        spacing: Theme.s
        Symbol {
            Layout.preferredWidth: 18
            name: row.symbol
            size: 16
            color: Theme.role(row.symbolColor)
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 1
            DataText { Layout.fillWidth: true; text: row.name; font: Theme.rowTitle }
            DataText { Layout.fillWidth: true; text: row.countLine; font: Theme.secondaryFont; color: Theme.secondary }
        }
        DataText { text: row.ago; font: Theme.caption; color: Theme.tertiary }
    }

    TapHandler {
        acceptedButtons: Qt.RightButton
        onTapped: row.menuRequested()
    }
}

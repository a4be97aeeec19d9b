import QtQuick
import QtQuick.Layouts
import Halvetrop

// A centred symbol and title, the description under them and the actions in a row below.
ColumnLayout {
    id: root
    property string symbol
    property string title
    property string description
    default property alias actions: actionRow.data
    spacing: Theme.m

    Symbol {
        Layout.alignment: Qt.AlignHCenter
        name: root.symbol
        size: 44
        color: Theme.secondary
    }
    Text {
        Layout.alignment: Qt.AlignHCenter
        text: root.title
        textFormat: Text.PlainText
        font: Theme.title
        color: Theme.primary
    }
    DataText {
        objectName: "emptyStateDescription"
        Layout.alignment: Qt.AlignHCenter
        Layout.maximumWidth: 520
        // Wraps within the width it is given (a narrow column), never past it.
        Layout.fillWidth: true
        text: root.description
        color: Theme.secondary
        wrapMode: Text.Wrap
        maximumLineCount: 6
        horizontalAlignment: Text.AlignHCenter
        visible: text.length > 0
    }
    RowLayout {
        id: actionRow
        Layout.alignment: Qt.AlignHCenter
        Layout.topMargin: Theme.s
        spacing: Theme.s
    }
}

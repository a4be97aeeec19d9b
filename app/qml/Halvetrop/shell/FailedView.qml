import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop

// The failure screen: what went wrong, "Try Again" and "Back". The message is shown whole, however
// long: it scrolls when it is taller than the window leaves, and can be selected and copied.
Item {
    id: view
    required property var model
    property string message

    ColumnLayout {
        id: column
        anchors.centerIn: parent
        width: Math.min(parent.width - 2 * Theme.xxxl, 560)
        height: Math.min(implicitHeight, parent.height - 2 * Theme.xl)
        spacing: Theme.m

        Symbol {
            Layout.alignment: Qt.AlignHCenter
            name: "exclamationmark.triangle"
            size: 44
            color: Theme.secondary
        }
        Text {
            Layout.alignment: Qt.AlignHCenter
            Layout.maximumWidth: column.width
            text: "The check couldn't finish"
            textFormat: Text.PlainText
            font: Theme.title
            color: Theme.primary
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
        }
        ScrollView {
            id: scroll
            objectName: "failureScroll"
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.preferredHeight: message.implicitHeight
            Layout.minimumHeight: Math.min(message.implicitHeight, 60)
            contentWidth: availableWidth
            clip: true
            TextEdit {
                id: message
                objectName: "failureMessage"
                width: scroll.availableWidth
                text: view.message
                textFormat: TextEdit.PlainText
                readOnly: true
                selectByMouse: true
                wrapMode: TextEdit.Wrap
                horizontalAlignment: TextEdit.AlignHCenter
                font: Theme.body
                color: Theme.secondary
                selectionColor: Theme.selection
                selectedTextColor: Theme.selectionText
            }
        }
        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: Theme.s
            spacing: Theme.s
            Button {
                id: tryAgain
                objectName: "tryAgain"
                text: "Try Again"
                highlighted: true
                palette.buttonText: tryAgainFill.colors.text
                ProminentFill { id: tryAgainFill; control: tryAgain; parent: tryAgain.background }
                onClicked: view.model.check("")
            }
            Button {
                objectName: "back"
                text: "Back"
                onClicked: view.model.resetResults()
            }
        }
    }
}

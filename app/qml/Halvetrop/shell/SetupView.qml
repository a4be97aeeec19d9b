import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop

// The start screen. Until the start screen itself is built this shows the kinds to check and the
// recent cards.
Item {
    id: view
    required property var model
    required property var history

    ScrollView {
        anchors.fill: parent
        contentWidth: availableWidth
        ColumnLayout {
            width: parent.width
            spacing: Theme.xxl
            Item { Layout.preferredHeight: Theme.xxxl }
            Text {
                Layout.alignment: Qt.AlignHCenter
                text: "Start screen"
                font: Theme.display
                color: Theme.tertiary
            }
            KindChips {
                objectName: "setupKinds"
                Layout.alignment: Qt.AlignHCenter
                kinds: view.model.kinds
                onChanged: kinds => view.model.kinds = kinds
            }
            RecentCards {
                visible: view.history.count > 0
                Layout.alignment: Qt.AlignHCenter
                availableWidth: Math.min(860, view.width - 2 * Theme.xxxl)
                Layout.preferredWidth: availableWidth
                Layout.maximumWidth: availableWidth
                Layout.fillWidth: false
                model: view.model
                history: view.history
            }
            Item { Layout.preferredHeight: Theme.xxxl * 2 }
        }
    }
}

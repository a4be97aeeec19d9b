import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// The screen while a check runs: the picture, the stage, what is being handled, how far it is,
// and Cancel, which asks the model to stop the check (the model leaves this screen when the run
// has ended).
Item {
    id: view
    required property var model

    readonly property var progress: model.progress
    readonly property string stage: progress.stage !== undefined ? progress.stage : "scanningSource"
    readonly property real done: progress.done !== undefined ? progress.done : 0
    readonly property real total: progress.total !== undefined ? progress.total : 0
    readonly property real fraction: HomeRules.barFraction(done, total)
    readonly property var names: HomeRules.pictureNames(model.sourceKey, model.destinationKeys, model.volumeFacts)

    ColumnLayout {
        anchors.centerIn: parent
        spacing: Theme.xl

        CardToDrive {
            objectName: "cardToDrive"
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: 560
            Layout.preferredHeight: 220
            stage: view.stage
            cardName: view.names.cardName
            driveName: view.names.driveName
            cardPath: view.model.source
            drivePath: view.model.destinations.length > 0 ? view.model.destinations[0] : ""
            extraDrives: view.names.extraDrives
        }

        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: Theme.s
            Text {
                id: title
                objectName: "stageTitle"
                Layout.alignment: Qt.AlignHCenter
                text: HomeRules.stageTitle(view.stage, view.progress.detail !== undefined ? view.progress.detail : "")
                textFormat: Text.PlainText
                font.family: Theme.family
                font.pixelSize: 22
                font.bold: true
                color: Theme.primary
                onTextChanged: fade.restart()
                NumberAnimation on opacity {
                    id: fade
                    from: 0
                    to: 1
                    duration: 150
                    easing.type: Easing.InOutQuad
                }
            }
            DataText {
                objectName: "stageDetail"
                Layout.alignment: Qt.AlignHCenter
                Layout.maximumWidth: 440
                text: view.progress.detail !== undefined ? view.progress.detail : ""
                elide: Text.ElideMiddle
                font: Theme.callout
                color: Theme.secondary
            }
        }

        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 6
            Rectangle {
                id: track
                objectName: "progressTrack"
                Layout.preferredWidth: 420
                Layout.preferredHeight: 6
                radius: 3
                color: Theme.track
                Rectangle {
                    objectName: "progressFill"
                    visible: view.fraction >= 0
                    height: parent.height
                    radius: 3
                    width: Math.max(track.width * Math.max(view.fraction, 0), 8)
                    Behavior on width { NumberAnimation { duration: Theme.ringMs; easing.type: Easing.OutCubic } }
                    gradient: Gradient {
                        orientation: Gradient.Horizontal
                        GradientStop { position: 0; color: Theme.brandFill }
                        GradientStop { position: 1; color: HomeRules.brandHighlight(Theme.appearance) }
                    }
                }
                Loader {
                    objectName: "indeterminate"
                    anchors.fill: parent
                    // A new bar each time the total is lost again, starting from the left.
                    active: view.fraction < 0
                    sourceComponent: IndeterminateBar {}
                }
            }
            Text {
                objectName: "countLine"
                Layout.alignment: Qt.AlignHCenter
                text: HomeRules.countLine(view.done, view.total)
                textFormat: Text.PlainText
                font: Qt.font({ family: Theme.family, pixelSize: Theme.secondaryFont.pixelSize, features: { "tnum": 1 } })
                color: Theme.secondary
            }
        }

        // What the check does to the card's access times, from its first such read on.
        CardNote {
            objectName: "checkingCardNote"
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: 440
            text: view.model.cardAccessTimesNote
        }

        Button {
            id: cancel
            objectName: "cancelCheck"
            Layout.alignment: Qt.AlignHCenter
            text: "Cancel"
            // A large control, as the start screen's buttons are.
            font.family: Theme.family
            font.pixelSize: Theme.body.pixelSize
            leftPadding: Theme.xl
            rightPadding: Theme.xl
            implicitWidth: Math.max(110, implicitContentWidth + leftPadding + rightPadding)
            implicitHeight: Math.max(34, implicitContentHeight + topPadding + bottomPadding)
            onClicked: view.model.stopCheck()
            Shortcut {
                objectName: "escapeCancels"
                sequence: "Esc"
                enabled: view.visible
                onActivated: cancel.clicked()
            }
        }
    }
}

import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// One shoot: a fan of up to five pictures with a status badge, its folder, camera, contents and
// coverage, where it landed on a backup, and a copy button for what is missing.
Item {
    id: row
    required property var model
    required property var results
    property var thumbnails: null
    required property int index
    required property string title
    required property string camera
    required property string sizeText
    required property string sentence
    required property int state
    required property string badge
    required property string tint
    required property string coveredText
    required property bool allCovered
    required property var counts
    required property real copyable
    required property string landingName
    required property string landingFolder
    required property string landingMore
    required property var thumbs
    required property string groupID
    readonly property bool cardOnly: results.cardOnly
    objectName: "shootRow"
    implicitHeight: 66 + 2 * Theme.m
    scale: hover.hovered ? 1.005 : 1
    Behavior on scale { NumberAnimation { duration: Theme.stateMs } }

    function showFiles(onlyMissing) { row.model.showFiles(row.groupID, onlyMissing) }
    function copy() {
        row.model.requestCopy(row.results.groupIDs(row.index), row.results.shootCopyTitle(row.index))
    }
    function revealLanding() { row.results.revealLanding(row.index) }

    CardBackground { anchors.fill: parent; radius: Theme.radiusL }
    Rectangle {
        anchors.fill: parent
        radius: Theme.radiusL
        color: "transparent"
        border.width: 1.5
        border.color: hover.hovered ? Qt.rgba(Theme.brandFill.r, Theme.brandFill.g, Theme.brandFill.b, 0.6) : "transparent"
    }
    HoverHandler { id: hover }
    TapHandler {
        acceptedButtons: Qt.LeftButton
        onTapped: row.showFiles(false)
    }
    TapHandler {
        acceptedButtons: Qt.RightButton
        onTapped: menu.popup()
    }
    PlainToolTip { visible: hover.hovered; text: "Click to see this shoot's files" }
    Menu {
        id: menu
        objectName: "shootMenu"
        MenuItem { text: "Show Files"; onTriggered: row.showFiles(false) }
        MenuItem { text: "Show Files Not Backed Up"; visible: !row.cardOnly; height: visible ? implicitHeight : 0; onTriggered: row.showFiles(true) }
        MenuItem { text: "Show Backup Folder in Files"; visible: row.landingName !== ""; height: visible ? implicitHeight : 0; onTriggered: row.revealLanding() }
    }

    Row {
        x: Theme.m
        y: Theme.m
        width: parent.width - 2 * Theme.m - Theme.xs
        spacing: Theme.l
        Item {
            id: strip
            width: 214
            height: 66
            Row {
                anchors.verticalCenter: parent.verticalCenter
                spacing: -40
                Repeater {
                    model: row.thumbs
                    Rectangle {
                        required property var modelData
                        required property int index
                        width: 74
                        height: 54
                        radius: 6
                        color: Qt.rgba(0, 0, 0, 0.85)
                        border.color: Qt.rgba(1, 1, 1, 0.9)
                        border.width: 1.5
                        clip: true
                        rotation: (index - Math.floor(row.thumbs.length / 2)) * 2.5
                        z: row.thumbs.length - index
                        Thumbnail {
                            anchors.fill: parent
                            anchors.margins: 1.5
                            url: modelData.url
                            thumbnail: modelData.thumbnail || ""
                            kind: modelData.kind
                            side: 120
                            provider: row.thumbnails
                        }
                    }
                }
            }
            Symbol {
                objectName: "shootBadge"
                visible: !row.cardOnly
                x: Math.min(row.thumbs.length, 5) * 34 + 40 - 18
                y: parent.height - 24 + 8
                name: row.badge
                color: row.state === 0 ? Theme.pending : Look.color(row.tint)
                size: 22
                Rectangle { anchors.fill: parent; anchors.margins: 3; radius: width / 2; color: "white"; z: -1 }
            }
        }
        Column {
            width: parent.width - 214 - trailing.width - 2 * Theme.l
            anchors.verticalCenter: parent.verticalCenter
            spacing: 6
            Row {
                spacing: Theme.s
                DataText { text: row.title; font: Theme.title }
                Rectangle {
                    visible: row.camera !== ""
                    anchors.verticalCenter: parent.verticalCenter
                    width: cam.implicitWidth + 14
                    height: cam.implicitHeight + 4
                    radius: height / 2
                    color: Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.06)
                    DataText { id: cam; anchors.centerIn: parent; text: row.camera; font: Theme.secondaryFont; color: Theme.secondary }
                }
            }
            DataText { text: row.sizeText; font: Theme.secondaryFont; color: Theme.secondary }
            Row {
                visible: !row.cardOnly
                spacing: Theme.s
                CoverageBar {
                    anchors.verticalCenter: parent.verticalCenter
                    width: 200
                    results: row.results
                    counts: row.counts
                    barHeight: 7
                }
                Text {
                    text: row.coveredText
                    font.family: Theme.family
                    font.pixelSize: 11
                    font.weight: Font.DemiBold
                    color: row.allCovered ? Theme.verified : Theme.primary
                }
            }
            Row {
                spacing: 6
                Text {
                    objectName: "shootSentence"
                    text: row.sentence
                    font: Theme.secondaryFont
                    color: row.cardOnly || row.state === 0 ? Theme.secondary
                         : row.state === 1 ? Theme.missing
                         : row.state === 2 ? Theme.partial : Theme.verified
                }
                Text {
                    objectName: "landingLink"
                    visible: !row.cardOnly && row.landingName !== "" && row.state >= 2
                    text: (row.state === 2 ? "in " : "") + row.landingName + " › " + row.landingFolder
                          + (row.landingMore !== "" ? " " + row.landingMore : "")
                    textFormat: Text.PlainText
                    font: Theme.secondaryFont
                    color: Theme.secondary
                    // Takes the click whole: the row under it would open the browser too.
                    MouseArea {
                        anchors.fill: parent
                        cursorShape: Qt.PointingHandCursor
                        onClicked: row.revealLanding()
                    }
                }
            }
        }
        Item {
            id: trailing
            width: Math.max(copyButton.implicitWidth, 16)
            height: 66
            ActionButton {
                id: copyButton
                objectName: "shootCopy"
                anchors.verticalCenter: parent.verticalCenter
                visible: row.copyable > 0
                prominent: true
                text: "Copy " + row.copyable + "…"
                onClicked: row.copy()
            }
            Text {
                anchors.centerIn: parent
                visible: row.copyable <= 0
                text: "›"
                font.pixelSize: 18
                color: Theme.tertiary
            }
        }
    }
}

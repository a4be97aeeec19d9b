import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// One shoot: a fan of up to five pictures with a status badge, its folder, camera, contents and
// coverage, where it landed on a backup, and a copy button for what is missing. Long folder names
// and landing paths are cut from their start, so their end stays visible; their tooltips hold them
// whole. Where the row is short the fan closes up before the title is cut, and the status
// sentence is never cut: the landing link gives way, then takes a line of its own.
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
    required property string sentenceSymbol
    required property string badge
    required property string tint
    required property string coveredText
    required property bool allCovered
    required property var counts
    required property real copyable
    // "Copy 1,234…"
    required property string copyText
    required property string landingName
    required property string landingFolder
    required property string landingMore
    required property var thumbs
    required property string groupID
    readonly property bool cardOnly: results.cardOnly
    // ShootState: checking, not backed up, partly, backed up to a landing, backed up, not read.
    readonly property bool checking: state === 0
    readonly property bool hasLink: !cardOnly && landingName !== "" && (state === 2 || state === 3)
    objectName: "shootRow"
    // A Tab stop of its own: Return or Space opens the shoot's files, the menu key its menu.
    activeFocusOnTab: true
    readonly property Item focusRingItem: row
    // Return is its own whenever it has the keys: the screen's default button stays off it.
    readonly property bool takesReturn: true
    readonly property real focusRingRadius: Theme.radiusL
    Accessible.role: Accessible.Button
    Accessible.name: row.title + ", " + row.sentence
    Keys.onReturnPressed: row.showFiles(false)
    Keys.onEnterPressed: row.showFiles(false)
    Keys.onSpacePressed: row.showFiles(false)
    Keys.onMenuPressed: menu.popup(row, Theme.xxl, row.height / 2)
    implicitHeight: Math.max(66, details.implicitHeight) + 2 * Theme.m
    scale: hover.hovered ? 1.005 : 1
    Behavior on scale { NumberAnimation { duration: Theme.stateMs; easing.type: Easing.OutBack } }

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
        Behavior on border.color { ColorAnimation { duration: Theme.stateMs } }
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
    LazyToolTip { shown: hover.hovered && !link.hovered && !copyButton.hovered; text: "Click to see this shoot's files" }
    // Made when first opened: a list of many shoots would otherwise make a menu per row.
    Loader {
        id: menu
        active: false
        function popup(at, x, y) {
            active = true
            if (at)
                item.popup(at, x, y)
            else
                item.popup()
        }
        sourceComponent: AppMenu {
            objectName: "shootMenu"
            MenuItem { text: "Show Files"; onTriggered: row.showFiles(false) }
            MenuItem { text: "Show Files Not Backed Up"; visible: !row.cardOnly; height: visible ? implicitHeight : 0; onTriggered: row.showFiles(true) }
            MenuItem { text: "Show Backup Folder in Files"; visible: row.landingName !== ""; height: visible ? implicitHeight : 0; onTriggered: row.revealLanding() }
        }
    }

    Row {
        id: content
        x: Theme.m
        y: Theme.m
        width: parent.width - 2 * Theme.m - Theme.xs
        height: parent.height - 2 * Theme.m
        spacing: Theme.l
        // The fan and the title line share what the trailing button leaves.
        readonly property var fit: Present.fitShootLine(row.thumbs.length, Math.ceil(titleNeed.advanceWidth),
                                                        row.camera === "" ? 0 : titleLine.chipNeed, titleLine.chipChrome + 60,
                                                        Theme.s, Theme.l, width - trailing.width - Theme.l)
        TextMetrics { id: titleNeed; font: Theme.title; text: row.title }
        Item {
            id: strip
            width: content.fit.fan
            height: 66
            anchors.verticalCenter: parent.verticalCenter
            Row {
                anchors.verticalCenter: parent.verticalCenter
                spacing: content.fit.step - 74
                // By count: a fold reads the row's pictures again, and a list for a model would
                // make every tile anew each time.
                Repeater {
                    model: row.thumbs.length
                    Rectangle {
                        required property int index
                        readonly property var modelData: row.thumbs[index] || ({})
                        objectName: "stackTile"
                        width: 74
                        height: 54
                        radius: 6
                        // Dark behind a picture; a file without one shows its symbol on the light
                        // ground, as in the browser.
                        color: picture.hasPicture ? Qt.rgba(0, 0, 0, 0.85) : Theme.pictureGround
                        border.color: Qt.rgba(1, 1, 1, 0.9)
                        border.width: 1.5
                        clip: true
                        rotation: (index - Math.floor(row.thumbs.length / 2)) * 2.5
                        z: row.thumbs.length - index
                        Thumbnail {
                            id: picture
                            anchors.fill: parent
                            anchors.margins: 1.5
                            url: modelData.url
                            thumbnail: modelData.thumbnail || ""
                            kind: modelData.kind
                            side: 120
                            provider: row.thumbnails
                            // The picture before this one covers its leading part.
                            coveredTo: parent.index > 0 ? parent.width - content.fit.step - anchors.margins : 0
                        }
                    }
                }
            }
            Symbol {
                objectName: "shootBadge"
                visible: !row.cardOnly
                x: (row.thumbs.length > 0 ? 74 + (Math.min(row.thumbs.length, 5) - 1) * content.fit.step : 40) - 18
                y: parent.height - 24 + 8
                name: row.badge
                color: row.checking ? Theme.pending : Look.color(row.tint)
                size: 22
                Accessible.role: Accessible.Graphic
                Accessible.name: row.sentence
                Rectangle { anchors.fill: parent; anchors.margins: 3; radius: width / 2; color: "white"; z: -1 }
            }
        }
        Column {
            id: details
            width: parent.width - strip.width - trailing.width - 2 * Theme.l
            anchors.verticalCenter: parent.verticalCenter
            spacing: 6
            Row {
                id: titleLine
                width: details.width
                spacing: Theme.s
                // The camera chip's width follows from its text alone, never from what it holds
                // (a chip sized by its own content collapses); it narrows before the title is cut.
                TextMetrics { id: cameraNeed; font: cameraText.font; text: row.camera }
                readonly property real chipChrome: 7 + 11 + 4 + 7
                readonly property real chipNeed: Math.ceil(cameraNeed.advanceWidth) + chipChrome
                readonly property real chipWidth: content.fit.chip
                DataText {
                    id: titleText
                    objectName: "shootTitle"
                    readonly property var cut: Present.cutPath(row.title, font, content.fit.title)
                    text: cut.text
                    font: Theme.title
                    elide: Text.ElideNone
                    HoverHandler { id: titleHover }
                    LazyToolTip { shown: titleHover.hovered && titleText.cut.cut; text: titleText.cut.full }
                }
                Rectangle {
                    id: cameraChip
                    objectName: "shootCamera"
                    visible: row.camera !== ""
                    anchors.verticalCenter: parent.verticalCenter
                    width: titleLine.chipWidth
                    height: cameraText.implicitHeight + 4
                    radius: height / 2
                    color: Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.06)
                    HoverHandler { id: cameraHover }
                    LazyToolTip { shown: cameraHover.hovered && cameraText.truncated; text: row.camera }
                    Row {
                        x: 7
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 4
                        Symbol { name: "camera.fill"; size: 11; color: Theme.secondary; anchors.verticalCenter: parent.verticalCenter }
                        DataText {
                            id: cameraText
                            objectName: "shootCameraName"
                            width: Math.max(0, titleLine.chipWidth - titleLine.chipChrome)
                            text: row.camera
                            font.family: Theme.family
                            font.pixelSize: Theme.secondaryFont.pixelSize
                            font.weight: Font.Medium
                            color: Theme.secondary
                        }
                    }
                }
            }
            DataText { width: details.width; text: row.sizeText; font: Theme.secondaryFont; color: Theme.secondary }
            Row {
                visible: !row.cardOnly
                spacing: Theme.s
                CoverageBar {
                    objectName: "shootBar"
                    anchors.verticalCenter: parent.verticalCenter
                    width: Math.max(40, Math.min(320, details.width - covered.implicitWidth - Theme.s))
                    results: row.results
                    counts: row.counts
                    barHeight: 7
                }
                Text {
                    id: covered
                    text: row.coveredText
                    font.family: Theme.family
                    font.pixelSize: 11
                    font.weight: Font.DemiBold
                    color: row.allCovered ? Theme.textRole("verified") : Theme.primary
                }
            }
            Item {
                id: statusLine
                width: details.width
                height: statusLine.fit.linkBelow ? link.y + link.height : Math.max(sentence.height, link.visible ? link.height : 0)
                readonly property real spacing: 6
                readonly property color ink: row.cardOnly || row.checking ? Theme.secondary
                                             : row.state === 1 ? Theme.textRole("missing")
                                             : row.state === 2 || row.state === 5 ? Theme.textRole("partial")
                                             : Theme.textRole("verified")
                // The sentence keeps its counts whole; the link gives way first (its backup's name,
                // then its folder down to the last part), then goes under the sentence.
                readonly property real leadWidth: leadRow.width > 0 ? leadRow.width + spacing : 0
                readonly property string folderEnd: {
                    const parts = row.landingFolder.split("/").filter(p => p !== "")
                    return parts.length > 1 ? "…/" + parts[parts.length - 1] : row.landingFolder
                }
                TextMetrics { id: folderNeed; font: Theme.secondaryFont; text: row.landingFolder }
                TextMetrics { id: folderEndNeed; font: Theme.secondaryFont; text: statusLine.folderEnd }
                readonly property var fit: Present.fitStatusLine(statusLine.leadWidth, Math.ceil(sentence.implicitWidth), row.hasLink,
                                                                 link.fixed, Math.ceil(backup.implicitWidth), 60,
                                                                 Math.ceil(folderNeed.advanceWidth), Math.ceil(folderEndNeed.advanceWidth),
                                                                 statusLine.spacing, statusLine.width)
                Row {
                    id: leadRow
                    spacing: statusLine.spacing
                    height: sentence.lineHeight
                    Loader {
                        objectName: "shootChecking"
                        active: row.checking
                        visible: active
                        width: 12
                        height: 12
                        anchors.verticalCenter: parent.verticalCenter
                        sourceComponent: BusyIndicator { running: true }
                    }
                    Symbol {
                        visible: row.sentenceSymbol !== ""
                        name: row.sentenceSymbol
                        size: 13
                        color: statusLine.ink
                        anchors.verticalCenter: parent.verticalCenter
                    }
                }
                Text {
                    id: sentence
                    objectName: "shootSentence"
                    readonly property real lineHeight: height / Math.max(1, lineCount)
                    x: statusLine.leadWidth
                    width: statusLine.fit.sentence
                    text: row.sentence
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                    font: Theme.secondaryFont
                    color: statusLine.ink
                }
                AbstractButton {
                    id: link
                    objectName: "landingLink"
                    visible: row.hasLink
                    x: statusLine.fit.linkBelow ? statusLine.leadWidth : sentence.x + sentence.width + statusLine.spacing
                    y: statusLine.fit.linkBelow ? sentence.height + 2 : (sentence.lineHeight - height) / 2
                    // Beside the backup's name and the folder: prefix, chevron and "+N".
                    readonly property real fixed: (prefix.visible ? prefix.implicitWidth + 4 : 0) + chevron.width + 8
                                                  + (more.visible ? more.implicitWidth + 4 : 0)
                    hoverEnabled: true
                    focusPolicy: Qt.StrongFocus
                    padding: 0
                    Accessible.name: (row.state === 2 ? "in " : "") + row.landingName + " › " + row.landingFolder
                    onClicked: row.revealLanding()
                    HoverHandler { cursorShape: Qt.PointingHandCursor }
                    LazyToolTip {
                        shown: link.hovered
                        text: "Show this folder in Files" + (folder.cut.cut || backup.truncated ? "\n" + row.landingName + " › " + folder.cut.full : "")
                    }
                    contentItem: Row {
                        spacing: 4
                        Text {
                            id: prefix
                            visible: row.state === 2
                            text: "in"
                            textFormat: Text.PlainText
                            font: Theme.secondaryFont
                            color: Theme.secondary
                        }
                        DataText {
                            id: backup
                            objectName: "landingBackup"
                            text: row.landingName
                            // With the room the folder leaves: it is cut between its names.
                            width: Math.min(implicitWidth, statusLine.fit.backup
                                                           + Math.max(0, statusLine.fit.folder - folder.implicitWidth))
                            font.family: Theme.family
                            font.pixelSize: Theme.secondaryFont.pixelSize
                            font.underline: link.hovered || link.visualFocus
                            color: Theme.secondary
                        }
                        Symbol {
                            id: chevron
                            name: "chevron.right"
                            size: 10
                            color: Theme.tertiary
                            anchors.verticalCenter: parent.verticalCenter
                        }
                        DataText {
                            id: folder
                            objectName: "landingFolder"
                            readonly property var cut: Present.cutPath(row.landingFolder, font, statusLine.fit.folder)
                            text: cut.text
                            elide: Text.ElideNone
                            font.family: Theme.family
                            font.pixelSize: Theme.secondaryFont.pixelSize
                            font.underline: link.hovered || link.visualFocus
                            color: Theme.primary
                        }
                        Text {
                            id: more
                            visible: row.landingMore !== ""
                            text: row.landingMore
                            textFormat: Text.PlainText
                            font: Theme.secondaryFont
                            color: Theme.secondary
                        }
                    }
                }
            }
        }
        Item {
            id: trailing
            width: Math.max(copyButton.visible ? copyButton.implicitWidth : 0, 16)
            height: parent.height
            ActionButton {
                id: copyButton
                objectName: "shootCopy"
                anchors.verticalCenter: parent.verticalCenter
                anchors.right: parent.right
                visible: row.copyable > 0
                prominent: true
                text: row.copyText
                onClicked: row.copy()
            }
            Symbol {
                anchors.centerIn: parent
                visible: row.copyable <= 0
                name: "chevron.right"
                size: 14
                color: Theme.tertiary
            }
        }
    }
}

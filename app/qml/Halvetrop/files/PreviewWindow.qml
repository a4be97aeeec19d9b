import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Window
import QtMultimedia
import Halvetrop
import Halvetrop.Native

// The preview of a card file and its first backup copy, paged with the arrow keys. Still
// pictures and a video's first frame come decoded by the helper; video and audio play here from a
// file the model opened without touching its access time, and are stopped and let go whenever the
// preview closes or pages on, so no file of the card stays open. Its controls take the palette of
// the look, as the main window's do.
ThemedWindow {
    id: preview
    required property var model
    objectName: "previewWindow"
    title: "Preview"
    width: 760
    height: 560
    visible: model ? model.previewOpen : false
    property int index: 0
    readonly property var urls: model && model.previewUrls ? model.previewUrls : []
    readonly property var item: model && model.files && index < urls.length ? model.files.previewItem(urls[index]) : ({})
    readonly property bool playable: item.kind === "video" || item.kind === "audio"
    // Whether the player holds the shown item's file: until Play, a video shows its first frame.
    property bool started: false

    onUrlsChanged: index = 0
    onVisibleChanged: if (!visible) { unload(); if (model && model.previewOpen) model.closePreview() }
    // A text item's words, read off the GUI thread; undefined until they come, null for one too
    // large or not text after all, which keeps the file card.
    property var text: undefined
    onItemChanged: {
        unload()
        text = undefined
        frames.streamRange = ""
        if (item.kind === "text")
            model.files.loadText(urls[index])
        if (item.kind === "video" && typeof videoRanges !== "undefined")
            videoRanges.ask(item.still)
    }
    // The range of a video's samples, which the helper finds with its still: the frames the
    // player hands over may not say it.
    Connections {
        target: typeof videoRanges !== "undefined" ? videoRanges : null
        function onKnown(still, range) {
            if (still === preview.item.still)
                frames.streamRange = range
        }
    }
    Connections {
        target: preview.model ? preview.model.files : null
        function onTextLoaded(url, text) {
            if (String(url) === String(preview.urls[preview.index]))
                preview.text = text
        }
    }

    // Closing the preview from the model (a second Space, an eject) lets go of the file at once.
    Connections {
        target: preview.model
        function onPreviewChanged() {
            if (!preview.model.previewOpen)
                preview.unload()
        }
    }

    function unload() {
        started = false
        if (model && model.files)
            model.files.releaseMedia()
    }

    Shortcut { sequences: ["Space", "Escape"]; onActivated: preview.model.closePreview() }
    Shortcut { sequence: "Right"; onActivated: preview.index = Math.min(preview.index + 1, preview.urls.length - 1) }
    Shortcut { sequence: "Left"; onActivated: preview.index = Math.max(preview.index - 1, 0) }

    FocusRing { window: preview }

    MediaPlayer {
        id: player
        objectName: "previewPlayer"
        videoOutput: frames.visible ? frames : video
        audioOutput: AudioOutput {}
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: Theme.m
        spacing: Theme.s

        RowLayout {
            Layout.fillWidth: true
            DataText {
                objectName: "previewName"
                Layout.fillWidth: true
                text: preview.item.name || ""
                font: Theme.rowTitle
            }
            // Where the shown copy is. Its width is that of the longer words from the start: a
            // width that followed the words would be taken by the layout only on its next pass,
            // leaving the words under the ‹ button when the preview first opens.
            TextMetrics { id: placeWords; font: Theme.secondaryFont; text: "On the backup" }
            Text {
                objectName: "previewPlace"
                Layout.preferredWidth: Math.ceil(placeWords.advanceWidth)
                Layout.minimumWidth: Layout.preferredWidth
                horizontalAlignment: Text.AlignRight
                text: preview.urls.length > 1 ? (preview.index === 0 ? "On the card" : "On the backup") : ""
                textFormat: Text.PlainText
                font: Theme.secondaryFont
                color: Theme.secondary
            }
            // Drawn arrows in the buttons' ink, clear in either look.
            ActionButton {
                objectName: "previewPrevious"
                symbol: "chevron.left"
                name: "Previous"
                enabled: preview.index > 0
                onClicked: preview.index--
            }
            ActionButton {
                objectName: "previewNext"
                symbol: "chevron.right"
                name: "Next"
                enabled: preview.index < preview.urls.length - 1
                onClicked: preview.index++
            }
        }

        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true
            Image {
                id: still
                objectName: "previewImage"
                anchors.fill: parent
                visible: preview.item.kind === "image" || (preview.item.kind === "video" && !preview.started)
                fillMode: Image.PreserveAspectFit
                asynchronous: true
                cache: false
                source: !visible ? "" : preview.item.kind === "video" ? preview.item.still : preview.item.source
            }
            VideoOutput {
                id: video
                anchors.fill: parent
                visible: preview.item.kind === "video" && !frames.software
            }
            // Where the window is drawn in software, which draws no VideoOutput.
            VideoFrames {
                id: frames
                objectName: "previewFrames"
                readonly property bool software: GraphicsInfo.api === GraphicsInfo.Software
                anchors.fill: parent
                visible: preview.item.kind === "video" && software
            }
            ScrollView {
                anchors.fill: parent
                visible: preview.item.kind === "text" && typeof preview.text === "string"
                TextArea {
                    objectName: "previewText"
                    readOnly: true
                    textFormat: TextEdit.PlainText
                    wrapMode: TextEdit.Wrap
                    font: Theme.mono
                    color: Theme.primary
                    selectByMouse: true
                    text: typeof preview.text === "string" ? preview.text : ""
                }
            }
            // The file card: for a file without a picture or words to show (a RAW without a
            // usable preview, a large or binary file), and for audio.
            EmptyState {
                objectName: "previewFileCard"
                readonly property bool noPicture: still.visible && still.source.toString() !== ""
                                                  && (still.status === Image.Error
                                                      || (still.status === Image.Ready && still.implicitWidth === 0))
                anchors.centerIn: parent
                visible: preview.item.kind === "other" || preview.item.kind === "audio" || noPicture
                         || (preview.item.kind === "text" && typeof preview.text !== "string")
                symbol: ({ image: "photo", video: "video", audio: "waveform" })[preview.item.kind] || "doc"
                title: preview.item.name || ""
                description: preview.item.kind === "audio" || (preview.item.kind === "text" && preview.text === undefined)
                             ? "" : "No preview"
            }
        }
        RowLayout {
            visible: preview.playable
            Button {
                objectName: "previewPlay"
                text: player.playbackState === MediaPlayer.PlayingState ? "Pause" : "Play"
                onClicked: {
                    if (!preview.started)
                        preview.started = preview.model.files.play(player, preview.urls[preview.index])
                    if (preview.started)
                        player.playbackState === MediaPlayer.PlayingState ? player.pause() : player.play()
                }
            }
            Slider {
                Layout.fillWidth: true
                from: 0
                to: Math.max(player.duration, 1)
                value: player.position
                onMoved: player.position = value
            }
        }
    }
}

import QtQuick
import Halvetrop

// A card file's picture: whatever the provider hands back once it has one, until then (or when
// there is none) the kind's symbol. `provider` answers `request(url, side)` with an image source,
// or "" while it has nothing; without a provider the placeholder stays.
Item {
    id: thumb
    property url url
    property string kind: "photo"
    property int side: 120
    property var provider: null
    // An image URL of the thumbnail helper, when the row knows the file well enough to name one.
    property string thumbnail: ""
    readonly property string source: !provider ? ""
                                     : thumbnail !== "" ? thumbnail
                                     : url.toString() !== "" ? provider.request(url, side) : ""

    Image {
        id: image
        anchors.fill: parent
        source: thumb.source
        fillMode: Image.PreserveAspectCrop
        asynchronous: true
        visible: status === Image.Ready
    }
    Symbol {
        anchors.centerIn: parent
        visible: image.status !== Image.Ready
        name: ({ photo: "photo", video: "video", audio: "waveform" })[thumb.kind] || "doc"
        color: Qt.rgba(1, 1, 1, 0.45)
        size: Math.min(thumb.width, thumb.height) * 0.4
    }
}

import QtQuick
import Halvetrop

// A card file's picture: whatever the provider hands back once it has one; until then, or when
// the file gives none (an empty answer counts as none), the kind's symbol on the light ground
// the browser's tiles, the inspector and the preview show for such a file too. `provider` answers
// `request(url, side)` with an image source, or "" while it has nothing; without a provider the
// placeholder stays.
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
    // A picture is on show (a frame around it goes dark only then).
    readonly property bool hasPicture: image.status === Image.Ready && image.implicitWidth > 0

    Rectangle {
        anchors.fill: parent
        visible: !thumb.hasPicture
        color: Theme.pictureGround
    }
    Image {
        id: image
        anchors.fill: parent
        source: thumb.source
        fillMode: Image.PreserveAspectCrop
        asynchronous: true
        visible: thumb.hasPicture
    }
    Symbol {
        objectName: "kindSymbol"
        anchors.centerIn: parent
        visible: !thumb.hasPicture
        name: ({ photo: "photo", video: "video", audio: "waveform" })[thumb.kind] || "doc"
        color: Theme.tertiary
        size: Math.min(thumb.width, thumb.height) * 0.4
    }
}

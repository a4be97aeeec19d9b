import QtQuick
import Halvetrop
import Halvetrop.Native

// A card file's picture: whatever the provider hands back once it has one; until then, or when
// the file gives none (an empty answer counts as none), the kind's symbol on the light ground
// the browser's tiles, the inspector and the preview show for such a file too. `provider` answers
// `request(url, side)` with an image source, or "" while it has nothing; without a provider the
// placeholder stays.
Rectangle {
    id: thumb
    property url url
    property string kind: "photo"
    property int side: 120
    property var provider: null
    // An image URL of the thumbnail helper, when the row knows the file well enough to name one.
    property string thumbnail: ""
    // Where what lies over its leading part ends (a picture before it in a shoot's fan): the
    // kind's symbol stands in the part still seen.
    property real coveredTo: 0
    readonly property string source: !provider ? ""
                                     : thumbnail !== "" ? thumbnail
                                     : url.toString() !== "" ? provider.request(url, side) : ""
    // A picture is on show (a frame around it goes dark only then).
    readonly property bool hasPicture: image.status === Image.Ready && image.implicitWidth > 0

    // The ground and the symbol are drawn by this item and one image: a shoot row shows five of
    // these, and a list of shoots is made anew with each change of mode.
    color: thumb.hasPicture ? "transparent" : Theme.pictureGround
    Image {
        id: image
        anchors.fill: parent
        source: thumb.source
        fillMode: Image.PreserveAspectCrop
        asynchronous: true
        visible: thumb.hasPicture
    }
    // The kind's symbol, as Symbol draws it.
    Image {
        objectName: "kindSymbol"
        readonly property real seen: Math.max(0, thumb.width - thumb.coveredTo)
        readonly property int size: Math.max(8, Math.min(Math.min(thumb.width, thumb.height) * 0.4, seen - 6))
        x: Math.min(thumb.width - seen / 2, thumb.width) - size / 2
        anchors.verticalCenter: parent.verticalCenter
        visible: !thumb.hasPicture
        width: size
        height: size
        sourceSize: Qt.size(size * 2, size * 2)
        smooth: true
        source: Present.symbolSource(({ photo: "photo", video: "video", audio: "waveform" })[thumb.kind] || "doc",
                                     Theme.tertiary)
    }
}

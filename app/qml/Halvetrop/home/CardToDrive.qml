import QtQuick
import QtQuick.Shapes
import Halvetrop
import Halvetrop.Native

// The card on the left, the first backup on the right, and packets travelling along an arc between
// them. Every frame is a function of the clock alone; it moves only while it is on screen and the
// desktop allows motion. Glows are radial gradients (no renderer here blurs).
Item {
    id: picture
    property string stage: "scanningSource"
    property string cardName
    property string driveName
    property string cardPath
    property string drivePath
    property int extraDrives: 0
    property bool reduceMotion: Theme.reduceMotion

    // Seconds since 1 January 2001 UTC, the clock the motion is defined on.
    function now() { return Date.now() / 1000 - 978307200 }
    property real t: now()
    readonly property bool animating: frames.running
    readonly property var packets: HomeRules.packets(t, stage, width, height)
    readonly property real arcY: height / 2 - 14

    Accessible.role: Accessible.Graphic
    Accessible.name: "Checking " + cardName + " against " + driveName

    FrameAnimation {
        id: frames
        running: picture.visible && picture.Window.visibility !== Window.Hidden && !picture.reduceMotion
        onTriggered: picture.t = picture.now()
    }

    // The arc
    ClippedShape {
        anchors.fill: parent
        ShapePath {
            strokeColor: Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.1)
            strokeWidth: 2
            fillColor: "transparent"
            capStyle: ShapePath.RoundCap
            joinStyle: ShapePath.MiterJoin
            miterLimit: 10
            strokeStyle: ShapePath.DashLine
            dashPattern: [1, 3.5]
            startX: 150; startY: picture.arcY
            PathCubic {
                control1X: 240; control1Y: picture.arcY - 46
                control2X: picture.width - 255; control2Y: picture.arcY - 46
                x: picture.width - 165; y: picture.arcY
            }
        }
    }

    Repeater {
        model: 7
        Item {
            id: packet
            required property int index
            readonly property var p: picture.packets[index]
            readonly property color tone: p.backwards ? Theme.verified : Theme.brandFill
            x: p.x
            y: p.y
            Rectangle {
                x: -9.9; y: -9.9; width: 19.8; height: 19.8; radius: 9.9
                color: packet.tone
                opacity: 0.18 * packet.p.opacity
            }
            Rectangle {
                x: -4.5; y: -4.5; width: 9; height: 9; radius: 2
                color: packet.tone
                opacity: packet.p.opacity
            }
        }
    }

    component Glow: ClippedShape {
        id: g
        property color tone
        ShapePath {
            strokeColor: "transparent"
            fillGradient: RadialGradient {
                centerX: g.width / 2; centerY: g.height / 2; centerRadius: g.width / 2
                focalX: centerX; focalY: centerY
                GradientStop { position: 0; color: g.tone }
                GradientStop { position: 0.55; color: Qt.rgba(g.tone.r, g.tone.g, g.tone.b, 0.5) }
                GradientStop { position: 1; color: "transparent" }
            }
            startX: 0; startY: 0
            PathLine { x: g.width; y: 0 }
            PathLine { x: g.width; y: g.height }
            PathLine { x: 0; y: g.height }
            PathLine { x: 0; y: 0 }
        }
    }

    Row {
        anchors.fill: parent
        Column {
            width: 150
            anchors.verticalCenter: parent.verticalCenter
            spacing: Theme.s
            Item {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 120
                height: 120
                Glow {
                    objectName: "cardGlow"
                    anchors.centerIn: parent
                    width: 150; height: 150
                    tone: Theme.brandFill
                    opacity: HomeRules.cardGlow(picture.t)
                }
                SystemIcon {
                    anchors.fill: parent
                    path: picture.cardPath
                    size: 120
                    fallback: "sdcard.fill"
                }
            }
            DataText {
                anchors.horizontalCenter: parent.horizontalCenter
                width: Math.min(implicitWidth, 140)
                text: picture.cardName
                font.family: Theme.family
                font.pixelSize: Theme.secondaryFont.pixelSize
                font.weight: Font.DemiBold
            }
        }
        Item {
            width: parent.width - 150 - 190
            height: 1
        }
        Column {
            width: 190
            anchors.verticalCenter: parent.verticalCenter
            spacing: Theme.s
            Item {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 120
                height: 120
                Glow {
                    objectName: "driveGlow"
                    anchors.centerIn: parent
                    width: 150; height: 150
                    tone: Theme.verified
                    opacity: HomeRules.driveGlow(picture.t, picture.stage)
                }
                SystemIcon {
                    anchors.fill: parent
                    path: picture.drivePath
                    size: 120
                    fallback: "externaldrive.fill"
                }
                Rectangle {
                    objectName: "extraDrives"
                    visible: picture.extraDrives >= 1
                    anchors.right: parent.right
                    anchors.top: parent.top
                    anchors.rightMargin: -8
                    anchors.topMargin: -8
                    width: badge.implicitWidth + 12
                    height: badge.implicitHeight + 4
                    radius: height / 2
                    color: Theme.selection
                    Text {
                        id: badge
                        anchors.centerIn: parent
                        text: "+" + picture.extraDrives
                        font.family: Theme.family
                        font.pixelSize: Theme.caption.pixelSize
                        font.bold: true
                        color: Theme.selectionText
                    }
                }
            }
            DataText {
                anchors.horizontalCenter: parent.horizontalCenter
                width: Math.min(implicitWidth, 160)
                text: picture.driveName
                font.family: Theme.family
                font.pixelSize: Theme.secondaryFont.pixelSize
                font.weight: Font.DemiBold
            }
        }
    }
}

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Shapes
import Halvetrop
import Halvetrop.Native

// The start screen: the card and the backups side by side, what to check, the two ways to start,
// and the recent cards below. It starts work only through the model's check().
Item {
    id: view
    required property var model
    required property var history

    // Room kept free at the bottom for a banner shown over the page: nothing of the page lies
    // under it, and the Check button that only the banner's room hides scrolls up into sight.
    property real bottomClearance: 0
    onBottomClearanceChanged: Qt.callLater(view.keepCheckInSight)
    function keepCheckInSight() {
        const flick = scroll.contentItem
        const bottom = checkBar.mapToItem(flick.contentItem, 0, checkBar.height).y
        const end = flick.contentY + scroll.height
        if (bottom > end && bottom <= end + view.bottomClearance)
            flick.contentY = Math.min(bottom - scroll.height, Math.max(0, flick.contentHeight - scroll.height))
    }
    readonly property bool hasPhoto: model.kinds.indexOf("photo") >= 0
    readonly property var formats: [
        { value: "all", text: "All photos" },
        { value: "rawOnly", text: "RAW only" },
        { value: "processedOnly", text: "JPEG/HEIF only" }
    ]

    function startCheck(cardOnly) {
        view.model.cardOnly = cardOnly
        view.model.check("")
    }

    // A control with keyboard focus keeps Return for itself; otherwise Return is the Check button.
    Shortcut {
        objectName: "returnChecks"
        sequences: ["Return", "Enter"]
        enabled: view.visible && view.model.canCheck && !Present.keepsReturn(view.Window.activeFocusItem)
                 && !formatMenu.popup.visible
        onActivated: view.startCheck(false)
    }

    // Two soft glows behind the top of the screen; gradients, as no renderer here blurs.
    ClippedShape {
        id: glow
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        height: 760
        enabled: false
        ShapePath {
            strokeColor: "transparent"
            fillGradient: RadialGradient {
                centerX: glow.width / 2; centerY: 0; centerRadius: 520
                focalX: centerX; focalY: centerY
                GradientStop { position: 0; color: Qt.rgba(Theme.brandFill.r, Theme.brandFill.g, Theme.brandFill.b, Theme.dark ? 0.22 : 0.16) }
                GradientStop { position: 1; color: "transparent" }
            }
            startX: 0; startY: 0
            PathLine { x: glow.width; y: 0 }
            PathLine { x: glow.width; y: glow.height }
            PathLine { x: 0; y: glow.height }
            PathLine { x: 0; y: 0 }
        }
        ShapePath {
            strokeColor: "transparent"
            fillGradient: RadialGradient {
                centerX: glow.width * 0.85; centerY: glow.height * 0.35; centerRadius: 380
                focalX: centerX; focalY: centerY
                GradientStop { position: 0; color: Qt.rgba(Theme.verified.r, Theme.verified.g, Theme.verified.b, Theme.dark ? 0.10 : 0.07) }
                GradientStop { position: 1; color: "transparent" }
            }
            startX: 0; startY: 0
            PathLine { x: glow.width; y: 0 }
            PathLine { x: glow.width; y: glow.height }
            PathLine { x: 0; y: glow.height }
            PathLine { x: 0; y: 0 }
        }
    }

    // What Page Up and Page Down scroll (the root view's keys); the format menu's own while open.
    readonly property var pageFlickable: formatMenu.popup.visible ? null : scroll.contentItem

    ScrollView {
        id: scroll
        objectName: "homeScroll"
        anchors.fill: parent
        anchors.bottomMargin: view.bottomClearance
        contentWidth: availableWidth
        onHeightChanged: Qt.callLater(view.keepCheckInSight)

        ScrollBar.vertical.policy: ScrollBar.AsNeeded

        ColumnLayout {
            id: content
            x: Math.max(Theme.xxl, (scroll.availableWidth - width) / 2)
            width: Math.min(900, scroll.availableWidth - 2 * Theme.xxl)
            spacing: Theme.xxl

            // Header
            ColumnLayout {
                Layout.topMargin: Theme.xxxl
                Layout.alignment: Qt.AlignHCenter
                spacing: Theme.s
                Item {
                    Layout.alignment: Qt.AlignHCenter
                    implicitWidth: 96
                    implicitHeight: 96
                    SoftShadow {
                        anchors.fill: parent
                        anchors.margins: 10
                        radius: 24
                        blur: 18
                        offsetY: 8
                        color: Theme.brandFill
                        strength: 0.35
                    }
                    Image {
                        anchors.fill: parent
                        source: "qrc:/halvetrop/halvetrop.svg"
                        sourceSize: Qt.size(192, 192)
                        smooth: true
                    }
                }
                Text {
                    Layout.alignment: Qt.AlignHCenter
                    text: "Is this card backed up?"
                    textFormat: Text.PlainText
                    font.family: Theme.family
                    font.pixelSize: 34
                    font.bold: true
                    color: Theme.primary
                }
                Text {
                    Layout.alignment: Qt.AlignHCenter
                    Layout.maximumWidth: 520
                    Layout.preferredWidth: Math.min(520, implicitWidth)
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    text: "Finds every shot on your backups in seconds — even renamed or re-sorted — then proves each copy byte by byte."
                    textFormat: Text.PlainText
                    font: Theme.callout
                    color: Theme.secondary
                }
            }

            // The flow panel
            Item {
                id: panel
                objectName: "flowPanel"
                Layout.fillWidth: true
                implicitHeight: panelColumn.implicitHeight

                SoftShadow {
                    anchors.fill: parent
                    radius: Theme.radiusXL
                    blur: 24
                    offsetY: 10
                    strength: Theme.dark ? 0.35 : 0.08
                }
                Rectangle {
                    anchors.fill: parent
                    radius: Theme.radiusXL
                    color: Theme.raised
                }
                ColumnLayout {
                    id: panelColumn
                    anchors.left: parent.left
                    anchors.right: parent.right
                    spacing: 0

                    RowLayout {
                        Layout.fillWidth: true
                        Layout.margins: Theme.xl
                        spacing: 0
                        CardColumn {
                            Layout.minimumWidth: 0
                            objectName: "cardColumn"
                            Layout.fillWidth: true
                            Layout.preferredWidth: 1
                            Layout.alignment: Qt.AlignTop
                            model: view.model
                        }
                        Connector {
                            Layout.preferredWidth: 56
                            Layout.topMargin: 52
                            Layout.alignment: Qt.AlignTop
                        }
                        BackupColumn {
                            Layout.minimumWidth: 0
                            objectName: "backupColumn"
                            Layout.fillWidth: true
                            Layout.preferredWidth: 1
                            Layout.alignment: Qt.AlignTop
                            model: view.model
                        }
                    }
                    Rectangle {
                        Layout.fillWidth: true
                        implicitHeight: 1
                        color: Theme.hairline
                    }
                    // The check bar
                    GridLayout {
                        id: checkBar
                        objectName: "checkBar"
                        // The buttons go under the choices when both do not fit side by side.
                        readonly property bool narrow: panel.width - 2 * Theme.xl < choices.implicitWidth + buttons.implicitWidth + 2 * Theme.l + Theme.m
                        columns: narrow ? 1 : 3
                        rowSpacing: Theme.m
                        Layout.fillWidth: true
                        Layout.leftMargin: Theme.xl
                        Layout.rightMargin: Theme.xl
                        Layout.topMargin: Theme.l
                        Layout.bottomMargin: Theme.l
                        columnSpacing: Theme.l
                        ColumnLayout {
                            id: choices
                            spacing: Theme.s
                            Eyebrow { text: "What to check" }
                            RowLayout {
                                spacing: Theme.s
                                KindChips {
                                    objectName: "setupKinds"
                                    kinds: view.model.kinds
                                    onChanged: kinds => view.model.kinds = kinds
                                }
                                ComboBox {
                                    id: formatMenu
                                    objectName: "photoFormats"
                                    visible: view.hasPhoto
                                    model: view.formats
                                    textRole: "text"
                                    valueRole: "value"
                                    Accessible.name: "Photos"
                                    currentIndex: Math.max(0, view.formats.findIndex(f => f.value === view.model.photoFormats))
                                    onActivated: index => view.model.photoFormats = view.formats[index].value
                                }
                            }
                        }
                        Item { visible: !checkBar.narrow; Layout.fillWidth: true; Layout.minimumWidth: Theme.m }
                        // Under the choices in a narrow window, still at the panel's trailing edge.
                        RowLayout {
                            id: buttons
                            objectName: "checkButtons"
                            Layout.alignment: Qt.AlignRight
                            Layout.fillWidth: checkBar.narrow
                            spacing: Theme.l
                            Item { visible: checkBar.narrow; Layout.fillWidth: true }
                            HelpHover {
                                help: HomeRules.scanHelp()
                                Button {
                                    id: scanButton
                                    objectName: "scanCardOnly"
                                    text: "Scan Card Only"
                                    icon.source: Present.symbolSource("sdcard", enabled ? Theme.primary : Theme.tertiary)
                                    implicitHeight: Math.max(34, implicitContentHeight + topPadding + bottomPadding)
                                    enabled: view.model.canScan
                                    onClicked: view.startCheck(true)
                                }
                            }
                            HelpHover {
                                objectName: "checkHelp"
                                help: HomeRules.checkHelp(view.model.canCheck)
                                Button {
                                    id: checkButton
                                    objectName: "checkButton"
                                    text: "Check"
                                    highlighted: true
                                    font.family: Theme.family
                                    font.pixelSize: Theme.title.pixelSize
                                    font.weight: Font.DemiBold
                                    icon.source: Present.symbolSource("checkmark.seal.fill", checkFill.colors.text)
                                    icon.color: "transparent"
                                    palette.buttonText: checkFill.colors.text
                                    palette.brightText: checkFill.colors.text
                                    background: ProminentFill {
                                        id: checkFill
                                        control: checkButton
                                        radius: Theme.radiusM
                                        border.width: checkButton.visualFocus ? 2 : 1
                                        border.color: checkButton.visualFocus ? Theme.focusRing : colors.border
                                    }
                                    implicitWidth: Math.max(150, implicitContentWidth + leftPadding + rightPadding)
                                    implicitHeight: Math.max(34, implicitContentHeight + topPadding + bottomPadding)
                                    enabled: view.model.canCheck
                                    onClicked: view.startCheck(false)
                                }
                            }
                        }
                    }
                }
                Rectangle {
                    anchors.fill: parent
                    radius: Theme.radiusXL
                    color: "transparent"
                    border.width: 0.5
                    border.color: Theme.dark ? Qt.rgba(1, 1, 1, 0.08) : Theme.hairline
                }
            }

            Text {
                objectName: "noKindsNote"
                visible: view.model.kinds.length === 0
                Layout.alignment: Qt.AlignHCenter
                text: "Pick at least one file type."
                textFormat: Text.PlainText
                font: Theme.secondaryFont
                color: Theme.missing
            }

            RecentCards {
                visible: view.history.count > 0
                Layout.fillWidth: true
                availableWidth: content.width
                model: view.model
                history: view.history
            }
            Item { Layout.preferredHeight: Theme.xl }
        }
    }
}

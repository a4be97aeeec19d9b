import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// Asks the model about the chosen file again whenever another is chosen or the rows change, so
// nothing stale survives from one file to the next; its buttons hand every action to the model.
Rectangle {
    id: inspector
    required property var model
    objectName: "FileInspector"
    color: Theme.content
    readonly property var facts: model.files && model.hasReport && model.selectedFileID >= 0
                                 && model.files.revision >= 0 ? model.files.inspect(model.selectedFileID) : ({})
    readonly property bool shown: facts.id !== undefined
    readonly property var copyable: shown ? model.copyableIDs([facts.id]) : []

    component InspectorFact: DataText {
        property bool value: false
        property string folder
        // A folder keeps its end where it takes more than the fact's lines, the whole in its tooltip.
        readonly property var cut: Present.cutPath(folder, font, width, "/", maximumLineCount)
        HoverHandler { id: factHover; enabled: folder !== "" }
        PlainToolTip { objectName: "folderFactTip"; shown: factHover.hovered && cut.cut; text: cut.full }
        font: Theme.callout
        color: value ? Theme.primary : Theme.secondary
        Layout.fillWidth: value
        wrapMode: Text.WrapAnywhere
        maximumLineCount: 4
    }

    EmptyState {
        objectName: "inspectorEmpty"
        anchors.centerIn: parent
        // Its text wraps inside the column's margins.
        width: Math.min(implicitWidth, parent.width - 2 * Theme.l)
        visible: !inspector.shown
        symbol: "sidebar.right"
        title: "No file selected"
        description: "Select a file to see where its copies are."
    }

    ScrollView {
        anchors.fill: parent
        visible: inspector.shown
        contentWidth: availableWidth

        ColumnLayout {
            width: parent.width
            spacing: Theme.l

            Rectangle {
                objectName: "inspectorPicture"
                Layout.fillWidth: true
                Layout.margins: Theme.l
                Layout.bottomMargin: 0
                Layout.preferredHeight: 190
                radius: Theme.radiusM
                color: Qt.rgba(0, 0, 0, 0.04)
                Symbol {
                    anchors.centerIn: parent
                    size: 48
                    color: Theme.tertiary
                    visible: picture.status !== Image.Ready || picture.implicitWidth === 0
                    name: ({ photo: "photo", video: "video", audio: "waveform" })[inspector.facts.kind] || "doc"
                }
                Image {
                    id: picture
                    objectName: "inspectorThumbnail"
                    anchors.fill: parent
                    fillMode: Image.PreserveAspectFit
                    asynchronous: true
                    cache: false
                    source: inspector.facts.thumbnail || ""
                }
                TapHandler {
                    onDoubleTapped: inspector.model.quickLook(inspector.facts.id)
                }
            }

            // A positioner, as wide as the column: the name is cut to the width it is given, which
            // a layout would work out again from the cut name's own.
            Column {
                Layout.fillWidth: true
                Layout.leftMargin: Theme.l
                Layout.rightMargin: Theme.l
                spacing: 4
                DataText {
                    id: inspectorName
                    objectName: "inspectorName"
                    width: parent.width
                    // A long name is the one thing here worth three lines; past them it is cut in
                    // its middle, its number and extension kept, the whole in its tooltip.
                    readonly property var cut: Present.cutName(inspector.facts.name || "", font, width, maximumLineCount)
                    text: cut.text
                    font: Theme.title
                    wrapMode: Text.WrapAtWordBoundaryOrAnywhere
                    maximumLineCount: 3
                    HoverHandler { id: nameHover }
                    PlainToolTip {
                        objectName: "inspectorNameTip"
                        shown: nameHover.hovered && inspectorName.cut.cut
                        text: inspectorName.cut.full
                    }
                }
                RowLayout {
                    StatusGlyph { status: inspector.facts.status || "notCompared"; size: 14 }
                    DataText {
                        objectName: "inspectorStatus"
                        text: inspector.facts.statusLabel || ""
                        font: Theme.rowTitle
                        color: Theme.statusText(inspector.facts.status || "notCompared")
                    }
                }
                DataText {
                    width: parent.width
                    visible: text.length > 0
                    text: inspector.facts.detail || ""
                    font: Theme.callout
                    color: Theme.secondary
                    wrapMode: Text.Wrap
                    maximumLineCount: 4
                }
            }

            GridLayout {
                objectName: "inspectorFacts"
                // As wide as the column: the folder's cut follows the width its cell is given.
                Layout.fillWidth: true
                Layout.leftMargin: Theme.l
                Layout.rightMargin: Theme.l
                columns: 2
                columnSpacing: Theme.m
                rowSpacing: 6
                // Fixed pairs, not a list: a choice of another file changes their texts only.
                InspectorFact { text: inspector.facts.dateLabel || "" }
                InspectorFact { text: inspector.facts.dateValue || ""; value: true }
                InspectorFact { text: "Camera"; visible: (inspector.facts.camera || "") !== "" }
                InspectorFact { text: inspector.facts.camera || ""; value: true; visible: text !== "" }
                InspectorFact { text: "Size" }
                InspectorFact { text: inspector.facts.size || ""; value: true }
                InspectorFact { text: "On card" }
                InspectorFact { objectName: "inspectorOnCard"; folder: inspector.facts.onCard || ""; text: cut.text; value: true }
            }

            Eyebrow { Layout.leftMargin: Theme.l; text: "On backups" }
            DataText {
                objectName: "inspectorNote"
                Layout.fillWidth: true
                Layout.leftMargin: Theme.l
                Layout.rightMargin: Theme.l
                visible: text.length > 0
                text: inspector.facts.note || ""
                font: Theme.callout
                color: Theme.secondary
                wrapMode: Text.WordWrap
                maximumLineCount: 4
            }

            // The copies change with the chosen file: in a positioner of their own, so the column's
            // layout never lays out a card that is being taken away.
            Column {
                Layout.fillWidth: true
                Layout.leftMargin: Theme.l
                Layout.rightMargin: Theme.l
                spacing: Theme.l
                Repeater {
                model: inspector.facts.copies || []
                delegate: Rectangle {
                    required property var modelData
                    required property int index
                    objectName: "copyCard"
                    width: parent.width
                    implicitHeight: card.implicitHeight + 2 * Theme.s
                    radius: Theme.radiusS
                    color: Theme.raised
                    border.color: Theme.hairline
                    ColumnLayout {
                        id: card
                        anchors.fill: parent
                        anchors.margins: Theme.s
                        spacing: 4
                        RowLayout {
                            Symbol {
                                name: modelData.verified ? "checkmark.seal.fill" : "checkmark.circle.fill"
                                color: modelData.verified ? Theme.verified : Theme.backedUp
                                size: 14
                            }
                            DataText { Layout.fillWidth: true; text: modelData.backup; font: Theme.rowTitle }
                            SymbolButton {
                                objectName: "revealCopy"
                                symbol: "folder.fill"
                                symbolSize: 14
                                help: "Show in Files"
                                onClicked: inspector.model.revealCopy(inspector.facts.id, index)
                            }
                        }
                        // Its place keeps its end, the file's number and extension, the whole in its tooltip.
                        DataText {
                            id: copyPlace
                            objectName: "copyPlace"
                            Layout.fillWidth: true
                            readonly property var cut: Present.cutFilePath(modelData.path, font, width, maximumLineCount)
                            text: cut.text
                            font: Theme.monoSmall
                            color: Theme.secondary
                            wrapMode: Text.WrapAnywhere
                            maximumLineCount: 3
                            HoverHandler { id: placeHover }
                            PlainToolTip {
                                objectName: "copyPlaceTip"
                                shown: placeHover.hovered && copyPlace.cut.cut
                                text: copyPlace.cut.full
                            }
                        }
                        DataText { text: modelData.evidence; font: Theme.secondaryFont; color: Theme.tertiary }
                        // Why a copy read whole is not proven byte by byte, and what to do.
                        DataText {
                            objectName: "copyDoubt"
                            Layout.fillWidth: true
                            visible: text.length > 0
                            text: modelData.doubt || ""
                            font: Theme.secondaryFont
                            color: Theme.secondary
                            wrapMode: Text.WordWrap
                            maximumLineCount: 4
                        }
                    }
                }
                }
            }

            // Nothing of a file that left the card is there to preview or show.
            RowLayout {
                Layout.leftMargin: Theme.l
                visible: !inspector.facts.gone
                Button {
                    objectName: "inspectorPreview"
                    text: "Preview"
                    onClicked: inspector.model.quickLook(inspector.facts.id)
                }
                Button {
                    objectName: "inspectorShowOnCard"
                    text: "Show on Card"
                    onClicked: inspector.model.revealFiles([inspector.facts.id], false)
                }
            }
            Button {
                id: showOnDrive
                objectName: "inspectorShowOnDrive"
                Layout.fillWidth: true
                Layout.leftMargin: Theme.l
                Layout.rightMargin: Theme.l
                visible: inspector.shown && inspector.facts.copies.length > 0
                highlighted: true
                palette.buttonText: showOnDriveFill.colors.text
                ProminentFill { id: showOnDriveFill; control: showOnDrive; parent: showOnDrive.background }
                hoverEnabled: true
                text: "Show on Drive"
                icon.source: Present.symbolSource("externaldrive.fill", showOnDriveFill.colors.text)
                icon.color: "transparent"
                onClicked: inspector.model.revealFiles([inspector.facts.id], true)
                PlainToolTip {
                    shown: showOnDrive.hovered && showOnDrive.visible
                    text: "Open " + (inspector.shown && inspector.facts.copies.length > 0 ? inspector.facts.copies[0].backup : "")
                          + " in Files with the backup copy selected"
                }
            }
            Button {
                id: copyOne
                objectName: "inspectorCopy"
                Layout.fillWidth: true
                Layout.leftMargin: Theme.l
                Layout.rightMargin: Theme.l
                Layout.bottomMargin: Theme.l
                visible: inspector.copyable.length > 0
                highlighted: true
                palette.buttonText: copyOneFill.colors.text
                ProminentFill { id: copyOneFill; control: copyOne; parent: copyOne.background }
                text: "Copy to Backup…"
                icon.source: Present.symbolSource("arrow.down.doc", copyOneFill.colors.text)
                icon.color: "transparent"
                onClicked: inspector.model.requestCopy([inspector.facts.id], inspector.facts.copyTitle)
            }
        }
    }
}

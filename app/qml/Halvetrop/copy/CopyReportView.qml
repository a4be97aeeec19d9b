import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// Where a copy's new files went: one row per folder with its files shown or opened in the file
// manager, the backup shown, and the report saved as CSV. Reads a report view map only.
Item {
    id: view
    required property var model
    required property var report
    property bool compact: false
    readonly property var folders: report && report.folders ? report.folders : []
    implicitWidth: column.implicitWidth
    implicitHeight: column.implicitHeight

    // A layout of its own, not one laid inside its caller's: a report made before the view that
    // shows it would otherwise keep the arrangement it had before its rows were made.
    ColumnLayout {
        id: column
        width: view.width
        spacing: Theme.m

        RowLayout {
            visible: view.folders.length > 0
            Layout.fillWidth: true
            // A long backup name gives way to the button: the headline is cut, its tooltip whole.
            Eyebrow {
                id: foldersHeadline
                objectName: "foldersHeadline"
                asWritten: true
                Layout.fillWidth: true
                elide: Text.ElideRight
                text: view.report && view.report.foldersHeadline ? view.report.foldersHeadline : ""
                HoverHandler { id: headlineHover }
                PlainToolTip { shown: headlineHover.hovered && foldersHeadline.truncated; text: foldersHeadline.text }
            }
            ActionButton {
                objectName: "openDrive"
                symbol: "externaldrive"
                text: "Open Drive"
                // The small control size.
                font.pixelSize: Theme.secondaryFont.pixelSize
                topPadding: 3
                bottomPadding: 3
                onClicked: view.model.revealPaths([view.report.driveRoot])
            }
        }

        // The folders' rows are kept in place by their paths, in a positioner: a layout would lay out
        // again rows a new report has taken away.
        ScrollView {
            objectName: "copiedFolders"
            visible: view.folders.length > 0
            Layout.fillWidth: true
            Layout.preferredHeight: view.folders.length >= 4 ? (view.compact ? 220 : 190) : list.implicitHeight
            clip: true
            Column {
                id: list
                width: view.width
                spacing: Theme.s
                Repeater {
                    model: KeyedList {
                        key: "path"
                        rows: view.folders
                    }
                    delegate: Rectangle {
                        id: folderRow
                        required property var row
                        width: list.width
                        implicitHeight: folderLine.implicitHeight + 2 * Theme.s
                        radius: Theme.radiusM
                        color: Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.04)
                        RowLayout {
                            id: folderLine
                            anchors.fill: parent
                            anchors.margins: Theme.s
                            spacing: Theme.m
                            Symbol { objectName: "copiedFolderSymbol"; name: "folder.fill"; color: Theme.brand; size: 22 }
                            ColumnLayout {
                                spacing: 2
                                Layout.fillWidth: true
                                PathText {
                                    objectName: "copiedFolderTitle"
                                    path: folderRow.row.title
                                    // Cut in its middle: the folders beside it may differ at either end.
                                    keepsFirst: true
                                    font: Theme.rowTitle
                                    Layout.fillWidth: true
                                }
                                DataText {
                                    objectName: "copiedFolderCount"
                                    text: folderRow.row.subtitle
                                    font: Theme.secondaryFont
                                    color: Theme.secondary
                                }
                            }
                            Button {
                                id: showFiles
                                text: "Show Files"
                                hoverEnabled: true
                                PlainToolTip { shown: showFiles.hovered; text: "Open this folder in the file manager with just the new files selected" }
                                onClicked: view.model.revealPaths(folderRow.row.files)
                            }
                            Button {
                                id: openFolder
                                text: "Open Folder"
                                highlighted: true
                                palette.buttonText: openFolderFill.colors.text
                                ProminentFill { id: openFolderFill; control: openFolder; parent: openFolder.background }
                                onClicked: view.model.openFolder(folderRow.row.path)
                            }
                        }
                    }
                }
            }
        }

        // Copies whose read-back came from the page cache: said once, then file by file.
        ColumnLayout {
            objectName: "fromCache"
            visible: (view.report && view.report.fromCacheNote || "") !== ""
            Layout.fillWidth: true
            spacing: 4
            RowLayout {
                Layout.fillWidth: true
                Symbol { name: "exclamationmark.triangle.fill"; color: Theme.partial; size: 13 }
                DataText {
                    text: view.report && view.report.fromCacheNote || ""
                    font: Theme.secondaryFont
                    color: Theme.secondary
                    wrapMode: Text.Wrap
                    maximumLineCount: 3
                    Layout.fillWidth: true
                }
            }
            ScrollView {
                Layout.fillWidth: true
                Layout.preferredHeight: Math.min(90, cached.implicitHeight)
                clip: true
                Column {
                    id: cached
                    width: view.width
                    spacing: 2
                    Repeater {
                        model: view.report && view.report.fromCache || []
                        delegate: PathText {
                            required property string modelData
                            objectName: "fromCacheLine"
                            width: cached.width
                            path: modelData
                            font: Theme.monoSmall
                            color: Theme.secondary
                        }
                    }
                }
            }
        }

        // The hand-offs, or what to install for one, and the report's CSV. Laid out by hand: a layout
        // learns a wrapped line's height only after it has laid the line out, and would keep one line's.
        Item {
            id: tail
            Layout.fillWidth: true
            // The tallest of what it holds, told once each has laid itself out: a wrapped line works
            // its height out when it is read, and as a binding here that would report back to itself.
            function fit() {
                implicitHeight = Math.max(handOffRow.visible ? handOffRow.height : 0,
                                          noPhotoApp.visible ? noPhotoApp.implicitHeight : 0, saveCSV.implicitHeight)
            }
            Component.onCompleted: fit()
            // The applications' buttons in a row of their own: the layout holds only what stays.
            Row {
                id: handOffRow
                onVisibleChanged: tail.fit()
                onHeightChanged: tail.fit()
                visible: handOffs.count > 0
                anchors.verticalCenter: parent.verticalCenter
                spacing: Theme.s
                Repeater {
                    id: handOffs
                    model: view.folders.length > 0 && view.model.photoApps ? view.model.photoApps : []
                    delegate: ActionButton {
                        id: handOff
                        required property string modelData
                        required property int index
                        objectName: "handOff"
                        symbol: "photo.on.rectangle.angled"
                        text: "Add to " + modelData
                        PlainToolTip {
                            objectName: "handOffHelp"
                            shown: handOff.hovered
                            text: view.model.photoAppHelps[handOff.index] || ""
                        }
                        onClicked: view.model.handOff(index)
                    }
                }
            }
            DataText {
                id: noPhotoApp
                objectName: "noPhotoApp"
                visible: view.folders.length > 0 && (!view.model.photoApps || view.model.photoApps.length === 0)
                anchors.verticalCenter: parent.verticalCenter
                width: Math.max(0, tail.width - saveCSV.width - Theme.s)
                text: "To add the files to a photo application, install darktable, digiKam, RawTherapee, Shotwell or gThumb."
                font: Theme.secondaryFont
                color: Theme.secondary
                wrapMode: Text.Wrap
                maximumLineCount: 3
                onVisibleChanged: tail.fit()
                onImplicitHeightChanged: tail.fit()
            }
            ActionButton {
                id: saveCSV
                onImplicitHeightChanged: tail.fit()
                objectName: "saveCopyCSV"
                // Right after the hand-offs, or at the end of the line the sentence takes.
                x: handOffRow.visible ? handOffRow.width + Theme.s : noPhotoApp.visible ? tail.width - width : 0
                anchors.verticalCenter: parent.verticalCenter
                symbol: "doc.text"
                text: "Save Report…"
                help: "A spreadsheet of every file: copied, already there, failed or not copied, and where it went"
                onClicked: view.model.saveLastCopyCSV()
            }
        }
    }
}

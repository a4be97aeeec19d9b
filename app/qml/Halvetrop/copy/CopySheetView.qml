import QtQuick
import QtQuick.Controls
import QtQuick.Window
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// The copy dialog's content: planning, copying and done, from the sheet model. Escape and Return
// are owned here: Cancel, Stop or Done, and Copy or Done.
ColumnLayout {
    id: view
    required property var model
    required property var sheet
    readonly property int phase: sheet ? sheet.phase : 0   // planning, copying, done
    readonly property var progress: sheet ? sheet.progress : ({})
    readonly property bool hasProgress: progress && progress.filesTotal !== undefined
    spacing: Theme.l

    readonly property var layouts: [
        { value: 0, title: "Into the shoot’s folder" },
        { value: 1, title: "In a new folder beside each shoot" },
        { value: 2, title: "In a new folder, by date" },
        { value: 3, title: "By date" },
        { value: 4, title: "Keep the card's folders" },
        { value: 5, title: "Custom" }
    ]

    Shortcut {
        enabled: view.visible && !!view.sheet
        sequences: ["Escape"]
        onActivated: if (view.sheet) view.sheet.pressEscape()
    }
    // Return is Copy only once the plan of the choices shown is there, and Done once the copy
    // ended; never while a text field has the keys (a name being typed is not a go-ahead), nor
    // while the keys rest on another control, which Return presses as Space does (Cancel).
    Shortcut {
        objectName: "sheetReturn"
        enabled: view.visible && !!view.sheet && !Present.keepsReturn(view.Window.activeFocusItem)
                 && (view.phase === 0 ? view.sheet.planCurrent && view.sheet.canCopy : view.phase === 2)
        sequences: ["Return", "Enter"]
        onActivated: {
            if (view.phase === 0) view.sheet.copy()
            else if (view.phase === 2) view.sheet.done()
        }
    }

    DataText {
        objectName: "sheetTitle"
        text: view.sheet ? view.sheet.title : ""
        font: Theme.title
        Layout.fillWidth: true
    }

    // --- planning ---------------------------------------------------------------------------
    ColumnLayout {
        id: planning
        visible: view.phase === 0 && view.sheet && view.sheet.hasBackup
        spacing: Theme.l
        Layout.fillWidth: true
        Layout.fillHeight: true
        // What it needs to show the choices and the plan whole, said outright: the layout takes a
        // stale height of the scroll view as its wish and would cut the plan short.
        Layout.preferredHeight: choices.implicitHeight + spacing + planBar.implicitHeight

        // The choices and the plan scroll in a short window; the bar with Copy stays in view.
        ScrollView {
            id: planScroll
            objectName: "planScroll"
            Layout.fillWidth: true
            Layout.fillHeight: true
            contentWidth: availableWidth
            clip: true
            ColumnLayout {
                id: choices
                width: planScroll.availableWidth
                spacing: Theme.l
                // A backup's long name or path is cut at its end: the picker takes the line's
                // width, never its text's.
                RowLayout {
                    visible: view.sheet && view.sheet.backups.length >= 2
                    Layout.fillWidth: true
                    Label { text: "Copy to"; color: Theme.secondary; font: Theme.callout }
                    ComboBox {
                        id: backupPicker
                        objectName: "backupPicker"
                        Layout.fillWidth: true
                        Layout.preferredWidth: 120
                        model: view.sheet ? view.sheet.backups : []
                        currentIndex: view.sheet ? view.sheet.destination : 0
                        onActivated: index => view.sheet.destination = index
                        hoverEnabled: true
                        // The list opens with the chosen backup's row over the picker, as a
                        // desktop's lists do: the pointer that opened it rests on that row and
                        // lights it, not the first.
                        popup.y: {
                            const rowHeight = count > 0 ? popup.contentItem.contentHeight / count : 0
                            return (height - rowHeight) / 2 - popup.topPadding - currentIndex * rowHeight
                        }
                        contentItem: DataText {
                            objectName: "backupPickerText"
                            leftPadding: 4
                            verticalAlignment: Text.AlignVCenter
                            text: backupPicker.displayText
                            color: backupPicker.palette.buttonText
                            HoverHandler { id: pickerHover }
                            LazyToolTip { shown: pickerHover.hovered && parent.truncated; text: backupPicker.displayText }
                        }
                        // The list's rows as plain text, cut at their end within the list.
                        delegate: ItemDelegate {
                            id: backupRow
                            required property string modelData
                            required property int index
                            width: ListView.view ? ListView.view.width : implicitWidth
                            highlighted: backupPicker.highlightedIndex === index
                            contentItem: DataText {
                                objectName: "backupPickerRow"
                                text: backupRow.modelData
                                color: backupRow.highlighted ? backupRow.palette.highlightedText : backupRow.palette.text
                            }
                        }
                    }
                }

                ColumnLayout {
                    spacing: Theme.s
                    Layout.fillWidth: true
                    Eyebrow { text: "Where should they go?" }
                    Repeater {
                        model: view.layouts
                        delegate: RowLayout {
                            id: layoutRow
                            required property var modelData
                            Layout.fillWidth: true
                            spacing: Theme.s
                            RadioButton {
                                id: radio
                                objectName: "layout_" + layoutRow.modelData.value
                                Layout.alignment: Qt.AlignTop
                                padding: 0
                                checked: view.sheet && view.sheet.layout === layoutRow.modelData.value
                                onClicked: view.sheet.layout = layoutRow.modelData.value
                                readonly property real focusRingRadius: width / 2
                                // Drawn from the tokens: the style's own circle is black on a
                                // dark sheet. The chosen one is an accent ring around an accent
                                // dot, the others grey rings; each stands 3:1 from the sheet.
                                indicator: Rectangle {
                                    objectName: "layoutMark"
                                    implicitWidth: 16
                                    implicitHeight: 16
                                    x: radio.leftPadding
                                    y: radio.topPadding + (radio.availableHeight - height) / 2
                                    radius: width / 2
                                    color: "transparent"
                                    border.width: radio.checked ? 2 : 1.5
                                    border.color: radio.checked ? Theme.brandFill
                                                                : Theme.appearance >= 0 ? Look.color("controlOutline") : "gray"
                                    Rectangle {
                                        visible: radio.checked
                                        anchors.centerIn: parent
                                        width: 8
                                        height: 8
                                        radius: 4
                                        color: Theme.brandFill
                                    }
                                }
                            }
                            ColumnLayout {
                                spacing: 2
                                Layout.fillWidth: true
                                DataText { text: layoutRow.modelData.title; font: Theme.rowTitle }
                                DataText {
                                    objectName: "layoutDetail_" + layoutRow.modelData.value
                                    Layout.fillWidth: true
                                    // Read again whenever the choices change.
                                    text: view.sheet ? (view.sheet.location, view.sheet.baseFolder, view.sheet.destination,
                                                        view.sheet.detailText(layoutRow.modelData.value)) : ""
                                    font: Theme.secondaryFont
                                    color: Theme.secondary
                                    wrapMode: Text.Wrap
                                    maximumLineCount: 4
                                }
                            }
                            TapHandler { onTapped: view.sheet.layout = layoutRow.modelData.value }
                        }
                    }
                    TextField {
                        visible: view.sheet && view.sheet.layout === 5
                        Layout.fillWidth: true
                        font: Theme.mono
                        placeholderText: "Template"
                        text: view.sheet ? view.sheet.pathTemplate : ""
                        onTextEdited: view.sheet.pathTemplate = text
                    }
                    GridLayout {
                        visible: view.sheet && view.sheet.layout !== 0
                        columns: 2
                        columnSpacing: Theme.m
                        rowSpacing: Theme.s
                        Layout.fillWidth: true
                        Label { text: "Save in"; color: Theme.secondary; font: Theme.callout }
                        RowLayout {
                            spacing: 6
                            Layout.fillWidth: true
                            Symbol { name: "externaldrive.fill"; color: Theme.brand }
                            // Where the copies go, its last folders whole.
                            PathText {
                                objectName: "locationLabel"
                                path: view.sheet ? view.sheet.locationLabel.split(" \u203a ").join("/") : ""
                                separator: " \u203a "
                                keepsFirst: true
                                font: Theme.callout
                                Layout.fillWidth: true
                            }
                            LinkButton {
                                visible: view.sheet && view.sheet.location.length > 0
                                text: "Top Level"
                                font: Theme.callout
                                onClicked: view.sheet.location = ""
                            }
                            Button {
                                id: chooseLocation
                                text: "Choose…"
                                hoverEnabled: true
                                PlainToolTip { shown: chooseLocation.hovered; text: "Pick the folder in the file manager" }
                                onClicked: view.model.chooseCopyLocation()
                            }
                        }
                        Label {
                            text: view.sheet && (view.sheet.layout === 1 || view.sheet.layout === 2) ? "New folder" : "New folder (optional)"
                            color: Theme.secondary
                            font: Theme.callout
                        }
                        TextField {
                            objectName: "newFolder"
                            Layout.fillWidth: true
                            text: view.sheet ? view.sheet.baseFolder : ""
                            placeholderText: view.sheet && (view.sheet.layout === 1 || view.sheet.layout === 2)
                                             ? "SD Halvetrop copies " + view.sheet.today : "None — straight into the folder above"
                            onTextEdited: view.sheet.baseFolder = text
                        }
                    }
                    RowLayout {
                        objectName: "pickError"
                        visible: pickError.text.length > 0 && view.sheet && view.sheet.layout !== 0
                        Layout.fillWidth: true
                        spacing: 6
                        Symbol { name: "exclamationmark.triangle.fill"; color: Theme.partial; size: 13; Layout.alignment: Qt.AlignTop }
                        DataText {
                            id: pickError
                            text: view.sheet ? (view.sheet.nameError.length > 0 ? view.sheet.nameError : view.sheet.pickError) : ""
                            color: Theme.textRole("partial")
                            font: Theme.secondaryFont
                            wrapMode: Text.Wrap
                            maximumLineCount: 6
                            Layout.fillWidth: true
                        }
                    }
                }

                // The plan of the choices shown, or why there is none.
                RowLayout {
                    visible: view.sheet && view.sheet.planCurrent && view.sheet.planError.length > 0
                    Layout.fillWidth: true
                    Symbol { name: "exclamationmark.triangle"; color: Theme.missing; size: 14; Layout.alignment: Qt.AlignTop }
                    DataText {
                        objectName: "planError"
                        text: view.sheet ? view.sheet.planError : ""
                        color: Theme.textRole("missing")
                        wrapMode: Text.Wrap
                        maximumLineCount: 4
                        Layout.fillWidth: true
                    }
                }
                ColumnLayout {
                    visible: view.sheet && view.sheet.planCurrent && view.sheet.planError.length === 0
                    spacing: Theme.s
                    Layout.fillWidth: true
                    RowLayout {
                        Layout.fillWidth: true
                        Eyebrow { text: "Preview" }
                        Item { Layout.fillWidth: true }
                        // Its figures first; a long backup name at its end gives way. Whole
                        // pixels, as the layout gives them: a fraction short elides a short name.
                        DataText {
                            id: planSummary
                            readonly property bool tooBig: view.sheet && view.sheet.freeBytes !== undefined
                                                           && view.sheet.freeBytes >= 1 && view.sheet.planBytes > view.sheet.freeBytes
                            objectName: "planSummary"
                            text: view.sheet ? view.sheet.planSummary || "" : ""
                            color: tooBig ? Theme.textRole("missing") : Theme.secondary
                            font: Theme.secondaryFont
                            Layout.fillWidth: true
                            Layout.maximumWidth: Math.ceil(implicitWidth)
                            HoverHandler { id: summaryHover }
                            LazyToolTip { shown: summaryHover.hovered && planSummary.truncated; text: planSummary.text }
                        }
                    }
                    // As tall as its rows up to 150, scrolling beyond.
                    Rectangle {
                        objectName: "planList"
                        Layout.fillWidth: true
                        Layout.preferredHeight: Math.min(150, Math.ceil(planRows.contentHeight) + 2 * Theme.s)
                        radius: Theme.radiusS
                        color: Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.04)
                        ListView {
                            id: planRows
                            anchors.fill: parent
                            anchors.margins: Theme.s
                            clip: true
                            spacing: 4
                            model: view.sheet ? view.sheet.preview : []
                            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
                            delegate: RowLayout {
                                required property var modelData
                                objectName: "planRow"
                                width: ListView.view.width
                                Symbol { objectName: "planFolderSymbol"; name: modelData.symbol; color: Theme.brand; size: 14 }
                                PathText {
                                    objectName: "planRowText"
                                    path: modelData.text.split(" / ").join("/")
                                    separator: " / "
                                    keepsFirst: true
                                    font: Theme.monoSmall
                                    Layout.fillWidth: true
                                }
                                DataText {
                                    objectName: "planRowCount"
                                    text: modelData.countText
                                    font: Theme.secondaryFont
                                    color: Theme.secondary
                                }
                            }
                        }
                    }
                    DataText {
                        visible: text !== ""
                        text: view.sheet ? view.sheet.collisionText : ""
                        font: Theme.secondaryFont
                        color: Theme.secondary
                        wrapMode: Text.Wrap
                        maximumLineCount: 3
                        Layout.fillWidth: true
                    }
                    // Files of the plan that will not be copied, and why.
                    RowLayout {
                        visible: refusedNote.text !== ""
                        Layout.fillWidth: true
                        spacing: 6
                        Symbol { name: "exclamationmark.triangle.fill"; color: Theme.partial; size: 13; Layout.alignment: Qt.AlignTop }
                        DataText {
                            id: refusedNote
                            objectName: "refusedNote"
                            text: view.sheet ? view.sheet.refusedText : ""
                            color: Theme.textRole("partial")
                            font: Theme.secondaryFont
                            wrapMode: Text.Wrap
                            maximumLineCount: 8
                            elide: Text.ElideRight
                            Layout.fillWidth: true
                        }
                    }
                }
            }
        }
        RowLayout {
            id: planBar
            objectName: "planBar"
            // A plan the planner refused offers no copy: only Cancel, under the refusal.
            readonly property bool refused: !!view.sheet && view.sheet.planCurrent && view.sheet.planError.length > 0
            Layout.fillWidth: true
            Symbol { visible: !planBar.refused; name: "lock.shield"; color: Theme.secondary; size: 14 }
            DataText {
                objectName: "planNote"
                visible: !planBar.refused
                text: "Nothing on the backup is ever replaced. Each copy is read back from the drive and compared before it counts."
                font: Theme.secondaryFont
                color: Theme.secondary
                wrapMode: Text.Wrap
                maximumLineCount: 2
                Layout.fillWidth: true
            }
            Item { visible: planBar.refused; Layout.fillWidth: true }
            Button { objectName: "copyCancel"; text: "Cancel"; onClicked: view.sheet.cancel() }
            Button {
                id: copyButton
                objectName: "copyButton"
                visible: !planBar.refused
                text: view.sheet ? view.sheet.copyButtonText : "Copy Files"
                highlighted: true
                palette.buttonText: copyFill.colors.text
                ProminentFill { id: copyFill; control: copyButton; parent: copyButton.background }
                enabled: view.sheet && view.sheet.canCopy
                onClicked: view.sheet.copy()
            }
        }
    }

    // Made only when needed: the window looks its empty states up by name.
    Loader {
        active: view.phase === 0 && !!view.sheet && !view.sheet.hasBackup
        visible: active
        Layout.fillWidth: true
        Layout.fillHeight: true
        sourceComponent: EmptyState {
            symbol: "externaldrive.badge.questionmark"
            title: "No backup to copy to"
            description: "Check the card against a backup first."
            Button { text: "Close"; onClicked: view.sheet.cancel() }
        }
    }

    // --- copying ----------------------------------------------------------------------------
    ColumnLayout {
        visible: view.phase === 1
        spacing: Theme.m
        Layout.fillWidth: true
        Layout.fillHeight: true
        Item { Layout.fillHeight: true }
        DataText {
            objectName: "copyingLabel"
            text: view.hasProgress ? "Copying " + view.progress.current : "Preparing…"
            elide: Text.ElideMiddle
            Layout.fillWidth: true
        }
        CapsuleBar {
            objectName: "copyProgress"
            value: view.hasProgress ? view.progress.fraction : 0
            Layout.fillWidth: true
        }
        DataText {
            visible: view.hasProgress
            objectName: "copyCounts"
            text: view.hasProgress ? Present.copyProgressLine(view.progress.filesDone, view.progress.filesTotal,
                                                              view.progress.bytesDone, view.progress.bytesTotal) : ""
            font: Theme.caption
            color: Theme.secondary
        }
        DataText {
            objectName: "copyingNote"
            text: "Each file is written, flushed, then read back from the drive and compared before it counts."
            font: Theme.secondaryFont
            color: Theme.secondary
            wrapMode: Text.Wrap
            maximumLineCount: 2
            Layout.fillWidth: true
        }
        Item { Layout.fillHeight: true }
        RowLayout {
            Item { Layout.fillWidth: true }
            Button { objectName: "copyStop"; text: "Stop"; onClicked: view.sheet.stop() }
        }
    }

    // --- done -------------------------------------------------------------------------------
    ColumnLayout {
        readonly property var report: view.sheet ? view.sheet.reportView : ({})
        id: done
        visible: view.phase === 2
        spacing: Theme.m
        Layout.fillWidth: true
        Layout.fillHeight: true
        RowLayout {
            spacing: Theme.s
            // A stopped run is not a success: a neutral symbol, never the seal.
            Symbol {
                size: 26
                name: done.report.outcome === "problems" ? "exclamationmark.triangle.fill"
                      : done.report.outcome === "stopped" ? "stop.fill" : "checkmark.seal.fill"
                color: done.report.outcome === "problems" ? Theme.missing
                       : done.report.outcome === "stopped" ? Theme.secondary : Theme.verified
            }
            DataText {
                objectName: "doneHeadline"
                text: done.report.headline || ""
                font: Theme.display
                color: done.report.outcome === "problems" ? Theme.missing
                       : done.report.outcome === "stopped" ? Theme.primary : Theme.verified
            }
        }
        DataText {
            objectName: "doneSummary"
            text: done.report.summary || ""
            font: Theme.callout
            wrapMode: Text.Wrap
            maximumLineCount: 2
            Layout.fillWidth: true
        }
        // Each failure whole, wrapped at the dialog's edge; a long list scrolls.
        ListView {
            id: failureList
            objectName: "failureList"
            visible: (done.report.failedCount || 0) > 0
            Layout.fillWidth: true
            // The lines' height follows the width the layout gives them, so it is known only in the
            // middle of laying out, when the layout takes no new size: passed on after it.
            property real listHeight: 0
            onContentHeightChanged: Qt.callLater(() => failureList.listHeight = Math.min(120, Math.ceil(failureList.contentHeight)))
            Layout.preferredHeight: listHeight
            clip: true
            spacing: 4
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar { policy: failureList.listHeight >= 120 ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff }
            model: done.report.failures || []
            delegate: TextEdit {
                required property var modelData
                objectName: "failureLine"
                // Clear of the scroll bar a long list shows.
                width: ListView.view.width - 10
                text: modelData
                readOnly: true
                selectByMouse: true
                textFormat: TextEdit.PlainText
                // Lined up at the leading edge whatever script a name starts with.
                horizontalAlignment: TextEdit.AlignLeft
                wrapMode: TextEdit.Wrap
                font: Theme.secondaryFont
                color: Theme.primary
            }
        }
        CopyReportView {
            objectName: "copyReport"
            visible: done.report.headline !== undefined
            model: view.model
            report: done.report
            Layout.fillWidth: true
        }
        Item { Layout.fillHeight: true }
        RowLayout {
            objectName: "doneBar"
            Layout.fillWidth: true
            DataText {
                text: "SD Halvetrop re-checks the card when you close this. The report stays under “Last Copy”."
                font: Theme.secondaryFont
                color: Theme.tertiary
                Layout.fillWidth: true
            }
            Button {
                id: doneButton
                objectName: "copyDone"
                text: "Done"
                highlighted: true
                palette.buttonText: doneFill.colors.text
                ProminentFill { id: doneFill; control: doneButton; parent: doneButton.background }
                onClicked: view.sheet.done()
            }
        }
    }
}

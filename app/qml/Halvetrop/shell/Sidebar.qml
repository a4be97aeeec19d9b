import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// The card, the backups, the cards on offer, the recent checks and the version; a drop target for
// folders (the first becomes the card when none is chosen, the rest backups).
Rectangle {
    id: sidebar
    required property var model
    required property var history
    color: Theme.sidebar

    function volumeOf(key) {
        // The volume's own facts, the same the start screen shows, kept current by the model.
        const facts = sidebar.model.volumeFacts[key]
        return facts !== undefined ? facts : ({})
    }

    // A row taken away from the keyboard leaves the keys in the list: on the row that takes its
    // place, else on the button below the rows. Once the row has gone.
    function keepKeys(rows, index, after) {
        Qt.callLater(sidebar.giveKeys, rows, index, after)
    }
    function giveKeys(rows, index, after) {
        const next = rows && index < rows.count ? rows.itemAt(index) : null
        const target = next && next.visible ? next : after
        if (target.visible)
            target.forceActiveFocus(Qt.TabFocusReason)
    }

    function drop(urls) {
        const plan = Present.planDrop(sidebar.model.source.length > 0, urls)
        if (plan.source.toString().length > 0)
            sidebar.model.setSourceUrl(plan.source)
        if (plan.backups.length > 0)
            sidebar.model.addBackupUrls(plan.backups)
        if (plan.ignored > 0)
            Present.notify(plan.ignored === 1 ? "Only folders can be dropped here; 1 item was ignored."
                                              : "Only folders can be dropped here; " + plan.ignored + " items were ignored.", false)
    }

    SavedCheckMenu {
        id: savedCheckMenu
        model: sidebar.model
    }

    DropArea {
        objectName: "sidebarDrop"
        anchors.fill: parent
        onDropped: drop => {
            sidebar.drop(drop.urls)
            drop.accept(Qt.CopyAction)
        }
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        ScrollView {
            id: scroll
            Layout.fillWidth: true
            Layout.fillHeight: true
            contentWidth: availableWidth
            clip: true
            // A list taller than the column says so: its bar stays while there is more below.
            ScrollBar.vertical.policy: scroll.availableHeight > 0 && list.implicitHeight > scroll.availableHeight
                                       ? ScrollBar.AlwaysOn : ScrollBar.AsNeeded

            ColumnLayout {
                id: list
                // Clear of the bar while it shows.
                width: scroll.availableWidth - (scroll.ScrollBar.vertical.policy === ScrollBar.AlwaysOn ? 6 : 0)
                spacing: 2

                Eyebrow { text: "Card"; Layout.leftMargin: Theme.m; Layout.topMargin: Theme.m; Layout.bottomMargin: Theme.xs }
                SymbolButton {
                    id: chooseCard
                    objectName: "chooseCard"
                    visible: sidebar.model.source.length === 0
                    Layout.fillWidth: true
                    Layout.leftMargin: Theme.s
                    Layout.rightMargin: Theme.s
                    symbol: "plus.circle"
                    text: "Choose card or folder…"
                    onClicked: sidebar.model.chooseSource("", false)
                }
                LocationRow {
                    objectName: "cardRow"
                    visible: sidebar.model.source.length > 0
                    Layout.fillWidth: true
                    path: sidebar.model.source
                    volume: sidebar.volumeOf(sidebar.model.sourceKey)
                    removable: true
                    onShowInFiles: sidebar.model.revealPaths([sidebar.model.sourceKey])
                    onRemove: fromKeys => {
                        if (fromKeys)
                            sidebar.keepKeys(null, 0, chooseCard)
                        sidebar.model.resetResults()
                        if (typeof sidebar.model.clearSource === "function")
                            sidebar.model.clearSource()
                    }
                }
                // Rows that come and go with the drives: a list kept in place, in a positioner of
                // their own, so no layout lays out a row that is being taken away.
                Column {
                    Layout.fillWidth: true
                    spacing: 2
                    Layout.leftMargin: Theme.s
                    Layout.rightMargin: Theme.s
                    Repeater {
                        model: KeyedList {
                            key: "volumePath"
                            rows: sidebar.model.suggestedCards
                        }
                        SymbolButton {
                            id: suggested
                            required property var row
                            required property int index
                            readonly property var look: HomeRules.offeredCard(row, sidebar.model.destinations.length > 0)
                            objectName: "suggestedCard"
                            width: parent.width
                            help: look.help
                            onClicked: sidebar.model.useSuggestedCard(index)
                            // The whole row fits the column: the name gives way, never the action.
                            contentItem: RowLayout {
                                spacing: 4
                                Symbol { name: Present.volumeSymbol(suggested.row); size: 14; color: Theme.secondary }
                                DataText {
                                    objectName: "suggestedName"
                                    text: suggested.row.name
                                    color: Theme.secondary
                                    Layout.fillWidth: true
                                    Layout.minimumWidth: 0
                                    // A layout gives whole pixels: a fraction cut off its width
                                    // would cut the name.
                                    Layout.maximumWidth: Math.ceil(implicitWidth)
                                }
                                DataText {
                                    objectName: "suggestedSize"
                                    text: Present.byteCount(suggested.row.totalBytes)
                                    font: Theme.secondaryFont
                                    color: Theme.tertiary
                                }
                                Item { Layout.fillWidth: true }
                                Text {
                                    objectName: "suggestedAction"
                                    text: suggested.look.action
                                    font.family: Theme.family
                                    font.pixelSize: Theme.secondaryFont.pixelSize
                                    font.weight: Font.DemiBold
                                    color: Theme.textRole("brand")
                                }
                            }
                        }
                    }
                }

                Eyebrow { text: "Backups"; Layout.leftMargin: Theme.m; Layout.topMargin: Theme.l; Layout.bottomMargin: Theme.xs }
                Column {
                    Layout.fillWidth: true
                    spacing: 2
                    Repeater {
                        id: backupRows
                        model: KeyedList {
                            key: "key"
                            rows: sidebar.model.destinationKeys.map((key, i) => ({ key: key, path: sidebar.model.destinations[i] || "" }))
                        }
                        LocationRow {
                            required property var row
                            required property int index
                            objectName: "backupRow"
                            width: parent.width
                            path: row.path
                            volume: sidebar.volumeOf(row.key)
                            connected: sidebar.model.notConnectedBackups.indexOf(row.key) < 0
                            removable: true
                            onRemove: fromKeys => {
                                // Asked first: the row and all it knows go with the backup.
                                if (fromKeys)
                                    sidebar.keepKeys(backupRows, index, addBackup)
                                sidebar.model.removeBackupAt(index)
                            }
                            onShowInFiles: sidebar.model.revealPaths([row.key])
                        }
                    }
                }
                SymbolButton {
                    id: addBackup
                    objectName: "addBackup"
                    Layout.fillWidth: true
                    Layout.leftMargin: Theme.s
                    Layout.rightMargin: Theme.s
                    symbol: "plus.circle"
                    text: sidebar.model.destinations.length > 0 ? "Add another backup…" : "Add backup drive…"
                    onClicked: sidebar.model.chooseBackups()
                }

                Eyebrow {
                    objectName: "recentHeader"
                    visible: sidebar.history.count > 0
                    text: "Recent checks"
                    Layout.leftMargin: Theme.m
                    Layout.topMargin: Theme.l
                    Layout.bottomMargin: Theme.xs
                }
                Column {
                    Layout.fillWidth: true
                    spacing: 2
                    Layout.leftMargin: Theme.xs
                    Layout.rightMargin: Theme.xs
                    Repeater {
                        model: FirstRows {
                            rows: sidebar.history
                            limit: 12
                        }
                        HistoryRow {
                            objectName: "historyRow"
                            width: parent.width
                            onOpen: sidebar.model.showHistory(itemId)
                            onMenuRequested: savedCheckMenu.openFor(itemId)
                        }
                    }
                }
                Item { Layout.preferredHeight: Theme.m }
            }
        }

        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.hairline }
        ColumnLayout {
            objectName: "footer"
            Layout.fillWidth: true
            Layout.topMargin: Theme.s
            Layout.bottomMargin: Theme.s
            spacing: 2
            TextEdit {
                objectName: "version"
                Layout.fillWidth: true
                horizontalAlignment: TextEdit.AlignHCenter
                readOnly: true
                selectByMouse: true
                textFormat: TextEdit.PlainText
                text: "Version " + (Qt.application.version.length > 0 ? Qt.application.version : "–")
                font: Theme.caption
                color: Theme.secondary
                selectionColor: Theme.brandFill
            }
            // Not beside a card whose file system updates access times as it is read.
            Text {
                objectName: "neverWrites"
                visible: (sidebar.model.cardAccessTimesNote || "") === ""
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                text: "Never writes to your cards."
                font: Theme.caption
                color: Theme.tertiary
            }
        }
    }
}

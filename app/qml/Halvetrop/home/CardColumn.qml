import QtQuick
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// The card to check: the chosen one, else the cards on offer, else a drop zone.
ColumnLayout {
    id: column
    required property var model
    spacing: Theme.m

    // The card's volume facts, the same the sidebar shows; empty until the model has read them.
    readonly property var info: model.volumeFacts[model.sourceKey] !== undefined ? model.volumeFacts[model.sourceKey] : ({})

    readonly property string shows: model.source.length > 0 ? "selected"
                                  : model.suggestedCards.length > 0 ? "offered" : "empty"

    Eyebrow { text: "Card" }

    SelectedCard {
        objectName: "selectedCard"
        visible: column.shows === "selected"
        Layout.fillWidth: true
        path: column.model.source
        info: column.info
        onChange: column.model.chooseSource("", false)
        onClear: column.model.clearSource()
    }
    // A card that a check would leave its mark on says so before the check begins.
    CardNote {
        objectName: "selectedCardNote"
        visible: column.shows === "selected" && text !== ""
        Layout.fillWidth: true
        text: column.model.cardAccessTimesNote
    }

    // The cards on offer come and go with the drives: kept in place, in a positioner of their own.
    Column {
        Layout.fillWidth: true
        visible: column.shows === "offered"
        spacing: Theme.m
        Repeater {
            model: KeyedList {
                key: "volumePath"
                rows: column.model.suggestedCards
            }
            InsertedCardRow {
                required property var row
                required property int index
                objectName: "offeredCard"
                width: parent.width
                volume: row
                hasBackups: column.model.destinations.length > 0
                onClicked: column.model.useSuggestedCard(index)
            }
        }
    }
    LinkButton {
        objectName: "chooseFolder"
        visible: column.shows === "offered"
        text: "Or choose a folder…"
        onClicked: column.model.chooseSource("", false)
    }

    DropZone {
        objectName: "cardDropZone"
        visible: column.shows === "empty"
        Layout.fillWidth: true
        symbol: "sdcard"
        title: "Insert a card"
        subtitle: "or click to choose a card, drive or folder"
        onClicked: column.model.chooseSource("", false)
        onDropped: folders => column.model.setSourceUrl(folders[0])
    }
}

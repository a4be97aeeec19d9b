import QtQuick
import Halvetrop
import Halvetrop.Native

// The results phase's place in the root view; the file browser shows in files mode.
ResultsScreen {
    id: results
    objectName: "ResultsView"
    // The helper's image URLs come with each filmstrip picture; this provider only says they may
    // be used.
    thumbnails: typeof thumbnailsAvailable !== "undefined" && thumbnailsAvailable ? helperThumbnails : null
    QtObject {
        id: helperThumbnails
        function request(url, side) { return "" }
    }
    filesView: Component {
        FilesView { model: results.model }
    }
    // The table's texts are measured before it is first opened.
    Component.onCompleted: results.model.files.measureSoon(Theme.body)
    // The header shows the button only for a copy from this card (its own rule), so the button
    // is given the copy's card name.
    lastCopyButton: Component {
        LastCopyButton {
            model: results.model
            cardName: Present.copyReport(results.model.lastCopy).sourceName || ""
        }
    }
}

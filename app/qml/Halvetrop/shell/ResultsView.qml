import QtQuick
import Halvetrop

// The results phase's place in the root view; the file browser shows in files mode.
ResultsScreen {
    id: results
    objectName: "ResultsView"
    filesView: Component {
        FilesView { model: results.model }
    }
}

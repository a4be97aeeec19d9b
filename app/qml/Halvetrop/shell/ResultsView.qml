import QtQuick
import Halvetrop

// Placeholder until the results screen is built; the file browser already shows in files mode.
Item {
    id: results
    required property var model
    objectName: "ResultsView"
    Placeholder {
        anchors.fill: parent
        visible: results.model.mode !== Phase.files
        title: "Results"
    }
    Loader {
        anchors.fill: parent
        active: results.model.mode === Phase.files
        sourceComponent: FilesView { model: results.model }
    }
}

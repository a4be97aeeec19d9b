import QtQuick
import Halvetrop

// Placeholder until the results screen is built.
Placeholder {
    required property var model
    objectName: "ResultsView"
    title: "Results"
}

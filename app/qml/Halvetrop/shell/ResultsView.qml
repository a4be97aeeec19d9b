import QtQuick
import Halvetrop

// The results phase's place in the root view.
ResultsScreen {
    objectName: "ResultsView"
}

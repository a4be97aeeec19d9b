import QtQuick
import Halvetrop

// The start screen in the window's detail area.
HomeView {
    objectName: "SetupView"
}

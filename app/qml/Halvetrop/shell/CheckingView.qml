import QtQuick
import Halvetrop

// The checking screen in the window's detail area.
CheckingScreen {
    objectName: "CheckingView"
}

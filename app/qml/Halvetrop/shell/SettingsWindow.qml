import QtQuick
import QtQuick.Controls
import Halvetrop

// The Settings window; it reads and writes the stored settings, not the model.
ThemedWindow {
    id: window
    required property var store
    title: "Settings"
    width: view.width
    height: view.implicitHeight
    minimumWidth: view.width
    maximumWidth: view.width

    function showSettings() {
        window.store.reload()
        window.show()
        window.raise()
        window.requestActivate()
    }

    FocusRing { window: window }

    SettingsView {
        id: view
        store: window.store
    }
}

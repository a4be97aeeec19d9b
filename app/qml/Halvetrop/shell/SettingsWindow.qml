import QtQuick
import QtQuick.Controls
import Halvetrop

// The Settings window; it reads and writes the stored settings, not the model. Escape closes it,
// unless a control's own popup (the copies picker's list) takes it first.
ThemedWindow {
    id: window
    required property var store
    objectName: "settingsWindow"
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
        // The keys rest here until a control takes them; what a control leaves comes up here.
        focus: true
        Keys.onEscapePressed: window.close()
    }
}

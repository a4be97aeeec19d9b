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
    // Never shorter than what it holds: the last setting would be cut off.
    minimumHeight: view.implicitHeight

    // The window it opens over, centred across it and near its top, not at the screen's corner.
    property var over: null

    function showSettings() {
        window.store.reload()
        if (window.over !== null && !window.visible) {
            window.x = window.over.x + Math.round((window.over.width - window.width) / 2)
            window.y = window.over.y + Math.round(Math.max(0, (window.over.height - window.height) / 4))
        }
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

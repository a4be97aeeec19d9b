import QtQuick
import QtQuick.Controls
import Halvetrop

// The one main window: menus, toolbar, the root view, the Settings window and the question asked
// when the window is closed during a copy.
ThemedWindow {
    id: window
    required property var model
    required property var history
    required property var settingsStore
    // Set once the model has shut down, so the close that follows is let through.
    property bool shutDown: false

    title: "SD Halvetrop"
    width: 1240
    height: 800
    minimumWidth: root.minimumWidth
    minimumHeight: 660

    menuBar: AppMenuBar {
        model: window.model
        onSettingsRequested: settingsWindow.showSettings()
        onQuitRequested: window.close()
    }
    header: AppToolBar {
        model: window.model
    }
    RootView {
        id: root
        anchors.fill: parent
        model: window.model
        history: window.history
    }

    // Found by tests wherever it is laid.
    readonly property Item focusRing: ring
    FocusRing { id: ring; window: window }

    SettingsWindow {
        id: settingsWindow
        over: window
        store: window.settingsStore
    }

    QuitDialog {
        id: quitDialog
        anchors.centerIn: parent
        onStopAndQuit: window.finish()
    }
    // The question is about a copy that runs: once it has ended there is nothing to stop, and the
    // window stays with its result (closed again, it closes at once).
    Connections {
        target: window.model
        function onCopyingChanged() {
            if (!window.model.copying)
                quitDialog.close()
        }
    }

    function finish() {
        window.model.shutdown()
        window.shutDown = true
        Qt.quit()
    }

    onClosing: close => {
        if (window.shutDown)
            return
        if (window.model.copying) {
            // The copy is cancelled and cleaned up only after the user agrees.
            close.accepted = false
            quitDialog.open()
            return
        }
        window.model.shutdown()
        window.shutDown = true
        // The process ends with its main window, not with a Settings window left open.
        settingsWindow.close()
    }
}

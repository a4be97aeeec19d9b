import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop

// The main window's content: sidebar, the detail chosen by the phase with the bottom banner over
// it, the inspector beside results, and the copy sheet while the model asks for one.
Item {
    id: root
    required property var model
    required property var history

    readonly property bool results: model.phase === Phase.results
    readonly property bool inspectorShown: model.showInspector && results
    // The columns' smallest widths; the window is never narrower than they need together, so a
    // shown inspector widens a window at its smallest instead of pushing itself off its edge.
    readonly property int sidebarMinimum: 230
    readonly property int detailMinimum: 640
    readonly property int inspectorMinimum: 260
    readonly property int minimumWidth: Math.max(1040, sidebarMinimum + detailMinimum + 1
                                                       + (inspectorShown ? inspectorMinimum + 1 : 0))
    readonly property bool newCardShown: !model.hasNotice && model.newCard.name !== undefined && model.phase !== Phase.checking
    // "notice", "newCard" or "": at most one banner, the notice first.
    readonly property string banner: model.hasNotice ? "notice" : newCardShown ? "newCard" : ""

    // The screen shown in the detail.
    readonly property var shownScreen: results ? resultsScreen.item : screen.item

    // Page Up and Page Down scroll the screen shown where it has a page of its own.
    PageKeys {
        flickable: root.shownScreen && root.shownScreen.pageFlickable ? root.shownScreen.pageFlickable : null
        outer: root.shownScreen && root.shownScreen.outerFlickable ? root.shownScreen.outerFlickable : null
    }

    SplitView {
        id: split
        anchors.fill: parent
        orientation: Qt.Horizontal
        handle: Rectangle {
            implicitWidth: 1
            color: Theme.hairline
        }

        Sidebar {
            id: sidebar
            objectName: "sidebar"
            SplitView.minimumWidth: root.sidebarMinimum
            // Its usual width where the detail keeps its smallest beside the inspector.
            SplitView.preferredWidth: Math.max(root.sidebarMinimum, Math.min(250, root.width - root.detailMinimum - 1
                                               - (root.inspectorShown ? root.inspectorMinimum + 1 : 0)))
            SplitView.maximumWidth: 320
            model: root.model
            history: root.history
        }

        Rectangle {
            id: detail
            objectName: "detail"
            SplitView.minimumWidth: root.detailMinimum
            SplitView.fillWidth: true
            color: Theme.window
            clip: true

            Loader {
                id: screen
                objectName: "detailScreen"
                anchors.fill: parent
                sourceComponent: {
                    switch (root.model.phase) {
                    case Phase.checking: return checking
                    case Phase.results: return null
                    case Phase.failed: return failed
                    default: return setup
                    }
                }
            }
            // The results screen is the costliest to make, so it is made once, in small steps
            // while the window is otherwise idle, and kept: a check that ends only shows it. It
            // takes in the model's report once it is whole; should the results come before, it is
            // finished at once. Hidden, it has no keys' focus and its shortcuts are off.
            Loader {
                id: resultsScreen
                objectName: "resultsScreenLoader"
                anchors.fill: parent
                asynchronous: !root.results
                visible: root.results
                enabled: root.results
                sourceComponent: resultsView
            }

            Item {
                id: bannerArea
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                anchors.bottomMargin: Theme.xl
                height: Math.max(notice.height, newCard.height)

                NoticeBanner {
                    id: notice
                    objectName: "noticeBanner"
                    anchors.horizontalCenter: parent.horizontalCenter
                    shown: root.banner === "notice"
                    onDismiss: root.model.dismissNotice()
                    Component.onCompleted: take()
                    // A notice that goes keeps its words and its look while it slides away: once
                    // the model has let it go it has no text, and no warning is what it was.
                    function take() {
                        if (!root.model.hasNotice)
                            return
                        text = root.model.noticeText
                        ok = root.model.noticeOk
                    }
                }
                Connections {
                    target: root.model
                    function onNoticeChanged() { notice.take() }
                    function onNewCardChanged() { newCard.take() }
                }
                NewCardBanner {
                    id: newCard
                    objectName: "newCardBanner"
                    anchors.horizontalCenter: parent.horizontalCenter
                    shown: root.banner === "newCard"
                    hasBackups: root.model.destinations.length > 0
                    onCheck: root.model.checkNewCard()
                    onDismiss: root.model.dismissNewCard()
                    Component.onCompleted: take()
                    // As the notice does, it keeps its words while it slides away: once the model
                    // has let the card go (Check Card, Dismiss) it has no name to show.
                    function take() {
                        if (root.model.newCard.name !== undefined)
                            cardName = root.model.newCard.name
                    }
                }
            }
        }

        InspectorView {
            objectName: "inspector"
            visible: root.inspectorShown
            SplitView.minimumWidth: root.inspectorMinimum
            SplitView.preferredWidth: Math.max(root.inspectorMinimum,
                                               Math.min(300, root.width - root.detailMinimum - sidebar.width - 2))
            SplitView.maximumWidth: 380
            model: root.model
        }
    }

    CopySheet {
        id: copySheet
        model: root.model
    }

    Component {
        id: setup
        SetupView {
            model: root.model
            history: root.history
            bottomClearance: root.banner !== "" ? bannerArea.height + Theme.xl + Theme.s : 0
        }
    }
    Component {
        id: checking
        CheckingView {
            model: root.model
        }
    }
    Component {
        id: resultsView
        ResultsView {
            model: root.model
            whole: !resultsScreen.asynchronous || resultsScreen.status === Loader.Ready
            bottomClearance: root.banner !== "" ? bannerArea.height + Theme.xl + Theme.s : 0
        }
    }
    Component {
        id: failed
        FailedView {
            model: root.model
            message: root.model.failureText
        }
    }
}

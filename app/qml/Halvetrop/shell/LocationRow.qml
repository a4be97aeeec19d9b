import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// The card or one backup: drive or folder symbol, name, and volume facts or parent folder. `path`
// is display text; its owner shows the location in the file manager by its key.
Item {
    id: row
    property string path
    property var volume: ({})
    property bool removable: false
    // A backup whose drive is not connected says so instead of the facts of its empty mount point.
    property bool connected: true
    // Asked to go; `fromKeys` when the keys asked (Delete, or its button or menu reached from the
    // keyboard): its list then keeps them.
    signal remove(bool fromKeys)
    signal showInFiles
    readonly property var look: Present.location(path, volume, connected)

    implicitHeight: content.implicitHeight + 4
    // A Tab stop: the menu key opens its menu, Delete removes it; its remove button shows while
    // it has the keys, as it does under the pointer.
    activeFocusOnTab: true
    readonly property Item focusRingItem: row
    // Return is its own whenever it has the keys: the screen's default button stays off it.
    readonly property bool takesReturn: true
    Accessible.role: Accessible.ListItem
    Accessible.name: row.look.name + ", " + row.look.detail
    Keys.onMenuPressed: {
        menu.fromKeys = true
        menu.popup(row, Theme.xxl, row.height)
    }
    Keys.onDeletePressed: if (row.removable) row.remove(true)
    HoverHandler { id: hover }
    PlainToolTip {
        objectName: "pathTip"
        shown: hover.hovered
        text: row.path
    }

    RowLayout {
        id: content
        anchors.fill: parent
        anchors.leftMargin: Theme.m
        anchors.rightMargin: Theme.s
        spacing: Theme.s
        Symbol {
            Layout.preferredWidth: 18
            name: row.look.symbol
            size: 16
            color: Theme.brand
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 1
            DataText {
                objectName: "locationName"
                Layout.fillWidth: true
                text: row.look.name
                font: Theme.rowTitle
            }
            // The name or path gives way (in its middle); what follows it, the free space or that
            // the drive is not connected, is always shown whole.
            Item {
                objectName: "locationDetail"
                // The whole line, as it reads.
                readonly property string text: row.look.detail
                Layout.fillWidth: true
                implicitHeight: detailHead.implicitHeight
                DataText {
                    id: detailHead
                    objectName: "locationDetailHead"
                    width: Math.min(implicitWidth, parent.width - detailTail.width)
                    text: row.look.detailHead
                    font: Theme.secondaryFont
                    color: Theme.secondary
                    elide: Text.ElideMiddle
                }
                DataText {
                    id: detailTail
                    objectName: "locationFacts"
                    // Right after what the name shows, however much of it is cut.
                    x: Math.min(detailHead.width, detailHead.contentWidth)
                    width: Math.min(implicitWidth, parent.width)
                    visible: text.length > 0
                    text: row.look.detailTail
                    font: Theme.secondaryFont
                    color: Theme.secondary
                }
            }
        }
        SymbolButton {
            objectName: "removeButton"
            visible: row.removable && (hover.hovered || row.activeFocus || activeFocus)
            symbol: "xmark.circle.fill"
            tint: Theme.tertiary
            help: "Remove"
            onClicked: row.remove(visualFocus || row.activeFocus)
        }
    }

    TapHandler {
        acceptedButtons: Qt.RightButton
        onTapped: {
            menu.fromKeys = false
            menu.popup()
        }
    }
    AppMenu {
        id: menu
        property bool fromKeys: false
        MenuItem {
            objectName: "showInFiles"
            text: "Show in Files"
            onTriggered: row.showInFiles()
        }
        MenuItem {
            objectName: "removeLocation"
            text: "Remove"
            visible: row.removable
            height: visible ? implicitHeight : 0
            onTriggered: row.remove(menu.fromKeys)
        }
    }
}

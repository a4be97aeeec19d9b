import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop

// One short message of the model: a success (eject symbol, verified colour) or a warning.
BannerFrame {
    id: banner
    property string text
    property bool ok: false
    tint: ok ? Theme.verified : Theme.missing

    Symbol {
        objectName: "noticeSymbol"
        name: banner.ok ? "eject.circle.fill" : "exclamationmark.triangle.fill"
        size: 20
        color: banner.tint
    }
    DataText {
        objectName: "noticeText"
        text: banner.text
        font: Theme.rowTitle
        wrapMode: Text.Wrap
        maximumLineCount: 2
        Layout.maximumWidth: 460
    }
    SymbolButton {
        objectName: "noticeDismiss"
        symbol: "xmark"
        tint: Theme.secondary
        help: "Dismiss"
        onClicked: banner.dismiss()
    }
}

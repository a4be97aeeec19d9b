import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// One short message of the model: a success (eject symbol, verified colour) or a warning. The
// names it quotes are cut in their middle where the message would not fit its two lines.
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
        text: Present.shortenNames(banner.text, font, 460, 2)
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

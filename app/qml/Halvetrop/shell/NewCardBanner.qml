import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Halvetrop
import Halvetrop.Native

// Announces a card that was just inserted and offers to check it. A long name is cut in its
// middle, never the words that say what happened.
BannerFrame {
    id: banner
    property string cardName
    property bool hasBackups: false
    signal check
    tint: Theme.brandFill

    Symbol {
        name: "sdcard.fill"
        size: 20
        color: Theme.brandFill
        SequentialAnimation on opacity {
            running: banner.shown
            loops: Animation.Infinite
            NumberAnimation { to: 0.45; duration: 700; easing.type: Easing.InOutQuad }
            NumberAnimation { to: 1; duration: 700; easing.type: Easing.InOutQuad }
        }
    }
    ColumnLayout {
        spacing: 1
        DataText {
            objectName: "newCardTitle"
            text: Present.shortenNames("“" + banner.cardName + "” was just inserted", font, 360, 1)
            font: Theme.rowTitle
            Layout.maximumWidth: 360
        }
        DataText {
            objectName: "newCardSubtitle"
            text: banner.hasBackups ? "Check it against your backups" : "Choose it to start a check"
            font: Theme.secondaryFont
            color: Theme.secondary
        }
    }
    Button {
        id: checkCard
        objectName: "newCardCheck"
        text: banner.hasBackups ? "Check Card" : "Choose…"
        highlighted: true
        palette.buttonText: checkCardFill.colors.text
        ProminentFill { id: checkCardFill; control: checkCard; parent: checkCard.background }
        onClicked: banner.check()
    }
    SymbolButton {
        objectName: "newCardDismiss"
        symbol: "xmark"
        tint: Theme.secondary
        help: "Dismiss"
        onClicked: banner.dismiss()
    }
}

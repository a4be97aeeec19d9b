import QtQuick
import QtQuick.Controls
import Halvetrop

// A tooltip whose text is never read as markup (paths and names show their angle brackets).
ToolTip {
    id: tip
    delay: 700
    contentItem: Text {
        text: tip.text
        textFormat: Text.PlainText
        font: Theme.secondaryFont
        color: tip.palette.toolTipText
        wrapMode: Text.Wrap
    }
}

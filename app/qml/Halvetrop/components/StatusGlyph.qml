import QtQuick
import Halvetrop
import Halvetrop.Native

// The symbol of a file status, in its colour; in the selection's text colour (white) on a
// selected, emphasised row.
Symbol {
    property string status: "notCompared"
    property bool prominent: false
    name: Present.statusSymbol(status)
    color: prominent ? Theme.onSelection : Theme.statusColor(status)
    Accessible.role: Accessible.Graphic
}

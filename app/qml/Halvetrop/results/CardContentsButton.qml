import QtQuick
import QtQuick.Controls
import Halvetrop
import Halvetrop.Native

// "Card contents": what the card holds, one line per kind of content, in a popover. Where the
// strip is short of room the button shows its symbol alone, its words then its tooltip.
Button {
    id: button
    required property var results
    property bool compact: false
    readonly property var c: results.contents
    // The width with its words, whichever form is shown.
    readonly property real fullWidth: words.advanceWidth + 14 + spacing + leftPadding + rightPadding
    objectName: "cardContents"
    text: compact ? "" : "Card contents"
    display: compact ? AbstractButton.IconOnly : AbstractButton.TextBesideIcon
    implicitWidth: compact ? implicitContentWidth + leftPadding + rightPadding
                           : Math.max(implicitBackgroundWidth + leftInset + rightInset, implicitContentWidth + leftPadding + rightPadding)
    Accessible.name: "Card contents"
    hoverEnabled: true
    PlainToolTip { shown: button.compact && button.hovered; text: "Card contents" }
    TextMetrics { id: words; font: button.font; text: "Card contents" }
    icon.source: Present.symbolSource("list.bullet.rectangle", palette.buttonText)
    icon.width: 14
    icon.height: 14
    font.family: Theme.family
    font.pixelSize: 12
    font.weight: Font.Medium
    checkable: false
    onClicked: popup.opened ? popup.close() : popup.open()
    function showList() { popup.open() }

    Popup {
        id: popup
        objectName: "contentsPopover"
        y: button.height + 4
        x: button.width - width
        width: 540
        margins: Theme.s
        padding: Theme.l
        // A press on the button itself toggles; anywhere else closes. It takes the keys while open,
        // so that Escape reaches it.
        closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutsideParent
        focus: true
        // Everything inside the popover's 540 points: names wrap or are cut, never run out.
        readonly property real inner: 540 - 2 * Theme.l
        contentItem: Column {
            spacing: Theme.m
            DataText {
                objectName: "contentsTitle"
                width: popup.inner
                text: button.c.title || ""
                font: Theme.title
                wrapMode: Text.Wrap
                maximumLineCount: 2
            }
            DataText {
                objectName: "contentsCameras"
                visible: text !== ""
                width: popup.inner
                text: button.c.cameras || ""
                font: Theme.secondaryFont
                color: Theme.secondary
                wrapMode: Text.Wrap
                maximumLineCount: 3
            }
            Repeater {
                model: button.c.lines || []
                Row {
                    required property var modelData
                    spacing: Theme.m
                    width: popup.inner
                    Symbol { name: modelData.symbol; color: modelData.anyChecked ? Theme.verified : Theme.secondary }
                    Column {
                        id: line
                        width: parent.width - 16 - 54 - 66 - 3 * Theme.m
                        spacing: 2
                        Row {
                            spacing: 6
                            DataText {
                                id: label
                                objectName: "contentsLabel"
                                width: Math.min(implicitWidth, line.width)
                                text: modelData.label
                                font: Theme.rowTitle
                            }
                            DataText {
                                objectName: "contentsFormats"
                                width: Math.max(0, Math.min(implicitWidth, line.width - label.width - 6))
                                text: modelData.formats
                                font: Theme.monoSmall
                                color: Theme.secondary
                            }
                        }
                        Text { text: modelData.checkedText; font.family: Theme.family; font.pixelSize: Theme.secondaryFont.pixelSize; font.weight: Font.Medium; color: modelData.anyChecked ? Theme.textRole("verified") : Theme.secondary }
                        DataText { visible: text !== ""; width: parent.width; text: modelData.note; font: Theme.secondaryFont; color: Theme.tertiary; wrapMode: Text.Wrap; maximumLineCount: 10 }
                    }
                    Text { width: 54; horizontalAlignment: Text.AlignRight; text: modelData.files; font: Theme.rowTitle; color: Theme.primary }
                    Text { width: 66; horizontalAlignment: Text.AlignRight; text: modelData.bytes; font: Theme.secondaryFont; color: Theme.secondary }
                }
            }
            // What the check could not read of the card: one line each, with the system's reason.
            Column {
                objectName: "unreadableList"
                visible: (button.c.unreadableText || "") !== ""
                width: popup.inner
                spacing: 4
                Row {
                    spacing: Theme.m
                    Symbol { name: "exclamationmark.triangle.fill"; color: Theme.partial }
                    DataText { width: popup.inner - 16 - Theme.m; text: button.c.unreadableText || ""; font: Theme.rowTitle }
                }
                Repeater {
                    model: button.c.unreadable || []
                    DataText {
                        required property var modelData
                        width: parent.width
                        leftPadding: 16 + Theme.m
                        text: modelData.path + " — " + modelData.reason
                        font: Theme.monoSmall
                        color: Theme.secondary
                        wrapMode: Text.WrapAnywhere
                        maximumLineCount: 2
                    }
                }
                DataText {
                    visible: text !== ""
                    width: parent.width
                    leftPadding: 16 + Theme.m
                    text: button.c.unreadableNote || ""
                    font: Theme.secondaryFont
                    color: Theme.tertiary
                    wrapMode: Text.Wrap
                }
            }
        }
    }
}

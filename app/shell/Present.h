#pragma once
// The presentation rules as QML sees them: every function here hands a view a text, symbol or plan
// computed by present/, so no rule lives in a QML file.
#include <QKeySequence>
#include <QObject>
#include <QUrl>
#include <QVariantMap>

#include <functional>

namespace halvetrop::shell {

class Present : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Where notices of the views go (the model's notice banner).
    void setNotify(std::function<void(const QString&, bool)> notify) { notify_ = std::move(notify); }
    Q_INVOKABLE void notify(const QString& text, bool ok) const {
        if (notify_) notify_(text, ok);
    }

    Q_INVOKABLE QString byteCount(double bytes) const;
    Q_INVOKABLE QString count(double n) const;
    // "1 file", "1,234 files".
    Q_INVOKABLE QString fileCount(double n) const;
    // "12 of 1,234 files · 3 MB of 31.4 GB": a copy's progress.
    Q_INVOKABLE QString copyProgressLine(double filesDone, double filesTotal, double bytesDone,
                                         double bytesTotal) const;
    // "Last Copy (7)", or "Last Copy" in the compact row.
    Q_INVOKABLE QString lastCopyLabel(double copied, bool compact) const;
    // The form the verdict's action row takes: `widths` holds each shown button's [full, compact,
    // symbols] width (the hero's `actionItems` in their forms); `lead`, at 0 or more, the index of
    // the button that keeps its text in every form. {form: "full", "compact" or "symbols", fits,
    // leadFull: the compact row's lead shows its full text}.
    Q_INVOKABLE QVariantMap fitActionRow(const QVariantList& widths, double spacing, double available,
                                         int lead = -1) const;
    // The card-only header's buttons for the chosen backups (the model's keys), named as the
    // sidebar names them from the model's volume facts: [{id, full, compact, symbol, keepsText}],
    // left to right.
    Q_INVOKABLE QVariantList cardOnlyActions(const QStringList& backupKeys, const QVariantMap& facts,
                                             bool eject) const;
    // {text, full, cut}: `path` cut from its start to fit `width` in `font`; `full` is the tooltip.
    // Its folders, "/" apart in `path`, are shown `separator` apart (" / ", " › "). Both texts are
    // as drawn: each name in its own direction, in their order left to right (present::isolatedPath).
    // With `lines` above 1 the text wraps anywhere within `width` and may take that many lines.
    Q_INVOKABLE QVariantMap cutPath(const QString& path, const QFont& font, double width,
                                    const QString& separator = QStringLiteral("/"), int lines = 1) const;
    // The same for a place, "<drive or first folder>/<folders>/<last>", cut in its middle: a short
    // first name stays in front of the last ones, the places beside it told apart by both ends.
    Q_INVOKABLE QVariantMap cutPlace(const QString& path, const QFont& font, double width,
                                     const QString& separator = QStringLiteral("/")) const;
    // The same for a file's path: its name, cut, keeps its number and extension.
    Q_INVOKABLE QVariantMap cutFilePath(const QString& path, const QFont& font, double width,
                                        int lines = 1) const;
    // {text, full, cut}: a file's name within `width` in `font` (present::cutName), as drawn
    // (present::isolatedName). With `lines` above 1 it wraps at its words (anywhere in a long one)
    // and may take that many lines.
    Q_INVOKABLE QVariantMap cutName(const QString& name, const QFont& font, double width,
                                    int lines = 1) const;
    // {shown: [index], more: "+N" or "", hidden: [name], squeezed: width or -1}: the camera chips
    // that fit `available`, each its name in `font` plus `padding`; `files` per name as the
    // hero's `cameraFiles`.
    Q_INVOKABLE QVariantMap fitCameraChips(const QStringList& names, const QVariantList& files,
                                           const QFont& font, double padding, double spacing,
                                           double available) const;
    // {shown, more, hidden, squeezed, nameWidth}: the camera chips as fitCameraChips gives them, and
    // the card's name beside them on a line of `available`; the name gives way first, down to
    // `nameFloor`.
    Q_INVOKABLE QVariantMap fitEyebrow(const QString& name, const QFont& nameFont, double nameFloor,
                                       const QStringList& names, const QVariantList& files, const QFont& font,
                                       double padding, double spacing, double available) const;
    // The widths of a table's columns in `available`: `needs` their contents' widths, `steps`
    // [column, width] in the order they give way (present::fitColumns); the column `grows` takes
    // what is left over.
    Q_INVOKABLE QVariantList fitColumns(const QVariantList& needs, const QVariantList& steps,
                                        double available, int grows) const;
    // {fan, step, title, chip}: a shoot row's fan of `tiles` pictures and its title line in `room`
    // (present::fitShootLine).
    Q_INVOKABLE QVariantMap fitShootLine(int tiles, double title, double chip, double chipFloor,
                                         double spacing, double gap, double room) const;
    // {linkBelow, sentence, backup, folder}: a shoot row's status sentence and landing link in `room`
    // (present::fitStatusLine).
    Q_INVOKABLE QVariantMap fitStatusLine(double lead, double sentence, bool hasLink, double link,
                                          double backup, double backupFloor, double folder,
                                          double folderFloor, double spacing, double room) const;
    // `text` with the names it quotes cut in their middle until it takes at most `lines` lines of
    // `width` in `font`.
    Q_INVOKABLE QString shortenNames(const QString& text, const QFont& font, double width, int lines) const;
    // The row a key moves the browser's selection to: `step` rows on from `current` (-1: none)
    // among `count`, in a grid of `columns` (1 for the table).
    Q_INVOKABLE int stepSelection(int current, int step, int count, int columns) const;
    Q_INVOKABLE int pageSelection(int current, int lines, int count, int columns) const;
    // Where Page Up (negative `pages`) or Page Down scrolls a view: present::pageScroll.
    Q_INVOKABLE double pageScroll(double position, int pages, double height, double top, double bottom) const;
    // {symbol, name, detail} of a card or backup row; `volume` is the model's volume description
    // of the path (empty when not known yet).
    Q_INVOKABLE QVariantMap location(const QString& path, const QVariantMap& volume,
                                     bool connected = true) const;
    // The drive symbol of a volume description.
    Q_INVOKABLE QString volumeSymbol(const QVariantMap& volume) const;
    // {source: url or empty, backups: [url], ignored: n}. Only local folders count; the rest is
    // ignored (and the caller says so).
    Q_INVOKABLE QVariantMap planDrop(bool hasSource, const QList<QUrl>& urls) const;
    // The key sequence as the desktop writes it ("Ctrl+Shift+O").
    Q_INVOKABLE QString shortcutText(const QString& sequence) const;
    // Key sequences that two or more enabled shortcuts (Shortcut or Action) under `root` claim.
    Q_INVOKABLE QStringList ambiguousShortcuts(QObject* root) const;
    // How many shortcuts under `root` are enabled for a sequence.
    Q_INVOKABLE int shortcutOwners(QObject* root, const QString& sequence) const;
    Q_INVOKABLE QString symbolSource(const QString& name, const QColor& color) const;
    Q_INVOKABLE QString statusSymbol(const QString& status) const;
    // "Verified", "Can't read", ...: what a status symbol says to a screen reader.
    Q_INVOKABLE QString statusLabel(const QString& status) const;
    Q_INVOKABLE QString statusColorRole(const QString& status) const;
    // Whether the item with the keyboard focus takes typed text (a text field or area): Return
    // typed there is the field's, never a default button's.
    Q_INVOKABLE bool takesText(QObject* focused) const;
    // Whether it keeps Return for itself: it takes text, the keyboard moved the focus onto it, or
    // it answers Return itself whenever it has the keys (`takesReturn`, as a shoot row does).
    Q_INVOKABLE bool keepsReturn(QObject* focused) const;
    // The view of a copy report record (the model's last copy); empty for anything else.
    Q_INVOKABLE QVariantMap copyReport(const QVariant& record) const;

private:
    std::function<void(const QString&, bool)> notify_;
};

}  // namespace halvetrop::shell

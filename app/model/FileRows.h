#pragma once
// The file browser's rows: the visible files of the shown report in the table's order, with the
// texts of every cell. Each column's order is ranked once per report (names and folders by workers
// as soon as the report is shown), so a sort of 100,000 rows compares integers; the rows are sorted
// again only when the visible files, their data or the sort change, never on a redraw. A new
// report or filter resets the rows; a new sort reorders them in place, so the views keep their
// delegates; a change of the same check's files moves them.
#include <QFile>
#include <QFont>
#include <QList>
#include <QPointer>
#include <QUrl>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "model/KeyedRows.h"
#include "platform/NoAtime.h"
#include "platform/Sys.h"
#include "present/Files.h"
#include "present/Format.h"
#include "report/Report.h"
#include "text/Collation.h"

class QThreadPool;
class QTimer;

namespace halvetrop {

// The preview shows a text file's words only up to this size; larger ones get the file card.
constexpr qint64 previewTextLimit = 256 * 1024;

// The text of a small text file at this path (bytes), judged by its name and its first bytes;
// nothing for a file over `limit` bytes (also one that grew while read), binary content, a read
// error, or a read that `cancelled` stopped. The file is opened without touching its access time
// (where that is refused, `touched` notes it) and read in chunks, so a cancel stops a read that a
// failing card slows down at the next chunk.
std::optional<QString> smallText(const std::string& path, qint64 limit, AccessTimesTouched& touched,
                                 Sys& sys = defaultSys(), const std::atomic<bool>* cancelled = nullptr);

// What keying a report's rows needs that is made where the report is made, off the GUI thread:
// jobs that rank its names and folders from their own copies of the texts (run once it is shown),
// and, when asked for, the ranks of its paths, the browser's first order.
struct RowKeys {
    std::shared_ptr<std::atomic<bool>> stop;  // set when the keys are replaced
    std::function<present::FileSortKeys::Ranks()> names, folders;
    present::FileSortKeys::Ranks pathRanks;
    static RowKeys of(const VerifyReport& report, bool withPaths);
};

class FileRows : public KeyedRows {
    Q_OBJECT
    Q_PROPERTY(QString sortColumn READ sortColumn WRITE setSortColumn NOTIFY sortChanged)
    Q_PROPERTY(bool sortAscending READ sortAscending WRITE setSortAscending NOTIFY sortChanged)
    // Both at once, {column, ascending}: a click that changes both reorders the rows once.
    Q_PROPERTY(QVariantMap order READ order WRITE setOrder NOTIFY sortChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // Counts every change of rows or their data: views that read one file bind to it.
    Q_PROPERTY(int revision READ revision NOTIFY revisionChanged)
    // Counts the changes of columnTexts: the table sizes its columns again only then.
    Q_PROPERTY(int textsRevision READ textsRevision NOTIFY textsChanged)

public:
    enum Role {
        FileId = Qt::UserRole + 1,
        Name,
        Status,  // the raw status ("verified", ...), for glyphs and colours
        StatusText,
        Covered,
        Day,
        Folder,
        Size,
        OnBackup,  // empty without copies
        Kind,
        Thumbnail,    // image URL of photos and videos, empty for the rest
        StatusLabel,  // the status's label, or that the file left the card: StatusText without the detail
    };

    explicit FileRows(QObject* parent = nullptr);
    ~FileRows() override;

    // The report the rows show (nullptr for none; it must outlive its use here) and its visible
    // positions. Keys are made here, but for what `keys` brings made (RowKeys::of the report).
    void setReport(const VerifyReport* report, const std::vector<int>& visible, RowKeys keys = {});
    // The same check's files changed: statuses folded in, or the check's own later report put in
    // place of the one shown (`newKeys`: its names are keyed again). The rows follow by removals
    // and insertions only, so the table and the grid keep their scroll position.
    void updateInPlace(const std::vector<int>& visible, bool newKeys, RowKeys keys = {});
    // A fold changed the files at `changed` (positions): only their rows, and the rows that come
    // or go with `visible`, are placed again.
    void fold(const std::vector<int>& visible, const std::vector<int>& changed);
    void setVisible(const std::vector<int>& visible);

    QString sortColumn() const;
    void setSortColumn(const QString& column);  // unknown names are ignored
    bool sortAscending() const { return sort_.ascending; }
    void setSortAscending(bool ascending);
    QVariantMap order() const;
    void setOrder(const QVariantMap& order);  // an unknown column keeps the column
    present::FileSort sort() const { return sort_; }
    // The item model's own sort(column, order) stays callable beside it.
    using KeyedRows::sort;
    int count() const { return int(rows_.size()); }
    int revision() const { return revision_; }
    int textsRevision() const { return textsRevision_; }
    // What the table's columns may have to show whole, for sizing them, the widest as drawn in
    // `font`: {names, folders, lastFolders, backups, labels, notes, days, sizes, nameFloors,
    // backupFloors}, each a list of texts (present::ColumnTexts). Each file is measured once per
    // report and font, and again when a fold changes it.
    Q_INVOKABLE QVariantMap columnTexts(const QFont& font) const;
    // The table, not shown yet, will ask for its texts in `font`: unless it asked before, the
    // shown report's files are measured in it while the window is idle.
    Q_INVOKABLE void measureSoon(const QFont& font);

    // The row of a file id, -1 when it is not shown; the id of a row, -1 when out of range.
    Q_INVOKABLE int rowOf(qint64 id) const;
    Q_INVOKABLE qint64 idAt(int row) const;
    // The inspector's texts of one file: {} when the id is unknown. `gone`: the file has left the
    // card since (nothing of it is there to preview or show).
    Q_INVOKABLE QVariantMap inspect(qint64 id) const;
    // The context menu of these ids: {firstId, backupCount, copyTitle, offCard}; firstId is the
    // first known file still on the card (-1 for none), offCard that every known file left it.
    Q_INVOKABLE QVariantMap menu(const QList<qint64>& ids) const;

    // How the preview shows one of its items (a local file URL): {name, kind, source, still}, kind
    // one of "image" (source: a still preview the helper decodes), "video", "audio" (source: the file
    // URL, played through play()), "text" (a name whose type is text: its words come through
    // loadText) or "other" (a file card); a video's still is its first frame from the helper.
    // By name alone: no file is read here.
    Q_INVOKABLE QVariantMap previewItem(const QUrl& url) const;
    // Reads a text item off the GUI thread, so a slow card never stalls the window; answers with
    // textLoaded, whose text is null when the file is too large, not text, or unreadable. A read
    // stopped by releasePreview answers nothing.
    Q_INVOKABLE void loadText(const QUrl& url);
    // Hands a media player (anything with QMediaPlayer's setSourceDevice and stop slots) the file
    // at `url` as a device opened here without touching its access time; false when it cannot be
    // opened. One file at a time: the previous one is let go first.
    Q_INVOKABLE bool play(QObject* player, const QUrl& url);
    // Stops the player and closes its file.
    Q_INVOKABLE void releaseMedia();
    // Before the preview closes or its card is ejected: pending text reads stop and the player
    // lets go of its file, so nothing of the card stays open.
    void releasePreview();
    // The seam every preview read goes through (tests stall it); the kernel by default.
    void setSys(Sys& sys) { sys_ = &sys; }
    // The files of the report found gone from the card since, by position (it must outlive its
    // use here); told again through goneChanged() whenever they change.
    void setGone(const std::vector<char>* gone) { gone_ = gone; }
    void goneChanged();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void sortChanged();
    void countChanged();
    void revisionChanged();
    void textsChanged();
    void textLoaded(const QUrl& url, const QVariant& text);
    // A preview read the card file at `path` (bytes) without keeping its access time.
    void accessTimeTouched(const std::string& path);

private:
    const FileResult* byID(qint64 id) const;
    bool gone(const FileResult& f) const;
    // New keys for the report shown; the workers start ranking its names and folders.
    void keyReport(RowKeys keys);
    void resort();
    // The same rows in the order of a new sort.
    void reorder();
    // The same rows in another order, told as a change of layout: the views keep their delegates.
    void relayout(std::vector<int> rows);
    // The rows become `after` (distinct positions), told as few changes as the views handle fast.
    void moveTo(std::vector<int> after, const QList<int>& roles = {});
    void setSort(present::FileSort sort);
    void takeVisible(const std::vector<int>& visible);
    std::vector<int> sortedRows() const;
    void changed(int countBefore);
    // The rows' column texts after a change: told when they differ.
    void retext();
    // Another report shown: its files are measured in the font last asked for, a step at a time
    // while the window has nothing else to do, until the texts are asked for.
    void remeasure();

    Collation collation_;
    present::DateTexts dates_;
    const VerifyReport* report_ = nullptr;
    present::FileSortKeys keys_;
    QThreadPool* rankPool_;  // owned; the workers that rank the shown report's names and folders
    // Set when the keys they rank for are replaced.
    std::shared_ptr<std::atomic<bool>> rankStop_ = std::make_shared<std::atomic<bool>>(false);
    std::vector<int> visible_;  // in the model's (report) order
    std::vector<int> rows_;     // sorted
    present::FileSort sort_;
    int revision_ = 0;
    // The column texts in the font they were last asked in, found again whenever the rows change.
    struct MadeTexts {
        QFont font;
        present::ColumnWidths widths;
        std::optional<present::ColumnTexts> texts;  // none until asked for
        QVariantMap map;
    };
    mutable std::optional<MadeTexts> columnTexts_;
    QTimer* idleMeasure_;
    int textsRevision_ = 0;
    Sys* sys_ = &defaultSys();
    const std::vector<char>* gone_ = nullptr;
    std::shared_ptr<std::atomic<bool>> textCancelled_ = std::make_shared<std::atomic<bool>>(false);
    std::unique_ptr<QFile> media_;
    QPointer<QObject> player_;
};

}  // namespace halvetrop

#pragma once
// The file browser's rules: the table's sort orders, the texts of its cells, of the context menu
// and of the inspector. Sort keys are made once per report (collation keys are costly), so a sort
// of 100,000 rows compares bytes only.
#include <QLocale>
#include <QString>
#include <QTimeZone>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "report/Report.h"
#include "text/Collation.h"

namespace halvetrop::present {

// The table's sortable keys; `path` is the browser's initial order, which no column shows.
enum class FileColumn { path, name, status, day, folder, size };
std::optional<FileColumn> fileColumnFromName(const QString& name);  // "path", "name", ...

struct FileSort {
    FileColumn column = FileColumn::path;
    bool ascending = true;
    friend bool operator==(const FileSort&, const FileSort&) = default;
};

// The collation keys of every name, folder and path of one report, by file position. A column's
// keys are made when a sort first needs them, so a report that is never sorted by a column does
// not pay for its keys; `report` is then the one the keys were made for, with the same names.
class FileSortKeys {
public:
    FileSortKeys() = default;
    // `collation` outlives the keys.
    FileSortKeys(const VerifyReport& report, const Collation& collation);

    size_t size() const { return size_; }
    // Makes the keys of a column now (a sort would make them on first use).
    void prepare(const VerifyReport& report, FileColumn column) const;
    // `positions` (into report.files, all below size()) in the sort's order; rows that compare
    // equal keep the order they came in. The report gives the unkeyed fields (status, day, size),
    // which a fold may change without new keys.
    std::vector<int> sorted(const VerifyReport& report, std::vector<int> positions, FileSort sort) const;
    // What sorted() gives for `positions` (in report order), found from `rows`, the sort's order of
    // the positions shown before, after a fold changed the files at `changed` (positions; their
    // status, never their names or days): rows that stay keep their order, and only the rows that
    // come in or whose key changed are placed again.
    std::vector<int> resorted(const VerifyReport& report, const std::vector<int>& rows,
                              const std::vector<int>& positions, const std::vector<int>& changed,
                              FileSort sort) const;

private:
    template <class With>
    decltype(auto) withKey(const VerifyReport& report, FileColumn column, With with) const;
    const std::vector<std::string>& keys(const VerifyReport& report, FileColumn column) const;

    const Collation* collation_ = nullptr;
    size_t size_ = 0;
    mutable std::optional<std::vector<std::string>> names_, folders_, paths_;
};

// Where a key moves the selection of the table or the grid: the row `step` rows on from
// `current` (negative steps go back), kept within the `count` rows shown. With nothing selected
// (`current` -1) a step forward selects the first row and a step back the last; with no rows
// there is nothing to select (-1). In a grid of `columns`, a step within a line does not wrap to
// the next line, and a line step beyond the last full line lands on the last tile when the last
// line is shorter, and nowhere (the selection stays) when it leaves the grid.
int stepSelection(int current, int step, int count, int columns = 1);
// Where Page Up (negative `lines`) or Page Down moves it: that many lines on, in the same column,
// stopping at the first or last line (at the last tile when the last line is shorter). With
// nothing selected Page Down takes the first row and Page Up the last.
int pageSelection(int current, int lines, int count, int columns = 1);
// Where Page Up (negative `pages`) or Page Down scrolls a view `height` tall from `position`: that
// many views on, less a strip of the last one kept in sight, within `top` and `bottom` (where its
// end comes into view); a view whose content fits stays at its top.
double pageScroll(double position, int pages, double height, double top, double bottom);

// The shoot chip: the short day, " · ", the last piece of the folder (the folder itself when it
// has no piece).
QString shootChipText(const ShootGroup& group, const QLocale& locale = QLocale());

// The status column: the file's detail where it has one, else its status label.
QString statusText(const FileResult& file);
// "<backup name> › <path on that backup>" of the first copy; empty without copies.
QString onBackupText(const VerifyReport& report, const FileResult& file);
// The copy title of a menu over `ids`: "Copy <name>" for one id (of a known file), else
// "Copy <n> files" counting every id given.
QString menuCopyTitle(const std::vector<const FileResult*>& files, size_t ids);

// The inspector's date row: "Taken" with the capture's date and time when a reader found one,
// else "Shoot day" with the short day.
struct DateRow {
    QString label, value;
};
DateRow dateRow(const FileResult& file, const QLocale& locale, const QTimeZone& zone);
// "Every byte matches" for a copy compared byte for byte, else "Content matches (sampled)".
QString evidenceText(EvidenceLevel level);
// The line under "On backups": card-only, no copy, or nothing.
QString backupsNote(const VerifyReport& report, const FileResult& file);
// "On card": the folder, "/" for the card's top.
QString onCardText(const FileResult& file);

}  // namespace halvetrop::present

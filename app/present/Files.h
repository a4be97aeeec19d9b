#pragma once
// The file browser's rules: the table's sort orders, the texts of its cells, of the context menu
// and of the inspector. Sort keys are made once per report (collation keys are costly), so a sort
// of 100,000 rows compares bytes only.
#include <QLocale>
#include <QString>
#include <QTimeZone>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "present/Fit.h"
#include "present/Format.h"
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

// Every column's order of one report's files as a rank per file position: files of equal rank
// compare equal, a lower rank sorts first. Sorting then compares small integers, however costly
// the column's own comparison (collation for names, folders and paths). Ranks of a column are made
// when a sort first needs them, or handed in from a job that made them elsewhere (expect); `report`
// is then the one the keys were made for, with the same names, days and sizes. Statuses change in
// a fold: their order is read from the report at each sort.
class FileSortKeys {
public:
    using Ranks = std::vector<uint32_t>;

    FileSortKeys() = default;
    // `collation` outlives the keys.
    FileSortKeys(const VerifyReport& report, const Collation& collation);

    size_t size() const { return size_; }
    // Whether keys made for `made` sort `other` too: the same files in the same order, with the
    // same names, folders, paths, days and sizes (the fields a fold leaves alone).
    static bool holdFor(const VerifyReport& made, const VerifyReport& other);
    // Those fields of every file in order, as one number: reports with the same digest hold each
    // other's keys (but for a chance of one in 2^64). Made where a report is made, it saves holding
    // a new report against the shown one on the GUI thread.
    static uint64_t orderDigest(const VerifyReport& report);
    // Makes the ranks of a column now (a sort would make them on first use).
    void prepare(const VerifyReport& report, FileColumn column) const;
    // A job that makes the ranks of a text column (name, folder or path) from its own copy of the
    // report's texts, with a collation of its own: it may run on any thread while the report
    // changes or goes. It gives up, with no ranks, once `stop` is set.
    static std::function<Ranks()> rankJob(const VerifyReport& report, FileColumn column,
                                          std::shared_ptr<const std::atomic<bool>> stop);
    // Where the ranks of a column come from when a sort first needs them: `source` gives them
    // (waiting for a job, say); ranks of the wrong length are made here instead.
    void expect(FileColumn column, std::function<Ranks()> source);
    // `positions` (into report.files, all below size()) in the sort's order; rows that compare
    // equal keep the order they came in, in either direction.
    std::vector<int> sorted(const VerifyReport& report, std::vector<int> positions, FileSort sort) const;
    // What sorted() gives for `positions` (in report order), found from `rows`, the sort's order of
    // the positions shown before, after a fold changed the files at `changed` (positions; their
    // status, never their names or days): rows that stay keep their order, and only the rows that
    // come in or whose key changed are placed again.
    std::vector<int> resorted(const VerifyReport& report, const std::vector<int>& rows,
                              const std::vector<int>& positions, const std::vector<int>& changed,
                              FileSort sort) const;

private:
    struct Key;
    Key keyOf(const VerifyReport& report, FileColumn column) const;
    const Ranks& ranks(const VerifyReport& report, FileColumn column) const;

    const Collation* collation_ = nullptr;
    size_t size_ = 0;
    // By column (status unused: it is read from the report).
    mutable std::array<std::optional<Ranks>, 6> ranks_;
    mutable std::array<std::function<Ranks()>, 6> sources_;
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

// What a file found gone from the card since its check says in place of its status.
QString goneFromCardText();
// The status column: the file's detail where it has one, else its status label; for a file gone
// from the card, that it is.
QString statusText(const FileResult& file, bool gone = false);
// "<backup name> › <path on that backup>" of the first copy; empty without copies.
QString onBackupText(const VerifyReport& report, const FileResult& file);
// What the table's columns may have to show whole over the files at `positions` (into
// report.files): of names, folders, folders' last parts, first copies' places and notes the
// `keep` widest as drawn in the font `width` measures (each text's width found from its
// characters' widths, measured once each: names of as many characters are not as wide, "MVI_"
// against "IMG_"); every status label shown, that a file left the card where one of them did
// (`gone`, by position, when given); each shoot day once; the size of the largest file in each
// unit; of names and the first copies' file names, the widest least a cut keeps of them (nameFloor).
// The views measure them again in the fonts they draw them in.
struct ColumnTexts {
    QStringList names, folders, lastFolders, backups, labels, notes, days, sizes, nameFloors, backupFloors;
    friend bool operator==(const ColumnTexts&, const ColumnTexts&) = default;
};
// The widths behind ColumnTexts, file by file, in one font: every file of a report is measured
// once, and a fold measures again only the files it changed, so that the texts of any rows shown
// are found from numbers, never from the texts of every file. The files may be measured in steps,
// in the window's idle moments, before the texts are first asked for.
class ColumnWidths {
public:
    ColumnWidths();
    // Widths of the files of `report` (which must hold the same files whenever it is used here)
    // in the font `width` measures, the first `now` of them measured at once.
    ColumnWidths(const VerifyReport& report, Measure width, size_t now = SIZE_MAX);
    ColumnWidths(ColumnWidths&&) noexcept;
    ColumnWidths& operator=(ColumnWidths&&) noexcept;
    ~ColumnWidths();

    size_t size() const { return status_.size(); }
    bool measured() const { return measured_ == size(); }
    // Measures up to `most` more files; whether every file is measured now.
    bool measure(const VerifyReport& report, size_t most = SIZE_MAX);
    // A fold gave the files at `changed` (positions) new statuses, copies and notes.
    void fold(const VerifyReport& report, const std::vector<int>& changed);
    // Over the files measured so far.
    ColumnTexts texts(const VerifyReport& report, const std::vector<int>& positions, const DateTexts& dates,
                      const std::vector<char>* gone = nullptr, const QLocale& locale = QLocale(),
                      size_t keep = 32) const;

private:
    class Chars;
    void measureCopyAndNote(const VerifyReport& report, size_t at);

    std::unique_ptr<Chars> chars_;
    size_t measured_ = 0;  // the files before it are measured
    std::unordered_map<std::string, uint32_t> dayIndex_;
    // By position; a copy's and a note's -1 where the file has none.
    std::vector<float> name_, nameFloor_, folder_, lastFolder_, backup_, backupFloor_, note_;
    std::vector<FileStatus> status_;
    std::vector<int64_t> size_;
    std::vector<uint32_t> day_;  // into days_
    std::vector<std::string> days_;
};

// The copy title of a menu over `ids`: "Copy <name>" for one id (of a known file), else
// "Copy <n> files" counting every id given ("Copy 1,234 files").
QString menuCopyTitle(const std::vector<const FileResult*>& files, size_t ids,
                      const QLocale& locale = QLocale());

// The inspector's date row: "Taken" with the capture's date and time when a reader found one,
// else "Shoot day" with the short day.
struct DateRow {
    QString label, value;
};
DateRow dateRow(const FileResult& file, const QLocale& locale, const QTimeZone& zone);
// "Every byte matches" for a copy compared byte for byte, else "Content matches (sampled)".
QString evidenceText(EvidenceLevel level);
// The line under "On backups": card-only, no copy, why the card's file was not read from the card,
// or nothing.
QString backupsNote(const VerifyReport& report, const FileResult& file);

// Why a copy, or the card's file (`card`), read whole, is not proven byte by byte, and what the
// user can do: the inspector's line under that copy, or under "On backups" for the card's file.
QString doubtNote(MediumDoubt doubt, bool card);
// Whether backup `destination` lies on the card's own drive: its copies never count, so nothing
// done about how they were read is what holds the card back.
bool onCardDrive(const VerifyReport& report, int64_t destination);
// The inspector's line under a copy: why it is not proven byte by byte, and what to do (doubtNote);
// for a copy on the card's own drive, that it doesn't count, since the remedy would lead back to
// the card. Empty for a copy whose read counted.
QString copyDoubtNote(const VerifyReport& report, const CopyRef& copy);
// The same as the reason line says it of the drive (or the card) named `name`.
QString doubtReason(MediumDoubt doubt, const QString& name, bool card);
// "On card": the folder, "/" for the card's top.
QString onCardText(const FileResult& file);

}  // namespace halvetrop::present

#pragma once
// What a line of the results screens shows when the window is too narrow for all of it: the form
// of the verdict's action row, a path cut from its start, the camera chips that fit, a shoot row's
// lines and the names in a banner's sentence. Pure rules over widths the views measure; the views
// only draw what these choose.
#include <QLocale>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "present/Results.h"
#include "report/Report.h"

namespace halvetrop::present {

// The drawn width of a text in the font it is shown in.
using Measure = std::function<double(const QString&)>;

// --- the verdict's action row ---

// The full row, the compact one, or, where even that is too wide (the smallest window with the
// inspector open), the compact row with every button but the copy button shown by its symbol
// alone. One form holds for the whole row, never button by button.
enum class RowForm { full, compact, symbols };
inline constexpr std::array<RowForm, 3> rowForms{RowForm::full, RowForm::compact, RowForm::symbols};

struct RowItem {
    QString id;  // "copy", "verify", "lastCopy", "nextCard", "eject"
    QString full;
    QString compact;
    QString symbol;
    bool keepsText = false;  // still labelled in the symbols form
    friend bool operator==(const RowItem&, const RowItem&) = default;
};

// The row's shown buttons, left to right. `lastCopyCount` is the files the last copy wrote.
std::vector<RowItem> heroActionItems(const HeroActions& actions, int64_t lastCopyCount,
                                     const QLocale& locale = QLocale());
// The card-only header's buttons, left to right: compare with the chosen backups (or choose one),
// another backup while some are chosen, scan another card, eject. `backups` are the chosen
// backups' names, as the sidebar names them.
std::vector<RowItem> cardOnlyActionItems(const QStringList& backups, bool eject,
                                         const QLocale& locale = QLocale());
// The button's text in a form; empty where only its symbol shows (its compact text is then the
// tooltip and the accessible name).
QString itemText(const RowItem& item, RowForm form);
// "Last Copy (7)", "Last Copy (1,234)" in full, "Last Copy" compact.
QString lastCopyLabel(int64_t copied, bool compact, const QLocale& locale = QLocale());

struct RowFit {
    RowForm form = RowForm::full;
    bool fits = true;       // false: not even the symbols form fits, and that is what is drawn
    bool leadFull = false;  // the compact row's lead item shows its full text
    friend bool operator==(const RowFit&, const RowFit&) = default;
};
// `widths[i]` holds item i's width in each form, in the order of `rowForms`; items are `spacing`
// apart. The first form whose row fits `available`. `lead`, when given, is the item that keeps its
// text in every form ("Copy 7…" in the symbols row too): its compact width is read from the
// symbols form, and the compact row gives it its full text ("Copy 7 to Backup…") where the row
// still fits so.
RowFit fitRow(const std::vector<std::array<double, 3>>& widths, double spacing, double available,
              std::optional<size_t> lead = std::nullopt);

// --- a path cut from its start ---

struct Cut {
    QString text;  // what is drawn
    QString full;  // the whole path, for the tooltip
    bool cut = false;
    friend bool operator==(const Cut&, const Cut&) = default;
};
// What a path's cut keeps besides its end.
struct CutRule {
    // The first name is a drive's: a short one stays whole in front, "SSD1/…/2024-04-15", where it
    // fits beside whole trailing names; a long one is dropped as any other.
    bool keepFirst = false;
    // The last name is a file's: cut, it keeps its number and extension (cutName).
    bool fileName = false;
};
// `path` shortened at its start so that its end stays visible within `width`: as many whole
// trailing names as fit behind "…/" (behind the first name and "/…/" first, by `rule`), else the
// last name whole behind "…", else that name cut in its middle (its start and end kept: never a
// tail that reads as another name), never splitting a character a reader sees as one.
Cut cutFromStart(const QString& path, double width, const Measure& measure, CutRule rule = {});

// A file's name within `width`: where it does not fit, cut in its middle with what tells it from
// the names beside it kept whole, its number (the run of digits nearest its extension) and its
// extension ("IMG_00…1.JPG" would read the same for 0001 and 0011); what lies before the number,
// and between it and the extension, gives way, each keeping its start and end. Where even "…" and
// those do not fit, "…" alone is shown; a name with neither is cut in its middle as any text.
Cut cutName(const QString& name, double width, const Measure& measure);
// Where a name's number and extension lie (as positions in it): the number in [number, numberEnd)
// (empty without one), the extension from `extension` on (at its end without one; a leading dot
// starts none, and an extension is at most eight letters and digits). The number is the run of
// digits nearest the extension, with the runs before it that one or two letters join to it: a
// clip's sidecar C0001M01.XML keeps "0001M01", not the "01" every sidecar of the card ends in.
struct NameEnds {
    qsizetype number = 0, numberEnd = 0, extension = 0;
    friend bool operator==(const NameEnds&, const NameEnds&) = default;
};
NameEnds nameEnds(QStringView name);
NameEnds nameEnds(std::string_view ascii);  // a name of ASCII bytes
// The least a cut name keeps, "…0001.JPG" ("…0042….ARW" with words between): the room a column
// must give a name for its number and extension to stay whole. "…" for a name without either.
QString nameFloor(QStringView name);

// --- names and paths in a line of text ---

// The views' lines run left to right. A name or path holding right-to-left text (Arabic, Hebrew)
// or a direction control of its own would turn what is around it: a path's folders drawn in
// reverse order, ".JPG" in front of a name. These give such a text with each of its names isolated
// (U+2068 … U+2069, read in its own direction), the whole in a left-to-right isolate (U+2066 …
// U+2069) after a left-to-right mark (U+200E), so its names stay in their order; a text with
// nothing that turns comes back as it is.
// They make what is drawn, after any cut: a cut of their result could leave an isolate open.
// A drive's or folder's name, isolated whole (without the outer isolate: it may start a sentence).
QString isolated(const QString& name);
// A file's name: its stem isolated, its extension after it.
QString isolatedName(const QString& name);
// Names apart at "/" or "›" (the spaces around them stay outside); `fileName`: the last is a file's.
QString isolatedPath(const QString& path, bool fileName = false);

// --- camera chips ---

struct CameraShare {
    QString name;
    int64_t files = 0;
    friend bool operator==(const CameraShare&, const CameraShare&) = default;
};
// The cameras of the shoots, in the chips' order (sorted, once each), with their files.
std::vector<CameraShare> cameraShares(const std::vector<ShootGroup>& groups);

struct ChipFit {
    std::vector<int> shown;  // indices of the chips drawn, in their order
    QString more;            // "+N" for the chips left out; empty when every chip fits
    QStringList hidden;      // their names, in order, for the "+N" chip's tooltip
    double squeezed = -1;    // at 0 or more, the one shown chip is narrowed to this width
    friend bool operator==(const ChipFit&, const ChipFit&) = default;
};
// `widths[i]` is chip i's width; `moreWidth(n)` the width of a "+n" chip. When not all fit, the
// cameras with the most files stay (the main camera always), in the chips' order, and a "+N" chip
// stands for the rest.
ChipFit fitChips(const std::vector<CameraShare>& chips, const std::vector<double>& widths, double spacing,
                 double available, const std::function<double(int)>& moreWidth);

// The card's name beside its camera chips on a line of `available` (what the card symbol and the
// days leave): the chips are fitted into what the name leaves at `nameFloor` (its own width when
// narrower), so the main camera gives way only once the name has; the name then takes the rest.
struct EyebrowFit {
    ChipFit chips;
    double nameWidth = 0;
    friend bool operator==(const EyebrowFit&, const EyebrowFit&) = default;
};
EyebrowFit fitEyebrow(double nameWidth, double nameFloor, const std::vector<CameraShare>& chips,
                      const std::vector<double>& widths, double spacing, double available,
                      const std::function<double(int)>& moreWidth);

// --- table columns ---

// One column giving way: down to `width` (never widening it).
struct GiveWay {
    size_t column = 0;
    double width = 0;
    friend bool operator==(const GiveWay&, const GiveWay&) = default;
};
// The widths of a table's columns in `available`: each as wide as its content needs (`needs`)
// where they all fit, the column `grows` then taking what is left over. Where they do not, the
// steps give way in turn, each only as far as the table still needs, so a column is narrowed
// only once those before it can give no more; where even all of them do not make it fit, the
// table overflows. No column keeps room beyond its content while another is narrowed.
std::vector<double> fitColumns(const std::vector<double>& needs, const std::vector<GiveWay>& steps,
                               double available, size_t grows);

// --- a shoot row ---

// The fan of a shoot's pictures: tiles that overlap by a step, and the status badge a little past
// the last one. At ease its frame is as wide as a fan of the most tiles, so that the titles of the
// rows line up.
struct Fan {
    double tile = 74;
    double step = 34;      // from one tile's leading edge to the next one's
    double tightest = 22;  // the least step, where the tiles overlap most
    double overhang = 4;   // of the badge past the last tile
    int most = 5;
    double width(int tiles, double atStep) const;
};

struct ShootLineFit {
    double fan = 0;    // the fan's frame
    double step = 0;   // between its tiles
    double title = 0;  // the title's room (its own width when it shows whole)
    double chip = 0;   // the camera chip's width; 0 without a camera
    friend bool operator==(const ShootLineFit&, const ShootLineFit&) = default;
};
// A shoot row's fan and its title line (the title, then the camera chip `spacing` after it) in
// `room`, the fan `gap` before the line. `chip` is 0 without a camera; a chip keeps at least
// `chipFloor` (its whole width when narrower). The fan gives way first: its frame shrinks to its
// tiles, then they overlap more; then the chip narrows; only then is the title cut.
ShootLineFit fitShootLine(int tiles, double title, double chip, double chipFloor, double spacing, double gap,
                          double room, const Fan& fan = {});

struct StatusLineFit {
    bool linkBelow = false;  // the landing link on a line of its own, under the sentence
    double sentence = 0;     // the sentence's width; it wraps where even the whole line is narrower
    double backup = 0;       // the backup's name in the link
    double folder = 0;       // the room of the link's folder, cut from its start
    friend bool operator==(const StatusLineFit&, const StatusLineFit&) = default;
};
// A shoot row's status sentence after its symbol (`lead`), and the landing link `spacing` after
// it when there is one (`link` is its width beside the backup's name and folder: prefix, chevron,
// "+N"). The sentence is never cut: its counts are what the row says. The link gives way first, its
// backup's name down to `backupFloor` and its folder down to `folderFloor` (its last part); where
// even that does not fit beside the sentence, the link takes the line below, under the sentence.
StatusLineFit fitStatusLine(double lead, double sentence, bool hasLink, double link, double backup,
                            double backupFloor, double folder, double folderFloor, double spacing,
                            double room);

// --- names in a sentence ---

// `text` as `fits` accepts it: the names it quotes (between “ and ”) are cut in their middle, the
// longest first and each down to `floor` characters as read, never a word of the sentence around
// them. Unchanged where it fits; where even its shortest names do not, they stay at their shortest.
QString shortenNames(const QString& text, const std::function<bool(const QString&)>& fits, int floor = 8);

// A name of at most `most` characters as read: a longer one keeps its first two thirds and its
// end (where its number and extension are), "…" between them.
QString cutMiddle(const QString& name, int most);

}  // namespace halvetrop::present

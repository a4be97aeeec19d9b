#pragma once
// What the results screen says about a report: the verdict, the charts of status counters, the
// shoots by day, the folder map and the ready-to-format panel with its per-camera format steps.
// Pure functions of core values and a locale; the views only place what these return.
#include <QLocale>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "present/Format.h"
#include "present/Tokens.h"
#include "report/Report.h"
#include "verify/CardChanges.h"

namespace halvetrop::present {

// A file of the shown report by id, as the model holds it live (nullptr when it has none).
using FileLookup = std::function<const FileResult*(int64_t id)>;

// --- verdict of a compared check ---

FileStatus verdictStatus(const StatusCounts& totals);
// Nothing for a report without files (the secondary colour), else the tint of the card.
std::optional<ColorRole> verdictColor(const StatusCounts& totals);
// The same, but a card not read whole takes the warning colour whatever its files say.
std::optional<ColorRole> verdictColor(const VerifyReport& report);
struct KindCount {
    MediaKind kind;
    int64_t files = 0;
};
// What kinds a report's files are, which a fold of the byte-by-byte pass never changes: found once
// per report rather than once per drawing of a header over 100,000 files.
struct ReportKinds {
    std::vector<SkippedKind> skipped;  // report.skippedKinds()
    std::vector<MediaKind> checked;    // report.checkedKinds()
    std::vector<KindCount> counts;     // kindCounts(report)
    static ReportKinds of(const VerifyReport& report);
};

// The kinds of the in-scope files as nouns in a list: "photos and videos".
QString checkedNoun(const VerifyReport& report, const QLocale& locale = QLocale());
QString verdictTitle(const VerifyReport& report, const QLocale& locale = QLocale());
QString verdictReason(const VerifyReport& report, bool deepVerifying, const QLocale& locale = QLocale());
// The same, with the report's kinds found before. A report ready to format is called so only
// where `cardSeen` (the card was seen since to be as it says); until then by what the check found.
QString verdictTitle(const VerifyReport& report, const ReportKinds& kinds, const QLocale& locale = QLocale(),
                     bool cardSeen = true);
QString verdictReason(const VerifyReport& report, const ReportKinds& kinds, bool deepVerifying,
                      const QLocale& locale = QLocale());

// The first and last shoot day, " – " between them when they differ; shoots without a day left out.
QString dayRange(const std::vector<ShootGroup>& groups, const DateTexts& dates);
// Camera names of the shoots, once each, sorted.
QStringList cameraNames(const std::vector<ShootGroup>& groups);

struct Stat {
    int64_t value = 0;
    QString label;
    ColorRole color = ColorRole::verified;
};
std::vector<Stat> verdictStats(const StatusCounts& totals);
// Bytes, " · " and how hard the copies were compared.
QString statsDetail(const VerifyReport& report, const QLocale& locale = QLocale());
// The same, told whether readsInDoubt(report) holds (a figure kept by file elsewhere).
QString statsDetail(const VerifyReport& report, bool inDoubt, const QLocale& locale = QLocale());
// Whether some read of an in-scope file, the card's or a copy's on a backup of the report, can't
// be shown to come from its drive: then a byte-by-byte check compared content, not every byte.
bool readsInDoubt(const VerifyReport& report);

// --- the card in the reader, held against the result ---

// What the card at a result's place is now: the card as the check left it (a result made now, a
// saved one whose card is here unchanged, or one being looked for), the card changed since,
// another card, one that cannot be told from it, or no card at all.
enum class CardNow { asChecked, changed, another, cannotTell, notInserted };

// The header where the card now is not the card as checked: what the check found is then not what
// the reader holds, and a title of the verdict ("Safe to format" above all) would say it of
// another card. Nothing for `asChecked`.
struct CardNowHeader {
    QString title;
    QString reason;
    ColorRole tint = ColorRole::partial;  // of the header and of the ring's covered arcs and symbol
};
std::optional<CardNowHeader> cardNowHeader(const VerifyReport& report, CardNow card,
                                           const CardChanges& changes, const QLocale& locale = QLocale());
// "1 file added, 2 changed and 1 removed": what changed on the card since its check.
QString changesText(const CardChanges& changes, const QLocale& locale = QLocale());

// --- the action row ---

struct HeroActions {
    int64_t copyable = 0;  // copy button shown when at least 1
    bool verify = false;
    bool lastCopy = false;
    bool eject = false;
};
// `lastCopyFrom`: the card name of the last copy and whether it wrote into any folder. `canEject`:
// the card may be ejected and the ready-to-format panel, which has its own Eject, is not shown.
HeroActions heroActions(const VerifyReport& report, int64_t copyable, bool deepVerifying, bool canEject,
                        const std::optional<std::pair<std::string, bool>>& lastCopyFrom);
QString copyButtonText(int64_t copyable, bool compact, const QLocale& locale = QLocale());
// `shortcut` as the desktop writes it ("Ctrl+Shift+E").
QString ejectHelp(const VerifyReport& report, const QString& shortcut);

// --- the card-only header ---

// In-scope camera media per kind, kinds without files left out.
std::vector<KindCount> kindCounts(const VerifyReport& report);
// "photo"/"photos", "audio file"/"audio files", ...
QString kindWord(MediaKind kind, int64_t n);
QString cardOnlyTitle(const VerifyReport& report, const QLocale& locale = QLocale());
// "Check Against " and the backups' names (as the sidebar names them) as a list.
QString compareTitle(const QStringList& backups, const QLocale& locale = QLocale());

// --- coverage ring, bar, skipped-kinds note, byte-by-byte strip ---

struct Segment {
    FileStatus id;
    double from = 0;
    double to = 0;
    friend bool operator==(const Segment&, const Segment&) = default;
};
std::vector<Segment> ringSegments(const StatusCounts& counts);
// The colour of a ring arc: on a card not read whole the covered arcs take the warning colour, as
// what they count is not the whole card; where the card now is not the card as checked, they take
// the header's tint, as what they count is not in the reader.
ColorRole ringColor(const VerifyReport& report, FileStatus arc, CardNow card = CardNow::asChecked);
// Whole percent covered, by integer arithmetic; 100 without files.
int coveredPercent(const StatusCounts& counts);

struct BarParts {
    double covered = 0;     // width, 0 when not drawn
    double attention = 0;   // width, 0 when not drawn
    bool conflict = false;  // the attention part in the conflict colour, else missing
};
BarParts barParts(const StatusCounts& counts, double width, double height);

QString skippedSentence(const std::vector<SkippedKind>& skipped, const QLocale& locale = QLocale());
QString skippedButton(const std::vector<SkippedKind>& skipped);

// The strip's line and bar value; `running` while the pass compares.
QString deepStripText(const StatusCounts& totals, bool running, const QLocale& locale = QLocale());
double deepStripValue(const StatusCounts& totals, bool running);

// --- card contents ---

// "1 folder or file on the card couldn't be read", "3 folders or files on the card couldn't be read".
QString unreadableSentence(int64_t n, const QLocale& locale = QLocale());

QString contentSymbol(const ContentLine& line);
QString contentChecked(const ContentLine& line, const QLocale& locale = QLocale());
QString contentFormats(const ContentLine& line);

// --- shoots ---

struct DaySection {
    std::string day;
    std::vector<int> groups;  // positions in report.groups, report order
};
// Newest day first; shoots without a day last.
std::vector<DaySection> shootDays(const std::vector<ShootGroup>& groups);
StatusCounts liveCounts(const std::vector<int64_t>& fileIDs, const FileLookup& lookup);
QString dayHeaderCounts(const StatusCounts& counts, bool cardOnly, const QLocale& locale = QLocale());

// Indices into the shoot's photo and video files (role media) that the filmstrip shows: all of
// up to five, else five spread over them with the first and the last.
std::vector<int> filmstripPicks(int eligible);
std::vector<const FileResult*> filmstrip(const ShootGroup& group, const FileLookup& lookup);
// Rotation of tile i of n, in degrees.
double tileAngle(int i, int n);

QString folderTitle(const ShootGroup& group, const std::string& sourceName);
QString kindsLine(const ShootGroup& group, const QLocale& locale = QLocale());
QString sizeText(const ShootGroup& group, const StatusCounts& live, const QLocale& locale = QLocale());
QString issueList(const StatusCounts& live, const QLocale& locale = QLocale());

// notRead: nothing covered, and every file that is not was never read (unreadable, changed while
// read, a cloud placeholder): whether it is on a backup is not known.
enum class ShootState { checking, notBackedUp, partly, backedUpTo, backedUp, notRead };
ShootState shootState(const StatusCounts& live, bool hasLanding);
// The status sentence's text (the landing link follows it where there is one).
QString shootSentence(const StatusCounts& live, bool hasLanding, const QLocale& locale = QLocale());
// The drive symbol in front of the sentence; none while checking (a spinner takes its place).
QString shootSentenceSymbol(ShootState state);
QString shootBadge(const StatusCounts& live);
QString copyTitle(const QString& folderTitle, const std::string& day, const DateTexts& dates);
// The first landing on one of the report's backups, if any.
std::optional<LandingRef> firstLanding(const ShootGroup& group, const VerifyReport& report);
int64_t landingCount(const ShootGroup& group, const VerifyReport& report);

// --- folder map ---

QString folderRowCounts(const FolderSummary& folder, bool cardOnly, const QLocale& locale = QLocale());
QString folderDays(const FolderSummary& folder, const DateTexts& dates);
// In-scope files of the folder (its bytes) and every folder below it (all of them for ""), as
// positions.
std::vector<int> folderFiles(const VerifyReport& report, const std::string& folder);
// Whether folderFiles takes the file.
bool inFolder(const FileResult& f, const std::string& folder);

struct Place {
    int64_t destination = 0;
    std::string path;  // below the backup, as shown
    int64_t count = 0;
    int64_t bytes = 0;
    std::string pathBytes{};  // the same folder as the backup's file system names it
    friend bool operator==(const Place&, const Place&) = default;
};
// Where the folder's files lie, by their first copy on one of the report's backups; most files
// first, then by backup and path so the list never reorders between drawings.
std::vector<Place> places(const VerifyReport& report, const std::vector<int>& files);
QString folderCopyTitle(const std::string& folder, const std::string& sourceName);

// --- ready to format ---

// The backups holding a byte-verified copy of an in-scope file are named; the words agree with
// the count of files and with R ("The 1 file is … on 1 separate drive").
QString readySentence(const VerifyReport& report, const QLocale& locale = QLocale());

struct FormatStep {
    QString camera;
    QString path;
    friend bool operator==(const FormatStep&, const FormatStep&) = default;
};
std::vector<FormatStep> formatSteps(const VerifyReport& report);
QString eraseMessage(const VerifyReport& report);

}  // namespace halvetrop::present

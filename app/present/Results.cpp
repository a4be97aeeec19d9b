#include "present/Results.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <map>
#include <set>

#include "anatomy/CameraDetector.h"
#include "present/Files.h"
#include "present/Home.h"
#include "text/Utf8.h"

namespace halvetrop::present {
namespace {

QString qs(const std::string& s) { return displayText(s); }

QString plain(int64_t n) { return QString::number(n); }

QString list(const QStringList& items, const QLocale& locale) { return listText(items, locale); }

// The report's own headline with its counts grouped as the window groups every count.
QString headline(const VerifyReport& report, const QLocale& locale) {
    return QString::fromStdString(halvetrop::headline(
        report.totals, report.cardUnreadable, [&](int64_t n) { return count(n, locale).toStdString(); }));
}

QString noun(MediaKind kind) {
    switch (kind) {
        case MediaKind::photo:
            return QStringLiteral("photos");
        case MediaKind::video:
            return QStringLiteral("videos");
        case MediaKind::audio:
            return QStringLiteral("audio files");
        case MediaKind::other:
            return QStringLiteral("other files");
    }
    return {};
}

QString kindTitle(MediaKind kind) {
    switch (kind) {
        case MediaKind::photo:
            return QStringLiteral("Photos");
        case MediaKind::video:
            return QStringLiteral("Videos");
        case MediaKind::audio:
            return QStringLiteral("Audio");
        case MediaKind::other:
            return QStringLiteral("Other");
    }
    return {};
}

const QString keepCard = QStringLiteral(" — keep the card for now.");

bool validDestination(const VerifyReport& report, int64_t d) {
    return d >= 0 && d < int64_t(report.destinations.size());
}

// Why copies are not proven byte by byte, card first, in the reason line's words; nothing when
// every read counted. What the check recorded of the reads themselves (the card's files, the
// copies) comes before what is known only of a whole volume (reports kept from before it recorded
// them). With `holdingBack`, only files short of drives are looked at: a copy that does not count
// beside enough that do is not why the card is held back, nor is a backup on the card's drive,
// whose remedy ("the drive that holds the image") would be the card. A backup counts only when it
// holds a copy of an in-scope file: one that holds none is not why the card is not safe.
std::optional<QString> unprovenReason(const VerifyReport& report, bool holdingBack) {
    const int64_t required = std::max<int64_t>(report.requiredCopies, 1);
    auto looked = [&](const FileResult& f) { return f.inScope && (!holdingBack || f.safeDrives < required); };
    auto named = [&](int64_t d) {
        return validDestination(report, d) && !(holdingBack && onCardDrive(report, d));
    };
    for (const FileResult& f : report.files)
        if (looked(f) && f.cardDoubt) return doubtReason(*f.cardDoubt, qs(report.source.name), true);
    for (const FileResult& f : report.files) {
        if (!looked(f)) continue;
        for (const CopyRef& c : f.copies)
            if (c.doubt && named(c.destination))
                return doubtReason(*c.doubt, qs(report.destinations[size_t(c.destination)].name), false);
    }
    if (!report.source.readsFromMedium)
        return QStringLiteral("Files on “%1” can't be proven byte by byte on this system")
                   .arg(qs(report.source.name)) +
               keepCard;
    // The files are looked at only when a backup's reads are in doubt.
    if (std::all_of(report.destinations.begin(), report.destinations.end(),
                    [](const VolumeInfo& d) { return d.readsFromMedium; }))
        return std::nullopt;
    std::set<int64_t> holding;
    for (const FileResult& f : report.files)
        if (f.inScope)
            for (const CopyRef& c : f.copies) holding.insert(c.destination);
    for (size_t d = 0; d < report.destinations.size(); ++d)
        if (!report.destinations[d].readsFromMedium && holding.count(int64_t(d)) && named(int64_t(d)))
            return QStringLiteral("Copies on “%1” can't be proven byte by byte on this system")
                       .arg(qs(report.destinations[d].name)) +
                   keepCard;
    return std::nullopt;
}

}  // namespace

// --- verdict ---

FileStatus verdictStatus(const StatusCounts& t) {
    if (t.files == 0) return FileStatus::likely;
    if (t.covered() == t.files) return t.verified == t.files ? FileStatus::verified : FileStatus::backedUp;
    if (t.missing > 0) return FileStatus::missing;
    if (t.conflict > 0) return FileStatus::conflict;
    if (t.problem > 0) return FileStatus::unreadable;
    if (t.likely > 0) return FileStatus::likely;
    return t.backedUp > 0 ? FileStatus::backedUp : FileStatus::verified;
}

std::optional<ColorRole> verdictColor(const StatusCounts& t) {
    if (t.files == 0) return std::nullopt;
    if (t.covered() == t.files) return ColorRole::verified;
    return statusColor(verdictStatus(t));
}

std::optional<ColorRole> verdictColor(const VerifyReport& report) {
    if (report.cardUnreadable > 0) return ColorRole::partial;
    return verdictColor(report.totals);
}

namespace {

QString nounList(const std::vector<MediaKind>& kinds, const QLocale& locale) {
    QStringList nouns;
    for (MediaKind k : kinds) nouns << noun(k);
    return list(nouns, locale);
}

}  // namespace

ReportKinds ReportKinds::of(const VerifyReport& report) {
    return {report.skippedKinds(), report.checkedKinds(), kindCounts(report)};
}

QString checkedNoun(const VerifyReport& report, const QLocale& locale) {
    return nounList(report.checkedKinds(), locale);
}

QString verdictTitle(const VerifyReport& report, const QLocale& locale) {
    return verdictTitle(report, ReportKinds::of(report), locale);
}

QString verdictReason(const VerifyReport& report, bool deepVerifying, const QLocale& locale) {
    return verdictReason(report, ReportKinds::of(report), deepVerifying, locale);
}

QString verdictTitle(const VerifyReport& report, const ReportKinds& kinds, const QLocale& locale,
                     bool cardSeen) {
    const StatusCounts& t = report.totals;
    // A card that was not read whole can hide files: it never reads as covered.
    if (report.cardUnreadable > 0) return QStringLiteral("Part of the card couldn't be read");
    if (t.files == 0) return QStringLiteral("Nothing to check");
    if (report.readyToFormat() && cardSeen) return QStringLiteral("Safe to format");
    const bool allCovered = t.covered() == t.files;
    const bool skipped = !kinds.skipped.empty();
    if (allCovered && !skipped)
        return t.verified == t.files ? QStringLiteral("All verified") : QStringLiteral("All backed up");
    if (allCovered)
        return QStringLiteral("100% of ") + nounList(kinds.checked, locale) +
               (t.verified == t.files ? QStringLiteral(" verified") : QStringLiteral(" backed up"));
    if (const int64_t n = t.conflict + t.missing; n >= 1)
        return count(n, locale) + QStringLiteral(" not backed up");
    const int64_t open = t.files - t.covered();
    return count(open, locale) +
           agree(open, QStringLiteral(" needs attention"), QStringLiteral(" need attention"));
}

QString verdictReason(const VerifyReport& report, const ReportKinds& kinds, bool deepVerifying,
                      const QLocale& locale) {
    const StatusCounts& t = report.totals;
    const int64_t R = report.requiredCopies;
    if (report.cardUnreadable > 0) return unreadableSentence(report.cardUnreadable, locale) + keepCard;
    if (t.files == 0) {
        // The kinds this report was made for, not the chips as they are now.
        QStringList labels;
        for (MediaKind k : allMediaKinds)
            if (report.scope.kinds.count(k)) labels << kindTitle(k).toLower();
        if (labels.isEmpty()) labels << QStringLiteral("files");
        return QStringLiteral("No ") + list(labels, locale) + QStringLiteral(" on this card.");
    }
    if (report.safeToFormat) {
        QString s = QStringLiteral("Every one of the ") + nounList(kinds.checked, locale) +
                    QStringLiteral(" has ") + plain(R) + QStringLiteral(" byte-verified ") +
                    agree(R, QStringLiteral("copy"), QStringLiteral("copies")) +
                    QStringLiteral(" on other drives.");
        // A mount of part of a volume is a folder: the rest of the volume was never looked at.
        if (report.source.showsPart())
            s += QStringLiteral(" ") + quoted(cardName(report.source)) +
                 QStringLiteral(" is part of a volume whose other files weren't checked.");
        return s;
    }
    if (t.covered() != t.files) {
        QString s = headline(report, locale);
        if (t.missingBytes >= 1)
            s += QStringLiteral(" · ") + byteCount(t.missingBytes, locale) + QStringLiteral(" to copy");
        return s;
    }
    if (report.level == CheckLevel::verified) {
        // The fewest safe drives of an in-scope file, and how many have copies on the card's drive
        // alone. Those go with the card whatever is done about their reads, so they are said first.
        std::optional<int64_t> fewest;
        int64_t alone = 0;
        for (const FileResult& f : report.files) {
            if (!f.inScope) continue;
            fewest = std::min(fewest.value_or(f.safeDrives), f.safeDrives);
            if (f.safeDrives == 0 && !f.copies.empty() &&
                std::all_of(f.copies.begin(), f.copies.end(),
                            [&](const CopyRef& c) { return onCardDrive(report, c.destination); }))
                ++alone;
        }
        if (alone == t.files)
            return QStringLiteral(
                       "The backup is on the same drive as the card, so it doesn't count as a separate "
                       "copy") +
                   keepCard;
        if (alone >= 1)
            return counted(alone, QStringLiteral("file is"), QStringLiteral("files are"), locale) +
                   QStringLiteral(" only backed up on the same drive as the card") + keepCard;
        if (const auto unproven = unprovenReason(report, true)) return *unproven;
        const int64_t m = fewest.value_or(0);
        if (m >= 1 && m < R)
            return QStringLiteral("Verified on ") + plain(m) +
                   agree(m, QStringLiteral(" drive"), QStringLiteral(" drives")) +
                   QStringLiteral(". Safe to format needs ") + plain(R) + QStringLiteral(" separate drives") +
                   keepCard;
        // Enough drives per file and still not safe: say what holds, claim nothing more.
        return headline(report, locale) + keepCard;
    }
    if (deepVerifying)
        return (kinds.skipped.empty() ? QStringLiteral("Everything is")
                                      : QStringLiteral("Every one of the ") +
                                            nounList(kinds.checked, locale) + QStringLiteral(" is")) +
               QStringLiteral(" on the backup. Now reading every byte to prove each copy is perfect…");
    return QStringLiteral("Every copy matched by content. Verify every byte before you format the card.");
}

QString dayRange(const std::vector<ShootGroup>& groups, const DateTexts& dates) {
    std::vector<std::string> days;
    for (const ShootGroup& g : groups)
        if (!g.day.empty()) days.push_back(g.day);
    if (days.empty()) return {};
    const auto [lo, hi] = std::minmax_element(days.begin(), days.end());
    if (*lo == *hi) return dates.shortDay(qs(*lo));
    return dates.shortDay(qs(*lo)) + QStringLiteral(" – ") + dates.shortDay(qs(*hi));
}

QStringList cameraNames(const std::vector<ShootGroup>& groups) {
    std::set<std::string> names;
    for (const ShootGroup& g : groups)
        if (!g.camera.empty()) names.insert(g.camera);
    QStringList out;
    for (const std::string& n : names) out << qs(n);
    return out;
}

std::vector<Stat> verdictStats(const StatusCounts& t) {
    std::vector<Stat> out{{t.covered(), QStringLiteral("backed up"), ColorRole::verified}};
    if (t.missing >= 1) out.push_back({t.missing, QStringLiteral("missing"), ColorRole::missing});
    if (t.conflict >= 1)
        out.push_back({t.conflict,
                       agree(t.conflict, QStringLiteral("name clash"), QStringLiteral("name clashes")),
                       ColorRole::conflict});
    if (t.likely + t.problem >= 1)
        out.push_back({t.likely + t.problem, QStringLiteral("unconfirmed"), ColorRole::partial});
    return out;
}

QString statsDetail(const VerifyReport& report, const QLocale& locale) {
    return statsDetail(report, report.level == CheckLevel::verified && readsInDoubt(report), locale);
}

QString statsDetail(const VerifyReport& report, bool inDoubt, const QLocale& locale) {
    // The byte-by-byte level reads every byte, but a card or backup whose reads can't be shown to
    // come from its drive (FUSE, memory) proves nothing byte by byte: its content was compared.
    QString how = QStringLiteral("content sampled");
    if (report.level == CheckLevel::verified)
        how = inDoubt ? QStringLiteral("content compared") : QStringLiteral("every byte compared");
    return byteCount(report.totals.bytes, locale) + QStringLiteral(" · ") + how;
}

bool readsInDoubt(const VerifyReport& report) { return unprovenReason(report, false).has_value(); }

// --- the card in the reader ---

std::optional<CardNowHeader> cardNowHeader(const VerifyReport& report, CardNow card,
                                           const CardChanges& changes, const QLocale& locale) {
    const QString name = quoted(cardName(report.source));
    switch (card) {
        case CardNow::asChecked:
            return std::nullopt;
        case CardNow::changed: {
            // Changed, and back as it was by name, size and times: it is still not the card checked.
            const QString what = changesText(changes, locale);
            return CardNowHeader{QStringLiteral("Changed since this check"),
                                 (what.isEmpty() ? QStringLiteral("Since this check, the card has changed.")
                                                 : QStringLiteral("Since this check, ") + what +
                                                       QStringLiteral(" on the card.")) +
                                     QStringLiteral(" Check it again before you format it."),
                                 ColorRole::partial};
        }
        case CardNow::another:
            return CardNowHeader{
                QStringLiteral("Another card is in the reader"),
                QStringLiteral("The card at its place isn't the ") + name +
                    QStringLiteral(" this result checked. Insert that card to check it again."),
                ColorRole::partial};
        case CardNow::cannotTell:
            return CardNowHeader{
                QStringLiteral("Can't tell which card is in the reader"),
                QStringLiteral("Nothing tells whether the card at its place is the ") + name +
                    QStringLiteral(" this result checked. Insert that card to check it again."),
                ColorRole::partial};
        case CardNow::notInserted:
            return CardNowHeader{QStringLiteral("The card isn't in the reader"),
                                 QStringLiteral("This result is of ") + name +
                                     QStringLiteral(" as it was checked. Insert it to check it again."),
                                 ColorRole::pending};
    }
    return std::nullopt;
}

QString changesText(const CardChanges& c, const QLocale& locale) {
    QStringList parts;
    auto part = [&](int64_t n, const char* what) {
        if (n < 1) return;
        const QString noun = parts.isEmpty() ? agree(n, QStringLiteral(" file "), QStringLiteral(" files "))
                                             : QStringLiteral(" ");
        parts << count(n, locale) + noun + QLatin1String(what);
    };
    part(c.added, "added");
    part(c.changed, "changed");
    part(c.removed, "removed");
    if (c.unreadable) parts << QStringLiteral("part of the card can't be read");
    return list(parts, locale);
}

// --- actions ---

HeroActions heroActions(const VerifyReport& report, int64_t copyable, bool deepVerifying, bool canEject,
                        const std::optional<std::pair<std::string, bool>>& lastCopyFrom) {
    HeroActions a;
    a.copyable = copyable;
    a.verify = report.level == CheckLevel::standard && report.totals.covered() >= 1 && !deepVerifying;
    a.lastCopy = lastCopyFrom && lastCopyFrom->first == cardNameBytes(report.source) && lastCopyFrom->second;
    a.eject = canEject;
    return a;
}

QString copyButtonText(int64_t copyable, bool compact, const QLocale& locale) {
    return QStringLiteral("Copy ") + count(copyable, locale) +
           (compact ? QStringLiteral("…") : QStringLiteral(" to Backup…"));
}

QString ejectHelp(const VerifyReport& report, const QString& shortcut) {
    return QStringLiteral("Eject ") + qs(report.source.name) + QStringLiteral(" (") + shortcut +
           QStringLiteral("). Nothing on the card is changed.");
}

// --- card-only header ---

std::vector<KindCount> kindCounts(const VerifyReport& report) {
    std::array<int64_t, allMediaKinds.size()> n{};
    for (const FileResult& f : report.files)
        if (f.inScope && f.role == FileRole::media && size_t(f.kind) < n.size()) ++n[size_t(f.kind)];
    std::vector<KindCount> out;
    for (MediaKind k : allMediaKinds)
        if (n[size_t(k)] > 0) out.push_back({k, n[size_t(k)]});
    return out;
}

QString kindWord(MediaKind kind, int64_t n) {
    const bool one = n == 1;
    switch (kind) {
        case MediaKind::photo:
            return one ? QStringLiteral("photo") : QStringLiteral("photos");
        case MediaKind::video:
            return one ? QStringLiteral("video") : QStringLiteral("videos");
        case MediaKind::audio:
            return one ? QStringLiteral("audio file") : QStringLiteral("audio files");
        case MediaKind::other:
            return one ? QStringLiteral("other file") : QStringLiteral("other files");
    }
    return {};
}

QString cardOnlyTitle(const VerifyReport& report, const QLocale& locale) {
    if (report.totals.files == 0) return QStringLiteral("Nothing to show");
    const int64_t n = int64_t(report.groups.size());
    return counted(n, QStringLiteral("shoot"), QStringLiteral("shoots"), locale) +
           QStringLiteral(" on this card");
}

QString compareTitle(const QStringList& backups, const QLocale& locale) {
    return QStringLiteral("Check Against ") + list(backups, locale);
}

// --- charts ---

std::vector<Segment> ringSegments(const StatusCounts& c) {
    auto countOf = [&c](FileStatus s) -> int64_t {
        switch (s) {
            case FileStatus::verified:
                return c.verified;
            case FileStatus::backedUp:
                return c.backedUp;
            case FileStatus::likely:
                return c.likely;
            case FileStatus::conflict:
                return c.conflict;
            case FileStatus::missing:
            case FileStatus::notCompared:
                return c.missing;
            default:
                return c.problem;
        }
    };
    const double total = double(std::max<int64_t>(c.files, 1));
    std::vector<FileStatus> present;
    for (FileStatus s : barOrder)
        if (countOf(s) > 0) present.push_back(s);
    const double gap = present.size() > 1 ? 0.006 : 0;
    std::vector<Segment> out;
    double start = 0;
    bool problemDrawn = false;
    for (FileStatus s : present) {
        const bool problem =
            s == FileStatus::cloudOnly || s == FileStatus::changed || s == FileStatus::unreadable;
        if (problem && problemDrawn) continue;
        problemDrawn = problemDrawn || problem;
        const double end = start + double(countOf(s)) / total;
        out.push_back({s, start, std::max(start, end - gap)});
        start = end;
    }
    return out;
}

ColorRole ringColor(const VerifyReport& report, FileStatus arc, CardNow card) {
    if (!isCovered(arc)) return statusColor(arc);
    if (const auto now = cardNowHeader(report, card, {})) return now->tint;
    return report.cardUnreadable > 0 ? ColorRole::partial : statusColor(arc);
}

int coveredPercent(const StatusCounts& c) {
    if (c.files <= 0) return 100;
    return int(c.covered() * 100 / c.files);
}

BarParts barParts(const StatusCounts& c, double width, double height) {
    const double total = double(std::max<int64_t>(c.files, 1));
    const int64_t attention = c.conflict + c.problem;
    BarParts p;
    if (c.covered() >= 1) p.covered = std::max(width * double(c.covered()) / total, height);
    if (attention >= 1) p.attention = std::max(width * double(attention) / total, 3.0);
    p.conflict = c.conflict >= 1;
    return p;
}

QString skippedSentence(const std::vector<SkippedKind>& skipped, const QLocale& locale) {
    QStringList pieces;
    int64_t n = 0;
    for (const SkippedKind& s : skipped) {
        pieces << count(s.files, locale) + QLatin1Char(' ') + kindWord(s.kind, s.files);
        n += s.files;
    }
    return list(pieces, locale) + agree(n, QStringLiteral(" wasn't"), QStringLiteral(" weren't")) +
           QStringLiteral(" checked. Check ") + agree(n, QStringLiteral("it"), QStringLiteral("them")) +
           QStringLiteral(" before you format.");
}

QString skippedButton(const std::vector<SkippedKind>& skipped) {
    if (skipped.size() == 1)
        return QStringLiteral("Check ") + kindTitle(skipped.front().kind) + QStringLiteral(" Too");
    return QStringLiteral("Check Everything");
}

QString deepStripText(const StatusCounts& t, bool running, const QLocale& locale) {
    if (!running) return QStringLiteral("Getting ready to verify every byte…");
    return QStringLiteral("Verifying every byte… ") + count(t.verified, locale) + QStringLiteral(" of ") +
           count(std::max<int64_t>(t.covered(), 1), locale);
}

double deepStripValue(const StatusCounts& t, bool running) {
    if (!running) return 0;
    return std::min(1.0, double(t.verified) / double(std::max<int64_t>(t.covered(), 1)));
}

// --- card contents ---

QString unreadableSentence(int64_t n, const QLocale& locale) {
    return counted(n, QStringLiteral("folder or file on the card couldn't be read"),
                   QStringLiteral("folders or files on the card couldn't be read"), locale);
}

// A line of no files (junk folders that could not be opened) was not checked at all.
QString contentSymbol(const ContentLine& line) {
    if (line.files > 0 && line.checked == line.files) return QStringLiteral("checkmark.circle.fill");
    return line.checked > 0 ? QStringLiteral("circle.lefthalf.filled") : QStringLiteral("minus.circle");
}

QString contentChecked(const ContentLine& line, const QLocale& locale) {
    if (line.files > 0 && line.checked == line.files) return QStringLiteral("Checked");
    if (line.checked >= 1)
        return count(line.checked, locale) + QStringLiteral(" of ") + count(line.files, locale) +
               QStringLiteral(" checked");
    return QStringLiteral("Not checked");
}

QString contentFormats(const ContentLine& line) {
    QStringList out;
    for (size_t i = 0; i < line.formats.size() && i < 4; ++i) out << qs(line.formats[i]);
    return out.join(QStringLiteral(", "));
}

// --- shoots ---

std::vector<DaySection> shootDays(const std::vector<ShootGroup>& groups) {
    std::map<std::string, std::vector<int>, std::greater<>> byDay;
    for (int i = 0; i < int(groups.size()); ++i) byDay[groups[size_t(i)].day].push_back(i);
    std::vector<DaySection> out;
    for (auto& [day, members] : byDay) out.push_back({day, std::move(members)});
    return out;
}

StatusCounts liveCounts(const std::vector<int64_t>& fileIDs, const FileLookup& lookup) {
    StatusCounts c;
    for (int64_t id : fileIDs) {
        if (const FileResult* f = lookup(id))
            c.add(*f);
        else
            ++c.files;
    }
    return c;
}

QString dayHeaderCounts(const StatusCounts& c, bool cardOnly, const QLocale& locale) {
    if (cardOnly) return fileCount(c.files, locale) + QStringLiteral(" · ") + byteCount(c.bytes, locale);
    return count(c.covered(), locale) + QStringLiteral(" of ") + count(c.files, locale) +
           QStringLiteral(" backed up");
}

std::vector<int> filmstripPicks(int n) {
    std::vector<int> out;
    if (n <= 5) {
        for (int i = 0; i < n; ++i) out.push_back(i);
        return out;
    }
    for (int i = 0; i < 5; ++i) out.push_back(int(int64_t(i) * (n - 1) / 4));
    return out;
}

std::vector<const FileResult*> filmstrip(const ShootGroup& group, const FileLookup& lookup) {
    std::vector<const FileResult*> eligible;
    for (int64_t id : group.fileIDs) {
        const FileResult* f = lookup(id);
        if (f && f->role == FileRole::media && (f->kind == MediaKind::photo || f->kind == MediaKind::video))
            eligible.push_back(f);
    }
    std::vector<const FileResult*> out;
    for (int i : filmstripPicks(int(eligible.size()))) out.push_back(eligible[size_t(i)]);
    return out;
}

double tileAngle(int i, int n) { return double(i - n / 2) * 2.5; }

QString folderTitle(const ShootGroup& group, const std::string& sourceName) {
    if (group.folder.empty()) return qs(sourceName);
    std::string name = group.folder;
    std::string piece;
    for (size_t start = 0; start <= group.folder.size();) {
        const size_t slash = std::min(group.folder.find('/', start), group.folder.size());
        if (slash > start) piece = group.folder.substr(start, slash - start);
        start = slash + 1;
    }
    if (!piece.empty()) name = piece;
    const QString shown = qs(name);
    if (shown.toUpper() == QStringLiteral("CLIP")) return QStringLiteral("Video clips");
    static const QRegularExpression cameraFolder(QStringLiteral("^\\d{3}[A-Z_]"));
    if (SonyDateFolder::decode(name) || cameraFolder.match(shown).hasMatch())
        return QStringLiteral("Photos · ") + shown;
    return shown;
}

QString kindsLine(const ShootGroup& group, const QLocale& locale) {
    if (!group.formats.empty()) {
        std::vector<std::pair<std::string, int64_t>> f(group.formats.begin(), group.formats.end());
        std::stable_sort(f.begin(), f.end(),
                         [](const auto& a, const auto& b) { return a.second > b.second; });
        QStringList parts;
        for (const auto& [ext, n] : f) parts << count(n, locale) + QLatin1Char(' ') + qs(ext);
        return parts.join(QStringLiteral(" + "));
    }
    QStringList parts;
    if (auto it = group.kinds.find(MediaKind::photo); it != group.kinds.end())
        parts << counted(it->second, QStringLiteral("photo"), QStringLiteral("photos"), locale);
    if (auto it = group.kinds.find(MediaKind::video); it != group.kinds.end())
        parts << counted(it->second, QStringLiteral("clip"), QStringLiteral("clips"), locale);
    return parts.join(QStringLiteral(" · "));
}

QString sizeText(const ShootGroup& group, const StatusCounts& live, const QLocale& locale) {
    return kindsLine(group, locale) + QStringLiteral(" · ") + byteCount(live.bytes, locale);
}

namespace {

// The files that were not read, named by `notRead`, and apart from them those that were read and
// changed while reading: what was read of them is not on the card.
QStringList problemParts(const StatusCounts& c, const QString& notRead, const QLocale& locale) {
    QStringList parts;
    if (c.unreadFiles() >= 1) parts << count(c.unreadFiles(), locale) + notRead;
    if (c.changedFiles() >= 1)
        parts << count(c.changedFiles(), locale) + QStringLiteral(" changed while reading");
    return parts;
}

int64_t pending(const StatusCounts& c) {
    return c.files - c.covered() - c.likely - c.conflict - c.missing - c.problem;
}
}  // namespace

QString issueList(const StatusCounts& c, const QLocale& locale) {
    QStringList parts;
    if (c.missing + c.likely >= 1) parts << count(c.missing + c.likely, locale) + QStringLiteral(" missing");
    if (c.conflict >= 1)
        parts << counted(c.conflict, QStringLiteral("name clash"), QStringLiteral("name clashes"), locale);
    parts << problemParts(c, QStringLiteral(" unreadable"), locale);
    return parts.join(QStringLiteral(" · "));
}

ShootState shootState(const StatusCounts& c, bool hasLanding) {
    if (pending(c) > 0) return ShootState::checking;
    if (c.covered() == 0 && c.problem > 0 && c.missing + c.likely + c.conflict == 0)
        return ShootState::notRead;
    if (c.covered() == 0) return ShootState::notBackedUp;
    if (c.covered() < c.files) return ShootState::partly;
    return hasLanding ? ShootState::backedUpTo : ShootState::backedUp;
}

QString shootSentence(const StatusCounts& c, bool hasLanding, const QLocale& locale) {
    switch (shootState(c, hasLanding)) {
        case ShootState::checking:
            return QStringLiteral("Checking…");
        case ShootState::notBackedUp:
            // Files that were not read are not known to be missing: they are named apart.
            return (QStringList{QStringLiteral("Not on any backup yet")}
                    << problemParts(c, QStringLiteral(" unreadable"), locale))
                .join(QStringLiteral(" · "));
        case ShootState::notRead:
            return problemParts(c, QStringLiteral(" couldn't be read"), locale).join(QStringLiteral(" · "));
        case ShootState::partly:
            return QStringLiteral("Partly backed up · ") + issueList(c, locale);
        case ShootState::backedUpTo:
            return QStringLiteral("Backed up to");
        case ShootState::backedUp:
            return QStringLiteral("Backed up");
    }
    return {};
}

QString shootSentenceSymbol(ShootState state) {
    switch (state) {
        case ShootState::checking:
            return {};  // a spinner stands there
        case ShootState::notBackedUp:
            return QStringLiteral("externaldrive.badge.xmark");
        case ShootState::partly:
        case ShootState::notRead:
            return QStringLiteral("externaldrive.badge.exclamationmark");
        case ShootState::backedUpTo:
        case ShootState::backedUp:
            return QStringLiteral("externaldrive.fill.badge.checkmark");
    }
    return {};
}

QString shootBadge(const StatusCounts& c) {
    if (pending(c) > 0) return QStringLiteral("hourglass.circle.fill");
    if (c.files > 0 && c.covered() == c.files)
        return c.verified == c.files ? QStringLiteral("checkmark.seal.fill")
                                     : QStringLiteral("checkmark.circle.fill");
    return QString::fromUtf8(statusSymbol(worstStatus(c)));
}

QString copyTitle(const QString& title, const std::string& day, const DateTexts& dates) {
    return QStringLiteral("Copy missing files from ") + title + QStringLiteral(", ") +
           dates.shortDay(qs(day));
}

std::optional<LandingRef> firstLanding(const ShootGroup& group, const VerifyReport& report) {
    for (const LandingRef& l : group.landings)
        if (validDestination(report, l.destination)) return l;
    return std::nullopt;
}

int64_t landingCount(const ShootGroup& group, const VerifyReport& report) {
    return std::count_if(group.landings.begin(), group.landings.end(),
                         [&report](const LandingRef& l) { return validDestination(report, l.destination); });
}

// --- folder map ---

QString folderRowCounts(const FolderSummary& folder, bool cardOnly, const QLocale& locale) {
    if (cardOnly) return fileCount(folder.counts.files, locale);
    return count(folder.counts.covered(), locale) + QLatin1Char('/') + count(folder.counts.files, locale);
}

QString folderDays(const FolderSummary& folder, const DateTexts& dates) {
    if (folder.depth < 1 || !folder.dayRange) return {};
    const DayRange& r = *folder.dayRange;
    if (r.lower == r.upper) return dates.shortDay(qs(r.lower));
    return dates.shortDay(qs(r.lower)) + QStringLiteral(" – ") + dates.shortDay(qs(r.upper));
}

bool inFolder(const FileResult& f, const std::string& folder) {
    if (!f.inScope) return false;
    if (folder.empty()) return true;
    const std::string_view own = f.folderBytes();
    return own == folder ||
           (own.size() > folder.size() && own.starts_with(folder) && own[folder.size()] == '/');
}

std::vector<int> folderFiles(const VerifyReport& report, const std::string& folder) {
    std::vector<int> out;
    for (int i = 0; i < int(report.files.size()); ++i)
        if (inFolder(report.files[size_t(i)], folder)) out.push_back(i);
    return out;
}

std::vector<Place> places(const VerifyReport& report, const std::vector<int>& files) {
    std::map<std::pair<int64_t, std::string>, Place> byKey;
    for (int i : files) {
        const FileResult& f = report.files[size_t(i)];
        if (f.copies.empty()) continue;
        const CopyRef& c = f.copies.front();
        if (!validDestination(report, c.destination)) continue;
        const std::string_view path = c.relativePathBytes();
        const auto slash = path.find_last_of('/');
        std::string dir(slash == std::string::npos ? std::string_view() : path.substr(0, slash));
        Place& p = byKey[{c.destination, dir}];
        p.destination = c.destination;
        p.path = repairUtf8(dir);
        p.pathBytes = std::move(dir);
        ++p.count;
        p.bytes += f.size;
    }
    std::vector<Place> out;
    for (auto& [key, p] : byKey) out.push_back(std::move(p));
    // The map already orders by backup and path: a stable sort keeps that within equal counts.
    std::stable_sort(out.begin(), out.end(),
                     [](const Place& a, const Place& b) { return a.count > b.count; });
    return out;
}

QString folderCopyTitle(const std::string& folder, const std::string& sourceName) {
    return QStringLiteral("Copy missing files from ") + qs(folder.empty() ? sourceName : folder);
}

// --- ready to format ---

QString readySentence(const VerifyReport& report, const QLocale& locale) {
    std::set<int64_t> holding;
    for (const FileResult& f : report.files) {
        if (!f.inScope) continue;
        for (const CopyRef& c : f.copies)
            if (c.evidence == EvidenceLevel::verified && validDestination(report, c.destination))
                holding.insert(c.destination);
    }
    // One name for each drive: backups that share one are one of the separate drives counted.
    QStringList names;
    std::vector<const PhysicalDriveID*> drives;
    for (int64_t d : holding) {
        const VolumeInfo& backup = report.destinations[size_t(d)];
        if (std::any_of(drives.begin(), drives.end(),
                        [&](const PhysicalDriveID* p) { return sharesDrive(*p, backup.drive); }))
            continue;
        drives.push_back(&backup.drive);
        names << qs(backup.name);
    }
    const int64_t n = report.totals.files, R = report.requiredCopies;
    return (n == 1 ? QStringLiteral("The 1 file is")
                   : QStringLiteral("All ") + count(n, locale) + QStringLiteral(" files are")) +
           QStringLiteral(" verified byte for byte on ") + plain(R) +
           agree(R, QStringLiteral(" separate drive ("), QStringLiteral(" separate drives (")) +
           list(names, locale) + QStringLiteral("). Format the card in your camera:");
}

namespace {

const char* const sonyNewer = "MENU → Shooting → Media → Format";
const char* const sonyOlder = "MENU → Setup (toolbox) → Format";
const char* const fujiPath = "MENU → Set Up (wrench) → User Setting → Format";
const char* const canonPath = "MENU → Set-up (wrench) → Format card";
const char* const nikonPath = "MENU → Setup menu → Format memory card";
const char* const lumixPath = "MENU → Setup (wrench) → Card/File → Format Card";
const char* const goproPath = "Swipe down → Preferences → Reset → Format SD Card";
const char* const djiPath = "In the DJI app: Camera settings → Storage → Format SD card";
const char* const instaPath = "On the camera: Settings → Format SD card (or in the Insta360 app)";
const char* const omPath = "MENU → Card Setup → Format";
const char* const blackmagicPath = "Swipe down on the screen → Format card";

const std::map<std::string, const char*>& sonyNames() {
    static const std::map<std::string, const char*> names{
        {"ILCE-7M4", "α7 IV"},  {"ILCE-7M3", "α7 III"},  {"ILCE-7C", "α7C"},       {"ILCE-7CM2", "α7C II"},
        {"ILCE-7CR", "α7CR"},   {"ILCE-6400", "α6400"},  {"ILCE-6600", "α6600"},   {"ILCE-6700", "α6700"},
        {"ILCE-7RM5", "α7R V"}, {"ILCE-7RM4", "α7R IV"}, {"ILCE-7SM3", "α7S III"}, {"ILCE-1", "α1"},
        {"ILCE-9M3", "α9 III"}, {"ILME-FX3", "FX3"},     {"ILME-FX30", "FX30"}};
    return names;
}

bool sonyOlderMenu(const std::string& u) {
    static const std::set<std::string> older{"ILCE-6000", "ILCE-6100", "ILCE-6300", "ILCE-6400", "ILCE-6500",
                                             "ILCE-6600", "ILCE-7M2",  "ILCE-7M3",  "ILCE-7RM2", "ILCE-7RM3",
                                             "ILCE-7RM4", "ILCE-7SM2", "ILCE-9",    "ILCE-7C",   "ZV-1",
                                             "ZV-E10",    "DSC-RX100"};
    return u.rfind("DSC-RX100", 0) == 0 || older.count(u) > 0;
}

}  // namespace

std::vector<FormatStep> formatSteps(const VerifyReport& report) {
    std::vector<FormatStep> steps;
    auto add = [&steps](const QString& camera, const char* path) {
        for (const FormatStep& s : steps)
            if (s.camera == camera) return;
        steps.push_back({camera, QString::fromUtf8(path)});
    };
    std::set<std::string> texts;
    for (const ShootGroup& g : report.groups)
        if (!g.camera.empty()) texts.insert(g.camera);
    for (const std::string& m : texts) {
        std::string u = m;
        // ASCII upper case: the brand rules are ASCII prefixes and substrings.
        for (char& ch : u)
            if (ch >= 'a' && ch <= 'z') ch = char(ch - 'a' + 'A');
        auto starts = [&u](const char* p) { return u.rfind(p, 0) == 0; };
        auto has = [&u](const char* p) { return u.find(p) != std::string::npos; };
        const QString shown = qs(m);
        if (starts("ILCE") || starts("ILME") || starts("ZV-") || starts("DSC-")) {
            const auto it = sonyNames().find(u);
            add(QStringLiteral("Sony ") + (it != sonyNames().end() ? QString::fromUtf8(it->second) : shown),
                sonyOlderMenu(u) ? sonyOlder : sonyNewer);
        } else if (starts("X-") || starts("GFX") || starts("X100"))
            add(QStringLiteral("FUJIFILM ") + shown, fujiPath);
        else if (has("CANON") || starts("EOS"))
            add(shown, canonPath);
        else if (has("NIKON") || starts("Z "))
            add(shown, nikonPath);
        else if (starts("DC-") || starts("DMC-"))
            add(QStringLiteral("LUMIX ") + shown, lumixPath);
        else if (has("HERO") || has("GOPRO"))
            add(shown, goproPath);
        else if (starts("FC") || has("DJI"))
            add(QStringLiteral("DJI ") + shown, djiPath);
        else if (has("OM-") || has("E-M") || has("OLYMPUS"))
            add(shown, omPath);
    }
    if (steps.empty()) {
        std::set<std::string> ids;
        for (const CameraProfile& p : report.cameras) ids.insert(p.id);
        auto present = [&ids](const char* id) { return ids.count(id) > 0; };
        if (present("gopro")) add(QStringLiteral("GoPro"), goproPath);
        if (present("sony.stills") || present("sony.xavc")) {
            add(QStringLiteral("Sony α (newer bodies)"), sonyNewer);
            add(QStringLiteral("Sony α (older bodies)"), sonyOlder);
        }
        if (present("fujifilm")) add(QStringLiteral("FUJIFILM"), fujiPath);
        if (present("canon") || present("canon.cinema")) add(QStringLiteral("Canon"), canonPath);
        if (present("nikon")) add(QStringLiteral("Nikon"), nikonPath);
        if (present("panasonic")) add(QStringLiteral("Panasonic LUMIX"), lumixPath);
        if (present("dji")) add(QStringLiteral("DJI"), djiPath);
        if (present("insta360")) add(QStringLiteral("Insta360"), instaPath);
        if (present("om")) add(QStringLiteral("OM System / Olympus"), omPath);
        if (present("blackmagic")) add(QStringLiteral("Blackmagic"), blackmagicPath);
    }
    if (steps.empty()) add(QStringLiteral("Your camera"), "Use the camera's own Format command");
    return steps;
}

QString eraseMessage(const VerifyReport& report) {
    return QStringLiteral("Cameras prefer to format their own cards. If you erase “") +
           qs(report.source.name) +
           QStringLiteral(
               "” on this computer, choose exFAT (or MS-DOS FAT for cards 32 GB and smaller) and format "
               "it again in the camera before shooting. SD Halvetrop doesn't erase anything itself.");
}

}  // namespace halvetrop::present

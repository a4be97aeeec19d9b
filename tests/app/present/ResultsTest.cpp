#include <gtest/gtest.h>

#include "present/Results.h"

namespace halvetrop::present {
namespace {

const QLocale us("en_US");

FileResult file(int64_t id, FileStatus status, int64_t safeDrives = 0, MediaKind kind = MediaKind::photo) {
    FileResult f;
    f.id = id;
    f.folder = "DCIM/100MSDCF";
    f.relativePath = f.folder + "/F" + std::to_string(id) + ".JPG";
    f.size = 1'000'000;
    f.kind = kind;
    f.inScope = true;
    f.status = status;
    f.safeDrives = safeDrives;
    return f;
}

// A compared report over the given files, totals counted from them.
VerifyReport report(std::vector<FileResult> files, CheckLevel level = CheckLevel::standard,
                    int64_t required = 2) {
    VerifyReport r;
    r.source.name = "CARD";
    r.source.drive.raw = "dev:card";
    r.destinations.resize(2);
    r.destinations[0].name = "Archive";
    r.destinations[0].drive.raw = "dev:archive";
    r.destinations[1].name = "Travel";
    r.destinations[1].drive.raw = "dev:travel";
    r.level = level;
    r.requiredCopies = required;
    r.scope = VerifyScope::withKinds({MediaKind::photo});
    r.files = std::move(files);
    for (const FileResult& f : r.files)
        if (f.inScope) r.totals.add(f);
    return r;
}

// "Travel" made a backup on the card's own drive (a folder of the card, or a disk image on it read
// through a buffered loop: `doubt`), holding a copy of each file at `on`.
VerifyReport travelOnCard(VerifyReport r, const std::vector<size_t>& on, std::optional<MediumDoubt> doubt) {
    r.destinations[1].drive = r.source.drive;
    r.destinations[1].readsFromMedium = !doubt;
    for (size_t i : on)
        r.files[i].copies.push_back(
            {1, "A.JPG", doubt ? EvidenceLevel::sampled : EvidenceLevel::verified, false, "", doubt});
    return r;
}

TEST(Verdict, TitleAndReasonPerRow) {
    using S = FileStatus;
    struct Row {
        const char* name;
        VerifyReport r;
        bool deep;
        const char* title;
        const char* reason;
    };
    VerifyReport safe = report({file(1, S::verified, 2)}, CheckLevel::verified);
    safe.safeToFormat = true;
    VerifyReport unreadable = safe;
    unreadable.safeToFormat = false;
    unreadable.cardUnreadable = 3;
    VerifyReport oneUnreadable = unreadable;
    oneUnreadable.cardUnreadable = 1;
    VerifyReport skipped = safe;
    skipped.files.push_back(file(2, S::missing, 0, MediaKind::video));
    skipped.files.back().inScope = false;
    VerifyReport empty = report({});
    empty.scope = VerifyScope::withKinds({MediaKind::photo, MediaKind::audio});
    VerifyReport fuse = report({file(1, S::verified, 0)}, CheckLevel::verified);
    fuse.destinations[1].readsFromMedium = false;
    VerifyReport fuseCard = fuse;
    fuseCard.source.readsFromMedium = false;
    // The cached backup holds the file's only copy; or it holds copies of files left out only.
    fuse.files[0].copies = {{1, fuse.files[0].relativePath}};
    VerifyReport fuseUnused = report({file(1, S::verified, 1), file(2, S::missing)}, CheckLevel::verified);
    fuseUnused.files[0].copies = {{0, fuseUnused.files[0].relativePath}};
    fuseUnused.files[1].inScope = false;
    fuseUnused.files[1].copies = {{1, fuseUnused.files[1].relativePath}};
    fuseUnused.totals = {};
    fuseUnused.totals.add(fuseUnused.files[0]);
    fuseUnused.destinations[1].readsFromMedium = false;
    VerifyReport part = safe;  // a subvolume mounted alone
    part.source.path = part.source.volumePath = "/mnt/photos";
    part.source.name = "Archive/photos";
    part.source.mountRoot = "/photos";
    // A copy read whole but not from its drive beside one that was: one drive short, and why.
    VerifyReport inline_ = report({file(1, S::verified, 1)}, CheckLevel::verified);
    inline_.files[0].copies = {{0, "A.JPG", EvidenceLevel::verified, false},
                               {1, "A.XMP", EvidenceLevel::sampled, false, "", MediumDoubt::inMetadata}};
    // The card's file of another user, whose drop the system cannot confirm.
    VerifyReport othersCard = report({file(1, S::backedUp, 0)}, CheckLevel::verified);
    othersCard.files[0].copies = {{0, "A.JPG", EvidenceLevel::sampled, false}};
    othersCard.files[0].cardDoubt = MediumDoubt::othersFile;
    // A copy not proven beside two that are holds nothing back: the file short of drives says why.
    VerifyReport enoughBeside =
        report({file(1, S::verified, 2), file(2, S::verified, 1)}, CheckLevel::verified);
    enoughBeside.files[0].copies = {{1, "A.JPG", EvidenceLevel::sampled, false, "", MediumDoubt::cacheHeld}};
    // A backup on the card's drive counts for nothing, however it was read: that comes first, and no
    // doubt of its reads is the reason (its remedy would lead back to the card).
    const auto D = CheckLevel::verified;
    VerifyReport allOnCard =
        travelOnCard(report({file(1, S::verified, 0), file(2, S::verified, 0)}, D), {0, 1}, {});
    VerifyReport oneOnCard =
        travelOnCard(report({file(1, S::verified, 0), file(2, S::verified, 2)}, D), {0}, {});
    VerifyReport imageOnCard =
        travelOnCard(report({file(1, S::backedUp, 0)}, D), {0}, MediumDoubt::diskImage);
    VerifyReport fuseCardOnItself =
        travelOnCard(report({file(1, S::backedUp, 0)}, D), {0}, MediumDoubt::fuse);
    fuseCardOnItself.source.readsFromMedium = false;
    fuseCardOnItself.files[0].cardDoubt = MediumDoubt::fuse;
    VerifyReport imageBeside = report({file(1, S::verified, 1)}, D);
    imageBeside.files[0].copies = {{0, "A.JPG", EvidenceLevel::verified, false}};
    imageBeside = travelOnCard(imageBeside, {0}, MediumDoubt::diskImage);
    VerifyReport imageBesideUnrecorded = imageBeside;  // kept before reads' doubts were
    imageBesideUnrecorded.files[0].copies[1].doubt.reset();
    const char* const onCardOnly =
        "The backup is on the same drive as the card, so it doesn't count as a separate copy — keep the card "
        "for now.";
    VerifyReport many = report({});
    for (int i = 0; i < 1234; ++i) many.files.push_back(file(i, S::missing));
    many.totals = {};
    for (const auto& f : many.files) many.totals.add(f);
    const Row rows[] = {
        {"card not read whole", unreadable, false, "Part of the card couldn't be read",
         "3 folders or files on the card couldn't be read — keep the card for now."},
        {"one entry unreadable", oneUnreadable, false, "Part of the card couldn't be read",
         "1 folder or file on the card couldn't be read — keep the card for now."},
        {"empty names the report's kinds", empty, false, "Nothing to check",
         "No photos and audio on this card."},
        {"safe", safe, false, "Safe to format",
         "Every one of the photos has 2 byte-verified copies on other drives."},
        {"safe, a mount of part of a volume", part, false, "All verified",
         "Every one of the photos has 2 byte-verified copies on other drives. “Archive/photos” is part of a "
         "volume whose other files weren't checked."},
        {"safe with a skipped kind", skipped, false, "100% of photos verified",
         "Every one of the photos has 2 byte-verified copies on other drives."},
        {"standard, all covered", report({file(1, S::verified), file(2, S::backedUp)}), false,
         "All backed up", "Every copy matched by content. Verify every byte before you format the card."},
        {"pass running", report({file(1, S::verified)}), true, "All verified",
         "Everything is on the backup. Now reading every byte to prove each copy is perfect…"},
        {"missing", many, false, "1,234 not backed up", "1,234 missing · 1.23 GB to copy"},
        {"unconfirmed", report({file(1, S::likely), file(2, S::unreadable), file(3, S::verified)}), false,
         "2 need attention", "1 not confirmed · 1 couldn't be checked"},
        {"changed while reading", report({file(1, S::changed), file(2, S::unreadable), file(3, S::verified)}),
         false, "2 need attention", "1 couldn't be checked · 1 changed while reading"},
        {"one drive of two", report({file(1, S::verified, 1), file(2, S::verified, 3)}, CheckLevel::verified),
         false, "All verified",
         "Verified on 1 drive. Safe to format needs 2 separate drives — keep the card for now."},
        {"enough drives says no drive count", report({file(1, S::verified, 2)}, CheckLevel::verified), false,
         "All verified", "Every file is verified on the backup — keep the card for now."},
        {"all on the card's drive", allOnCard, false, "All verified", onCardOnly},
        {"one on the card's drive", oneOnCard, false, "All verified",
         "1 file is only backed up on the same drive as the card — keep the card for now."},
        {"an image on the card read through memory", imageOnCard, false, "All backed up", onCardOnly},
        {"a card through FUSE backed up onto itself", fuseCardOnItself, false, "All backed up", onCardOnly},
        {"an image on the card beside one drive", imageBeside, false, "All verified",
         "Verified on 1 drive. Safe to format needs 2 separate drives — keep the card for now."},
        {"an image on the card beside one drive, doubts not recorded", imageBesideUnrecorded, false,
         "All verified",
         "Verified on 1 drive. Safe to format needs 2 separate drives — keep the card for now."},
        {"a backup through a cache", fuse, false, "All verified",
         "Copies on “Travel” can't be proven byte by byte on this system — keep the card for now."},
        {"a card through a cache", fuseCard, false, "All verified",
         "Files on “CARD” can't be proven byte by byte on this system — keep the card for now."},
        {"a backup through a cache holding no counted copy", fuseUnused, false, "All verified",
         "Verified on 1 drive. Safe to format needs 2 separate drives — keep the card for now."},
        {"copies kept in a backup's metadata", inline_, false, "All verified",
         "Copies on “Travel” sit in the file system's metadata, which no drive read reaches — "
         "add a backup on another drive, or keep the card."},
        {"the card's files of another user", othersCard, false, "All backed up",
         "Files on “CARD” belong to another user, whose cache can't be checked — check as their owner, or "
         "keep the "
         "card."},
        {"a copy not proven beside enough that are", enoughBeside, false, "All verified",
         "Verified on 1 drive. Safe to format needs 2 separate drives — keep the card for now."},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(verdictTitle(row.r, us).toStdString(), row.title) << row.name;
        EXPECT_EQ(verdictReason(row.r, row.deep, us).toStdString(), row.reason) << row.name;
    }
}

// "every byte compared" only where every byte came from the drives; beside "can't be proven byte by
// byte" the figure says what was done.
TEST(Verdict, StatsDetailClaimsEveryByteOnlyWhereProven) {
    using S = FileStatus;
    VerifyReport verified = report({file(1, S::verified, 2), file(2, S::missing)}, CheckLevel::verified);
    VerifyReport fuseCard = verified;
    fuseCard.source.readsFromMedium = false;
    VerifyReport fuseBackup = verified;
    fuseBackup.destinations[1].readsFromMedium = false;
    fuseBackup.files[0].copies = {{1, fuseBackup.files[0].relativePath}};
    VerifyReport fuseBackupUnused = fuseBackup;
    fuseBackupUnused.files[0].copies = {{0, fuseBackup.files[0].relativePath}};
    VerifyReport doubted = verified;
    doubted.files[0].copies = {{0, "A.JPG", EvidenceLevel::sampled, false, "", MediumDoubt::cacheHeld}};
    VerifyReport standardFuse = fuseCard;
    standardFuse.level = CheckLevel::standard;
    const struct {
        const char* name;
        const VerifyReport& r;
        const char* detail;
    } rows[] = {
        {"standard", report({file(1, S::verified)}), "1 MB · content sampled"},
        {"standard, card through FUSE", standardFuse, "2 MB · content sampled"},
        {"byte by byte", verified, "2 MB · every byte compared"},
        {"byte by byte, card through FUSE", fuseCard, "2 MB · content compared"},
        {"byte by byte, a copy through a cache", fuseBackup, "2 MB · content compared"},
        {"byte by byte, a cached backup holding no copy", fuseBackupUnused, "2 MB · every byte compared"},
        {"byte by byte, a copy not read from its drive", doubted, "2 MB · content compared"},
        // Not the reason the card is held back, yet its bytes were not read from the drive.
        {"byte by byte, a copy on the card's drive not read from it",
         travelOnCard(verified, {0}, MediumDoubt::diskImage), "2 MB · content compared"},
    };
    for (const auto& row : rows) EXPECT_EQ(statsDetail(row.r, us).toStdString(), row.detail) << row.name;
}

TEST(Verdict, StatusColourAndStats) {
    StatusCounts t{.files = 10, .verified = 6, .likely = 3, .problem = 1};
    EXPECT_EQ(verdictStatus(t), FileStatus::unreadable);
    EXPECT_EQ(verdictColor(t), ColorRole::missing);
    t.problem = 0;
    t.likely = 4;
    EXPECT_EQ(verdictColor(t), ColorRole::partial);
    EXPECT_EQ(verdictColor(StatusCounts{.files = 2, .backedUp = 2}), ColorRole::verified);
    EXPECT_EQ(verdictColor(StatusCounts{}), std::nullopt);
    const auto stats = verdictStats(
        StatusCounts{.files = 9, .verified = 5, .likely = 1, .conflict = 1, .missing = 1, .problem = 1});
    ASSERT_EQ(stats.size(), 4u);
    EXPECT_EQ(stats[3].value, 2);
    EXPECT_EQ(stats[2].label.toStdString(), "name clash");
}

// Every phrase where a count meets a noun or a verb, for none, one and two: the word agrees with
// its number, and lists join with "and" also in the C locale (which has no words of its own).
TEST(Words, CountsAgreeWithTheirNouns) {
    using S = FileStatus;
    struct Row {
        int64_t n;
        const char *attention, *clash, *shoots, *unreadable, *skipped;
    };
    const Row rows[] = {
        // No file needs attention (the title says so otherwise) and a scan with no shoot has files.
        {0, "All backed up", "name clashes", "0 shoots on this card",
         "0 folders or files on the card couldn't be read",
         "0 photos weren't checked. Check them before you format."},
        {1, "1 needs attention", "name clash", "1 shoot on this card",
         "1 folder or file on the card couldn't be read",
         "1 photo wasn't checked. Check it before you format."},
        {2, "2 need attention", "name clashes", "2 shoots on this card",
         "2 folders or files on the card couldn't be read",
         "2 photos weren't checked. Check them before you format."},
    };
    for (const Row& row : rows) {
        std::vector<FileResult> files;
        for (int64_t i = 0; i < row.n; ++i) files.push_back(file(i + 1, S::likely));
        files.push_back(file(100, S::backedUp));
        VerifyReport r = report(files);
        EXPECT_EQ(verdictTitle(r, us).toStdString(), row.attention) << row.n;
        const StatusCounts t{.files = row.n + 1, .verified = 1, .conflict = row.n};
        const auto stats = verdictStats(t);
        if (row.n >= 1) {
            EXPECT_EQ(stats.back().label.toStdString(), row.clash) << row.n;
        }
        VerifyReport scan = r;
        scan.destinations.clear();
        scan.groups.resize(size_t(row.n));
        EXPECT_EQ(cardOnlyTitle(scan, us).toStdString(), row.shoots) << row.n;
        EXPECT_EQ(unreadableSentence(row.n, us).toStdString(), row.unreadable) << row.n;
        EXPECT_EQ(skippedSentence({{MediaKind::photo, row.n}}, us).toStdString(), row.skipped) << row.n;
    }
    // The ready sentence: the files and the drives each agree with their count.
    const std::tuple<int, int64_t, const char*> ready[] = {
        {1, 1,
         "The 1 file is verified byte for byte on 1 separate drive (Archive). Format the card in your "
         "camera:"},
        {2, 2,
         "All 2 files are verified byte for byte on 2 separate drives (Archive). Format the card in your "
         "camera:"},
    };
    for (const auto& [n, required, sentence] : ready) {
        std::vector<FileResult> files;
        for (int i = 0; i < n; ++i) {
            files.push_back(file(i, S::verified, 2));
            files.back().copies.push_back({0, "x", EvidenceLevel::verified});
        }
        EXPECT_EQ(readySentence(report(files, CheckLevel::verified, required), us).toStdString(), sentence);
    }
    // A list of kinds in a sentence joins with "and" in every locale the words are read in.
    VerifyReport safe =
        report({file(1, S::verified, 2), file(2, S::verified, 2, MediaKind::video)}, CheckLevel::verified);
    safe.scope = VerifyScope::withKinds({MediaKind::photo, MediaKind::video});
    safe.safeToFormat = true;
    for (const char* locale : {"en_US", "C", "de_DE"})
        EXPECT_EQ(verdictReason(safe, false, QLocale(QString::fromLatin1(locale))).toStdString(),
                  "Every one of the photos and videos has 2 byte-verified copies on other drives.")
            << locale;
}

// A card not read whole never shows the colour of safety, in the card's tint or in the ring's
// covered arcs; the arcs of files not covered keep their own colours.
TEST(Coverage, CardNotReadWholeTakesTheWarningColour) {
    using S = FileStatus;
    VerifyReport whole = report({file(1, S::verified), file(2, S::backedUp), file(3, S::missing)});
    VerifyReport notWhole = whole;
    notWhole.cardUnreadable = 1;
    const struct {
        const VerifyReport& r;
        FileStatus arc;
        ColorRole color;
    } rows[] = {
        {whole, S::verified, ColorRole::verified},   {whole, S::backedUp, ColorRole::backedUp},
        {notWhole, S::verified, ColorRole::partial}, {notWhole, S::backedUp, ColorRole::partial},
        {notWhole, S::missing, ColorRole::missing},  {notWhole, S::conflict, ColorRole::conflict},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ringColor(row.r, row.arc), row.color) << row.r.cardUnreadable << rawValue(row.arc);
    VerifyReport allCovered = report({file(1, S::verified)});
    EXPECT_EQ(verdictColor(allCovered), ColorRole::verified);
    allCovered.cardUnreadable = 2;
    EXPECT_EQ(verdictColor(allCovered), ColorRole::partial);
}

// Where the card in the reader is not the checked card as it was, the header says what is there
// whatever the verdict, and the ring's covered arcs take the header's colour, never the covered
// one; other arcs keep theirs. The card as checked leaves the verdict alone.
TEST(CardNow, HeaderAndRingPerVerdict) {
    using S = FileStatus;
    VerifyReport safe = report({file(1, S::verified, 2)}, CheckLevel::verified);
    safe.safeToFormat = true;
    VerifyReport notWhole = safe;
    notWhole.cardUnreadable = 1;
    notWhole.safeToFormat = false;
    const VerifyReport verdicts[] = {safe, notWhole, report({file(1, S::backedUp, 2), file(2, S::missing)}),
                                     report({})};
    const struct {
        CardNow card;
        const char* title;
        const char* reason;
        ColorRole tint;
    } rows[] = {
        {CardNow::changed, "Changed since this check",
         "Since this check, 2 files added and 1 removed on the card. Check it again before you format it.",
         ColorRole::partial},
        {CardNow::another, "Another card is in the reader",
         "The card at its place isn't the “CARD” this result checked. Insert that card to check it again.",
         ColorRole::partial},
        {CardNow::cannotTell, "Can't tell which card is in the reader",
         "Nothing tells whether the card at its place is the “CARD” this result checked. Insert that card to "
         "check it again.",
         ColorRole::partial},
        {CardNow::notInserted, "The card isn't in the reader",
         "This result is of “CARD” as it was checked. Insert it to check it again.", ColorRole::pending},
    };
    const CardChanges changes{2, 0, 1, false};
    for (const VerifyReport& r : verdicts) {
        EXPECT_FALSE(cardNowHeader(r, CardNow::asChecked, changes, us).has_value());
        for (FileStatus arc : {S::verified, S::backedUp})
            EXPECT_EQ(ringColor(r, arc, CardNow::asChecked), ringColor(r, arc)) << r.totals.files;
        for (const auto& row : rows) {
            const auto header = cardNowHeader(r, row.card, changes, us);
            ASSERT_TRUE(header.has_value());
            EXPECT_EQ(header->title.toStdString(), row.title);
            EXPECT_EQ(header->reason.toStdString(), row.reason);
            EXPECT_EQ(header->tint, row.tint);
            for (FileStatus arc : {S::verified, S::backedUp})
                EXPECT_EQ(ringColor(r, arc, row.card), row.tint);
            EXPECT_EQ(ringColor(r, S::missing, row.card), ColorRole::missing);
            EXPECT_EQ(ringColor(r, S::conflict, row.card), ColorRole::conflict);
        }
        // Changed, then back to what it held by name, size and times: still not the card checked.
        EXPECT_EQ(cardNowHeader(r, CardNow::changed, CardChanges{}, us)->reason.toStdString(),
                  "Since this check, the card has changed. Check it again before you format it.");
    }
}

TEST(CardNow, WhatChangedSinceInWords) {
    const std::pair<CardChanges, const char*> rows[] = {
        {{1, 0, 0, false}, "1 file added"},
        {{0, 2, 0, false}, "2 files changed"},
        {{1234, 0, 1, false}, "1,234 files added and 1 removed"},
        {{1, 1, 1, true}, "1 file added, 1 changed, 1 removed, and part of the card can't be read"},
        {{0, 0, 0, true}, "part of the card can't be read"},
    };
    for (const auto& [changes, words] : rows) EXPECT_EQ(changesText(changes, us).toStdString(), words);
}

TEST(Coverage, SegmentsAndPercent) {
    struct Row {
        StatusCounts c;
        std::vector<Segment> segments;
        int percent;
    };
    const Row rows[] = {
        {{}, {}, 100},
        {{.files = 4, .verified = 4}, {{FileStatus::verified, 0, 1}}, 100},
        {{.files = 3, .verified = 2, .missing = 1},
         {{FileStatus::verified, 0, 2.0 / 3 - 0.006}, {FileStatus::missing, 2.0 / 3, 1 - 0.006}},
         66},
        {{.files = 3, .problem = 3}, {{FileStatus::cloudOnly, 0, 0.994}}, 0},
        {{.files = 100, .verified = 29, .missing = 71},
         {{FileStatus::verified, 0, 0.284}, {FileStatus::missing, 0.29, 0.994}},
         29},
        {{.files = 1000, .verified = 999, .likely = 1},
         {{FileStatus::verified, 0, 0.993}, {FileStatus::likely, 0.999, 0.999}},
         99},
    };
    for (const Row& row : rows) {
        const auto got = ringSegments(row.c);
        ASSERT_EQ(got.size(), row.segments.size()) << row.c.files;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].id, row.segments[i].id);
            EXPECT_NEAR(got[i].from, row.segments[i].from, 1e-9);
            EXPECT_NEAR(got[i].to, row.segments[i].to, 1e-9);
        }
        EXPECT_EQ(coveredPercent(row.c), row.percent) << row.c.files;
    }
    const BarParts thin = barParts({.files = 1000, .verified = 1, .problem = 1}, 320, 7);
    EXPECT_EQ(thin.covered, 7);
    EXPECT_EQ(thin.attention, 3);
    EXPECT_FALSE(thin.conflict);
    EXPECT_EQ(barParts({}, 320, 7).covered, 0);
}

TEST(Coverage, SkippedNoteAndStrip) {
    using K = MediaKind;
    EXPECT_EQ(skippedSentence({{K::video, 1}}, us).toStdString(),
              "1 video wasn't checked. Check it before you format.");
    EXPECT_EQ(skippedButton({{K::video, 1}}).toStdString(), "Check Videos Too");
    EXPECT_EQ(skippedSentence({{K::photo, 2}, {K::audio, 1}}, us).toStdString(),
              "2 photos and 1 audio file weren't checked. Check them before you format.");
    EXPECT_EQ(skippedButton({{K::photo, 2}, {K::audio, 1}}).toStdString(), "Check Everything");
    EXPECT_EQ(deepStripText({}, true, us).toStdString(), "Verifying every byte… 0 of 1");
    EXPECT_EQ(deepStripText({.files = 9, .verified = 3}, false, us).toStdString(),
              "Getting ready to verify every byte…");
    EXPECT_EQ(deepStripValue({.files = 4, .verified = 1, .backedUp = 3}, true), 0.25);
}

TEST(Shoots, DaysTitlesLinesAndSentences) {
    std::vector<ShootGroup> groups(4);
    groups[0].day = "2024-03-05";
    groups[1].day = "2024-03-06";
    groups[2].day = "2024-03-05";
    const auto days = shootDays(groups);
    ASSERT_EQ(days.size(), 3u);
    EXPECT_EQ(days[0].day, "2024-03-06");
    EXPECT_EQ(days[1].groups, (std::vector<int>{0, 2}));
    EXPECT_EQ(days[2].day, "");
    const DateTexts dates(us);
    EXPECT_EQ(dayRange(groups, dates).toStdString(), "Mar 5, 2024 – Mar 6, 2024");

    struct Title {
        const char* folder;
        const char* title;
    };
    for (const Title& t : std::initializer_list<Title>{{"", "CARD"},
                                                       {"DCIM/100MSDCF", "Photos · 100MSDCF"},
                                                       {"PRIVATE/M4ROOT/CLIP", "Video clips"},
                                                       {"x/clip", "Video clips"},
                                                       {"DCIM/10040316", "Photos · 10040316"},
                                                       {"DCIM/100_FUJI/", "Photos · 100_FUJI"},
                                                       {"DCIM/100msdcf", "100msdcf"},
                                                       {"DCIM", "DCIM"}}) {
        ShootGroup g;
        g.folder = t.folder;
        EXPECT_EQ(folderTitle(g, "CARD").toStdString(), t.title) << t.folder;
    }
    ShootGroup g;
    g.formats = {{"JPG", 300}, {"ARW", 300}, {"MP4", 12}};
    EXPECT_EQ(kindsLine(g, us).toStdString(), "300 ARW + 300 JPG + 12 MP4");
    g.formats.clear();
    g.kinds = {{MediaKind::photo, 1}, {MediaKind::video, 2}, {MediaKind::audio, 4}};
    EXPECT_EQ(kindsLine(g, us).toStdString(), "1 photo · 2 clips");
    EXPECT_EQ(copyTitle("Photos · 100MSDCF", "2024-04-15", dates).toStdString(),
              "Copy missing files from Photos · 100MSDCF, Apr 15, 2024");

    struct Sentence {
        StatusCounts c;
        bool landing;
        const char* text;
        const char* badge;
        const char* symbol;  // in front of the sentence
    };
    const Sentence sentences[] = {
        {{.files = 3, .verified = 2}, true, "Checking…", "hourglass.circle.fill", ""},
        {{.files = 2, .likely = 2},
         false,
         "Not on any backup yet",
         "questionmark.circle",
         "externaldrive.badge.xmark"},
        {{.files = 10, .verified = 6, .likely = 1, .conflict = 1, .missing = 2},
         true,
         "Partly backed up · 3 missing · 1 name clash",
         "xmark.circle.fill",
         "externaldrive.badge.exclamationmark"},
        {{.files = 3, .verified = 1, .conflict = 2},
         false,
         "Partly backed up · 2 name clashes",
         "exclamationmark.triangle.fill",
         "externaldrive.badge.exclamationmark"},
        {{.files = 2, .verified = 2},
         true,
         "Backed up to",
         "checkmark.seal.fill",
         "externaldrive.fill.badge.checkmark"},
        {{.files = 2, .verified = 1, .backedUp = 1},
         false,
         "Backed up",
         "checkmark.circle.fill",
         "externaldrive.fill.badge.checkmark"},
        // Files never read are not said to be missing.
        {{.files = 1, .problem = 1},
         false,
         "1 couldn't be read",
         "xmark.octagon.fill",
         "externaldrive.badge.exclamationmark"},
        {{.files = 3, .missing = 2, .problem = 1},
         false,
         "Not on any backup yet · 1 unreadable",
         "xmark.circle.fill",
         "externaldrive.badge.xmark"},
        // A file changed while reading was read: it is named so, apart from files not read.
        {{.files = 1, .problem = 1, .changed = 1},
         false,
         "1 changed while reading",
         "xmark.octagon.fill",
         "externaldrive.badge.exclamationmark"},
        {{.files = 3, .problem = 3, .changed = 1},
         false,
         "2 couldn't be read · 1 changed while reading",
         "xmark.octagon.fill",
         "externaldrive.badge.exclamationmark"},
        {{.files = 4, .missing = 2, .problem = 2, .changed = 2},
         false,
         "Not on any backup yet · 2 changed while reading",
         "xmark.circle.fill",
         "externaldrive.badge.xmark"},
        {{.files = 5, .verified = 3, .problem = 2, .changed = 1},
         true,
         "Partly backed up · 1 unreadable · 1 changed while reading",
         "xmark.octagon.fill",
         "externaldrive.badge.exclamationmark"},
    };
    for (const Sentence& s : sentences) {
        EXPECT_EQ(shootSentence(s.c, s.landing, us).toStdString(), s.text);
        EXPECT_EQ(shootBadge(s.c).toStdString(), s.badge) << s.text;
        EXPECT_EQ(shootSentenceSymbol(shootState(s.c, s.landing)).toStdString(), s.symbol) << s.text;
    }
}

TEST(Shoots, FilmstripPicksSpreadWithFirstAndLast) {
    struct Row {
        int n;
        std::vector<int> picks;
    };
    for (const Row& r : std::initializer_list<Row>{{0, {}},
                                                   {5, {0, 1, 2, 3, 4}},
                                                   {6, {0, 1, 2, 3, 5}},
                                                   {7, {0, 1, 3, 4, 6}},
                                                   {10, {0, 2, 4, 6, 9}},
                                                   {100000, {0, 24999, 49999, 74999, 99999}}})
        EXPECT_EQ(filmstripPicks(r.n), r.picks) << r.n;
    // Only media photos and videos take part; unknown ids and landings on no backup are skipped.
    VerifyReport r =
        report({file(1, FileStatus::verified), file(2, FileStatus::verified, 0, MediaKind::audio),
                file(3, FileStatus::verified), file(4, FileStatus::verified, 0, MediaKind::video)});
    r.files[2].role = FileRole::sidecar;
    ShootGroup g;
    g.fileIDs = {9, 1, 2, 3, 4};
    g.landings = {{7, "x", 2}, {1, "Photos", 3}};
    const FileLookup lookup = [&r](int64_t id) -> const FileResult* {
        for (const FileResult& f : r.files)
            if (f.id == id) return &f;
        return nullptr;
    };
    const auto strip = filmstrip(g, lookup);
    ASSERT_EQ(strip.size(), 2u);
    EXPECT_EQ(strip[1]->id, 4);
    EXPECT_EQ(liveCounts(g.fileIDs, lookup).files, 5);
    EXPECT_EQ(liveCounts(g.fileIDs, lookup).verified, 4);
    EXPECT_EQ(firstLanding(g, r)->folder, "Photos");
    EXPECT_EQ(landingCount(g, r), 1);
    EXPECT_EQ(tileAngle(0, 4), -5);
    EXPECT_EQ(tileAngle(3, 4), 2.5);
}

TEST(FolderMap, FilesPlacesAndRows) {
    std::vector<FileResult> files;
    auto at = [&files](const char* folder, int64_t dest, const char* copy, bool inScope = true) {
        FileResult f = file(int64_t(files.size()), dest < 0 ? FileStatus::missing : FileStatus::verified);
        f.folder = folder;
        f.inScope = inScope;
        if (dest >= 0) f.copies.push_back({dest, copy});
        files.push_back(f);
    };
    at("DCIM/100", 1, "Photos/2024/a.jpg");
    at("DCIM/100", 0, "Photos/2024/b.jpg");
    at("DCIM/100/SUB", 0, "Photos/2024/c.jpg");
    at("DCIM/1000", 0, "Elsewhere/d.jpg");
    at("DCIM/100", 0, "e.jpg");
    at("DCIM/100", 5, "Gone/f.jpg");
    at("DCIM/100", -1, "");
    at("", 0, "Photos/2024/out.jpg", false);
    const VerifyReport r = report(files);
    const auto mine = folderFiles(r, "DCIM/100");
    EXPECT_EQ(mine, (std::vector<int>{0, 1, 2, 4, 5, 6}));
    EXPECT_EQ(folderFiles(r, "").size(), 7u);
    const auto got = places(r, mine);
    const std::vector<Place> want{{0, "Photos/2024", 2, 2'000'000, "Photos/2024"},
                                  {0, "", 1, 1'000'000, ""},
                                  {1, "Photos/2024", 1, 1'000'000, "Photos/2024"}};
    EXPECT_EQ(got, want);

    FolderSummary f;
    f.depth = 2;
    f.counts = {.files = 1204, .verified = 1198};
    EXPECT_EQ(folderRowCounts(f, false, us).toStdString(), "1,198/1,204");
    EXPECT_EQ(folderRowCounts(f, true, us).toStdString(), "1,204 files");
    f.counts = {.files = 1, .verified = 1};
    EXPECT_EQ(folderRowCounts(f, true, us).toStdString(), "1 file");
    EXPECT_EQ(folderRowCounts(f, false, us).toStdString(), "1/1");
    const DateTexts dates(us);
    f.dayRange = DayRange{"2024-03-05", "2024-03-05"};
    EXPECT_EQ(folderDays(f, dates).toStdString(), "Mar 5, 2024");
    f.depth = 0;
    EXPECT_EQ(folderDays(f, dates).toStdString(), "");
    EXPECT_EQ(folderCopyTitle("", "CARD").toStdString(), "Copy missing files from CARD");
}

// Each drive holding verified copies is named once: a second backup on one of them is no drive of
// its own.
TEST(ReadyToFormat, SentenceNamesEachDriveWithVerifiedCopiesOnce) {
    std::vector<FileResult> files;
    for (int i = 0; i < 1234; ++i) {
        files.push_back(file(i, FileStatus::verified, 1));
        files.back().copies.push_back({0, "x", EvidenceLevel::verified});
    }
    VerifyReport r = report(files, CheckLevel::verified, 1);
    r.destinations.resize(4);
    const std::pair<const char*, const char*> backups[] = {
        {"Archive", "dev:a"}, {"Travel", "dev:b"}, {"Spare", "dev:c + dev:d"}, {"BTS", "dev:a"}};
    for (size_t i = 0; i < 4; ++i) {
        r.destinations[i].name = backups[i].first;
        r.destinations[i].drive.raw = backups[i].second;
    }
    r.files[3].copies.push_back({2, "x", EvidenceLevel::verified});
    r.files[4].copies.push_back({3, "x", EvidenceLevel::verified});
    EXPECT_EQ(readySentence(r, us).toStdString(),
              "All 1,234 files are verified byte for byte on 1 separate drive (Archive and Spare). Format "
              "the card in your camera:");
}

TEST(ReadyToFormat, GuidePerCameraFamily) {
    struct Row {
        std::vector<std::string> cameras;
        std::vector<std::string> profiles;
        std::vector<std::pair<const char*, const char*>> steps;
    };
    const Row rows[] = {
        {{"ILCE-7M4", "ilce-7m4"}, {}, {{"Sony α7 IV", "MENU → Shooting → Media → Format"}}},
        {{"ILCE-7M3", "ILCE-7RM5", "ILCE-7M2", "DSC-RX100M7", "ILME-FX3", "ilce-7m2"},
         {},
         {{"Sony DSC-RX100M7", "MENU → Setup (toolbox) → Format"},
          {"Sony ILCE-7M2", "MENU → Setup (toolbox) → Format"},
          {"Sony α7 III", "MENU → Setup (toolbox) → Format"},
          {"Sony α7R V", "MENU → Shooting → Media → Format"},
          {"Sony FX3", "MENU → Shooting → Media → Format"},
          {"Sony ilce-7m2", "MENU → Setup (toolbox) → Format"}}},
        {{"X-T5", "DC-GH6", "FC3582", "Canon EOS R5", "HERO12 Black", "NIKON Z 9", "E-M1MarkIII"},
         {},
         {{"Canon EOS R5", "MENU → Set-up (wrench) → Format card"},
          {"LUMIX DC-GH6", "MENU → Setup (wrench) → Card/File → Format Card"},
          {"E-M1MarkIII", "MENU → Card Setup → Format"},
          {"DJI FC3582", "In the DJI app: Camera settings → Storage → Format SD card"},
          {"HERO12 Black", "Swipe down → Preferences → Reset → Format SD Card"},
          {"NIKON Z 9", "MENU → Setup menu → Format memory card"},
          {"FUJIFILM X-T5", "MENU → Set Up (wrench) → User Setting → Format"}}},
        {{"ILCE-1"}, {"insta360"}, {{"Sony α1", "MENU → Shooting → Media → Format"}}},
        {{"Mystery"},
         {"sony.xavc", "gopro"},
         {{"GoPro", "Swipe down → Preferences → Reset → Format SD Card"},
          {"Sony α (newer bodies)", "MENU → Shooting → Media → Format"},
          {"Sony α (older bodies)", "MENU → Setup (toolbox) → Format"}}},
        {{}, {"unknown"}, {{"Your camera", "Use the camera's own Format command"}}},
    };
    for (const Row& row : rows) {
        VerifyReport r;
        for (const auto& c : row.cameras) {
            r.groups.emplace_back();
            r.groups.back().camera = c;
        }
        for (const auto& p : row.profiles) r.cameras.push_back({p, p});
        const auto steps = formatSteps(r);
        ASSERT_EQ(steps.size(), row.steps.size()) << row.cameras.size();
        for (size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(steps[i].camera.toStdString(), row.steps[i].first);
            EXPECT_EQ(steps[i].path.toStdString(), row.steps[i].second);
        }
    }
}

TEST(CardOnly, TitleKindsAndCompare) {
    VerifyReport r =
        report({file(1, FileStatus::notCompared), file(2, FileStatus::notCompared, 0, MediaKind::video),
                file(3, FileStatus::notCompared, 0, MediaKind::video), file(4, FileStatus::notCompared)});
    r.files[3].role = FileRole::sidecar;
    r.groups.resize(1);
    const auto kinds = kindCounts(r);
    ASSERT_EQ(kinds.size(), 2u);
    EXPECT_EQ(
        (kindWord(kinds[0].kind, kinds[0].files) + kindWord(kinds[1].kind, kinds[1].files)).toStdString(),
        "photovideos");
    EXPECT_EQ(cardOnlyTitle(r, us).toStdString(), "1 shoot on this card");
    EXPECT_EQ(compareTitle({"Archive 2025", "Cards"}, us).toStdString(),
              "Check Against Archive 2025 and Cards");
    const HeroActions a = heroActions(r, 0, false, true, std::pair<std::string, bool>{"CARD", false});
    EXPECT_FALSE(a.lastCopy);
    EXPECT_TRUE(a.eject);
    EXPECT_EQ(copyButtonText(1234, true, us).toStdString(), "Copy 1,234…");
}

// A content line says how much of it was checked; one of no files (junk folders that could not be
// opened) was not checked at all.
TEST(CardContents, CheckedWordsAndSymbol) {
    const std::tuple<int64_t, int64_t, const char*, const char*> rows[] = {
        {3, 3, "Checked", "checkmark.circle.fill"},
        {3, 1, "1 of 3 checked", "circle.lefthalf.filled"},
        {3, 0, "Not checked", "minus.circle"},
        {0, 0, "Not checked", "minus.circle"},
    };
    for (const auto& [files, checked, words, symbol] : rows) {
        const ContentLine line{"Hidden & system files", {}, files, 0, checked, ""};
        EXPECT_EQ(contentChecked(line, us).toStdString(), words) << files << " " << checked;
        EXPECT_EQ(contentSymbol(line).toStdString(), symbol) << files << " " << checked;
    }
}

TEST(CountTexts, OneFileIsOneFile) {
    struct Row {
        int64_t files, covered, bytes;
        const char* count;
        const char* cardOnlyDay;
        const char* comparedDay;
    };
    const Row rows[] = {
        {0, 0, 0, "0 files", "0 files · Zero KB", "0 of 0 backed up"},
        {1, 1, 2'000, "1 file", "1 file · 2 KB", "1 of 1 backed up"},
        {1, 0, 2'000, "1 file", "1 file · 2 KB", "0 of 1 backed up"},
        {2, 1, 3'000'000, "2 files", "2 files · 3 MB", "1 of 2 backed up"},
        {1234, 1, 3'000'000, "1,234 files", "1,234 files · 3 MB", "1 of 1,234 backed up"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(fileCount(row.files, us).toStdString(), row.count);
        StatusCounts c;
        c.files = row.files;
        c.verified = row.covered;
        c.missing = row.files - row.covered;
        c.bytes = row.bytes;
        EXPECT_EQ(dayHeaderCounts(c, true, us).toStdString(), row.cardOnlyDay);
        EXPECT_EQ(dayHeaderCounts(c, false, us).toStdString(), row.comparedDay);
    }
}

}  // namespace
}  // namespace halvetrop::present

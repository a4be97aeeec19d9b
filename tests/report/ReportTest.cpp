#include "report/Report.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace halvetrop {
namespace {

FileResult file(int64_t id, FileStatus status, int64_t size = 100, bool inScope = true) {
    FileResult f;
    f.id = id;
    f.name = "F" + std::to_string(id) + ".JPG";
    f.relativePath = "/" + f.name;
    f.size = size;
    f.kind = MediaKind::photo;
    f.role = FileRole::media;
    f.inScope = inScope;
    f.day = "2024-05-01";
    f.status = status;
    return f;
}

TEST(FileStatusTest, WordsAndCoverage) {
    struct Row {
        FileStatus status;
        const char* raw;
        const char* label;
        bool covered;
    };
    const Row rows[] = {
        {FileStatus::verified, "verified", "Verified", true},
        {FileStatus::backedUp, "backedUp", "Backed up", true},
        {FileStatus::likely, "likely", "Likely backed up", false},
        {FileStatus::conflict, "conflict", "Different file, same name", false},
        {FileStatus::missing, "missing", "Missing", false},
        {FileStatus::cloudOnly, "cloudOnly", "Cloud placeholder only", false},
        {FileStatus::unreadable, "unreadable", "Can't read", false},
        {FileStatus::changed, "changed", "Changed while reading", false},
        {FileStatus::notCompared, "notCompared", "Not compared", false},
    };
    ASSERT_EQ(std::size(rows), allFileStatuses.size());
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.raw);
        EXPECT_EQ(allFileStatuses[i], row.status) << "declaration order";
        EXPECT_EQ(rawValue(row.status), row.raw);
        EXPECT_EQ(label(row.status), row.label);
        EXPECT_EQ(isCovered(row.status), row.covered);
        EXPECT_EQ(fileStatusFromRaw(row.raw), row.status);
    }
}

TEST(FileStatusTest, OnlyExactRawValuesBuildAStatus) {
    for (const char* text : {"Verified", "backedup", "BackedUp", "", "verified ", "Missing",
                             "Can't read"}) {
        EXPECT_EQ(fileStatusFromRaw(text), std::nullopt) << text;
    }
    EXPECT_EQ(fileStatusFromRaw("backedUp"), FileStatus::backedUp);
}

TEST(CheckLevelTest, RawValues) {
    EXPECT_EQ(rawValue(CheckLevel::standard), "standard");
    EXPECT_EQ(rawValue(CheckLevel::verified), "verified");
    EXPECT_EQ(checkLevelFromRaw("verified"), CheckLevel::verified);
    EXPECT_EQ(checkLevelFromRaw("standard"), CheckLevel::standard);
    EXPECT_EQ(checkLevelFromRaw("Standard"), std::nullopt);
    EXPECT_EQ(checkLevelFromRaw(""), std::nullopt);
    ASSERT_EQ(allCheckLevels.size(), 2u);
    EXPECT_EQ(allCheckLevels[0], CheckLevel::standard);
}

TEST(StatusCountsTest, AddOneFileOfEachStatus) {
    struct Row {
        FileStatus status;
        StatusCounts expected;
    };
    // One 500-byte file added to zero counters.
    const Row rows[] = {
        {FileStatus::verified, {.files = 1, .bytes = 500, .verified = 1}},
        {FileStatus::backedUp, {.files = 1, .bytes = 500, .backedUp = 1}},
        {FileStatus::likely, {.files = 1, .bytes = 500, .likely = 1}},
        {FileStatus::conflict, {.files = 1, .bytes = 500, .conflict = 1, .missingBytes = 500}},
        {FileStatus::missing, {.files = 1, .bytes = 500, .missing = 1, .missingBytes = 500}},
        {FileStatus::cloudOnly, {.files = 1, .bytes = 500, .problem = 1}},
        {FileStatus::unreadable, {.files = 1, .bytes = 500, .problem = 1}},
        {FileStatus::changed, {.files = 1, .bytes = 500, .problem = 1, .changed = 1}},
        {FileStatus::notCompared, {.files = 1, .bytes = 500, .missing = 1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(rawValue(row.status)));
        StatusCounts counts;
        counts.add(file(1, row.status, 500));
        EXPECT_EQ(counts, row.expected);
        EXPECT_EQ(counts.notCovered(), isCovered(row.status) ? 0 : 1);
    }
}

TEST(StatusCountsTest, AddCountsOutOfScopeFilesTooAndKeepsTheSum) {
    StatusCounts counts;
    int64_t id = 0;
    for (FileStatus status : allFileStatuses) counts.add(file(++id, status, 10, false));
    counts.add(file(++id, FileStatus::verified, 10));
    EXPECT_EQ(counts.files, 10);
    EXPECT_EQ(counts.bytes, 100);
    EXPECT_EQ(counts.files, counts.verified + counts.backedUp + counts.likely + counts.conflict +
                                counts.missing + counts.problem);
    EXPECT_EQ(counts.covered(), 3);
    EXPECT_EQ(counts.notCovered(), 7);
    EXPECT_EQ(counts.missingBytes, 20);  // conflict and missing, not notCompared
}

TEST(StatusCountsTest, Fraction) {
    EXPECT_EQ(StatusCounts().fraction(), 1.0);
    StatusCounts counts;
    counts.add(file(1, FileStatus::verified));
    counts.add(file(2, FileStatus::backedUp));
    counts.add(file(3, FileStatus::missing));
    EXPECT_DOUBLE_EQ(counts.fraction(), 2.0 / 3.0);
    StatusCounts none;
    none.add(file(1, FileStatus::likely));
    EXPECT_EQ(none.fraction(), 0.0);
}

TEST(RecordIdsTest, ComputedIdentifiers) {
    ShootGroup shoot;
    shoot.folder = "DCIM/100TEST";
    shoot.day = "2024-05-01";
    EXPECT_EQ(shoot.id(), "DCIM/100TEST|2024-05-01|");
    shoot.camera = "ILCE-7M4";
    EXPECT_EQ(shoot.id(), "DCIM/100TEST|2024-05-01|ILCE-7M4");

    FolderSummary folder;
    folder.path = "DCIM/100TEST";
    EXPECT_EQ(folder.id(), "DCIM/100TEST");
    ContentLine line;
    line.label = "JPEG / HEIF photos";
    EXPECT_EQ(line.id(), "JPEG / HEIF photos");
}

TEST(RecordEqualityTest, EveryFieldTakesPart) {
    FileResult a = file(1, FileStatus::verified);
    FileResult b = a;
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<FileResult>{}(a), std::hash<FileResult>{}(b));
    b.detail = "Found on one drive.";
    EXPECT_NE(a, b);
    EXPECT_NE(std::hash<FileResult>{}(a), std::hash<FileResult>{}(b));
    b = a;
    b.copies.push_back({0, "x", EvidenceLevel::sampled, false});
    EXPECT_NE(a, b);
    CopyRef c1{0, "a", EvidenceLevel::verified, false};
    CopyRef c2 = c1;
    c2.renamed = true;
    EXPECT_NE(c1, c2);
    EXPECT_NE(std::hash<CopyRef>{}(c1), std::hash<CopyRef>{}(c2));
}

TEST(JoinTest, Table) {
    struct Row {
        const char* left;
        const char* right;
        const char* expected;
    };
    const Row rows[] = {
        {"/Volumes/CARD", "DCIM/1.JPG", "/Volumes/CARD/DCIM/1.JPG"},
        {"/Volumes/CARD/", "DCIM/1.JPG", "/Volumes/CARD/DCIM/1.JPG"},
        {"/Volumes/CARD", "", "/Volumes/CARD"},
        {"/Volumes/CARD/", "", "/Volumes/CARD/"},
        {"/Volumes/X", "/a", "/Volumes/X//a"},
        {"", "a", "/a"},
        {"", "", ""},
        {"/", "a", "/a"},
        {"a/./b", "../c", "a/./b/../c"},
        {"DCIM", "/", "DCIM//"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(join(row.left, row.right), row.expected) << row.left << " + " << row.right;
    }
}

TEST(PathPiecesTest, Table) {
    struct Row {
        const char* path;
        std::vector<std::string_view> components;
        const char* last;
    };
    const Row rows[] = {
        {"", {}, ""},
        {"/", {}, ""},
        {"///", {}, ""},
        {"a", {"a"}, "a"},
        {"/Volumes/CARD", {"Volumes", "CARD"}, "CARD"},
        {"DCIM//100MSDCF/", {"DCIM", "100MSDCF"}, "100MSDCF"},
        {"a/./b/..", {"a", ".", "b", ".."}, ".."},
        {"/x/\xff\xfe", {"x", "\xff\xfe"}, "\xff\xfe"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(pathComponents(row.path), row.components) << row.path;
        EXPECT_EQ(lastComponent(row.path), row.last) << row.path;
    }
}

TEST(HeadlineTest, Table) {
    struct Row {
        StatusCounts totals;
        const char* expected;
    };
    const Row rows[] = {
        {{}, "No files of the selected types were found"},
        {{.files = 10, .verified = 10}, "Every file is verified on the backup"},
        {{.files = 10, .verified = 7, .backedUp = 3}, "Every file is backed up"},
        {{.files = 10, .backedUp = 10}, "Every file is backed up"},
        {{.files = 10, .verified = 6, .conflict = 1, .missing = 2, .problem = 1},
         "2 missing \u00B7 1 with a different file under the same name \u00B7 1 couldn't be "
         "checked"},
        {{.files = 3, .missing = 3}, "3 missing"},
        {{.files = 12345, .likely = 12345}, "12345 not confirmed"},
        {{.files = 4, .verified = 1, .likely = 2, .problem = 1},
         "2 not confirmed \u00B7 1 couldn't be checked"},
        {{.files = 2, .conflict = 1, .missing = 1},
         "1 missing \u00B7 1 with a different file under the same name"},
        // A file changed while reading was read: it is named as such, apart from those not read.
        {{.files = 1, .problem = 1, .changed = 1}, "1 changed while reading"},
        {{.files = 5, .verified = 1, .missing = 1, .problem = 3, .changed = 2},
         "1 missing \u00B7 1 couldn't be checked \u00B7 2 changed while reading"},
        // Counts stored by hand name no more changed files than problem files.
        {{.files = 1, .problem = 1, .changed = 4}, "1 changed while reading"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(headline(row.totals), row.expected);
        VerifyReport report;
        report.totals = row.totals;
        report.outOfScope = 99;  // never consulted
        EXPECT_EQ(report.headline(), row.expected);
    }
}

// A card not read whole never reads as every file backed up, nor as holding no files.
TEST(HeadlineTest, UnreadableCardEntriesComeFirst) {
    const struct {
        StatusCounts totals;
        int64_t unreadable;
        const char* expected;
    } rows[] = {
        {{.files = 10, .verified = 10}, 1, "1 folder or file on the card couldn't be read"},
        {{}, 3, "3 folders or files on the card couldn't be read"},
        {{.files = 5, .verified = 3, .missing = 2}, 2,
         "2 folders or files on the card couldn't be read \u00B7 2 missing"},
        {{.files = 10, .verified = 10}, 0, "Every file is verified on the backup"},
    };
    for (const auto& row : rows) {
        VerifyReport report;
        report.totals = row.totals;
        report.cardUnreadable = row.unreadable;
        EXPECT_EQ(report.headline(), row.expected);
    }
}

TEST(HeadlineTest, CardOnlyReportReadsAsAllMissing) {
    VerifyReport report;
    for (int64_t i = 0; i < 4; ++i) report.totals.add(file(i, FileStatus::notCompared));
    EXPECT_EQ(report.headline(), "4 missing");
}

TEST(ReportQueriesTest, SkippedAndCheckedKinds) {
    VerifyReport report;
    report.scope = VerifyScope::withKinds({MediaKind::photo});
    int64_t id = 0;
    auto add = [&](MediaKind kind, FileRole role, bool inScope) {
        FileResult f = file(++id, FileStatus::verified, 1, inScope);
        f.kind = kind;
        f.role = role;
        report.files.push_back(f);
    };
    add(MediaKind::photo, FileRole::media, true);
    for (int i = 0; i < 5; ++i) add(MediaKind::video, FileRole::media, false);
    add(MediaKind::video, FileRole::proxy, false);
    add(MediaKind::video, FileRole::proxy, false);
    add(MediaKind::audio, FileRole::sidecar, false);
    add(MediaKind::other, FileRole::media, false);
    add(MediaKind::other, FileRole::cameraData, true);

    EXPECT_EQ(report.skippedKinds(),
              (std::vector<SkippedKind>{{MediaKind::video, 5}, {MediaKind::other, 1}}));
    EXPECT_EQ(report.checkedKinds(), (std::vector<MediaKind>{MediaKind::photo, MediaKind::other}));
    ASSERT_EQ(report.inScopeFiles().size(), 2u);
    EXPECT_EQ(report.inScopeFiles()[0].id, 1);
    EXPECT_EQ(report.inScopeFiles()[1].id, id);

    report.safeToFormat = true;
    EXPECT_FALSE(report.readyToFormat());
    report.scope.kinds = {MediaKind::photo, MediaKind::video, MediaKind::other};
    EXPECT_TRUE(report.skippedKinds().empty());
    EXPECT_TRUE(report.readyToFormat());
    // A flag stored beside a card that was not read whole never makes it ready.
    report.cardUnreadable = 1;
    EXPECT_FALSE(report.readyToFormat());
    report.cardUnreadable = 0;
    report.safeToFormat = false;
    EXPECT_FALSE(report.readyToFormat());
}

TEST(ReportQueriesTest, CardOnlyAndAbsolutePaths) {
    VerifyReport report;
    report.source.path = "/media/u/CARD";
    EXPECT_TRUE(report.isCardOnly());
    VolumeInfo backup;
    backup.path = "/mnt/backup/";
    report.destinations.push_back(backup);  // unreadable backups still make it a real check
    EXPECT_FALSE(report.isCardOnly());

    FileResult f = file(1, FileStatus::verified);
    f.relativePath = "DCIM/100/IMG_1.JPG";
    EXPECT_EQ(report.absolutePath(f), "/media/u/CARD/DCIM/100/IMG_1.JPG");
    f.relativePath = "/IMG_2.JPG";
    EXPECT_EQ(report.absolutePath(f), "/media/u/CARD//IMG_2.JPG");

    CopyRef copy{0, "Photos/IMG_1.JPG", EvidenceLevel::verified, false};
    EXPECT_EQ(report.absolutePath(copy), "/mnt/backup/Photos/IMG_1.JPG");
    copy.destination = 1;
    EXPECT_THROW(report.absolutePath(copy), std::out_of_range);
    copy.destination = -1;
    EXPECT_THROW(report.absolutePath(copy), std::out_of_range);
}

// The card's access-time sentence names the card as every screen does: a volume by its name (else
// its path), a folder on a volume by the folder's own name, never the volume's ("/" of the system's
// disk); and it always gives the way out.
TEST(ReportQueriesTest, AccessTimesNote) {
    const std::string wayOut = " To leave the card untouched, mount it read-only (mount -o ro).";
    auto otherUser = [&](const std::string& name) {
        return "Files on " + name + " belong to another user, so its file system updates their access times as they "
                                    "are read." + wayOut;
    };
    const struct {
        CardAccessTimes what;
        std::string volumePath, name;
        std::optional<std::string> expected;
    } rows[] = {
        {CardAccessTimes::kept, "/home/other/Photos", "CARD", std::nullopt},
        {CardAccessTimes::fuseReadWrite, "/home/other/Photos/", "CARD",
         "CARD is mounted read-write through FUSE, so its file system updates access times as the check reads it." + wayOut},
        // A folder is not mounted; the volume it lies on is.
        {CardAccessTimes::fuseReadWrite, "/home/other", "OTHER",
         "Photos is on OTHER, which is mounted read-write through FUSE, so its file system updates access times "
         "as the check reads it." + wayOut},
        {CardAccessTimes::fuseReadWrite, "/home/other/", "",
         "Photos is on /home/other, which is mounted read-write through FUSE, so its file system updates access "
         "times as the check reads it." + wayOut},
        {CardAccessTimes::otherOwner, "/home/other/Photos", "CARD", otherUser("CARD")},
        {CardAccessTimes::otherOwner, "/home/other/Photos", "", otherUser("/home/other/Photos")},
        {CardAccessTimes::otherOwner, "/", "/", otherUser("Photos")},
        {CardAccessTimes::otherOwner, "/home", "HOME", otherUser("Photos")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(rawValue(row.what)) + " " + row.volumePath + " " + row.name);
        VerifyReport report;
        report.source.path = "/home/other/Photos";
        report.source.volumePath = row.volumePath;
        report.source.name = row.name;
        report.cardAccessTimes = row.what;
        EXPECT_EQ(report.accessTimesNote(), row.expected);
        EXPECT_EQ(fromRawValue<CardAccessTimes>(rawValue(row.what)), row.what);
    }
    EXPECT_EQ(fromRawValue<CardAccessTimes>("otherowner"), std::nullopt);
}

}  // namespace
}  // namespace halvetrop

// The copy report from a run's result: rows in three blocks plus the files a stopped run never
// reached, folders in the file manager's order, and a CSV that a spreadsheet reads back whole.
#include "present/CopyReport.h"
#include "present/Format.h"
#include "present/Paths.h"

#include "report/Report.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace halvetrop::present {
namespace {

struct Fixture {
    VerifyReport report;
    CopyPlan plan;
    std::unordered_map<std::int64_t, const FileResult*> byID;

    Fixture() {
        report.source.name = "Untitled";
        plan.root = "/mnt/backup";
        plan.card = "/media/card";
        const std::vector<std::tuple<int, std::string, std::string>> files = {
            {1, "DSC1.ARW", "/mnt/backup/Shoot 10"},      {2, "-1.jpg", "/mnt/backup/Shoot 2"},
            {3, "say \"hi\".jpg", "/mnt/backup/Shoot 3"}, {4, "DSC4.ARW", "/mnt/backup/Shoot 2"},
            {5, "=SUM(A1).jpg", "/mnt/backup"},           {6, "late.jpg", "/mnt/backup/Shoot 2"},
        };
        for (const auto& [id, name, dir] : files) {
            FileResult f;
            f.id = id;
            f.name = name;
            report.files.push_back(f);
            plan.items.push_back({id, "/media/card/DCIM/" + name, dir, name, id * 100});
        }
        for (const auto& f : report.files) byID[f.id] = &f;
    }
};

TEST(CopyReport, RowsFoldersCountsAndStoppedFiles) {
    Fixture fx;
    CopyRunResult result;
    result.copied = {{1, "/mnt/backup/Shoot 10/DSC1.ARW", true},
                     {2, "/mnt/backup/Shoot 2/-1.jpg", true},
                     {4, "/mnt/backup/Shoot 2/DSC4 (2).ARW", true},
                     {5, "/mnt/backup/=SUM(A1).jpg", true},
                     {99, "/mnt/backup/Shoot 3/ghost.jpg", true}};
    result.alreadyThere = {{3, "/mnt/backup/Shoot 3/say \"hi\".jpg", true}};
    result.failed = {{98, "No space left on device"}};
    result.cancelled = true;
    result.bytesCopied = 1234;
    auto r = CopyReport::make(result, fx.plan, fx.report, "Archive", fx.byID, 0);

    std::vector<std::string> order;
    for (const auto& f : r.folders) order.push_back(f.path);
    EXPECT_EQ(order, (std::vector<std::string>{"/mnt/backup", "/mnt/backup/Shoot 2", "/mnt/backup/Shoot 3",
                                               "/mnt/backup/Shoot 10"}));
    EXPECT_EQ(r.folders[1].files,
              (std::vector<std::string>{"/mnt/backup/Shoot 2/-1.jpg", "/mnt/backup/Shoot 2/DSC4 (2).ARW"}));
    EXPECT_EQ(r.folders[1].bytes, 600);
    EXPECT_EQ(r.folders[2].bytes, 0) << "a copied id the plan does not know adds nothing";
    EXPECT_EQ(r.copiedCount(), 5);
    EXPECT_EQ(r.allCopiedPaths().front(), "/mnt/backup/=SUM(A1).jpg");
    EXPECT_EQ(r.alreadyThere, 1);
    ASSERT_EQ(r.failed.size(), 1u);
    EXPECT_EQ(r.failed[0], (CopyReport::Failure{"?", "No space left on device", "No space left on device"}));

    // Copied, already there, failed, then the one planned file the stop left: every file once.
    ASSERT_EQ(r.rows.size(), 8u);
    EXPECT_EQ(r.rows[1].name, "-1.jpg");
    EXPECT_EQ(r.rows[4],
              (CopyReport::Row{"ghost.jpg", "", "/mnt/backup/Shoot 3/ghost.jpg", 0, kCopiedStatus}));
    EXPECT_EQ(r.rows[5].status, kAlreadyThereStatus);
    EXPECT_EQ(r.rows[6], (CopyReport::Row{"?", "", "", 0, "Failed: No space left on device"}));
    EXPECT_EQ(r.rows[7], (CopyReport::Row{"late.jpg", "/media/card/DCIM/late.jpg",
                                          "/mnt/backup/Shoot 2/late.jpg", 600, kStoppedStatus}));
    EXPECT_EQ(r.notCopied, 1);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.bytesCopied, 1234);
}

TEST(CopyReport, HeadlineAndSummary) {
    struct Case {
        int copied, already, failed, notCopied;
        bool cancelled;
        CopyOutcome outcome;
        std::string summary;
    };
    const std::vector<Case> cases = {
        {3, 0, 0, 0, false, CopyOutcome::copied, "3 copied (3 KB)"},
        {1234, 1, 0, 0, false, CopyOutcome::copied, "1,234 copied (3 KB) \u00b7 1 was already there"},
        {1, 2, 1, 0, false, CopyOutcome::problems,
         "1 copied (3 KB) \u00b7 2 were already there \u00b7 1 failed"},
        {1, 0, 0, 5, true, CopyOutcome::stopped, "1 copied (3 KB) \u00b7 5 not copied"},
        {2, 0, 0, 1, true, CopyOutcome::stopped, "2 copied (3 KB) \u00b7 1 not copied"},
        // Nothing copied is said so, without a size of nothing; the files a stop never reached
        // are among it.
        {0, 0, 2, 1, true, CopyOutcome::problems, "Nothing copied \u00b7 2 failed"},
        {0, 0, 1, 0, false, CopyOutcome::problems, "Nothing copied \u00b7 1 failed"},
        {0, 2, 0, 0, false, CopyOutcome::copied, "Nothing copied \u00b7 2 were already there"},
        {0, 1, 0, 0, false, CopyOutcome::copied, "Nothing copied \u00b7 1 was already there"},
        {0, 0, 0, 3, true, CopyOutcome::stopped, "Nothing copied"},
    };
    for (const auto& c : cases) {
        CopyReport r;
        r.bytesCopied = 3000;
        if (c.copied) r.folders.push_back({"/b", std::vector<std::string>(size_t(c.copied), "/b/x"), 0});
        r.alreadyThere = c.already;
        r.failed.assign(size_t(c.failed), {"a.jpg", "No space left on device", "No space left on device"});
        r.notCopied = c.notCopied;
        r.cancelled = c.cancelled;
        EXPECT_EQ(copyOutcome(r), c.outcome) << c.summary;
        EXPECT_EQ(copySummary(r, QLocale(QLocale::English, QLocale::UnitedStates)).toStdString(), c.summary);
    }
    CopyReport many;
    many.failed.assign(150, {"a.jpg", "gone", "gone"});
    // A name in a script read right to left keeps its place in front of the reason, its extension
    // after it: the line reads left to right.
    many.failed[1].name = "صورة_0004.JPG";
    auto lines = failureLines(many);
    ASSERT_EQ(lines.size(), 100);
    EXPECT_EQ(lines.front().toStdString(), "a.jpg: gone");
    EXPECT_EQ(lines[1].toStdString(), "\u200E\u2066\u2068صورة_0004\u2069.JPG\u2069: gone");
}

// A name refused while planning, of hundreds of bytes, is said once and cut in its middle, with
// why; a folder's name too long is said, cut, for the file below it. The CSV keeps them whole.
TEST(CopyReport, ALongNameIsSaidOnceWithWhy) {
    Fixture fx;
    const std::string name = std::string(400, 'x') + ".JPG", folder = "/mnt/backup/" + std::string(300, 'f');
    fx.report.files[0].name = name;
    const CopyError own = CopyError::nameTooLong("/mnt/backup/DCIM/" + name, NameLimit{});
    const CopyError above = CopyError::nameTooLong(folder, NameLimit{});
    fx.plan.items = {{1, "/c/" + name, "/mnt/backup/DCIM", name, 10, own},
                     {2, "/c/-1.jpg", folder + "/1", "-1.jpg", 10, above}};
    CopyRunResult result;
    result.failed = {{1, own.description(), own}, {2, above.description(), above}};
    const CopyReport r = CopyReport::make(result, fx.plan, fx.report, "Archive", fx.byID, 0);
    const QString allows = "is longer than the backup drive's file system allows (255 bytes at most)";
    EXPECT_EQ(failureLines(r),
              QStringList({QString(40, u'x') + u'\u2026' + QString(15, u'x') + ".JPG: Its name " + allows,
                           "-1.jpg: The name of the folder \u201C" + QString(30, u'f') + u'\u2026' +
                               QString(30, u'f') + "\u201D " + allows}));
    EXPECT_NE(r.csv().find("Failed: " + own.description()), std::string::npos);
}

// A copy proven only in the page cache says so in its CSV status, in the same five columns, and
// in the view's note and file list; one read back from the drive reads as before.
TEST(CopyReport, ReadsFromThePageCacheAreNamedPerFile) {
    Fixture fx;
    CopyRunResult result;
    result.copied = {{1, "/mnt/backup/Shoot 10/DSC1.ARW", true}, {2, "/mnt/backup/Shoot 2/-1.jpg", false}};
    result.alreadyThere = {{3, "/mnt/backup/Shoot 3/say \"hi\".jpg", false},
                           {4, "/mnt/backup/DSC4.ARW", true}};
    const CopyReport r = CopyReport::make(result, fx.plan, fx.report, "Archive", fx.byID, 0);
    const std::vector<std::pair<std::string, bool>> rows = {
        {kCopiedStatus, false},
        {kCopiedFromCacheStatus, true},
        {kAlreadyThereFromCacheStatus, true},
        {kAlreadyThereStatus, false},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(r.rows[i].status, rows[i].first) << i;
        EXPECT_EQ(r.rows[i].fromCache, rows[i].second) << i;
    }
    EXPECT_EQ(r.copiedCount(), 2);
    const std::string csv = r.csv();
    EXPECT_NE(csv.find("\"'-1.jpg\",\"" + std::string(kCopiedFromCacheStatus) + "\",\"200\","),
              std::string::npos);
    // Five quoted fields a row, whatever the status says.
    for (size_t start = csv.find('\n') + 1; start < csv.size(); start = csv.find('\n', start) + 1) {
        const std::string line = csv.substr(start, csv.find('\n', start) - start);
        size_t fields = 1;
        for (size_t at = line.find("\",\""); at != std::string::npos; at = line.find("\",\"", at + 1))
            ++fields;
        EXPECT_EQ(fields, 5u) << line;
    }

    const QLocale us(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(
        fromCacheNote(r, us).toStdString(),
        "2 files were checked in the page cache, not read back from the drive: their copies on the drive "
        "aren't proven byte by byte.");
    EXPECT_EQ(fromCacheLines(r), (QStringList{"Shoot 2/-1.jpg", "Shoot 3/say \"hi\".jpg"}));
    CopyReport one = r;
    one.rows[2].fromCache = false;
    EXPECT_EQ(fromCacheNote(one, us).left(12).toStdString(), "1 file was c");
    one.rows[1].fromCache = false;
    EXPECT_TRUE(fromCacheNote(one, us).isEmpty());
    EXPECT_TRUE(fromCacheLines(one).isEmpty());
}

TEST(CopyReport, DialogCountsTakeTheSingularAndNameTheBackup) {
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    struct Row {
        int64_t files, bytes;
        std::optional<int64_t> free;
        const char* summary;
    };
    const Row rows[] = {
        {1234, 31'400'000'000, 812'000'000'000, "1,234 files · 31.4 GB · 812 GB free on Archive"},
        {1, 1'000, int64_t(0), "1 file · 1 KB · Zero KB free on Archive"},
        {0, 0, std::nullopt, "0 files · Zero KB"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(planSummary(row.files, row.bytes, row.free, QStringLiteral("Archive"), us).toStdString(),
                  row.summary);
    EXPECT_EQ(copyProgressLine(12, 1234, 3'000'000, 31'400'000'000, us).toStdString(),
              "12 of 1,234 files · 3 MB of 31.4 GB");
    EXPECT_EQ(copyProgressLine(0, 1, 0, 5, us).toStdString(), "0 of 1 file · Zero KB of 5 bytes");
}

// Every phrase of the dialog and its report with a count agrees with it, for none, one and two.
TEST(CopyReport, DialogPhrasesAgreeWithTheirCounts) {
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    struct Row {
        int64_t n;
        const char *button, *collision, *lastCopy;
    };
    const Row rows[] = {
        {0, "Copy 0 Files", "", "Last copy · 0 files · 2:05 PM"},
        {1, "Copy 1 File",
         "1 file shares a name with another file going to the same folder; it'll get a number, like "
         "\u201cDSC00001 (2).ARW\u201d.",
         "Last copy · 1 file · 2:05 PM"},
        {2, "Copy 2 Files",
         "2 files share a name with another file going to the same folder; they'll get a number, like "
         "\u201cDSC00001 (2).ARW\u201d.",
         "Last copy · 2 files · 2:05 PM"},
        {1234, "Copy 1,234 Files",
         "1,234 files share a name with another file going to the same folder; they'll get a number, like "
         "\u201cDSC00001 (2).ARW\u201d.",
         "Last copy · 1,234 files · 2:05 PM"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(copyFilesButton(row.n, us).toStdString(), row.button);
        EXPECT_EQ(collisionNote(row.n, us).toStdString(), row.collision);
        EXPECT_EQ(lastCopyTitle(row.n, QStringLiteral("2:05 PM"), us).toStdString(), row.lastCopy);
    }
    // The report view's own lines: the folders' new files and the page-cache note.
    for (const int n : {1, 2, 1234}) {
        CopyReport r;
        r.driveRoot = "/b";
        r.folders = {{"/b/x", std::vector<std::string>(size_t(n), "/b/x/f"), 1000}};
        for (int i = 0; i < n; ++i) r.rows.push_back({"f", "", "/b/x/f", 1, kCopiedFromCacheStatus, true});
        const QVariantMap view =
            copyReportView(QVariant::fromValue(std::make_shared<const CopyReport>(r)), us);
        EXPECT_EQ(view.value("folders").toList().front().toMap().value("subtitle").toString().toStdString(),
                  n == 1 ? "1 new file · 1 KB" : present::count(n, us).toStdString() + " new files · 1 KB");
        EXPECT_TRUE(view.value("fromCacheNote")
                        .toString()
                        .startsWith(n == 1 ? QStringLiteral("1 file was checked")
                                           : present::count(n, us) + QStringLiteral(" files were checked")));
        EXPECT_TRUE(view.value("lastCopyTitle")
                        .toString()
                        .startsWith(n == 1 ? QStringLiteral("Last copy · 1 file · ")
                                           : QStringLiteral("Last copy · ") + present::count(n, us) +
                                                 QStringLiteral(" files · ")));
        // As many folders, grouped too.
        r.folders.resize(size_t(n), r.folders.front());
        EXPECT_TRUE(copyReportView(QVariant::fromValue(std::make_shared<const CopyReport>(r)), us)
                        .value("foldersHeadline")
                        .toString()
                        .startsWith(QStringLiteral("COPIED INTO ") + present::count(n, us) +
                                    (n == 1 ? QStringLiteral(" FOLDER ON") : QStringLiteral(" FOLDERS ON"))));
    }
}

// A copy's report belongs over the result of the check it was made over, and of a check after it
// of the same card against the same backups (the one its Done starts), never over an earlier one
// or one against other backups.
TEST(CopyReport, BelongsOverItsOwnCheck) {
    const auto check = [](const char* card, std::vector<const char*> backups, TimeNs started) {
        VerifyReport r;
        r.source.path = card;
        for (const char* b : backups) r.destinations.emplace_back().path = b;
        r.startedAt = started;
        return r;
    };
    Fixture fx;
    const CopyReport r =
        CopyReport::make({}, fx.plan, check("/media/card", {"/mnt/b", "/mnt/a"}, 1000), "B", fx.byID, 2000);
    EXPECT_TRUE(r.belongsTo(check("/media/card", {"/mnt/b", "/mnt/a"}, 1000)));  // its own
    EXPECT_TRUE(r.belongsTo(check("/media/card", {"/mnt/a", "/mnt/b"}, 3000)));  // one after it
    EXPECT_FALSE(r.belongsTo(check("/media/card", {"/mnt/b", "/mnt/a"}, 999)));  // one before it
    EXPECT_FALSE(r.belongsTo(check("/media/card", {"/mnt/c"}, 3000)));
    EXPECT_FALSE(r.belongsTo(check("/media/card", {"/mnt/a"}, 3000)));
    EXPECT_FALSE(r.belongsTo(check("/media/card", {"/mnt/a", "/mnt/b", "/mnt/c"}, 3000)));
    EXPECT_FALSE(r.belongsTo(check("/media/other", {"/mnt/b", "/mnt/a"}, 3000)));
}

TEST(CopyReport, TitlesAndSuggestedName) {
    CopyReport r;
    r.driveRoot = "/mnt/backup";
    r.sourceName = std::string("A/B\0C", 5);
    r.date = TimeNs(1796601599) * 1000000000;  // 2026-12-06 23:59:59 UTC
    const std::vector<std::pair<std::string, std::string>> titles = {
        {"/mnt/backup", "(top level)"},
        {"/mnt/backup/2024/Trip", "2024/Trip"},
        {"/mnt/backups/2024", "/mnt/backups/2024"},  // shares the root's letters, not its folder
        {"/elsewhere", "/elsewhere"},
    };
    for (const auto& [path, title] : titles) EXPECT_EQ(r.folderTitle(path), title) << path;
    EXPECT_EQ(r.suggestedFileName(), "SD Halvetrop copy \u2013 A-B-C \u2013 2026-12-06.csv");
}

// The view hands the model keys for the paths it acts on: a folder or a copy whose name is not
// UTF-8 is reached by its bytes, while the titles show text.
TEST(CopyReport, TheViewNamesPathsByKeys) {
    CopyReport r;
    r.driveRoot = "/mnt/b\xff";
    r.folders = {
        {"/mnt/b\xff/Shoot\xfe", {"/mnt/b\xff/Shoot\xfe/IMG_\xff.JPG", "/mnt/b\xff/Shoot\xfe/100%.JPG"}, 20}};
    const QVariantMap view = copyReportView(QVariant::fromValue(std::make_shared<const CopyReport>(r)));
    EXPECT_EQ(pathOfKey(view.value("driveRoot").toString()), r.driveRoot);
    const QVariantMap folder = view.value("folders").toList().front().toMap();
    EXPECT_EQ(folder.value("title").toString().toStdString(), "Shoot\xef\xbf\xbd");
    EXPECT_EQ(pathOfKey(folder.value("path").toString()), r.folders[0].path);
    std::vector<std::string> files;
    for (const QString& key : folder.value("files").toStringList())
        files.push_back(pathOfKey(key).value_or("?"));
    EXPECT_EQ(files, r.folders[0].files);
}

TEST(CopyReport, CsvGuardsFormulasAndReadsBackWhole) {
    const std::vector<std::pair<std::string, std::string>> cells = {
        {"-1.jpg", "\"'-1.jpg\""},
        {"+a", "\"'+a\""},
        {"@a", "\"'@a\""},
        {"\tx", "\"'\tx\""},
        {"\rx", "\"'\rx\""},
        {"", "\"\""},
        {"a\"b", "\"a\"\"b\""},
        {"a-=", "\"a-=\""},
        {"=", "\"'=\""},
        {"\xc3\xa9=", "\"\xc3\xa9=\""},
        // A name that is not UTF-8 goes in as shown, and a guard still sees its first character.
        {"IMG_\xff.jpg", "\"IMG_\xef\xbf\xbd.jpg\""},
        {"=\xff", "\"'=\xef\xbf\xbd\""},
    };
    for (const auto& [in, out] : cells) EXPECT_EQ(csvField(in), out) << in;

    Fixture fx;
    CopyRunResult result;
    result.copied = {{2, "/mnt/backup/Shoot 2/-1.jpg", true}};
    result.alreadyThere = {{3, "/mnt/backup/Shoot 3/say \"hi\".jpg", true}};
    result.failed = {{1, "Couldn't write, here: No space left on device"}};
    auto r = CopyReport::make(result, fx.plan, fx.report, "Archive", fx.byID, 0);
    std::string text = r.csv();
    EXPECT_EQ(text.substr(0, text.find('\n')), kCsvHeader);

    test::TempDir dir("csv");
    std::string file = dir.path() + "/r.csv";
    std::ofstream(file) << text;
    std::string cmd =
        "python3 -c 'import csv,sys\nfor row in csv.reader(open(sys.argv[1], newline=\"\")): "
        "print(\"|\".join(row))' '" +
        file + "'";
    std::string parsed;
    ASSERT_EQ(test::runShell(cmd, &parsed), 0);
    std::istringstream lines(parsed);
    std::vector<std::string> got;
    for (std::string line; std::getline(lines, line);) got.push_back(line);
    ASSERT_EQ(got.size(), 1u + fx.plan.items.size());
    EXPECT_EQ(got[1], "'-1.jpg|Copied and verified|200|/mnt/backup/Shoot 2/-1.jpg|/media/card/DCIM/-1.jpg");
    EXPECT_EQ(got[2],
              "say \"hi\".jpg|Already there (identical)|300|/mnt/backup/Shoot 3/say \"hi\".jpg|"
              "/media/card/DCIM/say \"hi\".jpg");
    EXPECT_EQ(
        got[3],
        "DSC1.ARW|Failed: Couldn't write, here: No space left on device|100|/mnt/backup/Shoot 10/DSC1.ARW|"
        "/media/card/DCIM/DSC1.ARW");
}

}  // namespace
}  // namespace halvetrop::present

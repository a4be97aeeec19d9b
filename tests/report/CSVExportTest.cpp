#include "report/CSVExport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

#include "support/TempDir.h"
#include "text/Utf8.h"

namespace halvetrop {
namespace {

const std::vector<std::string> header{"Status",
                                      "File",
                                      "Folder",
                                      "Shoot day",
                                      "Camera",
                                      "Type",
                                      "Size (bytes)",
                                      "Copies on other drives",
                                      "Backup locations",
                                      "Note"};

// Parses CSV text with Python's csv module: the rows as lists of fields.
std::vector<std::vector<std::string>> parseWithPython(const std::string& csv) {
    test::TempDir dir("csv");
    std::string csvPath = dir.write("report.csv", csv);
    std::string script = dir.write("read.py",
                                   "import csv, json, sys\n"
                                   "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                   "    rows = list(csv.reader(f, strict=True))\n"
                                   "print(json.dumps(rows))\n");
    std::string out;
    int status = test::runShell("python3 '" + script + "' '" + csvPath + "'", &out);
    EXPECT_EQ(status, 0) << out;
    if (status != 0) return {};
    return nlohmann::json::parse(out).get<std::vector<std::vector<std::string>>>();
}

FileResult file(int64_t id, std::string name, FileStatus status, bool inScope = true) {
    FileResult f;
    f.id = id;
    f.name = std::move(name);
    f.folder = "DCIM/100CANON";
    f.relativePath = join(f.folder, f.name);
    f.size = 1000 + id;
    f.kind = MediaKind::photo;
    f.role = FileRole::media;
    f.inScope = inScope;
    f.day = "2024-05-03";
    f.camera = "Canon EOS R5";
    f.status = status;
    return f;
}

VerifyReport twoBackups() {
    VerifyReport r;
    r.source.path = "/media/u/CARD";
    VolumeInfo a;
    a.name = "A";
    a.path = "/media/u/A";
    VolumeInfo b;
    b.name = "B";
    b.path = "/media/u/B/Photos";
    r.destinations = {a, b};
    return r;
}

TEST(CSVExportTest, EmptyReportIsTheHeaderAlone) {
    EXPECT_EQ(CSVExport::csv(VerifyReport()),
              "Status,File,Folder,Shoot day,Camera,Type,Size (bytes),Copies on other drives,"
              "Backup locations,Note\n");
    VerifyReport onlyOutOfScope = twoBackups();
    FileResult f = file(1, "A.JPG", FileStatus::missing, false);
    f.copies = {{0, "A.JPG", EvidenceLevel::verified, false}};
    onlyOutOfScope.files = {f};
    EXPECT_EQ(CSVExport::csv(onlyOutOfScope), CSVExport::csv(VerifyReport()));
}

TEST(CSVExportTest, VerifiedPhotoWithTwoCopies) {
    VerifyReport r = twoBackups();
    FileResult f = file(1, "IMG_1.CR3", FileStatus::verified);
    f.folder = "DCIM/100";
    f.size = 24'000'000;
    f.safeDrives = 2;
    f.copies = {{0, "DCIM/100/IMG_1.CR3", EvidenceLevel::verified, false},
                {1, "Photos/2024/IMG_1.CR3", EvidenceLevel::verified, false}};
    r.files = {f};
    std::string csv = CSVExport::csv(r);
    EXPECT_EQ(csv.substr(csv.find('\n') + 1),
              "\"Verified\",\"IMG_1.CR3\",\"DCIM/100\",\"2024-05-03\",\"Canon EOS R5\",\"Photos\","
              "\"24000000\",\"2\",\"A: DCIM/100/IMG_1.CR3 | B: Photos/2024/IMG_1.CR3\",\"\"\n");
}

// A file changed while reading, or one not read, has no proven copy: its row lists no place, as its
// count says, even when a report saved earlier kept the copies it was compared with.
TEST(CSVExportTest, FilesWithoutProvenCopiesListNoPlaces) {
    const struct {
        FileStatus status;
        const char* locations;
    } rows[] = {
        {FileStatus::changed, ""},
        {FileStatus::unreadable, ""},
        {FileStatus::backedUp, "A: DCIM/IMG_1.JPG | B: IMG_1.JPG"},
    };
    for (const auto& row : rows) {
        VerifyReport r = twoBackups();
        FileResult f = file(1, "IMG_1.JPG", row.status);
        f.copies = {{0, "DCIM/IMG_1.JPG", EvidenceLevel::verified, false},
                    {1, "IMG_1.JPG", EvidenceLevel::verified, false}};
        r.files = {f};
        const auto parsed = parseWithPython(CSVExport::csv(r));
        ASSERT_EQ(parsed.size(), 2u);
        EXPECT_EQ(parsed[1][0], std::string(label(row.status)));
        EXPECT_EQ(parsed[1][7], "0");
        EXPECT_EQ(parsed[1][8], row.locations);
    }
}

TEST(CSVExportTest, PythonReadsTenFieldsPerRowAndEveryValueBack) {
    VerifyReport r = twoBackups();
    r.files = {
        file(0, "IMG_0001.CR3", FileStatus::verified),
        file(1, "skipped.MOV", FileStatus::missing, false),
        file(2, "comma, \"quote\" and\nline break.JPG", FileStatus::conflict),
        file(3, "Caf\xc3\xa9 \xf0\x9f\x93\xb7.HEIC", FileStatus::unreadable),
        file(4, "bad\xff" "byte.JPG", FileStatus::notCompared),
    };
    r.files[0].copies = {{1, "Photos/IMG_0001.CR3", EvidenceLevel::verified, false},
                         {0, "DCIM/IMG_0001.CR3", EvidenceLevel::sampled, true}};
    r.files[0].safeDrives = 1;
    r.files[2].detail = "A different file named \"comma\" is on A.";
    r.files[2].kind = MediaKind::video;
    r.files[3].kind = MediaKind::audio;
    r.files[3].camera = "";
    r.files[4].kind = MediaKind::other;
    r.files[4].detail = "Not compared \r\n on purpose";

    std::string csv = CSVExport::csv(r);
    EXPECT_EQ(csv.back(), '\n');
    EXPECT_NE(csv.substr(csv.size() - 2), "\n\n");
    EXPECT_TRUE(isValidUtf8(csv));

    auto rows = parseWithPython(csv);
    ASSERT_EQ(rows.size(), 5u);  // header + the four in-scope files
    EXPECT_EQ(rows[0], header);
    for (const auto& row : rows) EXPECT_EQ(row.size(), 10u);

    const FileResult* inScope[] = {&r.files[0], &r.files[2], &r.files[3], &r.files[4]};
    const char* types[] = {"Photos", "Videos", "Audio", "Other"};
    for (size_t i = 0; i < 4; ++i) {
        const FileResult& f = *inScope[i];
        const auto& row = rows[i + 1];
        SCOPED_TRACE(f.name);
        EXPECT_EQ(row[0], label(f.status));
        EXPECT_EQ(row[1], repairUtf8(f.name));
        EXPECT_EQ(row[2], f.folder);
        EXPECT_EQ(row[3], f.day);
        EXPECT_EQ(row[4], f.camera);
        EXPECT_EQ(row[5], types[i]);
        EXPECT_EQ(row[6], std::to_string(f.size));
        EXPECT_EQ(row[7], std::to_string(f.safeDrives));
        EXPECT_EQ(row[9], f.detail.value_or(""));
    }
    EXPECT_EQ(rows[1][8], "B: Photos/IMG_0001.CR3 | A: DCIM/IMG_0001.CR3");
    EXPECT_EQ(rows[2][8], "");
}

TEST(CSVExportTest, FormulaGuardExactlyWhereItBelongs) {
    struct Row {
        std::string value;
        bool guarded;
    };
    const Row rows[] = {
        {"=A.JPG", true},       {"+1.JPG", true},     {"-rf", true},
        {"@SUM(A1)", true},     {"\tTAB.JPG", true},  {"\r=CR.JPG", true},
        {" =A.JPG", false},     {"\"=A.JPG", false},  {"A=B.JPG", false},
        {"'quoted", false},     {"", false},          {"\n=A", false},
        {"\xef\xbc\x9d" "A", false},  // full-width equals sign
    };
    VerifyReport r = twoBackups();
    for (size_t i = 0; i < std::size(rows); ++i) {
        FileResult f = file(static_cast<int64_t>(i), rows[i].value, FileStatus::missing);
        f.camera = rows[i].value;
        f.folder = rows[i].value;
        f.detail = rows[i].value;
        r.files.push_back(f);
    }
    // Every field is guarded by the same rule, numbers included.
    r.files[0].size = -5;

    auto parsed = parseWithPython(CSVExport::csv(r));
    ASSERT_EQ(parsed.size(), std::size(rows) + 1);
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE("row " + std::to_string(i));
        std::string expected = (row.guarded ? "'" : "") + row.value;
        const auto& fields = parsed[i + 1];
        ASSERT_EQ(fields.size(), 10u);
        EXPECT_EQ(fields[1], expected);  // File
        EXPECT_EQ(fields[2], expected);  // Folder
        EXPECT_EQ(fields[4], expected);  // Camera
        EXPECT_EQ(fields[9], expected);  // Note
        EXPECT_EQ(fields[0], "Missing");
    }
    EXPECT_EQ(parsed[1][6], "'-5");
}

TEST(CSVExportTest, GuardComesBeforeQuoteDoubling) {
    VerifyReport r;
    FileResult f = file(1, "=\"A\".JPG", FileStatus::missing);
    f.camera = "\"=B";
    f.folder = "";
    r.files = {f};
    std::string csv = CSVExport::csv(r);
    std::string row = csv.substr(csv.find('\n') + 1);
    EXPECT_EQ(row,
              "\"Missing\",\"'=\"\"A\"\".JPG\",\"\",\"2024-05-03\",\"\"\"=B\",\"Photos\","
              "\"1001\",\"0\",\"\",\"\"\n");
}

TEST(CSVExportTest, RowsFollowReportOrderAndSkipOutOfScope) {
    VerifyReport r = twoBackups();
    r.files = {file(5, "C.JPG", FileStatus::verified), file(1, "A.JPG", FileStatus::missing, false),
               file(3, "B.JPG", FileStatus::likely)};
    r.files[1].copies = {{0, "A.JPG", EvidenceLevel::verified, false}};
    auto rows = parseWithPython(CSVExport::csv(r));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][1], "C.JPG");
    EXPECT_EQ(rows[2][1], "B.JPG");
    EXPECT_EQ(rows[2][0], "Likely backed up");
}

// A report built in memory that breaks its own invariant still exports without reading past the
// backups.
TEST(CSVExportTest, CopyNamingNoBackupShowsNoVolumeName) {
    VerifyReport r = twoBackups();
    r.files = {file(1, "A.JPG", FileStatus::verified)};
    r.files[0].copies = {{1, "x/A.JPG", EvidenceLevel::verified, false},
                         {2, "y/A.JPG", EvidenceLevel::verified, false},
                         {-1, "z/A.JPG", EvidenceLevel::verified, false}};
    auto rows = parseWithPython(CSVExport::csv(r));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][8], "B: x/A.JPG | ?: y/A.JPG | ?: z/A.JPG");
}

// What the check could not read follows the files, one row each, in the same ten columns: its
// name and folder, "Can't read" and the system's reason; nothing about it is made up.
TEST(CSVExportTest, UnreadableEntriesFollowTheFiles) {
    VerifyReport r = twoBackups();
    r.files = {file(0, "A.JPG", FileStatus::verified)};
    r.cardUnreadable = 3;
    r.cardUnreadableEntries = {{"DCIM/101LOST", "Input/output error"},
                               {"MISC", "Permission denied"},
                               {"DCIM/100CANON/-bad\xff.JPG", "Structure needs cleaning"}};
    const auto rows = parseWithPython(CSVExport::csv(r));
    const std::vector<std::vector<std::string>> expected{
        {"Can't read", "101LOST", "DCIM", "", "", "", "", "", "", "Input/output error"},
        {"Can't read", "MISC", "", "", "", "", "", "", "", "Permission denied"},
        {"Can't read", "'-bad\xef\xbf\xbd.JPG", "DCIM/100CANON", "", "", "", "", "", "", "Structure needs cleaning"},
    };
    ASSERT_EQ(rows.size(), 2 + expected.size());
    EXPECT_EQ(rows[1][1], "A.JPG");
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(rows[i + 2], expected[i]) << i;
}

TEST(CSVExportTest, NoCarriageReturnsBetweenLines) {
    VerifyReport r;
    for (int i = 0; i < 3; ++i) r.files.push_back(file(i, "F.JPG", FileStatus::backedUp));
    std::string csv = CSVExport::csv(r);
    EXPECT_EQ(csv.find('\r'), std::string::npos);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
}

}  // namespace
}  // namespace halvetrop

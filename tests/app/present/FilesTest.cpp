#include <gtest/gtest.h>

#include "present/Files.h"

namespace halvetrop::present {
namespace {

FileResult file(int64_t id, std::string folder, std::string name, FileStatus status, std::string day,
                int64_t size) {
    FileResult f;
    f.id = id;
    f.folder = std::move(folder);
    f.name = std::move(name);
    f.relativePath = f.folder.empty() ? "/" + f.name : f.folder + "/" + f.name;
    f.status = status;
    f.day = std::move(day);
    f.size = size;
    f.inScope = true;
    return f;
}

// Names of the sorted files, joined, so each order reads as one line.
std::string order(const VerifyReport& r, const FileSortKeys& keys, FileSort sort) {
    std::vector<int> all;
    for (size_t i = 0; i < r.files.size(); ++i) all.push_back(int(i));
    std::string out;
    for (int p : keys.sorted(r, all, sort)) out += (out.empty() ? "" : " ") + r.files[size_t(p)].name;
    return out;
}

TEST(FilesSort, EveryColumnBothWays) {
    VerifyReport r;
    r.destinations.push_back(VolumeInfo{});
    r.files = {file(0, "DCIM/100", "IMG_10.JPG", FileStatus::verified, "2025-03-02", 900),
               file(1, "DCIM/100", "img_9.jpg", FileStatus::missing, "", 10'000),
               file(2, "DCIM/99", "B.JPG", FileStatus::backedUp, "2025-03-01", 20),
               file(3, "", "a.jpg", FileStatus::unreadable, "2025-03-01", 20),
               file(4, "DCIM/100", "C.MOV", FileStatus::notCompared, "2025-03-03", 5)};
    const Collation collation;
    const FileSortKeys keys(r, collation);
    struct Row {
        FileColumn column;
        bool ascending;
        const char* order;
    };
    const Row rows[] = {
        // Numbers by value (DCIM/99 before DCIM/100), case ignored; the top folder's path starts
        // with "/".
        {FileColumn::path, true, "a.jpg B.JPG C.MOV img_9.jpg IMG_10.JPG"},
        {FileColumn::name, true, "a.jpg B.JPG C.MOV img_9.jpg IMG_10.JPG"},
        {FileColumn::name, false, "IMG_10.JPG img_9.jpg C.MOV B.JPG a.jpg"},
        // Labels in plain text order: "Backed up", "Can't read", "Missing", "Not compared", "Verified".
        {FileColumn::status, true, "B.JPG a.jpg img_9.jpg C.MOV IMG_10.JPG"},
        // An empty day first; equal days keep the order they came in, both ways.
        {FileColumn::day, true, "img_9.jpg B.JPG a.jpg IMG_10.JPG C.MOV"},
        {FileColumn::day, false, "C.MOV IMG_10.JPG B.JPG a.jpg img_9.jpg"},
        {FileColumn::folder, true, "a.jpg B.JPG IMG_10.JPG img_9.jpg C.MOV"},
        // By bytes, not by the shown text.
        {FileColumn::size, true, "C.MOV B.JPG a.jpg IMG_10.JPG img_9.jpg"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(order(r, keys, {row.column, row.ascending}), row.order) << int(row.column) << row.ascending;

    // A fold changes statuses in place: the same keys sort by the new labels.
    r.files[0].status = FileStatus::backedUp;
    EXPECT_EQ(order(r, keys, {FileColumn::status, true}), "IMG_10.JPG B.JPG a.jpg img_9.jpg C.MOV");
}

// A fold changes statuses and what is shown: the rows placed again from the ones before are the rows
// a fresh sort gives, for every column both ways, equal keys included.
TEST(FilesSort, RowsPlacedAgainAfterAFoldAreAFreshSort) {
    VerifyReport r;
    const FileStatus cycle[] = {FileStatus::verified, FileStatus::missing, FileStatus::backedUp,
                                FileStatus::conflict};
    for (int i = 0; i < 60; ++i)
        r.files.push_back(file(i, "DCIM/" + std::to_string(100 + i % 3), "F" + std::to_string(i % 7) + ".JPG",
                               cycle[i % 4], i % 5 ? "2025-03-0" + std::to_string(i % 4) : "", i % 6));
    const Collation collation;
    const FileSortKeys keys(r, collation);
    const auto shown = [&](int parity) {
        std::vector<int> out;
        for (int i = 0; i < int(r.files.size()); ++i)
            if (i % 4 != parity) out.push_back(i);
        return out;
    };
    for (FileColumn column : {FileColumn::path, FileColumn::name, FileColumn::status, FileColumn::day,
                              FileColumn::folder, FileColumn::size}) {
        for (bool up : {true, false}) {
            const std::vector<int> before = keys.sorted(r, shown(0), {column, up});
            EXPECT_EQ(keys.resorted(r, before, shown(0), {}, {column, up}), before) << int(column) << up;
            VerifyReport folded = r;
            std::vector<int> changed;
            for (int i = 1; i < 60; i += 7) {
                folded.files[size_t(i)].status = cycle[(i + 1) % 4];
                changed.push_back(i);
            }
            // Rows come and go too: what was left out is shown, and the other way round.
            const std::vector<int> after = shown(1);
            EXPECT_EQ(keys.resorted(folded, before, after, changed, {column, up}),
                      keys.sorted(folded, after, {column, up}))
                << int(column) << up;
        }
    }
}

// The ranked sorts give what a stable sort by each column's own comparison gives, both ways, over
// many equal keys (case-only differences, shared folders, days and sizes, a name that is not UTF-8),
// for any subset of rows in report order; ranks a worker made are the ones made here.
TEST(FilesSort, RanksSortAsEachColumnsOwnComparison) {
    VerifyReport r;
    const FileStatus statuses[] = {FileStatus::verified, FileStatus::missing,    FileStatus::backedUp,
                                   FileStatus::conflict, FileStatus::unreadable, FileStatus::changed,
                                   FileStatus::likely,   FileStatus::cloudOnly,  FileStatus::notCompared};
    const char* names[] = {"img_9.jpg",        "IMG_10.JPG", "a.jpg", "A.JPG",
                           "\xC3\x84pfel.jpg", "B\xff.JPG",  "b.jpg"};
    const char* folders[] = {"DCIM/100", "DCIM/99", "", "DCIM/100/SUB", "dcim/100"};
    for (int i = 0; i < 400; ++i)
        r.files.push_back(file(i, folders[(i / 3) % 5], names[(i * 7) % 7 == 0 ? i % 7 : (i * 5) % 7],
                               statuses[(i * 11) % 9], i % 13 ? "2025-03-" + std::to_string(10 + i % 4) : "",
                               (i * 37) % 50));
    const Collation collation;
    const auto reference = [&](const std::vector<int>& positions, FileSort sort) {
        std::vector<int> out = positions;
        const auto text = [&](int p) -> std::string {
            const FileResult& f = r.files[size_t(p)];
            switch (sort.column) {
                case FileColumn::name:
                    return collation.sortKey(f.name);
                case FileColumn::folder:
                    return collation.sortKey(f.folder);
                case FileColumn::path:
                    return collation.sortKey(f.relativePath);
                case FileColumn::status:
                    return std::string(label(f.status));
                case FileColumn::day:
                    return f.day;
                case FileColumn::size:
                    break;
            }
            return {};
        };
        const auto less = [&](int a, int b) {
            if (sort.column == FileColumn::size) return r.files[size_t(a)].size < r.files[size_t(b)].size;
            return text(a) < text(b);
        };
        std::stable_sort(out.begin(), out.end(),
                         [&](int a, int b) { return sort.ascending ? less(a, b) : less(b, a); });
        return out;
    };
    std::vector<int> all, some;
    for (int i = 0; i < int(r.files.size()); ++i) {
        all.push_back(i);
        if (i % 3 != 1) some.push_back(i);
    }
    const FileSortKeys keys(r, collation);
    FileSortKeys handed(r, collation);
    const auto stop = std::make_shared<std::atomic<bool>>(false);
    for (FileColumn column : {FileColumn::name, FileColumn::folder, FileColumn::path})
        handed.expect(column, FileSortKeys::rankJob(r, column, stop));
    for (FileColumn column : {FileColumn::path, FileColumn::name, FileColumn::status, FileColumn::day,
                              FileColumn::folder, FileColumn::size}) {
        for (bool up : {true, false}) {
            for (const std::vector<int>* shown : {&all, &some}) {
                const std::vector<int> expected = reference(*shown, {column, up});
                EXPECT_EQ(keys.sorted(r, *shown, {column, up}), expected) << int(column) << up;
                EXPECT_EQ(handed.sorted(r, *shown, {column, up}), expected) << int(column) << up;
            }
        }
    }
}

// A worker stopped before it is done gives no ranks, and ranks that do not fit the report are not
// taken: the keys are made here instead.
TEST(FilesSort, RanksThatDoNotFitAreMadeAgain) {
    VerifyReport r;
    r.files = {file(0, "B", "b.jpg", FileStatus::verified, "", 1),
               file(1, "A", "c.jpg", FileStatus::verified, "", 2),
               file(2, "C", "a.jpg", FileStatus::verified, "", 3)};
    const Collation collation;
    const auto stopped = std::make_shared<std::atomic<bool>>(true);
    EXPECT_TRUE(FileSortKeys::rankJob(r, FileColumn::name, stopped)().empty());
    FileSortKeys keys(r, collation);
    keys.expect(FileColumn::name, FileSortKeys::rankJob(r, FileColumn::name, stopped));
    keys.expect(FileColumn::folder, [] { return FileSortKeys::Ranks{0, 0, 0, 0}; });
    EXPECT_EQ(order(r, keys, {FileColumn::name, true}), "a.jpg b.jpg c.jpg");
    EXPECT_EQ(order(r, keys, {FileColumn::folder, true}), "c.jpg b.jpg a.jpg");
    // A job of another column than a text gives nothing to take.
    EXPECT_TRUE(FileSortKeys::rankJob(r, FileColumn::size, nullptr)().empty());
}

// Keys made for one report sort another only when every field they rank is the same, file by file;
// what a fold changes does not matter.
TEST(FilesSort, KeysHoldForTheSameFilesOnly) {
    VerifyReport made;
    made.files = {file(0, "DCIM/100", "A.JPG", FileStatus::backedUp, "2025-03-01", 10),
                  file(1, "DCIM/100", "B.JPG", FileStatus::missing, "2025-03-02", 20)};
    struct Row {
        const char* change;
        void (*apply)(VerifyReport&);
        bool holds;
    };
    const Row rows[] = {
        {"nothing", [](VerifyReport&) {}, true},
        {"statuses and copies",
         [](VerifyReport& r) {
             r.files[1].status = FileStatus::verified;
             r.files[1].copies = {{0, "x/B.JPG"}};
             r.files[0].detail = "note";
         },
         true},
        {"a name", [](VerifyReport& r) { r.files[1].name = "C.JPG"; }, false},
        {"a path", [](VerifyReport& r) { r.files[1].relativePath = "DCIM/101/B.JPG"; }, false},
        {"a folder", [](VerifyReport& r) { r.files[0].folder = "DCIM/101"; }, false},
        {"a day", [](VerifyReport& r) { r.files[0].day = ""; }, false},
        {"a size", [](VerifyReport& r) { r.files[1].size = 21; }, false},
        {"the order", [](VerifyReport& r) { std::swap(r.files[0], r.files[1]); }, false},
        {"a file more", [](VerifyReport& r) { r.files.push_back(r.files[0]); }, false},
        {"a file less", [](VerifyReport& r) { r.files.pop_back(); }, false},
    };
    for (const Row& row : rows) {
        VerifyReport other = made;
        row.apply(other);
        EXPECT_EQ(FileSortKeys::holdFor(made, other), row.holds) << row.change;
        // The digest made with a report tells the same.
        EXPECT_EQ(FileSortKeys::orderDigest(made) == FileSortKeys::orderDigest(other), row.holds)
            << row.change;
    }
}

TEST(FilesSort, ColumnNames) {
    EXPECT_EQ(fileColumnFromName("size"), FileColumn::size);
    EXPECT_EQ(fileColumnFromName("path"), FileColumn::path);
    EXPECT_EQ(fileColumnFromName("Size"), std::nullopt);
    EXPECT_EQ(fileColumnFromName("onBackup"), std::nullopt);
}

TEST(FilesTexts, CellsAndMenuTitles) {
    VerifyReport r;
    r.destinations.push_back(VolumeInfo{});
    r.destinations.back().name = "Archive";
    FileResult a = file(0, "DCIM", "<b>A</b>\n.JPG", FileStatus::missing, "", 1);
    FileResult b = file(1, "DCIM", "B.JPG", FileStatus::conflict, "", 1);
    b.detail = "Same name, other content";
    b.copies = {{0, "2025/DCIM/B.JPG", EvidenceLevel::sampled, false},
                {0, "old/B.JPG", EvidenceLevel::verified, false}};

    // Markup stays text and a line break cannot make a second line.
    EXPECT_EQ(statusText(a), "Missing");
    EXPECT_EQ(statusText(b), "Same name, other content");
    EXPECT_EQ(onBackupText(r, a), "");
    EXPECT_EQ(onBackupText(r, b), "Archive › 2025/DCIM/B.JPG");
    EXPECT_EQ(menuCopyTitle({&a}, 1), "Copy <b>A</b>\uFFFD.JPG");
    // Every id counts, known or not.
    EXPECT_EQ(menuCopyTitle({&a, &b}, 5), "Copy 5 files");
    // One id whose file is not known is one file, not a name.
    EXPECT_EQ(menuCopyTitle({}, 1), "Copy 1 file");
    EXPECT_EQ(menuCopyTitle({&a, &b}, 2), "Copy 2 files");
    EXPECT_EQ(menuCopyTitle({}, 0), "Copy 0 files");
    EXPECT_EQ(menuCopyTitle({&a, &b}, 1234, QLocale("en_US")), "Copy 1,234 files");

    const QLocale us("en_US");
    struct Chip {
        const char* day;
        const char* folder;
        const char* text;
    };
    const Chip chips[] = {{"2025-03-01", "DCIM/100MSDCF/", "Mar 1, 2025 · 100MSDCF"},
                          {"2025-03-01", "", "Mar 1, 2025 · "},
                          {"undated", "//", "undated · //"}};
    for (const Chip& c : chips) {
        ShootGroup g;
        g.day = c.day;
        g.folder = c.folder;
        EXPECT_EQ(shootChipText(g, us), c.text);
    }
}

// A face whose letters are as wide as they are drawn in most: "M" and "W" wide, "I", "i", "l",
// "." and "_" narrow.
double drawn(const QString& text) {
    double w = 0;
    for (QChar c : text)
        w += QStringLiteral("MW").contains(c) ? 12 : QStringLiteral("Iil._").contains(c) ? 3 : 7;
    return w;
}

// What the table may have to show whole: over the positions given only, the widest as drawn of
// each text column, every label and note shown, that a file shown left the card, each day once,
// the largest size of each unit.
TEST(FilesTexts, ColumnTextsOfTheRowsShown) {
    VerifyReport r;
    r.destinations.push_back(VolumeInfo{});
    r.destinations.back().name = "B1";
    r.files = {
        file(0, "DCIM/100CANON", "A1", FileStatus::verified, "2025-03-01", 999),
        file(1, "DCIM/101EOSR5", "IMG_0002.CR3", FileStatus::missing, "2025-03-01", 1'500'000),
        file(2, "X/Y", "Фото", FileStatus::conflict, "2025-03-04", 2'000'000),
        file(3, "A VERY LONG FOLDER NOT SHOWN", "A NAME NOT SHOWN", FileStatus::likely, "2024-01-01", 9)};
    r.files[0].copies = {{0, "Photos/A1", EvidenceLevel::sampled, false}};
    r.files[2].detail = "Same name, other content";
    const DateTexts dates(QLocale("en_US"));
    const ColumnWidths widths(r, drawn);
    const ColumnTexts t = widths.texts(r, {0, 1, 2}, dates, nullptr, QLocale("en_US"), 2);
    EXPECT_EQ(t.names, QStringList({"IMG_0002.CR3", "Фото"}));
    EXPECT_EQ(t.folders, QStringList({"DCIM/100CANON", "DCIM/101EOSR5"}));
    EXPECT_EQ(t.lastFolders, QStringList({"100CANON", "101EOSR5"}));
    EXPECT_EQ(t.backups, QStringList({"B1 › Photos/A1"}));
    EXPECT_EQ(t.labels, QStringList({"Verified", "Different file, same name", "Missing"}));
    EXPECT_EQ(t.notes, QStringList({"Same name, other content"}));
    EXPECT_EQ(t.days, QStringList({"Mar 1, 2025", "Mar 4, 2025"}));
    EXPECT_EQ(t.sizes, QStringList({"999 bytes", "2 MB"}));
    // The least a cut keeps of a name, of a copy's name: its number and extension.
    EXPECT_EQ(t.nameFloors, QStringList({"…0002.CR3", "…1"}));
    EXPECT_EQ(t.backupFloors, QStringList({"…1"}));
    EXPECT_EQ(widths.texts(r, {}, dates), ColumnTexts());

    // Names, folders and places of as many bytes are not as wide: the widest as drawn are kept,
    // wherever they come, not the first of a length.
    VerifyReport same;
    same.destinations = r.destinations;
    for (int i = 0; i < 6; ++i)
        same.files.push_back(
            file(i, i < 5 ? "DCIM/100IIIII" : "DCIM/100MWMWM",
                 (i < 5 ? "IMG_070" : "MVI_000") + std::to_string(i) + (i < 5 ? ".JPG" : ".MP4"),
                 FileStatus::verified, "2025-03-01", 10));
    for (FileResult& f : same.files) f.copies = {{0, "DCIM/" + f.name, EvidenceLevel::sampled, false}};
    const ColumnTexts widest =
        ColumnWidths(same, drawn).texts(same, {0, 1, 2, 3, 4, 5}, dates, nullptr, QLocale("en_US"), 2);
    EXPECT_EQ(widest.names, QStringList({"MVI_0005.MP4", "IMG_0700.JPG"}));
    EXPECT_EQ(widest.folders, QStringList({"DCIM/100MWMWM", "DCIM/100IIIII"}));
    EXPECT_EQ(widest.backups.value(0), "B1 › DCIM/MVI_0005.MP4");
    EXPECT_EQ(widest.nameFloors.value(0), "…0005.MP4");
    EXPECT_EQ(widest.backupFloors.value(0), "…0005.MP4");

    // A clip's sidecars differ only in the clip's number, which the least they keep holds.
    VerifyReport clips;
    clips.destinations = r.destinations;
    for (int i = 0; i < 3; ++i) {
        const std::string name = "C000" + std::to_string(i + 1) + "M01.XML";
        clips.files.push_back(file(i, "PRIVATE/M4ROOT/CLIP", name, FileStatus::verified, "2025-03-01", 10));
        clips.files.back().copies = {{0, "Card/PRIVATE/M4ROOT/CLIP/" + name, EvidenceLevel::sampled, false}};
    }
    const ColumnTexts sidecars =
        ColumnWidths(clips, drawn).texts(clips, {0, 1, 2}, dates, nullptr, QLocale("en_US"), 3);
    EXPECT_EQ(sidecars.nameFloors, QStringList({"…0001M01.XML", "…0002M01.XML", "…0003M01.XML"}));
    EXPECT_EQ(sidecars.backupFloors, sidecars.nameFloors);

    // A file shown that left the card has that said in its status, whose room the column keeps.
    const std::vector<char> gone{0, 0, 1, 0};
    EXPECT_TRUE(widths.texts(r, {0, 1, 2}, dates, &gone).labels.contains(goneFromCardText()));
    EXPECT_FALSE(widths.texts(r, {0, 1, 3}, dates, &gone).labels.contains(goneFromCardText()));
}

// A fold measures again only the files it changed: the texts found then over any rows shown are
// those of the report measured afresh, as copies, notes and statuses come and go, the widest among
// them narrowed included; so are those of widths measured in steps while folds came.
TEST(FilesTexts, ColumnTextsFollowFolds) {
    VerifyReport r;
    r.destinations.resize(2);
    r.destinations[0].name = "B1";
    r.destinations[1].name = "WIDE BACKUP";
    for (int i = 0; i < 6; ++i) {
        r.files.push_back(file(i, "DCIM/100", "IMG_000" + std::to_string(i) + ".JPG", FileStatus::missing,
                               "2025-03-01", 100));
    }
    const DateTexts dates(QLocale("en_US"));
    const std::vector<std::vector<int>> shown{{0, 1, 2, 3, 4, 5}, {1, 3, 5}, {}};
    struct Fold {
        const char* what;
        std::vector<int> files;
        FileStatus status;
        int backup;        // -1: no copy
        const char* copy;  // the copy's folder
        const char* note;  // nullptr: none
    };
    const Fold folds[] = {
        {"copies found", {0, 1, 2}, FileStatus::verified, 0, "Photos", nullptr},
        {"a wider place", {3}, FileStatus::backedUp, 1, "Photos/MMMM", nullptr},
        {"the widest place narrowed", {3}, FileStatus::verified, 0, "P", nullptr},
        {"notes", {4, 5}, FileStatus::conflict, -1, "", "Same name — other content"},
        {"a note goes, a copy comes", {5, 5}, FileStatus::verified, 0, "Photos", nullptr},
        {"a copy goes", {0}, FileStatus::missing, -1, "", nullptr},
    };
    ColumnWidths widths(r, drawn), stepped(r, drawn, 3);
    EXPECT_FALSE(stepped.measured());
    for (const Fold& fold : folds) {
        std::vector<ColumnTexts> before;
        for (const auto& rows : shown)
            before.push_back(widths.texts(r, rows, dates, nullptr, QLocale("en_US"), 2));
        for (int p : fold.files) {
            FileResult& f = r.files[size_t(p)];
            f.status = fold.status;
            f.copies.clear();
            if (fold.backup >= 0) f.copies = {{fold.backup, std::string(fold.copy) + "/" + f.name}};
            f.detail = fold.note ? std::optional<std::string>(fold.note) : std::nullopt;
        }
        widths.fold(r, fold.files);
        stepped.fold(r, fold.files);
        const ColumnWidths fresh(r, drawn);
        for (size_t k = 0; k < shown.size(); ++k)
            EXPECT_EQ(widths.texts(r, shown[k], dates, nullptr, QLocale("en_US"), 2),
                      fresh.texts(r, shown[k], dates, nullptr, QLocale("en_US"), 2))
                << fold.what << ", rows " << k;
        EXPECT_NE(widths.texts(r, shown[0], dates, nullptr, QLocale("en_US"), 2), before[0]) << fold.what;
    }
    EXPECT_FALSE(stepped.measure(r, 2));
    EXPECT_TRUE(stepped.measure(r, 1));
    for (const auto& rows : shown)
        EXPECT_EQ(stepped.texts(r, rows, dates, nullptr, QLocale("en_US"), 2),
                  widths.texts(r, rows, dates, nullptr, QLocale("en_US"), 2));
}

TEST(FilesTexts, Inspector) {
    const QLocale us("en_US");
    const QTimeZone berlin("Europe/Berlin");
    const TimeNs noonUtc = TimeNs(1'740'830'400) * 1'000'000'000;  // 2025-03-01 12:00:00 UTC
    struct Row {
        std::optional<DateSource> source;  // none: no capture
        bool hasDate;
        const char* label;
        const char* value;
    };
    const Row rows[] = {
        {DateSource::exif, true, "Taken", "Mar 1, 2025, 1:00:00\u202FPM"},
        {DateSource::quickTime, true, "Taken", "Mar 1, 2025, 1:00:00\u202FPM"},
        {DateSource::sonyDateFolder, true, "Taken", "Mar 1, 2025, 1:00:00\u202FPM"},
        {DateSource::fileModified, true, "Shoot day", "Feb 28, 2025"},
        {DateSource::exif, false, "Shoot day", "Feb 28, 2025"},
        {std::nullopt, false, "Shoot day", "Feb 28, 2025"},
    };
    for (const Row& row : rows) {
        FileResult f = file(0, "", "A.JPG", FileStatus::verified, "2025-02-28", 0);
        if (row.source) {
            f.capture = CaptureInfo{};
            f.capture->source = *row.source;
            if (row.hasDate) f.capture->date = noonUtc;
        }
        const DateRow d = dateRow(f, us, berlin);
        EXPECT_EQ(d.label, row.label);
        EXPECT_EQ(d.value.toStdU16String(), QString::fromUtf8(row.value).toStdU16String());
    }

    EXPECT_EQ(evidenceText(EvidenceLevel::verified), "Every byte matches");
    for (EvidenceLevel l : {EvidenceLevel::none, EvidenceLevel::plausible, EvidenceLevel::sampled})
        EXPECT_EQ(evidenceText(l), "Content matches (sampled)");

    VerifyReport cardOnly, compared;
    compared.destinations.push_back(VolumeInfo{});
    FileResult bare = file(0, "", "A.JPG", FileStatus::missing, "", 0);
    FileResult copied = file(1, "DCIM/100", "B.JPG", FileStatus::verified, "", 0);
    copied.copies.push_back({0, "B.JPG", EvidenceLevel::verified, false});
    EXPECT_EQ(backupsNote(cardOnly, bare), "Not compared — this was a card-only scan.");
    EXPECT_EQ(backupsNote(compared, bare), "No copy found.");
    EXPECT_EQ(backupsNote(compared, copied), "");
    // The card's file was read whole, but not from the card: its copies are proven by content only.
    copied.cardDoubt = MediumDoubt::cacheHeld;
    EXPECT_EQ(
        backupsNote(compared, copied),
        "Not read from the card: read through memory, which another program holds. Close that program and "
        "verify again.");
    EXPECT_EQ(onCardText(bare), "/");
    EXPECT_EQ(onCardText(copied), "DCIM/100");
}

// Under a copy read whole but not from its drive: why, and what the user can do about it; the same
// of the card's file, where nothing but keeping the card helps with what lies beneath the card. A
// copy on the card's own drive (a disk image on the card) never counts: no remedy leads back to it.
TEST(FilesInspector, ACopyNotProvenSaysWhyAndWhatToDo) {
    using D = MediumDoubt;
    enum Where { card, backup, onCard };
    const struct {
        MediumDoubt doubt;
        Where where;
        const char* note;
    } rows[] = {
        {D::memory, backup, "Not read from the drive: kept in memory, not on a drive. Back up to a drive."},
        {D::memory, card, "Not read from the card: kept in memory, not on a drive."},
        {D::inMetadata, backup,
         "Not read from the drive: in the file system's metadata, which no drive read reaches. "
         "Add a backup on another drive."},
        {D::inMetadata, card,
         "Not read from the card: in the file system's metadata, which no drive read reaches."},
        {D::othersFile, backup,
         "Not read from the drive: another user's file, whose cache can't be checked. Check as their owner."},
        {D::diskImage, backup,
         "Not read from the drive: in a disk image read through memory. Back up to the drive that holds the "
         "image."},
        {D::diskImage, onCard,
         "Not read from the drive: in a disk image read through memory. It's on the card's own drive, so it "
         "doesn't count as a separate copy."},
    };
    VerifyReport r;
    r.source.drive.raw = "dev:card";
    r.destinations.resize(2);
    r.destinations[0].drive.raw = "dev:backup";
    r.destinations[1].drive.raw = "dev:backup + dev:card";  // spread over the card's drive and another
    for (const auto& row : rows) {
        const CopyRef copy{
            row.where == onCard ? 1 : 0, "A.JPG", EvidenceLevel::sampled, false, "", row.doubt};
        EXPECT_EQ((row.where == card ? doubtNote(row.doubt, true) : copyDoubtNote(r, copy)).toStdString(),
                  row.note)
            << rawValue(row.doubt) << row.where;
    }
    EXPECT_EQ(copyDoubtNote(r, {1, "A.JPG", EvidenceLevel::verified}), "") << "a copy whose read counted";
}

TEST(FilesKeys, ArrowsMoveTheSelectionWithinTheRowsShown) {
    struct Step {
        int current, step, count, columns, expected;
        const char* why;
    };
    const Step steps[] = {
        {-1, 1, 5, 1, 0, "nothing selected: Down takes the first row"},
        {-1, -1, 5, 1, 4, "nothing selected: Up takes the last row"},
        {-1, 1, 0, 1, -1, "no rows: nothing to take"},
        {2, 1, 5, 1, 3, "Down"},
        {2, -1, 5, 1, 1, "Up"},
        {4, 1, 5, 1, 4, "the last row stays"},
        {0, -1, 5, 1, 0, "the first row stays"},
        {1, 20, 5, 1, 4, "a page past the end stops at the last row"},
        {9, 1, 5, 1, 0, "a selection the filters hide starts again from the first row"},
        {5, 1, 10, 4, 6, "grid: Right"},
        {4, -1, 10, 4, 4, "grid: Left at a line's start stays"},
        {7, 1, 10, 4, 7, "grid: Right at a line's end stays"},
        {1, 4, 10, 4, 5, "grid: Down"},
        {6, 4, 10, 4, 9, "grid: Down into the short last line lands on its last tile"},
        {9, 4, 10, 4, 9, "grid: Down from the last line stays"},
        {2, -4, 10, 4, 2, "grid: Up from the first line stays"},
        {9, -4, 10, 4, 5, "grid: Up"},
    };
    for (const Step& s : steps)
        EXPECT_EQ(stepSelection(s.current, s.step, s.count, s.columns), s.expected) << s.why;
}

// Page Up and Page Down move by whole lines and stop at the grid's edges instead of staying put.
TEST(Files, PageSelection) {
    struct Page {
        int current, lines, count, columns, expected;
        const char* why;
    };
    const Page pages[] = {
        {-1, -3, 20, 4, 19, "nothing selected: Page Up takes the last tile"},
        {1, 2, 20, 4, 9, "two lines down, same column"},
        {5, 10, 20, 4, 17, "past the end: the last line, same column"},
        {6, 10, 18, 4, 17, "the short last line: its last tile"},
        {14, -10, 20, 4, 2, "past the start: the first line, same column"},
    };
    for (const Page& p : pages)
        EXPECT_EQ(pageSelection(p.current, p.lines, p.count, p.columns), p.expected) << p.why;
}

// Page Up and Page Down scroll a view by what it shows, less a line kept in sight, within its ends.
TEST(Files, PageScroll) {
    struct Scroll {
        double position;
        int pages;
        double height, top, bottom, expected;
        const char* why;
    };
    const Scroll scrolls[] = {
        {0, 1, 500, 0, 2000, 460, "a page down keeps a line of the last one"},
        {460, -1, 500, 0, 2000, 0, "and a page up goes back"},
        {1800, 1, 500, 0, 2000, 2000, "not past the end"},
        {200, -1, 500, 0, 2000, 0, "not before the start"},
        {-12, 1, 500, -12, -12, -12, "content that fits (a margin above it) stays"},
        {0, 2, 60, 0, 400, 60, "a short view still moves half of itself"},
        {0, 1, 0, 0, 400, 0, "a view not laid out yet stays"},
    };
    for (const Scroll& s : scrolls)
        EXPECT_DOUBLE_EQ(pageScroll(s.position, s.pages, s.height, s.top, s.bottom), s.expected) << s.why;
}

}  // namespace
}  // namespace halvetrop::present

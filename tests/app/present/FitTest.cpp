#include <gtest/gtest.h>

#include "present/Fit.h"

namespace halvetrop::present {
namespace {

const QLocale us("en_US");

// Every character 7 px wide, as a monospaced face would draw it.
double mono(const QString& text) { return 7.0 * double(text.size()); }

TEST(Fit, ActionRowItemsInEveryForm) {
    struct Row {
        HeroActions actions;
        int64_t lastCopy;
        QStringList full, compact, symbols;
    };
    const Row rows[] = {
        {{.copyable = 0}, 0, {"Check Another Card"}, {"Next Card"}, {""}},
        {{.copyable = 1234, .verify = true, .lastCopy = true, .eject = true},
         7,
         {"Copy 1,234 to Backup…", "Verify Every Byte", "Last Copy (7)", "Check Another Card", "Eject"},
         {"Copy 1,234…", "Verify All", "Last Copy", "Next Card", "Eject"},
         {"Copy 1,234…", "", "", "", ""}},
        // The full label's count grouped, as every count of files.
        {{.copyable = 1, .lastCopy = true},
         12345,
         {"Copy 1 to Backup…", "Last Copy (12,345)", "Check Another Card"},
         {"Copy 1…", "Last Copy", "Next Card"},
         {"Copy 1…", "", ""}},
    };
    for (const auto& row : rows) {
        const auto items = heroActionItems(row.actions, row.lastCopy, us);
        ASSERT_EQ(items.size(), size_t(row.full.size()));
        for (size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(itemText(items[i], RowForm::full), row.full[qsizetype(i)]);
            EXPECT_EQ(itemText(items[i], RowForm::compact), row.compact[qsizetype(i)]);
            EXPECT_EQ(itemText(items[i], RowForm::symbols), row.symbols[qsizetype(i)]);
            EXPECT_FALSE(items[i].symbol.isEmpty()) << items[i].id.toStdString();
        }
    }
    EXPECT_EQ(lastCopyLabel(7, true), "Last Copy");
    EXPECT_EQ(lastCopyLabel(7, false), "Last Copy (7)");
}

TEST(Fit, ActionRowFallsBackAsAWhole) {
    // With the gaps the full row is 520 wide, the compact one 379, the symbols one 235.
    const std::vector<std::array<double, 3>> widths{
        {170, 100, 100}, {140, 90, 30}, {140, 80, 30}, {46, 85, 51}};
    struct Row {
        double available;
        RowFit fit;
    };
    const Row rows[] = {
        {2000, {RowForm::full, true}},    {520, {RowForm::full, true}},    {519.5, {RowForm::compact, true}},
        {379, {RowForm::compact, true}},  {378, {RowForm::symbols, true}}, {235, {RowForm::symbols, true}},
        {234, {RowForm::symbols, false}}, {-5, {RowForm::symbols, false}},
    };
    for (const auto& row : rows) EXPECT_EQ(fitRow(widths, 8, row.available), row.fit) << row.available;
    EXPECT_EQ(fitRow({}, 8, 0), (RowFit{RowForm::full, true}));
    // A form narrower overall wins even when one of its buttons is wider than in the form before.
    EXPECT_EQ(fitRow({{100, 120, 20}, {200, 50, 20}}, 0, 170), (RowFit{RowForm::compact, true}));
    // The lead keeps its words: its compact width is its symbols one (the compact row may already
    // show its full text), and the compact row gives it its full text while the row fits so.
    const std::vector<std::array<double, 3>> led{{170, 170, 100}, {140, 90, 30}, {140, 80, 30}, {46, 85, 51}};
    const Row ledRows[] = {
        {520, {RowForm::full, true}},           {519.5, {RowForm::compact, true, true}},
        {449, {RowForm::compact, true, true}},  {448, {RowForm::compact, true, false}},
        {379, {RowForm::compact, true, false}}, {378, {RowForm::symbols, true}},
    };
    for (const auto& row : ledRows) EXPECT_EQ(fitRow(led, 8, row.available, 0), row.fit) << row.available;
    EXPECT_EQ(fitRow(led, 8, 449, 7), (RowFit{RowForm::compact, true, false})) << "no such lead";
}

TEST(Fit, PathsAreCutFromTheirStart) {
    const QString path = QStringLiteral("Archive/Photos/2024-04-16");  // 25 characters
    struct Row {
        double width;
        const char* text;
    };
    // Whole names behind "…/"; the last one whole behind "…", else cut in its middle: a name is
    // never cut at its start, where what is left could be read as another folder.
    const Row rows[] = {
        {175, "Archive/Photos/2024-04-16"},
        {174, "…/Photos/2024-04-16"},
        {133, "…/Photos/2024-04-16"},
        {132, "…/2024-04-16"},
        {84, "…/2024-04-16"},
        {83, "…2024-04-16"},
        {77, "…2024-04-16"},
        {76, "2024-…4-16"},
        {21, "2…6"},
        {14, "2…"},
        {13, "…"},
        {7, "…"},
        {6, ""},
    };
    for (const auto& row : rows) {
        const Cut cut = cutFromStart(path, row.width, mono);
        EXPECT_EQ(cut.text.toStdString(), row.text) << row.width;
        EXPECT_EQ(cut.full, path);
        EXPECT_EQ(cut.cut, cut.text != path) << row.width;
        EXPECT_LE(mono(cut.text), row.width);
    }
    // A leading or a trailing slash leaves no empty name behind the ellipsis.
    EXPECT_EQ(cutFromStart(QStringLiteral("/media/ana/DRIVE"), 80, mono).text, QStringLiteral("…/ana/DRIVE"));
    EXPECT_EQ(cutFromStart(QStringLiteral("DCIM/100MSDCF/"), 90, mono).text, QStringLiteral("…/100MSDCF/"));
    EXPECT_EQ(cutFromStart(QString(), 0, mono), (Cut{QString(), QString(), false}));
    // Too narrow for the ellipsis (a cell before its width is known): nothing, found at once.
    int measured = 0;
    const auto counting = [&](const QString& s) {
        ++measured;
        return mono(s);
    };
    for (double width : {0.0, -19.0, 6.0}) {
        measured = 0;
        EXPECT_EQ(cutFromStart(path, width, counting), (Cut{QString(), path, true})) << width;
        EXPECT_LE(measured, 2) << width;
    }
}

// A drive's short name stays in front of whole trailing folders; a long one goes as any other.
// A file's name cut at the end of a path keeps its number and extension.
TEST(Fit, PathsKeepADrivesShortNameAndAFilesNumber) {
    const QString place = QStringLiteral("SSD1/Photos/2024/Hochzeit_Mueller_Schmidt/2024-04-15");
    const QString longDrive = QStringLiteral("Archive_of_the_wedding_season/Photos/2024-04-15");
    const QString file = QStringLiteral("Archive/Photos/IMG_0001.JPG");
    struct Row {
        QString path;
        double width;
        CutRule rule;
        const char* text;
    };
    const Row rows[] = {
        {place, 300, {.keepFirst = true}, "SSD1/…/Hochzeit_Mueller_Schmidt/2024-04-15"},
        {place, 140, {.keepFirst = true}, "SSD1/…/2024-04-15"},
        {place, 140, {}, "…/2024-04-15"},
        {place, 100, {.keepFirst = true}, "…/2024-04-15"},
        {longDrive, 140, {.keepFirst = true}, "…/Photos/2024-04-15"},
        {file, 63, {.fileName = true}, "…0001.JPG"},
        {file, 56, {.fileName = true}, "…"},
        {file, 63, {}, "IMG_….JPG"},
    };
    for (const auto& row : rows) {
        const Cut cut = cutFromStart(row.path, row.width, mono, row.rule);
        EXPECT_EQ(cut.text.toStdString(), row.text) << row.width;
        EXPECT_LE(mono(cut.text), row.width);
    }
}

// A file's name cut keeps its number (the digits nearest its extension) and its extension whole,
// so that names that differ there never read alike; what lies before the number and between it
// and the extension gives way. Where even those do not fit, it is cut in its middle.
TEST(Fit, NamesKeepTheirNumberAndExtension) {
    struct Row {
        const char* name;
        double width;
        const char* text;
    };
    const Row rows[] = {
        {"IMG_0001.JPG", 84, "IMG_0001.JPG"},
        {"IMG_0001.JPG", 77, "I…_0001.JPG"},
        {"IMG_0001.JPG", 70, "I…0001.JPG"},
        {"IMG_0011.JPG", 70, "I…0011.JPG"},
        {"IMG_0001.JPG", 56, "…"},
        {"IMG_0001.JPG", 6, ""},
        {"DSC_0042_edited_final.ARW", 98, "D…0042_e…l.ARW"},
        {"Vacation.JPG", 70, "Vac…on.JPG"},
        {"README", 35, "RE…ME"},
        // A clip's sidecar keeps the clip's number: "C…01.XML" would read the same for all of them.
        {"C0002M01.XML", 84, "C0002M01.XML"},
        {"C0002M01.XML", 83, "…"},
        {"Clip_C0002M01.XML", 98, "C…C0002M01.XML"},
    };
    for (const auto& row : rows) {
        const Cut cut = cutName(QString::fromUtf8(row.name), row.width, mono);
        EXPECT_EQ(cut.text.toStdString(), row.text) << row.name << " in " << row.width;
        EXPECT_EQ(cut.cut, cut.text != QString::fromUtf8(row.name)) << row.name;
        EXPECT_LE(mono(cut.text), row.width) << row.name;
    }
    // The least a cut keeps, the room a column gives a name; found alike from a name's bytes.
    const std::pair<const char*, const char*> floors[] = {
        {"IMG_0001.JPG", "…0001.JPG"},
        {"DSC_0042_edited_final.ARW", "…0042….ARW"},
        {"Vacation.JPG", "….JPG"},
        {"notes", "…"},
        {"clip.not-an-extension", "…"},
        {"C0001M01.XML", "…0001M01.XML"},
        {"GX010123.MP4", "…010123.MP4"},
        {"MVI_0012.MOV", "…0012.MOV"},
        {"A001_C002_0415.braw", "…0415.braw"},
        {"clip7abc9.MP4", "…9.MP4"},
    };
    for (const auto& [name, floor] : floors) {
        EXPECT_EQ(nameFloor(QString::fromUtf8(name)).toStdString(), floor) << name;
        EXPECT_EQ(nameEnds(std::string_view(name)), nameEnds(QString::fromUtf8(name))) << name;
    }
}

// Names and paths in any script keep their order in a line read left to right: each name that
// holds right-to-left text (or a direction control of its own) isolated, a file's extension after
// its stem, the whole isolated left to right. Text of left-to-right scripts is left as it is.
TEST(Fit, NamesAndPathsKeepTheirOrder) {
#define L "\u200E\u2066"
#define F "\u2068"
#define P "\u2069"
    struct Row {
        const char* text;
        bool fileName;
        const char* path;  // isolatedPath
        const char* name;  // isolatedName
    };
    const Row rows[] = {
        {"DCIM/100CANON/IMG_0001.JPG", true, "DCIM/100CANON/IMG_0001.JPG", "DCIM/100CANON/IMG_0001.JPG"},
        {"Фото/Свадьба_0001.JPG", true, "Фото/Свадьба_0001.JPG", "Фото/Свадьба_0001.JPG"},
        {"صور/2024/IMG_0001.JPG", true, L F "صور" P "/2024/IMG_0001.JPG" P,
         L F "صور/2024/IMG_0001" P ".JPG" P},
        {"צילומים/חתונה_0102.JPG", true, L F "צילומים" P "/" F "חתונה_0102" P ".JPG" P,
         L F "צילומים/חתונה_0102" P ".JPG" P},
        {"صورة_0004.JPG", false, L F "صورة_0004.JPG" P P, L F "صورة_0004" P ".JPG" P},
        // A drive's name before " › ", a cut path's ellipsis, and an extension in another script.
        {"גיבוי › DCIM/…/IMG.JPG", true, L F "גיבוי" P " › DCIM/…/IMG.JPG" P,
         L F "גיבוי › DCIM/…/IMG" P ".JPG" P},
        {"…/أرشيف/x.صور", true, L "…/" F "أرشيف" P "/x." F "صور" P P, L F "…/أرشيف/x" P "." F "صور" P P},
        // A name that turns itself around ("exe" drawn as "gpj") stays inside its own isolate.
        {"photo\u202Egpj.exe", true, L F "photo\u202Egpj" P ".exe" P, L F "photo\u202Egpj" P ".exe" P},
    };
#undef L
#undef F
#undef P
    for (const auto& row : rows) {
        const QString text = QString::fromUtf8(row.text);
        EXPECT_EQ(isolatedPath(text, row.fileName).toStdString(), row.path) << row.text;
        EXPECT_EQ(isolatedName(text).toStdString(), row.name) << row.text;
    }
    EXPECT_EQ(isolated(QStringLiteral("Archive 2025")), QStringLiteral("Archive 2025"));
    EXPECT_EQ(isolated(QString::fromUtf8("ארכיון 2025")), QString::fromUtf8("\u2068ארכיון 2025\u2069"));
    EXPECT_EQ(isolatedPath(QString()), QString());
}

TEST(Fit, CutsKeepWhatAReaderSeesAsOneCharacter) {
    // "e" and a combining acute accent, and a flag made of two regional indicators (four UTF-16
    // units): each stays whole or goes whole.
    const QString accent = QStringLiteral("Fotos/Cafe\u0301");
    const QString flag = QStringLiteral("Trips/\U0001F1F3\U0001F1F4x");
    struct Row {
        QString path;
        double width;
        QString text;
    };
    const Row rows[] = {
        {accent, 28, QStringLiteral("C…e\u0301")},
        {accent, 27, QStringLiteral("C…")},
        {flag, 42, QStringLiteral("…\U0001F1F3\U0001F1F4x")},
        {flag, 41, QStringLiteral("\U0001F1F3\U0001F1F4…")},
        {flag, 34, QStringLiteral("…")},
    };
    for (const auto& row : rows)
        EXPECT_EQ(cutFromStart(row.path, row.width, mono).text, row.text) << row.width;
}

ShootGroup shoot(const std::string& camera, int files) {
    ShootGroup g;
    g.camera = camera;
    for (int i = 0; i < files; ++i) g.fileIDs.push_back(i);
    return g;
}

TEST(Fit, CameraSharesOncePerCameraInChipOrder) {
    const auto shares = cameraShares({shoot("Z 9", 3), shoot("A7 IV", 4), shoot("", 9), shoot("A7 IV", 5)});
    EXPECT_EQ(shares, (std::vector<CameraShare>{{"A7 IV", 9}, {"Z 9", 3}}));
    EXPECT_TRUE(cameraShares({}).empty());
}

TEST(Fit, TooManyCamerasKeepTheMainOnes) {
    const std::vector<CameraShare> chips{{"A", 10}, {"B", 50}, {"C", 5}, {"D", 20}, {"E", 20}};
    const std::vector<double> widths{40, 60, 40, 40, 40};
    auto more = [](int n) { return n < 10 ? 24.0 : 31.0; };
    struct Row {
        double available;
        std::vector<int> shown;
        const char* more;
        QStringList hidden;
        double squeezed;
    };
    const Row rows[] = {
        // 5 chips and 4 gaps of 4.
        {236, {0, 1, 2, 3, 4}, "", {}, -1},
        // The fewest files go first; D stays before E on a tie.
        {235, {0, 1, 3, 4}, "+1", {"C"}, -1},
        {183, {1, 3, 4}, "+2", {"A", "C"}, -1},
        {139, {1, 3}, "+3", {"A", "C", "E"}, -1},
        {95, {1}, "+4", {"A", "C", "D", "E"}, -1},
        // Not even the main camera beside "+4": it is narrowed to what is left.
        {80, {1}, "+4", {"A", "C", "D", "E"}, 52},
        {10, {1}, "+4", {"A", "C", "D", "E"}, 0},
    };
    for (const auto& row : rows) {
        const ChipFit fit = fitChips(chips, widths, 4, row.available, more);
        EXPECT_EQ(fit.shown, row.shown) << row.available;
        EXPECT_EQ(fit.more.toStdString(), row.more) << row.available;
        EXPECT_EQ(fit.hidden, row.hidden) << row.available;
        EXPECT_EQ(fit.squeezed, row.squeezed) << row.available;
    }
    // One camera too wide for the line is narrowed, with no "+N" beside it.
    const ChipFit one = fitChips({{"A very long camera name", 3}}, {200}, 4, 120, more);
    EXPECT_EQ(one.shown, std::vector<int>{0});
    EXPECT_TRUE(one.more.isEmpty());
    EXPECT_EQ(one.squeezed, 120);
    EXPECT_EQ(fitChips({}, {}, 4, 100, more), ChipFit{});
}

TEST(Fit, TheCardNameGivesWayBeforeTheMainCamera) {
    const std::vector<CameraShare> chips{{"A", 10}, {"B", 50}};
    const std::vector<double> widths{40, 100};
    auto more = [](int) { return 24.0; };
    struct Row {
        double name, available;
        std::vector<int> shown;
        double squeezed, nameWidth;
    };
    const Row rows[] = {
        {200, 400, {0, 1}, -1, 200},  // everything whole
        {200, 300, {0, 1}, -1, 152},  // the name gives way to both chips and their gaps
        {200, 200, {1}, -1, 68},      // not below its floor of 60: "+1" for the other camera
        {200, 150, {1}, 58, 60},      // the main camera narrowed only beside the name's floor
        {40, 150, {1}, 78, 40},       // a name shorter than the floor keeps its own width
        {200, 100, {1}, 8, 60},
    };
    for (const Row& row : rows) {
        const EyebrowFit fit = fitEyebrow(row.name, 60, chips, widths, 4, row.available, more);
        EXPECT_EQ(fit.chips.shown, row.shown) << row.available;
        EXPECT_EQ(fit.chips.squeezed, row.squeezed) << row.available;
        EXPECT_EQ(fit.nameWidth, row.nameWidth) << row.available;
    }
    EXPECT_EQ(fitEyebrow(200, 60, {}, {}, 4, 150, more).nameWidth, 150);
}

TEST(Fit, TableColumnsGiveWayInTurn) {
    // A fixed column, a name, a status whose note gives way to its label, and a path that takes
    // what is left over: the status first, then the path, then the name, then each below that.
    const std::vector<double> needs{20, 200, 150, 300};
    const std::vector<GiveWay> steps{{2, 100}, {3, 120}, {1, 120}, {3, 40}, {1, 60}, {2, 60}};
    struct Row {
        double available;
        std::vector<double> widths;
    };
    const Row rows[] = {
        {670, {20, 200, 150, 300}},  // every column as its content needs
        {770, {20, 200, 150, 400}},  // the last column takes the rest
        {640, {20, 200, 120, 300}},  // the note goes first, and only as far as needed
        {540, {20, 200, 100, 220}},  // then the path; the name stays whole
        {400, {20, 160, 100, 120}},  // the name only once the others are down to their floors
        {290, {20, 120, 100, 50}},   // below the floors in the same order
        {200, {20, 60, 80, 40}},     // as far down as the table needs, and no further
        {150, {20, 60, 60, 40}},     // never below the last steps: the table overflows
    };
    for (const Row& row : rows)
        EXPECT_EQ(fitColumns(needs, steps, row.available, 3), row.widths) << row.available;
}

TEST(Fit, AShootsFanGivesWayBeforeItsTitle) {
    // A fan of five tiles is 214 wide at ease and 166 at its tightest; a title of 187 and a chip
    // of 81, 8 apart, need 276 beside it, 16 after the fan.
    struct Row {
        int tiles;
        double title, chip, room;
        ShootLineFit fit;
    };
    const Row rows[] = {
        {5, 187, 81, 700, {214, 34, 187, 81}},    // room to spare: the frame of the widest fan
        {3, 187, 81, 700, {214, 34, 187, 81}},    // fewer tiles in the same frame, at ease
        {5, 187, 81, 480, {188, 27.5, 187, 81}},  // the tiles overlap more, the line stays whole
        {3, 187, 81, 422, {130, 26, 187, 81}},    // the frame shrinks to its tiles, then they close up
        // At its tightest the fan gives no more: a chip narrower than its floor stays whole, and
        // only then is the title cut.
        {5, 187, 81, 430, {166, 22, 159, 81}},
        // One picture needs one tile: a long camera narrows, the title stays whole.
        {1, 187, 200, 430, {78, 34, 187, 141}},
        {1, 187, 200, 360, {78, 34, 169, 89}},  // the chip at its floor, the title cut
        {0, 500, 0, 430, {78, 34, 336, 0}},     // no camera: the title takes the line
        {0, 100, 0, 50, {78, 34, 0, 0}},        // no room at all
    };
    for (const Row& row : rows)
        EXPECT_EQ(fitShootLine(row.tiles, row.title, row.chip, 89, 8, 16, row.room), row.fit)
            << row.tiles << " tiles in " << row.room;
}

TEST(Fit, AShootsStatusKeepsItsCountsWhole) {
    // After a symbol of 19: a sentence of 230; a link of 30 (prefix and chevron), its backup's name
    // of 75 (kept to 60 at least) and its folder of 90 (its last part 45), 6 after the sentence.
    struct Row {
        double sentence;
        bool link;
        double room;
        StatusLineFit fit;
    };
    const Row rows[] = {
        {230, false, 400, {false, 230, 0, 0}},
        {500, false, 300, {false, 281, 0, 0}},    // wider than its line: it wraps, never cut
        {230, true, 600, {false, 230, 75, 240}},  // the folder has room beyond its own width
        {230, true, 400, {false, 230, 70, 45}},   // the link gives way: name, then folder to its end
        {230, true, 380, {true, 230, 75, 256}},   // not even that: the link goes under the sentence
        {400, true, 300, {true, 281, 75, 176}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(fitStatusLine(19, row.sentence, row.link, 30, 75, 60, 90, 45, 6, row.room), row.fit)
            << row.sentence << " in " << row.room;
}

TEST(Fit, SentencesCutTheNamesTheyQuote) {
    const QString card = QStringLiteral("\u201CABCDEFGHIJKLMNOPQRST\u201D was just inserted");  // 40
    const QString two =
        QStringLiteral("\u201CAAAAAAAAAAAAAAAAAAAA\u201D and \u201CBBBBBBBBBBBB\u201D left");  // 46
    struct Row {
        QString text;
        double width;
        QString shown;
    };
    const Row rows[] = {
        {card, 280, card},
        {card, 210, QStringLiteral("\u201CABCDE\u2026QRST\u201D was just inserted")},
        // Never below the floor of 8 characters, even where the sentence still does not fit.
        {card, 100, QStringLiteral("\u201CABCD\u2026QRST\u201D was just inserted")},
        // The longest name goes first, and only as far as needed.
        {two, 280, QStringLiteral("\u201CAAAAAAA\u2026AAAAAA\u201D and \u201CBBBBBBBBBBBB\u201D left")},
        {two, 210, QStringLiteral("\u201CAAAA\u2026AAAA\u201D and \u201CBBBB\u2026BBBB\u201D left")},
        // A sentence that quotes nothing is left as it is.
        {QStringLiteral("Insert CARD to check it again."), 50,
         QStringLiteral("Insert CARD to check it again.")},
        {QStringLiteral("\u201Cunclosed name"), 50, QStringLiteral("\u201Cunclosed name")},
    };
    for (const Row& row : rows) {
        const QString shown = shortenNames(row.text, [&](const QString& t) { return mono(t) <= row.width; });
        EXPECT_EQ(shown.toStdString(), row.shown.toStdString()) << row.width;
    }
    // An accent stays on its letter: twelve accented letters cut to nine keep whole pairs.
    QString accented = QStringLiteral("\u201C");
    for (int i = 0; i < 12; ++i) accented += QStringLiteral("e\u0301");
    accented += QStringLiteral("\u201D!");
    const QString cut = shortenNames(accented, [](const QString& t) { return t.size() <= 22; });
    EXPECT_EQ(cut, QStringLiteral(
                       "\u201Ce\u0301e\u0301e\u0301e\u0301e\u0301\u2026e\u0301e\u0301e\u0301e\u0301\u201D!"));
}

}  // namespace
}  // namespace halvetrop::present

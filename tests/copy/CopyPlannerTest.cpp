#include "copy/CopyPlanner.h"

#include "copy/CopyError.h"
#include "drives/Drives.h"
#include "report/Report.h"
#include "support/TempDir.h"
#include "text/Utf8.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <random>

namespace halvetrop {
namespace {

using test::TempDir;

struct PlannerFixture : ::testing::Test {
    TempDir tmp{"planner"};
    std::string card, backup;
    VerifyReport report;

    void SetUp() override {
        card = tmp.mkdir("card");
        backup = tmp.mkdir("backup");
        report.source.path = card;
        report.source.name = "EOS_DIGITAL";
        // The backup as a check records it: the planner holds a plan to the volume recorded.
        report.destinations.push_back(Drives::info(backup));
    }
    FileResult& add(std::int64_t id, std::string folder, std::string name, std::string day = "2024-05-17", std::int64_t size = 10) {
        FileResult f;
        f.id = id;
        f.folder = std::move(folder);
        f.name = std::move(name);
        f.relativePath = join(f.folder, f.name);
        f.day = std::move(day);
        f.size = size;
        report.files.push_back(f);
        return report.files.back();
    }
    // A card file as the verifier reports one whose folder or name is not UTF-8.
    FileResult& addBytes(std::int64_t id, const std::string& folder, const std::string& name) {
        FileResult& f = add(id, repairUtf8(folder), repairUtf8(name));
        if (const std::string bytes = join(folder, name); bytes != f.relativePath) f.rawRelativePath = bytes;
        return f;
    }
    // What the planner finds at the backup's root; the file system's own answer when empty.
    std::function<VolumeInfo(const std::string&)> live;
    CopyPlan plan(std::vector<std::int64_t> ids, const CopyLayout& layout, std::string location = "", std::string base = "") {
        return CopyPlanner::plan(report, ids, 0, layout, location, base, live);
    }
    CopyError planError(std::vector<std::int64_t> ids, const CopyLayout& layout, std::string location = "", std::string base = "") {
        try {
            plan(std::move(ids), layout, std::move(location), std::move(base));
        } catch (const CopyError& e) {
            return e;
        }
        ADD_FAILURE() << "no refusal";
        return CopyError::cancelled();
    }
};

TEST_F(PlannerFixture, KeepsCardStructure) {
    add(1, "DCIM/100CANON", "IMG_0001.JPG", "2024-05-17", 100);
    add(2, "", "ROOT.TXT", "", 5);
    const CopyPlan p = plan({1, 2, 99}, CopyLayout::keepCardStructure());
    ASSERT_EQ(p.items.size(), 2u);  // unknown ids are skipped
    EXPECT_EQ(p.root, backup);
    EXPECT_EQ(p.card, card);
    EXPECT_EQ(p.items[0].destDir, backup + "/DCIM/100CANON");
    EXPECT_EQ(p.items[0].source, card + "/DCIM/100CANON/IMG_0001.JPG");
    EXPECT_EQ(p.items[0].destination(), backup + "/DCIM/100CANON/IMG_0001.JPG");
    EXPECT_EQ(p.items[1].destDir, backup);
    EXPECT_EQ(p.totalBytes(), 105);
}

TEST_F(PlannerFixture, LocationChecks) {
    add(1, "DCIM", "A.JPG");
    for (const char* bad : {"/Photos", "Photos/", "Photos//x", "a/./b", "a/../b", ".", ".."}) {
        const CopyError e = planError({1}, CopyLayout::byDate(), bad);
        EXPECT_EQ(e.description(), std::string("Refused to write outside the backup folder: ") + bad);
    }
    const CopyPlan p = plan({1}, CopyLayout::byDate(), "Photos/2024", "Trip");
    EXPECT_EQ(p.items[0].destDir, backup + "/Photos/2024/Trip/2024/2024-05-17");
    // An empty location with a base folder: the doubled separator disappears.
    EXPECT_EQ(plan({1}, CopyLayout::byDate(), "", "../Trip").items[0].destDir, backup + "/Trip/2024/2024-05-17");
}

TEST_F(PlannerFixture, CollisionsAreNumberedCaseInsensitively) {
    add(1, "A", "IMG_0001.JPG");
    add(2, "B", "img_0001.jpg");
    add(3, "C", "IMG_0001.jpg");
    add(4, "D", "IMG_0001.JPG", "2024-05-18");
    const CopyPlan p = plan({1, 2, 3, 4}, CopyLayout::byDate());
    EXPECT_EQ(p.items[0].name, "IMG_0001.JPG");
    EXPECT_EQ(p.items[1].name, "img_0001 (2).jpg");
    EXPECT_EQ(p.items[2].name, "IMG_0001 (3).jpg");
    EXPECT_EQ(p.items[3].name, "IMG_0001.JPG");  // another day, another folder
    EXPECT_EQ(p.renamedForCollision, 2);
    // A name already on the backup is the runner's business, not the plan's.
    ::mkdir((backup + "/2024").c_str(), 0755);
    tmp.write("backup/2024/2024-05-17/IMG_0001.JPG", "x");
    EXPECT_EQ(plan({1}, CopyLayout::byDate()).items[0].name, "IMG_0001.JPG");
}

// The copy is named, and placed, by the card file's own bytes; a name that is not UTF-8 and its
// look-alike holding a real U+FFFD are two names, and only case still folds.
TEST_F(PlannerFixture, CopiesTakeTheCardsOwnBytes) {
    const std::string rawName = "IMG_\xff" "01.JPG", decoyName = "IMG_\xef\xbf\xbd" "01.JPG";
    addBytes(1, "DCIM/1\xfe", rawName);
    addBytes(2, "DCIM/1\xfe", decoyName);
    addBytes(3, "DCIM/1\xfe", "IMG_\xff" "01.jpg");
    addBytes(4, "DCIM/1\xef\xbf\xbd", rawName);
    ShootGroup shoot;
    shoot.fileIDs = {1};
    shoot.landings = {{0, "Shoot\xef\xbf\xbd", 3, "Shoot\xfe"}};
    report.groups = {shoot};

    const struct {
        const char* what;
        CopyLayout layout;
        std::vector<std::string> dirs, names;
        int renamed;
    } rows[] = {
        {"card structure", CopyLayout::keepCardStructure(),
         {"/DCIM/1\xfe", "/DCIM/1\xfe", "/DCIM/1\xfe", "/DCIM/1\xef\xbf\xbd"},
         {rawName, decoyName, "IMG_\xff" "01 (2).jpg", rawName}, 1},
        {"by date", CopyLayout::byDate(),
         {"/2024/2024-05-17", "/2024/2024-05-17", "/2024/2024-05-17", "/2024/2024-05-17"},
         {rawName, decoyName, "IMG_\xff" "01 (2).jpg", "IMG_\xff" "01 (3).JPG"}, 2},
        {"next to the shoot", CopyLayout::nextToShoot(),
         {"/Shoot\xfe", "/2024/2024-05-17", "/2024/2024-05-17", "/2024/2024-05-17"},
         {rawName, decoyName, "IMG_\xff" "01.jpg", "IMG_\xff" "01 (2).JPG"}, 1},
        {"custom", CopyLayout::custom("{folder}/x"),
         {"/DCIM/1\xfe/x", "/DCIM/1\xfe/x", "/DCIM/1\xfe/x", "/DCIM/1\xef\xbf\xbd/x"},
         {rawName, decoyName, "IMG_\xff" "01 (2).jpg", rawName}, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const CopyPlan p = plan({1, 2, 3, 4}, row.layout);
        ASSERT_EQ(p.items.size(), 4u);
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(p.items[i].destDir, backup + row.dirs[i]) << i;
            EXPECT_EQ(p.items[i].name, row.names[i]) << i;
            EXPECT_EQ(p.items[i].source, report.absolutePath(report.files[i])) << i;
        }
        EXPECT_EQ(p.renamedForCollision, row.renamed);
    }
    EXPECT_EQ(plan({1}, CopyLayout::byDate()).items[0].source, card + "/DCIM/1\xfe/" + rawName);
}

TEST_F(PlannerFixture, ShootLayoutsFollowTheLandings) {
    add(1, "DCIM", "A.JPG");
    add(2, "DCIM", "B.JPG", "2024-06-01");
    add(3, "DCIM", "C.JPG", "2024-06-02");
    ShootGroup wedding;
    wedding.fileIDs = {1};
    wedding.landings = {{1, "Elsewhere", 9}, {0, "Shoots/Wedding", 5}, {0, "Other", 1}};
    ShootGroup inLibrary;
    inLibrary.fileIDs = {3};
    inLibrary.landings = {{0, "Pictures/My.photoslibrary/originals", 3}};
    report.groups = {wedding, inLibrary};
    VolumeInfo second;
    second.path = tmp.mkdir("second");
    report.destinations.push_back(second);

    const CopyPlan next = plan({1, 2, 3}, CopyLayout::nextToShoot(), "Picked", "Base");
    EXPECT_EQ(next.items[0].destDir, backup + "/Shoots/Wedding");
    EXPECT_EQ(next.items[1].destDir, backup + "/Picked/Base/2024/2024-06-01");
    EXPECT_EQ(next.items[2].destDir, backup + "/Picked/Base/2024/2024-06-02");  // the library landing is skipped

    EXPECT_EQ(plan({1}, CopyLayout::besideShoot("edits")).items[0].destDir, backup + "/Shoots/Wedding edits");
    EXPECT_EQ(plan({1}, CopyLayout::besideShoot("  ")).items[0].destDir, backup + "/Shoots/Wedding");
    EXPECT_EQ(plan({1}, CopyLayout::besideShoot("a/b")).items[0].destDir, backup + "/Shoots/Wedding a-b");
    // Other layouts ignore landings.
    EXPECT_EQ(plan({1}, CopyLayout::byDate()).items[0].destDir, backup + "/2024/2024-05-17");
}

TEST_F(PlannerFixture, RefusesLibraries) {
    add(1, "DCIM", "A.JPG");
    EXPECT_EQ(planError({1}, CopyLayout::byDate(), "", "My.photoslibrary").description(),
              "Refused to copy into an app library (its app wouldn't see the files): " + backup + "//My.photoslibrary");
    EXPECT_EQ(planError({1}, CopyLayout::byDate(), "Lib.LRDATA/x").kind(), CopyError::Kind::insideLibrary);
    // A custom template that leads into a package is not caught by the base test, and needs not be:
    // only the base folder and landings are checked, as typed locations are.
    EXPECT_NO_THROW(plan({1}, CopyLayout::custom("x.app.old")));
}

TEST_F(PlannerFixture, RefusesTheCard) {
    add(1, "DCIM", "A.JPG");
    // The backup is the card itself.
    report.destinations[0].path = card;
    EXPECT_EQ(planError({1}, CopyLayout::byDate()).description(),
              "Refused to copy onto the card being checked: " + card + "/2024/2024-05-17");
    // The backup is a folder inside the card.
    report.destinations[0].path = tmp.mkdir("card/backups");
    EXPECT_EQ(planError({1}, CopyLayout::byDate()).kind(), CopyError::Kind::insideSource);
    // The backup is reached through a link into the card.
    const std::string link = tmp / "link";
    ASSERT_EQ(::symlink(card.c_str(), link.c_str()), 0);
    report.destinations[0].path = link;
    EXPECT_EQ(planError({1}, CopyLayout::byDate()).kind(), CopyError::Kind::insideSource);
    // Case differences count for the text test (card on a case-insensitive drive).
    std::string upper = card;
    upper.replace(upper.rfind("card"), 4, "CARD");
    report.destinations[0].path = upper;
    live = [&](const std::string&) { return report.destinations[0]; };
    EXPECT_EQ(planError({1}, CopyLayout::byDate()).kind(), CopyError::Kind::insideSource);
}

// The volume at the backup's root now must be the one the check recorded: another drive of the
// same name mounted there is refused as gone, one that cannot be told from it with the reason, and
// a root with nothing mounted as gone.
TEST_F(PlannerFixture, RefusesAnotherVolumeAtTheRoot) {
    add(1, "DCIM", "A.JPG");
    VolumeInfo& recorded = report.destinations[0];
    recorded.volumePath = "/mnt/BACKUP";
    recorded.volumeID.reset();
    recorded.deviceNumber = "254:3";
    recorded.mountID = 70;
    struct Row {
        const char* what;
        std::function<void(VolumeInfo&)> change;
        std::string refusal;  // empty: planned
    };
    const std::string gone = "The backup is no longer connected: " + backup;
    const std::string unsure =
        "Can't tell whether the drive at " + backup + " is the backup that was checked. Check the card again first.";
    const Row rows[] = {
        {"the same mount", [](VolumeInfo&) {}, ""},
        {"mounted again", [](VolumeInfo& v) { v.mountID = 71; }, unsure},
        {"another drive with a uuid", [](VolumeInfo& v) { v.volumeID = "9A0C"; v.mountID = 72; }, unsure},
        {"nothing mounted there", [](VolumeInfo& v) { v.volumePath = std::string(1, '/'); v.mountID = 1; }, gone},
    };
    for (const Row& row : rows) {
        VolumeInfo live = recorded;
        row.change(live);
        auto describe = [&](const std::string&) { return live; };
        try {
            CopyPlanner::plan(report, {1}, 0, CopyLayout::byDate(), "", "", describe);
            EXPECT_EQ(row.refusal, "") << row.what;
        } catch (const CopyError& e) {
            EXPECT_EQ(e.description(), row.refusal) << row.what;
        }
    }
    // Two UUIDs that differ are two drives, wherever they are mounted.
    recorded.volumeID = "6E1F";
    VolumeInfo other = recorded;
    other.volumeID = "9A0C";
    try {
        CopyPlanner::plan(report, {1}, 0, CopyLayout::byDate(), "", "", [&](const std::string&) { return other; });
        ADD_FAILURE() << "planned on another drive";
    } catch (const CopyError& e) {
        EXPECT_EQ(e.description(), gone);
    }
}

// How long a name may be on the backup: the FAT family counts 255 UTF-16 units (a character
// outside the BMP is two), other file systems 255 bytes. A file whose own name is too long, or
// whose card folder's is, is refused with the name that does not fit; the rest of the plan goes
// ahead. Only a too long name of the folder the user chose stops the plan.
TEST_F(PlannerFixture, NamesTooLongForTheDrive) {
    std::string faces;  // 4 bytes, 2 units each
    for (int i = 0; i < 127; ++i) faces += "\xF0\x9F\x98\x80";
    const struct {
        const char* fileSystem;
        std::string folder, name, refusedAt;  // below the backup; "" when the file is planned
    } rows[] = {
        {"exfat", "DCIM", faces + "A", ""},
        {"exfat", "DCIM", faces + "AB", "/DCIM/" + faces + "AB"},
        {"ext4", "DCIM", faces.substr(0, 252) + "abc", ""},
        {"ext4", "DCIM", faces.substr(0, 256), "/DCIM/" + faces.substr(0, 256)},
        {"exfat", "DCIM/" + faces + "\xF0\x9F\x98\x80/100", "A.JPG", "/DCIM/" + faces + "\xF0\x9F\x98\x80"},
        {"exfat", "DCIM/" + faces, "A.JPG", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fileSystem + (" " + row.folder + "/" + row.name));
        report.files.clear();
        report.destinations[0].fileSystem = row.fileSystem;
        live = [&](const std::string&) { return report.destinations[0]; };
        add(1, row.folder, row.name);
        add(2, "DCIM", "NEIGHBOUR.JPG");
        const CopyPlan p = plan({1, 2}, CopyLayout::keepCardStructure());
        ASSERT_EQ(p.items.size(), 2u);
        EXPECT_EQ(p.copyableCount(), row.refusedAt.empty() ? 2 : 1);
        EXPECT_EQ(p.items[0].refusal.has_value(), !row.refusedAt.empty());
        if (!p.items[0].refusal) continue;
        const CopyError& why = *p.items[0].refusal;
        EXPECT_EQ(why.text(), backup + row.refusedAt);
        const std::string piece = row.refusedAt.substr(row.refusedAt.rfind('/') + 1);
        const std::string allows = std::string(" the backup drive's file system allows (255 ") +
                                   (row.fileSystem == std::string("exfat") ? "characters" : "bytes") + " at most)";
        // Said after the file's name: its own name is not said again, a folder's is.
        EXPECT_EQ(why.reasonFor(p.items[0].destDir), why.text() == p.items[0].destination()
                                                       ? "Its name is longer than" + allows
                                                       : "The name of the folder \u201C" + piece + "\u201D is longer than" + allows);
    }
    EXPECT_EQ(planError({1, 2}, CopyLayout::byDate(), "", std::string(256, 'b')).text(), backup + "/" + std::string(256, 'b'));
}

TEST_F(PlannerFixture, AFileAskedForTwiceIsPlannedOnce) {
    add(1, "DCIM", "A.JPG");
    add(2, "DCIM", "B.JPG");
    const CopyPlan p = plan({1, 2, 1}, CopyLayout::byDate());
    ASSERT_EQ(p.items.size(), 2u);
    EXPECT_EQ(p.items[0].id, 1);
    EXPECT_EQ(p.items[1].id, 2);
    EXPECT_EQ(p.renamedForCollision, 0);
}

TEST_F(PlannerFixture, EmptyRequestStillChecks) {
    const CopyPlan p = plan({}, CopyLayout::byDate());
    EXPECT_TRUE(p.items.empty());
    EXPECT_EQ(p.totalBytes(), 0);
    EXPECT_EQ(planError({}, CopyLayout::byDate(), "/x").kind(), CopyError::Kind::outsideDestination);
}

TEST_F(PlannerFixture, Locate) {
    const std::string inner = tmp.mkdir("backup/inner");
    VolumeInfo nested;
    nested.path = inner;
    report.destinations.push_back(nested);
    using P = CopyPlanner::PickedFolder;
    EXPECT_EQ(CopyPlanner::locate(backup, report), P::onBackup(0, ""));
    EXPECT_EQ(CopyPlanner::locate(backup + "/x/y/", report), P::onBackup(0, "x/y"));
    EXPECT_EQ(CopyPlanner::locate(tmp.mkdir("backup/inner/z"), report), P::onBackup(1, "z"));
    EXPECT_EQ(CopyPlanner::locate(card, report), P::insideCard());
    EXPECT_EQ(CopyPlanner::locate(card + "/DCIM", report), P::insideCard());
    EXPECT_EQ(CopyPlanner::locate(tmp.mkdir("backup/Tool.app/Contents"), report), P::insideLibrary());
    EXPECT_EQ(CopyPlanner::locate(tmp.mkdir("elsewhere"), report), P::notOnBackup());
    EXPECT_EQ(CopyPlanner::locate(tmp.mkdir("backupx"), report), P::notOnBackup());
    const std::string link = tmp / "to-card";
    ASSERT_EQ(::symlink(card.c_str(), link.c_str()), 0);
    EXPECT_EQ(CopyPlanner::locate(link, report), P::insideCard());
}

TEST(CopyPlannerPaths, Canonical) {
    EXPECT_EQ(CopyPlanner::canonical("/a/b/"), "/a/b");
    EXPECT_EQ(CopyPlanner::canonical("/a/./b/../c//d"), "/a/c/d");
    EXPECT_EQ(CopyPlanner::canonical("/"), "/");
    EXPECT_EQ(CopyPlanner::canonical("/.."), "/");
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(CopyPlanner::canonical("rel/x"), CopyPlanner::canonical(std::string(cwd) + "/rel/x"));
}

TEST(CopyPlannerPaths, IsInsideJudgesByTheNearestExistingFolder) {
    TempDir tmp{"inside"};
    const std::string card = tmp.mkdir("card");
    struct stat st {};
    ASSERT_EQ(::stat(card.c_str(), &st), 0);
    EXPECT_TRUE(CopyPlanner::isInside(card, st.st_dev, st.st_ino));
    EXPECT_TRUE(CopyPlanner::isInside(card + "/not/yet/made", st.st_dev, st.st_ino));
    EXPECT_FALSE(CopyPlanner::isInside(tmp.mkdir("other") + "/x", st.st_dev, st.st_ino));
    const std::string link = tmp / "link";
    ASSERT_EQ(::symlink(card.c_str(), link.c_str()), 0);
    EXPECT_TRUE(CopyPlanner::isInside(link + "/new", st.st_dev, st.st_ino));
}

// Values from the card and typed templates can hold anything; no plan may leave the backup root,
// and every folder level below the root is a cleaned, visible, non-traversing name that the
// backup's file system can hold (or the plan says which one it cannot).
TEST_F(PlannerFixture, NoValueFromTheCardOrTheUserLeadsOutOfTheBackup) {
    const std::vector<std::string> atoms = {"..", "/", ".", "\x01", "\x7F", "\n", "a", "\xC3\xA9", ":", " ", "\\",
                                            "{folder}", "{camera}", "{card}", "{date}", "{YYYY}", "-", "~",
                                            std::string(300, 'x'), "\xE2\x80\x83", std::string(1, '\0')};
    std::mt19937 rng(20240517);
    auto randomText = [&](int maxAtoms) {
        std::string out;
        const int n = static_cast<int>(rng() % static_cast<unsigned>(maxAtoms + 1));
        for (int i = 0; i < n; ++i) out += atoms[rng() % atoms.size()];
        return out;
    };
    const std::vector<CopyLayout> layouts = {CopyLayout::keepCardStructure(), CopyLayout::byDate(), CopyLayout::nextToShoot(),
                                             CopyLayout::besideShoot("s")};
    int planned = 0;
    int tooLong = 0;
    for (int round = 0; round < 1500; ++round) {
        report.files.clear();
        report.groups.clear();
        report.source.name = randomText(4);
        FileResult& f = add(1, randomText(6), "IMG.JPG", randomText(3));
        f.camera = randomText(4);
        ShootGroup g;
        g.fileIDs = {1};
        g.landings = {{0, randomText(5), 1}};
        report.groups = {g};
        const CopyLayout layout = round % 3 == 0 ? CopyLayout::custom(randomText(8))
                                  : round % 3 == 1 ? CopyLayout::besideShoot(randomText(3))
                                                   : layouts[rng() % layouts.size()];
        // A landing folder is a folder the check found on the backup and is used as it is, so
        // only the containment holds for it; everything built from a template is also cleaned.
        const bool verbatim = layout.kind() == CopyLayout::Case::nextToShoot;
        CopyPlan p;
        try {
            p = plan({1}, layout, "", randomText(3));
        } catch (const CopyError& e) {
            // A base folder that looks like a package, or a forged landing that climbs out.
            if (e.kind() == CopyError::Kind::outsideDestination) {
                EXPECT_TRUE(verbatim) << e.description();
                EXPECT_NE(g.landings[0].folder.find(".."), std::string::npos);
            } else if (e.kind() == CopyError::Kind::nameTooLong) {
                ++tooLong;
                EXPECT_GT(e.text().size() - e.text().find_last_of('/') - 1, 255u);
            } else {
                EXPECT_EQ(e.kind(), CopyError::Kind::insideLibrary) << e.description();
            }
            continue;
        }
        ASSERT_EQ(p.items.size(), 1u);
        const std::string& dir = p.items[0].destDir;
        ++planned;
        // A folder of the card's, the template's or a landing's too long for the drive refuses
        // the file below it, naming that folder.
        if (const auto& refusal = p.items[0].refusal) {
            ++tooLong;
            ASSERT_EQ(refusal->kind(), CopyError::Kind::nameTooLong);
            EXPECT_GT(refusal->text().size() - refusal->text().find_last_of('/') - 1, 255u);
            EXPECT_EQ(dir.rfind(refusal->text(), 0), 0u) << refusal->text() << " is not on the way to " << dir;
            continue;
        }
        ASSERT_TRUE(dir == backup || dir.rfind(backup + "/", 0) == 0) << dir;
        if (verbatim) continue;
        const std::string rel = dir == backup ? "" : dir.substr(backup.size() + 1);
        std::size_t start = 0;
        while (start < rel.size()) {
            std::size_t end = rel.find('/', start);
            if (end == std::string::npos) end = rel.size();
            const std::string piece = rel.substr(start, end - start);
            EXPECT_FALSE(piece.empty()) << dir;
            EXPECT_LE(piece.size(), 255u) << dir;
            EXPECT_NE(piece.front(), '.') << dir;
            for (unsigned char c : piece) EXPECT_TRUE(c >= 0x20 && c != 0x7F && c != ':' && c != '\\') << dir;
            start = end + 1;
        }
    }
    EXPECT_GT(planned, 900);
    EXPECT_GT(tooLong, 100);
}

}  // namespace
}  // namespace halvetrop

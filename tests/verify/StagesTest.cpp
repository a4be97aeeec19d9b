// The verifier's stages one by one: the parallel loop, the extension table, owner stems, the
// card's own folder inside a backup, the card scan's order and pair rule, shoot days, shoots,
// folders and content lines.
#include "verify/Verifier.h"
#include "verify/CardChanges.h"

#include "capture/CaptureReader.h"
#include "match/DestIndex.h"
#include "report/StoredForm.h"
#include "support/OtherUsersSys.h"
#include "support/TempDir.h"
#include "text/Collation.h"
#include "walk/BulkWalker.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <algorithm>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

namespace halvetrop {
namespace {

using test::TempDir;

// ---- parallelFor ----------------------------------------------------------------------------

TEST(ParallelFor, EveryIndexOnceOnAtMostWidthThreads) {
    struct Case { int64_t count, width, maxThreads; };
    for (Case c : {Case{0, 4, 0}, Case{1, 4, 1}, Case{100, 4, 4}, Case{7, 0, 1}, Case{7, -3, 1}, Case{3, 16, 3}}) {
        std::mutex m;
        std::vector<int> hits(static_cast<size_t>(c.count), 0);
        std::set<std::thread::id> threads;
        std::atomic<int> running{0}, peak{0};
        parallelFor(c.count, c.width, [&](int64_t i) {
            const int now = ++running;
            int p = peak.load();
            while (now > p && !peak.compare_exchange_weak(p, now)) {}
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            {
                std::lock_guard<std::mutex> g(m);
                ++hits[static_cast<size_t>(i)];
                threads.insert(std::this_thread::get_id());
            }
            --running;
        });
        for (int h : hits) EXPECT_EQ(h, 1) << c.count << "/" << c.width;
        EXPECT_LE(static_cast<int64_t>(threads.size()), c.maxThreads);
        EXPECT_LE(peak.load(), c.maxThreads);
    }
}

TEST(ParallelFor, ExceptionReachesCallerAfterJoin) {
    std::atomic<int> started{0}, finished{0};
    try {
        parallelFor(1000, 4, [&](int64_t i) {
            ++started;
            if (i == 5) throw std::runtime_error("body failed");
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            ++finished;
        });
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "body failed");
    }
    // Every started body had ended before the exception came out, and the hand-out stopped.
    EXPECT_EQ(started.load(), finished.load() + 1);
    EXPECT_LT(started.load(), 1000);
}

// ---- ExtTable -----------------------------------------------------------------------------------

TEST(ExtTable, NumbersInOrderOfFirstRequest) {
    ExtTable t;
    EXPECT_EQ(t.id("A.JPG"), 1);
    EXPECT_EQ(t.id("b.jpg"), 1);
    EXPECT_EQ(t.id("C.ARW"), 2);
    EXPECT_EQ(t.id(".profile"), 3);  // the only "." is the first character: empty extension
    EXPECT_EQ(t.id("README"), 3);
    EXPECT_EQ(t.id("x.tar.GZ"), 4);
    EXPECT_EQ(t.count(), 4u);
}

TEST(ExtTable, WrapsAtSixteenBits) {
    ExtTable t;
    for (int i = 1; i <= 65535; ++i) ASSERT_EQ(t.id("f." + std::to_string(i)), i);
    EXPECT_EQ(t.id("f.x65536"), 0);
    EXPECT_EQ(t.id("f.x65537"), 1);
    EXPECT_EQ(t.id("f.1"), 1);
}

// ---- ownerStemKey ---------------------------------------------------------------------------------

TEST(OwnerStemKey, Table) {
    const std::pair<const char*, const char*> cases[] = {
        {"IMG_0001.JPG.xmp", "img_0001"}, {"IMG_0001.CR3.xmp", "img_0001"}, {"C0001M01.XML", "c0001"},
        {"C0001M01.xml", "c0001"},        {"M01.xml", ""},                  {"C0001M01.txt", "c0001m01"},
        {"DSC00001.ARW", "dsc00001"},     {"a.b.c.d", "a.b"},               {"NOEXT", "noext"},
        {"C0001M0x.XML", "c0001m0x"},     {"C0001M٠١.XML", "c0001"},      {".M01", ""},
    };
    for (auto [name, want] : cases) EXPECT_EQ(ownerStemKey(name), want) << name;
}

// ---- excludedPrefix -----------------------------------------------------------------------------

TEST(ExcludedPrefix, CardInsideBackup) {
    TempDir dir;
    dir.mkdir("Backup/Cards/A/DCIM");
    dir.mkdir("Backup/Cards/AB");
    dir.mkdir("Other");
    ASSERT_EQ(::symlink((dir / "Backup").c_str(), (dir / "Link").c_str()), 0);
    const std::string b = dir / "Backup";
    struct Case { std::string source, dest; std::optional<std::string> want; };
    const Case cases[] = {
        {b + "/Cards/A", b, std::string("Cards/A")},
        {b + "/Cards/A/", b + "/", std::string("Cards/A")},
        {b + "/Cards/./A", b + "/Cards/../", std::string("Cards/A")},
        {b, b, std::string("")},
        {dir / "Link", b, std::string("")},
        {dir / "Link/Cards/A", b, std::string("Cards/A")},
        {b, b + "/Cards/A", std::nullopt},  // a backup inside the card excludes nothing
        {b + "/Cards/AB", b + "/Cards/A", std::nullopt},
        {dir / "Other", b, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Verifier::excludedPrefix(c.source, c.dest), c.want) << c.source << " in " << c.dest;
}

// ---- Collation --------------------------------------------------------------------------------------

TEST(Collation, FileManagerOrderWithByteTieBreak) {
    const Collation c;
    const std::vector<std::string> ordered = {"",           "/a.jpg",     "A.JPG",     "a.jpg",    "DCIM/9",
                                              "DCIM/10",    "DCIM/100",   "dcim/101",  "Élan",     "img2.jpg",
                                              "IMG10.jpg",  "img10.jpg",  "z"};
    for (size_t i = 0; i + 1 < ordered.size(); ++i) {
        EXPECT_LT(c.compare(ordered[i], ordered[i + 1]), 0) << ordered[i] << " < " << ordered[i + 1];
        EXPECT_GT(c.compare(ordered[i + 1], ordered[i]), 0) << ordered[i + 1] << " > " << ordered[i];
    }
    EXPECT_EQ(c.compare("same", "same"), 0);
    // Ill-formed bytes sort somewhere fixed and never compare equal to other bytes.
    EXPECT_NE(c.compare("a\xff", "a\xfe"), 0);
    EXPECT_EQ(c.compare("a\xff", "a\xfe") < 0, std::string("a\xff") < std::string("a\xfe"));
    // Sort keys agree with compare wherever compare does not need the byte tie-break.
    EXPECT_LT(c.sortKey("DCIM/9"), c.sortKey("DCIM/10"));
    EXPECT_EQ(c.sortKey("A.JPG"), c.sortKey("a.jpg"));
}

// ---- card scan ------------------------------------------------------------------------------------

WalkResult walkOf(const std::string& root) { return BulkWalker().walk(root); }

std::vector<std::string> rels(const std::vector<Verifier::Item>& items) {
    std::vector<std::string> out;
    for (const auto& it : items) out.push_back(it.rel);
    return out;
}

TEST(CardScan, OrderIsFileManagerOrderAndStable) {
    TempDir dir;
    for (const char* p : {"DCIM/10/b.JPG", "DCIM/9/a.JPG", "DCIM/100/c.JPG", "top.JPG", "DCIM/9/A.JPG",
                          "DCIM/9/IMG10.JPG", "DCIM/9/IMG2.JPG", "._top.JPG", ".DS_Store"})
        dir.write(p, "x");
    JunkTally junk;
    const auto items = Verifier::scanItems(walkOf(dir.path()), VerifyScope(), &junk);
    const std::vector<std::string> want = {"/top.JPG",          "DCIM/9/A.JPG",    "DCIM/9/a.JPG",
                                           "DCIM/9/IMG2.JPG",   "DCIM/9/IMG10.JPG", "DCIM/10/b.JPG",
                                           "DCIM/100/c.JPG"};
    EXPECT_EQ(rels(items), want);
    EXPECT_EQ(junk.files, 2);
    EXPECT_EQ(junk.bytes, 2);
    // The walk's thread timing never changes the ids.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(rels(Verifier::scanItems(walkOf(dir.path()), VerifyScope(), nullptr)), want);
}

// Twins share a folder and a name but for the extension, as the file system knows them: a folder
// or name that is not UTF-8 pairs only with its own bytes, never with a look-alike holding U+FFFD.
TEST(CardScan, RawJpegPairRule) {
    TempDir dir;
    for (const char* p : {"DCIM/A/IMG_0001.CR3", "DCIM/A/IMG_0001.jpg", "DCIM/A/IMG_0002.JPG", "DCIM/A/IMG_0003.CR3",
                          "DCIM/B/IMG_0001.JPG", "DCIM/A/IMG_0001.MP4",
                          "DCIM/1\xfe/IMG_0001.CR3", "DCIM/1\xef\xbf\xbd/IMG_0001.JPG",  // look-alike folders
                          "DCIM/1\xfe/IMG_0002.CR3", "DCIM/1\xfe/IMG_0002.JPG",            // twins in one of them
                          "DCIM/A/N\xff.CR3", "DCIM/A/N\xef\xbf\xbd.JPG",                // look-alike names
                          "DCIM/A/T\xff.CR3", "DCIM/A/T\xff.jpg"})                        // twins with such a name
        dir.write(p, "x");
    struct Case { PhotoFormats formats; std::set<std::string> outOfScope; };
    const Case cases[] = {
        {PhotoFormats::all, {}},
        {PhotoFormats::rawOnly, {"DCIM/A/IMG_0001.jpg", "DCIM/1\xfe/IMG_0002.JPG", "DCIM/A/T\xff.jpg"}},
        {PhotoFormats::processedOnly, {"DCIM/A/IMG_0001.CR3", "DCIM/1\xfe/IMG_0002.CR3", "DCIM/A/T\xff.CR3"}},
    };
    for (const Case& c : cases) {
        VerifyScope scope;
        scope.photoFormats = c.formats;
        std::set<std::string> out;
        for (const auto& it : Verifier::scanItems(walkOf(dir.path()), scope, nullptr))
            if (!it.inScope) out.insert(it.rawRel);
        EXPECT_EQ(out, c.outOfScope) << rawValue(c.formats);
    }
}

TEST(CardScan, CaptureSharing) {
    TempDir dir;
    for (const char* p : {"D/IMG_0001.CR3", "D/IMG_0001.JPG", "D/IMG_0001.CR3.xmp", "PRIVATE/M4ROOT/CLIP/C0001.MP4", "PRIVATE/M4ROOT/CLIP/C0001M01.XML",
                          "E/IMG_0001.xmp"})
        dir.write(p, "x");
    VerifyScope scope;
    scope.includeSidecars = true;
    auto items = Verifier::scanItems(walkOf(dir.path()), scope, nullptr);
    auto at = [&](const std::string& rel) -> Verifier::Item& {
        for (auto& it : items)
            if (it.rel == rel) return it;
        throw std::runtime_error("no " + rel);
    };
    CaptureInfo exif;
    exif.source = DateSource::exif;
    exif.wallClock = "2024:03:15 10:22:01";
    exif.model = "EOS R5";
    CaptureInfo fallback;
    fallback.source = DateSource::fileModified;
    CaptureInfo clip;
    clip.source = DateSource::sonyClipXML;
    clip.model = "ILCE-7M4";
    at("D/IMG_0001.CR3").capture = fallback;  // its reader failed
    at("D/IMG_0001.JPG").capture = exif;
    at("PRIVATE/M4ROOT/CLIP/C0001.MP4").capture = clip;
    std::vector<size_t> dated;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].cls.role == FileRole::media) dated.push_back(i);
    Verifier::shareCaptures(items, dated);
    EXPECT_EQ(at("D/IMG_0001.CR3").capture, exif);
    EXPECT_EQ(at("D/IMG_0001.CR3.xmp").capture, exif);
    EXPECT_EQ(at("PRIVATE/M4ROOT/CLIP/C0001M01.XML").capture, clip);
    EXPECT_FALSE(at("E/IMG_0001.xmp").capture.has_value());  // another folder is no owner
}

TEST(CardScan, ShootDay) {
    Verifier::Item item;
    item.folder = "DCIM/10040316";
    const int64_t mtime2024 = 1714737600LL * 1000000000LL;  // 2024-05-03 12:00 UTC
    item.mtimeNs = mtime2024;
    CaptureInfo c;
    c.source = DateSource::exif;
    c.wallClock = "2023:11:02 23:59:59";
    item.capture = c;
    EXPECT_EQ(Verifier::shootDay(item, 2025), "2023-11-02");
    c.wallClock = "2023:11:0";  // 9 characters: the date decides
    c.date = CaptureReader::dayFormatter().parse("2022-01-05");
    item.capture = c;
    EXPECT_EQ(Verifier::shootDay(item, 2025), "2022-01-05");
    c.date.reset();
    item.capture = c;  // neither: the Sony date folder, decoded with the file's year
    EXPECT_EQ(Verifier::shootDay(item, 2025), "2024-03-16");
    c.source = DateSource::fileModified;
    c.wallClock = "2023:11:02 23:59:59";
    item.capture = c;  // a modification-time capture never names the day
    EXPECT_EQ(Verifier::shootDay(item, 2025), "2024-03-16");
    item.folder = "DCIM/100MSDCF";
    EXPECT_EQ(Verifier::shootDay(item, 2025), CaptureReader::dayFormatter().format(mtime2024));
}

// ---- shoots and folders --------------------------------------------------------------------------

FileResult file(int64_t id, std::string folder, std::string name, std::string camera, std::string day,
                FileStatus status = FileStatus::missing, FileRole role = FileRole::media, int64_t size = 10) {
    FileResult f;
    f.id = id;
    f.folder = std::move(folder);
    f.name = std::move(name);
    f.relativePath = f.folder + "/" + f.name;
    f.camera = std::move(camera);
    f.day = std::move(day);
    f.status = status;
    f.role = role;
    f.kind = MediaKind::photo;
    f.inScope = true;
    f.size = size;
    return f;
}

TEST(Shoots, MajorityCameraWithDeterministicTie) {
    std::vector<FileResult> files = {
        file(0, "D", "1.JPG", "A", "2024-01-01"), file(1, "D", "2.JPG", "A", "2024-01-01"),
        file(2, "D", "3.JPG", "A", "2024-01-01"), file(3, "D", "4.JPG", "B", "2024-01-01"),
        file(4, "D", "5.JPG", "", "2024-01-01"),  // joins camera A
        file(5, "T", "1.JPG", "Zeta", "2024-01-02"), file(6, "T", "2.JPG", "Alpha", "2024-01-02"),
        file(7, "T", "3.JPG", "", "2024-01-02"),  // tie: the name that sorts first
        file(8, "N", "1.JPG", "", "2024-01-01"),  // no camera anywhere in N
    };
    files.push_back(file(9, "D", "6.JPG", "A", "2024-01-01"));
    files.back().inScope = false;
    const DestIndex ix;
    const auto groups = Verifier::buildGroups(files, std::vector<std::vector<Location>>(files.size()), ix);
    std::vector<std::string> ids;
    for (const auto& g : groups) ids.push_back(g.id());
    const std::vector<std::string> want = {"D|2024-01-01|A", "D|2024-01-01|B", "N|2024-01-01|",
                                           "T|2024-01-02|Alpha", "T|2024-01-02|Zeta"};
    EXPECT_EQ(ids, want);
    EXPECT_EQ(groups[0].fileIDs, (std::vector<int64_t>{0, 1, 2, 4}));
    EXPECT_EQ(groups[3].fileIDs, (std::vector<int64_t>{6, 7}));
    EXPECT_TRUE(groups[2].landings.empty());
    EXPECT_FALSE(groups[2].scattered);
}

TEST(Shoots, KindsFormatsAndLandingsOnTwoDrives) {
    DestIndex ix;
    const uint32_t r0 = ix.appendDir("", std::nullopt, RootID{0}, 0, 0);
    const uint32_t d0 = ix.appendDir("Shoot", r0, RootID{0}, 0, 0);
    const uint32_t r1 = ix.appendDir("", std::nullopt, RootID{1}, 0, 0);
    const uint32_t d1 = ix.appendDir("Other", r1, RootID{1}, 0, 0);
    const uint32_t d1b = ix.appendDir("Third", r1, RootID{1}, 0, 0);
    std::vector<uint32_t> rows;
    for (int i = 0; i < 3; ++i) rows.push_back(ix.appendFile("f" + std::to_string(i), d0, 10, 0, 0, 0, 1, {}, 1));
    for (int i = 0; i < 3; ++i) rows.push_back(ix.appendFile("g" + std::to_string(i), i < 2 ? d1 : d1b, 10, 0, 0, 0, 1, {}, 1));
    ix.buildMaps();
    const PhysicalDriveID driveB{"dev:b"}, driveA{"dev:a"};
    std::vector<FileResult> files = {
        file(0, "D", "a.arw", "X", "2024-01-01", FileStatus::backedUp),
        file(1, "D", "b.ARW", "X", "2024-01-01", FileStatus::backedUp),
        file(2, "D", "c.JPG", "X", "2024-01-01", FileStatus::conflict),
        file(3, "D", "c.XMP", "X", "2024-01-01", FileStatus::missing, FileRole::sidecar),
    };
    std::vector<std::vector<Location>> locs(files.size());
    for (int i = 0; i < 3; ++i) {
        locs[static_cast<size_t>(i)].push_back({rows[static_cast<size_t>(i)], driveB, d0, PairVerdict::identical(EvidenceLevel::sampled), true, LocationClass::primary});
        locs[static_cast<size_t>(i)].push_back({rows[static_cast<size_t>(3 + i)], driveA, ix.dir()[rows[static_cast<size_t>(3 + i)]], PairVerdict::identical(EvidenceLevel::sampled), true, LocationClass::primary});
    }
    const auto groups = Verifier::buildGroups(files, locs, ix);
    ASSERT_EQ(groups.size(), 1u);
    const ShootGroup& g = groups[0];
    EXPECT_EQ(g.kinds, (std::map<MediaKind, int64_t>{{MediaKind::photo, 3}}));
    EXPECT_EQ(g.formats, (std::map<std::string, int64_t>{{"ARW", 2}, {"JPG", 1}}));
    EXPECT_EQ(g.counts.files, 4);
    EXPECT_EQ(g.counts.backedUp, 2);
    EXPECT_EQ(g.counts.conflict, 1);
    EXPECT_EQ(g.counts.missing, 1);
    EXPECT_EQ(g.counts.missingBytes, 20);
    // Drive ids ascending (dev:a first), then most files first; ties keep that order.
    const std::vector<LandingRef> want = {{0, "Shoot", 3}, {1, "Other", 2}, {1, "Third", 1}};
    EXPECT_EQ(g.landings, want);
}

TEST(Folders, RollUpAndOrder) {
    std::vector<FileResult> files = {
        file(0, "DCIM/100MEDIA", "a.JPG", "", "2024-01-03", FileStatus::verified),
        file(1, "DCIM/10", "b.JPG", "", "2024-01-01"),
        file(2, "DCIM/9", "c.JPG", "", ""),
        file(3, "", "d.JPG", "", "2024-01-02", FileStatus::backedUp),
        file(4, "X", "e.JPG", "", "2024-02-02"),
    };
    files[4].inScope = false;
    const auto folders = Verifier::buildFolders(files);
    std::vector<std::string> paths;
    for (const auto& f : folders) paths.push_back(f.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"", "DCIM", "DCIM/9", "DCIM/10", "DCIM/100MEDIA"}));
    EXPECT_EQ(folders[0].counts.files, 4);
    EXPECT_EQ(folders[0].depth, 0);
    EXPECT_EQ(folders[1].depth, 1);
    EXPECT_EQ(folders[4].depth, 2);
    EXPECT_EQ(folders[4].name, "100MEDIA");
    EXPECT_EQ(folders[1].counts.files, 3);
    EXPECT_EQ(folders[1].dayRange, (DayRange{"", "2024-01-03"}));
    EXPECT_EQ(folders[0].dayRange, (DayRange{"", "2024-01-03"}));
    EXPECT_EQ(folders[0].counts.covered(), 2);
}

TEST(Folders, FolderTextsWithoutTheUsualShapeStillRollUpToTheTop) {
    const std::vector<FileResult> files = {
        file(0, "/", "a.JPG", "", "2024-01-01"),
        file(1, "DCIM//100/", "b.JPG", "", "2024-01-02"),
    };
    const auto folders = Verifier::buildFolders(files);
    std::vector<std::string> paths;
    for (const auto& f : folders) paths.push_back(f.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"", "/", "DCIM", "DCIM//100/"}));
    ASSERT_EQ(folders.size(), 4u);
    EXPECT_EQ(folders[0].counts.files, 2);
    EXPECT_EQ(folders[1].depth, 0);
    EXPECT_EQ(folders[3].depth, 2);
    EXPECT_EQ(folders[3].name, "100");
}

// ---- content lines ----------------------------------------------------------------------------------

TEST(ContentLines, BucketsNotesAndJunk) {
    auto make = [](std::string name, MediaKind kind, FileRole role, bool inScope, int64_t size = 5) {
        FileResult f;
        f.name = std::move(name);
        f.kind = kind;
        f.role = role;
        f.inScope = inScope;
        f.size = size;
        return f;
    };
    const std::vector<FileResult> files = {
        make("A.CR3", MediaKind::photo, FileRole::media, true),  make("b.cr3", MediaKind::photo, FileRole::media, true),
        make("A.JPG", MediaKind::photo, FileRole::media, false), make("C.JPG", MediaKind::photo, FileRole::media, true),
        make("D.HEIC", MediaKind::photo, FileRole::media, true), make("E.HEIC", MediaKind::photo, FileRole::media, true),
        make("C0001.MP4", MediaKind::video, FileRole::media, false),
        make("C0001M01.XML", MediaKind::other, FileRole::sidecar, false),
        make("NOEXT", MediaKind::other, FileRole::media, true), make(".hidden", MediaKind::other, FileRole::media, true),
    };
    VerifyRequest req("/card", {});
    req.scope.photoFormats = PhotoFormats::rawOnly;
    const Verifier v(req);
    const auto lines = v.contentLines(files, JunkTally{1, 4096});
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].label, "RAW photos");
    EXPECT_EQ(lines[0].formats, (std::vector<std::string>{"CR3"}));
    EXPECT_EQ(lines[0].files, 2);
    EXPECT_EQ(lines[1].label, "JPEG / HEIF photos");
    EXPECT_EQ(lines[1].formats, (std::vector<std::string>{"HEIC", "JPG"}));
    EXPECT_EQ(lines[1].checked, 3);
    EXPECT_EQ(lines[1].note, "JPEGs with a RAW twin aren't required (RAW only).");
    EXPECT_EQ(lines[2].label, "Video clips");
    EXPECT_EQ(lines[2].checked, 0);
    EXPECT_EQ(lines[2].note, "");
    EXPECT_EQ(lines[3].label, "Other files");
    EXPECT_EQ(lines[3].formats, (std::vector<std::string>{""}));
    EXPECT_EQ(lines[3].files, 2);
    EXPECT_EQ(lines[4].label, "Sidecar files");
    EXPECT_EQ(lines[5].label, "Hidden & system files");
    EXPECT_EQ(lines[5].formats, (std::vector<std::string>{"._*", ".DS_Store"}));
    EXPECT_EQ(lines[5].bytes, 4096);
    EXPECT_EQ(lines[5].checked, 0);

    req.scope.photoFormats = PhotoFormats::all;
    const auto plain = Verifier(req).contentLines(files, JunkTally{});
    EXPECT_EQ(plain[1].note, "");
    EXPECT_EQ(plain.back().label, "Sidecar files");
}

// Junk folders the check could not open are named on the junk line, which then stands even
// without junk files; the line reads back from its stored form as it was.
TEST(ContentLines, UnlistedJunkFoldersAreNamedOnTheJunkLine) {
    const std::string junkNote =
        "Left by computers (macOS, Windows, Linux) and disk checks, not by the camera. Never needed.";
    const struct {
        int64_t junkFiles;
        std::vector<std::string> folders;
        std::vector<std::string> formats;
        std::string note;
    } rows[] = {
        {1, {}, {"._*", ".DS_Store"}, junkNote},
        {0, {"lost+found"}, {}, "lost+found couldn't be opened; no camera writes there."},
        {2, {"lost+found", ".Trash-1000"}, {"._*", ".DS_Store"},
         junkNote + " lost+found and .Trash-1000 couldn't be opened; no camera writes there."},
        {0, {"a", "b", "c", "d", "e"}, {}, "a, b, c and 2 more couldn't be opened; no camera writes there."},
    };
    const Verifier v(VerifyRequest("/card", {}));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.note);
        const auto lines = v.contentLines({}, JunkTally{row.junkFiles, row.junkFiles * 10, row.folders});
        ASSERT_EQ(lines.size(), 1u);
        const ContentLine& line = lines[0];
        EXPECT_EQ(line.label, "Hidden & system files");
        EXPECT_EQ(line.files, row.junkFiles);
        EXPECT_EQ(line.checked, 0);
        EXPECT_EQ(line.formats, row.formats);
        EXPECT_EQ(line.note, row.note);
        EXPECT_EQ(line.unlisted, row.folders);
        EXPECT_EQ(fromStoredJson<ContentLine>(toStoredJson(line)), line);
    }
    EXPECT_TRUE(v.contentLines({}, JunkTally{}).empty());
    // A line stored before folders were named reads as one that names none.
    const ContentLine old = fromStoredJson<ContentLine>(
        R"({"label":"Hidden & system files","formats":["._*",".DS_Store"],"files":1,"bytes":4,"checked":0,"note":""})");
    EXPECT_TRUE(old.unlisted.empty());
}

// ---- frame records ----------------------------------------------------------------------------------

TEST(VerifyProgress, FractionAndStages) {
    EXPECT_EQ((VerifyProgress{VerifyProgress::Stage::comparing, "", 5, 0}.fraction()), 0.0);
    EXPECT_EQ((VerifyProgress{VerifyProgress::Stage::comparing, "", 7, 5}.fraction()), 1.0);
    EXPECT_EQ((VerifyProgress{VerifyProgress::Stage::comparing, "", 1, 4}.fraction()), 0.25);
    for (auto s : {VerifyProgress::Stage::scanningSource, VerifyProgress::Stage::readingDates,
                   VerifyProgress::Stage::indexingBackups, VerifyProgress::Stage::comparing, VerifyProgress::Stage::done})
        EXPECT_EQ(verifyStageFromRaw(rawValue(s)), s);
    EXPECT_FALSE(verifyStageFromRaw("Done").has_value());
    EXPECT_EQ(VerifyError::cancelled().description(), "Cancelled");
    EXPECT_EQ(VerifyError::cannotRead("/x", ENOENT).description(), "Can't read /x: No such file or directory");
    const VerifyRequest r("/card", {"/b"});
    EXPECT_EQ(r.scope, VerifyScope());
    EXPECT_EQ(r.level, CheckLevel::standard);
    EXPECT_EQ(r.requiredCopies, 2);
}


// ---- the card since a check ------------------------------------------------------------------

// A card held against its own check: unchanged as the check left it, also with litter a computer
// leaves (which no check lists); each file added, rewritten, touched or taken away counts, and a
// name that is not UTF-8 is known by its bytes.
TEST(CardChanges, TheCardAsTheCheckSawItAndEachChangeSince) {
    TempDir card{"since"};
    card.write("DCIM/100CANON/IMG_0001.JPG", "one");
    card.write("DCIM/100CANON/IMG_0002.CR3", "two");
    card.write(std::string("DCIM/100CANON/IMG_\xff" "3.JPG"), "three");
    card.write("MISC/notes.txt", "notes");
    VerifyRequest request(card.path(), {});
    Verifier verifier(request);
    const RecordedCard recorded = recordedCard(verifier.run());
    ASSERT_EQ(recorded.files.size(), 4u);
    EXPECT_TRUE(recorded.unreadable.empty());
    EXPECT_FALSE(recorded.unreadableUnnamed);
    auto now = [&] {
        BulkWalker walker;
        return cardChangesAt(recorded, card.path(), walker);
    };
    EXPECT_EQ(now(), CardChanges{});
    card.write(".DS_Store", "litter");
    card.write(".Trash-1000/files/old.JPG", "deleted");
    EXPECT_EQ(now(), CardChanges{});

    card.write("DCIM/100CANON/IMG_0004.JPG", "new");
    EXPECT_EQ(now(), (CardChanges{1, 0, 0, false}));
    card.write("DCIM/100CANON/IMG_0001.JPG", "one, longer");
    struct timespec times[2] = {{0, UTIME_OMIT}, {1000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (card / "MISC/notes.txt").c_str(), times, 0), 0);
    EXPECT_EQ(now(), (CardChanges{1, 2, 0, false}));
    ASSERT_EQ(::unlink((card / std::string("DCIM/100CANON/IMG_\xff" "3.JPG")).c_str()), 0);
    // The file gone is named by its place among the files the check recorded.
    const auto third = std::find_if(recorded.files.begin(), recorded.files.end(), [](const RecordedFile& f) {
        return f.path == "DCIM/100CANON/IMG_\xff" "3.JPG";
    });
    EXPECT_EQ(now(), (CardChanges{1, 2, 1, false, 0, {third - recorded.files.begin()}}));
    EXPECT_TRUE(now().any());
}

// Listing the card again to see whether it changed is itself a read of its folders: where they
// belong to another user, each listing's trace on them is counted for the result to own up to,
// and it is no change of the card.
TEST(CardChanges, ListingFoldersOfAnotherUserIsCountedNotChanged) {
    TempDir card{"sinceother"};
    card.write("DCIM/100CANON/IMG_0001.JPG", "one");
    VerifyRequest request(card.path(), {});
    const RecordedCard recorded = recordedCard(Verifier(request).run());
    BulkWalker own;
    EXPECT_EQ(cardChangesAt(recorded, card.path(), own).accessTimesTouched, 0);
    OtherUsersSys sys(ST_RELATIME);
    BulkWalker other(BulkWalker::Options(), sys);
    const CardChanges changes = cardChangesAt(recorded, card.path(), other);
    EXPECT_FALSE(changes.any());
    EXPECT_GT(changes.accessTimesTouched, 0);
}

// What the check itself said changed (a file written, added or taken away while it read) and the
// places it could not read are no news of the card since: a file it called changed may be any
// size or gone, a folder it could not list may still be unreadable. Anything else still counts.
TEST(CardChanges, WhatTheCheckFoundChangingIsNoNews) {
    TempDir card{"during"};
    card.write("DCIM/100CANON/IMG_0001.JPG", "one");
    card.write("DCIM/100CANON/IMG_0002.JPG", "two");
    card.write("DCIM/100CANON/IMG_0003.JPG", "three");
    VerifyRequest request(card.path(), {});
    VerifyReport report = Verifier(request).run();
    for (FileResult& f : report.files)
        if (f.name != "IMG_0001.JPG") f.status = FileStatus::changed;
    report.cardUnreadable = 1;
    report.cardUnreadableEntries = {{"DCIM/101CANON", "Permission denied"}};
    const RecordedCard recorded = recordedCard(report);
    EXPECT_EQ(recorded.unreadable, std::set<std::string>{"DCIM/101CANON"});
    auto now = [&] {
        BulkWalker walker;
        return cardChangesAt(recorded, card.path(), walker);
    };
    card.write("DCIM/100CANON/IMG_0002.JPG", "two, rewritten");
    ASSERT_EQ(::unlink((card / "DCIM/100CANON/IMG_0003.JPG").c_str()), 0);
    EXPECT_EQ(now(), CardChanges{});
    card.write("DCIM/100CANON/IMG_0001.JPG", "one, rewritten");
    ASSERT_EQ(::unlink((card / "DCIM/100CANON/IMG_0002.JPG").c_str()), 0);
    EXPECT_EQ(now(), (CardChanges{0, 1, 0, false}));

    // Walk errors as the listing meets them: the folder the check could not list, the card's top
    // folder, and one the check could.
    auto listed = [&](const std::string& below) {
        WalkResult w;
        w.root = card.path();
        w.directories.push_back({});
        w.errors.push_back({below.empty() ? w.root : w.root + "/" + below, EACCES, true});
        return cardChanges(recorded, w).unreadable;
    };
    const size_t steady = 1;  // IMG_0001.JPG, the only file the check did not find changing
    EXPECT_FALSE(listed("DCIM/101CANON"));
    EXPECT_TRUE(listed("DCIM/102CANON"));
    EXPECT_TRUE(listed(""));
    RecordedCard top = recorded;
    top.unreadable.insert("");
    WalkResult w;
    w.root = card.path();
    w.directories.push_back({});
    w.errors.push_back({w.root, EACCES, true});
    const auto first = std::find_if(recorded.files.begin(), recorded.files.end(),
                                    [](const RecordedFile& f) { return f.path.ends_with("IMG_0001.JPG"); });
    EXPECT_EQ(cardChanges(top, w), (CardChanges{0, 0, steady, false, 0, {first - recorded.files.begin()}}));
    RecordedCard unnamed = recorded;
    unnamed.unreadable.clear();
    unnamed.unreadableUnnamed = true;
    EXPECT_FALSE(cardChanges(unnamed, w).unreadable);
}

// A listing that hands its folders over lists the card again while they hold folders nobody knew:
// a photo written into a folder between the listing that found the folder and its being known is
// seen, not lost between the two; each listing names every folder, the card's own first.
TEST(CardChanges, FoldersNamedBeforeTheCardIsHeldAgainstItsCheck) {
    TempDir card{"folders"};
    card.write("DCIM/100CANON/IMG_0001.JPG", "one");
    VerifyRequest request(card.path(), {});
    const RecordedCard recorded = recordedCard(Verifier(request).run());
    std::vector<std::vector<std::string>> told;
    std::set<std::string> known;
    BulkWalker walker;
    const CardChanges changes = cardChangesAt(recorded, card.path(), walker, [&](const std::vector<std::string>& f) {
        told.push_back(f);
        if (told.size() == 1) card.write("DCIM/100CANON/IMG_0002.JPG", "written meanwhile");
        bool learnt = false;
        for (const std::string& folder : f) learnt = known.insert(folder).second || learnt;
        return learnt;
    });
    EXPECT_EQ(changes, (CardChanges{1, 0, 0, false}));
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0], (std::vector<std::string>{"", "DCIM", "DCIM/100CANON"}));
    EXPECT_EQ(told[1], told[0]);
    // One that learns of new folders at every listing is listed a bounded number of times.
    size_t listings = 0;
    BulkWalker again;
    cardChangesAt(recorded, card.path(), again, [&](const std::vector<std::string>&) { return ++listings > 0; });
    EXPECT_EQ(listings, 3u);
}

}  // namespace
}  // namespace halvetrop

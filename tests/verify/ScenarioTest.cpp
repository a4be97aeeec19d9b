// Whole checks of fixture cards against fixture backups in temporary folders (one drive: every
// copy here lies on the card's own drive, so nothing is ever safe to format).
#include "verify/Verifier.h"

#include "CardFixture.h"
#include "support/TempDir.h"
#include "walk/BulkWalker.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <climits>

#include <atomic>
#include <filesystem>
#include <mutex>

namespace halvetrop {
namespace {

using test::CardOptions;
using test::check;
using test::fileAt;
using test::TempDir;

const char* const sameDrive = "The only copy is on the same drive as the source — formatting it would erase both";

struct Card {
    TempDir dir{"verify"};
    std::string card = dir / "card";
    std::string backup = dir / "backup";
    Card(CardOptions o = CardOptions()) { test::makeCard(card, o); }
};

const char* const arw1 = "DCIM/100MSDCF/DSC00001.ARW";
const char* const mp4 = "PRIVATE/M4ROOT/CLIP/C0001.MP4";

TEST(Scenario, ExactCopyAtBothLevels) {
    Card c;
    test::copyTree(c.card, c.backup);
    for (CheckLevel level : {CheckLevel::standard, CheckLevel::verified}) {
        const VerifyReport r = check(c.card, {c.backup}, level);
        SCOPED_TRACE(std::string(rawValue(level)));
        EXPECT_EQ(r.totals.files, 7);  // 3 RAW + 3 JPEG + 1 clip
        EXPECT_EQ(r.outOfScope, 3);    // clip XML, thumbnail, camera database
        for (size_t i = 0; i < r.files.size(); ++i) EXPECT_EQ(r.files[i].id, static_cast<int64_t>(i));
        for (const FileResult& f : r.files) {
            if (!f.inScope) continue;
            const FileStatus want = level == CheckLevel::verified ? FileStatus::verified : FileStatus::backedUp;
            EXPECT_EQ(f.status, want) << f.relativePath;
            ASSERT_EQ(f.copies.size(), 1u) << f.relativePath;
            EXPECT_EQ(f.copies[0].relativePath, f.relativePath);
            EXPECT_EQ(f.copies[0].evidence, level == CheckLevel::verified ? EvidenceLevel::verified : EvidenceLevel::sampled);
            EXPECT_EQ(f.detail, std::optional<std::string>(sameDrive)) << f.relativePath;
            EXPECT_EQ(f.safeDrives, 0);
        }
        EXPECT_FALSE(r.safeToFormat);
        EXPECT_EQ(r.safeFiles, 0);
        EXPECT_EQ(fileAt(r, arw1).camera, "ILCE-7M4");
        EXPECT_EQ(fileAt(r, arw1).day, "2024-05-03");
        EXPECT_EQ(fileAt(r, "PRIVATE/M4ROOT/CLIP/C0001M01.XML").capture, fileAt(r, mp4).capture);
        ASSERT_FALSE(r.contents.empty());
        EXPECT_EQ(r.contents.back().label, "Hidden & system files");
        EXPECT_EQ(r.contents.back().files, 2);
        EXPECT_EQ(r.destinations.size(), 1u);
        EXPECT_TRUE(r.problems.empty());
    }
}

// A card and its backup nested deeper than one path may name: every file is dated, compared and
// looked at again where the walk found it, never unreadable or changed for its depth alone.
TEST(Scenario, FilesDeeperThanOnePathMayNameAreCheckedLikeAnyOther) {
    TempDir dir{"deep"};
    std::string below;
    for (const char* side : {"card", "backup"}) {
        const std::string flat = dir / (std::string(side) + "-flat");
        test::makeCard(flat, CardOptions{1, 1, 300000, 1 << 20, false, 5});
        int deepest = -1;
        const std::string root = dir.mkdir(side);
        below = test::makeDeepFolders(root, PATH_MAX + 100, &deepest).substr(root.size() + 1) + "/";
        for (const char* top : {"DCIM", "PRIVATE"})
            EXPECT_EQ(::renameat(AT_FDCWD, (flat + "/" + top).c_str(), deepest, top), 0) << top;
        ::close(deepest);
    }
    for (CheckLevel level : {CheckLevel::standard, CheckLevel::verified}) {
        SCOPED_TRACE(std::string(rawValue(level)));
        const VerifyReport r = check(dir / "card", {dir / "backup"}, level);
        const struct {
            std::string rel;
            DateSource dated;
        } rows[] = {{below + arw1, DateSource::exif}, {below + mp4, DateSource::sonyClipXML}};
        for (const auto& row : rows) {
            const FileResult& f = fileAt(r, row.rel);
            EXPECT_EQ(f.status, level == CheckLevel::verified ? FileStatus::verified : FileStatus::backedUp)
                << f.detail.value_or("");
            EXPECT_EQ(f.copies.size(), 1u);
            ASSERT_TRUE(f.capture.has_value());
            EXPECT_EQ(f.capture->source, row.dated);
        }
        EXPECT_TRUE(r.problems.empty());
    }
}

TEST(Scenario, ByteChangedBetweenSampleWindowsOnlyTheFullPassSees) {
    Card c;
    test::copyTree(c.card, c.backup);
    test::flipByte(c.backup + "/" + mp4, 300000);      // between head and middle windows of 1 MiB
    test::flipByte(c.backup + "/" + arw1, 200000);     // between middle and tail of 300,000 bytes
    const VerifyReport standard = check(c.card, {c.backup}, CheckLevel::standard);
    EXPECT_EQ(fileAt(standard, mp4).status, FileStatus::backedUp);
    EXPECT_EQ(fileAt(standard, arw1).status, FileStatus::backedUp);
    const VerifyReport verified = check(c.card, {c.backup}, CheckLevel::verified);
    for (const char* rel : {mp4, arw1}) {
        const FileResult& f = fileAt(verified, rel);
        EXPECT_EQ(f.status, FileStatus::conflict) << rel;
        EXPECT_TRUE(f.copies.empty()) << rel;
        ASSERT_TRUE(f.detail.has_value());
        EXPECT_EQ(f.detail->rfind(rel, 0), 0u) << *f.detail;  // names the backup file
    }
    EXPECT_EQ(fileAt(verified, "DCIM/100MSDCF/DSC00002.ARW").status, FileStatus::verified);
}

TEST(Scenario, UniformFileIsReadInFull) {
    Card c(CardOptions{1, 0, 300000, 0, false, 3});
    const std::string zeros(500000, '\0');
    test::writeFile(c.card + "/DCIM/100MSDCF/ZERO0001.JPG", zeros, 1714737600LL * 1000000000LL);
    test::writeFile(c.card + "/DCIM/100MSDCF/ZERO0002.JPG", zeros, 1714737700LL * 1000000000LL);
    test::copyTree(c.card, c.backup);
    test::flipByte(c.backup + "/DCIM/100MSDCF/ZERO0002.JPG", 250000 - 70000);  // outside every window
    const VerifyReport r = check(c.card, {c.backup}, CheckLevel::standard);
    // The windows cannot tell zeros from zeros; the whole-file pass can, even at the standard level.
    const FileResult& same = fileAt(r, "DCIM/100MSDCF/ZERO0001.JPG");
    EXPECT_TRUE(isCovered(same.status)) << rawValue(same.status);
    ASSERT_EQ(same.copies.size(), 1u);
    EXPECT_GE(same.copies[0].evidence, EvidenceLevel::sampled);
    EXPECT_EQ(fileAt(r, "DCIM/100MSDCF/ZERO0002.JPG").status, FileStatus::conflict);
}

TEST(Scenario, TruncatedCopyIsNoCopy) {
    Card c;
    test::copyTree(c.card, c.backup);
    std::filesystem::resize_file(c.backup + "/" + arw1, 200000);
    for (CheckLevel level : {CheckLevel::standard, CheckLevel::verified}) {
        const VerifyReport r = check(c.card, {c.backup}, level);
        const FileResult& f = fileAt(r, arw1);
        EXPECT_EQ(f.status, FileStatus::conflict);
        EXPECT_TRUE(f.copies.empty());
        EXPECT_EQ(f.safeDrives, 0);
    }
}

// A copy that lies only in the backup's trash or in lost+found was deleted or lost there: the
// file is missing; in the backup's own folder named like a trash, as the backup root, it counts.
TEST(Scenario, CopiesInABackupsTrashAreNoCopies) {
    struct Case {
        const char* where;
        bool counts;
    } cases[] = {
        {".Trash-1000/files/DSC00001.ARW", false},
        {".Trash/DSC00001.ARW", false},
        {"lost+found/#1234", false},
        {"Shoots/.trash-1000/DSC00001.ARW", false},
        {"Shoots/DSC00001.ARW", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        Card card;
        const std::string copy = card.backup + "/" + c.where;
        std::filesystem::create_directories(std::filesystem::path(copy).parent_path());
        std::filesystem::copy_file(card.card + "/" + arw1, copy);
        const VerifyReport r = check(card.card, {card.backup}, CheckLevel::standard);
        EXPECT_EQ(fileAt(r, arw1).copies.size(), c.counts ? 1u : 0u);
        EXPECT_EQ(fileAt(r, arw1).status == FileStatus::missing, !c.counts);
    }
    Card inTrash;
    const std::string trash = inTrash.dir / ".Trash-1000";
    test::copyTree(inTrash.card, trash);
    EXPECT_EQ(fileAt(check(inTrash.card, {trash}, CheckLevel::standard), arw1).copies.size(), 1u)
        << "a backup chosen inside a trash folder is the user's own choice";
}

TEST(Scenario, RenamedCopyWithOneHourClockShift) {
    Card c;
    std::filesystem::create_directories(c.backup + "/2024-05-03");
    const std::string dst = c.backup + "/2024-05-03/Portrait_001.ARW";
    std::filesystem::copy_file(c.card + "/" + arw1, dst);
    test::setMtime(dst, test::mtimeOf(c.card + "/" + arw1) + 3600LL * 1000000000LL);
    const VerifyReport r = check(c.card, {c.backup}, CheckLevel::verified);
    const FileResult& f = fileAt(r, arw1);
    EXPECT_EQ(f.status, FileStatus::verified);
    ASSERT_EQ(f.copies.size(), 1u);
    EXPECT_TRUE(f.copies[0].renamed);
    EXPECT_EQ(f.copies[0].relativePath, "2024-05-03/Portrait_001.ARW");
    // The same-drive warning outranks the renamed note.
    EXPECT_EQ(f.detail, std::optional<std::string>(sameDrive));
    EXPECT_EQ(fileAt(r, "DCIM/100MSDCF/DSC00002.ARW").status, FileStatus::missing);
}

TEST(Scenario, HardLinkIsTheCardFileItself) {
    Card c;
    std::filesystem::create_directories(c.backup);
    ASSERT_EQ(::link((c.card + "/" + arw1).c_str(), (c.backup + "/DSC00001.ARW").c_str()), 0);
    const VerifyReport r = check(c.card, {c.backup}, CheckLevel::verified);
    const FileResult& f = fileAt(r, arw1);
    EXPECT_EQ(f.status, FileStatus::missing);
    EXPECT_TRUE(f.copies.empty());
    EXPECT_EQ(f.safeDrives, 0);
}

TEST(Scenario, CardInsideItsBackup) {
    TempDir dir("verify");
    const std::string backup = dir / "B";
    const std::string card = backup + "/Cards/A";
    test::makeCard(card);
    test::copyTree(card, backup + "/Cards/AB");
    const VerifyReport r = check(card, {backup}, CheckLevel::standard);
    for (const FileResult& f : r.files) {
        if (!f.inScope) continue;
        EXPECT_EQ(f.status, FileStatus::backedUp) << f.relativePath;
        for (const CopyRef& ref : f.copies) EXPECT_EQ(ref.relativePath.rfind("Cards/AB/", 0), 0u) << ref.relativePath;
    }
    // The backup is the card itself: nothing of it counts.
    const VerifyReport self = check(card, {card + "/"}, CheckLevel::standard);
    EXPECT_EQ(self.totals.missing, self.totals.files);
    EXPECT_EQ(self.destinations.size(), 1u);
}

TEST(Scenario, CardOnlyScanAndRequiredCopiesBelowOne) {
    Card c;
    for (int64_t required : {2, 0, -5}) {
        const VerifyReport r = check(c.card, {}, CheckLevel::standard, required);
        EXPECT_TRUE(r.destinations.empty());
        EXPECT_EQ(r.totals.files, 7);
        EXPECT_EQ(r.totals.missing, 7);
        EXPECT_EQ(r.totals.missingBytes, 0);
        EXPECT_EQ(r.safeFiles, 0);
        EXPECT_FALSE(r.safeToFormat);
        EXPECT_GE(r.requiredCopies, 1);
        for (const FileResult& f : r.files) {
            if (f.inScope) {
                EXPECT_EQ(f.status, FileStatus::notCompared);
            }
        }
        EXPECT_FALSE(r.cameras.empty());
        EXPECT_FALSE(r.groups.empty());
    }
}

TEST(Scenario, NothingInScopeIsNeverSafe) {
    TempDir dir("verify");
    dir.write("card/notes.txt", "hello");
    dir.write("backup/notes.txt", "hello");
    for (int64_t required : {0, 1, 2}) {
        const VerifyReport r = check(dir / "card", {dir / "backup"}, CheckLevel::verified, required);
        EXPECT_EQ(r.totals.files, 0);
        EXPECT_FALSE(r.safeToFormat);
        EXPECT_EQ(r.outOfScope, 1);
    }
}

TEST(Scenario, FailuresOfCardAndBackups) {
    Card c;
    test::copyTree(c.card, c.backup);
    try {
        check(c.dir / "nope", {c.backup}, CheckLevel::standard);
        FAIL() << "no error";
    } catch (const VerifyError& e) {
        EXPECT_EQ(e.kind(), VerifyError::Kind::cannotRead);
        EXPECT_EQ(e.errorNumber(), ENOENT);
        EXPECT_EQ(e.description(), "Can't read " + (c.dir / "nope") + ": No such file or directory");
    }
    const std::string gone = c.dir / "gone";
    const VerifyReport r = check(c.card, {gone, c.backup}, CheckLevel::standard);
    ASSERT_EQ(r.destinations.size(), 2u);
    EXPECT_EQ(r.problems, std::vector<std::string>{"Couldn't open backup " + gone});
    EXPECT_EQ(fileAt(r, arw1).status, FileStatus::backedUp);
    ASSERT_EQ(fileAt(r, arw1).copies.size(), 1u);
    EXPECT_EQ(fileAt(r, arw1).copies[0].destination, 1);
}

TEST(Scenario, SameCardSameReport) {
    Card c(CardOptions{20, 2, 200000, 300000, true, 9});
    test::copyTree(c.card, c.backup);
    VerifyReport a = check(c.card, {c.backup}, CheckLevel::standard);
    for (int i = 0; i < 3; ++i) {
        VerifyReport b = check(c.card, {c.backup}, CheckLevel::standard);
        b.startedAt = a.startedAt;
        b.finishedAt = a.finishedAt;
        EXPECT_EQ(a.files, b.files);
        EXPECT_EQ(a.groups, b.groups);
        EXPECT_EQ(a.folders, b.folders);
        EXPECT_EQ(a.contents, b.contents);
    }
}

TEST(Scenario, SameNameOtherContentIsToldApartByExif) {
    Card c;
    // Same names and sizes, same shots (same EXIF), other bodies: damaged copies.
    test::makeCard(c.backup, CardOptions{3, 1, 300000, 1 << 20, false, 77});
    const VerifyReport r = check(c.card, {c.backup}, CheckLevel::standard);
    const FileResult& f = fileAt(r, arw1);
    EXPECT_EQ(f.status, FileStatus::conflict);
    EXPECT_EQ(f.detail, std::optional<std::string>(std::string(arw1) + " is damaged (content differs)"));
    // A clip has no EXIF to settle it.
    EXPECT_EQ(fileAt(r, mp4).detail, std::optional<std::string>(std::string(mp4) + " has the same name but different content"));
}

TEST(Scenario, WideSearchStartsAtOneMebibyte) {
    struct Case { int64_t size; bool found; };
    for (Case k : {Case{1048575, false}, Case{1048576, true}}) {
        TempDir dir("verify");
        const std::string body = test::noise(k.size, 11);
        test::writeFile(dir / "card/PRIVATE/M4ROOT/CLIP/C0001.MP4", body, 1714737600LL * 1000000000LL);
        // Renamed and re-dated: no candidate by name or by time, only by size and extension.
        test::writeFile(dir / "backup/Clips/holiday.mp4", body, 1715737600LL * 1000000000LL);
        const VerifyReport r = check(dir / "card", {dir / "backup"}, CheckLevel::standard);
        const FileResult& f = fileAt(r, mp4);
        EXPECT_EQ(isCovered(f.status), k.found) << k.size;
        if (k.found) {
            ASSERT_EQ(f.copies.size(), 1u);
            EXPECT_TRUE(f.copies[0].renamed);
            EXPECT_EQ(f.copies[0].relativePath, "Clips/holiday.mp4");
        }
    }
}

TEST(Scenario, TwoCopiesOnOneDriveAreOneLocation) {
    Card c;
    test::copyTree(c.card, c.backup + "/one");
    test::copyTree(c.card, c.backup + "/two");
    const VerifyReport r = check(c.card, {c.backup}, CheckLevel::verified);
    for (const FileResult& f : r.files) {
        if (!f.inScope) continue;
        EXPECT_EQ(f.status, FileStatus::verified) << f.relativePath;
        EXPECT_EQ(f.copies.size(), 1u) << f.relativePath;
    }
    ASSERT_FALSE(r.groups.empty());
    EXPECT_FALSE(r.groups[0].landings.empty());
}

// ---- progress and cancellation ---------------------------------------------------------------------

TEST(Progress, EventSequence) {
    Card c(CardOptions{13, 0, 100000, 0, false, 4});  // 26 photos to date and compare
    test::copyTree(c.card, c.backup);
    Verifier v(VerifyRequest(c.card, {c.backup}));
    std::mutex m;
    std::vector<VerifyProgress> events;
    std::atomic<int> results{0};
    v.onProgress = [&](const VerifyProgress& p) {
        std::lock_guard<std::mutex> g(m);
        events.push_back(p);
    };
    v.onFileResult = [&](const FileResult& f) {
        EXPECT_TRUE(f.day.empty());
        ++results;
    };
    v.run();
    using S = VerifyProgress::Stage;
    std::vector<std::tuple<S, int64_t, int64_t>> seen;
    for (const auto& e : events) seen.emplace_back(e.stage, e.done, e.total);
    const std::vector<std::tuple<S, int64_t, int64_t>> want = {
        {S::scanningSource, 0, 0}, {S::readingDates, 25, 26}, {S::readingDates, 26, 26},
        {S::indexingBackups, 0, 1}, {S::comparing, 10, 26},   {S::comparing, 20, 26},
        {S::comparing, 26, 26},     {S::done, 1, 1}};
    // Workers may deliver their events in either order within a stage.
    auto sorted = seen;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return std::get<0>(a) == std::get<0>(b) && std::get<1>(a) < std::get<1>(b);
    });
    EXPECT_EQ(seen.size(), want.size());
    std::multiset<std::tuple<S, int64_t, int64_t>> got(seen.begin(), seen.end()), exp(want.begin(), want.end());
    EXPECT_EQ(got, exp);
    EXPECT_EQ(std::get<0>(seen.front()), S::scanningSource);
    EXPECT_EQ(std::get<0>(seen.back()), S::done);
    EXPECT_EQ(results.load(), 26);
}

TEST(Cancellation, AtEveryStage) {
    Card c(CardOptions{13, 1, 100000, 300000, false, 5});
    test::copyTree(c.card, c.backup);
    using S = VerifyProgress::Stage;
    for (S stage : {S::scanningSource, S::readingDates, S::indexingBackups, S::comparing}) {
        Verifier v(VerifyRequest(c.card, {c.backup}));
        std::atomic<bool> afterCancel{false};
        std::atomic<int> lateResults{0};
        v.onProgress = [&](const VerifyProgress& p) {
            if (p.stage == stage && !afterCancel.exchange(true)) v.cancel();
        };
        v.onFileResult = [&](const FileResult&) {
            if (afterCancel) ++lateResults;
        };
        try {
            v.run();
            ADD_FAILURE() << "not cancelled at " << rawValue(stage);
        } catch (const VerifyError& e) {
            EXPECT_EQ(e.kind(), VerifyError::Kind::cancelled) << rawValue(stage);
            EXPECT_EQ(e.description(), "Cancelled");
        }
        // At most the comparisons already running when cancel() came may still finish.
        EXPECT_LE(lateResults.load(), 4) << rawValue(stage);
    }
    Verifier early(VerifyRequest(c.card, {c.backup}));
    early.cancel();
    std::atomic<int> events{0};
    early.onProgress = [&](const VerifyProgress& p) {
        if (p.stage != S::scanningSource) ++events;
    };
    EXPECT_THROW(early.run(), VerifyError);
    EXPECT_EQ(events.load(), 0);
}

TEST(Cancellation, InterruptedFullReadGivesNoResult) {
    Card c(CardOptions{1, 1, 300000, 8 << 20, false, 6});
    test::copyTree(c.card, c.backup);
    VerifyRequest req(c.card, {c.backup});
    req.level = CheckLevel::verified;
    Verifier v(req);
    // The context a run would build, made by hand so the comparison can be called after cancel().
    const WalkResult cardWalk = BulkWalker().walk(c.card);
    const auto items = Verifier::scanItems(cardWalk, req.scope, nullptr);
    const WalkResult backupWalk = BulkWalker().walk(c.backup);
    DestIndex ix;
    ExtTable ext;
    for (const WalkDirectory& d : backupWalk.directories) {
        std::optional<uint32_t> parent;
        if (d.parent >= 0) parent = static_cast<uint32_t>(d.parent);
        const size_t slash = d.relativePath.rfind('/');
        ix.appendDir(slash == std::string::npos ? d.relativePath : d.relativePath.substr(slash + 1), parent, RootID{0}, 0, 0);
    }
    for (const WalkEntry& e : backupWalk.entries)
        ix.appendFile(backupWalk.name(e), static_cast<uint32_t>(e.parent), e.size, e.modifiedNS, 0, 0, e.fileID, {},
                      ext.id(backupWalk.name(e)), e.device);
    ix.buildMaps();
    ix.rootDrive[RootID{0}] = PhysicalDriveID{"dev:backup"};
    ix.rootMount[RootID{0}] = backupWalk.rootMount;
    Verifier::CompareContext ctx;
    ctx.request = req;
    ctx.index = &ix;
    ctx.sameVolume = {false};
    ctx.sourceDrive = PhysicalDriveID{"dev:card"};
    ctx.cardMount = cardWalk.rootMount;
    ctx.extTable = &ext;
    size_t clip = items.size();
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].rel == mp4) clip = i;
    ASSERT_LT(clip, items.size());
    // Before cancel the same comparison is a verified copy on a drive of its own...
    const auto [result, locs] = v.compare(0, items[clip], ctx);
    EXPECT_EQ(result.status, FileStatus::verified);
    EXPECT_EQ(result.safeDrives, 1);
    // ...after it, the full read stops and no result is made up (never "Can't read").
    v.cancel();
    try {
        v.compare(0, items[clip], ctx);
        ADD_FAILURE() << "a cancelled comparison returned a result";
    } catch (const VerifyError& e) {
        EXPECT_EQ(e.kind(), VerifyError::Kind::cancelled);
    }
}

}  // namespace
}  // namespace halvetrop

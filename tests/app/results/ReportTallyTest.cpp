#include <gtest/gtest.h>

#include <algorithm>

#include "model/ReportTally.h"

namespace halvetrop {
namespace {

// 40 files in two folders (DCIM/100 and DCIM/100/SUB), every fifth out of scope, in four shoots;
// one shoot names a file twice and an id that names none.
VerifyReport tallied() {
    VerifyReport r;
    r.destinations.resize(2);
    const FileStatus statuses[] = {FileStatus::verified, FileStatus::missing, FileStatus::backedUp,
                                   FileStatus::conflict, FileStatus::likely};
    for (int i = 0; i < 40; ++i) {
        FileResult f;
        f.id = i;
        f.folder = i % 3 ? "DCIM/100" : "DCIM/100/SUB";
        f.name = std::to_string(i) + ".JPG";
        f.relativePath = f.folder + "/" + f.name;
        f.size = 100 + i;
        f.inScope = i % 5 != 4;
        f.status = statuses[i % 5];
        if (isCovered(f.status))
            f.copies = {{i % 2, std::string("Backup/").append(1, char('0' + i % 3)) + "/" + f.name}};
        r.files.push_back(f);
    }
    for (int g = 0; g < 4; ++g) {
        ShootGroup s;
        for (int i = g * 10; i < g * 10 + 10; ++i) s.fileIDs.push_back(i);
        r.groups.push_back(s);
    }
    r.groups[1].fileIDs.push_back(12);
    r.groups[1].fileIDs.push_back(99);
    return r;
}

// What the model's index finds for an id: the first file holding it.
present::FileLookup lookupIn(const VerifyReport& r) {
    return [&r](int64_t id) -> const FileResult* {
        for (const FileResult& f : r.files)
            if (f.id == id) return &f;
        return nullptr;
    };
}

// The figures counted from scratch, as the screen counted them before it kept them by file.
void expectFresh(const VerifyReport& r, ReportTally& tally, const std::string& where) {
    const present::FileLookup lookup = lookupIn(r);
    for (size_t g = 0; g < r.groups.size(); ++g)
        EXPECT_EQ(tally.shoot(g), present::liveCounts(r.groups[g].fileIDs, lookup))
            << where << " shoot " << g;
    int64_t copyable = 0;
    for (const FileResult& f : r.files)
        copyable += f.inScope && (f.status == FileStatus::missing || f.status == FileStatus::conflict);
    EXPECT_EQ(tally.copyable(), copyable) << where;
    EXPECT_EQ(tally.readsInDoubt(), present::readsInDoubt(r)) << where;
    // DCIM/100 first, as kept through the last fold, and last, to be kept through the next.
    for (const std::string folder : {"DCIM/100", "", "DCIM/100/SUB", "DCIM/100"}) {
        const std::vector<int> files = present::folderFiles(r, folder);
        const ReportTally::Folder& d = tally.folder(r, folder);
        EXPECT_EQ(d.files, files) << where << " " << folder;
        const std::vector<present::Place> all = present::places(r, files);
        EXPECT_EQ(d.places(), all) << where << " " << folder;
        // The panel's first places, ties kept in the same order.
        for (size_t most : {size_t(0), size_t(1), size_t(2), size_t(5)})
            EXPECT_EQ(d.places(most),
                      std::vector(all.begin(), all.begin() + std::ptrdiff_t(std::min(most, all.size()))))
                << where << " " << folder << " " << most;
        int64_t uncovered = 0, bytes = 0, copy = 0;
        for (int p : files) {
            const FileResult& f = r.files[size_t(p)];
            if (isCovered(f.status)) continue;
            ++uncovered;
            bytes += f.size;
            copy += f.status == FileStatus::missing || f.status == FileStatus::conflict;
        }
        EXPECT_EQ(d.uncovered, uncovered) << where << " " << folder;
        EXPECT_EQ(d.uncoveredBytes, bytes) << where << " " << folder;
        EXPECT_EQ(d.copyable, std::optional<int64_t>(copy)) << where << " " << folder;
    }
}

// Folds move statuses, first copies and the doubts of reads, the same file twice in one batch
// included; the figures kept by file stay what a count from scratch gives, a folder's kept from
// one fold to the next.
TEST(ReportTally, FoldsKeepWhatACountFromScratchGives) {
    VerifyReport r = tallied();
    ReportTally tally;
    tally.rebuild(&r, lookupIn(r));
    expectFresh(r, tally, "built");
    struct Fold {
        std::vector<int> files;
        FileStatus status;
        const char* copyFolder;  // nullptr: no copy
        std::vector<int> shoots;
        int64_t backup = 1;
        bool inDoubt = false;  // afterwards
        std::optional<MediumDoubt> copyDoubt = {}, cardDoubt = {};
    };
    const Fold folds[] = {
        {{1, 11, 13}, FileStatus::verified, "Backup/9", {0, 1}},
        {{11, 11, 36}, FileStatus::conflict, nullptr, {1, 3}},
        {{12, 24}, FileStatus::missing, nullptr, {1, 2}},
        {{0, 5}, FileStatus::verified, "Backup/0", {}},  // the same statuses, other copies
        // The same folder as the first fold's, on the other backup: another place.
        {{6, 7, 8}, FileStatus::verified, "Backup/9", {0}, 0},
        // A copy read through memory, then read from its drive; the card's read of a file.
        {{2}, FileStatus::verified, "Backup/9", {0}, 1, true, MediumDoubt::fuse},
        {{2}, FileStatus::verified, "Backup/9", {}, 1, false},
        {{3}, FileStatus::conflict, nullptr, {}, 1, true, {}, MediumDoubt::memory},
        {{3, 3}, FileStatus::conflict, nullptr, {}, 1, false},
        // Out of scope, its reads do not count.
        {{4}, FileStatus::likely, "Backup/9", {}, 1, false, MediumDoubt::fuse, MediumDoubt::fuse},
    };
    for (const Fold& fold : folds) {
        for (int p : fold.files) {
            FileResult& f = r.files[size_t(p)];
            f.status = fold.status;
            f.copies.clear();
            if (fold.copyFolder) f.copies = {{fold.backup, std::string(fold.copyFolder) + "/" + f.name}};
            if (!f.copies.empty()) f.copies[0].doubt = fold.copyDoubt;
            f.cardDoubt = fold.cardDoubt;
        }
        std::vector<int> shoots = tally.fold(r, fold.files);
        std::sort(shoots.begin(), shoots.end());
        EXPECT_EQ(shoots, fold.shoots);
        EXPECT_EQ(tally.readsInDoubt(), fold.inDoubt);
        expectFresh(r, tally, "after a fold");
    }

    // A backup whose drive's reads can't be told is in doubt while it holds a copy of a file shown.
    r.destinations[0].readsFromMedium = false;
    tally.rebuild(&r, lookupIn(r));
    EXPECT_TRUE(tally.readsInDoubt());
    std::vector<int> onIt;
    for (size_t p = 0; p < r.files.size(); ++p)
        if (!r.files[p].copies.empty() && r.files[p].copies[0].destination == 0) {
            r.files[p].copies[0].destination = 1;
            onIt.push_back(int(p));
        }
    tally.fold(r, onIt);
    EXPECT_FALSE(tally.readsInDoubt());
    expectFresh(r, tally, "no copy on the backup in doubt");
}

// Where an id names an earlier file rather than its own, the folder's copyable files are left to the
// model; a shoot counts the file the id finds, never the other one.
TEST(ReportTally, IdsNamingAnotherFile) {
    VerifyReport r = tallied();
    r.files[7].id = 3;
    ReportTally tally;
    tally.rebuild(&r, lookupIn(r));
    EXPECT_FALSE(tally.folder(r, "").copyable.has_value());
    r.files[7].status = FileStatus::verified;
    EXPECT_TRUE(tally.fold(r, {7}).empty());
    EXPECT_EQ(tally.shoot(0), present::liveCounts(r.groups[0].fileIDs, lookupIn(r)));
}

// A count made off the GUI thread goes with its report as the report is moved into the model: the
// moved report is taken, a fold then counts on it; a copy of the report, one of other files, or
// none, is not taken, and the tally keeps the report it counted.
TEST(ReportTally, TakesOnlyItsOwnReportMoved) {
    VerifyReport counted = tallied();
    ReportTally tally;
    tally.rebuild(&counted, lookupIn(counted));
    VerifyReport copy = counted;
    VerifyReport shorter = counted;
    shorter.files.pop_back();
    EXPECT_FALSE(tally.adopt(nullptr));
    EXPECT_FALSE(tally.adopt(&copy));
    EXPECT_FALSE(tally.adopt(&shorter));
    tally.folder(counted, "DCIM/100");

    std::optional<VerifyReport> held;
    held = std::move(counted);
    ASSERT_TRUE(tally.adopt(&*held));
    expectFresh(*held, tally, "taken");
    held->files[1].status = FileStatus::verified;
    EXPECT_EQ(tally.fold(*held, {1}), std::vector<int>{0});
    expectFresh(*held, tally, "folded after it was taken");
    // Folds into the report it no longer counts change nothing.
    EXPECT_TRUE(tally.fold(copy, {1}).empty());
}

}  // namespace
}  // namespace halvetrop

#include <gtest/gtest.h>

#include "present/RecentCard.h"
#include "present/Sidebar.h"

namespace halvetrop::present {
namespace {

VolumeInfo volume(bool card, bool network, bool internal) {
    VolumeInfo v;
    v.name = "NAS <b>1</b>";
    v.freeBytes = 1'500'000'000;
    v.isLikelyCameraCard = card;
    v.isNetwork = network;
    v.isInternal = internal;
    return v;
}

VolumeInfo rooted(VolumeInfo v, const std::string& volumePath) {
    v.volumePath = volumePath;
    return v;
}

TEST(SidebarLooks, LocationRows) {
    struct Row {
        std::string path;
        std::optional<VolumeInfo> volume;
        std::string_view symbol;
        const char* name;
        const char* detail;
        bool connected = true;
    };
    const Row rows[] = {
        // A backup whose drive is not connected: never the facts of what now sits at its path.
        {"/media/ana/DRIVE", volume(false, false, true), "externaldrive.fill", "DRIVE",
         "\u201cDRIVE\u201d isn't connected", false},
        {"/media/ana/DRIVE/Photos", std::nullopt, "folder.fill", "Photos",
         "\u201cPhotos\u201d isn't connected", false},
        {"/media/ana/DRIVE", std::nullopt, "externaldrive.fill", "DRIVE", "/media/ana"},
        {"/run/media/ana/DRIVE", std::nullopt, "externaldrive.fill", "DRIVE", "/run/media/ana"},
        {"/mnt/backup", std::nullopt, "externaldrive.fill", "backup", "/mnt"},
        {"/media/ana/DRIVE/Photos", std::nullopt, "folder.fill", "Photos", "/media/ana/DRIVE"},
        {"/home/ana", std::nullopt, "folder.fill", "ana", "/home"},
        {"/srv", std::nullopt, "folder.fill", "srv", "/"},
        {"/", std::nullopt, "folder.fill", "/", "/"},
        // The camera test comes before the network one.
        {"/mnt/nas", volume(true, true, false), "sdcard.fill", "nas", "NAS <b>1</b> · 1.5 GB free"},
        {"/mnt/nas", volume(false, true, true), "server.rack", "nas", "NAS <b>1</b> · 1.5 GB free"},
        {"/home/ana", volume(false, false, true), "internaldrive.fill", "ana", "NAS <b>1</b> · 1.5 GB free"},
        {"/media/x/Y", volume(false, false, false), "externaldrive.fill", "Y", "NAS <b>1</b> · 1.5 GB free"},
        // A volume itself is called by its name, as the header and the saved checks call it,
        // whatever folder it is mounted at; a folder on it by the folder's.
        {"/mnt/halvetrop-CARD-x1", rooted(volume(true, false, false), "/mnt/halvetrop-CARD-x1/"),
         "sdcard.fill", "NAS <b>1</b>", "NAS <b>1</b> · 1.5 GB free"},
        {"/mnt/halvetrop-CARD-x1/DCIM", rooted(volume(true, false, false), "/mnt/halvetrop-CARD-x1"),
         "sdcard.fill", "DCIM", "NAS <b>1</b> · 1.5 GB free"},
    };
    for (const auto& row : rows) {
        const auto look = locationLook(row.path, row.volume, row.connected);
        EXPECT_EQ(look.symbol, row.symbol) << row.path;
        EXPECT_EQ(look.name.toStdString(), row.name) << row.path;
        EXPECT_EQ(look.detail.toStdString(), row.detail) << row.path;
        EXPECT_EQ(look.detailHead + look.detailTail, look.detail) << row.path;
    }
    // Where the line is short only the name or the path gives way; the facts after it stay whole.
    struct Split {
        std::string path;
        std::optional<VolumeInfo> volume;
        bool connected;
        const char* head;
        const char* tail;
    };
    const Split splits[] = {
        {"/mnt/nas", volume(false, true, true), true, "NAS <b>1</b>", " · 1.5 GB free"},
        {"/media/ana/DRIVE", volume(false, false, true), false, "\u201cDRIVE\u201d", " isn't connected"},
        {"/media/ana/DRIVE/Photos", std::nullopt, true, "/media/ana/DRIVE", ""},
    };
    for (const auto& split : splits) {
        const auto look = locationLook(split.path, split.volume, split.connected);
        EXPECT_EQ(look.detailHead.toStdString(), split.head) << split.path;
        EXPECT_EQ(look.detailTail.toStdString(), split.tail) << split.path;
    }
}

// Each backup quoted as every name in a sentence is; the verb agrees with how many, and the list
// joins with "and" also where the locale has no words of its own (C).
TEST(SidebarLooks, NotConnectedNamesEachBackup) {
    const QLocale before;
    for (const char* locale : {"en_US", "C"}) {
        QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
        EXPECT_EQ(notConnectedText({"/media/ana/ARCHIVE"}).toStdString(),
                  "\u201cARCHIVE\u201d isn't connected");
        EXPECT_EQ(notConnectedText({"/media/ana/A", "/mnt/B/Photos"}).toStdString(),
                  "\u201cA\u201d and \u201cPhotos\u201d aren't connected");
        EXPECT_EQ(notConnectedText({"/media/A", "/media/B", "/media/C"}).toStdString(),
                  "\u201cA\u201d, \u201cB\u201d, and \u201cC\u201d aren't connected");
    }
    QLocale::setDefault(before);
}

VerifyReport report(int64_t files, int64_t verified, int64_t backedUp, bool cardOnly, bool safe) {
    VerifyReport r;
    r.totals.files = files;
    r.totals.verified = verified;
    r.totals.backedUp = backedUp;
    r.totals.missing = files - verified - backedUp;
    if (!cardOnly) r.destinations.push_back(VolumeInfo{});
    r.safeToFormat = safe;
    return r;
}

VerifyReport unread(VerifyReport r, int64_t entries) {
    r.cardUnreadable = entries;
    return r;
}

TEST(SidebarLooks, SavedChecksAndRecentCards) {
    struct Row {
        VerifyReport report;
        std::string_view symbol;
        ColorRole color;
        const char* line;
        std::string_view badge;
        const char* tileLine;
        std::optional<ColorRole> tileColor;
    };
    const Row rows[] = {
        {report(1200, 0, 0, true, false), "sdcard", ColorRole::brand, "1,200 files · card only",
         "magnifyingglass.circle.fill", "1,200 files · not compared", std::nullopt},
        {report(1200, 1000, 200, false, true), "checkmark.seal.fill", ColorRole::verified,
         "1,200 files backed up", "checkmark.seal.fill", "1,200 files backed up", ColorRole::verified},
        {report(10, 4, 6, false, false), "checkmark.circle.fill", ColorRole::verified, "10 files backed up",
         "checkmark.circle.fill", "10 files backed up", ColorRole::verified},
        // One file is one file.
        {report(1, 1, 0, false, false), "checkmark.circle.fill", ColorRole::verified, "1 file backed up",
         "checkmark.circle.fill", "1 file backed up", ColorRole::verified},
        {report(1, 0, 0, true, false), "sdcard", ColorRole::brand, "1 file · card only",
         "magnifyingglass.circle.fill", "1 file · not compared", std::nullopt},
        {report(2, 0, 1, false, false), "exclamationmark.circle.fill", ColorRole::missing, "1 not backed up",
         "exclamationmark.circle.fill", "1 not backed up", ColorRole::missing},
        {report(2000, 4, 6, false, false), "exclamationmark.circle.fill", ColorRole::missing,
         "1,990 not backed up", "exclamationmark.circle.fill", "1,990 not backed up", ColorRole::missing},
        // No files in scope is never "backed up", even when ready.
        {report(0, 0, 0, false, false), "exclamationmark.circle.fill", ColorRole::missing, "0 not backed up",
         "exclamationmark.circle.fill", "0 not backed up", ColorRole::missing},
        {report(0, 0, 0, false, true), "checkmark.seal.fill", ColorRole::missing, "0 not backed up",
         "checkmark.seal.fill", "0 not backed up", ColorRole::missing},
        // Every file read has a copy, but part of the card was never read.
        {unread(report(10, 4, 6, false, false), 2), "exclamationmark.circle.fill", ColorRole::missing,
         "2 couldn't be read", "exclamationmark.circle.fill", "2 couldn't be read", ColorRole::missing},
        {unread(report(10, 4, 5, false, false), 2), "exclamationmark.circle.fill", ColorRole::missing,
         "1 not backed up", "exclamationmark.circle.fill", "1 not backed up", ColorRole::missing},
    };
    for (const auto& row : rows) {
        const auto look = savedCheckLook(summarize(row.report));
        EXPECT_EQ(look.symbol, row.symbol) << row.line;
        EXPECT_EQ(look.color, row.color) << row.line;
        EXPECT_EQ(look.countLine.toStdString(), row.line);
        const auto tile = recentCardLook(summarize(row.report));
        EXPECT_EQ(tile.badge, row.badge) << row.line;
        EXPECT_EQ(tile.statusLine.toStdString(), row.tileLine);
        EXPECT_EQ(tile.statusColor, row.tileColor) << row.line;
        EXPECT_EQ(tile.badgeColor, row.tileColor.value_or(ColorRole::brandFill)) << row.line;
        EXPECT_EQ(tile.checkedPrefix.toStdString(), row.report.isCardOnly() ? "Scanned " : "Checked ");
    }
}

TEST(SidebarLooks, CurrentRowAndDrops) {
    const TimeNs at = 42;
    EXPECT_TRUE(isCurrentSavedCheck(at, at, true));
    EXPECT_FALSE(isCurrentSavedCheck(at, at, false));
    EXPECT_FALSE(isCurrentSavedCheck(at, at + 1, true));
    EXPECT_FALSE(isCurrentSavedCheck(at, std::nullopt, true));

    const std::vector<std::string> three{"/a", "/b", "/c"};
    auto plan = planDrop(false, three);
    EXPECT_EQ(plan.source, "/a");
    EXPECT_EQ(plan.backups, (std::vector<std::string>{"/b", "/c"}));
    plan = planDrop(true, three);
    EXPECT_EQ(plan.source, std::nullopt);
    EXPECT_EQ(plan.backups, three);
    plan = planDrop(false, {});
    EXPECT_EQ(plan.source, std::nullopt);
    EXPECT_TRUE(plan.backups.empty());
}

TEST(RecentCards, CamerasAndDays) {
    auto group = [](std::string day, std::string camera) {
        ShootGroup g;
        g.day = std::move(day);
        g.camera = std::move(camera);
        return g;
    };
    VerifyReport r = report(3, 3, 0, false, false);
    EXPECT_EQ(recentCardLook(summarize(r)).cameras.toStdString(), "");
    EXPECT_EQ(recentCardLook(summarize(r)).days.toStdString(), "");
    r.groups = {group("2025-03-04", "Z9"), group("2025-03-01", ""), group("2025-03-02", "A7 IV"),
                group("2025-03-03", "Z9")};
    EXPECT_EQ(recentCardLook(summarize(r)).cameras.toStdString(), "A7 IV · Z9");
    EXPECT_EQ(recentCardLook(summarize(r)).days.toStdString(), "Mar 1, 2025 – Mar 4, 2025");
    r.groups = {group("2025-03-01", ""), group("2025-03-01", "")};
    EXPECT_EQ(recentCardLook(summarize(r)).cameras.toStdString(), "");
    EXPECT_EQ(recentCardLook(summarize(r)).days.toStdString(), "Mar 1, 2025");
}

}  // namespace
}  // namespace halvetrop::present

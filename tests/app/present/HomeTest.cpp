#include <gtest/gtest.h>

#include <QLocale>

#include "present/Home.h"

namespace halvetrop::present {
namespace {

using Stage = VerifyProgress::Stage;

VolumeInfo vol(std::string path, std::string volumePath, std::string fs, int64_t total, int64_t free) {
    VolumeInfo v;
    v.path = std::move(path);
    v.volumePath = std::move(volumePath);
    v.name = "Archive";
    v.fileSystem = std::move(fs);
    v.totalBytes = total;
    v.freeBytes = free;
    return v;
}

class HomeRules : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QStringLiteral("en_US"))); }
};

// A card is named by its volume, or, as a folder below its volume's root, by the folder: one on
// the system disk is never "/".
TEST_F(HomeRules, CardNames) {
    struct Row {
        std::string path, volumePath, name;
        const char* shown;
    };
    const Row rows[] = {
        {"/media/ana/EOS", "/media/ana/EOS", "EOS_DIGITAL", "EOS_DIGITAL"},
        {"/media/ana/EOS/", "/media/ana/EOS", "EOS_DIGITAL", "EOS_DIGITAL"},
        {"/media/ana/EOS/DCIM/100CANON", "/media/ana/EOS", "EOS_DIGITAL", "100CANON"},
        {"/home/ana/Card 3", "/", "/", "Card 3"},
        {"/home/ana/Card 3/", "/", "/", "Card 3"},
        {"/home/ana/\xff", "/", "/", "\xef\xbf\xbd"},
        {"/", "/", "/", "/"},
        {"", "/", "/", "/"},
    };
    for (const Row& row : rows) {
        VolumeInfo v = vol(row.path, row.volumePath, "ext4", 1, 1);
        v.name = row.name;
        EXPECT_EQ(cardName(v).toStdString(), row.shown) << row.path;
    }
}

TEST_F(HomeRules, ButtonHelp) {
    EXPECT_EQ(checkHelp(true, "Ctrl+Return"), "Check the card against your backups (Ctrl+Return)");
    EXPECT_EQ(checkHelp(false, "Ctrl+Return"), "Choose a card and a backup first");
    EXPECT_EQ(scanHelp(), "See the card's shoots, cameras and sizes without comparing against a backup");
}

TEST_F(HomeRules, SelectedCardAndBackupRows) {
    struct Row {
        std::string path;
        std::optional<VolumeInfo> info;
        const char* card;
        const char* backupFree;  // nullptr: no free line and no bar
    };
    const int64_t sd = 64'023'003'136;
    const Row rows[] = {
        {"/media/a/CARD", vol("/media/a/CARD", "/media/a/CARD", "exfat", sd, sd / 2), "64.02 GB · EXFAT",
         "32.01 GB free"},
        // The FUSE wrapper never shows; the core's probed type or nothing does.
        {"/media/a/CARD", vol("/media/a/CARD", "/media/a/CARD", "fuseblk", sd, 0), "64.02 GB",
         "Zero KB free"},
        {"/media/a/CARD", vol("/media/a/CARD", "/media/a/CARD", "fuseblk.exfat", sd, 0), "64.02 GB · EXFAT",
         "Zero KB free"},
        // Told apart on clean paths: a trailing "/" or "." does not make a folder.
        {"/media/a/CARD/", vol("/media/a/CARD/", "/media/a/CARD", "vfat", sd, 0), "64.02 GB · VFAT",
         "Zero KB free"},
        {"/media/a/CARD/.", vol("/media/a/CARD/.", "/media/a/CARD/", "ext4", sd, 0), "64.02 GB · EXT4",
         "Zero KB free"},
        {"/media/a/CARD/DCIM",
         vol("/media/a/CARD/DCIM", "/media/a/CARD", "exfat", 2'000'000'000, 1'500'000'000),
         "Folder on Archive", "1.5 GB free · on Archive"},
        {"/media/a/CARDX", vol("/media/a/CARDX", "/media/a/CARD", "exfat", 1, 1), "Folder on Archive",
         "1 byte free · on Archive"},
        {"/media/a/CARD", vol("/media/a/CARD", "/media/a/CARD", "exfat", 0, 0), "Zero KB · EXFAT", nullptr},
        {"/media/a/CARD", std::nullopt, "", nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        EXPECT_EQ(selectedCardDetail(r.path, r.info), QString::fromUtf8(r.card));
        const auto look = backupLook(r.path, r.info);
        ASSERT_EQ(look.has_value(), r.backupFree != nullptr);
        if (look) {
            EXPECT_EQ(look->freeLine, QString::fromUtf8(r.backupFree));
        }
    }
}

TEST_F(HomeRules, UsageIsClampedAndTurnsAmberAboveNinetyPercent) {
    struct Row {
        int64_t total, free;
        double used;
        ColorRole color;
    };
    const Row rows[] = {
        {100, 5, 0.95, ColorRole::partial},    {100, 10, 0.9, ColorRole::brandFill},
        {100, 0, 1.0, ColorRole::partial},     {100, 100, 0.0, ColorRole::brandFill},
        {100, 250, 0.0, ColorRole::brandFill},  // more free than total
        {100, -20, 1.0, ColorRole::partial},   {0, 0, 0.0, ColorRole::brandFill},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.total) + "/" + std::to_string(r.free));
        EXPECT_NEAR(usedFraction(r.total, r.free), r.used, 1e-12);
        EXPECT_EQ(usageColor(usedFraction(r.total, r.free)), r.color);
    }
    EXPECT_EQ(backupLook("/b", vol("/b", "/b", "ext4", 100, 250))->used, 0.0);
}

TEST_F(HomeRules, OfferedCardsAndLabels) {
    auto v = vol("/media/a/EOS", "/media/a/EOS", "exfat", 63'900'000'000, 0);
    v.name = "EOS_<b>DIGITAL</b>";
    for (const bool backups : {false, true}) {
        const auto look = offeredCardLook(v, backups);
        EXPECT_EQ(look.title, "EOS_<b>DIGITAL</b>");
        EXPECT_EQ(look.subtitle, "63.9 GB · inserted");
        EXPECT_EQ(look.help, "Check EOS_<b>DIGITAL</b>");
        EXPECT_EQ(look.action, backups ? "Check" : "Use");
    }
    EXPECT_EQ(backupsLabel(0), "Backup");
    EXPECT_EQ(backupsLabel(1), "Backup");
    EXPECT_EQ(backupsLabel(2), "Backups");
}

TEST_F(HomeRules, CheckingTitleCountAndBar) {
    EXPECT_EQ(stageTitle(Stage::scanningSource, "CARD"), "Reading the card…");
    EXPECT_EQ(stageTitle(Stage::readingDates, "a.jpg"), "Reading capture dates…");
    EXPECT_EQ(stageTitle(Stage::indexingBackups, "Archive"), "Looking through Archive…");
    EXPECT_EQ(stageTitle(Stage::indexingBackups, ""), "Looking through the backups…");
    EXPECT_EQ(stageTitle(Stage::comparing, "a.jpg"), "Matching every shot…");
    EXPECT_EQ(stageTitle(Stage::done, ""), "Done");

    struct Row {
        int64_t done, total;
        const char* count;
        std::optional<double> fraction;
    };
    const Row rows[] = {
        {0, 0, " ", std::nullopt}, {3, -1, " ", std::nullopt},
        {0, 5, "0 of 5", 0.0},     {1234, 56789, "1,234 of 56,789", 1234.0 / 56789},
        {9, 5, "9 of 5", 1.0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(countLine(r.done, r.total), r.count);
        EXPECT_EQ(barFraction(r.done, r.total), r.fraction);
    }
}

TEST_F(HomeRules, PictureNamesAndPackets) {
    auto n = pictureNames(std::nullopt, {});
    EXPECT_EQ(n.cardName, "Card");
    EXPECT_EQ(n.driveName, "Backup");
    EXPECT_EQ(n.extraDrives, 0);
    n = pictureNames("/media/a/Card A/", {"/media/a/Backup B", "/x", "/y"});
    EXPECT_EQ(n.cardName, "Card A");
    EXPECT_EQ(n.driveName, "Backup B");
    EXPECT_EQ(n.extraDrives, 2);

    // 0.45 t whole: packet 0 at the card, invisible; the arc ends where the columns meet it.
    const auto at = packets(20.0, Stage::scanningSource, 560, 220);
    ASSERT_EQ(at.size(), size_t(packetCount));
    EXPECT_NEAR(at[0].x, 150, 1e-9);
    EXPECT_NEAR(at[0].y, 96, 1e-9);
    EXPECT_NEAR(at[0].opacity, 0, 1e-9);
    for (const auto& p : at) EXPECT_FALSE(p.backwards);
    const auto twoWay = packets(20.0, Stage::comparing, 560, 220);
    for (int i = 0; i < packetCount; ++i) {
        EXPECT_EQ(twoWay[size_t(i)].backwards, i % 2 == 1);
        EXPECT_NEAR(twoWay[size_t(i)].opacity, at[size_t(i)].opacity, 1e-9);
    }
    // A backwards packet stands where a forward one would at the mirrored point of its trip.
    EXPECT_NEAR(twoWay[1].x, packets(20.0 + 6.0 / 7 / 0.45, Stage::done, 560, 220)[0].x, 1e-6);
    EXPECT_TRUE(packets(20.0, Stage::indexingBackups, 560, 220)[3].backwards);
    EXPECT_DOUBLE_EQ(driveGlowOpacity(1.0, Stage::indexingBackups), 0.08);
    EXPECT_NE(driveGlowOpacity(1.0, Stage::comparing), 0.08);
}

}  // namespace
}  // namespace halvetrop::present

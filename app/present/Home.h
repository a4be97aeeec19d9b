#pragma once
// What the start screen and the checking screen show, derived from the model's values: the help
// texts of the two start buttons, the card, offered-card and backup rows, the backup's usage bar,
// the checking screen's title, count and bar, and the card-to-drive picture's moving parts.
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "drives/Drives.h"
#include "present/Tokens.h"
#include "verify/Verifier.h"

namespace halvetrop::present {

// "Check the card against your backups (SHORTCUT)" while a check may start, else what is missing.
QString checkHelp(bool canCheck, const QString& shortcutText);
QString scanHelp();

// The file-system type as a row shows it: upper-cased, with a FUSE wrapper's name taken off
// ("fuseblk.exfat" -> "EXFAT"); empty when only the wrapper is known ("fuseblk", "?").
QString fileSystemName(const std::string& type);

// Whether `path` is the volume itself rather than a folder on it; both are compared as clean paths.
bool isVolumeRoot(const std::string& path, const std::string& volumePath);

// What a card is called on screen (saved checks, the results header, notices, file names): its
// volume's name, or, for a folder below its volume's root, the folder's own name. A folder card
// on the system disk would otherwise be called "/", and every folder card of one drive the drive.
// The stored VolumeInfo keeps the volume's name.
std::string cardNameBytes(const VolumeInfo& source);
QString cardName(const VolumeInfo& source);

// What a chosen card or backup is called in the rows that show it (the sidebar, the start screen),
// as the header and the saved checks call it: its volume's name once that is described, when it is
// the volume itself; its folder's name otherwise.
QString placeName(const std::string& path, const std::optional<VolumeInfo>& volume);

// The chosen card's second line: "64.02 GB · EXFAT" for a volume, "Folder on NAME" for a folder on
// one; empty without a description.
QString selectedCardDetail(const std::string& path, const std::optional<VolumeInfo>& info);

struct OfferedCardLook {
    QString title;     // the volume name
    QString subtitle;  // "64.02 GB · inserted"
    QString help;      // "Check NAME"
    QString action;    // "Check" with backups to check it against, else "Use"
};
// The start screen and the sidebar offer a card alike: both take it the same way.
OfferedCardLook offeredCardLook(const VolumeInfo& volume, bool hasBackups);

struct BackupLook {
    QString freeLine;     // "812 GB free", "812 GB free · on Archive"
    double used = 0;      // 0...1
    ColorRole usedColor;  // partial above 90 % used, else brandFill
};
// Nothing without a description or when the volume reports no capacity.
std::optional<BackupLook> backupLook(const std::string& path, const std::optional<VolumeInfo>& info);

// 1 - free / total, kept within 0...1 (network and FUSE mounts can report more free than total).
double usedFraction(int64_t totalBytes, int64_t freeBytes);
ColorRole usageColor(double used);

// "Backup" for none or one, "Backups" from two on.
QString backupsLabel(size_t count);

// --- checking screen ---

QString stageTitle(VerifyProgress::Stage stage, const std::string& detail);
// "1,234 of 56,789"; a single space when no total is known, so the line keeps its height.
QString countLine(int64_t done, int64_t total);
// The bar's filled part, 0...1; nothing while no total is known (the bar slides instead).
std::optional<double> barFraction(int64_t done, int64_t total);

struct PictureNames {
    QString cardName;   // the card as the sidebar names it (placeName), "Card" without one
    QString driveName;  // the first backup as the sidebar names it, "Backup" without one
    int extraDrives = 0;
};
// `volumeOf` gives the description of a card's or backup's volume where one is known.
PictureNames pictureNames(const std::optional<std::string>& source, const std::vector<std::string>& backups,
                          const std::function<std::optional<VolumeInfo>(const std::string&)>& volumeOf = {});

struct Packet {
    double x = 0, y = 0;  // centre on the arc
    double opacity = 0;   // 0 at both ends of the trip, 1 in the middle
    bool backwards = false;
};
inline constexpr int packetCount = 7;
// The seven packets at time t (seconds) on the arc of a canvas of width w and height h.
std::vector<Packet> packets(double t, VerifyProgress::Stage stage, double w, double h);
double cardGlowOpacity(double t);
// The light end of the progress bar's gradient, 0xRRGGBB.
uint32_t brandHighlight(Appearance appearance);
double driveGlowOpacity(double t, VerifyProgress::Stage stage);

}  // namespace halvetrop::present

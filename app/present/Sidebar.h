#pragma once
// What the sidebar rows show, derived from the model's values: the card and backup rows, the
// rows of saved checks and how a drop of folders is split between card and backups.
#include <QString>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drives/Drives.h"
#include "present/ReportSummary.h"
#include "present/Tokens.h"
#include "report/Report.h"

namespace halvetrop::present {

// The drive symbol by the volume's flags: camera card first, then network, internal, external.
std::string_view volumeSymbol(const VolumeInfo& volume);

struct LocationLook {
    std::string_view symbol;
    QString name;    // the last path component
    QString detail;  // volume name, " · ", free space, " free"; without volume facts the parent folder
    // The detail in two: what may be shortened where the line is short (the volume's name, the
    // folder's path), and what follows it and is always shown whole (" · 207.2 MB free").
    QString detailHead;
    QString detailTail;
};

// `path` is a clean absolute path. Without volume facts a mount point of removable media (under
// /media, /run/media or /mnt) shows a drive, any other folder a folder. A backup whose drive is
// not connected says so instead of any facts: its mount point describes the system's disk.
LocationLook locationLook(const std::string& path, const std::optional<VolumeInfo>& volume,
                          bool connected = true);

// "“NAME” isn't connected" for one backup, "“A” and “B” aren't connected" for several; each named
// by its folder's name.
QString notConnectedText(const std::vector<std::string>& backups);

// A saved check is covered when it has files and every one has a copy.
bool isCovered(const StatusCounts& totals);
// Covered, and the whole card was read: a card with folders or files that could not be read may
// hold files nobody has seen, so its row never looks backed up.
bool isCovered(const ReportSummary& report);
// "N files backed up" when covered, "N couldn't be read" when every file read has a copy but part of
// the card could not be read, else "M not backed up".
QString coverageLine(const ReportSummary& report);

struct SavedCheckLook {
    std::string_view symbol;
    ColorRole color;
    QString countLine;
};

SavedCheckLook savedCheckLook(const ReportSummary& report);
// The saved check on screen whose card has changed since: what it says of the card no longer holds.
SavedCheckLook changedSinceLook();

// A saved check is the one on screen when results are shown and their report finished at the
// same instant as the saved one.
bool isCurrentSavedCheck(TimeNs savedFinishedAt, std::optional<TimeNs> shownFinishedAt, bool showingResults);

struct DropPlan {
    std::optional<std::string> source;
    std::vector<std::string> backups;
};

// With no card chosen the first dropped folder becomes the card and the rest backups; otherwise
// all are backups.
DropPlan planDrop(bool hasSource, const std::vector<std::string>& folders);

// Up to how many saved checks the sidebar and the recent-cards grid list.
inline constexpr size_t sidebarSavedChecks = 12;
inline constexpr size_t recentCardTiles = 8;

}  // namespace halvetrop::present

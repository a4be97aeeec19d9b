#pragma once
// Reports in fixed states, handed to the real model as saved checks or as the outcome of a scripted
// check, for the view tests, the screen pictures and the benchmarks. Paths are under /media/ana;
// a stage moves them under its own folder.
#include <QString>

#include "report/Report.h"

namespace halvetrop::stage {

// The fixed "now" of every fixture, so relative dates do not move between runs.
TimeNs fixtureNow();

// A saved check of a card named `name`, finished at `finishedAt`: totals, two shoots, no files.
VerifyReport savedCheck(const std::string& name, int64_t files, int64_t covered, bool cardOnly, bool ready,
                        TimeNs finishedAt);

// The saved checks of a sidebar, newest first: a mix of covered, missing, card-only and ready
// reports, one card named with markup.
std::vector<VerifyReport> savedChecks(int count);

// A check of "SONY A7IV" against "Archive 2025" and "Travel SSD": "safe", "missing", "verifying",
// "stopped-pass", "card-only", "fuse-card", "unreadable", "unread-clips" (no clip could be read),
// "unproven-copies" (the first shoot's copies on "Travel SSD" read whole, not from the drive),
// "empty"; "safe-cameras", the safe check of a card shot with eight cameras of eight makers;
// and "browser" (or "browser-card-only"), a dozen files of "EOS_DIGITAL" of every status,
// names with markup and a line break, two copies of some; "browser-long-names", the same files
// under names of 120 characters and more in several scripts, with markup, in long folders;
// "browser-short-names", under names of one to five characters in camera folders;
// "camera-names", 40 photos "IMG_0700.JPG" and on, then 8 clips "MVI_0001.MP4" and on (one
// length, the clips' names drawn wider), each backed up. A name ending in "-long" is that check
// under long names: card, backups, cameras, shoot and landing folders ("-unbroken": without a
// space); "missing-deep" is "missing-unbroken" with its first backup named "SSD1"; "missing-many"
// is "missing" with a shoot of 1,234 photos not backed up, in a folder of its own. Anything else
// is "missing".
VerifyReport resultsFixture(const QString& name);

}  // namespace halvetrop::stage

#pragma once
// Whether a card still holds what a check saw: its files by name, size, modification and change
// time, listed again now. A saved result speaks of the card as it was; one that changed since is no
// longer what the result says of it.
#include "report/Report.h"
#include "walk/BulkWalker.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace halvetrop {

// One file as the check recorded it: its path's bytes below the card, size and times.
struct RecordedFile {
    std::string path;
    std::int64_t size = 0;
    TimeNs modified = 0;
    // A file rewritten in place with its modification time put back still has a new change time.
    // 0: not recorded (a report stored before it was kept), not compared.
    TimeNs changeTime = 0;
    // The check itself found it changing (written, added or taken away while it read the card) and
    // says so: whatever it is now is no news of the card since.
    bool changing = false;
};

// What a check recorded of a card: its files, and the places it could not list.
struct RecordedCard {
    std::vector<RecordedFile> files;
    // Below the card in display form, "" for its top folder: a listing that still cannot read them
    // tells nothing the check did not say.
    std::set<std::string> unreadable;
    // A saved check that could not read part of the card but kept no names of it.
    bool unreadableUnnamed = false;
};

struct CardChanges {
    std::int64_t added = 0;    // files the check did not see
    std::int64_t changed = 0;  // another size, modification or change time
    std::int64_t removed = 0;  // files the check saw that are gone
    bool unreadable = false;   // part of the card (not a junk folder) could not be listed
    // Folders of the card listed without keeping their access times (not a change of the card, but
    // the listing's own trace, which the result must own up to).
    std::int64_t accessTimesTouched = 0;
    // The files gone (`removed` of them): their positions among the recorded files, which are
    // the report's file positions, ascending.
    std::vector<std::int64_t> gone = {};
    bool any() const { return added > 0 || changed > 0 || removed > 0 || unreadable; }
    friend bool operator==(const CardChanges&, const CardChanges&) = default;
};

// Every file of the report, the card's own files that a check lists (junk left out as it is there),
// and what of the card it could not read.
RecordedCard recordedCard(const VerifyReport& report);

// The card's listing now, held against what was recorded.
CardChanges cardChanges(const RecordedCard& recorded, const WalkResult& now);

// Told the folders a listing found (their bytes below the card, "" for the card itself); true when
// it learnt of folders it did not know.
using CardFolders = std::function<bool(const std::vector<std::string>& folders)>;

// Lists the card at `path` with the check's own walk and holds it against what was recorded. With
// `folders`, each listing's folders are handed over first, and while they hold folders it did not
// know the card is listed again: what changed in such a folder before it was known is then still
// seen, and whatever changes in a known one later is the business of whoever knows it.
// Throws BulkWalkerError when the card cannot be opened (or the walker was cancelled).
CardChanges cardChangesAt(const RecordedCard& recorded, const std::string& path, BulkWalker& walker,
                          const CardFolders& folders = {});

}  // namespace halvetrop

#pragma once
// Whether a card still holds what a check saw: its files by name, size and modification time,
// listed again now. A saved result speaks of the card as it was; one that changed since is no
// longer what the result says of it.
#include "report/Report.h"
#include "walk/BulkWalker.h"

#include <cstdint>
#include <string>
#include <vector>

namespace halvetrop {

// One file as the check recorded it: its path's bytes below the card, size and time.
struct RecordedFile {
    std::string path;
    std::int64_t size = 0;
    TimeNs modified = 0;
};

struct CardChanges {
    std::int64_t added = 0;    // files the check did not see
    std::int64_t changed = 0;  // another size or modification time
    std::int64_t removed = 0;  // files the check saw that are gone
    bool unreadable = false;   // part of the card (not a junk folder) could not be listed
    bool any() const { return added > 0 || changed > 0 || removed > 0 || unreadable; }
    friend bool operator==(const CardChanges&, const CardChanges&) = default;
};

// Every file of the report, the card's own files that a check lists (junk left out as it is there).
std::vector<RecordedFile> recordedFiles(const VerifyReport& report);

// The card's listing now, held against what was recorded.
CardChanges cardChanges(const std::vector<RecordedFile>& recorded, const WalkResult& now);

// Lists the card at `path` with the check's own walk and holds it against what was recorded.
// Throws BulkWalkerError when the card cannot be opened (or the walker was cancelled).
CardChanges cardChangesAt(const std::vector<RecordedFile>& recorded, const std::string& path, BulkWalker& walker);

}  // namespace halvetrop

#pragma once
// What the results screen counts over the files of the shown report, kept by file so that a fold
// of the byte-by-byte pass costs what its files change rather than what the card holds: each
// shoot's live counts, the files that may be copied, one folder's places on the backups, and
// whether any read is in doubt.
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "present/Results.h"
#include "report/Report.h"

namespace halvetrop {

class ReportTally {
public:
    // A folder's files as the destinations panel shows them.
    struct Folder {
        // Declared here and defined with the tally: some compilers cannot tell a nested type with
        // member initialisers default-constructible while the type around it is being defined.
        Folder();
        std::vector<int> files;  // in-scope files of the folder and below, as positions
        int64_t bytes = 0;
        int64_t uncovered = 0;
        int64_t uncoveredBytes = 0;
        // Of the uncovered files, those that may be copied; nothing when the report's ids do not
        // each name their own file (the caller asks the model then).
        std::optional<int64_t> copyable;
        // Where the files lie by their first copy, most files first (present::places), the first
        // `most` of them.
        std::vector<present::Place> places(size_t most = SIZE_MAX) const;

    private:
        friend class ReportTally;
        std::string folder_;
        // By backup and folder (bytes); found by a view of the folder, without making a text.
        struct KeyLess {
            using is_transparent = void;
            template <class A, class B>
            bool operator()(const A& a, const B& b) const {
                if (a.first != b.first) return a.first < b.first;
                return std::string_view(a.second) < std::string_view(b.second);
            }
        };
        std::map<std::pair<int64_t, std::string>, size_t, KeyLess> placeAt_;
        std::vector<present::Place> places_;  // in placeAt_'s order of first use; counts may be 0
        std::vector<int> slot_;               // by position: index in files, -1 outside the folder
        std::vector<int> placeOf_;            // by index in files: its place, -1 for none
        int lastPlace_ = -1;                  // the place found last
    };

    // Counts everything over `report`; `lookup` finds a file by id as the model does.
    void rebuild(const VerifyReport* report, const present::FileLookup& lookup);
    // Takes `report` for the one counted last when it is that report moved, as a report counted
    // off the GUI thread is moved into the model: its files are the very ones counted, and they
    // stay where they were. False, and nothing taken, for any other report.
    bool adopt(const VerifyReport* report);
    // The files at `changed` (positions) were folded into the report counted last: the shoots
    // (positions in report.groups) whose counts changed, each once.
    std::vector<int> fold(const VerifyReport& report, const std::vector<int>& changed);

    // The live counts of the shoot at that position of report.groups.
    const StatusCounts& shoot(size_t group) const;
    // In-scope files missing or in conflict, each id once: what "copy everything missing" copies.
    int64_t copyable() const { return copyable_; }
    // present::readsInDoubt of the report counted.
    bool readsInDoubt() const;
    // The destinations panel's figures of a folder (its bytes), counted on first use.
    const Folder& folder(const VerifyReport& report, const std::string& folder);

private:
    void place(const VerifyReport& report, Folder& f, size_t slot);
    // Counts what the file at `p` adds to the reads in doubt, in place of what it added before.
    void countDoubt(const VerifyReport& report, size_t p);

    const VerifyReport* report_ = nullptr;
    const FileResult* files_ = nullptr;  // report_->files.data() when counted
    std::vector<FileStatus> status_;     // by position: the status counted
    std::vector<char> own_;              // by position: its id names this file, not an earlier one
    bool idsOwnFiles_ = true;
    std::vector<StatusCounts> shoots_;
    // The shoots each file counts in: entries shootOf_[shootStart_[p], shootStart_[p + 1]).
    std::vector<int> shootStart_, shootOf_;
    int64_t copyable_ = 0;
    // By position, what each file adds to the reads in doubt: bit 1 a read of its own (the card's,
    // a copy's), bit 2 a copy on a backup whose drive's reads are; and how many files add each.
    std::vector<uint8_t> doubt_;
    std::array<int64_t, 2> doubting_{};
    std::optional<Folder> folder_;
};

}  // namespace halvetrop

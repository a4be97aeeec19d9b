#pragma once
// What the parts of AppModel share privately: the handle that lets pool work reach the model only
// while it lives, and the state of a running check and of a running byte-by-byte pass.
#include "model/AppModel.h"
#include "model/FileList.h"
#include "model/SavedReport.h"
#include "model/Throttle.h"

#include <future>
#include <mutex>

namespace halvetrop {

// Work posted back from the pool reaches the model only while it exists: the destructor clears
// the pointer under the lock, so a worker that outlives the model posts nothing.
struct AppModel::Alive {
    std::mutex lock;
    AppModel* model = nullptr;
};

// Where some folder of a shown result's card could not be watched, the card is listed this often,
// and never for more than a tenth of the time.
inline constexpr int kCardPollMs = 5000;
inline constexpr int kCardPollShare = 10;

// A check publishes at most 20 progress reports a second.
inline constexpr int64_t kCheckProgressIntervalNs = 50'000'000;
inline constexpr int64_t kPassProgressIntervalNs = 100'000'000;

struct AppModel::Check {
    std::shared_ptr<IVerifier> verifier;
    Throttle throttle{kCheckProgressIntervalNs};
};

struct AppModel::Pass {
    std::shared_ptr<IVerifier> verifier;
    std::vector<std::string> backups;
    LiveBuffer buffer;
    Throttle throttle{kPassProgressIntervalNs};
};

// A report to show, with what showing it needs made off the GUI thread: a report of 100,000 files
// takes a good part of a second to index, to copy for the history and to record for the card watch.
struct PreparedReport {
    VerifyReport report;
    FileIndex index;                               // of report
    std::optional<ReportTally> tally;              // of report, its files found through index
    std::shared_ptr<const SavedReport> saved;      // as the history records it; null when it is not recorded
    RowKeys keys;                                  // of the browser's rows
    std::shared_ptr<const RecordedCard> recorded;  // what the card held, as its watch compares it
    uint64_t orderDigest = 0;                      // present::FileSortKeys::orderDigest of report
};
// `ordered`: the browser's first order is made here too (by collation, the costliest part of
// showing a new report's rows); the pass's report of the same files keeps the order it has. The
// history's copy and the rows' keys are made on threads of their own meanwhile: the result waits
// for the longest part, not for all of them.
inline PreparedReport prepareReport(VerifyReport report, bool forHistory, bool ordered = true) {
    PreparedReport p;
    std::future<std::shared_ptr<const SavedReport>> saved;
    if (forHistory) saved = std::async([&report] { return std::make_shared<const SavedReport>(report); });
    std::future<RowKeys> keys = std::async([&report, ordered] { return RowKeys::of(report, ordered); });
    p.index = FileIndex(report);
    std::future<ReportTally> tally = std::async([&report, &p] {
        ReportTally t;
        t.rebuild(&report, [&report, &p](int64_t id) { return p.index.file(report, id); });
        return t;
    });
    p.recorded = std::make_shared<const RecordedCard>(recordedCard(report));
    p.orderDigest = present::FileSortKeys::orderDigest(report);
    p.keys = keys.get();
    if (saved.valid()) p.saved = saved.get();
    p.tally = tally.get();
    // Moved, the files stay where the tally counted them.
    p.report = std::move(report);
    return p;
}

// A saved result being opened: its report is decoded off the GUI thread, once the history has been
// read; a check asked for meanwhile waits for it, at this level.
struct AppModel::Opening {
    QUuid id;
    bool recheck = false;
    bool started = false;
    bool check = false;
    std::optional<CheckLevel> level;
};

// A backup whose drive is not connected is left out of a check, and its empty mount-point folder
// is never walked in its place: every report made without it says which backup it was not read on.
std::vector<std::string> unresolvedAmong(const std::set<std::string>& unresolved,
                                         const std::vector<std::string>& backups);
void noteNotConnected(VerifyReport& report, const std::vector<std::string>& backups);

}  // namespace halvetrop

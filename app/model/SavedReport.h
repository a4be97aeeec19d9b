#pragma once
// One saved check's report as the history holds it. Its summary is always at hand (the sidebar, the
// recent cards and the history's rules need no more); the whole report is kept as its stored text,
// compressed, and decoded only when the entry is opened. A report recorded in this session is held
// whole until the first save has written it, and packed then.
#include <QByteArray>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "present/ReportSummary.h"
#include "report/Report.h"

namespace halvetrop {

class SavedReport {
public:
    // A report recorded now.
    explicit SavedReport(VerifyReport report);
    // A report read from the history file, from its stored text. Throws std::runtime_error when
    // the text has not the shape of a report (its summary cannot be read); whatever else is wrong
    // with it is found when it is opened.
    static std::shared_ptr<const SavedReport> fromStored(std::string_view text);
    // A report known by its summary alone, as listed before the history file has been read: it
    // does not open (open() throws) and holds no stored text.
    static std::shared_ptr<const SavedReport> ofSummary(present::ReportSummary summary);

    SavedReport(const SavedReport&) = delete;
    SavedReport& operator=(const SavedReport&) = delete;

    const present::ReportSummary& summary() const { return summary_; }
    // The whole report, on any thread. Throws DecodingError (or std::runtime_error) when its stored
    // text does not decode.
    VerifyReport open() const;
    // The stored text, as the history file holds it, on any thread. A report held whole is packed on
    // the way, so it costs memory only until it has been saved once.
    std::string storedText() const;
    // Whether only the packed text is held.
    bool isPacked() const;

private:
    SavedReport() = default;

    present::ReportSummary summary_;
    mutable std::mutex lock_;
    mutable std::shared_ptr<const VerifyReport> whole_;  // until packed
    mutable QByteArray packed_;                          // the stored text, compressed
};

// The summary of a report's stored text, reading only what a summary needs. Throws
// std::runtime_error (or DecodingError) when a part it reads is not as stored.
present::ReportSummary summaryOfStored(std::string_view text);

}  // namespace halvetrop

#pragma once
// What a saved check says at a glance: the facts the sidebar's rows, the recent-card tiles and the
// saved-check menu show, and what the history's rules compare. The history keeps one for each
// entry instead of the whole report, which is read only when the entry is opened.
#include <string>
#include <vector>

#include "report/Report.h"

namespace halvetrop::present {

struct ReportSummary {
    VolumeInfo source;
    std::vector<VolumeInfo> destinations;  // none for a card-only scan
    CheckLevel level = CheckLevel::standard;
    StatusCounts totals;
    bool readyToFormat = false;
    int64_t cardUnreadable = 0;        // folders and files of the card that could not be read
    std::vector<std::string> cameras;  // the shoots' camera names, once each, ascending; no empty name
    int64_t shoots = 0;
    std::string firstDay, lastDay;  // of the shoots ("yyyy-MM-dd" orders as text)
    TimeNs finishedAt = 0;

    bool isCardOnly() const { return destinations.empty(); }
    friend bool operator==(const ReportSummary&, const ReportSummary&) = default;
};

ReportSummary summarize(const VerifyReport& report);

// The shoots' part of a summary, one shoot at a time (a report read from its stored text is never
// held whole).
void addShoot(ReportSummary& summary, const std::string& day, const std::string& camera);

}  // namespace halvetrop::present

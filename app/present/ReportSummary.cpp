#include "present/ReportSummary.h"

#include <algorithm>

namespace halvetrop::present {

void addShoot(ReportSummary& summary, const std::string& day, const std::string& camera) {
    if (!camera.empty()) {
        auto at = std::lower_bound(summary.cameras.begin(), summary.cameras.end(), camera);
        if (at == summary.cameras.end() || *at != camera) summary.cameras.insert(at, camera);
    }
    if (summary.shoots++ == 0) {
        summary.firstDay = summary.lastDay = day;
        return;
    }
    summary.firstDay = std::min(summary.firstDay, day);
    summary.lastDay = std::max(summary.lastDay, day);
}

ReportSummary summarize(const VerifyReport& report) {
    ReportSummary s;
    s.source = report.source;
    s.destinations = report.destinations;
    s.level = report.level;
    s.totals = report.totals;
    s.readyToFormat = report.readyToFormat();
    s.cardUnreadable = report.cardUnreadable;
    for (const ShootGroup& g : report.groups) addShoot(s, g.day, g.camera);
    s.finishedAt = report.finishedAt;
    return s;
}

}  // namespace halvetrop::present

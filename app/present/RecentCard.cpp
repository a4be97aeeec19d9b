#include "present/RecentCard.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "present/Format.h"
#include "present/Sidebar.h"

namespace halvetrop::present {

namespace {

QString camerasText(const std::vector<ShootGroup>& groups) {
    std::set<std::string> names;
    for (const auto& g : groups)
        if (!g.camera.empty()) names.insert(g.camera);
    QStringList parts;
    for (const auto& n : names) parts << displayText(n);
    return parts.join(QStringLiteral(" · "));
}

QString daysText(const std::vector<ShootGroup>& groups, const DateTexts& dates) {
    std::vector<std::string> days;
    for (const auto& g : groups) days.push_back(g.day);
    if (days.empty()) return {};
    const auto [first, last] = std::minmax_element(days.begin(), days.end());
    const QString from = dates.shortDay(QString::fromStdString(*first));
    if (*first == *last) return from;
    return from + QStringLiteral(" – ") + dates.shortDay(QString::fromStdString(*last));
}

}  // namespace

RecentCardLook recentCardLook(const VerifyReport& report) { return recentCardLook(report, DateTexts()); }

RecentCardLook recentCardLook(const VerifyReport& report, const DateTexts& dates) {
    const StatusCounts& t = report.totals;
    const bool covered = isCovered(t);
    RecentCardLook look;
    look.cameras = camerasText(report.groups);
    look.days = daysText(report.groups, dates);
    if (report.isCardOnly()) {
        look.badge = "magnifyingglass.circle.fill";
        look.badgeColor = ColorRole::brandFill;
        look.statusLine = fileCount(t.files) + QStringLiteral(" · not compared");
        look.checkedPrefix = QStringLiteral("Scanned ");
        return look;
    }
    look.checkedPrefix = QStringLiteral("Checked ");
    look.badgeColor = covered ? ColorRole::verified : ColorRole::missing;
    look.statusColor = look.badgeColor;
    look.statusLine = coverageLine(t);
    if (report.readyToFormat())
        look.badge = "checkmark.seal.fill";
    else
        look.badge = covered ? "checkmark.circle.fill" : "exclamationmark.circle.fill";
    return look;
}

}  // namespace halvetrop::present

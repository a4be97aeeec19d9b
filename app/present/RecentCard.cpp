#include "present/RecentCard.h"

#include "present/Format.h"
#include "present/Sidebar.h"

namespace halvetrop::present {

namespace {

QString camerasText(const ReportSummary& report) {
    QStringList parts;
    for (const auto& n : report.cameras) parts << displayText(n);
    return parts.join(QStringLiteral(" · "));
}

QString daysText(const ReportSummary& report, const DateTexts& dates) {
    if (report.shoots == 0) return {};
    const QString from = dates.shortDay(QString::fromStdString(report.firstDay));
    if (report.firstDay == report.lastDay) return from;
    return from + QStringLiteral(" – ") + dates.shortDay(QString::fromStdString(report.lastDay));
}

}  // namespace

RecentCardLook recentCardLook(const ReportSummary& report) { return recentCardLook(report, DateTexts()); }

RecentCardLook recentCardLook(const ReportSummary& report, const DateTexts& dates) {
    const StatusCounts& t = report.totals;
    const bool covered = isCovered(report);
    RecentCardLook look;
    look.cameras = camerasText(report);
    look.days = daysText(report, dates);
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
    look.statusLine = coverageLine(report);
    if (report.readyToFormat)
        look.badge = "checkmark.seal.fill";
    else
        look.badge = covered ? "checkmark.circle.fill" : "exclamationmark.circle.fill";
    return look;
}

}  // namespace halvetrop::present

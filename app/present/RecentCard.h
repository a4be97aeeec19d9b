#pragma once
// What a recent-card tile on the start screen shows of one saved check.
#include <QString>

#include <optional>
#include <string_view>

#include "present/Format.h"
#include "present/ReportSummary.h"
#include "present/Tokens.h"

namespace halvetrop::present {

struct RecentCardLook {
    QString cameras;  // the shoots' camera names, once each, in order, joined by " · "; may be empty
    QString days;     // first day, or "first – last"; empty without shoots
    std::string_view badge;
    ColorRole badgeColor;
    QString statusLine;
    std::optional<ColorRole> statusColor;  // nothing: the secondary text colour
    QString checkedPrefix;                 // "Checked " or "Scanned "
};

RecentCardLook recentCardLook(const ReportSummary& report, const DateTexts& dates);
RecentCardLook recentCardLook(const ReportSummary& report);

}  // namespace halvetrop::present

#include "shell/HistoryRows.h"

#include <QDateTime>

#include "present/Format.h"
#include "present/RecentCard.h"
#include "present/Sidebar.h"

namespace halvetrop::shell {

using namespace halvetrop::present;

namespace {

TimeNs systemNow() { return QDateTime::currentMSecsSinceEpoch() * 1'000'000; }

QString colorName(ColorRole role) {
    return QString::fromLatin1(roleName(role).data(), qsizetype(roleName(role).size()));
}

QString text(std::string_view s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }

}  // namespace

HistoryRows::HistoryRows(std::function<TimeNs()> clock, QObject* parent)
    : QAbstractListModel(parent), clock_(clock ? std::move(clock) : systemNow) {}

void HistoryRows::setChecks(std::vector<SavedCheck> checks) {
    beginResetModel();
    checks_ = std::move(checks);
    endResetModel();
    emit countChanged();
}

void HistoryRows::setShown(std::optional<TimeNs> finishedAt, bool showingResults) {
    shownFinishedAt_ = finishedAt;
    showingResults_ = showingResults;
    if (!checks_.empty()) emit dataChanged(index(0), index(int(checks_.size()) - 1), {Current});
}

int HistoryRows::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(checks_.size());
}

QVariant HistoryRows::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(checks_.size())) return {};
    const SavedCheck& check = checks_[size_t(index.row())];
    const VerifyReport& r = *check.report;
    switch (role) {
        case ItemId:
            return check.id;
        case Name:
            return displayText(r.source.name);
        case SourcePath:
            return displayText(r.source.path);
        case CameraCard:
            return r.source.isLikelyCameraCard;
        case Symbol:
            return text(savedCheckLook(r).symbol);
        case SymbolColor:
            return colorName(savedCheckLook(r).color);
        case CountLine:
            return savedCheckLook(r).countLine;
        case Ago:
            return relativeDate(r.finishedAt, clock_(), UnitStyle::abbreviated);
        case Current:
            return isCurrentSavedCheck(r.finishedAt, shownFinishedAt_, showingResults_);
        case Badge:
            return text(recentCardLook(r).badge);
        case BadgeColor:
            return colorName(recentCardLook(r).badgeColor);
        case StatusLine:
            return recentCardLook(r).statusLine;
        case StatusColor: {
            const auto color = recentCardLook(r).statusColor;
            return color ? colorName(*color) : QString();
        }
        case Cameras:
            return recentCardLook(r).cameras;
        case Days:
            return recentCardLook(r).days;
        case CheckedText:
            return recentCardLook(r).checkedPrefix + relativeDate(r.finishedAt, clock_(), UnitStyle::wide);
    }
    return {};
}

QHash<int, QByteArray> HistoryRows::roleNames() const {
    return {{ItemId, "itemId"},
            {Name, "name"},
            {SourcePath, "sourcePath"},
            {CameraCard, "cameraCard"},
            {Symbol, "symbol"},
            {SymbolColor, "symbolColor"},
            {CountLine, "countLine"},
            {Ago, "ago"},
            {Current, "current"},
            {Badge, "badge"},
            {BadgeColor, "badgeColor"},
            {StatusLine, "statusLine"},
            {StatusColor, "statusColor"},
            {Cameras, "cameras"},
            {Days, "days"},
            {CheckedText, "checkedText"}};
}

}  // namespace halvetrop::shell

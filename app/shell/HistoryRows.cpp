#include "shell/HistoryRows.h"

#include <QDateTime>

#include "present/Format.h"
#include "present/Home.h"
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
    : QAbstractListModel(parent),
      clock_(clock ? std::move(clock) : systemNow),
      dates_(std::make_unique<DateTexts>()) {}

void HistoryRows::setChecks(std::vector<SavedCheck> checks) {
    std::vector<Row> rows;
    rows.reserve(checks.size());
    for (const SavedCheck& check : checks) {
        const present::ReportSummary& r = check.summary;
        const auto saved = savedCheckLook(r);
        const auto tile = recentCardLook(r, *dates_);
        Row row{check.id,
                cardName(r.source),
                displayText(r.source.path),
                text(saved.symbol),
                colorName(saved.color),
                saved.countLine,
                {},
                text(tile.badge),
                colorName(tile.badgeColor),
                tile.statusLine,
                tile.statusColor ? colorName(*tile.statusColor) : QString(),
                tile.cameras,
                tile.days,
                tile.checkedPrefix,
                {},
                r.source.isLikelyCameraCard,
                r.finishedAt};
        rows.push_back(std::move(row));
    }
    beginResetModel();
    rows_ = std::move(rows);
    const TimeNs now = clock_();
    for (size_t i = 0; i < rows_.size(); ++i) setAgeTexts(i, now);
    endResetModel();
    emit countChanged();
}

void HistoryRows::setAgeTexts(size_t row, TimeNs now) {
    Row& r = rows_[row];
    r.ago = dates_->relative(r.finishedAt, now, UnitStyle::abbreviated);
    r.checkedText = r.checkedPrefix + dates_->relative(r.finishedAt, now, UnitStyle::wide);
}

void HistoryRows::age() {
    const TimeNs now = clock_();
    for (size_t i = 0; i < rows_.size(); ++i) {
        const QString ago = rows_[i].ago;
        const QString checked = rows_[i].checkedText;
        setAgeTexts(i, now);
        if (rows_[i].ago != ago || rows_[i].checkedText != checked)
            emit dataChanged(index(int(i)), index(int(i)), {Ago, CheckedText});
    }
}

void HistoryRows::setShown(std::optional<TimeNs> finishedAt, bool showingResults, bool changedSince) {
    shownFinishedAt_ = finishedAt;
    showingResults_ = showingResults;
    shownChanged_ = changedSince;
    if (!rows_.empty())
        emit dataChanged(index(0), index(int(rows_.size()) - 1), {Current, Symbol, SymbolColor, CountLine});
}

int HistoryRows::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant HistoryRows::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(rows_.size())) return {};
    const Row& row = rows_[size_t(index.row())];
    if (shownChanged_ && (role == Symbol || role == SymbolColor || role == CountLine) &&
        isCurrentSavedCheck(row.finishedAt, shownFinishedAt_, showingResults_)) {
        const SavedCheckLook changed = changedSinceLook();
        if (role == Symbol) return text(changed.symbol);
        if (role == SymbolColor) return colorName(changed.color);
        return changed.countLine;
    }
    switch (role) {
        case ItemId:
            return row.id;
        case Name:
            return row.name;
        case SourcePath:
            return row.sourcePath;
        case CameraCard:
            return row.cameraCard;
        case Symbol:
            return row.symbol;
        case SymbolColor:
            return row.symbolColor;
        case CountLine:
            return row.countLine;
        case Ago:
            return row.ago;
        case Current:
            return isCurrentSavedCheck(row.finishedAt, shownFinishedAt_, showingResults_);
        case Badge:
            return row.badge;
        case BadgeColor:
            return row.badgeColor;
        case StatusLine:
            return row.statusLine;
        case StatusColor:
            return row.statusColor;
        case Cameras:
            return row.cameras;
        case Days:
            return row.days;
        case CheckedText:
            return row.checkedText;
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

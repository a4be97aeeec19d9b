#pragma once
// The saved checks as the sidebar and the recent-cards grid list them: one row per saved report,
// newest first, with every text and colour role already derived. The owner feeds it the history and
// what is on screen; views only bind to roles. The relative times are read at the instant the
// clock gives, again each time the owner says they have aged (the application model's agesChanged,
// whose ageNow is that clock), so they agree with every other relative time on screen.
#include <QAbstractListModel>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "present/Format.h"
#include "present/ReportSummary.h"

namespace halvetrop::shell {

struct SavedCheck {
    QString id;
    present::ReportSummary summary;
};

class HistoryRows : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ rowCountProperty NOTIFY countChanged)

public:
    enum Role {
        ItemId = Qt::UserRole + 1,
        Name,
        SourcePath,
        CameraCard,
        Symbol,
        SymbolColor,
        CountLine,
        Ago,
        Current,
        Badge,
        BadgeColor,
        StatusLine,
        StatusColor,
        Cameras,
        Days,
        CheckedText,
    };

    explicit HistoryRows(std::function<TimeNs()> clock = {}, QObject* parent = nullptr);

    void setChecks(std::vector<SavedCheck> checks);
    // The relative times again, at the clock's instant; rows whose text changed say so.
    void age();
    // What the window shows: the finishing instant of the shown report, whether results are up, and
    // whether its card has changed since (its row then says so).
    void setShown(std::optional<TimeNs> finishedAt, bool showingResults, bool changedSince = false);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void countChanged();

private:
    int rowCountProperty() const { return rowCount(); }
    void setAgeTexts(size_t row, TimeNs now);

    // Every text of a row, derived when the history changes; the relative ones also as time passes.
    struct Row {
        QString id, name, sourcePath, symbol, symbolColor, countLine, ago, badge, badgeColor, statusLine,
            statusColor, cameras, days, checkedPrefix, checkedText;
        bool cameraCard = false;
        TimeNs finishedAt = 0;
    };

    std::function<TimeNs()> clock_;
    std::unique_ptr<present::DateTexts> dates_;
    std::vector<Row> rows_;
    std::optional<TimeNs> shownFinishedAt_;
    bool showingResults_ = false;
    bool shownChanged_ = false;
};

}  // namespace halvetrop::shell

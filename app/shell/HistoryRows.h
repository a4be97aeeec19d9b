#pragma once
// The saved checks as the sidebar and the recent-cards grid list them: one row per saved report,
// newest first, with every text and colour role already derived. The owner feeds it the history and
// what is on screen; views only bind to roles.
#include <QAbstractListModel>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "report/Report.h"

namespace halvetrop::shell {

struct SavedCheck {
    QString id;
    std::shared_ptr<const VerifyReport> report;  // shared with the history, never null
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
    // What the window shows: the finishing instant of the shown report, and whether results are up.
    void setShown(std::optional<TimeNs> finishedAt, bool showingResults);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void countChanged();

private:
    int rowCountProperty() const { return rowCount(); }

    // Every text of a row, derived once when the history changes.
    struct Row {
        QString id, name, sourcePath, symbol, symbolColor, countLine, ago, badge, badgeColor, statusLine,
            statusColor, cameras, days, checkedText;
        bool cameraCard = false;
        TimeNs finishedAt = 0;
    };

    std::function<TimeNs()> clock_;
    std::vector<Row> rows_;
    std::optional<TimeNs> shownFinishedAt_;
    bool showingResults_ = false;
};

}  // namespace halvetrop::shell

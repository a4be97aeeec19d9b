#pragma once
// The first `limit` rows of a list model, so a view builds delegates only for the rows it shows
// (the sidebar lists 12 saved checks, the start screen 8 of the up to 40 kept).
#include <QSortFilterProxyModel>

namespace halvetrop::shell {

class FirstRows : public QSortFilterProxyModel {
    Q_OBJECT
    Q_PROPERTY(QAbstractItemModel* rows READ sourceModel WRITE setRows NOTIFY rowsChanged)
    Q_PROPERTY(int limit READ limit WRITE setLimit NOTIFY limitChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    explicit FirstRows(QObject* parent = nullptr);

    void setRows(QAbstractItemModel* rows);
    int limit() const { return limit_; }
    void setLimit(int limit);
    int count() const { return rowCount(); }

signals:
    void rowsChanged();
    void limitChanged();
    void countChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    int limit_ = 0;
};

}  // namespace halvetrop::shell

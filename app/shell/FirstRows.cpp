#include "shell/FirstRows.h"

namespace halvetrop::shell {

FirstRows::FirstRows(QObject* parent) : QSortFilterProxyModel(parent) {
    connect(this, &QAbstractItemModel::modelReset, this, &FirstRows::countChanged);
    connect(this, &QAbstractItemModel::rowsInserted, this, &FirstRows::countChanged);
    connect(this, &QAbstractItemModel::rowsRemoved, this, &FirstRows::countChanged);
    connect(this, &QAbstractItemModel::layoutChanged, this, &FirstRows::countChanged);
}

void FirstRows::setRows(QAbstractItemModel* rows) {
    if (rows == sourceModel()) return;
    setSourceModel(rows);
    emit rowsChanged();
    emit countChanged();
}

void FirstRows::setLimit(int limit) {
    if (limit == limit_) return;
    limit_ = limit;
    invalidateRowsFilter();
    emit limitChanged();
    emit countChanged();
}

bool FirstRows::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    return !sourceParent.isValid() && sourceRow < limit_;
}

}  // namespace halvetrop::shell

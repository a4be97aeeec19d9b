#pragma once
// A short list the model hands out whole (the cards on offer, the chosen backups) as a list model
// that a view keeps its rows of: each new state of the list is morphed into the shown one by the
// rows' keys, so a row that stays is updated in place and only a row whose key went is removed.
// A view never sees every row destroyed and made anew because one of them changed.
#include <QVariantList>

#include <vector>

#include "model/KeyedRows.h"

namespace halvetrop::shell {

class KeyedList : public KeyedRows {
    Q_OBJECT
    // Each row a map; `key` names the entry that identifies it (rows without one are dropped, and
    // of rows with the same key only the first is kept).
    Q_PROPERTY(QVariantList rows READ rows WRITE setRows NOTIFY rowsChanged)
    Q_PROPERTY(QString key READ key WRITE setKey NOTIFY keyChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role { Row = Qt::UserRole + 1, Key };

    explicit KeyedList(QObject* parent = nullptr);

    QVariantList rows() const;
    void setRows(const QVariantList& rows);
    QString key() const { return key_; }
    void setKey(const QString& key);
    int count() const { return int(rows_.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void rowsChanged();
    void keyChanged();
    void countChanged();

private:
    struct Entry {
        QString key;
        QVariantMap row;
    };
    void morph();

    QString key_;
    QVariantList given_;
    std::vector<Entry> rows_;
};

}  // namespace halvetrop::shell

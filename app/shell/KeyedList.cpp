#include "shell/KeyedList.h"

#include <QSet>

namespace halvetrop::shell {

KeyedList::KeyedList(QObject* parent) : KeyedRows(parent) {}

QVariantList KeyedList::rows() const { return given_; }

void KeyedList::setRows(const QVariantList& rows) {
    given_ = rows;
    morph();
    emit rowsChanged();
}

void KeyedList::setKey(const QString& key) {
    if (key == key_) return;
    key_ = key;
    morph();
    emit keyChanged();
}

void KeyedList::morph() {
    std::vector<Entry> after;
    QSet<QString> seen;
    for (const QVariant& v : given_) {
        QVariantMap row = v.toMap();
        const QString k = row.value(key_).toString();
        if (k.isEmpty() || seen.contains(k)) continue;
        seen.insert(k);
        after.push_back({k, std::move(row)});
    }
    const int before = count();
    morphRows(rows_, std::move(after), [](const Entry& e) { return e.key; });
    if (count() != before) emit countChanged();
}

int KeyedList::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }

QVariant KeyedList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count()) return {};
    const Entry& e = rows_[size_t(index.row())];
    switch (role) {
        case Row:
            return e.row;
        case Key:
            return e.key;
    }
    return {};
}

QHash<int, QByteArray> KeyedList::roleNames() const { return {{Row, "row"}, {Key, "key"}}; }

}  // namespace halvetrop::shell

#pragma once
// The destinations panel's places: the directories on the backups where the files of one card
// folder lie, most files first, at most the panel's forty. A fold of the byte-by-byte pass moves
// files between places: the rows that stay are told their new figures and keep their delegates.
// Texts are made when a view reads them, for the cards in sight only.
#include <QVariantMap>

#include <string>
#include <vector>

#include "model/KeyedRows.h"
#include "present/Results.h"
#include "report/Report.h"

namespace halvetrop {

class PlaceRows : public KeyedRows {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    using KeyedRows::KeyedRows;
    // The panel shows the places with the most files only.
    static constexpr size_t shown = 40;

    // The places of a folder of the report (nullptr for none) of `files` files, most first. Another
    // report or folder than the last resets the rows; the same one moves them.
    void show(const VerifyReport* report, const std::string& folder, std::vector<present::Place> places,
              size_t files);
    int count() const { return int(rows_.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void countChanged();

private:
    struct Row {
        std::string key;  // the backup's index and the directory's bytes
        present::Place place;
        size_t files = 0;  // of the folder
    };

    const VerifyReport* report_ = nullptr;
    std::string folder_;
    std::vector<Row> rows_;
};

}  // namespace halvetrop

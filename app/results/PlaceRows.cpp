#include "results/PlaceRows.h"

#include "present/Fit.h"
#include "present/Format.h"
#include "present/Paths.h"

namespace halvetrop {

namespace {

const QByteArray roles[] = {"destination", "path", "title", "detail", "share"};

}  // namespace

void PlaceRows::show(const VerifyReport* report, const std::string& folder,
                     std::vector<present::Place> places, size_t files) {
    std::vector<Row> after;
    if (report) {
        for (size_t i = 0; i < places.size() && i < shown; ++i) {
            const present::Place& p = places[i];
            after.push_back({std::to_string(p.destination) + "|" + p.pathBytes, p, files});
        }
    }
    const int before = count();
    if (report == report_ && folder == folder_) {
        morphRows(rows_, std::move(after), [](const Row& row) -> const std::string& { return row.key; });
    } else {
        beginResetModel();
        report_ = report;
        folder_ = folder;
        rows_ = std::move(after);
        endResetModel();
    }
    if (count() != before) emit countChanged();
}

int PlaceRows::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }

QVariant PlaceRows::data(const QModelIndex& index, int role) const {
    if (!report_ || !index.isValid() || index.row() >= count()) return {};
    using namespace present;
    const Row& row = rows_[size_t(index.row())];
    const Place& p = row.place;
    switch (role - Qt::UserRole - 1) {
        case 0:  // destination
            return double(p.destination);
        case 1:  // path, the views' key of the directory's bytes
            return pathKey(p.pathBytes);
        case 2:  // title
            return p.path.empty() ? QStringLiteral("(top level)") : displayText(p.path);
        case 3:  // detail, which a backup's name in another script does not turn around
            return isolated(displayText(report_->destinations[size_t(p.destination)].name)) +
                   QStringLiteral(" · ") + fileCount(p.count) + QStringLiteral(" · ") + byteCount(p.bytes);
        case 4:  // share of the folder's files
            return double(p.count) / double(std::max<size_t>(row.files, 1));
        default:
            return {};
    }
}

QHash<int, QByteArray> PlaceRows::roleNames() const {
    QHash<int, QByteArray> names;
    for (size_t i = 0; i < std::size(roles); ++i) names.insert(Qt::UserRole + 1 + int(i), roles[i]);
    return names;
}

}  // namespace halvetrop

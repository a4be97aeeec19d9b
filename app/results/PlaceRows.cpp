#include "results/PlaceRows.h"

#include "present/Format.h"
#include "present/Paths.h"

namespace halvetrop {

namespace {

const QByteArray roles[] = {"destination", "path", "title", "detail", "share"};

}  // namespace

QVariantMap placeMap(const VerifyReport& report, const present::Place& p, size_t files) {
    using namespace present;
    return {{"destination", double(p.destination)},
            {"path", pathKey(p.pathBytes)},
            {"title", p.path.empty() ? QStringLiteral("(top level)") : displayText(p.path)},
            {"detail", displayText(report.destinations[size_t(p.destination)].name) + QStringLiteral(" · ") +
                           fileCount(p.count) + QStringLiteral(" · ") + byteCount(p.bytes)},
            {"share", double(p.count) / double(std::max<size_t>(files, 1))}};
}

void PlaceRows::show(const VerifyReport* report, const std::string& folder,
                     std::vector<present::Place> places, size_t files) {
    std::vector<Row> after;
    if (report) {
        for (size_t i = 0; i < places.size() && i < shown; ++i) {
            const present::Place& p = places[i];
            after.push_back({std::to_string(p.destination) + "|" + p.pathBytes, placeMap(*report, p, files)});
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
    if (!index.isValid() || index.row() >= count()) return {};
    const int at = role - Qt::UserRole - 1;
    if (at < 0 || at >= int(std::size(roles))) return {};
    return rows_[size_t(index.row())].texts.value(QString::fromLatin1(roles[at]));
}

QHash<int, QByteArray> PlaceRows::roleNames() const {
    QHash<int, QByteArray> names;
    for (size_t i = 0; i < std::size(roles); ++i) names.insert(Qt::UserRole + 1 + int(i), roles[i]);
    return names;
}

}  // namespace halvetrop

// Recording finished checks in the history and showing a saved one again.
#include "model/AppModel.h"
#include "model/ModelText.h"

namespace halvetrop {

void AppModel::record(const VerifyReport& report) {
    if (!source_) return;
    // Bookmarks are made in the background when card and backups are chosen; one not made yet
    // (a check faster than the probe) is made here.
    auto bookmark = [&](const std::string& path) -> std::optional<QByteArray> {
        auto known = knownBookmarks_.find(path);
        if (known != knownBookmarks_.end()) return known->second;
        if (unbookmarkable_.count(path)) return std::nullopt;
        auto made = bookmarks_->make(path);
        if (made) knownBookmarks_[path] = *made;
        return made;
    };
    std::optional<QByteArray> sourceBookmark = bookmark(*source_);
    std::vector<QByteArray> backups;
    if (!report.isCardOnly())
        for (const auto& d : destinations_)
            if (auto b = bookmark(d)) backups.push_back(*b);
    history_->record(makeHistoryItem(report, sourceBookmark, std::move(backups)));
}

void AppModel::showHistory(const QString& id) {
    const HistoryItem* item = history_->find(QUuid::fromString(id));
    if (!item) return;
    HistoryItem saved = *item;
    stopPass();
    cancelCheck();
    // The saved result shows at once, on the saved card path; the bookmarks are resolved off the
    // GUI thread and then name where card and backups are mounted now.
    source_ = cleanAbsolutePath(saved.report->source.path);
    emit sourceChanged();
    setCardOnly(saved.report->isCardOnly());
    access_.begin(source_ ? std::vector<std::string>{*source_} : std::vector<std::string>());
    groupFilter_.reset();
    emit groupFilterChanged();
    folderFilter_.reset();
    emit folderFilterChanged();
    setSelectedFileID(-1);
    ++finishSerial_;
    finish(*saved.report, false);

    uint64_t serial = finishSerial_;
    std::shared_ptr<Bookmarks> bookmarks = bookmarks_;
    runOffGui(
        [saved, bookmarks, serial] {
            std::optional<std::string> card;
            if (saved.sourceBookmark)
                if (auto r = bookmarks->resolve(*saved.sourceBookmark)) card = cleanAbsolutePath(*r);
            std::vector<std::string> backups;
            for (const auto& b : saved.destinationBookmarks)
                if (auto r = bookmarks->resolve(b))
                    if (auto c = cleanAbsolutePath(*r)) backups.push_back(*c);
            return std::function<void(AppModel&)>([card, backups, serial](AppModel& m) {
                if (m.finishSerial_ != serial) return;  // another result is shown by now
                if (card && card != m.source_) {
                    m.source_ = card;
                    emit m.sourceChanged();
                }
                if (!backups.empty()) m.setDestinations(backups);
                std::vector<std::string> open;
                if (m.source_) open.push_back(*m.source_);
                open.insert(open.end(), backups.begin(), backups.end());
                m.access_.begin(open);
                m.emitComputed();
            });
        },
        bookmarkPool_);
}

void AppModel::forget(const QString& id) { history_->forget(QUuid::fromString(id)); }

}  // namespace halvetrop

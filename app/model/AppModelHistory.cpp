// Recording finished checks in the history, showing a saved one again and checking its card again.
#include "model/AppModel.h"
#include "model/ModelText.h"

namespace halvetrop {

// Where a saved check's card and backups are now, as its bookmarks name them.
struct AppModel::Restored {
    uint64_t serial = 0;
    std::optional<std::string> card;  // nothing: no bookmark, or it named no mounted volume
    bool cardBookmarked = false;
    std::vector<std::string> backups;                           // those that resolved, in the saved order
    std::vector<std::pair<std::string, QByteArray>> bookmarks;  // of the card and backups that resolved
    std::vector<std::string> notConnected;                      // saved paths of those that did not
};

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
    // The backups the report was made on, in its order: a chosen one whose drive was away is not
    // one of them, and a check of the saved card again reads these alone.
    std::vector<QByteArray> backups;
    for (const VolumeInfo& d : report.destinations)
        if (auto b = bookmark(d.path)) backups.push_back(*b);
    history_->record(makeHistoryItem(report, sourceBookmark, std::move(backups)));
}

void AppModel::showHistory(const QString& id) { openSaved(id, false); }

void AppModel::recheckSaved(const QString& id) { openSaved(id, true); }

void AppModel::openSaved(const QString& id, bool recheck) {
    const HistoryItem* item = history_->find(QUuid::fromString(id));
    if (!item) return;
    HistoryItem saved = *item;
    const present::ReportSummary& summary = saved.report->summary();
    std::optional<VerifyReport> report;
    try {
        report = saved.report->open();
    } catch (const std::exception&) {
        // The entry stays as it was stored: nothing is lost by not showing it.
        show(QStringLiteral("The saved result of “") + fromBytes(summary.source.name) +
                 QStringLiteral("” can't be read."),
             false);
        return;
    }
    stopPass();
    cancelCheck();
    closePreview();
    // The saved result shows at once, on the saved card path; the bookmarks are resolved off the
    // GUI thread and then name where card and backups are mounted now. Until then a check waits.
    if (!search_.isEmpty()) {
        search_.clear();
        emit searchChanged();
    }
    source_ = cleanAbsolutePath(summary.source.path);
    emit sourceChanged();
    if (source_ && std::find(destinations_.begin(), destinations_.end(), *source_) != destinations_.end()) {
        auto next = destinations_;
        std::erase(next, *source_);
        setDestinations(std::move(next));
    }
    setCardOnly(summary.isCardOnly());
    access_.begin(source_ ? std::vector<std::string>{*source_} : std::vector<std::string>());
    groupFilter_.reset();
    emit groupFilterChanged();
    folderFilter_.reset();
    emit folderFilterChanged();
    setSelectedFileID(-1);
    ++finishSerial_;
    finish(std::move(*report), false);
    restoring_ = Restoring{finishSerial_, recheck, false, std::nullopt};

    uint64_t serial = finishSerial_;
    std::shared_ptr<Bookmarks> bookmarks = bookmarks_;
    runOffGui(
        [saved, bookmarks, serial] {
            Restored r;
            r.serial = serial;
            if (saved.sourceBookmark) {
                r.cardBookmarked = true;
                if (auto found = bookmarks->resolve(*saved.sourceBookmark)) {
                    r.card = cleanAbsolutePath(*found);
                    if (r.card) r.bookmarks.emplace_back(*r.card, *saved.sourceBookmark);
                }
            }
            const std::vector<VolumeInfo>& savedBackups = saved.report->summary().destinations;
            // Bookmarks follow the saved backups in order, unless one could not be made.
            const bool paired = saved.destinationBookmarks.size() == savedBackups.size();
            for (size_t i = 0; i < saved.destinationBookmarks.size(); ++i) {
                const QByteArray& blob = saved.destinationBookmarks[i];
                std::optional<std::string> found;
                if (auto path = bookmarks->resolve(blob)) found = cleanAbsolutePath(*path);
                if (found) {
                    r.backups.push_back(*found);
                    r.bookmarks.emplace_back(*found, blob);
                } else if (paired) {
                    r.notConnected.push_back(savedBackups[i].path);
                }
            }
            if (!paired)
                for (const auto& b : savedBackups)
                    if (std::find(r.backups.begin(), r.backups.end(), b.path) == r.backups.end())
                        r.notConnected.push_back(b.path);
            return std::function<void(AppModel&)>([r = std::move(r)](AppModel& m) { m.applyRestored(r); });
        },
        bookmarkPool_);
}

void AppModel::applyRestored(const Restored& r) {
    if (finishSerial_ != r.serial) return;  // another result is shown by now
    std::optional<Restoring> asked = restoring_;
    restoring_.reset();
    for (const auto& [path, blob] : r.bookmarks) knownBookmarks_[path] = blob;
    if (r.card && r.card != source_) {
        source_ = r.card;
        emit sourceChanged();
    }
    // The backups of the saved check that are here; a card-only scan keeps the chosen ones. The
    // card is never one of them.
    std::vector<std::string> backups = cardOnly_ ? destinations_ : r.backups;
    if (source_) std::erase(backups, *source_);
    bool presence = false;
    for (const auto& b : r.backups) presence = unresolved_.erase(b) > 0 || presence;  // connected now
    if (backups != destinations_)
        setDestinations(std::move(backups));
    else if (presence)
        emit backupPresenceChanged();
    std::vector<std::string> open;
    if (source_) open.push_back(*source_);
    open.insert(open.end(), destinations_.begin(), destinations_.end());
    access_.begin(open);
    emitComputed();

    if (!asked || !(asked->recheck || asked->check)) return;
    if (r.cardBookmarked && !r.card) {
        // Its volume is not mounted: whatever sits at the saved path now is not this card.
        show(QStringLiteral("Insert ") + fromBytes(report_ ? report_->source.name : lastComponent(*source_)) +
                 QStringLiteral(" to check it again."),
             false);
        return;
    }
    if (!cardOnly_) sayNotConnected(r.notConnected);
    check(asked->check ? asked->level : std::optional<CheckLevel>());
}

bool AppModel::waitForRestore(std::optional<CheckLevel> level) {
    if (!restoring_ || restoring_->serial != finishSerial_) return false;
    restoring_->check = true;
    restoring_->level = level;
    return true;
}

void AppModel::forget(const QString& id) { history_->forget(QUuid::fromString(id)); }

}  // namespace halvetrop

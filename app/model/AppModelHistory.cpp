// Recording finished checks in the history, showing a saved one again and checking its card again.
#include "drives/VolumeMatch.h"
#include "model/AppModel.h"
#include "model/AppModelWork.h"
#include "model/ModelText.h"
#include "present/Format.h"
#include "present/Home.h"

namespace halvetrop {

// Where a saved check's card and backups are now, as its bookmarks name them.
struct AppModel::Restored {
    uint64_t serial = 0;
    std::optional<std::string> card;  // nothing: no bookmark, or it named no mounted volume
    bool cardBookmarked = false;
    std::vector<std::string> backups;                           // those that resolved, in the saved order
    std::vector<std::pair<std::string, QByteArray>> bookmarks;  // of the card and backups that resolved
    std::vector<std::string> notConnected;                      // saved paths of those that did not
    std::vector<std::pair<std::string, QByteArray>> away;       // their bookmarks, where known
    std::vector<std::string> saved;  // every saved backup in order, where it is now or was saved
    // Whether the card found at its place is the one the check recorded (`looking`: it is, and is
    // to be listed), or not inserted, or another.
    SavedCard cardState = SavedCard::notInserted;
    VolumeInfo live;  // the volume at the card's place, as described then
};

namespace {

// What a volume described now (`live`) is of a saved card, by the one rule for volumes: the card
// itself (`looking`: to be listed), another card mounted at its place, one that cannot be told
// from it, or nothing of it. Both where a saved result is opened and where the mounted volumes
// change under it. `bookmarkGone`: the card's bookmark named no mounted volume, so the card is not
// here whatever the place holds.
AppModel::SavedCard cardAtPlace(const VolumeInfo& recorded, const VolumeInfo& live, bool bookmarkGone) {
    const VolumeMatch match = matchVolume(recorded, live);
    if (match == VolumeMatch::same)
        return bookmarkGone ? AppModel::SavedCard::notInserted : AppModel::SavedCard::looking;
    // The folder left where nothing is mounted lies on the disk below: not a card at all.
    if (!live.deviceNumber || live.volumePath != recorded.volumePath) return AppModel::SavedCard::notInserted;
    return match == VolumeMatch::different ? AppModel::SavedCard::another : AppModel::SavedCard::cannotTell;
}

// Timers run on the monotonic clock, which stands still while the machine sleeps: however far
// away the next change is, the relative times are read again within this.
constexpr TimeNs kLongestAgeWait = TimeNs(60) * 1'000'000'000;

}  // namespace

void AppModel::ageAgain() {
    agedAt_ = now();
    agedShown_ = report_ ? std::optional<TimeNs>(report_->finishedAt) : std::nullopt;
    emit agesChanged();
    if (history().empty() && !agedShown_) {
        ageTimer_.stop();
        return;
    }
    TimeNs wait = kLongestAgeWait;
    for (const HistoryItem& item : history())
        wait = std::min(wait, present::untilRelativeChange(item.report->summary().finishedAt, agedAt_));
    if (agedShown_) wait = std::min(wait, present::untilRelativeChange(*agedShown_, agedAt_));
    // Whole milliseconds, rounded up: a wake-up just before the change would find nothing new.
    ageTimer_.start(int((wait + 999'999) / 1'000'000));
}

void AppModel::record(std::shared_ptr<const SavedReport> saved) {
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
    for (const VolumeInfo& d : saved->summary().destinations)
        if (auto b = bookmark(d.path)) backups.push_back(*b);
    history_->record({QUuid::createUuid(), std::move(saved), sourceBookmark, std::move(backups)});
}

void AppModel::showHistory(const QString& id) { openSaved(id, false); }

void AppModel::recheckSaved(const QString& id) { openSaved(id, true); }

void AppModel::openSaved(const QString& id, bool recheck) {
    const QUuid uuid = QUuid::fromString(id);
    if (!history_->find(uuid)) return;
    // The latest asked for is the one shown; one asked for before it is dropped when it is ready.
    opening_ = std::make_shared<Opening>();
    opening_->id = uuid;
    opening_->recheck = recheck;
    // A report listed before the history was read opens once it has been.
    if (history_->isLoaded()) startOpening(opening_);
}

void AppModel::startOpening(const std::shared_ptr<Opening>& opening) {
    const HistoryItem* item = history_->find(opening->id);
    if (!item) {
        if (opening_ == opening) opening_.reset();
        return;
    }
    opening->started = true;
    // Decoded and indexed off the GUI thread: a report of 100,000 files takes most of a second.
    runOffGui([saved = *item, opening] {
        std::optional<PreparedReport> prepared;
        try {
            prepared = prepareReport(saved.report->open(), false);
        } catch (const std::exception&) {
        }
        return std::function<void(AppModel&)>(
            [saved, opening, prepared = std::move(prepared)](AppModel& m) mutable {
                m.applyOpened(opening, saved, std::move(prepared));
            });
    });
}

void AppModel::applyOpened(const std::shared_ptr<Opening>& opening, const HistoryItem& saved,
                           std::optional<PreparedReport> report) {
    if (opening_ != opening) return;  // another result was asked for since
    opening_.reset();
    const present::ReportSummary& summary = saved.report->summary();
    if (!report) {
        // The entry stays as it was stored: nothing is lost by not showing it.
        show(QStringLiteral("The saved result of ") + present::quoted(present::cardName(summary.source)) +
                 QStringLiteral(" can't be read."),
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
    setSavedCard(SavedCard::looking);
    restoring_ = Restoring{finishSerial_, opening->recheck, opening->check, opening->level};

    // Asked for by the user, as the opening was: not behind the bookmarks made in the background.
    uint64_t serial = finishSerial_;
    std::shared_ptr<Bookmarks> bookmarks = bookmarks_;
    runOffGui([saved, bookmarks, serial, describe = deps_.describeVolume] {
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
                r.bookmarks.emplace_back(*found, bookmarks->renewed(blob).value_or(blob));
                r.saved.push_back(*found);
            } else if (paired) {
                r.notConnected.push_back(savedBackups[i].path);
                r.away.emplace_back(savedBackups[i].path, blob);
                r.saved.push_back(savedBackups[i].path);
            }
        }
        if (!paired)
            for (const auto& b : savedBackups)
                if (std::find(r.backups.begin(), r.backups.end(), b.path) == r.backups.end()) {
                    r.notConnected.push_back(b.path);
                    r.saved.push_back(b.path);
                }
        const VolumeInfo& recorded = saved.report->summary().source;
        if (auto place = cleanAbsolutePath(r.card ? *r.card : recorded.path)) {
            r.live = describe(*place);
            r.cardState = cardAtPlace(recorded, r.live, r.cardBookmarked && !r.card);
            // Another part of the card's volume mounted at its place is not the card.
            if (r.cardState == SavedCard::looking && recorded.mountRoot &&
                placeInVolume(r.live) != placeInVolume(recorded))
                r.cardState = SavedCard::another;
        }
        return std::function<void(AppModel&)>([r = std::move(r)](AppModel& m) { m.applyRestored(r); });
    });
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
    setSavedCard(r.cardState);
    if (r.cardState == SavedCard::looking) {
        // The result is of that mount of its card from now on.
        cardMount_ = r.live;
        watchShownCard();
    }
    // The backups of the saved check; a card-only scan keeps the chosen ones. The card is never
    // one of them. One whose drive is away stays, with its bookmark, marked as not connected as a
    // chosen backup that leaves is: it is a backup again when its drive returns.
    std::vector<std::string> backups = cardOnly_ ? destinations_ : std::vector<std::string>();
    bool presence = false;
    if (!cardOnly_) {
        auto connected = [&](const std::string& p) {
            return std::find(r.backups.begin(), r.backups.end(), p) != r.backups.end();
        };
        for (const auto& b : r.saved)
            if (std::find(backups.begin(), backups.end(), b) == backups.end()) backups.push_back(b);
        for (const auto& [path, blob] : r.away)
            if (!connected(path)) knownBookmarks_[path] = blob;
        for (const auto& b : r.notConnected)
            if (!connected(b) && b != source_) presence = unresolved_.insert(b).second || presence;
    }
    if (source_) std::erase(backups, *source_);
    for (const auto& b : r.backups) presence = backupReturned(b) || presence;  // connected now
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
    if (savedCardNotHere()) {
        // Whatever sits at the saved path now is not this card.
        sayInsertSavedCard(QStringLiteral("to check it again."));
        return;
    }
    if (!cardOnly_) sayNotConnected(r.notConnected);
    check(asked->check ? asked->level : std::optional<CheckLevel>());
}

void AppModel::findSavedCard() {
    if (!report_ || !savedCardNotHere()) return;
    const VolumeInfo& recorded = report_->source;
    SavedCard state = SavedCard::notInserted;
    for (const VolumeInfo& v : volumes_) {
        // A mount of another part of the card's volume does not show the card.
        const std::optional<std::string> there = pathOfPlace(v, recorded);
        const SavedCard here = there ? cardAtPlace(recorded, v, false) : SavedCard::notInserted;
        if (here == SavedCard::looking) {
            // Inserted again, wherever it is mounted now.
            if (auto path = cleanAbsolutePath(*there); path && path != source_) {
                source_ = path;
                emit sourceChanged();
            }
            setSavedCard(SavedCard::looking);
            cardMount_ = v;
            watchShownCard();
            return;
        }
        if (here != SavedCard::notInserted) state = here;
    }
    setSavedCard(state);
}

void AppModel::sayInsertSavedCard(const QString& what) {
    const QString name = report_ ? present::cardName(report_->source) : sourceName();
    show(QStringLiteral("Insert ") + present::quoted(name) + QStringLiteral(" ") + what, false);
}

bool AppModel::waitForRestore(std::optional<CheckLevel> level) {
    if (opening_) {
        opening_->check = true;
        opening_->level = level;
        return true;
    }
    if (!restoring_ || restoring_->serial != finishSerial_) return false;
    restoring_->check = true;
    restoring_->level = level;
    return true;
}

void AppModel::forget(const QString& id) { history_->forget(QUuid::fromString(id)); }

}  // namespace halvetrop

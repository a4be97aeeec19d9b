// The stored choices: kinds, photo formats and the backups with their bookmarks, which are resolved
// off the GUI thread and name a backup's volume wherever it is mounted now.
#include "model/AppModel.h"
#include "model/ModelText.h"
#include "present/Settings.h"
#include "present/Sidebar.h"

namespace halvetrop {

namespace {

// An INI store reads a one-entry list back as a plain text; both are lists of text here.
std::optional<QStringList> storedTextList(const QVariant& v) {
    if (v.typeId() == QMetaType::QString) return QStringList{v.toString()};
    if (v.typeId() == QMetaType::QStringList) return v.toStringList();
    if (v.typeId() == QMetaType::QVariantList) {
        QStringList out;
        for (const QVariant& item : v.toList()) {
            if (item.typeId() != QMetaType::QString) return std::nullopt;
            out << item.toString();
        }
        return out;
    }
    return std::nullopt;
}

}  // namespace

void AppModel::loadSettings() {
    QSettings& s = *settings_;
    // kinds: exact case names; nothing usable gives photo and video.
    kinds_.clear();
    if (auto names = storedTextList(s.value("kinds")))
        for (const QString& n : *names)
            if (auto k = mediaKindFromRaw(toBytes(n))) kinds_.insert(*k);
    if (kinds_.empty()) kinds_ = {MediaKind::photo, MediaKind::video};

    QVariant pf = s.value("photoFormats");
    photoFormats_ = PhotoFormats::all;
    if (pf.typeId() == QMetaType::QString)
        photoFormats_ = photoFormatsFromRaw(toBytes(pf.toString())).value_or(PhotoFormats::all);

    // backups: each entry a bookmark and the path it was made from. The stored paths are the
    // list until the bookmarks are resolved off the GUI thread (they read the mount table and
    // probe devices). One that does not resolve (its drive is not plugged in) keeps its stored
    // path and its bookmark, so the backup stays chosen and is never rebound to whatever now
    // sits at that path.
    struct Stored {
        std::string path;
        QByteArray bookmark;
    };
    std::vector<Stored> stored;
    int n = s.beginReadArray("backups");
    if (n < 0 || n > 10000) n = 0;
    for (int i = 0; i < n; ++i) {
        s.setArrayIndex(i);
        QVariant bm = s.value("bookmark");
        QVariant pv = s.value("path");
        if (pv.typeId() != QMetaType::QByteArray && pv.typeId() != QMetaType::QString) continue;
        auto path = cleanAbsolutePath(pv.toByteArray().toStdString());
        if (!path) continue;
        bool seen = false;
        for (const auto& e : stored) seen = seen || e.path == *path;
        if (seen) continue;
        stored.push_back({*path, bm.typeId() == QMetaType::QByteArray ? bm.toByteArray() : QByteArray()});
        if (!stored.back().bookmark.isEmpty()) knownBookmarks_[*path] = stored.back().bookmark;
    }
    s.endArray();
    std::vector<std::string> paths;
    for (const auto& e : stored) paths.push_back(e.path);
    setDestinations(paths);

    std::shared_ptr<Bookmarks> bookmarks = bookmarks_;
    runOffGui(
        [stored, paths, bookmarks] {
            std::vector<std::optional<std::string>> resolved;
            std::vector<std::optional<QByteArray>> renewed;
            for (const auto& e : stored) {
                std::optional<std::string> r;
                if (!e.bookmark.isEmpty())
                    if (auto got = bookmarks->resolve(e.bookmark)) r = cleanAbsolutePath(*got);
                resolved.push_back(r);
                renewed.push_back(r ? bookmarks->renewed(e.bookmark) : std::nullopt);
            }
            return std::function<void(AppModel&)>([paths, resolved, renewed](AppModel& m) {
                if (m.destinations_ != paths) return;  // the user changed the list meanwhile
                std::vector<std::string> next;
                for (size_t i = 0; i < paths.size(); ++i) {
                    if (resolved[i]) {
                        // The bookmark names the same volume wherever it is mounted now; kept as it
                        // knows the volume now, when that is more than it knew.
                        auto blob = m.knownBookmarks_.find(paths[i]);
                        if (renewed[i])
                            m.knownBookmarks_[*resolved[i]] = *renewed[i];
                        else if (blob != m.knownBookmarks_.end())
                            m.knownBookmarks_[*resolved[i]] = blob->second;
                        if (std::find(next.begin(), next.end(), *resolved[i]) == next.end())
                            next.push_back(*resolved[i]);
                    } else {
                        m.unresolved_.insert(paths[i]);
                        if (std::find(next.begin(), next.end(), paths[i]) == next.end())
                            next.push_back(paths[i]);
                    }
                }
                m.setDestinations(std::move(next));
            });
        },
        bookmarkPool_);
}

void AppModel::saveDestinations() {
    QSettings& s = *settings_;
    s.remove("backups");
    s.beginWriteArray("backups", int(destinations_.size()));
    for (size_t i = 0; i < destinations_.size(); ++i) {
        const std::string& path = destinations_[i];
        s.setArrayIndex(int(i));
        auto known = knownBookmarks_.find(path);
        s.setValue("bookmark", known != knownBookmarks_.end() ? known->second : QByteArray());
        s.setValue("path", QByteArray::fromStdString(path));
        // Never of the folder left where a drive that is away was mounted: that is another volume.
        if (known == knownBookmarks_.end() && !unresolved_.count(path)) requestBookmark(path);
    }
    s.endArray();
    if (destinations_.empty()) s.setValue("backups/size", 0);
    s.sync();
}

std::vector<std::string> AppModel::connectedBackups() const {
    std::vector<std::string> out;
    for (const auto& d : destinations_)
        if (!unresolved_.count(d)) out.push_back(d);
    return out;
}

BackupWatch AppModel::watchBackups(const std::vector<std::string>& backups) const {
    std::vector<std::pair<std::string, QByteArray>> remembered;
    for (const auto& b : backups)
        if (auto blob = knownBookmarks_.find(b); blob != knownBookmarks_.end())
            remembered.emplace_back(b, blob->second);
    return BackupWatch(backups, std::move(remembered), bookmarks_);
}

void AppModel::checkPresence() {
    // The volumes changed: a backup's drive may have left (its mount-point folder stays behind),
    // or come back, perhaps at another mount point.
    std::vector<std::pair<std::string, QByteArray>> remembered;
    for (const auto& d : destinations_)
        if (auto blob = knownBookmarks_.find(d); blob != knownBookmarks_.end())
            remembered.emplace_back(d, blob->second);
    if (remembered.empty()) return;
    // One search at a time: the mounts may change many times while one runs, and what changed
    // meanwhile is looked for once more after it.
    if (presenceLooking_) {
        presenceAgain_ = true;
        return;
    }
    presenceLooking_ = true;
    presenceAgain_ = false;
    std::shared_ptr<Bookmarks> bookmarks = bookmarks_;
    runOffGui(
        [remembered, bookmarks] {
            RenewedBookmarks renewed;
            BackupPlaces places = resolveBackups(*bookmarks, remembered, &renewed);
            return std::function<void(AppModel&)>([places, renewed](AppModel& m) {
                m.presenceLooking_ = false;
                m.applyPlaces(places, renewed);
                if (m.presenceAgain_ && !m.shutDown_) m.checkPresence();
            });
        },
        bookmarkPool_);
}

void AppModel::applyPlaces(const BackupPlaces& places, const RenewedBookmarks& renewed) {
    bool changed = false;
    std::vector<std::string> next;
    for (const auto& d : destinations_) {
        std::string path = d;
        auto found = places.find(d);
        if (found != places.end() && !found->second) {
            changed = unresolved_.insert(d).second || changed;
        } else if (found != places.end()) {
            changed = backupReturned(d) || changed;
            if (*found->second != d) {
                // The same volume, mounted elsewhere now.
                path = *found->second;
                knownBookmarks_[path] = knownBookmarks_[d];
            }
        }
        if (auto fresh = renewed.find(d); fresh != renewed.end()) knownBookmarks_[path] = fresh->second;
        if (std::find(next.begin(), next.end(), path) == next.end()) next.push_back(path);
    }
    if (next != destinations_) {
        setDestinations(std::move(next));
        return;
    }
    if (!renewed.empty()) saveDestinations();
    if (changed) emit backupPresenceChanged();
}

void AppModel::markNotConnected(const std::vector<std::string>& backups) {
    bool changed = false;
    for (const auto& b : backups)
        if (std::find(destinations_.begin(), destinations_.end(), b) != destinations_.end())
            changed = unresolved_.insert(b).second || changed;
    if (changed) emit backupPresenceChanged();
}

void AppModel::sayNotConnected(const std::vector<std::string>& backups) {
    // Said at every check while the drive stays away, it would only cover what the check found.
    std::vector<std::string> news;
    for (const auto& b : backups)
        if (toldNotConnected_.insert(b).second) news.push_back(b);
    if (!news.empty()) show(present::notConnectedText(news), false);
}

bool AppModel::backupReturned(const std::string& backup) {
    toldNotConnected_.erase(backup);
    return unresolved_.erase(backup) > 0;
}

void AppModel::requestBookmark(const std::string& path) {
    if (knownBookmarks_.count(path) || unbookmarkable_.count(path) || bookmarking_.count(path)) return;
    const uint64_t serial = ++bookmarkSerial_;
    bookmarking_[path] = serial;
    std::shared_ptr<Bookmarks> bookmarks = bookmarks_;
    runOffGui(
        [path, serial, bookmarks] {
            std::optional<QByteArray> made = bookmarks->make(path);
            return std::function<void(AppModel&)>([path, serial, made](AppModel& m) {
                // One asked before the folder was picked again describes what was there then.
                auto asked = m.bookmarking_.find(path);
                if (asked == m.bookmarking_.end() || asked->second != serial) return;
                m.bookmarking_.erase(asked);
                if (!made) {
                    m.unbookmarkable_.insert(path);  // stored by its path alone
                    return;
                }
                m.knownBookmarks_[path] = *made;
                if (std::find(m.destinations_.begin(), m.destinations_.end(), path) != m.destinations_.end())
                    m.saveDestinations();
            });
        },
        bookmarkPool_);
}

void AppModel::forgetBookmark(const std::string& path) {
    knownBookmarks_.erase(path);
    unbookmarkable_.erase(path);
    bookmarking_.erase(path);
}

// The Settings window reads the same values through the same readers, so a hand-edited file
// never means one thing on screen and another in a check.
int64_t AppModel::requiredCopies() const {
    return present::requiredCopiesFrom(settings_->value(present::requiredCopiesKey));
}

bool AppModel::includeSidecars() const {
    return present::flagFrom(settings_->value(present::includeSidecarsKey));
}
bool AppModel::includeProxies() const {
    return present::flagFrom(settings_->value(present::includeProxiesKey));
}

}  // namespace halvetrop

// The card and the backups the user chooses, the mounted volumes and what their comings and goings
// mean for the shown result, ejecting the card, and the notices.
#include "drives/DeviceDatabase.h"
#include "drives/VolumeMatch.h"
#include "model/AppModel.h"
#include "model/ModelText.h"
#include "platform/Account.h"
#include "platform/MountInfo.h"
#include "present/Format.h"
#include "present/Paths.h"
#include "text/Utf8.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace halvetrop {

namespace {

// `path` is `root` or lies below it.
bool within(const std::string& path, const std::string& root) {
    return path == root ||
           (path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/');
}

std::string parentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

// The volume mounted at `path` as the mount table and the device database name it, read without
// touching any drive, so that a drive chosen is named before any description of it ends. Only a
// mount point is named so (the later of two mounts there): a folder goes by its own name, and a
// path that reaches a volume through a link is a folder until the volume is described.
std::optional<VolumeInfo> namedByTable(const std::string& path) {
    const std::vector<MountEntry> mounts = readMountInfo("/proc");
    const MountEntry* mount = nullptr;
    for (const MountEntry& m : mounts)
        if (m.mountPoint == path) mount = &m;
    if (!mount) return std::nullopt;
    VolumeInfo v;
    v.path = path;
    v.volumePath = mount->mountPoint;
    v.fileSystem = mount->fsType;
    v.mountRoot = mount->root;
    unsigned major = mount->major, minor = mount->minor;
    // A btrfs or FUSE mount carries a number of its own; the device it was mounted from is named.
    struct stat device {};
    if (mount->source.compare(0, 5, "/dev/") == 0 && ::stat(mount->source.c_str(), &device) == 0 &&
        S_ISBLK(device.st_mode)) {
        major = ::major(device.st_rdev);
        minor = ::minor(device.st_rdev);
    }
    const std::optional<FileSystemFacts> facts =
        major != 0 ? deviceDatabaseFacts(major, minor) : std::nullopt;
    const std::string label = facts ? facts->label : std::string();
    v.name = label.empty() ? lastComponent(v.volumePath)
                           : repairUtf8(v.showsPart() ? label + *v.mountRoot : label);
    if (facts && !facts->uuid.empty()) v.volumeID = facts->uuid;
    return v;
}

}  // namespace

std::optional<VolumeInfo> AppModel::namedVolume(const std::string& path) const {
    auto known = tableNames_.find(path);
    if (known == tableNames_.end()) known = tableNames_.emplace(path, namedByTable(path)).first;
    return known->second;
}

std::string AppModel::mountRoot() const { return deps_.mountRoot ? *deps_.mountRoot : desktopMountRoot(); }

bool AppModel::holdsBackup(const VolumeInfo& v) const {
    return std::any_of(destinations_.begin(), destinations_.end(),
                       [&](const std::string& d) { return within(d, v.volumePath); });
}

bool AppModel::offerable(const VolumeInfo& v) {
    return (v.isRemovable || v.isLikelyCameraCard) && !v.isDiskImage && v.volumePath != "/" && !v.showsPart();
}

bool AppModel::holdsSource(const VolumeInfo& v) const {
    if (!source_ || !within(*source_, v.volumePath)) return false;
    // A result on screen names its card: another card mounted at its place is not the chosen one,
    // nor is another mount of the same card.
    if (cardMount_) return sameMount(*cardMount_, v);
    return !report_ || matchVolume(report_->source, v) != VolumeMatch::different;
}

AppModel::DialogStart AppModel::dialogStart(const std::string& wanted) const {
    // The chosen card, the volume it is on unless that is a fixed disk, the announced card, and
    // every volume that looks like a card or is removable without holding a backup.
    std::vector<std::string> cards;
    if (source_ && *source_ != "/") cards.push_back(*source_);
    for (const VolumeInfo& v : volumes_) {
        if (v.volumePath == "/" || v.isDiskImage) continue;
        const bool card = holdsSource(v) ? v.isRemovable || v.isLikelyCameraCard || !v.isInternal
                                         : v.isLikelyCameraCard || (v.isRemovable && !holdsBackup(v));
        if (card) cards.push_back(v.volumePath);
    }
    if (newCard_ && newCard_->volumePath != "/") cards.push_back(newCard_->volumePath);
    std::optional<std::string> around;  // the outermost card that holds `wanted`
    for (const std::string& c : cards)
        if (within(wanted, c) && (!around || c.size() < around->size())) around = c;
    if (!around) return {wanted, std::nullopt};
    return {parentOf(*around), *around};
}

std::vector<std::string> AppModel::cardFolders() const {
    std::vector<std::string> out;
    auto add = [&out](const std::string& path) {
        if (!path.empty() && path != "/" && std::find(out.begin(), out.end(), path) == out.end())
            out.push_back(path);
    };
    if (source_) add(*source_);
    if (report_) add(report_->source.path);
    for (const VolumeInfo& v : volumes_) {
        if (v.volumePath == "/" || v.isDiskImage || holdsBackup(v)) continue;
        if (v.isLikelyCameraCard || (holdsSource(v) && (v.isRemovable || !v.isInternal))) add(v.volumePath);
    }
    return out;
}

std::string AppModel::saveFolder() const {
    // The documents folder of the home the dialogs open in. The desktop's name for it is known
    // where that home is HOME; HOME may be unset, or name no folder.
    const QString home = QFile::decodeName(QByteArray::fromStdString(homeForDialogs()));
    QString documents = home + QStringLiteral("/Documents");
    if (QDir::cleanPath(QDir::homePath()) == QDir::cleanPath(home))
        documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString folder = !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : home;
    return dialogStart(QFile::encodeName(QDir::cleanPath(folder)).toStdString()).folder;
}

void AppModel::chooseSource(const QString& startingAt, bool autoCheck) {
    QString prompt = autoCheck && !destinations_.empty() ? QStringLiteral("Check") : QStringLiteral("Choose");
    // Cards are mounted in the desktop's removable-media folder, not where the process started. A
    // card given is offered from the folder that holds it, selected and never opened.
    DialogStart start = dialogStart(mountRoot());
    if (!startingAt.isEmpty()) {
        const std::string card = toBytes(startingAt);
        start = dialogStart(card);
        if (!start.selected) start = {parentOf(card), card};
    }
    // Every card is offered whole and never opened: listing its folders would change it.
    auto picked =
        deps_.platform.folderPicker->pickFolder(QStringLiteral("Choose the card, drive or folder to check"),
                                                prompt, start.folder, false, start.selected, cardFolders());
    if (picked.empty()) return;
    setSource(picked.front());
    if (!autoCheck) return;
    if (cardOnly_ ? canScan() : canCheck()) check(std::optional<CheckLevel>());
}

void AppModel::chooseBackups() {
    // Backups tend to go where the last one went; before any, the drives are in the mount folder.
    const DialogStart start = dialogStart(lastBackup_ ? *lastBackup_ : mountRoot());
    auto picked = deps_.platform.folderPicker->pickFolder(QStringLiteral("Choose backup drives or folders"),
                                                          QStringLiteral("Add Backup"), start.folder, true,
                                                          std::nullopt, cardFolders(), source_);
    if (!picked.empty()) addBackups(picked);
}

void AppModel::setSource(const std::string& path) {
    auto clean = cleanAbsolutePath(path);
    if (!clean) return;
    // A card chosen starts afresh: words typed for the last card's files (cards of one camera
    // often share their path) would hide this one's.
    if (!search_.isEmpty()) {
        search_.clear();
        emit searchChanged();
    }
    source_ = clean;
    emit sourceChanged();
    forgetBookmark(*clean);
    requestBookmark(*clean);
    if (std::find(destinations_.begin(), destinations_.end(), *clean) != destinations_.end()) {
        auto next = destinations_;
        std::erase(next, *clean);
        setDestinations(std::move(next));
    }
    resetResults();
}

void AppModel::addBackups(const std::vector<std::string>& paths) {
    for (const auto& p : paths) {
        auto clean = cleanAbsolutePath(p);
        if (!clean || (source_ && *clean == *source_)) continue;
        if (std::find(destinations_.begin(), destinations_.end(), *clean) != destinations_.end()) continue;
        forgetBookmark(*clean);
        auto next = destinations_;
        next.push_back(*clean);
        setDestinations(std::move(next));
    }
    resetResults();
}

void AppModel::removeBackup(const std::string& path) {
    auto clean = cleanAbsolutePath(path);
    auto next = destinations_;
    if (clean) std::erase(next, *clean);
    setDestinations(std::move(next));
    resetResults();
}

// A dropped folder's URL holds its path's bytes, which its local-file text may not.
void AppModel::setSourceUrl(const QUrl& url) {
    if (auto path = present::localPath(url)) setSource(*path);
}

void AppModel::addBackupUrls(const QList<QUrl>& urls) {
    std::vector<std::string> paths;
    for (const QUrl& u : urls)
        if (auto path = present::localPath(u)) paths.push_back(std::move(*path));
    addBackups(paths);
}

void AppModel::removeBackupAt(int index) {
    if (index >= 0 && index < int(destinations_.size())) removeBackup(destinations_[size_t(index)]);
}

void AppModel::useSuggestedCard(int index) {
    auto cards = suggestedCards();
    if (index < 0 || index >= int(cards.size()) || copying()) return;
    checkOfferedCard(cards[size_t(index)].volumePath);
}

void AppModel::checkOfferedCard(const std::string& volumePath) {
    // Nothing needs granting on this desktop, so no picker opens on the card.
    setSource(volumePath);
    if (destinations_.empty()) {
        // The card is chosen now; only a backup is missing for the check.
        QString name = sourceName();
        for (const auto& v : volumes_)
            if (v.volumePath == volumePath && !v.name.empty()) name = fromBytes(v.name);
        show(QStringLiteral("Add a backup to check “") + name + QStringLiteral("” against."), false);
        return;
    }
    // Its label says Check: against the backups, whatever the last check was.
    setCardOnly(false);
    check(std::optional<CheckLevel>());
}

void AppModel::checkNewCard() {
    if (!newCard_ || copying()) return;
    // The mount that was announced: gone, another card at its place is not checked in its name.
    // The offered cards around it come and go, and a backup plugged in again may sit before it.
    checkMounts();
    if (!newCard_) return;
    const VolumeInfo& announced = *newCard_;
    for (const auto& v : volumes_) {
        if (sameMount(announced, v)) {
            dismissNewCard();
            checkOfferedCard(v.volumePath);
            return;
        }
    }
}

void AppModel::refreshVolumes() {
    if (shutDown_) return;
    if (listing_) {
        // Whatever the running reading has not described yet may have changed: it stops, and one
        // more reading follows it, however many changes come meanwhile.
        listAgain_ = true;
        listingStale_->store(true);
        return;
    }
    listVolumesNow();
}

void AppModel::listVolumesNow() {
    listing_ = true;
    listAgain_ = false;
    listingStale_ = std::make_shared<std::atomic<bool>>(false);
    // After two readings in a row stopped, the next one ends whatever changes meanwhile.
    const bool mayStop = listingsStopped_ < 2;
    runOffGui(
        [stale = listingStale_, mayStop, list = deps_.listVolumes] {
            std::optional<VolumeListing> listing =
                list([&stale, mayStop] { return mayStop && stale->load(); });
            return std::function<void(AppModel&)>([listing = std::move(listing)](AppModel& m) mutable {
                m.listing_ = false;
                m.listingsStopped_ = listing ? 0 : m.listingsStopped_ + 1;
                // A whole reading is newer than the one shown, even where it went stale at its end.
                if (listing) m.applyVolumes(std::move(*listing));
                if ((m.listAgain_ || !listing) && !m.shutDown_) m.listVolumesNow();
            });
        },
        backgroundPool_);
}

void AppModel::applyVolumes(VolumeListing listing) {
    std::set<std::string> old;
    for (const auto& v : volumes_) old.insert(v.volumePath);
    const auto listedIn = [](const VolumeInfo& v, const std::vector<VolumeInfo>& volumes) {
        return std::any_of(volumes.begin(), volumes.end(),
                           [&](const VolumeInfo& w) { return sameMount(v, w); });
    };
    // A volume's UUID may arrive with the device database's word, long after it was mounted.
    auto identities = [](const std::vector<VolumeInfo>& volumes) {
        std::set<std::pair<std::string, std::string>> out;
        for (const auto& v : volumes) out.emplace(v.volumePath, v.volumeID.value_or(""));
        return out;
    };
    const bool identified = identities(listing.volumes) != identities(volumes_);
    bool wasEmpty = volumes_.empty();
    const bool mountsMoved = listing.mountPoints != mountPoints_;
    // A mount that left leaves by what the kernel holds: a card taken out and another mounted at
    // its place at once leaves its folder with a volume, but another one.
    std::set<std::string> vanished;
    for (const auto& v : volumes_)
        if (v.volumePath != "/" && !listedIn(v, listing.volumes)) vanished.insert(v.volumePath);
    const std::vector<VolumeInfo> before = std::move(volumes_);
    volumes_ = std::move(listing.volumes);
    mountPoints_ = std::move(listing.mountPoints);
    tableNames_.clear();
    std::set<std::string> now;
    for (const auto& v : volumes_) now.insert(v.volumePath);
    emit volumesChanged();

    if (!wasEmpty && !volumes_.empty()) {
        // A drive that holds a chosen backup was plugged back in, not inserted to be checked: it
        // would take the place of the card announced before it. The chosen card is never news, but
        // a mount at the place of one that left is another card.
        for (const auto& v : volumes_) {
            if (listedIn(v, before) || !offerable(v) || holdsBackup(v)) continue;
            if (holdsSource(v) && !vanished.count(v.volumePath)) continue;
            newCard_ = v;
            emit newCardChanged();
            break;
        }
    }
    if (newCard_ && !listedIn(*newCard_, volumes_)) {
        newCard_.reset();
        emit newCardChanged();
    }
    // A description is only as good as its volume: forget those whose volume left, and read the
    // others again (a mount event may be a volume filling or a drive mounted over a folder).
    for (auto entry = volumeCache_.begin(); entry != volumeCache_.end();) {
        const std::string& vp = entry->second.volumePath;
        if (now.count(vp) || mountPoints_.count(vp)) {
            ++entry;
            continue;
        }
        const QString key = present::pathKey(entry->first);
        entry = volumeCache_.erase(entry);
        emit volumeInfoReady(key);
    }
    refreshVolumeFacts();
    findSavedCard();
    emitComputed();
    if (mountsMoved || old != now || identified || !vanished.empty()) checkPresence();

    if (!vanished.empty()) sourceVolumeRemoved(vanished);
    // A card remounted read-only (or with noatime) since it was chosen is asked about anew.
    if (source_ && !report_) expectAccessTimes();
}

void AppModel::sourceVolumeRemoved(const std::set<std::string>& vanished) {
    // Another card leaving the saved card's place takes nothing of its result.
    if (report_ && savedCardNotHere()) return;
    bool removed = false;
    for (const auto& p : vanished) {
        if ((cardMount_ && p == cardMount_->volumePath) || (report_ && p == report_->source.volumePath) ||
            (source_ && within(*source_, p)))
            removed = true;
    }
    if (removed) cardLeft();
}

void AppModel::checkMounts() {
    if (newCard_ && Drives::mountState(*newCard_) == MountState::gone) dismissNewCard();
    if (cardMount_ && Drives::mountState(*cardMount_) == MountState::gone) cardLeft();
}

void AppModel::cardLeft() {
    if (!source_ && !report_) return;
    QString name = report_ ? fromBytes(report_->source.name) : sourceName();
    if (copy_) {
        // The copy reads the card that is gone; it stops and cleans up on its own thread.
        copy_->cancel();
    }
    if (phase_ == Phase::Checking) {
        if (verifier_) verifier_->cancel();
        show(QStringLiteral("“") + name +
                 QStringLiteral("” was removed during the check. Insert it again to check it."),
             false);
    } else if (report_) {
        show(QStringLiteral("“") + name +
                 QStringLiteral("” ejected — you can remove it. Its result is saved in Recent checks."),
             true);
    }
    access_.release();
    resetResults();
    if (source_) {
        source_.reset();
        emit sourceChanged();
    }
    emitComputed();
}

void AppModel::clearSource() {
    if (!source_) return;
    source_.reset();
    emit sourceChanged();
    emitComputed();
}

namespace {

std::optional<VolumeInfo> describeIfThere(const std::function<VolumeInfo(const std::string&)>& describe,
                                          const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return describe(path);
}

}  // namespace

QVariantMap AppModel::volumeInfo(const QString& key) {
    const std::optional<std::string> path = present::pathOfKey(key);
    // What is at the path of a backup whose drive is not connected is the system's disk.
    if (!path || unresolved_.count(*path)) return {};
    // What is at a saved card's place may be another card: until it is known to be the card, none
    // of its facts are shown, and the card is named as its check named it.
    if (source_ && *path == *source_ && savedCardAway())
        return report_ && report_->source.path == *path ? provisionalVolumeMap(report_->source)
                                                        : QVariantMap();
    if (auto cached = cachedVolumeInfo(*path)) return volumeMap(*cached);
    if (describing_.insert(*path).second) {
        auto describe = deps_.describeVolume;
        runOffGui(
            [path = *path, describe] {
                std::optional<VolumeInfo> info = describeIfThere(describe, path);
                return std::function<void(AppModel&)>([path, info](AppModel& m) {
                    m.describing_.erase(path);
                    if (!info) return;  // asked again next time
                    m.volumeCache_[path] = *info;
                    emit m.volumeInfoReady(present::pathKey(path));
                });
            },
            backgroundPool_);
    }
    // Named from the first frame; its sizes and the rest follow with the description.
    if (const std::optional<VolumeInfo> named = namedVolume(*path)) return provisionalVolumeMap(*named);
    return {};
}

void AppModel::refreshVolumeFacts() {
    if (volumeCache_.empty() || shutDown_) return;
    if (factsReading_) {
        factsAgain_ = true;
        return;
    }
    factsReading_ = true;
    factsAgain_ = false;
    std::vector<std::string> paths;
    for (const auto& entry : volumeCache_) paths.push_back(entry.first);
    auto describe = deps_.describeVolume;
    runOffGui(
        [paths, describe] {
            std::vector<std::pair<std::string, std::optional<VolumeInfo>>> facts;
            for (const auto& p : paths) facts.emplace_back(p, describeIfThere(describe, p));
            return std::function<void(AppModel&)>([facts](AppModel& m) {
                m.factsReading_ = false;
                for (const auto& [path, info] : facts) {
                    auto cached = m.volumeCache_.find(path);
                    if (cached == m.volumeCache_.end() || (info && cached->second == *info)) continue;
                    if (info)
                        cached->second = *info;
                    else
                        m.volumeCache_.erase(cached);
                    emit m.volumeInfoReady(present::pathKey(path));
                }
                // What changed while this reading ran is read once more.
                if (m.factsAgain_) m.refreshVolumeFacts();
            });
        },
        backgroundPool_);
}

void AppModel::updateVolumeFacts() {
    if (shutDown_) return;
    std::vector<std::string> places = destinations_;
    if (source_) places.insert(places.begin(), *source_);
    QVariantMap facts;
    for (const std::string& p : places) {
        const QString key = present::pathKey(p);
        facts.insert(key, volumeInfo(key));
    }
    if (facts == volumeFacts_) return;
    volumeFacts_ = std::move(facts);
    emit volumeFactsChanged();
}

std::optional<VolumeInfo> AppModel::cachedVolumeInfo(const std::string& path) const {
    auto it = volumeCache_.find(path);
    if (it == volumeCache_.end()) return std::nullopt;
    return it->second;
}

void AppModel::show(const QString& text, bool ok) {
    // A banner says something or is not shown: an empty one would be a bare symbol.
    if (text.trimmed().isEmpty()) return;
    Notice n{text, ok, QUuid::createUuid()};
    notice_ = n;
    emit noticeChanged();
    QUuid id = n.id;
    QTimer::singleShot(ok ? 4000 : 8000, Qt::PreciseTimer, this, [this, id] {
        if (notice_ && notice_->id == id) dismissNotice();
    });
}

void AppModel::dismissNotice() {
    notice_.reset();
    emit noticeChanged();
}

void AppModel::dismissNewCard() {
    newCard_.reset();
    emit newCardChanged();
}

void AppModel::ejectSource() {
    if (!report_ || !canEjectSource() || ejecting_ || !deps_.platform.ejector) return;
    if (verifier_) verifier_->cancel();
    stopPass();
    closePreview();
    ejecting_ = true;
    emit ejectingChanged();
    if (!showsReadyToFormat()) {
        unmountCard();
        return;
    }
    // A card the result calls ready to format is looked at once more: one changed a moment ago is
    // not ejected as ready, and the result says it changed.
    whenCardLooked([shown = reportSerial_](AppModel& m, bool go) {
        if (go && m.reportSerial_ == shown && m.showsReadyToFormat() && m.canEjectSource()) {
            m.unmountCard();
            return;
        }
        m.ejecting_ = false;
        emit m.ejectingChanged();
    });
}

void AppModel::unmountCard() {
    // Nothing of ours looks at the card while it is unmounted: no listing is begun from now on, and
    // one still walking it (its folders open) is waited for, or the unmount would fail as busy.
    stopWatchingCard();
    if (cardListingsOut_ > 0) {
        afterCardListings_.push_back([shown = reportSerial_](AppModel& m) {
            if (m.ejecting_ && m.report_ && m.reportSerial_ == shown) {
                m.unmountCard();
            } else if (m.ejecting_) {
                m.ejecting_ = false;
                emit m.ejectingChanged();
            }
        });
        return;
    }
    // Only the mount the result checked is ejected: gone, another card at its place is not.
    checkMounts();
    if (!report_) {
        ejecting_ = false;
        emit ejectingChanged();
        return;
    }
    const VolumeInfo& card = cardMount_ ? *cardMount_ : report_->source;
    const EjectTarget target{card.volumePath, card.deviceNumber.value_or(""), card.volumeID.value_or("")};
    QString name = fromBytes(report_->source.name);
    QPointer<AppModel> self(this);
    deps_.platform.ejector->eject(target, [self, name](std::optional<EjectFailure> failure) {
        if (!self) return;
        self->ejecting_ = false;
        emit self->ejectingChanged();
        if (!failure || failure->kind == EjectFailure::Kind::another) {
            // Unmounted, or not the card at all: the result goes once its mount is seen gone.
            self->checkMounts();
            self->refreshVolumes();
        }
        if (!failure) return;
        // A service may refuse without saying why; the sentence then goes without the reason.
        const QString reason = failure->reason.trimmed();
        const QString couldNot = QStringLiteral("Couldn't eject ") + present::quoted(name) +
                                 (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason) +
                                 QStringLiteral(". ");
        if (failure->kind == EjectFailure::Kind::another)
            self->show(couldNot.trimmed(), false);
        else if (failure->kind == EjectFailure::Kind::noService)
            // Nothing the user closes would help: the desktop's disk tool can still eject it.
            self->show(couldNot + QStringLiteral("Eject it in Disks instead."), false);
        else
            self->show(couldNot + QStringLiteral("Close anything using the card and try again."), false);
    });
}

}  // namespace halvetrop

// The file browser: filters over the shown report, the preview and revealing files.
#include "model/AppModel.h"
#include "model/ModelText.h"
#include "platform/MountInfo.h"
#include "present/Files.h"
#include "present/Format.h"
#include "present/Paths.h"

#include <QPointer>

#include <algorithm>

#include <sys/stat.h>

namespace halvetrop {

// The window's filter is the file list's, case for case in the same order.
static halvetrop::FileFilter listFilter(AppModel::FileFilter f) {
    return static_cast<halvetrop::FileFilter>(f);
}

void AppModel::noteAccessTimeTouched(const std::string& path) {
    if (!report_ || !isPathPrefix(report_->source.path, path)) return;
    noteCardTouched(report_->source.path, CardAccessTimes::otherOwner);
}

void AppModel::noteCardTouched(const std::string& card, CardAccessTimes what) {
    if (what == CardAccessTimes::kept) return;
    Touched& t = touched_[card];
    // A FUSE card's daemon stamps every read: that says more than another user's files do.
    if (t.what != CardAccessTimes::fuseReadWrite) t.what = what;
    t.volume = mountedVolumeAt(card);
    updateCardAccessTimesNote();
}

std::optional<std::string> AppModel::mountedVolumeAt(const std::string& path) const {
    const std::optional<VolumeInfo> v = cachedVolumeInfo(path);
    if (!v || !v->deviceNumber || !v->mountID) return std::nullopt;
    return *v->deviceNumber + "@" + std::to_string(*v->mountID);
}

void AppModel::expectAccessTimes() {
    const uint64_t serial = ++expectSerial_;
    if (!source_ || report_ || shutDown_) {
        if (expected_) {
            expected_.reset();
            updateCardAccessTimesNote();
        }
        return;
    }
    runOffGui([serial, path = *source_, expect = deps_.expectCardAccessTimes] {
        const CardAccessTimes what = expect(path);
        return std::function<void(AppModel&)>([serial, path, what](AppModel& m) {
            if (serial != m.expectSerial_) return;  // another card, or a result, since
            m.expected_ = std::make_pair(path, what);
            m.updateCardAccessTimesNote();
        });
    });
}

void AppModel::updateCardAccessTimesNote() {
    std::optional<CardAccessTimes> what;
    auto add = [&what](CardAccessTimes w) {
        if (w != CardAccessTimes::kept && (!what || *what != CardAccessTimes::fuseReadWrite)) what = w;
    };
    // A running check speaks for itself from its first open on, not with the result it replaces.
    const bool checking = phase_ == Phase::Checking;
    // The card of the result on screen, else the one chosen (and checked now).
    const std::optional<std::string> card =
        report_ && !checking ? std::optional(report_->source.path) : source_;
    if (report_ && !checking) add(report_->cardAccessTimes);
    if (card) {
        if (auto t = touched_.find(*card); t != touched_.end()) {
            // Noted before the volume there was described: it is the one described now.
            const std::optional<std::string> now = mountedVolumeAt(*card);
            if (!t->second.volume) t->second.volume = now;
            if (!now || t->second.volume == now) add(t->second.what);
        }
        if (!report_ && phase_ == Phase::Setup && expected_ && expected_->first == *card)
            add(expected_->second);
        if (checking && checkExpects_ && checkExpects_->first == *card) add(checkExpects_->second);
    }
    QString note;
    if (what) {
        VolumeInfo named;
        if (report_ && !checking)
            named = report_->source;
        else if (auto described = cachedVolumeInfo(*card))
            named = *described;
        else
            named.path = named.volumePath = *card;
        note = present::displayText(accessTimesNote(*what, named).value_or(std::string()));
    }
    if (note == cardAccessTimesNote_) return;
    cardAccessTimesNote_ = note;
    emit cardAccessTimesChanged();
}

FileQuery AppModel::query() const {
    FileQuery q;
    q.filter = listFilter(filter_);
    q.search = search_;
    q.folderFilter = folderFilter_;
    q.groupFilter = groupFilter_ ? &*groupFilter_ : nullptr;
    return q;
}

std::vector<int> AppModel::visibleNow() const {
    if (!report_) return {};
    return filesByID_.refilter(*report_, query());
}

void AppModel::refilter(bool inPlace) {
    visible_ = visibleNow();
    if (inPlace)
        fileRows_.updateInPlace(visible_, false);
    else
        fileRows_.setVisible(visible_);
    emit visibleFilesChanged();
}

void AppModel::keepSelection(const std::optional<std::string>& file) {
    if (!selectedFolder_.isEmpty()) {
        const std::optional<std::string> folder = present::pathOfKey(selectedFolder_);
        const bool held = report_ && folder &&
                          std::any_of(report_->folders.begin(), report_->folders.end(),
                                      [&](const FolderSummary& f) { return f.pathBytes() == *folder; });
        if (!held) setSelectedFolder(QString());
    }
    std::optional<int64_t> id;
    if (file && report_) {
        // Most often the file keeps its id: the same check's pass lists the same files.
        const FileResult* same = selectedFileID_ ? fileByID(*selectedFileID_) : nullptr;
        const auto listed = [&](const FileResult& f) {
            return std::any_of(visible_.begin(), visible_.end(),
                               [&](int at) { return report_->files[size_t(at)].id == f.id; });
        };
        if (same && same->relativePathBytes() == *file) {
            if (listed(*same)) id = same->id;
        } else {
            for (int at : visible_)
                if (const FileResult& f = report_->files[size_t(at)]; f.relativePathBytes() == *file)
                    id = f.id;
        }
    }
    if (id != selectedFileID_) setSelectedFileID(id ? *id : -1);
}

void AppModel::showFiles(const QString& groupID, bool onlyMissing) {
    setGroupFilterID(groupID);
    setFolderFilter(std::nullopt);
    setFilter(onlyMissing ? FileFilter::NotBackedUp : FileFilter::All);
    setMode(Mode::Files);
}

void AppModel::showNotBackedUp(const QString& folder) {
    // The folder comes as the views' key of its bytes: its text would name another folder, or
    // none, where its name is not UTF-8. The card's top folder ("") is a restriction too: the
    // browser names it by the card.
    const std::optional<std::string> bytes = present::pathOfKey(folder);
    if (!bytes) return;
    setFolderFilter(*bytes);
    setGroupFilter(std::nullopt);
    setMode(Mode::Files);
    setFilter(FileFilter::NotBackedUp);
}

void AppModel::backToShoots() {
    groupFilter_.reset();
    emit groupFilterChanged();
    folderFilter_.reset();
    emit folderFilterChanged();
    filter_ = FileFilter::All;
    emit filterChanged();
    search_.clear();
    emit searchChanged();
    refilter();
    setMode(Mode::Shoots);
}

QUrl AppModel::sourceURL(qint64 fileID) const {
    const FileResult* f = fileByID(fileID);
    if (!f) return {};
    return present::fileUrl(report_->absolutePath(*f));
}

std::optional<std::string> AppModel::copyPath(int64_t fileID, int copy) const {
    const FileResult* f = fileByID(fileID);
    if (!f || copy < 0 || size_t(copy) >= f->copies.size()) return std::nullopt;
    const CopyRef& c = f->copies[size_t(copy)];
    if (c.destination < 0 || size_t(c.destination) >= report_->destinations.size()) return std::nullopt;
    return report_->absolutePath(c);
}

QUrl AppModel::copyURL(qint64 fileID, int copy) const {
    const auto path = copyPath(fileID, copy);
    return path ? present::fileUrl(*path) : QUrl();
}

void AppModel::revealCopy(qint64 fileID, int copy) {
    if (const auto path = copyPath(fileID, copy)) revealOnDisk({*path});
}

void AppModel::quickLook(qint64 fileID) {
    if (previewOpen_) {
        closePreview();
        return;
    }
    const FileResult* f = fileByID(fileID);
    if (!f || goneFromCard(fileID)) return;
    QList<QUrl> urls;
    for (const std::string& p : previewPaths(*report_, *f)) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0) urls << present::fileUrl(p);
    }
    if (urls.isEmpty()) return;
    previewUrls_ = urls;
    previewOpen_ = true;
    emit previewChanged();
}

void AppModel::closePreview() {
    // Also before an eject: a pending text read and the player's file would keep the card busy.
    fileRows_.releasePreview();
    if (!previewOpen_ && previewUrls_.isEmpty()) return;
    previewOpen_ = false;
    previewUrls_.clear();
    emit previewChanged();
}

void AppModel::reveal(qint64 fileID) {
    const FileResult* f = fileByID(fileID);
    if (f) revealOnDisk({report_->absolutePath(*f)});
}

void AppModel::revealOnDisk(const std::vector<std::string>& paths) {
    // The file manager's interface may open an empty window for an empty list.
    if (paths.empty() || !deps_.platform.reveal) return;
    const std::string& first = paths.front();
    const QString name = fromBytes(first.substr(first.find_last_of('/') + 1));
    deps_.platform.reveal->reveal(paths, [self = QPointer<AppModel>(this), name] {
        if (self)
            self->show(
                QStringLiteral("Couldn't show “") + name + QStringLiteral("”: no file manager is installed."),
                false);
    });
}

QString AppModel::shootChipText() const {
    return groupFilter_ ? present::shootChipText(*groupFilter_) : QString();
}

void AppModel::revealFiles(const QList<qint64>& ids, bool onBackup) {
    std::vector<std::string> paths;
    for (qint64 id : ids) {
        const FileResult* f = fileByID(id);
        if (!f) continue;
        if (!onBackup) {
            if (!goneFromCard(id)) paths.push_back(report_->absolutePath(*f));
        } else if (auto copy = copyPath(id, 0)) {
            paths.push_back(std::move(*copy));
        }
    }
    revealOnDisk(paths);
}

}  // namespace halvetrop

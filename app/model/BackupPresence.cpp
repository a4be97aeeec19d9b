#include "model/BackupPresence.h"

#include <sys/stat.h>

#include <algorithm>

namespace halvetrop {

namespace {

std::optional<std::pair<dev_t, ino_t>> folderAt(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
    return std::make_pair(st.st_dev, st.st_ino);
}

}  // namespace

BackupPlaces resolveBackups(Bookmarks& bookmarks,
                            const std::vector<std::pair<std::string, QByteArray>>& remembered,
                            RenewedBookmarks* renewed) {
    BackupPlaces places;
    for (const auto& [path, blob] : remembered) {
        places[path] = bookmarks.resolve(blob);
        if (!renewed || !places[path]) continue;
        if (std::optional<QByteArray> fresh = bookmarks.renewed(blob)) (*renewed)[path] = *fresh;
    }
    return places;
}

BackupWatch::BackupWatch(std::vector<std::string> paths,
                         std::vector<std::pair<std::string, QByteArray>> remembered,
                         std::shared_ptr<Bookmarks> bookmarks)
    : paths_(std::move(paths)), remembered_(std::move(remembered)), bookmarks_(std::move(bookmarks)) {}

std::vector<std::string> BackupWatch::notHere() const {
    std::vector<std::string> out;
    if (!bookmarks_) return out;
    const BackupPlaces places = resolveBackups(*bookmarks_, remembered_);
    for (const auto& path : paths_) {
        auto it = places.find(path);
        if (it != places.end() && it->second != path) out.push_back(path);
    }
    return out;
}

void BackupWatch::start() {
    started_.clear();
    for (const auto& path : paths_)
        if (auto folder = folderAt(path)) started_[path] = *folder;
}

std::vector<std::string> BackupWatch::goneSinceStart() const {
    const std::vector<std::string> left = notHere();
    std::vector<std::string> out;
    for (const auto& path : paths_) {
        auto was = started_.find(path);
        bool swapped = was != started_.end() && folderAt(path) != was->second;
        if (swapped || std::find(left.begin(), left.end(), path) != left.end()) out.push_back(path);
    }
    return out;
}

}  // namespace halvetrop

#pragma once
// Whether each backup is on its own volume. An unplugged drive leaves its mount-point folder on
// the system's disk: walked, it holds no copies; written to, the copies land on the wrong disk.
// A backup is here while its bookmark (its volume's id and the path below the volume's root)
// resolves to its path, and stays the folder it was while a check reads it. Asked off the GUI
// thread: resolving reads the mount table and probes devices.
#include "platform/Platform.h"

#include <sys/types.h>

#include <QByteArray>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace halvetrop {

// Per backup path: where its bookmark leads now; nothing when its volume is not mounted.
using BackupPlaces = std::map<std::string, std::optional<std::string>>;
// Per backup path: its bookmark made anew where its volume is known better now (Bookmarks::renewed).
using RenewedBookmarks = std::map<std::string, QByteArray>;

BackupPlaces resolveBackups(Bookmarks& bookmarks,
                            const std::vector<std::pair<std::string, QByteArray>>& remembered,
                            RenewedBookmarks* renewed = nullptr);

// The backups of one check or pass, from before its start to its end. Backups without a bookmark
// are judged by their folder alone.
class BackupWatch {
public:
    BackupWatch() = default;
    BackupWatch(std::vector<std::string> paths, std::vector<std::pair<std::string, QByteArray>> remembered,
                std::shared_ptr<Bookmarks> bookmarks);

    // The backups whose own volume is not mounted at their path now.
    std::vector<std::string> notHere() const;
    // Remembers the folder (device and inode) each path names now.
    void start();
    // The backups whose path no longer names the folder it named at start(), or whose volume is
    // not mounted there any more, in the order of the paths.
    std::vector<std::string> goneSinceStart() const;

private:
    std::vector<std::string> paths_;
    std::vector<std::pair<std::string, QByteArray>> remembered_;
    std::shared_ptr<Bookmarks> bookmarks_;
    std::map<std::string, std::pair<dev_t, ino_t>> started_;
};

}  // namespace halvetrop

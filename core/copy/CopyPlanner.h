#pragma once
// Where each card file to copy goes on one backup, decided before anything is written, and the
// refusals that keep a plan inside the chosen backup folder, off the card and out of app libraries.
// Pure text work on the check's report, except for resolving and comparing paths.
#include "copy/CopyError.h"
#include "copy/CopyLayout.h"
#include "drives/Drives.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvetrop {

struct VerifyReport;
struct FileResult;

struct PlannedCopy {
    PlannedCopy() = default;
    PlannedCopy(std::int64_t id, std::string source, std::string destDir, std::string name, std::int64_t size,
                std::optional<CopyError> refusal = std::nullopt)
        : id(id), source(std::move(source)), destDir(std::move(destDir)), name(std::move(name)), size(size),
          refusal(std::move(refusal)) {}

    std::int64_t id = 0;      // the card file's id in the report
    // Paths and names are bytes as the file systems know them; repair them to show them.
    std::string source;       // absolute path on the card
    std::string destDir;      // absolute, canonical destination folder
    std::string name;         // file name on the backup: the card's name (numbered after a collision)
    std::int64_t size = 0;    // bytes, from the report
    // Why this file cannot go where it is planned, found while planning (its name, or the name of
    // a folder on its way, is longer than the backup's file system allows: the error's path ends
    // at that name): the run lists it as failed with this and makes nothing for it.
    std::optional<CopyError> refusal;
    std::string destination() const;  // join(destDir, name)
    bool operator==(const PlannedCopy&) const = default;
};

struct CopyPlan {
    std::string root;  // canonical backup root
    std::string card;  // the card's path as the report holds it
    // The backup's volume as the check recorded it: a plan is carried out only while the volume at
    // the root is that one (matchVolume). An unplugged drive leaves its empty mount point on the
    // system's disk, and a rotated drive of the same name may be mounted there: neither takes its
    // copies. Absent for a plan made by hand, which is held to nothing.
    std::optional<VolumeInfo> backupVolume;
    std::vector<PlannedCopy> items;
    int renamedForCollision = 0;
    // Of the items that will be copied (those without a refusal).
    std::int64_t totalBytes() const;
    int copyableCount() const;
};

struct CopyPlanner {
    struct PickedFolder {
        enum class Case { onBackup, notOnBackup, insideCard, insideLibrary };
        Case kind = Case::notOnBackup;
        std::int64_t destination = 0;  // onBackup: index into VerifyReport::destinations
        std::string folder;   // onBackup: relative to that backup's root, no leading "/"

        static PickedFolder onBackup(std::int64_t destination, std::string folder) { return {Case::onBackup, destination, std::move(folder)}; }
        static PickedFolder notOnBackup() { return {Case::notOnBackup, 0, {}}; }
        static PickedFolder insideCard() { return {Case::insideCard, 0, {}}; }
        static PickedFolder insideLibrary() { return {Case::insideLibrary, 0, {}}; }
        bool operator==(const PickedFolder&) const = default;
    };

    // Throws CopyError: backupDisconnected or backupUnconfirmed (the volume at the backup's root is
    // another one than the report was made on, or cannot be told from another), outsideDestination,
    // insideLibrary, then per folder insideSource, or nameTooLong for a name of the chosen location
    // and base folder longer than the backup's file system allows, first met, in that order. A file
    // whose own name, or the name of a folder below the base folder on its way, is too long for it
    // is planned with that refusal. `describe` tells what volume is at the backup's root now
    // (Drives::info when empty).
    static CopyPlan plan(const VerifyReport& report, const std::vector<std::int64_t>& fileIDs, std::int64_t destination,
                         const CopyLayout& layout, const std::string& location, const std::string& baseFolder,
                         const std::function<VolumeInfo(const std::string&)>& describe = {});
    // Why a backup whose recorded volume is `recorded` takes no copies at `root` now that `live` is
    // there; nothing when it is the same volume.
    static std::optional<CopyError> refusalAt(const std::string& root, const VolumeInfo& recorded, const VolumeInfo& live);
    static PickedFolder locate(const std::string& folder, const VerifyReport& report);

    // Absolute and lexically standardized ("." and ".." resolved, separators collapsed, no final
    // "/" except for "/" itself). Links are not resolved.
    static std::string canonical(const std::string& path);
    // Whether path is, or lies under, the directory with this device and inode; a path that does
    // not exist yet is judged by its nearest existing ancestor, links resolved.
    static bool isInside(const std::string& path, dev_t dev, ino_t ino);
    // Whether any folder level of `relative`, taken under root, is an app library or bundle.
    static bool isInsidePackage(const std::string& relative, const std::string& root);

    // Layouts and template (pure text).
    static std::string expand(const std::string& pathTemplate, const FileResult& file, const std::string& card);
    static std::string sibling(const std::string& path, const std::string& suffix);
    static std::string sanitizePath(std::string_view path);
    static std::string numbered(const std::string& name, int n);
};

}  // namespace halvetrop

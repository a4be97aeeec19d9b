#pragma once
// Small reports for the tests of the model's records: a card with a few files whose statuses,
// folders and scope each test spells out.
#include "report/Report.h"

#include <string>
#include <vector>

namespace halvetrop::test {

struct FileSpec {
    std::string folder;
    std::string name;
    FileStatus status = FileStatus::verified;
    bool inScope = true;
    int64_t safeDrives = 2;
};

inline VolumeInfo volumeAt(const std::string& path, const std::string& volumePath,
                           std::optional<std::string> id) {
    VolumeInfo v;
    v.path = path;
    v.volumePath = volumePath;
    v.name = volumePath.substr(volumePath.rfind('/') + 1);
    v.volumeID = std::move(id);
    v.fileSystem = "exfat";
    return v;
}

// A report of the card at `source`, compared with `backups` backups (none: a card-only scan).
// File ids are positions; every covered file has a copy on the first backup.
inline VerifyReport reportOf(const VolumeInfo& source, int backups, const std::vector<FileSpec>& files) {
    VerifyReport r;
    r.source = source;
    for (int b = 0; b < backups; ++b) {
        r.destinations.push_back(volumeAt("/media/backup" + std::to_string(b),
                                          "/media/backup" + std::to_string(b), "B-" + std::to_string(b)));
    }
    r.requiredCopies = 2;
    for (const FileSpec& spec : files) {
        FileResult f;
        f.id = static_cast<int64_t>(r.files.size());
        f.folder = spec.folder;
        f.name = spec.name;
        f.relativePath = join(spec.folder, spec.name);
        f.size = 1000 + f.id;
        f.inScope = spec.inScope;
        f.status = spec.status;
        f.safeDrives = isCovered(spec.status) ? spec.safeDrives : 0;
        if (isCovered(spec.status) && backups > 0)
            f.copies.push_back({0, f.relativePath, EvidenceLevel::none, false});
        if (f.inScope) r.totals.add(f);
        r.files.push_back(std::move(f));
    }
    r.safeToFormat = backups > 0 && r.totals.notCovered() == 0;
    return r;
}

}  // namespace halvetrop::test

// Shoots (folder, day, camera) with where each landed on the backup drives, and the roll-up of
// the card's folder tree.
#include "verify/Verifier.h"

#include "verify/Extension.h"

#include "match/Landing.h"
#include "report/Join.h"
#include "text/Collation.h"
#include "text/Utf8.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <set>
#include <unordered_map>

namespace halvetrop {

std::string upperExtensionOf(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return std::string();
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(
        icu::StringPiece(name.data() + dot + 1, static_cast<int32_t>(name.size() - dot - 1)));
    u.toUpper(icu::Locale::getRoot());
    std::string out;
    u.toUTF8String(out);
    return out;
}

std::vector<ShootGroup> Verifier::buildGroups(const std::vector<FileResult>& files,
                                              const std::vector<std::vector<Location>>& locations,
                                              const DestIndex& ix) {
    // Majority camera per folder; a tie goes to the camera whose name sorts first, so the same
    // card always groups the same way. Folders are told apart by their bytes: two whose names
    // differ only where one is not UTF-8 look alike but are two folders, and two shoots.
    std::map<std::string, std::map<std::string, int64_t>> cameraCounts;
    for (const FileResult& f : files)
        if (f.inScope && !f.camera.empty()) ++cameraCounts[std::string(f.folderBytes())][f.camera];
    std::unordered_map<std::string, std::string> folderCamera;
    for (const auto& [folder, counts] : cameraCounts) {
        const std::string* best = nullptr;
        int64_t bestCount = -1;
        for (const auto& [camera, n] : counts) {  // ascending names: the first of equals stays
            if (n > bestCount) {
                best = &camera;
                bestCount = n;
            }
        }
        if (best) folderCamera[folder] = *best;
    }

    struct Key {
        std::string folder, day, camera;  // the folder's bytes
        bool operator<(const Key& o) const {
            return std::tie(folder, day, camera) < std::tie(o.folder, o.day, o.camera);
        }
    };
    std::vector<std::string> shownFolder;  // per key: the folder as the report shows it
    std::map<Key, size_t> keyIndex;
    std::vector<Key> keys;
    std::vector<std::vector<size_t>> members;
    for (size_t p = 0; p < files.size(); ++p) {
        const FileResult& f = files[p];
        if (!f.inScope) continue;
        const std::string folder(f.folderBytes());
        std::string camera = f.camera;
        if (camera.empty()) {
            auto it = folderCamera.find(folder);
            if (it != folderCamera.end()) camera = it->second;
        }
        Key key{folder, f.day, camera};
        auto [it, added] = keyIndex.emplace(key, keys.size());
        if (added) {
            keys.push_back(std::move(key));
            shownFolder.push_back(f.folder);
            members.emplace_back();
        }
        members[it->second].push_back(p);
    }

    std::vector<ShootGroup> groups;
    groups.reserve(keys.size());
    for (size_t g = 0; g < keys.size(); ++g) {
        ShootGroup group;
        group.folder = shownFolder[g];
        if (keys[g].folder != group.folder) group.rawFolder = keys[g].folder;
        group.day = keys[g].day;
        group.camera = keys[g].camera;
        std::vector<const std::vector<Location>*> groupFiles;
        std::set<PhysicalDriveID> drives;
        for (size_t p : members[g]) {
            const FileResult& f = files[p];
            group.fileIDs.push_back(f.id);
            group.counts.add(f);
            if (f.role == FileRole::media) {
                ++group.kinds[f.kind];
                ++group.formats[upperExtensionOf(f.name)];
            }
            const std::vector<Location>* locs = nullptr;
            if (f.id >= 0 && static_cast<size_t>(f.id) < locations.size()) locs = &locations[static_cast<size_t>(f.id)];
            groupFiles.push_back(locs);
            if (locs)
                for (const Location& l : *locs) drives.insert(l.drive);
        }
        std::vector<LandingRef> refs;
        for (const PhysicalDriveID& drive : drives) {  // ascending raw text
            const Landing landed = landing(std::span<const std::vector<Location>* const>(groupFiles), drive, ix);
            for (const LandingDir& d : landed.dominant) {
                LandingRef ref;
                ref.destination = ix.dirs()[d.dir].root.raw;
                ref.folder = ix.dirPath(d.dir);
                if (std::string bytes = ix.rawDirPath(d.dir); bytes != ref.folder) ref.rawFolder = std::move(bytes);
                ref.files = d.files;
                refs.push_back(std::move(ref));
            }
            group.scattered = group.scattered || landed.scattered;
        }
        std::stable_sort(refs.begin(), refs.end(),
                         [](const LandingRef& a, const LandingRef& b) { return a.files > b.files; });
        group.landings = std::move(refs);
        groups.push_back(std::move(group));
    }
    std::stable_sort(groups.begin(), groups.end(), [](const ShootGroup& a, const ShootGroup& b) {
        if (std::tie(a.day, a.folder, a.camera) != std::tie(b.day, b.folder, b.camera))
            return std::tie(a.day, a.folder, a.camera) < std::tie(b.day, b.folder, b.camera);
        return a.folderBytes() < b.folderBytes();
    });
    return groups;
}

std::vector<FolderSummary> Verifier::buildFolders(const std::vector<FileResult>& files) {
    // Folders are told apart by their bytes: two whose names differ only where they are not UTF-8
    // look alike on screen but are two folders on the card.
    std::unordered_map<std::string, size_t> byBytes;
    std::vector<FolderSummary> out;
    for (const FileResult& f : files) {
        if (!f.inScope) continue;
        const std::string_view folderBytes = f.folderBytes();
        std::vector<std::string_view> parts = pathComponents(folderBytes);
        for (bool own = true;; own = false) {
            std::string p;
            if (own) {
                // The file's own folder keeps its text as given; ancestors are rebuilt from parts.
                p = folderBytes;
            } else {
                for (size_t i = 0; i < parts.size(); ++i) {
                    if (i) p += '/';
                    p += parts[i];
                }
            }
            auto [it, added] = byBytes.emplace(p, out.size());
            if (added) {
                FolderSummary s;
                s.path = repairUtf8(p);
                s.name = parts.empty() ? std::string() : repairUtf8(parts.back());
                s.depth = static_cast<int64_t>(parts.size());
                if (p != s.path) s.rawPath = p;
                out.push_back(std::move(s));
            }
            FolderSummary& s = out[it->second];
            s.counts.add(f);
            if (!s.dayRange) {
                s.dayRange = DayRange{f.day, f.day};
            } else {
                if (f.day < s.dayRange->lower) s.dayRange->lower = f.day;
                if (f.day > s.dayRange->upper) s.dayRange->upper = f.day;
            }
            if (p.empty()) break;
            // A folder text with no component ("/") still rolls up into the top folder.
            if (!parts.empty()) parts.pop_back();
        }
    }
    const Collation collation;
    std::vector<std::string> keys(out.size());
    for (size_t i = 0; i < out.size(); ++i) keys[i] = collation.sortKey(out[i].path);
    std::vector<size_t> order(out.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (out[a].path.empty() != out[b].path.empty()) return out[a].path.empty();
        if (keys[a] != keys[b]) return keys[a] < keys[b];
        if (out[a].path != out[b].path) return out[a].path < out[b].path;
        return out[a].pathBytes() < out[b].pathBytes();
    });
    std::vector<FolderSummary> sorted;
    sorted.reserve(out.size());
    for (size_t i : order) sorted.push_back(std::move(out[i]));
    return sorted;
}

}  // namespace halvetrop

#include "copy/CopyPlanner.h"

#include "anatomy/Anatomy.h"
#include "copy/CardFence.h"
#include "copy/CopyError.h"
#include "drives/Drives.h"
#include "drives/VolumeMatch.h"
#include "platform/Fd.h"
#include "report/Join.h"
#include "report/Report.h"
#include "text/Utf8.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace halvetrop {

namespace {

std::vector<std::string> splitKeepingEmpty(const std::string& text) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('/', start);
        if (end == std::string::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

// The nearest folder of `path` that exists, open, links followed: where a folder still to be
// made would lie.
UniqueFd openNearestFolder(const std::string& path) {
    std::string p = path;
    for (;;) {
        UniqueFd dir(::open(p.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (dir || p == "/" || p.empty()) return dir;
        p = parentOf(p);
    }
}

// The real path when the path can be resolved, else the path as it is.
std::string resolved(const std::string& path) {
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer)) return buffer;
    return path;
}

bool hasPrefixFolder(const std::string& path, const std::string& folder) {
    if (path == folder) return true;
    const std::string prefix = folder == "/" ? "/" : folder + "/";
    return path.compare(0, prefix.size(), prefix) == 0;
}

// A path lower-cased for the collision and card tests, which fold case as many backup drives do.
// A byte that is not UTF-8 keeps its own mark instead of becoming U+FFFD, so a name never
// collides with its look-alike that holds a real U+FFFD.
std::string foldedKey(std::string_view path) { return Anatomy::lower(escapeIllFormed(path)); }

const std::set<std::string>& packageExtensions() {
    static const std::set<std::string> extensions = {
        "photoslibrary", "photolibrary", "migratedphotolibrary", "aplibrary", "lrlibrary", "lrdata",
        "cocatalog",     "cosessiondb", "fcpbundle",            "imovielibrary", "tvlibrary", "musiclibrary",
        "app",           "bundle",      "pkg",                  "framework",     "rdm",       "rdc"};
    return extensions;
}

}  // namespace

std::string PlannedCopy::destination() const { return join(destDir, name); }

std::int64_t CopyPlan::totalBytes() const {
    std::int64_t total = 0;
    for (const auto& item : items)
        if (!item.refusal) total += item.size;
    return total;
}

int CopyPlan::copyableCount() const {
    return static_cast<int>(std::count_if(items.begin(), items.end(), [](const PlannedCopy& i) { return !i.refusal; }));
}

std::string CopyPlanner::canonical(const std::string& path) {
    std::string absolute = path;
    if (absolute.empty() || absolute.front() != '/') {
        char cwd[PATH_MAX];
        absolute = join(::getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string("/"), absolute);
    }
    std::vector<std::string_view> kept;
    for (std::string_view piece : pathComponents(absolute)) {
        if (piece == ".") continue;
        if (piece == "..") {
            if (!kept.empty()) kept.pop_back();
            continue;
        }
        kept.push_back(piece);
    }
    std::string out;
    for (std::string_view piece : kept) {
        out += '/';
        out += piece;
    }
    return out.empty() ? "/" : out;
}

bool CopyPlanner::isInsidePackage(const std::string& relative, const std::string& /*root*/) {
    for (std::string_view piece : pathComponents(relative)) {
        // Linux has no per-folder package flag; the extension alone marks a library or bundle,
        // so where the folder lies does not matter.
        if (packageExtensions().count(Anatomy::ext(piece))) return true;
    }
    return false;
}

bool CopyPlanner::isInside(const std::string& path, dev_t dev, ino_t ino) {
    std::string p = canonical(path);
    struct stat st {};
    while (::stat(p.c_str(), &st) != 0 && p != "/" && !p.empty()) p = parentOf(p);
    p = resolved(p);
    for (;;) {
        if (::stat(p.c_str(), &st) == 0 && st.st_dev == dev && st.st_ino == ino) return true;
        if (p == "/" || p.empty()) return false;
        p = parentOf(p);
    }
}

std::optional<CopyError> CopyPlanner::refusalAt(const std::string& root, const VolumeInfo& recorded,
                                               const VolumeInfo& live) {
    switch (matchVolume(recorded, live)) {
    case VolumeMatch::same: return std::nullopt;
    case VolumeMatch::different: return CopyError::backupDisconnected(root);
    case VolumeMatch::cannotTell: break;
    }
    // Nothing is at the backup's place, or the mount there is not at its place: its drive is away.
    if (!live.deviceNumber || live.volumePath != recorded.volumePath) return CopyError::backupDisconnected(root);
    return CopyError::backupUnconfirmed(root);
}

CopyPlanner::PickedFolder CopyPlanner::locate(const std::string& folder, const VerifyReport& report) {
    const std::string picked = canonical(resolved(folder));
    const std::string card = canonical(resolved(report.source.path));
    if (hasPrefixFolder(picked, card)) return PickedFolder::insideCard();

    std::optional<std::size_t> best;
    std::string bestRoot;
    for (std::size_t i = 0; i < report.destinations.size(); ++i) {
        const std::string root = canonical(resolved(report.destinations[i].path));
        if (!hasPrefixFolder(picked, root)) continue;
        if (!best || root.size() > bestRoot.size()) {
            best = i;
            bestRoot = root;
        }
    }
    if (!best) return PickedFolder::notOnBackup();
    std::string rel;
    if (picked != bestRoot) rel = picked.substr(bestRoot == "/" ? 1 : bestRoot.size() + 1);
    if (!rel.empty() && isInsidePackage(rel, bestRoot)) return PickedFolder::insideLibrary();
    return PickedFolder::onBackup(static_cast<std::int64_t>(*best), rel);
}

CopyPlan CopyPlanner::plan(const VerifyReport& report, const std::vector<std::int64_t>& fileIDs,
                           std::int64_t destination, const CopyLayout& layout, const std::string& location,
                           const std::string& baseFolder,
                           const std::function<VolumeInfo(const std::string&)>& describe) {
    const VolumeInfo& backup = report.destinations.at(static_cast<std::size_t>(destination));
    const std::string root = canonical(backup.path);
    const std::string rootPrefix = root == "/" ? "/" : root + "/";
    const VolumeInfo live = describe ? describe(root) : Drives::info(root);
    if (auto refused = refusalAt(root, backup, live)) throw *refused;
    struct statvfs rootFs {};
    const NameLimit nameLimit = NameLimit::of(live.isFATFamily(), ::statvfs(root.c_str(), &rootFs) == 0 ? rootFs.f_namemax : 0);

    if (!location.empty()) {
        for (const auto& piece : splitKeepingEmpty(location))
            if (piece.empty() || piece == "." || piece == ".." || piece.find('\0') != std::string::npos)
                throw CopyError::outsideDestination(location);
    }

    std::map<std::int64_t, const FileResult*> byID;
    for (const auto& file : report.files) byID.emplace(file.id, &file);

    const bool usesLandings = layout.kind() == CopyLayout::Case::nextToShoot || layout.kind() == CopyLayout::Case::besideShoot;
    std::string suffix;
    if (layout.kind() == CopyLayout::Case::besideShoot) {
        suffix = layout.payload();
        for (char& c : suffix)
            if (c == '/') c = '-';
        suffix = sanitizePath(suffix);
    }
    std::map<std::int64_t, std::string> landingOf;
    if (usesLandings) {
        for (const auto& group : report.groups) {
            for (const auto& landing : group.landings) {
                const std::string folder(landing.folderBytes());
                if (landing.destination != destination || isInsidePackage(folder, root)) continue;
                for (std::int64_t id : group.fileIDs) landingOf[id] = folder;
                break;
            }
        }
    }

    const std::string base = join(location, sanitizePath(baseFolder));
    const std::string card = canonical(report.source.path);
    struct stat cardStat {};
    const bool cardKnown = ::stat(card.c_str(), &cardStat) == 0;
    // The card's file system may also be reached through a bind mount, where no path leads back
    // to the card.
    const CardFence fence = cardKnown ? CardFence::around(defaultSys(), card) : CardFence();
    if (!base.empty() && isInsidePackage(base, root)) throw CopyError::insideLibrary(join(root, base));

    const std::string cardLower = foldedKey(card);
    const std::string pathTemplate = layout.pathTemplate();
    // The folder the user chose and named, below which the template's folders go: a name of it
    // too long for the drive stops the whole plan, as no file could go where it was asked to.
    const std::string baseDir = canonical(join(root, base));
    // Each folder of the plan, checked once, with the name of it (or of a folder on its way)
    // that is longer than this drive takes, if there is one.
    std::unordered_map<std::string, std::optional<CopyError>> checkedDirs;
    std::unordered_set<std::string> takenKeys;
    std::unordered_set<std::int64_t> plannedIDs;
    CopyPlan plan;
    plan.root = root;
    plan.card = report.source.path;
    plan.backupVolume = backup;
    for (std::int64_t id : fileIDs) {
        const auto found = byID.find(id);
        // A file asked for twice is still one file: planned once, at its first place.
        if (found == byID.end() || !plannedIDs.insert(id).second) continue;
        const FileResult& file = *found->second;

        std::string relative;
        const auto landing = landingOf.find(id);
        if (landing != landingOf.end())
            relative = layout.kind() == CopyLayout::Case::besideShoot ? sibling(landing->second, suffix) : landing->second;
        else
            relative = join(base, expand(pathTemplate, file, report.source.name));
        const std::string dir = canonical(join(root, relative));
        if (dir != root && dir.compare(0, rootPrefix.size(), rootPrefix) != 0) throw CopyError::outsideDestination(dir);

        const std::string dirLower = foldedKey(dir);
        auto checked = checkedDirs.find(dir);
        if (checked == checkedDirs.end()) {
            if (dirLower == cardLower || dirLower.compare(0, cardLower.size() + 1, cardLower + "/") == 0)
                throw CopyError::insideSource(dir);
            if (cardKnown && isInside(dir, cardStat.st_dev, cardStat.st_ino)) throw CopyError::insideSource(dir);
            if (const UniqueFd near = openNearestFolder(dir); near && fence.mayHold(defaultSys(), near.get()))
                throw CopyError::insideSource(dir);
            // A folder name from a card folder, a template or a landing and its suffix may be
            // longer than this drive takes: the files below it are refused, the others copied.
            std::optional<CopyError> tooLong;
            std::string made = root == "/" ? "" : root;
            for (std::string_view piece : pathComponents(std::string_view(dir).substr(made.size()))) {
                made += "/";
                made += piece;
                if (nameLimit.fits(piece)) continue;
                if (hasPrefixFolder(baseDir, made)) throw CopyError::nameTooLong(made, nameLimit);
                tooLong = CopyError::nameTooLong(made, nameLimit);
                break;
            }
            checked = checkedDirs.emplace(dir, std::move(tooLong)).first;
        }

        // The copy takes the card file's own name, byte for byte.
        const std::string cardName(file.nameBytes());
        if (checked->second) {
            // Nothing is made for it, and its name takes no other file's number.
            plan.items.push_back(PlannedCopy{file.id, report.absolutePath(file), dir, cardName, file.size, checked->second});
            continue;
        }
        const std::string dirKey = dirLower + "/";
        std::string name = cardName;
        std::optional<CopyError> refusal;
        if (!nameLimit.fits(name)) {
            // Said now, before a byte is written; its name is taken by no other file.
            refusal = CopyError::nameTooLong(join(dir, name), nameLimit);
        } else {
            for (int n = 2; takenKeys.count(dirKey + foldedKey(name)); ++n) name = numbered(cardName, n);
            if (name != cardName) ++plan.renamedForCollision;
            takenKeys.insert(dirKey + foldedKey(name));
            if (!nameLimit.fits(name)) refusal = CopyError::nameTooLong(join(dir, name), nameLimit);
        }

        plan.items.push_back(PlannedCopy{file.id, report.absolutePath(file), dir, name, file.size, std::move(refusal)});
    }
    return plan;
}

}  // namespace halvetrop

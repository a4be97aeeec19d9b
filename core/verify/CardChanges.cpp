#include "verify/CardChanges.h"

#include "anatomy/Anatomy.h"
#include "report/Join.h"
#include "report/StoredForm.h"
#include "text/Utf8.h"

#include <algorithm>
#include <unordered_map>

namespace halvetrop {

namespace {

// Listings of a card whose folders keep appearing as fast as they are listed; the last one is held
// against the check however it ends.
constexpr int kListings = 4;

}  // namespace

RecordedCard recordedCard(const VerifyReport& report) {
    RecordedCard out;
    out.files.reserve(report.files.size());
    for (const FileResult& f : report.files)
        out.files.push_back({std::string(f.relativePathBytes()), f.size, f.modified, f.changeTime,
                             f.status == FileStatus::changed});
    for (const UnreadableEntry& e : report.cardUnreadableEntries) out.unreadable.insert(e.path);
    out.unreadableUnnamed = report.cardUnreadable > 0 && report.cardUnreadableEntries.empty();
    return out;
}

CardChanges cardChanges(const RecordedCard& recorded, const WalkResult& now) {
    CardChanges out;
    std::unordered_map<std::string_view, const RecordedFile*> byPath;
    byPath.reserve(recorded.files.size());
    for (const RecordedFile& f : recorded.files) byPath.emplace(f.path, &f);
    std::vector<std::string> folders(now.directories.size());
    for (std::size_t d = 0; d < now.directories.size(); ++d) folders[d] = now.displayRelativePath(now.directories[d]);

    // Files the check itself found changing count neither as changed nor as gone.
    std::vector<char> seen(recorded.files.size(), 0);
    for (const WalkEntry& e : now.entries) {
        if (e.kind != WalkEntry::Kind::file) continue;
        if (e.parent < 0 || static_cast<std::size_t>(e.parent) >= now.directories.size()) continue;
        // What the card scan leaves out is left out here too.
        if (Anatomy::classify(join(folders[static_cast<std::size_t>(e.parent)], now.displayName(e))).role == FileRole::junk)
            continue;
        const std::string path = join(now.directories[static_cast<std::size_t>(e.parent)].relativePath, now.name(e));
        const auto found = byPath.find(path);
        if (found == byPath.end()) {
            ++out.added;
            continue;
        }
        if (found->second->changing) continue;
        seen[static_cast<std::size_t>(found->second - recorded.files.data())] = 1;
        const RecordedFile& was = *found->second;
        if (was.size != e.size || was.modified != storableInstant(e.modifiedNS) ||
            (was.changeTime != 0 && was.changeTime != storableInstant(e.changedNS)))
            ++out.changed;
    }
    for (const auto& entry : byPath) {
        const std::size_t at = static_cast<std::size_t>(entry.second - recorded.files.data());
        if (!entry.second->changing && !seen[at]) out.gone.push_back(static_cast<std::int64_t>(at));
    }
    std::sort(out.gone.begin(), out.gone.end());
    out.removed = static_cast<std::int64_t>(out.gone.size());
    const std::string prefix = now.root.empty() || now.root.back() == '/' ? now.root : now.root + "/";
    for (const WalkError& error : now.errors) {
        // A junk folder that cannot be listed holds nothing a check counts.
        std::string_view below = error.path;
        if (below == now.root)
            below = {};
        else if (below.starts_with(prefix))
            below.remove_prefix(prefix.size());
        if (Anatomy::classify(join(repairUtf8(below), "x")).role == FileRole::junk) continue;
        // Nor is a place the check could not read either news.
        if (recorded.unreadableUnnamed || recorded.unreadable.count(repairUtf8(below))) continue;
        out.unreadable = true;
    }
    return out;
}

CardChanges cardChangesAt(const RecordedCard& recorded, const std::string& path, BulkWalker& walker,
                          const CardFolders& folders) {
    WalkResult now = walker.walk(path);
    std::int64_t touched = now.accessTimesTouched;
    for (int listing = 1; folders && listing < kListings; ++listing) {
        std::vector<std::string> found;
        found.reserve(now.directories.size());
        for (const WalkDirectory& d : now.directories) found.push_back(d.relativePath);
        if (!folders(found)) break;
        now = walker.walk(path);
        touched += now.accessTimesTouched;
    }
    CardChanges out = cardChanges(recorded, now);
    out.accessTimesTouched = touched;
    return out;
}

}  // namespace halvetrop

#include "verify/CardChanges.h"

#include "anatomy/Anatomy.h"
#include "report/Join.h"
#include "report/StoredForm.h"
#include "text/Utf8.h"

#include <unordered_map>

namespace halvetrop {

std::vector<RecordedFile> recordedFiles(const VerifyReport& report) {
    std::vector<RecordedFile> out;
    out.reserve(report.files.size());
    for (const FileResult& f : report.files) out.push_back({std::string(f.relativePathBytes()), f.size, f.modified});
    return out;
}

CardChanges cardChanges(const std::vector<RecordedFile>& recorded, const WalkResult& now) {
    CardChanges out;
    std::unordered_map<std::string_view, const RecordedFile*> byPath;
    byPath.reserve(recorded.size());
    for (const RecordedFile& f : recorded) byPath.emplace(f.path, &f);
    std::vector<std::string> folders(now.directories.size());
    for (std::size_t d = 0; d < now.directories.size(); ++d) folders[d] = now.displayRelativePath(now.directories[d]);

    std::size_t seen = 0;
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
        ++seen;
        if (found->second->size != e.size || found->second->modified != storableInstant(e.modifiedNS)) ++out.changed;
    }
    out.removed = static_cast<std::int64_t>(byPath.size() - seen);
    const std::string prefix = now.root.empty() || now.root.back() == '/' ? now.root : now.root + "/";
    for (const WalkError& error : now.errors) {
        // A junk folder that cannot be listed holds nothing a check counts.
        std::string_view below = error.path;
        if (below.starts_with(prefix)) below.remove_prefix(prefix.size());
        if (Anatomy::classify(join(repairUtf8(below), "x")).role != FileRole::junk) out.unreadable = true;
    }
    return out;
}

CardChanges cardChangesAt(const std::vector<RecordedFile>& recorded, const std::string& path, BulkWalker& walker) {
    return cardChanges(recorded, walker.walk(path));
}

}  // namespace halvetrop

// The card scan: items from the card's walk, scope and the RAW/JPEG pair rule, the order that
// fixes every file's id, capture sharing between twins and sidecars, and shoot days.
#include "verify/Verifier.h"

#include "anatomy/Anatomy.h"
#include "anatomy/CameraDetector.h"
#include "capture/CaptureReader.h"
#include "report/Join.h"
#include "report/StoredForm.h"
#include "text/Collation.h"
#include "text/Dates.h"
#include "text/Utf8.h"
#include "walk/BulkWalker.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <ctime>
#include <numeric>
#include <set>
#include <unordered_map>

namespace halvetrop {

namespace {

std::string lowerName(std::string_view name) { return Anatomy::lower(name); }

// The item's folder and name as the card's file system knows them. Two folders (or names) that
// differ only where one is not UTF-8 show alike, but hold other files.
std::pair<std::string_view, std::string_view> folderAndNameBytes(const Verifier::Item& item) {
    if (item.rawRel.empty()) return {item.folder, item.name};
    const std::string_view raw = item.rawRel;
    const size_t slash = raw.rfind('/');
    if (slash == std::string_view::npos) return {std::string_view(), raw};
    return {raw.substr(0, slash), raw.substr(slash + 1)};
}

// The name without up to `cuts` extensions.
std::string_view withoutExtensions(std::string_view name, int cuts) {
    for (int cut = 0; cut < cuts; ++cut) {
        const size_t dot = name.rfind('.');
        if (dot == std::string_view::npos) break;
        name = name.substr(0, dot);
    }
    return name;
}

// folder bytes + "/" + the stem; a name that is not UTF-8 adds its own bytes' stem, matched
// exactly, so that a look-alike name never pairs with it.
std::string keyOf(const Verifier::Item& item, const std::string& stem, int cuts) {
    const auto [folder, name] = folderAndNameBytes(item);
    std::string key(folder);
    key += '/';
    key += stem;
    if (name != item.name) {
        key += '\0';
        key += withoutExtensions(name, cuts);
    }
    return key;
}

// The folder, then the lower-cased name without its last extension.
std::string twinKey(const Verifier::Item& item) {
    return keyOf(item, std::string(withoutExtensions(lowerName(item.name), 1)), 1);
}

std::string ownerKey(const Verifier::Item& item) { return keyOf(item, ownerStemKey(item.name), 2); }

// Ends in "m" and two decimal digits (any script's digits, as \d means).
bool endsInMDigitDigit(std::string_view s) {
    int32_t i = static_cast<int32_t>(s.size());
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    UChar32 c[3];
    for (int k = 2; k >= 0; --k) {
        if (i <= 0) return false;
        U8_PREV(p, 0, i, c[k]);
    }
    return c[0] == U'm' && u_charType(c[1]) == U_DECIMAL_DIGIT_NUMBER &&
           u_charType(c[2]) == U_DECIMAL_DIGIT_NUMBER;
}

int localYear(int64_t ns) {
    time_t secs = static_cast<time_t>(ns / 1000000000);
    if (ns < 0 && ns % 1000000000 != 0) --secs;
    struct tm tm {};
    if (!localtime_r(&secs, &tm)) return 1970;
    return tm.tm_year + 1900;
}

}  // namespace

std::string ownerStemKey(std::string_view name) {
    std::string s = lowerName(name);
    for (int cut = 0; cut < 2; ++cut) {
        const size_t dot = s.rfind('.');
        if (dot == std::string::npos) break;
        s.resize(dot);
    }
    if (endsInMDigitDigit(s)) {
        const size_t dot = name.rfind('.');
        const bool hasExt = dot != std::string_view::npos && dot != 0;
        if (hasExt && lowerName(name.substr(dot + 1)) == "xml") {
            // Three characters: "m" and two digits, each one code point.
            int32_t i = static_cast<int32_t>(s.size());
            const auto* p = reinterpret_cast<const uint8_t*>(s.data());
            for (int k = 0; k < 3; ++k) {
                UChar32 c;
                U8_PREV(p, 0, i, c);
                (void)c;
            }
            s.resize(static_cast<size_t>(i));
        }
    }
    return s;
}

std::vector<Verifier::Item> Verifier::scanItems(const WalkResult& walk, const VerifyScope& scope, JunkTally* junk) {
    std::vector<Item> items;
    JunkTally tally;
    std::vector<std::string> dirDisplay(walk.directories.size());
    for (size_t d = 0; d < walk.directories.size(); ++d) dirDisplay[d] = walk.displayRelativePath(walk.directories[d]);

    for (const WalkEntry& e : walk.entries) {
        if (e.kind != WalkEntry::Kind::file) continue;
        if (e.parent < 0 || static_cast<size_t>(e.parent) >= walk.directories.size()) continue;
        const WalkDirectory& dir = walk.directories[static_cast<size_t>(e.parent)];
        Item item;
        item.name = walk.displayName(e);
        item.folder = dirDisplay[static_cast<size_t>(e.parent)];
        item.rel = join(item.folder, item.name);
        item.cls = Anatomy::classify(item.rel);
        if (item.cls.role == FileRole::junk) {
            tally.files += 1;
            tally.bytes += e.size;
            continue;
        }
        item.rawRel = join(dir.relativePath, walk.name(e));
        item.size = e.size;
        item.mtimeNs = e.modifiedNS;
        item.btimeNs = e.createdNS;
        item.ctimeNs = e.changedNS;
        item.fileID = e.fileID;
        item.device = e.device;
        item.dataless = e.isDataless();
        item.inScope = scope.contains(item.cls);
        items.push_back(std::move(item));
    }

    // The file manager's order fixes the ids; names it calls equal fall back to their bytes, so
    // the same card always numbers its files the same way whatever order the walk met them in.
    {
        const Collation collation;
        std::vector<std::string> keys(items.size());
        for (size_t i = 0; i < items.size(); ++i) keys[i] = collation.sortKey(items[i].rel);
        std::vector<size_t> order(items.size());
        std::iota(order.begin(), order.end(), size_t{0});
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            if (keys[a] != keys[b]) return keys[a] < keys[b];
            if (items[a].rel != items[b].rel) return items[a].rel < items[b].rel;
            return items[a].rawRel < items[b].rawRel;
        });
        std::vector<Item> sorted;
        sorted.reserve(items.size());
        for (size_t i : order) sorted.push_back(std::move(items[i]));
        items = std::move(sorted);
    }

    if (scope.photoFormats != PhotoFormats::all) {
        std::set<std::string> rawSet, processedSet;
        for (const Item& it : items) {
            if (it.cls.role != FileRole::media || it.cls.kind != MediaKind::photo) continue;
            (it.cls.raw ? rawSet : processedSet).insert(twinKey(it));
        }
        for (Item& it : items) {
            if (!it.inScope || it.cls.role != FileRole::media || it.cls.kind != MediaKind::photo) continue;
            if (scope.photoFormats == PhotoFormats::rawOnly && !it.cls.raw && rawSet.count(twinKey(it)))
                it.inScope = false;
            if (scope.photoFormats == PhotoFormats::processedOnly && it.cls.raw && processedSet.count(twinKey(it)))
                it.inScope = false;
        }
    }
    if (junk) {
        junk->files = tally.files;
        junk->bytes = tally.bytes;
    }
    return items;
}

void Verifier::shareCaptures(std::vector<Item>& items, const std::vector<size_t>& dated) {
    std::unordered_map<std::string, size_t> twins;
    std::unordered_map<std::string, CaptureInfo> exifByTwin;
    for (size_t i : dated) {
        const std::string key = twinKey(items[i]);
        twins[key] = i;
        if (items[i].capture && items[i].capture->source == DateSource::exif) exifByTwin[key] = *items[i].capture;
    }
    for (size_t i : dated) {
        Item& it = items[i];
        if (it.capture && it.capture->source != DateSource::fileModified) continue;
        auto e = exifByTwin.find(twinKey(it));
        if (e != exifByTwin.end()) it.capture = e->second;
    }
    for (Item& it : items) {
        if (it.cls.role == FileRole::media || it.capture) continue;
        auto t = twins.find(ownerKey(it));
        if (t != twins.end()) it.capture = items[t->second].capture;
    }
}

FileResult Verifier::startingResult(int64_t id, const Item& item, bool inScope) {
    FileResult r;
    r.id = id;
    r.relativePath = item.rel;
    if (item.rawRel != item.rel) r.rawRelativePath = item.rawRel;
    r.name = item.name;
    r.folder = item.folder;
    r.size = item.size;
    // Settled to what the stored form keeps, so that a report reads back equal to itself.
    r.modified = storableInstant(item.mtimeNs);
    r.changeTime = storableInstant(item.ctimeNs);
    r.kind = item.cls.kind;
    r.role = item.cls.role;
    r.inScope = inScope;
    r.capture = item.capture;
    if (r.capture && r.capture->date) r.capture->date = storableInstant(*r.capture->date);
    r.camera = item.capture && item.capture->model ? *item.capture->model : std::string();
    r.status = FileStatus::missing;
    return r;
}

std::string Verifier::shootDay(const Item& item, int64_t referenceYear) {
    if (item.capture && item.capture->source != DateSource::fileModified) {
        const CaptureInfo& c = *item.capture;
        if (c.wallClock && characterCount(*c.wallClock) >= 10) {
            std::string day(firstCharacters(*c.wallClock, 10));
            std::replace(day.begin(), day.end(), ':', '-');
            return day;
        }
        if (c.date) return CaptureReader::dayFormatter().format(*c.date);
    }
    const int64_t year = std::min<int64_t>(localYear(item.mtimeNs), referenceYear);
    if (auto day = SonyDateFolder::day(lastComponent(item.folder), static_cast<int>(year))) return *day;
    return CaptureReader::dayFormatter().format(item.mtimeNs);
}

}  // namespace halvetrop

// The frame of one check: request, progress, cancellation, walks, and the order of the run.
#include "verify/Verifier.h"

#include "anatomy/Anatomy.h"
#include "anatomy/CameraDetector.h"
#include "capture/CaptureReader.h"
#include "match/NameKey.h"
#include "platform/Errors.h"
#include "platform/Fd.h"
#include "platform/NoAtime.h"
#include "report/Join.h"
#include "report/StoredForm.h"
#include "text/Utf8.h"
#include "walk/BulkWalker.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <set>

namespace halvetrop {

namespace {

// Settled to what the stored form keeps, so that a report reads back equal to itself.
TimeNs now() {
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return storableInstant(static_cast<TimeNs>(ts.tv_sec) * 1000000000 + ts.tv_nsec);
}

int64_t currentYear() {
    time_t t = time(nullptr);
    struct tm tm {};
    localtime_r(&t, &tm);
    return tm.tm_year + 1900;
}

std::string couldntRead(const std::string& path, int error) {
    return "Couldn't read " + repairUtf8(path) + " (" + errorText(error) + ")";
}

// The bytes of a walk error's path below the walk's root: "" for the root itself, none for a path
// that is not below it.
std::optional<std::string_view> belowRoot(const std::string& root, std::string_view path) {
    if (path == root) return std::string_view();
    if (path.size() > root.size() && path.starts_with(root) && path[root.size()] == '/')
        return path.substr(root.size() + 1);
    return std::nullopt;
}

// A walk error below the card's root, named relative to the card as its files are.
UnreadableEntry unreadableEntry(const std::string& root, const WalkError& e) {
    return {repairUtf8(belowRoot(root, e.path).value_or(e.path)), errorText(e.errorNumber)};
}

// The junk folder (trash, lost+found, ...) that a walk error lies in, as its bytes below the root;
// none when the error may hide something a check needs. Whatever is inside a junk folder is junk,
// so trouble there hides nothing; the junk folder itself only when it is a folder that could not be
// listed, since an entry of that name whose status failed may be a file.
std::optional<std::string> junkFolderOf(const std::string& root, const WalkError& e) {
    const std::optional<std::string_view> rel = belowRoot(root, e.path);
    if (!rel || rel->empty()) return std::nullopt;
    size_t start = 0;
    while (start < rel->size()) {
        size_t slash = rel->find('/', start);
        const bool last = slash == std::string_view::npos;
        if (last) slash = rel->size();
        if ((!last || e.folder) && Anatomy::isJunkDirectory(repairUtf8(rel->substr(start, slash - start))))
            return std::string(rel->substr(0, slash));
        start = slash + 1;
    }
    return std::nullopt;
}

// The spelling under which a directory lists `name`: the name itself when listed so, else the one
// entry a case-insensitive file system (FAT, exFAT) answers to under another case. Cards are
// case-insensitive, so "/media/CARD/dcim" and "/media/CARD/DCIM" are one folder.
//
// The folders listed here are judged no part of the card: on the way to the card they lie above it
// (root's /home, the system's /media), and on the way to a backup inside the card they are the
// card's folders that its walk has already opened and judged.
std::string listedSpelling(const std::string& dir, const std::string& name) {
    AccessTimesTouched aboveTheCard;
    const int fd =
        openNoAtime(defaultSys(), dir.empty() ? "/" : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, aboveTheCard);
    if (fd < 0) return name;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return name;
    }
    std::string folded;
    const std::string want = NameKey::normalized(name);
    while (const dirent* e = ::readdir(d)) {
        const std::string entry = e->d_name;
        if (entry == name) {
            folded = name;
            break;
        }
        if (folded.empty() && NameKey::normalized(entry) == want) folded = entry;
    }
    ::closedir(d);
    return folded.empty() ? name : folded;
}

// Resolves links, "." and ".." of the part that exists, takes each existing component's listed
// spelling, drops a trailing "/".
std::string normalisedPath(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::weakly_canonical(std::filesystem::path(path), ec);
    if (ec) p = std::filesystem::path(path).lexically_normal();
    if (!p.is_absolute()) {
        std::string s = p.string();
        while (s.size() > 1 && s.back() == '/') s.pop_back();
        return s;
    }
    std::string out;
    bool exists = true;
    for (const auto& part : p) {
        const std::string c = part.string();
        if (c == "/" || c.empty()) continue;
        std::string spelled = c;
        if (exists) {
            spelled = listedSpelling(out, c);
            struct stat st {};
            exists = ::stat((out + "/" + spelled).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        out += "/" + spelled;
    }
    if (out.empty()) out = p.is_absolute() ? "/" : p.string();
    return out;
}

// A FUSE daemon keeps the access times of a file system mounted read-write itself, whatever
// O_NOATIME says, so only a read-only mount leaves such a card untouched.
bool readWriteFuse(const std::string& card) {
    struct statfs fs {};
    if (::statfs(card.c_str(), &fs) != 0) return false;
    return static_cast<unsigned long>(fs.f_type) == FUSE_SUPER_MAGIC && !(fs.f_flags & ST_RDONLY);
}

bool sameAsScanned(const Verifier::Item& item, const struct statx& st) {
    auto ns = [](const struct statx_timestamp& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; };
    return static_cast<int64_t>(st.stx_size) == item.size && ns(st.stx_mtime) == item.mtimeNs &&
           ns(st.stx_ctime) == item.ctimeNs && st.stx_ino == item.fileID;
}

}  // namespace

CardAccessTimes Verifier::expectedCardAccessTimes(const std::string& card) {
    if (readWriteFuse(card)) return CardAccessTimes::fuseReadWrite;
    Sys& sys = defaultSys();
    // Neither open reads the folder, so neither touches its access time.
    const UniqueFd place(sys.open(card.c_str(), O_PATH | O_CLOEXEC), sys);
    if (!place || !recordsAccessTimes(sys, place.get())) return CardAccessTimes::kept;
    // The kernel's own answer: O_NOATIME is refused on what is not ours.
    UniqueFd folder(sys.open(card.c_str(), O_RDONLY | O_DIRECTORY | O_NOATIME | O_CLOEXEC), sys);
    return !folder && errno == EPERM ? CardAccessTimes::otherOwner : CardAccessTimes::kept;
}

// --- progress and errors ------------------------------------------------------------------------

double VerifyProgress::fraction() const {
    if (total == 0) return 0.0;
    const double f = static_cast<double>(done) / static_cast<double>(total);
    return f > 1.0 ? 1.0 : f;
}

std::string_view rawValue(VerifyProgress::Stage stage) {
    switch (stage) {
        case VerifyProgress::Stage::scanningSource: return "scanningSource";
        case VerifyProgress::Stage::readingDates: return "readingDates";
        case VerifyProgress::Stage::indexingBackups: return "indexingBackups";
        case VerifyProgress::Stage::comparing: return "comparing";
        case VerifyProgress::Stage::done: return "done";
    }
    return "done";
}

std::optional<VerifyProgress::Stage> verifyStageFromRaw(std::string_view text) {
    for (auto s : {VerifyProgress::Stage::scanningSource, VerifyProgress::Stage::readingDates,
                   VerifyProgress::Stage::indexingBackups, VerifyProgress::Stage::comparing,
                   VerifyProgress::Stage::done}) {
        if (rawValue(s) == text) return s;
    }
    return std::nullopt;
}

VerifyError::VerifyError(Kind kind, std::string path, int32_t errorNumber)
    : kind_(kind), path_(std::move(path)), errorNumber_(errorNumber) {
    description_ = kind_ == Kind::cancelled ? std::string("Cancelled")
                                            : "Can't read " + repairUtf8(path_) + ": " + errorText(errorNumber_);
}

VerifyError VerifyError::cannotRead(std::string path, int32_t errorNumber) {
    return VerifyError(Kind::cannotRead, std::move(path), errorNumber);
}

VerifyError VerifyError::cancelled() { return VerifyError(Kind::cancelled, "", 0); }

std::string backupNoLongerConnected(const std::string& backupPath) {
    return "The backup is no longer connected: " + repairUtf8(backupPath);
}

void ReplacedBackups::note(RootID root) {
    std::lock_guard<std::mutex> guard(lock_);
    const auto at = std::lower_bound(roots_.begin(), roots_.end(), root);
    if (at == roots_.end() || *at != root) roots_.insert(at, root);
}

bool ReplacedBackups::contains(RootID root) const {
    std::lock_guard<std::mutex> guard(lock_);
    return std::binary_search(roots_.begin(), roots_.end(), root);
}

std::vector<RootID> ReplacedBackups::roots() const {
    std::lock_guard<std::mutex> guard(lock_);
    return roots_;
}

// --- the verifier ---------------------------------------------------------------------------------

Verifier::Verifier(VerifyRequest request) : request(std::move(request)) {}
Verifier::~Verifier() = default;

void Verifier::cancel() {
    std::vector<std::shared_ptr<BulkWalker>> walkers;
    {
        std::lock_guard<std::mutex> guard(lock_);
        cancelled_ = true;
        walkers = walkers_;
    }
    for (const auto& w : walkers) w->cancel();
}

bool Verifier::isCancelled() const {
    std::lock_guard<std::mutex> guard(lock_);
    return cancelled_;
}

void Verifier::checkCancelled() const {
    if (isCancelled()) throw VerifyError::cancelled();
}

void Verifier::progress(VerifyProgress::Stage stage, std::string detail, int64_t done, int64_t total) const {
    if (onProgress) onProgress(VerifyProgress{stage, std::move(detail), done, total});
}

WalkResult Verifier::walkTree(const std::string& path, AccessTimesTouched* touched) {
    BulkWalkerOptions options;
    options.touched = touched;
    auto walker = std::make_shared<BulkWalker>(options);
    {
        std::lock_guard<std::mutex> guard(lock_);
        walkers_.push_back(walker);
        if (cancelled_) throw VerifyError::cancelled();
    }
    // A finished walker is dropped at once so that its memory is gone before the next walk; a
    // later cancel() could not reach it anyway.
    auto release = [&] {
        std::lock_guard<std::mutex> guard(lock_);
        walkers_.erase(std::remove(walkers_.begin(), walkers_.end(), walker), walkers_.end());
    };
    try {
        WalkResult result = walker->walk(path);
        release();
        return result;
    } catch (const BulkWalkerError& e) {
        release();
        if (e.kind() == BulkWalkerError::Kind::cancelled) throw VerifyError::cancelled();
        throw VerifyError::cannotRead(path, e.errorNumber());
    } catch (...) {
        release();
        throw;
    }
}

std::optional<std::string> Verifier::excludedPrefix(const std::string& source, const std::string& dest) {
    const std::string s = normalisedPath(source);
    const std::string d = normalisedPath(dest);
    if (s == d) return std::string();
    const std::string dSlash = d.empty() || d.back() == '/' ? d : d + "/";
    if (s.size() > dSlash.size() && s.compare(0, dSlash.size(), dSlash) == 0) return s.substr(dSlash.size());
    return std::nullopt;
}

std::string Verifier::CompareContext::path(uint32_t row) const {
    const RootID root = index->root(row);
    return join(request.destinations.at(root.raw), index->rawRelativePath(row));
}

std::vector<size_t> Verifier::recheckCard(const std::vector<Item>& items,
                                          std::vector<std::optional<FileResult>>& results) const {
    std::vector<size_t> compared;
    for (size_t i = 0; i < items.size() && i < results.size(); ++i)
        if (results[i]) compared.push_back(i);
    std::vector<char> changed(compared.size(), 0);
    parallelFor(static_cast<int64_t>(compared.size()), width, [&](int64_t k) {
        const size_t i = compared[static_cast<size_t>(k)];
        const Item& item = items[i];
        FileResult& r = *results[i];
        struct statx st {};
        const std::string path = join(request.source, item.rawRel);
        // A file nested deeper than one path may name is looked up from its folder, as the walk did.
        const int rc = statxLongPath(defaultSys(), path, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                                     STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_CTIME | STATX_INO, &st);
        if (rc == 0 && S_ISREG(st.stx_mode) && sameAsScanned(item, st)) return;
        const int error = rc == 0 ? 0 : currentError();
        if (r.status == FileStatus::unreadable && error != ENOENT) return;  // already no copy
        if (error != 0 && error != ENOENT) {
            r.status = FileStatus::unreadable;
            r.detail = "Couldn't read the source: " + errorText(error);
        } else {
            r.status = FileStatus::changed;
            if (error == ENOENT)
                r.detail = "Removed from the card during the check.";
            else
                r.detail.reset();
        }
        // What was compared is not the file on the card now (or was not read whole): no copy of
        // it is proven, as none is of a source that could not be read.
        r.copies.clear();
        r.safeDrives = 0;
        r.cardDoubt.reset();
        changed[static_cast<size_t>(k)] = 1;
    });
    std::vector<size_t> out;
    for (size_t k = 0; k < compared.size(); ++k)
        if (changed[k]) out.push_back(compared[k]);
    return out;
}

VerifyReport Verifier::run() {
    const TimeNs startedAt = now();
    std::vector<std::string> problems;
    const VolumeInfo source = Drives::info(request.source);

    progress(VerifyProgress::Stage::scanningSource, source.name, 0, 0);

    // --- card walk and scan
    std::vector<Item> items;
    JunkTally junk;
    std::vector<CameraProfile> cameras;
    uint64_t cardDevice = 0, cardInode = 0;
    MountID cardMount;
    std::set<uint64_t> cardFolders;  // the inodes of the card's folders, on cardDevice
    int64_t cardUnreadable = 0;
    std::vector<UnreadableEntry> unreadableEntries;
    std::set<std::string> walkTrouble;  // the paths of the card walk's errors
    // Card files and folders opened without O_NOATIME where the mount records access times.
    const auto cardTouched = std::make_shared<AccessTimesTouched>();
    const bool fuseCard = readWriteFuse(request.source);
    if (onCardAccessTimes) {
        if (fuseCard) onCardAccessTimes(CardAccessTimes::fuseReadWrite);
        else cardTouched->onFirst([this] { onCardAccessTimes(CardAccessTimes::otherOwner); });
    }
    size_t cardProblems = 0;  // the card walk's problems come first
    {
        WalkResult walk = walkTree(request.source, cardTouched.get());
        std::set<std::string> unlistedJunk;
        for (const WalkError& e : walk.errors) {
            walkTrouble.insert(e.path);
            // A junk folder holds nothing a check needs (an ext4 card's lost+found is root's
            // alone): named among the card's contents, never counted against the card.
            if (std::optional<std::string> folder = junkFolderOf(request.source, e)) {
                if (unlistedJunk.insert(*folder).second) junk.unlistedFolders.push_back(repairUtf8(*folder));
                continue;
            }
            problems.push_back(couldntRead(e.path, e.errorNumber));
            unreadableEntries.push_back(unreadableEntry(request.source, e));
        }
        // Whatever lay in a folder that could not be listed was never seen, let alone compared.
        cardUnreadable = static_cast<int64_t>(unreadableEntries.size());
        cardProblems = problems.size();
        if (!walk.directories.empty()) {
            cardDevice = walk.directories[0].device;
            cardInode = walk.directories[0].fileID;
        }
        cardMount = walk.rootMount;
        for (const WalkDirectory& d : walk.directories)
            if (d.device == cardDevice) cardFolders.insert(d.fileID);
        items = scanItems(walk, request.scope, &junk);

        std::vector<std::string> dirs;
        dirs.reserve(walk.directories.size());
        for (const WalkDirectory& d : walk.directories) dirs.push_back(walk.displayRelativePath(d));
        std::vector<std::string> sample;
        for (size_t i = 0; i < items.size() && i < 500; ++i) sample.push_back(items[i].name);
        cameras = CameraDetector().detect(dirs, sample);
    }
    checkCancelled();

    // --- capture dates
    std::vector<size_t> dated;
    for (size_t i = 0; i < items.size(); ++i) {
        const FileClass& c = items[i].cls;
        if (c.role == FileRole::media && c.kind != MediaKind::other && request.scope.kinds.count(c.kind))
            dated.push_back(i);
    }
    // At the verified level a card file of one window is read whole from the medium here, once:
    // its date is read from those bytes, and its fingerprint and digest are kept for the
    // comparison, which would otherwise read the whole file again past the cache.
    const auto medium = std::make_shared<PageCache::MediumAnswers>();
    const bool readWhole = request.level == CheckLevel::verified && !request.destinations.empty();
    {
        std::vector<std::optional<CaptureInfo>> captures(items.size());
        std::vector<std::optional<ContentReader::SampleAndDigest>> wholeReads(items.size());
        std::mutex doneMutex;
        int64_t doneCount = 0;
        const auto total = static_cast<int64_t>(dated.size());
        parallelFor(total, width, [&](int64_t k) {
            if (isCancelled()) return;
            const size_t i = dated[static_cast<size_t>(k)];
            const Item& item = items[i];
            const std::string path = join(request.source, item.rawRel);
            if (readWhole && item.inScope && item.size > 0 && item.size <= SampleFP::wholeFileLimit) {
                std::string bytes;
                try {
                    // What is kept of it must be the file the scan found: the comparison reads it no more.
                    const FileAt file{path, HeldObject{item.device, item.fileID, cardMount}};
                    wholeReads[i] =
                        ContentReader::sampleWithDigest(file, item.size, true, *cardTouched, *sys, medium.get(), &bytes);
                    captures[i] = CaptureReader::read(path, bytes, item.cls.kind, item.mtimeNs, *cardTouched, *sys);
                } catch (const ContentReadError&) {
                    // The comparison meets the trouble again and names it.
                }
            }
            if (!captures[i]) captures[i] = CaptureReader::read(path, item.cls.kind, item.mtimeNs, *cardTouched, *sys);
            int64_t d;
            {
                std::lock_guard<std::mutex> guard(doneMutex);
                d = ++doneCount;
            }
            if (d % 25 == 0 || d == total) progress(VerifyProgress::Stage::readingDates, item.name, d, total);
        });
        checkCancelled();
        for (size_t i = 0; i < items.size(); ++i) {
            items[i].capture = std::move(captures[i]);
            if (!wholeReads[i]) continue;
            items[i].sample = wholeReads[i]->sample;
            if (wholeReads[i]->full) items[i].digest = wholeReads[i]->full->digest;
        }
    }
    shareCaptures(items, dated);

    // --- backup index
    ProbeSet probe;
    for (const Item& it : items) {
        if (!it.inScope) continue;
        probe.sizes.insert(it.size);
        probe.nameKeys.insert(NameKey::hash(it.name));
    }
    ExtTable ext;
    DestIndex index;
    std::vector<VolumeInfo> destinations;
    std::vector<bool> sameVolume, insideCard;
    std::vector<uint64_t> backupDevice;  // st_dev of each backup's walk root; 0 when not walked
    std::vector<size_t> backupProblemsEnd;  // per backup: the problems so far once it was indexed
    const auto backups = static_cast<int64_t>(request.destinations.size());
    for (int64_t j = 0; j < backups; ++j) {
        const std::string& path = request.destinations[static_cast<size_t>(j)];
        checkCancelled();
        const VolumeInfo info = Drives::info(path);
        destinations.push_back(info);
        sameVolume.push_back(false);
        insideCard.push_back(false);
        backupDevice.push_back(0);
        backupProblemsEnd.push_back(problems.size());
        progress(VerifyProgress::Stage::indexingBackups, info.name, j, backups);

        // A backup's number is its rows' 16-bit root: past that width it would wrap onto the
        // first backup and lend it this one's drive, so such a backup is not indexed at all.
        if (j > int64_t{UINT16_MAX}) {
            problems.push_back("Couldn't open backup " + repairUtf8(path));
            continue;
        }
        std::optional<WalkResult> walk;
        try {
            walk = walkTree(path);
        } catch (const VerifyError& e) {
            if (e.kind() == VerifyError::Kind::cancelled) throw;
            problems.push_back("Couldn't open backup " + repairUtf8(path));
            continue;
        }
        // A backup's trash or lost+found that cannot be listed is no trouble of the backup's.
        for (const WalkError& e : walk->errors)
            if (!junkFolderOf(path, e)) problems.push_back(couldntRead(e.path, e.errorNumber));
        backupProblemsEnd.back() = problems.size();
        const RootID root{static_cast<uint16_t>(j)};
        // The same file system is told by the device number, never by mount-point texts: a bind
        // mount or another spelling of the card's path must still be recognised.
        if (!walk->directories.empty()) {
            sameVolume.back() = walk->directories[0].device == cardDevice;
            insideCard.back() = sameVolume.back() && cardFolders.count(walk->directories[0].fileID) > 0;
            backupDevice.back() = walk->directories[0].device;
        }
        // A backup folder inside the card is the card too. Elsewhere on the card's file system it
        // is not: another user's folders there say nothing of the card's access times.
        if (insideCard.back()) cardTouched->note(walk->accessTimesTouched);
        // One file system lies on one drive, whatever drive ids its mount points were given: a
        // backup on the card's file system is on the card's drive, and one on an earlier
        // backup's file system is on that backup's drive.
        PhysicalDriveID drive = info.drive;
        const uint64_t device = backupDevice.back();
        if (device != 0 && device == cardDevice) {
            drive = source.drive;
        } else if (device != 0) {
            for (size_t k = 0; k + 1 < backupDevice.size(); ++k) {
                auto earlier = index.rootDrive.find(RootID{static_cast<uint16_t>(k)});
                if (backupDevice[k] == device && earlier != index.rootDrive.end()) {
                    drive = earlier->second;
                    break;
                }
            }
        }
        index.rootDrive[root] = drive;
        index.rootMount[root] = walk->rootMount;

        const std::optional<std::string> excluded =
            excludedPrefix(request.source, path);
        // Folders to leave out: the card's own folder seen through the backup, by path text and,
        // whatever the spelling, by being the very directory the card walk started at.
        std::vector<char> excludedDir(walk->directories.size(), 0);
        for (size_t k = 0; k < walk->directories.size(); ++k) {
            const WalkDirectory& d = walk->directories[k];
            bool out = d.device == cardDevice && d.fileID == cardInode && cardInode != 0;
            if (!out && d.parent >= 0 && static_cast<size_t>(d.parent) < k) out = excludedDir[static_cast<size_t>(d.parent)];
            // What lies in a backup's trash or in fsck's lost+found was deleted or lost there: no
            // copy anyone can count on. The backup folder itself may be any folder.
            if (!out && d.parent >= 0) out = Anatomy::isJunkDirectory(repairUtf8(lastComponent(d.relativePath)));
            if (!out && excluded) {
                // Both are bytes: a card whose path is not UTF-8 is still found inside the backup.
                const std::string& rel = d.relativePath;
                out = excluded->empty() || rel == *excluded ||
                      (rel.size() > excluded->size() && rel.compare(0, excluded->size(), *excluded) == 0 &&
                       rel[excluded->size()] == '/');
            }
            excludedDir[k] = out;
        }

        const auto dirBase = static_cast<uint32_t>(index.dirs().size());
        for (const WalkDirectory& d : walk->directories) {
            std::optional<uint32_t> parent;
            if (d.parent >= 0) parent = dirBase + static_cast<uint32_t>(d.parent);
            index.appendDir(lastComponent(d.relativePath), parent, root, d.modifiedNS, 0);
        }
        for (const WalkEntry& e : walk->entries) {
            if (e.kind != WalkEntry::Kind::file) continue;
            const std::string_view raw = walk->name(e);
            if (e.parent < 0 || static_cast<size_t>(e.parent) >= excludedDir.size()) continue;
            if (excludedDir[static_cast<size_t>(e.parent)]) continue;
            if (!probe.admits(e.size, NameKey::hashRaw(raw).hash)) continue;
            // A single file mounted over one of the backup's is on another volume, which the check
            // did not describe.
            if (e.bsdFlags & STATX_ATTR_MOUNT_ROOT) continue;
            // Last: the name test makes two strings, and a backup holds millions of names that
            // the probe has already turned away.
            if (Anatomy::isJunk(repairUtf8(raw))) continue;
            EntryFlags flags;
            if (e.isDataless()) flags.insert(EntryFlags::dataless);
            index.appendFile(raw, dirBase + static_cast<uint32_t>(e.parent), e.size, e.modifiedNS, 0, e.createdNS,
                             e.fileID, flags, ext.id(repairUtf8(raw)), e.device);
        }
        // The walk's arrays go before the next backup is listed.
    }
    index.buildMaps();
    checkCancelled();

    // --- comparison
    std::vector<size_t> inScope;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].inScope) inScope.push_back(i);
    std::vector<std::optional<FileResult>> results(items.size());
    std::vector<std::vector<Location>> locations(items.size());
    {
        CompareContext context;
        context.request = request;
        context.index = &index;
        context.destinationVolumes = destinations;
        context.sameVolume = sameVolume;
        context.insideCard = insideCard;
        context.sourceDrive = source.drive;
        context.cardMount = cardMount;
        context.extTable = &ext;
        context.cardAccessTimes = cardTouched;
        context.medium = medium;
        context.sys = sys;
        std::mutex doneMutex;
        int64_t doneCount = 0;
        const auto total = static_cast<int64_t>(inScope.size());
        parallelFor(total, width, [&](int64_t k) {
            if (isCancelled()) return;
            const size_t i = inScope[static_cast<size_t>(k)];
            auto [result, locs] = compare(static_cast<int64_t>(i), items[i], context);
            if (onFileResult) onFileResult(result);
            results[i] = std::move(result);
            locations[i] = std::move(locs);
            int64_t d;
            {
                std::lock_guard<std::mutex> guard(doneMutex);
                d = ++doneCount;
            }
            if (d % 10 == 0 || d == total) progress(VerifyProgress::Stage::comparing, items[i].name, d, total);
        });
        // Said among that backup's own problems.
        const std::vector<RootID> replaced = context.replaced->roots();
        for (auto it = replaced.rbegin(); it != replaced.rend(); ++it)
            problems.insert(problems.begin() + static_cast<std::ptrdiff_t>(backupProblemsEnd.at(it->raw)),
                            backupNoLongerConnected(request.destinations.at(it->raw)));
    }
    checkCancelled();
    for (size_t i : recheckCard(items, results))
        if (onFileResult) onFileResult(*results[i]);
    checkCancelled();
    // The last look's second half: the card listed again. Whatever entered its folders since the
    // walk (a photo taken, written or moved in while the check ran) was never compared, so such a
    // card is not safe; the new files are named as changed.
    {
        std::set<std::string> listed;
        for (const Item& it : items) listed.insert(it.rawRel);
        std::optional<WalkResult> again;
        try {
            again = walkTree(request.source, cardTouched.get());
        } catch (const VerifyError& e) {
            if (e.kind() == VerifyError::Kind::cancelled) throw;
            // Gone, or no longer readable: nothing tells what it holds now.
            problems.push_back(couldntRead(request.source, e.errorNumber()));
            unreadableEntries.push_back({"", errorText(e.errorNumber())});
        }
        if (again) {
            for (const WalkError& e : again->errors) {
                if (walkTrouble.count(e.path) || junkFolderOf(request.source, e)) continue;
                problems.push_back(couldntRead(e.path, e.errorNumber));
                unreadableEntries.push_back(unreadableEntry(request.source, e));
            }
            for (Item& it : scanItems(*again, request.scope, nullptr)) {
                if (listed.count(it.rawRel)) continue;
                const auto id = static_cast<int64_t>(items.size());
                if (it.inScope) {
                    FileResult r = startingResult(id, it, true);
                    r.status = FileStatus::changed;
                    r.detail = "Added to the card during the check.";
                    if (onFileResult) onFileResult(r);
                    results.emplace_back(std::move(r));
                } else {
                    results.emplace_back();
                }
                locations.emplace_back();
                items.push_back(std::move(it));
            }
        }
        cardUnreadable = static_cast<int64_t>(unreadableEntries.size());
    }
    checkCancelled();

    // --- files, shoots, folders, totals
    const int64_t referenceYear = currentYear();
    std::vector<FileResult> files;
    files.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        const Item& it = items[i];
        if (results[i]) {
            FileResult r = std::move(*results[i]);
            r.day = shootDay(it, referenceYear);
            files.push_back(std::move(r));
            continue;
        }
        FileResult r = startingResult(static_cast<int64_t>(i), it, false);
        r.day = shootDay(it, referenceYear);
        files.push_back(std::move(r));
    }
    if (request.destinations.empty()) {
        for (FileResult& f : files) {
            if (!f.inScope) continue;
            f.status = FileStatus::notCompared;
            f.detail.reset();
        }
    }

    VerifyReport report;
    report.groups = buildGroups(files, locations, index);
    report.folders = buildFolders(files);
    for (const FileResult& f : files)
        if (f.inScope) report.totals.add(f);
    const int64_t required = effectiveRequiredCopies(request.requiredCopies);
    for (const FileResult& f : files)
        if (f.inScope && f.safeDrives >= required) ++report.safeFiles;
    // Nothing in scope, nothing to compare against, or a card not read whole proves nothing:
    // never safe.
    report.safeToFormat = report.totals.files > 0 && !request.destinations.empty() && cardUnreadable == 0 &&
                          report.safeFiles == report.totals.files;
    report.cardUnreadable = cardUnreadable;
    report.cardUnreadableEntries = std::move(unreadableEntries);
    report.outOfScope = static_cast<int64_t>(files.size()) - report.totals.files;
    report.source = source;
    // What reading the card did to its access times, said beside the card walk's own problems.
    report.cardAccessTimes = fuseCard                      ? CardAccessTimes::fuseReadWrite
                             : cardTouched->any()          ? CardAccessTimes::otherOwner
                                                           : CardAccessTimes::kept;
    if (std::optional<std::string> note = report.accessTimesNote())
        problems.insert(problems.begin() + static_cast<std::ptrdiff_t>(std::min(cardProblems, problems.size())),
                        std::move(*note));

    progress(VerifyProgress::Stage::done, "", 1, 1);

    report.destinations = std::move(destinations);
    report.scope = request.scope;
    report.level = request.level;
    report.requiredCopies = required;
    report.cameras = std::move(cameras);
    report.problems = std::move(problems);
    report.contents = contentLines(files, junk);
    report.files = std::move(files);
    report.startedAt = startedAt;
    report.finishedAt = now();
    return report;
}

}  // namespace halvetrop

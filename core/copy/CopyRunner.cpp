#include "copy/CopyRunner.h"

#include "copy/MediumRead.h"
#include "drives/Drives.h"
#include "hash/XXH3.h"
#include "match/NameKey.h"
#include "platform/Errors.h"
#include "platform/Fd.h"
#include "platform/NoAtime.h"
#include "report/Join.h"
#include "text/Utf8.h"

#include <sys/statvfs.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <optional>
#include <system_error>
#include <memory>
#include <unordered_set>

namespace halvetrop {

namespace {

constexpr std::size_t compareChunk = 4 * 1024 * 1024;
constexpr std::size_t compareAlignment = 16384;

// A failed system call inside the same-content test; the message names the call and the file.
struct PosixFailure {
    std::string operation;
    std::string path;
    int error;
};

std::string resolvedOrSelf(const std::string& path) {
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer)) return buffer;
    return path;
}

}  // namespace

std::string formatByteCount(std::int64_t bytes) {
    if (bytes == 0) return "Zero KB";
    const bool negative = bytes < 0;
    const double magnitude = std::fabs(static_cast<double>(bytes));
    const std::string sign = negative ? "-" : "";
    if (magnitude < 1000) return sign + std::to_string(std::llabs(bytes)) + (magnitude == 1 ? " byte" : " bytes");
    static constexpr const char* units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    static constexpr int digits[] = {0, 1, 2, 2, 2, 2};
    int unit = 0;
    double value = magnitude / 1000.0;
    for (;;) {
        const double scale = std::pow(10.0, digits[unit]);
        const double rounded = std::round(value * scale) / scale;
        if (rounded < 1000.0 || unit == 5) {
            value = rounded;
            break;
        }
        value /= 1000.0;
        ++unit;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits[unit], value);
    std::string number = text;
    if (number.find('.') != std::string::npos) {
        while (number.back() == '0') number.pop_back();
        if (number.back() == '.') number.pop_back();
    }
    return sign + number + " " + units[unit];
}

CopyRunner::CopyRunner(CopyPlan plan, Sys& sys)
    : plan_(std::move(plan)), sys_(sys) {
    volumeInfo = [](const std::string& path) { return Drives::info(path); };
}

void CopyRunner::cancel() {
    std::lock_guard<std::mutex> guard(lock_);
    cancelled_ = true;
}

bool CopyRunner::isCancelled() {
    std::lock_guard<std::mutex> guard(lock_);
    return cancelled_;
}

bool CopyRunner::isBackupRoot(const struct stat& st) const {
    return rootIdentity_ && st.st_dev == rootIdentity_->first && st.st_ino == rootIdentity_->second;
}

UniqueFd CopyRunner::makeDirectories(const std::string& dir, const std::string& root, const std::string& rootReal) {
    const bool rootIsSlash = root == "/";
    if (dir != root) {
        const std::string prefix = rootIsSlash ? "/" : root + "/";
        if (dir.compare(0, prefix.size(), prefix) != 0) throw CopyError::outsideDestination(dir);
    }
    // A backup folder whose links now lead elsewhere than at the start is no longer the one chosen.
    if (resolvedOrSelf(root) != rootReal) throw CopyError::outsideDestination(root);

    const auto pieces = pathComponents(std::string_view(dir).substr(rootIsSlash ? 0 : std::min(root.size(), dir.size())));
    for (std::string_view piece : pieces)
        if (piece == "." || piece == "..") throw CopyError::outsideDestination(dir);

    UniqueFd current(sys_.openat(AT_FDCWD, root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), sys_);
    if (!current) {
        if (errno == ENOENT && rootIdentity_) throw CopyError::backupDisconnected(root);
        throw CopyError::posix("create folder " + root, currentError());
    }
    // An unmounted backup leaves its empty mount point behind, on the system's own disk: what is
    // found at the path now must be the folder the run started on.
    struct stat rootNow {};
    if (sys_.fstat(current.get(), &rootNow) != 0 || !isBackupRoot(rootNow)) throw CopyError::backupDisconnected(root);
    std::string path = rootIsSlash ? "" : root;
    std::vector<std::string> below;
    // Each level is looked at and entered relative to its parent's descriptor, never through a
    // link, so nothing can steer the walk out of the backup folder between the look and the use.
    // No folder is made in a level that is on the card, whatever mount it was reached through.
    for (std::string_view view : pieces) {
        if (cardFence_.mayHold(sys_, current.get())) throw CopyError::insideSource(dir);
        const std::string piece(view);
        path += "/" + piece;
        below.push_back(piece);
        struct stat st {};
        if (sys_.fstatat(current.get(), piece.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            const bool madeHere = sys_.mkdirat(current.get(), piece.c_str(), 0755) == 0;
            if (!madeHere) {
                if (errno != EEXIST) throw CopyError::posix("create folder " + path, currentError());
            } else if (sys_.fsync(current.get()) != 0) {
                // The new folder must be in its parent on the medium before files are named in it.
                const int error = currentError();
                sys_.unlinkat(current.get(), piece.c_str(), AT_REMOVEDIR);
                throw CopyError::posix("create folder " + path, error);
            }
            if (sys_.fstatat(current.get(), piece.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                throw CopyError::outsideDestination(path);
            if (madeHere && S_ISDIR(st.st_mode)) made_.push_back({below, st.st_dev, st.st_ino});
        }
        if (!S_ISDIR(st.st_mode)) throw CopyError::outsideDestination(path);
        UniqueFd next(sys_.openat(current.get(), piece.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC), sys_);
        if (!next) throw CopyError::outsideDestination(path);
        current = std::move(next);
    }
    if (cardFence_.mayHold(sys_, current.get())) throw CopyError::insideSource(dir);
    return current;
}

void CopyRunner::removeEmptyFolders() {
    const std::string& root = plan_.root;
    // Children were made after their parents: the last made goes first.
    for (auto folder = made_.rbegin(); folder != made_.rend(); ++folder) {
        UniqueFd parent(sys_.openat(AT_FDCWD, root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), sys_);
        struct stat st {};
        if (!parent || sys_.fstat(parent.get(), &st) != 0 || !isBackupRoot(st)) return;
        const std::string& name = folder->pieces.back();
        for (std::size_t i = 0; parent && i + 1 < folder->pieces.size(); ++i)
            parent = UniqueFd(sys_.openat(parent.get(), folder->pieces[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC), sys_);
        if (!parent || sys_.fstatat(parent.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISDIR(st.st_mode) || st.st_dev != folder->dev || st.st_ino != folder->ino) continue;
        // Only an empty folder can be removed: one that holds anything (a copy, or what someone
        // else put there meanwhile) stays.
        sys_.unlinkat(parent.get(), name.c_str(), AT_REMOVEDIR);
    }
}

CopyRunner::Sameness CopyRunner::sameContent(const std::string& source, int sourceFd, int dirFd,
                                             const std::string& existingName, const std::string& existing,
                                             std::int64_t size) {
    struct stat existingStat {};
    if (sys_.fstatat(dirFd, existingName.c_str(), &existingStat, AT_SYMLINK_NOFOLLOW) != 0) return {};
    if (!S_ISREG(existingStat.st_mode) || existingStat.st_size != size) return {};

    // The card's file: read-only, never through a link, never blocking, never touching its access
    // times; the one the copy holds open when it does, so that it is opened once.
    UniqueFd opened;
    if (sourceFd < 0) {
        const int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
        opened = UniqueFd(openLongNoAtime(sys_, source, flags, sourceTouched_), sys_);
        if (!opened) {
            if (errno == ENOENT || errno == ENOTDIR) throw CopyError::sourceGone(source);
            throw PosixFailure{"open", source, currentError()};
        }
        sourceFd = opened.get();
    }
    struct stat st {};
    if (sys_.fstat(sourceFd, &st) != 0) throw PosixFailure{"fstat", source, currentError()};
    if (!S_ISREG(st.st_mode)) throw PosixFailure{"open", source, EINVAL};
    if (st.st_dev == existingStat.st_dev && st.st_ino == existingStat.st_ino) return {};

    std::unique_ptr<unsigned char, decltype(&std::free)> buffer(
        static_cast<unsigned char*>(std::aligned_alloc(compareAlignment, compareChunk)), &std::free);
    if (!buffer) throw PosixFailure{"read", source, ENOMEM};

    // Clean pages go; what is read next comes from the drive. Read at offsets, so that a file held
    // for its copy is still read from its start by the copy.
    if (st.st_size > 0) sys_.posix_fadvise(sourceFd, 0, 0, POSIX_FADV_DONTNEED);
    XXH3Stream sourceStream;
    std::int64_t sourceCount = 0;
    for (;;) {
        // A big clip must not make Stop wait for the end of its comparison.
        if (isCancelled()) throw CopyError::cancelled();
        errno = 0;
        const ssize_t n = sys_.pread(sourceFd, buffer.get(), compareChunk, sourceCount);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw PosixFailure{"read", source, currentError()};
        }
        if (n == 0) break;
        sourceStream.update(buffer.get(), static_cast<std::size_t>(n));
        sys_.posix_fadvise(sourceFd, sourceCount, n, POSIX_FADV_DONTNEED);
        sourceCount += n;
    }
    opened.reset();

    // The file on the backup is read as a copy's read-back is: what it proves is what the drive
    // holds, not what the cache remembers.
    XXH3Stream stream;
    const MediumRead b = readFromMedium(
        sys_, dirFd, existingName, size, buffer.get(), compareChunk, [this] { return isCancelled(); },
        [&] { stream = XXH3Stream(); }, [&](const unsigned char* data, std::size_t n) { stream.update(data, n); },
        &medium_);
    switch (b.failure) {
    case MediumRead::Failure::cancelled: throw CopyError::cancelled();
    case MediumRead::Failure::open: throw PosixFailure{"open", existing, b.error};
    case MediumRead::Failure::read: throw PosixFailure{"read", existing, b.error};
    case MediumRead::Failure::none: break;
    }
    return {sourceCount == b.count && sourceStream.digest() == stream.digest(), b.fromMedium};
}

void CopyRunner::findName(NameSearch& search, const PlannedCopy& item, int sourceFd, int dirFd) {
    for (;;) {
        struct stat st {};
        if (sys_.fstatat(dirFd, search.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return;
        const Sameness same =
            sameContent(item.source, sourceFd, dirFd, search.name, join(item.destDir, search.name), item.size);
        if (same.same) {
            search.alreadyThere = true;
            search.fromMedium = same.fromMedium;
            return;
        }
        search.name = CopyPlanner::numbered(item.name, search.next++);
    }
}

CopyRunResult CopyRunner::run() {
    CopyRunResult result;
    // A file id named twice in one plan is one file: copied once, listed once.
    std::vector<PlannedCopy> items;
    {
        std::unordered_set<std::int64_t> seen;
        for (const auto& item : plan_.items)
            if (seen.insert(item.id).second) items.push_back(item);
    }
    const VolumeInfo info = volumeInfo(plan_.root);
    std::int64_t total = 0;
    for (const auto& item : items)
        if (!item.refusal) total += item.size;

    if (plan_.backupVolume) {
        if (auto refused = CopyPlanner::refusalAt(plan_.root, *plan_.backupVolume, info)) {
            const std::string message = refused->description();
            for (const auto& item : items) result.failed.push_back({item.id, message});
            return result;
        }
    }

    if (info.freeBytes > 0 && info.freeBytes < total + total / 100) {
        const std::string message = "Not enough free space on " + info.name + ": needs " + formatByteCount(total) +
                                    ", has " + formatByteCount(info.freeBytes);
        for (const auto& item : items) result.failed.push_back({item.id, message});
        return result;
    }

    const std::string rootReal = resolvedOrSelf(plan_.root);
    std::optional<std::pair<dev_t, ino_t>> card;
    if (!plan_.card.empty()) {
        struct stat st {};
        if (sys_.fstatat(AT_FDCWD, plan_.card.c_str(), &st, 0) == 0) card = std::make_pair(st.st_dev, st.st_ino);
        cardFence_ = CardFence::around(sys_, plan_.card);
    }
    // The run stays on the volume it started on: the backup folder's identity now is the one every
    // later folder walk and every copy's naming is held to.
    struct stat rootStat {};
    const bool rootKnown = sys_.fstatat(AT_FDCWD, plan_.root.c_str(), &rootStat, 0) == 0;
    if (rootKnown) rootIdentity_ = std::make_pair(rootStat.st_dev, rootStat.st_ino);

    CopyEngine engine(sys_);
    // Small pieces keep the disk busy: each written piece is handed to writeback at once, and a
    // direct read-back of this size was quicker than larger ones on the disks measured.
    engine.bufferSize = 2 * 1024 * 1024;
    engine.copyXattrs = !info.isFATFamily();
    engine.isCancelled = [this] { return isCancelled(); };
    engine.medium = &medium_;
    // The backup volume was described once; only a folder on another device (a volume mounted
    // inside the backup) needs a description of its own.
    engine.maxFileSizeOf = [&](const std::string& dir) -> std::optional<std::int64_t> {
        struct stat st {};
        if (rootKnown && sys_.fstatat(AT_FDCWD, dir.c_str(), &st, 0) == 0 && st.st_dev == rootStat.st_dev)
            return info.maxFileSize;
        return volumeInfo(dir).maxFileSize;
    };
    engine.nameLimitOf = [&](int dirFd, const std::string& dir) {
        struct stat st {};
        struct statvfs fs {};
        const unsigned long namemax = sys_.fstatvfs(dirFd, &fs) == 0 ? fs.f_namemax : 0;
        const bool onRoot = rootKnown && sys_.fstat(dirFd, &st) == 0 && st.st_dev == rootStat.st_dev;
        return NameLimit::of((onRoot ? info : volumeInfo(dir)).isFATFamily(), namemax);
    };
    // Right before a temporary file is made and right before a copy is named, on whichever thread.
    engine.vetFolder = [this](int dirFd, const std::string& dir) -> std::optional<CopyError> {
        struct stat st {};
        if (sys_.fstatat(AT_FDCWD, plan_.root.c_str(), &st, 0) != 0 || !isBackupRoot(st))
            return CopyError::backupDisconnected(plan_.root);
        if (cardFence_.mayHold(sys_, dirFd)) return CopyError::insideSource(dir);
        return std::nullopt;
    };

    // Files are written in batches whose copies share one flush of the drive, and a batch is
    // proven (flushed, read back, compared, named) on a second thread while the next one is
    // written: the card is read and the backup written while the backup is also read. At most one
    // batch is in flight. An item's outcome waits until every item before it has its own, so that
    // outcomes keep plan order.
    struct Member {
        std::size_t item = 0;
        dev_t folderDev = 0;
        ino_t folderIno = 0;
        std::string key;  // the name as a file system that folds case or composition compares it
    };
    struct Filling {
        CopyBatch copies;
        std::vector<Member> members;
    };
    struct InFlight {
        std::vector<Member> members;
        std::future<BatchResult> proof;
    };
    struct Outcome {
        enum class Kind { pending, copied, alreadyThere, failed, dropped } kind = Kind::pending;
        std::string text;  // the path, or the failure's message
        bool fromMedium = false;
        std::optional<CopyError> error;  // what a failure's text says, where the run had one
    };
    Filling filling;
    std::optional<InFlight> inFlight;
    std::string outsideCard;  // the last folder found not to lie on the card
    std::vector<Outcome> outcomes(items.size());
    std::size_t published = 0;
    std::int64_t bytesBefore = 0;  // of the items before the current one, in flight or settled
    std::int64_t bytesShown = 0;
    // A file counts once its bytes are through, with its bytes: its proof may wait for the flush it
    // shares with a hundred files after it.
    int filesDone = 0, filesProven = 0;
    const int filesTotal = static_cast<int>(items.size());
    auto report = [&](std::int64_t bytes, const std::string& current) {
        bytesShown = std::max(bytesShown, bytes);
        onProgress(CopyProgress{bytesShown, total, filesDone, filesTotal, filesProven, current});
    };
    auto record = [&](std::size_t i, const Outcome& o) {
        const PlannedCopy& item = items[i];
        switch (o.kind) {
        case Outcome::Kind::copied:
            result.copied.push_back({item.id, o.text, o.fromMedium});
            result.bytesCopied += item.size;
            break;
        case Outcome::Kind::alreadyThere: result.alreadyThere.push_back({item.id, o.text, o.fromMedium}); break;
        case Outcome::Kind::failed: result.failed.push_back({item.id, o.text, o.error}); break;
        case Outcome::Kind::pending:
        case Outcome::Kind::dropped: break;
        }
    };
    // Hands on every outcome whose items before it all have theirs.
    auto publish = [&] {
        for (; published < outcomes.size() && outcomes[published].kind != Outcome::Kind::pending; ++published) {
            const Outcome& o = outcomes[published];
            record(published, o);
            ++filesProven;
            if (o.kind != Outcome::Kind::alreadyThere) report(bytesShown, items[published].name);
        }
    };
    auto claimed = [&](const struct stat& folder, const std::string& name) {
        const std::string key = NameKey::normalized(name);
        auto takes = [&](const Member& m) { return m.folderDev == folder.st_dev && m.folderIno == folder.st_ino && m.key == key; };
        return std::any_of(filling.members.begin(), filling.members.end(), takes) ||
               (inFlight && std::any_of(inFlight->members.begin(), inFlight->members.end(), takes));
    };
    // Waits for the batch in flight and takes its outcomes; false when it was cancelled.
    auto settle = [&]() -> bool {
        if (!inFlight) return true;
        InFlight f = std::move(*inFlight);
        inFlight.reset();
        const BatchResult proven = f.proof.get();
        for (std::size_t k = 0; k < f.members.size(); ++k) {
            Outcome& o = outcomes[f.members[k].item];
            const std::optional<CopyResult>& copy = proven.copies[k];
            o.kind = Outcome::Kind::dropped;
            if (!copy) continue;
            for (const auto& outcome : copy->outcomes) {
                const bool copied = outcome.kind == TargetOutcome::Kind::copied;
                o.kind = copied ? Outcome::Kind::copied : Outcome::Kind::failed;
                o.text = copied ? outcome.path : outcome.error->description();
                o.fromMedium = outcome.readBackFromMedium;
                if (!copied) o.error = outcome.error;
            }
        }
        if (proven.cancelled) return false;
        publish();
        return true;
    };
    // Settles the batch in flight and sends the one being written after it; false when cancelled,
    // and then the batch being written is dropped (its temporary files go).
    auto ship = [&]() -> bool {
        if (!settle() || isCancelled()) {
            filling = Filling{};
            return false;
        }
        if (filling.members.empty()) return true;
        auto batch = std::make_shared<CopyBatch>(std::move(filling.copies));
        std::future<BatchResult> proof;
        try {
            proof = std::async(std::launch::async, [&engine, batch] { return engine.finish(std::move(*batch)); });
        } catch (const std::system_error&) {
            // No second thread to be had: the proof runs here, as it would without overlap.
            std::promise<BatchResult> now;
            now.set_value(engine.finish(std::move(*batch)));
            proof = now.get_future();
        }
        inFlight = InFlight{std::move(filling.members), std::move(proof)};
        filling = Filling{};
        return true;
    };

    for (std::size_t i = 0; i < items.size() && !result.cancelled; ++i) {
        const PlannedCopy& item = items[i];
        if (isCancelled()) {
            result.cancelled = true;
            break;
        }
        engine.progress = [&](std::int64_t n) { report(bytesBefore + n, item.name); };
        // A file refused while planning adds nothing to the bytes of the run.
        const std::int64_t itemBytes = item.refusal ? 0 : item.size;
        Outcome& outcome = outcomes[i];
        try {
            if (item.refusal) throw *item.refusal;
            // Asked by path once per folder in a row: what guards each file is the walk below and
            // the engine's look at its open folder, which no link or mount can lead astray.
            if (card && item.destDir != outsideCard) {
                if (CopyPlanner::isInside(item.destDir, card->first, card->second)) throw CopyError::insideSource(item.destDir);
                outsideCard = item.destDir;
            }
            // The card file is open before anything is made for it on the backup: a file gone
            // from the card leaves no folder behind.
            UniqueFd source = engine.openSource(item.source);
            const UniqueFd dir = makeDirectories(item.destDir, plan_.root, rootReal);
            struct stat folder {};
            if (sys_.fstat(dir.get(), &folder) != 0) throw CopyError::posix("create folder " + item.destDir, currentError());
            NameSearch search{item.name};
            findName(search, item, source.get(), dir.get());
            // A name that a copy still to be named will take is not on the drive yet. Where the
            // file system folds case, or that file was planned under this very name, it is taken
            // all the same: the copies before are named first, and the name looked for again.
            if (!search.alreadyThere && claimed(folder, search.name)) {
                if (!ship() || !settle()) {
                    result.cancelled = true;
                    break;
                }
                search = NameSearch{item.name};
                findName(search, item, source.get(), dir.get());
            }
            if (search.alreadyThere) {
                outcome.kind = Outcome::Kind::alreadyThere;
                outcome.text = join(item.destDir, search.name);
                outcome.fromMedium = search.fromMedium;
            } else {
                // A copy flushed on its own (a large file, or a drive that cannot be flushed whole)
                // is proven while the next is written.
                const bool shared = engine.write(filling.copies, item.source, std::move(source),
                                                 {CopyTarget{item.destDir, search.name, dir.get()}}, item.size < sharedFlushBelow);
                filling.members.push_back({i, folder.st_dev, folder.st_ino, NameKey::normalized(search.name)});
                if ((!shared || filling.copies.size() >= filesPerBatch || filling.copies.bytes() >= bytesPerBatch) && !ship()) {
                    result.cancelled = true;
                    break;
                }
            }
        } catch (const CopyError& error) {
            if (error.kind() == CopyError::Kind::cancelled) {
                result.cancelled = true;
                break;
            }
            outcome.kind = Outcome::Kind::failed;
            outcome.text = error.description();
            outcome.error = error;
        } catch (const PosixFailure& failure) {
            outcome.kind = Outcome::Kind::failed;
            outcome.text = systemCallMessage(failure.operation, repairUtf8(failure.path), failure.error);
        }
        bytesBefore += itemBytes;
        ++filesDone;
        // One found already there adds its bytes with the next file's first report.
        if (outcome.kind != Outcome::Kind::alreadyThere && !isCancelled()) report(bytesBefore, item.name);
        publish();
    }
    if (!result.cancelled && (!ship() || !settle())) result.cancelled = true;
    if (result.cancelled) {
        // What was proven before the cancellation is named and listed; no progress follows Stop.
        filling = Filling{};
        settle();
        for (; published < outcomes.size(); ++published) record(published, outcomes[published]);
    }
    removeEmptyFolders();
    result.sourceAccessTimesTouched = engine.sourceAccessTimes.count() + sourceTouched_.count();
    return result;
}

}  // namespace halvetrop

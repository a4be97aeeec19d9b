#include "copy/CopyEngine.h"

#include "copy/CopyLayout.h"
#include "copy/MediumRead.h"

#include "drives/Drives.h"
#include "hash/XXHash64.h"
#include "platform/Errors.h"
#include "platform/Fd.h"
#include "platform/NoAtime.h"
#include "platform/VolumeFlush.h"
#include "report/Join.h"
#include "text/Utf8.h"

#include <sys/random.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <random>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace halvetrop {

namespace {

constexpr std::size_t bufferAlignment = 16384;
// Direct reads larger than this came out slower on the disks measured: the read-back reads in
// pieces of at most this size whatever the copy's buffer is.
constexpr std::size_t readBackChunkLimit = 4 * 1024 * 1024;
// A user.* attribute list or value larger than this is no attribute worth copying (the kernel's
// own limit is 64 KiB for both).
constexpr std::size_t xattrLimit = 65536;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using AlignedBuffer = std::unique_ptr<unsigned char, FreeDeleter>;

AlignedBuffer allocateAligned(std::size_t size) {
    return AlignedBuffer(static_cast<unsigned char*>(std::aligned_alloc(bufferAlignment, size)));
}

std::string randomToken() {
    static constexpr char digits[] = "0123456789ABCDEF";
    // A std::random_device asks the processor what it offers each time it is made, which a
    // virtual machine answers slowly; one system call is cheaper, for every file of a copy.
    std::uint32_t value = 0;
    if (::getrandom(&value, sizeof value, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof value)) value = std::random_device()();
    std::string token(8, '0');
    for (int i = 7; i >= 0; --i) {
        token[static_cast<std::size_t>(i)] = digits[value & 0xF];
        value >>= 4;
    }
    return token;
}

// Writes all of [data, data+length): short writes continue, EINTR retries, and a write that makes
// no progress is an I/O error rather than a loop. Returns 0 or an error number.
int writeAll(Sys& sys, int fd, const unsigned char* data, std::size_t length) {
    while (length > 0) {
        errno = 0;
        const ssize_t n = sys.write(fd, data, length);
        if (n < 0) {
            if (errno == EINTR) continue;
            return currentError();
        }
        if (n == 0) return EIO;
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return 0;
}

// Copies the user.* attributes (the only namespace an unprivileged copy should carry); the target
// file system may refuse them, which costs nothing but the attributes.
void copyUserXattrs(Sys& sys, int from, int to) {
    std::string list(xattrLimit, '\0');
    const ssize_t listSize = sys.flistxattr(from, list.data(), list.size());
    if (listSize <= 0) return;
    list.resize(static_cast<std::size_t>(listSize));
    std::string value(xattrLimit, '\0');
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find('\0', start);
        if (end == std::string::npos) end = list.size();
        const std::string name = list.substr(start, end - start);
        start = end + 1;
        if (name.rfind("user.", 0) != 0) continue;
        const ssize_t size = sys.fgetxattr(from, name.c_str(), value.data(), value.size());
        if (size < 0) continue;
        sys.fsetxattr(to, name.c_str(), value.data(), static_cast<std::size_t>(size), 0);
    }
}

struct Pending {
    UniqueFd dir;           // the target's folder; every target-side call is relative to it
    int fd = -1;            // the temporary file while it is being written
    std::string tmpName;
    std::string tmp;        // join(dir, tmpName), for messages
    std::string finalName;
    std::string final;
    std::string dirPath;
    std::optional<CopyError> error;
    bool fromMedium = false;
    bool settled = false;     // named, or its naming failed and the temporary file went
    bool flushLater = false;  // written into a batch whose one flush of the drive covers it
    dev_t dev = 0;            // of its folder, for that flush
};

}  // namespace

struct WrittenCopy::State {
    explicit State(Sys& s) : sys(s) {}
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    // A copy given up before its proof leaves no temporary file behind.
    ~State() {
        for (auto& p : records) {
            if (p->error || p->settled) continue;
            if (p->fd >= 0) sys.close(std::exchange(p->fd, -1));
            sys.unlinkat(p->dir.get(), p->tmpName.c_str(), 0);
        }
    }

    Sys& sys;
    CopyResult result;
    std::vector<std::unique_ptr<Pending>> records;
    std::int64_t size = 0;
    std::size_t chunk = 0;
    AlignedBuffer buffer;
};

WrittenCopy::WrittenCopy() = default;
WrittenCopy::WrittenCopy(WrittenCopy&&) noexcept = default;
WrittenCopy& WrittenCopy::operator=(WrittenCopy&&) noexcept = default;
WrittenCopy::~WrittenCopy() = default;

struct CopyBatch::State {
    // The drive's descriptor, opened before the first byte of the batch was written to it: its
    // syncfs reports every page of that file system that failed to be written since. Invalid for
    // a drive that cannot be flushed whole.
    struct Drive {
        dev_t dev = 0;
        UniqueFd fd;
    };

    // Opens the drive of the folder open as dirFd, once per file system; whether its copies can
    // leave their flush to the batch.
    bool shareFlush(Sys& sys, dev_t dev, int dirFd) {
        for (const Drive& d : drives)
            if (d.dev == dev) return d.fd.valid();
        UniqueFd fd;
        if (VolumeFlush::coversWrites(sys, dirFd)) fd = UniqueFd(sys.openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), sys);
        drives.push_back({dev, std::move(fd)});
        return drives.back().fd.valid();
    }

    // Written copies, in order; declared after the drives, so that they are dropped before them.
    std::vector<Drive> drives;
    std::vector<WrittenCopy> copies;
    std::int64_t bytes = 0;
    std::size_t chunk = 0;
    AlignedBuffer buffer;  // one for the whole batch: its writes, then its read-backs
};

CopyBatch::CopyBatch() : state_(std::make_unique<State>()) {}
CopyBatch::CopyBatch(CopyBatch&&) noexcept = default;
CopyBatch& CopyBatch::operator=(CopyBatch&&) noexcept = default;
CopyBatch::~CopyBatch() = default;
std::size_t CopyBatch::size() const { return state_ ? state_->copies.size() : 0; }
std::int64_t CopyBatch::bytes() const { return state_ ? state_->bytes : 0; }

std::string CopyTarget::path() const { return join(dir, name); }

TargetOutcome TargetOutcome::copied(std::string path, bool fromMedium) {
    TargetOutcome o;
    o.kind = Kind::copied;
    o.path = std::move(path);
    o.readBackFromMedium = fromMedium;
    return o;
}

TargetOutcome TargetOutcome::failed(std::string path, CopyError error) {
    TargetOutcome o;
    o.kind = Kind::failed;
    o.path = std::move(path);
    o.error = std::move(error);
    return o;
}

std::string temporaryName(std::string_view name, std::string_view token, std::size_t maxBytes) {
    const std::string_view prefix = ".";
    const std::string suffix = ".halvetrop-" + std::string(token) + ".partial";
    // A limit too small for the suffix itself still gets a name of its own, from the suffix.
    name = utf8Prefix(name, maxBytes > prefix.size() + suffix.size() ? maxBytes - prefix.size() - suffix.size() : 0);
    std::string out;
    out.reserve(prefix.size() + name.size() + suffix.size());
    out.append(prefix);
    out.append(name);
    out.append(suffix);
    return out;
}

namespace {

std::optional<CopyError> nameRefusal(const std::string& name, const std::string& final, int error) {
    // A drive that stores names as text says so with these when the name, not the folder, is at
    // fault (exFAT through FUSE answers ENOENT, the kernel's drivers EINVAL or EILSEQ).
    if (error != ENOENT && error != EINVAL && error != EILSEQ) return std::nullopt;
    std::string refused;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        const bool never = byte < 0x20 || byte == 0x7F || std::string_view("\"*:<>?\\|").find(c) != std::string_view::npos;
        if (never && refused.find(c) == std::string::npos) refused.push_back(c);
    }
    if (!refused.empty() || (error != ENOENT && !isValidUtf8(name))) return CopyError::nameRefused(final, refused);
    return std::nullopt;
}

}  // namespace

void moveIntoPlaceNoClobber(Sys& sys, int dirFd, const std::string& tmpName, const std::string& finalName,
                            const std::string& finalPath) {
    if (sys.renameat2(dirFd, tmpName.c_str(), dirFd, finalName.c_str(), RENAME_NOREPLACE) == 0) return;
    const int error = currentError();
    if (error == EEXIST) throw CopyError::destinationExists(finalPath);
    if (error != EINVAL && error != ENOTSUP && error != ENOSYS) throw CopyError::posix("rename " + finalPath, error);

    // The file system cannot rename exclusively. A hard link fails on an existing name, so it is
    // the next best way to claim the name atomically.
    if (sys.linkat(dirFd, tmpName.c_str(), dirFd, finalName.c_str(), 0) == 0) {
        sys.unlinkat(dirFd, tmpName.c_str(), 0);
        return;
    }
    if (currentError() == EEXIST) throw CopyError::destinationExists(finalPath);
    // No links either (FAT family). Only a look right before a plain rename is left; the window
    // between the two is the one this volume cannot close.
    struct stat st {};
    if (sys.fstatat(dirFd, finalName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        throw CopyError::destinationExists(finalPath);
    if (sys.renameat(dirFd, tmpName.c_str(), dirFd, finalName.c_str()) == 0) return;
    throw CopyError::posix("rename " + finalPath, currentError());
}

CopyEngine::CopyEngine(Sys& sys) : sys_(sys) {
    maxFileSizeOf = [](const std::string& dir) { return Drives::info(dir).maxFileSize; };
    nameLimitOf = [&sys](int dirFd, const std::string& dir) {
        struct statvfs fs {};
        const unsigned long namemax = sys.fstatvfs(dirFd, &fs) == 0 ? fs.f_namemax : 0;
        return NameLimit::of(Drives::info(dir).isFATFamily(), namemax);
    };
}

CopyResult CopyEngine::copy(const std::string& source, const std::vector<CopyTarget>& targets) {
    return finish(write(source, targets));
}

UniqueFd CopyEngine::openSource(const std::string& source) {
    // Card files can nest deeper than one path may name.
    const int fd = openLongNoAtime(sys_, source, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, sourceAccessTimes);
    if (fd < 0) {
        const int error = currentError();
        if (error == ENOENT || error == ENOTDIR) throw CopyError::sourceGone(source);
        throw CopyError::posix("open " + source, error);
    }
    UniqueFd src(fd, sys_);
    struct stat st {};
    if (sys_.fstat(src.get(), &st) != 0) throw CopyError::posix("fstat " + source, currentError());
    if (!S_ISREG(st.st_mode)) throw CopyError::posix("open " + source, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    return src;
}

namespace {

void discard(Sys& sys, Pending& p, CopyError error) {
    if (p.fd >= 0) sys.close(std::exchange(p.fd, -1));
    if (!p.error) {
        sys.unlinkat(p.dir.get(), p.tmpName.c_str(), 0);
        p.error = std::move(error);
    }
}

std::vector<Pending*> liveRecords(const std::vector<std::unique_ptr<Pending>>& records) {
    std::vector<Pending*> out;
    for (auto& p : records)
        if (!p->error) out.push_back(p.get());
    return out;
}

CopyError abortRecords(Sys& sys, const std::vector<std::unique_ptr<Pending>>& records, const CopyError& error) {
    for (auto& p : records) discard(sys, *p, error);
    return error;
}

}  // namespace

WrittenCopy CopyEngine::write(const std::string& source, const std::vector<CopyTarget>& targets) {
    return write(source, openSource(source), targets);
}

WrittenCopy CopyEngine::write(const std::string& source, UniqueFd src, const std::vector<CopyTarget>& targets) {
    return writeCopy(source, std::move(src), targets, nullptr, false);
}

bool CopyEngine::write(CopyBatch& batch, const std::string& source, UniqueFd opened,
                       const std::vector<CopyTarget>& targets, bool shareFlush) {
    if (!batch.state_) batch.state_ = std::make_unique<CopyBatch::State>();
    WrittenCopy written = writeCopy(source, std::move(opened), targets, batch.state_.get(), shareFlush);
    const auto& records = written.state_->records;
    const bool shared = std::any_of(records.begin(), records.end(), [](const auto& p) { return !p->error && p->flushLater; });
    batch.state_->bytes += written.state_->size;
    batch.state_->copies.push_back(std::move(written));
    return shared;
}

WrittenCopy CopyEngine::writeCopy(const std::string& source, UniqueFd src, const std::vector<CopyTarget>& targets,
                                  CopyBatch::State* batch, bool shareFlush) {
    struct stat before {};
    if (sys_.fstat(src.get(), &before) != 0) throw CopyError::posix("fstat " + source, currentError());
    if (!S_ISREG(before.st_mode)) throw CopyError::posix("open " + source, S_ISDIR(before.st_mode) ? EISDIR : EINVAL);
    sys_.posix_fadvise(src.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    const std::int64_t size = before.st_size;

    WrittenCopy written;
    written.state_ = std::make_unique<WrittenCopy::State>(sys_);
    WrittenCopy::State& state = *written.state_;
    state.size = size;
    CopyResult& result = state.result;
    result.bytes = size;
    std::vector<std::unique_ptr<Pending>>& records = state.records;
    std::map<dev_t, std::optional<std::int64_t>> limits;
    std::map<dev_t, NameLimit> nameLimits;

    // Setting up the targets.
    for (const CopyTarget& target : targets) {
        const std::string final = target.path();
        if (target.name.empty() || target.name == "." || target.name == ".." ||
            target.name.find('/') != std::string::npos) {
            // Not a name in that folder: it would land somewhere else, or on the folder itself.
            result.outcomes.push_back(TargetOutcome::failed(final, CopyError::outsideDestination(final)));
            continue;
        }
        auto p = std::make_unique<Pending>();
        p->dirPath = target.dir;
        p->finalName = target.name;
        p->final = final;
        const std::string dirToOpen = target.dir.empty() ? "/" : target.dir;
        p->dir = UniqueFd(target.dirFd >= 0 ? sys_.fcntl(target.dirFd, F_DUPFD_CLOEXEC, 0)
                                            : sys_.openat(AT_FDCWD, dirToOpen.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC),
                          sys_);
        if (!p->dir) {
            result.outcomes.push_back(TargetOutcome::failed(final, CopyError::posix("create " + final, currentError())));
            continue;
        }

        NameLimit nameLimit;
        struct stat dirStat {};
        const bool dirKnown = sys_.fstat(p->dir.get(), &dirStat) == 0;
        if (dirKnown) {
            auto found = limits.find(dirStat.st_dev);
            if (found == limits.end())
                found = limits.emplace(dirStat.st_dev, maxFileSizeOf ? maxFileSizeOf(target.dir) : std::nullopt).first;
            if (found->second && *found->second < size) {
                result.outcomes.push_back(TargetOutcome::failed(final, CopyError::tooLargeForVolume(final)));
                continue;
            }
            auto names = nameLimits.find(dirStat.st_dev);
            if (names == nameLimits.end())
                names = nameLimits.emplace(dirStat.st_dev, nameLimitOf ? nameLimitOf(p->dir.get(), target.dir) : NameLimit{}).first;
            nameLimit = names->second;
        }
        // A name the drive cannot hold is refused before a byte of it is written, rather than
        // written whole under a shorter temporary name that can never be given it.
        if (!nameLimit.fits(target.name)) {
            result.outcomes.push_back(TargetOutcome::failed(final, CopyError::nameTooLong(final, nameLimit)));
            continue;
        }
        p->tmpName = temporaryName(target.name, randomToken(), nameLimit.byteBudget());
        p->tmp = join(target.dir, p->tmpName);

        struct stat existing {};
        if (sys_.fstatat(p->dir.get(), p->finalName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
            result.outcomes.push_back(TargetOutcome::failed(final, CopyError::destinationExists(final)));
            continue;
        }

        if (vetFolder) {
            if (std::optional<CopyError> refusal = vetFolder(p->dir.get(), target.dir)) {
                result.outcomes.push_back(TargetOutcome::failed(final, std::move(*refusal)));
                continue;
            }
        }
        // The drive's descriptor is opened before anything is written to it (see CopyBatch::State).
        p->dev = dirStat.st_dev;
        p->flushLater = batch && shareFlush && dirKnown && batch->shareFlush(sys_, dirStat.st_dev, p->dir.get());
        p->fd = sys_.openat(p->dir.get(), p->tmpName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (p->fd < 0) {
            // The temporary name is the file's own with a hidden prefix and a suffix: what the
            // drive refused is the file's name, and the user is told of that one.
            const int error = currentError();
            std::optional<CopyError> refusal = nameRefusal(target.name, final, error);
            result.outcomes.push_back(
                TargetOutcome::failed(final, refusal ? std::move(*refusal) : CopyError::posix("create " + final, error)));
            continue;
        }
        // Reserving the whole size up front keeps the file in few extents and finds a full disk
        // early where the file system can tell; where it cannot, the writes will.
        if (size > 0) sys_.fallocate(p->fd, FALLOC_FL_KEEP_SIZE, 0, size);
        records.push_back(std::move(p));
    }

    auto discard = [&](Pending& p, CopyError error) { halvetrop::discard(sys_, p, std::move(error)); };
    auto live = [&] { return liveRecords(records); };
    auto abortAll = [&](const CopyError& error) { return abortRecords(sys_, records, error); };

    if (live().empty()) return written;

    // Streaming the source.
    std::size_t chunk = static_cast<std::size_t>(std::max<std::int64_t>(bufferSize, 1));
    chunk = (chunk + bufferAlignment - 1) / bufferAlignment * bufferAlignment;
    if (batch && (!batch->buffer || batch->chunk != chunk)) {
        batch->buffer = allocateAligned(chunk);
        batch->chunk = batch->buffer ? chunk : 0;
    } else if (!batch) {
        state.buffer = allocateAligned(chunk);
        state.chunk = chunk;
    }
    AlignedBuffer& buffer = batch ? batch->buffer : state.buffer;
    if (!buffer) throw abortAll(CopyError::posix("read " + source, ENOMEM));
    XXHash64 hash(0);
    std::int64_t done = 0;
    for (;;) {
        if (isCancelled()) throw abortAll(CopyError::cancelled());
        errno = 0;
        const ssize_t n = sys_.read(src.get(), buffer.get(), chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw abortAll(CopyError::posix("read " + source, currentError()));
        }
        if (n == 0) break;
        hash.update(buffer.get(), static_cast<std::size_t>(n));
        for (Pending* p : live()) {
            if (int error = writeAll(sys_, p->fd, buffer.get(), static_cast<std::size_t>(n))) {
                discard(*p, CopyError::posix("write " + p->final, error));
                continue;
            }
            // Writeback starts now rather than at the flush, so the disk works while the card is
            // read. Only a hint: what it fails to write, the one fsync below finds and reports.
            // A batch's copies are written back by its flush, on the thread that proves them.
            if (!p->flushLater) sys_.sync_file_range(p->fd, done, n, SYNC_FILE_RANGE_WRITE);
        }
        // What was read once is not needed again; keep the card's pages out of the cache.
        sys_.posix_fadvise(src.get(), done, n, POSIX_FADV_DONTNEED);
        done += n;
        progress(done);
        // A file still growing past its first size would otherwise be read without end.
        if (done > size) throw abortAll(CopyError::sourceChanged(source));
        if (live().empty()) break;
    }

    // A changed source is caught by its size and times, and by the path still naming this file.
    struct stat after {};
    struct stat byPath {};
    const bool atPath = statLongPath(sys_, source, &byPath, AT_SYMLINK_NOFOLLOW) == 0;
    const int pathError = atPath ? 0 : currentError();
    const bool changed =
        sys_.fstat(src.get(), &after) != 0 || (done != size && !live().empty()) || after.st_size != size ||
        after.st_mtim.tv_sec != before.st_mtim.tv_sec || after.st_mtim.tv_nsec != before.st_mtim.tv_nsec ||
        after.st_ctim.tv_sec != before.st_ctim.tv_sec || after.st_ctim.tv_nsec != before.st_ctim.tv_nsec ||
        !atPath || byPath.st_dev != before.st_dev || byPath.st_ino != before.st_ino;
    if (changed)
        throw abortAll(pathError == ENOENT || pathError == ENOTDIR ? CopyError::sourceGone(source)
                                                                   : CopyError::sourceChanged(source));
    result.sourceHash = hash.finalize();

    // Flushing each copy.
    for (Pending* p : live()) {
        if (copyXattrs) copyUserXattrs(sys_, src.get(), p->fd);
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        if (sys_.futimens(p->fd, times) != 0) {
            discard(*p, CopyError::posix("set times on " + p->final, currentError()));
            continue;
        }
        // Its descriptor stays open until the batch's flush, which drops its pages then.
        if (p->flushLater) continue;
        // One flush. A failed fsync may already have dropped the dirty pages it could not write,
        // so a second one that succeeds proves nothing: never retried.
        if (sys_.fsync(p->fd) != 0) {
            discard(*p, CopyError::posix("flush " + p->final, currentError()));
            continue;
        }
        // Its pages are clean now; a copy must not push the user's working set out of the cache.
        sys_.posix_fadvise(p->fd, 0, 0, POSIX_FADV_DONTNEED);
        if (sys_.close(std::exchange(p->fd, -1)) != 0) {
            discard(*p, CopyError::posix("close " + p->final, currentError()));
            continue;
        }
    }
    if (isCancelled()) throw abortAll(CopyError::cancelled());
    return written;
}

bool CopyEngine::prove(WrittenCopy::State& copy, unsigned char* buffer, std::size_t chunk) {
    const std::int64_t size = copy.size;
    // A direct read past the end of a file fills the rest of what it asked for with zeros: a small
    // file is read back in pieces just longer than itself, which still shows a file grown longer.
    const auto fits = (static_cast<std::size_t>(size) / bufferAlignment + 1) * bufferAlignment;
    chunk = std::min(chunk, fits);
    const std::uint64_t sourceHash = copy.result.sourceHash;
    for (Pending* p : liveRecords(copy.records)) {
        if (isCancelled()) {
            abortRecords(sys_, copy.records, CopyError::cancelled());
            return false;
        }
        XXHash64 check(0);
        const MediumRead back = readFromMedium(
            sys_, p->dir.get(), p->tmpName, size, buffer, chunk, isCancelled, [&] { check = XXHash64(0); },
            [&](const unsigned char* data, std::size_t n) { check.update(data, n); }, medium);
        std::optional<CopyError> failure;
        switch (back.failure) {
        case MediumRead::Failure::cancelled: abortRecords(sys_, copy.records, CopyError::cancelled()); return false;
        case MediumRead::Failure::open: failure = CopyError::posix("reopen " + p->tmp, back.error); break;
        case MediumRead::Failure::read: failure = CopyError::posix("verify read " + p->tmp, back.error); break;
        case MediumRead::Failure::none:
            if (back.count != size || check.finalize() != sourceHash) failure = CopyError::verifyMismatch(p->final);
            break;
        }
        if (failure) {
            discard(sys_, *p, *failure);
            continue;
        }
        p->fromMedium = back.fromMedium;
    }
    return true;
}

std::size_t CopyEngine::proveAndName(const std::vector<WrittenCopy::State*>& copies, unsigned char* buffer,
                                     std::size_t chunk, std::vector<CopyResult>& results) {
    const std::size_t backChunk = std::min(chunk, readBackChunkLimit);
    std::size_t proven = 0;
    while (proven < copies.size() && prove(*copies[proven], buffer, backChunk)) ++proven;
    for (std::size_t k = proven; k < copies.size(); ++k) abortRecords(sys_, copies[k]->records, CopyError::cancelled());

    // Naming the copies.
    std::vector<Pending*> named;
    for (std::size_t k = 0; k < proven; ++k) {
        for (auto& p : copies[k]->records) {
            if (p->error) continue;
            if (vetFolder) {
                if (std::optional<CopyError> refusal = vetFolder(p->dir.get(), p->dirPath)) {
                    discard(sys_, *p, std::move(*refusal));
                    continue;
                }
            }
            p->settled = true;
            try {
                moveIntoPlaceNoClobber(sys_, p->dir.get(), p->tmpName, p->finalName, p->final);
            } catch (const CopyError& error) {
                sys_.unlinkat(p->dir.get(), p->tmpName.c_str(), 0);
                p->error = error;
                continue;
            }
            named.push_back(p.get());
        }
    }

    // The new names must survive a power loss too, not only the bytes behind them: each folder
    // that got names is flushed once, and a failure of that flush fails every name it covered.
    struct Folder {
        dev_t dev;
        ino_t ino;
        int error;
    };
    std::vector<Folder> folders;
    for (Pending* p : named) {
        struct stat st {};
        const bool known = sys_.fstat(p->dir.get(), &st) == 0;
        const auto folder = std::find_if(folders.begin(), folders.end(),
                                         [&](const Folder& f) { return known && f.dev == st.st_dev && f.ino == st.st_ino; });
        int error = 0;
        if (folder != folders.end()) {
            error = folder->error;
        } else {
            error = sys_.fsync(p->dir.get()) == 0 ? 0 : currentError();
            if (known) folders.push_back({st.st_dev, st.st_ino, error});
        }
        if (error) p->error = CopyError::posix("flush " + (p->dirPath.empty() ? "/" : p->dirPath), error);
    }

    for (std::size_t k = 0; k < proven; ++k) {
        CopyResult& result = copies[k]->result;
        for (auto& p : copies[k]->records)
            result.outcomes.push_back(p->error ? TargetOutcome::failed(p->final, *p->error)
                                               : TargetOutcome::copied(p->final, p->fromMedium));
        results.push_back(std::move(result));
    }
    return proven;
}

CopyResult CopyEngine::finish(WrittenCopy written) {
    if (!written.state_) return {};
    WrittenCopy::State& state = *written.state_;
    std::vector<CopyResult> results;
    if (proveAndName({&state}, state.buffer.get(), state.chunk, results) == 0) throw CopyError::cancelled();
    return std::move(results.front());
}

BatchResult CopyEngine::finish(CopyBatch batch) {
    BatchResult out;
    if (!batch.state_) return out;
    CopyBatch::State& b = *batch.state_;
    std::vector<WrittenCopy::State*> copies;
    for (WrittenCopy& w : b.copies) copies.push_back(w.state_.get());
    out.copies.resize(copies.size());

    // Flushing each drive once for the copies that left their flush to the batch. Nothing has been
    // read back yet: a cancellation now drops every copy.
    if (isCancelled()) {
        for (WrittenCopy::State* c : copies) abortRecords(sys_, c->records, CopyError::cancelled());
        out.cancelled = true;
        return out;
    }
    for (const CopyBatch::State::Drive& drive : b.drives) {
        if (!drive.fd) continue;
        std::vector<Pending*> covered;
        for (WrittenCopy::State* c : copies)
            for (Pending* p : liveRecords(c->records))
                if (p->flushLater && p->dev == drive.dev) covered.push_back(p);
        if (covered.empty()) continue;
        // Never retried: a failed flush may already have dropped the pages it could not write.
        if (sys_.syncfs(drive.fd.get()) != 0) {
            const int error = currentError();
            for (Pending* p : covered) discard(sys_, *p, CopyError::posix("flush " + p->final, error));
            continue;
        }
        for (Pending* p : covered) {
            // Its pages are clean now; a copy must not push the user's working set out of the cache.
            sys_.posix_fadvise(p->fd, 0, 0, POSIX_FADV_DONTNEED);
            if (sys_.close(std::exchange(p->fd, -1)) != 0) discard(sys_, *p, CopyError::posix("close " + p->final, currentError()));
        }
    }

    std::vector<CopyResult> results;
    const std::size_t proven = proveAndName(copies, b.buffer.get(), b.chunk, results);
    for (std::size_t k = 0; k < proven; ++k) out.copies[k] = std::move(results[k]);
    out.cancelled = proven < copies.size();
    return out;
}

}  // namespace halvetrop

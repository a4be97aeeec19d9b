#include "walk/BulkWalker.h"

#include "platform/Errors.h"
#include "platform/NoAtime.h"
#include "text/Utf8.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include <sys/sysmacros.h>

namespace halvetrop {

namespace {

constexpr unsigned kStatxMask = STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_BLOCKS | STATX_MTIME | STATX_CTIME | STATX_BTIME;
// Automount points are reported, never triggered: walking a card must not mount anything.
constexpr int kStatxFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
constexpr std::int64_t kMaxWorkers = 256;
constexpr std::int64_t kMaxBuffer = 64 << 20;
constexpr int kDirOpenFlags = O_RDONLY | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC;

// The fixed head of a linux_dirent64 record: d_ino, d_off, d_reclen, d_type, then the name.
constexpr std::size_t kDirentHead = 8 + 8 + 2 + 1;

std::int64_t nanos(const struct statx_timestamp& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

std::uint64_t deviceOf(const struct statx& st) {
    return static_cast<std::uint64_t>(makedev(st.stx_dev_major, st.stx_dev_minor));
}

int statxRetrying(Sys& sys, int dirfd, const char* path, struct statx* out) {
    for (;;) {
        int rc = sys.statx(dirfd, path, kStatxFlags, kStatxMask, out);
        if (rc == 0 || errno != EINTR) return rc;
    }
}

bool isMountRoot(const struct statx& st, std::uint64_t parentDevice) {
    if (st.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) return (st.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    // Kernels before 5.8 do not report mount roots; a change of device is the next best sign.
    return deviceOf(st) != parentDevice;
}

std::string joinRelative(std::string_view parent, std::string_view name) {
    std::string out;
    out.reserve(parent.size() + 1 + name.size());
    out.append(parent);
    if (!parent.empty()) out.push_back('/');
    out.append(name);
    return out;
}

// Calls f with every name of one getdents64 batch but "." and "..". A malformed record ends the
// batch; a name without its terminator inside its record is not trusted.
template <typename F>
void forEachName(const char* buf, std::size_t end, F&& f) {
    std::size_t pos = 0;
    while (pos + kDirentHead < end) {
        std::uint16_t reclen;
        std::memcpy(&reclen, buf + pos + 16, sizeof reclen);
        if (reclen <= kDirentHead || reclen > end - pos) break;
        const char* namePtr = buf + pos + kDirentHead;
        const std::size_t nameLen = ::strnlen(namePtr, reclen - kDirentHead);
        pos += reclen;
        if (nameLen == 0 || nameLen == reclen - kDirentHead) continue;
        const std::string_view name(namePtr, nameLen);
        if (name == "." || name == "..") continue;
        f(name);
    }
}

}  // namespace

bool walkEntryKindFromRaw(std::uint8_t raw, WalkEntry::Kind* out) {
    if (raw > 3) return false;
    if (out) *out = static_cast<WalkEntry::Kind>(raw);
    return true;
}

std::string WalkResult::displayName(const WalkEntry& e) const { return repairUtf8(name(e)); }

std::string WalkResult::relativePath(const WalkEntry& e) const {
    return joinRelative(directories.at(static_cast<std::size_t>(e.parent)).relativePath, name(e));
}

std::string WalkResult::displayRelativePath(const WalkEntry& e) const { return repairUtf8(relativePath(e)); }

std::string WalkResult::displayRelativePath(const WalkDirectory& d) const { return repairUtf8(d.relativePath); }

std::string WalkResult::fullPath(const WalkEntry& e) const {
    std::string rel = relativePath(e);
    std::string out = resolvedRoot;
    if (out.empty() || out.back() != '/') out.push_back('/');
    return out + rel;
}

std::size_t WalkResult::memoryBytes() const {
    std::size_t total = sizeof(WalkResult) + entries.capacity() * sizeof(WalkEntry) + names.capacity() +
                        directories.capacity() * sizeof(WalkDirectory) + errors.capacity() * sizeof(WalkError);
    for (const WalkDirectory& d : directories) {
        if (d.relativePath.capacity() > 15) total += d.relativePath.capacity() + 1;
    }
    for (const WalkError& e : errors) {
        if (e.path.capacity() > 15) total += e.path.capacity() + 1;
    }
    return total;
}

const char* BulkWalkerError::what() const noexcept {
    return kind_ == Kind::cancelled ? "walk cancelled" : "cannot open the walk's root";
}

std::set<std::string> defaultWalkSkipNames() {
    return {".fseventsd", ".Spotlight-V100", ".Trashes", ".TemporaryItems", ".DocumentRevisions-V100",
            "System Volume Information", "$RECYCLE.BIN"};
}

struct BulkWalker::Worker {
    std::unique_ptr<char[]> buffer;
    std::size_t bufferSize = 0;
    std::vector<WalkEntry> entries;
    std::string names;
    std::vector<std::pair<Pending, WalkDirectory>> found;  // reused per directory
};

BulkWalker::BulkWalker(Options options, Sys& sys)
    : options_(std::move(options)), sys_(sys), touched_(options_.touched) {
    skip_.insert(options_.skipNames.begin(), options_.skipNames.end());
}

void BulkWalker::cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelledFlag_ = true;
    cancelRequested_.store(true, std::memory_order_relaxed);
    cond_.notify_all();
}

void BulkWalker::addError(std::string path, int error, bool folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    errors_.push_back(WalkError{std::move(path), error, folder});
}

std::string BulkWalker::fullPathOf(std::string_view relative) const {
    if (relative.empty()) return root_;
    std::string out = root_;
    out.push_back('/');
    out.append(relative);
    return out;
}

WalkResult BulkWalker::walk(const std::string& root) {
    root_ = root;
    // A root reached through a symbolic link (a backup folder that is a link to a mounted drive)
    // is walked as its target, not listed as one link and nothing else.
    char* real = ::realpath(root.c_str(), nullptr);
    if (!real) throw BulkWalkerError::cannotOpenRoot(currentError());
    std::string resolved(real);
    std::free(real);

    struct statx st {};
    if (statxRetrying(sys_, AT_FDCWD, resolved.c_str(), &st) != 0) throw BulkWalkerError::cannotOpenRoot(currentError());

    {
        std::lock_guard<std::mutex> lock(mutex_);
        directories_.clear();
        directories_.push_back(WalkDirectory{-1, "", nanos(st.stx_mtime), false, deviceOf(st), st.stx_ino});
        pending_.clear();
        active_ = 0;
    }

    int fd = openNoAtime(sys_, resolved.c_str(), kDirOpenFlags, touched_);
    rootMount_ = {};
    if (fd < 0) {
        addError(root_, currentError(), true);
    } else {
        rootFd_ = fd;
        if (const std::optional<HeldObject> held = heldObject(sys_, fd)) rootMount_ = held->mount;
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.push_back(Pending{"", 0, deviceOf(st)});
    }

    // Past a few dozen threads a walk only waits on the one lock; an absurd count must not
    // exhaust the process.
    const std::int64_t width = std::clamp<std::int64_t>(options_.maxConcurrency, 1, kMaxWorkers);
    std::vector<Worker> workers(static_cast<std::size_t>(width));
    {
        std::vector<std::thread> threads;
        threads.reserve(workers.size() - 1);
        for (std::size_t i = 1; i < workers.size(); ++i) {
            // Fewer threads than asked still finish the same walk: a worker only waits while
            // another is listing.
            try {
                threads.emplace_back([this, &workers, i] { workerLoop(workers[i]); });
            } catch (const std::system_error&) {
                break;
            }
        }
        workerLoop(workers[0]);
        for (std::thread& t : threads) t.join();
    }
    if (rootFd_ >= 0) {
        sys_.close(rootFd_);
        rootFd_ = -1;
    }

    WalkResult result;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cancelledFlag_) throw BulkWalkerError::cancelled();
        result.directories = std::move(directories_);
        result.errors = std::move(errors_);
        directories_.clear();
        errors_.clear();
    }
    std::size_t entryCount = 0, nameBytes = 0;
    for (const Worker& w : workers) {
        entryCount += w.entries.size();
        nameBytes += w.names.size();
    }
    result.entries.reserve(entryCount);
    result.names.reserve(nameBytes);
    for (Worker& w : workers) {
        const std::uint64_t base = result.names.size();
        result.names.append(w.names);
        for (WalkEntry e : w.entries) {
            e.nameOffset += base;
            result.entries.push_back(e);
        }
        // Give each worker's arrays back as soon as they are copied, to keep the peak low.
        std::vector<WalkEntry>().swap(w.entries);
        std::string().swap(w.names);
    }
    result.root = root;
    result.resolvedRoot = std::move(resolved);
    result.rootMount = rootMount_;
    result.accessTimesTouched = touched_.count();
    return result;
}

void BulkWalker::workerLoop(Worker& w) {
    // Below one page the kernel cannot return even a long name; far above it nothing is gained.
    const std::size_t size = static_cast<std::size_t>(std::clamp<std::int64_t>(options_.bufferSize, 4096, kMaxBuffer));
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        while (pending_.empty()) {
            if (active_ == 0 || cancelledFlag_) {
                cond_.notify_all();
                return;
            }
            cond_.wait(lock);
        }
        if (cancelledFlag_) {
            cond_.notify_all();
            return;
        }
        Pending dir = std::move(pending_.back());
        pending_.pop_back();
        ++active_;
        lock.unlock();

        if (!w.buffer) {
            w.buffer = std::make_unique<char[]>(size);
            w.bufferSize = size;
        }
        w.found.clear();
        listOne(w, dir);

        lock.lock();
        for (auto& [child, record] : w.found) {
            if (directories_.size() >= static_cast<std::size_t>(INT32_MAX)) {
                errors_.push_back(WalkError{fullPathOf(child.relativePath), EOVERFLOW, true});
                continue;
            }
            child.index = static_cast<std::int32_t>(directories_.size());
            directories_.push_back(std::move(record));
            pending_.push_back(std::move(child));
        }
        --active_;
        cond_.notify_all();
    }
}

int BulkWalker::openDirectory(const std::string& relative) {
    // A listing through a descriptor opened without O_NOATIME stamps the folder's access time.
    int fd = openatNoAtime(sys_, rootFd_, relative.empty() ? "." : relative.c_str(), kDirOpenFlags, touched_);
    if (fd >= 0 || errno != ENAMETOOLONG) return fd;
    // Deeper than PATH_MAX below the root: go down one component at a time.
    int at = rootFd_;
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t slash = relative.find('/', start);
        if (slash == std::string::npos) slash = relative.size();
        const std::string part = relative.substr(start, slash - start);
        int next = openatNoAtime(sys_, at, part.c_str(), kDirOpenFlags, touched_);
        const int err = errno;
        if (at != rootFd_) sys_.close(at);
        if (next < 0) {
            errno = err;
            return -1;
        }
        at = next;
        start = slash + 1;
    }
    return at;
}

void BulkWalker::listOne(Worker& w, const Pending& dir) {
    int fd = openDirectory(dir.relativePath);
    if (fd < 0) {
        addError(fullPathOf(dir.relativePath), currentError(), true);
        return;
    }
    std::vector<std::string> vanished;
    auto take = [&](std::string_view name) {
        if (skip_.find(name) != skip_.end()) return;
        // The name is followed by its terminator in the buffer.
        const char* namePtr = name.data();
        struct statx st {};
        if (statxRetrying(sys_, fd, namePtr, &st) != 0) {
            const int error = currentError();
            // Gone between the listing and its status call (a camera or another program removing
            // it): asked again below, after the listing.
            if (error == ENOENT) {
                vanished.emplace_back(name);
                return;
            }
            addError(fullPathOf(joinRelative(dir.relativePath, name)), error);
            return;
        }
        const mode_t type = st.stx_mode & S_IFMT;
        if (type == S_IFREG || type == S_IFLNK) {
            WalkEntry e;
            e.parent = dir.index;
            e.kind = type == S_IFREG ? WalkEntry::Kind::file : WalkEntry::Kind::symlink;
            e.nameOffset = w.names.size();
            e.nameLength = static_cast<std::uint16_t>(name.size() > UINT16_MAX ? UINT16_MAX : name.size());
            w.names.append(name.substr(0, e.nameLength));
            e.bsdFlags = static_cast<std::uint32_t>(st.stx_attributes);
            e.modifiedNS = nanos(st.stx_mtime);
            e.createdNS = (st.stx_mask & STATX_BTIME) ? nanos(st.stx_btime) : 0;
            e.changedNS = nanos(st.stx_ctime);
            e.fileID = st.stx_ino;
            e.device = deviceOf(st);
            if (type == S_IFREG) {
                e.size = static_cast<std::int64_t>(st.stx_size);
                e.allocatedSize = (st.stx_mask & STATX_BLOCKS) ? static_cast<std::int64_t>(st.stx_blocks) * 512 : 0;
            }
            w.entries.push_back(e);
        } else if (type == S_IFDIR) {
            if (!options_.crossMountPoints && isMountRoot(st, dir.device)) return;
            std::string rel = joinRelative(dir.relativePath, name);
            WalkDirectory d{dir.index, rel, nanos(st.stx_mtime), name.find('.') != std::string_view::npos,
                            deviceOf(st), st.stx_ino};
            w.found.emplace_back(Pending{std::move(rel), -1, deviceOf(st)}, std::move(d));
        }
        // Devices, sockets and pipes are not files a camera writes: not listed.
    };
    char* buf = w.buffer.get();
    for (;;) {
        if (cancelRequested_.load(std::memory_order_relaxed)) break;  // the result is thrown away anyway
        ssize_t n = sys_.getdents64(fd, buf, w.bufferSize);
        if (n < 0) {
            if (errno == EINTR) continue;
            addError(fullPathOf(dir.relativePath), currentError(), true);
            break;
        }
        if (n == 0) break;
        forEachName(buf, std::min(static_cast<std::size_t>(n), w.bufferSize), take);
    }
    sys_.close(fd);
    // A name that a second listing no longer shows really went away; one still listed is an entry
    // whose status cannot be read, and a walk that skipped it would call a partial tree whole.
    if (!vanished.empty() && !cancelRequested_.load(std::memory_order_relaxed)) {
        for (const std::string& name : stillListed(dir.relativePath, vanished, w))
            addError(fullPathOf(joinRelative(dir.relativePath, name)), ENOENT);
    }
}

std::vector<std::string> BulkWalker::stillListed(const std::string& relative, const std::vector<std::string>& names,
                                                 Worker& w) {
    std::set<std::string, std::less<>> left(names.begin(), names.end());
    int fd = openDirectory(relative);
    if (fd < 0) return names;  // the folder cannot say they are gone
    bool complete = false;
    std::vector<std::string> seen;
    for (;;) {
        const ssize_t n = sys_.getdents64(fd, w.buffer.get(), w.bufferSize);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            complete = n == 0;
            break;
        }
        forEachName(w.buffer.get(), std::min(static_cast<std::size_t>(n), w.bufferSize), [&](std::string_view name) {
            auto it = left.find(name);
            if (it != left.end()) {
                seen.push_back(*it);
                left.erase(it);
            }
        });
    }
    sys_.close(fd);
    return complete ? seen : names;
}

}  // namespace halvetrop

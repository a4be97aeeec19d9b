#pragma once
// A Sys that knows which path every descriptor stands for, records the calls made, and fails (or
// tampers with) the call a test chooses. Paths of descriptors opened relative to a folder
// descriptor are the folder's path + "/" + name, so a rule can name "the temporary file in folder
// B" without knowing its random part.
#include "platform/Sys.h"

#include <sys/statfs.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace halvetrop::test {

class FaultSys : public Sys {
public:
    enum class Op { open, openat, close, read, write, fsync, fstat, fstatat, statx, mkdirat, renameat2, renameat, linkat, unlinkat, futimens, fallocate, syncFileRange, syncfs };

    struct Call {
        Op op;
        std::string path;  // of the descriptor, or the path argument
        int flags = 0;
        int result = 0;
    };

    // Return an error number to fail the call with it (nothing happens), or 0 to let it through.
    std::function<int(Op op, const std::string& path, int flags)> fault = [](Op, const std::string&, int) { return 0; };
    // May change the bytes about to be written.
    std::function<void(const std::string& path, unsigned char* data, size_t count)> tamper;
    // Called before every read with the descriptor's path.
    std::function<void(const std::string& path)> beforeRead;
    // A page cache that will not let go (1: mincore shows a page resident; -1: mincore fails), and
    // file-system types of our choosing (0: the real type).
    int resident = 0;
    long fsType = 0;
    // What fstatvfs says of every mount's flags (none: the real ones).
    std::optional<unsigned long> mountFlags;
    int mincoreCalls = 0;  // how often the page cache was asked

    std::vector<Call> calls() const {
        std::lock_guard<std::mutex> g(m_);
        return calls_;
    }
    std::string pathOf(int fd) const {
        std::lock_guard<std::mutex> g(m_);
        auto it = paths_.find(fd);
        return it == paths_.end() ? std::string() : it->second;
    }
    int count(Op op, const std::string& containing = "") const {
        int n = 0;
        for (const auto& c : calls())
            if (c.op == op && c.path.find(containing) != std::string::npos) ++n;
        return n;
    }

    int open(const char* path, int flags, mode_t mode) override {
        if (int e = check(Op::open, path, flags)) return fail(e);
        int fd = Sys::open(path, flags, mode);
        remember(Op::open, fd, path, flags);
        return fd;
    }
    int openat(int dirfd, const char* path, int flags, mode_t mode) override {
        const std::string full = relative(dirfd, path);
        if (int e = check(Op::openat, full, flags)) return fail(e);
        int fd = Sys::openat(dirfd, path, flags, mode);
        remember(Op::openat, fd, full, flags);
        return fd;
    }
    int close(int fd) override {
        const std::string p = pathOf(fd);
        int e = check(Op::close, p, 0);
        int rc = Sys::close(fd);  // a failed close still releases the descriptor on Linux
        {
            std::lock_guard<std::mutex> g(m_);
            paths_.erase(fd);
            calls_.push_back({Op::close, p, 0, rc});
        }
        if (e) return fail(e);
        return rc;
    }
    ssize_t read(int fd, void* buf, size_t count) override {
        const std::string p = pathOf(fd);
        if (beforeRead) beforeRead(p);
        if (int e = check(Op::read, p, 0)) return fail(e);
        ssize_t n = Sys::read(fd, buf, count);
        log(Op::read, p, 0, static_cast<int>(n));
        return n;
    }
    // A read at an offset is a read to the rules above.
    ssize_t pread(int fd, void* buf, size_t count, off_t offset) override {
        const std::string p = pathOf(fd);
        if (beforeRead) beforeRead(p);
        if (int e = check(Op::read, p, 0)) return fail(e);
        ssize_t n = Sys::pread(fd, buf, count, offset);
        log(Op::read, p, 0, static_cast<int>(n));
        return n;
    }
    ssize_t write(int fd, const void* buf, size_t count) override {
        const std::string p = pathOf(fd);
        if (int e = check(Op::write, p, 0)) return e == -1 ? 0 : fail(e);
        log(Op::write, p, 0, static_cast<int>(count));
        if (tamper) {
            std::vector<unsigned char> copy(static_cast<const unsigned char*>(buf), static_cast<const unsigned char*>(buf) + count);
            tamper(p, copy.data(), count);
            return Sys::write(fd, copy.data(), count);
        }
        return Sys::write(fd, buf, count);
    }
    int fsync(int fd) override {
        const std::string p = pathOf(fd);
        if (int e = check(Op::fsync, p, 0)) return fail(e);
        log(Op::fsync, p, 0, 0);
        return Sys::fsync(fd);
    }
    int syncfs(int fd) override {
        const std::string p = pathOf(fd);
        if (int e = check(Op::syncfs, p, 0)) return fail(e);
        log(Op::syncfs, p, 0, 0);
        return Sys::syncfs(fd);
    }
    int sync_file_range(int fd, off_t offset, off_t nbytes, unsigned int flags) override {
        const std::string p = pathOf(fd);
        if (int e = check(Op::syncFileRange, p, static_cast<int>(flags))) return fail(e);
        log(Op::syncFileRange, p, static_cast<int>(flags), 0);
        return Sys::sync_file_range(fd, offset, nbytes, flags);
    }
    int fstat(int fd, struct stat* st) override {
        const std::string p = pathOf(fd);
        if (int e = check(Op::fstat, p, 0)) return fail(e);
        return Sys::fstat(fd, st);
    }
    int fstatat(int dirfd, const char* path, struct stat* st, int flags) override {
        const std::string full = relative(dirfd, path);
        if (int e = check(Op::fstatat, full, flags)) return fail(e);
        log(Op::fstatat, full, flags, 0);
        return Sys::fstatat(dirfd, path, st, flags);
    }
    int statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* out) override {
        const std::string full = path && *path ? relative(dirfd, path) : pathOf(dirfd);
        if (int e = check(Op::statx, full, flags)) return fail(e);
        return Sys::statx(dirfd, path, flags, mask, out);
    }
    int mkdirat(int dirfd, const char* path, mode_t mode) override {
        const std::string full = relative(dirfd, path);
        if (int e = check(Op::mkdirat, full, 0)) return fail(e);
        int rc = Sys::mkdirat(dirfd, path, mode);
        log(Op::mkdirat, full, 0, rc);
        return rc;
    }
    int renameat2(int od, const char* op, int nd, const char* np, unsigned flags) override {
        const std::string full = relative(nd, np);
        if (int e = check(Op::renameat2, full, static_cast<int>(flags))) return fail(e);
        int rc = Sys::renameat2(od, op, nd, np, flags);
        log(Op::renameat2, full, static_cast<int>(flags), rc == 0 ? 0 : errno);
        return rc;
    }
    int renameat(int od, const char* op, int nd, const char* np) override {
        const std::string full = relative(nd, np);
        if (int e = check(Op::renameat, full, 0)) return fail(e);
        int rc = Sys::renameat(od, op, nd, np);
        log(Op::renameat, full, 0, rc == 0 ? 0 : errno);
        return rc;
    }
    int linkat(int od, const char* op, int nd, const char* np, int flags) override {
        const std::string full = relative(nd, np);
        if (int e = check(Op::linkat, full, flags)) return fail(e);
        int rc = Sys::linkat(od, op, nd, np, flags);
        log(Op::linkat, full, flags, rc == 0 ? 0 : errno);
        return rc;
    }
    int unlinkat(int dirfd, const char* path, int flags) override {
        const std::string full = relative(dirfd, path);
        if (int e = check(Op::unlinkat, full, flags)) return fail(e);
        log(Op::unlinkat, full, flags, 0);
        return Sys::unlinkat(dirfd, path, flags);
    }
    int futimens(int fd, const struct timespec times[2]) override {
        const std::string p = pathOf(fd);
        if (int e = check(Op::futimens, p, 0)) return fail(e);
        return Sys::futimens(fd, times);
    }
    // A duplicated descriptor stands for the same path.
    int fcntl(int fd, int cmd, int arg) override {
        const int rc = Sys::fcntl(fd, cmd, arg);
        if (rc >= 0 && (cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC)) remember(Op::openat, rc, pathOf(fd), 0);
        return rc;
    }
    int mincore(void* addr, size_t length, unsigned char* vec) override {
        {
            std::lock_guard<std::mutex> g(m_);
            ++mincoreCalls;
        }
        if (resident < 0) return fail(ENOMEM);
        const int rc = Sys::mincore(addr, length, vec);
        if (rc == 0 && resident > 0 && length > 0) vec[0] |= 1;
        return rc;
    }
    int fstatfs(int fd, struct statfs* out) override {
        const int rc = Sys::fstatfs(fd, out);
        if (rc == 0 && fsType) out->f_type = fsType;
        return rc;
    }
    int fstatvfs(int fd, struct statvfs* out) override {
        const int rc = Sys::fstatvfs(fd, out);
        if (rc == 0 && mountFlags) out->f_flag = *mountFlags;
        return rc;
    }
    int fallocate(int fd, int mode, off_t offset, off_t len) override {
        const std::string p = pathOf(fd);
        if (int e = check(Op::fallocate, p, mode)) return fail(e);
        return Sys::fallocate(fd, mode, offset, len);
    }

private:
    int check(Op op, const std::string& path, int flags) { return fault(op, path, flags); }
    int fail(int e) {
        errno = e;
        return -1;
    }
    void log(Op op, const std::string& path, int flags, int result) {
        std::lock_guard<std::mutex> g(m_);
        calls_.push_back({op, path, flags, result});
    }
    void remember(Op op, int fd, const std::string& path, int flags) {
        std::lock_guard<std::mutex> g(m_);
        if (fd >= 0) paths_[fd] = path;
        calls_.push_back({op, path, flags, fd});
    }
    std::string relative(int dirfd, const char* path) {
        if (dirfd == AT_FDCWD || (path && path[0] == '/')) return path ? path : "";
        return pathOf(dirfd) + "/" + path;
    }

    mutable std::mutex m_;
    std::map<int, std::string> paths_;
    std::vector<Call> calls_;
};

// Every path below dir (relative, with the size of each file), sorted: what a test compares to
// show that nothing was added to a card.
inline std::vector<std::string> treeOf(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
        std::string line = std::filesystem::relative(e.path(), dir).string();
        if (e.is_regular_file()) line += " " + std::to_string(e.file_size());
        out.push_back(line);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Reproducible file content for the copy tests.
inline std::string bytesOf(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string out(size, '\0');
    for (auto& c : out) c = static_cast<char>(rng());
    return out;
}

}  // namespace halvetrop::test

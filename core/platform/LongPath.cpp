#include "platform/LongPath.h"

#include "platform/Fd.h"

#include <cerrno>
#include <climits>

namespace halvetrop {
namespace {

// Closing the folder reached so far must not hide why the open failed.
int failKeepingErrno(UniqueFd& folder) {
    const int error = errno;
    folder.reset();
    errno = error;
    return -1;
}

// Runs `at(folder, name)` on the last component of `path`, relative to the folder that holds it
// when the whole path is too long for one call; retries EINTR.
template <typename At>
int atLongPath(Sys& sys, const std::string& path, At at) {
    int rc;
    if (path.size() < PATH_MAX) {
        do rc = at(AT_FDCWD, path.c_str());
        while (rc != 0 && errno == EINTR);
        return rc;
    }
    const std::size_t cut = path.rfind('/');
    if (cut == std::string::npos) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const std::string folderPath = cut == 0 ? "/" : path.substr(0, cut);
    // A trailing slash names the folder itself.
    const std::string name = cut + 1 < path.size() ? path.substr(cut + 1) : ".";
    int fd;
    do fd = openLongPath(sys, folderPath, O_PATH | O_DIRECTORY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    UniqueFd folder(fd, sys);
    do rc = at(folder.get(), name.c_str());
    while (rc != 0 && errno == EINTR);
    return rc != 0 ? failKeepingErrno(folder) : 0;
}

}  // namespace

int statLongPath(Sys& sys, const std::string& path, struct stat* st, int flags) {
    return atLongPath(sys, path, [&](int dirfd, const char* name) { return sys.fstatat(dirfd, name, st, flags); });
}

int statxLongPath(Sys& sys, const std::string& path, int flags, unsigned mask, struct statx* out) {
    return atLongPath(sys, path, [&](int dirfd, const char* name) { return sys.statx(dirfd, name, flags, mask, out); });
}

int openLongPath(Sys& sys, const std::string& path, int flags, mode_t mode) {
    constexpr std::size_t limit = PATH_MAX;  // bytes of a path including its NUL
    if (path.size() < limit) return sys.open(path.c_str(), flags, mode);
    UniqueFd folder;
    std::size_t pos = 0;
    while (path.size() - pos >= limit) {
        const std::size_t cut = path.rfind('/', pos + limit - 2);
        if (cut == std::string::npos || cut < pos) {
            errno = ENAMETOOLONG;
            return -1;
        }
        // The root of an absolute path, or an empty piece between two slashes.
        const std::string piece = cut == pos ? (pos == 0 ? "/" : "") : path.substr(pos, cut - pos);
        pos = cut + 1;
        if (piece.empty()) continue;
        int fd;
        do fd = sys.openat(folder ? folder.get() : AT_FDCWD, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        while (fd < 0 && errno == EINTR);
        if (fd < 0) return failKeepingErrno(folder);
        folder = UniqueFd(fd, sys);
    }
    // A trailing slash names the folder reached.
    const char* rest = pos < path.size() ? path.c_str() + pos : ".";
    const int fd = sys.openat(folder ? folder.get() : AT_FDCWD, rest, flags, mode);
    if (fd < 0) return failKeepingErrno(folder);
    return fd;
}

}  // namespace halvetrop

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

}  // namespace

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

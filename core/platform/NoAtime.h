#pragma once
// Opening without touching the access time: a check must leave the card exactly as it found it,
// and on a file system mounted with strictatime even a listing or a header read is a write.
#include "platform/LongPath.h"
#include "platform/Sys.h"

#include <cerrno>
#include <fcntl.h>

namespace halvetrop {

namespace detail {
// The kernel grants O_NOATIME only to the owner of the file (or a holder of CAP_FOWNER), so on
// EPERM the open is made again without it. EINTR is retried.
template <typename Open>
int openWithoutAtime(int flags, Open open) {
    int wanted = flags | O_NOATIME;
    for (;;) {
        const int fd = open(wanted);
        if (fd >= 0) return fd;
        if (errno == EINTR) continue;
        if (errno == EPERM && (wanted & O_NOATIME) && !(flags & O_NOATIME)) {
            wanted &= ~O_NOATIME;
            continue;
        }
        return -1;
    }
}
}  // namespace detail

inline int openNoAtime(Sys& sys, const char* path, int flags) {
    return detail::openWithoutAtime(flags, [&](int f) { return sys.open(path, f); });
}

// The same for a path of any length (see openLongPath).
inline int openLongNoAtime(Sys& sys, const std::string& path, int flags) {
    return detail::openWithoutAtime(flags, [&](int f) { return openLongPath(sys, path, f); });
}

inline int openatNoAtime(Sys& sys, int dirfd, const char* path, int flags) {
    return detail::openWithoutAtime(flags, [&](int f) { return sys.openat(dirfd, path, f); });
}

}  // namespace halvetrop

#pragma once
// Opening without touching the access time: a check must leave the card exactly as it found it,
// and on a file system mounted with strictatime even a listing or a header read is a write.
//
// The kernel grants O_NOATIME only to the owner of the file (or a holder of CAP_FOWNER): a card
// whose files belong to another user (an ext4 card made elsewhere, another account's folder)
// answers EPERM. Such a card is still read, so that it can be checked at all, but never silently:
// every open made without O_NOATIME where the mount records access times is noted in the caller's
// AccessTimesTouched, which every open here requires, so that the result can say so.
#include "platform/LongPath.h"
#include "platform/Sys.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <functional>

namespace halvetrop {

// The files and folders of one run (a walk, a check, a copy, a preview) that were opened without
// O_NOATIME on a mount that records access times: each one's access time the reads that followed
// may have changed. One per run and per kind of place (card or backup), shared by its threads.
//
// What is noted is told as it happens, so that the window says so from the first open on rather than
// with the result: every note is also made in `also` (a walk's record inside its check's), and the
// first note of all calls `onFirst`, on the thread that made it.
class AccessTimesTouched {
public:
    AccessTimesTouched() = default;
    explicit AccessTimesTouched(AccessTimesTouched* also) : also_(also) {}
    AccessTimesTouched(const AccessTimesTouched&) = delete;
    AccessTimesTouched& operator=(const AccessTimesTouched&) = delete;

    // Set before the first note; it must not throw.
    void onFirst(std::function<void()> first) { onFirst_ = std::move(first); }
    void note(std::int64_t n = 1) noexcept {
        if (n <= 0) return;
        if (count_.fetch_add(n, std::memory_order_relaxed) == 0 && onFirst_) onFirst_();
        if (also_) also_->note(n);
    }
    std::int64_t count() const noexcept { return count_.load(std::memory_order_relaxed); }
    bool any() const noexcept { return count() > 0; }

private:
    std::atomic<std::int64_t> count_{0};
    AccessTimesTouched* const also_ = nullptr;
    std::function<void()> onFirst_;
};

// Whether reading what `fd` is open on can change its access time: not on a read-only mount, not
// under noatime, and not for a folder under nodiratime. relatime and lazytime record (relatime on
// the first read of a day), and so does a mount that cannot be asked.
bool recordsAccessTimes(Sys& sys, int fd);

namespace detail {
// O_NOATIME first; on EPERM the same open without it, noted when the mount records access times.
// EINTR is retried.
template <typename Open>
int openWithoutAtime(Sys& sys, int flags, AccessTimesTouched& touched, Open open) {
    int wanted = flags | O_NOATIME;
    for (;;) {
        const int fd = open(wanted);
        if (fd >= 0) {
            if (!(wanted & O_NOATIME) && recordsAccessTimes(sys, fd)) touched.note();
            return fd;
        }
        if (errno == EINTR) continue;
        if (errno == EPERM && (wanted & O_NOATIME)) {
            wanted &= ~O_NOATIME;
            continue;
        }
        return -1;
    }
}
}  // namespace detail

inline int openNoAtime(Sys& sys, const char* path, int flags, AccessTimesTouched& touched) {
    return detail::openWithoutAtime(sys, flags, touched, [&](int f) { return sys.open(path, f); });
}

// The same for a path of any length (see openLongPath).
inline int openLongNoAtime(Sys& sys, const std::string& path, int flags, AccessTimesTouched& touched) {
    return detail::openWithoutAtime(sys, flags, touched, [&](int f) { return openLongPath(sys, path, f); });
}

inline int openatNoAtime(Sys& sys, int dirfd, const char* path, int flags, AccessTimesTouched& touched) {
    return detail::openWithoutAtime(sys, flags, touched, [&](int f) { return sys.openat(dirfd, path, f); });
}

}  // namespace halvetrop

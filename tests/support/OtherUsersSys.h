#pragma once
// Files of another user: the kernel refuses O_NOATIME on them, and the mount says what the given
// flags say, so a test reaches what a card of another owner does without one.
#include "platform/Sys.h"

#include <sys/statvfs.h>

#include <cerrno>
#include <fcntl.h>

namespace halvetrop {

class OtherUsersSys : public Sys {
public:
    explicit OtherUsersSys(unsigned long mountFlags) : mountFlags_(mountFlags) {}
    int open(const char* path, int flags, mode_t mode) override {
        if (flags & O_NOATIME) return errno = EPERM, -1;
        return Sys::open(path, flags, mode);
    }
    int openat(int dirfd, const char* path, int flags, mode_t mode) override {
        if (flags & O_NOATIME) return errno = EPERM, -1;
        return Sys::openat(dirfd, path, flags, mode);
    }
    int fstatvfs(int fd, struct statvfs* out) override {
        const int rc = Sys::fstatvfs(fd, out);
        if (rc == 0) out->f_flag = mountFlags_;
        return rc;
    }

private:
    unsigned long mountFlags_;
};

}  // namespace halvetrop

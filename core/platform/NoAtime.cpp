#include "platform/NoAtime.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace halvetrop {

bool recordsAccessTimes(Sys& sys, int fd) {
    struct statvfs vfs {};
    if (sys.fstatvfs(fd, &vfs) != 0) return true;
    if (vfs.f_flag & (ST_RDONLY | ST_NOATIME)) return false;
    if (!(vfs.f_flag & ST_NODIRATIME)) return true;
    struct stat st {};
    return sys.fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode);
}

}  // namespace halvetrop

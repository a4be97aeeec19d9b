#include "platform/HeldObject.h"

#include "platform/MountInfo.h"

#include <sys/sysmacros.h>

namespace halvetrop {

namespace {

// Kernels from 6.8 give it; older headers may not name it. An older kernel ignores the bit and
// answers with the reusable id (STATX_MNT_ID) instead.
#ifndef STATX_MNT_ID_UNIQUE
constexpr unsigned kMountIDUnique = 0x00004000U;
#else
constexpr unsigned kMountIDUnique = STATX_MNT_ID_UNIQUE;
#endif

}  // namespace

std::optional<HeldObject> heldObject(Sys& sys, int fd) {
    struct statx st {};
    if (sys.statx(fd, "", AT_EMPTY_PATH, STATX_INO | STATX_MNT_ID | kMountIDUnique, &st) != 0) return std::nullopt;
    HeldObject held;
    held.device = static_cast<std::uint64_t>(::makedev(st.stx_dev_major, st.stx_dev_minor));
    held.inode = st.stx_ino;
    if (st.stx_mask & kMountIDUnique) {
        held.mount = {st.stx_mnt_id, true};
    } else if (st.stx_mask & STATX_MNT_ID) {
        held.mount = {st.stx_mnt_id, false};
    } else {
        held.mount = {fdInfoMountID("/proc", fd), false};
    }
    return held;
}

}  // namespace halvetrop

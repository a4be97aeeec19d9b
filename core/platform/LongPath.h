#pragma once
// Opening files whose full path is longer than the kernel takes in one call (PATH_MAX). A card or
// backup tree can nest that deep; the walk reaches such files relative to a folder descriptor, and
// every later open of the same path must reach them too.
#include "platform/Sys.h"

#include <string>

namespace halvetrop {

// open(2) of `path` with `flags` and `mode`, for a path of any length: a path shorter than PATH_MAX
// is one open; a longer one is walked piece by piece with openat, each piece below PATH_MAX and cut
// at a "/", so that symbolic links on the way are followed exactly as one open would follow them,
// and `flags` (O_NOFOLLOW among them) apply to the last component alone. Returns the descriptor, or
// -1 with errno set (ENAMETOOLONG for a single component longer than any piece may be).
int openLongPath(Sys& sys, const std::string& path, int flags, mode_t mode = 0);

// fstatat(2) and statx(2) of `path` (`flags` as for them, AT_SYMLINK_NOFOLLOW applying to the last
// component alone), for a path of any length: a long one is looked up relative to its folder,
// reached as openLongPath reaches it. EINTR is retried. Return 0, or -1 with errno set.
int statLongPath(Sys& sys, const std::string& path, struct stat* st, int flags = 0);
int statxLongPath(Sys& sys, const std::string& path, int flags, unsigned mask, struct statx* out);

}  // namespace halvetrop

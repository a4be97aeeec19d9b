#pragma once
// Reading a file on a backup from its medium rather than from the page cache, as a proof of what
// the drive holds must: straight from the device (O_DIRECT) where the file system allows it, else
// through the cache with each chunk's pages dropped right before it is read. A read counts as one
// from the medium only when the volume's medium lies past the cache at all, the file's data is not
// kept in the file system's metadata, and, read through the cache (or from extents the file system
// serves that way even under O_DIRECT), none of the file's pages was left there before its read.
#include "platform/PageCache.h"
#include "platform/Sys.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace halvetrop {

struct MediumRead {
    enum class Failure { none, open, read, cancelled };
    Failure failure = Failure::none;
    int error = 0;  // the error number of a failed open or read
    std::int64_t count = 0;
    bool fromMedium = false;
};

// Reads `name` in the folder open as dirFd, never through a link, to its end or until more than
// `expected` bytes came (it cannot match then), handing every piece to `consume`. `restart` is
// called before each attempt: a file system may refuse O_DIRECT only at the first read, and the
// read then starts over through the cache. `buffer` is aligned for direct reads and `chunk` bytes
// long. A file that is not a regular file fails to open with EINVAL. Whether the volume reads from
// its medium is asked through `answers` when given (see PageCache::MediumAnswers).
MediumRead readFromMedium(Sys& sys, int dirFd, const std::string& name, std::int64_t expected, unsigned char* buffer,
                          std::size_t chunk, const std::function<bool()>& isCancelled, const std::function<void()>& restart,
                          const std::function<void(const unsigned char*, std::size_t)>& consume,
                          PageCache::MediumAnswers* answers = nullptr);

}  // namespace halvetrop

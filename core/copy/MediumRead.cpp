#include "copy/MediumRead.h"

#include "platform/Errors.h"
#include "platform/Fd.h"
#include "platform/PageCache.h"

#include <cerrno>

namespace halvetrop {

MediumRead readFromMedium(Sys& sys, int dirFd, const std::string& name, std::int64_t expected, unsigned char* buffer,
                          std::size_t chunk, const std::function<bool()>& isCancelled, const std::function<void()>& restart,
                          const std::function<void(const unsigned char*, std::size_t)>& consume,
                          PageCache::MediumAnswers* answers) {
    const PageCache::VolumeReads reads = PageCache::volumeReads(sys, dirFd, answers);
    const bool pastCache = !reads.doubt;
    MediumRead out;
    for (bool direct : {true, false}) {
        out = MediumRead{};
        const int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (direct ? O_DIRECT : 0);
        UniqueFd file(sys.openat(dirFd, name.c_str(), flags), sys);
        if (!file) {
            if (direct && errno == EINVAL) continue;
            return {MediumRead::Failure::open, currentError(), 0, false};
        }
        struct stat st {};
        if (sys.fstat(file.get(), &st) != 0) return {MediumRead::Failure::open, currentError(), 0, false};
        if (!S_ISREG(st.st_mode)) return {MediumRead::Failure::open, EINVAL, 0, false};
        // A file system may serve even a direct read from memory (compressed or inline extents):
        // such a read is proven as a buffered one is, and an inline file is never from the medium.
        const PageCache::Layout layout =
            pastCache ? PageCache::layoutOf(sys, file.get(), 0, st.st_size, reads.direct) : PageCache::Layout::blocks;
        const bool prove = !direct || layout == PageCache::Layout::confirmFirst;
        // Read-ahead would bring the next chunk in before it is checked: without it each read
        // brings in only what it asks for.
        if (prove) sys.posix_fadvise(file.get(), 0, 0, POSIX_FADV_RANDOM);
        restart();
        bool evicted = true;
        bool retryBuffered = false;
        for (;;) {
            if (isCancelled()) return {MediumRead::Failure::cancelled, 0, out.count, false};
            if (prove && evicted && out.count < expected)
                evicted = PageCache::dropAndConfirm(sys, file.get(), out.count, static_cast<std::int64_t>(chunk));
            errno = 0;
            const ssize_t n = sys.read(file.get(), buffer, chunk);
            if (n < 0) {
                if (errno == EINTR) continue;
                // Some file systems accept O_DIRECT at open and refuse it at the first read.
                if (direct && errno == EINVAL) {
                    retryBuffered = true;
                    break;
                }
                return {MediumRead::Failure::read, currentError(), out.count, false};
            }
            if (n == 0) break;
            // The file leaves none of its pages in the cache, and the next proof proves afresh.
            if (prove) PageCache::drop(sys, file.get(), out.count, n);
            consume(buffer, static_cast<std::size_t>(n));
            out.count += n;
            if (out.count > expected) break;
        }
        if (retryBuffered) continue;
        out.fromMedium = pastCache && evicted && layout != PageCache::Layout::inMetadata;
        return out;
    }
    return out;
}

}  // namespace halvetrop

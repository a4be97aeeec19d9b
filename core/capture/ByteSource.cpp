#include "capture/ByteSource.h"

#include "platform/NoAtime.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace halvetrop::capture {
bool ByteSource::read(int64_t offset, int64_t count, std::string& out) {
    out.clear();
    if (!contains(offset, count) || count > kReadBudget - used_) return false;
    used_ += count;
    out.resize(static_cast<size_t>(count));
    if (count == 0) return true;
    if (readRaw(offset, out.data(), static_cast<size_t>(count))) return true;
    out.clear();
    return false;
}

bool MemorySource::readRaw(int64_t offset, char* destination, size_t count) {
    std::memcpy(destination, bytes_.data() + offset, count);
    return true;
}

FileSource::FileSource(const FileAt& file, AccessTimesTouched& touched, Sys& sys, int64_t headBytes)
    : ByteSource(0), sys_(sys), headBytes_(headBytes) {
    // Non-blocking so that a FIFO or device node cannot hang the reader; regular files ignore it.
    // Reading a header must not stamp an access time on the card.
    // Card files can nest deeper than one path may name.
    const int fd = openLongNoAtime(sys, file.path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, touched);
    if (fd < 0) return;
    UniqueFd owned(fd, sys);
    if (file.expected && heldObject(sys, fd) != file.expected) return;
    const int64_t size = sizeOf(sys, fd);
    if (size < 0) return;
    fd_ = std::move(owned);
    setSize(size);
}

int64_t FileSource::sizeOf(Sys& sys, int fd) {
    struct stat st {};
    if (sys.fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return st.st_size;
}

bool FileSource::preadFully(int64_t offset, char* destination, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = sys_.pread(fd_.get(), destination + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;  // an error, or the file shrank under us
        done += static_cast<size_t>(n);
    }
    return true;
}

bool FileSource::readRaw(int64_t offset, char* destination, size_t count) {
    if (!fd_.valid()) return false;
    if (!headTried_ && headBytes_ > 0) {
        headTried_ = true;
        const size_t want = static_cast<size_t>(std::min(size(), headBytes_));
        head_.resize(want);
        if (!preadFully(0, head_.data(), want)) head_.clear();
    }
    if (static_cast<uint64_t>(offset) + count <= head_.size()) {
        std::memcpy(destination, head_.data() + offset, count);
        return true;
    }
    return preadFully(offset, destination, count);
}

}  // namespace halvetrop::capture

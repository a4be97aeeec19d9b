#pragma once
// Bounded random access to the bytes of one file (or a buffer, for fuzzing and tests). Every
// metadata reader goes through it, so the checks live in one place: a range is served only when
// it lies wholly inside the source (64-bit arithmetic, no sum that can wrap) and the source's
// read budget is not spent.
#include "platform/Fd.h"
#include "platform/HeldObject.h"
#include "platform/NoAtime.h"
#include "platform/Sys.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace halvetrop::capture {

// Enough for any metadata block we look for, small against any photo or movie.
inline constexpr int64_t kReadBudget = 4 << 20;

class ByteSource {
public:
    explicit ByteSource(int64_t size) : size_(size < 0 ? 0 : size) {}
    virtual ~ByteSource() = default;
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    int64_t size() const { return size_; }
    // True when [offset, offset + count) lies inside the source.
    bool contains(int64_t offset, int64_t count) const {
        return offset >= 0 && count >= 0 && offset <= size_ && count <= size_ - offset;
    }
    // Exactly `count` bytes at `offset` into `out`; false when the range is outside, the budget is
    // spent or the read fails.
    bool read(int64_t offset, int64_t count, std::string& out);
    int64_t bytesRead() const { return used_; }

protected:
    void setSize(int64_t size) { size_ = size < 0 ? 0 : size; }
    virtual bool readRaw(int64_t offset, char* destination, size_t count) = 0;

private:
    int64_t size_;
    int64_t used_ = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes)
        : ByteSource(static_cast<int64_t>(bytes.size())), bytes_(bytes) {}

protected:
    bool readRaw(int64_t offset, char* destination, size_t count) override;

private:
    std::string_view bytes_;
};

// A regular file opened read-only; its first 64 KiB are read once, since nearly every lookup
// of a photo lands there.
class FileSource final : public ByteSource {
public:
    // Not valid() when the path cannot be opened, is not a regular file, or leads to another object
    // than the one expected. `headBytes` is how much of the start is read at the first access and
    // served from memory afterwards (0: none). An open without O_NOATIME is noted in `touched`.
    FileSource(const FileAt& file, AccessTimesTouched& touched, Sys& sys, int64_t headBytes = 64 * 1024);
    bool valid() const { return fd_.valid(); }

protected:
    bool readRaw(int64_t offset, char* destination, size_t count) override;

private:
    static int64_t sizeOf(Sys& sys, int fd);
    bool preadFully(int64_t offset, char* destination, size_t count);

    Sys& sys_;
    UniqueFd fd_;
    int64_t headBytes_;
    std::string head_;
    bool headTried_ = false;
};

}  // namespace halvetrop::capture

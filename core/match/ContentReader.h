#pragma once
// Content evidence read from the files themselves: sampled fingerprints (at most three 64 KiB
// windows) for every candidate pair, and full-content digests for the byte-by-byte level. Reads
// that must come from the drive use O_DIRECT; where a file system refuses it, the file's cached
// pages are flushed and dropped and the page cache is asked whether that really happened. A
// fingerprint or digest claims "read from the medium" only when it truly was, and never on a
// memory-backed or FUSE volume.
#include "platform/HeldObject.h"
#include "platform/MediumDoubt.h"
#include "platform/NoAtime.h"
#include "platform/Sys.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <cerrno>
#include <stdexcept>
#include <string>
#include <vector>

namespace halvetrop {

namespace PageCache {
class MediumAnswers;
}

// Full-content evidence: two digests match only when both fields are equal.
struct Digest128 {
    std::uint64_t hi = 0;  // bytes actually read, start to end of file
    std::uint64_t lo = 0;  // XXH3 (64-bit) of those bytes

    bool operator==(const Digest128&) const = default;
};

// A half-open byte range [start, end) of a file.
struct ByteRange {
    std::int64_t start = 0;
    std::int64_t end = 0;

    std::int64_t length() const { return end - start; }
    bool operator==(const ByteRange&) const = default;
};

// Sampled content evidence.
struct SampleFP {
    static constexpr std::int64_t window = 65536;
    // Up to this size one window covers the whole file.
    static constexpr std::int64_t wholeFileLimit = 0x30000;

    std::uint8_t version = 1;
    std::uint64_t head = 0;
    std::uint64_t mid = 0;
    std::uint64_t tail = 0;
    bool wholeFile = false;
    // The windows hold enough variety (32 distinct byte values each) for equal hashes to count as
    // equal content; always true for a whole-file fingerprint.
    bool strong = false;
    // Every window was read from the medium: with O_DIRECT, or after an eviction that the page
    // cache confirmed. False whenever that cannot be shown, including when not asked for.
    bool cacheEvicted = false;

    bool operator==(const SampleFP&) const = default;

    // One window of the whole file up to wholeFileLimit bytes, else head, middle (centred on half
    // the size rounded down to 4096) and tail, 64 KiB each. `size` must not be negative.
    static std::vector<ByteRange> windows(std::int64_t size);
};

// What a full read proved: the digest, and whether every byte came from the medium.
struct FullHashResult {
    Digest128 digest;
    bool fromMedium = false;
    // Why not from the medium, where the read was asked to come from there and could not be shown
    // to; nothing otherwise.
    std::optional<MediumDoubt> doubt{};
};

// What one full read proved, with the fingerprint of the same bytes.
struct FullAndSample {
    FullHashResult full;
    SampleFP sample;
};

// A read that failed: `code()` is the system's error number (EIO when none was left, and for a
// file that ended before the size it was expected to have). what() is the user's text.
class ContentReadError : public std::runtime_error {
public:
    ContentReadError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// The file opened is not the object the caller expected at its path (FileAt::expected): another
// file was put in its place, or the path now leads through another mount. Nothing of it was read.
// `held()` is what was opened instead. Its code is ESTALE for callers that see only a failed read.
class ContentReadReplaced : public ContentReadError {
public:
    ContentReadReplaced(const std::string& message, HeldObject held) : ContentReadError(ESTALE, message), held_(held) {}
    const HeldObject& held() const { return held_; }

private:
    HeldObject held_;
};

// The caller asked to stop; never an error number, so a stopped check never reads as a bad file.
class ContentReadCancelled : public std::runtime_error {
public:
    ContentReadCancelled() : std::runtime_error("Cancelled") {}
};

namespace ContentReader {

// Read buffer granularity for O_DIRECT offsets, lengths and addresses (covers 512 and 4096 byte
// logical blocks).
inline constexpr std::int64_t directAlignment = 4096;
// Bytes per read of a full hash.
inline constexpr std::size_t chunkSize = 4 << 20;

// The O_DIRECT read that covers `range` (0 <= start <= end): from the block boundary at or before
// its start to the one at or after its end. Exact for any offset up to the largest a file can have;
// where the boundary after the end would pass that largest offset (a request the kernel refuses),
// the read stops at it instead.
struct AlignedRead {
    std::int64_t offset = 0;
    std::int64_t length = 0;
    bool operator==(const AlignedRead&) const = default;
};
AlignedRead alignedCover(ByteRange range);

// Memory for the reads of one thread, kept from file to file. A fresh buffer per file costs more
// than the reads themselves: the kernel must map and zero every page of it before an O_DIRECT read
// can land there. Aligned for O_DIRECT; grows to the largest request and never shrinks. Not for
// sharing: one reader at a time (a caller keeps one per thread).
class ReadBuffer {
public:
    ReadBuffer() = default;
    ReadBuffer(ReadBuffer&&) noexcept = default;
    ReadBuffer& operator=(ReadBuffer&&) noexcept = default;

    // At least `bytes` of aligned memory; earlier contents are not kept when it has to grow.
    std::uint8_t* reserve(std::size_t bytes);
    std::size_t capacity() const { return capacity_; }

private:
    struct Free {
        void operator()(std::uint8_t* p) const;
    };
    std::unique_ptr<std::uint8_t[], Free> data_;
    std::size_t capacity_ = 0;
};

// Every read below asks whether the file's volume reads from its medium at all; `answers`, when
// given, keeps that per volume for the caller's run. A file opened without O_NOATIME (it belongs to
// another user) on a mount that records access times is noted in `touched` (see NoAtime.h).

// Each read opens `file.path` (raw bytes) and, when `file.expected` is given, reads only that object
// through that mount: anything else fails with ContentReadReplaced before a byte is read.

// Fingerprint of the file from the windows of `size` (as the walk saw it). With
// `fromDevice` the file's cached pages are dropped and the windows read past the cache. Throws
// ContentReadError.
SampleFP sampleFP(const FileAt& file, std::int64_t size, bool fromDevice, AccessTimesTouched& touched,
                  Sys& sys = defaultSys(), PageCache::MediumAnswers* answers = nullptr);
// The same, reading into the caller's buffer.
SampleFP sampleFP(const FileAt& file, std::int64_t size, bool fromDevice, ReadBuffer& buffer,
                  AccessTimesTouched& touched, Sys& sys = defaultSys(), PageCache::MediumAnswers* answers = nullptr);

// A fingerprint as sampleFP gives it, and for a file of one window (at most wholeFileLimit bytes)
// read from the medium, the full digest the same read proves: the window's hash is the hash of
// every byte, so that a byte-by-byte compare need not read the file again. The digest is given
// only when the file held exactly `size` bytes when it was opened (no byte past the window was
// left unread). `bytes`, when given, receives a one-window file's bytes for readers of its metadata.
struct SampleAndDigest {
    SampleFP sample;
    std::optional<FullHashResult> full;
    std::int64_t fileSize = 0;  // the file's size when it was opened
};
SampleAndDigest sampleWithDigest(const FileAt& file, std::int64_t size, bool fromDevice, AccessTimesTouched& touched,
                                 Sys& sys = defaultSys(), PageCache::MediumAnswers* answers = nullptr,
                                 std::string* bytes = nullptr);
SampleAndDigest sampleWithDigest(const FileAt& file, std::int64_t size, bool fromDevice, ReadBuffer& buffer,
                                 AccessTimesTouched& touched, Sys& sys = defaultSys(),
                                 PageCache::MediumAnswers* answers = nullptr, std::string* bytes = nullptr);

// Digest of every byte of the file to its end, read past the cache. `isCancelled` is polled before
// each chunk and after each interrupted read; `progress` gets the byte count of each chunk. Both are
// called on the calling thread and may be empty. Throws ContentReadError or ContentReadCancelled.
FullHashResult fullHash(const FileAt& file, const std::function<bool()>& isCancelled,
                        const std::function<void(std::int64_t)>& progress, AccessTimesTouched& touched,
                        Sys& sys = defaultSys(), PageCache::MediumAnswers* answers = nullptr);
// The same, reading into the caller's buffer (at most two chunks of it are used: a file of more
// than one chunk is read a chunk ahead on a thread of its own while the last is hashed). A caller
// that reads many files on threads it starts per file passes a buffer it keeps per worker.
FullHashResult fullHash(const FileAt& file, const std::function<bool()>& isCancelled,
                        const std::function<void(std::int64_t)>& progress, ReadBuffer& buffer,
                        AccessTimesTouched& touched, Sys& sys = defaultSys(), PageCache::MediumAnswers* answers = nullptr);

// One full read, as fullHash, that also gives the fingerprint sampleFP(path, size, true) would
// give, hashed from the same bytes as they go past: for a caller that would sample a file and then
// read all of it anyway, so that the drive is read once. The fingerprint counts as read from the
// medium exactly when the full read does (or the file is empty). `size` places the windows, as for
// sampleFP; a file that ends inside one is EIO. Throws ContentReadError or ContentReadCancelled.
FullAndSample fullHashAndSample(const FileAt& file, std::int64_t size, const std::function<bool()>& isCancelled,
                                const std::function<void(std::int64_t)>& progress, AccessTimesTouched& touched,
                                Sys& sys = defaultSys(), PageCache::MediumAnswers* answers = nullptr);
FullAndSample fullHashAndSample(const FileAt& file, std::int64_t size, const std::function<bool()>& isCancelled,
                                const std::function<void(std::int64_t)>& progress, ReadBuffer& buffer,
                                AccessTimesTouched& touched, Sys& sys = defaultSys(),
                                PageCache::MediumAnswers* answers = nullptr);

}  // namespace ContentReader

}  // namespace halvetrop

template <>
struct std::hash<halvetrop::Digest128> {
    std::size_t operator()(const halvetrop::Digest128& d) const noexcept {
        return static_cast<std::size_t>(d.lo ^ (d.hi * 0x9E3779B97F4A7C15ULL));
    }
};

template <>
struct std::hash<halvetrop::SampleFP> {
    std::size_t operator()(const halvetrop::SampleFP& f) const noexcept {
        std::uint64_t h = f.head;
        h = h * 0x9E3779B97F4A7C15ULL ^ f.mid;
        h = h * 0x9E3779B97F4A7C15ULL ^ f.tail;
        h = h * 0x9E3779B97F4A7C15ULL ^ (std::uint64_t{f.version} | std::uint64_t{f.wholeFile} << 8 |
                                         std::uint64_t{f.strong} << 9 | std::uint64_t{f.cacheEvicted} << 10);
        return static_cast<std::size_t>(h);
    }
};

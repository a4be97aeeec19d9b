#include "match/ContentReader.h"

#include "hash/XXH3.h"
#include "platform/Errors.h"
#include "platform/Fd.h"
#include "platform/LongPath.h"
#include "platform/NoAtime.h"
#include "platform/PageCache.h"
#include "text/Utf8.h"

#include <sys/mman.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

namespace halvetrop {

std::vector<ByteRange> SampleFP::windows(std::int64_t size) {
    if (size <= wholeFileLimit) return {{0, std::max<std::int64_t>(size, 0)}};
    const std::int64_t middle = size / 2 / 4096 * 4096;
    return {{0, window}, {middle - window / 2, middle + window / 2}, {size - window, size}};
}

namespace {

constexpr std::int64_t bufferAlignment = 16384;
constexpr std::size_t hugePage = 2 << 20;
constexpr int baseFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;

// Offsets and sizes are never negative here.
std::int64_t alignDown(std::int64_t v) { return v / ContentReader::directAlignment * ContentReader::directAlignment; }
// Rounded up to a whole block, in unsigned arithmetic: a size near the largest offset must not
// overflow on the way. INT64_MAX when the boundary itself lies past it.
std::int64_t alignUp(std::int64_t v) {
    constexpr auto block = static_cast<std::uint64_t>(ContentReader::directAlignment);
    const std::uint64_t up = (static_cast<std::uint64_t>(v) + block - 1) / block * block;
    return up > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(up);
}

// The buffer of the forms that take none. The check's workers read file after file on the same
// thread, and a buffer made per file would have every one of its pages mapped and zeroed by the
// kernel again (most of the system time of a byte-by-byte pass). This one belongs to its thread
// alone, so nothing is shared or locked; it is at most one chunk and goes when the thread ends. A
// callback that reads again while it is in use (reentrancy) gets a buffer of its own.
class ThreadBuffer {
public:
    ThreadBuffer() {
        thread_local Slot slot;
        if (!slot.inUse) {
            slot_ = &slot;
            slot.inUse = true;
            buffer_ = &slot.buffer;
        } else {
            buffer_ = &own_;
        }
    }
    ~ThreadBuffer() {
        if (slot_) slot_->inUse = false;
    }
    ThreadBuffer(const ThreadBuffer&) = delete;
    ThreadBuffer& operator=(const ThreadBuffer&) = delete;

    ContentReader::ReadBuffer& get() { return *buffer_; }

private:
    struct Slot {
        ContentReader::ReadBuffer buffer;
        bool inUse = false;
    };
    Slot* slot_ = nullptr;
    ContentReader::ReadBuffer own_;
    ContentReader::ReadBuffer* buffer_ = nullptr;
};

[[noreturn]] void fail(const char* operation, const std::string& path, int error) {
    throw ContentReadError(error, systemCallMessage(operation, repairUtf8(path), error));
}

// One open file and the proof, built read by read, that its bytes came from the medium.
class MediumReader {
public:
    // `only`, when given, holds every range that will be read; else the whole file may be.
    MediumReader(Sys& sys, const FileAt& file, bool fromDevice, PageCache::MediumAnswers* answers,
                 AccessTimesTouched& touched, const std::vector<ByteRange>* only = nullptr)
        : sys_(sys), path_(file.path), expected_(file.expected), fromDevice_(fromDevice), fromMedium_(fromDevice),
          answers_(answers), touched_(touched) {
        open();
        if (!fromDevice_) {
            // Cached sampled reads want only their windows: read-ahead would pull in up to twice
            // the bytes from a card reader for nothing.
            noReadAhead();
            return;
        }
        if (fromMedium_) {
            // Where the file system may answer even a direct read from memory (compressed or
            // inline extents, data not yet placed), the read must prove each range as a buffered
            // one does, or cannot come from the medium at all.
            PageCache::Layout layout = PageCache::Layout::blocks;
            if (only) {
                for (const ByteRange& r : *only)
                    layout = std::max(layout, PageCache::layoutOf(sys_, fd_.get(), r.start, r.length(), volume_));
            } else {
                layout = PageCache::layoutOf(sys_, fd_.get(), 0, size_, volume_);
            }
            if (layout == PageCache::Layout::inMetadata) notFromMedium(MediumDoubt::inMetadata);
            proveEachRead_ = !direct_ || layout == PageCache::Layout::confirmFirst;
        } else {
            proveEachRead_ = !direct_;
        }
        if (direct_) {
            // O_DIRECT reads bypass the cache, and the kernel writes a dirty range back itself
            // before reading it from the drive, so no flush of ours is needed; an fdatasync per
            // file would also make the drive empty its write cache each time. The file's pages
            // (left by earlier buffered readers) are still dropped, so that none outlives the
            // check and a file system that quietly serves O_DIRECT from its cache finds nothing
            // there. Only when some page will not go (dirty, or mapped) is the file flushed first.
            // A sampled read asks only about its windows: asking about every page of a huge
            // sparse file would cost far more than the read.
            bool dropped = true;
            if (only) {
                for (const ByteRange& r : *only) dropped = PageCache::dropAndConfirm(sys_, fd_.get(), r.start, r.length()) && dropped;
            } else {
                dropped = PageCache::dropAndConfirm(sys_, fd_.get(), 0, size_);
            }
            if (!dropped) flushAndDrop();
            if (proveEachRead_) noReadAhead();
        } else {
            flushAndDrop();
            noReadAhead();
        }
    }

    int fd() const { return fd_.get(); }
    bool direct() const { return direct_; }
    bool fromMedium() const { return fromMedium_; }
    // Why the read does not count as one from the medium; nothing when it does (or was not asked to).
    std::optional<MediumDoubt> doubt() const { return doubt_; }
    // The file's size when it was opened.
    std::int64_t size() const { return size_; }

    // One positioned read of up to `count` bytes; EINTR is retried after `interrupted` (which may
    // throw). Under O_DIRECT, `buffer`, `count` and `offset` must be aligned.
    std::int64_t readAt(std::uint8_t* buffer, std::int64_t count, std::int64_t offset,
                        const std::function<void()>& interrupted = {}) {
        for (;;) {
            if (proveEachRead_) proveUncached(offset, count);
            const ssize_t n = sys_.pread(fd_.get(), buffer, static_cast<std::size_t>(count), offset);
            if (n >= 0) {
                readOnce_ = true;
                if (proveEachRead_ && n > 0) dropRange(offset, n);
                return n;
            }
            const int error = currentError();
            if (error == EINTR) {
                if (interrupted) interrupted();
                continue;
            }
            if (error == EINVAL && direct_ && (!readOnce_ || offset + count > size_)) {
                // The file system took O_DIRECT at open but refuses it for reads, or refuses the
                // block past the end of a file as large as it allows (that largest size is not a
                // whole block on some). The rest is read buffered, each range proven as it goes.
                leaveDirect();
                continue;
            }
            fail("read", path_, error);
        }
    }

private:
    void open() {
        int flags = baseFlags | (fromDevice_ ? O_DIRECT : 0);
        int fd;
        for (;;) {
            // The walk reaches files nested deeper than one path may name; so must this.
            fd = openLongNoAtime(sys_, path_, flags, touched_);
            if (fd >= 0) break;
            const int error = currentError();
            if (error == EINVAL && (flags & O_DIRECT)) {
                flags &= ~O_DIRECT;
                continue;
            }
            fail("open", path_, error);
        }
        fd_ = UniqueFd(fd, sys_);
        direct_ = (flags & O_DIRECT) != 0;
        // Asked of the descriptor itself: a look at the path, before or after, may see another file.
        if (expected_) {
            const std::optional<HeldObject> held = heldObject(sys_, fd);
            if (!held) fail("statx", path_, currentError());
            if (*held != *expected_)
                throw ContentReadReplaced("open " + repairUtf8(path_) + ": not the file that was found there", *held);
        }
        struct stat st {};
        if (sys_.fstat(fd, &st) != 0) fail("fstat", path_, currentError());
        // O_NONBLOCK keeps a FIFO from blocking the open; only regular files are content.
        if (!S_ISREG(st.st_mode)) fail("open", path_, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        size_ = std::max<std::int64_t>(st.st_size, 0);
        // On a memory-backed or FUSE volume, or one whose type cannot be told, no read is ever
        // claimed to come from the medium, O_DIRECT or not.
        owner_ = st.st_uid;
        if (fromDevice_) {
            const PageCache::VolumeReads reads = PageCache::volumeReads(sys_, fd, answers_);
            volume_ = reads.direct;
            if (reads.doubt) notFromMedium(*reads.doubt);
        }
    }

    // The first reason found is the one kept: it is what decided.
    void notFromMedium(MediumDoubt why) {
        if (fromMedium_) doubt_ = why;
        fromMedium_ = false;
    }

    void leaveDirect() {
        const int flags = sys_.fcntl(fd_.get(), F_GETFL, 0);
        if (flags < 0 || sys_.fcntl(fd_.get(), F_SETFL, flags & ~O_DIRECT) != 0) fail("fcntl", path_, currentError());
        direct_ = false;
        proveEachRead_ = fromDevice_;
        // Under O_DIRECT the file was not flushed; buffered reads need it.
        flushAndDrop();
        noReadAhead();
    }

    // Written but unflushed pages could not be dropped and could differ from the drive. A failed
    // flush counts only in the buffered fallback, which checks each range before reading it.
    void flushAndDrop() { syncFailed_ = PageCache::flushAndDrop(sys_, fd_.get()) != 0; }

    // Read-ahead would bring the next range in while it is being checked, and pages still under
    // read-ahead I/O cannot be dropped: each buffered read brings in only what it asks for.
    void noReadAhead() { sys_.posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_RANDOM); }

    // Buffered reads count as from the medium only when the pages about to be read were flushed,
    // dropped, and the page cache then holds none of them: a page still there (dirty, mapped by
    // someone, or on a file system whose pages are its storage) would be served from memory.
    void proveUncached(std::int64_t offset, std::int64_t count) {
        if (!fromMedium_) return;
        if (syncFailed_) {
            notFromMedium(MediumDoubt::cacheHeld);
            return;
        }
        // The kernel hides whether another user's file is cached from whoever may not write it and
        // answers "all of it": a drop of such a file can never be confirmed.
        if (!PageCache::dropAndConfirm(sys_, fd_.get(), offset, count))
            notFromMedium(owner_ != ::geteuid() && ::geteuid() != 0 ? MediumDoubt::othersFile : MediumDoubt::cacheHeld);
    }

    // Leaves the cache as the read found it, so that the next check of the same file proves afresh.
    void dropRange(std::int64_t offset, std::int64_t count) { PageCache::drop(sys_, fd_.get(), offset, count); }

    Sys& sys_;
    const std::string& path_;
    const std::optional<HeldObject>& expected_;
    bool fromDevice_;
    bool fromMedium_;
    PageCache::MediumAnswers* answers_;
    AccessTimesTouched& touched_;
    bool direct_ = false;
    // Each read is proven uncached first: a buffered read, or a direct one the file system may
    // serve through the cache.
    bool proveEachRead_ = false;
    bool readOnce_ = false;
    bool syncFailed_ = false;
    std::int64_t size_ = 0;
    uid_t owner_ = 0;
    // What direct reads on the file's volume are at best.
    PageCache::Layout volume_ = PageCache::Layout::confirmFirst;
    std::optional<MediumDoubt> doubt_;
    UniqueFd fd_;
};

// Reads the window into `buffer` (sized for its aligned superset) and returns where it starts
// there. Under O_DIRECT the read covers whole aligned blocks around the window; only the window's
// own bytes are hashed. A file that ends inside the window is EIO.
const std::uint8_t* readWindow(MediumReader& reader, std::uint8_t* buffer, ByteRange window, const std::string& path) {
    const ContentReader::AlignedRead cover = ContentReader::alignedCover(window);
    const std::int64_t base = reader.direct() ? cover.offset : window.start;
    const std::int64_t want = window.end - base;
    const std::int64_t readEnd = cover.length;
    std::int64_t have = 0;
    while (have < want) {
        // After a short read under O_DIRECT the next read starts again at the block boundary.
        const std::int64_t from = reader.direct() ? alignDown(have) : have;
        const std::int64_t n = reader.readAt(buffer + from, (reader.direct() ? readEnd : want) - from, base + from);
        if (from + n <= have) fail("read", path, EIO);
        have = from + n;
    }
    return buffer + (window.start - base);
}

// Counts distinct byte values up to 32: with fewer, a window has too little variety for equal
// hashes to mean equal content. Fed piece by piece when the window arrives in parts.
struct Variety {
    static constexpr int enoughDistinct = 32;
    int distinct = 0;
    bool seen[256] = {};

    void note(const std::uint8_t* bytes, std::int64_t length) {
        for (std::int64_t i = 0; i < length && distinct < enoughDistinct; ++i) {
            if (!seen[bytes[i]]) {
                seen[bytes[i]] = true;
                ++distinct;
            }
        }
    }
    bool enough() const { return distinct >= enoughDistinct; }
};

bool weak(const std::uint8_t* bytes, std::int64_t length) {
    Variety v;
    v.note(bytes, length);
    return !v.enough();
}

// The fingerprint from the windows' hashes (as many as SampleFP::windows gave).
SampleFP makeFP(const std::uint64_t* hashes, std::size_t windowCount, bool strong, bool cacheEvicted) {
    SampleFP fp;
    fp.version = 1;
    if (windowCount == 1) {
        fp.head = fp.mid = fp.tail = hashes[0];
        fp.wholeFile = true;
        fp.strong = true;
    } else {
        fp.head = hashes[0];
        fp.mid = hashes[1];
        fp.tail = hashes[2];
        fp.wholeFile = false;
        fp.strong = strong;
    }
    fp.cacheEvicted = cacheEvicted;
    return fp;
}

// Takes the sampled windows out of the bytes of a whole-file read as they go past, so that a file
// read in full is not also read window by window. Pieces arrive in file order.
class WindowTap {
public:
    explicit WindowTap(std::int64_t size) : windows_(SampleFP::windows(size)) {}

    void take(std::int64_t offset, const std::uint8_t* bytes, std::int64_t length) {
        for (std::size_t i = 0; i < windows_.size(); ++i) {
            const std::int64_t from = std::max(windows_[i].start, offset);
            const std::int64_t to = std::min(windows_[i].end, offset + length);
            if (from >= to) continue;
            const std::uint8_t* piece = bytes + (from - offset);
            state_[i].stream.update(piece, static_cast<std::size_t>(to - from));
            state_[i].have += to - from;
            if (windows_.size() > 1) state_[i].variety.note(piece, to - from);
        }
    }

    // A file that ended inside a window is EIO, as for a sampled read.
    SampleFP finish(bool cacheEvicted, const std::string& path) const {
        std::uint64_t hashes[3] = {};
        bool strong = true;
        for (std::size_t i = 0; i < windows_.size(); ++i) {
            if (state_[i].have != windows_[i].length()) fail("read", path, EIO);
            hashes[i] = state_[i].stream.digest();
            if (!state_[i].variety.enough()) strong = false;
        }
        return makeFP(hashes, windows_.size(), strong, cacheEvicted);
    }

private:
    struct Window {
        XXH3Stream stream;
        std::int64_t have = 0;
        Variety variety;
    };
    std::vector<ByteRange> windows_;
    Window state_[3];
};

// The reads of a whole file, one chunk at a time, in file order.
class ChunkReader {
public:
    // What one read brought: `length` new bytes at file offset `offset`, starting `skip` bytes
    // into the buffer.
    struct Piece {
        std::int64_t offset = 0;
        std::int64_t skip = 0;
        std::int64_t length = 0;
    };

    ChunkReader(MediumReader& reader, std::int64_t capacity) : reader_(reader), capacity_(capacity) {}

    // Reads the next chunk into `buffer` (capacity bytes, aligned); false at the end of the file.
    bool next(std::uint8_t* buffer, Piece& piece, const std::function<void()>& interrupted) {
        if (ended_) return false;
        // Under O_DIRECT a read after a short one restarts at the block boundary; the bytes
        // already read are skipped.
        const std::int64_t base = reader_.direct() ? alignDown(total_) : total_;
        const std::int64_t skip = total_ - base;
        // Past that end (a file that grew) whole chunks, so that it is still read to its end.
        // No request ends past the largest file offset: the kernel refuses one that would.
        const std::int64_t left = base < reader_.size() ? alignUp(reader_.size()) - base : INT64_MAX - base;
        const std::int64_t want = std::min(capacity_, left);
        const std::int64_t n = reader_.readAt(buffer, want, base, interrupted);
        if (n <= skip) {
            ended_ = true;
            return false;
        }
        piece = {total_, skip, n - skip};
        total_ = base + n;
        // A short read that reaches the size the file had at open is its end. Another read would
        // only fetch the unaligned last block from the drive again to find nothing after it.
        ended_ = n < want && total_ >= reader_.size();
        return true;
    }

private:
    MediumReader& reader_;
    std::int64_t capacity_;
    std::int64_t total_ = 0;
    bool ended_ = false;
};

// Reads a file's chunks on a thread of its own, one chunk ahead of the caller, so that the drive
// has the next request while the last one is hashed: with a single request at a time it idles
// through every hash, and an O_DIRECT read has no read-ahead of the kernel's to cover that. Two
// buffers take turns. Cancellation is still polled on the caller's thread, once per chunk and
// once per interrupted read, which the reading thread reports as it happens.
class ReadAhead {
public:
    ReadAhead(ChunkReader& chunks, std::uint8_t* first, std::uint8_t* second)
        : chunks_(chunks), buffers_{first, second} {
        thread_ = std::thread([this] { run(); });
    }
    // The reading thread is done with the file and the buffers before they go, whatever the caller
    // stopped for.
    ~ReadAhead() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next piece and its buffer, or null at the end; rethrows the reading thread's failure.
    // `interrupted` runs on this thread once per interrupted read.
    const std::uint8_t* next(ChunkReader::Piece& piece, const std::function<void()>& interrupted) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (handedOut_) {
            // The caller is done with the buffer it had.
            handedOut_ = false;
            ++free_;
            changed_.notify_all();
        }
        for (;;) {
            changed_.wait(lock, [this] { return interruptions_ > 0 || !ready_.empty() || finished_; });
            if (interruptions_ > 0) {
                --interruptions_;
                lock.unlock();
                interrupted();
                lock.lock();
                continue;
            }
            if (!ready_.empty()) {
                const Ready r = ready_.front();
                ready_.pop_front();
                handedOut_ = true;
                piece = r.piece;
                return buffers_[r.buffer];
            }
            if (failure_) std::rethrow_exception(failure_);
            return nullptr;
        }
    }

private:
    struct Ready {
        ChunkReader::Piece piece;
        int buffer = 0;
    };
    struct Stopped {};

    void run() {
        try {
            const auto interrupted = [this] {
                std::lock_guard<std::mutex> lock(mutex_);
                ++interruptions_;
                changed_.notify_all();
                if (stop_) throw Stopped();
            };
            for (int turn = 0;; turn ^= 1) {
                {
                    std::unique_lock<std::mutex> lock(mutex_);
                    changed_.wait(lock, [this] { return free_ > 0 || stop_; });
                    if (stop_) break;
                    --free_;
                }
                ChunkReader::Piece piece;
                if (!chunks_.next(buffers_[turn], piece, interrupted)) break;
                std::lock_guard<std::mutex> lock(mutex_);
                ready_.push_back({piece, turn});
                changed_.notify_all();
            }
        } catch (const Stopped&) {
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            failure_ = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }

    ChunkReader& chunks_;
    std::uint8_t* buffers_[2];
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Ready> ready_;
    int free_ = 2;
    bool handedOut_ = false;
    int interruptions_ = 0;
    bool stop_ = false;
    bool finished_ = false;
    std::exception_ptr failure_;
    std::thread thread_;  // last: started once everything it uses exists
};

// Every byte of the file to its end into `stream`, and each piece with its offset to `tap` (may be
// null); see fullHash.
FullHashResult readWhole(const FileAt& file, const std::function<bool()>& isCancelled,
                         const std::function<void(std::int64_t)>& progress, ContentReader::ReadBuffer& readBuffer,
                         AccessTimesTouched& touched, Sys& sys, PageCache::MediumAnswers* answers, WindowTap* tap) {
    using ContentReader::chunkSize;
    using ContentReader::directAlignment;
    MediumReader reader(sys, file, true, answers, touched);
    // No request reaches past the end the file had at open: the kernel fills the rest of an
    // O_DIRECT request past the end with zeros, page by page, which cost more than the read.
    const std::int64_t capacity = std::max(std::min(alignUp(reader.size()), static_cast<std::int64_t>(chunkSize)), directAlignment);
    // A file of more than one chunk is read ahead into a second buffer.
    const bool ahead = reader.size() > capacity;
    std::uint8_t* const buffer = readBuffer.reserve(static_cast<std::size_t>(ahead ? 2 * capacity : capacity));
    XXH3Stream stream;
    std::int64_t total = 0;
    const auto checkCancelled = [&] {
        if (isCancelled && isCancelled()) throw ContentReadCancelled();
    };
    const auto take = [&](const std::uint8_t* bytes, const ChunkReader::Piece& piece) {
        stream.update(bytes + piece.skip, static_cast<std::size_t>(piece.length));
        if (tap) tap->take(piece.offset, bytes + piece.skip, piece.length);
        total = piece.offset + piece.length;
        if (progress) progress(piece.length);
    };

    ChunkReader chunks(reader, capacity);
    ChunkReader::Piece piece;
    // A check stopped already reads nothing, not even ahead.
    checkCancelled();
    bool polled = true;
    const auto pollOncePerChunk = [&] {
        if (!polled) checkCancelled();
        polled = false;
    };
    std::optional<ReadAhead> readAhead;
    if (ahead) {
        try {
            readAhead.emplace(chunks, buffer, buffer + capacity);
        } catch (const std::system_error&) {
            // No thread to be had: one request at a time, as for a small file.
        }
    }
    if (readAhead) {
        for (;;) {
            pollOncePerChunk();
            const std::uint8_t* bytes = readAhead->next(piece, checkCancelled);
            if (!bytes) break;
            take(bytes, piece);
        }
        readAhead.reset();  // the reading thread is done with the reader before it is asked
    } else {
        for (;;) {
            pollOncePerChunk();
            if (!chunks.next(buffer, piece, checkCancelled)) break;
            take(buffer, piece);
        }
    }
    return {Digest128{static_cast<std::uint64_t>(total), stream.digest()}, reader.fromMedium(), reader.doubt()};
}

}  // namespace

namespace ContentReader {

AlignedRead alignedCover(ByteRange range) {
    const std::int64_t offset = alignDown(range.start);
    return {offset, alignUp(range.end) - offset};
}

void ReadBuffer::Free::operator()(std::uint8_t* p) const { std::free(p); }

std::uint8_t* ReadBuffer::reserve(std::size_t bytes) {
    if (bytes > capacity_ || !data_) {
        // A chunk-sized buffer sits on huge pages where the kernel has them: an O_DIRECT request
        // into memory that is physically contiguous goes to the drive in a few large pieces, one
        // into scattered 4 KiB pages is cut into many at the device's segment limit.
        const std::size_t alignment = bytes >= hugePage ? hugePage : bufferAlignment;
        const std::size_t rounded = std::max<std::size_t>((bytes + alignment - 1) / alignment * alignment, alignment);
        data_.reset();
        capacity_ = 0;
        auto* p = static_cast<std::uint8_t*>(std::aligned_alloc(alignment, rounded));
        if (!p) throw std::bad_alloc();
        if (alignment == hugePage) ::madvise(p, rounded, MADV_HUGEPAGE);
        data_.reset(p);
        capacity_ = rounded;
    }
    return data_.get();
}

SampleFP sampleFP(const FileAt& file, std::int64_t size, bool fromDevice, AccessTimesTouched& touched, Sys& sys,
                  PageCache::MediumAnswers* answers) {
    ThreadBuffer buffer;
    return sampleFP(file, size, fromDevice, buffer.get(), touched, sys, answers);
}

SampleFP sampleFP(const FileAt& file, std::int64_t size, bool fromDevice, ReadBuffer& readBuffer,
                  AccessTimesTouched& touched, Sys& sys, PageCache::MediumAnswers* answers) {
    return sampleWithDigest(file, size, fromDevice, readBuffer, touched, sys, answers).sample;
}

SampleAndDigest sampleWithDigest(const FileAt& file, std::int64_t size, bool fromDevice, AccessTimesTouched& touched,
                                 Sys& sys, PageCache::MediumAnswers* answers, std::string* bytes) {
    ThreadBuffer buffer;
    return sampleWithDigest(file, size, fromDevice, buffer.get(), touched, sys, answers, bytes);
}

SampleAndDigest sampleWithDigest(const FileAt& file, std::int64_t size, bool fromDevice, ReadBuffer& readBuffer,
                                 AccessTimesTouched& touched, Sys& sys, PageCache::MediumAnswers* answers,
                                 std::string* bytes) {
    if (size < 0) fail("read", file.path, EINVAL);
    const std::vector<ByteRange> windows = SampleFP::windows(size);
    MediumReader reader(sys, file, fromDevice && size > 0, answers, touched, &windows);

    std::int64_t bufferSize = SampleFP::window;
    for (const ByteRange& w : windows) bufferSize = std::max(bufferSize, alignedCover(w).length);
    std::uint8_t* const buffer = readBuffer.reserve(static_cast<std::size_t>(bufferSize));

    std::uint64_t hashes[3] = {};
    bool strong = true;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const ByteRange w = windows[i];
        const std::uint8_t* window = w.length() > 0 ? readWindow(reader, buffer, w, file.path) : buffer;
        hashes[i] = XXH3::hash64(window, static_cast<std::size_t>(w.length()));
        if (windows.size() > 1 && weak(window, w.length())) strong = false;
        if (bytes && windows.size() == 1) bytes->assign(reinterpret_cast<const char*>(window), static_cast<std::size_t>(w.length()));
    }
    // An empty file has nothing that could come from a cache.
    SampleAndDigest out;
    out.fileSize = reader.size();
    out.sample = makeFP(hashes, windows.size(), strong, fromDevice && (size == 0 || reader.fromMedium()));
    // The one window's hash is the hash of every byte the file held when it was opened.
    if (out.sample.wholeFile && out.sample.cacheEvicted && reader.size() == size)
        out.full = FullHashResult{Digest128{static_cast<std::uint64_t>(size), out.sample.head}, true};
    return out;
}

FullHashResult fullHash(const FileAt& file, const std::function<bool()>& isCancelled,
                        const std::function<void(std::int64_t)>& progress, AccessTimesTouched& touched, Sys& sys,
                        PageCache::MediumAnswers* answers) {
    ThreadBuffer buffer;
    return fullHash(file, isCancelled, progress, buffer.get(), touched, sys, answers);
}

FullHashResult fullHash(const FileAt& file, const std::function<bool()>& isCancelled,
                        const std::function<void(std::int64_t)>& progress, ReadBuffer& readBuffer,
                        AccessTimesTouched& touched, Sys& sys, PageCache::MediumAnswers* answers) {
    return readWhole(file, isCancelled, progress, readBuffer, touched, sys, answers, nullptr);
}

FullAndSample fullHashAndSample(const FileAt& file, std::int64_t size, const std::function<bool()>& isCancelled,
                                const std::function<void(std::int64_t)>& progress, AccessTimesTouched& touched,
                                Sys& sys, PageCache::MediumAnswers* answers) {
    ThreadBuffer buffer;
    return fullHashAndSample(file, size, isCancelled, progress, buffer.get(), touched, sys, answers);
}

FullAndSample fullHashAndSample(const FileAt& file, std::int64_t size, const std::function<bool()>& isCancelled,
                                const std::function<void(std::int64_t)>& progress, ReadBuffer& readBuffer,
                                AccessTimesTouched& touched, Sys& sys, PageCache::MediumAnswers* answers) {
    if (size < 0) fail("read", file.path, EINVAL);
    WindowTap tap(size);
    const FullHashResult full = readWhole(file, isCancelled, progress, readBuffer, touched, sys, answers, &tap);
    // An empty file has nothing that could come from a cache.
    return {full, tap.finish(size == 0 || full.fromMedium, file.path)};
}

}  // namespace ContentReader

}  // namespace halvetrop

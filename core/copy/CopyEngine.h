#pragma once
// One source file copied into one or more folders, every copy proven before it gets its name: the
// source is read once, each chunk hashed and written to a hidden temporary file per target; each
// temporary file is given the source's modification time, flushed once, read back past the page
// cache and hashed again, and only a matching copy is moved to its final name, never replacing
// anything. The card is only ever read.
#include "copy/CopyError.h"
#include "copy/CopyLayout.h"
#include "platform/Fd.h"
#include "platform/NoAtime.h"
#include "platform/PageCache.h"
#include "platform/Sys.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvetrop {

struct CopyTarget {
    std::string dir;   // the folder
    std::string name;  // the file name
    // The folder, already open (-1: open `dir` once). The caller keeps its descriptor and the engine
    // works through a duplicate of it, never through `dir` again: the path may lead elsewhere by
    // the time the copy is written or named.
    int dirFd = -1;
    // join(dir, name): the target's final path.
    std::string path() const;
};

struct TargetOutcome {
    enum class Kind { copied, failed };
    Kind kind = Kind::failed;
    std::string path;                // the final path
    std::optional<CopyError> error;  // set exactly when failed
    // For a copy: true only when its read-back bypassed the page cache (O_DIRECT) or the cache was
    // seen to be empty before reading, on a volume whose medium lies past that cache. tmpfs and
    // FUSE volumes never qualify: their copies compare, but were not read from the medium.
    bool readBackFromMedium = false;

    static TargetOutcome copied(std::string path, bool fromMedium);
    static TargetOutcome failed(std::string path, CopyError error);
};

struct CopyResult {
    std::int64_t bytes = 0;        // the source's size at the first status query
    std::uint64_t sourceHash = 0;  // XXH64 (seed 0) of the bytes read; 0 when nothing was read
    std::vector<TargetOutcome> outcomes;
};

// A copy whose bytes are written (and flushed, unless a batch flushes them) while its read-back,
// comparison and naming are still to come (CopyEngine::finish). Dropped unfinished, it removes its
// temporary files.
class WrittenCopy {
public:
    WrittenCopy();
    WrittenCopy(WrittenCopy&&) noexcept;
    WrittenCopy& operator=(WrittenCopy&&) noexcept;
    ~WrittenCopy();

private:
    friend class CopyEngine;
    struct State;
    std::unique_ptr<State> state_;
};

// Copies written one after another and proven together (CopyEngine::write into it, then
// CopyEngine::finish). Where a drive can be flushed whole, its copies get no flush of their own but
// one flush of the drive for all of them, which costs what one fsync costs; then each is read back
// past the cache, compared and named, and each folder that got names is flushed once. Dropped
// unfinished, it removes every temporary file written into it.
class CopyBatch {
public:
    CopyBatch();
    CopyBatch(CopyBatch&&) noexcept;
    CopyBatch& operator=(CopyBatch&&) noexcept;
    ~CopyBatch();

    std::size_t size() const;    // copies written into it
    std::int64_t bytes() const;  // the bytes of their sources

private:
    friend class CopyEngine;
    struct State;
    std::unique_ptr<State> state_;
};

struct BatchResult {
    // One per copy, in the order they were written; none for a copy that was not yet proven when
    // the cancellation was seen (nothing of it is left).
    std::vector<std::optional<CopyResult>> copies;
    bool cancelled = false;
};

class CopyEngine {
public:
    explicit CopyEngine(Sys& sys = defaultSys());

    std::int64_t bufferSize = 8 * 1024 * 1024;  // bytes per read; rounded up to the 16 KiB alignment
    bool copyXattrs = true;                     // copy the source's user.* extended attributes
    std::function<bool()> isCancelled = [] { return false; };
    std::function<void(std::int64_t)> progress = [](std::int64_t) {};
    // Whether each backup volume reads from its medium, kept for the whole run by the run's owner;
    // asked afresh for every read-back when null.
    PageCache::MediumAnswers* medium = nullptr;
    // The largest file the volume holding a folder accepts (from its file-system type: FAT's is
    // 4 GiB - 1), nullopt when unknown. Drives::info(dir).maxFileSize by default; asked once per
    // device within one copy.
    std::function<std::optional<std::int64_t>(const std::string& dir)> maxFileSizeOf;
    // How long a name may be in the folder open as dirFd (its file system's limit); by default
    // from statvfs and whether Drives::info(dir) calls it one of the FAT family. Asked once per
    // device within one copy.
    std::function<NameLimit(int dirFd, const std::string& dir)> nameLimitOf;
    // Asked about a target's open folder right before its temporary file is created and again
    // right before the copy is named; an error refuses the target with it. May be called from the
    // thread of finish(). By default every folder passes.
    std::function<std::optional<CopyError>(int dirFd, const std::string& dir)> vetFolder;
    // Sources (card files) opened without O_NOATIME where the mount records access times: the
    // owner says so with the result (see NoAtime.h).
    AccessTimesTouched sourceAccessTimes;

    // The verified copy. Throws CopyError only for the source side: posix ("open ", "fstat ",
    // "read "), sourceGone, sourceChanged and cancelled; everything that goes wrong at a target is
    // an outcome.
    CopyResult copy(const std::string& source, const std::vector<CopyTarget>& targets);

    // The card file, opened as a copy reads it: read-only, never through a link, never blocking on
    // a FIFO, never touching its access time (which would be a write to the card), and a regular
    // file. Throws sourceGone when nothing is at the path any more, posix ("open ", "fstat ")
    // otherwise. A caller that must know the file is there before it acts on the backup (makes a
    // folder for it) opens it here and hands it to write().
    UniqueFd openSource(const std::string& source);

    // copy() in two steps, so that one file's proof can run while the next is written: write()
    // streams the source into the temporary files and flushes them (throws as copy() does for
    // the source side; reports progress); finish() reads each back, compares and names it (throws
    // only cancelled; never reports progress). finish() may run on another thread than write(),
    // at the same time as a write() of another file with the same engine.
    WrittenCopy write(const std::string& source, const std::vector<CopyTarget>& targets);
    // The same for a source already open (from openSource); `source` names it in messages and is
    // looked at once more after the read, to see that it still names this file.
    WrittenCopy write(const std::string& source, UniqueFd opened, const std::vector<CopyTarget>& targets);
    CopyResult finish(WrittenCopy written);

    // write() into a batch: the copy's flush is left to finish(batch) when `shareFlush` and its
    // drive can be flushed whole (VolumeFlush::coversWrites); otherwise it is flushed here. Returns
    // whether the batch's flush is to cover it. Throws as write() does, and then adds no copy to
    // the batch.
    bool write(CopyBatch& batch, const std::string& source, UniqueFd opened, const std::vector<CopyTarget>& targets,
               bool shareFlush = true);
    // Flushes each drive of the batch once for the copies that left their flush to it, then reads
    // back, compares and names every copy in order. A failed flush fails every copy it covered,
    // each with "flush " + its final path, and is never tried again. A cancellation seen before a
    // copy's proof is done drops that copy and every later one; the copies proven before it are
    // named. Never throws.
    BatchResult finish(CopyBatch batch);

private:
    WrittenCopy writeCopy(const std::string& source, UniqueFd src, const std::vector<CopyTarget>& targets,
                          CopyBatch::State* batch, bool shareFlush);
    // Reads back and compares every live target of the copy. False when cancelled: then nothing of
    // the copy is left.
    bool prove(WrittenCopy::State& copy, unsigned char* buffer, std::size_t chunk);
    // Proves the copies in order, then names those proven and flushes each of their folders once.
    // Returns how many were proven before a cancellation; every later copy is removed.
    std::size_t proveAndName(const std::vector<WrittenCopy::State*>& copies, unsigned char* buffer, std::size_t chunk,
                             std::vector<CopyResult>& results);

    Sys& sys_;
};

// Gives the temporary file `tmpName` the name `finalName` in the folder open as dirFd without ever
// replacing what is at `finalName`: RENAME_NOREPLACE, else link + unlink, else lstat + rename.
// Throws destinationExists(finalPath) or posix("rename " + finalPath, errno).
void moveIntoPlaceNoClobber(Sys& sys, int dirFd, const std::string& tmpName, const std::string& finalName,
                            const std::string& finalPath);

// "." + name + ".halvetrop-" + token + ".partial", with `name` cut on a UTF-8 boundary when the
// whole would not fit in one file-name component of `maxBytes` bytes.
std::string temporaryName(std::string_view name, std::string_view token, std::size_t maxBytes = fileNameMax);

}  // namespace halvetrop

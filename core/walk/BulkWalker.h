#pragma once
// Lists a whole directory tree (a card or a backup folder) on a few worker threads and returns
// flat, compact arrays: directories with paths relative to the root, files and symbolic links
// that name their directory by index, and one error per path that could not be read.
//
// Names are kept as the raw bytes the kernel returned, because that is the only spelling that opens
// the file again; repaired UTF-8 is made on demand for display, name keys, JSON and CSV.
#include "platform/HeldObject.h"
#include "platform/NoAtime.h"
#include "platform/Sys.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace halvetrop {

// One file or symbolic link. The name lives in WalkResult's name arena; ask the result for it.
struct WalkEntry {
    enum class Kind : std::uint8_t { file = 0, directory = 1, symlink = 2, other = 3 };

    std::int32_t parent = 0;          // index into WalkResult::directories
    Kind kind = Kind::file;           // only file or symlink are ever emitted
    std::uint16_t nameLength = 0;     // bytes of the raw name (NAME_MAX is 255)
    std::uint32_t bsdFlags = 0;       // statx attribute flags (low 32 bits); Linux has no dataless bit
    std::uint64_t nameOffset = 0;     // where the raw name starts in WalkResult's name arena
    std::int64_t size = 0;            // logical length; 0 for a symbolic link
    std::int64_t modifiedNS = 0;      // ns since 1970-01-01 UTC
    std::int64_t createdNS = 0;       // birth time, 0 when the file system has none
    std::int64_t changedNS = 0;       // status change time (ctime): moves with any rewrite or rename
    std::uint64_t fileID = 0;         // st_ino
    std::uint64_t device = 0;         // st_dev (makedev of the statx major/minor)
    std::int64_t allocatedSize = 0;   // st_blocks * 512; 0 for a symbolic link

    // The platform's dataless flag; never set by Linux, kept so placeholders read the same way.
    bool isDataless() const { return (bsdFlags & 0x40000000u) != 0; }
};

// A raw value of 4 or more names no kind.
bool walkEntryKindFromRaw(std::uint8_t raw, WalkEntry::Kind* out);

struct WalkDirectory {
    std::int32_t parent = -1;         // -1 for the root
    std::string relativePath;         // raw bytes, "/"-joined, "" for the root
    std::int64_t modifiedNS = 0;
    bool isPackageCandidate = false;  // the name holds a "."; false for the root
    std::uint64_t device = 0;         // st_dev
    std::uint64_t fileID = 0;         // st_ino
};

struct WalkError {
    std::string path;                 // full path (the root as the caller gave it, then raw bytes)
    std::int32_t errorNumber = 0;
    // A folder that could not be opened or listed, rather than an entry whose status could not be
    // read (which may be a file or a folder).
    bool folder = false;
};

struct WalkResult {
    std::vector<WalkDirectory> directories;  // the root at index 0
    std::vector<WalkEntry> entries;
    std::vector<WalkError> errors;
    std::string names;                       // arena of raw entry names, addressed by WalkEntry

    std::string root;                        // the root as the caller gave it (for display)
    std::string resolvedRoot;                // realpath of the root, what was actually listed
    // The mount the listing went through (its descriptor's, not the path's); not known (0) when the
    // root could not be opened. Without crossMountPoints every folder listed is on it, and a file
    // on another is one mounted over a single file (STATX_ATTR_MOUNT_ROOT in its bsdFlags).
    MountID rootMount;
    // Folders opened without O_NOATIME (they belong to another user) on a mount that records
    // access times: listing them may have changed their access times.
    std::int64_t accessTimesTouched = 0;

    // Raw name bytes: use these to open or stat the entry.
    std::string_view name(const WalkEntry& e) const { return std::string_view(names).substr(e.nameOffset, e.nameLength); }
    // Valid UTF-8 (U+FFFD for every ill-formed sequence): for display, keys, JSON and CSV.
    std::string displayName(const WalkEntry& e) const;
    // Directory's relative path + "/" + name, or the name alone in the root. Raw bytes.
    std::string relativePath(const WalkEntry& e) const;
    std::string displayRelativePath(const WalkEntry& e) const;
    std::string displayRelativePath(const WalkDirectory& d) const;
    // resolvedRoot joined with the entry's relative path: the path to open.
    std::string fullPath(const WalkEntry& e) const;
    // Bytes held by the result's arrays and strings (for the benchmark's memory figure).
    std::size_t memoryBytes() const;
};

// What a walk throws. It has no user text: the verifier words it ("Can't read ..." / "Cancelled").
class BulkWalkerError : public std::exception {
public:
    enum class Kind { cannotOpenRoot, cancelled };

    static BulkWalkerError cannotOpenRoot(std::int32_t error) { return BulkWalkerError(Kind::cannotOpenRoot, error); }
    static BulkWalkerError cancelled() { return BulkWalkerError(Kind::cancelled, 0); }

    Kind kind() const { return kind_; }
    std::int32_t errorNumber() const { return error_; }  // for cannotOpenRoot
    const char* what() const noexcept override;

private:
    BulkWalkerError(Kind k, std::int32_t e) : kind_(k), error_(e) {}
    Kind kind_;
    std::int32_t error_;
};

// The seven system folders no camera card or backup needs listed, compared with the whole name,
// case-sensitive.
std::set<std::string> defaultWalkSkipNames();

struct BulkWalkerOptions {
    std::int64_t maxConcurrency = 4;   // worker threads; below 1 counts as 1
    bool crossMountPoints = false;     // list directories that are the root of another mount
    std::int64_t bufferSize = 262144;  // bytes of each worker's getdents64 buffer
    std::set<std::string> skipNames = defaultWalkSkipNames();
    // Where each folder opened without O_NOATIME is also noted as the walk goes (its check's record),
    // beside the result's count; it outlives the walk.
    AccessTimesTouched* touched = nullptr;
};

// One walker serves one walk. cancel() may be called from any thread at any time.
class BulkWalker {
public:
    using Options = BulkWalkerOptions;

    explicit BulkWalker(Options options = Options(), Sys& sys = defaultSys());
    BulkWalker(const BulkWalker&) = delete;
    BulkWalker& operator=(const BulkWalker&) = delete;

    // root: a path to a folder; a symbolic link is resolved first (a backup folder is often a link
    // to a mounted drive). Throws BulkWalkerError; trouble below the root goes to result.errors.
    WalkResult walk(const std::string& root);
    void cancel();

    const Options& options() const { return options_; }

private:
    struct Pending {
        std::string relativePath;  // below the root; "" for the root itself
        std::int32_t index;
        std::uint64_t device;      // of the directory, to spot mount roots where statx cannot
    };
    struct Worker;

    void workerLoop(Worker& w);
    void listOne(Worker& w, const Pending& dir);
    int openDirectory(const std::string& relative);
    // Of `names`, those that a fresh listing of the directory still shows.
    std::vector<std::string> stillListed(const std::string& relative, const std::vector<std::string>& names, Worker& w);
    void addError(std::string path, int error, bool folder = false);
    std::string fullPathOf(std::string_view relative) const;

    const Options options_;
    Sys& sys_;
    std::set<std::string, std::less<>> skip_;
    int rootFd_ = -1;
    MountID rootMount_;
    std::string root_;  // as given, for error paths

    std::mutex mutex_;
    std::condition_variable cond_;
    std::vector<Pending> pending_;
    std::int64_t active_ = 0;
    bool cancelledFlag_ = false;
    std::atomic<bool> cancelRequested_{false};  // lets a long listing stop early
    AccessTimesTouched touched_;                  // shared by the workers
    std::vector<WalkDirectory> directories_;
    std::vector<WalkError> errors_;
};

}  // namespace halvetrop

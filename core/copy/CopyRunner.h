#pragma once
// Carries out one CopyPlan on one backup: refuses it whole when the volume lacks room, creates the
// destination folders inside the backup folder only, recognises files already there, numbers a
// colliding name, copies every other file with the CopyEngine (small files in batches that share
// one flush of the drive), reports progress, and stops when cancelled from another thread. The
// engine writes through the folders this walk opened, never into a folder on the card however it
// is mounted, and only while the backup folder is still the one the run started on.
#include "copy/CardFence.h"
#include "copy/CopyEngine.h"
#include "copy/CopyPlanner.h"
#include "drives/Drives.h"
#include "platform/Fd.h"
#include "platform/Sys.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace halvetrop {

struct CopyProgress {
    std::int64_t bytesDone = 0;
    std::int64_t bytesTotal = 0;
    // Files whose bytes are through (written, found already there, or failed), as the bytes are.
    int filesDone = 0;
    int filesTotal = 0;
    // Of those, the ones settled: read back and compared, then named (or failed). Small files are
    // proven in batches that share one flush of the drive, so this lags filesDone by up to a batch.
    int filesProven = 0;
    std::string current;  // the planned name of the item being worked on (bytes)
    double fraction() const { return bytesTotal == 0 ? 1.0 : double(bytesDone) / double(bytesTotal); }
};

struct CopyRunResult {
    struct Copied {
        std::int64_t id = 0;
        std::string path;
        // Whether the read-back that proved this copy came from the medium (false on tmpfs, FUSE).
        bool readBackFromMedium = false;
    };
    struct AlreadyThere {
        std::int64_t id = 0;
        std::string path;
        // Whether the existing file was read from the medium when it was compared, as a copy's
        // read-back is.
        bool readFromMedium = false;
    };
    struct Failed {
        Failed() = default;
        Failed(std::int64_t id, std::string message, std::optional<CopyError> error = std::nullopt)
            : id(id), message(std::move(message)), error(std::move(error)) {}
        std::int64_t id = 0;
        std::string message;
        // The error the message says, where the run had one (not for a system call's failure).
        std::optional<CopyError> error;
    };
    std::vector<Copied> copied;
    std::vector<AlreadyThere> alreadyThere;
    std::vector<Failed> failed;
    bool cancelled = false;
    std::int64_t bytesCopied = 0;
    // Card files opened without O_NOATIME (they belong to another user) where the mount records
    // access times: reading them may have changed those.
    std::int64_t sourceAccessTimesTouched = 0;
};

class CopyRunner {
public:
    explicit CopyRunner(CopyPlan plan, Sys& sys = defaultSys());

    std::function<void(const CopyProgress&)> onProgress = [](const CopyProgress&) {};
    // Describes the backup volume (name, file system, free bytes); Drives::info by default.
    std::function<VolumeInfo(const std::string& path)> volumeInfo;
    // Files smaller than this are written in batches that share one flush of the drive and are
    // proven together; a batch is sent for its proof at this many files or bytes. A larger file
    // is flushed and proven on its own.
    std::int64_t sharedFlushBelow = 8 * 1024 * 1024;
    std::size_t filesPerBatch = 128;
    std::int64_t bytesPerBatch = 32 * 1024 * 1024;

    // Runs the plan on the calling thread until done or cancelled; never throws.
    CopyRunResult run();
    // Any thread, any number of times.
    void cancel();
    // Whether cancel() was called; a run that stands in for run() (a scripted copy) ends on it.
    bool isCancelled();

    const CopyPlan& plan() const { return plan_; }

private:
    struct Sameness {
        bool same = false;
        bool fromMedium = false;  // the existing file's bytes came from its medium
    };
    // Where the name search for one file stands: the name looked at, the number to try next.
    struct NameSearch {
        std::string name;
        int next = 2;
        bool alreadyThere = false;
        bool fromMedium = false;
    };

    // A folder this run made, by its pieces below the backup folder and its identity.
    struct MadeFolder {
        std::vector<std::string> pieces;
        dev_t dev = 0;
        ino_t ino = 0;
    };

    // Whether a folder's status is that of the backup folder the run started on.
    bool isBackupRoot(const struct stat& st) const;
    // Returns the destination folder, open, so that what is looked at in it next is looked at there.
    UniqueFd makeDirectories(const std::string& dir, const std::string& root, const std::string& rootReal);
    // Removes the folders this run made that hold nothing (their files failed, or the run was
    // stopped), deepest first; a folder that holds anything, or is another than the one made, stays.
    void removeEmptyFolders();
    // `existingName` is looked up in the folder open as dirFd; `existing` is its path for messages.
    // The card file is read through sourceFd when it is open (-1: opened at `source`).
    Sameness sameContent(const std::string& source, int sourceFd, int dirFd, const std::string& existingName,
                         const std::string& existing, std::int64_t size);
    // Goes on from search.name until a name is free or holds the same bytes as the item's source.
    void findName(NameSearch& search, const PlannedCopy& item, int sourceFd, int dirFd);

    CopyPlan plan_;
    Sys& sys_;
    // Whether each backup volume reads from its medium, asked once per volume for the run.
    PageCache::MediumAnswers medium_;
    std::mutex lock_;
    bool cancelled_ = false;
    // Taken at the start of run(), read-only afterwards (also from the thread proving a copy).
    std::optional<std::pair<dev_t, ino_t>> rootIdentity_;
    CardFence cardFence_;
    // Card files opened here (to compare with a file already at a name) without O_NOATIME.
    AccessTimesTouched sourceTouched_;
    std::vector<MadeFolder> made_;
};

// Byte counts as a file manager shows them: decimal units, "Zero KB", "1 byte", "999 bytes",
// "12 KB", "1.5 MB", "2.35 GB".
std::string formatByteCount(std::int64_t bytes);

}  // namespace halvetrop

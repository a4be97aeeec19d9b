#pragma once
// One check of a camera card against its backups: walk and classify the card, read capture
// dates, index the backups, compare every in-scope card file with its candidate copies, and
// assemble the report with shoots, folders, totals, the safe-to-format verdict and the content
// summary. One Verifier per check; run() once on a thread that may block for the whole check,
// cancel() from any thread at any time.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "anatomy/Kinds.h"
#include "capture/CaptureInfo.h"
#include "drives/Drives.h"
#include "match/ContentReader.h"
#include "match/DestIndex.h"
#include "match/Status.h"
#include "platform/NoAtime.h"
#include "platform/PageCache.h"
#include "report/Report.h"
#include "verify/ExtTable.h"
#include "verify/ParallelFor.h"

namespace halvetrop {

class BulkWalker;
struct WalkResult;

// What the application hands the verifier.
struct VerifyRequest {
    std::string source;                     // the card: a volume root or any folder
    std::vector<std::string> destinations;  // backups; the position is the backup's index everywhere
    VerifyScope scope;                      // photo, video, audio; no sidecars, proxies, camera data
    CheckLevel level = CheckLevel::standard;
    // Separate physical drives that must hold a verified copy. Below 1 counts as 1: no setting
    // makes an uncopied card safe to format.
    int64_t requiredCopies = 2;

    VerifyRequest() = default;
    VerifyRequest(std::string source, std::vector<std::string> destinations)
        : source(std::move(source)), destinations(std::move(destinations)) {}
};

struct VerifyProgress {
    // Raw values are the case names.
    enum class Stage { scanningSource, readingDates, indexingBackups, comparing, done };

    Stage stage = Stage::scanningSource;
    std::string detail;
    int64_t done = 0;
    int64_t total = 0;

    // 0 when total is 0, else done / total capped at 1.
    double fraction() const;

    friend bool operator==(const VerifyProgress&, const VerifyProgress&) = default;
};

std::string_view rawValue(VerifyProgress::Stage stage);
std::optional<VerifyProgress::Stage> verifyStageFromRaw(std::string_view text);

// Why a check ended without a report.
class VerifyError : public std::exception {
public:
    enum class Kind { cannotRead, cancelled };

    static VerifyError cannotRead(std::string path, int32_t errorNumber);
    static VerifyError cancelled();

    Kind kind() const { return kind_; }
    const std::string& path() const { return path_; }     // cannotRead
    int32_t errorNumber() const { return errorNumber_; }  // cannotRead
    // "Can't read " + path + ": " + the system's text, or "Cancelled".
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    VerifyError(Kind kind, std::string path, int32_t errorNumber);
    Kind kind_;
    std::string path_;
    int32_t errorNumber_ = 0;
    std::string description_;
};

// The owner of a sidecar or companion: the lower-cased name without at most two extensions, and
// for Sony clip XML ("C0001M01.XML") without the "M01" (gives "c0001").
std::string ownerStemKey(std::string_view name);

// What a check says of a backup found reached through another mount than the one it indexed: a
// report's problem, and the note of a file whose copy there was not counted.
std::string backupNoLongerConnected(const std::string& backupPath);

// The backups of one check found, during its comparison, reached through another mount than the one
// their walk listed (another volume mounted at the folder): from then on none of their copies is
// read or counted. Shared by the comparison's workers.
class ReplacedBackups {
public:
    void note(RootID root);
    bool contains(RootID root) const;
    // By root number.
    std::vector<RootID> roots() const;

private:
    mutable std::mutex lock_;
    std::vector<RootID> roots_;
};

// Junk files of the card: counted, never listed.
struct JunkTally {
    int64_t files = 0;
    int64_t bytes = 0;
    // Junk folders (lost+found, a trash) that could not be listed, card-relative, display form.
    std::vector<std::string> unlistedFolders{};
};

class Verifier {
public:
    // One regular file of the card that is not junk.
    struct Item {
        std::string rel;     // join(folder, name): a top-folder file gets "/" + name
        std::string name;    // as listed, repaired to UTF-8
        std::string folder;  // "" for the top folder
        int64_t size = 0;
        int64_t mtimeNs = 0;
        int64_t btimeNs = 0;
        int64_t ctimeNs = 0;  // status change time: the last look after the comparison checks it
        uint64_t fileID = 0;
        bool dataless = false;
        FileClass cls;
        bool inScope = false;
        std::optional<CaptureInfo> capture;
        // At the verified level, a file of one window read whole from the medium while its date
        // was read: its fingerprint and, when that read proved every byte, its full digest. The
        // comparison then reads the file no more.
        std::optional<SampleFP> sample;
        std::optional<Digest128> digest;
        // Not part of the listing's meaning, only how to reach and recognise the file again.
        std::string rawRel;   // raw bytes below the card root, to open the file
        uint64_t device = 0;  // st_dev, to recognise the same object on a backup, and to read only it
    };

    // The read-only context shared by all comparisons of one check.
    struct CompareContext {
        VerifyRequest request;
        const DestIndex* index = nullptr;
        std::vector<VolumeInfo> destinationVolumes;
        // Per RootID raw value: the backup's walk root has the card's st_dev.
        std::vector<bool> sameVolume;
        // Per RootID raw value: the backup's walk root is one of the card's own folders, so its
        // files are the card's.
        std::vector<bool> insideCard;
        PhysicalDriveID sourceDrive;
        // The mount the card walk listed through: a card file is read only as the object the scan
        // found (the item's device and inode) through it.
        MountID cardMount;
        // Backups found replaced so far; the run reports them.
        std::shared_ptr<ReplacedBackups> replaced = std::make_shared<ReplacedBackups>();
        ExtTable* extTable = nullptr;
        // Whether each volume reads from its medium, asked once per volume for the whole check.
        std::shared_ptr<PageCache::MediumAnswers> medium = std::make_shared<PageCache::MediumAnswers>();
        // Card files (and backup files inside the card) read without keeping their access times, and
        // the same of the backups.
        std::shared_ptr<AccessTimesTouched> cardAccessTimes = std::make_shared<AccessTimesTouched>();
        std::shared_ptr<AccessTimesTouched> backupAccessTimes = std::make_shared<AccessTimesTouched>();
        // What the content of card and backup files is read through.
        Sys* sys = &defaultSys();

        // The path to open for an index row: its backup's path joined with the row's raw path.
        std::string path(uint32_t row) const;
    };

    explicit Verifier(VerifyRequest request);
    ~Verifier();
    Verifier(const Verifier&) = delete;
    Verifier& operator=(const Verifier&) = delete;

    const VerifyRequest request;
    // Both are called from the check's worker threads as well as run()'s, several at once, and
    // hold no lock of the verifier while they run: a callback guards its own state, and a
    // progress count may arrive after a higher one.
    std::function<void(const VerifyProgress&)> onProgress = [](const VerifyProgress&) {};
    std::function<void(const FileResult&)> onFileResult;  // optional
    // Called once, on whichever thread learns it, as soon as the check knows that it changes access
    // times on the card: at its start for a FUSE card mounted read-write, at its first open of another
    // user's file or folder otherwise. Optional; it must not throw.
    std::function<void(CardAccessTimes)> onCardAccessTimes;
    int64_t width = 4;
    // What the content of card and backup files (dates, fingerprints, digests) is read through.
    Sys* sys = &defaultSys();

    // Throws VerifyError (cannotRead for a card that cannot be listed; cancelled), and passes on
    // an exception that escaped a worker (after every worker has ended).
    VerifyReport run();
    void cancel();
    bool isCancelled() const;

    // The stages, public so that each can be checked on its own.

    // The card's path inside the backup when the card lies inside it, "" when both are the same
    // folder, none otherwise. Both paths are resolved first (symbolic links, ".", ".."), each
    // folder on the way listed for the spelling of the next (with O_NOATIME where the kernel lets
    // it; none of those folders is judged the card's).
    static std::optional<std::string> excludedPrefix(const std::string& source, const std::string& dest);

    // One in-scope card file against the index. Never fails for a file's trouble; throws
    // VerifyError::cancelled when cancel() interrupted a read, so no result is made up.
    std::pair<FileResult, std::vector<Location>> compare(int64_t id, const Item& item,
                                                         const CompareContext& context) const;

    // "yyyy-MM-dd" of an item: its capture's wall clock or date, else its Sony date folder, else
    // its modification day.
    // A card item as a report file before any comparison: status missing, no copies, no day.
    static FileResult startingResult(int64_t id, const Item& item, bool inScope);
    static std::string shootDay(const Item& item, int64_t referenceYear);

    // locations[i] belongs to files with id i (empty for files not compared).
    static std::vector<ShootGroup> buildGroups(const std::vector<FileResult>& files,
                                               const std::vector<std::vector<Location>>& locations,
                                               const DestIndex& ix);
    static std::vector<FolderSummary> buildFolders(const std::vector<FileResult>& files);
    std::vector<ContentLine> contentLines(const std::vector<FileResult>& files, JunkTally junk) const;

    // Card scan pieces: items from a walk in file-manager order with scope and the RAW/JPEG rule
    // applied, junk files counted (the tally's folders are left as they were).
    static std::vector<Item> scanItems(const WalkResult& walk, const VerifyScope& scope, JunkTally* junk);
    // Capture sharing between RAW/JPEG twins and from media to their sidecars.
    static void shareCaptures(std::vector<Item>& items, const std::vector<size_t>& dated);

    // What a check of `card` would do to its access times, told before it starts without reading it:
    // a FUSE card mounted read-write, or a top folder that belongs to another user (O_NOATIME is the
    // owner's) on a mount that records access times.
    static CardAccessTimes expectedCardAccessTimes(const std::string& card);

    // The requiredCopies that counts: at least 1.
    static int64_t effectiveRequiredCopies(int64_t requested) { return requested < 1 ? 1 : requested; }

    // The last look at the card after the comparison: every compared file is examined once more
    // (size, modification and change time, inode; one statx each), and one that differs from the
    // scan is changed, with no safe drive, whatever its comparison found. Returns the indices of
    // the results it changed. run() then lists the card again, and a file the scan did not list
    // joins the report after the others, changed when the scope needs it.
    std::vector<size_t> recheckCard(const std::vector<Item>& items, std::vector<std::optional<FileResult>>& results) const;

private:
    // `touched`: where folders opened without O_NOATIME are noted as the walk goes.
    WalkResult walkTree(const std::string& path, AccessTimesTouched* touched = nullptr);
    void checkCancelled() const;
    void progress(VerifyProgress::Stage stage, std::string detail, int64_t done, int64_t total) const;

    mutable std::mutex lock_;
    bool cancelled_ = false;
    std::vector<std::shared_ptr<BulkWalker>> walkers_;
};

}  // namespace halvetrop

#pragma once
// The remembered checks: the last 40 cards with their reports, newest first, mirrored in one JSON
// file. Each report is held as its summary and its packed stored text, and decoded when opened.
// The rules (same card, card-only, the limit) are pure functions over a list; the store owns the
// list, the file and the background work that reads and writes it.
//
// History is never lost: nothing is written before the file was read, a record made before that
// is merged into what was read, one item that does not decode is dropped alone, and a file that
// loses anything on reading (items it cannot decode, or more than the limit keeps) is first kept
// aside as "history.json.bad-<time>".
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUuid>

class QThreadPool;

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/SavedReport.h"
#include "report/Report.h"

namespace halvetrop {

inline constexpr size_t historyLimit = 40;

// The same card in another reader or under another mount name has the same key as long as its
// volume identifier is the same: volume id (else its mount point), "|", the card's place in its
// volume (placeInVolume: the part a mount of part of it shows, then the card's path below the
// mount point, keeping its leading "/"; empty for the root of the whole).
std::string historyKey(const VolumeInfo& source);

// Whether two recorded cards are one: the same place in their volume, on volumes the one rule
// (matchVolume) calls the same. Two cards of one label at one mount path are two cards unless
// their UUIDs, or their very mount, say otherwise; a subvolume mounted alone is not the whole.
bool sameCard(const VolumeInfo& a, const VolumeInfo& b);

struct HistoryItem {
    QUuid id;
    // Shared and never changed after recording (only packed), so a snapshot for saving costs no
    // copy of the files. Never null.
    std::shared_ptr<const SavedReport> report;
    std::optional<QByteArray> sourceBookmark;
    std::vector<QByteArray> destinationBookmarks;  // empty for a card-only scan

    std::string key() const { return historyKey(report->summary().source); }
    bool sameCardAs(const HistoryItem& other) const {
        return sameCard(report->summary().source, other.report->summary().source);
    }
};

// A new item for a finished report: a fresh id, the report held whole until its first save.
HistoryItem makeHistoryItem(VerifyReport report, std::optional<QByteArray> sourceBookmark,
                            std::vector<QByteArray> destinationBookmarks);

// Records `item` at the front of `history` (newest first): a card-only scan is not recorded over
// an entry of the same card that was compared against backups (returns false, `history` left as
// it was); otherwise every entry with the same key goes, and the list is cut to the limit.
bool recordInto(std::vector<HistoryItem>& history, HistoryItem item);
// Removes the entry with this id; false when there was none.
bool forgetIn(std::vector<HistoryItem>& history, const QUuid& id);

// The file's text: a compact JSON array of {"id","report","sourceBookmark","destinationBookmarks"}
// objects, the report in its stored form, bookmarks as Base64, "sourceBookmark" left out when
// there is none.
std::string encodeHistory(const std::vector<HistoryItem>& items);

// What reading a history file gave.
struct DecodedHistory {
    std::vector<HistoryItem> items;  // in file order, at most the limit
    int dropped = 0;                 // items that did not decode, each dropped alone
    int beyondLimit = 0;             // items past the limit (at least 1 when any followed), not kept
    bool parsed = true;              // false: the text is no JSON array (the items before the break are kept)
    // Something of the file did not make it into `items`: it must be kept aside before the file
    // is rewritten.
    bool lossy() const { return dropped > 0 || !parsed || beyondLimit > 0; }
};

// Decodes the file's text with `workers` threads in all. Never throws.
DecodedHistory decodeHistory(std::string_view text, int workers = 1);

// How many threads read a history (one reads the file, the others decode): more would hold more
// reports half-decoded at once than the history's memory allows.
int historyLoadWorkers();

// Reads and decodes the file at `path` a part at a time, so the whole text is never held at once.
// The history file and its summaries may be links the user made: each is read through its link,
// and written through it (a new file beside the file it leads to, renamed over that file), so the
// link stays. Anything else than a plain file there (a fifo, a folder, a device, a link that leads
// nowhere or round in a loop) is never opened: at the history's place it is unreadable and moved
// aside like a damaged file; at the summaries' place it is left as it is and not used.
struct HistoryLoad {
    DecodedHistory decoded;
    bool missing = false;     // no file yet: an empty history, nothing to keep aside
    bool unreadable = false;  // the file exists but could not be read
    QString keptAs;           // where the file was kept aside, when it was
};
// `pieceSize` bytes are read at a time.
HistoryLoad readHistoryFile(const QString& path, int workers, long long pieceSize = 4 << 20);

// Writes the file atomically (a temporary file renamed over it), then its summaries beside it. The
// reason on failure, also when something else than a plain file is at its place.
std::optional<QString> writeHistoryFile(const QString& path, const std::vector<HistoryItem>& items);

// The summaries file beside the history file at `historyPath` (see HistorySummaries.h): written
// for these items, made of the file as it is now; false when it could not be.
bool writeSummariesFile(const QString& historyPath, const std::vector<HistoryItem>& items);
// The entries listed by it, their reports known by their summaries alone; nothing when it is
// missing, damaged, or of another history file.
std::optional<std::vector<HistoryItem>> readSummariesFile(const QString& historyPath);
// Whether two lists hold the same entries, summaries and bookmarks, in the same order.
bool sameListing(const std::vector<HistoryItem>& a, const std::vector<HistoryItem>& b);

// The owner of the history list and its file. Lives on the GUI thread; the file is read and
// written on a thread pool of its own, one task at a time, and results come back as queued
// calls. Nothing else in the process writes the file.
class HistoryStore : public QObject {
    Q_OBJECT
public:
    // `file` is the history file; its folder is made when a save needs it.
    explicit HistoryStore(QString file, QObject* parent = nullptr);
    ~HistoryStore() override;
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // The desktop's place: GenericDataLocation + "/Halvetrop/history.json" (the folder is made).
    static QString defaultFile();

    const QString& file() const { return file_; }
    // Newest first, at most the limit. Until the load finished, what the summaries file listed (its
    // reports do not open) with the records made before it; before that, those records alone.
    const std::vector<HistoryItem>& items() const { return items_; }
    const HistoryItem* find(const QUuid& id) const;
    bool isLoaded() const { return loaded_; }
    // Where the last load kept a damaged file aside (empty when it did not).
    const QString& keptAside() const { return keptAside_; }

    // Starts the background load; a second call does nothing.
    void load();
    // Records a finished check by the rules above and saves; false when the card-only rule kept
    // the list as it was (nothing is saved then).
    bool record(HistoryItem item);
    // Removes the entry with this id and saves (also when it was not there).
    void forget(const QUuid& id);

    // For quitting: waits at most `timeoutMs` for the load to finish (merging its result), then
    // for the newest list to be written. True when nothing is left undone; false when time ran
    // out (an unread file is then never overwritten). A negative time waits for as long as it takes.
    bool flush(int timeoutMs);

signals:
    // items() changed: the load merged, a record, a forget.
    void changed();
    // The load finished (once); items() holds the merged list.
    void loaded();

private:
    struct Shared;
    // A record (with its item) or a forget (without), made before the load finished.
    struct Op {
        QUuid id;
        std::optional<HistoryItem> item;
    };
    void collectListing();
    void collectLoad();
    std::vector<HistoryItem> withEarlierOps(std::vector<HistoryItem> read) const;
    void save();

    QString file_;
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<QThreadPool> pool_;
    std::vector<HistoryItem> items_;
    std::vector<Op> beforeLoad_;  // records and forgets made before the load finished, in order
    bool loadStarted_ = false;
    bool loaded_ = false;
    bool dirty_ = false;    // a change waits for the load before it can be saved
    bool writable_ = true;  // false when a damaged file could not be kept aside
    QString keptAside_;
};

}  // namespace halvetrop

#include "model/History.h"

#include <fcntl.h>
#include <malloc.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <nlohmann/json.hpp>

#include "drives/VolumeMatch.h"
#include "model/HistorySummaries.h"
#include "model/JsonScan.h"
#include "model/WriteAll.h"

namespace halvetrop {

std::string historyKey(const VolumeInfo& source) {
    const std::string& volume = source.volumeID ? *source.volumeID : source.volumePath;
    return volume + "|" + placeInVolume(source);
}

bool sameCard(const VolumeInfo& a, const VolumeInfo& b) {
    return placeInVolume(a) == placeInVolume(b) && matchVolume(a, b) == VolumeMatch::same;
}

HistoryItem makeHistoryItem(VerifyReport report, std::optional<QByteArray> sourceBookmark,
                            std::vector<QByteArray> destinationBookmarks) {
    return {QUuid::createUuid(), std::make_shared<const SavedReport>(std::move(report)),
            std::move(sourceBookmark), std::move(destinationBookmarks)};
}

bool recordInto(std::vector<HistoryItem>& history, HistoryItem item) {
    if (item.report->summary().isCardOnly()) {
        // A scan of the card alone says less than a comparison with backups: it never replaces one.
        bool compared = std::any_of(history.begin(), history.end(), [&](const HistoryItem& h) {
            return !h.report->summary().isCardOnly() && h.sameCardAs(item);
        });
        if (compared) return false;
    }
    std::erase_if(history, [&](const HistoryItem& h) { return h.sameCardAs(item); });
    history.insert(history.begin(), std::move(item));
    if (history.size() > historyLimit) history.resize(historyLimit);
    return true;
}

bool forgetIn(std::vector<HistoryItem>& history, const QUuid& id) {
    return std::erase_if(history, [&](const HistoryItem& h) { return h.id == id; }) > 0;
}

// ---------------------------------------------------------------------------------------------
// The file's text

namespace {

void appendItem(std::string& out, const HistoryItem& item) {
    out += "{\"id\":\"";
    out += item.id.toString(QUuid::WithoutBraces).toStdString();
    out += "\",\"report\":";
    out += item.report->storedText();
    if (item.sourceBookmark) {
        out += ",\"sourceBookmark\":\"";
        out += item.sourceBookmark->toBase64().toStdString();
        out += '"';
    }
    out += ",\"destinationBookmarks\":[";
    for (size_t i = 0; i < item.destinationBookmarks.size(); ++i) {
        if (i) out += ',';
        out += '"';
        out += item.destinationBookmarks[i].toBase64().toStdString();
        out += '"';
    }
    out += "]}";
}

// Splits the file's top-level array into the texts of its items, a piece at a time.
class ItemSplitter {
public:
    // Complete items of this piece are appended to `out`.
    void feed(std::string_view piece, std::vector<std::string>& out) {
        size_t i = 0;
        while (i < piece.size() && state_ != State::failed) {
            if (state_ == State::inItem) {
                size_t end = scanner_.scan(piece, i);
                if (end == std::string_view::npos) {
                    item_.append(piece.substr(i));
                    return;
                }
                item_.append(piece.substr(i, end - i));
                out.push_back(std::move(item_));
                item_.clear();
                state_ = State::afterItem;
                i = end;
                continue;
            }
            i = jsonscan::skipBlanks(piece, i);
            if (i == piece.size()) return;
            const char c = piece[i];
            switch (state_) {
                case State::beforeArray:
                    state_ = c == '[' ? State::firstItem : State::failed;
                    ++i;
                    break;
                case State::firstItem:
                case State::nextItem:
                    if (c == ']') {
                        state_ = state_ == State::firstItem ? State::done : State::failed;
                        ++i;
                    } else {
                        scanner_ = jsonscan::ValueScanner();
                        state_ = State::inItem;
                    }
                    break;
                case State::afterItem:
                    state_ = c == ',' ? State::nextItem : c == ']' ? State::done : State::failed;
                    ++i;
                    break;
                case State::done:
                case State::inItem:
                case State::failed:
                    state_ = State::failed;
                    break;
            }
        }
    }

    // The whole text was fed: true when it was one complete array.
    bool complete() const { return state_ == State::done; }
    bool failed() const { return state_ == State::failed; }
    // After a comma, or inside an item: another item follows what was handed over.
    bool moreFollows() const { return state_ == State::nextItem || state_ == State::inItem; }

private:
    enum class State { beforeArray, firstItem, nextItem, inItem, afterItem, done, failed };
    State state_ = State::beforeArray;
    jsonscan::ValueScanner scanner_;
    std::string item_;
};

[[noreturn]] void badItem(const std::string& problem) { throw std::runtime_error(problem); }

QByteArray bookmark(const std::string& base64) {
    auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromStdString(base64),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) badItem("a bookmark is not Base64");
    return *decoded;
}

// One item of the file; throws when anything of it is not as written. Its report is read only as
// far as its summary needs; the rest waits, packed, until the entry is opened.
HistoryItem decodeItem(std::string_view text) {
    HistoryItem item;
    bool haveID = false;
    bool haveBackups = false;
    jsonscan::forEachMember(text, [&](std::string_view keyToken, std::string_view value) {
        const std::string key = jsonscan::text(keyToken);
        if (key == "id") {
            item.id = QUuid::fromString(QString::fromStdString(jsonscan::text(value)));
            if (item.id.isNull()) badItem("the id is no UUID");
            haveID = true;
        } else if (key == "report") {
            item.report = SavedReport::fromStored(value);
        } else if (key == "sourceBookmark") {
            item.sourceBookmark.reset();
            if (value != "null") item.sourceBookmark = bookmark(jsonscan::text(value));
        } else if (key == "destinationBookmarks") {
            item.destinationBookmarks.clear();
            jsonscan::forEachElement(value, [&](std::string_view entry) {
                item.destinationBookmarks.push_back(bookmark(jsonscan::text(entry)));
            });
            haveBackups = true;
        } else if (!nlohmann::json::accept(value)) {
            badItem("an unknown key holds no JSON value");
        }
    });
    if (!haveID || !item.report || !haveBackups) badItem("a required key is missing");
    return item;
}

// Decodes items while the file is still being read: the reading thread hands over each item's
// text, `workers` - 1 more threads decode them (the reading thread itself when there are none),
// and the results are put back in file order. At most two texts wait at any time, so the whole
// file is never held, and each decoding thread holds one half-built report.
class ItemPipeline {
public:
    ItemPipeline(DecodedHistory& out, int workers) : out_(out) {
        for (int i = 1; i < workers; ++i) threads_.emplace_back([this] { work(); });
    }
    ~ItemPipeline() { close(); }
    ItemPipeline(const ItemPipeline&) = delete;
    ItemPipeline& operator=(const ItemPipeline&) = delete;

    // Enough items decoded: the rest of the file is not needed.
    bool full() {
        std::lock_guard lock(mutex_);
        return good_ >= historyLimit;
    }

    void push(std::string text) {
        if (threads_.empty()) {
            store(results_.size(), decodeOne(text));
            return;
        }
        std::unique_lock lock(mutex_);
        room_.wait(lock, [&] { return waiting_.size() < waitingLimit; });
        waiting_.emplace_back(results_.size(), std::move(text));
        results_.emplace_back();
        work_.notify_one();
    }

    // Waits for every item, then hands the results over in file order.
    void finish() {
        close();
        for (auto& item : results_) {
            if (out_.items.size() >= historyLimit) {
                ++out_.beyondLimit;
                continue;
            }
            if (item) {
                out_.items.push_back(std::move(*item));
            } else {
                ++out_.dropped;
            }
        }
        results_.clear();
    }

private:
    static std::optional<HistoryItem> decodeOne(std::string_view text) {
        try {
            return decodeItem(text);
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }

    void store(size_t index, std::optional<HistoryItem> item) {
        if (threads_.empty()) {
            good_ += item.has_value();
            results_.push_back(std::move(item));
            return;
        }
        std::lock_guard lock(mutex_);
        good_ += item.has_value();
        results_[index] = std::move(item);
    }

    void work() {
        for (;;) {
            std::pair<size_t, std::string> next;
            {
                std::unique_lock lock(mutex_);
                work_.wait(lock, [&] { return closed_ || !waiting_.empty(); });
                if (waiting_.empty()) return;
                next = std::move(waiting_.front());
                waiting_.pop_front();
                room_.notify_one();
            }
            auto item = decodeOne(next.second);
            std::string().swap(next.second);
            store(next.first, std::move(item));
        }
    }

    void close() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
            work_.notify_all();
        }
        for (std::thread& t : threads_) t.join();
        threads_.clear();
    }

    DecodedHistory& out_;
    std::mutex mutex_;
    std::condition_variable work_;  // a text is waiting, or the pipeline closed
    std::condition_variable room_;  // a waiting text was taken
    std::deque<std::pair<size_t, std::string>> waiting_;
    std::deque<std::optional<HistoryItem>> results_;  // in file order
    static constexpr size_t waitingLimit = 2;
    size_t good_ = 0;
    bool closed_ = false;
    std::vector<std::thread> threads_;
};

// Whether anything, a link that leads nowhere too, has this name.
bool taken(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 || errno != ENOENT;
}

QString keepAsideName(const QString& path) {
    const QString base = path + QStringLiteral(".bad-") +
                         QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = base;
    for (int n = 2; taken(name); ++n) name = base + QStringLiteral("-%1").arg(n);
    return name;
}

// The history and its summaries follow one rule. A link the user made is followed: the file it
// leads to is read, and a save writes a new file beside that file and renames it over it, so the
// link stays a link. Anything else than a plain file at the end (a fifo, a folder, a device, a link
// that leads nowhere or round in a loop) is never opened nor written through: a fifo would hold
// the reading thread until a writer came, and a device might never end.
struct FilePlace {
    enum class Kind { missing, plain, other };
    Kind kind = Kind::missing;
    QByteArray file;  // the plain file, its links resolved; the place itself while missing
    struct stat st {};
};

FilePlace filePlace(const QString& path) {
    FilePlace place;
    place.file = QFile::encodeName(path);
    if (::lstat(place.file.constData(), &place.st) != 0) {
        place.kind = errno == ENOENT ? FilePlace::Kind::missing : FilePlace::Kind::other;
        return place;
    }
    if (S_ISLNK(place.st.st_mode)) {
        char* resolved = ::realpath(place.file.constData(), nullptr);
        if (!resolved) {
            place.kind = FilePlace::Kind::other;
            return place;
        }
        place.file = resolved;
        ::free(resolved);
        if (::lstat(place.file.constData(), &place.st) != 0) {
            place.kind = FilePlace::Kind::other;
            return place;
        }
    }
    place.kind = S_ISREG(place.st.st_mode) ? FilePlace::Kind::plain : FilePlace::Kind::other;
    return place;
}

// The plain file of `place` opened for reading, without waiting, and only while it is that very
// file (whatever was put there since the look at it is not read); -1 otherwise.
int openPlain(const FilePlace& place) {
    if (place.kind != FilePlace::Kind::plain) return -1;
    const int fd = ::open(place.file.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_dev != place.st.st_dev ||
        opened.st_ino != place.st.st_ino) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Writes the file at `path` by the rule above through `write`; the reason when it could not.
std::optional<QString> writePlace(const QString& path, const std::function<bool(QIODevice&)>& write) {
    const FilePlace place = filePlace(path);
    if (place.kind == FilePlace::Kind::other)
        return QStringLiteral("%1 is not a file, nor a link to one.").arg(QDir::toNativeSeparators(path));
    if (place.kind == FilePlace::Kind::missing) QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile out(QFile::decodeName(place.file));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return out.errorString();
    if (!write(out)) {
        QString reason = out.errorString();
        out.cancelWriting();
        return reason;
    }
    if (!out.commit()) return out.errorString();
    return std::nullopt;
}

// The text of the summaries file at `path` when it holds at most `limit` bytes.
std::optional<std::string> plainFileText(const QString& path, int64_t limit) {
    const FilePlace place = filePlace(path);
    if (place.kind != FilePlace::Kind::plain || place.st.st_size > limit) return std::nullopt;
    const int fd = openPlain(place);
    if (fd < 0) return std::nullopt;
    std::string text;
    bool whole = false;
    char buffer[64 << 10];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) whole = true;
        if (got <= 0 || int64_t(text.size()) + got > limit) break;
        text.append(buffer, size_t(got));
    }
    ::close(fd);
    if (!whole) return std::nullopt;
    return text;
}

// A copy of the whole of `from`, read again from its start, at `aside`.
bool copyAside(QFile& from, const QString& aside) {
    QFile to(aside);
    if (!from.seek(0) || !to.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return false;
    char buffer[64 << 10];
    for (;;) {
        const qint64 got = from.read(buffer, sizeof buffer);
        if (got == 0 && to.flush()) return true;
        if (got <= 0 || !writeAll(to, std::string_view(buffer, size_t(got)))) break;
    }
    to.remove();
    return false;
}

SummaryEntry summaryEntry(const HistoryItem& item) {
    return {item.id, item.report->summary(), item.sourceBookmark, item.destinationBookmarks};
}

}  // namespace

bool writeSummariesFile(const QString& historyPath, const std::vector<HistoryItem>& items) {
    // Summaries that were not replaced name the history file before this one: they are not used.
    const std::optional<HistoryStamp> stamp = historyStamp(historyPath);
    if (!stamp) return false;
    std::vector<SummaryEntry> entries;
    entries.reserve(items.size());
    for (const HistoryItem& item : items) entries.push_back(summaryEntry(item));
    return !writePlace(summariesPath(historyPath),
                       [&](QIODevice& out) { return writeAll(out, encodeSummaries(*stamp, entries)); });
}

std::optional<std::vector<HistoryItem>> readSummariesFile(const QString& historyPath) {
    const std::optional<HistoryStamp> stamp = historyStamp(historyPath);
    if (!stamp) return std::nullopt;
    const std::optional<std::string> text = plainFileText(summariesPath(historyPath), summariesLimit);
    if (!text) return std::nullopt;
    auto entries = decodeSummaries(*text, *stamp);
    if (!entries || entries->size() > historyLimit) return std::nullopt;
    std::vector<HistoryItem> items;
    for (SummaryEntry& e : *entries)
        items.push_back({e.id, SavedReport::ofSummary(std::move(e.summary)), std::move(e.sourceBookmark),
                         std::move(e.destinationBookmarks)});
    return items;
}

bool sameListing(const std::vector<HistoryItem>& a, const std::vector<HistoryItem>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const HistoryItem& x, const HistoryItem& y) {
        return summaryEntry(x) == summaryEntry(y);
    });
}

std::string encodeHistory(const std::vector<HistoryItem>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) out += ',';
        appendItem(out, items[i]);
    }
    out += ']';
    return out;
}

DecodedHistory decodeHistory(std::string_view text, int workers) {
    DecodedHistory decoded;
    ItemPipeline pipeline(decoded, workers);
    ItemSplitter splitter;
    std::vector<std::string> texts;
    splitter.feed(text, texts);
    for (std::string& item : texts) pipeline.push(std::move(item));
    pipeline.finish();
    decoded.parsed = splitter.complete();
    return decoded;
}

int historyLoadWorkers() { return std::clamp(QThread::idealThreadCount(), 1, 4); }

HistoryLoad readHistoryFile(const QString& path, int workers, long long pieceSize) {
    HistoryLoad load;
    const FilePlace place = filePlace(path);
    if (place.kind == FilePlace::Kind::missing) {
        load.missing = true;
        return load;
    }
    QFile file;
    const int fd = openPlain(place);
    if (fd >= 0 && !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) ::close(fd);
    if (!file.isOpen()) {
        // Unreadable now is not empty: it is moved out of the way so the next save cannot replace
        // it. A link is moved itself; what it leads to stays as it is.
        load.unreadable = true;
        load.decoded.parsed = false;
        QString aside = keepAsideName(path);
        if (QFile::rename(path, aside)) load.keptAs = aside;
        return load;
    }

    ItemPipeline pipeline(load.decoded, workers);
    ItemSplitter splitter;
    std::vector<std::string> texts;
    // Pieces small enough that the whole text is never held, large enough to read quickly.
    pieceSize = std::max(pieceSize, 1LL);
    std::string piece(static_cast<size_t>(pieceSize), '\0');
    bool readFailed = false;
    // Once enough entries are decoded, what follows is only looked at (a newer version's longer
    // list, or one merged by hand, loses the rest when it is saved): the same is found whether the
    // decoders were behind the reading or not.
    bool more = false;
    while (!splitter.failed()) {
        const bool full = pipeline.full();
        if (full && splitter.moreFollows()) {
            more = true;
            break;
        }
        const qint64 got = file.read(piece.data(), pieceSize);
        if (got < 0) readFailed = true;
        if (got <= 0) break;
        splitter.feed(std::string_view(piece.data(), static_cast<size_t>(got)), texts);
        if (full && !texts.empty()) {
            more = true;
            break;
        }
        for (std::string& item : texts) pipeline.push(std::move(item));
        texts.clear();
    }
    pipeline.finish();
    if (more && load.decoded.beyondLimit == 0) load.decoded.beyondLimit = 1;
    load.decoded.parsed = !readFailed && (more || splitter.complete());
    if (load.decoded.lossy()) {
        QString aside = keepAsideName(path);
        if (copyAside(file, aside)) load.keptAs = aside;
    }
    return load;
}

std::optional<QString> writeHistoryFile(const QString& path, const std::vector<HistoryItem>& items) {
    std::optional<QString> failed = writePlace(path, [&](QIODevice& out) {
        // One item at a time: the whole text of 40 reports is never held at once.
        std::string text = "[";
        for (size_t i = 0; i < items.size(); ++i) {
            if (i) text += ',';
            appendItem(text, items[i]);
            if (!writeAll(out, text)) return false;
            text.clear();
        }
        text += ']';
        return writeAll(out, text);
    });
    // The summaries follow the file they list; a failure leaves the full file to be read.
    if (!failed) (void)writeSummariesFile(path, items);
    return failed;
}

// ---------------------------------------------------------------------------------------------
// The store

// What the store and its background tasks share; the tasks hold it, so it outlives a store that
// goes while they run.
struct HistoryStore::Shared {
    std::mutex mutex;
    std::condition_variable settled;   // the load finished, or the writer ran out of work
    HistoryStore* receiver = nullptr;  // the store while it lives
    bool loadDone = false;
    std::optional<std::vector<HistoryItem>> listing;  // read from the summaries, until collected
    std::optional<HistoryLoad> loadResult;
    std::optional<std::vector<HistoryItem>> unsaved;  // the newest list not yet written
    bool writing = false;
};

namespace {

// How long a store that goes away waits for a write under way.
constexpr int lastWriteWaitMs = 5000;

}  // namespace

HistoryStore::HistoryStore(QString file, QObject* parent)
    : QObject(parent), file_(std::move(file)), shared_(std::make_shared<Shared>()) {
    shared_->receiver = this;
    pool_ = std::make_unique<QThreadPool>();
    // One task at a time: the load first, then the saves in order.
    pool_->setMaxThreadCount(1);
}

HistoryStore::~HistoryStore() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->receiver = nullptr;
    }
    // A write that hangs (a stuck network home folder) must not keep the process from ending: the
    // pool is then left to the end of the process.
    if (!pool_->waitForDone(lastWriteWaitMs)) (void)pool_.release();
}

QString HistoryStore::defaultFile() {
    QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Halvetrop");
    QDir().mkpath(folder);
    return folder + QStringLiteral("/history.json");
}

const HistoryItem* HistoryStore::find(const QUuid& id) const {
    auto it = std::find_if(items_.begin(), items_.end(), [&](const HistoryItem& h) { return h.id == id; });
    return it == items_.end() ? nullptr : &*it;
}

void HistoryStore::load() {
    if (loadStarted_) return;
    loadStarted_ = true;
    pool_->start([shared = shared_, file = file_] {
        // The summaries first: the list is shown while the reports are still being read.
        const std::optional<std::vector<HistoryItem>> listing = readSummariesFile(file);
        if (listing) {
            std::lock_guard lock(shared->mutex);
            shared->listing = listing;
            if (HistoryStore* store = shared->receiver) {
                QMetaObject::invokeMethod(
                    store, [store] { store->collectListing(); }, Qt::QueuedConnection);
            }
        }
        HistoryLoad result = readHistoryFile(file, historyLoadWorkers());
        // Summaries that were missing, damaged, of another file or not what the file holds are
        // made again from what was read (the file itself is written only once it has been read).
        const bool whole = !result.missing && !result.unreadable && !result.decoded.lossy();
        if (whole && !(listing && sameListing(*listing, result.decoded.items)))
            (void)writeSummariesFile(file, result.decoded.items);
        std::lock_guard lock(shared->mutex);
        shared->loadResult = std::move(result);
        shared->loadDone = true;
        shared->settled.notify_all();
        if (HistoryStore* store = shared->receiver) {
            QMetaObject::invokeMethod(
                store, [store] { store->collectLoad(); }, Qt::QueuedConnection);
        }
    });
}

// Applies what happened before the load to a list read from the file, by the same rules.
std::vector<HistoryItem> HistoryStore::withEarlierOps(std::vector<HistoryItem> read) const {
    for (const Op& op : beforeLoad_) {
        if (op.item) {
            recordInto(read, *op.item);
        } else {
            forgetIn(read, op.id);
        }
    }
    return read;
}

void HistoryStore::collectListing() {
    std::optional<std::vector<HistoryItem>> listing;
    {
        std::lock_guard lock(shared_->mutex);
        listing = std::move(shared_->listing);
        shared_->listing.reset();
    }
    if (loaded_ || !listing) return;
    items_ = withEarlierOps(std::move(*listing));
    emit changed();
}

void HistoryStore::collectLoad() {
    if (loaded_) return;
    std::optional<HistoryLoad> result;
    {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->loadDone) return;
        result = std::move(shared_->loadResult);
        shared_->loadResult.reset();
    }
    loaded_ = true;
    keptAside_ = result->keptAs;
    // A file that lost something and could not be kept aside stays as it is for this session.
    writable_ = !(result->decoded.lossy() || result->unreadable) || !result->keptAs.isEmpty();
    // What happened before the load happens again on top of it, by the same rules.
    items_ = withEarlierOps(std::move(result->decoded.items));
    beforeLoad_.clear();
    // The reading threads' scratch (a report's text at a time each) would otherwise stay with the
    // process for its life.
    malloc_trim(0);
    emit changed();
    emit loaded();
    if (dirty_) save();
}

bool HistoryStore::record(HistoryItem item) {
    if (!loaded_) beforeLoad_.push_back({item.id, item});
    if (!recordInto(items_, std::move(item))) return false;
    emit changed();
    save();
    return true;
}

void HistoryStore::forget(const QUuid& id) {
    if (!loaded_) beforeLoad_.push_back({id, std::nullopt});
    if (forgetIn(items_, id)) emit changed();
    save();
}

void HistoryStore::save() {
    if (!loaded_) {
        // Writing now would replace entries nobody has read yet.
        dirty_ = true;
        return;
    }
    dirty_ = false;
    if (!writable_) return;
    std::lock_guard lock(shared_->mutex);
    // A snapshot that has not been written yet is simply replaced: the newest list is the one
    // that must end on disk, and only one write runs at a time.
    shared_->unsaved = items_;
    if (shared_->writing) return;
    shared_->writing = true;
    pool_->start([shared = shared_, file = file_] {
        for (;;) {
            std::vector<HistoryItem> snapshot;
            {
                std::lock_guard lock(shared->mutex);
                if (!shared->unsaved) {
                    shared->writing = false;
                    shared->settled.notify_all();
                    return;
                }
                snapshot = std::move(*shared->unsaved);
                shared->unsaved.reset();
            }
            // A failed save is not retried: the list in memory stays, and the next change saves it.
            (void)writeHistoryFile(file, snapshot);
        }
    });
}

bool HistoryStore::flush(int timeoutMs) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    auto waitFor = [&](std::unique_lock<std::mutex>& lock, auto done) {
        if (timeoutMs >= 0) return shared_->settled.wait_until(lock, deadline, done);
        shared_->settled.wait(lock, done);
        return true;
    };
    if (loadStarted_ && !loaded_) {
        {
            std::unique_lock lock(shared_->mutex);
            if (!waitFor(lock, [&] { return shared_->loadDone; })) return false;
        }
        collectLoad();
    }
    if (!loaded_) return !dirty_;
    std::unique_lock lock(shared_->mutex);
    return waitFor(lock, [&] { return !shared_->writing && !shared_->unsaved; });
}

}  // namespace halvetrop

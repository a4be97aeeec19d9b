#include "model/History.h"

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
#include <mutex>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "report/StoredForm.h"
#include "verify/ParallelFor.h"

namespace halvetrop {

std::string historyKey(const VolumeInfo& source) {
    std::string_view path = source.path;
    if (path.starts_with(source.volumePath)) path.remove_prefix(source.volumePath.size());
    const std::string& volume = source.volumeID ? *source.volumeID : source.volumePath;
    std::string key;
    key.reserve(volume.size() + 1 + path.size());
    key.append(volume).append("|").append(path);
    return key;
}

HistoryItem makeHistoryItem(VerifyReport report, std::optional<QByteArray> sourceBookmark,
                            std::vector<QByteArray> destinationBookmarks) {
    return {QUuid::createUuid(), std::make_shared<const VerifyReport>(std::move(report)),
            std::move(sourceBookmark), std::move(destinationBookmarks)};
}

bool recordInto(std::vector<HistoryItem>& history, HistoryItem item) {
    const std::string key = item.key();
    if (item.report->isCardOnly()) {
        // A scan of the card alone says less than a comparison with backups: it never replaces one.
        bool compared = std::any_of(history.begin(), history.end(), [&](const HistoryItem& h) {
            return !h.report->isCardOnly() && h.key() == key;
        });
        if (compared) return false;
    }
    std::erase_if(history, [&](const HistoryItem& h) { return h.key() == key; });
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
    out += toStoredJson(*item.report);
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

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

size_t skipBlanks(std::string_view text, size_t at) {
    while (at < text.size() && isBlank(text[at])) ++at;
    return at;
}

// Finds where one JSON value ends without reading it, across pieces of text fed one after the
// other: strings are passed over with their escapes, containers by their depth, a bare scalar
// ends at the next delimiter. It does not check the value; whoever reads the value does.
class ValueScanner {
public:
    // Scans `text` from `from` (the value's first character, or where the previous piece ended).
    // The position one past the value's end, or npos when the value goes on beyond `text`.
    size_t scan(std::string_view text, size_t from) {
        for (size_t i = from; i < text.size(); ++i) {
            const char c = text[i];
            if (inString_) {
                if (escaped_) {
                    escaped_ = false;
                } else if (c == '\\') {
                    escaped_ = true;
                } else if (c == '"') {
                    inString_ = false;
                    if (depth_ == 0) return i + 1;
                }
                continue;
            }
            if (!started_) {
                started_ = true;
                if (c == '"') {
                    inString_ = true;
                } else if (c == '{' || c == '[') {
                    depth_ = 1;
                } else {
                    scalar_ = true;
                }
                continue;
            }
            if (scalar_) {
                if (c == ',' || c == ']' || c == '}' || isBlank(c)) return i;
                continue;
            }
            if (c == '"') {
                inString_ = true;
            } else if (c == '{' || c == '[') {
                ++depth_;
            } else if ((c == '}' || c == ']') && --depth_ == 0) {
                return i + 1;
            }
        }
        return std::string_view::npos;
    }

private:
    size_t depth_ = 0;
    bool started_ = false;
    bool inString_ = false;
    bool escaped_ = false;
    bool scalar_ = false;
};

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
            i = skipBlanks(piece, i);
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
                        scanner_ = ValueScanner();
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

private:
    enum class State { beforeArray, firstItem, nextItem, inItem, afterItem, done, failed };
    State state_ = State::beforeArray;
    ValueScanner scanner_;
    std::string item_;
};

[[noreturn]] void badItem(const std::string& problem) { throw std::runtime_error(problem); }

std::string jsonText(std::string_view token) {
    auto value = nlohmann::json::parse(token, nullptr, false);
    if (!value.is_string()) badItem("expected a text");
    return value.get<std::string>();
}

QByteArray bookmark(const std::string& base64) {
    auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromStdString(base64),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) badItem("a bookmark is not Base64");
    return *decoded;
}

// One item of the file; throws when anything of it is not as written.
HistoryItem decodeItem(std::string_view text) {
    HistoryItem item;
    bool haveID = false;
    bool haveBackups = false;
    size_t i = skipBlanks(text, 0);
    if (i == text.size() || text[i] != '{') badItem("an item is not an object");
    i = skipBlanks(text, i + 1);
    bool first = true;
    while (i < text.size() && !(first && text[i] == '}')) {
        first = false;
        ValueScanner keyScan;
        size_t keyEnd = text[i] == '"' ? keyScan.scan(text, i) : std::string_view::npos;
        if (keyEnd == std::string_view::npos) badItem("expected a key");
        const std::string key = jsonText(text.substr(i, keyEnd - i));
        i = skipBlanks(text, keyEnd);
        if (i == text.size() || text[i] != ':') badItem("expected \":\"");
        i = skipBlanks(text, i + 1);
        ValueScanner valueScan;
        size_t end = valueScan.scan(text, i);
        if (end == std::string_view::npos) badItem("a value does not end");
        const std::string_view value = text.substr(i, end - i);
        if (key == "id") {
            item.id = QUuid::fromString(QString::fromStdString(jsonText(value)));
            if (item.id.isNull()) badItem("the id is no UUID");
            haveID = true;
        } else if (key == "report") {
            item.report = std::make_shared<const VerifyReport>(fromStoredJson<VerifyReport>(value));
        } else if (key == "sourceBookmark") {
            item.sourceBookmark.reset();
            if (value != "null") item.sourceBookmark = bookmark(jsonText(value));
        } else if (key == "destinationBookmarks") {
            auto list = nlohmann::json::parse(value, nullptr, false);
            if (!list.is_array()) badItem("the backups' bookmarks are not a list");
            item.destinationBookmarks.clear();
            for (const auto& entry : list) {
                if (!entry.is_string()) badItem("a backup's bookmark is not a text");
                item.destinationBookmarks.push_back(bookmark(entry.get<std::string>()));
            }
            haveBackups = true;
        } else if (!nlohmann::json::accept(value)) {
            badItem("an unknown key holds no JSON value");
        }
        i = skipBlanks(text, end);
        if (i < text.size() && text[i] == ',') {
            i = skipBlanks(text, i + 1);
            continue;
        }
        if (i == text.size() || text[i] != '}') badItem("expected \",\" or \"}\"");
        break;
    }
    if (i == text.size() || skipBlanks(text, i + 1) != text.size()) badItem("an item does not end");
    if (!haveID || !item.report || !haveBackups) badItem("a required key is missing");
    return item;
}

// Decodes items as they come, several reports at once, keeping at most the limit.
class ItemDecoder {
public:
    ItemDecoder(DecodedHistory& out, int workers) : out_(out), workers_(std::max(workers, 1)) {}

    bool full() const { return out_.items.size() >= historyLimit; }
    // Enough texts are waiting to keep every worker busy.
    bool ready(const std::vector<std::string>& texts) const {
        return texts.size() >= static_cast<size_t>(workers_);
    }

    // Decodes `texts` (then emptied) in file order.
    void decode(std::vector<std::string>& texts) {
        std::vector<std::optional<HistoryItem>> decoded(texts.size());
        parallelFor(static_cast<int64_t>(texts.size()), workers_, [&](int64_t i) {
            auto at = static_cast<size_t>(i);
            try {
                decoded[at] = decodeItem(texts[at]);
            } catch (const std::exception&) {
                decoded[at].reset();
            }
            // The text is not needed any more: free it while the other reports still decode.
            std::string().swap(texts[at]);
        });
        texts.clear();
        for (auto& item : decoded) {
            if (full()) break;
            if (item) {
                out_.items.push_back(std::move(*item));
            } else {
                ++out_.dropped;
            }
        }
    }

private:
    DecodedHistory& out_;
    int workers_;
};

QString keepAsideName(const QString& path) {
    const QString base = path + QStringLiteral(".bad-") +
                         QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = base;
    for (int n = 2; QFileInfo::exists(name); ++n) name = base + QStringLiteral("-%1").arg(n);
    return name;
}

}  // namespace

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
    ItemDecoder decoder(decoded, workers);
    ItemSplitter splitter;
    std::vector<std::string> texts;
    splitter.feed(text, texts);
    decoder.decode(texts);
    decoded.parsed = splitter.complete() || decoder.full();
    return decoded;
}

HistoryLoad readHistoryFile(const QString& path, int workers, long long pieceSize) {
    HistoryLoad load;
    QFile file(path);
    const QFileInfo info(path);
    // A fifo or a device would block or never end: only a plain file is read.
    if ((info.exists() && !info.isFile()) || !file.open(QIODevice::ReadOnly)) {
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) {
            load.missing = true;
            return load;
        }
        // Unreadable now is not empty: move it out of the way so the next save cannot replace it.
        load.unreadable = true;
        load.decoded.parsed = false;
        QString aside = keepAsideName(path);
        if (QFile::rename(path, aside)) load.keptAs = aside;
        return load;
    }

    ItemDecoder decoder(load.decoded, workers);
    ItemSplitter splitter;
    std::vector<std::string> texts;
    // Pieces small enough that the whole text is never held, large enough to read quickly.
    pieceSize = std::max(pieceSize, 1LL);
    std::string piece(static_cast<size_t>(pieceSize), '\0');
    bool readFailed = false;
    while (!decoder.full() && !splitter.failed()) {
        qint64 got = file.read(piece.data(), pieceSize);
        if (got < 0) readFailed = true;
        if (got <= 0) break;
        splitter.feed(std::string_view(piece.data(), static_cast<size_t>(got)), texts);
        if (decoder.ready(texts)) decoder.decode(texts);
    }
    decoder.decode(texts);
    load.decoded.parsed = !readFailed && (splitter.complete() || decoder.full());
    file.close();

    if (load.decoded.lossy()) {
        QString aside = keepAsideName(path);
        if (QFile::copy(path, aside)) load.keptAs = aside;
    }
    return load;
}

std::optional<QString> writeHistoryFile(const QString& path, const std::vector<HistoryItem>& items) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return out.errorString();
    // One item at a time: the whole text of 40 reports is never held at once.
    std::string text = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) text += ',';
        appendItem(text, items[i]);
        if (out.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())) {
            QString reason = out.errorString();
            out.cancelWriting();
            return reason;
        }
        text.clear();
    }
    text += ']';
    if (out.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
        !out.commit()) {
        return out.errorString();
    }
    return std::nullopt;
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
        HistoryLoad result = readHistoryFile(file, std::max(QThread::idealThreadCount(), 1));
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
    std::vector<HistoryItem> merged = std::move(result->decoded.items);
    // What happened before the load happens again on top of it, by the same rules.
    for (Op& op : beforeLoad_) {
        if (op.item) {
            recordInto(merged, std::move(*op.item));
        } else {
            forgetIn(merged, op.id);
        }
    }
    beforeLoad_.clear();
    items_ = std::move(merged);
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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (loadStarted_ && !loaded_) {
        {
            std::unique_lock lock(shared_->mutex);
            if (!shared_->settled.wait_until(lock, deadline, [&] { return shared_->loadDone; })) return false;
        }
        collectLoad();
    }
    if (!loaded_) return !dirty_;
    std::unique_lock lock(shared_->mutex);
    return shared_->settled.wait_until(lock, deadline,
                                       [&] { return !shared_->writing && !shared_->unsaved; });
}

}  // namespace halvetrop

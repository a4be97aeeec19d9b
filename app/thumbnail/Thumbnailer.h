#pragma once
// Runs a pool of thumbnail helper processes and hands each one file at a time. The newest request
// goes first (the tiles a user just scrolled to), and a request nobody waits for any more is
// dropped before it reaches a helper. A file a helper does not answer within the deadline (a
// hang), or a helper that dies (a crash), fails that file only: that helper is killed and a new
// one takes its next file, while the others go on. Pictures go into the cache, and so do the
// failures that are the file's (no picture in it, a crash on it); a file that only ran out of time,
// as a large one does on a busy machine, is tried again when it is asked for again.
#include <QObject>
#include <QProcess>
#include <QTimer>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "thumbnail/ThumbnailCache.h"

namespace halvetrop::thumbs {

// A video's picture keeps the range of the video's samples (Protocol.h) as this text of the image:
// "full" or "limited"; none when the video does not say.
inline constexpr char videoRangeText[] = "videoRange";

class Thumbnailer : public QObject {
    Q_OBJECT

public:
    struct Options {
        QString program;  // the helper's executable
        QStringList arguments;
        int deadlineMs = 5000;  // per file
        int side = 512;
        int64_t cacheBytes = int64_t(256) << 20;
        int helpers = 1;  // processes at once
    };
    // Helpers for a machine of this many cores: one per core, at most four.
    static int helpersFor(int cores);

    explicit Thumbnailer(Options options, QObject* parent = nullptr);
    ~Thumbnailer() override;

    // Asks for a file's picture: answered at once from the cache (or as failed), else queued
    // ahead of older requests. The answer comes through `ready` or `failed`. Each request counts
    // one waiter until it is answered or withdrawn.
    void request(const Key& key);
    // One waiter fewer; a queued file nobody waits for any more leaves the queue. A file already
    // at a helper is finished and cached.
    void withdraw(const Key& key);
    // Before an eject: drops the volume's queued files and stops the helpers reading one of them,
    // so no file of the volume stays open.
    void cancelVolume(const std::string& volume);
    // After an unmount: the volume's pictures and failures are forgotten.
    void dropVolume(const std::string& volume);

    // The time a helper has for each file sent from now on.
    void setDeadline(int ms) { options_.deadlineMs = ms; }

    Cache& cache() { return cache_; }
    int restarts() const { return restarts_; }
    size_t queued() const { return queue_.size(); }

signals:
    void ready(const halvetrop::thumbs::Key& key, const QImage& image);
    void failed(const halvetrop::thumbs::Key& key);
    // The helper read the file without keeping its access time (see NoAtime.h).
    void accessTimeTouched(const halvetrop::thumbs::Key& key);
    // The helper could not be started (it is missing or not executable); said once.
    void helperMissing();

private:
    struct Slot {
        QProcess* process = nullptr;  // child of the thumbnailer
        QTimer deadline;
        std::optional<Key> current;
        uint64_t id = 0;
        std::string buffer;
    };
    void dispatch();
    void send(Slot& slot, const Key& key);
    void readReplies(Slot& slot);
    // The slot's file hung or crashed the helper, or the helper could not start; a failure the
    // file is to blame for is remembered.
    void giveUp(Slot& slot, bool fileToBlame);
    void stopHelper(Slot& slot);  // kills it; its file is closed when this returns
    void answered(const Key& key);

    Options options_;
    Cache cache_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::deque<Key> queue_;  // newest first
    std::unordered_map<Key, int, KeyHash> waiters_;
    uint64_t nextId_ = 1;
    int restarts_ = 0;
    bool missingSaid_ = false;
};

}  // namespace halvetrop::thumbs

#pragma once
// Runs the thumbnail helper process and hands it one file at a time. A file the helper does not
// answer within the deadline (a hang), or a helper that dies (a crash), fails that file only: the
// helper is killed and started again for the next one. Pictures go into the cache.
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "thumbnail/ThumbnailCache.h"

namespace halvetrop::thumbs {

class Thumbnailer : public QObject {
    Q_OBJECT

public:
    struct Options {
        QString program;  // the helper's executable
        QStringList arguments;
        int deadlineMs = 5000;  // per file
        int side = 512;
        int64_t cacheBytes = int64_t(256) << 20;
    };
    explicit Thumbnailer(Options options, QObject* parent = nullptr);
    ~Thumbnailer() override;

    // Asks for a file's picture: answered at once from the cache (or as failed), else queued.
    // The answer comes through `ready` or `failed`.
    void request(const Key& key);
    // Before an eject: drops the volume's queued files and stops the helper when it is reading
    // one of them, so no file of the volume stays open.
    void cancelVolume(const std::string& volume);
    // After an unmount: the volume's pictures and failures are forgotten.
    void dropVolume(const std::string& volume);

    Cache& cache() { return cache_; }
    int restarts() const { return restarts_; }

signals:
    void ready(const halvetrop::thumbs::Key& key, const QImage& image);
    void failed(const halvetrop::thumbs::Key& key);

private:
    void startHelper();
    void next();
    void readReplies();
    void giveUp();
    void stopHelper();  // kills it; its file is closed when this returns  // the current file hung the helper
                        // or crashed it

    Options options_;
    Cache cache_;
    QProcess* helper_ = nullptr;  // child of this object
    QTimer deadline_;
    std::deque<Key> queue_;
    std::optional<Key> current_;
    uint64_t currentId_ = 0;
    uint64_t nextId_ = 1;
    std::string buffer_;
    int restarts_ = 0;
};

}  // namespace halvetrop::thumbs

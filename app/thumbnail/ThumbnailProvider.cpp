#include "thumbnail/ThumbnailProvider.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QQuickTextureFactory>
#include <QUrl>

#include <memory>
#include <mutex>

#include "drives/Drives.h"

namespace halvetrop::thumbs {

namespace {

// What names a previewed file now: a rewritten file is another picture. Its volume (which an
// eject cancels by), size and time come from its bytes, which need not be UTF-8.
Key keyOfFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) st = {};
    return Key{Drives::info(path).volumePath, path, int64_t(st.st_size),
               int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

// The path a still preview's id names: escapes of UTF-8 characters come decoded (see keyOfId),
// those of other bytes kept.
std::string pathOfPreview(const QString& id) {
    return QByteArray::fromPercentEncoding(id.toUtf8()).toStdString();
}

class Response;

// What a response and its request on the thumbnailer's (GUI) thread share. The response stays on
// the image reader's thread, which made it and deletes it.
struct Pending {
    std::mutex lock;
    Response* response = nullptr;  // gone once the reader lets the response go
    QImage image;
    // The thumbnailer's thread only:
    bool answered = false;
    std::optional<Key> key;
    QMetaObject::Connection ready, failed;
};

class Response : public QQuickImageResponse {
public:
    Response(Thumbnailer& thumbnailer, std::optional<Key> key, std::optional<std::string> path)
        : thumbnailer_(thumbnailer), pending_(std::make_shared<Pending>()) {
        pending_->response = this;
        if (path) key = Key{};  // made on the thumbnailer's thread
        // The request is made on the thumbnailer's thread, and so is a cancel, which therefore
        // always comes after it.
        QMetaObject::invokeMethod(
            &thumbnailer_,
            [&thumbnailer = thumbnailer_, pending = pending_, key, path]() mutable {
                if (pending->answered) return;
                if (!key) return answer(pending, {});
                if (path) key = keyOfFile(*path);
                pending->key = key;
                pending->ready = QObject::connect(&thumbnailer, &Thumbnailer::ready, &thumbnailer,
                                                  [pending](const Key& k, const QImage& image) {
                                                      if (k == *pending->key) answer(pending, image);
                                                  });
                pending->failed = QObject::connect(&thumbnailer, &Thumbnailer::failed, &thumbnailer,
                                                   [pending](const Key& k) {
                                                       if (k == *pending->key) answer(pending, {});
                                                   });
                thumbnailer.request(*key);
            },
            Qt::QueuedConnection);
    }
    ~Response() override {
        std::lock_guard<std::mutex> hold(pending_->lock);
        pending_->response = nullptr;
    }
    QQuickTextureFactory* textureFactory() const override {
        std::lock_guard<std::mutex> hold(pending_->lock);
        return QQuickTextureFactory::textureFactoryForImage(pending_->image);
    }
    // The tile scrolled away (or its picture changed) before the answer came: its request leaves
    // the queue unless another view waits for the same file.
    void cancel() override {
        QMetaObject::invokeMethod(
            &thumbnailer_,
            [&thumbnailer = thumbnailer_, pending = pending_] {
                if (pending->answered) return;
                if (pending->key) thumbnailer.withdraw(*pending->key);
                answer(pending, {});
            },
            Qt::QueuedConnection);
    }

private:
    // On the thumbnailer's thread. `pending` is held by value: the connections let go of theirs
    // here. `finished` is emitted on the reader's thread, once the reader has made the response
    // and connected to it: the reader takes an earlier one from another thread for none, and one
    // it sees both ways for two, deleting the response twice.
    static void answer(std::shared_ptr<Pending> pending, const QImage& image) {
        if (pending->answered) return;
        pending->answered = true;
        QObject::disconnect(pending->ready);
        QObject::disconnect(pending->failed);
        std::lock_guard<std::mutex> hold(pending->lock);
        if (!pending->response) return;
        pending->image = image;
        Response* r = pending->response;
        QMetaObject::invokeMethod(
            r, [r] { emit r->finished(); }, Qt::QueuedConnection);
    }

    Thumbnailer& thumbnailer_;
    std::shared_ptr<Pending> pending_;
};

}  // namespace

void deleteReleasedItems() {
    // Deleting an item can let go of others (the delegates of a view inside it): again, until a
    // round deletes nothing.
    struct Count : QObject {
        int deleted = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            deleted += event->type() == QEvent::DeferredDelete;
            return false;
        }
    } count;
    QCoreApplication::instance()->installEventFilter(&count);
    do {
        count.deleted = 0;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    } while (count.deleted > 0);
    QCoreApplication::instance()->removeEventFilter(&count);
}

QQuickImageResponse* ThumbnailProvider::requestImageResponse(const QString& id, const QSize&) {
    if (byPath_) {
        const std::string path = pathOfPreview(id);
        return new Response(thumbnailer_, std::nullopt, path.empty() ? std::nullopt : std::optional(path));
    }
    return new Response(thumbnailer_, keyOfId(id), std::nullopt);
}

VideoRanges::VideoRanges(Thumbnailer& previews) : previews_(previews) {
    connect(&previews_, &Thumbnailer::ready, this, [this](const Key& key, const QImage& image) {
        answer(key, image.text(QString::fromLatin1(videoRangeText)));
    });
    connect(&previews_, &Thumbnailer::failed, this, [this](const Key& key) { answer(key, {}); });
}

void VideoRanges::ask(const QString& still) {
    // The id the engine hands the previews' provider for that source.
    const QString id = QUrl(still).toString(QUrl::RemoveScheme | QUrl::RemoveAuthority).mid(1);
    const std::string path = pathOfPreview(id);
    still_ = still;
    key_.reset();
    if (path.empty()) {
        emit known(still, {});
        return;
    }
    key_ = keyOfFile(path);
    previews_.request(*key_);
}

void VideoRanges::answer(const Key& key, const QString& range) {
    if (!key_ || key != *key_) return;
    key_.reset();
    emit known(still_, range);
}

}  // namespace halvetrop::thumbs

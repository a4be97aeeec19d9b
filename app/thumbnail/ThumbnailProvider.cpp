#include "thumbnail/ThumbnailProvider.h"

#include <sys/stat.h>

#include <QPointer>
#include <QQuickTextureFactory>

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

class Response : public QQuickImageResponse {
public:
    Response(Thumbnailer& thumbnailer, std::optional<Key> key, std::optional<std::string> path)
        : thumbnailer_(&thumbnailer) {
        // Answered on the thumbnailer's (GUI) thread.
        moveToThread(thumbnailer.thread());
        if (path) key = Key{};  // made on the thumbnailer's thread
        if (!key) {
            QMetaObject::invokeMethod(
                this, [this] { done({}); }, Qt::QueuedConnection);
            return;
        }
        // The thumbnailer lives on the GUI thread; the request is made there, and so is a cancel,
        // which therefore always comes after it.
        QMetaObject::invokeMethod(
            this,
            [this, key = *key, path]() mutable {
                if (!thumbnailer_ || answered_) return;
                if (path) key = keyOfFile(*path);
                key_ = key;
                connect(thumbnailer_, &Thumbnailer::ready, this, [this](const Key& k, const QImage& image) {
                    if (k == *key_) done(image);
                });
                connect(thumbnailer_, &Thumbnailer::failed, this, [this](const Key& k) {
                    if (k == *key_) done({});
                });
                thumbnailer_->request(key);
            },
            Qt::QueuedConnection);
    }
    QQuickTextureFactory* textureFactory() const override {
        return QQuickTextureFactory::textureFactoryForImage(image_);
    }
    // The tile scrolled away (or its picture changed) before the answer came: its request leaves
    // the queue unless another view waits for the same file.
    void cancel() override {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (answered_) return;
                if (key_ && thumbnailer_) thumbnailer_->withdraw(*key_);
                done({});
            },
            Qt::QueuedConnection);
    }

private:
    void done(const QImage& image) {
        if (answered_) return;
        answered_ = true;
        if (thumbnailer_) thumbnailer_->disconnect(this);
        image_ = image;
        emit finished();
    }
    QPointer<Thumbnailer> thumbnailer_;
    std::optional<Key> key_;
    QImage image_;
    bool answered_ = false;
};

}  // namespace

QQuickImageResponse* ThumbnailProvider::requestImageResponse(const QString& id, const QSize&) {
    if (byPath_) {
        // Escapes of UTF-8 characters come decoded (see keyOfId), those of other bytes kept.
        const std::string path = QByteArray::fromPercentEncoding(id.toUtf8()).toStdString();
        return new Response(thumbnailer_, std::nullopt, path.empty() ? std::nullopt : std::optional(path));
    }
    return new Response(thumbnailer_, keyOfId(id), std::nullopt);
}

}  // namespace halvetrop::thumbs

#include "thumbnail/ThumbnailProvider.h"

#include <sys/stat.h>

#include <QPointer>
#include <QQuickTextureFactory>
#include <QStorageInfo>

namespace halvetrop::thumbs {

namespace {

// What names a previewed file now: a rewritten file is another picture. Its size and time come
// from its bytes, which need not be UTF-8.
Key keyOfFile(const std::string& path) {
    const QString name = QString::fromUtf8(path.data(), qsizetype(path.size()));
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) st = {};
    return Key{QStorageInfo(name).rootPath().toStdString(), path, int64_t(st.st_size),
               int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

class Response : public QQuickImageResponse {
public:
    Response(Thumbnailer& thumbnailer, std::optional<Key> key, std::optional<std::string> path) {
        // Answered on the thumbnailer's (GUI) thread.
        moveToThread(thumbnailer.thread());
        if (path) key = Key{};  // made on the thumbnailer's thread
        if (!key) {
            QMetaObject::invokeMethod(this, &Response::finished, Qt::QueuedConnection);
            return;
        }
        // The thumbnailer lives on the GUI thread; the request is made there.
        QPointer<Thumbnailer> t(&thumbnailer);
        QPointer<Response> self(this);  // the engine may drop it before the call runs
        QMetaObject::invokeMethod(&thumbnailer, [this, self, t, key = *key, path]() mutable {
            if (!t || !self) return;
            if (path) key = keyOfFile(*path);
            connect(t, &Thumbnailer::ready, this, [this, key](const Key& k, const QImage& image) {
                if (k == key) done(image);
            });
            connect(t, &Thumbnailer::failed, this, [this, key](const Key& k) {
                if (k == key) done({});
            });
            t->request(key);
        });
    }
    QQuickTextureFactory* textureFactory() const override {
        return QQuickTextureFactory::textureFactoryForImage(image_);
    }

private:
    void done(const QImage& image) {
        if (answered_) return;
        answered_ = true;
        image_ = image;
        emit finished();
    }
    QImage image_;
    bool answered_ = false;
};

}  // namespace

QQuickImageResponse* ThumbnailProvider::requestImageResponse(const QString& id, const QSize&) {
    if (byPath_) {
        const std::string path = QByteArray::fromPercentEncoding(id.toLatin1()).toStdString();
        return new Response(thumbnailer_, std::nullopt, path.empty() ? std::nullopt : std::optional(path));
    }
    return new Response(thumbnailer_, keyOfId(id), std::nullopt);
}

}  // namespace halvetrop::thumbs

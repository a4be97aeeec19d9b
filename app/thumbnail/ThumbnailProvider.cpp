#include "thumbnail/ThumbnailProvider.h"

#include <QPointer>
#include <QQuickTextureFactory>

namespace halvetrop::thumbs {

namespace {

class Response : public QQuickImageResponse {
public:
    Response(Thumbnailer& thumbnailer, const std::optional<Key>& key) {
        // Answered on the thumbnailer's (GUI) thread.
        moveToThread(thumbnailer.thread());
        if (!key) {
            QMetaObject::invokeMethod(this, &Response::finished, Qt::QueuedConnection);
            return;
        }
        // The thumbnailer lives on the GUI thread; the request is made there.
        QPointer<Thumbnailer> t(&thumbnailer);
        QPointer<Response> self(this);  // the engine may drop it before the call runs
        QMetaObject::invokeMethod(&thumbnailer, [this, self, t, key = *key] {
            if (!t || !self) return;
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
    return new Response(thumbnailer_, keyOfId(id));
}

}  // namespace halvetrop::thumbs

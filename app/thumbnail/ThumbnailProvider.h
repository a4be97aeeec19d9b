#pragma once
// Card-file thumbnails for the views: "image://thumbnail/<volume>/<size>/<modified>/<path>",
// each part percent-encoded bytes (names need not be UTF-8), answered by the Thumbnailer on the
// GUI thread. A file without a picture answers with an empty image, and the view keeps its
// placeholder.
#include <QQuickAsyncImageProvider>

#include <optional>

#include "thumbnail/Thumbnailer.h"

namespace halvetrop::thumbs {

class ThumbnailProvider : public QQuickAsyncImageProvider {
public:
    // `thumbnailer` outlives the engine the provider is added to.
    explicit ThumbnailProvider(Thumbnailer& thumbnailer) : thumbnailer_(thumbnailer) {}
    // Still previews name the file by its percent-encoded path alone ("image://preview/<path>"):
    // its volume, size and modification time are read when it is asked for.
    static ThumbnailProvider* previews(Thumbnailer& thumbnailer) {
        auto* p = new ThumbnailProvider(thumbnailer);
        p->byPath_ = true;
        return p;
    }
    QQuickImageResponse* requestImageResponse(const QString& id, const QSize& requestedSize) override;

private:
    Thumbnailer& thumbnailer_;
    bool byPath_ = false;
};

// The range of a previewed video's samples, for the preview's painter: the default media back end
// hands over a full-range video's frames as limited. The helper finds it with the video's still,
// and the still's picture keeps it. For QML (one per preview thumbnailer, as "videoRanges").
class VideoRanges : public QObject {
    Q_OBJECT
public:
    // `previews` answers the previews' stills and outlives this.
    explicit VideoRanges(Thumbnailer& previews);
    // Asks for the range of the video whose still preview is `still` ("image://preview/<path>"),
    // in place of the one asked for before: answered through `known`, at once when the still is
    // made already.
    Q_INVOKABLE void ask(const QString& still);

signals:
    // `range` is "full" or "limited", or "" when the video does not say or gave no still.
    void known(const QString& still, const QString& range);

private:
    void answer(const Key& key, const QString& range);

    Thumbnailer& previews_;
    std::optional<Key> key_;
    QString still_;
};

// Deletes now the items whose deletion waits for the event loop (the delegates a view let go
// of). Called after an engine's windows are deleted and before the engine itself, so that every
// picture still loading is taken back by the engine's image reader: an item deleted after the
// reader still points at its request, which the reader has freed. Qt then writes into that
// memory, and the reader of a new engine in the old one's place frees it a second time.
void deleteReleasedItems();

}  // namespace halvetrop::thumbs

#pragma once
// The icon the file manager shows for a card, drive or folder, from the desktop's icon theme
// (Adwaita when the desktop names none), and the memory-card icon for camera cards.
// "image://system/card/PATH" or "image://system/plain/PATH" name a path by its text, where a view
// holds only that; "image://system/cardkey/KEY" or ".../plainkey/KEY" by the key the model gives
// for it (present::pathKey, percent-encoded once more), which keeps every byte. An empty answer lets
// the caller show its fallback symbol. Looking at the file system runs off the GUI thread; drawing
// theme icons on it.
#include <QHash>
#include <QImage>
#include <QQuickAsyncImageProvider>
#include <QString>
#include <QThreadPool>

#include <mutex>
#include <string>

namespace halvetrop::shell {

// Which theme icon stands for a path, decided from the file system alone (no drawing).
struct IconChoice {
    QString themeName;  // empty: no icon (the path does not exist)
    QString fallbackName;
};

// The memory-card icon for every path on a volume with camera folders at its root (and for a card
// that is not there); a folder on the system volume shows its own icon; anything else on another
// volume shows that volume's drive icon.
IconChoice chooseSystemIcon(const std::string& path, bool card);

// What an image id (the URL after "image://system/", as the engine hands it) asks for.
struct IconRequest {
    std::string path;  // empty: none, or a key that names no path
    bool card = false;
};
IconRequest iconRequest(const QString& id);

class SystemIconProvider : public QQuickAsyncImageProvider {
public:
    SystemIconProvider();
    ~SystemIconProvider() override;
    QQuickImageResponse* requestImageResponse(const QString& id, const QSize& requestedSize) override;

private:
    QThreadPool pool_;
    std::mutex mutex_;
    // By path and card flag; a path that did not exist is asked again.
    QHash<QByteArray, IconChoice> choices_;
};

}  // namespace halvetrop::shell

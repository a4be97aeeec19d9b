#pragma once
// The icon the file manager shows for a card, drive or folder, from the desktop's icon theme
// (Adwaita when the desktop names none), and the memory-card icon for camera cards.
// "image://system/card/PATH" or "image://system/plain/PATH"; an empty answer lets the caller show its
// fallback symbol. Looking at the file system runs off the GUI thread; drawing theme icons on it.
#include <QHash>
#include <QImage>
#include <QQuickAsyncImageProvider>
#include <QString>
#include <QThreadPool>

#include <mutex>

namespace halvetrop::shell {

// Which theme icon stands for a path, decided from the file system alone (no drawing).
struct IconChoice {
    QString themeName;  // empty: no icon (the path does not exist)
    QString fallbackName;
};

// The memory-card icon for every path on a volume with camera folders at its root (and for a card
// that is not there); a folder on the system volume shows its own icon; anything else on another
// volume shows that volume's drive icon.
IconChoice chooseSystemIcon(const QString& path, bool card);

class SystemIconProvider : public QQuickAsyncImageProvider {
public:
    SystemIconProvider();
    ~SystemIconProvider() override;
    QQuickImageResponse* requestImageResponse(const QString& id, const QSize& requestedSize) override;

private:
    QThreadPool pool_;
    std::mutex mutex_;
    QHash<QString, IconChoice> choices_;  // by path and card flag; a path that did not exist is asked again
};

}  // namespace halvetrop::shell

#include "shell/SystemIcons.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>
#include <QQuickTextureFactory>
#include <QRunnable>
#include <QStorageInfo>
#include <QUrl>

namespace halvetrop::shell {

namespace {

const QString memoryCard = QStringLiteral("media-flash");

class Response : public QQuickImageResponse {
public:
    void finish(QImage image) {
        image_ = std::move(image);
        emit finished();
    }
    QQuickTextureFactory* textureFactory() const override {
        return image_.isNull() ? nullptr : QQuickTextureFactory::textureFactoryForImage(image_);
    }
    QString errorString() const override { return image_.isNull() ? QStringLiteral("no icon") : QString(); }

private:
    QImage image_;
};

QImage drawThemeIcon(const IconChoice& choice, int edge) {
    if (choice.themeName.isEmpty()) return {};
    QIcon icon = QIcon::fromTheme(choice.themeName);
    if (icon.isNull()) icon = QIcon::fromTheme(choice.fallbackName);
    if (icon.isNull()) return {};
    return icon.pixmap(QSize(edge, edge)).toImage();
}

}  // namespace

IconChoice chooseSystemIcon(const QString& path, bool card) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) return card ? IconChoice{memoryCard, memoryCard} : IconChoice{};
    const QStorageInfo volume(path);
    const QString root = volume.isValid() ? volume.rootPath() : QStringLiteral("/");
    if (root == QStringLiteral("/")) {
        const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
        return {type.iconName(), type.genericIconName()};
    }
    if (QFileInfo::exists(root + QStringLiteral("/DCIM")) ||
        QFileInfo::exists(root + QStringLiteral("/PRIVATE/M4ROOT")))
        return {memoryCard, memoryCard};
    const QByteArray type = volume.fileSystemType();
    if (type.startsWith("nfs") || type == "cifs" || type == "smb3" || type.startsWith("fuse.sshfs"))
        return {QStringLiteral("folder-remote"), QStringLiteral("network-server")};
    const bool removable =
        root.startsWith(QStringLiteral("/media/")) || root.startsWith(QStringLiteral("/run/media/"));
    return {removable ? QStringLiteral("drive-removable-media") : QStringLiteral("drive-harddisk"),
            QStringLiteral("drive-harddisk")};
}

SystemIconProvider::SystemIconProvider() { pool_.setMaxThreadCount(2); }

SystemIconProvider::~SystemIconProvider() { pool_.waitForDone(); }

QQuickImageResponse* SystemIconProvider::requestImageResponse(const QString& id, const QSize& requestedSize) {
    auto* response = new Response;
    // "card/PATH" or "plain/PATH"; the engine may hand the id percent-encoded.
    const QString decoded = QUrl::fromPercentEncoding(id.toUtf8());
    const bool card = decoded.startsWith(QStringLiteral("card/"));
    const QString path = decoded.mid(card ? 4 : 5);
    const int edge = requestedSize.isValid() ? std::max(requestedSize.width(), requestedSize.height()) : 64;
    const QString key = (card ? QStringLiteral("1") : QStringLiteral("0")) + path;
    // Theme icons are drawn on the GUI thread (pixmaps belong to it); the response object lives there.
    auto draw = [response, edge](IconChoice choice) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [response, edge, choice] { response->finish(drawThemeIcon(choice, edge)); },
            Qt::QueuedConnection);
    };
    {
        std::lock_guard lock(mutex_);
        const auto hit = choices_.constFind(key);
        if (hit != choices_.constEnd()) {
            draw(*hit);
            return response;
        }
    }
    pool_.start([this, path, card, key, draw] {
        IconChoice choice = chooseSystemIcon(path, card);
        if (!choice.themeName.isEmpty() && QFileInfo::exists(path)) {
            std::lock_guard lock(mutex_);
            choices_.insert(key, choice);
        }
        draw(std::move(choice));
    });
    return response;
}

}  // namespace halvetrop::shell

#include "shell/SystemIcons.h"

#include <QCoreApplication>
#include <QFile>
#include <QIcon>
#include <QMimeDatabase>
#include <QQuickTextureFactory>
#include <QRunnable>
#include <QStorageInfo>
#include <QUrl>

#include <sys/stat.h>

#include "present/Paths.h"

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

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// The mount point of the volume holding `path` (absolute): its highest folder on the same device.
std::string volumeRoot(std::string path, dev_t device) {
    while (path.size() > 1) {
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos) break;
        const std::string parent = slash == 0 ? std::string("/") : path.substr(0, slash);
        struct stat st {};
        if (::stat(parent.c_str(), &st) != 0 || st.st_dev != device) break;
        path = parent;
    }
    return path;
}

QImage drawThemeIcon(const IconChoice& choice, int edge) {
    if (choice.themeName.isEmpty()) return {};
    QIcon icon = QIcon::fromTheme(choice.themeName);
    if (icon.isNull()) icon = QIcon::fromTheme(choice.fallbackName);
    if (icon.isNull()) return {};
    return icon.pixmap(QSize(edge, edge)).toImage();
}

}  // namespace

IconChoice chooseSystemIcon(const std::string& path, bool card) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return card ? IconChoice{memoryCard, memoryCard} : IconChoice{};
    const std::string root = volumeRoot(path, st.st_dev);
    if (root == "/") {
        const QMimeDatabase mimes;
        const QMimeType type = S_ISDIR(st.st_mode) ? mimes.mimeTypeForName(QStringLiteral("inode/directory"))
                                                   : mimes.mimeTypeForFile(QFile::decodeName(path.c_str()));
        return {type.iconName(), type.genericIconName()};
    }
    if (exists(root + "/DCIM") || exists(root + "/PRIVATE/M4ROOT")) return {memoryCard, memoryCard};
    const QByteArray type = QStorageInfo(QFile::decodeName(root.c_str())).fileSystemType();
    if (type.startsWith("nfs") || type == "cifs" || type == "smb3" || type.startsWith("fuse.sshfs"))
        return {QStringLiteral("folder-remote"), QStringLiteral("network-server")};
    const bool removable = root.starts_with("/media/") || root.starts_with("/run/media/");
    return {removable ? QStringLiteral("drive-removable-media") : QStringLiteral("drive-harddisk"),
            QStringLiteral("drive-harddisk")};
}

IconRequest iconRequest(const QString& id) {
    // The engine may hand the id percent-encoded, in part or whole: decoded once, a key is what
    // the view encoded, with its own escapes for the bytes that are not UTF-8.
    const QString decoded = QUrl::fromPercentEncoding(id.toUtf8());
    const qsizetype slash = decoded.indexOf(u'/');
    const QString kind = decoded.left(slash);
    IconRequest request;
    request.card = kind == QStringLiteral("card") || kind == QStringLiteral("cardkey");
    if (slash < 0) return request;
    if (kind == QStringLiteral("cardkey") || kind == QStringLiteral("plainkey"))
        request.path = present::pathOfKey(decoded.mid(slash + 1)).value_or(std::string());
    else if (kind == QStringLiteral("card") || kind == QStringLiteral("plain"))
        request.path = QFile::encodeName(decoded.mid(slash)).toStdString();
    return request;
}

SystemIconProvider::SystemIconProvider() { pool_.setMaxThreadCount(2); }

SystemIconProvider::~SystemIconProvider() { pool_.waitForDone(); }

QQuickImageResponse* SystemIconProvider::requestImageResponse(const QString& id, const QSize& requestedSize) {
    auto* response = new Response;
    const IconRequest request = iconRequest(id);
    const int edge = requestedSize.isValid() ? std::max(requestedSize.width(), requestedSize.height()) : 64;
    const QByteArray key =
        (request.card ? QByteArray("1") : QByteArray("0")) + QByteArray::fromStdString(request.path);
    // Theme icons are drawn on the GUI thread (pixmaps belong to it). The answer is given on the
    // response's own thread, the image reader's, which made it: the reader deletes the response
    // as soon as it has the answer, so no other thread may be inside the response then.
    auto draw = [response, edge](IconChoice choice) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [response, edge, choice] {
                QMetaObject::invokeMethod(
                    response, [response, image = drawThemeIcon(choice, edge)] { response->finish(image); },
                    Qt::QueuedConnection);
            },
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
    pool_.start([this, request, key, draw] {
        IconChoice choice = chooseSystemIcon(request.path, request.card);
        if (!choice.themeName.isEmpty() && exists(request.path)) {
            std::lock_guard lock(mutex_);
            choices_.insert(key, choice);
        }
        draw(std::move(choice));
    });
    return response;
}

}  // namespace halvetrop::shell

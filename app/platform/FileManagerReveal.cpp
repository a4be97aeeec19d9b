#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QTimer>

#include "platform/LinuxServices.h"

namespace halvetrop {

namespace {

// A file URL that keeps every byte of the name, also bytes that are not UTF-8.
QUrl fileUrl(const std::string& path) {
    return QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"),
                             QUrl::StrictMode);
}

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

FileManagerReveal::FileManagerReveal(QDBusConnection bus, Opener openFolder)
    : bus_(std::move(bus)), open_(std::move(openFolder)), context_(std::make_unique<QObject>()) {
    if (!open_) open_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

FileManagerReveal::~FileManagerReveal() = default;

void FileManagerReveal::reveal(const std::vector<std::string>& paths, std::function<void()> failed) {
    if (paths.empty()) return;
    const QUrl folder = fileUrl(parentOf(paths.front()));
    auto openFolder = [open = open_, folder, failed = std::move(failed)] {
        if (!open(folder) && failed) failed();
    };
    if (!bus_.isConnected()) {
        QTimer::singleShot(0, context_.get(), openFolder);
        return;
    }
    QStringList uris;
    for (const std::string& p : paths) uris << QString::fromLatin1(fileUrl(p).toEncoded());
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), context_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context_.get(), [watcher, openFolder] {
        watcher->deleteLater();
        if (watcher->isError()) openFolder();
    });
}

}  // namespace halvetrop

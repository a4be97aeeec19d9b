#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#include "platform/LinuxServices.h"

namespace halvetrop {

namespace {

const QByteArray kRaise = "raise\n";
constexpr int kConnectMs = 2000;

// True when an instance is listening; it gets the request to raise its window.
bool askRunning(const QString& name) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kConnectMs)) return false;
    socket.write(kRaise);
    socket.waitForBytesWritten(kConnectMs);
    socket.disconnectFromServer();
    return true;
}

}  // namespace

LocalSingleInstance::LocalSingleInstance(QString serverName) : name_(std::move(serverName)) {
    if (name_.isEmpty()) {
        QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (dir.isEmpty()) dir = QDir::tempPath();
        name_ = dir + QStringLiteral("/halvetrop.socket");
    }
}

LocalSingleInstance::~LocalSingleInstance() = default;

bool LocalSingleInstance::claim(std::function<void()> onRaise) {
    if (server_) return true;
    // The lock decides who is first: the first instance holds it for its whole life, and it is
    // taken over when that process has died, so two launches at once never both win.
    auto lock = std::make_unique<QLockFile>(name_ + QStringLiteral(".lock"));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (lock->error() == QLockFile::LockFailedError) {
            // The first instance may be between taking the lock and listening.
            for (int attempt = 0; attempt < 3 && !askRunning(name_); ++attempt) QThread::msleep(200);
            return false;
        }
        // Without a lock file the socket alone decides.
        qWarning("Cannot lock %s.lock", qPrintable(name_));
        if (askRunning(name_)) return false;
        lock.reset();
    }

    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file that is still there was left by an instance that crashed.
    QLocalServer::removeServer(name_);
    if (!server->listen(name_)) {
        // This process still runs alone; a later launch just cannot raise it.
        qWarning("Cannot listen on %s: %s", qPrintable(name_), qPrintable(server->errorString()));
    }
    QLocalServer* s = server.get();
    QObject::connect(s, &QLocalServer::newConnection, s, [s, onRaise = std::move(onRaise)] {
        while (QLocalSocket* socket = s->nextPendingConnection()) {
            auto handle = [socket, onRaise] {
                // A request is one short line; anything longer is not from this application.
                if (socket->bytesAvailable() > 64) {
                    socket->abort();
                    return;
                }
                if (!socket->canReadLine()) return;
                if (socket->readLine() == kRaise && onRaise) onRaise();
                socket->disconnectFromServer();
            };
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, handle);
            handle();
        }
    });
    server_ = std::move(server);
    lock_ = std::move(lock);
    return true;
}

}  // namespace halvetrop

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include "platform/LinuxServices.h"

namespace halvetrop {

namespace {

const QByteArray kRaise = "raise\n";
constexpr int kConnectMs = 2000;

// True when an instance is listening; it gets the request to raise its window. A socket file left
// by a crashed instance refuses the connection.
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
    // Two launches at once must not both find no one and both listen: the claim is serialised.
    // QLockFile takes over a lock whose process has died.
    QLockFile lock(name_ + QStringLiteral(".lock"));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(5 * kConnectMs)) qWarning("Could not serialise the start of the application");

    if (askRunning(name_)) return false;

    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name_)) {
        // Nobody answered, so the socket was left by an instance that crashed.
        QLocalServer::removeServer(name_);
        if (!server->listen(name_)) {
            // Better two windows than none.
            qWarning("Cannot listen on %s: %s", qPrintable(name_), qPrintable(server->errorString()));
            return true;
        }
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
    return true;
}

}  // namespace halvetrop

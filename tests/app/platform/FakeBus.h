#pragma once
// A D-Bus service played by the test on its own connection to the (private) session bus, so the
// code under test reaches it through the bus daemon as it would reach the real one. It answers on
// a thread of its own, so a blocking call from the test's thread is answered too; calls are
// recorded under a lock.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QHash>
#include <QThread>
#include <QUuid>

#include <functional>
#include <mutex>
#include <vector>

namespace halvetrop::test {

class FakeBusService : public QDBusVirtualObject {
public:
    struct Call {
        QString path, interface, member;
        QVariantList arguments;
    };
    // Answers a call: the reply or an error made from the message.
    using Handler = std::function<QDBusMessage(const QDBusMessage&)>;

    FakeBusService(QString service, QString rootPath)
        : service_(std::move(service)),
          root_(std::move(rootPath)),
          bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                             QStringLiteral("fake-") + QUuid::createUuid().toString())) {}

    ~FakeBusService() override {
        bus_.unregisterService(service_);
        bus_.unregisterObject(root_, QDBusConnection::UnregisterTree);
        QDBusConnection::disconnectFromBus(bus_.name());
        thread_.quit();
        thread_.wait();
    }

    // interface + "." + member -> handler. Set before start().
    void on(const QString& interfaceMember, Handler handler) { handlers_.insert(interfaceMember, handler); }

    bool start() {
        if (!bus_.isConnected() || !bus_.registerVirtualObject(root_, this, QDBusConnection::SubPath))
            return false;
        thread_.start();
        moveToThread(&thread_);
        return bus_.registerService(service_);
    }

    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

    QStringList members() const {
        QStringList out;
        for (const Call& c : calls()) out << c.path + QLatin1Char(' ') + c.member;
        return out;
    }

    void emitSignal(const QString& path, const QString& interface, const QString& name,
                    const QVariantList& args) {
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
        signal.setArguments(args);
        bus_.send(signal);
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const auto it = handlers_.constFind(message.interface() + QLatin1Char('.') + message.member());
        {
            std::lock_guard lock(mutex_);
            calls_.push_back({message.path(), message.interface(), message.member(), message.arguments()});
        }
        if (it == handlers_.constEnd()) return false;
        connection.send((*it)(message));
        return true;
    }

private:
    QString service_, root_;
    QDBusConnection bus_;
    QHash<QString, Handler> handlers_;
    QThread thread_;
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};

// True when the test runs on a private session bus (under dbus-run-session); else why not.
inline bool privateSessionBus(QString* reason) {
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") ||
        !QDBusConnection::sessionBus().isConnected()) {
        *reason = QStringLiteral("no session bus: run under dbus-run-session");
        return false;
    }
    return true;
}

}  // namespace halvetrop::test

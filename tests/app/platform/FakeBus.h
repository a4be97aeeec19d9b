#pragma once
// A D-Bus service played by the test on its own connection to the (private) session bus, so the
// code under test reaches it through the bus daemon as it would reach the real one. It answers on
// a thread of its own, so a blocking call from the test's thread is answered too; calls are
// recorded under a lock.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVirtualObject>
#include <QHash>
#include <QTest>
#include <QThread>
#include <QUuid>

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace halvetrop::test {

// Makes the call on `bus` and waits for its answer (an error when nothing answers it): the answers
// the bus gave this process's calls before it, and whatever they set going in the event loop, came
// first. Nothing on a hang.
inline std::optional<QDBusMessage> answerOf(const QDBusConnection& bus, const QDBusMessage& call) {
    QDBusPendingCallWatcher watcher(bus.asyncCall(call, kHangDetectorMs));
    bool answered = false;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, [&] { answered = true; });
    if (!QTest::qWaitFor([&] { return answered; }, kHangDetectorMs)) return std::nullopt;
    return watcher.reply();
}

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

    // Returns once the code under test has nothing more to ask of the service: every call it made
    // is answered and each answer has reached it on this process's session bus (the one it calls
    // on), with whatever that answer set going. The test's own call is answered after every call
    // the service took before it, with how many it took: once two in a row find the same number,
    // no call was made while the first was on its way, and no answer is left. False on a hang.
    bool settle() const {
        const QDBusMessage call =
            QDBusMessage::createMethodCall(service_, root_, settleInterface(), QStringLiteral("Settle"));
        std::optional<qulonglong> took;
        while (true) {
            const std::optional<QDBusMessage> answer = answerOf(QDBusConnection::sessionBus(), call);
            if (!answer || answer->type() != QDBusMessage::ReplyMessage) return false;
            const qulonglong now = answer->arguments().value(0).toULongLong();
            if (took == now) return true;
            took = now;
        }
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() == settleInterface())
            return connection.send(message.createReply(QVariant::fromValue(qulonglong(calls().size()))));
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
    static QString settleInterface() { return QStringLiteral("org.halvetrop.Test"); }

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

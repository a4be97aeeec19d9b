#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QTimer>

#include <sys/sysmacros.h>

#include "platform/DBusTypes.h"
#include "platform/LinuxServices.h"
#include "platform/MountInfo.h"

namespace halvetrop {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");
const QString kNoService = QStringLiteral("Eject needs the UDisks2 service");
// Unmounting waits for the card's write cache and perhaps for the user to authorise it.
constexpr int kUnmountTimeoutMs = 5 * 60 * 1000;

// UDisks gives byte strings with their terminating NUL.
QByteArray withoutNul(QByteArray bytes) {
    while (bytes.endsWith('\0')) bytes.chop(1);
    return bytes;
}

QByteArrayList byteStrings(const QVariant& value) {
    QByteArrayList out;
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const QDBusArgument arg = value.value<QDBusArgument>();
        if (arg.currentSignature() == QLatin1String("aay")) out = qdbus_cast<QByteArrayList>(arg);
    } else if (value.metaType() == QMetaType::fromType<QByteArrayList>()) {
        out = value.value<QByteArrayList>();
    }
    for (QByteArray& b : out) b = withoutNul(b);
    return out;
}

QByteArray byteString(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QByteArray>()) return withoutNul(value.toByteArray());
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const QDBusArgument arg = value.value<QDBusArgument>();
        if (arg.currentSignature() == QLatin1String("ay")) return withoutNul(qdbus_cast<QByteArray>(arg));
    }
    return {};
}

QString objectPath(const QVariant& value) {
    return value.metaType() == QMetaType::fromType<QDBusObjectPath>() ? value.value<QDBusObjectPath>().path()
                                                                      : QString();
}

EjectFailure refused(QString reason) { return {EjectFailure::Kind::refused, std::move(reason)}; }
EjectFailure another() {
    return {EjectFailure::Kind::another, QStringLiteral("another card is mounted at its place now")};
}
EjectFailure noService() { return {EjectFailure::Kind::noService, kNoService}; }

EjectFailure failureOf(const QDBusMessage& error) {
    static const QStringList absent = {
        QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
        QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"),
        QStringLiteral("org.freedesktop.DBus.Error.Disconnected"),
        QStringLiteral("org.freedesktop.DBus.Error.Spawn.ServiceNotFound"),
    };
    if (absent.contains(error.errorName())) return noService();
    QString text = error.errorMessage().trimmed();
    // The reason is set into a sentence that ends with its own full stop.
    while (text.endsWith(QLatin1Char('.'))) text.chop(1);
    return refused(text.isEmpty() ? error.errorName() : text);
}

struct EjectJob {
    QDBusConnection bus;
    QObject* context;
    std::function<void(std::optional<EjectFailure>)> done;
    QStringList toUnmount;  // block objects, the asked volume first
    QString drive;
    bool canPowerOff = false;
    bool ejectable = false;
};

void callThen(const std::shared_ptr<EjectJob>& job, const QDBusMessage& message, int timeoutMs,
              std::function<void(const QDBusMessage&)> then) {
    auto* watcher = new QDBusPendingCallWatcher(job->bus.asyncCall(message, timeoutMs), job->context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, job->context,
                     [watcher, then = std::move(then)] {
                         watcher->deleteLater();
                         then(watcher->reply());
                     });
}

QDBusMessage method(const QString& path, const QString& interface, const QString& member) {
    QDBusMessage m = QDBusMessage::createMethodCall(kService, path, interface, member);
    m << QVariantMap();
    return m;
}

void powerOff(const std::shared_ptr<EjectJob>& job) {
    if (job->drive.isEmpty() || job->drive == QLatin1String("/") || (!job->canPowerOff && !job->ejectable)) {
        job->done(std::nullopt);
        return;
    }
    const QString member = job->canPowerOff ? QStringLiteral("PowerOff") : QStringLiteral("Eject");
    callThen(job, method(job->drive, kDrive, member), kUnmountTimeoutMs, [job](const QDBusMessage& reply) {
        // Every file system of the drive is unmounted and flushed by now, so the card may be
        // taken out even when the drive refuses to power off.
        if (reply.type() == QDBusMessage::ErrorMessage)
            qWarning("Drive %s did not power off: %s", qPrintable(job->drive),
                     qPrintable(reply.errorMessage()));
        job->done(std::nullopt);
    });
}

void unmountNext(const std::shared_ptr<EjectJob>& job) {
    if (job->toUnmount.isEmpty()) {
        powerOff(job);
        return;
    }
    const QString block = job->toUnmount.takeFirst();
    callThen(job, method(block, kFilesystem, QStringLiteral("Unmount")), kUnmountTimeoutMs,
             [job](const QDBusMessage& reply) {
                 if (reply.type() == QDBusMessage::ErrorMessage) {
                     job->done(failureOf(reply));
                     return;
                 }
                 unmountNext(job);
             });
}

// Whether the disk service's block device holds the file system asked for, as far as either side
// knows it: its device number (unless that is a number of the file system's own, as btrfs and FUSE
// mounts have, major 0) and its UUID.
bool isTarget(const QVariantMap& block, const EjectTarget& target) {
    const QStringList number = QString::fromStdString(target.deviceNumber).split(QLatin1Char(':'));
    const QVariant held = block.value(QStringLiteral("DeviceNumber"));
    if (number.size() == 2 && number[0].toUInt() != 0 && held.isValid() &&
        held.toULongLong() != quint64(makedev(number[0].toUInt(), number[1].toUInt())))
        return false;
    const QString uuid = block.value(QStringLiteral("IdUUID")).toString();
    return target.volumeID.empty() || uuid.isEmpty() ||
           uuid.compare(QString::fromStdString(target.volumeID), Qt::CaseInsensitive) == 0;
}

// Picks the file system mounted at the target's mount point and every other mounted one on the
// same drive: ejecting a card ejects all of its partitions.
std::optional<EjectFailure> plan(EjectJob& job, const DBusObjectMap& objects, const EjectTarget& wanted,
                                 const QByteArray& device) {
    const QByteArray mountPoint = QByteArray::fromStdString(wanted.mountPoint);
    QString target;
    for (auto it = objects.begin(); it != objects.end() && target.isEmpty(); ++it)
        if (byteStrings(it->value(kFilesystem).value(QStringLiteral("MountPoints"))).contains(mountPoint))
            target = it.key().path();
    // A FUSE mount is not listed under its device's mount points; its device still names it.
    for (auto it = objects.begin(); it != objects.end() && target.isEmpty() && !device.isEmpty(); ++it) {
        const QVariantMap block = it->value(kBlock);
        if (it->contains(kFilesystem) &&
            (byteString(block.value(QStringLiteral("Device"))) == device ||
             byteString(block.value(QStringLiteral("PreferredDevice"))) == device))
            target = it.key().path();
    }
    if (target.isEmpty())
        return refused(QStringLiteral("the system's disk service does not list it as a drive"));
    // Another card mounted there since the card was checked is not unmounted in its name.
    if (!isTarget(objects.value(QDBusObjectPath(target)).value(kBlock), wanted)) return another();

    job.drive =
        objectPath(objects.value(QDBusObjectPath(target)).value(kBlock).value(QStringLiteral("Drive")));
    job.toUnmount = {target};
    if (!job.drive.isEmpty() && job.drive != QLatin1String("/")) {
        const QVariantMap drive = objects.value(QDBusObjectPath(job.drive)).value(kDrive);
        job.canPowerOff = drive.value(QStringLiteral("CanPowerOff")).toBool();
        job.ejectable = drive.value(QStringLiteral("Ejectable")).toBool();
        // A drive that stays in the machine keeps its other file systems.
        const bool leaves = job.canPowerOff || job.ejectable;
        for (auto it = objects.begin(); leaves && it != objects.end(); ++it) {
            if (it.key().path() == target || !it->contains(kFilesystem)) continue;
            if (objectPath(it->value(kBlock).value(QStringLiteral("Drive"))) != job.drive) continue;
            if (!byteStrings(it->value(kFilesystem).value(QStringLiteral("MountPoints"))).isEmpty())
                job.toUnmount.push_back(it.key().path());
        }
    }
    return std::nullopt;
}

QByteArray mountedDevice(const std::string& mountPoint) {
    std::string device;
    for (const MountEntry& m : readMountInfo("/proc"))
        if (m.mountPoint == mountPoint) device = m.source;  // the last mount there is the visible one
    return device.compare(0, 5, "/dev/") == 0 ? QByteArray::fromStdString(device) : QByteArray();
}

}  // namespace

UDisksEjector::UDisksEjector(QDBusConnection bus)
    : bus_(std::move(bus)), context_(std::make_unique<QObject>()) {
    registerDBusObjectMap();
}

UDisksEjector::~UDisksEjector() = default;

void UDisksEjector::eject(const EjectTarget& target, std::function<void(std::optional<EjectFailure>)> done) {
    auto job =
        std::make_shared<EjectJob>(EjectJob{bus_, context_.get(), std::move(done), {}, {}, false, false});
    if (!bus_.isConnected()) {
        QTimer::singleShot(0, context_.get(), [job] { job->done(noService()); });
        return;
    }
    const QByteArray device = mountedDevice(target.mountPoint);
    QDBusMessage list = QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/UDisks2"),
                                                       QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                                       QStringLiteral("GetManagedObjects"));
    callThen(job, list, -1, [job, target, device](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ErrorMessage) {
            job->done(failureOf(reply));
            return;
        }
        if (reply.signature() != QLatin1String("a{oa{sa{sv}}}") || reply.arguments().isEmpty()) {
            job->done(refused(QStringLiteral("the system's disk service gave an answer it cannot use")));
            return;
        }
        const auto objects = qdbus_cast<DBusObjectMap>(reply.arguments().constFirst());
        if (std::optional<EjectFailure> failure = plan(*job, objects, target, device)) {
            job->done(std::move(failure));
            return;
        }
        unmountNext(job);
    });
}

}  // namespace halvetrop

#include <fcntl.h>
#include <libudev.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <string_view>

#include "platform/LinuxServices.h"
#include "platform/MountInfo.h"

namespace halvetrop {

namespace {
// A mount of several volumes (a card with two partitions, an automounter at login) arrives as a
// burst; the receiver re-reads everything, so one call per burst is enough.
constexpr int kMergeMs = 100;
}  // namespace

MountTableMonitor::MountTableMonitor(QString mountInfoPath) : path_(std::move(mountInfoPath)) {}

MountTableMonitor::~MountTableMonitor() { stop(); }

void MountTableMonitor::stop() {
    owner_.reset();  // the notifiers go before their descriptors
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (devices_) udev_monitor_unref(devices_);
    devices_ = nullptr;
    if (udev_) udev_unref(udev_);
    udev_ = nullptr;
}

void MountTableMonitor::start(std::function<void()> onChange) {
    stop();
    owner_ = std::make_unique<QObject>();
    auto* timer = new QTimer(owner_.get());
    timer->setSingleShot(true);
    timer->setInterval(kMergeMs);
    QObject::connect(timer, &QTimer::timeout, owner_.get(), [cb = std::move(onChange)] {
        if (cb) cb();
    });
    auto merge = [timer] {
        if (!timer->isActive()) timer->start();
    };
    // The kernel flags a change of the mount table as an exceptional condition (POLLPRI) on an
    // open mountinfo file; poll() itself re-arms it, so nothing has to be read.
    fd_ = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0) {
        auto* notifier = new QSocketNotifier(fd_, QSocketNotifier::Exception, owner_.get());
        QObject::connect(notifier, &QSocketNotifier::activated, timer, merge);
    } else {
        qWarning("Cannot watch %s for mounts", qPrintable(path_));
    }
    watchDevices(merge);
}

void MountTableMonitor::watchDevices(std::function<void()> merge) {
    // A volume relabelled while mounted changes no mount. The device manager says so once it has
    // read the device again, when its database (where an ordinary user reads labels) holds the new
    // facts: its own announcements, not the kernel's, which come before that. Where no device
    // manager runs, nothing is announced and the mount table alone is watched.
    udev_ = udev_new();
    devices_ = udev_ ? udev_monitor_new_from_netlink(udev_, "udev") : nullptr;
    if (!devices_ || udev_monitor_filter_add_match_subsystem_devtype(devices_, "block", nullptr) < 0 ||
        udev_monitor_enable_receiving(devices_) < 0) {
        if (devices_) udev_monitor_unref(devices_);
        devices_ = nullptr;
        return;
    }
    auto* notifier = new QSocketNotifier(udev_monitor_get_fd(devices_), QSocketNotifier::Read, owner_.get());
    QObject::connect(notifier, &QSocketNotifier::activated, owner_.get(), [this, merge = std::move(merge)] {
        // Each read takes one announcement; all that are waiting are taken (the socket does not
        // block), so the notifier does not fire again for them.
        std::set<dev_t> changed;
        while (udev_device* device = udev_monitor_receive_device(devices_)) {
            const char* action = udev_device_get_action(device);
            if (action && std::string_view(action) == "change")
                changed.insert(udev_device_get_devnum(device));
            udev_device_unref(device);
        }
        // Only a device that holds a mounted volume changes what the volume list says; disks are
        // partitioned, formatted and probed all the time.
        if (!changed.empty() && holdsMount(changed)) merge();
    });
}

bool MountTableMonitor::holdsMount(const std::set<dev_t>& devices) const {
    QFile table(path_);
    if (!table.open(QIODevice::ReadOnly)) return false;
    const QByteArray text = table.readAll();
    for (const MountEntry& m : parseMountInfo(std::string_view(text.constData(), size_t(text.size()))))
        if (devices.count(makedev(m.major, m.minor))) return true;
    return false;
}

}  // namespace halvetrop

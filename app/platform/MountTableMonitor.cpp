#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include "platform/LinuxServices.h"

namespace halvetrop {

namespace {
// A mount of several volumes (a card with two partitions, an automounter at login) arrives as a
// burst; the receiver re-reads everything, so one call per burst is enough.
constexpr int kMergeMs = 100;
}  // namespace

MountTableMonitor::MountTableMonitor(QString mountInfoPath) : path_(std::move(mountInfoPath)) {}

MountTableMonitor::~MountTableMonitor() {
    owner_.reset();  // the notifier goes before its descriptor
    if (fd_ >= 0) ::close(fd_);
}

void MountTableMonitor::start(std::function<void()> onChange) {
    owner_.reset();
    if (fd_ >= 0) ::close(fd_);
    // The kernel flags a change of the mount table as an exceptional condition (POLLPRI) on an
    // open mountinfo file; poll() itself re-arms it, so nothing has to be read.
    fd_ = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        qWarning("Cannot watch %s for mounts", qPrintable(path_));
        return;
    }
    owner_ = std::make_unique<QObject>();
    auto* timer = new QTimer(owner_.get());
    timer->setSingleShot(true);
    timer->setInterval(kMergeMs);
    QObject::connect(timer, &QTimer::timeout, owner_.get(), [cb = std::move(onChange)] {
        if (cb) cb();
    });
    auto* notifier = new QSocketNotifier(fd_, QSocketNotifier::Exception, owner_.get());
    QObject::connect(notifier, &QSocketNotifier::activated, timer, [timer] {
        if (!timer->isActive()) timer->start();
    });
}

}  // namespace halvetrop

#include "model/CardWatch.h"

#include "report/Join.h"

#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>
#include <cerrno>
#include <climits>

namespace halvetrop {

namespace {

// What makes a card other than its check saw it: files and folders made, written, touched, moved
// in or out and deleted. Reads are no news (the listings' own least of all), and a watch never
// follows a link out of the card.
constexpr uint32_t kNotices = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVED_FROM |
                              IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW |
                              IN_EXCL_UNLINK;

}  // namespace

CardWatch::Marks::Marks(int fd, std::string root, size_t limit)
    : fd_(fd), root_(std::move(root)), limit_(limit), incomplete_(fd < 0) {}

CardWatch::Marks::~Marks() {
    if (fd_ >= 0) ::close(fd_);
}

bool CardWatch::Marks::add(const std::vector<std::string>& folders) {
    bool added = false;
    for (const std::string& folder : folders) {
        if (stopped_ || fd_ < 0) return added;
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (watched_.count(folder)) continue;
            if (watched_.size() >= limit_) {
                incomplete_ = true;
                return added;
            }
        }
        // Outside the lock: the path is looked up on the card, which may be slow to answer.
        const std::string path = folder.empty() ? root_ : join(root_, folder);
        const int wd = ::inotify_add_watch(fd_, path.c_str(), kNotices);
        if (wd < 0) {
            // Out of watches: what is not watched is left to listings. A folder gone or closed to
            // us meanwhile is the listing's to tell.
            if (errno == ENOSPC || errno == ENOMEM) incomplete_ = true;
            continue;
        }
        std::lock_guard<std::mutex> hold(lock_);
        watched_.insert(folder);
        byWatch_[wd] = folder;
        added = true;
    }
    return added;
}

void CardWatch::Marks::forget(int wd) {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = byWatch_.find(wd);
    if (it == byWatch_.end()) return;
    watched_.erase(it->second);
    byWatch_.erase(it);
}

CardWatch::CardWatch(const std::string& root, size_t limit, QObject* parent)
    : QObject(parent),
      marks_(std::make_shared<Marks>(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC), root, limit)) {
    if (marks_->fd() < 0) return;
    notifier_ = new QSocketNotifier(marks_->fd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &CardWatch::readNotices);
}

CardWatch::~CardWatch() {
    // The notifier goes before its descriptor may. A listing in flight may still hold the marks:
    // it adds nothing more, and the last holder closes them.
    delete notifier_;
    marks_->stop();
}

void CardWatch::readNotices() {
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    bool news = false, unmount = false;
    while (true) {
        const ssize_t n = ::read(marks_->fd(), buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + e->len);
            if (e->mask & IN_IGNORED) {
                // Its folder went; what that was is told by the folder that held it.
                marks_->forget(e->wd);
                continue;
            }
            if (e->mask & IN_UNMOUNT) {
                // The card itself went (another may be mounted at its place at once): no listing
                // of its folder tells that.
                unmount = true;
                continue;
            }
            news = true;  // IN_Q_OVERFLOW too: what was dropped is found by listing
        }
    }
    if (news) emit changed();
    if (unmount) emit unmounted();
}

}  // namespace halvetrop

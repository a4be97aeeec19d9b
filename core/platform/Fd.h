#pragma once
#include "platform/Sys.h"

#include <utility>

namespace halvetrop {

// Owns one file descriptor and closes it through the seam that opened it.
class UniqueFd {
public:
    UniqueFd() = default;
    UniqueFd(int fd, Sys& sys = defaultSys()) : fd_(fd), sys_(&sys) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)), sys_(o.sys_) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept {
        if (this != &o) {
            reset();
            fd_ = std::exchange(o.fd_, -1);
            sys_ = o.sys_;
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    explicit operator bool() const { return valid(); }
    int release() { return std::exchange(fd_, -1); }
    // Closes now and returns close's result with errno, for callers that must see a failed close.
    int close() {
        if (fd_ < 0) return 0;
        return sys_->close(std::exchange(fd_, -1));
    }
    void reset() {
        if (fd_ >= 0) sys_->close(std::exchange(fd_, -1));
    }

private:
    int fd_ = -1;
    Sys* sys_ = &defaultSys();
};

}  // namespace halvetrop

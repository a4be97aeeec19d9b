#pragma once
// A separate drive for end-to-end tests: a zram block device with ext4, mounted under /mnt (where
// the volume list looks). Taken down in the destructor (unmount, lazily if busy; reset; remove),
// so a failing test leaves nothing behind. Construction throws std::runtime_error with the reason
// when the machine refuses.
#include <string>

namespace halvetrop::test {

class ZramVolume {
public:
    explicit ZramVolume(const std::string& label, long long bytes = 128ll << 20);
    ~ZramVolume();
    ZramVolume(const ZramVolume&) = delete;
    ZramVolume& operator=(const ZramVolume&) = delete;

    // Why this machine cannot make zram volumes ("" when it can).
    static std::string unavailableReason();

    const std::string& mountPoint() const { return mountPoint_; }
    // The block device ("/dev/zramN").
    std::string device() const { return "/dev/zram" + std::to_string(index_); }
    // Unmounts the drive, leaving its mount-point folder behind (as an unplugged drive does), and
    // mounts it again. Each gives the reason when it fails ("" on success).
    std::string unmount();
    std::string remount();
    // Detaches the file system at once though files on it are open (umount -l), as a cable pulled
    // mid-work leaves it: the path is the empty mount-point folder on the system's disk from now on.
    std::string unmountLazily();
    // Writes a file below the mount point, making its folders.
    void write(const std::string& relative, const std::string& bytes) const;

private:
    void tearDown() noexcept;
    int index_ = -1;
    std::string mountPoint_;
    bool mounted_ = false;
};

}  // namespace halvetrop::test

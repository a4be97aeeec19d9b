#pragma once
// A drive of its own for tests: a fresh zram device (a whole disk of its own in sysfs) with ext4 on
// it, mounted in a fresh folder whose root belongs to the test's user. The destructor unmounts it
// (lazily if busy), resets the device and gives it back, also when construction failed halfway.
// Construction throws std::runtime_error with the failing step; call available() first and skip
// with its reason when it says no. Root's part goes through runAsRoot, so a suite playing an
// ordinary user builds the same drives.
#include <cstdint>
#include <string>

namespace halvetrop::test {

class ZramVolume {
public:
    // size in bytes (ext4 needs >= 2 MiB). mountParent: where the mount-point folder is made ("" =
    // $TMPDIR or /tmp; "/mnt" where the application's volume list looks).
    explicit ZramVolume(std::int64_t size, const std::string& label = "", const std::string& mountParent = "");
    ~ZramVolume();
    ZramVolume(const ZramVolume&) = delete;
    ZramVolume& operator=(const ZramVolume&) = delete;

    // Whether this machine gives out zram devices (loading the module when it is not loaded);
    // *reason says why not.
    static bool available(std::string* reason);

    const std::string& mountPoint() const { return mountPoint_; }
    // "/dev/zramN"
    const std::string& device() const { return device_; }
    // mountPoint() + "/" + relative
    std::string operator/(const std::string& relative) const { return mountPoint_ + "/" + relative; }

    // Unmounts the drive, leaving its mount-point folder behind (as an unplugged drive does), and
    // mounts it again, with the device database brought up to date. Each gives the reason when it
    // fails ("" on success).
    std::string unmount();
    std::string remount();
    // Detaches the file system at once though files on it are open (umount -l), as a cable pulled
    // mid-work leaves it: the path is the empty mount-point folder from now on.
    std::string unmountLazily();
    // Writes a file below the mount point, making its folders.
    void write(const std::string& relative, const std::string& bytes) const;

private:
    void tearDown() noexcept;

    int id_ = -1;
    std::string device_;
    std::string mountPoint_;
    bool madeMountPoint_ = false;
    bool rootFolder_ = false;
    bool mounted_ = false;
};

}  // namespace halvetrop::test

#pragma once
// A drive of its own for tests: a fresh zram device (a whole disk of its own in sysfs) with ext4,
// XFS or btrfs on it, mounted in a fresh folder whose root belongs to the test's user. A btrfs
// volume may span several zram devices, and a subvolume of it may be mounted alone besides. The
// destructor unmounts everything (lazily if busy), resets the devices and gives them back, also
// when construction failed halfway. Construction throws std::runtime_error with the failing step;
// call available() first and skip with its reason when it says no. Root's part goes through
// runAsRoot, so a suite playing an ordinary user builds the same drives.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace halvetrop::test {

class ZramVolume {
public:
    enum class FileSystem { ext4, xfs, btrfs };

    struct Options {
        FileSystem fileSystem = FileSystem::ext4;
        std::string label;
        // Where the mount-point folder is made ("" = $TMPDIR or /tmp; "/mnt" where the
        // application's volume list looks).
        std::string mountParent;
        // Given to mount -o ("compress=zstd" makes btrfs compress what compresses).
        std::string mountOptions;
        // btrfs only: the file system spans this many zram devices of `size` each, and these
        // other block devices besides (a loop device over an image on another volume).
        int devices = 1;
        std::vector<std::string> alsoOn = {};
    };

    // size in bytes of each device: ext4 needs >= 2 MiB, btrfs >= 109 MiB (69 MiB each over
    // several devices), XFS >= 300 MiB (zram holds only what is written).
    ZramVolume(std::int64_t size, const Options& options);
    explicit ZramVolume(std::int64_t size, const std::string& label = "", const std::string& mountParent = "")
        : ZramVolume(size, Options{FileSystem::ext4, label, mountParent, "", 1}) {}
    ~ZramVolume();
    ZramVolume(const ZramVolume&) = delete;
    ZramVolume& operator=(const ZramVolume&) = delete;

    // Whether this machine gives out zram devices (loading the module when it is not loaded) and
    // can make the file system; *reason says why not.
    static bool available(std::string* reason, FileSystem fileSystem = FileSystem::ext4);

    const std::string& mountPoint() const { return mountPoint_; }
    // "/dev/zramN": the first of the volume's devices, the one its mounts name.
    const std::string& device() const { return devices_.front(); }
    // Every zram device the volume spans, the first one first.
    const std::vector<std::string>& devices() const { return devices_; }
    // mountPoint() + "/" + relative
    std::string operator/(const std::string& relative) const { return mountPoint_ + "/" + relative; }

    // btrfs: makes the subvolume `name` at the volume's root and mounts it alone in a fresh folder
    // of the test's user, as a desktop mounts a drive's subvolume; returns that mount point.
    // Unmounted with the volume.
    std::string mountSubvolume(const std::string& name);

    // Unmounts the drive, leaving its mount-point folder behind (as an unplugged drive does), and
    // mounts it again, with the device database brought up to date. Each gives the reason when it
    // fails ("" on success).
    std::string unmount();
    std::string remount();
    // Unmounts the drive once nothing holds it open any more: whatever has a file or folder of it
    // open for a moment (a worker of the application, another process describing the mounted
    // volumes) lets go, and the unmount is tried again, `between` run meanwhile (see tryUntilHang).
    // What still holds it on a hang is named in the reason.
    std::string unmountOnceFree(const std::function<void()>& between = {});
    // Detaches the file system at once though files on it are open (umount -l), as a cable pulled
    // mid-work leaves it: the path is the empty mount-point folder from now on.
    std::string unmountLazily();
    // Unmounts the drive and mounts `other` (not mounted itself) at its mount point in the same
    // command, with no moment between, as an automounter mounts another card put in the reader.
    // `other` stays there until unmounted by hand. "" on success, else the reason (which says
    // "busy" while a file on this drive is open).
    std::string swapFor(const ZramVolume& other);
    // Writes a file below the mount point, making its folders.
    void write(const std::string& relative, const std::string& bytes) const;

private:
    void tearDown() noexcept;
    // mount -t TYPE with the volume's options (and its other devices for btrfs), plus `extra`.
    std::string mountCommand(const std::string& mountPoint, const std::string& extra = "") const;

    Options options_;
    std::vector<int> ids_;
    std::vector<std::string> devices_;
    std::string mountPoint_;
    bool madeMountPoint_ = false;
    bool rootFolder_ = false;
    bool mounted_ = false;
    // Subvolumes mounted alone: mount point, and whether root made its folder.
    std::vector<std::pair<std::string, bool>> subvolumeMounts_;
};

}  // namespace halvetrop::test

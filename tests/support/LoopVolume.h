#pragma once
// Real volumes for tests: each object builds its volume in the constructor and takes it down in
// the destructor (unmount, lazily if busy; detach the loop device; remove the image and folder),
// so a failing test never leaves a mount behind. Construction throws std::runtime_error with the
// failing command's output when the machine cannot build the volume; call available() first and
// GTEST_SKIP() with its reason when it says no.
#include <cstdint>
#include <string>

namespace halvetrop::test {

class LoopVolume {
public:
    enum class Type { ext4, exfat, tmpfs };

    struct Options {
        std::string label;        // may be empty
        std::string mountParent;  // where the mount-point folder is made ("" = beside the image)
        std::string imageParent;  // where the image lives ("" = $TMPDIR or /tmp)
        std::string imageName;    // the image's file name ("" = image.ext4 or image.exfat)
        // The loop device reads its image with direct I/O, past the page cache: a volume on it is
        // read from the medium when the image's own volume is.
        bool directIO = true;
    };

    // size in bytes (ext4 needs >= 2 MiB, exFAT >= 1 MiB). An image inside another test volume
    // puts the loop device on that volume's drive.
    LoopVolume(Type type, std::int64_t size, const Options& options);
    LoopVolume(Type type, std::int64_t size, const std::string& label = "", const std::string& mountParent = "",
               const std::string& imageParent = "")
        : LoopVolume(type, size, Options{label, mountParent, imageParent, "", true}) {}
    ~LoopVolume();
    LoopVolume(const LoopVolume&) = delete;
    LoopVolume& operator=(const LoopVolume&) = delete;

    static LoopVolume ext4(std::int64_t size = 16 << 20, const std::string& label = "") { return {Type::ext4, size, label}; }
    static LoopVolume exfat(std::int64_t size = 16 << 20, const std::string& label = "") { return {Type::exfat, size, label}; }
    static LoopVolume tmpfs(std::int64_t size = 1 << 20) { return {Type::tmpfs, size}; }

    // Whether this machine can build the volume type; *reason says why not (not root, no
    // /dev/loop-control, no mkfs.exfat / mount.exfat-fuse / fuse).
    static bool available(std::string* reason, Type type = Type::ext4);

    Type type() const { return type_; }
    const std::string& mountPoint() const { return mountPoint_; }
    // "/dev/loopN"; "" for tmpfs.
    const std::string& device() const { return device_; }
    // The image file backing the loop device; "" for tmpfs.
    const std::string& imagePath() const { return image_; }
    // mountPoint() + "/" + relative
    std::string operator/(const std::string& relative) const { return mountPoint_ + "/" + relative; }
    // What the kernel says: the loop device reads its image with direct I/O.
    bool readsImageDirectly() const;

private:
    void tearDown() noexcept;

    Type type_;
    std::string workDir_;     // holds the image and the mount point
    std::string image_;
    std::string device_;
    std::string mountPoint_;
    bool rootFolder_ = false;  // its mount point was made by root
    bool mounted_ = false;
};

// A read-only loop device with direct I/O over something that already exists (a file, or a block
// device such as another volume's), with the ext4 on it mounted read-only without touching its
// journal, so that the same file system can be seen through a second device. Sync the volume first
// for its latest files to show. Taken down like a LoopVolume.
class LoopOver {
public:
    explicit LoopOver(const std::string& backing);
    ~LoopOver();
    LoopOver(const LoopOver&) = delete;
    LoopOver& operator=(const LoopOver&) = delete;

    const std::string& device() const { return device_; }
    const std::string& mountPoint() const { return mountPoint_; }

private:
    void tearDown() noexcept;

    std::string device_;
    std::string mountPoint_;
    bool mounted_ = false;
};

}  // namespace halvetrop::test

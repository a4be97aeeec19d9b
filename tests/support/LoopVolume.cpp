#include "support/LoopVolume.h"

#include "support/Privileged.h"
#include "support/TempDir.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

namespace halvetrop::test {

namespace {

bool haveProgram(const char* name) {
    return runShell(std::string("command -v ") + name + " >/dev/null 2>&1") == 0;
}

}  // namespace

bool LoopVolume::available(std::string* reason, Type type) {
    if (!canRunAsRoot(reason)) return false;
    if (type == Type::tmpfs) return true;
    if (!canUseLoopDevices(reason)) return false;
    const char* missing = nullptr;
    if (type == Type::ext4 && !haveProgram("mkfs.ext4")) missing = "mkfs.ext4 is not installed (e2fsprogs)";
    if (type == Type::exfat && (!haveProgram("mkfs.exfat") || !haveProgram("mount.exfat-fuse")))
        missing = "mkfs.exfat or mount.exfat-fuse is not installed (exfatprogs, exfat-fuse)";
    else if (type == Type::exfat && ::access("/dev/fuse", R_OK | W_OK) != 0)
        missing = "this machine has no usable /dev/fuse";
    if (!missing) return true;
    const std::string why = volumesUnavailable(missing);
    if (reason) *reason = why;
    return false;
}

namespace {

// Attaches a loop device to the file and returns its node.
std::string attach(const std::string& file, bool directIO, bool readOnly) {
    return runAsRootOrThrow(std::string("losetup -f --show") + (directIO ? " --direct-io=on" : "") + (readOnly ? " -r " : " ") +
                      shellQuote(file));
}

void unmount(const std::string& mountPoint, bool fuse) {
    std::string out;
    bool done = fuse && runAsRoot("fusermount -u " + shellQuote(mountPoint), &out) == 0;
    if (!done) done = runAsRoot("umount " + shellQuote(mountPoint), &out) == 0;
    // Something still holds the volume open: detach it now, the kernel finishes later.
    if (!done) runAsRoot("umount -l " + shellQuote(mountPoint));
}

void detach(const std::string& device) {
    // A FUSE daemon may still hold the device for a moment; losetup -d then marks it for
    // automatic detach when the last user lets go.
    const std::string d = shellQuote(device);
    if (!tryUntilHang([&] { return runAsRoot("losetup -d " + d + " || ! losetup " + d + " >/dev/null") == 0; }))
        std::fprintf(stderr, "halvetrop-test: %s could not be detached\n", device.c_str());
}

}  // namespace

LoopVolume::LoopVolume(Type type, std::int64_t size, const Options& o) : type_(type) {
    try {
        workDir_ = makeTempFolder(o.imageParent, "vol");
        mountPoint_ = o.mountParent.empty() ? workDir_ + "/mnt" : makeMountFolder(o.mountParent, "mnt", &rootFolder_);
        if (o.mountParent.empty()) std::filesystem::create_directory(mountPoint_);
        const std::string sz = std::to_string(size);
        const std::string label = o.label.empty() ? std::string() : "-L " + shellQuote(o.label) + " ";
        // Files of a volume a suite plays an ordinary user on belong to that user.
        const std::string owner = playsUser() ? "uid=" + std::to_string(testUid()) + ",gid=" + std::to_string(testGid()) : "";
        switch (type) {
        case Type::tmpfs:
            runAsRootOrThrow("mount -t tmpfs -o size=" + sz + (owner.empty() ? "" : "," + owner) + " halvetrop-tmpfs " +
                             shellQuote(mountPoint_));
            mounted_ = true;
            break;
        case Type::ext4:
            image_ = workDir_ + "/" + (o.imageName.empty() ? "image.ext4" : o.imageName);
            runOrThrow("truncate -s " + sz + " " + shellQuote(image_));
            // 4 KiB blocks: a direct-I/O loop takes the sector size of the disk beneath, up to 4 KiB.
            runOrThrow("mkfs.ext4 -q -F -b 4096 " + label + shellQuote(image_));
            device_ = attach(image_, o.directIO, false);
            runAsRootOrThrow("mount -t ext4 " + shellQuote(device_) + " " + shellQuote(mountPoint_));
            mounted_ = true;
            // Attaching makes the device manager read the drive, maybe while it is being mounted.
            refreshDeviceDatabase(device_);
            giveToTestUser(mountPoint_);
            break;
        case Type::exfat:
            image_ = workDir_ + "/" + (o.imageName.empty() ? "image.exfat" : o.imageName);
            runOrThrow("truncate -s " + sz + " " + shellQuote(image_));
            device_ = attach(image_, o.directIO, false);
            runAsRootOrThrow("mkfs.exfat " + label + shellQuote(device_) + " >/dev/null");
            runAsRootOrThrow("mount.exfat-fuse " + (owner.empty() ? "" : "-o allow_other," + owner + " ") + shellQuote(device_) +
                             " " + shellQuote(mountPoint_));
            mounted_ = true;
            // As for a zram drive: the device manager reads it again, once mounted.
            refreshDeviceDatabase(device_);
            break;
        }
    } catch (const std::exception& e) {
        tearDown();
        volumesUnavailable(std::string("a loop volume could not be built: ") + e.what());
        throw;
    }
}

bool LoopVolume::readsImageDirectly() const {
    if (device_.empty()) return false;
    std::string out;
    const std::string name = std::filesystem::path(device_).filename();
    return runShell("cat /sys/block/" + name + "/loop/dio", &out) == 0 && out.rfind("1", 0) == 0;
}

LoopVolume::~LoopVolume() { tearDown(); }

void LoopVolume::tearDown() noexcept {
    try {
        if (mounted_) {
            unmount(mountPoint_, type_ == Type::exfat);
            mounted_ = false;
        }
        if (!device_.empty()) detach(device_);
        device_.clear();
        std::error_code ec;
        if (!image_.empty()) std::filesystem::remove(image_, ec);
        // Never remove_all a folder that may still be a mount: only empty folders go.
        if (rootFolder_) {
            removeMountFolder(mountPoint_, true);
        } else if (!mountPoint_.empty()) {
            std::filesystem::remove(mountPoint_, ec);
        }
        if (!workDir_.empty()) std::filesystem::remove(workDir_, ec);
    } catch (...) {
    }
}

LoopOver::LoopOver(const std::string& backing) {
    try {
        device_ = attach(backing, true, true);
        mountPoint_ = makeTempFolder("", "over");
        runAsRootOrThrow("mount -t ext4 -o ro,noload " + shellQuote(device_) + " " + shellQuote(mountPoint_));
        mounted_ = true;
        // A check describes this drive too: its database entry is complete before one does.
        refreshDeviceDatabase(device_);
    } catch (const std::exception& e) {
        tearDown();
        volumesUnavailable(std::string("a loop device could not be attached: ") + e.what());
        throw;
    }
}

LoopOver::~LoopOver() { tearDown(); }

void LoopOver::tearDown() noexcept {
    try {
        if (mounted_) unmount(mountPoint_, false);
        mounted_ = false;
        if (!device_.empty()) detach(device_);
        device_.clear();
        std::error_code ec;
        if (!mountPoint_.empty()) std::filesystem::remove(mountPoint_, ec);
    } catch (...) {
    }
}

}  // namespace halvetrop::test

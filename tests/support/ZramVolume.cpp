#include "support/ZramVolume.h"

#include "support/Privileged.h"
#include "support/TempDir.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace halvetrop::test {

namespace {

const std::string kControl = "/sys/class/zram-control";

}  // namespace

bool ZramVolume::available(std::string* reason) {
    if (!canRunAsRoot(reason)) return false;
    if (::access(kControl.c_str(), F_OK) != 0) {
        std::string out;
        // num_devices=0: only the devices the tests add exist.
        if (runAsRoot("modprobe zram num_devices=0", &out) != 0 || ::access(kControl.c_str(), F_OK) != 0) {
            if (reason) *reason = "this machine gives out no zram devices (no " + kControl + "; modprobe zram: " + out + ")";
            return false;
        }
    }
    if (runShell("command -v mkfs.ext4 >/dev/null 2>&1 || test -x /sbin/mkfs.ext4") != 0) {
        if (reason) *reason = "mkfs.ext4 is not installed (e2fsprogs)";
        return false;
    }
    return true;
}

ZramVolume::ZramVolume(std::int64_t size, const std::string& label, const std::string& mountParent) {
    try {
        const std::string added = runAsRootOrThrow("cat " + kControl + "/hot_add");
        try {
            id_ = std::stoi(added);
        } catch (const std::exception&) {
            throw std::runtime_error("no zram device from " + kControl + "/hot_add: " + added);
        }
        const std::string name = "zram" + std::to_string(id_);
        device_ = "/dev/" + name;
        runAsRootOrThrow("echo " + std::to_string(size) + " > /sys/block/" + name + "/disksize");
        // udev may be slow to make the node, or absent.
        for (int i = 0; i < 100 && ::access(device_.c_str(), F_OK) != 0; ++i) ::usleep(10 * 1000);
        runAsRootOrThrow("mkfs.ext4 -q -F " + (label.empty() ? std::string() : "-L " + shellQuote(label) + " ") +
                         shellQuote(device_));
        mountPoint_ = makeMountFolder(mountParent, label.empty() ? "zram" : label, &rootFolder_);
        madeMountPoint_ = true;
        runAsRootOrThrow("mount -t ext4 " + shellQuote(device_) + " " + shellQuote(mountPoint_));
        mounted_ = true;
        // Formatting makes the device manager read the drive again a moment later, maybe while it
        // is being mounted, when its superblock can read as nothing; once mounted it reads true.
        refreshDeviceDatabase(device_);
        giveToTestUser(mountPoint_);
    } catch (...) {
        tearDown();
        throw;
    }
}

ZramVolume::~ZramVolume() { tearDown(); }

void ZramVolume::tearDown() noexcept {
    try {
        if (mounted_) runAsRoot("umount " + shellQuote(mountPoint_) + " || umount -l " + shellQuote(mountPoint_));
        mounted_ = false;
        // Only an empty folder goes.
        if (madeMountPoint_) removeMountFolder(mountPoint_, rootFolder_);
        if (id_ >= 0) {
            const std::string name = "zram" + std::to_string(id_);
            // A lazily unmounted volume lets go of its device a moment later.
            runAsRoot("for i in $(seq 50); do echo 1 > /sys/block/" + name + "/reset 2>/dev/null && break; sleep 0.02; done; echo " +
                      std::to_string(id_) + " > " + kControl + "/hot_remove");
            id_ = -1;
        }
    } catch (...) {
    }
}

std::string ZramVolume::unmount() {
    std::string out;
    if (mounted_ && runAsRoot("umount " + shellQuote(mountPoint_), &out) != 0) return "umount failed: " + out;
    mounted_ = false;
    return "";
}

std::string ZramVolume::unmountLazily() {
    std::string out;
    if (mounted_ && runAsRoot("umount -l " + shellQuote(mountPoint_), &out) != 0) return "umount -l failed: " + out;
    mounted_ = false;
    return "";
}

std::string ZramVolume::remount() {
    std::string out;
    if (runAsRoot("mount -t ext4 " + shellQuote(device_) + " " + shellQuote(mountPoint_), &out) != 0)
        return "mount failed: " + out;
    mounted_ = true;
    try {
        refreshDeviceDatabase(device_);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

void ZramVolume::write(const std::string& relative, const std::string& bytes) const {
    std::filesystem::path p = std::filesystem::path(mountPoint_) / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary);
    f << bytes;
    if (!f) throw std::runtime_error("cannot write " + p.string());
}

}  // namespace halvetrop::test

#include "support/ZramVolume.h"

#include "support/Privileged.h"
#include "support/TempDir.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace halvetrop::test {

namespace {

const std::string kControl = "/sys/class/zram-control";

// What holds the volume open, said when its unmount failed: a process keeping a folder of a card
// open makes its eject fail as busy.
std::string holders(const std::string& mountPoint) {
    std::string out;
    runAsRoot("lsof -w +f -- " + shellQuote(mountPoint) + " 2>/dev/null || fuser -vm " + shellQuote(mountPoint), &out);
    return out.empty() ? "" : "; open on it:\n" + out;
}

}  // namespace

bool ZramVolume::available(std::string* reason) {
    if (!canRunAsRoot(reason)) return false;
    if (::access(kControl.c_str(), F_OK) != 0) {
        std::string out;
        // num_devices=0: only the devices the tests add exist.
        if (runAsRoot("modprobe zram num_devices=0", &out) != 0 || ::access(kControl.c_str(), F_OK) != 0) {
            const std::string why =
                volumesUnavailable("this machine gives out no zram devices (no " + kControl + "; modprobe zram: " + out + ")");
            if (reason) *reason = why;
            return false;
        }
    }
    if (runShell("command -v mkfs.ext4 >/dev/null 2>&1 || test -x /sbin/mkfs.ext4") != 0) {
        const std::string why = volumesUnavailable("mkfs.ext4 is not installed (e2fsprogs)");
        if (reason) *reason = why;
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
    } catch (const std::exception& e) {
        tearDown();
        volumesUnavailable(std::string("a zram drive could not be built: ") + e.what());
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
    if (mounted_ && runAsRoot("umount " + shellQuote(mountPoint_), &out) != 0) {
        // Also said here: a test that checks only that the unmount succeeded prints no reason.
        const std::string reason = "umount " + mountPoint_ + " failed: " + out + holders(mountPoint_);
        std::fprintf(stderr, "halvetrop-test: %s\n", reason.c_str());
        return reason;
    }
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

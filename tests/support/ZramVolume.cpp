#include "support/ZramVolume.h"

#include "support/TempDir.h"

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace halvetrop::test {

namespace {

const std::string kControl = "/sys/class/zram-control";

// sysfs takes a value in one write; its error comes back on the flush.
bool writeSysfs(const std::string& path, const std::string& value, std::string* error = nullptr) {
    std::ofstream out(path);
    out << value << std::flush;
    if (out) return true;
    if (error) *error = "writing " + value + " to " + path + ": " + std::strerror(errno);
    return false;
}

}  // namespace

bool ZramVolume::available(std::string* reason) {
    if (::geteuid() != 0) {
        if (reason) *reason = "needs root to make zram devices and mount volumes";
        return false;
    }
    if (::access(kControl.c_str(), F_OK) != 0) {
        std::string out;
        // num_devices=0: only the devices the tests add exist.
        if (runShell("modprobe zram num_devices=0 2>&1", &out) != 0 || ::access(kControl.c_str(), F_OK) != 0) {
            if (reason) *reason = "this machine gives out no zram devices (no " + kControl + "; modprobe zram: " + out + ")";
            return false;
        }
    }
    if (runShell("command -v mkfs.ext4 >/dev/null 2>&1") != 0) {
        if (reason) *reason = "mkfs.ext4 is not installed (e2fsprogs)";
        return false;
    }
    return true;
}

ZramVolume::ZramVolume(std::int64_t size, const std::string& label, const std::string& mountParent) {
    try {
        std::ifstream add(kControl + "/hot_add");
        if (!(add >> id_) || id_ < 0) {
            id_ = -1;
            throw std::runtime_error("no zram device from " + kControl + "/hot_add");
        }
        const std::string name = "zram" + std::to_string(id_);
        device_ = "/dev/" + name;
        std::string error;
        if (!writeSysfs("/sys/block/" + name + "/disksize", std::to_string(size), &error)) throw std::runtime_error(error);
        // udev may be slow to make the node, or absent.
        for (int i = 0; i < 100 && ::access(device_.c_str(), F_OK) != 0; ++i) ::usleep(10 * 1000);
        runOrThrow("mkfs.ext4 -q -F " + (label.empty() ? std::string() : "-L " + shellQuote(label) + " ") +
                   shellQuote(device_));
        mountPoint_ = makeTempFolder(mountParent, "zram");
        madeMountPoint_ = true;
        if (::mount(device_.c_str(), mountPoint_.c_str(), "ext4", 0, nullptr) != 0)
            throw std::runtime_error("mount " + device_ + " on " + mountPoint_ + ": " + std::strerror(errno));
        mounted_ = true;
    } catch (...) {
        tearDown();
        throw;
    }
}

ZramVolume::~ZramVolume() { tearDown(); }

void ZramVolume::tearDown() noexcept {
    try {
        if (mounted_ && ::umount(mountPoint_.c_str()) != 0) ::umount2(mountPoint_.c_str(), MNT_DETACH);
        mounted_ = false;
        if (madeMountPoint_) {
            std::error_code ec;
            std::filesystem::remove(mountPoint_, ec);  // only an empty folder goes
        }
        if (id_ >= 0) {
            const std::string name = "zram" + std::to_string(id_);
            // A lazily unmounted volume lets go of its device a moment later.
            for (int i = 0; i < 50 && !writeSysfs("/sys/block/" + name + "/reset", "1"); ++i) ::usleep(20 * 1000);
            writeSysfs(kControl + "/hot_remove", std::to_string(id_));
            id_ = -1;
        }
    } catch (...) {
    }
}

}  // namespace halvetrop::test

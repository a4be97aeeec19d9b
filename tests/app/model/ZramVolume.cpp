#include "ZramVolume.h"

#include "support/TempDir.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace halvetrop::test {

namespace {

void writeSys(const std::string& path, const std::string& value) {
    std::ofstream f(path);
    f << value;
    f.flush();
    if (!f) throw std::runtime_error("cannot write " + value + " to " + path);
}

}  // namespace

std::string ZramVolume::unavailableReason() {
    if (::geteuid() != 0) return "needs root to make zram devices and mount them";
    if (!std::filesystem::exists("/sys/class/zram-control/hot_add"))
        return "no /sys/class/zram-control (zram module not loaded)";
    return "";
}

ZramVolume::ZramVolume(const std::string& label, long long bytes) {
    std::ifstream add("/sys/class/zram-control/hot_add");
    if (!(add >> index_)) throw std::runtime_error("zram hot_add refused");
    try {
        std::string dev = "/dev/zram" + std::to_string(index_);
        writeSys("/sys/block/zram" + std::to_string(index_) + "/disksize", std::to_string(bytes));
        std::string out;
        if (runShell("mkfs.ext4 -q -F -L " + label + " " + dev + " 2>&1", &out) != 0)
            throw std::runtime_error("mkfs.ext4 failed: " + out);
        mountPoint_ = "/mnt/hv-test-" + std::to_string(::getpid()) + "-" + label;
        std::filesystem::create_directories(mountPoint_);
        if (runShell("mount " + dev + " " + mountPoint_ + " 2>&1", &out) != 0)
            throw std::runtime_error("mount failed: " + out);
        mounted_ = true;
    } catch (...) {
        tearDown();
        throw;
    }
}

ZramVolume::~ZramVolume() { tearDown(); }

void ZramVolume::tearDown() noexcept {
    if (mounted_ && runShell("umount " + mountPoint_ + " 2>/dev/null") != 0)
        runShell("umount -l " + mountPoint_ + " 2>/dev/null");
    mounted_ = false;
    if (!mountPoint_.empty()) {
        std::error_code ec;
        std::filesystem::remove(mountPoint_, ec);
    }
    if (index_ >= 0) {
        try {
            writeSys("/sys/block/zram" + std::to_string(index_) + "/reset", "1");
            writeSys("/sys/class/zram-control/hot_remove", std::to_string(index_));
        } catch (...) {
        }
        index_ = -1;
    }
}

std::string ZramVolume::unmount() {
    std::string out;
    if (mounted_ && runShell("umount " + mountPoint_ + " 2>&1", &out) != 0) return "umount failed: " + out;
    mounted_ = false;
    return "";
}

std::string ZramVolume::unmountLazily() {
    std::string out;
    if (mounted_ && runShell("umount -l " + mountPoint_ + " 2>&1", &out) != 0)
        return "umount -l failed: " + out;
    mounted_ = false;
    return "";
}

std::string ZramVolume::remount() {
    std::string out;
    if (runShell("mount /dev/zram" + std::to_string(index_) + " " + mountPoint_ + " 2>&1", &out) != 0)
        return "mount failed: " + out;
    mounted_ = true;
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

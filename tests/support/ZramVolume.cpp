#include "support/ZramVolume.h"

#include "support/Privileged.h"
#include "support/TempDir.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace halvetrop::test {

namespace {

const std::string kControl = "/sys/class/zram-control";

const char* typeName(ZramVolume::FileSystem fileSystem) {
    switch (fileSystem) {
    case ZramVolume::FileSystem::xfs: return "xfs";
    case ZramVolume::FileSystem::btrfs: return "btrfs";
    case ZramVolume::FileSystem::ext4: break;
    }
    return "ext4";
}

// What holds the volume open, said when its unmount failed: a process keeping a folder of a card
// open makes its eject fail as busy.
std::string holders(const std::string& mountPoint) {
    std::string out;
    runAsRoot("lsof -w +f -- " + shellQuote(mountPoint) + " 2>/dev/null || fuser -vm " + shellQuote(mountPoint), &out);
    return out.empty() ? "" : "; open on it:\n" + out;
}

}  // namespace

bool ZramVolume::available(std::string* reason, FileSystem fileSystem) {
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
    const std::string type = typeName(fileSystem);
    const std::string mkfs = "mkfs." + type;
    if (runShell("command -v " + mkfs + " >/dev/null 2>&1 || test -x /sbin/" + mkfs) != 0) {
        const std::string why = volumesUnavailable(mkfs + " is not installed (scripts/deps)");
        if (reason) *reason = why;
        return false;
    }
    // The kernel may have the file system as a module not loaded yet.
    if (runAsRoot("grep -qw " + type + " /proc/filesystems || modprobe " + type) != 0) {
        const std::string why = volumesUnavailable("this kernel has no " + type);
        if (reason) *reason = why;
        return false;
    }
    return true;
}

ZramVolume::ZramVolume(std::int64_t size, const Options& options) : options_(options) {
    try {
        const int count = options_.fileSystem == FileSystem::btrfs ? std::max(options_.devices, 1) : 1;
        std::string devices;
        for (int i = 0; i < count; ++i) {
            const std::string added = runAsRootOrThrow("cat " + kControl + "/hot_add");
            try {
                ids_.push_back(std::stoi(added));
            } catch (const std::exception&) {
                throw std::runtime_error("no zram device from " + kControl + "/hot_add: " + added);
            }
            const std::string name = "zram" + std::to_string(ids_.back());
            devices_.push_back("/dev/" + name);
            runAsRootOrThrow("echo " + std::to_string(size) + " > /sys/block/" + name + "/disksize");
            // udev may be slow to make the node, or absent (the kernel's own device folder makes it).
            const std::string& node = devices_.back();
            if (!tryUntilHang([&] { return ::access(node.c_str(), F_OK) == 0; }))
                throw std::runtime_error("no device node " + node + " came");
            devices += ' ';
            devices += shellQuote(devices_.back());
        }
        if (options_.fileSystem == FileSystem::btrfs) {
            for (const std::string& other : options_.alsoOn) {
                devices += ' ';
                devices += shellQuote(other);
            }
        }
        const std::string label = options_.label.empty() ? std::string() : "-L " + shellQuote(options_.label) + " ";
        switch (options_.fileSystem) {
        case FileSystem::ext4: runAsRootOrThrow("mkfs.ext4 -q -F " + label + devices); break;
        case FileSystem::xfs: runAsRootOrThrow("mkfs.xfs -q -f " + label + devices); break;
        case FileSystem::btrfs:
            // Over several devices the data goes to any of them and the metadata to all.
            runAsRootOrThrow("mkfs.btrfs -q -f " + label +
                             (count + options_.alsoOn.size() > 1 ? "-d single -m raid1 " : "") + devices + " 2>&1");
            break;
        }
        mountPoint_ = makeMountFolder(options_.mountParent, options_.label.empty() ? "zram" : options_.label, &rootFolder_);
        madeMountPoint_ = true;
        runAsRootOrThrow(mountCommand(mountPoint_));
        mounted_ = true;
        // Formatting makes the device manager read the drive again a moment later, maybe while it
        // is being mounted, when its superblock can read as nothing; once mounted it reads true.
        refreshDeviceDatabase(device());
        giveToTestUser(mountPoint_);
    } catch (const std::exception& e) {
        tearDown();
        volumesUnavailable(std::string("a zram drive could not be built: ") + e.what());
        throw;
    }
}

ZramVolume::~ZramVolume() { tearDown(); }

std::string ZramVolume::mountCommand(const std::string& mountPoint, const std::string& extra) const {
    std::vector<std::string> options;
    if (!options_.mountOptions.empty()) options.push_back(options_.mountOptions);
    // The other devices are named, so that the file system is whole without a device scan.
    for (std::size_t i = 1; i < devices_.size(); ++i) options.push_back("device=" + devices_[i]);
    if (options_.fileSystem == FileSystem::btrfs)
        for (const std::string& other : options_.alsoOn) options.push_back("device=" + other);
    if (!extra.empty()) options.push_back(extra);
    std::string command = "mount -t ";
    command += typeName(options_.fileSystem);
    for (std::size_t i = 0; i < options.size(); ++i) {
        command += i == 0 ? " -o " : ",";
        command += options[i];
    }
    command += " ";
    command += shellQuote(device());
    command += " ";
    command += shellQuote(mountPoint);
    return command;
}

std::string ZramVolume::mountSubvolume(const std::string& name) {
    if (options_.fileSystem != FileSystem::btrfs) throw std::runtime_error("only btrfs has subvolumes");
    runAsRootOrThrow("btrfs -q subvolume create " + shellQuote(mountPoint_ + "/" + name));
    giveToTestUser(mountPoint_ + "/" + name);
    bool byRoot = false;
    const std::string where = makeMountFolder(options_.mountParent, "subvolume", &byRoot);
    subvolumeMounts_.emplace_back(where, byRoot);
    runAsRootOrThrow(mountCommand(where, "subvol=" + name));
    return where;
}

void ZramVolume::tearDown() noexcept {
    try {
        for (auto it = subvolumeMounts_.rbegin(); it != subvolumeMounts_.rend(); ++it) {
            runAsRoot("umount " + shellQuote(it->first) + " || umount -l " + shellQuote(it->first));
            removeMountFolder(it->first, it->second);
        }
        subvolumeMounts_.clear();
        if (mounted_) runAsRoot("umount " + shellQuote(mountPoint_) + " || umount -l " + shellQuote(mountPoint_));
        mounted_ = false;
        // Only an empty folder goes.
        if (madeMountPoint_) removeMountFolder(mountPoint_, rootFolder_);
        madeMountPoint_ = false;
        for (int id : ids_) {
            const std::string name = "zram" + std::to_string(id);
            // A lazily unmounted volume lets go of its device once the last file open on it closes.
            const std::string reset = "echo 1 > /sys/block/" + name + "/reset 2>/dev/null";
            if (!tryUntilHang([&] { return runAsRoot(reset) == 0; }))
                std::fprintf(stderr, "halvetrop-test: %s is still held%s\n", name.c_str(), holders("/dev/" + name).c_str());
            runAsRoot("echo " + std::to_string(id) + " > " + kControl + "/hot_remove");
        }
        ids_.clear();
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

std::string ZramVolume::unmountOnceFree(const std::function<void()>& between) {
    std::string out;
    tryUntilHang(
        [&] {
            if (!mounted_) return true;
            out.clear();
            if (runAsRoot("umount " + shellQuote(mountPoint_), &out) == 0) {
                mounted_ = false;
                return true;
            }
            // Refused for another reason than a file held open: trying again changes nothing.
            return out.find("busy") == std::string::npos;
        },
        between);
    if (!mounted_) return "";
    const std::string reason = "umount " + mountPoint_ + " failed: " + out + holders(mountPoint_);
    std::fprintf(stderr, "halvetrop-test: %s\n", reason.c_str());
    return reason;
}

std::string ZramVolume::unmountLazily() {
    std::string out;
    if (mounted_ && runAsRoot("umount -l " + shellQuote(mountPoint_), &out) != 0) return "umount -l failed: " + out;
    mounted_ = false;
    return "";
}

std::string ZramVolume::remount() {
    std::string out;
    if (runAsRoot(mountCommand(mountPoint_), &out) != 0) return "mount failed: " + out;
    mounted_ = true;
    try {
        refreshDeviceDatabase(device());
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

std::string ZramVolume::swapFor(const ZramVolume& other) {
    std::string out;
    if (!mounted_ || other.mounted_) return "swap needs this drive mounted and the other one not";
    if (runAsRoot("umount " + shellQuote(mountPoint_) + " && " + other.mountCommand(mountPoint_), &out) != 0)
        return "swap at " + mountPoint_ + " failed: " + out + holders(mountPoint_);
    mounted_ = false;
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

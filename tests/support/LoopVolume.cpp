#include "support/LoopVolume.h"

#include "support/TempDir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <sys/mount.h>
#include <unistd.h>

namespace halvetrop::test {

namespace {

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

std::string tempBase() {
    const char* base = std::getenv("TMPDIR");
    return base && *base ? base : "/tmp";
}

std::string makeTempDir(const std::string& parent, const char* tag) {
    std::string pattern = parent + "/halvetrop-" + tag + "-XXXXXX";
    char* made = ::mkdtemp(pattern.data());
    if (!made) throw std::runtime_error("mkdtemp " + pattern + ": " + std::strerror(errno));
    return made;
}

// Runs a command with its stderr folded into the output; throws with that output on failure.
std::string run(const std::string& command) {
    std::string out;
    int rc = runShell(command + " 2>&1", &out);
    if (rc != 0) throw std::runtime_error("`" + command + "` failed (" + std::to_string(rc) + "): " + out);
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

bool haveProgram(const char* name) {
    return runShell(std::string("command -v ") + name + " >/dev/null 2>&1") == 0;
}

}  // namespace

bool LoopVolume::available(std::string* reason, Type type) {
    if (::geteuid() != 0) {
        if (reason) *reason = "needs root to make loop devices and mount volumes";
        return false;
    }
    if (type == Type::tmpfs) return true;
    if (!canUseLoopDevices(reason)) return false;
    if (type == Type::ext4 && !haveProgram("mkfs.ext4")) {
        if (reason) *reason = "mkfs.ext4 is not installed (e2fsprogs)";
        return false;
    }
    if (type == Type::exfat) {
        if (!haveProgram("mkfs.exfat") || !haveProgram("mount.exfat-fuse")) {
            if (reason) *reason = "mkfs.exfat or mount.exfat-fuse is not installed (exfatprogs, exfat-fuse)";
            return false;
        }
        if (::access("/dev/fuse", R_OK | W_OK) != 0) {
            if (reason) *reason = "this machine has no usable /dev/fuse";
            return false;
        }
    }
    return true;
}

LoopVolume::LoopVolume(Type type, std::int64_t size, const std::string& label, const std::string& mountParent,
                       const std::string& imageParent)
    : type_(type) {
    try {
        workDir_ = makeTempDir(imageParent.empty() ? tempBase() : imageParent, "vol");
        mountPoint_ = mountParent.empty() ? workDir_ + "/mnt" : makeTempDir(mountParent, "mnt");
        if (mountParent.empty()) std::filesystem::create_directory(mountPoint_);
        const std::string sz = std::to_string(size);
        switch (type) {
        case Type::tmpfs:
            run("mount -t tmpfs -o size=" + sz + " halvetrop-tmpfs " + quote(mountPoint_));
            mounted_ = true;
            break;
        case Type::ext4:
            image_ = workDir_ + "/image.ext4";
            run("truncate -s " + sz + " " + quote(image_));
            run("mkfs.ext4 -q -F " + (label.empty() ? std::string() : "-L " + quote(label) + " ") + quote(image_));
            device_ = run("losetup -f --show " + quote(image_));
            run("mount -t ext4 " + quote(device_) + " " + quote(mountPoint_));
            mounted_ = true;
            break;
        case Type::exfat:
            image_ = workDir_ + "/image.exfat";
            run("truncate -s " + sz + " " + quote(image_));
            device_ = run("losetup -f --show " + quote(image_));
            run("mkfs.exfat " + (label.empty() ? std::string() : "-L " + quote(label) + " ") + quote(device_) + " >/dev/null");
            run("mount.exfat-fuse " + quote(device_) + " " + quote(mountPoint_));
            mounted_ = true;
            break;
        }
    } catch (...) {
        tearDown();
        throw;
    }
}

LoopVolume::~LoopVolume() { tearDown(); }

void LoopVolume::tearDown() noexcept {
    try {
        if (mounted_) {
            std::string out;
            bool done = false;
            if (type_ == Type::exfat) done = runShell("fusermount -u " + quote(mountPoint_) + " 2>&1", &out) == 0;
            if (!done) done = ::umount(mountPoint_.c_str()) == 0;
            // Something still holds the volume open: detach it now, the kernel finishes later.
            if (!done) done = ::umount2(mountPoint_.c_str(), MNT_DETACH) == 0;
            mounted_ = !done;
        }
        if (!device_.empty()) {
            // A FUSE daemon may still hold the device for a moment; losetup -d then marks it for
            // automatic detach when the last user lets go.
            for (int i = 0; i < 20; ++i) {
                if (runShell("losetup -d " + quote(device_) + " >/dev/null 2>&1") == 0) break;
                ::usleep(50 * 1000);
            }
            device_.clear();
        }
        std::error_code ec;
        if (!image_.empty()) std::filesystem::remove(image_, ec);
        // Never remove_all a folder that may still be a mount: only empty folders go.
        if (!mounted_ && !mountPoint_.empty()) std::filesystem::remove(mountPoint_, ec);
        if (!workDir_.empty()) std::filesystem::remove(workDir_, ec);
    } catch (...) {
    }
}

}  // namespace halvetrop::test

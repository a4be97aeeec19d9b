#include "platform/BlockDevices.h"

#include "platform/Fd.h"

#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace halvetrop::blockdev {

namespace {

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::string realPath(const std::string& path) {
    char* r = ::realpath(path.c_str(), nullptr);
    if (!r) return "";
    std::string out(r);
    std::free(r);
    return out;
}

std::string dirName(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return path.substr(0, slash);
}

// The uevent's DEVNAME, when it names a node directly under /dev's tree without leaving it.
std::string deviceName(const std::string& uevent) {
    std::size_t start = 0;
    while (start < uevent.size()) {
        std::size_t end = uevent.find('\n', start);
        if (end == std::string::npos) end = uevent.size();
        const std::string line = uevent.substr(start, end - start);
        start = end + 1;
        if (line.compare(0, 8, "DEVNAME=") != 0) continue;
        const std::string name = line.substr(8);
        if (name.empty() || name[0] == '/' || name.find("..") != std::string::npos) return "";
        return name;
    }
    return "";
}

}  // namespace

std::string readAttribute(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "";
    std::string text(4096, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
    return text.substr(start);
}

bool parseMajorMinor(const std::string& text, unsigned& major, unsigned& minor) {
    std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size()) return false;
    if (!std::isdigit(static_cast<unsigned char>(text[0])) || !std::isdigit(static_cast<unsigned char>(text[colon + 1])))
        return false;
    char* end = nullptr;
    unsigned long a = std::strtoul(text.c_str(), &end, 10);
    if (end != text.c_str() + colon) return false;
    unsigned long b = std::strtoul(text.c_str() + colon + 1, &end, 10);
    if (*end != '\0' || a > UINT_MAX || b > UINT_MAX) return false;
    major = static_cast<unsigned>(a);
    minor = static_cast<unsigned>(b);
    return true;
}

std::optional<Node> wholeDisk(const std::string& sysRoot, unsigned major, unsigned minor) {
    Node n;
    n.sysRoot = realPath(sysRoot);
    const std::string node = realPath(sysRoot + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor));
    if (n.sysRoot.empty() || node.empty() || node.compare(0, n.sysRoot.size(), n.sysRoot) != 0) return std::nullopt;
    n.whole = exists(node + "/partition") ? dirName(node) : node;
    return n;
}

bool isLoop(const Node& node) { return exists(node.whole + "/loop"); }

std::string kernelName(const std::string& sysRoot, unsigned major, unsigned minor) {
    const std::string node = realPath(sysRoot + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor));
    const std::size_t slash = node.find_last_of('/');
    return slash == std::string::npos ? "" : node.substr(slash + 1);
}

std::vector<Slave> slaves(const Node& node) {
    std::vector<Slave> out;
    const std::string dir = node.whole + "/slaves";
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            Slave s{name, std::nullopt};
            unsigned ma = 0, mi = 0;
            if (parseMajorMinor(readAttribute(dir + "/" + name + "/dev"), ma, mi)) s.device = ::makedev(ma, mi);
            out.push_back(std::move(s));
        }
        ::closedir(d);
    }
    std::sort(out.begin(), out.end(), [](const Slave& a, const Slave& b) { return a.name < b.name; });
    return out;
}

std::vector<dev_t> btrfsDevices(const std::string& sysRoot, dev_t device) {
    const std::string top = sysRoot + "/fs/btrfs";
    std::vector<std::string> fileSystems;
    if (DIR* d = ::opendir(top.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != ".." && name != "features") fileSystems.push_back(name);
        }
        ::closedir(d);
    }
    for (const std::string& fsid : fileSystems) {
        const std::string dir = top + "/" + fsid + "/devices";
        std::vector<dev_t> devices;
        if (DIR* d = ::opendir(dir.c_str())) {
            while (dirent* e = ::readdir(d)) {
                const std::string name = e->d_name;
                if (name == "." || name == "..") continue;
                unsigned ma = 0, mi = 0;
                const bool known = parseMajorMinor(readAttribute(dir + "/" + name + "/dev"), ma, mi);
                devices.push_back(known ? ::makedev(ma, mi) : dev_t{0});
            }
            ::closedir(d);
        }
        if (std::find(devices.begin(), devices.end(), device) == devices.end()) continue;
        std::sort(devices.begin(), devices.end());
        return devices;
    }
    return {};
}

std::optional<LoopBacking> loopBacking(const Node& node) {
    unsigned major = 0, minor = 0;
    if (!isLoop(node) || !parseMajorMinor(readAttribute(node.whole + "/dev"), major, minor)) return std::nullopt;
    const std::string name = deviceName(readAttribute(node.whole + "/uevent"));
    if (name.empty()) return std::nullopt;
    // Opened only to be asked; a loop device's open has no effect on what it reads.
    UniqueFd fd(::open(("/dev/" + name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISBLK(st.st_mode) || st.st_rdev != ::makedev(major, minor))
        return std::nullopt;
    loop_info64 info {};
    if (::ioctl(fd.get(), LOOP_GET_STATUS64, &info) != 0) return std::nullopt;
    LoopBacking b;
    b.fileSystem = static_cast<dev_t>(info.lo_device);
    b.inode = info.lo_inode;
    b.blockDevice = static_cast<dev_t>(info.lo_rdevice);
    b.directIO = (info.lo_flags & LO_FLAGS_DIRECT_IO) != 0;
    return b;
}

std::string loopBackingPath(const Node& node) {
    if (!isLoop(node)) return "";
    // Read as it stands, but for the line feed sysfs ends it with: a name may end in white space.
    std::ifstream in(node.whole + "/loop/backing_file", std::ios::binary);
    if (!in) return "";
    std::string text(PATH_MAX + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.empty() || text.back() != '\n') return "";
    text.pop_back();
    return text;
}

}  // namespace halvetrop::blockdev

#include "drives/Sysfs.h"

#include "drives/DrivesInternal.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <set>
#include <unistd.h>

namespace halvetrop {

namespace {

constexpr int kMaxDepth = 8;

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// Small sysfs attribute files only: anything past 4 KiB is not a name or a flag.
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

std::string baseName(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool parseMajorMinor(const std::string& text, unsigned& major, unsigned& minor) {
    std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size()) return false;
    char* end = nullptr;
    unsigned long a = std::strtoul(text.c_str(), &end, 10);
    if (end != text.c_str() + colon) return false;
    unsigned long b = std::strtoul(text.c_str() + colon + 1, &end, 10);
    if (*end != '\0' || a > UINT_MAX || b > UINT_MAX) return false;
    major = static_cast<unsigned>(a);
    minor = static_cast<unsigned>(b);
    return true;
}

std::string protocolOfBus(const std::string& bus) {
    if (bus == "usb") return "USB";
    if (bus == "mmc") return "Secure Digital";
    if (bus == "nvme") return "PCI-Express";
    if (bus == "ata") return "SATA";
    if (bus == "virtio") return "Virtio";
    if (bus == "scsi") return "SCSI";
    return "";
}

}  // namespace

std::string joinDriveParts(std::vector<std::string> parts) {
    std::sort(parts.begin(), parts.end());
    parts.erase(std::unique(parts.begin(), parts.end()), parts.end());
    std::string raw;
    for (const std::string& p : parts) {
        if (!raw.empty()) raw += " + ";
        raw += p;
    }
    return raw;
}

std::string busFromDevicePath(const std::string& devicePath) {
    // The outermost transport decides: a card reader on USB is "usb" although a SCSI host sits
    // between it and the disk.
    if (devicePath.find("/usb") != std::string::npos) return "usb";
    if (devicePath.find("/mmc") != std::string::npos) return "mmc";
    if (devicePath.find("/nvme") != std::string::npos) return "nvme";
    if (devicePath.find("/ata") != std::string::npos) return "ata";
    if (devicePath.find("/virtio") != std::string::npos) return "virtio";
    if (devicePath.find("/host") != std::string::npos && devicePath.find("/target") != std::string::npos) return "scsi";
    return "";
}

bool mediaNameSaysSD(const std::string& mediaName) {
    static const std::set<std::string> tokens = {"SD", "SDHC", "SDXC", "SDUC", "MICROSD", "MICROSDHC", "MICROSDXC", "MICROSDUC"};
    std::string word;
    auto flush = [&] {
        bool hit = tokens.count(word) != 0;
        word.clear();
        return hit;
    };
    for (char c : mediaName) {
        unsigned char u = static_cast<unsigned char>(c);
        if (std::isalnum(u) && u < 0x80) {
            word.push_back(static_cast<char>(std::toupper(u)));
        } else if (flush()) {
            return true;
        }
    }
    return flush();
}

DiskFacts diskFacts(unsigned major, unsigned minor, const DriveSources& sources, int depth) {
    DiskFacts f;
    const std::string majMin = std::to_string(major) + ":" + std::to_string(minor);
    const std::string sysReal = realPath(sources.sysRoot);
    const std::string node = realPath(sources.sysRoot + "/dev/block/" + majMin);
    if (sysReal.empty() || node.empty() || node.compare(0, sysReal.size(), sysReal) != 0) {
        // Nothing tells which drive this is: an id that equals no other drive's.
        f.drive.raw = "unknown:block " + majMin;
        return f;
    }
    f.known = true;
    const std::string whole = exists(node + "/partition") ? dirName(node) : node;
    f.wholeDisk = baseName(whole);
    f.devicePath = whole.substr(sysReal.size());
    if (f.devicePath.empty()) f.devicePath = "/";

    if (exists(whole + "/loop")) {
        f.isLoop = true;
        f.protocol = "Disk Image";
        f.removable = true;  // an attached image can always be detached
        const std::string backing = readAttribute(whole + "/loop/backing_file");
        const std::string deleted = " (deleted)";
        const bool gone = backing.size() >= deleted.size() &&
                          backing.compare(backing.size() - deleted.size(), deleted.size(), deleted) == 0;
        if (!backing.empty() && !gone && depth < kMaxDepth) {
            f.backingFile = backing;
            f.drive = describeVolume(backing, sources, depth + 1).drive;
        } else {
            f.drive.raw = "unknown:" + f.devicePath;
        }
        return f;
    }

    std::vector<std::string> slaves;
    if (DIR* d = ::opendir((whole + "/slaves").c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") slaves.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(slaves.begin(), slaves.end());
    if (!slaves.empty()) {
        std::vector<DiskFacts> leaves;
        std::vector<std::string> parts;
        for (const std::string& s : slaves) {
            unsigned ma = 0, mi = 0;
            DiskFacts leaf;
            if (depth < kMaxDepth && parseMajorMinor(readAttribute(whole + "/slaves/" + s + "/dev"), ma, mi)) {
                leaf = diskFacts(ma, mi, sources, depth + 1);
            } else {
                leaf.drive.raw = "unknown:" + f.devicePath + "/slaves/" + s;
            }
            for (std::string& p : leaf.drive.parts()) parts.push_back(std::move(p));
            leaves.push_back(std::move(leaf));
        }
        f.drive.raw = joinDriveParts(std::move(parts));
        const DiskFacts& first = leaves.front();
        auto allSame = [&](auto field) {
            return std::all_of(leaves.begin(), leaves.end(), [&](const DiskFacts& l) { return l.*field == first.*field; });
        };
        if (allSame(&DiskFacts::bus) && allSame(&DiskFacts::protocol)) {
            f.bus = first.bus;
            f.protocol = first.protocol;
        }
        if (allSame(&DiskFacts::mediaName) && allSame(&DiskFacts::model)) {
            f.mediaName = first.mediaName;
            f.model = first.model;
        }
        f.isLoop = std::all_of(leaves.begin(), leaves.end(), [](const DiskFacts& l) { return l.isLoop; });
        f.removable = std::all_of(leaves.begin(), leaves.end(), [](const DiskFacts& l) { return l.removable; });
        return f;
    }

    f.drive.raw = "dev:" + f.devicePath;
    f.bus = busFromDevicePath(f.devicePath);
    f.protocol = protocolOfBus(f.bus);
    const std::string vendor = readAttribute(whole + "/device/vendor");
    const std::string model = readAttribute(whole + "/device/model");
    f.model = vendor.empty() ? model : model.empty() ? vendor : vendor + " " + model;
    if (f.bus == "mmc") {
        // An MMC-bus card names its kind ("SD", "MMC") and its product name separately.
        const std::string type = readAttribute(whole + "/device/type");
        const std::string name = readAttribute(whole + "/device/name");
        f.mediaName = type.empty() ? name : name.empty() ? type : type + " " + name;
    } else {
        f.mediaName = model;
    }
    f.removable = readAttribute(whole + "/removable") == "1" || f.bus == "usb" || f.bus == "mmc";
    return f;
}

}  // namespace halvetrop

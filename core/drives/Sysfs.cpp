#include "drives/Sysfs.h"

#include "drives/DrivesInternal.h"

#include "platform/BlockDevices.h"
#include "platform/Layers.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace halvetrop {

namespace {

using blockdev::readAttribute;

std::string baseName(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string protocolOfBus(const std::string& bus) {
    if (bus == "usb") return "USB";
    if (bus == "nvme") return "PCI-Express";
    if (bus == "ata") return "SATA";
    if (bus == "virtio") return "Virtio";
    if (bus == "scsi") return "SCSI";
    return "";
}

}  // namespace

void takeLeaves(DiskFacts& f, const std::vector<DiskFacts>& leaves) {
    if (leaves.empty()) return;
    std::vector<std::string> parts;
    for (const DiskFacts& leaf : leaves)
        for (std::string& p : leaf.drive.parts()) parts.push_back(std::move(p));
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
    auto all = [&](bool DiskFacts::*field) {
        return std::all_of(leaves.begin(), leaves.end(), [&](const DiskFacts& l) { return l.*field; });
    };
    f.isLoop = all(&DiskFacts::isLoop);
    f.removable = all(&DiskFacts::removable);
    f.internal = all(&DiskFacts::internal);
}

DiskFacts btrfsFacts(unsigned major, unsigned minor, const DriveSources& sources, const MountTable& mounts, int depth) {
    DiskFacts f = diskFacts(major, minor, sources, mounts, depth);
    const std::vector<dev_t> devices = blockdev::btrfsDevices(sources.sysRoot, ::makedev(major, minor));
    if (devices.size() < 2) return f;
    std::vector<DiskFacts> leaves;
    for (dev_t d : devices) {
        DiskFacts leaf;
        if (d != 0 && depth < blockdev::kMaxDepth) {
            leaf = diskFacts(::major(d), ::minor(d), sources, mounts, depth + 1);
        } else {
            // A device the file system lists without a number: a drive nothing else can be.
            leaf.drive.raw = "unknown:btrfs device beside " + std::to_string(major) + ":" + std::to_string(minor);
        }
        leaves.push_back(std::move(leaf));
    }
    takeLeaves(f, leaves);
    return f;
}

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

DiskFacts diskFacts(unsigned major, unsigned minor, const DriveSources& sources) {
    return diskFacts(major, minor, sources, readMountInfo(sources.procRoot));
}

DiskFacts diskFacts(unsigned major, unsigned minor, const DriveSources& sources, const MountTable& mounts, int depth) {
    DiskFacts f;
    const std::string majMin = std::to_string(major) + ":" + std::to_string(minor);
    const std::optional<blockdev::Node> node = blockdev::wholeDisk(sources.sysRoot, major, minor);
    if (!node) {
        // Nothing tells which drive this is: an id that equals no other drive's.
        f.drive.raw = "unknown:block " + majMin;
        return f;
    }
    f.known = true;
    const std::string& whole = node->whole;
    f.wholeDisk = baseName(whole);
    f.devicePath = whole.substr(node->sysRoot.size());
    if (f.devicePath.empty()) f.devicePath = "/";

    if (blockdev::isLoop(*node)) {
        f.isLoop = true;
        f.protocol = "Disk Image";
        f.removable = true;  // an attached image can always be detached
        // What the loop reads, as the fence finds it: a block device, or a file on some file
        // system. Where only the loop device's path tells (it cannot be asked), the drive is that
        // of the mount the path leads into now, and not known: its copies never count, and one on
        // the card's drive is said to be.
        f.drive.raw = "unknown:" + f.devicePath;
        if (depth >= blockdev::kMaxDepth) return f;
        const layers::LoopReads reads = layers::loopReads(defaultSys(), *node, mounts, sources.procRoot);
        struct stat st {};
        switch (reads.kind) {
        case layers::LoopReads::Kind::device:
            f.drive = diskFacts(::major(reads.device), ::minor(reads.device), sources, mounts, depth + 1).drive;
            break;
        case layers::LoopReads::Kind::file:
            if (::fstat(reads.fd.get(), &st) == 0) f.drive = driveOfFileSystem(st.st_dev, sources, mounts, depth + 1);
            break;
        case layers::LoopReads::Kind::fileSystem:
            f.drive = driveOfFileSystem(reads.fileSystem, sources, mounts, depth + 1);
            break;
        case layers::LoopReads::Kind::holders: {
            // The deepest mount point, the later of two at one place: the mount the path leads into.
            const layers::Holder* now = &reads.holders.front();
            for (const layers::Holder& h : reads.holders)
                if (h.mount->mountPoint.size() >= now->mount->mountPoint.size()) now = &h;
            const dev_t held = ::makedev(now->mount->major, now->mount->minor);
            std::vector<std::string> parts = driveOfFileSystem(held, sources, mounts, depth + 1).parts();
            parts.push_back(f.drive.raw);
            f.drive.raw = joinDriveParts(std::move(parts));
            break;
        }
        case layers::LoopReads::Kind::unknown: break;
        }
        return f;
    }

    const std::vector<blockdev::Slave> slaves = blockdev::slaves(*node);
    if (!slaves.empty()) {
        std::vector<DiskFacts> leaves;
        for (const blockdev::Slave& s : slaves) {
            DiskFacts leaf;
            if (depth < blockdev::kMaxDepth && s.device) {
                leaf = diskFacts(::major(*s.device), ::minor(*s.device), sources, mounts, depth + 1);
            } else {
                leaf.drive.raw = "unknown:" + f.devicePath + "/slaves/" + s.name;
            }
            leaves.push_back(std::move(leaf));
        }
        takeLeaves(f, leaves);
        return f;
    }

    f.drive.raw = "dev:" + f.devicePath;
    f.bus = busFromDevicePath(f.devicePath);
    f.protocol = protocolOfBus(f.bus);
    const std::string vendor = readAttribute(whole + "/device/vendor");
    const std::string model = readAttribute(whole + "/device/model");
    f.model = vendor.empty() ? model : model.empty() ? vendor : vendor + " " + model;
    bool cardSlot = false;
    bool soldered = false;
    if (f.bus == "mmc") {
        // An MMC-bus device names its kind and its product name separately. Only an SD card sits
        // in a slot it can leave; "MMC" is eMMC, a chip soldered to the board.
        const std::string type = readAttribute(whole + "/device/type");
        const std::string name = readAttribute(whole + "/device/name");
        f.mediaName = type.empty() ? name : name.empty() ? type : type + " " + name;
        cardSlot = type == "SD";
        soldered = type == "MMC";
        if (cardSlot) f.protocol = "Secure Digital";
    } else {
        f.mediaName = model;
    }
    f.removable = readAttribute(whole + "/removable") == "1" || f.bus == "usb" || cardSlot;
    static const std::set<std::string> fixedBuses = {"ata", "nvme", "virtio", "scsi"};
    f.internal = !f.removable && (fixedBuses.count(f.bus) != 0 || soldered);
    return f;
}

}  // namespace halvetrop

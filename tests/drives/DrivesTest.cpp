// Pure parts of volume and drive lookup: mountinfo, fake sysfs trees, ids, texts.
#include "drives/Drives.h"
#include "drives/DrivesInternal.h"
#include "platform/Layers.h"
#include "platform/MountInfo.h"
#include "drives/Sysfs.h"
#include "drives/VolumeMatch.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <set>
#include <filesystem>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace halvetrop {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

TEST(MountInfo, ParsesFieldsAndDecodesEscapes) {
    const std::string text =
        "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
        "45 27 7:0 / /media/me/EOS\\040DIGITAL rw,nosuid shared:5 master:1 - fuseblk /dev/loop0 rw,user_id=0\n"
        "46 27 8:17 /sub\\134dir /mnt/tab\\011and\\012newline rw - ext4 /dev/sdb1 rw\n"
        "47 27 0:50 / /mnt/nas rw - cifs //user@NAS/photos\\040raw rw\n"
        "garbage line\n"
        "48 27 8:1 / /mnt/short rw - ext4\n"              // no source after the type
        "49 27 8x1 / /mnt/baddev rw - ext4 /dev/sda1 rw\n" // device numbers that do not parse
        "50 27 8:1 / /mnt/nodash rw shared:1 ext4 /dev/sda1 rw\n"
        "51 27 8:2 / /mnt/trailing\\04 rw - ext4 /dev/sda2 rw";  // cut escape, no final newline
    std::vector<MountEntry> m = parseMountInfo(text);
    ASSERT_EQ(m.size(), 5u);
    EXPECT_EQ(m[0].mountPoint, "/proc");
    EXPECT_EQ(m[1].mountID, 45u);
    EXPECT_EQ(m[1].parentID, 27u);
    EXPECT_EQ(m[1].major, 7u);
    EXPECT_EQ(m[1].minor, 0u);
    EXPECT_EQ(m[1].mountPoint, "/media/me/EOS DIGITAL");
    EXPECT_EQ(m[1].fsType, "fuseblk");
    EXPECT_EQ(m[1].source, "/dev/loop0");
    EXPECT_EQ(m[2].root, "/sub\\dir");
    EXPECT_EQ(m[2].mountPoint, "/mnt/tab\tand\nnewline");
    EXPECT_EQ(m[3].source, "//user@NAS/photos raw");
    EXPECT_EQ(m[4].mountPoint, "/mnt/trailing\\04");
}

TEST(MountInfo, UnescapeLeavesWhatIsNotAnEscape) {
    const std::pair<const char*, const char*> cases[] = {
        {"plain", "plain"}, {"a\\040b", "a b"}, {"\\134", "\\"}, {"\\", "\\"}, {"\\08", "\\08"},
        {"\\400", "\\400"}, {"\\1", "\\1"}, {"x\\0401", "x 1"}, {"\\101\\102", "AB"},
    };
    for (auto [in, out] : cases) EXPECT_EQ(unescapeMountField(in), out) << in;
}

TEST(MountInfo, FindsTheMountByIdThenByDeviceNeverByTextAlone) {
    std::vector<MountEntry> m = parseMountInfo(
        "1 0 254:0 / / rw - ext4 /dev/vda rw\n"
        "2 1 8:1 / /mnt/a rw - ext4 /dev/sda1 rw\n"
        "3 1 8:2 / /mnt/a/b rw - ext4 /dev/sda2 rw\n"
        "4 1 8:1 / /mnt/ab rw - ext4 /dev/sda1 rw\n"
        "5 1 0:40 / /mnt/a/b rw - tmpfs tmpfs rw\n");
    struct Case {
        const char* what;
        std::uint64_t id;
        unsigned major, minor;
        const char* path;
        std::uint64_t expected;  // 0: none
    } cases[] = {
        {"id wins over everything", 3, 254, 0, "/", 3},
        {"unknown id falls back to the device", 99, 8, 1, "/mnt/a/x", 2},
        {"device and whole-component prefix", 0, 8, 1, "/mnt/a/x/y", 2},
        {"no prefix by letters: /mnt/a is not above /mnt/ab", 0, 8, 1, "/mnt/ab/x", 4},
        {"prefix by text but another device", 0, 254, 0, "/mnt/a/x", 1},
        {"later mount on the same point wins", 0, 0, 40, "/mnt/a/b/c", 5},
        {"no mount of that device holds the path", 0, 8, 2, "/srv", 0},
    };
    for (const Case& c : cases) {
        const MountEntry* found = findMount(m, c.id, c.major, c.minor, c.path);
        EXPECT_EQ(found ? found->mountID : 0, c.expected) << c.what;
    }
}

// Where statx gives no mount id, an open file's fdinfo does.
TEST(MountInfo, AnOpenFilesMountIdFromItsFdinfo) {
    EXPECT_EQ(parseFdInfoMountID("pos:\t0\nflags:\t02100000\nmnt_id:\t42\nino:\t7\n"), 42u);
    EXPECT_EQ(parseFdInfoMountID("pos:\t0\nflags:\t0\n"), 0u);
    EXPECT_EQ(parseFdInfoMountID("xmnt_id:\t5\nmnt_id:\tx1\n"), 0u);
    TempDir t("drvfdinfo");
    const int fd = ::open(t.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct statx st {};
    ASSERT_EQ(::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &st), 0);
    if (st.stx_mask & STATX_MNT_ID) {
        EXPECT_EQ(fdInfoMountID("/proc", fd), st.stx_mnt_id);
    }
    ::close(fd);
}

// The folders an overlay or a FUSE file system keeps its files in, as its mountinfo line names
// them: an overlay's upper, work and every lower folder, in either form the kernel writes lower
// folders in; the sources of a FUSE file system that are folders (not devices, not a network
// share's text, not a folder that is not there).
TEST(MountInfo, FoldersBeneathAStackedFileSystem) {
    TempDir t("drvstack");
    const std::string a = t.mkdir("a"), b = t.mkdir("b");
    const struct {
        const char* what;
        std::string line;
        std::vector<std::string> folders;
    } cases[] = {
        {"overlay", "1 0 0:50 / /m rw - overlay overlay rw,lowerdir=/l1:/l2,upperdir=/u,workdir=/w,uuid=on",
         {"/u", "/w", "/l1", "/l2"}},
        {"overlay, one lower folder per option", "1 0 0:50 / /m rw - overlay overlay rw,lowerdir+=/l1,lowerdir+=/l2,datadir+=/d",
         {"/l1", "/l2", "/d"}},
        {"FUSE over folders", "1 0 0:51 / /m rw - fuse.mergerfs " + a + ":" + b + ":" + t / "gone" + " rw", {a, b}},
        {"FUSE over a device", "1 0 0:52 / /m rw - fuse.exfat /dev/loop3 rw", {}},
        {"a network share through FUSE", "1 0 0:53 / /m rw - fuse.sshfs " + a + " rw", {}},
        {"a file system of its own", "1 0 8:1 / /m rw - ext4 /dev/sda1 rw", {}},
    };
    for (const auto& c : cases) {
        const std::vector<MountEntry> m = parseMountInfo(c.line);
        ASSERT_EQ(m.size(), 1u) << c.what;
        EXPECT_EQ(layers::foldersOf(m[0]), c.folders) << c.what;
    }
}

// Builds a sysfs-like tree: devices under devices/, and dev/block/MAJ:MIN links to them.
class FakeSys {
public:
    FakeSys() : dir_("fakesys") { sources_.sysRoot = dir_.path(); sources_.procRoot = dir_ / "proc"; }
    const DriveSources& sources() const { return sources_; }

    // devicePath like "/devices/pci0000:00/.../block/sda"; attributes relative to it.
    void disk(const std::string& devicePath, const std::string& majMin, std::map<std::string, std::string> attrs = {}) {
        node(devicePath, majMin, std::move(attrs));
    }
    void partition(const std::string& diskPath, const std::string& name, const std::string& majMin) {
        node(diskPath + "/" + name, majMin, {{"partition", "1"}});
    }
    // A stacked device (dm, md) whose slaves/ name the given device paths.
    void stacked(const std::string& devicePath, const std::string& majMin, const std::vector<std::string>& slaves) {
        node(devicePath, majMin, {});
        fs::create_directories(dir_.path() + devicePath + "/slaves");
        for (const std::string& s : slaves) {
            std::string name = fs::path(s).filename();
            fs::create_directory_symlink(fs::relative(dir_.path() + s, dir_.path() + devicePath + "/slaves"),
                                         dir_.path() + devicePath + "/slaves/" + name);
        }
    }

private:
    void node(const std::string& devicePath, const std::string& majMin, std::map<std::string, std::string> attrs) {
        const std::string full = dir_.path() + devicePath;
        fs::create_directories(full);
        attrs["dev"] = majMin;
        for (const auto& [k, v] : attrs) dir_.write(devicePath.substr(1) + "/" + k, v + "\n");
        fs::create_directories(dir_ / "dev/block");
        fs::create_directory_symlink(fs::relative(full, dir_ / "dev/block"), dir_ / ("dev/block/" + majMin));
    }
    TempDir dir_;
    DriveSources sources_;
};

const std::string kSata = "/devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda";
const std::string kSata2 = "/devices/pci0000:00/0000:00:17.0/ata2/host1/target1:0:0/1:0:0:0/block/sdb";
const std::string kNvme = "/devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1";
const std::string kMmc = "/devices/pci0000:00/0000:00:14.5/mmc_host/mmc0/mmc0:aaaa/block/mmcblk0";
const std::string kUsbReader = "/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdd";
const std::string kUsbSsd = "/devices/pci0000:00/0000:00:14.0/usb2/2-2/2-2:1.0/host7/target7:0:0/7:0:0:0/block/sde";

TEST(FakeSysfs, WholeDisksBusesAndStacks) {
    FakeSys s;
    s.disk(kSata, "8:0", {{"removable", "0"}, {"device/vendor", "ATA"}, {"device/model", "Samsung SSD 870"}});
    s.partition(kSata, "sda1", "8:1");
    s.partition(kSata, "sda2", "8:2");
    s.disk(kSata2, "8:16", {{"removable", "0"}, {"device/model", "WDC WD40"}});
    s.partition(kSata2, "sdb1", "8:17");
    s.disk(kNvme, "259:0", {{"removable", "0"}, {"device/model", "Samsung SSD 980 PRO"}});
    s.partition(kNvme, "nvme0n1p1", "259:1");
    s.disk(kMmc, "179:0", {{"removable", "0"}, {"device/type", "SD"}, {"device/name", "SL32G"}});
    s.partition(kMmc, "mmcblk0p1", "179:1");
    s.disk(kUsbReader, "8:48", {{"removable", "1"}, {"device/vendor", "Generic"}, {"device/model", "SD/MMC"}});
    s.partition(kUsbReader, "sdd1", "8:49");
    s.disk(kUsbSsd, "8:64", {{"removable", "0"}, {"device/vendor", "Samsung"}, {"device/model", "PSSD T7"}});
    s.stacked("/devices/virtual/block/dm-0", "254:0", {kSata + "/sda2"});
    s.stacked("/devices/virtual/block/dm-1", "254:1", {"/devices/virtual/block/dm-0"});
    s.stacked("/devices/virtual/block/md0", "9:0", {kSata + "/sda1", kSata2 + "/sdb1"});
    s.disk("/devices/virtual/block/loop5", "7:5", {{"loop/backing_file", "/srv/card.img (deleted)"}});

    struct Case {
        const char* what;
        unsigned major, minor;
        std::string drive, bus, protocol, mediaName;
        bool removable;
    } cases[] = {
        {"partition -> whole disk", 8, 1, "dev:" + kSata, "ata", "SATA", "Samsung SSD 870", false},
        {"whole disk itself", 8, 0, "dev:" + kSata, "ata", "SATA", "Samsung SSD 870", false},
        {"NVMe partition", 259, 1, "dev:" + kNvme, "nvme", "PCI-Express", "Samsung SSD 980 PRO", false},
        {"mmc card slot", 179, 1, "dev:" + kMmc, "mmc", "Secure Digital", "SD SL32G", true},
        {"USB card reader", 8, 49, "dev:" + kUsbReader, "usb", "USB", "SD/MMC", true},
        {"USB SSD", 8, 64, "dev:" + kUsbSsd, "usb", "USB", "PSSD T7", true},
        {"dm over one partition -> its disk", 254, 0, "dev:" + kSata, "ata", "SATA", "Samsung SSD 870", false},
        {"dm over dm -> the leaf disk", 254, 1, "dev:" + kSata, "ata", "SATA", "Samsung SSD 870", false},
        {"md over two disks -> both", 9, 0, "dev:" + kSata + " + dev:" + kSata2, "ata", "SATA", "", false},
        {"loop that cannot be asked what it reads", 7, 5, "unknown:/devices/virtual/block/loop5", "", "Disk Image", "", true},
        {"device sysfs does not know", 8, 99, "unknown:block 8:99", "", "", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DiskFacts f = diskFacts(c.major, c.minor, s.sources());
        EXPECT_EQ(f.drive.raw, c.drive);
        EXPECT_EQ(f.bus, c.bus);
        EXPECT_EQ(f.protocol, c.protocol);
        EXPECT_EQ(f.mediaName, c.mediaName);
        EXPECT_EQ(f.removable, c.removable);
    }
    // The md volume shares a drive with a volume on either of its disks, and with nothing else.
    PhysicalDriveID md = diskFacts(9, 0, s.sources()).drive;
    EXPECT_TRUE(sharesDrive(md, diskFacts(8, 17, s.sources()).drive));
    EXPECT_TRUE(sharesDrive(md, diskFacts(254, 1, s.sources()).drive));
    EXPECT_FALSE(sharesDrive(md, diskFacts(259, 1, s.sources()).drive));
    EXPECT_EQ(md.parts().size(), 2u);
}

// What the walk beneath a mount visits, over a sysfs tree of the test's own: the devices (as
// MAJ:MIN), and whether it meets what nothing bounds.
struct Met {
    std::vector<std::string> devices;
    bool unknown = false;
};

Met walkBeneath(const std::string& mountInfoLine, const std::string& sysRoot) {
    Met met;
    const MountTable mounts = parseMountInfo(mountInfoLine);
    if (mounts.size() != 1) ADD_FAILURE() << "does not parse: " << mountInfoLine;
    if (mounts.empty()) return met;
    layers::walkBeneath(
        defaultSys(), mounts[0], mounts,
        [&](const layers::Layer& layer) {
            met.unknown = met.unknown || layer.kind == layers::Layer::Kind::unknown;
            if (layer.kind == layers::Layer::Kind::device)
                met.devices.push_back(std::to_string(major(layer.device)) + ":" + std::to_string(minor(layer.device)));
            return layers::Next::descend;
        },
        "/proc", sysRoot);
    return met;
}

// Only what the kernel holds bounds a layer: a device (down every member of a stacked one, as deep
// as the walk follows), a network server's address that is not this machine's, the host behind a
// virtual machine's shared folders. A FUSE file system not stored on a block device (whatever its
// daemon names as its source), a network file system served from this machine or by no address the
// kernel shows, a ZFS pool, a stacked file system with no device, an overlay whose upper folder is
// not confirmed, a device sysfs does not know and a stack deeper than is followed are met as unknown.
TEST(FakeSysfs, TheWalkBeneathAMountFollowsOnlyWhatTheKernelHolds) {
    FakeSys s;
    s.disk(kSata, "8:0");
    s.partition(kSata, "sda1", "8:1");
    s.partition(kSata, "sda2", "8:2");
    s.disk(kSata2, "8:16");
    s.partition(kSata2, "sdb1", "8:17");
    s.stacked("/devices/virtual/block/dm-0", "254:0", {kSata + "/sda2"});
    s.stacked("/devices/virtual/block/dm-1", "254:1", {"/devices/virtual/block/dm-0"});
    s.stacked("/devices/virtual/block/md0", "9:0", {kSata + "/sda1", kSata2 + "/sdb1"});
    s.stacked("/devices/virtual/block/dm-2", "254:2", {"/devices/virtual/block/gone"});
    for (int k = 10; k < 22; ++k)
        s.stacked("/devices/virtual/block/dm-" + std::to_string(k), "254:" + std::to_string(k),
                  {k == 21 ? kSata + "/sda1" : "/devices/virtual/block/dm-" + std::to_string(k + 1)});
    const std::string line = "1 0 ";
    const struct {
        const char* what;
        std::string mount;  // mountinfo's fields from the device number on
        std::vector<std::string> devices;
        bool unknown;
    } rows[] = {
        {"a partition", "8:1 / /m rw - ext4 /dev/sda1 rw", {"8:1"}, false},
        {"dm over dm over a partition", "254:1 / /m rw - ext4 /dev/mapper/x rw", {"254:1", "254:0", "8:2"}, false},
        {"md over partitions of two disks", "9:0 / /m rw - ext4 /dev/md0 rw", {"9:0", "8:1", "8:17"}, false},
        {"a stacked device whose member has no number", "254:2 / /m rw - ext4 /dev/dm-2 rw", {"254:2"}, true},
        {"a device sysfs does not know", "8:99 / /m rw - ext4 /dev/sdz rw", {"8:99"}, true},
        {"exFAT through FUSE on a block device", "8:17 / /m rw - fuseblk /dev/sdb1 rw,blksize=4096", {"8:17"}, false},
        {"FUSE naming a device it is not stored on", "0:52 / /m rw - fuse /dev/sda1 rw", {}, true},
        {"bindfs of a folder", "0:53 / /m rw - fuse /tmp rw", {}, true},
        {"sshfs", "0:54 / /m rw - fuse.sshfs localhost:/media/card rw", {}, true},
        {"the desktop's GVFS", "0:55 / /m rw - fuse.gvfsd-fuse gvfsd-fuse rw", {}, true},
        {"NFS from another machine", "0:56 / /m rw - nfs4 nas:/photos rw,vers=4.2,addr=192.0.2.7,clientaddr=10.1.2.3",
         {}, false},
        {"NFS from this machine", "0:57 / /m rw - nfs4 nas:/photos rw,addr=127.0.0.1", {}, true},
        {"NFS from this machine over IPv6", "0:58 / /m rw - nfs nas:/photos rw,addr=::1", {}, true},
        {"NFS naming no address", "0:59 / /m rw - nfs nas:/photos rw,vers=3", {}, true},
        {"SMB from another machine", "0:60 / /m rw - cifs //nas/photos rw,addr=192.0.2.8", {}, false},
        {"Ceph with a monitor on this machine", "0:61 / /m rw - ceph x rw,mon_addr=192.0.2.9:6789/[::1]:6789", {}, true},
        {"the host's folders through virtio", "0:62 / /m rw - 9p photos rw,trans=virtio", {}, false},
        {"virtiofs", "0:63 / /m rw - virtiofs photos rw", {}, false},
        {"9p over TCP", "0:64 / /m rw - 9p 192.0.2.10 rw,trans=tcp,port=564", {}, true},
        {"a ZFS dataset", "0:65 / /m rw - zfs tank/photos rw", {}, true},
        {"memory", "0:66 / /m rw - tmpfs tmpfs rw", {}, false},
        {"a stacked file system of folders", "0:67 / /m rw - ecryptfs /home/.me rw", {}, true},
        {"an overlay whose upper folder is not confirmed", "0:68 / /m rw - overlay overlay rw,lowerdir=/l,upperdir=/u,workdir=/w",
         {}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Met met = walkBeneath(line + row.mount, s.sources().sysRoot);
        EXPECT_EQ(met.devices, row.devices);
        EXPECT_EQ(met.unknown, row.unknown);
    }
    const Met deep = walkBeneath(line + "254:10 / /m rw - ext4 /dev/dm-10 rw", s.sources().sysRoot);
    EXPECT_TRUE(deep.unknown) << "a stack deeper than is followed";
    EXPECT_LT(deep.devices.size(), 12u);
}

// An address is another machine's only when it is an address, not a loopback or unspecified one,
// and none of this machine's.
TEST(Drives, ServerAddressesAndThisMachine) {
    const std::vector<std::string> own = {"192.0.2.20", "fe80::1"};
    const std::pair<const char*, bool> cases[] = {
        {"127.0.0.1", true}, {"127.8.9.1", true}, {"::1", true}, {"0.0.0.0", true}, {"::", true},
        {"::ffff:127.0.0.1", true}, {"192.0.2.20", true}, {"::ffff:192.0.2.20", true}, {"fe80::1%eth0", true},
        {"[fe80::1]:6789", true}, {"nas.local", true}, {"", true},
        {"192.0.2.7", false}, {"192.0.2.7:6789", false}, {"2001:db8::7", false}, {"[2001:db8::7]:6789", false},
    };
    for (auto [address, here] : cases) EXPECT_EQ(layers::isThisMachine(address, own), here) << address;
    const std::vector<std::string> mine = layers::ownAddresses();
    EXPECT_NE(std::find(mine.begin(), mine.end(), "127.0.0.1"), mine.end()) << "the loopback interface";
    const MountTable m = parseMountInfo(
        "1 0 0:50 / /m rw - nfs4 h:/ rw,addr=192.0.2.7,clientaddr=10.1.2.3,mountaddr=10.9.9.9\n"
        "2 0 0:51 / /n rw - ceph x rw,mon_addr=192.0.2.8:6789/[2001:db8::9]:3300\n"
        "3 0 0:52 / /o rw - fuse.sshfs h:/ rw,addr=192.0.2.7\n");
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(layers::serverAddresses(m[0]), std::vector<std::string>{"192.0.2.7"});
    EXPECT_EQ(layers::serverAddresses(m[1]), (std::vector<std::string>{"192.0.2.8", "2001:db8::9"}));
    EXPECT_TRUE(layers::serverAddresses(m[2]).empty()) << "a FUSE daemon's options are its own word";
}

// The mounts that may hold a file a loop device names by a path: every mount at the path or at a
// whole-component ancestor of it, also one another mount at the same place hides, each with the
// place the path implies in it.
TEST(MountInfo, EveryMountAPathPassesThroughMayHoldItsFile) {
    const MountTable mounts = parseMountInfo(
        "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
        "2 1 8:17 / /mnt rw - ext4 /dev/sdb1 rw\n"
        "3 2 0:40 / /mnt/card rw - tmpfs tmpfs rw\n"
        "4 2 8:33 /photos /mnt/card rw - ext4 /dev/sdc1 rw\n"
        "5 2 8:49 / /mnt/cardx rw - ext4 /dev/sdd1 rw\n");
    std::vector<std::string> places;
    for (const layers::Holder& h : layers::possibleHolders(mounts, "/mnt/card/img/a.img"))
        places.push_back(std::to_string(h.place.major) + ":" + std::to_string(h.place.minor) + " " + h.place.path);
    EXPECT_EQ(places, (std::vector<std::string>{"8:1 /mnt/card/img/a.img", "8:17 /card/img/a.img", "0:40 /img/a.img",
                                                "8:33 /photos/img/a.img"}));
    EXPECT_TRUE(layers::possibleHolders(mounts, "img/a.img").empty()) << "a path the kernel did not write";
}

// On the MMC bus only an SD card is a memory card; eMMC ("MMC") is a chip soldered to the board.
// Each device is described both by its disk facts and through a mounted volume on it, whose
// mountinfo line names the fake device.
TEST(FakeSysfs, SdCardsAndEmmcByTheirMmcType) {
    TempDir t("drvmmc");
    t.mkdir("vol");
    const std::string volume = t / "vol";
    struct statx st {};
    ASSERT_EQ(::statx(AT_FDCWD, volume.c_str(), 0, STATX_MNT_ID, &st), 0);
    ASSERT_TRUE(st.stx_mask & STATX_MNT_ID) << "kernel without statx mount ids";
    const std::string host = "/devices/platform/soc/fe340000.mmc/mmc_host/mmc1/mmc1:0001/block/";
    const struct {
        const char* what;
        std::map<std::string, std::string> attrs;
        const char* protocol;
        const char* mediaName;
        bool removable, internal, cameraCard;
    } cases[] = {
        {"SD card in a slot", {{"removable", "0"}, {"device/type", "SD"}, {"device/name", "SL32G"}},
         "Secure Digital", "SD SL32G", true, false, true},
        {"eMMC", {{"removable", "0"}, {"device/type", "MMC"}, {"device/name", "DA4064"}}, "", "MMC DA4064", false, true, false},
        {"eMMC the kernel calls removable", {{"removable", "1"}, {"device/type", "MMC"}, {"device/name", "DA4064"}},
         "", "MMC DA4064", true, false, false},
        {"MMC bus, type not told", {{"removable", "0"}, {"device/name", "X1"}}, "", "X1", false, false, false},
    };
    unsigned minor = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSys s;
        const std::string majMin = "179:" + std::to_string(minor);
        s.disk(host + "mmcblk" + std::to_string(minor), majMin, c.attrs);
        const DiskFacts f = diskFacts(179, minor, s.sources());
        EXPECT_EQ(f.bus, "mmc");
        EXPECT_EQ(f.protocol, c.protocol);
        EXPECT_EQ(f.mediaName, c.mediaName);
        EXPECT_EQ(f.removable, c.removable);
        EXPECT_EQ(f.internal, c.internal);
        DriveSources sources = s.sources();
        sources.procRoot = t / "proc";
        t.write("proc/self/mountinfo", std::to_string(st.stx_mnt_id) + " 1 " + majMin + " / " + volume +
                                           " rw - ext4 /dev/no-such-node rw\n");
        const VolumeInfo v = Drives::info(volume, sources);
        EXPECT_EQ(v.drive.raw, "dev:" + host + "mmcblk" + std::to_string(minor));
        EXPECT_EQ(v.isRemovable, c.removable);
        EXPECT_EQ(v.isInternal, c.internal);
        EXPECT_EQ(v.isLikelyCameraCard, c.cameraCard);
        ++minor;
    }
}

TEST(FakeSysfs, BusFromDevicePath) {
    const std::pair<std::string, std::string> cases[] = {
        {kSata, "ata"}, {kNvme, "nvme"}, {kMmc, "mmc"}, {kUsbReader, "usb"},
        {"/devices/pci0000:00/0000:00:02.0/virtio1/block/vda", "virtio"},
        {"/devices/platform/host2/target2:0:0/2:0:0:0/block/sdc", "scsi"},
        {"/devices/virtual/block/zram0", ""},
    };
    for (const auto& [path, bus] : cases) EXPECT_EQ(busFromDevicePath(path), bus) << path;
}

TEST(CardLikeness, SdCountsOnlyAsAWordOfItsOwn) {
    const std::pair<const char*, bool> cases[] = {
        {"SDXC Card", true}, {"SD", true}, {"SD/MMC", true}, {"Generic SDHC Reader", true}, {"sduc", true},
        {"microSDXC UHS-I", true}, {"SD SL32G", true},
        {"Samsung SSD 970", false}, {"SSD", false}, {"PSSD T7", false}, {"ASD", false}, {"SDX", false},
        {"", false}, {"CFexpress", false},
    };
    for (auto [name, sd] : cases) EXPECT_EQ(mediaNameSaysSD(name), sd) << name;
}

TEST(Drives, NetworkHost) {
    const std::pair<const char*, const char*> cases[] = {
        {"//user@Server/share", "server"}, {"nas:/export/photos", "nas"}, {"", ""}, {"///NAS", "nas"},
        {"me@Host.local:/home", "host.local"}, {"//a@b@c/x", "b@c"}, {"server", "server"},
    };
    for (auto [in, out] : cases) EXPECT_EQ(Drives::networkHost(in), out) << in;
}

TEST(VolumeInfo, FatFamilyAndFileSizeLimits) {
    const struct {
        const char* fs;
        bool fat;
        std::optional<std::int64_t> max;
    } cases[] = {
        {"msdos", true, 4294967295}, {"vfat", true, 4294967295}, {"exfat", true, INT64_MAX},
        {"MSDOS", false, std::nullopt}, {"apfs", false, std::nullopt}, {"hfs", false, std::nullopt},
        {"ext4", false, std::int64_t{4294967295} * 4096}, {"tmpfs", false, INT64_MAX},
    };
    for (const auto& c : cases) {
        VolumeInfo v;
        v.fileSystem = c.fs;
        EXPECT_EQ(v.isFATFamily(), c.fat) << c.fs;
        EXPECT_EQ(maxFileSizeOf(c.fs, 4096), c.max) << c.fs;
    }
}

TEST(Drives, VolumesAreOfferedNotInternalFirstThenByName) {
    auto vol = [](const char* name, bool internal, const char* mp) {
        VolumeInfo v;
        v.name = name;
        v.isInternal = internal;
        v.volumePath = mp;
        return v;
    };
    std::vector<VolumeInfo> list = {
        vol("Alpha", true, "/"), vol("backup", false, "/mnt/b"), vol("Zeta", false, "/mnt/z"),
        vol("Card", false, "/mnt/c"), vol("e\xCC\x81", false, "/mnt/e"), vol("f", false, "/mnt/f"),
        vol("Card", false, "/mnt/c2"), vol("Data", true, "/mnt/d"),
    };
    sortVolumes(list);
    std::vector<std::string> order;
    for (const VolumeInfo& v : list) order.push_back(v.volumePath);
    // "e" + combining acute composes to U+00E9, which sorts after "f" (by its decomposed bytes it
    // would sort before).
    EXPECT_EQ(order, (std::vector<std::string>{"/mnt/c", "/mnt/c2", "/mnt/z", "/mnt/b", "/mnt/f", "/mnt/e", "/", "/mnt/d"}));
}

// The path's real mount id and device, described by a fake mountinfo line of a chosen type.
TEST(Drives, NetworkSharesAndPoolsByTheirMountInfoLine) {
    TempDir t("drvfake");
    t.mkdir("share/DCIM");
    const std::string share = t / "share";
    struct statx st {};
    ASSERT_EQ(::statx(AT_FDCWD, share.c_str(), 0, STATX_MNT_ID, &st), 0);
    ASSERT_TRUE(st.stx_mask & STATX_MNT_ID) << "kernel without statx mount ids";
    const struct {
        const char* fsType;
        const char* source;
        const char* drive;
        bool network;
        const char* options = "rw";
    } cases[] = {
        {"cifs", "//me@NAS/photos", "net:nas", true, "rw,addr=192.0.2.7"},
        {"cifs", "//NAS/video", "net:nas", true, "rw,addr=192.0.2.7"},
        {"nfs4", "Server.local:/export", "net:server.local", true, "rw,addr=2001:db8::7,clientaddr=::1"},
        // Served from here, or by no address the kernel shows, or by a FUSE daemon's word: no
        // drive known.
        {"nfs4", "Server.local:/export", "unknown:net:server.local", true, "rw,addr=127.0.0.1"},
        {"cifs", "//NAS/video", "unknown:net:nas", true},
        {"fuse.sshfs", "me@host:/srv", "unknown:net:host", true},
        {"zfs", "tank/photos/2024", "unknown:zfs pool tank", false},
        {"zfs", "tank", "unknown:zfs pool tank", false},
        // Its folders are known by name only (here none): a drive that is not known.
        {"overlay", "overlay", nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fsType) + " " + c.source);
        t.write("proc/self/mountinfo", std::to_string(st.stx_mnt_id) + " 1 " + std::to_string(st.stx_dev_major) + ":" +
                                           std::to_string(st.stx_dev_minor) + " / " + share + " rw - " + c.fsType + " " +
                                           c.source + " " + c.options + "\n");
        DriveSources fake;
        fake.procRoot = t / "proc";
        fake.sysRoot = t / "no-sys";
        VolumeInfo v = Drives::info(share + "/DCIM", fake);
        EXPECT_EQ(v.volumePath, share);
        EXPECT_EQ(v.fileSystem, c.fsType);
        EXPECT_EQ(v.isNetwork, c.network);
        const std::string numbers = std::to_string(st.stx_dev_major) + ":" + std::to_string(st.stx_dev_minor);
        EXPECT_EQ(v.drive.raw, c.drive ? std::string(c.drive) : "unknown:stacked " + numbers);
        EXPECT_TRUE(v.isLikelyCameraCard) << "camera folders count on every kind of volume";
        EXPECT_FALSE(v.isInternal);
    }
}

TEST(Drives, AMissingPathDescribesTheRootVolume) {
    TempDir t("drvmissing");
    DriveSources none;
    none.procRoot = t / "no-proc";  // mountinfo unreadable too
    VolumeInfo v = Drives::info(t / "not/there", none);
    EXPECT_EQ(v.path, t / "not/there");
    EXPECT_EQ(v.volumePath, "/");
    EXPECT_EQ(v.fileSystem, "?");
    EXPECT_EQ(v.drive.raw, "vol:/");
    EXPECT_EQ(v.name, "/");
    EXPECT_FALSE(v.maxFileSize.has_value());
}

// Times the file at `path` is opened from now on, as inotify tells.
class OpenCount {
public:
    explicit OpenCount(const std::string& path) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ < 0 || ::inotify_add_watch(fd_, path.c_str(), IN_OPEN) < 0) ADD_FAILURE() << "inotify: " << path;
    }
    ~OpenCount() { ::close(fd_); }
    int opened() {
        alignas(struct inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) {
            for (char* p = buffer; p < buffer + n; p += sizeof(struct inotify_event) + reinterpret_cast<struct inotify_event*>(p)->len)
                count_ += (reinterpret_cast<struct inotify_event*>(p)->mask & IN_OPEN) != 0;
        }
        return count_;
    }

private:
    int fd_;
    int count_ = 0;
};

// A listing reads the mount table once, however many volumes it describes; it describes only the
// device mounts below the media folders that it can reach (not one whose folder is gone, nor one
// that another mount now hides), gives every mount point of that one reading, and stops between
// volumes once it is stale. The mounts are those of a fake table, at real folders.
TEST(Drives, AListingReadsTheMountTableOnceAndDescribesOnlyWhatItCanReach) {
    TempDir t("drvlist");
    const std::string media = t.mkdir("media");
    for (const char* name : {"a", "b", "hidden", "tmp"}) t.mkdir(std::string("media/") + name);
    struct statx st {};
    ASSERT_EQ(::statx(AT_FDCWD, media.c_str(), 0, STATX_MNT_ID, &st), 0);
    ASSERT_TRUE(st.stx_mask & STATX_MNT_ID) << "kernel without statx mount ids";
    const std::string id = std::to_string(st.stx_mnt_id);
    const std::string device = std::to_string(st.stx_dev_major) + ":" + std::to_string(st.stx_dev_minor);
    auto line = [&](const std::string& mountID, const std::string& point, const std::string& rest) {
        return mountID + " 1 " + device + " / " + point + " rw - " + rest + "\n";
    };
    t.write("proc/self/mountinfo", line(id, media, "ext4 /dev/fake-media rw") + line(id, media + "/a", "ext4 /dev/fake-a rw") +
                                       line(id, media + "/b", "ext4 /dev/fake-b rw") +
                                       line(id + "0", media + "/hidden", "ext4 /dev/fake-hidden rw") +
                                       line(id, media + "/gone", "ext4 /dev/fake-gone rw") +
                                       line(id, media + "/tmp", "tmpfs tmpfs rw") + line(id, t / "elsewhere", "ext4 /dev/fake-c rw"));
    DriveSources fake;
    fake.procRoot = t / "proc";
    fake.sysRoot = t / "no-sys";
    fake.mediaFolders = {media};

    OpenCount reads(t / "proc/self/mountinfo");
    int asked = 0;
    const std::optional<MountedListing> listing = Drives::listMounted(fake, [&] { return ++asked > 99; });
    ASSERT_TRUE(listing.has_value());
    std::vector<std::string> listed;
    for (const VolumeInfo& v : listing->volumes) listed.push_back(v.volumePath);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{media + "/a", media + "/b"}));
    EXPECT_EQ(listing->mountPoints, (std::set<std::string>{media, media + "/a", media + "/b", media + "/hidden",
                                                           media + "/gone", media + "/tmp", t / "elsewhere"}));
    EXPECT_EQ(reads.opened(), 1);
    EXPECT_EQ(asked, 4) << "asked before each device mount below the media folder";

    // Stale once the first volume is described: nothing more is described, nothing is given.
    asked = 0;
    EXPECT_FALSE(Drives::listMounted(fake, [&] { return ++asked > 1; }).has_value());
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(reads.opened(), 2);
}


// Two cards labelled alike, rotated backups, a drive mounted again, a record from before mount ids
// were kept: only a UUID, or the very same mount, says "the same" volume; only the very same mount
// says "the same mount", whatever the UUID says.
TEST(VolumeMatch, SameOnlyByUuidOrTheSameMount) {
    struct Side {
        std::optional<std::string> uuid, device;
        std::optional<std::int64_t> mount;
        std::string fs = "exfat";
    };
    struct Case {
        const char* what;
        Side recorded, live;
        VolumeMatch want;
        bool sameMount;
    };
    const Case cases[] = {
        {"same uuid, another reader", {"6E1F-0A0B", "179:1", 40}, {"6E1F-0A0B", "8:17", 91}, VolumeMatch::same, false},
        {"same uuid, mounted again in its reader", {"6E1F-0A0B", "8:17", 40}, {"6E1F-0A0B", "8:17", 41}, VolumeMatch::same,
         false},
        {"another uuid, same mount", {"6E1F-0A0B", "179:1", 40}, {"1111-2222", "179:1", 40}, VolumeMatch::different, false},
        {"no uuid, same mount", {{}, "179:1", 40}, {{}, "179:1", 40}, VolumeMatch::same, true},
        {"no uuid, mounted again", {{}, "179:1", 40}, {{}, "179:1", 41}, VolumeMatch::cannotTell, false},
        {"no uuid, other device", {{}, "179:1", 40}, {{}, "179:2", 40}, VolumeMatch::cannotTell, false},
        {"no uuid, other file system", {{}, "179:1", 40}, {{}, "179:1", 40, "vfat"}, VolumeMatch::cannotTell, false},
        {"uuid then, none now, same mount", {"6E1F-0A0B", "179:1", 40}, {{}, "179:1", 40}, VolumeMatch::same, true},
        {"uuid then, none now, mounted again", {"6E1F-0A0B", "179:1", 40}, {{}, "179:1", 41}, VolumeMatch::cannotTell,
         false},
        {"none then, uuid now, same mount", {{}, "179:1", 40}, {"6E1F-0A0B", "179:1", 40}, VolumeMatch::same, true},
        {"an old record without mount facts", {{}, {}, {}}, {{}, "179:1", 40}, VolumeMatch::cannotTell, false},
        {"nothing known on either side", {{}, {}, {}}, {{}, {}, {}}, VolumeMatch::cannotTell, true},
    };
    for (const Case& c : cases) {
        auto volume = [](const Side& s) {
            VolumeInfo v;
            v.path = v.volumePath = "/media/u/EOS_DIGITAL";
            v.name = "EOS_DIGITAL";
            v.volumeID = s.uuid;
            v.deviceNumber = s.device;
            v.mountID = s.mount;
            v.fileSystem = s.fs;
            return v;
        };
        EXPECT_EQ(matchVolume(volume(c.recorded), volume(c.live)), c.want) << c.what;
        EXPECT_EQ(matchVolume(volume(c.live), volume(c.recorded)), c.want) << c.what << " (turned round)";
        EXPECT_EQ(sameMount(volume(c.recorded), volume(c.live)), c.sameMount) << c.what;
        EXPECT_EQ(sameMount(volume(c.live), volume(c.recorded)), c.sameMount) << c.what << " (turned round)";
    }
    // Without mount facts, the mount point stands in for them.
    VolumeInfo here, there;
    here.volumePath = "/media/u/EOS_DIGITAL";
    there.volumePath = "/media/u/EOS_DIGITAL1";
    EXPECT_FALSE(sameMount(here, there));
}

}  // namespace
}  // namespace halvetrop

// halvetrop-bench listing [MOUNTS...]: how long a listing of the mounted volumes takes with that
// many mounts listed (default 100, 500 and 1000), to show that it grows with the mounts, not with
// their square. Needs root. The mounts are made in a mount namespace of the benchmark's own, with
// "/" private, so nothing outside it sees them: four small loop devices with ext4, over images in a
// tmpfs, each mounted once in a temporary folder below /mnt and then bound again and again at
// folders beside it. A bind mount of a device's mount names that device, as the listing wants, so
// every one of them is listed and described. Each size is listed three times; the middle time is
// given, with the time per listed volume. Exits 1 when the mounts cannot be made.
#include "BenchUtil.h"

#include "drives/Drives.h"
#include "platform/Fd.h"

#include <fcntl.h>
#include <linux/loop.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using halvetrop::UniqueFd;

constexpr int kDevices = 4;

// A loop device reading `image`, detached by the kernel once nothing holds it open or mounted:
// `held` keeps it until it is mounted.
std::string attach(const std::string& image, UniqueFd& held) {
    const UniqueFd control(::open("/dev/loop-control", O_RDWR | O_CLOEXEC));
    const int number = control ? ::ioctl(control.get(), LOOP_CTL_GET_FREE) : -1;
    if (number < 0) return "";
    const std::string device = "/dev/loop" + std::to_string(number);
    held = UniqueFd(::open(device.c_str(), O_RDWR | O_CLOEXEC));
    const UniqueFd file(::open(image.c_str(), O_RDWR | O_CLOEXEC));
    if (!held || !file) return "";
    loop_config config{};
    config.fd = static_cast<unsigned>(file.get());
    config.info.lo_flags = LO_FLAGS_AUTOCLEAR;
    return ::ioctl(held.get(), LOOP_CONFIGURE, &config) == 0 ? device : "";
}

// Every mount made, the latest last, so that they are taken down in the other order.
struct Mounts {
    std::vector<std::string> points;
    ~Mounts() {
        for (auto p = points.rbegin(); p != points.rend(); ++p) ::umount2(p->c_str(), MNT_DETACH);
        for (auto p = points.rbegin(); p != points.rend(); ++p) ::rmdir(p->c_str());
    }
    bool mount(const char* source, const std::string& at, const char* type, unsigned long flags, const char* data = nullptr) {
        if (::mkdir(at.c_str(), 0755) != 0) return false;
        points.push_back(at);
        if (::mount(source, at.c_str(), type, flags, data) == 0) return true;
        std::perror(at.c_str());
        return false;
    }
};

double middleSeconds(std::size_t* listed) {
    std::vector<double> times;
    for (int round = 0; round < 3; ++round) {
        halvetrop::bench::Stopwatch watch;
        const std::optional<halvetrop::MountedListing> listing = halvetrop::Drives::listMounted({}, [] { return false; });
        times.push_back(watch.seconds());
        *listed = listing ? listing->volumes.size() : 0;
    }
    std::sort(times.begin(), times.end());
    return times[1];
}

}  // namespace

int bench_listing(int argc, char** argv) {
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::strtol(argv[i], nullptr, 10));
    if (sizes.empty()) sizes = {100, 500, 1000};
    std::sort(sizes.begin(), sizes.end());
    if (sizes.front() < 1 || sizes.back() > 100000) {
        std::fprintf(stderr, "usage: halvetrop-bench listing [MOUNTS...] (each 1 to 100000)\n");
        return 2;
    }
    if (::geteuid() != 0) {
        std::fprintf(stderr, "listing: needs root, to make mounts in a mount namespace of its own\n");
        return 1;
    }
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        std::perror("listing: a private mount namespace");
        return 1;
    }
    ::mkdir("/mnt", 0755);
    char folder[] = "/mnt/halvetrop-listing-XXXXXX";
    if (!::mkdtemp(folder)) {
        std::perror("listing: a folder below /mnt");
        return 1;
    }
    const std::string top = folder;
    int status = 1;
    {
        Mounts mounts;
        const std::string images = top + "/images";
        std::vector<std::string> devices;
        if (mounts.mount("halvetrop-listing", images, "tmpfs", 0, "size=64m")) {
            for (int d = 0; d < kDevices; ++d) {
                const std::string image = images + "/" + std::to_string(d) + ".img";
                UniqueFd file(::open(image.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
                if (!file || ::ftruncate(file.get(), 4 << 20) != 0) break;
                UniqueFd held;
                const std::string device = attach(image, held);
                if (device.empty() || std::system(("mkfs.ext4 -q -F " + device + " >/dev/null 2>&1").c_str()) != 0) break;
                const std::string at = top + "/device" + std::to_string(d);
                if (!mounts.mount(device.c_str(), at, "ext4", 0)) break;
                devices.push_back(at);
            }
        }
        if (static_cast<int>(devices.size()) != kDevices) {
            std::fprintf(stderr, "listing: could not make %d loop devices with ext4 (loop driver, mkfs.ext4)\n", kDevices);
        } else {
            std::size_t before = 0;
            middleSeconds(&before);  // what the namespace lists before the benchmark's mounts
            std::printf("{\"devices\":%d,\"listed_before\":%zu,\"sizes\":[", kDevices, before);
            long made = 0;
            double firstPerMount = 0, lastPerMount = 0;
            bool ok = true;
            for (std::size_t s = 0; s < sizes.size() && ok; ++s) {
                for (; made < sizes[s]; ++made) {
                    const std::string& source = devices[static_cast<std::size_t>(made % kDevices)];
                    if (!mounts.mount(source.c_str(), top + "/m" + std::to_string(made), nullptr, MS_BIND)) {
                        ok = false;
                        break;
                    }
                }
                if (!ok) break;
                std::size_t listed = 0;
                const double seconds = middleSeconds(&listed);
                const double perMount = seconds / static_cast<double>(listed) * 1e6;
                if (s == 0) firstPerMount = perMount;
                lastPerMount = perMount;
                std::printf("%s{\"mounts\":%ld,\"listed\":%zu,\"seconds\":%.4f,\"us_per_volume\":%.1f}", s ? "," : "",
                            sizes[s], listed, seconds, perMount);
                ok = listed >= before + static_cast<std::size_t>(sizes[s]);
            }
            // Near 1 when a listing's time grows with its mounts; it would grow with them when
            // it grew with their square.
            std::printf("],\"per_volume_growth\":%.2f}\n", firstPerMount > 0 ? lastPerMount / firstPerMount : 0.0);
            if (!ok) std::fprintf(stderr, "listing: a mount could not be made or was not listed\n");
            status = ok ? 0 : 1;
        }
    }
    ::rmdir(top.c_str());
    return status;
}

#include "support/Privileged.h"

#include "support/DeviceManager.h"
#include "support/FdIo.h"
#include "support/TempDir.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace halvetrop::test {

namespace {

// The helper's socket, taken once from the environment and kept from the programs the suite starts.
int helperChannel() {
    static const int fd = [] {
        const char* text = std::getenv("HALVETROP_ROOT_HELPER_FD");
        if (!text || !*text || ::geteuid() == 0) return -1;
        const int n = std::atoi(text);
        if (n < 3 || ::fcntl(n, F_SETFD, FD_CLOEXEC) != 0) return -1;
        return n;
    }();
    return fd;
}

std::mutex& helperLock() {
    static std::mutex lock;
    return lock;
}

bool parseUser(uid_t* uid, gid_t* gid) {
    const char* text = std::getenv("HALVETROP_TEST_USER");
    if (!text || helperChannel() < 0) return false;
    char* end = nullptr;
    const unsigned long u = std::strtoul(text, &end, 10);
    if (*end != ':') return false;
    const unsigned long g = std::strtoul(end + 1, &end, 10);
    if (uid) *uid = static_cast<uid_t>(u);
    if (gid) *gid = static_cast<gid_t>(g);
    return true;
}

}  // namespace

bool playsUser() { return helperChannel() >= 0; }

bool canRunAsRoot(std::string* reason) {
    if (::geteuid() == 0 || playsUser()) return true;
    const std::string why = volumesUnavailable("needs root, or a root helper (halvetrop-test-launch --as-user), to build volumes");
    if (reason) *reason = why;
    return false;
}

bool volumesRequired() {
    const char* value = std::getenv("HALVETROP_REQUIRE_VOLUMES");
    return value && *value && std::strcmp(value, "0") != 0;
}

const std::string& volumesUnavailable(const std::string& reason) {
    if (volumesRequired()) {
        std::fprintf(stderr, "halvetrop-test: real volumes are required in this run, but %s\n", reason.c_str());
        std::fflush(stderr);
    }
    return reason;
}

int runAsRoot(const std::string& command, std::string* out) {
    if (!playsUser()) return runShell("{ " + command + "\n} 2>&1", out);
    std::lock_guard<std::mutex> guard(helperLock());
    const int fd = helperChannel();
    const auto length = static_cast<uint32_t>(command.size());
    int32_t status = -1;
    uint32_t outLength = 0;
    if (!writeAll(fd, &length, sizeof length) || !writeAll(fd, command.data(), command.size()) ||
        !readAll(fd, &status, sizeof status) || !readAll(fd, &outLength, sizeof outLength))
        return -1;
    std::string text(outLength, '\0');
    if (!readAll(fd, text.data(), outLength)) return -1;
    if (out) *out = std::move(text);
    return status;
}

std::string runAsRootOrThrow(const std::string& command) {
    std::string out;
    const int rc = runAsRoot(command, &out);
    if (rc != 0) throw std::runtime_error("`" + command + "` failed (" + std::to_string(rc) + "): " + out);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

uid_t testUid() {
    uid_t uid = ::geteuid();
    parseUser(&uid, nullptr);
    return uid;
}

gid_t testGid() {
    gid_t gid = ::getegid();
    parseUser(nullptr, &gid);
    return gid;
}

void giveToTestUser(const std::string& path) {
    if (!playsUser()) return;
    runAsRootOrThrow("chown " + std::to_string(testUid()) + ":" + std::to_string(testGid()) + " " + shellQuote(path));
}

std::string makeMountFolder(const std::string& parent, const std::string& tag, bool* byRoot) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string where = !parent.empty() ? parent : tmp && *tmp ? tmp : "/tmp";
    *byRoot = ::access(where.c_str(), W_OK) != 0;
    if (!*byRoot) return makeTempFolder(where, tag);
    return runAsRootOrThrow("d=$(mktemp -d " + shellQuote(where + "/halvetrop-" + tag + "-XXXXXX") +
                            ") && chmod 755 \"$d\" && echo \"$d\"");
}

void removeMountFolder(const std::string& path, bool byRoot) noexcept {
    try {
        if (byRoot) {
            runAsRoot("rmdir " + shellQuote(path));
        } else {
            ::rmdir(path.c_str());
        }
    } catch (...) {
    }
}

namespace {

// A daemon this process sees, else one that answers (a daemon outside this PID namespace, or
// processes hidden from this user); a busy daemon is given time to answer.
bool deviceManagerFound() {
    return runningDeviceManagers() > 0 || runAsRoot("udevadm control --ping --timeout=20 >/dev/null 2>&1") == 0;
}

}  // namespace

bool deviceManagerRuns() {
    if (deviceManagerFound()) return true;
    volumesUnavailable("no device manager (udev) runs here");
    return false;
}

void forgetInDeviceDatabase(const std::string& device) {
    runAsRootOrThrow("rm -f /run/udev/data/b$(stat -L -c '%Hr:%Lr' " + shellQuote(device) + ")");
}

void refreshDeviceDatabase(const std::string& device) {
    if (runAsRoot("command -v udevadm >/dev/null") != 0 || !deviceManagerFound()) return;
    // A busy machine's device manager can take seconds to answer, and the watch it keeps on a
    // device it saw written can read the drive again after a refresh, even while it is being
    // mounted, when its superblock can fail its checksum and the database then says nothing of
    // the file system. So the refresh is done until the database gives the type, UUID and label a
    // read of the superblock gives, and that read found a file system.
    const std::string d = shellQuote(device);
    const std::string facts = " | grep -E '^ID_FS_(TYPE|UUID|LABEL_ENC)=' | sort";
    runAsRootOrThrow(
        "for i in $(seq 60); do\n"
        "  udevadm trigger --action=change --settle " + d + "; udevadm settle --timeout=30\n"
        "  want=$(blkid -p -o udev " + d + facts + ")\n"
        "  have=$(udevadm info --query=property --name=" + d + facts + ")\n"
        "  case \"$want\" in *ID_FS_TYPE=*) [ \"$want\" = \"$have\" ] && exit 0;; esac\n"
        "  sleep 0.5\n"
        "done\n"
        "echo \"the device database gives '$have' for '$want'\"; exit 1");
}

}  // namespace halvetrop::test

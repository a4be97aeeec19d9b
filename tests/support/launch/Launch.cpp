// Starts a test suite the way it must run: in a mount namespace of its own whose removable-media
// folders hold none of the machine's volumes (--private-mounts), and as an ordinary user, with a
// root helper kept for the few commands that build the suite's volumes (--as-user).
//
//   halvetrop-test-launch [--private-mounts] [--as-user] [--device-database] -- COMMAND ARGS...
//
// As an ordinary user the suite reads what a desktop user reads, so the device database (udev)
// is started here when no daemon runs, with a rule that makes it describe zram devices. Every
// suite that builds real volumes asks for it as root too (--device-database): its checks as an
// ordinary user read labels and UUIDs from it, and it must run before the suite's first drive is
// made, whichever suite starts first.
// Without root both options are left out and the command runs as it is.
#include "support/DeviceManager.h"
#include "support/FdIo.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using halvetrop::test::readAll;
using halvetrop::test::writeAll;

const char* const kRule = "/run/udev/rules.d/61-halvetrop-test-zram.rules";
const char* const kRuleText = "ACTION!=\"remove\", SUBSYSTEM==\"block\", KERNEL==\"zram*\", IMPORT{builtin}=\"blkid\"\n";
// Held while a launcher looks for the device manager and starts it: the launchers of suites run
// in parallel would otherwise each find none and start one.
const char* const kStartLock = "/run/halvetrop-test-udevd.lock";

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool exists(const char* path) { return ::access(path, F_OK) == 0; }

bool answers(int seconds) {
    return run("udevadm control --ping --timeout=" + std::to_string(seconds) + " >/dev/null 2>&1") == 0;
}

// A daemon this process sees; else one that answers on the control socket (a daemon outside this
// PID namespace). A socket left by a daemon that ended refuses at once; a busy daemon is given time.
bool deviceManagerRuns() { return halvetrop::test::runningDeviceManagers() > 0 || answers(10); }

std::string fileText(const char* path) {
    std::string text;
    if (FILE* f = std::fopen(path, "re")) {
        char buffer[512];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

// Whole or not at all: a running daemon reads its rules again when they change.
bool writeRule() {
    if (fileText(kRule) == kRuleText) return false;
    ::mkdir("/run/udev", 0755);
    ::mkdir("/run/udev/rules.d", 0755);
    const std::string temporary = std::string(kRule) + ".new";
    FILE* f = std::fopen(temporary.c_str(), "we");
    if (!f) return false;
    const bool written = std::fputs(kRuleText, f) >= 0;
    if (std::fclose(f) != 0 || !written || ::rename(temporary.c_str(), kRule) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

// The stock rules probe disks, cards and loop devices but never zram, the tests' separate drives.
void startDeviceDatabase() {
    const int lock = ::open(kStartLock, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    while (lock >= 0 && ::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
    }
    if (!deviceManagerRuns()) {
        writeRule();
        for (const char* daemon : {"/lib/systemd/systemd-udevd", "/usr/lib/systemd/systemd-udevd"}) {
            if (!exists(daemon)) continue;
            run(std::string(daemon) + " --daemon >/dev/null 2>&1");
            break;
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!answers(2) && std::chrono::steady_clock::now() < until) ::usleep(50 * 1000);
    } else if (writeRule()) {
        run("udevadm control --reload >/dev/null 2>&1");
    }
    const int daemons = halvetrop::test::runningDeviceManagers();
    if (lock >= 0) ::close(lock);
    if (daemons > 1)
        std::fprintf(stderr,
                     "halvetrop-test-launch: %d device managers (systemd-udevd) run here at once; they race on the "
                     "same events and database, so a drive's label or UUID can go missing\n",
                     daemons);
    if (daemons == 0 && !answers(10))
        std::fprintf(stderr, "halvetrop-test-launch: no udev here; an ordinary user reads no labels or UUIDs\n");
}

// A mountinfo path with its escapes (\040 for a space, ...) undone.
std::string unescaped(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            out.push_back(static_cast<char>(std::strtol(text.substr(i + 1, 3).c_str(), nullptr, 8)));
            i += 3;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// A new namespace holds a copy of every mount made before it, and a copy keeps its file system
// alive after the suite that made it unmounts it: its zram device cannot be reset nor its loop
// device let go, and it is left behind. So the copies of other test runs' drives (zram and loop
// devices mounted under the temporary folders or /mnt) are detached here, in this namespace only.
void detachOtherTestDrives() {
    FILE* f = std::fopen("/proc/self/mountinfo", "re");
    if (!f) return;
    std::vector<std::string> targets;
    char line[4096];
    while (std::fgets(line, sizeof line, f)) {
        // ID PARENT MAJ:MIN ROOT MOUNT_POINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER_OPTIONS
        char point[1024], source[1024];
        const char* dash = std::strstr(line, " - ");
        if (!dash || std::sscanf(line, "%*s %*s %*s %*s %1023s", point) != 1 ||
            std::sscanf(dash + 3, "%*s %1023s", source) != 1)
            continue;
        const std::string where = unescaped(point), from = unescaped(source);
        const bool testDrive = from.rfind("/dev/zram", 0) == 0 || from.rfind("/dev/loop", 0) == 0;
        const bool testPlace = where.rfind("/tmp/", 0) == 0 || where.rfind("/mnt/", 0) == 0 ||
                               (std::getenv("TMPDIR") && where.rfind(std::string(std::getenv("TMPDIR")) + "/", 0) == 0);
        if (testDrive && testPlace) targets.push_back(where);
    }
    std::fclose(f);
    // Deepest first; a lazy unmount takes what lies below too, and a path gone with it is no loss.
    for (auto it = targets.rbegin(); it != targets.rend(); ++it) ::umount2(it->c_str(), MNT_DETACH);
}

// Over each removable-media folder, an empty file system: the suite's own volumes are the only
// ones it finds there. Changes nothing outside the namespace.
bool privateMounts() {
    if (::unshare(CLONE_NEWNS) != 0) {
        std::fprintf(stderr, "halvetrop-test-launch: no mount namespace (%s)\n", std::strerror(errno));
        return false;
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    detachOtherTestDrives();
    for (const char* folder : {"/media", "/run/media", "/mnt"}) {
        struct stat st {};
        if (::stat(folder, &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        if (::mount("halvetrop-empty", folder, "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755,size=16m") != 0)
            std::fprintf(stderr, "halvetrop-test-launch: cannot hide %s (%s)\n", folder, std::strerror(errno));
    }
    return true;
}

// One command: its exit status and what it wrote to stdout and stderr.
void serveOne(int channel, const std::string& command) {
    int pipeFds[2];
    int32_t status = -1;
    std::string output;
    if (::pipe2(pipeFds, O_CLOEXEC) == 0) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(pipeFds[1], 1);
            ::dup2(pipeFds[1], 2);
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) != 0) {
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break;
            output.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(pipeFds[0]);
        int raw = 0;
        if (child > 0 && ::waitpid(child, &raw, 0) == child) status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    const auto length = static_cast<uint32_t>(output.size());
    if (!writeAll(channel, &status, sizeof status) || !writeAll(channel, &length, sizeof length) ||
        !writeAll(channel, output.data(), output.size()))
        ::_exit(0);
}

// Runs each command the suite sends with root's rights until the suite closes its end.
[[noreturn]] void serve(int channel, const std::vector<std::string>& removeAtEnd) {
    for (;;) {
        uint32_t length = 0;
        if (!readAll(channel, &length, sizeof length) || length > (1u << 20)) break;
        std::string command(length, '\0');
        if (!readAll(channel, command.data(), length)) break;
        serveOne(channel, command);
    }
    for (const std::string& folder : removeAtEnd) run("rm -rf '" + folder + "'");
    ::_exit(0);
}

std::string folderFor(const char* tag, uid_t uid, gid_t gid) {
    std::string pattern = std::string("/tmp/halvetrop-") + tag + "-XXXXXX";
    if (!::mkdtemp(pattern.data()) || ::chown(pattern.c_str(), uid, gid) != 0 || ::chmod(pattern.c_str(), 0700) != 0) {
        std::fprintf(stderr, "halvetrop-test-launch: cannot make %s (%s)\n", pattern.c_str(), std::strerror(errno));
        std::exit(2);
    }
    return pattern;
}

// Drops to an ordinary user (not root, no supplementary groups, so not in the disk group), keeping
// a root helper on the other end of a socket whose number the suite finds in its environment.
void becomeUser() {
    const passwd* pw = ::getpwnam("nobody");
    const uid_t uid = pw ? pw->pw_uid : 65534;
    const gid_t gid = pw ? pw->pw_gid : 65534;
    const std::string home = folderFor("home", uid, gid);
    const std::string runtime = folderFor("runtime", uid, gid);

    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) {
        std::perror("halvetrop-test-launch: socketpair");
        std::exit(2);
    }
    const pid_t helper = ::fork();
    if (helper < 0) {
        std::perror("halvetrop-test-launch: fork");
        std::exit(2);
    }
    if (helper == 0) {
        ::close(pair[0]);
        serve(pair[1], {home, runtime});
    }
    ::close(pair[1]);

    ::setenv("HALVETROP_ROOT_HELPER_FD", std::to_string(pair[0]).c_str(), 1);
    ::setenv("HALVETROP_TEST_USER", (std::to_string(uid) + ":" + std::to_string(gid)).c_str(), 1);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("USER", pw ? pw->pw_name : "nobody", 1);
    ::setenv("LOGNAME", pw ? pw->pw_name : "nobody", 1);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "DBUS_SESSION_BUS_ADDRESS"})
        ::unsetenv(name);
    if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 || ::setresuid(uid, uid, uid) != 0 ||
        ::geteuid() == 0) {
        std::perror("halvetrop-test-launch: dropping root");
        std::exit(2);
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool hide = false, asUser = false, devices = false;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--private-mounts") hide = true;
        else if (a == "--as-user") asUser = true;
        else if (a == "--device-database") devices = true;
        else if (a == "--") { ++i; break; }
        else break;
    }
    if (i >= argc) {
        std::fprintf(stderr,
                     "usage: halvetrop-test-launch [--private-mounts] [--as-user] [--device-database] -- COMMAND ARGS...\n");
        return 2;
    }
    if (::geteuid() == 0) {
        if (asUser || devices) startDeviceDatabase();
        if (hide) privateMounts();
        if (asUser) becomeUser();
    } else if (hide || asUser) {
        std::fprintf(stderr, "halvetrop-test-launch: not root, so the suite runs as it is\n");
    }
    ::execvp(argv[i], argv + i);
    std::fprintf(stderr, "halvetrop-test-launch: cannot run %s (%s)\n", argv[i], std::strerror(errno));
    return 127;
}

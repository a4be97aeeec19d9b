#pragma once
// The machine's device manager (udev) as the test launcher and the suites find it: by its running
// daemon, not by a ping of its control socket, which outlives a daemon that has ended and which a
// daemon busy with a burst of events can leave unanswered for seconds.
#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace halvetrop::test {

namespace deviceManagerDetail {

// A process's name, parent and state from /proc/PID/stat ("PID (NAME) STATE PPID ...").
inline bool readStat(const std::string& pid, std::string* name, char* state, long* parent) {
    FILE* f = std::fopen(("/proc/" + pid + "/stat").c_str(), "re");
    if (!f) return false;
    char buffer[512];
    const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
    std::fclose(f);
    buffer[n] = '\0';
    // The name may hold spaces and parentheses; it ends at the last ')'.
    const char* open = std::strchr(buffer, '(');
    const char* close = std::strrchr(buffer, ')');
    if (!open || !close || close < open || close[1] != ' ') return false;
    name->assign(open + 1, close);
    *state = close[2];
    *parent = std::strtol(close + 4, nullptr, 10);
    return true;
}

inline bool isDaemonName(const std::string& name) { return name == "systemd-udevd" || name == "udevd"; }

}  // namespace deviceManagerDetail

// How many device-manager daemons this process can see running: each is a live process named
// systemd-udevd (or udevd) whose parent is not one, so a daemon's own workers are not counted.
// More than one means two daemons race on the same events and the same database.
inline int runningDeviceManagers() {
    using namespace deviceManagerDetail;
    DIR* proc = ::opendir("/proc");
    if (!proc) return 0;
    int count = 0;
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        std::string name;
        char state = 0;
        long parent = 0;
        if (!readStat(entry->d_name, &name, &state, &parent) || !isDaemonName(name)) continue;
        if (state == 'Z' || state == 'X') continue;
        std::string parentName;
        char parentState = 0;
        long grandParent = 0;
        if (parent > 0 && readStat(std::to_string(parent), &parentName, &parentState, &grandParent) &&
            isDaemonName(parentName))
            continue;
        ++count;
    }
    ::closedir(proc);
    return count;
}

}  // namespace halvetrop::test

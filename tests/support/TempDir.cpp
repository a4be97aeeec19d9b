#include "support/TempDir.h"

#include "support/Privileged.h"

#include "stage/Hang.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace halvetrop::test {

std::string makeTempFolder(const std::string& parent, std::string_view tag) {
    const char* base = std::getenv("TMPDIR");
    const std::string where = !parent.empty() ? parent : base && *base ? base : "/tmp";
    std::string pattern = where + "/halvetrop-" + std::string(tag) + "-XXXXXX";
    char* made = ::mkdtemp(pattern.data());
    if (!made) throw std::runtime_error("mkdtemp " + pattern + ": " + std::strerror(errno));
    return made;
}

TempDir::TempDir(std::string_view tag) : path_(makeTempFolder("", tag)) {}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
    // rm walks folders by descriptor, so trees deeper than one path may name go too.
    if (ec) runShell("rm -rf '" + path_ + "'");
}

std::string TempDir::operator/(std::string_view relative) const { return path_ + "/" + std::string(relative); }

std::string TempDir::write(std::string_view relative, std::string_view bytes) const {
    std::string full = *this / relative;
    fs::create_directories(fs::path(full).parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + full);
    return full;
}

std::string TempDir::mkdir(std::string_view relative) const {
    std::string full = *this / relative;
    fs::create_directories(full);
    return full;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot open " << path;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int runShell(const std::string& command, std::string* out) {
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return -1;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    int status = ::pclose(p);
    if (out) *out = std::move(text);
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string shellQuote(const std::string& text) {
    std::string q = "'";
    for (char c : text) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

std::string runOrThrow(const std::string& command) {
    std::string out;
    const int rc = runShell(command + " 2>&1", &out);
    if (rc != 0) throw std::runtime_error("`" + command + "` failed (" + std::to_string(rc) + "): " + out);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

std::string makeDeepFolders(const std::string& parent, std::size_t longerThan, int* deepest) {
    const std::string name(200, 'd');
    std::string path = parent;
    int folder = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (folder >= 0 && path.size() <= longerThan) {
        if (::mkdirat(folder, name.c_str(), 0755) != 0 && errno != EEXIST) break;
        const int next = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(folder);
        folder = next;
        path += "/" + name;
    }
    if (folder < 0 || path.size() <= longerThan) {
        if (folder >= 0) ::close(folder);
        throw std::runtime_error("cannot nest folders under " + parent);
    }
    if (deepest)
        *deepest = folder;
    else
        ::close(folder);
    return path;
}

bool tryUntilHang(const std::function<bool()>& done, const std::function<void()>& between) {
    const auto hung = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangDetectorMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= hung) return false;
        if (between)
            between();
        else
            ::usleep(10 * 1000);
    }
    return true;
}

bool canUseLoopDevices(std::string* reason) {
    if (!canRunAsRoot(reason)) return false;
    if (::access("/dev/loop-control", F_OK) != 0) {
        const std::string why = volumesUnavailable("this machine has no /dev/loop-control");
        if (reason) *reason = why;
        return false;
    }
    return true;
}

}  // namespace halvetrop::test

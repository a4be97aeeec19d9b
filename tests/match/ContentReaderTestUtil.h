#pragma once
// Shared pieces of the content reader suites: a scratch folder on a disk-backed file system (page
// cache eviction means nothing on tmpfs), random file contents and the xxhsum oracle.
#include "hash/XXHash64.h"
#include "match/ContentReader.h"
#include "platform/PageCache.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/vfs.h>

#include <cstdlib>
#include <optional>
#include <random>
#include <string>

namespace halvetrop::test {

// A folder for files whose cached pages must be droppable: under the build folder (on the
// repository's disk) when the tests say where that is, else under $TMPDIR or /tmp.
class DiskDir {
public:
    DiskDir() {
        const char* build = std::getenv("HALVETROP_BUILD_DIR");
        std::string pattern = std::string(build && *build ? build : "/tmp") + "/content-reader-XXXXXX";
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
        path_ = pattern;
        // Decided as the reader decides it, so that a test never expects a proof the reader may
        // not give here (tmpfs, an overlay, FUSE).
        const int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        unprovable_ = fd < 0 || !PageCache::mediumLiesPastCache(defaultSys(), fd);
        if (fd >= 0) ::close(fd);
    }
    ~DiskDir() { runShell("rm -rf '" + path_ + "'"); }
    DiskDir(const DiskDir&) = delete;
    DiskDir& operator=(const DiskDir&) = delete;

    const std::string& path() const { return path_; }
    // No read here can be shown to come from the medium (its pages may be its storage).
    bool mediumUnprovable() const { return unprovable_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
    bool unprovable_ = false;
};

inline std::string randomContent(std::size_t length, std::uint64_t seed) {
    std::mt19937_64 engine(seed);
    std::string bytes(length, '\0');
    for (char& c : bytes) c = static_cast<char>(engine());
    return bytes;
}

inline std::string writeFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot create " + path);
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path);
    return path;
}

// `tail -c +N | head -c L | xxhsum -H3` of the window, as the 16 printed hex digits.
inline std::optional<std::string> windowOracle(const std::string& path, std::int64_t start, std::int64_t length) {
    std::string out;
    const std::string command = "tail -c +" + std::to_string(start + 1) + " '" + path + "' | head -c " +
                                std::to_string(length) + " | xxhsum -H3 2>/dev/null";
    if (runShell(command, &out) != 0) return std::nullopt;
    const std::size_t eq = out.rfind(" = ");
    if (eq == std::string::npos || out.size() < eq + 3 + 16) return std::nullopt;
    return out.substr(eq + 3, 16);
}

inline std::optional<std::string> fileOracle(const std::string& path) {
    std::string out;
    if (runShell("xxhsum -H3 '" + path + "' 2>/dev/null", &out) != 0) return std::nullopt;
    const std::size_t eq = out.rfind(" = ");
    if (eq == std::string::npos || out.size() < eq + 3 + 16) return std::nullopt;
    return out.substr(eq + 3, 16);
}

// Resident bytes of the file as util-linux fincore reports them (an oracle independent of ours).
inline std::optional<long long> fincoreBytes(const std::string& path) {
    std::string out;
    if (runShell("fincore --noheadings --bytes --output RES '" + path + "'", &out) != 0) return std::nullopt;
    try {
        return std::stoll(out);
    } catch (...) {
        return std::nullopt;
    }
}

// Resident pages of the whole file through our own query.
inline std::int64_t residentPagesOf(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -2;
    struct stat st {};
    ::fstat(fd, &st);
    const std::int64_t pages = PageCache::residentPages(defaultSys(), fd, 0, st.st_size);
    ::close(fd);
    return pages;
}

// Reads the whole file through the cache, so that its pages are resident.
inline void readThroughCache(const std::string& path) { runShell("cat '" + path + "' > /dev/null"); }

}  // namespace halvetrop::test

#include "platform/MountInfo.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace halvetrop {

namespace {

std::vector<std::string_view> splitSpaces(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        std::size_t j = i;
        while (j < line.size() && line[j] != ' ') ++j;
        if (j > i) out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

// The lines of `text` without their line feeds (the last one also when it has none).
std::vector<std::string_view> lines(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// A file of /proc as text; "" when it cannot be read.
std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "";
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

template <class T>
bool parseNumber(std::string_view s, T& out) {
    if (s.empty()) return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size();
}

}  // namespace

std::string unescapeMountField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && field.size() - i >= 4) {
            const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

std::vector<MountEntry> parseMountInfo(std::string_view text) {
    std::vector<MountEntry> out;
    for (std::string_view line : lines(text)) {
        // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
        std::vector<std::string_view> f = splitSpaces(line);
        if (f.size() < 9) continue;
        std::size_t dash = 6;
        while (dash < f.size() && f[dash] != "-") ++dash;
        if (dash + 2 >= f.size()) continue;  // needs fstype and source after the separator
        MountEntry m;
        std::string_view devs = f[2];
        std::size_t colon = devs.find(':');
        if (colon == std::string_view::npos) continue;
        if (!parseNumber(f[0], m.mountID) || !parseNumber(f[1], m.parentID) ||
            !parseNumber(devs.substr(0, colon), m.major) || !parseNumber(devs.substr(colon + 1), m.minor)) {
            continue;
        }
        m.root = unescapeMountField(f[3]);
        m.mountPoint = unescapeMountField(f[4]);
        m.fsType = unescapeMountField(f[dash + 1]);
        m.source = unescapeMountField(f[dash + 2]);
        if (dash + 3 < f.size()) m.superOptions = unescapeMountField(f[dash + 3]);
        out.push_back(std::move(m));
    }
    return out;
}

MountTable readMountInfo(const std::string& procRoot) { return parseMountInfo(readText(procRoot + "/self/mountinfo")); }

const MountEntry* mountByID(const MountTable& mounts, std::uint64_t mountID) {
    for (const MountEntry& m : mounts)
        if (m.mountID == mountID) return &m;
    return nullptr;
}

std::uint64_t parseFdInfoMountID(std::string_view text) {
    for (std::string_view line : lines(text)) {
        constexpr std::string_view key = "mnt_id:";
        if (line.substr(0, key.size()) != key) continue;
        line.remove_prefix(key.size());
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        std::uint64_t id = 0;
        return parseNumber(line, id) ? id : 0;
    }
    return 0;
}

std::uint64_t fdInfoMountID(const std::string& procRoot, int fd) {
    return parseFdInfoMountID(readText(procRoot + "/self/fdinfo/" + std::to_string(fd)));
}

bool isPathPrefix(std::string_view prefix, std::string_view path) {
    if (prefix == "/") return !path.empty() && path[0] == '/';
    if (path.size() < prefix.size() || path.compare(0, prefix.size(), prefix) != 0) return false;
    return path.size() == prefix.size() || path[prefix.size()] == '/';
}

const MountEntry* findMount(const std::vector<MountEntry>& mounts, std::uint64_t mountID, unsigned major, unsigned minor,
                            std::string_view path) {
    if (mountID != 0) {
        if (const MountEntry* m = mountByID(mounts, mountID)) return m;
    }
    const MountEntry* best = nullptr;
    for (const MountEntry& m : mounts) {
        if (m.major != major || m.minor != minor || !isPathPrefix(m.mountPoint, path)) continue;
        if (!best || m.mountPoint.size() >= best->mountPoint.size()) best = &m;
    }
    return best;
}

}  // namespace halvetrop

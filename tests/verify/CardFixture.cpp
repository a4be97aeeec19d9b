#include "CardFixture.h"

#include "../capture/PhotoFixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <random>

namespace halvetrop::test {

namespace {
constexpr int64_t baseTime = 1714737600LL * 1000000000LL;  // 2024-05-03 12:00:00 UTC

std::string clipXml(int n) {
    char when[64];
    std::snprintf(when, sizeof when, "2024-05-03T14:%02d:10+02:00", n % 60);
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<NonRealTimeMeta xmlns=\"urn:schemas-professionalDisc:nonRealTimeMeta:ver.2.20\">\n"
                       "\t<CreationDate value=\"") + when + "\"/>\n"
           "\t<Device manufacturer=\"Sony\" modelName=\"ILCE-7M4\" serialNo=\"5012345\"/>\n"
           "</NonRealTimeMeta>\n";
}
}  // namespace

std::string noise(int64_t size, uint32_t seed) {
    std::mt19937_64 rng(seed * 0x9E3779B97F4A7C15ULL + 1);
    std::string s(static_cast<size_t>(size), '\0');
    for (size_t i = 0; i < s.size(); i += 8) {
        uint64_t v = rng();
        for (size_t k = 0; k < 8 && i + k < s.size(); ++k) s[i + k] = static_cast<char>(v >> (8 * k));
    }
    return s;
}

void setMtime(const std::string& path, int64_t mtimeNs) {
    struct timespec times[2];
    times[0].tv_sec = mtimeNs / 1000000000;
    times[0].tv_nsec = mtimeNs % 1000000000;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

int64_t mtimeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

void writeFile(const std::string& path, const std::string& bytes, int64_t mtimeNs) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good()) << path;
    }
    setMtime(path, mtimeNs);
}

void flipByte(const std::string& path, int64_t offset) {
    const int64_t mtime = mtimeOf(path);
    int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0) << path;
    unsigned char c = 0;
    ASSERT_EQ(::pread(fd, &c, 1, offset), 1);
    c = static_cast<unsigned char>(~c);
    ASSERT_EQ(::pwrite(fd, &c, 1, offset), 1);
    ::fsync(fd);
    ::close(fd);
    setMtime(path, mtime);
}

void copyTree(const std::string& from, const std::string& to) {
    std::filesystem::create_directories(to);
    // A volume's lost+found is root's alone: a user's copy of a card never holds it.
    const std::string cmd = "cd " + shellQuote(from) + " && find . -mindepth 1 -maxdepth 1 ! -name lost+found -exec cp -a -t " +
                            shellQuote(to + "/") + " {} +";
    ASSERT_EQ(runShell(cmd), 0) << cmd;
}

std::vector<CardFile> makeCard(const std::string& root, const CardOptions& o) {
    std::vector<CardFile> files;
    auto put = [&](const std::string& rel, const std::string& bytes, int64_t mtime) {
        writeFile(root + "/" + rel, bytes, mtime);
        files.push_back({rel, static_cast<int64_t>(bytes.size())});
    };
    for (int n = 1; n <= o.pairs; ++n) {
        char stem[32];
        std::snprintf(stem, sizeof stem, "DSC%05d", n);
        PhotoTags tags;
        char wall[32];
        std::snprintf(wall, sizeof wall, "2024:05:03 14:%02d:%02d", n / 60 % 60, n % 60);
        tags.dateTimeOriginal = wall;
        tags.model = "ILCE-7M4";
        tags.bodySerialNumber = "5012345";
        const int64_t mtime = baseTime + int64_t{n} * 1000000000;
        std::string raw = buildPhoto(Container::tiff, tags);
        raw += noise(o.photoBytes - static_cast<int64_t>(raw.size()), o.seed * 1000 + static_cast<uint32_t>(n));
        put(std::string("DCIM/100MSDCF/") + stem + ".ARW", raw, mtime);
        std::string jpg = buildPhoto(Container::jpeg, tags);
        jpg += noise(o.photoBytes / 3 - static_cast<int64_t>(jpg.size()), o.seed * 1000 + 500 + static_cast<uint32_t>(n));
        put(std::string("DCIM/100MSDCF/") + stem + ".JPG", jpg, mtime);
    }
    for (int n = 1; n <= o.clips; ++n) {
        char stem[32];
        std::snprintf(stem, sizeof stem, "C%04d", n);
        const int64_t mtime = baseTime + int64_t{n} * 60 * 1000000000;
        put(std::string("PRIVATE/M4ROOT/CLIP/") + stem + ".MP4", noise(o.clipBytes, o.seed * 1000 + 900 + static_cast<uint32_t>(n)), mtime);
        put(std::string("PRIVATE/M4ROOT/CLIP/") + stem + "M01.XML", clipXml(n), mtime);
        put(std::string("PRIVATE/M4ROOT/THMBNL/") + stem + "T01.JPG", noise(4000, o.seed * 1000 + 950 + static_cast<uint32_t>(n)), mtime);
    }
    if (o.pairs + o.clips > 0) put("PRIVATE/M4ROOT/MEDIAPRO.XML", "<MediaProfile/>\n", baseTime);
    if (o.junk) {
        writeFile(root + "/._DSC00001.ARW", std::string(4096, 'j'), baseTime);
        writeFile(root + "/.DS_Store", std::string(6148, 'd'), baseTime);
    }
    return files;
}

VerifyReport check(const std::string& card, std::vector<std::string> backups, CheckLevel level,
                   int64_t requiredCopies) {
    VerifyRequest request(card, std::move(backups));
    request.level = level;
    request.requiredCopies = requiredCopies;
    Verifier verifier(request);
    return verifier.run();
}

const FileResult& fileAt(const VerifyReport& report, const std::string& relativePath) {
    for (const FileResult& f : report.files)
        if (f.relativePath == relativePath) return f;
    throw std::runtime_error("no file " + relativePath);
}

}  // namespace halvetrop::test

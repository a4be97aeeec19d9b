// halvetrop-bench capture DIR [--list]: dates every photo and video under DIR with
// CaptureReader::read on 4 workers, timed inside the process from the start of the listing to
// the last record. With --list, one JSON object per file comes first (absent values left out), so
// any file set can be checked against exiftool.
#include "BenchUtil.h"

#include "anatomy/Anatomy.h"
#include "capture/CaptureReader.h"
#include "text/Utf8.h"

#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

struct Item {
    std::string path;
    std::string relative;
    halvetrop::MediaKind kind;
};

// ISO 8601 in UTC, e.g. 2024-05-03T12:22:10Z.
std::string utcText(halvetrop::TimeNs t) {
    std::string text = halvetrop::CaptureReader::wallFormatterUTC().format(t);
    if (text.size() == 19) {
        text[4] = text[7] = '-';
        text[10] = 'T';
    }
    return text + "Z";
}

}  // namespace

int bench_capture(int argc, char** argv) {
    using namespace halvetrop;
    namespace fs = std::filesystem;
    bool list = false;
    const char* dir = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--list") == 0)
            list = true;
        else if (!dir)
            dir = argv[i];
        else
            dir = nullptr, i = argc;
    }
    if (!dir) {
        std::fprintf(stderr, "usage: halvetrop-bench capture DIR [--list]\n");
        return 2;
    }

    bench::Stopwatch clock;
    std::vector<Item> items;
    std::error_code ec;
    const fs::path root(dir);
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        const std::string relative = it->path().lexically_relative(root).native();
        const MediaKind kind = Anatomy::classify(relative).kind;
        if (kind == MediaKind::photo || kind == MediaKind::video) items.push_back({it->path().native(), relative, kind});
    }
    if (ec) {
        std::fprintf(stderr, "walk %s: %s\n", dir, ec.message().c_str());
        return 1;
    }

    std::vector<CaptureInfo> results(items.size());
    std::atomic<size_t> next{0};
    AccessTimesTouched touched;
    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < items.size();) {
            struct stat st {};
            const TimeNs modified = ::lstat(items[i].path.c_str(), &st) == 0
                                        ? TimeNs{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec
                                        : 0;
            results[i] = CaptureReader::read(items[i].path, items[i].kind, modified, touched);
        }
    };
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w) workers.emplace_back(work);
    for (auto& t : workers) t.join();
    const double seconds = clock.seconds();

    size_t dated = 0, exif = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const CaptureInfo& info = results[i];
        dated += info.date.has_value();
        exif += info.source == DateSource::exif;
        if (!list) continue;
        nlohmann::ordered_json line;
        line["path"] = repairUtf8(items[i].relative);
        line["source"] = std::string(rawValue(info.source));
        if (info.wallClock) line["wallClock"] = *info.wallClock;
        if (info.date) line["date"] = utcText(*info.date);
        if (info.model) line["model"] = *info.model;
        if (info.serial) line["serial"] = *info.serial;
        if (info.uniqueID) line["uniqueID"] = *info.uniqueID;
        if (const auto day = info.day()) line["day"] = *day;
        std::printf("%s\n", line.dump().c_str());
    }
    std::printf("{\"files\":%zu,\"dated\":%zu,\"exif\":%zu,\"seconds\":%.6f}\n", items.size(), dated, exif, seconds);
    return 0;
}

// halvetrop-bench report --files N: builds a synthetic report of N card files with copies and
// capture information, then encodes and decodes its stored form.
// Prints {"files":N,"json_bytes":B,"encode_mbps":..,"decode_mbps":..,"decode_peak_rss_mb":..}.
// decode_peak_rss_mb is the process's peak resident size (MiB) during the first decode, the JSON
// text included, measured after the built report was freed and the peak reset.
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "BenchUtil.h"
#include "report/StoredForm.h"

namespace {

using namespace halvetrop;

constexpr TimeNs kBase = 1'714'571'000'000'000'000;  // 2024-05-01

VolumeInfo volume(const std::string& name, const std::string& drive) {
    VolumeInfo v;
    v.path = "/media/user/" + name;
    v.volumePath = v.path;
    v.name = name;
    v.drive.raw = drive;
    v.fileSystem = "exfat";
    v.isRemovable = true;
    v.volumeID = "6E1F-2A3B";
    v.totalBytes = 512'000'000'000;
    v.freeBytes = 100'000'000'000;
    v.maxFileSize = 0x7fffffffffffffff;
    return v;
}

VerifyReport syntheticReport(int64_t count) {
    VerifyReport r;
    r.source = volume("EOS_DIGITAL", "dev:/devices/pci0000:00/usb1/1-2/block/sdb");
    r.destinations = {volume("Backup A", "disk:sdc"), volume("Backup B", "net:nas")};
    r.level = CheckLevel::verified;
    r.cameras = {{"canon.eos", "Canon EOS"}};
    r.files.reserve(static_cast<size_t>(count));
    const FileStatus statuses[] = {FileStatus::verified, FileStatus::verified, FileStatus::backedUp,
                                   FileStatus::missing, FileStatus::likely};
    ShootGroup* shoot = nullptr;
    for (int64_t i = 0; i < count; ++i) {
        FileResult f;
        f.id = i;
        int64_t folderNumber = 100 + i / 9999;
        f.folder = "DCIM/" + std::to_string(folderNumber) + "CANON";
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%04lld.CR3", static_cast<long long>(i % 9999 + 1));
        f.name = name;
        f.relativePath = join(f.folder, f.name);
        f.size = 25'000'000 + i * 37 % 1'000'000;
        f.modified = kBase + i * 1'000'000'000 + (i % 1000) * 1000;
        f.kind = MediaKind::photo;
        f.role = FileRole::media;
        f.inScope = i % 50 != 0;
        CaptureInfo c;
        c.date = f.modified - 2'000'000'000;
        c.wallClock = "2024:05:01 12:" + std::to_string(10 + i % 50) + ":00";
        c.model = "Canon EOS R5";
        c.serial = "012345678901";
        c.source = DateSource::exif;
        f.capture = c;
        f.day = "2024-05-0" + std::to_string(1 + i % 7);
        f.camera = "Canon EOS R5";
        f.status = statuses[i % 5];
        if (f.status == FileStatus::missing) f.detail = "No copy found on any backup.";
        if (isCovered(f.status)) {
            f.copies = {{0, "Photos/2024-05-01/" + f.name, EvidenceLevel::verified, false},
                        {1, "Archive/" + f.folder + "/" + f.name, EvidenceLevel::sampled, false}};
            f.safeDrives = 1;
        }
        if (f.inScope) r.totals.add(f);
        if (!shoot || shoot->folder != f.folder) {
            r.groups.emplace_back();
            shoot = &r.groups.back();
            shoot->folder = f.folder;
            shoot->day = f.day;
            shoot->camera = f.camera;
            shoot->landings = {{0, "Photos/2024-05-01", 0}};
        }
        shoot->fileIDs.push_back(f.id);
        shoot->counts.add(f);
        shoot->kinds[MediaKind::photo] += 1;
        shoot->formats["CR3"] += 1;
        shoot->landings[0].files += 1;
        r.files.push_back(std::move(f));
    }
    r.outOfScope = count - r.totals.files;
    r.startedAt = kBase;
    r.finishedAt = kBase + 60'000'000'000;
    return r;
}

// Peak resident size since the last reset, in MiB, from /proc/self/status (VmHWM).
double highWaterMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return bench::peakRssMiB();
}

// Writing 5 to clear_refs resets the peak resident size to the current one.
bool resetHighWater() {
    std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f) return false;
    bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int bench_report(int argc, char** argv) {
    long long count = 100'000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--files") == 0 && i + 1 < argc) {
            count = std::atoll(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: halvetrop-bench report [--files N]\n");
            return 2;
        }
    }
    if (count < 0) count = 0;

    std::string json;
    double encodeSeconds = 0;
    {
        VerifyReport report = syntheticReport(count);
        // Best of three, so that the first pass's page faults do not count as encoding time.
        for (int pass = 0; pass < 3; ++pass) {
            bench::Stopwatch watch;
            std::string text = toStoredJson(report);
            double s = watch.seconds();
            if (pass == 0 || s < encodeSeconds) encodeSeconds = s;
            json = std::move(text);
        }
    }
    json.shrink_to_fit();
    malloc_trim(0);

    double decodeSeconds = 0;
    double peak = 0;
    size_t decodedFiles = 0;
    bool resetOk = resetHighWater();
    for (int pass = 0; pass < 3; ++pass) {
        bench::Stopwatch watch;
        VerifyReport back = fromStoredJson<VerifyReport>(json);
        double s = watch.seconds();
        if (pass == 0 || s < decodeSeconds) decodeSeconds = s;
        decodedFiles = back.files.size();
        // The first decode runs in the state a fresh process reading its history is in; later
        // passes only refine the time.
        if (pass == 0) peak = resetOk ? highWaterMiB() : bench::peakRssMiB();
    }
    if (decodedFiles != static_cast<size_t>(count)) {
        std::fprintf(stderr, "decoded %zu files of %lld\n", decodedFiles, count);
        return 1;
    }

    double megabytes = static_cast<double>(json.size()) / 1e6;
    std::printf(
        "{\"files\":%lld,\"json_bytes\":%zu,\"encode_mbps\":%.1f,\"decode_mbps\":%.1f,"
        "\"decode_peak_rss_mb\":%.1f}\n",
        count, json.size(), encodeSeconds > 0 ? megabytes / encodeSeconds : 0.0,
        decodeSeconds > 0 ? megabytes / decodeSeconds : 0.0, peak);
    return 0;
}

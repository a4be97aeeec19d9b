#include "SyntheticReport.h"

#include <cstdio>
#include <string>

namespace halvetrop::bench {

namespace {

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

}  // namespace

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

}  // namespace halvetrop::bench

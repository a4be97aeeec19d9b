#include "results/ResultsFixtures.h"

#include <QQmlEngine>

#include "results/ResultsData.h"

namespace halvetrop {

namespace {

struct Shoot {
    const char* folder;
    const char* day;
    MediaKind kind;
    const char* ext;
    int files;
};

const Shoot shoots[] = {
    {"DCIM/100MSDCF", "2024-04-15", MediaKind::photo, "ARW", 48},
    {"PRIVATE/M4ROOT/CLIP", "2024-04-15", MediaKind::video, "MP4", 12},
    {"DCIM/101MSDCF", "2024-04-16", MediaKind::photo, "JPG", 30},
};

FileStatus statusOf(const QString& name, int shoot, int i) {
    if (name == "card-only") return FileStatus::notCompared;
    if (name == "missing") {
        if (shoot == 1)
            return i < 6 ? FileStatus::missing : i == 6 ? FileStatus::conflict : FileStatus::backedUp;
        if (shoot == 2 && i < 2) return FileStatus::likely;
        return shoot == 0 ? FileStatus::backedUp : FileStatus::verified;
    }
    // Reads through a cache can't prove a copy byte by byte: matched by content only.
    if (name == "fuse-card") return FileStatus::backedUp;
    if (name == "verifying" || name == "stopped-pass")
        return (name == "stopped-pass" && shoot == 0) || (i % 3 == 0) ? FileStatus::verified
                                                                      : FileStatus::backedUp;
    return FileStatus::verified;
}

}  // namespace

VerifyReport resultsFixture(const QString& name) {
    VerifyReport r;
    r.source.path = "/media/ana/SONY A7IV";
    r.source.volumePath = r.source.path;
    r.source.name = "SONY A7IV";
    r.source.fileSystem = "exfat";
    r.source.isRemovable = true;
    r.source.isLikelyCameraCard = true;
    if (name == "fuse-card") {
        r.source.fileSystem = "fuseblk";
        r.source.readsFromMedium = false;
    }
    const bool cardOnly = name == "card-only";
    if (!cardOnly)
        for (const char* d : {"Archive 2025", "Travel SSD"}) {
            VolumeInfo v;
            v.name = d;
            v.path = std::string("/media/ana/") + d;
            v.volumePath = v.path;
            r.destinations.push_back(v);
        }
    const bool byteLevel = name == "safe" || name == "fuse-card" || name == "unreadable";
    r.level = byteLevel ? CheckLevel::verified : CheckLevel::standard;
    r.requiredCopies = 2;
    r.scope = VerifyScope::withKinds({MediaKind::photo, MediaKind::video});
    r.cameras = {{"sony.stills", "Sony α"}, {"sony.xavc", "Sony XAVC"}};
    int64_t id = 0;
    for (int s = 0; s < 3; ++s) {
        const Shoot& sh = shoots[s];
        ShootGroup g;
        g.folder = sh.folder;
        g.day = sh.day;
        g.camera = "ILCE-7M4";
        int64_t landed = 0;
        for (int i = 0; i < sh.files; ++i) {
            FileResult f;
            f.id = id++;
            f.name = "DSC0" + std::to_string(1000 + f.id) + "." + sh.ext;
            f.folder = sh.folder;
            f.relativePath = f.folder + "/" + f.name;
            f.size = sh.kind == MediaKind::video ? 310'000'000 + f.id : 24'600'000 + f.id * 1000;
            f.kind = sh.kind;
            f.inScope = true;
            f.day = sh.day;
            f.camera = g.camera;
            f.status = statusOf(name, s, i);
            f.safeDrives = byteLevel && name != "fuse-card" ? 2 : 0;
            if (isCovered(f.status)) {
                const EvidenceLevel e = f.status == FileStatus::verified && byteLevel
                                            ? EvidenceLevel::verified
                                            : EvidenceLevel::sampled;
                const std::string dir = std::string("Photos/") + sh.day + (s == 1 ? "/Clips" : "");
                f.copies.push_back({0, dir + "/" + f.name, e, false});
                if (byteLevel) f.copies.push_back({1, "Cards/" + f.relativePath, e, false});
                ++landed;
            }
            r.totals.add(f);
            g.fileIDs.push_back(f.id);
            ++g.kinds[sh.kind];
            ++g.formats[sh.ext];
            r.files.push_back(std::move(f));
        }
        if (landed > 0)
            g.landings.push_back({0, std::string("Photos/") + sh.day + (s == 1 ? "/Clips" : ""), landed});
        if (landed > 0 && byteLevel) g.landings.push_back({1, std::string("Cards/") + sh.folder, landed});
        r.groups.push_back(std::move(g));
    }
    if (name == "missing")
        for (int i = 0; i < 5; ++i) {
            FileResult f;
            f.id = id++;
            f.name = "ZOOM000" + std::to_string(i) + ".WAV";
            f.folder = "AUDIO";
            f.relativePath = "AUDIO/" + f.name;
            f.size = 80'000'000;
            f.kind = MediaKind::audio;
            f.status = FileStatus::notCompared;
            r.files.push_back(std::move(f));
        }
    // Folders and the counts of each, itself and below.
    const char* folders[] = {"",        "DCIM",           "DCIM/100MSDCF",      "DCIM/101MSDCF",
                             "PRIVATE", "PRIVATE/M4ROOT", "PRIVATE/M4ROOT/CLIP"};
    for (const char* path : folders) {
        FolderSummary f;
        f.path = path;
        const auto slash = f.path.find_last_of('/');
        f.name = slash == std::string::npos ? f.path : f.path.substr(slash + 1);
        f.depth = f.path.empty() ? 0 : 1 + int64_t(std::count(f.path.begin(), f.path.end(), '/'));
        for (const FileResult& file : r.files)
            if (file.inScope &&
                (f.path.empty() || file.folder == f.path || file.folder.rfind(f.path + "/", 0) == 0)) {
                f.counts.add(file);
                if (!f.dayRange) f.dayRange = DayRange{file.day, file.day};
                f.dayRange->lower = std::min(f.dayRange->lower, file.day);
                f.dayRange->upper = std::max(f.dayRange->upper, file.day);
            }
        r.folders.push_back(std::move(f));
    }
    r.contents = {{"Photos", {"ARW", "JPG"}, 78, 1'920'000'000, 78, ""},
                  {"Videos", {"MP4"}, 12, 3'720'000'000, 12, "XAVC S clips with their XML sidecars"},
                  {"Audio", {"WAV"}, name == "missing" ? 5 : 0, name == "missing" ? 400'000'000 : 0, 0, ""}};
    r.safeToFormat = name == "safe";
    if (name == "unreadable") {
        r.cardUnreadable = 2;
        r.cardUnreadableEntries = {{"DCIM/101MSDCF", "Input/output error"},
                                   {"PRIVATE/M4ROOT/CLIP/C0042.MP4", "Permission denied"}};
    }
    r.startedAt = 1'713'200'000'000'000'000;
    r.finishedAt = r.startedAt + 95'000'000'000;
    return r;
}

QObject* ResultsFixtures::make(const QString& name) const {
    QObject* out = new FixtureReport(resultsFixture(name));
    QQmlEngine::setObjectOwnership(out, QQmlEngine::JavaScriptOwnership);
    return out;
}

void registerResultsFixtures() {
    qmlRegisterSingletonType<ResultsFixtures>(
        "HalvetropFake.Native", 1, 0, "ReportFixtures",
        [](QQmlEngine*, QJSEngine*) -> QObject* { return new ResultsFixtures; });
}

}  // namespace halvetrop

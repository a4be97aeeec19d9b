#include "stage/Fixtures.h"

#include <algorithm>

namespace halvetrop::stage {

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
    // The clips could not be read at all: whether they are on a backup is not known.
    if (name == "unread-clips") return shoot == 1 ? FileStatus::unreadable : FileStatus::verified;
    // Reads through a cache can't prove a copy byte by byte: matched by content only.
    if (name == "fuse-card") return FileStatus::backedUp;
    if (name == "verifying" || name == "stopped-pass")
        return (name == "stopped-pass" && shoot == 0) || (i % 3 == 0) ? FileStatus::verified
                                                                      : FileStatus::backedUp;
    return FileStatus::verified;
}

// A dozen files of every status on "EOS_DIGITAL", for the file browser.
VerifyReport browserFixture(bool cardOnly) {
    VerifyReport r = savedCheck("EOS_DIGITAL", 0, 0, cardOnly, false, fixtureNow());
    r.source.fileSystem = "exfat";
    r.source.isRemovable = true;
    if (!cardOnly) {
        r.destinations.front().name = "Archive";
        r.destinations.front().path = r.destinations.front().volumePath = "/media/ana/Archive";
        r.destinations.push_back(VolumeInfo{});
        r.destinations.back().name = "Travel SSD";
        r.destinations.back().path = r.destinations.back().volumePath = "/media/ana/Travel SSD";
    }
    r.groups.clear();
    const FileStatus statuses[] = {FileStatus::verified, FileStatus::backedUp,    FileStatus::missing,
                                   FileStatus::conflict, FileStatus::likely,      FileStatus::unreadable,
                                   FileStatus::verified, FileStatus::notCompared, FileStatus::backedUp,
                                   FileStatus::missing,  FileStatus::cloudOnly,   FileStatus::changed};
    const MediaKind kinds[] = {MediaKind::photo, MediaKind::photo, MediaKind::video,
                               MediaKind::photo, MediaKind::audio, MediaKind::other};
    r.scope =
        VerifyScope::withKinds({MediaKind::photo, MediaKind::video, MediaKind::audio, MediaKind::other});
    for (int i = 0; i < 12; ++i) {
        FileResult f;
        f.id = i;
        f.kind = kinds[i % 6];
        const char* ext = f.kind == MediaKind::video   ? ".MP4"
                          : f.kind == MediaKind::audio ? ".WAV"
                          : f.kind == MediaKind::other ? ".TXT"
                                                       : ".JPG";
        f.name = i == 3 ? "<b>DSC</b>\n0003.ARW" : "DSC0" + std::to_string(i + 100) + ext;
        f.folder = i < 8 ? "DCIM/100MSDCF" : "";
        f.relativePath = f.folder.empty() ? f.name : f.folder + "/" + f.name;
        f.size = int64_t(1'300'000) * (i + 1) * (i + 1);
        f.inScope = true;
        f.day = i < 6 ? "2025-03-01" : "2025-03-04";
        f.camera = i % 2 ? "ILCE-7M4" : "";
        f.status = cardOnly ? FileStatus::notCompared : statuses[i];
        if (f.status == FileStatus::conflict) f.detail = "A different file of the same name is on Archive";
        if (!cardOnly && isCovered(f.status)) {
            f.copies.push_back(
                {0, "Photos/2025-03-01/" + f.name, i % 3 ? EvidenceLevel::sampled : EvidenceLevel::verified});
            if (i % 2 == 0) f.copies.push_back({1, "Card backups/" + f.relativePath, EvidenceLevel::sampled});
        }
        r.totals.add(f);
        r.files.push_back(std::move(f));
    }
    // One shoot per day and folder, as the check groups them.
    for (const FileResult& f : r.files) {
        auto g = std::find_if(r.groups.begin(), r.groups.end(), [&](const ShootGroup& s) {
            return s.folder == f.folder && s.day == f.day && s.camera == f.camera;
        });
        if (g == r.groups.end()) {
            r.groups.emplace_back();
            g = r.groups.end() - 1;
            g->folder = f.folder;
            g->day = f.day;
            g->camera = f.camera;
        }
        g->fileIDs.push_back(f.id);
        ++g->kinds[f.kind];
    }
    return r;
}

// The browser's files under names a card can carry: 120 characters and more (some without a
// space), markup that must stay text, scripts read right to left and ones with stacked marks, long
// folders and a long backup name; a card folder in Arabic, a backup and its folders in Hebrew.
// Every script is one the pictures' fixed font draws.
VerifyReport longNamesFixture() {
    VerifyReport r = browserFixture(false);
    r.destinations.front().name = "Archive of the wedding season with a rather long drive name";
    r.destinations.back().name = "גיבוי הנסיעות";
    const std::string names[] = {
        "2025-03-01_Hochzeit_Müller–Schmidt_Standesamt_Charlottenburg_Ringübergabe_und_Sektempfang_im_"
        "Hof_0001.JPG",
        "<b>bold</b> & <i>italic</i> stay plain text &amp; so does this &lt;entity&gt; in a file name of "
        "a hundred and twenty_0002.JPG",
        "Γάμος στη Σαντορίνη, ηλιοβασίλεμα πάνω από την καλντέρα, οι καλεσμένοι στο μπαλκόνι με θέα τη "
        "θάλασσα_0003.JPG",
        "صورة من حفل الزفاف في المدينة القديمة، الرقص تحت الأضواء والعائلة مجتمعة حول الطاولة الطويلة في "
        "الحديقة_0004.JPG",
        "Свадьба_в_Санкт-Петербурге_летом,_разводные_мосты_над_Невой_и_белые_ночи,_прогулка_по_"
        "набережной_0005.MP4",
        "Đám cưới ở Hội An, đèn lồng trên sông Thu Bồn và חתונה בירושלים ליד החומות העתיקות בשקיעה_0006.JPG",
    };
    const auto renamed = [](const std::string& folder) {
        return folder.empty()
                   ? std::string("صور الزفاف/اليوم الثاني")
                   : std::string("DCIM/100MSDCF/Ein sehr langer Ordnername für die Hochzeit im Frühling");
    };
    for (size_t i = 0; i < r.files.size(); ++i) {
        FileResult& f = r.files[i];
        f.name = names[i % std::size(names)];
        f.folder = renamed(f.folder);
        f.relativePath = f.folder + "/" + f.name;
        for (CopyRef& c : f.copies)
            c.relativePath =
                (c.destination == 0 ? "Photos/2025/2025-03-01 Hochzeit Müller–Schmidt/Ausgewählte Bilder/"
                                    : "צילומים/חתונה במרץ/") +
                f.name;
        // The Arabic folder's files were copied to the Hebrew backup first.
        if (f.folder.starts_with("صور")) std::reverse(f.copies.begin(), f.copies.end());
    }
    for (ShootGroup& g : r.groups) g.folder = renamed(g.folder);
    return r;
}

// The browser's files under the shortest names, in Latin and other scripts, in the camera folders
// cameras make, on backups of short names.
VerifyReport shortNamesFixture() {
    VerifyReport r = browserFixture(false);
    r.destinations.front().name = "B1";
    const char* names[] = {"A1", "ab.c", "Ω.JPG", "Фото", "צלם", "صورة", "x.y", "Z9"};
    // One camera folder a day, as the shoots have them.
    auto renamed = [](std::string& folder, const std::string& day) {
        if (!folder.empty()) folder = day == "2025-03-01" ? "DCIM/100CANON" : "DCIM/101EOSR5";
    };
    for (size_t i = 0; i < r.files.size(); ++i) {
        FileResult& f = r.files[i];
        f.name = names[i % std::size(names)];
        renamed(f.folder, f.day);
        f.relativePath = f.folder.empty() ? f.name : f.folder + "/" + f.name;
        for (CopyRef& c : f.copies) c.relativePath = f.name;
    }
    for (ShootGroup& g : r.groups) renamed(g.folder, g.day);
    return r;
}

// The browser's files as cameras name them, 40 photos "IMG_0700.JPG" and on, then 8 clips
// "MVI_0001.MP4" and on: names of one length, the clips' drawn wider, each with a copy.
VerifyReport cameraNamesFixture() {
    VerifyReport r = browserFixture(false);
    r.files.clear();
    r.groups.clear();
    r.totals = {};
    ShootGroup g;
    g.folder = "DCIM/100CANON";
    g.day = "2025-03-01";
    for (int i = 0; i < 48; ++i) {
        FileResult f;
        f.id = i;
        f.kind = i < 40 ? MediaKind::photo : MediaKind::video;
        f.name =
            i < 40 ? "IMG_0" + std::to_string(700 + i) + ".JPG" : "MVI_000" + std::to_string(i - 39) + ".MP4";
        f.folder = g.folder;
        f.relativePath = f.folder + "/" + f.name;
        f.size = 2'000'000 + i;
        f.inScope = true;
        f.day = g.day;
        f.status = FileStatus::verified;
        f.copies.push_back({0, "Photos/2025-03-01/" + f.name, EvidenceLevel::verified});
        r.totals.add(f);
        g.fileIDs.push_back(f.id);
        ++g.kinds[f.kind];
        r.files.push_back(std::move(f));
    }
    r.groups.push_back(std::move(g));
    return r;
}

// A card of a video camera and a stills camera as they name their files, copied whole into a
// folder of the backup: clips C0001.MP4 to C0003.MP4 with their sidecars C0001M01.XML to
// C0003M01.XML, which differ only in the clip's number, and clips MVI_0012.MOV and on.
VerifyReport sidecarsFixture() {
    VerifyReport r = cameraNamesFixture();
    r.files.clear();
    r.groups.clear();
    r.totals = {};
    std::vector<std::pair<std::string, std::string>> files;  // folder, name
    for (int clip = 1; clip <= 3; ++clip)
        for (const char* end : {".MP4", "M01.XML"})
            files.emplace_back("PRIVATE/M4ROOT/CLIP", "C000" + std::to_string(clip) + end);
    for (int clip = 12; clip < 18; ++clip)
        files.emplace_back("DCIM/100CANON", "MVI_00" + std::to_string(clip) + ".MOV");
    files.emplace_back("DCIM/100CANON",
                       "2025-03-01 Hochzeit Müller–Schmidt, Standesamt Charlottenburg_0001.JPG");
    for (const auto& [folder, name] : files) {
        FileResult f;
        f.id = int64_t(r.files.size());
        f.kind = name.ends_with(".XML") ? MediaKind::other : MediaKind::video;
        f.name = name;
        f.folder = folder;
        f.relativePath = folder + "/" + name;
        f.size = 80'000'000 + f.id;
        f.inScope = true;
        f.day = "2025-03-01";
        f.status = FileStatus::verified;
        f.copies.push_back(
            {0, "Card backups/2025-03-01 EOS_DIGITAL/" + f.relativePath, EvidenceLevel::verified});
        r.totals.add(f);
        if (r.groups.empty() || r.groups.back().folder != folder) {
            r.groups.emplace_back();
            r.groups.back().folder = folder;
            r.groups.back().day = f.day;
        }
        r.groups.back().fileIDs.push_back(f.id);
        ++r.groups.back().kinds[f.kind];
        r.files.push_back(std::move(f));
    }
    return r;
}

// Long names for a check: the card, its two backups, its two shoot folders, where the shoots landed
// on the backups and three cameras; `file`, when set, goes in front of every file's name.
struct LongNames {
    const char* card;
    const char* backups[2];
    const char* folders[2];
    const char* landed;
    const char* cameras[3];
    const char* file = nullptr;
};

// Sentences, as a user names things.
const LongNames spaced{"SONY A7IV of the Müller–Schmidt wedding, second card",
                       {"Archive of the wedding season with a rather long drive name",
                        "Travel SSD for the spring weddings abroad"},
                       {"DCIM/Hochzeit Müller–Schmidt, Standesamt Charlottenburg und Sektempfang im Hof",
                        "DCIM/Empfang am Abend im Restaurant am Wasser mit Reden und Tanz"},
                       "Photos/2024/Hochzeit Müller–Schmidt, ausgewählte Bilder für das Album",
                       {"ILCE-7M4 Alpha 7 IV, second body", "ILCE-7SM3 Alpha 7S III for the video",
                        "DSC-RX100M7 pocket camera of the best man"}};

// Names of 70 characters and more without a space, in Latin and other scripts: nowhere to wrap.
const LongNames unbroken{
    "SONY_A7IV_Müller-Schmidt_Hochzeit_Standesamt_Charlottenburg_zweite_Karte_2025",
    {"Αρχείο_γαμήλιας_σεζόν_2025_με_ένα_αρκετά_μακρύ_όνομα_δίσκου_χωρίς_κανένα_κενό",
     "Travel_SSD_for_the_spring_weddings_abroad_and_the_autumn_shoots_in_Portugal_2025"},
    {"DCIM/Свадьба_в_Санкт-Петербурге_летом_разводные_мосты_над_Невой_и_белые_ночи_2025",
     "DCIM/Empfang_am_Abend_im_Restaurant_am_Wasser_mit_Reden_Tanz_und_Feuerwerk_2025"},
    "Photos/2024/Hochzeit_Müller-Schmidt_ausgewählte_Bilder_für_das_Album_und_die_Familie",
    {"ILCE-7M4_Alpha_7_IV_second_body", "ILCE-7SM3_Alpha_7S_III_for_the_video",
     "DSC-RX100M7_pocket_camera_of_the_best_man"},
    "Hochzeit_Müller-Schmidt_Standesamt_Charlottenburg_Ringübergabe_und_Sektempfang_"};

// The same check under the longest names a card and its backups give: the card, the backups and
// the cameras named at length, shoot folders that are sentences (or words without end), landing
// folders deep below them.
void lengthen(VerifyReport& r, const LongNames& names = spaced) {
    r.source.name = names.card;
    for (size_t i = 0; i < r.destinations.size() && i < std::size(names.backups); ++i)
        r.destinations[i].name = names.backups[i];
    const std::pair<std::string, std::string> folders[] = {{"DCIM/100MSDCF", names.folders[0]},
                                                           {"DCIM/101MSDCF", names.folders[1]}};
    auto renamed = [&](std::string& path) {
        for (const auto& [from, to] : folders)
            if (path == from || path.rfind(from + "/", 0) == 0) path = to + path.substr(from.size());
    };
    const std::string landed = names.landed;
    auto landing = [&](std::string& path) {
        if (path.rfind("Photos/", 0) == 0) path = landed + path.substr(6);
    };
    for (FileResult& f : r.files) {
        renamed(f.folder);
        if (names.file) f.name = names.file + f.name;
        f.relativePath = f.folder.empty() ? f.name : f.folder + "/" + f.name;
        for (CopyRef& c : f.copies) landing(c.relativePath);
    }
    for (size_t i = 0; i < r.groups.size(); ++i) {
        ShootGroup& g = r.groups[i];
        renamed(g.folder);
        g.camera = names.cameras[i % std::size(names.cameras)];
        for (LandingRef& l : g.landings) landing(l.folder);
        for (int64_t id : g.fileIDs)
            if (size_t(id) < r.files.size()) r.files[size_t(id)].camera = g.camera;
    }
    for (FolderSummary& f : r.folders) {
        renamed(f.path);
        const size_t slash = f.path.find_last_of('/');
        f.name = slash == std::string::npos ? f.path : f.path.substr(slash + 1);
    }
    std::sort(r.folders.begin(), r.folders.end(),
              [](const FolderSummary& a, const FolderSummary& b) { return a.path < b.path; });
}

// A shoot of 1,234 photos on none of the backups, in a folder of its own on a day of its own.
void withManyMissing(VerifyReport& r) {
    ShootGroup g;
    g.folder = "DCIM/102MSDCF";
    g.day = "2024-04-17";
    g.camera = "ILCE-7M4";
    FolderSummary folder;
    folder.path = g.folder;
    folder.name = "102MSDCF";
    folder.depth = 2;
    folder.dayRange = DayRange{g.day, g.day};
    int64_t id = 0;
    for (const FileResult& f : r.files) id = std::max(id, f.id + 1);
    for (int i = 0; i < 1234; ++i) {
        FileResult f;
        f.id = id++;
        f.name = "DSC0" + std::to_string(5000 + i) + ".JPG";
        f.folder = g.folder;
        f.relativePath = f.folder + "/" + f.name;
        f.size = 12'000'000;
        f.kind = MediaKind::photo;
        f.inScope = true;
        f.day = g.day;
        f.camera = g.camera;
        f.status = FileStatus::missing;
        r.totals.add(f);
        folder.counts.add(f);
        for (FolderSummary& above : r.folders)
            if (above.path.empty() || above.path == "DCIM") above.counts.add(f);
        g.fileIDs.push_back(f.id);
        ++g.kinds[f.kind];
        ++g.formats["JPG"];
        r.files.push_back(std::move(f));
    }
    r.groups.push_back(std::move(g));
    r.folders.push_back(std::move(folder));
    std::sort(r.folders.begin(), r.folders.end(),
              [](const FolderSummary& a, const FolderSummary& b) { return a.path < b.path; });
    r.contents.front().files += 1234;
    r.contents.front().checked += 1234;
    r.contents.front().bytes += 1234 * int64_t(12'000'000);
}

// The same card shot with eight cameras of eight makers, each shoot split by camera: a format
// guide of eight steps and many shoots.
void byEightCameras(VerifyReport& r) {
    const char* cameras[] = {"ILCE-7M4", "Canon EOS R5", "NIKON Z 9", "X-T5",
                             "DC-GH6",   "HERO12 Black", "FC3582",    "OM-1"};
    std::vector<ShootGroup> groups;
    for (const ShootGroup& shoot : r.groups)
        for (size_t c = 0; c < std::size(cameras); ++c) {
            ShootGroup g = shoot;
            g.camera = cameras[c];
            g.fileIDs.clear();
            g.kinds.clear();
            g.formats.clear();
            g.counts = {};
            for (size_t k = c; k < shoot.fileIDs.size(); k += std::size(cameras)) {
                FileResult& f = r.files[size_t(shoot.fileIDs[k])];
                f.camera = g.camera;
                g.fileIDs.push_back(f.id);
                g.counts.add(f);
                ++g.kinds[f.kind];
                ++g.formats[f.name.substr(f.name.rfind('.') + 1)];
            }
            for (LandingRef& l : g.landings) l.files = int64_t(g.fileIDs.size());
            if (!g.fileIDs.empty()) groups.push_back(std::move(g));
        }
    r.groups = std::move(groups);
}

}  // namespace

TimeNs fixtureNow() { return TimeNs(1'767'000'000) * 1'000'000'000; }

VerifyReport savedCheck(const std::string& name, int64_t files, int64_t covered, bool cardOnly, bool ready,
                        TimeNs finishedAt) {
    VerifyReport r;
    r.source.name = name;
    r.source.path = r.source.volumePath = "/media/ana/" + name;
    r.source.isLikelyCameraCard = true;
    if (!cardOnly) {
        r.destinations.push_back(VolumeInfo{});
        r.destinations.back().name = "Archive 2025";
        r.destinations.back().path = r.destinations.back().volumePath = "/media/ana/Archive 2025";
    }
    r.totals.files = files;
    r.totals.verified = covered;
    r.totals.missing = files - covered;
    r.safeToFormat = ready;
    r.startedAt = finishedAt - 60'000'000'000;
    r.finishedAt = finishedAt;
    for (const auto& [day, camera] : {std::pair{"2025-03-01", "Z9"}, std::pair{"2025-03-04", "A7 IV"}}) {
        r.groups.emplace_back();
        r.groups.back().day = day;
        r.groups.back().camera = camera;
    }
    return r;
}

std::vector<VerifyReport> savedChecks(int count) {
    std::vector<VerifyReport> out;
    const TimeNs hour = TimeNs(3600) * 1'000'000'000;
    for (int i = 0; i < count; ++i) {
        const int kind = i % 4;
        const std::string name = i == 1 ? "<b>CARD</b> 2" : "CARD " + std::to_string(i + 1);
        const int64_t files = 100 + 37 * i;
        out.push_back(savedCheck(name, files, kind == 1 ? files - 12 : files, kind == 2, kind == 3,
                                 fixtureNow() - hour * (i * 7 + 2)));
        // Each its own card: a saved check replaces an older one of the same card.
        out.back().source.volumeID = "saved-" + std::to_string(i);
    }
    return out;
}

VerifyReport resultsFixture(const QString& name) {
    if (name == QLatin1String("browser") || name == QLatin1String("browser-card-only"))
        return browserFixture(name == QLatin1String("browser-card-only"));
    if (name == QLatin1String("browser-long-names")) return longNamesFixture();
    if (name == QLatin1String("browser-short-names")) return shortNamesFixture();
    if (name == QLatin1String("camera-names")) return cameraNamesFixture();
    if (name == QLatin1String("camera-sidecars")) return sidecarsFixture();
    if (name == QLatin1String("missing-many")) {
        VerifyReport r = resultsFixture(QStringLiteral("missing"));
        withManyMissing(r);
        return r;
    }
    if (name == QLatin1String("missing-deep")) {
        VerifyReport r = resultsFixture(QStringLiteral("missing-unbroken"));
        r.destinations.front().name = "SSD1";
        return r;
    }
    if (name == QLatin1String("safe-cameras")) {
        VerifyReport r = resultsFixture(QStringLiteral("safe"));
        byEightCameras(r);
        return r;
    }
    if (name.endsWith(QLatin1String("-long"))) {
        VerifyReport r = resultsFixture(name.chopped(5));
        lengthen(r);
        return r;
    }
    if (name.endsWith(QLatin1String("-unbroken"))) {
        VerifyReport r = resultsFixture(name.chopped(9));
        lengthen(r, unbroken);
        // One missing file's name is as long as the card's exFAT takes (255 characters) and longer
        // than a backup's 255 bytes: 492 bytes.
        for (FileResult& f : r.files) {
            if (f.status != FileStatus::missing) continue;
            f.name.clear();
            for (int i = 0; i < 33; ++i) f.name += "Свадьба";
            f.name += "Свадьб_Hochzeit_0001.ARW";
            f.relativePath = f.folder + "/" + f.name;
            break;
        }
        return r;
    }
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
        r.cardAccessTimes = CardAccessTimes::fuseReadWrite;
        r.problems.push_back(*r.accessTimesNote());
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
    const bool byteLevel =
        name == "safe" || name == "fuse-card" || name == "unreadable" || name == "unproven-copies";
    // The photos' copies on "Travel SSD" lie inside its file system's metadata: read whole, not
    // from the drive, so they count on one drive only.
    const bool unproven = name == "unproven-copies";
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
            f.safeDrives = byteLevel && name != "fuse-card" ? (unproven && s == 0 ? 1 : 2) : 0;
            if (isCovered(f.status)) {
                const EvidenceLevel e = f.status == FileStatus::verified && byteLevel
                                            ? EvidenceLevel::verified
                                            : EvidenceLevel::sampled;
                const std::string dir = std::string("Photos/") + sh.day + (s == 1 ? "/Clips" : "");
                f.copies.push_back({0, dir + "/" + f.name, e, false});
                if (unproven && s == 0)
                    f.copies.push_back({1, "Cards/" + f.relativePath, EvidenceLevel::sampled, false, "",
                                        MediumDoubt::inMetadata});
                else if (byteLevel)
                    f.copies.push_back({1, "Cards/" + f.relativePath, e, false});
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

}  // namespace halvetrop::stage

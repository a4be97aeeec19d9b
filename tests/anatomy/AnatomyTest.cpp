#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "anatomy/Anatomy.h"

using namespace halvetrop;

namespace {

constexpr MediaKind photo = MediaKind::photo;
constexpr MediaKind video = MediaKind::video;
constexpr MediaKind audio = MediaKind::audio;
constexpr MediaKind other = MediaKind::other;
constexpr FileRole media = FileRole::media;
constexpr FileRole sidecar = FileRole::sidecar;
constexpr FileRole proxy = FileRole::proxy;
constexpr FileRole thumbnail = FileRole::thumbnail;
constexpr FileRole cameraData = FileRole::cameraData;
constexpr FileRole junk = FileRole::junk;

std::set<std::string> sorted(const Anatomy::Table& table) {
    return std::set<std::string>(table.begin(), table.end());
}

std::string upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

struct Row {
    std::string path;
    FileClass expected;
};

void expectRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        const FileClass got = Anatomy::classify(row.path);
        EXPECT_EQ(got, row.expected)
            << row.path << ": got " << rawValue(got.kind) << "/" << rawValue(got.role)
            << (got.raw ? "/raw" : "") << ", want " << rawValue(row.expected.kind) << "/"
            << rawValue(row.expected.role) << (row.expected.raw ? "/raw" : "");
    }
}

}  // namespace

TEST(AnatomyTables, ExactContents) {
    const std::set<std::string> raw{"arw", "srf", "sr2", "cr2", "cr3", "crw", "nef", "nrw", "raf",
                                    "rw2", "orf", "ori", "pef", "dng", "srw", "x3f", "3fr", "fff",
                                    "iiq", "rwl", "mos", "mrw", "erf", "kdc", "dcr", "gpr"};
    EXPECT_EQ(sorted(Anatomy::rawPhoto()), raw);
    std::set<std::string> photos = raw;
    for (const char* e : {"jpg", "jpeg", "heic", "heif", "hif", "png", "tif", "tiff", "webp",
                          "avif", "jxl", "insp", "psd", "psb", "bmp", "gif", "hsp"}) {
        photos.insert(e);
    }
    EXPECT_EQ(photos.size(), 43u);
    EXPECT_EQ(sorted(Anatomy::photo()), photos);
    EXPECT_EQ(sorted(Anatomy::video()),
              (std::set<std::string>{"mp4", "mov",  "mxf", "mts",  "m2ts", "avi",  "mkv",
                                     "m4v", "3gp",  "r3d", "braw", "crm",  "insv", "360",
                                     "mpg", "mpeg", "mod", "tod",  "wmv",  "webm", "nev"}));
    EXPECT_EQ(sorted(Anatomy::audio()),
              (std::set<std::string>{"wav", "bwf", "mp3", "aac", "m4a", "flac", "aif", "aiff",
                                     "ogg", "opus", "wma", "caf"}));
    EXPECT_EQ(
        sorted(Anatomy::junkNames()),
        (std::set<std::string>{".ds_store", "thumbs.db", "desktop.ini", ".localized", ".apdisk",
                               "icon\r", ".volumeicon.icns", ".com.apple.timemachine.donotpresent",
                               ".metadata_never_index", "ehthumbs.db"}));
    EXPECT_EQ(sorted(Anatomy::junkDirs()),
              (std::set<std::string>{".fseventsd", ".spotlight-v100", ".trashes", ".temporaryitems",
                                     ".documentrevisions-v100", "system volume information",
                                     "$recycle.bin"}));
    EXPECT_EQ(sorted(Anatomy::cameraDataNames()),
              (std::set<std::string>{"mediapro.xml", "status.bin", "cueup.xml", "sonycard.ind",
                                     "index.bdm", "movieobj.bdm", "avin0001.bnp", "avin0001.int",
                                     "avin0001.inp"}));
    EXPECT_EQ(sorted(Anatomy::cameraDataDirs()),
              (std::set<std::string>{"avf_info", "canonmsc", "clipinf", "playlist", "pana_grp",
                                     "m4root"}));
    EXPECT_EQ(sorted(Anatomy::thumbnailDirs()),
              (std::set<std::string>{"thmbnl", "avchdtn", ".thumbnails"}));
}

TEST(AnatomyNames, Ext) {
    struct {
        const char* name;
        const char* ext;
    } rows[] = {
        {"archive.tar.GZ", "gz"},
        {"DSC0001.ARW", "arw"},
        {".hidden", ""},
        {".DS_Store", ""},
        {"file.", ""},
        {"noext", ""},
        {"", ""},
        {".", ""},
        {"a.b.", ""},
        {"..x", "x"},
        {"x.Jpeg", "jpeg"},
        {"Ünï.ÄRW", "ärw"},
    };
    for (const auto& row : rows) EXPECT_EQ(Anatomy::ext(row.name), row.ext) << row.name;
}

TEST(AnatomyNames, IsJunkLooksAtTheNameOnly) {
    struct {
        const char* name;
        bool junk;
    } rows[] = {
        {".DS_Store", true},
        {"._DSC0001.JPG", true},
        {"._", true},
        {"Thumbs.db", true},
        {"DESKTOP.INI", true},
        {"Icon\r", true},
        {"ICON\r", true},
        {"Icon", false},
        {"ehthumbs.db", true},
        {".com.apple.timemachine.donotpresent", true},
        {"_.DSC0001.JPG", false},
        {".Trashes", false},  // a folder name: only classify consults folders
        {"DSC0001.JPG", false},
        {"", false},
    };
    for (const auto& row : rows) EXPECT_EQ(Anatomy::isJunk(row.name), row.junk) << row.name;
}

TEST(AnatomyNames, IsRaw) {
    struct {
        const char* name;
        bool raw;
    } rows[] = {
        {"DSC0001.ARW", true}, {"DSC0001.JPG", false}, {"arw", false},       {".arw", false},
        {"A001.BRAW", false},  {"A001.R3D", false},    {"x.Cr3", true},      {"x.dng", true},
        {"x.gpr", true},       {"x.3FR", true},        {"x.arw.jpg", false}, {"x.jpg.arw", true},
    };
    for (const auto& row : rows) EXPECT_EQ(Anatomy::isRaw(row.name), row.raw) << row.name;
}

TEST(AnatomyClassify, ExamplesOfCardLayouts) {
    expectRows({
        {"", {other, junk}},
        {"/", {other, junk}},
        {"///", {other, junk}},
        {"/.DS_Store", {other, junk}},
        {"DCIM/100MSDCF/.DS_Store", {other, junk}},
        {"._DSC0001.JPG", {other, junk}},
        {"DCIM/100MSDCF/._DSC0001.ARW", {other, junk}},
        {"Icon\r", {other, junk}},
        {".Trashes/501/DCIM/100CANON/IMG_0001.CR3", {other, junk}},
        {"DCIM/System Volume Information/IndexerVolumeGuid", {other, junk}},
        {"SYSTEM VOLUME INFORMATION/WPSettings.dat", {other, junk}},
        {"a/b/.Spotlight-V100/Store-V2/x.MP4", {other, junk}},
        {"$RECYCLE.BIN/S-1-5/IMG.JPG", {other, junk}},
        {"DCIM/100CANON/IMG_0001.CR3", {photo, media, true}},
        {"DCIM/100CANON/IMG_0001.JPG", {photo, media, false}},
        {"DCIM/100CANON/IMG_0001.THM", {video, thumbnail}},
        {"PRIVATE/M4ROOT/CLIP/C0001.MP4", {video, media}},
        {"PRIVATE/M4ROOT/CLIP/C0001M01.XML", {video, sidecar}},
        {"PRIVATE/M4ROOT/MEDIAPRO.XML", {other, cameraData}},
        {"PRIVATE/M4ROOT/STATUS.BIN", {other, cameraData}},
        {"PRIVATE/M4ROOT/THMBNL/C0001T01.JPG", {photo, thumbnail}},
        {"PRIVATE/M4ROOT/SUB/C0001S03.MP4", {video, proxy}},
        {"DCIM/100GOPRO/GX010001.LRV", {video, proxy}},
        {"DCIM/100GOPRO/GX010001.MP4", {video, media}},
        {"PRIVATE/AVCHD/BDMV/STREAM/00000.MTS", {video, media}},
        {"PRIVATE/AVCHD/BDMV/INDEX.BDM", {other, cameraData}},
        {"PRIVATE/AVCHD/BDMV/CLIPINF/00000.CPI", {other, cameraData}},
        {"PRIVATE/AVCHD/AVCHDTN/THUMB.TDT", {video, thumbnail}},
        {"MISC/GIS.DAT", {other, cameraData}},
        {"MISC/IMG.JPG", {photo, media}},
        {"PRIVATE/XYZ/NOTES.TXT", {other, cameraData}},
        {"NOTES.TXT", {other, media}},
        {"PRIVATE/M4ROOT/CLIP/INDEX.XML", {other, cameraData}},
        {"CLIP/INDEX.XML", {other, media}},
        {"TAKE/T0001.XML", {video, sidecar}},
        {"TAKE/whatever.xml", {video, sidecar}},
        {"CONTENTS/CLIPS001/A001C001_220101AB_CANON.MXF", {video, media}},
        {"A001_C001.R3D", {video, media}},
        {"clip.BRAW", {video, media}},
        {"DCIM/100INSTA/IMG_001.INSP", {photo, media}},
        {"DCIM/100INSTA/VID_001.INSV", {video, media}},
        {"RECORD/ZOOM0001.WAV", {audio, media}},
    });
}

TEST(AnatomyClassify, CaseAndSeparatorsMakeNoDifference) {
    const std::vector<std::string> spellings{
        "DCIM/100CANON/IMG_0001.CR3",    "dcim/100canon/img_0001.cr3",
        "DCIM/100Canon/IMG_0001.Cr3",    "/DCIM/100CANON/IMG_0001.CR3",
        "DCIM//100CANON///IMG_0001.CR3", "DCIM/100CANON/IMG_0001.CR3/",
    };
    for (const std::string& path : spellings) {
        EXPECT_EQ(Anatomy::classify(path), (FileClass{photo, media, true})) << path;
    }
    expectRows({
        {"private/m4root/sub/c0001s03.mp4", {video, proxy}},
        {"Private/M4Root/Sub/C0001S03.Mp4", {video, proxy}},
        {"private/m4root/clip/c0001m01.xml", {video, sidecar}},
        {"Private/M4ROOT/Clip/C0001M01.Xml", {video, sidecar}},
        {"dcim/.ds_store", {other, junk}},
        {".TRASHES/x.jpg", {other, junk}},
        {"pRiVaTe/notes.txt", {other, cameraData}},
    });
}

TEST(AnatomyClassify, EveryMediaExtensionInAnyCase) {
    for (const std::string& e : sorted(Anatomy::photo())) {
        const bool raw = Anatomy::rawPhoto().count(e) != 0;
        EXPECT_EQ(Anatomy::classify("DCIM/100X/A." + e), (FileClass{photo, media, raw})) << e;
        EXPECT_EQ(Anatomy::classify("DCIM/100X/A." + upper(e)), (FileClass{photo, media, raw}))
            << e;
    }
    for (const std::string& e : sorted(Anatomy::video())) {
        EXPECT_EQ(Anatomy::classify("DCIM/100X/A." + upper(e)), (FileClass{video, media})) << e;
    }
    for (const std::string& e : sorted(Anatomy::audio())) {
        EXPECT_EQ(Anatomy::classify("A." + upper(e)), (FileClass{audio, media})) << e;
    }
    // Formats a camera RAW developer might confuse: video formats are never raw photos.
    EXPECT_EQ(Anatomy::classify("A001.BRAW"), (FileClass{video, media, false}));
    EXPECT_EQ(Anatomy::classify("A001.R3D"), (FileClass{video, media, false}));
}

TEST(AnatomyClassify, SidecarsProxiesAndThumbnails) {
    expectRows({
        {"DCIM/100CANON/IMG_0001.XMP", {photo, sidecar}},
        {"DCIM/100APPLE/IMG_0001.AAE", {photo, sidecar}},
        {"DCIM/100NIKON/DSC_0001.NDF", {photo, sidecar}},
        {"DCIM/DJI_001/DJI_0001.SRT", {video, sidecar}},
        {"CLIPS/A001.RMD", {video, sidecar}},
        {"clip.sidecar", {video, sidecar}},
        {"DCIM/100GOPRO/GL010001.LRF", {video, proxy}},
        {"misc/x.lrv", {video, proxy}},
        // A SUB folder counts only inside an M4ROOT tree and only for video files.
        {"SUB/C0001S03.MP4", {video, media}},
        {"PRIVATE/M4ROOT/SUB/C0001S03.XML", {other, cameraData}},
        {"PRIVATE/M4ROOT/SUB/C0001S03.JPG", {photo, media}},
        {"PRIVATE/M4ROOT/SUB/DEEP/C0001S03.MP4", {video, media}},
        {"X/M4ROOT/Y/SUB/C0001S03.MOV", {video, proxy}},
        // Thumbnails: photo files keep kind photo, everything else stands for a video.
        {"PRIVATE/M4ROOT/THMBNL/C0001T01.JPG", {photo, thumbnail}},
        {"PRIVATE/M4ROOT/THMBNL/C0001T01.BIN", {video, thumbnail}},
        {"DCIM/.thumbnails/abc.png", {photo, thumbnail}},
        {"X/.THUMBNAILS/Y/abc.dat", {video, thumbnail}},
        {"DCIM/100CANON/MVI_0001.thm", {video, thumbnail}},
        // A thumbnail test comes before proxies and sidecars.
        {"PRIVATE/M4ROOT/THMBNL/C0001.LRV", {video, thumbnail}},
        {"PRIVATE/M4ROOT/THMBNL/C0001.XMP", {video, thumbnail}},
        // ...and junk comes before everything.
        {".Trashes/PRIVATE/M4ROOT/THMBNL/C0001T01.JPG", {other, junk}},
        {"DCIM/100CANON/._IMG_0001.THM", {other, junk}},
    });
}

TEST(AnatomyClassify, ClipSidecarNeedsMAndTwoDigitsAtTheEndOfTheStem) {
    expectRows({
        {"PRIVATE/M4ROOT/CLIP/C0001M01.XML", {video, sidecar}},
        {"CLIP/C0001M99.xml", {video, sidecar}},
        {"CLIP/M00.XML", {video, sidecar}},
        {"CLIP/C0001M1.XML", {other, media}},
        {"CLIP/C0001M012.XML", {other, media}},
        {"CLIP/C0001X01.XML", {other, media}},
        {"CLIP/C0001M01A.XML", {other, media}},
        {"CLIP/C0001M01.XML.BAK", {other, media}},
        // Only the parent folder counts.
        {"CLIP/SUB/C0001M01.XML", {other, media}},
        {"CLIPS/C0001M01.XML", {other, media}},
        // Any decimal digit of Unicode is a digit, as the platform's patterns read \d.
        {"CLIP/C0001M\xD9\xA0\xD9\xA1.XML", {video, sidecar}},          // Arabic-Indic 0 1
        {"CLIP/C0001M\xEF\xBC\x90\xEF\xBC\x91.XML", {video, sidecar}},  // full-width 0 1
        {"CLIP/C0001M\xC2\xB2\xC2\xB3.XML", {other, media}},  // superscripts are no Nd digits
    });
}

TEST(AnatomyClassify, CameraDataByNameExtensionAndFolder) {
    for (const std::string& name : sorted(Anatomy::cameraDataNames())) {
        EXPECT_EQ(Anatomy::classify("X/" + upper(name)), (FileClass{other, cameraData})) << name;
    }
    for (const char* e :
         {"cpi", "mpl", "bdm", "bnp", "int", "inp", "ind", "ctg", "cif", "cpf", "sif", "mif"}) {
        EXPECT_EQ(Anatomy::classify(std::string("DCIM/A.") + e), (FileClass{other, cameraData}))
            << e;
    }
    for (const std::string& dir : sorted(Anatomy::cameraDataDirs())) {
        EXPECT_EQ(Anatomy::classify("A/" + upper(dir) + "/B/C.DAT"), (FileClass{other, cameraData}))
            << dir;
        EXPECT_EQ(Anatomy::classify("A/" + upper(dir) + "/C.MOV"), (FileClass{video, media}))
            << dir;
        EXPECT_EQ(Anatomy::classify(upper(dir) + "/C.WAV"), (FileClass{audio, media})) << dir;
        EXPECT_EQ(Anatomy::classify(upper(dir) + "/C.NEF"), (FileClass{photo, media, true})) << dir;
    }
    expectRows({
        // Camera-data names win over the media tables, and extensions over the folder rule.
        {"DCIM/CANONMSC/M0100.CTG", {other, cameraData}},
        {"PRIVATE/AVCHD/BDMV/PLAYLIST/00000.MPL", {other, cameraData}},
        // MISC counts only as the top folder; PRIVATE only for what nothing else claims.
        {"DCIM/MISC/GIS.DAT", {other, media}},
        {"MISC/SUB/GIS.DAT", {other, cameraData}},
        {"DCIM/PRIVATE/X.TXT", {other, media}},
        {"PRIVATE/X.JPG", {photo, media}},
        {"PRIVATE", {other, media}},
        {"PRIVATE/README", {other, cameraData}},
    });
}

TEST(AnatomyClassify, LinuxLitterFoldersAreJunk) {
    expectRows({
        {".Trash-1000/files/DSC0001.ARW", {other, junk}},
        {".Trash-1000/info/DSC0001.ARW.trashinfo", {other, junk}},
        {".TRASH-0/files/x.mp4", {other, junk}},
        {".Trash/x.jpg", {other, junk}},
        {"DCIM/.Trash-1000/x.jpg", {other, junk}},
        {"lost+found/#12345", {other, junk}},
        {"LOST+FOUND/#12345.JPG", {other, junk}},
        // Only those exact names; similar names are ordinary folders.
        {".Trashcan/x.jpg", {photo, media}},
        {".Trash1000/x.jpg", {photo, media}},
        {"lost+found2/x.jpg", {photo, media}},
        {"found/x.jpg", {photo, media}},
        // A file carrying the name is no folder.
        {".Trash-1000", {other, media}},
        {"lost+found", {other, media}},
    });
    for (const char* name : {".Trash", ".trash-1000", ".Trashes", "lost+found", "LOST+FOUND",
                             "System Volume Information", "$RECYCLE.BIN", ".fseventsd"}) {
        EXPECT_TRUE(Anatomy::isJunkDirectory(name)) << name;
    }
    for (const char* name : {"DCIM", ".Trashcan", "lost", "", ".trash_", "100MSDCF"}) {
        EXPECT_FALSE(Anatomy::isJunkDirectory(name)) << name;
    }
}

TEST(AnatomyClassify, UnicodeNames) {
    expectRows({
        {"DCIM/100ÄÖÜ/ÇÉ.JPG", {photo, media}},
        {"Fotos/Straße/Bild.ÀRW", {other, media}},
        {"PRİVATE/NOTES.TXT", {other, media}},  // dotted capital I lowers to i + U+0307
        {"ΦΩΤΟ/ΕΙΚΟΝΑ.CR2", {photo, media, true}},
        // The caller repairs names; anything else is still classified, never crashes.
        {"DCIM/\xFF\xFE.JPG", {photo, media}},
        {"DCIM/IMG\xC3.NEF", {photo, media, true}},
    });
    EXPECT_EQ(Anatomy::lower("ÄÖÜ ΣΑΣ İ"), "äöü σας i\xCC\x87");
}

TEST(AnatomyClassify, ConcurrentCallersAgree) {
    const std::vector<std::string> paths{"DCIM/100CANON/IMG_0001.CR3",
                                         "PRIVATE/M4ROOT/CLIP/C0001M01.XML",
                                         "PRIVATE/M4ROOT/SUB/C0001S03.MP4",
                                         "CLIP/C0001M\xD9\xA0\xD9\xA1.XML",
                                         ".Trash-1000/x",
                                         "Ä/Ö.JPG"};
    std::vector<FileClass> expected;
    for (const std::string& p : paths) expected.push_back(Anatomy::classify(p));
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                for (std::size_t i = 0; i < paths.size(); ++i) {
                    if (Anatomy::classify(paths[i]) != expected[i]) ++mismatches[t];
                }
            }
        });
    }
    for (std::thread& th : threads) th.join();
    for (int m : mismatches) EXPECT_EQ(m, 0);
}

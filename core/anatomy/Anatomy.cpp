#include "anatomy/Anatomy.h"

#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/parseerr.h>
#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <array>
#include <memory>
#include <stdexcept>
#include <vector>

#include "text/Utf8.h"

namespace halvetrop {

namespace {

bool contains(const Anatomy::Table& table, std::string_view text) {
    return table.find(text) != table.end();
}

// Searched in this order; a short list is cheaper to scan than to hash.
constexpr std::array<std::string_view, 12> cameraDataExtensions{
    "cpi", "mpl", "bdm", "bnp", "int", "inp", "ind", "ctg", "cif", "cpf", "sif", "mif"};

bool isCameraDataExtension(std::string_view ext) {
    for (std::string_view e : cameraDataExtensions) {
        if (e == ext) return true;
    }
    return false;
}

// The extension of an already lower-cased name.
std::string_view extOfLower(std::string_view lname) {
    const std::size_t dot = lname.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    return lname.substr(dot + 1);
}

bool isJunkDirectoryLower(std::string_view folder) {
    if (contains(Anatomy::junkDirs(), folder)) return true;
    // What Linux desktops (trash of a removable volume) and fsck leave on a card: never a
    // camera's medium, and its files would otherwise demand backups of deleted things.
    return folder == ".trash" || folder.starts_with(".trash-") || folder == "lost+found";
}

// A clip sidecar's stem ends in "m" and two digits (C0001M01). Compiled once; a RegexPattern is
// immutable and may be shared by threads, each search makes its own matcher.
bool endsWithClipSidecarMark(std::string_view stem) {
    static const std::unique_ptr<const icu::RegexPattern> pattern = [] {
        UParseError parseError{};
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexPattern> compiled(
            icu::RegexPattern::compile(icu::UnicodeString(u"m\\d\\d$"), 0, parseError, status));
        if (U_FAILURE(status) || !compiled) {
            throw std::logic_error("clip sidecar pattern does not compile");
        }
        return std::unique_ptr<const icu::RegexPattern>(compiled.release());
    }();
    const icu::UnicodeString input = icu::UnicodeString::fromUTF8(
        icu::StringPiece(stem.data(), static_cast<int32_t>(stem.size())));
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(input, status));
    if (U_FAILURE(status) || !matcher) return false;
    const bool found = matcher->find(status);
    return U_SUCCESS(status) && found;
}

Anatomy::Table makeTable(std::initializer_list<std::string_view> entries) {
    Anatomy::Table table;
    for (std::string_view e : entries) table.emplace(e);
    return table;
}

}  // namespace

const Anatomy::Table& Anatomy::rawPhoto() {
    static const Table table =
        makeTable({"arw", "srf", "sr2", "cr2", "cr3", "crw", "nef", "nrw", "raf",
                   "rw2", "orf", "ori", "pef", "dng", "srw", "x3f", "3fr", "fff",
                   "iiq", "rwl", "mos", "mrw", "erf", "kdc", "dcr", "gpr"});
    return table;
}

const Anatomy::Table& Anatomy::photo() {
    static const Table table = [] {
        Table t = rawPhoto();
        for (std::string_view e :
             {"jpg", "jpeg", "heic", "heif", "hif", "png", "tif", "tiff", "webp", "avif", "jxl",
              "insp", "psd", "psb", "bmp", "gif", "hsp"}) {
            t.emplace(e);
        }
        return t;
    }();
    return table;
}

const Anatomy::Table& Anatomy::video() {
    static const Table table =
        makeTable({"mp4", "mov",  "mxf", "mts", "m2ts", "avi", "mkv", "m4v", "3gp",  "r3d", "braw",
                   "crm", "insv", "360", "mpg", "mpeg", "mod", "tod", "wmv", "webm", "nev"});
    return table;
}

const Anatomy::Table& Anatomy::audio() {
    static const Table table = makeTable(
        {"wav", "bwf", "mp3", "aac", "m4a", "flac", "aif", "aiff", "ogg", "opus", "wma", "caf"});
    return table;
}

const Anatomy::Table& Anatomy::junkNames() {
    static const Table table =
        makeTable({".ds_store", "thumbs.db", "desktop.ini", ".localized", ".apdisk", "icon\r",
                   ".volumeicon.icns", ".com.apple.timemachine.donotpresent",
                   ".metadata_never_index", "ehthumbs.db"});
    return table;
}

const Anatomy::Table& Anatomy::junkDirs() {
    static const Table table =
        makeTable({".fseventsd", ".spotlight-v100", ".trashes", ".temporaryitems",
                   ".documentrevisions-v100", "system volume information", "$recycle.bin"});
    return table;
}

const Anatomy::Table& Anatomy::cameraDataNames() {
    static const Table table =
        makeTable({"mediapro.xml", "status.bin", "cueup.xml", "sonycard.ind", "index.bdm",
                   "movieobj.bdm", "avin0001.bnp", "avin0001.int", "avin0001.inp"});
    return table;
}

const Anatomy::Table& Anatomy::cameraDataDirs() {
    static const Table table =
        makeTable({"avf_info", "canonmsc", "clipinf", "playlist", "pana_grp", "m4root"});
    return table;
}

const Anatomy::Table& Anatomy::thumbnailDirs() {
    static const Table table = makeTable({"thmbnl", "avchdtn", ".thumbnails"});
    return table;
}

std::string Anatomy::lower(std::string_view text) {
    if (isAllAscii(text)) {
        std::string out(text);
        for (char& c : out) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return out;
    }
    // Callers hand over repaired text; repairing again keeps ICU away from ill-formed bytes.
    const std::string valid = repairUtf8(text);
    std::string out;
    out.reserve(valid.size());
    icu::StringByteSink<std::string> sink(&out);
    UErrorCode status = U_ZERO_ERROR;
    // The root locale: no Turkish or Lithuanian special casing, as the platform's plain
    // lower-casing does.
    icu::CaseMap::utf8ToLower("", 0,
                              icu::StringPiece(valid.data(), static_cast<int32_t>(valid.size())),
                              sink, nullptr, status);
    if (U_FAILURE(status)) return valid;
    return out;
}

std::string Anatomy::ext(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    return lower(name.substr(dot + 1));
}

bool Anatomy::isJunk(std::string_view name) {
    return name.starts_with("._") || contains(junkNames(), lower(name));
}

bool Anatomy::isJunkDirectory(std::string_view folderName) {
    return isJunkDirectoryLower(lower(folderName));
}

bool Anatomy::isRaw(std::string_view name) { return contains(rawPhoto(), ext(name)); }

FileClass Anatomy::classify(std::string_view relativePath) {
    std::vector<std::string_view> components;
    std::size_t start = 0;
    while (start <= relativePath.size()) {
        std::size_t slash = relativePath.find('/', start);
        if (slash == std::string_view::npos) slash = relativePath.size();
        if (slash > start) components.push_back(relativePath.substr(start, slash - start));
        start = slash + 1;
    }
    if (components.empty()) return {MediaKind::other, FileRole::junk, false};

    const std::string_view name = components.back();
    const std::string lname = lower(name);
    std::vector<std::string> folders;
    folders.reserve(components.size() - 1);
    for (std::size_t i = 0; i + 1 < components.size(); ++i) folders.push_back(lower(components[i]));
    const std::string_view top = folders.empty() ? std::string_view{} : folders.front();
    const std::string_view parent = folders.empty() ? std::string_view{} : folders.back();
    auto anyFolder = [&folders](auto&& test) {
        for (const std::string& f : folders) {
            if (test(f)) return true;
        }
        return false;
    };

    const std::string_view ext = extOfLower(lname);
    const std::string_view stem =
        ext.empty() ? std::string_view(lname)
                    : std::string_view(lname).substr(0, lname.size() - ext.size() - 1);

    const bool isPhoto = contains(photo(), ext);
    const bool isVideo = contains(video(), ext);
    const bool isAudio = contains(audio(), ext);

    // 1. Litter of computers, never part of a check.
    if (name.starts_with("._") || contains(junkNames(), lname) ||
        anyFolder([](const std::string& f) { return isJunkDirectoryLower(f); })) {
        return {MediaKind::other, FileRole::junk, false};
    }
    // 2. Thumbnails: a .THM, or anything in a thumbnail folder that is not a photo, stands for a
    // video.
    if (ext == "thm" ||
        anyFolder([](const std::string& f) { return contains(thumbnailDirs(), f); })) {
        return {isPhoto ? MediaKind::photo : MediaKind::video, FileRole::thumbnail, false};
    }
    // 3. Proxies.
    if (ext == "lrv" || ext == "lrf" ||
        (parent == "sub" && isVideo &&
         anyFolder([](const std::string& f) { return f == "m4root"; }))) {
        return {MediaKind::video, FileRole::proxy, false};
    }
    // 4. Sidecars by extension.
    if (ext == "xmp" || ext == "aae" || ext == "ndf") {
        return {MediaKind::photo, FileRole::sidecar, false};
    }
    if (ext == "srt" || ext == "rmd" || ext == "sidecar") {
        return {MediaKind::video, FileRole::sidecar, false};
    }
    // 5. Clip metadata written next to the clip.
    if (ext == "xml" && ((parent == "clip" && endsWithClipSidecarMark(stem)) || parent == "take")) {
        return {MediaKind::video, FileRole::sidecar, false};
    }
    // 6. The camera's database and index files; a medium inside such a folder is still a medium.
    if (contains(cameraDataNames(), lname) || isCameraDataExtension(ext) ||
        ((top == "misc" ||
          anyFolder([](const std::string& f) { return contains(cameraDataDirs(), f); })) &&
         !isPhoto && !isVideo && !isAudio)) {
        return {MediaKind::other, FileRole::cameraData, false};
    }
    // 7. The medium itself.
    if (isPhoto) return {MediaKind::photo, FileRole::media, contains(rawPhoto(), ext)};
    if (isVideo) return {MediaKind::video, FileRole::media, false};
    if (isAudio) return {MediaKind::audio, FileRole::media, false};
    // 8. Whatever else a camera keeps under PRIVATE is its own.
    if (top == "private") return {MediaKind::other, FileRole::cameraData, false};
    return {MediaKind::other, FileRole::media, false};
}

}  // namespace halvetrop

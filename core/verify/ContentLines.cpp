// The summary of what the card holds, one line per kind of content.
#include "verify/Verifier.h"

#include "anatomy/Anatomy.h"
#include "verify/Extension.h"

#include <algorithm>
#include <array>
#include <map>

namespace halvetrop {

namespace {

struct Bucket {
    Bucket(const char* label, const char* note) : label(label), note(note) {}
    const char* label;
    const char* note;
    int64_t files = 0;
    int64_t bytes = 0;
    int64_t checked = 0;
    std::map<std::string, int64_t> formats;
};

enum BucketIndex { raw, photo, video, audio, other, sidecar, proxy, thumb, camera, bucketCount };

// "lost+found couldn't be opened; no camera writes there.", naming at most three folders.
std::string unlistedSentence(const std::vector<std::string>& folders) {
    constexpr size_t named = 3;
    std::string text;
    const size_t shown = std::min(folders.size(), named);
    for (size_t i = 0; i < shown; ++i) {
        if (i > 0) text += i + 1 == shown && folders.size() <= named ? " and " : ", ";
        text += folders[i];
    }
    if (folders.size() > named) text += " and " + std::to_string(folders.size() - named) + " more";
    return text + " couldn't be opened; no camera writes there.";
}

}  // namespace

std::vector<ContentLine> Verifier::contentLines(const std::vector<FileResult>& files, JunkTally junk) const {
    std::array<Bucket, bucketCount> buckets{{
        {"RAW photos", ""},
        {"JPEG / HEIF photos", ""},
        {"Video clips", ""},
        {"Audio recordings", ""},
        {"Other files", ""},
        {"Sidecar files", "Metadata next to a shot (Sony clip XML, XMP). Optional — turn on in Settings."},
        {"Proxies", "Low-res copies the camera makes (LRV, LRF, Sony SUB). Not needed."},
        {"Thumbnails", "Preview images the camera makes (THM, THMBNL). Not needed."},
        {"Camera database files", "The camera's own bookkeeping (MEDIAPRO.XML, AVCHD index). Not needed."},
    }};

    for (const FileResult& f : files) {
        int b = -1;
        switch (f.role) {
            case FileRole::media:
                switch (f.kind) {
                    case MediaKind::photo: b = Anatomy::isRaw(f.name) ? raw : photo; break;
                    case MediaKind::video: b = video; break;
                    case MediaKind::audio: b = audio; break;
                    case MediaKind::other: b = other; break;
                }
                break;
            case FileRole::sidecar: b = sidecar; break;
            case FileRole::proxy: b = proxy; break;
            case FileRole::thumbnail: b = thumb; break;
            case FileRole::cameraData: b = camera; break;
            case FileRole::junk: break;
        }
        if (b < 0) continue;
        Bucket& bucket = buckets[static_cast<size_t>(b)];
        bucket.files += 1;
        bucket.bytes += f.size;
        if (f.inScope) bucket.checked += 1;
        bucket.formats[upperExtensionOf(f.name)] += 1;
    }

    std::vector<ContentLine> lines;
    const PhotoFormats formats = request.scope.photoFormats;
    for (size_t b = 0; b < buckets.size(); ++b) {
        const Bucket& bucket = buckets[b];
        if (bucket.files == 0) continue;
        ContentLine line;
        line.label = bucket.label;
        std::vector<std::pair<std::string, int64_t>> counted(bucket.formats.begin(), bucket.formats.end());
        // Most frequent first; equal counts keep the names' ascending order.
        std::stable_sort(counted.begin(), counted.end(),
                         [](const auto& a, const auto& c) { return a.second > c.second; });
        for (auto& [name, n] : counted) line.formats.push_back(name);
        line.files = bucket.files;
        line.bytes = bucket.bytes;
        line.checked = bucket.checked;
        line.note = bucket.note;
        if (b == photo && formats == PhotoFormats::rawOnly && bucket.checked < bucket.files)
            line.note = "JPEGs with a RAW twin aren't required (RAW only).";
        if (b == raw && formats == PhotoFormats::processedOnly && bucket.checked < bucket.files)
            line.note = "RAWs with a JPEG twin aren't required (JPEG only).";
        lines.push_back(std::move(line));
    }
    if (junk.files > 0 || !junk.unlistedFolders.empty()) {
        ContentLine line;
        line.label = "Hidden & system files";
        line.files = junk.files;
        line.bytes = junk.bytes;
        line.checked = 0;
        if (junk.files > 0) {
            line.formats = {"._*", ".DS_Store"};
            // Beside the Mac's and Windows' leftovers the tally holds Linux's: the trash folders
            // of its desktops and the file system's lost+found.
            line.note = "Left by computers (macOS, Windows, Linux) and disk checks, not by the camera. Never needed.";
        }
        if (!junk.unlistedFolders.empty()) {
            line.unlisted = junk.unlistedFolders;
            if (!line.note.empty()) line.note += ' ';
            line.note += unlistedSentence(junk.unlistedFolders);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace halvetrop

#include "report/StoredForm.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <unordered_set>

#include "report/JsonReader.h"
#include "report/JsonWriter.h"
#include "text/Utf8.h"

namespace halvetrop {

DecodingError::DecodingError(std::string keyPath, const std::string& problem)
    : std::runtime_error(keyPath.empty() ? problem : keyPath + ": " + problem),
      keyPath_(std::move(keyPath)) {}

// ---------------------------------------------------------------------------------------------
// Instants

namespace {

constexpr int64_t nanosPerSecond = 1'000'000'000;
// Seconds from 1970-01-01 to 2001-01-01, both UTC.
constexpr int64_t referenceOffset = 978'307'200;
// Whole seconds since 2001 that still fit 64-bit nanoseconds since 1970, with a second to spare
// for rounding.
constexpr double lowestStoredSeconds = -9'223'372'036.0 - referenceOffset + 1;
constexpr double highestStoredSeconds = 9'223'372'036.0 - referenceOffset - 1;

}  // namespace

double toStoredSeconds(TimeNs instant) {
    int64_t seconds = instant / nanosPerSecond;
    int64_t nanos = instant % nanosPerSecond;
    if (nanos < 0) {
        nanos += nanosPerSecond;
        seconds -= 1;
    }
    return static_cast<double>(seconds - referenceOffset) +
           static_cast<double>(nanos) / static_cast<double>(nanosPerSecond);
}

std::optional<TimeNs> fromStoredSeconds(double stored) {
    if (!std::isfinite(stored) || stored < lowestStoredSeconds || stored > highestStoredSeconds) {
        return std::nullopt;
    }
    double whole = std::floor(stored);
    // The double holds the time to about a tenth of a microsecond at present-day magnitudes, so
    // the microsecond is the finest unit that reads back the same on every round trip.
    auto micros = static_cast<int64_t>(std::llround((stored - whole) * 1e6));
    auto seconds = static_cast<int64_t>(whole);
    if (micros >= 1'000'000) {
        micros -= 1'000'000;
        seconds += 1;
    }
    return (seconds + referenceOffset) * nanosPerSecond + micros * 1000;
}

TimeNs storableInstant(TimeNs instant) {
    constexpr TimeNs nanosPerMicro = 1000;
    TimeNs rest = instant % nanosPerMicro;
    if (rest < 0) rest += nanosPerMicro;
    return instant - rest;
}

// ---------------------------------------------------------------------------------------------
// Writing

namespace stored {

using json::Writer;

// The bytes of a path beside its display form, under their own key, only when the display form
// is not the path itself.
void writeBytesIfOther(Writer& w, std::string_view key, std::string_view bytes, std::string_view display) {
    if (bytes.empty() || bytes == display) return;
    w.key(key);
    w.text(escapeIllFormed(bytes));
}

void write(Writer& w, const PhysicalDriveID& drive) {
    w.beginObject();
    w.key("raw");
    w.text(drive.raw);
    w.endObject();
}

void write(Writer& w, const VolumeInfo& v) {
    w.beginObject();
    w.key("path");
    w.text(v.path);
    w.key("volumePath");
    w.text(v.volumePath);
    w.key("name");
    w.text(v.name);
    w.key("drive");
    write(w, v.drive);
    w.key("fileSystem");
    w.text(v.fileSystem);
    w.key("isRemovable");
    w.boolean(v.isRemovable);
    w.key("isInternal");
    w.boolean(v.isInternal);
    w.key("isNetwork");
    w.boolean(v.isNetwork);
    w.key("isLikelyCameraCard");
    w.boolean(v.isLikelyCameraCard);
    w.key("isDiskImage");
    w.boolean(v.isDiskImage);
    if (v.volumeID) {
        w.key("volumeID");
        w.text(*v.volumeID);
    }
    w.key("totalBytes");
    w.integer(v.totalBytes);
    w.key("freeBytes");
    w.integer(v.freeBytes);
    if (v.maxFileSize) {
        w.key("maxFileSize");
        w.integer(*v.maxFileSize);
    }
    w.key("readsFromMedium");
    w.boolean(v.readsFromMedium);
    if (v.identitySource) {
        w.key("identitySource");
        w.text(*v.identitySource);
    }
    if (v.deviceNumber) {
        w.key("deviceNumber");
        w.text(*v.deviceNumber);
    }
    if (v.mountID) {
        w.key("mountID");
        w.integer(*v.mountID);
    }
    if (v.mountRoot) {
        w.key("mountRoot");
        w.text(*v.mountRoot);
    }
    // The paths above are written as text; a mount point whose name is not UTF-8 keeps its bytes.
    if (!isValidUtf8(v.path)) writeBytesIfOther(w, "rawPath", v.path, {});
    if (!isValidUtf8(v.volumePath)) writeBytesIfOther(w, "rawVolumePath", v.volumePath, {});
    if (v.mountRoot && !isValidUtf8(*v.mountRoot)) writeBytesIfOther(w, "rawMountRoot", *v.mountRoot, {});
    w.endObject();
}

void write(Writer& w, const VerifyScope& scope) {
    w.beginObject();
    w.key("kinds");
    w.beginArray();
    for (MediaKind kind : scope.kinds) w.text(rawValue(kind));
    w.endArray();
    w.key("includeSidecars");
    w.boolean(scope.includeSidecars);
    w.key("includeProxies");
    w.boolean(scope.includeProxies);
    w.key("includeCameraData");
    w.boolean(scope.includeCameraData);
    w.key("photoFormats");
    w.text(rawValue(scope.photoFormats));
    w.endObject();
}

// A record of texts alone, in the order given.
void writeTexts(Writer& w, std::initializer_list<std::pair<std::string_view, std::string_view>> fields) {
    w.beginObject();
    for (const auto& [key, value] : fields) {
        w.key(key);
        w.text(value);
    }
    w.endObject();
}

void write(Writer& w, const CameraProfile& camera) { writeTexts(w, {{"id", camera.id}, {"name", camera.name}}); }

void write(Writer& w, const CaptureInfo& c) {
    w.beginObject();
    if (c.date) {
        w.key("date");
        w.number(toStoredSeconds(*c.date));
    }
    if (c.wallClock) {
        w.key("wallClock");
        w.text(*c.wallClock);
    }
    if (c.model) {
        w.key("model");
        w.text(*c.model);
    }
    if (c.serial) {
        w.key("serial");
        w.text(*c.serial);
    }
    if (c.uniqueID) {
        w.key("uniqueID");
        w.text(*c.uniqueID);
    }
    w.key("source");
    w.text(rawValue(c.source));
    w.endObject();
}

void write(Writer& w, const CopyRef& ref) {
    w.beginObject();
    w.key("destination");
    w.integer(ref.destination);
    w.key("relativePath");
    w.text(ref.relativePath);
    w.key("evidence");
    w.integer(rawValue(ref.evidence));
    w.key("renamed");
    w.boolean(ref.renamed);
    writeBytesIfOther(w, "rawRelativePath", ref.rawRelativePath, ref.relativePath);
    if (ref.doubt) {
        w.key("doubt");
        w.text(rawValue(*ref.doubt));
    }
    w.endObject();
}

void write(Writer& w, const FileResult& f) {
    w.beginObject();
    w.key("id");
    w.integer(f.id);
    w.key("relativePath");
    w.text(f.relativePath);
    w.key("name");
    w.text(f.name);
    w.key("folder");
    w.text(f.folder);
    w.key("size");
    w.integer(f.size);
    w.key("modified");
    w.number(toStoredSeconds(f.modified));
    w.key("kind");
    w.text(rawValue(f.kind));
    w.key("role");
    w.text(rawValue(f.role));
    w.key("inScope");
    w.boolean(f.inScope);
    if (f.capture) {
        w.key("capture");
        write(w, *f.capture);
    }
    w.key("day");
    w.text(f.day);
    w.key("camera");
    w.text(f.camera);
    w.key("status");
    w.text(rawValue(f.status));
    if (f.detail) {
        w.key("detail");
        w.text(*f.detail);
    }
    w.key("copies");
    w.beginArray();
    for (const CopyRef& ref : f.copies) write(w, ref);
    w.endArray();
    w.key("safeDrives");
    w.integer(f.safeDrives);
    writeBytesIfOther(w, "rawRelativePath", f.rawRelativePath, f.relativePath);
    if (f.changeTime != 0) {
        w.key("changeTime");
        w.number(toStoredSeconds(f.changeTime));
    }
    if (f.cardDoubt) {
        w.key("cardDoubt");
        w.text(rawValue(*f.cardDoubt));
    }
    w.endObject();
}

void write(Writer& w, const StatusCounts& c) {
    w.beginObject();
    w.key("files");
    w.integer(c.files);
    w.key("bytes");
    w.integer(c.bytes);
    w.key("verified");
    w.integer(c.verified);
    w.key("backedUp");
    w.integer(c.backedUp);
    w.key("likely");
    w.integer(c.likely);
    w.key("conflict");
    w.integer(c.conflict);
    w.key("missing");
    w.integer(c.missing);
    w.key("problem");
    w.integer(c.problem);
    w.key("missingBytes");
    w.integer(c.missingBytes);
    // Optional: a report without such files is stored as before.
    if (c.changed != 0) {
        w.key("changed");
        w.integer(c.changed);
    }
    w.endObject();
}

void write(Writer& w, const LandingRef& l) {
    w.beginObject();
    w.key("destination");
    w.integer(l.destination);
    w.key("folder");
    w.text(l.folder);
    w.key("files");
    w.integer(l.files);
    writeBytesIfOther(w, "rawFolder", l.rawFolder, l.folder);
    w.endObject();
}

void write(Writer& w, const ShootGroup& g) {
    w.beginObject();
    w.key("folder");
    w.text(g.folder);
    w.key("day");
    w.text(g.day);
    w.key("camera");
    w.text(g.camera);
    w.key("fileIDs");
    w.beginArray();
    for (int64_t id : g.fileIDs) w.integer(id);
    w.endArray();
    w.key("counts");
    write(w, g.counts);
    w.key("kinds");
    w.beginArray();
    for (const auto& [kind, count] : g.kinds) {
        w.text(rawValue(kind));
        w.integer(count);
    }
    w.endArray();
    w.key("formats");
    w.beginObject();
    for (const auto& [format, count] : g.formats) {
        w.textKey(format);
        w.integer(count);
    }
    w.endObject();
    w.key("landings");
    w.beginArray();
    for (const LandingRef& l : g.landings) write(w, l);
    w.endArray();
    w.key("scattered");
    w.boolean(g.scattered);
    writeBytesIfOther(w, "rawFolder", g.rawFolder, g.folder);
    w.endObject();
}

void write(Writer& w, const FolderSummary& f) {
    w.beginObject();
    w.key("path");
    w.text(f.path);
    w.key("name");
    w.text(f.name);
    w.key("depth");
    w.integer(f.depth);
    w.key("counts");
    write(w, f.counts);
    if (f.dayRange) {
        w.key("dayRange");
        w.beginArray();
        w.text(f.dayRange->lower);
        w.text(f.dayRange->upper);
        w.endArray();
    }
    writeBytesIfOther(w, "rawPath", f.rawPath, f.path);
    w.endObject();
}

void write(Writer& w, const ContentLine& l) {
    w.beginObject();
    w.key("label");
    w.text(l.label);
    w.key("formats");
    w.beginArray();
    for (const std::string& format : l.formats) w.text(format);
    w.endArray();
    w.key("files");
    w.integer(l.files);
    w.key("bytes");
    w.integer(l.bytes);
    w.key("checked");
    w.integer(l.checked);
    w.key("note");
    w.text(l.note);
    // Left out when there are none, so the stored form of a card read whole is as it was.
    if (!l.unlisted.empty()) {
        w.key("unlisted");
        w.beginArray();
        for (const std::string& folder : l.unlisted) w.text(folder);
        w.endArray();
    }
    w.endObject();
}

void write(Writer& w, const UnreadableEntry& e) { writeTexts(w, {{"path", e.path}, {"reason", e.reason}}); }

template <class T>
void writeList(Writer& w, const std::vector<T>& items) {
    w.beginArray();
    for (const T& item : items) write(w, item);
    w.endArray();
}

void write(Writer& w, const VerifyReport& r) {
    w.beginObject();
    w.key("source");
    write(w, r.source);
    w.key("destinations");
    writeList(w, r.destinations);
    w.key("scope");
    write(w, r.scope);
    w.key("level");
    w.text(rawValue(r.level));
    w.key("requiredCopies");
    w.integer(r.requiredCopies);
    w.key("cameras");
    writeList(w, r.cameras);
    w.key("files");
    writeList(w, r.files);
    w.key("groups");
    writeList(w, r.groups);
    w.key("folders");
    writeList(w, r.folders);
    w.key("totals");
    write(w, r.totals);
    w.key("safeToFormat");
    w.boolean(r.safeToFormat);
    w.key("safeFiles");
    w.integer(r.safeFiles);
    w.key("outOfScope");
    w.integer(r.outOfScope);
    w.key("problems");
    w.beginArray();
    for (const std::string& problem : r.problems) w.text(problem);
    w.endArray();
    w.key("contents");
    writeList(w, r.contents);
    w.key("startedAt");
    w.number(toStoredSeconds(r.startedAt));
    w.key("finishedAt");
    w.number(toStoredSeconds(r.finishedAt));
    w.key("cardUnreadable");
    w.integer(r.cardUnreadable);
    // Left out when there are none, so the stored form of a card read whole is as it was.
    if (!r.cardUnreadableEntries.empty()) {
        w.key("cardUnreadableEntries");
        writeList(w, r.cardUnreadableEntries);
    }
    // Left out when kept, as in reports stored before it was.
    if (r.cardAccessTimes != CardAccessTimes::kept) {
        w.key("cardAccessTimes");
        w.text(rawValue(r.cardAccessTimes));
    }
    w.endObject();
}

// ---------------------------------------------------------------------------------------------
// Reading

using json::Child;
using json::Frame;
using json::ListFrame;
using json::Reader;
using json::RecordFrame;
using json::RecordListFrame;
using json::ScalarListFrame;
using json::Value;

namespace {

template <size_t N>
constexpr uint32_t optionalBits(const std::array<int, N>& fields) {
    uint32_t bits = 0;
    for (int f : fields) bits |= uint32_t{1} << f;
    return bits;
}

const auto readText = [](Reader& r, Value& v) { return r.text(v); };

// The value of a raw... key: the bytes its escaped text stands for; null, like no key, gives none.
std::string pathBytes(Reader& r, Value& v) {
    if (v.type == Value::Type::null) return {};
    std::optional<std::string> bytes = unescapeIllFormed(r.text(v));
    if (!bytes) r.fail("a \"%\" must be followed by two hexadecimal digits");
    if (bytes->find('\0') != std::string::npos) r.fail("a path holds no NUL byte");
    return std::move(*bytes);
}

// Bytes stored beside a display form must show as it, or the file shown would not be the file
// opened. Bytes equal to the display form are not kept: an empty field means the display form
// is the path, as when the key is absent.
void settleBytes(Reader& r, std::string_view key, std::string& bytes, const std::string& display) {
    if (bytes.empty()) return;
    if (repairUtf8(bytes) != display) r.failInClosing(key, "the bytes are not those of the path shown");
    if (bytes == display) bytes.clear();
}
const auto readInteger = [](Reader& r, Value& v) { return r.integer(v); };

class DriveFrame final : public RecordFrame {
public:
    static constexpr std::string_view keys[] = {"raw"};
    explicit DriveFrame(PhysicalDriveID& out) : RecordFrame(keys, 1, 0), out_(out) {}

protected:
    Child field(Reader& r, int, Value& v) override {
        out_.raw = r.text(v);
        return nullptr;
    }

private:
    PhysicalDriveID& out_;
};

class VolumeFrame final : public RecordFrame {
public:
    static constexpr std::string_view keys[] = {
        "path",      "volumePath",         "name",        "drive",    "fileSystem",
        "isRemovable", "isInternal",       "isNetwork",   "isLikelyCameraCard",
        "isDiskImage", "volumeID",         "totalBytes",  "freeBytes", "maxFileSize",
        "readsFromMedium", "rawPath",      "rawVolumePath", "identitySource", "deviceNumber",
        "mountID",     "mountRoot",        "rawMountRoot"};
    // Reports written before volumes said whether they read from the medium read as if they do.
    explicit VolumeFrame(VolumeInfo& out)
        : RecordFrame(keys, 22, optionalBits(std::array{10, 13, 14, 15, 16, 17, 18, 19, 20, 21})), out_(out) {
        out_.readsFromMedium = true;
    }

protected:
    Child field(Reader& r, int f, Value& v) override {
        switch (f) {
            case 0: out_.path = r.text(v); break;
            case 1: out_.volumePath = r.text(v); break;
            case 2: out_.name = r.text(v); break;
            case 3: r.expectObject(v); return std::make_unique<DriveFrame>(out_.drive);
            case 4: out_.fileSystem = r.text(v); break;
            case 5: out_.isRemovable = r.boolean(v); break;
            case 6: out_.isInternal = r.boolean(v); break;
            case 7: out_.isNetwork = r.boolean(v); break;
            case 8: out_.isLikelyCameraCard = r.boolean(v); break;
            case 9: out_.isDiskImage = r.boolean(v); break;
            case 10: out_.volumeID = r.optionalText(v); break;
            case 11: out_.totalBytes = r.integer(v); break;
            case 12: out_.freeBytes = r.integer(v); break;
            case 13:
                if (v.type == Value::Type::null) {
                    out_.maxFileSize.reset();
                } else {
                    out_.maxFileSize = r.integer(v);
                }
                break;
            case 14: out_.readsFromMedium = r.boolean(v); break;
            case 15: rawPath_ = pathBytes(r, v); break;
            case 16: rawVolumePath_ = pathBytes(r, v); break;
            case 17: out_.identitySource = r.optionalText(v); break;
            case 18: out_.deviceNumber = r.optionalText(v); break;
            case 19:
                if (v.type == Value::Type::null) {
                    out_.mountID.reset();
                } else {
                    out_.mountID = r.integer(v);
                }
                break;
            case 20: out_.mountRoot = r.optionalText(v); break;
            case 21: rawMountRoot_ = pathBytes(r, v); break;
        }
        return nullptr;
    }

    // A volume's paths are bytes in memory; the text keys hold them only when they are UTF-8.
    void finish(Reader& r) override {
        settleBytes(r, keys[15], rawPath_, out_.path);
        settleBytes(r, keys[16], rawVolumePath_, out_.volumePath);
        if (!rawPath_.empty()) out_.path = std::move(rawPath_);
        if (!rawVolumePath_.empty()) out_.volumePath = std::move(rawVolumePath_);
        if (!rawMountRoot_.empty()) {
            if (!out_.mountRoot) r.failInClosing(keys[20], "the bytes of a mount root have no root shown");
            settleBytes(r, keys[21], rawMountRoot_, *out_.mountRoot);
            if (!rawMountRoot_.empty()) out_.mountRoot = std::move(rawMountRoot_);
        }
    }

private:
    VolumeInfo& out_;
    std::string rawPath_;
    std::string rawVolumePath_;
    std::string rawMountRoot_;
};

class KindSetFrame final : public ListFrame {
public:
    explicit KindSetFrame(std::set<MediaKind>& out) : out_(out) { out_.clear(); }

protected:
    Child element(Reader& r, size_t, Value& v) override {
        out_.insert(r.enumeration<MediaKind>(v, "media kind"));
        return nullptr;
    }

private:
    std::set<MediaKind>& out_;
};

class ScopeFrame final : public RecordFrame {
public:
    static constexpr std::string_view keys[] = {"kinds", "includeSidecars", "includeProxies",
                                                "includeCameraData", "photoFormats"};
    explicit ScopeFrame(VerifyScope& out) : RecordFrame(keys, 5, 0), out_(out) {}

protected:
    Child field(Reader& r, int f, Value& v) override {
        switch (f) {
            case 0: r.expectArray(v); return std::make_unique<KindSetFrame>(out_.kinds);
            case 1: out_.includeSidecars = r.boolean(v); break;
            case 2: out_.includeProxies = r.boolean(v); break;
            case 3: out_.includeCameraData = r.boolean(v); break;
            case 4: out_.photoFormats = r.enumeration<PhotoFormats>(v, "photo format choice"); break;
        }
        return nullptr;
    }

private:
    VerifyScope& out_;
};

// A record of two required texts, read into members `First` and `Second` of T under `Keys`.
template <class T, std::string T::*First, std::string T::*Second, const std::string_view* Keys>
class TextPairFrame final : public RecordFrame {
public:
    explicit TextPairFrame(T& out) : RecordFrame(Keys, 2, 0), out_(out) {}

protected:
    Child field(Reader& r, int f, Value& v) override {
        out_.*(f == 0 ? First : Second) = r.text(v);
        return nullptr;
    }

private:
    T& out_;
};

constexpr std::string_view cameraKeys[] = {"id", "name"};
using CameraFrame = TextPairFrame<CameraProfile, &CameraProfile::id, &CameraProfile::name, cameraKeys>;
constexpr std::string_view unreadableKeys[] = {"path", "reason"};
using UnreadableFrame =
    TextPairFrame<UnreadableEntry, &UnreadableEntry::path, &UnreadableEntry::reason, unreadableKeys>;

class CaptureFrame final : public RecordFrame {
public:
    static constexpr std::string_view keys[] = {"date",   "wallClock", "model",
                                                "serial", "uniqueID",  "source"};
    explicit CaptureFrame(CaptureInfo& out)
        : RecordFrame(keys, 6, optionalBits(std::array{0, 1, 2, 3, 4})), out_(out) {}

protected:
    Child field(Reader& r, int f, Value& v) override {
        switch (f) {
            case 0:
                if (v.type == Value::Type::null) {
                    out_.date.reset();
                } else {
                    out_.date = r.instant(v);
                }
                break;
            case 1: out_.wallClock = r.optionalText(v); break;
            case 2: out_.model = r.optionalText(v); break;
            case 3: out_.serial = r.optionalText(v); break;
            case 4: out_.uniqueID = r.optionalText(v); break;
            case 5: out_.source = r.enumeration<DateSource>(v, "date source"); break;
        }
        return nullptr;
    }

private:
    CaptureInfo& out_;
};

// Why a read did not count; null or a missing key (reports stored before it was kept) is none.
std::optional<MediumDoubt> optionalDoubt(Reader& r, const Value& v) {
    if (v.type == Value::Type::null) return std::nullopt;
    return r.enumeration<MediumDoubt>(v, "medium doubt");
}

class CopyFrame final : public RecordFrame {
public:
    static constexpr std::string_view keys[] = {"destination", "relativePath", "evidence",
                                                "renamed", "rawRelativePath", "doubt"};
    explicit CopyFrame(CopyRef& out) : RecordFrame(keys, 6, optionalBits(std::array{4, 5})), out_(out) {}

protected:
    Child field(Reader& r, int f, Value& v) override {
        switch (f) {
            case 0: out_.destination = r.integer(v); break;
            case 1: out_.relativePath = r.text(v); break;
            case 2: out_.evidence = r.evidence(v); break;
            case 3: out_.renamed = r.boolean(v); break;
            case 4: out_.rawRelativePath = pathBytes(r, v); break;
            case 5: out_.doubt = optionalDoubt(r, v); break;
        }
        return nullptr;
    }
    void finish(Reader& r) override { settleBytes(r, keys[4], out_.rawRelativePath, out_.relativePath); }

private:
    CopyRef& out_;
};

class FileFrame final : public RecordFrame {
public:
    static constexpr std::string_view keys[] = {
        "id",     "relativePath", "name",    "folder", "size",   "modified",
        "kind",   "role",         "inScope", "capture", "day",   "camera",
        "status", "detail",       "copies",  "safeDrives", "rawRelativePath", "changeTime", "cardDoubt"};
    explicit FileFrame(FileResult& out)
        : RecordFrame(keys, 19, optionalBits(std::array{9, 13, 16, 17, 18})), out_(out) {}

protected:
    Child field(Reader& r, int f, Value& v) override {
        switch (f) {
            case 0: out_.id = r.integer(v); break;
            case 1: out_.relativePath = r.text(v); break;
            case 2: out_.name = r.text(v); break;
            case 3: out_.folder = r.text(v); break;
            case 4: out_.size = r.integer(v); break;
            case 5: out_.modified = r.instant(v); break;
            case 6: out_.kind = r.enumeration<MediaKind>(v, "media kind"); break;
            case 7: out_.role = r.enumeration<FileRole>(v, "file role"); break;
            case 8: out_.inScope = r.boolean(v); break;
            case 9:
                if (v.type == Value::Type::null) {
                    out_.capture.reset();
                    break;
                }
                r.expectObject(v);
                out_.capture.emplace();
                return Child::borrowed(capture_.emplace(*out_.capture));
            case 10: out_.day = r.text(v); break;
            case 11: out_.camera = r.text(v); break;
            case 12: out_.status = r.enumeration<FileStatus>(v, "file status"); break;
            case 13: out_.detail = r.optionalText(v); break;
            case 14: r.expectArray(v); return Child::borrowed(copies_.emplace(out_.copies));
            case 15: out_.safeDrives = r.integer(v); break;
            case 16: out_.rawRelativePath = pathBytes(r, v); break;
            case 17: out_.changeTime = r.instant(v); break;
            case 18: out_.cardDoubt = optionalDoubt(r, v); break;
        }
        return nullptr;
    }
    void finish(Reader& r) override { settleBytes(r, keys[16], out_.rawRelativePath, out_.relativePath); }

private:
    FileResult& out_;
    // The frames of its capture and copies, made in place: a report holds many files.
    std::optional<CaptureFrame> capture_;
    std::optional<RecordListFrame<CopyRef, CopyFrame>> copies_;
};

class CountsFrame final : public RecordFrame {
public:
    static constexpr std::string_view keys[] = {"files",    "bytes",   "verified", "backedUp",
                                                "likely",   "conflict", "missing",  "problem",
                                                "missingBytes", "changed"};
    explicit CountsFrame(StatusCounts& out) : RecordFrame(keys, 10, optionalBits(std::array{9})), out_(out) {}

protected:
    Child field(Reader& r, int f, Value& v) override {
        int64_t* fields[] = {&out_.files,    &out_.bytes,    &out_.verified,
                             &out_.backedUp, &out_.likely,   &out_.conflict,
                             &out_.missing,  &out_.problem,  &out_.missingBytes,
                             &out_.changed};
        *fields[f] = r.integer(v);
        return nullptr;
    }

private:
    StatusCounts& out_;
};

class LandingFrame final : public RecordFrame {
public:
    static constexpr std::string_view keys[] = {"destination", "folder", "files", "rawFolder"};
    explicit LandingFrame(LandingRef& out) : RecordFrame(keys, 4, optionalBits(std::array{3})), out_(out) {}

protected:
    Child field(Reader& r, int f, Value& v) override {
        switch (f) {
            case 0: out_.destination = r.integer(v); break;
            case 1: out_.folder = r.text(v); break;
            case 2: out_.files = r.integer(v); break;
            case 3: out_.rawFolder = pathBytes(r, v); break;
        }
        return nullptr;
    }
    void finish(Reader& r) override { settleBytes(r, keys[3], out_.rawFolder, out_.folder); }

private:
    LandingRef& out_;
};

// The kinds of a shoot: a flat list alternating a kind's text and its count.
class KindCountsFrame final : public ListFrame {
public:
    explicit KindCountsFrame(std::map<MediaKind, int64_t>& out) : out_(out) { out_.clear(); }

    void end(Reader& r) override {
        if (count() % 2 != 0) r.failInClosing("", "the kind counts list has an odd number of elements");
    }

protected:
    Child element(Reader& r, size_t index, Value& v) override {
        if (index % 2 == 0) {
            pending_ = r.enumeration<MediaKind>(v, "media kind");
        } else {
            out_[pending_] = r.integer(v);
        }
        return nullptr;
    }

private:
    std::map<MediaKind, int64_t>& out_;
    MediaKind pending_ = MediaKind::other;
};

// The formats of a shoot: an object whose keys are format names.
class FormatCountsFrame final : public Frame {
public:
    explicit FormatCountsFrame(std::map<std::string, int64_t>& out) : out_(out) { out_.clear(); }
    void key(Reader&, std::string_view name) override { key_ = name; }
    Child value(Reader& r, Value& v) override {
        out_[key_] = r.integer(v);
        return nullptr;
    }
    void end(Reader&) override {}
    void appendPath(std::string& path) const override {
        if (!path.empty()) path += '.';
        path += key_;
    }

private:
    std::map<std::string, int64_t>& out_;
    std::string key_;
};

class ShootFrame final : public RecordFrame {
public:
    static constexpr std::string_view keys[] = {"folder",  "day",      "camera",    "fileIDs",  "counts",
                                                "kinds",   "formats",  "landings",  "scattered", "rawFolder"};
    // Shoots stored before folders were told apart by their bytes have no rawFolder.
    explicit ShootFrame(ShootGroup& out) : RecordFrame(keys, 10, optionalBits(std::array{9})), out_(out) {}

protected:
    Child field(Reader& r, int f, Value& v) override {
        switch (f) {
            case 0: out_.folder = r.text(v); break;
            case 1: out_.day = r.text(v); break;
            case 2: out_.camera = r.text(v); break;
            case 3:
                r.expectArray(v);
                return std::make_unique<ScalarListFrame<int64_t, decltype(readInteger)>>(
                    out_.fileIDs, readInteger);
            case 4: r.expectObject(v); return std::make_unique<CountsFrame>(out_.counts);
            case 5: r.expectArray(v); return std::make_unique<KindCountsFrame>(out_.kinds);
            case 6: r.expectObject(v); return std::make_unique<FormatCountsFrame>(out_.formats);
            case 7:
                r.expectArray(v);
                return std::make_unique<RecordListFrame<LandingRef, LandingFrame>>(out_.landings);
            case 8: out_.scattered = r.boolean(v); break;
            case 9: out_.rawFolder = pathBytes(r, v); break;
        }
        return nullptr;
    }
    void finish(Reader& r) override { settleBytes(r, keys[9], out_.rawFolder, out_.folder); }

private:
    ShootGroup& out_;
};

// A closed range of days: exactly two texts, lower first.
class DayRangeFrame final : public ListFrame {
public:
    explicit DayRangeFrame(DayRange& out) : out_(out) {}

    void end(Reader& r) override {
        if (count() != 2) r.failInClosing("", "a day range needs exactly two days");
        if (out_.upper < out_.lower) r.failInClosing("", "the day range ends before it starts");
    }

protected:
    Child element(Reader& r, size_t index, Value& v) override {
        if (index == 0) {
            out_.lower = r.text(v);
        } else if (index == 1) {
            out_.upper = r.text(v);
        } else {
            r.fail("a day range needs exactly two days");
        }
        return nullptr;
    }

private:
    DayRange& out_;
};

class FolderFrame final : public RecordFrame {
public:
    static constexpr std::string_view keys[] = {"path", "name", "depth", "counts", "dayRange", "rawPath"};
    explicit FolderFrame(FolderSummary& out)
        : RecordFrame(keys, 6, optionalBits(std::array{4, 5})), out_(out) {}

protected:
    Child field(Reader& r, int f, Value& v) override {
        switch (f) {
            case 0: out_.path = r.text(v); break;
            case 1: out_.name = r.text(v); break;
            case 2: out_.depth = r.integer(v); break;
            case 3: r.expectObject(v); return std::make_unique<CountsFrame>(out_.counts);
            case 4:
                if (v.type == Value::Type::null) {
                    out_.dayRange.reset();
                    break;
                }
                r.expectArray(v);
                out_.dayRange.emplace();
                return std::make_unique<DayRangeFrame>(*out_.dayRange);
            case 5: out_.rawPath = pathBytes(r, v); break;
        }
        return nullptr;
    }
    void finish(Reader& r) override { settleBytes(r, keys[5], out_.rawPath, out_.path); }

private:
    FolderSummary& out_;
};

class ContentFrame final : public RecordFrame {
public:
    static constexpr std::string_view keys[] = {"label",   "formats", "files",   "bytes",
                                                "checked", "note",    "unlisted"};
    // Lines stored before unlisted junk folders were named have none.
    explicit ContentFrame(ContentLine& out) : RecordFrame(keys, 7, optionalBits(std::array{6})), out_(out) {}

protected:
    Child field(Reader& r, int f, Value& v) override {
        switch (f) {
            case 0: out_.label = r.text(v); break;
            case 1:
                r.expectArray(v);
                return std::make_unique<ScalarListFrame<std::string, decltype(readText)>>(
                    out_.formats, readText);
            case 2: out_.files = r.integer(v); break;
            case 3: out_.bytes = r.integer(v); break;
            case 4: out_.checked = r.integer(v); break;
            case 5: out_.note = r.text(v); break;
            case 6:
                r.expectArray(v);
                return std::make_unique<ScalarListFrame<std::string, decltype(readText)>>(out_.unlisted, readText);
        }
        return nullptr;
    }

private:
    ContentLine& out_;
};

class ReportFrame final : public RecordFrame {
public:
    static constexpr std::string_view keys[] = {
        "source",    "destinations", "scope",      "level",      "requiredCopies", "cameras",
        "files",     "groups",       "folders",    "totals",     "safeToFormat",   "safeFiles",
        "outOfScope", "problems",    "contents",   "startedAt",  "finishedAt", "cardUnreadable",
        "cardUnreadableEntries", "cardAccessTimes"};
    // Reports stored before cardUnreadable was kept read as a card that was read whole; those
    // stored before its entries were kept have a count alone; those stored before its access
    // times were kept read as kept.
    explicit ReportFrame(VerifyReport& out)
        : RecordFrame(keys, 20, optionalBits(std::array{17, 18, 19})), out_(out) {}

protected:
    Child field(Reader& r, int f, Value& v) override {
        switch (f) {
            case 0: r.expectObject(v); return std::make_unique<VolumeFrame>(out_.source);
            case 1:
                r.expectArray(v);
                return std::make_unique<RecordListFrame<VolumeInfo, VolumeFrame>>(out_.destinations);
            case 2: r.expectObject(v); return std::make_unique<ScopeFrame>(out_.scope);
            case 3: out_.level = r.enumeration<CheckLevel>(v, "check level"); break;
            case 4: out_.requiredCopies = r.integer(v); break;
            case 5:
                r.expectArray(v);
                return std::make_unique<RecordListFrame<CameraProfile, CameraFrame>>(out_.cameras);
            case 6:
                r.expectArray(v);
                return std::make_unique<RecordListFrame<FileResult, FileFrame>>(out_.files);
            case 7:
                r.expectArray(v);
                return std::make_unique<RecordListFrame<ShootGroup, ShootFrame>>(out_.groups);
            case 8:
                r.expectArray(v);
                return std::make_unique<RecordListFrame<FolderSummary, FolderFrame>>(out_.folders);
            case 9: r.expectObject(v); return std::make_unique<CountsFrame>(out_.totals);
            case 10: out_.safeToFormat = r.boolean(v); break;
            case 11: out_.safeFiles = r.integer(v); break;
            case 12: out_.outOfScope = r.integer(v); break;
            case 13:
                r.expectArray(v);
                return std::make_unique<ScalarListFrame<std::string, decltype(readText)>>(
                    out_.problems, readText);
            case 14:
                r.expectArray(v);
                return std::make_unique<RecordListFrame<ContentLine, ContentFrame>>(out_.contents);
            case 15: out_.startedAt = r.instant(v); break;
            case 16: out_.finishedAt = r.instant(v); break;
            case 17: out_.cardUnreadable = r.integer(v); break;
            case 18:
                r.expectArray(v);
                return std::make_unique<RecordListFrame<UnreadableEntry, UnreadableFrame>>(
                    out_.cardUnreadableEntries);
            case 19: out_.cardAccessTimes = r.enumeration<CardAccessTimes>(v, "card access times"); break;
        }
        return nullptr;
    }

private:
    VerifyReport& out_;
};

std::string indexed(std::string_view list, size_t index) {
    return std::string(list) + "[" + std::to_string(index) + "]";
}

bool validDestination(int64_t destination, size_t count) {
    return destination >= 0 && static_cast<uint64_t>(destination) < count;
}

std::string destinationProblem(int64_t destination, size_t count) {
    return "refers to backup " + std::to_string(destination) + ", but the report has " +
           std::to_string(count) + (count == 1 ? " backup" : " backups");
}

// Readers index destinations and files by these numbers, so a stored report that breaks them
// is refused here rather than trusted later.
void checkCrossReferences(const VerifyReport& report) {
    const size_t backups = report.destinations.size();
    // Files are usually numbered by their position, and then need no table of their ids.
    const bool positions = std::all_of(report.files.begin(), report.files.end(), [&](const FileResult& f) {
        return f.id == &f - report.files.data();
    });
    std::unordered_set<int64_t> ids;
    if (!positions) ids.reserve(report.files.size());
    const auto named = [&](int64_t id) {
        return positions ? id >= 0 && static_cast<size_t>(id) < report.files.size() : ids.count(id) != 0;
    };
    for (size_t i = 0; i < report.files.size(); ++i) {
        const FileResult& file = report.files[i];
        if (!positions && !ids.insert(file.id).second) {
            throw DecodingError(indexed("files", i) + ".id",
                                "file id " + std::to_string(file.id) + " is used twice");
        }
        for (size_t c = 0; c < file.copies.size(); ++c) {
            if (!validDestination(file.copies[c].destination, backups)) {
                throw DecodingError(indexed(indexed("files", i) + ".copies", c) + ".destination",
                                    destinationProblem(file.copies[c].destination, backups));
            }
        }
    }
    for (size_t g = 0; g < report.groups.size(); ++g) {
        const ShootGroup& group = report.groups[g];
        for (size_t k = 0; k < group.fileIDs.size(); ++k) {
            if (!named(group.fileIDs[k])) {
                throw DecodingError(indexed(indexed("groups", g) + ".fileIDs", k),
                                    "file id " + std::to_string(group.fileIDs[k]) +
                                        " names no file of the report");
            }
        }
        for (size_t l = 0; l < group.landings.size(); ++l) {
            if (!validDestination(group.landings[l].destination, backups)) {
                throw DecodingError(
                    indexed(indexed("groups", g) + ".landings", l) + ".destination",
                    destinationProblem(group.landings[l].destination, backups));
            }
        }
    }
}

}  // namespace

template <class T, class TopFrame>
T decode(std::string_view json, size_t roomAfter = 0, size_t pieceBytes = storedPieceBytes) {
    T out{};
    Reader::read(json, std::make_unique<TopFrame>(out), roomAfter, pieceBytes);
    return out;
}

template <class T>
std::string encode(const T& value, size_t reserve) {
    std::string out;
    out.reserve(reserve);
    Writer w(out);
    write(w, value);
    return out;
}

}  // namespace stored

std::string toStoredJson(const VerifyReport& report) {
    // About half a kilobyte per file keeps the buffer from growing many times.
    return stored::encode(report, 4096 + report.files.size() * 512);
}
std::string toStoredJson(const FileResult& file) { return stored::encode(file, 512); }
std::string toStoredJson(const CopyRef& ref) { return stored::encode(ref, 128); }
std::string toStoredJson(const StatusCounts& counts) { return stored::encode(counts, 160); }
std::string toStoredJson(const LandingRef& landing) { return stored::encode(landing, 96); }
std::string toStoredJson(const ShootGroup& group) { return stored::encode(group, 512); }
std::string toStoredJson(const FolderSummary& folder) { return stored::encode(folder, 256); }
std::string toStoredJson(const ContentLine& line) { return stored::encode(line, 160); }
std::string toStoredJson(const VolumeInfo& volume) { return stored::encode(volume, 384); }
std::string toStoredJson(const PhysicalDriveID& drive) { return stored::encode(drive, 64); }
std::string toStoredJson(const VerifyScope& scope) { return stored::encode(scope, 160); }
std::string toStoredJson(const CameraProfile& camera) { return stored::encode(camera, 64); }
std::string toStoredJson(const CaptureInfo& capture) { return stored::encode(capture, 160); }

template <>
VerifyReport fromStoredJson<VerifyReport>(std::string_view json) {
    return reportFromStoredJson(json, 0);
}
VerifyReport reportFromStoredJson(std::string_view json, size_t roomAfter, size_t pieceBytes) {
    VerifyReport report = stored::decode<VerifyReport, stored::ReportFrame>(json, roomAfter, pieceBytes);
    stored::checkCrossReferences(report);
    return report;
}
template <>
FileResult fromStoredJson<FileResult>(std::string_view json) {
    return stored::decode<FileResult, stored::FileFrame>(json);
}
template <>
CopyRef fromStoredJson<CopyRef>(std::string_view json) {
    return stored::decode<CopyRef, stored::CopyFrame>(json);
}
template <>
StatusCounts fromStoredJson<StatusCounts>(std::string_view json) {
    return stored::decode<StatusCounts, stored::CountsFrame>(json);
}
template <>
LandingRef fromStoredJson<LandingRef>(std::string_view json) {
    return stored::decode<LandingRef, stored::LandingFrame>(json);
}
template <>
ShootGroup fromStoredJson<ShootGroup>(std::string_view json) {
    return stored::decode<ShootGroup, stored::ShootFrame>(json);
}
template <>
FolderSummary fromStoredJson<FolderSummary>(std::string_view json) {
    return stored::decode<FolderSummary, stored::FolderFrame>(json);
}
template <>
ContentLine fromStoredJson<ContentLine>(std::string_view json) {
    return stored::decode<ContentLine, stored::ContentFrame>(json);
}
template <>
VolumeInfo fromStoredJson<VolumeInfo>(std::string_view json) {
    return stored::decode<VolumeInfo, stored::VolumeFrame>(json);
}
template <>
PhysicalDriveID fromStoredJson<PhysicalDriveID>(std::string_view json) {
    return stored::decode<PhysicalDriveID, stored::DriveFrame>(json);
}
template <>
VerifyScope fromStoredJson<VerifyScope>(std::string_view json) {
    return stored::decode<VerifyScope, stored::ScopeFrame>(json);
}
template <>
CameraProfile fromStoredJson<CameraProfile>(std::string_view json) {
    return stored::decode<CameraProfile, stored::CameraFrame>(json);
}
template <>
CaptureInfo fromStoredJson<CaptureInfo>(std::string_view json) {
    return stored::decode<CaptureInfo, stored::CaptureFrame>(json);
}

}  // namespace halvetrop

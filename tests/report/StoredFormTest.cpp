#include "report/StoredForm.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iomanip>
#include <limits>
#include <map>
#include <set>

#include "report/JsonReader.h"
#include "report/PolicyJson.h"
#include "text/Utf8.h"

namespace halvetrop {
namespace {

using nlohmann::ordered_json;

constexpr TimeNs secondsSince2001(int64_t seconds, int64_t nanos = 0) {
    return (seconds + 978'307'200) * 1'000'000'000 + nanos;
}

// Hand-written stored forms, one per record, from the key lists of the stored form.
const std::string driveGolden = R"({"raw":"disk:sdb"})";
const std::string volumeGolden =
    R"({"path":"/media/ana/EOS_DIGITAL","volumePath":"/media/ana/EOS_DIGITAL","name":"EOS_DIGITAL",)"
    R"("drive":{"raw":"disk:sdb"},"fileSystem":"exfat","isRemovable":true,"isInternal":false,)"
    R"("isNetwork":false,"isLikelyCameraCard":true,"isDiskImage":false,"volumeID":"1234-ABCD",)"
    R"("totalBytes":63864569856,"freeBytes":1048576,"maxFileSize":9223372036854775807,)"
    R"("readsFromMedium":true})";
const std::string bareVolumeGolden =
    R"({"path":"/mnt/backup/Photos","volumePath":"/mnt/backup","name":"backup",)"
    R"("drive":{"raw":"vol:/mnt/backup"},"fileSystem":"ext4","isRemovable":false,"isInternal":true,)"
    R"("isNetwork":false,"isLikelyCameraCard":false,"isDiskImage":false,"totalBytes":0,"freeBytes":0,)"
    R"("readsFromMedium":false})";
const std::string netVolumeGolden =
    R"({"path":"/mnt/nas/shoots","volumePath":"/mnt/nas","name":"nas","drive":{"raw":"net:nas"},)"
    R"("fileSystem":"cifs","isRemovable":false,"isInternal":false,"isNetwork":true,)"
    R"("isLikelyCameraCard":false,"isDiskImage":false,"totalBytes":4000000000000,)"
    R"("freeBytes":1000000000000,"readsFromMedium":true})";
const std::string scopeGolden =
    R"({"kinds":["photo","video"],"includeSidecars":true,"includeProxies":false,)"
    R"("includeCameraData":true,"photoFormats":"rawOnly"})";
const std::string cameraGolden = R"({"id":"sony.xavc","name":"Sony XAVC video"})";
const std::string captureGolden =
    R"({"date":736263800.25,"wallClock":"2024:05:03 14:23:20.25","model":"Canon EOS R5",)"
    R"("serial":"012345678901","uniqueID":"A1B2C3","source":"exif"})";
const std::string bareCaptureGolden = R"({"source":"sonyDateFolder"})";
const std::string copyGolden =
    R"({"destination":1,"relativePath":"Photos/2024/IMG_0001.CR3","evidence":3,"renamed":true})";
const std::string secondCopyGolden =
    R"({"destination":0,"relativePath":"DCIM/100CANON/IMG_0001.CR3","evidence":2,"renamed":false})";
const std::string countsGolden =
    R"({"files":10,"bytes":123456789,"verified":6,"backedUp":1,"likely":1,"conflict":1,)"
    R"("missing":0,"problem":1,"missingBytes":2048})";
const std::string zeroCountsGolden =
    R"({"files":0,"bytes":0,"verified":0,"backedUp":0,"likely":0,"conflict":0,"missing":0,)"
    R"("problem":0,"missingBytes":0})";
const std::string landingGolden = R"({"destination":0,"folder":"Photos/2024-05-03","files":42})";
const std::string fileGolden =
    R"({"id":7,"relativePath":"DCIM/100CANON/IMG_0001.CR3","name":"IMG_0001.CR3",)"
    R"("folder":"DCIM/100CANON","size":25165824,"modified":736263812.5,"kind":"photo",)"
    R"("role":"media","inScope":true,"capture":)" + captureGolden +
    R"(,"day":"2024-05-03","camera":"Canon EOS R5","status":"verified",)"
    R"("detail":"Verified on 2 drives.","copies":[)" + copyGolden + "," + secondCopyGolden +
    R"(],"safeDrives":2})";
const std::string bareFileGolden =
    R"({"id":0,"relativePath":"/NOTES.TXT","name":"NOTES.TXT","folder":"","size":0,)"
    R"("modified":-1.5,"kind":"other","role":"sidecar","inScope":false,"day":"2001-01-01",)"
    R"("camera":"","status":"missing","copies":[],"safeDrives":0})";
const std::string shootGolden =
    R"({"folder":"DCIM/100CANON","day":"2024-05-03","camera":"Canon EOS R5","fileIDs":[7,0],)"
    R"("counts":)" + countsGolden +
    R"(,"kinds":["photo",2,"video",1],"formats":{"CR3":2,"MP4":1},"landings":[)" + landingGolden +
    R"(],"scattered":true})";
const std::string bareShootGolden =
    R"({"folder":"","day":"2001-01-01","camera":"","fileIDs":[],"counts":)" + zeroCountsGolden +
    R"(,"kinds":[],"formats":{},"landings":[],"scattered":false})";
const std::string folderGolden =
    R"({"path":"DCIM/100CANON","name":"100CANON","depth":2,"counts":)" + countsGolden +
    R"(,"dayRange":["2024-05-01","2024-05-03"]})";
const std::string bareFolderGolden =
    R"({"path":"","name":"","depth":0,"counts":)" + zeroCountsGolden + "}";
const std::string contentGolden =
    R"({"label":"RAW photos","formats":["CR3","CRW"],"files":2,"bytes":50331648,"checked":2,)"
    R"("note":"Checked against your backups."})";
const std::string reportGolden =
    R"({"source":)" + volumeGolden + R"(,"destinations":[)" + bareVolumeGolden + "," +
    netVolumeGolden + R"(],"scope":)" + scopeGolden +
    R"(,"level":"verified","requiredCopies":2,"cameras":[)" + cameraGolden +
    R"(],"files":[)" + fileGolden + "," + bareFileGolden + R"(],"groups":[)" + shootGolden +
    R"(],"folders":[)" + folderGolden + "," + bareFolderGolden + R"(],"totals":)" + countsGolden +
    R"(,"safeToFormat":false,"safeFiles":1,"outOfScope":1,)"
    R"("problems":["Couldn't open backup /mnt/gone"],"contents":[)" + contentGolden +
    R"(],"startedAt":736263900,"finishedAt":736263960.125,"cardUnreadable":2})";
const std::string policyGolden =
    R"({"requiredCopies":2,"minEvidence":3,"requiredDrives":[],"acceptEditedCopies":false,)"
    R"("countCloudCopies":false,"maxDestEvidenceAge":604800})";
const std::string customPolicyGolden =
    R"({"requiredCopies":3,"minEvidence":2,"requiredDrives":["disk:sdb","net:nas"],)"
    R"("acceptEditedCopies":true,"countCloudCopies":true,"maxDestEvidenceAge":86400.5})";

// Paths whose bytes are not UTF-8: the display form, with U+FFFD for each ill-formed sequence,
// and the bytes beside it under their own key.
const std::string fffd = "\xEF\xBF\xBD";
const std::string copyBytesGolden = R"({"destination":0,"relativePath":"Shoot)" + fffd + "/IMG_" + fffd +
                                    R"(01.JPG","evidence":3,"renamed":false,)"
                                    R"("rawRelativePath":"Shoot%FE/IMG_%FF01.JPG"})";
// A copy read whole but not from its drive, of a card file that was not read from the card either.
const std::string doubtedCopyGolden =
    R"({"destination":0,"relativePath":"C0001M01.XML","evidence":2,"renamed":false,"doubt":"inMetadata"})";
const std::string doubtedFileGolden =
    R"({"id":4,"relativePath":"C0001M01.XML","name":"C0001M01.XML","folder":"","size":900,"modified":0,)"
    R"("kind":"other","role":"sidecar","inScope":true,"day":"","camera":"","status":"backedUp","copies":[)" +
    doubtedCopyGolden + R"(],"safeDrives":0,"cardDoubt":"othersFile"})";
const std::string landingBytesGolden =
    R"({"destination":0,"folder":"Shoot)" + fffd + R"(","files":2,"rawFolder":"Shoot%FE"})";
const std::string fileBytesGolden =
    R"({"id":3,"relativePath":"DCIM/100)" + fffd + "CAM/IMG_%" + fffd + R"(.JPG","name":"IMG_%)" + fffd +
    R"(.JPG","folder":"DCIM/100)" + fffd + R"(CAM","size":28,"modified":0,"kind":"photo","role":"media",)"
    R"("inScope":true,"day":"2024-05-03","camera":"","status":"verified","copies":[)" + copyBytesGolden +
    R"(],"safeDrives":1,"rawRelativePath":"DCIM/100%FFCAM/IMG_%25%E2%82.JPG"})";
const std::string folderBytesGolden = R"({"path":"DCIM/100)" + fffd + R"(CAM","name":"100)" + fffd +
                                      R"(CAM","depth":2,"counts":)" + zeroCountsGolden +
                                      R"(,"rawPath":"DCIM/100%FFCAM"})";
const std::string volumeBytesGolden =
    R"({"path":"/media/ana/CARD)" + fffd + R"(","volumePath":"/media/ana/CARD)" + fffd +
    R"(","name":"CARD","drive":{"raw":"disk:sdc"},"fileSystem":"ext4","isRemovable":true,)"
    R"("isInternal":false,"isNetwork":false,"isLikelyCameraCard":true,"isDiskImage":false,)"
    R"("totalBytes":0,"freeBytes":0,"readsFromMedium":true,"mountRoot":"/DCIM)" + fffd +
    R"(","rawPath":"/media/ana/CARD%FF","rawVolumePath":"/media/ana/CARD%FF","rawMountRoot":"/DCIM%FF"})";

// The same records built by hand.
VolumeInfo cardVolume() {
    VolumeInfo v;
    v.path = "/media/ana/EOS_DIGITAL";
    v.volumePath = "/media/ana/EOS_DIGITAL";
    v.name = "EOS_DIGITAL";
    v.drive.raw = "disk:sdb";
    v.fileSystem = "exfat";
    v.isRemovable = true;
    v.isLikelyCameraCard = true;
    v.volumeID = "1234-ABCD";
    v.totalBytes = 63864569856;
    v.freeBytes = 1048576;
    v.maxFileSize = INT64_MAX;
    return v;
}

VolumeInfo bareVolume() {
    VolumeInfo v;
    v.path = "/mnt/backup/Photos";
    v.volumePath = "/mnt/backup";
    v.name = "backup";
    v.drive.raw = "vol:/mnt/backup";
    v.fileSystem = "ext4";
    v.isInternal = true;
    v.readsFromMedium = false;
    return v;
}

VolumeInfo netVolume() {
    VolumeInfo v;
    v.path = "/mnt/nas/shoots";
    v.volumePath = "/mnt/nas";
    v.name = "nas";
    v.drive.raw = "net:nas";
    v.fileSystem = "cifs";
    v.isNetwork = true;
    v.totalBytes = 4000000000000;
    v.freeBytes = 1000000000000;
    return v;
}

VerifyScope scope() {
    VerifyScope s = VerifyScope::withKinds({MediaKind::video, MediaKind::photo});
    s.includeSidecars = true;
    s.includeCameraData = true;
    s.photoFormats = PhotoFormats::rawOnly;
    return s;
}

CaptureInfo capture() {
    CaptureInfo c;
    c.date = secondsSince2001(736263800, 250'000'000);
    c.wallClock = "2024:05:03 14:23:20.25";
    c.model = "Canon EOS R5";
    c.serial = "012345678901";
    c.uniqueID = "A1B2C3";
    c.source = DateSource::exif;
    return c;
}

CaptureInfo sonyFolderCapture() {
    CaptureInfo c;
    c.source = DateSource::sonyDateFolder;
    return c;
}

CopyRef copy() { return {1, "Photos/2024/IMG_0001.CR3", EvidenceLevel::verified, true}; }

StatusCounts counts() {
    return {.files = 10, .bytes = 123456789, .verified = 6, .backedUp = 1, .likely = 1,
            .conflict = 1, .missing = 0, .problem = 1, .missingBytes = 2048};
}

LandingRef landing() { return {0, "Photos/2024-05-03", 42}; }

FileResult fileResult() {
    FileResult f;
    f.id = 7;
    f.relativePath = "DCIM/100CANON/IMG_0001.CR3";
    f.name = "IMG_0001.CR3";
    f.folder = "DCIM/100CANON";
    f.size = 25165824;
    f.modified = secondsSince2001(736263812, 500'000'000);
    f.kind = MediaKind::photo;
    f.role = FileRole::media;
    f.inScope = true;
    f.capture = capture();
    f.day = "2024-05-03";
    f.camera = "Canon EOS R5";
    f.status = FileStatus::verified;
    f.detail = "Verified on 2 drives.";
    f.copies = {copy(), {0, "DCIM/100CANON/IMG_0001.CR3", EvidenceLevel::sampled, false}};
    f.safeDrives = 2;
    return f;
}

FileResult bareFile() {
    FileResult f;
    f.id = 0;
    f.relativePath = "/NOTES.TXT";
    f.name = "NOTES.TXT";
    f.size = 0;
    f.modified = secondsSince2001(-2, 500'000'000);
    f.kind = MediaKind::other;
    f.role = FileRole::sidecar;
    f.inScope = false;
    f.day = "2001-01-01";
    f.status = FileStatus::missing;
    return f;
}

ShootGroup shoot() {
    ShootGroup g;
    g.folder = "DCIM/100CANON";
    g.day = "2024-05-03";
    g.camera = "Canon EOS R5";
    g.fileIDs = {7, 0};
    g.counts = counts();
    g.kinds = {{MediaKind::video, 1}, {MediaKind::photo, 2}};
    g.formats = {{"MP4", 1}, {"CR3", 2}};
    g.landings = {landing()};
    g.scattered = true;
    return g;
}

ShootGroup bareShoot() {
    ShootGroup g;
    g.day = "2001-01-01";
    return g;
}

FolderSummary folder() {
    return {"DCIM/100CANON", "100CANON", 2, counts(), DayRange{"2024-05-01", "2024-05-03"}};
}

ContentLine content() {
    return {"RAW photos", {"CR3", "CRW"}, 2, 50331648, 2, "Checked against your backups."};
}

VerifyReport report() {
    VerifyReport r;
    r.source = cardVolume();
    r.destinations = {bareVolume(), netVolume()};
    r.scope = scope();
    r.level = CheckLevel::verified;
    r.requiredCopies = 2;
    r.cameras = {{"sony.xavc", "Sony XAVC video"}};
    r.files = {fileResult(), bareFile()};
    r.groups = {shoot()};
    r.folders = {folder(), {"", "", 0, {}, std::nullopt}};
    r.totals = counts();
    r.safeToFormat = false;
    r.safeFiles = 1;
    r.outOfScope = 1;
    r.problems = {"Couldn't open backup /mnt/gone"};
    r.contents = {content()};
    r.startedAt = secondsSince2001(736263900);
    r.finishedAt = secondsSince2001(736263960, 125'000'000);
    r.cardUnreadable = 2;
    return r;
}

CopyRef copyWithBytes() {
    return {0, "Shoot" + fffd + "/IMG_" + fffd + "01.JPG", EvidenceLevel::verified, false,
            "Shoot\xFE/IMG_\xFF" "01.JPG"};
}

FileResult doubtedFile() {
    FileResult f;
    f.id = 4;
    f.relativePath = f.name = "C0001M01.XML";
    f.size = 900;
    f.modified = secondsSince2001(0);
    f.kind = MediaKind::other;
    f.role = FileRole::sidecar;
    f.inScope = true;
    f.status = FileStatus::backedUp;
    f.copies = {{0, "C0001M01.XML", EvidenceLevel::sampled, false, "", MediumDoubt::inMetadata}};
    f.cardDoubt = MediumDoubt::othersFile;
    return f;
}

LandingRef landingWithBytes() { return {0, "Shoot" + fffd, 2, "Shoot\xFE"}; }

FileResult fileWithBytes() {
    FileResult f;
    f.id = 3;
    f.relativePath = "DCIM/100" + fffd + "CAM/IMG_%" + fffd + ".JPG";
    f.rawRelativePath = "DCIM/100\xFF" "CAM/IMG_%\xE2\x82.JPG";  // a truncated sequence is one U+FFFD
    f.name = "IMG_%" + fffd + ".JPG";
    f.folder = "DCIM/100" + fffd + "CAM";
    f.size = 28;
    f.modified = secondsSince2001(0);
    f.kind = MediaKind::photo;
    f.inScope = true;
    f.day = "2024-05-03";
    f.status = FileStatus::verified;
    f.copies = {copyWithBytes()};
    f.safeDrives = 1;
    return f;
}

FolderSummary folderWithBytes() {
    return {"DCIM/100" + fffd + "CAM", "100" + fffd + "CAM", 2, {}, std::nullopt, "DCIM/100\xFF" "CAM"};
}

VolumeInfo volumeWithBytes() {
    VolumeInfo v;
    v.path = "/media/ana/CARD\xFF";  // a volume's paths are its bytes
    v.volumePath = v.path;
    v.name = "CARD";
    v.drive.raw = "disk:sdc";
    v.fileSystem = "ext4";
    v.isRemovable = true;
    v.isLikelyCameraCard = true;
    v.mountRoot = "/DCIM\xFF";  // a bind mount of a card folder
    return v;
}

VerifyReport reportWithBytes() {
    VerifyReport r = report();
    r.source = volumeWithBytes();
    r.files.push_back(fileWithBytes());
    r.folders.push_back(folderWithBytes());
    r.groups.front().landings.push_back(landingWithBytes());
    return r;
}

SafeToFormatPolicy customPolicy() {
    SafeToFormatPolicy p;
    p.requiredCopies = 3;
    p.minEvidence = EvidenceLevel::sampled;
    p.requiredDrives = {"net:nas", "disk:sdb"};
    p.acceptEditedCopies = true;
    p.countCloudCopies = true;
    p.maxDestEvidenceAge = 86400.5;
    return p;
}

// Field by field first, so that a failure names the field.
void expectSameReport(const VerifyReport& a, const VerifyReport& b) {
    EXPECT_EQ(a.source, b.source);
    EXPECT_EQ(a.destinations, b.destinations);
    EXPECT_EQ(a.scope, b.scope);
    EXPECT_EQ(a.level, b.level);
    EXPECT_EQ(a.requiredCopies, b.requiredCopies);
    EXPECT_EQ(a.cameras, b.cameras);
    EXPECT_EQ(a.files, b.files);
    EXPECT_EQ(a.groups, b.groups);
    EXPECT_EQ(a.folders, b.folders);
    EXPECT_EQ(a.totals, b.totals);
    EXPECT_EQ(a.safeToFormat, b.safeToFormat);
    EXPECT_EQ(a.safeFiles, b.safeFiles);
    EXPECT_EQ(a.outOfScope, b.outOfScope);
    EXPECT_EQ(a.problems, b.problems);
    EXPECT_EQ(a.contents, b.contents);
    EXPECT_EQ(a.startedAt, b.startedAt);
    EXPECT_EQ(a.finishedAt, b.finishedAt);
    EXPECT_EQ(a.cardUnreadable, b.cardUnreadable);
    EXPECT_EQ(a.cardUnreadableEntries, b.cardUnreadableEntries);
    EXPECT_EQ(a.cardAccessTimes, b.cardAccessTimes);
    EXPECT_TRUE(a == b);
}

template <class T>
void expectEqualRecord(const T& a, const T& b) {
    if constexpr (std::is_same_v<T, VerifyReport>) {
        expectSameReport(a, b);
    } else {
        EXPECT_EQ(a, b);
    }
}

// One golden document with its record and which of its keys may be absent.
struct Case {
    std::string name;
    std::string golden;
    std::set<std::string> optionalKeys;
    std::set<std::string> numberKeys;  // floating-point values: integers are accepted too
    // Decodes the text, expects the record, and returns its encoding.
    std::function<std::string(const std::string&)> roundTrip;
    std::function<void(const std::string&)> decodeOnly;
};

template <class T>
Case makeCase(std::string name, std::string golden, T expected, std::set<std::string> optional,
              std::set<std::string> numbers = {}) {
    Case c;
    c.numberKeys = std::move(numbers);
    c.name = std::move(name);
    c.golden = std::move(golden);
    c.optionalKeys = std::move(optional);
    c.roundTrip = [expected](const std::string& text) {
        T decoded = fromStoredJson<T>(text);
        expectEqualRecord(decoded, expected);
        return toStoredJson(decoded);
    };
    c.decodeOnly = [](const std::string& text) { (void)fromStoredJson<T>(text); };
    return c;
}

std::vector<Case> cases() {
    return {
        makeCase("PhysicalDriveID", driveGolden, PhysicalDriveID{"disk:sdb"}, {}),
        makeCase("VolumeInfo", volumeGolden, cardVolume(), {"volumeID", "maxFileSize", "readsFromMedium"}),
        makeCase("VolumeInfo bare", bareVolumeGolden, bareVolume(),
                 {"volumeID", "maxFileSize", "readsFromMedium"}),
        makeCase("VerifyScope", scopeGolden, scope(), {}),
        makeCase("CameraProfile", cameraGolden, CameraProfile{"sony.xavc", "Sony XAVC video"}, {}),
        makeCase("CaptureInfo", captureGolden, capture(),
                 {"date", "wallClock", "model", "serial", "uniqueID"}, {"date"}),
        makeCase("CaptureInfo bare", bareCaptureGolden, sonyFolderCapture(),
                 {"date", "wallClock", "model", "serial", "uniqueID"}),
        makeCase("CopyRef", copyGolden, copy(), {}),
        makeCase("StatusCounts", countsGolden, counts(), {}),
        makeCase("LandingRef", landingGolden, landing(), {}),
        makeCase("FileResult", fileGolden, fileResult(), {"capture", "detail"}, {"modified"}),
        makeCase("FileResult bare", bareFileGolden, bareFile(), {"capture", "detail"},
                 {"modified"}),
        makeCase("ShootGroup", shootGolden, shoot(), {}),
        makeCase("ShootGroup bare", bareShootGolden, bareShoot(), {}),
        makeCase("FolderSummary", folderGolden, folder(), {"dayRange"}),
        makeCase("FolderSummary bare", bareFolderGolden,
                 FolderSummary{"", "", 0, {}, std::nullopt}, {"dayRange"}),
        makeCase("ContentLine", contentGolden, content(), {}),
        makeCase("VerifyReport", reportGolden, report(), {"cardUnreadable"}, {"startedAt", "finishedAt"}),
        makeCase("CopyRef with bytes", copyBytesGolden, copyWithBytes(), {"rawRelativePath"}),
        makeCase("LandingRef with bytes", landingBytesGolden, landingWithBytes(), {"rawFolder"}),
        makeCase("FileResult with doubts", doubtedFileGolden, doubtedFile(), {"capture", "detail", "cardDoubt"},
                 {"modified"}),
        makeCase("FileResult with bytes", fileBytesGolden, fileWithBytes(),
                 {"capture", "detail", "rawRelativePath"}, {"modified"}),
        makeCase("FolderSummary with bytes", folderBytesGolden, folderWithBytes(), {"dayRange", "rawPath"}),
        makeCase("VolumeInfo with bytes", volumeBytesGolden, volumeWithBytes(),
                 {"volumeID", "maxFileSize", "readsFromMedium", "rawPath", "rawVolumePath", "rawMountRoot"}),
        makeCase("SafeToFormatPolicy", policyGolden, SafeToFormatPolicy(), {},
                 {"maxDestEvidenceAge"}),
        makeCase("SafeToFormatPolicy custom", customPolicyGolden, customPolicy(), {},
                 {"maxDestEvidenceAge"}),
    };
}

TEST(StoredFormTest, GoldenDocumentsDecodeAndEncodeByteForByte) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.roundTrip(c.golden), c.golden);
    }
}

TEST(StoredFormTest, EncodingTheRecordsGivesTheGoldenText) {
    EXPECT_EQ(toStoredJson(cardVolume()), volumeGolden);
    EXPECT_EQ(toStoredJson(bareVolume()), bareVolumeGolden);
    EXPECT_EQ(toStoredJson(scope()), scopeGolden);
    EXPECT_EQ(toStoredJson(capture()), captureGolden);
    EXPECT_EQ(toStoredJson(fileResult()), fileGolden);
    EXPECT_EQ(toStoredJson(bareFile()), bareFileGolden);
    EXPECT_EQ(toStoredJson(shoot()), shootGolden);
    EXPECT_EQ(toStoredJson(folder()), folderGolden);
    EXPECT_EQ(toStoredJson(content()), contentGolden);
    EXPECT_EQ(toStoredJson(report()), reportGolden);
    EXPECT_EQ(toStoredJson(SafeToFormatPolicy()), policyGolden);
    EXPECT_EQ(toStoredJson(customPolicy()), customPolicyGolden);
}

TEST(StoredFormTest, NullIsNeverWritten) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.roundTrip(c.golden).find("null"), std::string::npos);
    }
}

TEST(StoredFormTest, EachRequiredKeyDroppedFailsAndEachOptionalKeyMayGo) {
    for (const Case& c : cases()) {
        ordered_json golden = ordered_json::parse(c.golden);
        for (const auto& item : golden.items()) {
            const std::string& key = item.key();
            SCOPED_TRACE(c.name + " without " + key);
            ordered_json without = golden;
            without.erase(key);
            if (c.optionalKeys.count(key) != 0) {
                EXPECT_NO_THROW(c.decodeOnly(without.dump()));
                continue;
            }
            try {
                c.decodeOnly(without.dump());
                ADD_FAILURE() << "decoded without a required key";
            } catch (const DecodingError& e) {
                EXPECT_EQ(e.keyPath(), key);
            }
        }
    }
}

// Values of every JSON type but the one the key holds (an integer is also a number).
std::vector<ordered_json> wrongValuesFor(const ordered_json& value, bool optional, bool number) {
    std::vector<ordered_json> out;
    if (number) {
        for (ordered_json v : {ordered_json(true), ordered_json("1.5"), ordered_json::array(),
                               ordered_json::object()}) {
            out.push_back(v);
        }
        if (!optional) out.push_back(nullptr);
        return out;
    }
    if (!value.is_boolean()) out.push_back(true);
    if (!value.is_number()) out.push_back(7);
    if (!value.is_number()) out.push_back(-7);
    if (value.is_number_integer()) out.push_back(1.5);
    if (value.is_number_integer()) out.push_back(2.0);
    if (value.is_number_integer()) out.push_back(1e3);
    if (!value.is_string()) out.push_back("12");
    if (!value.is_array()) out.push_back(ordered_json::array());
    if (!value.is_object()) out.push_back(ordered_json::object());
    if (!optional) out.push_back(nullptr);
    return out;
}

TEST(StoredFormTest, WrongTypesFailWithTheirKey) {
    for (const Case& c : cases()) {
        ordered_json golden = ordered_json::parse(c.golden);
        for (const auto& item : golden.items()) {
            const std::string& key = item.key();
            for (const ordered_json& wrong :
                 wrongValuesFor(item.value(), c.optionalKeys.count(key) != 0,
                                c.numberKeys.count(key) != 0)) {
                ordered_json changed = golden;
                changed[key] = wrong;
                std::string text = changed.dump();
                SCOPED_TRACE(c.name + ": " + text);
                try {
                    c.decodeOnly(text);
                    ADD_FAILURE() << "decoded a wrong type";
                } catch (const DecodingError& e) {
                    EXPECT_EQ(e.keyPath().substr(0, key.size()), key);
                }
            }
        }
    }
}

TEST(StoredFormTest, KeysInAnyOrderAndUnknownKeysAreAccepted) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        ordered_json golden = ordered_json::parse(c.golden);
        ordered_json reversed = ordered_json::object();
        reversed["zzUnknown"] = ordered_json::parse(R"({"a":[1,{"b":null,"c":[[],{}]}],"d":"e"})");
        std::vector<std::string> keys;
        for (const auto& item : golden.items()) keys.push_back(item.key());
        for (auto it = keys.rbegin(); it != keys.rend(); ++it) reversed[*it] = golden[*it];
        reversed["alsoUnknown"] = nullptr;
        EXPECT_EQ(c.roundTrip(reversed.dump()), c.golden);
    }
}

TEST(StoredFormTest, NullOptionalsReadAsAbsent) {
    FileResult f = fromStoredJson<FileResult>(
        R"({"id":1,"relativePath":"a","name":"a","folder":"","size":1,"modified":0,"kind":"photo",)"
        R"("role":"media","inScope":true,"capture":null,"day":"","camera":"","status":"missing",)"
        R"("detail":null,"copies":[],"safeDrives":0})");
    EXPECT_FALSE(f.capture.has_value());
    EXPECT_FALSE(f.detail.has_value());
    FolderSummary folder =
        fromStoredJson<FolderSummary>(R"({"path":"","name":"","depth":0,"counts":)" +
                                      zeroCountsGolden + R"(,"dayRange":null})");
    EXPECT_FALSE(folder.dayRange.has_value());
}

// Reports kept from before volumes told whether they read from the medium.
TEST(StoredFormTest, AVolumeWithoutReadsFromMediumReadsAsReadingFromIt) {
    ordered_json old = ordered_json::parse(bareVolumeGolden);
    old.erase("readsFromMedium");
    EXPECT_TRUE(fromStoredJson<VolumeInfo>(old.dump()).readsFromMedium);
    EXPECT_FALSE(fromStoredJson<VolumeInfo>(bareVolumeGolden).readsFromMedium);
}

TEST(StoredFormTest, StrictValuesTable) {
    struct Row {
        std::string json;
        std::string keyPath;  // empty: decodes
    };
    auto copyWith = [](const std::string& destination, const std::string& evidence) {
        return R"({"destination":)" + destination + R"(,"relativePath":"a","evidence":)" + evidence +
               R"(,"renamed":false})";
    };
    const Row rows[] = {
        {copyWith("0", "0"), ""},
        {copyWith("-9223372036854775808", "3"), ""},
        {copyWith("9223372036854775807", "3"), ""},
        {copyWith("9223372036854775808", "3"), "destination"},
        {copyWith("1.0", "3"), "destination"},
        {copyWith("1e0", "3"), "destination"},
        {copyWith("false", "3"), "destination"},
        {copyWith("0", "4"), "evidence"},
        {copyWith("0", "-1"), "evidence"},
        {copyWith("0", "\"verified\""), "evidence"},
        {copyWith("0", "3.0"), "evidence"},
        // Why a read did not count: a case name, or null for none.
        {R"({"destination":0,"relativePath":"a","evidence":2,"renamed":false,"doubt":"cacheHeld"})", ""},
        {R"({"destination":0,"relativePath":"a","evidence":2,"renamed":false,"doubt":null})", ""},
        {R"({"destination":0,"relativePath":"a","evidence":2,"renamed":false,"doubt":"CacheHeld"})", "doubt"},
        {R"({"destination":0,"relativePath":"a","evidence":2,"renamed":false,"doubt":3})", "doubt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.json);
        if (row.keyPath.empty()) {
            EXPECT_NO_THROW(fromStoredJson<CopyRef>(row.json));
            continue;
        }
        try {
            fromStoredJson<CopyRef>(row.json);
            ADD_FAILURE() << "decoded";
        } catch (const DecodingError& e) {
            EXPECT_EQ(e.keyPath(), row.keyPath);
        }
    }
}

TEST(StoredFormTest, EnumerationTextsAreExact) {
    auto withKind = [](const std::string& kind, const std::string& role,
                       const std::string& status) {
        return R"({"id":1,"relativePath":"a","name":"a","folder":"","size":1,"modified":0,)"
               R"("kind":")" + kind + R"(","role":")" + role + R"(","inScope":true,"day":"",)"
               R"("camera":"","status":")" + status + R"(","copies":[],"safeDrives":0})";
    };
    EXPECT_NO_THROW(fromStoredJson<FileResult>(withKind("video", "cameraData", "notCompared")));
    for (auto [json, key] : {std::pair{withKind("Photo", "media", "missing"), "kind"},
                             std::pair{withKind("photo", "Media", "missing"), "role"},
                             std::pair{withKind("photo", "media", "Verified"), "status"},
                             std::pair{withKind("photo", "media", "backedup"), "status"}}) {
        try {
            fromStoredJson<FileResult>(json);
            ADD_FAILURE() << json;
        } catch (const DecodingError& e) {
            EXPECT_EQ(e.keyPath(), key);
        }
    }
    EXPECT_THROW(fromStoredJson<CaptureInfo>(R"({"source":"EXIF"})"), DecodingError);
    EXPECT_THROW(fromStoredJson<VerifyScope>(
                     R"({"kinds":["photo"],"includeSidecars":true,"includeProxies":false,)"
                     R"("includeCameraData":true,"photoFormats":"raw"})"),
                 DecodingError);
    try {
        fromStoredJson<VerifyScope>(
            R"({"kinds":["photo","Video"],"includeSidecars":true,"includeProxies":false,)"
            R"("includeCameraData":true,"photoFormats":"all"})");
        ADD_FAILURE();
    } catch (const DecodingError& e) {
        EXPECT_EQ(e.keyPath(), "kinds[1]");
    }
}

TEST(StoredFormTest, ShootKindsAreAFlatAlternatingList) {
    auto shootWith = [](const std::string& kinds) {
        return R"({"folder":"","day":"","camera":"","fileIDs":[],"counts":)" + zeroCountsGolden +
               R"(,"kinds":)" + kinds + R"(,"formats":{},"landings":[],"scattered":false})";
    };
    ShootGroup g = fromStoredJson<ShootGroup>(shootWith(R"(["video",2,"photo",40])"));
    EXPECT_EQ(g.kinds, (std::map<MediaKind, int64_t>{{MediaKind::video, 2}, {MediaKind::photo, 40}}));
    struct Row {
        const char* kinds;
        const char* keyPath;
    };
    const Row bad[] = {
        {R"(["video"])", "kinds"},
        {R"(["video",2,"photo"])", "kinds"},
        {R"(["video","2"])", "kinds[1]"},
        {R"([2,"video"])", "kinds[0]"},
        {R"(["movie",2])", "kinds[0]"},
        {R"(["video",2.5])", "kinds[1]"},
        {R"({"video":2})", "kinds"},
    };
    for (const Row& row : bad) {
        try {
            fromStoredJson<ShootGroup>(shootWith(row.kinds));
            ADD_FAILURE() << row.kinds;
        } catch (const DecodingError& e) {
            EXPECT_EQ(e.keyPath(), row.keyPath) << row.kinds;
        }
    }
}

TEST(StoredFormTest, DayRangeIsTwoOrderedDays) {
    auto folderWith = [](const std::string& range) {
        return R"({"path":"","name":"","depth":0,"counts":)" + zeroCountsGolden +
               R"(,"dayRange":)" + range + "}";
    };
    FolderSummary same = fromStoredJson<FolderSummary>(folderWith(R"(["2024-05-01","2024-05-01"])"));
    EXPECT_EQ(same.dayRange, (DayRange{"2024-05-01", "2024-05-01"}));
    for (const char* range : {R"(["2024-05-03","2024-05-01"])", R"(["2024-05-01"])", R"([])",
                              R"(["a","b","c"])", R"(["2024-05-01",5])", R"("2024-05-01")"}) {
        try {
            fromStoredJson<FolderSummary>(folderWith(range));
            ADD_FAILURE() << range;
        } catch (const DecodingError& e) {
            EXPECT_EQ(e.keyPath().substr(0, 8), "dayRange") << range;
        }
    }
}

// A stored report fails to decode at the key path, read whole and with its lists in pieces.
void expectFailureAt(const std::string& text, const std::string& keyPath) {
    for (size_t pieceBytes : {storedPieceBytes, size_t{1}}) {
        SCOPED_TRACE("pieces of " + std::to_string(pieceBytes));
        try {
            reportFromStoredJson(text, 0, pieceBytes);
            ADD_FAILURE() << "decoded";
        } catch (const DecodingError& e) {
            EXPECT_EQ(e.keyPath(), keyPath);
            EXPECT_NE(std::string(e.what()).find(keyPath), std::string::npos);
        }
    }
}

// A report whose numbers point past its lists must never reach a reader.
TEST(StoredFormTest, CrossReferencesOutOfRangeFailToDecode) {
    struct Row {
        std::string name;
        std::function<void(ordered_json&)> change;
        std::string keyPath;
    };
    const Row rows[] = {
        {"copy past the backups", [](ordered_json& j) { j["files"][0]["copies"][0]["destination"] = 2; },
         "files[0].copies[0].destination"},
        {"negative copy destination",
         [](ordered_json& j) { j["files"][0]["copies"][1]["destination"] = -1; },
         "files[0].copies[1].destination"},
        {"landing past the backups",
         [](ordered_json& j) { j["groups"][0]["landings"][0]["destination"] = 5; },
         "groups[0].landings[0].destination"},
        {"shoot names no file", [](ordered_json& j) { j["groups"][0]["fileIDs"][1] = 8; },
         "groups[0].fileIDs[1]"},
        {"file id used twice", [](ordered_json& j) { j["files"][1]["id"] = 7; }, "files[1].id"},
        {"card-only report with a copy", [](ordered_json& j) { j["destinations"] = ordered_json::array(); },
         "files[0].copies[0].destination"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ordered_json j = ordered_json::parse(reportGolden);
        row.change(j);
        expectFailureAt(j.dump(), row.keyPath);
    }
}

TEST(StoredFormTest, NestedErrorsNameTheWholeKeyPath) {
    struct Row {
        std::function<void(ordered_json&)> change;
        std::string keyPath;
    };
    const Row rows[] = {
        {[](ordered_json& j) { j["files"][0]["copies"][1]["evidence"] = true; },
         "files[0].copies[1].evidence"},
        {[](ordered_json& j) { j["files"][0]["capture"].erase("source"); }, "files[0].capture.source"},
        {[](ordered_json& j) { j["files"][1]["capture"] = {{"source", "gps"}}; },
         "files[1].capture.source"},
        {[](ordered_json& j) { j["destinations"][1]["drive"]["raw"] = 3; }, "destinations[1].drive.raw"},
        {[](ordered_json& j) { j["groups"][0]["counts"].erase("missingBytes"); },
         "groups[0].counts.missingBytes"},
        {[](ordered_json& j) { j["groups"][0]["formats"]["CR3"] = "2"; }, "groups[0].formats.CR3"},
        {[](ordered_json& j) { j["folders"][1]["counts"]["files"] = 0.5; }, "folders[1].counts.files"},
        {[](ordered_json& j) { j["contents"][0]["formats"][1] = nullptr; }, "contents[0].formats[1]"},
        {[](ordered_json& j) { j["problems"][0] = 1; }, "problems[0]"},
        {[](ordered_json& j) { j["scope"]["kinds"] = {"photo", "sound"}; }, "scope.kinds[1]"},
        {[](ordered_json& j) { j["cameras"][0].erase("name"); }, "cameras[0].name"},
        {[](ordered_json& j) { j["finishedAt"] = 1e300; }, "finishedAt"},
        {[](ordered_json& j) { j["files"][1]["modified"] = -1e11; }, "files[1].modified"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.keyPath);
        ordered_json j = ordered_json::parse(reportGolden);
        row.change(j);
        expectFailureAt(j.dump(), row.keyPath);
    }
}

TEST(StoredFormTest, DocumentsThatAreNotOneObjectFail) {
    for (const char* text : {"", " ", "[]", "null", "\"x\"", "{", "{}}", "{} {}", "{}x",
                             "{\"raw\":\"a\"} // c", "{\"raw\":\"a\",}", "{'raw':'a'}",
                             "{\"raw\":\"\xff\"}"}) {
        EXPECT_THROW(fromStoredJson<PhysicalDriveID>(text), DecodingError) << text;
    }
    EXPECT_EQ(fromStoredJson<PhysicalDriveID>(" {\"raw\":\"a\\u00e9\\n\"}\n").raw, "a\u00e9\n");
}

// Every value is read, those under keys nobody reads too: what is not JSON there fails as it
// would anywhere. Escapes are read wherever they stand, keys included.
TEST(StoredFormTest, EveryValueIsJsonWhereverItStands) {
    for (const char* unknown : {"[1 2]", "01", "1.", "-", "nul", "tru", "\"\\x\"", "\"\\ud800\"", "{\"a\" 1}",
                                "{\"a\":1,}", "[1,]", "\"a\tb\"", "[[[[1]]]", "1e400"}) {
        EXPECT_THROW(fromStoredJson<PhysicalDriveID>(std::string(R"({"x":)") + unknown + R"(,"raw":"a"})"),
                     DecodingError)
            << unknown;
    }
    const std::pair<std::string, std::string> rows[] = {
        {R"({"r\u0061w":"a"})", "a"},
        {R"({"raw":"a\"b\\c\/d\u0000e"})", std::string("a\"b\\c/d\0e", 9)},
        {R"({"raw" : "a" , "x" : [ 1 , { "y" : null } , true , -0.5e3 , 18446744073709551616 ] })", "a"},
        {"{\"raw\":\"\xc3\xa9\"}\t\r\n", "\xc3\xa9"},
    };
    for (const auto& [json, raw] : rows) EXPECT_EQ(fromStoredJson<PhysicalDriveID>(json).raw, raw) << json;
}

// A text with room after it is read where it stands, to the same report as from a bare view.
TEST(StoredFormTest, ATextWithRoomReadsAsTheSameReport) {
    std::string text = reportGolden;
    text.reserve(text.size() + storedTextRoom);
    EXPECT_EQ(reportFromStoredJson(text, text.capacity() - text.size()), fromStoredJson<VerifyReport>(text));
    // Cut short, with the rest of the text as its room.
    EXPECT_THROW(reportFromStoredJson(std::string_view(text).substr(0, text.size() - 1),
                                      text.capacity() - text.size() + 1),
                 DecodingError);
}

// A report whose names hold what ends strings, lists and records in its stored text.
VerifyReport reportWithAwkwardNames() {
    VerifyReport r = reportWithBytes();
    const std::string names[] = {"a],[b.JPG", "c},{\"id\":1}.JPG", "e\\\"],\\\\.JPG", "\"quoted\"", "[{,}]",
                                 "\\", "h\\\\\",\"i", "j\\", std::string(70, '"') + "],"};
    for (const std::string& name : names) {
        FileResult f = bareFile();
        f.id = int64_t(100 + r.files.size());
        f.name = name;
        f.relativePath = "/" + name;
        f.copies = {{1, "x/" + name + "]}", EvidenceLevel::sampled, true}};
        r.files.push_back(f);
        r.problems.push_back(name);
    }
    return r;
}

// Lists nobody reads, among them lists of short elements, several to a block of the text.
ordered_json withUnknownLists(ordered_json document) {
    document["later"] = ordered_json::parse(R"([[1,{"a":"],["}],"\\\"",{"b":[[],{}]},-1.5e3,null,true])");
    document["note"] = std::string(100, 'n');  // no list is open where the next one opens
    document["numbers"] = ordered_json::parse("[1,22,333,4444,[5],{},6]");
    document["one"] = ordered_json::parse(R"(["x,y"])");
    return document;
}

// Where the reader cuts a long list: only at the commas between its elements, whatever its strings
// hold, in a block of the text with escapes or without.
TEST(StoredFormTest, LongListsAreCutOnlyBetweenElements) {
    const ordered_json document =
        withUnknownLists(ordered_json::parse(toStoredJson(reportWithAwkwardNames())));
    const std::string text = document.dump();
    for (size_t pieceBytes : {size_t{1}, size_t{2}, size_t{5}, size_t{64}, size_t{200}, size_t{100000}}) {
        SCOPED_TRACE("pieces of " + std::to_string(pieceBytes));
        // A compact text holds each list's elements one after another, a comma between.
        std::vector<json::LongList> expected;
        size_t at = 1;
        for (const auto& [key, value] : document.items()) {
            at += ordered_json(key).dump().size() + 1;
            if (value.is_array()) {
                json::LongList list{at, 0, {}, value.size()};
                size_t begin = at + 1;
                size_t end = at + 1;
                for (size_t i = 0; i < value.size(); ++i) {
                    end += value[i].dump().size() + (i > 0 ? 1 : 0);
                    if (i + 1 < value.size() && end >= begin + pieceBytes) {
                        list.cuts.push_back(end);
                        begin = end + 1;
                    }
                }
                list.close = end;
                if (!list.cuts.empty()) expected.push_back(list);
            }
            at += value.dump().size() + 1;
        }
        const bool filesCut = std::any_of(expected.begin(), expected.end(), [&](const json::LongList& list) {
            return text.compare(list.open - 8, 9, R"("files":[)") == 0;
        });
        EXPECT_EQ(filesCut, pieceBytes < 1000);
        EXPECT_EQ(json::findLongLists(text, pieceBytes), expected);
    }
}

// The long lists of a report are read a piece at a time. Where the pieces are cut never changes
// what a text decodes to, whatever its names hold and however it is laid out.
TEST(StoredFormTest, LongListsReadInPiecesDecodeAsTheWholeText) {
    const VerifyReport r = reportWithAwkwardNames();
    const std::string compact = toStoredJson(r);
    const ordered_json unknown = withUnknownLists(ordered_json::parse(compact));
    const std::string texts[] = {compact, ordered_json::parse(compact).dump(2), unknown.dump(),
                                 unknown.dump(1, '\t')};
    for (const std::string& text : texts) {
        const VerifyReport whole = fromStoredJson<VerifyReport>(text);
        expectSameReport(whole, r);
        std::string roomy = text;
        roomy.reserve(text.size() + storedTextRoom);
        for (size_t pieceBytes : {size_t{1}, size_t{2}, size_t{5}, size_t{64}, size_t{1000}}) {
            SCOPED_TRACE("pieces of " + std::to_string(pieceBytes));
            const VerifyReport inPieces = reportFromStoredJson(text, 0, pieceBytes);
            expectSameReport(inPieces, whole);
            // A long list is given room for all its elements at once, and no more.
            EXPECT_EQ(inPieces.files.capacity(), inPieces.files.size());
            expectSameReport(reportFromStoredJson(roomy, roomy.capacity() - roomy.size(), pieceBytes), whole);
        }
    }
}

// Each piece of a list reads as a list of its own; the list they make must still be one, and the
// document around them one document.
TEST(StoredFormTest, ListsThatAreNotJsonFailInPiecesToo) {
    const std::string a = fileGolden;
    const std::string b = bareFileGolden;
    const auto withFiles = [](const std::string& files, const std::string& more = "") {
        std::string text = reportGolden;
        const size_t begin = text.find(R"("files":[)") + 9;
        const size_t end = text.find(R"(],"groups")");
        return text.substr(0, begin) + files + text.substr(end, text.size() - end - 1) + more + "}";
    };
    ASSERT_NO_THROW(fromStoredJson<VerifyReport>(withFiles(a + " , " + b, R"(,"x":[1,"],[\"",[{}]])")));
    const std::string texts[] = {
        withFiles(a + ",," + b),
        withFiles(a + "," + b + ","),
        withFiles("," + a + "," + b),
        withFiles(a + ", ," + b),
        withFiles(a + " " + b),
        withFiles(a + "," + b + "]"),
        withFiles(a + "],[" + b),
        withFiles(a + R"(,{"id":1]},)" + b),
        withFiles(a + R"(,"open,)" + b),
        withFiles(a + "," + b, R"(,"x":[1,,2])"),
        withFiles(a + "," + b, R"(,"x":[1,2,])"),
        withFiles(a + "," + b, R"(,"x":[1,[2]],3])"),
        withFiles(a + "," + b, R"(,"x":[1,"\"],[2])"),
        withFiles(a + "," + b, R"(,"x":[1,\"],"2"])"),
        withFiles(a + "," + b, R"(,"x":[1,2)"),
        withFiles(a + "," + b, R"(,"x":[1,tru])"),
        withFiles(a + "," + b, R"(,"x":[1,[2,{"a" 1}]])"),
    };
    for (const std::string& text : texts) {
        EXPECT_THROW(fromStoredJson<VerifyReport>(text), DecodingError) << text;
        for (size_t pieceBytes : {size_t{1}, size_t{3}, size_t{64}}) {
            EXPECT_THROW(reportFromStoredJson(text, 0, pieceBytes), DecodingError)
                << pieceBytes << " " << text;
        }
    }
}

TEST(StoredFormTest, DeepNestingInsideAnUnknownKeyIsSkipped) {
    std::string deep(20000, '[');
    deep += std::string(20000, ']');
    EXPECT_EQ(fromStoredJson<PhysicalDriveID>(R"({"x":)" + deep + R"(,"raw":"a"})").raw, "a");
    EXPECT_THROW(fromStoredJson<PhysicalDriveID>(R"({"x":)" + std::string(20000, '[') + "}"),
                 DecodingError);
}

TEST(StoredFormTest, TextsAreWrittenAsValidUtf8) {
    FileResult f = bareFile();
    f.name = "IMG\xff\xfe_1.JPG";            // a Linux file name that is not UTF-8
    f.folder = "DCIM/\x01\t\"quoted\"\\";      // control characters, quotes, backslash
    f.detail = std::string("half \xe2\x82", 6);  // truncated sequence
    f.camera = "Caf\xc3\xa9 \xf0\x9f\x93\xb7";   // valid text stays as it is
    std::string text;
    ASSERT_NO_THROW(text = toStoredJson(f));
    EXPECT_TRUE(isValidUtf8(text));
    EXPECT_TRUE(nlohmann::json::accept(text));
    FileResult back = fromStoredJson<FileResult>(text);
    EXPECT_EQ(back.name, repairUtf8(f.name));
    EXPECT_EQ(back.folder, f.folder);
    EXPECT_EQ(back.detail, repairUtf8(*f.detail));
    EXPECT_EQ(back.camera, f.camera);

    ShootGroup g = bareShoot();
    g.formats["\xff"] = 3;
    text = toStoredJson(g);
    EXPECT_TRUE(isValidUtf8(text));
    EXPECT_EQ(fromStoredJson<ShootGroup>(text).formats.at("\xef\xbf\xbd"), 3);
}

TEST(StoredFormTest, InstantsAreSecondsSince2001) {
    struct Row {
        TimeNs instant;
        double stored;
    };
    const Row rows[] = {
        {secondsSince2001(0), 0.0},
        {0, -978307200.0},
        {secondsSince2001(736263812, 500'000'000), 736263812.5},
        {secondsSince2001(-1, 250'000'000), -0.75},
        {secondsSince2001(1, 1'000), 1.000001},
        {-500'000'000, -978307200.5},
        {-1'000'000'000 * int64_t{86400} + 1'000, -978393599.999999},
    };
    for (const Row& row : rows) {
        EXPECT_DOUBLE_EQ(toStoredSeconds(row.instant), row.stored) << row.stored;
        EXPECT_EQ(fromStoredSeconds(row.stored), row.instant) << row.stored;
    }
    // Any microsecond-precise time of this era survives, and what was read writes back the same.
    for (int64_t micros : {0LL, 1LL, 499'999LL, 500'000LL, 999'999LL, 123'457LL}) {
        for (int64_t seconds :
             {-1'012'867'200LL, -978'307'201LL, -978307200LL, 0LL, 736263812LL, 1'500'000'000LL}) {
            TimeNs t = secondsSince2001(seconds, micros * 1000);
            double stored = toStoredSeconds(t);
            ASSERT_EQ(fromStoredSeconds(stored), t) << seconds << "." << micros;
            ASSERT_EQ(toStoredSeconds(*fromStoredSeconds(stored)), stored);
        }
    }
}

// Stored instants come from files anyone can edit: every double either reads as an instant that
// 64-bit nanoseconds hold or as nothing, never as an overflowed value.
TEST(StoredFormTest, InstantsOutsideNanosecondRangeReadAsNothing) {
    using limits = std::numeric_limits<double>;
    // The widest whole seconds since 2001 that are read, one second inside the 64-bit range.
    constexpr double highest = 8'245'064'835.0;
    constexpr double lowest = -10'201'679'235.0;
    constexpr TimeNs highestNs = 9'223'372'035'000'000'000;
    struct Row {
        double stored;
        std::optional<TimeNs> instant;
    };
    const Row rows[] = {
        {limits::quiet_NaN(), std::nullopt},
        {-limits::quiet_NaN(), std::nullopt},
        {limits::infinity(), std::nullopt},
        {-limits::infinity(), std::nullopt},
        {limits::max(), std::nullopt},
        {limits::lowest(), std::nullopt},
        {1e300, std::nullopt},
        {-1e300, std::nullopt},
        {1e19, std::nullopt},
        {-1e19, std::nullopt},
        {9.3e9, std::nullopt},
        {-1.1e10, std::nullopt},
        {9.2e9, std::nullopt},
        {9.0e9, std::nullopt},
        {8.3e9, std::nullopt},
        {8.25e9, std::nullopt},
        {std::nextafter(highest, limits::infinity()), std::nullopt},
        {highest + 0.5, std::nullopt},
        {std::nextafter(lowest, -limits::infinity()), std::nullopt},
        {highest, highestNs},
        {lowest, -highestNs},
        {lowest + 0.5, -highestNs + 500'000'000},
        {8.2e9, secondsSince2001(8'200'000'000)},
        {8.245e9, secondsSince2001(8'245'000'000)},
        {-9.3e9, secondsSince2001(-9'300'000'000)},
        {8e9, secondsSince2001(8'000'000'000)},
        {-1e10, secondsSince2001(-10'000'000'000)},
        // Fractions that round up to the next whole second.
        {-limits::denorm_min(), secondsSince2001(0)},
        {-1e-7, secondsSince2001(0)},
        {-0.0, secondsSince2001(0)},
        {limits::denorm_min(), secondsSince2001(0)},
        {std::nextafter(highest, 0.0), highestNs - 1'000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::setprecision(17) << row.stored);
        EXPECT_EQ(fromStoredSeconds(row.stored), row.instant);
    }
    // Every instant 64-bit nanoseconds hold writes a finite number, and the edges of the range
    // read back as nothing rather than wrapping.
    for (TimeNs t : {std::numeric_limits<TimeNs>::max(), std::numeric_limits<TimeNs>::min(),
                     highestNs, -highestNs}) {
        const double stored = toStoredSeconds(t);
        EXPECT_TRUE(std::isfinite(stored)) << t;
        const auto back = fromStoredSeconds(stored);
        if (back) {
            EXPECT_EQ(*back, t) << t;
        }
    }
    EXPECT_EQ(fromStoredSeconds(toStoredSeconds(std::numeric_limits<TimeNs>::max())), std::nullopt);
    EXPECT_EQ(fromStoredSeconds(toStoredSeconds(std::numeric_limits<TimeNs>::min())), std::nullopt);
}

TEST(StoredFormTest, CaptureValuesTable) {
    struct Row {
        std::string json;
        bool decodes;
        std::string keyPath;  // of the failure
    };
    const Row rows[] = {
        {R"({"source":"quickTime","date":null,"wallClock":null,"model":null,"serial":null,)"
         R"("uniqueID":null,"extra":1})", true, ""},
        {R"({"source":"fileModified","date":-978307200.5,"wallClock":"1969:12:31 23:59:59"})", true, ""},
        {R"({"source":"camera"})", false, "source"},
        {R"({"source":"Exif"})", false, "source"},
        {R"({"source":""})", false, "source"},
        {R"({"source":"exif","date":1e300})", false, "date"},
        {R"({"source":"exif","date":-1e300})", false, "date"},
        {R"({"source":"exif","date":1e19})", false, "date"},
        {R"({"source":"exif","date":9e9})", false, "date"},
        {R"(["exif"])", false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.json);
        try {
            const CaptureInfo c = fromStoredJson<CaptureInfo>(row.json);
            EXPECT_TRUE(row.decodes);
            EXPECT_EQ(toStoredJson(fromStoredJson<CaptureInfo>(toStoredJson(c))), toStoredJson(c));
        } catch (const DecodingError& e) {
            EXPECT_FALSE(row.decodes) << e.what();
            EXPECT_EQ(e.keyPath(), row.keyPath);
        }
    }
    const CaptureInfo bare = fromStoredJson<CaptureInfo>(rows[0].json);
    CaptureInfo quickTime;
    quickTime.source = DateSource::quickTime;
    EXPECT_EQ(bare, quickTime);

    CaptureInfo early;
    early.date = -500'000'000;  // half a second before 1970
    early.wallClock = "1969:12:31 23:59:59";
    early.source = DateSource::fileModified;
    EXPECT_EQ(fromStoredJson<CaptureInfo>(toStoredJson(early)), early);
    EXPECT_EQ(fromStoredJson<CaptureInfo>(rows[1].json), early);
}

TEST(StoredFormTest, WholeReportRoundTripsEqual) {
    VerifyReport r = report();
    r.files[1].capture.emplace();
    r.files[1].capture->wallClock = "2024:05:03 10:00:00";
    r.files[1].capture->source = DateSource::quickTime;
    r.files[1].detail = "";
    r.files[1].modified = secondsSince2001(-978307200, 1000);  // 1970 plus a microsecond
    r.folders[1].dayRange = DayRange{"", ""};
    r.groups.push_back(bareShoot());
    VerifyReport back = fromStoredJson<VerifyReport>(toStoredJson(r));
    expectSameReport(back, r);
    EXPECT_EQ(toStoredJson(back), toStoredJson(r));

    VerifyReport empty;
    expectSameReport(fromStoredJson<VerifyReport>(toStoredJson(empty)), empty);

    // A report stored before unreadable card entries were counted reads as a card read whole.
    ordered_json older = ordered_json::parse(reportGolden);
    older.erase("cardUnreadable");
    EXPECT_EQ(fromStoredJson<VerifyReport>(older.dump()).cardUnreadable, 0);
}

// Files changed while reading are counted apart under a key written only when there are any: counts
// stored before or without them read back with none.
TEST(StoredFormTest, ChangedFilesAreCountedUnderAnOptionalKey) {
    for (const int64_t changed : {0, 1}) {
        SCOPED_TRACE(changed);
        StatusCounts c = counts();
        c.changed = changed;
        const std::string stored = toStoredJson(c);
        EXPECT_EQ(ordered_json::parse(stored).contains("changed"), changed != 0);
        EXPECT_EQ(fromStoredJson<StatusCounts>(stored), c);
    }
    EXPECT_EQ(fromStoredJson<StatusCounts>(countsGolden), counts());
    EXPECT_THROW(fromStoredJson<StatusCounts>(countsGolden.substr(0, countsGolden.size() - 1) + R"(,"changed":"1"})"),
                 DecodingError);
}

// The entries of a card not read whole are kept under a key of their own, written only when there
// are any: a report without them, stored before or after, reads back with none.
TEST(StoredFormTest, UnreadableEntriesRoundTripUnderTheirOwnKey) {
    const struct {
        const char* what;
        std::vector<UnreadableEntry> entries;
    } rows[] = {
        {"none", {}},
        {"two", {{"DCIM/101LOST", "Input/output error"}, {"", "Permission denied"}}},
        {"repaired name", {{"DCIM/IMG_\xef\xbf\xbd.JPG", "Structure needs cleaning"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        VerifyReport r = report();
        r.cardUnreadableEntries = row.entries;
        const std::string stored = toStoredJson(r);
        EXPECT_EQ(ordered_json::parse(stored).contains("cardUnreadableEntries"), !row.entries.empty());
        expectSameReport(fromStoredJson<VerifyReport>(stored), r);
    }
    const struct {
        const char* what;
        const char* entries;
    } broken[] = {
        {"no reason", R"([{"path":"DCIM"}])"},
        {"path not a text", R"([{"path":3,"reason":"x"}])"},
        {"not a list", R"({"path":"DCIM","reason":"x"})"},
    };
    for (const auto& b : broken) {
        SCOPED_TRACE(b.what);
        ordered_json doc = ordered_json::parse(reportGolden);
        doc["cardUnreadableEntries"] = ordered_json::parse(b.entries);
        EXPECT_THROW(fromStoredJson<VerifyReport>(doc.dump()), DecodingError);
    }
}

// What reading the card did to its access times is kept under a key of its own, written only when
// they were not kept: a report stored before it was kept reads as kept.
TEST(StoredFormTest, CardAccessTimesRoundTripUnderTheirOwnKey) {
    for (const CardAccessTimes what : allCardAccessTimes) {
        SCOPED_TRACE(std::string(rawValue(what)));
        VerifyReport r = report();
        r.cardAccessTimes = what;
        const ordered_json stored = ordered_json::parse(toStoredJson(r));
        EXPECT_EQ(stored.contains("cardAccessTimes"), what != CardAccessTimes::kept);
        if (what != CardAccessTimes::kept) {
            EXPECT_EQ(stored["cardAccessTimes"], std::string(rawValue(what)));
        }
        expectSameReport(fromStoredJson<VerifyReport>(stored.dump()), r);
    }
    for (const char* bad : {"Kept", "fuse", ""}) {
        ordered_json doc = ordered_json::parse(reportGolden);
        doc["cardAccessTimes"] = bad;
        EXPECT_THROW(fromStoredJson<VerifyReport>(doc.dump()), DecodingError) << bad;
    }
}

TEST(StoredFormTest, PolicyNeedsEveryKey) {
    SafeToFormatPolicy p = fromStoredJson<SafeToFormatPolicy>(
        R"({"requiredCopies":1,"minEvidence":0,"requiredDrives":["a","a"],)"
        R"("acceptEditedCopies":false,"countCloudCopies":true,"maxDestEvidenceAge":3600})");
    EXPECT_EQ(p.minEvidence, EvidenceLevel::none);
    EXPECT_EQ(p.requiredDrives, std::set<std::string>{"a"});
    EXPECT_EQ(p.maxDestEvidenceAge, 3600.0);
    EXPECT_THROW(fromStoredJson<SafeToFormatPolicy>(R"({})"), DecodingError);
}

}  // namespace
}  // namespace halvetrop

namespace halvetrop {
namespace {

TEST(StoredFormTest, AReportWithPathBytesReadsBackEqualAndOpensThem) {
    const VerifyReport r = reportWithBytes();
    const std::string text = toStoredJson(r);
    EXPECT_TRUE(isValidUtf8(text));
    const VerifyReport back = fromStoredJson<VerifyReport>(text);
    expectSameReport(back, r);
    EXPECT_EQ(toStoredJson(back), text);

    const FileResult& file = back.files.back();
    EXPECT_EQ(back.absolutePath(file), "/media/ana/CARD\xFF/DCIM/100\xFF" "CAM/IMG_%\xE2\x82.JPG");
    EXPECT_EQ(file.nameBytes(), "IMG_%\xE2\x82.JPG");
    EXPECT_EQ(file.folderBytes(), "DCIM/100\xFF" "CAM");
    EXPECT_EQ(back.absolutePath(file.copies.front()), "/mnt/backup/Photos/Shoot\xFE/IMG_\xFF" "01.JPG");
    // Files whose display form is their path keep no bytes and open by that form.
    const FileResult& plain = back.files.front();
    EXPECT_TRUE(plain.rawRelativePath.empty());
    EXPECT_EQ(back.absolutePath(plain), "/media/ana/CARD\xFF/DCIM/100CANON/IMG_0001.CR3");
    EXPECT_EQ(plain.nameBytes(), plain.name);
    EXPECT_EQ(plain.folderBytes(), plain.folder);
}

TEST(StoredFormTest, PathBytesThatAreNotThoseOfTheShownPathDoNotDecode) {
    const struct {
        std::string record, key, value;
    } rows[] = {
        {"copy", "rawRelativePath", "Shoot%FE/IMG_%FF02.JPG"},  // another name
        {"copy", "rawRelativePath", "Shoot%FE/IMG_%FF01.JPG/x"},
        {"copy", "rawRelativePath", "Shoot%FE/IMG_%F"},  // escape cut short
        {"copy", "rawRelativePath", "Shoot%FE/IMG_%GG01.JPG"},
        {"copy", "rawRelativePath", "Shoot%FE/IMG_%FF01.JPG%00"},  // a NUL would cut the path short
        {"file", "rawRelativePath", "DCIM/other.JPG"},
        {"file", "rawRelativePath", "DCIM/100%FFCAM/IMG_%E2%82.JPG"},  // the "%" of the name lost
        {"folder", "rawPath", "DCIM/100%FECAM/x"},
        {"landing", "rawFolder", "Other%FE"},
        {"volume", "rawPath", "/media/ana/CARD%FF/x"},
        {"volume", "rawVolumePath", "/media/bob/CARD%FF"},
        {"volume", "rawMountRoot", "/DCIM%FF/x"},
    };
    const std::map<std::string, std::pair<std::string, std::function<void(const std::string&)>>> records = {
        {"copy", {copyBytesGolden, [](const std::string& t) { (void)fromStoredJson<CopyRef>(t); }}},
        {"file", {fileBytesGolden, [](const std::string& t) { (void)fromStoredJson<FileResult>(t); }}},
        {"folder", {folderBytesGolden, [](const std::string& t) { (void)fromStoredJson<FolderSummary>(t); }}},
        {"landing", {landingBytesGolden, [](const std::string& t) { (void)fromStoredJson<LandingRef>(t); }}},
        {"volume", {volumeBytesGolden, [](const std::string& t) { (void)fromStoredJson<VolumeInfo>(t); }}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.record + " " + row.value);
        const auto& [golden, decode] = records.at(row.record);
        ordered_json changed = ordered_json::parse(golden);
        changed[row.key] = row.value;
        try {
            decode(changed.dump());
            ADD_FAILURE() << "decoded bytes that are not the path shown";
        } catch (const DecodingError& e) {
            EXPECT_EQ(e.keyPath(), row.key);
        }
    }
    // Inside a report the key path names the record.
    ordered_json doc = ordered_json::parse(toStoredJson(reportWithBytes()));
    doc["files"][2]["copies"][0]["rawRelativePath"] = "elsewhere";
    try {
        (void)fromStoredJson<VerifyReport>(doc.dump());
        ADD_FAILURE() << "decoded a copy whose bytes are another path";
    } catch (const DecodingError& e) {
        EXPECT_EQ(e.keyPath(), "files[2].copies[0].rawRelativePath");
    }
}

TEST(StoredFormTest, PathBytesEqualToTheShownPathAreNotKept) {
    // However they were written, bytes that are the display form read as no bytes, so the record
    // equals the one the verifier makes and writes back without the key.
    ordered_json withKey = ordered_json::parse(copyGolden);
    withKey["rawRelativePath"] = "Photos/2024/IMG_0001.CR3";
    const CopyRef ref = fromStoredJson<CopyRef>(withKey.dump());
    EXPECT_EQ(ref, copy());
    EXPECT_EQ(toStoredJson(ref), copyGolden);

    ordered_json empty = ordered_json::parse(copyGolden);
    empty["rawRelativePath"] = "";
    EXPECT_EQ(fromStoredJson<CopyRef>(empty.dump()), copy());
}

// A report as the application stored it before paths kept their bytes, written by that version
// from a real check of a card holding names that are not UTF-8.
TEST(StoredFormTest, AReportStoredWithoutPathBytesLoadsUnchanged) {
    const char* source = std::getenv("HALVETROP_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    std::ifstream in(std::string(source) + "/tests/report/fixtures/report-without-path-bytes.json",
                     std::ios::binary);
    ASSERT_TRUE(in);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    const VerifyReport r = fromStoredJson<VerifyReport>(text);
    ASSERT_EQ(r.files.size(), 3u);
    EXPECT_EQ(r.files[2].relativePath, "DCIM/100" + fffd + "CAM/IMG_" + fffd + "01.JPG");
    for (const FileResult& f : r.files) {
        SCOPED_TRACE(f.relativePath);
        EXPECT_TRUE(f.rawRelativePath.empty());
        EXPECT_EQ(r.absolutePath(f), join(r.source.path, f.relativePath));
        for (const CopyRef& c : f.copies) EXPECT_EQ(c.relativePathBytes(), c.relativePath);
    }
    for (const FolderSummary& folder : r.folders) EXPECT_EQ(folder.pathBytes(), folder.path);
    // Written again it is the same document, so a history file is not changed by being reread.
    EXPECT_EQ(toStoredJson(r), text);
}

}  // namespace
}  // namespace halvetrop

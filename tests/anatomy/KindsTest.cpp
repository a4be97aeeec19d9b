#include <gtest/gtest.h>

#include <unordered_set>
#include <vector>

#include "anatomy/Kinds.h"

using namespace halvetrop;

namespace {

constexpr MediaKind photo = MediaKind::photo;
constexpr MediaKind video = MediaKind::video;
constexpr MediaKind audio = MediaKind::audio;
constexpr MediaKind other = MediaKind::other;

}  // namespace

TEST(Kinds, MediaKindTextsLabelsAndOrder) {
    struct Row {
        MediaKind kind;
        const char* raw;
        const char* label;
    } rows[] = {
        {photo, "photo", "Photos"},
        {video, "video", "Videos"},
        {audio, "audio", "Audio"},
        {other, "other", "Other"},
    };
    ASSERT_EQ(allMediaKinds.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].raw);
        EXPECT_EQ(allMediaKinds[i], rows[i].kind);
        EXPECT_EQ(rawValue(rows[i].kind), rows[i].raw);
        EXPECT_EQ(label(rows[i].kind), rows[i].label);
        EXPECT_EQ(mediaKindFromRaw(rows[i].raw), rows[i].kind);
        EXPECT_EQ(fromRawValue<MediaKind>(rows[i].raw), rows[i].kind);
    }
}

TEST(Kinds, PhotoFormatsTextsLabelsAndOrder) {
    struct Row {
        PhotoFormats formats;
        const char* raw;
        const char* label;
    } rows[] = {
        {PhotoFormats::all, "all", "All photos"},
        {PhotoFormats::rawOnly, "rawOnly", "RAW only"},
        {PhotoFormats::processedOnly, "processedOnly", "JPEG/HEIF only"},
    };
    ASSERT_EQ(allPhotoFormats.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].raw);
        EXPECT_EQ(allPhotoFormats[i], rows[i].formats);
        EXPECT_EQ(rawValue(rows[i].formats), rows[i].raw);
        EXPECT_EQ(label(rows[i].formats), rows[i].label);
        EXPECT_EQ(photoFormatsFromRaw(rows[i].raw), rows[i].formats);
        EXPECT_EQ(fromRawValue<PhotoFormats>(rows[i].raw), rows[i].formats);
    }
}

TEST(Kinds, FileRoleTexts) {
    struct Row {
        FileRole role;
        const char* raw;
    } rows[] = {
        {FileRole::media, "media"},           {FileRole::sidecar, "sidecar"},
        {FileRole::proxy, "proxy"},           {FileRole::thumbnail, "thumbnail"},
        {FileRole::cameraData, "cameraData"}, {FileRole::junk, "junk"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.raw);
        EXPECT_EQ(rawValue(row.role), row.raw);
        EXPECT_EQ(fileRoleFromRaw(row.raw), row.role);
        EXPECT_EQ(fromRawValue<FileRole>(row.raw), row.role);
    }
}

TEST(Kinds, TextsThatNameNoCaseGiveNoValue) {
    // Stored texts are case-sensitive and exact: labels, plurals, padding and other enums'
    // texts are not raw values.
    for (const char* text :
         {"", "Photo", "PHOTO", "photos", "Photos", " photo", "photo ", "media", "all"}) {
        EXPECT_FALSE(mediaKindFromRaw(text)) << text;
    }
    for (const char* text : {"", "cameradata", "CameraData", "camera data", "Media", "photo"}) {
        EXPECT_FALSE(fileRoleFromRaw(text)) << text;
    }
    for (const char* text : {"", "All", "rawonly", "raw", "processed", "All photos", "RAW only",
                             "JPEG/HEIF only", "photo"}) {
        EXPECT_FALSE(photoFormatsFromRaw(text)) << text;
    }
    EXPECT_FALSE(mediaKindFromRaw(std::string_view("photo\0", 6)));
}

TEST(Kinds, ScopeDefaultsAndWithKinds) {
    const VerifyScope defaults;
    EXPECT_EQ(defaults.kinds, (std::set<MediaKind>{photo, video, audio}));
    EXPECT_FALSE(defaults.includeSidecars);
    EXPECT_FALSE(defaults.includeProxies);
    EXPECT_FALSE(defaults.includeCameraData);
    EXPECT_EQ(defaults.photoFormats, PhotoFormats::all);

    const VerifyScope photos = VerifyScope::withKinds({photo});
    VerifyScope spelledOut;
    spelledOut.kinds = {photo};
    spelledOut.includeSidecars = false;
    spelledOut.includeProxies = false;
    spelledOut.includeCameraData = false;
    spelledOut.photoFormats = PhotoFormats::all;
    EXPECT_EQ(photos, spelledOut);
    EXPECT_EQ(std::hash<VerifyScope>{}(photos), std::hash<VerifyScope>{}(spelledOut));
    EXPECT_NE(photos, defaults);

    EXPECT_TRUE(VerifyScope::withKinds({}).kinds.empty());
    EXPECT_EQ(VerifyScope::withKinds({other, photo, video, audio}).kinds.size(), 4u);
}

TEST(Kinds, ScopeEqualityCoversEveryField) {
    const VerifyScope base;
    std::vector<VerifyScope> variants(5, base);
    variants[0].kinds = {photo, video};
    variants[1].includeSidecars = true;
    variants[2].includeProxies = true;
    variants[3].includeCameraData = true;
    variants[4].photoFormats = PhotoFormats::rawOnly;
    std::unordered_set<VerifyScope> distinct{base};
    for (const VerifyScope& v : variants) {
        EXPECT_NE(v, base);
        distinct.insert(v);
    }
    EXPECT_EQ(distinct.size(), 6u);
    // Kinds compare as sets, whatever order they were given in.
    EXPECT_EQ(VerifyScope::withKinds({audio, photo}), VerifyScope::withKinds({photo, audio}));
}

TEST(Kinds, FileClassEqualityAndHashCoverAllThreeFields) {
    const FileClass a{photo, FileRole::media, true};
    EXPECT_EQ(a, (FileClass{photo, FileRole::media, true}));
    EXPECT_NE(a, (FileClass{photo, FileRole::media, false}));
    EXPECT_NE(a, (FileClass{video, FileRole::media, true}));
    EXPECT_NE(a, (FileClass{photo, FileRole::sidecar, true}));
    std::unordered_set<FileClass> all;
    for (MediaKind kind : allMediaKinds) {
        for (FileRole role : {FileRole::media, FileRole::sidecar, FileRole::proxy,
                              FileRole::thumbnail, FileRole::cameraData, FileRole::junk}) {
            for (bool raw : {false, true}) all.insert({kind, role, raw});
        }
    }
    EXPECT_EQ(all.size(), 4u * 6u * 2u);
    EXPECT_FALSE(FileClass{}.raw);
}

TEST(Kinds, CameraProfileEqualityCoversBothFields) {
    const CameraProfile a{"sony.xavc", "Sony XAVC video"};
    EXPECT_EQ(a, (CameraProfile{"sony.xavc", "Sony XAVC video"}));
    EXPECT_NE(a, (CameraProfile{"sony.xavc", "Sony"}));
    EXPECT_NE(a, (CameraProfile{"avchd", "Sony XAVC video"}));
    std::unordered_set<CameraProfile> set{a, {"sony.xavc", "Sony XAVC video"}, {"avchd", "x"}};
    EXPECT_EQ(set.size(), 2u);
}

TEST(Kinds, ScopeContains) {
    auto scope = [](std::set<MediaKind> kinds, bool sidecars, bool proxies, bool cameraData) {
        VerifyScope s = VerifyScope::withKinds(std::move(kinds));
        s.includeSidecars = sidecars;
        s.includeProxies = proxies;
        s.includeCameraData = cameraData;
        return s;
    };
    const std::set<MediaKind> everyKind{photo, video, audio, other};
    const std::set<MediaKind> none{};
    struct Row {
        const char* what;
        VerifyScope scope;
        FileClass fileClass;
        bool expected;
    } rows[] = {
        {"photo medium, photos wanted",
         scope({photo}, false, false, false),
         {photo, FileRole::media},
         true},
        {"video medium, only photos wanted",
         scope({photo}, false, false, false),
         {video, FileRole::media},
         false},
        {"other medium with default kinds", VerifyScope{}, {other, FileRole::media}, false},
        {"other medium when other is wanted",
         scope({other}, false, false, false),
         {other, FileRole::media},
         true},
        {"audio medium by default", VerifyScope{}, {audio, FileRole::media}, true},
        {"empty kinds take no medium",
         scope(none, true, true, false),
         {photo, FileRole::media},
         false},
        {"empty kinds take no sidecar",
         scope(none, true, true, false),
         {photo, FileRole::sidecar},
         false},
        {"sidecar without the flag",
         scope(everyKind, false, true, true),
         {photo, FileRole::sidecar},
         false},
        {"sidecar with the flag",
         scope({photo}, true, false, false),
         {photo, FileRole::sidecar},
         true},
        {"video sidecar, video not wanted",
         scope({photo}, true, true, true),
         {video, FileRole::sidecar},
         false},
        {"proxy without the flag",
         scope(everyKind, true, false, true),
         {video, FileRole::proxy},
         false},
        {"proxy with the flag", scope({video}, false, true, false), {video, FileRole::proxy}, true},
        {"proxy with the flag, video not wanted",
         scope({photo}, true, true, true),
         {video, FileRole::proxy},
         false},
        {"photo thumbnail follows the proxy flag",
         scope({photo}, false, true, false),
         {photo, FileRole::thumbnail},
         true},
        {"photo thumbnail, sidecars do not take it",
         scope({photo}, true, false, true),
         {photo, FileRole::thumbnail},
         false},
        {"photo thumbnail, photo not wanted",
         scope({video}, false, true, false),
         {photo, FileRole::thumbnail},
         false},
        {"camera data without the flag",
         scope(everyKind, true, true, false),
         {other, FileRole::cameraData},
         false},
        {"camera data with the flag and no kinds",
         scope(none, false, false, true),
         {other, FileRole::cameraData},
         true},
        {"junk with every flag",
         scope(everyKind, true, true, true),
         {other, FileRole::junk},
         false},
        {"photo junk with every flag",
         scope(everyKind, true, true, true),
         {photo, FileRole::junk},
         false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.scope.contains(row.fileClass), row.expected) << row.what;
    }
}

TEST(Kinds, ScopeContainsIgnoresRawFlagAndPhotoFormats) {
    for (PhotoFormats formats : allPhotoFormats) {
        VerifyScope s = VerifyScope::withKinds({photo});
        s.photoFormats = formats;
        EXPECT_TRUE(s.contains({photo, FileRole::media, true})) << rawValue(formats);
        EXPECT_TRUE(s.contains({photo, FileRole::media, false})) << rawValue(formats);
    }
}

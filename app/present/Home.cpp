#include "present/Home.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>

#include "present/Format.h"

namespace halvetrop::present {

namespace {

// Lexically clean: no ".", "..", doubled or trailing "/"; no file-system call.
std::string clean(const std::string& path) {
    std::string out = std::filesystem::path(path).lexically_normal().string();
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

std::string lastComponent(const std::string& path) {
    const std::string c = clean(path);
    if (c == "/") return c;
    const auto slash = c.find_last_of('/');
    return slash == std::string::npos ? c : c.substr(slash + 1);
}

}  // namespace

QString checkHelp(bool canCheck, const QString& shortcutText) {
    if (!canCheck) return QStringLiteral("Choose a card and a backup first");
    return QStringLiteral("Check the card against your backups (%1)").arg(shortcutText);
}

QString scanHelp() {
    return QStringLiteral("See the card's shoots, cameras and sizes without comparing against a backup");
}

QString fileSystemName(const std::string& type) {
    std::string t = type;
    for (const char* wrapper : {"fuseblk.", "fuse."})
        if (t.starts_with(wrapper)) t = t.substr(std::char_traits<char>::length(wrapper));
    if (t == "fuseblk" || t == "fuse" || t == "?") return {};
    return displayText(t).toUpper();
}

bool isVolumeRoot(const std::string& path, const std::string& volumePath) {
    return !path.empty() && clean(path) == clean(volumePath);
}

std::string cardNameBytes(const VolumeInfo& source) {
    if (source.path.empty() || isVolumeRoot(source.path, source.volumePath)) return source.name;
    return lastComponent(source.path);
}

QString cardName(const VolumeInfo& source) { return displayText(cardNameBytes(source)); }

QString placeName(const std::string& path, const std::optional<VolumeInfo>& volume) {
    if (volume && !volume->name.empty() && isVolumeRoot(path, volume->volumePath))
        return displayText(volume->name);
    return displayText(lastComponent(path));
}

QString selectedCardDetail(const std::string& path, const std::optional<VolumeInfo>& info) {
    if (!info) return {};
    if (!isVolumeRoot(path, info->volumePath)) return QStringLiteral("Folder on ") + displayText(info->name);
    // Named before it is described, the volume's size is not known yet.
    QStringList text;
    if (info->totalBytes >= 0) text << byteCount(info->totalBytes);
    const QString fs = fileSystemName(info->fileSystem);
    if (!fs.isEmpty()) text << fs;
    return text.join(QStringLiteral(" · "));
}

OfferedCardLook offeredCardLook(const VolumeInfo& volume, bool hasBackups) {
    const QString name = displayText(volume.name);
    return {name, byteCount(volume.totalBytes) + QStringLiteral(" · inserted"),
            QStringLiteral("Check ") + name, hasBackups ? QStringLiteral("Check") : QStringLiteral("Use")};
}

double usedFraction(int64_t totalBytes, int64_t freeBytes) {
    if (totalBytes < 1) return 0;
    return std::clamp(1.0 - double(freeBytes) / double(totalBytes), 0.0, 1.0);
}

ColorRole usageColor(double used) { return used > 0.9 ? ColorRole::partial : ColorRole::brandFill; }

std::optional<BackupLook> backupLook(const std::string& path, const std::optional<VolumeInfo>& info) {
    if (!info || info->totalBytes < 1) return std::nullopt;
    BackupLook look;
    look.freeLine = byteCount(std::max<int64_t>(info->freeBytes, 0)) + QStringLiteral(" free");
    if (!isVolumeRoot(path, info->volumePath))
        look.freeLine += QStringLiteral(" · on ") + displayText(info->name);
    look.used = usedFraction(info->totalBytes, info->freeBytes);
    look.usedColor = usageColor(look.used);
    return look;
}

QString backupsLabel(size_t count) {
    return count < 2 ? QStringLiteral("Backup") : QStringLiteral("Backups");
}

QString stageTitle(VerifyProgress::Stage stage, const std::string& detail) {
    switch (stage) {
        case VerifyProgress::Stage::scanningSource:
            return QStringLiteral("Reading the card…");
        case VerifyProgress::Stage::readingDates:
            return QStringLiteral("Reading capture dates…");
        case VerifyProgress::Stage::indexingBackups:
            return QStringLiteral("Looking through ") +
                   (detail.empty() ? QStringLiteral("the backups") : displayText(detail)) +
                   QStringLiteral("…");
        case VerifyProgress::Stage::comparing:
            return QStringLiteral("Matching every shot…");
        case VerifyProgress::Stage::done:
            return QStringLiteral("Done");
    }
    return {};
}

QString countLine(int64_t done, int64_t total) {
    if (total < 1) return QStringLiteral(" ");
    return count(done) + QStringLiteral(" of ") + count(total);
}

std::optional<double> barFraction(int64_t done, int64_t total) {
    if (total < 1) return std::nullopt;
    return std::clamp(double(done) / double(total), 0.0, 1.0);
}

PictureNames pictureNames(const std::optional<std::string>& source, const std::vector<std::string>& backups,
                          const std::function<std::optional<VolumeInfo>(const std::string&)>& volumeOf) {
    auto name = [&volumeOf](const std::string& path) {
        return placeName(path, volumeOf ? volumeOf(path) : std::nullopt);
    };
    PictureNames names;
    names.cardName = source ? name(*source) : QStringLiteral("Card");
    names.driveName = backups.empty() ? QStringLiteral("Backup") : name(backups.front());
    names.extraDrives = int(std::max<size_t>(backups.size(), 1) - 1);
    return names;
}

std::vector<Packet> packets(double t, VerifyProgress::Stage stage, double w, double h) {
    const bool twoWay =
        stage == VerifyProgress::Stage::indexingBackups || stage == VerifyProgress::Stage::comparing;
    const double y0 = h / 2 - 14;
    const double px[4] = {150, 240, w - 255, w - 165}, py[4] = {y0, y0 - 46, y0 - 46, y0};
    std::vector<Packet> out;
    for (int i = 0; i < packetCount; ++i) {
        double p = std::fmod(0.45 * t + double(i) / packetCount, 1.0);
        if (p < 0) p += 1;
        Packet k;
        k.backwards = twoWay && i % 2 == 1;
        const double s = k.backwards ? 1 - p : p, r = 1 - s;
        const double b[4] = {r * r * r, 3 * r * r * s, 3 * r * s * s, s * s * s};
        for (int j = 0; j < 4; ++j) {
            k.x += b[j] * px[j];
            k.y += b[j] * py[j];
        }
        k.opacity = std::sin(std::numbers::pi * p);
        out.push_back(k);
    }
    return out;
}

uint32_t brandHighlight(Appearance appearance) {
    switch (appearance) {
        case Appearance::light:
            return 0x6fb6ff;
        case Appearance::hcLight:
            return 0x1a73e8;
        case Appearance::dark:
        case Appearance::hcDark:
            return 0x8cc6ff;
    }
    return 0x6fb6ff;
}

double cardGlowOpacity(double t) { return 0.1 + 0.08 * std::sin(3 * t); }

double driveGlowOpacity(double t, VerifyProgress::Stage stage) {
    return stage == VerifyProgress::Stage::comparing ? 0.12 + 0.1 * std::sin(6 * t) : 0.08;
}

}  // namespace halvetrop::present

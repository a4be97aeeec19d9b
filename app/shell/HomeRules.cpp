#include "shell/HomeRules.h"

#include <QFileInfo>
#include <QKeySequence>

#include <sys/stat.h>

#include "present/Home.h"
#include "present/Paths.h"
#include "present/Sidebar.h"

namespace halvetrop::shell {

namespace {

std::optional<VolumeInfo> volumeFrom(const QVariantMap& map) {
    if (map.isEmpty()) return std::nullopt;
    VolumeInfo v;
    v.path = map.value(QStringLiteral("path")).toString().toStdString();
    v.volumePath = map.value(QStringLiteral("volumePath")).toString().toStdString();
    v.name = map.value(QStringLiteral("name")).toString().toStdString();
    v.fileSystem = map.value(QStringLiteral("fileSystem")).toString().toStdString();
    // Sizes not known yet (a volume named before it is described) are negative.
    v.totalBytes = map.value(QStringLiteral("totalBytes"), -1).toLongLong();
    v.freeBytes = map.value(QStringLiteral("freeBytes"), -1).toLongLong();
    return v;
}

VerifyProgress::Stage stageFrom(const QString& raw) {
    using S = VerifyProgress::Stage;
    for (S s : {S::scanningSource, S::readingDates, S::indexingBackups, S::comparing, S::done})
        if (raw == QLatin1String(rawValue(s).data(), qsizetype(rawValue(s).size()))) return s;
    return S::scanningSource;
}

QString lastComponent(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

}  // namespace

QString HomeRules::checkHelp(bool canCheck) const {
    return present::checkHelp(canCheck,
                              QKeySequence(QStringLiteral("Ctrl+Return")).toString(QKeySequence::NativeText));
}

QString HomeRules::scanHelp() const { return present::scanHelp(); }

QVariantMap HomeRules::selectedCard(const QString& path, const QVariantMap& info) const {
    return {{QStringLiteral("name"), present::placeName(path.toStdString(), volumeFrom(info))},
            {QStringLiteral("detail"), present::selectedCardDetail(path.toStdString(), volumeFrom(info))}};
}

QVariantMap HomeRules::offeredCard(const QVariantMap& volume, bool hasBackups) const {
    const auto look = present::offeredCardLook(volumeFrom(volume).value_or(VolumeInfo{}), hasBackups);
    return {{QStringLiteral("title"), look.title},
            {QStringLiteral("subtitle"), look.subtitle},
            {QStringLiteral("help"), look.help},
            {QStringLiteral("action"), look.action}};
}

QVariantMap HomeRules::backup(const QString& path, const QVariantMap& info, bool connected) const {
    QVariantMap out{
        {QStringLiteral("name"),
         connected ? present::placeName(path.toStdString(), volumeFrom(info)) : lastComponent(path)},
        {QStringLiteral("freeLine"), QString()},
        {QStringLiteral("bar"), false},
        {QStringLiteral("used"), 0.0},
        {QStringLiteral("usedColor"), QStringLiteral("brandFill")}};
    // Its mount point holds no drive now: any facts there would be the system disk's.
    if (!connected) {
        out[QStringLiteral("freeLine")] = present::notConnectedText({path.toStdString()});
        return out;
    }
    if (const auto look = present::backupLook(path.toStdString(), volumeFrom(info))) {
        out[QStringLiteral("freeLine")] = look->freeLine;
        out[QStringLiteral("bar")] = true;
        out[QStringLiteral("used")] = look->used;
        const auto role = present::roleName(look->usedColor);
        out[QStringLiteral("usedColor")] = QString::fromLatin1(role.data(), qsizetype(role.size()));
    }
    return out;
}

QString HomeRules::backupsLabel(int count) const { return present::backupsLabel(size_t(std::max(count, 0))); }

std::optional<std::string> droppedFolder(const QUrl& url) {
    std::optional<std::string> path = present::localPath(url);
    struct stat st {};
    if (!path || ::stat(path->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
    return path;
}

QVariantMap HomeRules::dropFolders(const QList<QUrl>& urls) const {
    QList<QUrl> folders;
    int ignored = 0;
    for (const QUrl& url : urls) {
        if (droppedFolder(url))
            folders << url;
        else
            ++ignored;
    }
    return {{QStringLiteral("folders"), QVariant::fromValue(folders)}, {QStringLiteral("ignored"), ignored}};
}

QString HomeRules::stageTitle(const QString& stage, const QString& detail) const {
    return present::stageTitle(stageFrom(stage), detail.toStdString());
}

QString HomeRules::countLine(double done, double total) const {
    return present::countLine(int64_t(done), int64_t(total));
}

double HomeRules::barFraction(double done, double total) const {
    return present::barFraction(int64_t(done), int64_t(total)).value_or(-1);
}

QVariantMap HomeRules::pictureNames(const QString& sourceKey, const QStringList& destinationKeys,
                                    const QVariantMap& facts) const {
    std::vector<std::string> backups;
    for (const QString& key : destinationKeys)
        if (auto path = present::pathOfKey(key)) backups.push_back(*path);
    const std::optional<std::string> source =
        sourceKey.isEmpty() ? std::nullopt : present::pathOfKey(sourceKey);
    const auto names = present::pictureNames(source, backups, [&facts](const std::string& path) {
        return volumeFrom(facts.value(present::pathKey(path)).toMap());
    });
    return {{QStringLiteral("cardName"), names.cardName},
            {QStringLiteral("driveName"), names.driveName},
            {QStringLiteral("extraDrives"), names.extraDrives}};
}

QVariantList HomeRules::packets(double t, const QString& stage, double width, double height) const {
    QVariantList out;
    for (const auto& p : present::packets(t, stageFrom(stage), width, height))
        out << QVariantMap{{QStringLiteral("x"), p.x},
                           {QStringLiteral("y"), p.y},
                           {QStringLiteral("opacity"), p.opacity},
                           {QStringLiteral("backwards"), p.backwards}};
    return out;
}

double HomeRules::cardGlow(double t) const { return present::cardGlowOpacity(t); }

double HomeRules::driveGlow(double t, const QString& stage) const {
    return present::driveGlowOpacity(t, stageFrom(stage));
}

}  // namespace halvetrop::shell

namespace halvetrop::shell {

QColor HomeRules::brandHighlight(int appearance) const {
    const auto a = appearance >= 0 && appearance <= int(present::Appearance::hcDark)
                       ? present::Appearance(appearance)
                       : present::Appearance::light;
    return QColor::fromRgb(present::brandHighlight(a));
}

}  // namespace halvetrop::shell

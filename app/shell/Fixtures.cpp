#include "shell/Fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include "model/FileRows.h"

namespace halvetrop::shell {

TimeNs fixtureNow() { return TimeNs(1'767'000'000) * 1'000'000'000; }

VerifyReport fixtureReport(const std::string& name, int64_t files, int64_t covered, bool cardOnly, bool ready,
                           TimeNs finishedAt) {
    VerifyReport r;
    r.source.name = name;
    r.source.path = "/media/ana/" + name;
    r.source.isLikelyCameraCard = true;
    if (!cardOnly) r.destinations.push_back(VolumeInfo{});
    r.totals.files = files;
    r.totals.verified = covered;
    r.totals.missing = files - covered;
    r.safeToFormat = ready;
    r.finishedAt = finishedAt;
    for (const auto& [day, camera] : {std::pair{"2025-03-01", "Z9"}, std::pair{"2025-03-04", "A7 IV"}}) {
        r.groups.emplace_back();
        r.groups.back().day = day;
        r.groups.back().camera = camera;
    }
    return r;
}

Fixtures::Fixtures(QObject* parent) : QObject(parent) {}

QObject* Fixtures::history(int count) {
    auto* rows = new HistoryRows(fixtureNow, this);
    std::vector<SavedCheck> checks;
    std::vector<VerifyReport> reports;
    const TimeNs hour = TimeNs(3600) * 1'000'000'000;
    for (int i = 0; i < count; ++i) {
        const int kind = i % 4;
        const std::string name = i == 1 ? "<b>CARD</b> 2" : "CARD " + std::to_string(i + 1);
        const int64_t files = 100 + 37 * i;
        VerifyReport r = fixtureReport(name, files, kind == 1 ? files - 12 : files, kind == 2, kind == 3,
                                       fixtureNow() - hour * (i * 7 + 2));
        checks.push_back({QStringLiteral("saved-%1").arg(i), present::summarize(r)});
        reports.push_back(std::move(r));
    }
    reports_.push_back(std::move(reports));
    rows->setProperty("fixtureIndex", int(reports_.size()) - 1);
    rows->setChecks(std::move(checks));
    return rows;
}

void Fixtures::showSaved(QObject* rows, int index, bool results) {
    auto* h = qobject_cast<HistoryRows*>(rows);
    if (!h) return;
    const auto& reports = reports_.at(size_t(h->property("fixtureIndex").toInt()));
    h->setShown(index >= 0 && index < int(reports.size()) ? std::optional(reports[size_t(index)].finishedAt)
                                                          : std::nullopt,
                results);
}

QString Fixtures::makeFolder(const QString& name) {
    QDir(dir_.path()).mkpath(name);
    return dir_.filePath(name);
}

QString Fixtures::makeFile(const QString& name) {
    QFile file(dir_.filePath(name));
    if (file.open(QIODevice::WriteOnly)) file.write("x");
    return dir_.filePath(name);
}

QObject* Fixtures::files(bool cardOnly) {
    auto r =
        std::make_unique<VerifyReport>(fixtureReport("EOS_DIGITAL", 0, 0, cardOnly, false, fixtureNow()));
    if (!cardOnly) {
        r->destinations.front().name = "Archive";
        r->destinations.push_back(VolumeInfo{});
        r->destinations.back().name = "Travel SSD";
    }
    const FileStatus statuses[] = {FileStatus::verified, FileStatus::backedUp,    FileStatus::missing,
                                   FileStatus::conflict, FileStatus::likely,      FileStatus::unreadable,
                                   FileStatus::verified, FileStatus::notCompared, FileStatus::missing,
                                   FileStatus::backedUp, FileStatus::cloudOnly,   FileStatus::changed};
    const MediaKind kinds[] = {MediaKind::photo, MediaKind::photo, MediaKind::video,
                               MediaKind::photo, MediaKind::audio, MediaKind::other};
    for (int i = 0; i < 12; ++i) {
        FileResult f;
        f.id = i;
        f.kind = kinds[i % 6];
        f.name = i == 3 ? "<b>DSC</b>\n0003.ARW"
                        : "DSC0" + std::to_string(i + 100) + (f.kind == MediaKind::video ? ".MP4" : ".JPG");
        f.folder = i < 8 ? "DCIM/100MSDCF" : "";
        f.relativePath = f.folder.empty() ? "/" + f.name : f.folder + "/" + f.name;
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
        r->files.push_back(std::move(f));
    }
    // Real pictures behind the photos, so the grid shows thumbnails made by the helper.
    r->source.path = dir_.filePath(QStringLiteral("EOS_DIGITAL")).toStdString();
    r->source.volumePath = r->source.path;
    for (FileResult& f : r->files) {
        if (f.kind != MediaKind::photo || f.name.find('<') != std::string::npos) continue;
        const QString path = QString::fromStdString(r->absolutePath(f));
        QDir().mkpath(QFileInfo(path).path());
        QImage image(480, 320, QImage::Format_RGB32);
        const int hue = int(f.id * 47 % 360);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixelColor(x, y, QColor::fromHsv((hue + x / 8) % 360, 120 + y / 4, 230 - y / 3));
        image.save(path, "JPEG");
    }
    std::vector<int> all(r->files.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = int(i);
    auto* rows = new FileRows(this);
    rows->setReport(r.get(), all);
    fileReports_.push_back(std::move(r));
    return rows;
}

QObject* Fixtures::settingsStore(const QString& content) {
    lastFile_ = dir_.filePath(QStringLiteral("settings-%1.ini").arg(++files_));
    QFile file(lastFile_);
    if (file.open(QIODevice::WriteOnly)) file.write(content.toUtf8());
    file.close();
    settings_.push_back(std::make_unique<QSettings>(lastFile_, QSettings::IniFormat));
    return new SettingsStore(*settings_.back(), this);
}

QString Fixtures::storedSetting(const QString& key) const {
    QSettings fresh(lastFile_, QSettings::IniFormat);
    return fresh.value(key).toString();
}

}  // namespace halvetrop::shell

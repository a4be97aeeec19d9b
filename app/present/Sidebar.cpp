#include "present/Sidebar.h"

#include "present/Format.h"
#include "present/Home.h"

#include <QStringList>

namespace halvetrop::present {

namespace {

std::vector<std::string_view> components(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && path[i] == '/') ++i;
        const size_t start = i;
        while (i < path.size() && path[i] != '/') ++i;
        if (i > start) parts.push_back(path.substr(start, i - start));
    }
    return parts;
}

// /mnt/NAME, /media/NAME, /media/USER/NAME, /run/media/USER/NAME: where removable media mount.
bool looksLikeMountPoint(std::string_view path) {
    const auto parts = components(path);
    if (parts.size() == 2) return parts[0] == "mnt" || parts[0] == "media";
    if (parts.size() == 3) return parts[0] == "media";
    if (parts.size() == 4) return parts[0] == "run" && parts[1] == "media";
    return false;
}

}  // namespace

std::string_view volumeSymbol(const VolumeInfo& volume) {
    // A mount of part of a volume is a folder of it, never a card.
    if (volume.showsPart()) return "folder.fill";
    if (volume.isLikelyCameraCard) return "sdcard.fill";
    if (volume.isNetwork) return "server.rack";
    if (volume.isInternal) return "internaldrive.fill";
    return "externaldrive.fill";
}

LocationLook locationLook(const std::string& path, const std::optional<VolumeInfo>& volume, bool connected) {
    const auto parts = components(path);
    LocationLook look;
    look.name = parts.empty() ? QStringLiteral("/") : displayText(parts.back());
    auto split = [&look](QString head, QString tail) {
        look.detail = head + tail;
        look.detailHead = std::move(head);
        look.detailTail = std::move(tail);
    };
    if (!connected) {
        look.symbol = looksLikeMountPoint(path) ? "externaldrive.fill" : "folder.fill";
        const QString said = notConnectedText({path});
        const QString name = quoted(look.name);
        const qsizetype head = said.startsWith(name) ? name.size() : 0;
        split(said.left(head), said.mid(head));
        return look;
    }
    if (volume) {
        look.name = placeName(path, volume);
        look.symbol = volumeSymbol(*volume);
        // Named before it is described, the volume's free space is not known yet.
        split(displayText(volume->name),
              volume->freeBytes < 0
                  ? QString()
                  : QStringLiteral(" · ") + byteCount(volume->freeBytes) + QStringLiteral(" free"));
        return look;
    }
    look.symbol = looksLikeMountPoint(path) ? "externaldrive.fill" : "folder.fill";
    const size_t slash = path.find_last_of('/');
    split(slash == std::string::npos || slash == 0 ? QStringLiteral("/") : displayText(path.substr(0, slash)),
          QString());
    return look;
}

QString notConnectedText(const std::vector<std::string>& backups) {
    QStringList names;
    for (const auto& b : backups) {
        const auto parts = components(b);
        names << quoted(parts.empty() ? QStringLiteral("/") : displayText(parts.back()));
    }
    return listText(names) +
           agree(names.size(), QStringLiteral(" isn't connected"), QStringLiteral(" aren't connected"));
}

bool isCovered(const StatusCounts& totals) { return totals.files >= 1 && totals.files == totals.covered(); }

bool isCovered(const ReportSummary& report) { return isCovered(report.totals) && report.cardUnreadable == 0; }

QString coverageLine(const ReportSummary& report) {
    const StatusCounts& totals = report.totals;
    if (isCovered(report)) return fileCount(totals.files) + QStringLiteral(" backed up");
    if (isCovered(totals)) return count(report.cardUnreadable) + QStringLiteral(" couldn't be read");
    return count(totals.notCovered()) + QStringLiteral(" not backed up");
}

SavedCheckLook savedCheckLook(const ReportSummary& report) {
    const StatusCounts& t = report.totals;
    const bool ok = isCovered(report);
    if (report.isCardOnly())
        return {"sdcard", ColorRole::brand, fileCount(t.files) + QStringLiteral(" · card only")};
    const ColorRole color = ok ? ColorRole::verified : ColorRole::missing;
    const QString line = coverageLine(report);
    if (report.readyToFormat) return {"checkmark.seal.fill", color, line};
    return {ok ? "checkmark.circle.fill" : "exclamationmark.circle.fill", color, line};
}

SavedCheckLook changedSinceLook() {
    return {"exclamationmark.triangle.fill", ColorRole::partial, QStringLiteral("Changed since this check")};
}

bool isCurrentSavedCheck(TimeNs savedFinishedAt, std::optional<TimeNs> shownFinishedAt, bool showingResults) {
    return showingResults && shownFinishedAt && *shownFinishedAt == savedFinishedAt;
}

DropPlan planDrop(bool hasSource, const std::vector<std::string>& folders) {
    DropPlan plan;
    auto rest = folders.begin();
    if (!hasSource && !folders.empty()) plan.source = *rest++;
    plan.backups.assign(rest, folders.end());
    return plan;
}

}  // namespace halvetrop::present

// Copy requests and the copy dialog, the last copy's report with its hand-off, and the export of
// the shown report.
#include "model/AppModel.h"
#include "model/CopySheet.h"
#include "model/ModelText.h"
#include "model/WriteAll.h"
#include "present/Format.h"
#include "present/Paths.h"

#include <QDesktopServices>
#include <QSaveFile>

namespace halvetrop {

QList<qint64> AppModel::copyableIDs(const QList<qint64>& ids) const {
    QList<qint64> out;
    if (!report_) return out;
    std::vector<int64_t> in(ids.begin(), ids.end());
    for (int64_t id : halvetrop::copyableIDs(*report_, filesByID_, in))
        if (!goneFromCard(id)) out << id;
    return out;
}

bool AppModel::goneFromCard(int64_t id) const {
    const std::optional<int> at = filesByID_.position(id);
    return at && size_t(*at) < gone_.size() && gone_[size_t(*at)];
}

int64_t AppModel::goneCopyable() const {
    if (!report_ || gone_.empty()) return 0;
    std::vector<int64_t> ids;
    for (size_t at = 0; at < gone_.size(); ++at)
        if (gone_[at]) ids.push_back(report_->files[at].id);
    return int64_t(halvetrop::copyableIDs(*report_, filesByID_, ids).size());
}

void AppModel::requestCopy(const QList<qint64>& ids, const QString& title) {
    QList<qint64> ok = copyableIDs(ids);
    if (ok.isEmpty() || copying()) return;
    stopPass();
    copyRequest_ = CopyRequest{QUuid::createUuid(), std::vector<int64_t>(ok.begin(), ok.end()), title};
    if (copySheet_) copySheet_->deleteLater();
    CopySheetDeps sheetDeps;
    sheetDeps.describeVolume = deps_.describeVolume;
    sheetDeps.now = deps_.now;
    sheetDeps.runCopy = deps_.runCopy;
    sheetDeps.notConnected = unresolved_;
    auto* sheet = new CopySheet(*this, *report_, *copyRequest_, *settings_, std::move(sheetDeps), this);
    connect(this, &AppModel::backupPresenceChanged, sheet,
            [this, sheet] { sheet->setNotConnected(unresolved_); });
    // The dialog belongs to the result it was opened over. Hidden while no result is shown (the
    // card was pulled out), it would come back over the next check's result, another backup's
    // perhaps: once another check's result, or none, is shown, it closes as soon as no copy runs.
    // What a copy wrote stays under Last Copy.
    const auto closeOverAnother = [this, sheet, serial = reportSerial_] {
        if (copySheet_.data() == sheet && reportSerial_ != serial && !copying()) clearCopyRequest();
    };
    connect(this, &AppModel::reportChanged, sheet, closeOverAnother);
    connect(this, &AppModel::copyingChanged, sheet, closeOverAnother);
    copySheet_ = sheet;
    emit copyRequestChanged();
}

void AppModel::requestCopyAllMissing() {
    if (!report_) return;
    QList<qint64> all;
    for (int64_t id : allFileIDs(*report_)) all << id;
    requestCopy(all, copyAllMissingTitle());
}

void AppModel::clearCopyRequest() {
    copyRequest_.reset();
    // Later: the sheet itself may be asking.
    if (copySheet_) copySheet_->deleteLater();
    copySheet_ = nullptr;
    emit copyRequestChanged();
}

void AppModel::revealPaths(const QStringList& keys) {
    std::vector<std::string> list;
    for (const QString& k : keys)
        if (auto path = present::pathOfKey(k)) list.push_back(std::move(*path));
    revealOnDisk(list);
}

void AppModel::openFolder(const QString& key) {
    const std::optional<std::string> path = present::pathOfKey(key);
    if (!path) return;
    // A URL of the folder's bytes: a path with "#" or "?", or one that is not UTF-8, stays the
    // path it is.
    if (!QDesktopServices::openUrl(present::fileUrl(*path)))
        show(QStringLiteral("The folder couldn\u2019t be opened: ") + present::displayText(*path), false);
}

void AppModel::saveLastCopyCSV() {
    auto record = lastCopy_.value<std::shared_ptr<const present::CopyReport>>();
    if (!record || !deps_.platform.savePicker) return;
    auto target =
        deps_.platform.savePicker->saveFile(QString(), fromBytes(record->suggestedFileName()),
                                            QStringLiteral("CSV (*.csv)"), saveFolder(), cardFolders());
    if (!target) return;
    QSaveFile out(fromBytes(*target));
    if (!out.open(QIODevice::WriteOnly) || !writeAll(out, record->csv()) || !out.commit())
        show(ExportFailure{fromBytes(*target), out.errorString()}.noticeText(), false);
}

QStringList AppModel::photoAppNames() const {
    QStringList names;
    for (const auto& a : photoApps_) names << fromBytes(a.name);
    return names;
}

QStringList AppModel::photoAppHelps() const {
    QStringList helps;
    auto record = lastCopy_.value<std::shared_ptr<const present::CopyReport>>();
    if (!record) return helps;
    const size_t files = record->allCopiedPaths().size();
    for (const auto& a : photoApps_) helps << fromBytes(handOffHelp(a, files, record->folders.size()));
    return helps;
}

void AppModel::handOff(int app) {
    auto record = lastCopy_.value<std::shared_ptr<const present::CopyReport>>();
    if (!record || app < 0 || size_t(app) >= photoApps_.size()) return;
    std::vector<std::string> folders;
    for (const auto& f : record->folders) folders.push_back(f.path);
    if (auto failure =
            PhotoApps::open(photoApps_[size_t(app)], record->allCopiedPaths(), folders, record->driveRoot))
        show(fromBytes(*failure), false);
}

void AppModel::chooseCopyLocation() {
    auto* sheet = qobject_cast<CopySheet*>(copySheet_.data());
    if (!sheet || !deps_.platform.folderPicker) return;
    const std::string wanted = sheet->locationStart();
    const DialogStart start = dialogStart(wanted.empty() ? mountRoot() : wanted);
    auto picked = deps_.platform.folderPicker->pickFolder(
        QStringLiteral("Choose where to save the copies"), QStringLiteral("Save Here"), start.folder, false,
        std::nullopt, cardFolders(), source_, CopySheet::cardIsNoSaveFolderText(sheet->cardName()));
    if (!picked.empty() && sheet == copySheet_.data()) sheet->pickFolder(picked.front());
}

void AppModel::exportCSV() {
    if (!report_ || !deps_.platform.savePicker) return;
    QString suggested = csvFileName(*report_, QDate::currentDate());
    auto target = deps_.platform.savePicker->saveFile(QString(), suggested, QStringLiteral("CSV (*.csv)"),
                                                      saveFolder(), cardFolders());
    // The report shown when the user confirmed, which a fold may have changed meanwhile.
    if (!target || !report_) return;
    if (auto failure = writeCSV(*report_, fromBytes(*target))) show(failure->noticeText(), false);
}

void AppModel::copyStarted(RunningCopy copy) {
    stopPass();
    copy_ = std::move(copy);
    emit copyingChanged();
    emitComputed();
}

void AppModel::copyEnded() {
    copy_.reset();
    emit copyingChanged();
    emitComputed();
    // The backup holds more now: its free space is read again.
    refreshVolumeFacts();
}

}  // namespace halvetrop

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSettings>
#include <QUrl>
#include <QWindow>

#include "platform/Account.h"
#include "platform/LinuxServices.h"

namespace halvetrop {

std::string cleanLocalPath(const QString& path) {
    QString clean = QDir::cleanPath(QDir(QDir::rootPath()).absoluteFilePath(path));
    // cleanPath keeps ".." above the root, where it means the root itself.
    while (clean == QLatin1String("/..") || clean.startsWith(QLatin1String("/../"))) clean.remove(0, 3);
    if (clean.isEmpty()) clean = QStringLiteral("/");
    return QFile::encodeName(clean).toStdString();
}

namespace {

// The dialog stays above the window that asked, also when that window is a Qt Quick one (a
// QWidget cannot be its child).
void placeOverFocusWindow(QFileDialog& dialog) {
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.winId();
    if (QWindow* handle = dialog.windowHandle(); handle && QGuiApplication::focusWindow() != handle)
        handle->setTransientParent(QGuiApplication::focusWindow());
}

// The folder a dialog opens in: the nearest one still there (a backup's drive may be gone), else
// the account's home folder (HOME may be unset, or another user's).
QString existingFolder(const std::string& wanted) {
    const QString home = QFile::decodeName(QByteArray::fromStdString(currentAccount().home));
    if (wanted.empty()) return home;
    QString folder = QFile::decodeName(QByteArray::fromStdString(wanted));
    while (!QFileInfo(folder).isDir()) {
        const QString up = QFileInfo(folder).path();
        if (up == folder) break;
        folder = up;
    }
    return QFileInfo(folder).isDir() ? folder : home;
}

// A QFileDialog lists, while it is being made, the folder the last one was left in: this process
// keeps that folder, and Qt's stored dialog state keeps it for the first dialog of a process (any
// Qt application of the user writes it). It may lie inside a card. So the stored state names this
// dialog's folder before the dialog is made, and the dialog goes back there when it closes, which
// is what this process then keeps.
class StartsIn {
public:
    explicit StartsIn(QString folder) : folder_(std::move(folder)) {
        QSettings state(QSettings::UserScope, QStringLiteral("QtProject"));
        state.setValue(QStringLiteral("FileDialog/lastVisited"), QUrl::fromLocalFile(folder_).toString());
    }
    const QString& folder() const { return folder_; }
    void leave(QFileDialog& dialog) const { dialog.setDirectory(folder_); }

private:
    QString folder_;
};

std::vector<std::string> chosen(const QFileDialog& dialog) {
    std::vector<std::string> out;
    for (const QString& f : dialog.selectedFiles()) {
        std::string p = cleanLocalPath(f);
        if (std::find(out.begin(), out.end(), p) == out.end()) out.push_back(std::move(p));
    }
    return out;
}

}  // namespace

std::vector<std::string> DialogFolderPicker::pickFolder(const QString& title, const QString& prompt,
                                                        const std::optional<std::string>& startingAt,
                                                        bool multiple,
                                                        const std::optional<std::string>& selected) {
    const StartsIn start(existingFolder(startingAt.value_or(std::string())));
    const QString& folder = start.folder();
    QFileDialog dialog(nullptr, title, folder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::Accept, prompt);
    if (multiple) {
        // The dialog has no switch for several folders; its own views take extended selection and
        // it hands every selected folder to selectedFiles().
        for (const char* name : {"listView", "treeView"})
            if (auto* view = dialog.findChild<QAbstractItemView*>(QLatin1String(name)))
                view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
    // Shown chosen, not opened: its name stands in the name field, and accepting picks it.
    if (selected &&
        cleanLocalPath(QFileInfo(QFile::decodeName(QByteArray::fromStdString(*selected))).path()) ==
            cleanLocalPath(folder))
        dialog.selectFile(QFile::decodeName(QByteArray::fromStdString(*selected)));
    placeOverFocusWindow(dialog);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    std::vector<std::string> out = accepted ? chosen(dialog) : std::vector<std::string>();
    start.leave(dialog);
    if (!multiple && out.size() > 1) out.resize(1);
    return out;
}

std::optional<std::string> DialogSavePicker::saveFile(const QString& title, const QString& suggestedName,
                                                      const QString& nameFilter, const std::string& folder) {
    const QFileInfo suggested(suggestedName);
    const StartsIn start(suggested.isAbsolute()
                             ? existingFolder(QFile::encodeName(suggested.path()).toStdString())
                             : existingFolder(folder));
    QFileDialog dialog(nullptr, title, start.folder());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (!nameFilter.isEmpty()) dialog.setNameFilter(nameFilter);
    // A name typed without its extension still gets the suggested one.
    if (const QString suffix = suggested.suffix(); !suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
    dialog.selectFile(suggestedName);
    placeOverFocusWindow(dialog);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    std::vector<std::string> out = accepted ? chosen(dialog) : std::vector<std::string>();
    start.leave(dialog);
    if (out.empty()) return std::nullopt;
    return out.front();
}

}  // namespace halvetrop

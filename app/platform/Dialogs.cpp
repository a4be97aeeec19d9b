#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QWindow>

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
                                                        bool multiple) {
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setWindowTitle(title);
    dialog.setLabelText(QFileDialog::Accept, prompt);
    if (startingAt) {
        // A backup's drive may be gone: the picker opens at the nearest folder still there.
        QString folder = QFile::decodeName(QByteArray::fromStdString(*startingAt));
        while (!QFileInfo(folder).isDir()) {
            const QString up = QFileInfo(folder).path();
            if (up == folder) break;
            folder = up;
        }
        dialog.setDirectory(QFileInfo(folder).isDir() ? folder : QDir::homePath());
    }
    if (multiple) {
        // The dialog has no switch for several folders; its own views take extended selection and
        // it hands every selected folder to selectedFiles().
        for (const char* name : {"listView", "treeView"})
            if (auto* view = dialog.findChild<QAbstractItemView*>(QLatin1String(name)))
                view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
    placeOverFocusWindow(dialog);
    if (dialog.exec() != QDialog::Accepted) return {};
    std::vector<std::string> out = chosen(dialog);
    if (!multiple && out.size() > 1) out.resize(1);
    return out;
}

std::optional<std::string> DialogSavePicker::saveFile(const QString& title, const QString& suggestedName,
                                                      const QString& nameFilter) {
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setWindowTitle(title);
    if (!nameFilter.isEmpty()) dialog.setNameFilter(nameFilter);
    // A name typed without its extension still gets the suggested one.
    if (const QString suffix = QFileInfo(suggestedName).suffix(); !suffix.isEmpty())
        dialog.setDefaultSuffix(suffix);
    if (QFileInfo(suggestedName).isAbsolute()) {
        dialog.selectFile(suggestedName);
    } else {
        dialog.setDirectory(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        dialog.selectFile(suggestedName);
    }
    placeOverFocusWindow(dialog);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    std::vector<std::string> out = chosen(dialog);
    if (out.empty()) return std::nullopt;
    return out.front();
}

}  // namespace halvetrop

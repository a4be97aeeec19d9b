#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHash>
#include <QIdentityProxyModel>
#include <QLineEdit>
#include <QSettings>
#include <QUrl>
#include <QValidator>
#include <QWindow>

#include <pwd.h>

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

// The folders a dialog must not list (the cards), by the paths a dialog reaches them through: as
// given and as the file system resolves them, since a link to a card lists the card.
class Fence {
public:
    explicit Fence(const std::vector<std::string>& roots) {
        for (const std::string& r : roots) {
            const QString root = QFile::decodeName(QByteArray::fromStdString(r));
            if (root.isEmpty() || QDir::cleanPath(root) == QLatin1String("/")) continue;
            roots_ << QDir::cleanPath(root) << resolved(root);
        }
        roots_.removeDuplicates();
    }
    bool empty() const { return roots_.isEmpty(); }
    // `path` (absolute) is a fenced folder or lies below one, also through a link.
    bool holds(const QString& path) const { return at(QDir::cleanPath(path)) || at(resolved(path)); }
    // `path` is strictly below a fenced folder.
    bool below(const QString& path) const {
        for (const QString& p : {QDir::cleanPath(path), resolved(path)})
            for (const QString& root : roots_)
                if (p.startsWith(root + QLatin1Char('/'))) return true;
        return false;
    }

private:
    bool at(const QString& path) const {
        for (const QString& root : roots_)
            if (path == root || path.startsWith(root + QLatin1Char('/'))) return true;
        return false;
    }
    // The path with its longest existing part resolved; resolving looks names up and lists no
    // folder.
    static QString resolved(QString path) {
        path = QDir::cleanPath(path);
        QString rest;
        while (true) {
            const QFileInfo info(path);
            if (const QString c = info.canonicalFilePath(); !c.isEmpty()) return QDir::cleanPath(c + rest);
            const QString up = info.path();
            if (up == path) return path + rest;
            rest.prepend(QLatin1Char('/') + info.fileName());
            path = up;
        }
    }

    QStringList roots_;
};

// What the dialog's views and its name completion see of the file system: a fenced folder shows
// greyed, cannot be chosen, entered, renamed or dropped on, and its contents are never fetched.
class FencedModel : public QIdentityProxyModel {
public:
    FencedModel(const Fence& fence, QObject* parent) : QIdentityProxyModel(parent), fence_(fence) {}
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return fenced(index) ? Qt::NoItemFlags : QIdentityProxyModel::flags(index);
    }
    bool hasChildren(const QModelIndex& parent) const override {
        return !fenced(parent) && QIdentityProxyModel::hasChildren(parent);
    }
    bool canFetchMore(const QModelIndex& parent) const override {
        return !fenced(parent) && QIdentityProxyModel::canFetchMore(parent);
    }
    void fetchMore(const QModelIndex& parent) override {
        if (!fenced(parent)) QIdentityProxyModel::fetchMore(parent);
    }

private:
    bool fenced(const QModelIndex& index) const {
        if (!index.isValid()) return false;
        const QString path = index.data(QFileSystemModel::FilePathRole).toString();
        auto known = seen_.constFind(path);
        if (known == seen_.constEnd()) known = seen_.insert(path, fence_.holds(path));
        return *known;
    }

    const Fence& fence_;
    mutable QHash<QString, bool> seen_;
};

// The name field takes no text that names a place below a fenced folder: the dialog completes and
// selects what is typed, which would list that folder. A fenced folder's own name may stand
// (another volume's name may begin with it) unless it asks for its contents, with a final "/",
// or through "~", whose completion lists the folder it names.
class FencedText : public QValidator {
public:
    FencedText(const Fence& fence, const QFileDialog& dialog, QObject* parent)
        : QValidator(parent), fence_(fence), dialog_(dialog) {}
    State validate(QString& input, int&) const override {
        QStringList typed{input};
        const QStringList quoted = input.split(QLatin1Char('"'));
        for (qsizetype i = 1; i < quoted.size(); i += 2) typed << quoted[i];
        State state = Acceptable;
        for (const QString& t : typed) {
            if (t.trimmed().isEmpty()) continue;
            const QString path = absolute(t);
            if (fence_.below(path)) return Invalid;
            if (fence_.holds(path)) {
                if (t.endsWith(QLatin1Char('/')) || t.startsWith(QLatin1Char('~'))) return Invalid;
                state = Intermediate;
            }
        }
        return state;
    }

private:
    // As the dialog reads a typed name: "~" and "~user" at its start, a whole "$NAME", and
    // relative to the folder shown.
    QString absolute(const QString& typed) const {
        QString t = typed;
        if (t.startsWith(QLatin1Char('~'))) {
            const qsizetype slash = t.indexOf(QLatin1Char('/'));
            const QString user = t.mid(1, slash < 0 ? -1 : slash - 1);
            QString home = QDir::homePath();
            if (!user.isEmpty()) {
                const passwd* pw = ::getpwnam(QFile::encodeName(user).constData());
                home = pw ? QFile::decodeName(pw->pw_dir) : QString();
            }
            if (!home.isEmpty()) t = home + (slash < 0 ? QString() : t.mid(slash));
        } else if (t.size() > 1 && t.startsWith(QLatin1Char('$'))) {
            t = QString::fromLocal8Bit(qgetenv(t.mid(1).toLatin1().constData()));
        }
        return QDir::cleanPath(QDir(dialog_.directory().absolutePath()).absoluteFilePath(t));
    }

    const Fence& fence_;
    const QFileDialog& dialog_;
};

// A dialog that never lists a fenced folder: its views and completion see the file system through
// FencedModel, its name field through FencedText, its remembered places leave fenced ones out, and
// it never takes a fenced folder or a file in one, however it came into the name field.
class FencedDialog : public QFileDialog {
public:
    FencedDialog(const QString& title, const QString& folder, const Fence& fence)
        : QFileDialog(nullptr, title, folder), fence_(fence) {
        setOption(QFileDialog::DontUseNativeDialog);
        if (fence_.empty()) return;
        setProxyModel(new FencedModel(fence_, this));
        if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setValidator(new FencedText(fence_, *this, name));
        QStringList places;
        for (const QString& place : history())
            if (!fence_.holds(place)) places << place;
        setHistory(places);
        QList<QUrl> sidebar;
        for (const QUrl& url : sidebarUrls())
            if (!url.isLocalFile() || url.toLocalFile().isEmpty() || !fence_.holds(url.toLocalFile()))
                sidebar << url;
        setSidebarUrls(sidebar);
    }
    void accept() override {
        for (const QString& f : selectedFiles()) {
            if (fence_.holds(f)) {
                if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) name->clear();
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    const Fence& fence_;
};

// The folder itself when it is not fenced, else the folder that holds the outermost fenced one
// around it.
QString outside(const Fence& fence, QString folder) {
    while (fence.holds(folder)) {
        const QString up = QFileInfo(folder).path();
        if (up == folder) return QDir::homePath();
        folder = up;
    }
    return folder;
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
                                                        bool multiple,
                                                        const std::optional<std::string>& selected,
                                                        const std::vector<std::string>& fenced) {
    const Fence fence(fenced);
    const StartsIn start(outside(fence, existingFolder(startingAt.value_or(std::string()))));
    const QString& folder = start.folder();
    FencedDialog dialog(title, folder, fence);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // Told no card, it may show one, offered selected: it deletes, renames, moves and makes nothing.
    if (fence.empty()) dialog.setOption(QFileDialog::ReadOnly);
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
                                                      const QString& nameFilter, const std::string& folder,
                                                      const std::vector<std::string>& fenced) {
    const Fence fence(fenced);
    const QFileInfo suggested(suggestedName);
    const StartsIn start(outside(
        fence, suggested.isAbsolute() ? existingFolder(QFile::encodeName(suggested.path()).toStdString())
                                      : existingFolder(folder)));
    FencedDialog dialog(title, start.folder(), fence);
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

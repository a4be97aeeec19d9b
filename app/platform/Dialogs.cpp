#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHash>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
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

QString decoded(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// Where the dialogs refuse, they say why.
QString insideACard() {
    return QStringLiteral(
        "Folders on a card aren\u2019t opened here: listing them would change the card. "
        "Choose the whole card, or drop the folder on the window.");
}
QString notOnACard() {
    return QStringLiteral("Nothing is saved on a card. Choose a folder on another drive.");
}
QString theCardItself(const QString& card) {
    const QString name = QFileInfo(card).fileName();
    return QStringLiteral("\u201C") + (name.isEmpty() ? card : name) +
           QStringLiteral("\u201D is the card being checked, so it can\u2019t be its own backup.");
}

// The dialog stays above the window that asked, also when that window is a Qt Quick one (a
// QWidget cannot be its child).
void placeOverFocusWindow(QFileDialog& dialog) {
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.winId();
    if (QWindow* handle = dialog.windowHandle(); handle && QGuiApplication::focusWindow() != handle)
        handle->setTransientParent(QGuiApplication::focusWindow());
}

QString homeFolder() { return decoded(homeForDialogs()); }

// The folder a dialog opens in: the nearest one still there (a backup's drive may be gone), else
// the home for dialogs; never "/", where a user can save nothing.
QString existingFolder(const std::string& wanted) {
    if (wanted.empty()) return homeFolder();
    QString folder = decoded(wanted);
    while (!QFileInfo(folder).isDir()) {
        const QString up = QFileInfo(folder).path();
        if (up == folder) break;
        folder = up;
    }
    return QFileInfo(folder).isDir() && QDir::cleanPath(folder) != QLatin1String("/") ? folder : homeFolder();
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

// Folders, by the paths a dialog reaches them through: as given and as the file system resolves
// them, since a link to a card lists the card.
class Places {
public:
    explicit Places(const std::vector<std::string>& roots) {
        for (const std::string& r : roots) {
            const QString root = decoded(r);
            if (root.isEmpty() || QDir::cleanPath(root) == QLatin1String("/")) continue;
            roots_ << QDir::cleanPath(root) << resolved(root);
        }
        roots_.removeDuplicates();
    }
    bool empty() const { return roots_.isEmpty(); }
    // `path` (absolute) is one of the folders or lies below one, also through a link.
    bool hold(const QString& path) const { return at(QDir::cleanPath(path)) || at(resolved(path)); }
    // `path` is strictly below one of the folders.
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

// The folders a dialog must not list (the cards), and what it may take of them: a folder picker
// takes a card whole, but never the card being checked, and a save dialog saves on none.
class Fence {
public:
    Fence(const std::vector<std::string>& cards, const std::optional<std::string>& refused, bool saving,
          const QString& refusedWhy = {})
        : cards_(cards),
          refused_(refused ? std::vector<std::string>{*refused} : std::vector<std::string>()),
          refusedWhy_(refusedWhy.isEmpty() && refused ? theCardItself(decoded(*refused)) : refusedWhy),
          saving_(saving) {}
    bool empty() const { return cards_.empty() && refused_.empty(); }
    // `path` (absolute) is a fenced folder or lies below one: it is never listed.
    bool holds(const QString& path) const { return cards_.hold(path) || refused_.hold(path); }
    // `path` is strictly below a fenced folder.
    bool below(const QString& path) const { return cards_.below(path) || refused_.below(path); }
    // Why the dialog does not take `path`; empty when it does.
    QString refusal(const QString& path) const {
        if (refused_.hold(path)) return refusedWhy_;
        if (saving_ && cards_.hold(path)) return notOnACard();
        return cards_.below(path) ? insideACard() : QString();
    }
    // Why the dialog does not go into `path`, a fenced folder.
    QString refusalInside(const QString& path) const {
        if (refused_.hold(path)) return refusedWhy_;
        return saving_ ? notOnACard() : insideACard();
    }

private:
    Places cards_, refused_;
    QString refusedWhy_;
    bool saving_;
};

// What the dialog's views and its name completion see of the file system: a fenced folder is never
// entered, renamed or dropped on, and its contents are never fetched. A card a folder picker may
// take shows as any folder, to be selected; one it may not take shows greyed, saying why.
class FencedModel : public QIdentityProxyModel {
public:
    FencedModel(const Fence& fence, QObject* parent) : QIdentityProxyModel(parent), fence_(fence) {}
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        const Look& look = lookOf(index);
        if (!look.fenced) return QIdentityProxyModel::flags(index);
        return look.refusal.isEmpty() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::ToolTipRole)
            if (const Look& look = lookOf(index); !look.refusal.isEmpty()) return look.refusal;
        return QIdentityProxyModel::data(index, role);
    }
    bool hasChildren(const QModelIndex& parent) const override {
        return !lookOf(parent).fenced && QIdentityProxyModel::hasChildren(parent);
    }
    bool canFetchMore(const QModelIndex& parent) const override {
        return !lookOf(parent).fenced && QIdentityProxyModel::canFetchMore(parent);
    }
    void fetchMore(const QModelIndex& parent) override {
        if (!lookOf(parent).fenced) QIdentityProxyModel::fetchMore(parent);
    }

private:
    struct Look {
        bool fenced = false;
        QString refusal;
    };
    const Look& lookOf(const QModelIndex& index) const {
        static const Look open;
        if (!index.isValid()) return open;
        const QString path = index.data(QFileSystemModel::FilePathRole).toString();
        auto known = seen_.constFind(path);
        if (known == seen_.constEnd()) {
            const bool fenced = fence_.holds(path);
            known = seen_.insert(path, {fenced, fenced ? fence_.refusal(path) : QString()});
        }
        return *known;
    }

    const Fence& fence_;
    mutable QHash<QString, Look> seen_;
};

// The name field takes no text that names a place below a fenced folder: the dialog completes and
// selects what is typed, which would list that folder. A fenced folder's own name stands, to be
// taken with Return as any name (or typed on: another volume's name may begin with it), unless it
// asks for its contents, with a final "/", or through "~", whose completion lists the folder it
// names. What it turns away, it says why (`why`, read when the field reports a refused key).
class FencedText : public QValidator {
public:
    FencedText(const Fence& fence, const QFileDialog& dialog, QObject* parent)
        : QValidator(parent), fence_(fence), dialog_(dialog) {}
    State validate(QString& input, int&) const override {
        QStringList typed{input};
        const QStringList quoted = input.split(QLatin1Char('"'));
        for (qsizetype i = 1; i < quoted.size(); i += 2) typed << quoted[i];
        for (const QString& t : typed) {
            if (t.trimmed().isEmpty()) continue;
            const QString path = absolute(t);
            if (!fence_.holds(path)) continue;
            if (fence_.below(path) || t.endsWith(QLatin1Char('/')) || t.startsWith(QLatin1Char('~'))) {
                why_ = fence_.refusalInside(path);
                return Invalid;
            }
        }
        return Acceptable;
    }
    const QString& why() const { return why_; }

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
    mutable QString why_;
};

// One click on a button of the dialog while the name field's completions are shown: the list
// closes, as any click outside it closes it, and the button acts too, as the user asked. Qt would
// take the click for closing the list alone, or pass it on only where the window system lets it.
class ClickThrough : public QObject {
public:
    ClickThrough(QFileDialog& dialog, QWidget& completions) : QObject(&completions), dialog_(dialog) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* completions = qobject_cast<QWidget*>(watched);
        if (!completions || event->type() != QEvent::MouseButtonPress) return false;
        const auto* press = static_cast<QMouseEvent*>(event);
        if (completions->rect().contains(press->position().toPoint())) return false;
        QWidget* under = dialog_.childAt(dialog_.mapFromGlobal(press->globalPosition().toPoint()));
        while (under && !qobject_cast<QAbstractButton*>(under)) under = under->parentWidget();
        auto* button = qobject_cast<QAbstractButton*>(under);
        if (!button || !button->isEnabled() || press->button() != Qt::LeftButton) return false;
        // Closed here, and not replayed by Qt as well.
        completions->setAttribute(Qt::WA_NoMouseReplay);
        completions->hide();
        completions->setAttribute(Qt::WA_NoMouseReplay, false);
        QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
        return true;
    }

private:
    QFileDialog& dialog_;
};

// A dialog that never lists a fenced folder: its views and completion see the file system through
// FencedModel, its name field through FencedText, its remembered places leave fenced ones out, a
// fenced folder is never entered however it is opened, and nothing is deleted while one is
// selected. It never takes what the fence refuses, however it came into the name field, and says
// why below the name field; the words stay while the field holds what was refused.
class FencedDialog : public QFileDialog {
public:
    FencedDialog(const QString& title, const QString& folder, const Fence& fence)
        : QFileDialog(nullptr, title, folder), fence_(fence) {
        setOption(QFileDialog::DontUseNativeDialog);
        name_ = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (fence_.empty()) return;
        setProxyModel(new FencedModel(fence_, this));
        note_ = new QLabel(this);
        note_->setObjectName(QStringLiteral("refusal"));
        note_->setTextFormat(Qt::PlainText);
        note_->setWordWrap(true);
        note_->hide();
        if (auto* grid = qobject_cast<QGridLayout*>(layout()))
            grid->addWidget(note_, grid->rowCount(), 0, 1, grid->columnCount());
        if (name_) {
            auto* text = new FencedText(fence_, *this, name_);
            name_->setValidator(text);
            // The field goes back to the text it had before the refused key, which is kept here:
            // it reports the refusal while it still holds the refused text.
            connect(name_, &QLineEdit::textChanged, this, [this](const QString& now) {
                typed_ = now;
                if (!now.startsWith(refusedText_)) note_->hide();
            });
            connect(name_, &QLineEdit::inputRejected, this, [this, text] { say(text->why(), typed_); });
        }
        connect(this, &QFileDialog::directoryEntered, note_, &QWidget::hide);
        for (const char* name : {"listView", "treeView"})
            if (auto* view = findChild<QAbstractItemView*>(QLatin1String(name))) keepOut(*view);
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
        const QStringList files = selectedFiles();
        for (const QString& f : files)
            if (const QString why = fence_.refusal(f); !why.isEmpty()) return say(why, typed_);
        // What is typed on after a refused key goes on from the refused path, to a place the user
        // did not ask for; the words below the field say why already.
        if (note_ && note_->isVisible() && typed_ != refusedText_) return;
        QFileDialog::accept();
    }

protected:
    void showEvent(QShowEvent* event) override {
        // Once the dialog is made: giving the completion a model puts its own filter first again.
        if (name_ && name_->completer() && !clicksThrough_) {
            name_->completer()->popup()->installEventFilter(
                new ClickThrough(*this, *name_->completer()->popup()));
            clicksThrough_ = true;
        }
        QFileDialog::showEvent(event);
    }

private:
    // Shows why, for as long as the name field holds `refused` and what is typed after it.
    void say(const QString& why, const QString& refused) {
        if (!note_ || why.isEmpty()) return;
        refusedText_ = refused;
        note_->setText(why);
        note_->show();
    }
    // The view's activation (a double-click, Return, a single click where the style says so) opens
    // any folder but a fenced one. A fenced folder the dialog takes whole is taken, as its button
    // takes it; any other stays selected, and the dialog says why. While a fenced folder is
    // selected, the file system is read-only to the dialog: no Delete key or menu removes a card
    // with all it holds.
    void keepOut(QAbstractItemView& view) {
        disconnect(&view, SIGNAL(activated(QModelIndex)), this, SLOT(_q_enterDirectory(QModelIndex)));
        connect(&view, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
            const QString path = index.data(QFileSystemModel::FilePathRole).toString();
            if (fence_.holds(path) && !fence_.below(path) && fence_.refusal(path).isEmpty() &&
                fileMode() == QFileDialog::Directory) {
                if (!selectedFiles().contains(path)) selectFile(path);
                return accept();
            }
            if (fence_.holds(path)) return say(fence_.refusalInside(path), typed_);
            QMetaObject::invokeMethod(this, "_q_enterDirectory", Q_ARG(QModelIndex, index));
        });
        auto* files = findChild<QFileSystemModel*>();
        if (!view.selectionModel() || !files) return;
        connect(view.selectionModel(), &QItemSelectionModel::selectionChanged, this, [this, &view, files] {
            bool fenced = false;
            for (const QModelIndex& row : view.selectionModel()->selectedRows())
                fenced = fenced || fence_.holds(row.data(QFileSystemModel::FilePathRole).toString());
            files->setReadOnly(fenced || testOption(QFileDialog::ReadOnly));
        });
    }

    const Fence& fence_;
    QLineEdit* name_ = nullptr;
    QLabel* note_ = nullptr;
    QString typed_, refusedText_;
    bool clicksThrough_ = false;
};

// The folder itself when it is not fenced, else the folder that holds the outermost fenced one
// around it; the home for dialogs where that is "/".
QString outside(const Fence& fence, QString folder) {
    while (fence.holds(folder)) {
        const QString up = QFileInfo(folder).path();
        if (up == folder || up == QLatin1String("/")) return homeFolder();
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

std::vector<std::string> DialogFolderPicker::pickFolder(
    const QString& title, const QString& prompt, const std::optional<std::string>& startingAt, bool multiple,
    const std::optional<std::string>& selected, const std::vector<std::string>& fenced,
    const std::optional<std::string>& refused, const QString& refusedWhy) {
    const Fence fence(fenced, refused, false, refusedWhy);
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
    if (selected && cleanLocalPath(QFileInfo(decoded(*selected)).path()) == cleanLocalPath(folder))
        dialog.selectFile(decoded(*selected));
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
    const Fence fence(fenced, std::nullopt, true);
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

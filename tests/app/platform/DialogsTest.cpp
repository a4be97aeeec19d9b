// The folder and save dialogs, driven offscreen the way a user drives them: select, then accept.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/LinuxServices.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace halvetrop;

namespace {

struct Seen {
    QString title, acceptLabel, folder;
    QAbstractItemView::SelectionMode listMode = QAbstractItemView::NoSelection;
    QAbstractItemView::SelectionMode treeMode = QAbstractItemView::NoSelection;
    QString typedName;
};

// Waits for the dialog and its folder listing, lets `act` work on it, records what the user saw.
void whenDialogShows(Seen& seen, std::function<void(QFileDialog&, QFileSystemModel&)> act) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &seen, act] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        auto* model = dialog->findChild<QFileSystemModel*>();
        if (!model || model->rowCount(model->index(dialog->directory().absolutePath())) == 0) return;
        poll->deleteLater();
        seen.title = dialog->windowTitle();
        seen.acceptLabel = dialog->labelText(QFileDialog::Accept);
        seen.folder = dialog->directory().absolutePath();
        seen.listMode = dialog->findChild<QAbstractItemView*>("listView")->selectionMode();
        seen.treeMode = dialog->findChild<QAbstractItemView*>("treeView")->selectionMode();
        act(*dialog, *model);
    });
    poll->start(10);
}

constexpr time_t kAged = 1'000'000'000;

// Sets a folder's access time far back, before its last change: a listing then moves it.
bool age(const QString& folder) {
    const timespec times[2] = {{kAged, 0}, {0, UTIME_OMIT}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), times, 0) == 0;
}
bool listed(const QString& folder) {
    struct stat st {};
    return ::stat(QFile::encodeName(folder).constData(), &st) != 0 || st.st_atim.tv_sec != kAged;
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    // Neither dialog lists a card's folder by itself: the folder picker offers the card selected
    // in the folder that holds it, and a dialog opens where it is told, also when Qt's stored
    // dialog state (any Qt application writes it) or the last dialog was left inside the card. A
    // listing shows in the folder's access time. First, while no dialog has been open.
    void aCardIsNeverListed() {
        QTemporaryDir dir;
        const QString media = dir.filePath("media"), card = dir.filePath("media/CARD"),
                      documents = dir.filePath("Documents");
        QVERIFY(QDir().mkpath(card + "/DCIM") && QDir().mkpath(documents + "/Reports") && age(card));
        QDir(card).entryList();
        if (!listed(card)) QSKIP("This file system keeps no access times");
        QSettings(QSettings::UserScope, QStringLiteral("QtProject"))
            .setValue(QStringLiteral("FileDialog/lastVisited"), QUrl::fromLocalFile(card).toString());

        // Each dialog is looked at a moment after its folder shows (after the user opened `into`).
        Seen seen;
        auto closeLater = [](bool accept, const QString& into = QString()) {
            return [accept, into](QFileDialog& dialog, QFileSystemModel&) {
                if (!into.isEmpty()) dialog.setDirectory(into);
                QTimer::singleShot(300, &dialog, [&dialog, accept] {
                    accept ? static_cast<QDialog&>(dialog).accept() : dialog.reject();
                });
            };
        };
        QVERIFY(age(card));
        whenDialogShows(seen, closeLater(true));
        DialogFolderPicker picker;
        QCOMPARE(picker.pickFolder("Choose", "Choose", media.toStdString(), false, card.toStdString()),
                 std::vector<std::string>{card.toStdString()});
        QCOMPARE(seen.folder, media);
        QVERIFY(!listed(card));

        whenDialogShows(seen, closeLater(false, card));
        QVERIFY(picker.pickFolder("Choose", "Choose", media.toStdString(), false, std::nullopt).empty());
        QVERIFY(age(card));
        whenDialogShows(seen, closeLater(false));
        QVERIFY(!DialogSavePicker().saveFile("Export", "CARD.csv", "CSV (*.csv)", documents.toStdString()));
        QCOMPARE(seen.folder, documents);
        QVERIFY(!listed(card));
    }

    // The dialogs for backups and places to save are told the cards: whatever the user types
    // (absolute, relative, through a link or "~", with Return), double-clicks or presses Open,
    // a card's folder is never listed and never chosen. A folder beside it is listed as asked,
    // which shows that a listing would be seen.
    void fencedCardIsNeverListed_data() {
        QTest::addColumn<bool>("save");       // the save dialog, else the folder picker
        QTest::addColumn<QString>("typed");   // <card> and <other> stand for the two folders
        QTest::addColumn<QString>("action");  // "return", "open" (the Open button), "double-click"
        QTest::addColumn<bool>("otherListed");
        QTest::newRow("its path") << false << "<card>/"
                                  << "return" << false;
        QTest::newRow("a folder on it") << false << "<card>/DCIM/"
                                        << "return" << false;
        QTest::newRow("relative") << false << "CARD/DCIM"
                                  << "return" << false;
        QTest::newRow("through a link") << false << "link/"
                                        << "return" << false;
        QTest::newRow("through home") << false << "~/media/CARD/"
                                      << "return" << false;
        QTest::newRow("its name, then Open") << false << "CARD"
                                             << "open" << false;
        QTest::newRow("double-clicked") << false << ""
                                        << "double-click" << false;
        QTest::newRow("saved into it") << true << "<card>/"
                                       << "return" << false;
        QTest::newRow("saved onto it") << true << "<card>/DCIM/report.csv"
                                       << "return" << false;
        QTest::newRow("the folder beside it") << false << "<other>/"
                                              << "return" << true;
    }
    void fencedCardIsNeverListed() {
        QFETCH(bool, save);
        QFETCH(QString, typed);
        QFETCH(QString, action);
        QFETCH(bool, otherListed);
        QTemporaryDir dir;
        const QString media = dir.filePath("media"), card = dir.filePath("media/CARD"),
                      other = dir.filePath("media/CARD2");
        QVERIFY(QDir().mkpath(card + "/DCIM") && QDir().mkpath(other + "/DCIM"));
        QVERIFY(QFile::link(card, dir.filePath("media/link")));
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", dir.path().toUtf8());
        QVERIFY(age(card) && age(card + "/DCIM") && age(other));
        QDir(other).entryList();
        if (!listed(other)) QSKIP("This file system keeps no access times");
        QVERIFY(age(other));

        Seen seen;
        whenDialogShows(seen, [&](QFileDialog& dialog, QFileSystemModel& model) {
            auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
            // A message the dialog shows about what was typed is closed first.
            QTimer::singleShot(400, &dialog, [&dialog] {
                if (auto* message = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                    message->reject();
                dialog.reject();
            });
            // Typed into the focused field, as a user types: the dialog leaves its text alone then.
            QApplication::setActiveWindow(&dialog);
            name->setFocus();
            QVERIFY(QTest::qWaitFor([name] { return name->hasFocus(); }));
            name->clear();
            QString text = typed;
            text.replace("<card>", card).replace("<other>", other);
            QTest::keyClicks(name, text);
            if (action == "return") QTest::keyClick(name, Qt::Key_Return);
            if (action == "open") {
                name->setText(text);
                static_cast<QDialog&>(dialog).accept();
            }
            if (action == "double-click") {
                auto* view = dialog.findChild<QAbstractItemView*>("listView");
                view->doItemsLayout();
                const QRect at =
                    view->visualRect(view->model()->index(model.index(card).row(), 0, view->rootIndex()));
                QVERIFY(at.isValid());
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at.center());
                QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at.center());
            }
        });
        const std::vector<std::string> fence{card.toStdString()};
        std::vector<std::string> picked;
        if (save) {
            if (auto saved = DialogSavePicker().saveFile("Export", "report.csv", "CSV (*.csv)",
                                                         media.toStdString(), fence))
                picked.push_back(*saved);
        } else {
            picked = DialogFolderPicker().pickFolder("Choose", "Add", media.toStdString(), true, std::nullopt,
                                                     fence);
        }
        qputenv("HOME", home);
        QCOMPARE(seen.folder, media);
        QVERIFY(!listed(card));
        QVERIFY(!listed(card + "/DCIM"));
        QCOMPARE(listed(other), otherListed);
        // What the field was left holding may be chosen, but never a place on the card.
        for (const auto& p : picked)
            QVERIFY2(p != card.toStdString() && !p.starts_with(card.toStdString() + "/"), p.c_str());
    }

    // The card picker, which offers the card selected, changes nothing on it: the Delete key (which
    // would ask, and be answered yes), renaming and a new folder are not there.
    void theCardPickerChangesNothing() {
        QTemporaryDir dir;
        const QString media = dir.filePath("media"), card = dir.filePath("media/CARD");
        QVERIFY(QDir().mkpath(card + "/DCIM"));
        Seen seen;
        bool writable = true;
        whenDialogShows(seen, [&](QFileDialog& dialog, QFileSystemModel& model) {
            QTimer::singleShot(300, &dialog, [&dialog] {
                if (auto* ask = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                    ask->button(QMessageBox::Yes)->click();
                dialog.reject();
            });
            writable = !model.isReadOnly() || dialog.findChild<QWidget*>("newFolderButton")->isEnabled();
            auto* view = dialog.findChild<QAbstractItemView*>("listView");
            QApplication::setActiveWindow(&dialog);
            view->setFocus();
            QTest::keyClick(view, Qt::Key_Delete);
        });
        QVERIFY(DialogFolderPicker()
                    .pickFolder("Choose", "Choose", media.toStdString(), false, card.toStdString())
                    .empty());
        QVERIFY(QFileInfo(card + "/DCIM").isDir());
        QVERIFY(!writable);
    }

    void pickFolders_data() {
        QTest::addColumn<bool>("multiple");
        QTest::addColumn<QStringList>("select");  // folder names below the start folder
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("two folders at once")
            << true << QStringList{"A001", "B 002"} << true << QStringList{"A001", "B 002"};
        QTest::newRow("three folders at once")
            << true << QStringList{"A001", "B 002", "C"} << true << QStringList{"A001", "B 002", "C"};
        QTest::newRow("one folder") << false << QStringList{"C"} << true << QStringList{"C"};
        QTest::newRow("cancelled") << true << QStringList{"A001"} << false << QStringList{};
    }

    void pickFolders() {
        QFETCH(bool, multiple);
        QFETCH(QStringList, select);
        QFETCH(bool, accept);
        QFETCH(QStringList, expected);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const char* name : {"A001", "B 002", "C"}) QVERIFY(QDir(dir.path()).mkdir(name));
        QVERIFY(QFile(dir.filePath("not a folder.txt")).open(QIODevice::WriteOnly));

        Seen seen;
        whenDialogShows(seen, [&](QFileDialog& dialog, QFileSystemModel& model) {
            auto* view = dialog.findChild<QAbstractItemView*>("listView");
            for (const QString& name : select)
                view->selectionModel()->select(model.index(dir.filePath(name)),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
            accept ? static_cast<QDialog&>(dialog).accept() : dialog.reject();
        });
        // The start folder is given with a trailing "/" and a "." the dialog must not hand back.
        DialogFolderPicker picker;
        const std::vector<std::string> picked = picker.pickFolder(
            "Add backups", "Add", (dir.path() + "/./").toStdString(), multiple, std::nullopt);

        std::vector<std::string> want;
        for (const QString& name : expected)
            want.push_back(QFile::encodeName(dir.filePath(name)).toStdString());
        std::vector<std::string> got = picked;
        std::sort(got.begin(), got.end());
        QCOMPARE(got, want);
        QCOMPARE(seen.title, QStringLiteral("Add backups"));
        QCOMPARE(seen.acceptLabel, QStringLiteral("Add"));
        QCOMPARE(seen.folder, dir.path());
        const auto mode =
            multiple ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
        QCOMPARE(seen.listMode, mode);
        QCOMPARE(seen.treeMode, mode);
    }

    void saveFile_data() {
        QTest::addColumn<QString>("typed");  // empty: keep the suggested name
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QString>("expected");  // below the folder; empty: nothing

        QTest::newRow("suggested name") << "" << true << "EOS_DIGITAL 2026-12-07.csv";
        QTest::newRow("typed without extension") << "mine" << true << "mine.csv";
        QTest::newRow("cancelled") << "" << false << "";
    }

    void saveFile() {
        QFETCH(QString, typed);
        QFETCH(bool, accept);
        QFETCH(QString, expected);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        Seen seen;
        whenDialogShows(seen, [&](QFileDialog& dialog, QFileSystemModel&) {
            auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
            seen.typedName = name->text();
            if (!typed.isEmpty()) name->setText(typed);
            accept ? static_cast<QDialog&>(dialog).accept() : dialog.reject();
        });
        DialogSavePicker picker;
        const std::optional<std::string> saved = picker.saveFile(
            "Export", "EOS_DIGITAL 2026-12-07.csv", "CSV files (*.csv)", dir.path().toStdString());

        QCOMPARE(seen.title, QStringLiteral("Export"));
        QCOMPARE(seen.folder, dir.path());
        QCOMPARE(seen.typedName, QStringLiteral("EOS_DIGITAL 2026-12-07.csv"));
        QCOMPARE(saved.has_value(), !expected.isEmpty());
        if (saved) QCOMPARE(QString::fromStdString(*saved), dir.filePath(expected));
    }

    void cleanPaths() {
        const std::vector<std::pair<QString, std::string>> rows = {{"/media/u/CARD/", "/media/u/CARD"},
                                                                   {"/media/u/./x/../CARD", "/media/u/CARD"},
                                                                   {"//media//u///CARD", "/media/u/CARD"},
                                                                   {"/", "/"},
                                                                   {"/../..", "/"},
                                                                   {"/../media/u", "/media/u"},
                                                                   {"CARD", "/CARD"}};
        for (const auto& [in, out] : rows) QCOMPARE(cleanLocalPath(in), out);
    }

    // Told no folder, or one that is gone with everything above it, a dialog opens in the account's
    // home, also when the launcher left USER and HOME unset.
    void startsInTheAccountsHome() {
        const passwd* account = ::getpwuid(::geteuid());
        if (!account) QSKIP("this user has no entry in the account database");
        const QString home = QFile::decodeName(account->pw_dir);
        const QByteArray user = qgetenv("USER"), homeVariable = qgetenv("HOME");
        qunsetenv("USER");
        qunsetenv("HOME");
        QStringList opened;
        auto* poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, poll, [&opened] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                opened << dialog->directory().absolutePath();
                dialog->reject();
            }
        });
        poll->start(10);
        DialogFolderPicker picker;
        for (const std::optional<std::string>& start :
             {std::optional<std::string>(), std::optional<std::string>("")})
            QVERIFY(picker.pickFolder("Choose", "Choose", start, false, std::nullopt).empty());
        QVERIFY(!DialogSavePicker().saveFile("Export", "r.csv", "CSV (*.csv)", ""));
        delete poll;
        qputenv("USER", user);
        qputenv("HOME", homeVariable);
        QCOMPARE(opened, QStringList(3, home));
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"

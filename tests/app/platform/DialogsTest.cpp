// The folder and save dialogs, driven offscreen the way a user drives them: select, then accept.
#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
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

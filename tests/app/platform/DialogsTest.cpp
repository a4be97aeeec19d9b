// The folder and save dialogs, driven offscreen the way a user drives them: select, then accept.
#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/LinuxServices.h"

using namespace halvetrop;

namespace {

struct Seen {
    QString title, acceptLabel;
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
        seen.listMode = dialog->findChild<QAbstractItemView*>("listView")->selectionMode();
        seen.treeMode = dialog->findChild<QAbstractItemView*>("treeView")->selectionMode();
        act(*dialog, *model);
    });
    poll->start(10);
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
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
        const std::vector<std::string> picked =
            picker.pickFolder("Add backups", "Add", (dir.path() + "/./").toStdString(), multiple);

        std::vector<std::string> want;
        for (const QString& name : expected)
            want.push_back(QFile::encodeName(dir.filePath(name)).toStdString());
        std::vector<std::string> got = picked;
        std::sort(got.begin(), got.end());
        QCOMPARE(got, want);
        QCOMPARE(seen.title, QStringLiteral("Add backups"));
        QCOMPARE(seen.acceptLabel, QStringLiteral("Add"));
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
            dialog.setDirectory(dir.path());
            if (!typed.isEmpty()) name->setText(typed);
            accept ? static_cast<QDialog&>(dialog).accept() : dialog.reject();
        });
        DialogSavePicker picker;
        const std::optional<std::string> saved =
            picker.saveFile("Export", "EOS_DIGITAL 2026-12-07.csv", "CSV files (*.csv)");

        QCOMPARE(seen.title, QStringLiteral("Export"));
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
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"

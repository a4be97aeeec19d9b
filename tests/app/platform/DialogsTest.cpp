// The folder and save dialogs, driven offscreen the way a user drives them: select, then accept.
// The cards they must leave alone are real drives mounted with strictatime.
#include <QCompleter>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

#include "platform/Account.h"
#include "platform/DialogDriver.h"
#include "platform/LinuxServices.h"

#include <pwd.h>
#include <unistd.h>

using namespace halvetrop;
using namespace halvetrop::test;

class DialogsTest : public QObject {
    Q_OBJECT

    // "media" holds the card and a backup drive with camera folders at its root (both real drives),
    // a folder beside them and a link to the card.
    std::unique_ptr<QTemporaryDir> place_;
    QString media_, other_;
    StrictDrive card_, drive_;
    QString noDrives_;  // why there are none

private slots:
    void initTestCase() {
        place_ = std::make_unique<QTemporaryDir>();
        media_ = place_->filePath("media");
        other_ = place_->filePath("media/CARD2");
        QVERIFY(QDir().mkpath(other_ + "/DCIM"));
        std::string why;
        if (!ZramVolume::available(&why)) {
            noDrives_ = QString::fromStdString(why);
            return;
        }
        try {
            card_.make(media_, "CARD",
                       {"DCIM/100CANON/IMG_0001.JPG", "DCIM/100CANON/IMG_0002.CR3", "MISC/A.DAT"});
            drive_.make(media_, "BACKUP", {"DCIM/100CANON/IMG_0001.JPG", "PRIVATE/M4ROOT/CLIP/C0001.MP4"});
        } catch (const std::exception& e) {
            noDrives_ = QString::fromUtf8(e.what());
            return;
        }
        QVERIFY(QFile::link(card_.root, place_->filePath("media/link")));
        // The card is strict indeed: a listing stamps the folder.
        QVERIFY(card_.ageAll());
        QDir(card_.root + "/MISC").entryList();
        QVERIFY(listed(card_.root + "/MISC"));
    }
    void init() {
        const QString test = QTest::currentTestFunction();
        if (!noDrives_.isEmpty() && (test == "aCardIsNeverListed" || test == "fencedCardIsNeverListed"))
            QSKIP(qPrintable(noDrives_));
        if (card_.volume) QVERIFY(card_.ageAll() && drive_.ageAll());
    }
    void cleanupTestCase() {
        card_.volume.reset();
        drive_.volume.reset();
        place_.reset();
    }

    // Neither dialog lists a card's folder by itself: the folder picker offers the card selected
    // in the folder that holds it (told the card, as the card picker is, or not), and a dialog
    // opens where it is told, also when Qt's stored dialog state (any Qt application writes it) or
    // the last dialog was left inside the card. First, while no dialog has been open.
    void aCardIsNeverListed() {
        const QString documents = place_->filePath("Documents");
        QVERIFY(QDir().mkpath(documents + "/Reports"));
        QSettings(QSettings::UserScope, QStringLiteral("QtProject"))
            .setValue(QStringLiteral("FileDialog/lastVisited"),
                      QUrl::fromLocalFile(card_.root + "/DCIM").toString());

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
        whenDialogShows(seen, closeLater(true));
        DialogFolderPicker picker;
        const std::string card = card_.root.toStdString();
        QCOMPARE(picker.pickFolder("Choose", "Choose", media_.toStdString(), false, card, {card}),
                 std::vector<std::string>{card});
        QCOMPARE(seen.folder, media_);
        QCOMPARE(card_.touched() + drive_.touched(), QStringList());

        whenDialogShows(seen, closeLater(false, card_.root));
        QVERIFY(picker.pickFolder("Choose", "Choose", media_.toStdString(), false, std::nullopt).empty());
        QVERIFY(card_.ageAll());
        whenDialogShows(seen, closeLater(false));
        QVERIFY(!DialogSavePicker().saveFile("Export", "CARD.csv", "CSV (*.csv)", documents.toStdString()));
        QCOMPARE(seen.folder, documents);
        QCOMPARE(card_.touched() + drive_.touched(), QStringList());
    }

    // The dialogs are told the cards (here the card and a backup drive that holds camera folders
    // at its root, as a copy that keeps the card's folders leaves it). Whatever the user types
    // (absolute, relative, through a link or "~", with Return or a click on the dialog's button
    // while the name's completions show), double-clicks or presses Open, no access time on either
    // drive moves: a card is never opened, nor offered to be deleted. A folder picker takes a card
    // whole, selected, typed, double-clicked or with Return in the list (as its button takes it),
    // but never the card being checked; a save dialog saves on none.
    // Where a dialog refuses, it says why. A folder beside them is listed as asked, which shows
    // that a listing would be seen.
    void fencedCardIsNeverListed_data() {
        QTest::addColumn<QString>("dialog");  // "card", "backup" (refusing the card) or "save"
        QTest::addColumn<QString>("typed");   // <card>, <drive> and <other> stand for the folders
        QTest::addColumn<QString>("action");  // "return", "click" (the dialog's button), "open",
                                              // "double-click" (the card), "select" (the drive),
                                              // "select-return" (the drive, Return in the list)
        QTest::addColumn<QString>("chosen");  // what the dialog hands back: "", or a folder as typed
        QTest::addColumn<QString>("says");    // what it says, in part: "" for nothing
        QTest::addColumn<bool>("otherListed");
        auto row = [](const char* name, QString dialog, QString typed, QString action, QString chosen,
                      QString says, bool otherListed = false) {
            QTest::newRow(name) << dialog << typed << action << chosen << says << otherListed;
        };
        const QString inside = QStringLiteral("Folders on a card aren\u2019t opened here"),
                      theCard = QStringLiteral("is the card being checked"),
                      save = QStringLiteral("Nothing is saved on a card.");
        row("down to a camera folder", "card", "<card>/DCIM/100CANON", "return", "", inside);
        row("a card, whole", "card", "<card>", "return", "<card>", "");
        row("a card, double-clicked", "card", "", "double-click", "<card>", "");
        row("relative", "card", "<name>/DCIM", "return", "", inside);
        row("through home", "card", "~/media/<name>/", "return", "", inside);
        row("a backup drive with camera folders, typed", "backup", "<drive>", "click", "<drive>", "");
        row("a backup drive with camera folders, selected", "backup", "", "select", "<drive>", "");
        row("a backup drive with camera folders, Return", "backup", "", "select-return", "<drive>", "");
        row("a folder on it", "backup", "<drive>/DCIM/", "return", "", inside);
        row("through a link", "backup", "link/", "return", "", theCard);
        row("the card being checked", "backup", "<card>", "return", "", theCard);
        row("its name, then Open", "backup", "<name>", "open", "", theCard);
        row("the card as where copies go", "copy", "<card>", "return", "", "copies are saved on a backup");
        row("saved into it", "save", "<card>/", "return", "", save);
        row("saved onto it", "save", "<card>/DCIM/report.csv", "return", "", save);
        row("saved onto the drive", "save", "<drive>/report.csv", "return", "", save);
        row("the folder beside it", "backup", "<other>/", "return", "<other>", "", true);
    }
    void fencedCardIsNeverListed() {
        QFETCH(QString, dialog);
        QFETCH(QString, typed);
        QFETCH(QString, action);
        QFETCH(QString, chosen);
        QFETCH(QString, says);
        QFETCH(bool, otherListed);
        auto place = [this](QString text) {
            return text.replace("<card>", card_.root)
                .replace("<drive>", drive_.root)
                .replace("<other>", other_)
                .replace("<name>", card_.name());
        };
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", place_->path().toUtf8());
        QVERIFY(age(other_));

        Seen seen;
        QString said;
        bool completionsShown = false, asked = false;
        whenDialogShows(seen, [&](QFileDialog& shown, QFileSystemModel& model) {
            auto* name = shown.findChild<QLineEdit*>("fileNameEdit");
            auto* button = shown.findChild<QDialogButtonBox*>("buttonBox")
                               ->button(dialog == "save" ? QDialogButtonBox::Save : QDialogButtonBox::Open);
            // A message the dialog shows (about what was typed, or asking to delete) is closed;
            // what the dialog says is read, and the dialog closed, five turns of the timer after
            // the user's last act (a folder that is to be listed is waited for: the dialog lists on
            // a thread of its own, which a busy machine may run late).
            auto* closing = new QTimer(&shown);
            auto acted = std::make_shared<bool>(false);
            connect(closing, &QTimer::timeout, &shown,
                    [&shown, &said, &asked, acted, otherListed, other = other_, ticks = 0]() mutable {
                        if (auto* message = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                            asked = true;
                            message->reject();
                        } else if (*acted && ++ticks >= 5 &&
                                   (!otherListed || listed(other) || ticks * 100 >= kHangDetectorMs)) {
                            said = refusalShown(shown);
                            shown.reject();
                        }
                    });
            closing->start(100);
            auto done = qScopeGuard([acted] { *acted = true; });
            // Typed into the focused field, as a user types: the dialog leaves its text alone then.
            QApplication::setActiveWindow(&shown);
            name->setFocus();
            QVERIFY(QTest::qWaitFor([name] { return name->hasFocus(); }, kHangDetectorMs));
            name->clear();
            QTest::keyClicks(name, place(typed));
            // The completions of a typed folder are listed on the dialog's own thread, which a busy
            // machine runs late: Return would close the dialog before that listing shows.
            if (otherListed) QVERIFY(QTest::qWaitFor([this] { return listed(other_); }, kHangDetectorMs));
            auto* view = shown.findChild<QAbstractItemView*>("listView");
            auto rowOf = [&](const QString& path) {
                view->doItemsLayout();
                return view->visualRect(view->model()->index(model.index(path).row(), 0, view->rootIndex()));
            };
            if (action == "return") QTest::keyClick(name, Qt::Key_Return);
            if (action == "click") {
                QVERIFY(QTest::qWaitFor([name] { return name->completer()->popup()->isVisible(); },
                                        kHangDetectorMs));
                completionsShown = true;
                clickThroughWindow(shown, *button);
            }
            if (action == "open") {
                name->setText(place(typed));
                static_cast<QDialog&>(shown).accept();
            }
            if (action == "double-click") {
                const QRect at = rowOf(card_.root);
                QVERIFY(at.isValid());
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at.center());
                QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at.center());
            }
            if (action == "select-return") {
                const QRect at = rowOf(drive_.root);
                QVERIFY(at.isValid());
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at.center());
                QTest::keyClick(view, Qt::Key_Return);
            }
            if (action == "select") {
                const QRect at = rowOf(drive_.root);
                QVERIFY(at.isValid());
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at.center());
                // Nothing offers to delete a card with all it holds.
                QTest::keyClick(view, Qt::Key_Delete);
                clickThroughWindow(shown, *button);
            }
        });
        const std::vector<std::string> cards{card_.root.toStdString(), drive_.root.toStdString()};
        std::vector<std::string> picked;
        if (dialog == "save") {
            if (auto saved = DialogSavePicker().saveFile("Export", "report.csv", "CSV (*.csv)",
                                                         media_.toStdString(), cards))
                picked.push_back(*saved);
        } else {
            const auto refused = dialog != "card" ? std::optional<std::string>(cards[0]) : std::nullopt;
            // What the caller says of the card it refuses, in the words of what is chosen.
            const QString why = dialog == "copy"
                                    ? QStringLiteral("It is the card: copies are saved on a backup.")
                                    : QString();
            picked = DialogFolderPicker().pickFolder("Choose", "Add Backup", media_.toStdString(), true,
                                                     std::nullopt, cards, refused, why);
        }
        qputenv("HOME", home);
        QCOMPARE(seen.folder, media_);
        QCOMPARE(card_.touched() + drive_.touched(), QStringList());
        QCOMPARE(listed(other_), otherListed);
        QCOMPARE(picked,
                 chosen.isEmpty() ? std::vector<std::string>() : std::vector{place(chosen).toStdString()});
        QVERIFY(action != "click" || completionsShown);
        QVERIFY(!asked);
        QVERIFY2(says.isEmpty() ? said.isEmpty() : said.contains(says), qPrintable(said));
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

    // Told no folder, one that is gone with everything above it, or "/", a dialog opens in HOME when
    // it is set and is a folder, else in the account's home when that is one (nobody's is
    // /nonexistent), else in the removable-media folder; never in "/", where nothing can be saved.
    // Also when the launcher left USER unset.
    void startsAtHome_data() {
        QTest::addColumn<QString>("home");  // HOME: "set", "unset" or "gone"
        QTest::addColumn<QString>("start");
        for (const auto& [name, home, start] : {std::tuple{"HOME", "set", ""},
                                                {"HOME, a folder gone", "set", "/gone/with/its/drive"},
                                                {"HOME, the root", "set", "/"},
                                                {"no HOME", "unset", ""},
                                                {"HOME gone, a folder gone", "gone", "/gone/with/its/drive"}})
            QTest::newRow(name) << QString(home) << QString(start);
    }
    void startsAtHome() {
        QFETCH(QString, home);
        QFETCH(QString, start);
        const passwd* account = ::getpwuid(::geteuid());
        if (!account) QSKIP("this user has no entry in the account database");
        const QString accountHome = QFile::decodeName(account->pw_dir);
        QTemporaryDir there;
        QString expected = home == "set"                    ? there.path()
                           : QFileInfo(accountHome).isDir() ? accountHome
                                                            : QString::fromStdString(desktopMountRoot());
        if (expected == "/") expected = "/tmp";
        const QByteArray user = qgetenv("USER"), homeVariable = qgetenv("HOME");
        qunsetenv("USER");
        if (home == "unset")
            qunsetenv("HOME");
        else
            qputenv("HOME", QFile::encodeName(home == "set" ? there.path() : there.filePath("gone")));
        QStringList opened;
        auto* poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, poll, [&opened] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                opened << dialog->directory().absolutePath();
                dialog->reject();
            }
        });
        poll->start(10);
        QVERIFY(DialogFolderPicker()
                    .pickFolder("Choose", "Choose", start.toStdString(), false, std::nullopt)
                    .empty());
        QVERIFY(!DialogSavePicker().saveFile("Export", "r.csv", "CSV (*.csv)", start.toStdString()));
        delete poll;
        qputenv("USER", user);
        qputenv("HOME", homeVariable);
        QCOMPARE(opened, QStringList(2, expected));
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"

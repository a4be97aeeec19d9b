// The browser's rows joined to the model: they follow its filters and report, sort once per
// change, and the model's reveal reaches the right files.
#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "ModelFixture.h"
#include "present/Paths.h"
#include "support/TempDir.h"

using namespace halvetrop;
using namespace halvetrop::test;

namespace {

QStringList names(const FileRows& rows) {
    QStringList out;
    for (int i = 0; i < rows.count(); ++i) out << rows.data(rows.index(i), FileRows::Name).toString();
    return out;
}

}  // namespace

class FileRowsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void rowsFollowTheModel() {
        Harness h;
        AppModel& m = ready(h, {"/backup/a"});
        VerifyReport r = makeReport(
            kCard, {"/backup/a"},
            {FileStatus::verified, FileStatus::missing, FileStatus::verified, FileStatus::missing});
        // Sizes against the name order, and a name whose markup and line break stay one text.
        const int64_t sizes[] = {400, 100, 300, 200};
        for (size_t i = 0; i < r.files.size(); ++i) r.files[i].size = sizes[i];
        r.files[3].name = "<i>x</i>\n10.JPG";
        m.check(std::optional<CheckLevel>());
        h.verifier(0)->complete(r);
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        m.stopDeepVerify();

        FileRows& rows = *m.fileRows();
        QCOMPARE(names(rows), (QStringList{"IMG_0.JPG", "IMG_1.JPG", "IMG_2.JPG", "<i>x</i>\uFFFD10.JPG"}));

        QSignalSpy resets(&rows, &QAbstractItemModel::modelReset);
        QSignalSpy layouts(&rows, &QAbstractItemModel::layoutChanged);
        // A sort moves the same rows: the views keep their delegates, and an index held on a
        // row follows its file.
        const QPersistentModelIndex held(rows.index(1));
        rows.setSortColumn(QStringLiteral("size"));
        QCOMPARE(names(rows), (QStringList{"IMG_1.JPG", "<i>x</i>\uFFFD10.JPG", "IMG_2.JPG", "IMG_0.JPG"}));
        QCOMPARE(held.row(), 0);
        QCOMPARE(held.data(FileRows::FileId).toLongLong(), 1);
        rows.setSortAscending(false);
        QCOMPARE(rows.idAt(0), 0);
        QCOMPARE(held.row(), 3);
        QCOMPARE(resets.count(), 0);
        QCOMPARE(layouts.count(), 2);
        QCOMPARE(layouts.last().value(1).value<QAbstractItemModel::LayoutChangeHint>(),
                 QAbstractItemModel::VerticalSortHint);
        // Column and direction in one go reorder once; an unknown column keeps the column.
        rows.setOrder({{"column", "name"}, {"ascending", false}});
        QCOMPARE(names(rows), (QStringList{"IMG_2.JPG", "IMG_1.JPG", "IMG_0.JPG", "<i>x</i>\uFFFD10.JPG"}));
        QCOMPARE(layouts.count(), 3);
        QCOMPARE(rows.order().value("column").toString(), QStringLiteral("name"));
        rows.setOrder({{"column", "bogus"}, {"ascending", true}});
        QCOMPARE(rows.sortColumn(), QStringLiteral("name"));
        QCOMPARE(rows.idAt(0), 3);
        rows.setOrder({{"column", "size"}, {"ascending", false}});
        QCOMPARE(layouts.count(), 5);
        // Only the data or the sort sort again: switching to the grid does not.
        m.setGridView(true);
        rows.setSortColumn(QStringLiteral("bogus"));
        rows.setOrder({{"column", "size"}, {"ascending", false}});
        QCOMPARE(layouts.count(), 5);
        QCOMPARE(resets.count(), 0);

        m.setFilter(AppModel::FileFilter::NotBackedUp);
        QCOMPARE(resets.count(), 1);
        QCOMPARE(rows.count(), 2);
        QCOMPARE(rows.rowOf(3), 0);
        QCOMPARE(rows.rowOf(0), -1);
        m.setFilter(AppModel::FileFilter::All);
        m.setSearch(QStringLiteral("img_2"));
        QCOMPARE(names(rows), QStringList{"IMG_2.JPG"});

        QVariantMap menu = rows.menu({1, 3, 99});
        QCOMPARE(menu.value("copyTitle").toString(), QStringLiteral("Copy 3 files"));
        QCOMPARE(menu.value("backupCount").toInt(), 0);
        QCOMPARE(rows.menu({2}).value("copyTitle").toString(), QStringLiteral("Copy IMG_2.JPG"));
        QCOMPARE(rows.inspect(2).value("copies").toList().size(), 1);
        QVERIFY(rows.inspect(99).isEmpty());

        // A new report replaces the keys: no row of the old one survives.
        m.resetResults();
        QCOMPARE(rows.count(), 0);
    }

    // The pass's own report keeps the browser's order where it lists the same files, and orders
    // them again where a name changed since.
    void passReportOrdersByItsOwnNames() {
        Harness h;
        AppModel& m = ready(h, {"/backup/a"});
        const VerifyReport r = makeReport(kCard, {"/backup/a"},
                                          {FileStatus::verified, FileStatus::verified, FileStatus::verified});
        m.check(std::optional<CheckLevel>());
        h.verifier(0)->complete(r);
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        QTRY_VERIFY(m.deepVerifying());
        FileRows& rows = *m.fileRows();
        rows.setOrder({{"column", "name"}, {"ascending", false}});
        QCOMPARE(names(rows), (QStringList{"IMG_2.JPG", "IMG_1.JPG", "IMG_0.JPG"}));
        VerifyReport verified = r;
        verified.level = CheckLevel::verified;
        verified.files[2].name = "A.JPG";
        h.verifier(1)->complete(verified);
        QTRY_VERIFY(!m.deepVerifying());
        QCOMPARE(m.report()->level, CheckLevel::verified);
        QCOMPARE(names(rows), (QStringList{"IMG_1.JPG", "IMG_0.JPG", "A.JPG"}));
    }

    // The pass's own report with fewer files, while the rows are sorted so that its statuses move
    // them: the rows of positions it no longer has leave, the rest stand as a fresh sort puts
    // them, and an index held on a row that stays follows its file.
    void laterReportWithFewerFiles() {
        Harness h;
        AppModel& m = ready(h, {"/backup/a"});
        std::vector<FileStatus> statuses;
        for (int i = 0; i < 40; ++i) statuses.push_back(i % 3 ? FileStatus::backedUp : FileStatus::missing);
        const VerifyReport r = makeReport(kCard, {"/backup/a"}, statuses);
        m.check(std::optional<CheckLevel>());
        h.verifier(0)->complete(r);
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        QTRY_VERIFY(m.deepVerifying());
        FileRows& rows = *m.fileRows();
        rows.setOrder({{"column", "status"}, {"ascending", true}});
        QAbstractItemModelTester tester(&rows, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QPersistentModelIndex held(rows.index(rows.rowOf(4)));
        VerifyReport verified = makeReport(
            kCard, {"/backup/a"}, std::vector<FileStatus>(10, FileStatus::verified), CheckLevel::verified);
        verified.files[7].status = FileStatus::missing;
        h.verifier(1)->complete(verified);
        QTRY_VERIFY(!m.deepVerifying());
        QCOMPARE(rows.count(), 10);
        FileRows fresh;
        fresh.setOrder(rows.order());
        fresh.setReport(&*m.report(), m.visibleFiles());
        for (int i = 0; i < 10; ++i) QCOMPARE(rows.idAt(i), fresh.idAt(i));
        QCOMPARE(held.row(), rows.rowOf(4));
    }

    // A fold of the byte-by-byte pass: the rows stand as a fresh sort of the filtered files puts
    // them; where no row moves, the views are told of the folded rows' statuses and copies alone;
    // the column texts are told again only when they change.
    void foldsPlaceTheRowsAndTellWhatChanged_data() {
        QTest::addColumn<QString>("column");
        QTest::addColumn<bool>("onlyMissing");
        QTest::newRow("by name") << "name" << false;
        QTest::newRow("by status, not backed up") << "status" << true;
    }
    void foldsPlaceTheRowsAndTellWhatChanged() {
        QFETCH(QString, column);
        QFETCH(bool, onlyMissing);
        Harness h;
        AppModel& m = ready(h, {"/backup/a"});
        std::vector<FileStatus> statuses;
        for (int i = 0; i < 8; ++i) statuses.push_back(i % 2 ? FileStatus::missing : FileStatus::backedUp);
        const VerifyReport r = makeReport(kCard, {"/backup/a"}, statuses);
        m.check(std::optional<CheckLevel>());
        h.verifier(0)->complete(r);
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        QTRY_VERIFY(m.deepVerifying());
        auto pass = h.verifier(1);
        FileRows& rows = *m.fileRows();
        rows.setOrder({{"column", column}, {"ascending", true}});
        if (onlyMissing) m.setFilter(AppModel::FileFilter::NotBackedUp);
        QAbstractItemModelTester tester(&rows, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // Measured ahead of the table, as the results screen has it.
        const QFont font;
        rows.measureSoon(font);
        QSignalSpy changedRows(&rows, &QAbstractItemModel::dataChanged);
        QSignalSpy folds(&m, &AppModel::reportChanged);
        const auto fold = [&](std::vector<std::pair<int, FileStatus>> files) {
            const int before = folds.count();
            for (auto [at, status] : files) {
                FileResult f = r.files[size_t(at)];
                f.status = status;
                f.copies = {{0, "Again/" + f.relativePath}};
                pass->onFile(f);
            }
            QTRY_VERIFY(folds.count() > before);
        };
        const auto expectFresh = [&] {
            FileRows fresh;
            fresh.setOrder(rows.order());
            fresh.setReport(&*m.report(), m.visibleFiles());
            QCOMPARE(rows.count(), fresh.count());
            for (int i = 0; i < rows.count(); ++i) QCOMPARE(rows.idAt(i), fresh.idAt(i));
        };
        const QList<int> folded{FileRows::Status, FileRows::StatusText, FileRows::Covered, FileRows::OnBackup,
                                FileRows::StatusLabel};

        // A file found verified, another missing again: "Verified" is new to the status column.
        int texts = rows.textsRevision();
        fold({{2, FileStatus::verified}, {5, FileStatus::missing}});
        expectFresh();
        QVERIFY(rows.textsRevision() > texts);
        QVERIFY(rows.columnTexts(font).value("backups").toStringList().contains(
            QStringLiteral("backup › Again/DCIM/IMG_5.JPG")));
        if (!onlyMissing) {
            QCOMPARE(changedRows.count(), 1);
            QCOMPARE(changedRows[0][0].toModelIndex().row(), 2);
            QCOMPARE(changedRows[0][1].toModelIndex().row(), 5);
            QCOMPARE(changedRows[0][2].value<QList<int>>(), folded);
        }
        // The same again: whatever the rows, the column texts stay as they are.
        texts = rows.textsRevision();
        fold({{2, FileStatus::verified}, {5, FileStatus::missing}});
        expectFresh();
        QCOMPARE(rows.textsRevision(), texts);
        // The rows come back as a fresh sort puts them.
        fold({{0, FileStatus::missing}, {2, FileStatus::missing}, {7, FileStatus::verified}});
        expectFresh();
        for (const QList<QVariant>& told : changedRows) QVERIFY(!told[2].value<QList<int>>().isEmpty());
        // The pass's own report: its files are measured anew.
        texts = rows.textsRevision();
        pass->complete(makeReport(kCard, {"/backup/a"}, std::vector<FileStatus>(8, FileStatus::verified),
                                  CheckLevel::verified));
        QTRY_VERIFY(!m.deepVerifying());
        QVERIFY(rows.textsRevision() > texts);
        FileRows fresh;
        fresh.setReport(&*m.report(), m.visibleFiles());
        QCOMPARE(rows.columnTexts(font), fresh.columnTexts(font));
    }

    void revealReachesTheRightFiles() {
        Harness h;
        AppModel& m = ready(h, {"/backup/a"});
        m.check(std::optional<CheckLevel>());
        h.verifier(0)->complete(
            makeReport(kCard, {"/backup/a"}, {FileStatus::verified, FileStatus::missing}));
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        m.stopDeepVerify();
        auto& revealed = h.reveal->revealed;
        m.revealFiles({}, false);
        m.revealFiles({1, 42}, true);  // no copy, unknown
        QVERIFY(revealed.empty());
        m.revealFiles({0, 1, 42}, false);
        m.revealFiles({0, 1}, true);
        QCOMPARE(revealed.size(), size_t(2));
        QCOMPARE(revealed[0],
                 (std::vector<std::string>{kCard + "/DCIM/IMG_0.JPG", kCard + "/DCIM/IMG_1.JPG"}));
        QCOMPARE(revealed[1], (std::vector<std::string>{"/backup/a/DCIM/IMG_0.JPG"}));
    }

    // A name that is not UTF-8 beside its look-alike holding a real U+FFFD: the file URLs, the
    // preview's pages, the still picture's request and the text reader each reach the file the
    // row is, by its bytes.
    void previewAndUrlsReachTheFileByItsBytes() {
        TempDir card{"rowscard"}, backup{"rowsbackup"};
        const std::string raw = "DCIM/IMG_\xff.TXT", lookAlike = "DCIM/IMG_\xef\xbf\xbd.TXT";
        card.write(raw, "the raw one");
        card.write(lookAlike, "the look-alike");
        backup.write(raw, "the raw one");
        VerifyReport r =
            makeReport(card.path(), {backup.path()}, {FileStatus::verified, FileStatus::verified});
        for (size_t i = 0; i < 2; ++i) {
            FileResult& f = r.files[i];
            f.name = "IMG_\xef\xbf\xbd.TXT";
            f.relativePath = "DCIM/" + f.name;
            f.copies.resize(1);
            f.copies[0].relativePath = f.relativePath;
        }
        r.files[0].rawRelativePath = raw;
        r.files[0].copies[0].rawRelativePath = raw;
        Harness h;
        h.volumes->push(listing({volume("/", "root", false)}));
        AppModel& m = h.start();
        m.setSource(card.path());
        m.addBackups({backup.path()});
        m.check(std::optional<CheckLevel>());
        h.verifier(0)->complete(r);
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        m.stopDeepVerify();

        QCOMPARE(present::localPath(m.sourceURL(0)), std::optional(card / raw));
        QCOMPARE(present::localPath(m.sourceURL(1)), std::optional(card / lookAlike));
        QCOMPARE(present::localPath(m.copyURL(0)), std::optional(backup / raw));
        m.quickLook(0);
        QCOMPARE(m.previewUrls().size(), 2);  // the card file and its copy
        QCOMPARE(present::localPath(m.previewUrls()[0]), std::optional(card / raw));
        QCOMPARE(present::localPath(m.previewUrls()[1]), std::optional(backup / raw));

        FileRows& rows = *m.fileRows();
        QSignalSpy loaded(&rows, &FileRows::textLoaded);
        rows.loadText(m.previewUrls()[0]);
        QVERIFY(loaded.wait(kHangDetectorMs));
        QCOMPARE(loaded.at(0).at(1).toString(), QStringLiteral("the raw one"));
        QCOMPARE(rows.previewItem(m.previewUrls()[0]).value("name").toString(),
                 QStringLiteral("IMG_\uFFFD.TXT"));

        // A still picture goes to the provider as its percent-encoded bytes, a clip to the player
        // as a URL that keeps them.
        const std::string photo = card.write("DCIM/P\xff.JPG", "x"), clip = card.write("DCIM/C\xff.MP4", "x");
        const QString still = rows.previewItem(present::fileUrl(photo)).value("source").toString();
        QCOMPARE(QByteArray::fromPercentEncoding(still.mid(16).toLatin1()).toStdString(), photo);
        QVERIFY(still.startsWith(QStringLiteral("image://preview/")));
        const QString played = rows.previewItem(present::fileUrl(clip)).value("source").toString();
        QCOMPARE(present::localPath(QUrl(played)), std::optional(clip));
    }

    // Each copy the inspector lists reveals itself, not the first; a copy the file does not
    // have, or one naming no backup of the report, reveals nothing.
    void eachCopyRevealsItself() {
        Harness h;
        AppModel& m = ready(h);
        VerifyReport r =
            makeReport(kCard, {"/backup/a", "/backup/b"}, {FileStatus::verified, FileStatus::missing});
        r.files[0].copies.push_back({0, "Other/IMG_0.JPG"});
        r.files[0].copies.push_back({7, "Nowhere/IMG_0.JPG"});
        m.check(std::optional<CheckLevel>());
        h.verifier(0)->complete(r);
        QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
        m.stopDeepVerify();
        const struct {
            qint64 id;
            int copy;
            std::string path;  // empty: nothing revealed
        } rows[] = {
            {0, 0, "/backup/a/DCIM/IMG_0.JPG"},
            {0, 1, "/backup/b/DCIM/IMG_0.JPG"},
            {0, 2, "/backup/a/Other/IMG_0.JPG"},
            {0, 3, ""},
            {0, 4, ""},
            {0, -1, ""},
            {1, 0, ""},
            {42, 0, ""},
        };
        for (const auto& row : rows) {
            const QString what = QStringLiteral("file %1, copy %2").arg(row.id).arg(row.copy);
            h.reveal->revealed.clear();
            m.revealCopy(row.id, row.copy);
            QCOMPARE(m.copyURL(row.id, row.copy).toLocalFile().toStdString(), row.path);
            if (row.path.empty()) {
                QVERIFY2(h.reveal->revealed.empty(), qPrintable(what));
            } else {
                QCOMPARE(h.reveal->revealed, std::vector<std::vector<std::string>>{{row.path}});
            }
        }
        // The first copy stays the one the menu's and the button's reveal on a backup show.
        h.reveal->revealed.clear();
        m.revealFiles({0}, true);
        QCOMPARE(h.reveal->revealed, std::vector<std::vector<std::string>>{{"/backup/a/DCIM/IMG_0.JPG"}});
    }

    // The preview shows a small text file's words; a large one, binary bytes behind a text name
    // and a picture keep their own card, and the words arrive through the rows' reader.
    void previewShowsOnlySmallText_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("shown");
        QTest::newRow("notes") << "notes.txt" << QByteArray("Card 2, \xc3\xa9t\xc3\xa9\n") << "text" << true;
        QTest::newRow("json") << "meta.json" << QByteArray("{\"a\": 1}") << "text" << true;
        QTest::newRow("subtitles") << "clip.srt" << QByteArray("1\n00:00:01,000 --> 00:00:02,000\nHi\n")
                                   << "text" << true;
        QTest::newRow("at the limit")
            << "log.csv" << QByteArray(int(previewTextLimit), 'a') << "text" << true;
        QTest::newRow("over the limit")
            << "big.txt" << QByteArray(int(previewTextLimit) + 1, 'a') << "text" << false;
        QTest::newRow("binary named text")
            << "data.txt" << QByteArray("PK\x03\x04\0\0\x01", 7) << "text" << false;
        QTest::newRow("binary") << "CLIP.BIN" << QByteArray("\0\x01\x02", 3) << "other" << false;
        QTest::newRow("picture") << "DSC.JPG" << QByteArray("\xff\xd8\xff\xe0", 4) << "image" << false;
    }
    void previewShowsOnlySmallText() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, kind);
        QFETCH(bool, shown);
        QTemporaryDir dir;
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        FileRows rows;
        const QUrl url = QUrl::fromLocalFile(file.fileName());
        QCOMPARE(rows.previewItem(url).value(QStringLiteral("kind")).toString(), kind);
        QSignalSpy loaded(&rows, &FileRows::textLoaded);
        rows.loadText(url);
        QVERIFY(loaded.wait(kHangDetectorMs));
        QCOMPARE(loaded.at(0).at(0).toUrl(), url);
        const QVariant text = loaded.at(0).at(1);
        QCOMPARE(!text.isNull(), shown);
        if (!text.isNull()) QCOMPARE(text.toString(), QString::fromUtf8(bytes));
    }
};

// The column texts are measured in a font: a GUI application, offscreen.
QTEST_MAIN(FileRowsTest)
#include "FileRowsTest.moc"

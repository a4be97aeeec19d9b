// The file list's rules over a shown report: the filter order, search, copyable ids, the fold of
// live results and the CSV export.
#include "model/FileList.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

#include "RecordFixtures.h"
#include "report/CSVExport.h"
#include "support/LoopVolume.h"

Q_DECLARE_METATYPE(halvetrop::FileFilter)

namespace halvetrop {
namespace {

using test::FileSpec;
using test::reportOf;
using test::volumeAt;

const std::string nfdFolder = "Private/A\xCC\x88-Folder";  // "Ä" as A and a combining diaeresis

// Eight files: statuses of every kind, a sub-folder, a sibling folder sharing a prefix, an
// out-of-scope file, non-ASCII names in both canonical forms.
VerifyReport browserReport(int backups = 1) {
    return reportOf(volumeAt("/media/u/EOS/DCIM", "/media/u/EOS", "6E1F"), backups,
                    {{"DCIM/100CANON", "IMG_0001.JPG", FileStatus::verified},
                     {"DCIM/100CANON", "IMG_0002.CR3", FileStatus::missing},
                     {"DCIM/100CANON/SUB", "clip.MP4", FileStatus::backedUp},
                     {"DCIM/1000CANON", "IMG_0003.JPG", FileStatus::conflict},
                     {"", "\xC3\x84rger.jpg", FileStatus::likely},
                     {"DCIM/100CANON", "out.THM", FileStatus::missing, false},
                     {nfdFolder, "x.MOV", FileStatus::verified},
                     {"DCIM/1000CANON", "IMG_0004.JPG", FileStatus::missing}});
}

// The same report with ids that are not positions, so lookups go through the index's table.
VerifyReport withShiftedIDs(VerifyReport report) {
    for (FileResult& f : report.files) f.id = f.id * 10 + 5;
    return report;
}

int64_t idAt(const VerifyReport& report, int position) {
    return report.files[static_cast<size_t>(position)].id;
}

std::vector<int64_t> idsAt(const VerifyReport& report, const QList<int>& positions) {
    std::vector<int64_t> ids;
    for (int p : positions) ids.push_back(p < 0 ? p : p >= 90 ? p : idAt(report, p));
    return ids;
}

}  // namespace

class FileListTest : public QObject {
    Q_OBJECT

private slots:
    void refilterInItsOrder_data() {
        QTest::addColumn<FileFilter>("filter");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("folder");  // "-": no folder restriction
        QTest::addColumn<bool>("shoot");      // restricted to the shoot of files 1, 2 and 3
        QTest::addColumn<QList<int>>("visible");
        const QString none = QStringLiteral("-");
        QTest::newRow("everything in scope")
            << FileFilter::all << "" << none << false << QList<int>{0, 1, 2, 3, 4, 6, 7};
        QTest::newRow("not backed up")
            << FileFilter::notBackedUp << "" << none << false << QList<int>{1, 3, 4, 7};
        QTest::newRow("backed up") << FileFilter::backedUp << "" << none << false << QList<int>{0, 2, 6};
        QTest::newRow("folder and below, not its sibling") << FileFilter::all << ""
                                                           << "DCIM/100CANON" << false << QList<int>{0, 1, 2};
        QTest::newRow("empty folder restricts nothing") << FileFilter::all << ""
                                                        << "" << false << QList<int>{0, 1, 2, 3, 4, 6, 7};
        QTest::newRow("shoot") << FileFilter::all << "" << none << true << QList<int>{1, 2, 3};
        QTest::newRow("shoot, not backed up")
            << FileFilter::notBackedUp << "" << none << true << QList<int>{1, 3};
        QTest::newRow("shoot and folder") << FileFilter::all << ""
                                          << "DCIM/1000CANON" << true << QList<int>{3};
        QTest::newRow("search ignores case")
            << FileFilter::all << "img" << none << false << QList<int>{0, 1, 3, 7};
        QTest::newRow("blanks and tabs trimmed")
            << FileFilter::all << " \tIMG_000 \t" << none << false << QList<int>{0, 1, 3, 7};
        QTest::newRow("only blanks is no search")
            << FileFilter::all << "  \t " << none << false << QList<int>{0, 1, 2, 3, 4, 6, 7};
        QTest::newRow("line breaks are not trimmed")
            << FileFilter::all << "\nimg" << none << false << QList<int>{};
        QTest::newRow("folder matches when the name does not")
            << FileFilter::all << "canon" << none << false << QList<int>{0, 1, 2, 3, 7};
        QTest::newRow("non-ASCII case") << FileFilter::all << "ÄRGER" << none << false << QList<int>{4};
        QTest::newRow("composed query, decomposed folder")
            << FileFilter::all << "ä-folder" << none << false << QList<int>{6};
        QTest::newRow("every restriction at once") << FileFilter::notBackedUp << "0004"
                                                   << "DCIM/1000CANON" << false << QList<int>{7};
        QTest::newRow("out of scope never shows")
            << FileFilter::all << "out.thm" << none << false << QList<int>{};
    }
    void refilterInItsOrder() {
        QFETCH(FileFilter, filter);
        QFETCH(QString, search);
        QFETCH(QString, folder);
        QFETCH(bool, shoot);
        QFETCH(QList<int>, visible);
        for (bool shifted : {false, true}) {
            const VerifyReport report = shifted ? withShiftedIDs(browserReport()) : browserReport();
            ShootGroup group;
            group.fileIDs = idsAt(report, {3, 1, 2, 2});
            FileQuery query;
            query.filter = filter;
            query.search = search;
            if (folder != QStringLiteral("-")) query.folderFilter = folder.toStdString();
            if (shoot) query.groupFilter = &group;
            const FileIndex index(report);
            QCOMPARE(index.refilter(report, query), std::vector<int>(visible.begin(), visible.end()));
            // An index of another report is never trusted.
            QCOMPARE(FileIndex().refilter(report, query), std::vector<int>(visible.begin(), visible.end()));

            // After a fold, testing the changed files again (one of them twice, one out of scope)
            // gives what the whole list gives.
            VerifyReport folded = report;
            const std::vector<int> changed{7, 0, 5, 1, 0};
            const FileStatus now[] = {FileStatus::backedUp, FileStatus::missing, FileStatus::verified,
                                      FileStatus::verified, FileStatus::missing};
            for (size_t i = 0; i < changed.size(); ++i) folded.files[size_t(changed[i])].status = now[i];
            QCOMPARE(index.refold(folded, query, index.refilter(report, query), changed),
                     index.refilter(folded, query));
        }
    }

    void copyableIDs_data() {
        QTest::addColumn<QList<int>>("asked");  // positions; 99 and -1 name no file
        QTest::addColumn<QList<int>>("copyable");
        QTest::addColumn<int>("backups");
        QTest::newRow("missing and conflict, in the order asked")
            << QList<int>{7, 3, 1} << QList<int>{7, 3, 1} << 1;
        QTest::newRow("each once, the first kept") << QList<int>{7, 1, 7, 3, 1} << QList<int>{7, 1, 3} << 1;
        QTest::newRow("nothing else is copyable") << QList<int>{0, 2, 4, 5, 6, 99, -1} << QList<int>{} << 1;
        QTest::newRow("card-only report") << QList<int>{1, 3, 7} << QList<int>{} << 0;
    }
    void copyableIDs() {
        QFETCH(QList<int>, asked);
        QFETCH(QList<int>, copyable);
        QFETCH(int, backups);
        for (bool shifted : {false, true}) {
            const VerifyReport report =
                shifted ? withShiftedIDs(browserReport(backups)) : browserReport(backups);
            const FileIndex index(report);
            QCOMPARE(halvetrop::copyableIDs(report, index, idsAt(report, asked)), idsAt(report, copyable));
        }
        // Asking for everything gives every copyable file once, in report order.
        const VerifyReport report = browserReport(backups);
        const auto everyMissing = backups ? std::vector<int64_t>{1, 3, 7} : std::vector<int64_t>{};
        QCOMPARE(halvetrop::copyableIDs(report, FileIndex(report), allFileIDs(report)), everyMissing);
    }

    void previewThePathAndTheFirstCopyOnly() {
        VerifyReport report = browserReport(3);
        FileResult& f = report.files[0];
        f.copies = {{2, "Photos/A.JPG", EvidenceLevel::verified, false},
                    {0, "B.JPG", EvidenceLevel::verified, false}};
        QCOMPARE(previewPaths(report, f),
                 (std::vector<std::string>{"/media/u/EOS/DCIM/DCIM/100CANON/IMG_0001.JPG",
                                           "/media/backup2/Photos/A.JPG"}));
        f.copies.front().destination = 3;  // names no backup of the report
        QCOMPARE(previewPaths(report, f).size(), size_t{1});
    }

    // Each row folds one batch (position, status, safe drives; path "x" = another file) into a
    // report and says what changed.
    void foldLiveResults_data() {
        QTest::addColumn<bool>("safeBefore");
        QTest::addColumn<QStringList>("batch");
        QTest::addColumn<QList<int>>("changed");
        QTest::addColumn<bool>("safeAfter");
        QTest::addColumn<int>("required");  // the report's own required copies
        QTest::newRow("confirmed copies keep it safe")
            << true << QStringList{"0 verified 2", "1 backedUp 2"} << QList<int>{0, 1} << true << 2;
        QTest::newRow("a missing file revokes safety")
            << true << QStringList{"2 missing 0"} << QList<int>{2} << false << 2;
        QTest::newRow("fewer safe drives than required")
            << true << QStringList{"3 verified 1"} << QList<int>{3} << false << 2;
        QTest::newRow("another file at that id is ignored")
            << true << QStringList{"1 missing 0 x"} << QList<int>{} << true << 2;
        QTest::newRow("ids outside the report are ignored")
            << true << QStringList{"9 missing 0", "-1 missing 0"} << QList<int>{} << true << 2;
        QTest::newRow("an out-of-scope file does not count")
            << true << QStringList{"4 missing 0"} << QList<int>{4} << true << 2;
        QTest::newRow("live results never make it safe")
            << false << QStringList{"1 verified 2"} << QList<int>{1} << false << 2;
        QTest::newRow("a report asking for no copy still needs one")
            << true << QStringList{"2 verified 0"} << QList<int>{2} << false << 0;
    }
    void foldLiveResults() {
        QFETCH(bool, safeBefore);
        QFETCH(QStringList, batch);
        QFETCH(QList<int>, changed);
        QFETCH(bool, safeAfter);
        QFETCH(int, required);
        VerifyReport report =
            reportOf(volumeAt("/media/u/EOS", "/media/u/EOS", "6E1F"), 2,
                     {{"A", "0.JPG"},
                      {"A", "1.JPG", safeBefore ? FileStatus::verified : FileStatus::missing},
                      {"A", "2.JPG"},
                      {"B", "3.JPG"},
                      {"B", "4.JPG", FileStatus::verified, false}});
        report.requiredCopies = required;
        QCOMPARE(report.safeToFormat, safeBefore);
        const VerifyReport before = report;
        const FileIndex index(report);

        std::vector<FileResult> live;
        for (const QString& row : batch) {
            const QStringList parts = row.split(u' ');
            FileResult r;
            r.id = parts[0].toLongLong();
            r.relativePath =
                parts.size() > 3 ? "x" : join(r.id >= 3 ? "B" : "A", std::to_string(r.id) + ".JPG");
            r.status = *fileStatusFromRaw(parts[1].toStdString());
            r.safeDrives = parts[2].toLongLong();
            r.detail = "live";
            r.copies = {{1, "live/" + r.relativePath, EvidenceLevel::verified, true}};
            r.name = "renamed";  // only status, copies, detail and safe drives are taken
            r.size = -1;
            live.push_back(r);
        }
        const LiveFold fold = foldLive(report, live);

        QCOMPARE(fold.changed, std::vector<int>(changed.begin(), changed.end()));
        QCOMPARE(report.safeToFormat, safeAfter);
        QCOMPARE(fold.safeRevoked, safeBefore && !safeAfter);
        StatusCounts recount;
        for (size_t i = 0; i < report.files.size(); ++i) {
            const FileResult& f = report.files[i];
            const FileResult& old = before.files[i];
            const bool folded = changed.contains(static_cast<int>(i));
            QCOMPARE(f.detail.has_value(), folded);
            QCOMPARE(f.name, old.name);
            QCOMPARE(f.size, old.size);
            if (!folded) QVERIFY(f == old);
            if (f.inScope) recount.add(f);
        }
        QVERIFY(report.totals == recount);
        QVERIFY(report.groups == before.groups && report.folders == before.folders);

        // The list follows the folded statuses with the index built before the fold.
        FileQuery notBackedUp;
        notBackedUp.filter = FileFilter::notBackedUp;
        std::vector<int> want;
        for (size_t i = 0; i < report.files.size(); ++i) {
            if (report.files[i].inScope && !isCovered(report.files[i].status))
                want.push_back(static_cast<int>(i));
        }
        QCOMPARE(index.refilter(report, notBackedUp), want);
    }

    void sameBackupsInTheSameOrder() {
        const VerifyReport report = browserReport(2);
        QVERIFY(sameBackups(report, {"/media/backup0", "/media/backup1"}));
        QVERIFY(!sameBackups(report, {"/media/backup1", "/media/backup0"}));
        QVERIFY(!sameBackups(report, {"/media/backup0"}));
        QVERIFY(!sameBackups(report, {"/media/backup0", "/media/backup1", "/media/backup2"}));
    }

    // The export is named as the copy report's CSV is: the card's name and an ISO date, whatever
    // the locale; a folder card by its folder (one on the system disk would be "/").
    void exportFileName_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("volumePath");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("name");
        QTest::newRow("a volume") << "/media/u/EOS"
                                  << "/media/u/EOS"
                                  << "EOS_DIGITAL"
                                  << "SD Halvetrop – EOS_DIGITAL – 2026-12-07.csv";
        QTest::newRow("a slash in the label") << "/media/u/AB"
                                              << "/media/u/AB"
                                              << "A/B"
                                              << "SD Halvetrop – A-B – 2026-12-07.csv";
        QTest::newRow("a folder on a labelled volume") << "/media/u/EOS/DCIM"
                                                       << "/media/u/EOS"
                                                       << "EOS_DIGITAL"
                                                       << "SD Halvetrop – DCIM – 2026-12-07.csv";
        QTest::newRow("a folder on the system disk") << "/home/ana/Card 3"
                                                     << "/"
                                                     << "/"
                                                     << "SD Halvetrop – Card 3 – 2026-12-07.csv";
    }
    void exportFileName() {
        QFETCH(QString, path);
        QFETCH(QString, volumePath);
        QFETCH(QString, label);
        QFETCH(QString, name);
        VerifyReport report = browserReport();
        report.source.path = path.toStdString();
        report.source.volumePath = volumePath.toStdString();
        report.source.name = label.toStdString();
        const QLocale before;
        for (const char* locale : {"en_US", "de_DE", "en_GB"}) {
            QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
            QCOMPARE(csvFileName(report, QDate(2026, 12, 7)), name);
        }
        QLocale::setDefault(before);
    }

    void exportWritesTheCSVOrSaysWhyNot_data() {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("error");  // 0: written
        QTest::newRow("written") << "ok" << 0;
        QTest::newRow("folder gone") << "missing" << ENOENT;
        QTest::newRow("full disk") << "full" << ENOSPC;
    }
    void exportWritesTheCSVOrSaysWhyNot() {
        QFETCH(QString, where);
        QFETCH(int, error);
        // Enough files that the text cannot fit the small disk.
        std::vector<FileSpec> files(20000, FileSpec{"DCIM/100CANON", "IMG_0001.JPG", FileStatus::missing});
        const VerifyReport report = reportOf(volumeAt("/media/u/EOS", "/media/u/EOS", "6E1F"), 1, files);
        QTemporaryDir dir;
        QString path = dir.filePath("report.csv");
        std::unique_ptr<test::LoopVolume> disk;
        if (where == "missing") path = dir.filePath("gone/report.csv");
        if (where == "full") {
            std::string reason;
            if (!test::LoopVolume::available(&reason, test::LoopVolume::Type::tmpfs)) QSKIP(reason.c_str());
            disk = std::make_unique<test::LoopVolume>(test::LoopVolume::Type::tmpfs, 64 << 10);
            path = QString::fromStdString(*disk / "report.csv");
        }
        const auto failure = writeCSV(report, path);
        if (error == 0) {
            QVERIFY2(!failure, qPrintable(failure ? failure->noticeText() : QString()));
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll().toStdString(), CSVExport::csv(report));
            return;
        }
        QVERIFY(failure);
        QCOMPARE(failure->file, path);
        QVERIFY2(failure->reason.contains(QString::fromLocal8Bit(std::strerror(error))),
                 qPrintable(failure->reason));
        QVERIFY(failure->noticeText().contains(path) && failure->noticeText().contains(failure->reason));
        QVERIFY(!QFile::exists(path));
    }
};

}  // namespace halvetrop

QTEST_GUILESS_MAIN(halvetrop::FileListTest)
#include "FileListTest.moc"

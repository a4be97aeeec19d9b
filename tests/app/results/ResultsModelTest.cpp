// The results screen over the real model. Its row lists and the file browser's rows: a fold of the
// byte-by-byte pass, and the pass's own report, change rows in place; another report resets them.
// A card not read whole: what could not be read is named on screen and in the exported report.
#include <QAbstractItemModelTester>
#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <filesystem>

#include "model/ModelFixture.h"
#include "present/Paths.h"
#include "results/ResultsData.h"

using namespace halvetrop;
using namespace halvetrop::test;

namespace {

const std::vector<std::string> kBackups{"/backup/a", "/backup/b"};
constexpr int kFiles = 12;
constexpr int kShoots = 3;

// What one list model told its views, checked for consistency as it goes.
struct Watch {
    explicit Watch(QAbstractItemModel* m)
        : model(m),
          tester(m, QAbstractItemModelTester::FailureReportingMode::QtTest),
          resets(m, &QAbstractItemModel::modelReset),
          changes(m, &QAbstractItemModel::dataChanged),
          inserted(m, &QAbstractItemModel::rowsInserted),
          removed(m, &QAbstractItemModel::rowsRemoved),
          layouts(m, &QAbstractItemModel::layoutChanged) {}
    void clear() {
        for (QSignalSpy* s : {&resets, &changes, &inserted, &removed, &layouts}) s->clear();
    }
    int rowsIn(QSignalSpy& spy) const {
        int n = 0;
        for (const auto& args : spy) n += args.at(2).toInt() - args.at(1).toInt() + 1;
        return n;
    }
    // Whether the last data change covered every row.
    bool allChanged() const {
        if (changes.isEmpty() || model->rowCount() == 0) return false;
        const auto& last = changes.last();
        return last.at(0).toModelIndex().row() == 0 &&
               last.at(1).toModelIndex().row() == model->rowCount() - 1;
    }

    QAbstractItemModel* model;
    QAbstractItemModelTester tester;
    QSignalSpy resets, changes, inserted, removed, layouts;
};

// A model (h.model) with the card and both backups chosen, shown to `data`, whose check found
// `r`; the automatic pass that follows is left running (it is the second verifier).
void show(Harness& h, ResultsData& data, const VerifyReport& r) {
    AppModel& m = ready(h, kBackups);
    data.setModel(&m);
    m.check(std::optional<CheckLevel>());
    h.verifier(0)->complete(r);
    QTRY_COMPARE(m.phase(), AppModel::Phase::Results);
}

// `standard` shown with its pass running (the second verifier) and the browser filtered and sorted.
void browseDuringPass(Harness& h, ResultsData& data, const VerifyReport& standard, const QString& filter,
                      const QString& column, bool ascending) {
    show(h, data, standard);
    AppModel& m = *h.model;
    QTRY_VERIFY(m.deepVerifying());
    m.setFilter(*AppModel::fileFilterFromRaw(filter));
    m.fileRows()->setOrder({{"column", column}, {"ascending", ascending}});
}

// The ids of the browser's rows, top down.
QList<qint64> rowIDs(const FileRows& rows) {
    QList<qint64> out;
    for (int i = 0; i < rows.count(); ++i) out << rows.idAt(i);
    return out;
}

// Verified files over every shoot row, as the rows tell them.
int verifiedInShoots(const QAbstractItemModel& shoots) {
    const int role = shoots.roleNames().key("counts");
    int n = 0;
    for (int i = 0; i < shoots.rowCount(); ++i)
        n += int(shoots.data(shoots.index(i, 0), role).toMap().value("verified").toDouble());
    return n;
}

// The rows a browser freshly given the model's report and visible files shows.
QList<qint64> freshRowIDs(AppModel& m) {
    FileRows fresh;
    fresh.setSortColumn(m.fileRows()->sortColumn());
    fresh.setSortAscending(m.fileRows()->sortAscending());
    fresh.setReport(&*m.report(), m.visibleFiles());
    return rowIDs(fresh);
}

// What the screen shows after folds is what a screen given the folded report afresh shows: every
// shoot row, the header, and the destinations panel of every folder, the whole card's last (the
// one it keeps counting through the next fold).
// The same rows, role by role.
void expectSameRows(const QAbstractItemModel& a, const QAbstractItemModel& b) {
    QCOMPARE(a.rowCount(), b.rowCount());
    for (int row = 0; row < a.rowCount(); ++row)
        for (int role : a.roleNames().keys())
            QCOMPARE(a.data(a.index(row, 0), role), b.data(b.index(row, 0), role));
}

void expectAsFresh(ResultsData& data, AppModel& m) {
    ResultsData fresh;
    fresh.setModel(&m);
    fresh.showPlaces(QString());
    for (auto [kept, made] :
         {std::pair{data.shoots(), fresh.shoots()}, std::pair{data.folders(), fresh.folders()},
          std::pair{data.places(), fresh.places()}})
        expectSameRows(*qobject_cast<QAbstractItemModel*>(kept), *qobject_cast<QAbstractItemModel*>(made));
    QCOMPARE(data.hero(), fresh.hero());
    auto* folders = qobject_cast<QAbstractItemModel*>(data.folders());
    const int path = folders->roleNames().key("path");
    for (int row = 0; row < folders->rowCount(); ++row) {
        const QString key = folders->data(folders->index(row, 0), path).toString();
        QCOMPARE(data.panel(key), fresh.panel(key));
    }
    QCOMPARE(data.panel(QString()), fresh.panel(QString()));
}

}  // namespace

class ResultsModelTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    }

    // What follows a shown result while the pass runs, with a file chosen in the browser.
    void sameCheckMovesRowsAnotherResets_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("reset");
        QTest::addColumn<int>("newShoots");
        QTest::newRow("fold of the pass") << "fold" << false << 0;
        QTest::newRow("the pass's own report") << "pass" << false << 0;
        QTest::newRow("the pass's report with a new shoot") << "pass+shoot" << false << 1;
        QTest::newRow("the same, beside look-alike folders") << "pass+shoot+alike" << false << 1;
        QTest::newRow("a new check") << "check" << true << 0;
        QTest::newRow("a saved check opened") << "history" << true << 0;
    }
    void sameCheckMovesRowsAnotherResets() {
        QFETCH(QString, how);
        QFETCH(bool, reset);
        QFETCH(int, newShoots);
        Harness h;
        ResultsData data;
        // Two folders that differ only in a byte that is not UTF-8 look alike but are two rows.
        const auto alike = [&](VerifyReport& r) {
            if (!how.endsWith("alike")) return;
            for (size_t i : {2, 3}) {
                r.folders[i].path = "DCIM/1\uFFFD";
                r.folders[i].name = "1\uFFFD";
            }
            r.folders[2].rawPath = "DCIM/1\xfe";
        };
        VerifyReport standard = makeShoots(kCard, kBackups, kFiles, kShoots, FileStatus::backedUp);
        alike(standard);
        show(h, data, standard);
        AppModel& m = *h.model;
        QTRY_VERIFY(m.deepVerifying());
        auto pass = h.verifier(1);
        m.setMode(AppModel::Mode::Files);
        m.setSelectedFileID(5);
        QCOMPARE(data.hero().value("stats").toList().size(), 1);

        Watch shoots(qobject_cast<QAbstractItemModel*>(data.shoots()));
        Watch folders(qobject_cast<QAbstractItemModel*>(data.folders()));
        Watch files(m.fileRows());
        const int shootRows = shoots.model->rowCount(), folderRows = folders.model->rowCount();
        QCOMPARE(shootRows, kShoots);
        QCOMPARE(folderRows, kShoots + 2);
        for (Watch* w : {&shoots, &folders, &files}) w->clear();

        if (how == "fold") {
            for (const FileResult& f : standard.files) {
                FileResult live = f;
                live.status = FileStatus::verified;
                pass->onFile(live);
            }
            QTRY_COMPARE(m.report()->totals.verified, kFiles);
        } else if (how.startsWith("pass")) {
            VerifyReport verified =
                makeShoots(kCard, kBackups, kFiles, kShoots, FileStatus::verified, CheckLevel::verified);
            alike(verified);
            if (how.contains("shoot")) addShoot(verified, "DCIM/199", "2026-02-01", FileStatus::verified);
            pass->complete(verified);
            QTRY_VERIFY(!m.deepVerifying());
            QCOMPARE(m.report()->level, CheckLevel::verified);
        } else if (how == "check") {
            m.check(std::optional<CheckLevel>());
            h.verifier(2)->complete(standard);
            QTRY_COMPARE(h.verifierCount(), size_t(4));  // and its own pass
        } else {
            QTRY_COMPARE(m.historyCount(), 1);
            m.showHistory(m.history().front().id.toString());
            QTRY_VERIFY(!m.deepVerifying());
        }

        for (Watch* w : {&shoots, &folders, &files}) QCOMPARE(w->resets.count() > 0, reset);
        QCOMPARE(shoots.model->rowCount(), shootRows + newShoots);
        QCOMPARE(folders.model->rowCount(), folderRows + newShoots);
        if (!reset) {
            for (Watch* w : {&shoots, &folders, &files}) {
                QVERIFY(w->allChanged());
                QCOMPARE(w->rowsIn(w->inserted), newShoots);
                QCOMPARE(w->rowsIn(w->removed), 0);
            }
            // The rows that stayed show the folded statuses.
            QCOMPARE(verifiedInShoots(*shoots.model), kFiles + newShoots);
        }
        if (!reset) {
            QCOMPARE(m.mode(), AppModel::Mode::Files);
            QCOMPARE(m.selectedFileID(), 5);
            QCOMPARE(m.fileRows()->inspect(5).value("status").toString(), QStringLiteral("verified"));
        }
        QCOMPARE(rowIDs(*m.fileRows()), freshRowIDs(m));
    }

    // The browser sorted by status and filtered: folds move, add and drop rows where a fresh sort
    // would put them, by removals, insertions and changes of order, never by a reset.
    void browserRowsFollowFoldsWithoutReset_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<bool>("ascending");
        QTest::newRow("all, status ascending") << "All" << true;
        QTest::newRow("all, status descending") << "All" << false;
        QTest::newRow("not backed up") << "Not backed up" << true;
        QTest::newRow("backed up") << "Backed up" << false;
    }
    void browserRowsFollowFoldsWithoutReset() {
        QFETCH(QString, filter);
        QFETCH(bool, ascending);
        Harness h;
        ResultsData data;
        VerifyReport standard = makeShoots(kCard, kBackups, 40, 4, FileStatus::backedUp);
        for (int i : {3, 17, 29}) {
            standard.files[size_t(i)].status = FileStatus::missing;
            standard.files[size_t(i)].copies.clear();
        }
        browseDuringPass(h, data, standard, filter, QStringLiteral("status"), ascending);
        AppModel& m = *h.model;
        auto pass = h.verifier(1);
        FileRows& rows = *m.fileRows();
        Watch files(&rows);
        files.clear();
        const int before = rows.count();
        data.showPlaces(QString());

        // Three batches: some copies proven, one copy found changed, the rest proven.
        const std::vector<std::vector<std::pair<int, FileStatus>>> batches{
            {{0, FileStatus::verified},
             {7, FileStatus::verified},
             {8, FileStatus::verified},
             {31, FileStatus::verified}},
            {{12, FileStatus::changed}, {3, FileStatus::missing}, {39, FileStatus::verified}},
            {{1, FileStatus::verified},
             {2, FileStatus::verified},
             {13, FileStatus::verified},
             {38, FileStatus::changed}},
        };
        int verified = 0;
        const auto told = [&] {
            return files.changes.count() + files.layouts.count() + files.inserted.count() +
                   files.removed.count();
        };
        for (const auto& batch : batches) {
            const qsizetype toldBefore = told();
            bool shown = false;
            for (const auto& [id, status] : batch) {
                FileResult live = standard.files[size_t(id)];
                live.status = status;
                if (status == FileStatus::changed) live.copies.clear();
                shown = shown || rows.rowOf(id) >= 0;
                pass->onFile(live);
                verified += status == FileStatus::verified;
            }
            QTRY_COMPARE(m.report()->totals.verified, verified);
            QCOMPARE(rowIDs(rows), freshRowIDs(m));
            expectAsFresh(data, m);
            // The views hear of a fold that changes a row they show, and only of such a fold.
            for (const auto& [id, status] : batch) shown = shown || rows.rowOf(id) >= 0;
            QCOMPARE(told() > toldBefore, shown);
        }
        // The two files changed while reading are named so, in their shoots and in the header.
        auto* shoots = qobject_cast<QAbstractItemModel*>(data.shoots());
        QStringList sentences;
        for (int row = 0; row < shoots->rowCount(); ++row)
            sentences << shoots->data(shoots->index(row, 0), shoots->roleNames().key("sentence")).toString();
        QCOMPARE(sentences.count(QStringLiteral("Partly backed up · 1 changed while reading")), 2);
        QVERIFY2(data.hero().value("reason").toString().startsWith(
                     QStringLiteral("3 missing · 2 changed while reading · ")),
                 qPrintable(data.hero().value("reason").toString()));
        QCOMPARE(files.resets.count(), 0);
        QCOMPARE(files.rowsIn(files.inserted) - files.rowsIn(files.removed), rows.count() - before);
        // Sorted by status, the files whose status changed had to move.
        if (filter == "All") QVERIFY(files.rowsIn(files.inserted) + files.layouts.count() > 0);
    }

    // A fold that moves, drops or brings back many rows spread over the list reaches the views as
    // a few changes (a view handles each on its own), leaves the rows as a fresh sort gives them
    // and keeps an index held on a row with its file.
    void manyMovedRowsGoAsFewChanges_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("column");
        QTest::addColumn<bool>("ascending");
        QTest::newRow("all, by status") << "All"
                                        << "status" << true;
        QTest::newRow("all, by status, descending") << "All"
                                                    << "status" << false;
        QTest::newRow("not backed up, by path") << "Not backed up"
                                                << "path" << true;
        QTest::newRow("not backed up, by status") << "Not backed up"
                                                  << "status" << false;
        QTest::newRow("backed up, by name") << "Backed up"
                                            << "name" << true;
    }
    void manyMovedRowsGoAsFewChanges() {
        QFETCH(QString, filter);
        QFETCH(QString, column);
        QFETCH(bool, ascending);
        Harness h;
        ResultsData data;
        // Five shoots, so that what changes is spread over every folder.
        VerifyReport standard = makeShoots(kCard, kBackups, 600, 5, FileStatus::backedUp);
        for (size_t i = 0; i < standard.files.size(); i += 3) standard.files[i].status = FileStatus::likely;
        browseDuringPass(h, data, standard, filter, column, ascending);
        AppModel& m = *h.model;
        auto pass = h.verifier(1);
        FileRows& rows = *m.fileRows();
        Watch files(&rows);
        const QPersistentModelIndex held(rows.index(rows.count() / 2));
        const qint64 heldID = held.data(FileRows::FileId).toLongLong();
        const int before = rows.count();

        // Every other likely file proven, every seventh backed-up one found changed.
        int verified = 0;
        for (size_t i = 0; i < standard.files.size(); ++i) {
            FileResult live = standard.files[i];
            if (i % 3 == 0 && i % 2 == 0) {
                live.status = FileStatus::verified;
                ++verified;
            } else if (i % 3 != 0 && i % 7 == 0) {
                live.status = FileStatus::changed;
                live.copies.clear();
            } else {
                continue;
            }
            pass->onFile(live);
        }
        QTRY_COMPARE(m.report()->totals.verified, verified);
        QCOMPARE(rowIDs(rows), freshRowIDs(m));
        QCOMPARE(files.resets.count(), 0);
        QVERIFY(files.inserted.count() <= 1);
        QVERIFY(files.removed.count() <= 1);
        QVERIFY(files.layouts.count() <= 2);
        QVERIFY(files.inserted.count() + files.removed.count() + files.layouts.count() >= 1);
        QCOMPARE(files.rowsIn(files.inserted) - files.rowsIn(files.removed), rows.count() - before);
        if (m.fileRows()->rowOf(heldID) >= 0) {
            QCOMPARE(held.row(), rows.rowOf(heldID));
        } else {
            QVERIFY(!held.isValid());
        }
    }

    // The destinations panel's places follow folds in place: the rows read what a panel made
    // afresh lists, the places that stay are told their new figures, and only another folder or
    // no panel replaces them.
    void placesFollowFoldsInPlace() {
        Harness h;
        ResultsData data;
        VerifyReport standard = makeShoots(kCard, kBackups, 60, 3, FileStatus::backedUp);
        show(h, data, standard);
        AppModel& m = *h.model;
        QTRY_VERIFY(m.deepVerifying());
        auto pass = h.verifier(1);
        auto* places = qobject_cast<QAbstractItemModel*>(data.places());
        QCOMPARE(places->rowCount(), 0);
        data.showPlaces(QString());
        // What a panel made afresh on the folded report lists.
        const auto expectAsPanel = [&](const QString& folder) {
            ResultsData made;
            made.setModel(&m);
            made.showPlaces(folder);
            expectSameRows(*places, *qobject_cast<QAbstractItemModel*>(made.places()));
        };
        expectAsPanel(QString());
        QVERIFY(places->rowCount() > 0);
        Watch watch(places);

        // Copies proven in another folder of the first backup, a third of them, then more: the
        // new place grows past the old ones.
        for (int batch = 1; batch <= 3; ++batch) {
            for (int i = 0; i < 60; ++i) {
                if (i % 3 >= batch) continue;
                FileResult live = standard.files[size_t(i)];
                live.status = FileStatus::verified;
                live.copies = {{0, "Moved/" + live.name, EvidenceLevel::verified, true}};
                pass->onFile(live);
            }
            QTRY_COMPARE(m.report()->totals.verified, batch * 20);
            expectAsPanel(QString());
        }
        QCOMPARE(watch.resets.count(), 0);
        QVERIFY(watch.changes.count() >= 3);

        const QString folder = present::pathKey(standard.files[0].folder);
        data.showPlaces(folder);
        QCOMPARE(watch.resets.count(), 1);
        expectAsPanel(folder);
        data.showPlaces(QVariant());
        QCOMPARE(places->rowCount(), 0);
    }

    // The header counts what could not be read and warns in its tint and ring; the card's
    // contents list the entries, the first twenty of a long list; the CSV has a row for each.
    void cardNotReadWholeIsNamed_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("listed");
        QTest::addColumn<QString>("note");
        QTest::newRow("read whole") << 0 << 0 << 0 << "";
        QTest::newRow("three entries") << 3 << 3 << 3 << "";
        QTest::newRow("a long list") << 25 << 25 << 20 << "…and 5 more. Export Report… lists them all.";
        QTest::newRow("saved before entries were kept")
            << 2 << 0 << 0 << "This saved check didn't keep their names. Check the card again to see them.";
    }
    void cardNotReadWholeIsNamed() {
        QFETCH(int, count);
        QFETCH(int, entries);
        QFETCH(int, listed);
        QFETCH(QString, note);
        VerifyReport r = makeShoots(kCard, kBackups, 6, 2, FileStatus::verified, CheckLevel::verified);
        r.cardUnreadable = count;
        r.safeToFormat = count == 0;
        for (int i = 0; i < entries; ++i)
            r.cardUnreadableEntries.push_back({"DCIM/" + std::to_string(200 + i), "Input/output error"});
        Harness h;
        ResultsData data;
        show(h, data, r);
        AppModel& m = *h.model;

        const QVariantMap hero = data.hero();
        const QString sentence =
            count == 0
                ? QString()
                : QString::number(count) + QStringLiteral(" folders or files on the card couldn't be read");
        QCOMPARE(hero.value("unreadableText").toString(), sentence);
        QCOMPARE(hero.value("tint").toString(),
                 count ? QStringLiteral("partial") : QStringLiteral("verified"));
        QCOMPARE(hero.value("ringTint").toString(), count ? QStringLiteral("partial") : QString());
        QCOMPARE(hero.value("allCovered").toBool(), count == 0);
        const QVariantMap arc = data.segments().value(0).toMap();
        QCOMPARE(arc.value("status").toString(), QStringLiteral("verified"));
        QCOMPARE(arc.value("color").toString(),
                 count ? QStringLiteral("partial") : QStringLiteral("verified"));

        const QVariantMap contents = data.contents();
        QCOMPARE(contents.value("unreadableText").toString(), sentence);
        const QVariantList list = contents.value("unreadable").toList();
        QCOMPARE(list.size(), listed);
        if (listed > 0) {
            QCOMPARE(list.first().toMap().value("path").toString(), QStringLiteral("DCIM/200"));
            QCOMPARE(list.first().toMap().value("reason").toString(), QStringLiteral("Input/output error"));
        }
        QCOMPARE(contents.value("unreadableNote").toString(), note);

        QTemporaryDir out;
        h.savePicker->answer = out.filePath("report.csv").toStdString();
        m.exportCSV();
        QFile csv(out.filePath("report.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QCOMPARE(lines.first().count(','), 9);
        int cantRead = 0;
        for (const QByteArray& line : lines) cantRead += line.startsWith("\"Can't read\",");
        QCOMPARE(cantRead, entries);
        if (entries > 0)
            QVERIFY(lines.contains(
                "\"Can't read\",\"200\",\"DCIM\",\"\",\"\",\"\",\"\",\"\",\"\",\"Input/output error\""));
    }

    // A saved result's header says what is in the reader: for its card as checked the verdict,
    // else (the card changed since, another card, one that cannot be told apart, none) what is
    // there, whatever the verdict, with the ring's covered arcs and symbol in the header's colour,
    // never green, and never the ready-to-format panel.
    void headerSaysWhatIsInTheReader_data() {
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<QString>("place");  // "card", "changed", "another", "cannotTell", "none"
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("tint");
        const QList<std::array<QString, 3>> verdicts{
            {"safe", "Safe to format", "verified"},
            {"one backup", "All verified", "verified"},
            {"missing", "1 not backed up", "missing"},
            {"not read whole", "Part of the card couldn't be read", "partial"},
            {"card only", "", ""},
        };
        const QList<std::array<QString, 3>> places{
            {"changed", "Changed since this check", "partial"},
            {"another", "Another card is in the reader", "partial"},
            {"cannotTell", "Can't tell which card is in the reader", "partial"},
            {"none", "The card isn't in the reader", "pending"},
        };
        for (const auto& v : verdicts) {
            QTest::newRow(qPrintable(v[0] + ", the card as checked")) << v[0] << "card" << v[1] << v[2];
            for (const auto& p : places)
                QTest::newRow(qPrintable(v[0] + ", " + p[0])) << v[0] << p[0] << p[1] << p[2];
        }
    }
    void headerSaysWhatIsInTheReader() {
        QFETCH(QString, verdict);
        QFETCH(QString, place);
        QFETCH(QString, title);
        QFETCH(QString, tint);
        const std::vector<std::string> backups = verdict == "card only" ? std::vector<std::string>{}
                                                 : verdict == "one backup"
                                                     ? std::vector<std::string>{"/backup/a"}
                                                     : kBackups;
        VerifyReport r = makeReport(
            kCard, backups,
            {FileStatus::verified, verdict == "missing" ? FileStatus::missing : FileStatus::verified},
            CheckLevel::verified);
        if (verdict == "not read whole") {
            r.cardUnreadable = 1;
            r.cardUnreadableEntries = {{"DCIM/101", "Input/output error"}};
            r.safeToFormat = false;
        }
        if (place != "cannotTell") r.source.volumeID = "6E1F-0A0B";
        Harness h;
        ResultsData data;
        show(h, data, r);
        AppModel& m = *h.model;
        QTRY_COMPARE(m.historyCount(), 1);
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        {
            std::lock_guard<std::mutex> hold(h.described->lock);
            h.described->change = [place](VolumeInfo& v) {
                if (place == "another")
                    v.volumeID = "1111-2222";
                else if (place == "cannotTell")
                    v.mountID = *v.mountID + 1;
                else
                    v.volumeID = "6E1F-0A0B";
            };
        }
        if (place == "none") h.bookmarks->gone = {kCard};
        *h.addedSince = place == "changed" ? 1 : 0;
        m.showHistory(m.history().front().id.toString());
        QVERIFY(m.waitForIdle(kHangDetectorMs));

        const QVariantMap hero = data.hero();
        const QString line = hero.value("savedLine").toString();
        QVERIFY2(line.startsWith(QString::fromLatin1(verdict == "card only" ? "Scanned " : "Checked ")),
                 qPrintable(line));
        QCOMPARE(line.endsWith(QStringLiteral(" The card hasn't changed since.")), place == "card");
        if (verdict == "card only") {
            // A scan's header has no title for it: its saved line says what is at the place.
            const QMap<QString, QString> said{
                {"changed", "ago."},
                {"another", " The card now at its place is another card."},
                {"cannotTell", " Can't tell whether the card now at its place is this one."},
                {"none", " Insert “CARD” to check it again."}};
            QVERIFY2(place == "card" || line.endsWith(said.value(place)), qPrintable(line));
            return;
        }
        QCOMPARE(hero.value("title").toString(), title);
        QCOMPARE(hero.value("tint").toString(), tint);
        const bool asChecked = place == "card";
        const QString covered = asChecked ? (verdict == "not read whole" ? "partial" : "verified") : tint;
        QCOMPARE(data.segments().value(0).toMap().value("status").toString(), QStringLiteral("verified"));
        QCOMPARE(data.segments().value(0).toMap().value("color").toString(), covered);
        QCOMPARE(hero.value("allCovered").toBool(),
                 asChecked && verdict != "missing" && verdict != "not read whole");
        QCOMPARE(hero.value("ringTint").toString(), covered == "verified" ? QString() : covered);
        QCOMPARE(data.ready(), asChecked && verdict == "safe");
        const QString reason = hero.value("reason").toString();
        QCOMPARE(line.endsWith(QStringLiteral("ago.")), !asChecked);
        if (place == "changed")
            QCOMPARE(reason,
                     QStringLiteral(
                         "Since this check, 1 file added on the card. Check it again before you format it."));
        if (place == "another" || place == "cannotTell")
            QVERIFY2(reason.contains(QStringLiteral(
                         "the “CARD” this result checked. Insert that card to check it again.")),
                     qPrintable(reason));
        if (place == "none")
            QCOMPARE(reason, QStringLiteral(
                                 "This result is of “CARD” as it was checked. Insert it to check it again."));
        QCOMPARE(hero.value("savedChanged").toBool(), place == "changed");
    }

    // A result that would be safe to format says so, and shows its panel, only once the card has
    // been looked at after the check that made it: while that listing is held the title says what
    // the check found, not that the card may be formatted; as the listing finds the card as it
    // says, the panel comes. So for a check made now, the byte-by-byte pass's own report, and a
    // saved result opened again.
    void theReadyPanelWaitsForTheCardToBeLookedAt_data() {
        QTest::addColumn<QString>("made");
        for (const char* made : {"check", "pass", "saved"}) QTest::newRow(made) << made;
    }
    void theReadyPanelWaitsForTheCardToBeLookedAt() {
        QFETCH(QString, made);
        Harness h;
        ResultsData data;
        const VerifyReport verified =
            makeReport(kCard, kBackups, {FileStatus::verified}, CheckLevel::verified);
        VerifyReport standard = verified;
        standard.level = CheckLevel::standard;
        standard.safeToFormat = false;
        h.listings->hold(made == "check");
        show(h, data, made == "pass" ? standard : verified);
        AppModel& m = *h.model;
        if (made == "pass") {
            QTRY_VERIFY(m.deepVerifying());
            QVERIFY(m.waitForIdle(kHangDetectorMs, 1));
            h.listings->hold(true);
            h.verifier(1)->complete(verified);
            QTRY_COMPARE(m.report()->level, CheckLevel::verified);
        } else if (made == "saved") {
            QTRY_COMPARE(m.historyCount(), 1);
            QVERIFY(m.waitForIdle(kHangDetectorMs));
            h.listings->hold(true);
            m.showHistory(m.history().front().id.toString());
            QTRY_COMPARE(m.savedCard(), AppModel::SavedCard::looking);
        }
        QTRY_VERIFY(h.listings->walking());
        QVERIFY(!m.showsReadyToFormat() && !data.ready());
        QCOMPARE(data.hero().value("title").toString(), QStringLiteral("All verified"));
        h.listings->hold(false);
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QVERIFY(m.showsReadyToFormat() && data.ready());
        QCOMPARE(data.hero().value("title").toString(), QStringLiteral("Safe to format"));
    }

    // Files that left the card after its check say they are no longer on the card and offer
    // nothing of it (no preview, no showing it, no copy); the header and the shoots count what can
    // still be copied. The file still there keeps all of it.
    void filesThatLeftTheCardOfferNothingOfIt() {
        QTemporaryDir dir;
        const std::string card = dir.filePath(QStringLiteral("CARD")).toStdString();
        Harness h;
        const std::vector<FileStatus> statuses{FileStatus::verified, FileStatus::missing, FileStatus::missing,
                                               FileStatus::missing};
        AppModel& m = checkedOn(h, card, makeReport(card, kBackups, statuses, CheckLevel::verified));
        ResultsData data;
        data.setModel(&m);
        QCOMPARE(data.hero().value("copyFull").toString(), QStringLiteral("Copy 3 to Backup\u2026"));
        for (const char* name : {"IMG_1.JPG", "IMG_2.JPG"})
            QVERIFY(std::filesystem::remove(card + "/DCIM/" + name));
        QTRY_COMPARE(m.savedCard(), AppModel::SavedCard::changed);
        QVERIFY(m.waitForIdle(kHangDetectorMs));

        QCOMPARE(m.copyableIDs({0, 1, 2, 3}), (QList<qint64>{3}));
        QCOMPARE(data.hero().value("copyFull").toString(), QStringLiteral("Copy 1 to Backup\u2026"));
        auto* shoots = qobject_cast<QAbstractItemModel*>(data.shoots());
        QCOMPARE(shoots->data(shoots->index(0, 0), shoots->roleNames().key("copyable")).toInt(), 1);
        FileRows& rows = *m.fileRows();
        for (qint64 id = 0; id < 4; ++id) {
            const bool gone = id == 1 || id == 2;
            const QString status = rows.data(rows.index(rows.rowOf(id)), FileRows::StatusText).toString();
            QCOMPARE(status, QString::fromUtf8(gone ? "No longer on the card" : label(statuses[size_t(id)])));
            QCOMPARE(rows.inspect(id).value("gone").toBool(), gone);
        }
        QCOMPARE(rows.inspect(1).value("statusLabel").toString(), QStringLiteral("No longer on the card"));
        QVERIFY(rows.menu({1, 2}).value("offCard").toBool());
        QCOMPARE(rows.menu({1, 3}).value("firstId").toLongLong(), 3);
        m.quickLook(1);
        m.revealFiles({1, 2}, false);
        QVERIFY(!m.previewOpen() && h.reveal->revealed.empty());
        m.revealFiles({1, 3}, false);
        QCOMPARE(h.reveal->revealed, (std::vector<std::vector<std::string>>{{card + "/DCIM/IMG_3.JPG"}}));
    }

    // The ready-to-format panel's acts wait for the card to be looked at once more. With no watch
    // on the card at all (none could be set), a photo copied onto it a moment ago keeps it from
    // being ejected or erased as ready, and the result then says it changed; a card as the result
    // says is ejected, or erased. Coming back to the window looks at the card as well.
    void readyActsLookAtTheCardFirst_data() {
        QTest::addColumn<QString>("act");
        QTest::addColumn<bool>("changed");
        for (const char* act : {"eject", "erase", "window"}) {
            QTest::newRow(qPrintable(QString(act) + ", the card as it says")) << QString(act) << false;
            QTest::newRow(qPrintable(QString(act) + ", a photo added a moment ago")) << QString(act) << true;
        }
    }
    void readyActsLookAtTheCardFirst() {
        QFETCH(QString, act);
        QFETCH(bool, changed);
        struct CountingDiskTool : DiskTool {
            int opens = 0;
            std::optional<std::string> open() override {
                ++opens;
                return std::nullopt;
            }
        };
        QTemporaryDir dir;
        const std::string card = dir.filePath(QStringLiteral("CARD")).toStdString();
        Harness h;
        h.cardWatchLimit = 0;
        AppModel& m = readyToFormatOn(h, card);
        ResultsData data;
        auto* tool = new CountingDiskTool;
        data.setDiskTool(std::unique_ptr<DiskTool>(tool));
        data.setModel(&m);
        QVERIFY(data.ready() && m.canEjectSource());
        if (changed) writeCardFile(card, "DCIM/IMG_100.JPG", 1000);
        if (act == "eject") {
            m.ejectSource();
            QVERIFY(m.ejecting());
        } else if (act == "erase") {
            data.openDiskTool();
        } else {
            m.lookAtCardAgain();
        }
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(h.ejector->asked.size(), size_t(act == "eject" && !changed ? 1 : 0));
        QCOMPARE(m.ejecting(), act == "eject" && !changed);
        QCOMPARE(tool->opens, act == "erase" && !changed ? 1 : 0);
        QCOMPARE(m.savedCard(), changed ? AppModel::SavedCard::changed : AppModel::SavedCard::none);
        QCOMPARE(data.ready(), !changed);
        QCOMPARE(data.hero().value("title").toString(),
                 changed ? QStringLiteral("Changed since this check") : QStringLiteral("Safe to format"));
    }
};

QTEST_GUILESS_MAIN(ResultsModelTest)

#include "ResultsModelTest.moc"

// The history of checked cards: its rules, its file and the store that loads and saves it.
#include "model/History.h"

#include "model/FileList.h"
#include "model/HistorySummaries.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <map>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "RecordFixtures.h"
#include "present/ReportSummary.h"
#include "report/StoredForm.h"

namespace halvetrop {
namespace {

using test::FileSpec;
using test::reportOf;
using test::volumeAt;

// A card by its volume id and the folder below its root; `backups` 0 is a card-only scan. "-NAME@N"
// is a card without a volume id, mounted at /media/u/NAME with mount id N.
HistoryItem card(const std::string& volumeID, int backups, const std::string& firstName = "IMG_0001.JPG") {
    VolumeInfo source = volumeAt("/media/u/" + volumeID + "/DCIM", "/media/u/" + volumeID, volumeID);
    if (volumeID.starts_with('-')) {
        const std::string name = volumeID.substr(1, volumeID.find('@') - 1);
        source = volumeAt("/media/u/" + name + "/DCIM", "/media/u/" + name, std::nullopt);
        source.deviceNumber = "179:1";
        source.mountID = std::stoll(volumeID.substr(volumeID.find('@') + 1));
    }
    VerifyReport r = reportOf(source, backups,
                              {{"100CANON", firstName, FileStatus::verified},
                               {"100CANON", "IMG_0002.CR3", FileStatus::missing},
                               {"", "notes \"}].txt", FileStatus::backedUp, false}});
    std::vector<QByteArray> marks;
    for (int b = 0; b < backups; ++b)
        marks.push_back(QByteArray("\x00\xff mark ", 8) + QByteArray::number(b));
    return makeHistoryItem(std::move(r), QByteArray("card\n\x01", 6), std::move(marks));
}

// Reports have no equality of their own; their stored form holds every field.
bool sameReport(const VerifyReport& a, const VerifyReport& b) { return toStoredJson(a) == toStoredJson(b); }

std::vector<QUuid> idsOf(const std::vector<HistoryItem>& items) {
    std::vector<QUuid> ids;
    for (const auto& i : items) ids.push_back(i.id);
    return ids;
}

void writeText(const QString& path, const std::string& text) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(text.data(), static_cast<qint64>(text.size())), static_cast<qint64>(text.size()));
}

std::string readText(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}

// The files kept aside next to the history file.
QStringList keptAside(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("history.json.bad-*")}, QDir::Files, QDir::Name);
}

// What lies at `path`, a link not followed: "file", "fifo", "folder", "device", "link to TEXT", or
// "nothing".
QString whatIsAt(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) return QStringLiteral("nothing");
    if (S_ISLNK(st.st_mode)) {
        char text[4096];
        const ssize_t size = ::readlink(name.constData(), text, sizeof text);
        return QStringLiteral("link to ") + QFile::decodeName(QByteArray(text, size < 0 ? 0 : int(size)));
    }
    if (S_ISREG(st.st_mode)) return QStringLiteral("file");
    if (S_ISFIFO(st.st_mode)) return QStringLiteral("fifo");
    if (S_ISDIR(st.st_mode)) return QStringLiteral("folder");
    return S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? QStringLiteral("device") : QStringLiteral("other");
}

void compareItems(const std::vector<HistoryItem>& got, const std::vector<HistoryItem>& want) {
    QCOMPARE(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        QCOMPARE(got[i].id, want[i].id);
        QVERIFY(sameReport(got[i].report->open(), want[i].report->open()));
        QCOMPARE(got[i].sourceBookmark, want[i].sourceBookmark);
        QCOMPARE(got[i].destinationBookmarks, want[i].destinationBookmarks);
    }
}

}  // namespace

class HistoryTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void keyOfACard_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("volumePath");
        QTest::addColumn<QString>("volumeID");  // empty: none
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("mountRoot");  // empty: not known
        QTest::newRow("volume root") << "/media/u/EOS"
                                     << "/media/u/EOS"
                                     << "6E1F"
                                     << "6E1F|"
                                     << "";
        QTest::newRow("folder below the root") << "/media/u/EOS/DCIM"
                                               << "/media/u/EOS"
                                               << "6E1F"
                                               << "6E1F|/DCIM"
                                               << "";
        QTest::newRow("other reader, other mount name") << "/run/media/x/CARD/DCIM"
                                                        << "/run/media/x/CARD"
                                                        << "6E1F"
                                                        << "6E1F|/DCIM"
                                                        << "";
        QTest::newRow("no volume id") << "/media/u/EOS/DCIM"
                                      << "/media/u/EOS"
                                      << ""
                                      << "/media/u/EOS|/DCIM"
                                      << "";
        QTest::newRow("path outside its volume path") << "/home/a/card"
                                                      << "/media/u/EOS"
                                                      << ""
                                                      << "/media/u/EOS|/home/a/card"
                                                      << "";
        // A mount of part of a volume puts its folders at their place in the volume, where the
        // mount of the whole puts them too.
        QTest::newRow("a subvolume mounted alone") << "/mnt/photos"
                                                   << "/mnt/photos"
                                                   << "6E1F"
                                                   << "6E1F|/photos"
                                                   << "/photos";
        QTest::newRow("the subvolume through the whole") << "/mnt/whole/photos"
                                                         << "/mnt/whole"
                                                         << "6E1F"
                                                         << "6E1F|/photos"
                                                         << "/";
    }
    void keyOfACard() {
        QFETCH(QString, path);
        QFETCH(QString, volumePath);
        QFETCH(QString, volumeID);
        QFETCH(QString, key);
        QFETCH(QString, mountRoot);
        std::optional<std::string> id;
        if (!volumeID.isEmpty()) id = volumeID.toStdString();
        VolumeInfo v = volumeAt(path.toStdString(), volumePath.toStdString(), id);
        if (!mountRoot.isEmpty()) v.mountRoot = mountRoot.toStdString();
        QCOMPARE(QString::fromStdString(historyKey(v)), key);
    }

    // Each row records cards in turn ("ID:backups") and says which list and answers result.
    void recordingRules_data() {
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QStringList>("expected");  // the records' indexes, newest first
        QTest::addColumn<QList<bool>>("answers");
        QTest::newRow("same card twice keeps the newer")
            << QStringList{"A:1", "B:1", "A:2"} << QStringList{"2", "1"} << QList<bool>{true, true, true};
        QTest::newRow("card-only never replaces a compared check")
            << QStringList{"A:1", "A:0"} << QStringList{"0"} << QList<bool>{true, false};
        QTest::newRow("card-only replaces card-only")
            << QStringList{"A:0", "B:1", "A:0"} << QStringList{"2", "1"} << QList<bool>{true, true, true};
        QTest::newRow("compared replaces card-only")
            << QStringList{"A:0", "A:1"} << QStringList{"1"} << QList<bool>{true, true};
        QTest::newRow("card-only of another card is recorded")
            << QStringList{"A:1", "B:0"} << QStringList{"1", "0"} << QList<bool>{true, true};
        // Two cards labelled alike at one mount path, without volume ids: each mount is a card of
        // its own, and only the very same mount is the same card.
        QTest::newRow("no id, another mount at the same path is another card")
            << QStringList{"-EOS@40:1", "-EOS@41:1"} << QStringList{"1", "0"} << QList<bool>{true, true};
        QTest::newRow("no id, card-only of another mount at the same path is recorded")
            << QStringList{"-EOS@40:1", "-EOS@41:0"} << QStringList{"1", "0"} << QList<bool>{true, true};
        QTest::newRow("no id, the same mount is the same card")
            << QStringList{"-EOS@40:1", "-EOS@40:2"} << QStringList{"1"} << QList<bool>{true, true};
    }
    void recordingRules() {
        QFETCH(QStringList, records);
        QFETCH(QStringList, expected);
        QFETCH(QList<bool>, answers);
        std::vector<HistoryItem> history;
        std::vector<QUuid> made;
        for (qsizetype i = 0; i < records.size(); ++i) {
            const auto parts = records[i].split(u':');
            HistoryItem item = card(parts[0].toStdString(), parts[1].toInt());
            made.push_back(item.id);
            QCOMPARE(recordInto(history, std::move(item)), answers[i]);
        }
        std::vector<QUuid> want;
        for (const QString& index : expected) want.push_back(made[static_cast<size_t>(index.toInt())]);
        QCOMPARE(idsOf(history), want);
    }

    void theFortyFirstCardDropsTheOldest() {
        QTemporaryDir dir;
        HistoryStore store(dir.filePath("history.json"));
        store.load();
        QTRY_VERIFY(store.isLoaded());
        std::vector<QUuid> made;
        for (int i = 0; i < 41; ++i) {
            HistoryItem item = card(QStringLiteral("V%1").arg(i).toStdString(), 1);
            made.push_back(item.id);
            QVERIFY(store.record(std::move(item)));
        }
        QVERIFY(store.flush(halvetrop::kHangDetectorMs));
        QCOMPARE(store.items().size(), historyLimit);
        QCOMPARE(store.items().front().id, made.back());
        QCOMPARE(store.items().back().id, made[1]);
        QVERIFY(!store.find(made[0]));
        HistoryLoad again = readHistoryFile(store.file(), 2);
        QCOMPARE(idsOf(again.decoded.items), idsOf(store.items()));
    }

    void roundTripThroughTheFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("history.json");
        std::vector<HistoryItem> items{card("A", 2), card("B", 0), card("C", 1)};
        items[1].sourceBookmark.reset();
        QVERIFY(!writeHistoryFile(path, items));

        // The document a standard JSON reader sees: the keys, Base64 bookmarks, no null bookmark.
        auto doc = nlohmann::json::parse(readText(path));
        QVERIFY(doc.is_array());
        QCOMPARE(doc.size(), size_t{3});
        QCOMPARE(QString::fromStdString(doc[0]["id"].get<std::string>()),
                 items[0].id.toString(QUuid::WithoutBraces));
        QCOMPARE(QByteArray::fromBase64(
                     QByteArray::fromStdString(doc[0]["destinationBookmarks"][1].get<std::string>())),
                 items[0].destinationBookmarks[1]);
        QVERIFY(!doc[1].contains("sourceBookmark"));
        QVERIFY(doc[1]["destinationBookmarks"].empty());
        QVERIFY(sameReport(fromStoredJson<VerifyReport>(doc[2]["report"].dump()), items[2].report->open()));

        for (int workers : {1, 3}) {
            for (long long piece : {1LL, 7LL, 4096LL, 4LL << 20}) {
                HistoryLoad load = readHistoryFile(path, workers, piece);
                QVERIFY(!load.missing && !load.decoded.lossy());
                compareItems(load.decoded.items, items);
            }
        }
        QVERIFY(keptAside(dir.path()).isEmpty());

        // A report reopened from the file lists and offers to copy what the recorded one did.
        const HistoryLoad load = readHistoryFile(path, 2);
        for (size_t i = 0; i < items.size(); ++i) {
            const VerifyReport recorded = items[i].report->open();
            const VerifyReport reopened = load.decoded.items[i].report->open();
            FileQuery query;
            query.filter = FileFilter::notBackedUp;
            query.search = QStringLiteral("img");
            QCOMPARE(FileIndex(reopened).refilter(reopened, query),
                     FileIndex(recorded).refilter(recorded, query));
            QCOMPARE(copyableIDs(reopened, FileIndex(reopened), allFileIDs(reopened)),
                     copyableIDs(recorded, FileIndex(recorded), allFileIDs(recorded)));
        }
    }

    // Damaged files: what is kept, what is dropped, and whether the text still parsed.
    void damagedFiles_data() {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<int>("kept");
        QTest::addColumn<int>("dropped");
        QTest::addColumn<bool>("parsed");
        QTest::newRow("malformed report in the middle") << "[<G>,{\"id\":\"%1\",\"report\":{\"files\":7},"
                                                           "\"destinationBookmarks\":[]},<G>]"
                                                        << 2 << 1 << true;
        QTest::newRow("no destinationBookmarks") << "[<G>,{\"id\":\"%1\",\"report\":<R>}]" << 1 << 1 << true;
        QTest::newRow("null sourceBookmark and an unknown key")
            << "[{\"id\":\"%1\",\"x\":[1,{}],\"sourceBookmark\":null,\"report\":<R>,\"destinationBookmarks\":"
               "[]}]"
            << 1 << 0 << true;
        QTest::newRow("bookmark not Base64")
            << "[<G>,{\"id\":\"%1\",\"report\":<R>,\"destinationBookmarks\":[\"*\"]}]" << 1 << 1 << true;
        QTest::newRow("id not a UUID")
            << "[{\"id\":\"card\",\"report\":<R>,\"destinationBookmarks\":[]},<G>]" << 1 << 1 << true;
        QTest::newRow("item not an object") << "[42,<G>,\"}\",[]]" << 1 << 3 << true;
        QTest::newRow("unknown key holding no JSON")
            << "[{\"id\":\"%1\",\"x\":tru,\"report\":<R>,\"destinationBookmarks\":[]}]" << 0 << 1 << true;
        QTest::newRow("cut short") << "[<G>,<G>,{\"id\":\"%1\",\"rep" << 2 << 0 << false;
        QTest::newRow("trailing comma") << "[<G>,]" << 1 << 0 << false;
        QTest::newRow("text after the array") << "[<G>] x" << 1 << 0 << false;
        QTest::newRow("not JSON") << "<html>" << 0 << 0 << false;
        QTest::newRow("empty file") << "" << 0 << 0 << false;
        QTest::newRow("an object, not a list") << "{\"id\":1}" << 0 << 0 << false;
        QTest::newRow("empty list") << " [ ] \n" << 0 << 0 << true;
    }
    void damagedFiles() {
        QFETCH(QString, shape);
        QFETCH(int, kept);
        QFETCH(int, dropped);
        QFETCH(bool, parsed);
        // <G> is a good item, <R> a good report; "}" and "]" inside names must not end anything.
        const HistoryItem good = card("G", 1, "a\\\"}]{[.JPG");
        const std::string goodText = encodeHistory({good});
        const std::string item = goodText.substr(1, goodText.size() - 2);
        const std::string report = toStoredJson(good.report->open());
        std::string text;
        if (shape.contains("%1")) shape = shape.arg(QUuid::createUuid().toString(QUuid::WithoutBraces));
        const std::string pattern = shape.toStdString();
        for (size_t at = 0; at < pattern.size();) {
            if (pattern.compare(at, 3, "<G>") == 0) {
                text += item;
                at += 3;
            } else if (pattern.compare(at, 3, "<R>") == 0) {
                text += report;
                at += 3;
            } else {
                text += pattern[at++];
            }
        }

        DecodedHistory whole = decodeHistory(text, 2);
        QCOMPARE(static_cast<int>(whole.items.size()), kept);
        QCOMPARE(whole.dropped, dropped);
        QCOMPARE(whole.parsed, parsed);
        for (const auto& item : whole.items) QVERIFY(sameReport(item.report->open(), good.report->open()));

        QTemporaryDir dir;
        const QString path = dir.filePath("history.json");
        writeText(path, text);
        for (long long piece : {1LL, 5LL, 1LL << 20}) {
            HistoryLoad load = readHistoryFile(path, 1, piece);
            QCOMPARE(static_cast<int>(load.decoded.items.size()), kept);
            QCOMPARE(load.decoded.dropped, dropped);
            QCOMPARE(load.decoded.parsed, parsed);
        }
        // Anything lost on reading is kept aside first, byte for byte; the file itself stays.
        const QStringList aside = keptAside(dir.path());
        QCOMPARE(aside.isEmpty(), parsed && dropped == 0);
        for (const QString& name : aside) QCOMPARE(readText(dir.filePath(name)), text);
        QCOMPARE(readText(path), text);
    }

    // A saved report that lost any part its summary is read from cannot open: its item is dropped
    // and the file kept aside, never listed as a check (ready to format, say) that does not open.
    void aReportMissingAPartOfItsSummaryIsDropped_data() {
        QTest::addColumn<QString>("part");
        for (const char* part : {"source", "destinations", "scope", "level", "totals", "safeToFormat",
                                 "finishedAt", "groups", "files"})
            QTest::newRow(part) << part;
    }
    void aReportMissingAPartOfItsSummaryIsDropped() {
        QFETCH(QString, part);
        const HistoryItem good = card("G", 2);
        const std::string goodText = encodeHistory({good});
        nlohmann::json report = nlohmann::json::parse(toStoredJson(good.report->open()));
        QCOMPARE(report.erase(part.toStdString()), size_t(1));
        const std::string text = "[" + goodText.substr(1, goodText.size() - 2) + ",{\"id\":\"" +
                                 QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString() +
                                 "\",\"report\":" + report.dump() + ",\"destinationBookmarks\":[]}]";
        const DecodedHistory decoded = decodeHistory(text, 2);
        QCOMPARE(decoded.items.size(), size_t(1));
        QCOMPARE(decoded.dropped, 1);
        QTemporaryDir dir;
        writeText(dir.filePath("history.json"), text);
        QCOMPARE(readHistoryFile(dir.filePath("history.json"), 1).decoded.items.size(), size_t(1));
        QCOMPARE(keptAside(dir.path()).size(), 1);
    }

    // What a saved report says at a glance reads the same from its stored text as from the report,
    // which itself opens again as it was stored and is written back byte for byte.
    void aSummaryReadsFromTheStoredText_data() {
        QTest::addColumn<QString>("shape");
        for (const char* shape : {"compared", "card-only", "ready", "a kind left out of the scope",
                                  "shoots without cameras", "names with escapes", "not read whole"})
            QTest::newRow(shape) << shape;
    }
    void aSummaryReadsFromTheStoredText() {
        QFETCH(QString, shape);
        const bool escapes = shape == "names with escapes";
        VolumeInfo source = volumeAt(escapes ? "/media/u/\"C\\D\"\n/DCIM" : "/media/u/EOS/DCIM",
                                     escapes ? "/media/u/\"C\\D\"\n" : "/media/u/EOS", "6E1F");
        const FileStatus second = shape == "compared" ? FileStatus::missing : FileStatus::verified;
        VerifyReport r =
            reportOf(source, shape == "card-only" ? 0 : 2,
                     {{"100CANON", escapes ? "\"}]\u00e9.JPG" : "IMG_0001.JPG", FileStatus::verified},
                      {"100CANON", "MVI_0002.MP4", second}});
        r.files[0].kind = MediaKind::photo;
        r.files[1].kind = MediaKind::video;
        r.scope = VerifyScope::withKinds({MediaKind::photo, MediaKind::video});
        if (shape == "a kind left out of the scope") {
            r.scope = VerifyScope::withKinds({MediaKind::photo});
            r.files[1].inScope = false;
        }
        if (shape == "not read whole") r.cardUnreadable = 3;
        r.finishedAt = storableInstant(TimeNs(1'767'000'123'456'789'000));
        const bool named = shape != "shoots without cameras";
        for (const auto& [day, camera] : {std::pair{"2025-03-04", "EOS R5"}, std::pair{"2025-03-01", "A7 IV"},
                                          std::pair{"2025-03-02", "EOS R5"}}) {
            ShootGroup g;
            g.day = day;
            g.camera = named ? camera : "";
            r.groups.push_back(g);
        }
        const std::string text = toStoredJson(r);
        const auto saved = SavedReport::fromStored(text);
        const present::ReportSummary want = present::summarize(r);
        QVERIFY(saved->summary() == want);
        QCOMPARE(want.readyToFormat, shape == "ready" || shape == "shoots without cameras" || escapes);
        QVERIFY(saved->isPacked());
        QVERIFY(sameReport(saved->open(), r));
        QCOMPARE(saved->storedText(), text);
    }

    // A report whose summary reads but whose files do not stays in the history as it was stored: it
    // cannot be opened, and every save writes it back unchanged, also after a new record.
    void aReportThatDoesNotOpenIsKeptAsStored() {
        QTemporaryDir dir;
        const QString path = dir.filePath("history.json");
        HistoryItem a = card("A", 1);
        HistoryItem b = card("B", 1);
        std::string text = encodeHistory({a, b});
        const size_t at = text.find("\"status\":\"verified\"",
                                    text.find(b.id.toString(QUuid::WithoutBraces).toStdString()));
        text.replace(at, std::strlen("\"status\":\"verified\""), "\"status\":\"mislaid\"");
        writeText(path, text);
        const std::string bText = text.substr(
            text.find("\"report\":", text.find(b.id.toString(QUuid::WithoutBraces).toStdString())) + 9);

        HistoryStore store(path);
        store.load();
        QTRY_VERIFY(store.isLoaded());
        QVERIFY(store.keptAside().isEmpty());
        QCOMPARE(idsOf(store.items()), (std::vector<QUuid>{a.id, b.id}));
        QVERIFY(store.items()[1].report->summary() == b.report->summary());
        QVERIFY_THROWS_EXCEPTION(DecodingError, store.items()[1].report->open());

        HistoryItem c = card("C", 1);
        QVERIFY(store.record(c));
        QVERIFY(store.flush(halvetrop::kHangDetectorMs));
        const std::string after = readText(path);
        QVERIFY(after.find(bText.substr(0, bText.find(",\"sourceBookmark\""))) != std::string::npos);
        QCOMPARE(idsOf(readHistoryFile(path, 1).decoded.items), (std::vector<QUuid>{c.id, a.id, b.id}));
    }

    // Entries read from the file stay packed while one is recorded among them; the save writes each
    // read entry back as it was read, and packs the recorded one once it is written.
    void aRecordAmongPackedEntriesKeepsThemAsRead() {
        QTemporaryDir dir;
        const QString path = dir.filePath("history.json");
        std::vector<HistoryItem> written{card("A", 2, "a\\\"}].JPG"), card("B", 0)};
        QVERIFY(!writeHistoryFile(path, written));
        HistoryStore store(path);
        store.load();
        QTRY_VERIFY(store.isLoaded());
        for (const auto& item : store.items()) QVERIFY(item.report->isPacked());
        HistoryItem c = card("C", 1);
        QVERIFY(!c.report->isPacked());
        QVERIFY(store.record(c));
        QVERIFY(store.flush(halvetrop::kHangDetectorMs));
        QVERIFY(store.items().front().report->isPacked());
        const HistoryLoad again = readHistoryFile(path, 2);
        compareItems(again.decoded.items, {c, written[0], written[1]});
        for (size_t i = 0; i < written.size(); ++i)
            QCOMPARE(again.decoded.items[i + 1].report->storedText(),
                     toStoredJson(written[i].report->open()));
    }

    void aRecordBeforeTheLoadIsMergedAndNothingIsOverwrittenFirst() {
        QTemporaryDir dir;
        const QString path = dir.filePath("history.json");
        HistoryItem a = card("A", 1);
        HistoryItem b = card("B", 1);
        HistoryItem gone = card("D", 1);
        QVERIFY(!writeHistoryFile(path, {a, b, gone}));
        const std::string before = readText(path);

        HistoryStore store(path);
        QSignalSpy loaded(&store, &HistoryStore::loaded);
        HistoryItem newA = card("A", 2);   // the same card again: replaces a by the key rule
        HistoryItem onlyC = card("C", 0);  // card-only, a new card
        HistoryItem onlyB = card("B", 0);  // card-only over a compared check: not recorded
        QVERIFY(store.record(newA));
        QVERIFY(store.record(onlyC));
        QVERIFY(store.record(onlyB));  // nothing to compare with yet
        store.forget(gone.id);
        QCOMPARE(store.items().size(), size_t{3});
        QVERIFY(!store.flush(200));  // the load never started: nothing may be written
        QCOMPARE(readText(path), before);

        store.load();
        QVERIFY(loaded.wait(halvetrop::kHangDetectorMs) || loaded.count() == 1);
        QCOMPARE(idsOf(store.items()), (std::vector<QUuid>{onlyC.id, newA.id, b.id}));
        QVERIFY(store.flush(halvetrop::kHangDetectorMs));
        QCOMPARE(idsOf(readHistoryFile(path, 1).decoded.items), idsOf(store.items()));
        QVERIFY(keptAside(dir.path()).isEmpty());
    }

    // The summaries beside the file list the history before it is read; missing, of an older file,
    // damaged, or saying other than the file, they list nothing before the file is read, or are
    // replaced by it, and are made again from it.
    void theSummariesListTheHistoryBeforeItIsRead_data() {
        QTest::addColumn<QString>("summaries");
        QTest::newRow("as written") << "written";
        QTest::newRow("missing") << "missing";
        QTest::newRow("of the file before") << "stale";
        QTest::newRow("damaged") << "damaged";
        QTest::newRow("another verdict") << "other";
    }
    void theSummariesListTheHistoryBeforeItIsRead() {
        QFETCH(QString, summaries);
        QTemporaryDir dir;
        const QString path = dir.filePath("history.json");
        const QString beside = summariesPath(path);
        const HistoryItem a = card("A", 1), b = card("B", 2);
        QVERIFY(!writeHistoryFile(path, {a}));
        const std::string before = readText(beside);
        QVERIFY(!writeHistoryFile(path, {a, b}));
        std::string text = readText(beside);
        QVERIFY(readSummariesFile(path) && sameListing(*readSummariesFile(path), {a, b}));
        if (summaries == "missing") QVERIFY(QFile::remove(beside));
        if (summaries == "stale") writeText(beside, before);
        if (summaries == "damaged") {
            text[text.size() - 5] ^= 1;
            writeText(beside, text);
        }
        if (summaries == "other") {
            SummaryEntry e{a.id, a.report->summary(), a.sourceBookmark, a.destinationBookmarks};
            e.summary.readyToFormat = !e.summary.readyToFormat;
            writeText(beside, encodeSummaries(*historyStamp(path), {e}));
        }

        HistoryStore store(path);
        std::vector<std::vector<HistoryItem>> listed;  // each list shown before the load finished
        connect(&store, &HistoryStore::changed, &store, [&] {
            if (!store.isLoaded()) listed.push_back(store.items());
        });
        QSignalSpy loaded(&store, &HistoryStore::loaded);
        store.load();
        QVERIFY(loaded.wait(halvetrop::kHangDetectorMs) || loaded.count() == 1);
        QCOMPARE(listed.size(), size_t(summaries == "written" || summaries == "other"));
        if (summaries == "written") QVERIFY(sameListing(listed.front(), {a, b}));
        // What the file holds is shown once it is read, whatever the summaries said; they follow it.
        QVERIFY(sameListing(store.items(), {a, b}));
        compareItems(store.items(), {a, b});
        QTRY_VERIFY(readSummariesFile(path) && sameListing(*readSummariesFile(path), {a, b}));
    }

    void aDamagedFileIsKeptAsideAndItsGoodItemsStay_data() {
        QTest::addColumn<bool>("unparsable");
        QTest::newRow("one bad item") << false;
        QTest::newRow("unparsable file") << true;
    }
    void aDamagedFileIsKeptAsideAndItsGoodItemsStay() {
        QFETCH(bool, unparsable);
        QTemporaryDir dir;
        const QString path = dir.filePath("history.json");
        HistoryItem a = card("A", 1);
        HistoryItem c = card("C", 1);
        std::string text = encodeHistory({a, card("B", 1), c});
        // Break the middle item's report, or cut the list short after the first item.
        const size_t second = text.find("},{\"id\":\"") + 2;  // ids of files are numbers
        if (unparsable) {
            text.resize(second + 10);
        } else {
            text.replace(text.find("\"files\":", second), 8, "\"files\":7,\"x\":");
        }
        writeText(path, text);

        HistoryStore store(path);
        store.load();
        QTRY_VERIFY(store.isLoaded());
        const auto want = unparsable ? std::vector<QUuid>{a.id} : std::vector<QUuid>{a.id, c.id};
        QCOMPARE(idsOf(store.items()), want);
        QVERIFY(!store.keptAside().isEmpty());
        QCOMPARE(readText(store.keptAside()), text);
        QCOMPARE(readText(path), text);  // untouched until something changes

        HistoryItem d = card("D", 1);
        QVERIFY(store.record(d));
        QVERIFY(store.flush(halvetrop::kHangDetectorMs));
        HistoryLoad after = readHistoryFile(path, 1);
        QVERIFY(!after.decoded.lossy());
        QCOMPARE(idsOf(after.decoded.items).front(), d.id);
        QCOMPARE(keptAside(dir.path()).size(), 1);
        QCOMPARE(readText(store.keptAside()), text);
    }

    // A file with more entries than this version keeps (written by a newer one, or merged by hand),
    // or anything but blanks after the last one kept, is kept aside whole before a shorter list
    // replaces it; one of exactly the limit is not. Whether the reader or the decoders are ahead
    // tells nothing: one decoding thread never lags the reading, two may.
    void aLongerHistoryIsKeptAsideBeforeAShorterOneIsWritten_data() {
        QTest::addColumn<int>("entries");
        QTest::addColumn<QString>("shape");
        QTest::addColumn<bool>("lossy");
        QTest::newRow("the limit") << int(historyLimit) << "" << false;
        QTest::newRow("the limit, blanks after") << int(historyLimit) << " \n" << false;
        QTest::newRow("one more") << int(historyLimit) + 1 << "" << true;
        QTest::newRow("five more") << int(historyLimit) + 5 << "" << true;
        QTest::newRow("the limit, text after the list") << int(historyLimit) << " x" << true;
        QTest::newRow("the limit, no end to the list") << int(historyLimit) << "open" << true;
        QTest::newRow("one more, cut short") << int(historyLimit) + 1 << "cut" << true;
    }
    void aLongerHistoryIsKeptAsideBeforeAShorterOneIsWritten() {
        QFETCH(int, entries);
        QFETCH(QString, shape);
        QFETCH(bool, lossy);
        QTemporaryDir dir;
        const QString path = dir.filePath("history.json");
        std::vector<HistoryItem> items;
        for (int i = 0; i < entries; ++i)
            items.push_back(card(QStringLiteral("V%1").arg(i).toStdString(), 1));
        std::string text = encodeHistory(items);
        if (shape == "open") text.pop_back();
        if (shape == "cut") text.resize(text.rfind("\"report\""));
        if (shape.startsWith(' ')) text += shape.toStdString();
        writeText(path, text);
        for (int workers : {1, 2}) {
            for (long long piece : {1LL, 7LL, 1LL << 20}) {
                const HistoryLoad load = readHistoryFile(path, workers, piece);
                QCOMPARE(load.decoded.items.size(), historyLimit);
                QCOMPARE(load.decoded.lossy(), lossy);
                for (const QString& name : keptAside(dir.path())) QVERIFY(QFile::remove(dir.filePath(name)));
            }
        }

        HistoryStore store(path);
        store.load();
        QTRY_VERIFY(store.isLoaded());
        QVERIFY(store.record(card("NEW", 1)));
        QVERIFY(store.flush(halvetrop::kHangDetectorMs));
        QCOMPARE(readHistoryFile(path, 1).decoded.items.size(), historyLimit);
        QCOMPARE(keptAside(dir.path()).size(), lossy ? 1 : 0);
        if (lossy) QCOMPARE(readText(store.keptAside()), text);
    }

    void threeQuickSavesLeaveTheLastOnDisk() {
        QTemporaryDir dir;
        const QString path = dir.filePath("sub/folder/history.json");  // the folder is made
        HistoryStore store(path);
        store.load();
        QTRY_VERIFY(store.isLoaded());
        HistoryItem last;
        for (int i = 0; i < 3; ++i) {
            last = card("A", 1, "IMG_" + std::to_string(i) + ".JPG");
            QVERIFY(store.record(last));
        }
        store.forget(QUuid::createUuid());  // not in the list: still saves
        QVERIFY(store.flush(halvetrop::kHangDetectorMs));
        HistoryLoad load = readHistoryFile(path, 1);
        compareItems(load.decoded.items, {last});
    }

    // A history file and its summaries that are links the user made into another folder are read
    // through and written through: each link stays as it was, and the file it leads to is replaced
    // whole by the new text, with nothing left beside it.
    void aLinkIsReadAndWrittenThrough_data() {
        QTest::addColumn<QStringList>("linked");
        QTest::addColumn<bool>("relative");
        QTest::newRow("the history, relative") << QStringList{"history.json"} << true;
        QTest::newRow("the history, absolute") << QStringList{"history.json"} << false;
        QTest::newRow("the summaries, relative") << QStringList{"history.json.summaries"} << true;
        QTest::newRow("the summaries, absolute") << QStringList{"history.json.summaries"} << false;
        QTest::newRow("both, relative") << QStringList{"history.json", "history.json.summaries"} << true;
    }
    void aLinkIsReadAndWrittenThrough() {
        QFETCH(QStringList, linked);
        QFETCH(bool, relative);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("data") && QDir(dir.path()).mkpath("elsewhere"));
        const QString path = dir.filePath("data/history.json");
        const HistoryItem a = card("A", 1), b = card("B", 1);
        QVERIFY(!writeHistoryFile(path, {a}));
        auto inode = [](const QString& file) {
            struct stat st {};
            return ::stat(QFile::encodeName(file).constData(), &st) == 0 ? st.st_ino : 0;
        };
        std::map<QString, ino_t> before;  // each target's file before the save
        for (const QString& name : linked) {
            const QString target = dir.filePath("elsewhere/" + name);
            // Moved, so that the summaries still name the history file they were made from.
            QVERIFY(QFile::rename(dir.filePath("data/" + name), target));
            const QString text = relative ? "../elsewhere/" + name : target;
            QCOMPARE(::symlink(QFile::encodeName(text).constData(),
                               QFile::encodeName(dir.filePath("data/" + name))),
                     0);
            before[name] = inode(target);
        }

        HistoryStore store(path);
        int listedBeforeLoad = 0;
        connect(&store, &HistoryStore::changed, &store, [&] { listedBeforeLoad += !store.isLoaded(); });
        QSignalSpy loaded(&store, &HistoryStore::loaded);
        store.load();
        QVERIFY(loaded.wait(halvetrop::kHangDetectorMs) || loaded.count() == 1);
        QCOMPARE(listedBeforeLoad, 1);
        compareItems(store.items(), {a});
        QVERIFY(store.record(b));
        QVERIFY(store.flush(halvetrop::kHangDetectorMs));

        for (const QString& name : linked) {
            const QString target = dir.filePath("elsewhere/" + name);
            QCOMPARE(whatIsAt(dir.filePath("data/" + name)),
                     "link to " + (relative ? "../elsewhere/" + name : target));
            QCOMPARE(whatIsAt(target), QStringLiteral("file"));
            QVERIFY(inode(target) != before[name]);
        }
        if (linked.contains("history.json"))
            compareItems(readHistoryFile(dir.filePath("elsewhere/history.json"), 1).decoded.items, {b, a});
        compareItems(readHistoryFile(path, 1).decoded.items, {b, a});
        QVERIFY(readSummariesFile(path) && sameListing(*readSummariesFile(path), {b, a}));
        const auto all = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
        QCOMPARE(QDir(dir.filePath("data")).entryList(all, QDir::Name),
                 (QStringList{"history.json", "history.json.summaries"}));
        QCOMPARE(QDir(dir.filePath("elsewhere")).entryList(all, QDir::Name), linked);
    }

    // Anything else than a plain file at either place holds up neither the load, nor a save, nor
    // quitting, and no record is lost: at the history's place it is moved aside as it is and a new
    // history begun; at the summaries' place it is left as it is, and not used.
    void somethingElseAtEitherPlace_data() {
        QTest::addColumn<QString>("at");
        QTest::addColumn<QString>("what");
        for (const char* at : {"history.json", "history.json.summaries"})
            for (const char* what :
                 {"fifo", "folder", "device", "dangling link", "link loop", "link to a fifo"})
                QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(at, what))) << at << what;
    }
    void somethingElseAtEitherPlace() {
        QFETCH(QString, at);
        QFETCH(QString, what);
        QTemporaryDir dir;
        const QString path = dir.filePath("history.json");
        const HistoryItem a = card("A", 1), b = card("B", 1), c = card("C", 1);
        QVERIFY(!writeHistoryFile(path, {a}));
        const QString place = dir.filePath(at);
        const QByteArray name = QFile::encodeName(place);
        const QString fifo = dir.filePath("elsewhere.fifo");
        QVERIFY(QFile::remove(place));
        if (what == "fifo") QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        if (what == "folder") QVERIFY(QDir().mkpath(place + "/inside"));
        if (what == "device" && ::mknod(name.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
            QSKIP("only root makes a device");
        if (what == "dangling link") QCOMPARE(::symlink("gone/history.json", name.constData()), 0);
        if (what == "link loop") QCOMPARE(::symlink(QFile::encodeName(at).constData(), name.constData()), 0);
        if (what == "link to a fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
            QCOMPARE(::symlink("elsewhere.fifo", name.constData()), 0);
        }
        const QString there = whatIsAt(place);

        HistoryStore store(path);
        QVERIFY(store.record(b));
        QSignalSpy loaded(&store, &HistoryStore::loaded);
        store.load();
        // A minute only tells a hang: a fifo opened to be read waits for a writer for ever.
        QVERIFY(loaded.wait(halvetrop::kHangDetectorMs) || loaded.count() == 1);
        QVERIFY(store.record(c));
        QVERIFY(store.flush(halvetrop::kHangDetectorMs));
        const bool history = at == "history.json";
        const auto want = history ? std::vector<QUuid>{c.id, b.id} : std::vector<QUuid>{c.id, b.id, a.id};
        QCOMPARE(idsOf(store.items()), want);
        QCOMPARE(idsOf(readHistoryFile(path, 1).decoded.items), want);
        const QString kept = history ? store.keptAside() : place;
        QVERIFY(!kept.isEmpty());
        QCOMPARE(whatIsAt(kept), there);
        if (!history) QVERIFY(!readSummariesFile(path));
        if (what == "folder") QVERIFY(QFileInfo::exists(kept + "/inside"));
        if (what == "link to a fifo") QCOMPARE(whatIsAt(fifo), QStringLiteral("fifo"));
    }

    void aMissingFileGivesAnEmptyHistoryAndTheDesktopPlace() {
        QTemporaryDir dir;
        HistoryLoad load = readHistoryFile(dir.filePath("history.json"), 1);
        QVERIFY(load.missing && load.decoded.items.empty() && !load.decoded.lossy());
        const QString file = HistoryStore::defaultFile();
        QVERIFY(file.endsWith("/Halvetrop/history.json"));
        QVERIFY(file.startsWith(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)));
        QVERIFY(QFileInfo(file).dir().exists());
    }
};

}  // namespace halvetrop

QTEST_GUILESS_MAIN(halvetrop::HistoryTest)
#include "HistoryTest.moc"

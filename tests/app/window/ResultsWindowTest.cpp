// What the results, the copy dialog and the inspector show in the application's window over the
// real model, verifier and copy runner: a card on a zram drive with a folder that cannot be read
// and names that are not UTF-8, a backup on a zram drive of its own and one on tmpfs, whose bytes
// never leave the page cache. Each case checks one folder of the card, as a user may; the drives
// are made once.
#include <QApplication>
#include <QBuffer>
#include <QDBusConnection>
#include <QFile>
#include <QTest>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include <unistd.h>

#include "WindowDriver.h"
#include "model/CopySheet.h"
#include "platform/LinuxServices.h"
#include "support/LoopVolume.h"
#include "support/Privileged.h"
#include "support/TempDir.h"
#include "support/ZramVolume.h"

using namespace halvetrop;
using namespace halvetrop::test;
namespace fs = std::filesystem;

namespace {

// A card file name that is not UTF-8, and its look-alike: the same on screen, U+FFFD in its bytes.
const std::string kRawName = std::string("IMG_\xff") + "01.JPG";
const std::string kLookAlikeName = std::string("IMG_\xef\xbf\xbd") + "01.JPG";

// Card file contents of their own, so no file matches another by content.
std::string content(int seed) {
    return std::string(size_t(48 << 10) + size_t(seed), char('a' + seed % 26)) + std::to_string(seed);
}

// A JPEG of its own colour, for the thumbnail helper to decode.
std::string picture(int seed) {
    QImage image(96, 64, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(seed * 47 % 360, 200, 220));
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    image.save(&out, "JPEG");
    return bytes.toStdString();
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The files below `root` by their names as bytes, with their contents.
std::map<std::string, std::string> filesBelow(const std::string& root) {
    std::map<std::string, std::string> out;
    for (const auto& e :
         fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied))
        if (e.is_regular_file()) out[e.path().filename().string()] = readAll(e.path().string());
    return out;
}

// The fields of the lines of a CSV file: quoted fields with doubled quotes inside.
QList<QStringList> csvRows(const QString& path) {
    QFile file(path);
    QList<QStringList> rows;
    if (!file.open(QIODevice::ReadOnly)) return rows;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        QStringList fields{QString()};
        bool quoted = false;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const QChar c = line[i];
            if (quoted && c == u'"' && i + 1 < line.size() && line[i + 1] == u'"')
                fields.last() += line[++i];
            else if (c == u'"')
                quoted = !quoted;
            else if (c == u',' && !quoted)
                fields << QString();
            else
                fields.last() += c;
        }
        rows << fields;
    }
    return rows;
}

// A file below the stage's own folder, for what the window exports.
QString savedAt(WindowSession& s, const QString& name) { return s.stage.root() + u'/' + name; }

}  // namespace

class ResultsWindowTest : public QObject {
    Q_OBJECT

    shell::Look look_;
    shell::Present present_;
    std::unique_ptr<ZramVolume> card_, backup_;
    std::unique_ptr<LoopVolume> cache_;

    std::string card(const std::string& folder) const { return card_->mountPoint() + "/" + folder; }
    std::string backup(const std::string& folder) const { return backup_->mountPoint() + "/" + folder; }
    std::string cache(const std::string& folder) const { return cache_->mountPoint() + "/" + folder; }
    std::string cacheName() const { return fs::path(cache_->mountPoint()).filename().string(); }

    // The card folder and the backups chosen through the File menu's keys and the folder picker,
    // checked with the Check menu's key, until the verdict is on screen and the byte-by-byte pass
    // that follows by itself (where anything is covered) has ended: the screen stands still. A case
    // goes on only when nothing failed here (QTest::currentTestFailed).
    static void check(WindowSession& s, const std::string& card, const std::vector<std::string>& backups) {
        WindowDriver& w = *s.window;
        AppModel& m = s.model();
        s.chooseCard(card);
        QCOMPARE(m.source(), std::optional<std::string>(card));
        s.addBackups(backups);
        QCOMPARE(m.destinations(), backups);
        w.key(Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(WindowDriver::waitFor([&] { return m.phase() == AppModel::Phase::Results; }));
        QVERIFY(m.waitForIdle(kHangDetectorMs));
    }

    // The verdict's copy button and the copy dialog run to its end with its Copy button.
    static void copyEverythingMissing(WindowSession& s, int expected) {
        WindowDriver& w = *s.window;
        QVERIFY(w.clickAction(QStringLiteral("copy")));
        QVERIFY(WindowDriver::waitFor([&] { return s.sheet() && s.sheet()->planCurrent(); }));
        QCOMPARE(s.sheet()->planCount(), expected);
        QVERIFY(w.click(QStringLiteral("copyButton")));
        QVERIFY(WindowDriver::waitFor([&] { return s.sheet()->phase() == CopySheet::Phase::done; }));
    }

private slots:
    void init() { WindowDriver::failOnBindingLoops(); }

    void initTestCase() {
        WindowDriver::prepare(look_, present_);
        if (std::string why; !ZramVolume::available(&why)) QSKIP(why.c_str());
        try {
            card_ = std::make_unique<ZramVolume>(48ll << 20, "HVCARD", "/mnt");
            backup_ = std::make_unique<ZramVolume>(48ll << 20, "HVBACK", "/mnt");
            cache_ = std::make_unique<LoopVolume>(LoopVolume::Type::tmpfs, 16 << 20, "", "/mnt");
        } catch (const std::exception& e) {
            cleanupTestCase();
            QSKIP(e.what());
        }
        // Camera folders at its root make the drive a card; each case checks a folder of it.
        card_->write("DCIM/100CARD/README.TXT", "card");
        int seed = 0;
        auto put = [&](const std::string& cardFolder, const std::string& name,
                       const std::vector<std::string>& copies, bool asPicture = false) {
            const std::string bytes = asPicture ? picture(++seed) : content(++seed);
            card_->write(cardFolder + "/" + name, bytes);
            for (const std::string& c : copies) {
                const std::string path = c + "/" + name;
                fs::create_directories(fs::path(path).parent_path());
                std::ofstream(path, std::ios::binary) << bytes;
            }
        };
        for (int i = 0; i < 4; ++i) {
            const std::string name = "IMG_" + std::to_string(2000 + i) + ".JPG";
            put("Broken/DCIM/100TEST", name, {backup("Broken")});
            put("Plain/DCIM/100TEST", name, {backup("Plain"), cache("Plain")});
        }
        put("Broken/DCIM/101LOST", "IMG_2100.JPG", {});
        put("Broken/DCIM/102LOST", "IMG_2200.JPG", {});
        for (const char* name : {"IMG_4000.JPG", "IMG_4001.JPG"}) put("ToCache/DCIM/100TEST", name, {});
        for (const char* name : {"IMG_5000.JPG", "IMG_5001.JPG"})
            put("Others/DCIM/100TEST", name, {backup("Others")});
        for (const std::string& name : {kRawName, kLookAlikeName}) put("Names/DCIM/100TEST", name, {}, true);
        put("Folders/DCIM/1\xfe", "A.JPG", {backup("Folders/Shoot\xfe")});
        put("Folders/DCIM/1\xfe", "B.JPG", {});
        put("Folders/DCIM/1\xef\xbf\xbd", "C.JPG", {});
        fs::create_directories(cache("Empty"));
        fs::create_directories(cache("Copies"));
        fs::create_directories(backup("Names"));
        ::sync();
        // Files of another user, as on an ext4 card written elsewhere.
        QCOMPARE(test::runAsRoot("chown -R 0:0 " + shellQuote(card("Others"))), 0);
        // Root reads past permission bits: a cleared inode makes a folder unexaminable for anyone.
        QCOMPARE(QString::fromStdString(card_->unmount()), QString());
        const std::string clear =
            "printf 'clri /Broken/DCIM/101LOST\\nclri /Broken/DCIM/102LOST\\n' | debugfs -w -f - " +
            card_->device() + " >/dev/null";
        const bool cleared = test::runAsRoot(clear) == 0;
        QCOMPARE(QString::fromStdString(card_->remount()), QString());
        if (!cleared) QSKIP("debugfs could not clear an inode on this machine");
    }

    void cleanupTestCase() {
        card_.reset();
        backup_.reset();
        cache_.reset();
    }

    // A card not read whole: the header counts what could not be read and leads to the list of
    // it, the ring takes the warning colour though every file seen is backed up, and the exported
    // report has a "Can't read" row for each, in the columns of every other row.
    void cardNotReadWhole() {
        WindowSession s(present_);
        QVERIFY(s.ready());
        WindowDriver& w = *s.window;
        check(s, card("Broken"), {backup("Broken")});
        if (QTest::currentTestFailed()) return;
        QCOMPARE(w.text(QStringLiteral("heroTitle")), QStringLiteral("Part of the card couldn't be read"));
        QCOMPARE(w.text(QStringLiteral("heroReason")),
                 QStringLiteral("2 folders or files on the card couldn't be read — keep the card for now."));

        QVERIFY(w.click(QStringLiteral("showUnreadable")));
        QVERIFY(WindowDriver::waitFor([&] { return w.item(QStringLiteral("unreadableList")); }));
        QStringList listed;
        for (QQuickItem* line : w.item(QStringLiteral("unreadableList"))->childItems())
            if (const QString text = line->property("text").toString();
                text.startsWith(QStringLiteral("DCIM/")))
                listed << text.section(QStringLiteral(" — "), 0, 0);
        listed.sort();
        QCOMPARE(listed, (QStringList{QStringLiteral("DCIM/101LOST"), QStringLiteral("DCIM/102LOST")}));
        w.key(Qt::Key_Escape);

        // The ring's arc, a quarter round, in the warning colour rather than the covered one.
        QQuickItem* percent = w.item(QStringLiteral("ringPercent"));
        QVERIFY(percent && percent->parentItem() && percent->parentItem()->parentItem());
        QQuickItem* ring = percent->parentItem()->parentItem();
        QCOMPARE(percent->property("text").toString(), QStringLiteral("100%"));
        const QColor drawn =
            w.colorAt(ring, {ring->width() / 2 + ring->property("r").toReal(), ring->height() / 2});
        const QColor warning = look_.color(QStringLiteral("partial")),
                     covered = look_.color(QStringLiteral("verified"));
        QVERIFY2(
            WindowDriver::colorDistance(drawn, warning) < 0.1 &&
                WindowDriver::colorDistance(drawn, warning) < WindowDriver::colorDistance(drawn, covered),
            qPrintable(drawn.name()));

        const QString csv = savedAt(s, QStringLiteral("broken.csv"));
        s.stage.answerSave(csv);
        w.key(Qt::Key_E, Qt::ControlModifier);
        // The save dialog opens outside the card.
        QCOMPARE(s.stage.saveFolders().size(), 1);
        QVERIFY(!s.stage.saveFolders()[0].startsWith(QString::fromStdString(card_->mountPoint())));
        const QList<QStringList> rows = csvRows(csv);
        QVERIFY(rows.size() > 1);
        QStringList unreadable;
        for (const QStringList& row : rows) {
            QCOMPARE(row.size(), rows.front().size());
            if (row.front() == QStringLiteral("Can't read")) unreadable << row[2] + u'/' + row[1];
        }
        unreadable.sort();
        QCOMPARE(unreadable, (QStringList{QStringLiteral("DCIM/101LOST"), QStringLiteral("DCIM/102LOST")}));
        QCOMPARE(rows.size(), 1 + 4 + 2);
    }

    // The reason line names a backup read only through the page cache, and why, only when it holds
    // copies the verdict counts.
    void cacheBackupInTheReason_data() {
        QTest::addColumn<QString>("cacheFolder");
        QTest::addColumn<bool>("named");
        QTest::newRow("holds no copy") << QStringLiteral("Empty") << false;
        QTest::newRow("holds every copy") << QStringLiteral("Plain") << true;
    }
    void cacheBackupInTheReason() {
        QFETCH(QString, cacheFolder);
        QFETCH(bool, named);
        WindowSession s(present_);
        QVERIFY(s.ready());
        check(s, card("Plain"), {backup("Plain"), cache(cacheFolder.toStdString())});
        if (QTest::currentTestFailed()) return;
        const QString reason = s.window->text(QStringLiteral("heroReason"));
        const QString keep = QStringLiteral(" — keep the card for now.");
        QCOMPARE(reason,
                 named
                     ? QStringLiteral("Copies on “%1” are kept in memory, not on a drive — back up to a "
                                      "drive, or keep the card.")
                           .arg(QString::fromStdString(cacheName()))
                     : QStringLiteral("Verified on 1 drive. Safe to format needs 2 separate drives") + keep);
    }

    // A card folder whose files belong to root: an ordinary user's check reads them without
    // O_NOATIME on a mount that records access times, and the header says so with the way out,
    // while the sidebar claims no untouched card. Root keeps every access time; nothing is said.
    void cardOfAnotherUserIsSaid() {
        WindowSession s(present_);
        QVERIFY(s.ready());
        check(s, card("Others"), {backup("Others")});
        if (QTest::currentTestFailed()) return;
        WindowDriver& w = *s.window;
        const bool ordinaryUser = ::geteuid() != 0;
        QCOMPARE(w.item(QStringLiteral("cardNote")) != nullptr, ordinaryUser);
        QCOMPARE(w.item(QStringLiteral("neverWrites")) != nullptr, !ordinaryUser);
        if (!ordinaryUser) return;
        const QString note = w.text(QStringLiteral("cardNote"));
        QVERIFY2(note.startsWith(QStringLiteral("Files on ")) &&
                     note.contains(QStringLiteral("belong to another user")),
                 qPrintable(note));
        QVERIFY2(note.endsWith(QStringLiteral("mount it read-only (mount -o ro).")), qPrintable(note));
    }

    // Each backup copy of a file in the inspector shows that copy, on its own backup.
    void eachCopyRevealsItself() {
        WindowSession s(present_);
        QVERIFY(s.ready());
        WindowDriver& w = *s.window;
        check(s, card("Plain"), {backup("Plain"), cache("Plain")});
        if (QTest::currentTestFailed()) return;
        QVERIFY(w.click(QStringLiteral("mode-Files")));
        QVERIFY(w.click(QStringLiteral("fileRow")));
        // The copy cards' own buttons, not the table row's.
        const auto reveals = [&] {
            QList<QQuickItem*> out;
            for (QQuickItem* card : w.items(QStringLiteral("copyCard")))
                out << w.items(QStringLiteral("revealCopy"), card);
            return out;
        };
        QVERIFY(WindowDriver::waitFor([&] { return reveals().size() == 2; }));
        const QString name = w.item(QStringLiteral("fileRow"))->property("name").toString();
        QStringList revealed;
        for (int i = 0; i < 2; ++i) {
            const QQuickItem* button = reveals().value(i);
            QVERIFY(w.clickWhere(QStringLiteral("revealCopy"), [&](QQuickItem* b) { return b == button; }));
            const QVariantList asked = s.stage.revealed();
            QCOMPARE(asked.size(), i + 1);
            revealed << asked.last().toStringList();
        }
        QStringList copies{QString::fromStdString(backup("Plain") + "/") + name,
                           QString::fromStdString(cache("Plain") + "/") + name};
        revealed.sort();
        copies.sort();
        QCOMPARE(revealed, copies);

        // The copy in memory says why it is not proven; the one read from its drive says nothing.
        QStringList doubts;
        for (QQuickItem* card : w.items(QStringLiteral("copyCard")))
            for (QQuickItem* line : w.items(QStringLiteral("copyDoubt"), card))
                if (line->isVisible()) doubts << line->property("text").toString();
        QCOMPARE(doubts,
                 QStringList{QStringLiteral(
                     "Not read from the drive: kept in memory, not on a drive. Back up to a drive.")});
    }

    // A copy to a backup on tmpfs is read back from the page cache: the report in the dialog says
    // so for each file, and its CSV says it in the status column of the same five columns.
    void copyReadBackFromTheCache() {
        WindowSession s(present_);
        QVERIFY(s.ready());
        WindowDriver& w = *s.window;
        check(s, card("ToCache"), {cache("Copies")});
        if (QTest::currentTestFailed()) return;
        copyEverythingMissing(s, 2);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(w.text(QStringLiteral("doneHeadline")), QStringLiteral("Copied and verified"));
        QVERIFY(w.item(QStringLiteral("fromCache")));
        // A line's text is cut to its width, which it has once the report is laid out.
        QStringList lines;
        QVERIFY(WindowDriver::waitFor([&] {
            lines.clear();
            for (QQuickItem* line : w.items(QStringLiteral("fromCacheLine")))
                if (const QString text = line->property("text").toString(); !text.isEmpty()) lines << text;
            return lines.size() == 2;
        }));
        for (const char* name : {"IMG_4000.JPG", "IMG_4001.JPG"})
            QVERIFY2(lines.filter(QLatin1String(name)).size() == 1, qPrintable(lines.join(u'\n')));

        const QString csv = savedAt(s, QStringLiteral("copy.csv"));
        s.stage.answerSave(csv);
        QVERIFY(w.click(QStringLiteral("saveCopyCSV")));
        QVERIFY(!s.stage.saveFolders().last().startsWith(QString::fromStdString(card_->mountPoint())));
        const QList<QStringList> rows = csvRows(csv);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.front().join(u','), QStringLiteral("File,Status,Size (bytes),Copied to,From card"));
        for (const QStringList& row : rows.mid(1)) {
            QCOMPARE(row.size(), 5);
            QCOMPARE(row[1],
                     QStringLiteral("Copied and verified (read back from the page cache, not the drive)"));
        }
    }

    // An eject with no disk service on the bus says what it needs and where else to eject.
    void ejectWithoutTheDiskService() {
        WindowSession s(present_, std::make_unique<UDisksEjector>(QDBusConnection::sessionBus()));
        QVERIFY(s.ready());
        WindowDriver& w = *s.window;
        check(s, card("Plain"), {backup("Plain")});
        if (QTest::currentTestFailed()) return;
        QVERIFY(w.clickAction(QStringLiteral("eject")));
        QVERIFY(WindowDriver::waitFor([&] { return !w.text(QStringLiteral("noticeText")).isEmpty(); }));
        QCOMPARE(
            w.text(QStringLiteral("noticeText")),
            QStringLiteral("Couldn't eject “%1”: Eject needs the UDisks2 service. Eject it in Disks instead.")
                .arg(QString::fromStdString(s.model().report()->source.name)));
    }

    // Names as bytes: a card file whose name is not UTF-8 beside one whose name shows the same
    // but holds U+FFFD itself, different files. Both are copied through the dialog under their own
    // names with their own bytes, and the next check finds both backed up.
    void namesAsBytesThroughTheCopy() {
        WindowSession s(present_);
        QVERIFY(s.ready());
        WindowDriver& w = *s.window;
        AppModel& m = s.model();
        check(s, card("Names"), {backup("Names")});
        if (QTest::currentTestFailed()) return;
        QCOMPARE(w.text(QStringLiteral("heroTitle")), QStringLiteral("2 not backed up"));
        // The card's icon, asked for by the key of its path, in a window wide enough to show it.
        w.window().resize(1600, w.window().height());
        // Found again at each look: the header makes its parts anew as it is laid out.
        const auto iconImage = [&]() -> QQuickItem* {
            QQuickItem* icon = w.item(QStringLiteral("heroIcon"));
            return icon && !icon->childItems().isEmpty() ? icon->childItems().constFirst() : nullptr;
        };
        QVERIFY(WindowDriver::waitFor([&] { return iconImage(); }));
        QVERIFY(
            iconImage()->property("source").toString().startsWith(QStringLiteral("image://system/cardkey/")));
        QVERIFY(WindowDriver::waitFor(
            [&] { return iconImage() && iconImage()->property("status").toInt() == 1; }));
        copyEverythingMissing(s, 2);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(w.text(QStringLiteral("doneHeadline")), QStringLiteral("Copied and verified"));
        QVERIFY2(w.text(QStringLiteral("doneSummary")).startsWith(QStringLiteral("2 copied")),
                 qPrintable(w.text(QStringLiteral("doneSummary"))));
        const std::map<std::string, std::string> copied = filesBelow(backup("Names"));
        QCOMPARE(copied.size(), size_t(2));
        for (const std::string& name : {kRawName, kLookAlikeName}) {
            QVERIFY(copied.count(name));
            QVERIFY(copied.at(name) == readAll(card("Names/DCIM/100TEST/") + name));
        }

        const int checks = s.stage.checkCount();
        QVERIFY(w.click(QStringLiteral("copyDone")));
        QVERIFY(WindowDriver::waitFor(
            [&] { return s.stage.checkCount() > checks && m.phase() == AppModel::Phase::Results; }));
        QVERIFY(m.waitForIdle(kHangDetectorMs));
        QCOMPARE(w.text(QStringLiteral("heroTitle")), QStringLiteral("All verified"));

        // Each file's own picture, in the inspector and in the preview, though both rows read alike.
        QVERIFY(w.click(QStringLiteral("mode-Files")));
        QVERIFY(WindowDriver::waitFor([&] { return w.items(QStringLiteral("fileRow")).size() == 2; }));
        QStringList shown;
        for (int i = 0; i < 2; ++i) {
            const QQuickItem* row = w.items(QStringLiteral("fileRow")).value(i);
            QVERIFY(w.clickWhere(QStringLiteral("fileRow"), [&](QQuickItem* r) { return r == row; }));
            const auto thumbnail = [&]() -> QQuickItem* {
                QQuickItem* frame = w.item(QStringLiteral("inspectorPicture"));
                return frame ? w.items(QStringLiteral("inspectorThumbnail"), frame).value(0) : nullptr;
            };
            QVERIFY(thumbnail());
            // A picture arrived: a file the helper could not find is answered with none.
            QVERIFY2(WindowDriver::waitFor([&] { return thumbnail() && thumbnail()->implicitWidth() > 0; }),
                     qPrintable(thumbnail() ? thumbnail()->property("source").toString() : QString()));
            shown << thumbnail()->property("source").toString();
            QVERIFY(w.click(QStringLiteral("inspectorPreview")));
            QQuickWindow* preview = nullptr;
            QVERIFY(WindowDriver::waitFor(
                [&] { return preview = WindowDriver::shownWindow(QStringLiteral("previewWindow")); }));
            const auto still = [&] {
                return w.items(QStringLiteral("previewImage"), preview->contentItem()).value(0);
            };
            QVERIFY(still());
            QVERIFY2(WindowDriver::waitFor([&] { return still() && still()->implicitWidth() > 0; }),
                     qPrintable(still() ? still()->property("source").toString() : QString()));
            m.closePreview();
            QVERIFY(WindowDriver::waitFor(
                [] { return !WindowDriver::shownWindow(QStringLiteral("previewWindow")); }));
        }
        QVERIFY(shown[0] != shown[1]);
    }

    // A card folder whose name is not UTF-8 beside its look-alike holding U+FFFD: the folder map
    // shows each with its own counts, and the Show of its files not backed up opens the browser on
    // that folder's file alone.
    void folderNamedByBytes() {
        WindowSession s(present_);
        QVERIFY(s.ready());
        WindowDriver& w = *s.window;
        AppModel& m = s.model();
        check(s, card("Folders"), {backup("Folders")});
        if (QTest::currentTestFailed()) return;
        QVERIFY(w.click(QStringLiteral("mode-Map")));
        const QString shown = QStringLiteral("1\uFFFD");
        QVERIFY(WindowDriver::waitFor([&] {
            int n = 0;
            for (QQuickItem* row : w.items(QStringLiteral("folderRow"))) n += row->property("title") == shown;
            return n == 2;
        }));
        // Both rows read the same; each panel counts its own folder's files.
        QMap<QString, const QQuickItem*> byHeader;
        for (int i = 0; i < 2; ++i) {
            QList<const QQuickItem*> rows;
            for (QQuickItem* row : w.items(QStringLiteral("folderRow")))
                if (row->property("title") == shown) rows << row;
            QVERIFY(w.clickWhere(QStringLiteral("folderRow"),
                                 [&](QQuickItem* row) { return row == rows.value(i); }));
            QVERIFY(
                WindowDriver::waitFor([&] { return w.text(QStringLiteral("panelTitle")).endsWith(shown); }));
            byHeader.insert(w.text(QStringLiteral("panelHeader")).section(u'·', 0, 0), rows.value(i));
        }
        QCOMPARE(byHeader.keys(), (QStringList{QStringLiteral("1 file "), QStringLiteral("2 files ")}));
        const QQuickItem* raw = byHeader.value(QStringLiteral("2 files "));
        QVERIFY(w.clickWhere(QStringLiteral("folderRow"), [&](QQuickItem* row) { return row == raw; }));
        QVERIFY(w.click(QStringLiteral("showUncovered")));
        QVERIFY(WindowDriver::waitFor([&] { return m.mode() == AppModel::Mode::Files; }));
        QCOMPARE(w.text(QStringLiteral("folderChip")), QStringLiteral("DCIM/1\uFFFD"));
        QCOMPARE(w.text(QStringLiteral("fileCount")), QStringLiteral("1 file"));
        QVERIFY(WindowDriver::waitFor([&] { return w.items(QStringLiteral("fileRow")).size() == 1; }));
        QCOMPARE(w.item(QStringLiteral("fileRow"))->property("name").toString(), QStringLiteral("B.JPG"));
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ResultsWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ResultsWindowTest.moc"

// The results screen's verdict over the real model and verifier, the card and two backups each
// on its own zram drive.
#include <QDeadlineTimer>
#include <QStandardPaths>
#include <QTest>

#include <cstdlib>

#include "model/ModelFixture.h"
#include "results/ResultsData.h"
#include "support/ZramVolume.h"

using namespace halvetrop;
using namespace halvetrop::test;

namespace {

// The results data bound to the real model, after the model's check of the card against the
// backups; false when no result came.
bool checked(AppModel& m, ResultsData& data, const std::string& card,
             const std::vector<std::string>& backups) {
    data.setModel(&m);
    m.setSource(card);
    m.addBackups(backups);
    m.check(std::optional<CheckLevel>());
    QDeadlineTimer deadline(kHangDetectorMs);
    while (m.phase() != AppModel::Phase::Results && !deadline.hasExpired()) QTest::qWait(20);
    return m.phase() == AppModel::Phase::Results;
}

}  // namespace

class ResultsEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    }

    // A card folder that cannot be examined leaves files unseen: the verdict says so first, names
    // the folder and never reads "All verified", though every file it did see is on both backups.
    void unreadableCardFolderIsNeverAllVerified() {
        if (std::string why; !ZramVolume::available(&why)) QSKIP(why.c_str());
        std::unique_ptr<ZramVolume> card, a, b;
        try {
            card = std::make_unique<ZramVolume>(128ll << 20, "HVCARD", "/mnt");
            a = std::make_unique<ZramVolume>(128ll << 20, "HVBACKA", "/mnt");
            b = std::make_unique<ZramVolume>(128ll << 20, "HVBACKB", "/mnt");
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        for (int i = 0; i < 6; ++i) {
            const std::string name = "DCIM/100TEST/IMG_" + std::to_string(1000 + i) + ".JPG";
            const std::string content(size_t(64 << 10) + size_t(i), char('a' + i));
            card->write(name, content);
            a->write(name, content);
            b->write(name, content);
        }
        card->write("DCIM/101LOST/IMG_2000.JPG", std::string(4096, 'z'));
        ::sync();
        // Root reads past permission bits: a cleared inode makes the folder unexaminable for anyone.
        // Another process may be describing the mounted drives, the card among them, just then.
        QCOMPARE(QString::fromStdString(card->unmountOnceFree()), QString());
        const std::string clear = "debugfs -w -R 'clri /DCIM/101LOST' " + card->device() + " >/dev/null 2>&1";
        if (std::system(clear.c_str()) != 0) QSKIP("debugfs could not clear an inode on this machine");
        QCOMPARE(QString::fromStdString(card->remount()), QString());

        Harness h;
        ResultsData data;
        AppModel& m = h.start(true);
        QVERIFY(checked(m, data, card->mountPoint(), {a->mountPoint(), b->mountPoint()}));
        QVERIFY(m.report()->cardUnreadable >= 1);
        QCOMPARE(m.report()->totals.covered(), m.report()->totals.files);
        const QVariantMap hero = data.hero();
        QCOMPARE(hero.value("title").toString(), QStringLiteral("Part of the card couldn't be read"));
        QVERIFY2(hero.value("reason").toString().endsWith(
                     QStringLiteral(" on the card couldn't be read — keep the card for now.")),
                 qPrintable(hero.value("reason").toString()));
        QVERIFY(!data.ready());
        // The folder is named, and the header's tint warns.
        const QVariantList listed = data.contents().value("unreadable").toList();
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed.first().toMap().value("path").toString(), QStringLiteral("DCIM/101LOST"));
        QCOMPARE(hero.value("tint").toString(), QStringLiteral("partial"));
        m.shutdown();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
    }

    // The byte-by-byte pass that clears the card turns the verdict to safe to format, with the
    // ready panel, as soon as the card is seen to be as the pass left it.
    void passClearsTheCard() {
        if (std::string why; !ZramVolume::available(&why)) QSKIP(why.c_str());
        std::unique_ptr<ZramVolume> card, a, b;
        try {
            card = std::make_unique<ZramVolume>(128ll << 20, "HVCARD", "/mnt");
            a = std::make_unique<ZramVolume>(128ll << 20, "HVBACKA", "/mnt");
            b = std::make_unique<ZramVolume>(128ll << 20, "HVBACKB", "/mnt");
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        for (int i = 0; i < 6; ++i) {
            const std::string name = "DCIM/100TEST/IMG_" + std::to_string(1000 + i) + ".JPG";
            const std::string content(size_t(64 << 10) + size_t(i), char('a' + i));
            card->write(name, content);
            a->write("Shoots/" + name, content);
            b->write("Archive/" + name, content);
        }
        ::sync();
        Harness h;
        ResultsData data;
        AppModel& m = h.start(true);
        QVERIFY(checked(m, data, card->mountPoint(),
                        {a->mountPoint() + "/Shoots", b->mountPoint() + "/Archive"}));
        QTRY_VERIFY(!m.deepVerifying() && m.report()->level == CheckLevel::verified);
        QVERIFY(m.report()->safeToFormat);
        QTRY_VERIFY(data.ready());
        QCOMPARE(data.hero().value("title").toString(), QStringLiteral("Safe to format"));
        const QString sentence = data.readyPanel().value("sentence").toString();
        QVERIFY2(sentence.contains(QStringLiteral("(HVBACKA and HVBACKB)")), qPrintable(sentence));
        m.shutdown();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
    }

    // A card folder whose name is not UTF-8 beside its look-alike with a real U+FFFD: the folder
    // map lists two folders, each panel counts its own files and places, the jump to the browser
    // shows that folder's files alone, and a place is shown in the file manager by its bytes.
    void foldersByTheirBytes() {
        if (std::string why; !ZramVolume::available(&why)) QSKIP(why.c_str());
        std::unique_ptr<ZramVolume> card, backup;
        try {
            card = std::make_unique<ZramVolume>(32ll << 20, "HVCARD", "/mnt");
            backup = std::make_unique<ZramVolume>(32ll << 20, "HVBACKA", "/mnt");
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        const std::string raw = "DCIM/1\xfe", lookAlike = "DCIM/1\xef\xbf\xbd";
        card->write(raw + "/A.JPG", std::string(100000, 'a'));
        card->write(raw + "/B.JPG", std::string(100000, 'b'));
        card->write(lookAlike + "/C.JPG", std::string(50000, 'c'));
        backup->write("Shoot\xfe/A.JPG", std::string(100000, 'a'));
        ::sync();
        Harness h;
        ResultsData data;
        AppModel& m = h.start(true);
        QVERIFY(checked(m, data, card->mountPoint(), {backup->mountPoint()}));
        QTRY_VERIFY(!m.deepVerifying() && m.report()->level == CheckLevel::verified);

        // Rows by title: both folders show as "1\uFFFD" and each has its own key.
        auto* rows = qobject_cast<QAbstractListModel*>(data.folders());
        const QHash<int, QByteArray> roles = rows->roleNames();
        const int titleRole = roles.key("title"), pathRole = roles.key("path");
        QStringList keys;
        for (int i = 0; i < rows->rowCount(); ++i)
            if (rows->data(rows->index(i), titleRole).toString() == QStringLiteral("1\uFFFD"))
                keys << rows->data(rows->index(i), pathRole).toString();
        QCOMPARE(keys.size(), 2);
        QVERIFY(keys[0] != keys[1]);
        const QString rawKey =
            keys.contains(QStringLiteral("DCIM/1%FE")) ? QStringLiteral("DCIM/1%FE") : QString();
        QVERIFY2(!rawKey.isEmpty(), qPrintable(keys.join(u' ')));
        const QString lookAlikeKey = keys[0] == rawKey ? keys[1] : keys[0];

        const QVariantMap rawPanel = data.panel(rawKey), lookAlikePanel = data.panel(lookAlikeKey);
        QCOMPARE(rawPanel.value("header").toString(), QStringLiteral("2 files · 200 KB"));
        QCOMPARE(rawPanel.value("uncoveredText").toString(), QStringLiteral("1 file · 100 KB"));
        QCOMPARE(lookAlikePanel.value("header").toString(), QStringLiteral("1 file · 50 KB"));
        QCOMPARE(data.uncoveredIDs(rawKey).size(), 1);
        QCOMPARE(data.panel(QStringLiteral("DCIM")).value("header").toString(),
                 QStringLiteral("3 files · 250 KB"));

        // Its one place is the backup folder that is not UTF-8 either, shown by its bytes.
        data.showPlaces(rawKey);
        auto* places = qobject_cast<QAbstractItemModel*>(data.places());
        QCOMPARE(places->rowCount(), 1);
        const QHash<int, QByteArray> placeRoles = places->roleNames();
        const auto place = [&](const char* role) {
            return places->data(places->index(0, 0), placeRoles.key(role));
        };
        QCOMPARE(place("title").toString(), QStringLiteral("Shoot\uFFFD"));
        data.revealPlace(place("destination").toInt(), place("path").toString());
        QCOMPARE(h.reveal->revealed.back(), std::vector<std::string>{backup->mountPoint() + "/Shoot\xfe"});

        // The panel's "Show": the browser restricted to that folder's files, under its shown name.
        m.setFolderFilterText(rawKey);
        QCOMPARE(m.folderFilterTitle(), QStringLiteral("DCIM/1\uFFFD"));
        QCOMPARE(m.visibleFileCount(), 2);
        for (int p : m.visibleFiles()) QCOMPARE(m.report()->files[size_t(p)].folderBytes(), raw);
        m.setFolderFilterText(lookAlikeKey);
        QCOMPARE(m.visibleFileCount(), 1);
        m.shutdown();
        QVERIFY(m.waitForIdle(kHangDetectorMs));
    }
};

QTEST_GUILESS_MAIN(ResultsEndToEndTest)

#include "ResultsEndToEndTest.moc"

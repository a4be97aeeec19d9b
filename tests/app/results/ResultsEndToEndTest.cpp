// The results screen's verdict over the real model and verifier, the card and two backups each
// on its own zram drive.
#include <QStandardPaths>
#include <QTest>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "model/ModelFixture.h"
#include "model/ZramVolume.h"
#include "results/ResultsData.h"

using namespace halvetrop;
using namespace halvetrop::test;

namespace {

// The block device mounted at `mountPoint`, from the mount table.
std::string deviceAt(const std::string& mountPoint) {
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string device, at;
        fields >> device >> at;
        if (at == mountPoint) return device;
    }
    return {};
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
        if (const std::string why = ZramVolume::unavailableReason(); !why.empty()) QSKIP(why.c_str());
        std::unique_ptr<ZramVolume> card, a, b;
        try {
            card = std::make_unique<ZramVolume>("HVCARD");
            a = std::make_unique<ZramVolume>("HVBACKA");
            b = std::make_unique<ZramVolume>("HVBACKB");
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
        const std::string device = deviceAt(card->mountPoint());
        QVERIFY(!device.empty());
        QCOMPARE(QString::fromStdString(card->unmount()), QString());
        const std::string clear = "debugfs -w -R 'clri /DCIM/101LOST' " + device + " >/dev/null 2>&1";
        if (std::system(clear.c_str()) != 0) QSKIP("debugfs could not clear an inode on this machine");
        QCOMPARE(QString::fromStdString(card->remount()), QString());

        Harness h;
        AppModel& m = h.start(true);
        ResultsData data;
        data.setModel(&m);
        m.setSource(card->mountPoint());
        m.addBackups({a->mountPoint(), b->mountPoint()});
        m.check(std::optional<CheckLevel>());
        QTRY_COMPARE_WITH_TIMEOUT(m.phase(), AppModel::Phase::Results, 120000);
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
        QVERIFY(m.waitForIdle(20000));
    }

    // The byte-by-byte pass that clears the card turns the verdict and the ready panel at once.
    void passClearsTheCard() {
        if (const std::string why = ZramVolume::unavailableReason(); !why.empty()) QSKIP(why.c_str());
        std::unique_ptr<ZramVolume> card, a, b;
        try {
            card = std::make_unique<ZramVolume>("HVCARD");
            a = std::make_unique<ZramVolume>("HVBACKA");
            b = std::make_unique<ZramVolume>("HVBACKB");
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
        AppModel& m = h.start(true);
        ResultsData data;
        data.setModel(&m);
        m.setSource(card->mountPoint());
        m.addBackups({a->mountPoint() + "/Shoots", b->mountPoint() + "/Archive"});
        m.check(std::optional<CheckLevel>());
        QTRY_COMPARE_WITH_TIMEOUT(m.phase(), AppModel::Phase::Results, 120000);
        QTRY_VERIFY_WITH_TIMEOUT(!m.deepVerifying() && m.report()->level == CheckLevel::verified, 120000);
        QVERIFY(m.report()->safeToFormat);
        QCOMPARE(data.hero().value("title").toString(), QStringLiteral("Safe to format"));
        QVERIFY(data.ready());
        const QString sentence = data.readyPanel().value("sentence").toString();
        QVERIFY2(sentence.contains(QStringLiteral("(HVBACKA and HVBACKB)")), qPrintable(sentence));
        m.shutdown();
        QVERIFY(m.waitForIdle(20000));
    }
};

QTEST_GUILESS_MAIN(ResultsEndToEndTest)

#include "ResultsEndToEndTest.moc"

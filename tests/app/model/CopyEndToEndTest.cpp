// The copy sheet on real volumes, as root: a card on a drive of its own, a backup on a small
// tmpfs that another writer fills while the copy runs, the backup unplugged with its folder left
// behind, quitting while a copy runs, and where each copy was read back from.
#include "ModelFixture.h"
#include "drives/Drives.h"
#include "model/CopySheet.h"
#include "support/LoopVolume.h"
#include "support/Privileged.h"
#include "support/TempDir.h"
#include "support/ZramVolume.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

using namespace halvetrop;
using namespace halvetrop::test;

namespace {

constexpr std::int64_t kFile = 1 << 20;

std::string content(int i) {
    std::string bytes(size_t(kFile), '\0');
    for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = char((k * 31 + size_t(i) * 7) & 0xff);
    return bytes;
}

VerifyReport cardReport(const std::string& card, const std::string& backup, int files) {
    VerifyReport r = makeReport(card, {backup}, std::vector<FileStatus>(size_t(files), FileStatus::missing));
    r.source = Drives::info(card);
    r.destinations = {Drives::info(backup)};
    for (auto& f : r.files) f.size = kFile;
    return r;
}

std::set<std::string> filesUnder(const std::string& root) {
    std::set<std::string> out;
    // An ordinary user cannot list the root-only lost+found; nothing of the test's is there.
    for (const auto& e : std::filesystem::recursive_directory_iterator(
             root, std::filesystem::directory_options::skip_permission_denied))
        if (e.is_regular_file()) out.insert(e.path().string());
    return out;
}

std::unique_ptr<CopySheet> openSheet(AppModel& model, const VerifyReport& report, CopySheetDeps deps = {}) {
    AppModel::CopyRequest request{QUuid::createUuid(), {}, QStringLiteral("Copy")};
    for (const auto& f : report.files) request.fileIDs.push_back(f.id);
    auto sheet = std::make_unique<CopySheet>(model, report, request, model.settings(), std::move(deps));
    sheet->chooseLayout(CopySheet::Layout::card);
    sheet->setBaseFolder(QString());
    return sheet;
}

}  // namespace

class CopyEndToEndTest : public QObject {
    Q_OBJECT
    std::unique_ptr<ZramVolume> card;
    const int files = 20;

private slots:
    void initTestCase() {
        std::string why;
        if (!LoopVolume::available(&why, LoopVolume::Type::ext4)) QSKIP(why.c_str());
        try {
            card = std::make_unique<ZramVolume>(64 << 20, "CARD");
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        std::filesystem::create_directories(*card / "DCIM");
        for (int i = 0; i < files; ++i) {
            std::ofstream(*card / ("DCIM/IMG_" + std::to_string(i) + ".JPG"), std::ios::binary) << content(i);
        }
        ::sync();
    }
    void cleanupTestCase() { card.reset(); }

    void fullBackupAndUnplugged() {
        auto backup = LoopVolume::tmpfs(24 << 20);
        Harness harness;
        AppModel& model = harness.start();
        const VerifyReport report = cardReport(card->mountPoint(), backup.mountPoint(), files);
        // Another writer takes every free byte once the third copy is done, before the run goes on,
        // however fast it runs.
        CopySheetDeps deps;
        deps.runCopy = [&backup](CopyRunner& runner) {
            runner.onProgress = [&backup, shown = runner.onProgress,
                                 filled = false](const CopyProgress& p) mutable {
                if (p.filesProven >= 3 && !filled) {
                    filled = true;
                    int fd = ::open((backup / "filler").c_str(), O_WRONLY | O_CREAT, 0644);
                    std::string block(1 << 16, 'f');
                    while (fd >= 0 && ::write(fd, block.data(), block.size()) > 0) {
                    }
                    if (fd >= 0) ::close(fd);
                }
                shown(p);
            };
            return runner.run();
        };
        auto sheet = openSheet(model, report, std::move(deps));
        QVERIFY(sheet->waitForPlan(kHangDetectorMs));
        QVERIFY2(sheet->canCopy(), qPrintable(sheet->planError()));
        sheet->copy();
        QVERIFY(sheet->waitForRun(kHangDetectorMs));

        auto r = sheet->copyReport();
        QVERIFY(r);
        QVERIFY2(!r->failed.empty(), "the filler came too late to fill the backup during the run");
        for (const auto& f : r->failed)
            QVERIFY2(f.message.find("No space left on device") != std::string::npos, f.message.c_str());
        std::set<std::string> expected{backup / "filler"};
        for (const auto& path : r->allCopiedPaths()) {
            expected.insert(path);
            const std::string name = std::filesystem::path(path).filename().string();
            const int i = std::stoi(name.substr(4));
            QVERIFY2(readFile(path) == content(i), path.c_str());
        }
        // Nothing partial: no file but the whole copies and the filler.
        QCOMPARE(filesUnder(backup.mountPoint()), expected);
        QCOMPARE(int(r->rows.size()), files);

        // The backup unplugged, its mount-point folder left behind: a copy would land on the
        // system disk, so the sheet refuses.
        QCOMPARE(test::runAsRoot("umount -l " + test::shellQuote(backup.mountPoint())), 0);
        auto again = openSheet(model, report);
        QVERIFY(again->waitForPlan(kHangDetectorMs));
        QCOMPARE(again->planError(), CopySheet::volumesChangedText());
        QVERIFY(!again->canCopy());
    }

    // Two backup drives of one name rotated at one mount point: a copy dialog of the check made
    // on the first never plans or copies onto the second, whether planned after the swap or
    // planned before it and started after; with UUIDs the second is another drive, without (as
    // where no identity can be read) it cannot be told apart, and the dialog says which.
    void rotatedBackupAtTheSamePlace_data() {
        QTest::addColumn<bool>("uuids");
        QTest::newRow("drives with UUIDs") << true;
        QTest::newRow("drives without UUIDs") << false;
    }
    void rotatedBackupAtTheSamePlace() {
        QFETCH(bool, uuids);
        std::unique_ptr<ZramVolume> checked, other;
        try {
            checked = std::make_unique<ZramVolume>(32 << 20, "ROTATE");
            other = std::make_unique<ZramVolume>(32 << 20, "ROTATE");
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        if (!uuids) {
            for (ZramVolume* d : {checked.get(), other.get()}) {
                QCOMPARE(QString::fromStdString(d->unmount()), QString());
                runAsRootOrThrow("e2fsck -fy " + d->device() + " >/dev/null 2>&1; tune2fs -U clear " +
                                 d->device());
                QCOMPARE(QString::fromStdString(d->remount()), QString());
            }
        }
        const std::string root = checked->mountPoint();
        Harness harness;
        AppModel& model = harness.start();
        const VerifyReport report = cardReport(card->mountPoint(), root, 3);
        QCOMPARE(report.destinations[0].volumeID.has_value(), uuids);
        auto before = openSheet(model, report);
        QVERIFY(before->waitForPlan(kHangDetectorMs));
        QVERIFY2(before->canCopy(), qPrintable(before->planError()));

        QCOMPARE(QString::fromStdString(checked->unmount()), QString());
        QCOMPARE(QString::fromStdString(other->unmount()), QString());
        QCOMPARE(runAsRoot("mount -t ext4 " + other->device() + " " + root), 0);
        const QString refusal = uuids ? CopySheet::volumesChangedText() : CopySheet::volumesUnknownText();
        auto after = openSheet(model, report);
        QVERIFY(after->waitForPlan(kHangDetectorMs));
        QCOMPARE(after->planError(), refusal);
        QVERIFY(!after->canCopy());
        before->copy();
        QVERIFY(before->waitForRun(kHangDetectorMs));
        QVERIFY(before->copyReport());
        QCOMPARE(int(before->copyReport()->failed.size()), 3);
        for (const auto& f : before->copyReport()->failed)
            QCOMPARE(QString::fromStdString(f.message), refusal);
        QVERIFY(!std::filesystem::exists(root + "/DCIM"));
        QCOMPARE(runAsRoot("umount " + root), 0);
        QCOMPARE(QString::fromStdString(checked->remount()), QString());
        QCOMPARE(QString::fromStdString(other->remount()), QString());
    }

    // Where each copy was read back from is told file by file: from a drive of its own the copies
    // read as verified; on tmpfs, whose bytes never leave the page cache, each says so, whether it
    // was copied or found already there.
    void readBackSourceIsToldPerFile_data() {
        QTest::addColumn<bool>("tmpfs");
        QTest::newRow("a drive of its own") << false;
        QTest::newRow("tmpfs") << true;
    }
    void readBackSourceIsToldPerFile() {
        QFETCH(bool, tmpfs);
        std::unique_ptr<ZramVolume> drive;
        std::unique_ptr<LoopVolume> memory;
        try {
            if (tmpfs)
                memory = std::make_unique<LoopVolume>(LoopVolume::Type::tmpfs, 24 << 20);
            else
                drive = std::make_unique<ZramVolume>(64 << 20, "BACKUP");
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        const std::string root = tmpfs ? memory->mountPoint() : drive->mountPoint();
        Harness harness;
        AppModel& model = harness.start();
        const int n = 4;
        const VerifyReport report = cardReport(card->mountPoint(), root, n);
        for (const bool again : {false, true}) {
            auto sheet = openSheet(model, report);
            QVERIFY(sheet->waitForPlan(kHangDetectorMs));
            QVERIFY2(sheet->canCopy(), qPrintable(sheet->planError()));
            sheet->copy();
            QVERIFY(sheet->waitForRun(kHangDetectorMs));
            const auto r = sheet->copyReport();
            QCOMPARE(int(r->rows.size()), n);
            const char* status =
                again ? (tmpfs ? present::kAlreadyThereFromCacheStatus : present::kAlreadyThereStatus)
                      : (tmpfs ? present::kCopiedFromCacheStatus : present::kCopiedStatus);
            for (const auto& row : r->rows) {
                QCOMPARE(row.fromCache, tmpfs);
                QCOMPARE(row.status, std::string(status));
            }
            const QVariantMap view = present::copyReportView(QVariant::fromValue(r));
            QCOMPARE(view.value("fromCache").toStringList().size(), tmpfs ? n : 0);
            QCOMPARE(view.value("fromCacheNote").toString().isEmpty(), !tmpfs);
        }
    }

    // A backup whose root belongs to root, as a drive formatted elsewhere mounts: an ordinary user
    // is told so in the dialog, before Copy, and cannot start it; root may copy. The same drive
    // mounted read-only is refused to everyone. Nothing is written while the dialog says no.
    void aBackupYouMayNotWriteOn() {
        std::unique_ptr<ZramVolume> drive;
        try {
            drive = std::make_unique<ZramVolume>(32 << 20, "LOCKED");
        } catch (const std::exception& e) {
            QSKIP(e.what());
        }
        const std::string root = drive->mountPoint();
        runAsRootOrThrow("chown 0:0 " + shellQuote(root) + " && chmod 755 " + shellQuote(root));
        Harness harness;
        AppModel& model = harness.start();
        const VerifyReport report = cardReport(card->mountPoint(), root, 3);
        auto sheet = openSheet(model, report);
        QVERIFY(sheet->waitForPlan(kHangDetectorMs));
        if (::geteuid() != 0) {
            QCOMPARE(sheet->planError(), CopySheet::notWritableText(root));
            QVERIFY(!sheet->canCopy());
            sheet->copy();
            QVERIFY(!model.copying());
        } else {
            QVERIFY2(sheet->canCopy(), qPrintable(sheet->planError()));
        }
        runAsRootOrThrow("mount -o remount,ro " + shellQuote(root));
        auto readOnly = openSheet(model, report);
        QVERIFY(readOnly->waitForPlan(kHangDetectorMs));
        QCOMPARE(readOnly->planError(),
                 CopySheet::readOnlyText(QString::fromStdString(report.destinations[0].name)));
        QVERIFY(!readOnly->canCopy());
        runAsRootOrThrow("mount -o remount,rw " + shellQuote(root));
        QVERIFY(!std::filesystem::exists(root + "/DCIM"));
    }

    void quittingDuringACopy() {
        auto backup = LoopVolume::ext4(64 << 20, "BACKUP");
        Harness harness;
        AppModel& model = harness.start();
        const VerifyReport report = cardReport(card->mountPoint(), backup.mountPoint(), files);
        auto sheet = openSheet(model, report);
        QVERIFY(sheet->waitForPlan(kHangDetectorMs));
        sheet->copy();
        QVERIFY(model.copying());
        // What the window does once the user agreed to stop and quit.
        model.shutdown();
        QVERIFY(sheet->waitForRun(kHangDetectorMs));
        auto r = sheet->copyReport();
        std::set<std::string> copied;
        for (const auto& path : r->allCopiedPaths()) copied.insert(path);
        // Every file on the backup is a whole copy the report lists: no partial final name, no
        // temporary file.
        for (const auto& path : filesUnder(backup.mountPoint())) {
            if (path.find("/lost+found/") != std::string::npos) continue;
            QVERIFY2(copied.count(path), path.c_str());
            const int i = std::stoi(std::filesystem::path(path).filename().string().substr(4));
            QVERIFY2(readFile(path) == content(i), path.c_str());
        }
        QCOMPARE(r->copiedCount() + r->notCopied + int(r->failed.size()), files);
    }
};

QTEST_GUILESS_MAIN(CopyEndToEndTest)
#include "CopyEndToEndTest.moc"

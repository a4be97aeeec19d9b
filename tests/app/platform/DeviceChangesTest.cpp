// The volume monitor on a real drive whose file system is relabelled while it is mounted: no mount
// changes, the device manager announces the device, and the volume is then described by its new label,
// as root (who reads the device) and as an ordinary user (who reads the device manager's database).
#include <QtTest>

#include "drives/Drives.h"
#include "platform/LinuxServices.h"
#include "support/Privileged.h"
#include "support/TempDir.h"
#include "support/ZramVolume.h"

using namespace halvetrop;
using namespace halvetrop::test;

namespace {

QString nameAt(const std::string& mountPoint) {
    return QString::fromStdString(Drives::info(mountPoint).name);
}

}  // namespace

class DeviceChangesTest : public QObject {
    Q_OBJECT

private slots:
    void relabelledWhileMounted() {
        if (std::string why; !ZramVolume::available(&why)) QSKIP(why.c_str());
        if (!deviceManagerRuns())
            QSKIP("no device manager (udev) runs here: the mount table alone is watched");
        ZramVolume drive(8 << 20, "HVBEFORE");
        QCOMPARE(nameAt(drive.mountPoint()), QStringLiteral("HVBEFORE"));
        int calls = 0;
        MountTableMonitor monitor;
        monitor.start([&] { ++calls; });
        runAsRootOrThrow("e2label " + shellQuote(drive.device()) + " HVAFTER");
        refreshDeviceDatabase(drive.device());
        QTRY_VERIFY(calls >= 1);
        QCOMPARE(nameAt(drive.mountPoint()), QStringLiteral("HVAFTER"));
    }

    // A backup's bookmark made before the device manager described its drive (no UUID known to an
    // ordinary user yet) still names the drive once its UUID is known, and is made anew with it;
    // another file system made on the same device and mounted at the same place is never it.
    void bookmarkMadeBeforeTheUuidWasKnown() {
        if (std::string why; !ZramVolume::available(&why)) QSKIP(why.c_str());
        if (!deviceManagerRuns()) QSKIP("no device manager (udev) runs here to describe the drive later");
        if (!playsUser()) QSKIP("root reads a drive's UUID from the drive itself, never later");
        ZramVolume drive(8 << 20, "HVLATE");
        const std::string backup = drive / "Archive";
        drive.write("Archive/IMG_0001.JPG", "x");
        forgetInDeviceDatabase(drive.device());
        QVERIFY(!Drives::info(drive.mountPoint()).volumeID);
        VolumeBookmarks bookmarks;
        const std::optional<QByteArray> early = bookmarks.make(backup);
        QVERIFY(early);
        QVERIFY(!bookmarks.renewed(*early));
        refreshDeviceDatabase(drive.device());
        QVERIFY(Drives::info(drive.mountPoint()).volumeID);
        QCOMPARE(bookmarks.resolve(*early), std::optional<std::string>(backup));
        const std::optional<QByteArray> renewed = bookmarks.renewed(*early);
        QVERIFY(renewed);
        QCOMPARE(bookmarks.resolve(*renewed), std::optional<std::string>(backup));

        QCOMPARE(drive.unmount(), std::string());
        runAsRootOrThrow("mkfs.ext4 -q -F -L HVLATE " + shellQuote(drive.device()));
        QCOMPARE(drive.remount(), std::string());
        runAsRootOrThrow("mkdir -p " + shellQuote(backup));
        QVERIFY(!bookmarks.resolve(*early));
        QVERIFY(!bookmarks.resolve(*renewed));
    }
};

QTEST_GUILESS_MAIN(DeviceChangesTest)
#include "DeviceChangesTest.moc"

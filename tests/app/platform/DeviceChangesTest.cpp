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
};

QTEST_GUILESS_MAIN(DeviceChangesTest)
#include "DeviceChangesTest.moc"

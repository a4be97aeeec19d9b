// The services that talk D-Bus, against doubles of UDisks2, FileManager1 and the settings portal on
// a private session bus.
#include <QDBusVariant>
#include <QGuiApplication>
#include <QtTest>

#include "FakeBus.h"
#include "platform/DBusTypes.h"
#include "platform/LinuxServices.h"

#include <sys/sysmacros.h>

using namespace halvetrop;
using halvetrop::test::FakeBusService;

namespace {

const QString kUDisks = QStringLiteral("org.freedesktop.UDisks2");
const QString kUDisksRoot = QStringLiteral("/org/freedesktop/UDisks2");
const QString kCard = kUDisksRoot + QStringLiteral("/block_devices/sdz1");
const QString kCardSecond = kUDisksRoot + QStringLiteral("/block_devices/sdz2");
const QString kCardDrive = kUDisksRoot + QStringLiteral("/drives/Card_Reader");
const QString kDisk = kUDisksRoot + QStringLiteral("/block_devices/sda1");
const QString kDiskDrive = kUDisksRoot + QStringLiteral("/drives/Internal");

QDBusMessage error(const QDBusMessage& m, const QString& name, const QString& text) {
    return m.createErrorReply(name, text);
}

QVariantMap blockOf(const QString& drive, const QByteArray& device, const QVariantMap& identity = {}) {
    QVariantMap block = identity;
    block.insert({{"Drive", QVariant::fromValue(QDBusObjectPath(drive))}, {"Device", device + '\0'}});
    return block;
}

QVariantMap filesystemAt(const QByteArrayList& points) {
    QByteArrayList withNul;
    for (const QByteArray& p : points) withNul << p + '\0';
    return {{"MountPoints", QVariant::fromValue(withNul)}};
}

// A card reader with two partitions (the second one mounted too) and an internal disk.
DBusObjectMap machine(bool canPowerOff, bool secondMounted) {
    DBusObjectMap objects;
    objects[QDBusObjectPath(kCard)] = {
        {"org.freedesktop.UDisks2.Block",
         blockOf(
             kCardDrive, "/dev/sdz1",
             {{"DeviceNumber", QVariant::fromValue(quint64(makedev(65, 145)))}, {"IdUUID", "6E1F-0A0B"}})},
        {"org.freedesktop.UDisks2.Filesystem", filesystemAt({"/media/u/EOS_DIGITAL"})}};
    objects[QDBusObjectPath(kCardSecond)] = {
        {"org.freedesktop.UDisks2.Block", blockOf(kCardDrive, "/dev/sdz2")},
        {"org.freedesktop.UDisks2.Filesystem",
         filesystemAt(secondMounted ? QByteArrayList{"/media/u/B"} : QByteArrayList{})}};
    objects[QDBusObjectPath(kDisk)] = {{"org.freedesktop.UDisks2.Block", blockOf(kDiskDrive, "/dev/sda1")},
                                       {"org.freedesktop.UDisks2.Filesystem", filesystemAt({"/"})}};
    objects[QDBusObjectPath(kDisk + "2")] = {
        {"org.freedesktop.UDisks2.Block", blockOf(kDiskDrive, "/dev/sda2")},
        {"org.freedesktop.UDisks2.Filesystem", filesystemAt({"/home"})}};
    objects[QDBusObjectPath(kCardDrive)] = {
        {"org.freedesktop.UDisks2.Drive", QVariantMap{{"CanPowerOff", canPowerOff}, {"Ejectable", true}}}};
    objects[QDBusObjectPath(kDiskDrive)] = {
        {"org.freedesktop.UDisks2.Drive", QVariantMap{{"CanPowerOff", false}, {"Ejectable", false}}}};
    return objects;
}

struct EjectOutcome {
    int calls = 0;  // `done` runs exactly once
    std::optional<QString> reason;
    std::optional<EjectFailure::Kind> kind;
};

// `settle` returns once every answer the ejector's calls had has come back (see FakeBusService::settle).
EjectOutcome ejectAndWait(Ejector& ejector, const EjectTarget& target, const std::function<bool()>& settle) {
    EjectOutcome out;
    ejector.eject(target, [&](std::optional<EjectFailure> failure) {
        ++out.calls;
        if (failure) {
            out.reason = failure->reason;
            out.kind = failure->kind;
        }
    });
    if (QTest::qWaitFor([&] { return out.calls > 0; }, kHangDetectorMs) && !settle()) out.calls = -1;
    return out;
}

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

}  // namespace

class DBusServicesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QString reason;
        if (!halvetrop::test::privateSessionBus(&reason)) QSKIP(qPrintable(reason));
        registerDBusObjectMap();
    }

    void eject_data() {
        QTest::addColumn<QStringList>("target");  // mount point, device number, UUID
        QTest::addColumn<bool>("canPowerOff");
        QTest::addColumn<bool>("secondMounted");
        QTest::addColumn<QString>("failUnmount");  // block whose Unmount fails
        QTest::addColumn<bool>("failPowerOff");
        QTest::addColumn<QStringList>("expectedCalls");
        QTest::addColumn<QString>("expectedReason");  // empty = success

        const QString list = kUDisksRoot + " GetManagedObjects";
        const QString unmount1 = kCard + " Unmount", unmount2 = kCardSecond + " Unmount";
        const QString powerOff = kCardDrive + " PowerOff", eject = kCardDrive + " Eject";
        const QString another = "another card is mounted at its place now";
        QTest::newRow("unmount then power off") << QStringList{"/media/u/EOS_DIGITAL"} << true << false << ""
                                                << false << QStringList{list, unmount1, powerOff} << "";
        QTest::newRow("every partition of the card")
            << QStringList{"/media/u/EOS_DIGITAL"} << true << true << "" << false
            << QStringList{list, unmount1, unmount2, powerOff} << "";
        QTest::newRow("eject when it cannot power off")
            << QStringList{"/media/u/EOS_DIGITAL"} << false << false << "" << false
            << QStringList{list, unmount1, eject} << "";
        QTest::newRow("busy: the reason, nothing powered off")
            << QStringList{"/media/u/EOS_DIGITAL"} << true << true << kCard << false
            << QStringList{list, unmount1} << "Error unmounting /dev/sdz1: target is busy";
        QTest::newRow("second partition busy")
            << QStringList{"/media/u/EOS_DIGITAL"} << true << true << kCardSecond << false
            << QStringList{list, unmount1, unmount2} << "Error unmounting /dev/sdz2: target is busy";
        QTest::newRow("power off refused after the unmount")
            << QStringList{"/media/u/EOS_DIGITAL"} << true << false << "" << true
            << QStringList{list, unmount1, powerOff} << "";
        QTest::newRow("not a drive it knows")
            << QStringList{"/media/u/NOPE"} << true << false << "" << false << QStringList{list}
            << "the system's disk service does not list it as a drive";
        QTest::newRow("the card checked, by its device and UUID")
            << QStringList{"/media/u/EOS_DIGITAL", "65:145", "6e1f-0a0b"} << true << false << "" << false
            << QStringList{list, unmount1, powerOff} << "";
        QTest::newRow("a card of its own number: its UUID alone tells")
            << QStringList{"/media/u/EOS_DIGITAL", "0:52", "6E1F-0A0B"} << true << false << "" << false
            << QStringList{list, unmount1, powerOff} << "";
        QTest::newRow("another card at its place: another UUID")
            << QStringList{"/media/u/EOS_DIGITAL", "65:145", "1111-2222"} << true << false << "" << false
            << QStringList{list} << another;
        QTest::newRow("another card at its place: another device")
            << QStringList{"/media/u/EOS_DIGITAL", "179:1", ""} << true << false << "" << false
            << QStringList{list} << another;
        QTest::newRow("internal disk: its other file systems stay")
            << QStringList{"/"} << true << false << "" << false << QStringList{list, kDisk + " Unmount"}
            << "";
    }

    void eject() {
        QFETCH(QStringList, target);
        QFETCH(bool, canPowerOff);
        QFETCH(bool, secondMounted);
        QFETCH(QString, failUnmount);
        QFETCH(bool, failPowerOff);
        QFETCH(QStringList, expectedCalls);
        QFETCH(QString, expectedReason);

        FakeBusService udisks(kUDisks, kUDisksRoot);
        const DBusObjectMap objects = machine(canPowerOff, secondMounted);
        udisks.on("org.freedesktop.DBus.ObjectManager.GetManagedObjects",
                  [objects](const QDBusMessage& m) { return m.createReply(QVariant::fromValue(objects)); });
        udisks.on("org.freedesktop.UDisks2.Filesystem.Unmount", [failUnmount](const QDBusMessage& m) {
            if (m.path() != failUnmount) return m.createReply();
            const QString device = m.path() == kCard ? "/dev/sdz1" : "/dev/sdz2";
            return error(m, "org.freedesktop.UDisks2.Error.DeviceBusy",
                         "Error unmounting " + device + ": target is busy.");
        });
        auto drive = [failPowerOff](const QDBusMessage& m) {
            return failPowerOff ? error(m, "org.freedesktop.UDisks2.Error.Failed", "Error powering off drive")
                                : m.createReply();
        };
        udisks.on("org.freedesktop.UDisks2.Drive.PowerOff", drive);
        udisks.on("org.freedesktop.UDisks2.Drive.Eject", drive);
        QVERIFY(udisks.start());

        UDisksEjector ejector(QDBusConnection::sessionBus());
        const EjectOutcome out = ejectAndWait(
            ejector,
            {target.value(0).toStdString(), target.value(1).toStdString(), target.value(2).toStdString()},
            [&] { return udisks.settle(); });
        QCOMPARE(out.calls, 1);
        QCOMPARE(out.reason.value_or(QString()), expectedReason);
        QCOMPARE(out.reason.has_value(), !expectedReason.isEmpty());
        // A service that answers refuses for a reason; it is never taken for a missing service.
        if (out.kind)
            QCOMPARE(int(*out.kind),
                     int(expectedReason.startsWith("another card") ? EjectFailure::Kind::another
                                                                   : EjectFailure::Kind::refused));
        QCOMPARE(udisks.members(), expectedCalls);
        for (const auto& c : udisks.calls())
            if (c.member != "GetManagedObjects") QCOMPARE(c.arguments.size(), 1);  // the options a{sv}
    }

    void ejectWithoutTheService() {
        UDisksEjector onBus(QDBusConnection::sessionBus());
        // No service answers: the bus does, in order, to a call of the test's own after.
        const QDBusMessage busId = QDBusMessage::createMethodCall(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId");
        const EjectOutcome out = ejectAndWait(onBus, {"/media/u/EOS_DIGITAL", "", ""}, [&] {
            return test::answerOf(QDBusConnection::sessionBus(), busId).has_value();
        });
        QCOMPARE(out.calls, 1);
        QCOMPARE(out.reason.value_or(QString()), QStringLiteral("Eject needs the UDisks2 service"));
        QCOMPARE(int(out.kind.value_or(EjectFailure::Kind::refused)), int(EjectFailure::Kind::noService));

        UDisksEjector noBus(QDBusConnection(QStringLiteral("never connected")));
        // Off the bus no call is made: nothing more can come.
        const EjectOutcome offBus =
            ejectAndWait(noBus, {"/media/u/EOS_DIGITAL", "", ""}, [] { return true; });
        QCOMPARE(offBus.calls, 1);
        QCOMPARE(offBus.reason.value_or(QString()), QStringLiteral("Eject needs the UDisks2 service"));
        QCOMPARE(int(offBus.kind.value_or(EjectFailure::Kind::refused)), int(EjectFailure::Kind::noService));
    }

    // The answer of a service that does not speak UDisks2's shape is a failure, never a success.
    void ejectWithAStrangeAnswer() {
        FakeBusService udisks(kUDisks, kUDisksRoot);
        udisks.on("org.freedesktop.DBus.ObjectManager.GetManagedObjects",
                  [](const QDBusMessage& m) { return m.createReply(QStringLiteral("surprise")); });
        QVERIFY(udisks.start());
        UDisksEjector ejector(QDBusConnection::sessionBus());
        const EjectOutcome out =
            ejectAndWait(ejector, {"/media/u/EOS_DIGITAL", "", ""}, [&] { return udisks.settle(); });
        QCOMPARE(out.calls, 1);
        QVERIFY(out.reason.has_value());
        QCOMPARE(udisks.members(), QStringList{kUDisksRoot + " GetManagedObjects"});
    }

    // An ejector that goes away while UDisks2 is still unmounting calls nobody back.
    void ejectorGoneBeforeTheAnswer() {
        FakeBusService udisks(kUDisks, kUDisksRoot);
        const DBusObjectMap objects = machine(true, false);
        udisks.on("org.freedesktop.DBus.ObjectManager.GetManagedObjects",
                  [objects](const QDBusMessage& m) { return m.createReply(QVariant::fromValue(objects)); });
        udisks.on("org.freedesktop.UDisks2.Filesystem.Unmount", [](const QDBusMessage& m) {
            QThread::msleep(300);
            return m.createReply();
        });
        QVERIFY(udisks.start());
        int calls = 0;
        auto ejector = std::make_unique<UDisksEjector>(QDBusConnection::sessionBus());
        ejector->eject({"/media/u/EOS_DIGITAL", "", ""}, [&](std::optional<EjectFailure>) { ++calls; });
        QTRY_COMPARE(udisks.calls().size(), size_t(2));  // listed, unmount asked
        ejector.reset();
        QVERIFY(udisks.settle());  // the unmount's answer has come back
        QCOMPARE(calls, 0);
    }

    // The application gets every service.
    void linuxPlatformIsComplete() {
        const PlatformServices s = linuxPlatform();
        QVERIFY(s.folderPicker && s.savePicker && s.volumeMonitor && s.ejector && s.reveal && s.bookmarks &&
                s.appearance && s.singleInstance);
    }

    void reveal_data() {
        QTest::addColumn<bool>("fileManager");
        QTest::addColumn<bool>("fails");
        QTest::addColumn<QStringList>("expectedItems");
        QTest::addColumn<QString>("expectedOpened");
        QTest::addColumn<bool>("folderOpens");  // something on the desktop opens folders
        QTest::addColumn<bool>("failed");       // the caller is told nothing could show them

        const QStringList items = {"file:///media/u/EOS%20DIGITAL/DCIM/IMG%FF.JPG", "file:///srv/b/a%25.JPG"};
        const QString folder = "file:///media/u/EOS%20DIGITAL/DCIM";
        QTest::newRow("file manager selects the items") << true << false << items << "" << true << false;
        QTest::newRow("no file manager: the folder opens")
            << false << false << QStringList{} << folder << true << false;
        QTest::newRow("file manager fails: the folder opens")
            << true << true << items << folder << true << false;
        QTest::newRow("no file manager, nothing opens folders")
            << false << false << QStringList{} << folder << false << true;
        QTest::newRow("file manager fails, nothing opens folders")
            << true << true << items << folder << false << true;
    }

    void reveal() {
        QFETCH(bool, fileManager);
        QFETCH(bool, fails);
        QFETCH(QStringList, expectedItems);
        QFETCH(QString, expectedOpened);
        QFETCH(bool, folderOpens);
        QFETCH(bool, failed);

        std::optional<FakeBusService> fm;
        if (fileManager) {
            fm.emplace("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1");
            fm->on("org.freedesktop.FileManager1.ShowItems", [fails](const QDBusMessage& m) {
                return fails ? error(m, "org.freedesktop.DBus.Error.Failed", "no window") : m.createReply();
            });
            QVERIFY(fm->start());
        }
        QStringList opened;
        FileManagerReveal reveal(QDBusConnection::sessionBus(), [&](const QUrl& url) {
            opened << QString::fromLatin1(url.toEncoded());
            return folderOpens;
        });
        int failures = 0;
        reveal.reveal({"/media/u/EOS DIGITAL/DCIM/IMG\xff.JPG", "/srv/b/a%.JPG"}, [&] { ++failures; });

        if (fileManager) {
            QTRY_COMPARE(fm->calls().size(), size_t(1));
            const auto call = fm->calls().front();
            QCOMPARE(call.arguments.value(0).toStringList(), expectedItems);
        }
        if (expectedOpened.isEmpty()) {
            QVERIFY(fm->settle());  // its answer has come back
            QCOMPARE(opened, QStringList{});
        } else {
            QTRY_COMPARE(opened, QStringList{expectedOpened});
        }
        QCOMPARE(failures, failed ? 1 : 0);
    }

    void appearance_data() {
        QTest::addColumn<bool>("portal");
        QTest::addColumn<bool>("readOne");  // a version 2 portal; else only the older Read
        QTest::addColumn<QString>("appearanceEnv");
        QTest::addColumn<QString>("motionEnv");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<bool>("highContrast");
        QTest::addColumn<bool>("reduceMotion");

        // The portal says: prefer dark, high contrast on, animations off.
        QTest::newRow("no portal: light, motion on") << false << true << ""
                                                     << "" << false << false << false;
        QTest::newRow("portal") << true << true << ""
                                << "" << true << true << true;
        QTest::newRow("older portal") << true << false << ""
                                      << "" << true << true << true;
        QTest::newRow("env light over the portal") << true << true << "light"
                                                   << "" << false << false << true;
        QTest::newRow("env hc-light") << true << true << "hc-light"
                                      << "" << false << true << true;
        QTest::newRow("env hc-dark, no portal") << false << true << "hc-dark"
                                                << "" << true << true << false;
        QTest::newRow("env motion on over the portal") << true << true << ""
                                                       << "0" << true << true << false;
        QTest::newRow("env reduce motion") << false << true << "dark"
                                           << "1" << true << false << true;
        QTest::newRow("unknown env values ignored") << true << true << "sepia"
                                                    << "yes" << true << true << true;
    }

    void appearance() {
        QFETCH(bool, portal);
        QFETCH(bool, readOne);
        QFETCH(QString, appearanceEnv);
        QFETCH(QString, motionEnv);
        QFETCH(bool, dark);
        QFETCH(bool, highContrast);
        QFETCH(bool, reduceMotion);

        std::optional<FakeBusService> fake;
        if (portal) {
            fake.emplace(kPortal, kPortalPath);
            servePortal(*fake, readOne);
            QVERIFY(fake->start());
        }
        QHash<QString, QString> env;
        if (!appearanceEnv.isEmpty()) env.insert("HV_APPEARANCE", appearanceEnv);
        if (!motionEnv.isEmpty()) env.insert("HV_REDUCE_MOTION", motionEnv);
        PortalAppearance appearance(QDBusConnection::sessionBus(), env);
        QCOMPARE(appearance.current(), (AppearanceValues{dark, highContrast, reduceMotion}));
    }

    // The portal's change signal moves the values and calls back once per real change; values
    // fixed by the environment stay.
    void appearanceFollowsChanges() {
        FakeBusService fake(kPortal, kPortalPath);
        servePortal(fake, true);
        QVERIFY(fake.start());
        PortalAppearance followed(QDBusConnection::sessionBus(), {});
        PortalAppearance pinned(QDBusConnection::sessionBus(), {{"HV_APPEARANCE", "light"}});
        int followedCalls = 0, pinnedCalls = 0;
        followed.onChange([&] { ++followedCalls; });
        pinned.onChange([&] { ++pinnedCalls; });

        struct Step {
            const char* nameSpace;
            const char* key;
            QVariant value;
            AppearanceValues followed;
        };
        const std::vector<Step> steps = {
            {"org.freedesktop.appearance", "color-scheme", QVariant(2u), {false, true, true}},
            {"org.gnome.desktop.interface", "enable-animations", QVariant(true), {false, true, false}},
            {"org.gnome.desktop.a11y.interface", "high-contrast", QVariant(false), {false, false, false}},
            {"org.freedesktop.appearance", "color-scheme", QVariant(1u), {true, false, false}},
            {"org.freedesktop.appearance", "accent-color", QVariant(3u), {true, false, false}},
            {"org.freedesktop.appearance", "color-scheme", QVariant("dark"), {true, false, false}},
        };
        int expectedFollowed = 0;
        AppearanceValues before = followed.current();
        for (const Step& s : steps) {
            fake.emitSignal(
                kPortalPath, "org.freedesktop.portal.Settings", "SettingChanged",
                {QString(s.nameSpace), QString(s.key), QVariant::fromValue(QDBusVariant(s.value))});
            if (!(s.followed == before)) ++expectedFollowed;
            before = s.followed;
            QTRY_COMPARE(followed.current(), s.followed);
            QVERIFY(fake.settle());  // the change and whatever it asked of the portal have come back
            QCOMPARE(followedCalls, expectedFollowed);
        }
        QCOMPARE(pinned.current().dark, false);
        QCOMPARE(pinned.current().highContrast, false);
        QCOMPARE(pinned.current().reduceMotion, false);  // motion is not pinned: it followed
        QCOMPARE(pinnedCalls, 1);                        // animations off -> on, nothing else
    }

private:
    static void servePortal(FakeBusService& fake, bool readOne) {
        auto value = [](const QString& ns, const QString& key) -> std::optional<QVariant> {
            if (ns == "org.freedesktop.appearance" && key == "color-scheme") return QVariant(1u);
            if (ns == "org.gnome.desktop.a11y.interface" && key == "high-contrast") return QVariant(true);
            if (ns == "org.gnome.desktop.interface" && key == "enable-animations") return QVariant(false);
            return std::nullopt;
        };
        auto handler = [value](bool nested) {
            return [value, nested](const QDBusMessage& m) {
                const auto v = value(m.arguments().value(0).toString(), m.arguments().value(1).toString());
                if (!v)
                    return m.createErrorReply("org.freedesktop.portal.Error.NotFound",
                                              "Requested setting not found");
                const QVariant inner = QVariant::fromValue(QDBusVariant(*v));
                return m.createReply(nested ? QVariant::fromValue(QDBusVariant(inner)) : inner);
            };
        };
        if (readOne) fake.on("org.freedesktop.portal.Settings.ReadOne", handler(false));
        fake.on("org.freedesktop.portal.Settings.Read", handler(true));
    }
};

QTEST_GUILESS_MAIN(DBusServicesTest)
#include "DBusServicesTest.moc"

// Mount events and bookmarks on real volumes (as root): loop-backed ext4 images with their own
// UUIDs, mounted in turn at the same mount point, and tmpfs.
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <filesystem>

#include "drives/Drives.h"
#include "platform/LinuxServices.h"
#include "support/LoopVolume.h"
#include "support/TempDir.h"

using namespace halvetrop;
using halvetrop::test::runShell;
using halvetrop::test::TempDir;

namespace {

std::string quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool run(const std::string& command) { return runShell(command + " >/dev/null 2>&1") == 0; }

// A loop-backed ext4 volume with a chosen UUID; unmounted and detached when it goes.
class Ext4Image {
public:
    Ext4Image(const std::string& image, const std::string& uuid, const std::string& label) {
        std::string device;
        if (run("truncate -s 8M " + quote(image)) &&
            run("mkfs.ext4 -q -F -L " + quote(label) + " -U " + uuid + " " + quote(image)) &&
            runShell("losetup -f --show " + quote(image), &device) == 0)
            device_ = device.substr(0, device.find('\n'));
    }
    ~Ext4Image() {
        unmountAll();
        if (!device_.empty()) run("losetup -d " + device_);
    }
    bool ok() const { return !device_.empty(); }
    bool mount(const std::string& point) {
        std::filesystem::create_directories(point);
        if (!run("mount -t ext4 " + device_ + " " + quote(point))) return false;
        points_.push_back(point);
        return true;
    }
    bool bind(const std::string& from, const std::string& point) {
        std::filesystem::create_directories(point);
        if (!run("mount --bind " + quote(from) + " " + quote(point))) return false;
        points_.push_back(point);
        return true;
    }
    void unmountAll() {
        while (!points_.empty()) {
            if (!run("umount " + quote(points_.back()))) run("umount -l " + quote(points_.back()));
            points_.pop_back();
        }
    }

private:
    std::string device_;
    std::vector<std::string> points_;  // in mount order
};

bool machineRefuses(QString* reason) {
    std::string why;
    if (!halvetrop::test::canUseLoopDevices(&why)) {
        *reason = QString::fromStdString(why);
        return true;
    }
    return false;
}

QString text(const std::optional<std::string>& path) {
    return path ? QString::fromStdString(*path) : QStringLiteral("(none)");
}

}  // namespace

class VolumesTest : public QObject {
    Q_OBJECT

private slots:
    // Mounts and unmounts reach the callback; a burst arrives merged; nothing after the monitor
    // is gone.
    void mountEvents() {
        if (QString why; machineRefuses(&why)) QSKIP(qPrintable(why));
        TempDir dir("monitor");
        std::vector<std::string> points;
        for (const char* name : {"m0", "m1", "m2", "m3", "m4"}) points.push_back(dir.mkdir(name));
        auto mountAll = [&](std::size_t n) {
            std::string command;
            for (std::size_t i = 0; i < n; ++i)
                command += "mount -t tmpfs -o size=64k halvetrop-monitor " + quote(points[i]) + " && ";
            return run(command + "true");
        };
        auto unmountAll = [&] {
            for (const std::string& p : points) run("umount " + quote(p));
        };

        int calls = 0;
        auto monitor = std::make_unique<MountTableMonitor>();
        monitor->start([&] { ++calls; });
        QTest::qWait(200);
        QCOMPARE(calls, 0);

        struct Step {
            const char* what;
            std::function<bool()> act;
            int atMost;  // a loaded machine may split one change, or deliver the last one late
        };
        const std::vector<Step> steps = {
            {"one mount", [&] { return mountAll(1); }, 3},
            {"one unmount",
             [&] {
                 unmountAll();
                 return true;
             },
             3},
            {"a burst of five mounts", [&] { return mountAll(5); }, 4},
        };
        for (const Step& s : steps) {
            calls = 0;
            const bool acted = s.act();
            if (!acted) unmountAll();
            QVERIFY2(acted, s.what);
            QTRY_VERIFY2(calls >= 1, s.what);
            QTest::qWait(300);
            QVERIFY2(calls <= s.atMost, s.what);
        }
        unmountAll();
        QTRY_VERIFY(calls >= 1);

        // A mount and its unmount, the unmount once a monitor started here has heard of the mount,
        // and heard of too: a monitor alive meanwhile has made its call for the mount by then (each
        // makes its call a short merge after a change reaches it).
        const auto mountThenUnmount = [&] {
            int heard = 0;
            MountTableMonitor witness;
            witness.start([&] { ++heard; });
            const bool mounted = mountAll(1);
            const bool merged = mounted && QTest::qWaitFor([&] { return heard >= 1; }, kHangDetectorMs);
            const int before = heard;
            unmountAll();
            return merged && QTest::qWaitFor([&] { return heard > before; }, kHangDetectorMs);
        };
        monitor.reset();
        calls = 0;
        QVERIFY(mountThenUnmount());
        QCOMPARE(calls, 0);

        MountTableMonitor nowhere("/proc/self/no-such-table");
        nowhere.start([&] { ++calls; });
        QVERIFY(mountThenUnmount());
        QCOMPARE(calls, 0);
    }

    // What the application does with a call: re-read the volume list. A card mounted where cards
    // are mounted is in it by then, and gone from it after the unmount's call.
    void callSeesTheVolumeList() {
        if (QString why; machineRefuses(&why)) QSKIP(qPrintable(why));
        std::vector<std::vector<std::string>> lists;
        MountTableMonitor monitor;
        monitor.start([&] {
            std::vector<std::string> paths;
            for (const VolumeInfo& v : Drives::mountedVolumes()) paths.push_back(v.volumePath);
            lists.push_back(std::move(paths));
        });
        auto listed = [&](const std::string& point) {
            return !lists.empty() && std::count(lists.back().begin(), lists.back().end(), point) == 1;
        };
        std::string point;
        {
            halvetrop::test::LoopVolume card(halvetrop::test::LoopVolume::Type::ext4, 8 << 20, "EOS_DIGITAL",
                                             "/mnt");
            point = card.mountPoint();
            QTRY_VERIFY(listed(point));
            lists.clear();
        }
        QTRY_VERIFY(!lists.empty());
        QVERIFY(!listed(point));
    }

    void bookmarks_data() {
        QTest::addColumn<QStringList>("mounts");  // "A M": image A at M; "bind A M2/DCIM M3"; "leftover M"
        QTest::addColumn<QString>("card");        // where the card's bookmark resolves; "" none
        QTest::addColumn<QString>("folder");      // where the bookmark of DCIM/100CANON resolves

        QTest::newRow("where it was") << QStringList{"A M"} << "M"
                                      << "M/DCIM/100CANON";
        QTest::newRow("unplugged: the empty mount-point folder is not it") << QStringList{} << ""
                                                                           << "";
        QTest::newRow("unplugged: a leftover folder of the same name is not it")
            << QStringList{"leftover M"} << ""
            << "";
        QTest::newRow("another card, same label, same place") << QStringList{"B M"} << ""
                                                              << "";
        QTest::newRow("mounted elsewhere") << QStringList{"A M2"} << "M2"
                                           << "M2/DCIM/100CANON";
        QTest::newRow("elsewhere, another card at its place") << QStringList{"B M", "A M2"} << "M2"
                                                              << "M2/DCIM/100CANON";
        QTest::newRow("only a folder of it bound elsewhere") << QStringList{"bind A M2/DCIM M3"} << ""
                                                             << "M3/100CANON";
    }

    void bookmarks() {
        QFETCH(QStringList, mounts);
        QFETCH(QString, card);
        QFETCH(QString, folder);
        if (QString why; machineRefuses(&why)) QSKIP(qPrintable(why));

        TempDir dir("bookmarks");
        const std::string m = dir / "media/EOS_DIGITAL", m2 = dir / "media/EOS_DIGITAL1", m3 = dir / "bound";
        Ext4Image a(dir / "a.img", "11111111-2222-3333-4444-555555555555", "EOS_DIGITAL");
        Ext4Image b(dir / "b.img", "66666666-7777-8888-9999-000000000000", "EOS_DIGITAL");
        QVERIFY(a.ok() && b.ok());

        // The card is remembered while it is mounted at M; the other card has the same folders.
        VolumeBookmarks bookmarks;
        QVERIFY(b.mount(m));
        std::filesystem::create_directories(m + "/DCIM/100CANON");
        b.unmountAll();
        QVERIFY(a.mount(m));
        std::filesystem::create_directories(m + "/DCIM/100CANON");
        const std::optional<QByteArray> cardMark = bookmarks.make(m);
        const std::optional<QByteArray> folderMark = bookmarks.make(m + "/DCIM/100CANON");
        QVERIFY(cardMark && folderMark);
        a.unmountAll();

        auto place = [&](const QString& name) {
            return name == "M" ? m : name == "M2" ? m2 : name == "M3" ? m3 : std::string();
        };
        for (const QString& line : mounts) {
            const QStringList w = line.split(' ');
            if (w[0] == "leftover") {
                std::filesystem::create_directories(place(w[1]) + "/DCIM/100CANON");
            } else if (w[0] == "bind") {
                const std::string from =
                    QString(w[2]).replace("M2", QString::fromStdString(m2)).toStdString();
                QVERIFY(a.mount(m2));
                QVERIFY(a.bind(from, place(w[3])));
                QVERIFY(run("umount " + quote(m2)));
            } else {
                QVERIFY((w[0] == "A" ? a : b).mount(place(w[1])));
            }
        }

        auto expected = [&](const QString& where) -> QString {
            if (where.isEmpty()) return QStringLiteral("(none)");
            const int slash = where.indexOf('/');
            const QString head = slash < 0 ? where : where.left(slash);
            return QString::fromStdString(place(head)) + (slash < 0 ? QString() : where.mid(slash));
        };
        QCOMPARE(text(bookmarks.resolve(*cardMark)), expected(card));
        QCOMPARE(text(bookmarks.resolve(*folderMark)), expected(folder));
    }

    // A volume without a UUID is known by its mount point, type and source.
    void bookmarksWithoutUuid() {
        if (QString why; machineRefuses(&why)) QSKIP(qPrintable(why));
        TempDir dir("bookmarks");
        const std::string t = dir.mkdir("scratch");
        QVERIFY(run("mount -t tmpfs -o size=64k halvetrop-one " + quote(t)));
        std::filesystem::create_directories(t + "/x");
        VolumeBookmarks bookmarks;
        const std::optional<QByteArray> mark = bookmarks.make(t + "/x");
        QVERIFY(mark);
        const std::optional<std::string> mounted = bookmarks.resolve(*mark);
        run("umount " + quote(t));
        QCOMPARE(text(mounted), QString::fromStdString(t + "/x"));

        std::filesystem::create_directories(t + "/x");  // left behind on the disk below
        QCOMPARE(text(bookmarks.resolve(*mark)), QStringLiteral("(none)"));
        QVERIFY(run("mount -t tmpfs -o size=64k halvetrop-two " + quote(t)));
        std::filesystem::create_directories(t + "/x");
        const std::optional<std::string> other = bookmarks.resolve(*mark);
        run("umount " + quote(t));
        QCOMPARE(text(other), QStringLiteral("(none)"));
    }

    // Whatever the settings file holds, resolving never crashes and never invents a place: each
    // row spoils one thing of a bookmark that resolves.
    void bookmarkBlobs() {
        TempDir dir("bookmarks");
        const std::string folder = dir.mkdir("DCIM");
        VolumeBookmarks bookmarks;
        const std::optional<QByteArray> mark = bookmarks.make(folder);
        QVERIFY(mark);
        QCOMPARE(text(bookmarks.resolve(*mark)), QString::fromStdString(folder));
        QVERIFY(!bookmarks.make(folder + "/missing"));
        QVERIFY(!bookmarks.make("DCIM"));
        QVERIFY(!bookmarks.make(folder + "/"));

        const QJsonObject valid = QJsonDocument::fromJson(*mark).object();
        auto with = [&](const char* key, const QJsonValue& value) {
            QJsonObject o = valid;
            if (value.isUndefined())
                o.remove(QLatin1String(key));
            else
                o.insert(QLatin1String(key), value);
            return QJsonDocument(o).toJson();
        };
        const QString path = QString::fromStdString(folder);
        const std::vector<std::pair<const char*, QByteArray>> rows = {
            {"empty", QByteArray()},
            {"not JSON", QByteArray("\x01\x02garbage\xff", 11)},
            {"another kind of bookmark", "fake:" + QByteArray::fromStdString(folder)},
            {"array", "[" + *mark + "]"},
            {"deep", QByteArray(5000, '[') + QByteArray(5000, ']')},
            {"future version", with("v", 2)},
            {"version as text", with("v", "1")},
            {"path a number", with("path", 5)},
            {"path climbs", with("path", path + "/../DCIM")},
            {"trailing slash", with("path", path + "/")},
            {"NUL in the path", with("path", path + "%00")},
            {"not ASCII", with("path", path + QChar(0xe9))},
            {"no source", with("source", QJsonValue::Undefined)},
            {"huge", with("padding", QString(70000, 'a'))},
        };
        for (const auto& [name, blob] : rows) QVERIFY2(!bookmarks.resolve(blob), name);

        auto check = [&](const QByteArray& damaged) {
            const std::optional<std::string> p = bookmarks.resolve(damaged);
            return !p || (p->front() == '/' && std::filesystem::exists(*p));
        };
        for (qsizetype n = 0; n < mark->size(); ++n)
            QVERIFY2(check(mark->left(n)), mark->left(n).constData());
        for (qsizetype i = 0; i < mark->size(); ++i)
            for (char flip : {'\0', '"', '/', '%', '.', '\xff', '{'}) {
                QByteArray damaged = *mark;
                damaged[i] = flip;
                QVERIFY2(check(damaged), damaged.constData());
            }
    }
};

QTEST_GUILESS_MAIN(VolumesTest)
#include "VolumesTest.moc"

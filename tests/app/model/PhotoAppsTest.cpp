// The hand-off of new files to photo applications, through desktop entries in a private data
// folder whose programs write down the arguments they were started with.
#include "model/PhotoApps.h"

#include "support/TempDir.h"

#include <QtTest>

#include <sys/stat.h>

using namespace halvetrop;

class PhotoAppsTest : public QObject {
    Q_OBJECT
    test::TempDir dir{"apps"};

    std::string recorder(const std::string& name) {
        std::string script = dir.write("bin/" + name, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
        ::chmod(script.c_str(), 0755);
        return script;
    }
    void entry(const std::string& id, const std::string& exec, bool dbus = false) {
        dir.write("data/applications/" + id, "[Desktop Entry]\nType=Application\nName=" + id + "\nExec=" +
                                                 exec + "\n" + (dbus ? "DBusActivatable=true\n" : ""));
    }
    static QStringList argsOf(const std::string& script) {
        const QString file = QString::fromStdString(script + ".args");
        QDeadlineTimer deadline(10000);
        while (!(QFile::exists(file) && QFileInfo(file).size() > 0) && !deadline.hasExpired())
            QTest::qWait(20);
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase() {
        // Before anything asks the desktop for applications: only these entries exist.
        entry("org.kde.digikam.desktop", recorder("one") + " %f");
        entry("org.gnome.gThumb.desktop", recorder("many") + " %F");
        qputenv("XDG_DATA_DIRS", QByteArray::fromStdString(dir / "data"));
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir / "home"));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir / "config"));
    }

    void argumentsByIntake() {
        const std::vector<std::string> folders{"/b/x", "/b/y"};
        const std::vector<std::string> three{"/b/x/1", "/b/x/2", "/b/y/3"};
        const std::vector<std::string> many(501, "/b/x/f");
        struct Case {
            FileIntake intake;
            std::vector<std::string> files, folders, want;
        };
        const std::vector<Case> cases = {
            {FileIntake::dbus, many, folders, many},      {FileIntake::list, three, folders, three},
            {FileIntake::list, many, folders, folders},   {FileIntake::single, three, {"/b/x"}, {"/b/x"}},
            {FileIntake::single, three, folders, {"/b"}},
        };
        for (const auto& c : cases) QCOMPARE(handOffArguments(c.intake, c.files, c.folders, "/b"), c.want);
    }

    void installedAndOpened() {
        const auto apps = PhotoApps::installed();
        QCOMPARE(apps, (std::vector<PhotoApp>{{"digiKam", "org.kde.digikam.desktop"},
                                              {"gThumb", "org.gnome.gThumb.desktop"}}));
        const std::vector<std::string> files{dir.write("b/x/1.jpg", "1"), dir.write("b/x/2.jpg", "2")};
        QCOMPARE(PhotoApps::open(apps[1], files, {dir / "b/x"}, dir / "b"), std::nullopt);
        QCOMPARE(argsOf(dir / "bin/many"),
                 (QStringList{QString::fromStdString(files[0]), QString::fromStdString(files[1])}));
        QCOMPARE(PhotoApps::open(apps[0], files, {dir / "b/x"}, dir / "b"), std::nullopt);
        QCOMPARE(argsOf(dir / "bin/one"), QStringList{QString::fromStdString(dir / "b/x")});
        QCOMPARE(PhotoApps::open({"Ghost", "ghost.desktop"}, files, {}, dir / "b"),
                 std::optional<std::string>("Ghost is no longer installed."));
    }
};

QTEST_GUILESS_MAIN(PhotoAppsTest)
#include "PhotoAppsTest.moc"

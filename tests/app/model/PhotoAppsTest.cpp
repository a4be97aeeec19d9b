// The photo applications offered for the new files, and the hand-off, through desktop entries in a
// private data folder whose programs write down the arguments they were started with.
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
    void entry(const std::string& id, const std::string& lines) {
        dir.write("data/applications/" + id, "[Desktop Entry]\nType=Application\n" + lines);
    }
    static QStringList argsOf(const std::string& script) {
        const QString file = QString::fromStdString(script + ".args");
        QDeadlineTimer deadline(kHangDetectorMs);
        while (!(QFile::exists(file) && QFileInfo(file).size() > 0) && !deadline.hasExpired())
            QTest::qWait(20);
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase() {
        // Before anything asks the desktop for applications: only these entries exist. What an
        // entry says of itself decides; the ones not offered are marked so.
        const std::string one = recorder("one") + " %f", many = recorder("many") + " %F";
        entry("org.kde.digikam.desktop",
              "Name=digiKam\nExec=" + one + "\nCategories=Qt;KDE;Graphics;Photography;\n");
        entry("org.gnome.gThumb.desktop",
              "Name=gThumb\nX-GNOME-FullName=gThumb Image Viewer\nExec=" + many +
                  "\nCategories=GNOME;GTK;Graphics;Viewer;RasterGraphics;Photography;\n");
        // Named by Name, not by what it calls itself elsewhere.
        entry(
            "org.gnome.Shotwell.desktop",
            "Name=Shotwell\nGenericName=Photo Manager\nX-GNOME-FullName=Shotwell Photo Manager\n"
            "Comment=Organize your photos\nExec=/bin/true %U\nCategories=Graphics;Photography;GNOME;GTK;\n");
        // The same application twice (a package and a sandboxed copy): once.
        entry("darktable.desktop",
              "Name=darktable\nExec=/bin/true %U\nCategories=Graphics;Photography;GTK;\n");
        entry("org.darktable.darktable.desktop",
              "Name=Darktable\nExec=/bin/true %U\nCategories=Graphics;Photography;GTK;\n");
        entry("org.example.Photos.desktop",
              "Name=Photos\nDBusActivatable=true\nExec=/bin/true\n"
              "Categories=Graphics;Photography;\n");
        // Not offered: image viewers and editors, however many image types they open...
        entry("display-im6.q16.desktop",
              "Name=ImageMagick (color depth=q16)\nExec=/bin/true %f\n"
              "Categories=Graphics;2DGraphics;RasterGraphics;GTK;\n"
              "MimeType=image/jpeg;image/png;image/x-canon-cr2;\n");
        entry("org.gnome.eog.desktop",
              "Name=Image Viewer\nExec=/bin/true %U\nMimeType=image/jpeg;\n"
              "Categories=GNOME;GTK;Graphics;2DGraphics;RasterGraphics;Viewer;\n");
        entry("org.example.Tools.desktop",
              "Name=Tools\nExec=/bin/true %U\nCategories=Graphics;PhotographyTools;\n");
        // ...a photography entry kept out of menus, one that takes no files...
        entry("shotwell-viewer.desktop",
              "Name=Shotwell Viewer\nNoDisplay=true\nExec=/bin/true %U\n"
              "Categories=Graphics;Photography;Viewer;\n");
        entry("rawtherapee.desktop", "Name=RawTherapee\nExec=/bin/true\nCategories=Graphics;Photography;\n");
        // ...and this application itself, by its entry or by its program.
        entry("halvetrop.desktop",
              "Name=SD Halvetrop\nExec=/bin/true %F\nCategories=Graphics;Photography;Utility;\n");
        entry("org.example.Packaged.desktop",
              "Name=SD Halvetrop (packaged)\nExec=" + QCoreApplication::applicationFilePath().toStdString() +
                  " %F\nCategories=Graphics;Photography;\n");
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

    // The help says what the application is given, as handOffArguments gives it.
    void helpSaysWhatIsGiven() {
        struct Case {
            FileIntake intake;
            size_t files, folders;
            const char* want;
        };
        const Case cases[] = {
            {FileIntake::list, 12, 2, "Open the 12 new files in X"},
            {FileIntake::list, 1, 1, "Open the 1 new file in X"},
            {FileIntake::list, 501, 2, "Open the 2 folders with the new files in X"},
            {FileIntake::list, 501, 1, "Open the folder with the new files in X"},
            {FileIntake::single, 3, 2, "Open the folder with the new files in X"},
            {FileIntake::dbus, 501, 3, "Open the 501 new files in X"},
            {FileIntake::dbus, 5000, 3, "Open the 5,000 new files in X"},
        };
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        for (const auto& c : cases)
            QCOMPARE(handOffHelp({"X", "x.desktop", c.intake}, c.files, c.folders), c.want);
    }

    void installedAndOpened() {
        const auto apps = PhotoApps::installed();
        QCOMPARE(apps, (std::vector<PhotoApp>{{"darktable", "darktable.desktop", FileIntake::list},
                                              {"digiKam", "org.kde.digikam.desktop", FileIntake::single},
                                              {"gThumb", "org.gnome.gThumb.desktop", FileIntake::list},
                                              {"Photos", "org.example.Photos.desktop", FileIntake::dbus},
                                              {"Shotwell", "org.gnome.Shotwell.desktop", FileIntake::list}}));
        const std::vector<std::string> files{dir.write("b/x/1.jpg", "1"), dir.write("b/x/2.jpg", "2")};
        QCOMPARE(PhotoApps::open(apps[2], files, {dir / "b/x"}, dir / "b"), std::nullopt);
        QCOMPARE(argsOf(dir / "bin/many"),
                 (QStringList{QString::fromStdString(files[0]), QString::fromStdString(files[1])}));
        QCOMPARE(PhotoApps::open(apps[1], files, {dir / "b/x"}, dir / "b"), std::nullopt);
        QCOMPARE(argsOf(dir / "bin/one"), QStringList{QString::fromStdString(dir / "b/x")});
        QCOMPARE(PhotoApps::open({"Ghost", "ghost.desktop"}, files, {}, dir / "b"),
                 std::optional<std::string>("Ghost is no longer installed."));
    }
};

QTEST_GUILESS_MAIN(PhotoAppsTest)
#include "PhotoAppsTest.moc"

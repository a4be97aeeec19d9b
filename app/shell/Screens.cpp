// Renders the screens in fixed states to OUT_DIR/<state>.<appearance>.png, offscreen, 1240x800,
// with fixture saved checks and a scripted model, so a reviewer sees the application without
// running it.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QIcon>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSet>
#include <QStyleFactory>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "model/History.h"
#include "shell/Fixtures.h"
#include "shell/Shell.h"
#include "thumbnail/ThumbnailProvider.h"

using namespace halvetrop;

namespace {

void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

struct State {
    const char* name;
    // Sets the fake model's properties; empty for a state that is not the main window.
    std::function<void(QObject& model)> setUp;
};

const char* const settingsScene = R"(
import QtQuick
import Halvetrop
import Halvetrop.Native
ThemedWindow {
    id: scene
    required property var store
    width: 1240; height: 800
    color: Theme.dark ? "#141414" : "#d9d9dd"
    SettingsView { anchors.centerIn: parent; store: scene.store }
}
)";

// The file browser over the fixture card, in the table or the grid, a file selected or not.
void filesState(QObject& m, shell::Fixtures& fixtures, bool grid, bool selected) {
    m.setProperty("source", QStringLiteral("/media/ana/EOS_DIGITAL"));
    m.setProperty("sourceName", QStringLiteral("EOS_DIGITAL"));
    m.setProperty("hasReport", true);
    m.setProperty("phase", 2);
    m.setProperty("mode", 2);
    m.setProperty("files", QVariant::fromValue(fixtures.files(false)));
    m.setProperty("gridView", grid);
    m.setProperty("shootChipText", QStringLiteral("Mar 1, 2025 · 100MSDCF"));
    m.setProperty("groupFilter", QStringLiteral("DCIM/100MSDCF|2025-03-01|ILCE-7M4"));
    if (selected) {
        m.setProperty("selectedFileID", 3);
        m.setProperty("copyable", QVariantList{3});
    } else {
        m.setProperty("selectedFileID", 0);
    }
}

}  // namespace

// A picture that is missing, of the wrong size or of one colour only fails the check.
int verify(const QString& dir, const QStringList& names) {
    int bad = 0;
    for (const QString& name : names) {
        const QImage image(dir + QLatin1Char('/') + name);
        QString problem;
        if (image.isNull())
            problem = QStringLiteral("missing or unreadable");
        else if (image.size() != QSize(1240, 800))
            problem = QStringLiteral("%1x%2, not 1240x800").arg(image.width()).arg(image.height());
        else {
            QSet<QRgb> colours;
            for (int y = 0; y < image.height() && colours.size() < 16; y += 7)
                for (int x = 0; x < image.width() && colours.size() < 16; x += 7)
                    colours.insert(image.pixel(x, y));
            if (colours.size() < 16) problem = QStringLiteral("blank (%1 colours)").arg(colours.size());
        }
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(name), qPrintable(problem));
            ++bad;
        }
    }
    return bad == 0 ? 0 : 1;
}

// A history file of `count` saved checks of `files` files each, for the start benchmark.
int writeHistory(const QString& path, int count, int files) {
    std::vector<HistoryItem> items;
    for (int i = 0; i < count; ++i) {
        VerifyReport r = shell::fixtureReport("CARD " + std::to_string(i + 1), files, files - i, i % 5 == 4,
                                              false, shell::fixtureNow() - TimeNs(i) * 3'600'000'000'000);
        r.source.volumeID = "vol-" + std::to_string(i);
        for (int f = 0; f < files; ++f) {
            FileResult file;
            file.id = f;
            file.name = "DSC_" + std::to_string(10000 + f) + ".NEF";
            file.folder = "DCIM/100NIKON";
            file.relativePath = file.folder + "/" + file.name;
            file.size = 25'000'000 + f;
            file.inScope = true;
            file.day = "2025-03-01";
            file.camera = "Z9";
            file.status = f < files - i ? FileStatus::verified : FileStatus::missing;
            r.files.push_back(std::move(file));
        }
        r.groups.clear();
        items.push_back(makeHistoryItem(std::move(r), std::nullopt, {}));
    }
    QDir().mkpath(QFileInfo(path).path());
    if (const auto error = writeHistoryFile(path, items)) {
        std::fprintf(stderr, "%s\n", qPrintable(*error));
        return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 5 && qstrcmp(argv[1], "--history") == 0)
        return writeHistory(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    const bool verifying = argc == 3 && qstrcmp(argv[1], "--verify") == 0;
    if (argc != 2 && !verifying) {
        std::fprintf(stderr,
                     "usage: halvetrop-screens OUT_DIR | --verify OUT_DIR | --history FILE COUNT FILES\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[argc - 1]);
    QApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    shell::useDesktopIcons();
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));

    shell::Look look;
    shell::Present present;
    shell::Fixtures fixtures;
    thumbs::Thumbnailer thumbnailer(
        {QCoreApplication::applicationDirPath() + QStringLiteral("/halvetrop-thumbnailer"),
         {},
         5000,
         256,
         int64_t(64) << 20});
    shell::registerNative(look, present);

    const State states[] = {
        {"shell",
         [](QObject& m) {
             m.setProperty("source", QStringLiteral("/media/ana/NIKON Z9"));
             m.setProperty("destinations", QStringList{QStringLiteral("/media/ana/Archive 2025"),
                                                       QStringLiteral("/home/ana/Pictures/Cards")});
             m.setProperty("canCheck", true);
             m.setProperty("canScan", true);
             m.setProperty("hasNotice", true);
             m.setProperty("noticeOk", true);
             m.setProperty("noticeText",
                           QStringLiteral("“<b>EOS_DIGITAL</b>” was ejected. You can remove it now."));
             m.setProperty("suggestedCards",
                           QVariantList{QVariantMap{{"name", "EOS_DIGITAL"},
                                                    {"volumePath", "/media/ana/EOS_DIGITAL"},
                                                    {"totalBytes", 63'900'000'000.0},
                                                    {"isLikelyCameraCard", true}}});
         }},
        {"failed",
         [](QObject& m) {
             m.setProperty("source", QStringLiteral("/media/ana/NIKON Z9"));
             m.setProperty("destinations", QStringList{QStringLiteral("/media/ana/Archive 2025")});
             m.setProperty("canCheck", true);
             m.setProperty("phase", 3);
             m.setProperty(
                 "failureText",
                 QStringLiteral("Can't read /media/ana/NIKON Z9/DCIM/<b>100NCZ_9</b>: Input/output error"));
         }},
        {"settings", {}},
        {"files-table", [&fixtures](QObject& m) { filesState(m, fixtures, false, false); }},
        {"files-grid", [&fixtures](QObject& m) { filesState(m, fixtures, true, false); }},
        {"files-inspector", [&fixtures](QObject& m) { filesState(m, fixtures, false, true); }},
    };

    QStringList expected;
    for (const char* appearanceName : {"light", "dark"})
        for (const State& state : states)
            expected
                << QStringLiteral("%1.%2.png").arg(QLatin1String(state.name), QLatin1String(appearanceName));
    if (verifying) return verify(out, expected);
    QDir().mkpath(out);

    int written = 0;
    for (const char* appearanceName : {"light", "dark"}) {
        look.set(*present::appearanceFromName(appearanceName), true);
        for (const State& state : states) {
            QQmlEngine engine;
            shell::prepareEngine(engine);
            engine.addImageProvider(QStringLiteral("thumbnail"), new thumbs::ThumbnailProvider(thumbnailer));
            QObject* store =
                fixtures.settingsStore(QStringLiteral("[General]\nrequiredCopies=2\nincludeSidecars=true\n"));
            QObject* root = nullptr;
            if (state.setUp) {
                QQmlComponent fake(&engine, QUrl(QStringLiteral("qrc:/qt/qml/HalvetropFake/FakeModel.qml")));
                QObject* model = fake.create();
                if (fake.isError()) std::fprintf(stderr, "%s\n", qPrintable(fake.errorString()));
                if (!model) {
                    std::fprintf(stderr, "%s\n", qPrintable(fake.errorString()));
                    return 1;
                }
                state.setUp(*model);
                QObject* history = fixtures.history(9);
                QQmlComponent main(&engine,
                                   QUrl(QStringLiteral("qrc:/qt/qml/Halvetrop/shell/MainWindow.qml")));
                if (main.isError()) std::fprintf(stderr, "%s\n", qPrintable(main.errorString()));
                root = main.createWithInitialProperties({{"model", QVariant::fromValue(model)},
                                                         {"history", QVariant::fromValue(history)},
                                                         {"settingsStore", QVariant::fromValue(store)}});
                if (!root) std::fprintf(stderr, "%s\n", qPrintable(main.errorString()));
            } else {
                QQmlComponent scene(&engine);
                scene.setData(settingsScene, QUrl(QStringLiteral("qrc:/qt/qml/screens/settings.qml")));
                root = scene.createWithInitialProperties({{"store", QVariant::fromValue(store)}});
                if (!root) std::fprintf(stderr, "%s\n", qPrintable(scene.errorString()));
            }
            auto* window = qobject_cast<QQuickWindow*>(root);
            if (!window) return 1;
            window->resize(1240, 800);
            window->show();
            settle(400);
            const QImage image = window->grabWindow();
            const QString file =
                out +
                QStringLiteral("/%1.%2.png").arg(QLatin1String(state.name), QLatin1String(appearanceName));
            if (!image.save(file)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
                return 1;
            }
            ++written;
            delete root;
        }
    }
    std::printf("%d pictures in %s\n", written, qPrintable(out));
    return 0;
}

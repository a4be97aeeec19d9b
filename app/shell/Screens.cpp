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

// The fake model's copy sheet, opened over a result with two backups.
QObject& copySheetOf(QObject& m) {
    m.setProperty("hasReport", true);
    m.setProperty("phase", 2);
    m.setProperty("hasCopyRequest", true);
    QObject* sheet = m.property("copySheet").value<QObject*>();
    sheet->setProperty("title", QStringLiteral("Copy everything that's missing"));
    sheet->setProperty("backups", QStringList{QStringLiteral("Archive 2025 \u2014 /media/ana/Archive 2025"),
                                              QStringLiteral("Cards \u2014 /home/ana/Pictures/Cards")});
    sheet->setProperty(
        "details",
        QStringList{
            QStringLiteral("Into the folder where most of the shoot already is, e.g. \u2026/2026/2026-11-28. "
                           "Shoots not on the backup yet are sorted by date."),
            QStringLiteral("Shoots not on the backup yet go into the new dated folder."),
            QStringLiteral(
                "Archive 2025 / Photos / SD Halvetrop copies 2026-12-06 / YYYY / YYYY-MM-DD / file"),
            QStringLiteral("Archive 2025 / Photos / YYYY / YYYY-MM-DD / file"),
            QStringLiteral("An exact mirror of the card's folders, e.g. DCIM/100MSDCF"),
            QStringLiteral("Build a path from {YYYY} {MM} {DD} {date} {camera} {card} {folder}")});
    return *sheet;
}

QVariantMap copyReportFixture(const QString& outcome) {
    const bool problems = outcome == QLatin1String("problems");
    QVariantList folders{
        QVariantMap{{"title", QStringLiteral("Photos/2026/2026-12-01")},
                    {"subtitle", QStringLiteral("812 new files \u00b7 20.1 GB")},
                    {"path", QStringLiteral("/media/ana/Archive 2025/Photos/2026/2026-12-01")},
                    {"files", QStringList()}},
        QVariantMap{{"title", QStringLiteral("Photos/2026/2026-12-02")},
                    {"subtitle", QStringLiteral("400 new files \u00b7 10.9 GB")},
                    {"path", QStringLiteral("/media/ana/Archive 2025/Photos/2026/2026-12-02")},
                    {"files", QStringList()}}};
    return {{"outcome", outcome},
            {"headline",
             problems ? QStringLiteral("Finished with problems") : QStringLiteral("Copied and verified")},
            {"summary", problems ? QStringLiteral("1,212 copied (31 GB) \u00b7 2 failed \u00b7 20 not copied")
                                 : QStringLiteral("1,234 copied (31.4 GB) \u00b7 3 were already there")},
            {"failures", problems ? QStringList{QStringLiteral("DSC04413.ARW: No space left on device"),
                                                QStringLiteral("DSC04414.ARW: No space left on device")}
                                  : QStringList()},
            {"failedCount", problems ? 2 : 0},
            {"folders", folders},
            {"foldersHeadline", QStringLiteral("Copied into 2 folders on Archive 2025")},
            {"driveRoot", QStringLiteral("/media/ana/Archive 2025")},
            {"copiedCount", problems ? 1212 : 1234}};
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
        {"copy-planning",
         [](QObject& m) {
             QObject& sheet = copySheetOf(m);
             sheet.setProperty("layout", 2);
             sheet.setProperty("baseFolder", QStringLiteral("SD Halvetrop copies 2026-12-06"));
             sheet.setProperty("location", QStringLiteral("Photos"));
             sheet.setProperty("locationLabel", QStringLiteral("Archive 2025 \u203a Photos"));
             sheet.setProperty("planCount", 1234);
             sheet.setProperty("planBytes", 31'400'000'000.0);
             sheet.setProperty("freeBytes", 812'000'000'000.0);
             sheet.setProperty("renamedForCollision", 4);
             QVariantList rows;
             for (const char* day : {"2026-11-28", "2026-11-29", "2026-12-01", "2026-12-02"})
                 rows << QVariantMap{
                     {"text",
                      QStringLiteral("Archive 2025 / Photos / SD Halvetrop copies 2026-12-06 / 2026 / ") +
                          QLatin1String(day)},
                     {"count", 300},
                     {"exists", false}};
             sheet.setProperty("preview", rows);
         }},
        {"copy-running",
         [](QObject& m) {
             QObject& sheet = copySheetOf(m);
             m.setProperty("copying", true);
             sheet.setProperty("phase", 1);
             sheet.setProperty("progress", QVariantMap{{"filesDone", 412},
                                                       {"filesTotal", 1234},
                                                       {"bytesDone", 10'300'000'000.0},
                                                       {"bytesTotal", 31'400'000'000.0},
                                                       {"fraction", 0.33},
                                                       {"current", QStringLiteral("DSC04412.ARW")}});
         }},
        {"copy-done",
         [](QObject& m) {
             copySheetOf(m).setProperty("phase", 2);
             copySheetOf(m).setProperty("reportView", copyReportFixture("copied"));
         }},
        {"copy-stopped",
         [](QObject& m) {
             copySheetOf(m).setProperty("phase", 2);
             copySheetOf(m).setProperty("reportView", copyReportFixture("problems"));
         }},
        {"copy-report",
         [](QObject& m) {
             copySheetOf(m).setProperty("phase", 2);
             QVariantMap report = copyReportFixture("copied");
             QVariantList folders;
             for (int i = 1; i <= 6; ++i)
                 folders << QVariantMap{
                     {"title", QStringLiteral("Photos/2026/2026-12-0%1").arg(i)},
                     {"subtitle", QStringLiteral("%1 new files \u00b7 %2 GB").arg(40 * i).arg(i)},
                     {"path", QStringLiteral("/media/ana/Archive 2025/Photos/2026/2026-12-0%1").arg(i)},
                     {"files", QStringList()}};
             report["folders"] = folders;
             report["foldersHeadline"] = QStringLiteral("Copied into 6 folders on Archive 2025");
             m.setProperty("photoApps", QStringList{QStringLiteral("darktable"), QStringLiteral("digiKam")});
             copySheetOf(m).setProperty("reportView", report);
         }},
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

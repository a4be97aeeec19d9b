// Renders the screens in fixed states to OUT_DIR/<state>.<appearance>.png, offscreen, 1240x800,
// with fixture saved checks and a scripted model, so a reviewer sees the application without
// running it.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QIcon>
#include <QMimeData>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSet>
#include <QStyleFactory>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>

#include "model/History.h"
#include "results/ResultsData.h"
#include "results/ResultsFixtures.h"
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
    // Acts on the shown window before the picture is taken (a drag held over a target).
    std::function<void(QQuickWindow& window)> shown = {};
    QSize size{1240, 800};
    bool lightOnly = false;
    // The object name of another window to picture instead of the main one (the preview).
    const char* grab = nullptr;
};

QObject* findNamed(QObject* object, const QString& name) {
    if (!object) return nullptr;
    if (object->objectName() == name) return object;
    if (auto* item = qobject_cast<QQuickItem*>(object))
        for (QQuickItem* child : item->childItems())
            if (QObject* hit = findNamed(child, name)) return hit;
    return nullptr;
}

// Holds a drag of one folder over the named item, as a file manager would.
void dragOver(QQuickWindow& window, const QString& name) {
    auto* item = qobject_cast<QQuickItem*>(findNamed(window.contentItem(), name));
    if (!item) return;
    const QPointF at = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    auto* mime = new QMimeData;  // kept for the life of the held drag
    mime->setUrls({QUrl::fromLocalFile(QDir::tempPath())});
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    QDragMoveEvent move(at.toPoint(), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &move);
    QObject::connect(&window, &QObject::destroyed, [mime] { delete mime; });
}

QVariantMap volume(const char* path, const char* volumePath, const char* name, const char* fs, double total,
                   double free, bool card) {
    return {{"path", path},
            {"volumePath", volumePath},
            {"name", name},
            {"fileSystem", fs},
            {"totalBytes", total},
            {"freeBytes", free},
            {"isLikelyCameraCard", card}};
}

// A card and two backups chosen, with their volumes described.
void chooseAll(QObject& m) {
    m.setProperty("source", QStringLiteral("/media/ana/NIKON Z9"));
    m.setProperty("destinations", QStringList{QStringLiteral("/media/ana/Archive 2025"),
                                              QStringLiteral("/home/ana/Pictures/Cards")});
    m.setProperty(
        "volumes",
        QVariantMap{{"/media/ana/NIKON Z9", volume("/media/ana/NIKON Z9", "/media/ana/NIKON Z9", "NIKON Z9",
                                                   "fuseblk.exfat", 128.02e9, 40e9, true)},
                    {"/media/ana/Archive 2025", volume("/media/ana/Archive 2025", "/media/ana/Archive 2025",
                                                       "Archive 2025", "ext4", 4e12, 0.812e12, false)},
                    {"/home/ana/Pictures/Cards",
                     volume("/home/ana/Pictures/Cards", "/", "System", "ext4", 500e9, 31e9, false)}});
    m.setProperty("canCheck", true);
    m.setProperty("canScan", true);
}

void checking(QObject& m, const char* stage, const char* detail, double done, double total) {
    chooseAll(m);
    m.setProperty("canCheck", false);
    m.setProperty("canScan", false);
    m.setProperty("phase", 1);
    m.setProperty("progress",
                  QVariantMap{{"stage", stage}, {"detail", detail}, {"done", done}, {"total", total}});
}

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

// The results phase over a report fixture, with a card that can be ejected.
void showResults(QObject& m, const char* fixture, const QVariantMap& extra) {
    m.setProperty("source", QStringLiteral("/media/ana/SONY A7IV"));
    m.setProperty("destinations", QStringList{QStringLiteral("/media/ana/Archive 2025"),
                                              QStringLiteral("/media/ana/Travel SSD")});
    m.setProperty("canCheck", true);
    m.setProperty("canEjectSource", true);
    m.setProperty("phase", 2);
    m.setProperty("hasReport", true);
    m.setProperty("cardOnly", qstrcmp(fixture, "card-only") == 0);
    m.setProperty("report", QVariant::fromValue<QObject*>(
                                new FixtureReport(resultsFixture(QLatin1String(fixture)), &m)));
    for (auto it = extra.begin(); it != extra.end(); ++it)
        m.setProperty(it.key().toUtf8().constData(), it.value());
}

// The file browser over the fixture card, in the table or the grid, a file selected or not.
void filesState(QObject& m, shell::Fixtures& fixtures, bool grid, bool selected) {
    showResults(m, "missing", {});
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

// The file browser with the preview open on a card file and its backup copy.
void previewState(QObject& m, shell::Fixtures& fixtures, const QString& card, const QString& copy) {
    filesState(m, fixtures, false, true);
    m.setProperty("previewUrls", QVariantList{QUrl::fromLocalFile(card), QUrl::fromLocalFile(copy)});
    m.setProperty("previewOpen", true);
}

QQuickWindow* windowNamed(const char* name) {
    for (QWindow* w : QGuiApplication::topLevelWindows())
        if (w->isVisible() && w->objectName() == QLatin1String(name)) return qobject_cast<QQuickWindow*>(w);
    return nullptr;
}

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
int verify(const QString& dir, const QList<QPair<QString, QSize>>& pictures) {
    int bad = 0;
    for (const auto& [name, size] : pictures) {
        const QImage image(dir + QLatin1Char('/') + name);
        QString problem;
        if (image.isNull())
            problem = QStringLiteral("missing or unreadable");
        else if (image.size() != size)
            problem = QStringLiteral("%1x%2, not %3x%4")
                          .arg(image.width())
                          .arg(image.height())
                          .arg(size.width())
                          .arg(size.height());
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

// Shows the checking screen, moving, on the software renderer for `seconds`, with progress
// arriving as often as the model lets it (every 50 ms, one check of 5,000 files), and prints the
// GUI thread's CPU use and the longest gap between two frames.
int animate(double seconds) {
    shell::Look look;
    shell::Present present;
    shell::registerNative(look, present);
    look.set(present::Appearance::light, false);
    QQmlEngine engine;
    shell::prepareEngine(engine);
    shell::Fixtures fixtures;
    QQmlComponent fake(&engine, QUrl(QStringLiteral("qrc:/qt/qml/HalvetropFake/FakeModel.qml")));
    std::unique_ptr<QObject> model(fake.create());
    if (!model) return 1;
    checking(*model, "comparing", "", 0, 5000);
    QQmlComponent main(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Halvetrop/shell/MainWindow.qml")));
    std::unique_ptr<QObject> root(main.createWithInitialProperties(
        {{"model", QVariant::fromValue(model.get())},
         {"history", QVariant::fromValue(fixtures.history(9))},
         {"settingsStore", QVariant::fromValue(fixtures.settingsStore(QString()))}}));
    auto* window = qobject_cast<QQuickWindow*>(root.get());
    if (!window) return 1;
    window->resize(1240, 800);
    window->show();
    settle(500);

    QElapsedTimer wall, sinceFrame;
    int64_t frames = 0, longestGap = 0;
    QObject::connect(window, &QQuickWindow::frameSwapped, [&] {
        if (frames++ > 0) longestGap = std::max<int64_t>(longestGap, sinceFrame.elapsed());
        sinceFrame.restart();
    });
    int done = 0;
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, [&] {
        done = std::min(done + 5, 5000);
        model->setProperty("progress",
                           QVariantMap{{"stage", "comparing"},
                                       {"detail", QStringLiteral("DCIM/100NCZ_9/DSC_%1.NEF").arg(done)},
                                       {"done", done},
                                       {"total", 5000}});
    });
    progress.start(50);
    timespec cpu0{}, cpu1{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu0);
    wall.start();
    sinceFrame.start();
    QEventLoop loop;  // waits for events, unlike settle(), so the CPU time is the screen's own
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu1);
    const double cpu = double(cpu1.tv_sec - cpu0.tv_sec) + double(cpu1.tv_nsec - cpu0.tv_nsec) / 1e9;
    const double elapsed = double(wall.elapsed()) / 1000;
    std::printf(
        "GUI thread CPU %.1f%% of one core; %lld frames in %.1f s (%.0f per second); longest gap %lld ms\n",
        100 * cpu / elapsed, static_cast<long long>(frames), elapsed, double(frames) / elapsed,
        static_cast<long long>(longestGap));
    return 0;
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 5 && qstrcmp(argv[1], "--history") == 0)
        return writeHistory(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    if (argc == 3 && qstrcmp(argv[1], "--animate") == 0) return animate(std::atof(argv[2]));
    const bool verifying = argc == 3 && qstrcmp(argv[1], "--verify") == 0;
    if (argc != 2 && !verifying) {
        std::fprintf(stderr,
                     "usage: halvetrop-screens OUT_DIR | --verify OUT_DIR | --history FILE COUNT FILES | "
                     "--animate SECONDS\n");
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
    thumbs::Thumbnailer previews(
        {QCoreApplication::applicationDirPath() + QStringLiteral("/halvetrop-thumbnailer"),
         {},
         5000,
         1024,
         int64_t(64) << 20});
    shell::registerNative(look, present);
    registerResults();
    registerResultsFixtures();
    // The fixture card's pictures exist once its rows are made; the video is a name only, shown
    // before it plays.
    fixtures.files(false);
    const QString card = fixtures.makeFolder(QStringLiteral("EOS_DIGITAL/DCIM/100MSDCF"));
    const QString video = fixtures.makeFile(QStringLiteral("EOS_DIGITAL/DCIM/100MSDCF/DSC0102.MP4"));
    const QString notes = card + QStringLiteral("/NOTES.TXT");
    if (QFile file(notes); file.open(QIODevice::WriteOnly))
        file.write(
            "Shoot: harbour at dawn, 1 March 2025\nBody: ILCE-7M4, lens 24-70 mm\n\n"
            "Cards: A (this one), B (second slot)\n<b>Markup stays plain text</b>\n");

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
        {"setup-empty", [](QObject&) {}},
        {"setup-offered-card",
         [](QObject& m) {
             m.setProperty("suggestedCards",
                           QVariantList{volume("/media/ana/EOS_DIGITAL", "/media/ana/EOS_DIGITAL",
                                               "EOS_DIGITAL", "vfat", 63.9e9, 12e9, true)});
         }},
        {"setup-ready", chooseAll},
        {"setup-ready.small", chooseAll, {}, QSize(1040, 660), true},
        {"setup-drop-targeted", [](QObject&) {},
         [](QQuickWindow& w) { dragOver(w, QStringLiteral("backupDropZone")); }},
        {"checking", [](QObject& m) { checking(m, "comparing", "DCIM/100NCZ_9/DSC_1042.NEF", 1234, 5012); }},
        {"checking-card-only",
         [](QObject& m) {
             checking(m, "scanningSource", "NIKON Z9", 0, 0);
             m.setProperty("cardOnly", true);
         }},
        {"results-safe", [](QObject& m) { showResults(m, "safe", {}); }},
        {"results-missing", [](QObject& m) { showResults(m, "missing", {}); }},
        {"results-verifying",
         [](QObject& m) {
             showResults(m, "verifying", {});
             m.setProperty("deepVerifying", true);
             m.setProperty("deepProgress", QVariantMap{{"stage", "comparing"}});
         }},
        {"results-stopped-pass", [](QObject& m) { showResults(m, "stopped-pass", {}); }},
        {"results-card-only", [](QObject& m) { showResults(m, "card-only", {}); }},
        {"results-folder-map",
         [](QObject& m) {
             showResults(m, "missing", {});
             m.setProperty("mode", 1);
             m.setProperty("selectedFolder", QStringLiteral("PRIVATE/M4ROOT/CLIP"));
         }},
        {"results-fuse-card", [](QObject& m) { showResults(m, "fuse-card", {}); }},
        {"results-last-copy",
         [](QObject& m) {
             const QVariantMap folder{
                 {"title", QStringLiteral("Photos/2024/2024-04-16")},
                 {"subtitle", QStringLiteral("7 new files \u00b7 212.4 MB")},
                 {"path", QStringLiteral("/media/ana/Archive 2025/Photos/2024/2024-04-16")},
                 {"files", QStringList()}};
             showResults(m, "missing",
                         {{"lastCopy", QVariantMap{{"sourceName", QStringLiteral("SONY A7IV")},
                                                   {"folders", QVariantList{folder}},
                                                   {"copiedCount", 7},
                                                   {"time", QStringLiteral("09:00")}}}});
         },
         [](QQuickWindow& w) {
             if (auto* button = w.contentItem()->findChild<QQuickItem*>(QStringLiteral("lastCopyButton")))
                 QMetaObject::invokeMethod(button, "clicked");
         }},
        {"files-table", [&fixtures](QObject& m) { filesState(m, fixtures, false, false); }},
        {"files-grid", [&fixtures](QObject& m) { filesState(m, fixtures, true, false); }},
        {"files-inspector", [&fixtures](QObject& m) { filesState(m, fixtures, false, true); }},
        {"preview-image",
         [&](QObject& m) { previewState(m, fixtures, card + "/DSC0100.JPG", card + "/DSC0101.JPG"); },
         {},
         QSize(760, 560),
         false,
         "previewWindow"},
        {"preview-video",
         [&](QObject& m) { previewState(m, fixtures, video, card + "/DSC0100.JPG"); },
         {},
         QSize(760, 560),
         false,
         "previewWindow"},
        {"preview-text",
         [&](QObject& m) { previewState(m, fixtures, notes, card + "/DSC0100.JPG"); },
         {},
         QSize(760, 560),
         false,
         "previewWindow"},
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
    // States also pictured in the high-contrast appearances.
    const QSet<QString> highContrast{QStringLiteral("results-safe")};

    QList<QPair<QString, QSize>> expected;
    for (const char* appearanceName : {"light", "dark", "hc-light", "hc-dark"})
        for (const State& state : states) {
            if (state.lightOnly && qstrcmp(appearanceName, "light") != 0) continue;
            if (qstrncmp(appearanceName, "hc-", 3) == 0 && !highContrast.contains(QLatin1String(state.name)))
                continue;
            expected << qMakePair(
                QStringLiteral("%1.%2.png").arg(QLatin1String(state.name), QLatin1String(appearanceName)),
                state.size);
        }
    if (verifying) return verify(out, expected);
    QDir().mkpath(out);

    int written = 0;
    for (const char* appearanceName : {"light", "dark", "hc-light", "hc-dark"}) {
        look.set(*present::appearanceFromName(appearanceName), true);
        for (const State& state : states) {
            if (state.lightOnly && qstrcmp(appearanceName, "light") != 0) continue;
            if (qstrncmp(appearanceName, "hc-", 3) == 0 && !highContrast.contains(QLatin1String(state.name)))
                continue;
            QQmlEngine engine;
            shell::prepareEngine(engine);
            engine.addImageProvider(QStringLiteral("thumbnail"), new thumbs::ThumbnailProvider(thumbnailer));
            engine.addImageProvider(QStringLiteral("preview"), thumbs::ThumbnailProvider::previews(previews));
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
            if (!state.grab) window->resize(state.size);
            window->show();
            settle(400);
            if (state.shown) {
                state.shown(*window);
                settle(200);
            }
            QQuickWindow* pictured = state.grab ? windowNamed(state.grab) : window;
            if (!pictured) {
                std::fprintf(stderr, "%s: no window %s\n", state.name, state.grab);
                return 1;
            }
            const QImage image = pictured->grabWindow();
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

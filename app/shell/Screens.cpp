// Renders the screens in fixed states to OUT_DIR/<state>.<appearance>.png, offscreen, 1240x800, so
// a reviewer sees the application without running it. Every state is the real model on a stage,
// reached through its own seams: saved checks opened from the history, scripted checks and copies,
// the volumes it is shown, and a fixed clock.
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

#include "model/CopySheet.h"
#include "model/History.h"
#include "results/ResultsData.h"
#include "shell/Shell.h"
#include "stage/Fixtures.h"
#include "stage/Stage.h"
#include "thumbnail/ThumbnailProvider.h"

using namespace halvetrop;
using stage::Stage;

namespace {

void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

struct State {
    const char* name;
    // Readies the stage before its model starts (saved checks, mounted volumes); may be empty.
    std::function<void(Stage&)> prepare;
    // Brings the model into the state; false when it did not get there. Empty: the Settings
    // window alone.
    std::function<bool(Stage&)> setUp;
    // Acts on the shown window before the picture is taken (a drag held over a target).
    std::function<void(QQuickWindow& window)> shown = {};
    QSize size{1240, 800};
    bool lightOnly = false;
    // The object name of another window to picture instead of the main one (the preview).
    const char* grab = nullptr;
};

// The first item of that name below `object`; with `shownOnly`, the first shown one.
QObject* findNamed(QObject* object, const QString& name, bool shownOnly = false) {
    if (!object) return nullptr;
    auto* item = qobject_cast<QQuickItem*>(object);
    if (shownOnly && item && !item->isVisible()) return nullptr;
    if (object->objectName() == name) return object;
    if (item)
        for (QQuickItem* child : item->childItems())
            if (QObject* hit = findNamed(child, name, shownOnly)) return hit;
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

QVariantMap volume(const char* path, const char* name, const char* fs, double total, double free, bool card) {
    return {{"path", path},      {"name", name},      {"fileSystem", fs}, {"totalBytes", total},
            {"freeBytes", free}, {"removable", card}, {"card", card}};
}

// The card in the reader and the archive drive; the third place is a folder on the system disk.
void mountDrives(Stage& s) {
    s.setVolumes({volume("media/ana/NIKON Z9", "NIKON Z9", "fuseblk.exfat", 128.02e9, 40e9, true),
                  volume("media/ana/Archive 2025", "Archive 2025", "ext4", 4e12, 0.812e12, false)});
}

// A card and two backups chosen.
bool chooseAll(Stage& s) {
    AppModel& m = s.model();
    m.setSource(s.folder(QStringLiteral("media/ana/NIKON Z9")).toStdString());
    m.addBackups({s.folder(QStringLiteral("media/ana/Archive 2025")).toStdString(),
                  s.folder(QStringLiteral("home/ana/Pictures/Cards")).toStdString()});
    return s.settle();
}

// The card's files belong to another user, on a mount that records access times.
void mountOtherOwnersCard(Stage& s) {
    mountDrives(s);
    s.setOtherOwnersCards({QStringLiteral("media/ana/NIKON Z9")});
}

bool checking(Stage& s, bool cardOnly, const char* stage, const char* detail, double done, double total) {
    if (!chooseAll(s)) return false;
    s.model().setCardOnly(cardOnly);
    s.model().check(std::optional<CheckLevel>());
    return s.progress(QLatin1String(stage), QLatin1String(detail), done, total);
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

// A saved check of a fixture, stored in the history and opened from it.
std::function<void(Stage&)> saved(const char* fixture) {
    return [fixture](Stage& s) { s.setSaved({QLatin1String(fixture)}); };
}
bool openSaved(Stage& s) { return s.openSaved(0); }

// The file browser over the browser fixture, in the table or the grid, a file selected or not.
bool filesState(Stage& s, bool grid, int64_t selected, bool shootChip) {
    if (!s.openSaved(0)) return false;
    AppModel& m = s.model();
    m.setMode(AppModel::Mode::Files);
    m.setGridView(grid);
    if (shootChip) m.setGroupFilterID(QStringLiteral("DCIM/100MSDCF|2025-03-01|ILCE-7M4"));
    m.setSelectedFileID(selected);
    return s.settle();
}

// The browser fixture's files with two of them, the one chosen among them, gone from the card
// (the smallest window that holds the inspector beside the browser is 1132 wide).
bool leftCard(Stage& s) {
    s.removeFromSavedCards({3, 5});
    return filesState(s, false, 3, false);
}

// The preview of one file of the browser fixture.
bool previewState(Stage& s, int64_t id) {
    if (!filesState(s, false, id, false)) return false;
    s.model().quickLook(id);
    return s.model().previewOpen();
}

QQuickWindow* windowNamed(const char* name) {
    for (QWindow* w : QGuiApplication::topLevelWindows())
        if (w->isVisible() && w->objectName() == QLatin1String(name)) return qobject_cast<QQuickWindow*>(w);
    return nullptr;
}

CopySheet* sheetOf(Stage& s) { return qobject_cast<CopySheet*>(s.model().copySheet()); }

// The copy dialog over the result with missing files, planned "in a new folder, by date".
// The result opened in the smallest window, its inspector closed.
bool anotherCard(Stage& s) {
    s.addVolume(volume("media/ana/SONY A7IV", "Untitled", "exfat", 128e9, 90e9, true));
    return s.openSaved(0);
}

bool narrow(Stage& s) {
    s.model().setShowInspector(false);
    return s.openSaved(0);
}

bool copyPlanned(Stage& s) {
    if (!s.openSaved(0) || !s.requestCopy()) return false;
    sheetOf(s)->chooseLayout(CopySheet::Layout::newDated);
    return s.waitForPlan();
}

// The copy dialog's run, started from its plan.
bool copyStarted(Stage& s) {
    if (!copyPlanned(s)) return false;
    sheetOf(s)->copy();
    return s.copyProgress(0);
}

bool copyRunning(Stage& s) { return copyStarted(s) && s.copyProgress(0.43); }
bool copyDone(Stage& s) { return copyStarted(s) && s.finishCopy(QStringLiteral("copied")); }
bool copyWithProblems(Stage& s) { return copyStarted(s) && s.finishCopy(QStringLiteral("problems")); }

// The last copy made and its dialog closed; the check that follows finds every file backed up and
// its byte-by-byte pass is stopped.
bool lastCopied(Stage& s) {
    if (!copyStarted(s) || !s.finishCopy(QStringLiteral("copied"))) return false;
    sheetOf(s)->done();
    if (!s.finishCheck(QStringLiteral("stopped-pass"))) return false;
    s.model().stopDeepVerify();
    return s.settle();
}

// The last copy's popover opened.
void openLastCopy(QQuickWindow& w) {
    // The header lays out each form of its action row: the shown one is pressed.
    if (QObject* button = findNamed(w.contentItem(), QStringLiteral("lastCopyButton"), true))
        QMetaObject::invokeMethod(button, "clicked");
}

// The long names: a card, backup drives and an offered card named at length.
const char* const longCard = "media/ana/SONY A7IV of the Müller–Schmidt wedding, second card";
const char* const longArchive = "media/ana/Archive of the wedding season with a rather long drive name";
const char* const longTravel = "media/ana/Travel SSD for the spring weddings abroad";
const char* const longOffered = "media/ana/EOS_DIGITAL of the best man, borrowed for the evening";

QString nameOf(const char* path) { return QString::fromUtf8(path).section(u'/', -1); }

void mountLongDrives(Stage& s) {
    const QByteArray card = nameOf(longCard).toUtf8(), archive = nameOf(longArchive).toUtf8(),
                     offered = nameOf(longOffered).toUtf8();
    s.setVolumes({volume(longCard, card.constData(), "exfat", 128.02e9, 40e9, true),
                  volume(longArchive, archive.constData(), "ext4", 4e12, 0.812e12, false),
                  volume(longOffered, offered.constData(), "vfat", 63.9e9, 12e9, true)});
}

bool chooseLong(Stage& s) {
    AppModel& m = s.model();
    m.setSource(s.folder(QString::fromUtf8(longCard)).toStdString());
    m.addBackups({s.folder(QString::fromUtf8(longArchive)).toStdString(),
                  s.folder(QStringLiteral("home/ana/Pictures/Cards of the wedding season, sorted by day"))
                      .toStdString()});
    return s.settle();
}

// The missing files of one shoot copied and the dialog closed; the check after it still finds
// files to copy, and its byte-by-byte pass is stopped: copy, verify, last copy and eject all show.
bool partlyCopied(Stage& s, const QString& fixture) {
    if (!s.openSaved(0) || !s.requestCopy()) return false;
    sheetOf(s)->copy();
    if (!s.copyProgress(0) || !s.finishCopy(QStringLiteral("copied"))) return false;
    sheetOf(s)->done();
    if (!s.finishCheck(fixture)) return false;
    s.model().stopDeepVerify();
    return s.settle();
}

// The sizes the window's fit is pictured at beside the default one (1240x800, the inspector open):
// the smallest window, its inspector closed, and a wide screen.
const QSize smallest(1040, 660), wide(1920, 1080);

// A saved check opened, the inspector open or closed, then brought into a state.
std::function<bool(Stage&)> opened(bool inspector, std::function<bool(Stage&)> then = {}) {
    return [inspector, then](Stage& s) {
        s.model().setShowInspector(inspector);
        return s.openSaved(0) && (!then || then(s));
    };
}

// A state reached with the inspector closed, as the smallest window shows a result.
std::function<bool(Stage&)> withoutInspector(std::function<bool(Stage&)> reach) {
    return [reach](Stage& s) {
        s.model().setShowInspector(false);
        return reach(s);
    };
}

bool folderMap(Stage& s) {
    s.model().setMode(AppModel::Mode::Map);
    s.model().setSelectedFolder(QStringLiteral("PRIVATE/M4ROOT/CLIP"));
    return true;
}

bool verifyingPass(Stage& s) {
    s.model().check(QStringLiteral("verified"));
    return s.model().deepVerifying() && s.progress(QStringLiteral("comparing"), QString(), 30, 90);
}

// The browser opened from the first shoot of the browser fixture, as a click on its row opens it.
bool fromShoot(Stage& s) {
    s.model().showFiles(QStringLiteral("DCIM/100MSDCF|2025-03-01|ILCE-7M4"), false);
    return s.settle();
}

// A photo of the first shoot chosen in the browser, its copy that is not proven in the inspector.
bool unprovenCopyShown(Stage& s) {
    if (!s.openSaved(0)) return false;
    s.model().setMode(AppModel::Mode::Files);
    s.model().setSelectedFileID(0);
    return s.settle();
}

bool browsing(Stage& s) {
    s.model().setMode(AppModel::Mode::Files);
    return s.settle();
}

// The long-named card and backups chosen, and then another card with a long name inserted.
bool newLongCard(Stage& s) {
    if (!chooseLong(s)) return false;
    const QByteArray name = QByteArrayLiteral(
        "EOS_DIGITAL of the best man, borrowed for the evening reception at the "
        "old harbour hall");
    s.addVolume(volume("media/ana/EOS_DIGITAL of the best man, borrowed for the evening reception",
                       name.constData(), "vfat", 63.9e9, 12e9, true));
    return s.settle();
}

// The long-named card pulled out while it was being checked: the start screen and its notice.
bool removedWhileChecking(Stage& s) {
    if (!chooseLong(s)) return false;
    s.model().check(std::optional<CheckLevel>());
    const QByteArray archive = nameOf(longArchive).toUtf8();
    s.setVolumes({volume(longArchive, archive.constData(), "ext4", 4e12, 0.812e12, false)});
    return s.settle();
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
        VerifyReport r = stage::savedCheck("CARD " + std::to_string(i + 1), files, files - i, i % 5 == 4,
                                           false, stage::fixtureNow() - TimeNs(i) * 3'600'000'000'000);
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

// Shows the checking screen of the real model, moving, on the software renderer for `seconds`,
// with progress arriving as often as the model lets it (every 50 ms, one check of 5,000 files),
// and prints the GUI thread's CPU use and the longest gap between two frames.
int animate(double seconds) {
    shell::Look look;
    shell::Present present;
    shell::registerNative(look, present);
    registerResults();
    look.set(present::Appearance::light, false);
    Stage s;
    s.setSavedChecks(9);
    s.setPresent(&present);
    if (!s.start() || !checking(s, false, "comparing", "", 0, 5000)) return 1;
    QQmlEngine engine;
    shell::prepareEngine(engine);
    QQmlComponent main(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Halvetrop/shell/MainWindow.qml")));
    std::unique_ptr<QObject> root(
        main.createWithInitialProperties({{"model", QVariant::fromValue(&s.model())},
                                          {"history", QVariant::fromValue(&s.history())},
                                          {"settingsStore", QVariant::fromValue(&s.settingsStore())}}));
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
    const auto verifier = s.verifier(s.checkCount() - 1);
    int done = 0;
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, [&] {
        done = std::min(done + 5, 5000);
        verifier->onProgress(VerifyProgress{VerifyProgress::Stage::comparing,
                                            "DCIM/100NCZ_9/DSC_" + std::to_string(done) + ".NEF", done,
                                            5000});
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

    const State states[] = {
        {"shell", mountDrives,
         [&present](Stage& s) {
             s.addVolume(volume("media/ana/EOS_DIGITAL", "EOS_DIGITAL", "vfat", 63.9e9, 12e9, true));
             s.model().dismissNewCard();
             if (!chooseAll(s)) return false;
             present.notify(QStringLiteral("“<b>EOS_DIGITAL</b>” was ejected. You can remove it now."), true);
             return true;
         }},
        {"failed", mountDrives,
         [](Stage& s) {
             s.model().setSource(s.folder(QStringLiteral("media/ana/NIKON Z9")).toStdString());
             s.model().addBackups({s.folder(QStringLiteral("media/ana/Archive 2025")).toStdString()});
             s.model().check(std::optional<CheckLevel>());
             return s.failCheck(s.root() + QStringLiteral("/media/ana/NIKON Z9/DCIM/<b>100NCZ_9</b>"));
         }},
        {"failed.long-error", mountDrives,
         [](Stage& s) {
             s.model().setSource(s.folder(QStringLiteral("media/ana/NIKON Z9")).toStdString());
             s.model().addBackups({s.folder(QStringLiteral("media/ana/Archive 2025")).toStdString()});
             s.model().check(std::optional<CheckLevel>());
             QString deep = s.root() + QStringLiteral("/media/ana/NIKON Z9/DCIM");
             for (int i = 0; i < 12; ++i)
                 deep += QStringLiteral("/Ein sehr langer Ordnername der Hochzeit im Frühling %1").arg(i + 1);
             return s.failCheck(deep + QStringLiteral("/<b>DSC_0001</b>.NEF"));
         }},
        {"settings", {}, {}},
        {"setup-empty", {}, [](Stage&) { return true; }},
        {"setup-offered-card",
         [](Stage& s) {
             s.setVolumes({volume("media/ana/EOS_DIGITAL", "EOS_DIGITAL", "vfat", 63.9e9, 12e9, true)});
         },
         [](Stage&) { return true; }},
        {"setup-ready", mountDrives, chooseAll},
        {"setup-ready.small", mountDrives, chooseAll, {}, QSize(1040, 660), true},
        {"setup-drop-targeted",
         {},
         [](Stage&) { return true; },
         [](QQuickWindow& w) { dragOver(w, QStringLiteral("backupDropZone")); }},
        {"checking", mountDrives,
         [](Stage& s) { return checking(s, false, "comparing", "DCIM/100NCZ_9/DSC_1042.NEF", 1234, 5012); }},
        // A card of another owner: said before the check, and from the check's first such read on.
        {"setup-ready.other-owner", mountOtherOwnersCard, chooseAll},
        {"checking.other-owner", mountOtherOwnersCard,
         [](Stage& s) {
             return checking(s, false, "comparing", "DCIM/100NCZ_9/DSC_1042.NEF", 1234, 5012) &&
                    s.touchAccessTimes();
         }},
        {"checking-card-only", mountDrives,
         [](Stage& s) { return checking(s, true, "scanningSource", "NIKON Z9", 0, 0); }},
        {"checking.narrow",
         mountLongDrives,
         [](Stage& s) {
             if (!chooseLong(s)) return false;
             s.model().check(std::optional<CheckLevel>());
             return s.progress(QStringLiteral("comparing"), QStringLiteral("DCIM/100NCZ_9/DSC_1042.NEF"),
                               1234, 5012);
         },
         {},
         QSize(1040, 660)},
        {"results-safe", saved("safe"), openSaved},
        // A card of eight cameras in the smallest window: the page scrolls, its header going up.
        {"results-safe.cameras.small", saved("safe-cameras"), narrow, {}, smallest},
        {"results-missing", saved("missing"), openSaved},
        // A photo taken with the card since it was checked safe.
        {"results-changed-since", saved("safe"),
         [](Stage& s) {
             s.addToSavedCards(1);
             return s.openSaved(0);
         }},
        {"results-changed-since.small",
         saved("safe"),
         [](Stage& s) {
             s.addToSavedCards(1);
             return s.openSaved(0);
         },
         {},
         QSize(1040, 660)},
        // The saved "Safe to format" of a card, another card at its place; then no card there.
        {"results-another-card", saved("safe"), anotherCard},
        {"results-another-card.small", saved("safe"), anotherCard, {}, QSize(1040, 660)},
        {"results-not-inserted", saved("safe"),
         [](Stage& s) {
             s.removeVolume(QStringLiteral("media/ana/SONY A7IV"));
             return s.openSaved(0);
         }},
        // The smallest window: the inspector closed, as it is the detail's room that is tight.
        {"results-missing.narrow", saved("missing"), narrow, {}, QSize(1040, 800)},
        {"results-verifying", saved("verifying"),
         [](Stage& s) {
             if (!s.openSaved(0)) return false;
             s.model().check(QStringLiteral("verified"));
             return s.model().deepVerifying() && s.progress(QStringLiteral("comparing"), QString(), 30, 90);
         }},
        {"results-stopped-pass", saved("stopped-pass"), openSaved},
        // The backups stay chosen from before: the header offers to check against them.
        {"results-card-only",
         [](Stage& s) {
             s.setSaved({QStringLiteral("card-only")});
             s.setVolumes({volume("media/ana/Archive 2025", "Archive 2025", "ext4", 4e12, 0.812e12, false),
                           volume("media/ana/Travel SSD", "Travel SSD", "exfat", 2e12, 1.1e12, false)});
         },
         [](Stage& s) {
             s.model().addBackups({s.folder(QStringLiteral("media/ana/Archive 2025")).toStdString(),
                                   s.folder(QStringLiteral("media/ana/Travel SSD")).toStdString()});
             return s.openSaved(0);
         }},
        {"results-folder-map", saved("missing"),
         [](Stage& s) {
             if (!s.openSaved(0)) return false;
             s.model().setMode(AppModel::Mode::Map);
             s.model().setSelectedFolder(QStringLiteral("PRIVATE/M4ROOT/CLIP"));
             return true;
         }},
        {"results-fuse-card", saved("fuse-card"), openSaved},
        // Copies on one backup read whole but not from the drive: the header names it and why, and
        // the inspector says it under that copy.
        {"results-unproven-copies", saved("unproven-copies"), openSaved},
        {"results-unproven-copies.inspector", saved("unproven-copies"), unprovenCopyShown},
        {"results-unproven-copies.inspector.long", saved("unproven-copies-long"), unprovenCopyShown},
        {"results-unproven-copies.long.narrow", saved("unproven-copies-long"), narrow, {}, QSize(1040, 660)},
        // Its access-time note with a long card name, in the smallest window.
        {"results-fuse-card.long.narrow", saved("fuse-card-long"), narrow, {}, QSize(1040, 660)},
        // The missing files copied, the dialog closed with Done, and the check it starts finished
        // with every file backed up; the byte-by-byte pass that follows is stopped.
        {"results-last-copy", saved("missing"), lastCopied, openLastCopy},
        {"results-last-copy.narrow", saved("missing"),
         [](Stage& s) {
             s.model().setShowInspector(false);
             return lastCopied(s);
         },
         openLastCopy, QSize(1040, 800)},
        // Long names at the default window and at the smallest one.
        {"setup-offered-card.long", mountLongDrives, [](Stage&) { return true; }},
        {"setup-offered-card.long.narrow",
         mountLongDrives,
         [](Stage&) { return true; },
         {},
         QSize(1040, 660)},
        {"setup-ready.long", mountLongDrives, chooseLong},
        {"setup-ready.long.narrow", mountLongDrives, chooseLong, {}, QSize(1040, 660)},
        {"setup-ready.long.1132", mountLongDrives, chooseLong, {}, QSize(1132, 660)},
        {"results-missing.long", saved("missing-long"), openSaved},
        {"results-missing.long.narrow", saved("missing-long"), narrow, {}, QSize(1040, 660)},
        {"results-last-copy.long", saved("missing-long"),
         [](Stage& s) { return partlyCopied(s, QStringLiteral("missing-long")); }},
        {"results-last-copy.long.narrow",
         saved("missing-long"),
         [](Stage& s) {
             s.model().setShowInspector(false);
             return partlyCopied(s, QStringLiteral("missing-long"));
         },
         {},
         QSize(1040, 660)},
        {"results-card-only.long",
         [](Stage& s) {
             s.setSaved({QStringLiteral("card-only-long")});
             mountLongDrives(s);
         },
         [](Stage& s) {
             s.model().addBackups({s.folder(QString::fromUtf8(longArchive)).toStdString(),
                                   s.folder(QString::fromUtf8(longTravel)).toStdString()});
             return s.openSaved(0);
         }},
        {"results-card-only.long.narrow",
         [](Stage& s) {
             s.setSaved({QStringLiteral("card-only-long")});
             mountLongDrives(s);
         },
         [](Stage& s) {
             s.model().setShowInspector(false);
             s.model().addBackups({s.folder(QString::fromUtf8(longArchive)).toStdString(),
                                   s.folder(QString::fromUtf8(longTravel)).toStdString()});
             return s.openSaved(0);
         },
         {},
         QSize(1040, 660)},
        {"results-folder-map.long", saved("missing-long"),
         [](Stage& s) {
             if (!s.openSaved(0)) return false;
             s.model().setMode(AppModel::Mode::Map);
             s.model().setSelectedFolder(QStringLiteral("PRIVATE/M4ROOT/CLIP"));
             return true;
         }},
        {"results-folder-map.long.narrow",
         saved("missing-long"),
         [](Stage& s) {
             s.model().setShowInspector(false);
             if (!s.openSaved(0)) return false;
             s.model().setMode(AppModel::Mode::Map);
             s.model().setSelectedFolder(QStringLiteral("PRIVATE/M4ROOT/CLIP"));
             return true;
         },
         {},
         QSize(1040, 660)},
        {"files-table", saved("browser"), [](Stage& s) { return filesState(s, false, 0, false); }},
        {"files-table.long-names", saved("browser-long-names"),
         [](Stage& s) {
             if (!filesState(s, false, 3, false)) return false;
             s.model().setGroupFilterID(
                 QStringLiteral("DCIM/100MSDCF/Ein sehr langer Ordnername für die Hochzeit im "
                                "Frühling|2025-03-01|ILCE-7M4"));
             return s.settle();
         }},
        // The smallest window with the inspector beside the browser, a long name chosen.
        {"files-inspector.long-names",
         saved("browser-long-names"),
         [](Stage& s) { return filesState(s, false, 2, false); },
         {},
         QSize(1132, 660)},
        // Sidecars that differ only in their clip's number, at the smallest window beside the inspector.
        {"files-table.sidecars.narrow",
         saved("camera-sidecars"),
         [](Stage& s) { return filesState(s, false, 0, false); },
         {},
         QSize(1132, 660)},
        {"files-grid", saved("browser"), [](Stage& s) { return filesState(s, true, 0, false); }},
        {"files-inspector", saved("browser"), [](Stage& s) { return filesState(s, false, 3, true); }},
        // Two files, the one chosen among them, gone from the card since its check.
        {"files-left-card", saved("browser"), leftCard},
        {"files-left-card.narrow", saved("browser"), leftCard, {}, QSize(1132, 660)},
        {"preview-image",
         saved("browser"),
         [](Stage& s) { return previewState(s, 0); },
         {},
         QSize(760, 560),
         false,
         "previewWindow"},
        {"preview-video",
         saved("browser"),
         [](Stage& s) { return previewState(s, 8); },
         {},
         QSize(760, 560),
         false,
         "previewWindow"},
        {"preview-text",
         saved("browser"),
         [](Stage& s) {
             s.file(QStringLiteral("media/ana/EOS_DIGITAL/DCIM/100MSDCF/DSC0105.TXT"),
                    QStringLiteral("Shoot: harbour at dawn, 1 March 2025\nBody: ILCE-7M4, lens 24-70 mm\n\n"
                                   "Cards: A (this one), B (second slot)\n<b>Markup stays plain text</b>\n"));
             return previewState(s, 5);
         },
         {},
         QSize(760, 560),
         false,
         "previewWindow"},
        {"copy-planning", saved("missing"), copyPlanned},
        {"copy-running", saved("missing"), copyRunning},
        {"copy-done", saved("missing"), copyDone},
        {"copy-stopped", saved("missing"),
         [](Stage& s) { return copyRunning(s) && s.finishCopy(QStringLiteral("stopped")); }},
        {"copy-report", saved("missing"), copyWithProblems},
        // Failures of files with long names, in the smallest window.
        {"copy-report.long-names",
         saved("browser-long-names"),
         [](Stage& s) {
             if (!s.openSaved(0) || !s.requestCopy() || !s.waitForPlan()) return false;
             sheetOf(s)->copy();
             return s.copyProgress(0) && s.finishCopy(QStringLiteral("problems"));
         },
         {},
         QSize(1040, 660)},
        // What a tight window cut or covered, at the smallest window, the default one with the
        // inspector and a wide screen: shoot rows (the status sentence, short titles beside few
        // pictures, the folder panel's count, "Card contents", the strip's bar, the inspector's
        // empty text), the browser opened from a shoot and its status cells, the sidebar under
        // long names, and banners over the start screen.
        {"results-missing.wide", saved("missing"), openSaved, {}, wide},
        {"results-missing.1132", saved("missing"), openSaved, {}, QSize(1132, 660)},
        {"results-missing.long.wide", saved("missing-long"), openSaved, {}, wide},
        {"results-browser", saved("browser"), opened(true)},
        {"results-browser.narrow", saved("browser"), opened(false), {}, smallest},
        {"results-browser.wide", saved("browser"), opened(true), {}, wide},
        {"results-folder-map.narrow", saved("missing"), opened(false, folderMap), {}, smallest},
        {"results-folder-map.wide", saved("missing"), opened(true, folderMap), {}, wide},
        {"results-verifying.narrow", saved("verifying"), opened(false, verifyingPass), {}, smallest},
        {"results-verifying.wide", saved("verifying"), opened(true, verifyingPass), {}, wide},
        {"results-stopped-pass.narrow", saved("stopped-pass"), opened(false), {}, smallest},
        {"results-stopped-pass.wide", saved("stopped-pass"), opened(true), {}, wide},
        // The copy dialog as tall as what it shows, in the smallest window and a wide one.
        {"copy-planning.narrow", saved("missing"), withoutInspector(copyPlanned), {}, smallest},
        {"copy-running.narrow", saved("missing"), withoutInspector(copyRunning), {}, smallest},
        {"copy-done.narrow", saved("missing"), withoutInspector(copyDone), {}, smallest},
        {"copy-report.narrow", saved("missing"), withoutInspector(copyWithProblems), {}, smallest},
        {"copy-report.wide", saved("missing"), copyWithProblems, {}, wide},
        // Names of 70 characters and more without a space, and a name too long for the backup.
        {"copy-planning.unbroken.narrow",
         saved("missing-unbroken"),
         withoutInspector(copyPlanned),
         {},
         smallest},
        {"copy-planning.unbroken.wide", saved("missing-unbroken"), copyPlanned, {}, wide},
        {"copy-report.unbroken.narrow",
         saved("missing-unbroken"),
         withoutInspector(copyWithProblems),
         {},
         smallest},
        {"copy-report.unbroken.wide", saved("missing-unbroken"), copyWithProblems, {}, wide},
        {"files-shoot", saved("browser"), opened(true, fromShoot)},
        {"files-shoot.narrow", saved("browser"), opened(false, fromShoot), {}, smallest},
        {"files-shoot.wide", saved("browser"), opened(true, fromShoot), {}, wide},
        {"files-table.long-names.narrow", saved("browser-long-names"), opened(false, browsing), {}, smallest},
        // Names in Arabic and Hebrew: a card folder, a backup and its folders, files; each path in
        // its order, each name's extension at its end.
        {"files-inspector.rtl", saved("browser-long-names"),
         [](Stage& s) { return filesState(s, false, 8, false); }},
        {"results-folder-map.rtl", saved("browser-long-names"),
         [](Stage& s) {
             if (!s.openSaved(0)) return false;
             s.model().setMode(AppModel::Mode::Map);
             s.model().setSelectedFolder(QStringLiteral("صور الزفاف"));
             return true;
         }},
        {"copy-planning.rtl", saved("browser-long-names"),
         [](Stage& s) {
             if (!s.openSaved(0) || !s.requestCopy()) return false;
             sheetOf(s)->chooseDestinationRow(1);
             sheetOf(s)->chooseLayout(CopySheet::Layout::card);
             return s.waitForPlan();
         }},
        {"files-table.long-names.wide", saved("browser-long-names"), opened(true, browsing), {}, wide},
        {"setup-new-card.long", mountLongDrives, newLongCard},
        {"setup-new-card.long.narrow", mountLongDrives, newLongCard, {}, smallest},
        {"setup-new-card.long.wide", mountLongDrives, newLongCard, {}, wide},
        {"setup-card-removed.long", mountLongDrives, removedWhileChecking},
        {"setup-card-removed.long.narrow", mountLongDrives, removedWhileChecking, {}, smallest},
        {"setup-card-removed.long.wide", mountLongDrives, removedWhileChecking, {}, wide},
    };
    // States also pictured in the high-contrast appearances.
    const QSet<QString> highContrast{QStringLiteral("results-safe"), QStringLiteral("setup-ready"),
                                     QStringLiteral("copy-planning")};

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

    // HALVETROP_SCREENS="state,state" renders only those (while working on a screen).
    const QStringList only =
        qEnvironmentVariable("HALVETROP_SCREENS").split(QLatin1Char(','), Qt::SkipEmptyParts);
    int written = 0;
    for (const char* appearanceName : {"light", "dark", "hc-light", "hc-dark"}) {
        look.set(*present::appearanceFromName(appearanceName), true);
        for (const State& state : states) {
            if (!only.isEmpty() && !only.contains(QLatin1String(state.name))) continue;
            if (state.lightOnly && qstrcmp(appearanceName, "light") != 0) continue;
            if (qstrncmp(appearanceName, "hc-", 3) == 0 && !highContrast.contains(QLatin1String(state.name)))
                continue;
            Stage s;
            s.setPresent(&present);
            s.setSavedChecks(9);
            s.setSettingsText(QStringLiteral("[General]\nrequiredCopies=2\nincludeSidecars=true\n"));
            if (state.prepare) state.prepare(s);
            if (!s.start()) {
                std::fprintf(stderr, "%s: the stage did not start\n", state.name);
                return 1;
            }
            QQmlEngine engine;
            shell::prepareEngine(engine);
            engine.addImageProvider(QStringLiteral("thumbnail"), new thumbs::ThumbnailProvider(thumbnailer));
            engine.addImageProvider(QStringLiteral("preview"), thumbs::ThumbnailProvider::previews(previews));
            std::unique_ptr<QObject> root;
            if (state.setUp) {
                if (!state.setUp(s)) {
                    std::fprintf(stderr, "%s: the model did not reach the state\n", state.name);
                    return 1;
                }
                QQmlComponent main(&engine,
                                   QUrl(QStringLiteral("qrc:/qt/qml/Halvetrop/shell/MainWindow.qml")));
                root.reset(main.createWithInitialProperties(
                    {{"model", QVariant::fromValue(&s.model())},
                     {"history", QVariant::fromValue(&s.history())},
                     {"settingsStore", QVariant::fromValue(&s.settingsStore())}}));
                if (!root) std::fprintf(stderr, "%s\n", qPrintable(main.errorString()));
            } else {
                QQmlComponent scene(&engine);
                scene.setData(settingsScene, QUrl(QStringLiteral("qrc:/qt/qml/screens/settings.qml")));
                root.reset(
                    scene.createWithInitialProperties({{"store", QVariant::fromValue(&s.settingsStore())}}));
                if (!root) std::fprintf(stderr, "%s\n", qPrintable(scene.errorString()));
            }
            auto* window = qobject_cast<QQuickWindow*>(root.get());
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
            // The window goes before the model it binds to, and with it every item it let go of,
            // before the engine.
            root.reset();
            thumbs::deleteReleasedItems();
        }
    }
    std::printf("%d pictures in %s\n", written, qPrintable(out));
    return 0;
}

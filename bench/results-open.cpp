// Opens the results screen of the real model on a report of 100,000 files in 2,000 shoots
// (offscreen, 1240x800): the window shows a scripted check, which then ends with the report. Prints
// the time from the check's end to the first frame of the results, then scrolls the shoots list and
// prints the longest frame.
// Usage: halvetrop-results-bench [FILES]
#include <QApplication>
#include <QElapsedTimer>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "SyntheticReport.h"
#include "results/ResultsData.h"
#include "shell/Shell.h"
#include "stage/Stage.h"

using namespace halvetrop;

namespace {

QQuickItem* findItem(QQuickItem* item, const QString& name) {
    if (!item) return nullptr;
    if (item->objectName() == name) return item;
    for (QQuickItem* child : item->childItems())
        if (QQuickItem* hit = findItem(child, name)) return hit;
    return nullptr;
}

// Shoots of 50 files over 200 days, as a card of many short bursts.
VerifyReport manyShoots(int64_t files) {
    VerifyReport r = bench::syntheticReport(files);
    r.groups.clear();
    for (size_t i = 0; i < r.files.size(); i += 50) {
        ShootGroup g;
        g.folder = r.files[i].folder;
        const int day = int(i / 50) % 200;
        g.day = "2024-" + std::string(day / 28 + 1 < 10 ? "0" : "") + std::to_string(day / 28 + 1) + "-" +
                (day % 28 + 1 < 10 ? "0" : "") + std::to_string(day % 28 + 1);
        g.camera = "ILCE-7M4";
        for (size_t j = i; j < r.files.size() && j < i + 50; ++j) g.fileIDs.push_back(r.files[j].id);
        g.formats["ARW"] = int64_t(g.fileIDs.size());
        r.groups.push_back(std::move(g));
    }
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    const int64_t files = argc > 1 ? std::atoll(argv[1]) : 100'000;
    shell::Look look;
    shell::Present present;
    shell::registerNative(look, present);
    registerResults();
    stage::Stage s;
    s.setPresent(&present);
    if (!s.start()) return 1;
    AppModel& model = s.model();
    model.setShowInspector(false);
    model.setSource(s.folder(QStringLiteral("media/ana/CARD")).toStdString());
    model.addBackups({s.folder(QStringLiteral("b/A")).toStdString(), s.folder(QStringLiteral("b/B")).toStdString()});
    model.check(std::optional<CheckLevel>());
    const auto verifier = s.verifier(0);
    if (!verifier || !verifier->waitRunning(5000)) return 1;
    VerifyReport report = manyShoots(files);
    report.source.path = model.source().value_or(std::string());
    report.destinations.resize(2);
    for (size_t i = 0; i < 2; ++i) report.destinations[i].path = model.destinations()[i];
    const size_t shoots = report.groups.size();

    QQmlEngine engine;
    shell::prepareEngine(engine);
    QQmlComponent main(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Halvetrop/shell/MainWindow.qml")));
    std::unique_ptr<QObject> root(main.createWithInitialProperties(
        {{"model", QVariant::fromValue(&model)},
         {"history", QVariant::fromValue(&s.history())},
         {"settingsStore", QVariant::fromValue(&s.settingsStore())}}));
    auto* window = qobject_cast<QQuickWindow*>(root.get());
    if (!window) {
        std::fprintf(stderr, "%s\n", qPrintable(main.errorString()));
        return 1;
    }
    window->resize(1240, 800);
    window->show();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);

    qint64 first = -1;
    QElapsedTimer clock;
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [&] {
        if (first < 0 && model.phase() == AppModel::Phase::Results) first = clock.elapsed();
    });
    clock.start();
    verifier->complete(std::move(report));
    while (first < 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    model.stopDeepVerify();
    std::printf("results of %lld files in %d shoots: first frame %lld ms\n", static_cast<long long>(files),
                int(shoots), first);

    auto* list = findItem(window->contentItem(), QStringLiteral("shootList"));
    if (!list) return 1;
    qint64 worst = 0;
    QElapsedTimer frame;
    for (int step = 0; step < 300; ++step) {
        frame.start();
        list->setProperty("contentY", list->property("contentY").toReal() + 120);
        const QImage image = window->grabWindow();  // one rendered frame
        worst = std::max(worst, frame.elapsed());
    }
    std::printf("scrolling 300 steps of 120 px: longest frame %lld ms\n", worst);
    root.reset();
    return 0;
}

// Opens the results screen on a report of 100,000 files in 2,000 shoots (offscreen, 1240x800) and
// prints the time to the first frame, then scrolls the shoots list and prints the longest frame.
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

#include "SyntheticReport.h"
#include "results/ResultsData.h"
#include "shell/Fixtures.h"
#include "shell/Shell.h"

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
    shell::Fixtures fixtures;
    shell::registerNative(look, present);
    registerResults();
    QQmlEngine engine;
    shell::prepareEngine(engine);
    QQmlComponent fake(&engine, QUrl(QStringLiteral("qrc:/qt/qml/HalvetropFake/FakeModel.qml")));
    QObject* model = fake.create();
    if (!model) return 1;
    model->setProperty("source", QStringLiteral("/media/ana/CARD"));
    model->setProperty("destinations", QStringList{QStringLiteral("/b/A"), QStringLiteral("/b/B")});
    model->setProperty("phase", 2);
    model->setProperty("hasReport", true);
    model->setProperty("showInspector", false);
    auto* report = new FixtureReport(manyShoots(files), model);

    QElapsedTimer clock;
    clock.start();
    model->setProperty("report", QVariant::fromValue<QObject*>(report));
    QQmlComponent main(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Halvetrop/shell/MainWindow.qml")));
    QObject* root = main.createWithInitialProperties(
        {{"model", QVariant::fromValue(model)},
         {"history", QVariant::fromValue(fixtures.history(0))},
         {"settingsStore", QVariant::fromValue(fixtures.settingsStore(""))}});
    auto* window = qobject_cast<QQuickWindow*>(root);
    if (!window) {
        std::fprintf(stderr, "%s\n", qPrintable(main.errorString()));
        return 1;
    }
    qint64 first = -1;
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [&] {
        if (first < 0) first = clock.elapsed();
    });
    window->resize(1240, 800);
    window->show();
    while (first < 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::printf("results of %lld files in %d shoots: first frame %lld ms\n", static_cast<long long>(files),
                int(report->report.groups.size()), first);

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
    delete root;
    return 0;
}

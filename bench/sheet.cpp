// halvetrop-bench sheet CARD BACKUP
// Checks CARD against BACKUP, then copies what is missing through the copy dialog's model, as the
// application does: the plan worked out off the GUI thread, the run on its own thread, progress
// delivered to the GUI thread. A 1-ms timer on the GUI thread measures its longest stall. Prints
// {"files","copied","failed","bytes","seconds","copy_seconds","gui_max_stall_ms","peak_rss_mib"}.
#include "BenchUtil.h"

#include "model/AppModel.h"
#include "model/CopySheet.h"
#include "verify/Verifier.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace halvetrop;

int bench_sheet(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: halvetrop-bench sheet CARD BACKUP\n");
        return 2;
    }
    int qargc = 1;
    QCoreApplication app(qargc, argv);
    QTemporaryDir dir;
    AppModelDeps deps;
    deps.settingsPath = dir.filePath(QStringLiteral("settings.ini"));
    deps.historyPath = dir.filePath(QStringLiteral("history.json"));
    AppModel model(std::move(deps));

    const bench::Stopwatch clock;
    VerifyReport report;
    try {
        report = Verifier(VerifyRequest(argv[1], {argv[2]})).run();
    } catch (const VerifyError& e) {
        std::fprintf(stderr, "%s\n", e.description().c_str());
        return 1;
    }
    AppModel::CopyRequest request{QUuid::createUuid(), {}, QStringLiteral("Copy")};
    for (const auto& f : report.files)
        if (f.inScope && (f.status == FileStatus::missing || f.status == FileStatus::conflict))
            request.fileIDs.push_back(f.id);
    const size_t files = report.files.size();
    CopySheet sheet(model, std::move(report), request, model.settings());
    sheet.chooseLayout(CopySheet::Layout::card);
    sheet.setBaseFolder(QString());
    if (!sheet.waitForPlan(600000) || !sheet.canCopy()) {
        std::fprintf(stderr, "no plan: %s\n", qPrintable(sheet.planError()));
        return 1;
    }

    QElapsedTimer tick;
    qint64 maxStall = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&] { maxStall = std::max(maxStall, tick.restart()); });
    const bench::Stopwatch copyClock;
    tick.start();
    timer.start();
    sheet.copy();
    while (sheet.phase() == CopySheet::Phase::copying)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    timer.stop();
    const double copySeconds = copyClock.seconds();
    const auto r = sheet.copyReport();
    std::printf(
        "{\"files\":%zu,\"copied\":%d,\"failed\":%zu,\"bytes\":%lld,\"seconds\":%.6f,\"copy_seconds\":%.6f,"
        "\"gui_max_stall_ms\":%lld,\"peak_rss_mib\":%.1f}\n",
        files, r->copiedCount(), r->failed.size(), static_cast<long long>(r->bytesCopied), clock.seconds(),
        copySeconds, static_cast<long long>(maxStall), bench::peakRssMiB());
    return r->failed.empty() ? 0 : 1;
}

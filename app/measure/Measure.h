#pragma once
// The application's own window measured for the benchmarks, when one of them sets its variable:
//   HALVETROP_MEASURE_START (bench/app-start): the time from entry to the first frame and to the
//     loaded history, and the memory then held;
//   HALVETROP_MEASURE_CHECK="CARD:BACKUP" (bench/checking-animation): the GUI thread's processor
//     use and the longest gap between frames while the checking screen is up;
//   HALVETROP_MEASURE_RECHECKS="CARD:BACKUP:..." with HALVETROP_MEASURE_COUNT (bench/window-recheck):
//     the memory of checking the card that many times, each with the byte-by-byte pass it starts;
//   HALVETROP_MEASURE_WAITS (bench/window-waits): how long the GUI thread keeps the user waiting at
//     each moment of a large card's checks (see MeasureWaits.h).
// Each prints its figures on standard output and quits.
class QElapsedTimer;
class QQmlApplicationEngine;

namespace halvetrop {

struct AppModelDeps;

namespace measure {

// Where one of those variables is set: readies the model's dependencies for its measuring (before
// the model is made from them), and measures the main window `engine` loads with the model given to
// it, from `sinceEntry` the process's start. Elsewhere does nothing.
void fromEnvironment(QQmlApplicationEngine& engine, AppModelDeps& deps, const QElapsedTimer& sinceEntry);

}  // namespace measure
}  // namespace halvetrop

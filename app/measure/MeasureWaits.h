#pragma once
// For the wait benchmark (bench/window-waits): the application's own window, on whatever display
// it runs, led through the moments a user meets with a large card, timing how long the GUI thread
// keeps the user waiting at each and how long the checks take meanwhile.
#include <QElapsedTimer>
#include <QString>

#include <memory>

#include "model/VerifierSeam.h"

class QQuickWindow;

namespace halvetrop {

class AppModel;

namespace measure {

// When the checks and passes the model runs return, for the moments that start there.
class RunEnds;
std::shared_ptr<RunEnds> runEnds();
// The core's verifier, telling `ends` when each run returns.
VerifierFactory timedVerifiers(std::shared_ptr<RunEnds> ends);

// `what` "CARD:BACKUP:...": checks the card three times (the byte-by-byte pass after each), the
// third time with the views switched while its pass runs, and opens the saved result once.
// `what` "history": the start with the saved checks the application finds, and the newest opened.
// Prints one JSON line and quits.
void measureWaits(QQuickWindow& window, AppModel& model, const QElapsedTimer& sinceEntry, const QString& what,
                  std::shared_ptr<RunEnds> ends);

}  // namespace measure
}  // namespace halvetrop

#pragma once
// Reports in fixed states for the results screen's tests and pictures.
#include <QObject>
#include <QString>

#include "report/Report.h"

namespace halvetrop {

// "safe", "missing", "verifying", "stopped-pass", "card-only", "fuse-card", "unreadable",
// "empty"; anything else is "missing".
VerifyReport resultsFixture(const QString& name);

class ResultsFixtures : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // A FixtureReport for a fake model's `report`, owned by the caller (QML).
    Q_INVOKABLE QObject* make(const QString& name) const;
};

// HalvetropFake.Native's `ReportFixtures` singleton.
void registerResultsFixtures();

}  // namespace halvetrop

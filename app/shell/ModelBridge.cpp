#include "shell/ModelBridge.h"

#include "model/History.h"

namespace halvetrop::shell {

void bridge(AppModel& model, HistoryRows& rows, Present& present) {
    auto syncHistory = [&model, &rows] {
        std::vector<SavedCheck> checks;
        for (const HistoryItem& item : model.history())
            checks.push_back({item.id.toString(QUuid::WithoutBraces), item.report->summary()});
        rows.setChecks(std::move(checks));
    };
    auto syncShown = [&model, &rows] {
        const auto& report = model.report();
        rows.setShown(report ? std::optional<TimeNs>(report->finishedAt) : std::nullopt,
                      model.phase() == AppModel::Phase::Results,
                      model.savedCard() == AppModel::SavedCard::changed);
    };
    QObject::connect(&model, &AppModel::historyChanged, &rows, syncHistory);
    QObject::connect(&model, &AppModel::historyChanged, &rows, syncShown);
    QObject::connect(&model, &AppModel::reportChanged, &rows, syncShown);
    QObject::connect(&model, &AppModel::phaseChanged, &rows, syncShown);
    QObject::connect(&model, &AppModel::savedCardChanged, &rows, syncShown);
    QObject::connect(&model, &AppModel::agesChanged, &rows, &HistoryRows::age);
    syncHistory();
    syncShown();
    present.setNotify([&model](const QString& text, bool ok) { model.show(text, ok); });
}

}  // namespace halvetrop::shell

#pragma once
// Joins the one AppModel to what the views need beside it: the saved-check rows follow the
// model's history and the result on screen, notices of the views reach the model's banner.
#include "model/AppModel.h"
#include "shell/HistoryRows.h"
#include "shell/Present.h"

namespace halvetrop::shell {

// Keeps `rows` in step with `model` from now on; both outlive the connections (they are owned by
// the caller for the life of the process or test).
void bridge(AppModel& model, HistoryRows& rows, Present& present);

}  // namespace halvetrop::shell

#pragma once
// A model that, once dropped, is waited for: its workers may outlive it (quitting waits for no
// listing of the volumes), and one may still hold a drive's folders open. Whoever drops a model
// and then unmounts or resets a drive holds it in an OwnedModel, so that no drive is found busy.
#include <memory>

#include "model/AppModel.h"

namespace halvetrop {

struct DropAndWait {
    void operator()(AppModel* model) const {
        const std::shared_ptr<const ModelWorkers> workers = model->workers();
        delete model;
        workers->waitUntilNone();
    }
};

using OwnedModel = std::unique_ptr<AppModel, DropAndWait>;

}  // namespace halvetrop

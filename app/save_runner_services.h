#pragma once
// How a writer runs when SaveDocument was given no progress record: at once
// on the calling thread (the stand-in: console, tests), or under the progress
// dialog, which the window program installs. The runner hands the writer its
// own progress record and returns the writer's result.

#include "app/save_engine.h"
#include "foundation/services.h"

namespace app {

class ISaveRunnerServices {
public:
    virtual ~ISaveRunnerServices() = default;
    // The writer's result: 1 saved, 0 cancelled, -1 failed.
    virtual int RunWriter(DocumentWriter writer, SaveRequest& request) = 0;
};

namespace detail {
class SaveRunnerStandIn final : public ISaveRunnerServices {
public:
    int RunWriter(DocumentWriter writer, SaveRequest& request) override { return writer ? writer(request) : -1; }
};
}  // namespace detail

inline foundation::ServiceSlot<ISaveRunnerServices, detail::SaveRunnerStandIn>& SaveRunnerServicesSlot() {
    static foundation::ServiceSlot<ISaveRunnerServices, detail::SaveRunnerStandIn> slot;
    return slot;
}
inline ISaveRunnerServices& SaveRunnerServices() { return SaveRunnerServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline ISaveRunnerServices* SetSaveRunnerServices(ISaveRunnerServices* services) {
    return SaveRunnerServicesSlot().Install(services);
}

}  // namespace app

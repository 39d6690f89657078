#pragma once
// Told when a program launched through foundation/programs.h ends. Called on
// the launch's waiter thread; whoever installs it calls WaitForLaunchWaiters
// before it uninstalls. Tests watch launches through it; nothing is told by
// default.

#include <string>

#include "foundation/services.h"

namespace foundation {

class ILaunchServices {
public:
    virtual ~ILaunchServices() = default;
    // The launched path and its exit code (128 + the signal's number when a
    // signal ended it).
    virtual void LaunchEnded(const std::u16string& path, int exitCode) = 0;
};

namespace detail {
class LaunchStandIn final : public ILaunchServices {
public:
    void LaunchEnded(const std::u16string&, int) override {}
};
}  // namespace detail

inline ServiceSlot<ILaunchServices, detail::LaunchStandIn>& LaunchServicesSlot() {
    static ServiceSlot<ILaunchServices, detail::LaunchStandIn> slot;
    return slot;
}
inline ILaunchServices& LaunchServices() { return LaunchServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline ILaunchServices* SetLaunchServices(ILaunchServices* services) { return LaunchServicesSlot().Install(services); }

}  // namespace foundation

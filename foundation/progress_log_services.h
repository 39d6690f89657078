#pragma once
// The log of the open progress dialog, where readers note what they skipped
// or changed while a document opens. The window program installs the dialog's
// log; until then (the console, tests) the lines go nowhere.

#include <string_view>

#include "foundation/services.h"

namespace foundation {

class IProgressLogServices {
public:
    virtual ~IProgressLogServices() = default;
    // One line in the open progress dialog's log; nothing when none is open.
    virtual void AddProgressLogLine(std::u16string_view text) = 0;
};

namespace detail {
class ProgressLogStandIn final : public IProgressLogServices {
public:
    void AddProgressLogLine(std::u16string_view) override {}
};
}  // namespace detail

inline ServiceSlot<IProgressLogServices, detail::ProgressLogStandIn>& ProgressLogServicesSlot() {
    static ServiceSlot<IProgressLogServices, detail::ProgressLogStandIn> slot;
    return slot;
}
inline IProgressLogServices& ProgressLogServices() { return ProgressLogServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IProgressLogServices* SetProgressLogServices(IProgressLogServices* services) {
    return ProgressLogServicesSlot().Install(services);
}

inline void AddProgressLogLine(std::u16string_view text) { ProgressLogServices().AddProgressLogLine(text); }

}  // namespace foundation

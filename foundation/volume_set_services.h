#pragma once
// What the open and the save of a multi-volume set ask of the window side:
// the open starts from the set's first volume whichever volume was named, and
// a save refused for needing more volumes than names exist says so once.
// Until a window installs its own, a named path is opened as given and the
// refusal is not shown (the save still fails).

#include <string>

#include "foundation/services.h"

namespace foundation {

class IVolumeSetServices {
public:
    virtual ~IVolumeSetServices() = default;
    // Makes path the first volume of a multi-volume set it belongs to; empties
    // it when that volume cannot be opened; leaves other paths unchanged.
    virtual void RedirectToFirstVolume(std::u16string& path) = 0;
    virtual void ReportTooManyVolumes() = 0;
};

namespace detail {
class VolumeSetStandIn final : public IVolumeSetServices {
public:
    void RedirectToFirstVolume(std::u16string&) override {}
    void ReportTooManyVolumes() override {}
};
}  // namespace detail

inline ServiceSlot<IVolumeSetServices, detail::VolumeSetStandIn>& VolumeSetServicesSlot() {
    static ServiceSlot<IVolumeSetServices, detail::VolumeSetStandIn> slot;
    return slot;
}
inline IVolumeSetServices& VolumeSetServices() { return VolumeSetServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IVolumeSetServices* SetVolumeSetServices(IVolumeSetServices* services) {
    return VolumeSetServicesSlot().Install(services);
}

inline void RedirectToFirstVolume(std::u16string& path) { VolumeSetServices().RedirectToFirstVolume(path); }
inline void ReportTooManyVolumes() { VolumeSetServices().ReportTooManyVolumes(); }

}  // namespace foundation

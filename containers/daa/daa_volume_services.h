#pragma once
// A volume of a DAA/HXI set that is found neither by its name nor by that name
// in another case, asked for while the set is read. The window program
// installs the question that asks the user for the file; until then none is
// opened (last error kErrorNotSupported) and the read fails.

#include <cstdint>

#include "foundation/services.h"
#include "platform/file.h"
#include "platform/last_error.h"

namespace containers {

struct DaaContainer;

class IDaaVolumeServices {
public:
    virtual ~IDaaVolumeServices() = default;
    // The volume (from 0) opened for reading; null when none was given.
    virtual platform::FileHandle RequestVolume(DaaContainer* container, int32_t volume) = 0;
};

namespace detail {
class DaaVolumeStandIn final : public IDaaVolumeServices {
public:
    platform::FileHandle RequestVolume(DaaContainer*, int32_t) override {
        platform::SetLastError(platform::kErrorNotSupported);
        return nullptr;
    }
};
}  // namespace detail

inline foundation::ServiceSlot<IDaaVolumeServices, detail::DaaVolumeStandIn>& DaaVolumeServicesSlot() {
    static foundation::ServiceSlot<IDaaVolumeServices, detail::DaaVolumeStandIn> slot;
    return slot;
}
inline IDaaVolumeServices& DaaVolumeServices() { return DaaVolumeServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IDaaVolumeServices* SetDaaVolumeServices(IDaaVolumeServices* services) {
    return DaaVolumeServicesSlot().Install(services);
}

inline platform::FileHandle RequestVolume(DaaContainer* container, int32_t volume) {
    return DaaVolumeServices().RequestVolume(container, volume);
}

}  // namespace containers

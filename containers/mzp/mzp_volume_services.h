#pragma once
// A volume of an MZP set that is found neither by its name nor by that name in
// another case, asked for while the set is read. The window program installs
// the question that asks the user for the file; until then none is opened
// (last error kErrorNotSupported) and the read fails.

#include <cstdint>

#include "foundation/services.h"
#include "platform/file.h"
#include "platform/last_error.h"

namespace containers {

struct MzpContainer;

class IMzpVolumeServices {
public:
    virtual ~IMzpVolumeServices() = default;
    // The volume (from 0) opened for reading; null when none was given.
    virtual platform::FileHandle OpenMzpVolumeFile(MzpContainer* container, int32_t volume) = 0;
};

namespace detail {
class MzpVolumeStandIn final : public IMzpVolumeServices {
public:
    platform::FileHandle OpenMzpVolumeFile(MzpContainer*, int32_t) override {
        platform::SetLastError(platform::kErrorNotSupported);
        return nullptr;
    }
};
}  // namespace detail

inline foundation::ServiceSlot<IMzpVolumeServices, detail::MzpVolumeStandIn>& MzpVolumeServicesSlot() {
    static foundation::ServiceSlot<IMzpVolumeServices, detail::MzpVolumeStandIn> slot;
    return slot;
}
inline IMzpVolumeServices& MzpVolumeServices() { return MzpVolumeServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IMzpVolumeServices* SetMzpVolumeServices(IMzpVolumeServices* services) {
    return MzpVolumeServicesSlot().Install(services);
}

inline platform::FileHandle OpenMzpVolumeFile(MzpContainer* container, int32_t volume) {
    return MzpVolumeServices().OpenMzpVolumeFile(container, volume);
}

}  // namespace containers

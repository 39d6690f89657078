#pragma once
// A part of a split XDI image that is found neither by its name nor by that
// name in another case, asked for while the image is read. The window program
// installs the question that asks the user for the file; until then none is
// opened (last error kErrorNotSupported) and the read fails.

#include <cstdint>

#include "foundation/services.h"
#include "platform/file.h"
#include "platform/last_error.h"

namespace containers {

struct XdiContainer;

class IXdiPartServices {
public:
    virtual ~IXdiPartServices() = default;
    // The part (from 0) opened for reading; null when none was given.
    virtual platform::FileHandle OpenXdiPartFile(XdiContainer* container, int32_t part) = 0;
};

namespace detail {
class XdiPartStandIn final : public IXdiPartServices {
public:
    platform::FileHandle OpenXdiPartFile(XdiContainer*, int32_t) override {
        platform::SetLastError(platform::kErrorNotSupported);
        return nullptr;
    }
};
}  // namespace detail

inline foundation::ServiceSlot<IXdiPartServices, detail::XdiPartStandIn>& XdiPartServicesSlot() {
    static foundation::ServiceSlot<IXdiPartServices, detail::XdiPartStandIn> slot;
    return slot;
}
inline IXdiPartServices& XdiPartServices() { return XdiPartServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IXdiPartServices* SetXdiPartServices(IXdiPartServices* services) {
    return XdiPartServicesSlot().Install(services);
}

inline platform::FileHandle OpenXdiPartFile(XdiContainer* container, int32_t part) {
    return XdiPartServices().OpenXdiPartFile(container, part);
}

}  // namespace containers

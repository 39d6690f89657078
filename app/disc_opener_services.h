#pragma once
// A disc in a drive opens as a document when the user names the drive's
// device (e.g. /dev/sr0). The drive side lives beside this layer, so it
// installs the opener at start-up; until then no path names a drive.

#include <string_view>

#include "foundation/services.h"

namespace image {
struct ImageContext;
}

namespace app {

class IDiscOpenerServices {
public:
    virtual ~IDiscOpenerServices() = default;
    // False when the path is no drive's device. True when it is: the result is
    // the disc's document (owned by the caller) or null with the open result
    // code set (a failure already told to the user, or cancelled).
    virtual bool OpenDisc(std::u16string_view path, bool buildTree, image::ImageContext** doc, int* code) = 0;
};

class DiscOpenerStandIn final : public IDiscOpenerServices {
public:
    bool OpenDisc(std::u16string_view, bool, image::ImageContext**, int*) override { return false; }
};

inline foundation::ServiceSlot<IDiscOpenerServices, DiscOpenerStandIn>& DiscOpenerServicesSlot() {
    static foundation::ServiceSlot<IDiscOpenerServices, DiscOpenerStandIn> slot;
    return slot;
}
inline IDiscOpenerServices& DiscOpenerServices() { return DiscOpenerServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IDiscOpenerServices* SetDiscOpenerServices(IDiscOpenerServices* services) {
    return DiscOpenerServicesSlot().Install(services);
}

}  // namespace app

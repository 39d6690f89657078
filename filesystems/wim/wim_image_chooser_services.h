#pragma once
// How the WIM opener asks which image of a WIM file with several to show. The
// window program installs the chooser dialog; until then nothing is chosen
// (last error kErrorNotSupported) and the open is cancelled.

#include <cstdint>

#include "foundation/services.h"
#include "platform/last_error.h"

namespace image {
struct ImageContext;
}

namespace filesystems {

class IWimImageChooserServices {
public:
    virtual ~IWimImageChooserServices() = default;
    // The chosen image's index (from 0), -1 when cancelled.
    virtual int ChooseWimImage(image::ImageContext* ctx, int32_t imageCount) = 0;
};

namespace detail {
class WimImageChooserStandIn final : public IWimImageChooserServices {
public:
    int ChooseWimImage(image::ImageContext*, int32_t) override {
        platform::SetLastError(platform::kErrorNotSupported);
        return -1;
    }
};
}  // namespace detail

inline foundation::ServiceSlot<IWimImageChooserServices, detail::WimImageChooserStandIn>&
WimImageChooserServicesSlot() {
    static foundation::ServiceSlot<IWimImageChooserServices, detail::WimImageChooserStandIn> slot;
    return slot;
}
inline IWimImageChooserServices& WimImageChooserServices() { return WimImageChooserServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IWimImageChooserServices* SetWimImageChooserServices(IWimImageChooserServices* services) {
    return WimImageChooserServicesSlot().Install(services);
}

}  // namespace filesystems

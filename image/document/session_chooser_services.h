#pragma once
// How the open of a multi-session image asks which session to show. The
// window program installs the chooser dialog; until then (the console, tests)
// nothing is asked and the open goes on with the last session.

#include "foundation/services.h"

namespace image {

struct ImageContext;

class ISessionChooserServices {
public:
    virtual ~ISessionChooserServices() = default;
    // -1 when a session choice was needed and none was made, else 0; the
    // choice is left in foundation::ChosenSessionIndex() (-1 none).
    virtual int ChooseSession(ImageContext* ctx, bool buildTree) = 0;
};

namespace detail {
class SessionChooserStandIn final : public ISessionChooserServices {
public:
    int ChooseSession(ImageContext*, bool) override { return 0; }
};
}  // namespace detail

inline foundation::ServiceSlot<ISessionChooserServices, detail::SessionChooserStandIn>& SessionChooserServicesSlot() {
    static foundation::ServiceSlot<ISessionChooserServices, detail::SessionChooserStandIn> slot;
    return slot;
}
inline ISessionChooserServices& SessionChooserServices() { return SessionChooserServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline ISessionChooserServices* SetSessionChooserServices(ISessionChooserServices* services) {
    return SessionChooserServicesSlot().Install(services);
}

inline int ChooseSession(ImageContext* ctx, bool buildTree) {
    return SessionChooserServices().ChooseSession(ctx, buildTree);
}

}  // namespace image

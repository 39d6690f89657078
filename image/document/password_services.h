#pragma once
// The password question of an encrypted image or archive, asked by the
// container readers when they open one and by the save before it writes one.
// The window program and the console install their question; until then no
// password is given (last error kErrorNotSupported), so every caller takes
// its cancel path.

#include <cstdint>

#include "foundation/services.h"
#include "platform/last_error.h"

namespace image {

struct ImageContext;

class IPasswordServices {
public:
    virtual ~IPasswordServices() = default;
    // True when a password was given (into the document's outputPassword and,
    // where the container can, checked); passwordCheck is the 144-byte check
    // record of a DAA/HXI image, else null.
    virtual bool AskPassword(ImageContext* ctx, const uint8_t* passwordCheck) = 0;
};

namespace detail {
class PasswordStandIn final : public IPasswordServices {
public:
    bool AskPassword(ImageContext*, const uint8_t*) override {
        platform::SetLastError(platform::kErrorNotSupported);
        return false;
    }
};
}  // namespace detail

inline foundation::ServiceSlot<IPasswordServices, detail::PasswordStandIn>& PasswordServicesSlot() {
    static foundation::ServiceSlot<IPasswordServices, detail::PasswordStandIn> slot;
    return slot;
}
inline IPasswordServices& PasswordServices() { return PasswordServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IPasswordServices* SetPasswordServices(IPasswordServices* services) {
    return PasswordServicesSlot().Install(services);
}

inline bool AskPassword(ImageContext* ctx, const uint8_t* passwordCheck) {
    return PasswordServices().AskPassword(ctx, passwordCheck);
}

}  // namespace image

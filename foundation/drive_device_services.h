#pragma once
// Which host device a drive letter stands for. The drive code installs the
// real mapping (letters to /dev/sr* in order, as configured); tests point
// letters at ordinary files. Until one is installed no letter has a drive.

#include <string>

#include "foundation/services.h"

namespace foundation {

class IDriveDeviceServices {
public:
    virtual ~IDriveDeviceServices() = default;
    // Host device path of an upper-case drive letter (e.g. "/dev/sr0"); empty
    // when the letter has no drive.
    virtual std::u16string DevicePath(char16_t letter) = 0;
};

namespace detail {
class NoDriveDevices final : public IDriveDeviceServices {
public:
    std::u16string DevicePath(char16_t) override { return {}; }
};
}  // namespace detail

inline ServiceSlot<IDriveDeviceServices, detail::NoDriveDevices>& DriveDeviceServicesSlot() {
    static ServiceSlot<IDriveDeviceServices, detail::NoDriveDevices> slot;
    return slot;
}
inline IDriveDeviceServices& DriveDeviceServices() { return DriveDeviceServicesSlot().Get(); }
// Not owned; null restores "no drives". Returns the services installed before.
inline IDriveDeviceServices* SetDriveDeviceServices(IDriveDeviceServices* services) {
    return DriveDeviceServicesSlot().Install(services);
}

}  // namespace foundation

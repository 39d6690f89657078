#pragma once
// Drive letters for the optical drives of this machine: /dev/sr0, /dev/sr1,
// ... in order, from a configurable first letter.

#include <string>
#include <vector>

#include "foundation/drive_device_services.h"

namespace optical {

class SrDriveDevices final : public foundation::IDriveDeviceServices {
public:
    // folder: where the sr devices are looked for (tests point it elsewhere).
    explicit SrDriveDevices(char16_t firstLetter = u'D', std::string folder = "/dev");
    std::u16string DevicePath(char16_t letter) override;
    // The devices found, in letter order.
    const std::vector<std::string>& Devices() const { return devices_; }

private:
    char16_t firstLetter_;
    std::vector<std::string> devices_;
};

}  // namespace optical

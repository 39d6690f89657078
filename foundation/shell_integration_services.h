#pragma once
// What SetShellIntegration (foundation/settings.h) hands the switch to.

#include <string>

#include "foundation/services.h"

namespace foundation {

// The file-manager integration (shellext) installs these; without them the
// switch is only stored. Not owned; null restores the stand-in; the installer
// returns what was installed before (foundation/services.h).
class IShellIntegrationServices {
public:
    virtual ~IShellIntegrationServices() = default;
    virtual void ApplyShellIntegration(bool on, const std::u16string& installDir) = 0;
};
IShellIntegrationServices* SetShellIntegrationServices(IShellIntegrationServices* services);

}  // namespace foundation

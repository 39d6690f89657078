#include "vdrive/drive_availability.h"

#include "foundation/messages.h"
#include "foundation/messages_ui.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/named_objects.h"

namespace vdrive {

bool IsVirtualDriveAvailable(bool report) {
    if (platform::SharedMapping::Open(kChannelMappingName)) return true;
    if (report) {
        const uint32_t error = platform::GetLastError();
        foundation::AppMessageBox(
            platform::Format(u"%s (Error Code = %x, %x)",
                             u"Quendravine Virtual Drive is not installed correctly.\r\n\r\nPlease reinstall it.",
                             error + 48, 0u),
            foundation::kMbIconInformation);
    }
    return false;
}

}  // namespace vdrive

#include "optical/scsi/drive_clock.h"

#include "platform/sync.h"

namespace optical {

void detail::SystemDriveClock::SleepMs(uint32_t milliseconds) { platform::Sleep(milliseconds); }
uint64_t detail::SystemDriveClock::NowMs() { return platform::GetTickCount64(); }

foundation::ServiceSlot<IDriveClock, detail::SystemDriveClock>& DriveClockSlot() {
    static foundation::ServiceSlot<IDriveClock, detail::SystemDriveClock> slot;
    return slot;
}

}  // namespace optical

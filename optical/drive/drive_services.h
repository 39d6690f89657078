#pragma once
// The drive code's side of the seams the lower layers declare: sector reads
// with retries, READ(10) and WRITE(10) for the image core, and volume locking
// for the shared drive handles. Installed once at start-up.

#include "foundation/optical_services.h"

namespace optical {

class DriveServices final : public foundation::IOpticalServices {
public:
    // Linux has no volume lock: the lock is refused while the device is
    // mounted anywhere, and nothing is ever unmounted by force.
    int LockAndDismountVolume(platform::FileHandle drive, int force) override;
    int UnlockVolume(platform::FileHandle drive) override;
    void BurnLogString(bool warning, std::u16string_view text) override;
    int ReadSectorsWithRetry(const foundation::SectorReadRequest& request, int* hadError) override;
    int ScsiRead10(platform::FileHandle device, uint32_t lba, uint16_t count, void* buffer, uint32_t byteLength,
                   uint32_t* transferred) override;
    int ScsiWrite10(platform::FileHandle device, uint32_t lba, const void* buffer, uint32_t byteLength,
                    uint32_t sectorSize) override;
};

// The process's one instance, installed into the foundation's slots, with
// the drive letters of /dev/sr* from D: on.
void InstallDriveServices();

}  // namespace optical

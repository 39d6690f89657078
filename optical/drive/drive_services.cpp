#include "optical/drive/drive_services.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "optical/burn/burn_log.h"
#include "optical/drive/disc_document_opener.h"
#include "optical/drive/drive_devices.h"
#include "optical/drive/sector_reader.h"
#include "optical/mmc/mmc_commands.h"
#include "platform/last_error.h"

namespace optical {
namespace {

// True when a mounted file system sits on the device behind the descriptor.
bool DeviceIsMounted(int fd) {
    struct stat device {};
    if (fd < 0 || fstat(fd, &device) != 0 || !S_ISBLK(device.st_mode)) return false;
    std::FILE* mounts = std::fopen("/proc/self/mounts", "re");
    if (!mounts) return false;
    char line[4096];
    bool mounted = false;
    while (!mounted && std::fgets(line, sizeof line, mounts)) {
        char* space = std::strchr(line, ' ');
        if (!space || line[0] != '/') continue;
        *space = 0;
        struct stat source {};
        if (stat(line, &source) == 0 && S_ISBLK(source.st_mode) && source.st_rdev == device.st_rdev) mounted = true;
    }
    std::fclose(mounts);
    return mounted;
}

}  // namespace

int DriveServices::LockAndDismountVolume(platform::FileHandle drive, int) {
    if (!drive) {
        platform::SetLastError(platform::kErrorInvalidHandle);
        return 0;
    }
    if (DeviceIsMounted(platform::FileDescriptor(drive))) {
        platform::SetLastError(platform::kErrorAccessDenied);
        return 0;
    }
    return 1;
}

int DriveServices::UnlockVolume(platform::FileHandle drive) { return drive ? 1 : 0; }

void DriveServices::BurnLogString(bool warning, std::u16string_view text) {
    optical::BurnLogString(warning, text);
}

int DriveServices::ReadSectorsWithRetry(const foundation::SectorReadRequest& request, int* hadError) {
    return optical::ReadSectorsWithRetry(request, hadError);
}

int DriveServices::ScsiRead10(platform::FileHandle device, uint32_t lba, uint16_t count, void* buffer,
                              uint32_t byteLength, uint32_t* transferred) {
    uint32_t len = byteLength;
    uint32_t got = 0;
    int result = optical::ScsiRead10(device, lba, count, buffer, len, got);
    if (transferred) *transferred = got;
    return result;
}

int DriveServices::ScsiWrite10(platform::FileHandle device, uint32_t lba, const void* buffer, uint32_t byteLength,
                               uint32_t sectorSize) {
    return optical::ScsiWrite10(device, lba, buffer, byteLength, sectorSize);
}

void InstallDriveServices() {
    static DriveServices services;
    static SrDriveDevices devices;
    foundation::SetOpticalServices(&services);
    foundation::SetDriveDeviceServices(&devices);
    static DiscDocumentOpener discs;
    app::SetDiscOpenerServices(&discs);
}

}  // namespace optical

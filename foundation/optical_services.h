#pragma once
// What the image core and the foundation need of the optical-drive side:
// volume locking, the burn log, disc sector reads with retries and the READ(10)
// and WRITE(10) commands. Declared here, where the drive code will implement it;
// until a drive service is installed, every call reports "not available"
// (result 0, last error kErrorNotSupported) and the log calls do nothing.

#include <cstdint>
#include <string_view>

#include "foundation/services.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/last_error.h"

namespace image {
struct ImageContext;
struct TrackList;
}  // namespace image

namespace foundation {
class CancelEvent;
}

namespace foundation {

struct ScsiDevice;   // a pass-through target; defined by the drive code

// One read job of ReadSectorsWithRetry.
struct SectorReadRequest {
    image::ImageContext* image = nullptr;   // may be null; its quiet-reads flag suppresses prompts
    image::TrackList* trackList = nullptr;  // may be null
    foundation::CancelEvent* cancelEvent = nullptr;
    platform::FileHandle device = nullptr;
    void* buffer = nullptr;
    uint32_t lba = 0;
    uint32_t count = 0;
    bool raw = false;            // 2352-byte frames instead of 2048-byte user data
    bool mayPrompt = false;
    // Retry policy (the position in the gap around a track start): 0 gives 10
    // retries, 1-2 five, 3-150 one, above 150 none.
    int32_t policy = 0;
    std::u16string_view title;   // names the source in prompts
    // Bytes the buffer holds; 0 when the caller sized it for exactly count
    // sectors. A run that does not fit is refused.
    uint64_t bufferBytes = 0;
};

class IOpticalServices {
public:
    virtual ~IOpticalServices() = default;
    // Locks the volume for exclusive access and dismounts it; never forced: a
    // refused lock fails (the force argument is accepted for the callers' sake).
    virtual int LockAndDismountVolume(platform::FileHandle drive, int force) = 0;
    virtual int UnlockVolume(platform::FileHandle drive) = 0;
    virtual void BurnLogString(bool warning, std::u16string_view text) = 0;
    // 1 when the whole run is in the buffer (read, or zero-filled where a
    // sector could not be read and was ignored), 0 on failure or abort. Only
    // the sectors that failed are zero-filled: the reading goes on with the
    // next sector, so good sectors after a bad one are never lost. hadError
    // (optional) is 1 whenever this call zero-filled a sector, else 0.
    virtual int ReadSectorsWithRetry(const SectorReadRequest& request, int* hadError) = 0;
    // READ(10): 1 on success with the transferred byte count stored.
    virtual int ScsiRead10(platform::FileHandle device, uint32_t lba, uint16_t count, void* buffer,
                           uint32_t byteLength, uint32_t* transferred) = 0;
    // WRITE(10) of byteLength / sectorSize sectors: 1 on success.
    virtual int ScsiWrite10(platform::FileHandle device, uint32_t lba, const void* buffer,
                            uint32_t byteLength, uint32_t sectorSize) = 0;
};

namespace detail {
class OpticalStandIn final : public IOpticalServices {
public:
    int LockAndDismountVolume(platform::FileHandle, int) override { return NotAvailable(); }
    int UnlockVolume(platform::FileHandle) override { return NotAvailable(); }
    void BurnLogString(bool, std::u16string_view) override {}
    int ReadSectorsWithRetry(const SectorReadRequest&, int* hadError) override {
        if (hadError) *hadError = 0;
        return NotAvailable();
    }
    int ScsiRead10(platform::FileHandle, uint32_t, uint16_t, void*, uint32_t, uint32_t* transferred) override {
        if (transferred) *transferred = 0;
        return NotAvailable();
    }
    int ScsiWrite10(platform::FileHandle, uint32_t, const void*, uint32_t, uint32_t) override {
        return NotAvailable();
    }

private:
    static int NotAvailable() {
        platform::SetLastError(platform::kErrorNotSupported);
        return 0;
    }
};
}  // namespace detail

inline foundation::ServiceSlot<IOpticalServices, detail::OpticalStandIn>& OpticalServicesSlot() {
    static foundation::ServiceSlot<IOpticalServices, detail::OpticalStandIn> slot;
    return slot;
}
inline IOpticalServices& OpticalServices() { return OpticalServicesSlot().Get(); }
// Not owned; null restores the stand-in.
inline IOpticalServices* SetOpticalServices(IOpticalServices* services) { return OpticalServicesSlot().Install(services); }

inline int LockAndDismountVolume(platform::FileHandle drive, int force) {
    return OpticalServices().LockAndDismountVolume(drive, force);
}
inline int UnlockVolume(platform::FileHandle drive) { return OpticalServices().UnlockVolume(drive); }
inline void BurnLogString(bool warning, std::u16string_view text) { OpticalServices().BurnLogString(warning, text); }
template <typename... Args>
void BurnLog(bool error, std::u16string_view format, const Args&... args) {
    OpticalServices().BurnLogString(error, platform::Format(format, args...));
}
inline int ReadSectorsWithRetry(const SectorReadRequest& request, int* hadError) {
    return OpticalServices().ReadSectorsWithRetry(request, hadError);
}
inline int ScsiRead10(platform::FileHandle device, uint32_t lba, uint16_t count, void* buffer,
                      uint32_t byteLength, uint32_t* transferred) {
    return OpticalServices().ScsiRead10(device, lba, count, buffer, byteLength, transferred);
}
inline int ScsiWrite10(platform::FileHandle device, uint32_t lba, const void* buffer, uint32_t byteLength,
                       uint32_t sectorSize) {
    return OpticalServices().ScsiWrite10(device, lba, buffer, byteLength, sectorSize);
}

}  // namespace foundation

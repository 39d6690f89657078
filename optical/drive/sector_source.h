#pragma once
// Where the sectors of a virtual drive come from. A virtual drive here is a
// FUSE mount with no sectors of its own, so the virtual-drive side installs a
// source that reads its image; until then such a drive reads nothing.

#include <cstdint>

#include "foundation/services.h"
#include "platform/file.h"
#include "platform/last_error.h"

namespace optical {

class ISectorSource {
public:
    virtual ~ISectorSource() = default;
    // Bytes read into buffer (count x 2048 or count x 2352), -1 on failure.
    virtual int64_t ReadCooked(platform::FileHandle drive, void* buffer, uint32_t lba, uint32_t count) = 0;
    virtual int64_t ReadRaw(platform::FileHandle drive, void* buffer, uint32_t lba, uint32_t count) = 0;
    // The medium's size in 2048-byte sectors; 0 when unknown.
    virtual uint64_t SectorCount(platform::FileHandle drive) = 0;
    // True when the letter is one of this program's virtual drives.
    virtual bool IsVirtualDriveLetter(char16_t letter) = 0;
};

namespace detail {
class NoSectorSource final : public ISectorSource {
public:
    int64_t ReadCooked(platform::FileHandle, void*, uint32_t, uint32_t) override { return Fail(); }
    int64_t ReadRaw(platform::FileHandle, void*, uint32_t, uint32_t) override { return Fail(); }
    uint64_t SectorCount(platform::FileHandle) override { return 0; }
    bool IsVirtualDriveLetter(char16_t) override { return false; }

private:
    static int64_t Fail() {
        platform::SetLastError(platform::kErrorNotSupported);
        return -1;
    }
};
}  // namespace detail

inline foundation::ServiceSlot<ISectorSource, detail::NoSectorSource>& SectorSourceSlot() {
    static foundation::ServiceSlot<ISectorSource, detail::NoSectorSource> slot;
    return slot;
}
inline ISectorSource& SectorSource() { return SectorSourceSlot().Get(); }
inline ISectorSource* SetSectorSource(ISectorSource* source) { return SectorSourceSlot().Install(source); }

}  // namespace optical

#pragma once
// The seam under the command layer: one SCSI command in, the drive's answer
// out. On Linux the real transport is the SG_IO ioctl on /dev/sr*; tests put a
// software drive behind the same interface. This header depends on nothing of
// the program, so a drive written apart from the command layer can implement it.

#include <cstdint>
#include <span>

namespace optical {

enum class DataDirection : uint8_t { None, In, Out };

struct TransportRequest {
    std::span<const uint8_t> cdb;
    DataDirection direction = DataDirection::None;
    uint8_t* data = nullptr;      // dataLength bytes; read for Out, filled for In
    uint32_t dataLength = 0;
    uint32_t timeoutMs = 0;
    uint8_t* sense = nullptr;     // room for senseCapacity bytes of sense data
    uint8_t senseCapacity = 0;
};

struct TransportResult {
    // errno of a request that never reached the drive (0 when it did).
    int sysErrno = 0;
    uint8_t status = 0;           // SCSI status byte (0 GOOD, 2 CHECK CONDITION, 8 BUSY)
    uint16_t hostStatus = 0;      // adapter-side failure (timeout, reset, no connect)
    uint16_t driverStatus = 0;    // driver-side failure; 0x08 alone only says sense is there
    int32_t resid = 0;            // bytes of the data phase that did not move
    uint8_t senseLength = 0;      // sense bytes the drive wrote
};

// Host and driver values the command layer looks at (Linux SCSI generic).
constexpr uint16_t kDriverSense = 0x08;
constexpr uint16_t kDriverStatusMask = 0x0F;
constexpr uint8_t kStatusGood = 0x00;
constexpr uint8_t kStatusCheckCondition = 0x02;
constexpr uint8_t kStatusBusy = 0x08;

class ScsiTransport {
public:
    virtual ~ScsiTransport() = default;
    virtual TransportResult Execute(const TransportRequest& request) = 0;
};

}  // namespace optical

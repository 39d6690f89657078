#pragma once
// The command layer every drive command passes through: validation of the
// CDB, the trace in the diagnostic log, the transport, and the state of the
// last command (its coded error word, its sense code and its status) for the
// burn engine's messages.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "foundation/services.h"
#include "optical/scsi/scsi_transport.h"
#include "platform/file.h"

namespace foundation {
class CancelEvent;
}

namespace optical {

// Per thread: a disc copy reads on one thread while it writes on another, and
// a read that succeeds must not wipe the coded word of a failed WRITE.
extern thread_local uint32_t g_ScsiLastError;
extern thread_local uint32_t g_ScsiLastSenseCode;
extern thread_local uint8_t g_ScsiLastStatus;

// Below 2 the one-sector READ(10) path ("ASPI") reads cooked sectors; 2 and
// above every command takes the handle path. Always 6 here; tests lower it.
extern std::atomic<int32_t> g_DeviceAccessMode;

constexpr uint32_t kCodedErrorMask = 0x5A3C96E1;
// Sense bytes the layer always asks the transport for, whatever the caller gave.
constexpr uint8_t kInternalSenseBytes = 32;
// Fixed-format sense as the layer hands it to callers.
constexpr uint32_t kFixedSenseBytes = 18;

// Language string of the device open failure.
constexpr int kStringErrorOpeningDevice = 32040;

// What sends a handle's commands. The default makes an SG_IO transport over
// the handle's descriptor; tests install one that answers with a software drive.
class ITransportResolver {
public:
    virtual ~ITransportResolver() = default;
    // Null when the handle has no transport (the command then fails).
    virtual ScsiTransport* TransportFor(platform::FileHandle handle) = 0;
};
namespace detail {
class SgIoResolver final : public ITransportResolver {
public:
    ScsiTransport* TransportFor(platform::FileHandle handle) override;
};
}  // namespace detail
foundation::ServiceSlot<ITransportResolver, detail::SgIoResolver>& TransportResolverSlot();
inline ITransportResolver* SetTransportResolver(ITransportResolver* resolver) {
    return TransportResolverSlot().Install(resolver);
}

// dataIn nonzero: the drive sends data. length is the transfer length before
// and the bytes moved after. 1 success, 0 failure (see the last-command state).
int ExecuteScsiCommand(platform::FileHandle handle, const uint8_t* cdb, uint32_t cdbLength, void* buffer,
                       uint32_t* length, uint8_t* sense, uint32_t senseLength, int dataIn,
                       uint32_t timeoutSeconds);

bool IsCdbLengthValid(const uint8_t* cdb, uint32_t cdbLength);

// Rows of key, ASC, ASCQ and a byte matching ignores.
struct SenseRow {
    uint8_t key;
    uint8_t asc;
    uint8_t ascq;
    uint8_t spare;
};
// 1 when a row matches the fixed-format sense (18 bytes).
int SenseMatchesTable(const SenseRow* table, size_t rowCount, const uint8_t* sense);

// The shared drive handle of a letter (read-write, else read-only), or null
// with "Error opening device[%C:]." as the last-error text on the one-sector path.
platform::FileHandle OpenOpticalDevice(char16_t letter);
void CloseOpticalDevice(platform::FileHandle handle);

// The one-sector path: READ(10) of one 2048-byte sector per request, stopping
// at the first failure or when cancel is set.
int AspiReadSectors(platform::FileHandle handle, foundation::CancelEvent* cancelEvent, void* buffer, uint32_t lba,
                    uint32_t count);

// The text that explains a write refused on a drive opened read-only.
const char16_t* ReadOnlyDriveHint();

}  // namespace optical

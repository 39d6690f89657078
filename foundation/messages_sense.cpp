#include "foundation/messages_sense.h"

#include "platform/last_error.h"

namespace foundation {

namespace {

// Response codes (SPC: byte 0, bits 0-6).
constexpr uint8_t kFixedCurrent = 0x70;
constexpr uint8_t kFixedDeferred = 0x71;
constexpr uint8_t kDescriptorCurrent = 0x72;
constexpr uint8_t kDescriptorDeferred = 0x73;
// Fixed format: key in byte 2 (low nibble), ASC byte 12, ASCQ byte 13.
constexpr size_t kFixedMinBytes = 14;
// Descriptor format: key byte 1 (low nibble), ASC byte 2, ASCQ byte 3.
constexpr size_t kDescriptorMinBytes = 4;

struct SenseRow {
    uint8_t key;
    uint8_t asc;
    uint8_t ascq;
    uint32_t error;
};

constexpr SenseRow kSenseTable[] = {
    {0x02, 0x3A, 0x00, platform::kErrorNotReady},        // medium not present
    {0x02, 0x3A, 0x01, platform::kErrorNoMediaInDrive},  // medium not present - tray closed
    {0x02, 0x3A, 0x02, platform::kErrorNotReady},        // medium not present - tray open
    {0x02, 0x04, 0x01, platform::kErrorNotReady},        // becoming ready
    {0x03, 0x11, 0x05, platform::kErrorCrc},             // L-EC uncorrectable error
    {0x03, 0x11, 0x06, platform::kErrorCrc},             // CIRC unrecovered error
    {0x04, 0x3E, 0x02, platform::kErrorIoDevice},        // timeout on logical unit
};

}  // namespace

bool DecodeSense(std::span<const uint8_t> sense, SenseCodes& codes) {
    if (sense.empty()) return false;
    uint8_t response = sense[0] & 0x7F;
    if (response == kFixedCurrent || response == kFixedDeferred) {
        if (sense.size() < kFixedMinBytes) return false;
        codes = SenseCodes{static_cast<uint8_t>(sense[2] & 0x0F), sense[12], sense[13]};
        return true;
    }
    if (response == kDescriptorCurrent || response == kDescriptorDeferred) {
        if (sense.size() < kDescriptorMinBytes) return false;
        codes = SenseCodes{static_cast<uint8_t>(sense[1] & 0x0F), sense[2], sense[3]};
        return true;
    }
    return false;
}

uint32_t SenseToSystemError(const SenseCodes& codes) {
    for (const SenseRow& row : kSenseTable)
        if (row.key == codes.key && row.asc == codes.asc && row.ascq == codes.ascq) return row.error;
    return 0;
}

int SetLastErrorFromSense(std::span<const uint8_t> sense, uint32_t defaultError) {
    SenseCodes codes;
    uint32_t error = DecodeSense(sense, codes) ? SenseToSystemError(codes) : 0;
    if (error != 0)
        platform::SetLastError(error);
    else if (platform::GetLastError() == 0)
        platform::SetLastError(defaultError);
    return 1;
}

}  // namespace foundation

#pragma once
// SCSI sense data to the system error space. Fixed-format sense (response
// codes 0x70/0x71: key in the low nibble of byte 2, ASC byte 12, ASCQ byte 13)
// and descriptor-format sense (0x72/0x73: key, ASC, ASCQ in bytes 1-3) are
// both read; the filemark, end-of-medium and ILI bits beside the key are
// masked off.

#include <cstdint>
#include <span>

namespace foundation {

struct SenseCodes {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
};

// False when the buffer is too short for its format or has no sense format.
bool DecodeSense(std::span<const uint8_t> sense, SenseCodes& codes);
// The system error of the sense table row for these codes, 0 when none.
uint32_t SenseToSystemError(const SenseCodes& codes);
// Sets the matching row's error; with no match sets the default only when the
// system last error is 0. Returns 1.
int SetLastErrorFromSense(std::span<const uint8_t> sense, uint32_t defaultError);

}  // namespace foundation

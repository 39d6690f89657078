#pragma once
// The bit-packed chunk table that MZP and XDI share: entry i starts at bit
// i x (L + T), bits taken from the least significant end of each byte; L bits
// of stored length (less 5, less 6 when encrypted), then T bits of type.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace containers {

// Number of bits of v (0 for 0): 16 for 65535.
uint32_t BitWidth(uint64_t v);

uint64_t GetPackedBits(const std::vector<uint8_t>& table, uint64_t firstBit, uint32_t width);
void SetPackedBits(std::vector<uint8_t>& table, uint64_t firstBit, uint32_t width, uint64_t value);

// Bytes of a table of `count` entries of `bitsPerEntry` bits.
inline uint64_t PackedTableBytes(uint64_t count, uint32_t bitsPerEntry) {
    return (count * bitsPerEntry + 7) / 8;
}

}  // namespace containers

#include "containers/mzp/chunk_table.h"

namespace containers {

uint32_t BitWidth(uint64_t v) {
    uint32_t bits = 0;
    while (v != 0) {
        ++bits;
        v >>= 1;
    }
    return bits;
}

uint64_t GetPackedBits(const std::vector<uint8_t>& table, uint64_t firstBit, uint32_t width) {
    uint64_t value = 0;
    for (uint32_t i = 0; i < width; ++i) {
        const uint64_t bit = firstBit + i;
        if (bit / 8 >= table.size()) break;
        if (table[size_t(bit / 8)] & (1u << (bit % 8))) value |= uint64_t(1) << i;
    }
    return value;
}

void SetPackedBits(std::vector<uint8_t>& table, uint64_t firstBit, uint32_t width, uint64_t value) {
    for (uint32_t i = 0; i < width; ++i) {
        const uint64_t bit = firstBit + i;
        if (bit / 8 >= table.size()) return;
        uint8_t& byte = table[size_t(bit / 8)];
        const uint8_t mask = uint8_t(1u << (bit % 8));
        if ((value >> i) & 1) byte |= mask;
        else byte &= uint8_t(~mask);
    }
}

}  // namespace containers

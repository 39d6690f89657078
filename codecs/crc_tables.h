#pragma once
// Slicing-by-8 tables of a reflected 32-bit CRC (least significant bit first),
// built at compile time from the polynomial, and the steps that use them. The
// CRC-32 of ISO 3309 (codecs/crc32.cpp) and the EDC of CD-ROM sectors
// (image/sectors/edc_ecc.cpp) differ only in polynomial, initial value and final
// inversion: each keeps its own constant table and passes it to the same inline
// steps, so the lookups compile to the same code as a table written for one.

#include <array>
#include <cstddef>
#include <cstdint>

#include "codecs/byte_order.h"

namespace codecs {

// table[k][b] is the register after byte b followed by k zero bytes; table 0 is
// the classic byte-at-a-time table.
using CrcSliceTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcSliceTables MakeCrcSliceTables(uint32_t reflectedPolynomial) {
    CrcSliceTables t{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t c = b;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1u) ? (c >> 1) ^ reflectedPolynomial : c >> 1;
        t[0][b] = c;
    }
    for (size_t k = 1; k < 8; ++k)
        for (uint32_t b = 0; b < 256; ++b) t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFFu];
    return t;
}

constexpr uint32_t CrcStep1(const CrcSliceTables& t, uint32_t crc, uint8_t byte) {
    return (crc >> 8) ^ t[0][(crc ^ byte) & 0xFFu];
}

// Eight bytes. Little-endian assembly of the two words keeps this independent
// of the host's alignment rules and byte order.
constexpr uint32_t CrcStep8(const CrcSliceTables& t, uint32_t crc, const uint8_t* p) {
    const uint32_t lo = crc ^ ReadLE32(p);
    const uint32_t hi = ReadLE32(p + 4);
    return t[7][lo & 0xFFu] ^ t[6][(lo >> 8) & 0xFFu] ^ t[5][(lo >> 16) & 0xFFu] ^ t[4][lo >> 24] ^
           t[3][hi & 0xFFu] ^ t[2][(hi >> 8) & 0xFFu] ^ t[1][(hi >> 16) & 0xFFu] ^ t[0][hi >> 24];
}

// Continues the register over n bytes; no initial value or final inversion.
constexpr uint32_t CrcUpdateSliced(const CrcSliceTables& t, uint32_t crc, const uint8_t* p, size_t n) {
    for (; n >= 8; p += 8, n -= 8) crc = CrcStep8(t, crc, p);
    for (; n > 0; ++p, --n) crc = CrcStep1(t, crc, *p);
    return crc;
}

}  // namespace codecs

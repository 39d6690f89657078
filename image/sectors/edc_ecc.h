#pragma once
// Error detection and correction codes of CD-ROM sectors (ECMA-130 annex A and
// B): the 32-bit EDC and the Reed-Solomon P and Q parity of the product code.
// Table lookups only and no allocation: every raw write and every Video CD
// sector built on the fly for a burn passes through here.

#include <cstddef>
#include <cstdint>

namespace image {

// CRC of ECMA-130 14.3: polynomial (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1),
// least significant bit first (reflected table of 0xD8018001), initial value 0,
// no final inversion. Stored little-endian after the bytes it covers.
uint32_t ComputeEdc(const uint8_t* bytes, size_t length);
// Continues an EDC over further bytes.
uint32_t UpdateEdc(uint32_t edc, const uint8_t* bytes, size_t length);

// Byte offsets of the parity areas inside a 2352-byte sector.
constexpr size_t kEccDataOffset = 12;      // the product code covers bytes 12..2247 (P) and 12..2351 (Q)
constexpr size_t kEccPParityOffset = 2076; // 172 bytes: 43 columns x 2 words
constexpr size_t kEccQParityOffset = 2248; // 104 bytes: 26 diagonals x 2 words

// Computes P parity (bytes 2076..2247) from bytes 12..2075, then Q parity
// (bytes 2248..2351) from bytes 12..2247, in place in a 2352-byte sector.
void ComputeEccP(uint8_t* sector);
void ComputeEccQ(uint8_t* sector);
inline void ComputeEcc(uint8_t* sector) {
    ComputeEccP(sector);
    ComputeEccQ(sector);
}

// The same parity with plain 64-bit words, for processors without the vector
// path (and to check that path against).
void ComputeEccPPortable(uint8_t* sector);
void ComputeEccQPortable(uint8_t* sector);

// True when the stored P and Q parity of a 2352-byte sector equal the parity
// computed from its data (the header bytes as they are stored).
bool CheckEcc(const uint8_t* sector);

}  // namespace image
